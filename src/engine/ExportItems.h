#pragma once

// The items of the export's three pop-ups, in the order their indexes are
// stored: the preferences window and the composition's save panel both build
// their pop-ups from these tables, and the export reads its settings back
// through the same indexes. Values only, below the views: the widgets build
// their pop-ups from them, and the exporters read them without a controller.

#include <array>
#include <cstddef>

namespace exportitems {

struct FormatItem {
    const char* extension;  // also the pop-up's text
};

struct SampleRateItem {
    const char* title;
    double sampleRate;  // Hz
};

struct BitRateItem {
    const char* title;
    int bitRate;  // bits per second (m4a)
};

inline constexpr std::array<FormatItem, 4> formats{{
    {"m4a"},
    {"aif"},
    {"wav"},
    {"caf"},
}};

inline constexpr std::array<SampleRateItem, 3> sampleRates{{
    {"44.1 kHz", 44100.0},
    {"48 kHz", 48000.0},
    {"96 kHz", 96000.0},
}};

inline constexpr std::array<BitRateItem, 4> bitRates{{
    {"128 kbit/s", 128000},
    {"160 kbit/s", 160000},
    {"192 kbit/s", 192000},
    {"320 kbit/s", 320000},
}};

// The selections of a first launch, and what a negative stored index becomes.
inline constexpr int defaultFormatIndex = 0;
inline constexpr int defaultSampleRateIndex = 0;
inline constexpr int defaultBitRateIndex = 2;  // 192 kbit/s

// The item at `index`, or the default item when the index is outside the table.
template <typename Table>
constexpr const typename Table::value_type& itemAt(const Table& table, int index, int fallback) {
    return index >= 0 && std::size_t(index) < table.size() ? table[std::size_t(index)]
                                                           : table[std::size_t(fallback)];
}

}  // namespace exportitems
