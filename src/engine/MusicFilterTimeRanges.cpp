// Range edits of a track: each changes the track's audio track in the shared
// composition (so that the player hears it at once) and makes a new version
// of the track's source (so that the edit can be undone, and so that the
// next insertion of the track starts from the edited source).
//
// An edit range has its start in lane time (source time divided by the
// track's speed) and its duration in source time.
//
// Versions only grow: a new version goes to the end of the list, never
// between the current one and versions left by undos, so an undo record
// that names a version index keeps naming the same audio.

#include "engine/MusicFilter.h"

#include "platform/media/Asset.h"
#include "platform/media/AssetTrack.h"
#include "platform/media/Composition.h"

namespace {

int32_t scaleOr(int32_t scale) { return scale > 0 ? scale : MediaTime::DefaultTimeScale; }

MediaTimeRange wholeRange(const CompositionTrack& t) { return {MediaTime::zero(), t.duration()}; }

// Cuts `track` at the composition's length.
void clampToComposition(CompositionTrack& track, const MediaTime& compositionDuration) {
    if (!compositionDuration.isNumeric()) return;
    const MediaTime end = track.timeRange().start + track.duration();
    if (end > compositionDuration)
        track.removeTimeRange({compositionDuration, end - compositionDuration});
}

}  // namespace

MediaTime MusicFilter::audioDuration() const {
    if (indexOfUpdatedTrack != kNoIndex && indexOfUpdatedTrack < tempFilterTracks.size())
        return tempFilterTracks[indexOfUpdatedTrack]->duration();
    if (playerAsset) return playerAsset->duration();
    return MediaTime();  // every field 0
}

namespace {
struct EditTargets {
    CompositionTrack* C = nullptr;
    const CompositionTrack* V = nullptr;
};
}  // namespace

// What every edit needs: a usable speed, the track in the composition and
// its current version.
bool MusicFilter::editTargets(CompositionTrack** C, const CompositionTrack** V) const {
    auto composition = currentComposition.lock();
    if (!tempComposition || indexOfUpdatedTrack >= tempFilterTracks.size() || !composition ||
        trackID == -1 || !(value(EffectInput::Speed) > 0.0f))
        return false;
    *C = composition->trackWithTrackID(trackID);
    *V = tempFilterTracks[indexOfUpdatedTrack];
    return *C != nullptr;
}

bool MusicFilter::removeTrackTimeRange(const MediaTimeRange& r) {
    EditTargets t;
    if (!editTargets(&t.C, &t.V)) return false;
    const double s = value(EffectInput::Speed);
    const MediaTimeRange R = currentTimeRange();
    const MediaTime A = animationStart();
    const MediaTime vDuration = t.V->duration();

    // The new version: V without [b, b + r.duration).
    CompositionTrack* W = tempComposition->addMutableTrack(MediaType::Audio);
    W->setNaturalTimeScale(scaleOr(timeScale));
    const MediaTime b = r.start.multipliedBy(s);
    bool ok = true;
    MediaTime at = MediaTime::zero();
    if (b > MediaTime::zero()) {
        ok = W->insertTimeRange({MediaTime::zero(), b}, *t.V, MediaTime::zero());
        at = b;
    }
    const MediaTime after = b + r.duration;
    if (ok && after < vDuration) ok = W->insertTimeRange({after, vDuration - after}, *t.V, at);
    if (!ok) {
        tempComposition->removeTrack(W);
        return false;
    }

    t.C->removeTimeRange({r.start - R.start.multipliedBy(1.0 / s) + A, r.duration.multipliedBy(1.0 / s)});

    tempFilterTracks.push_back(W);
    indexOfUpdatedTrack = tempFilterTracks.size() - 1;
    return true;
}

bool MusicFilter::addEmptyTrackTimeRange(const MediaTimeRange& r) {
    EditTargets t;
    if (!editTargets(&t.C, &t.V)) return false;
    const float s = value(EffectInput::Speed);
    const MediaTimeRange R = currentTimeRange();
    const MediaTime A = animationStart();

    CompositionTrack* W = tempComposition->addMutableTrack(MediaType::Audio);
    W->setNaturalTimeScale(scaleOr(timeScale));
    const MediaTime vDuration = t.V->duration();
    if (vDuration > MediaTime::zero() &&
        !W->insertTimeRange({MediaTime::zero(), vDuration}, *t.V, MediaTime::zero())) {
        tempComposition->removeTrack(W);
        return false;
    }
    if (s == 1.0f) W->insertEmptyTimeRange({r.start, r.duration});
    else W->insertEmptyTimeRange({r.start.multipliedBy(s), r.duration});

    if (s == 1.0f) t.C->insertEmptyTimeRange({r.start + (A - R.start), r.duration});
    else
        t.C->insertEmptyTimeRange(
            {r.start + (A - R.start.multipliedBy(1.0 / double(s))), r.duration.multipliedBy(1.0 / double(s))});
    if (auto* controller = audioController()) clampToComposition(*t.C, controller->compositionDuration());

    tempFilterTracks.push_back(W);
    indexOfUpdatedTrack = tempFilterTracks.size() - 1;
    return true;
}

bool MusicFilter::addTrackTimeRange(const MediaTimeRange& r, const MusicFilter& fromFilter,
                                    double fromInsertionTime, uint64_t fromIndex,
                                    double fromSpeedValue, double toSpeedValue) {
    EditTargets t;
    if (!editTargets(&t.C, &t.V)) return false;
    if (fromIndex >= fromFilter.tempFilterTracks.size() || fromSpeedValue <= 0 || toSpeedValue <= 0)
        return false;
    const CompositionTrack* F = fromFilter.tempFilterTracks[fromIndex];
    const MediaTimeRange P{MediaTime::fromSeconds(fromInsertionTime, scaleOr(fromFilter.timeScale)),
                           r.duration};
    const MediaTimeRange R = currentTimeRange();
    const MediaTime A = animationStart();
    const int32_t scale = scaleOr(timeScale);
    const MediaTime vDuration = t.V->duration();

    // The piece as it goes into the composition (forC) and into the new
    // version (forW), each on a scratch track of its own.
    const bool unscaled = fromSpeedValue == 1.0 && toSpeedValue == 1.0;
    Composition forC, forW;
    CompositionTrack* pieceC = forC.addMutableTrack(MediaType::Audio);
    pieceC->setNaturalTimeScale(scale);
    if (!pieceC->insertTimeRange(P, *F, MediaTime::zero())) return false;
    if (!unscaled) {
        const MediaTime d = pieceC->duration();
        pieceC->scaleTimeRange({MediaTime::zero(), d}, d.multipliedBy((1.0 / fromSpeedValue) / toSpeedValue));
    }
    CompositionTrack* pieceW = forW.addMutableTrack(MediaType::Audio);
    pieceW->setNaturalTimeScale(scale);
    pieceW->insertTimeRange(wholeRange(*pieceC), *pieceC, MediaTime::zero());
    if (!unscaled && toSpeedValue != 1.0) {
        const MediaTime d = pieceW->duration();
        pieceW->scaleTimeRange({MediaTime::zero(), d}, d.multipliedBy(toSpeedValue));
    }

    CompositionTrack* W = tempComposition->addMutableTrack(MediaType::Audio);
    W->setNaturalTimeScale(scale);
    bool ok = vDuration <= MediaTime::zero() ||
              W->insertTimeRange({MediaTime::zero(), vDuration}, *t.V, MediaTime::zero());
    const MediaTime wAt = unscaled ? r.start : r.start.multipliedBy(toSpeedValue);
    ok = ok && W->insertTimeRange(wholeRange(*pieceW), *pieceW, wAt);
    if (!ok) {
        tempComposition->removeTrack(W);
        return false;
    }

    const MediaTime cAt = unscaled ? r.start + (A - R.start)
                                   : r.start + (A - R.start.multipliedBy(1.0 / toSpeedValue));
    if (!t.C->insertTimeRange(wholeRange(*pieceC), *pieceC, cAt)) {
        tempComposition->removeTrack(W);
        return false;
    }
    if (auto* controller = audioController()) clampToComposition(*t.C, controller->compositionDuration());

    tempFilterTracks.push_back(W);
    indexOfUpdatedTrack = tempFilterTracks.size() - 1;
    return true;
}

void MusicFilter::addUndoTrackTimeRange() {
    auto composition = currentComposition.lock();
    if (!composition || trackID == -1 || indexOfUpdatedTrack >= tempFilterTracks.size()) return;
    CompositionTrack* C = composition->trackWithTrackID(trackID);
    if (!C) return;
    const CompositionTrack* V = tempFilterTracks[indexOfUpdatedTrack];
    // The range within the version: an undone removal may leave the
    // recorded range longer than the source it names.
    MediaTimeRange R = currentTimeRange();
    R.start = maxTime(R.start, MediaTime::zero());
    R.duration = minTime(R.duration, maxTime(V->duration() - R.start, MediaTime::zero()));
    const MediaTime A = animationStart();
    const float s = value(EffectInput::Speed);

    C->removeTimeRange(wholeRange(*C));
    if (s == 1.0f) {
        C->insertTimeRange(R, *V, A);
        return;
    }
    Composition scratch;
    CompositionTrack* T = scratch.addMutableTrack(MediaType::Audio);
    T->setNaturalTimeScale(scaleOr(timeScale));
    if (!T->insertTimeRange(R, *V, MediaTime::zero())) return;
    const MediaTime d = T->duration();
    T->scaleTimeRange({MediaTime::zero(), d},
                      MediaTime::fromSeconds(d.seconds() / double(s), T->naturalTimeScale()));
    C->insertTimeRange(wholeRange(*T), *T, A);
}

void MusicFilter::removeUndoTrackTimeRange() { addUndoTrackTimeRange(); }
