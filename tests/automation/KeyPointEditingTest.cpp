// Key points added, moved and deleted with the mouse on a real track's lane
// of the main window: the working and committed curves, the undo steps, and
// the sound of an offline render while a point moves and after.
#include "app/TrackListFixture.h"

#include "automation/KeyPointEdits.h"
#include "views/FloatSlider.h"

#include "support/TestSupport.h"

#include <QMouseEvent>

namespace {

const QString kLevel = QStringLiteral("inputAudioMix");

// A 10 s track whose lane is 800 wide with its region over the whole lane:
// 1 s is 80 points, and a level from 0 to 1 runs from widget y 185 up to 15.
class KeyPointEditingTest : public TrackListTest {
protected:
    void SetUp() override {
        TrackListTest::SetUp();
        track = append(writeTone(QStringLiteral("keys.wav"), 10.0, 440));
        ASSERT_TRUE(track);
        view = lane(0);
        ASSERT_TRUE(view);
        reset();
    }
    void reset() {
        c->currentSelectedAudio = 0;
        track->durationInSeconds = 10.0;
        track->filterBitmaps.clear();
        track->showParameterCurve = 1;
        track->isRecordingParameters = 1;
        track->isDeletingKeyPoints = 0;
        track->typeOfRecordedCurve = 0;
        track->typeOfComposition = 0;
        view->setFrame(view->frameX(), 800);
        endEvent();
        view->oldBounds = view->frameRect();
        view->drawingBezierPath = AudioDrawingView::regionPath({0, 10, 800, 180});
        view->viewAcceptsMouseEvents = true;
    }
    // The same curves in both stores, as after a commit.
    void setCurves(TrackCurves curves) {
        c->automation.recordedParameters[track->identifierOfFilter] = curves;
        c->automation.tempRecorderParameters[track->identifierOfFilter] = std::move(curves);
        c->publishRecordedParametersForFilter(track.get());
    }
    KeyPointCurve committed(const QString& key = kLevel) {
        return c->automation.recordedParameters[track->identifierOfFilter][key];
    }
    KeyPointCurve working(const QString& key = kLevel) {
        return c->automation.tempRecorderParameters[track->identifierOfFilter][key];
    }
    // The widget point of a time and a fraction of the key's range.
    static QPointF at(double seconds, double fraction) { return {seconds * 80.0, 185.0 - 170.0 * fraction}; }

    void send(QEvent::Type type, QPointF p, Qt::KeyboardModifiers modifiers) {
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, p, p, view->mapToGlobal(p), Qt::LeftButton, buttons, modifiers);
        QCoreApplication::sendEvent(view, &e);
    }
    void press(QPointF p, Qt::KeyboardModifiers m = Qt::NoModifier) { send(QEvent::MouseButtonPress, p, m); }
    void drag(QPointF p, Qt::KeyboardModifiers m = Qt::NoModifier) { send(QEvent::MouseMove, p, m); }
    void release(QPointF p, Qt::KeyboardModifiers m = Qt::NoModifier) {
        send(QEvent::MouseButtonRelease, p, m);
        endEvent();
    }
    int undoSteps() { return c->undoManager()->undoCount(); }

    std::shared_ptr<MusicFilter> track;
    AudioDrawingView* view = nullptr;
};

constexpr auto kPlaced = KeyPoint::kPlacedWithMouse;
constexpr auto kBoundary = KeyPoint::kRecordingBoundary;

void expectCurve(const KeyPointCurve& got, const KeyPointCurve& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(got[i].time, want[i].time, 1e-9);
        EXPECT_NEAR(got[i].value, want[i].value, 1e-9);
        EXPECT_EQ(got[i].flag, want[i].flag);
    }
}

TEST_F(KeyPointEditingTest, AClickOnEmptySpaceAddsAPointWithOneUndoStep) {
    const KeyPointCurve flat{{0, 0.5, kBoundary}, {10, 0.5, kBoundary}};
    setCurves({{kLevel, flat}});
    const int before = undoSteps();
    press(at(5, 0.25));
    // While the button is down the point is in the working curve only,
    // flagged as moving, and the render and the drawing follow that curve.
    expectCurve(working(), {flat[0], {5, 0.25, kPlaced}, flat[1]});
    expectCurve(committed(), flat);
    EXPECT_TRUE(track->needsUpdateParametersWithTempDictionary);
    ASSERT_TRUE(c->automation.filterMovingPoint);
    EXPECT_NEAR(c->automation.filterMovingPoint->value, 0.25, 1e-6);
    EXPECT_EQ(c->automation.filterMovingSliderKey, kLevel);
    release(at(5, 0.25));

    const KeyPointCurve added{flat[0], {5, 0.25, kBoundary}, flat[1]};
    expectCurve(committed(), added);
    expectCurve(working(), added);
    EXPECT_EQ(undoSteps(), before + 1);
    EXPECT_FALSE(track->needsUpdateParametersWithTempDictionary);
    EXPECT_FALSE(c->automation.filterMovingPoint);
    EXPECT_TRUE(c->automation.filterMovingSliderKey.isEmpty());
    EXPECT_FALSE(view->isMovingRecordedParameter);

    undo();
    expectCurve(committed(), flat);
    expectCurve(working(), flat);
    redo();
    expectCurve(committed(), added);
    expectCurve(working(), added);

    // A press on the point and a release without a drag commits nothing.
    const int after = undoSteps();
    press(at(5, 0.25));
    release(at(5, 0.25));
    EXPECT_EQ(undoSteps(), after);
    expectCurve(committed(), added);
}

// A placed point stays within the key's range and the source's span.
TEST_F(KeyPointEditingTest, PlacedPointsAreClampedToTheRangeAndTheLane) {
    struct Case {
        const char* name;
        QPointF pressAt, dragTo;
        double time, value;
    } cases[] = {
        {"a press 5 points from the top", {400, 10}, {400, 10}, 5, 1.0},
        {"a press 5 points from the bottom", {400, 190}, {400, 190}, 5, 0.0},
        {"a drag past the top", at(5, 0.5), {400, -40}, 5, 1.0},
        {"a drag beyond the lane's right end", at(5, 0.5), {950, 100}, 10, 0.5},
        {"a drag beyond the lane's left end", at(5, 0.5), {-60, 100}, 0, 0.5},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        setCurves({{kLevel, {{2, 0.5, kBoundary}, {8, 0.5, kBoundary}}}});
        press(k.pressAt);
        drag(k.dragTo);
        release(k.dragTo);
        const KeyPointCurve curve = committed();
        const auto placed = std::find_if(curve.begin(), curve.end(),
                                         [](const KeyPoint& p) { return p.time != 2 && p.time != 8; });
        ASSERT_NE(placed, curve.end());
        EXPECT_NEAR(placed->time, k.time, 1e-9);
        EXPECT_NEAR(placed->value, k.value, 1e-9);
        EXPECT_EQ(curve.size(), 3u);
    }
}

// A point dragged past its neighbours is the one that keeps following the
// pointer, flagged or not; the curve stays in time order on every step.
TEST_F(KeyPointEditingTest, AMovedPointIsFollowedPastItsNeighbours) {
    struct Case {
        const char* name;
        std::optional<int32_t> flag, stored;
    } cases[] = {
        {"a flagged point is stored flagged", kBoundary, kBoundary},
        {"a point without a flag stays without", std::nullopt, std::nullopt},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        setCurves({{kLevel, {{1, 0.5, k.flag}, {3, 0.5, k.flag}, {5, 0.5, k.flag}, {7, 0.5, k.flag}}}});
        const int before = undoSteps();
        press(at(3, 0.5));
        drag(at(6, 0.9));
        const std::optional<int32_t> moving = k.flag ? std::optional<int32_t>(kPlaced) : std::nullopt;
        expectCurve(working(), {{1, 0.5, k.flag}, {5, 0.5, k.flag}, {6, 0.9, moving}, {7, 0.5, k.flag}});
        drag(at(8, 0.8));
        expectCurve(working(), {{1, 0.5, k.flag}, {5, 0.5, k.flag}, {7, 0.5, k.flag}, {8, 0.8, moving}});
        drag(at(0.5, 0.7));
        expectCurve(working(), {{0.5, 0.7, moving}, {1, 0.5, k.flag}, {5, 0.5, k.flag}, {7, 0.5, k.flag}});
        release(at(0.5, 0.7));
        expectCurve(committed(), {{0.5, 0.7, k.stored}, {1, 0.5, k.flag}, {5, 0.5, k.flag}, {7, 0.5, k.flag}});
        EXPECT_EQ(undoSteps(), before + 1);
    }
}

// Of two curves, a press on empty space adds to the one whose line through
// its two nearest flagged points passes closest, each point taken at its
// value's fraction of the lane's whole height (not where it is drawn); with
// a curve missing, to the later one there is; with two curves of which
// neither has two flagged points, to the first.
TEST_F(KeyPointEditingTest, AnAddingPressChoosesOneOfTwoCurves) {
    const QString gain = QStringLiteral("inputLowShelfGain"), cutoff = QStringLiteral("inputLowShelfCutoff");
    track->showParameterCurve = 6;
    const auto [gLo, gHi] = c->laneValueRange(gain);
    const auto [cLo, cHi] = c->laneValueRange(cutoff);
    ASSERT_NE(gLo, gHi);
    ASSERT_NE(cLo, cHi);
    auto level = [](double lo, double hi, double fraction) { return lo + (hi - lo) * fraction; };
    // A flat line of flagged points (or not) at a fraction of the key's range.
    auto line = [&](double lo, double hi, double fraction, std::optional<int32_t> flag) {
        const double v = level(lo, hi, fraction);
        return KeyPointCurve{{1, v, flag}, {4, v, flag}, {9, v, flag}};
    };
    struct Case {
        const char* name;
        TrackCurves curves;
        double pressFraction;
        QString chosen;
    } cases[] = {
        {"nearer the second curve's line", {{gain, line(gLo, gHi, 0.2, kBoundary)}, {cutoff, line(cLo, cHi, 0.8, kBoundary)}},
         0.7, cutoff},
        {"nearer the first curve's line", {{gain, line(gLo, gHi, 0.2, kBoundary)}, {cutoff, line(cLo, cHi, 0.8, kBoundary)}},
         0.3, gain},
        // Drawn, the first line is at y 15 and the second at 32; chosen, at 0 and 20.
        {"drawn on the first line, nearer the second by the lane's height",
         {{gain, line(gLo, gHi, 0.0, kBoundary)}, {cutoff, line(cLo, cHi, 0.1, kBoundary)}}, 0.012, cutoff},
        {"on the first line, nearer it by the lane's height too",
         {{gain, line(gLo, gHi, 0.3, kBoundary)}, {cutoff, line(cLo, cHi, 0.5, kBoundary)}}, 0.3, gain},
        {"points without flags: the first curve", {{gain, line(gLo, gHi, 0.2, std::nullopt)}, {cutoff, line(cLo, cHi, 0.8, std::nullopt)}},
         0.8, gain},
        {"only the second curve has points", {{gain, {}}, {cutoff, line(cLo, cHi, 0.8, kBoundary)}}, 0.2, cutoff},
        {"an empty first curve and a second of one point", {{gain, {}}, {cutoff, {{5, cLo, kBoundary}}}}, 0.2, gain},
        {"no first curve", {{cutoff, {{5, cLo, kBoundary}}}}, 0.2, cutoff},
    };
    auto sizeIn = [](const TrackCurves& curves, const QString& key) {
        const auto found = curves.find(key);
        return found == curves.end() ? size_t(0) : found->second.size();
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        setCurves(k.curves);
        press(at(6, k.pressFraction));
        release(at(6, k.pressFraction));
        const QString other = k.chosen == gain ? cutoff : gain;
        EXPECT_EQ(committed(k.chosen).size(), sizeIn(k.curves, k.chosen) + 1);
        EXPECT_EQ(committed(other).size(), sizeIn(k.curves, other));
    }
}

TEST_F(KeyPointEditingTest, DeletingMarksPointsOnceAndTheReleaseDeletesThem) {
    const KeyPointCurve four{{1, 0.5, kBoundary}, {3, 0.5}, {5, 0.5, kBoundary}, {7, 0.5}};
    setCurves({{kLevel, four}});
    track->isDeletingKeyPoints = 1;
    const int before = undoSteps();
    press(at(3, 0.5));
    drag(at(4, 0.5));
    drag(at(5, 0.5));
    drag(at(3, 0.5));  // back over a marked point
    EXPECT_EQ(view->currentModifiedHighlightedKeyTimes.size(), 2);
    EXPECT_TRUE(view->isDeletingRecordedParameter);
    expectCurve(working(), four);  // nothing goes before the release
    release(at(3, 0.5));

    const KeyPointCurve two{four[0], four[3]};
    expectCurve(committed(), two);
    expectCurve(working(), two);
    EXPECT_EQ(undoSteps(), before + 1);
    EXPECT_TRUE(view->currentModifiedHighlightedKeyTimes.isEmpty());
    undo();
    expectCurve(committed(), four);
    expectCurve(working(), four);
    redo();
    expectCurve(committed(), two);
    expectCurve(working(), two);

    // A press on empty space in deleting mode adds nothing and starts nothing.
    press(at(5, 0.9));
    EXPECT_EQ(view->gestureRouting, AudioDrawingView::GestureRouting::None);
    release(at(5, 0.9));
    expectCurve(committed(), two);
}

// A curve keeps at least two points; points equal to a marked one go with it.
TEST_F(KeyPointEditingTest, WhatADeletionLeaves) {
    const KeyPoint a{2, 0.5, kBoundary}, b{4, 0.3}, d{6, 0.7};
    struct Case {
        const char* name;
        KeyPointCurve curve;
        std::vector<double> marked;  // times pressed and dragged over
        KeyPointCurve left;
    } cases[] = {
        {"one of two points", {a, b}, {2}, {a, b}},
        {"two of three points", {a, b, d}, {2, 4}, {a, b, d}},
        {"one of three points", {a, b, d}, {4}, {a, d}},
        {"a point and its equal", {a, a, b, d}, {2}, {b, d}},
        {"a point and its equal would leave one", {a, a, b}, {2}, {a, a, b}},
    };
    track->isDeletingKeyPoints = 1;
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        setCurves({{kLevel, k.curve}});
        const int before = undoSteps();
        const KeyPoint& first = *std::find_if(k.curve.begin(), k.curve.end(),
                                              [&](const KeyPoint& p) { return p.time == k.marked[0]; });
        press(at(k.marked[0], first.value));
        for (double t : k.marked) {
            const auto p = std::find_if(k.curve.begin(), k.curve.end(), [&](const KeyPoint& q) { return q.time == t; });
            drag(at(t, p->value));
        }
        release(at(k.marked.back(), 0.5));
        expectCurve(committed(), k.left);
        expectCurve(working(), k.left);
        EXPECT_EQ(undoSteps(), before + (k.left.size() != k.curve.size() ? 1 : 0));
    }
}

// Outside deleting mode, Ctrl held at the press and at the release deletes.
TEST_F(KeyPointEditingTest, CtrlDeletesOutsideDeletingMode) {
    const KeyPointCurve three{{2, 0.5, kBoundary}, {5, 0.5, kBoundary}, {8, 0.5, kBoundary}};
    struct Case {
        const char* name;
        QPointF where;
        Qt::KeyboardModifiers atRelease;
        KeyPointCurve left;
    } cases[] = {
        {"Ctrl held throughout", at(5, 0.5), Qt::ControlModifier, {three[0], three[2]}},
        {"Ctrl let go before the release", at(5, 0.5), Qt::NoModifier, three},
        {"Ctrl on empty space", at(5, 0.9), Qt::ControlModifier, three},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        setCurves({{kLevel, three}});
        press(k.where, Qt::ControlModifier);
        drag(k.where, Qt::ControlModifier);
        release(k.where, k.atRelease);
        expectCurve(committed(), k.left);
        expectCurve(working(), k.left);
        EXPECT_FALSE(view->isDeletingRecordedParameter);
    }
}

// The render follows the curve being edited while the button is down, and
// the committed one after the release and after its undo.
TEST_F(KeyPointEditingTest, TheRenderedLevelFollowsTheDraggedPoint) {
    const std::vector<float> full = renderedLeft();
    ASSERT_GE(full.size(), size_t(10 * 44100));
    // The level heard over [6.2 s, 6.8 s] and over [1.2 s, 1.8 s], each as a
    // fraction of the file's own.
    auto levels = [&] {
        const std::vector<float> heard = renderedLeft();
        auto ratio = [&](double from) {
            const size_t a = size_t(from * 44100), n = size_t(0.6 * 44100);
            return testsupport::rms(heard.data() + a, n) / testsupport::rms(full.data() + a, n);
        };
        return std::pair{ratio(1.2), ratio(6.2)};
    };
    const KeyPointCurve flat{{0, 1, kBoundary}, {10, 1, kBoundary}};
    setCurves({{kLevel, flat}});
    // A step at 5 s: the level holds from there until the curve's last point.
    press(at(5, 1.0));
    drag(at(5, 0.0));
    auto [early, late] = levels();
    EXPECT_NEAR(early, 1.0, 0.02);
    EXPECT_NEAR(late, 0.0, 0.02);
    drag(at(5, 0.5));
    std::tie(early, late) = levels();
    EXPECT_NEAR(late, 0.5, 0.02);
    // Nothing of it is committed yet.
    expectCurve(committed(), flat);

    release(at(5, 0.5));
    std::tie(early, late) = levels();
    EXPECT_NEAR(early, 1.0, 0.02);
    EXPECT_NEAR(late, 0.5, 0.02);
    undo();
    std::tie(early, late) = levels();
    EXPECT_NEAR(late, 1.0, 0.02);
}

// The curve helpers the gestures use.
TEST(KeyPointEdits, AChangedPointIsFollowedToItsPlace) {
    struct Case {
        const char* name;
        KeyPointCurve curve;
        size_t index;
        KeyPointCurve sorted;
        size_t followed;
    } cases[] = {
        {"to the right", {{1, 0}, {9, 1}, {3, 0}, {5, 0}}, 1, {{1, 0}, {3, 0}, {5, 0}, {9, 1}}, 3},
        {"to the left", {{1, 0}, {3, 0}, {0.5, 1}}, 2, {{0.5, 1}, {1, 0}, {3, 0}}, 0},
        {"in place", {{1, 0}, {2, 1}, {3, 0}}, 1, {{1, 0}, {2, 1}, {3, 0}}, 1},
        {"onto the time of others", {{3, 1}, {3, 0}, {3, 0.5}}, 0, {{3, 1}, {3, 0}, {3, 0.5}}, 0},
        {"in a curve out of order elsewhere", {{5, 0}, {1, 0}, {3, 1}}, 2, {{1, 0}, {3, 1}, {5, 0}}, 1},
    };
    for (auto& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(automation::resortFollowingPoint(k.curve, k.index), k.followed);
        EXPECT_EQ(k.curve, k.sorted);
    }
}

}  // namespace
