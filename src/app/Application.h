#pragma once

#include <QApplication>

#include <memory>

class QMainWindow;

// The main window of the application, not yet shown.
std::unique_ptr<QMainWindow> buildMainWindow();

// The application object: names, settings location, the main window, and a
// clean quit on SIGTERM or SIGINT (the session ending, Ctrl+C in a terminal).
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    ~Application() override;

    QMainWindow* mainWindow() const { return mainWindow_.get(); }
    // Builds and shows the main window.
    void start();

private:
    void installSignalHandlers();
    std::unique_ptr<QMainWindow> mainWindow_;
};
