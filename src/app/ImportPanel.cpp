// The import panel: picks one audio or video file and adds it as a track.
#include "app/ImportPanel.h"

#include "app/AudioController.h"
#include "platform/core/MainQueue.h"
#include "platform/media/Asset.h"
#include "views/FilePanels.h"

#include <QFileDialog>
#include <QStandardPaths>

namespace {
OpenPanelRunner& panelRunner() {
    static OpenPanelRunner runner;
    return runner;
}
}  // namespace

void setOpenPanelRunner(OpenPanelRunner runner) { panelRunner() = std::move(runner); }

QUrl runOpenPanel(QWidget* parent, const OpenPanelRequest& request) {
    if (panelRunner()) return panelRunner()(parent, request);
    QFileDialog panel(parent, request.title);
    // Our own panel, so that the message can stand above the files.
    panel.setOption(QFileDialog::DontUseNativeDialog, true);
    showPanelMessage(panel, request.message);
    panel.setFileMode(QFileDialog::ExistingFile);
    panel.setAcceptMode(QFileDialog::AcceptOpen);
    panel.setLabelText(QFileDialog::Accept, request.prompt);
    panel.setOption(QFileDialog::ReadOnly, true);  // no new folders
    panel.setNameFilter(request.nameFilter);
    panel.setDirectory(QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
    if (panel.exec() != QDialog::Accepted || panel.selectedUrls().isEmpty()) return QUrl();
    return panel.selectedUrls().front();
}


void AudioController::importAudioFileFrom() {
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    QStringList patterns;
    for (const QString& ext : Asset::audiovisualExtensions()) patterns << QStringLiteral("*.") + ext;
    const QUrl url = runOpenPanel(ui.window,
                                  OpenPanelRequest{QStringLiteral("Select Audio File"),
                                                   QStringLiteral("Select the audio/video file you want to import."),
                                                   QStringLiteral("Import"),
                                                   QStringLiteral("Audio and video files (%1)")
                                                       .arg(patterns.join(QLatin1Char(' ')))});
    if (url.isEmpty()) return;
    // Added once the panel is gone, never from inside it.
    QPointer<AudioController> self(this);
    MainQueue::instance().perform(this, QStringLiteral("addAudioFileToComposition"), url, [self, url] {
        if (self) self->addAudioFileToComposition(url);
    });
}

