#include "views/LineView.h"

#include "platform/core/TimeText.h"
#include "platform/media/Asset.h"
#include "views/AudioDrawingView.h"
#include "views/Fonts.h"
#include "views/FloatSlider.h"
#include "views/Palette.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QTimer>
#include <QWheelEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

double clampValue(double v, double lo, double hi) {
    if (std::isnan(v)) return lo;
    return std::min(std::max(v, lo), hi);
}

QSizeF textSize(const QFont& font, const QString& text) {
    return QFontMetricsF(font).size(Qt::TextSingleLine, text);
}

QColor withAlpha(QColor c, double alpha) {
    c.setAlphaF(float(std::clamp(alpha, 0.0, 1.0)));
    return c;
}

QPen roundPen(const QColor& color, double width) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

}  // namespace

LineView::LineView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    labelFont_ = systemFont(12);
    markerFont_ = systemFont(11);
    setFocusPolicy(Qt::StrongFocus);  // takes the arrow keys once clicked or tabbed to
    setAcceptDrops(true);
    setAttribute(Qt::WA_AcceptTouchEvents);
    performAfterDelay = [this](int delayMs, std::function<void()> fn) {
        QTimer::singleShot(delayMs, this, std::move(fn));
    };
}

QString LineView::stringForTime(double seconds) { return timeTextWithHundredths(seconds); }

// The layer's y axis points up (y = 0 is the bottom edge); the positions
// below are worked out that way and mapped to the widget's y when drawn.
bool LineView::drawStandardLabel(QPainter& painter, double x, double W, double H, double vw,
                                 const QString& text, const QColor& textColor,
                                 const QColor& boxColor) {
    QSizeF size = textSize(labelFont_, text);
    double w = size.width(), h = size.height();
    QRectF box(x - w / 2 - 7.5, H / 2 - h / 2 - 2.5, w + 15, h + 5);  // symmetric about the middle
    if (box.left() < 0 || box.right() > std::min(vw, W)) return false;
    double alpha = lineAlpha.load();
    QPainterPath path;
    path.addRoundedRect(box, 8, 8);
    painter.fillPath(path, withAlpha(boxColor, alpha));
    painter.setFont(labelFont_);
    painter.setPen(withAlpha(textColor, alpha));
    painter.drawText(QRectF(x - w / 2, H / 2 - h / 2, w, h), Qt::AlignCenter, text);
    painter.strokePath(path, roundPen(withAlpha(Qt::black, alpha), 1));
    return true;
}

void LineView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    auto* owner = audioController;
    const double timeline = owner ? owner->rulerTimelineWidth() : -1.0;
    const double W = timeline >= 0 ? timeline : width(), H = height();
    const double D = owner ? owner->rulerCompositionSeconds() : 0.0;
    QRect visible = owner ? owner->rulerVisibleRect() : QRect(0, 0, width(), height());
    const double s = visible.x(), vw = visible.width();

    drawMarkers(painter, W, H, s, vw, D);

    // Positions follow the player only while its item is ready.
    if (owner && owner->rulerPlayerItemIsReady()) {
        currentLinePercent = linePercent;
        globalCurrentLinePercent = globalLinePercent;
        if (owner->rulerIsPlaying()) {
            currentTime = clampValue(D * currentLinePercent, 0, D);
            globalCurrentTime = clampValue(D * globalCurrentLinePercent, 0, D);
        } else {
            currentTime = owner->rulerPositionSliderSeconds();
            globalCurrentTime = owner->rulerPlayerCurrentSeconds();
        }
    }
    const double c = currentLinePercent, g = globalCurrentLinePercent;
    const double alpha = lineAlpha.load();
    const int tracks = owner ? owner->rulerTrackCount() : 0;
    const bool playing = owner && owner->rulerIsPlaying();

    // The end of the composition: a dashed orange line.
    {
        QPen pen = roundPen(palette::orange(), 2.0);
        pen.setDashPattern({2.0, 4.0});  // 4 points on, 8 off, in units of the pen width
        painter.setPen(pen);
        painter.drawLine(QPointF(W - s, 0), QPointF(W - s, H));
    }

    // The composition's length, at the top and at the bottom, left of the end line.
    {
        QString text = stringForTime(D);
        QSizeF size = textSize(labelFont_, text);
        double w = size.width(), h = size.height();
        // Left of the end line; right of it when the composition's visible
        // part is too short to hold the badge whole.
        const double left = W - s - w - 19.5 >= 0 ? W - s - w - 19.5 : W - s + 4.5;
        QRectF topBox(left, 4.5, w + 15, h + 5);
        QRectF topText(left + 7.5, 7, w, h);
        QRectF bottomBox(left, H - h - 11, w + 15, h + 5);
        QRectF bottomText(left + 7.5, H - 8.5 - h, w, h);
        QPainterPath top, bottom;
        top.addRoundedRect(topBox, 8, 8);
        bottom.addRoundedRect(bottomBox, 8, 8);
        painter.fillPath(top, withAlpha(palette::orange(), alpha));
        painter.fillPath(bottom, withAlpha(palette::orange(), alpha));
        painter.setFont(labelFont_);
        painter.setPen(withAlpha(Qt::black, alpha));
        painter.drawText(topText, Qt::AlignCenter, text);
        painter.drawText(bottomText, Qt::AlignCenter, text);
        painter.strokePath(top, roundPen(withAlpha(Qt::black, alpha), 1));
        painter.strokePath(bottom, roundPen(withAlpha(Qt::black, alpha), 1));
    }

    const double lineWidth = 2.0 / pixelScaling();

    // The playback position, where it differs from the playhead.
    if (g != c) {
        double xg = clampValue(g, 0, 1) * W - s;
        painter.setPen(roundPen(palette::orange(), lineWidth));
        painter.drawLine(QPointF(xg, 0), QPointF(xg, H));
        if (tracks > 0 && !playing)
            drawStandardLabel(painter, xg, W, H, vw, stringForTime(globalCurrentTime), Qt::black,
                              palette::orange());
    }

    // The playhead: a blue line with an orange knob on its top end.
    double xc = clampValue(c, 0, 1) * W - s;
    painter.setPen(roundPen(palette::blue(), lineWidth));
    painter.drawLine(QPointF(xc, 0), QPointF(xc, H));
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette::orange());
    painter.drawEllipse(QRectF(xc - 5, -5, 10, 10));
    painter.setBrush(Qt::NoBrush);

    if (tracks == 0) return;
    if (!drawStandardLabel(painter, xc, W, H, vw, stringForTime(currentTime), Qt::white,
                           palette::blue()))
        return;

    // The third line, while a track is dragged along the timeline.
    if (drawAdditionalLinePercent) {
        double a = additionalLinePercent;
        double xa = clampValue(a, 0, 1) * W - s;
        painter.setPen(roundPen(palette::blue(), lineWidth));
        painter.drawLine(QPointF(xa, 0), QPointF(xa, H));
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette::orange());
        painter.drawEllipse(QRectF(xa - 5, -5, 10, 10));
        painter.setBrush(Qt::NoBrush);
        drawStandardLabel(painter, xa, W, H, vw, stringForTime(a * D), Qt::white,
                          palette::blue());
    }
}

void LineView::drawMarkers(QPainter& painter, double W, double H, double s, double vw, double D) {
    if (!audioController || !(D > 0)) return;
    const auto& markers = audioController->rulerMarkers();
    if (markers.empty()) return;
    const double alpha = lineAlpha.load();
    double guard = 0.0;  // labels must start right of this
    for (const auto& marker : markers) {
        double t = marker.markerTime;
        if (t >= D || clampValue(t / D, 0, 1) * W > s + vw) continue;
        QString text = marker.markerName.isEmpty()
                           ? stringForTime(t)
                           : QStringLiteral("%1 - %2").arg(marker.markerName, stringForTime(t));
        double x = (t / D) * W - s;
        painter.setPen(QPen(Qt::white, 1));
        painter.drawLine(QPointF(x, 0), QPointF(x, H));

        auto boxFor = [&](const QString& label) {
            QSizeF size = textSize(markerFont_, label);
            return std::pair{QRectF(x - size.width() / 2 - 7.5, H / 2 - size.height() / 2 - 2.5,
                                    size.width() + 15, size.height() + 5),
                             size};
        };
        auto draw = [&](const QRectF& box, QSizeF size, const QString& label) {
            QPainterPath path;
            path.addRoundedRect(box, 6, 6);
            painter.fillPath(path, withAlpha(palette::markerGrey(), alpha));
            painter.strokePath(path, roundPen(withAlpha(Qt::black, alpha), 1));
            painter.setFont(markerFont_);
            painter.setPen(withAlpha(Qt::white, alpha));
            painter.drawText(QRectF(x - size.width() / 2, H / 2 - size.height() / 2, size.width(),
                                    size.height()),
                             Qt::AlignCenter, label);
            guard = x + (size.width() + 7.5) / 2 + 5.5;
        };
        auto [box, size] = boxFor(text);
        if (box.left() < 0 || box.right() > std::min(vw, W)) {
            guard = x + 5.5;
            continue;
        }
        if (box.left() >= guard) {
            draw(box, size, text);
            continue;
        }
        // Would overlap the previous label: try the time alone.
        QString shortText = stringForTime(t);
        auto [shortBox, shortSize] = boxFor(shortText);
        if (shortBox.left() >= guard)
            draw(shortBox, shortSize, shortText);
        else
            guard = x + 5.5;
    }
}

// ---------------------------------------------------------------------------
// Presses, drags and releases

double LineView::compositionSeconds() const {
    return audioController ? audioController->rulerCompositionSeconds() : 0.0;
}

double LineView::pointerTime(const QPointF& position) const {
    const double D = compositionSeconds();
    const double timeline = audioController ? audioController->rulerTimelineWidth() : -1.0;
    const double W = timeline >= 0 ? timeline : width();
    const double s = audioController ? audioController->rulerVisibleRect().x() : 0.0;
    if (!(W > 0)) return 0.0;
    return clampValue(D * (position.x() + s) / W, 0, D);
}

void LineView::forwardToLane(QMouseEvent* event) {
    AudioDrawingView* lane = mouseDrawingView_;
    const QPointF local = lane->mapFromGlobal(event->globalPosition());
    QMouseEvent forwarded(event->type(), local, local, event->globalPosition(), event->button(),
                          event->buttons(), event->modifiers(), event->pointingDevice());
    QCoreApplication::sendEvent(lane, &forwarded);
}

void LineView::mousePressEvent(QMouseEvent* event) {
    canMoveLine = false;
    canSeekTime = false;
    mouseDrawingView_ = nullptr;
    auto* owner = audioController;
    if (event->button() != Qt::LeftButton || !owner || !owner->rulerPlayerItemIsReady()) {
        event->ignore();
        return;
    }
    // Lanes first: the first whose trimmed region holds the pointer takes the gesture.
    for (int i = 0; i < owner->rulerTrackCount(); ++i) {
        AudioDrawingView* lane = owner->rulerLaneAt(i);
        if (!lane || lane->drawingBezierPath.isEmpty()) continue;
        if (lane->drawingBezierPath.contains(lane->framePoint(lane->mapFromGlobal(event->globalPosition())))) {
            mouseDrawingView_ = lane;
            forwardToLane(event);
            event->accept();
            return;
        }
    }
    // Then the playhead, as the last drawing placed it.
    const double timeline = owner->rulerTimelineWidth();
    const double W = timeline >= 0 ? timeline : width();
    const double s = owner->rulerVisibleRect().x();
    const double xc = clampValue(currentLinePercent, 0, 1) * W - s;
    if (!(std::abs(event->position().x() - xc) < 5.0)) {
        event->ignore();
        return;
    }
    canMoveLine = true;
    currentTime = pointerTime(event->position());
    grabPlayheadAtCurrentTime();
    owner->rulerAutoscroll(event->globalPosition().toPoint());
    event->accept();
}

void LineView::grabPlayheadAtCurrentTime() {
    auto* owner = audioController;
    const double D = compositionSeconds();
    owner->rulerSetContinueTimeObserver(false);
    linePercent = globalLinePercent = D > 0 ? currentTime / D : 0.0;
    owner->rulerShowPosition(currentTime);
    update();
    emit seekStarted(currentTime);
    QPointer<LineView> self(this);
    owner->rulerSeek(currentTime, [self](bool finished) {
        if (!self) return;
        emit self->seekFinished(finished);
        if (!finished) return;  // the gate stays shut until the next press
        if (self->audioController) self->audioController->rulerVerifyRecordedInputValues(self->currentTime);
        self->canSeekTime = true;
    });
}

void LineView::dragPlayheadToCurrentTime() {
    auto* owner = audioController;
    const double D = compositionSeconds();
    linePercent = globalLinePercent = D > 0 ? currentTime / D : 0.0;
    owner->rulerShowPosition(currentTime);
    update();
    // While paused the controls follow the curves at every step, without
    // waiting for a seek.
    if (!owner->rulerIsPlaying()) owner->rulerVerifyRecordedInputValues(currentTime);
    if (!canSeekTime) return;
    canSeekTime = false;
    emit seekStarted(currentTime);
    QPointer<LineView> self(this);
    owner->rulerSeek(currentTime, [self](bool finished) {
        if (!self) return;
        emit self->seekFinished(finished);
        if (!finished) return;
        self->performAfterDelay(SeekGateDelayMs, [self] {
            if (self) self->updateCanSeekTime();
        });
    });
}

void LineView::updateCanSeekTime() { canSeekTime = true; }

AudioDrawingView* LineView::mouseDrawingView() const { return mouseDrawingView_; }

void LineView::mouseMoveEvent(QMouseEvent* event) {
    if (mouseDrawingView_) {
        forwardToLane(event);
        event->accept();
        return;
    }
    if (!canMoveLine || !audioController) {
        event->ignore();
        return;
    }
    currentTime = pointerTime(event->position());
    dragPlayheadToCurrentTime();
    audioController->rulerAutoscroll(event->globalPosition().toPoint());
    event->accept();
}

void LineView::mouseReleaseEvent(QMouseEvent* event) {
    if (mouseDrawingView_) {
        forwardToLane(event);
        mouseDrawingView_ = nullptr;
        event->accept();
        return;
    }
    if (!canMoveLine || !audioController) {
        event->ignore();
        canMoveLine = false;
        return;
    }
    // The owner's seek puts the percents, slider and labels where the player lands.
    currentTime = pointerTime(event->position());
    audioController->rulerUpdateCurrentTime(currentTime);
    audioController->rulerAutoscroll(event->globalPosition().toPoint());
    canMoveLine = false;
    event->accept();
}

void LineView::wheelEvent(QWheelEvent* event) {
    // The layer lies over the scrolled track area but outside its scroll
    // view: the wheel scrolls that view as if the layer were not there.
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        auto* area = qobject_cast<QAbstractScrollArea*>(w);
        if (!area) continue;
        QWidget* viewport = area->viewport();
        QWheelEvent forwarded(viewport->mapFromGlobal(event->globalPosition()), event->globalPosition(),
                              event->pixelDelta(), event->angleDelta(), event->buttons(),
                              event->modifiers(), event->phase(), event->inverted(), event->source());
        QCoreApplication::sendEvent(viewport, &forwarded);
        event->setAccepted(forwarded.isAccepted());
        return;
    }
    event->ignore();
}

// ---------------------------------------------------------------------------
// The same drag driven by a time

void LineView::lineUpdateDownFromAbsoluteTime(double seconds) {
    if (!audioController) return;
    canSeekTime = false;
    mouseDrawingView_ = nullptr;
    canMoveLine = true;
    currentTime = clampValue(seconds, 0, compositionSeconds());
    grabPlayheadAtCurrentTime();
}

void LineView::lineUpdateDraggedFromAbsoluteTime(double seconds) {
    if (!canMoveLine || !audioController) return;
    currentTime = clampValue(seconds, 0, compositionSeconds());
    dragPlayheadToCurrentTime();
}

void LineView::lineUpdateUpFromAbsoluteTime(double seconds) {
    if (canMoveLine && audioController) {
        currentTime = clampValue(seconds, 0, compositionSeconds());
        audioController->rulerUpdateCurrentTime(currentTime);
    }
    canMoveLine = false;
}

// ---------------------------------------------------------------------------
// Pinch, keys and drops

bool LineView::event(QEvent* event) {
    if (event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        switch (gesture->gestureType()) {
        case Qt::BeginNativeGesture:
        case Qt::ZoomNativeGesture:
        case Qt::EndNativeGesture:
            magnify(gesture->gestureType(), gesture->value());
            event->accept();
            return true;
        default:
            break;
        }
    }
    return QWidget::event(event);
}

void LineView::magnify(Qt::NativeGestureType type, double magnification) {
    auto* owner = audioController;
    FloatSlider* slider = owner ? owner->rulerZoomSlider() : nullptr;
    if (!slider) return;
    // Qt's begin and end carry no magnification of their own.
    if (type != Qt::ZoomNativeGesture) magnification = 0.0;
    double z = owner->rulerZoomValue() + magnification;
    if (z > slider->maxValue())
        z = slider->maxValue();
    else if (z < slider->minValue())
        z = slider->minValue();
    slider->setFloatValue(float(z));
    if (type == Qt::BeginNativeGesture) magnifyEventStartingZoom = owner->rulerZoomValue();
    owner->rulerUpdateZoomValue(type == Qt::EndNativeGesture);
}

void LineView::keyPressEvent(QKeyEvent* event) {
    auto* owner = audioController;
    const int count = owner ? owner->rulerTrackCount() : 0;
    if (count == 0 || owner->rulerIsBusy()) {
        QWidget::keyPressEvent(event);
        return;
    }
    const quint64 selected = owner->rulerSelectedTrack();
    qint64 index = -1;
    // Without a selected track neither arrow has a neighbour to go to.
    const bool hasSelection = selected < quint64(count);
    if (event->key() == Qt::Key_Up && hasSelection)
        index = qint64(selected) - 1;
    else if (event->key() == Qt::Key_Down && hasSelection)
        index = qint64(selected) + 1;
    else {
        QWidget::keyPressEvent(event);
        return;
    }
    if (index < 0 || index >= count) {  // no wrap-around
        QWidget::keyPressEvent(event);
        return;
    }
    owner->rulerSelectTrack(quint64(index));
    event->accept();
}

void LineView::dragEnterEvent(QDragEnterEvent* event) {
    dragOperation_ = event->mimeData() && event->mimeData()->hasUrls() ? 1 : 0;
    if (dragOperation_) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void LineView::dragMoveEvent(QDragMoveEvent* event) {
    if (dragOperation_) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void LineView::dropEvent(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    auto* owner = audioController;
    QUrl url;
    if (data && data->hasUrls())
        for (const QUrl& u : data->urls())
            if (u.isLocalFile()) {
                url = u;  // only the first file counts
                break;
            }
    if (!owner || url.isEmpty()) {
        event->ignore();
        return;
    }
    const QString path = url.toLocalFile();
    const QFileInfo info(path);
    // The owner adds the file once the drop has returned.
    if (info.isFile() && Asset::audiovisualExtensions().contains(info.suffix().toLower())) {
        QTimer::singleShot(0, this, [this, url] {
            if (audioController) audioController->rulerAddAudioFile(url);
        });
    } else if (info.suffix().compare(QLatin1String("trvproj"), Qt::CaseInsensitive) == 0) {
        QTimer::singleShot(0, this, [this, url] {
            if (audioController) audioController->rulerLoadProject(url);
        });
    } else {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
