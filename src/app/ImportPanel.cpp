// The import panel: picks one audio or video file and adds it as a track.
#include "app/ImportPanel.h"

#include "app/AudioController.h"
#include "platform/core/MainQueue.h"
#include "platform/media/Asset.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QStandardPaths>

#include <vector>

namespace {
OpenPanelRunner& panelRunner() {
    static OpenPanelRunner runner;
    return runner;
}

// Puts the message in a row of its own above the panel's contents.
void showPanelMessage(QFileDialog& panel, const QString& message) {
    auto* grid = qobject_cast<QGridLayout*>(panel.layout());
    if (message.isEmpty() || !grid) return;
    struct Placed {
        QLayoutItem* item;
        int row, column, rowSpan, columnSpan;
    };
    std::vector<Placed> placed;
    while (grid->count() > 0) {
        Placed p{};
        grid->getItemPosition(0, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
        p.item = grid->takeAt(0);
        placed.push_back(p);
    }
    for (const Placed& p : placed) grid->addItem(p.item, p.row + 1, p.column, p.rowSpan, p.columnSpan);
    auto* label = new QLabel(message, &panel);
    label->setObjectName(QStringLiteral("panelMessage"));
    label->setWordWrap(true);
    grid->addWidget(label, 0, 0, 1, qMax(1, grid->columnCount()));
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

