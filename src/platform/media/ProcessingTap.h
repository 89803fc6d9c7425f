#pragma once

#include "platform/core/MediaTime.h"
#include "platform/units/UnitTypes.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class ProcessingTap;

// Flags of a render slice, given to process and reported by getSourceAudio.
enum ProcessingTapFlags : uint32_t {
    ProcessingTapFlagStartOfStream = 1u << 8,  // first slice after a start or a jump
    ProcessingTapFlagEndOfStream = 1u << 9,    // the track's audio ends in this slice
};

// Where the tap sits in a track's processing.
enum ProcessingTapCreationFlags : uint32_t {
    ProcessingTapCreationFlagPreEffects = 1u << 0,
    ProcessingTapCreationFlagPostEffects = 1u << 1,
};

// The five callbacks of a tap. init runs when the tap is created and hands
// back the tap's storage; finalize when the last owner lets go of it. prepare
// runs before the first render that uses the tap (not on a render thread) and
// unprepare after the last such render has ended; process runs on the render
// thread, once per slice.
struct ProcessingTapCallbacks {
    int version = 0;
    void* clientInfo = nullptr;
    void (*init)(ProcessingTap* tap, void* clientInfo, void** storageOut) = nullptr;
    void (*finalize)(ProcessingTap* tap) = nullptr;
    void (*prepare)(ProcessingTap* tap, int64_t maxFrames, const units::StreamFormat& format) = nullptr;
    void (*unprepare)(ProcessingTap* tap) = nullptr;
    void (*process)(ProcessingTap* tap, int64_t numberFrames, uint32_t flags,
                    units::BufferList* bufferList, int64_t* numberFramesOut,
                    uint32_t* flagsOut) = nullptr;
    // Optional: brings a prepared tap to another format in place, its state
    // cleared, with no render in progress (see ProcessingTap::reformat).
    void (*reformat)(ProcessingTap* tap, int64_t maxFrames, const units::StreamFormat& format) = nullptr;
    // Optional: takes up the latency the tap wants now (see
    // ProcessingTap::takeUpLatency); it calls setLatency and setWantedLatency.
    void (*takeUpLatency)(ProcessingTap* tap) = nullptr;
};

class ProcessingTap {
public:
    enum Status { NoError = 0, ErrorNotInProcess = -1, ErrorBadArgument = -2 };

    // Makes a tap and runs its init callback. Null (with `status`) when the
    // callbacks lack process.
    static std::shared_ptr<ProcessingTap> create(const ProcessingTapCallbacks& callbacks,
                                                 uint32_t creationFlags, int* status = nullptr);
    ~ProcessingTap();
    ProcessingTap(const ProcessingTap&) = delete;
    ProcessingTap& operator=(const ProcessingTap&) = delete;

    void* storage() const { return storage_; }
    uint32_t creationFlags() const { return creationFlags_; }

    // Inside process only: fills `bufferList` with the track's audio for the
    // slice being rendered (at most `numberFrames` frames, the rest zero) and
    // reports the slice's range in composition time and its flags. Any other
    // call returns ErrorNotInProcess and leaves the buffers alone.
    static int getSourceAudio(ProcessingTap* tap, int64_t numberFrames,
                              units::BufferList* bufferList, uint32_t* flagsOut,
                              MediaTimeRange* timeRangeOut, int64_t* numberFramesOut);

    // ---- for renderers ----
    // Each renderer that uses the tap attaches before rendering and detaches
    // after: the first attach prepares the tap, the last detach unprepares it,
    // so that one renderer ending does not take the tap from another.
    // A tap is prepared once for all its renderers: attach returns the
    // maximum frames and the format it was prepared with, which every
    // renderer then feeds it (resampling and splitting slices as needed).
    struct Preparation {
        int64_t maxFrames = 0;
        units::StreamFormat format;
    };
    Preparation attach(int64_t maxFrames, const units::StreamFormat& format);
    void detach();
    int attachCount() const { return attachCount_.load(); }
    // For the one renderer that holds the tap, before it renders: prepares
    // the tap again at `format` (what attach reports from now on) and starts
    // its state clean, so that an offline render runs at its own rate and
    // the same input always renders to the same samples. False, with
    // nothing changed, when another renderer holds the tap too or the tap
    // cannot be reformatted.
    bool reformat(int64_t maxFrames, const units::StreamFormat& format);

    // Frames by which the tap's process delays the track's audio, at the
    // rate the tap was prepared with. A renderer feeds the tap that far ahead
    // of the output and drops as many frames of its output at every start
    // and jump, so that the track lines up with a track whose tap adds no
    // delay.
    //
    // The latency moves only when a renderer takes it up: at every start and
    // jump (takeUpLatency), and when the tap wants another one while it
    // plays (wantedLatency differs: what the tap's owner has in use changed).
    // The renderer then re-aligns the track there, as at a jump.
    void setLatency(int64_t frames) { latency_.store(frames > 0 ? frames : 0); }
    int64_t latency() const { return latency_.load(); }
    // The latency the tap would have now; its process keeps it current.
    void setWantedLatency(int64_t frames) { wanted_.store(frames > 0 ? frames : 0, std::memory_order_relaxed); }
    int64_t wantedLatency() const { return wanted_.load(std::memory_order_relaxed); }
    // For the renderer that is about to feed the tap from a new position (no
    // other render in the tap meanwhile): the tap delays the track by what it
    // wants from its next slice on. Answers the latency.
    int64_t takeUpLatency() {
        if (callbacks_.takeUpLatency) callbacks_.takeUpLatency(this);
        return latency();
    }

    // The source of one slice, seen by getSourceAudio while process runs.
    struct SliceSource {
        const ProcessingTap* tap = nullptr;
        const float* const* channels = nullptr;
        int channelCount = 0;
        int64_t frames = 0;
        MediaTimeRange range;
        uint32_t flags = 0;
    };
    // Runs process for one slice with `source` as what getSourceAudio returns.
    void process(const SliceSource& source, int64_t numberFrames, uint32_t flags,
                 units::BufferList* bufferList, int64_t* numberFramesOut, uint32_t* flagsOut);

private:
    ProcessingTap(const ProcessingTapCallbacks& callbacks, uint32_t creationFlags);

    ProcessingTapCallbacks callbacks_;
    uint32_t creationFlags_;
    void* storage_ = nullptr;
    std::mutex attachMutex_;
    std::atomic<int> attachCount_{0};
    std::atomic<int64_t> latency_{0};
    std::atomic<int64_t> wanted_{0};
    Preparation preparation_;
};
