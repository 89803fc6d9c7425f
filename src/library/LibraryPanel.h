#pragma once

// The open panel that picks files for the media library (several at once).

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

struct FilesPanelRequest {
    QString title;
    QString message;
    QString prompt;      // the confirm button
    QString nameFilter;  // e.g. "Audio files (*.wav *.mp3)"
};

using FilesPanelRunner = std::function<QList<QUrl>(QWidget* parent, const FilesPanelRequest&)>;

// Runs the panel; empty when the user cancelled.
QList<QUrl> runFilesPanel(QWidget* parent, const FilesPanelRequest& request);
// Replaces the panel (the tests choose files this way); an empty runner
// restores the panel.
void setFilesPanelRunner(FilesPanelRunner runner);
