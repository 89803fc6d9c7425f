// The equaliser strip drawn by the real main window: the knobs at the band
// gains, the response tinted in the track's colour, and the live spectrum of
// a playing tone, read from rendered images.
#include "TrackListFixture.h"

#include "views/EQSubview.h"
#include "views/FloatSlider.h"

#include <QImage>

#include <cmath>

namespace {

class EqualiserViewTest : public ShownTrackListTest {
protected:
    EQSubview* view() { return c->ui.eqView; }

    // The strip at its design height, so one design point is one pixel.
    QImage grabbed() {
        view()->setFixedHeight(int(EQSubview::kDesignHeight));
        view()->show();
        endEvent();
        return view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // The pixel at a design-space point (y upwards).
    static QColor at(const QImage& image, double x, double y) {
        return image.pixelColor(int(std::lround(x)), int(std::lround(EQSubview::kDesignHeight - y)));
    }
    static bool isKnob(const QColor& c) {
        return std::abs(c.red() - 0) < 12 && std::abs(c.green() - 158) < 12 && std::abs(c.blue() - 227) < 12;
    }
    // Pixels of the spectrum's gradient fill: saturated blue to red, hardly any green.
    static int spectrumPixels(const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.green() < 50 && std::max(c.red(), c.blue()) > 150) ++n;
            }
        return n;
    }
};

TEST_F(EqualiserViewTest, KnobsStandAtTheirGains) {
    append(writeTone(QStringLiteral("tone.wav"), 2.0, 440));
    const auto sliders = view()->audioController->eqBandSliders();
    const struct {
        int band;
        double gain, y;
    } cases[] = {{0, -24, 23}, {4, 0, 108}, {9, 24, 193}};
    for (const auto& k : cases) sliders[size_t(k.band)]->setFloatValue(k.gain);
    const QImage image = grabbed();
    for (const auto& k : cases) {
        SCOPED_TRACE(k.band);
        const double x = EQSubview::bandX(k.band);
        EXPECT_TRUE(isKnob(at(image, x, k.y))) << at(image, x, k.y).name().toStdString();
        EXPECT_FALSE(isKnob(at(image, x, k.y + 10)));
        EXPECT_FALSE(isKnob(at(image, x, k.y - 10)));
    }
    // The response is filled in the track's colour between the line and 0 dB.
    tracks()[0].audioFilter->setTrackColor(QColor(255, 0, 0));
    const QImage red = grabbed();
    const QColor below = at(red, EQSubview::bandX(9), 150);  // under the +24 dB peak
    EXPECT_GT(below.red(), below.green() + 40) << below.name().toStdString();
}

TEST_F(EqualiserViewTest, ThePlayingTrackSpectrumPeaksAtItsBand) {
    append(writeTone(QStringLiteral("tone.wav"), 20.0, 1000));
    waitForReadyItem();
    const uint64_t before = c->eqSpectrum.generation();
    c->playPauseToggle();
    ASSERT_TRUE(testsupport::waitUntil([&] { return c->eqSpectrum.generation() > before + 5; }));
    const EQSpectrum::Frame frame = c->eqSpectrum.frame();
    ASSERT_GT(frame.fftCount, 0u);
    const QList<QPointF> points = EQSubview::spectrumPoints(frame, EQSubview::kDesignHeight);
    const auto top = std::max_element(points.begin(), points.end(),
                                      [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
    EXPECT_GT(top->x(), EQSubview::bandX(4));  // 500 Hz
    EXPECT_LT(top->x(), EQSubview::bandX(6));  // 2 kHz
    EXPECT_GT(spectrumPixels(grabbed()), 100);

    c->playPauseToggle();
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->shell.isPlaying; }));
    EXPECT_EQ(spectrumPixels(grabbed()), 0);
}

// The walk over any spectrum size: heights within the strip, points in
// order, both ends on the floor; tiny sizes make bands whose two bin limits
// coincide.
TEST_F(EqualiserViewTest, TheSpectrumOutlineStaysInTheStrip) {
    for (uint64_t n : {1u, 2u, 4u, 16u, 1024u, 8192u}) {
        SCOPED_TRACE(n);
        EQSpectrum::Frame frame;
        frame.fftCount = n;
        frame.fftSampleRate = 44100;
        frame.fftMagnitudes.assign(n, 50.0f);
        const QList<QPointF> points = EQSubview::spectrumPoints(frame, EQSubview::kDesignHeight);
        ASSERT_GE(points.size(), 2);
        EXPECT_EQ(points.front(), QPointF(EQSubview::bandX(0) - 52, 0));
        EXPECT_EQ(points.back(), QPointF(EQSubview::bandX(9) + 20, 0));
        for (qsizetype i = 0; i < points.size(); ++i) {
            EXPECT_TRUE(std::isfinite(points[i].x()) && std::isfinite(points[i].y()));
            EXPECT_GE(points[i].y(), 0.0);
            EXPECT_LE(points[i].y(), EQSubview::kDesignHeight - 50);
            if (i > 0) EXPECT_LE(points[i - 1].x(), points[i].x());
        }
    }
}

}  // namespace
