// Saving the composition into a project folder: the folder, a copy of every
// source in use, "projectData", the folder's icon, and the clean-up of
// visible files the project no longer uses. Every file is written whole under
// a temporary name and renamed into place, and nothing of the previous
// project is replaced before "projectData", so a failed or killed save leaves
// the previous project as it was; a failed save also removes the copies it
// made, and the next save removes what a killed one left.
#include "app/Alerts.h"
#include "app/AudioController.h"
#include "library/ProjectRecords.h"
#include "library/ProjectSaving.h"

#include "engine/MusicFilter.h"
#include "platform/core/MainQueue.h"
#include "platform/media/MediaWorkers.h"
#include "platform/core/PartialFiles.h"
#include "platform/core/UndoManager.h"
#include "platform/media/AssetTrack.h"
#include "platform/media/Composition.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/EQSubview.h"
#include "views/ExportViews.h"
#include "views/StyledControls.h"
#include "views/FilePanels.h"
#include "views/MusicView.h"

#include <QBackingStore>
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpression>
#include <QApplication>
#include <QPushButton>
#include <QSaveFile>

#include <cerrno>
#include <set>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The files directly in the folder: no subfolders, no hidden entries.
QStringList visibleFiles(const QString& folder) {
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) out << QFileInfo(it.next()).absoluteFilePath();
    return out;
}

// A copy is the file it was made from when it has its size and time.
bool sameCopy(const QFileInfo& copy, const QFileInfo& source) {
    return copy.isFile() && copy.size() == source.size() &&
           copy.lastModified() == source.lastModified();
}

bool busy(const AudioController& c) {
    return c.shell.audioControllerIsWorking || c.exporting.exportIsRunning || c.projectSaveIsRunning();
}

// Writes all of `size` bytes at `data` to `fd`, through short counts.
bool writeWhole(int fd, const char* data, size_t size, int* error) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Copies the file at `from` to the new file `to`, whole and on the disk: the
// kernel moves the bytes (copy_file_range) where it can, a buffer of ours
// where it cannot. False with `error` set to the system's reason otherwise.
bool copyWhole(const QString& from, const QString& to, int* error) {
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        *error = errno;
        return false;
    }
    struct stat info {};
    ::fstat(in, &info);
    const int out = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                           info.st_mode & 0777);
    if (out < 0) {
        *error = errno;
        ::close(in);
        return false;
    }
    bool ok = true, kernel = true;
    std::vector<char> buffer;
    for (;;) {
        ssize_t n = 0;
        if (kernel) {
            n = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernel = false;
                continue;
            }
        } else {
            buffer.resize(size_t(1) << 20);
            n = ::read(in, buffer.data(), buffer.size());
            if (n > 0 && !writeWhole(out, buffer.data(), size_t(n), error)) {
                ok = false;
                break;
            }
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = errno;
            ok = false;
            break;
        }
        if (n == 0) break;
    }
    if (ok && ::fsync(out) != 0) {
        *error = errno;
        ok = false;
    }
    ::close(in);
    if (::close(out) != 0 && ok) {
        *error = errno;
        ok = false;
    }
    return ok;
}

// The files a save replaces whole, and what a save killed while writing one
// of them leaves: its temporary file, the name and six letters or digits.
const char* const kReplacedFiles[] = {project::kProjectDataName, ".folder.png", ".directory"};

void removeReplacementLeftovers(const QString& folder) {
    for (const char* name : kReplacedFiles) {
        const QRegularExpression leftover(QStringLiteral("^%1\\.[A-Za-z0-9]{6}$")
                                              .arg(QRegularExpression::escape(QString::fromLatin1(name))));
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            it.next();
            if (leftover.match(it.fileName()).hasMatch()) QFile::remove(it.filePath());
        }
    }
}

// Replaces the file at `path` in one step with `bytes`, written whole: a
// short write (a full disk) or a failed commit leaves the previous file, and
// `why` says what went wrong.
bool replaceFile(const QString& path, const QByteArray& bytes, QString* why) {
    const QString folder = QFileInfo(path).absolutePath();
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *why = errno ? partialfiles::reasonForError(errno, folder) : file.errorString();
        return false;
    }
    // Straight to the descriptor, so that every count and error is seen.
    int error = 0;
    if (!writeWhole(file.handle(), bytes.constData(), size_t(bytes.size()), &error)) {
        *why = partialfiles::reasonForError(error, folder);
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *why = file.error() == QFileDevice::ResourceError ? partialfiles::reasonForError(ENOSPC, folder)
                                                           : file.errorString();
        return false;
    }
    return true;
}

// The project's picture, 1024 by 1024: the window's content, scaled to fit
// on black. Any thread.
QImage iconFromWindowShot(const QImage& shot) {
    QImage icon(1024, 1024, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::black);
    if (shot.isNull() || shot.width() <= 0 || shot.height() <= 0) return icon;
    const double w = shot.width(), h = shot.height();
    const double s = std::min(1024.0 / w, 1024.0 / h);
    QPainter p(&icon);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QRectF(0.5 * (1024 - s * w), 0.5 * (1024 - s * h), s * w, s * h), shot);
    return icon;
}

// The window's content as it was last painted: a copy of its backing store,
// where the platform keeps one in memory (X11 and offscreen do), after what
// waits to be painted. Painting the whole window again for it (grab()) took
// 10 to 50 ms on the main thread; this copy takes a millisecond or two.
QImage windowShotOf(QWidget* window) {
    QCoreApplication::sendPostedEvents(window, QEvent::UpdateRequest);
    QBackingStore* store = window->backingStore();
    QPaintDevice* device = store ? store->paintDevice() : nullptr;
    const QSize size = window->size() * window->devicePixelRatio();
    if (device && device->devType() == QInternal::Image) {
        const auto* image = static_cast<const QImage*>(device);
        if (!image->isNull() && QRect(QPoint(), image->size()).contains(QRect(QPoint(), size)))
            return image->copy(QRect(QPoint(), size));
    }
    return window->grab().toImage();
}

}  // namespace

bool AudioController::verifyPathInDirectory(const QString& folder, const QString& path) {
    const QFileInfo file(path);
    return file.isFile() && !file.isHidden() &&
           QFileInfo(file.absolutePath()).canonicalFilePath() == QFileInfo(folder).canonicalFilePath();
}

QString AudioController::stringForSourceURL(const QUrl& source, const QString& folder, QString* error) {
    if (source.isEmpty()) return QString();
    const QString path = source.toLocalFile();
    if (verifyPathInDirectory(folder, path)) return QFileInfo(path).absoluteFilePath();
    const QFileInfo from(path);
    // The name is taken by another file only when a different source's sum
    // collides: the next free number is used then.
    for (uint64_t suffix = 0;; ++suffix) {
        const QString destination = QDir(folder).filePath(project::sourceCopyName(path, suffix));
        const QFileInfo to(destination);
        if (to.exists() || to.isSymLink()) {
            if (sameCopy(to, from)) return destination;
            continue;
        }
        // The copy takes its name only when whole, so that a name of a copy
        // always holds a whole copy.
        int copyError = 0;
        const bool copied = partialfiles::writeWhole(
            destination,
            [&](const QString& temporary) {
                if (!copyWhole(path, temporary, &copyError)) return false;
                QFile copy(temporary);
                if (copy.open(QIODevice::ReadWrite))
                    copy.setFileTime(from.lastModified(), QFileDevice::FileModificationTime);
                return true;
            },
            partialfiles::Durability::Synced, &copyError);
        if (!copied) {
            if (error)
                *error = QStringLiteral("The file “%1” could not be copied into the project. %2")
                             .arg(from.fileName(), partialfiles::reasonForError(copyError, folder));
            return QString();
        }
        return destination;
    }
}

void AudioController::saveProjectFrom() {
    if (trackCount() == 0) {
        saveDidEnd(true);  // nothing to save: a waiting quit goes on
        return;
    }
    if (busy(*this)) {
        // A quit never ends the application with the composition unsaved.
        if (shell.applicationHasToTerminateAfterSaving && !projectSaveIsRunning())
            runModalAlert(ui.window, AlertRequest{QStringLiteral("The project could not be saved."),
                                                  QStringLiteral("Wait until the current task has ended, then save again."),
                                                  {QStringLiteral("OK")}});
        // A save that runs already ends the way a waiting quit needs.
        if (!projectSaveIsRunning()) saveDidEnd(false);
        return;
    }
    if (!library.projectURL.isEmpty()) {
        beginProjectSave(library.projectURL);
        return;
    }
    saveAsProjectFrom();
}

void AudioController::saveAsProjectFrom() {
    if (trackCount() == 0 || busy(*this)) {
        if (!projectSaveIsRunning()) saveDidEnd(false);
        return;
    }
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    // A project folder is one item of the panel: choosing one replaces it.
    auto* panel = new PackagePanel(ui.window, QString::fromLatin1(project::kProjectExtension), QFileDialog::AcceptSave);
    panel->setNameFilter(QStringLiteral("Projects (*.%1)").arg(project::kProjectExtension));
    panel->selectFile(project::defaultProjectName(QDateTime::currentDateTime()));
    panel->confirmReplace = [panel](const QString& folder) {
        const QFileInfo info(folder);
        return runModalAlert(panel, AlertRequest{QStringLiteral("“%1” already exists. Do you want to replace it?")
                                                     .arg(info.fileName()),
                                                 QStringLiteral("A project with the same name already exists in “%1”. "
                                                                "Replacing it will overwrite its current contents.")
                                                     .arg(QFileInfo(info.absolutePath()).fileName()),
                                                 {QStringLiteral("Replace"), QStringLiteral("Cancel")}}) == 0;
    };
    panel->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<AudioController> self(this);
    connect(panel, &QFileDialog::finished, this, [self, panel](int result) {
        if (!self) return;
        const QList<QUrl> urls = panel->selectedUrls();
        if (result != QDialog::Accepted || urls.isEmpty()) {
            self->saveDidEnd(false);
            return;
        }
        const QUrl url = urls.front();
        // Runs after the sheet has gone.
        MainQueue::async([self, url] {
            if (!self) return;
            if (self->projectSaveIsRunning()) return;
            const QUrl before = self->library.projectURL;
            self->library.projectURL = QUrl();
            self->beginProjectSave(url, before);
        });
    });
    panel->open();
}

void writeProjectSave(ProjectSaveJob& job) {
    const QString& folder = job.folder;
    const QString dataPath = QDir(folder).filePath(QString::fromLatin1(project::kProjectDataName));
    // The visible files before the save: a copy that is not among them was
    // made by this save, and a failed save removes it again.
    std::set<QString> before;
    std::set<QString> kept{dataPath};
    auto fail = [&](const QString& why) {
        for (const QString& path : kept)
            if (path != dataPath && !before.count(path)) QFile::remove(path);
        qWarning("Could not save the project \"%s\": %s", qUtf8Printable(folder), qUtf8Printable(why));
        job.saved = false;
        job.error = why;
    };
    if (folder.isEmpty()) return fail(QStringLiteral("No folder was given."));
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        return fail(QStringLiteral("The folder “%1” could not be made.").arg(QFileInfo(folder).fileName()));
    // What a save or an export killed while writing here left.
    partialfiles::removeLeftovers(folder);
    removeReplacementLeftovers(folder);
    for (const QString& path : visibleFiles(folder)) before.insert(path);

    // The copies, each made before its segment is tested, so that a segment
    // left out of the record still has its source copied and kept.
    QString copyError;
    auto sourcePath = [&](const QUrl& source) {
        const QString p = AudioController::stringForSourceURL(source, folder, &copyError);
        if (!p.isEmpty()) kept.insert(p);
        return p;
    };
    const QImage icon = iconFromWindowShot(job.windowShot);
    for (size_t i = 0; i < job.tracks.size() && i < job.document.size(); ++i) {
        ProjectSaveJob::Track& track = job.tracks[i];
        project::ProjectTrackRecord& r = job.document[i];
        for (ProjectSaveJob::Segment& seg : track.segments) {
            seg.record.filterOriginalPath = sourcePath(seg.original);
            seg.record.filterSegmentPath =
                seg.segmentSource.isEmpty() ? QString() : sourcePath(QUrl::fromLocalFile(seg.segmentSource));
            if (!copyError.isEmpty()) return fail(copyError);
            if (seg.recorded) r.filterTrackSegments.push_back(seg.record);
        }
        // Coverage as the alpha of a colour picture: every TIFF reader keeps it.
        if (!track.wave.isNull())
            r.filterInfo.filterInfoWaveData = project::tiffData(track.wave.convertToFormat(QImage::Format_ARGB32));
        if (!track.thumbnail.isNull())
            r.filterInfo.filterPresetData.presetThumbnailImage = project::tiffData(track.thumbnail);
        if (i == 0) {
            if (r.projectMetadataDictionary) r.projectMetadataDictionary->projectMetadataArtwork = project::tiffData(job.artwork);
            r.projectIconImage = project::tiffData(icon);
        }
    }

    if (QFileInfo(dataPath).isDir())
        return fail(QStringLiteral("“%1” in the folder is a folder.").arg(QString::fromLatin1(project::kProjectDataName)));

    // The data replaces the previous file in one step: until then a failed
    // save has changed nothing of the previous project.
    QString why;
    if (!replaceFile(dataPath, project::encodeProject(job.document), &why))
        return fail(QStringLiteral("The project's data could not be written. %1").arg(why));

    // The folder's picture, for the file managers that show one. The project
    // is saved by now: a picture that cannot be written leaves the old one.
    QByteArray picture;
    {
        QBuffer buffer(&picture);
        buffer.open(QIODevice::WriteOnly);
        icon.scaled(512, 512, Qt::KeepAspectRatio, Qt::SmoothTransformation).save(&buffer, "PNG");
    }
    if (!replaceFile(QDir(folder).filePath(QString::fromLatin1(kReplacedFiles[1])), picture, &why) ||
        !replaceFile(QDir(folder).filePath(QString::fromLatin1(kReplacedFiles[2])), "[Desktop Entry]\nIcon=./.folder.png\n", &why))
        qWarning("The picture of the project \"%s\" could not be written: %s", qUtf8Printable(folder), qUtf8Printable(why));

    // Visible files the project no longer uses go.
    for (const QString& path : visibleFiles(folder))
        if (!kept.count(path)) QFile::remove(path);
    job.saved = true;
}

std::shared_ptr<ProjectSaveJob> AudioController::makeProjectSaveJob(const QUrl& url) {
    auto job = std::make_shared<ProjectSaveJob>();
    job->folder = url.isEmpty() ? QString() : QFileInfo(url.toLocalFile()).absoluteFilePath();
    job->date = project::projectDateText(QDateTime::currentDateTime());
    if (!ui.audioView) return job;
    // The window's own content (never its title bar); the
    // worker makes the project's picture of it.
    if (ui.window) job->windowShot = windowShotOf(ui.window);

    const auto& tracks = ui.audioView->audioTracks;
    for (quint64 i = 0; i < quint64(tracks.size()); ++i) {
        const TrackRecord* record = trackRecordAt(i);
        MusicFilter* t = record ? record->audioFilter.get() : nullptr;
        if (!t) continue;
        project::ProjectTrackRecord r;
        ProjectSaveJob::Track pending;
        if (job->document.empty()) {
            project::ProjectMetadataRecord md;
            if (MetadataPopover* m = exporting.metadataPopover.data()) {
                md.projectMetadataTitle = m->metadataTitleTextField->text();
                md.projectMetadataArtist = m->metadataArtistTextField->text();
                md.projectMetadataComments = m->metadataCommentsTextField->text();
                job->artwork = m->artwork();
            }
            r.projectMetadataDictionary = md;
        }
        const QString name = !t->nameOfSourceTrack.isEmpty() ? t->nameOfSourceTrack
                                                              : QFileInfo(record->audioURL.toLocalFile()).fileName();
        if (t->indexOfUpdatedTrack < t->tempFilterTracks.size()) {
            for (const CompositionSegment& seg : t->tempFilterTracks[t->indexOfUpdatedTrack]->segments()) {
                ProjectSaveJob::Segment s;
                s.original = record->audioURL;
                s.segmentSource = seg.sourcePath();
                s.record.filterNameOfSourceTrack = name;
                const MediaTimeRange src = seg.sourceRange, dst = seg.targetRange;
                const bool valid = src.start.isValid() && src.duration.isValid() && dst.start.isValid() &&
                                   dst.duration.isValid() && src.duration > MediaTime::zero() &&
                                   dst.duration > MediaTime::zero();
                s.recorded = (valid || seg.isEmpty()) && !(seg.isEmpty() && !(dst.duration > MediaTime::zero()));
                if (s.recorded) {
                    // Inserted silence has no source range: its length stands for it.
                    const MediaTimeRange from = seg.isEmpty() ? MediaTimeRange{MediaTime::zero(), dst.duration} : src;
                    s.record.filterSourceTimeRange = {from.start.seconds(), from.duration.seconds()};
                    s.record.filterTargetTimeRange = {dst.start.seconds(), dst.duration.seconds()};
                }
                pending.segments.push_back(std::move(s));
            }
        }

        project::TrackInfoRecord& info = r.filterInfo;
        const QColor color = t->trackColor().toRgb();
        auto* lane = trackLaneOf(t);
        info.filterInfoBaseURL = record->audioURL;
        info.filterInfoTrackColor = {color.redF(), color.greenF(), color.blueF()};
        info.filterInfoTypeOfComposition = t->typeOfComposition;
        const MediaTimeRange range = t->currentTimeRange();
        info.filterInfoCurrentTimeRange = {range.start.seconds(), range.duration.seconds()};
        info.filterInfoDurationInSeconds = t->durationInSeconds;
        info.filterInfoAnimationStart = t->animationStart().seconds();
        info.filterInfoAnimationEnd = t->animationEnd().seconds();
        info.filterInfoAudioOriginInPercent = t->audioOriginInPercent;
        info.filterInfoAudioDurationInPercent = t->audioDurationInPercent;
        if (lane) {
            info.filterInfoAudioViewFrame = QRectF(lane->frameX(), lane->y(), lane->frameWidth(), lane->height());
            info.filterInfoBezierPath = lane->drawingBezierPath.boundingRect();
            info.filterInfoFadeInPercent = lane->fadeInPercent;
            info.filterInfoFadeOutPercent = lane->fadeOutPercent;
            info.filterInfoSelectionPastes = lane->selectionPastes;
            info.filterInfoSelectionPaths = lane->selectionPaths;
        }
        // The pictures are shared, not copied: an edit meanwhile makes new ones.
        if (t->indexOfUpdatedBitmap < quint64(t->filterBitmaps.size()))
            pending.wave = t->filterBitmaps[qsizetype(t->indexOfUpdatedBitmap)];
        info.filterInfoSpeed = t->value(EffectInput::Speed);
        info.filterInfoZoomValue = shell.zoomValue;
        info.filterInfoCompositionDuration = shell.compositionDuration.seconds();

        t->updateListenerParametersFromAudioUnits();
        info.filterPresetData.parameters = parametersDictionaryAtIndex(i);
        if (auto* thumbnail = qobject_cast<MusicView*>(t->imageView.data())) pending.thumbnail = thumbnail->image;
        info.filterPresetData.presetRecordedDictionary = createRecordedDictionaryForPresetAtIndex(i);
        info.filterPresetData.presetRecordedTypeOfCurve = t->typeOfRecordedCurve;

        info.filterInfoActivePluginsName = t->filterActivePluginsName;
        info.filterInfoSwitchedOffPluginsName = t->filterSwitchedOffPluginsName;
        info.filterInfoDynamcAudioUnits = t->dynamicAudioUnits;
        info.filterCurrentSelectedAudio = currentSelectedAudio.load();
        info.filterInfoShowParameterCurve = t->showParameterCurve;
        info.filterMarkersArray = editing.markersArray;
        info.filterCurrentCompositionTime = audioPlayer && audioPlayer->currentItem() ? currentTime() : 0.0;
        info.filterInfoIsRecordingParameters = t->isRecordingParameters;
        info.filterInfoIsDeletingKeyPoints = t->isDeletingKeyPoints;
        info.filterProjectDate = job->date;
        info.filterInfoPluginsPresetsDictionary = t->pluginsPresetsDictionary;
        info.filterInfoPluginsClassInfoDictionary = t->pluginsClassInfosDictionary;
        for (const MidiNoteRecord& n : t->midiArray) info.filterInfoMidiArray.push_back(notelists::exportedNote(n));
        if (auto it = automation.selectionParameters.find(t->identifierOfFilter);
            it != automation.selectionParameters.end())
            info.filterInfoSelectionParameters = it->second;
        job->document.push_back(std::move(r));
        job->tracks.push_back(std::move(pending));
    }
    return job;
}

void AudioController::beginProjectSave(const QUrl& url, std::optional<QUrl> projectBefore) {
    if (projectSaveIsRunning()) return;
    auto job = makeProjectSaveJob(url);
    job->projectBefore = projectBefore.value_or(library.projectURL);
    projectSaving = job;

    // The window stays up and shows that it works; its commands wait behind
    // the sheet, as they do for an export.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ExportSheet* sheet = progressSheet();
    setSheetTexts(QStringLiteral("Saving Project..."), QFileInfo(job->folder).completeBaseName());
    if (sheet->sheetButton) sheet->sheetButton->hide();
    beginProgressSheet([self = QPointer<AudioController>(this)] {
        if (self && self->progressSheet()->sheetButton) self->progressSheet()->sheetButton->show();
    });

    QPointer<AudioController> self(this);
    job->worker = mediaworkers::start(mediaworkers::Work::Save, [self, job] {
        writeProjectSave(*job);
        // Reported on the main thread; dropped when the controller has gone
        // (its destructor waits for this work first).
        MainQueue::async([self, job] { if (self) self->endProjectSave(job); });
    });
}

bool AudioController::projectSaveIsRunning() const { return projectSaving != nullptr; }

void AudioController::endProjectSave(const std::shared_ptr<ProjectSaveJob>& job) {
    if (!job || projectSaving != job) return;
    if (job->worker.valid()) job->worker.wait();
    projectSaving.reset();
    QApplication::restoreOverrideCursor();
    closeSheet();
    applyProjectSave(*job, nullptr);
    saveDidEnd(job->saved);
}

void AudioController::applyProjectSave(const ProjectSaveJob& job, QString* errorOut) {
    if (!job.saved) {
        library.projectURL = job.projectBefore;
        if (errorOut) *errorOut = job.error;
        else
            runModalAlert(ui.window, AlertRequest{QStringLiteral("The project could not be saved."), job.error,
                                                  {QStringLiteral("OK")}});
        return;
    }
    library.projectChangeCount = 0;
    library.projectURL = QUrl::fromLocalFile(job.folder);
    if (UndoManager* panelUndo = audioUnitPanelUndoManager()) panelUndo->removeAllActions();
    if (UndoManager* undo = undoManager()) undo->removeAllActions();
    setDocumentEdited(false);
    if (ui.window) {
        ui.window->setWindowFilePath(job.folder);
        ui.window->setWindowTitle(QFileInfo(job.folder).completeBaseName() + QStringLiteral("[*]"));
    }
    qInfo("Saved the project \"%s\".", qUtf8Printable(job.folder));
}

bool AudioController::saveProjectToURL(const QUrl& url, QString* errorOut) {
    if (projectSaveIsRunning()) {
        if (errorOut) *errorOut = QStringLiteral("Another save is running.");
        return false;
    }
    auto job = makeProjectSaveJob(url);
    job->projectBefore = library.projectURL;
    if (!ui.audioView) {
        job->error = QStringLiteral("No folder was given.");
    } else {
        // The same writing as a save from the menu, waited for here.
        job->worker = mediaworkers::start(mediaworkers::Work::Save, [job] { writeProjectSave(*job); });
        job->worker.wait();
    }
    applyProjectSave(*job, errorOut);
    return job->saved;
}

void AudioController::waitForProjectSave() {
    if (auto job = projectSaving; job && job->worker.valid()) job->worker.wait();
}
