#pragma once

#include "app/AppDelegate.h"
#include "app/AudioController.h"
#include "app/WindowController.h"

#include <memory>

class Player;

// The application's objects and windows, connected: what the main
// interface holds. Windows are built, outlets and actions connected, then
// the objects are woken in order. Nothing is shown yet.
struct MainInterface {
    std::unique_ptr<AudioController> audioController;
    std::unique_ptr<AppDelegate> appDelegate;
    std::unique_ptr<WindowController> windowController;
    // The main window owns the other windows; it goes first.
    std::unique_ptr<QWidget> mainWindow;

    ~MainInterface();
};

std::unique_ptr<MainInterface> loadMainInterface(std::unique_ptr<Player> player);

// The dark look of the whole application.
void applyDarkLook();
