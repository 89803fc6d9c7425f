#include "EngineTestSupport.h"

#include "platform/audio/AudioOutput.h"
#include "platform/core/Realtime.h"
#include "platform/media/AssetReader.h"
#include "platform/media/Player.h"
#include "support/Signals.h"
#include "support/TestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>

using namespace enginetest;

namespace {

// 1 s of three tones (200 Hz, 1 kHz, 8 kHz), then 2 s of silence.
QString burstFile() {
    static QString path = [] {
        const int rate = 44100;
        QString p = QDir(testsupport::tempDir()).filePath("burst.wav");
        testsupport::Signal burst(size_t(3 * rate), 0.0f);
        for (double freq : {200.0, 1000.0, 8000.0}) {
            const auto tone = testsupport::sine(freq, rate, rate, 0.2);
            for (size_t i = 0; i < tone.size(); ++i) burst[i] += tone[i];
        }
        testsupport::writeWav(p, {burst, burst}, rate);
        return p;
    }();
    return path;
}

// The low-pass at 2 kHz, the equaliser's 1 kHz band raised 12 dB, the
// reverb half wet: set on the track's units and made active.
struct Active {
    bool lowPass = false, eq = false, reverb = false;
};

Active activateUnits(MusicFilter& track) {
    Active a;
    auto* k = track.getProcessorContext();
    if (!k) return a;
    if (auto* lowPass = k->lowPassUnit().load()) {
        lowPass->setParameter(0, 2000.0f);
        k->contextLowPassEnabled().store(1);
        a.lowPass = true;
    }
    if (auto* eq = k->eqUnit().load()) {
        eq->setParameter(1005, 0.0f);
        eq->setParameter(4005, 12.0f);
        k->contextEQEnabled().store(1);
        a.eq = true;
    }
    if (auto* reverb = k->reverbUnit().load()) {
        reverb->setParameter(0, 50.0f);
        k->contextReverbEnabled().store(1);
        a.reverb = true;
    }
    return a;
}

struct Measures {
    double low, mid, high;  // dB at 200 Hz, 1 kHz, 8 kHz over the tones
    double tail;            // RMS from 1.05 s to 1.4 s, after the tones end
};

// The units are switched on once the render has begun: what the track had
// taken in by then (its latency, under half a second) comes out as it was,
// so the tones are measured after that.
Measures measure(const std::vector<float>& x, size_t start, int rate = 44100) {
    Measures m;
    const size_t from = std::min(start + size_t(0.5 * rate), x.size());
    const size_t count = std::min(size_t(0.45 * rate), x.size() - from);
    auto level = [&](double hz) {
        return testsupport::dB(testsupport::amplitudeAt(x.data() + from, count, hz, rate));
    };
    m.low = level(200);
    m.mid = level(1000);
    m.high = level(8000);
    m.tail = testsupport::rms(x, start + size_t(1.05 * rate), start + size_t(1.4 * rate));
    return m;
}

void expectUnitsHeard(const Measures& dry, const Measures& wet, const Active& active) {
    ASSERT_TRUE(active.lowPass && active.eq && active.reverb) << "a built-in unit is missing";
    EXPECT_NEAR(dry.high - dry.low, 0, 1.0);
    EXPECT_LT(dry.tail, 1e-4);
    EXPECT_LT(wet.high - wet.low, dry.high - dry.low - 20) << "the low-pass cuts 8 kHz";
    EXPECT_GT(wet.mid - wet.low, dry.mid - dry.low + 8) << "the equaliser raises 1 kHz";
    EXPECT_GT(wet.tail, 1e-3) << "the reverb rings on";
}

class ThroughTheUnits : public ::testing::Test {
protected:
    void SetUp() override {
        track = s.makeTrack(loadAsset(burstFile()));
        s.insert(*track, 3);
    }
    Session s;
    std::shared_ptr<MusicFilter> track;
};

TEST_F(ThroughTheUnits, OfflineReader) {
    auto readAll = [&](bool withUnits) {
        auto reader = AssetReader::create(s.composition);
        std::vector<int32_t> ids;
        for (const auto* t : s.composition->tracksWithMediaType(MediaType::Audio)) ids.push_back(t->trackID());
        auto output = std::make_shared<AssetReaderAudioMixOutput>(ids, AssetReaderAudioMixOutput::Settings{});
        output->setAudioMix(s.mix);
        reader->addOutput(output);
        EXPECT_TRUE(reader->startReading());
        testsupport::spin(20);  // the tap's set-up on the main thread
        Active active = withUnits ? activateUnits(*track) : Active{};
        std::vector<float> left, right;
        std::vector<float> l(4096), r(4096);
        while (int64_t n = output->readNext(l.data(), r.data(), 512)) {
            left.insert(left.end(), l.begin(), l.begin() + n);
            right.insert(right.end(), r.begin(), r.begin() + n);
        }
        EXPECT_EQ(reader->status(), AssetReader::Status::Completed);
        return std::make_pair(active, left);
    };
    auto [unused, dry] = readAll(false);
    auto [active, wet] = readAll(true);
    EXPECT_EQ(dry.size(), size_t(3 * 44100));
    EXPECT_EQ(wet.size(), dry.size());
    expectUnitsHeard(measure(dry, 0), measure(wet, 0), active);
}

// The default device (the JACK dummy server in the tests), keeping what it plays.
class CapturingOutput : public AudioOutput {
public:
    explicit CapturingOutput(std::unique_ptr<AudioOutput> device) : device_(std::move(device)) {
        captured.reserve(size_t(sampleRate() * 8));
    }
    bool start(Callback callback, QString* error) override {
        return device_->start(
            [this, callback](float* out, int n) {
                callback(out, n);
                for (int i = 0; i < n && captured.size() < captured.capacity(); ++i)
                    captured.push_back(out[2 * i]);
            },
            error);
    }
    void stop() override { device_->stop(); }
    bool isRunning() const override { return device_->isRunning(); }
    double sampleRate() const override { return device_->sampleRate(); }
    QString name() const override { return device_->name(); }
    std::vector<float> captured;  // left channel, interleaved output assumed stereo

private:
    std::unique_ptr<AudioOutput> device_;
};

TEST_F(ThroughTheUnits, PlayerOnTheAudioServer) {
    auto device = AudioOutput::createDefault();
    ASSERT_NE(device->name(), "No output") << "the test JACK server should be there";
    auto capturing = std::make_unique<CapturingOutput>(std::move(device));
    CapturingOutput* output = capturing.get();
    Player player(std::move(capturing));
    const int rate = int(player.outputSampleRate());

    auto playOnce = [&](bool withUnits) -> std::pair<Active, std::vector<float>> {
        auto item = PlayerItem::create(s.composition->copy());
        item->setAudioMix(s.mix->copy());
        player.replaceCurrentItem(item);
        // The taps' units are made with the item's renderer, on a worker.
        EXPECT_TRUE(testsupport::waitUntil([&] {
            return item->status() == PlayerItem::Status::ReadyToPlay && !player.isPreparingRenderer();
        }));
        testsupport::spin(50);
        const Active active = withUnits ? activateUnits(*track) : Active{};
        s.controller.notifyAudioMetering = true;
        const uint64_t violations = realtime::violationCount();
        const size_t from = output->captured.size();
        player.play();
        EXPECT_TRUE(testsupport::waitUntil([&] { return player.currentTime().seconds() >= 2.0; }, 10000));
        player.pause();
        EXPECT_EQ(realtime::violationCount(), violations);
        EXPECT_GT(track->meteringGeneration(), 0u);
        testsupport::spin(100);
        std::vector<float> got(output->captured.begin() + from, output->captured.end());
        return {active, got};
    };
    auto [unused, dry] = playOnce(false);
    auto [active, wet] = playOnce(true);
    player.replaceCurrentItem(nullptr);
    // Where the tones start in what the device played.
    auto onset = [](const std::vector<float>& x) {
        size_t i = 0;
        while (i < x.size() && std::fabs(x[i]) < 0.05f) ++i;
        return i;
    };
    const size_t dryStart = onset(dry), wetStart = onset(wet);
    ASSERT_LT(dryStart + size_t(1.5 * rate), dry.size());
    ASSERT_LT(wetStart + size_t(1.5 * rate), wet.size());
    expectUnitsHeard(measure(dry, dryStart, rate), measure(wet, wetStart, rate), active);
}

}  // namespace
