// The one question before the composition goes, whether the user quits or
// closes the main window.
#include "app/Alerts.h"
#include "app/AudioController.h"

#include "platform/core/MainQueue.h"

#include <QPointer>
#include <QWidget>

AudioController::SaveAnswer AudioController::askToSaveComposition() {
    // A save that runs is never cut short: the application goes when it ends.
    if (projectSaveIsRunning()) {
        quitAfterProjectSave();
        return SaveAnswer::Cancel;
    }
    // Answered once already on the way out: the application goes without
    // asking again.
    if (shell.applicationTerminateFromAlertWindow || shell.applicationHasToTerminateAfterSaving)
        return SaveAnswer::DontSave;
    if (trackCount() == 0 || !isDocumentEdited()) return SaveAnswer::DontSave;

    QWidget* window = ui.window;
    if (window) {
        if (!window->isVisible()) window->show();
        window->raise();
        window->activateWindow();
    }
    const int answer = runModalAlert(window, AlertRequest{
                                                 QStringLiteral("Do you want to save the composition?"),
                                                 QStringLiteral("Export to file before exiting."),
                                                 {QStringLiteral("Save"), QStringLiteral("Don't Save"),
                                                  QStringLiteral("Cancel")}});
    if (answer == 0) {
        // The project, or an export of the mix when there is none; saved
        // after the alert has gone, and the save's end quits.
        shell.applicationHasToTerminateAfterSaving = true;
        const bool hasProject = !library.projectURL.isEmpty();
        QPointer<AudioController> self(this);
        MainQueue::async([self, hasProject] {
            if (!self) return;
            if (hasProject)
                self->saveProjectFrom();
            else
                self->saveAudioFileFrom();
        });
        return SaveAnswer::Save;
    }
    if (answer == 1) {
        shell.applicationTerminateFromAlertWindow = true;
        return SaveAnswer::DontSave;
    }
    return SaveAnswer::Cancel;
}

void AudioController::quitAfterProjectSave() {
    if (!projectSaveIsRunning()) return;
    // The save's end quits once the project is written; a failed save stays
    // open, saying why.
    shell.applicationHasToTerminateAfterSaving = true;
    setSheetTexts(QStringLiteral("Saving Project..."), QStringLiteral("Trevalune quits when the project is saved."));
}
