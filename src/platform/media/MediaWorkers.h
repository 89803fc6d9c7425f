#pragma once

#include <QThreadPool>

// The worker threads of the media layer: asset loading (quick, many at once),
// decoding (long, a few at once, so that a batch of imports does not starve
// the machine) and the pictures of waveforms (two at most: a batch of
// pictures never takes every core from the window's painting, and never
// waits in Qt's shared pool, which that painting uses).
namespace mediaworkers {

QThreadPool& loadPool();
QThreadPool& decodePool();
QThreadPool& picturePool();

// Drops the work that has not started yet and waits for what is running (a
// waveform being painted, a source being decoded) to end. Called before the
// application object goes: painting without it crashes.
void finishWork();

}  // namespace mediaworkers
