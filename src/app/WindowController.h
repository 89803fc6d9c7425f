#pragma once

#include <QObject>

class AudioController;
class AudioView;

// The main window's delegate: resizing, and the save question on the close box.
class WindowController : public QObject {
    Q_OBJECT
public:
    explicit WindowController(QObject* parent = nullptr) : QObject(parent) {}

    AudioView* audioView = nullptr;
    AudioController* audioController = nullptr;

    void windowDidResize();
    void windowDidEndLiveResize();
    // Whether the main window may close now.
    bool windowShouldClose();
};
