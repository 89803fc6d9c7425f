// Moving a track in time, trimming its edges and dragging a time selection
// onto a track, with the mouse on the main window's ruler layer over real
// tracks, checked on the model and on audio rendered offline.
#include "TrackListFixture.h"

#include "views/FloatSlider.h"
#include "views/LineView.h"
#include "views/MarkerRecord.h"
#include "views/Palette.h"
#include "views/SmallViews.h"

#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include <cmath>

namespace {

constexpr int kRate = 44100;

class TrackMovesTest : public TrackListTest {
protected:
    // A shown window and a composition of 100 s; at zoom 10 the timeline is
    // 2000 points wide, 20 points a second.
    void SetUp() override {
        TrackListTest::SetUp();
        c->ui.window->resize(1200, 900);
        c->ui.window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(c->ui.window));
        setLength("1", "40");
    }

    // A file of `seconds` holding a 440 Hz tone over [0, 1.5) s and a 1 kHz
    // burst over [3, 3.5) s, silent elsewhere.
    static QString writeBursts(const QString& name, double seconds) {
        const auto frames = int64_t(seconds * kRate);
        testsupport::Signal s(size_t(frames), 0.0f);
        const testsupport::Signal tone = testsupport::sine(440, kRate, frames, 0.25);
        const testsupport::Signal burst = testsupport::sine(1000, kRate, frames, 0.25);
        for (int64_t i = 0; i < frames; ++i) {
            const double t = double(i) / kRate;
            if (t < 1.5) s[size_t(i)] = tone[size_t(i)];
            if (t >= 3.0 && t < 3.5) s[size_t(i)] = burst[size_t(i)];
        }
        const QString path = testsupport::tempDir() + QLatin1Char('/') + name;
        EXPECT_TRUE(testsupport::writeWav(path, {s, s}, kRate));
        return path;
    }

    // Tracks of 20 s, the first selected in trim-and-arrange mode, at `zoom`.
    void SetUpTracks(int count, double zoom = 10) {
        for (int i = 0; i < count; ++i) append(writeBursts(QStringLiteral("bursts%1.wav").arg(i), 20));
        waitForReadyItem();
        setZoom(zoom);
        line = c->ui.lineView;
        ASSERT_TRUE(line);
        for (auto& r : tracks()) r.audioFilter->typeOfComposition = 1;
        c->currentSelectedAudio = 0;
    }
    void setZoom(double zoom) {
        c->ui.zoomSlider->setFloatValue(float(zoom));
        c->updateZoomValueFrom(c->ui.zoomSlider);
        endEvent();
    }
    MusicFilter& track(size_t i) { return *tracks()[i].audioFilter; }
    QRectF region(size_t i) { return lane(i)->drawingBezierPath.boundingRect(); }

    // A point of lane `i` (y down, as the widget has it) on the ruler layer.
    QPointF onLane(size_t i, double x, double y = 100) {
        return line->mapFromGlobal(lane(i)->mapToGlobal(QPointF(x, y)));
    }
    QPointF onArea(double x, double y) {
        return line->mapFromGlobal(c->ui.audioView->mapToGlobal(QPointF(x, y)));
    }
    void send(QEvent::Type type, QPointF at, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, at, at, line->mapToGlobal(at), Qt::LeftButton, buttons, mods);
        QCoreApplication::sendEvent(line, &e);
    }
    // A press on lane 0 at `x`, a drag by `dx` in two steps and the release there.
    void dragOnLane(double x, double dx, size_t i = 0) {
        waitForSeek();
        const QPointF from = onLane(i, x);
        send(QEvent::MouseButtonPress, from);
        send(QEvent::MouseMove, from + QPointF(dx / 2, 0));
        send(QEvent::MouseMove, from + QPointF(dx, 0));
        send(QEvent::MouseButtonRelease, from + QPointF(dx, 0));
        endEvent();
    }
    int undoCount() { return c->undoManager()->undoCount(); }

    // Where the 1 kHz burst and the 440 Hz tone start and end in the
    // rendered mix, in seconds (-1 for none): the first and last 10 ms
    // blocks above a small level, told apart by their strongest frequency.
    struct Heard {
        double toneStart = -1, toneEnd = -1, burstStart = -1;
    };
    Heard heard() {
        const std::vector<float> left = renderedLeft();
        Heard h;
        const size_t block = kRate / 100;
        for (size_t a = 0; a + block <= left.size(); a += block) {
            if (testsupport::rms(left.data() + a, block) < 0.02) continue;
            const double f = testsupport::peakFrequency(left.data() + a, block, kRate);
            const double t = double(a) / kRate;
            if (std::abs(f - 1000) < 150 && h.burstStart < 0) h.burstStart = t;
            if (std::abs(f - 440) < 150) {
                if (h.toneStart < 0) h.toneStart = t;
                h.toneEnd = t + 0.01;
            }
        }
        return h;
    }
    void waitForSeek() {
        EXPECT_TRUE(testsupport::waitUntil([&] { return !c->shell.audioControllerIsWorking && c->shell.viewControlsEnabled; }));
        endEvent();
    }

    LineView* line = nullptr;
};

// In trim-and-arrange mode, in a region 100 points wide, a press within a
// tenth of its width from an edge trims that edge and any other press moves
// the whole track; a press and release without motion changes nothing.
TEST_F(TrackMovesTest, APressNearAnEdgeTrimsAndElsewhereMoves) {
    SetUpTracks(1);
    AudioDrawingView* l = lane(0);
    l->drawingBezierPath = AudioDrawingView::regionPath(QRectF(100, 10, 100, 180));
    const struct {
        const char* name;
        double x;
        bool trims;
        quint64 side;
    } cases[] = {
        {"10 points right of the left edge", 110, true, 0},
        {"11 points right of the left edge", 111, false, 0},
        {"the middle", 150, false, 1},
        {"11 points left of the right edge", 189, false, 1},
        {"10 points left of the right edge", 190, true, 1},
    };
    const int steps = undoCount();
    const MediaTime start = track(0).animationStart();
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        send(QEvent::MouseButtonPress, onLane(0, k.x));
        EXPECT_EQ(l->isMouseDown, k.trims);
        EXPECT_EQ(l->mouseEventToSuperview, !k.trims);
        EXPECT_EQ(c->ui.audioView->isMouseDown, !k.trims);
        EXPECT_EQ(l->movingSide, k.side);
        EXPECT_DOUBLE_EQ(line->lineAlpha.load(), double(0.3f));
        send(QEvent::MouseButtonRelease, onLane(0, k.x));
        endEvent();
        EXPECT_DOUBLE_EQ(line->lineAlpha.load(), 1.0);
        EXPECT_EQ(undoCount(), steps);
        EXPECT_EQ(region(0), QRectF(100, 10, 100, 180));
        EXPECT_EQ(l->x(), 0);
        EXPECT_EQ(track(0).animationStart(), start);
    }
}

// A move stops with the region's left edge at the area's left edge and its
// right edge at the area's right edge.
TEST_F(TrackMovesTest, AMoveStaysInsideTheArea) {
    SetUpTracks(1);
    AudioDrawingView* l = lane(0);
    const double W = c->ui.audioView->width();
    ASSERT_EQ(W, 2000);
    ASSERT_EQ(region(0).width(), 400);
    dragOnLane(200, 5000);
    EXPECT_EQ(l->x() + region(0).right(), W);
    EXPECT_NEAR(track(0).animationStart().seconds(), 80, 0.01);
    EXPECT_NEAR(track(0).animationEnd().seconds(), 100, 0.01);
    c->ui.audioScrollView->horizontalScrollBar()->setValue(l->x());
    endEvent();
    dragOnLane(200, -5000);
    EXPECT_EQ(l->x() + region(0).left(), 0);
    EXPECT_NEAR(track(0).animationStart().seconds(), 0, 0.01);
}

// A 5 s move puts the sound and the key points 5 s later; undo and redo
// take both back and forth. Undo after the zoom changed scales the
// recorded place by the zoom.
TEST_F(TrackMovesTest, AMoveCarriesSoundAndKeyPointsAndItsUndoFollowsTheZoom) {
    SetUpTracks(1);
    AudioDrawingView* l = lane(0);
    c->automation.recordedParameters[track(0).identifierOfFilter][QStringLiteral("inputAudioMix")] = {
        KeyPoint{2.0, 0.5, std::nullopt}, KeyPoint{4.0, 1.0, 1}};
    auto keyTimes = [&] {
        std::vector<double> times;
        for (const KeyPoint& k :
             c->automation.recordedParameters[track(0).identifierOfFilter][QStringLiteral("inputAudioMix")])
            times.push_back(k.time);
        return times;
    };
    const Heard before = heard();
    EXPECT_NEAR(before.toneStart, 0.0, 0.02);
    EXPECT_NEAR(before.burstStart, 3.0, 0.02);

    dragOnLane(200, 100);
    EXPECT_EQ(l->x(), 100);
    EXPECT_NEAR(track(0).animationStart().seconds(), 5, 1e-3);
    EXPECT_EQ(keyTimes(), (std::vector<double>{7.0, 9.0}));
    const Heard moved = heard();
    EXPECT_NEAR(moved.toneStart, 5.0, 0.02);
    EXPECT_NEAR(moved.burstStart, 8.0, 0.02);

    undo();
    EXPECT_EQ(l->x(), 0);
    EXPECT_NEAR(track(0).animationStart().seconds(), 0, 1e-3);
    EXPECT_EQ(keyTimes(), (std::vector<double>{2.0, 4.0}));
    EXPECT_NEAR(heard().burstStart, 3.0, 0.02);
    redo();
    EXPECT_EQ(l->x(), 100);
    EXPECT_NEAR(heard().burstStart, 8.0, 0.02);

    // A second move, then the zoom doubled: undo puts the lane at twice
    // the recorded x, redo where it was before the undo.
    dragOnLane(200, 60);
    ASSERT_EQ(l->x(), 160);
    setZoom(20);
    ASSERT_EQ(l->x(), 320);
    undo();
    EXPECT_EQ(l->x(), 200);
    EXPECT_NEAR(track(0).animationStart().seconds(), 5, 1e-3);
    redo();
    EXPECT_EQ(l->x(), 320);
    EXPECT_NEAR(track(0).animationStart().seconds(), 8, 1e-3);
}

// A move's undo acts on the moved track wherever it is in the list, and on
// nothing once that track is gone.
TEST_F(TrackMovesTest, AMoveUndoFollowsItsTrackNotItsRow) {
    SetUpTracks(2);
    c->currentSelectedAudio = 1;
    const std::shared_ptr<MusicFilter> moved = tracks()[1].audioFilter;
    dragOnLane(200, 100, 1);
    ASSERT_NEAR(moved->animationStart().seconds(), 5, 1e-3);
    // The track above goes without an undo of its own: the moved one is
    // now the first.
    auto removeWithoutUndo = [&](quint64 index) {
        c->undoManager()->disableUndoRegistration();
        c->removeAudioFileAtIndex(index);
        c->undoManager()->enableUndoRegistration();
        endEvent();
    };
    removeWithoutUndo(0);
    ASSERT_EQ(tracks().size(), 1u);
    ASSERT_EQ(tracks()[0].audioFilter, moved);
    undo();
    EXPECT_NEAR(moved->animationStart().seconds(), 0, 1e-3);
    EXPECT_EQ(lane(0)->pos(), QPoint(0, 0)) << "in its new row";
    redo();
    EXPECT_NEAR(moved->animationStart().seconds(), 5, 1e-3);
    // Gone: the undo does nothing.
    removeWithoutUndo(0);
    ASSERT_TRUE(tracks().empty());
    const MediaTime start = moved->animationStart();
    undo();
    EXPECT_EQ(moved->animationStart(), start);
}

// A start trim cuts the start of what plays and keeps the rest in place; an
// end trim seeks to the new end, and the undo of either seeks to the start.
TEST_F(TrackMovesTest, TrimsCutTheSoundAndUndoBringsItBack) {
    SetUpTracks(1);
    const int steps = undoCount();
    // Start edge, 2 s in: the tone is gone, the burst stays at 3 s.
    dragOnLane(2, 40);
    EXPECT_EQ(undoCount(), steps + 1);
    EXPECT_DOUBLE_EQ(region(0).left(), 40);
    EXPECT_NEAR(track(0).animationStart().seconds(), 2, 1e-3);
    EXPECT_NEAR(track(0).currentTimeRange().start.seconds(), 2, 1e-3);
    EXPECT_NEAR(track(0).audioOriginInPercent, 0.1, 1e-9);
    EXPECT_EQ(text(track(0).audioTimeLabel), QStringLiteral("00:00:18 / 00:00:20"));
    Heard h = heard();
    EXPECT_LT(h.toneStart, 0);
    EXPECT_NEAR(h.burstStart, 3.0, 0.02);
    undo();
    waitForSeek();
    EXPECT_DOUBLE_EQ(region(0).left(), 0);
    EXPECT_NEAR(track(0).currentTimeRange().start.seconds(), 0, 1e-3);
    h = heard();
    EXPECT_NEAR(h.toneStart, 0.0, 0.02);
    EXPECT_NEAR(h.burstStart, 3.0, 0.02);

    // End edge 4.9 s back: the player seeks to the new end, undo to the start.
    dragOnLane(398, -98);
    EXPECT_NEAR(track(0).animationEnd().seconds(), 15.1, 1e-3);
    EXPECT_NEAR(track(0).currentTimeRange().duration.seconds(), 15.1, 1e-3);
    EXPECT_EQ(text(track(0).audioTimeLabel), QStringLiteral("00:00:15 / 00:00:20"));
    EXPECT_TRUE(testsupport::waitUntil([&] { return std::abs(c->currentTime() - 15.1) < 0.01; }))
        << c->currentTime();
    waitForSeek();
    undo();
    EXPECT_NEAR(track(0).currentTimeRange().duration.seconds(), 20, 1e-3);
    EXPECT_EQ(text(track(0).audioTimeLabel), QStringLiteral("00:00:20 / 00:00:20"));
    EXPECT_TRUE(testsupport::waitUntil([&] { return std::abs(c->currentTime()) < 0.01; }))
        << c->currentTime();
    waitForSeek();
    redo();
    waitForSeek();
    EXPECT_NEAR(track(0).currentTimeRange().duration.seconds(), 15.1, 1e-3);
}

// An edge stops where a second of source would be left, which the track
// still plays, and the region never goes narrower than 3 points (at zoom 1
// a second is 2 points wide).
TEST_F(TrackMovesTest, AnEdgeLeavesASecondOfSourceAndThreePoints) {
    const struct {
        const char* name;
        double zoom;
        bool endEdge;
        double width;  // of the region after the drag
    } cases[] = {
        {"end edge, 20 points a second", 10, true, 20.02},
        {"start edge, 20 points a second", 10, false, 20.02},
        {"start edge, 2 points a second", 1, false, 3},
    };
    SetUpTracks(1, 10);
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        setZoom(k.zoom);
        const QRectF before = region(0);
        const double pressX = k.endEdge ? before.right() - 1 : before.left() + 1;
        dragOnLane(pressX, k.endEdge ? -5000 : 5000);
        const QRectF after = region(0);
        EXPECT_NEAR(after.width(), k.width, 0.01);
        // The edge that was not dragged stays.
        if (k.endEdge)
            EXPECT_DOUBLE_EQ(after.left(), before.left());
        else
            EXPECT_DOUBLE_EQ(after.right(), before.right());
        const double used = track(0).currentTimeRange().duration.seconds();
        EXPECT_GE(used, 1.0);
        EXPECT_NEAR(used, std::max(1.001, after.width() / lane(0)->width() * 20), 0.01);
        undo();
        waitForSeek();
        EXPECT_NEAR(track(0).currentTimeRange().duration.seconds(), 20, 1e-3);
    }
}

// A Ctrl-drag of a time selection onto a track: it shows past 5 points from
// the press, snaps to markers, picks the row under the pointer (the first
// above the area, the last below it) and is stored for the controller,
// which uses it once the seek it starts has completed.
class SelectionDragTest : public TrackMovesTest {
protected:
    void SetUp() override {
        TrackMovesTest::SetUp();
        SetUpTracks(2);
        // A 2 s selection at 2 to 4 s of lane 0.
        lane(0)->selectionPaths = {SelectionPathRecord{QPointF(40, 100), QPointF(80, 100)}};
        c->editing.markersArray = {MarkerRecord{10.0, QStringLiteral("Ten")},
                                   MarkerRecord{150.0, QStringLiteral("Beyond the end")}};
    }
    // Presses with Ctrl on the selection, drags through `path` (area
    // coordinates) with Ctrl and releases at its last point with `release`.
    void dragSelection(const std::vector<QPointF>& path, Qt::KeyboardModifiers release) {
        const QPointF press = onLane(0, 60);
        send(QEvent::MouseButtonPress, press, Qt::ControlModifier);
        for (const QPointF& p : path) send(QEvent::MouseMove, onArea(p.x(), p.y()), Qt::ControlModifier);
        send(QEvent::MouseButtonRelease, onArea(path.back().x(), path.back().y()), release);
    }
    AudioView* area() { return c->ui.audioView; }
    // The pointer x that carries the 40-point range to start at `seconds`.
    static double pointerFor(double seconds) { return seconds * 20 + 20; }
};

TEST_F(SelectionDragTest, TheThresholdLeftAndReEnteredDropsNothing) {
    const QPointF press = c->ui.audioView->mapFromGlobal(lane(0)->mapToGlobal(QPointF(60, 100)));
    send(QEvent::MouseButtonPress, onLane(0, 60), Qt::ControlModifier);
    const struct {
        QPointF by;
        bool shown;
    } steps[] = {{{3, 4}, false}, {{30, 0}, true}, {{2, 2}, false}};
    for (const auto& s : steps) {
        const QPointF at = press + s.by;
        send(QEvent::MouseMove, onArea(at.x(), at.y()), Qt::ControlModifier);
        EXPECT_EQ(area()->drawMovingSelectionPath, s.shown);
    }
    send(QEvent::MouseButtonRelease, onArea(press.x() + 2, press.y() + 2), Qt::ControlModifier);
    endEvent();
    EXPECT_FALSE(c->editing.dragDropSelectionInfo);
    EXPECT_FALSE(area()->mouseDownIsPressingCTRL);
}

TEST_F(SelectionDragTest, TheDropSnapsToMarkersPicksItsRowAndWaitsForTheSeek) {
    const double H = area()->height();
    const struct {
        const char* name;
        QPointF at;
        Qt::KeyboardModifiers release;
        bool stored;
        quint64 row;
        double start;  // seconds
        bool option;
    } cases[] = {
        {"a start at 9.7 s lands on the marker", {pointerFor(9.7), 300}, Qt::ControlModifier, true, 1, 10.0, false},
        {"an end at 10.3 s ends on the marker", {pointerFor(8.3), 100}, Qt::ControlModifier, true, 0, 8.0, false},
        {"away from the marker", {pointerFor(20), 100}, Qt::ControlModifier, true, 0, 20.0, false},
        {"above the area: the first row", {pointerFor(20), -30}, Qt::ControlModifier, true, 0, 20.0, false},
        {"below the area: the last row", {pointerFor(20), H + 30}, Qt::ControlModifier, true, 1, 20.0, false},
        {"Alt held", {pointerFor(20), 300}, Qt::ControlModifier | Qt::AltModifier, true, 1, 20.0, true},
        {"Ctrl let go first: only the seek", {pointerFor(15), 100}, Qt::NoModifier, false, 0, 15.0, false},
    };
    const int undosBefore = c->undoManager()->undoCount();
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        waitForSeek();
        // The drag starts again from track 0's selection.
        c->currentSelectedAudio = 0;
        lane(0)->selectionPaths = {SelectionPathRecord{QPointF(40, 100), QPointF(80, 100)}};
        dragSelection({QPointF(pointerFor(5), 100), k.at}, k.release);
        EXPECT_TRUE(c->shell.audioControllerIsWorking) << "the drop seeks";
        ASSERT_EQ(bool(c->editing.dragDropSelectionInfo), k.stored);
        if (k.stored) {
            const DragDropSelectionRecord& drop = *c->editing.dragDropSelectionInfo;
            EXPECT_EQ(drop.targetIndex, k.row);
            EXPECT_NEAR(drop.dropFraction * 100, k.start, 1e-6);
            EXPECT_EQ(drop.source.lock(), tracks()[0].audioFilter);
            EXPECT_FALSE(drop.isPaste);
            EXPECT_EQ(drop.option, k.option);
        }
        for (size_t i = 0; i < tracks().size(); ++i) EXPECT_FALSE(lane(i)->tempStrokeForDragDrop);
        // The seek completes at the drop time, and the drop is used and gone.
        EXPECT_TRUE(testsupport::waitUntil([&] { return !c->editing.dragDropSelectionInfo; }));
        waitForSeek();
        EXPECT_NEAR(c->currentTime(), k.start, 0.01);
        // The drop's edit is taken back for the next case.
        while (c->undoManager()->undoCount() > undosBefore) {
            undo();
            waitForSeek();
        }
    }
}

// The dragged range's picture lies over the lanes and replaces what is
// under it: where the range is silent, the target lane's tone does not show
// through; where it sounds, its waveform is drawn.
TEST_F(SelectionDragTest, ThePictureLiesOverTheLanes) {
    // The 2 s range (source 2 to 4 s: silence, a burst at 3 s) carried to
    // x 10 to 50 of row 1, whose tone (0 to 1.5 s) lies under x 10 to 30.
    const QPointF pointer(pointerFor(0.5), 300);
    auto isBackground = [](const QColor& p) {
        const QColor b = palette::backgroundGrey();
        return std::abs(p.red() - b.red()) < 8 && std::abs(p.green() - b.green()) < 8 &&
               std::abs(p.blue() - b.blue()) < 8;
    };
    const QImage before = area()->grab().toImage();
    ASSERT_FALSE(isBackground(before.pixelColor(20, 290))) << "the tone of row 1";
    send(QEvent::MouseButtonPress, onLane(0, 60), Qt::ControlModifier);
    send(QEvent::MouseMove, onArea(pointerFor(5), 100), Qt::ControlModifier);
    send(QEvent::MouseMove, onArea(pointer.x(), pointer.y()), Qt::ControlModifier);
    ASSERT_TRUE(area()->drawMovingSelectionPath);
    endEvent();
    const QImage image = area()->grab().toImage();
    const double scale = image.devicePixelRatio();
    auto at = [&](double x, double y) { return image.pixelColor(QPoint(int(x * scale), int(y * scale))); };
    EXPECT_TRUE(isBackground(at(20, 290))) << at(20, 290).name().toStdString();
    EXPECT_FALSE(isBackground(at(35, 290))) << "the burst";
    send(QEvent::MouseButtonRelease, onArea(pointer.x(), pointer.y()), Qt::NoModifier);
    waitForSeek();
    EXPECT_FALSE(area()->drawMovingSelectionPath);
    endEvent();
    EXPECT_FALSE(isBackground(area()->grab().toImage().pixelColor(20, 290))) << "the picture is gone";
}

// While dragged, the row under the pointer is marked: the first above the
// area, none below it. A drop time past the player's item (the tracks end at
// 20 s) shows as the ruler's second line instead of a seek.
TEST_F(SelectionDragTest, TheRowUnderThePointerIsMarkedWhileDragging) {
    send(QEvent::MouseButtonPress, onLane(0, 60), Qt::ControlModifier);
    for (const double at : {30.0, 15.0}) {
        SCOPED_TRACE(at);
        send(QEvent::MouseMove, onArea(pointerFor(at), 100), Qt::ControlModifier);
        EXPECT_EQ(line->drawAdditionalLinePercent, at > 20);
        if (at > 20) EXPECT_DOUBLE_EQ(line->additionalLinePercent, at / 100);
        EXPECT_EQ(c->shell.audioControllerIsWorking, at < 20);
    }
    send(QEvent::MouseButtonRelease, onArea(pointerFor(15), 100), Qt::NoModifier);
    EXPECT_FALSE(line->drawAdditionalLinePercent);
    waitForSeek();

    const double H = area()->height();
    send(QEvent::MouseButtonPress, onLane(0, 60), Qt::ControlModifier);
    const struct {
        double y;
        bool first, second;
    } steps[] = {{100, true, false}, {300, false, true}, {-30, true, false}, {H + 30, false, false}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.y);
        send(QEvent::MouseMove, onArea(pointerFor(20), s.y), Qt::ControlModifier);
        EXPECT_EQ(lane(0)->tempStrokeForDragDrop, s.first);
        EXPECT_EQ(lane(1)->tempStrokeForDragDrop, s.second);
    }
    send(QEvent::MouseButtonRelease, onArea(pointerFor(20), H + 30), Qt::NoModifier);
    waitForSeek();
}

}  // namespace
