// The lane's press, drags and release: which gesture a press starts, the
// range selection with its snapping, the Ctrl hand-offs and note selection,
// on a lane with a small owner standing in for the controller.
#include "engine/AudioControllerServices.h"
#include "engine/MusicFilter.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>

namespace {

class FakeOwner : public AudioControllerServices, public AudioDrawingViewOwner {
public:
    QList<QPair<double, double>> ranges;
    SnapTargets targets;
    double zoom = 5.0;
    QList<double> alphas;
    QList<quint64> selections;

    QList<QPair<double, double>> laneSelectionParameterRanges(const MusicFilter&) const override { return ranges; }
    quint64 laneHighlightedSelectionParameter() const override { return kNoIndex; }
    const TrackCurves* laneRecordedCurves(const MusicFilter&) const override { return nullptr; }
    std::pair<double, double> laneValueRange(const QString&) const override { return {0.0, 1.0}; }
    std::optional<MovingPoint> laneMovingPoint() const override { return std::nullopt; }
    std::optional<HighlightedKeyPointRecord> laneHighlightedKeyPoint() const override { return std::nullopt; }
    QString laneMovingSliderKey() const override { return {}; }

    void laneSetRulerAlpha(double alpha) override { alphas.append(alpha); }
    // A track with notes stands for one with a MIDI manager here.
    bool laneTrackHasMidiManager(const MusicFilter& t) const override { return !t.midiArray.empty(); }
    void laneSelectTrack(quint64 index) override {
        selections.append(index);
        currentSelectedAudio = index;
    }
    SnapTargets laneSnapTargets() const override { return targets; }
    double laneZoomValue() const override { return zoom; }
};

// A 1000-point lane for a 100 s source at speed 1 (10 points a second),
// trimmed to x 100 … 700 (source 10 s to 70 s) and placed at 20 s on the
// timeline: composition seconds are lane seconds + 10.
class LaneGestureTest : public ::testing::Test {
protected:
    void SetUp() override {
        area.resize(1000, 200);
        area.audioController = &owner;
        track = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
        track->setDefaults();
        track->durationInSeconds = 100;
        track->setAnimationStart(MediaTime::fromSeconds(20, 600));
        track->setCurrentTimeRange({MediaTime::fromSeconds(10, 600), MediaTime::fromSeconds(60, 600)});
        area.audioTracks.push_back(TrackRecord{QUrl(), track, {}});
        lane = new AudioDrawingView(&area);
        lane->audioView = &area;
        track->audioDrawingView = lane;
        lane->setGeometry(0, 0, 1000, 200);
        lane->setFrame(0, 1000);
        lane->oldBounds = lane->rect();
        lane->drawingBezierPath = AudioDrawingView::regionPath({100, 10, 600, 180});
        lane->viewAcceptsMouseEvents = true;
        owner.currentSelectedAudio = 0;
    }

    // Mouse events at lane x and lane y (y up, as the lane's records hold it).
    void send(QEvent::Type type, double x, double y, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        const QPointF at(x, lane->height() - y);
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, at, at, lane->mapToGlobal(at), Qt::LeftButton, buttons, mods);
        QCoreApplication::sendEvent(lane, &e);
    }
    void press(double x, double y = 100, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        send(QEvent::MouseButtonPress, x, y, mods);
    }
    void drag(double x, double y = 100) { send(QEvent::MouseMove, x, y); }
    void release(double x, double y = 100) { send(QEvent::MouseButtonRelease, x, y); }
    void click(double x, double y = 100, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        press(x, y, mods);
        release(x, y);
    }
    // The x of the current selection's ends; empty without a selection.
    QList<double> selectionXs() const {
        QList<double> xs;
        if (!lane->selectionPaths.isEmpty())
            for (const QPointF& p : lane->selectionPaths.last()) xs.append(p.x());
        return xs;
    }

    // The selection's ends are where `xs` say, to a millionth of a point.
    ::testing::AssertionResult selectionIs(const QList<double>& xs) const {
        const QList<double> got = selectionXs();
        bool same = got.size() == xs.size();
        for (qsizetype i = 0; same && i < xs.size(); ++i) same = std::abs(got[i] - xs[i]) < 1e-6;
        if (same) return ::testing::AssertionSuccess();
        auto failure = ::testing::AssertionFailure() << "selection at";
        for (double x : got) failure << " " << x;
        return failure;
    }

    FakeOwner owner;
    AudioView area;
    std::shared_ptr<MusicFilter> track;
    AudioDrawingView* lane = nullptr;
};

// A selection edge goes to the last target within half a second: markers
// over pasted ranges over selection-parameter edges over the play position
// over the playhead, an end edge over its start. The playhead, play position
// and markers are compared on the timeline with the pointer's own time, the
// ranges in the track with the time after the playhead and play position.
TEST_F(LaneGestureTest, SnappingTakesTheLastTargetWithinHalfASecond) {
    using Range = QPair<double, double>;
    struct Case {
        const char* name;
        double playhead, playPosition;
        QList<double> markers;
        QList<Range> ranges;  // fractions of the lane
        QList<SelectionPasteRecord> pastes;
        double pointer, anchor;
    };
    const double far = 1000;  // seconds: never near
    const Case cases[] = {
        // The pointer at x 300 is 30 s into the source, 40 s on the timeline.
        {"no target near", far, far, {}, {}, {}, 300, 300},
        {"the playhead", 40.3, far, {}, {}, {}, 300, 303},
        {"the playhead half a second away", 40.5, far, {}, {}, {}, 300, 300},
        {"the playhead in track time is not near", 30.2, far, {}, {}, {}, 300, 300},
        {"the play position over the playhead", 40.3, 39.9, {}, {}, {}, 300, 299},
        {"a marker over the playhead", 40.3, far, {39.8}, {}, {}, 300, 298},
        {"the later of two markers", far, far, {40.2, 39.7}, {}, {}, 300, 297},
        {"both edges of one range: the end", far, far, {}, {Range{0.298, 0.303}}, {}, 300, 303},
        {"a range edge near the snapped playhead only", 40.4, far, {}, {Range{0.3085, 0.9}}, {}, 300, 308.5},
        {"a range over the playhead", 40.3, far, {}, {Range{0.1, 0.2985}}, {}, 300, 298.5},
        {"both edges of a pasted range: the end", far, far, {}, {}, {{{295, 0}, {302, 0}}}, 300, 302},
        {"a pasted range over a range", far, far, {}, {Range{0.301, 0.9}}, {{{298, 0}, {200, 0}}}, 300, 298},
        {"a marker over a pasted range", far, far, {40.1}, {}, {{{298, 0}, {200, 0}}}, 300, 301},
        {"a marker near the snapped edge but not the pointer", 40.4, far, {40.7}, {}, {}, 300, 304},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        owner.targets = {k.playhead, k.playPosition, k.markers};
        owner.ranges = k.ranges;
        lane->selectionPastes = k.pastes;
        press(k.pointer);
        ASSERT_EQ(selectionXs().size(), 1);
        EXPECT_NEAR(selectionXs()[0], k.anchor, 1e-9);
        release(k.pointer);
    }
    // The moving end snaps the same way, on the drag and at the release.
    owner.targets = {43.2, far, {}};
    owner.ranges.clear();
    lane->selectionPastes.clear();
    press(200);
    drag(330);
    EXPECT_TRUE(selectionIs({200, 332}));
    release(329);
    EXPECT_TRUE(selectionIs({200, 332}));
}

// A press starts a new selection at once; a click, a range under 0.1 s or
// one ending on its anchor leaves none; the ends stay in the region; the
// time label shows only while the button is down; the ruler dims meanwhile.
TEST_F(LaneGestureTest, RangeSelectionLifeCycle) {
    press(300, 120);
    drag(400, 80);
    EXPECT_TRUE(lane->showSelectionInfo);
    EXPECT_EQ(owner.alphas, (QList<double>{double(0.3f)}));
    release(450, 60);
    ASSERT_EQ(lane->selectionPaths.size(), 1);
    EXPECT_EQ(lane->selectionPaths[0], (SelectionPathRecord{{300, 120}, {450, 60}}));
    EXPECT_FALSE(lane->showSelectionInfo);
    EXPECT_FALSE(lane->isMouseDown);
    EXPECT_EQ(owner.alphas, (QList<double>{double(0.3f), 1.0}));

    // The next press replaces it before any drag.
    press(500);
    EXPECT_TRUE(selectionIs({500}));
    release(500);

    struct Case {
        const char* name;
        QList<double> drags;
        double end;
        QList<double> kept;
    };
    const Case cases[] = {
        {"a click", {}, 300, {}},
        {"a drag that never leaves the anchor", {300, 300}, 300, {}},
        {"under a tenth of a second", {305}, 300.9, {}},
        {"just over a tenth of a second", {305}, 301.1, {300, 301.1}},
        {"back on the anchor", {400}, 300, {}},
        {"past the region's right end", {900}, 950, {300, 700}},
        {"past its left end", {-40}, 20, {300, 100}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        press(300);
        for (double x : k.drags) drag(x);
        release(k.end);
        EXPECT_TRUE(selectionIs(k.kept));
    }
    // Clamped while dragging too, and an anchor snapped outside is pulled in.
    owner.targets = {20.2, 1000, {}};  // the playhead at x 102
    press(104);
    drag(-300);
    EXPECT_TRUE(selectionIs({102, 100}));
    release(-300);
    owner.targets = {1000, 1000, {19.95}};  // a marker at x 99.5, left of the region
    press(104);
    drag(400);
    EXPECT_TRUE(selectionIs({100, 400}));
    release(400);
}

// The press picks the gesture: a lane of another track is only selected; a
// Ctrl press hands a selection to the track area wherever it lands, or a
// pasted range under the pointer at least a point wide; else the press goes
// on to the range selection, which its own release commits.
TEST_F(LaneGestureTest, PressPicksItsGesture) {
    // Another track selected: this lane's press selects its track, nothing else.
    owner.currentSelectedAudio = 3;
    press(300);
    drag(400);
    release(400);
    EXPECT_EQ(owner.selections, (QList<quint64>{0}));
    EXPECT_TRUE(lane->selectionPaths.isEmpty());
    EXPECT_TRUE(owner.alphas.isEmpty());
    EXPECT_EQ(lane->gestureRouting, AudioDrawingView::GestureRouting::None);

    // Ctrl with a selection: handed over even outside the selection.
    press(200);
    drag(250);
    release(250);
    press(600, 100, Qt::ControlModifier);
    EXPECT_TRUE(area.mouseDownFromSubview);
    EXPECT_TRUE(area.mouseDownIsPressingCTRL);
    EXPECT_EQ(lane->gestureRouting, AudioDrawingView::GestureRouting::TrackArea);
    EXPECT_TRUE(selectionIs({200, 250}));
    release(600);
    EXPECT_FALSE(area.mouseDownFromSubview);
    EXPECT_TRUE(selectionIs({200, 250}));
    lane->selectionPaths.clear();

    // Ctrl without a selection: the pasted ranges. The first is half a point
    // wide and cannot be picked; the third lies under the second.
    lane->selectionPastes = {{{300, 0}, {300.5, 0}}, {{450, 0}, {350, 0}}, {{300, 0}, {500, 0}}};
    struct Case {
        const char* name;
        double x, y;
        quint64 picked;  // kNoIndex: the press becomes a range selection
    };
    const Case cases[] = {
        {"inside the second range", 400, 100, 1},
        {"on its right end, reversed", 450, 100, 2},
        {"on the narrow range only the third", 300.2, 100, 2},
        {"below the region", 400, 5, kNoIndex},
        {"beside every range", 600, 100, kNoIndex},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        press(k.x, k.y, Qt::ControlModifier);
        const bool picked = k.picked != kNoIndex;
        EXPECT_EQ(lane->mouseInsideSelectionPaste, picked);
        EXPECT_EQ(area.drawForSelectionPaste, picked);
        EXPECT_EQ(area.indexOfSelectionPaste, k.picked);
        EXPECT_EQ(area.mouseDownFromSubview, picked);
        EXPECT_EQ(lane->isMovingSelectionPath, !picked);
        drag(k.x + 50, k.y);
        release(k.x + 50, k.y);
        // An unpicked Ctrl press commits its own range selection.
        EXPECT_EQ(selectionXs().size(), picked ? 0 : 2);
        lane->selectionPaths.clear();
    }

    // No gesture while the lane refuses the mouse.
    lane->viewAcceptsMouseEvents = false;
    owner.alphas.clear();
    click(300);
    EXPECT_TRUE(lane->selectionPaths.isEmpty());
    EXPECT_TRUE(owner.alphas.isEmpty());
}

// Notes of the lane: 88 rows from note 21 at the bottom of the region.
class LaneNoteTest : public LaneGestureTest {
protected:
    static MidiNoteRecord note(uint32_t number, double start, std::optional<double> end, bool on = false) {
        MidiNoteRecord n;
        n.midiNote = number;
        n.midiCommandTime = MediaTime::fromSeconds(start, 600);
        if (end) n.midiCommandEndTime = MediaTime::fromSeconds(*end, 600);
        n.midiNoteOn = on;
        return n;
    }
    // The lane y of the middle of a note's row.
    static double rowY(uint32_t number) {
        return 10 + (std::clamp<uint32_t>(number, 21, 108) - 21 + 0.5) / 88.0 * 180;
    }
    void SetUp() override {
        LaneGestureTest::SetUp();
        lane->isSelectingNotes = true;
        track->midiArray = {a, offOfA, b, held, low, high};
    }
    bool selected(const MidiNoteRecord& n) const {
        return std::ranges::find(track->currentSelectedNotes, n) != track->currentSelectedNotes.end();
    }
    const MidiNoteRecord a = note(60, 30, 32);
    MidiNoteRecord offOfA = note(60, 32, std::nullopt);
    const MidiNoteRecord b = note(64, 35, 37);
    const MidiNoteRecord held = note(70, 40, std::nullopt, true);
    const MidiNoteRecord low = note(10, 50, 52);
    const MidiNoteRecord high = note(120, 55, 57);
};

// A click toggles the note under it (2 points of margin; a held note twice
// the zoom wide; notes outside the piano range on its end rows), a drag
// adds each note it passes and removes none; every press in note mode
// selects notes, Ctrl or not.
TEST_F(LaneNoteTest, ClicksToggleAndDragsOnlyAdd) {
    struct Case {
        const char* name;
        double x, y;
        const MidiNoteRecord* hit;
    };
    const Case cases[] = {
        {"inside a note", 310, rowY(60), &a},
        {"within 2 points of its end", 321.9, rowY(60), &a},
        {"3 points past its end", 323, rowY(60), nullptr},
        {"a row too high", 310, rowY(63), nullptr},
        {"a held note, 11 points in", 411, rowY(70), &held},
        {"a held note, 13 points in", 413, rowY(70), nullptr},
        {"note 10 on the bottom row", 510, rowY(21), &low},
        {"note 120 on the top row", 560, rowY(108), &high},
        {"the note-off's place after the note", 322.5, rowY(60), nullptr},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        track->currentSelectedNotes.clear();
        press(k.x, k.y);
        EXPECT_TRUE(lane->isMouseDown);
        EXPECT_EQ(track->currentSelectedNotes.size(), k.hit ? 1u : 0u);
        if (k.hit) EXPECT_TRUE(selected(*k.hit));
        EXPECT_EQ(track->lastSelectedNotes.size(), k.hit ? 1u : 0u);
        release(k.x, k.y);
        EXPECT_FALSE(lane->isMouseDown);
        EXPECT_TRUE(track->lastSelectedNotes.empty());
        EXPECT_TRUE(lane->selectionPaths.isEmpty());
    }

    // A second click deselects, even with Ctrl and a selection on the lane.
    track->currentSelectedNotes = {a};
    lane->selectionPaths = {{{100, 100}, {600, 100}}};
    click(310, rowY(60), Qt::ControlModifier);
    EXPECT_FALSE(selected(a));
    EXPECT_FALSE(area.mouseDownFromSubview);

    // A drag from empty space over a, b and back over a selects both, the
    // last added being the picked note while the button is down.
    track->currentSelectedNotes.clear();
    press(290, rowY(60));
    drag(310, rowY(60));
    drag(360, rowY(64));
    EXPECT_EQ(track->lastSelectedNotes, (MidiNoteList{b}));
    drag(310, rowY(60));
    EXPECT_EQ(track->lastSelectedNotes, (MidiNoteList{b}));
    release(310, rowY(60));
    EXPECT_EQ(track->currentSelectedNotes, (MidiNoteList{a, b}));
    EXPECT_EQ(owner.alphas.back(), 1.0);

    // Without notes (no MIDI manager) note mode takes the range selection.
    track->midiArray.clear();
    press(200);
    drag(300);
    release(300);
    EXPECT_TRUE(selectionIs({200, 300}));
}

// The lane draws a held note red and twice the zoom wide, a selected note
// blue and any other amber; the selected lane's ranges with their own
// effect settings are red.
TEST_F(LaneNoteTest, NotesAndSettingRangesInTheirColours) {
    track->currentSelectedNotes = {a};
    track->publishNotes();
    owner.ranges = {{0.2, 0.25}};  // x 200 to 250
    QImage shot(lane->size(), QImage::Format_ARGB32);
    shot.fill(Qt::transparent);
    lane->render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
    const QColor red = QColor::fromRgbF(0.942f, 0.153f, 0.218f), blue = QColor::fromRgbF(0.0f, 0.32f, 0.48f),
                 amber = QColor::fromRgbF(1.0f, 0.73f, 0.15f);
    auto near = [](const QColor& got, const QColor& want, int tolerance) {
        return std::abs(got.red() - want.red()) <= tolerance && std::abs(got.green() - want.green()) <= tolerance &&
               std::abs(got.blue() - want.blue()) <= tolerance;
    };
    struct Case {
        const char* name;
        double x;
        uint32_t row;
        const QColor* colour;  // null: nothing drawn
    } const cases[] = {
        {"a selected note", 310, 60, &blue},
        {"another note", 360, 64, &amber},
        {"a held note", 401, 70, &red},
        {"a held note, 8 points in at zoom 5", 408, 70, &red},
        {"past a held note's width", 412, 70, nullptr},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const QColor got = shot.pixelColor(int(k.x), int(lane->height() - rowY(k.row)));
        if (!k.colour) {
            EXPECT_EQ(got.alpha(), 0);
            continue;
        }
        EXPECT_GT(got.alpha(), 200);
        EXPECT_TRUE(near(got, *k.colour, 3)) << got.name().toStdString();
    }
    const QColor range = shot.pixelColor(225, 50);
    EXPECT_NEAR(range.alphaF(), 0.2, 0.02);
    EXPECT_TRUE(near(range, red, 12)) << range.name().toStdString();
}

}  // namespace
