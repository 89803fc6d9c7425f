// Typed trims of a track's source: the time popover's four trim fields move
// the start or the end of the part of its source the track plays, and the
// popover shows the result. A new start keeps the track's start in the
// composition; a new end moves only its end.
#include "app/AudioController.h"

#include "editing/TrimSteps.h"
#include "editing/TrimUndoRecords.h"
#include "platform/core/TimeText.h"
#include "platform/core/UndoManager.h"
#include "views/TimePopover.h"

#include <QLabel>

#include <algorithm>

using namespace trimsteps;

namespace {

// The edge a trim field edits, or none for any other field.
std::optional<trims::Edge> trimEdgeOf(const TimePopover& p, const NumberTextField* field) {
    if (!field) return std::nullopt;
    if (field == p.textFieldTrimStartMinutes || field == p.textFieldTrimStartSeconds) return trims::Start;
    if (field == p.textFieldTrimEndMinutes || field == p.textFieldTrimEndSeconds) return trims::End;
    return std::nullopt;
}

// After the lane has its new geometry: the track's place in the composition,
// the seek and the playhead at the moved edge, and the moved edge of the
// played range, which rebuilds the player when it changed.
void applyTrimmedLane(AudioController& c, MusicFilter& t, AudioDrawingView& lane, trims::Edge edge,
                      bool measureFractions) {
    const trims::LaneGeometry g = geometryOf(lane, *c.ui.audioView);
    const double left = g.laneX + g.regionX, right = left + g.regionWidth;
    const int32_t ts = timeScaleOf(t);
    if (g.areaWidth > 0) {
        const trims::CompositionSpan span = trims::compositionSpan(g, c.shell.compositionDuration.seconds());
        t.setAnimationStart(MediaTime::fromSeconds(span.start, ts));
        t.setAnimationEnd(MediaTime::fromSeconds(span.end, ts));
    }
    if (measureFractions && g.laneWidth > 0) {
        const trims::Fractions f = trims::clampedFractions(g.regionX / g.laneWidth, g.regionWidth / g.laneWidth);
        t.audioOriginInPercent = f.origin;
        t.audioDurationInPercent = f.duration;
    }
    c.shell.seekTime = (edge == trims::Start ? t.animationStart() : t.animationEnd()).seconds();
    if (g.areaWidth > 0) c.areaSetLinePercent((edge == trims::Start ? left : right) / g.areaWidth);
    lane.update();
    if (g.laneWidth <= 0) return;
    const double x = edge == trims::Start ? g.regionX : g.regionX + g.regionWidth;
    const double source = x / g.laneWidth * t.audioDuration().seconds();
    t.updatePlayerAssetTimeRange(
        {QVariant::fromValue(quint64(edge)), QVariant::fromValue(MediaTime::fromSeconds(source, ts))});
    c.updateAudioTimeLabelForFilter(&t);
}

}  // namespace

// ---- The popover --------------------------------------------------------------------------

TimePopover* AudioController::timePopover() {
    if (!laneCommands.timePopover) setupTimePopover();
    return laneCommands.timePopover;
}

void AudioController::setupTimePopover() {
    if (laneCommands.timePopover) return;
    auto* popover = new TimePopover(ui.window);
    laneCommands.timePopover = popover;
    for (NumberTextField* field : popover->fields()) textFieldSetup(field);
    for (NumberTextField* field : {popover->textFieldTrimStartMinutes, popover->textFieldTrimStartSeconds,
                                   popover->textFieldTrimEndMinutes, popover->textFieldTrimEndSeconds})
        connect(field, &NumberTextField::action, this, &AudioController::trimTimeFrom);
    for (NumberTextField* field :
         {popover->textFieldCompositionStartMinutes, popover->textFieldCompositionStartSeconds,
          popover->textFieldCompositionEndMinutes, popover->textFieldCompositionEndSeconds})
        connect(field, &NumberTextField::action, this, &AudioController::compositionTrimTimeFrom);
}

void AudioController::updateTimePopoverForFilter(MusicFilter* track) {
    TimePopover* p = laneCommands.timePopover;
    if (!p || !track) return;
    // The played part of the source.
    const MediaTimeRange used = track->currentTimeRange();
    const double S = used.start.seconds(), E = S + used.duration.seconds();
    p->textFieldTimeInfo->setText(QStringLiteral("%1 / %2").arg(timeText(E - S), timeText(track->durationInSeconds)));
    writeMinutesSeconds(p->textFieldTrimStartMinutes, p->textFieldTrimStartSeconds, S);
    writeMinutesSeconds(p->textFieldTrimEndMinutes, p->textFieldTrimEndSeconds, E);
    // Its place in the composition, from the lane as it stands.
    AudioDrawingView* lane = trackLaneOf(track);
    if (!lane || !ui.audioView || ui.audioView->frameWidth() <= 0) return;
    const trims::CompositionSpan span = compositionSpanOf(*lane, *ui.audioView, shell.compositionDuration.seconds());
    writeMinutesSeconds(p->textFieldCompositionStartMinutes, p->textFieldCompositionStartSeconds, span.start);
    writeMinutesSeconds(p->textFieldCompositionEndMinutes, p->textFieldCompositionEndSeconds, span.end);
}

// ---- Trims --------------------------------------------------------------------------------

void AudioController::trimTimeFrom(NumberTextField* sender) {
    const TrackAndLane s = selectedTrackAndLane(*this);
    TimePopover* p = laneCommands.timePopover;
    if (!s || !p) return;
    const std::optional<trims::Edge> edge = trimEdgeOf(*p, sender);
    if (!edge) return;
    double value = 0;
    if (readNumber(sender, &value)) {
        trimTime(sender);
        return;
    }
    // Not a number: the field shows its edge's present whole minutes or
    // seconds again, and reads whole numbers from now on.
    const trims::LaneGeometry g = geometryOf(*s.lane, *ui.audioView);
    const double x = *edge == trims::Start ? g.regionX : g.regionX + g.regionWidth;
    const double te = g.laneWidth > 0 ? x / g.laneWidth * s.track->durationInSeconds : 0.0;
    const trims::MinutesSeconds whole = trims::wholeMinutesSeconds(te);
    const bool minutes = sender == p->textFieldTrimStartMinutes || sender == p->textFieldTrimEndMinutes;
    sender->setFormatter(formatterForIntegerTextField());
    sender->setFloatValue(minutes ? whole.minutes : whole.seconds);
}

void AudioController::trimTime(NumberTextField* sender) {
    const TrackAndLane s = selectedTrackAndLane(*this);
    TimePopover* p = laneCommands.timePopover;
    if (!s || !p) return;
    MusicFilter& t = *s.track;
    const TrackFrameUndoRecord before = trackFrameUndoRecordOf(&t);
    if (const std::optional<trims::Edge> edge = trimEdgeOf(*p, sender)) {
        const double laneX = s.lane->frameX();
        const double origin = t.audioOriginInPercent, duration = t.audioDurationInPercent;

        // The entered time: the sender's number and the other field of its edge.
        NumberTextField* minutesField = *edge == trims::Start ? p->textFieldTrimStartMinutes : p->textFieldTrimEndMinutes;
        NumberTextField* secondsField = *edge == trims::Start ? p->textFieldTrimStartSeconds : p->textFieldTrimEndSeconds;
        double entered = 0;
        readNumber(sender, &entered);
        const double minutes = sender == minutesField ? entered : minutesField->floatValue();
        const double seconds = sender == secondsField ? entered : secondsField->floatValue();
        const double time = minutes * 60.0 + seconds;

        const MediaTimeRange used = t.currentTimeRange();
        if (t.durationInSeconds > 0 &&
            trims::trimEntryAccepted(*edge, time, used.start.seconds(), used.duration.seconds(),
                                     t.audioDuration().seconds())) {
            const double f = std::clamp(time / t.durationInSeconds, 0.0, 1.0);
            updateTrim(&t, *edge, *edge == trims::Start ? f : 0.0, *edge == trims::End ? f : 0.0);
            // An entry that leaves everything where it was is no undo step.
            if (s.lane->frameX() != laneX || t.audioOriginInPercent != origin || t.audioDurationInPercent != duration)
                if (UndoManager* undo = undoManager()) {
                    const TrackTrimUndoRecord record{unsigned(*edge), s.track, before};
                    QPointer<AudioController> self(this);
                    undo->registerUndo(this, [self, record] {
                        if (self) self->trimTime(record);
                    });
                }
        }
    }
    updateTimePopoverForFilter(&t);
}

void AudioController::trimTime(const TrackTrimUndoRecord& record) {
    const TrackAndLane s = trackAndLane(*this, record.track.lock());
    if (!s) return;  // the track is gone
    MusicFilter& t = *s.track;
    AudioDrawingView& lane = *s.lane;
    if (UndoManager* undo = undoManager()) {
        const TrackTrimUndoRecord inverse{record.audioUndoTrimType, record.track, trackFrameUndoRecordOf(&t)};
        QPointer<AudioController> self(this);
        undo->registerUndo(this, [self, inverse] {
            if (self) self->trimTime(inverse);
        });
    }
    if (record.audioUndoTrimType <= trims::End) {
        // The lane as it was, at today's zoom, and its region by the stored fractions.
        const TrackFrameUndoRecord& g = record.audioUndoInfoDictionary;
        const double r = g.audioUndoViewWidth > 0 ? shell.zoomValue / g.audioUndoViewWidth : 1.0;
        lane.setFrame(g.audioUndoFrameOrigin * r, g.audioUndoFrameWidth * r);
        lane.oldBounds = lane.frameRect();
        t.audioOriginInPercent = g.audioUndoPercentOrigin;
        t.audioDurationInPercent = g.audioUndoPercentDuration;
        setRegion(lane, g.audioUndoPercentOrigin * lane.frameWidth(), g.audioUndoPercentDuration * lane.frameWidth());
        applyTrimmedLane(*this, t, lane, trims::Edge(record.audioUndoTrimType), false);
    }
    updateTimePopoverForFilter(&t);
}

void AudioController::updateTrim(MusicFilter* track, quint64 type, double start, double end) {
    AudioDrawingView* lane = trackLaneOf(track);
    if (!track || !lane || !ui.audioView || type > trims::End) return;
    const auto edge = trims::Edge(type);
    const trims::LanePlacement p =
        trims::trimmedEdge(geometryOf(*lane, *ui.audioView), edge, edge == trims::Start ? start : end);
    if (edge == trims::Start) moveLane(*lane, p.laneX);
    setRegion(*lane, p.regionX, p.regionWidth);
    applyTrimmedLane(*this, *track, *lane, edge, true);
}
