#include "views/PathInterpolation.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace {

using namespace pathinterpolation;

TEST(PathInterpolation, ControlPointsLieAtTheEndsHeight) {
    struct Case {
        QPointF p1, p2, control;
    } cases[] = {
        {{5, 5}, {0, 0}, {2.5, 0}},
        {{5, 5}, {10, 10}, {7.5, 10}},
        {{0, 3}, {4, 3}, {2, 3}},  // level: the mid point
    };
    for (const auto& k : cases) {
        EXPECT_EQ(controlPoint(k.p1, k.p2), k.control);
    }
    EXPECT_EQ(midPoint({0, 0}, {10, 4}), QPointF(5, 2));
}

TEST(PathInterpolation, APeakIsSmoothAndNeverOvershoots) {
    EXPECT_FALSE(interpolateWithLinearInterpolation({}, false));
    EXPECT_FALSE(interpolateWithLinearInterpolation({{1, 1}}, true));

    const QList<QPointF> peak{{0, 0}, {10, 10}, {20, 0}};
    for (bool closed : {false, true}) {
        SCOPED_TRACE(closed ? "closed" : "open");
        auto path = interpolateWithLinearInterpolation(peak, closed);
        ASSERT_TRUE(path);
        // Move, then two cubic segments (each three elements) per neighbour pair.
        ASSERT_GE(path->elementCount(), 13);
        EXPECT_TRUE(path->elementAt(0).isMoveTo());
        // The segments end at the mid points and the given points in turn.
        const QPointF ends[] = {{5, 5}, {10, 10}, {15, 5}, {20, 0}};
        for (int s = 0; s < 4; ++s) {
            const QPainterPath::Element e = path->elementAt(1 + s * 3 + 2);
            EXPECT_EQ(QPointF(e.x, e.y), ends[s]) << "segment " << s;
        }
        // Flat at the given points: the control points next to them share their height.
        EXPECT_DOUBLE_EQ(path->elementAt(1).y, 0);          // leaving (0, 0)
        EXPECT_DOUBLE_EQ(path->elementAt(5).y, 10);         // arriving at (10, 10)
        EXPECT_DOUBLE_EQ(path->elementAt(7).y, 10);         // leaving (10, 10)
        EXPECT_DOUBLE_EQ(path->elementAt(11).y, 0);         // arriving at (20, 0)
        const QRectF box = path->boundingRect();
        EXPECT_GE(box.top(), 0.0);
        EXPECT_LE(box.bottom(), 10.0);
        // Closed, the last point goes back to the first by a straight line.
        const QPainterPath::Element last = path->elementAt(path->elementCount() - 1);
        EXPECT_EQ(QPointF(last.x, last.y), closed ? QPointF(0, 0) : QPointF(20, 0));
    }

    // Drawn ten times larger: nothing beyond the peak's row, and the curve
    // passes through its mid points.
    auto path = interpolateWithLinearInterpolation({{0, 0}, {100, 100}, {200, 0}}, false);
    QImage image(220, 130, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.translate(10, 10);
    p.setPen(QPen(Qt::black, 1.0));
    p.drawPath(*path);
    p.end();
    int lowest = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0) lowest = std::max(lowest, y);
    EXPECT_LE(lowest, 10 + 100 + 1);
    EXPECT_GE(lowest, 10 + 100 - 1);
    EXPECT_GT(qAlpha(image.pixel(10 + 50, 10 + 50)), 0);
    EXPECT_GT(qAlpha(image.pixel(10 + 150, 10 + 50)), 0);
}

// Two points give only the S-shaped pair of segments between them.
TEST(PathInterpolation, TwoPointsGiveOneSShape) {
    auto path = interpolateWithLinearInterpolation({{0, 0}, {10, 4}}, false);
    ASSERT_TRUE(path);
    EXPECT_EQ(path->elementCount(), 7);
    const QPainterPath::Element mid = path->elementAt(3), end = path->elementAt(6);
    EXPECT_EQ(QPointF(mid.x, mid.y), QPointF(5, 2));
    EXPECT_EQ(QPointF(end.x, end.y), QPointF(10, 4));
}

}  // namespace

namespace {

QList<QPointF> verticesOf(const QPainterPath& path) {
    QList<QPointF> out;
    for (int i = 0; i < path.elementCount(); ++i) out.append(QPointF(path.elementAt(i).x, path.elementAt(i).y));
    return out;
}

}  // namespace

TEST(ColumnPolyline, KeepsEveryColumnsExtentWithFewVertices) {
    struct Case {
        const char* name;
        QList<QPointF> in;
        QList<QPointF> out;
    } cases[] = {
        {"one point per column: unchanged", {{0, 5}, {1, 3}, {2.5, 8}, {4, 1}}, {{0, 5}, {1, 3}, {2.5, 8}, {4, 1}}},
        {"a run in one column: first, lowest, highest, last",
         {{0, 5}, {0.2, 1}, {0.4, 9}, {0.6, 2}, {0.8, 8}, {0.9, 4}, {3, 4}},
         {{0, 5}, {0.2, 1}, {0.4, 9}, {0.9, 4}, {3, 4}}},
        {"highest before lowest keeps that order", {{0, 5}, {0.5, 9}, {0.7, 1}, {2, 1}}, {{0, 5}, {0.5, 9}, {0.7, 1}, {2, 1}}},
        {"a step: a vertical jump at one x", {{0, 2}, {5, 2}, {5, 7}, {9, 7}}, {{0, 2}, {5, 2}, {5, 7}, {9, 7}}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        QPainterPath path;
        ColumnPolyline line(path);
        for (const QPointF& p : k.in) line.lineTo(p);
        line.finish();
        EXPECT_EQ(verticesOf(path), k.out);
    }
}

TEST(ColumnPolyline, AZigzagOfThousandsDrawsTheSameLine) {
    // 10,000 points alternating between two heights over 200 columns.
    QPainterPath full, reduced;
    ColumnPolyline line(reduced);
    full.moveTo(0, 20);
    line.moveTo({0, 20});
    for (int k = 1; k < 10000; ++k) {
        const QPointF p(k * 0.02, k % 2 ? 80 : 20);
        full.lineTo(p);
        line.lineTo(p);
    }
    line.finish();
    EXPECT_LT(reduced.elementCount(), 5 * 200);
    EXPECT_EQ(reduced.boundingRect(), full.boundingRect());
    EXPECT_EQ(reduced.currentPosition(), full.currentPosition());

    // Drawn with the lanes' pen.
    auto draw = [](const QPainterPath& p) {
        QImage image(220, 100, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(p);
        return image;
    };
    // Within a pixel: what one draws, the other draws at or beside it (a
    // run's extent is drawn where its extremes lie, so its right edge may
    // end a pixel sooner).
    const QImage a = draw(reduced), b = draw(full);
    auto drawn = [](const QImage& image, int x, int y) {
        return x >= 0 && x < image.width() && qAlpha(image.pixel(x, y)) > 64;
    };
    int apart = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (drawn(a, x, y) && !drawn(b, x, y) && !drawn(b, x - 1, y) && !drawn(b, x + 1, y)) ++apart;
            if (drawn(b, x, y) && !drawn(a, x, y) && !drawn(a, x - 1, y) && !drawn(a, x + 1, y)) ++apart;
        }
    EXPECT_EQ(apart, 0);
}
