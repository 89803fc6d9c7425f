#include "library/ProjectRecords.h"

#include "library/DocumentValues.h"

#include "app/EffectControls.h"
#include "engine/EffectInputs.h"
#include "platform/core/Archive.h"
#include "platform/core/PartialFiles.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImageWriter>

namespace project {

namespace {

using archive::MapReader;

QCborArray doubles(std::initializer_list<double> values) {
    QCborArray a;
    for (double v : values) a.append(v);
    return a;
}

QCborValue rectValue(const QRectF& r) { return doubles({r.x(), r.y(), r.width(), r.height()}); }

QCborValue pointListsValue(const QList<QList<QPointF>>& lists) {
    QCborArray out;
    for (const auto& list : lists) {
        QCborArray points;
        for (const QPointF& p : list) points.append(doubles({p.x(), p.y()}));
        out.append(points);
    }
    return out;
}

// Reading: each helper fails the reader with the field's name.
template <size_t N>
std::array<double, N> readDoubles(MapReader& r, const QString& key) {
    std::array<double, N> out{};
    const QCborArray a = r.array(key);
    if (!r.ok()) return out;
    if (size_t(a.size()) != N) {
        r.fail(QStringLiteral("the field \"%1\" should hold %2 numbers.").arg(key).arg(N));
        return out;
    }
    for (size_t i = 0; i < N; ++i) {
        if (!a.at(qsizetype(i)).isDouble()) {
            r.fail(QStringLiteral("the field \"%1\" should hold doubles.").arg(key));
            return out;
        }
        out[i] = a.at(qsizetype(i)).toDouble();
    }
    return out;
}

QRectF readRect(MapReader& r, const QString& key) {
    const auto v = readDoubles<4>(r, key);
    return QRectF(v[0], v[1], v[2], v[3]);
}

QList<QList<QPointF>> readPointLists(MapReader& r, const QString& key) {
    QList<QList<QPointF>> out;
    const QCborArray lists = r.array(key);
    for (const QCborValue& listValue : lists) {
        if (!listValue.isArray()) return r.fail(QStringLiteral("the field \"%1\" should hold arrays.").arg(key)), out;
        QList<QPointF> points;
        for (const QCborValue& p : listValue.toArray()) {
            const QCborArray xy = p.toArray();
            if (!p.isArray() || xy.size() != 2 || !xy.at(0).isDouble() || !xy.at(1).isDouble())
                return r.fail(QStringLiteral("the field \"%1\" should hold points.").arg(key)), out;
            points.append(QPointF(xy.at(0).toDouble(), xy.at(1).toDouble()));
        }
        out.append(points);
    }
    return out;
}

QStringList readStrings(MapReader& r, const QString& key) {
    QStringList out;
    if (!r.contains(key)) return out;
    for (const QCborValue& v : r.array(key)) {
        if (!v.isString()) return r.fail(QStringLiteral("the field \"%1\" should hold strings.").arg(key)), out;
        out.append(v.toString());
    }
    return out;
}

QCborValue bundleValue(const units::AudioUnitBundleRecord& b) {
    QCborArray components;
    for (const auto& c : b.AudioComponents) {
        QCborMap m;
        m.insert(QStringLiteral("type"), c.type);
        m.insert(QStringLiteral("subtype"), c.subtype);
        m.insert(QStringLiteral("manufacturer"), c.manufacturer);
        m.insert(QStringLiteral("name"), c.name);
        if (c.sandboxSafe) m.insert(QStringLiteral("sandboxSafe"), *c.sandboxSafe);
        components.append(m);
    }
    QCborMap m;
    m.insert(QStringLiteral("AudioComponents"), components);
    if (!b.pluginURI.isEmpty()) m.insert(QStringLiteral("pluginURI"), b.pluginURI);
    if (!b.bundlePath.isEmpty()) m.insert(QStringLiteral("bundlePath"), b.bundlePath);
    return m;
}

std::optional<units::AudioUnitBundleRecord> bundleFromValue(const QCborValue& v, QString* error) {
    MapReader r(v.toMap(), QStringLiteral("plug-in"));
    if (!v.isMap()) r.fail(QStringLiteral("a plug-in record should be a map."));
    units::AudioUnitBundleRecord b;
    for (const QCborValue& cv : r.array(QStringLiteral("AudioComponents"))) {
        MapReader c(cv.toMap(), QStringLiteral("plug-in component"));
        if (!cv.isMap()) c.fail(QStringLiteral("a component should be a map."));
        units::AudioComponentRecord rec;
        rec.type = c.string(QStringLiteral("type"));
        rec.subtype = c.string(QStringLiteral("subtype"));
        rec.manufacturer = c.string(QStringLiteral("manufacturer"));
        rec.name = c.string(QStringLiteral("name"));
        if (c.contains(QStringLiteral("sandboxSafe"))) rec.sandboxSafe = c.boolean(QStringLiteral("sandboxSafe"));
        if (!c.ok()) {
            r.fail(c.error());
            break;
        }
        b.AudioComponents.append(rec);
    }
    b.pluginURI = r.string(QStringLiteral("pluginURI"), QString());
    b.bundlePath = r.string(QStringLiteral("bundlePath"), QString());
    if (!r.ok()) {
        *error = r.error();
        return std::nullopt;
    }
    return b;
}

QCborValue listenerValue(const ListenerParameterRecord& p) {
    QCborMap m;
    m.insert(QStringLiteral("filterAudioUnitType"), archive::unsignedValue(p.filterAudioUnitType));
    m.insert(QStringLiteral("filterAudioUnitEnabled"), archive::unsignedValue(p.filterAudioUnitEnabled));
    m.insert(QStringLiteral("filterAudioUnitParameterID"), archive::unsignedValue(p.filterAudioUnitParameterID));
    m.insert(QStringLiteral("filterAudioUnitParameterValue"), double(p.filterAudioUnitParameterValue));
    m.insert(QStringLiteral("filterAudioUnitNBandProp"), archive::unsignedValue(p.filterAudioUnitNBandProp));
    m.insert(QStringLiteral("filterAudioUnitNBandPropSize"), archive::unsignedValue(p.filterAudioUnitNBandPropSize));
    return m;
}

// Plug-in presets are [name, number]; class information is a map. Both are
// kept per plug-in name.
QCborMap pluginMapValue(const QVariantMap& map) {
    QCborMap out;
    for (auto it = map.begin(); it != map.end(); ++it) out.insert(it.key(), QCborValue::fromVariant(it.value()));
    return out;
}

QVariantMap pluginMapFromValue(MapReader& r, const QString& key, bool classInfo) {
    QVariantMap out;
    if (!r.contains(key)) return out;
    const QCborMap m = r.map(key);
    for (auto it = m.begin(); it != m.end(); ++it) {
        if (!it.key().isString())
            return r.fail(QStringLiteral("the field \"%1\" should be keyed by names.").arg(key)), out;
        if (classInfo) {
            if (!it.value().isMap())
                return r.fail(QStringLiteral("the field \"%1\" should hold maps.").arg(key)), out;
            if (!values::allNumbers(it.value()))
                return r.fail(QStringLiteral("the saved state of the plug-in “%1” holds a value that is not a number.")
                                  .arg(it.key().toString())),
                       out;
            out.insert(it.key().toString(), QVariant::fromValue(it.value().toMap()));
        } else {
            const QCborArray a = it.value().toArray();
            if (!it.value().isArray() || a.size() != 2 || !a.at(0).isString() || !a.at(1).isInteger())
                return r.fail(QStringLiteral("the field \"%1\" should hold [name, number] pairs.").arg(key)), out;
            out.insert(it.key().toString(), QVariantList{a.at(0).toString(), a.at(1).toInteger()});
        }
    }
    return out;
}

// A note in its stored form: the note lists' own codec.
QCborValue noteValue(const TrackInfoRecord::Note& n) { return notelists::exportedNoteValue(n); }

std::optional<TrackInfoRecord::Note> noteFromValue(const QCborValue& v, QString* error) {
    auto n = notelists::exportedNoteFromValue(v, error);
    if (!n) return std::nullopt;
    if (const QString why = values::checkNote(*n); !why.isEmpty()) {
        if (error) *error = why;
        return std::nullopt;
    }
    return n;
}

QCborValue selectionValue(const SelectionParametersRecord& s) {
    QCborMap info;
    info.insert(QStringLiteral("parameters"), parametersValue(s.selectionParametersInfo.parameters));
    info.insert(QStringLiteral("presetRecordedDictionary"), curvesValue(s.selectionParametersInfo.presetRecordedDictionary));
    info.insert(QStringLiteral("presetRecordedTypeOfCurve"),
                archive::unsignedValue(s.selectionParametersInfo.presetRecordedTypeOfCurve));
    QCborMap m;
    m.insert(QStringLiteral("selectionParametersStartPercent"), s.selectionParametersStartPercent);
    m.insert(QStringLiteral("selectionParametersEndPercent"), s.selectionParametersEndPercent);
    m.insert(QStringLiteral("selectionParametersInfo"), info);
    m.insert(QStringLiteral("selectionParametersReference"), s.selectionParametersReference);
    return m;
}

std::optional<SelectionParametersRecord> selectionFromValue(const QCborValue& v, QString* error) {
    MapReader r(v.toMap(), QStringLiteral("selection parameters"));
    if (!v.isMap()) r.fail(QStringLiteral("an entry should be a map."));
    SelectionParametersRecord s;
    s.selectionParametersStartPercent = r.real(QStringLiteral("selectionParametersStartPercent"));
    s.selectionParametersEndPercent = r.real(QStringLiteral("selectionParametersEndPercent"));
    s.selectionParametersReference = r.string(QStringLiteral("selectionParametersReference"));
    // The entry's reader names it: the inner map's errors go through it.
    MapReader info(r.map(QStringLiteral("selectionParametersInfo")));
    if (r.ok()) {
        if (auto p = parametersFromMap(info.map(QStringLiteral("parameters")), error)) s.selectionParametersInfo.parameters = *p;
        else info.fail(*error);
        if (auto c = curvesFromValue(info.map().value(QStringLiteral("presetRecordedDictionary")), error))
            s.selectionParametersInfo.presetRecordedDictionary = *c;
        else if (info.ok()) info.fail(*error);
        s.selectionParametersInfo.presetRecordedTypeOfCurve = info.unsignedInteger(QStringLiteral("presetRecordedTypeOfCurve"));
        if (!info.ok()) r.fail(info.error());
    }
    if (r.ok())
        if (const QString why = values::checkSelection(s); !why.isEmpty()) r.fail(why);
    if (!r.ok()) {
        *error = r.error();
        return std::nullopt;
    }
    return s;
}

QCborMap presetMap(const ProjectPresetRecord& p) {
    QCborMap m = parametersValue(p.parameters).toMap();
    m.insert(QStringLiteral("presetThumbnailImage"), p.presetThumbnailImage);
    if (p.presetRecordedDictionary) m.insert(QStringLiteral("presetRecordedDictionary"), curvesValue(*p.presetRecordedDictionary));
    if (p.presetRecordedTypeOfCurve)
        m.insert(QStringLiteral("presetRecordedTypeOfCurve"), archive::unsignedValue(*p.presetRecordedTypeOfCurve));
    return m;
}

QCborMap infoMap(const TrackInfoRecord& i) {
    QCborMap m;
    // A URL, not its text: CBOR's URL tag.
    if (!i.filterInfoBaseURL.isEmpty()) m.insert(QStringLiteral("filterInfoBaseURL"), QCborValue(i.filterInfoBaseURL));
    m.insert(QStringLiteral("filterInfoTrackColor"),
             doubles({i.filterInfoTrackColor[0], i.filterInfoTrackColor[1], i.filterInfoTrackColor[2]}));
    m.insert(QStringLiteral("filterInfoTypeOfComposition"), archive::unsignedValue(i.filterInfoTypeOfComposition));
    m.insert(QStringLiteral("filterInfoCurrentTimeRange"),
             doubles({i.filterInfoCurrentTimeRange[0], i.filterInfoCurrentTimeRange[1]}));
    m.insert(QStringLiteral("filterInfoDurationInSeconds"), i.filterInfoDurationInSeconds);
    m.insert(QStringLiteral("filterInfoAnimationStart"), i.filterInfoAnimationStart);
    m.insert(QStringLiteral("filterInfoAnimationEnd"), i.filterInfoAnimationEnd);
    m.insert(QStringLiteral("filterInfoAudioOriginInPercent"), i.filterInfoAudioOriginInPercent);
    m.insert(QStringLiteral("filterInfoAudioDurationInPercent"), i.filterInfoAudioDurationInPercent);
    m.insert(QStringLiteral("filterInfoAudioViewFrame"), rectValue(i.filterInfoAudioViewFrame));
    m.insert(QStringLiteral("filterInfoBezierPath"), rectValue(i.filterInfoBezierPath));
    m.insert(QStringLiteral("filterInfoFadeInPercent"), i.filterInfoFadeInPercent);
    m.insert(QStringLiteral("filterInfoFadeOutPercent"), i.filterInfoFadeOutPercent);
    m.insert(QStringLiteral("filterInfoWaveData"), i.filterInfoWaveData);
    m.insert(QStringLiteral("filterInfoSpeed"), i.filterInfoSpeed);
    m.insert(QStringLiteral("filterInfoZoomValue"), i.filterInfoZoomValue);
    m.insert(QStringLiteral("filterInfoCompositionDuration"), i.filterInfoCompositionDuration);
    m.insert(QStringLiteral("filterPresetData"), encodePreset(i.filterPresetData));
    QCborArray names;
    for (const QString& n : i.filterInfoActivePluginsName) names.append(n);
    m.insert(QStringLiteral("filterInfoActivePluginsName"), names);
    if (!i.filterInfoSwitchedOffPluginsName.isEmpty())
        m.insert(QStringLiteral("filterInfoSwitchedOffPluginsName"), QCborArray::fromStringList(i.filterInfoSwitchedOffPluginsName));
    QCborArray bundles;
    for (const auto& b : i.filterInfoDynamcAudioUnits) bundles.append(bundleValue(b));
    m.insert(QStringLiteral("filterInfoDynamcAudioUnits"), bundles);
    m.insert(QStringLiteral("filterCurrentSelectedAudio"), archive::unsignedValue(i.filterCurrentSelectedAudio));
    m.insert(QStringLiteral("filterInfoShowParameterCurve"), archive::unsignedValue(i.filterInfoShowParameterCurve));
    m.insert(QStringLiteral("filterInfoSelectionPastes"), pointListsValue(i.filterInfoSelectionPastes));
    m.insert(QStringLiteral("filterInfoSelectionPaths"), pointListsValue(i.filterInfoSelectionPaths));
    QCborArray markers;
    for (const MarkerRecord& mk : i.filterMarkersArray) {
        QCborMap mm;
        mm.insert(QStringLiteral("markerTime"), mk.markerTime);
        mm.insert(QStringLiteral("markerName"), mk.markerName);
        markers.append(mm);
    }
    m.insert(QStringLiteral("filterMarkersArray"), markers);
    m.insert(QStringLiteral("filterCurrentCompositionTime"), i.filterCurrentCompositionTime);
    m.insert(QStringLiteral("filterInfoIsRecordingParameters"), archive::unsignedValue(i.filterInfoIsRecordingParameters));
    m.insert(QStringLiteral("filterInfoIsDeletingKeyPoints"), archive::unsignedValue(i.filterInfoIsDeletingKeyPoints));
    m.insert(QStringLiteral("filterProjectDate"), i.filterProjectDate);
    m.insert(QStringLiteral("filterInfoPluginsPresetsDictionary"), pluginMapValue(i.filterInfoPluginsPresetsDictionary));
    m.insert(QStringLiteral("filterInfoPluginsClassInfoDictionary"), pluginMapValue(i.filterInfoPluginsClassInfoDictionary));
    QCborArray notes;
    for (const auto& n : i.filterInfoMidiArray) notes.append(noteValue(n));
    m.insert(QStringLiteral("filterInfoMidiArray"), notes);
    if (i.filterInfoSelectionParameters) {
        QCborArray entries;
        for (const auto& s : *i.filterInfoSelectionParameters) entries.append(selectionValue(s));
        m.insert(QStringLiteral("filterInfoSelectionParameters"), entries);
    }
    return m;
}

std::optional<TrackInfoRecord> infoFromMap(const QCborMap& map, QString* error) {
    MapReader r(map, QStringLiteral("track information"));
    TrackInfoRecord i;
    // Nothing reads it back; a document written with the URL as text still opens.
    if (r.contains(QStringLiteral("filterInfoBaseURL"))) {
        const QCborValue url = map.value(QStringLiteral("filterInfoBaseURL"));
        if (url.isUrl()) i.filterInfoBaseURL = url.toUrl();
        else if (url.isString()) i.filterInfoBaseURL = QUrl(url.toString());
        else r.fail(QStringLiteral("the field \"filterInfoBaseURL\" should be a URL, not %1.").arg(archive::kindName(url)));
    }
    i.filterInfoTrackColor = readDoubles<3>(r, QStringLiteral("filterInfoTrackColor"));
    i.filterInfoTypeOfComposition = r.unsignedInteger(QStringLiteral("filterInfoTypeOfComposition"));
    i.filterInfoCurrentTimeRange = readDoubles<2>(r, QStringLiteral("filterInfoCurrentTimeRange"));
    i.filterInfoDurationInSeconds = r.real(QStringLiteral("filterInfoDurationInSeconds"));
    i.filterInfoAnimationStart = r.real(QStringLiteral("filterInfoAnimationStart"));
    i.filterInfoAnimationEnd = r.real(QStringLiteral("filterInfoAnimationEnd"));
    i.filterInfoAudioOriginInPercent = r.real(QStringLiteral("filterInfoAudioOriginInPercent"));
    i.filterInfoAudioDurationInPercent = r.real(QStringLiteral("filterInfoAudioDurationInPercent"));
    i.filterInfoAudioViewFrame = readRect(r, QStringLiteral("filterInfoAudioViewFrame"));
    i.filterInfoBezierPath = readRect(r, QStringLiteral("filterInfoBezierPath"));
    i.filterInfoFadeInPercent = r.real(QStringLiteral("filterInfoFadeInPercent"));
    i.filterInfoFadeOutPercent = r.real(QStringLiteral("filterInfoFadeOutPercent"));
    i.filterInfoWaveData = r.bytes(QStringLiteral("filterInfoWaveData"));
    i.filterInfoSpeed = r.real(QStringLiteral("filterInfoSpeed"));
    i.filterInfoZoomValue = r.real(QStringLiteral("filterInfoZoomValue"));
    i.filterInfoCompositionDuration = r.real(QStringLiteral("filterInfoCompositionDuration"));
    const QByteArray preset = r.bytes(QStringLiteral("filterPresetData"));
    if (r.ok()) {
        QString why;
        if (auto p = decodePreset(preset, &why)) i.filterPresetData = *p;
        else r.fail(why);  // names the effect settings
    }
    i.filterInfoActivePluginsName = readStrings(r, QStringLiteral("filterInfoActivePluginsName"));
    i.filterInfoSwitchedOffPluginsName = readStrings(r, QStringLiteral("filterInfoSwitchedOffPluginsName"));
    if (r.contains(QStringLiteral("filterInfoDynamcAudioUnits")))
        for (const QCborValue& v : r.array(QStringLiteral("filterInfoDynamcAudioUnits"))) {
            QString why;
            if (auto b = bundleFromValue(v, &why)) i.filterInfoDynamcAudioUnits.append(*b);
            else {
                r.fail(why);
                break;
            }
        }
    i.filterCurrentSelectedAudio = r.unsignedInteger(QStringLiteral("filterCurrentSelectedAudio"));
    i.filterInfoShowParameterCurve = r.unsignedInteger(QStringLiteral("filterInfoShowParameterCurve"), 0);
    i.filterInfoSelectionPastes = readPointLists(r, QStringLiteral("filterInfoSelectionPastes"));
    i.filterInfoSelectionPaths = readPointLists(r, QStringLiteral("filterInfoSelectionPaths"));
    for (const QCborValue& v : r.array(QStringLiteral("filterMarkersArray"))) {
        MapReader mr(v.toMap(), QStringLiteral("marker"));
        if (!v.isMap()) mr.fail(QStringLiteral("a marker should be a map."));
        MarkerRecord mk{mr.real(QStringLiteral("markerTime")), mr.string(QStringLiteral("markerName"))};
        if (!mr.ok()) {
            r.fail(mr.error());
            break;
        }
        i.filterMarkersArray.push_back(mk);
    }
    i.filterCurrentCompositionTime = r.real(QStringLiteral("filterCurrentCompositionTime"));
    i.filterInfoIsRecordingParameters = r.unsignedInteger(QStringLiteral("filterInfoIsRecordingParameters"), 0);
    i.filterInfoIsDeletingKeyPoints = r.unsignedInteger(QStringLiteral("filterInfoIsDeletingKeyPoints"), 0);
    i.filterProjectDate = r.string(QStringLiteral("filterProjectDate"), QString());
    i.filterInfoPluginsPresetsDictionary = pluginMapFromValue(r, QStringLiteral("filterInfoPluginsPresetsDictionary"), false);
    i.filterInfoPluginsClassInfoDictionary = pluginMapFromValue(r, QStringLiteral("filterInfoPluginsClassInfoDictionary"), true);
    if (r.contains(QStringLiteral("filterInfoMidiArray")))
        for (const QCborValue& v : r.array(QStringLiteral("filterInfoMidiArray"))) {
            QString why;
            if (auto n = noteFromValue(v, &why)) i.filterInfoMidiArray.push_back(*n);
            else {
                r.fail(why);
                break;
            }
        }
    if (r.contains(QStringLiteral("filterInfoSelectionParameters"))) {
        i.filterInfoSelectionParameters.emplace();
        for (const QCborValue& v : r.array(QStringLiteral("filterInfoSelectionParameters"))) {
            QString why;
            if (auto s = selectionFromValue(v, &why)) i.filterInfoSelectionParameters->push_back(*s);
            else {
                r.fail(why);
                break;
            }
        }
    }
    if (r.ok())
        if (const QString why = values::checkInfo(i); !why.isEmpty()) r.fail(why);
    if (!r.ok()) {
        *error = r.error();
        return std::nullopt;
    }
    return i;
}

std::optional<TrackSegmentRecord> segmentFromValue(const QCborValue& v, QString* error) {
    MapReader r(v.toMap(), QStringLiteral("segment"));
    if (!v.isMap()) r.fail(QStringLiteral("a segment should be a map."));
    TrackSegmentRecord s;
    s.filterSegmentPath = r.string(QStringLiteral("filterSegmentPath"));
    s.filterOriginalPath = r.string(QStringLiteral("filterOriginalPath"));
    s.filterNameOfSourceTrack = r.string(QStringLiteral("filterNameOfSourceTrack"));
    s.filterSourceTimeRange = readDoubles<2>(r, QStringLiteral("filterSourceTimeRange"));
    s.filterTargetTimeRange = readDoubles<2>(r, QStringLiteral("filterTargetTimeRange"));
    // Stored paths must name a file directly in the folder.
    if (r.ok() && !storedFileName(s.filterOriginalPath))
        r.fail(QStringLiteral("the source \"%1\" does not name a file of the project.").arg(s.filterOriginalPath));
    if (r.ok() && !s.filterSegmentPath.isEmpty() && !storedFileName(s.filterSegmentPath))
        r.fail(QStringLiteral("the source \"%1\" does not name a file of the project.").arg(s.filterSegmentPath));
    if (r.ok())
        if (const QString why = values::checkSegment(s); !why.isEmpty()) r.fail(why);
    if (!r.ok()) {
        *error = r.error();
        return std::nullopt;
    }
    return s;
}

}  // namespace

QCborValue curvesValue(const TrackCurves& curves) {
    QCborMap m;
    for (const auto& [key, curve] : curves) {
        QCborArray points;
        for (const KeyPoint& p : curve) {
            QCborArray a{p.time, p.value};
            if (p.flag) a.append(qint64(*p.flag));
            points.append(a);
        }
        m.insert(key, points);
    }
    return m;
}

std::optional<TrackCurves> curvesFromValue(const QCborValue& v, QString* error) {
    if (!v.isMap()) {
        *error = QStringLiteral("the curves should be a map.");
        return std::nullopt;
    }
    // Every input that can have a curve, as the curve commands and recording
    // write them.
    const QStringList keys = effectinputs::automatedInputKeys();
    TrackCurves out;
    const QCborMap m = v.toMap();
    for (auto it = m.begin(); it != m.end(); ++it) {
        const QString key = it.key().toString();
        if (!it.key().isString() || !keys.contains(key) || !it.value().isArray()) {
            *error = QStringLiteral("the curves hold an unknown input or a value that is no curve.");
            return std::nullopt;
        }
        KeyPointCurve curve;
        for (const QCborValue& pv : it.value().toArray()) {
            const QCborArray a = pv.toArray();
            const bool ok = pv.isArray() && (a.size() == 2 || a.size() == 3) && a.at(0).isDouble() &&
                            a.at(1).isDouble() && (a.size() == 2 || a.at(2).isInteger());
            if (!ok) {
                *error = QStringLiteral("a point of the curve \"%1\" is not [time, value(, mark)].").arg(key);
                return std::nullopt;
            }
            KeyPoint p{a.at(0).toDouble(), a.at(1).toDouble(), std::nullopt};
            if (a.size() == 3) p.flag = int32_t(a.at(2).toInteger());
            curve.push_back(p);
        }
        out[key] = std::move(curve);
    }
    if (const QString why = values::checkCurves(out); !why.isEmpty()) {
        *error = why;
        return std::nullopt;
    }
    return out;
}

QCborValue parametersValue(const TrackParametersRecord& record) {
    QCborMap m;
    for (int i = 0; i < EffectInputCount; ++i)
        m.insert(QString::fromLatin1(effectControlTable[size_t(i)].key), double(record.inputs[size_t(i)]));
    if (record.filterAudioUnits) {
        QCborArray units;
        for (const auto& p : *record.filterAudioUnits) units.append(listenerValue(p));
        m.insert(QStringLiteral("filterAudioUnits"), units);
    }
    return m;
}

std::optional<TrackParametersRecord> parametersFromMap(const QCborMap& map, QString* error) {
    MapReader r(map, QStringLiteral("effect settings"));
    TrackParametersRecord out;
    for (size_t i = 0; i < size_t(EffectInputCount); ++i) {
        const double stored = r.real(QString::fromLatin1(effectControlTable[i].key));
        if (!r.ok()) break;
        QString why;
        if (const auto value = values::effectValue(i, stored, &why)) out.inputs[i] = *value;
        else r.fail(why);
    }
    if (r.contains(QStringLiteral("filterAudioUnits"))) {
        out.filterAudioUnits.emplace();
        for (const QCborValue& v : r.array(QStringLiteral("filterAudioUnits"))) {
            MapReader p(v.toMap(), QStringLiteral("unit parameter"));
            if (!v.isMap()) p.fail(QStringLiteral("a unit parameter should be a map."));
            ListenerParameterRecord rec;
            rec.filterAudioUnitType = p.unsignedInteger(QStringLiteral("filterAudioUnitType"));
            rec.filterAudioUnitEnabled = uint8_t(p.unsignedInteger(QStringLiteral("filterAudioUnitEnabled")) != 0);
            rec.filterAudioUnitParameterID = uint32_t(p.unsignedInteger(QStringLiteral("filterAudioUnitParameterID")));
            const double value = p.real(QStringLiteral("filterAudioUnitParameterValue"));
            QString why;
            if (const auto v = p.ok() ? values::unitParameterValue(value, &why) : std::optional<float>(0.0f))
                rec.filterAudioUnitParameterValue = *v;
            else p.fail(why);
            rec.filterAudioUnitNBandProp = uint32_t(p.unsignedInteger(QStringLiteral("filterAudioUnitNBandProp"), 0));
            rec.filterAudioUnitNBandPropSize = uint32_t(p.unsignedInteger(QStringLiteral("filterAudioUnitNBandPropSize"), 0));
            if (!p.ok()) {
                r.fail(p.error());
                break;
            }
            out.filterAudioUnits->push_back(rec);
        }
    }
    if (!r.ok()) {
        *error = r.error();
        return std::nullopt;
    }
    return out;
}

QByteArray encodePreset(const ProjectPresetRecord& preset) { return archive::encode(presetMap(preset)); }

namespace {

// The settings of a preset or a project's track, out of their map. Every
// refusal begins with "effect settings: ".
std::optional<ProjectPresetRecord> presetFromMap(const QCborMap& root, QString* error) {
    ProjectPresetRecord p;
    auto params = parametersFromMap(root, error);
    if (!params) return std::nullopt;
    p.parameters = *params;
    MapReader r(root, QStringLiteral("effect settings"));
    if (r.contains(QStringLiteral("presetThumbnailImage"))) p.presetThumbnailImage = r.bytes(QStringLiteral("presetThumbnailImage"));
    if (r.ok() && r.contains(QStringLiteral("presetRecordedDictionary"))) {
        QString why;
        if (auto c = curvesFromValue(r.map().value(QStringLiteral("presetRecordedDictionary")), &why))
            p.presetRecordedDictionary = *c;
        else r.fail(why);
    }
    if (r.contains(QStringLiteral("presetRecordedTypeOfCurve")))
        p.presetRecordedTypeOfCurve = values::choiceValue(r.unsignedInteger(QStringLiteral("presetRecordedTypeOfCurve")), 1);
    if (!r.ok()) {
        *error = r.error();
        return std::nullopt;
    }
    return p;
}

}  // namespace

std::optional<ProjectPresetRecord> decodePreset(const QByteArray& bytes, QString* error) {
    QString why;
    const auto root = archive::decode(bytes, &why);
    if (!root || !root->isMap()) {
        MapReader r(QCborMap(), QStringLiteral("effect settings"));
        r.fail(root ? QStringLiteral("the settings are not a map.") : why);
        *error = r.error();
        return std::nullopt;
    }
    return presetFromMap(root->toMap(), error);
}

QByteArray encodePresetFile(const PresetRecord& preset) {
    QCborMap m = presetMap(preset.base);
    if (!m.contains(QStringLiteral("presetRecordedDictionary"))) m.insert(QStringLiteral("presetRecordedDictionary"), QCborMap());
    if (preset.base.presetThumbnailImage.isEmpty()) m.remove(QStringLiteral("presetThumbnailImage"));
    if (preset.plugins) {
        QCborArray bundles;
        for (const auto& b : preset.plugins->presetDynamicAudioUnits) bundles.append(bundleValue(b));
        m.insert(QStringLiteral("presetDynamicAudioUnits"), bundles);
        QCborArray names;
        for (const QString& n : preset.plugins->presetFilterActivePluginsName) names.append(n);
        m.insert(QStringLiteral("presetFilterActivePluginsName"), names);
        m.insert(QStringLiteral("presetPluginsPresetsDictionary"), pluginMapValue(preset.plugins->presetPluginsPresetsDictionary));
        m.insert(QStringLiteral("presetPluginsClassInfoDictionary"), pluginMapValue(preset.plugins->presetPluginsClassInfoDictionary));
    }
    if (preset.presetMidiArray) {
        QCborArray notes;
        for (const auto& n : *preset.presetMidiArray) notes.append(noteValue(n));
        m.insert(QStringLiteral("presetMidiArray"), notes);
    }
    return archive::encode(m);
}

std::optional<PresetRecord> decodePresetFile(const QByteArray& bytes, QString* error) {
    const auto document = archive::decode(bytes, error);
    if (!document) return std::nullopt;
    if (!document->isMap()) {
        *error = QStringLiteral("the settings are not a map.");
        return std::nullopt;
    }
    const QCborMap root = document->toMap();
    PresetRecord p;
    auto base = presetFromMap(root, error);
    if (!base) return std::nullopt;
    p.base = std::move(*base);
    MapReader r(root, QStringLiteral("preset"));
    const bool any = r.contains(QStringLiteral("presetDynamicAudioUnits")) ||
                     r.contains(QStringLiteral("presetFilterActivePluginsName")) ||
                     r.contains(QStringLiteral("presetPluginsPresetsDictionary")) ||
                     r.contains(QStringLiteral("presetPluginsClassInfoDictionary"));
    if (any) {
        PresetRecord::Plugins plugins;
        for (const QCborValue& v : r.array(QStringLiteral("presetDynamicAudioUnits"))) {
            QString why;
            if (auto b = bundleFromValue(v, &why)) plugins.presetDynamicAudioUnits.append(*b);
            else {
                r.fail(why);
                break;
            }
        }
        if (!r.contains(QStringLiteral("presetFilterActivePluginsName")))
            r.fail(QStringLiteral("the field \"presetFilterActivePluginsName\" is missing."));
        plugins.presetFilterActivePluginsName = readStrings(r, QStringLiteral("presetFilterActivePluginsName"));
        r.map(QStringLiteral("presetPluginsPresetsDictionary"));
        r.map(QStringLiteral("presetPluginsClassInfoDictionary"));
        plugins.presetPluginsPresetsDictionary = pluginMapFromValue(r, QStringLiteral("presetPluginsPresetsDictionary"), false);
        plugins.presetPluginsClassInfoDictionary = pluginMapFromValue(r, QStringLiteral("presetPluginsClassInfoDictionary"), true);
        p.plugins = plugins;
    }
    // Absent, the preset leaves the track's notes; present and empty, it
    // takes them away.
    if (r.contains(QStringLiteral("presetMidiArray"))) {
        auto& notes = p.presetMidiArray.emplace();
        for (const QCborValue& v : r.array(QStringLiteral("presetMidiArray"))) {
            QString why;
            if (auto n = noteFromValue(v, &why)) notes.push_back(*n);
            else {
                r.fail(why);
                break;
            }
        }
    }
    if (!r.ok()) {
        *error = r.error();
        return std::nullopt;
    }
    return p;
}

QByteArray tiffData(const QImage& image) {
    if (image.isNull()) return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setCompression(1);
    if (!writer.write(image)) return {};
    return bytes;
}

QList<QUrl> presetFiles(const QString& folder) {
    QList<QUrl> out;
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) out << QUrl::fromLocalFile(it.next());
    return out;
}

QString freePresetName(const QString& folder, const QString& name) {
    const QDir dir(folder);
    auto taken = [&](const QString& n) {
        const QFileInfo f(dir.filePath(n));
        return f.exists() || f.isSymLink();
    };
    if (!taken(name)) return name;
    for (qint64 n = 2;; ++n) {
        const QString candidate = QStringLiteral("%1 %2").arg(name).arg(n);
        if (!taken(candidate)) return candidate;
    }
}

QString presetNameProblem(const QString& name) {
    if (name.trimmed().isEmpty()) return QStringLiteral("Type a name for the preset.");
    if (name.contains(QLatin1Char('/'))) return QStringLiteral("A preset's name cannot hold “/”.");
    if (name.startsWith(QLatin1Char('.'))) return QStringLiteral("A preset's name cannot start with “.”.");
    return {};
}

QByteArray encodeProject(const ProjectDocument& document) {
    QCborArray root;
    for (const ProjectTrackRecord& t : document) {
        QCborMap m;
        if (t.projectMetadataDictionary) {
            const auto& md = *t.projectMetadataDictionary;
            QCborMap meta;
            meta.insert(QStringLiteral("projectMetadataTitle"), md.projectMetadataTitle);
            meta.insert(QStringLiteral("projectMetadataArtist"), md.projectMetadataArtist);
            meta.insert(QStringLiteral("projectMetadataComments"), md.projectMetadataComments);
            if (!md.projectMetadataArtwork.isEmpty())
                meta.insert(QStringLiteral("projectMetadataArtwork"), md.projectMetadataArtwork);
            m.insert(QStringLiteral("projectMetadataDictionary"), meta);
            m.insert(QStringLiteral("projectIconImage"), t.projectIconImage);
        }
        QCborArray segments;
        for (const TrackSegmentRecord& s : t.filterTrackSegments) {
            QCborMap sm;
            sm.insert(QStringLiteral("filterSegmentPath"), s.filterSegmentPath);
            sm.insert(QStringLiteral("filterOriginalPath"), s.filterOriginalPath);
            sm.insert(QStringLiteral("filterNameOfSourceTrack"), s.filterNameOfSourceTrack);
            sm.insert(QStringLiteral("filterSourceTimeRange"), doubles({s.filterSourceTimeRange[0], s.filterSourceTimeRange[1]}));
            sm.insert(QStringLiteral("filterTargetTimeRange"), doubles({s.filterTargetTimeRange[0], s.filterTargetTimeRange[1]}));
            segments.append(sm);
        }
        m.insert(QStringLiteral("filterTrackSegments"), segments);
        m.insert(QStringLiteral("filterInfo"), infoMap(t.filterInfo));
        root.append(m);
    }
    return archive::encode(root);
}

std::optional<ProjectDocument> decodeProject(const QByteArray& bytes, QString* error) {
    const auto root = archive::decode(bytes, error);
    if (!root) return std::nullopt;
    if (!root->isArray()) {
        *error = QStringLiteral("The project's data is not a list of tracks.");
        return std::nullopt;
    }
    ProjectDocument out;
    int index = 0;
    for (const QCborValue& v : root->toArray()) {
        ++index;
        MapReader r(v.toMap(), QStringLiteral("Track %1").arg(index));
        if (!v.isMap()) r.fail(QStringLiteral("a track record should be a map."));
        ProjectTrackRecord t;
        if (r.contains(QStringLiteral("projectMetadataDictionary"))) {
            MapReader m(r.map(QStringLiteral("projectMetadataDictionary")), QStringLiteral("metadata"));
            ProjectMetadataRecord md;
            md.projectMetadataTitle = m.string(QStringLiteral("projectMetadataTitle"));
            md.projectMetadataArtist = m.string(QStringLiteral("projectMetadataArtist"));
            md.projectMetadataComments = m.string(QStringLiteral("projectMetadataComments"));
            if (m.contains(QStringLiteral("projectMetadataArtwork")))
                md.projectMetadataArtwork = m.bytes(QStringLiteral("projectMetadataArtwork"));
            if (!m.ok()) r.fail(m.error());
            t.projectMetadataDictionary = md;
        }
        if (r.contains(QStringLiteral("projectIconImage"))) t.projectIconImage = r.bytes(QStringLiteral("projectIconImage"));
        for (const QCborValue& sv : r.array(QStringLiteral("filterTrackSegments"))) {
            QString why;
            if (auto s = segmentFromValue(sv, &why)) t.filterTrackSegments.push_back(*s);
            else {
                r.fail(why);
                break;
            }
        }
        const QCborMap info = r.map(QStringLiteral("filterInfo"));
        if (r.ok()) {
            QString why;
            if (auto i = infoFromMap(info, &why)) t.filterInfo = std::move(*i);
            else r.fail(why);
        }
        if (!r.ok()) {
            *error = r.error();
            return std::nullopt;
        }
        out.push_back(std::move(t));
    }
    if (const QString why = values::checkDocument(out); !why.isEmpty()) {
        *error = why;
        return std::nullopt;
    }
    return out;
}

QString sourceCopyName(const QString& sourcePath, uint64_t suffix) {
    uint64_t sum = 0;
    for (QChar c : sourcePath) sum += c.unicode();
    const QString name = QStringLiteral("%1 - %2").arg(sum + suffix).arg(QFileInfo(sourcePath).fileName());
    if (QFile::encodeName(name).size() <= partialfiles::kNameLimit) return name;
    // Past the file system's limit the name is cut, keeping its extension;
    // a digest of the whole name after the cut keeps apart two long names
    // that differ only in what was cut.
    const QByteArray digest = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    return partialfiles::fittedName(name, partialfiles::kNameLimit, QLatin1Char('~') + QString::fromLatin1(digest));
}

std::optional<QString> storedFileName(const QString& storedPath) {
    QString name = storedPath;
    while (name.endsWith(QLatin1Char('/'))) name.chop(1);
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return std::nullopt;
    return name;
}

QString projectDateText(const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    return QStringLiteral(" - %1-%2-%3,%4.%5.%6")
        .arg(d.month()).arg(d.day()).arg(d.year()).arg(t.hour()).arg(t.minute()).arg(t.second());
}

QString defaultProjectName(const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    auto two = [](int v) { return v < 10 ? QStringLiteral("0%1").arg(v) : QString::number(v); };
    return QStringLiteral("My Project - %1-%2-%3,%4.%5.%6")
        .arg(d.month()).arg(d.day()).arg(d.year()).arg(t.hour()).arg(two(t.minute()), two(t.second()));
}

}  // namespace project
