// The composition's metadata: the popover with title, artist, comments and
// artwork that the mix export writes, and the window titles that follow the
// title.
#include "app/AudioController.h"

#include "app/WindowController.h"
#include "platform/core/MainQueue.h"
#include "platform/core/TimeText.h"
#include "views/ExportViews.h"
#include "views/FilePanels.h"
#include "views/FloatSlider.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

MetadataPopover* AudioController::metadataPopover() {
    if (!exporting.metadataPopover) {
        auto* popover = new MetadataPopover(ui.window);
        exporting.metadataPopover = popover;
        QObject::connect(popover->metadataImportButton, &QPushButton::clicked, this,
                         [this] { importMetadataArtworkFrom(); });
        QObject::connect(popover->metadataRemoveButton, &QPushButton::clicked, this,
                         [this] { removeMetadataArtworkFrom(); });
        QObject::connect(popover->metadataTitleTextField, &QLineEdit::editingFinished, this,
                         [this] { updateMetadataTextFieldFrom(); });
    }
    return exporting.metadataPopover;
}

void AudioController::showMetadataPopoverFrom() {
    MetadataPopover* popover = metadataPopover();
    if (popover->isVisible()) return;
    popover->metadataImportButton->setDown(false);
    popover->metadataRemoveButton->setDown(false);
    popover->showBelow(ui.audioSlider);
}

void AudioController::importMetadataArtworkFrom() {
    QStringList patterns;
    for (const QByteArray& f : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.%1").arg(QString::fromLatin1(f));
    auto* panel = new QFileDialog(ui.window, QStringLiteral("Select Artwork"));
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setLabelText(QFileDialog::Accept, QStringLiteral("Import"));
    panel->setNameFilter(QStringLiteral("Images (%1)").arg(patterns.join(QLatin1Char(' '))));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::ApplicationModal);
    showPanelMessage(*panel, QStringLiteral("Select the artwork you want to apply to audio file."));
    QObject::connect(panel, &QDialog::finished, this, [this, panel](int result) {
        const QStringList files = panel->selectedFiles();
        if (result != QDialog::Accepted || files.isEmpty()) return;
        const QUrl url = QUrl::fromLocalFile(files.first());
        MainQueue::instance().perform(this, QStringLiteral("replaceMetadataArtwork"), url.toString(),
                                      [this, url] { replaceMetadataArtwork(url); });
    });
    panel->open();
}

bool AudioController::replaceMetadataArtwork(const QUrl& url) {
    QImage image(url.toLocalFile());
    if (image.isNull()) return false;
    metadataPopover()->setArtwork(image);
    showMetadataPopoverFrom();
    return true;
}

void AudioController::removeMetadataArtworkFrom() { metadataPopover()->setArtwork(QImage()); }

void AudioController::updateMetadataTextFieldFrom() {
    const QString text = metadataPopover()->metadataTitleTextField->text();
    const QString duration = timeText(std::max(0.0, shell.compositionDuration.seconds()));
    QString title;
    if (!text.isEmpty()) title = QStringLiteral("%1 - %2").arg(text, duration);
    else if (!library.projectURL.isEmpty())
        title = QStringLiteral("%1 - %2").arg(QFileInfo(library.projectURL.toLocalFile()).completeBaseName(), duration);
    else title = QStringLiteral("Untitled Composition - %1").arg(duration);
    if (miniPlayer.playerTextField) miniPlayer.playerTextField->setText(title);
    if (miniPlayer.playerWindow) miniPlayer.playerWindow->setWindowTitle(title);
    if (QWidget* window = trackList.compositionWindow.data()) window->setWindowTitle(title);
}

void AudioController::showQuickLookPanel() {
    if (windowController) windowController->showQuickLookPanel();
}
