#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <memory>
#include <vector>

#include <csignal>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

QString tempDir() {
    static std::vector<std::unique_ptr<QTemporaryDir>> dirs;
    dirs.push_back(std::make_unique<QTemporaryDir>());
    return dirs.back()->path();
}

bool killedMidway(int delayUs, const std::function<void(const std::function<void()>& started)>& work) {
    // A child forked from this many-threaded process can find a lock (the
    // allocator's, a library's) held by a thread it did not inherit, and then
    // never starts: after ten seconds it is killed, and another is forked.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int started[2];
        if (::pipe(started) != 0) return false;
        const pid_t child = ::fork();
        if (child < 0) return false;
        if (child == 0) {
            work([&] { (void)!::write(started[1], "s", 1); });
            ::pause();
            ::_exit(0);
        }
        ::close(started[1]);
        pollfd ready{started[0], POLLIN, 0};
        char byte = 0;
        const bool began = ::poll(&ready, 1, 10000) == 1 && ::read(started[0], &byte, 1) == 1;
        ::close(started[0]);
        if (began) ::usleep(useconds_t(delayUs));
        ::kill(child, SIGKILL);
        int status = 0;
        if (::waitpid(child, &status, 0) != child) return false;
        if (began) return true;
    }
    return false;
}

FileSizeLimit::FileSizeLimit(long long bytes) {
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    previous_ = limit.rlim_cur;
    limit.rlim_cur = rlim_t(bytes);
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(previous_);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previousHandler_);
}

}  // namespace testsupport
