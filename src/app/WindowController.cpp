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
    if (!c) return true;
    // With the mini player open the application goes on; it asks when quitting.
    if (c->miniPlayer.playerWindow && c->miniPlayer.playerWindow->isVisible()) return true;
    return c->askToSaveComposition() == AudioController::SaveAnswer::DontSave;
}
