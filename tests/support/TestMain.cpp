#include "platform/media/MediaWorkers.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>

#include <cstdlib>
#include <new>
#include <string>
#include <unistd.h>

namespace {
// ctest runs the tests of one program as parallel processes that share the
// program's home folder. Each process gets a home of its own below it, so
// settings, the media library and caches written by one test never reach
// another that runs at the same time.
QString usePrivateHome() {
    const char* base = std::getenv("HOME");
    if (!base || !*base) return {};
    const std::string home = std::string(base) + "/proc-" + std::to_string(::getpid());
    QDir().mkpath(QString::fromStdString(home));
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
    return QString::fromStdString(home);
}
}  // namespace

// Every test program runs inside a QApplication on the offscreen platform, so
// main-thread services (timers, queued calls, widgets) work as in the
// application.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const QString home = usePrivateHome();
    int result = 0;
    {
        QApplication app(argc, argv);
        QCoreApplication::setOrganizationName("Trevalune");
        QCoreApplication::setApplicationName("Trevalune");
        result = RUN_ALL_TESTS();
        // Work still on the media workers ends before the application object
        // goes, as in the application.
        mediaworkers::finishWork();
        // What the last test left queued for the main thread (units and
        // listeners are freed there) runs before the application goes.
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    if (!home.isEmpty()) QDir(home).removeRecursively();
    return result;
}

// Every allocation made inside a realtime::Scope is a fault: count it, so a
// test can check that a render path stays allocation-free after start-up.
#include "platform/core/Realtime.h"

#include <new>

void* operator new(std::size_t size) {
    if (realtime::inRealtimeScope()) realtime::reportViolation();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
// The nothrow forms too, so that every allocation is counted and each pair of
// new and delete meets the same allocator.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (realtime::inRealtimeScope()) realtime::reportViolation();
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return ::operator new(size, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
