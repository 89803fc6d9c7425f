#include "platform/media/Player.h"

#include "platform/core/MainQueue.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/Realtime.h"
#include "platform/core/WakeSignal.h"
#include "platform/media/MediaWorkers.h"
#include "platform/media/Renderer.h"

#include <QPointer>


#include <algorithm>
#include <chrono>
#include <cmath>
#ifdef __GLIBC__
#include <malloc.h>
#endif

// ---------------------------------------------------------------------------

PlayerItem::PlayerItem(std::shared_ptr<const Composition> asset)
    : asset_(std::move(asset)), duration_(asset_ ? asset_->duration() : MediaTime::zero()) {}

PlayerItem::~PlayerItem() { cancelled_->store(true); }

std::shared_ptr<PlayerItem> PlayerItem::create(std::shared_ptr<const Composition> asset) {
    std::shared_ptr<PlayerItem> item(new PlayerItem(std::move(asset)));
    std::weak_ptr<PlayerItem> weak = item;
    auto composition = item->asset_;
    auto cancelled = item->cancelled_;
    mediaworkers::start(mediaworkers::Work::Load, [weak, composition, cancelled] {
        QString error;
        bool ok = true;
        if (composition)
            ok = Renderer::loadSources(*composition, &error, [&] { return cancelled->load(); });
        else
            error = QStringLiteral("The item has nothing to play.");
        ok = ok && composition;
        MainQueue::async([weak, ok, error] {
            if (auto it = weak.lock()) it->finishLoading(ok, error);
        });
    });
    return item;
}

void PlayerItem::finishLoading(bool ok, const QString& error) {
    status_ = ok ? Status::ReadyToPlay : Status::Failed;
    error_ = error;
    emit statusChanged(status_);
}

// ---------------------------------------------------------------------------

void PlaybackClock::mark(int64_t first, double step, uint64_t hostNs, int64_t outputFrame) {
    written_.marks[written_.count % kMarks] = {first, step, hostNs, outputFrame};
    ++written_.count;
    marks_.store(written_);
}

PlaybackClock::Mark PlaybackClock::markAt(uint64_t hostNs) const {
    const Marks all = marks_.load();
    const size_t n = std::min<size_t>(all.count, kMarks);
    Mark best;
    bool found = false;
    for (size_t i = 0; i < n; ++i) {
        const Mark& m = all.marks[i];
        // The latest that began at or before the time; else the earliest.
        const bool before = m.ns <= hostNs;
        if (!found || (before && (best.ns > hostNs || m.ns > best.ns)) || (!before && best.ns > hostNs && m.ns < best.ns)) {
            best = m;
            found = true;
        }
    }
    return best;
}

int64_t PlaybackClock::frameAt(uint64_t hostNs) const {
    const Mark m = markAt(hostNs);
    if (m.step == 0) return m.first;
    const double since = (double(int64_t(hostNs - m.ns)) * 1e-9) * frameRate();
    return m.first + int64_t(std::llround(since * m.step));
}

double PlaybackClock::outputSecondsAt(uint64_t hostNs) const {
    const Mark m = markAt(hostNs);
    return double(m.outputFrame) / frameRate() + double(int64_t(hostNs - m.ns)) * 1e-9;
}

uint64_t PlaybackClock::hostNow() {
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

struct Player::Shared {
    static constexpr uint64_t Capacity = 16384;  // frames; a power of two
    static constexpr uint64_t Ahead = 3072;      // frames rendered ahead of the output
    static constexpr int Block = 256;
    // A full ring is topped up once this many frames have played, so that
    // the render thread wakes a few dozen times a second, not every block.
    static constexpr uint64_t Refill = 1024;
    // With live input: two and a half blocks ahead, topped up every block.
    // A live note goes into the next block rendered and is heard after what
    // the ring holds when it comes: 384 to 895 frames, 8 to 19 ms at 48 kHz.
    static constexpr uint64_t LiveAhead = 640;
    static constexpr uint64_t LiveRefill = 256;
    std::atomic<bool> live{false};
    std::shared_ptr<PlaybackClock> clock;
    int64_t framesTaken = 0;  // by the output (its reader's own)

    std::vector<float> samples = std::vector<float>(Capacity * 2);
    std::vector<int64_t> positions = std::vector<int64_t>(Capacity);  // position after each frame
    std::atomic<uint64_t> writeIndex{0};
    std::atomic<uint64_t> readIndex{0};

    // A jump, published by whichever side writes (the render thread, or the
    // main thread while no render thread runs): the reader drops what came
    // before `flushIndex` and plays on from `flushPosition`.
    std::atomic<uint64_t> flushGen{0};
    std::atomic<uint64_t> flushIndex{0};
    std::atomic<int64_t> flushPosition{0};
    std::atomic<uint64_t> consumerFlushGen{0};

    std::atomic<uint64_t> requestGen{0};
    std::atomic<int64_t> requestFrame{0};
    std::atomic<float> rate{0.0f};
    std::atomic<bool> running{false};
    std::atomic<int64_t> playedPosition{0};
    double frameRate = 48000;  // the output's; set before the render thread starts

    // The main thread wakes the render thread after it changes the rate, asks
    // for a position or stops it; the render thread sleeps on it while there
    // is nothing to render (paused, or at an end) and while the ring is full.
    WakeSignal wake;

    void flush(uint64_t gen, int64_t position) {
        flushIndex.store(writeIndex.load(std::memory_order_relaxed), std::memory_order_relaxed);
        flushPosition.store(position, std::memory_order_relaxed);
        flushGen.store(gen, std::memory_order_release);
    }

    // The reader's side of a jump: drops what was written before it. Called
    // by the output's callback, or by the main thread while the output sleeps.
    void takeUpFlush() {
        const uint64_t g = flushGen.load(std::memory_order_acquire);
        if (g == consumerFlushGen.load(std::memory_order_relaxed)) return;
        uint64_t index;
        int64_t position;
        uint64_t check;
        do {
            check = flushGen.load(std::memory_order_acquire);
            index = flushIndex.load(std::memory_order_relaxed);
            position = flushPosition.load(std::memory_order_relaxed);
        } while (check != flushGen.load(std::memory_order_acquire));
        readIndex.store(index, std::memory_order_release);
        playedPosition.store(position, std::memory_order_relaxed);
        if (clock) clock->mark(position, 0, PlaybackClock::hostNow(), framesTaken);
        consumerFlushGen.store(check, std::memory_order_release);
    }
};

Player::Player(std::unique_ptr<AudioOutput> output, QObject* parent)
    : QObject(parent), output_(std::move(output)), shared_(std::make_unique<Shared>()) {
    if (!output_) output_ = AudioOutput::createDefault();
    shared_->clock = clock_;
    clock_->setFrameRate(output_->sampleRate());
    QString error;
    if (!output_->start([this](float* out, int frames) { outputCallback(out, frames); }, &error)) {
        // The device would not start: keep time with a null output instead.
        output_ = std::make_unique<NullAudioOutput>(output_->sampleRate());
        output_->start([this](float* out, int frames) { outputCallback(out, frames); });
    }
    pollTimer_.setInterval(10);
    connect(&pollTimer_, &QTimer::timeout, this, &Player::poll);
    sleepTimer_.setSingleShot(true);
    sleepTimer_.setInterval(kOutputSleepDelayMs);
    connect(&sleepTimer_, &QTimer::timeout, this, &Player::sleepOutput);
    updateTimers();
}

void Player::updateTimers() {
    updateOutputSleep();
    // A paused player with no seek under way has nothing to watch: its timers
    // sleep until the rate changes or a seek starts. While the output sleeps,
    // the poll also takes up the jumps it would have taken.
    const Shared& s = *shared_;
    const bool jumpPending = outputAsleep() && s.consumerFlushGen.load() != s.requestGen.load();
    const bool watching = (item_ && (rate_ != 0 || pendingSeekGen_ != 0 || pendingSeekCompletion_)) || jumpPending;
    if (watching != pollTimer_.isActive()) {
        if (watching)
            pollTimer_.start();
        else
            pollTimer_.stop();
    }
    for (auto& [token, obs] : observers_) {
        if ((rate_ != 0) == obs.timer->isActive()) continue;
        if (rate_ != 0)
            obs.timer->start();
        else
            obs.timer->stop();
    }
}

void Player::setLiveInput(bool on) {
    if (on == liveInput_) return;
    liveInput_ = on;
    shared_->live.store(on, std::memory_order_relaxed);
    shared_->wake.wake();
    updateTimers();
}

void Player::updateOutputSleep() {
    const bool playing = item_ && rate_ != 0;
    if (playing || liveInput_) {
        sleepTimer_.stop();
        // A sleep under way wakes the output again once it has ended.
        if (outputAsleep()) wakeOutput();
    } else if (outputState_ == OutputState::Awake && !sleepTimer_.isActive()) {
        sleepTimer_.start();
    }
}

void Player::sleepOutput() {
    if (outputState_ != OutputState::Awake || (item_ && rate_ != 0) || liveInput_) return;
    outputState_ = OutputState::Sleeping;
    startOutputCall(true);
}

void Player::wakeOutput() {
    if (!outputAsleep()) return;
    // From here on this thread takes up no jump: the output's first callback
    // after the wake takes up what comes meanwhile.
    outputState_ = OutputState::Waking;
    updateTimers();
    startOutputCall(false);
}

void Player::startOutputCall(bool toSleep) {
    if (outputCall_.joinable()) outputCall_.join();
    QPointer<Player> self(this);
    AudioOutput* output = output_.get();
    outputCall_ = std::thread([self, output, toSleep] {
        QString error;
        const bool ok = toSleep ? output->suspend() : output->resume(&error);
        // Dropped when the player has gone (its destructor waits for this
        // thread first).
        MainQueue::async([self, toSleep, ok, error] {
            if (self) self->outputCallEnded(toSleep, ok, error);
        });
    });
}

void Player::outputCallEnded(bool toSleep, bool ok, const QString& error) {
    if (outputCall_.joinable()) outputCall_.join();
    if (toSleep) {
        outputState_ = ok ? OutputState::Asleep : OutputState::Awake;
        // From here until the output wakes, this thread is the ring's reader.
        if (ok) shared_->takeUpFlush();
        // A play that came while it fell asleep wakes it at once.
        updateTimers();
        return;
    }
    outputState_ = OutputState::Awake;
    if (!ok) {
        // The device went away while it slept (say, its server stopped): keep
        // time with a null output, as when it cannot be started.
        qWarning("The audio output could not be started again (%s): playing on without it.", qPrintable(error));
        output_ = std::make_unique<NullAudioOutput>(output_->sampleRate());
        output_->start([this](float* out, int frames) { outputCallback(out, frames); });
    }
    // A pause that came while it woke lets it sleep again later.
    updateTimers();
}

Player::~Player() {
    stopRendering();
    // A renderer still being made is freed with the event that would have
    // brought it (on this thread, as the object goes).
    if (prepareThread_.joinable()) prepareThread_.join();
    if (outputCall_.joinable()) outputCall_.join();
    output_->stop();
    if (pendingSeekCompletion_) pendingSeekCompletion_(false);
    if (item_) disconnect(item_.get(), nullptr, this, nullptr);
}

void Player::outputCallback(float* out, int frames) {
    Shared& s = *shared_;
    s.takeUpFlush();
    const int64_t first = s.playedPosition.load(std::memory_order_relaxed);
    uint64_t read = s.readIndex.load(std::memory_order_relaxed);
    const uint64_t write = s.writeIndex.load(std::memory_order_acquire);
    const int n = static_cast<int>(std::min<uint64_t>(write - read, static_cast<uint64_t>(frames)));
    const float volume = volume_.load(std::memory_order_relaxed);
    for (int i = 0; i < n; ++i) {
        const uint64_t slot = (read + static_cast<uint64_t>(i)) & (Shared::Capacity - 1);
        out[2 * i] = s.samples[2 * slot] * volume;
        out[2 * i + 1] = s.samples[2 * slot + 1] * volume;
    }
    if (n > 0) {
        const uint64_t last = (read + static_cast<uint64_t>(n) - 1) & (Shared::Capacity - 1);
        s.playedPosition.store(s.positions[last], std::memory_order_relaxed);
        s.readIndex.store(read + static_cast<uint64_t>(n), std::memory_order_release);
    }
    // This block is heard from now on; a block the ring could not fill
    // leaves the player standing where it ran dry.
    const int64_t after = s.playedPosition.load(std::memory_order_relaxed);
    s.clock->mark(n == frames ? first : after, n == frames && n > 0 ? double(after - first) / n : 0.0,
                  PlaybackClock::hostNow(), s.framesTaken);
    s.framesTaken += frames;
    std::fill(out + 2 * n, out + 2 * frames, 0.0f);
}

void Player::renderLoop() {
    Shared& s = *shared_;
    Renderer& renderer = *renderer_;
    const int block = Shared::Block;
    const int maxStep = 4;
    std::vector<float> l(static_cast<size_t>(block * maxStep)), r(l.size());
    std::vector<float> outL(block), outR(block);
    std::vector<int64_t> pos(block);
    const int64_t length = renderer.length();
    uint64_t handled = 0;
    int64_t position = 0;
    // Backwards, the renderer jumps, and every jump feeds each track its
    // latency ahead: so it renders long stretches, which the blocks then
    // read from the end. [chunkStart, chunkEnd) is the stretch held.
    constexpr int64_t kChunk = 16384;
    std::vector<float> chunkL(static_cast<size_t>(kChunk)), chunkR(chunkL.size());
    int64_t chunkStart = 0, chunkEnd = 0;
    bool backwards = false;

    auto renderRange = [&](int64_t count) {
        for (int64_t done = 0; done < count;) {
            const int n = static_cast<int>(std::min<int64_t>(count - done, renderer.maxFrames()));
            renderer.render(l.data() + done, r.data() + done, n);
            done += n;
        }
    };

    while (s.running.load(std::memory_order_acquire)) {
        const uint32_t seen = s.wake.value();
        const uint64_t g = s.requestGen.load(std::memory_order_acquire);
        if (g != handled) {
            handled = g;
            position = std::clamp<int64_t>(s.requestFrame.load(std::memory_order_relaxed), 0, length);
            renderer.setPosition(position);  // a jump: the resamplers start over
            s.flush(g, position);
            chunkStart = chunkEnd = 0;
            backwards = false;
        }
        const uint64_t write = s.writeIndex.load(std::memory_order_relaxed);
        const uint64_t read = s.readIndex.load(std::memory_order_acquire);
        const bool flushPending =
            s.consumerFlushGen.load(std::memory_order_acquire) != s.flushGen.load(std::memory_order_relaxed);
        const uint64_t buffered = flushPending ? write - s.flushIndex.load() : write - read;
        const float rate = s.rate.load(std::memory_order_relaxed);

        // Paused, or played to an end: the output plays silence on its own
        // when the ring runs dry. Sleep until the main thread changes something.
        if (rate == 0 || (rate > 0 && position >= length) || (rate < 0 && position <= 0)) {
            s.wake.waitFor(seen, std::chrono::nanoseconds(-1));
            continue;
        }
        if (write - read + block > Shared::Capacity) {
            // The output has not yet taken up a jump: look again shortly.
            s.wake.waitFor(seen, std::chrono::milliseconds(1));
            continue;
        }
        const bool live = s.live.load(std::memory_order_relaxed);
        const uint64_t ahead = live ? Shared::LiveAhead : Shared::Ahead;
        const uint64_t refill = live ? Shared::LiveRefill : Shared::Refill;
        if (buffered >= ahead) {
            // Sleep until a refill's worth has played (or the main thread wakes us).
            const double frames = double(buffered - ahead + refill);
            s.wake.waitFor(seen, std::chrono::nanoseconds(int64_t(frames / s.frameRate * 1e9)));
            continue;
        }

        const int step = std::clamp(static_cast<int>(std::lround(std::fabs(rate))), 1, maxStep);
        if (rate < 0 && position > 0) {
            const int64_t count = std::min<int64_t>(static_cast<int64_t>(block) * step, position);
            const int64_t start = position - count;
            if (start < chunkStart || position > chunkEnd) {
                chunkEnd = position;
                chunkStart = std::max<int64_t>(0, position - kChunk);
                renderer.setPosition(chunkStart);
                realtime::Scope scope;
                for (int64_t done = 0; done < chunkEnd - chunkStart;) {
                    const int n = static_cast<int>(
                        std::min<int64_t>(chunkEnd - chunkStart - done, renderer.maxFrames()));
                    renderer.render(chunkL.data() + done, chunkR.data() + done, n);
                    done += n;
                }
            }
            backwards = true;
            std::copy_n(chunkL.data() + (start - chunkStart), count, l.data());
            std::copy_n(chunkR.data() + (start - chunkStart), count, r.data());
            for (int i = 0; i < block; ++i) {
                float a = 0, b = 0;
                int taken = 0;
                for (int k = 0; k < step; ++k) {
                    const int64_t f = count - 1 - static_cast<int64_t>(i) * step - k;
                    if (f < 0) break;
                    a += l[static_cast<size_t>(f)];
                    b += r[static_cast<size_t>(f)];
                    ++taken;
                }
                outL[i] = taken ? a / taken : 0.0f;
                outR[i] = taken ? b / taken : 0.0f;
                pos[i] = std::max<int64_t>(0, position - static_cast<int64_t>(i + 1) * step);
            }
            position = start;
        } else {
            if (backwards) {
                // The renderer stands where the last stretch ended: start over here.
                renderer.setPosition(position);
                backwards = false;
                chunkStart = chunkEnd = 0;
            }
            // A track whose latency changed is re-aligned here, as a jump is.
            renderer.realignTracks();
            realtime::Scope scope;
            const int64_t count = std::min<int64_t>(static_cast<int64_t>(block) * step, length - position);
            renderRange(count);
            for (int i = 0; i < block; ++i) {
                float a = 0, b = 0;
                int taken = 0;
                for (int k = 0; k < step; ++k) {
                    const int64_t f = static_cast<int64_t>(i) * step + k;
                    if (f >= count) break;
                    a += l[static_cast<size_t>(f)];
                    b += r[static_cast<size_t>(f)];
                    ++taken;
                }
                outL[i] = taken ? a / taken : 0.0f;
                outR[i] = taken ? b / taken : 0.0f;
                pos[i] = std::min<int64_t>(length, position + static_cast<int64_t>(i + 1) * step);
            }
            position += count;
        }
        for (int i = 0; i < block; ++i) {
            const uint64_t slot = (write + static_cast<uint64_t>(i)) & (Shared::Capacity - 1);
            s.samples[2 * slot] = outL[i];
            s.samples[2 * slot + 1] = outR[i];
            s.positions[slot] = pos[i];
        }
        s.writeIndex.store(write + block, std::memory_order_release);
    }
}

void Player::startRendering() {
    if (renderThread_.joinable() || preparing_ || !item_ || item_->status() != PlayerItem::Status::ReadyToPlay)
        return;
    // The renderer's tracks and the taps' units take a while to make for a
    // large composition: a worker makes them, the main thread goes on.
    auto holder = std::make_shared<std::unique_ptr<Renderer>>(std::make_unique<Renderer>(
        item_->asset(), item_->audioMix(), output_->sampleRate(), Renderer::Mode::RealTime, 1024));
    if (prepareThread_.joinable()) prepareThread_.join();  // one that has posted its renderer already
    preparing_ = true;
    preparingRenderer_ = holder;
    const uint64_t generation = prepareGeneration_;
    prepareThread_ = std::thread([this, holder, generation] {
        const bool prepared = (*holder)->prepare();
        QMetaObject::invokeMethod(
            this,
            [this, holder, generation, prepared] { rendererPrepared(std::move(*holder), generation, prepared); },
            Qt::QueuedConnection);
    });
}

void Player::rendererPrepared(std::unique_ptr<Renderer> renderer, uint64_t generation, bool prepared) {
    if (prepareThread_.joinable()) prepareThread_.join();
    if (generation != prepareGeneration_) {
        // Made for an item that has gone (the stop freed it already).
        renderer.reset();
        startRendering();
        return;
    }
    preparing_ = false;
    preparingRenderer_.reset();
    if (!prepared || renderThread_.joinable() || !item_ || item_->status() != PlayerItem::Status::ReadyToPlay)
        return;
    renderer_ = std::move(renderer);
    shared_->frameRate = output_->sampleRate() > 0 ? output_->sampleRate() : 48000;
    shared_->running.store(true, std::memory_order_release);
    // Start where a seek made before the item was ready asked to, else at the
    // start. Asked while the render thread is about to run, the position is
    // left to that thread, which publishes it once it has taken it up (and
    // so fed every tap its latency): until then the player is not idle.
    requestPosition(requestedFrame_, false);
    renderThread_ = std::thread([this] { renderLoop(); });
}

void Player::stopRendering() {
    ++prepareGeneration_;  // a renderer being made is for the item that goes
    if (preparing_) {
        // Waited for and freed here: the item's taps are let go of when the
        // stop returns, as a running render's are.
        if (prepareThread_.joinable()) prepareThread_.join();
        if (preparingRenderer_) preparingRenderer_->reset();
        preparingRenderer_.reset();
        preparing_ = false;
    }
    shared_->running.store(false, std::memory_order_release);
    shared_->wake.wake();
    if (renderThread_.joinable()) renderThread_.join();
    const bool hadRenderer = renderer_ != nullptr;
    renderer_.reset();  // lets go of the taps here, on the main thread
#ifdef __GLIBC__
    // Every track's units went with the renderer, and the next item makes
    // them again: hand the freed pages back rather than keep a heap as large
    // as every rebuild before it.
    if (hadRenderer) malloc_trim(0);
#endif
}

bool Player::isRenderingIdle() const {
    // A renderer being made is attaching the item's taps.
    if (preparing_) return false;
    if (!renderThread_.joinable()) return true;
    const Shared& s = *shared_;
    // The render thread publishes a jump's flush once it has positioned the renderer.
    return rate_ == 0 && s.flushGen.load(std::memory_order_acquire) == s.requestGen.load(std::memory_order_acquire);
}

void Player::requestPosition(int64_t frame, bool fromSeek) {
    Shared& s = *shared_;
    s.requestFrame.store(frame, std::memory_order_relaxed);
    const uint64_t gen = s.requestGen.fetch_add(1, std::memory_order_acq_rel) + 1;
    requestedFrame_ = frame;
    if (fromSeek) {
        pendingSeekGen_ = gen;
        pendingSeekFrame_ = frame;
    }
    if (!s.running.load(std::memory_order_relaxed)) {
        s.flush(gen, frame);  // no render thread: write the jump here
        if (outputAsleep()) s.takeUpFlush();  // and, the output asleep, take it up
    }
    s.wake.wake();
    updateTimers();
}

void Player::replaceCurrentItem(std::shared_ptr<PlayerItem> item) {
    if (item == item_) return;
    stopRendering();
    if (item_) disconnect(item_.get(), nullptr, this, nullptr);
    if (pendingSeekCompletion_) {
        auto done = std::move(pendingSeekCompletion_);
        pendingSeekCompletion_ = nullptr;
        QTimer::singleShot(0, this, [done] { done(false); });
    }
    pendingSeekGen_ = 0;
    item_ = std::move(item);
    endPosted_ = false;
    requestPosition(0, false);
    if (item_) {
        PlayerItem* raw = item_.get();
        connect(raw, &PlayerItem::statusChanged, this, [this, raw] { itemStatusChanged(raw); });
        if (raw->status() == PlayerItem::Status::ReadyToPlay) startRendering();
    }
    emit currentItemChanged();
}

void Player::itemStatusChanged(PlayerItem* item) {
    if (item != item_.get()) return;
    if (item->status() == PlayerItem::Status::ReadyToPlay) startRendering();
}

void Player::setRate(float rate) {
    if (rate == rate_) return;
    rate_ = rate;
    shared_->rate.store(rate, std::memory_order_relaxed);
    shared_->wake.wake();
    if (rate != 0) endPosted_ = false;
    // Start the new rate at once rather than after what is buffered. While
    // the output sleeps nothing plays: the player stands where it was last asked to.
    if (item_) {
        const bool seeking = pendingSeekGen_ != 0;
        // The output heard up to playedPosition only while it runs: asleep,
        // falling asleep or waking, it stands where it was last asked to be.
        const bool heard = renderThread_.joinable() && outputState_ == OutputState::Awake;
        const int64_t from = seeking ? pendingSeekFrame_ : heard ? shared_->playedPosition.load() : requestedFrame_;
        requestPosition(from, false);
        if (seeking) pendingSeekGen_ = shared_->requestGen.load();
    }
    updateTimers();
    emit rateChanged(rate);
    notifyObservers();
}

void Player::setVolume(float volume) { volume_.store(std::clamp(volume, 0.0f, 1.0f)); }

MediaTime Player::currentTime() const {
    if (!item_) return MediaTime::zero();
    const int32_t scale = static_cast<int32_t>(std::lround(output_->sampleRate()));
    if (pendingSeekGen_ != 0) return MediaTime(pendingSeekFrame_, scale);
    return MediaTime(shared_->playedPosition.load(std::memory_order_relaxed), scale);
}

void Player::seekToTime(const MediaTime& time, const MediaTime&, const MediaTime&,
                        std::function<void(bool)> completion) {
    if (pendingSeekCompletion_) {
        auto interrupted = std::move(pendingSeekCompletion_);
        pendingSeekCompletion_ = nullptr;
        QTimer::singleShot(0, this, [interrupted] { interrupted(false); });
    }
    if (!item_ || !time.isNumeric()) {
        if (completion) QTimer::singleShot(0, this, [completion] { completion(false); });
        return;
    }
    const int64_t rate = std::llround(output_->sampleRate());
    const int64_t length = mediatime::framesAt(item_->duration(), rate);
    const int64_t frame = std::clamp<int64_t>(mediatime::framesAt(time, rate), 0, length);
    endPosted_ = false;
    pendingSeekCompletion_ = std::move(completion);
    requestPosition(frame, true);
}

void Player::poll() {
    Shared& s = *shared_;
    if (outputAsleep()) {
        s.takeUpFlush();
        updateTimers();
    }
    if (pendingSeekGen_ != 0 &&
        s.consumerFlushGen.load(std::memory_order_acquire) >= pendingSeekGen_) {
        pendingSeekGen_ = 0;
        auto done = std::move(pendingSeekCompletion_);
        pendingSeekCompletion_ = nullptr;
        updateTimers();
        if (done) done(true);
        notifyObservers();
    }
    if (!item_ || !renderer_ || pendingSeekGen_ != 0) return;
    const int64_t played = s.playedPosition.load(std::memory_order_relaxed);
    if (rate_ > 0 && !endPosted_ && played >= renderer_->length()) {
        endPosted_ = true;
        auto item = item_;
        setRate(0.0f);
        emit item->didPlayToEndTime();
        NotificationCenter::defaultCenter().post(PlayerItem::DidPlayToEndTimeNotification, item.get());
    } else if (rate_ < 0 && played <= 0) {
        setRate(0.0f);
    }
}

Player::TimeObserverToken Player::addPeriodicTimeObserver(const MediaTime& interval,
                                                          std::function<void(MediaTime)> block) {
    const TimeObserverToken token = nextToken_++;
    Observer obs;
    obs.intervalMs = std::max(1, static_cast<int>(std::lround(interval.seconds() * 1000)));
    obs.block = std::move(block);
    obs.timer = std::make_unique<QTimer>();
    obs.timer->setInterval(obs.intervalMs);
    QObject::connect(obs.timer.get(), &QTimer::timeout, this, [this, token] {
        auto it = observers_.find(token);
        if (it != observers_.end() && rate_ != 0 && item_) it->second.block(currentTime());
    });
    if (rate_ != 0) obs.timer->start();
    observers_.emplace(token, std::move(obs));
    return token;
}

void Player::removeTimeObserver(TimeObserverToken token) { observers_.erase(token); }

void Player::notifyObservers() {
    if (!item_) return;
    std::vector<TimeObserverToken> tokens;
    for (auto& [token, obs] : observers_) tokens.push_back(token);
    for (auto token : tokens) {
        auto it = observers_.find(token);
        if (it != observers_.end()) it->second.block(currentTime());
    }
}
