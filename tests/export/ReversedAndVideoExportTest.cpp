#include "ExportFixture.h"

#include "app/Alerts.h"
#include "export/ExportRules.h"

#include <QFileDialog>
#include <QProcess>

namespace {

// Runs an FFmpeg tool; its standard output, or empty on failure.
QByteArray runTool(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
    return p.readAllStandardOutput();
}

}  // namespace

class ReversedAndVideoExportTest : public ExportTest {
protected:
    // A stereo WAV of `seconds`: a 440 Hz tone at 0.1 on the left only, the
    // right silent, and a click (0.8, one sample) on both at `click`.
    static QString writeLeftTone(const QString& name, double seconds, double click) {
        const QString path = testsupport::tempDir() + QLatin1Char('/') + name;
        const int rate = 44100;
        const auto frames = size_t(std::lround(seconds * rate));
        std::vector<float> left(frames), right(frames, 0.0f);
        for (size_t i = 0; i < frames; ++i) left[i] = float(0.1 * std::sin(2 * M_PI * 440 * double(i) / rate));
        left[size_t(click * rate)] = right[size_t(click * rate)] = 0.8f;
        auto writer = AudioFileWriter::create(path, {AudioFileWriter::Format::WAV, double(rate), 2, 0});
        const float* ch[2] = {left.data(), right.data()};
        writer->append(ch, int64_t(frames));
        EXPECT_TRUE(writer->finish());
        return path;
    }

    // A movie whose picture shows its time as brightness (25 levels a
    // second, key frames every second) for `videoSeconds`, and whose sound
    // lasts `audioSeconds` with clicks at 6 s and 12 s.
    static QString writeTimedMovie(const QString& name, double videoSeconds, double audioSeconds) {
        const QString path = testsupport::tempDir() + QLatin1Char('/') + name;
        const QByteArray out = runTool(
            QStringLiteral("ffmpeg"),
            {"-y", "-v", "error", "-f", "lavfi", "-i",
             QStringLiteral("color=c=black:s=64x48:r=25:d=%1,format=yuv420p,geq=lum=T*25:cb=128:cr=128")
                 .arg(videoSeconds),
             "-f", "lavfi", "-i",
             QStringLiteral("aevalsrc=0.8*eq(n\\,264600)+0.8*eq(n\\,529200):s=44100:d=%1").arg(audioSeconds),
             "-c:v", "mpeg4", "-q:v", "2", "-g", "25", "-c:a", "pcm_s16le", "-ac", "2", path});
        return QFileInfo::exists(path) ? path : QString();
    }

    // The presentation times of a movie's pictures, in seconds. A picture
    // that starts late in the movie is found only by reading that far.
    static std::vector<double> pictureTimes(const QString& path) {
        const QByteArray out = runTool(QStringLiteral("ffprobe"),
                                       {"-v", "error", "-analyzeduration", "100M", "-probesize", "100M",
                                        "-select_streams", "v", "-show_entries", "frame=pts_time",
                                        "-of", "csv=p=0", path});
        std::vector<double> times;
        for (const QByteArray& line : out.split('\n'))
            if (!line.trimmed().isEmpty()) times.push_back(line.trimmed().toDouble());
        return times;
    }

    // The source time a movie's picture shows at `seconds` (its brightness).
    static double shownTime(const QString& path, double seconds) {
        const QByteArray gray = runTool(QStringLiteral("ffmpeg"),
                                        {"-v", "error", "-analyzeduration", "100M", "-probesize", "100M", "-ss",
                                         QString::number(seconds), "-i", path, "-frames:v", "1",
                                         "-f", "rawvideo", "-pix_fmt", "gray", "-"});
        if (gray.isEmpty()) return -1;
        double sum = 0;
        for (char b : gray) sum += double(uint8_t(b));
        // The gray picture is full range; the brightness was set in video range.
        return (sum / double(gray.size()) * 219.0 / 255.0 + 16.0) / 25.0;
    }

    MusicFilter* movieTrack(const QString& path, double usedFrom, double usedLength) {
        auto t = append(path);
        t->projectSampleRate = 44100;
        t->setCurrentTimeRange(MediaTimeRange(MediaTime::fromSeconds(usedFrom, 44100),
                                              MediaTime::fromSeconds(usedLength, 44100)));
        return t.get();
    }
};

TEST_F(ReversedAndVideoExportTest, TheReversedTrackIsTheForwardRenderBackwardsChannelByChannel) {
    auto t = append(writeLeftTone("impulse.wav", 10.0, 1.0));
    t->projectSampleRate = 44100;
    const QString forwardPath = testsupport::tempDir() + "/forward.m4a";
    ASSERT_TRUE(c->saveTrackToURL(t.get(), QUrl::fromLocalFile(forwardPath)));
    ASSERT_TRUE(waitForEnd());
    pressOk();
    waitForReadyItem();

    const QString path = testsupport::tempDir() + "/reversed.m4a";
    ASSERT_TRUE(c->saveReversedTrackToURL(t.get(), QUrl::fromLocalFile(path)));
    // The render waits in "TempFiles" while it is read.
    bool sawScratch = false;
    ASSERT_TRUE(testsupport::waitUntil([&] {
        sawScratch = sawScratch || !tempFiles().isEmpty();
        return !c->exporting.session;
    }, 60000));
    EXPECT_TRUE(sawScratch);
    EXPECT_EQ(sheetInfo(), "Percent Completed:");
    EXPECT_EQ(sheetPercent(), "100%");
    EXPECT_TRUE(tempFiles().isEmpty());
    pressOk();

    const DecodedFile forward = decode(forwardPath), d = decode(path);
    EXPECT_EQ(d.frames(), forward.frames());
    // The click at 1 s lands at 9 s, to within a few samples.
    EXPECT_NEAR(peakNear(d, 9.0, 0.1), 9.0 - 1.0 / 44100, 5.0 / 44100);
    EXPECT_LT(peakLevel(d, 0.5, 8.5), 0.2f);
    // The tone stays on the left; the right is silent but for the click.
    EXPECT_NEAR(toneAmplitude(d, 2, 8, 440), 0.1, 0.01);
    DecodedFile right = d;
    right.left = d.right;
    EXPECT_LT(toneAmplitude(right, 2, 8, 440), 0.002);
    waitForReadyItem();
}

TEST_F(ReversedAndVideoExportTest, AReversedTrackAtSpeedTwoIsReversedThenCopiedAtItsSpeed) {
    auto t = append(writeLeftTone("fast.wav", 10.0, 1.0));
    t->projectSampleRate = 44100;
    place(*t, 0.0, 2.0f);
    const QString path = testsupport::tempDir() + "/fast-reversed.m4a";
    ASSERT_TRUE(c->saveReversedTrackToURL(t.get(), QUrl::fromLocalFile(path)));
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->exporting.session; }, 60000));
    EXPECT_EQ(sheetInfo(), "Completed");
    EXPECT_TRUE(tempFiles().isEmpty());
    pressOk();
    const DecodedFile d = decode(path);
    EXPECT_NEAR(double(d.frames()), 5 * 44100, 4096);
    EXPECT_NEAR(peakNear(d, 4.5, 0.1), 4.5, 0.01);
    waitForReadyItem();
}

TEST_F(ReversedAndVideoExportTest, TheTrackMovieHasThePictureAndSoundOfTheUsedPartWithinTheVideo) {
    const QString source = writeTimedMovie("timed.mov", 10.0, 20.0);
    ASSERT_FALSE(source.isEmpty());
    struct Case {
        const char* name;
        float speed;
        double length;          // of the movie
        double clickAt;         // the source's click at 6 s
        double pictureAt, shows;
    };
    const Case cases[] = {
        {"normal", 1.0f, 5.0, 1.0, 2.0, 7.0},
        {"speed 2", 2.0f, 2.5, 0.5, 1.0, 7.0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        MusicFilter* t = movieTrack(source, 5.0, 10.0);
        if (k.speed != 1.0f) place(*t, 0.0, k.speed);
        const QString path = testsupport::tempDir() + QStringLiteral("/track-%1.mov").arg(k.name);
        ASSERT_TRUE(c->saveAudioAndVideoTrackToURL(t, QUrl::fromLocalFile(path)));
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(sheetInfo(), "Percent Completed:");
        EXPECT_EQ(sheetPercent(), "100%");
        pressOk();
        const std::vector<double> pictures = pictureTimes(path);
        ASSERT_FALSE(pictures.empty());
        EXPECT_NEAR(pictures.front(), 0.0, 0.05);
        EXPECT_NEAR(pictures.back(), k.length, 0.1);
        EXPECT_NEAR(shownTime(path, k.pictureAt), k.shows, 0.2);
        const DecodedFile d = decode(path);
        EXPECT_NEAR(double(d.frames()) / d.rate, k.length, 0.05);
        EXPECT_NEAR(peakNear(d, k.clickAt, 0.1), k.clickAt, 0.01);
        EXPECT_TRUE(tempFiles().isEmpty());
        waitForReadyItem();
    }
}

TEST_F(ReversedAndVideoExportTest, TheMixMovieHasThePictureWhereTheTrackPlaysAndNoneAfter) {
    const QString source = writeTimedMovie("placed.mov", 10.0, 20.0);
    ASSERT_FALSE(source.isEmpty());
    MusicFilter* t = movieTrack(source, 5.0, 10.0);
    place(*t, 30.0);
    // A second track makes the composition end at 45 s.
    auto other = append(writeClicks("tail.wav", 5.0, {4.0}));
    place(*other, 40.0);
    const QString path = testsupport::tempDir() + "/mix.mov";
    ASSERT_TRUE(c->mixAudioTracksAndVideoTrackToURL(t, QUrl::fromLocalFile(path)));
    ASSERT_TRUE(waitForEnd(120000));
    EXPECT_EQ(sheetPercent(), "100%");
    pressOk();
    const std::vector<double> pictures = pictureTimes(path);
    ASSERT_FALSE(pictures.empty());
    EXPECT_NEAR(pictures.front(), 30.0, 0.05);
    EXPECT_NEAR(pictures.back(), 35.0, 0.1);
    EXPECT_NEAR(shownTime(path, 32.0), 7.0, 0.2);
    const DecodedFile d = decode(path);
    EXPECT_NEAR(double(d.frames()) / d.rate, 45.0, 0.1);
    EXPECT_NEAR(peakNear(d, 31.0, 0.1), 31.0, 0.01);  // the source's 6 s
    EXPECT_NEAR(peakNear(d, 44.0, 0.1), 44.0, 0.01);  // the other track's click
    waitForReadyItem();
}

TEST_F(ReversedAndVideoExportTest, VideoExportsEndsAndRefusals) {
    const QString source = writeTimedMovie("ends.mov", 10.0, 20.0);
    ASSERT_FALSE(source.isEmpty());
    MusicFilter* t = movieTrack(source, 0.0, 20.0);
    place(*t, 0.0);

    // A stop leaves nothing and ends like a normal end.
    const QString stopped = testsupport::tempDir() + "/stopped.mov";
    ASSERT_TRUE(c->saveAudioAndVideoTrackToURL(t, QUrl::fromLocalFile(stopped)));
    c->stopAudioVideoProcessing();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(sheetInfo(), "Percent Completed:");
    EXPECT_FALSE(QFileInfo::exists(stopped));
    EXPECT_TRUE(QDir(testsupport::tempDir()).entryList({"*stopped*"}).isEmpty());
    pressOk();
    waitForReadyItem();

    // A failure says so.
    const QString nowhere = testsupport::tempDir() + "/no such folder/failed.mov";
    ASSERT_TRUE(c->saveAudioAndVideoTrackToURL(t, QUrl::fromLocalFile(nowhere)));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(sheetInfo(), "An error occurred.\nThe folder “" + QFileInfo(nowhere).absolutePath() + "” does not exist.");
    EXPECT_EQ(sheetPercent(), "100%");
    pressOk();
    waitForReadyItem();

    // A used part that begins after the video's end is refused with a reason.
    std::vector<AlertRequest> alerts;
    setAlertRunner([&](QWidget*, const AlertRequest& r) {
        alerts.push_back(r);
        return 0;
    });
    t->setCurrentTimeRange(MediaTimeRange(MediaTime::fromSeconds(12, 44100), MediaTime::fromSeconds(5, 44100)));
    EXPECT_FALSE(c->saveAudioAndVideoTrackToURL(t, QUrl::fromLocalFile(testsupport::tempDir() + "/late.mov")));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, "The track cannot be exported with its video.");
    EXPECT_FALSE(c->progressSheet()->isVisible());
    setAlertRunner({});

    // A source without video gives the track's m4a export.
    auto audioOnly = append(writeClicks("plain.wav", 1.0, {0.3}));
    audioOnly->projectSampleRate = 44100;
    const QString m4a = testsupport::tempDir() + "/plain-video.mov";
    ASSERT_TRUE(c->saveAudioAndVideoTrackToURL(audioOnly.get(), QUrl::fromLocalFile(m4a)));
    ASSERT_TRUE(waitForEnd());
    pressOk();
    auto asset = Asset::load(m4a);
    ASSERT_TRUE(asset);
    EXPECT_TRUE(asset->tracksWithMediaType(MediaType::Video).empty());
    EXPECT_NEAR(peakNear(decode(m4a), 0.3), 0.3, 0.003);
    waitForReadyItem();
}

TEST_F(ReversedAndVideoExportTest, TheTrackCommandsProposeTheSelectedTracksNames) {
    append(writeClicks("first.wav", 0.5, {}));
    append(writeClicks("second.wav", 0.5, {}));
    c->currentSelectedAudio = 1;
    using Command = void (*)(AudioController*);
    const std::pair<Command, const char*> commands[] = {
        {[](AudioController* x) { x->saveReversedAudioTrackFrom(); }, "Reversed track 1"},
        {[](AudioController* x) { x->saveAudioAndVideoTrackFrom(); }, "Track 2 - Video"},
        {[](AudioController* x) { x->saveMixAudioAndVideoTrackFrom(); }, "Track 2 - Video"},
    };
    for (const auto& [command, name] : commands) {
        SCOPED_TRACE(name);
        command(c);
        QFileDialog* panel = nullptr;
        ASSERT_TRUE(testsupport::waitUntil([&] {
            for (auto* d : c->ui.window->findChildren<QFileDialog*>())
                if (d->isVisible()) panel = d;
            return panel != nullptr;
        }));
        EXPECT_EQ(QFileInfo(panel->selectedFiles().value(0)).completeBaseName(), name);
        panel->reject();
        endEvent();
        EXPECT_FALSE(c->exporting.exportIsRunning);
    }
    // The File menu reaches them.
    for (const char* action : {"exportReversedTrackAction", "exportTrackWithVideoAction",
                               "exportCompositionWithVideoAction"})
        EXPECT_TRUE(c->ui.window->findChild<QAction*>(action)) << action;
}
