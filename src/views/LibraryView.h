#pragma once

// The media library as a list: one row per library file, its waveform
// picture behind its name. Main thread only. The view keeps the rows and the
// selection; every command (adding, removing, importing, clearing) belongs to
// its owner, reached through LibraryViewOwner, and the requests made from a
// release or a drop reach the owner after the event has finished.

#include <QHash>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <vector>

class QMenu;
class QScrollArea;

// One row of the list.
struct LibraryItemRecord {
    QUrl libraryAudioURL;               // where the file came from (not read)
    QString libraryAudioTrevalunePath;  // the file in the library folder
    QImage libraryAudioWave;            // its picture; null while it has none
    int libraryTooltipTag = 0;          // the row's tool-tip rectangle
};

// What the list asks of the application; each does nothing by default.
class LibraryViewOwner {
public:
    virtual ~LibraryViewOwner() = default;
    virtual void addFilesToLibrary() {}
    virtual void addAudioTracksToLibrary(const QList<QUrl>&) {}
    virtual void importSelectedLibraryTrackToComposition() {}
    virtual void removeAudioTrackFromLibrary(qint64 /*row*/) {}
    virtual void clearLibrary() {}
    // The shared preview panel, for the selected row.
    virtual void showQuickLookPanel() {}
};

class LibraryView : public QWidget {
    Q_OBJECT
public:
    explicit LibraryView(QWidget* parent = nullptr);

    double indexHeight = 40.0;
    std::vector<LibraryItemRecord> urlArray;
    qint64 selectedItem = -1;
    QPointF startPoint;
    // Set when the preview panel opens from here; the panel's controller
    // reads and clears it.
    bool quickLookCalledFromLibrary = false;
    LibraryViewOwner* audioController = nullptr;
    double placeholerAlpha = 0.5;
    bool shouldCallOpenFiles = false;
    int dragOperation = 0;  // 0 none, 1 copy
    bool draggingSessionStarted = false;

    // The row at height y, or -1.
    qint64 rowAt(double y) const;
    // The empty list's "Add Files" area.
    QRectF placeholderRect() const;
    // The selected row's record, or null.
    const LibraryItemRecord* selectedRecord() const;

    // Tool tips: rectangles of the view with tags, as the owner sets them.
    void removeAllToolTips();
    int addToolTipRect(const QRectF& rect);
    QString stringForToolTip(int tag) const;
    int toolTipTagAt(const QPointF& point) const;

    // The "Library" menu for the current selection (the caller owns it).
    QMenu* libraryMenu(QWidget* parent);
    void showInFinderLibraryFile(const QString& path);
    void showLibraryQuickLookPanel();
    // Opens the file manager on a file; replaceable for tests.
    std::function<void(const QString& path)> openFileManager;
    // Starts the drag of a file out of the list; replaceable for tests.
    std::function<void(const QUrl& url, const QImage& image)> startDrag;
    // Whether a dropped file is one the media layer opens as audio or video.
    std::function<bool(const QString& path)> isMediaFile;

    // The drop of URLs on the list: true when taken.
    bool performDrop(const QList<QUrl>& urls);
    // Where the list scrolls: its scroll area, when it has one.
    QScrollArea* scrollArea() const;

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void contextMenuEvent(QContextMenuEvent*) override;
    bool event(QEvent*) override;
    void dragEnterEvent(QDragEnterEvent*) override;
    void dragMoveEvent(QDragMoveEvent*) override;
    void dropEvent(QDropEvent*) override;

private:
    void scrollTo(double y);
    double visibleTop() const;
    struct ToolTip {
        QRectF rect;
        int tag;
    };
    std::vector<ToolTip> toolTips_;
    // Each picture as the rows draw it, scaled once to the row's size and
    // kept by the picture's cache key: a paint never scales 2000 × 400.
    QHash<qint64, QImage> scaledPictures_;
    const QImage& scaledPicture(const QImage& picture, QSize size);
    int nextToolTipTag_ = 1;
};

// The drag of library files carries this format beside the file URL: only
// the application's own views accept a drop that has it.
inline constexpr const char* kLibraryDragFormat = "application/x-trevalune-library-file";

class QMimeData;
// The file URLs a drag from the library carries (empty for any other drag):
// the application's views that take dropped files read them here.
QList<QUrl> libraryDragUrls(const QMimeData* data);
