#pragma once

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QImage>
#include <QPainterPath>
#include <QPointer>
#include <QScrollBar>
#include <QWidget>

class QLineEdit;

// A transport button: draws only its symbol (play triangle, pause bars,
// fast-forward or rewind triangles), orange, grey while the pointer is over
// it in the active window. The flags only store; whoever sets one calls
// update().
class PlayPauseButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PlayPauseButton(QWidget* parent = nullptr);

    bool isMouseEntered = false;
    bool isPlay = false;         // playing: shows the pause bars
    bool isPause = false;        // stopped: shows the play triangle
    bool isFastForward = false;  // a fast-forward button
    bool isRewind = false;       // a rewind button

    enum class Symbol { None, PlayTriangle, PauseBars, FastForward, Rewind };
    Symbol symbol() const;

    QSize sizeHint() const override { return {40, 40}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
};

// A panel toggle drawn as a triangular arrow (in a 40 by 40 box, scaled to
// the button): pointing up while its panel is hidden (`buttonState` 0), down
// while shown (1), left (2) or right (3); any other state draws nothing. The
// fill is amber, grey while the pointer is over the button. The title is the
// button's tool tip. Whoever sets the state calls update().
class ColoredButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit ColoredButton(const QString& title, QWidget* parent = nullptr);
    quint64 buttonState() const { return buttonState_; }
    void setButtonState(quint64 state) { buttonState_ = state; }
    bool isMouseEntered = false;
    QSize sizeHint() const override;
    // The arrow of a state in the 40 by 40 box, y downwards; empty for none.
    static QPainterPath arrowForState(quint64 state);

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    quint64 buttonState_ = 0;
};

// A translucent dark panel with a thin border; a click on its empty area
// gives the focus to its button, or else to its text field.
class ColorBackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit ColorBackgroundView(QWidget* parent = nullptr);
    QPointer<PlayPauseButton> playPauseButton;
    QPointer<QLineEdit> minutesTextField;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
};

// An opaque dark grey background.
class DrawBackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit DrawBackgroundView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

// A plain container whose children stack from the top (widgets are already
// top-down here); the generated controls of an effect unit go in it.
class CustomAudioUnitView : public QWidget {
    Q_OBJECT
public:
    explicit CustomAudioUnitView(QWidget* parent = nullptr) : QWidget(parent) {}
    bool isFlipped() const { return true; }
};

// A dark background (white 0.11) framed in black, placed beside a scroll
// view: the frame stops short of the scroll view's vertical scroller so
// that it lines up with the scroll view's content. Without a scroll view,
// or while its vertical scroller is hidden, the frame goes round the whole
// view. Opaque.
class ShadowBackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit ShadowBackgroundView(QWidget* parent = nullptr);
    QAbstractScrollArea* scrollView() const { return scrollView_; }
    // Watches the scroller so that the frame follows it when it shows,
    // hides or changes width.
    void setScrollView(QAbstractScrollArea* scrollView);
    // The rectangle the black frame strokes.
    QRectF frameRect() const;

protected:
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QAbstractScrollArea> scrollView_;
    QPointer<QScrollBar> watchedScroller_;
};

// Scrollers that draw their own knob: the transparent one draws nothing
// else, so the panel behind it shows through its slot; the other fills its
// slot in dark grey (0.19) and blends the knob over it in the overlay mode.
// A disabled scroller shows no knob.
class CustomTransparentScroller : public QScrollBar {
    Q_OBJECT
public:
    explicit CustomTransparentScroller(Qt::Orientation orientation, QWidget* parent = nullptr);
    // Where the knob is drawn, in the scroller's coordinates; empty when
    // the scroller is disabled or has nothing to scroll.
    QRect knobRect() const;

protected:
    void paintEvent(QPaintEvent*) override;
};

class CustomScroller : public CustomTransparentScroller {
    Q_OBJECT
public:
    explicit CustomScroller(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

// An image in a rectangle with rounded corners (radius 8) and a blue
// border; the image is scaled down to fit, keeping its proportions, and
// centred. The border's 2-point stroke is clipped with the image, so its
// inner point shows.
class DrawImageView : public QWidget {
    Q_OBJECT
public:
    explicit DrawImageView(QWidget* parent = nullptr);
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage image_;
};
