// Offline rendering of one track, through its own tap, into a float CAF
// file in "TempFiles", for the mix export: tracks at another speed and tracks whose
// source rate differs from the export's.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "export/ExportControl.h"
#include "export/ExportRules.h"
#include "export/ExportSession.h"
#include "platform/media/Asset.h"
#include "platform/media/ProcessingTap.h"
#include "views/ExportViews.h"

#include <QLabel>

#include <cmath>

bool AudioController::trackNeedsPreRender(const MusicFilter& track, double sampleRate) {
    if (!track.playerAsset || !track.audioTrack || track.trackID == -1) return false;
    const auto input = track.mixInput();
    if (!input) return false;
    const bool speedChanged = !exportcontrol::isNormalSpeed(track.value(EffectInput::Speed));
    if (input->audioTapProcessor() && speedChanged) return true;
    return track.audioTrackSampleRate != sampleRate;
}

bool AudioController::createTemporaryAudioFileWithAudioFiltersAndSignalGroup(MusicFilter* track,
                                                                             ExportGroup& group) {
    if (!track || !exporting.session || !trackNeedsPreRender(*track, track->projectSampleRate)) return false;
    ExportSession& s = *exporting.session;
    const auto input = track->mixInput();
    const std::shared_ptr<ProcessingTap> tap = input->audioTapProcessor();
    const float speed = track->value(EffectInput::Speed);
    const MediaTimeRange used = track->currentTimeRange();

    // The track's used range of its current source version, from zero.
    auto composition = std::make_shared<Composition>();
    CompositionTrack* target = exportcontrol::addTrackSource(*composition, *track, used);
    if (!(target->duration() > MediaTime::zero())) return false;

    QString error;
    auto reader = AssetReader::create(composition, &error);
    if (!reader) return false;
    // The renderer converts the source to the export's rate; the file is
    // written at that rate.
    auto output = exportcontrol::addTapMixOutput(*reader, target->trackID(), tap, track->projectSampleRate);
    if (!output) return false;

    // The render is written whole, in float: the mix reads it back exactly
    // as it was rendered, not through a lossy encoder's loss of the top
    // octave and level. It is scratch, made again by the next export, and
    // so is not synced.
    constexpr auto format = AudioFileWriter::Format::CAF;
    const QString path = exportrules::temporaryAudioFilePath(getAppTempPath(), track->playerAsset->path(),
                                                             AudioFileWriter::extension(format));
    auto writer = AudioFileWriter::create(
        path, AudioFileWriter::Settings{format, track->projectSampleRate, 2, 0, partialfiles::Durability::Unsynced}, {},
        &error);
    if (!writer) return false;

    // The tap renders the track from zero, at its own length, with its fades
    // in the time of the unscaled source.
    exportcontrol::prepareTapContextForRender(MusicFilter::contextOfTap(tap.get()), used.duration.seconds(), speed);
    // The automation is read at the render's times, which start at zero.
    const double start = exportcontrol::prepareTrackForRender(*this, track);

    auto render = std::make_unique<ExportSession::PreRender>();
    render->track = track->weak_from_this();
    render->path = path;
    render->job = std::make_unique<AudioWriteJob>(reader, output, std::move(writer), target->duration());
    ExportSession::PreRender* r = render.get();
    const double length = target->duration().seconds();
    const int count = std::max(1, s.preRenderCount);
    s.preRenders.push_back(std::move(render));
    // The caller entered the group for this track: the completion leaves it.
    r->job->start(
        [this, r, length, count](double seconds) {
            const double p = std::round(std::min(1.0, seconds / length) * 100.0);
            exporting.processingPercentCompleted += (p - r->lastPercent) / count;
            r->lastPercent = p;
            progressSheet()->sheetPercentTextField->setText(
                QStringLiteral("%1%").arg(long(exporting.processingPercentCompleted)));
        },
        [this, r, &group, start](const AudioWriteJob::Result& result) {
            // On the main thread: the key points and the tap context are the
            // main thread's.
            r->ok = result.ok;
            std::shared_ptr<MusicFilter> t = r->track.lock();
            if (t && t->filterParameters) {
                if (result.ok) t->filterParameters->temporaryAssetURL = r->path;
                if (TrackTapContext* context = t->getProcessorContext())
                    context->contextTrackDurationRatio.store(t->filterParameters->contextTrackDurationRatio);
            }
            if (t) updateRecordedTimesForFilter(t.get(), start);
            if (!result.ok && exporting.session) {
                exporting.session->failed = true;
                if (exporting.session->failureReason.isEmpty()) exporting.session->failureReason = result.error;
            }
            group.leave();
        });
    return true;
}
