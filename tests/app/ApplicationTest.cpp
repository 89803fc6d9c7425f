#include "app/Application.h"
#include "app/MainWindowBuilder.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
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

// The icon the windows show, at the sizes the desktop's theme gets.
TEST(Application, IconAtEverySize) {
    const QIcon icon = applicationIcon();
    for (int size : {16, 32, 48, 256}) {
        const QImage image = icon.pixmap(size, size).toImage();
        ASSERT_EQ(image.size(), QSize(size, size)) << size;
        // The dark ground in the middle of the left edge, amber in a lane.
        const QColor ground = image.pixelColor(size * 3 / 32, size / 2);
        EXPECT_LT(ground.lightness(), 80) << size;
        EXPECT_EQ(ground.alpha(), 255) << size;
    }
    const QImage large = icon.pixmap(256, 256).toImage();
    const QColor amber = large.pixelColor(48, 70);
    EXPECT_GT(amber.red(), 200);
    EXPECT_GT(amber.green(), 150);
    EXPECT_LT(amber.blue(), 90);
}

}  // namespace
