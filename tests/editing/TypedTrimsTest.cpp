// Trims and placements typed into the time popover with the keyboard, and
// the lane menu's trims and placements to markers, on real tracks: the
// 20 s staircase of the range-edit tests (step i sounds over [i, i + 1) s of
// its source), rendered offline and read back by FFT.
#include "RangeEditsFixture.h"

#include "support/Sliders.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"
#include "views/TimePopover.h"

#include <QMenu>
#include <QTest>

namespace {

class TypedTrimsTest : public RangeEditsTest {
protected:
    // The staircase alone in a composition of `seconds`, at `zoom` (10 is
    // 20 points a second), selected, with the time popover open.
    std::shared_ptr<MusicFilter> openStaircase(double seconds, double zoom = 10) {
        auto t = staircaseComposition(seconds);
        setZoom(zoom);
        openPopover(0);
        return t;
    }
    void openPopover(quint64 index) {
        c->currentSelectedAudio = index;
        c->editAudioTimeFrom(index);
        p = c->laneCommands.timePopover;
        ASSERT_TRUE(p && p->isVisible());
    }
    void setZoom(double zoom) {
        c->ui.zoomSlider->setFloatValue(float(zoom));
        c->updateZoomValueFrom(c->ui.zoomSlider);
        endEvent();
    }

    // Replaces the field's text by typing, then presses `key` (none: the
    // user goes elsewhere without sending it).
    void type(NumberTextField* field, const QString& text, std::optional<Qt::Key> key = Qt::Key_Return) {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
        if (key) QTest::keyClick(field, *key);
        endEvent();
    }
    // Minutes and seconds, the seconds typed first and the minutes sent.
    void enter(NumberTextField* minutes, NumberTextField* seconds, int m, const QString& s) {
        type(seconds, s, std::nullopt);
        type(minutes, QString::number(m));
        settle();
    }
    void enterTrimStart(int m, const QString& s) { enter(p->textFieldTrimStartMinutes, p->textFieldTrimStartSeconds, m, s); }
    void enterTrimEnd(int m, const QString& s) { enter(p->textFieldTrimEndMinutes, p->textFieldTrimEndSeconds, m, s); }
    void enterStart(int m, const QString& s) {
        enter(p->textFieldCompositionStartMinutes, p->textFieldCompositionStartSeconds, m, s);
    }
    void enterEnd(int m, const QString& s) {
        enter(p->textFieldCompositionEndMinutes, p->textFieldCompositionEndSeconds, m, s);
    }

    // What the eight fields show, in fill order.
    QStringList shown() const {
        QStringList t;
        for (NumberTextField* f : p->fields()) t << f->text();
        return t;
    }
    static std::pair<double, double> played(const MusicFilter& t) {
        const MediaTimeRange r = t.currentTimeRange();
        return {r.start.seconds(), r.start.seconds() + r.duration.seconds()};
    }
    static std::pair<double, double> placed(const MusicFilter& t) {
        return {t.animationStart().seconds(), t.animationEnd().seconds()};
    }
    int undoSteps() const { return c->undoManager()->undoCount(); }

    TimePopover* p = nullptr;
};

constexpr double kTolerance = 1e-3;

#define EXPECT_SPAN(pair, a, b)                        \
    do {                                               \
        const auto span_ = (pair);                     \
        EXPECT_NEAR(span_.first, (a), kTolerance);     \
        EXPECT_NEAR(span_.second, (b), kTolerance);    \
    } while (0)
#define ASSERT_SPAN(pair, a, b)                        \
    do {                                               \
        const auto span_ = (pair);                     \
        ASSERT_NEAR(span_.first, (a), kTolerance);     \
        ASSERT_NEAR(span_.second, (b), kTolerance);    \
    } while (0)
// Where a track stands: it plays [p0, p1) s of its source over [c0, c1) s of
// the composition.
#define EXPECT_TRACK(track, p0, p1, c0, c1)       \
    do {                                          \
        EXPECT_SPAN(played(track), (p0), (p1));   \
        EXPECT_SPAN(placed(track), (c0), (c1));   \
    } while (0)
#define ASSERT_TRACK(track, p0, p1, c0, c1)       \
    do {                                          \
        ASSERT_SPAN(played(track), (p0), (p1));   \
        ASSERT_SPAN(placed(track), (c0), (c1));   \
    } while (0)

// A start trim keeps the track's start in the composition and plays from
// the new source time; undo and redo give both back, also after a zoom
// change.
TEST_F(TypedTrimsTest, AStartTrimKeepsTheTracksStartAndPlaysFromTheNewSourceTime) {
    auto t = openStaircase(100);
    enterStart(0, "10");
    ASSERT_SPAN(placed(*t), 10, 30);
    const int steps = undoSteps();

    // Typed and left with the mouse: nothing is sent.
    type(p->textFieldTrimStartSeconds, "5", std::nullopt);
    type(p->textFieldTrimEndSeconds, "7", std::nullopt);
    EXPECT_SPAN(played(*t), 0, 20);
    // Tab sends it.
    type(p->textFieldTrimStartSeconds, "5", Qt::Key_Tab);
    settle();
    EXPECT_TRACK(*t, 5, 20, 10, 25);
    EXPECT_EQ(undoSteps(), steps + 1);
    EXPECT_EQ(shown(), (QStringList{"0", "5", "0", "20", "0", "10", "0", "25"}));
    EXPECT_EQ(p->textFieldTimeInfo->text(), QStringLiteral("00:00:15 / 00:00:20"));
    EXPECT_EQ(text(t->audioTimeLabel), QStringLiteral("00:00:15 / 00:00:20"));
    EXPECT_NEAR(c->ui.lineView->linePercent, 0.1, 1e-6);
    std::vector<float> left = renderedLeft();
    for (int heard : stepsHeard(left, 0, 9.9)) EXPECT_EQ(heard, -1);
    expectSteps(left, 10, 1, range(5, 19));

    undo();
    settle();
    EXPECT_TRACK(*t, 0, 20, 10, 30);
    EXPECT_EQ(text(t->audioTimeLabel), QStringLiteral("00:00:20 / 00:00:20"));
    EXPECT_EQ(shown(), (QStringList{"0", "0", "0", "20", "0", "10", "0", "30"}));
    expectSteps(renderedLeft(), 10, 1, range(0, 19));
    redo();
    settle();
    EXPECT_SPAN(played(*t), 5, 20);
    expectSteps(renderedLeft(), 10, 1, range(5, 19));

    // After the zoom doubled, undo puts the lane at twice its recorded x:
    // the track still starts at 10 s.
    setZoom(20);
    undo();
    settle();
    EXPECT_EQ(lane(0)->x(), 400);
    EXPECT_TRACK(*t, 0, 20, 10, 30);
    redo();
    settle();
    EXPECT_TRACK(*t, 5, 20, 10, 25);
}

// Refused entries change nothing, add no undo step and put the present
// trim back into the fields; seconds above 59 count as they are.
TEST_F(TypedTrimsTest, RefusedEntriesShowThePresentTrimAgain) {
    setLength(QStringLiteral("3"), QStringLiteral("0"));
    auto t = append(writeTone(QStringLiteral("long.wav"), 140, 440, 8000));
    settle();
    setZoom(2);
    openPopover(0);
    const QStringList present{"0", "0", "2", "20"};
    const struct {
        const char* name;
        bool end;
        int minutes;
        const char* seconds;
    } refused[] = {
        {"a start a second before the end", false, 2, "19"},
        {"a start at the end", false, 2, "20"},
        {"an end a second after the start", true, 0, "1"},
        {"an end past the source", true, 2, "20.5"},
    };
    const int steps = undoSteps();
    for (const auto& k : refused) {
        SCOPED_TRACE(k.name);
        if (k.end)
            enterTrimEnd(k.minutes, k.seconds);
        else
            enterTrimStart(k.minutes, k.seconds);
        EXPECT_SPAN(played(*t), 0, 140);
        EXPECT_EQ(undoSteps(), steps);
        EXPECT_EQ(shown().mid(0, 4), present);
    }

    // An emptied seconds field shows its edge's whole seconds again and
    // reads whole numbers from then on.
    type(p->textFieldTrimEndSeconds, QString());
    EXPECT_EQ(p->textFieldTrimEndSeconds->text(), QStringLiteral("20"));
    EXPECT_EQ(p->textFieldTrimEndSeconds->formatter()->kind(), TextFieldNumberFormatter::Kind::Integer);
    EXPECT_EQ(undoSteps(), steps);

    enterTrimEnd(1, "75");
    EXPECT_SPAN(played(*t), 0, 135);
    EXPECT_EQ(undoSteps(), steps + 1);
    EXPECT_EQ(shown().mid(0, 4), (QStringList{"0", "0", "2", "15"}));
}

// An end trim stops at the track area's edge; an entry that leaves
// everything as it was adds no undo step but still moves the playhead.
TEST_F(TypedTrimsTest, AnEndTrimStopsAtTheAreasEdge) {
    auto t = openStaircase(30);
    enterTrimEnd(0, "3");
    enterStart(0, "25");
    ASSERT_SPAN(placed(*t), 25, 28);

    enterTrimEnd(0, "10");
    EXPECT_TRACK(*t, 0, 5, 25, 30);
    expectSteps(renderedLeft(), 25, 1, range(0, 4));

    const int steps = undoSteps();
    c->ui.lineView->linePercent = 0;
    type(p->textFieldTrimEndMinutes, QStringLiteral("0"));
    EXPECT_EQ(undoSteps(), steps);
    EXPECT_SPAN(played(*t), 0, 5);
    EXPECT_NEAR(c->ui.lineView->linePercent, 1.0, 1e-6);
}

// Placement: a second before the composition's end is refused, a start
// that would pass the end shortens the played part, and undo after a zoom
// change returns the track to the same composition time.
TEST_F(TypedTrimsTest, APlacementStaysInsideTheCompositionAndItsUndoFollowsTheZoom) {
    auto t = openStaircase(600, 1);
    const int steps = undoSteps();
    enterEnd(9, "59");
    EXPECT_SPAN(placed(*t), 0, 20);
    EXPECT_EQ(undoSteps(), steps);
    EXPECT_EQ(shown().mid(4), (QStringList{"0", "0", "0", "20"}));

    enterEnd(9, "58");
    EXPECT_TRACK(*t, 0, 20, 578, 598);
    EXPECT_NEAR(c->shell.compositionDuration.seconds() * c->ui.lineView->linePercent, 578, 1e-6);

    enterStart(9, "50");
    EXPECT_TRACK(*t, 0, 10, 590, 600);
    EXPECT_EQ(shown().mid(4), (QStringList{"9", "50", "10", "0"}));
    EXPECT_EQ(undoSteps(), steps + 2);

    setZoom(2);
    undo();
    settle();
    EXPECT_TRACK(*t, 0, 20, 578, 598);
    EXPECT_EQ(lane(0)->x(), 2 * 1156);
    redo();
    settle();
    EXPECT_SPAN(placed(*t), 590, 600);
    undo();
    undo();
    settle();
    EXPECT_SPAN(placed(*t), 0, 20);
}

// The undo of a trim or a placement finds its track after a track above it
// has gone, and does nothing once its own track has gone. Without a
// selected track the fields do nothing.
TEST_F(TypedTrimsTest, UndoFollowsItsTrackNotItsRow) {
    setLength(QStringLiteral("0"), QStringLiteral("100"));
    auto above = append(writeTone(QStringLiteral("above.wav"), 20, 440));
    auto t = append(writeStaircase(QStringLiteral("staircase.wav")));
    settle();
    setZoom(10);
    openPopover(1);
    enterStart(0, "30");
    enterTrimStart(0, "5");
    ASSERT_TRACK(*t, 5, 20, 30, 45);

    // The track above goes without an undo step of its own.
    c->undoManager()->disableUndoRegistration();
    c->removeAudioFileAtIndex(0);
    c->undoManager()->enableUndoRegistration();
    settle();
    ASSERT_EQ(tracks().size(), 1u);
    undo();
    settle();
    EXPECT_TRACK(*t, 0, 20, 30, 50);
    expectSteps(renderedLeft(), 30, 1, range(0, 19));
    undo();
    settle();
    EXPECT_SPAN(placed(*t), 0, 20);
    EXPECT_SPAN(placed(*above), 0, 20);

    // With no track selected the fields change nothing.
    c->currentSelectedAudio = kNoIndex;
    const int steps = undoSteps();
    type(p->textFieldTrimStartMinutes, QStringLiteral("0"));
    type(p->textFieldCompositionStartMinutes, QStringLiteral("1"));
    EXPECT_SPAN(placed(*t), 0, 20);
    EXPECT_EQ(undoSteps(), steps);

    // Its own track gone, a redo changes nothing.
    c->undoManager()->disableUndoRegistration();
    c->removeAudioFileAtIndex(0);
    c->undoManager()->enableUndoRegistration();
    endEvent();
    redo();
    redo();
    EXPECT_TRACK(*t, 0, 20, 0, 20);
}

// The lane menu's "Trim track start time to marker": a track of a 60 s
// source at speed 2, placed at 10 s and playing from 4 s of its source,
// reaches 12 s of its source at a marker at 14 s; the trim fields show
// 0:12 and the track then starts at the marker. Markers before the source
// or past the composition change nothing.
TEST_F(TypedTrimsTest, TrimsAndPlacementsToMarkers) {
    setLength(QStringLiteral("1"), QStringLiteral("40"));
    auto t = append(writeStaircase(QStringLiteral("staircase60.wav"), 60));
    settle();
    setZoom(10);
    FloatSlider* speed = testsupport::effectSlider(c->ui, "inputSpeed");
    speed->setFloatValue(2.0);
    emit speed->action(speed);
    settle();
    openPopover(0);
    enterTrimStart(0, "4");
    enterStart(0, "10");
    ASSERT_TRACK(*t, 4, 60, 10, 38);

    auto chooseMarker = [&](const char* group, double seconds) {
        c->editing.markersArray = {{seconds, QString()}};
        auto menu = c->laneMenuForIndex(0, 0);
        ASSERT_TRUE(menu);
        for (QAction* a : menu->actions())
            if (a->text() == QLatin1String(group)) {
                ASSERT_EQ(a->menu()->actions().size(), 1);
                a->menu()->actions()[0]->trigger();
            }
        endEvent();
    };
    const int steps = undoSteps();
    chooseMarker("Trim track start time to marker", 14);
    settle();
    EXPECT_EQ(shown().mid(0, 2), (QStringList{"0", "12"}));
    EXPECT_EQ(shown().mid(4, 2), (QStringList{"0", "14"}));
    EXPECT_TRACK(*t, 12, 60, 14, 38);
    // The trim and the placement are one undo step, as the one choice they were.
    EXPECT_EQ(undoSteps(), steps + 1);
    undo();
    settle();
    EXPECT_TRACK(*t, 4, 60, 10, 38);
    redo();
    settle();
    EXPECT_TRACK(*t, 12, 60, 14, 38);

    const struct {
        const char* name;
        const char* group;
        double marker;
    } nothing[] = {
        {"before the source", "Trim track start time to marker", 5},
        {"before the source", "Trim track end time to marker", 5},
        {"past the composition", "Trim track end time to marker", 120},
        {"past the composition", "Set start time to marker", 120},
    };
    for (const auto& k : nothing) {
        SCOPED_TRACE(std::string(k.group) + " " + k.name);
        chooseMarker(k.group, k.marker);
        EXPECT_TRACK(*t, 12, 60, 14, 38);
        EXPECT_EQ(undoSteps(), steps + 1);
    }

    // Another track's edge as the target.
    auto other = append(writeTone(QStringLiteral("other.wav"), 10, 440));
    settle();
    c->currentSelectedAudio = 0;
    auto menu = c->laneMenuForIndex(0, 0);
    QAction* after = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == QLatin1String("Place current track after track")) after = a->menu()->actions()[1];
    ASSERT_TRUE(after);
    after->trigger();
    settle();
    EXPECT_SPAN(placed(*t), 10, 34);
    EXPECT_SPAN(placed(*other), 0, 10);
}

}  // namespace
