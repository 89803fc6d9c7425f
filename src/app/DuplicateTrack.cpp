// Duplicating a track: a new last track on the same source file, with the
// default effect values, its own row views and the source's waveform.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/TimeText.h"
#include "platform/core/UndoManager.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetTrack.h"
#include "views/AudioView.h"
#include "views/AudioDrawingView.h"
#include "views/MusicView.h"
#include "views/ColorWell.h"
#include "views/NumberTextField.h"

#include <QFileInfo>
#include <QLabel>

#include <cmath>

QString AudioController::sampleRateText(double rate) {
    if (rate == 44100) return QStringLiteral("44.1 kHz");
    if (rate == 48000) return QStringLiteral("48 kHz");
    if (rate == 96000) return QStringLiteral("96 kHz");
    if (rate == 22050) return QStringLiteral("22 kHz");
    if (rate == 0) return QStringLiteral("?");
    return QString::asprintf("%.1f kHz", rate / 1000.0);
}

QString AudioController::trackTimeText(double used, double whole) {
    return QStringLiteral("%1 / %2").arg(timeText(used), timeText(whole));
}

bool AudioController::duplicateAudioFileAtIndex(quint64 index, const TrackRecord* record,
                                                bool postUpdateNotification, bool usePlayerAsset) {
    if (!ui.audioView) return false;
    auto& tracks = ui.audioView->audioTracks;
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    if (!record && index >= tracks.size()) return false;
    const TrackRecord source = record ? *record : tracks[index];
    const std::shared_ptr<MusicFilter> sf = source.audioFilter;
    if (!sf) return false;
    // The source's length must be known: a track whose media has not loaded
    // yet cannot be copied (its length would not be a number).
    double L = 0;
    if (usePlayerAsset)
        L = sf->playerAsset ? sf->playerAsset->duration().seconds() : std::nan("");
    else
        L = sf->durationInSeconds;
    if (!std::isfinite(L) || !(L > 0)) return false;
    const double R = sf->audioTrackSampleRate;
    const int32_t T = int32_t(R) > 0 ? int32_t(R) : MediaTime::DefaultTimeScale;
    const quint64 N = tracks.size();
    UndoManager* undo = ui.audioView->undoManager();

    if (N == 0) {
        if (undo) {
            CompositionDurationUndoRecord r{shell.compositionDuration};
            undo->registerUndo(this, [this, r] { resetCompositionDurationWithOldTime(r); });
        }
        const double minutes = ui.textFieldDurationMinutes ? ui.textFieldDurationMinutes->floatValue() : 0;
        const double seconds = ui.textFieldDurationSeconds ? ui.textFieldDurationSeconds->floatValue() : 0;
        const double total = (minutes > 0 || seconds >= 1) ? minutes * 60 + seconds : L;
        shell.compositionDuration = MediaTime::fromSeconds(total, T);
        showCompositionDurationInFields(shell.compositionDuration.seconds());
        setupLabelsWithUpdate(true);
        setupAudioSliderWithTotalTime(shell.compositionDuration);
    }
    const double C = shell.compositionDuration.seconds();
    if (!(C > 0)) return false;

    auto f = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
    f->setDefaults();
    f->nameOfSourceTrack = sf->nameOfSourceTrack;
    f->dynamicAudioUnits.append(sf->dynamicAudioUnits);
    f->setAudioController(this);
    installMIDIManagerSetup(f.get());
    f->currentComposition = currentComposition;
    f->currentAudioMix = currentAudioMix;
    f->compositionStartTime = 0;
    f->projectSampleRate = shell.playerSampleRate;
    f->audioTrackSampleRate = R;
    f->setAnimationStart(MediaTime::zero());
    f->setAnimationEnd(minTime(MediaTime::fromSeconds(L, T), shell.compositionDuration));
    f->audioOriginInPercent = 0;
    f->audioDurationInPercent = 1;
    f->durationInSeconds = L;
    f->trackRatio = L / C;
    if (L > C) {
        f->setCurrentTimeRange({MediaTime::zero(), shell.compositionDuration});
        f->updateCurrentTimeRange = false;
        f->audioDurationInPercent = C / L;
    } else {
        f->setCurrentTimeRange(MediaTimeRange::zero());
        f->updateCurrentTimeRange = true;
    }
    f->timeScale = int32_t(shell.playerSampleRate);
    if (audioPlayer) f->setCurrentTime(audioPlayer->currentTime());
    f->trackID = -1;
    f->setLastAppliedToStartingValues();
    f->audioScaleFactor = 1;
    if (preferences.preferecesTrackColor) f->setTrackColor(preferences.preferecesTrackColor->color().toRgb());

    // The row's views.
    QWidget* left = ui.musicLeftView;
    auto* meter = new AudioMeteringView(left);
    meter->track = f;
    f->meteringView = meter;
    auto* thumbnail = makeTrackThumbnail(left);
    f->imageView = thumbnail;
    setupThumbnailActions(thumbnail, f);
    f->setupObserver();
    const double visible = std::min(L / f->trackRatio, L);
    const QString name = !f->nameOfSourceTrack.isEmpty() ? f->nameOfSourceTrack
                                                         : QFileInfo(source.audioURL.path()).fileName();
    auto* nameLabel = makeTrackLabel(left, name);
    nameLabel->setToolTip(name);
    f->audioTimeLabel = makeTrackLabel(left, trackTimeText(visible, L));
    f->audioLabel = nameLabel;
    f->audioSampleRateLabel = makeTrackLabel(left, sampleRateText(R));

    // The copy asks for player refreshes as every track does.
    observePlayerRefreshes(f);

    tracks.push_back(TrackRecord{source.audioURL, f, source.audioFloatData});
    const quint64 newIndex = tracks.size() - 1;
    currentSelectedAudio = newIndex;
    updateTrackAreaSizes();

    addTrackLane(*f, newIndex);

    f->indexOfUpdatedBitmap = 0;
    if (!sf->filterBitmaps.isEmpty()) f->filterBitmaps.append(sf->filterBitmaps.first());
    // The thumbnail shows and holds the source's media.
    if (auto* from = qobject_cast<MusicView*>(sf->imageView.data())) {
        thumbnail->mediaURL = from->mediaURL;
        thumbnail->mediaType = from->mediaType;
        thumbnail->mediaAsset = from->mediaAsset;
        thumbnail->image = from->image.copy();
    }
    if (!thumbnail->mediaAsset) {
        // A clipboard record without a thumbnail: its track's asset.
        thumbnail->mediaAsset = sf->playerAsset;
        thumbnail->mediaURL = source.audioURL;
    }
    applyDefaultValuesToControls();

    if (undo) {
        TrackUndoRecord r{tracks.back(), std::nullopt};
        undo->registerUndo(this, [this, r] { removeAudioFileFromComposition(r); });
    }
    // The copy takes the thumbnail's asset up, which puts it into the
    // composition and gives the player a new item.
    if (postUpdateNotification)
        NotificationCenter::defaultCenter().post(QStringLiteral("setupNewPlayerAsset"), thumbnail);
    return true;
}
