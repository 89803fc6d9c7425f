#pragma once

#include "platform/audio/PortAudioStream.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The audio inputs of the machine, through PortAudio (JACK's when a JACK
// server runs, else ALSA's).
struct AudioInputDevice {
    QString uniqueID;       // stable across runs: host API and device name
    QString localizedName;  // what the user sees
    int channelCount = 0;
    double sampleRate = 0;  // the device's default
};

namespace audioinput {

// Every device with at least one input channel, in PortAudio's order.
std::vector<AudioInputDevice> devices();
std::optional<AudioInputDevice> defaultDevice();
std::optional<AudioInputDevice> deviceWithUniqueID(const QString& uniqueID);

// Whether the application may record. There is no such permission on this
// desktop: it is always granted.
enum class Authorization { NotDetermined = 0, Restricted = 1, Denied = 2, Authorized = 3 };
Authorization authorizationStatus();

// The JACK client of this process's inputs (its ports are "NAME:in_0", ...;
// the output is another client), or an empty string without one. It is
// there while an input stream is open, and goes a moment after the last one
// closes.
QString jackClientName();

}  // namespace audioinput

// One open input stream of a device, at a given rate.
//
// Stopping and closing are bounded in time (devicecall::finishWithin). Once
// stop() has returned, neither callback is called again, even when the stop
// itself came late: such a stream is left to its stop, which closes it when
// it returns, and this object no longer has a stream.
//
// Threads: open(), start(), stop() and the destructor on any one thread at a
// time (not the callback's). The callback runs on the device's own thread for
// every period of interleaved float frames: it must only copy them somewhere
// (see DESIGN: the render-thread rules). `finished` runs on the device's
// thread when the stream stops without being asked to (the device went away).
class AudioInputStream {
public:
    using Callback = std::function<void(const float* interleaved, int frames)>;
    using Finished = std::function<void()>;

    // Null, with `error`, when the device cannot be opened at `sampleRate`.
    static std::unique_ptr<AudioInputStream> open(const AudioInputDevice& device, double sampleRate,
                                                  QString* error = nullptr);
    ~AudioInputStream();

    int channelCount() const { return channels_; }
    double sampleRate() const { return rate_; }
    bool start(Callback callback, Finished finished, QString* error = nullptr);
    void stop();
    bool isRunning() const;

private:
    AudioInputStream() = default;
    // What the stream's thread reaches, shared with a stop that comes late.
    struct Link;
    std::shared_ptr<Link> link_;
    PortAudioStream stream_;
    int channels_ = 0;
    double rate_ = 0;
};
