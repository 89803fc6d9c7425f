#pragma once

#include "platform/audio/DeviceCalls.h"

#include <QString>

#include <atomic>
#include <memory>

class PortAudioUse;

// An open PortAudio stream, input or output: started with its gate opened,
// and stopped and closed in bounded time (devicecall::finishWithin). Its
// callbacks reach their owner only through the gate, which lies in `state`,
// the state they share with the owner; a stop or close that comes late keeps
// that state, and PortAudio set up (`use`), for as long as it runs.
//
// A stop that comes late is left the stream and closes it once it returns:
// the holder is empty from then on, and the owner opens a new stream for its
// next start. So is one whose callback stayed inside the gate past the bound.
//
// Threads: the owner's thread; the callbacks on the stream's own.
class PortAudioStream {
public:
    PortAudioStream() = default;
    // Takes `stream`, opened with `gate` (inside `state`) on its callbacks'
    // way. `what` names the device in the warnings ("audio input").
    PortAudioStream(void* stream, CallbackGate& gate, std::shared_ptr<const void> state,
                    std::shared_ptr<PortAudioUse> use, const char* what);
    ~PortAudioStream() { close(); }
    PortAudioStream(const PortAudioStream&) = delete;
    PortAudioStream& operator=(const PortAudioStream&) = delete;
    PortAudioStream(PortAudioStream&& other) noexcept { *this = std::move(other); }
    PortAudioStream& operator=(PortAudioStream&& other) noexcept;

    bool isOpen() const { return stream_ != nullptr; }
    bool isStarted() const { return started_.load(); }
    void* stream() const { return stream_; }

    // Opens the gate and starts the stream; on failure the gate is closed
    // again and `error` says why.
    bool start(QString* error);
    // Stops the stream and closes the gate; false when either came late (the
    // holder is then empty, see above).
    bool stop();
    // Stops the stream when it runs and closes it; the holder is empty after.
    void close();

private:
    // Closes the gate after a stop; false when a callback stayed inside, and
    // the stream is then left to a close of its own.
    bool closeGate();
    // Closes the stream (stopped or never started) in bounded time and empties the holder.
    void closeStream();
    void forget();

    void* stream_ = nullptr;  // PaStream
    CallbackGate* gate_ = nullptr;
    std::shared_ptr<const void> state_;
    std::shared_ptr<PortAudioUse> use_;
    const char* what_ = "audio device";
    std::atomic<bool> started_{false};  // read from any thread
};
