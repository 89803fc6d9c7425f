#include "app/WindowController.h"

#include "app/Alerts.h"
#include "app/AudioController.h"
#include "platform/core/MainQueue.h"
#include "platform/core/NotificationCenter.h"
#include "views/AudioView.h"

void WindowController::windowDidResize() {
    NotificationCenter::defaultCenter().post(QStringLiteral("updateDrawingPath"), audioView);
    if (audioController) audioController->setupLabelsWithUpdate(true);
}

void WindowController::windowDidEndLiveResize() {
    if (audioController) audioController->setupLabelsWithUpdate(true);
}

bool WindowController::windowShouldClose() {
    auto* c = audioController;
    if (!c || c->trackCount() == 0) return true;
    if (!c->isDocumentEdited()) return true;
    // With the mini player open the application goes on; it asks when quitting.
    if (c->miniPlayer.playerWindow && c->miniPlayer.playerWindow->isVisible()) return true;

    int answer = runModalAlert(c->ui.window, AlertRequest{
                                                 QStringLiteral("Do you want to save the composition?"),
                                                 QStringLiteral("Export to file before exiting."),
                                                 {QStringLiteral("Save"), QStringLiteral("Don't Save"),
                                                  QStringLiteral("Cancel")}});
    if (answer == 0) {
        // Saved after the alert has gone; the save's end quits.
        const bool hasProject = !c->library.projectURL.isEmpty();
        QPointer<AudioController> controller(c);
        MainQueue::async([controller, hasProject] {
            if (!controller) return;
            controller->shell.applicationHasToTerminateAfterSaving = true;
            if (hasProject)
                controller->saveProjectFrom();
            else
                controller->saveAudioFileFrom();
        });
        return false;
    }
    if (answer == 2) return false;
    c->shell.applicationTerminateFromAlertWindow = true;
    return true;
}
