#pragma once

// The undo records of the lane's effect-settings commands. Each entry names
// its track by identity, so that an undo after tracks were added or removed
// restores every track that is still there and only those.

#include "app/TrackListRecords.h"
#include "automation/TrackParameters.h"
#include "engine/ListenerParameterRecord.h"
#include "engine/MidiNote.h"

#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <vector>

class MusicFilter;

// A reset's record: the track's values, geometry and unit switches before it.
struct EffectResetUndoRecord {
    std::weak_ptr<MusicFilter> track;
    TrackParametersRecord audioParametersDictionary;
    TrackFrameUndoRecord audioUndoInfoDictionary;
    // The fourteen built-in switches in unit type order, then one per plug-in.
    std::vector<bool> audioListenerEnabledArray;
};

// "Apply filters to all tracks": one entry per track as it was, the source
// track's own included. Notes, plug-in names and plug-in state are kept too,
// so that the undo gives every track back what the copy replaced.
struct ApplyToAllUndoRecord {
    struct Entry {
        std::weak_ptr<MusicFilter> track;
        TrackParametersRecord audioParameters;
        std::vector<ListenerParameterRecord> audioListenerParameters;
        TrackFrameUndoRecord audioUndoInfo;
        MidiNoteList notes;
        QStringList activePluginNames, switchedOffPluginNames;
        QVariantMap pluginPresets, pluginClassInfos;
    };
    std::weak_ptr<MusicFilter> source;
    std::vector<Entry> entries;
};
