#include "views/StyledControls.h"

#include "views/Palette.h"

#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTransform>

#include <algorithm>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

PlayPauseButton::PlayPauseButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setFixedSize(40, 40);
}

PlayPauseButton::Symbol PlayPauseButton::symbol() const {
    if (isPause) return Symbol::PlayTriangle;
    if (isPlay) return Symbol::PauseBars;
    if (isFastForward) return Symbol::FastForward;
    if (isRewind) return Symbol::Rewind;
    return Symbol::None;
}

namespace {
QPainterPath triangle(QPointF a, QPointF b, QPointF c) {
    QPainterPath p;
    p.moveTo(a);
    p.lineTo(b);
    p.lineTo(c);
    p.lineTo(a);
    p.closeSubpath();
    return p;
}
}  // namespace

void PlayPauseButton::paintEvent(QPaintEvent*) {
    std::vector<QPainterPath> shapes;
    switch (symbol()) {
    case Symbol::None: return;
    case Symbol::PlayTriangle: shapes.push_back(triangle({30, 20}, {10, 10}, {10, 30})); break;
    case Symbol::PauseBars: {
        QPainterPath a, b;
        a.addRect(10, 10, 8, 20);
        b.addRect(22, 10, 8, 20);
        shapes = {a, b};
        break;
    }
    case Symbol::FastForward:
        shapes = {triangle({20, 19.71}, {2, 10}, {2, 30}), triangle({39, 19.71}, {21, 10}, {21, 30})};
        break;
    case Symbol::Rewind:
        shapes = {triangle({2, 19.71}, {20, 10}, {20, 30}), triangle({21, 19.71}, {39, 10}, {39, 30})};
        break;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = isMouseEntered ? palette::symbolGrey() : palette::orange();
    for (const auto& shape : shapes) {
        // A soft black shadow under the fill, then a thin black outline.
        for (int i = 3; i >= 1; --i) {
            painter.fillPath(shape.translated(0.1, 1.1 * i / 2.0), QColor(0, 0, 0, 40));
        }
        painter.fillPath(shape, fill);
        painter.strokePath(shape, QPen(Qt::black, 0.5));
    }
}

void PlayPauseButton::enterEvent(QEnterEvent*) {
    // The hover colour shows only in the active window.
    if (!window()->isActiveWindow()) return;
    isMouseEntered = true;
    update();
}

void PlayPauseButton::leaveEvent(QEvent*) {
    isMouseEntered = false;
    update();
}

ColoredButton::ColoredButton(const QString& title, QWidget* parent) : QAbstractButton(parent) {
    setText(title);
    setToolTip(title);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

QSize ColoredButton::sizeHint() const { return {40, 40}; }

QPainterPath ColoredButton::arrowForState(quint64 state) {
    // Up while the panel is hidden, down while it is shown; sideways
    // arrows are the hidden one turned a quarter either way.
    const QPainterPath up = triangle({20, 10}, {28.66, 25}, {11.34, 25});
    switch (state) {
    case 0: return up;
    case 1: return triangle({20, 30}, {28.66, 15}, {11.34, 15});
    case 2:
    case 3: {
        const QPointF centre = up.boundingRect().center();
        QTransform turn;
        turn.translate(centre.x(), centre.y());
        turn.rotate(state == 2 ? -90 : 90);
        turn.translate(-centre.x(), -centre.y());
        return turn.map(up);
    }
    default: return {};
    }
}

void ColoredButton::paintEvent(QPaintEvent*) {
    const QPainterPath arrow = arrowForState(buttonState_);
    if (arrow.isEmpty()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double scale = std::min(width(), height()) / 40.0;
    painter.translate((width() - 40 * scale) / 2, (height() - 40 * scale) / 2);
    painter.scale(scale, scale);
    // A soft black shadow under the fill, then a thin black outline.
    for (int i = 3; i >= 1; --i) painter.fillPath(arrow.translated(0.1, 1.1 * i / 2.0), QColor(0, 0, 0, 40));
    painter.fillPath(arrow, isMouseEntered ? QColor::fromRgbF(0.333, 0.333, 0.333, 1.0) : palette::orange());
    painter.strokePath(arrow, QPen(Qt::black, 0.5));
}

void ColoredButton::enterEvent(QEnterEvent*) {
    isMouseEntered = true;
    update();
}

void ColoredButton::leaveEvent(QEvent*) {
    isMouseEntered = false;
    update();
}

ColorBackgroundView::ColorBackgroundView(QWidget* parent) : QWidget(parent) {}

void ColorBackgroundView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Copied, not blended: the fill replaces what was there.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), palette::panelDark());
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const double w = width(), h = height();
    auto edge = [&](QPointF a, QPointF b, double lineWidth) {
        painter.setPen(QPen(Qt::black, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawLine(a, b);
    };
    edge({0, h}, {0, 0}, 1.0);
    edge({0, 0}, {w, 0}, 2.0);
    edge({w, 0}, {w, h}, 1.0);
    edge({w, h}, {0, h}, 2.0);
}

void ColorBackgroundView::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (playPauseButton) {
        if (!playPauseButton->hasFocus()) playPauseButton->setFocus(Qt::MouseFocusReason);
        return;
    }
    if (minutesTextField && !minutesTextField->hasFocus())
        minutesTextField->setFocus(Qt::MouseFocusReason);
}

DrawBackgroundView::DrawBackgroundView(QWidget* parent) : QWidget(parent) {}

void DrawBackgroundView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), palette::backgroundGrey());
}

ShadowBackgroundView::ShadowBackgroundView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ShadowBackgroundView::setScrollView(QAbstractScrollArea* scrollView) {
    if (watchedScroller_) watchedScroller_->removeEventFilter(this);
    scrollView_ = scrollView;
    watchedScroller_ = scrollView ? scrollView->verticalScrollBar() : nullptr;
    if (watchedScroller_) watchedScroller_->installEventFilter(this);
    update();
}

QRectF ShadowBackgroundView::frameRect() const {
    double scrollerWidth = 0;
    if (scrollView_) {
        QScrollBar* scroller = scrollView_->verticalScrollBar();
        // The scroll view hides the scroller's container, not the scroller.
        if (scroller && scroller->isVisibleTo(scrollView_)) scrollerWidth = scroller->width();
    }
    return QRectF(0, 0, width() - scrollerWidth, height());
}

void ShadowBackgroundView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(0.11f, 0.11f, 0.11f, 1.0f));
    painter.setPen(QPen(Qt::black, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    // Half a point in, so that the whole line falls inside the view.
    painter.drawRect(frameRect().adjusted(0.5, 0.5, -0.5, -0.5));
}

bool ShadowBackgroundView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedScroller_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide ||
                                        event->type() == QEvent::Resize))
        update();
    return QWidget::eventFilter(watched, event);
}

namespace {

// The knob: a light pill inset from the scroller's long edges.
void drawKnob(QPainter& painter, const QRect& knob, Qt::Orientation orientation) {
    if (knob.isEmpty()) return;
    const QRectF pill = orientation == Qt::Vertical ? QRectF(knob).adjusted(3, 1, -3, -1)
                                                    : QRectF(knob).adjusted(1, 3, -1, -3);
    const double radius = std::min(pill.width(), pill.height()) / 2;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 150));
    painter.drawRoundedRect(pill, radius, radius);
}

}  // namespace

CustomTransparentScroller::CustomTransparentScroller(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

QRect CustomTransparentScroller::knobRect() const {
    if (!isEnabled() || maximum() <= minimum()) return {};
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
}

void CustomTransparentScroller::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawKnob(painter, knobRect(), orientation());
}

CustomScroller::CustomScroller(Qt::Orientation orientation, QWidget* parent)
    : CustomTransparentScroller(orientation, parent) {
    setAttribute(Qt::WA_TranslucentBackground, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CustomScroller::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette::scrollCorner());
    if (!isEnabled()) return;
    painter.setCompositionMode(QPainter::CompositionMode_Overlay);
    drawKnob(painter, knobRect(), orientation());
}

DrawImageView::DrawImageView(QWidget* parent) : QWidget(parent) {}

void DrawImageView::setImage(const QImage& image) {
    image_ = image;
    update();
}

void DrawImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath frame;
    frame.addRoundedRect(QRectF(rect()), 8, 8);
    painter.setClipPath(frame);
    if (!image_.isNull()) {
        // Scaled down to fit, never up, and centred.
        QSizeF size = image_.size();
        if (size.width() > width() || size.height() > height()) size.scale(QSizeF(this->size()), Qt::KeepAspectRatio);
        const QRectF target((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(),
                            size.height());
        painter.drawImage(target, image_);
    }
    painter.strokePath(frame, QPen(palette::blue(), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}
