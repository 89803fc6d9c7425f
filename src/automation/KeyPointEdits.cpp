#include "automation/KeyPointEdits.h"

#include "automation/RecordedParameters.h"

#include <algorithm>
#include <numeric>

namespace automation {

size_t resortFollowingPoint(KeyPointCurve& curve, size_t index) {
    if (index >= curve.size()) return index;
    // The rest of the curve is in order already (every edit keeps it so):
    // the point walks to its place.
    size_t i = index;
    while (i > 0 && keyPointTimeComparator(curve[i], curve[i - 1])) {
        std::swap(curve[i], curve[i - 1]);
        --i;
    }
    while (i + 1 < curve.size() && keyPointTimeComparator(curve[i + 1], curve[i])) {
        std::swap(curve[i], curve[i + 1]);
        ++i;
    }
    if (std::is_sorted(curve.begin(), curve.end(), keyPointTimeComparator)) return i;
    // A curve out of order elsewhere is sorted whole, the point followed by position.
    std::vector<size_t> order(curve.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return keyPointTimeComparator(curve[a], curve[b]); });
    KeyPointCurve sorted;
    sorted.reserve(curve.size());
    size_t found = 0;
    for (size_t k = 0; k < order.size(); ++k) {
        if (order[k] == i) found = k;
        sorted.push_back(curve[order[k]]);
    }
    curve = std::move(sorted);
    return found;
}

bool removeKeyPointsKeepingTwo(KeyPointCurve& curve, const std::vector<size_t>& indices) {
    std::vector<KeyPoint> marked;
    for (size_t i : indices)
        if (i < curve.size()) marked.push_back(curve[i]);
    if (marked.empty()) return false;
    auto isMarked = [&](const KeyPoint& p) { return std::find(marked.begin(), marked.end(), p) != marked.end(); };
    const auto kept = std::count_if(curve.begin(), curve.end(), [&](const KeyPoint& p) { return !isMarked(p); });
    if (kept < 2) return false;
    std::erase_if(curve, isMarked);
    return true;
}

}  // namespace automation
