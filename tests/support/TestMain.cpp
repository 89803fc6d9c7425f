#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>

#include <cstdlib>

// Every test program runs inside a QApplication on the offscreen platform, so
// main-thread services (timers, queued calls, widgets) work as in the
// application.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Trevalune");
    QCoreApplication::setApplicationName("Trevalune");
    return RUN_ALL_TESTS();
}
