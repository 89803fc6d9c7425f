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
        const int w = picture.width(), h = picture.height();
        const double ratio = picture.devicePixelRatio();
        const int dx = int(std::lround(offset_.x() * ratio)), dy = int(std::lround(offset_.y() * ratio));
        QImage coverage(w, h, QImage::Format_Alpha8);
        coverage.fill(0);
        for (int y = std::max(0, dy); y < std::min(h, h + dy); ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(picture.constScanLine(y - dy));
            uchar* out = coverage.scanLine(y);
            for (int x = std::max(0, dx); x < std::min(w, w + dx); ++x) out[x] = uchar(qAlpha(in[x - dx]));
        }
        // Three box passes of this radius spread about as far as Qt's blur
        // of the given radius.
        boxBlur(coverage, std::max(1, int(std::lround(blurRadius_ * ratio / 2.5))));
        composite_ = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
        composite_.setDevicePixelRatio(ratio);
        const QRgb tint = color_.rgba();
        for (int y = 0; y < h; ++y) {
            const uchar* in = coverage.constScanLine(y);
            auto* out = reinterpret_cast<QRgb*>(composite_.scanLine(y));
            for (int x = 0; x < w; ++x) {
                const int a = in[x] * qAlpha(tint) / 255;
                out[x] = qRgba(qRed(tint) * a / 255, qGreen(tint) * a / 255, qBlue(tint) * a / 255, a);
            }
        }
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
