#include "Sources.h"

#include "platform/audio/AudioOutput.h"
#include "platform/media/Asset.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/Realtime.h"
#include "platform/media/Player.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using testsupport::sine;
using testsupport::waitUntil;
using testsupport::writeWav;

bool onMainThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

TEST(NullAudioOutput, KeepsRealTime) {
    NullAudioOutput output(48000, 512);
    std::atomic<int64_t> frames{0};
    ASSERT_TRUE(output.start([&](float*, int n) { frames += n; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // settle
    const int64_t f0 = frames.load();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const int64_t f1 = frames.load();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    output.stop();
    const double ratio = (f1 - f0) / (elapsed * 48000);
    EXPECT_NEAR(ratio, 1.0, 0.05);
}

// The default device, counting the frames it plays: speeds are measured
// against the device's clock, so that a loaded machine does not skew them.
// A sleep or a wake can be held at its start until the test lets it go, to
// race it with plays and pauses; each says whether it ran on the main thread.
class CountingOutput : public AudioOutput {
public:
    explicit CountingOutput(std::unique_ptr<AudioOutput> device) : device_(std::move(device)) {}
    bool start(Callback callback, QString* error) override {
        return device_->start(
            [this, callback](float* out, int n) {
                callback(out, n);
                frames += n;
            },
            error);
    }
    void stop() override { device_->stop(); }
    bool isRunning() const override { return device_->isRunning(); }
    double sampleRate() const override { return device_->sampleRate(); }
    QString name() const override { return device_->name(); }
    bool suspend() override {
        held(holdSleep, sleepsHeld);
        return device_->suspend();
    }
    bool resume(QString* error) override {
        held(holdWake, wakesHeld);
        return device_->resume(error);
    }
    bool isSuspended() const override { return device_->isSuspended(); }
    std::atomic<int64_t> frames{0};

    std::atomic<bool> holdSleep{false}, holdWake{false};  // hold the next ones
    std::atomic<int> sleepsHeld{0}, wakesHeld{0};          // held now
    std::atomic<int> callsOnMain{0};                       // sleeps and wakes run on the main thread
    void release() {
        holdSleep = false;
        holdWake = false;
    }

private:
    void held(const std::atomic<bool>& hold, std::atomic<int>& count) {
        if (onMainThread()) ++callsOnMain;
        if (!hold.load()) return;
        ++count;
        while (hold.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        --count;
    }
    std::unique_ptr<AudioOutput> device_;
};

// A player on the default device: the JACK dummy server in the tests.
class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto device = AudioOutput::createDefault();
        ASSERT_NE(device->name(), "No output") << "the test JACK server should be there";
        if (auto* jack = dynamic_cast<JackAudioOutput*>(device.get())) jackName = jack->clientName();
        auto counting = std::make_unique<CountingOutput>(std::move(device));
        output = counting.get();
        player = std::make_unique<Player>(std::move(counting));
        rate = static_cast<int>(player->outputSampleRate());
    }

    std::shared_ptr<PlayerItem> readyItem(double seconds) {
        auto src = gen::track({sine(440, rate, static_cast<int64_t>(seconds * rate))}, rate);
        auto comp = std::make_shared<Composition>();
        comp->addMutableTrack(MediaType::Audio)->insertTimeRange(src->timeRange(), src, MediaTime::zero());
        auto item = PlayerItem::create(comp);
        player->replaceCurrentItem(item);
        EXPECT_TRUE(waitUntil([&] { return item->status() == PlayerItem::Status::ReadyToPlay; }));
        return item;
    }

    double now() const { return player->currentTime().seconds(); }

    // Seconds of item time per second played by the device, over `ms`.
    double speedOver(int ms) {
        const double t0 = now();
        const int64_t f0 = output->frames.load();
        testsupport::spin(ms);
        const double played = (output->frames.load() - f0) / double(rate);
        return (now() - t0) / played;
    }

    bool seekAndWait(double seconds) {
        bool done = false, finished = false;
        player->seekToTime(MediaTime::fromSeconds(seconds, rate), MediaTime::zero(), MediaTime::zero(),
                           [&](bool f) {
                               EXPECT_TRUE(onMainThread());
                               done = true;
                               finished = f;
                           });
        return waitUntil([&] { return done; }) && finished;
    }

    std::unique_ptr<Player> player;
    CountingOutput* output = nullptr;
    QString jackName;  // the output's client on the test JACK server
    int rate = 48000;
};

// A JACK client that keeps what reaches its input port, from when it is armed.
class Listener {
public:
    explicit Listener(size_t capacity) : samples_(capacity) {
        client_ = jack_client_open("trevalune-listener", JackNoStartServer, nullptr);
        if (!client_) return;
        port_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &Listener::process, this);
        jack_activate(client_);
    }
    ~Listener() {
        if (!client_) return;
        jack_deactivate(client_);
        jack_client_close(client_);
    }
    bool listenTo(const QString& port) {
        return client_ && port_ &&
               jack_connect(client_, port.toUtf8().constData(), jack_port_name(port_)) == 0;
    }
    void arm() { armed_.store(true); }
    size_t count() const { return count_.load(); }
    // The samples kept from the first one that is not silent.
    std::vector<float> heard() const {
        std::vector<float> kept(samples_.begin(), samples_.begin() + static_cast<long>(count()));
        auto first = std::find_if(kept.begin(), kept.end(), [](float v) { return v != 0.0f; });
        return {first, kept.end()};
    }

private:
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Listener*>(arg);
        if (!self->armed_.load()) return 0;
        const auto* in = static_cast<const float*>(jack_port_get_buffer(self->port_, frames));
        const size_t at = self->count_.load();
        const size_t n = std::min<size_t>(frames, self->samples_.size() - at);
        std::copy_n(in, n, self->samples_.begin() + static_cast<long>(at));
        self->count_.store(at + n);
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::vector<float> samples_;
    std::atomic<size_t> count_{0};
    std::atomic<bool> armed_{false};
};

TEST_F(PlayerTest, PlaysInRealTimeWithoutAllocating) {
    readyItem(5);
    EXPECT_EQ(player->rate(), 0.0f);
    EXPECT_EQ(player->currentTime(), MediaTime::zero());
    const auto violations = realtime::violationCount();
    player->play();
    testsupport::spin(300);
    EXPECT_NEAR(speedOver(1000), 1.0, 0.15);
    EXPECT_EQ(realtime::violationCount(), violations);
    player->pause();
    testsupport::spin(100);
    const double paused = now();
    testsupport::spin(200);
    EXPECT_EQ(now(), paused);
}

TEST_F(PlayerTest, SeeksExactlyAndANewerSeekInterruptsTheOlder) {
    readyItem(5);
    ASSERT_TRUE(seekAndWait(2.0));
    EXPECT_EQ(player->currentTime(), MediaTime(2 * rate, rate));

    std::vector<std::pair<int, bool>> completions;
    player->seekToTime(MediaTime(1, 1), MediaTime::zero(), MediaTime::zero(),
                       [&](bool f) { completions.emplace_back(1, f); });
    player->seekToTime(MediaTime(3, 1), MediaTime::zero(), MediaTime::zero(),
                       [&](bool f) { completions.emplace_back(2, f); });
    ASSERT_TRUE(waitUntil([&] { return completions.size() == 2; }));
    EXPECT_EQ(completions[0], std::make_pair(1, false));
    EXPECT_EQ(completions[1], std::make_pair(2, true));
    EXPECT_EQ(now(), 3.0);

    // Past the end is clamped to the end.
    ASSERT_TRUE(seekAndWait(60));
    EXPECT_EQ(now(), 5.0);
}

TEST_F(PlayerTest, FastRatesAndBackwards) {
    readyItem(12);
    player->setRate(2.0f);
    testsupport::spin(200);
    EXPECT_NEAR(speedOver(1000), 2.0, 0.3);
    ASSERT_TRUE(seekAndWait(10.0));
    player->setRate(-2.0f);
    testsupport::spin(200);
    EXPECT_NEAR(speedOver(1000), -2.0, 0.3);
    player->setRate(-4.0f);
    testsupport::spin(200);
    EXPECT_NEAR(speedOver(500), -4.0, 0.6);
    // Backwards to the start stops there.
    EXPECT_TRUE(waitUntil([&] { return player->rate() == 0.0f; }, 6000));
    EXPECT_EQ(now(), 0.0);
}

TEST_F(PlayerTest, ReportsTheEndAndPauses) {
    auto item = readyItem(2);
    int ends = 0;
    QObject::connect(item.get(), &PlayerItem::didPlayToEndTime, [&] { ends++; });
    bool notified = false;
    auto id = NotificationCenter::defaultCenter().addObserver(
        this, PlayerItem::DidPlayToEndTimeNotification, item.get(), [&](const Notification&) {
            EXPECT_TRUE(onMainThread());
            notified = true;
        });
    std::vector<double> observed;
    auto token = player->addPeriodicTimeObserver(MediaTime(1, 10), [&](MediaTime t) {
        EXPECT_TRUE(onMainThread());
        observed.push_back(t.seconds());
    });
    ASSERT_TRUE(seekAndWait(1.5));
    player->play();
    ASSERT_TRUE(waitUntil([&] { return notified; }, 3000));
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(player->rate(), 0.0f);
    EXPECT_EQ(now(), 2.0);
    EXPECT_GE(observed.size(), 3u);
    EXPECT_TRUE(std::is_sorted(observed.begin() + 1, observed.end()));
    player->removeTimeObserver(token);
    NotificationCenter::defaultCenter().removeObserver(id);
}

TEST_F(PlayerTest, PlaysAFileDecodedByItsItem) {
    const QString path = testsupport::tempDir() + "/tone.wav";
    ASSERT_TRUE(writeWav(path, {sine(440, 44100, 3 * 44100)}, 44100));
    QString error;
    auto asset = Asset::load(path, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    auto track = asset->tracksWithMediaType(MediaType::Audio).at(0);
    auto comp = std::make_shared<Composition>();
    comp->addMutableTrack(MediaType::Audio)->insertTimeRange(track->timeRange(), track, MediaTime::zero());
    auto item = PlayerItem::create(comp->copy());
    EXPECT_EQ(item->status(), PlayerItem::Status::Unknown);
    player->replaceCurrentItem(item);
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItem::Status::ReadyToPlay; }, 20000));
    EXPECT_TRUE(track->decodedSource()) << "decoded by the item, on a worker";
    EXPECT_EQ(item->duration(), MediaTime(3 * 44100, 44100));
    const auto violations = realtime::violationCount();
    player->play();
    testsupport::spin(200);
    EXPECT_NEAR(speedOver(500), 1.0, 0.25) << "a 44.1 kHz file on a 48 kHz device";
    ASSERT_TRUE(seekAndWait(0.5));
    testsupport::spin(300);
    EXPECT_EQ(realtime::violationCount(), violations);
}

TEST_F(PlayerTest, ReplacingTheItemAndFailures) {
    readyItem(3);
    ASSERT_TRUE(seekAndWait(1.0));
    player->replaceCurrentItem(nullptr);
    EXPECT_EQ(player->currentItem(), nullptr);
    EXPECT_EQ(player->currentTime(), MediaTime::zero());
    bool done = false, finished = true;
    player->seekToTime(MediaTime(1, 1), MediaTime::zero(), MediaTime::zero(), [&](bool f) {
        done = true;
        finished = f;
    });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_FALSE(finished) << "no item, no seek";

    auto item = PlayerItem::create(
        testsupport::oneTrackComposition(testsupport::undecodableTrack(QStringLiteral("cannot decode"))));
    player->replaceCurrentItem(item);
    ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItem::Status::Unknown; }));
    EXPECT_EQ(item->status(), PlayerItem::Status::Failed);
    EXPECT_EQ(item->errorString(), "cannot decode");

    // A seek made before the item is ready takes effect once it is.
    auto src = gen::track({sine(440, rate, 4 * rate)}, rate);
    auto comp2 = std::make_shared<Composition>();
    comp2->addMutableTrack(MediaType::Audio)->insertTimeRange(src->timeRange(), src, MediaTime::zero());
    auto item2 = PlayerItem::create(comp2);
    player->replaceCurrentItem(item2);
    player->seekToTime(MediaTime(3, 1), MediaTime::zero(), MediaTime::zero());
    ASSERT_TRUE(waitUntil([&] { return item2->status() == PlayerItem::Status::ReadyToPlay; }));
    testsupport::spin(100);
    EXPECT_EQ(now(), 3.0);
}

// Paused, the output sleeps: a seek still completes, and the play after it
// starts at once, through the connection the output had before it slept,
// with the seek's first frame.
TEST_F(PlayerTest, AfterTheOutputSleptSeeksCompleteAndPlayStartsWithTheFirstFrame) {
    ASSERT_FALSE(jackName.isEmpty()) << "the test JACK server should be there";
    Listener listener(size_t(rate) * 4);
    ASSERT_TRUE(listener.listenTo(jackName + ":out_1"));
    const auto tone = gen::ramp(3 * rate, 0.001f);
    auto comp = std::make_shared<Composition>();
    auto src = gen::track({tone}, rate);
    comp->addMutableTrack(MediaType::Audio)->insertTimeRange(src->timeRange(), src, MediaTime::zero());
    auto item = PlayerItem::create(comp);
    player->replaceCurrentItem(item);
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItem::Status::ReadyToPlay; }));
    ASSERT_TRUE(waitUntil([&] { return output->isSuspended(); })) << "a paused player's output sleeps";
    // Asleep, the output holds no client on the server (a client keeps the
    // server's shared memory mapped and locked in the process): a client of
    // the test can take its name.
    EXPECT_TRUE(waitUntil([&] {
        jack_client_t* probe = jack_client_open(jackName.toUtf8().constData(),
                                                jack_options_t(JackNoStartServer | JackUseExactName), nullptr);
        if (probe) jack_client_close(probe);
        return probe != nullptr;
    }, 5000)) << "the output's client " << jackName.toStdString() << " is still there";

    const int64_t from = rate / 2 + 123;
    ASSERT_TRUE(seekAndWait(double(from) / rate));
    EXPECT_EQ(player->currentTime(), MediaTime(from, rate));
    EXPECT_TRUE(output->isSuspended()) << "a seek while paused plays nothing, so wakes nothing";

    const int64_t framesBefore = output->frames.load();
    listener.arm();
    player->play();
    ASSERT_TRUE(waitUntil([&] { return !output->isSuspended(); }));
    // One period of the test server: on a loaded machine a later period may
    // be missed by the listener itself.
    const size_t period = 256;
    ASSERT_TRUE(waitUntil([&] { return listener.heard().size() >= period; }, 3000));
    EXPECT_GT(output->frames.load(), framesBefore);
    const auto heard = listener.heard();
    for (size_t i = 0; i < period; ++i)
        ASSERT_NEAR(heard[i], tone[size_t(from) + i], 1e-6) << "frame " << i << " after the start";
    player->pause();
}

// The output sleeps and wakes off the main thread; a play that comes while
// it falls asleep, and a pause while it wakes, leave it as the last of them
// asks: playing and heard, or paused and asleep again. Each call is held at
// its start until the play or pause has come.
TEST_F(PlayerTest, PlayAndPauseRacingTheOutputsSleepAndWakeLeaveItAsTheLastAsked) {
    auto item = readyItem(30);
    ASSERT_TRUE(waitUntil([&] { return output->isSuspended(); })) << "a paused player's output sleeps";
    const double start = now();

    // A play while the output falls asleep: it wakes again once asleep.
    player->play();
    ASSERT_TRUE(waitUntil([&] { return !output->isSuspended(); }));
    ASSERT_TRUE(waitUntil([&] { return now() > start + 0.2; }));
    output->holdSleep = true;
    player->pause();
    ASSERT_TRUE(waitUntil([&] { return output->sleepsHeld.load() == 1; }, 5000)) << "the idle output did not start to sleep";
    player->play();
    output->release();
    ASSERT_TRUE(waitUntil([&] { return !output->isSuspended() && output->isRunning(); }));
    const double resumed = now();
    const int64_t frames = output->frames.load();
    EXPECT_TRUE(waitUntil([&] { return now() > resumed + 0.2 && output->frames.load() > frames; }))
        << "playing, but not heard after the sleep it raced";

    // A pause while the output wakes: it falls asleep again later.
    player->pause();
    ASSERT_TRUE(waitUntil([&] { return output->isSuspended(); }));
    output->holdWake = true;
    player->play();
    ASSERT_TRUE(waitUntil([&] { return output->wakesHeld.load() == 1; }, 5000));
    player->pause();
    const double paused = now();
    output->release();
    // The held wake goes on once let go, and a moment later the output
    // sleeps again.
    ASSERT_TRUE(waitUntil([&] { return !output->isSuspended(); }, 5000)) << "the held wake did not end";
    ASSERT_TRUE(waitUntil([&] { return output->isSuspended(); }, 5000)) << "paused, the woken output stays awake";
    const int64_t asleep = output->frames.load();
    testsupport::spin(100);
    EXPECT_EQ(output->frames.load(), asleep);
    EXPECT_NEAR(now(), paused, 0.1) << "paused, yet it went on";

    // And it plays from there.
    player->play();
    EXPECT_TRUE(waitUntil([&] { return now() > paused + 0.2 && output->frames.load() > asleep; }));
    player->pause();
    EXPECT_EQ(output->callsOnMain.load(), 0) << "the output slept or woke on the main thread";
}

// A paused player's render thread still runs the taps while it takes up a
// new item's first position (it feeds each tap its latency); an offline
// render that shares those taps waits for isRenderingIdle(). Here the tap
// holds the render thread inside it until the test lets it go.
TEST_F(PlayerTest, IsNotIdleWhileItsRenderThreadTakesUpANewItemsFirstPosition) {
    struct Gate {
        std::atomic<bool> open{false};
        std::atomic<int> held{0};   // slices the render thread was held in
        std::atomic<int> calls{0};  // slices run off the main thread
    } gate;
    // However the test ends, the render thread is let go and the player lets
    // go of the tap before the gate goes.
    struct Release {
        Gate& gate;
        Player& player;
        ~Release() {
            gate.open.store(true);
            player.replaceCurrentItem(nullptr);
        }
    } release{gate, *player};
    ProcessingTapCallbacks cb;
    cb.clientInfo = &gate;
    cb.init = [](ProcessingTap*, void* client, void** storage) { *storage = client; };
    cb.prepare = [](ProcessingTap* tap, int64_t, const units::StreamFormat&) { tap->setLatency(2048); };
    cb.process = [](ProcessingTap* tap, int64_t n, uint32_t, units::BufferList* list, int64_t* nOut,
                    uint32_t* flagsOut) {
        ProcessingTap::getSourceAudio(tap, n, list, flagsOut, nullptr, nOut);
        // The main thread runs the tap too, as the item's renderer is
        // prepared: only the render thread is held.
        if (onMainThread()) return;
        auto* g = static_cast<Gate*>(tap->storage());
        ++g->calls;
        if (g->open.load()) return;
        ++g->held;
        while (!g->open.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    auto tap = ProcessingTap::create(cb, ProcessingTapCreationFlagPreEffects);

    auto src = gen::track({sine(440, rate, rate)}, rate);
    auto comp = std::make_shared<Composition>();
    auto* track = comp->addMutableTrack(MediaType::Audio);
    track->insertTimeRange(src->timeRange(), src, MediaTime::zero());
    auto input = std::make_shared<AudioMixInputParameters>();
    input->setTrackID(track->trackID());
    input->setAudioTapProcessor(tap);
    auto mix = std::make_shared<AudioMix>();
    mix->setInputParameters({input});
    auto item = PlayerItem::create(comp);
    item->setAudioMix(mix);
    ASSERT_EQ(player->rate(), 0.0f);
    player->replaceCurrentItem(item);
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItem::Status::ReadyToPlay; }));

    ASSERT_TRUE(waitUntil([&] { return gate.held.load() > 0; })) << "the render thread feeds the tap";
    EXPECT_FALSE(player->isRenderingIdle());
    gate.open.store(true);
    ASSERT_TRUE(waitUntil([&] { return player->isRenderingIdle(); }));
    const int calls = gate.calls.load();
    testsupport::spin(100);
    EXPECT_EQ(gate.calls.load(), calls) << "an idle player runs nothing through its taps";
}

}  // namespace
