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

#include <cmath>

void AudioController::setupLabelsWithUpdate(bool update) {
    if (!update) return;
    const double C = shell.compositionDuration.seconds();
    if (ui.audioScrollView && ui.audioView) {
        const auto* scroll = ui.audioScrollView;
        const double F = ui.audioView->width();
        const double verticalScroller =
            scroll->verticalScrollBar()->isVisible() ? scroll->verticalScrollBar()->width() : 0;
        const double W = std::max(scroll->width() - verticalScroller, F);
        const QRect V = rulerVisibleRect();
        // The time under an x of the track area.
        auto timeAt = [&](double x) { return F > 0 ? C * (W * x / F) / F : 0.0; };
        auto set = [](QLabel* label, double seconds) {
            if (label) label->setText(timeText(seconds));
        };
        auto centre = [](QLabel* label) {
            return label ? label->x() + label->width() * 0.5 : 0.0;
        };
        set(ui.leftTimeLabel, timeAt(V.x()));
        set(ui.middleTimeLabel, timeAt(V.x() + V.width() * 0.5));
        set(ui.rightTimeLabel, timeAt(V.x() + V.width()));
        set(ui.leftMiddleTimeLabel, timeAt(V.x() + centre(ui.leftMiddleTimeLabel)));
        set(ui.rightMiddleTimeLabel, timeAt(V.x() + centre(ui.rightMiddleTimeLabel)));
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
