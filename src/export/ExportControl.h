#pragma once

// The steps every export of the controller shares: taking the tracks' audio
// from the player for the length of the export and giving it back, and the
// sheet's button. Main thread.

#include <QString>

#include <cstdint>
#include <memory>

class AssetReader;
class Composition;
class CompositionTrack;
struct MediaTimeRange;
class AssetReaderAudioMixOutput;
class AudioController;
class MusicFilter;
class ProcessingTap;
struct TrackTapContext;

namespace exportcontrol {

// Starts an export session: the export runs, not stopped, not yet
// succeeded, at 0 %; every live tap is held prepared, then the
// player gives its item up (its render thread lets go of the taps), so that
// from here on only the export's readers run them. The player's time is
// kept for the end.
void beginSession(AudioController& c, double renderRate);
// Ends it: the readers and writers go, every track keeps its unit values,
// the taps are let go and the player gets a new item at its old time.
void endSession(AudioController& c);

// The sheet button's title and action.
enum class SheetAction { Stop, Close };
void setSheetButton(AudioController& c, const QString& title, SheetAction action);

// Every track's level meter to silence and redrawn.
void silenceMeters(AudioController& c);

// Seconds of a speed value as the exports read it: a value that is not a
// number counts as "not 1".
bool isNormalSpeed(float speed);

// Sets a track's tap up to render the track's used range alone, from zero:
// at its own length (`usedSeconds`), unscaled, and at another speed with
// its fades stretched to the time of the unscaled source. Null does nothing.
void prepareTapContextForRender(TrackTapContext* context, double usedSeconds, float speed);

// Adds to `composition` an audio track holding `range` of the track's
// current source version (its latest edit, or else its file), from zero.
CompositionTrack* addTrackSource(Composition& composition, const MusicFilter& track, const MediaTimeRange& range);

// Sets a track up to be rendered alone: its level meter silenced, the
// meters' updates off, and its recorded times moved to start at zero.
// Returns the track's start, which the render gives back to its recorded
// times when it ends.
double prepareTrackForRender(AudioController& c, MusicFilter* track);

// A single-track export renders the track as it sounds alone: a solo of
// another track does not silence it until the session ends. (The mix keeps
// the solo.)
void renderAlone(AudioController& c, const MusicFilter& track);

// Adds to `reader` the output that renders the composition track `trackID`
// alone through a track's own `tap`, at full volume, in stereo at
// `sampleRate`. Null when the reader cannot take it.
std::shared_ptr<AssetReaderAudioMixOutput> addTapMixOutput(AssetReader& reader, int32_t trackID,
                                                           std::shared_ptr<ProcessingTap> tap, double sampleRate);

}  // namespace exportcontrol
