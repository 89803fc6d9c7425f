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

// Where a click starts: the first frame at a quarter of the channel's peak.
double onsetSeconds(const std::vector<float>& x, double rate) {
    float peak = 0;
    for (float v : x) peak = std::max(peak, std::fabs(v));
    if (peak <= 0) return -1;
    for (size_t i = 0; i < x.size(); ++i)
        if (std::fabs(x[i]) >= 0.25f * peak) return double(i) / rate;
    return -1;
}

// What is done to the second track: the pitch up an octave, or the limiter on.
enum class Treatment { Pitch, Limiter };

void treat(TrackTapContext& k, Treatment treatment) {
    switch (treatment) {
    case Treatment::Pitch:
        ASSERT_NE(k.pitchUnit().load(), nullptr);
        k.pitchUnit().load()->setParameter(1, 1200.0f);
        k.contextPitchEnabled().store(1);
        break;
    case Treatment::Limiter:
        ASSERT_NE(k.unit(BuiltInUnit::PeakLimiter).load(), nullptr);
        k.unit(BuiltInUnit::PeakLimiter).load()->setParameter(3, -6.0f);
        k.flag(BuiltInUnit::PeakLimiter).store(1);
        break;
    }
}

const char* name(Treatment t) { return t == Treatment::Pitch ? "pitch" : "limiter"; }

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
        const double dry = onsetSeconds(left, rate), treated = onsetSeconds(right, rate);
        EXPECT_GT(dry, 0);
        EXPECT_GT(treated, 0);
        return treated - dry;
    }

    Session s;
    std::array<std::shared_ptr<MusicFilter>, 2> tracks;
};

TEST_F(Latency, OfflineTracksLineUpFromTheStartAndAfterASeek) {
    for (Treatment treatment : {Treatment::Pitch, Treatment::Limiter}) {
        for (double from : {0.0, 0.5}) {
            SCOPED_TRACE(testing::Message() << name(treatment) << " from " << from);
            QString error;
            ASSERT_TRUE(Renderer::loadSources(*s.composition, &error));
            Renderer r(s.composition, s.mix, kRate, Renderer::Mode::Offline, 512);
            ASSERT_TRUE(r.prepare(&error));
            setUpTracks(treatment);
            // Render a little first, as a player would have, then jump.
            std::vector<float> left(size_t(r.length())), right(left.size());
            r.render(left.data(), right.data(), 512);
            const auto start = int64_t(from * kRate);
            r.setPosition(start);
            const uint64_t violations = realtime::violationCount();
            for (int64_t pos = start; pos < r.length(); pos += 512) {
                const int n = int(std::min<int64_t>(512, r.length() - pos));
                r.render(left.data() + pos - start, right.data() + pos - start, n);
            }
            EXPECT_EQ(realtime::violationCount(), violations);
            left.resize(size_t(r.length() - start));
            right.resize(left.size());
            EXPECT_NEAR(onsetSeconds(left, kRate) + from, kClickAt, 0.001);
            EXPECT_NEAR(lag(left, right, kRate), 0.0, 0.001);
        }
    }
}

}  // namespace
