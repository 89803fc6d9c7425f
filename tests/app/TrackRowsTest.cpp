// The rows of the left column beside the lanes, as the user sees them in the
// shown main window: where each view of a row stands, how names are cut, the
// column following the track area's scroll, and the Edit menu's shortcuts.
#include "TrackListFixture.h"

#include "views/SmallViews.h"

#include <QMenu>
#include <QScrollBar>
#include <QTest>

namespace {

class TrackRowsTest : public TrackListTest {
protected:
    void showWindow() {
        c->ui.window->show();
        c->ui.window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(c->ui.window));
    }
    // The top of a widget in the main window's coordinates.
    int topInWindow(QWidget* w) { return w->mapTo(c->ui.window, QPoint(0, 0)).y(); }
};

// Every row, however its track came, has its length and rate on top, the
// thumbnail and meter below and the name at the bottom; a long name is cut at
// its tail the same way after a replacement as when it was first shown.
TEST_F(TrackRowsTest, RowLayoutAndNamesForAddedDuplicatedAndReplacedTracks) {
    setLength("0", "10");
    const QString longName = QStringLiteral("a very long name of a recording made on a sunny afternoon.wav");
    append(writeTone(longName, 2, 440));
    waitForReadyItem();
    c->currentSelectedAudio = 0;
    c->duplicateAudioFileFrom();
    endEvent();
    ASSERT_EQ(tracks().size(), 2u);
    waitForReadyItem();
    const QString otherName = QStringLiteral("another long name, this one for the replacement of the copy.wav");
    c->applyValuesToSelectedAudio(1);
    QString error;
    ASSERT_TRUE(replaceFile(writeTone(otherName, 3, 440), 1, &error)) << error.toStdString();

    struct Place {
        const char* view;
        QRect frame;  // from the row's top
    };
    const Place places[] = {
        {"time", {12, 5, 200, 22}},   {"rate", {146, 5, 100, 22}},   {"thumbnail", {12, 30, 160, 120}},
        {"meter", {182, 30, 32, 120}}, {"name", {12, 170, 200, 22}},
    };
    const QString names[] = {longName, otherName};
    for (size_t i = 0; i < tracks().size(); ++i) {
        SCOPED_TRACE(i);
        const MusicFilter& f = *tracks()[i].audioFilter;
        QWidget* views[] = {f.audioTimeLabel, f.audioSampleRateLabel, f.imageView, f.meteringView, f.audioLabel};
        for (size_t k = 0; k < std::size(places); ++k)
            EXPECT_EQ(views[k]->geometry(), places[k].frame.translated(0, int(200 * i))) << places[k].view;

        auto* name = qobject_cast<TailTruncatingLabel*>(f.audioLabel.data());
        ASSERT_TRUE(name);
        EXPECT_EQ(name->text(), names[i]);
        EXPECT_EQ(name->toolTip(), names[i]);
        const QString shown = name->shownText();
        EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
        EXPECT_TRUE(names[i].startsWith(shown.chopped(1))) << shown.toStdString();
        EXPECT_LE(name->fontMetrics().horizontalAdvance(shown), name->width());
        EXPECT_EQ(name->font().pixelSize(), 11);
    }
}

// Rows of both columns start at 200 × i in the track area's coordinates at
// every scroll position, the bottom of the scroll included.
TEST_F(TrackRowsTest, ThumbnailColumnStaysLevelWithTheLanes) {
    setLength("0", "10");
    showWindow();
    for (int i = 0; i < 5; ++i) append(writeTone(QStringLiteral("t%1.wav").arg(i), 1, 440));
    waitForReadyItem();
    QScrollBar* bar = c->ui.audioScrollView->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0) << "five rows should not fit";
    for (int value : {0, bar->maximum() / 2, bar->maximum()}) {
        SCOPED_TRACE(value);
        bar->setValue(value);
        endEvent();
        EXPECT_EQ(c->ui.leftScrollView->verticalScrollBar()->value(), value);
        for (size_t i = 0; i < tracks().size(); ++i) {
            const MusicFilter& f = *tracks()[i].audioFilter;
            EXPECT_EQ(topInWindow(f.imageView) - 30, topInWindow(lane(i))) << i;
        }
    }
}

// The shortcuts act on the history as it is, whether or not the Edit menu
// was opened since it last changed.
TEST_F(TrackRowsTest, UndoShortcutsFollowTheHistoryAfterTheMenuWasOpened) {
    showWindow();
    auto* editMenu = qobject_cast<QMenu*>(c->ui.undoAction->parent());
    ASSERT_TRUE(editMenu);
    auto openAndClose = [&] {
        editMenu->popup(QPoint(10, 10));
        endEvent();
        editMenu->hide();
        endEvent();
        c->ui.window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(c->ui.window));
    };
    ASSERT_FALSE(c->undoManager()->canUndo());
    EXPECT_FALSE(c->ui.undoAction->isEnabled());
    append(writeTone("a.wav", 1, 440));
    waitForReadyItem();
    EXPECT_TRUE(c->ui.undoAction->isEnabled());

    openAndClose();
    c->ui.undoAction->trigger();  // Edit ▸ Undo
    endEvent();
    EXPECT_TRUE(tracks().empty());
    openAndClose();  // shows Undo off and Redo on

    QTest::keySequence(c->ui.window, QKeySequence::Redo);
    endEvent();
    ASSERT_EQ(tracks().size(), 1u);
    QTest::keySequence(c->ui.window, QKeySequence::Undo);
    endEvent();
    EXPECT_TRUE(tracks().empty());
    EXPECT_FALSE(c->ui.undoAction->isEnabled());
    EXPECT_TRUE(c->ui.redoAction->isEnabled());
}

// A track whose only holder was a redo entry goes with that entry when a new
// edit clears the redo list; the rest of the history stays.
TEST_F(TrackRowsTest, DroppingARemovedTrackKeepsTheHistory) {
    setLength("0", "10");
    const int edits = c->undoManager()->undoCount();
    append(writeTone("a.wav", 1, 440));
    append(writeTone("b.wav", 1, 440));
    waitForReadyItem();
    undo();  // b now lives only in the redo entry
    ASSERT_EQ(tracks().size(), 1u);
    ASSERT_TRUE(c->undoManager()->canRedo());
    append(writeTone("c.wav", 1, 440));  // a new edit drops the redo entry
    EXPECT_FALSE(c->undoManager()->canRedo());
    EXPECT_EQ(c->undoManager()->undoCount(), edits + 2);
    undo();
    undo();
    EXPECT_TRUE(tracks().empty());
}

}  // namespace
