// Time labels of the ruler, the transport and the mini player; the range of
// the position sliders and the composition's title.
#include "app/AudioController.h"

#include "platform/core/TimeText.h"
#include "views/AudioView.h"
#include "views/FloatSlider.h"
#include "views/SmallViews.h"

#include <QFileInfo>
#include <QLabel>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

void AudioController::setupLabelsWithUpdate(bool update) {
    if (!update) return;
    const double C = shell.compositionDuration.seconds();
    if (ui.audioScrollView && ui.audioView) {
        // Each label reads the time under its own place on the ruler, on the
        // ruler layer's scale: the track area's width F stands for the whole
        // composition. A label past the end of a short composition shows
        // nothing: no time is there (half a point of slack keeps the label
        // that sits right on the end). p is a place in the visible part, s
        // the scroll offset.
        const QWidget* viewport = ui.audioScrollView->viewport();
        const double F = ui.audioView->frameWidth();
        const double s = ui.audioScrollView->horizontalScrollBar()->value();
        const double vw = viewport->width();
        auto set = [&](QLabel* label, double p) {
            if (!label) return;
            if (C > 0 && F > 0 && s + p > F + 0.5)
                label->clear();
            else
                label->setText(timeText(F > 0 ? std::min(C, C * (s + p) / F) : 0.0));
        };
        // A label's centre, in the visible part's coordinates.
        auto centre = [viewport](QLabel* label) {
            if (!label) return 0.0;
            const QWidget* window = viewport->window();
            return label->mapTo(window, QPointF(label->width() * 0.5, 0)).x() -
                   viewport->mapTo(window, QPointF(0, 0)).x();
        };
        set(ui.leftTimeLabel, 0);
        set(ui.middleTimeLabel, vw * 0.5);
        set(ui.rightTimeLabel, vw);
        set(ui.leftMiddleTimeLabel, centre(ui.leftMiddleTimeLabel));
        set(ui.rightMiddleTimeLabel, centre(ui.rightMiddleTimeLabel));
    }
    const double now = itemIsReady() ? audioPlayer->currentTime().seconds() : 0.0;
    for (auto* label : {ui.labelStart, miniPlayer.playerLabelStart})
        if (label) label->setText(timeText(now));
    for (auto* label : {ui.labelEnd, miniPlayer.playerLabelEnd})
        if (label) label->setText(QStringLiteral("-") + timeText(C - now));
}

void AudioController::updateLabelsTimeWithCurrentTime(const MediaTime& time) {
    const double C = shell.compositionDuration.seconds();
    if (!(C != 0) || std::isnan(C)) return;
    const double t = time.seconds();
    for (auto* label : {ui.labelStart, miniPlayer.playerLabelStart})
        if (label) label->setText(timeText(t));
    for (auto* label : {ui.labelEnd, miniPlayer.playerLabelEnd})
        if (label) label->setText(QStringLiteral("-") + timeText(C - t));
}

QString AudioController::compositionTitle() const {
    const double C = shell.compositionDuration.seconds();
    if (!(C != 0) || std::isnan(C)) return QString();
    if (library.projectURL.isValid() && !library.projectURL.isEmpty()) {
        QString name = QFileInfo(library.projectURL.toLocalFile()).completeBaseName();
        if (name.isEmpty()) name = QFileInfo(library.projectURL.path()).completeBaseName();
        return QStringLiteral("%1 - %2").arg(name, timeText(C));
    }
    return QStringLiteral("Untitled Composition - %1").arg(timeText(C));
}

void AudioController::setupAudioSliderWithTotalTime(const MediaTime& total) {
    double seconds = total.seconds();
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    for (auto* slider : {ui.audioSlider, miniPlayer.playerAudioSlider}) {
        if (!slider) continue;
        slider->setRange(0, seconds);
        slider->setFloatValue(0);
    }
    const QString title = compositionTitle();
    if (title.isEmpty()) return;
    if (miniPlayer.playerTextField) miniPlayer.playerTextField->setText(title);
    if (miniPlayer.playerWindow) miniPlayer.playerWindow->setWindowTitle(title);
}
