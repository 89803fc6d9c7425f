#pragma once

// The values of the automation curves, shared by the engine, the views that
// draw the curves and the controller that stores and edits them.

#include <QString>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// One point of a curve: a time of the composition timeline in seconds and
// the input's value there, in the input's own unit. The flag is absent on
// most points; a point that has one keeps it through copies and archives.
struct KeyPoint {
    // A boundary point of a recording pass: its first point, an end point
    // seeded into an empty curve, or the last point of the pass.
    static constexpr int32_t kRecordingBoundary = 1;
    // A point placed or moved with the mouse.
    static constexpr int32_t kPlacedWithMouse = 2;

    double time = 0;
    double value = 0;
    std::optional<int32_t> flag;

    friend bool operator==(const KeyPoint&, const KeyPoint&) = default;
};

// How a curve runs between its points: holding each point's value until the
// next point, or ramping linearly from one to the next. The numbers are the
// track's stored curve type.
enum class CurveStyle : uint64_t {
    Step = 0,
    Linear = 1,
};

// The curve of one effect input: its points in ascending time and its style.
struct AutomationCurve {
    std::vector<KeyPoint> keyPoints;
    CurveStyle style = CurveStyle::Step;

    friend bool operator==(const AutomationCurve&, const AutomationCurve&) = default;
};

// What a track's render follows: per effect input (by its EffectInput
// number) the points of the curve that applies, and the track's own style.
// Built and published on the main thread whenever the track's curves, the
// set it follows or its style change; immutable once published.
struct TrackAutomation {
    static constexpr int kInputCount = 28;
    std::array<std::vector<KeyPoint>, kInputCount> curves;
    CurveStyle style = CurveStyle::Step;
    // Bit n set: input n has a curve with points.
    uint32_t automatedInputs = 0;
};

// A key point shown highlighted or moving in a lane: its time on the
// composition timeline in seconds, its value, and the value range that
// places it (the range travels with the point).
struct HighlightedKeyPointRecord {
    double time = 0;
    double value = 0;
    double minValue = 0;
    double maxValue = 0;
};

// The automation store's shapes: a curve's points, one track's curves by
// input key ("inputAudioMix" ...), every track's by its identifierOfFilter.
using KeyPointCurve = std::vector<KeyPoint>;
using TrackCurves = std::map<QString, KeyPointCurve>;
using RecordedParameters = std::map<QString, TrackCurves>;
