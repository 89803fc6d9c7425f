#include "TrackListFixture.h"

#include "platform/core/TimeText.h"
#include "views/ColorWell.h"
#include "views/LineView.h"
#include "views/SmallViews.h"

namespace {

using CompositionDurationTest = TrackListTest;

TEST_F(CompositionDurationTest, FieldsSetTheLengthOrAreRefused) {
    struct Case {
        const char* minutes;
        const char* seconds;
        double length;  // -1: refused, the length stays
        const char* shownMinutes;
        const char* shownSeconds;
    } cases[] = {
        {"0", "90", 90, "1", "30"},   {"2", "0", 120, "2", "0"},
        {"0", "0.5", -1, "0", "0"},   {"0", "0", -1, "0", "0"},      {"-1", "30", -1, "0", "0"},
        {"0", "1", 1, "0", "1"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string(k.minutes) + ":" + k.seconds);
        c->shell.compositionDuration = MediaTime::fromSeconds(600, 44100);
        c->undoManager()->removeAllActions();
        setFields(QString::fromLatin1(k.minutes), QString::fromLatin1(k.seconds));
        c->updateCompositionDuration();
        endEvent();
        EXPECT_NEAR(c->shell.compositionDuration.seconds(), k.length < 0 ? 600 : k.length, 1e-4);
        EXPECT_EQ(fields(), std::make_pair(QString::fromLatin1(k.shownMinutes), QString::fromLatin1(k.shownSeconds)));
        EXPECT_EQ(c->undoManager()->canUndo(), k.length > 0);
    }
}

TEST_F(CompositionDurationTest, SameLengthAddsNoUndo) {
    setFields("1", "30");
    c->updateCompositionDuration();
    endEvent();
    ASSERT_EQ(c->undoManager()->undoCount(), 1);
    setFields("0", "90");
    c->updateCompositionDuration();
    endEvent();
    EXPECT_EQ(c->undoManager()->undoCount(), 1);
}

TEST_F(CompositionDurationTest, WithoutTracksUndoRestoresLengthFieldsAndWidth) {
    const double before = c->shell.compositionDuration.seconds();
    const int width = c->ui.audioView->width();
    setFields("1", "30");
    c->updateCompositionDuration();
    endEvent();
    EXPECT_EQ(c->ui.audioView->width(), int(90 * c->shell.scaleFactor));
    undo();
    EXPECT_NEAR(c->shell.compositionDuration.seconds(), before, 1e-6);
    EXPECT_EQ(fields(), std::make_pair(QStringLiteral("0"), QStringLiteral("0")));
    EXPECT_EQ(c->ui.audioView->width(), int(before * c->shell.scaleFactor)) << width;
    redo();
    EXPECT_NEAR(c->shell.compositionDuration.seconds(), 90, 1e-6);
    EXPECT_EQ(fields(), std::make_pair(QStringLiteral("1"), QStringLiteral("30")));
}

// Two tracks of 20 s and 8 s in a 30 s composition; shortened to 10 s, the
// first is cut at the end, the second fits; lengthening gives nothing back,
// undo does.
TEST_F(CompositionDurationTest, ShorteningCutsLengtheningDoesNotUndoDoes) {
    setLength("0", "30");
    auto a = append(writeTone("a.wav", 20, 440));
    auto b = append(writeTone("b.wav", 8, 440));
    waitForReadyItem();
    ASSERT_NEAR(c->shell.compositionDuration.seconds(), 30, 1e-6);
    c->ui.lineView->globalLinePercent = 0.5;
    countItemChanges();

    setFields("0", "10");
    c->updateCompositionDuration();
    endEvent();
    EXPECT_EQ(itemChanges, 1);
    EXPECT_EQ(c->ui.lineView->globalLinePercent, 0);
    EXPECT_NEAR(a->audioOriginInPercent, 0, 1e-9);
    EXPECT_NEAR(a->audioDurationInPercent, 0.5, 0.01);
    EXPECT_NEAR(a->animationEnd().seconds(), 10, 0.05);
    EXPECT_NEAR(a->currentTimeRange().duration.seconds(), 10, 0.05);
    EXPECT_EQ(text(a->audioTimeLabel), QStringLiteral("00:00:10 / 00:00:20"));
    EXPECT_NEAR(b->audioDurationInPercent, 1, 0.01);
    EXPECT_NEAR(b->animationEnd().seconds(), 8, 0.05);
    // The lane keeps its size in points; only the outline is cut.
    EXPECT_EQ(lane(0)->width(), int(20 * c->shell.scaleFactor));
    EXPECT_NEAR(lane(0)->drawingBezierPath.boundingRect().width(), 10 * c->shell.scaleFactor, 1);

    setFields("0", "40");
    c->updateCompositionDuration();
    endEvent();
    EXPECT_NEAR(a->audioDurationInPercent, 0.5, 0.01);
    EXPECT_NEAR(a->animationEnd().seconds(), 10, 0.05);

    undo();  // back to 10 s
    undo();  // back to 30 s, the whole of the first track
    EXPECT_NEAR(c->shell.compositionDuration.seconds(), 30, 1e-6);
    EXPECT_NEAR(a->audioDurationInPercent, 1, 0.01);
    EXPECT_NEAR(a->animationEnd().seconds(), 20, 0.05);
    EXPECT_NEAR(lane(0)->drawingBezierPath.boundingRect().width(), 20 * c->shell.scaleFactor, 1);
    waitForReadyItem();
    EXPECT_NEAR(player->currentItem()->duration().seconds(), 20, 0.05);
}

TEST_F(CompositionDurationTest, UndoAtAnotherZoomScalesTheLanes) {
    setLength("0", "30");
    append(writeTone("a.wav", 20, 440));
    setFields("0", "10");
    c->updateCompositionDuration();
    endEvent();
    const int width = lane(0)->width();
    c->shell.zoomValue = 2.0;
    undo();
    EXPECT_EQ(lane(0)->width(), 2 * width);
}

// A used part that lies wholly past the new end keeps no width and leaves
// the composition; its fractions and times stay in range.
TEST_F(CompositionDurationTest, TrackWhollyPastTheEndIsLeftOut) {
    setLength("0", "30");
    auto a = append(writeTone("a.wav", 20, 440));
    append(writeTone("b.wav", 5, 440));
    AudioDrawingView* l = lane(0);
    // The used part is the file's last 5 s, placed at 15 s.
    a->audioOriginInPercent = 0.75;
    a->audioDurationInPercent = 0.25;
    l->drawingBezierPath = AudioDrawingView::regionPath(QRectF(0.75 * l->width(), 10, 0.25 * l->width(), 180));
    setFields("0", "10");
    c->updateCompositionDuration();
    endEvent();
    EXPECT_EQ(l->drawingBezierPath.boundingRect().width(), 0);
    EXPECT_LE(a->audioDurationInPercent, 0.01);
    EXPECT_GE(a->audioOriginInPercent, 0);
    EXPECT_LE(a->animationEnd().seconds(), 10 + 1e-6);
    EXPECT_EQ(a->trackID, -1);
    EXPECT_EQ(c->currentComposition->trackCount(), 1);
    undo();
    EXPECT_NEAR(a->audioDurationInPercent, 0.25, 1e-9);
    EXPECT_NE(a->trackID, -1);
}

// With every track left out the controls stay usable; undo brings the
// track and its sound back.
TEST_F(CompositionDurationTest, EveryTrackLeftOutKeepsTheControlsUsable) {
    setLength("0", "30");
    auto a = append(writeTone("a.wav", 20, 440));
    waitForReadyItem();
    AudioDrawingView* l = lane(0);
    a->audioOriginInPercent = 0.75;
    a->audioDurationInPercent = 0.25;
    l->drawingBezierPath = AudioDrawingView::regionPath(QRectF(0.75 * l->width(), 10, 0.25 * l->width(), 180));
    setLength("0", "10");
    EXPECT_EQ(a->trackID, -1);
    // No track sounds: there is no item to wait for, and nothing stays busy.
    EXPECT_TRUE(testsupport::waitUntil([&] { return c->shell.viewControlsEnabled; }, 3000));
    EXPECT_FALSE(c->shell.audioControllerIsWorking);
    undo();
    EXPECT_NE(a->trackID, -1);
    waitForReadyItem();
    EXPECT_FALSE(c->shell.audioControllerIsWorking);
}

TEST_F(CompositionDurationTest, ShortUndoRecordLaysOutTheRest) {
    setLength("0", "30");
    auto a = append(writeTone("a.wav", 20, 440));
    auto b = append(writeTone("b.wav", 20, 440));
    CompositionDurationChangeUndoRecord record{MediaTime::fromSeconds(10, 44100),
                                               std::vector<TrackFrameUndoRecord>{{0, 40, 1, 0, 1}}};
    c->updateCompositionDuration(record);
    EXPECT_NEAR(b->animationEnd().seconds(), 10, 0.05);
    EXPECT_NEAR(b->audioDurationInPercent, 0.5, 0.01);
    EXPECT_LE(a->animationEnd().seconds(), 10 + 1e-6);
}

// The ruler's labels follow the length: shortened to a minute, the track
// area ends well inside the window and no label reads past the end; back
// at ten minutes, each label reads the time under its place again.
TEST_F(CompositionDurationTest, RulerLabelsFollowTheLength) {
    c->ui.window->resize(1200, 900);
    c->ui.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(c->ui.window));
    setLength("10", "0");
    append(writeTone("a.wav", 30, 440));
    QLabel* const labels[] = {c->ui.leftTimeLabel, c->ui.leftMiddleTimeLabel, c->ui.middleTimeLabel,
                              c->ui.rightMiddleTimeLabel, c->ui.rightTimeLabel};
    auto shown = [&] {
        QStringList t;
        for (QLabel* l : labels) t << l->text();
        return t.join(' ').toStdString();
    };
    const double vw = c->ui.audioScrollView->viewport()->width();
    ASSERT_GT(vw, 2 * 60 * c->shell.scaleFactor);  // a minute ends inside the view
    const std::string tenMinutes = shown();
    EXPECT_TRUE(tenMinutes.ends_with(timeText(vw / c->shell.scaleFactor).toStdString())) << tenMinutes;

    // Every label but the first lies past the end of a minute: none shows.
    setLength("1", "0");
    EXPECT_EQ(shown(), "00:00:00    ");

    undo();
    EXPECT_EQ(shown(), tenMinutes);
}

// At launch the composition is empty: the preferences' length waits in the
// fields for the first track, and the empty composition keeps no length. A
// stored length under a second is not taken.
TEST_F(CompositionDurationTest, PreferencesLengthAtLeastOneSecond) {
    const int emptyWidth = c->ui.audioView->width();
    c->updateCompositionDurationFromPreferences(0, 0.5);
    EXPECT_EQ(fields(), std::make_pair(QStringLiteral("10"), QStringLiteral("0")));
    c->updateCompositionDurationFromPreferences(0, 90);
    EXPECT_EQ(c->shell.compositionDuration, MediaTime::zero());
    EXPECT_EQ(fields(), std::make_pair(QStringLiteral("1"), QStringLiteral("30")));
    EXPECT_EQ(c->ui.audioView->width(), emptyWidth);
    EXPECT_FALSE(c->undoManager()->canUndo());
    append(writeTone("a.wav", 20, 440));
    EXPECT_NEAR(c->shell.compositionDuration.seconds(), 90, 1e-6);
    EXPECT_EQ(c->ui.audioView->width(), int(90 * c->shell.scaleFactor));
}

TEST_F(CompositionDurationTest, TrackColourFromThePreferences) {
    c->updateTrackColorFromPreferencesForAllFilters(Qt::red);  // no track: nothing to do
    auto a = append(writeTone("a.wav", 2, 440));
    c->updateTrackColorFromPreferencesForAllFilters(QColor::fromHsv(120, 255, 255));
    EXPECT_EQ(a->trackColor(), QColor(0, 255, 0));
    EXPECT_EQ(a->trackColor().spec(), QColor::Rgb);
}

}  // namespace
