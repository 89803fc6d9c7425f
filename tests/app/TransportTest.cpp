#include "ControllerFixture.h"

#include "support/TestSupport.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"
#include "views/StyledControls.h"

#include <QLabel>

namespace {

using TransportTest = ControllerTest;

TEST_F(TransportTest, ControlsLockedWhileUnknownAndUnlockedWhenReady) {
    addTrack();
    player->setItem(true, 30);  // status unknown
    EXPECT_TRUE(c->shell.audioControllerIsWorking);
    EXPECT_FALSE(c->shell.continueTimeObserver);
    EXPECT_FALSE(c->ui.audioView->viewAcceptsMouseEvents);
    EXPECT_FALSE(c->ui.audioSlider->isEnabled());

    player->setStatus(TransportPlayer::StatusReadyToPlay);
    EXPECT_FALSE(c->shell.audioControllerIsWorking);
    EXPECT_TRUE(c->shell.continueTimeObserver);
    EXPECT_TRUE(c->ui.audioView->viewAcceptsMouseEvents);
    EXPECT_TRUE(c->shell.viewControlsEnabled);
    EXPECT_TRUE(c->ui.audioSlider->isEnabled());
    EXPECT_TRUE(c->ui.sliderChannelMix->isEnabled());

    // No item, or no tracks: disabled, not busy, no seek pending.
    c->shell.seekTime = 4;
    player->setItem(false, 0);
    EXPECT_FALSE(c->shell.viewControlsEnabled);
    EXPECT_FALSE(c->shell.audioControllerIsWorking);
    EXPECT_DOUBLE_EQ(c->shell.seekTime, -1.0);
    EXPECT_FALSE(c->ui.audioSlider->isEnabled());
}

// A failed item gives the controls back and says so.
TEST_F(TransportTest, FailedItemUnlocksAndReportsAnError) {
    addTrack();
    player->setItem(true, 30);
    answer = 0;
    player->setStatus(TransportPlayer::StatusFailed);
    EXPECT_FALSE(c->shell.audioControllerIsWorking);
    EXPECT_TRUE(c->shell.viewControlsEnabled);
    ASSERT_TRUE(testsupport::waitUntil([&] { return !alerts.empty(); }));
    EXPECT_EQ(alerts.front().messageText, "An error occurred.");
    // Nothing plays from a failed item.
    c->playPauseToggle();
    EXPECT_EQ(player->rate(), 0.0f);
}

TEST_F(TransportTest, PendingSeekIsPerformedClampedWhenReady) {
    c->shell.compositionDuration = MediaTime(20, 1);
    c->setupAudioSliderWithTotalTime(c->shell.compositionDuration);
    addTrack();
    player->setItem(true, 20);
    c->updateCurrentTime(8);
    c->updateCurrentTime(35);  // replaces the first request
    EXPECT_EQ(player->seeks, 0);
    EXPECT_DOUBLE_EQ(c->shell.seekTime, 35.0);

    player->setStatus(TransportPlayer::StatusReadyToPlay);
    EXPECT_EQ(player->seeks, 1);
    EXPECT_DOUBLE_EQ(player->lastSeekTarget.seconds(), 20.0);
    EXPECT_DOUBLE_EQ(c->shell.seekTime, -1.0);
    // Locked until the seek's completion.
    EXPECT_TRUE(c->shell.audioControllerIsWorking);
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    EXPECT_TRUE(c->shell.viewControlsEnabled);
    EXPECT_DOUBLE_EQ(c->ui.audioSlider->floatValue(), 20.0);
    EXPECT_DOUBLE_EQ(c->ui.lineView->linePercent, 1.0);
    EXPECT_EQ(c->ui.labelStart->text(), "00:00:20");
}

TEST_F(TransportTest, SeekWithoutLengthOrPlayerDoesNothing) {
    addTrack();
    player->setItem(true, 20);
    player->setStatus(TransportPlayer::StatusReadyToPlay);
    c->updateCurrentTime(5);  // composition length 0
    EXPECT_EQ(player->seeks, 0);
    EXPECT_DOUBLE_EQ(c->shell.seekTime, -1.0);
}

TEST_F(TransportTest, InterruptedSeekLeavesTheUnlockToTheLaterOne) {
    readyComposition(20);
    c->updateCurrentTime(3);
    c->updateCurrentTime(7);
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    EXPECT_DOUBLE_EQ(c->ui.audioSlider->floatValue(), 7.0);
}

TEST_F(TransportTest, PlayAtTheEndSeeksToTheStartFirst) {
    readyComposition(10);
    player->setTimeNoSignal(MediaTime::fromSeconds(10, 44100));
    c->playPauseToggle();
    EXPECT_EQ(player->seeks, 1);
    EXPECT_EQ(player->lastSeekTarget, MediaTime::zero());
    EXPECT_EQ(player->rate(), 1.0f);
    EXPECT_TRUE(c->shell.isPlaying);
    c->playPauseToggle();
    EXPECT_EQ(player->rate(), 0.0f);
    EXPECT_FALSE(c->shell.isPlaying);
}

TEST_F(TransportTest, FastForwardAndRewindRates) {
    readyComposition(60);
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
        (c->*steps[i].press)();
        EXPECT_EQ(player->rate(), steps[i].rate) << "step " << i;
    }
}

TEST_F(TransportTest, TransportIgnoredWithoutTracksOrReadyItem) {
    player->setItem(true, 10);
    player->setStatus(TransportPlayer::StatusReadyToPlay);
    c->playPauseToggle();  // no tracks
    c->fastForward();
    EXPECT_EQ(player->rate(), 0.0f);
    addTrack();
    player->setStatus(TransportPlayer::StatusUnknown);
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
    player->setRate(1.0f);  // still playing: no new post
    EXPECT_EQ(posts, 1);
    player->setRate(0.0f);
    EXPECT_EQ(posts, 2);
    EXPECT_TRUE(c->ui.playPauseButton->isPause);
    EXPECT_EQ(c->ui.playPauseButton->symbol(), PlayPauseButton::Symbol::PlayTriangle);
}

TEST_F(TransportTest, EndOfItemPauses) {
    readyComposition(10);
    c->updatePlayerItemObserver();
    player->play();
    emit player->currentItemDidPlayToEnd();
    EXPECT_EQ(player->rate(), 0.0f);
}

TEST_F(TransportTest, VolumeSlidersMoveTogether) {
    readyComposition(10);
    c->ui.sliderPlayerVolume->setFloatValue(0.3);
    emit c->ui.sliderPlayerVolume->action(c->ui.sliderPlayerVolume);
    EXPECT_FLOAT_EQ(player->volume(), 0.3f);
    EXPECT_NEAR(c->miniPlayer.miniPlayerVolume->floatValue(), 0.3, 1e-6);
    c->miniPlayer.miniPlayerVolume->setFloatValue(0.6);
    emit c->miniPlayer.miniPlayerVolume->action(c->miniPlayer.miniPlayerVolume);
    EXPECT_NEAR(c->ui.sliderPlayerVolume->floatValue(), 0.6, 1e-6);
}

// Dragging a position slider: the display follows at once, the seek comes
// once the burst is over; while busy the slider snaps back.
TEST_F(TransportTest, PositionSliderSeeks) {
    readyComposition(100);
    c->setupAudioSliderWithTotalTime(c->shell.compositionDuration);
    c->ui.audioSlider->setFloatValue(25);
    c->updateCurrentTimeFrom(c->ui.audioSlider);
    c->ui.audioSlider->setFloatValue(40);
    c->updateCurrentTimeFrom(c->ui.audioSlider);
    EXPECT_FALSE(c->shell.continueTimeObserver);
    EXPECT_DOUBLE_EQ(c->ui.lineView->linePercent, 0.4);
    EXPECT_EQ(c->ui.labelStart->text(), "00:00:40");
    ASSERT_TRUE(testsupport::waitUntil([&] { return player->seeks > 0 && !c->shell.audioControllerIsWorking; }));
    EXPECT_EQ(player->seeks, 1);
    EXPECT_DOUBLE_EQ(player->lastSeekTarget.seconds(), 40.0);

    c->shell.audioControllerIsWorking = true;
    c->ui.audioSlider->setFloatValue(70);
    c->updateCurrentTimeFrom(c->ui.audioSlider);
    EXPECT_DOUBLE_EQ(c->ui.audioSlider->floatValue(), 40.0);
}

}  // namespace
