#pragma once

#include <QThreadPool>

// The worker threads of the media layer: asset loading (quick, many at once)
// and decoding (long, a few at once, so that a batch of imports does not
// starve the machine).
namespace mediaworkers {

QThreadPool& loadPool();
QThreadPool& decodePool();

// Drops the work that has not started yet and waits for what is running (a
// waveform being painted, a source being decoded) to end. Called before the
// application object goes: painting without it crashes.
void finishWork();

}  // namespace mediaworkers
