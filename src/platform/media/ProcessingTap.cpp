#include "platform/media/ProcessingTap.h"

#include <algorithm>
#include <cstring>

namespace {
thread_local const ProcessingTap::SliceSource* currentSlice = nullptr;
}

std::shared_ptr<ProcessingTap> ProcessingTap::create(const ProcessingTapCallbacks& callbacks,
                                                     uint32_t creationFlags, int* status) {
    if (!callbacks.process) {
        if (status) *status = ErrorBadArgument;
        return nullptr;
    }
    std::shared_ptr<ProcessingTap> tap(new ProcessingTap(callbacks, creationFlags));
    if (callbacks.init) callbacks.init(tap.get(), callbacks.clientInfo, &tap->storage_);
    if (status) *status = NoError;
    return tap;
}

ProcessingTap::ProcessingTap(const ProcessingTapCallbacks& callbacks, uint32_t creationFlags)
    : callbacks_(callbacks), creationFlags_(creationFlags) {}

ProcessingTap::~ProcessingTap() {
    // A renderer that forgot to detach still gets its tap unprepared.
    if (attachCount_.load() > 0 && callbacks_.unprepare) callbacks_.unprepare(this);
    if (callbacks_.finalize) callbacks_.finalize(this);
}

ProcessingTap::Preparation ProcessingTap::attach(int64_t maxFrames, const units::StreamFormat& format) {
    std::lock_guard lock(attachMutex_);
    if (attachCount_.fetch_add(1) == 0) {
        preparation_ = Preparation{maxFrames, format};
        if (callbacks_.prepare) callbacks_.prepare(this, maxFrames, format);
    }
    return preparation_;
}

bool ProcessingTap::reformat(int64_t maxFrames, const units::StreamFormat& format) {
    std::lock_guard lock(attachMutex_);
    if (attachCount_.load() != 1 || !callbacks_.reformat) return false;
    preparation_ = Preparation{maxFrames, format};
    callbacks_.reformat(this, maxFrames, format);
    return true;
}

void ProcessingTap::detach() {
    std::lock_guard lock(attachMutex_);
    if (attachCount_.load() <= 0) return;
    if (attachCount_.fetch_sub(1) == 1 && callbacks_.unprepare) callbacks_.unprepare(this);
}

void ProcessingTap::process(const SliceSource& source, int64_t numberFrames, uint32_t flags,
                            units::BufferList* bufferList, int64_t* numberFramesOut,
                            uint32_t* flagsOut) {
    const SliceSource* previous = currentSlice;
    currentSlice = &source;
    callbacks_.process(this, numberFrames, flags, bufferList, numberFramesOut, flagsOut);
    currentSlice = previous;
}

int ProcessingTap::getSourceAudio(ProcessingTap* tap, int64_t numberFrames,
                                  units::BufferList* bufferList, uint32_t* flagsOut,
                                  MediaTimeRange* timeRangeOut, int64_t* numberFramesOut) {
    const SliceSource* src = currentSlice;
    if (!src || src->tap != tap) return ErrorNotInProcess;
    if (!bufferList || numberFrames < 0) return ErrorBadArgument;
    const int64_t frames = std::min(numberFrames, src->frames);
    auto channel = [&](int c) -> const float* {
        if (src->channelCount <= 0) return nullptr;
        return src->channels[std::min(c, src->channelCount - 1)];
    };
    int channelIndex = 0;
    for (uint32_t b = 0; b < bufferList->numberBuffers; ++b) {
        units::AudioBuffer& buf = bufferList->buffers[b];
        if (!buf.data) {
            // No memory of the caller's: lend it the slice's own samples (the
            // renderer's copy, so writing into them harms nothing).
            if (buf.numberChannels <= 1 && channel(channelIndex)) {
                buf.data = const_cast<float*>(channel(channelIndex));
                buf.dataByteSize = static_cast<uint32_t>(sizeof(float) * frames);
            }
            channelIndex += static_cast<int>(std::max<uint32_t>(1, buf.numberChannels));
            continue;
        }
        const uint32_t nch = std::max<uint32_t>(1, buf.numberChannels);
        const int64_t capacity = buf.dataByteSize / (sizeof(float) * nch);
        const int64_t n = std::min(frames, capacity);
        float* out = static_cast<float*>(buf.data);
        if (nch == 1) {
            const float* in = channel(channelIndex);
            if (in && in != out) std::memmove(out, in, sizeof(float) * n);
            else if (!in) std::fill(out, out + n, 0.0f);
        } else {
            for (int64_t i = 0; i < n; ++i)
                for (uint32_t c = 0; c < nch; ++c) {
                    const float* in = channel(channelIndex + static_cast<int>(c));
                    out[i * nch + c] = in ? in[i] : 0.0f;
                }
        }
        const int64_t asked = std::min(numberFrames, capacity);
        if (asked > n) std::fill(out + n * nch, out + asked * nch, 0.0f);
        channelIndex += static_cast<int>(nch);
    }
    if (flagsOut) *flagsOut = src->flags;
    if (timeRangeOut) *timeRangeOut = src->range;
    if (numberFramesOut) *numberFramesOut = frames;
    return NoError;
}
