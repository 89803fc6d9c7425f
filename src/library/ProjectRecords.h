#pragma once

// The records of a project folder and of the reduced preset a project keeps
// per track, with their CBOR form. Values only: no controller, no widgets,
// so that the format is tested on its own.
//
// Reading checks every field's kind, then its value (DocumentValues.h),
// before anything is handed out: a document that does not fit gives no
// records and a message naming the first field that was wrong.

#include "automation/SelectionParameters.h"
#include "automation/TrackParameters.h"
#include "engine/AutomationTypes.h"
#include "engine/MidiNote.h"
#include "midi/NoteLists.h"
#include "platform/units/PluginCatalogue.h"
#include "views/MarkerRecord.h"

#include <QByteArray>
#include <QImage>
#include <QCborArray>
#include <QCborMap>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <array>
#include <optional>
#include <vector>

namespace project {

// The file in the folder that holds the composition.
inline constexpr char kProjectDataName[] = "projectData";
inline constexpr char kProjectExtension[] = "trvproj";

struct ProjectMetadataRecord {
    QString projectMetadataTitle, projectMetadataArtist, projectMetadataComments;
    QByteArray projectMetadataArtwork;  // TIFF; empty when the composition has none
    friend bool operator==(const ProjectMetadataRecord&, const ProjectMetadataRecord&) = default;
};

struct TrackSegmentRecord {
    QString filterSegmentPath;   // "" for inserted silence
    QString filterOriginalPath;  // the track's own source
    QString filterNameOfSourceTrack;
    std::array<double, 2> filterSourceTimeRange{};  // [start, duration] seconds
    std::array<double, 2> filterTargetTimeRange{};
    friend bool operator==(const TrackSegmentRecord&, const TrackSegmentRecord&) = default;
};

// The reduced preset of a track: its effect values and unit parameters, its
// thumbnail and its curves as fractions of its source.
struct ProjectPresetRecord {
    TrackParametersRecord parameters;
    QByteArray presetThumbnailImage;  // TIFF; may be empty
    std::optional<TrackCurves> presetRecordedDictionary;
    std::optional<uint64_t> presetRecordedTypeOfCurve;
};

struct TrackInfoRecord {
    QUrl filterInfoBaseURL;
    std::array<double, 3> filterInfoTrackColor{};
    uint64_t filterInfoTypeOfComposition = 0;
    std::array<double, 2> filterInfoCurrentTimeRange{};
    double filterInfoDurationInSeconds = 0;
    double filterInfoAnimationStart = 0, filterInfoAnimationEnd = 0;
    double filterInfoAudioOriginInPercent = 0, filterInfoAudioDurationInPercent = 0;
    QRectF filterInfoAudioViewFrame, filterInfoBezierPath;
    double filterInfoFadeInPercent = 0, filterInfoFadeOutPercent = 0;
    QByteArray filterInfoWaveData;
    double filterInfoSpeed = 1.0;
    double filterInfoZoomValue = 0;
    double filterInfoCompositionDuration = 0;
    ProjectPresetRecord filterPresetData;
    QStringList filterInfoActivePluginsName;
    // Of those, the plug-ins switched off (absent from older projects: none).
    QStringList filterInfoSwitchedOffPluginsName;
    QList<units::AudioUnitBundleRecord> filterInfoDynamcAudioUnits;
    uint64_t filterCurrentSelectedAudio = 0;
    uint64_t filterInfoShowParameterCurve = 0;
    QList<QList<QPointF>> filterInfoSelectionPastes, filterInfoSelectionPaths;
    std::vector<MarkerRecord> filterMarkersArray;
    double filterCurrentCompositionTime = 0;
    uint64_t filterInfoIsRecordingParameters = 0, filterInfoIsDeletingKeyPoints = 0;
    QString filterProjectDate;
    QVariantMap filterInfoPluginsPresetsDictionary, filterInfoPluginsClassInfoDictionary;
    // Note times in seconds of track time; the records' times are set from
    // them at the loading track's time scale.
    using Note = notelists::ExportedNote;
    std::vector<Note> filterInfoMidiArray;
    std::optional<std::vector<SelectionParametersRecord>> filterInfoSelectionParameters;
};

struct ProjectTrackRecord {
    std::optional<ProjectMetadataRecord> projectMetadataDictionary;  // first record only
    QByteArray projectIconImage;                                     // first record only
    std::vector<TrackSegmentRecord> filterTrackSegments;
    TrackInfoRecord filterInfo;
};

using ProjectDocument = std::vector<ProjectTrackRecord>;

// A whole preset, as a preset file and the clipboard hold it: the reduced
// record plus the track's plug-ins (present together or not at all) and
// its notes.
struct PresetRecord {
    ProjectPresetRecord base;
    struct Plugins {
        QList<units::AudioUnitBundleRecord> presetDynamicAudioUnits;
        QStringList presetFilterActivePluginsName;
        QVariantMap presetPluginsPresetsDictionary, presetPluginsClassInfoDictionary;
    };
    std::optional<Plugins> plugins;
    // Absent in a preset that leaves a track's notes as they are.
    std::optional<std::vector<TrackInfoRecord::Note>> presetMidiArray;
};
QByteArray encodePresetFile(const PresetRecord& preset);
std::optional<PresetRecord> decodePresetFile(const QByteArray& bytes, QString* error);

// The preset files in `folder`: no hidden files, no folders, in the order
// the folder lists them.
QList<QUrl> presetFiles(const QString& folder);
// `name` when nothing stands at folder/name, else "name 2", "name 3", ...
QString freePresetName(const QString& folder, const QString& name);
// Why a typed name cannot name a preset file; empty when it can.
QString presetNameProblem(const QString& name);

QByteArray encodeProject(const ProjectDocument& document);
// Nothing, with `error` set, unless every record and field is of its kind.
std::optional<ProjectDocument> decodeProject(const QByteArray& bytes, QString* error);

QByteArray encodePreset(const ProjectPresetRecord& preset);
std::optional<ProjectPresetRecord> decodePreset(const QByteArray& bytes, QString* error);

// The parts shared with preset files and clipboard data.
QCborValue curvesValue(const TrackCurves& curves);
std::optional<TrackCurves> curvesFromValue(const QCborValue& v, QString* error);
QCborValue parametersValue(const TrackParametersRecord& record);  // the 27 keys + "filterAudioUnits"
std::optional<TrackParametersRecord> parametersFromMap(const QCborMap& map, QString* error);

// The name under which a source is copied into a project folder: the sum of
// the UTF-16 code units of its path, " - ", its file name. A name longer than
// a file name may be is cut to fit, keeping its extension, with "~" and a
// digest of the whole name after the cut.
QString sourceCopyName(const QString& sourcePath, uint64_t suffix = 0);
// The file name a stored path refers to inside the folder; nothing for a
// name that could leave the folder ("", ".", "..").
std::optional<QString> storedFileName(const QString& storedPath);
// A picture as the records keep it: TIFF with LZW compression; empty for
// a null picture.
QByteArray tiffData(const QImage& image);
// " - 3-3-2026,9.5.7" for the date a save writes.
QString projectDateText(const QDateTime& when);
// "My Project - 3-3-2026,9.05.07", the save panel's default name.
QString defaultProjectName(const QDateTime& when);

}  // namespace project
