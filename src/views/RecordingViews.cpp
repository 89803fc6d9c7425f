#include "views/RecordingViews.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

// The views draw in bottom-up coordinates, y growing upwards, as their
// geometry is given; this puts the origin at the bottom left.
void flipToBottomUp(QPainter& p, int height) {
    p.translate(0, height);
    p.scale(1, -1);
}

}  // namespace

RecordView::RecordView(QWidget* parent) : QWidget(parent) {}

void RecordView::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (!recordViewAcceptsMouseDown) return;
    if (sessionIsRunning) {
        if (endCaptureSessionFrom) endCaptureSessionFrom(this);
    } else if (startCaptureSessionFrom) {
        startCaptureSessionFrom(this);
    }
}

void RecordView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QRectF bounds = rect();
    const QRectF inner = bounds.adjusted(1.5, 1.5, -1.5, -1.5);
    const QColor rim = QColor::fromRgbF(0.13f, 0.13f, 0.13f, 1.0f);
    const QColor red = QColor::fromRgbF(0.95f, 0.18f, 0.10f, 1.0f);
    if (sessionIsRunning) {
        p.fillRect(bounds, rim);
        p.fillRect(inner, red);
    } else {
        p.setBrush(rim);
        p.drawEllipse(bounds);
        p.setBrush(red);
        p.drawEllipse(inner);
    }
}

// ---------------------------------------------------------------------------

RecordingWaveView::RecordingWaveView(QWidget* parent) : QWidget(parent) {}

QString RecordingWaveView::timeText() const {
    if (waveTimes.empty()) return {};
    const float windowStart = float(timeCounter) * 60.0f;
    return QString::asprintf("%.2f s", waveTimes.back() + double(windowStart));
}

void RecordingWaveView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const double W = width(), H = height();
    p.fillRect(rect(), QColor::fromRgbF(0.11f, 0.11f, 0.11f, 1.0f));
    QPen frame(Qt::black, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(frame);
    p.drawRect(QRectF(0.5, 0.5, W - 1, H - 1));
    if (waveTimes.empty()) return;

    p.save();
    flipToBottomUp(p, height());
    QPainterPath path;
    const double mid = H / 2;
    if (waveTimes.size() >= 2) {
        path.moveTo(waveTimes.front() / 60.0 * W, mid);
        path.lineTo(waveTimes.back() / 60.0 * W, mid);
    }
    const size_t count = std::min(wavePoints.size(), waveTimes.size());
    for (size_t i = 0; i < count; ++i) {
        const double a = std::clamp(wavePoints[i].x(), 0.0, 1.0);
        const double b = std::clamp(wavePoints[i].y(), 0.0, 1.0);
        if (a == 0 && b == 0) continue;
        const double x = waveTimes[i] / 60.0 * W;
        path.moveTo(x, mid + a * mid);
        path.lineTo(x, mid - b * mid);
    }
    p.setPen(QPen(QColor::fromRgbF(1.0f, 0.772f, 0.19f, 1.0f), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.restore();

    // The time of the last point, along the top edge, never starting less
    // than 50 points before the right edge.
    const double x = std::min(waveTimes.back() / 60.0 * W, W - 50);
    QFont font = p.font();
    font.setPointSizeF(11);
    p.setFont(font);
    p.setPen(QColor::fromRgbF(0.0f, 0.62f, 0.89f, 1.0f));
    p.drawText(QRectF(x, 0, 400, 20), Qt::AlignLeft | Qt::AlignTop, timeText());
}
