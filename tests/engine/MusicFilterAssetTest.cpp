// Taking up a track's media asset, and trimming the track's time range.
#include "EngineTestSupport.h"

#include "engine/MediaAssetHolder.h"
#include "engine/MusicFilter.h"
#include "platform/core/NotificationCenter.h"
#include "platform/media/Asset.h"
#include "support/Signals.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QDir>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// Counts the track's two player notifications.
struct Posts {
    explicit Posts(MusicFilter* f) : filter(f) {
        auto& center = NotificationCenter::defaultCenter();
        center.addObserver(this, QStringLiteral("updatePlayerWithComposition"), f,
                           [this](const Notification&) { ++withComposition; });
        center.addObserver(this, QStringLiteral("updatePlayerWithoutUpdate"), f,
                           [this](const Notification&) { ++withoutUpdate; });
    }
    ~Posts() { NotificationCenter::defaultCenter().removeObserver(this); }
    MusicFilter* filter;
    int withComposition = 0, withoutUpdate = 0;
};

class Thumbnail : public QWidget, public MediaAssetHolder {
public:
    std::shared_ptr<Asset> asset;
    std::shared_ptr<Asset> heldMediaAsset() const override { return asset; }
};

QVariantList trim(quint64 edge, double seconds) {
    return {QVariant::fromValue(edge), QVariant::fromValue(MediaTime::fromSeconds(seconds, 44100))};
}

TEST(MusicFilterAsset, TakingUpAnAssetSetsTheTrackAndAsksForTheComposition) {
    auto asset = enginetest::loadAsset(testsupport::writeTone(QStringLiteral("asset.wav"), 10, 440));
    ASSERT_TRUE(asset);
    auto f = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
    Posts posts(f.get());
    f->trackID = 7;
    // A creator's own range is kept while updateCurrentTimeRange is off.
    f->updateCurrentTimeRange = false;
    f->setCurrentTimeRange({MediaTime(2, 1), MediaTime(3, 1)});
    ASSERT_TRUE(f->setupPlayerAssetWithAsset(asset));
    EXPECT_EQ(f->playerAsset, asset);
    EXPECT_EQ(f->audioTrack, asset->tracksWithMediaType(MediaType::Audio).front());
    EXPECT_EQ(f->trackID, -1);
    EXPECT_DOUBLE_EQ(f->audioTrackSampleRate, 44100.0);
    EXPECT_EQ(f->timeScale, f->audioTrack->naturalTimeScale());
    EXPECT_EQ(f->currentTimeRange(), MediaTimeRange(MediaTime(2, 1), MediaTime(3, 1)));
    EXPECT_TRUE(f->updateCurrentTimeRange);
    EXPECT_EQ(posts.withComposition, 1);
    // A second set-up resets the range to the whole source.
    ASSERT_TRUE(f->setupPlayerAssetWithAsset(asset));
    EXPECT_DOUBLE_EQ(f->currentTimeRange().duration.seconds(), 10.0);
    EXPECT_EQ(posts.withComposition, 2);
}

// An asset without audio leaves the track as it was, through the thumbnail too.
TEST(MusicFilterAsset, AnAssetWithoutAudioChangesNothing) {
    const QString video = QDir(testsupport::tempDir()).filePath(QStringLiteral("silent.mp4"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-f", "lavfi", "-i",
                                            "testsrc=size=64x48:rate=5:duration=1", "-an",
                                            "-pix_fmt", "yuv420p", video});
    ASSERT_TRUE(ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0);
    auto asset = enginetest::loadAsset(video);
    ASSERT_TRUE(asset);
    auto f = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
    Posts posts(f.get());
    f->trackID = 3;
    EXPECT_FALSE(f->setupPlayerAssetWithAsset(asset));
    Thumbnail thumbnail;
    thumbnail.asset = asset;
    f->imageView = &thumbnail;
    f->setupObserver();
    NotificationCenter::defaultCenter().post(QStringLiteral("setupNewPlayerAsset"), &thumbnail);
    EXPECT_EQ(f->playerAsset, nullptr);
    EXPECT_EQ(f->trackID, 3);
    EXPECT_EQ(posts.withComposition, 0);
}

// Trims of a 10 s source whose range is 2 s to 8 s.
TEST(MusicFilterAsset, TrimsMoveOneEdgeWithinTheSource) {
    auto asset = enginetest::loadAsset(testsupport::writeTone(QStringLiteral("trim.wav"), 10, 440));
    ASSERT_TRUE(asset);
    const struct {
        const char* what;
        QVariantList request;
        double start, duration;  // the range after it; unchanged = 2, 6
        int posts;
    } cases[] = {
        {"end earlier", trim(1, 5), 2, 3, 1},
        {"end at the source's end", trim(1, 10), 2, 8, 1},
        {"end beyond the source", trim(1, 10.5), 2, 6, 0},
        {"end onto the start", trim(1, 2), 2, 6, 0},
        {"less than a second left", trim(1, 2.5), 2, 6, 0},
        {"start later", trim(0, 4), 4, 4, 1},
        {"start at zero", trim(0, 0), 0, 8, 1},
        {"start negative", trim(0, -1), 2, 6, 0},
        {"start onto the end", trim(0, 8), 2, 6, 0},
        {"the same range", trim(0, 2), 2, 6, 0},
        {"another edge", trim(2, 4), 2, 6, 0},
        {"one element", QVariantList{QVariant(1)}, 2, 6, 0},
        {"three elements", trim(1, 5) << QVariant(1), 2, 6, 0},
        {"no time", QVariantList{QVariant(1), QVariant()}, 2, 6, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
        f->updateCurrentTimeRange = false;
        f->setCurrentTimeRange({MediaTime(2, 1), MediaTime(6, 1)});
        ASSERT_TRUE(f->setupPlayerAssetWithAsset(asset));
        Posts posts(f.get());
        f->updatePlayerAssetTimeRange(c.request);
        EXPECT_DOUBLE_EQ(f->currentTimeRange().start.seconds(), c.start);
        EXPECT_DOUBLE_EQ(f->currentTimeRange().duration.seconds(), c.duration);
        EXPECT_EQ(posts.withoutUpdate, c.posts);
    }
}

}  // namespace
