#include "export/ExportJobs.h"

#include "platform/core/MainQueue.h"
#include "platform/core/Realtime.h"
#include "platform/media/ProcessingTap.h"

#include <algorithm>
#include <cmath>

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
    std::vector<float> left(size_t(AssetReaderAudioMixOutput::FramesPerBuffer)),
        right(size_t(AssetReaderAudioMixOutput::FramesPerBuffer));
    const float* channels[2] = {left.data(), right.data()};
    long lastPercent = -1;
    bool writeFailed = false;
    for (;;) {
        if (stop_ && stop_->load(std::memory_order_relaxed)) {
            result.stopped = true;
            break;
        }
        MediaTime at;
        const int64_t n = output_->readNext(left.data(), right.data(), AssetReaderAudioMixOutput::FramesPerBuffer, &at);
        if (n <= 0) break;
        if (!writer_->append(channels, n, &result.error)) {
            writeFailed = true;
            break;
        }
        result.frames += n;
        const double seconds = at.seconds() + double(n) / output_->settings().sampleRate;
        const long percent = endSeconds > 0 ? std::lround(std::min(1.0, seconds / endSeconds) * 100.0) : 0;
        if (percent != lastPercent) {
            lastPercent = percent;
            sendProgress(seconds);
        }
    }
    const bool readFailed = reader_->status() == AssetReader::Status::Failed;
    if (reader_->status() == AssetReader::Status::Reading) reader_->cancelReading();
    if (readFailed) result.error = reader_->errorString();
    if (writeFailed || readFailed) {
        writer_->cancel();
    } else {
        result.ok = writer_->finish(&result.error);
        if (!result.stopped && result.ok) sendProgress(endSeconds);
    }
    finish(result);
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

void TapHold::release() {
    for (auto& tap : taps_) tap->detach();
    taps_.clear();
}

bool TapHold::holds(const ProcessingTap* tap) const {
    return std::any_of(taps_.begin(), taps_.end(), [tap](const auto& t) { return t.get() == tap; });
}
