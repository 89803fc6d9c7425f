// Resetting a track's effect settings, wholly or for the equaliser only, and
// applying one track's settings to every other track; each with undo, whose
// records restore the tracks they name.
#include "app/AudioController.h"
#include "app/TrackCopies.h"

#include "engine/MusicFilter.h"
#include "platform/core/UndoManager.h"
#include "views/AudioDrawingView.h"
#include "views/EQSubview.h"

namespace {

using trackcopies::fadesIntoLane;
using trackcopies::insertAll;

constexpr uint64_t kLaneBuiltInUnitCount = 14;
// The three filters whose switches the reset leaves on: they are always in the chain.
bool isFixedFilter(uint64_t type) { return type == 7 || type == 8 || type == 9; }

// The fourteen built-in switches in type order, then one per plug-in.
std::vector<bool> unitEnableList(const MusicFilter& track) {
    std::vector<bool> list;
    for (uint64_t t = 0; t < kLaneBuiltInUnitCount; ++t)
        list.push_back(isFixedFilter(t) || track.getAudioUnitEnabledForType(t));
    // A plug-in being re-made after a rebuild counts as the user left it.
    for (int i = 0; i < track.pluginsArray().size(); ++i) list.push_back(track.pluginEnabledAsSet(i));
    return list;
}

void redrawEqualiserView(AudioController& c) {
    if (c.ui.eqView) c.ui.eqView->update();
}

double speedOf(const TrackParametersRecord& r) {
    return r.valueForKey(QStringLiteral("inputSpeed")).value_or(1.0f);
}

void pausePlayer(AudioController& c) {
    if (c.audioPlayer && c.audioPlayer->rate() != 0) c.audioPlayer->pause();
}

}  // namespace

// ---- Reset ------------------------------------------------------------------------

void AudioController::resetFilterParametersForAudioFileFrom(quint64 index) {
    TrackRecord* record = trackRecordAt(index);
    if (!record || !record->audioFilter) return;
    MusicFilter* track = record->audioFilter.get();
    pausePlayer(*this);
    EffectResetUndoRecord undoRecord{record->audioFilter, parametersDictionaryAtIndex(index), {},
                                     unitEnableList(*track)};
    const double s0 = speedOf(undoRecord.audioParametersDictionary);
    copyDefaultValuesToDictionary(*record);
    applyDefaultValuesToControls();
    undoRecord.audioUndoInfoDictionary = trackFrameUndoRecordOf(track);
    if (UndoManager* undo = undoManager())
        undo->registerUndo(this, [this, undoRecord] { resetFilterParametersForAudioFileFrom(undoRecord); });
    fadesIntoLane(*track);
    track->updateAudioUnitsEnabled(false);
    if (s0 != track->value(EffectInput::Speed)) {
        track->listenerParametersUpdated = true;
        updateFilterSpeed(track, nullptr);
    } else {
        track->updateAudioMixState();
    }
    redrawEqualiserView(*this);
}

void AudioController::resetEQParametersForAudioFileFrom(quint64 index) {
    TrackRecord* record = trackRecordAt(index);
    if (!record || !record->audioFilter) return;
    MusicFilter* track = record->audioFilter.get();
    EffectResetUndoRecord undoRecord{record->audioFilter, parametersDictionaryAtIndex(index), {},
                                     unitEnableList(*track)};
    copyDefaultEQValuesToDictionary(*record);
    applyDefaultEQValuesToControls();
    undoRecord.audioUndoInfoDictionary = trackFrameUndoRecordOf(track);
    if (UndoManager* undo = undoManager())
        undo->registerUndo(this, [this, undoRecord] { resetFilterParametersForAudioFileFrom(undoRecord); });
    track->updateAudioMixState();
    redrawEqualiserView(*this);
}

void AudioController::resetFilterParametersForAudioFileFrom(const EffectResetUndoRecord& saved) {
    const auto owner = saved.track.lock();
    const quint64 index = owner ? indexOfTrack(owner.get()) : kNoIndex;
    TrackRecord* record = trackRecordAt(index);
    if (!record) return;  // the track has gone since
    MusicFilter* track = owner.get();
    pausePlayer(*this);
    EffectResetUndoRecord redo{owner, parametersDictionaryAtIndex(index), {}, unitEnableList(*track)};
    const double s0 = speedOf(redo.audioParametersDictionary);
    copyFilterValuesFromDictionary(saved.audioParametersDictionary, *record);
    applyValuesToSelectedAudio(index);
    redo.audioUndoInfoDictionary = trackFrameUndoRecordOf(track);
    if (UndoManager* undo = undoManager())
        undo->registerUndo(this, [this, redo] { resetFilterParametersForAudioFileFrom(redo); });
    fadesIntoLane(*track);
    const std::vector<bool>& enabled = saved.audioListenerEnabledArray;
    for (uint64_t t = 0; t < kLaneBuiltInUnitCount && t < enabled.size(); ++t)
        if (!isFixedFilter(t)) track->updateAudioUnitEnabled(enabled[t], t);
    // Plug-ins added since the record was made are left as they are.
    const QList<PluginRecord> plugins = track->pluginsArray();
    for (qsizetype i = 0; i < plugins.size(); ++i) {
        const size_t at = kLaneBuiltInUnitCount + size_t(i);
        if (at < enabled.size()) track->updateAudioUnitPluginEnabled(enabled[at], plugins[i].audioUnitType);
    }
    if (s0 != track->value(EffectInput::Speed)) {
        track->listenerParametersUpdated = true;
        updateFilterSpeed(track, &saved.audioUndoInfoDictionary);
    } else {
        track->updateAudioMixState();
    }
    redrawEqualiserView(*this);
}

// ---- Apply to all -------------------------------------------------------------------

namespace {

ApplyToAllUndoRecord::Entry entryOf(AudioController& c, quint64 index, MusicFilter& track,
                                    const std::shared_ptr<MusicFilter>& owner) {
    ApplyToAllUndoRecord::Entry e;
    e.track = owner;
    e.audioParameters = c.parametersDictionaryAtIndex(index);
    e.audioUndoInfo = c.trackFrameUndoRecordOf(&track);
    e.audioListenerParameters = c.listenerAudioUnitsParametersArray(&track, true);
    e.notes = track.midiArray;
    e.activePluginNames = track.filterActivePluginsName;
    e.switchedOffPluginNames = track.filterSwitchedOffPluginsName;
    e.pluginPresets = track.pluginsPresetsDictionary;
    e.pluginClassInfos = track.pluginsClassInfosDictionary;
    return e;
}

}  // namespace

void AudioController::applyFiltersToAllAudioFilesFrom(quint64 index) {
    if (trackCount() == 1) return;
    TrackRecord* sourceRecord = trackRecordAt(index);
    if (!sourceRecord || !sourceRecord->audioFilter) return;
    pausePlayer(*this);
    MusicFilter* source = sourceRecord->audioFilter.get();
    source->updateListenerParametersFromAudioUnits();
    const std::vector<ListenerParameterRecord> units = listenerAudioUnitsParametersArray(source, true);
    ApplyToAllUndoRecord undoRecord;
    undoRecord.source = sourceRecord->audioFilter;
    for (quint64 i = 0; i < quint64(trackCount()); ++i) {
        TrackRecord* record = trackRecordAt(i);
        if (!record || !record->audioFilter) continue;
        MusicFilter* track = record->audioFilter.get();
        ApplyToAllUndoRecord::Entry before = entryOf(*this, i, *track, record->audioFilter);
        if (i != index) {
            const double s0 = speedOf(before.audioParameters);
            copyFilterValuesFromDictionary(*sourceRecord, *record);
            fadesIntoLane(*track);
            updateListenerAudioUnitsFromArray(&units, track);
            track->tempAudioUnitsArray = units;
            insertAll(track->pluginsPresetsDictionary, source->pluginsPresetsDictionary);
            insertAll(track->pluginsClassInfosDictionary, source->pluginsClassInfosDictionary);
            track->updateListenerParametersToAudioUnits();
            track->filterActivePluginsName = source->filterActivePluginsName;
            track->filterSwitchedOffPluginsName = source->filterSwitchedOffPluginsName;
            track->midiArray = source->midiArray;
            track->publishNotes();
            if (s0 != track->value(EffectInput::Speed)) {
                track->listenerParametersUpdated = true;
                updateFilterSpeed(track, nullptr);
            } else {
                enablePluginsNameForFilter(track);
                track->updateAudioMixState();
            }
        }
        undoRecord.entries.push_back(std::move(before));
    }
    if (UndoManager* undo = undoManager())
        undo->registerUndo(this, [this, undoRecord] { applyFiltersToAllAudioFilesFrom(undoRecord); });
    redrawEqualiserView(*this);
}

void AudioController::applyFiltersToAllAudioFilesFrom(const ApplyToAllUndoRecord& saved) {
    pausePlayer(*this);
    const auto source = saved.source.lock();
    ApplyToAllUndoRecord redo;
    redo.source = saved.source;
    // Every entry goes back to its own track wherever it stands now; tracks
    // that have gone are skipped, tracks added since are left alone.
    for (const ApplyToAllUndoRecord::Entry& entry : saved.entries) {
        const auto owner = entry.track.lock();
        if (!owner || owner == source) continue;
        const quint64 i = indexOfTrack(owner.get());
        TrackRecord* record = trackRecordAt(i);
        if (!record) continue;
        MusicFilter* track = owner.get();
        ApplyToAllUndoRecord::Entry now = entryOf(*this, i, *track, owner);
        const double s0 = speedOf(now.audioParameters);
        copyFilterValuesFromDictionary(entry.audioParameters, *record);
        if (i == currentSelectedAudio.load()) applyValuesToSelectedAudio(i);
        fadesIntoLane(*track);
        updateListenerAudioUnitsFromArray(&entry.audioListenerParameters, track);
        track->tempAudioUnitsArray = entry.audioListenerParameters;
        track->pluginsPresetsDictionary = entry.pluginPresets;
        track->pluginsClassInfosDictionary = entry.pluginClassInfos;
        track->updateListenerParametersToAudioUnits();
        track->filterActivePluginsName = entry.activePluginNames;
        track->filterSwitchedOffPluginsName = entry.switchedOffPluginNames;
        track->midiArray = entry.notes;
        track->publishNotes();
        if (s0 != track->value(EffectInput::Speed)) {
            track->listenerParametersUpdated = true;
            updateFilterSpeed(track, &entry.audioUndoInfo);
        } else {
            track->updateAudioMixState();
        }
        redo.entries.push_back(std::move(now));
    }
    if (UndoManager* undo = undoManager())
        undo->registerUndo(this, [this, redo] { applyFiltersToAllAudioFilesFrom(redo); });
    redrawEqualiserView(*this);
}
