#include "app/Application.h"

#include "app/MainInterface.h"
#include "platform/core/MessageLog.h"
#include "platform/media/DecodedCache.h"
#include "platform/media/FFmpeg.h"
#include "platform/media/MediaWorkers.h"
#include "platform/media/Player.h"

#include <QEvent>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    char c = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[0], &c, 1);
}
}  // namespace

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512})
        icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/trevalune.png").arg(size), QSize(size, size));
    return icon;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setOrganizationName(QStringLiteral("Trevalune"));
    setApplicationName(QStringLiteral("Trevalune"));
    // No display name: Qt would add it to every window title, and the main
    // window's title is the application's name already.
    setDesktopFileName(QStringLiteral("trevalune"));
    // Every window shows it; the desktop entry names the same icon.
    setWindowIcon(applicationIcon());
    ffmpeg::routeMessagesToLog();
    // The application delegate decides when closing windows ends the application.
    setQuitOnLastWindowClosed(false);
    installSignalHandlers();
}

Application::~Application() {
    // The windows go before the application object, and what they leave
    // queued for the main thread (units and listeners are freed there) runs
    // while the application is still there.
    interface_.reset();
    // Work still on the media workers ends before the application object goes.
    mediaworkers::finishWork();
    for (int i = 0; i < 3; ++i) {
        sendPostedEvents();
        sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    messagelog::uninstall();
}

void Application::installSignalHandlers() {
    if (signalPipe[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char c;
        [[maybe_unused]] auto n = ::read(signalPipe[1], &c, 1);
        terminateFromSignal();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

void Application::terminateFromSignal() {
    static bool ending = false;
    if (ending) return;
    ending = true;
    qInfo("Ending on a signal; the preferences are kept.");
    // No question can be asked here: keep the preferences and go.
    if (interface_ && interface_->appDelegate) interface_->appDelegate->applicationWillTerminate();
    // exit(), not quit(): quit() would first ask every window whether it may
    // close, and the main window answers that with the save question. exit()
    // also ends any modal loop that runs now (an alert already open), and
    // no new one starts after it.
    exit(0);
}

void Application::start(const QStringList& files) {
    applyDarkLook();
    // Entries whose source is gone, and the cache past its bound, go first.
    DecodedCache::tidyInBackground();
    // The default audio device, or a silent output that keeps time when there is none.
    interface_ = loadMainInterface(std::make_unique<Player>());
    AppDelegate* delegate = interface_->appDelegate.get();
    delegate->applicationWillFinishLaunching();
    interface_->mainWindow->show();
    delegate->applicationDidFinishLaunching();
    for (const QString& file : files) delegate->openFile(file);
}
