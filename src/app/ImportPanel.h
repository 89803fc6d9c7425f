#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

// A modal panel that picks one existing file (no folders, no hidden files).
struct OpenPanelRequest {
    QString title;
    QString message;
    QString prompt;      // the confirm button
    QString nameFilter;  // e.g. "Audio files (*.wav *.mp3)"
};

using OpenPanelRunner = std::function<QUrl(QWidget* parent, const OpenPanelRequest&)>;

// Runs the panel; an empty URL when the user cancelled.
QUrl runOpenPanel(QWidget* parent, const OpenPanelRequest& request);
// Replaces the panel (the tests choose files this way); an empty runner
// restores the panel.
void setOpenPanelRunner(OpenPanelRunner runner);
