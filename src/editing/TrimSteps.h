#pragma once

// Steps shared by the typed trims and placements: the selected track with
// its lane, the lane's geometry, and the field pairs of the time popover.
// Main thread.

#include "app/AudioController.h"

#include "editing/TrimArithmetic.h"
#include "engine/MusicFilter.h"
#include "platform/core/MediaTime.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/NumberTextField.h"

#include <cmath>
#include <memory>

namespace trimsteps {

struct TrackAndLane {
    std::shared_ptr<MusicFilter> track;
    AudioDrawingView* lane = nullptr;
    explicit operator bool() const { return track && lane; }
};

inline TrackAndLane trackAndLane(const AudioController& c, const std::shared_ptr<MusicFilter>& track) {
    if (!track || !c.ui.audioView || c.indexOfTrack(track.get()) == kNoIndex) return {};
    return {track, AudioController::trackLaneOf(track.get())};
}

inline TrackAndLane selectedTrackAndLane(const AudioController& c) {
    const TrackRecord* record = c.trackRecordAt(c.currentSelectedAudio.load());
    return record ? trackAndLane(c, record->audioFilter) : TrackAndLane{};
}

// The lane's exact frame and region, and the track area's width.
inline trims::LaneGeometry geometryOf(const AudioDrawingView& lane, const AudioView& area) {
    const QRectF region = lane.drawingBezierPath.boundingRect();
    return {lane.frameX(), lane.frameWidth(), region.x(), region.width(), area.frameWidth()};
}

// Where the lane's region starts and ends in the composition.
inline trims::CompositionSpan compositionSpanOf(const AudioDrawingView& lane, const AudioView& area,
                                                double compositionSeconds) {
    return trims::compositionSpan(geometryOf(lane, area), compositionSeconds);
}

// The lane's origin in the track area.
inline void moveLane(AudioDrawingView& lane, double x) { lane.setFrameX(x); }

// The region at (x, w), at its present height, kept inside the area and the lane.
inline void setRegion(AudioDrawingView& lane, double x, double w) {
    const QRectF r = lane.drawingBezierPath.boundingRect();
    lane.drawingBezierPath = AudioDrawingView::regionPath({x, r.y(), std::max(w, 0.0), r.height()});
    lane.verifyDrawingBezierPath();
}

inline int32_t timeScaleOf(const MusicFilter& t) { return t.timeScale > 0 ? t.timeScale : MediaTime::DefaultTimeScale; }

// What a field's text reads as; fractions typed into a whole-minutes field
// are taken as they are.
inline bool readNumber(const NumberTextField* field, double* value) {
    const TextFieldNumberFormatter decimal(TextFieldNumberFormatter::Kind::Decimal);
    return field && decimal.numberFromString(field->text(), value);
}

// `seconds` shown as whole minutes and the seconds within the last one,
// each through its field's own formatter.
inline void writeMinutesSeconds(NumberTextField* minutes, NumberTextField* seconds, double value) {
    const trims::MinutesSeconds ms = trims::minutesSeconds(value);
    if (minutes) minutes->setFloatValue(ms.minutes);
    if (seconds) seconds->setFloatValue(ms.seconds);
}

}  // namespace trimsteps
