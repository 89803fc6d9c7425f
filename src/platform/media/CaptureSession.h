#pragma once

#include "platform/audio/AudioInput.h"
#include "platform/media/AudioFileWriter.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <atomic>
#include <memory>
#include <vector>

class CaptureAudioFileOutput;

// A device of a capture session.
class CaptureDeviceInput {
public:
    // Null, with `error`, when the device is not there.
    static std::unique_ptr<CaptureDeviceInput> make(const AudioInputDevice& device, QString* error = nullptr);
    const AudioInputDevice& device() const { return device_; }

private:
    AudioInputDevice device_;
};

// Records a capture session's input into an audio file: AAC in m4a (or any
// format of AudioFileWriter), a one-channel input filling both channels.
//
// Threads. The main thread starts and stops the recording and reads the
// duration and levels. The session's input callback only copies the frames
// into a lock-free ring; a writer thread of the session drains it, measures
// the levels and encodes while a recording runs. The file is written under a
// temporary name and renamed into place when the recording ends, so that an
// unfinished file never carries the destination's name.
class CaptureAudioFileOutput : public QObject {
    Q_OBJECT
public:
    explicit CaptureAudioFileOutput(const AudioFileWriter::Settings& settings, QObject* parent = nullptr);
    ~CaptureAudioFileOutput() override;

    const AudioFileWriter::Settings& settings() const { return settings_; }

    // Starts writing the frames that arrive from now on to `url`. False when
    // the file cannot be made (then didFinishRecording follows with the error).
    bool startRecording(const QUrl& url);
    // Ends the file with what has arrived; didFinishRecording follows.
    void stopRecording();
    bool isRecording() const { return recording_.load(); }
    // Seconds written to the file of the current recording.
    double recordedDuration() const;
    // The average power of each channel of the input over the last 0.1 s,
    // in dB (full-scale sine: −3 dB); as many values as the input has channels.
    std::vector<double> averagePowerLevels() const;

signals:
    // On the main thread, once the first frames go to the file.
    void didStartRecording(const QUrl& url);
    // On the main thread, when the file is complete or has failed; an empty
    // `error` means the file is in place.
    void didFinishRecording(const QUrl& url, const QString& error);

private:
    friend class CaptureSession;
    struct Ring;
    // Called by the session.
    bool attach(int channels, double rate, QString* error);
    void detach();
    void rtPush(const float* interleaved, int frames);  // input callback
    void writerLoop();
    void finishOnWriter(const QString& failure);

    AudioFileWriter::Settings settings_;
    std::unique_ptr<Ring> ring_;
    int channels_ = 0;
    double rate_ = 0;
    // The writer the main thread made, taken up by the writer thread.
    std::atomic<AudioFileWriter*> pendingWriter_{nullptr};
    std::unique_ptr<AudioFileWriter> writer_;  // writer thread's
    QUrl url_;
    std::atomic<bool> recording_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> quit_{false};
    std::atomic<int64_t> framesWritten_{0};
    std::atomic<float> power_[2] = {-160.0f, -160.0f};
    std::atomic<uint64_t> overruns_{0};
    struct Thread;
    std::unique_ptr<Thread> thread_;
};

// A capture session: one input device and one audio file output.
//
// Threads. Built on the main thread. startRunning() may run on a background
// thread: it opens the device's stream and posts didStartRunning or
// runtimeError. The notifications are delivered on the main thread.
class CaptureSession : public QObject {
    Q_OBJECT
public:
    static constexpr double SampleRate = 48000.0;

    explicit CaptureSession(QObject* parent = nullptr);
    ~CaptureSession() override;

    bool canAddInput(const CaptureDeviceInput* input) const;
    void addInput(std::unique_ptr<CaptureDeviceInput> input);
    bool canAddOutput(const CaptureAudioFileOutput* output) const;
    void addOutput(std::unique_ptr<CaptureAudioFileOutput> output);
    const std::vector<std::unique_ptr<CaptureAudioFileOutput>>& outputs() const { return outputs_; }

    void startRunning();
    void stopRunning();
    bool isRunning() const { return running_.load(); }

    // The longest time the input callback took for one period, in seconds.
    double longestCallbackSeconds() const { return longestCallback_.load(); }

signals:
    void didStartRunning();
    void runtimeError(const QString& error);

private:
    std::unique_ptr<CaptureDeviceInput> input_;
    std::vector<std::unique_ptr<CaptureAudioFileOutput>> outputs_;
    std::unique_ptr<AudioInputStream> stream_;
    std::atomic<bool> running_{false};
    std::atomic<double> longestCallback_{0};
};
