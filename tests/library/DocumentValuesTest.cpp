// The project and preset records: everything the writer writes comes back,
// a curve on every input that can have one included; a value that cannot be
// used refuses the document with the field named, and one outside its
// control's range is brought into it.
#include "library/DocumentSamples.h"

#include "engine/EngineConstants.h"
#include "library/DocumentValues.h"
#include "platform/core/Archive.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <variant>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The stored value at a path of keys and indexes, changed by `change`; a
// byte string on the way that holds a document (a track's settings) is
// entered and written back.
using Step = std::variant<QString, qsizetype>;
QCborValue changedAt(const QCborValue& v, const std::vector<Step>& path, size_t at,
                     const std::function<QCborValue(const QCborValue&)>& change) {
    if (at == path.size()) return change(v);
    if (v.isByteArray()) {
        QString error;
        const auto inner = archive::decode(v.toByteArray(), &error);
        if (!inner) return v;
        return archive::encode(changedAt(*inner, path, at, change));
    }
    if (const auto* key = std::get_if<QString>(&path[at])) {
        QCborMap m = v.toMap();
        m.insert(*key, changedAt(m.value(*key), path, at + 1, change));
        return m;
    }
    const qsizetype index = std::get<qsizetype>(path[at]);
    QCborArray a = v.toArray();
    a[index] = changedAt(a.at(index), path, at + 1, change);
    return a;
}

QByteArray withValue(const QByteArray& document, const std::vector<Step>& path, const QCborValue& value) {
    QString error;
    const QCborValue root = *archive::decode(document, &error);
    return archive::encode(changedAt(root, path, 0, [&](const QCborValue&) { return value; }));
}

std::vector<Step> info(std::initializer_list<Step> rest) {
    std::vector<Step> p{qsizetype(0), QStringLiteral("filterInfo")};
    p.insert(p.end(), rest);
    return p;
}
std::vector<Step> preset(std::initializer_list<Step> rest) {
    std::vector<Step> p = info({QStringLiteral("filterPresetData")});
    p.insert(p.end(), rest);
    return p;
}

const project::TrackInfoRecord& firstInfo(const project::ProjectDocument& d) { return d.front().filterInfo; }

}  // namespace

TEST(DocumentRecordsTest, EverythingWrittenIsReadBackWithACurveOnEachAutomatedInput) {
    // Each input that can have a curve, as the render applies them.
    EXPECT_EQ(effectinputs::automatedInputKeys().size(), 24);
    for (const char* key : {"inputSpeed", "inputFadeIn", "inputFadeOut", "inputRepeat"})
        EXPECT_FALSE(effectinputs::automatedInputKeys().contains(QLatin1String(key))) << key;

    const project::ProjectDocument document = documentsamples::fullDocument();
    const QByteArray bytes = project::encodeProject(document);
    QString error;
    const auto back = project::decodeProject(bytes, &error);
    ASSERT_TRUE(back) << error.toStdString();
    // What is read writes the same bytes again: no field is dropped or changed.
    EXPECT_EQ(project::encodeProject(*back), bytes);
    const project::TrackInfoRecord& i = firstInfo(*back);
    EXPECT_EQ(i.filterPresetData.presetRecordedDictionary, documentsamples::curvesOnEveryAutomatedInput());
    ASSERT_TRUE(i.filterInfoSelectionParameters);
    EXPECT_EQ(i.filterInfoSelectionParameters->front().selectionParametersInfo.presetRecordedDictionary,
              documentsamples::curvesOnEveryAutomatedInput());
    EXPECT_EQ(i.filterPresetData.parameters.inputs, documentsamples::parameters().inputs);
    EXPECT_EQ(i.filterPresetData.parameters.filterAudioUnits, documentsamples::parameters().filterAudioUnits);
    EXPECT_EQ(i.filterInfoFadeInPercent, 25) << "fades above 10 % stay";
    EXPECT_EQ(back->front().filterTrackSegments, document.front().filterTrackSegments);
    EXPECT_EQ(i.filterInfoMidiArray.size(), 2u);
    EXPECT_FALSE(i.filterInfoMidiArray[1].start);

    const project::PresetRecord full = documentsamples::fullPreset();
    const QByteArray presetBytes = project::encodePresetFile(full);
    const auto presetBack = project::decodePresetFile(presetBytes, &error);
    ASSERT_TRUE(presetBack) << error.toStdString();
    EXPECT_EQ(project::encodePresetFile(*presetBack), presetBytes);
    EXPECT_EQ(presetBack->base.presetRecordedDictionary, documentsamples::curvesOnEveryAutomatedInput());
    ASSERT_TRUE(presetBack->plugins);
    EXPECT_EQ(presetBack->plugins->presetFilterActivePluginsName, full.plugins->presetFilterActivePluginsName);

    // The curve of an input that can have none is still refused.
    TrackCurves speed{{QStringLiteral("inputSpeed"), {{0.0, 2.0, std::nullopt}}}};
    EXPECT_FALSE(project::curvesFromValue(project::curvesValue(speed), &error));
}

TEST(DocumentRecordsTest, UnusableValuesRefuseTheDocumentAndOthersComeIntoRange) {
    const QByteArray good = project::encodeProject(documentsamples::fullDocument());
    const QString pitchKey = QStringLiteral("inputPitch");
    const auto segment = [](std::initializer_list<Step> rest) {
        std::vector<Step> p{qsizetype(0), QStringLiteral("filterTrackSegments"), qsizetype(0)};
        p.insert(p.end(), rest);
        return p;
    };
    const struct {
        const char* name;
        std::vector<Step> path;
        QCborValue value;
        const char* refusal;  // words of the message; null: the document opens
        std::function<bool(const project::ProjectDocument&)> opened;
    } cases[] = {
        {"speed not a number", info({QStringLiteral("filterInfoSpeed")}), kNaN, "speed", {}},
        {"speed of 0", info({QStringLiteral("filterInfoSpeed")}), 0.0, "speed is not above 0", {}},
        {"speed below 0", info({QStringLiteral("filterInfoSpeed")}), -2.0, "speed is not above 0", {}},
        {"project of no length", info({QStringLiteral("filterInfoCompositionDuration")}), 0.0, "project's length", {}},
        {"project length infinite", info({QStringLiteral("filterInfoCompositionDuration")}), kInf, "project's length", {}},
        {"track ends before it starts", info({QStringLiteral("filterInfoAnimationEnd")}), 0.5, "ends before it starts", {}},
        {"track start not a number", info({QStringLiteral("filterInfoAnimationStart")}), kNaN, "place on the timeline", {}},
        {"source offset below 0", segment({QStringLiteral("filterSourceTimeRange"), qsizetype(0)}), -0.5,
         "before the start of its source", {}},
        {"range in the source below 0", info({QStringLiteral("filterInfoCurrentTimeRange"), qsizetype(0)}), -1.0,
         "before the start of its source", {}},
        {"segment length infinite", segment({QStringLiteral("filterTargetTimeRange"), qsizetype(1)}), -kInf,
         "part of the track's audio", {}},
        {"selected track past the list", info({QStringLiteral("filterCurrentSelectedAudio")}), 2, "selected track", {}},
        {"shown curve past the list", info({QStringLiteral("filterInfoShowParameterCurve")}), 10, "curve", {}},
        {"marker time infinite", info({QStringLiteral("filterMarkersArray"), qsizetype(0), QStringLiteral("markerTime")}),
         kInf, "“Verse”", {}},
        {"fade not a number", info({QStringLiteral("filterInfoFadeOutPercent")}), kNaN, "fade out", {}},
        {"lane width not a number", info({QStringLiteral("filterInfoAudioViewFrame"), qsizetype(2)}), kNaN, "lane", {}},
        {"selection point infinite",
         info({QStringLiteral("filterInfoSelectionPaths"), qsizetype(0), qsizetype(1), qsizetype(0)}), kInf,
         "selection", {}},
        {"colour not a number", info({QStringLiteral("filterInfoTrackColor"), qsizetype(1)}), kNaN, "colour", {}},
        {"balance not a number", preset({QStringLiteral("inputChannelMix")}), kNaN, "“Balance”", {}},
        {"speed setting of 0", preset({QStringLiteral("inputSpeed")}), 0.0, "“Speed” setting is not above 0", {}},
        {"curve point not a number", preset({QStringLiteral("presetRecordedDictionary"), pitchKey, qsizetype(1), qsizetype(1)}),
         kNaN, "“Pitch” curve", {}},
        {"curve time infinite", preset({QStringLiteral("presetRecordedDictionary"), pitchKey, qsizetype(0), qsizetype(0)}),
         kInf, "“Pitch” curve", {}},
        {"unit value infinite",
         preset({QStringLiteral("filterAudioUnits"), qsizetype(0), QStringLiteral("filterAudioUnitParameterValue")}), kInf,
         "effect unit", {}},
        {"note time not a number", info({QStringLiteral("filterInfoMidiArray"), qsizetype(0), QStringLiteral("midiCommandTime")}),
         kNaN, "note", {}},
        {"selection place not a number",
         info({QStringLiteral("filterInfoSelectionParameters"), qsizetype(0), QStringLiteral("selectionParametersEndPercent")}),
         kNaN, "selection", {}},
        {"selection's balance not a number",
         info({QStringLiteral("filterInfoSelectionParameters"), qsizetype(0), QStringLiteral("selectionParametersInfo"),
               QStringLiteral("parameters"), QStringLiteral("inputChannelMix")}),
         kNaN, "“Balance”", {}},

        // Usable, brought into range.
        {"pitch of 1e30", preset({pitchKey}), 1e30, nullptr,
         [](const auto& d) { return firstInfo(d).filterPresetData.parameters.inputs[3] == 2400.0f; }},
        {"zoom of 1e300", info({QStringLiteral("filterInfoZoomValue")}), 1e300, nullptr,
         [](const auto& d) { return firstInfo(d).filterInfoZoomValue == project::values::kLargestZoom; }},
        {"no zoom", info({QStringLiteral("filterInfoZoomValue")}), 0.0, nullptr,
         [](const auto& d) { return firstInfo(d).filterInfoZoomValue == 0; }},
        {"speed of 1e300", info({QStringLiteral("filterInfoSpeed")}), 1e300, nullptr,
         [](const auto& d) { return firstInfo(d).filterInfoSpeed == 32; }},
        {"speed setting of 1e-9", preset({QStringLiteral("inputSpeed")}), 1e-9, nullptr,
         [](const auto& d) { return firstInfo(d).filterPresetData.parameters.inputs[1] == 0.05f; }},
        {"note time of 1e300", info({QStringLiteral("filterInfoMidiArray"), qsizetype(0), QStringLiteral("midiCommandTime")}),
         1e300, nullptr,
         [](const auto& d) { return firstInfo(d).filterInfoMidiArray[0].start == project::values::kLongestTime; }},
        {"project length of 1e300", info({QStringLiteral("filterInfoCompositionDuration")}), 1e300, nullptr,
         [](const auto& d) { return firstInfo(d).filterInfoCompositionDuration == project::values::kLongestTime; }},
        {"lane width of 1e12", info({QStringLiteral("filterInfoAudioViewFrame"), qsizetype(2)}), 1e12, nullptr,
         [](const auto& d) { return firstInfo(d).filterInfoAudioViewFrame.width() == project::values::kLargestGeometry; }},
        {"lane left of -1e12", info({QStringLiteral("filterInfoAudioViewFrame"), qsizetype(0)}), -1e12, nullptr,
         [](const auto& d) { return firstInfo(d).filterInfoAudioViewFrame.x() == -project::values::kLargestGeometry; }},
        {"volume curve at 7", preset({QStringLiteral("presetRecordedDictionary"), QStringLiteral("inputAudioMix"),
                                      qsizetype(0), qsizetype(1)}),
         7.0, nullptr,
         [](const auto& d) {
             return firstInfo(d).filterPresetData.presetRecordedDictionary->at(QStringLiteral("inputAudioMix"))[0].value == 1;
         }},
        {"fade of 60 %", info({QStringLiteral("filterInfoFadeInPercent")}), 60.0, nullptr,
         [](const auto& d) { return firstInfo(d).filterInfoFadeInPercent == 60; }},
        {"fade of 400 %", info({QStringLiteral("filterInfoFadeInPercent")}), 400.0, nullptr,
         [](const auto& d) { return firstInfo(d).filterInfoFadeInPercent == 100; }},
        {"band-pass width of 15000", preset({QStringLiteral("inputBandPassBandwidth")}), 15000.0, nullptr,
         [](const auto& d) { return firstInfo(d).filterPresetData.parameters.inputs[15] == 15000.0f; }},
        {"colour of 3", info({QStringLiteral("filterInfoTrackColor"), qsizetype(0)}), 3.0, nullptr,
         [](const auto& d) { return firstInfo(d).filterInfoTrackColor[0] == 1; }},
        {"curve style 7", preset({QStringLiteral("presetRecordedTypeOfCurve")}), 7, nullptr,
         [](const auto& d) { return firstInfo(d).filterPresetData.presetRecordedTypeOfCurve == 1u; }},
        {"no track selected", info({QStringLiteral("filterCurrentSelectedAudio")}), qint64(kNoIndex), nullptr,
         [](const auto& d) { return firstInfo(d).filterCurrentSelectedAudio == kNoIndex; }},
        {"track ending where it starts", info({QStringLiteral("filterInfoAnimationEnd")}), 1.0, nullptr,
         [](const auto& d) { return firstInfo(d).filterInfoAnimationEnd == 1; }},
    };
    for (const auto& c : cases) {
        QString error;
        const auto document = project::decodeProject(withValue(good, c.path, c.value), &error);
        if (c.refusal) {
            EXPECT_FALSE(document) << c.name;
            EXPECT_TRUE(error.contains(QString::fromUtf8(c.refusal))) << c.name << ": " << error.toStdString();
        } else {
            ASSERT_TRUE(document) << c.name << ": " << error.toStdString();
            EXPECT_TRUE(c.opened(*document)) << c.name;
        }
    }
}

// A refusal names the way to the field that does not fit, each step of the
// way once: a record inside another is named after its container's name.
TEST(DocumentRecordsTest, ARefusalNamesEachPlaceOnce) {
    const QByteArray project = project::encodeProject(documentsamples::fullDocument());
    const QByteArray presetFile = project::encodePresetFile(documentsamples::fullPreset());
    const QString notText = QStringLiteral("seven");
    const auto selection = [](std::initializer_list<Step> rest) {
        std::vector<Step> p = info({QStringLiteral("filterInfoSelectionParameters"), qsizetype(0),
                                    QStringLiteral("selectionParametersInfo")});
        p.insert(p.end(), rest);
        return p;
    };
    const struct {
        const char* kind;
        bool isPresetFile;
        std::vector<Step> path;
        QCborValue value;
        const char* message;
    } cases[] = {
        {"a track", false, {qsizetype(0), QStringLiteral("filterInfo")}, notText,
         "Track 1: the field \"filterInfo\" should be a map, not a string."},
        {"a track's information", false, info({QStringLiteral("filterInfoSpeed")}), notText,
         "Track 1: track information: the field \"filterInfoSpeed\" should be a double, not a string."},
        {"a track's effect settings", false, preset({QStringLiteral("inputPitch")}), notText,
         "Track 1: track information: effect settings: the field \"inputPitch\" should be a double, not a string."},
        {"a track's curves", false, preset({QStringLiteral("presetRecordedDictionary")}), notText,
         "Track 1: track information: effect settings: the curves should be a map."},
        {"a selection's parameters", false, selection({QStringLiteral("presetRecordedTypeOfCurve")}), notText,
         "Track 1: track information: selection parameters: the field \"presetRecordedTypeOfCurve\" should be an "
         "unsigned integer, not a string."},
        {"a selection's effect settings", false, selection({QStringLiteral("parameters"), QStringLiteral("inputPitch")}),
         notText,
         "Track 1: track information: selection parameters: effect settings: the field \"inputPitch\" should be a "
         "double, not a string."},
        {"a marker", false, info({QStringLiteral("filterMarkersArray"), qsizetype(1), QStringLiteral("markerName")}), 7,
         "Track 1: track information: marker: the field \"markerName\" should be a string, not an integer."},
        {"a segment", false, {qsizetype(0), QStringLiteral("filterTrackSegments"), qsizetype(0), QStringLiteral("filterNameOfSourceTrack")},
         7, "Track 1: segment: the field \"filterNameOfSourceTrack\" should be a string, not an integer."},
        {"a plug-in of a track", false,
         info({QStringLiteral("filterInfoDynamcAudioUnits"), qsizetype(0), QStringLiteral("AudioComponents"), qsizetype(0),
               QStringLiteral("name")}),
         7, "Track 1: track information: plug-in: plug-in component: the field \"name\" should be a string, not an integer."},
        {"a preset's effect settings", true, {QStringLiteral("inputPitch")}, notText,
         "effect settings: the field \"inputPitch\" should be a double, not a string."},
        {"a preset's plug-in", true,
         {QStringLiteral("presetDynamicAudioUnits"), qsizetype(0), QStringLiteral("AudioComponents"), qsizetype(0),
          QStringLiteral("name")},
         7, "preset: plug-in: plug-in component: the field \"name\" should be a string, not an integer."},
    };
    for (const auto& c : cases) {
        QString error;
        if (c.isPresetFile) EXPECT_FALSE(project::decodePresetFile(withValue(presetFile, c.path, c.value), &error)) << c.kind;
        else EXPECT_FALSE(project::decodeProject(withValue(project, c.path, c.value), &error)) << c.kind;
        EXPECT_EQ(error.toStdString(), c.message) << c.kind;
    }
}

TEST(DocumentRecordsTest, PresetFilesAreCheckedAsProjectsAre) {
    const QByteArray good = project::encodePresetFile(documentsamples::fullPreset());
    const struct {
        const char* name;
        std::vector<Step> path;
        QCborValue value;
        const char* refusal;
    } cases[] = {
        {"volume not a number", {QStringLiteral("inputAudioMix")}, kNaN, "“Volume”"},
        {"speed of 0", {QStringLiteral("inputSpeed")}, 0.0, "“Speed”"},
        {"EQ curve value infinite", {QStringLiteral("presetRecordedDictionary"), QStringLiteral("inputGain16K"), qsizetype(0), qsizetype(1)},
         kInf, "“16 kHz” curve"},
        {"note end not a number", {QStringLiteral("presetMidiArray"), qsizetype(0), QStringLiteral("midiCommandEndTime")},
         kNaN, "note"},
        {"low-pass curve, as recording writes it",
         {QStringLiteral("presetRecordedDictionary"), QStringLiteral("inputLowPassCutoff"), qsizetype(0), qsizetype(1)},
         5e9, nullptr},
    };
    for (const auto& c : cases) {
        QString error;
        const auto preset = project::decodePresetFile(withValue(good, c.path, c.value), &error);
        if (c.refusal) {
            EXPECT_FALSE(preset) << c.name;
            EXPECT_TRUE(error.contains(QString::fromUtf8(c.refusal))) << c.name << ": " << error.toStdString();
        } else {
            ASSERT_TRUE(preset) << c.name << ": " << error.toStdString();
            EXPECT_EQ(preset->base.presetRecordedDictionary->at(QStringLiteral("inputLowPassCutoff"))[0].value, 22050);
        }
    }
}
