#pragma once

#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class AssetReader;
class Renderer;

// A block of rendered audio: two channels of float at the output's rate,
// starting at `presentationTime` in composition time.
struct AudioSampleBuffer {
    MediaTime presentationTime;
    double sampleRate = 0;
    std::vector<float> left, right;

    int64_t frameCount() const { return static_cast<int64_t>(left.size()); }
    MediaTime duration() const {
        return MediaTime(frameCount(), static_cast<int32_t>(sampleRate));
    }
};

// Reads the mix of some audio tracks of the reader's composition, through an
// audio mix (volumes and taps), as two-channel float at a chosen rate.
class AssetReaderAudioMixOutput {
public:
    struct Settings {
        double sampleRate = 44100;
        int channelCount = 2;
    };
    static constexpr int64_t FramesPerBuffer = 4096;

    AssetReaderAudioMixOutput(std::vector<int32_t> audioTrackIDs, Settings settings);

    const std::vector<int32_t>& audioTrackIDs() const { return trackIDs_; }
    const Settings& settings() const { return settings_; }

    std::shared_ptr<const AudioMix> audioMix() const { return mix_; }
    void setAudioMix(std::shared_ptr<const AudioMix> mix) { mix_ = std::move(mix); }
    TimePitchAlgorithm audioTimePitchAlgorithm() const { return algorithm_; }
    void setAudioTimePitchAlgorithm(TimePitchAlgorithm a) { algorithm_ = a; }

    // The next block (up to FramesPerBuffer frames), or null when the reader
    // is done, failed, was cancelled or has not started.
    std::shared_ptr<AudioSampleBuffer> copyNextSampleBuffer();
    // The same into the caller's memory, without allocating: the number of
    // frames written (0 at the end), and the block's start.
    int64_t readNext(float* left, float* right, int64_t maxFrames, MediaTime* presentationTime = nullptr);

private:
    friend class AssetReader;
    std::vector<int32_t> trackIDs_;
    Settings settings_;
    std::shared_ptr<const AudioMix> mix_;
    TimePitchAlgorithm algorithm_ = TimePitchAlgorithm::Spectral;
    AssetReader* reader_ = nullptr;
};

// Renders a composition offline, as fast as the machine allows, for exports
// and track renders. Reading happens on whatever thread calls the output;
// cancelReading may come from any thread.
class AssetReader {
public:
    enum class Status { Unknown = 0, Reading = 1, Completed = 2, Failed = 3, Cancelled = 4 };

    // Null (with `error`) without a composition.
    static std::shared_ptr<AssetReader> create(std::shared_ptr<const Composition> asset,
                                               QString* error = nullptr);
    ~AssetReader();

    std::shared_ptr<const Composition> asset() const { return asset_; }

    // One output, before reading starts, over audio tracks of the composition,
    // two channels at a positive rate.
    bool canAddOutput(const std::shared_ptr<AssetReaderAudioMixOutput>& output) const;
    void addOutput(std::shared_ptr<AssetReaderAudioMixOutput> output);
    const std::vector<std::shared_ptr<AssetReaderAudioMixOutput>>& outputs() const { return outputs_; }

    // Threads of its own, up to `count`, that render the tracks beside the
    // one reading (see Renderer::setWorkerCount); the output is the same.
    // Before startReading().
    void setRenderWorkerCount(int count) { workerCount_ = count; }

    // Decodes what is not decoded yet (blocking) and sets up the render.
    // False, with status Failed and an error, when that cannot be done.
    bool startReading();
    void cancelReading();
    Status status() const { return status_.load(); }
    QString errorString() const;

private:
    friend class AssetReaderAudioMixOutput;
    explicit AssetReader(std::shared_ptr<const Composition> asset);
    int64_t read(float* left, float* right, int64_t maxFrames, MediaTime* presentationTime);
    void fail(const QString& error);

    std::shared_ptr<const Composition> asset_;
    std::vector<std::shared_ptr<AssetReaderAudioMixOutput>> outputs_;
    std::unique_ptr<Renderer> renderer_;
    int64_t end_ = 0;
    int workerCount_ = 0;
    std::atomic<Status> status_{Status::Unknown};
    mutable std::mutex errorMutex_;
    QString error_;
    std::mutex readMutex_;
};
