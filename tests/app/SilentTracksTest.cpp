// Silent tracks asked for in the popover: the length fitted once the player
// has the track, the rate chosen, out-of-range lengths refused, the fitting
// undone, and the fitting acting on the silent track whatever the field or
// the selection say by then.
#include "TrackListFixture.h"

#include "platform/media/Composition.h"
#include "platform/media/MediaResources.h"
#include "views/EmptyTrackPopover.h"

#include <QComboBox>
#include <QFileInfo>
#include <QTest>

namespace {

class SilentTracksTest : public TrackListTest {
protected:
    void SetUp() override {
        TrackListTest::SetUp();
        ASSERT_FALSE(mediaresources::emptyTrackPath(44100).isEmpty());
        c->ui.window->show();
    }
    EmptyTrackPopover* popover() { return c->emptyTrackPopover(); }
    // Asks for a silent track as the user does: the popover, the length, the rate, Add.
    void request(const QString& seconds, int rateIndex) {
        c->showEmptyTrackPopoverFrom();
        popover()->durationField->setText(seconds);
        popover()->sampleRatePopUp->setCurrentIndex(rateIndex);
        c->addEmptyTrackFrom();
    }
    double laidOutSeconds(const MusicFilter& t) {
        const CompositionTrack* ct = c->currentComposition->trackWithTrackID(t.trackID);
        return ct ? ct->duration().seconds() : -1;
    }
    // Waits for the new track and for its length to settle at `seconds`.
    std::shared_ptr<MusicFilter> silentTrackOf(size_t before, double seconds) {
        EXPECT_TRUE(testsupport::waitUntil([&] {
            return tracks().size() == before + 1 && c->imports.tracksReading == 0 &&
                   tracks().back().audioFilter->hasPlayerAsset();
        }));
        if (tracks().size() != before + 1) return nullptr;
        auto t = tracks().back().audioFilter;
        EXPECT_TRUE(testsupport::waitUntil(
            [&] { return std::abs(laidOutSeconds(*t) - seconds) < 0.05 && !c->shell.shouldUpdateEmptyTrackDuration; },
            15000))
            << laidOutSeconds(*t);
        waitForReadyItem();
        endEvent();
        return t;
    }
};

TEST_F(SilentTracksTest, RequestsGiveTracksOfTheAskedLengthAndRate) {
    struct Case {
        const char* seconds;
        int rateIndex;
        double length;  // 0: nothing added
        double rate;
    };
    const Case cases[] = {
        {"60", 0, 60, 44100}, {"1", 0, 1, 44100}, {"3600", 0, 3600, 44100},
        {"60", 1, 60, 48000}, {"0.5", 0, 0, 0},   {"3601", 0, 0, 0},
    };
    // An hour of composition, so that the longest track is not cut.
    setLength("60", "0");
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.seconds) + " s, rate index " + std::to_string(k.rateIndex));
        const size_t before = tracks().size();
        const int undoSteps = c->undoManager()->undoCount();
        request(QString::fromLatin1(k.seconds), k.rateIndex);
        if (k.length == 0) {
            endEvent();
            QTest::qWait(100);
            EXPECT_EQ(tracks().size(), before);
            EXPECT_TRUE(popover()->isVisible());
            popover()->hide();
            continue;
        }
        EXPECT_FALSE(popover()->isVisible());
        auto t = silentTrackOf(before, k.length);
        ASSERT_TRUE(t);
        EXPECT_EQ(QFileInfo(tracks().back().audioURL.toLocalFile()).fileName(),
                  mediaresources::emptyTrackFileName(k.rate));
        EXPECT_EQ(t->audioTrackSampleRate, k.rate);
        EXPECT_NEAR(t->audioDuration().seconds(), k.length, 0.05);
        EXPECT_EQ(text(t->audioTimeLabel), AudioController::trackTimeText(k.length, k.length));
        // The addition is one step, a fitting one more.
        EXPECT_EQ(c->undoManager()->undoCount(), undoSteps + (k.length == 60 ? 1 : 2));
    }
}

// The fitting reaches the rendered mix; one undo gives the 60 s track back
// with its lane, and redo fits it again.
TEST_F(SilentTracksTest, TheFittingIsRenderedAndUndoneInOneStep) {
    setLength("0", "65");
    request(QStringLiteral("1"), 0);
    auto t = silentTrackOf(0, 1);
    ASSERT_TRUE(t);
    EXPECT_NEAR(double(renderedLeft().size()) / 44100, 1.0, 0.05);
    AudioDrawingView* l = lane(0);
    const int fittedWidth = l->width();

    undo();
    waitForReadyItem();
    EXPECT_NEAR(laidOutSeconds(*t), 60, 0.05);
    EXPECT_NEAR(double(renderedLeft().size()) / 44100, 60.0, 0.05);
    EXPECT_NEAR(double(l->width()) / fittedWidth, 60.0, 1.0);
    EXPECT_EQ(text(t->audioTimeLabel), AudioController::trackTimeText(60, 60));
    ASSERT_EQ(tracks().size(), 1u);

    redo();
    waitForReadyItem();
    EXPECT_NEAR(laidOutSeconds(*t), 1, 0.05);
    EXPECT_EQ(l->width(), fittedWidth);
}

// The length is the one accepted at the request, and the silent track is
// the one edited even when another track is selected by then.
TEST_F(SilentTracksTest, TheFittingUsesTheRequestAndTheSilentTrack) {
    setLength("2", "0");
    auto tone = append(writeTone(QStringLiteral("tone.wav"), 3, 440));
    waitForReadyItem();
    request(QStringLiteral("90"), 0);
    popover()->durationField->setText(QStringLiteral("5"));
    auto t = silentTrackOf(1, 90);
    ASSERT_TRUE(t);

    c->rulerSelectTrack(0);
    c->silentTracks.requestedDuration = 10;
    c->addRemoveDurationToEmptyTrack();
    waitForReadyItem();
    EXPECT_NEAR(laidOutSeconds(*t), 10, 0.05);
    EXPECT_NEAR(laidOutSeconds(*tone), 3, 0.05);
    EXPECT_NEAR(tone->audioDuration().seconds(), 3, 0.05);
}

}  // namespace
