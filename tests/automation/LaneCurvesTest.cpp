// A track's lane draws its automation curve, the highlighted points, its
// outline and its fades: rendered offscreen from a real track of the main
// window and read back by pixel.
#include "app/TrackListFixture.h"
#include "support/Sliders.h"

#include "views/FloatSlider.h"

#include <QImage>

namespace {

// A 10 s track whose lane is 800 wide with its region from x 100 to 700:
// 1 s is 80 points; a level of 0 lies at widget y 185, 0.5 at 100 and 1 at 15.
class LaneCurvesTest : public TrackListTest {
protected:
    void SetUp() override {
        TrackListTest::SetUp();
        track = append(writeTone(QStringLiteral("lane.wav"), 10.0, 440));
        ASSERT_TRUE(track);
        view = lane(0);
        ASSERT_TRUE(view);
        level = sliderOf("inputAudioMix");
        ASSERT_TRUE(level);
        reset();
    }
    void reset() {
        level->setRange(0.0, 1.0);
        c->automation.filterMovingPoint.reset();
        c->automation.tempRecorderParameters.clear();
        track->durationInSeconds = 10.0;
        // The waveform would draw under the curve: it is left out.
        track->filterBitmaps.clear();
        track->showParameterCurve = 1;
        track->typeOfRecordedCurve = 0;
        track->needsUpdateParametersWithTempDictionary = false;
        c->currentSelectedAudio = 0;
        // The lane takes its new size (and rescales its region) before the
        // region is set.
        view->setFrame(view->frameX(), 800);
        endEvent();
        view->oldBounds = view->frameRect();
        view->drawingBezierPath = AudioDrawingView::regionPath({100, 10, 600, 180});
        view->fadeInPercent = view->fadeOutPercent = 0;
    }
    void setCurve(KeyPointCurve points) {
        c->automation.recordedParameters[track->identifierOfFilter][QStringLiteral("inputAudioMix")] = std::move(points);
    }
    QImage shot() {
        QImage image(view->size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        view->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }
    FloatSlider* sliderOf(const char* key) { return testsupport::effectSlider(c->ui, key); }
    // The most opaque pixel around (x, y): a line of one point lands on two
    // rows or columns, each partly covered.
    static QRgb around(const QImage& image, QPoint p) {
        QRgb best = 0;
        for (int y = std::max(p.y() - 1, 0); y <= std::min(p.y() + 1, image.height() - 1); ++y)
            for (int x = std::max(p.x() - 1, 0); x <= std::min(p.x() + 1, image.width() - 1); ++x)
                if (qAlpha(image.pixel(x, y)) > qAlpha(best)) best = image.pixel(x, y);
        return best;
    }
    static bool inked(const QImage& image, QPoint p) { return qAlpha(around(image, p)) > 60; }
    static bool blue(const QImage& image, QPoint p) {
        const QRgb c = around(image, p);
        return qAlpha(c) > 60 && qRed(c) < 60 && qBlue(c) > qRed(c) + 40;
    }
    static bool amber(QRgb p) { return qAlpha(p) > 60 && qRed(p) > 150 && qGreen(p) > 100 && qBlue(p) < 100; }

    std::shared_ptr<MusicFilter> track;
    AudioDrawingView* view = nullptr;
    FloatSlider* level = nullptr;
};

// The curve's shape at known pixels: inked where the line or a dot passes,
// clear where neither does.
TEST_F(LaneCurvesTest, StepAndLinearShapesAndTheirDots) {
    const KeyPoint rise[] = {{2.5, 0.0}, {5.0, 1.0}, {7.5, 0.5}};
    struct Case {
        const char* name;
        uint64_t style;
        std::vector<KeyPoint> points;
        std::vector<QPoint> inked, clear;
    } cases[] = {
        // Holds 0 to x 400, jumps to 1 until x 600, then 0.5 to the lane's end.
        {"step of three points", 0, {rise[0], rise[1], rise[2]},
         {{10, 185}, {300, 185}, {400, 100}, {500, 15}, {790, 100}}, {{300, 100}, {500, 185}, {650, 185}}},
        // Flat to x 200, then ramps through (300, 100) to (400, 15) and down to (600, 100).
        {"linear of three points", 1, {rise[0], rise[1], rise[2]},
         {{10, 185}, {300, 100}, {500, 57}, {790, 100}}, {{300, 185}, {500, 15}}},
        // One point: a level line across the whole lane either way.
        {"step of one point", 0, {{5.0, 1.0}}, {{2, 15}, {400, 15}, {797, 15}}, {{400, 100}}},
        {"linear of one point", 1, {{5.0, 1.0}}, {{2, 15}, {400, 15}, {797, 15}}, {{400, 100}}},
        // A point before the track's start is drawn at x 0.
        {"a point before the start", 1, {{-3.0, 0.0}, {5.0, 1.0}}, {{2, 184}, {200, 100}}, {{10, 100}}},
        // Dots reach 1.5 points above a level line at 0.5 (row 98): at the lane's ends always,
        // at a later point only when it is flagged, at the first point of a
        // linear curve always and of a step curve never.
        {"linear dots", 1,
         {{2.5, 0.5}, {5.0, 0.5, KeyPoint::kRecordingBoundary}, {7.5, 0.5}},
         {{0, 97}, {200, 97}, {400, 97}, {799, 97}}, {{600, 97}}},
        {"step dots", 0,
         {{2.5, 0.5}, {5.0, 0.5, KeyPoint::kPlacedWithMouse}, {7.5, 0.5}},
         {{0, 97}, {400, 97}, {799, 97}}, {{200, 97}, {600, 97}}},
        // Another style draws no line.
        {"an unknown style", 7, {rise[0], rise[1], rise[2]}, {}, {{10, 185}, {300, 100}, {790, 100}}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        track->typeOfRecordedCurve = k.style;
        setCurve(k.points);
        const QImage image = shot();
        for (const QPoint& p : k.inked) EXPECT_TRUE(blue(image, p)) << p.x() << "," << p.y();
        for (const QPoint& p : k.clear) EXPECT_FALSE(inked(image, p)) << p.x() << "," << p.y();
    }
}

// What decides whether the curve, its points and labels show at all.
TEST_F(LaneCurvesTest, WhatIsDrawnAndWhatIsNot) {
    // The moving point's large dot reaches 4 points above the line there.
    const QPoint onCurve(300, 100), movingDot(402, 96);
    auto moving = [&] { return AudioController::AutomationState::MovingPoint{5.0, 0.5, 0.0, 1.0, level}; };
    struct Case {
        const char* name;
        std::function<void()> set;
        bool curve, titleShown, movingShown;
    } cases[] = {
        {"the selected lane: a blue curve and its title", [] {}, true, true, false},
        {"no entry in the store shown", [&] { track->needsUpdateParametersWithTempDictionary = true; }, false, false,
         false},
        {"a region 150 wide has no title",
         [&] { view->drawingBezierPath = AudioDrawingView::regionPath({100, 10, 150, 180}); }, true, false, false},
        {"a control moving hides the title and shows its point", [&] { c->automation.filterMovingPoint = moving(); },
         true, false, true},
        {"another track's lane does not show the moving point",
         [&] {
             c->automation.filterMovingPoint = moving();
             c->currentSelectedAudio = kNoIndex;
         },
         true, false, false},
        // Nothing to divide by: nothing of the curve, no crash.
        {"a control of no range", [&] { level->setRange(0.5, 0.5); }, false, false, false},
        {"a track of no length", [&] { track->durationInSeconds = 0; }, false, false, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        reset();
        track->typeOfRecordedCurve = 1;
        setCurve({{2.5, 0.5}, {7.5, 0.5}});
        k.set();
        const QImage image = shot();
        EXPECT_EQ(inked(image, onCurve), k.curve);
        if (k.curve) EXPECT_EQ(blue(image, onCurve), c->currentSelectedAudio == 0) << "blue when selected, else amber";
        bool gold = false;
        for (int x = 10; x < 80; ++x)
            for (int y = 15; y < 35; ++y) gold = gold || amber(image.pixel(x, y));
        EXPECT_EQ(gold, k.titleShown);
        EXPECT_EQ(inked(image, movingDot), k.movingShown);
        // The outline is drawn whatever the curve does.
        EXPECT_TRUE(inked(image, {100, 100}));
    }
    reset();
}

// The fades run corner to corner of the region at 100 per cent, and are clipped to it.
TEST_F(LaneCurvesTest, FadeLines) {
    track->showParameterCurve = 0;
    view->fadeInPercent = 100;
    view->fadeOutPercent = 50;
    const QImage image = shot();
    // Fade in from the bottom left (100, 190) to the top right (700, 10).
    EXPECT_TRUE(inked(image, {250, 145}));
    EXPECT_TRUE(inked(image, {550, 55}));
    // Fade out from the bottom right (700, 190) to (400, 10).
    EXPECT_TRUE(inked(image, {550, 100}));
    EXPECT_FALSE(inked(image, {250, 55}));
    // Kept in lane coordinates, y up.
    EXPECT_EQ(QPointF(view->fadeInBezierPath.elementAt(0)), QPointF(100, 10));
    EXPECT_EQ(QPointF(view->fadeInBezierPath.elementAt(1)), QPointF(700, 190));
    EXPECT_EQ(QPointF(view->fadeOutBezierPath.elementAt(1)), QPointF(400, 190));
}

}  // namespace
