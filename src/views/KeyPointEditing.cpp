// Editing the key points of the curve a lane shows: adding, moving and
// deleting them with the mouse. Every change is made in the owner's working
// curves while the button is down; the release commits it with one undo step.

#include "views/AudioDrawingView.h"

#include "engine/MusicFilter.h"
#include "views/AudioView.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Where a track's key points lie in its lane, in lane coordinates (y up):
// the lane's width stands for the whole source at the track's speed, and a
// value's range runs from 5 points above the region's bottom to 5 below
// its top.
struct KeyPointGeometry {
    double W = 0;
    double Ry = 0, Rh = 0;  // the trimmed region's bottom and height
    double start = 0, trimStart = 0, speed = 0, duration = 0;

    double span() const { return duration / speed; }
    // A track of no length, no speed, no region or no times yet has nowhere to put a point.
    bool valid() const {
        return W > 0 && speed > 0 && duration > 0 && std::isfinite(span()) && Rh - Ry > 0 &&
               std::isfinite(start) && std::isfinite(trimStart);
    }
    double xOf(double time) const { return std::max(0.0, time - start + trimStart / speed) / span() * W; }
    double yOf(double value, double lo, double hi) const { return 1.5 * Ry + (value - lo) / (hi - lo) * (Rh - Ry); }
    double timeOf(double x) const { return start + x / W * span() - trimStart / speed; }
    double valueOf(double y, double lo, double hi) const { return lo + (hi - lo) * (y - 1.5 * Ry) / (Rh - Ry); }
    // A point placed with the mouse stays within the source's span and the key's range.
    QPointF clamped(QPointF p) const {
        if (p.x() > W) p.setX(W);
        if (p.x() < 0) p.setX(0);
        p.setY(std::clamp(p.y(), 1.5 * Ry, Rh + 0.5 * Ry));
        return p;
    }
    // A point is hit inside its large dot, 10 points across.
    bool hits(const KeyPoint& k, double lo, double hi, QPointF p) const {
        const double dx = p.x() - xOf(k.time), dy = p.y() - yOf(k.value, lo, hi);
        return dx * dx + dy * dy <= 25.0;
    }
};

bool hasRange(std::pair<double, double> range) {
    return range.first != range.second && std::isfinite(range.first) && std::isfinite(range.second);
}

// The distance from `p` to the straight line through the two points of a
// curve nearest to it, counting only points that carry a flag; none when
// the curve has fewer than two such points. For this choice a point stands
// at its value's fraction of the lane's whole height, not where it is drawn.
std::optional<double> distanceToNearestLine(const KeyPointCurve& curve, const KeyPointGeometry& g, double lo,
                                            double hi, double laneHeight, QPointF p) {
    struct Near {
        QPointF at;
        double distance;
    };
    std::optional<Near> a, b;
    for (const KeyPoint& k : curve) {
        if (!k.flag) continue;
        const QPointF at(g.xOf(k.time), (k.value - lo) / (hi - lo) * laneHeight);
        const double d = std::hypot(at.x() - p.x(), at.y() - p.y());
        if (!a) {
            a = Near{at, d};
        } else if (!b) {
            b = Near{at, d};
        } else {
            // Each later point replaces the farther of the two kept when it is nearer.
            Near& farther = a->distance >= b->distance ? *a : *b;
            if (d < farther.distance) farther = Near{at, d};
        }
    }
    if (!a || !b) return std::nullopt;
    const QPointF u = b->at - a->at;
    const double length = std::hypot(u.x(), u.y());
    if (!(length > 0)) return a->distance;
    return std::abs(u.x() * (p.y() - a->at.y()) - u.y() * (p.x() - a->at.x())) / length;
}

KeyPointGeometry geometryOf(const AudioDrawingView& lane, const MusicFilter& t) {
    KeyPointGeometry g;
    if (lane.drawingBezierPath.isEmpty()) return g;
    const QRectF region = lane.drawingBezierPath.boundingRect();
    g.W = lane.frameWidth();
    g.Ry = lane.height() - (region.y() + region.height());
    g.Rh = region.height();
    g.start = t.animationStart().seconds();
    g.trimStart = t.currentTimeRange().start.seconds();
    g.speed = t.value(EffectInput::Speed);
    g.duration = t.durationInSeconds;
    return g;
}

// The gesture deletes: the track is in deleting mode, or Ctrl is down.
bool deletesWith(const MusicFilter& t, const QMouseEvent* event) {
    return t.isDeletingKeyPoints == 1 ||
           (t.isDeletingKeyPoints == 0 && (event->modifiers() & Qt::ControlModifier));
}

HighlightedKeyPointRecord highlightOf(const KeyPoint& k, const KeyPointHitRecord& hit) {
    return {k.time, k.value, hit.minValue, hit.maxValue};
}

// Calls `visit(hit, point)` with the first point under `p` in each of the
// keys' curves, in the keys' order.
template <class Visit>
void forEachPointHit(const TrackCurves& curves, const QStringList& keys, const AudioDrawingViewOwner& o,
                     const KeyPointGeometry& g, QPointF p, Visit visit) {
    for (const QString& key : keys) {
        const auto found = curves.find(key);
        const auto range = o.laneValueRange(key);
        if (found == curves.end() || found->second.empty() || !hasRange(range)) continue;
        const KeyPointCurve& curve = found->second;
        for (size_t j = 0; j < curve.size(); ++j) {
            if (!g.hits(curve[j], range.first, range.second, p)) continue;
            visit(KeyPointHitRecord{key, j, range.first, range.second}, curve[j]);
            break;
        }
    }
}

const KeyPoint* pointOf(const TrackCurves* curves, const KeyPointHitRecord& hit) {
    if (!curves) return nullptr;
    const auto found = curves->find(hit.key);
    if (found == curves->end() || hit.index >= found->second.size()) return nullptr;
    return &found->second[size_t(hit.index)];
}

}  // namespace

void AudioDrawingView::resetKeyPointGesture() {
    currentModifiedHighlightedKeyTimes.clear();
    toRemoveKeyPoints.clear();
}

bool AudioDrawingView::keyPointMouseDown(QMouseEvent* event, const QPointF& p) {
    parameterInfo.reset();
    MusicFilter* t = track();
    AudioDrawingViewOwner* o = owner();
    if (!t || !o || t->showParameterCurve == 0 || t->isRecordingParameters != 1) return false;
    const TrackCurves* curves = o->laneWorkingCurves(*t);
    if (!curves) return false;
    const KeyPointGeometry g = geometryOf(*this, *t);
    if (!g.valid()) return false;
    const QStringList keys = o->laneCurveKeys(t->showParameterCurve);
    const bool deleting = deletesWith(*t, event);

    // Find the point under the pointer in each key's curve; the last key hit wins.
    std::optional<HighlightedKeyPointRecord> moving;
    forEachPointHit(*curves, keys, *o, g, p, [&](const KeyPointHitRecord& hit, const KeyPoint& k) {
        parameterInfo = hit;
        toRemoveKeyPoints.append(hit);
        if (deleting)
            currentModifiedHighlightedKeyTimes.append(highlightOf(k, hit));
        else
            moving = highlightOf(k, hit);
    });

    if (deleting) {
        // A deleting press on empty space does nothing at all.
        if (!parameterInfo) return true;
        beginGesture(GestureRouting::Lane);
        // The controls show the curves where the point lies.
        if (const KeyPoint* k = pointOf(curves, *parameterInfo)) o->laneEvaluateCurves(true, k->time);
        isDeletingRecordedParameter = true;
        update();
        return true;
    }

    if (!parameterInfo) {
        // A press on empty space adds a point to the curve of the key it is
        // nearest to, and moves it.
        QString chosen = keys.value(0);
        if (keys.size() == 2) {
            const bool first = curves->count(keys[0]) > 0, second = curves->count(keys[1]) > 0;
            if (!first || !second) {
                // Fewer than two curves: the later one there is.
                chosen = second ? keys[1] : keys[0];
            } else {
                double best = std::numeric_limits<double>::infinity();
                for (const QString& key : keys) {
                    const auto range = o->laneValueRange(key);
                    if (!hasRange(range)) continue;
                    const auto d = distanceToNearestLine(curves->at(key), g, range.first, range.second, height(), p);
                    if (d && *d < best) {
                        best = *d;
                        chosen = key;
                    }
                }
            }
        }
        const auto range = o->laneValueRange(chosen);
        if (chosen.isEmpty() || !curves->count(chosen) || !hasRange(range)) return false;
        const QPointF at = g.clamped(p);
        const KeyPoint added{g.timeOf(at.x()), g.valueOf(at.y(), range.first, range.second),
                             KeyPoint::kPlacedWithMouse};
        const quint64 index = o->laneSetWorkingKeyPoint(*t, chosen, kNoIndex, added);
        if (index == kNoIndex) return false;
        // The addition alone makes the release commit.
        isMouseDragged = true;
        parameterInfo = KeyPointHitRecord{chosen, index, range.first, range.second};
        moving = highlightOf(added, *parameterInfo);
    }

    // The point follows the pointer; playback and the drawing follow the working curves.
    o->laneFollowWorkingCurves(*t, true);
    o->laneSetMovingKeyPoint(moving, parameterInfo->key);
    isMovingRecordedParameter = true;
    isMouseDown = true;
    beginGesture(GestureRouting::Lane);
    o->laneEvaluateCurves(true, std::nullopt);
    update();
    return true;
}

void AudioDrawingView::keyPointMouseDragged(QMouseEvent* event, const QPointF& p) {
    MusicFilter* t = track();
    AudioDrawingViewOwner* o = owner();
    if (!t || !o) return;

    if (isDeletingRecordedParameter) {
        const bool deleting = deletesWith(*t, event);
        if (t->isDeletingKeyPoints == 0) update();
        const TrackCurves* curves = o->laneWorkingCurves(*t);
        if (t->showParameterCurve == 0 || t->isRecordingParameters != 1 || !curves) return;
        const KeyPointGeometry g = geometryOf(*this, *t);
        if (!g.valid()) return;
        // Each point the pointer passes is marked once.
        forEachPointHit(*curves, o->laneCurveKeys(t->showParameterCurve), *o, g, p,
                        [&](const KeyPointHitRecord& hit, const KeyPoint& k) {
                            if (parameterInfo && parameterInfo->samePoint(hit)) return;
                            parameterInfo = hit;
                            const bool marked =
                                std::any_of(toRemoveKeyPoints.begin(), toRemoveKeyPoints.end(),
                                            [&](const KeyPointHitRecord& r) { return r.samePoint(hit); });
                            if (!marked) {
                                toRemoveKeyPoints.append(hit);
                                currentModifiedHighlightedKeyTimes.append(highlightOf(k, hit));
                            }
                            if (deleting) o->laneEvaluateCurves(true, k.time);
                            update();
                        });
        return;
    }

    if (!isMovingRecordedParameter) return;
    if (!isMouseDown) {
        // A drag that no moving press started.
        isMovingRecordedParameter = false;
        o->laneFollowWorkingCurves(*t, false);
        o->laneSetMovingKeyPoint(std::nullopt, {});
        return;
    }
    isMouseDragged = true;
    if (!parameterInfo) return;
    const KeyPointGeometry g = geometryOf(*this, *t);
    const KeyPoint* old = pointOf(o->laneWorkingCurves(*t), *parameterInfo);
    if (!g.valid() || !old) return;
    const QPointF at = g.clamped(p);
    // A point that carries a flag is marked as moving; one without stays without.
    const KeyPoint moved{g.timeOf(at.x()), g.valueOf(at.y(), parameterInfo->minValue, parameterInfo->maxValue),
                         old->flag ? std::optional<int32_t>(KeyPoint::kPlacedWithMouse) : std::nullopt};
    const quint64 index = o->laneSetWorkingKeyPoint(*t, parameterInfo->key, parameterInfo->index, moved);
    if (index != kNoIndex) parameterInfo->index = index;
    o->laneSetMovingKeyPoint(highlightOf(moved, *parameterInfo), parameterInfo->key);
    o->laneEvaluateCurves(true, std::nullopt);
    if (audioView) audioView->autoscroll(event);
    update();
}

void AudioDrawingView::keyPointDeletionUp(QMouseEvent* event, const QPointF&) {
    isDeletingRecordedParameter = false;
    currentModifiedHighlightedKeyTimes.clear();
    parameterInfo.reset();
    MusicFilter* t = track();
    AudioDrawingViewOwner* o = owner();
    // Letting go of Ctrl before the button drops the marks.
    if (t && o && deletesWith(*t, event) && o->laneRemoveWorkingKeyPoints(*t, toRemoveKeyPoints))
        o->laneCommitKeyPoints();
    toRemoveKeyPoints.clear();
    if (o) o->laneEvaluateCurves(false, std::nullopt);
    update();
}

void AudioDrawingView::keyPointMoveUp(QMouseEvent*, const QPointF&) {
    isMovingRecordedParameter = false;
    MusicFilter* t = track();
    AudioDrawingViewOwner* o = owner();
    const std::optional<KeyPointHitRecord> hit = std::exchange(parameterInfo, std::nullopt);
    const bool commit = std::exchange(isMouseDragged, false);
    isMouseDown = false;
    if (!t || !o) return;
    // The moved point is stored as one placed with the mouse.
    if (hit) {
        const TrackCurves* curves = o->laneWorkingCurves(*t);
        const auto found = curves ? curves->find(hit->key) : TrackCurves::const_iterator();
        if (curves && found != curves->end()) {
            const KeyPointCurve& curve = found->second;
            const auto flagged = std::find_if(curve.begin(), curve.end(), [](const KeyPoint& k) {
                return k.flag == KeyPoint::kPlacedWithMouse;
            });
            if (flagged != curve.end())
                o->laneSetWorkingKeyPoint(*t, hit->key, quint64(flagged - curve.begin()),
                                          KeyPoint{flagged->time, flagged->value, KeyPoint::kRecordingBoundary});
        }
    }
    // The commit comes before the render goes back to the committed curves,
    // so that it never hears the curves as they were before the gesture.
    if (commit) o->laneCommitKeyPoints();
    o->laneFollowWorkingCurves(*t, false);
    o->laneSetMovingKeyPoint(std::nullopt, {});
    o->laneEvaluateCurves(true, std::nullopt);
    update();
}
