// Trimming a track at either edge of its lane's region, and handing a move
// of the whole track to the track area.
//
// Geometry: W is the lane's width (the whole source at the current zoom), F
// the lane's x in the track area, A the area's width, D the composition's
// length and S the source's. A lane x lies at (F + x) / A × D seconds of the
// composition and at x / W × S seconds of the source.

#include "views/AudioDrawingView.h"

#include "engine/MusicFilter.h"
#include "platform/core/MediaTime.h"
#include "platform/core/UndoManager.h"
#include "views/AudioView.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>

namespace {

// The narrowest region a lane draws.
constexpr double kMinimumRegionWidth = 3.0;

struct TrimFrame {
    double W = 0, F = 0, A = 0, D = 0, S = 0;
    int32_t ts = MediaTime::DefaultTimeScale;
    double compositionSeconds(double x) const { return A > 0 ? (F + x) / A * D : 0.0; }
    double sourceSeconds(double x) const { return W > 0 ? x / W * S : 0.0; }
};

TrimFrame frameOf(const AudioDrawingView& lane) {
    TrimFrame f;
    f.W = lane.frameWidth();
    f.F = lane.frameX();
    if (AudioView* area = lane.audioView) {
        f.A = area->frameWidth();
        if (AudioViewOwner* o = area->owner()) f.D = o->areaCompositionSeconds();
    }
    if (const MusicFilter* t = lane.track()) {
        const double s = t->audioDuration().seconds();
        f.S = std::isfinite(s) && s > 0 ? s : t->durationInSeconds;
        if (t->timeScale > 0) f.ts = t->timeScale;
    }
    return f;
}

// The narrowest region an edge drag may leave: 3 points, and never less than
// a second of source, which the track would refuse to play (a millisecond
// more, so that rounding to the track's time scale cannot go under it).
double minimumRegionWidth(const TrimFrame& f) {
    const double second = f.S > 0 ? std::min(f.W, f.W / f.S * 1.001) : 0.0;
    return std::max(kMinimumRegionWidth, second);
}

}  // namespace

void AudioDrawingView::trimOrMovePress(QMouseEvent* event, const QPointF& p) {
    const QRectF R = drawingBezierPath.boundingRect();
    bezierPathAtPress = R;
    mousePoint = p;
    startOrigin = R.x();
    startWidth = R.width();
    const double m = p.x();
    const double dL = std::abs(m - R.x()), dR = std::abs(m - (R.x() + R.width()));
    const double g = R.width() / 10.0;
    if (dL <= g || dR <= g) {
        isMouseDown = true;
    } else {
        mouseEventToSuperview = true;
        if (audioView) audioView->mouseDownFromSubview = true;
    }
    startPoint = mousePoint;
    movingSide = dL >= dR ? 1 : 0;
    beginGesture(GestureRouting::TrimOrMove);
    if (mouseEventToSuperview && audioView) audioView->laneMouseDown(*this, event);
}

QRectF AudioDrawingView::trimmedRegion(double dx) const {
    const TrimFrame f = frameOf(*this);
    const QRectF R = drawingBezierPath.boundingRect();
    const double minW = minimumRegionWidth(f);
    const double top = 10.0, h = height() - 20.0;
    if (movingSide == 1) {
        // The start edge stays; the end follows the pointer, not past the
        // source's end nor the area's.
        double r = startOrigin + startWidth + dx;
        r = std::min(r, std::min(f.A - f.F, f.W));
        r = std::max(r, R.x() + minW);
        r = std::min(r, f.W);
        return {R.x(), top, std::max(r - R.x(), 0.0), h};
    }
    // The end edge stays; the start follows the pointer, not before the
    // source's start nor the area's.
    const double right = R.x() + R.width();
    double l = startOrigin + dx;
    l = std::max(l, std::max(-f.F, 0.0));
    l = std::min(l, right - minW);
    l = std::max(l, 0.0);
    return {l, top, std::min(right - l, f.W), h};
}

void AudioDrawingView::trimDragged(QMouseEvent* event, const QPointF& p) {
    MusicFilter* t = track();
    if (!t || drawingBezierPath.isEmpty()) return;
    isMouseDragged = true;
    mousePoint = p;
    AudioViewOwner* o = audioView ? audioView->owner() : nullptr;
    if (o) o->areaSetContinueTimeObserver(false);

    const QRectF region = trimmedRegion(mousePoint.x() - startPoint.x());
    drawingBezierPath = regionPath(region);
    const TrimFrame f = frameOf(*this);
    if (f.W > 0) {
        t->audioOriginInPercent = region.x() / f.W;
        t->audioDurationInPercent = region.width() / f.W;
    }
    // The time labels, the position sliders and the playhead follow the edge.
    const double e = movingSide == 1 ? region.x() + region.width() : region.x();
    if (o) {
        o->areaShowPosition(MediaTime::fromSeconds(f.compositionSeconds(e), f.ts));
        if (f.A > 0) o->areaSetLinePercent((f.F + e) / f.A);
    }
    if (audioView) audioView->autoscroll(event);
    update();
}

QVariantList AudioDrawingView::applyTrimToTrack(MusicFilter& t, const QRectF& region,
                                                quint64 side) const {
    const TrimFrame f = frameOf(*this);
    if (side == 0) {
        const double start = std::max(f.compositionSeconds(region.x()), 0.0);
        t.setAnimationStart(MediaTime::fromSeconds(start, f.ts));
    } else {
        const double end = std::min(f.compositionSeconds(region.x() + region.width()), f.D);
        t.setAnimationEnd(MediaTime::fromSeconds(end, f.ts));
    }
    if (f.W > 0) {
        t.audioOriginInPercent = region.x() / f.W;
        t.audioDurationInPercent = region.width() / f.W;
    }
    if (side == 0 && t.animationStart() < MediaTime::zero()) t.setAnimationStart(MediaTime::zero());
    if (side == 1 && t.animationEnd().seconds() > f.D) t.setAnimationEnd(MediaTime::fromSeconds(f.D, f.ts));
    t.audioOriginInPercent = std::max(t.audioOriginInPercent, 0.0);
    t.audioDurationInPercent = std::min(t.audioDurationInPercent, 1.0);
    if (t.audioOriginInPercent + t.audioDurationInPercent > 1.0)
        t.audioDurationInPercent = 1.0 - t.audioOriginInPercent;
    const double edge = side == 0 ? region.x() : region.x() + region.width();
    return {QVariant::fromValue(side), QVariant::fromValue(MediaTime::fromSeconds(f.sourceSeconds(edge), f.ts))};
}

void AudioDrawingView::trimRelease(QMouseEvent*, const QPointF& p, bool wasMouseDown, bool wasDragged) {
    // A click on an edge, or a release without an edge press, changes nothing.
    if (!wasMouseDown || !wasDragged || drawingBezierPath.isEmpty()) return;
    mousePoint = p;
    MusicFilter* t = track();
    if (!t || !audioView) {
        update();
        return;
    }
    AudioViewOwner* o = audioView->owner();
    const quint64 side = movingSide;
    const QRectF region = trimmedRegion(mousePoint.x() - startPoint.x());
    drawingBezierPath = regionPath(region);
    const QVariantList edgeRecord = applyTrimToTrack(*t, region, side);

    if (UndoManager* undo = audioView->undoManager()) {
        const TrimUndoRecord record{bezierPathAtPress, int(side), o ? o->areaZoomValue() : 1.0};
        QPointer<AudioDrawingView> lane(this);
        undo->registerUndo(this, [lane, record] {
            if (lane) lane->undoBezierPath(record);
        });
    }
    const TrimFrame f = frameOf(*this);
    if (o) {
        o->areaSetSeekTime(side == 0 ? t->animationStart().seconds() : t->animationEnd().seconds());
        const double e = side == 0 ? region.x() : region.x() + region.width();
        if (f.A > 0) o->areaSetLinePercent((f.F + e) / f.A);
        o->areaKeepTrackSettings(*t);
    }
    t->updatePlayerAssetTimeRange(edgeRecord);
    selectionPaths.clear();
    if (o) o->areaUpdateAudioTimeLabel(*t);
    update();
}

void AudioDrawingView::undoBezierPath(const TrimUndoRecord& record) {
    const QRectF redo = drawingBezierPath.boundingRect();
    const TrimFrame f = frameOf(*this);
    AudioViewOwner* o = audioView ? audioView->owner() : nullptr;
    const double zoom = o ? o->areaZoomValue() : 1.0;
    const QRectF P = record.undoBezierPath;
    const double k = record.undoFrameWidth > 0 ? zoom / record.undoFrameWidth : 1.0;
    // The recorded region at today's zoom, kept inside the area and the lane.
    double x = k * P.x(), w = k * P.width();
    if (f.F + x < 0) x = -f.F;
    if (f.F + x + w > f.A) w = f.A - (f.F + x);
    x = std::max(x, 0.0);
    if (x + w > f.W) w = f.W - x;
    const QRectF region(x, P.y(), std::max(w, 0.0), P.height());
    drawingBezierPath = regionPath(region);

    MusicFilter* t = track();
    QVariantList edgeRecord;
    if (t && (record.undoBezierPathType == 0 || record.undoBezierPathType == 1))
        edgeRecord = applyTrimToTrack(*t, region, quint64(record.undoBezierPathType));
    if (audioView)
        if (UndoManager* undo = audioView->undoManager()) {
            const TrimUndoRecord inverse{redo, record.undoBezierPathType, zoom};
            QPointer<AudioDrawingView> lane(this);
            undo->registerUndo(this, [lane, inverse] {
                if (lane) lane->undoBezierPath(inverse);
            });
        }
    if (t && !edgeRecord.isEmpty()) {
        if (o) o->areaSetSeekTime(t->animationStart().seconds());
        t->updatePlayerAssetTimeRange(edgeRecord);
        // The thumbnail's label shows the used part the undo gave back.
        if (o) o->areaUpdateAudioTimeLabel(*t);
    }
    update();
}
