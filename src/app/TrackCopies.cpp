#include "app/TrackCopies.h"

#include "app/AudioController.h"
#include "automation/RecordedParameters.h"
#include "engine/MusicFilter.h"
#include "platform/media/AssetTrack.h"
#include "platform/media/Composition.h"
#include "views/AudioDrawingView.h"

namespace trackcopies {

void fadesIntoLane(MusicFilter& track) {
    auto* lane = AudioController::trackLaneOf(&track);
    if (!lane) return;
    lane->fadeInPercent = track.value(EffectInput::FadeIn);
    lane->fadeOutPercent = track.value(EffectInput::FadeOut);
    lane->update();
}

void insertAll(QVariantMap& into, const QVariantMap& from) {
    for (auto it = from.begin(); it != from.end(); ++it) into.insert(it.key(), it.value());
}

void copyVersionsFrom(const MusicFilter& source, MusicFilter& copy) {
    copy.filterActivePluginsName.append(source.filterActivePluginsName);
    copy.filterSwitchedOffPluginsName.append(source.filterSwitchedOffPluginsName);
    copy.filterBitmaps = source.filterBitmaps;
    copy.indexOfUpdatedBitmap = source.indexOfUpdatedBitmap;
    copy.indexOfUpdatedTrack = source.indexOfUpdatedTrack;
    auto versions = std::make_shared<Composition>();
    copy.tempFilterTracks.clear();
    const int32_t naturalScale = source.audioTrack ? source.audioTrack->naturalTimeScale() : source.timeScale;
    for (const CompositionTrack* v : source.tempFilterTracks) {
        CompositionTrack* version = versions->addMutableTrack(MediaType::Audio, 0);
        if (!version) continue;
        version->setNaturalTimeScale(naturalScale > 0 ? naturalScale : MediaTime::DefaultTimeScale);
        if (v) version->insertTimeRange({MediaTime::zero(), v->duration()}, *v, MediaTime::zero());
        copy.tempFilterTracks.push_back(version);
    }
    copy.tempComposition = versions;
}

void copyUnitSettingsFrom(AudioController& c, MusicFilter& source, MusicFilter& copy, bool readUnits) {
    if (readUnits) source.updateListenerParametersFromAudioUnits();
    const std::vector<ListenerParameterRecord> parameters = c.listenerAudioUnitsParametersArray(&source, readUnits);
    copy.listenerParametersUpdated = true;
    c.updateListenerAudioUnitsFromArray(&parameters, &copy);
    copy.tempAudioUnitsArray = parameters;
    insertAll(copy.pluginsPresetsDictionary, source.pluginsPresetsDictionary);
    insertAll(copy.pluginsClassInfosDictionary, source.pluginsClassInfosDictionary);
}

void copyCurvesFrom(AudioController& c, const MusicFilter& source, MusicFilter& copy, bool withDeletingMode) {
    auto& curves = c.automation.recordedParameters;
    if (!curves.count(source.identifierOfFilter)) return;
    copy.isRecordingParameters = source.isRecordingParameters;
    if (withDeletingMode) copy.isDeletingKeyPoints = source.isDeletingKeyPoints;
    copy.showParameterCurve = source.showParameterCurve;
    copy.typeOfRecordedCurve = source.typeOfRecordedCurve;
    automation::addKeyToRecordedDictionary(curves, source.identifierOfFilter, copy.identifierOfFilter);
    c.automation.tempRecorderParameters = automation::copyRecordedDictionary(curves);
    c.publishRecordedParametersForFilter(&copy);
}

}  // namespace trackcopies
