#include "views/ExportViews.h"

#include "engine/ExportItems.h"
#include "views/PopoverPlacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <QVBoxLayout>

ExportSheet::ExportSheet(QWidget* parent) : QDialog(parent) {
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("Trevalune"));
    auto* layout = new QGridLayout(this);
    sheetInfoTextField = new QLabel(QStringLiteral("Percent Completed:"), this);
    sheetPercentTextField = new QLabel(QStringLiteral("0%"), this);
    sheetPercentTextField->setMinimumWidth(48);
    sheetPercentTextField->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    sheetButton = new QPushButton(QStringLiteral("Stop Processing"), this);
    sheetButton->setCheckable(true);
    sheetButton->setAutoDefault(false);
    layout->addWidget(sheetInfoTextField, 0, 0);
    layout->addWidget(sheetPercentTextField, 0, 1);
    layout->addWidget(sheetButton, 1, 0, 1, 2, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(320);
}

SaveAccessoryView::SaveAccessoryView(QWidget* parent) : QWidget(parent) {
    auto* form = new QFormLayout(this);
    saveAudioFormatPopUpButton = new QComboBox(this);
    for (const auto& f : exportitems::formats) saveAudioFormatPopUpButton->addItem(QString::fromLatin1(f.extension));
    saveAudioSampleRatePopUpButton = new QComboBox(this);
    for (const auto& r : exportitems::sampleRates) saveAudioSampleRatePopUpButton->addItem(QString::fromUtf8(r.title));
    saveAudioBitratePopUpButton = new QComboBox(this);
    for (const auto& b : exportitems::bitRates) saveAudioBitratePopUpButton->addItem(QString::fromUtf8(b.title));
    saveAddToITunesLibraryCheck = new QCheckBox(QStringLiteral("Open in the default music application"), this);
    saveAddToTrevaluneLibraryCheck = new QCheckBox(QStringLiteral("Add to the Media Library"), this);
    tagsField = new QLineEdit(this);
    tagsField->setPlaceholderText(QStringLiteral("Tags, separated by commas"));
    form->addRow(QStringLiteral("Format:"), saveAudioFormatPopUpButton);
    form->addRow(QStringLiteral("Sample rate:"), saveAudioSampleRatePopUpButton);
    form->addRow(QStringLiteral("Bit rate:"), saveAudioBitratePopUpButton);
    form->addRow(QString(), saveAddToITunesLibraryCheck);
    form->addRow(QString(), saveAddToTrevaluneLibraryCheck);
    form->addRow(QStringLiteral("Tags:"), tagsField);
}

QStringList SaveAccessoryView::tagNames() const {
    QStringList names;
    for (const QString& part : tagsField->text().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString t = part.trimmed();
        if (!t.isEmpty() && !names.contains(t)) names.append(t);
    }
    return names;
}

MetadataPopover::MetadataPopover(QWidget* parent) : QFrame(parent, Qt::Popup) {
    setFrameShape(QFrame::StyledPanel);
    auto* row = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    artworkImageView = new QLabel(this);
    artworkImageView->setFixedSize(160, 160);
    artworkImageView->setAlignment(Qt::AlignCenter);
    artworkImageView->setStyleSheet(QStringLiteral("QLabel { background: #111; border: 1px solid #444; }"));
    artworkImageView->setText(QStringLiteral("No Artwork"));
    metadataImportButton = new QPushButton(QStringLiteral("Import..."), this);
    metadataRemoveButton = new QPushButton(QStringLiteral("Remove"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(metadataImportButton);
    buttons->addWidget(metadataRemoveButton);
    left->addWidget(artworkImageView);
    left->addLayout(buttons);
    auto* form = new QFormLayout;
    metadataTitleTextField = new QLineEdit(this);
    metadataArtistTextField = new QLineEdit(this);
    metadataCommentsTextField = new QLineEdit(this);
    form->addRow(QStringLiteral("Title:"), metadataTitleTextField);
    form->addRow(QStringLiteral("Artist:"), metadataArtistTextField);
    form->addRow(QStringLiteral("Comments:"), metadataCommentsTextField);
    metadataTitleTextField->setMinimumWidth(240);
    row->addLayout(left);
    row->addLayout(form);
}

void MetadataPopover::setArtwork(const QImage& image) {
    artwork_ = image;
    if (image.isNull()) {
        artworkImageView->setPixmap({});
        artworkImageView->setText(QStringLiteral("No Artwork"));
        return;
    }
    artworkImageView->setPixmap(QPixmap::fromImage(
        image.scaled(artworkImageView->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void MetadataPopover::showBelow(QWidget* anchor) {
    showPopoverBeside(this, anchor);
    metadataTitleTextField->setFocus(Qt::PopupFocusReason);
}
