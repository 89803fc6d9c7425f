#pragma once

#include <QColor>
#include <QGraphicsEffect>
#include <QImage>
#include <QPointF>

// A soft shadow under a widget, as QGraphicsDropShadowEffect draws it, kept
// from one paint to the next: the widget is drawn again on every paint of
// the area around it, but its shadow is blurred only when what it drew
// changed. Qt's own effect blurs on every paint, through Qt's shared pool,
// where the main thread then waits. Main thread only.
class DropShadow : public QGraphicsEffect {
    Q_OBJECT
public:
    DropShadow(QPointF offset, double blurRadius, QColor color, QObject* parent = nullptr);

    QRectF boundingRectFor(const QRectF& rect) const override;

protected:
    void draw(QPainter* painter) override;

private:
    QPointF offset_;
    double blurRadius_;
    QColor color_;
    // The widget's last picture, and it over its shadow.
    QImage source_;
    QImage composite_;
};
