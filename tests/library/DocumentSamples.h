#pragma once

// Documents that hold every kind of value a project and a preset can hold,
// with a curve on each input that can have one: the seeds of the record
// tests and of the fuzzing of the readers.

#include "app/EffectControls.h"
#include "engine/EffectInputs.h"
#include "library/ProjectRecords.h"

#include <QCborMap>

namespace documentsamples {

// In-range effect values, each different from its default; the fades and
// the band-pass width above what the described ranges say, as the sliders
// allow.
inline TrackParametersRecord parameters(double shift = 0) {
    TrackParametersRecord p;
    for (size_t i = 0; i < effectControlTable.size(); ++i) {
        const EffectControl& c = effectControlTable[i];
        p.inputs[i] = float(c.minValue + (c.maxValue - c.minValue) * (0.3 + shift));
    }
    p.filterAudioUnits = std::vector<ListenerParameterRecord>{{0, 1, 4000, -3.5f, 10, 4}, {12, 0, 1, 60.0f, 10, 4}};
    return p;
}

// A curve of two or three points on every input that can have one, its
// values inside the input's range; some points carry a mark.
inline TrackCurves curvesOnEveryAutomatedInput() {
    TrackCurves curves;
    for (const QString& key : effectinputs::automatedInputKeys()) {
        for (const EffectControl& c : effectControlTable) {
            if (key != QLatin1String(c.key)) continue;
            const double span = c.maxValue - c.minValue;
            curves[key] = {{0.0, c.minValue + span * 0.25, std::nullopt},
                           {0.25, c.minValue + span * 0.75, KeyPoint::kRecordingBoundary},
                           {0.5, c.minValue + span * 0.5, KeyPoint::kPlacedWithMouse}};
        }
    }
    return curves;
}

inline project::TrackInfoRecord::Note note(uint8_t number, std::optional<double> start, std::optional<double> end) {
    project::TrackInfoRecord::Note n;
    n.record.midiCommand = units::MidiMessage{uint8_t(0x91), number, 100};
    n.record.midiCommandIsRecorded = true;
    n.record.midiNote = number;
    n.record.midiNoteOn = true;
    n.start = start;
    n.end = end;
    return n;
}

inline units::AudioUnitBundleRecord bundle() {
    units::AudioUnitBundleRecord b;
    b.AudioComponents.append(units::AudioComponentRecord{QStringLiteral("aufx"), QStringLiteral("dely"),
                                                         QStringLiteral("mdaX"), QStringLiteral("mda: Delay"), true});
    b.pluginURI = QStringLiteral("http://drobilla.net/plugins/mda/Delay");
    b.bundlePath = QStringLiteral("/usr/lib/lv2/mda.lv2");
    return b;
}

// A two-track document over the sources "1 - one.wav" and "2 - two.wav"
// (of 2 and 3 seconds): the first track holds every field there is.
inline project::ProjectDocument fullDocument() {
    project::ProjectTrackRecord a;
    a.projectMetadataDictionary = project::ProjectMetadataRecord{QStringLiteral("Title"), QStringLiteral("Artist"),
                                                                 QStringLiteral("Comments"), QByteArray("II*\0art", 7)};
    a.projectIconImage = QByteArray("II*\0icon", 8);
    a.filterTrackSegments = {
        {QStringLiteral("/old/1 - one.wav"), QStringLiteral("/old/1 - one.wav"), QStringLiteral("one.wav"), {0.25, 1.5}, {0, 1.5}},
        {QString(), QStringLiteral("/old/1 - one.wav"), QStringLiteral("one.wav"), {0, 0.25}, {1.5, 0.25}},
    };
    project::TrackInfoRecord& i = a.filterInfo;
    i.filterInfoBaseURL = QStringLiteral("file:///old/");
    i.filterInfoTrackColor = {0.2, 0.4, 0.6};
    i.filterInfoTypeOfComposition = 1;
    i.filterInfoCurrentTimeRange = {0.25, 1.75};
    i.filterInfoDurationInSeconds = 2;
    i.filterInfoAnimationStart = 1;
    i.filterInfoAnimationEnd = 2.75;
    i.filterInfoAudioOriginInPercent = 0.125;
    i.filterInfoAudioDurationInPercent = 0.75;
    i.filterInfoAudioViewFrame = QRectF(2, 0, 104, 80);
    i.filterInfoBezierPath = QRectF(10, 4, 40, 60);
    i.filterInfoFadeInPercent = 25;
    i.filterInfoFadeOutPercent = 12.5;
    i.filterInfoWaveData = QByteArray("II*\0wave", 8);
    i.filterInfoSpeed = 1;
    i.filterInfoZoomValue = 3;
    i.filterInfoCompositionDuration = 30;
    i.filterPresetData.parameters = parameters();
    i.filterPresetData.presetThumbnailImage = QByteArray("II*\0thumb", 9);
    i.filterPresetData.presetRecordedDictionary = curvesOnEveryAutomatedInput();
    i.filterPresetData.presetRecordedTypeOfCurve = 1;
    i.filterInfoActivePluginsName = {QStringLiteral("mda: Delay")};
    i.filterInfoDynamcAudioUnits = {bundle()};
    i.filterCurrentSelectedAudio = 1;
    i.filterInfoShowParameterCurve = 4;
    i.filterInfoSelectionPastes = {{QPointF(1, 2), QPointF(30, 4)}};
    i.filterInfoSelectionPaths = {{QPointF(5, 0), QPointF(25, 80)}, {}};
    i.filterMarkersArray = {{2.5, QStringLiteral("Verse")}, {12, QStringLiteral("Chorus")}};
    i.filterCurrentCompositionTime = 2;
    i.filterInfoIsRecordingParameters = 1;
    i.filterInfoIsDeletingKeyPoints = 1;
    i.filterProjectDate = QStringLiteral(" - 3-3-2026,9.5.7");
    i.filterInfoPluginsPresetsDictionary = {{QStringLiteral("mda: Delay"), QVariantList{QStringLiteral("Slap"), qint64(3)}}};
    QCborMap state;
    state.insert(QStringLiteral("feedback"), 0.5);
    state.insert(QStringLiteral("blob"), QByteArray("\x01\x02", 2));
    i.filterInfoPluginsClassInfoDictionary = {{QStringLiteral("mda: Delay"), QVariant::fromValue(state)}};
    i.filterInfoMidiArray = {note(60, 0.5, 1.25), note(64, std::nullopt, std::nullopt)};
    SelectionParametersRecord s;
    s.selectionParametersStartPercent = 0.1;
    s.selectionParametersEndPercent = 0.4;
    s.selectionParametersInfo.parameters = parameters(0.2);
    s.selectionParametersInfo.presetRecordedDictionary = curvesOnEveryAutomatedInput();
    s.selectionParametersInfo.presetRecordedTypeOfCurve = 1;
    s.selectionParametersReference = QStringLiteral("0.100000 - 0.400000");
    i.filterInfoSelectionParameters = std::vector<SelectionParametersRecord>{s};

    project::ProjectTrackRecord b;
    b.filterTrackSegments = {{QString(), QStringLiteral("/old/2 - two.wav"), QStringLiteral("two.wav"), {0, 3}, {0, 3}}};
    b.filterInfo.filterInfoTrackColor = {1, 0.73, 0.15};
    b.filterInfo.filterInfoCurrentTimeRange = {0, 3};
    b.filterInfo.filterInfoDurationInSeconds = 3;
    b.filterInfo.filterInfoAnimationEnd = 3;
    b.filterInfo.filterInfoAudioDurationInPercent = 1;
    b.filterInfo.filterInfoAudioViewFrame = QRectF(0, 0, 6, 80);
    b.filterInfo.filterInfoCompositionDuration = 30;
    b.filterInfo.filterPresetData.parameters = parameters(0.1);
    b.filterInfo.filterCurrentSelectedAudio = 1;
    return {a, b};
}

inline project::PresetRecord fullPreset() {
    project::PresetRecord p;
    p.base.parameters = parameters();
    p.base.presetThumbnailImage = QByteArray("II*\0thumb", 9);
    p.base.presetRecordedDictionary = curvesOnEveryAutomatedInput();
    p.base.presetRecordedTypeOfCurve = 1;
    project::PresetRecord::Plugins plugins;
    plugins.presetDynamicAudioUnits = {bundle()};
    plugins.presetFilterActivePluginsName = {QStringLiteral("mda: Delay")};
    plugins.presetPluginsPresetsDictionary = {{QStringLiteral("mda: Delay"), QVariantList{QStringLiteral("Slap"), qint64(3)}}};
    QCborMap state;
    state.insert(QStringLiteral("feedback"), 0.5);
    plugins.presetPluginsClassInfoDictionary = {{QStringLiteral("mda: Delay"), QVariant::fromValue(state)}};
    p.plugins = plugins;
    p.presetMidiArray = {note(60, 0.5, 1.25), note(62, 1.5, std::nullopt)};
    return p;
}

}  // namespace documentsamples
