#pragma once

#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QScrollArea>
#include <QWidget>

// A plain view whose origin is its top-left corner (as every widget's is).
// Moves a popup window below `anchor`, centred on it (above it when the
// screen ends first, and kept on the screen), and shows it.
void showPopoverBelow(QWidget* popover, QWidget* anchor);

class BackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit BackgroundView(QWidget* parent = nullptr) : QWidget(parent) {}
    bool isFlipped() const { return true; }
};

// The track area's scroll view: paints the corner between its two scroll
// bars in the panel grey when both are shown.
class AudioScrollView : public QScrollArea {
    Q_OBJECT
public:
    explicit AudioScrollView(QWidget* parent = nullptr);
    // The rectangle the corner fill covers, or an empty one when a scroll bar is hidden.
    QRect cornerRect() const;

protected:
    void paintEvent(QPaintEvent*) override;
};

// A one-line label that keeps its whole text (text(), the tool tip) and
// shows it cut at its tail, with an ellipsis, when it is wider than the
// label: a track's name reads the same however it was set.
class TailTruncatingLabel : public QLabel {
    Q_OBJECT
public:
    explicit TailTruncatingLabel(QWidget* parent = nullptr) : QLabel(parent) {}
    // The text as it is drawn at the label's present width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent*) override;
};

// The view the composition window shows video in: the current frame fitted
// into its bounds with its shape kept, centred on the window's dark grey, with a black shadow
// of radius 3 around the picture while a player layer is set.
class PlayerView : public QWidget {
    Q_OBJECT
public:
    explicit PlayerView(QWidget* parent = nullptr);
    void setFrame(const QImage& frame);
    const QImage& frame() const { return frame_; }
    // Whether a player layer is installed (with its shadow); off, nothing is drawn.
    void setLayerInstalled(bool installed);
    bool layerInstalled() const { return layerInstalled_; }
    // Where the frame is drawn: aspect-fit in the bounds.
    QRect frameRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage frame_;
    bool layerInstalled_ = false;
};

// A window for sheets and progress that becomes key and main even without a
// title bar.
class SheetWindow : public QDialog {
    Q_OBJECT
public:
    explicit SheetWindow(QWidget* parent = nullptr);
    bool canBecomeKeyWindow() const { return true; }
    bool canBecomeMainWindow() const { return true; }
};

// An image in a rounded frame with a blue border.
class CustomImageView : public QWidget {
    Q_OBJECT
public:
    explicit CustomImageView(QWidget* parent = nullptr) : QWidget(parent) {}
    void setImage(const QImage& image) {
        image_ = image;
        update();
    }
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage image_;
};
