#include "EngineTestSupport.h"

#include "engine/TrackTapContext.h"
#include "platform/audio/AudioOutput.h"
#include "platform/core/Realtime.h"
#include "platform/media/Player.h"
#include "platform/media/Renderer.h"
#include "support/TestSupport.h"

#include <sndfile.h>

#include <QDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace enginetest;

namespace {

constexpr int kRate = 44100;
constexpr double kClickAt = 1.0;

// 2 s of silence with one click at 1.000 s: a 3 ms burst of 2 kHz under a
// Hann window.
QString clickFile() {
    static QString path = [] {
        QString p = QDir(testsupport::tempDir()).filePath("click.wav");
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(p.toUtf8().constData(), SFM_WRITE, &info);
        std::vector<float> data(size_t(2 * kRate) * 2, 0.0f);
        const int length = int(0.003 * kRate), at = int(kClickAt * kRate);
        for (int i = 0; i < length; ++i) {
            const double window = 0.5 - 0.5 * std::cos(2 * M_PI * i / (length - 1));
            data[2 * (at + i)] = data[2 * (at + i) + 1] = float(0.8 * window * std::sin(2 * M_PI * 2000.0 * i / kRate));
        }
        sf_writef_float(f, data.data(), 2 * kRate);
        sf_close(f);
        return p;
    }();
    return path;
}

// When a click is heard: the centre of its energy. (The pitch units split a
// click into echoes a few milliseconds either side of it, and which echo is
// the loudest depends on where the click falls in their frames; the centre
// holds still.)
double clickSeconds(const std::vector<float>& x, double rate) {
    double weighted = 0, energy = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        weighted += double(x[i]) * x[i] * double(i);
        energy += double(x[i]) * x[i];
    }
    return energy > 0 ? weighted / energy / rate : -1;
}

// What is done to the second track: the pitch up an octave, or the limiter on.
enum class Treatment { Pitch, Limiter };

void treat(TrackTapContext& k, Treatment treatment) {
    switch (treatment) {
    case Treatment::Pitch:
        ASSERT_NE(k.pitchUnit().load(), nullptr);
        k.pitchUnit().load()->setParameter(1, 1200.0f);
        k.setFlag(BuiltInUnit::Pitch, true);
        break;
    case Treatment::Limiter:
        ASSERT_NE(k.unit(BuiltInUnit::PeakLimiter).load(), nullptr);
        k.unit(BuiltInUnit::PeakLimiter).load()->setParameter(3, -6.0f);
        k.setFlag(BuiltInUnit::PeakLimiter, true);
        break;
    }
}

const char* name(Treatment t) { return t == Treatment::Pitch ? "pitch" : "limiter"; }

// How closely the treated click follows the dry one. The pitch units place a
// click's echoes by their analysis frames: which frame takes it depends on
// the click's exact samples, so after a rate conversion the centre may move
// by about one frame's hop (1.6 ms at 48 kHz). The limiter keeps it exactly.
double lagTolerance(Treatment t) { return t == Treatment::Pitch ? 0.002 : 0.001; }

// Two tracks of the same click: the first dry and heard on the left, the
// second treated and heard on the right.
class Latency : public ::testing::Test {
protected:
    void SetUp() override {
        auto asset = loadAsset(clickFile());
        for (auto& t : tracks) {
            t = s.makeTrack(asset);
            s.insert(*t, 2);
        }
        testsupport::spin(10);
    }
    void TearDown() override {
        tracks = {};
        testsupport::spin(5);
    }
    // Once the taps are prepared (the first render prepares them).
    void setUpTracks(Treatment treatment) {
        testsupport::spin(10);  // the set-up the prepared taps hand to the main thread
        auto* dry = tracks[0]->getProcessorContext();
        auto* treated = tracks[1]->getProcessorContext();
        ASSERT_TRUE(dry && treated);
        dry->contextTrackChannelMix.store(-1);
        treated->contextTrackChannelMix.store(1);
        treat(*treated, treatment);
    }
    // Seconds by which the treated track's click follows the dry one's.
    static double lag(const std::vector<float>& left, const std::vector<float>& right, double rate) {
        const double dry = clickSeconds(left, rate), treated = clickSeconds(right, rate);
        EXPECT_GT(dry, 0);
        EXPECT_GT(treated, 0);
        return treated - dry;
    }

    Session s;
    std::array<std::shared_ptr<MusicFilter>, 2> tracks;
};

TEST_F(Latency, OfflineTracksLineUpFromTheStartAndAfterASeek) {
    // The click's own centre: 1 s and half its 3 ms.
    const double clickCentre = kClickAt + 0.0015;
    for (Treatment treatment : {Treatment::Pitch, Treatment::Limiter}) {
        for (int rate : {kRate, 48000}) {
            for (double from : {0.0, 0.5}) {
                SCOPED_TRACE(testing::Message() << name(treatment) << " at " << rate << " from " << from);
                QString error;
                ASSERT_TRUE(Renderer::loadSources(*s.composition, &error));
                Renderer r(s.composition, s.mix, rate, Renderer::Mode::Offline, 512);
                ASSERT_TRUE(r.prepare(&error));
                setUpTracks(treatment);
                // Render a little first, as a player would have, then jump.
                std::vector<float> left(size_t(r.length())), right(left.size());
                r.render(left.data(), right.data(), 512);
                const auto start = int64_t(from * rate);
                r.setPosition(start);
                const uint64_t violations = realtime::violationCount();
                for (int64_t pos = start; pos < r.length(); pos += 512) {
                    const int n = int(std::min<int64_t>(512, r.length() - pos));
                    r.render(left.data() + pos - start, right.data() + pos - start, n);
                }
                EXPECT_EQ(realtime::violationCount(), violations);
                left.resize(size_t(r.length() - start));
                right.resize(left.size());
                EXPECT_NEAR(clickSeconds(left, rate) + from, clickCentre, 0.001);
                EXPECT_NEAR(lag(left, right, rate), 0.0, lagTolerance(treatment));
            }
        }
    }
}

// The pitch slider moved off 1 cent while rendering: until then the pitch
// unit has no stretcher and sits out behind its stand-in; the move makes
// the stretcher on the main thread, the unit comes in at the next slice,
// and the click that follows still lines up with the dry track's.
TEST_F(Latency, APitchUnitThatComesInWhileRenderingKeepsTheTiming) {
    const int rate = kRate;
    QString error;
    ASSERT_TRUE(Renderer::loadSources(*s.composition, &error));
    Renderer r(s.composition, s.mix, rate, Renderer::Mode::Offline, 512);
    ASSERT_TRUE(r.prepare(&error));
    testsupport::spin(10);
    auto* dry = tracks[0]->getProcessorContext();
    auto* treated = tracks[1]->getProcessorContext();
    ASSERT_TRUE(dry && treated);
    dry->contextTrackChannelMix.store(-1);
    treated->contextTrackChannelMix.store(1);
    units::Unit* pitch = treated->pitchUnit().load();
    ASSERT_NE(pitch, nullptr);
    EXPECT_FALSE(pitch->readyToRender()) << "a track at its natural pitch makes no stretcher";

    std::vector<float> left(size_t(r.length())), right(left.size());
    const uint64_t violations = realtime::violationCount();
    const auto comesIn = int64_t(0.4 * rate);
    for (int64_t pos = 0; pos < r.length(); pos += 512) {
        if (pos >= comesIn && !pitch->readyToRender()) {
            tracks[1]->setValue(EffectInput::Pitch, 1200);
            tracks[1]->updateAudioMixState();
            ASSERT_TRUE(pitch->readyToRender());
        }
        const int n = int(std::min<int64_t>(512, r.length() - pos));
        r.render(left.data() + pos, right.data() + pos, n);
    }
    EXPECT_EQ(realtime::violationCount(), violations);
    EXPECT_EQ(pitch->parameter(1), 1200.0f);
    EXPECT_NEAR(clickSeconds(left, rate), kClickAt + 0.0015, 0.001);
    EXPECT_NEAR(lag(left, right, rate), 0.0, 0.001);
    // And it is the unit that plays it: the 2 kHz click comes out an octave up.
    auto power = [&](const std::vector<float>& x, double hz) {
        const auto from = size_t((kClickAt - 0.01) * rate), to = size_t((kClickAt + 0.015) * rate);
        double re = 0, im = 0;
        for (size_t i = from; i < to; ++i) {
            re += x[i] * std::cos(2 * M_PI * hz * double(i) / rate);
            im += x[i] * std::sin(2 * M_PI * hz * double(i) / rate);
        }
        return re * re + im * im;
    };
    EXPECT_GT(power(right, 4000), 10 * power(right, 2000));
    EXPECT_GT(power(left, 2000), 10 * power(left, 4000));
}

// A track counts the latency of the units it has in use only: none while
// every unit with latency is off, the limiter's own once it is on, none
// again once it is off. Switched while rendering, the track fades out, is
// re-aligned and fades in again: no sample moves further from the one
// before than the tone itself does.
TEST(LatencyInUse, OnlyUnitsInUseCountAndASwitchDoesNotClick) {
    Session s;
    auto track = s.makeTrack(loadAsset(writeTone(QStringLiteral("steady.wav"), 2.0, 220.0, 0.5f, kRate)));
    s.insert(*track, 2);
    testsupport::spin(10);
    QString error;
    ASSERT_TRUE(Renderer::loadSources(*s.composition, &error));
    Renderer r(s.composition, s.mix, kRate, Renderer::Mode::Offline, 512);
    ASSERT_TRUE(r.prepare(&error));
    testsupport::spin(10);
    auto* k = track->getProcessorContext();
    const auto tap = track->mixInputTap();
    ASSERT_TRUE(k && tap);
    units::Unit* limiter = k->unit(BuiltInUnit::PeakLimiter).load();
    ASSERT_NE(limiter, nullptr);
    const auto limiterFrames = int64_t(std::lround(limiter->latency() * kRate));
    ASSERT_GT(limiterFrames, 0);
    EXPECT_EQ(tap->latency(), 0) << "every unit with latency is off";

    struct Case {
        const char* name;
        bool limiterOn;
        int64_t latency;
    };
    const Case cases[] = {
        {"the limiter on", true, limiterFrames},
        {"the limiter off again", false, 0},
    };
    std::vector<float> left(size_t(r.length())), right(left.size());
    int64_t pos = 0;
    auto renderFor = [&](double seconds) {
        for (const int64_t end = std::min<int64_t>(r.length(), pos + int64_t(seconds * kRate)); pos < end;) {
            const int n = int(std::min<int64_t>(512, end - pos));
            r.render(left.data() + pos, right.data() + pos, n);
            pos += n;
        }
    };
    const uint64_t violations = realtime::violationCount();
    renderFor(0.5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        k->setFlag(BuiltInUnit::PeakLimiter, c.limiterOn);
        renderFor(0.5);
        EXPECT_EQ(tap->latency(), c.latency);
    }
    renderFor(0.4);
    EXPECT_EQ(realtime::violationCount(), violations);
    // The tone's own largest step from one sample to the next.
    const double step = 2 * M_PI * 220.0 / kRate * 0.5;
    double largest = 0;
    for (size_t i = 1; i < size_t(pos); ++i) largest = std::max(largest, double(std::fabs(left[i] - left[i - 1])));
    EXPECT_LT(largest, 1.5 * step);
    // And the tone is there after each switch.
    for (double at : {0.9, 1.4, 1.8}) {
        double sum = 0;
        const auto from = size_t(at * kRate), n = size_t(0.05 * kRate);
        for (size_t i = from; i < from + n; ++i) sum += double(left[i]) * left[i];
        EXPECT_GT(std::sqrt(sum / double(n)), 0.2) << "at " << at << " s";
    }
}

// The default device (the JACK dummy server in the tests), keeping both
// channels of what it plays.
class CapturingOutput : public AudioOutput {
public:
    explicit CapturingOutput(std::unique_ptr<AudioOutput> device) : device_(std::move(device)) {
        left.reserve(size_t(sampleRate() * 10));
        right.reserve(left.capacity());
    }
    bool start(Callback callback, QString* error) override {
        return device_->start(
            [this, callback](float* out, int n) {
                callback(out, n);
                for (int i = 0; i < n && left.size() < left.capacity(); ++i) {
                    left.push_back(out[2 * i]);
                    right.push_back(out[2 * i + 1]);
                }
            },
            error);
    }
    void stop() override { device_->stop(); }
    bool isRunning() const override { return device_->isRunning(); }
    double sampleRate() const override { return device_->sampleRate(); }
    QString name() const override { return device_->name(); }
    std::vector<float> left, right;

private:
    std::unique_ptr<AudioOutput> device_;
};

TEST_F(Latency, PlayedThroughTheAudioServerTracksLineUp) {
    auto device = AudioOutput::createDefault();
    ASSERT_NE(device->name(), "No output") << "the test JACK server should be there";
    auto capturing = std::make_unique<CapturingOutput>(std::move(device));
    CapturingOutput* output = capturing.get();
    Player player(std::move(capturing));
    const double rate = player.outputSampleRate();

    for (Treatment treatment : {Treatment::Pitch, Treatment::Limiter}) {
        for (double from : {0.0, 0.5}) {
            SCOPED_TRACE(testing::Message() << name(treatment) << " from " << from);
            auto item = PlayerItem::create(s.composition->copy());
            item->setAudioMix(s.mix->copy());
            player.replaceCurrentItem(item);
            // The taps' units are made with the item's renderer, on a worker.
            ASSERT_TRUE(testsupport::waitUntil([&] {
                return item->status() == PlayerItem::Status::ReadyToPlay && !player.isPreparingRenderer();
            }));
            testsupport::spin(50);
            setUpTracks(treatment);
            bool sought = false;
            player.seekToTime(MediaTime::fromSeconds(from, 44100), MediaTime::zero(), MediaTime::zero(),
                              [&](bool) { sought = true; });
            ASSERT_TRUE(testsupport::waitUntil([&] { return sought; }));
            const uint64_t violations = realtime::violationCount();
            const size_t mark = output->left.size();
            player.play();
            ASSERT_TRUE(testsupport::waitUntil([&] { return player.currentTime().seconds() >= 1.6; }, 10000));
            player.pause();
            testsupport::spin(100);
            EXPECT_EQ(realtime::violationCount(), violations);
            const std::vector<float> left(output->left.begin() + long(mark), output->left.end());
            const std::vector<float> right(output->right.begin() + long(mark), output->right.end());
            EXPECT_NEAR(lag(left, right, rate), 0.0, lagTolerance(treatment));
            player.replaceCurrentItem(nullptr);
            testsupport::spin(20);
        }
    }
}

}  // namespace
