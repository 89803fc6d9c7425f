#pragma once

// The player's new item, built the one way every caller needs. Main thread.

#include <memory>

class AudioController;
class Composition;

namespace playeritems {

// The player gets a new item of `composition` with a copy of the current
// mix (its inputs share the tracks' taps; later changes to the mix's list
// do not reach the running render), and the item's observers.
void playWithCurrentMix(AudioController& c, std::shared_ptr<Composition> composition);

}  // namespace playeritems
