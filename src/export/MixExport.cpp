// The mix export: every track through its own effect chain into one
// two-channel file. Tracks the reader cannot reproduce from the composition
// (another speed, another source rate) are rendered alone first; then a new
// composition of the live tracks and the rendered files is read through the
// live taps and written with the composition's metadata.
#include "app/Alerts.h"
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "export/ExportControl.h"
#include "export/ExportRules.h"
#include "export/ExportSession.h"
#include "platform/core/AppPaths.h"
#include "platform/core/MainQueue.h"
#include "platform/media/Asset.h"
#include "platform/media/FileTags.h"
#include "platform/media/MovieWriter.h"
#include "views/AudioView.h"
#include "views/ExportViews.h"

#include <QComboBox>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <thread>

using exportcontrol::SheetAction;

namespace {

QString sameFile(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

QString percentText(long percent) { return QStringLiteral("%1%").arg(percent); }

// Threads beside the reader's for the mix's tracks: a few, leaving a core to
// the encoder and one to the rest of the machine.
int mixRenderWorkers(size_t tracks, int chosen) {
    constexpr int kMostWorkers = 3;
    const int cores = int(std::thread::hardware_concurrency());
    const int spare = chosen >= 0 ? chosen : std::clamp(cores - 2, 0, kMostWorkers);
    return tracks > 1 ? std::min(spare, int(tracks) - 1) : 0;
}

}  // namespace

ExportSheet* AudioController::progressSheet() {
    if (!exporting.sheetWindow) exporting.sheetWindow = new ExportSheet(ui.window);
    return exporting.sheetWindow;
}

void AudioController::setSheetTexts(const QString& info, const QString& percent) {
    ExportSheet* sheet = progressSheet();
    sheet->sheetInfoTextField->setText(info);
    sheet->sheetPercentTextField->setText(percent);
    // A sheet already on screen takes the size of its new texts now: a
    // window manager keeps the fixed size it was first given otherwise.
    sheet->layout()->activate();
    sheet->adjustSize();
}

void AudioController::beginProgressSheet(std::function<void()> onEnd) {
    ExportSheet* sheet = progressSheet();
    sheet->disconnect(this);
    QObject::connect(sheet, &QDialog::finished, this, [this, onEnd] {
        if (exporting.sheetWindow) exporting.sheetWindow->disconnect(this);
        if (onEnd) onEnd();
    });
    sheet->open();
}

QString AudioController::getAppTempPath() const { return apppaths::tempFilesFolder(); }

void AudioController::clearTempFilesPath() { exportrules::clearFolderFiles(getAppTempPath()); }

void AudioController::stopAudioProcessing() { exporting.stopAudioProcessing.store(true); }

void AudioController::closeSheet() {
    ExportSheet* sheet = progressSheet();
    if (sheet->isVisible()) sheet->done(QDialog::Accepted);
    setSheetTexts(QStringLiteral("Percent Completed:"), QStringLiteral("0%"));
}

void AudioController::saveAudioToURL(const QUrl& destination, const QStringList& tags) {
    if (exporting.exportIsRunning || !ui.audioView) return;
    const QString path = destination.toLocalFile();
    // A track's own source is never written over: say why.
    for (const auto& record : ui.audioView->audioTracks) {
        if (record.audioURL.isLocalFile() && sameFile(record.audioURL.toLocalFile()) == sameFile(path)) {
            runModalAlert(ui.window,
                          AlertRequest{QStringLiteral("The file cannot be replaced."),
                                       QStringLiteral("\"%1\" is the source of a track of the composition. "
                                                      "Choose another name or folder.")
                                           .arg(QFileInfo(path).fileName()),
                                       {QStringLiteral("OK")}});
            saveDidEnd(false);
            return;
        }
    }
    SaveAccessoryView* accessory = saveAccessoryView();
    startMixExport(destination, tags,
                   exportrules::sampleRateForIndex(accessory->saveAudioSampleRatePopUpButton->currentIndex()), nullptr);
}

void AudioController::startMixExport(const QUrl& destination, const QStringList& tags, double sampleRate,
                                     std::shared_ptr<const MovieVideoSettings> video) {
    // Nothing at the destination is removed: the writer renames a complete
    // file into place, and a failed export leaves the old one as it was.
    shell.projectSampleRate = sampleRate;
    exportcontrol::beginSession(*this, shell.projectSampleRate);
    ExportSession& s = *exporting.session;
    s.destination = destination;
    s.tags = tags;
    s.video = std::move(video);
    s.audioGroup.enter();

    // The tracks that need a render of their own.
    int renders = 0;
    for (const auto& record : ui.audioView->audioTracks) {
        if (!record.audioFilter) continue;
        s.mixTracks.push_back(record.audioFilter);
        s.audioGroup.enter();
        record.audioFilter->projectSampleRate = shell.projectSampleRate;
        if (trackNeedsPreRender(*record.audioFilter, shell.projectSampleRate)) ++renders;
    }
    s.preRenderCount = renders;

    ExportSheet* sheet = progressSheet();
    exportcontrol::setSheetButton(*this, QStringLiteral("Stop Processing"), SheetAction::Stop);
    sheet->sheetPercentTextField->show();
    if (renders > 0) {
        setSheetTexts(QStringLiteral("Converting audio..."), QStringLiteral("0%"));
        // A render of a track cannot be stopped.
        sheet->sheetButton->hide();
    } else {
        setSheetTexts(QStringLiteral("Percent Completed:"), QStringLiteral("0%"));
        sheet->sheetButton->show();
    }
    beginProgressSheet([this] {
        exporting.exportIsRunning = false;
        if (shell.applicationHasToTerminateAfterSaving) saveDidEnd(exporting.lastExportSucceeded);
    });

    // A tap the export had to prepare itself finishes its set-up on the main
    // thread (its units take the track's values): the renders start after it.
    MainQueue::async([this, session = &s, destination, tags] {
        if (exporting.session.get() != session || !ui.audioView) return;
        ExportSession& s = *session;
        for (const auto& weak : s.mixTracks) {
            const std::shared_ptr<MusicFilter> track = weak.lock();
            if (track) track->copyFilterParameters();
            if (!track || !createTemporaryAudioFileWithAudioFiltersAndSignalGroup(track.get(), s.audioGroup))
                s.audioGroup.leave();
        }
        s.audioGroup.notify([this, destination, tags] { exportRenderedTracksNotify(destination, tags); });
        s.audioGroup.leave();
    });
}

void AudioController::exportRenderedTracksNotify(const QUrl& destination, const QStringList& tags) {
    if (!exporting.session || !ui.audioView) return;
    ExportSession& s = *exporting.session;
    for (auto& r : s.preRenders) r->job.reset();  // each has ended: this joins its thread
    if (s.failed) {
        resetAssetsWithError(true);
        return;
    }
    ExportSheet* sheet = progressSheet();
    setSheetTexts(QStringLiteral("Percent Completed:"), QStringLiteral("0%"));
    sheet->sheetPercentTextField->show();
    sheet->sheetButton->show();

    auto composition = std::make_shared<Composition>();
    auto mix = std::make_shared<AudioMix>();
    AudioMix::InputParametersList inputs;
    for (const auto& weak : s.mixTracks) {
        const std::shared_ptr<MusicFilter> track = weak.lock();
        if (!track) continue;
        const CompositionTrack* live = currentComposition ? currentComposition->trackWithTrackID(track->trackID) : nullptr;
        std::shared_ptr<AudioMixInputParameters> source =
            currentAudioMix ? currentAudioMix->inputParametersForTrackID(track->trackID) : nullptr;
        auto parameters = source ? source->copy() : std::make_shared<AudioMixInputParameters>();
        CompositionTrack* added = composition->addMutableTrack(MediaType::Audio);
        const QString rendered = track->filterParameters ? track->filterParameters->temporaryAssetURL : QString();
        if (rendered.isEmpty()) {
            // A live track: its effects run in its tap while the reader pulls it.
            if (live && live->duration() > MediaTime::zero())
                added->insertTimeRange(MediaTimeRange(MediaTime::zero(), live->duration()), *live, MediaTime::zero());
        } else {
            // A rendered track carries its effects already.
            QString error;
            auto asset = Asset::load(rendered, &error);
            auto audio = asset ? asset->tracksWithMediaType(MediaType::Audio) : std::vector<std::shared_ptr<AssetTrack>>{};
            if (audio.empty()) {
                // A track that would be silent fails the export instead.
                s.failureReason = error;
                resetAssetsWithError(true);
                return;
            }
            const std::shared_ptr<AssetTrack>& file = audio.front();
            const float speed = track->value(EffectInput::Speed);
            if (exportcontrol::isNormalSpeed(speed)) {
                added->insertTimeRange(file->timeRange(), file, track->animationStart());
            } else {
                Composition scratch;
                CompositionTrack* t = scratch.addMutableTrack(MediaType::Audio);
                t->insertTimeRange(file->timeRange(), file, MediaTime::zero());
                const int32_t scale = file->naturalTimeScale() > 0 ? file->naturalTimeScale()
                                                                   : int32_t(shell.projectSampleRate);
                t->scaleTimeRange(MediaTimeRange(MediaTime::zero(), t->duration()),
                                  MediaTime::fromSeconds(t->duration().seconds() / speed, scale));
                added->insertTimeRange(MediaTimeRange(MediaTime::zero(), t->duration()), *t, track->animationStart());
            }
            parameters->setAudioTapProcessor(nullptr);
        }
        parameters->setTrackID(added->trackID());
        inputs.push_back(std::move(parameters));
    }
    mix->setInputParameters(std::move(inputs));
    processAudioComposition(composition, mix, destination, tags);
}

void AudioController::processAudioComposition(const std::shared_ptr<Composition>& composition,
                                               const std::shared_ptr<AudioMix>& mix, const QUrl& destination,
                                               const QStringList& tags) {
    if (!exporting.session) return;
    ExportSession& s = *exporting.session;
    QString error;
    auto fail = [&] {
        s.failureReason = error;
        resetAssetsWithError(true);
    };
    auto reader = AssetReader::create(composition, &error);
    if (!reader) return fail();
    std::vector<int32_t> ids;
    for (const CompositionTrack* t : composition->tracksWithMediaType(MediaType::Audio))
        if (t->duration() > MediaTime::zero()) ids.push_back(t->trackID());
    // The live tracks render side by side on a few threads of the reader's
    // own; the sum is the same as on one.
    reader->setRenderWorkerCount(mixRenderWorkers(ids.size(), exporting.mixRenderWorkers));
    auto output = std::make_shared<AssetReaderAudioMixOutput>(
        ids, AssetReaderAudioMixOutput::Settings{shell.projectSampleRate, 2});
    output->setAudioMix(mix);
    output->setAudioTimePitchAlgorithm(TimePitchAlgorithm::Spectral);
    if (!reader->canAddOutput(output)) return fail();
    reader->addOutput(output);

    std::unique_ptr<AudioFileWriter> writer;
    if (s.video) {
        // The movie: the track's picture copied beside the mix in AAC.
        writer = MovieWriter::create(destination.toLocalFile(), *s.video,
                                     AudioFileWriter::Settings{AudioFileWriter::Format::M4A, shell.projectSampleRate, 2,
                                                               exportrules::kMovieAudioBitRate},
                                     {}, &error);
    } else {
        SaveAccessoryView* accessory = saveAccessoryView();
        const int bitRate = exportrules::bitRateForIndex(accessory->saveAudioBitratePopUpButton->currentIndex());
        shell.projectBitRate = bitRate;
        const auto format = exportrules::formatForIndex(accessory->saveAudioFormatPopUpButton->currentIndex());
        if (!format) return fail();

        MetadataPopover* meta = metadataPopover();
        const MediaMetadata metadata = exportrules::compositionMetadata(
            meta->metadataTitleTextField->text(), meta->metadataArtistTextField->text(),
            meta->metadataCommentsTextField->text(), meta->artwork(), destination.toLocalFile());
        writer = AudioFileWriter::create(destination.toLocalFile(),
                                         AudioFileWriter::Settings{*format, shell.projectSampleRate, 2, bitRate},
                                         metadata, &error);
    }
    if (!writer) return fail();

    // The end of the last track, for the progress.
    MediaTime end = MediaTime::zero();
    for (const auto& weak : s.mixTracks)
        if (const auto track = weak.lock(); track && track->animationEnd() > end) end = track->animationEnd();
    end = minTime(end, composition->duration());

    exportcontrol::silenceMeters(*this);
    notifyAudioMetering.store(false);
    exporting.processingPercentCompleted = 0.0;
    s.writer = std::make_unique<AudioWriteJob>(reader, output, std::move(writer), end);
    s.writer->setStopFlag(&exporting.stopAudioProcessing);
    s.writer->setDiscardWhenStopped(s.video != nullptr);
    const double endSeconds = end.seconds();
    const bool movie = s.video != nullptr;
    s.writer->start(
        [this, endSeconds, movie](double seconds) {
            exporting.processingPercentCompleted = endSeconds > 0 ? std::min(1.0, seconds / endSeconds) : 1.0;
            // A movie's sheet is updated by its progress timer.
            if (!movie)
                progressSheet()->sheetPercentTextField->setText(
                    percentText(std::lround(exporting.processingPercentCompleted * 100.0)));
        },
        [this, destination, tags, movie](const AudioWriteJob::Result& result) {
            if (!result.ok && exporting.session) exporting.session->failureReason = result.error;
            if (movie) return finishVideoExport(nullptr, result.ok, result.stopped);
            if (!result.ok) return resetAssetsWithError(true);
            notifyAudioMetering.store(true);
            if (ui.audioView)
                for (const auto& record : ui.audioView->audioTracks)
                    if (record.audioFilter) record.audioFilter->restoreFilterParameters();
            if (!tags.isEmpty()) filetags::setTagNames(destination.toLocalFile(), tags);
            SaveAccessoryView* accessory = saveAccessoryView();
            if (accessory->saveAddToITunesLibraryCheck->isChecked()) {
                if (exporting.openInDefaultApplication) exporting.openInDefaultApplication(destination);
                else QDesktopServices::openUrl(destination);
            }
            if (accessory->saveAddToTrevaluneLibraryCheck->isChecked()) addAudioTracksToLibrary({destination});
            exporting.lastExportSucceeded = true;
            resetAssetsWithError(false);
        });
}

void AudioController::resetAssetsWithError(bool error) {
    if (error) {
        setSheetTexts(exporting.session ? exporting.session->failureText() : QStringLiteral("An error occurred."),
                      QStringLiteral("100%"));
        if (ui.audioView)
            for (const auto& record : ui.audioView->audioTracks)
                if (record.audioFilter) record.audioFilter->restoreFilterParameters();
    }
    notifyAudioMetering.store(true);
    ExportSheet* sheet = progressSheet();
    exportcontrol::setSheetButton(*this, QStringLiteral("Ok"), SheetAction::Close);
    sheet->sheetButton->show();
    sheet->sheetPercentTextField->show();
    exportcontrol::endSession(*this);
    clearTempFilesPath();
}
