#pragma once

// The presets window: every preset file that has a thumbnail shown as an
// outlined, titled cell in an icon grid, a name field and the save, delete
// and copy buttons. Main thread only.
//
// PresetsViewController keeps the items and answers the grid's selection:
// a selection made while the owner can apply presets applies the first
// selected item through the owner; otherwise the selection is cleared at
// once. Reading the files and applying presets belong to the owner, reached
// through PresetsViewOwner.

#include <QAbstractListModel>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QUrl>
#include <QWidget>

#include <cstdint>
#include <limits>
#include <vector>

class QLineEdit;
class QListView;
class QPushButton;

// One browser item: a preset file and its thumbnail.
struct PresetImage {
    uint64_t version = 0;  // the reload that made it
    QImage presetImage;
    QUrl presetURL;

    QString imageUID() const { return presetURL.toLocalFile(); }
    // The preset's name: the file's name.
    QString imageTitle() const;
    uint64_t imageVersion() const { return version; }
};

// What the browser asks of the application; each does nothing by default.
class PresetsViewOwner {
public:
    virtual ~PresetsViewOwner() = default;
    // The preset files, in listing order.
    virtual QList<QUrl> presetFileURLs() const { return {}; }
    // The thumbnail a preset file keeps; null for a file that cannot be
    // read as a preset or has no picture.
    virtual QImage presetThumbnail(const QUrl&) const { return {}; }
    // Whether a selection may apply a preset now (not busy, some track).
    virtual bool canApplyPresetFromBrowser() const { return false; }
    // Applies the item at the controller's currentSelectedPreset.
    virtual void applySelectedPreset() {}
};

// Cell drawing: the thumbnail on a shadow, its outline and its title.
class PresetCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static QColor outlineColor() { return QColor::fromRgbF(0.0f, 0.62f, 0.89f, 1.0f); }
    // Cell size at the browser's zoom.
    static QSize cellSize(double zoom);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class PresetsViewController : public QObject {
    Q_OBJECT
public:
    static constexpr uint64_t kNotFound = std::numeric_limits<uint64_t>::max();

    // Takes over `browser`: its model, its cells and the selection.
    PresetsViewController(QListView* browser, PresetsViewOwner* owner, QObject* parent = nullptr);

    QPointer<QListView> presetsBrowserView;
    std::vector<PresetImage> presetImages;
    uint64_t presetVersion = 0;
    uint64_t currentSelectedPreset = kNotFound;
    PresetsViewOwner* audioController = nullptr;

    static constexpr double kZoomValue = 0.8;

    void updatePresetImages();
    void updateDataSourceWithArray(const QList<QUrl>& urls);
    qsizetype numberOfItemsInImageBrowser() const { return qsizetype(presetImages.size()); }
    const PresetImage* imageBrowserItemAtIndex(qsizetype index) const;
    // The first selected item's index; kNotFound when none is selected.
    uint64_t firstSelectedIndex() const;
    void imageBrowserSelectionDidChange();

private:
    class Model;
    Model* model_ = nullptr;
};

// The window that holds the browser and the commands' controls; it floats
// above the main window.
class PresetsWindow : public QWidget {
    Q_OBJECT
public:
    explicit PresetsWindow(QWidget* parent = nullptr);
    QListView* presetsBrowserView = nullptr;
    QLineEdit* presetsTextField = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* copyButton = nullptr;
};
