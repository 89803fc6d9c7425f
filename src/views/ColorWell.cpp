#include "views/ColorWell.h"

#include <QColorDialog>
#include <QPainter>

ColorWell::ColorWell(QWidget* parent) : QPushButton(parent) {
    setFixedSize(44, 24);
    connect(this, &QPushButton::clicked, this, [this] {
        QColor chosen = QColorDialog::getColor(color_, this);
        if (chosen.isValid() && chosen != color_) {
            setColor(chosen);
            emit colorChanged(color_);
        }
    });
}

void ColorWell::setColor(const QColor& color) {
    color_ = color;
    update();
}

void ColorWell::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 0, 0), 1));
    painter.setBrush(QColor(60, 60, 60));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color_);
    painter.drawRoundedRect(QRectF(rect()).adjusted(4, 4, -4, -4), 2, 2);
}
