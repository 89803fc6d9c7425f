#include "EngineTestSupport.h"

#include "platform/core/Realtime.h"
#include "support/Signals.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>

using namespace enginetest;

namespace {

class RenderCycle : public ::testing::Test {
protected:
    void SetUp() override {
        static std::shared_ptr<Asset> asset = loadAsset(testsupport::writeTone("render.wav", 10, 440));
        track = s.makeTrack(asset);
        s.insert(*track, 60);
        driver = std::make_unique<TapDriver>(s.mix->inputParameters()[0]->audioTapProcessor());
        testsupport::spin(10);  // the set-up the prepared tap hands to the main thread
        k = driver->context();
        ASSERT_NE(k, nullptr);
        driver->withoutLatency();
        k->contextTrackStartTime.store(0);
        k->contextTrackEndTime.store(10);
        s.controller.asked.reserve(256);
    }
    void TearDown() override {
        driver.reset();
        track.reset();
        testsupport::spin(5);  // units leave on the main thread
    }
    // Runs a slice of 512 frames at `seconds` with a constant source.
    void slice(double seconds, float source) {
        driver->run(int64_t(std::llround(seconds * 44100)), 512, source);
    }

    Session s;
    std::shared_ptr<MusicFilter> track;
    std::unique_ptr<TapDriver> driver;
    TrackTapContext* k = nullptr;
};

TEST_F(RenderCycle, NoUnitGivesThePlainSource) {
    slice(1.0, 0.25f);
    EXPECT_EQ(driver->left[0], 0.25f);
    EXPECT_EQ(driver->right[511], 0.25f);
    EXPECT_EQ(driver->framesOut, 512);
    EXPECT_EQ(k->contextSampleCount.load(), 0.0);
    EXPECT_NEAR(k->sliceTimeRange.start.seconds(), 1.0, 1e-4);
}

TEST_F(RenderCycle, InstrumentAloneAddsToTheSourceClamped) {
    hostPlugin(*track, std::make_unique<ProbeUnit>(true, 0.7f, nullptr, 'B'), ChainUnitInstrumentNotify, 100);
    struct Case {
        float source, expected;
    } cases[] = {{0.1f, 0.8f}, {0.6f, 1.0f}, {-0.9f, -0.2f}};
    for (const auto& c : cases) {
        slice(1.0, c.source);
        EXPECT_NEAR(driver->left[0], c.expected, 1e-6) << c.source;
        EXPECT_NEAR(driver->right[100], c.expected, 1e-6) << c.source;
    }
    EXPECT_EQ(k->contextSampleCount.load(), 3.0);

    // A negative instrument over a negative source stops at -1.
    track->updateAudioUnitsEnabled(false);
    hostPlugin(*track, std::make_unique<ProbeUnit>(true, -0.7f, nullptr, 'N'), ChainUnitInstrumentNotify, 101);
    slice(1.0, -0.6f);
    EXPECT_NEAR(driver->left[0], -1.0f, 1e-6);
}

TEST_F(RenderCycle, InstrumentsRenderBeforeEffectsThenBuiltIns) {
    std::vector<char> log;
    log.reserve(64);
    hostPlugin(*track, std::make_unique<ProbeUnit>(false, 0.01f, &log, 'A'), ChainUnitEffect, 100);
    hostPlugin(*track, std::make_unique<ProbeUnit>(true, 0.2f, &log, 'B'), ChainUnitInstrumentNotify, 200);
    hostPlugin(*track, std::make_unique<ProbeUnit>(false, 0.02f, &log, 'C'), ChainUnitEffect, 300);
    hostPlugin(*track, std::make_unique<ProbeUnit>(true, 0.3f, &log, 'D'), ChainUnitInstrumentNotify, 400);
    slice(1.0, 0.1f);
    EXPECT_EQ(std::string(log.begin(), log.end()), "BDAC");
    // Source, both instruments, then both effects.
    EXPECT_NEAR(driver->left[0], 0.1f + 0.2f + 0.3f + 0.01f + 0.02f, 1e-6);

    // A built-in unit that is active comes after the plug-ins.
    auto* lowPass = k->lowPassUnit().load();
    ASSERT_NE(lowPass, nullptr);
    {
        lowPass->setParameter(0, 20000.0f);
        k->contextLowPassEnabled().store(1);
        const double before = lowPass->lastRenderSampleTime();
        log.clear();
        slice(1.0, 0.1f);
        EXPECT_EQ(std::string(log.begin(), log.end()), "BDAC");
        EXPECT_NE(lowPass->lastRenderSampleTime(), before);
    }
}

TEST_F(RenderCycle, SilenceRulesAndMetering) {
    k->contextTrackStartTime.store(1.0);
    k->contextTrackEndTime.store(2.0);
    s.controller.notifyAudioMetering = true;
    struct Case {
        const char* name;
        double at;
        float expected;
    } cases[] = {
        {"before the start", 0.5, 0.0f},
        {"at the start", 1.0, 0.5f},
        {"starting exactly at the end", 2.0, 0.5f},
        {"after the end", 2.1, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const uint64_t metered = track->meteringGeneration();
        slice(c.at, 0.5f);
        EXPECT_EQ(driver->left[10], c.expected);
        EXPECT_EQ(driver->right[10], c.expected);
        EXPECT_EQ(track->meteringGeneration(), metered + 1);
        EXPECT_NEAR(track->leftChannelValue(), c.expected, 1e-6);
        EXPECT_NEAR(track->rightChannelValue(), c.expected, 1e-6);
    }
    // Solo silences and still meters.
    k->soloMuted.store(1);
    slice(1.5, 0.5f);
    EXPECT_EQ(driver->left[0], 0.0f);
    EXPECT_EQ(track->leftChannelValue(), 0.0);
    k->soloMuted.store(0);
    // Metering off: nothing is measured.
    s.controller.notifyAudioMetering = false;
    const uint64_t metered = track->meteringGeneration();
    slice(1.5, 0.5f);
    EXPECT_EQ(track->meteringGeneration(), metered);
}

TEST_F(RenderCycle, LevelFadesAndBalance) {
    k->contextTrackStartTime.store(1.0);
    k->contextTrackEndTime.store(9.0);
    k->contextFadeInDuration.store(2.0);
    k->contextVolume.store(1.0);
    slice(2.0, 0.8f);  // halfway through the fade-in
    EXPECT_NEAR(driver->left[0], 0.4f, 1e-6);
    k->contextTrackChannelMix.store(0.5);
    slice(5.0, 0.8f);
    EXPECT_NEAR(driver->left[0], 0.4f, 1e-6);
    EXPECT_NEAR(driver->right[0], 0.8f, 1e-6);
    // Curves, when there are any, replace level and balance.
    s.controller.automation[EffectInput::AudioMix] = 1.2;  // clamped to 1
    s.controller.automation[EffectInput::ChannelMix] = 0.0;
    slice(2.0, 0.8f);
    EXPECT_NEAR(driver->left[0], 0.8f, 1e-6);
    EXPECT_NEAR(driver->right[0], 0.8f, 1e-6);
    // Paused keys use the context's values again.
    s.controller.setPauseUpdateRecordedParameters({"inputAudioMix", "inputChannelMix"});
    slice(2.0, 0.8f);
    EXPECT_NEAR(driver->left[0], 0.2f, 1e-6);
    EXPECT_NEAR(driver->right[0], 0.4f, 1e-6);
}

TEST_F(RenderCycle, AutomationIsAskedOncePerSliceAtThePreviousStart) {
    s.controller.selectionTimes.reserve(8);
    slice(1.0, 0.1f);
    slice(2.0, 0.1f);
    ASSERT_EQ(s.controller.selectionTimes.size(), 2u);
    EXPECT_EQ(s.controller.selectionTimes[0], MediaTime::zero());
    EXPECT_NEAR(s.controller.selectionTimes[1].seconds(), 1.0, 1e-4);
    // 22 unit keys, then level and balance.
    s.controller.asked.clear();
    slice(3.0, 0.1f);
    ASSERT_EQ(s.controller.asked.size(), 24u);
    EXPECT_EQ(s.controller.asked.front(), EffectInput::Pitch);
    EXPECT_EQ(s.controller.asked[21], EffectInput::Gain16K);
    EXPECT_EQ(s.controller.asked[22], EffectInput::AudioMix);
    EXPECT_EQ(s.controller.asked[23], EffectInput::ChannelMix);
    // A paused key is not asked.
    s.controller.setPauseUpdateRecordedParameters({"inputLowPassCutoff"});
    s.controller.asked.clear();
    slice(3.0, 0.1f);
    EXPECT_EQ(s.controller.asked.size(), 23u);
    EXPECT_EQ(std::count(s.controller.asked.begin(), s.controller.asked.end(), EffectInput::LowPassCutoff), 0);
}

TEST_F(RenderCycle, PausedKeyKeepsTheActiveFlag) {
    auto* lowPass = k->lowPassUnit().load();
    ASSERT_NE(lowPass, nullptr);
    lowPass->setParameter(0, 200.0f);
    k->contextLowPassEnabled().store(1);
    s.controller.automation[EffectInput::LowPassCutoff] = 0.0;  // would take the unit out
    auto lastRender = [&] { return lowPass->lastRenderSampleTime(); };
    s.controller.setPauseUpdateRecordedParameters({"inputLowPassCutoff"});
    k->contextSampleCount.store(5);
    slice(1.0, 0.1f);
    EXPECT_EQ(lastRender(), 5.0);  // rendered in this slice
    s.controller.setPauseUpdateRecordedParameters({});
    slice(1.0, 0.1f);
    EXPECT_EQ(lastRender(), 5.0);  // left out
    EXPECT_EQ(k->contextLowPassEnabled().load(), 1);  // the context's byte is not changed
}

TEST_F(RenderCycle, SpectrumOfTheSelectedTrack) {
    s.controller.notifyAudioMetering = true;
    s.controller.showEQFFT = true;
    s.controller.currentSelectedAudio = 1;
    track->setViewIndex(0);
    slice(1.0, 0.3f);
    EXPECT_EQ(s.controller.eqSpectrum.generation(), 0u);  // not the selected track
    track->setViewIndex(1);
    slice(1.0, 0.3f);
    EXPECT_EQ(s.controller.eqSpectrum.generation(), 1u);
    auto frame = s.controller.eqSpectrum.frame();
    EXPECT_EQ(frame.fftCount, 256u);
    EXPECT_NEAR(frame.fftMagnitudes[0], 0.3f * 512, 1e-2);  // a constant is all DC
    EXPECT_NEAR(frame.fftViewTime, 1.0, 1e-4);
    slice(1.03, 0.3f);  // too close to the last
    EXPECT_EQ(s.controller.eqSpectrum.generation(), 1u);
    slice(1.06, 0.3f);
    EXPECT_EQ(s.controller.eqSpectrum.generation(), 2u);
    slice(0.0, 0.3f);  // a seek back: at once
    EXPECT_EQ(s.controller.eqSpectrum.generation(), 3u);
    s.controller.showEQFFT = false;
    slice(5.0, 0.3f);
    EXPECT_EQ(s.controller.eqSpectrum.generation(), 3u);
}

TEST_F(RenderCycle, RenderAllocatesNothingAndTakesNoLock) {
    hostPlugin(*track, std::make_unique<ProbeUnit>(false, 0.0f, nullptr, 'A'), ChainUnitEffect, 100);
    hostPlugin(*track, std::make_unique<ProbeUnit>(true, 0.1f, nullptr, 'B'), ChainUnitInstrumentNotify, 200);
    for (int i = 0; i < kBuiltInUnitCount; ++i) k->unitFlags[i].store(1);
    s.controller.notifyAudioMetering = true;
    s.controller.showEQFFT = true;
    s.controller.currentSelectedAudio = 0;
    track->setViewIndex(0);
    s.controller.automation[EffectInput::AudioMix] = 0.5;
    slice(0.0, 0.1f);  // first use
    const uint64_t before = realtime::violationCount();
    for (int i = 1; i < 200; ++i) slice(i * 512 / 44100.0, 0.1f);
    EXPECT_EQ(realtime::violationCount(), before);
}

TEST(RealtimeHook, SeesALockAndAnAllocationInARenderScope) {
    std::mutex m;
    const uint64_t before = realtime::violationCount();
    {
        realtime::Scope scope;
        std::lock_guard lock(m);
    }
    EXPECT_EQ(realtime::violationCount(), before + 1);
    {
        realtime::Scope scope;
        std::vector<int> v(16);  // a real allocation the compiler keeps
        v[3] = 1;
        EXPECT_EQ(v[3], 1);
    }
    EXPECT_EQ(realtime::violationCount(), before + 2);
    std::lock_guard lock(m);  // outside a scope: fine
    EXPECT_EQ(realtime::violationCount(), before + 2);
}

TEST_F(RenderCycle, UnsupportedFormatPassesTheSourceThrough) {
    driver.reset();
    auto tap = s.mix->inputParameters()[0]->audioTapProcessor();
    units::StreamFormat integer = units::StreamFormat::canonical(44100, 2);
    integer.sampleType = units::StreamFormat::SampleType::Int16;
    tap->attach(512, integer);
    driver = std::make_unique<TapDriver>(tap);  // a second attach does not prepare again
    k = driver->context();
    EXPECT_EQ(k->formatSupported.load(), 0);
    s.controller.notifyAudioMetering = true;
    k->contextVolume.store(0.5);
    k->soloMuted.store(1);
    const uint64_t metered = track->meteringGeneration();
    slice(1.0, 0.25f);
    EXPECT_EQ(driver->left[0], 0.25f);
    EXPECT_EQ(track->meteringGeneration(), metered);
    tap->detach();
}

}  // namespace
