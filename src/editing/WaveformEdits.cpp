#include "editing/WaveformEdits.h"

#include "engine/MusicFilter.h"
#include "views/AudioView.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace waveformedits {

namespace {

constexpr double W = kPictureWidth;
constexpr double H = kPictureHeight;

QImage newPicture(int width = int(kPictureWidth)) {
    return AudioView::createNewBmpImageRep(width, kPictureHeight, 1.0, true);
}

// A painter that copies pieces, smoothly scaled, over what is there.
struct Frame {
    explicit Frame(QImage& target) : p(&target) {
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setCompositionMode(QPainter::CompositionMode_Source);
    }
    void piece(const QImage& from, const QRectF& fromRect, const QRectF& to) {
        if (to.width() <= 0 || fromRect.width() <= 0) return;
        p.drawImage(to, from, fromRect);
    }
    void whole(const QImage& from, const QRectF& to) {
        piece(from, QRectF(0, 0, from.width(), from.height()), to);
    }
    QPainter p;
};

// A transparent band from x0 to x1 with a thin white line at half height
// that glows white.
void silenceBand(Frame& f, double x0, double x1) {
    QPainter& p = f.p;
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(QRectF(x0, 0, x1 - x0, H), Qt::transparent);
    p.setClipRect(QRectF(x0, 0, x1 - x0, H));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    // The glow: wide soft strokes fading out over about ten pixels.
    for (int i = 10; i >= 1; --i) {
        QPen glow(QColor(255, 255, 255, 10), 2.0 * i);
        glow.setCapStyle(Qt::RoundCap);
        p.setPen(glow);
        p.drawLine(QPointF(x0, kSilenceLineY), QPointF(x1, kSilenceLineY));
    }
    QPen line(Qt::white, 0.1);
    line.setCapStyle(Qt::RoundCap);
    line.setJoinStyle(Qt::RoundJoin);
    p.setPen(line);
    p.drawLine(QPointF(x0, kSilenceLineY), QPointF(x1, kSilenceLineY));
    line.setColor(QColor::fromRgbF(1, 1, 1, 0.5));
    p.setPen(line);
    p.drawLine(QPointF(x0, kSilenceLineY), QPointF(x1, kSilenceLineY));
    p.restore();
}

bool hasPicture(const MusicFilter& f, uint64_t index) { return index < uint64_t(f.filterBitmaps.size()); }

void appendPicture(MusicFilter& f, QImage picture) {
    f.filterBitmaps.append(std::move(picture));
    f.indexOfUpdatedBitmap = uint64_t(f.filterBitmaps.size() - 1);
}

}  // namespace

QImage scaledSourcePicture(const QImage& source, double speed) {
    QImage scaled = newPicture(int(std::ceil(W * speed)));
    Frame f(scaled);
    f.whole(source, QRectF(0, 0, scaled.width(), H));
    return scaled;
}

QImage pastedPicture(const QImage& old, const QImage& source, double timeDifference,
                     double widthInsertion, double sourceWidthDifference,
                     double sourceWidthInsertion, double timeDuration, double sourceSpeed) {
    const double s = sourceSpeed;
    const double T = timeDifference + timeDuration;
    const double w = timeDifference * W / T;
    const double r = timeDuration * W / T;
    const QImage P = s == 1.0 ? source : scaledSourcePicture(source, s);
    const QRectF piece(sourceWidthInsertion * s, 0, sourceWidthDifference * s, H);

    QImage picture = newPicture();
    Frame f(picture);
    if (widthInsertion < kStartMargin) {
        f.piece(P, piece, QRectF(0, 0, w, H));
        f.whole(old, QRectF(w, 0, r, H));
    } else if (widthInsertion > kEndMargin) {
        f.whole(old, QRectF(0, 0, r, H));
        f.piece(P, piece, QRectF(r, 0, w, H));
    } else {
        const double a = widthInsertion * timeDuration / T;
        f.piece(old, QRectF(0, 0, widthInsertion, H), QRectF(0, 0, a, H));
        f.piece(P, piece, QRectF(a, 0, w, H));
        f.piece(old, QRectF(widthInsertion, 0, W - widthInsertion, H), QRectF(a + w, 0, W - (a + w), H));
    }
    return picture;
}

QImage silencePicture(const QImage& old, double timeDifference, double widthInsertion,
                      double timeDuration) {
    const double T = timeDifference + timeDuration;
    const double w = timeDifference * W / T;
    const double r = timeDuration * W / T;
    QImage picture = newPicture();
    Frame f(picture);
    if (widthInsertion < kStartMargin) {
        silenceBand(f, 0, w);
        f.whole(old, QRectF(w, 0, r, H));
    } else if (widthInsertion > kEndMargin) {
        f.whole(old, QRectF(0, 0, r, H));
        silenceBand(f, r, W);
    } else {
        const double a = widthInsertion * timeDuration / T;
        f.piece(old, QRectF(0, 0, widthInsertion, H), QRectF(0, 0, a, H));
        silenceBand(f, a, a + w);
        f.piece(old, QRectF(widthInsertion, 0, W - widthInsertion, H), QRectF(a + w, 0, W - (a + w), H));
    }
    return picture;
}

QImage removedPicture(const QImage& old, double widthDifference, double widthInsertion,
                      double timeDifference, double totalTimeDuration) {
    const double e = widthInsertion + widthDifference;
    QImage picture = newPicture();
    Frame f(picture);
    if (widthInsertion < kStartMargin) {
        f.piece(old, QRectF(widthDifference, 0, W - widthDifference, H), QRectF(0, 0, W, H));
    } else if (e > kEndMargin) {
        f.piece(old, QRectF(0, 0, widthInsertion, H), QRectF(0, 0, W, H));
    } else {
        const double a = widthInsertion * totalTimeDuration / (totalTimeDuration - timeDifference);
        f.piece(old, QRectF(0, 0, widthInsertion, H), QRectF(0, 0, a, H));
        f.piece(old, QRectF(e, 0, W - e, H), QRectF(a, 0, W - a, H));
    }
    return picture;
}

bool modifyAudioBitmapForFilter(MusicFilter& filter, const MusicFilter& sourceFilter,
                                double timeDifference, double widthInsertion,
                                double sourceWidthDifference, double sourceWidthInsertion,
                                uint64_t sourceIndex, double timeDuration, double sourceSpeed) {
    if (!hasPicture(filter, filter.indexOfUpdatedBitmap) || !hasPicture(sourceFilter, sourceIndex) ||
        !(sourceSpeed > 0) || !(timeDifference + timeDuration > 0))
        return false;
    // Copies first: the source may be the track itself.
    const QImage old = filter.filterBitmaps[qsizetype(filter.indexOfUpdatedBitmap)];
    const QImage source = sourceFilter.filterBitmaps[qsizetype(sourceIndex)];
    appendPicture(filter, pastedPicture(old, source, timeDifference, widthInsertion, sourceWidthDifference,
                                        sourceWidthInsertion, timeDuration, sourceSpeed));
    return true;
}

bool modifyAudioEmptyBitmapForFilter(MusicFilter& filter, double timeDifference, double widthInsertion,
                                     double timeDuration) {
    if (!hasPicture(filter, filter.indexOfUpdatedBitmap) || !(timeDifference + timeDuration > 0)) return false;
    const QImage old = filter.filterBitmaps[qsizetype(filter.indexOfUpdatedBitmap)];
    appendPicture(filter, silencePicture(old, timeDifference, widthInsertion, timeDuration));
    return true;
}

bool modifyAudioBitmapForFilter(MusicFilter& filter, double widthDifference, double widthInsertion,
                                double timeDifference, double totalTimeDuration) {
    if (!hasPicture(filter, filter.indexOfUpdatedBitmap) || !(totalTimeDuration > timeDifference)) return false;
    const QImage old = filter.filterBitmaps[qsizetype(filter.indexOfUpdatedBitmap)];
    appendPicture(filter, removedPicture(old, widthDifference, widthInsertion, timeDifference, totalTimeDuration));
    return true;
}

}  // namespace waveformedits
