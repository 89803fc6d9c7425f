#include "library/DocumentValues.h"

#include "app/EffectControls.h"
#include "engine/EngineConstants.h"

#include <QCborArray>
#include <QCborMap>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace project::values {

namespace {

// The effect control whose key is `key`; the table's size when none.
size_t controlIndexOf(const QString& key) {
    for (size_t i = 0; i < effectControlTable.size(); ++i)
        if (key == QLatin1String(effectControlTable[i].key)) return i;
    return effectControlTable.size();
}

QString controlTitle(size_t index) { return QString::fromUtf8(effectControlTable[index].title); }

// Checks values one after the other and keeps the first reason a value
// cannot be used; once one is found, the rest are left alone.
class Checker {
public:
    // A finite value, brought into [low, high].
    void clamp(double& v, double low, double high, const QString& what) {
        if (finite(v, what)) v = std::clamp(v, low, high);
    }
    // A finite value of `low` or more, brought under `high`.
    void atLeast(double& v, double low, double high, const QString& what, const QString& below) {
        if (!finite(v, what)) return;
        if (v < low) fail(below);
        else v = std::min(v, high);
    }
    void clampRect(QRectF& r, const QString& what) {
        double x = r.x(), y = r.y(), w = r.width(), h = r.height();
        clamp(x, -kLargestGeometry, kLargestGeometry, what);
        clamp(y, -kLargestGeometry, kLargestGeometry, what);
        clamp(w, 0, kLargestGeometry, what);
        clamp(h, 0, kLargestGeometry, what);
        r = QRectF(x, y, w, h);
    }
    void clampPoints(QList<QList<QPointF>>& lists, const QString& what) {
        for (QList<QPointF>& list : lists)
            for (QPointF& p : list) {
                double x = p.x(), y = p.y();
                clamp(x, -kLargestGeometry, kLargestGeometry, what);
                clamp(y, -kLargestGeometry, kLargestGeometry, what);
                p = QPointF(x, y);
            }
    }
    bool finite(double v, const QString& what) {
        if (!why.isEmpty()) return false;
        if (!std::isfinite(v)) fail(QStringLiteral("%1 is not a number.").arg(what));
        return why.isEmpty();
    }
    void fail(const QString& reason) {
        if (why.isEmpty()) why = reason;
    }

    QString why;
};

}  // namespace

std::optional<float> effectValue(size_t index, double value, QString* why) {
    if (index >= effectControlTable.size()) return std::nullopt;
    const EffectControl& control = effectControlTable[index];
    const QString what = QStringLiteral("the “%1” setting").arg(controlTitle(index));
    Checker check;
    if (std::strcmp(control.key, "inputSpeed") == 0)
        check.atLeast(value, DBL_MIN, control.maxValue, what, QStringLiteral("%1 is not above 0.").arg(what));
    if (check.finite(value, what)) value = std::clamp(value, control.minValue, control.maxValue);
    if (!check.why.isEmpty()) {
        *why = check.why;
        return std::nullopt;
    }
    return float(value);
}

std::optional<float> unitParameterValue(double value, QString* why) {
    Checker check;
    check.clamp(value, -FLT_MAX, FLT_MAX, QStringLiteral("a value of an effect unit"));
    if (!check.why.isEmpty()) {
        *why = check.why;
        return std::nullopt;
    }
    return float(value);
}

bool allNumbers(const QCborValue& value) {
    if (value.isDouble()) return std::isfinite(value.toDouble());
    if (value.isArray()) {
        for (const QCborValue& v : value.toArray())
            if (!allNumbers(v)) return false;
    } else if (value.isMap()) {
        const QCborMap m = value.toMap();
        for (auto it = m.begin(); it != m.end(); ++it)
            if (!allNumbers(it.value())) return false;
    }
    return true;
}

QString checkCurves(TrackCurves& curves) {
    Checker check;
    for (auto& [key, curve] : curves) {
        const size_t index = controlIndexOf(key);
        if (index >= effectControlTable.size()) continue;  // the reader takes only known keys
        const EffectControl& control = effectControlTable[index];
        const QString what = QStringLiteral("a point of the “%1” curve").arg(controlTitle(index));
        // Times are fractions of the track's source.
        for (KeyPoint& p : curve) {
            check.clamp(p.time, -kLongestTime, kLongestTime, what);
            check.clamp(p.value, control.minValue, control.maxValue, what);
        }
    }
    return check.why;
}

QString checkNote(TrackInfoRecord::Note& note) {
    Checker check;
    for (std::optional<double>* time : {&note.start, &note.end})
        if (*time) check.clamp(**time, -kLongestTime, kLongestTime, QStringLiteral("a note's time"));
    return check.why;
}

QString checkSelection(SelectionParametersRecord& selection) {
    Checker check;
    const QString what = QStringLiteral("the place of a selection's settings");
    check.clamp(selection.selectionParametersStartPercent, 0, 1, what);
    check.clamp(selection.selectionParametersEndPercent, 0, 1, what);
    selection.selectionParametersInfo.presetRecordedTypeOfCurve =
        choiceValue(selection.selectionParametersInfo.presetRecordedTypeOfCurve, 1);
    return check.why;
}

QString checkSegment(TrackSegmentRecord& segment) {
    Checker check;
    const QString what = QStringLiteral("a part of the track's audio");
    auto& [sourceStart, sourceLength] = segment.filterSourceTimeRange;
    auto& [targetStart, targetLength] = segment.filterTargetTimeRange;
    check.atLeast(sourceStart, 0, kLongestTime, what,
                  QStringLiteral("a part of the track's audio starts before the start of its source."));
    // Parts of no length are passed over when the track is made.
    check.clamp(sourceLength, -kLongestTime, kLongestTime, what);
    check.clamp(targetStart, -kLongestTime, kLongestTime, what);
    check.clamp(targetLength, -kLongestTime, kLongestTime, what);
    return check.why;
}

QString checkInfo(TrackInfoRecord& i) {
    Checker check;
    for (double& c : i.filterInfoTrackColor) check.clamp(c, 0, 1, QStringLiteral("the track's colour"));
    i.filterInfoTypeOfComposition = choiceValue(i.filterInfoTypeOfComposition, 1);

    const QString range = QStringLiteral("the track's range in its source");
    check.atLeast(i.filterInfoCurrentTimeRange[0], 0, kLongestTime, range,
                  QStringLiteral("the track's range starts before the start of its source."));
    check.atLeast(i.filterInfoCurrentTimeRange[1], 0, kLongestTime, range,
                  QStringLiteral("the track's range in its source has a length below 0."));
    check.atLeast(i.filterInfoDurationInSeconds, 0, kLongestTime, QStringLiteral("the length of the track's source"),
                  QStringLiteral("the length of the track's source is below 0."));

    const QString place = QStringLiteral("the track's place on the timeline");
    if (check.finite(i.filterInfoAnimationStart, place) && check.finite(i.filterInfoAnimationEnd, place) &&
        i.filterInfoAnimationEnd < i.filterInfoAnimationStart)
        check.fail(QStringLiteral("the track ends before it starts."));
    check.clamp(i.filterInfoAnimationStart, -kLongestTime, kLongestTime, place);
    check.clamp(i.filterInfoAnimationEnd, -kLongestTime, kLongestTime, place);

    const QString trim = QStringLiteral("the track's trim");
    check.clamp(i.filterInfoAudioOriginInPercent, 0, 1, trim);
    check.clamp(i.filterInfoAudioDurationInPercent, 0, 1, trim);
    check.clampRect(i.filterInfoAudioViewFrame, QStringLiteral("the track's lane"));
    check.clampRect(i.filterInfoBezierPath, QStringLiteral("the track's selection"));
    check.clampPoints(i.filterInfoSelectionPastes, QStringLiteral("a selection of the track"));
    check.clampPoints(i.filterInfoSelectionPaths, QStringLiteral("a selection of the track"));

    // The sliders allow fades up to 100 %.
    check.clamp(i.filterInfoFadeInPercent, 0, 100, QStringLiteral("the track's fade in"));
    check.clamp(i.filterInfoFadeOutPercent, 0, 100, QStringLiteral("the track's fade out"));
    const EffectControl& speed = effectControlTable[controlIndexOf(QStringLiteral("inputSpeed"))];
    check.atLeast(i.filterInfoSpeed, DBL_MIN, speed.maxValue, QStringLiteral("the track's speed"),
                  QStringLiteral("the track's speed is not above 0."));
    if (check.why.isEmpty()) i.filterInfoSpeed = std::max(i.filterInfoSpeed, speed.minValue);
    // A zoom of 0 or below stands for none.
    if (check.finite(i.filterInfoZoomValue, QStringLiteral("the zoom")) && i.filterInfoZoomValue > 0)
        i.filterInfoZoomValue = std::clamp(i.filterInfoZoomValue, kSmallestZoom, kLargestZoom);
    check.atLeast(i.filterInfoCompositionDuration, DBL_MIN, kLongestTime, QStringLiteral("the project's length"),
                  QStringLiteral("the project's length is not above 0."));
    for (MarkerRecord& m : i.filterMarkersArray)
        check.clamp(m.markerTime, 0, kLongestTime, QStringLiteral("the time of the marker “%1”").arg(m.markerName));
    check.clamp(i.filterCurrentCompositionTime, 0, kLongestTime, QStringLiteral("the playhead's time"));

    // The lane shows no curve (0) or one of nine.
    if (check.why.isEmpty() && i.filterInfoShowParameterCurve > 9)
        check.fail(QStringLiteral("the curve the track's lane shows is not one of its curves."));
    i.filterInfoIsRecordingParameters = choiceValue(i.filterInfoIsRecordingParameters, 1);
    i.filterInfoIsDeletingKeyPoints = choiceValue(i.filterInfoIsDeletingKeyPoints, 1);
    return check.why;
}

QString checkDocument(const ProjectDocument& document) {
    for (const ProjectTrackRecord& t : document) {
        const uint64_t selected = t.filterInfo.filterCurrentSelectedAudio;
        if (selected != kNoIndex && selected >= document.size())
            return QStringLiteral("The selected track is not one of the project's tracks.");
    }
    return {};
}

}  // namespace project::values
