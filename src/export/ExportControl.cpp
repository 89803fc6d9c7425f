#include "export/ExportControl.h"

#include "app/AudioController.h"
#include "engine/EngineConstants.h"
#include "engine/MusicFilter.h"
#include "engine/TrackTapContext.h"
#include "export/ExportSession.h"
#include "platform/media/AssetReader.h"
#include "views/ExportViews.h"

#include <QLabel>
#include <QPushButton>

namespace exportcontrol {

namespace {
// The player renders in slices of this many frames.
constexpr int64_t kPlayerSliceFrames = 1024;
}  // namespace

void beginSession(AudioController& c, double renderRate) {
    c.exporting.stopAudioProcessing.store(false);
    c.exporting.exportIsRunning = true;
    c.exporting.lastExportSucceeded = false;
    c.exporting.processingPercentCompleted = 0.0;
    c.exporting.session = std::make_unique<ExportSession>();
    ExportSession& s = *c.exporting.session;
    if (!(renderRate > 0)) renderRate = c.shell.playerSampleRate;
    if (c.ui.audioView)
        for (const auto& record : c.ui.audioView->audioTracks)
            if (record.audioFilter)
                s.taps.hold(record.audioFilter->mixInputTap(), renderRate, kPlayerSliceFrames);
    if (c.audioPlayer) {
        if (c.audioPlayer->rate() != 0.0f) c.audioPlayer->pause();
        s.playerTime = c.currentTime();
        s.playerStopped = c.audioPlayer->currentItem() != nullptr;
        // Joins the render thread: the player has let go of every tap here.
        if (s.playerStopped) c.audioPlayer->replaceCurrentItem(nullptr);
    }
    // The taps the player had prepared at the device's rate render the
    // export at its own, from a clean start.
    s.taps.reformat(renderRate, kPlayerSliceFrames);
}

void endSession(AudioController& c) {
    if (!c.exporting.session) return;
    std::unique_ptr<ExportSession> s = std::move(c.exporting.session);
    s->writer.reset();
    s->preRenders.clear();
    if (c.ui.audioView)
        for (const auto& record : c.ui.audioView->audioTracks) {
            MusicFilter* track = record.audioFilter.get();
            if (!track) continue;
            // The units go with the tap's last renderer: their values are
            // written back into the ones the player's next render makes.
            bool prepared = false;
            for (uint64_t type = 0; unittype::isBuiltIn(type) && !prepared; ++type)
                prepared = track->getAudioUnitForType(type) != nullptr;
            if (prepared) {
                track->updateListenerParametersFromAudioUnits();
                track->updateNBandEQNumberOfBands();
            }
            if (!track->listenerParameters.empty()) track->listenerParametersUpdated = true;
        }
    if (TrackTapContext* context = MusicFilter::contextOfTap(s->soloSilencedTap.get())) context->soloMuted.store(1);
    s->taps.release();
    if (s->playerStopped && c.audioPlayer) {
        c.updatePlayerWithNewCompositionSettings();
        c.shell.seekTime = s->playerTime;
    }
}

void setSheetButton(AudioController& c, const QString& title, SheetAction action) {
    ExportSheet* sheet = c.progressSheet();
    QPushButton* b = sheet->sheetButton;
    b->disconnect();
    b->setText(title);
    b->setChecked(action == SheetAction::Stop);
    // The finished sheet's button closes it on Return; a running export is
    // never stopped by a Return meant for something else.
    b->setDefault(action == SheetAction::Close);
    if (action == SheetAction::Close) b->setFocus(Qt::OtherFocusReason);
    AudioController* controller = &c;
    if (action == SheetAction::Stop)
        QObject::connect(b, &QPushButton::clicked, controller, [controller] { controller->stopAudioProcessing(); });
    else
        QObject::connect(b, &QPushButton::clicked, controller, [controller] { controller->closeSheet(); });
}

void silenceMeters(AudioController& c) { c.resetTrackMeters(); }

bool isNormalSpeed(float speed) { return speed == 1.0f; }

void prepareTapContextForRender(TrackTapContext* context, double usedSeconds, float speed) {
    if (!context) return;
    context->contextTrackDurationRatio.store(1.0);
    context->contextTrackStartTime.store(0.0);
    context->contextTrackEndTime.store(usedSeconds);
    if (!isNormalSpeed(speed)) {
        context->contextFadeInDuration.store(context->contextFadeInDuration.load() * speed);
        context->contextFadeOutDuration.store(context->contextFadeOutDuration.load() * speed);
    }
}

CompositionTrack* addTrackSource(Composition& composition, const MusicFilter& track, const MediaTimeRange& range) {
    CompositionTrack* target = composition.addMutableTrack(MediaType::Audio);
    if (track.indexOfUpdatedTrack < track.tempFilterTracks.size() && track.tempFilterTracks[track.indexOfUpdatedTrack])
        target->insertTimeRange(range, *track.tempFilterTracks[track.indexOfUpdatedTrack], MediaTime::zero());
    else
        target->insertTimeRange(range, track.audioTrack, MediaTime::zero());
    return target;
}

double prepareTrackForRender(AudioController& c, MusicFilter* track) {
    track->setChannelLevels(0.0, 0.0);
    if (QWidget* meter = track->meteringView.data()) meter->update();
    c.notifyAudioMetering.store(false);
    const double start = track->animationStart().seconds();
    c.updateRecordedTimesForFilter(track, -start);
    return start;
}

void renderAlone(AudioController& c, const MusicFilter& track) {
    if (!c.exporting.session) return;
    std::shared_ptr<ProcessingTap> tap = track.mixInputTap();
    TrackTapContext* context = MusicFilter::contextOfTap(tap.get());
    if (!context || context->soloMuted.load() == 0) return;
    context->soloMuted.store(0);
    c.exporting.session->soloSilencedTap = std::move(tap);
}

std::shared_ptr<AssetReaderAudioMixOutput> addTapMixOutput(AssetReader& reader, int32_t trackID,
                                                           std::shared_ptr<ProcessingTap> tap, double sampleRate) {
    auto output = std::make_shared<AssetReaderAudioMixOutput>(std::vector<int32_t>{trackID},
                                                              AssetReaderAudioMixOutput::Settings{sampleRate, 2});
    auto parameters = std::make_shared<AudioMixInputParameters>();
    parameters->setTrackID(trackID);
    parameters->setAudioTapProcessor(std::move(tap));
    parameters->setVolume(1.0f, MediaTime::zero());
    auto mix = std::make_shared<AudioMix>();
    mix->setInputParameters({parameters});
    output->setAudioMix(mix);
    output->setAudioTimePitchAlgorithm(TimePitchAlgorithm::Spectral);
    if (!reader.canAddOutput(output)) return nullptr;
    reader.addOutput(output);
    return output;
}

}  // namespace exportcontrol
