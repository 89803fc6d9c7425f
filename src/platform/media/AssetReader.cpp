#include "platform/media/AssetReader.h"

#include "platform/core/Realtime.h"
#include "platform/media/Renderer.h"

#include <algorithm>
#include <cmath>

AssetReaderAudioMixOutput::AssetReaderAudioMixOutput(std::vector<int32_t> audioTrackIDs,
                                                     Settings settings)
    : trackIDs_(std::move(audioTrackIDs)), settings_(settings) {}

std::shared_ptr<AudioSampleBuffer> AssetReaderAudioMixOutput::copyNextSampleBuffer() {
    if (!reader_ || reader_->status() != AssetReader::Status::Reading) return nullptr;
    auto buffer = std::make_shared<AudioSampleBuffer>();
    buffer->sampleRate = settings_.sampleRate;
    buffer->left.resize(FramesPerBuffer);
    buffer->right.resize(FramesPerBuffer);
    const int64_t n = readNext(buffer->left.data(), buffer->right.data(), FramesPerBuffer,
                               &buffer->presentationTime);
    if (n <= 0) return nullptr;
    buffer->left.resize(static_cast<size_t>(n));
    buffer->right.resize(static_cast<size_t>(n));
    return buffer;
}

int64_t AssetReaderAudioMixOutput::readNext(float* left, float* right, int64_t maxFrames,
                                            MediaTime* presentationTime) {
    if (!reader_) return 0;
    return reader_->read(left, right, maxFrames, presentationTime);
}

// ---------------------------------------------------------------------------

std::shared_ptr<AssetReader> AssetReader::create(std::shared_ptr<const Composition> asset,
                                                 QString* error) {
    if (!asset) {
        if (error) *error = QStringLiteral("There is nothing to read.");
        return nullptr;
    }
    return std::shared_ptr<AssetReader>(new AssetReader(std::move(asset)));
}

AssetReader::AssetReader(std::shared_ptr<const Composition> asset) : asset_(std::move(asset)) {}

AssetReader::~AssetReader() {
    cancelReading();
    std::lock_guard lock(readMutex_);
    renderer_.reset();
    for (auto& o : outputs_) o->reader_ = nullptr;
}

bool AssetReader::canAddOutput(const std::shared_ptr<AssetReaderAudioMixOutput>& output) const {
    if (!output || status_.load() != Status::Unknown || !outputs_.empty() || output->reader_)
        return false;
    if (output->settings().channelCount != 2 || !(output->settings().sampleRate > 0)) return false;
    if (output->audioTrackIDs().empty()) return false;
    for (int32_t id : output->audioTrackIDs()) {
        const CompositionTrack* t = asset_->trackWithTrackID(id);
        if (!t || t->mediaType() != MediaType::Audio) return false;
    }
    return true;
}

void AssetReader::addOutput(std::shared_ptr<AssetReaderAudioMixOutput> output) {
    if (!canAddOutput(output)) return;
    output->reader_ = this;
    outputs_.push_back(std::move(output));
}

void AssetReader::fail(const QString& error) {
    {
        std::lock_guard lock(errorMutex_);
        error_ = error;
    }
    status_.store(Status::Failed);
}

QString AssetReader::errorString() const {
    std::lock_guard lock(errorMutex_);
    return error_;
}

bool AssetReader::startReading() {
    if (status_.load() != Status::Unknown) return false;
    if (outputs_.empty()) {
        fail(QStringLiteral("The reader has no output."));
        return false;
    }
    const auto& output = *outputs_.front();
    // The render covers the output's tracks only, for the whole composition.
    auto tracks = std::make_shared<Composition>(*asset_);
    for (CompositionTrack* t : tracks->tracks()) {
        const auto& ids = output.audioTrackIDs();
        if (std::find(ids.begin(), ids.end(), t->trackID()) == ids.end()) tracks->removeTrack(t);
    }
    status_.store(Status::Reading);
    QString error;
    if (!Renderer::loadSources(*tracks, &error,
                               [this] { return status_.load() == Status::Cancelled; })) {
        if (status_.load() != Status::Cancelled) fail(error);
        return false;
    }
    auto renderer = std::make_unique<Renderer>(tracks, output.audioMix(), output.settings().sampleRate,
                                               Renderer::Mode::Offline,
                                               static_cast<int>(AssetReaderAudioMixOutput::FramesPerBuffer));
    renderer->setWorkerCount(workerCount_);
    if (!renderer->prepare(&error)) {
        fail(error);
        return false;
    }
    std::lock_guard lock(readMutex_);
    end_ = mediatime::framesAt(asset_->duration(), std::llround(output.settings().sampleRate));
    renderer_ = std::move(renderer);
    return status_.load() == Status::Reading;
}

void AssetReader::cancelReading() {
    Status expected = Status::Reading;
    if (!status_.compare_exchange_strong(expected, Status::Cancelled)) {
        expected = Status::Unknown;
        status_.compare_exchange_strong(expected, Status::Cancelled);
    }
}

int64_t AssetReader::read(float* left, float* right, int64_t maxFrames, MediaTime* presentationTime) {
    std::lock_guard lock(readMutex_);
    if (status_.load() != Status::Reading || !renderer_) return 0;
    const int64_t position = renderer_->position();
    const int64_t n = std::min({maxFrames, end_ - position,
                                static_cast<int64_t>(renderer_->maxFrames())});
    if (n <= 0) {
        Status expected = Status::Reading;
        status_.compare_exchange_strong(expected, Status::Completed);
        return 0;
    }
    if (presentationTime)
        *presentationTime = MediaTime(position, static_cast<int32_t>(std::llround(renderer_->sampleRate())));
    realtime::Scope scope;
    renderer_->render(left, right, static_cast<int>(n));
    return n;
}
