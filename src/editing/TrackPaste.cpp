// A copied track pasted as a new one: the same source with the copied
// track's versions, pictures, effect values, unit and plug-in settings and
// notes, trimmed to the record's region and placed where the record's lane
// geometry puts it at today's zoom and composition length. Curves and
// selection parameters stay with the source.
#include "app/AudioController.h"
#include "app/TrackCopies.h"

#include "editing/TrackPasteboard.h"
#include "editing/TrimSteps.h"
#include "engine/MusicFilter.h"
#include "platform/core/NotificationCenter.h"
#include "platform/media/AssetTrack.h"
#include "platform/media/Composition.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"

#include <algorithm>
#include <cmath>

bool AudioController::pasteFromDictionary(const TrackPasteboardRecord& record) {
    if (!ui.audioView) return false;
    setViewControlsEnabled(false);
    const quint64 n = ui.audioView->audioTracks.size();
    // The record holds the source alive, also after its removal from the list.
    const TrackRecord sourceRecord = record.audioPasteboardDictionary;
    const std::shared_ptr<MusicFilter> source = sourceRecord.audioFilter;
    const TrackPasteboardInfo& info = record.audioPasteboardInfo;

    // Where the lane goes at today's zoom and length; a region left wholly
    // outside the track area adds no track.
    const std::optional<trackpaste::PastedLane> placed =
        source ? trackpaste::pastedLane(info, shell.compositionDuration.seconds(), shell.zoomValue,
                                        ui.audioView->frameWidth())
               : std::nullopt;
    if (!placed || !duplicateAudioFileAtIndex(kNoIndex, &sourceRecord, false, false) ||
        ui.audioView->audioTracks.size() != n + 1) {
        setViewControlsEnabled(true);
        return false;
    }
    const TrackRecord newRecord = ui.audioView->audioTracks.back();
    const std::shared_ptr<MusicFilter> f = newRecord.audioFilter;
    AudioDrawingView* lane = trackLaneOf(f.get());

    // Plug-in names, pictures and versions as the source has them now.
    trackcopies::copyVersionsFrom(*source, *f);

    // Effect values of today, the speed of the copy.
    copyFilterValuesFromDictionary(sourceRecord, newRecord);
    f->setValue(EffectInput::Speed, float(info.audioPasteboardSpeed));
    applyValuesToSelectedAudio(n);

    // The region and the part of the source it plays.
    const trims::Fractions fr = placed->fractions;
    f->audioOriginInPercent = fr.origin;
    f->audioDurationInPercent = fr.duration;
    f->updateCurrentTimeRange = false;
    const int32_t sourceScale = source->timeScale > 0 ? source->timeScale : MediaTime::DefaultTimeScale;
    const trims::SourceRange played =
        trims::retrimmedSourceRange(fr.origin, fr.duration, f->durationInSeconds, source->audioDuration().seconds());
    f->setCurrentTimeRange(
        {MediaTime::fromSeconds(played.start, sourceScale), MediaTime::fromSeconds(played.length, sourceScale)});

    // The lane and its place in the composition.
    if (lane) {
        lane->setFrame(placed->x, placed->width);
        lane->oldBounds = lane->frameRect();
        const double Wl = lane->frameWidth();
        trimsteps::setRegion(*lane, fr.origin * Wl, fr.duration * Wl);
        const trims::CompositionSpan span =
            trimsteps::compositionSpanOf(*lane, *ui.audioView, shell.compositionDuration.seconds());
        const int32_t scale = f->timeScale > 0 ? f->timeScale : sourceScale;
        f->setAnimationStart(MediaTime::fromSeconds(span.start, scale));
        MediaTime end = MediaTime::fromSeconds(span.end, scale);
        if (end > shell.compositionDuration) end = shell.compositionDuration;
        f->setAnimationEnd(end);
    }

    // The playhead stays where it is.
    shell.seekTime = currentTime();
    trackcopies::fadesIntoLane(*f);

    // Unit parameters: read from the source's units again, unless the record
    // says the stored ones are to be kept.
    trackcopies::copyUnitSettingsFrom(*this, *source, *f, record.audioPasteboardListenerCanUpdate.value_or(true));

    f->midiArray = source->midiArray;
    f->publishNotes();

    // The copy takes the thumbnail's media up, which brings it into the
    // composition and gives the player a new item.
    NotificationCenter::defaultCenter().post(QStringLiteral("setupNewPlayerAsset"), f->imageView.data());
    updateAudioTimeLabelForFilter(f.get());
    return true;
}
