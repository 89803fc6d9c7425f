// Adding a media file as a new track at the end of the track list, and the
// undo of that: the waveform values, the composition's length from the first
// track, the track object with its views and labels, the lane and its
// waveform picture, the asset handed to the thumbnail.
//
// The file is read off the main thread: its asset opens on a worker, then its
// samples decode into the decoded cache while the new track shows the
// progress, and the waveform values and picture are made on a worker too.
// A file that cannot become a track changes nothing and says why.
#include "app/Alerts.h"
#include "app/AudioController.h"
#include "app/ImportPanel.h"
#include "views/WaveformValues.h"

#include "engine/MusicFilter.h"
#include "platform/core/MainQueue.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/TimeText.h"
#include "platform/core/UndoManager.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetTrack.h"
#include "platform/media/MediaWorkers.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/ColorWell.h"
#include "views/DropShadow.h"
#include "views/LineView.h"
#include "views/MusicView.h"
#include "views/Fonts.h"
#include "views/NumberTextField.h"
#include "views/SmallViews.h"
#include "views/StyledControls.h"
#include "views/EQSubview.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

#include <cmath>

namespace {

// A field's number through its own formatter; text that does not read as a
// number counts as 0.
double fieldNumber(NumberTextField* field) {
    if (!field) return 0;
    double value = 0;
    if (field->formatter() && field->formatter()->numberFromString(field->text(), &value))
        return value;
    bool ok = false;
    value = field->text().toDouble(&ok);
    return ok ? value : 0;
}

MusicView* thumbnailOf(const MusicFilter& track) { return qobject_cast<MusicView*>(track.imageView); }
AudioDrawingView* laneOf(const MusicFilter& track) {
    return qobject_cast<AudioDrawingView*>(track.audioDrawingView);
}

// The views of a track, in their order in the left column.
std::vector<QWidget*> leftColumnViews(const MusicFilter& track) {
    return {track.imageView.data(), track.meteringView.data(), track.audioLabel.data(),
            track.audioTimeLabel.data(), track.audioSampleRateLabel.data()};
}

// The values of a new track that follow from its file's length D (in
// seconds, at the file's rate R) and the composition's length: where its
// span ends, its ratio to the composition and the part of it that is used.
void setNewTrackLength(MusicFilter& track, double D, int32_t R, const MediaTime& composition) {
    const double C = composition.seconds();
    track.setAnimationStart(MediaTime::zero());
    track.setAnimationEnd(minTime(MediaTime::fromSeconds(D, R), composition));
    track.audioOriginInPercent = 0.0;
    track.audioDurationInPercent = 1.0;
    track.durationInSeconds = D;
    // A composition without length yet cannot make the ratio infinite.
    track.trackRatio = C > 0 ? D / C : 1.0;
    if (D > C && C > 0) {
        track.setCurrentTimeRange({MediaTime::zero(), composition});
        track.updateCurrentTimeRange = false;
        track.audioDurationInPercent = C / D;
    } else {
        track.setCurrentTimeRange({MediaTime::zero(), MediaTime::zero()});
        track.updateCurrentTimeRange = true;
    }
}

// A lane as wide as its track's share of the track area, with the used part
// of the file outlined; the track's used part follows the outline.
void fitLaneToTrack(AudioDrawingView& lane, MusicFilter& track, const AudioView& area) {
    lane.setFrame(0, track.trackRatio * area.frameWidth());
    lane.oldBounds = lane.frameRect();
    lane.viewWidthRatioAtOneSpeed = track.trackRatio;
    const double regionWidth = std::min<double>(lane.frameWidth(), area.frameWidth());
    lane.drawingBezierPath = AudioDrawingView::regionPath(QRectF(0, 10, regionWidth, lane.height() - 20));
    if (lane.frameWidth() > 0) {
        const QRectF r = lane.drawingBezierPath.boundingRect();
        track.audioOriginInPercent = r.x() / lane.frameWidth();
        track.audioDurationInPercent = r.width() / lane.frameWidth();
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Adding a file

void AudioController::addAudioFileToComposition(const QUrl& url) {
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    imports.pendingURLs.push_back(url);
    if (imports.opening) return;

    // Opens the next file's asset on a worker; the track is made on the main
    // thread once the asset is there.
    QPointer<AudioController> self(this);
    // The step holds itself weakly; the calls it hands itself to keep it.
    auto next = std::make_shared<std::function<void()>>();
    *next = [self, weakNext = std::weak_ptr(next)] {
        const auto next = weakNext.lock();
        if (!next) return;
        if (!self || self->imports.pendingURLs.empty()) {
            if (self) self->imports.opening = false;
            return;
        }
        AudioController& c = *self;
        c.imports.opening = true;
        const QUrl url = c.imports.pendingURLs.front();
        c.imports.pendingURLs.pop_front();
        auto fail = [self, url](const QString& why) {
            if (!self) return;
            runModalAlert(self->ui.window,
                          AlertRequest{QStringLiteral("The file “%1” could not be added.")
                                           .arg(QFileInfo(url.toLocalFile()).fileName()),
                                       why, {QStringLiteral("OK")}});
        };
        const QString path = url.toLocalFile();
        if (path.isEmpty() || !QFileInfo(path).isFile()) {
            const bool folder = !path.isEmpty() && QFileInfo(path).isDir();
            MainQueue::async([fail, next, folder] {
                fail(folder ? QStringLiteral("It is a folder, not a file.")
                            : QStringLiteral("The file could not be found."));
                (*next)();
            });
            return;
        }
        Asset::loadAsync(path, [self, url, fail, next](std::shared_ptr<Asset> asset, const QString& error) {
            if (!self) return;
            QString why;
            if (!asset)
                why = error.isEmpty() ? QStringLiteral("The file could not be opened.") : error;
            else
                self->addAudioFileWithAsset(url, asset, &why);
            // A track that is made says so once its samples are read.
            if (!why.isEmpty()) {
                qInfo("Could not add \"%s\": %s", qUtf8Printable(url.toLocalFile()), qUtf8Printable(why));
                fail(why);
            }
            (*next)();
        });
    };
    (*next)();
}

bool AudioController::addAudioFileWithAsset(const QUrl& url, const std::shared_ptr<Asset>& asset,
                                            QString* why) {
    auto refuse = [why](const QString& text) {
        if (why) *why = text;
        return false;
    };
    const auto audioTracks = asset ? asset->tracksWithMediaType(MediaType::Audio)
                                   : std::vector<std::shared_ptr<AssetTrack>>{};
    if (audioTracks.empty()) return refuse(QStringLiteral("The file has no audio track."));
    if (!asset->isPlayable() || asset->hasProtectedContent())
        return refuse(QStringLiteral("The file cannot be played."));
    const std::shared_ptr<AssetTrack> source = audioTracks.front();
    const double R = source->sampleRate();
    int64_t F = source->info().frameCount;
    if (F <= 0 && R > 0) F = int64_t(std::llround(source->timeRange().duration.seconds() * R));
    if (!(R > 0)) return refuse(QStringLiteral("The file's sample rate is 0."));
    const double D = double(F) / R;
    if (!(D > 0)) return refuse(QStringLiteral("The file holds no audio."));

    // Pause the player.
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    UndoManager* undo = undoManager();
    AudioView* area = ui.audioView;
    QWidget* left = ui.musicLeftView;
    if (!area || !left) return refuse(QStringLiteral("There is no track area."));
    area->audioController = this;
    const quint64 n = area->audioTracks.size();
    std::shared_ptr<MusicFilter> track = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));

    // The composition's length, from the first track only.
    std::optional<MediaTime> durationBefore;
    // The composition's length when it is the file's: it follows the file's
    // decoded length should that differ.
    std::optional<MediaTime> lengthFromFile;
    if (n == 0) {
        const MediaTime old = shell.compositionDuration;
        durationBefore = old;
        QPointer<AudioController> self(this);
        undo->registerUndo(track.get(), [self, old] {
            if (self) self->resetCompositionDurationWithOldTime(CompositionDurationUndoRecord{old});
        });
        const double minutes = fieldNumber(ui.textFieldDurationMinutes);
        const double seconds = fieldNumber(ui.textFieldDurationSeconds);
        const double S = (minutes > 0 || seconds >= 1) ? minutes * 60 + seconds : D;
        shell.compositionDuration = MediaTime::fromSeconds(S, int32_t(R));
        if (!(minutes > 0 || seconds >= 1)) lengthFromFile = shell.compositionDuration;
        const double newSeconds = shell.compositionDuration.seconds();
        const double m = std::floor(newSeconds / 60);
        if (ui.textFieldDurationMinutes) ui.textFieldDurationMinutes->setFloatValue(double(uint64_t(m)));
        if (ui.textFieldDurationSeconds)
            ui.textFieldDurationSeconds->setFloatValue(double(uint64_t(std::trunc(newSeconds) - m * 60)));
        setupAudioSliderWithTotalTime(shell.compositionDuration);
    }
    const double C = shell.compositionDuration.seconds();

    // Make the track object with its starting values.
    track->setDefaults();
    track->setAudioController(this);
    installMIDIManagerSetup(track.get());
    track->currentComposition = currentComposition;
    track->currentAudioMix = currentAudioMix;
    track->compositionStartTime = 0.0;
    track->projectSampleRate = shell.playerSampleRate;
    setNewTrackLength(*track, D, int32_t(R), shell.compositionDuration);
    track->timeScale = int32_t(shell.playerSampleRate);
    track->setCurrentTime(audioPlayer ? audioPlayer->currentTime() : MediaTime::invalid());
    track->trackID = -1;
    track->setLastAppliedToStartingValues();
    track->audioScaleFactor = 1.0;
    if (preferences.preferecesTrackColor)
        track->setTrackColor(preferences.preferecesTrackColor->color().toRgb());
    // The installed plug-ins the track can host, unless the preferences say not to look.
    if (!preferences.preferencesSearchPluginsCheck || preferences.preferencesSearchPluginsCheck->isChecked()) {
        track->wantsSearchPlugins = true;
        audioUnitPluginURLsForFilter(track.get());
    }
    shell.timelineDuration = C > 0 ? C : shell.timelineDuration;

    // Left-column views: thumbnail, meter and the three labels.
    auto* meter = new AudioMeteringView(left);
    meter->track = track;
    track->meteringView = meter;
    auto* thumbnail = makeTrackThumbnail(left);
    track->imageView = thumbnail;
    track->setupObserver();
    const QString name = QFileInfo(url.toLocalFile()).fileName();
    QLabel* nameLabel = makeTrackLabel(left, name);
    nameLabel->setToolTip(name);
    track->audioLabel = nameLabel;
    track->audioTimeLabel = makeTrackLabel(left, trackTimeText(std::min(C, D), D));
    track->audioSampleRateLabel = makeTrackLabel(left, AudioController::sampleRateText(R));

    // The track asks for player refreshes.
    observePlayerRefreshes(track);
    std::weak_ptr<MusicFilter> weak = track;

    // Append the record; the new track is selected.
    area->audioTracks.push_back(TrackRecord{url, track, {}});
    const quint64 index = area->audioTracks.size() - 1;
    currentSelectedAudio = index;
    track->setViewIndex(index);

    // Resize the track area and the columns.
    updateTrackAreaSizes();

    // The lane, as wide as the whole file at this zoom, and the row shown
    // with mouse events off until the new player item is ready.
    auto* lane = addTrackLane(*track, index);
    lane->loadingProgress = 0.0;

    setupThumbnailActions(thumbnail, track);
    QPointer<AudioController> self(this);

    // The effect controls show the defaults.
    applyDefaultValuesToControls();

    // Register the removal as the undo.
    const TrackRecord record = area->audioTracks.back();
    undo->registerUndo(track.get(), [self, record] {
        if (self) self->removeAudioFileFromComposition(TrackUndoRecord{record, std::nullopt});
    });

    // Redraw the ruler and labels.
    layoutLineViewContainer();
    if (ui.lineView) ui.lineView->update();
    setupLabelsWithUpdate(true);
    if (ui.eqView) ui.eqView->update();

    // The samples decode into the cache while the lane shows the progress;
    // then the waveform values and picture are made off the main thread, and
    // the thumbnail takes the asset, which puts the track into the composition.
    ++imports.tracksReading;
    QPointer<AudioDrawingView> laneRef(lane);
    source->loadDecodedSourceAsync(
        [laneRef](double fraction) {
            if (!laneRef) return;
            laneRef->loadingProgress = std::clamp(fraction, 0.0, 1.0) * 0.95;
            laneRef->update();
        },
        [self, weak, asset, source, durationBefore, lengthFromFile, url](std::shared_ptr<DecodedSource> decoded,
                                                                           const QString& error) {
            if (!self) return;
            auto t = weak.lock();
            if (!t) {
                --self->imports.tracksReading;
                return;
            }
            if (!decoded || decoded->frameCount() <= 0 || !(decoded->sampleRate() > 0)) {
                --self->imports.tracksReading;
                const QString why = error.isEmpty() ? QStringLiteral("The file's audio could not be read.") : error;
                qInfo("Could not add \"%s\": %s", qUtf8Printable(url.toLocalFile()), qUtf8Printable(why));
                self->abandonTrackImport(t.get(), why, durationBefore);
                return;
            }
            qInfo("Added \"%s\" as a track.", qUtf8Printable(url.toLocalFile()));
            // A file cut short decodes to less than its header declares: the
            // track, and the asset it takes up, are as long as what decodes.
            const auto decodedAsset = asset->withDecodedLength(source, decoded);
            if (decodedAsset != asset) {
                qInfo("\"%s\" decodes to %.3f s of the %.3f s its header declares.",
                      qUtf8Printable(url.toLocalFile()), decoded->durationSeconds(),
                      source->timeRange().duration.seconds());
                self->takeDecodedLength(*t, *decoded, lengthFromFile);
            }
            mediaworkers::start(mediaworkers::Work::Load, [self, weak, asset = decodedAsset, decoded] {
                QVector<float> values = waveform::valuesForSource(*decoded);
                decoded->releaseMappedPages();
                // The picture is painted in the pictures' own pool.
                mediaworkers::start(mediaworkers::Work::Picture, [self, weak, asset, values = std::move(values)]() mutable {
                    QImage picture = AudioView::createNewBmpImageRep(AudioView::WaveformWidth,
                                                                     AudioView::WaveformHeight, 1.0, true);
                    AudioView::paintWaveform(picture, values);
                    MainQueue::async([self, weak, asset, values = std::move(values),
                                      picture = std::move(picture)] {
                        if (!self) return;
                        --self->imports.tracksReading;
                        auto t = weak.lock();
                        if (!t) return;
                        const quint64 i = self->indexOfTrack(t.get());
                        if (i != kNoIndex) self->ui.audioView->audioTracks[i].audioFloatData = values;
                        t->filterBitmaps.clear();
                        t->filterBitmaps.append(picture);
                        t->indexOfUpdatedBitmap = 0;
                        if (auto* lane = laneOf(*t)) {
                            lane->loadingProgress = -1.0;
                            lane->update();
                        }
                        // The asset, taken up by the track through its thumbnail.
                        if (auto* thumbnail = thumbnailOf(*t)) thumbnail->setupPlayerAssetWithLoadedAsset(asset);
                    });
                });
            });
        });
    return true;
}

void AudioController::takeDecodedLength(MusicFilter& track, const DecodedSource& decoded,
                                        std::optional<MediaTime> lengthFromFile) {
    const quint64 index = indexOfTrack(&track);
    AudioDrawingView* lane = laneOf(track);
    if (index == kNoIndex || !lane || !(decoded.sampleRate() > 0)) return;
    const double D = decoded.durationSeconds();
    const int32_t R = int32_t(decoded.sampleRate());

    // The composition that took the header's length from this track takes
    // the decoded one, unless its length was changed since.
    bool lengthChanged = false;
    if (lengthFromFile && shell.compositionDuration == *lengthFromFile) {
        shell.compositionDuration = MediaTime::fromSeconds(D, R);
        showCompositionDurationInFields(shell.compositionDuration.seconds());
        shell.timelineDuration = shell.compositionDuration.seconds() > 0 ? shell.compositionDuration.seconds()
                                                                        : shell.timelineDuration;
        updateTrackAreaSizes();
        lengthChanged = true;
    }
    const double C = shell.compositionDuration.seconds();

    // The track's values, its label and its lane, as they would have been
    // made from the decoded length.
    setNewTrackLength(track, D, R, shell.compositionDuration);
    if (auto* label = qobject_cast<QLabel*>(track.audioTimeLabel.data()))
        label->setText(trackTimeText(std::min(C, D), D));
    fitLaneToTrack(*lane, track, *ui.audioView);
    lane->update();

    if (lengthChanged) {
        // Tracks added while this one decoded are fitted to the new length.
        if (trackCount() > 1)
            updateAllTracksForNewCompositionDuration();
        else
            setupAudioSliderWithTotalTime(shell.compositionDuration);
        layoutLineViewContainer();
        if (ui.lineView) ui.lineView->update();
    }
    setupLabelsWithUpdate(true);
}

void AudioController::setupThumbnailActions(MusicView* thumbnail,
                                            const std::shared_ptr<MusicFilter>& track) {
    if (!thumbnail) return;
    QPointer<AudioController> self(this);
    std::weak_ptr<MusicFilter> weak = track;
    // A click selects the track: the effect controls show its values.
    thumbnail->didSelectTrack = [self](quint64 index) {
        if (!self || !self->ui.audioView) return;
        self->applyValuesToSelectedAudio(index);
        self->ui.audioView->update();
        for (const auto& r : self->ui.audioView->audioTracks)
            if (r.audioFilter && r.audioFilter->audioDrawingView) r.audioFilter->audioDrawingView->update();
    };
    // An asset that fails to load later: while a project loads it is counted
    // off; otherwise the track goes and the user is told.
    thumbnail->assetLoadDidFail = [self, weak](MusicView*, const QString& why) {
        if (!self) return;
        if (self->library.doNotUpdatePlayerSettings) {
            if (self->library.trackCounter > 0 && --self->library.trackCounter == 0)
                self->library.doNotUpdatePlayerSettings = false;
            // Its tap will never be prepared: it counts off now, so that the
            // project's load still ends.
            self->countOffProjectTap();
            self->projectTracksCountedDown();
            return;
        }
        if (auto t = weak.lock()) self->abandonTrackImport(t.get(), why);
    };
    // The context menu's import and a dropped file replace the selected
    // track's file (the thumbnail selects its own track first).
    connect(thumbnail, &MusicView::importFileRequested, this, [self](MusicView* view) {
        if (!self || !view) return;
        if (self->audioPlayer && self->audioPlayer->rate() != 0) self->audioPlayer->pause();
        QStringList patterns;
        for (const QString& ext : Asset::audiovisualExtensions()) patterns << QStringLiteral("*.") + ext;
        const QUrl url = runOpenPanel(
            self->ui.window,
            OpenPanelRequest{QStringLiteral("Select Audio File"),
                             QStringLiteral("Select the audio/video file you want to import."),
                             QStringLiteral("Import"),
                             QStringLiteral("Audio and video files (%1)").arg(patterns.join(QLatin1Char(' ')))});
        if (!url.isEmpty()) view->replaceAudioWithURL(url);
    });
    connect(thumbnail, &MusicView::replaceAudioRequested, this, [self](const QUrl& url) {
        if (!self || !self->ui.audioView) return;
        const quint64 index = self->currentSelectedAudio.load();
        if (!self->trackRecordAt(index)) return;
        // A file that cannot be used is refused with its reason, once.
        self->replaceAudioFileInComposition(url, index);
    });
}

// ---------------------------------------------------------------------------
// Geometry

quint64 AudioController::indexOfTrack(const MusicFilter* track) const {
    if (!ui.audioView || !track) return kNoIndex;
    const quint64 i = ui.audioView->audioTracks.indexOf(track);
    return ui.audioView->audioTracks.contains(i) ? i : kNoIndex;
}

TrackRecord* AudioController::trackRecordAt(quint64 index) const {
    return ui.audioView ? ui.audioView->audioTracks.recordAt(index) : nullptr;
}

MusicFilter* AudioController::trackAt(quint64 index) const {
    return ui.audioView ? ui.audioView->audioTracks.filterAt(index) : nullptr;
}

QLabel* AudioController::makeTrackLabel(QWidget* left, const QString& text) {
    // Long texts are cut at their end whenever they are set, so a name set
    // later (a replaced file) reads like the first.
    auto* label = new TailTruncatingLabel(left);
    label->setAlignment(Qt::AlignCenter);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setStyleSheet(QStringLiteral("color: white; background: transparent; border: none;"));
    label->setFont(systemFont(11));
    label->setText(text);
    return label;
}

MusicView* AudioController::makeTrackThumbnail(QWidget* left) {
    auto* thumbnail = new MusicView(left);
    thumbnail->colorType = 0;
    thumbnail->acceptsDraggedMedia = true;
    thumbnail->audioController = this;
    thumbnail->setGraphicsEffect(new DropShadow(QPointF(0, 4), 6, Qt::black, thumbnail));
    return thumbnail;
}

void AudioController::observePlayerRefreshes(const std::shared_ptr<MusicFilter>& track) {
    std::weak_ptr<MusicFilter> weak = track;
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(this, QStringLiteral("updatePlayerWithComposition"), track.get(),
                       [this, weak](const Notification&) {
                           if (auto t = weak.lock()) updatePlayerFromNotification(t.get());
                       });
    center.addObserver(this, QStringLiteral("updatePlayerWithoutUpdate"), track.get(),
                       [this, weak](const Notification&) {
                           if (auto t = weak.lock()) updatePlayerWithoutUpdateFromNotification(t.get());
                       });
}

AudioDrawingView* AudioController::addTrackLane(MusicFilter& track, quint64 index) {
    AudioView* area = ui.audioView;
    auto* lane = new AudioDrawingView(area);
    lane->audioView = area;
    lane->viewIndex = index;
    track.audioDrawingView = lane;
    lane->setGeometry(0, int(index) * AudioView::RowHeight, 1, AudioView::RowHeight);
    fitLaneToTrack(*lane, track, *area);
    track.audioDrawingView = lane;
    installLaneContextMenu(lane);

    lane->viewAcceptsMouseEvents = false;
    area->setViewAcceptsMouseEvents(false);
    layoutTrackViews(index);
    lane->show();
    for (QWidget* view : leftColumnViews(track))
        if (view) view->show();
    area->update();
    if (QWidget* left = ui.musicLeftView) left->update();
    return lane;
}

void AudioController::layoutTrackViews(quint64 index) {
    MusicFilter* track = trackAt(index);
    if (!track) return;
    // Each track owns a band 200 points high: its length and sample rate on
    // top, the thumbnail and the meter, then its name at the bottom.
    const int top = int(index) * AudioView::RowHeight;
    if (track->audioTimeLabel) track->audioTimeLabel->setGeometry(12, top + 5, 200, 22);
    if (track->audioSampleRateLabel) track->audioSampleRateLabel->setGeometry(146, top + 5, 100, 22);
    if (track->imageView) track->imageView->setGeometry(12, top + 30, 160, 120);
    if (track->meteringView) track->meteringView->setGeometry(182, top + 30, 32, 120);
    if (track->audioLabel) track->audioLabel->setGeometry(12, top + 170, 200, 22);
    if (auto* thumbnail = thumbnailOf(*track)) thumbnail->viewIndex = index;
    if (auto* lane = laneOf(*track)) {
        lane->viewIndex = index;
        lane->move(lane->x(), top);
    }
    track->setViewIndex(index);
}

void AudioController::updateTrackAreaSizes() {
    const int count = trackCount();
    if (ui.audioView)
        ui.audioView->setFrameWidth(shell.timelineDuration * shell.scaleFactor * shell.zoomValue,
                             count * AudioView::RowHeight);
    if (ui.musicLeftView)
        ui.musicLeftView->resize(ui.musicLeftView->width(), count * AudioView::RowHeight);
}

// ---------------------------------------------------------------------------
// A file that turned out unreadable

void AudioController::abandonTrackImport(MusicFilter* track, const QString& why,
                                         std::optional<MediaTime> durationBefore) {
    if (!track) return;
    // A project's track is left out and named when the load ends.
    if (leaveOutProjectTrack(track, why)) {
        durationBefore.reset();
        const quint64 i = indexOfTrack(track);
        if (i != kNoIndex) {
            auto keep = ui.audioView->audioTracks[i].audioFilter;
            if (auto* lane = laneOf(*track)) lane->deleteLater();
            for (QWidget* view : leftColumnViews(*track))
                if (view) view->deleteLater();
            ui.audioView->audioTracks.erase(i);
            for (quint64 k = i; k < ui.audioView->audioTracks.size(); ++k) layoutTrackViews(k);
            NotificationCenter::defaultCenter().removeObserver(this, QStringLiteral("updatePlayerWithComposition"), track);
            NotificationCenter::defaultCenter().removeObserver(this, QStringLiteral("updatePlayerWithoutUpdate"), track);
            updateTrackAreaSizes();
        }
        return;
    }
    // Whatever was registered for the track goes with it.
    undoManager()->removeAllActions(track);
    const quint64 index = indexOfTrack(track);
    if (index != kNoIndex) {
        auto keep = ui.audioView->audioTracks[index].audioFilter;  // alive until the end
        removeTrackFromComposition(index);
        if (auto* lane = laneOf(*track)) lane->deleteLater();
        for (QWidget* view : leftColumnViews(*track))
            if (view) view->deleteLater();
        auto& tracks = ui.audioView->audioTracks;
        tracks.erase(index);
        for (quint64 i = index; i < tracks.size(); ++i) layoutTrackViews(i);
        const quint64 count = tracks.size();
        currentSelectedAudio =
            count == 0 ? kNoIndex : std::min<quint64>(currentSelectedAudio.load(), count - 1);
        NotificationCenter::defaultCenter().removeObserver(this, QStringLiteral("updatePlayerWithComposition"), track);
        NotificationCenter::defaultCenter().removeObserver(this, QStringLiteral("updatePlayerWithoutUpdate"), track);
        // The length the first track set goes when no track is left.
        if (count == 0 && durationBefore) {
            shell.compositionDuration = *durationBefore;
            setupAudioSliderWithTotalTime(shell.compositionDuration);
        }
        updateTrackAreaSizes();
        ui.audioView->update();
        setupLabelsWithUpdate(true);
    }
    runModalAlert(ui.window, AlertRequest{QStringLiteral("The file could not be added."), why,
                                          {QStringLiteral("OK")}});
}
