#pragma once

#include "platform/audio/DeviceCalls.h"
#include "platform/audio/PortAudioStream.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PortAudioUse;

// A stereo output: calls its callback on the device's own thread for every
// block of interleaved float frames it needs. The callback must be real-time
// safe (copy from a buffer, nothing more).
//
// Threads: every member on one thread at a time (the player's: the main
// thread, or the thread it puts the output to sleep and wakes it on);
// isRunning() and isSuspended() on any. Only the callback runs on the
// device's thread.
class AudioOutput {
public:
    using Callback = std::function<void(float* interleaved, int frames)>;

    virtual ~AudioOutput() = default;
    virtual bool start(Callback callback, QString* error = nullptr) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    virtual double sampleRate() const = 0;
    virtual QString name() const = 0;

    // Sleep for an idle player. suspend() stops the callbacks but keeps the
    // device, and returns true once the callback has returned for the last
    // time until resume(); an output that cannot sleep returns false and goes
    // on calling it. resume() calls the same callback again, and returns once
    // what the callback gives is heard: the first block is never lost.
    virtual bool suspend() { return false; }
    virtual bool resume(QString* error = nullptr) {
        (void)error;
        return isRunning();
    }
    virtual bool isSuspended() const { return false; }

    // A client of its own when a JACK server runs, else the default device
    // through PortAudio (ALSA); when there is none, a null output at
    // `fallbackRate`.
    static std::unique_ptr<AudioOutput> createDefault(double fallbackRate = 48000);
};

// An output without a device: a clock thread asks for a block at the pace of
// real time, and the audio goes nowhere. Used when no device can be opened.
class NullAudioOutput : public AudioOutput {
public:
    explicit NullAudioOutput(double sampleRate = 48000, int blockFrames = 512);
    ~NullAudioOutput() override;

    bool start(Callback callback, QString* error = nullptr) override;
    void stop() override;
    bool isRunning() const override { return running_.load() || suspended_; }
    double sampleRate() const override { return rate_; }
    QString name() const override { return QStringLiteral("No output"); }
    // The clock thread ends while suspended, and a new one starts on resume.
    bool suspend() override;
    bool resume(QString* error = nullptr) override;
    bool isSuspended() const override { return suspended_.load(); }

    // Frames handed to the callback since start.
    int64_t framesDelivered() const { return delivered_.load(); }

private:
    void run();

    // Stops the clock thread and waits for it.
    void halt();

    double rate_;
    int block_;
    Callback callback_;
    std::atomic<bool> suspended_{false};
    std::atomic<bool> running_{false};
    std::atomic<int64_t> delivered_{0};
    std::thread thread_;
    std::mutex haltMutex_;
    std::condition_variable halted_;
};

// The default output device of PortAudio. Stopping and closing its stream
// are bounded in time (devicecall::finishWithin): a stream whose stop came
// late is left to that stop, which closes it, and its callback reaches the
// output no more. A suspend that came late leaves no stream: resume opens a
// new one.
class PortAudioOutput : public AudioOutput {
public:
    // Null (with `error`) when PortAudio finds no output device.
    static std::unique_ptr<PortAudioOutput> open(QString* error = nullptr);
    ~PortAudioOutput() override;

    bool start(Callback callback, QString* error = nullptr) override;
    void stop() override;
    bool isRunning() const override { return stream_.isStarted() || suspended_; }
    double sampleRate() const override { return rate_; }
    QString name() const override { return name_; }
    // The stream stays open while suspended (stopped, not closed).
    bool suspend() override;
    bool resume(QString* error = nullptr) override;
    bool isSuspended() const override { return suspended_.load(); }

private:
    PortAudioOutput() = default;
    // What the stream's thread reaches, shared with a stop that comes late.
    struct Link {
        CallbackGate gate;
        Callback callback;
    };
    static int streamCallback(const void* input, void* output, unsigned long frames,
                              const void* timeInfo, unsigned long statusFlags, void* user);

    int device_ = -1;
    double rate_ = 0;
    double latency_ = 0;
    QString name_;
    std::shared_ptr<Link> link_;  // of the open stream
    PortAudioStream stream_;
    std::atomic<bool> suspended_{false};
    // PortAudio stays set up while the output lives, and while a stop or
    // close that came late still runs.
    std::shared_ptr<PortAudioUse> use_;
};

// A client of our own on a running JACK server, with two output ports
// ("out_1", "out_2") connected to the server's first two playback ports.
// Suspended, the client is deactivated and closed: the server stops waking
// it every period, so an idle application sleeps, and the server's shared
// memory, which every client maps and locks, leaves the process. Resumed, a
// client of the same name is opened again; the connections the ports had
// when it was suspended, the user's own included, are made again.
// Closing a client is bounded in time (devicecall::finishWithin): a client
// whose close came late is left to it, and no new one opens until it is
// gone.
//
// Threads: every member on one thread at a time (isRunning() and
// isSuspended() on any); process() on the client's thread.
class JackAudioOutput : public AudioOutput {
public:
    // Null (with `error`) when no JACK server answers.
    static std::unique_ptr<JackAudioOutput> open(QString* error = nullptr);
    ~JackAudioOutput() override;

    bool start(Callback callback, QString* error = nullptr) override;
    void stop() override;
    bool isRunning() const override { return active_ || suspended_; }
    double sampleRate() const override { return rate_; }
    QString name() const override { return QStringLiteral("JACK: ") + clientName(); }
    bool suspend() override;
    bool resume(QString* error = nullptr) override;
    bool isSuspended() const override { return suspended_.load(); }

    // The client's name on the server (its ports are "NAME:out_1" and "NAME:out_2").
    QString clientName() const;

private:
    JackAudioOutput() = default;
    // What the client's threads reach, one for each client opened, shared
    // with a close that comes late.
    struct Link;
    static int process(uint32_t frames, void* link);
    static void serverGone(void* link);
    // Closes `client` (deactivated or never active) in bounded time; false
    // when it came late and was left to itself.
    static bool closeJackClient(void* client, std::shared_ptr<Link> link);
    bool openClient(QString* error);
    void closeClient();
    bool activate(QString* error);
    void deactivate();

    // Frames of the interleaved block handed to the callback; a longer JACK
    // period is served in several calls.
    static constexpr int kBlockFrames = 4096;

    void* client_ = nullptr;         // jack_client_t; none while asleep
    std::shared_ptr<Link> link_;     // of `client_`
    std::shared_ptr<Link> closing_;  // of the last client, while its close that came late runs
    QString name_;                   // the client's name, kept over a sleep
    double rate_ = 0;
    Callback callback_;              // handed to each client's link as it activates
    std::vector<std::string> connections_[2];  // kept over a sleep
    // Read from any thread (isRunning, isSuspended): the player sleeps and
    // wakes its output off the main thread.
    std::atomic<bool> active_{false};
    std::atomic<bool> suspended_{false};
};
