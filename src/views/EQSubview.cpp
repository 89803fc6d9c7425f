#include "views/EQSubview.h"

#include "views/FloatSlider.h"

#include <QPainter>

#include <algorithm>

EQSubview::EQSubview(QWidget* parent) : DrawBackgroundView(parent) {}

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

void EQSubview::paintEvent(QPaintEvent* event) {
    DrawBackgroundView::paintEvent(event);
    if (!needsShowInfoValue || !infoSlider || !infoSlider->isVisible()) return;
    // The slider may live in another container: place the label by where
    // it stands on screen.
    const QPoint origin = mapFromGlobal(infoSlider->mapToGlobal(QPoint(0, 0)));
    const int x = leftDrawing ? origin.x() - 32 : origin.x() + infoSlider->width() + 5;
    const int y = std::clamp(origin.y() + infoSlider->height() / 2, 12, std::max(12, height() - 4));
    QPainter painter(this);
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QPoint(x, y), QString::number(infoSlider->floatValue(), 'f', 1));
}
