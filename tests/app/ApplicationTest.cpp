#include "app/Application.h"
#include "app/MainWindowBuilder.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QMainWindow>
#include <QProcess>
#include <QProcessEnvironment>

#include <sndfile.h>

#include <cmath>
#include <csignal>
#include <vector>

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
    // A loaded machine can take seconds to bring it as far as its signal
    // handling; a signal before that would end it by default.
    auto catchesTerm = [&] {
        QFile status(QStringLiteral("/proc/%1/status").arg(p.processId()));
        if (!status.open(QIODevice::ReadOnly)) return false;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("SigCgt:")) return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1) != 0;
        return false;
    };
    ASSERT_TRUE(testsupport::waitUntil(catchesTerm, 30000)) << p.readAllStandardError().toStdString();
    // Still running after start-up: it did not crash or exit on its own.
    EXPECT_FALSE(p.waitForFinished(1500)) << p.readAllStandardError().toStdString();
    // A program that has ended has no id: kill(0) would end the whole suite.
    ASSERT_GT(p.processId(), 0) << p.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    // Bounded generously: the sanitizer build's leak check at exit is slow.
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

// The program's environment with a home of its own in `home`.
QProcessEnvironment environmentWithHome(const QString& home) {
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_CACHE_HOME", home + "/.cache");
    return env;
}

QString writeTone(const QString& path, double seconds) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr);
    std::vector<float> samples(size_t(seconds * info.samplerate));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.3f * float(std::sin(2 * M_PI * 440 * double(i) / 44100));
    sf_writef_float(f, samples.data(), sf_count_t(samples.size()));
    sf_close(f);
    return path;
}

// A signal ends the program with a track loaded and the composition edited:
// nobody can answer a question then, so none is asked; the preferences are
// written. The wait is only bounded, so that a hang fails instead of
// blocking the suite.
TEST(Application, SignalsEndItWithoutAQuestion) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
        const QString home = testsupport::tempDir();
        const QString track = writeTone(home + "/tone.wav", 2);
        QProcess p;
        p.setProcessEnvironment(environmentWithHome(home));
        p.start(TREVALUNE_BINARY, {track});
        ASSERT_TRUE(p.waitForStarted(10000));
        const QString log = home + "/.local/share/Trevalune/trevalune.log";
        const bool added = testsupport::waitUntil([&] {
            QFile f(log);
            return f.open(QIODevice::ReadOnly) && f.readAll().contains("as a track.");
        }, 30000);
        ASSERT_TRUE(added) << p.readAllStandardError().toStdString();
        testsupport::spin(200);  // the import's edit is marked
        ASSERT_GT(p.processId(), 0) << "ended before the signal: " << p.readAllStandardError().toStdString();
        ::kill(static_cast<pid_t>(p.processId()), signal);
        // Bounded generously: the sanitizer build's leak check at exit is slow.
        const bool ended = p.waitForFinished(30000);
        if (!ended) p.kill();
        ASSERT_TRUE(ended) << "still running thirty seconds after the signal";
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
        EXPECT_TRUE(QFileInfo::exists(home + "/.config/Trevalune/Trevalune.conf"));
        // Nothing but what a user must know on the terminal.
        EXPECT_EQ(p.readAllStandardError(), QByteArray());
    }
}

// Options are read before any window opens: --help prints the usage, an
// unknown option is refused on the terminal; neither needs a display.
TEST(Application, OptionsOnTheCommandLine) {
    const QString home = testsupport::tempDir();
    auto env = environmentWithHome(home);
    env.remove("QT_QPA_PLATFORM");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(TREVALUNE_BINARY, {"--help"});
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 0);
        EXPECT_TRUE(p.readAllStandardOutput().startsWith("Usage: trevalune"));
    }
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(TREVALUNE_BINARY, {"--frobnicate"});
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 2);
        EXPECT_TRUE(p.readAllStandardError().contains("unknown option '--frobnicate'"));
    }
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
