#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

// A stereo output: calls its callback on the device's own thread for every
// block of interleaved float frames it needs. The callback must be real-time
// safe (copy from a buffer, nothing more).
class AudioOutput {
public:
    using Callback = std::function<void(float* interleaved, int frames)>;

    virtual ~AudioOutput() = default;
    virtual bool start(Callback callback, QString* error = nullptr) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    virtual double sampleRate() const = 0;
    virtual QString name() const = 0;

    // The default device through PortAudio (JACK when a JACK server runs,
    // else ALSA); when there is none, a null output at `fallbackRate`.
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
    bool isRunning() const override { return running_.load(); }
    double sampleRate() const override { return rate_; }
    QString name() const override { return QStringLiteral("No output"); }

    // Frames handed to the callback since start.
    int64_t framesDelivered() const { return delivered_.load(); }

private:
    void run();

    double rate_;
    int block_;
    Callback callback_;
    std::atomic<bool> running_{false};
    std::atomic<int64_t> delivered_{0};
    std::thread thread_;
};

// The default output device of PortAudio.
class PortAudioOutput : public AudioOutput {
public:
    // Null (with `error`) when PortAudio finds no output device.
    static std::unique_ptr<PortAudioOutput> open(QString* error = nullptr);
    ~PortAudioOutput() override;

    bool start(Callback callback, QString* error = nullptr) override;
    void stop() override;
    bool isRunning() const override { return stream_ != nullptr; }
    double sampleRate() const override { return rate_; }
    QString name() const override { return name_; }

private:
    PortAudioOutput() = default;
    static int streamCallback(const void* input, void* output, unsigned long frames,
                              const void* timeInfo, unsigned long statusFlags, void* user);

    int device_ = -1;
    double rate_ = 0;
    double latency_ = 0;
    QString name_;
    Callback callback_;
    void* stream_ = nullptr;
};
