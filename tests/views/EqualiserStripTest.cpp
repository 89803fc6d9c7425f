// The equaliser strip with a small owner standing in for the controller:
// gains drawn where they are, the shadow the spectrum and the bands cast,
// and the moved band's value beside its slider.
#include "views/EQSubview.h"
#include "views/FloatSlider.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <memory>
#include <vector>

namespace {

class StripOwner : public EQSubviewOwner {
public:
    StripOwner() {
        for (auto& s : sliders) {
            s = std::make_unique<FloatSlider>();
            s->setRange(-96, 24);
            s->setFloatValue(0);
        }
    }
    std::array<FloatSlider*, 10> eqBandSliders() const override {
        std::array<FloatSlider*, 10> out{};
        for (size_t k = 0; k < 10; ++k) out[k] = sliders[k].get();
        return out;
    }
    int eqTrackCount() const override { return 1; }
    std::optional<QColor> eqSelectedTrackColor() const override { return QColor(255, 186, 38); }
    bool eqShowsSpectrum() const override { return playing; }
    const EQSpectrum* eqSpectrum() const override { return &spectrum; }

    std::array<std::unique_ptr<FloatSlider>, 10> sliders;
    bool playing = false;
    EQSpectrum spectrum;
};

class EqualiserStripTest : public ::testing::Test {
protected:
    void SetUp() override {
        strip.audioController = &owner;
        // One design point per pixel.
        strip.resize(800, int(EQSubview::kDesignHeight));
        // A flat spectrum 73 points high over the bands.
        const std::vector<float> silence(1024, 0.0f);
        owner.spectrum.publish(0, 44100, silence.data(), silence.size(), qRgb(255, 186, 38));
    }
    QImage grabbed() {
        QImage image(strip.size(), QImage::Format_RGB32);
        strip.render(&image);
        return image;
    }
    // The pixel at a design-space point (y upwards).
    static QColor at(const QImage& image, double x, double y) {
        return image.pixelColor(int(std::floor(x)), int(std::floor(EQSubview::kDesignHeight - y)));
    }
    static bool isKnob(const QColor& c) {
        return std::abs(c.red() - 0) < 12 && std::abs(c.green() - 158) < 12 && std::abs(c.blue() - 227) < 12;
    }

    StripOwner owner;
    EQSubview strip;
};

// A band past either end of the strip's 48 dB is drawn where it is, beyond
// the strip, not on its edge.
TEST_F(EqualiserStripTest, GainsAreDrawnWhereTheyAre) {
    const struct {
        int band;
        double gain;
        bool inStrip;
    } cases[] = {{0, -24, true}, {3, 24, true}, {6, -59.33, false}, {8, -96, false}};
    for (const auto& k : cases) owner.sliders[size_t(k.band)]->setFloatValue(k.gain);
    const QImage image = grabbed();
    for (const auto& k : cases) {
        SCOPED_TRACE(k.band);
        const double y = EQSubview::gainY(k.gain);
        EXPECT_NEAR(y, (k.gain + 24) / 48 * 170 + 23, 1e-3);
        int knobPixels = 0;
        for (int row = 0; row < image.height(); ++row)
            if (isKnob(image.pixelColor(int(EQSubview::bandX(k.band)), row))) ++knobPixels;
        if (k.inStrip)
            EXPECT_TRUE(isKnob(at(image, EQSubview::bandX(k.band), y)));
        else
            EXPECT_EQ(knobPixels, 0) << "no knob on the strip's floor";
    }
}

// While the spectrum shows, what is drawn over it casts a dark shadow onto
// it: below a knob that stands in the spectrum, the spectrum is darker than
// further down the same column.
TEST_F(EqualiserStripTest, TheBandsCastAShadowOntoTheSpectrum) {
    const int band = 4;
    owner.sliders[band]->setFloatValue(-16.38);  // the knob's centre 50 points up
    ASSERT_NEAR(EQSubview::gainY(-16.38), 50, 0.1);
    const double x = EQSubview::bandX(band);
    owner.playing = true;
    const QImage shown = grabbed();
    // 1.5 points below the knob's edge, and 20 points further down.
    const QColor nearKnob = at(shown, x, 43), away = at(shown, x, 23);
    EXPECT_GT(away.red() + away.green() + away.blue(), 100) << "the spectrum's fill";
    EXPECT_LT(nearKnob.lightness() + 6, away.lightness())
        << nearKnob.name().toStdString() << " " << away.name().toStdString();
    // Without the spectrum there is no shadow and nothing below the knob.
    owner.playing = false;
    const QImage plain = grabbed();
    EXPECT_EQ(at(plain, x, 43), at(plain, x, 23));
}

// The moved band's value: right of its slider, or left of it for the last
// band, at the slider's height, and inside the strip also for a band beyond it.
TEST_F(EqualiserStripTest, TheValueLabelStandsBesideItsSlider) {
    auto accent = [](const QColor& c) { return c.red() > 200 && c.green() > 150 && c.blue() < 120; };
    // Accent pixels of the image in design-space x [x0, x1) and y [y0, y1).
    auto accentIn = [&](const QImage& image, double x0, double x1, double y0, double y1) {
        int n = 0;
        for (int px = int(x0); px < int(x1); ++px)
            for (int py = int(EQSubview::kDesignHeight - y1); py < int(EQSubview::kDesignHeight - y0); ++py)
                if (px >= 0 && py >= 0 && px < image.width() && py < image.height() && accent(image.pixelColor(px, py)))
                    ++n;
        return n;
    };
    const struct {
        const char* name;
        int band;
        double gain;
        bool left;
        double x0, x1, y0, y1;  // where the label's text lies
    } cases[] = {
        {"right of a band", 2, 12.0, false, EQSubview::bandX(2) + 15, EQSubview::bandX(2) + 60, 140, 170},
        {"left of the last band", 9, 0.0, true, EQSubview::bandX(9) - 43, EQSubview::bandX(9) - 10, 95, 122},
        {"a band beyond the strip: at its foot", 5, -59.33, false, EQSubview::bandX(5) + 15, EQSubview::bandX(5) + 60,
         0, 24},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        for (auto& s : owner.sliders) s->setFloatValue(0);
        owner.sliders[size_t(k.band)]->setFloatValue(k.gain);
        strip.hideInfoValue();
        const QImage without = grabbed();
        strip.showInfoValue(owner.sliders[size_t(k.band)].get(), k.left);
        const QImage with = grabbed();
        EXPECT_GT(accentIn(with, k.x0, k.x1, k.y0, k.y1), accentIn(without, k.x0, k.x1, k.y0, k.y1) + 5);
    }
}

}  // namespace
