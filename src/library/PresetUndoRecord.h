#pragma once

// What one undo or redo of a preset application puts back on its track:
// the record is made just before the state changes, and applying it
// registers the record of the state it replaces.

#include "app/TrackListRecords.h"
#include "automation/TrackParameters.h"
#include "engine/AutomationTypes.h"
#include "engine/MidiNote.h"
#include "library/ProjectRecords.h"

#include <cstdint>
#include <memory>

class MusicFilter;

struct PresetUndoRecord {
    TrackParametersRecord audioUndoDictionary;
    // The track by identity; its index when the record was made is kept
    // only to say which track it was.
    std::weak_ptr<MusicFilter> audioFilter;
    uint64_t audioIndex = 0;
    TrackFrameUndoRecord audioUndoInfoDictionary;
    RecordedParameters audioUndoRecordedDictionary;  // every track's curves
    // The plug-in catalogue, the enabled names, the present presets and
    // the class infos.
    project::PresetRecord::Plugins audioUndoPluginsArray;
    MidiNoteList audioUndoMidiArray;
    uint64_t typeOfRecordedCurve = 0;
};
