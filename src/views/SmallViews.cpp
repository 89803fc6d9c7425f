#include "views/SmallViews.h"

#include "views/Palette.h"

#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyle>

AudioScrollView::AudioScrollView(QWidget* parent) : QScrollArea(parent) {
    // The corner widget fills the gap between the two scroll bars.
    auto* corner = new QWidget(this);
    corner->setAutoFillBackground(true);
    QPalette pal = corner->palette();
    pal.setColor(QPalette::Window, palette::scrollCorner());
    corner->setPalette(pal);
    setCornerWidget(corner);
}

QRect AudioScrollView::cornerRect() const {
    if (!verticalScrollBar()->isVisible() || !horizontalScrollBar()->isVisible()) return {};
    QRect h = horizontalScrollBar()->geometry();
    return QRect(h.right() + 1, h.y(), verticalScrollBar()->width(), h.height());
}

void AudioScrollView::paintEvent(QPaintEvent* event) { QScrollArea::paintEvent(event); }

SheetWindow::SheetWindow(QWidget* parent) : QDialog(parent) {}

void CustomImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), 8, 8);
    painter.setClipPath(clip);
    if (!image_.isNull()) painter.drawImage(rect(), image_);
    // The clip keeps the inner half of the 3-point stroke.
    painter.setPen(QPen(palette::imageBorder(), 3));
    painter.drawPath(clip);
}

QString TailTruncatingLabel::shownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

void TailTruncatingLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(), shownText(),
                          foregroundRole());
}
