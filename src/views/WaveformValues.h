#pragma once

#include <QVector>

#include <atomic>
#include <cstdint>

class DecodedSource;

namespace waveform {

// The step between sampled frames: the file's length in whole seconds, and
// at least one frame, so that a file shorter than a second still advances.
int64_t stepForFrames(int64_t frameCount, double sampleRate);

// The waveform values of a track: for every sampled frame, the largest
// sample across the channels (signed; a NaN sample is skipped; -1 with no
// channel). Frames are sampled every `stepForFrames` frames. A file of an
// hour or more is taken in pieces of about an hour, the sampling starting
// again at the start of each piece. Empty for a source without frames or
// sample rate. `cancel`, when set, stops the work early (the result is then
// incomplete and must not be used).
QVector<float> valuesForSource(const DecodedSource& source,
                               const std::atomic<bool>* cancel = nullptr);

}  // namespace waveform
