#pragma once

#include <QString>

// A timeline marker: "markerTime" (seconds of composition time) and "markerName".
struct MarkerRecord {
    double markerTime = 0.0;
    QString markerName;
};
