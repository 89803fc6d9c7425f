#include "views/AudioDrawingView.h"

#include "engine/AudioControllerServices.h"
#include "engine/MusicFilter.h"
#include "platform/core/NotificationCenter.h"
#include "views/AudioView.h"
#include "views/Fonts.h"

#include <QPainter>
#include <QPaintEvent>

#include <algorithm>
#include <cmath>

namespace {

const QColor kAmber = QColor::fromRgbF(1.0f, 0.73f, 0.15f);
const QColor kBlue = QColor::fromRgbF(0.0f, 0.32f, 0.48f);
const QColor kGreen = QColor::fromRgbF(0.812f, 0.99f, 0.294f);
const QColor kRed = QColor::fromRgbF(1.0f, 0.0f, 0.0f);

QColor withAlpha(QColor c, double a) {
    c.setAlphaF(float(a));
    return c;
}

}  // namespace

AudioDrawingView::AudioDrawingView(QWidget* parent) : QWidget(parent) {
    oldBounds = rect();
    // Every lane rescales its region when the track area's width changes.
    NotificationCenter::defaultCenter().addObserver(
        this, QStringLiteral("updateDrawingPath"), nullptr,
        [this](const Notification&) { updateDrawingPath(); });
}

// A lane going away leaves the window's undo history alone: the history
// holds the removed tracks (and so their lanes) itself, and emptying it
// whenever one of them is dropped would take every other edit's undo with it.
AudioDrawingView::~AudioDrawingView() { NotificationCenter::defaultCenter().removeObserver(this); }

QPainterPath AudioDrawingView::regionPath(const QRectF& r) {
    QPainterPath path;
    path.addRoundedRect(r, 8, 8);
    return path;
}

MusicFilter* AudioDrawingView::track() const {
    return audioView ? audioView->audioTracks.filterAt(viewIndex) : nullptr;
}

void AudioDrawingView::verifyDrawingBezierPath() {
    if (drawingBezierPath.isEmpty() || !audioView) return;
    const QRectF r = drawingBezierPath.boundingRect();
    double x = r.x(), w = r.width();
    const QRect L = geometry(), A = audioView->geometry();
    bool changed = false;
    if (x + L.x() < A.x()) {
        x = A.x() - L.x();
        changed = true;
    }
    if (x + L.x() + w > audioView->width()) {
        w = std::abs(audioView->width() - (x + L.x()));
        changed = true;
    }
    const double x1 = std::max(x, 0.0);
    if (x1 + w > width())
        w = std::abs(width() - x1);
    else if (x >= 0 && !changed)
        return;
    drawingBezierPath = regionPath({x1, r.y(), w, r.height()});
}

void AudioDrawingView::updateDrawingPath() {
    if (drawingBezierPath.isEmpty() || oldBounds.width() <= 0) return;
    const double k = double(width()) / double(oldBounds.width());
    const QRectF r = drawingBezierPath.boundingRect();
    double x = k * r.x(), w = k * r.width();
    if (audioView) {
        const QRect L = geometry(), A = audioView->geometry();
        if (x + L.x() < A.x()) x = A.x() - L.x();
        if (x + L.x() + w > audioView->width()) w = std::abs(audioView->width() - (x + L.x()));
    }
    const double x1 = std::max(x, 0.0);
    if (x1 + w > width()) w = std::abs(width() - x1);
    drawingBezierPath = regionPath({x1, r.y(), w, r.height()});
    oldBounds = rect();
}

QString AudioDrawingView::nameForNote(quint64 note) {
    static const char* const names[] = {"A",     "A#/Bb", "B", "C",     "C#/Db", "D",
                                        "D#/Eb", "E",     "F", "F#/Gb", "G",     "G#/Ab"};
    if (note < 21) return QString();
    return QString::fromLatin1(names[(note - 21) % 12]);
}

void AudioDrawingView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    MusicFilter* t = track();
    if (!t) return;
    const bool selected =
        audioView && audioView->audioController &&
        audioView->audioController->currentSelectedAudio.load() == viewIndex;

    drawWaveform(painter, event->rect(), *t);
    drawSelections(painter, *t, selected);

    // The region's outline: the used part of the file.
    if (!drawingBezierPath.isEmpty()) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        QPen pen(withAlpha(t->trackColor(), selected ? 1.0 : 0.6), 3.0 / pixelScaling());
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(drawingBezierPath);
    }

    // The waveform still being computed: its progress over the region.
    if (loadingProgress >= 0) {
        const QRectF R = drawingBezierPath.isEmpty() ? QRectF(rect()).adjusted(0, 10, 0, -10)
                                                     : drawingBezierPath.boundingRect();
        const double barWidth = std::min(240.0, R.width() - 24);
        const QRectF bar(R.x() + 12, R.center().y() + 4, std::max(barWidth, 0.0), 6);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 50));
        painter.drawRoundedRect(bar, 3, 3);
        painter.setBrush(withAlpha(t->trackColor(), 1.0));
        painter.drawRoundedRect(QRectF(bar.x(), bar.y(), bar.width() * std::clamp(loadingProgress, 0.0, 1.0),
                                       bar.height()),
                                3, 3);
        painter.setPen(Qt::white);
        painter.setFont(systemFont(11));
        painter.drawText(QRectF(bar.x(), bar.y() - 22, 300, 20), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Reading audio… %1%").arg(int(loadingProgress * 100)));
    }
}

void AudioDrawingView::drawWaveform(QPainter& painter, const QRect& dirty, const MusicFilter& t) {
    // The picture and its tint are made over the dirty part only, in a layer
    // of their own, so that the tint leaves the lane's background alone.
    if (dirty.isEmpty()) return;
    QImage layer(dirty.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter p(&layer);
        p.translate(-dirty.topLeft());
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        const double W = width();
        if (t.indexOfUpdatedBitmap < uint64_t(t.filterBitmaps.size())) {
            const QImage& bitmap = t.filterBitmaps[qsizetype(t.indexOfUpdatedBitmap)];
            const double pw = bitmap.width(), ph = AudioView::WaveformHeight;
            const double o = std::max(t.audioOriginInPercent, 0.0);
            const double d = std::min(t.audioDurationInPercent, 1.0);
            // The lane is drawn upside up: the picture's top is the lane's top.
            const QRectF target(0, 10, W, height() - 20);
            if (o > 0 || d < 1) {
                p.setOpacity(0.3);
                p.drawImage(target, bitmap, QRectF(0, 0, pw, ph));
                p.setOpacity(1.0);
                p.drawImage(QRectF(o * W, 10, d * W, height() - 20), bitmap,
                            QRectF(o * pw, 0, d * pw, ph));
            } else {
                p.drawImage(target, bitmap, QRectF(0, 0, pw, ph));
            }
        }
        p.setOpacity(1.0);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(rect(), withAlpha(t.trackColor(), 1.0));
    }
    painter.drawImage(dirty.topLeft(), layer);
}

void AudioDrawingView::drawSelections(QPainter& painter, const MusicFilter& t, bool selected) {
    if (drawingBezierPath.isEmpty()) return;
    const QRectF R = drawingBezierPath.boundingRect();
    const double W = width();
    // Lane x to seconds of the source at the track's speed.
    const double speed = t.value(EffectInput::Speed);
    auto secondsAt = [&](double x) {
        return W > 0 && speed != 0 ? x / W * t.durationInSeconds / speed : 0.0;
    };
    // Dots on the region's bottom and top edges.
    auto dots = [&](double x, const QColor& c) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(c);
        painter.drawEllipse(QRectF(x - 4, R.y() - 4, 8, 8));
        painter.drawEllipse(QRectF(x - 4, R.y() + R.height() - 4, 8, 8));
    };
    painter.setRenderHint(QPainter::Antialiasing, true);

    // The ranges bound to effect settings, clipped to the region.
    const auto* owner = audioView ? dynamic_cast<const AudioDrawingViewOwner*>(audioView->audioController) : nullptr;
    if (const auto ranges = owner ? owner->laneSelectionParameterRanges(t) : QList<QPair<double, double>>();
        !ranges.isEmpty()) {
        painter.save();
        painter.setClipPath(drawingBezierPath);
        const quint64 highlighted = owner->laneHighlightedSelectionParameter();
        for (qsizetype i = 0; i < ranges.size(); ++i) {
            const double lo = ranges[i].first * W, hi = ranges[i].second * W;
            const QColor c = selected && quint64(i) != highlighted ? kRed : kAmber;
            const QRectF r(lo, R.y(), hi - lo, R.height());
            if (!r.isEmpty()) {
                painter.setPen(QPen(c, 1.0));
                painter.setBrush(withAlpha(c, 0.2));
                painter.drawRect(r);
            }
            if (lo > R.x()) dots(lo, c);
            if (hi < R.x() + R.width() - 1) dots(hi, c);
        }
        painter.restore();
    }

    // Pasted ranges.
    if (!selectionPastes.isEmpty()) {
        painter.save();
        painter.setClipPath(drawingBezierPath);
        for (const auto& paste : selectionPastes) {
            if (paste.size() < 2) continue;
            const double lo = std::min(paste[0].x(), paste[1].x());
            const double hi = std::max(paste[0].x(), paste[1].x());
            if (hi - lo < 1.0) continue;
            const QColor c = selected ? kGreen : kAmber;
            painter.setPen(QPen(c, 1.0));
            painter.setBrush(withAlpha(c, 0.2));
            painter.drawRect(QRectF(lo, R.y(), hi - lo, R.height()));
            if (lo > R.x()) dots(lo, c);
            if (hi < R.x() + R.width() - 1) dots(hi, c);
        }
        painter.restore();
    }

    // Time selections, then their time labels outside the clip.
    const QFont font = systemFont(11);
    for (const auto& selection : selectionPaths) {
        if (selection.isEmpty()) continue;
        painter.save();
        painter.setClipPath(drawingBezierPath);
        const double x0 = selection[0].x();
        const double x1 = selection.size() >= 2 ? selection[1].x() : x0;
        const double lo = std::min(x0, x1), hi = std::max(x0, x1);
        const QColor c = selected ? kBlue : kAmber;
        const double lineWidth = 2.0 / pixelScaling();
        auto edgeDots = [&](double x) {
            if (std::abs(x - R.x()) > 4.0 && std::abs(x - (R.x() + R.width())) > 4.0)
                dots(x, t.trackColor());
        };
        if (selection.size() >= 2 && hi - lo > 0) {
            painter.setPen(QPen(c, lineWidth));
            painter.setBrush(withAlpha(c, 0.5));
            painter.drawRect(QRectF(lo, R.y(), hi - lo, R.height()));
            edgeDots(lo);
            edgeDots(hi);
        } else {
            painter.setPen(QPen(c, lineWidth));
            painter.drawLine(QPointF(lo, R.y()), QPointF(lo, R.y() + R.height()));
            edgeDots(lo);
        }
        painter.restore();

        painter.setPen(Qt::white);
        painter.setFont(font);
        const QPointF anchor = selection.size() >= 2 ? selection[1] : selection[0];
        // Lane y grows upwards; the widget's grows downwards.
        const double ty = std::clamp(height() - anchor.y(), R.y() + 11, R.y() + R.height() - 8);
        if (showSelectionInfo) {
            const double x = W - anchor.x() >= 70.0 ? anchor.x() + 15 : anchor.x() - 60;
            painter.drawText(QRectF(x, ty - 8, 100, 20),
                             QString::asprintf("%.3f s", secondsAt(anchor.x())));
        } else if (selection.size() == 2 && hi - lo >= 120.0) {
            painter.drawText(QRectF(lo + 6, R.y() + 10, 100, 20),
                             QString::asprintf("%.2f s", secondsAt(lo)));
            painter.drawText(QRectF(hi - 48, R.y() + 10, 100, 20),
                             QString::asprintf("%.2f s", secondsAt(hi)));
        }
    }
}
