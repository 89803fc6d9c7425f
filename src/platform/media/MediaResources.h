#pragma once

#include <QString>

// The resource files of the media layer: the two silent tracks,
// "EmptyTrack44,1kHz.m4a" and "EmptyTrack48kHz.m4a" (60 s of stereo silence),
// made at build time by the project's own m4a writer.
namespace mediaresources {

// "EmptyTrack48kHz.m4a" for 48000 Hz, "EmptyTrack44,1kHz.m4a" for any other rate.
QString emptyTrackFileName(double sampleRate);
// The folder holding the resources: $TREVALUNE_RESOURCES_DIR when set, else
// "resources" beside or above the program, else the build tree's. Empty
// when none is found.
QString resourcesFolder();
// The silent track for a sample rate; empty when it cannot be found.
QString emptyTrackPath(double sampleRate);

// Writes the silent track for `sampleRate` (seconds long) into `path`.
bool writeEmptyTrack(const QString& path, double sampleRate, double seconds, QString* error);

}  // namespace mediaresources
