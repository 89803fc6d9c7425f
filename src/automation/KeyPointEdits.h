#pragma once

// Edits of one curve's key points with the mouse: a point put in place and
// followed through the curve's time order, and points deleted under a floor
// of two. Main thread, on the working store; no controller needed.

#include "engine/AutomationTypes.h"

#include <cstddef>
#include <vector>

namespace automation {

// Puts the curve back in time order (keyPointTimeComparator) after its point
// at `index` was changed or added, and answers where that same point now
// stands. The other points keep their order; a point of the same time as
// others stays on the side of them it came from.
size_t resortFollowingPoint(KeyPointCurve& curve, size_t index);

// Deletes the points at `indices` and every point equal to one of them.
// Nothing changes when that would leave the curve fewer than two points,
// or when no index names a point. True when the curve changed.
bool removeKeyPointsKeepingTwo(KeyPointCurve& curve, const std::vector<size_t>& indices);

}  // namespace automation
