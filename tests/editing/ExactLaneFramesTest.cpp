// Edits at the default zoom with fractional amounts land where the user sees
// them: a lane's origin and width are kept exactly (one point is half a
// second at zoom 1, so a lane rounded to whole points is off by up to a
// quarter of a second). The 20 s staircase of the range-edit tests (step i
// sounds over [i, i + 1) s of its source), rendered offline and read back by
// FFT; selections are drawn where the user sees the seconds, at 2 points a
// second times the zoom, or made with the mouse on the lane's widget, which
// sits at the nearest whole point.
#include "RangeEditsFixture.h"

#include "editing/TrackPasteboard.h"
#include "midi/MIDIManager.h"
#include "midi/MidiNotes.h"
#include "views/AudioView.h"
#include "views/FloatSlider.h"
#include "views/TimePopover.h"

#include <QTest>

#include <random>

namespace {

constexpr double kSample = 1.0 / 44100;

class ExactLaneFramesTest : public RangeEditsTest {
public:
    // The fixtures' helpers, for the table's cases.
    using ControllerTest::c;
    using RangeEditsTest::clipboardSelection;
    using RangeEditsTest::expectSameRender;
    using RangeEditsTest::expectSteps;
    using RangeEditsTest::renderedLeft;
    using RangeEditsTest::settle;
    using TrackListTest::lane;
    // The mix rendered through the tracks' effects.
    std::vector<float> mixedLeft() { return TrackListTest::renderedLeft(); }
    using TrackListTest::tracks;

    // The staircase in a composition of `seconds`, at zoom 1, selected, with
    // the time popover open.
    std::shared_ptr<MusicFilter> staircaseAtZoomOne(double seconds) {
        auto t = staircaseComposition(seconds);
        EXPECT_EQ(c->shell.zoomValue, 1.0);
        c->currentSelectedAudio = 0;
        c->editAudioTimeFrom(0);
        endEvent();
        return t;
    }

    // A slider click to `zoom`: one undo step.
    void setZoom(double zoom) {
        c->ui.zoomSlider->setFloatValue(zoom);
        c->updateZoomValueFrom(c->ui.zoomSlider, AudioController::ZoomMouse::Click);
        endEvent();
    }
    // Set by the table's second pass: each case zooms in and out again
    // before its last command.
    bool zoomAround = false;
    void zoomInAndOut() {
        if (!zoomAround) return;
        setZoom(7.3);
        setZoom(1.0);
    }

    // The lane x at which the user sees `seconds` of track i's audio.
    double seenX(size_t i, double seconds) {
        const double v = tracks()[i].audioFilter->value(EffectInput::Speed);
        return seconds * c->shell.scaleFactor * c->shell.zoomValue / v;
    }
    void selectSeen(size_t i, double from, double to) {
        lane(i)->selectionPaths = {SelectionPathRecord{QPointF(seenX(i, from), 5), QPointF(seenX(i, to), 5)}};
    }

    // A field pair of the time popover filled in: no minutes and `value`
    // seconds, the seconds' field being the one sent.
    static NumberTextField* fill(NumberTextField* minutes, NumberTextField* seconds, double value) {
        minutes->setText(QStringLiteral("0"));
        seconds->setText(QString::number(value, 'g', 12));
        return seconds;
    }
    TimePopover* popover() { return c->laneCommands.timePopover; }
    // A typed trim that leaves the played range as it was gives the player
    // no new item, and its seek waits for the next one: wait for the item
    // only.
    void settleTyped() {
        endEvent();
        ASSERT_TRUE(testsupport::waitUntil(
            [&] {
                auto* item = player->currentItem();
                return item && item->status() == PlayerItem::Status::ReadyToPlay && !c->shell.audioControllerIsWorking;
            },
            15000));
        endEvent();
    }
    void placeStartAt(double seconds) {
        c->compositionTrimTimeFrom(
            fill(popover()->textFieldCompositionStartMinutes, popover()->textFieldCompositionStartSeconds, seconds));
        settleTyped();
    }
    void trimStartTo(double seconds) {
        c->trimTimeFrom(fill(popover()->textFieldTrimStartMinutes, popover()->textFieldTrimStartSeconds, seconds));
        settleTyped();
    }
    void trimEndTo(double seconds) {
        c->trimTimeFrom(fill(popover()->textFieldTrimEndMinutes, popover()->textFieldTrimEndSeconds, seconds));
        settleTyped();
    }

    // `count` pastes at `at` s of a copy of [from, from + length) s of the source.
    void pasteCopies(double from, double length, double at, int count) {
        selectSeen(0, from, from + length);
        c->copyCurrentSelectionFrom();
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(c->pasteSelectionInFilterFrom(at));
            settle();
        }
    }

    // The level of step `step` over [from, to) s of the render.
    static double level(const std::vector<float>& left, double from, double to, int step) {
        const size_t a = size_t(std::lround(from * 44100)), n = size_t(std::lround((to - from) * 44100));
        if (a + n > left.size()) return 0;
        return testsupport::amplitudeAt(left.data() + a, n, stepFrequency(step), 44100);
    }
    // Step `step` heard over [from, to) s; -1 for silence (or the render's end).
    static void expectHeard(const std::vector<float>& left, double from, double to, int step) {
        SCOPED_TRACE("from " + std::to_string(from) + " s to " + std::to_string(to) + " s");
        for (int heard : stepsHeard(left, from, to)) {
            if (step < 0)
                EXPECT_LT(heard, 0);
            else
                EXPECT_EQ(heard, step);
        }
    }

    // What a lane and its track say of where the track plays.
    struct LaneState {
        double laneX, laneWidth, regionX, regionWidth;
        double start, end, playedStart, playedLength, duration;
    };
    LaneState stateOf(size_t i) {
        const MusicFilter& t = *tracks()[i].audioFilter;
        const QRectF r = lane(i)->drawingBezierPath.boundingRect();
        const MediaTimeRange played = t.currentTimeRange();
        return {lane(i)->frameX(),
                lane(i)->frameWidth(),
                r.x(),
                r.width(),
                t.animationStart().seconds(),
                t.animationEnd().seconds(),
                played.start.seconds(),
                played.duration.seconds(),
                t.durationInSeconds};
    }
    static void expectSameState(const LaneState& a, const LaneState& b) {
        EXPECT_NEAR(a.laneX, b.laneX, 1e-9);
        EXPECT_NEAR(a.laneWidth, b.laneWidth, 1e-9);
        EXPECT_NEAR(a.regionX, b.regionX, 1e-9);
        EXPECT_NEAR(a.regionWidth, b.regionWidth, 1e-9);
        EXPECT_NEAR(a.duration, b.duration, 1e-9);
        // Times are whole samples.
        EXPECT_NEAR(a.start, b.start, kSample);
        EXPECT_NEAR(a.end, b.end, kSample);
        EXPECT_NEAR(a.playedStart, b.playedStart, kSample);
        EXPECT_NEAR(a.playedLength, b.playedLength, kSample);
    }

    // The lane stands for the whole current audio version at the present
    // zoom and speed; its region is the part the track keeps as fractions,
    // and lies in the composition where the track plays.
    void expectLaneMatchesTrack(size_t i) {
        SCOPED_TRACE("track " + std::to_string(i));
        const MusicFilter& t = *tracks()[i].audioFilter;
        const LaneState s = stateOf(i);
        const double v = t.value(EffectInput::Speed);
        const double k = c->shell.scaleFactor * c->shell.zoomValue;
        EXPECT_NEAR(s.laneWidth, t.durationInSeconds * k / v, 1e-9);
        EXPECT_NEAR(s.regionX, t.audioOriginInPercent * s.laneWidth, 1e-9);
        EXPECT_NEAR(s.regionWidth, t.audioDurationInPercent * s.laneWidth, 1e-9);
        const double C = c->shell.compositionDuration.seconds(), A = c->ui.audioView->frameWidth();
        EXPECT_NEAR(A, c->shell.timelineDuration * k, 1e-9);
        EXPECT_NEAR(s.start, std::max((s.laneX + s.regionX) / A * C, 0.0), kSample);
        EXPECT_NEAR(s.end, std::min((s.laneX + s.regionX + s.regionWidth) / A * C, C), kSample);
        // The played part is the region's part of the source, in composition
        // time from where the region starts (a region left of the area's
        // start has its hidden part cut). A region cut at the composition's
        // end may play on past it, which the track's end silences.
        EXPECT_NEAR(s.playedStart, s.regionX / s.laneWidth * t.durationInSeconds, 1e-3);
        const double shown = s.end - s.start - std::min((s.laneX + s.regionX) / A * C, 0.0);
        if (s.laneX + s.regionX + s.regionWidth < A - 1e-9)
            EXPECT_NEAR(s.playedLength / v, shown, 1e-3);
        else
            EXPECT_GE(s.playedLength / v, shown - 1e-3);
    }

    // Cuts the selection; the clipboard holds `length` s from `start` s of
    // the track's audio.
    void cutAndExpectCopied(double start, double length) {
        c->cutCurrentSelectionFrom();
        settle();
        const SelectionClipboardRecord* copied = clipboardSelection();
        ASSERT_TRUE(copied);
        EXPECT_NEAR(copied->start, start, 1e-9);
        EXPECT_NEAR(copied->length, length, 1e-9);
    }
    // The point of lane i's widget under `seconds` of the ruler, halfway
    // down the lane. The test's ruler times fall on whole points of the area.
    QPoint underRuler(size_t i, double seconds) {
        AudioDrawingView* l = lane(i);
        const QPointF inArea(seconds * c->shell.scaleFactor * c->shell.zoomValue, l->y() + l->height() / 2.0);
        const QPointF p = l->mapFrom(c->ui.audioView, inArea);
        EXPECT_EQ(p, QPointF(p.toPoint()));
        return p.toPoint();
    }
    // A press, a move and a release of the left button on lane i's widget.
    void drag(size_t i, QPoint from, QPoint to) {
        QTest::mousePress(lane(i), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(lane(i), to);
        QTest::mouseRelease(lane(i), Qt::LeftButton, Qt::NoModifier, to);
        endEvent();
    }
    // Track 0 placed at 10.3 s of a 30 s composition: its lane starts at
    // 20.6 points, and its widget at 21.
    std::shared_ptr<MusicFilter> staircaseAtAFractionalPlace() {
        auto t = staircaseAtZoomOne(30);
        placeStartAt(10.3);
        zoomInAndOut();
        EXPECT_NEAR(lane(0)->frameX(), 20.6, 1e-9);
        EXPECT_EQ(lane(0)->x(), 21);
        return t;
    }

    const TrackPasteboardRecord* clipboardTrack() {
        return c->pasteboardItems ? std::get_if<TrackPasteboardRecord>(&*c->pasteboardItems) : nullptr;
    }
};

// ---- The table ------------------------------------------------------------------------------

using Case = void (*)(ExactLaneFramesTest&);

// Five 0.3 s pastes near the end leave the lane 43 points wide, and a
// selection drawn over 15–17 s then copies and removes exactly that.
void laterSelectionAfterPastes(ExactLaneFramesTest& f) {
    auto t = f.staircaseAtZoomOne(20);
    f.pasteCopies(2.0, 0.3, 18.0, 5);
    EXPECT_NEAR(t->durationInSeconds, 21.5, 1e-9);
    EXPECT_NEAR(f.lane(0)->frameWidth(), 43.0, 1e-9);
    f.zoomInAndOut();
    f.selectSeen(0, 15, 17);
    f.cutAndExpectCopied(15.0, 2.0);
    EXPECT_NEAR(t->durationInSeconds, 19.5, 1e-9);
    EXPECT_NEAR(f.lane(0)->frameWidth(), 39.0, 1e-9);
    const std::vector<float> left = f.renderedLeft();
    // Steps 15 and 16 went; 17 follows 14, then the five copies of step 2.
    f.expectSteps(left, 12, 1, {12, 13, 14, 17});
    f.expectHeard(left, 16.1, 17.4, 2);
    f.expectLaneMatchesTrack(0);
}

// After a paste the lane is wider than the composition lets the track
// play, which is no trim: invert trim and a whole-track cut leave the
// track as it is and only fill the clipboard.
void invertAndCutAfterAPaste(ExactLaneFramesTest& f) {
    auto t = f.staircaseAtZoomOne(20);
    f.pasteCopies(2.0, 0.3, 18.0, 1);
    f.zoomInAndOut();
    const ExactLaneFramesTest::LaneState before = f.stateOf(0);
    const std::vector<float> render = f.renderedLeft();
    f.c->pasteboardItems.reset();
    f.c->invertSelection();
    f.settle();
    ASSERT_TRUE(f.clipboardTrack());
    f.c->pasteboardItems.reset();
    f.c->cutAudioFileFrom();
    f.settle();
    ASSERT_TRUE(f.clipboardTrack());
    ASSERT_EQ(f.tracks().size(), 1u);
    f.expectSameState(f.stateOf(0), before);
    f.expectSameRender(f.renderedLeft(), render);
    f.expectLaneMatchesTrack(0);
}

// A split of 5.3–8.3 s makes a track 3.0 s long that sounds to its end.
void splitKeepsTheSelectionsEnd(ExactLaneFramesTest& f) {
    auto t = f.staircaseAtZoomOne(20);
    f.zoomInAndOut();
    f.selectSeen(0, 5.3, 8.3);
    f.c->splitCurrentSelectionFrom();
    f.settle();
    ASSERT_EQ(f.tracks().size(), 2u);
    const MusicFilter& made = *f.tracks()[1].audioFilter;
    EXPECT_EQ(made.animationStart(), MediaTime::zero());
    EXPECT_NEAR(made.animationEnd().seconds(), 3.0, kSample);
    EXPECT_NEAR(made.currentTimeRange().start.seconds(), 5.3, kSample);
    EXPECT_NEAR(made.currentTimeRange().duration.seconds(), 3.0, kSample);
    EXPECT_NEAR(f.lane(1)->frameX(), -10.6, 1e-9);
    const std::vector<float> left = f.renderedLeft();
    // Source 8.0–8.3 s plays over 2.7–3.0 s, beside the source track's step 2.
    EXPECT_GT(f.level(left, 2.72, 2.98, 8), 0.1);
    EXPECT_LT(f.level(left, 3.02, 3.3, 8), 0.02);
    f.expectLaneMatchesTrack(0);
    f.expectLaneMatchesTrack(1);
}

// A typed start of 10.3 s places the track there, and the field says so.
void typedStartStays(ExactLaneFramesTest& f) {
    auto t = f.staircaseAtZoomOne(20);
    f.zoomInAndOut();
    f.placeStartAt(10.3);
    EXPECT_NEAR(t->animationStart().seconds(), 10.3, kSample);
    EXPECT_NEAR(f.lane(0)->frameX(), 20.6, 1e-9);
    EXPECT_NEAR(f.popover()->textFieldCompositionStartSeconds->floatValue(), 10.3, 1e-9);
    const std::vector<float> left = f.renderedLeft();
    f.expectHeard(left, 10.0, 10.3, -1);
    f.expectSteps(left, 10.3, 1, {0, 1, 2, 3});
    f.expectLaneMatchesTrack(0);
    // Through the track's effects too, the track is heard from its start,
    // inside the block it starts in (the effects delay it by 18 frames).
    const std::vector<float> mixed = f.mixedLeft();
    const size_t from = size_t(10.2 * 44100);
    ASSERT_GT(mixed.size(), from + 44100);
    size_t first = from;
    while (first < from + 44100 && std::fabs(mixed[first]) < 1e-3f) ++first;
    EXPECT_NEAR(double(first), 10.3 * 44100, 30.0) << "the track's start is silent";
}

// A start trim of 2.3 s keeps the track's start where it is.
void startTrimKeepsTheStart(ExactLaneFramesTest& f) {
    auto t = f.staircaseAtZoomOne(20);
    f.placeStartAt(5.0);
    f.zoomInAndOut();
    f.trimStartTo(2.3);
    EXPECT_NEAR(t->animationStart().seconds(), 5.0, kSample);
    EXPECT_NEAR(t->currentTimeRange().start.seconds(), 2.3, kSample);
    const std::vector<float> left = f.renderedLeft();
    f.expectHeard(left, 4.6, 5.0, -1);
    f.expectHeard(left, 5.0, 5.7, 2);
    f.expectSteps(left, 5.7, 1, {3, 4});
    f.expectLaneMatchesTrack(0);
}

// A whole-track cut from the middle of the region: the part after moves
// left to meet the part before, to the sample.
void middleCutPartsMeet(ExactLaneFramesTest& f) {
    auto t = f.staircaseAtZoomOne(20);
    f.placeStartAt(4.3);
    f.trimStartTo(5.3);
    f.trimEndTo(10.7);
    // Source 5.3–10.7 s plays over 4.3–9.7 s.
    ASSERT_NEAR(t->animationEnd().seconds(), 9.7, kSample);
    f.zoomInAndOut();
    f.c->cutAudioFileFrom();
    f.settle();
    ASSERT_EQ(f.tracks().size(), 2u);
    const MusicFilter& after = *f.tracks()[1].audioFilter;
    EXPECT_NEAR(t->animationEnd().seconds(), 4.3, kSample);
    EXPECT_NEAR(after.animationStart().seconds(), 4.3, kSample);
    EXPECT_NEAR(after.currentTimeRange().start.seconds(), 10.7, kSample);
    const std::vector<float> left = f.renderedLeft();
    // Source 5.0–5.3 s before the joint, 10.7–11.0 s after it, no overlap.
    EXPECT_GT(f.level(left, 4.02, 4.28, 5), 0.1);
    EXPECT_LT(f.level(left, 4.02, 4.28, 10), 0.02);
    EXPECT_GT(f.level(left, 4.32, 4.58, 10), 0.1);
    EXPECT_LT(f.level(left, 4.32, 4.58, 5), 0.02);
    f.expectLaneMatchesTrack(0);
    f.expectLaneMatchesTrack(1);
}

// Trims and placements to markers land on them.
void markerTrimsLandOnTheMarker(ExactLaneFramesTest& f) {
    auto t = f.staircaseAtZoomOne(20);
    f.zoomInAndOut();
    f.c->updateTrimEndToMarkerTime(14.3);
    f.settleTyped();
    EXPECT_NEAR(t->animationEnd().seconds(), 14.3, kSample);
    std::vector<float> left = f.renderedLeft();
    EXPECT_GT(f.level(left, 14.02, 14.28, 14), 0.1);
    f.expectHeard(left, 14.3, 15.0, -1);
    f.expectLaneMatchesTrack(0);

    f.c->updateCompositionStartToMarkerTime(3.7);
    f.settleTyped();
    EXPECT_NEAR(t->animationStart().seconds(), 3.7, kSample);
    left = f.renderedLeft();
    f.expectHeard(left, 3.3, 3.7, -1);
    f.expectSteps(left, 3.7, 1, {0, 1});
    f.expectLaneMatchesTrack(0);
}

// A mouse drag over the ruler's 18–22 s on a track placed at 10.3 s cuts
// 4 s from 7.7 s of its audio.
void mouseDragCutsUnderTheRuler(ExactLaneFramesTest& f) {
    auto t = f.staircaseAtAFractionalPlace();
    f.drag(0, f.underRuler(0, 18), f.underRuler(0, 22));
    f.cutAndExpectCopied(7.7, 4.0);
    EXPECT_NEAR(t->durationInSeconds, 16.0, 1e-9);
    const std::vector<float> left = f.renderedLeft();
    // Source 7.0–7.7 s, then 11.7 s on, from 18 s of the composition.
    f.expectHeard(left, 17.3, 18.0, 7);
    f.expectHeard(left, 18.0, 18.3, 11);
    f.expectSteps(left, 18.3, 1, {12, 13});
    f.expectLaneMatchesTrack(0);
}

// A click under the ruler's 19 s adds a level key point at 19 s; a drag of
// it to 21 s moves it there.
void keyPointClickAndDragUnderTheRuler(ExactLaneFramesTest& f) {
    auto t = f.staircaseAtAFractionalPlace();
    const QString level = QStringLiteral("inputAudioMix");
    t->showParameterCurve = 1;
    t->isRecordingParameters = 1;
    t->isDeletingKeyPoints = 0;
    t->typeOfRecordedCurve = 0;
    const KeyPointCurve flat{{10.3, 0.5, KeyPoint::kRecordingBoundary}, {30, 0.5, KeyPoint::kRecordingBoundary}};
    f.c->automation.recordedParameters[t->identifierOfFilter] = {{level, flat}};
    f.c->automation.tempRecorderParameters[t->identifierOfFilter] = {{level, flat}};
    f.c->publishRecordedParametersForFilter(t.get());
    auto committed = [&] { return f.c->automation.recordedParameters[t->identifierOfFilter][level]; };

    const QPoint at19 = f.underRuler(0, 19);
    f.drag(0, at19, at19);
    ASSERT_EQ(committed().size(), 3u);
    EXPECT_NEAR(committed()[1].time, 19.0, 1e-9);
    f.drag(0, at19, f.underRuler(0, 21));
    ASSERT_EQ(committed().size(), 3u);
    EXPECT_NEAR(committed()[1].time, 21.0, 1e-9);
}

// In note selection a click under the ruler's 19 s (8.7 s of the track)
// picks the note there, not one whose box (grown by 2 points, a second at
// zoom 1) ends at 8.6 s.
void noteClickUnderTheRuler(ExactLaneFramesTest& f) {
    auto t = f.staircaseAtAFractionalPlace();
    t->midiManager = std::make_shared<MIDIManager>(*t, f.c->midiNotes()->gate(), false);
    auto note = [](double from, double to) {
        MidiNoteRecord n;
        n.midiNote = 64;
        n.midiCommandTime = MediaTime::fromSeconds(from, 44100);
        n.midiCommandEndTime = MediaTime::fromSeconds(to, 44100);
        n.midiCommandIsRecorded = true;
        return n;
    };
    const MidiNoteRecord before = note(7.0, 7.6), under = note(9.0, 9.5);
    t->midiArray = {before, under};
    AudioDrawingView* l = f.lane(0);
    l->isSelectingNotes = true;
    // The note row's middle, in the widget (y down).
    const QRectF region = l->drawingBezierPath.boundingRect();
    QPoint at = f.underRuler(0, 19);
    at.setY(int(std::lround(region.bottom() - (64 - 21 + 0.5) / 88.0 * region.height())));
    f.drag(0, at, at);
    EXPECT_EQ(t->currentSelectedNotes, MidiNoteList{under});
    l->isSelectingNotes = false;
}

struct TableCase {
    const char* name;
    Case run;
};
const TableCase kCases[] = {
    {"LaterSelectionAfterPastes", laterSelectionAfterPastes},
    {"InvertAndCutAfterAPaste", invertAndCutAfterAPaste},
    {"SplitKeepsTheSelectionsEnd", splitKeepsTheSelectionsEnd},
    {"TypedStartStays", typedStartStays},
    {"StartTrimKeepsTheStart", startTrimKeepsTheStart},
    {"MiddleCutPartsMeet", middleCutPartsMeet},
    {"MarkerTrimsLandOnTheMarker", markerTrimsLandOnTheMarker},
    {"MouseDragCutsUnderTheRuler", mouseDragCutsUnderTheRuler},
    {"KeyPointClickAndDragUnderTheRuler", keyPointClickAndDragUnderTheRuler},
    {"NoteClickUnderTheRuler", noteClickUnderTheRuler},
};

class ExactLaneFramesTableTest : public ExactLaneFramesTest,
                                 public ::testing::WithParamInterface<std::tuple<TableCase, bool>> {};

TEST_P(ExactLaneFramesTableTest, EditsLandWhereTheUserSeesThem) {
    zoomAround = std::get<1>(GetParam());
    std::get<0>(GetParam()).run(*this);
}

INSTANTIATE_TEST_SUITE_P(
    AtZoomOne, ExactLaneFramesTableTest, ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<TableCase, bool>>& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "AfterZooming" : "");
    });

// ---- A random walk --------------------------------------------------------------------------

// Range edits, trims, placements and zoom changes in a seeded random order:
// after each, every lane stands for its audio version at the zoom and its
// region for the part that plays; undoing the whole walk restores the
// first state.
TEST_F(ExactLaneFramesTest, ARandomWalkKeepsLanesExactAndUndoesToTheStart) {
    auto t = staircaseAtZoomOne(30);
    const LaneState first = stateOf(0);
    const int undoSteps = c->undoManager()->undoCount();
    std::mt19937 rng(20261210);
    auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    const double zooms[] = {1.0, 1.7, 2.3, 3.9, 7.3};

    // A stretch of `length` s of the played part, in source seconds.
    auto stretchInRegion = [&](double length) {
        const LaneState s = stateOf(0);
        const double a = s.regionX / s.laneWidth * s.duration, b = (s.regionX + s.regionWidth) / s.laneWidth * s.duration;
        const double from = uniform(a, std::max(a, b - length));
        return std::make_pair(from, std::min(from + length, b));
    };
    for (int step = 0; step < 40; ++step) {
        const int op = std::uniform_int_distribution<int>(0, 6)(rng);
        SCOPED_TRACE("step " + std::to_string(step) + ", operation " + std::to_string(op));
        const double C = c->shell.compositionDuration.seconds();
        const double A = t->animationStart().seconds(), E = t->animationEnd().seconds();
        const MediaTimeRange played = t->currentTimeRange();
        switch (op) {
        case 0: {  // paste a copied stretch
            const auto [from, to] = stretchInRegion(uniform(0.13, 1.7));
            selectSeen(0, from, to);
            c->copyCurrentSelectionFrom();
            if (c->pasteSelectionInFilterFrom(uniform(A, E))) settleTyped();
            break;
        }
        case 1: {  // remove a stretch, leaving well over the shortest played part
            if (played.duration.seconds() < 4) break;
            const auto [from, to] = stretchInRegion(uniform(0.13, std::min(1.7, played.duration.seconds() - 2.5)));
            selectSeen(0, from, to);
            c->menuRemoveSelection(nullptr, true);
            settleTyped();
            break;
        }
        case 2:  // insert silence
            if (c->pasteSelectionEmptyInFilterFrom(nullptr, uniform(A, E), uniform(0.11, 1.3), true)) settleTyped();
            break;
        case 3: {  // a typed start trim
            const double S = played.start.seconds(), end = S + played.duration.seconds();
            if (end - 1.2 > 0) trimStartTo(uniform(0, end - 1.2));
            break;
        }
        case 4: {  // a typed end trim
            const double S = played.start.seconds();
            const double available = t->audioDuration().seconds() - 1e-3;
            if (S + 1.2 < available) trimEndTo(uniform(S + 1.2, available));
            break;
        }
        case 5:  // a typed placement
            placeStartAt(uniform(0, C - 1.5));
            break;
        default:
            setZoom(zooms[std::uniform_int_distribution<int>(0, 4)(rng)]);
            settleTyped();
            break;
        }
        expectLaneMatchesTrack(0);
        if (HasFailure()) break;
    }
    setZoom(1.0);
    settleTyped();
    expectLaneMatchesTrack(0);

    while (c->undoManager()->undoCount() > undoSteps) {
        undo();
        settleTyped();
    }
    EXPECT_EQ(c->shell.zoomValue, 1.0);
    expectSameState(stateOf(0), first);
    expectLaneMatchesTrack(0);
}

}  // namespace
