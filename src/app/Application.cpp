#include "app/Application.h"

#include <QMainWindow>
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

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setOrganizationName(QStringLiteral("Trevalune"));
    setApplicationName(QStringLiteral("Trevalune"));
    setApplicationDisplayName(QStringLiteral("Trevalune"));
    setQuitOnLastWindowClosed(true);
    installSignalHandlers();
}

Application::~Application() = default;

void Application::installSignalHandlers() {
    if (signalPipe[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char c;
        [[maybe_unused]] auto n = ::read(signalPipe[1], &c, 1);
        closeAllWindows();
        quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

std::unique_ptr<QMainWindow> buildMainWindow() {
    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle(QStringLiteral("Trevalune"));
    window->resize(1200, 760);
    return window;
}

void Application::start() {
    mainWindow_ = buildMainWindow();
    mainWindow_->show();
}
