#pragma once

#include "platform/media/CaptureSession.h"

#include <QObject>
#include <QUrl>

#include <memory>

// The simple recorder: the default audio input into one file, with no
// device choice and no levels. Built on a capture session.
//
// Threads: the main thread; the delegate signals arrive on it.
class AudioRecorder : public QObject {
    Q_OBJECT
public:
    // Null, with `error`, when there is no audio input.
    static std::unique_ptr<AudioRecorder> create(const QUrl& url, const AudioFileWriter::Settings& settings,
                                                 QString* error = nullptr);
    ~AudioRecorder() override;

    const QUrl& url() const { return url_; }
    // Opens the input; false when it cannot be opened.
    bool prepareToRecord();
    // Starts writing the file; false when it cannot be made.
    bool record();
    void stop();
    bool isRecording() const;
    double currentTime() const;

signals:
    void didFinishRecording(bool successfully);
    void encodeErrorDidOccur(const QString& error);

private:
    AudioRecorder() = default;
    QUrl url_;
    AudioFileWriter::Settings settings_;
    AudioInputDevice device_;
    std::unique_ptr<CaptureSession> session_;
    CaptureAudioFileOutput* output_ = nullptr;
    bool stopping_ = false;
};
