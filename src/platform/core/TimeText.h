#pragma once

#include <QString>

// Clock texts for the timeline: "HH:mm:ss", or "HH:mm:ss:SS" with hundredths.
// Computed from the number of seconds, so hours go past 24 and a negative or
// undefined time reads as zero.
QString timeText(double seconds);
QString timeTextWithHundredths(double seconds);
