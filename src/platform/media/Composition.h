#pragma once

#include "platform/core/MediaTime.h"
#include "platform/media/AssetTrack.h"

#include <QString>

#include <memory>
#include <vector>

// One piece of a composition track's edit list: the range `sourceRange` of
// `sourceTrack` placed at `targetRange` on the track's timeline. When the two
// durations differ the piece is stretched (pitch kept) to fill its target. An
// empty segment (no source track) is silence.
struct CompositionSegment {
    std::shared_ptr<AssetTrack> sourceTrack;
    MediaTimeRange sourceRange;
    MediaTimeRange targetRange;

    bool isEmpty() const { return !sourceTrack; }
    bool isScaled() const { return !isEmpty() && !(sourceRange.duration == targetRange.duration); }
    // The file the segment's audio comes from; empty for an empty segment or
    // generated material.
    QString sourcePath() const { return sourceTrack ? sourceTrack->info().sourcePath : QString(); }
    int32_t sourceTrackID() const { return sourceTrack ? sourceTrack->trackID() : 0; }
};

// One track of a composition: an edit list whose segments follow each other
// without gaps from time zero (a gap is held as an empty segment).
class CompositionTrack {
public:
    CompositionTrack(int32_t trackID, MediaType mediaType);

    int32_t trackID() const { return trackID_; }
    MediaType mediaType() const { return mediaType_; }
    int32_t naturalTimeScale() const { return naturalTimeScale_; }
    void setNaturalTimeScale(int32_t scale) { naturalTimeScale_ = scale; }

    const std::vector<CompositionSegment>& segments() const { return segments_; }
    // From zero to the end of the last segment.
    MediaTimeRange timeRange() const;
    MediaTime duration() const { return timeRange().duration; }
    // The segment whose target range holds `time`, or null.
    const CompositionSegment* segmentForTrackTime(const MediaTime& time) const;

    // Places `range` of `source` at `at`; what was at `at` and after moves
    // later by the range's duration. Inserting past the end leaves silence in
    // between. False (with `error`) for an invalid range or time, a range
    // outside the source, or a source of another media type.
    bool insertTimeRange(const MediaTimeRange& range, const std::shared_ptr<AssetTrack>& source,
                         const MediaTime& at, QString* error = nullptr);
    // The same with the segments of another composition track as the source.
    bool insertTimeRange(const MediaTimeRange& range, const CompositionTrack& source,
                         const MediaTime& at, QString* error = nullptr);
    // Silence of the range's duration at the range's start; later content moves.
    void insertEmptyTimeRange(const MediaTimeRange& range);
    // Takes the range out; later content moves earlier to close the gap.
    void removeTimeRange(const MediaTimeRange& range);
    // Stretches or squeezes what lies in `range` to last `duration`; later
    // content moves by the difference.
    void scaleTimeRange(const MediaTimeRange& range, const MediaTime& duration);

private:
    friend class Composition;
    // Splits the segment that straddles `time` so that a segment starts there.
    void splitAt(const MediaTime& time);
    void shiftFrom(size_t index, const MediaTime& delta);
    void insertSegments(const MediaTime& at, const MediaTime& duration,
                        std::vector<CompositionSegment> pieces);
    void mergeEmpty();
    // The segments covering `range`, cut to it and moved to start at zero.
    std::vector<CompositionSegment> extract(const MediaTimeRange& range) const;

    int32_t trackID_;
    MediaType mediaType_;
    int32_t naturalTimeScale_ = 0;
    std::vector<CompositionSegment> segments_;
};

// A set of tracks edited together: what the player plays and the reader
// renders. Copies are deep: editing a copy leaves the original as it was.
class Composition {
public:
    Composition() = default;
    Composition(const Composition& other);
    Composition& operator=(const Composition& other);

    std::shared_ptr<Composition> copy() const { return std::make_shared<Composition>(*this); }

    // A new empty track. `preferredTrackID` 0 (or one already used) asks for
    // a new identifier: one more than the largest ever handed out.
    CompositionTrack* addMutableTrack(MediaType mediaType, int32_t preferredTrackID = 0);
    void removeTrack(const CompositionTrack* track);
    CompositionTrack* trackWithTrackID(int32_t trackID);
    const CompositionTrack* trackWithTrackID(int32_t trackID) const;
    std::vector<CompositionTrack*> tracks();
    std::vector<const CompositionTrack*> tracks() const;
    std::vector<const CompositionTrack*> tracksWithMediaType(MediaType type) const;
    int trackCount() const { return static_cast<int>(tracks_.size()); }

    // The end of the longest track.
    MediaTime duration() const;

    // Whole-composition edits: `range` of every track of `source` goes into a
    // track of this composition (matched by media type, in order, added when
    // missing) at `at`; the others apply to every track.
    bool insertTimeRange(const MediaTimeRange& range, const Composition& source,
                         const MediaTime& at, QString* error = nullptr);
    void insertEmptyTimeRange(const MediaTimeRange& range);
    void removeTimeRange(const MediaTimeRange& range);
    void scaleTimeRange(const MediaTimeRange& range, const MediaTime& duration);

private:
    std::vector<std::unique_ptr<CompositionTrack>> tracks_;
    int32_t lastTrackID_ = 0;
};

namespace mediatime {
// `time` as a whole number of frames at `rate` (rounded to nearest).
int64_t framesAt(const MediaTime& time, int64_t rate);
// time * num / den, rounded to `scale`.
MediaTime scaled(const MediaTime& time, const MediaTime& num, const MediaTime& den, int32_t scale);
}  // namespace mediatime
