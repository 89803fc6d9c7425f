// The edited mark and its change count, the library panel's two layouts, the
// ruler layer's container and the scroll synchronisation.
#include "app/AudioController.h"
#include "views/LibraryView.h"

#include "views/AudioView.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"
#include "views/SmallViews.h"
#include "views/StyledControls.h"
#include "views/EQSubview.h"

#include <QMainWindow>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

bool AudioController::isDocumentEdited() const {
    return ui.window && ui.window->isWindowModified();
}

void AudioController::setDocumentEdited(bool edited) {
    if (ui.window) ui.window->setWindowModified(edited);
}

void AudioController::changeCountForOpenUndoGroup() {
    ++library.projectChangeCount;
    setDocumentEdited(true);
}

void AudioController::changeCountForUndo() {
    // Never below zero: undoing past the last save leaves the composition unedited.
    if (library.projectChangeCount > 0) --library.projectChangeCount;
    setDocumentEdited(library.projectChangeCount != 0 && trackCount() > 0);
}

void AudioController::changeCountForRedo() {
    ++library.projectChangeCount;
    setDocumentEdited(trackCount() > 0);
}

void AudioController::setupLibraryViewHidden() {
    if (ui.libraryView && ui.libraryScrollView)
        ui.libraryView->resize(300 - ui.libraryScrollView->verticalScrollBar()->sizeHint().width(),
                               250);
    // The effect controls reach down to the library's title bar.
    if (ui.libraryBackgroundView) ui.libraryBackgroundView->hide();
}

void AudioController::updateLibraryViewOnStartup() {
    if (!library.libraryViewIsVisibleOnExit) return;
    if (ui.libraryBackgroundView) ui.libraryBackgroundView->show();
    if (ui.animateLibraryButton) {
        ui.animateLibraryButton->setButtonState(1);
        ui.animateLibraryButton->update();
    }
    if (ui.filtersScrollView) {
        ui.filtersScrollView->horizontalScrollBar()->setValue(0);
        ui.filtersScrollView->verticalScrollBar()->setValue(0);
    }
}

void AudioController::animateLibraryViewFrom(ColoredButton* sender) {
    if (!ui.libraryBackgroundView) return;
    const bool show = ui.libraryBackgroundView->isHidden();
    ui.libraryBackgroundView->setVisible(show);
    if (sender) {
        sender->setButtonState(show ? 1 : 0);
        sender->update();
    }
}

void AudioController::animateEQViewFrom(ColoredButton* sender) {
    if (!ui.eqView) return;
    const bool show = ui.eqView->isHidden();
    ui.eqView->setVisible(show);
    if (sender) {
        sender->setButtonState(show ? 1 : 0);
        sender->update();
    }
}

void AudioController::setupLineView() {
    if (!ui.audioScrollView) return;
    if (!ui.lineView) ui.lineView = new LineView();
    ui.lineView->audioController = this;
    ui.lineView->linePercent = 0.0;
    ui.lineView->globalLinePercent = 0.0;
    // The container covers exactly the visible part of the track area and
    // sits above it; the layer inside is as wide as the whole track area.
    // The layer takes the mouse over the tracks and passes on what it does
    // not use.
    if (!ui.lineViewContainer) {
        ui.lineViewContainer = new QWidget(ui.audioScrollView);
        ui.lineViewContainer->setObjectName(QStringLiteral("lineViewContainer"));
        ui.lineViewContainer->setAttribute(Qt::WA_NoSystemBackground);
    }
    ui.lineView->setParent(ui.lineViewContainer);
    stopWatchingTrackArea();
    watchedViewport_ = ui.audioScrollView->viewport();
    watchedTrackArea_ = ui.audioView;
    for (QWidget* w : {watchedViewport_.data(), watchedTrackArea_.data()})
        if (w) w->installEventFilter(this);
    layoutLineViewContainer();
    ui.lineViewContainer->show();
    ui.lineView->show();
    ui.lineViewContainer->raise();
}

void AudioController::stopWatchingTrackArea() {
    for (QWidget* w : {watchedViewport_.data(), watchedTrackArea_.data()})
        if (w) w->removeEventFilter(this);
    watchedViewport_.clear();
    watchedTrackArea_.clear();
}

void AudioController::layoutLineViewContainer() {
    if (!ui.lineViewContainer || !ui.audioScrollView) return;
    const QWidget* viewport = ui.audioScrollView->viewport();
    ui.lineViewContainer->setGeometry(viewport->geometry());
    const int width = ui.audioView
                          ? ui.audioView->width()
                          : int(shell.timelineDuration * shell.scaleFactor * shell.zoomValue);
    // The track area's width stands for the whole composition; the layer
    // covers at least the visible part, so that what is drawn beside the end
    // of a short composition (its length) is not cut off.
    if (ui.lineView) ui.lineView->setGeometry(0, 0, std::max(width, viewport->width()), viewport->height());
}

double AudioController::rulerTimelineWidth() const {
    return ui.audioView ? ui.audioView->frameWidth()
                        : shell.timelineDuration * shell.scaleFactor * shell.zoomValue;
}

void AudioController::audioScrollViewDidChangeBounds() {
    if (ui.leftScrollView && ui.audioScrollView)
        ui.leftScrollView->verticalScrollBar()->setValue(
            ui.audioScrollView->verticalScrollBar()->value());
    setupLabelsWithUpdate(true);
    if (ui.lineView) ui.lineView->update();
}

void AudioController::audioScrollViewDidEndLiveScroll() {
    if (ui.audioView) ui.audioView->update();
}

// What the ruler layer reads.
double AudioController::rulerCompositionSeconds() const {
    double seconds = shell.compositionDuration.seconds();
    return std::isfinite(seconds) ? seconds : 0.0;
}
bool AudioController::rulerPlayerItemIsReady() const { return itemIsReady(); }
bool AudioController::rulerIsPlaying() const { return shell.isPlaying; }
double AudioController::rulerPositionSliderSeconds() const {
    return ui.audioSlider ? ui.audioSlider->floatValue() : 0.0;
}
double AudioController::rulerPlayerCurrentSeconds() const { return currentTime(); }
QRect AudioController::rulerVisibleRect() const {
    if (!ui.audioScrollView) return {};
    const QWidget* viewport = ui.audioScrollView->viewport();
    return QRect(ui.audioScrollView->horizontalScrollBar()->value(),
                 ui.audioScrollView->verticalScrollBar()->value(), viewport->width(),
                 viewport->height());
}
int AudioController::rulerTrackCount() const { return trackCount(); }
const std::vector<MarkerRecord>& AudioController::rulerMarkers() const {
    return editing.markersArray;
}
