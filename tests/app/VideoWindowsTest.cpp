// The library and equaliser toggles on the window's frames and pictures, the
// windows' title, the player item holding a track's picture, and the
// composition window showing the frame of the track's video for the time.
#include "TrackListFixture.h"

#include "app/MiniPlayerBuilder.h"
#include "platform/media/Composition.h"
#include "platform/media/ImageGenerator.h"
#include "platform/media/VideoFrames.h"
#include "views/StyledControls.h"
#include "views/EQSubview.h"
#include "views/ExportViews.h"
#include "views/SmallViews.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

// A test-pattern movie (160 x 120, 25 fps) with a tone.
QString writeMovie(const QString& name, double seconds) {
    const QString path = testsupport::tempDir() + QLatin1Char('/') + name;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-y"), QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-f"),
                  QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("testsrc=size=160x120:rate=25:duration=%1").arg(seconds), QStringLiteral("-f"),
                  QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("sine=frequency=440:sample_rate=44100:duration=%1").arg(seconds),
                  QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-c:a"), QStringLiteral("aac"),
                  QStringLiteral("-shortest"), path});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) return {};
    return path;
}

// The mean difference of two pictures of one size, per channel (0 to 255).
double meanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 255;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

// A frame in the window's own coordinates with y from the bottom of `outer`.
QRect flipped(const QWidget* w, const QWidget* outer) {
    const QRect r(w->mapTo(outer, QPoint(0, 0)), w->size());
    return QRect(r.x(), outer->height() - r.bottom() - 1, r.width(), r.height());
}

class VideoWindowsTest : public ShownTrackListTest {
protected:
    void settle() {
        endEvent();
        QTest::qWait(20);
        endEvent();
    }
};

TEST_F(VideoWindowsTest, TheLibraryAndEqualiserTogglesMoveTheirNeighbours) {
    QWidget* P = c->ui.parametersBackgroundView;
    QWidget* L = c->ui.libraryBackgroundView;
    QWidget* T = c->ui.libraryTitleView;
    QWidget* column = P->parentWidget();
    if (!L->isHidden()) c->animateLibraryViewFrom(c->ui.animateLibraryButton);
    settle();
    const QRect hidden = flipped(P, column);
    const QImage before = c->ui.window->grab().toImage();
    EXPECT_EQ(hidden.y(), T->height());
    EXPECT_EQ(flipped(T, column).y(), 0);

    c->animateLibraryViewFrom(c->ui.animateLibraryButton);
    settle();
    EXPECT_FALSE(L->isHidden());
    EXPECT_EQ(c->ui.animateLibraryButton->buttonState(), 1u);
    EXPECT_EQ(flipped(P, column), QRect(hidden.x(), L->height() + T->height(), hidden.width(), hidden.height() - L->height()));
    EXPECT_EQ(flipped(T, column).y(), L->height());
    EXPECT_EQ(flipped(L, column).y(), 0);
    EXPECT_NE(c->ui.window->grab().toImage(), before);

    c->animateLibraryViewFrom(c->ui.animateLibraryButton);
    settle();
    EXPECT_TRUE(L->isHidden());
    EXPECT_EQ(c->ui.animateLibraryButton->buttonState(), 0u);
    EXPECT_EQ(flipped(P, column), hidden);
    EXPECT_EQ(c->ui.window->grab().toImage(), before);

    // The equaliser strip: the track area, the left column and the control
    // bar give up its height and take it back.
    QWidget* root = c->ui.eqView->parentWidget();
    const bool shown = !c->ui.eqView->isHidden();
    const QRect S = flipped(c->ui.audioScrollView, root), B = flipped(c->ui.leftBackgroundView, root);
    const QImage withStrip = c->ui.window->grab().toImage();
    c->animateEQViewFrom(nullptr);
    settle();
    const int E = c->ui.eqView->height();
    const int sign = shown ? 1 : -1;  // hiding gives the height back
    EXPECT_EQ(flipped(c->ui.audioScrollView, root).height(), S.height() + sign * E);
    EXPECT_EQ(flipped(c->ui.leftBackgroundView, root).height(), B.height() + sign * E);
    EXPECT_EQ(flipped(c->ui.controlsView, root).y(), shown ? 0 : E);
    c->animateEQViewFrom(nullptr);
    settle();
    EXPECT_EQ(flipped(c->ui.audioScrollView, root), S);
    EXPECT_EQ(c->ui.window->grab().toImage(), withStrip);
}

TEST_F(VideoWindowsTest, TheWindowsTitleNamesTheCompositionAndItsLength) {
    c->shell.compositionDuration = MediaTime::fromSeconds(600, 44100);
    c->showPlayerWindow();
    EXPECT_EQ(c->miniPlayer.playerTextField->text(), QStringLiteral("Untitled Composition - 00:10:00"));
    EXPECT_EQ(c->miniPlayer.playerWindow->windowTitle(), QStringLiteral("Untitled Composition - 00:10:00"));
    c->library.projectURL = QUrl::fromLocalFile(QStringLiteral("/tmp/Song One.trvproj"));
    c->shell.compositionDuration = MediaTime::fromSeconds(3725.5, 44100);
    EXPECT_EQ(c->compositionWindowTitle(), QStringLiteral("Song One - 01:02:05"));
    c->metadataPopover()->metadataTitleTextField->setText(QStringLiteral("Evening"));
    EXPECT_EQ(c->compositionWindowTitle(), QStringLiteral("Evening - 01:02:05"));
}

// The mini-player's editor button brings the main window back once it is
// gone, and does nothing while it is there.
TEST_F(VideoWindowsTest, TheMiniPlayerBringsTheEditorBack) {
    c->showPlayerWindow();
    ASSERT_TRUE(c->miniPlayer.editorButton);
    c->miniPlayer.editorButton->click();
    EXPECT_TRUE(c->ui.window->isVisible());
    c->ui.window->hide();
    settle();
    c->miniPlayer.editorButton->click();
    settle();
    EXPECT_TRUE(c->ui.window->isVisible());
    c->miniPlayer.playerWindow->hide();
}

// A track at speed 2 playing 0 to 30 s of a 20 s video from 10 s: 10 s of
// picture, then 5 s without; a range past the video's end has none.
TEST_F(VideoWindowsTest, TheItemHoldsTheTracksPictureAtItsPlaceAndSpeed) {
    const QString movie = writeMovie(QStringLiteral("twenty.mp4"), 20);
    ASSERT_FALSE(movie.isEmpty());
    auto t = append(movie);
    waitForReadyItem();
    auto videoTrackOfItem = [&]() -> const CompositionTrack* {
        const auto tracks = player->currentItem()->asset()->tracksWithMediaType(MediaType::Video);
        return tracks.empty() ? nullptr : tracks.front();
    };
    struct Case {
        double rangeStart, rangeLength, at, speed;
        double pictureFrom, pictureTo, emptyTo;
    };
    const Case cases[] = {
        {0, 30, 10, 2, 10, 20, 25},  // past the picture's end
        {2, 8, 1, 1, 1, 9, 9},       // inside it
        {25, 5, 3, 1, -1, -1, 8},    // after it: empty from 0
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.rangeStart);
        t->setCurrentTimeRange({MediaTime::fromSeconds(k.rangeStart, 600), MediaTime::fromSeconds(k.rangeLength, 600)});
        t->setAnimationStart(MediaTime::fromSeconds(k.at, 600));
        t->setValue(EffectInput::Speed, float(k.speed));
        c->updatePlayerWithVideoTrack(0);
        const CompositionTrack* v = videoTrackOfItem();
        ASSERT_NE(v, nullptr);
        EXPECT_NEAR(v->duration().seconds(), k.emptyTo, 0.05);
        double pictureFrom = -1, pictureTo = -1;
        for (const CompositionSegment& s : v->segments())
            if (!s.isEmpty()) {
                if (pictureFrom < 0) pictureFrom = s.targetRange.start.seconds();
                pictureTo = (s.targetRange.start + s.targetRange.duration).seconds();
            }
        EXPECT_NEAR(pictureFrom, k.pictureFrom, 0.05);
        EXPECT_NEAR(pictureTo, k.pictureTo, 0.05);
        waitForReadyItem();
    }
    // An index outside the list changes nothing.
    auto* item = player->currentItem();
    c->showCompositionWindow(7);
    EXPECT_EQ(player->currentItem(), item);
    EXPECT_FALSE(c->trackList.compositionWindow && c->trackList.compositionWindow->isVisible());
}

// The composition window shows, for the player's time, the frame the image
// generator gives for the same time of the file, fitted into the view; the
// lane's menu offers it only for a track with a picture.
TEST_F(VideoWindowsTest, TheCompositionWindowShowsTheFrameForTheTime) {
    const QString movie = writeMovie(QStringLiteral("four.mp4"), 4);
    ASSERT_FALSE(movie.isEmpty());
    auto t = append(movie);
    append(writeTone(QStringLiteral("tone.wav"), 2, 440));
    waitForReadyItem();

    // The lane's menu, opened by the test and read before it closes.
    QStringList offered;
    auto menuItems = [&](quint64 index) {
        offered.clear();
        QTimer::singleShot(100, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* a : menu->actions()) offered << a->text();
                menu->close();
            }
        });
        AudioDrawingView* l = lane(index);
        emit l->customContextMenuRequested(QPoint(5, 5));
        endEvent();
        return offered;
    };
    EXPECT_EQ(menuItems(0).value(0), QStringLiteral("Show video track"));
    const QStringList tone = menuItems(1);
    EXPECT_FALSE(tone.isEmpty());
    EXPECT_FALSE(tone.contains(QStringLiteral("Show video track")));

    c->showCompositionWindow(0);
    waitForReadyItem();
    QWidget* window = c->trackList.compositionWindow;
    ASSERT_TRUE(window && window->isVisible());
    PlayerView* view = c->videoWindows.playerView;
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->layerInstalled());
    c->updateCurrentTime(1.5);
    ImageGenerator generator(movie);
    generator.setMaximumSize(view->size() * view->devicePixelRatioF());
    const QImage expected = generator.imageAt(MediaTime::fromSeconds(1.5, 600));
    ASSERT_FALSE(expected.isNull());
    ASSERT_TRUE(testsupport::waitUntil([&] { return view->frame() == expected; }));
    const QImage shown = view->grab().toImage();
    const QRect r = view->frameRect();
    EXPECT_EQ(r.size(), expected.size().scaled(view->size(), Qt::KeepAspectRatio));
    // On screen: the frame fitted into the view (scaled back, so edges blur a little).
    EXPECT_LT(meanDifference(shown.copy(r).scaled(expected.size()), expected), 12.0);

    // A window made smaller than the movie gets pictures made at its size,
    // for the same time too.
    window->resize(100, 80);
    const QSize fitted = QSize(160, 120).scaled(view->size() * view->devicePixelRatioF(), Qt::KeepAspectRatio);
    ASSERT_TRUE(testsupport::waitUntil([&] { return view->frame().size() == fitted; })) << view->size().width();

    // A second time only brings the window forward; the player layer goes
    // with a reset.
    auto* item = player->currentItem();
    c->showCompositionWindow(0);
    EXPECT_EQ(player->currentItem(), item);
    c->resetPlayerLayer();
    EXPECT_FALSE(view->layerInstalled());
    EXPECT_TRUE(view->frame().isNull());
    (void)t;
}

}  // namespace
