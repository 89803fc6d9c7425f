#pragma once

#include <QPointer>
#include <QSize>
#include <QWidget>

#include <functional>

class QCheckBox;
class QCloseEvent;

// The floating tool window that shows one unit view at a time. The panel
// owns its content view: setting another one deletes the one before (later,
// so that a view may replace itself from one of its own signals). Main
// thread only.
class AudioUnitPanel : public QWidget {
    Q_OBJECT
public:
    explicit AudioUnitPanel(QWidget* parent = nullptr);

    QWidget* contentView() const { return content_; }
    // `view` becomes the content, sized to `contentSize`; null empties the panel.
    void setContentView(QWidget* view);
    QSize contentSize() const { return contentSize_; }
    void setContentSize(const QSize& size);
    QSize minimumContentSize() const { return minimumSize(); }
    void setMinimumContentSize(const QSize& size) { setMinimumSize(size); }

    // Called when the panel is about to close, before it hides.
    std::function<void()> windowWillClose;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPointer<QWidget> content_;
    QSize contentSize_;
};

// The popover that switches a track's built-in units on and off and holds
// the row of its plug-in controls (check box and pop-up).
class AudioUnitsPopover : public QWidget {
    Q_OBJECT
public:
    explicit AudioUnitsPopover(QWidget* parent = nullptr);
    // The eleven switches, in the order of their unit types (0 to 6, 10 to 13).
    QCheckBox *nBandEQCheck, *graphicEQCheck, *auFilterCheck, *dynamicProcessorCheck,
        *multibandCompressorCheck, *distortionCheck, *delayCheck, *peakLimiterCheck,
        *pitchFilterCheck, *matrixRFilterCheck, *audioFilter0Check;
    QCheckBox* switchForType(int type) const;
    static const int kSwitchTypes[11];
    // The view the plug-in row is placed in.
    QWidget* audioUnitsView = nullptr;
    // Shown below `anchor`, at `contentSize`.
    void showRelativeTo(QWidget* anchor, const QSize& contentSize);
    // The switch of a type was clicked: (type, on).
    std::function<void(int, bool)> switchClicked;
};
