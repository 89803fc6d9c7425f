#include "export/ExportJobs.h"

#include "platform/core/MainQueue.h"
#include "platform/core/PartialFiles.h"
#include "platform/core/Realtime.h"
#include "platform/media/ProcessingTap.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

AudioWriteJob::AudioWriteJob(std::shared_ptr<AssetReader> reader,
                             std::shared_ptr<AssetReaderAudioMixOutput> output,
                             std::unique_ptr<AudioFileWriter> writer, MediaTime endTime)
    : reader_(std::move(reader)), output_(std::move(output)), writer_(std::move(writer)), end_(endTime) {}

AudioWriteJob::~AudioWriteJob() {
    alive_->store(false);
    if (reader_) reader_->cancelReading();
    join();
}

void AudioWriteJob::join() {
    if (thread_.joinable()) thread_.join();
}

void AudioWriteJob::start(std::function<void(double)> progress, std::function<void(const Result&)> completion) {
    progress_ = std::move(progress);
    completion_ = std::move(completion);
    thread_ = std::thread([this] { run(); });
}

void AudioWriteJob::run() {
    if (!scratchPath_.isEmpty()) {
        runReversed();
        return;
    }
    Result result;
    const auto alive = alive_;
    auto post = [this, alive](std::function<void()> fn) {
        MainQueue::async([alive, fn = std::move(fn)] {
            if (alive->load()) fn();
        });
    };
    const double endSeconds = end_.isValid() ? end_.seconds() : 0.0;
    auto sendProgress = [&](double seconds) {
        if (progress_) post([this, seconds] { progress_(seconds); });
    };

    if (!reader_->startReading()) {
        result.error = reader_->errorString();
        writer_->cancel();
        finish(result);
        return;
    }
    // The reader renders the next blocks while this thread's encoder thread
    // encodes the ones before: a few blocks, made here, go round between them.
    struct Block {
        std::vector<float> left, right;
        int64_t frames = 0;
        double end = 0;  // seconds read up to the block's end
    };
    constexpr size_t kBlocks = 8;
    std::vector<Block> blocks(kBlocks);
    for (Block& b : blocks) {
        b.left.resize(size_t(AssetReaderAudioMixOutput::FramesPerBuffer));
        b.right.resize(size_t(AssetReaderAudioMixOutput::FramesPerBuffer));
    }
    std::mutex mutex;
    std::condition_variable changed;
    size_t produced = 0, consumed = 0;  // blocks handed over and taken, counted from the start
    bool readingDone = false, writeFailed = false;
    QString writeError;
    int64_t written = 0;
    std::thread encoder([&] {
        long lastPercent = -1;
        for (;;) {
            Block* b = nullptr;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return consumed < produced || readingDone; });
                if (consumed == produced) return;
                b = &blocks[consumed % kBlocks];
            }
            const float* channels[2] = {b->left.data(), b->right.data()};
            QString error;
            const bool ok = writer_->append(channels, b->frames, &error);
            const double end = b->end;
            {
                std::lock_guard lock(mutex);
                ++consumed;
                if (!ok) {
                    writeFailed = true;
                    writeError = error;
                }
                written += ok ? b->frames : 0;
            }
            changed.notify_all();
            if (!ok) return;
            const long percent = endSeconds > 0 ? std::lround(std::min(1.0, end / endSeconds) * 100.0) : 0;
            if (percent != lastPercent) {
                lastPercent = percent;
                sendProgress(end);
            }
        }
    });
    for (;;) {
        if (stop_ && stop_->load(std::memory_order_relaxed)) {
            result.stopped = true;
            break;
        }
        Block* b = nullptr;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return produced - consumed < kBlocks || writeFailed; });
            if (writeFailed) break;
            b = &blocks[produced % kBlocks];
        }
        MediaTime at;
        const int64_t n = output_->readNext(b->left.data(), b->right.data(), AssetReaderAudioMixOutput::FramesPerBuffer, &at);
        if (n <= 0) break;
        b->frames = n;
        b->end = at.seconds() + double(n) / output_->settings().sampleRate;
        {
            std::lock_guard lock(mutex);
            ++produced;
        }
        changed.notify_all();
    }
    {
        std::lock_guard lock(mutex);
        readingDone = true;
    }
    changed.notify_all();
    encoder.join();
    result.frames = written;
    if (writeFailed) result.error = writeError;
    const bool readFailed = reader_->status() == AssetReader::Status::Failed;
    if (reader_->status() == AssetReader::Status::Reading) reader_->cancelReading();
    if (readFailed) result.error = reader_->errorString();
    if (writeFailed || readFailed || (result.stopped && discardWhenStopped_)) {
        writer_->cancel();
    } else {
        result.ok = writer_->finish(&result.error);
        if (!result.stopped && result.ok) sendProgress(endSeconds);
    }
    finish(result);
}

namespace {

// Whole writes and reads of a file at an offset, through short counts and
// interruptions: `io` is pwrite or pread, `Byte` char or const char.
template <typename Byte, typename Io>
bool wholeAt(int fd, Byte* p, size_t size, off_t offset, Io io) {
    while (size > 0) {
        const ssize_t n = io(fd, p, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;  // a file that takes nothing more is full
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
        offset += n;
    }
    return true;
}

bool writeAt(int fd, const void* data, size_t size, off_t offset) {
    return wholeAt(fd, static_cast<const char*>(data), size, offset, ::pwrite);
}

bool readAt(int fd, void* data, size_t size, off_t offset) {
    return wholeAt(fd, static_cast<char*>(data), size, offset, ::pread);
}

}  // namespace

void AudioWriteJob::runReversed() {
    Result result;
    const auto alive = alive_;
    const double endSeconds = end_.isValid() ? end_.seconds() : 0.0;
    const double rate = output_->settings().sampleRate;
    auto sendProgress = [this, alive](double seconds) {
        if (progress_)
            MainQueue::async([this, alive, seconds] {
                if (alive->load()) progress_(seconds);
            });
    };
    const QByteArray scratchName = QFile::encodeName(scratchPath_);
    const int fd = ::open(scratchName.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    auto end = [&] {
        if (fd >= 0) ::close(fd);
        ::unlink(scratchName.constData());
        if (!result.ok) writer_->cancel();
        finish(result);
    };
    if (fd < 0) {
        result.error = partialfiles::reasonForError(errno, QFileInfo(scratchPath_).absolutePath());
        return end();
    }
    if (!reader_->startReading()) {
        result.error = reader_->errorString();
        return end();
    }

    // Reading: the forward render, interleaved, into the scratch file. The
    // stop flag waits for the writing.
    constexpr int64_t kBlock = AssetReaderAudioMixOutput::FramesPerBuffer;
    constexpr int kChannels = 2;
    constexpr size_t kFrameBytes = kChannels * sizeof(float);
    std::vector<float> left(kBlock), right(kBlock), interleaved(size_t(kBlock) * kChannels);
    int64_t total = 0;
    long lastPercent = -1;
    auto percentOf = [&](double seconds) {
        return endSeconds > 0 ? std::lround(std::min(1.0, seconds / (2.0 * endSeconds)) * 100.0) : 0L;
    };
    for (;;) {
        const int64_t n = output_->readNext(left.data(), right.data(), kBlock, nullptr);
        if (n <= 0) break;
        for (int64_t i = 0; i < n; ++i) {
            interleaved[size_t(2 * i)] = left[size_t(i)];
            interleaved[size_t(2 * i + 1)] = right[size_t(i)];
        }
        if (!writeAt(fd, interleaved.data(), size_t(n) * kFrameBytes, off_t(total) * off_t(kFrameBytes))) {
            result.error = partialfiles::reasonForError(errno, QFileInfo(scratchPath_).absolutePath());
            break;
        }
        total += n;
        const double seconds = double(total) / rate;
        if (const long p = percentOf(seconds); p != lastPercent) {
            lastPercent = p;
            sendProgress(seconds);
        }
    }
    const bool readFailed = reader_->status() == AssetReader::Status::Failed;
    if (reader_->status() == AssetReader::Status::Reading) reader_->cancelReading();
    if (readFailed) result.error = reader_->errorString();
    if (!result.error.isEmpty()) return end();
    sendProgress(endSeconds);

    writeReversedAudioBufferWithDuration(fd, total, endSeconds, result);
    end();
}

void AudioWriteJob::writeReversedAudioBufferWithDuration(int fd, int64_t frames, double endSeconds, Result& result) {
    // Blocks from the end of the file, each channel reversed on its own, so
    // the file is the forward render sample for sample backwards.
    constexpr int64_t kBlock = AssetReaderAudioMixOutput::FramesPerBuffer;
    constexpr int kChannels = 2;
    constexpr size_t kFrameBytes = kChannels * sizeof(float);
    const double rate = output_->settings().sampleRate;
    std::vector<float> left(kBlock), right(kBlock), interleaved(size_t(kBlock) * kChannels);
    const auto alive = alive_;
    auto sendProgress = [this, alive](double seconds) {
        if (progress_)
            MainQueue::async([this, alive, seconds] {
                if (alive->load()) progress_(seconds);
            });
    };
    long lastPercent = 50;
    int64_t position = frames;
    while (position > 0) {
        if (stop_ && stop_->load(std::memory_order_relaxed)) {
            result.stopped = true;
            break;
        }
        const int64_t n = std::min(kBlock, position);
        position -= n;
        if (!readAt(fd, interleaved.data(), size_t(n) * kFrameBytes, off_t(position) * off_t(kFrameBytes))) {
            result.error = QStringLiteral("\"%1\" could not be read.").arg(scratchPath_);
            return;
        }
        for (int64_t i = 0; i < n; ++i) {
            const size_t from = size_t(2 * (n - 1 - i));
            left[size_t(i)] = interleaved[from];
            right[size_t(i)] = interleaved[from + 1];
        }
        const float* channels[kChannels] = {left.data(), right.data()};
        if (!writer_->append(channels, n, &result.error)) return;
        result.frames += n;
        const double seconds = endSeconds + double(result.frames) / rate;
        const long p = endSeconds > 0 ? std::lround(std::min(1.0, seconds / (2.0 * endSeconds)) * 100.0) : 0L;
        if (p != lastPercent) {
            lastPercent = p;
            sendProgress(seconds);
        }
    }
    result.ok = writer_->finish(&result.error);
    if (result.ok && !result.stopped) sendProgress(2.0 * endSeconds);
}

void AudioWriteJob::finish(const Result& result) {
    // The completion may end the job itself: it runs from a copy.
    const auto alive = alive_;
    MainQueue::async([this, alive, result] {
        if (!alive->load()) return;
        auto completion = std::move(completion_);
        completion_ = nullptr;
        if (completion) completion(result);
    });
}

// ---------------------------------------------------------------------------

void ExportGroup::leave() {
    if (count_ <= 0) return;
    if (--count_ == 0 && notify_) {
        auto fn = std::move(notify_);
        notify_ = nullptr;
        MainQueue::async(std::move(fn));
    }
}

// ---------------------------------------------------------------------------

void TapHold::hold(const std::shared_ptr<ProcessingTap>& tap, double sampleRate, int64_t maxFrames) {
    if (!tap || holds(tap.get())) return;
    tap->attach(maxFrames, units::StreamFormat::canonical(sampleRate, 2));
    taps_.push_back(tap);
}

void TapHold::reformat(double sampleRate, int64_t maxFrames) {
    for (auto& tap : taps_) tap->reformat(maxFrames, units::StreamFormat::canonical(sampleRate, 2));
}

void TapHold::release() {
    for (auto& tap : taps_) tap->detach();
    taps_.clear();
}

bool TapHold::holds(const ProcessingTap* tap) const {
    return std::any_of(taps_.begin(), taps_.end(), [tap](const auto& t) { return t.get() == tap; });
}
