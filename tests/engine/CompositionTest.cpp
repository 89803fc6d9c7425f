#include "EngineTestSupport.h"

#include "support/Signals.h"

#include <gtest/gtest.h>

using namespace enginetest;

namespace {

// The pieces of audio of a composition track: (start, duration) in seconds.
std::vector<std::pair<double, double>> pieces(const CompositionTrack& t) {
    std::vector<std::pair<double, double>> out;
    for (const auto& s : t.segments())
        if (!s.isEmpty()) out.emplace_back(s.targetRange.start.seconds(), s.targetRange.duration.seconds());
    return out;
}

class TrackInComposition : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tenSeconds = new std::shared_ptr<Asset>(loadAsset(testsupport::writeTone("ten.wav", 10, 440)));
        twentySeconds = new std::shared_ptr<Asset>(loadAsset(testsupport::writeTone("twenty.wav", 20, 440)));
    }
    static std::shared_ptr<Asset>* tenSeconds;
    static std::shared_ptr<Asset>* twentySeconds;
    Session s;
};
std::shared_ptr<Asset>* TrackInComposition::tenSeconds = nullptr;
std::shared_ptr<Asset>* TrackInComposition::twentySeconds = nullptr;

TEST_F(TrackInComposition, RepeatFillsTheSpanAndTheCompositionCutsIt) {
    struct Case {
        const char* name;
        double start, repeat, speed, compositionLength;
        std::vector<std::pair<double, double>> expected;
    } cases[] = {
        {"25 s span of a 10 s piece", 0, 2.5, 1, 60, {{0, 10}, {10, 10}, {20, 5}}},
        {"placed at 5 s", 5, 2.5, 1, 60, {{5, 10}, {15, 10}, {25, 5}}},
        {"cut at the composition's length", 0, 2.5, 1, 22, {{0, 10}, {10, 10}, {20, 2}}},
        {"speed 2 halves the piece", 0, 2, 2, 60, {{0, 5}, {5, 5}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Session session;
        auto t = session.makeTrack(*tenSeconds, c.start);
        t->setValue(EffectInput::Repeat, float(c.repeat));
        t->setValue(EffectInput::Speed, float(c.speed));
        session.insert(*t, c.compositionLength);
        const CompositionTrack* track = session.composition->trackWithTrackID(t->trackID);
        ASSERT_NE(track, nullptr);
        auto got = pieces(*track);
        ASSERT_EQ(got.size(), c.expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i].first, c.expected[i].first, 1e-3);
            EXPECT_NEAR(got[i].second, c.expected[i].second, 1e-3);
        }
        // One mix entry for the track, carrying its tap; version 0 kept.
        ASSERT_EQ(session.mix->inputParameters().size(), 1u);
        EXPECT_EQ(session.mix->inputParameters()[0]->trackID(), t->trackID);
        EXPECT_NE(session.mix->inputParameters()[0]->audioTapProcessor(), nullptr);
        EXPECT_EQ(t->indexOfUpdatedTrack, 0u);
        EXPECT_EQ(t->tempFilterTracks.size(), 1u);
    }
}

TEST_F(TrackInComposition, RangeIsFittedToTheSource) {
    auto t = s.makeTrack(*tenSeconds);
    t->setCurrentTimeRange({MediaTime::fromSeconds(-1, 44100), MediaTime::fromSeconds(20, 44100)});
    t->setAnimationEnd(MediaTime::fromSeconds(10, 44100));
    t->addTrackToCompositionAndMixAudio(MediaTime::fromSeconds(60, 44100));
    EXPECT_EQ(t->currentTimeRange().start, MediaTime::zero());
    EXPECT_NEAR(t->currentTimeRange().duration.seconds(), 10, 1e-9);
}

TEST_F(TrackInComposition, ReinsertingReplacesTheTrack) {
    auto t = s.makeTrack(*tenSeconds);
    s.insert(*t, 60);
    const int32_t first = t->trackID;
    s.insert(*t, 60);
    EXPECT_NE(t->trackID, first);
    EXPECT_EQ(s.composition->trackCount(), 1);
    ASSERT_EQ(s.mix->inputParameters().size(), 1u);
    EXPECT_EQ(s.mix->inputParameters()[0]->trackID(), t->trackID);
}

TEST_F(TrackInComposition, FadeLengths) {
    auto t = s.makeTrack(*twentySeconds);
    s.insert(*t, 60);
    auto* k = t->getProcessorContext();
    ASSERT_NE(k, nullptr);
    struct Case {
        float fadeIn, fadeOut;
        double expectIn, expectOut;
    } cases[] = {
        {10, 10, 2, 2},
        {60, 60, 12, 8},  // the fade-out is cut to what the fade-in leaves
        {0, 10, 0, 2},    // a zero input clears its fade
        {10, 0, 2, 0},
        {0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fadeIn << " / " << c.fadeOut);
        t->setValue(EffectInput::FadeIn, 10);
        t->setValue(EffectInput::FadeOut, 10);
        t->mixAudioToVolume(0.8);  // a stale length from before
        t->setValue(EffectInput::FadeIn, c.fadeIn);
        t->setValue(EffectInput::FadeOut, c.fadeOut);
        t->mixAudioToVolume(0.7);
        EXPECT_NEAR(k->contextFadeInDuration.load(), c.expectIn, 1e-9);
        EXPECT_NEAR(k->contextFadeOutDuration.load(), c.expectOut, 1e-9);
        EXPECT_EQ(k->contextVolume.load(), 0.7);
    }
}

TEST_F(TrackInComposition, RemovalReleasesEverythingOfTheTrack) {
    auto t = s.makeTrack(*tenSeconds);
    s.insert(*t, 60);
    TapDriver driver(s.mix->inputParameters()[0]->audioTapProcessor());
    hostPlugin(*t, std::make_unique<ProbeUnit>(false, 0.0f, nullptr, 'A'), ChainUnitEffect, 1000);
    hostPlugin(*t, std::make_unique<ProbeUnit>(true, 0.1f, nullptr, 'B'), ChainUnitInstrumentNotify, 2000);
    auto records = t->pluginsArray();
    records.append({nullptr, "Not loaded", false, 3000, false});
    t->setPluginsArray(records);
    EXPECT_EQ(t->fftCount(), 256u);
    s.controller.eqSpectrum.publish(1.0, 44100, std::vector<float>(4, 1.0f).data(), 4, 0);

    t->removeTrackFromComposition();
    EXPECT_EQ(t->trackID, -1);
    EXPECT_EQ(s.composition->trackCount(), 0);
    EXPECT_TRUE(s.mix->inputParameters().empty());
    ASSERT_EQ(t->pluginsArray().size(), 3);
    for (const auto& r : t->pluginsArray()) {
        EXPECT_EQ(r.audioUnit, nullptr);
        EXPECT_FALSE(r.audioUnitEnabled);
        EXPECT_FALSE(r.audioUnitPointerSet);
    }
    EXPECT_EQ(t->pluginsArray()[2].audioUnitName, "Not loaded");
    EXPECT_EQ(t->pluginsArray()[1].audioUnitType, 2000u);
    EXPECT_TRUE(t->procRefInfoArray().empty());
    EXPECT_EQ(t->fftCount(), 0u);
    EXPECT_EQ(s.controller.eqSpectrum.frame().fftCount, 0u);
    // The tap that a player item may still hold renders nothing of the track.
    EXPECT_EQ(driver.context()->trackFilter.load(), nullptr);
    driver.run(0, 512, 0.25f);
    EXPECT_EQ(driver.left[0], 0.5f);  // untouched
}

TEST_F(TrackInComposition, RemovingATrackWithoutATap) {
    auto t = s.makeTrack(*tenSeconds);
    s.insert(*t, 60);
    s.mix->inputParameters()[0]->setAudioTapProcessor(nullptr);
    t->removeTrackFromComposition();
    EXPECT_EQ(t->trackID, -1);
    EXPECT_EQ(s.composition->trackCount(), 0);
    EXPECT_TRUE(s.mix->inputParameters().empty());
}

TEST_F(TrackInComposition, TapLeavesWhenTheTrackLeftTheComposition) {
    auto t = s.makeTrack(*tenSeconds);
    s.insert(*t, 60);
    auto params = s.mix->inputParameters()[0];
    auto tap = params->audioTapProcessor();
    // Out of the composition but still in the mix.
    s.composition->removeTrack(s.composition->trackWithTrackID(t->trackID));
    t->applyAudioEffectAndResetAudioUnits(true);
    EXPECT_EQ(params->audioTapProcessor(), nullptr);
    EXPECT_TRUE(t->procRefInfoArray().empty());
    EXPECT_EQ(static_cast<TrackTapContext*>(tap->storage())->trackFilter.load(), nullptr);
    // A track whose identifier has no entry in the mix changes nothing.
    auto other = s.makeTrack(*tenSeconds);
    other->trackID = 4242;
    other->applyAudioEffectAndResetAudioUnits(true);
    EXPECT_EQ(s.mix->inputParameters().size(), 1u);
}

}  // namespace
