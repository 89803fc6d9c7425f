#pragma once

#include <QList>
#include <QPainterPath>
#include <QPointF>

#include <optional>

// A smooth path through an ordered list of points, as the equaliser view
// draws its spectrum and response line: between two neighbours it is an
// S-shaped pair of quadratic segments meeting at their mid point, flat at
// both points, so it never leaves the vertical range of the two (a peak in
// the data is drawn at exactly its height).
namespace pathinterpolation {

QPointF midPoint(QPointF p1, QPointF p2);
// The control point of the quadratic segment from p1 to p2: the mid point's
// x at p2's height.
QPointF controlPoint(QPointF p1, QPointF p2);
// Appends the quadratic segment from the path's current point to `end` as
// the equivalent cubic one.
void addQuadCurveToPoint(QPainterPath& path, QPointF end, QPointF control);
// None for fewer than two points. `closed` joins the last point back to the
// first with a straight line.
std::optional<QPainterPath> interpolateWithLinearInterpolation(const QList<QPointF>& points, bool closed);

// Builds a polyline into `path`, reducing the vertices that fall in one
// pixel column to the first, the lowest, the highest and the last of them,
// in the order they came. A pen a pixel or more wide draws the same line,
// and a curve of thousands of points in a few hundred columns costs a few
// vertices per column. Call finish() before drawing the path.
class ColumnPolyline {
public:
    explicit ColumnPolyline(QPainterPath& path) : path_(path) {}
    void moveTo(QPointF p);
    void lineTo(QPointF p);
    void finish();

private:
    void begin(QPointF p);

    QPainterPath& path_;
    bool open_ = false;
    double column_ = 0;
    QPointF low_, high_, last_, emitted_;
    bool lowFirst_ = true;
};

}  // namespace pathinterpolation
