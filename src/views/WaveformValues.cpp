#include "views/WaveformValues.h"

#include "platform/media/DecodedSource.h"

#include <algorithm>
#include <cmath>

namespace waveform {

int64_t stepForFrames(int64_t frameCount, double sampleRate) {
    if (!(sampleRate > 0) || frameCount <= 0) return 1;
    const double seconds = double(frameCount) / sampleRate;
    return std::max<int64_t>(1, int64_t(std::floor(seconds)));
}

QVector<float> valuesForSource(const DecodedSource& source, const std::atomic<bool>* cancel) {
    const int64_t F = source.frameCount();
    const double R = source.sampleRate();
    QVector<float> values;
    if (F <= 0 || !(R > 0)) return values;
    const double D = double(F) / R;
    const int64_t step = stepForFrames(F, R);
    const int channels = source.channelCount();
    values.reserve(qsizetype(F / step + 2));

    // Frames [start, start + count) sampled from `start` on.
    auto sample = [&](int64_t start, int64_t count) {
        for (int64_t i = 0; i < count; i += step) {
            float v = -1.0f;
            for (int c = 0; c < channels; ++c) {
                const float s = source.sample(c, start + i);
                if (!std::isnan(s)) v = std::max(v, s);
            }
            values.append(v);
        }
    };

    if (D < 3600.0) {
        sample(0, F);
        return values;
    }
    const int64_t chunks = int64_t(std::floor(D / 3600.0));
    const int64_t chunkFrames = F / chunks;
    for (int64_t k = 0; k < chunks; ++k) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return values;
        sample(k * chunkFrames, chunkFrames);
    }
    const int64_t remainder = F - chunks * chunkFrames;
    if (remainder > 0) sample(chunks * chunkFrames, remainder);
    return values;
}

}  // namespace waveform
