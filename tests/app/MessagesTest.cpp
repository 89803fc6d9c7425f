#include "ControllerFixture.h"

#include "app/CommandLine.h"
#include "platform/core/MessageLog.h"
#include "platform/media/FFmpeg.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>

namespace {

TEST(CommandLineTest, WordsAreOptionsOrFiles) {
    struct Case {
        const char* name;
        QStringList words;
        QStringList files;
        bool help;
        bool verbose;
        const char* error;  // empty: accepted
    };
    const Case cases[] = {
        {"files only", {"a.wav", "b.mp3"}, {"a.wav", "b.mp3"}, false, false, ""},
        {"help", {"--help"}, {}, true, false, ""},
        {"short help among files", {"a.wav", "-h"}, {"a.wav"}, true, false, ""},
        {"verbose", {"-v", "a.wav"}, {"a.wav"}, false, true, ""},
        {"unknown long option", {"a.wav", "--frobnicate"}, {}, false, false, "unknown option '--frobnicate'"},
        {"unknown short option", {"-x"}, {}, false, false, "unknown option '-x'"},
        {"after -- every word is a file", {"--", "--help", "-x"}, {"--help", "-x"}, false, false, ""},
        {"a lone dash is a file", {"-"}, {"-"}, false, false, ""},
        {"Qt's options pass with their values", {"-platform", "offscreen", "--style", "Fusion", "-reverse", "a.wav"},
         {"a.wav"}, false, false, ""},
        {"Qt's option without its value", {"-platform"}, {}, false, false, "option '-platform' needs a value"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const CommandLine line = CommandLine::parse(k.words);
        EXPECT_EQ(line.error, QString::fromLatin1(k.error));
        if (!line.error.isEmpty()) continue;
        EXPECT_EQ(line.files, k.files);
        EXPECT_EQ(line.help, k.help);
        EXPECT_EQ(line.verbose, k.verbose);
    }
    EXPECT_TRUE(CommandLine::usage().startsWith("Usage: trevalune"));
}

// One quotation style in every alert, whichever part of it a text came from.
TEST(AlertTextTest, StraightQuotesBecomeCurly) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"The file \"a.wav\" does not exist.", "The file \u201ca.wav\u201d does not exist."},
        {"\"a.wav\" has no audio.", "\u201ca.wav\u201d has no audio."},
        {"(\"x\") and \u201cy\u201d", "(\u201cx\u201d) and \u201cy\u201d"},
        {"Don't Save", "Don't Save"},
    };
    for (const auto& k : cases) EXPECT_EQ(typographicQuotes(QString::fromUtf8(k.in)), QString::fromUtf8(k.out));
}

using AddFolderTest = ControllerTest;

// A folder given where a file is expected is called a folder.
TEST_F(AddFolderTest, AFolderIsReportedAsAFolder) {
    const QString folder = testsupport::tempDir();
    c->addAudioFileToComposition(QUrl::fromLocalFile(folder));
    ASSERT_TRUE(testsupport::waitUntil([&] { return !alerts.empty(); }, 10000));
    EXPECT_TRUE(alerts.front().informativeText.contains("folder")) << alerts.front().informativeText.toStdString();
    EXPECT_FALSE(alerts.front().messageText.contains('"'));
    EXPECT_EQ(c->trackCount(), 0);

    alerts.clear();
    c->addAudioFileToComposition(QUrl::fromLocalFile(folder + "/missing.wav"));
    ASSERT_TRUE(testsupport::waitUntil([&] { return !alerts.empty(); }, 10000));
    EXPECT_FALSE(alerts.front().informativeText.contains("folder"));
}

// Library messages and ours land in the application's log at their level;
// only what a user must know reaches the terminal.
TEST(MessageLogTest, MessagesGoToTheLogAtTheirLevel) {
    const QString path = testsupport::tempDir() + "/trevalune.log";
    messagelog::install(path);
    ffmpeg::routeMessagesToLog();
    av_log(nullptr, AV_LOG_WARNING, "Estimating duration from bitrate, ");
    av_log(nullptr, AV_LOG_WARNING, "this may be inaccurate\n");
    av_log(nullptr, AV_LOG_ERROR, "moov atom not found\n");
    av_log(nullptr, AV_LOG_DEBUG, "too fine to keep\n");  // below FFmpeg's own level
    qInfo("Added \"a.wav\" as a track.");
    messagelog::uninstall();
    av_log_set_callback(av_log_default_callback);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(log.contains("warning trevalune.ffmpeg: Estimating duration from bitrate, this may be inaccurate"))
        << log.toStdString();
    EXPECT_TRUE(log.contains("warning trevalune.ffmpeg: moov atom not found")) << log.toStdString();
    EXPECT_FALSE(log.contains("too fine"));
    EXPECT_TRUE(log.contains("info default: Added \"a.wav\" as a track."));

    const struct {
        QtMsgType type;
        bool terminal;
    } levels[] = {{QtDebugMsg, false}, {QtInfoMsg, false}, {QtWarningMsg, false},
                  {QtCriticalMsg, true}, {QtFatalMsg, true}};
    for (const auto& k : levels) {
        EXPECT_EQ(messagelog::reachesTerminal(k.type, false), k.terminal) << k.type;
        EXPECT_TRUE(messagelog::reachesTerminal(k.type, true)) << k.type;
    }
}

}  // namespace
