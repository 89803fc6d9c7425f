// The media library's commands: the list built from the folder, files and
// tracks added with their pictures, removal, clearing, and the files added
// to the composition from the list and the main menu.
#include "app/Alerts.h"
#include "app/AudioController.h"
#include "engine/MusicFilter.h"
#include "library/LibraryFolder.h"
#include "library/LibraryPanel.h"
#include "platform/core/MainQueue.h"
#include "platform/core/PartialFiles.h"
#include "platform/media/Asset.h"
#include "platform/media/MediaWorkers.h"
#include "views/FilePanels.h"
#include "views/LibraryView.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSet>
#include <QPainter>
#include <QStandardPaths>

#include <cstdio>

namespace {

// The list's requests, passed on to the controller.
class LibraryOwner final : public QObject, public LibraryViewOwner {
public:
    explicit LibraryOwner(AudioController* c) : QObject(c), c_(c) {}
    void addFilesToLibrary() override { c_->addFilesToLibrary(); }
    void addAudioTracksToLibrary(const QList<QUrl>& urls) override { c_->addAudioTracksToLibrary(urls); }
    void importSelectedLibraryTrackToComposition() override { c_->importSelectedLibraryTrackToComposition(); }
    void removeAudioTrackFromLibrary(qint64 row) override { c_->removeAudioTrackFromLibrary(row); }
    void clearLibrary() override { c_->clearLibrary(); }
    void showQuickLookPanel() override { c_->showQuickLookPanel(); }

private:
    AudioController* c_;
};

QString canonical(const QString& path) {
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QFileInfo(path).absoluteFilePath() : c;
}

FilesPanelRunner& filesPanelRunner() {
    static FilesPanelRunner runner;
    return runner;
}

}  // namespace

void setFilesPanelRunner(FilesPanelRunner runner) { filesPanelRunner() = std::move(runner); }

QList<QUrl> runFilesPanel(QWidget* parent, const FilesPanelRequest& request) {
    if (filesPanelRunner()) return filesPanelRunner()(parent, request);
    QFileDialog panel(parent, request.title);
    panel.setOption(QFileDialog::DontUseNativeDialog, true);
    panel.setFileMode(QFileDialog::ExistingFiles);
    panel.setAcceptMode(QFileDialog::AcceptOpen);
    panel.setLabelText(QFileDialog::Accept, request.prompt);
    showPanelMessage(panel, request.message);
    panel.setOption(QFileDialog::ReadOnly, true);  // no new folders
    panel.setNameFilter(request.nameFilter);
    panel.setDirectory(QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
    if (panel.exec() != QDialog::Accepted) return {};
    return panel.selectedUrls();
}

// ---------------------------------------------------------------------------
// The picture

QImage AudioController::waveformBitmapForURL(const QUrl& url) const {
    return medialibrary::waveformPictureForFile(url.toLocalFile());
}

// ---------------------------------------------------------------------------
// Helpers of the commands

namespace {

bool libraryFolderMissing(AudioController* c) {
    if (!c->library.mediaLibraryPath.isEmpty() && QFileInfo(c->library.mediaLibraryPath).isDir()) return false;
    runModalAlert(c->ui.window,
                  AlertRequest{QStringLiteral("The Media Library is not available."),
                               QStringLiteral("Its folder could not be found or made in the Music folder."),
                               {QStringLiteral("OK")}});
    return true;
}

bool trackUsesFile(AudioController* c, const QString& path) {
    if (!c->ui.audioView) return false;
    const QString target = canonical(path);
    for (const TrackRecord& record : c->ui.audioView->audioTracks)
        if (record.audioURL.isLocalFile() && canonical(record.audioURL.toLocalFile()) == target) return true;
    return false;
}

void removeFileAndPicture(const QString& path) {
    QFile::remove(path);
    const QString picture = medialibrary::picturePathFor(path);
    if (QFileInfo(picture).isFile()) QFile::remove(picture);
}

LibraryItemRecord* recordForPath(LibraryView* view, const QString& path) {
    if (!view) return nullptr;
    for (LibraryItemRecord& record : view->urlArray)
        if (record.libraryAudioTrevalunePath == path) return &record;
    return nullptr;
}

// Size, tool tips and redisplay of the list.
void resizeLibrary(AudioController* c) {
    LibraryView* view = c->ui.libraryView;
    if (!view) return;
    view->resize(view->width(), int(medialibrary::viewHeight(qsizetype(view->urlArray.size()), view->indexHeight)));
}

void setupToolTips(AudioController* c) {
    LibraryView* view = c->ui.libraryView;
    if (!view) return;
    view->removeAllToolTips();
    const double h = view->indexHeight;
    for (size_t i = 0; i < view->urlArray.size(); ++i)
        view->urlArray[i].libraryTooltipTag =
            view->addToolTipRect(QRectF(0, h * double(i) + 5, view->width(), h));
}

}  // namespace

// The picture of a library file, made on a worker and stored beside the
// file; the row shows it when it is there. `bitmap`, when given, is the
// coverage of a track's waveform, used in place of decoding the file.
static void makeLibraryPicture(AudioController* c, const QString& path, const QImage& bitmap = {}) {
    const quint64 request = ++c->library.libraryPictureRequests;
    c->library.pendingLibraryPictures[path] = request;
    const QString picturePath = medialibrary::picturePathFor(path);
    // The picture waits between the worker and the main thread under a
    // hidden temporary name, so that a listing never takes it for a library
    // file; the main thread renames it when it is still the one wanted.
    const QString pending = partialfiles::temporaryPathFor(picturePath);
    QPointer<AudioController> self(c);
    mediaworkers::start(mediaworkers::Work::Decode, [self, c, path, picturePath, pending, request, bitmap] {
        QImage picture;
        if (!bitmap.isNull()) {
            picture = QImage(bitmap.size(), QImage::Format_ARGB32_Premultiplied);
            picture.fill(Qt::white);
            QPainter p(&picture);
            p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            p.drawImage(0, 0, bitmap);
        } else {
            picture = medialibrary::waveformPictureForFile(path);
        }
        const bool written = partialfiles::writeTemporary(
            pending, [&](const QString& temporary) { return medialibrary::writePicture(picture, temporary); },
            partialfiles::Durability::Synced);
        MainQueue::async([self, c, path, picturePath, pending, request, written, picture] {
            const bool current = self && c->library.pendingLibraryPictures.value(path) == request;
            LibraryItemRecord* record = current ? recordForPath(c->ui.libraryView, path) : nullptr;
            if (!record) {
                // The file went, or a newer picture is on its way.
                if (written) QFile::remove(pending);
                return;
            }
            c->library.pendingLibraryPictures.remove(path);
            // Synced on the worker already: the rename here, and the folder's
            // sync, which may wait for the disk, back on a worker.
            if (written && partialfiles::putInPlace(pending, picturePath, partialfiles::Durability::Unsynced))
                mediaworkers::start(mediaworkers::Work::Picture, [picturePath] { partialfiles::syncFolderOf(picturePath); });
            record->libraryAudioWave = picture;
            if (c->ui.libraryView) c->ui.libraryView->update();
        });
    });
}

void AudioController::updateLibraryMenu() {
    QAction* item = ui.importFromLibraryMenuItem;
    if (!item) return;
    if (QMenu* old = item->menu()) {
        item->setMenu(nullptr);
        old->deleteLater();
    }
    LibraryView* view = ui.libraryView;
    // The title is the submenu's own; the main menu shows the item's.
    auto* menu = new QMenu(ui.window);
    if (!view || view->urlArray.empty()) {
        menu->setTitle(QStringLiteral("No Files"));
        menu->addAction(QStringLiteral("No Files"))->setEnabled(false);
    } else {
        menu->setTitle(QStringLiteral("Library Menu"));
        for (size_t i = 0; i < view->urlArray.size(); ++i) {
            const qint64 row = qint64(i);
            QAction* action = menu->addAction(QFileInfo(view->urlArray[i].libraryAudioTrevalunePath).fileName());
            action->setData(row);
            connect(action, &QAction::triggered, this, [this, row] { importFileToCompositionFromMenu(row); });
        }
    }
    item->setMenu(menu);
}

// ---------------------------------------------------------------------------
// The commands

void AudioController::setupLibraryList() {
    LibraryView* view = ui.libraryView;
    if (!view) return;
    if (!library.libraryOwner) library.libraryOwner = new LibraryOwner(this);
    view->audioController = library.libraryOwner;
    view->urlArray.clear();
    view->selectedItem = -1;
    view->indexHeight = 40.0;
    view->placeholerAlpha = 0.5;
    updateLibraryMenu();
}

void AudioController::addURLsToLibrary() {
    LibraryView* view = ui.libraryView;
    if (!view) return;
    if (!library.mediaLibraryPath.isEmpty()) {
        for (LibraryItemRecord& record : medialibrary::recordsForFolder(library.mediaLibraryPath))
            view->urlArray.push_back(std::move(record));
    }
    medialibrary::sortRecords(view->urlArray);
    resizeLibrary(this);
    setupToolTips(this);
    view->selectedItem = view->urlArray.empty() ? -1 : 0;
    updateLibraryMenu();
    QPointer<LibraryView> v(view);
    MainQueue::async([v] {
        if (v) v->update();
    });
}

void AudioController::addFilesToLibrary() {
    QStringList patterns;
    for (const QString& ext : Asset::audiovisualExtensions()) patterns << QStringLiteral("*.") + ext;
    const QList<QUrl> urls =
        runFilesPanel(ui.window, FilesPanelRequest{QStringLiteral("Select Audio File(s)"),
                                                   QStringLiteral("Select the audio file(s) you want to import."),
                                                   QStringLiteral("Import to Library"),
                                                   QStringLiteral("Audio and video files (%1)")
                                                       .arg(patterns.join(QLatin1Char(' ')))});
    if (urls.isEmpty()) return;
    QPointer<AudioController> self(this);
    MainQueue::instance().perform(this, QStringLiteral("addAudioTracksToLibrary"), QVariant(), [self, urls] {
        if (self) self->addAudioTracksToLibrary(urls);
    });
}

// One file of an add: where it goes, and whether it takes the place of a
// file of the same name.
struct LibraryCopy {
    QUrl source;
    QString destination;
    bool replacing = false;
    bool copied = false;
};

// Copies the files on a worker, in order, each under a temporary name renamed
// into place once complete; `done` runs on the main thread with the results.
static void copyIntoLibrary(AudioController* c, std::vector<LibraryCopy> plan,
                            std::function<void(AudioController*, std::vector<LibraryCopy>&)> done) {
    ++c->library.libraryCopiesRunning;
    QPointer<AudioController> self(c);
    mediaworkers::start(mediaworkers::Work::Load, [self, c, plan = std::move(plan), done = std::move(done)]() mutable {
        for (LibraryCopy& copy : plan)
            copy.copied = medialibrary::copyIntoPlace(copy.source.toLocalFile(), copy.destination);
        MainQueue::async([self, c, plan = std::move(plan), done = std::move(done)]() mutable {
            if (!self) return;
            --c->library.libraryCopiesRunning;
            for (const LibraryCopy& copy : plan) {
                // The old picture goes with the old file; the new one follows.
                if (copy.copied && copy.replacing) {
                    const QString oldPicture = medialibrary::picturePathFor(copy.destination);
                    if (QFileInfo(oldPicture).isFile()) QFile::remove(oldPicture);
                }
            }
            done(c, plan);
        });
    });
}

void AudioController::addAudioTracksToLibrary(const QList<QUrl>& urls) {
    LibraryView* view = ui.libraryView;
    if (!view || libraryFolderMissing(this)) return;
    const QString folder = library.mediaLibraryPath;
    // The questions first, one per clash; the copies then run off the main
    // thread, and the list is refreshed once when they are done.
    std::vector<LibraryCopy> plan;
    QSet<QString> planned;
    for (const QUrl& url : urls) {
        const QString source = url.toLocalFile();
        const QString fileName = QFileInfo(source).fileName();
        QString destination = folder + QLatin1Char('/') + fileName;
        bool replacing = false;
        if (QFileInfo(destination).isDir()) continue;
        if (QFileInfo::exists(destination) || planned.contains(destination)) {
            const int answer = runModalAlert(
                ui.window, AlertRequest{QStringLiteral("Do you want to replace existing file?"),
                                        QStringLiteral("File already exists in Library: %1.").arg(fileName),
                                        {QStringLiteral("Replace"), QStringLiteral("Rename"), QStringLiteral("Cancel")}});
            if (answer == 0) {
                // A file that a track plays stays as it is.
                if (trackUsesFile(this, destination) || canonical(source) == canonical(destination)) continue;
                replacing = true;
            } else if (answer == 1) {
                destination = medialibrary::renamedDestination(folder, fileName, planned);
            } else {
                continue;
            }
        }
        planned.insert(destination);
        plan.push_back(LibraryCopy{url, destination, replacing});
    }
    copyIntoLibrary(this, std::move(plan), [](AudioController* c, std::vector<LibraryCopy>& done) {
        LibraryView* view = c->ui.libraryView;
        if (!view) return;
        for (LibraryCopy& copy : done) {
            if (!copy.copied) continue;
            if (LibraryItemRecord* old = recordForPath(view, copy.destination)) {
                old->libraryAudioURL = copy.source;
                old->libraryAudioWave = QImage();
            } else {
                LibraryItemRecord record;
                record.libraryAudioURL = copy.source;
                record.libraryAudioTrevalunePath = copy.destination;
                view->urlArray.push_back(std::move(record));
            }
            makeLibraryPicture(c, copy.destination);
        }
        resizeLibrary(c);
        medialibrary::sortRecords(view->urlArray);
        setupToolTips(c);
        c->updateLibraryMenu();
        view->selectedItem = -1;
        view->update();
    });
}

void AudioController::menuAddAudioTrackToLibrary() {
    MusicFilter* track = trackAt(currentSelectedAudio.load());
    if (!track || !track->playerAsset) return;
    addAudioTrackToLibrary(track->playerAsset->url(), track);
}

void AudioController::addAudioTrackToLibrary(const QUrl& source, MusicFilter* track) {
    LibraryView* view = ui.libraryView;
    if (!view || libraryFolderMissing(this)) return;
    const QString folder = library.mediaLibraryPath;
    const QString sourcePath = source.toLocalFile();
    const QString name = track && !track->nameOfSourceTrack.isEmpty() ? track->nameOfSourceTrack
                                                                      : QFileInfo(sourcePath).fileName();
    QString destination = folder + QLatin1Char('/') + name;
    bool replacing = false;
    if (QFileInfo(destination).isDir()) return;
    if (QFileInfo::exists(destination)) {
        const int answer = runModalAlert(
            ui.window, AlertRequest{QStringLiteral("Do you want to replace existing file?"),
                                    QStringLiteral("File already exists in Library."),
                                    {QStringLiteral("Replace"), QStringLiteral("Rename"), QStringLiteral("Cancel")}});
        if (answer == 0) {
            if (trackUsesFile(this, destination) || canonical(sourcePath) == canonical(destination)) return;
            replacing = true;
        } else if (answer == 1) {
            destination = medialibrary::renamedDestination(folder, QFileInfo(sourcePath).fileName());
        } else {
            return;
        }
    }
    // The library keeps the source file, unedited: its picture is the
    // track's first, drawn from that file before any edit. A track without
    // one gets the file's own.
    QImage bitmap;
    if (track && !track->filterBitmaps.isEmpty()) bitmap = track->filterBitmaps.front();
    std::vector<LibraryCopy> plan{LibraryCopy{source, destination, replacing}};
    copyIntoLibrary(this, std::move(plan), [bitmap](AudioController* c, std::vector<LibraryCopy>& done) {
        LibraryView* view = c->ui.libraryView;
        const LibraryCopy& copy = done.front();
        if (!view || !copy.copied) return;
        std::erase_if(view->urlArray, [&](const LibraryItemRecord& r) {
            return r.libraryAudioTrevalunePath == copy.destination;
        });
        LibraryItemRecord record;
        record.libraryAudioURL = copy.source;
        record.libraryAudioTrevalunePath = copy.destination;
        view->urlArray.push_back(std::move(record));
        makeLibraryPicture(c, copy.destination, bitmap);

        view->selectedItem = -1;
        resizeLibrary(c);
        medialibrary::sortRecords(view->urlArray);
        for (size_t i = 0; i < view->urlArray.size(); ++i)
            if (view->urlArray[i].libraryAudioTrevalunePath == copy.destination) view->selectedItem = qint64(i);
        setupToolTips(c);
        c->updateLibraryMenu();
        view->update();
    });
}

void AudioController::removeAudioTrackFromLibrary(qint64 row) {
    LibraryView* view = ui.libraryView;
    if (!view || view->urlArray.empty() || row < 0 || row >= qint64(view->urlArray.size()) ||
        shell.audioControllerIsWorking)
        return;
    const QString path = view->urlArray[size_t(row)].libraryAudioTrevalunePath;
    if (trackUsesFile(this, path)) return;
    if (libraryFolderMissing(this)) return;
    const int answer = runModalAlert(ui.window, AlertRequest{QStringLiteral("Do you want to remove this file from Library?"),
                                                             QFileInfo(path).fileName(),
                                                             {QStringLiteral("Remove"), QStringLiteral("Cancel")}});
    if (answer != 0) return;
    removeFileAndPicture(path);
    library.pendingLibraryPictures.remove(path);
    // The row may have moved while the question was up.
    std::erase_if(view->urlArray, [&](const LibraryItemRecord& r) { return r.libraryAudioTrevalunePath == path; });
    setupToolTips(this);
    resizeLibrary(this);
    updateLibraryMenu();
    view->selectedItem = -1;
    view->update();
}

void AudioController::clearLibrary() {
    LibraryView* view = ui.libraryView;
    if (!view || libraryFolderMissing(this)) return;
    const int answer = runModalAlert(ui.window, AlertRequest{QStringLiteral("This will remove all files from Library."),
                                                             QStringLiteral("Continue?"),
                                                             {QStringLiteral("Clear"), QStringLiteral("Cancel")}});
    if (answer != 0) return;
    // Files that tracks of the composition play stay, with their pictures
    // and rows.
    const QString folder = library.mediaLibraryPath;
    for (const QString& name : medialibrary::libraryFiles(folder)) {
        const QString path = folder + QLatin1Char('/') + name;
        if (trackUsesFile(this, path)) continue;
        removeFileAndPicture(path);
        library.pendingLibraryPictures.remove(path);
    }
    // Pictures left without their file.
    for (const QFileInfo& entry : QDir(folder).entryInfoList({QStringLiteral("*.tiff")}, QDir::Files)) {
        if (entry.suffix() != QLatin1String("tiff")) continue;
        bool owned = false;
        for (const QString& name : medialibrary::libraryFiles(folder))
            if (medialibrary::picturePathFor(folder + QLatin1Char('/') + name) == entry.filePath()) owned = true;
        if (!owned) QFile::remove(entry.filePath());
    }
    std::erase_if(view->urlArray, [&](const LibraryItemRecord& r) {
        return !QFileInfo::exists(r.libraryAudioTrevalunePath);
    });
    view->selectedItem = -1;
    setupToolTips(this);
    updateLibraryMenu();
    resizeLibrary(this);
    view->update();
}

void AudioController::importFileToCompositionFromMenu(qint64 row) {
    LibraryView* view = ui.libraryView;
    if (!view || view->urlArray.empty() || row < 0 || row >= qint64(view->urlArray.size()) ||
        shell.audioControllerIsWorking)
        return;
    view->selectedItem = row;
    addAudioFileToComposition(QUrl::fromLocalFile(view->urlArray[size_t(row)].libraryAudioTrevalunePath));
    view->update();
}

void AudioController::importSelectedLibraryTrackToComposition() {
    LibraryView* view = ui.libraryView;
    if (!view || shell.audioControllerIsWorking) return;
    const LibraryItemRecord* record = view->selectedRecord();
    if (!record) return;
    addAudioFileToComposition(QUrl::fromLocalFile(record->libraryAudioTrevalunePath));
}
