// The track area's side of the lanes' gestures: moving a track in time and
// dragging a time selection or pasted range onto a track.
//
// Positions are in the area's coordinates (y down, track 0 on top). A lane
// x lies at (lane x + x) / W × D seconds of the composition, W the area's
// width and D the composition's length.

#include "views/AudioView.h"

#include "engine/MusicFilter.h"
#include "platform/core/MediaTime.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/UndoManager.h"
#include "views/AudioDrawingView.h"
#include "views/Palette.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

// The pointer must leave a circle of this radius around the press before a
// dragged selection shows or drops.
constexpr double kDragThreshold = 5.0;
// A dragged range's edge snaps to a marker closer than this, in seconds.
constexpr double kMarkerSnap = 0.5;

int32_t timeScaleOf(const MusicFilter& t) { return t.timeScale > 0 ? t.timeScale : MediaTime::DefaultTimeScale; }

// The dragged range of a lane, as x of its ends in lane coordinates: the
// picked pasted range, else the last time selection (two points).
std::optional<std::pair<double, double>> draggedRange(const AudioDrawingView& lane, const AudioView& area) {
    const QList<QPointF>* item = nullptr;
    if (area.drawForSelectionPaste && area.indexOfSelectionPaste < quint64(lane.selectionPastes.size()))
        item = &lane.selectionPastes[qsizetype(area.indexOfSelectionPaste)];
    else if (!lane.selectionPaths.isEmpty())
        item = &lane.selectionPaths.last();
    if (!item || item->size() < 2) return std::nullopt;
    const double a = (*item)[0].x(), b = (*item)[1].x();
    return std::make_pair(std::min(a, b), std::max(a, b));
}

// The region's x and width, both 0 when the lane has no region.
std::pair<double, double> regionSpan(const AudioDrawingView& lane) {
    if (lane.drawingBezierPath.isEmpty()) return {0.0, 0.0};
    const QRectF r = lane.drawingBezierPath.boundingRect();
    return {r.x(), r.width()};
}

// Places the dragged range's start at `t` seconds, with the pointer x kept
// in step, each marker snapping the start or the end onto it; the last
// snap wins.
void snapToMarkers(const std::vector<double>& markers, double D, double W, double w, double& t,
                   double& pointerX) {
    const double length = W > 0 ? w / W * D : 0.0;
    for (double mt : markers) {
        if (mt > D) continue;
        if (std::abs(t - mt) < kMarkerSnap) {
            pointerX = mt / D * W + w / 2;
            t = mt;
        }
        if (std::abs(t + length - mt) < kMarkerSnap) {
            t = std::max(mt - length, 0.0);
            pointerX = mt / D * W - w / 2;
        }
    }
}

}  // namespace

// Lies over the lanes while a time selection or pasted range is dragged,
// and paints its picture there; the pointer goes through to what is under it.
class DragPictureLayer : public QWidget {
public:
    explicit DragPictureLayer(AudioView* area) : QWidget(area), area_(area) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (AudioViewOwner* o = area_->owner(); o && o->areaDoNotUpdateNeedsDisplay()) return;
        QPainter painter(this);
        area_->drawDragPicture(painter);
    }

private:
    AudioView* area_;
};

void AudioView::updateDragPicture() {
    if (!dragPictureLayer_) {
        if (!drawMovingSelectionPath) return;
        dragPictureLayer_ = new DragPictureLayer(this);
    }
    if (!drawMovingSelectionPath) {
        dragPictureLayer_->hide();
        return;
    }
    dragPictureLayer_->setGeometry(rect());
    dragPictureLayer_->raise();
    dragPictureLayer_->show();
    dragPictureLayer_->update();
}

AudioViewOwner* AudioView::owner() const { return dynamic_cast<AudioViewOwner*>(audioController); }

void AudioView::laneMouseDown(AudioDrawingView& lane, QMouseEvent* event) {
    isMouseDragged = false;
    isMouseDown = false;
    AudioViewOwner* o = owner();
    if (auto* laneOwner = dynamic_cast<AudioDrawingViewOwner*>(audioController))
        laneOwner->laneSetDoNotUpdateNeedsDisplay(false);
    if (!viewAcceptsMouseEvents || !mouseDownFromSubview) return;
    isMouseDown = true;
    drawMovingSelectionPath = false;
    gestureLane = &lane;
    if (o) {
        o->areaSetDragDropSelectionInfo(std::nullopt);
        o->areaSetAdditionalLine(false, 0.0);
    }
    pressFrameOrigin = QPointF(lane.frameX(), lane.y());
    mousePoint = mapFromGlobal(event->globalPosition());
    mouseStart = mousePoint;
    startXOrigin = lane.frameX();
    updateDragPicture();
    update();
}

void AudioView::moveTrackTo(AudioDrawingView& lane, double x) {
    const auto [rx, rw] = regionSpan(lane);
    // The region stays within the area: its left edge at or right of the
    // area's, its right edge at or left of the area's.
    x = std::max(x, -rx);
    x = std::min(x, frameWidth() - (rx + rw));
    lane.setFrameX(x);
}

void AudioView::laneMouseDragged(AudioDrawingView& lane, QMouseEvent* event) {
    if (!isMouseDown) return;
    isMouseDragged = true;
    mousePoint = mapFromGlobal(event->globalPosition());
    if (mouseDownIsPressingCTRL) {
        dragSelection(lane, event);
        return;
    }
    AudioViewOwner* o = owner();
    MusicFilter* t = lane.track();
    if (o) o->areaSetContinueTimeObserver(false);
    moveTrackTo(lane, startXOrigin + (mousePoint.x() - mouseStart.x()));
    const double W = frameWidth(), D = o ? o->areaCompositionSeconds() : 0.0;
    const double f = W > 0 ? (lane.frameX() + regionSpan(lane).first) / W : 0.0;
    if (o && t) {
        o->areaShowPosition(MediaTime::fromSeconds(f * D, timeScaleOf(*t)));
        o->areaSetLinePercent(f);
    }
    autoscroll(event);
}

void AudioView::dragSelection(AudioDrawingView& lane, QMouseEvent* event) {
    AudioViewOwner* o = owner();
    if (std::hypot(mousePoint.x() - mouseStart.x(), mousePoint.y() - mouseStart.y()) <= kDragThreshold) {
        drawMovingSelectionPath = false;
        for (const auto& record : audioTracks)
            if (auto* l = record.audioFilter ? qobject_cast<AudioDrawingView*>(record.audioFilter->audioDrawingView) : nullptr)
                l->tempStrokeForDragDrop = false;
        autoscroll(event);
        updateDragPicture();
        update();
        return;
    }
    const auto range = draggedRange(lane, *this);
    if (!range) return;
    const double Lw = lane.frameWidth(), W = frameWidth(), H = height();
    const double w = Lw > 0 ? (range->second / Lw - range->first / Lw) * Lw : 0.0;
    double f = W > 0 ? std::max((mousePoint.x() - w / 2) / W, 0.0) : 0.0;
    // The row under the pointer shows as the drop target; none below the last.
    const quint64 n = audioTracks.size();
    const double k = mousePoint.y() < 0 ? 0.0 : std::floor(mousePoint.y() / H * double(n));
    for (quint64 i = 0; i < n; ++i)
        if (auto* l = audioTracks[i].audioFilter ? qobject_cast<AudioDrawingView*>(audioTracks[i].audioFilter->audioDrawingView) : nullptr)
            l->tempStrokeForDragDrop = double(i) == k;
    const double D = o ? o->areaCompositionSeconds() : 0.0;
    f = std::min(f, 1.0);
    double t = std::min(f * D, D);
    double px = mousePoint.x();
    if (o && D > 0) snapToMarkers(o->areaMarkerTimes(), D, W, w, t, px);
    mousePoint.setX(px);
    if (o) {
        if (t > o->areaPlayerItemSeconds()) {
            o->areaSetAdditionalLine(true, D > 0 ? t / D : 0.0);
        } else {
            o->areaSetAdditionalLine(false, 0.0);
            o->areaUpdateCurrentTime(t);
        }
    }
    drawMovingSelectionPath = true;
    autoscroll(event);
    updateDragPicture();
    update();
}

void AudioView::laneMouseUp(AudioDrawingView& lane, QMouseEvent* event) {
    const bool wasDragged = std::exchange(isMouseDragged, false);
    isMouseDown = false;
    if (!wasDragged) return;  // a click moves nothing and registers no undo
    mousePoint = mapFromGlobal(event->globalPosition());
    if (mouseDownIsPressingCTRL) {
        dropSelection(lane, event);
        return;
    }
    MusicFilter* t = lane.track();
    AudioViewOwner* o = owner();
    if (!t) return;
    const int32_t ts = timeScaleOf(*t);
    const double old = t->animationStart().seconds();
    moveTrackTo(lane, startXOrigin + (mousePoint.x() - mouseStart.x()));

    const double zoom = o ? o->areaZoomValue() : 1.0;
    if (UndoManager* undo = undoManager()) {
        const quint64 index = audioController ? audioController->currentSelectedAudio.load() : kNoIndex;
        std::weak_ptr<MusicFilter> identity;
        if (index < audioTracks.size() && audioTracks[index].audioFilter.get() == t)
            identity = audioTracks[index].audioFilter;
        else
            for (const auto& record : audioTracks)
                if (record.audioFilter.get() == t) identity = record.audioFilter;
        const TrackMoveUndoRecord record{pressFrameOrigin, zoom, identity};
        QPointer<AudioView> self(this);
        undo->registerUndo(this, [self, record] {
            if (self) self->undoFrameOrigin(record);
        });
    }
    const double W = frameWidth(), D = o ? o->areaCompositionSeconds() : 0.0;
    const auto [px, pw] = regionSpan(lane);
    const double fs = W > 0 ? (lane.frameX() + px) / W : 0.0;
    const double fe = W > 0 ? (lane.frameX() + px + pw) / W : 0.0;
    const MediaTime start = MediaTime::fromSeconds(std::max(fs * D, 0.0), ts);
    t->setAnimationStart(start);
    t->setAnimationEnd(MediaTime::fromSeconds(std::min(fe * D, D), ts));
    if (o) {
        o->areaSetSeekTime(start.seconds());
        o->areaSetLinePercent(std::max(fs, 0.0));
        o->areaKeepTrackSettings(*t);
    }
    NotificationCenter::defaultCenter().post(QStringLiteral("updatePlayerWithoutUpdate"), t);
    if (o) {
        o->areaUpdateAudioTimeLabel(*t);
        o->areaUpdateRecordedTimes(*t, t->animationStart().seconds() - old);
    }
}

void AudioView::dropSelection(AudioDrawingView& lane, QMouseEvent* event) {
    AudioViewOwner* o = owner();
    const bool wasShown = std::exchange(drawMovingSelectionPath, false);
    mouseDownIsPressingCTRL = false;
    if (o) o->areaSetAdditionalLine(false, 0.0);
    for (const auto& record : audioTracks)
        if (auto* l = record.audioFilter ? qobject_cast<AudioDrawingView*>(record.audioFilter->audioDrawingView) : nullptr)
            l->tempStrokeForDragDrop = false;
    updateDragPicture();
    update();
    if (!wasShown) return;  // the pointer never left the threshold

    const quint64 n = audioTracks.size();
    const double H = height(), W = frameWidth();
    quint64 k = 0;
    if (mousePoint.y() < 0)
        k = 0;
    else if (mousePoint.y() > H)
        k = n > 0 ? n - 1 : 0;
    else
        k = quint64(std::floor(mousePoint.y() / H * double(n)));
    if (k >= n) return;
    const auto range = draggedRange(lane, *this);
    if (!range) return;
    const double Lw = lane.frameWidth();
    const double w = Lw > 0 ? (range->second / Lw - range->first / Lw) * Lw : 0.0;
    auto fraction = [&] { return W > 0 ? std::clamp((mousePoint.x() - w / 2) / W, 0.0, 1.0) : 0.0; };
    const double D = o ? o->areaCompositionSeconds() : 0.0;
    double f = fraction();
    double t = std::min(f * D, D);
    if (o && D > 0) {
        const std::vector<double> markers = o->areaMarkerTimes();
        if (!markers.empty()) {
            double px = mousePoint.x();
            snapToMarkers(markers, D, W, w, t, px);
            mousePoint.setX(px);
            f = fraction();
        }
    }
    if (o) o->areaUpdateCurrentTime(t);
    // Ctrl let go before the button: the player stays at the drop time and
    // nothing is dropped.
    if (!(event->modifiers() & Qt::ControlModifier)) return;

    DragDropSelectionRecord drop;
    drop.targetIndex = k;
    drop.dropFraction = f;
    for (const auto& record : audioTracks)
        if (record.audioFilter.get() == lane.track()) drop.source = record.audioFilter;
    drop.isPaste = drawForSelectionPaste && indexOfSelectionPaste < quint64(lane.selectionPastes.size());
    drop.indexOfSelectionPaste = indexOfSelectionPaste;
    drop.option = event->modifiers() & Qt::AltModifier;
    if (o) o->areaSetDragDropSelectionInfo(drop);
}

void AudioView::undoFrameOrigin(const TrackMoveUndoRecord& record) {
    const std::shared_ptr<MusicFilter> t = record.track.lock();
    if (!t) return;
    auto* lane = qobject_cast<AudioDrawingView*>(t->audioDrawingView.data());
    bool inList = false;
    for (const auto& r : audioTracks) inList = inList || r.audioFilter == t;
    if (!lane || !inList) return;
    AudioViewOwner* o = owner();
    const QPointF current(lane->frameX(), lane->y());
    const double zoom = o ? o->areaZoomValue() : 1.0;
    const double z = record.undoFrameWidth > 0 ? record.undoFrameWidth : zoom;
    // The lane keeps its row: tracks above it may have come or gone since.
    lane->setFrameX(record.undoFrameOrigin.x() * zoom / z);
    if (UndoManager* undo = undoManager()) {
        const TrackMoveUndoRecord inverse{current, zoom, record.track};
        QPointer<AudioView> self(this);
        undo->registerUndo(this, [self, inverse] {
            if (self) self->undoFrameOrigin(inverse);
        });
    }
    const int32_t ts = timeScaleOf(*t);
    const double old = t->animationStart().seconds();
    const double W = frameWidth(), D = o ? o->areaCompositionSeconds() : 0.0;
    const auto [px, pw] = regionSpan(*lane);
    const double fs = W > 0 ? (lane->frameX() + px) / W : 0.0;
    const double fe = W > 0 ? (lane->frameX() + px + pw) / W : 0.0;
    const MediaTime start = MediaTime::fromSeconds(std::max(fs * D, 0.0), ts);
    t->setAnimationStart(start);
    t->setAnimationEnd(MediaTime::fromSeconds(std::min(fe * D, D), ts));
    if (o) o->areaSetSeekTime(start.seconds());
    NotificationCenter::defaultCenter().post(QStringLiteral("updatePlayerWithoutUpdate"), t.get());
    if (o) o->areaUpdateRecordedTimes(*t, start.seconds() - old);
}

void AudioView::autoscroll(QMouseEvent* event) {
    if (AudioViewOwner* o = owner()) o->areaAutoscroll(event->globalPosition().toPoint());
}

void AudioView::drawDragPicture(QPainter& painter) {
    AudioDrawingView* lane = gestureLane;
    if (!drawMovingSelectionPath || !lane) return;
    const MusicFilter* t = lane->track();
    const auto range = draggedRange(*lane, *this);
    if (!t || !range) return;
    const double Lw = lane->frameWidth(), W = frameWidth(), H = height();
    if (Lw <= 0) return;
    const double s = range->first / Lw, e = range->second / Lw, w = (e - s) * Lw;
    const double mx = mousePoint.x(), my = mousePoint.y();
    // 180 points high, centred on the pointer, as wide as the range, cut at
    // the area's edges.
    double y = my - 90, h = std::min(H - (my - 90), 180.0);
    if (y < 0) {
        h += y;
        y = 0;
    }
    double x = mx - w / 2, r = std::min(w, W - (mx - w / 2));
    if (x < 0) {
        r += x;
        x = 0;
    }
    if (r <= 0 || h <= 0) return;
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, r, h), 8, 8);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    // The picture replaces what lies under it: no lane shows through.
    painter.fillPath(path, palette::backgroundGrey());
    // The waveform's columns of the range, tinted in the track's colour.
    if (t->indexOfUpdatedBitmap < uint64_t(t->filterBitmaps.size())) {
        const QImage& bitmap = t->filterBitmaps[qsizetype(t->indexOfUpdatedBitmap)];
        QImage picture(int(std::ceil(r)), int(std::ceil(h)), QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        {
            QPainter p(&picture);
            const double sx = bitmap.width() / double(WaveformWidth), sy = bitmap.height() / double(WaveformHeight);
            p.drawImage(QRectF(0, 0, r, h),
                        bitmap, QRectF(s * WaveformWidth * sx, 0, (e - s) * WaveformWidth * sx, WaveformHeight * sy));
            p.setCompositionMode(QPainter::CompositionMode_SourceIn);
            p.fillRect(picture.rect(), t->trackColor());
        }
        painter.setClipPath(path);
        painter.drawImage(QPointF(x, y), picture);
        painter.setClipping(false);
    }
    QPen pen(QColor::fromRgbF(0, 0.32f, 0.48f, 1.0f), 1.0);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.drawPath(path);
    painter.restore();
}
