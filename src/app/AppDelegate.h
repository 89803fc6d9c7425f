#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

class AudioController;
class QMenu;
class QSettings;
class QWidget;

// The application's delegate: its folders, the preferences read at launch
// and written at exit, files handed over by the desktop, the markers menu
// and the question before quitting.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(QObject* parent = nullptr);

    QPointer<QWidget> window;  // the main window
    AudioController* audioController = nullptr;
    QPointer<QMenu> markersAppMenuItem;
    QPointer<QWidget> preferencesPanel;

    // Ends the process; replaced by tests.
    std::function<void()> quitApplication;

    void awakeFromNib();
    void setupAppSupportDir();
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    // Reads the preferences into the controls and the controller.
    void setupDefaultValues();
    void setupDefaultValues(QSettings& settings);
    // Writes them back.
    void applicationWillTerminate();
    void applicationWillTerminate(QSettings& settings);

    enum class TerminateReply { TerminateNow, TerminateCancel };
    TerminateReply applicationShouldTerminate();
    // Asks, then quits when the answer allows it (the Quit command, the last window closing).
    void terminate();

    void openPreferencesWindowFrom();
    void resetPreferencesTrackColor();
    // A file from the command line or the desktop: opened after this event.
    void openFile(const QString& path);
    void openFileFromURL(const QUrl& url);
    static bool isProjectURL(const QUrl& url);
    void menuWillOpen(QMenu* menu);

    static QColor defaultTrackColor() { return QColor::fromRgbF(1.0f, 0.73f, 0.15f); }

private:
    bool terminating_ = false;
};
