#pragma once

// Steps the range edits of src/editing share between their files.

class AudioController;
class MusicFilter;

namespace rangeedits {

// The player rebuilt after a removal made without it, when the edit that was
// to follow the removal did not happen.
void rebuildAfterRemoval(AudioController& c, MusicFilter& track);

// Whether the two tracks' audio has the same stream layout (rate, channels,
// sample format), so that one's audio can go into the other.
bool sameStreamFormat(const MusicFilter& a, const MusicFilter& b);

}  // namespace rangeedits
