#pragma once

// The floating panel that holds a track's notes. Main thread only. Empty
// for now: it shows, closes and is reached as the track list's notes panel;
// the piano roll and its play button come with the notes editor.

#include <QDialog>

class NotesPanel : public QDialog {
    Q_OBJECT
public:
    explicit NotesPanel(QWidget* parent);
};
