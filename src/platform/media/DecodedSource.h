#pragma once

#include "platform/media/WaveformPeaks.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// Where the samples of a cache file lie in it: the file's descriptor, open
// for as long as the source's storage lives, and each channel's byte offset.
struct DecodedSourceFile {
    int descriptor = -1;
    std::vector<int64_t> channelOffsets;
};

// The decoded samples of one audio track, one contiguous array per channel,
// immutable once made, safe to read from any thread. The storage is either
// memory of its own or a memory-mapped cache file; the renderer reads it
// directly and never touches the compressed file.
//
// The samples are stored as float, or as 16-bit integers when the track's
// own samples are 16-bit or narrower (half the space, nothing lost). Readers
// that want float go through readChannel(), copyFrames() or sample(), which
// convert int16 as value / 32768 into the caller's buffers and never allocate,
// so they may be called on a render thread.
class DecodedSource {
public:
    enum class SampleFormat : uint32_t {
        Float32 = 0,
        Int16 = 1,
    };
    static constexpr int bytesPerSample(SampleFormat f) { return f == SampleFormat::Int16 ? 2 : 4; }

    using StoredFile = DecodedSourceFile;

    // Over float samples, one pointer per channel.
    DecodedSource(int64_t frameCount, double sampleRate, std::vector<const float*> channels,
                  std::shared_ptr<const void> storage);
    // Over samples of `format`, one pointer per channel, whose peaks were
    // computed already (the decoded cache).
    DecodedSource(int64_t frameCount, double sampleRate, SampleFormat format,
                  std::vector<const void*> channels, std::shared_ptr<const void> storage,
                  std::shared_ptr<const WaveformPeaks> peaks, QString cachePath,
                  StoredFile file = {});

    // A source over samples held in memory (tests, generated material).
    static std::shared_ptr<DecodedSource> fromBuffers(std::vector<std::vector<float>> channels,
                                                      double sampleRate);
    static std::shared_ptr<DecodedSource> fromInt16Buffers(std::vector<std::vector<int16_t>> channels,
                                                      double sampleRate);

    int64_t frameCount() const { return frameCount_; }
    double sampleRate() const { return sampleRate_; }
    int channelCount() const { return static_cast<int>(channels_.size()); }
    double durationSeconds() const { return sampleRate_ > 0 ? double(frameCount_) / sampleRate_ : 0; }
    SampleFormat sampleFormat() const { return format_; }

    // The stored samples of `channel`: the pointer of the source's own
    // format, null for the other.
    const float* floatData(int channel) const {
        return format_ == SampleFormat::Float32 ? static_cast<const float*>(channels_[size_t(channel)]) : nullptr;
    }
    const int16_t* int16Data(int channel) const {
        return format_ == SampleFormat::Int16 ? static_cast<const int16_t*>(channels_[size_t(channel)]) : nullptr;
    }

    // One sample as float; `frame` must lie inside the source.
    float sample(int channel, int64_t frame) const {
        const void* p = channels_[size_t(channel)];
        return format_ == SampleFormat::Float32
                   ? static_cast<const float*>(p)[frame]
                   : float(static_cast<const int16_t*>(p)[frame]) * (1.0f / 32768.0f);
    }
    // Frames [start, start + frames) of `channel` as float into `out`; the
    // range must lie inside the source.
    void readChannel(int channel, int64_t start, int64_t frames, float* out) const;
    // Whether readStored() reads the samples from a file.
    bool hasStoredFile() const { return file_.descriptor >= 0; }
    // Frames [start, start + frames) of `channel` as stored (bytesPerSample()
    // each) into `out`, read from the cache file by system calls rather than
    // through the mapping: a reader that goes once through long stretches
    // (an offline render) then takes no page faults, and the pages it read
    // stay out of this process. False when there is no such file or the
    // read fails; the range must lie inside the source. Blocking, like a
    // page fault on the mapping, but never allocates.
    bool readStored(int channel, int64_t start, int64_t frames, void* out) const;
    // Copies frames [start, start + frames) of every channel into `out`
    // (one pointer per channel); frames outside the source are zeros.
    void copyFrames(int64_t start, int64_t frames, float* const* out) const;

    // The waveform peaks: those made with the cache, or computed from the
    // samples on first call.
    std::shared_ptr<const WaveformPeaks> peaks() const;
    // The cache file the samples are mapped from; empty for samples in memory.
    const QString& cachePath() const { return cachePath_; }

    // After a read through every sample (the waveform's values): the mapped
    // pages leave this process's memory and come back from the cache file
    // when next read. Samples in memory stay as they are. Any thread.
    void releaseMappedPages() const;

private:
    int64_t frameCount_;
    double sampleRate_;
    SampleFormat format_;
    std::vector<const void*> channels_;
    std::shared_ptr<const void> storage_;  // keeps the samples alive
    mutable std::once_flag peaksOnce_;
    mutable std::shared_ptr<const WaveformPeaks> peaks_;
    QString cachePath_;
    StoredFile file_;
};

// Reads one channel of decoded sources for an offline render, going forward
// through them: it reads a stretch ahead from the cache file into a buffer
// of its own (DecodedSource::readStored) and gives it out as float, the same
// values as DecodedSource::readChannel. Sources without a file, and a read
// that fails, go through the mapping. The buffer is the caller's (it lives
// as long as the stream); read() never allocates. One thread at a time.
class DecodedSourceStream {
public:
    static constexpr size_t DefaultBufferBytes = 128 * 1024;
    DecodedSourceStream(unsigned char* buffer, size_t bufferBytes);
    // As DecodedSource::readChannel. The source must outlive the stream's
    // use of it (the stream tells sources apart by address).
    void read(const DecodedSource& source, int channel, int64_t start, int64_t frames, float* out);

private:
    unsigned char* buffer_;  // samples as stored, aligned for float
    size_t bufferBytes_;
    const DecodedSource* source_ = nullptr;
    int channel_ = -1;
    int64_t first_ = 0, count_ = 0;  // the frames in the buffer
};

// 16-bit samples to float, value / 32768 (exact).
void int16ToFloat(const int16_t* in, float* out, int64_t count);
