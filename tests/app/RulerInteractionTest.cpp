// The ruler layer's mouse, keys, pinches and drops on the main window with
// real tracks and a player on the test JACK server.
#include "TrackListFixture.h"

#include "views/FloatSlider.h"
#include "views/LineView.h"
#include "views/Palette.h"
#include "views/SmallViews.h"

#include <QMimeData>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QScrollBar>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

#include <cmath>

namespace {

class RulerInteractionTest : public TrackListTest {
protected:
    // A shown window with `count` tracks of 20 s in a composition of 100 s
    // at `zoom` (10: 20 points a second), the player ready.
    void SetUpTracks(int count, double zoom = 10) {
        c->ui.window->resize(1200, 900);
        c->ui.window->show();
        setLength("1", "40");
        for (int i = 0; i < count; ++i) append(writeTone(QStringLiteral("tone%1.wav").arg(i), 20, 440 + 110 * i));
        waitForReadyItem();
        if (zoom != 1.0) {
            c->ui.zoomSlider->setFloatValue(zoom);
            c->updateZoomValueFrom(c->ui.zoomSlider);
        }
        line = c->ui.lineView;
        ASSERT_TRUE(line);
        line->repaint();
    }
    // The playhead's x in the layer, where the last drawing put it.
    double playheadX() const {
        return std::clamp(line->currentLinePercent, 0.0, 1.0) * c->rulerTimelineWidth() -
               c->ui.audioScrollView->horizontalScrollBar()->value();
    }
    // Puts the playhead at `seconds` and draws it there.
    void placePlayhead(double seconds) {
        seekAndWait(seconds);
        line->repaint();
    }
    // A mouse event at a point of the layer, with its fractions kept.
    bool send(QEvent::Type type, QPointF at, Qt::MouseButtons buttons = Qt::LeftButton) {
        QMouseEvent e(type, at, at, line->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(line, &e);
        return e.isAccepted();
    }
    bool press(QPointF at) { return send(QEvent::MouseButtonPress, at); }
    bool drag(QPointF at) { return send(QEvent::MouseMove, at); }
    bool release(QPointF at) { return send(QEvent::MouseButtonRelease, at, Qt::NoButton); }
    // The layer's y below the track rows (no lane there).
    double belowRows() { return tracks().size() * 200.0 + 40; }
    double xOfTime(double seconds) const {
        return seconds / c->rulerCompositionSeconds() * c->rulerTimelineWidth() -
               c->ui.audioScrollView->horizontalScrollBar()->value();
    }
    // The column of the playhead's blue line in a grab of the layer, or -1.
    int drawnPlayheadColumn() {
        const QImage image = line->grab().toImage();
        const int y = image.height() - 30;
        const QColor blue = palette::blue();
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            if (std::abs(p.red() - blue.red()) < 25 && std::abs(p.green() - blue.green()) < 25 &&
                std::abs(p.blue() - blue.blue()) < 25)
                return x;
        }
        return -1;
    }
    void pinch(Qt::NativeGestureType type, double value) {
        QNativeGestureEvent e(type, QPointingDevice::primaryPointingDevice(), 2, QPointF(50, 50),
                              QPointF(50, 50), line->mapToGlobal(QPointF(50, 50)), value, QPointF());
        QCoreApplication::sendEvent(line, &e);
    }
    LineView* line = nullptr;
};

// Counts the presses, drags and releases a widget receives.
struct MouseCounter : QObject {
    int presses = 0, moves = 0, releases = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        presses += e->type() == QEvent::MouseButtonPress;
        moves += e->type() == QEvent::MouseMove;
        releases += e->type() == QEvent::MouseButtonRelease;
        return false;
    }
};

// A press grabs the playhead under 5 points from it; inside a lane's trimmed
// region the lane takes the press (and its drag and release) even next to
// the playhead; elsewhere, and before the item is ready, it is handed on.
TEST_F(RulerInteractionTest, PressesGoToTheLaneThePlayheadOrOn) {
    SetUpTracks(1);
    AudioDrawingView* l = lane(0);
    // The track is trimmed to its middle: its lane is wider than its region.
    const QRectF lanePart(l->width() * 0.25, 0, l->width() * 0.5, 200);
    l->drawingBezierPath = AudioDrawingView::regionPath(lanePart);
    placePlayhead(1.0);  // over the lane's left part, outside its region
    MouseCounter counter;
    l->installEventFilter(&counter);
    const double xc = playheadX();
    const double inRegion = line->mapFromGlobal(l->mapToGlobal(lanePart.center())).x();
    const double laneY = line->mapFromGlobal(l->mapToGlobal(QPointF(0, 100))).y();

    struct Case {
        const char* name;
        QPointF at;
        bool grabs, toLane;
    };
    const Case cases[] = {
        {"5.0 points right of the playhead", {xc + 5.0, belowRows()}, false, false},
        {"5.0 points left of the playhead", {xc - 5.0, belowRows()}, false, false},
        {"4.9 points right", {xc + 4.9, belowRows()}, true, false},
        {"4.9 points left", {xc - 4.9, belowRows()}, true, false},
        {"on the lane beside its region, on the playhead", {xc, laneY}, true, false},
        {"on the lane beside its region, away from the playhead", {xc + 40, laneY}, false, false},
        {"inside the region", {inRegion, laneY}, false, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const int before = counter.presses;
        const bool accepted = press(k.at);
        EXPECT_EQ(line->canMoveLine, k.grabs);
        EXPECT_EQ(line->mouseDrawingView() == l, k.toLane);
        EXPECT_EQ(counter.presses - before, k.toLane ? 1 : 0);
        EXPECT_EQ(accepted, k.grabs || k.toLane);
        if (k.grabs) {
            release(k.at);
            seekAndWait(1.0);
            line->repaint();
        }
    }
    // The region's drag and release reach the lane too, and end its gesture.
    press({inRegion, laneY});
    drag({inRegion + 10, laneY});
    release({inRegion + 10, laneY});
    EXPECT_EQ(counter.moves, 1);
    EXPECT_EQ(counter.releases, 1);
    EXPECT_EQ(line->mouseDrawingView(), nullptr);

    // The region moved under the playhead still takes the press first.
    l->drawingBezierPath = AudioDrawingView::regionPath(QRectF(0, 0, l->width(), 200));
    press({xc, laneY});
    EXPECT_EQ(line->mouseDrawingView(), l);
    EXPECT_FALSE(line->canMoveLine);
    release({xc, laneY});

    // No item ready: nothing is routed.
    player->replaceCurrentItem(nullptr);
    const int before = counter.presses;
    EXPECT_FALSE(press({xc, belowRows()}));
    EXPECT_FALSE(press({inRegion, laneY}));
    EXPECT_FALSE(line->canMoveLine);
    EXPECT_EQ(counter.presses, before);
}

// A fast drag moves the playhead, slider and labels at every step while the
// player seeks one seek at a time, each drag seek opening the gate again
// after its half-second delay; past either end it holds at 0 or the length.
TEST_F(RulerInteractionTest, PlayheadDragSeeksThroughTheGate) {
    SetUpTracks(1);
    placePlayhead(2.0);
    const double D = c->rulerCompositionSeconds();
    ASSERT_NEAR(D, 100.0, 1e-9);

    std::vector<std::string> log;
    int inFlight = 0, overlaps = 0;
    QObject::connect(line, &LineView::seekStarted, [&](double) {
        if (inFlight > 0) ++overlaps;
        ++inFlight;
        log.push_back("seek");
    });
    QObject::connect(line, &LineView::seekFinished, [&](bool finished) {
        --inFlight;
        log.push_back(finished ? "finished" : "interrupted");
    });
    std::vector<std::function<void()>> held;
    line->performAfterDelay = [&](int delayMs, std::function<void()> fn) {
        log.push_back("schedule " + std::to_string(delayMs));
        held.push_back(std::move(fn));
    };

    const double y = belowRows();
    ASSERT_TRUE(press({playheadX(), y}));
    EXPECT_FALSE(c->shell.continueTimeObserver);
    ASSERT_TRUE(testsupport::waitUntil([&] { return line->canSeekTime; }));

    // Steps of 1 s: every one moves the display, at most one seek flies.
    QString lastLabel = c->ui.labelStart->text();
    for (int step = 1; step <= 12; ++step) {
        const double t = 2.0 + 1.0 * step + 0.25;
        drag({xOfTime(t), y});
        EXPECT_NEAR(line->currentTime, t, 1e-6);
        EXPECT_NEAR(line->linePercent, t / D, 1e-9);
        EXPECT_NEAR(c->ui.audioSlider->floatValue(), t, 1e-3);
        EXPECT_NE(c->ui.labelStart->text(), lastLabel) << step;
        lastLabel = c->ui.labelStart->text();
        line->repaint();
        EXPECT_NEAR(drawnPlayheadColumn(), xOfTime(t), 1.5) << step;
        // Let the seek in flight finish now and then, and open the gate
        // held by its delay every third step.
        QCoreApplication::processEvents();
        if (step % 3 == 0) {
            ASSERT_TRUE(testsupport::waitUntil([&] { return inFlight == 0; }));
            for (auto& fn : held) fn();
            held.clear();
        }
    }
    EXPECT_EQ(overlaps, 0);
    // The press seek, then per opened gate one drag seek followed by its delay.
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "seek");
    EXPECT_EQ(log[1], "finished");
    int drags = 0;
    for (size_t i = 2; i < log.size(); ++i) {
        if (log[i] != "seek") continue;
        ++drags;
        if (i + 1 < log.size()) EXPECT_EQ(log[i + 1], "finished");
        if (i + 2 < log.size()) EXPECT_EQ(log[i + 2], "schedule 500");
    }
    EXPECT_EQ(drags, 4);  // the first step, then one after each opened gate

    // Past either end the playhead holds at the ends.
    drag({xOfTime(D) + 300, y});
    EXPECT_DOUBLE_EQ(line->currentTime, D);
    EXPECT_DOUBLE_EQ(line->linePercent, 1.0);
    drag({-100000, y});  // the drag past the end scrolled the track area
    EXPECT_DOUBLE_EQ(line->currentTime, 0.0);
    EXPECT_DOUBLE_EQ(line->linePercent, 0.0);

    // The release hands the final time to the controller, whose seek puts
    // everything where the player lands and resumes the time observer.
    drag({xOfTime(7.25), y});
    release({xOfTime(7.25), y});
    EXPECT_FALSE(line->canMoveLine);
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    EXPECT_NEAR(c->currentTime(), 7.25, 1e-3);
    EXPECT_NEAR(c->ui.audioSlider->floatValue(), 7.25, 1e-3);
    EXPECT_TRUE(c->shell.continueTimeObserver);
}

// The notes editor's drag by time: a drag without its press does nothing,
// the release always ends the drag, times are held to the composition.
TEST_F(RulerInteractionTest, DragByTime) {
    SetUpTracks(1);
    placePlayhead(3.0);
    line->lineUpdateDraggedFromAbsoluteTime(9.0);
    EXPECT_NEAR(line->linePercent, 3.0 / 100, 1e-9);

    line->lineUpdateDownFromAbsoluteTime(-4.0);
    EXPECT_TRUE(line->canMoveLine);
    EXPECT_DOUBLE_EQ(line->currentTime, 0.0);
    line->lineUpdateDraggedFromAbsoluteTime(150.0);
    EXPECT_DOUBLE_EQ(line->linePercent, 1.0);
    line->lineUpdateDraggedFromAbsoluteTime(9.0);
    EXPECT_NEAR(c->ui.audioSlider->floatValue(), 9.0, 1e-3);
    line->lineUpdateUpFromAbsoluteTime(11.0);
    EXPECT_FALSE(line->canMoveLine);
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    EXPECT_NEAR(c->currentTime(), 11.0, 1e-3);

    line->lineUpdateUpFromAbsoluteTime(15.0);  // no drag: only ends it
    EXPECT_FALSE(line->canMoveLine);
    QCoreApplication::processEvents();
    EXPECT_NEAR(c->currentTime(), 11.0, 1e-3);
}

// The arrows step through the tracks without wrapping; at the ends, while
// busy and with no track selected they are handed on (to the track area's
// scrolling).
TEST_F(RulerInteractionTest, ArrowsSelectTheNeighbouringTrack) {
    SetUpTracks(3);
    struct Case {
        const char* name;
        quint64 from;
        Qt::Key key;
        bool busy;
        quint64 to;
    };
    const Case cases[] = {
        {"down from the first", 0, Qt::Key_Down, false, 1},
        {"down from the second", 1, Qt::Key_Down, false, 2},
        {"down from the last", 2, Qt::Key_Down, false, 2},
        {"up from the last", 2, Qt::Key_Up, false, 1},
        {"up from the first", 0, Qt::Key_Up, false, 0},
        {"down while busy", 0, Qt::Key_Down, true, 0},
        {"another key", 0, Qt::Key_Right, false, 0},
        {"down with none selected", kNoIndex, Qt::Key_Down, false, kNoIndex},
        {"up with none selected", kNoIndex, Qt::Key_Up, false, kNoIndex},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        c->currentSelectedAudio = k.from;
        c->shell.audioControllerIsWorking = k.busy;
        QKeyEvent e(QEvent::KeyPress, k.key, Qt::NoModifier);
        QCoreApplication::sendEvent(line, &e);
        EXPECT_EQ(c->currentSelectedAudio.load(), k.to);
        c->shell.audioControllerIsWorking = false;
    }
}

// Three dropped files add the first as a track.
TEST_F(RulerInteractionTest, DroppedFilesAddTheFirst) {
    SetUpTracks(1);
    const QString a = writeTone("drop-a.wav", 2, 330), b = writeTone("drop-b.wav", 2, 550),
                  cFile = writeTone("drop-c.wav", 2, 660);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b), QUrl::fromLocalFile(cFile)});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(line, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(line, &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(testsupport::waitUntil([&] {
        return tracks().size() == 2 && c->imports.tracksReading == 0 && tracks().back().audioFilter->hasPlayerAsset();
    }));
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    ASSERT_EQ(tracks().size(), 2u);
    EXPECT_EQ(tracks().back().audioURL, QUrl::fromLocalFile(a));
}

// A pinch of +0.2 then +0.1 from 1.0 ends near 1.3 and is one undo step; a
// slider drag is one undo step too; a pinch stops at the slider's ends.
TEST_F(RulerInteractionTest, PinchAndSliderDragAreOneUndoStepEach) {
    SetUpTracks(1, 1.0);
    const int undosBefore = c->undoManager()->undoCount();
    endEvent();
    pinch(Qt::BeginNativeGesture, 0);
    pinch(Qt::ZoomNativeGesture, 0.2);
    pinch(Qt::ZoomNativeGesture, 0.1);
    pinch(Qt::EndNativeGesture, 0);
    endEvent();
    EXPECT_NEAR(c->shell.zoomValue, 1.3, 1e-6);
    EXPECT_NEAR(c->ui.zoomSlider->floatValue(), 1.3, 1e-6);
    EXPECT_EQ(c->undoManager()->undoCount(), undosBefore + 1);
    undo();
    EXPECT_DOUBLE_EQ(c->shell.zoomValue, 1.0);
    EXPECT_DOUBLE_EQ(c->ui.zoomSlider->floatValue(), 1.0);
    redo();
    EXPECT_NEAR(c->shell.zoomValue, 1.3, 1e-6);
    undo();

    // Beyond the slider's range the pinch stops at its end.
    pinch(Qt::BeginNativeGesture, 0);
    pinch(Qt::ZoomNativeGesture, -3);
    EXPECT_DOUBLE_EQ(c->shell.zoomValue, c->ui.zoomSlider->minValue());
    pinch(Qt::ZoomNativeGesture, 100);
    EXPECT_DOUBLE_EQ(c->shell.zoomValue, c->ui.zoomSlider->maxValue());
    pinch(Qt::EndNativeGesture, 0);
    endEvent();
    undo();
    EXPECT_DOUBLE_EQ(c->shell.zoomValue, 1.0);

    // A slider drag through several values: one step back to its start.
    const int before = c->undoManager()->undoCount();
    FloatSlider* slider = c->ui.zoomSlider;
    slider->setSliderDown(true);
    for (double z : {2.0, 3.5, 5.0}) {
        slider->setValue(int(std::lround((z - 1) / 19 * slider->maximum())));
        EXPECT_NEAR(c->shell.zoomValue, z, 1e-3);
    }
    slider->setSliderDown(false);
    endEvent();
    EXPECT_EQ(c->undoManager()->undoCount(), before + 1);
    undo();
    EXPECT_DOUBLE_EQ(c->shell.zoomValue, 1.0);

    // A click on the zoom's caption goes back to 1.0 as one undo step.
    pinch(Qt::BeginNativeGesture, 0);
    pinch(Qt::ZoomNativeGesture, 2.5);
    pinch(Qt::EndNativeGesture, 0);
    endEvent();
    ASSERT_TRUE(c->ui.resetZoomButton);
    c->ui.resetZoomButton->click();
    endEvent();
    EXPECT_DOUBLE_EQ(c->shell.zoomValue, 1.0);
    EXPECT_DOUBLE_EQ(c->ui.zoomSlider->floatValue(), 1.0);
    undo();
    EXPECT_NEAR(c->shell.zoomValue, 3.5, 1e-6);
}

// Zoom 1 → 2 doubles the track area, the ruler over it, each lane's width
// and x, its region, its selections and pasted ranges; a lane that never had
// a width is left alone.
TEST_F(RulerInteractionTest, ZoomScalesTheTrackAreaAndEveryLane) {
    SetUpTracks(2, 1.0);
    AudioDrawingView* first = lane(0);
    AudioDrawingView* second = lane(1);
    first->setFrameX(120);  // as if the track started later
    first->selectionPaths = {{QPointF(30, 0), QPointF(90, 0)}, {QPointF(45, 0)}};
    first->selectionPastes = {{QPointF(10, 0), QPointF(20, 0)}};
    second->oldBounds = QRect();
    const int area = c->ui.audioView->width(), width = first->width(), secondX = second->x();
    const QRectF region = first->drawingBezierPath.boundingRect();

    FloatSlider* slider = c->ui.zoomSlider;
    slider->setFloatValue(2.0);
    c->updateZoomValueFrom(slider, AudioController::ZoomMouse::Click);
    EXPECT_EQ(c->ui.audioView->width(), 2 * area);
    EXPECT_EQ(line->width(), std::max(2 * area, c->ui.audioScrollView->viewport()->width()));
    EXPECT_NEAR(first->width(), 2 * width, 1);
    EXPECT_EQ(first->x(), 240);
    EXPECT_NEAR(first->drawingBezierPath.boundingRect().width(), 2 * region.width(), 1.5);
    EXPECT_EQ(first->selectionPaths,
              (QList<SelectionPathRecord>{{QPointF(60, 0), QPointF(180, 0)}, {QPointF(90, 0)}}));
    EXPECT_EQ(first->selectionPastes, (QList<SelectionPasteRecord>{{QPointF(20, 0), QPointF(40, 0)}}));
    EXPECT_EQ(second->x(), secondX);  // skipped: no previous width

    undo();
    EXPECT_DOUBLE_EQ(c->shell.zoomValue, 1.0);
    EXPECT_EQ(c->ui.audioView->width(), area);
    EXPECT_EQ(first->x(), 120);
    EXPECT_EQ(first->selectionPaths.front().front(), QPointF(30, 0));
}

}  // namespace

namespace {

// The wheel over the layer scrolls the track area under it, as it did
// before the layer took the mouse.
TEST_F(RulerInteractionTest, WheelScrollsTheTrackArea) {
    SetUpTracks(1);
    QScrollBar* bar = c->ui.audioScrollView->horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(0);
    QWheelEvent wheel(QPointF(50, 50), line->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(-120, 0),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(line, &wheel);
    EXPECT_GT(bar->value(), 0);
}

}  // namespace
