#include "platform/audio/PortAudioStream.h"

#include "platform/audio/PortAudioUse.h"

#include <QByteArray>

#include <portaudio.h>

#include <utility>

PortAudioStream::PortAudioStream(void* stream, CallbackGate& gate, std::shared_ptr<const void> state,
                                 std::shared_ptr<PortAudioUse> use, const char* what)
    : stream_(stream), gate_(&gate), state_(std::move(state)), use_(std::move(use)), what_(what) {}

PortAudioStream& PortAudioStream::operator=(PortAudioStream&& other) noexcept {
    if (this == &other) return *this;
    close();
    stream_ = std::exchange(other.stream_, nullptr);
    gate_ = std::exchange(other.gate_, nullptr);
    state_ = std::move(other.state_);
    use_ = std::move(other.use_);
    what_ = other.what_;
    started_ = other.started_.exchange(false);
    return *this;
}

bool PortAudioStream::start(QString* error) {
    if (!stream_) {
        if (error) *error = QStringLiteral("The stream is not open.");
        return false;
    }
    if (started_) return true;
    gate_->open();
    const PaError err = Pa_StartStream(static_cast<PaStream*>(stream_));
    if (err != paNoError) {
        // Nothing was called back: the gate closes at once.
        gate_->close(state_);
        if (error) *error = QString::fromUtf8(Pa_GetErrorText(err));
        return false;
    }
    started_ = true;
    return true;
}

bool PortAudioStream::stop() {
    if (!stream_ || !started_) return true;
    started_ = false;
    // Once the stream has stopped, PortAudio calls back no more. A stop that
    // comes late is left the stream, and closes it once it returns; the gate
    // keeps its callbacks away from the owner meanwhile.
    auto* stream = static_cast<PaStream*>(stream_);
    const QByteArray late = QByteArray("The ") + what_ + " did not stop in time; it is left behind.";
    const bool inTime = devicecall::finishWithin(
        devicecall::kLimit, late.constData(), [stream, state = state_, use = use_] { Pa_StopStream(stream); },
        [stream, state = state_, use = use_] { Pa_CloseStream(stream); });
    if (!inTime) {
        gate_->close(state_);
        forget();
        return false;
    }
    return closeGate();
}

bool PortAudioStream::closeGate() {
    if (gate_->close(state_)) return true;
    // A callback stays inside (the stream has stopped, so it is not the
    // stream's own): this stream and its state are not used again.
    closeStream();
    return false;
}

void PortAudioStream::close() {
    if (!stream_) return;
    if (stop()) closeStream();
}

void PortAudioStream::closeStream() {
    auto* stream = static_cast<PaStream*>(stream_);
    const QByteArray late = QByteArray("The ") + what_ + " did not close in time; it is left behind.";
    devicecall::finishWithin(devicecall::kLimit, late.constData(),
                             [stream, state = state_, use = use_] { Pa_CloseStream(stream); });
    forget();
}

void PortAudioStream::forget() {
    stream_ = nullptr;
    gate_ = nullptr;
    started_ = false;
    state_.reset();
    use_.reset();
}
