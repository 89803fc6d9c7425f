#include "ExportFixture.h"

#include "platform/media/FileTags.h"

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
    struct Case { const char* name; QString path; int format; };
    const Case cases[] = {{"unwritable folder", "/proc/no/such/folder/mix.wav", 2},
                          {"bad format index", old, 7}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        choose(k.format, 0);
        c->saveAudioToURL(QUrl::fromLocalFile(k.path));
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(sheetInfo(), "An error occurred.");
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
