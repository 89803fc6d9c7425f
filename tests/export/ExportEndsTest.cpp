#include "ExportFixture.h"

#include "platform/core/PartialFiles.h"
#include "platform/media/FileTags.h"

#include <optional>

class ExportEndsTest : public ExportTest {};

TEST_F(ExportEndsTest, StopHalfwayKeepsTheFirstPartAndRunsTheLastSteps) {
    auto t = append(writeClicks("long.wav", 60.0, {}, 44100, 440));
    auto* accessory = c->saveAccessoryView();
    choose(2, 0);
    accessory->saveAddToITunesLibraryCheck->setChecked(true);
    accessory->saveAddToTrevaluneLibraryCheck->setChecked(true);
    c->library.mediaLibraryPath = testsupport::tempDir();
    const TrackTapContext* k = t->getProcessorContext();
    ASSERT_TRUE(k);
    const double start = k->contextTrackStartTime.load(), end = k->contextTrackEndTime.load();
    const QString path = testsupport::tempDir() + "/stopped.wav";
    c->saveAudioToURL(QUrl::fromLocalFile(path), {"Demo"});
    EXPECT_EQ(sheetInfo(), "Percent Completed:");
    EXPECT_FALSE(c->notifyAudioMetering.load() && c->exporting.session && c->exporting.session->writer);
    ASSERT_TRUE(testsupport::waitUntil([&] { return c->exporting.processingPercentCompleted >= 0.3; }, 60000));
    c->progressSheet()->sheetButton->click();  // "Stop Processing"
    ASSERT_TRUE(waitForEnd());
    const DecodedFile d = decode(path);
    EXPECT_GT(d.frames(), size_t(0.3 * 60 * 44100));
    EXPECT_LT(d.frames(), size_t(0.95 * 60 * 44100));
    EXPECT_NEAR(toneAmplitude(d, 1.0, 2.0, 440), 0.1, 0.01);
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl::fromLocalFile(path)});
    // The library copies the file and makes its picture off the main thread.
    EXPECT_TRUE(testsupport::waitUntil([&] { return QFileInfo::exists(c->library.mediaLibraryPath + "/stopped.wav"); }));
    EXPECT_TRUE(testsupport::waitUntil([&] { return c->library.libraryCopiesRunning == 0 && c->library.pendingLibraryPictures.isEmpty(); }, 20000));
    // (Where the file system keeps user attributes.)
    const QString probe = testsupport::tempDir() + "/probe";
    QFile(probe).open(QIODevice::WriteOnly);
    if (filetags::setTagNames(probe, {"x"})) {
        EXPECT_EQ(filetags::tagNames(path), QStringList{"Demo"});
    }
    // After the end: nothing left in "TempFiles", meters on, the tap as before.
    EXPECT_TRUE(tempFiles().isEmpty());
    EXPECT_TRUE(c->notifyAudioMetering.load());
    EXPECT_EQ(t->getProcessorContext()->contextTrackStartTime.load(), start);
    EXPECT_EQ(t->getProcessorContext()->contextTrackEndTime.load(), end);
    EXPECT_TRUE(c->exporting.exportIsRunning);  // until the sheet closes
    pressOk();
    EXPECT_FALSE(c->exporting.exportIsRunning);
    EXPECT_EQ(sheetPercent(), "0%");
    waitForReadyItem();
}

TEST_F(ExportEndsTest, FailuresSaySoAndLeaveTheOldFile) {
    auto t = append(writeClicks("one.wav", 1.0, {0.5}));
    auto rendered = append(writeClicks("two.wav", 1.0, {}, 48000));
    const QString old = testsupport::tempDir() + "/old.wav";
    {
        QFile f(old);
        f.open(QIODevice::WriteOnly);
        f.write("the old file");
    }
    // The sheet says why after its own text, in the writer's words.
    struct Case { const char* name; QString path; int format; QString says; };
    const Case cases[] = {
        {"a folder that is not there", "/proc/no/such/folder/mix.wav", 2,
         "An error occurred.\nThe folder “/proc/no/such/folder” does not exist."},
        {"bad format index", old, 7, "An error occurred."},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        choose(k.format, 0);
        c->saveAudioToURL(QUrl::fromLocalFile(k.path));
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(sheetInfo(), k.says);
        EXPECT_EQ(sheetPercent(), "100%");
        EXPECT_TRUE(tempFiles().isEmpty());
        EXPECT_TRUE(c->notifyAudioMetering.load());
        EXPECT_FALSE(rendered->filterParameters);
        pressOk();
        EXPECT_FALSE(c->exporting.exportIsRunning);
    }
    QFile f(old);
    f.open(QIODevice::ReadOnly);
    EXPECT_EQ(f.readAll(), "the old file");

    // A track's own source is refused, with the reason.
    alerts.clear();
    c->saveAudioToURL(tracks()[0].audioURL);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, "The file cannot be replaced.");
    EXPECT_FALSE(c->exporting.exportIsRunning);
    EXPECT_FALSE(c->progressSheet()->isVisible());
    waitForReadyItem();
}

// A disk that fills while the mix or a track is written: the sheet says so,
// and nothing is left in the folder.
TEST_F(ExportEndsTest, AFullDiskIsGivenAsTheReason) {
    auto t = append(writeClicks("one.wav", 2.0, {0.5}, 44100, 440));
    waitForReadyItem();
    const struct {
        const char* name;
        int format;  // -1: the track's own export (m4a)
        const char* file;
        long long limit;
    } cases[] = {{"the mix as WAV", 2, "full.wav", 100000},
                 {"the mix as m4a", 0, "full.m4a", 8000},
                 {"the track", -1, "track.m4a", 8000}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const QString folder = testsupport::tempDir();
        const QString path = folder + "/" + k.file;
        {
            testsupport::FileSizeLimit limit(k.limit);
            if (k.format >= 0) {
                choose(k.format, 0);
                c->saveAudioToURL(QUrl::fromLocalFile(path));
            } else {
                ASSERT_TRUE(c->saveTrackToURL(t.get(), QUrl::fromLocalFile(path)));
            }
            ASSERT_TRUE(waitForEnd());
        }
        EXPECT_EQ(sheetInfo(), "An error occurred.\nThe disk is full.");
        EXPECT_EQ(sheetPercent(), "100%");
        EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty())
            << QDir(folder).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();
        pressOk();
        EXPECT_EQ(sheetInfo(), "Percent Completed:");
        waitForReadyItem();
    }
}

// Writers killed at moments spread over an export leave partial files beside
// the destination; the next export there removes them.
TEST_F(ExportEndsTest, WhatAKilledExportLeftGoesWithTheNextExport) {
    append(writeClicks("one.wav", 1.0, {0.5}, 44100, 440));
    const QString folder = testsupport::tempDir();
    const QString destination = folder + "/mix.m4a";
    for (int delayUs : {0, 2000, 10000, 40000}) {
        for (auto format : {AudioFileWriter::Format::M4A, AudioFileWriter::Format::WAV}) {
            // The child writes on until it is killed; the delay counts
            // from its first write.
            ASSERT_TRUE(testsupport::killedMidway(delayUs, [&](const std::function<void()>& started) {
                auto w = AudioFileWriter::create(destination, {format, 44100, 2, 192000});
                started();
                std::vector<float> tone(4096);
                for (size_t i = 0; i < tone.size(); ++i) tone[i] = float(0.1 * std::sin(0.06 * double(i)));
                const float* ch[2] = {tone.data(), tone.data()};
                while (w && w->append(ch, int64_t(tone.size()))) {}
            }));
        }
    }
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    EXPECT_FALSE(left.isEmpty()) << "the kills left partial files";
    for (const QString& name : left) EXPECT_TRUE(partialfiles::isTemporaryName(name)) << name.toStdString();

    choose(0, 0);
    c->saveAudioToURL(QUrl::fromLocalFile(destination));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(sheetInfo(), "Percent Completed:");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"mix.m4a"});
    EXPECT_NEAR(double(decode(destination).frames()), 44100.0, 2048);
    pressOk();
    waitForReadyItem();
}
