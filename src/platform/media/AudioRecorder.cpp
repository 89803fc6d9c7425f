#include "platform/media/AudioRecorder.h"

std::unique_ptr<AudioRecorder> AudioRecorder::create(const QUrl& url, const AudioFileWriter::Settings& settings,
                                                     QString* error) {
    auto device = audioinput::defaultDevice();
    if (!device) {
        if (error) *error = QStringLiteral("There is no audio input.");
        return nullptr;
    }
    std::unique_ptr<AudioRecorder> recorder(new AudioRecorder());
    recorder->url_ = url;
    recorder->settings_ = settings;
    recorder->device_ = *device;
    return recorder;
}

AudioRecorder::~AudioRecorder() = default;

bool AudioRecorder::prepareToRecord() {
    if (session_) return session_->isRunning();
    auto input = CaptureDeviceInput::make(device_);
    if (!input) return false;
    session_ = std::make_unique<CaptureSession>();
    auto output = std::make_unique<CaptureAudioFileOutput>(settings_);
    output_ = output.get();
    session_->addInput(std::move(input));
    session_->addOutput(std::move(output));
    connect(output_, &CaptureAudioFileOutput::didFinishRecording, this,
            [this](const QUrl&, const QString& error) {
                const bool asked = stopping_;
                stopping_ = false;
                if (!error.isEmpty() && !asked) {
                    emit encodeErrorDidOccur(error);
                    return;
                }
                emit didFinishRecording(error.isEmpty());
            });
    connect(session_.get(), &CaptureSession::runtimeError, this, [this](const QString& error) {
        if (output_ && output_->isRecording()) emit encodeErrorDidOccur(error);
    });
    session_->startRunning();
    if (!session_->isRunning()) {
        session_.reset();
        output_ = nullptr;
        return false;
    }
    return true;
}

bool AudioRecorder::record() {
    if (!session_ && !prepareToRecord()) return false;
    return output_->startRecording(url_);
}

void AudioRecorder::stop() {
    if (!output_ || !output_->isRecording()) return;
    stopping_ = true;
    output_->stopRecording();
}

bool AudioRecorder::isRecording() const { return output_ && output_->isRecording(); }

double AudioRecorder::currentTime() const { return output_ ? output_->recordedDuration() : 0.0; }
