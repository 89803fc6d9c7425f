// Exporting one track through its effect chain to an m4a file. At another
// speed the render goes to "TempFiles" first and a second pass makes the
// destination at the track's speed, pitch kept. Also the common end of every
// single-track export.
#include "app/Alerts.h"
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "export/ExportControl.h"
#include "export/ExportRules.h"
#include "export/ExportSession.h"
#include "platform/core/MainQueue.h"
#include "platform/media/Asset.h"
#include "platform/media/ProcessingTap.h"
#include "views/ExportViews.h"
#include "views/MusicView.h"

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

#include <cmath>

using exportcontrol::SheetAction;

namespace {

constexpr int kTrackBitRate = 320000;

QImage thumbnailOf(const MusicFilter& track) {
    auto* view = qobject_cast<MusicView*>(track.imageView.data());
    return view ? view->image : QImage();
}

bool isSameFile(const QString& a, const QString& b) {
    const QFileInfo x(a), y(b);
    const QString ca = x.canonicalFilePath(), cb = y.canonicalFilePath();
    return (ca.isEmpty() ? x.absoluteFilePath() : ca) == (cb.isEmpty() ? y.absoluteFilePath() : cb);
}

}  // namespace

bool AudioController::saveTrackToURL(MusicFilter* track, const QUrl& destination) {
    return beginTrackExport(track, destination, false);
}

bool AudioController::saveReversedTrackToURL(MusicFilter* track, const QUrl& destination) {
    return beginTrackExport(track, destination, true);
}

bool AudioController::beginTrackExport(MusicFilter* track, const QUrl& destination, bool reversed) {
    if (!track || exporting.exportIsRunning) return false;
    if (!track->playerAsset || !track->audioTrack || track->trackID == -1) return false;
    const QString destinationPath = destination.toLocalFile();
    if (isSameFile(destinationPath, track->playerAsset->path())) {
        runModalAlert(ui.window, AlertRequest{QStringLiteral("The file cannot be replaced."),
                                              QStringLiteral("\"%1\" is the source of this track. "
                                                             "Choose another name or folder.")
                                                  .arg(QFileInfo(destinationPath).fileName()),
                                              {QStringLiteral("OK")}});
        return false;
    }
    const auto input = track->mixInput();
    if (!input) return false;

    exportcontrol::beginSession(*this, track->projectSampleRate);
    ExportSession& s = *exporting.session;
    s.track = track->weak_from_this();

    ExportSheet* sheet = progressSheet();
    exportcontrol::setSheetButton(*this, QStringLiteral("Stop Processing"), SheetAction::Stop);
    setSheetTexts(QStringLiteral("Percent Completed:"), QStringLiteral("0%"));
    sheet->sheetPercentTextField->show();
    sheet->sheetButton->show();
    beginProgressSheet([this] { exporting.exportIsRunning = false; });

    // A tap the export had to prepare itself finishes its set-up on the main
    // thread first (its units take the track's values).
    std::weak_ptr<MusicFilter> weakTrack = track->weak_from_this();
    MainQueue::async([this, session = &s, weakTrack, destination, reversed] {
        if (exporting.session.get() != session) return;
        if (auto t = weakTrack.lock()) startTrackExport(t.get(), destination, reversed);
        else resetAssetsForTrackExportWithError(nullptr, true);
    });
    return true;
}

void AudioController::startTrackExport(MusicFilter* track, const QUrl& destination, bool reversed) {
    ExportSession& s = *exporting.session;
    const QString destinationPath = destination.toLocalFile();
    const auto input = track->mixInput();
    track->copyFilterParameters();
    exportcontrol::renderAlone(*this, *track);

    const float speed = track->value(EffectInput::Speed);
    if (!exportcontrol::isNormalSpeed(speed)) {
        s.trackURL = exportrules::temporaryAudioFilePath(getAppTempPath(), track->playerAsset->path());
        s.destinationURL = destinationPath;
        s.needsToCopyTempAudioFile = true;
    } else {
        s.trackURL = destinationPath;
        s.destinationURL.clear();
        s.needsToCopyTempAudioFile = false;
    }

    const MediaTimeRange used = track->currentTimeRange();
    const std::shared_ptr<ProcessingTap> tap = input->audioTapProcessor();
    exportcontrol::prepareTapContextForRender(MusicFilter::contextOfTap(tap.get()), used.duration.seconds(), speed);

    auto composition = std::make_shared<Composition>();
    CompositionTrack* target = exportcontrol::addTrackSource(*composition, *track, used);
    QString error;
    auto fail = [&] {
        s.failureReason = error;
        resetAssetsForTrackExportWithError(track, true);
    };
    if (!(target->duration() > MediaTime::zero())) return fail();
    auto reader = AssetReader::create(composition, &error);
    if (!reader) return fail();
    auto output = exportcontrol::addTapMixOutput(*reader, target->trackID(), tap, track->projectSampleRate);
    if (!output) return fail();

    // The destination's title and artwork come with the final file.
    const MediaMetadata metadata = s.needsToCopyTempAudioFile
                                       ? MediaMetadata{}
                                       : exportrules::trackMetadata(thumbnailOf(*track), destinationPath);
    auto writer = AudioFileWriter::create(
        s.trackURL, AudioFileWriter::Settings{AudioFileWriter::Format::M4A, track->projectSampleRate, 2, kTrackBitRate},
        metadata, &error);
    if (!writer) return fail();

    const double start = exportcontrol::prepareTrackForRender(*this, track);
    exporting.processingPercentCompleted = 0.0;

    // A reversed export reads the whole render first, then writes it: its
    // progress runs over twice the length, half for each.
    const double length = target->duration().seconds() * (reversed ? 2.0 : 1.0);
    auto lastPercent = std::make_shared<double>(0.0);
    std::weak_ptr<MusicFilter> weak = track->weak_from_this();
    s.writer = std::make_unique<AudioWriteJob>(reader, output, std::move(writer), target->duration());
    s.writer->setStopFlag(&exporting.stopAudioProcessing);
    if (reversed) {
        const QString scratch = exportrules::scratchFilePath(getAppTempPath(), QStringLiteral("reversed"));
        if (scratch.isEmpty()) {
            s.writer.reset();
            updateRecordedTimesForFilter(track, start);
            return fail();
        }
        s.writer->setReversedThrough(scratch);
    }
    s.writer->start(
        [this, length, lastPercent](double seconds) {
            const double p = std::round(std::min(1.0, seconds / length) * 100.0);
            exporting.processingPercentCompleted += p - *lastPercent;
            *lastPercent = p;
            progressSheet()->sheetPercentTextField->setText(
                QStringLiteral("%1%").arg(long(exporting.processingPercentCompleted)));
        },
        [this, weak, start](const AudioWriteJob::Result& result) {
            auto t = weak.lock();
            if (!t || !exporting.session) return;
            if (t) updateRecordedTimesForFilter(t.get(), start);
            if (!result.ok) exporting.session->failureReason = result.error;
            if (result.ok && exporting.session->needsToCopyTempAudioFile) {
                // A stopped render is still brought to the track's speed.
                exporting.session->writer.reset();
                copyAudioFileAndChangeSpeed(t.get());
                return;
            }
            exporting.lastExportSucceeded = result.ok;
            resetAssetsForTrackExportWithError(t.get(), !result.ok);
        });
}

void AudioController::copyAudioFileAndChangeSpeed(MusicFilter* track) {
    if (!track || !exporting.session) return;
    ExportSession& s = *exporting.session;
    setSheetTexts(QStringLiteral("Changing speed..."), progressSheet()->sheetPercentTextField->text());
    const float speed = track->value(EffectInput::Speed);
    QString error;
    auto fail = [&] {
        s.failureReason = error;
        resetAssetsForTrackExportWithError(track, true);
    };
    auto asset = Asset::load(s.trackURL, &error);
    const auto audio = asset ? asset->tracksWithMediaType(MediaType::Audio) : std::vector<std::shared_ptr<AssetTrack>>{};
    if (audio.empty() || !(speed > 0.0f)) return fail();
    const std::shared_ptr<AssetTrack>& source = audio.front();
    auto composition = std::make_shared<Composition>();
    CompositionTrack* target = composition->addMutableTrack(MediaType::Audio);
    if (!target->insertTimeRange(source->timeRange(), source, MediaTime::zero())) return fail();
    const int32_t scale = source->naturalTimeScale() > 0 ? source->naturalTimeScale() : int32_t(track->projectSampleRate);
    target->scaleTimeRange(MediaTimeRange(MediaTime::zero(), target->duration()),
                           MediaTime::fromSeconds(target->duration().seconds() / speed, scale));
    auto reader = AssetReader::create(composition, &error);
    if (!reader) return fail();
    auto output = std::make_shared<AssetReaderAudioMixOutput>(
        std::vector<int32_t>{target->trackID()}, AssetReaderAudioMixOutput::Settings{track->projectSampleRate, 2});
    output->setAudioTimePitchAlgorithm(TimePitchAlgorithm::Spectral);
    if (!reader->canAddOutput(output)) return fail();
    reader->addOutput(output);
    // Through the writer too: a file already at the destination stays until
    // the new one is complete.
    auto writer = AudioFileWriter::create(
        s.destinationURL,
        AudioFileWriter::Settings{AudioFileWriter::Format::M4A, track->projectSampleRate, 2, kTrackBitRate},
        exportrules::trackMetadata(thumbnailOf(*track), s.destinationURL), &error);
    if (!writer) return fail();
    std::weak_ptr<MusicFilter> weak = track->weak_from_this();
    // The speed change runs to its end: it has no stop flag.
    s.writer = std::make_unique<AudioWriteJob>(reader, output, std::move(writer), target->duration());
    s.writer->start({}, [this, weak](const AudioWriteJob::Result& result) {
        auto t = weak.lock();
        if (!t) return;
        setSheetTexts(QStringLiteral("Completed"), progressSheet()->sheetPercentTextField->text());
        if (!result.ok && exporting.session) exporting.session->failureReason = result.error;
        exporting.lastExportSucceeded = result.ok;
        resetAssetsForTrackExportWithError(t.get(), !result.ok);
    });
}

void AudioController::resetAssetsForTrackExportWithError(MusicFilter* track, bool error) {
    if (track) track->restoreFilterParameters();
    if (error)
        setSheetTexts(exporting.session ? exporting.session->failureText() : QStringLiteral("An error occurred."),
                      QStringLiteral("100%"));
    ExportSheet* sheet = progressSheet();
    exportcontrol::setSheetButton(*this, QStringLiteral("Ok"), SheetAction::Close);
    sheet->sheetButton->show();
    exporting.stopAudioProcessing.store(false);
    notifyAudioMetering.store(true);
    if (track)
        if (QWidget* meter = track->meteringView.data()) meter->update();
    exportcontrol::endSession(*this);
    clearTempFilesPath();
}
