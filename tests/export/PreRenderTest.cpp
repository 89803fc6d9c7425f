#include "ExportFixture.h"

#include "export/ExportControl.h"
#include "platform/media/ProcessingTap.h"

class PreRenderTest : public ExportTest {};

namespace {
struct ContextTimes {
    double ratio, start, end, fadeIn, fadeOut;
    bool operator==(const ContextTimes&) const = default;
};
ContextTimes timesOf(const MusicFilter& t) {
    const TrackTapContext* k = t.getProcessorContext();
    if (!k) return {-1, -1, -1, -1, -1};
    return {k->contextTrackDurationRatio.load(), k->contextTrackStartTime.load(), k->contextTrackEndTime.load(),
            k->contextFadeInDuration.load(), k->contextFadeOutDuration.load()};
}
}  // namespace

TEST_F(PreRenderTest, OnlyOtherSpeedsAndOtherRatesAreRenderedAndTheContextComesBack) {
    auto normal = append(writeClicks("n.wav", 1.0, {}));
    auto other = append(writeClicks("o.wav", 1.0, {}, 48000));
    auto fast = append(writeClicks("f.wav", 1.0, {}));
    fast->setValue(EffectInput::FadeIn, 10);
    fast->setValue(EffectInput::FadeOut, 20);
    place(*fast, 0.5, 2.0f);
    ASSERT_TRUE(fast->getProcessorContext());

    struct Case { const char* name; MusicFilter* track; bool rendered; };
    const Case cases[] = {{"speed 1 at the export rate", normal.get(), false},
                          {"speed 1 from 48 kHz", other.get(), true},
                          {"speed 2 with a tap", fast.get(), true}};
    for (const Case& k : cases) EXPECT_EQ(AudioController::trackNeedsPreRender(*k.track, 44100), k.rendered) << k.name;
    // A not-a-number speed is not 1.
    normal->setValue(EffectInput::Speed, std::nanf(""));
    EXPECT_TRUE(AudioController::trackNeedsPreRender(*normal, 44100));
    normal->setValue(EffectInput::Speed, 1.0f);
    // Without a place in the mix, or with no identifier, nothing is rendered.
    TrackRecord loose = recordOf(writeClicks("loose.wav", 1.0, {}, 48000));
    EXPECT_FALSE(AudioController::trackNeedsPreRender(*loose.audioFilter, 44100));
    const int32_t id = other->trackID;
    other->trackID = -1;
    EXPECT_FALSE(AudioController::trackNeedsPreRender(*other, 44100));
    other->trackID = id;

    // The render of the speed-2 track: fades doubled while it runs, the file
    // of its used second at the export rate, then everything as it was.
    const ContextTimes before = timesOf(*fast);
    exportcontrol::beginSession(*c, 44100);
    ExportGroup group;
    bool notified = false;
    group.notify([&] { notified = true; });
    group.enter();
    fast->projectSampleRate = 44100;
    fast->copyFilterParameters();
    EXPECT_FALSE(c->createTemporaryAudioFileWithAudioFiltersAndSignalGroup(loose.audioFilter.get(), group));
    ASSERT_TRUE(c->createTemporaryAudioFileWithAudioFiltersAndSignalGroup(fast.get(), group));
    const ContextTimes during = timesOf(*fast);
    EXPECT_DOUBLE_EQ(during.fadeIn, before.fadeIn * 2);
    EXPECT_DOUBLE_EQ(during.fadeOut, before.fadeOut * 2);
    EXPECT_EQ(during.start, 0.0);
    EXPECT_DOUBLE_EQ(during.end, 1.0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return notified; }, 30000));
    const QString rendered = fast->filterParameters->temporaryAssetURL;
    EXPECT_EQ(QFileInfo(rendered).fileName(), "f.caf");
    const DecodedFile d = decode(rendered);
    EXPECT_EQ(d.rate, 44100);
    EXPECT_NEAR(double(d.frames()), 44100, 1);
    EXPECT_EQ(timesOf(*fast).ratio, before.ratio);
    exportcontrol::endSession(*c);
    fast->restoreFilterParameters();
    EXPECT_EQ(timesOf(*fast), before);
    EXPECT_FALSE(QFileInfo::exists(rendered));
    waitForReadyItem();
}

TEST_F(PreRenderTest, ThreeRendersReachAHundredPercentTogether) {
    std::vector<std::shared_ptr<MusicFilter>> three;
    for (const char* n : {"x.wav", "y.wav", "z.wav"}) three.push_back(append(writeClicks(n, 2.0, {}, 48000)));
    exportcontrol::beginSession(*c, 44100);
    c->exporting.session->preRenderCount = 3;
    c->exporting.processingPercentCompleted = 0;
    ExportGroup group;
    int notified = 0;
    group.notify([&] { ++notified; });
    group.enter();
    for (auto& t : three) {
        t->projectSampleRate = 44100;
        t->copyFilterParameters();
        group.enter();
        ASSERT_TRUE(c->createTemporaryAudioFileWithAudioFiltersAndSignalGroup(t.get(), group));
    }
    group.leave();
    EXPECT_EQ(group.count(), 3);
    // Each render adds its third: all three together make 100, and the
    // group is left once by each.
    ASSERT_TRUE(testsupport::waitUntil([&] { return notified == 1; }, 60000));
    EXPECT_EQ(group.count(), 0);
    EXPECT_NEAR(c->exporting.processingPercentCompleted, 100.0, 1e-9);
    EXPECT_EQ(sheetPercent(), "100%");
    for (auto& t : three) EXPECT_FALSE(t->filterParameters->temporaryAssetURL.isEmpty());
    exportcontrol::endSession(*c);
    for (auto& t : three) t->restoreFilterParameters();
    EXPECT_TRUE(tempFiles().isEmpty());
    waitForReadyItem();
}
