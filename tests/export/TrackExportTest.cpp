#include "ExportFixture.h"

#include "platform/media/MediaMetadata.h"
#include "views/MusicView.h"

class TrackExportTest : public ExportTest {
protected:
    MediaMetadata tagsOf(const QString& path) { return mediatags::read(path, QStringLiteral("mov,mp4,m4a,3gp,3g2,mj2")); }
};

TEST_F(TrackExportTest, AtSpeedOneTheTrackGoesStraightToTheFile) {
    auto t = append(writeClicks("one.wav", 1.0, {0.4}, 44100, 440, 0.5));
    t->projectSampleRate = 44100;
    auto* thumbnail = qobject_cast<MusicView*>(t->imageView.data());
    ASSERT_TRUE(thumbnail);
    thumbnail->image = QImage();
    const QString path = testsupport::tempDir() + "/plain.m4a";
    ASSERT_TRUE(c->saveTrackToURL(t.get(), QUrl::fromLocalFile(path)));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(sheetInfo(), "Percent Completed:");
    EXPECT_EQ(sheetPercent(), "100%");
    const DecodedFile d = decode(path);
    EXPECT_NEAR(double(d.frames()), 44100, 2048);
    EXPECT_NEAR(peakNear(d, 0.4), 0.4, 0.003);
    EXPECT_NEAR(toneAmplitude(d, 0.6, 0.9, 440), 0.1, 0.01);
    // No thumbnail picture: neither title nor artwork.
    const MediaMetadata m = tagsOf(path);
    EXPECT_TRUE(m.title.isEmpty());
    EXPECT_TRUE(m.artwork.isEmpty());
    pressOk();
    waitForReadyItem();

    // With a picture: the file's name as title and the picture as artwork.
    QImage picture(64, 32, QImage::Format_RGB32);
    picture.fill(Qt::green);
    thumbnail->image = picture;
    const QString named = testsupport::tempDir() + "/Named.m4a";
    ASSERT_TRUE(c->saveTrackToURL(t.get(), QUrl::fromLocalFile(named)));
    ASSERT_TRUE(waitForEnd());
    pressOk();
    const MediaMetadata n = tagsOf(named);
    EXPECT_EQ(n.title, "Named");
    QImage art;
    ASSERT_TRUE(art.loadFromData(n.artwork));
    EXPECT_EQ(art.size(), QSize(1400, 1400));
    // Never over its own source.
    EXPECT_FALSE(c->saveTrackToURL(t.get(), tracks()[0].audioURL));
    EXPECT_FALSE(c->progressSheet()->isVisible());
    waitForReadyItem();
}

TEST_F(TrackExportTest, AtHalfSpeedTheFileIsTwiceAsLongWithThePitchKept) {
    auto t = append(writeClicks("slow.wav", 1.0, {}, 44100, 440));
    t->projectSampleRate = 44100;
    place(*t, 0.0, 0.5f);
    const QString path = testsupport::tempDir() + "/slow.m4a";
    ASSERT_TRUE(c->saveTrackToURL(t.get(), QUrl::fromLocalFile(path)));
    bool sawChangingSpeed = false;
    ASSERT_TRUE(testsupport::waitUntil([&] {
        sawChangingSpeed = sawChangingSpeed || sheetInfo() == "Changing speed...";
        return !c->exporting.session;
    }, 60000));
    EXPECT_TRUE(sawChangingSpeed);
    EXPECT_EQ(sheetInfo(), "Completed");
    const DecodedFile d = decode(path);
    EXPECT_NEAR(double(d.frames()), 2 * 44100, 4096);
    EXPECT_GT(toneAmplitude(d, 0.5, 1.5, 440), 0.05);
    EXPECT_LT(toneAmplitude(d, 0.5, 1.5, 220), 0.01);
    EXPECT_TRUE(tempFiles().isEmpty());
    pressOk();
    waitForReadyItem();
}

TEST_F(TrackExportTest, StoppedAtFortyPercentKeepsTheFirstPart) {
    auto t = append(writeClicks("long.wav", 60.0, {}, 44100, 440));
    t->projectSampleRate = 44100;
    const QString path = testsupport::tempDir() + "/part.m4a";
    ASSERT_TRUE(c->saveTrackToURL(t.get(), QUrl::fromLocalFile(path)));
    ASSERT_TRUE(testsupport::waitUntil([&] { return c->exporting.processingPercentCompleted >= 40; }, 60000));
    c->stopAudioProcessing();
    ASSERT_TRUE(waitForEnd());
    const DecodedFile d = decode(path);
    EXPECT_GT(d.frames(), size_t(0.39 * 60 * 44100));  // 40 % is shown from 39.5 % on
    EXPECT_LT(d.frames(), size_t(0.95 * 60 * 44100));
    EXPECT_NEAR(toneAmplitude(d, 10, 11, 440), 0.1, 0.01);
    pressOk();
    waitForReadyItem();
}

TEST_F(TrackExportTest, KeyPointsMoveToTheRenderAndComeBackExactly) {
    // A track placed at 0.3 s whose level steps from 1 down to 0.25 at 1.3 s
    // of the timeline: the render runs from the track's own zero, so the
    // step lies at 1.0 s of the file.
    auto t = append(writeClicks("steps.wav", 2.0, {}, 44100, 440));
    t->projectSampleRate = 44100;
    place(*t, 0.3);
    t->typeOfRecordedCurve = 0;  // steps
    const TrackCurves curves{{QStringLiteral("inputAudioMix"),
                              {{0.3, 1, KeyPoint::kRecordingBoundary}, {0.7, 1, std::nullopt},
                               {1.3, 0.25, std::nullopt}, {2.3, 0.25, KeyPoint::kRecordingBoundary}}},
                             {QStringLiteral("inputChannelMix"), {{1.1, 0, std::nullopt}}}};
    c->automation.recordedParameters[t->identifierOfFilter] = curves;
    c->publishRecordedParametersForFilter(t.get());

    const QString path = testsupport::tempDir() + "/steps.m4a";
    ASSERT_TRUE(c->saveTrackToURL(t.get(), QUrl::fromLocalFile(path)));
    ASSERT_TRUE(waitForEnd());
    EXPECT_TRUE(c->exporting.lastExportSucceeded);
    pressOk();
    EXPECT_EQ(c->automation.recordedParameters[t->identifierOfFilter], curves);
    const DecodedFile d = decode(path);
    EXPECT_NEAR(toneAmplitude(d, 0.3, 0.8, 440), 0.1, 0.01);
    EXPECT_NEAR(toneAmplitude(d, 1.2, 1.8, 440), 0.025, 0.005);
    waitForReadyItem();
}

// A single-track export renders its track as it sounds alone: another
// track's solo does not silence it, and holds again once the export ends;
// the mix export keeps the solo.
TEST_F(TrackExportTest, AnotherTracksSoloLeavesTheTrackExportAlone) {
    auto t = append(writeClicks("alone.wav", 1.0, {}, 44100, 440));
    append(writeClicks("soloed.wav", 1.0, {}, 44100, 660));
    t->projectSampleRate = 44100;
    waitForReadyItem();
    c->soloTrackFrom(1);
    ASSERT_TRUE(AudioController::trackIsSoloSilenced(*t));

    struct Case {
        const char* name;
        bool reversed;
    } cases[] = {{"forward", false}, {"reversed", true}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const QString path = testsupport::tempDir() + QStringLiteral("/alone-%1.m4a").arg(k.name);
        ASSERT_TRUE(k.reversed ? c->saveReversedTrackToURL(t.get(), QUrl::fromLocalFile(path))
                               : c->saveTrackToURL(t.get(), QUrl::fromLocalFile(path)));
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(sheetInfo(), "Percent Completed:");
        pressOk();
        const DecodedFile d = decode(path);
        EXPECT_NEAR(toneAmplitude(d, 0.2, 0.8, 440), 0.1, 0.01);
        EXPECT_LT(toneAmplitude(d, 0.2, 0.8, 660), 0.005);
        EXPECT_TRUE(AudioController::trackIsSoloSilenced(*t));
        waitForReadyItem();
    }

    choose(2, 0);
    const QString mix = testsupport::tempDir() + "/solo-mix.wav";
    c->saveAudioToURL(QUrl::fromLocalFile(mix));
    ASSERT_TRUE(waitForEnd());
    pressOk();
    const DecodedFile d = decode(mix);
    EXPECT_NEAR(toneAmplitude(d, 0.2, 0.8, 660), 0.1, 0.01);
    EXPECT_LT(toneAmplitude(d, 0.2, 0.8, 440), 0.005);
    waitForReadyItem();
}
