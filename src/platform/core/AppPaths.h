#pragma once

#include <QString>

// The folders Trevalune keeps its files in. Each is created on first use.
namespace apppaths {

// <Music>/Trevalune and its "Media Library".
QString musicFolder();
QString mediaLibraryFolder();
// ~/.local/share/Trevalune with "Presets", "TempFiles", "RecordedFiles" and
// the decoded-source cache.
QString dataFolder();
QString presetsFolder();
QString tempFilesFolder();
QString recordedFilesFolder();
QString decodedCacheFolder();

}  // namespace apppaths
