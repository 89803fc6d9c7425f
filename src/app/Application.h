#pragma once

#include <QApplication>
#include <QIcon>

#include <memory>

struct MainInterface;

// The application's icon at every size it is drawn in, from the resources
// built into the program (the same pictures the desktop's icon theme gets).
QIcon applicationIcon();

// The application object: names, settings location, library messages, the main
// interface, files named on the command line, and a prompt quit on SIGTERM or
// SIGINT (the session ending, Ctrl+C in a terminal) that keeps the
// preferences and asks nothing.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    ~Application() override;

    MainInterface* mainInterface() const { return interface_.get(); }
    // Loads the main interface, reads the preferences, shows the main window
    // and opens `files` (those named on the command line).
    void start(const QStringList& files = {});

private:
    void installSignalHandlers();
    // A signal ends the application at once: no question, no window asked
    // whether it may close.
    void terminateFromSignal();
    std::unique_ptr<MainInterface> interface_;
};
