#pragma once

// What a new track takes over from the track it is made from, for every
// command that makes one track from another (a duplicate with the current
// settings, a pasted track, a selection as a new track), and the steps the
// effect-settings and preset commands share with them. Main thread only.

#include <QVariantMap>

class AudioController;
class MusicFilter;

namespace trackcopies {

// The track's lane shows its fade-in and fade-out values.
void fadesIntoLane(MusicFilter& track);

// Entries of `from` replace those of the same key in `into`; the others stay.
void insertAll(QVariantMap& into, const QVariantMap& from);

// The source's plug-in names (active and switched off: a plug-in the user
// switched off stays off in the copy), pictures and audio versions: each
// version copied whole, at the same index, into a composition of the copy's
// own, with the same version and picture current.
void copyVersionsFrom(const MusicFilter& source, MusicFilter& copy);

// The source's unit and plug-in settings: its unit parameters, read from its
// units again first unless `readUnits` is false (then the stored ones), and
// its plug-ins' presets and class descriptions.
void copyUnitSettingsFrom(AudioController& c, MusicFilter& source, MusicFilter& copy, bool readUnits = true);

// The source's curves, at the same times, and the flags that record and
// show them (recording, the curve shown, its style); with
// `withDeletingMode` also whether the lane deletes key points. The copy's
// render plays them from here on. Nothing when the source has no curves.
void copyCurvesFrom(AudioController& c, const MusicFilter& source, MusicFilter& copy, bool withDeletingMode);

}  // namespace trackcopies
