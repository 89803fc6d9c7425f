#include "views/AudioView.h"

#include "views/Palette.h"

#include <QPainter>
#include <QPaintEvent>

AudioView::AudioView(QWidget* parent) : QWidget(parent) {}

void AudioView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), palette::backgroundGrey());
    // Row separators, one per track.
    painter.setPen(QColor(0, 0, 0, 160));
    for (size_t i = 1; i <= audioTracks.size(); ++i)
        painter.drawLine(0, int(i) * RowHeight, width(), int(i) * RowHeight);
}
