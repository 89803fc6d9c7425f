// The unit panel and the popover of a track's unit switches.

#include "views/AudioUnitPanel.h"
#include "views/ToolWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QScreen>

#include <algorithm>

AudioUnitPanel::AudioUnitPanel(QWidget* parent) : QWidget(parent, kFloatingPanelFlags) {
    makeFloatingPanel(this);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void AudioUnitPanel::setContentView(QWidget* view) {
    if (content_ == view) return;
    if (QWidget* old = content_.data()) {
        old->hide();
        old->setParent(nullptr);
        old->deleteLater();
    }
    content_ = view;
    if (view) {
        view->setParent(this);
        view->move(0, 0);
        view->resize(contentSize_.isValid() ? contentSize_ : view->size());
        view->show();
    }
}

void AudioUnitPanel::setContentSize(const QSize& size) {
    contentSize_ = size;
    resize(size);
    if (content_) content_->resize(size);
}

void AudioUnitPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (content_) content_->resize(size());
}

void AudioUnitPanel::closeEvent(QCloseEvent* event) {
    if (windowWillClose) windowWillClose();
    event->accept();
}

// ---- the popover ----

const int AudioUnitsPopover::kSwitchTypes[11] = {0, 1, 2, 3, 4, 5, 6, 10, 11, 12, 13};

AudioUnitsPopover::AudioUnitsPopover(QWidget* parent) : QWidget(parent, Qt::Popup) {
    static const char* const kTitles[11] = {
        "N-Band EQ",  "Graphic EQ",   "Audio Filter", "Dynamics Processor", "Multiband Compressor",
        "Distortion", "Delay",        "Peak Limiter", "Pitch",              "Matrix Reverb",
        "Panner"};
    QCheckBox** checks[11] = {&nBandEQCheck,    &graphicEQCheck,     &auFilterCheck,
                              &dynamicProcessorCheck, &multibandCompressorCheck, &distortionCheck,
                              &delayCheck,      &peakLimiterCheck,   &pitchFilterCheck,
                              &matrixRFilterCheck, &audioFilter0Check};
    auto* title = new QLabel(QStringLiteral("Audio Units"), this);
    title->setGeometry(18, 12, 246, 20);
    for (int i = 0; i < 11; ++i) {
        auto* check = new QCheckBox(QString::fromLatin1(kTitles[i]), this);
        check->setGeometry(18, 44 + i * 36, 246, 24);
        const int type = kSwitchTypes[i];
        connect(check, &QCheckBox::clicked, this, [this, type](bool on) {
            if (switchClicked) switchClicked(type, on);
        });
        *checks[i] = check;
    }
    audioUnitsView = new QWidget(this);
    audioUnitsView->setGeometry(0, 444, 282, 46);
    resize(282, 454);
}

QCheckBox* AudioUnitsPopover::switchForType(int type) const {
    const QCheckBox* const checks[11] = {nBandEQCheck,    graphicEQCheck,     auFilterCheck,
                                         dynamicProcessorCheck, multibandCompressorCheck,
                                         distortionCheck, delayCheck,         peakLimiterCheck,
                                         pitchFilterCheck, matrixRFilterCheck, audioFilter0Check};
    for (int i = 0; i < 11; ++i)
        if (kSwitchTypes[i] == type) return const_cast<QCheckBox*>(checks[i]);
    return nullptr;
}

void AudioUnitsPopover::showRelativeTo(QWidget* anchor, const QSize& contentSize) {
    resize(contentSize);
    if (anchor) {
        // Below the anchor, or above it when the screen ends first.
        QPoint at = anchor->mapToGlobal(QPoint(anchor->width() / 2 - contentSize.width() / 2, anchor->height()));
        if (const QScreen* screen = anchor->screen()) {
            const QRect room = screen->availableGeometry();
            if (at.y() + contentSize.height() > room.bottom())
                at.setY(anchor->mapToGlobal(QPoint(0, 0)).y() - contentSize.height());
            at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - contentSize.width())));
            at.setY(std::max(at.y(), room.top()));
        }
        move(at);
    }
    if (!isVisible()) show();
}
