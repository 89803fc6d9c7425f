#include "platform/media/Asset.h"
#include "platform/media/MediaResources.h"

#include <gtest/gtest.h>

#include <QFileInfo>

namespace {

TEST(MediaResources, TheSilentTracksAreThereAndSilent) {
    for (double rate : {44100.0, 48000.0}) {
        const QString path = mediaresources::emptyTrackPath(rate);
        ASSERT_FALSE(path.isEmpty()) << rate;
        EXPECT_EQ(QFileInfo(path).fileName(), mediaresources::emptyTrackFileName(rate));
        QString error;
        auto asset = Asset::load(path, &error);
        ASSERT_TRUE(asset) << error.toStdString();
        auto track = asset->tracksWithMediaType(MediaType::Audio).at(0);
        EXPECT_EQ(track->info().codecName, QStringLiteral("aac"));
        EXPECT_EQ(track->sampleRate(), rate);
        EXPECT_EQ(track->channelCount(), 2);
        EXPECT_EQ(track->info().frameCount, int64_t(60 * rate));
        auto decoded = track->loadDecodedSource({}, &error);
        ASSERT_TRUE(decoded) << error.toStdString();
        auto peaks = decoded->peaks();
        for (int c = 0; c < 2; ++c) {
            auto r = peaks->range(c, 0, decoded->frameCount());
            EXPECT_EQ(r.min, 0.0f);
            EXPECT_EQ(r.max, 0.0f);
        }
    }
    EXPECT_EQ(mediaresources::emptyTrackFileName(44100), QStringLiteral("EmptyTrack44,1kHz.m4a"));
    EXPECT_EQ(mediaresources::emptyTrackFileName(48000), QStringLiteral("EmptyTrack48kHz.m4a"));
}

}  // namespace
