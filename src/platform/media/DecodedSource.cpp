#include "platform/media/DecodedSource.h"

#include <immintrin.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

void int16ToFloat(const int16_t* in, float* out, int64_t count) {
    const __m128 scale = _mm_set1_ps(1.0f / 32768.0f);
    int64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
        const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
        _mm_storeu_ps(out + i, _mm_mul_ps(_mm_cvtepi32_ps(lo), scale));
        _mm_storeu_ps(out + i + 4, _mm_mul_ps(_mm_cvtepi32_ps(hi), scale));
    }
    for (; i < count; ++i) out[i] = float(in[i]) * (1.0f / 32768.0f);
}

namespace {
std::vector<const void*> untyped(const std::vector<const float*>& channels) {
    return std::vector<const void*>(channels.begin(), channels.end());
}
}  // namespace

DecodedSource::DecodedSource(int64_t frameCount, double sampleRate,
                             std::vector<const float*> channels,
                             std::shared_ptr<const void> storage)
    : frameCount_(frameCount),
      sampleRate_(sampleRate),
      format_(SampleFormat::Float32),
      channels_(untyped(channels)),
      storage_(std::move(storage)) {}

DecodedSource::DecodedSource(int64_t frameCount, double sampleRate, SampleFormat format,
                             std::vector<const void*> channels,
                             std::shared_ptr<const void> storage,
                             std::shared_ptr<const WaveformPeaks> peaks, QString cachePath,
                             StoredFile file)
    : frameCount_(frameCount),
      sampleRate_(sampleRate),
      format_(format),
      channels_(std::move(channels)),
      storage_(std::move(storage)),
      peaks_(std::move(peaks)),
      cachePath_(std::move(cachePath)),
      file_(std::move(file)) {
    if (file_.channelOffsets.size() != channels_.size()) file_ = {};
}

void DecodedSource::readChannel(int channel, int64_t start, int64_t frames, float* out) const {
    if (frames <= 0) return;
    const void* p = channels_[size_t(channel)];
    if (format_ == SampleFormat::Float32)
        std::memcpy(out, static_cast<const float*>(p) + start, sizeof(float) * size_t(frames));
    else
        int16ToFloat(static_cast<const int16_t*>(p) + start, out, frames);
}

bool DecodedSource::readStored(int channel, int64_t start, int64_t frames, void* out) const {
    if (file_.descriptor < 0 || frames <= 0) return frames == 0;
    const int64_t size = bytesPerSample(format_);
    auto* to = static_cast<char*>(out);
    int64_t left = frames * size;
    off_t at = off_t(file_.channelOffsets[size_t(channel)] + start * size);
    while (left > 0) {
        const ssize_t n = ::pread(file_.descriptor, to, size_t(left), at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        to += n;
        at += n;
        left -= n;
    }
    return true;
}

DecodedSourceStream::DecodedSourceStream(unsigned char* buffer, size_t bufferBytes)
    : buffer_(buffer), bufferBytes_(bufferBytes) {}

void DecodedSourceStream::read(const DecodedSource& source, int channel, int64_t start, int64_t frames,
                               float* out) {
    if (!source.hasStoredFile()) {
        source.readChannel(channel, start, frames, out);
        return;
    }
    const bool sixteen = source.sampleFormat() == DecodedSource::SampleFormat::Int16;
    const int64_t capacity = int64_t(bufferBytes_) / DecodedSource::bytesPerSample(source.sampleFormat());
    while (frames > 0) {
        if (&source != source_ || channel != channel_ || start < first_ || start >= first_ + count_) {
            const int64_t count = std::min(capacity, source.frameCount() - start);
            if (count <= 0 || !source.readStored(channel, start, count, buffer_)) {
                source_ = nullptr;
                source.readChannel(channel, start, frames, out);
                return;
            }
            source_ = &source;
            channel_ = channel;
            first_ = start;
            count_ = count;
        }
        const int64_t k = std::min(frames, first_ + count_ - start);
        const int64_t offset = start - first_;
        if (sixteen)
            int16ToFloat(reinterpret_cast<const int16_t*>(buffer_) + offset, out, k);
        else
            std::memcpy(out, buffer_ + offset * int64_t(sizeof(float)), sizeof(float) * size_t(k));
        out += k;
        start += k;
        frames -= k;
    }
}

void DecodedSource::copyFrames(int64_t start, int64_t frames, float* const* out) const {
    const int64_t from = std::clamp<int64_t>(start, 0, frameCount_);
    const int64_t to = std::clamp<int64_t>(start + frames, 0, frameCount_);
    for (size_t c = 0; c < channels_.size(); ++c) {
        float* o = out[c];
        if (to <= from) {
            std::memset(o, 0, sizeof(float) * size_t(frames));
            continue;
        }
        const int64_t lead = from - start;
        if (lead > 0) std::memset(o, 0, sizeof(float) * size_t(lead));
        readChannel(int(c), from, to - from, o + lead);
        const int64_t tail = frames - lead - (to - from);
        if (tail > 0) std::memset(o + lead + (to - from), 0, sizeof(float) * size_t(tail));
    }
}

std::shared_ptr<const WaveformPeaks> DecodedSource::peaks() const {
    std::call_once(peaksOnce_, [this] {
        if (peaks_) return;
        if (format_ == SampleFormat::Float32) {
            std::vector<const float*> channels;
            for (int c = 0; c < channelCount(); ++c) channels.push_back(floatData(c));
            peaks_ = WaveformPeaks::compute(channels, frameCount_);
        } else {
            std::vector<const int16_t*> channels;
            for (int c = 0; c < channelCount(); ++c) channels.push_back(int16Data(c));
            peaks_ = WaveformPeaks::compute(channels, frameCount_);
        }
    });
    return peaks_;
}

namespace {
template <typename T>
std::shared_ptr<DecodedSource> overBuffers(std::vector<std::vector<T>> channels, double sampleRate,
                                           DecodedSource::SampleFormat format) {
    auto owned = std::make_shared<std::vector<std::vector<T>>>(std::move(channels));
    int64_t frames = owned->empty() ? 0 : static_cast<int64_t>(owned->front().size());
    std::vector<const void*> pointers;
    for (auto& c : *owned) {
        c.resize(static_cast<size_t>(frames));  // every channel the same length
        pointers.push_back(c.data());
    }
    return std::make_shared<DecodedSource>(frames, sampleRate, format, std::move(pointers), owned,
                                           nullptr, QString());
}
}  // namespace

std::shared_ptr<DecodedSource> DecodedSource::fromBuffers(std::vector<std::vector<float>> channels,
                                                          double sampleRate) {
    return overBuffers(std::move(channels), sampleRate, SampleFormat::Float32);
}

std::shared_ptr<DecodedSource> DecodedSource::fromInt16Buffers(std::vector<std::vector<int16_t>> channels,
                                                          double sampleRate) {
    return overBuffers(std::move(channels), sampleRate, SampleFormat::Int16);
}

void DecodedSource::releaseMappedPages() const {
    if (cachePath_.isEmpty() || channels_.empty() || frameCount_ <= 0) return;
    const auto page = uintptr_t(::sysconf(_SC_PAGESIZE));
    const size_t sampleSize = format_ == SampleFormat::Int16 ? sizeof(int16_t) : sizeof(float);
    for (const void* channel : channels_) {
        // Whole pages inside the channel only: a page shared with the file's
        // header or another channel stays.
        const auto from = (uintptr_t(channel) + page - 1) / page * page;
        const auto to = (uintptr_t(channel) + size_t(frameCount_) * sampleSize) / page * page;
        if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
    }
}
