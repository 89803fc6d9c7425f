#include "views/PresetBrowser.h"
#include "views/ToolWindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Room under the picture for the title.
constexpr int kTitleHeight = 18;
// The largest cell, at zoom 1.
constexpr int kCellAtFullZoom = 200;
constexpr int kHorizontalSpacing = 10, kVerticalSpacing = 5;
constexpr int kShadowOffset = 3;

}  // namespace

QString PresetImage::imageTitle() const { return QFileInfo(presetURL.toLocalFile()).fileName(); }

// ---------------------------------------------------------------------------
// The items as a list model: the picture as decoration, the name as display.

class PresetsViewController::Model : public QAbstractListModel {
public:
    explicit Model(PresetsViewController* owner) : QAbstractListModel(owner), owner_(owner) {}
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(owner_->numberOfItemsInImageBrowser());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const PresetImage* item = owner_->imageBrowserItemAtIndex(index.row());
        if (!item) return {};
        switch (role) {
        case Qt::DisplayRole: return item->imageTitle();
        case Qt::DecorationRole: return item->presetImage;
        case Qt::ToolTipRole: return item->imageUID();
        default: return {};
        }
    }
    // Items are shown and selected, never dragged or dropped on.
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }
    void reload() {
        beginResetModel();
        endResetModel();
    }

private:
    PresetsViewController* owner_;
};

// ---------------------------------------------------------------------------
// Cells

QSize PresetCellDelegate::cellSize(double zoom) {
    const int side = int(kCellAtFullZoom * zoom);
    return {side, side};
}

QSize PresetCellDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return cellSize(PresetsViewController::kZoomValue);
}

void PresetCellDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    const QRect cell = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const QColor accent = outlineColor();

    if (selected) {
        QPainterPath back;
        back.addRoundedRect(QRectF(cell).adjusted(1, 1, -1, -1), 6, 6);
        p->fillPath(back, QColor(accent.red(), accent.green(), accent.blue(), 110));
    }

    // The picture, fitted into the cell above the title, on its shadow.
    const QRect room = cell.adjusted(8, 8, -8, -8 - kTitleHeight);
    const QImage image = index.data(Qt::DecorationRole).value<QImage>();
    QRect frame = room;
    if (!image.isNull()) {
        const QSize fitted = image.size().scaled(room.size(), Qt::KeepAspectRatio);
        frame = QRect(QPoint(0, 0), fitted);
        frame.moveCenter(room.center());
    }
    p->fillRect(frame.translated(kShadowOffset, kShadowOffset), QColor(0, 0, 0, 120));
    if (!image.isNull()) p->drawImage(frame, image);
    else p->fillRect(frame, QColor(40, 40, 40));
    p->setPen(QPen(accent, selected ? 2.0 : 1.0));
    p->setBrush(Qt::NoBrush);
    p->drawRect(QRectF(frame).adjusted(0.5, 0.5, -0.5, -0.5));

    // The title, white, elided to the cell.
    const QRect titleRect(cell.left() + 4, cell.bottom() - kTitleHeight - 4, cell.width() - 8, kTitleHeight);
    p->setPen(Qt::white);
    const QString title = option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle,
                                                        titleRect.width());
    p->drawText(titleRect, Qt::AlignCenter, title);
    p->restore();
}

// ---------------------------------------------------------------------------
// The controller

PresetsViewController::PresetsViewController(QListView* browser, PresetsViewOwner* owner, QObject* parent)
    : QObject(parent), presetsBrowserView(browser), audioController(owner), model_(new Model(this)) {
    if (!browser) return;
    browser->setViewMode(QListView::IconMode);
    browser->setMovement(QListView::Static);  // no reordering
    browser->setDragEnabled(false);
    browser->setAcceptDrops(false);
    browser->setDragDropMode(QAbstractItemView::NoDragDrop);
    browser->setSelectionMode(QAbstractItemView::SingleSelection);
    browser->setResizeMode(QListView::Adjust);
    browser->setWrapping(true);
    browser->setUniformItemSizes(true);
    const QSize cell = PresetCellDelegate::cellSize(kZoomValue);
    browser->setGridSize(cell + QSize(kHorizontalSpacing, kVerticalSpacing));
    browser->setIconSize(cell);
    browser->setItemDelegate(new PresetCellDelegate(browser));
    browser->setFrameShape(QFrame::NoFrame);
    // A clear background: the window shows through.
    browser->setAutoFillBackground(false);
    browser->viewport()->setAutoFillBackground(false);
    browser->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    QPalette pal = browser->palette();
    pal.setColor(QPalette::Highlight, PresetCellDelegate::outlineColor());
    pal.setColor(QPalette::Text, Qt::white);
    browser->setPalette(pal);
    browser->setModel(model_);
    connect(browser->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { imageBrowserSelectionDidChange(); });
}

void PresetsViewController::updatePresetImages() {
    if (audioController) updateDataSourceWithArray(audioController->presetFileURLs());
}

void PresetsViewController::updateDataSourceWithArray(const QList<QUrl>& urls) {
    presetImages.clear();
    for (const QUrl& url : urls) {
        if (!audioController) break;
        QImage image = audioController->presetThumbnail(url);
        if (image.isNull()) continue;
        presetImages.push_back(PresetImage{presetVersion, std::move(image), url});
    }
    ++presetVersion;
    // A reload is no choice of the user's: it applies nothing.
    const QSignalBlocker quiet(presetsBrowserView ? presetsBrowserView->selectionModel() : nullptr);
    model_->reload();
}

const PresetImage* PresetsViewController::imageBrowserItemAtIndex(qsizetype index) const {
    if (index < 0 || size_t(index) >= presetImages.size()) return nullptr;
    return &presetImages[size_t(index)];
}

uint64_t PresetsViewController::firstSelectedIndex() const {
    if (!presetsBrowserView || !presetsBrowserView->selectionModel()) return kNotFound;
    const QModelIndexList rows = presetsBrowserView->selectionModel()->selectedIndexes();
    if (rows.isEmpty()) return kNotFound;
    int first = rows.front().row();
    for (const QModelIndex& i : rows) first = std::min(first, i.row());
    return uint64_t(first);
}

void PresetsViewController::imageBrowserSelectionDidChange() {
    if (!presetsBrowserView) return;
    if (!audioController || !audioController->canApplyPresetFromBrowser()) {
        const QSignalBlocker quiet(presetsBrowserView->selectionModel());
        presetsBrowserView->selectionModel()->clearSelection();
        presetsBrowserView->viewport()->update();
        return;
    }
    const uint64_t first = firstSelectedIndex();
    if (first == kNotFound) return;
    currentSelectedPreset = first;
    audioController->applySelectedPreset();
}

// ---------------------------------------------------------------------------
// The window

PresetsWindow::PresetsWindow(QWidget* parent) : QWidget(parent, kFloatingPanelFlags) {
    makeFloatingPanel(this);
    setWindowTitle(QStringLiteral("Presets"));
    setObjectName(QStringLiteral("presetsWindow"));
    resize(560, 420);
    auto* layout = new QVBoxLayout(this);
    presetsBrowserView = new QListView(this);
    presetsBrowserView->setObjectName(QStringLiteral("presetsBrowserView"));
    layout->addWidget(presetsBrowserView, 1);

    auto* row = new QHBoxLayout;
    presetsTextField = new QLineEdit(this);
    presetsTextField->setObjectName(QStringLiteral("presetsTextField"));
    presetsTextField->setPlaceholderText(QStringLiteral("Preset name"));
    saveButton = new QPushButton(QStringLiteral("Save"), this);
    deleteButton = new QPushButton(QStringLiteral("Delete"), this);
    copyButton = new QPushButton(QStringLiteral("Copy"), this);
    copyButton->setToolTip(QStringLiteral("Copy the selected track's settings as a preset"));
    row->addWidget(new QLabel(QStringLiteral("Name:"), this));
    row->addWidget(presetsTextField, 1);
    row->addWidget(saveButton);
    row->addWidget(deleteButton);
    row->addWidget(copyButton);
    layout->addLayout(row);
}
