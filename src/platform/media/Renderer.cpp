#include "platform/media/Renderer.h"

#include "platform/core/Realtime.h"
#include "platform/core/WakeSignal.h"
#include "platform/media/FFmpeg.h"
#include "platform/units/StretcherLog.h"

#include <rubberband/RubberBandStretcher.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <immintrin.h>

#include <algorithm>
#include <numeric>
#include <cmath>
#include <cstring>
#include <new>
#include <set>
#include <thread>

#include <sys/mman.h>

using RubberBand::RubberBandStretcher;

namespace {
// Room for the resampler's filter beyond a block's own frames.
constexpr int64_t kResamplePreroll = 64;
// Frames over which a track fades out and in again where it is re-aligned.
constexpr int64_t kRealignFade = 256;

// sum[i] += in[i], where a sample that is no number (a unit gone wrong)
// adds silence: x - x is 0 for a finite x and NaN otherwise.
void addFinite(float* sum, const float* in, int n) {
    const __m128 zero = _mm_setzero_ps();
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 x = _mm_loadu_ps(in + i);
        const __m128 finite = _mm_cmpeq_ps(_mm_sub_ps(x, x), zero);
        _mm_storeu_ps(sum + i, _mm_add_ps(_mm_loadu_ps(sum + i), _mm_and_ps(x, finite)));
    }
    for (; i < n; ++i) sum[i] += std::isfinite(in[i]) ? in[i] : 0.0f;
}
}  // namespace

struct Renderer::Track {
    struct Segment {
        int64_t start = 0, end = 0;  // frames at the track's rate
        const DecodedSource* source = nullptr;
        int64_t sourceStart = 0, sourceFrames = 0;
        bool copy = false;           // same rate, same duration: the samples as they are
        double timeRatio = 1, pitchScale = 1;
    };

    int32_t trackID = 0;
    double rate = 0;  // the rate the segments are rendered at, before resampling
    std::vector<Segment> segments;
    std::shared_ptr<ProcessingTap> tap;
    bool attached = false;
    bool startOfStream = true;
    // Stage frames by which the tap delays the track: the source runs that
    // far ahead of what the track gives out, and the tap's first output
    // after each start or jump is dropped for as long.
    int64_t latency = 0;
    // The tap wants another latency: the block just made faded out, and the
    // next render re-aligns the track and fades it in over `fadeIn` frames.
    bool realign = false;
    int64_t fadeIn = 0;

    // The stage: source, tap and volume, at the rate and slice size the tap
    // was prepared with (the output's when there is no tap).
    int64_t stageRate = 0;
    int64_t stageMax = 0;
    int64_t stagePos = 0;  // stage frame of the next slice
    int64_t stageEnd = 0;  // the track's end, in stage frames
    std::vector<std::pair<int64_t, float>> volumes;  // stage frame, volume
    std::vector<float> stageOut[2];
    SwrContext* post = nullptr;  // stage rate to output rate
    int64_t postDrop = 0;
    std::vector<float> postBuf[2];

    int64_t vPos = 0;
    size_t segHint = 0;

    std::unique_ptr<RubberBandStretcher> stretcher;
    long stretchSeg = -1;
    int64_t stretchNext = 0;   // track-rate frame of the next frame out
    int64_t feedPos = 0;       // source frame of the next frame in
    int64_t discard = 0;       // start delay still to drop
    std::vector<float> stretchIn[2], stretchTmp[2];

    SwrContext* swr = nullptr;
    int64_t dropOut = 0;  // resampled lead-in still to drop
    std::vector<float> vbuf[2];

    // An offline render reads its sources from their cache files, a
    // stretch ahead (see DecodedSourceStream); a real-time one through the
    // mapping, with no system call on the render thread.
    std::unique_ptr<DecodedSourceStream> streams[2];

    std::vector<float> src[2], out[2];  // the tap's source and output
    // The block renderTrack() made, for the sum: the stage's output, the
    // resampled output, or `block` when the stage takes several slices.
    const float* made[2] = {nullptr, nullptr};
    std::vector<float> block[2];

    ~Track() {
        if (swr) swr_free(&swr);
        if (post) swr_free(&post);
        if (attached) tap->detach();
    }
};

// Memory for buffers that are written through as a whole, mapped in huge
// pages where the system offers them when it is large enough to fill one:
// a page fault per 2 MiB instead of one per 4 KiB page.
struct Renderer::MemoryBlock {
    explicit MemoryBlock(size_t bytes) {
        constexpr size_t huge = size_t(2) << 20;
        const bool inHugePages = bytes >= huge / 2;
        const size_t rounded = (bytes + huge - 1) / huge * huge;
        length = inHugePages ? rounded + huge : bytes;  // room to align
        base = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) throw std::bad_alloc();
        data = static_cast<unsigned char*>(base);
        if (inHugePages) {
            data = reinterpret_cast<unsigned char*>((reinterpret_cast<uintptr_t>(base) + huge - 1) / huge * huge);
            ::madvise(data, rounded, MADV_HUGEPAGE);  // a hint: without it, ordinary pages
        }
    }
    ~MemoryBlock() { ::munmap(base, length); }
    MemoryBlock(const MemoryBlock&) = delete;
    MemoryBlock& operator=(const MemoryBlock&) = delete;

    void* base = MAP_FAILED;
    size_t length = 0;
    unsigned char* data = nullptr;
};

// The threads of an offline render that take tracks beside the render's own
// thread. Made and deleted by the renderer's owner (prepare() and the
// destructor), never during a render. Per block, run() on the render thread
// publishes the block's length and resets the counters, then wakes every
// worker; each thread takes the next track not yet taken until none is left.
// The last to finish a track wakes the render thread, which sleeps until
// then. Nothing here allocates or locks; a worker sleeps on its own signal.
class Renderer::Workers {
public:
    Workers(Renderer& renderer, int count) : r_(renderer), go_(std::make_unique<WakeSignal[]>(size_t(count))) {
        threads_.reserve(size_t(count));
        for (int i = 0; i < count; ++i) threads_.emplace_back([this, i] { loop(size_t(i)); });
    }
    ~Workers() {
        quit_.store(true, std::memory_order_release);
        for (size_t i = 0; i < threads_.size(); ++i) go_[i].wake();
        for (auto& t : threads_) t.join();
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    size_t count() const { return threads_.size(); }

    // Render thread: every track's next `frames`, on return.
    void run(int frames) {
        frames_.store(frames, std::memory_order_relaxed);
        remaining_.store(r_.tracks_.size(), std::memory_order_relaxed);
        next_.store(0, std::memory_order_release);
        generation_.fetch_add(1, std::memory_order_release);
        for (size_t i = 0; i < threads_.size(); ++i) go_[i].wake();
        take();
        while (remaining_.load(std::memory_order_acquire) != 0) {
            const uint32_t seen = done_.value();
            if (remaining_.load(std::memory_order_acquire) == 0) break;
            done_.waitFor(seen, std::chrono::nanoseconds(-1));
        }
    }

private:
    void take() {
        const size_t n = r_.tracks_.size();
        for (;;) {
            // A worker late from the block before finds none left, or takes
            // a track of this block after the counters were reset for it.
            const size_t i = next_.fetch_add(1, std::memory_order_acq_rel);
            if (i >= n) return;
            r_.renderTrack(*r_.tracks_[i], frames_.load(std::memory_order_relaxed));
            if (remaining_.fetch_sub(1, std::memory_order_acq_rel) == 1) done_.wake();
        }
    }

    void loop(size_t index) {
        uint32_t served = 0;
        for (;;) {
            // The signal is read before the state it guards: a wake in
            // between is not lost.
            const uint32_t seen = go_[index].value();
            if (quit_.load(std::memory_order_acquire)) return;
            const uint32_t generation = generation_.load(std::memory_order_acquire);
            if (generation != served) {
                served = generation;
                realtime::Scope scope;
                take();
                continue;
            }
            go_[index].waitFor(seen, std::chrono::nanoseconds(-1));
        }
    }

    Renderer& r_;
    std::unique_ptr<WakeSignal[]> go_;  // one per worker
    WakeSignal done_;                   // the render thread's
    std::atomic<uint32_t> generation_{0};
    std::atomic<int> frames_{0};
    std::atomic<size_t> next_{0};
    std::atomic<size_t> remaining_{0};
    std::atomic<bool> quit_{false};
    std::vector<std::thread> threads_;
};

Renderer::Renderer(std::shared_ptr<const Composition> composition,
                   std::shared_ptr<const AudioMix> mix, double sampleRate, Mode mode,
                   int maxFrames)
    : composition_(std::move(composition)),
      mix_(std::move(mix)),
      rate_(sampleRate),
      mode_(mode),
      maxFrames_(std::max(1, maxFrames)) {}

Renderer::~Renderer() = default;

int Renderer::workerCount() const { return workers_ ? static_cast<int>(workers_->count()) : 0; }

namespace {
bool makeResampler(SwrContext** swr, int64_t from, int64_t to) {
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    return ffmpeg::makeResampler(swr, stereo, AV_SAMPLE_FMT_FLTP, static_cast<int>(to), stereo, AV_SAMPLE_FMT_FLTP,
                                 static_cast<int>(from));
}
int64_t scaleFrames(int64_t frames, int64_t from, int64_t to) {
    return from == to ? frames
                      : static_cast<int64_t>(std::llround(static_cast<double>(frames) * to / from));
}
}  // namespace

bool Renderer::loadSources(const Composition& composition, QString* error,
                           const std::function<bool()>& cancelled) {
    std::set<const AssetTrack*> seen;
    for (const CompositionTrack* track : composition.tracksWithMediaType(MediaType::Audio)) {
        for (const auto& seg : track->segments()) {
            if (seg.isEmpty() || !seen.insert(seg.sourceTrack.get()).second) continue;
            if (cancelled && cancelled()) {
                if (error) *error = QStringLiteral("Cancelled.");
                return false;
            }
            QString e;
            if (!seg.sourceTrack->loadDecodedSource({}, &e)) {
                if (error)
                    *error = e.isEmpty() ? QStringLiteral("The audio of a track could not be read.") : e;
                return false;
            }
        }
    }
    return true;
}

bool Renderer::prepare(QString* error) {
    if (prepared_) return true;
    if (!composition_ || rate_ <= 0) {
        if (error) *error = QStringLiteral("Nothing to render.");
        return false;
    }
    const int64_t outRate = std::llround(rate_);
    std::vector<std::unique_ptr<Track>> tracks;
    std::vector<Track*> streamedTracks;
    const units::StreamFormat format = units::StreamFormat::canonical(rate_, 2);
    for (const CompositionTrack* ct : composition_->tracksWithMediaType(MediaType::Audio)) {
        auto t = std::make_unique<Track>();
        t->trackID = ct->trackID();
        std::shared_ptr<const AudioMixInputParameters> params =
            mix_ ? mix_->inputParametersForTrackID(t->trackID) : nullptr;
        t->stageRate = outRate;
        t->stageMax = maxFrames_;
        if (params && params->audioTapProcessor()) {
            t->tap = params->audioTapProcessor();
            const ProcessingTap::Preparation granted = t->tap->attach(maxFrames_, format);
            t->attached = true;
            if (granted.format.sampleRate > 0) t->stageRate = std::llround(granted.format.sampleRate);
            if (granted.maxFrames > 0) t->stageMax = std::min<int64_t>(maxFrames_, granted.maxFrames);
            t->latency = t->tap->latency();
        }
        const int64_t stageRate = t->stageRate;
        // Render at the rate of the track's first source: one continuous
        // resampler then serves the whole track.
        for (const auto& seg : ct->segments()) {
            if (seg.isEmpty()) continue;
            auto decoded = seg.sourceTrack->decodedSource();
            if (!decoded) {
                if (error) *error = QStringLiteral("The audio of a track is not decoded yet.");
                return false;
            }
            if (t->rate == 0) t->rate = std::round(decoded->sampleRate());
            sources_.push_back(decoded);
        }
        if (t->rate <= 0) t->rate = static_cast<double>(outRate);
        const int64_t vRate = std::llround(t->rate);
        bool needsStretcher = false;
        bool streamed = false;
        for (const auto& seg : ct->segments()) {
            if (seg.isEmpty()) continue;
            auto decoded = seg.sourceTrack->decodedSource();
            Track::Segment s;
            s.start = mediatime::framesAt(seg.targetRange.start, vRate);
            s.end = mediatime::framesAt(seg.targetRange.end(), vRate);
            if (s.end <= s.start) continue;
            const int64_t srcRate = std::llround(decoded->sampleRate());
            s.source = decoded.get();
            s.sourceStart = mediatime::framesAt(seg.sourceRange.start, srcRate);
            s.sourceFrames = mediatime::framesAt(seg.sourceRange.end(), srcRate) - s.sourceStart;
            if (s.sourceFrames <= 0) continue;
            s.copy = srcRate == vRate && !seg.isScaled();
            if (!s.copy) {
                needsStretcher = true;
                s.timeRatio = static_cast<double>(s.end - s.start) / static_cast<double>(s.sourceFrames);
                s.pitchScale = static_cast<double>(srcRate) / static_cast<double>(vRate);
            }
            t->segments.push_back(s);
            streamed = streamed || (mode_ == Mode::Offline && s.source->hasStoredFile());
        }
        if (streamed) streamedTracks.push_back(t.get());
        t->stageEnd = mediatime::framesAt(ct->timeRange().end(), stageRate);

        if (needsStretcher) {
            RubberBandStretcher::Options options = RubberBandStretcher::OptionProcessRealTime;
            options |= mode_ == Mode::RealTime ? RubberBandStretcher::OptionEngineFaster
                                               : RubberBandStretcher::OptionEngineFiner;
            t->stretcher = std::make_unique<RubberBandStretcher>(static_cast<size_t>(vRate), 2,
                                                                 units::stretcherLogger(), options, 1.0, 1.0);
            t->stretcher->setMaxProcessSize(static_cast<size_t>(maxFrames_));
            for (int c = 0; c < 2; ++c) {
                t->stretchIn[c].assign(static_cast<size_t>(maxFrames_), 0.0f);
                t->stretchTmp[c].assign(static_cast<size_t>(maxFrames_), 0.0f);
            }
            // The stretcher sizes its windows for each ratio the first time it
            // meets it: meet every ratio of the track now, not on the render
            // thread (quietly: it warns of each window it makes).
            RubberBandStretcher& st = *t->stretcher;
            st.setDebugLevel(-1);
            const float* in[2] = {t->stretchIn[0].data(), t->stretchIn[1].data()};
            std::set<std::pair<double, double>> met;
            for (const auto& s : t->segments) {
                if (s.copy || !met.insert({s.timeRatio, s.pitchScale}).second) continue;
                st.reset();
                st.setTimeRatio(s.timeRatio);
                st.setPitchScale(s.pitchScale);
                for (int i = 0; i < 4; ++i) {
                    size_t need = std::min<size_t>(st.getSamplesRequired(), static_cast<size_t>(maxFrames_));
                    st.process(in, need > 0 ? need : 256, false);
                    float* tmp[2] = {t->stretchTmp[0].data(), t->stretchTmp[1].data()};
                    while (st.available() > 0)
                        st.retrieve(tmp, std::min<size_t>(static_cast<size_t>(st.available()),
                                                         static_cast<size_t>(maxFrames_)));
                }
            }
            st.reset();
            st.setDebugLevel(0);
        }
        if (vRate != stageRate) {
            if (!makeResampler(&t->swr, vRate, stageRate)) {
                if (error) *error = QStringLiteral("The resampler could not be set up.");
                return false;
            }
            const size_t vcap = static_cast<size_t>(
                std::ceil(static_cast<double>(t->stageMax) * vRate / stageRate) + kResamplePreroll);
            for (auto& b : t->vbuf) b.assign(vcap, 0.0f);
        }
        if (stageRate != outRate) {
            if (!makeResampler(&t->post, stageRate, outRate)) {
                if (error) *error = QStringLiteral("The resampler could not be set up.");
                return false;
            }
            for (auto& b : t->postBuf) b.assign(static_cast<size_t>(maxFrames_), 0.0f);
        }
        for (int c = 0; c < 2; ++c) {
            if (t->tap) {
                t->src[c].assign(static_cast<size_t>(t->stageMax), 0.0f);
                t->out[c].assign(static_cast<size_t>(t->stageMax), 0.0f);
            }
            t->stageOut[c].assign(static_cast<size_t>(t->stageMax), 0.0f);
            if (!t->post && t->stageMax < maxFrames_) t->block[c].assign(static_cast<size_t>(maxFrames_), 0.0f);
        }
        if (params)
            for (const auto& step : params->volumeSteps())
                t->volumes.emplace_back(mediatime::framesAt(step.time, stageRate), step.volume);
        tracks.push_back(std::move(t));
    }
    // The streams' buffers lie in one block: filled as the render goes,
    // their pages come in together rather than one fault at a time.
    if (!streamedTracks.empty()) {
        constexpr size_t bytes = DecodedSourceStream::DefaultBufferBytes;
        streamBlock_ = std::make_unique<MemoryBlock>(2 * streamedTracks.size() * bytes);
        for (size_t i = 0; i < streamedTracks.size(); ++i)
            for (size_t c = 0; c < 2; ++c)
                streamedTracks[i]->streams[c] =
                    std::make_unique<DecodedSourceStream>(streamBlock_->data + (2 * i + c) * bytes, bytes);
    }
    tracks_ = std::move(tracks);
    length_ = mediatime::framesAt(composition_->duration(), outRate);
    const int workers = std::min(workerCount_, static_cast<int>(tracks_.size()) - 1);
    if (workers > 0) workers_ = std::make_unique<Workers>(*this, workers);
    prepared_ = true;
    setPosition(position_);
    return true;
}

void Renderer::setPosition(int64_t frame) {
    position_ = std::max<int64_t>(0, frame);
    if (!prepared_) return;
    for (auto& t : tracks_) {
        t->realign = false;
        t->fadeIn = 0;
        positionTrack(*t, position_);
    }
}

void Renderer::realignTracks() {
    if (!prepared_) return;
    for (auto& t : tracks_) {
        if (!t->realign) continue;
        t->realign = false;
        positionTrack(*t, position_);
        t->fadeIn = kRealignFade;
    }
}

void Renderer::positionTrack(Track& t, int64_t frame) {
    // The tap delays the track by what it has in use from here on.
    if (t.tap) t.latency = t.tap->takeUpLatency();
    t.startOfStream = true;
    t.segHint = 0;
    t.stretchSeg = -1;
    const int64_t outRate = std::llround(rate_);
    const int64_t vRate = std::llround(t.rate);
    // A resampler starts over ahead of the position and runs through a
    // lead-in as long as the longest block it will see, here and not on the
    // render thread: its buffers take their full size now, and its filter
    // starts from real signal. What it makes of the lead-in is dropped.
    const int64_t stageFrame = scaleFrames(frame, outRate, t.stageRate);
    const int64_t postLead = t.post ? t.stageMax : 0;
    const int64_t stageStart = stageFrame - postLead;
    t.stagePos = stageStart;
    if (!t.swr) {
        t.vPos = stageStart;
    } else {
        const int64_t lead = static_cast<int64_t>(t.vbuf[0].size());
        // The lead-in is topped up to a length that makes whole frames at
        // the stage rate: what it made is dropped, and a fraction of a frame
        // left over would shift the whole track by that much.
        const int64_t step = vRate / std::gcd(vRate, t.stageRate);
        const int64_t extra = (step - lead % step) % step;
        swr_init(t.swr);
        t.vPos = scaleFrames(stageStart, t.stageRate, vRate) - lead - extra;
        // What the lead-in makes is dropped: the stage's output holds it meanwhile.
        uint8_t* out[2] = {reinterpret_cast<uint8_t*>(t.stageOut[0].data()),
                           reinterpret_cast<uint8_t*>(t.stageOut[1].data())};
        int64_t made = 0;
        for (int64_t left = lead + extra; left > 0;) {
            const int64_t part = std::min(lead, left);
            left -= part;
            produceVirtual(t, t.vbuf[0].data(), t.vbuf[1].data(), part);
            const uint8_t* in[2] = {reinterpret_cast<const uint8_t*>(t.vbuf[0].data()),
                                    reinterpret_cast<const uint8_t*>(t.vbuf[1].data())};
            made += std::max(0, swr_convert(t.swr, out, static_cast<int>(t.stageOut[0].size()), in, static_cast<int>(part)));
        }
        t.dropOut = std::max<int64_t>(0, scaleFrames(lead + extra, vRate, t.stageRate) - made);
    }
    // The tap delays the track: feed it its latency ahead and drop what it
    // gives out meanwhile.
    for (int64_t done = 0; done < t.latency;) {
        const int n = static_cast<int>(std::min<int64_t>(t.stageMax, t.latency - done));
        processStage(t, n);
        done += n;
    }
    if (t.post) {
        swr_init(t.post);
        int64_t made = 0;
        for (int64_t done = 0; done < postLead;) {
            const int n = static_cast<int>(std::min<int64_t>(t.stageMax, postLead - done));
            processStage(t, n);
            const uint8_t* in[2] = {reinterpret_cast<const uint8_t*>(t.stageOut[0].data()),
                                    reinterpret_cast<const uint8_t*>(t.stageOut[1].data())};
            uint8_t* out[2] = {reinterpret_cast<uint8_t*>(t.postBuf[0].data()),
                               reinterpret_cast<uint8_t*>(t.postBuf[1].data())};
            made += std::max(0, swr_convert(t.post, out, static_cast<int>(t.postBuf[0].size()), in, n));
            done += n;
        }
        t.postDrop = std::max<int64_t>(0, scaleFrames(postLead, t.stageRate, outRate) - made);
        if (t.latency == 0) t.startOfStream = true;
    }
}

void Renderer::startStretch(Track& t, size_t segIndex) {
    const Track::Segment& s = t.segments[segIndex];
    RubberBandStretcher& st = *t.stretcher;
    st.reset();
    st.setTimeRatio(s.timeRatio);
    st.setPitchScale(s.pitchScale);
    const int64_t offset = t.vPos - s.start;
    t.feedPos = s.sourceStart + static_cast<int64_t>(std::llround(
                                    static_cast<double>(offset) * static_cast<double>(s.sourceFrames) /
                                    static_cast<double>(s.end - s.start)));
    // Lead the stretcher in with silence and drop its start delay, so that the
    // first frame out is the first frame of the segment.
    int64_t pad = static_cast<int64_t>(st.getPreferredStartPad());
    std::fill(t.stretchIn[0].begin(), t.stretchIn[0].end(), 0.0f);
    std::fill(t.stretchIn[1].begin(), t.stretchIn[1].end(), 0.0f);
    while (pad > 0) {
        const int64_t n = std::min<int64_t>(pad, maxFrames_);
        const float* in[2] = {t.stretchIn[0].data(), t.stretchIn[1].data()};
        st.process(in, static_cast<size_t>(n), false);
        pad -= n;
    }
    t.discard = static_cast<int64_t>(st.getStartDelay());
    t.stretchSeg = static_cast<long>(segIndex);
    t.stretchNext = t.vPos;
}

void Renderer::pullStretched(Track& t, size_t segIndex, float* l, float* r, int64_t n) {
    if (t.stretchSeg != static_cast<long>(segIndex) || t.stretchNext != t.vPos) startStretch(t, segIndex);
    const Track::Segment& s = t.segments[segIndex];
    RubberBandStretcher& st = *t.stretcher;
    const DecodedSource& src = *s.source;
    const int64_t sourceEnd = s.sourceStart + s.sourceFrames;
    int64_t done = 0;
    int idleFeeds = 0;
    while (done < n) {
        int avail = st.available();
        if (avail > 0) {
            idleFeeds = 0;
            if (t.discard > 0) {
                const int64_t k = std::min<int64_t>({t.discard, avail, maxFrames_});
                float* tmp[2] = {t.stretchTmp[0].data(), t.stretchTmp[1].data()};
                st.retrieve(tmp, static_cast<size_t>(k));
                t.discard -= k;
                continue;
            }
            const int64_t k = std::min<int64_t>(avail, n - done);
            float* o[2] = {l + done, r + done};
            st.retrieve(o, static_cast<size_t>(k));
            done += k;
            continue;
        }
        if (avail < 0 || ++idleFeeds > 4096) break;  // the stretcher has nothing more
        int64_t need = static_cast<int64_t>(st.getSamplesRequired());
        if (need <= 0) need = 256;
        need = std::min<int64_t>(need, maxFrames_);
        // The part of [feedPos, feedPos + need) inside the segment and the
        // source; silence around it.
        const int c1 = src.channelCount() > 1 ? 1 : 0;
        const int64_t first = std::max<int64_t>(s.sourceStart, 0);
        const int64_t last = std::min(sourceEnd, src.frameCount());
        const int64_t a = src.channelCount() > 0 ? std::clamp<int64_t>(first - t.feedPos, 0, need) : need;
        const int64_t b = src.channelCount() > 0 ? std::clamp<int64_t>(last - t.feedPos, a, need) : need;
        for (int c = 0; c < 2; ++c) {
            float* in = t.stretchIn[c].data();
            std::fill(in, in + a, 0.0f);
            if (b > a) readSource(t, c, src, c == 0 ? 0 : c1, t.feedPos + a, b - a, in + a);
            std::fill(in + b, in + need, 0.0f);
        }
        const float* in[2] = {t.stretchIn[0].data(), t.stretchIn[1].data()};
        st.process(in, static_cast<size_t>(need), false);
        t.feedPos += need;
    }
    if (done < n) {
        std::fill(l + done, l + n, 0.0f);
        std::fill(r + done, r + n, 0.0f);
    }
    t.stretchNext = t.vPos + n;
}

void Renderer::readSource(Track& t, int lane, const DecodedSource& source, int channel, int64_t start,
                          int64_t frames, float* out) {
    if (t.streams[lane])
        t.streams[lane]->read(source, channel, start, frames, out);
    else
        source.readChannel(channel, start, frames, out);
}

void Renderer::produceVirtual(Track& t, float* l, float* r, int64_t n) {
    int64_t done = 0;
    while (done < n) {
        // The position only moves forward between two setPosition calls.
        while (t.segHint < t.segments.size() && t.segments[t.segHint].end <= t.vPos) ++t.segHint;
        const Track::Segment* s = t.segHint < t.segments.size() ? &t.segments[t.segHint] : nullptr;
        if (!s || t.vPos < s->start) {
            const int64_t k = s ? std::min(n - done, s->start - t.vPos) : n - done;
            std::fill(l + done, l + done + k, 0.0f);
            std::fill(r + done, r + done + k, 0.0f);
            done += k;
            t.vPos += k;
            continue;
        }
        const int64_t k = std::min(n - done, s->end - t.vPos);
        if (s->copy) {
            const DecodedSource& src = *s->source;
            const bool any = src.channelCount() > 0;
            const int c1 = src.channelCount() > 1 ? 1 : 0;
            const int64_t from = s->sourceStart + (t.vPos - s->start);
            const int64_t limit = std::min(src.frameCount(), s->sourceStart + s->sourceFrames);
            // The part of [from, from + k) that lies in the source; silence around it.
            const int64_t a = any ? std::clamp<int64_t>(-from, 0, k) : k;
            const int64_t b = any ? std::clamp<int64_t>(limit - from, a, k) : k;
            std::fill(l + done, l + done + a, 0.0f);
            std::fill(r + done, r + done + a, 0.0f);
            if (b > a) {
                readSource(t, 0, src, 0, from + a, b - a, l + done + a);
                readSource(t, 1, src, c1, from + a, b - a, r + done + a);
            }
            std::fill(l + done + b, l + done + k, 0.0f);
            std::fill(r + done + b, r + done + k, 0.0f);
        } else {
            pullStretched(t, t.segHint, l + done, r + done, k);
        }
        done += k;
        t.vPos += k;
    }
}

void Renderer::produceTrack(Track& t, float* l, float* r, int n) {
    if (!t.swr) {
        produceVirtual(t, l, r, n);
        return;
    }
    while (t.dropOut > 0) {
        const int64_t k = std::min<int64_t>(t.dropOut, n);
        produceTrackResampled(t, l, r, static_cast<int>(k));
        t.dropOut -= k;
    }
    produceTrackResampled(t, l, r, n);
}

void Renderer::produceTrackResampled(Track& t, float* l, float* r, int n) {
    const int64_t outRate = t.stageRate;
    const int64_t vRate = std::llround(t.rate);
    int got = 0;
    int guard = 0;
    while (got < n && guard++ < 64) {
        uint8_t* o[2] = {reinterpret_cast<uint8_t*>(l + got), reinterpret_cast<uint8_t*>(r + got)};
        const int64_t want = n - got;
        int64_t m = static_cast<int64_t>(std::ceil(static_cast<double>(want) * vRate / outRate)) + 1;
        m = std::min<int64_t>(m, static_cast<int64_t>(t.vbuf[0].size()));
        produceVirtual(t, t.vbuf[0].data(), t.vbuf[1].data(), m);
        const uint8_t* in[2] = {reinterpret_cast<const uint8_t*>(t.vbuf[0].data()),
                                reinterpret_cast<const uint8_t*>(t.vbuf[1].data())};
        const int made = swr_convert(t.swr, o, static_cast<int>(want), in, static_cast<int>(m));
        if (made < 0) break;
        got += made;
    }
    if (got < n) {
        std::fill(l + got, l + n, 0.0f);
        std::fill(r + got, r + n, 0.0f);
    }
}

void Renderer::processStage(Track& t, int n) {
    // Without a tap the track is made where its volume goes.
    float* src[2] = {t.tap ? t.src[0].data() : t.stageOut[0].data(),
                     t.tap ? t.src[1].data() : t.stageOut[1].data()};
    produceTrack(t, src[0], src[1], n);
    uint32_t flags = 0;
    if (t.startOfStream) flags |= ProcessingTapFlagStartOfStream;
    if (t.stagePos < t.stageEnd && t.stagePos + n >= t.stageEnd) flags |= ProcessingTapFlagEndOfStream;
    t.startOfStream = false;

    const float* result[2] = {src[0], src[1]};
    if (t.tap) {
        std::memcpy(t.out[0].data(), src[0], sizeof(float) * n);
        std::memcpy(t.out[1].data(), src[1], sizeof(float) * n);
        units::BufferList list;
        list.numberBuffers = 2;
        for (int c = 0; c < 2; ++c) {
            list.buffers[c].numberChannels = 1;
            list.buffers[c].dataByteSize = static_cast<uint32_t>(sizeof(float) * n);
            list.buffers[c].data = t.out[c].data();
        }
        const int32_t scale = static_cast<int32_t>(t.stageRate);
        ProcessingTap::SliceSource source;
        source.tap = t.tap.get();
        source.channels = src;
        source.channelCount = 2;
        source.frames = n;
        source.range = MediaTimeRange(MediaTime(t.stagePos, scale), MediaTime(n, scale));
        source.flags = flags;
        int64_t framesOut = n;
        uint32_t flagsOut = 0;
        t.tap->process(source, n, flags, &list, &framesOut, &flagsOut);
        for (int c = 0; c < 2; ++c)
            result[c] = list.buffers[c].data ? static_cast<const float*>(list.buffers[c].data)
                                             : t.out[c].data();
    }
    // Volume: the steps in force across the slice, at the time the track's
    // output is heard (its latency behind its source).
    float* out[2] = {t.stageOut[0].data(), t.stageOut[1].data()};
    const int64_t heard = t.stagePos - t.latency;
    int64_t i = 0;
    if (t.volumes.empty()) {  // at full volume throughout: the samples as they are
        for (int c = 0; c < 2; ++c)
            if (result[c] != out[c]) std::memcpy(out[c], result[c], sizeof(float) * size_t(n));
        i = n;
    }
    while (i < n) {
        const int64_t frame = heard + i;
        float v = 1.0f;
        int64_t next = n;
        for (const auto& [at, vol] : t.volumes) {
            if (at <= frame) {
                v = vol;
            } else {
                next = std::min<int64_t>(n, at - heard);
                break;
            }
        }
        for (int64_t k = i; k < next; ++k) {
            out[0][k] = result[0][k] * v;
            out[1][k] = result[1][k] * v;
        }
        i = next;
    }
    t.stagePos += n;
}

void Renderer::pullPost(Track& t, float* l, float* r, int n) {
    int got = 0;
    int guard = 0;
    while (got < n && guard++ < 64) {
        uint8_t* o[2] = {reinterpret_cast<uint8_t*>(l + got), reinterpret_cast<uint8_t*>(r + got)};
        const int64_t want = n - got;
        const int64_t m = std::min<int64_t>(
            t.stageMax, static_cast<int64_t>(std::ceil(static_cast<double>(want) * t.stageRate / rate_)) + 1);
        processStage(t, static_cast<int>(m));
        const uint8_t* in[2] = {reinterpret_cast<const uint8_t*>(t.stageOut[0].data()),
                                reinterpret_cast<const uint8_t*>(t.stageOut[1].data())};
        const int made = swr_convert(t.post, o, static_cast<int>(want), in, static_cast<int>(m));
        if (made < 0) break;
        got += made;
    }
    if (got < n) {
        std::fill(l + got, l + n, 0.0f);
        std::fill(r + got, r + n, 0.0f);
    }
}

void Renderer::renderTrack(Track& t, int frames) {
    // The tap wants another latency (what its track has in use changed, or
    // another renderer of the tap took another one up): this block is the
    // last at the old alignment and fades out; the next render re-aligns
    // the track and fades it in.
    const bool realign = t.tap && !t.realign &&
                         (t.tap->wantedLatency() != t.latency || t.tap->latency() != t.latency);
    produceBlock(t, frames);
    if (!realign && t.fadeIn == 0) return;
    float* l = const_cast<float*>(t.made[0]);
    float* r = const_cast<float*>(t.made[1]);
    for (int i = 0; i < frames && t.fadeIn > 0; ++i, --t.fadeIn) {
        const float g = float(kRealignFade - t.fadeIn + 1) / float(kRealignFade);
        l[i] *= g;
        r[i] *= g;
    }
    if (!realign) return;
    const int fade = static_cast<int>(std::min<int64_t>(frames, kRealignFade));
    for (int i = frames - fade; i < frames; ++i) {
        const float g = float(frames - 1 - i) / float(fade);
        l[i] *= g;
        r[i] *= g;
    }
    t.realign = true;
}

void Renderer::produceBlock(Track& t, int frames) {
    if (t.post) {
        float* l = t.postBuf[0].data();
        float* r = t.postBuf[1].data();
        while (t.postDrop > 0) {
            const int k = static_cast<int>(std::min<int64_t>(t.postDrop, frames));
            pullPost(t, l, r, k);
            t.postDrop -= k;
        }
        pullPost(t, l, r, frames);
        t.made[0] = l;
        t.made[1] = r;
        return;
    }
    if (frames <= t.stageMax) {
        processStage(t, frames);
        t.made[0] = t.stageOut[0].data();
        t.made[1] = t.stageOut[1].data();
        return;
    }
    // Slices no longer than the tap was prepared for.
    for (int done = 0; done < frames;) {
        const int k = static_cast<int>(std::min<int64_t>(t.stageMax, frames - done));
        processStage(t, k);
        std::memcpy(t.block[0].data() + done, t.stageOut[0].data(), sizeof(float) * k);
        std::memcpy(t.block[1].data() + done, t.stageOut[1].data(), sizeof(float) * k);
        done += k;
    }
    t.made[0] = t.block[0].data();
    t.made[1] = t.block[1].data();
}

void Renderer::render(float* left, float* right, int frames) {
    frames = std::clamp(frames, 0, maxFrames_);
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    if (!prepared_ || frames == 0) {
        position_ += frames;
        return;
    }
    realignTracks();
    if (workers_) workers_->run(frames);
    // The sum in track order, whichever thread made each block.
    for (auto& tp : tracks_) {
        Track& t = *tp;
        if (!workers_) renderTrack(t, frames);
        addFinite(left, t.made[0], frames);
        addFinite(right, t.made[1], frames);
    }
    position_ += frames;
}
