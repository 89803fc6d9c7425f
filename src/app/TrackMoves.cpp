// What the track area asks of the controller while a track is moved or
// trimmed and while a time selection is dragged.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "views/AudioUnitPanel.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"


double AudioController::areaPlayerItemSeconds() const {
    if (!audioPlayer || !audioPlayer->currentItem()) return 0.0;
    return audioPlayer->currentItem()->duration().seconds();
}

std::vector<double> AudioController::areaMarkerTimes() const {
    std::vector<double> times;
    times.reserve(editing.markersArray.size());
    for (const MarkerRecord& m : editing.markersArray) times.push_back(m.markerTime);
    return times;
}

void AudioController::areaShowPosition(const MediaTime& time) {
    updateLabelsTimeWithCurrentTime(time);
    for (FloatSlider* slider : {ui.audioSlider, miniPlayer.playerAudioSlider})
        if (slider) slider->setFloatValue(float(time.seconds()));
}

void AudioController::areaSetLinePercent(double percent) {
    if (!ui.lineView) return;
    ui.lineView->linePercent = percent;
    ui.lineView->update();
}

void AudioController::areaSetAdditionalLine(bool draw, double percent) {
    if (!ui.lineView) return;
    ui.lineView->drawAdditionalLinePercent = draw;
    if (draw) ui.lineView->additionalLinePercent = percent;
    ui.lineView->update();
}

void AudioController::areaKeepTrackSettings(MusicFilter& track) {
    if (QWidget* panel = trackList.audioUnitPanel) {
        auto* unitPanel = qobject_cast<AudioUnitPanel*>(panel);
        if (panel->isVisible() || (unitPanel && unitPanel->contentView())) panel->close();
    }
    // The units' settings as they are now, written into the track's next
    // units; a track whose tap is not prepared yet keeps what it stored.
    keepUnitParameters(track);
    track.tempAudioUnitsArray = listenerAudioUnitsParametersArray(&track, false);
}
