#include "views/LibraryView.h"

#include "platform/core/MainQueue.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetTrack.h"
#include "views/Fonts.h"

#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolTip>

#include <cmath>

namespace {

const QColor kNameColour = QColor::fromRgbF(1.0f, 0.772f, 0.19f);

QString fileName(const LibraryItemRecord& record) {
    return QFileInfo(record.libraryAudioTrevalunePath).fileName();
}

// The file manager with the file selected: the desktop's file-manager
// service when the session has one, else the folder opened.
void revealInFileManager(const QString& path) {
    const QString uri = QUrl::fromLocalFile(path).toString();
    const bool shown = QProcess::startDetached(
        QStringLiteral("dbus-send"),
        {QStringLiteral("--session"), QStringLiteral("--dest=org.freedesktop.FileManager1"),
         QStringLiteral("--type=method_call"), QStringLiteral("/org/freedesktop/FileManager1"),
         QStringLiteral("org.freedesktop.FileManager1.ShowItems"), QStringLiteral("array:string:") + uri,
         QStringLiteral("string:")});
    if (!shown) QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

}  // namespace

QList<QUrl> libraryDragUrls(const QMimeData* data) {
    QList<QUrl> urls;
    if (!data || !data->hasFormat(QLatin1String(kLibraryDragFormat))) return urls;
    const QList<QByteArray> lines = data->data(QLatin1String(kLibraryDragFormat)).split('\n');
    for (const QByteArray& line : lines)
        if (!line.isEmpty()) urls.append(QUrl::fromEncoded(line));
    return urls;
}

LibraryView::LibraryView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    setMouseTracking(false);
    openFileManager = revealInFileManager;
    // A file FFmpeg opens with a sound or picture stream, whatever its name.
    isMediaFile = [](const QString& path) {
        const auto asset = Asset::load(path);
        return asset && (!asset->tracksWithMediaType(MediaType::Audio).empty() ||
                         !asset->tracksWithMediaType(MediaType::Video).empty());
    };
    startDrag = [this](const QUrl& url, const QImage& image) {
        auto* mime = new QMimeData;
        mime->setData(QLatin1String(kLibraryDragFormat), url.toEncoded());
        auto* drag = new QDrag(this);
        drag->setMimeData(mime);
        if (!image.isNull()) {
            drag->setPixmap(QPixmap::fromImage(image));
            drag->setHotSpot(QPoint(image.width() / 2, image.height() / 2));
        }
        drag->exec(Qt::CopyAction);
    };
}

qint64 LibraryView::rowAt(double y) const {
    const double h = indexHeight;
    const auto count = qint64(urlArray.size());
    if (y < 5 || y > h * double(count) + 5 || !(h > 0)) return -1;
    const auto row = qint64(std::floor((y - 5) / h));
    return row < count ? row : -1;
}

QRectF LibraryView::placeholderRect() const {
    return QRectF(width() / 2.0 - 54, height() / 2.0 - 50, 111, 70);
}

const LibraryItemRecord* LibraryView::selectedRecord() const {
    if (selectedItem < 0 || selectedItem >= qint64(urlArray.size())) return nullptr;
    return &urlArray[size_t(selectedItem)];
}

// ---- drawing

void LibraryView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const double W = width(), H = height(), h = indexHeight;
    p.fillRect(rect(), QColor::fromRgbF(0.11f, 0.11f, 0.11f));
    QPen frame(Qt::black, 1);
    frame.setJoinStyle(Qt::RoundJoin);
    frame.setCapStyle(Qt::RoundCap);
    p.setPen(frame);
    p.drawRect(QRectF(0.5, 0.5, W - 1, H - 1));
    p.setRenderHint(QPainter::Antialiasing, true);

    if (urlArray.empty()) {
        QColor colour = kNameColour;
        colour.setAlphaF(float(placeholerAlpha));
        p.setFont(systemFont(16));
        p.setPen(colour);
        const QRectF textRect(W / 2 - 100, H / 2 - 25, 200, 100);
        // The text sits on its first line, centred across the placeholder.
        const QString text = p.fontMetrics().elidedText(QStringLiteral("Add Files"), Qt::ElideRight, 200);
        p.drawText(textRect, Qt::AlignHCenter | Qt::AlignTop, text);

        QPainterPath box;
        box.addRoundedRect(placeholderRect(), 8, 8);
        QPen dash(colour, 2);
        dash.setCapStyle(Qt::RoundCap);
        dash.setJoinStyle(Qt::RoundJoin);
        dash.setDashPattern({6.0 / 2, 16.0 / 2});  // in pen widths
        dash.setDashOffset(20.0 / 2);
        // A soft black shadow under the dashes.
        for (int r = 3; r >= 1; --r) {
            QPen shadow(QColor(0, 0, 0, 40), 2 + 2 * r);
            shadow.setCapStyle(Qt::RoundCap);
            p.strokePath(box, shadow);
        }
        p.strokePath(box, dash);
        return;
    }

    // Only the rows the paint can show.
    const QRect visible = event->rect();
    const qint64 first = std::max<qint64>(0, qint64(std::floor((visible.top() - 5) / h)));
    const qint64 last = std::min<qint64>(qint64(urlArray.size()) - 1, qint64((visible.bottom() - 4) / h));
    p.setFont(systemFont(13));
    for (qint64 i = first; i <= last; ++i) {
        const LibraryItemRecord& record = urlArray[size_t(i)];
        const QRectF band(0, h * double(i) + 4, W, h);
        if (!record.libraryAudioWave.isNull()) {
            p.save();
            p.setOpacity(0.5);
            p.drawImage(band.topLeft(), scaledPicture(record.libraryAudioWave, band.size().toSize()));
            p.restore();
        }
        if (i == selectedItem) p.fillRect(band, QColor::fromRgbF(0.0f, 0.32f, 0.48f, 0.5f));
        p.setPen(kNameColour);
        const QRectF nameRect(10, h * double(i) + 13, W - 20, h);
        p.drawText(nameRect, Qt::AlignLeft | Qt::AlignTop,
                   p.fontMetrics().elidedText(fileName(record), Qt::ElideRight, int(W - 20)));
    }
}

const QImage& LibraryView::scaledPicture(const QImage& picture, QSize size) {
    auto it = scaledPictures_.find(picture.cacheKey());
    if (it == scaledPictures_.end() || it->size() != size) {
        // Pictures of rows that went are dropped now and then.
        if (scaledPictures_.size() > qsizetype(urlArray.size()) * 2 + 8) scaledPictures_.clear();
        it = scaledPictures_.insert(picture.cacheKey(), picture.scaled(size, Qt::IgnoreAspectRatio,
                                                                       Qt::SmoothTransformation));
    }
    return *it;
}

// ---- keyboard and scrolling

QScrollArea* LibraryView::scrollArea() const {
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(w)) return area;
    return nullptr;
}

double LibraryView::visibleTop() const {
    QScrollArea* area = scrollArea();
    return area ? double(area->verticalScrollBar()->value()) : 0.0;
}

void LibraryView::scrollTo(double y) {
    if (QScrollArea* area = scrollArea()) area->verticalScrollBar()->setValue(int(std::lround(std::max(0.0, y))));
}

void LibraryView::keyPressEvent(QKeyEvent* event) {
    if (urlArray.empty()) return QWidget::keyPressEvent(event);
    const double h = indexHeight;
    const auto count = quint64(urlArray.size());
    if (event->key() == Qt::Key_Up) {
        if (selectedItem >= 1) {
            --selectedItem;
            const double d = h * double(selectedItem) - (visibleTop() - 5);
            if (d < 0) scrollTo(selectedItem == 0 ? 0 : h * double(selectedItem) + 5);
            update();
        }
        return;
    }
    if (event->key() == Qt::Key_Down) {
        // Compared unsigned: with no selection nothing moves.
        if (quint64(selectedItem) < count - 1) {
            ++selectedItem;
            const double d = h * double(selectedItem) - (visibleTop() - 5);
            if (d > 205) scrollTo(h * double(selectedItem) - 5 * h + 5);
            update();
        }
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---- mouse

void LibraryView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    startPoint = event->position();
    draggingSessionStarted = false;
    shouldCallOpenFiles = false;
    if (!urlArray.empty()) {
        const double y = startPoint.y();
        // Exactly on the last row's lower edge nothing changes.
        if (y != indexHeight * double(urlArray.size()) + 5) selectedItem = rowAt(y);
        update();
    } else if (placeholderRect().contains(startPoint)) {
        shouldCallOpenFiles = true;
        placeholerAlpha = 1.0;
        update();
    }
}

void LibraryView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const QPointF point = event->position();
    if (urlArray.empty()) {
        shouldCallOpenFiles = placeholderRect().contains(point);
        placeholerAlpha = shouldCallOpenFiles ? 1.0 : 0.5;
        update();
        return;
    }
    const LibraryItemRecord* record = selectedRecord();
    if (draggingSessionStarted || !record) return;
    if (std::hypot(point.x() - startPoint.x(), point.y() - startPoint.y()) <= 4.0) return;
    draggingSessionStarted = true;
    QImage image;
    if (!record->libraryAudioWave.isNull())
        image = record->libraryAudioWave.scaled(std::max(1, width()), 40, Qt::IgnoreAspectRatio,
                                                Qt::SmoothTransformation);
    if (startDrag) startDrag(QUrl::fromLocalFile(record->libraryAudioTrevalunePath), image);
}

void LibraryView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    draggingSessionStarted = false;
    placeholerAlpha = 0.5;
    if (shouldCallOpenFiles) {
        shouldCallOpenFiles = false;
        // After the release has finished: the panel is modal.
        QPointer<LibraryView> self(this);
        MainQueue::instance().perform(this, QStringLiteral("addFilesToLibrary"), QVariant(), [self] {
            if (self && self->audioController) self->audioController->addFilesToLibrary();
        });
    }
    update();
}

// ---- the context menu

QMenu* LibraryView::libraryMenu(QWidget* parent) {
    auto* menu = new QMenu(QStringLiteral("Library"), parent);
    menu->setObjectName(QStringLiteral("libraryMenu"));
    QPointer<LibraryView> self(this);
    auto owner = [self] { return self ? self->audioController : nullptr; };
    if (const LibraryItemRecord* record = selectedRecord()) {
        const QString path = record->libraryAudioTrevalunePath;
        const qint64 row = selectedItem;
        menu->addAction(QStringLiteral("Quick look..."), this, [self] {
            if (self) self->showLibraryQuickLookPanel();
        });
        QAction* finder = menu->addAction(QStringLiteral("Show in Finder..."), this, [self, path] {
            if (self) self->showInFinderLibraryFile(path);
        });
        finder->setData(path);
        menu->addSeparator();
        menu->addAction(QStringLiteral("Add File to Composition"), this, [owner] {
            if (auto* o = owner()) o->importSelectedLibraryTrackToComposition();
        });
        QAction* remove = menu->addAction(QStringLiteral("Remove selected file"), this, [owner, row] {
            if (auto* o = owner()) o->removeAudioTrackFromLibrary(row);
        });
        remove->setData(row);
        menu->addSeparator();
    }
    menu->addAction(QStringLiteral("Add File(s) to Library"), this, [owner] {
        if (auto* o = owner()) o->addFilesToLibrary();
    });
    if (!urlArray.empty())
        menu->addAction(QStringLiteral("Clear Library"), this, [owner] {
            if (auto* o = owner()) o->clearLibrary();
        });
    return menu;
}

void LibraryView::contextMenuEvent(QContextMenuEvent* event) {
    const double y = event->pos().y();
    selectedItem = (y > 5 && y < indexHeight * double(urlArray.size()) + 5) ? rowAt(y) : -1;
    update();
    QMenu* menu = libraryMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void LibraryView::showInFinderLibraryFile(const QString& path) {
    if (openFileManager && !path.isEmpty()) openFileManager(path);
}

void LibraryView::showLibraryQuickLookPanel() {
    quickLookCalledFromLibrary = true;
    if (audioController) audioController->showQuickLookPanel();
}

// ---- tool tips

void LibraryView::removeAllToolTips() { toolTips_.clear(); }

int LibraryView::addToolTipRect(const QRectF& rect) {
    const int tag = nextToolTipTag_++;
    toolTips_.push_back({rect, tag});
    return tag;
}

QString LibraryView::stringForToolTip(int tag) const {
    for (const LibraryItemRecord& record : urlArray)
        if (record.libraryTooltipTag == tag) return fileName(record);
    return QString();
}

int LibraryView::toolTipTagAt(const QPointF& point) const {
    for (const ToolTip& tip : toolTips_)
        if (tip.rect.contains(point)) return tip.tag;
    return 0;
}

bool LibraryView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int tag = toolTipTagAt(help->pos());
        const QString text = tag ? stringForToolTip(tag) : QString();
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QWidget::event(event);
}

// ---- drops

void LibraryView::dragEnterEvent(QDragEnterEvent* event) {
    // A row dragged from the list itself is no new file.
    const bool urls = event->mimeData()->hasUrls() && !event->mimeData()->hasFormat(QLatin1String(kLibraryDragFormat));
    dragOperation = urls ? 1 : 0;
    if (dragOperation) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void LibraryView::dragMoveEvent(QDragMoveEvent* event) {
    if (dragOperation) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

bool LibraryView::performDrop(const QList<QUrl>& dropped) {
    QList<QUrl> urls;
    for (const QUrl& url : dropped)
        if (url.isLocalFile()) urls.append(url);
    if (urls.isEmpty()) return false;
    // The first file decides for all of them.
    if (!isMediaFile || !isMediaFile(urls.first().toLocalFile())) return false;
    QPointer<LibraryView> self(this);
    MainQueue::instance().perform(this, QStringLiteral("addAudioTracksToLibrary"), QVariant(), [self, urls] {
        if (self && self->audioController) self->audioController->addAudioTracksToLibrary(urls);
    });
    return true;
}

void LibraryView::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls() || !performDrop(event->mimeData()->urls())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
