#include "EngineTestSupport.h"

#include "platform/units/EventListener.h"
#include "support/Signals.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

using namespace enginetest;

namespace {

class TapContext : public ::testing::Test {
protected:
    void SetUp() override {
        static std::shared_ptr<Asset> asset = loadAsset(testsupport::writeTone("context.wav", 4, 440));
        track = s.makeTrack(asset);
        s.insert(*track, 60);
        tap = s.mix->inputParameters()[0]->audioTapProcessor();
        k = static_cast<TrackTapContext*>(tap->storage());
    }
    Session s;
    std::shared_ptr<MusicFilter> track;
    std::shared_ptr<ProcessingTap> tap;
    TrackTapContext* k = nullptr;
};

TEST_F(TapContext, FreshRecord) {
    EXPECT_TRUE(std::isnan(k->sampleRate.load()));
    EXPECT_EQ(k->contextVolume.load(), 1.0);
    // The insertion's first push of the inputs gives the tap the track's time scale.
    EXPECT_EQ(k->contextTrackTimeScale.load(), 44100u);
    EXPECT_EQ(k->audioScaleFactor.load(), 1.0);
    EXPECT_EQ(k->sliceTimeRange, MediaTimeRange::zero());
    EXPECT_EQ(k->trackFilter.load(), track.get());
    EXPECT_NE(k->parameterListener, nullptr);
    EXPECT_EQ(k->prepared.load(), 0);
    for (int i = 0; i < kBuiltInUnitCount; ++i) {
        EXPECT_EQ(k->units[i].load(), nullptr);
        EXPECT_EQ(k->unitFlags[i].load(), 0);
    }
    EXPECT_EQ(track->getProcessorContext(), k);
    // The track's place reaches the tap as soon as it is made.
    EXPECT_EQ(k->contextTrackStartTime.load(), 0.0);
    EXPECT_NEAR(k->contextTrackEndTime.load(), 4.0, 1e-9);
}

TEST_F(TapContext, PrepareMakesTheSpectrumOnceAndAgainAfterUnprepare) {
    tap->attach(4096, units::StreamFormat::canonical(48000, 2));
    EXPECT_EQ(k->prepared.load(), 1);
    EXPECT_EQ(k->sampleRate.load(), 48000.0);
    EXPECT_EQ(k->formatSupported.load(), 1);
    EXPECT_EQ(k->nonInterleaved.load(), 1);
    EXPECT_EQ(k->maxFrames, 4096);
    EXPECT_EQ(track->fftCount(), 2048u);
    const TrackSpectrum* spectrum = k->spectrum.get();
    std::vector<units::Unit*> made;
    for (int i = 0; i < kBuiltInUnitCount; ++i) made.push_back(k->units[i].load());
    // A second renderer attaching prepares nothing again.
    tap->attach(4096, units::StreamFormat::canonical(48000, 2));
    EXPECT_EQ(k->spectrum.get(), spectrum);
    for (int i = 0; i < kBuiltInUnitCount; ++i) EXPECT_EQ(k->units[i].load(), made[i]);
    tap->detach();
    tap->detach();
    for (int i = 0; i < kBuiltInUnitCount; ++i) EXPECT_EQ(k->units[i].load(), nullptr);
    // Prepared again after an unprepare, the tap gets its units back.
    tap->attach(512, units::StreamFormat::canonical(44100, 2));
    for (int i = 0; i < kBuiltInUnitCount; ++i)
        EXPECT_EQ(k->units[i].load() != nullptr, made[i] != nullptr) << i;
    EXPECT_EQ(track->fftCount(), 256u);
    tap->detach();
    testsupport::spin(5);
}

TEST_F(TapContext, FilterUnitEventsMoveSlidersAndActiveBytes) {
    // Stand-ins in the three filter fields: the handler only compares them.
    ProbeUnit lowPass(false, 0, nullptr, 'L'), highPass(false, 0, nullptr, 'H'),
        bandPass(false, 0, nullptr, 'B');
    k->lowPassUnit().store(&lowPass);
    k->highPassUnit().store(&highPass);
    k->bandPassUnit().store(&bandPass);
    using Type = units::UnitEvent::Type;
    auto valueChange = [&](units::Unit* u, units::ParameterID id, float v) {
        tracktap::tapParameterGestureHandler(
            k, track.get(), units::UnitEvent::parameterEvent(Type::ParameterValueChange, u, id), 0, v);
    };
    struct Case {
        const char* name;
        units::Unit* unit;
        units::ParameterID id;
        float value;
        float bandwidthInput, centreInput;
        uint8_t flagBefore;
        BuiltInUnit flagOf;
        uint8_t flagAfter;
        FilterSlider slider;
        float sliderValue;
    } cases[] = {
        {"low-pass below the top", &lowPass, 0, 500, 11025, 11025, 0, BuiltInUnit::LowPass, 1, FilterSlider::LowPassCutoff, 500},
        {"low-pass clamped to the top", &lowPass, 0, 30000, 11025, 11025, 1, BuiltInUnit::LowPass, 0, FilterSlider::LowPassCutoff, 22050},
        {"low-pass resonance leaves the byte", &lowPass, 1, 5, 11025, 11025, 1, BuiltInUnit::LowPass, 1, FilterSlider::LowPassResonance, 10},
        {"high-pass above zero", &highPass, 0, 300, 11025, 11025, 0, BuiltInUnit::HighPass, 1, FilterSlider::HighPassCutoff, 300},
        {"band-pass centre moved", &bandPass, 0, 300, 11025, 11025, 0, BuiltInUnit::BandPass, 1, FilterSlider::BandPassCenter, 300},
        {"centre back, bandwidth still moved", &bandPass, 0, 11025, 5000, 11025, 1, BuiltInUnit::BandPass, 1, FilterSlider::BandPassCenter, 11025},
        {"centre back, bandwidth too", &bandPass, 0, 11025, 11025, 11025, 1, BuiltInUnit::BandPass, 0, FilterSlider::BandPassCenter, 11025},
        {"bandwidth back, centre still moved", &bandPass, 1, 11025, 11025, 400, 1, BuiltInUnit::BandPass, 1, FilterSlider::BandPassBandwidth, 11025},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        track->setValue(EffectInput::BandPassBandwidth, c.bandwidthInput);
        track->setValue(EffectInput::BandPassCenterFrequency, c.centreInput);
        k->flag(c.flagOf).store(c.flagBefore);
        s.controller.calls.clear();
        valueChange(c.unit, c.id, c.value);
        EXPECT_EQ(k->flag(c.flagOf).load(), c.flagAfter);
        EXPECT_EQ(s.controller.sliders[c.slider], c.sliderValue);
        EXPECT_EQ(s.controller.calls, std::vector<QString>{QStringLiteral("record %1").arg(int(c.slider))});
    }
    // Another unit's values are not the sliders' business.
    s.controller.calls.clear();
    ProbeUnit other(false, 0, nullptr, 'O');
    valueChange(&other, 0, 5);
    EXPECT_TRUE(s.controller.calls.empty());

    // Gestures: pause the selection parameters; the end sends the slider's action.
    tracktap::tapParameterGestureHandler(
        k, track.get(), units::UnitEvent::parameterEvent(Type::BeginParameterChangeGesture, &highPass, 0), 0, 0);
    tracktap::tapParameterGestureHandler(
        k, track.get(), units::UnitEvent::parameterEvent(Type::EndParameterChangeGesture, &highPass, 0), 0, 0);
    EXPECT_EQ(s.controller.calls,
              (std::vector<QString>{"pauseSelection 1", "pauseSelection 0", "immediately 1",
                                    QStringLiteral("action %1").arg(int(FilterSlider::HighPassCutoff)),
                                    "immediately 0"}));
    for (auto* u : {&k->lowPassUnit(), &k->highPassUnit(), &k->bandPassUnit()}) u->store(nullptr);
}

TEST_F(TapContext, TrackLeavesWhileARenderThreadRuns) {
    // Removal waits for the render to let go before it frees the plug-ins,
    // their render contexts and the spectrum (a sanitizer build sees any
    // use after free).
    auto driverTap = tap;
    driverTap->attach(512, units::StreamFormat::canonical(44100, 2));
    testsupport::spin(5);
    for (int i = 0; i < 3; ++i)
        hostPlugin(*track, std::make_unique<ProbeUnit>(i == 0, 0.01f, nullptr, 'P'),
                   i == 0 ? ChainUnitInstrumentNotify : ChainUnitEffect, 100 + i);
    s.controller.notifyAudioMetering = true;
    s.controller.showEQFFT = true;
    s.controller.currentSelectedAudio = 0;
    std::atomic<bool> stop{false};
    std::atomic<int> slices{0};
    std::thread render([&] {
        std::vector<float> l(512), r(512), src(512, 0.2f);
        const float* channels[2] = {src.data(), src.data()};
        int64_t at = 0;
        while (!stop.load()) {
            ProcessingTap::SliceSource source;
            source.tap = driverTap.get();
            source.channels = channels;
            source.channelCount = 2;
            source.frames = 512;
            source.range = MediaTimeRange(MediaTime(at, 44100), MediaTime(512, 44100));
            units::BufferList list;
            float* data[2] = {l.data(), r.data()};
            list.point(2, 512, data);
            int64_t framesOut = 0;
            uint32_t flagsOut = 0;
            driverTap->process(source, 512, 0, &list, &framesOut, &flagsOut);
            at = (at + 512 * 7) % (44100 * 3);
            slices.fetch_add(1);
        }
    });
    while (slices.load() < 50) std::this_thread::yield();
    track->removeTrackFromComposition();
    const int after = slices.load();
    while (slices.load() < after + 50) std::this_thread::yield();
    stop = true;
    render.join();
    EXPECT_EQ(k->trackFilter.load(), nullptr);
    EXPECT_EQ(track->procRefInfoArray().size(), 0u);
    driverTap->detach();
    testsupport::spin(5);
}

}  // namespace
