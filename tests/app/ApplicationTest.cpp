#include "app/Application.h"
#include "app/MainWindowBuilder.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QMainWindow>
#include <QProcess>
#include <QProcessEnvironment>

#include <csignal>

namespace {

// The real program, started on the offscreen platform: it shows its window
// and leaves with status 0 when asked to quit.
TEST(Application, StartsOffscreenAndQuitsCleanly) {
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(TREVALUNE_BINARY, {});
    ASSERT_TRUE(p.waitForStarted(10000));
    // Still running after start-up: it did not crash or exit on its own.
    EXPECT_FALSE(p.waitForFinished(1500)) << p.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

TEST(Application, MainWindowIsTitled) {
    auto ui = buildMainWindow();
    std::unique_ptr<QMainWindow> window(ui.window);
    window->show();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Trevalune[*]"));
    EXPECT_TRUE(window->isVisible());
}

}  // namespace
