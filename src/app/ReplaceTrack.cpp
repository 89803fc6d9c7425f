// Replacing a track's source file: the track keeps its settings, views and
// place; its lengths, range, labels and waveform follow the new file.
#include "app/Alerts.h"
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetTrack.h"
#include "platform/media/DecodedSource.h"
#include "platform/media/MediaWorkers.h"
#include "platform/core/MainQueue.h"
#include "views/AudioView.h"
#include "views/AudioDrawingView.h"
#include "views/MusicView.h"
#include "views/WaveformValues.h"

#include <QFileInfo>
#include <QLabel>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {

// The replacement's alert: why the file could not be used, and its name.
void alertUnusableFile(QWidget* window, const QString& why, const QUrl& url) {
    runModalAlert(window, AlertRequest{QStringLiteral("The file could not be used."),
                                       QStringLiteral("%1 (%2)").arg(why, url.fileName()), {QStringLiteral("OK")}});
}

}  // namespace

bool AudioController::replaceAudioFileInComposition(const QUrl& url, quint64 index, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        alertUnusableFile(ui.window, why, url);
        return false;
    };
    if (!trackRecordAt(index))
        return fail(QStringLiteral("There is no such track."));
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    if (auto* panel = trackList.audioUnitPanel.data()) panel->close();
    if (auto* notes = trackList.notesPanel.data(); notes && notes->isVisible()) notes->close();

    // The new file is read whole, off the main thread, before the track
    // changes; the lane shows the progress meanwhile.
    const QString path = url.isLocalFile() ? url.toLocalFile() : url.path();
    QString why;
    auto asset = Asset::load(path, &why);
    if (!asset) return fail(why.isEmpty() ? QStringLiteral("The file cannot be read.") : why);
    const auto audio = asset->tracksWithMediaType(MediaType::Audio);
    if (audio.empty()) return fail(QStringLiteral("The file has no audio."));
    const std::shared_ptr<MusicFilter> track = ui.audioView->audioTracks[index].audioFilter;
    if (!track) return fail(QStringLiteral("There is no such track."));

    // A later replacement of the same track wins over one still reading.
    const uint64_t generation = ++imports.replacements[track.get()];
    ++imports.tracksReading;
    QPointer<AudioController> self(this);
    std::weak_ptr<MusicFilter> weak = track;
    QPointer<AudioDrawingView> lane(trackLaneOf(track.get()));
    if (lane) {
        lane->loadingProgress = 0.0;
        lane->update();
    }
    auto end = [self, lane] {
        --self->imports.tracksReading;
        if (lane) {
            lane->loadingProgress = -1.0;
            lane->update();
        }
    };
    audio.front()->loadDecodedSourceAsync(
        [lane](double fraction) {
            if (!lane) return;
            lane->loadingProgress = std::clamp(fraction, 0.0, 1.0) * 0.95;
            lane->update();
        },
        [self, weak, asset, url, generation, end](std::shared_ptr<DecodedSource> decoded, const QString& error) {
            if (!self) return;
            if (!decoded || decoded->frameCount() <= 0 || !(decoded->sampleRate() > 0)) {
                end();
                if (const auto t = weak.lock(); t && self->imports.replacements[t.get()] == generation)
                    self->imports.replacements.erase(t.get());
                const QString why = !decoded ? (error.isEmpty() ? QStringLiteral("The file's audio cannot be decoded.") : error)
                                             : QStringLiteral("The file holds no sound.");
                alertUnusableFile(self->ui.window, why, url);
                return;
            }
            mediaworkers::start(mediaworkers::Work::Load, [self, weak, asset, url, generation, end, decoded] {
                QVector<float> values = waveform::valuesForSource(*decoded);
                decoded->releaseMappedPages();
                QImage picture =
                    AudioView::createNewBmpImageRep(AudioView::WaveformWidth, AudioView::WaveformHeight, 1.0, true);
                AudioView::paintWaveform(picture, values);
                MainQueue::async([self, weak, asset, url, generation, end, decoded, values = std::move(values),
                                  picture = std::move(picture)]() mutable {
                    if (!self) return;
                    end();
                    const auto t = weak.lock();
                    if (!t || self->imports.replacements[t.get()] != generation) return;
                    self->imports.replacements.erase(t.get());
                    // A file cut short is as long as what decodes.
                    asset = asset->withDecodedLength(asset->tracksWithMediaType(MediaType::Audio).front(), decoded);
                    self->takeReplacementFile(*t, url, std::move(asset), *decoded, std::move(values),
                                              std::move(picture));
                });
            });
        });
    if (error) error->clear();
    return true;
}

void AudioController::takeReplacementFile(MusicFilter& filter, const QUrl& url, std::shared_ptr<Asset> asset,
                                          const DecodedSource& decoded, QVector<float> values, QImage picture) {
    const quint64 index = indexOfTrack(&filter);
    if (index == kNoIndex) return;
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    const QString path = url.isLocalFile() ? url.toLocalFile() : url.path();
    const int64_t F = decoded.frameCount();
    const double R = decoded.sampleRate();
    const double D = double(F) / R;

    // From here the track changes.
    TrackRecord& record = ui.audioView->audioTracks[index];
    MusicFilter* f = &filter;
    const double C = shell.compositionDuration.seconds();
    const int32_t T = int32_t(R) > 0 ? int32_t(R) : MediaTime::DefaultTimeScale;
    f->compositionStartTime = 0;
    f->setAnimationStart(MediaTime::zero());
    f->setAnimationEnd(minTime(MediaTime::fromSeconds(D, T), shell.compositionDuration));
    f->audioOriginInPercent = 0;
    f->audioDurationInPercent = 1;
    f->durationInSeconds = D;
    f->trackRatio = C > 0 ? D / C : 1.0;
    if (D > C) {
        f->setCurrentTimeRange({MediaTime::zero(), shell.compositionDuration});
        f->updateCurrentTimeRange = false;
        f->audioDurationInPercent = C > 0 ? C / D : 1.0;
    } else {
        f->setCurrentTimeRange(MediaTimeRange::zero());
        f->updateCurrentTimeRange = true;
    }
    f->timeScale = int32_t(shell.playerSampleRate);
    if (audioPlayer) f->setCurrentTime(audioPlayer->currentTime());
    f->audioScaleFactor = 1;

    if (auto* label = qobject_cast<QLabel*>(f->audioTimeLabel.data()))
        label->setText(trackTimeText(std::min(C, D), D));
    if (auto* label = qobject_cast<QLabel*>(f->audioLabel.data())) {
        label->setText(QFileInfo(path).fileName());
        label->setToolTip(label->text());
    }
    if (auto* label = qobject_cast<QLabel*>(f->audioSampleRateLabel.data()))
        label->setText(sampleRateText(R));

    record.audioURL = url;
    record.audioFloatData = std::move(values);
    // A copy of the track or of a stretch of it describes the old file.
    markClipboardSourceReplaced(f);
    f->filterBitmaps.clear();
    f->filterBitmaps.append(std::move(picture));
    f->indexOfUpdatedBitmap = 0;

    if (auto* lane = trackLaneOf(f)) {
        lane->move(lane->x(), AudioView::RowHeight * int(index));
        lane->setFrame(0, ui.audioView->frameWidth() * f->trackRatio);
        lane->oldBounds = lane->frameRect();
        lane->viewWidthRatioAtOneSpeed = f->trackRatio;
        const double laneWidth = lane->frameWidth();
        lane->drawingBezierPath = AudioDrawingView::regionPath(
            QRectF(0, 10, std::min<double>(laneWidth, ui.audioView->frameWidth()), lane->height() - 20));
        if (laneWidth > 0) {
            const QRectF r = lane->drawingBezierPath.boundingRect();
            f->audioOriginInPercent = r.x() / laneWidth;
            f->audioDurationInPercent = r.width() / laneWidth;
        }
        lane->viewAcceptsMouseEvents = false;
    }
    ui.audioView->setViewAcceptsMouseEvents(false);
    if (auto* lane = trackLaneOf(f)) lane->update();

    // The new file starts a new list of source versions: the earlier ones
    // are of the old file.
    f->tempFilterTracks.clear();
    f->tempComposition.reset();
    f->indexOfUpdatedTrack = kNoIndex;
    // The track takes the new media up through its thumbnail, which puts it
    // back into the composition with a new player item.
    if (auto* thumbnail = qobject_cast<MusicView*>(f->imageView.data())) {
        thumbnail->mediaURL = url;
        thumbnail->setupPlayerAssetWithLoadedAsset(std::move(asset));
    } else {
        f->clearAllVideoAssets();
        f->setupPlayerAssetWithAsset(asset);
    }
    // Not an undoable step, but a change the project must save: a quit
    // asks first.
    changeCountForOpenUndoGroup();
}
