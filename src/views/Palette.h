#pragma once

#include <QColor>

// The colours of the application's dark look.
namespace palette {

inline QColor orange() { return QColor::fromRgbF(1.0f, 0.73f, 0.15f); }
inline QColor blue() { return QColor::fromRgbF(0.0f, 0.32f, 0.48f); }
inline QColor red() { return QColor::fromRgbF(0.942f, 0.153f, 0.218f); }
// Backgrounds of panels and fields.
inline QColor background() { return QColor::fromRgbF(0.18f, 0.17f, 0.18f); }
inline QColor panelDark() { return QColor::fromRgbF(0.18f, 0.17f, 0.18f, 0.8f); }
inline QColor backgroundGrey() { return QColor::fromRgbF(0.11f, 0.11f, 0.11f); }
inline QColor symbolGrey() { return QColor::fromRgbF(0.333f, 0.333f, 0.333f); }
inline QColor markerGrey() { return QColor::fromRgbF(0.13f, 0.13f, 0.13f); }
inline QColor scrollCorner() { return QColor::fromRgbF(0.19f, 0.19f, 0.19f); }
inline QColor imageBorder() { return QColor::fromRgbF(0.16f, 0.34f, 0.55f); }

}  // namespace palette
