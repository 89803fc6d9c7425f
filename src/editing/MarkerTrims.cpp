// The selected track trimmed to a marker, or placed at a marker or beside
// another track's start or end. Each fills the time popover's fields as the
// user would and sends them on, so it takes the same checks and undo.
#include "app/AudioController.h"

#include "editing/TrimSteps.h"
#include "views/TimePopover.h"

using namespace trimsteps;

namespace {

enum class Pair { TrimStart, TrimEnd, CompositionStart, CompositionEnd };

// Writes `seconds` into the pair and answers its minutes field.
NumberTextField* fillPair(TimePopover& p, Pair pair, double seconds) {
    NumberTextField* minutes = nullptr;
    NumberTextField* secondsField = nullptr;
    switch (pair) {
    case Pair::TrimStart: minutes = p.textFieldTrimStartMinutes, secondsField = p.textFieldTrimStartSeconds; break;
    case Pair::TrimEnd: minutes = p.textFieldTrimEndMinutes, secondsField = p.textFieldTrimEndSeconds; break;
    case Pair::CompositionStart:
        minutes = p.textFieldCompositionStartMinutes, secondsField = p.textFieldCompositionStartSeconds;
        break;
    case Pair::CompositionEnd:
        minutes = p.textFieldCompositionEndMinutes, secondsField = p.textFieldCompositionEndSeconds;
        break;
    }
    writeMinutesSeconds(minutes, secondsField, seconds);
    return minutes;
}

// Where the marker at `seconds` lies in the selected track's source; none
// outside the source or without a selected track.
std::optional<double> markerInSource(const AudioController& c, double seconds) {
    const TrackAndLane s = selectedTrackAndLane(c);
    if (!s) return std::nullopt;
    const MusicFilter& t = *s.track;
    const double speed = t.value(EffectInput::Speed);
    if (!(speed > 0)) return std::nullopt;
    const double at = trims::sourceTimeAt(seconds, t.animationStart().seconds(), t.currentTimeRange().start.seconds(),
                                          speed);
    if (!(at >= 0 && at <= t.durationInSeconds)) return std::nullopt;
    return at;
}

void place(AudioController& c, Pair pair, double seconds) {
    if (!selectedTrackAndLane(c)) return;
    TimePopover* p = c.timePopover();
    c.compositionTrimTime(fillPair(*p, pair, seconds));
}

}  // namespace

void AudioController::updateTrimStartToMarkerTime(double seconds) {
    const std::optional<double> at = markerInSource(*this, seconds);
    if (!at) return;
    TimePopover* p = timePopover();
    trimTime(fillPair(*p, Pair::TrimStart, *at));
    // The new start then goes to the marker.
    compositionTrimTime(fillPair(*p, Pair::CompositionStart, seconds));
}

void AudioController::updateTrimEndToMarkerTime(double seconds) {
    const std::optional<double> at = markerInSource(*this, seconds);
    if (!at) return;
    trimTime(fillPair(*timePopover(), Pair::TrimEnd, *at));
}

void AudioController::updateCompositionStartToMarkerTime(double seconds) { place(*this, Pair::CompositionStart, seconds); }
void AudioController::updateCompositionEndToMarkerTime(double seconds) { place(*this, Pair::CompositionEnd, seconds); }
void AudioController::updateCompositionStartToTrackEndTime(double seconds) { place(*this, Pair::CompositionStart, seconds); }
void AudioController::updateCompositionEndToTrackStartTime(double seconds) { place(*this, Pair::CompositionEnd, seconds); }
void AudioController::updateCompositionStartToTrackStartTime(double seconds) {
    place(*this, Pair::CompositionStart, seconds);
}
void AudioController::updateCompositionEndToTrackEndTime(double seconds) { place(*this, Pair::CompositionEnd, seconds); }
