#include "ControllerFixture.h"

#include "views/FloatSlider.h"
#include "views/LineView.h"
#include "views/StyledControls.h"

#include <QLabel>

#include <functional>

namespace {

using testsupport::waitUntil;
using TransportTest = ControllerTest;

TEST_F(TransportTest, ControlsLockedWhileUnknownAndUnlockedWhenReady) {
    addTrack();
    auto item = makeItem(2);
    player->replaceCurrentItem(item);  // its sources are still being read
    ASSERT_EQ(item->status(), PlayerItem::Status::Unknown);
    EXPECT_TRUE(c->shell.audioControllerIsWorking);
    EXPECT_FALSE(c->shell.continueTimeObserver);
    EXPECT_FALSE(c->ui.audioView->viewAcceptsMouseEvents);
    EXPECT_FALSE(c->ui.audioSlider->isEnabled());

    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItem::Status::ReadyToPlay; }));
    EXPECT_FALSE(c->shell.audioControllerIsWorking);
    EXPECT_TRUE(c->shell.continueTimeObserver);
    EXPECT_TRUE(c->ui.audioView->viewAcceptsMouseEvents);
    EXPECT_TRUE(c->shell.viewControlsEnabled);
    EXPECT_TRUE(c->ui.audioSlider->isEnabled());
    EXPECT_TRUE(c->ui.sliderChannelMix->isEnabled());

    // No item, or no tracks: disabled, not busy, no seek pending.
    c->shell.seekTime = 4;
    player->replaceCurrentItem(nullptr);
    EXPECT_FALSE(c->shell.viewControlsEnabled);
    EXPECT_FALSE(c->shell.audioControllerIsWorking);
    EXPECT_DOUBLE_EQ(c->shell.seekTime, -1.0);
    EXPECT_FALSE(c->ui.audioSlider->isEnabled());
}

// A failed item gives the controls back and says so.
TEST_F(TransportTest, FailedItemUnlocksAndReportsAnError) {
    addTrack();
    auto item = makeBrokenItem();
    answer = 0;
    player->replaceCurrentItem(item);
    EXPECT_TRUE(c->shell.audioControllerIsWorking);
    ASSERT_TRUE(waitUntil([&] { return !alerts.empty(); }));
    EXPECT_EQ(item->status(), PlayerItem::Status::Failed);
    EXPECT_EQ(alerts.front().messageText, "An error occurred.");
    EXPECT_FALSE(c->shell.audioControllerIsWorking);
    EXPECT_TRUE(c->shell.viewControlsEnabled);
    // Nothing plays from a failed item.
    c->playPauseToggle();
    EXPECT_EQ(player->rate(), 0.0f);
}

TEST_F(TransportTest, PendingSeekIsPerformedClampedWhenReady) {
    c->shell.compositionDuration = MediaTime(3, 1);
    c->setupAudioSliderWithTotalTime(c->shell.compositionDuration);
    addTrack();
    auto item = makeItem(3);
    player->replaceCurrentItem(item);
    c->updateCurrentTime(1);
    c->updateCurrentTime(35);  // replaces the first request
    EXPECT_DOUBLE_EQ(c->shell.seekTime, 35.0);

    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItem::Status::ReadyToPlay; }));
    EXPECT_DOUBLE_EQ(c->shell.seekTime, -1.0);
    ASSERT_TRUE(waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    EXPECT_TRUE(c->shell.viewControlsEnabled);
    EXPECT_DOUBLE_EQ(player->currentTime().seconds(), 3.0);
    EXPECT_DOUBLE_EQ(c->ui.audioSlider->floatValue(), 3.0);
    EXPECT_DOUBLE_EQ(c->ui.lineView->linePercent, 1.0);
    EXPECT_EQ(c->ui.labelStart->text(), "00:00:03");
    EXPECT_EQ(c->ui.labelEnd->text(), "-00:00:00");
}

// A pending seek whose composition has meanwhile lost its length does not
// keep the controls locked.
TEST_F(TransportTest, PendingSeekWithoutLengthStillUnlocks) {
    c->shell.compositionDuration = MediaTime(3, 1);
    addTrack();
    auto item = makeItem(3);
    player->replaceCurrentItem(item);
    c->updateCurrentTime(2);
    c->shell.compositionDuration = MediaTime::zero();
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItem::Status::ReadyToPlay; }));
    EXPECT_FALSE(c->shell.audioControllerIsWorking);
    EXPECT_TRUE(c->shell.viewControlsEnabled);
    EXPECT_DOUBLE_EQ(c->shell.seekTime, -1.0);
}

TEST_F(TransportTest, SeeksGoExactlyWhereAsked) {
    readyComposition(4);
    seekAndWait(2.5);
    EXPECT_EQ(player->currentTime(), MediaTime::fromSeconds(2.5, rate));
    EXPECT_DOUBLE_EQ(c->ui.audioSlider->floatValue(), 2.5);
    EXPECT_DOUBLE_EQ(c->miniPlayer.playerAudioSlider->floatValue(), 2.5);
    EXPECT_DOUBLE_EQ(c->ui.lineView->globalLinePercent, 2.5 / 4);
    // A later request replaces one still under way; the last one wins.
    c->updateCurrentTime(1);
    c->updateCurrentTime(3);
    ASSERT_TRUE(waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    testsupport::spin(50);
    EXPECT_DOUBLE_EQ(c->ui.audioSlider->floatValue(), 3.0);
    EXPECT_EQ(player->currentTime(), MediaTime(3, 1));
}

TEST_F(TransportTest, SeekWithoutLengthDoesNothing) {
    readyComposition(2);
    seekAndWait(1);
    c->shell.compositionDuration = MediaTime::zero();
    c->updateCurrentTime(0.5);
    EXPECT_FALSE(c->shell.audioControllerIsWorking);
    testsupport::spin(50);
    EXPECT_DOUBLE_EQ(player->currentTime().seconds(), 1.0);
}

TEST_F(TransportTest, PlayAtTheEndStartsFromTheBeginning) {
    readyComposition(2);
    seekAndWait(2);
    ASSERT_EQ(player->currentTime(), player->currentItem()->duration());
    c->playPauseToggle();
    EXPECT_EQ(player->rate(), 1.0f);
    EXPECT_TRUE(c->shell.isPlaying);
    ASSERT_TRUE(waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    testsupport::spin(200);
    EXPECT_LT(player->currentTime().seconds(), 1.0);
    EXPECT_GT(player->currentTime().seconds(), 0.0);
    c->playPauseToggle();
    EXPECT_EQ(player->rate(), 0.0f);
    EXPECT_FALSE(c->shell.isPlaying);
}

// Played to its end, the item pauses the player; the clock has moved the
// position slider and the playback line meanwhile.
TEST_F(TransportTest, PlaysToTheEndAndPauses) {
    readyComposition(1);
    c->updatePlayerItemObserver();
    c->playPauseToggle();
    ASSERT_TRUE(waitUntil([&] { return c->ui.audioSlider->floatValue() > 0.2; }, 3000));
    EXPECT_GT(c->ui.lineView->globalLinePercent, 0.2);
    ASSERT_TRUE(waitUntil([&] { return !c->shell.isPlaying; }, 5000));
    EXPECT_EQ(player->rate(), 0.0f);
    EXPECT_TRUE(c->ui.playPauseButton->isPause);
}

TEST_F(TransportTest, FastForwardAndRewindRates) {
    readyComposition(30);
    seekAndWait(15);
    struct Step {
        void (AudioController::*press)();
        float rate;
    };
    const std::vector<Step> steps = {
        {&AudioController::fastForward, 2},  {&AudioController::fastForward, 4},
        {&AudioController::fastForward, 4},  {&AudioController::rewind, -2},
        {&AudioController::rewind, -4},      {&AudioController::rewind, -4},
        {&AudioController::playPauseToggle, 0},  // from a fast speed: pause
        {&AudioController::playPauseToggle, 1},
        {&AudioController::fastForward, 2},  {&AudioController::playPauseToggle, 0},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        // Through std::invoke: g++ 12's undefined-behaviour checks miscompile
        // a call through a member pointer written `(c->*press)()` when `c`
        // is a member of the fixture (they check and read the wrong object).
        std::invoke(steps[i].press, c);
        EXPECT_EQ(player->rate(), steps[i].rate) << "step " << i;
    }
}

TEST_F(TransportTest, TransportIgnoredWithoutTracksOrReadyItem) {
    auto item = makeItem(1);
    player->replaceCurrentItem(item);
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItem::Status::ReadyToPlay; }));
    c->playPauseToggle();  // no tracks
    c->fastForward();
    EXPECT_EQ(player->rate(), 0.0f);
    addTrack();
    player->replaceCurrentItem(makeItem(1));  // not ready yet
    c->playPauseToggle();
    c->rewind();
    EXPECT_EQ(player->rate(), 0.0f);
}

TEST_F(TransportTest, RateChangesSetThePlayingStateAndButtons) {
    readyComposition(10);
    int posts = 0;
    QObject::connect(c, &AudioController::playerStateChanged, [&] { ++posts; });
    player->setRate(2.0f);
    EXPECT_TRUE(c->shell.isPlaying);
    EXPECT_TRUE(c->ui.playPauseButton->isPlay);
    EXPECT_FALSE(c->miniPlayer.playerPlayPauseButton->isPause);
    EXPECT_EQ(c->ui.playPauseButton->symbol(), PlayPauseButton::Symbol::PauseBars);
    player->setRate(1.0f);  // still playing: no new post
    EXPECT_EQ(posts, 1);
    player->setRate(0.0f);
    EXPECT_EQ(posts, 2);
    EXPECT_TRUE(c->ui.playPauseButton->isPause);
    EXPECT_EQ(c->ui.playPauseButton->symbol(), PlayPauseButton::Symbol::PlayTriangle);
}

TEST_F(TransportTest, VolumeSlidersMoveTogether) {
    readyComposition(1);
    c->ui.sliderPlayerVolume->setFloatValue(0.3);
    emit c->ui.sliderPlayerVolume->action(c->ui.sliderPlayerVolume);
    EXPECT_FLOAT_EQ(player->volume(), 0.3f);
    EXPECT_NEAR(c->miniPlayer.miniPlayerVolume->floatValue(), 0.3, 1e-6);
    c->miniPlayer.miniPlayerVolume->setFloatValue(0.6);
    emit c->miniPlayer.miniPlayerVolume->action(c->miniPlayer.miniPlayerVolume);
    EXPECT_NEAR(c->ui.sliderPlayerVolume->floatValue(), 0.6, 1e-6);
    EXPECT_FLOAT_EQ(player->volume(), 0.6f);
}

// Dragging a position slider: the display follows at once, the seek comes
// once the burst is over; while busy the slider snaps back.
TEST_F(TransportTest, PositionSliderSeeks) {
    readyComposition(10);
    c->ui.audioSlider->setFloatValue(2.5);
    c->updateCurrentTimeFrom(c->ui.audioSlider);
    c->ui.audioSlider->setFloatValue(4);
    c->updateCurrentTimeFrom(c->ui.audioSlider);
    EXPECT_FALSE(c->shell.continueTimeObserver);
    EXPECT_DOUBLE_EQ(c->ui.lineView->linePercent, 0.4);
    EXPECT_EQ(c->ui.labelStart->text(), "00:00:04");
    ASSERT_TRUE(waitUntil([&] { return player->currentTime() == MediaTime(4, 1); }));
    ASSERT_TRUE(waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    EXPECT_TRUE(c->shell.continueTimeObserver);

    c->shell.audioControllerIsWorking = true;
    c->ui.audioSlider->setFloatValue(7);
    c->updateCurrentTimeFrom(c->ui.audioSlider);
    EXPECT_DOUBLE_EQ(c->ui.audioSlider->floatValue(), 4.0);
}

}  // namespace
