#include "export/ExportRules.h"
#include "platform/media/FileTags.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

using namespace exportrules;

TEST(ExportRules, IndexesGiveRatesBitRatesAndFormatsWithTheirDefaults) {
    struct Case { int index; double rate; int bitRate; bool hasFormat; };
    const Case cases[] = {{-1, 44100, 192000, false}, {0, 44100, 128000, true}, {1, 48000, 160000, true},
                          {2, 96000, 192000, true},   {3, 44100, 320000, true}, {4, 44100, 192000, false}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.index);
        EXPECT_EQ(sampleRateForIndex(k.index), k.rate);
        EXPECT_EQ(bitRateForIndex(k.index), k.bitRate);
        EXPECT_EQ(formatForIndex(k.index).has_value(), k.hasFormat);
    }
    EXPECT_EQ(*formatForIndex(3), AudioFileWriter::Format::CAF);
}

TEST(ExportRules, TheChosenFormatComesFirstInTheAllowedTypes) {
    EXPECT_EQ(allowedTypesForFormat(0), (QStringList{"m4a", "aif", "wav", "caf"}));
    EXPECT_EQ(allowedTypesForFormat(1), (QStringList{"aif", "m4a", "wav", "caf"}));
    EXPECT_EQ(allowedTypesForFormat(2), (QStringList{"wav", "m4a", "aif", "caf"}));
    EXPECT_EQ(allowedTypesForFormat(3), (QStringList{"caf", "m4a", "aif", "wav"}));
    EXPECT_TRUE(allowedTypesForFormat(-1).isEmpty());
}

TEST(ExportRules, ProposedNames) {
    const QUrl demo = QUrl::fromLocalFile("/music/Demo.trvproj");
    EXPECT_EQ(proposedCompositionName("Night Drive", demo, 3), "Night Drive");
    EXPECT_EQ(proposedCompositionName("", demo, 3), "Demo - 3 Tracks");
    EXPECT_EQ(proposedCompositionName("", demo, 1), "Demo - 1 Track");
    EXPECT_EQ(proposedCompositionName("", QUrl(), 3), "");
    EXPECT_EQ(proposedTrackName(1), "Track 2");
}

TEST(ExportRules, MetadataTitleFollowsTitleThenArtwork) {
    QImage art(40, 20, QImage::Format_RGB32);
    art.fill(Qt::red);
    auto m = compositionMetadata("Title", "Artist", "Note", art, "/x/mix.m4a");
    EXPECT_EQ(m.title, "Title");
    EXPECT_EQ(m.artist, "Artist");
    EXPECT_EQ(m.comment, "Note");
    EXPECT_FALSE(m.artwork.isEmpty());
    EXPECT_EQ(compositionMetadata("", "", "", art, "/x/mix.m4a").title, "mix");
    m = compositionMetadata("", "A", "", QImage(), "/x/mix.m4a");
    EXPECT_TRUE(m.title.isEmpty());
    EXPECT_TRUE(m.artwork.isEmpty());
    // A track without a thumbnail gets neither title nor artwork.
    EXPECT_TRUE(trackMetadata(QImage(), "/x/t.m4a").isEmpty());
    EXPECT_EQ(trackMetadata(art, "/x/t.m4a").title, "t");
}

TEST(ExportRules, ArtworkIsFittedOnBlackInTheSquare) {
    QImage wide(3000, 1500, QImage::Format_RGB32);
    wide.fill(Qt::white);
    const QImage a = bitmapFromImage(wide);
    ASSERT_EQ(a.size(), QSize(1400, 1400));
    // 1400 by 700 in the middle, 350-pixel black bands above and below.
    for (int y : {0, 349, 1050, 1399}) EXPECT_EQ(a.pixelColor(700, y), QColor(Qt::black)) << y;
    for (int y : {351, 700, 1048}) EXPECT_EQ(a.pixelColor(700, y), QColor(Qt::white)) << y;
    QImage small(100, 100, QImage::Format_RGB32);
    small.fill(Qt::white);
    const QImage b = bitmapFromImage(small);
    EXPECT_EQ(b.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(b.pixelColor(1399, 1399), QColor(Qt::white));
    EXPECT_TRUE(bitmapFromImage(QImage()).isNull());
    // The JPEG decodes back to the square.
    QImage back;
    ASSERT_TRUE(back.loadFromData(jpegData(a), "JPEG"));
    EXPECT_EQ(back.size(), QSize(1400, 1400));
}

TEST(ExportRules, TemporaryNamesGrowFromTheOneBefore) {
    const QString dir = testsupport::tempDir();
    auto touch = [&](const QString& n) {
        QFile f(dir + "/" + n);
        f.open(QIODevice::WriteOnly);
    };
    EXPECT_EQ(temporaryAudioFilePath(dir, "/a/song.wav"), dir + "/song.m4a");
    touch("song.m4a");
    touch("song 2.m4a");
    EXPECT_EQ(temporaryAudioFilePath(dir, "/a/song.wav"), dir + "/song 2 3.m4a");
    QDir(dir).mkdir("sub");
    clearFolderFiles(dir);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files).size(), 0);
    EXPECT_TRUE(QDir(dir + "/sub").exists());
}

TEST(FileTags, TagsRoundTripThroughTheAttribute) {
    const QString path = testsupport::tempDir() + "/tagged.wav";
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.close();
    QString error;
    if (!filetags::setTagNames(path, {"Mix", "Demo"}, &error))
        GTEST_SKIP() << "no user attributes here: " << error.toStdString();
    EXPECT_EQ(filetags::tagNames(path), (QStringList{"Mix", "Demo"}));
}
