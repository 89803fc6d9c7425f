// The record button, the level meter and the recording's live waveform,
// drawn into images and read back pixel by pixel.
#include "views/MusicView.h"
#include "views/RecordingViews.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>

#include <cmath>

namespace {

QImage render(QWidget& view) {
    QImage image(view.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The height of the lit part of the column at `x`, counted up from the
// bottom row (inside the 2-point frame), by the background it differs from.
int litHeight(const QImage& image, int x, QRgb background) {
    int h = 0;
    for (int y = image.height() - 3; y >= 2; --y) {
        if (image.pixel(x, y) == background) break;
        ++h;
    }
    return h;
}

TEST(AudioMeteringView, BarsSpanFiftyDecibelsAndFullScaleOrMoreFillsTheHeight) {
    AudioMeteringView meter;
    meter.resize(40, 204);  // 200 rows inside the frame
    const QRgb background = QColor::fromRgbF(0.18f, 0.17f, 0.18f, 1.0f).rgb();
    struct Case {
        const char* name;
        double value;
        double fraction;  // of the view's height
    };
    const Case cases[] = {
        {"silence", 0.0, 0.0},
        {"negative", -0.5, 0.0},
        {"at the -50 dB floor", std::pow(10.0, -2.5), 0.0},
        {"-20 dB", 0.1, 0.6},
        {"full scale", 1.0, 1.0},
        {"+6 dB fills, never shortens", 2.0, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        meter.leftChannelValue = c.value;
        meter.rightChannelValue = c.value;
        EXPECT_NEAR(AudioMeteringView::barFraction(c.value), c.fraction, 1e-9);
        const QImage image = render(meter);
        // Both bars, left of the gap and right of it, inside the frame.
        const int expected = int(std::lround(c.fraction * 204)) - 2;
        for (int x : {8, 30}) EXPECT_NEAR(litHeight(image, x, background), std::max(expected, 0), 2) << x;
    }

    // -20 dB: the bar's top is green going towards yellow (no red yet).
    meter.leftChannelValue = meter.rightChannelValue = 0.1;
    const QImage image = render(meter);
    const QColor top = image.pixelColor(8, 204 - int(0.6 * 204) + 2);
    EXPECT_GT(top.green(), 200);
    EXPECT_GT(top.red(), 100);   // on its way to yellow
    EXPECT_LT(top.blue(), 40);
    const QColor bottom = image.pixelColor(8, 200);
    EXPECT_LT(bottom.red(), 40);
    EXPECT_GT(bottom.green(), 200);
}

TEST(AudioMeteringView, OneBarPerChannel) {
    AudioMeteringView meter;
    meter.resize(40, 104);
    const QRgb background = QColor::fromRgbF(0.18f, 0.17f, 0.18f, 1.0f).rgb();
    meter.leftChannelValue = 1.0;
    meter.rightChannelValue = 0.0;
    const QImage image = render(meter);
    EXPECT_GT(litHeight(image, 8, background), 90);
    EXPECT_EQ(litHeight(image, 30, background), 0);
    EXPECT_EQ(image.pixel(20, 50), background);  // the gap
}

// A wave view 600 × 100: a second is 10 points.
class WaveViewTest : public ::testing::Test {
protected:
    void SetUp() override { wave.resize(600, 100); }
    QImage image() { return render(wave); }
    // Whether the column at `x` holds the waveform's colour between rows.
    bool stroked(const QImage& img, int x, int y0, int y1) {
        for (int y = y0; y <= y1; ++y) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 150 && c.green() > 100 && c.blue() < 120) return true;
        }
        return false;
    }
    RecordingWaveView wave;
};

TEST_F(WaveViewTest, OnePointDrawsItsBarWithoutACentreLine) {
    wave.waveTimes = {20.0};
    wave.wavePoints = {QPointF(0.5, 0.5)};
    const QImage img = image();
    EXPECT_TRUE(stroked(img, 200, 30, 70));   // 25 rows above and below the middle
    EXPECT_FALSE(stroked(img, 200, 20, 24));  // not past its half-heights
    EXPECT_FALSE(stroked(img, 100, 50, 50));  // no centre line elsewhere
}

TEST_F(WaveViewTest, ZeroPointsDrawNothingValuesAboveOneClampAndTwoPointsGetACentreLine) {
    wave.waveTimes = {10.0, 20.0, 30.0};
    wave.wavePoints = {QPointF(0, 0), QPointF(3.0, 3.0), QPointF(0.2, 0.2)};
    const QImage img = image();
    EXPECT_TRUE(stroked(img, 150, 49, 50));               // the centre line from 10 s to 30 s
    EXPECT_FALSE(stroked(img, 50, 40, 60));               // nothing before the first time
    EXPECT_TRUE(stroked(img, 200, 2, 4));                 // the clamped bar reaches the top
    EXPECT_FALSE(stroked(img, 100, 30, 45));              // (0, 0) draws no bar
}

TEST_F(WaveViewTest, TheLabelReadsTheRecordingsTimeAndStaysInside) {
    wave.waveTimes = {12.5};
    wave.wavePoints = {QPointF(0.1, 0.1)};
    wave.timeCounter = 2;
    EXPECT_EQ(wave.timeText(), QStringLiteral("132.50 s"));
    // Near the end of the window the label starts 50 points before the edge.
    wave.waveTimes = {59.9};
    wave.timeCounter = 0;
    const QImage img = image();
    int leftmost = 600;
    for (int x = 0; x < 600; ++x)
        for (int y = 2; y < 18; ++y) {
            const QColor c = img.pixelColor(x, y);
            if (c.blue() > 120 && c.red() < 80) leftmost = std::min(leftmost, x);
        }
    EXPECT_GE(leftmost, 550);
    EXPECT_LT(leftmost, 560);
}

TEST(RecordView, SendsTheActionOfItsStateAndIgnoresClicksWhileRefusing) {
    RecordView view;
    view.resize(24, 24);
    int starts = 0, ends = 0;
    view.startCaptureSessionFrom = [&](RecordView*) { ++starts; };
    view.endCaptureSessionFrom = [&](RecordView*) { ++ends; };
    for (bool running : {false, true}) {
        view.sessionIsRunning = running;
        view.recordViewAcceptsMouseDown = false;
        QTest::mouseClick(&view, Qt::LeftButton);
        EXPECT_EQ(starts + ends, 0) << running;
    }
    view.recordViewAcceptsMouseDown = true;
    view.sessionIsRunning = false;
    QTest::mouseClick(&view, Qt::LeftButton);
    view.sessionIsRunning = true;
    QTest::mouseClick(&view, Qt::LeftButton);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ends, 1);
    // A disc while idle (the corner is left clear), a square while running.
    view.sessionIsRunning = false;
    EXPECT_EQ(qAlpha(render(view).pixel(0, 0)), 0);
    view.sessionIsRunning = true;
    EXPECT_EQ(render(view).pixelColor(0, 0).red(), 33);
    EXPECT_GT(render(view).pixelColor(12, 12).red(), 230);
}

}  // namespace
