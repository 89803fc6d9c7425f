#include "platform/media/CaptureSession.h"

#include "platform/core/Realtime.h"
#include "platform/core/WakeSignal.h"

#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

std::unique_ptr<CaptureDeviceInput> CaptureDeviceInput::make(const AudioInputDevice& device, QString* error) {
    auto found = audioinput::deviceWithUniqueID(device.uniqueID);
    if (!found) {
        if (error) *error = QStringLiteral("The audio input \"%1\" is not there.").arg(device.localizedName);
        return nullptr;
    }
    std::unique_ptr<CaptureDeviceInput> input(new CaptureDeviceInput());
    input->device_ = *found;
    return input;
}

// ---------------------------------------------------------------------------

// Interleaved frames from the input callback (the one writer) to the writer
// thread (the one reader). Indexes count frames and only grow.
struct CaptureAudioFileOutput::Ring {
    Ring(uint64_t capacityFrames, int channels)
        : capacity(capacityFrames), channels(channels), samples(capacityFrames * channels) {}
    const uint64_t capacity;  // a power of two
    const int channels;
    std::vector<float> samples;
    std::atomic<uint64_t> writeIndex{0};
    std::atomic<uint64_t> readIndex{0};
    WakeSignal wake;
};

struct CaptureAudioFileOutput::Thread {
    std::thread thread;
};

CaptureAudioFileOutput::CaptureAudioFileOutput(const AudioFileWriter::Settings& settings, QObject* parent)
    : QObject(parent), settings_(settings) {}

CaptureAudioFileOutput::~CaptureAudioFileOutput() {
    detach();
    delete pendingWriter_.exchange(nullptr);
}

bool CaptureAudioFileOutput::attach(int channels, double rate, QString*) {
    detach();
    channels_ = std::clamp(channels, 1, 2);
    rate_ = rate;
    // Five seconds of room: the writer thread may stall on the disk.
    uint64_t capacity = 1;
    while (capacity < uint64_t(rate * 5)) capacity <<= 1;
    ring_ = std::make_unique<Ring>(capacity, channels_);
    quit_ = false;
    thread_ = std::make_unique<Thread>();
    thread_->thread = std::thread([this] { writerLoop(); });
    return true;
}

void CaptureAudioFileOutput::detach() {
    if (!thread_) return;
    quit_ = true;
    ring_->wake.wake();
    thread_->thread.join();
    thread_.reset();
}

void CaptureAudioFileOutput::rtPush(const float* interleaved, int frames) {
    Ring& ring = *ring_;
    const uint64_t write = ring.writeIndex.load(std::memory_order_relaxed);
    const uint64_t read = ring.readIndex.load(std::memory_order_acquire);
    const uint64_t room = ring.capacity - (write - read);
    uint64_t n = uint64_t(frames);
    if (n > room) {
        overruns_.fetch_add(1, std::memory_order_relaxed);
        n = room;
    }
    const uint64_t at = write & (ring.capacity - 1);
    const uint64_t first = std::min(n, ring.capacity - at);
    std::copy_n(interleaved, first * ring.channels, ring.samples.data() + at * ring.channels);
    std::copy_n(interleaved + first * ring.channels, (n - first) * ring.channels, ring.samples.data());
    ring.writeIndex.store(write + n, std::memory_order_release);
    ring.wake.wake();
}

bool CaptureAudioFileOutput::startRecording(const QUrl& url) {
    if (recording_ || !ring_) return false;
    AudioFileWriter::Settings settings = settings_;
    QString error;
    auto writer = AudioFileWriter::create(url.toLocalFile(), settings, {}, &error);
    url_ = url;
    if (!writer) {
        const QString text = error;
        QMetaObject::invokeMethod(this, [this, url, text] { emit didFinishRecording(url, text); },
                                  Qt::QueuedConnection);
        return false;
    }
    framesWritten_ = 0;
    stopRequested_ = false;
    recording_ = true;
    pendingWriter_.store(writer.release());
    ring_->wake.wake();
    return true;
}

void CaptureAudioFileOutput::stopRecording() {
    if (!recording_) return;
    stopRequested_ = true;
    if (ring_) ring_->wake.wake();
}

double CaptureAudioFileOutput::recordedDuration() const {
    return rate_ > 0 ? double(framesWritten_.load()) / rate_ : 0.0;
}

std::vector<double> CaptureAudioFileOutput::averagePowerLevels() const {
    std::vector<double> levels;
    for (int c = 0; c < channels_; ++c) levels.push_back(power_[c].load());
    return levels;
}

void CaptureAudioFileOutput::finishOnWriter(const QString& failure) {
    QString error = failure;
    if (writer_) {
        if (error.isEmpty()) {
            if (!writer_->finish(&error) && error.isEmpty()) error = QStringLiteral("The recording could not be written.");
        } else {
            writer_->cancel();
        }
        writer_.reset();
    }
    recording_ = false;
    stopRequested_ = false;
    const QUrl url = url_;
    QMetaObject::invokeMethod(this, [this, url, error] { emit didFinishRecording(url, error); },
                              Qt::QueuedConnection);
}

void CaptureAudioFileOutput::writerLoop() {
    Ring& ring = *ring_;
    const int channels = ring.channels;
    const int outChannels = std::max(settings_.channelCount, 1);
    constexpr uint64_t Chunk = 4096;
    std::vector<float> planes(Chunk * outChannels);
    std::vector<const float*> pointers(outChannels);
    for (int c = 0; c < outChannels; ++c) pointers[c] = planes.data() + c * Chunk;
    const uint64_t window = std::max<uint64_t>(1, uint64_t(rate_ / 10));  // 0.1 s
    double sums[2] = {0, 0};
    uint64_t counted = 0;

    for (;;) {
        const uint32_t seen = ring.wake.value();
        if (AudioFileWriter* taken = pendingWriter_.exchange(nullptr)) {
            writer_.reset(taken);
            // Only what arrives from now on belongs to the recording.
            ring.readIndex.store(ring.writeIndex.load(std::memory_order_acquire), std::memory_order_release);
            const QUrl url = url_;
            QMetaObject::invokeMethod(this, [this, url] { emit didStartRecording(url); }, Qt::QueuedConnection);
        }
        const uint64_t read = ring.readIndex.load(std::memory_order_relaxed);
        const uint64_t write = ring.writeIndex.load(std::memory_order_acquire);
        uint64_t available = write - read;
        uint64_t position = read;
        QString failure;
        while (available > 0) {
            const uint64_t n = std::min(available, Chunk);
            for (uint64_t i = 0; i < n; ++i) {
                const float* frame = ring.samples.data() + ((position + i) & (ring.capacity - 1)) * channels;
                for (int c = 0; c < channels; ++c) sums[c] += double(frame[c]) * frame[c];
                if (++counted == window) {
                    for (int c = 0; c < channels; ++c) {
                        const double meanSquare = sums[c] / double(window);
                        power_[c].store(meanSquare > 1e-16 ? float(10.0 * std::log10(meanSquare)) : -160.0f);
                        sums[c] = 0;
                    }
                    counted = 0;
                }
                if (writer_) {
                    for (int c = 0; c < outChannels; ++c)
                        planes[c * Chunk + i] = frame[std::min(c, channels - 1)];
                }
            }
            if (writer_ && failure.isEmpty()) {
                if (writer_->append(pointers.data(), int64_t(n), &failure))
                    framesWritten_.fetch_add(int64_t(n));
                else if (failure.isEmpty())
                    failure = QStringLiteral("The recording could not be written.");
            }
            position += n;
            available -= n;
            ring.readIndex.store(position, std::memory_order_release);
        }
        if (writer_ && (!failure.isEmpty() || stopRequested_.load())) finishOnWriter(failure);
        if (quit_.load()) {
            if (writer_)
                finishOnWriter(stopRequested_.load() ? QString()
                                                     : QStringLiteral("The recording stopped: its input went away."));
            return;
        }
        ring.wake.waitFor(seen, std::chrono::milliseconds(50));
    }
}

// ---------------------------------------------------------------------------

CaptureSession::CaptureSession(QObject* parent) : QObject(parent) {}

CaptureSession::~CaptureSession() { stopRunning(); }

bool CaptureSession::canAddInput(const CaptureDeviceInput* input) const { return input && !input_; }

void CaptureSession::addInput(std::unique_ptr<CaptureDeviceInput> input) {
    if (canAddInput(input.get())) input_ = std::move(input);
}

bool CaptureSession::canAddOutput(const CaptureAudioFileOutput* output) const {
    return output && outputs_.empty();
}

void CaptureSession::addOutput(std::unique_ptr<CaptureAudioFileOutput> output) {
    if (canAddOutput(output.get())) outputs_.push_back(std::move(output));
}

void CaptureSession::startRunning() {
    if (running_ || !input_) return;
    QString error;
    stream_ = AudioInputStream::open(input_->device(), SampleRate, &error);
    if (stream_) {
        for (auto& output : outputs_) output->attach(stream_->channelCount(), stream_->sampleRate(), &error);
        auto* output = outputs_.empty() ? nullptr : outputs_.front().get();
        const bool started = stream_->start(
            [this, output](const float* in, int frames) {
                realtime::Scope scope;
                const auto begin = std::chrono::steady_clock::now();
                if (output) output->rtPush(in, frames);
                const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
                if (took > longestCallback_.load(std::memory_order_relaxed))
                    longestCallback_.store(took, std::memory_order_relaxed);
            },
            [this] {
                QMetaObject::invokeMethod(
                    this, [this] { emit runtimeError(QStringLiteral("The audio input stopped.")); },
                    Qt::QueuedConnection);
            },
            &error);
        if (!started) stream_.reset();
    }
    if (!stream_) {
        for (auto& output : outputs_) output->detach();
        QMetaObject::invokeMethod(this, [this, error] { emit runtimeError(error); }, Qt::QueuedConnection);
        return;
    }
    running_ = true;
    QMetaObject::invokeMethod(this, [this] { emit didStartRunning(); }, Qt::QueuedConnection);
}

void CaptureSession::stopRunning() {
    if (stream_) stream_->stop();
    // A recording still under way ends with what has arrived.
    for (auto& output : outputs_) {
        output->stopRecording();
        output->detach();
    }
    stream_.reset();
    running_ = false;
}
