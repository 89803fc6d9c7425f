#include "platform/media/Composition.h"

#include <algorithm>

namespace mediatime {

using i128 = __int128;

static i128 divRound(i128 n, i128 d) {
    if (d < 0) { n = -n; d = -d; }
    i128 q = n / d;
    i128 r = n % d;
    if (2 * (r < 0 ? -r : r) >= d) q += (n < 0 ? -1 : 1);
    return q;
}

int64_t framesAt(const MediaTime& time, int64_t rate) {
    if (!time.isNumeric()) return 0;
    return static_cast<int64_t>(divRound(static_cast<i128>(time.value) * rate, time.timeScale));
}

MediaTime scaled(const MediaTime& time, const MediaTime& num, const MediaTime& den, int32_t scale) {
    if (!time.isNumeric() || !num.isNumeric() || !den.isNumeric() || den.value == 0 || scale <= 0)
        return MediaTime::invalid();
    // (t.v / t.s) * (n.v / n.s) / (d.v / d.s) * scale
    i128 n = static_cast<i128>(time.value) * num.value * den.timeScale;
    i128 d = static_cast<i128>(time.timeScale) * num.timeScale * den.value;
    return MediaTime(static_cast<int64_t>(divRound(n * scale, d)), scale);
}

}  // namespace mediatime

namespace {

bool numericRange(const MediaTimeRange& r) {
    return r.start.isNumeric() && r.duration.isNumeric() && r.duration >= MediaTime::zero();
}

int32_t finerScale(int32_t a, int32_t b) {
    return std::max({a, b, MediaTime::DefaultTimeScale});
}

// The part of `seg` from `offset` (track time relative to the segment's start)
// lasting `length`.
CompositionSegment subSegment(const CompositionSegment& seg, const MediaTime& offset,
                              const MediaTime& length, int32_t naturalScale) {
    CompositionSegment out = seg;
    out.targetRange = MediaTimeRange(seg.targetRange.start + offset, length);
    if (seg.isEmpty()) {
        out.sourceRange = MediaTimeRange(MediaTime::zero(), length);
    } else if (!seg.isScaled()) {
        out.sourceRange = MediaTimeRange(seg.sourceRange.start + offset, length);
    } else {
        const int32_t scale = finerScale(naturalScale, seg.sourceRange.start.timeScale);
        MediaTime srcStart = mediatime::scaled(offset, seg.sourceRange.duration,
                                               seg.targetRange.duration, scale);
        MediaTime srcEnd = offset + length == seg.targetRange.duration
                               ? seg.sourceRange.duration
                               : mediatime::scaled(offset + length, seg.sourceRange.duration,
                                                   seg.targetRange.duration, scale);
        out.sourceRange = MediaTimeRange(seg.sourceRange.start + srcStart, srcEnd - srcStart);
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------

CompositionTrack::CompositionTrack(int32_t trackID, MediaType mediaType)
    : trackID_(trackID), mediaType_(mediaType) {}

MediaTimeRange CompositionTrack::timeRange() const {
    if (segments_.empty()) return MediaTimeRange::zero();
    return MediaTimeRange(MediaTime::zero(), segments_.back().targetRange.end());
}

const CompositionSegment* CompositionTrack::segmentForTrackTime(const MediaTime& time) const {
    for (const auto& s : segments_)
        if (s.targetRange.containsTime(time)) return &s;
    return nullptr;
}

void CompositionTrack::splitAt(const MediaTime& time) {
    for (size_t i = 0; i < segments_.size(); ++i) {
        const auto& seg = segments_[i];
        if (seg.targetRange.start < time && time < seg.targetRange.end()) {
            const MediaTime offset = time - seg.targetRange.start;
            CompositionSegment first = subSegment(seg, MediaTime::zero(), offset, naturalTimeScale_);
            CompositionSegment second =
                subSegment(seg, offset, seg.targetRange.duration - offset, naturalTimeScale_);
            segments_[i] = first;
            segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(i) + 1, second);
            return;
        }
    }
}

void CompositionTrack::shiftFrom(size_t index, const MediaTime& delta) {
    for (size_t i = index; i < segments_.size(); ++i) segments_[i].targetRange.start += delta;
}

void CompositionTrack::mergeEmpty() {
    std::vector<CompositionSegment> out;
    for (auto& s : segments_) {
        if (s.targetRange.duration <= MediaTime::zero()) continue;
        if (!out.empty() && out.back().isEmpty() && s.isEmpty()) {
            out.back().targetRange.duration += s.targetRange.duration;
            out.back().sourceRange = MediaTimeRange(MediaTime::zero(), out.back().targetRange.duration);
            continue;
        }
        out.push_back(s);
    }
    segments_ = std::move(out);
}

void CompositionTrack::insertSegments(const MediaTime& at, const MediaTime& duration,
                                      std::vector<CompositionSegment> pieces) {
    const MediaTime end = timeRange().end();
    if (at > end) {
        CompositionSegment gap;
        gap.targetRange = MediaTimeRange(end, at - end);
        gap.sourceRange = MediaTimeRange(MediaTime::zero(), at - end);
        segments_.push_back(gap);
    }
    splitAt(at);
    size_t index = 0;
    while (index < segments_.size() && segments_[index].targetRange.start < at) ++index;
    shiftFrom(index, duration);
    for (auto& p : pieces) p.targetRange.start = at + p.targetRange.start;
    segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(index), pieces.begin(),
                     pieces.end());
    mergeEmpty();
}

std::vector<CompositionSegment> CompositionTrack::extract(const MediaTimeRange& range) const {
    std::vector<CompositionSegment> out;
    const MediaTime rEnd = range.end();
    for (const auto& seg : segments_) {
        const MediaTime s = maxTime(seg.targetRange.start, range.start);
        const MediaTime e = minTime(seg.targetRange.end(), rEnd);
        if (!(s < e)) continue;
        CompositionSegment piece =
            subSegment(seg, s - seg.targetRange.start, e - s, naturalTimeScale_);
        piece.targetRange.start = s - range.start;
        out.push_back(piece);
    }
    return out;
}

bool CompositionTrack::insertTimeRange(const MediaTimeRange& range,
                                       const std::shared_ptr<AssetTrack>& source,
                                       const MediaTime& at, QString* error) {
    auto fail = [&](const char* text) {
        if (error) *error = QString::fromUtf8(text);
        return false;
    };
    if (!source) return fail("There is no source track to insert.");
    if (source->mediaType() != mediaType_) return fail("The source track has another media type.");
    if (!numericRange(range) || !at.isNumeric() || at < MediaTime::zero())
        return fail("The time range or the insertion time is not valid.");
    const MediaTimeRange clipped = range.intersection(source->timeRange());
    if (clipped.duration <= MediaTime::zero()) return fail("The time range lies outside the source.");
    if (naturalTimeScale_ <= 0) naturalTimeScale_ = source->info().naturalTimeScale;
    CompositionSegment seg;
    seg.sourceTrack = source;
    seg.sourceRange = clipped;
    seg.targetRange = MediaTimeRange(MediaTime::zero(), clipped.duration);
    insertSegments(at, clipped.duration, {seg});
    return true;
}

bool CompositionTrack::insertTimeRange(const MediaTimeRange& range, const CompositionTrack& source,
                                       const MediaTime& at, QString* error) {
    auto fail = [&](const char* text) {
        if (error) *error = QString::fromUtf8(text);
        return false;
    };
    if (source.mediaType() != mediaType_) return fail("The source track has another media type.");
    if (!numericRange(range) || !at.isNumeric() || at < MediaTime::zero())
        return fail("The time range or the insertion time is not valid.");
    const MediaTimeRange clipped = range.intersection(source.timeRange());
    if (clipped.duration <= MediaTime::zero()) return fail("The time range lies outside the source.");
    if (naturalTimeScale_ <= 0) naturalTimeScale_ = source.naturalTimeScale();
    // Copy first: `source` may be this very track.
    std::vector<CompositionSegment> pieces = source.extract(clipped);
    insertSegments(at, clipped.duration, std::move(pieces));
    return true;
}

void CompositionTrack::insertEmptyTimeRange(const MediaTimeRange& range) {
    if (!numericRange(range) || range.duration <= MediaTime::zero() || range.start < MediaTime::zero())
        return;
    CompositionSegment gap;
    gap.targetRange = MediaTimeRange(MediaTime::zero(), range.duration);
    gap.sourceRange = MediaTimeRange(MediaTime::zero(), range.duration);
    insertSegments(range.start, range.duration, {gap});
}

void CompositionTrack::removeTimeRange(const MediaTimeRange& range) {
    if (!numericRange(range)) return;
    const MediaTimeRange r = range.intersection(timeRange());
    if (r.duration <= MediaTime::zero()) return;
    splitAt(r.start);
    splitAt(r.end());
    std::vector<CompositionSegment> out;
    for (auto& s : segments_) {
        if (s.targetRange.start >= r.start && s.targetRange.end() <= r.end()) continue;
        if (s.targetRange.start >= r.end()) s.targetRange.start -= r.duration;
        out.push_back(s);
    }
    segments_ = std::move(out);
    mergeEmpty();
}

void CompositionTrack::scaleTimeRange(const MediaTimeRange& range, const MediaTime& duration) {
    if (!numericRange(range) || !duration.isNumeric() || duration <= MediaTime::zero()) return;
    const MediaTimeRange r = range.intersection(timeRange());
    if (r.duration <= MediaTime::zero()) return;
    // A part of the range cut off by the track's end scales in proportion.
    const MediaTime newDuration =
        r.duration == range.duration
            ? duration
            : mediatime::scaled(r.duration, duration, range.duration,
                                finerScale(naturalTimeScale_, duration.timeScale));
    splitAt(r.start);
    splitAt(r.end());
    const int32_t scale = finerScale(naturalTimeScale_, newDuration.timeScale);
    auto map = [&](const MediaTime& t) {
        if (t == r.end()) return r.start + newDuration;
        return r.start + mediatime::scaled(t - r.start, newDuration, r.duration, scale);
    };
    const MediaTime delta = newDuration - r.duration;
    for (auto& s : segments_) {
        if (s.targetRange.start >= r.start && s.targetRange.end() <= r.end()) {
            const MediaTime ns = map(s.targetRange.start);
            const MediaTime ne = map(s.targetRange.end());
            s.targetRange = MediaTimeRange(ns, ne - ns);
            if (s.isEmpty()) s.sourceRange = MediaTimeRange(MediaTime::zero(), ne - ns);
        } else if (s.targetRange.start >= r.end()) {
            s.targetRange.start += delta;
        }
    }
    mergeEmpty();
}

// ---------------------------------------------------------------------------

Composition::Composition(const Composition& other) { *this = other; }

Composition& Composition::operator=(const Composition& other) {
    if (this == &other) return *this;
    tracks_.clear();
    for (const auto& t : other.tracks_) tracks_.push_back(std::make_unique<CompositionTrack>(*t));
    lastTrackID_ = other.lastTrackID_;
    return *this;
}

CompositionTrack* Composition::addMutableTrack(MediaType mediaType, int32_t preferredTrackID) {
    int32_t id = preferredTrackID;
    if (id <= 0 || trackWithTrackID(id)) id = lastTrackID_ + 1;
    lastTrackID_ = std::max(lastTrackID_, id);
    tracks_.push_back(std::make_unique<CompositionTrack>(id, mediaType));
    return tracks_.back().get();
}

void Composition::removeTrack(const CompositionTrack* track) {
    tracks_.erase(std::remove_if(tracks_.begin(), tracks_.end(),
                                 [&](const auto& t) { return t.get() == track; }),
                  tracks_.end());
}

CompositionTrack* Composition::trackWithTrackID(int32_t trackID) {
    for (auto& t : tracks_)
        if (t->trackID() == trackID) return t.get();
    return nullptr;
}

const CompositionTrack* Composition::trackWithTrackID(int32_t trackID) const {
    return const_cast<Composition*>(this)->trackWithTrackID(trackID);
}

std::vector<CompositionTrack*> Composition::tracks() {
    std::vector<CompositionTrack*> out;
    for (auto& t : tracks_) out.push_back(t.get());
    return out;
}

std::vector<const CompositionTrack*> Composition::tracks() const {
    std::vector<const CompositionTrack*> out;
    for (auto& t : tracks_) out.push_back(t.get());
    return out;
}

std::vector<const CompositionTrack*> Composition::tracksWithMediaType(MediaType type) const {
    std::vector<const CompositionTrack*> out;
    for (auto& t : tracks_)
        if (t->mediaType() == type) out.push_back(t.get());
    return out;
}

MediaTime Composition::duration() const {
    MediaTime d = MediaTime::zero();
    for (auto& t : tracks_) d = maxTime(d, t->timeRange().end());
    return d;
}

bool Composition::insertTimeRange(const MediaTimeRange& range, const Composition& source,
                                  const MediaTime& at, QString* error) {
    if (source.tracks_.empty()) {
        if (error) *error = QStringLiteral("The source has no tracks.");
        return false;
    }
    // Copy the source first: it may be this composition.
    const Composition src = source;
    std::vector<CompositionTrack*> used;
    bool ok = true;
    for (const auto& st : src.tracks_) {
        CompositionTrack* target = nullptr;
        for (auto& t : tracks_) {
            if (t->mediaType() == st->mediaType() &&
                std::find(used.begin(), used.end(), t.get()) == used.end()) {
                target = t.get();
                break;
            }
        }
        if (!target) {
            target = addMutableTrack(st->mediaType());
            target->setNaturalTimeScale(st->naturalTimeScale());
        }
        used.push_back(target);
        ok = target->insertTimeRange(range, *st, at, error) && ok;
    }
    return ok;
}

void Composition::insertEmptyTimeRange(const MediaTimeRange& range) {
    for (auto& t : tracks_) t->insertEmptyTimeRange(range);
}

void Composition::removeTimeRange(const MediaTimeRange& range) {
    for (auto& t : tracks_) t->removeTimeRange(range);
}

void Composition::scaleTimeRange(const MediaTimeRange& range, const MediaTime& duration) {
    for (auto& t : tracks_) t->scaleTimeRange(range, duration);
}
