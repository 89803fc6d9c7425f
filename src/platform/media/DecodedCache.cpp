#include "platform/media/DecodedCache.h"

#include "platform/core/AppPaths.h"
#include "platform/core/PartialFiles.h"
#include "platform/media/FFmpeg.h"
#include "platform/media/MediaWorkers.h"

extern "C" {
#include <libswresample/swresample.h>
}

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <thread>
#include <cstring>
#include <map>
#include <mutex>

namespace {

constexpr char SamplesMagic[8] = {'T', 'R', 'V', 'P', 'C', 'M', '0', '1'};
constexpr char PeaksMagic[8] = {'T', 'R', 'V', 'P', 'E', 'A', 'K', '1'};
constexpr uint32_t Version = 3;
constexpr int64_t HeaderSize = 4096;  // samples start page-aligned
constexpr int64_t ChunkFrames = 1 << 17;

struct SourceStamp {
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    QString canonicalPath;
};

struct SamplesHeader {
    char magic[8];
    uint32_t version;
    uint32_t channelCount;
    double sampleRate;
    int64_t frameCount;
    int64_t channelStride;  // frames between the starts of two channels
    int64_t dataOffset;
    uint64_t sourceSize;
    int64_t sourceMtimeNs;
    int32_t streamIndex;
    uint32_t complete;
    uint32_t sampleFormat;  // DecodedSource::SampleFormat
    // The source's path in UTF-8 follows the header (0: not recorded, when it
    // does not fit before the samples).
    uint32_t sourcePathBytes;
};
constexpr size_t MaxSourcePathBytes = size_t(HeaderSize) - sizeof(SamplesHeader);

struct PeaksHeader {
    char magic[8];
    uint32_t version;
    uint32_t channelCount;
    int64_t frameCount;
    int64_t blockCounts[WaveformPeaks::LevelCount];
};

QString& folderOverride() {
    static QString f;
    return f;
}
std::mutex folderMutex;
// Held while tidying, and while a new entry goes from its temporary name to
// open, so that tidying never removes an entry between the two.
std::mutex tidyMutex;

bool stampOf(const QString& path, SourceStamp* stamp) {
    struct stat st {};
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &st) != 0) return false;
    stamp->size = static_cast<uint64_t>(st.st_size);
    stamp->mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    QString canonical = QFileInfo(path).canonicalFilePath();
    stamp->canonicalPath = canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
    return true;
}

QString baseName(const DecodedCache::Request& r, const SourceStamp& s) {
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(s.canonicalPath.toUtf8());
    h.addData(QByteArray("\n") + QByteArray::number(qulonglong(s.size)) + '\n' +
              QByteArray::number(qlonglong(s.mtimeNs)) + '\n' + QByteArray::number(r.streamIndex));
    return QString::fromLatin1(h.result().toHex());
}

// One decode per cache entry at a time in this process.
std::shared_ptr<std::mutex> entryLock(const QString& base) {
    static std::mutex mapMutex;
    static std::map<QString, std::weak_ptr<std::mutex>> locks;
    std::lock_guard g(mapMutex);
    for (auto it = locks.begin(); it != locks.end();)
        it = it->second.expired() ? locks.erase(it) : std::next(it);
    auto& slot = locks[base];
    auto m = slot.lock();
    if (!m) {
        m = std::make_shared<std::mutex>();
        slot = m;
    }
    return m;
}

// A file mapped for reading. A samples file keeps its descriptor open with a
// shared lock on it for as long as it is mapped: that is what marks the entry
// as in use, to this process's tidying and to other processes'.
struct Mapping {
    void* addr = MAP_FAILED;
    size_t length = 0;
    int fd = -1;
    ~Mapping() {
        if (addr != MAP_FAILED) ::munmap(addr, length);
        if (fd >= 0) ::close(fd);
    }
};

std::shared_ptr<Mapping> mapFile(const QString& path, bool markInUse = false) {
    const QByteArray name = QFile::encodeName(path);
    auto m = std::make_shared<Mapping>();
    m->fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (m->fd < 0) return nullptr;
    if (markInUse && ::flock(m->fd, LOCK_SH) != 0) return nullptr;
    struct stat st {};
    if (::fstat(m->fd, &st) != 0 || st.st_size <= 0) return nullptr;
    m->length = static_cast<size_t>(st.st_size);
    m->addr = ::mmap(nullptr, m->length, PROT_READ, MAP_SHARED, m->fd, 0);
    if (m->addr == MAP_FAILED) return nullptr;
    if (!markInUse) {
        ::close(m->fd);
        m->fd = -1;
    }
    return m;
}

std::shared_ptr<const WaveformPeaks> openPeaks(const QString& path, int channels, int64_t frames) {
    auto m = mapFile(path);
    if (!m || m->length < sizeof(PeaksHeader)) return nullptr;
    PeaksHeader h;
    std::memcpy(&h, m->addr, sizeof h);
    if (std::memcmp(h.magic, PeaksMagic, 8) != 0 || h.version != Version ||
        int(h.channelCount) != channels || h.frameCount != frames)
        return nullptr;
    size_t offset = sizeof(PeaksHeader);
    std::vector<std::vector<const WaveformPeaks::MinMax*>> data(WaveformPeaks::LevelCount);
    for (int l = 0; l < WaveformPeaks::LevelCount; ++l) {
        const int64_t expected = (frames + WaveformPeaks::blockSize(l) - 1) / WaveformPeaks::blockSize(l);
        if (h.blockCounts[l] != expected) return nullptr;
        for (int c = 0; c < channels; ++c) {
            const size_t bytes = sizeof(WaveformPeaks::MinMax) * size_t(expected);
            if (offset + bytes > m->length) return nullptr;
            data[l].push_back(reinterpret_cast<const WaveformPeaks::MinMax*>(
                static_cast<const char*>(m->addr) + offset));
            offset += bytes;
        }
    }
    return std::make_shared<WaveformPeaks>(channels, frames, std::move(data), m);
}

std::shared_ptr<DecodedSource> openCachedFiles(const QString& samplesPath, const QString& peaksPath,
                                               const SourceStamp& stamp, int streamIndex) {
    auto m = mapFile(samplesPath, true);
    if (!m || m->length < sizeof(SamplesHeader)) return nullptr;
    SamplesHeader h;
    std::memcpy(&h, m->addr, sizeof h);
    using Format = DecodedSource::SampleFormat;
    if (std::memcmp(h.magic, SamplesMagic, 8) != 0 || h.version != Version || h.complete != 1 ||
        (h.sampleFormat != uint32_t(Format::Float32) && h.sampleFormat != uint32_t(Format::Int16)) ||
        h.channelCount == 0 || h.sampleRate <= 0 || h.frameCount < 0 ||
        h.channelStride < h.frameCount || h.dataOffset != HeaderSize ||
        h.sourceSize != stamp.size || h.sourceMtimeNs != stamp.mtimeNs || h.streamIndex != streamIndex)
        return nullptr;
    const uint64_t needed = uint64_t(h.dataOffset) +
                            (uint64_t(h.channelCount - 1) * uint64_t(h.channelStride) +
                             uint64_t(h.frameCount)) *
                                uint64_t(DecodedSource::bytesPerSample(Format(h.sampleFormat)));
    if (m->length < needed) return nullptr;
    auto peaks = openPeaks(peaksPath, int(h.channelCount), h.frameCount);
    if (!peaks) return nullptr;
    // This use is the entry's last: its access time orders the entries for
    // eviction (set here, whatever the file system's own access-time policy).
    const struct timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_OMIT}};
    ::futimens(m->fd, times);
    const Format format = Format(h.sampleFormat);
    const size_t channelBytes = size_t(h.channelStride) * size_t(DecodedSource::bytesPerSample(format));
    std::vector<const void*> channels;
    const char* base = static_cast<const char*>(m->addr) + h.dataOffset;
    DecodedSource::StoredFile file;
    file.descriptor = m->fd;
    for (uint32_t c = 0; c < h.channelCount; ++c) {
        channels.push_back(base + size_t(c) * channelBytes);
        file.channelOffsets.push_back(int64_t(h.dataOffset) + int64_t(c) * int64_t(channelBytes));
    }
    return std::make_shared<DecodedSource>(h.frameCount, h.sampleRate, format, std::move(channels), m,
                                           std::move(peaks), samplesPath, std::move(file));
}

bool writeAll(int fd, const void* data, size_t bytes, off_t offset) {
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        ssize_t n = ::pwrite(fd, p, bytes, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        bytes -= size_t(n);
        offset += n;
    }
    return true;
}

bool readAll(int fd, void* data, size_t bytes, off_t offset) {
    char* p = static_cast<char*>(data);
    while (bytes > 0) {
        ssize_t n = ::pread(fd, p, bytes, offset);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return false;
        }
        p += n;
        bytes -= size_t(n);
        offset += n;
    }
    return true;
}

// Removes a file on scope exit unless released.
struct TempFile {
    QString path;
    int fd = -1;
    ~TempFile() {
        if (fd >= 0) ::close(fd);
        if (!path.isEmpty()) QFile::remove(path);
    }
    // A new temporary file for `finalPath`.
    bool create(const QString& finalPath) {
        path = partialfiles::temporaryPathFor(finalPath);
        const QByteArray name = QFile::encodeName(path);
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        return fd >= 0;
    }
    // Renamed without a sync: a cache entry lost in a crash is made again.
    bool commit(const QString& finalPath) {
        const bool closed = ::close(fd) == 0;
        fd = -1;
        if (!closed || !partialfiles::putInPlace(path, finalPath, partialfiles::Durability::Unsynced)) return false;
        path.clear();
        return true;
    }
};

// Streams decoded frames into the planar cache file. The decoding thread only
// decodes and hands over references to its frames; a writer thread of its own
// converts them to planar samples of the entry's format (float, or 16-bit
// integers for frames that are 16-bit or narrower), takes the peaks and
// writes the file a chunk at a time, so decoding and writing overlap.
//
// The chunks go through pwrite() from a buffer that stays in the processor's
// cache. Converting straight into a shared mapping of the reserved file was
// measured and costs far more: the first touch of each reserved page has the
// file system fill it with zeros through its read path (on ext4 about 3 s of
// system time for an hour of stereo float, against 0.5 s for the writes).
class SampleWriter {
public:
    using Format = DecodedSource::SampleFormat;

    SampleWriter(int fd, int channels, int64_t capacity, Format format)
        : fd_(fd), channels_(channels), format_(format), sampleBytes_(DecodedSource::bytesPerSample(format)),
          stride_(std::max<int64_t>(capacity, 1)), peaks_(channels) {
        if (format == Format::Int16) {
            chunk16_.assign(size_t(channels), std::vector<int16_t>(size_t(ChunkFrames)));
            for (auto& c : chunk16_) pointers16_.push_back(c.data());
        } else {
            chunk_.assign(size_t(channels), std::vector<float>(size_t(ChunkFrames)));
            for (auto& c : chunk_) pointers_.push_back(c.data());
        }
        thread_ = std::thread([this] { run(); });
    }
    ~SampleWriter() {
        {
            std::lock_guard g(mutex_);
            stop_ = true;
        }
        work_.notify_all();
        thread_.join();
        for (auto& batch : queue_) release(batch);
        release(batch_);
    }

    // Allocates the file's blocks at once where the file system can, which
    // spares the writes the allocation work one page at a time (and a full
    // disk shows here, before any decoding).
    bool reserve() {
        const off_t size = off_t(HeaderSize + int64_t(channels_) * stride_ * sampleBytes_);
        if (::fallocate(fd_, 0, 0, size) == 0) return true;
        if (errno != EOPNOTSUPP) return false;
        return ::ftruncate(fd_, size) == 0;
    }

    // Queues frames [offset, offset + count) of `frame` (a new reference is
    // taken); a 16-bit entry takes only frames that fit (ffmpeg::fitsInt16).
    // Frames go over in batches; waits while the writer is far behind.
    bool push(const AVFrame* frame, int offset, int count) {
        AVFrame* ref = av_frame_clone(frame);
        if (!ref) return false;
        return add({ref, offset, count, false});
    }
    bool pushSilence(int64_t count) {
        while (count > 0) {
            const int n = int(std::min<int64_t>(count, 1 << 20));
            if (!add({nullptr, 0, n, false})) return false;
            count -= n;
        }
        return true;
    }
    // Writes everything handed in so far; false when any write failed.
    bool flush() {
        batch_.push_back({nullptr, 0, 0, true});
        if (!send()) return false;
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return (queue_.empty() && !busy_) || failed_; });
        return !failed_;
    }

    // Valid after flush().
    int64_t stride() const { return stride_; }
    PeakAccumulator& peaks() { return peaks_; }

private:
    struct Job {
        AVFrame* frame;  // null: silence
        int offset;
        int count;
        bool flush;
    };
    using Batch = std::vector<Job>;
    // Large batches keep the hand-overs (each a wake-up of the other thread)
    // few: about a thousand for an hour of audio.
    static constexpr size_t MaxQueued = 4;                // batches
    static constexpr int64_t BatchFrames = ChunkFrames;  // samples per channel

    static void release(Batch& batch) {
        for (auto& job : batch) av_frame_free(&job.frame);
        batch.clear();
    }

    bool add(Job job) {
        batch_.push_back(job);
        batchFrames_ += job.count;
        return batchFrames_ >= BatchFrames ? send() : true;
    }

    bool send() {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return queue_.size() < MaxQueued || failed_; });
        if (failed_) {
            release(batch_);
            return false;
        }
        queue_.push_back(std::move(batch_));
        batch_ = {};
        batchFrames_ = 0;
        work_.notify_all();
        return true;
    }

    void run() {
        for (;;) {
            Batch batch;
            {
                std::unique_lock lock(mutex_);
                work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
                if (queue_.empty()) return;
                batch = std::move(queue_.front());
                queue_.pop_front();
                busy_ = true;
            }
            done_.notify_all();
            bool ok = !failed_;
            for (const auto& job : batch)
                if (ok) ok = handle(job);
            release(batch);
            {
                std::lock_guard g(mutex_);
                busy_ = false;
                if (!ok) failed_ = true;
            }
            done_.notify_all();
        }
    }

    bool handle(const Job& job) {
        if (job.flush) return writeChunk();
        int offset = job.offset, left = job.count;
        while (left > 0) {
            const int n = int(std::min<int64_t>(left, ChunkFrames - filled_));
            if (job.frame && format_ == Format::Int16) {
                int16_t* outs[64];
                for (int c = 0; c < channels_; ++c) outs[c] = pointers16_[c] + filled_;
                if (!ffmpeg::toPlanarInt16(job.frame, offset, n, outs)) return false;
            } else if (job.frame) {
                float* outs[64];
                for (int c = 0; c < channels_; ++c) outs[c] = pointers_[c] + filled_;
                ffmpeg::toPlanarFloat(job.frame, offset, n, outs);
            } else {
                for (int c = 0; c < channels_; ++c) std::memset(samples(c) + filled_ * sampleBytes_, 0, size_t(n) * sampleBytes_);
            }
            filled_ += n;
            offset += n;
            left -= n;
            if (filled_ == ChunkFrames && !writeChunk()) return false;
        }
        return true;
    }

    bool writeChunk() {
        if (filled_ == 0) return true;
        if (written_ + filled_ > stride_ && !grow(written_ + filled_)) return false;
        if (format_ == Format::Int16)
            peaks_.add(pointers16_.data(), filled_);
        else
            peaks_.add(pointers_.data(), filled_);
        for (int c = 0; c < channels_; ++c) {
            if (!writeAll(fd_, samples(c), size_t(sampleBytes_) * size_t(filled_),
                          off_t(HeaderSize + (int64_t(c) * stride_ + written_) * sampleBytes_)))
                return false;
        }
        written_ += filled_;
        filled_ = 0;
        return true;
    }

    // The estimate was short: move every channel but the first to a stride
    // at least twice as long (the moved ranges never overlap their sources).
    bool grow(int64_t needed) {
        int64_t newStride = std::max(needed, stride_ * 2);
        const int64_t b = sampleBytes_;
        if (::ftruncate(fd_, off_t(HeaderSize + int64_t(channels_) * newStride * b)) != 0)
            return false;
        std::vector<char> buf(static_cast<size_t>(ChunkFrames * b));
        for (int c = channels_ - 1; c >= 1; --c) {
            for (int64_t done = 0; done < written_; done += ChunkFrames) {
                const int64_t n = std::min(ChunkFrames, written_ - done);
                if (!readAll(fd_, buf.data(), size_t(n * b), off_t(HeaderSize + (c * stride_ + done) * b)) ||
                    !writeAll(fd_, buf.data(), size_t(n * b), off_t(HeaderSize + (c * newStride + done) * b)))
                    return false;
            }
        }
        stride_ = newStride;
        return true;
    }

    // Everything below but the queue is the writer thread's (read by the
    // decoding thread only after flush()).
    // Channel c's chunk, as bytes.
    char* samples(int c) {
        return format_ == Format::Int16 ? reinterpret_cast<char*>(pointers16_[size_t(c)])
                                        : reinterpret_cast<char*>(pointers_[size_t(c)]);
    }

    const int fd_;
    const int channels_;
    const Format format_;
    const int sampleBytes_;
    int64_t stride_;
    int64_t written_ = 0;
    int64_t filled_ = 0;
    PeakAccumulator peaks_;
    std::vector<std::vector<float>> chunk_;      // a float entry's
    std::vector<float*> pointers_;
    std::vector<std::vector<int16_t>> chunk16_;  // a 16-bit entry's
    std::vector<int16_t*> pointers16_;
    std::mutex mutex_;
    std::condition_variable work_, done_;
    std::deque<Batch> queue_;
    Batch batch_;             // the decoding thread's batch being gathered
    int64_t batchFrames_ = 0;
    bool busy_ = false, failed_ = false, stop_ = false;
    std::thread thread_;
};

// Converts decoded frames to the rate and channel count a stream started
// with, handing each converted frame to `handOn` (false from it stops).
class StreamConformer {
public:
    using HandOn = std::function<bool(const AVFrame*)>;
    StreamConformer(const AVChannelLayout& layout, int rate) : rate_(rate) { defaultOrCopy(&layout_, layout); }
    ~StreamConformer() {
        swr_free(&swr_);
        av_channel_layout_uninit(&layout_);
        av_channel_layout_uninit(&inLayout_);
    }
    StreamConformer(const StreamConformer&) = delete;
    StreamConformer& operator=(const StreamConformer&) = delete;

    bool differs(const AVFrame* f) const {
        return f->sample_rate != rate_ || f->ch_layout.nb_channels != layout_.nb_channels;
    }
    bool failed() const { return failed_; }

    bool convert(const AVFrame* in, const HandOn& handOn) {
        AVChannelLayout inLayout{};
        defaultOrCopy(&inLayout, in->ch_layout);
        const bool same = swr_ && inRate_ == in->sample_rate && inFormat_ == in->format &&
                          av_channel_layout_compare(&inLayout, &inLayout_) == 0;
        if (!same) {
            // A new input format: what the old converter holds goes first.
            const bool more = flush(handOn);
            av_channel_layout_uninit(&inLayout_);
            inLayout_ = inLayout;
            inRate_ = in->sample_rate;
            inFormat_ = in->format;
            if (!more) return false;
            if (!ffmpeg::makeResampler(&swr_, layout_, AV_SAMPLE_FMT_FLTP, rate_, inLayout_,
                                       AVSampleFormat(in->format), in->sample_rate)) {
                failed_ = true;
                return false;
            }
        } else {
            av_channel_layout_uninit(&inLayout);
        }
        return run(const_cast<const uint8_t**>(in->extended_data), in->nb_samples, handOn);
    }
    // Hands on what the converter still holds and lets it go.
    bool flush(const HandOn& handOn) {
        if (!swr_) return true;
        const bool more = run(nullptr, 0, handOn);
        swr_free(&swr_);
        return more;
    }

private:
    static void defaultOrCopy(AVChannelLayout* to, const AVChannelLayout& from) {
        if (from.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(to, from.nb_channels);
        else
            av_channel_layout_copy(to, &from);
    }

    bool run(const uint8_t** data, int frames, const HandOn& handOn) {
        const int room = swr_get_out_samples(swr_, frames);
        if (room <= 0) return true;
        auto out = ffmpeg::makeFrame();
        out->format = AV_SAMPLE_FMT_FLTP;
        out->sample_rate = rate_;
        out->nb_samples = room;
        if (!out || av_channel_layout_copy(&out->ch_layout, &layout_) < 0 ||
            av_frame_get_buffer(out.get(), 0) < 0) {
            failed_ = true;
            return false;
        }
        const int made = swr_convert(swr_, out->extended_data, room, data, frames);
        if (made < 0) {
            failed_ = true;
            return false;
        }
        out->nb_samples = made;
        return made == 0 || handOn(out.get());
    }

    AVChannelLayout layout_{}, inLayout_{};
    const int rate_;
    int inRate_ = 0, inFormat_ = -1;
    SwrContext* swr_ = nullptr;
    bool failed_ = false;
};

// Writes the peaks into `tmp`, under a temporary name beside `path`; the
// caller renames it into place together with its samples.
bool writePeaks(TempFile& tmp, const QString& path, int channels, int64_t frames, PeakAccumulator& acc) {
    auto levels = acc.finish();
    if (!tmp.create(path)) return false;
    PeaksHeader h{};
    std::memcpy(h.magic, PeaksMagic, 8);
    h.version = Version;
    h.channelCount = uint32_t(channels);
    h.frameCount = frames;
    for (int l = 0; l < WaveformPeaks::LevelCount; ++l)
        h.blockCounts[l] = int64_t(levels[l].empty() ? 0 : levels[l][0].size());
    off_t offset = 0;
    if (!writeAll(tmp.fd, &h, sizeof h, offset)) return false;
    offset += sizeof h;
    for (int l = 0; l < WaveformPeaks::LevelCount; ++l)
        for (int c = 0; c < channels; ++c) {
            const auto& v = levels[l][c];
            if (!writeAll(tmp.fd, v.data(), v.size() * sizeof(WaveformPeaks::MinMax), offset))
                return false;
            offset += off_t(v.size() * sizeof(WaveformPeaks::MinMax));
        }
    return true;
}

// Decodes into a new entry. Samples that the decoder gives as 16-bit
// integers or narrower are stored as 16-bit when `allowInt16`; should a later
// frame come in another format, `wrongFormat` is set and nothing is made, and
// the caller decodes again as float.
std::shared_ptr<DecodedSource> decodeAs(const DecodedCache::Request& r, const SourceStamp& stamp,
                                        const QString& samplesPath, const QString& peaksPath,
                                        const DecodedCache::Progress& progress, QString* error,
                                        bool allowInt16, bool* wrongFormat) {
    auto fail = [&](const QString& text) -> std::shared_ptr<DecodedSource> {
        if (error) *error = text;
        return nullptr;
    };
    auto input = ffmpeg::openInput(r.path, error);
    if (!input) return nullptr;
    if (r.streamIndex < 0 || r.streamIndex >= int(input->nb_streams) ||
        input->streams[r.streamIndex]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
        return fail(QStringLiteral("\"%1\" has no audio stream %2.").arg(r.path).arg(r.streamIndex));
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (int(i) != r.streamIndex) input->streams[i]->discard = AVDISCARD_ALL;
    // One decoding thread: frame threads (FLAC has them) cost processor time
    // in hand-overs and gain nothing here, where the writer thread beside the
    // decoder already keeps a second core busy.
    auto codec = ffmpeg::openDecoder(input.get(), r.streamIndex, error, 1);
    if (!codec) return nullptr;
    const int channels = codec->ch_layout.nb_channels;
    const double sampleRate = codec->sample_rate;
    if (channels <= 0 || sampleRate <= 0)
        return fail(QStringLiteral("\"%1\" has an audio stream without channels or sample rate.").arg(r.path));

    QDir().mkpath(QFileInfo(samplesPath).absolutePath());
    TempFile tmp;
    if (!tmp.create(samplesPath))
        return fail(QStringLiteral("The decoded-audio cache \"%1\" could not be written.").arg(samplesPath));
    const int64_t capacity = r.expectedIsExact
                                 ? r.expectedFrames
                                 : r.expectedFrames + r.expectedFrames / 20 + int64_t(sampleRate);
    using Format = DecodedSource::SampleFormat;
    const Format format = allowInt16 && ffmpeg::fitsInt16(codec->sample_fmt) ? Format::Int16 : Format::Float32;
    SampleWriter writer(tmp.fd, channels, capacity, format);
    if (!writer.reserve())
        return fail(QStringLiteral("There is no room for the decoded-audio cache \"%1\".").arg(samplesPath));

    const int64_t limit = r.expectedIsExact ? r.expectedFrames : INT64_MAX;
    int64_t total = 0;
    bool ioFailed = false;
    double lastReported = -1;
    auto frame = ffmpeg::makeFrame();
    auto packet = ffmpeg::makePacket();
    // Frames whose rate or channel count differs from the stream's start (an
    // MP3 may change both part-way) are converted to it, so that the track
    // keeps its pitch, its length and its channels throughout.
    StreamConformer conformer(codec->ch_layout, int(sampleRate));
    const StreamConformer::HandOn place = [&](const AVFrame* f) -> bool {  // false when the limit is reached or writing failed
        if (format == Format::Int16 && !ffmpeg::fitsInt16(f->format)) {
            *wrongFormat = true;  // a converted frame is float, as is a decoder that changes format
            return false;
        }
        int count = f->nb_samples;
        if (total + count > limit) count = int(limit - total);
        if (count > 0 && !writer.push(f, 0, count)) {
            ioFailed = true;
            return false;
        }
        total += count;
        return total < limit;
    };
    auto drain = [&]() -> bool {  // false when the limit is reached or writing failed
        while (avcodec_receive_frame(codec.get(), frame.get()) >= 0) {
            // What the converter still holds comes before a frame that needs none.
            const bool more = conformer.differs(frame.get()) ? conformer.convert(frame.get(), place)
                                                             : conformer.flush(place) && place(frame.get());
            av_frame_unref(frame.get());
            if (!more) return false;
            if (progress && r.expectedFrames > 0) {
                const double f = std::min(1.0, double(total) / double(r.expectedFrames));
                if (f - lastReported >= 0.01) {
                    lastReported = f;
                    progress(f);
                }
            }
            if (total >= limit) return false;
        }
        return true;
    };
    if (channels > 64) return fail(QStringLiteral("\"%1\" has more than 64 channels.").arg(r.path));

    bool going = true;
    while (going) {
        int rc = av_read_frame(input.get(), packet.get());
        if (rc < 0) break;  // end of file, or a read error: what was decoded stays
        if (packet->stream_index == r.streamIndex) {
            avcodec_send_packet(codec.get(), packet.get());  // a damaged packet is skipped
            going = drain();
        }
        av_packet_unref(packet.get());
    }
    if (going) {
        avcodec_send_packet(codec.get(), nullptr);
        if (drain()) conformer.flush(place);
    }
    if (*wrongFormat) return nullptr;
    if (ioFailed || conformer.failed() || !writer.flush())
        return fail(QStringLiteral("The decoded-audio cache \"%1\" could not be written.").arg(samplesPath));
    if (total == 0)
        return fail(QStringLiteral("\"%1\" holds no audio that can be decoded.").arg(r.path));
    // A short fall of less than a tenth of a second is padded with silence so
    // the decoded length is the one the file declares. More means the file
    // is cut off: the samples are what it holds, and the track takes that
    // length when it takes the samples up.
    if (r.expectedIsExact && total < r.expectedFrames && r.expectedFrames - total <= int64_t(sampleRate / 10)) {
        if (!writer.pushSilence(r.expectedFrames - total) || !writer.flush())
            return fail(QStringLiteral("The decoded-audio cache \"%1\" could not be written.").arg(samplesPath));
        total = r.expectedFrames;
    }

    SamplesHeader h{};
    std::memcpy(h.magic, SamplesMagic, 8);
    h.version = Version;
    h.channelCount = uint32_t(channels);
    h.sampleRate = sampleRate;
    h.frameCount = total;
    h.channelStride = writer.stride();
    h.dataOffset = HeaderSize;
    h.sourceSize = stamp.size;
    h.sourceMtimeNs = stamp.mtimeNs;
    h.streamIndex = r.streamIndex;
    h.complete = 1;
    h.sampleFormat = uint32_t(format);
    const QByteArray sourcePath = stamp.canonicalPath.toUtf8();
    h.sourcePathBytes = size_t(sourcePath.size()) <= MaxSourcePathBytes ? uint32_t(sourcePath.size()) : 0;
    TempFile peaksTmp;
    if (!writeAll(tmp.fd, &h, sizeof h, 0) ||
        !writeAll(tmp.fd, sourcePath.constData(), h.sourcePathBytes, off_t(sizeof h)) ||
        !writePeaks(peaksTmp, peaksPath, channels, total, writer.peaks()))
        return fail(QStringLiteral("The decoded-audio cache \"%1\" could not be written.").arg(samplesPath));
    std::shared_ptr<DecodedSource> source;
    {
        // Both files take their names, and the entry opens, while tidying
        // waits: a tidy in between (another import's, which runs whenever an
        // entry is added) would take peaks without samples for an orphan and
        // remove them. The samples go first, so that no other process ever
        // sees such peaks either; samples without peaks are kept.
        std::lock_guard g(tidyMutex);
        if (!tmp.commit(samplesPath) || !peaksTmp.commit(peaksPath))
            return fail(QStringLiteral("The decoded-audio cache \"%1\" could not be written.").arg(samplesPath));
        source = openCachedFiles(samplesPath, peaksPath, stamp, r.streamIndex);
    }
    if (!source) return fail(QStringLiteral("The decoded-audio cache \"%1\" could not be read back.").arg(samplesPath));
    if (progress) progress(1.0);
    return source;
}

std::shared_ptr<DecodedSource> decodeToCache(const DecodedCache::Request& r, const SourceStamp& stamp,
                                             const QString& samplesPath, const QString& peaksPath,
                                             const DecodedCache::Progress& progress, QString* error) {
    bool wrongFormat = false;
    auto source = decodeAs(r, stamp, samplesPath, peaksPath, progress, error, true, &wrongFormat);
    if (!wrongFormat) return source;
    return decodeAs(r, stamp, samplesPath, peaksPath, progress, error, false, &wrongFormat);
}

// Removes an entry's files when nothing has it open; false when something
// does (or it is gone already). The exclusive lock is taken without waiting:
// a shared lock held by any process refuses it.
bool removeUnusedEntry(const QString& samplesPath) {
    const QByteArray name = QFile::encodeName(samplesPath);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool unused = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (unused) {
        ::unlink(name.constData());
        QFile::remove(samplesPath.chopped(4) + QStringLiteral(".peaks"));
    }
    ::close(fd);
    return unused;
}

int64_t bytesOnDisk(const struct stat& st) { return int64_t(st.st_blocks) * 512; }

// Whether the entry's source is still the file it was decoded from: its
// recorded path names a file of the recorded size and time. An entry that
// recorded no path is kept.
bool sourceStillThere(int fd) {
    SamplesHeader h;
    if (!readAll(fd, &h, sizeof h, 0)) return false;
    if (std::memcmp(h.magic, SamplesMagic, 8) != 0 || h.version != Version || h.complete != 1 ||
        h.sourcePathBytes > MaxSourcePathBytes)
        return false;
    if (h.sourcePathBytes == 0) return true;
    QByteArray path(int(h.sourcePathBytes), Qt::Uninitialized);
    if (!readAll(fd, path.data(), h.sourcePathBytes, off_t(sizeof h))) return false;
    SourceStamp now;
    return stampOf(QString::fromUtf8(path), &now) && now.size == h.sourceSize && now.mtimeNs == h.sourceMtimeNs;
}

// A temporary file whose writer has gone: of partialfiles' form, or of the
// form "<entry>.<pid>.<n>.tmp" that earlier versions wrote.
bool isAbandonedTemporary(const QString& fileName, const struct stat& st) {
    qint64 writer = 0;
    if (partialfiles::isTemporaryName(fileName, &writer))
        return partialfiles::isLeftover(writer, QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec));
    if (!fileName.endsWith(QStringLiteral(".tmp"))) return false;
    const QStringList parts = fileName.split(QLatin1Char('.'));
    if (parts.size() < 4) return false;
    bool ok = false;
    const qlonglong pid = parts[parts.size() - 3].toLongLong(&ok);
    if (!ok || pid <= 0) return false;
    if (pid == ::getpid()) return false;
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

std::atomic<int64_t> sizeLimitOverride{0};

// The limit for a cache in `folder` that holds `cacheBytes`.
int64_t limitFor(const QString& folder, int64_t cacheBytes) {
    if (const int64_t set = sizeLimitOverride.load()) return set;
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(folder).constData(), &fs) != 0) return DecodedCache::DefaultSizeLimit;
    const int64_t free = int64_t(fs.f_bavail) * int64_t(fs.f_frsize) + cacheBytes;
    return std::min(DecodedCache::DefaultSizeLimit, free / 10);
}

// Folders tidied by this process on first use.
std::mutex tidiedMutex;
QStringList tidiedFolders;

void tidyOnFirstUse(const QString& folder) {
    {
        std::lock_guard g(tidiedMutex);
        if (tidiedFolders.contains(folder)) return;
        tidiedFolders.append(folder);
    }
    DecodedCache::tidy();
}

}  // namespace

QString DecodedCache::folder() {
    {
        std::lock_guard g(folderMutex);
        if (!folderOverride().isEmpty()) return folderOverride();
    }
    return apppaths::decodedCacheFolder();
}

void DecodedCache::setFolder(const QString& f) {
    std::lock_guard g(folderMutex);
    folderOverride() = f;
}

QString DecodedCache::cacheFilePath(const Request& r) {
    SourceStamp s;
    if (!stampOf(r.path, &s)) return {};
    return folder() + QLatin1Char('/') + baseName(r, s) + QStringLiteral(".pcm");
}

QString DecodedCache::peaksFilePath(const Request& r) {
    SourceStamp s;
    if (!stampOf(r.path, &s)) return {};
    return folder() + QLatin1Char('/') + baseName(r, s) + QStringLiteral(".peaks");
}

std::shared_ptr<DecodedSource> DecodedCache::openCached(const Request& r) {
    SourceStamp s;
    if (!stampOf(r.path, &s)) return nullptr;
    const QString base = folder() + QLatin1Char('/') + baseName(r, s);
    std::lock_guard g(tidyMutex);
    return openCachedFiles(base + QStringLiteral(".pcm"), base + QStringLiteral(".peaks"), s,
                           r.streamIndex);
}

bool DecodedCache::cachedRecord(const Request& r, Record* record) {
    SourceStamp s;
    if (!stampOf(r.path, &s)) return false;
    const QByteArray name = QFile::encodeName(folder() + QLatin1Char('/') + baseName(r, s) + QStringLiteral(".pcm"));
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    SamplesHeader h;
    const bool read = readAll(fd, &h, sizeof h, 0);
    ::close(fd);
    if (!read || std::memcmp(h.magic, SamplesMagic, 8) != 0 || h.version != Version || h.complete != 1 ||
        h.channelCount == 0 || !(h.sampleRate > 0) || h.frameCount < 0 || h.sourceSize != s.size ||
        h.sourceMtimeNs != s.mtimeNs || h.streamIndex != r.streamIndex)
        return false;
    record->channelCount = int(h.channelCount);
    record->sampleRate = h.sampleRate;
    record->frameCount = h.frameCount;
    return true;
}

std::shared_ptr<DecodedSource> DecodedCache::load(const Request& r, const Progress& progress,
                                                  QString* error) {
    SourceStamp s;
    if (!stampOf(r.path, &s)) {
        if (error) *error = QStringLiteral("The file \"%1\" does not exist.").arg(r.path);
        return nullptr;
    }
    const QString name = baseName(r, s);
    const QString base = folder() + QLatin1Char('/') + name;
    const QString samplesPath = base + QStringLiteral(".pcm");
    const QString peaksPath = base + QStringLiteral(".peaks");
    tidyOnFirstUse(folder());
    auto lock = entryLock(name);
    std::lock_guard g(*lock);
    std::shared_ptr<DecodedSource> cached;
    {
        std::lock_guard t(tidyMutex);
        cached = openCachedFiles(samplesPath, peaksPath, s, r.streamIndex);
    }
    if (cached) {
        if (progress) progress(1.0);
        return cached;
    }
    auto decoded = decodeToCache(r, s, samplesPath, peaksPath, progress, error);
    if (decoded) tidy();  // the new entry may take the cache past its limit
    return decoded;
}

int64_t DecodedCache::sizeLimit() { return limitFor(folder(), sizeOnDisk()); }

void DecodedCache::setSizeLimit(int64_t bytes) { sizeLimitOverride.store(std::max<int64_t>(bytes, 0)); }

int64_t DecodedCache::sizeOnDisk() {
    const QDir dir(folder());
    int64_t total = 0;
    for (const QString& f : dir.entryList(QDir::Files | QDir::Hidden)) {
        struct stat st {};
        if (::stat(QFile::encodeName(dir.filePath(f)).constData(), &st) == 0) total += bytesOnDisk(st);
    }
    return total;
}

void DecodedCache::tidyInBackground() {
    const QString where = folder();
    mediaworkers::start(mediaworkers::Work::Load, [where] { tidyOnFirstUse(where); });
}

DecodedCache::TidyResult DecodedCache::tidy() {
    std::lock_guard g(tidyMutex);
    TidyResult result;
    const QDir dir(folder());
    struct Entry {
        QString samplesPath;
        struct timespec lastUse;
        int64_t bytes;
    };
    std::vector<Entry> kept;
    auto removed = [&](int64_t bytes) {
        ++result.removedEntries;
        result.removedBytes += bytes;
    };
    const QStringList files = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString& f : files) {
        const QString path = dir.filePath(f);
        const QByteArray name = QFile::encodeName(path);
        struct stat st {};
        if (::stat(name.constData(), &st) != 0) continue;
        if (partialfiles::isTemporaryName(f) || f.endsWith(QStringLiteral(".tmp"))) {
            if (isAbandonedTemporary(f, st) && ::unlink(name.constData()) == 0) result.removedBytes += bytesOnDisk(st);
            continue;
        }
        if (f.endsWith(QStringLiteral(".peaks"))) {
            // Counted with its samples; alone it is of no use.
            const QString samples = path.chopped(6) + QStringLiteral(".pcm");
            if (!QFileInfo::exists(samples) && ::unlink(name.constData()) == 0)
                result.removedBytes += bytesOnDisk(st);
            continue;
        }
        if (!f.endsWith(QStringLiteral(".pcm"))) continue;
        struct stat peaks {};
        const bool hasPeaks =
            ::stat(QFile::encodeName(path.chopped(4) + QStringLiteral(".peaks")).constData(), &peaks) == 0;
        const int64_t bytes = bytesOnDisk(st) + (hasPeaks ? bytesOnDisk(peaks) : 0);
        // Reading the header must not count as a use: the file system would
        // set the access time that orders the entries.
        int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOATIME);
        if (fd < 0 && errno == EPERM) fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        const bool current = fd >= 0 && sourceStillThere(fd);
        if (fd >= 0) ::close(fd);
        if (!current && removeUnusedEntry(path)) {
            removed(bytes);
            continue;
        }
        kept.push_back({path, st.st_atim, bytes});
    }
    // The least recently used first.
    std::sort(kept.begin(), kept.end(), [](const Entry& a, const Entry& b) {
        return a.lastUse.tv_sec != b.lastUse.tv_sec ? a.lastUse.tv_sec < b.lastUse.tv_sec
                                                    : a.lastUse.tv_nsec < b.lastUse.tv_nsec;
    });
    int64_t total = 0;
    for (const auto& e : kept) total += e.bytes;
    const int64_t limit = limitFor(dir.path(), total);
    for (const auto& e : kept) {
        if (total <= limit) break;
        if (removeUnusedEntry(e.samplesPath)) {
            removed(e.bytes);
            total -= e.bytes;
        }
    }
    result.keptBytes = total;
    return result;
}
