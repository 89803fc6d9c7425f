// Replacing a track's source file: the track keeps its settings, views and
// place; its lengths, range, labels and waveform follow the new file.
#include "app/Alerts.h"
#include "app/AudioController.h"
#include "views/WaveformValues.h"

#include "engine/MusicFilter.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetTrack.h"
#include "platform/media/DecodedSource.h"
#include "views/AudioView.h"
#include "views/AudioDrawingView.h"
#include "views/MusicView.h"

#include <QFileInfo>
#include <QLabel>

#include <algorithm>
#include <cmath>

bool AudioController::replaceAudioFileInComposition(const QUrl& url, quint64 index, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        runModalAlert(ui.window, AlertRequest{QStringLiteral("The file could not be used."),
                                              QStringLiteral("%1 (%2)").arg(why, url.fileName()),
                                              {QStringLiteral("OK")}});
        return false;
    };
    if (!trackRecordAt(index))
        return fail(QStringLiteral("There is no such track."));
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    if (auto* panel = trackList.audioUnitPanel.data()) panel->close();
    if (auto* notes = trackList.notesPanel.data(); notes && notes->isVisible()) notes->close();

    // The new file is read whole before the track changes.
    const QString path = url.isLocalFile() ? url.toLocalFile() : url.path();
    QString why;
    auto asset = Asset::load(path, &why);
    if (!asset) return fail(why.isEmpty() ? QStringLiteral("The file cannot be read.") : why);
    const auto audio = asset->tracksWithMediaType(MediaType::Audio);
    if (audio.empty()) return fail(QStringLiteral("The file has no audio."));
    auto decoded = audio.front()->loadDecodedSource({}, &why);
    if (!decoded) return fail(why.isEmpty() ? QStringLiteral("The file's audio cannot be decoded.") : why);
    const int64_t F = decoded->frameCount();
    const double R = decoded->sampleRate();
    if (!(R > 0) || F <= 0) return fail(QStringLiteral("The file holds no sound."));
    const double D = double(F) / R;
    QVector<float> W = waveform::valuesForSource(*decoded);
    decoded->releaseMappedPages();

    // From here the track changes.
    TrackRecord& record = ui.audioView->audioTracks[index];
    MusicFilter* f = record.audioFilter.get();
    if (!f) return fail(QStringLiteral("There is no such track."));
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
    record.audioFloatData = std::move(W);
    // A copy of the track or of a stretch of it describes the old file.
    markClipboardSourceReplaced(f);
    f->indexOfUpdatedBitmap = kNoIndex;
    f->filterBitmaps.clear();

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
    ui.audioView->createPathImageForIndex(index);
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
    if (error) error->clear();
    return true;
}
