#include "views/DropShadow.h"

#include "views/ImageBlur.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

DropShadow::DropShadow(QPointF offset, double blurRadius, QColor color, QObject* parent)
    : QGraphicsEffect(parent), offset_(offset), blurRadius_(blurRadius), color_(color) {}

QRectF DropShadow::boundingRectFor(const QRectF& rect) const {
    return rect.united(rect.translated(offset_).adjusted(-blurRadius_, -blurRadius_, blurRadius_, blurRadius_));
}

void DropShadow::draw(QPainter* painter) {
    QPoint origin;
    const QPixmap pixmap = sourcePixmap(Qt::DeviceCoordinates, &origin, QGraphicsEffect::PadToEffectiveBoundingRect);
    if (pixmap.isNull()) return;
    QImage picture = pixmap.toImage();
    if (picture.format() != QImage::Format_ARGB32_Premultiplied)
        picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);

    if (composite_.isNull() || picture != source_) {
        // The picture padded to the effect's bounds: its coverage, moved by
        // the offset, blurred and tinted, with the picture laid over it.
        const double ratio = picture.devicePixelRatio();
        const QPoint offset(int(std::lround(offset_.x() * ratio)), int(std::lround(offset_.y() * ratio)));
        // Three box passes of this radius spread about as far as Qt's blur
        // of the given radius.
        composite_ = shadowOf(picture, offset, std::max(1, int(std::lround(blurRadius_ * ratio / 2.5))), color_);
        QPainter p(&composite_);
        p.drawImage(0, 0, picture);
        p.end();
        source_ = picture;
    }
    const QTransform kept = painter->worldTransform();
    painter->setWorldTransform(QTransform());
    painter->drawImage(origin, composite_);
    painter->setWorldTransform(kept);
}
