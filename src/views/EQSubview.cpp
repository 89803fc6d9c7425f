#include "views/EQSubview.h"

#include "views/FloatSlider.h"
#include "views/ImageBlur.h"
#include "views/PathInterpolation.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// The ten band columns, 32 Hz to 16 kHz, and the grid's columns beside them.
constexpr double kFirstBandX = 130.5;
constexpr double kBandSpacing = 57.2;
constexpr double kGridColumns[] = {164, 222, 279, 336, 393, 450, 508, 565, 621, 679};
constexpr double kLevelY = 108.0;  // 0 dB

// The band edges in Hz, and how many bins each band's walk skips after a point.
constexpr double kBandEdges[] = {32, 64, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
constexpr uint64_t kBandAdvance[] = {0, 0, 0, 2, 4, 4, 16, 24, 32};

// A band's slider is 21 points wide, centred on its column.
constexpr double kSliderHalfWidth = 10.5, kSliderWidth = 21.0;

// The shadow under the spectrum and everything drawn after it: a blur of
// 5 points (about 2.5 of deviation) in a dark grey at full strength.
constexpr double kShadowGrey = double(0.095f);
constexpr double kShadowBlurPoints = 2.0;

// The shadow an image of drawn shapes casts: their coverage blurred, in the
// shadow's grey, where they are.
QImage shadowOf(const QImage& layer) {
    const int radius = std::max(1, int(std::lround(kShadowBlurPoints * layer.devicePixelRatio())));
    const float grey = float(kShadowGrey);
    return ::shadowOf(layer, QPoint(0, 0), radius, QColor::fromRgbF(grey, grey, grey));
}

}  // namespace

EQSubview::EQSubview(QWidget* parent) : DrawBackgroundView(parent) {}

QColor EQSubview::accentColor(double alpha) { return QColor::fromRgbF(1.0f, 0.772f, 0.19f, float(alpha)); }

double EQSubview::bandX(int k) { return kFirstBandX + kBandSpacing * k; }

double EQSubview::gainY(double gain) {
    // 170 points for 48 dB: -24 at 23, +24 at 193. A gain past either end
    // stands where it is, beyond the strip.
    const float v = float((gain + 24.0) / 48.0 * 170.0);
    return double(v) + 23.0;
}

void EQSubview::showInfoValue(FloatSlider* slider, bool onTheLeft) {
    needsShowInfoValue = slider != nullptr;
    infoSlider = slider;
    leftDrawing = slider && onTheLeft;
    update();
}

void EQSubview::hideInfoValue() {
    needsShowInfoValue = false;
    infoSlider = nullptr;
    leftDrawing = false;
    update();
}

void EQSubview::follow(bool running) {
    if (running && !timer_) {
        timer_ = startTimer(33);
    } else if (!running && timer_) {
        killTimer(timer_);
        timer_ = 0;
        update();  // without the spectrum
    }
}

void EQSubview::timerEvent(QTimerEvent* event) {
    if (!event || event->timerId() != timer_) return DrawBackgroundView::timerEvent(event);
    const EQSpectrum* spectrum = audioController ? audioController->eqSpectrum() : nullptr;
    if (!spectrum || spectrum->generation() == lastGeneration_) return;
    lastGeneration_ = spectrum->generation();
    update();
}

QList<QPointF> EQSubview::spectrumPoints(const EQSpectrum::Frame& frame, double height) {
    QList<QPointF> points;
    const double X32 = bandX(0), X16K = bandX(9);
    points.append(QPointF(X32 - 52, 0.0));
    const uint64_t N = std::min<uint64_t>(frame.fftCount, frame.fftMagnitudes.size());
    const double R = frame.fftSampleRate;
    if (N > 0 && R > 0) {
        const double B = R / (2.0 * double(N));
        uint64_t limits[10];
        limits[0] = uint64_t(std::floor(kBandEdges[0] / B));
        for (int k = 1; k < 10; ++k) limits[k] = uint64_t(std::ceil(kBandEdges[k] / B));
        for (uint64_t i = 0; i < N; ++i) {
            const double m = frame.fftMagnitudes[i];
            double y = (double(i) + 10.0) / (0.5 * double(N)) * m * 20000.0 / double(N) + 23.0 + 50.0;
            y = std::min(std::max(y, 0.0), height - 50.0);
            for (int band = 0; band < 9; ++band) {
                const uint64_t lo = limits[band], hi = limits[band + 1];
                const bool inside = band == 0 ? (lo <= i && i <= hi) : (lo < i && i <= hi);
                if (!inside || i >= N) continue;
                // A band whose two limits coincide holds one bin: its point
                // stands on the band's left column.
                const double f = hi > lo ? double(i - lo) / double(hi - lo) : 0.0;
                points.append(QPointF(bandX(band) + f * (bandX(band + 1) - bandX(band)), y));
                i += kBandAdvance[band];
            }
        }
    }
    points.append(QPointF(X16K + 20, 0.0));
    std::stable_sort(points.begin(), points.end(), [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    return points;
}

void EQSubview::drawGrid(QPainter& p, double W, double H, double s) {
    QPainterPath lines;
    for (double y : {H / 2 - 12, H - 64, H - 50, H - 80, H / 2 + 17, H / 2 - 44, H - 191, H - 207, H - 220}) {
        lines.moveTo(65, y);
        lines.lineTo(W - 25, y);
    }
    for (double x : kGridColumns) {
        lines.moveTo(x, 15);
        lines.lineTo(x, H - 42);
    }
    const QColor grid = QColor::fromRgbF(0, 0, 0, 0.2f);
    p.strokePath(lines, QPen(grid, 2 / s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath left;
    left.moveTo(78, 15);
    left.lineTo(78, H - 42);
    p.strokePath(left, QPen(grid, 2 / s, Qt::SolidLine, Qt::SquareCap));
    QPainterPath ticks;
    for (double x : {78.0, 164.0, 222.0, 279.0, 336.0, 393.0, 450.0, 508.0, 565.0, 621.0, 679.0}) {
        ticks.moveTo(x, H - 49);
        ticks.lineTo(x, 15);
    }
    QPen dashes(accentColor(0.2), 4.0, Qt::CustomDashLine, Qt::FlatCap);
    // Two points on, twelve off: the pattern is in pen widths.
    dashes.setDashPattern({2 / s * 2 / 4.0, 12 / 4.0});
    p.strokePath(ticks, dashes);
}

void EQSubview::paintEvent(QPaintEvent* event) {
    DrawBackgroundView::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Design space: 240 points high, y upwards.
    const double scale = height() / kDesignHeight;
    if (!(scale > 0)) return;
    p.translate(0, height());
    p.scale(scale, -scale);
    const double W = width() / scale, H = kDesignHeight, s = pixelScaling();

    // A transparent picture of the strip's size, drawn in design space.
    auto layer = [this, scale](const std::function<void(QPainter&)>& draw) {
        QImage image(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(devicePixelRatioF());
        image.fill(Qt::transparent);
        QPainter lp(&image);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.translate(0, height());
        lp.scale(scale, -scale);
        draw(lp);
        return image;
    };

    // The grid never changes with the strip's state: it is drawn once for
    // the strip's size and laid down whole on each repaint.
    if (gridLayer_.size() != size() * devicePixelRatioF() || gridLayer_.devicePixelRatio() != devicePixelRatioF())
        gridLayer_ = layer([&](QPainter& lp) { drawGrid(lp, W, H, s); });
    p.save();
    p.resetTransform();
    p.drawImage(0, 0, gridLayer_);
    p.restore();

    // The band gains.
    std::array<double, 10> gains{};
    if (audioController) {
        const auto sliders = audioController->eqBandSliders();
        for (int k = 0; k < 10; ++k) gains[size_t(k)] = sliders[size_t(k)] ? sliders[size_t(k)]->floatValue() : 0.0;
    }
    QList<QPointF> response{QPointF(bandX(0) - 52, kLevelY)};
    for (int k = 0; k < 10; ++k) response.append(QPointF(bandX(k), gainY(gains[size_t(k)])));
    response.append(QPointF(bandX(9) + 20, kLevelY));

    const int tracks = audioController ? audioController->eqTrackCount() : 0;
    // The live spectrum, from a copy of the last published one.
    std::optional<QPainterPath> spectrum;
    if (audioController && tracks > 0 && audioController->eqShowsSpectrum()) {
        const EQSpectrum* published = audioController->eqSpectrum();
        const EQSpectrum::Frame frame = published ? published->frame() : EQSpectrum::Frame{};
        if (frame.fftCount > 0 && !frame.fftMagnitudes.empty())
            spectrum = pathinterpolation::interpolateWithLinearInterpolation(spectrumPoints(frame, H), true);
    }
    if (!spectrum) {
        drawBands(p, gains, response, tracks, scale);
        return;
    }

    // With the spectrum, a shadow lies under it and under each thing drawn
    // after it: the spectrum and the bands are drawn on layers of their own,
    // each going down after the blurred shadow of its coverage.
    const QImage below = layer([&](QPainter& lp) {
        QLinearGradient gradient(spectrum->boundingRect().left(), 0, spectrum->boundingRect().right(), 0);
        gradient.setColorAt(0.0, QColor::fromRgbF(0.0, 0.2f, 1.0, 0.9f));
        gradient.setColorAt(1.0, QColor::fromRgbF(1.0, 0.0, 0.0, 0.9f));
        lp.fillPath(*spectrum, gradient);
        lp.strokePath(*spectrum, QPen(Qt::black, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    });
    const QImage above = layer([&](QPainter& lp) { drawBands(lp, gains, response, tracks, scale); });
    p.resetTransform();
    for (const QImage* image : {&below, &above}) {
        p.drawImage(QPointF(0, 0), shadowOf(*image));
        p.drawImage(QPointF(0, 0), *image);
    }
}

void EQSubview::drawBands(QPainter& p, const std::array<double, 10>& gains, const QList<QPointF>& response,
                          int tracks, double scale) {
    const double s = pixelScaling();
    // The response line, tinted in the selected track's colour.
    const std::optional<QColor> trackColor = audioController ? audioController->eqSelectedTrackColor() : std::nullopt;
    QColor fill = accentColor(0.3), stroke = accentColor(0.5);
    if (tracks > 0 && trackColor) {
        fill = QColor::fromRgbF(trackColor->redF(), trackColor->greenF(), trackColor->blueF(), 0.3f);
        stroke = QColor::fromRgbF(trackColor->redF(), trackColor->greenF(), trackColor->blueF(), 0.5f);
    }
    if (auto line = pathinterpolation::interpolateWithLinearInterpolation(response, false)) {
        p.fillPath(*line, fill);
        p.strokePath(*line, QPen(stroke, 2 / s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }
    QPainterPath stems;
    for (int k = 0; k < 10; ++k) {
        stems.moveTo(bandX(k), kLevelY);
        stems.lineTo(bandX(k), gainY(gains[size_t(k)]));
    }
    p.strokePath(stems, QPen(stroke, 4 / s, Qt::SolidLine, Qt::SquareCap));

    // Knobs and end dots.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromRgbF(0.0, 0.62f, 0.89f, tracks > 0 ? 1.0 : 0.5));
    for (int k = 0; k < 10; ++k) p.drawEllipse(QPointF(bandX(k), gainY(gains[size_t(k)])), 6, 6);
    p.setBrush(accentColor(0.5));
    p.drawEllipse(QPointF(bandX(0) - 52, kLevelY), 4, 4);
    p.drawEllipse(QPointF(bandX(9) + 20, kLevelY), 4, 4);

    // The value of the band being moved, beside its slider (the band's
    // column, 21 points wide) at the slider's height, and within the strip
    // also for a gain the strip cannot show.
    if (needsShowInfoValue && infoSlider) {
        const auto sliders = audioController ? audioController->eqBandSliders() : std::array<FloatSlider*, 10>{};
        int k = 0;
        while (k < 10 && sliders[size_t(k)] != infoSlider) ++k;
        const double left = (k < 10 ? bandX(k) : bandX(9)) - kSliderHalfWidth;
        const double x = leftDrawing ? left - 32.0 : left + kSliderWidth + 5.0;
        const double y = std::clamp(gainY(infoSlider->floatValue()), 10.0, kDesignHeight - 10.0);
        p.save();
        p.resetTransform();
        QFont font = p.font();
        font.setPixelSize(11);
        p.setFont(font);
        p.setPen(accentColor(1.0));
        p.drawText(QRectF(x * scale, (kDesignHeight - y) * scale - 10, 400, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::asprintf("%.2f", infoSlider->floatValue()));
        p.restore();
    }
}
