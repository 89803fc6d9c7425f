// The waveform picture, the lane's region and drawing, and the thumbnail.
#include "engine/AudioControllerServices.h"
#include "engine/MusicFilter.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/MusicView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QDropEvent>
#include <QDragEnterEvent>
#include <QPainter>

namespace {

int alphaAt(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)); }

// The largest alpha of a pixel column over the rows [y0, y1).
int columnAlpha(const QImage& image, int x, int y0, int y1) {
    int a = 0;
    for (int y = y0; y < y1; ++y) a = std::max(a, alphaAt(image, x, y));
    return a;
}

TEST(WaveformPicture, IsTwoThousandByFourHundredAndItsColumnsFollowTheValues) {
    QImage blank = AudioView::createNewBmpImageRep(2000, 400, 1.0, true);
    EXPECT_EQ(blank.size(), QSize(2000, 400));
    EXPECT_EQ(alphaAt(blank, 1000, 200), 0);  // starts transparent
    QImage large = AudioView::createNewBmpImageRep(2000, 400, 2.0, true);
    EXPECT_EQ(large.size(), QSize(2000, 400));
    EXPECT_EQ(large.deviceIndependentSize(), QSizeF(4000, 800));

    // 4000 values: the first half full scale (1.5 is clamped to 1), then a
    // quarter at 0.5, then silence.
    QVector<float> values(4000, 0.0f);
    for (int k = 0; k < 2000; ++k) values[k] = k % 2 ? 1.0f : 1.5f;
    for (int k = 2000; k < 3000; ++k) values[k] = 0.5f;
    QImage picture = AudioView::createNewBmpImageRep(2000, 400, 1.0, true);
    AudioView::paintWaveform(picture, values);
    // Full scale: the whole height, top and bottom.
    EXPECT_GT(columnAlpha(picture, 500, 0, 20), 100);
    EXPECT_GT(columnAlpha(picture, 500, 380, 400), 100);
    // Half scale: from 100 to 300, nothing near the edges.
    EXPECT_GT(columnAlpha(picture, 1250, 110, 290), 100);
    EXPECT_EQ(columnAlpha(picture, 1250, 0, 80), 0);
    // Silence: only the midline and its glow.
    EXPECT_GT(alphaAt(picture, 1750, 200), 50);
    EXPECT_EQ(columnAlpha(picture, 1750, 0, 180), 0);
    // Only the coverage is kept: the lane gives it the track's colour.
    EXPECT_EQ(picture.format(), QImage::Format_Alpha8);
    EXPECT_EQ(picture.size(), QSize(2000, 400));

    // No values: the midline alone.
    QImage empty = AudioView::createNewBmpImageRep(2000, 400, 1.0, true);
    AudioView::paintWaveform(empty, {});
    EXPECT_GT(alphaAt(empty, 10, 200), 0);
    EXPECT_EQ(columnAlpha(empty, 10, 0, 180), 0);
}

TEST(Lane, NoteNames) {
    const struct {
        quint64 note;
        const char* name;
    } cases[] = {{20, ""}, {21, "A"}, {32, "G#/Ab"}, {60, "C"}, {69, "A"}, {127, "G"}, {200, "G#/Ab"}};
    for (const auto& c : cases) EXPECT_EQ(AudioDrawingView::nameForNote(c.note), c.name) << c.note;
}

// A lane in a track area 1000 wide, with its track.
class LaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        area.resize(1000, 200);
        track = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
        track->setDefaults();
        area.audioTracks.push_back(TrackRecord{QUrl(), track, {}});
        lane = new AudioDrawingView(&area);
        lane->audioView = &area;
        track->audioDrawingView = lane;
        lane->setGeometry(0, 0, 800, 200);
        lane->setFrame(0, 800);
        lane->oldBounds = lane->rect();
    }
    AudioView area;
    std::shared_ptr<MusicFilter> track;
    AudioDrawingView* lane = nullptr;
};

TEST_F(LaneTest, RegionFollowsTheLanesWidthAndStaysInside) {
    // Without a region nothing changes, not even the old bounds.
    lane->setFrame(0, 1600);
    lane->updateDrawingPath();
    EXPECT_TRUE(lane->drawingBezierPath.isEmpty());
    EXPECT_EQ(lane->oldBounds.width(), 800);
    lane->setFrame(0, 800);

    lane->drawingBezierPath = AudioDrawingView::regionPath({100, 10, 300, 180});
    lane->setFrame(0, 1600);
    lane->updateDrawingPath();
    // Doubled, then cut at the track area's right edge.
    EXPECT_EQ(lane->drawingBezierPath.boundingRect(), QRectF(200, 10, 600, 180));
    lane->setFrame(0, 800);
    lane->updateDrawingPath();
    EXPECT_EQ(lane->drawingBezierPath.boundingRect(), QRectF(100, 10, 300, 180));

    // A lane moved left of the area: the region starts at the area's edge.
    lane->setFrameX(-150);
    lane->verifyDrawingBezierPath();
    EXPECT_EQ(lane->drawingBezierPath.boundingRect(), QRectF(150, 10, 300, 180));
    // Inside already: unchanged.
    const QPainterPath before = lane->drawingBezierPath;
    lane->verifyDrawingBezierPath();
    EXPECT_EQ(lane->drawingBezierPath, before);
}

// The picture is drawn in the track's colour; a trimmed part is faint;
// while the waveform is read the progress shows instead.
TEST_F(LaneTest, DrawsTheWaveformInTheTracksColour) {
    track->setTrackColor(QColor(255, 0, 0));
    QImage picture = AudioView::createNewBmpImageRep(2000, 400, 1.0, true);
    AudioView::paintWaveform(picture, QVector<float>(2000, 1.0f));
    track->filterBitmaps = {picture};
    track->indexOfUpdatedBitmap = 0;
    track->audioOriginInPercent = 0.5;
    track->audioDurationInPercent = 0.5;
    lane->drawingBezierPath = AudioDrawingView::regionPath({400, 10, 400, 180});
    QImage shot(lane->size(), QImage::Format_ARGB32);
    shot.fill(Qt::transparent);
    lane->render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
    // Away from the region's outline: red only, the trimmed part fainter.
    const QRgb used = shot.pixel(600, 100), faint = shot.pixel(200, 100);
    EXPECT_GT(qAlpha(used), 40);
    EXPECT_EQ(qGreen(used), 0);
    EXPECT_EQ(qBlue(used), 0);
    EXPECT_GT(qAlpha(faint), 0);
    EXPECT_LT(qAlpha(faint), qAlpha(used) / 2);
    // Outside the picture's band the lane stays transparent.
    EXPECT_EQ(qAlpha(shot.pixel(200, 3)), 0);
}

TEST(Thumbnail, FileTypePicturesAndSelection) {
    for (const char* name : {"a.wav", "b.WAVE", "c.mp3", "d.flac"})
        EXPECT_FALSE(MusicView::iconForFile(QString::fromLatin1(name)).isNull()) << name;
    AudioControllerServices services;
    services.currentSelectedAudio = 0;
    MusicView thumbnail;
    thumbnail.resize(160, 120);
    thumbnail.audioController = &services;
    thumbnail.viewIndex = 3;
    int selected = 0;
    thumbnail.didSelectTrack = [&](quint64 index) {
        EXPECT_EQ(index, 3u);
        ++selected;
    };
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&thumbnail, &press);
    EXPECT_EQ(services.currentSelectedAudio.load(), 3u);
    QCoreApplication::sendEvent(&thumbnail, &press);  // already selected: nothing
    EXPECT_EQ(selected, 1);
}

// Drops: file URLs only, the first replaces the selected track's file after
// the drop has ended; a thumbnail that takes no media refuses the drag.
TEST(Thumbnail, DroppedFilesAskForTheReplacement) {
    MusicView thumbnail;
    thumbnail.resize(160, 120);
    // A press an earlier test sent without its release holds the main
    // queue's deferred calls; the pointer moving with no button held ends
    // that, as it does in the application.
    QMouseEvent move(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&thumbnail, &move);
    QList<QUrl> asked;
    QObject::connect(&thumbnail, &MusicView::replaceAudioRequested,
                     [&](const QUrl& url) { asked.append(url); });
    QMimeData files;
    files.setUrls({QUrl(QStringLiteral("https://example.org/a.mp3")),
                   QUrl::fromLocalFile(QStringLiteral("/tmp/one.wav")),
                   QUrl::fromLocalFile(QStringLiteral("/tmp/two.wav"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&thumbnail, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&thumbnail, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_TRUE(asked.isEmpty());  // not from inside the drop
    QCoreApplication::processEvents();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked.front(), QUrl::fromLocalFile(QStringLiteral("/tmp/one.wav")));

    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.org/a.mp3"))});
    QDropEvent webDrop(QPointF(5, 5), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&thumbnail, &webDrop);
    EXPECT_FALSE(webDrop.isAccepted());

    thumbnail.acceptsDraggedMedia = false;
    QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&thumbnail, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

}  // namespace
