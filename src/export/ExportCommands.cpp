// The export commands: the composition's save panel with its accessory, and
// the selected track's. Each pauses the player, closes the unit and notes
// panels and, once the panel has closed, hands the chosen file to its export.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "export/ExportRules.h"
#include "platform/core/MainQueue.h"
#include "views/AudioView.h"
#include "views/ExportViews.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QStandardPaths>

namespace {

// A window-modal save panel of our own (the same on every desktop), for the
// file types given, the first the default.
QFileDialog* makeSavePanel(QWidget* window, const QStringList& types, const QString& proposedName) {
    auto* panel = new QFileDialog(window);
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setDirectory(QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
    QStringList filters;
    for (const QString& t : types) filters << QStringLiteral("%1 (*.%1)").arg(t);
    panel->setNameFilters(filters);
    panel->setProperty("allowedFileTypes", types);
    if (!types.isEmpty()) panel->setDefaultSuffix(types.first());
    panel->selectFile(proposedName.isEmpty() ? QStringLiteral("Untitled") : proposedName);
    return panel;
}

// The file the panel was confirmed with.
QUrl chosenURL(QFileDialog* panel) {
    const QStringList files = panel->selectedFiles();
    return files.isEmpty() ? QUrl() : QUrl::fromLocalFile(files.first());
}

}  // namespace

bool AudioController::exportCommandsAreBlocked() const {
    return exporting.exportIsRunning || projectSaveIsRunning() || !audioPlayer || trackCount() == 0;
}

SaveAccessoryView* AudioController::saveAccessoryView() {
    if (!exporting.saveAudioAccessoryView) {
        exporting.saveAudioAccessoryView = new SaveAccessoryView(ui.window);
        exporting.saveAudioAccessoryView->hide();
        QObject::connect(exporting.saveAudioAccessoryView->saveAudioFormatPopUpButton,
                         QOverload<int>::of(&QComboBox::activated), this,
                         [this] { updateSavePanelAudioFormat(); });
    }
    return exporting.saveAudioAccessoryView;
}

namespace {
// The common first steps of the export commands.
void pauseAndClosePanels(AudioController& c) {
    if (c.audioPlayer && c.audioPlayer->rate() != 0.0f) c.audioPlayer->pause();
    if (auto* panel = c.trackList.audioUnitPanel.data()) panel->close();
    if (auto* notes = c.trackList.notesPanel.data(); notes && notes->isVisible()) notes->close();
}
}  // namespace

void AudioController::saveAudioFileFrom() {
    if (exportCommandsAreBlocked()) {
        // A quit waiting for this export goes on only when nothing is to be saved.
        if (!exporting.exportIsRunning) saveDidEnd(trackCount() == 0);
        return;
    }
    pauseAndClosePanels(*this);

    SaveAccessoryView* accessory = saveAccessoryView();
    const std::pair<QComboBox*, QComboBox*> presets[] = {
        {preferences.preferencesOutputFormat, accessory->saveAudioFormatPopUpButton},
        {preferences.preferencesSampleRate, accessory->saveAudioSampleRatePopUpButton},
        {preferences.preferencesBitrate, accessory->saveAudioBitratePopUpButton}};
    for (const auto& [from, to] : presets)
        if (from && from->currentIndex() >= 0) to->setCurrentIndex(from->currentIndex());
    accessory->saveAddToITunesLibraryCheck->setChecked(false);
    accessory->saveAddToTrevaluneLibraryCheck->setChecked(false);
    accessory->tagsField->clear();

    // The format the pop-up shows comes first, so that a name typed without
    // an extension gets the extension of what is written.
    const QString title = metadataPopover()->metadataTitleTextField->text();
    QFileDialog* panel = makeSavePanel(ui.window,
                                       exportrules::allowedTypesForFormat(accessory->saveAudioFormatPopUpButton->currentIndex()),
                                       exportrules::proposedCompositionName(title, library.projectURL, trackCount()));
    exporting.currentSavePanel = panel;
    if (auto* grid = qobject_cast<QGridLayout*>(panel->layout()))
        grid->addWidget(accessory, grid->rowCount(), 0, 1, grid->columnCount());
    accessory->show();

    QObject::connect(panel, &QDialog::finished, this, [this, panel, accessory](int result) {
        const QUrl url = chosenURL(panel);
        const QStringList tags = accessory->tagNames();
        // The accessory outlives the panel: the export reads its choices.
        accessory->hide();
        accessory->setParent(ui.window);
        if (result != QDialog::Accepted || url.isEmpty()) {
            saveDidEnd(false);
            return;
        }
        MainQueue::instance().perform(this, QStringLiteral("saveAudioToURL"), url.toString(),
                                      [this, url, tags] { saveAudioToURL(url, tags); });
    });
    panel->open();
}

void AudioController::updateSavePanelAudioFormat() {
    QFileDialog* panel = exporting.currentSavePanel.data();
    if (!panel) return;
    const QStringList types = exportrules::allowedTypesForFormat(saveAccessoryView()->saveAudioFormatPopUpButton->currentIndex());
    QStringList filters;
    for (const QString& t : types) filters << QStringLiteral("%1 (*.%1)").arg(t);
    panel->setNameFilters(filters);
    panel->setProperty("allowedFileTypes", types);
    if (!types.isEmpty()) panel->setDefaultSuffix(types.first());
}

void AudioController::saveAudioTrackFrom() {
    const quint64 selected = currentSelectedAudio.load();
    if (exportCommandsAreBlocked() || !trackAt(selected)) return;
    pauseAndClosePanels(*this);
    QFileDialog* panel = makeSavePanel(ui.window, {QStringLiteral("m4a")}, exportrules::proposedTrackName(selected));
    QObject::connect(panel, &QDialog::finished, this, [this, panel](int result) {
        const QUrl url = chosenURL(panel);
        if (result != QDialog::Accepted || url.isEmpty()) return;
        // The track selected when the panel closed.
        MusicFilter* track = trackAt(currentSelectedAudio.load());
        if (!track) return;
        std::weak_ptr<MusicFilter> weak = track->weak_from_this();
        MainQueue::instance().perform(this, QStringLiteral("saveTrackToURL"), url.toString(), [this, weak, url] {
            if (auto t = weak.lock()) saveTrackToURL(t.get(), url);
        });
    });
    panel->open();
}

namespace {
// A track command's panel: on its OK, after it has closed, the track then
// selected gets `run` with the chosen file.
void openTrackPanel(AudioController& c, const QStringList& types, const QString& proposedName, const QString& key,
                    std::function<void(AudioController&, MusicFilter*, const QUrl&)> run) {
    QFileDialog* panel = makeSavePanel(c.ui.window, types, proposedName);
    AudioController* controller = &c;
    QObject::connect(panel, &QDialog::finished, controller, [controller, panel, key, run](int result) {
        const QUrl url = chosenURL(panel);
        if (result != QDialog::Accepted || url.isEmpty()) return;
        MusicFilter* track = controller->trackAt(controller->currentSelectedAudio.load());
        if (!track) return;
        std::weak_ptr<MusicFilter> weak = track->weak_from_this();
        MainQueue::instance().perform(controller, key, url.toString(), [controller, weak, url, run] {
            if (auto t = weak.lock()) run(*controller, t.get(), url);
        });
    });
    panel->open();
}
}  // namespace

void AudioController::saveReversedAudioTrackFrom() {
    const quint64 selected = currentSelectedAudio.load();
    if (exportCommandsAreBlocked() || !trackAt(selected)) return;
    pauseAndClosePanels(*this);
    openTrackPanel(*this, {QStringLiteral("m4a")}, exportrules::proposedReversedTrackName(selected),
                   QStringLiteral("saveReversedTrackToURL"),
                   [](AudioController& c, MusicFilter* t, const QUrl& url) { c.saveReversedTrackToURL(t, url); });
}

void AudioController::saveAudioAndVideoTrackFrom() {
    const quint64 selected = currentSelectedAudio.load();
    if (exportCommandsAreBlocked() || !trackAt(selected)) return;
    pauseAndClosePanels(*this);
    openTrackPanel(*this, {QStringLiteral("mov")}, exportrules::proposedVideoTrackName(selected),
                   QStringLiteral("saveAudioAndVideoTrackToURL"),
                   [](AudioController& c, MusicFilter* t, const QUrl& url) { c.saveAudioAndVideoTrackToURL(t, url); });
}

void AudioController::saveMixAudioAndVideoTrackFrom() {
    const quint64 selected = currentSelectedAudio.load();
    if (exportCommandsAreBlocked() || !trackAt(selected)) return;
    pauseAndClosePanels(*this);
    openTrackPanel(
        *this, {QStringLiteral("mov")}, exportrules::proposedVideoTrackName(selected),
        QStringLiteral("mixAudioTracksAndVideoTrackToURL"),
        [](AudioController& c, MusicFilter* t, const QUrl& url) { c.mixAudioTracksAndVideoTrackToURL(t, url); });
}
