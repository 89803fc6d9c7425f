// The library list: hits, keys, the drag threshold, the empty list's
// placeholder, the context menus, drops and its drawing.
#include "views/LibraryView.h"

#include "support/Signals.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

namespace {

struct Owner : LibraryViewOwner {
    int openPanels = 0;
    QList<QUrl> added;
    void addFilesToLibrary() override { ++openPanels; }
    void addAudioTracksToLibrary(const QList<QUrl>& urls) override { added = urls; }
};

QImage fullPicture() {
    QImage picture(2000, 400, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::white);
    return picture;
}

class LibraryViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.resize(280, 250);
        view.audioController = &owner;
        view.startDrag = [this](const QUrl& url, const QImage& image) {
            drags.push_back(url);
            dragImage = image;
        };
    }
    void setRows(int n) {
        view.urlArray.clear();
        for (int i = 0; i < n; ++i) {
            LibraryItemRecord r;
            r.libraryAudioTrevalunePath = QStringLiteral("/library/Song %1.mp3").arg(i);
            if (i % 2 == 0) r.libraryAudioWave = fullPicture();
            view.urlArray.push_back(r);
        }
        view.resize(view.width(), std::max(250, 40 * n + 10));
    }
    void mouse(QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::LeftButton) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent event(type, at, view.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button,
                          held, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    }
    void key(int k) {
        QKeyEvent event(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    }
    // The titles of the menu a context click at `at` pops up.
    QStringList menuTitles(QPointF at) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at.toPoint(), view.mapToGlobal(at.toPoint()));
        QApplication::sendEvent(&view, &event);
        auto* menu = view.findChild<QMenu*>(QStringLiteral("libraryMenu"));
        if (!menu) return {};
        EXPECT_EQ(menu->title(), QStringLiteral("Library"));
        QStringList titles;
        for (QAction* a : menu->actions()) titles << (a->isSeparator() ? QStringLiteral("-") : a->text());
        menu->close();
        delete menu;
        return titles;
    }

    LibraryView view;
    Owner owner;
    std::vector<QUrl> drags;
    QImage dragImage;
};

TEST_F(LibraryViewTest, PressesSelectTheRowUnderThePointer) {
    setRows(3);
    const struct {
        double y;
        qint64 row;
    } cases[] = {{4, -1}, {5, 0}, {44.9, 0}, {45, 1}, {124.9, 2}, {126, -1}};
    for (const auto& c : cases) {
        view.selectedItem = 1;
        mouse(QEvent::MouseButtonPress, {20, c.y});
        mouse(QEvent::MouseButtonRelease, {20, c.y});
        EXPECT_EQ(view.selectedItem, c.row) << "y " << c.y;
    }
    // Exactly on the last row's lower edge nothing changes.
    view.selectedItem = 1;
    mouse(QEvent::MouseButtonPress, {20, 125});
    EXPECT_EQ(view.selectedItem, 1);
}

TEST_F(LibraryViewTest, ArrowsStopAtBothEndsAndScrollTheSelectionIntoView) {
    setRows(10);
    QScrollArea area;
    area.resize(300, 250);
    area.setWidget(&view);
    area.show();
    testsupport::spin(10);
    view.selectedItem = -1;
    key(Qt::Key_Down);
    EXPECT_EQ(view.selectedItem, -1);  // no selection: nothing
    view.selectedItem = 0;
    key(Qt::Key_Up);
    EXPECT_EQ(view.selectedItem, 0);
    for (int i = 0; i < 12; ++i) key(Qt::Key_Down);
    EXPECT_EQ(view.selectedItem, 9);
    // Row 9 starts at 365: scrolled so that it is within the visible 250.
    const int top = area.verticalScrollBar()->value();
    EXPECT_GT(top, 0);
    EXPECT_LE(365 + 40, top + area.viewport()->height() + 5);
    for (int i = 0; i < 12; ++i) key(Qt::Key_Up);
    EXPECT_EQ(view.selectedItem, 0);
    EXPECT_EQ(area.verticalScrollBar()->value(), 0);
    area.takeWidget();
}

TEST_F(LibraryViewTest, ADragStartsPastFourPointsWithItsFileAndPicture) {
    setRows(2);
    mouse(QEvent::MouseButtonPress, {50, 10});
    mouse(QEvent::MouseMove, {54, 10});
    EXPECT_TRUE(drags.empty());
    EXPECT_FALSE(view.draggingSessionStarted);
    mouse(QEvent::MouseMove, {54.1, 10});
    ASSERT_EQ(drags.size(), 1u);
    EXPECT_EQ(drags[0], QUrl::fromLocalFile(QStringLiteral("/library/Song 0.mp3")));
    EXPECT_EQ(dragImage.size(), QSize(view.width(), 40));
    mouse(QEvent::MouseMove, {90, 10});
    EXPECT_EQ(drags.size(), 1u);  // one session per press
    mouse(QEvent::MouseButtonRelease, {90, 10});
    EXPECT_FALSE(view.draggingSessionStarted);
    // Without a selection nothing is dragged.
    mouse(QEvent::MouseButtonPress, {50, 200});
    mouse(QEvent::MouseMove, {80, 220});
    EXPECT_EQ(drags.size(), 1u);
}

TEST_F(LibraryViewTest, ThePlaceholderOpensThePanelWhenReleasedInsideIt) {
    const QPointF inside = view.placeholderRect().center();
    const QPointF outside(5, 5);
    const struct {
        const char* name;
        std::vector<QPointF> path;  // press, moves..., release
        int panels;
    } cases[] = {
        {"press inside, release inside", {inside, inside}, 1},
        {"press inside, out, release", {inside, outside, outside}, 0},
        {"press inside, out and in", {inside, outside, inside, inside}, 1},
        {"press outside, in, release", {outside, inside, inside}, 1},
        {"press outside, release", {outside, outside}, 0},
    };
    for (const auto& c : cases) {
        owner.openPanels = 0;
        mouse(QEvent::MouseButtonPress, c.path.front());
        for (size_t i = 1; i + 1 < c.path.size(); ++i) {
            mouse(QEvent::MouseMove, c.path[i]);
            EXPECT_EQ(view.placeholerAlpha, view.placeholderRect().contains(c.path[i]) ? 1.0 : 0.5) << c.name;
        }
        mouse(QEvent::MouseButtonRelease, c.path.back());
        EXPECT_EQ(view.placeholerAlpha, 0.5);
        testsupport::spin(20);  // the request waits for the release to finish
        EXPECT_EQ(owner.openPanels, c.panels) << c.name;
    }
}

TEST_F(LibraryViewTest, ContextMenusFollowTheSelection) {
    setRows(3);
    EXPECT_EQ(menuTitles({20, 50}),
              (QStringList{"Quick look...", "Show in Finder...", "-", "Add File to Composition",
                           "Remove selected file", "-", "Add File(s) to Library", "Clear Library"}));
    EXPECT_EQ(view.selectedItem, 1);
    EXPECT_EQ(menuTitles({20, 200}), (QStringList{"Add File(s) to Library", "Clear Library"}));
    EXPECT_EQ(view.selectedItem, -1);
    setRows(0);
    EXPECT_EQ(menuTitles({20, 50}), (QStringList{"Add File(s) to Library"}));

    // "Show in Finder..." opens the file manager on the row's file.
    setRows(2);
    QString shown;
    view.openFileManager = [&](const QString& path) { shown = path; };
    view.selectedItem = 1;
    std::unique_ptr<QMenu> menu(view.libraryMenu(nullptr));
    menu->actions().at(1)->trigger();
    EXPECT_EQ(shown, QStringLiteral("/library/Song 1.mp3"));
    menu->actions().at(0)->trigger();
    EXPECT_TRUE(view.quickLookCalledFromLibrary);
}

TEST_F(LibraryViewTest, TheFirstDroppedFileDecidesForAll) {
    view.isMediaFile = [](const QString& path) { return path.endsWith(QLatin1String(".wav")); };
    const QUrl text = QUrl::fromLocalFile(QStringLiteral("/tmp/notes.txt"));
    const QUrl audio = QUrl::fromLocalFile(QStringLiteral("/tmp/tone.wav"));
    EXPECT_FALSE(view.performDrop({text, audio}));
    testsupport::spin(20);
    EXPECT_TRUE(owner.added.isEmpty());
    EXPECT_TRUE(view.performDrop({audio, text}));
    EXPECT_TRUE(owner.added.isEmpty());  // after the drop has finished
    testsupport::spin(20);
    EXPECT_EQ(owner.added, (QList<QUrl>{audio, text}));
}

TEST_F(LibraryViewTest, ToolTipsNameTheRowHoldingTheTag) {
    setRows(2);
    view.urlArray[0].libraryTooltipTag = view.addToolTipRect(QRectF(0, 5, 280, 40));
    view.urlArray[1].libraryTooltipTag = view.addToolTipRect(QRectF(0, 45, 280, 40));
    EXPECT_EQ(view.stringForToolTip(view.toolTipTagAt({10, 50})), QStringLiteral("Song 1.mp3"));
    EXPECT_EQ(view.stringForToolTip(999), QString());
    view.removeAllToolTips();
    EXPECT_EQ(view.toolTipTagAt({10, 50}), 0);
}

TEST_F(LibraryViewTest, DrawsRowsPicturesSelectionAndPlaceholder) {
    setRows(3);
    view.selectedItem = 1;
    const QImage list = view.grab().toImage();
    const QColor background = list.pixelColor(140, 200);  // below the rows
    EXPECT_NEAR(background.redF(), 0.11, 0.01);
    // Row 0's picture at half opacity lightens it; row 1 is blue, selected.
    EXPECT_GT(list.pixelColor(250, 30).redF(), 0.4);
    const QColor selected = list.pixelColor(250, 70);
    EXPECT_GT(selected.blueF(), selected.redF() + 0.1);
    // The names in their orange at the left of each row.
    bool orange = false;
    for (int x = 10; x < 80 && !orange; ++x)
        for (int y = 13; y < 30 && !orange; ++y) {
            const QColor c = list.pixelColor(x, y + 80);
            orange = c.redF() > 0.8 && c.greenF() > 0.5 && c.blueF() < 0.4;
        }
    EXPECT_TRUE(orange);

    setRows(0);
    const QImage empty = view.grab().toImage();
    const QRectF box = view.placeholderRect();
    // The dashed frame's lower edge is orange somewhere along it.
    int dashes = 0;
    for (int x = int(box.left()) + 10; x < int(box.right()) - 10; ++x) {
        const QColor c = empty.pixelColor(x, int(box.bottom()));
        if (c.redF() > 0.3 && c.blueF() < c.redF() / 2) ++dashes;
    }
    EXPECT_GT(dashes, 5);
    EXPECT_LT(dashes, int(box.width()) - 20);  // dashed, not solid
}

}  // namespace

namespace {

// The real check: a file FFmpeg opens as sound, whatever its name, and not
// a text file named like one.
TEST(LibraryViewDrop, MediaFilesAreThoseFFmpegOpens) {
    LibraryView view;
    const QString dir = testsupport::tempDir();
    const QString sound = dir + "/tone.dat";
    ASSERT_TRUE(testsupport::writeWav(sound, {testsupport::sine(440, 44100, 4410)}, 44100));
    QFile text(dir + "/notes.wav");
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("just words, no sound at all");
    text.close();
    EXPECT_TRUE(view.isMediaFile(sound));
    EXPECT_FALSE(view.isMediaFile(text.fileName()));
}

}  // namespace
