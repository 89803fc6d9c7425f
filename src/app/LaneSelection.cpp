// What the lanes' selection gestures ask of the controller: selecting a
// track from its lane and the times a selection's edges snap to.

#include "app/AudioController.h"

#include "views/LineView.h"

// The same selection as a click in the ruler layer's track rows.
void AudioController::laneSelectTrack(quint64 index) { rulerSelectTrack(index); }

AudioDrawingViewOwner::SnapTargets AudioController::laneSnapTargets() const {
    SnapTargets targets;
    const double D = rulerCompositionSeconds();
    if (ui.lineView) {
        targets.playhead = D * ui.lineView->linePercent;
        targets.playPosition = D * ui.lineView->globalLinePercent;
    }
    targets.markerTimes.reserve(qsizetype(editing.markersArray.size()));
    for (const MarkerRecord& marker : editing.markersArray) targets.markerTimes.append(marker.markerTime);
    return targets;
}

double AudioController::laneZoomValue() const { return shell.zoomValue; }
