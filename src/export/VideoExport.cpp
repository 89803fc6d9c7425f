// Movies with the picture of a track's source: the track alone through its
// effect chain, or the whole mix, with the source's video stream copied as it
// is and the sound encoded as AAC. A source without video gives the track's
// m4a export. A stop leaves nothing at the destination; a failure says so.
#include "app/Alerts.h"
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "export/ExportControl.h"
#include "export/ExportRules.h"
#include "export/ExportSession.h"
#include "platform/core/MainQueue.h"
#include "platform/media/Asset.h"
#include "platform/media/ProcessingTap.h"
#include "views/AudioView.h"
#include "views/ExportViews.h"

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cmath>

using exportcontrol::SheetAction;

namespace {

// How often the sheet shows a video export's progress.
constexpr int kProgressIntervalMs = 500;

std::shared_ptr<AssetTrack> firstVideoTrack(const MusicFilter& track) {
    if (!track.playerAsset) return nullptr;
    const auto videos = track.playerAsset->tracksWithMediaType(MediaType::Video);
    return videos.empty() ? nullptr : videos.front();
}

QString samePath(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

// A track's own source is never written over: say why.
bool refuseSourceAsDestination(AudioController& c, const QString& destination, const QStringList& sources) {
    const QString target = samePath(destination);
    for (const QString& source : sources) {
        if (samePath(source) != target) continue;
        runModalAlert(c.ui.window, AlertRequest{QStringLiteral("The file cannot be replaced."),
                                                QStringLiteral("\"%1\" is the source of a track of the composition. "
                                                               "Choose another name or folder.")
                                                    .arg(QFileInfo(destination).fileName()),
                                                {QStringLiteral("OK")}});
        return true;
    }
    return false;
}

// The sheet of a video export: "Stop Processing" cancels it, and a timer
// shows its progress. A Qt timer also fires while a menu or a drag runs its
// own event loop.
void showVideoSheet(AudioController& c) {
    ExportSheet* sheet = c.progressSheet();
    exportcontrol::setSheetButton(c, QStringLiteral("Stop Processing"), SheetAction::Stop);
    sheet->sheetButton->disconnect();
    AudioController* controller = &c;
    QObject::connect(sheet->sheetButton, &QPushButton::clicked, controller,
                     [controller] { controller->stopAudioVideoProcessing(); });
    sheet->sheetPercentTextField->show();
    sheet->sheetButton->show();
}

void startProgressTimer(AudioController& c) {
    ExportSession& s = *c.exporting.session;
    s.exportSessionTimer = std::make_unique<QTimer>();
    s.exportSessionTimer->setInterval(kProgressIntervalMs);
    AudioController* controller = &c;
    QObject::connect(s.exportSessionTimer.get(), &QTimer::timeout, controller, [controller] {
        ExportSession* session = controller->exporting.session.get();
        // Tracks rendered alone first show their own progress.
        if (!session || !session->writer) return;
        const double done = std::clamp(controller->exporting.processingPercentCompleted, 0.0, 1.0);
        controller->progressSheet()->sheetPercentTextField->setText(
            QStringLiteral("%1%").arg(long(std::lround(done * 100.0))));
    });
    s.exportSessionTimer->start();
}

}  // namespace

bool AudioController::saveAudioAndVideoTrackToURL(MusicFilter* track, const QUrl& destination) {
    if (!track || exporting.exportIsRunning) return false;
    if (!track->playerAsset || !track->audioTrack || track->trackID == -1) return false;
    const QString destinationPath = destination.toLocalFile();
    if (refuseSourceAsDestination(*this, destinationPath, {track->playerAsset->path()})) return false;
    const std::shared_ptr<AssetTrack> video = firstVideoTrack(*track);
    if (!video) return saveTrackToURL(track, destination);
    const auto input = track->mixInput();
    if (!input) return false;
    const float speed = track->value(EffectInput::Speed);
    if (!(speed > 0.0f)) return false;

    // The picture ends with the video: the used part is cut there.
    const MediaTimeRange used = track->currentTimeRange();
    const MediaTime videoLength = video->timeRange().duration;
    if (!(used.start < videoLength)) {
        runModalAlert(ui.window,
                      AlertRequest{QStringLiteral("The track cannot be exported with its video."),
                                   QStringLiteral("The part of \"%1\" that the track plays begins after the end of "
                                                  "its video. Export the track without video instead.")
                                       .arg(QFileInfo(track->playerAsset->path()).fileName()),
                                   {QStringLiteral("OK")}});
        return false;
    }
    const MediaTime length = used.start + used.duration >= videoLength ? videoLength - used.start : used.duration;
    const MediaTimeRange range(used.start, length);

    exportcontrol::beginSession(*this, track->projectSampleRate);
    ExportSession& s = *exporting.session;
    s.track = track->weak_from_this();
    showVideoSheet(*this);
    setSheetTexts(QStringLiteral("Percent Completed:"), QStringLiteral("0%"));
    beginProgressSheet([this] { exporting.exportIsRunning = false; });

    std::weak_ptr<MusicFilter> weak = track->weak_from_this();
    MainQueue::async([this, session = &s, weak, destinationPath, range, speed] {
        if (exporting.session.get() != session) return;
        auto t = weak.lock();
        if (!t) return resetAssetsForTrackExportWithError(nullptr, true);
        MusicFilter* track = t.get();
        ExportSession& s = *session;
        track->copyFilterParameters();
        exportcontrol::renderAlone(*this, *track);
        QString error;
        auto fail = [&] {
            s.failureReason = error;
            resetAssetsForTrackExportWithError(track, true);
        };
        const auto input = track->mixInput();
        if (!input) return fail();

        // The sound: the used part of the track's current source version,
        // from zero, at the track's speed, through its tap.
        auto composition = std::make_shared<Composition>();
        CompositionTrack* target = exportcontrol::addTrackSource(*composition, *track, range);
        if (!(target->duration() > MediaTime::zero())) return fail();
        const int32_t scale = track->timeScale > 0 ? track->timeScale : int32_t(track->projectSampleRate);
        if (!exportcontrol::isNormalSpeed(speed))
            target->scaleTimeRange(MediaTimeRange(MediaTime::zero(), target->duration()),
                                   MediaTime::fromSeconds(target->duration().seconds() / speed, scale));
        const std::shared_ptr<ProcessingTap> tap = input->audioTapProcessor();
        if (TrackTapContext* context = MusicFilter::contextOfTap(tap.get())) {
            context->contextTrackDurationRatio.store(1.0);
            context->contextTrackStartTime.store(0.0);
            context->contextTrackEndTime.store(track->currentTimeRange().duration.seconds() / speed);
        }
        auto reader = AssetReader::create(composition, &error);
        if (!reader) return fail();
        auto output = exportcontrol::addTapMixOutput(*reader, target->trackID(), tap, track->projectSampleRate);
        if (!output) return fail();

        // The picture: the same part of the source's video, at the same speed.
        auto picture = std::make_shared<MovieVideoSettings>();
        picture->sourcePath = track->playerAsset->path();
        picture->segments.push_back(
            MovieWriter::VideoSegment{range, MediaTime::zero(), target->duration()});
        s.video = picture;
        auto writer = MovieWriter::create(
            destinationPath, *picture,
            AudioFileWriter::Settings{AudioFileWriter::Format::M4A, track->projectSampleRate, 2,
                                      exportrules::kMovieAudioBitRate},
            {}, &error);
        if (!writer) return fail();

        // The curves are read at the movie's times, which start at zero.
        const double start = exportcontrol::prepareTrackForRender(*this, track);

        const double length = target->duration().seconds();
        s.writer = std::make_unique<AudioWriteJob>(reader, output, std::move(writer), target->duration());
        s.writer->setStopFlag(&exporting.stopAudioProcessing);
        s.writer->setDiscardWhenStopped(true);
        startProgressTimer(*this);
        std::weak_ptr<MusicFilter> weakTrack = track->weak_from_this();
        s.writer->start(
            [this, length](double seconds) {
                exporting.processingPercentCompleted = length > 0 ? std::min(1.0, seconds / length) : 1.0;
            },
            [this, weakTrack, start](const AudioWriteJob::Result& result) {
                auto t = weakTrack.lock();
                if (!exporting.session) return;
                if (t) updateRecordedTimesForFilter(t.get(), start);
                if (!result.ok) exporting.session->failureReason = result.error;
                finishVideoExport(t.get(), result.ok, result.stopped);
            });
    });
    return true;
}

bool AudioController::mixAudioTracksAndVideoTrackToURL(MusicFilter* track, const QUrl& destination) {
    if (!track || exporting.exportIsRunning || !ui.audioView) return false;
    if (!track->playerAsset || !track->audioTrack || track->trackID == -1) return false;
    const QString destinationPath = destination.toLocalFile();
    QStringList sources;
    for (const auto& record : ui.audioView->audioTracks)
        if (record.audioURL.isLocalFile()) sources << record.audioURL.toLocalFile();
    sources << track->playerAsset->path();
    if (refuseSourceAsDestination(*this, destinationPath, sources)) return false;
    const std::shared_ptr<AssetTrack> video = firstVideoTrack(*track);
    if (!video) return saveTrackToURL(track, destination);
    const float speed = track->value(EffectInput::Speed);
    if (!(speed > 0.0f)) return false;

    // The picture lies where the track plays, at its speed, as far as the
    // video goes; the rest of the movie has none.
    const MediaTimeRange used = track->currentTimeRange();
    const MediaTimeRange v = video->timeRange();
    const MediaTime at = track->animationStart();
    const int32_t scale = track->timeScale > 0 ? track->timeScale : 600;
    auto picture = std::make_shared<MovieVideoSettings>();
    picture->sourcePath = track->playerAsset->path();
    if (used.start < v.start + v.duration) {
        const MediaTime length =
            used.start + used.duration <= v.duration ? used.duration : v.duration - used.start;
        picture->segments.push_back(MovieWriter::VideoSegment{
            MediaTimeRange(used.start, length), at, MediaTime::fromSeconds(length.seconds() / speed, scale)});
    } else {
        // Nothing of the video is used: an empty span only.
        picture->segments.push_back(MovieWriter::VideoSegment{
            MediaTimeRange(MediaTime::zero(), MediaTime::zero()), MediaTime::zero(),
            MediaTime::fromSeconds(at.seconds() + used.duration.seconds() / speed, scale)});
    }

    const double rate = shell.playerSampleRate > 0 ? shell.playerSampleRate : track->projectSampleRate;
    startMixExport(destination, {}, rate, picture);
    if (!exporting.session) return false;
    showVideoSheet(*this);
    startProgressTimer(*this);
    return true;
}

void AudioController::stopAudioVideoProcessing() { exporting.stopAudioProcessing.store(true); }

void AudioController::finishVideoExport(MusicFilter* track, bool ok, bool stopped) {
    if (exporting.session) exporting.session->exportSessionTimer.reset();
    setSheetTexts(progressSheet()->sheetInfoTextField->text(), QStringLiteral("100%"));
    exporting.lastExportSucceeded = ok;
    // A stopped export ends as one that worked, with nothing written.
    const bool error = !ok && !stopped;
    if (track) return resetAssetsForTrackExportWithError(track, error);
    if (ui.audioView)
        for (const auto& record : ui.audioView->audioTracks)
            if (record.audioFilter) record.audioFilter->restoreFilterParameters();
    resetAssetsWithError(error);
    resetTrackMeters();
}
