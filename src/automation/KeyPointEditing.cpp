// The controller's side of the key points a lane edits with the mouse: the
// working curves changed and published, the commit of a gesture with its
// undo step, and what the render and the controls follow meanwhile.
#include "app/AudioController.h"

#include "automation/KeyPointEdits.h"
#include "engine/MusicFilter.h"
#include "platform/core/UndoManager.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"

#include <map>

QStringList AudioController::laneCurveKeys(quint64 curve) const {
    const auto& effects = curveEffects();
    return curve >= 1 && curve < effects.size() ? effects[curve].keys : QStringList();
}

const TrackCurves* AudioController::laneWorkingCurves(const MusicFilter& track) const {
    const auto found = automation.tempRecorderParameters.find(track.identifierOfFilter);
    return found == automation.tempRecorderParameters.end() ? nullptr : &found->second;
}

quint64 AudioController::laneSetWorkingKeyPoint(MusicFilter& track, const QString& key, quint64 index,
                                                const KeyPoint& point) {
    const auto entry = automation.tempRecorderParameters.find(track.identifierOfFilter);
    if (entry == automation.tempRecorderParameters.end()) return kNoIndex;
    const auto found = entry->second.find(key);
    if (found == entry->second.end()) return kNoIndex;
    KeyPointCurve& curve = found->second;
    if (index == kNoIndex) {
        curve.push_back(point);
        index = curve.size() - 1;
    } else if (index < curve.size()) {
        curve[size_t(index)] = point;
    } else {
        return kNoIndex;
    }
    const size_t placed = automation::resortFollowingPoint(curve, size_t(index));
    publishRecordedParametersForFilter(&track);
    return placed;
}

bool AudioController::laneRemoveWorkingKeyPoints(MusicFilter& track, const QList<KeyPointHitRecord>& points) {
    const auto entry = automation.tempRecorderParameters.find(track.identifierOfFilter);
    if (entry == automation.tempRecorderParameters.end()) return false;
    std::map<QString, std::vector<size_t>> byKey;
    for (const KeyPointHitRecord& p : points) byKey[p.key].push_back(size_t(p.index));
    bool changed = false;
    for (const auto& [key, indices] : byKey) {
        const auto found = entry->second.find(key);
        if (found != entry->second.end() && automation::removeKeyPointsKeepingTwo(found->second, indices))
            changed = true;
    }
    if (changed) publishRecordedParametersForFilter(&track);
    return changed;
}

void AudioController::laneCommitKeyPoints() {
    const RecordedParameters before = automation::copyRecordedDictionary(automation.recordedParameters);
    if (UndoManager* undo = undoManager())
        undo->registerUndo(this, [this, before] { undoRedoMouseRecordedParameters(before); });
    automation.recordedParameters = automation::copyRecordedDictionary(automation.tempRecorderParameters);
    automation.tempRecorderParameters = automation::copyRecordedDictionary(automation.recordedParameters);
    publishAllRecordedParameters();
}

void AudioController::undoRedoMouseRecordedParameters(const RecordedParameters& store) {
    const RecordedParameters current = automation::copyRecordedDictionary(automation.recordedParameters);
    if (UndoManager* undo = undoManager())
        undo->registerUndo(this, [this, current] { undoRedoMouseRecordedParameters(current); });
    automation.recordedParameters = automation::copyRecordedDictionary(store);
    automation.tempRecorderParameters = automation::copyRecordedDictionary(store);
    publishAllRecordedParameters();
    verifyRecordedInputValuesForSeekToTime(currentTime(), automation.recordedParameters);
    if (ui.audioView)
        for (const auto& record : ui.audioView->audioTracks)
            if (AudioDrawingView* lane = trackLaneOf(record.audioFilter.get())) lane->update();
}

void AudioController::laneFollowWorkingCurves(MusicFilter& track, bool working) {
    track.needsUpdateParametersWithTempDictionary = working;
    publishRecordedParametersForFilter(&track);
}

void AudioController::laneSetMovingKeyPoint(const std::optional<HighlightedKeyPointRecord>& point,
                                            const QString& key) {
    if (point)
        automation.filterMovingPoint =
            AutomationState::MovingPoint{point->time, float(point->value), point->minValue, point->maxValue, {}};
    else
        automation.filterMovingPoint.reset();
    automation.filterMovingSliderKey = point ? key : QString();
}

void AudioController::laneEvaluateCurves(bool working, std::optional<double> seconds) {
    verifyRecordedInputValuesForSeekToTime(seconds.value_or(currentTime()),
                                           working ? automation.tempRecorderParameters
                                                   : automation.recordedParameters);
}
