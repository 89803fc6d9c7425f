// Typed placement of a track in the composition: the time popover's four
// composition fields move the whole track so that it starts (or ends) at
// the typed time. The played part keeps its length except where the track
// would leave the composition.
#include "app/AudioController.h"

#include "editing/TrimSteps.h"
#include "editing/TrimUndoRecords.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/UndoManager.h"
#include "views/TimePopover.h"

#include <algorithm>

using namespace trimsteps;

namespace {

struct PlacementField {
    trims::Edge edge;
    bool minutes;
};

std::optional<PlacementField> placementFieldOf(const TimePopover& p, const NumberTextField* field) {
    if (!field) return std::nullopt;
    if (field == p.textFieldCompositionStartMinutes) return PlacementField{trims::Start, true};
    if (field == p.textFieldCompositionStartSeconds) return PlacementField{trims::Start, false};
    if (field == p.textFieldCompositionEndMinutes) return PlacementField{trims::End, true};
    if (field == p.textFieldCompositionEndSeconds) return PlacementField{trims::End, false};
    return std::nullopt;
}

// The track takes its place and played range from its lane, the seek and the
// playhead go to its start, and the player is rebuilt with it.
void applyPlacedLane(AudioController& c, MusicFilter& t, AudioDrawingView& lane) {
    const trims::LaneGeometry g = geometryOf(lane, *c.ui.audioView);
    const double left = g.laneX + g.regionX;
    const int32_t ts = timeScaleOf(t);
    if (g.areaWidth > 0) {
        const trims::CompositionSpan span = trims::compositionSpan(g, c.shell.compositionDuration.seconds());
        t.setAnimationStart(MediaTime::fromSeconds(span.start, ts));
        t.setAnimationEnd(MediaTime::fromSeconds(span.end, ts));
    }
    if (g.laneWidth > 0) {
        const trims::Fractions f = trims::clampedFractions(g.regionX / g.laneWidth, g.regionWidth / g.laneWidth);
        t.audioOriginInPercent = f.origin;
        t.audioDurationInPercent = f.duration;
    }
    c.shell.seekTime = t.animationStart().seconds();
    if (g.areaWidth > 0) c.areaSetLinePercent(std::max(left / g.areaWidth, 0.0));
    const trims::SourceRange range = trims::retrimmedSourceRange(
        t.audioOriginInPercent, t.audioDurationInPercent, t.durationInSeconds, t.audioDuration().seconds());
    t.setCurrentTimeRange({MediaTime::fromSeconds(range.start, ts), MediaTime::fromSeconds(range.length, ts)});
    lane.update();
    NotificationCenter::defaultCenter().post(QStringLiteral("updatePlayerWithoutUpdate"), &t);
    c.updateAudioTimeLabelForFilter(&t);
}

}  // namespace

void AudioController::compositionTrimTimeFrom(NumberTextField* sender) {
    const TrackAndLane s = selectedTrackAndLane(*this);
    TimePopover* p = laneCommands.timePopover;
    if (!s || !p) return;
    const std::optional<PlacementField> field = placementFieldOf(*p, sender);
    if (!field) return;
    double value = 0;
    if (readNumber(sender, &value)) {
        compositionTrimTime(sender);
        return;
    }
    // Not a number: the field shows the edge's present whole minutes or
    // seconds again, and reads whole numbers from now on.
    const trims::LaneGeometry g = geometryOf(*s.lane, *ui.audioView);
    const double edgeX = g.laneX + g.regionX + (field->edge == trims::End ? g.regionWidth : 0.0);
    const double t = g.areaWidth > 0 ? edgeX / g.areaWidth * shell.compositionDuration.seconds() : 0.0;
    const trims::MinutesSeconds whole = trims::wholeMinutesSeconds(t);
    sender->setFormatter(formatterForIntegerTextField());
    sender->setFloatValue(field->minutes ? whole.minutes : whole.seconds);
}

void AudioController::compositionTrimTime(NumberTextField* sender) {
    const TrackAndLane s = selectedTrackAndLane(*this);
    TimePopover* p = laneCommands.timePopover;
    if (!s || !p) return;
    MusicFilter& t = *s.track;
    const double origin = t.audioOriginInPercent, duration = t.audioDurationInPercent;
    const double laneX = s.lane->frameX();
    if (const std::optional<PlacementField> field = placementFieldOf(*p, sender)) {
        // The entered time: the sender's number and the other field of its edge.
        NumberTextField* other = field->edge == trims::Start
                                     ? (field->minutes ? p->textFieldCompositionStartSeconds
                                                       : p->textFieldCompositionStartMinutes)
                                     : (field->minutes ? p->textFieldCompositionEndSeconds
                                                       : p->textFieldCompositionEndMinutes);
        double entered = 0;
        readNumber(sender, &entered);
        const double time = field->minutes ? 60.0 * entered + other->floatValue() : entered + 60.0 * other->floatValue();
        const double D = shell.compositionDuration.seconds();
        if (D > 0 && trims::placementEntryAccepted(time, D)) {
            const double f = std::clamp(time / D, 0.0, 1.0);
            updateCompositionTrim(&t, field->edge, field->edge == trims::Start ? f : 0.0,
                                  field->edge == trims::End ? f : 0.0);
        }
    }
    // A placement that moved something is one undo step.
    if (s.lane->frameX() != laneX || t.audioOriginInPercent != origin || t.audioDurationInPercent != duration)
        if (UndoManager* undo = undoManager()) {
            const CompositionTrimUndoRecord record{origin, duration, laneX, ui.audioView->frameWidth(),
                                                   s.track};
            QPointer<AudioController> self(this);
            undo->registerUndo(this, [self, record] {
                if (self) self->compositionTrimTime(record);
            });
        }
    updateTimePopoverForFilter(&t);
}

void AudioController::compositionTrimTime(const CompositionTrimUndoRecord& record) {
    const TrackAndLane s = trackAndLane(*this, record.track.lock());
    if (!s) return;  // the track is gone
    MusicFilter& t = *s.track;
    AudioDrawingView& lane = *s.lane;
    const double A = ui.audioView->frameWidth();
    // The stored origin at the track area's present width: the same composition time.
    const double x = record.audioUndoCompositionWidth > 0
                         ? record.audioUndoCompositionOrigin * (A / record.audioUndoCompositionWidth)
                         : record.audioUndoCompositionOrigin;
    if (UndoManager* undo = undoManager()) {
        const CompositionTrimUndoRecord inverse{t.audioOriginInPercent, t.audioDurationInPercent, lane.frameX(),
                                                A, record.track};
        QPointer<AudioController> self(this);
        undo->registerUndo(this, [self, inverse] {
            if (self) self->compositionTrimTime(inverse);
        });
    }
    moveLane(lane, x);
    setRegion(lane, record.audioUndoTrimStart * lane.frameWidth(), record.audioUndoTrimEnd * lane.frameWidth());
    applyPlacedLane(*this, t, lane);
    updateTimePopoverForFilter(&t);
}

void AudioController::updateCompositionTrim(MusicFilter* track, quint64 type, double start, double end) {
    AudioDrawingView* lane = trackLaneOf(track);
    if (!track || !lane || !ui.audioView) return;
    if (type <= trims::End) {
        const auto edge = trims::Edge(type);
        const trims::LanePlacement p =
            trims::placedEdge(geometryOf(*lane, *ui.audioView), edge, edge == trims::Start ? start : end);
        moveLane(*lane, p.laneX);
        setRegion(*lane, p.regionX, p.regionWidth);
    }
    applyPlacedLane(*this, *track, *lane);
}
