// Markers added, named, removed and jumped to on the real main window.
#include "app/TrackListFixture.h"

#include "app/AppDelegate.h"
#include "views/MarkerNamePopover.h"

#include <QLineEdit>
#include <QMenu>
#include <QTest>

namespace {

class MarkersTest : public ShownTrackListTest {
protected:
    std::vector<double> times() const {
        std::vector<double> t;
        for (const auto& m : c->editing.markersArray) t.push_back(m.markerTime);
        return t;
    }
    // Types `name` in the open popover and presses Return, as the user does.
    void typeName(const QString& name) {
        QLineEdit* field = c->markerNamePopover()->markerTextField;
        field->setText(name);
        QTest::keyClick(field, Qt::Key_Return);
        endEvent();
    }
    QStringList appMenuTitles() {
        QMenu menu;
        d->menuWillOpen(&menu);
        QStringList titles;
        for (QAction* a : menu.actions()) titles << a->text();
        return titles;
    }
};

TEST_F(MarkersTest, AddedMarkersAreSortedNamedRenamedAndRemoved) {
    append(writeTone(QStringLiteral("markers.wav"), 80, 440));
    waitForReadyItem();
    for (double t : {30.0, 10.0, 20.0}) {
        c->addMarkerForTime(t);
        // The new marker is the one being named, at its sorted index.
        EXPECT_EQ(c->editing.markersArray[c->editing.currentSelectedMarker].markerTime, t);
        EXPECT_TRUE(c->markerNamePopover()->isVisible());
        EXPECT_EQ(c->markerNamePopover()->markerTextField->text(), QString());
        typeName(t == 20.0 ? QStringLiteral("Intro") : QString());
        EXPECT_FALSE(c->markerNamePopover()->isVisible());
    }
    EXPECT_EQ(times(), (std::vector<double>{10, 20, 30}));
    EXPECT_EQ(appMenuTitles(), (QStringList{LineView::stringForTime(10),
                                            QStringLiteral("Intro - ") + LineView::stringForTime(20),
                                            LineView::stringForTime(30)}));

    // A rename opens the popover with the old name and keeps the time.
    c->renameMarker(1);
    EXPECT_EQ(c->markerNamePopover()->markerTextField->text(), QStringLiteral("Intro"));
    typeName(QStringLiteral("Verse"));
    EXPECT_EQ(c->editing.markersArray[1].markerName, QStringLiteral("Verse"));
    EXPECT_EQ(c->editing.markersArray[1].markerTime, 20.0);

    // Leaving the popover without Return stores nothing.
    c->renameMarker(0);
    c->markerNamePopover()->markerTextField->setText(QStringLiteral("lost"));
    c->markerNamePopover()->hide();
    EXPECT_EQ(c->editing.markersArray[0].markerName, QString());

    c->removeMarker(1);
    c->removeMarker(7);  // an index no longer valid changes nothing
    EXPECT_EQ(times(), (std::vector<double>{10, 30}));
    // Names stored after a removal never land on another marker's index.
    c->editing.currentSelectedMarker = 5;
    typeName(QStringLiteral("nowhere"));
    EXPECT_EQ(c->editing.markersArray[0].markerName, QString());
    EXPECT_EQ(c->editing.markersArray[1].markerName, QString());
}

TEST_F(MarkersTest, GoingToAMarkerSeeksOnlyWithinTheComposition) {
    auto t = append(writeTone(QStringLiteral("goto.wav"), 20, 440));
    waitForReadyItem();
    c->addStartTimeMarkerFrom(0);
    c->addEndTimeMarkerFrom(0);
    c->markerNamePopover()->hide();
    EXPECT_EQ(times(), (std::vector<double>{0, t->animationEnd().seconds()}));

    const double length = c->shell.compositionDuration.seconds();
    struct Case { double marker; double expected; } cases[] = {
        {5.0, 5.0},
        {length + 5.0, 5.0},  // past the end: the player stays where it is
    };
    for (const auto& k : cases) {
        c->goToMarkerTime(k.marker);
        ASSERT_TRUE(testsupport::waitUntil([&] { return std::abs(c->currentTime() - k.expected) < 0.01; }))
            << k.marker;
    }
    c->currentSelectedAudio = 0;
    c->goToTrackEndTimeFrom();
    EXPECT_TRUE(testsupport::waitUntil([&] { return std::abs(c->currentTime() - t->animationEnd().seconds()) < 0.05; }));
    c->goToTrackStartTimeFrom();
    EXPECT_TRUE(testsupport::waitUntil([&] { return c->currentTime() < 0.01; }));

    // With no tracks the application menu lists no markers, even when some exist.
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    c->removeAudioFileFrom();
    endEvent();
    ASSERT_TRUE(testsupport::waitUntil([&] { return c->trackCount() == 0; }));
    EXPECT_EQ(c->editing.markersArray.size(), 2u);
    EXPECT_EQ(appMenuTitles(), QStringList{QStringLiteral("No markers")});
}

}  // namespace
