#include "Fixtures.h"

#include "platform/media/Asset.h"
#include "platform/media/ImageGenerator.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
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
