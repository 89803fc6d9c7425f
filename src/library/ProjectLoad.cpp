// Opening a project folder. The whole of "projectData" is read and checked
// before the current composition is touched. Then three stages: the tracks
// are made from the project's copies of their sources (stage 1); once every
// track's media is in the composition, each track gets its edit list, place,
// speed, lane, curves, notes and selections back (stage 2); once a track's
// effect units exist, they take its saved values (stage 3; whichever of
// stage 2 and the units comes second applies them, once). A track whose
// media cannot be read is left out and named, and the others still load.
#include "app/Alerts.h"
#include "app/AudioController.h"
#include "library/ProjectLoading.h"
#include "library/StoredImages.h"

#include "engine/MusicFilter.h"
#include "platform/core/MainQueue.h"
#include "platform/core/UndoManager.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetTrack.h"
#include "platform/media/Composition.h"
#include "platform/media/MediaWorkers.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/EQSubview.h"
#include "views/ExportViews.h"
#include "views/FilePanels.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThreadPool>

#include <algorithm>
#include <map>


namespace {

QString trackNameOf(const project::ProjectTrackRecord& r, size_t index) {
    if (!r.filterTrackSegments.empty()) {
        const auto& s = r.filterTrackSegments.front();
        if (!s.filterNameOfSourceTrack.isEmpty()) return QFileInfo(s.filterNameOfSourceTrack).fileName();
        if (auto name = project::storedFileName(s.filterOriginalPath)) return *name;
    }
    return QStringLiteral("Track %1").arg(index + 1);
}

using project::imageFromData;

// A saved waveform in the form the lanes draw: its coverage only, as the
// pictures the import and the edits make. A coverage picture may come back
// as shades of grey, whose levels are the coverage.
QImage savedWaveform(const QByteArray& bytes) {
    const QImage image = imageFromData(bytes);
    if (image.isNull() || image.format() == QImage::Format_Alpha8) return image;
    if (image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_Alpha8);
    if (!image.isGrayscale()) return QImage();
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    QImage coverage(grey.size(), QImage::Format_Alpha8);
    for (int y = 0; y < grey.height(); ++y)
        std::copy_n(grey.constScanLine(y), grey.width(), coverage.scanLine(y));
    return coverage;
}

}  // namespace

ProjectRead readProject(const QString& folder) {
    ProjectRead out;
    QFile file(QDir(folder).filePath(QString::fromLatin1(project::kProjectDataName)));
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = QStringLiteral("The folder holds no readable project data.");
        return out;
    }
    QString why;
    auto document = project::decodeProject(file.readAll(), &why);
    if (!document) {
        out.error = why;
        return out;
    }
    if (document->empty()) {
        out.error = QStringLiteral("The project holds no tracks.");
        return out;
    }
    // The pictures the load shows, decoded here rather than on the main thread.
    out.icon = imageFromData(document->front().projectIconImage).scaled(100, 100, Qt::KeepAspectRatio,
                                                                          Qt::SmoothTransformation);
    if (document->front().projectMetadataDictionary)
        out.artwork = imageFromData(document->front().projectMetadataDictionary->projectMetadataArtwork);
    out.waveforms.reserve(document->size());
    for (const auto& record : *document) out.waveforms.push_back(savedWaveform(record.filterInfo.filterInfoWaveData));
    out.document = std::move(document);
    return out;
}

void AudioController::loadProjectFrom() {
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    // A project folder is one item: it is chosen, never browsed.
    auto* panel = new PackagePanel(ui.window, QString::fromLatin1(project::kProjectExtension), QFileDialog::AcceptOpen);
    panel->setWindowTitle(QStringLiteral("Select a Project"));
    showPanelMessage(*panel, QStringLiteral("Select the project you want to open."));
    panel->setOption(QFileDialog::ReadOnly, true);  // no new folders
    panel->setLabelText(QFileDialog::Accept, QStringLiteral("Load Project"));
    panel->setNameFilter(QStringLiteral("Projects (*.%1)").arg(project::kProjectExtension));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<AudioController> self(this);
    connect(panel, &QFileDialog::finished, this, [self, panel](int result) {
        const QList<QUrl> urls = panel->selectedUrls();
        if (!self || result != QDialog::Accepted || urls.isEmpty()) return;
        const QUrl url = urls.front();
        MainQueue::async([self, url] {
            if (self) self->loadTrackToCompositionForProject(url);
        });
    });
    panel->open();
}

void AudioController::loadTrackToCompositionForProject(const QUrl& url) {
    const QString folder = QFileInfo(url.toLocalFile()).absoluteFilePath();
    if ((projectLoading && !projectLoading->finished) || exporting.exportIsRunning || projectSaveIsRunning()) return;
    if (QFileInfo(folder).suffix().compare(QLatin1String(project::kProjectExtension), Qt::CaseInsensitive) != 0)
        return refuseProject(folder, QStringLiteral("Only a project folder, whose name ends in “.%1”, can be opened.")
                                         .arg(project::kProjectExtension));
    // "projectData" is read, checked and its pictures decoded on a worker,
    // under the sheet; the composition is touched only once all of it reads.
    auto loading = std::make_shared<ProjectLoading>();
    loading->url = QUrl::fromLocalFile(folder);
    loading->folder = folder;
    loading->reading = true;
    projectLoading = loading;
    ExportSheet* sheet = progressSheet();
    setSheetTexts(QStringLiteral("Loading Project..."), QFileInfo(folder).completeBaseName());
    if (sheet->sheetButton) sheet->sheetButton->hide();
    beginProgressSheet({});
    QPointer<AudioController> self(this);
    mediaworkers::start(mediaworkers::Work::Load, [self, folder, loading] {
        auto read = std::make_shared<ProjectRead>(readProject(folder));
        MainQueue::async([self, loading, read] {
            if (self && self->projectLoading == loading) self->openReadProject(loading, std::move(*read));
        });
    });
}

void AudioController::refuseProject(const QString& folder, const QString& why) {
    qWarning("Could not open the project \"%s\": %s", qUtf8Printable(folder), qUtf8Printable(why));
    runModalAlert(ui.window, AlertRequest{QStringLiteral("The project “%1” could not be opened.")
                                              .arg(QFileInfo(folder).completeBaseName()),
                                          why, {QStringLiteral("OK")}});
}

void AudioController::openReadProject(const std::shared_ptr<ProjectLoading>& loading, ProjectRead read) {
    loading->reading = false;
    const QString folder = loading->folder;
    // Refused or declined: the composition stays as it was.
    auto stop = [&] {
        loading->finished = true;
        closeSheet();
        if (ExportSheet* sheet = progressSheet(); sheet->sheetButton) sheet->sheetButton->show();
    };
    if (!read.document) {
        stop();
        return refuseProject(folder, read.error);
    }
    auto& document = read.document;

    // Work that has not been saved is not thrown away without asking.
    if (trackCount() > 0 && isDocumentEdited()) {
        closeSheet();
        const int answer = runModalAlert(
            ui.window, AlertRequest{QStringLiteral("Do you want to close the current project?"),
                                    QStringLiteral("Its changes have not been saved."),
                                    {QStringLiteral("Ok"), QStringLiteral("Cancel")}});
        if (answer != 0) return stop();
    }
    closeCompositionFrom(false);
    // A composition that was never a project leaves its undo behind too.
    if (UndoManager* undo = undoManager()) undo->removeAllActions();

    loading->document = std::move(*document);
    loading->waveforms = std::move(read.waveforms);
    loading->artwork = std::move(read.artwork);
    library.doNotUpdatePlayerSettings = true;
    library.doNotUpdateNeedsDisplay = true;
    // Every record counts until it is a track in the composition or left out.
    library.trackCounter = loading->document.size();
    beginLoadingTapsFromProject(loading->document.size());
    // The first track takes the project's length from the fields.
    showCompositionDurationInFields(loading->document.front().filterInfo.filterInfoCompositionDuration);

    ExportSheet* sheet = progressSheet();
    setSheetTexts(QStringLiteral("Loading Project..."), QFileInfo(folder).completeBaseName());
    if (sheet->sheetButton) sheet->sheetButton->hide();
    const QImage icon = read.icon;
    if (!icon.isNull()) {
        auto* view = new DrawImageView(sheet);
        view->setObjectName(QStringLiteral("projectIconImageView"));
        // Scaled once, by the read, rather than from the full picture at every paint.
        view->setImage(icon);
        view->setFixedSize(50, 50);
        // Centred in a row of its own below the texts.
        if (auto* grid = qobject_cast<QGridLayout*>(sheet->layout())) grid->addWidget(view, 2, 0, 1, 2, Qt::AlignHCenter);
        view->show();
        loading->projectIconImageView = view;
    }
    QPointer<AudioController> self(this);
    std::weak_ptr<ProjectLoading> weak = loading;
    beginProgressSheet([self, weak] {
        auto l = weak.lock();
        if (l && l->projectIconImageView) l->projectIconImageView->deleteLater();
        if (self && self->progressSheet()->sheetButton) self->progressSheet()->sheetButton->show();
        if (self) self->finishProjectLoading();
    });
    MainQueue::async([self] {
        if (self) self->processLoadingProjectFromUnarchivedArray();
    });
}

void AudioController::processLoadingProjectFromUnarchivedArray() {
    auto loading = projectLoading;
    if (!loading || loading->reading || loading->document.empty() || loading->restoring) return;
    if (loading->nextRecord >= loading->document.size()) {
        if (loading->created.empty()) {
            library.doNotUpdatePlayerSettings = false;
            library.doNotUpdateNeedsDisplay = false;
            endLoadingTapsFromProject();
            closeSheet();
        }
        return;
    }
    const size_t index = loading->nextRecord++;
    const project::ProjectTrackRecord& record = loading->document[index];
    QPointer<AudioController> self(this);
    auto next = [self] {
        MainQueue::async([self] {
            if (self) self->processLoadingProjectFromUnarchivedArray();
        });
    };
    auto leaveOut = [this, loading, index, next](const QString& why) {
        loading->leftOut << QStringLiteral("“%1”: %2").arg(trackNameOf(loading->document[index], index), why);
        if (library.trackCounter > 0) --library.trackCounter;
        countOffProjectTap();
        projectTracksCountedDown();
        next();
    };

    if (record.projectMetadataDictionary) {
        MetadataPopover* m = metadataPopover();
        const auto& md = *record.projectMetadataDictionary;
        m->metadataTitleTextField->setText(md.projectMetadataTitle);
        m->metadataArtistTextField->setText(md.projectMetadataArtist);
        m->metadataCommentsTextField->setText(md.projectMetadataComments);
        m->setArtwork(index == 0 ? loading->artwork : imageFromData(md.projectMetadataArtwork));
    }
    if (record.filterTrackSegments.empty()) return leaveOut(QStringLiteral("it holds no audio."));
    const auto name = project::storedFileName(record.filterTrackSegments.front().filterOriginalPath);
    const QString path = QDir(loading->folder).filePath(name.value_or(QString()));
    if (!name || !QFileInfo(path).isFile()) return leaveOut(QStringLiteral("its file is missing from the project."));

    Asset::loadAsync(path, [self, loading, index, path, leaveOut, next](std::shared_ptr<Asset> asset, const QString& error) {
        if (!self || self->projectLoading != loading) return;
        AudioController& c = *self;
        QString why = error;
        const size_t before = size_t(c.trackCount());
        if (asset) c.addAudioFileWithAsset(QUrl::fromLocalFile(path), asset, &why);
        if (size_t(c.trackCount()) == before)
            return leaveOut(why.isEmpty() ? QStringLiteral("its file could not be read.") : why);
        const project::ProjectTrackRecord& r = loading->document[index];
        const project::TrackInfoRecord& info = r.filterInfo;
        MusicFilter* t = c.trackAt(quint64(c.trackCount() - 1));
        loading->created.emplace_back(c.ui.audioView->audioTracks.back().audioFilter, index);
        t->nameOfSourceTrack = r.filterTrackSegments.front().filterNameOfSourceTrack;
        if (auto* label = qobject_cast<QLabel*>(t->audioLabel.data()))
            label->setText(QFileInfo(t->nameOfSourceTrack).fileName());
        t->listenerParametersUpdated = false;
        for (const auto& bundle : info.filterInfoDynamcAudioUnits) {
            const bool known = std::any_of(t->dynamicAudioUnits.begin(), t->dynamicAudioUnits.end(),
                                           [&](const auto& b) { return b.pluginURI == bundle.pluginURI; });
            if (!known) t->dynamicAudioUnits.append(bundle);
        }
        t->filterActivePluginsName += info.filterInfoActivePluginsName;
        t->filterSwitchedOffPluginsName += info.filterInfoSwitchedOffPluginsName;
        if (!info.filterInfoActivePluginsName.isEmpty() && info.filterPresetData.parameters.filterAudioUnits)
            t->tempAudioUnitsArray = *info.filterPresetData.parameters.filterAudioUnits;
        // The plug-ins' saved state is there before their units are made.
        t->pluginsPresetsDictionary = info.filterInfoPluginsPresetsDictionary;
        t->pluginsClassInfosDictionary = info.filterInfoPluginsClassInfoDictionary;
        next();
    });
}

void AudioController::projectTracksCountedDown() {
    auto loading = projectLoading;
    if (!loading || loading->reading || loading->document.empty() || loading->restoring || library.trackCounter > 0) return;
    if (loading->nextRecord < loading->document.size()) return;
    library.doNotUpdatePlayerSettings = false;
    if (loading->created.empty()) return;
    loading->restoring = true;
    QPointer<AudioController> self(this);
    MainQueue::async([self] {
        if (self) self->completeLoadingProject();
    });
}

bool AudioController::leaveOutProjectTrack(MusicFilter* track, const QString& why) {
    auto loading = projectLoading;
    if (!loading || loading->restoring || loading->finished || !track) return false;
    auto it = std::find_if(loading->created.begin(), loading->created.end(),
                           [&](const auto& p) { return p.first.lock().get() == track; });
    if (it == loading->created.end()) return false;
    const size_t index = it->second;
    loading->created.erase(it);
    loading->leftOut << QStringLiteral("“%1”: %2").arg(trackNameOf(loading->document[index], index), why);
    if (library.trackCounter > 0) --library.trackCounter;
    countOffProjectTap();
    projectTracksCountedDown();
    return true;
}

// A track whose place keeps it out of the composition (it ends before the
// composition starts) never has its tap prepared: it is counted off here, so
// that the load still ends.
void AudioController::countOffTapOutsideComposition(const MusicFilter& track) {
    if (track.trackID == -1 && loadTapFromProject()) countOffProjectTap();
}

void AudioController::loadRecordedDictionaryForFilterAtIndex(quint64 index, const TrackCurves& curves) {
    MusicFilter* t = trackAt(index);
    if (!t) return;
    TrackCurves& mine = automation.tempRecorderParameters[t->identifierOfFilter];
    mine.clear();
    for (const auto& [key, curve] : curves)
        if (!curve.empty()) mine[key] = modifyInRelativeTimeKeyValues(curve, *t);
}

void AudioController::completeLoadingProject() {
    auto loading = projectLoading;
    if (!loading || loading->reading || loading->document.empty() || loading->restored) return;
    loading->restored = true;
    QElapsedTimer clock;
    clock.start();
    const project::TrackInfoRecord& G = loading->document.front().filterInfo;
    const int32_t rate = int32_t(shell.playerSampleRate);

    shell.compositionDuration = MediaTime::fromSeconds(G.filterInfoCompositionDuration, rate);
    showCompositionDurationInFields(G.filterInfoCompositionDuration);
    shell.timelineDuration = shell.compositionDuration.seconds();
    setupAudioSliderWithTotalTime(shell.compositionDuration);
    if (G.filterInfoZoomValue > 0) shell.zoomValue = G.filterInfoZoomValue;
    if (ui.zoomSlider) ui.zoomSlider->setFloatValue(shell.zoomValue);
    resizeTimeline(true);
    setupLabelsWithUpdate(true);
    closeTrackPanels();

    // Tracks still there, in list order.
    std::vector<std::pair<std::shared_ptr<MusicFilter>, size_t>> tracks;
    for (const auto& [weak, index] : loading->created)
        if (auto t = weak.lock(); t && indexOfTrack(t.get()) != kNoIndex) tracks.emplace_back(t, index);
    currentSelectedAudio = G.filterCurrentSelectedAudio < tracks.size() ? G.filterCurrentSelectedAudio : 0;
    editing.markersArray = G.filterMarkersArray;
    shell.seekTime = G.filterCurrentCompositionTime;

    for (const auto& [t, recordIndex] : tracks) {
        const project::ProjectTrackRecord& R = loading->document[recordIndex];
        const project::TrackInfoRecord& I = R.filterInfo;
        const quint64 i = indexOfTrack(t.get());
        auto* lane = trackLaneOf(t.get());
        const int32_t ts = t->timeScale > 0 ? t->timeScale : rate;
        auto at = [ts](double seconds) { return MediaTime::fromSeconds(seconds, ts); };

        // The picture the import drew is the source's (it stays first, as
        // a fresh track's does); the saved one shows the edited track.
        if (const QImage wave = recordIndex < loading->waveforms.size() ? loading->waveforms[recordIndex] : QImage();
            !wave.isNull()) {
            t->filterBitmaps.append(wave);
            t->indexOfUpdatedBitmap = quint64(t->filterBitmaps.size() - 1);
        }

        // The edit list, segment by segment.
        if (!t->tempComposition) t->tempComposition = std::make_shared<Composition>();
        CompositionTrack* E = t->tempComposition->addMutableTrack(MediaType::Audio);
        E->setNaturalTimeScale(ts);
        for (const project::TrackSegmentRecord& s : R.filterTrackSegments) {
            const auto [ss, sd] = s.filterSourceTimeRange;
            const auto [gs, gd] = s.filterTargetTimeRange;
            if (!(sd > 0) || !(gd > 0)) continue;
            const MediaTimeRange target{at(gs), at(gd)};
            std::shared_ptr<AssetTrack> source;
            if (!s.filterSegmentPath.isEmpty()) {
                const QString path = QDir(loading->folder).filePath(project::storedFileName(s.filterSegmentPath).value_or(QString()));
                for (const auto& record : ui.audioView->audioTracks)
                    if (record.audioFilter && record.audioFilter->audioTrack &&
                        QFileInfo(record.audioURL.toLocalFile()) == QFileInfo(path)) {
                        source = record.audioFilter->audioTrack;
                        break;
                    }
                if (!source) {
                    auto& asset = loading->segmentAssets[path];
                    if (!asset && QFileInfo(path).isFile()) asset = Asset::load(path);
                    if (asset) {
                        const auto audio = asset->tracksWithMediaType(MediaType::Audio);
                        if (!audio.empty()) source = audio.front();
                    }
                }
            }
            if (!source) {
                E->insertEmptyTimeRange({target.start, target.duration});
                continue;
            }
            const MediaTimeRange from{at(ss), at(sd)};
            if (gd / sd == 1.0) {
                E->insertTimeRange(from, source, target.start);
            } else {
                Composition scratch;
                CompositionTrack* piece = scratch.addMutableTrack(MediaType::Audio);
                piece->setNaturalTimeScale(ts);
                piece->insertTimeRange(from, source, MediaTime::zero());
                piece->scaleTimeRange({MediaTime::zero(), piece->duration()}, target.duration);
                E->insertTimeRange({MediaTime::zero(), piece->duration()}, *piece, target.start);
            }
        }
        t->tempFilterTracks.push_back(E);
        t->indexOfUpdatedTrack = t->tempFilterTracks.size() - 1;

        // Place, trim, speed and lane.
        t->setTrackColor(QColor::fromRgbF(float(I.filterInfoTrackColor[0]), float(I.filterInfoTrackColor[1]),
                                          float(I.filterInfoTrackColor[2]), 1.0f));
        t->setCurrentTimeRange({at(I.filterInfoCurrentTimeRange[0]), at(I.filterInfoCurrentTimeRange[1])});
        t->updateCurrentTimeRange = false;
        t->durationInSeconds = I.filterInfoDurationInSeconds;
        t->setAnimationStart(at(I.filterInfoAnimationStart));
        t->setAnimationEnd(at(I.filterInfoAnimationEnd));
        t->audioOriginInPercent = I.filterInfoAudioOriginInPercent;
        t->audioDurationInPercent = I.filterInfoAudioDurationInPercent;
        const double seconds = shell.compositionDuration.seconds();
        t->trackRatio = seconds > 0 ? t->durationInSeconds / seconds : 1.0;
        t->setValue(EffectInput::Speed, float(I.filterInfoSpeed));
        if (lane) {
            lane->fadeInPercent = I.filterInfoFadeInPercent;
            lane->fadeOutPercent = I.filterInfoFadeOutPercent;
            const QRectF f = I.filterInfoAudioViewFrame;
            lane->setGeometry(lane->x(), int(i) * AudioView::RowHeight, lane->width(), int(std::lround(f.height())));
            lane->setFrame(f.x(), f.width());
            lane->drawingBezierPath = AudioDrawingView::regionPath(I.filterInfoBezierPath);
            lane->oldBounds = lane->frameRect();
            lane->viewWidthRatioAtOneSpeed = t->trackRatio;
            lane->selectionPastes = I.filterInfoSelectionPastes;
            lane->selectionPaths = I.filterInfoSelectionPaths;
        }
        t->addTrackToCompositionAndMixAudio(shell.compositionDuration);
        countOffTapOutsideComposition(*t);
        t->typeOfComposition = I.filterInfoTypeOfComposition;

        if (I.filterInfoSelectionParameters) {
            automation.selectionParameters[t->identifierOfFilter] = *I.filterInfoSelectionParameters;
            publishSelectionParametersForFilter(t.get());
        }

        const project::ProjectPresetRecord& P = I.filterPresetData;
        if (P.parameters.filterAudioUnits) t->tempAudioUnitsArray = *P.parameters.filterAudioUnits;
        t->showParameterCurve = 0;
        automation.tempRecorderParameters.erase(t->identifierOfFilter);
        if (P.presetRecordedDictionary) {
            loadRecordedDictionaryForFilterAtIndex(i, *P.presetRecordedDictionary);
            t->showParameterCurve = I.filterInfoShowParameterCurve;
        }
        t->isRecordingParameters = I.filterInfoIsRecordingParameters;
        t->isDeletingKeyPoints = I.filterInfoIsDeletingKeyPoints;
        if (P.presetRecordedTypeOfCurve) t->typeOfRecordedCurve = *P.presetRecordedTypeOfCurve;

        MidiNoteList notes;
        for (const auto& n : I.filterInfoMidiArray) notes.push_back(notelists::importedNote(n, ts));
        notelists::updateMIDIArrayFromArray(*t, notes);

        // The label says what the track plays now, edits and trims included,
        // not the length of its file.
        updateAudioTimeLabelForFilter(t.get());
        loading->pendingUnits[t.get()] = ProjectLoading::Units{P.parameters, G.filterCurrentCompositionTime};
    }
    automation.recordedParameters = automation.tempRecorderParameters;
    automation.tempRecorderParameters = automation.recordedParameters;
    publishAllRecordedParameters();

    // The rendezvous with the units: whichever comes second applies them.
    for (const auto& [t, recordIndex] : tracks) {
        (void)recordIndex;
        if (t->canUpdateAudioUnits) updateAudioUnitsForFilter(t.get());
        else t->canUpdateAudioUnits = true;
    }

    library.doNotUpdateNeedsDisplay = false;
    library.doNotUpdatePlayerSettings = false;
    library.projectChangeCount = 0;
    library.projectURL = loading->url;
    if (UndoManager* panelUndo = audioUnitPanelUndoManager()) panelUndo->removeAllActions();
    if (UndoManager* undo = undoManager()) undo->removeAllActions();
    setDocumentEdited(false);
    if (ui.window) {
        ui.window->setWindowFilePath(loading->folder);
        ui.window->setWindowTitle(QFileInfo(loading->folder).completeBaseName() + QStringLiteral("[*]"));
    }
    if (ui.audioView) ui.audioView->update();
    for (const auto& [t, recordIndex] : tracks)
        if (auto* lane = trackLaneOf(t.get())) lane->update();
    if (ui.eqView) ui.eqView->update();
    if (ui.lineView) ui.lineView->update();
    shell.needsCloseSheetAfterPlayerStatus = true;
    updatePlayerWithNewCompositionSettings();
    qInfo("Loaded the project \"%s\" (%d tracks, restored in %lld ms).", qUtf8Printable(loading->folder),
          int(tracks.size()), clock.elapsed());
}

void AudioController::updateAudioUnitsForFilter(MusicFilter* filter) {
    auto loading = projectLoading;
    if (!loading || !filter) return;
    auto it = loading->pendingUnits.find(filter);
    if (it == loading->pendingUnits.end()) return;
    const ProjectLoading::Units units = it->second;
    loading->pendingUnits.erase(it);
    const quint64 i = indexOfTrack(filter);
    const TrackRecord* record = trackRecordAt(i);
    if (!record) return;
    copyFilterValuesFromDictionary(units.parameters, *record);
    if (i == currentSelectedAudio.load()) {
        applyValuesToSelectedAudio(i);
        verifyRecordedInputValuesForSeekToTime(units.timeOfComposition, automation.recordedParameters);
    }
    filter->updateListenerParametersToAudioUnits();
    filter->updateAudioMixState();
    if (ui.eqView) ui.eqView->update();
}

void AudioController::finishProjectLoading() {
    auto loading = projectLoading;
    if (!loading || loading->finished) return;
    loading->finished = true;
    if (loading->leftOut.isEmpty()) return;
    qWarning("Tracks left out of the project \"%s\": %s", qUtf8Printable(loading->folder),
             qUtf8Printable(loading->leftOut.join(QStringLiteral("; "))));
    runModalAlert(ui.window,
                  AlertRequest{QStringLiteral("Some tracks of the project could not be loaded."),
                               loading->leftOut.join(QLatin1Char('\n')), {QStringLiteral("OK")}});
}
