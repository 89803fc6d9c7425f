#include "views/SmallViews.h"

#include "views/Palette.h"

#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

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

// ---- PlayerView ------------------------------------------------------------------------

PlayerView::PlayerView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlayerView::setFrame(const QImage& frame) {
    frame_ = frame;
    update();
}

void PlayerView::setLayerInstalled(bool installed) {
    layerInstalled_ = installed;
    if (!installed) frame_ = QImage();
    update();
}

QRect PlayerView::frameRect() const {
    if (frame_.isNull()) return {};
    const QSize fitted = frame_.size().scaled(size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

void PlayerView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(30, 28, 30));
    if (!layerInstalled_ || frame_.isNull()) return;
    const QRect r = frameRect();
    // The shadow: black, no offset, radius 3, fading outwards.
    p.setPen(Qt::NoPen);
    for (int i = 3; i >= 1; --i) {
        p.setBrush(QColor(0, 0, 0, 255 / (i + 1)));
        p.drawRect(r.adjusted(-i, -i, i, i));
    }
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(r, frame_);
}

void showPopoverBelow(QWidget* popover, QWidget* anchor) {
    if (anchor) {
        const int w = popover->width(), h = popover->height();
        QPoint at = anchor->mapToGlobal(QPoint(anchor->width() / 2 - w / 2, anchor->height()));
        if (const QScreen* screen = anchor->screen()) {
            const QRect room = screen->availableGeometry();
            if (at.y() + h > room.bottom()) at.setY(anchor->mapToGlobal(QPoint(0, 0)).y() - h);
            at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - w)));
            at.setY(std::max(at.y(), room.top()));
        }
        popover->move(at);
    }
    popover->show();
}
