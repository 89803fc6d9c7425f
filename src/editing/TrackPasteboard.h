#pragma once

// A whole track on the clipboard, and the arithmetic that places a pasted
// track and re-trims a track to the parts outside its region. Main thread;
// no controller, so that the geometry is tested on its own.
//
// Geometry terms: a lane stands for the whole source at the current scale
// (lane width Wl); the region is the part of it that plays, kept as the
// fractions `origin` and `duration` of the lane; the track area (width Wa)
// spans the whole composition (C seconds).

#include "editing/TrimArithmetic.h"
#include "engine/TrackList.h"
#include "platform/core/MediaTime.h"

#include <QRectF>

#include <optional>

// Where the copied track was, at copy time. The paste places the new track
// from the lane frame, the zoom, the composition's length and the two
// fractions; the two animation times are kept for the record's readers.
struct TrackPasteboardInfo {
    MediaTime audioPasteboardCompositionDuration = MediaTime::zero();
    double audioPasteboardSpeed = 1.0;
    MediaTime audioPasteboardAnimationStart = MediaTime::zero();
    MediaTime audioPasteboardAnimationEnd = MediaTime::zero();
    double audioPasteboardOriginPercent = 0;
    double audioPasteboardDurationPercent = 1;
    QRectF audioPasteboardAudioViewFrame;    // only its width: the zoom at copy time
    QRectF audioPasteboardDrawingViewFrame;  // the lane's frame in the track area
    friend bool operator==(const TrackPasteboardInfo&, const TrackPasteboardInfo&) = default;
};

// A copied track. It holds the live track: a paste takes the track's effect
// values, versions, pictures, plug-ins and notes as they are at paste time,
// and only the speed and the placement as they were at copy time.
struct TrackPasteboardRecord {
    TrackRecord audioPasteboardDictionary;
    TrackPasteboardInfo audioPasteboardInfo;
    // Set (always false) only in the records a cut or an invert trim hands
    // to the paste for the part after a region: the paste then takes the
    // source's stored unit parameters without reading its units again.
    std::optional<bool> audioPasteboardListenerCanUpdate;
    // The track's file was replaced after the copy: the record's file,
    // waveform and placement are of the old one, and a paste of it is refused.
    bool sourceReplaced = false;
    // Two records are the same when they hold the same track placed alike.
    friend bool operator==(const TrackPasteboardRecord& a, const TrackPasteboardRecord& b) {
        return a.audioPasteboardDictionary.audioFilter == b.audioPasteboardDictionary.audioFilter &&
               a.audioPasteboardInfo == b.audioPasteboardInfo &&
               a.audioPasteboardListenerCanUpdate == b.audioPasteboardListenerCanUpdate &&
               a.sourceReplaced == b.sourceReplaced;
    }
};

namespace trackpaste {

// The region's fractions and the re-trimmed source range are the trims' own
// (editing/TrimArithmetic.h).
using trims::Fractions;

// Which parts of the source outside the region can still play: the part
// before needs the track to start after the composition's start, the part
// after needs it to end before the composition's end.
enum class OutsideParts { None, Before, After, Both };
OutsideParts outsidePartsOf(bool startsAfterZero, bool endsBeforeCompositionEnd, double origin, double duration);

// The track as the part before its region: it starts where its lane begins
// (not before the composition's start) and ends where the region began.
struct KeptPart {
    double start = 0, end = 0;  // composition seconds
    Fractions fractions;
};
struct LaneFrame {
    double laneX = 0, laneWidth = 0;  // lane frame x and width in the track area
    double areaWidth = 0;             // the track area's width
    double compositionSeconds = 0;
    double audioSeconds = 0;          // the current audio version's length
    double speed = 1;
    // Seconds of composition time the whole lane stands for.
    double laneSeconds() const { return speed > 0 ? audioSeconds / speed : audioSeconds; }
};
KeptPart partBefore(const LaneFrame& f, double regionStart);
// The part after: from where the region ended to where the lane ends (not
// after the composition's end).
KeptPart partAfter(const LaneFrame& f, double regionEnd, double origin, double duration);

// A pasted track's lane at the current zoom and composition length: x
// follows the zoom, the width both the zoom and the length. A region that
// would end right of the track area is shortened to end at its edge. None
// when the region lies wholly past the track area, or the record has no
// usable geometry: such a paste adds no track.
struct PastedLane {
    double x = 0, width = 0;
    Fractions fractions;
};
std::optional<PastedLane> pastedLane(const TrackPasteboardInfo& info, double compositionSeconds, double zoom,
                                     double areaWidth);

}  // namespace trackpaste
