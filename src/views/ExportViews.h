#pragma once

// The export's widgets: the progress sheet that every export (and project
// loading) shows on the main window, the accessory of the composition's save
// panel, and the metadata popover of the composition. The controller owns
// them and sets their texts; they only lay themselves out.

#include <QDialog>
#include <QFrame>
#include <QImage>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// A window-modal sheet: one line of text, a percentage and one button whose
// title and action the controller changes with the phase.
class ExportSheet : public QDialog {
    Q_OBJECT
public:
    explicit ExportSheet(QWidget* parent);
    QLabel* sheetInfoTextField = nullptr;
    QLabel* sheetPercentTextField = nullptr;
    QPushButton* sheetButton = nullptr;

protected:
    // Escape does not end an export's sheet: only its button does.
    void reject() override {}
};

// Below the composition's save panel: format, sample rate and bit rate
// (built from the export's tables), the two check boxes and the tag field.
class SaveAccessoryView : public QWidget {
    Q_OBJECT
public:
    explicit SaveAccessoryView(QWidget* parent = nullptr);
    QComboBox* saveAudioFormatPopUpButton = nullptr;
    QComboBox* saveAudioSampleRatePopUpButton = nullptr;
    QComboBox* saveAudioBitratePopUpButton = nullptr;
    QCheckBox* saveAddToITunesLibraryCheck = nullptr;      // open it in the default application
    QCheckBox* saveAddToTrevaluneLibraryCheck = nullptr;   // copy it into the media library
    QLineEdit* tagsField = nullptr;                        // tag names, separated by commas
    // The names in the tag field.
    QStringList tagNames() const;
};

// The composition's title, artist, comments and artwork, shown under the
// main position slider.
class MetadataPopover : public QFrame {
    Q_OBJECT
public:
    explicit MetadataPopover(QWidget* parent);
    QLineEdit* metadataTitleTextField = nullptr;
    QLineEdit* metadataArtistTextField = nullptr;
    QLineEdit* metadataCommentsTextField = nullptr;
    QLabel* artworkImageView = nullptr;
    QPushButton* metadataImportButton = nullptr;
    QPushButton* metadataRemoveButton = nullptr;

    QImage artwork() const { return artwork_; }
    void setArtwork(const QImage& image);
    // Shown below `anchor`, as wide as it allows.
    void showBelow(QWidget* anchor);

private:
    QImage artwork_;
};
