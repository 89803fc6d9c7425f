#include "Fixtures.h"

#include "platform/media/Asset.h"
#include "platform/media/ImageGenerator.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSet>
#include <QThread>

using testsupport::tempDir;
using testsupport::waitUntil;

namespace {

QString dir() {
    static const QString d = tempDir();
    return d;
}

int distinctColours(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4) colours.insert(image.pixel(x, y));
    return colours.size();
}

TEST(ImageGenerator, GivesTheFrameAtATimeAtItsSize) {
    const QString movie = fixtures::movie(dir(), QStringLiteral("pictures.mp4"), 3.0);
    ASSERT_FALSE(movie.isEmpty());
    auto asset = Asset::load(movie);
    ASSERT_TRUE(asset);
    ImageGenerator generator(*asset);
    QString error;
    MediaTime actual;
    const QImage image = generator.imageAt(MediaTime(1, 1), &actual, &error);
    ASSERT_FALSE(image.isNull()) << error.toStdString();
    EXPECT_EQ(image.size(), QSize(320, 240));
    EXPECT_GT(distinctColours(image), 8);  // the test pattern, not a blank
    EXPECT_EQ(actual, MediaTime(1, 1));

    // Different times give different pictures (the pattern's counter moves).
    const QImage later = generator.imageAt(MediaTime(2, 1));
    EXPECT_NE(later, image);

    generator.setMaximumSize(QSize(100, 100));
    const QImage small = generator.imageAt(MediaTime(1, 2));
    EXPECT_EQ(small.size(), QSize(100, 75));

    // Past the end: the last frame.
    const QImage last = generator.imageAt(MediaTime(10, 1), &actual);
    EXPECT_FALSE(last.isNull());
    EXPECT_LT(actual.seconds(), 3.0);
    EXPECT_GT(actual.seconds(), 2.8);
}

// Six seconds at 25 fps in H.264 with B-frames and a key frame every 3 s:
// walking through it meets reordered frames, distances past 2 s within one
// key-frame interval, and distances that need a seek.
QString walkMovie() {
    static const QString path = [] {
        const QString p = dir() + QStringLiteral("/walk.mp4");
        return fixtures::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=6", "-c:v", "libx264",
                                 "-g", "75", "-keyint_min", "75", "-sc_threshold", "0", "-pix_fmt", "yuv420p", p})
                   ? p
                   : QString();
    }();
    return path;
}

TEST(ImageGenerator, FramesInOrderAndAfterJumpsAreTheOnesAtTheirTimes) {
    const QString movie = walkMovie();
    ASSERT_FALSE(movie.isEmpty());
    struct Case {
        double at;
        int frame;  // the index of the frame on screen then
        const char* what;
    };
    const Case cases[] = {
        {0.00, 0, "the first frame"},
        {0.04, 1, "the next frame"},
        {0.05, 1, "again within that frame"},
        {0.50, 12, "a few frames on"},
        {2.90, 72, "more than 2 s on, within the key-frame interval"},
        {3.00, 75, "the next key frame"},
        {1.00, 25, "back"},
        {1.02, 25, "within that frame"},
        {4.50, 112, "far ahead, past a key frame"},
        {10.0, 149, "past the end: the last frame"},
        {0.20, 5, "back from the end"},
    };
    ImageGenerator generator(movie);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MediaTime actual;
        QString error;
        const QImage image = generator.imageAt(MediaTime::fromSeconds(c.at, 600), &actual, &error);
        ASSERT_FALSE(image.isNull()) << error.toStdString();
        EXPECT_EQ(actual, MediaTime(c.frame, 25)) << actual.seconds();
        // The picture is the one a generator that seeks for it makes.
        ImageGenerator fresh(movie);
        EXPECT_EQ(image, fresh.imageAt(MediaTime::fromSeconds(c.at, 600)));
    }
}

TEST(ImageGenerator, PlayingThroughDecodesEachFrameOnce) {
    const QString movie = walkMovie();
    ASSERT_FALSE(movie.isEmpty());
    ImageGenerator generator(movie);
    QSet<qint64> pictures;
    for (int k = 0; k < 150; ++k) {
        // Two calls a frame, as a screen refreshing faster than the movie makes.
        MediaTime first, second;
        const QImage a = generator.imageAt(MediaTime(2 * k, 50), &first);
        const QImage b = generator.imageAt(MediaTime(4 * k + 1, 100), &second);
        ASSERT_EQ(first, MediaTime(k, 25));
        ASSERT_EQ(second, first);
        EXPECT_EQ(a.cacheKey(), b.cacheKey()) << "frame " << k << " converted twice";
        pictures.insert(a.cacheKey());
    }
    EXPECT_EQ(pictures.size(), 150);
    EXPECT_EQ(generator.decodedFrames(), 150u);
}

TEST(ImageGenerator, TurnsPicturesAsTheTrackAsks) {
    const QString movie = fixtures::movie(dir(), QStringLiteral("upright.mp4"), 1.0);
    const QString turned = dir() + QStringLiteral("/turned.mp4");
    ASSERT_TRUE(fixtures::ffmpeg({"-i", movie, "-c", "copy", "-metadata:s:v:0", "rotate=90", turned}));
    auto asset = Asset::load(turned);
    ASSERT_TRUE(asset);
    // A quarter turn (FFmpeg reads this tag's direction as a counterclockwise turn).
    const int rotation = asset->tracksWithMediaType(MediaType::Video).at(0)->info().rotation;
    EXPECT_TRUE(rotation == 90 || rotation == 270) << rotation;
    ImageGenerator generator(*asset);
    EXPECT_EQ(generator.imageAt(MediaTime::zero()).size(), QSize(240, 320));
    generator.setAppliesPreferredTrackTransform(false);
    EXPECT_EQ(generator.imageAt(MediaTime::zero()).size(), QSize(320, 240));
}

TEST(ImageGenerator, AudioOnlyFilesGiveNoPicture) {
    ImageGenerator generator(fixtures::sourceWav(dir()));
    QString error;
    EXPECT_TRUE(generator.imageAt(MediaTime::zero(), nullptr, &error).isNull());
    EXPECT_FALSE(error.isEmpty());
}

TEST(ImageGenerator, GeneratesOnAWorkerAndCompletesOnTheMainThread) {
    const QString movie = fixtures::movie(dir(), QStringLiteral("async.mp4"), 1.0);
    bool done = false, onMain = false;
    QImage got;
    {
        ImageGenerator generator(movie);
        generator.generateAsync(MediaTime(1, 2), [&](const QImage& image, const MediaTime&, const QString&) {
            onMain = QThread::currentThread() == QCoreApplication::instance()->thread();
            got = image;
            done = true;
        });
    }  // the generator may go before the picture is made
    ASSERT_TRUE(waitUntil([&] { return done; }, 20000));
    EXPECT_TRUE(onMain);
    EXPECT_EQ(got.size(), QSize(320, 240));
}

}  // namespace
