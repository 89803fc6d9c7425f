#include "views/LineView.h"

#include "platform/core/TimeText.h"
#include "views/Fonts.h"
#include "views/Palette.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

double clampValue(double v, double lo, double hi) {
    if (std::isnan(v)) return lo;
    return std::min(std::max(v, lo), hi);
}

QSizeF textSize(const QFont& font, const QString& text) {
    return QFontMetricsF(font).size(Qt::TextSingleLine, text);
}

QColor withAlpha(QColor c, double alpha) {
    c.setAlphaF(float(std::clamp(alpha, 0.0, 1.0)));
    return c;
}

QPen roundPen(const QColor& color, double width) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

}  // namespace

LineView::LineView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    labelFont_ = systemFont(12);
    markerFont_ = systemFont(11);
}

QString LineView::stringForTime(double seconds) { return timeTextWithHundredths(seconds); }

// The layer's y axis points up (y = 0 is the bottom edge); the positions
// below are worked out that way and mapped to the widget's y when drawn.
bool LineView::drawStandardLabel(QPainter& painter, double x, double W, double H, double vw,
                                 const QString& text, const QColor& textColor,
                                 const QColor& boxColor) {
    QSizeF size = textSize(labelFont_, text);
    double w = size.width(), h = size.height();
    QRectF box(x - w / 2 - 7.5, H / 2 - h / 2 - 2.5, w + 15, h + 5);  // symmetric about the middle
    if (box.left() < 0 || box.right() > std::min(vw, W)) return false;
    double alpha = lineAlpha.load();
    QPainterPath path;
    path.addRoundedRect(box, 8, 8);
    painter.fillPath(path, withAlpha(boxColor, alpha));
    painter.setFont(labelFont_);
    painter.setPen(withAlpha(textColor, alpha));
    painter.drawText(QRectF(x - w / 2, H / 2 - h / 2, w, h), Qt::AlignCenter, text);
    painter.strokePath(path, roundPen(withAlpha(Qt::black, alpha), 1));
    return true;
}

void LineView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    auto* owner = audioController;
    const double timeline = owner ? owner->rulerTimelineWidth() : -1.0;
    const double W = timeline >= 0 ? timeline : width(), H = height();
    const double D = owner ? owner->rulerCompositionSeconds() : 0.0;
    QRect visible = owner ? owner->rulerVisibleRect() : QRect(0, 0, width(), height());
    const double s = visible.x(), vw = visible.width();

    drawMarkers(painter, W, H, s, vw, D);

    // Positions follow the player only while its item is ready.
    if (owner && owner->rulerPlayerItemIsReady()) {
        currentLinePercent = linePercent;
        globalCurrentLinePercent = globalLinePercent;
        if (owner->rulerIsPlaying()) {
            currentTime = clampValue(D * currentLinePercent, 0, D);
            globalCurrentTime = clampValue(D * globalCurrentLinePercent, 0, D);
        } else {
            currentTime = owner->rulerPositionSliderSeconds();
            globalCurrentTime = owner->rulerPlayerCurrentSeconds();
        }
    }
    const double c = currentLinePercent, g = globalCurrentLinePercent;
    const double alpha = lineAlpha.load();
    const int tracks = owner ? owner->rulerTrackCount() : 0;
    const bool playing = owner && owner->rulerIsPlaying();

    // The end of the composition: a dashed orange line.
    {
        QPen pen = roundPen(palette::orange(), 2.0);
        pen.setDashPattern({2.0, 4.0});  // 4 points on, 8 off, in units of the pen width
        painter.setPen(pen);
        painter.drawLine(QPointF(W - s, 0), QPointF(W - s, H));
    }

    // The composition's length, at the top and at the bottom, left of the end line.
    {
        QString text = stringForTime(D);
        QSizeF size = textSize(labelFont_, text);
        double w = size.width(), h = size.height();
        // Left of the end line; right of it when the composition's visible
        // part is too short to hold the badge whole.
        const double left = W - s - w - 19.5 >= 0 ? W - s - w - 19.5 : W - s + 4.5;
        QRectF topBox(left, 4.5, w + 15, h + 5);
        QRectF topText(left + 7.5, 7, w, h);
        QRectF bottomBox(left, H - h - 11, w + 15, h + 5);
        QRectF bottomText(left + 7.5, H - 8.5 - h, w, h);
        QPainterPath top, bottom;
        top.addRoundedRect(topBox, 8, 8);
        bottom.addRoundedRect(bottomBox, 8, 8);
        painter.fillPath(top, withAlpha(palette::orange(), alpha));
        painter.fillPath(bottom, withAlpha(palette::orange(), alpha));
        painter.setFont(labelFont_);
        painter.setPen(withAlpha(Qt::black, alpha));
        painter.drawText(topText, Qt::AlignCenter, text);
        painter.drawText(bottomText, Qt::AlignCenter, text);
        painter.strokePath(top, roundPen(withAlpha(Qt::black, alpha), 1));
        painter.strokePath(bottom, roundPen(withAlpha(Qt::black, alpha), 1));
    }

    const double lineWidth = 2.0 / pixelScaling();

    // The playback position, where it differs from the playhead.
    if (g != c) {
        double xg = clampValue(g, 0, 1) * W - s;
        painter.setPen(roundPen(palette::orange(), lineWidth));
        painter.drawLine(QPointF(xg, 0), QPointF(xg, H));
        if (tracks > 0 && !playing)
            drawStandardLabel(painter, xg, W, H, vw, stringForTime(globalCurrentTime), Qt::black,
                              palette::orange());
    }

    // The playhead: a blue line with an orange knob on its top end.
    double xc = clampValue(c, 0, 1) * W - s;
    painter.setPen(roundPen(palette::blue(), lineWidth));
    painter.drawLine(QPointF(xc, 0), QPointF(xc, H));
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette::orange());
    painter.drawEllipse(QRectF(xc - 5, -5, 10, 10));
    painter.setBrush(Qt::NoBrush);

    if (tracks == 0) return;
    if (!drawStandardLabel(painter, xc, W, H, vw, stringForTime(currentTime), Qt::white,
                           palette::blue()))
        return;

    // The third line, while a track is dragged along the timeline.
    if (drawAdditionalLinePercent) {
        double a = additionalLinePercent;
        double xa = clampValue(a, 0, 1) * W - s;
        painter.setPen(roundPen(palette::blue(), lineWidth));
        painter.drawLine(QPointF(xa, 0), QPointF(xa, H));
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette::orange());
        painter.drawEllipse(QRectF(xa - 5, -5, 10, 10));
        painter.setBrush(Qt::NoBrush);
        drawStandardLabel(painter, xa, W, H, vw, stringForTime(a * D), Qt::white,
                          palette::blue());
    }
}

void LineView::drawMarkers(QPainter& painter, double W, double H, double s, double vw, double D) {
    if (!audioController || !(D > 0)) return;
    const auto& markers = audioController->rulerMarkers();
    if (markers.empty()) return;
    const double alpha = lineAlpha.load();
    double guard = 0.0;  // labels must start right of this
    for (const auto& marker : markers) {
        double t = marker.markerTime;
        if (t >= D || clampValue(t / D, 0, 1) * W > s + vw) continue;
        QString text = marker.markerName.isEmpty()
                           ? stringForTime(t)
                           : QStringLiteral("%1 - %2").arg(marker.markerName, stringForTime(t));
        double x = (t / D) * W - s;
        painter.setPen(QPen(Qt::white, 1));
        painter.drawLine(QPointF(x, 0), QPointF(x, H));

        auto boxFor = [&](const QString& label) {
            QSizeF size = textSize(markerFont_, label);
            return std::pair{QRectF(x - size.width() / 2 - 7.5, H / 2 - size.height() / 2 - 2.5,
                                    size.width() + 15, size.height() + 5),
                             size};
        };
        auto draw = [&](const QRectF& box, QSizeF size, const QString& label) {
            QPainterPath path;
            path.addRoundedRect(box, 6, 6);
            painter.fillPath(path, withAlpha(palette::markerGrey(), alpha));
            painter.strokePath(path, roundPen(withAlpha(Qt::black, alpha), 1));
            painter.setFont(markerFont_);
            painter.setPen(withAlpha(Qt::white, alpha));
            painter.drawText(QRectF(x - size.width() / 2, H / 2 - size.height() / 2, size.width(),
                                    size.height()),
                             Qt::AlignCenter, label);
            guard = x + (size.width() + 7.5) / 2 + 5.5;
        };
        auto [box, size] = boxFor(text);
        if (box.left() < 0 || box.right() > std::min(vw, W)) {
            guard = x + 5.5;
            continue;
        }
        if (box.left() >= guard) {
            draw(box, size, text);
            continue;
        }
        // Would overlap the previous label: try the time alone.
        QString shortText = stringForTime(t);
        auto [shortBox, shortSize] = boxFor(shortText);
        if (shortBox.left() >= guard)
            draw(shortBox, shortSize, shortText);
        else
            guard = x + 5.5;
    }
}
