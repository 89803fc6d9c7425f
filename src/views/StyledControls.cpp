#include "views/StyledControls.h"

#include "views/Palette.h"

#include <QLineEdit>
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
