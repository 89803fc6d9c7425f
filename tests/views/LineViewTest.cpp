#include "views/LineView.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>

#include <cmath>
#include <limits>

namespace {

// The controller's side of the ruler, as plain values.
struct Owner : LineViewOwner {
    double D = 100;
    bool ready = true;
    bool playing = false;
    double slider = 0;
    double playerTime = 0;
    QRect visible{0, 0, 400, 200};
    int tracks = 1;
    std::vector<MarkerRecord> markers;

    double rulerCompositionSeconds() const override { return D; }
    bool rulerPlayerItemIsReady() const override { return ready; }
    bool rulerIsPlaying() const override { return playing; }
    double rulerPositionSliderSeconds() const override { return slider; }
    double rulerPlayerCurrentSeconds() const override { return playerTime; }
    QRect rulerVisibleRect() const override { return visible; }
    int rulerTrackCount() const override { return tracks; }
    const std::vector<MarkerRecord>& rulerMarkers() const override { return markers; }

    std::vector<QUrl> added, projects;
    void rulerAddAudioFile(const QUrl& url) override { added.push_back(url); }
    void rulerLoadProject(const QUrl& url) override { projects.push_back(url); }
};

enum class Ink { None, Blue, Orange, White, Other };

Ink inkAt(const QImage& image, int x, int y) {
    // The strongest pixel of the column pair the line straddles.
    Ink best = Ink::None;
    int bestAlpha = 0;
    for (int dx = -1; dx <= 1; ++dx) {
        if (x + dx < 0 || x + dx >= image.width()) continue;
        QColor p = image.pixelColor(x + dx, y);
        if (p.alpha() <= bestAlpha || p.alpha() < 60) continue;
        bestAlpha = p.alpha();
        if (p.red() > 150 && p.green() > 150 && p.blue() > 150)
            best = Ink::White;
        else if (p.blue() > p.red() + 30)
            best = Ink::Blue;
        else if (p.red() > 150 && p.blue() < 120)
            best = Ink::Orange;
        else
            best = Ink::Other;
    }
    return best;
}

class LineViewTest : public ::testing::Test {
protected:
    QImage render() {
        view.audioController = &owner;
        view.resize(width, 200);
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }
    Owner owner;
    LineView view;
    int width = 400;
};

TEST(LineViewText, TimeTexts) {
    struct Case {
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        {3725.456, "01:02:05:45"},
        {0, "00:00:00:00"},
        {86401, "24:00:01:00"},  // hours go on past 24
        {-0.25, "00:00:00:00"},  // never negative
        {std::numeric_limits<double>::quiet_NaN(), "00:00:00:00"},
    };
    for (const auto& k : cases) EXPECT_EQ(LineView::stringForTime(k.seconds), k.text) << k.seconds;
}

TEST_F(LineViewTest, PlayheadAndPlaybackLine) {
    view.linePercent = 0.25;
    view.globalLinePercent = 0.5;
    owner.slider = 25;
    owner.playerTime = 50;
    QImage image = render();
    EXPECT_EQ(inkAt(image, 100, 150), Ink::Blue);    // playhead
    EXPECT_EQ(inkAt(image, 200, 150), Ink::Orange);  // playback line
    EXPECT_EQ(inkAt(image, 300, 150), Ink::None);
    EXPECT_DOUBLE_EQ(view.currentTime, 25.0);
    EXPECT_DOUBLE_EQ(view.globalCurrentTime, 50.0);
    // Both labels sit on the middle of the layer, in their box colours.
    EXPECT_EQ(inkAt(image, 100 + 20, 100), Ink::Blue);
    EXPECT_EQ(inkAt(image, 200 + 20, 100), Ink::Orange);

    // Where they meet, the playback line is not drawn.
    view.globalLinePercent = 0.25;
    image = render();
    EXPECT_EQ(inkAt(image, 200, 150), Ink::None);
}

TEST_F(LineViewTest, WhilePlayingTheLabelsFollowTheFractions) {
    owner.playing = true;
    view.linePercent = 0.5;
    view.globalLinePercent = 0.75;
    owner.slider = 3;
    QImage image = render();
    EXPECT_DOUBLE_EQ(view.currentTime, 50.0);
    EXPECT_DOUBLE_EQ(view.globalCurrentTime, 75.0);
    EXPECT_EQ(inkAt(image, 300, 150), Ink::Orange);
    EXPECT_EQ(inkAt(image, 300 + 20, 100), Ink::None);  // no playback label while playing
}

TEST_F(LineViewTest, NotReadyKeepsWhatWasDrawn) {
    view.linePercent = 0.25;
    render();
    owner.ready = false;
    view.linePercent = 0.75;
    QImage image = render();
    EXPECT_DOUBLE_EQ(view.currentLinePercent, 0.25);
    EXPECT_EQ(inkAt(image, 100, 150), Ink::Blue);
    EXPECT_EQ(inkAt(image, 300, 150), Ink::None);
}

TEST_F(LineViewTest, NoTracksNoLabels) {
    owner.tracks = 0;
    view.linePercent = 0.25;
    view.globalLinePercent = 0.5;
    view.drawAdditionalLinePercent = true;
    view.additionalLinePercent = 0.75;
    QImage image = render();
    EXPECT_EQ(inkAt(image, 100, 150), Ink::Blue);
    EXPECT_EQ(inkAt(image, 100 + 20, 100), Ink::None);
    EXPECT_EQ(inkAt(image, 200 + 20, 100), Ink::None);
    EXPECT_EQ(inkAt(image, 300, 150), Ink::None);  // no third line
}

TEST_F(LineViewTest, ThirdLineWhileDraggingATrack) {
    view.linePercent = 0.25;
    view.drawAdditionalLinePercent = true;
    view.additionalLinePercent = 0.75;
    QImage image = render();
    EXPECT_EQ(inkAt(image, 300, 150), Ink::Blue);
    // It goes with the playhead's label: a playhead label that does not fit
    // leaves it out.
    view.linePercent = 0.0;
    image = render();
    EXPECT_EQ(inkAt(image, 300, 150), Ink::None);
}

// The layer is as wide as the whole composition and shifted by the scroll
// offset: the end of the composition sits at W - s with its length beside it.
TEST_F(LineViewTest, EndOfTheCompositionAndScrolling) {
    width = 800;
    owner.visible = QRect(500, 0, 300, 200);
    view.linePercent = 0.75;  // x = 600 - 500
    QImage image = render();
    EXPECT_EQ(inkAt(image, 100, 150), Ink::Blue);
    // The end line at 800 - 500 = 300 is dashed: orange somewhere along it.
    bool dashed = false, gap = false;
    for (int y = 60; y < 140; ++y) {
        Ink ink = inkAt(image, 300, y);
        dashed |= ink == Ink::Orange;
        gap |= ink == Ink::None;
    }
    EXPECT_TRUE(dashed);
    EXPECT_TRUE(gap);
    // The duration boxes end 4.5 points left of it, at the top and the bottom.
    EXPECT_EQ(inkAt(image, 290, 10), Ink::Orange);
    EXPECT_EQ(inkAt(image, 290, 190), Ink::Orange);
}

// The duration box is as high as its 12-point text plus 5: the ruler's type
// is sized like every other view's, one point to a pixel.
TEST_F(LineViewTest, DurationBoxFitsTwelvePointText) {
    QFont twelve = QGuiApplication::font();
    twelve.setPixelSize(12);
    const double expected = QFontMetricsF(twelve).height() + 5;
    QImage image = render();
    int top = -1, bottom = -1;
    for (int y = 0; y < 80; ++y)
        if (inkAt(image, width - 8, y) == Ink::Orange) {
            if (top < 0) top = y;
            bottom = y;
        }
    ASSERT_GE(top, 0);
    // The box's black outline takes a row or two off the orange inside.
    const int orangeRows = bottom - top + 1;
    EXPECT_LE(orangeRows, expected);
    EXPECT_GE(orangeRows, expected - 4);
}

TEST_F(LineViewTest, ZeroLengthDrawsAtTheStart) {
    owner.D = 0;
    view.linePercent = std::nan("");
    view.globalLinePercent = std::nan("");
    QImage image = render();
    EXPECT_NE(inkAt(image, 0, 150), Ink::None);
    EXPECT_EQ(inkAt(image, 200, 150), Ink::None);
}

TEST_F(LineViewTest, Markers) {
    owner.markers = {{50, QStringLiteral("Verse")}, {100, QString()}, {120, QString()}};
    owner.visible = QRect(0, 0, 400, 200);
    view.linePercent = 0.9;
    view.globalLinePercent = 0.9;
    QImage image = render();
    EXPECT_EQ(inkAt(image, 200, 150), Ink::White);  // the marker at 50 s
    bool greyLabel = false;  // its label box, around the middle
    for (int y = 85; y < 115; ++y)
        for (int x = 150; x < 250; x += 3) greyLabel |= inkAt(image, x, y) == Ink::Other;
    EXPECT_TRUE(greyLabel);
    // A marker at the end (on the end line, x = 300) or past it is not drawn.
    owner.visible = QRect(100, 0, 300, 200);
    image = render();
    EXPECT_EQ(inkAt(image, 100, 150), Ink::White);
    for (int y = 60; y < 140; ++y) EXPECT_NE(inkAt(image, 300, y), Ink::White) << y;
    EXPECT_EQ(inkAt(image, 380, 150), Ink::None);
}

}  // namespace

namespace {

// What a drop on the layer asks of the owner, once the drop has returned:
// a media file is added, a project folder (its extension in any case) is
// loaded; anything else is refused and nothing is asked.
TEST_F(LineViewTest, DropsAddMediaOrLoadProjects) {
    view.audioController = &owner;
    QTemporaryDir dir;
    auto file = [&](const QString& name) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
        return QUrl::fromLocalFile(f.fileName());
    };
    auto folder = [&](const QString& name) {
        QDir(dir.path()).mkdir(name);
        return QUrl::fromLocalFile(dir.filePath(name));
    };
    const QUrl song = file("song.FLAC"), notes = file("notes.txt"), project = folder("Mix.TRVPROJ"),
               plain = folder("plain");
    struct Case {
        const char* name;
        QList<QUrl> urls;
        bool accepted;
        std::vector<QUrl> added, projects;
    };
    const Case cases[] = {
        {"a media file", {song}, true, {song}, {}},
        {"a project folder in capitals", {project}, true, {}, {project}},
        {"a text file", {notes}, false, {}, {}},
        {"a plain folder", {plain}, false, {}, {}},
        {"a text file before a media file: only the first counts", {notes, song}, false, {}, {}},
        {"a web address", {QUrl("https://example.org/a.mp3")}, false, {}, {}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        owner.added.clear();
        owner.projects.clear();
        QMimeData data;
        data.setUrls(k.urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &drop);
        EXPECT_EQ(drop.isAccepted(), k.accepted);
        EXPECT_TRUE(owner.added.empty());  // not before the drop has returned
        QCoreApplication::processEvents();
        EXPECT_EQ(owner.added, k.added);
        EXPECT_EQ(owner.projects, k.projects);
    }
    // A drag without addresses is not taken.
    QMimeData text;
    text.setText("words");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &enter);
    EXPECT_FALSE(enter.isAccepted());
}

}  // namespace
