#include "views/PathInterpolation.h"

#include <cmath>

namespace pathinterpolation {

QPointF midPoint(QPointF p1, QPointF p2) { return {(p1.x() + p2.x()) * 0.5, (p1.y() + p2.y()) * 0.5}; }

QPointF controlPoint(QPointF p1, QPointF p2) {
    QPointF control = midPoint(p1, p2);
    const double d = std::abs(p2.y() - control.y());
    if (p1.y() < p2.y()) control.ry() += d;
    else if (p1.y() > p2.y()) control.ry() -= d;
    return control;
}

void addQuadCurveToPoint(QPainterPath& path, QPointF end, QPointF control) {
    const QPointF start = path.currentPosition();
    auto third = [](double from, double q) { return from + ((q - from) + (q - from)) / 3.0; };
    path.cubicTo(QPointF(third(start.x(), control.x()), third(start.y(), control.y())),
                 QPointF(third(end.x(), control.x()), third(end.y(), control.y())), end);
}

std::optional<QPainterPath> interpolateWithLinearInterpolation(const QList<QPointF>& points, bool closed) {
    if (points.size() < 2) return std::nullopt;
    QPainterPath path;
    path.moveTo(points.front());
    for (qsizetype i = 1; i < points.size(); ++i) {
        const QPointF a = points[i - 1], b = points[i];
        const QPointF m = midPoint(a, b);
        addQuadCurveToPoint(path, m, controlPoint(m, a));
        addQuadCurveToPoint(path, b, controlPoint(m, b));
    }
    if (closed) path.closeSubpath();
    return path;
}

void ColumnPolyline::begin(QPointF p) {
    open_ = true;
    column_ = std::floor(p.x());
    low_ = high_ = last_ = emitted_ = p;
    lowFirst_ = true;
}

void ColumnPolyline::moveTo(QPointF p) {
    finish();
    path_.moveTo(p);
    begin(p);
}

void ColumnPolyline::lineTo(QPointF p) {
    if (!open_) {
        moveTo(p);
        return;
    }
    if (std::floor(p.x()) == column_) {
        if (p.y() < low_.y()) {
            low_ = p;
            lowFirst_ = false;  // the lowest now comes after the highest
        }
        if (p.y() > high_.y()) {
            high_ = p;
            lowFirst_ = true;
        }
        last_ = p;
        return;
    }
    finish();
    path_.lineTo(p);
    begin(p);
}

void ColumnPolyline::finish() {
    if (!open_) return;
    open_ = false;
    for (QPointF q : {lowFirst_ ? low_ : high_, lowFirst_ ? high_ : low_, last_}) {
        if (q == emitted_) continue;
        path_.lineTo(q);
        emitted_ = q;
    }
}

}  // namespace pathinterpolation
