// What the controller answers when a track asks: the composition's length,
// a new player item for a new tap, the project's tap count, the meters when
// an item becomes ready.
#include "TrackListFixture.h"

#include "engine/TrackTapContext.h"
#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"
#include "views/MusicView.h"

namespace {

using ControllerHooksTest = TrackListTest;

// An edit that makes a track longer is cut at the composition's end.
TEST_F(ControllerHooksTest, RangeEditIsCutAtTheCompositionsEnd) {
    setFields("0", "6");
    auto a = append(writeTone("a.wav", 4, 440));
    waitForReadyItem();
    ASSERT_NEAR(c->compositionDuration().seconds(), 6.0, 1e-6);
    // Four seconds of silence in front of four seconds of tone: eight
    // seconds of track in a six-second composition.
    ASSERT_TRUE(a->addEmptyTrackTimeRange({MediaTime::zero(), MediaTime::fromSeconds(4, 44100)}));
    const CompositionTrack* t = c->currentComposition->trackWithTrackID(a->trackID);
    ASSERT_NE(t, nullptr);
    EXPECT_NEAR(t->duration().seconds(), 6.0, 1e-3);
}

// A value push on a track whose mix input lost its tap makes a new tap, and
// the player's next item plays it.
TEST_F(ControllerHooksTest, ValuePushThatMakesATapGetsANewItem) {
    auto a = append(writeTone("a.wav", 2, 440));
    waitForReadyItem();
    a->mixInput()->setAudioTapProcessor(nullptr);
    a->setValue(EffectInput::Pitch, 700);
    a->updatePitchValue();
    const auto tap = a->mixInputTap();
    ASSERT_NE(tap, nullptr);
    ASSERT_TRUE(testsupport::waitUntil([&] {
        PlayerItem* item = player->currentItem();
        if (!item || !item->audioMix()) return false;
        for (const auto& p : item->audioMix()->inputParameters())
            if (p->trackID() == a->trackID && p->audioTapProcessor() == tap) return true;
        return false;
    }));
    waitForReadyItem();
}

// While a project loads, a track whose file fails counts its tap off, so the
// load still ends.
TEST_F(ControllerHooksTest, FailedProjectTrackCountsItsTapOff) {
    auto a = append(writeTone("a.wav", 2, 440));
    c->library.doNotUpdatePlayerSettings = true;
    c->library.trackCounter = 1;
    c->beginLoadingTapsFromProject(2);
    auto* thumbnail = qobject_cast<MusicView*>(a->imageView.data());
    ASSERT_NE(thumbnail, nullptr);
    thumbnail->assetLoadDidFail(thumbnail, QStringLiteral("gone"));
    EXPECT_EQ(c->tapCounter(), 1u);
    EXPECT_TRUE(c->loadTapFromProject());
    c->countOffProjectTap();
    EXPECT_EQ(c->tapCounter(), 0u);
    EXPECT_FALSE(c->loadTapFromProject());
}

TEST_F(ControllerHooksTest, MetersReadZeroWhenAnItemBecomesReady) {
    auto a = append(writeTone("a.wav", 2, 440));
    waitForReadyItem();
    a->setChannelLevels(0.7, 0.4);
    c->observePlayerItemStatus(int(PlayerItem::Status::ReadyToPlay));
    ASSERT_TRUE(testsupport::waitUntil([&] { return a->leftChannelValue() == 0.0; }));
    EXPECT_EQ(a->rightChannelValue(), 0.0);
}

}  // namespace
