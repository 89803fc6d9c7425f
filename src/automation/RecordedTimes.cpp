// Moving a track's automation key points in time, around an offline render
// that starts the track at zero.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"

// The key points live in the automation store; until the store exists a
// track has no key points and there is nothing to move.
void AudioController::updateRecordedTimesForFilter(MusicFilter* track, double timeDifference) {
    (void)track, (void)timeDifference;
}
