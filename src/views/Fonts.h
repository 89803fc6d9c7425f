#pragma once

#include <QFont>
#include <QGuiApplication>

// The application's font at a size in the interface's points. Every view
// measures in points that are one pixel each at a scale of one, so a size in
// points is a pixel size here: labels, rulers and lanes use this one mapping
// so that equal sizes look equal, whatever the screen's DPI.
inline QFont systemFont(qreal points) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(qMax(1, qRound(points)));
    return font;
}
