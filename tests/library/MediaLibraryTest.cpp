// The media library through the controller: the folder listed at start-up,
// files added with their pictures, the questions on a clash, removal and
// clearing that spare the files tracks play, and the main menu's submenu.
#include "../app/TrackListFixture.h"

#include "engine/MusicFilter.h"
#include "library/LibraryFolder.h"
#include "platform/media/DecodedCache.h"
#include "support/Signals.h"
#include "views/LibraryView.h"
#include "views/PreviewPanel.h"
#include "app/WindowController.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>
#include <QMenu>
#include <QPushButton>

namespace {

using testsupport::waitUntil;

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A stereo tone of `seconds` at 44.1 kHz, 16-bit.
QString tone(const QString& name, double seconds, double frequency = 440) {
    return testsupport::writeTone(name, seconds, frequency, {44100, 2, 0.5, testsupport::SampleFormat::Pcm16});
}

// The largest alpha of a column over rows [y0, y1).
int columnAlpha(const QImage& image, int x, int y0, int y1) {
    int a = 0;
    for (int y = y0; y < y1; ++y) a = std::max(a, qAlpha(image.pixel(x, y)));
    return a;
}

TEST(LibraryPicture, FilesWithAudioGiveAPictureCentredAtTwoHundred) {
    const struct {
        const char* name;
        double seconds;
    } cases[] = {{"three-minutes.wav", 180}, {"half-second.wav", 0.5}};
    for (const auto& c : cases) {
        const QImage picture = medialibrary::waveformPictureForFile(tone(c.name, c.seconds));
        ASSERT_FALSE(picture.isNull()) << c.name;
        EXPECT_EQ(picture.size(), QSize(2000, 400));
        // A tone at half scale: strokes from about 100 to 300, white.
        EXPECT_GT(qAlpha(picture.pixel(1000, 200)), 100) << c.name;
        EXPECT_GT(columnAlpha(picture, 1000, 110, 290), 100) << c.name;
        EXPECT_EQ(columnAlpha(picture, 1000, 0, 60), 0) << c.name;
        const QColor colour = picture.pixelColor(1000, 200);
        EXPECT_GT(colour.blueF(), 0.95);
        EXPECT_GT(colour.redF(), 0.95);

        // Through TIFF and back, pixel for pixel.
        const QString stored = testsupport::tempDir() + "/picture.tiff";
        ASSERT_TRUE(medialibrary::writePicture(picture, stored));
        QFile file(stored);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.read(2), QByteArray("II"));
        const QImage back = medialibrary::readPicture(stored);
        ASSERT_EQ(back.size(), picture.size());
        EXPECT_EQ(back.convertToFormat(QImage::Format_ARGB32), picture.convertToFormat(QImage::Format_ARGB32));
    }
    // No audio to read: no picture.
    const QString dir = testsupport::tempDir();
    writeBytes(dir + "/empty.wav", {});
    EXPECT_TRUE(medialibrary::waveformPictureForFile(dir + "/empty.wav").isNull());
    const QString silent = dir + "/no-frames.wav";
    ASSERT_TRUE(testsupport::writeWav(silent, {testsupport::Signal{}}, 44100));
    EXPECT_TRUE(medialibrary::waveformPictureForFile(silent).isNull());
    writeBytes(dir + "/text.wav", "not a sound");
    EXPECT_TRUE(medialibrary::waveformPictureForFile(dir + "/text.wav").isNull());
}

TEST(LibraryFolder, NamesHeightsAndPicturePaths) {
    EXPECT_EQ(medialibrary::viewHeight(3, 40), 250);
    EXPECT_EQ(medialibrary::viewHeight(10, 40), 410);
    EXPECT_EQ(medialibrary::viewHeight(0, 40), 250);
    EXPECT_EQ(medialibrary::picturePathFor("/l/Song (3).mp3"), "/l/Song (3).tiff");
    EXPECT_EQ(medialibrary::picturePathFor("/l/a.b.wav"), "/l/a.b.tiff");
    EXPECT_EQ(medialibrary::picturePathFor("/l/README"), "/l/README.tiff");

    const QString dir = testsupport::tempDir();
    for (const char* name : {"Song.mp3", "Song (2).mp3", "Notes", "Notes (2)"}) writeBytes(dir + "/" + name, "x");
    EXPECT_EQ(medialibrary::renamedDestination(dir, "Song.mp3"), dir + "/Song (3).mp3");
    EXPECT_EQ(medialibrary::renamedDestination(dir, "Notes"), dir + "/Notes (3)");
}

class MediaLibraryTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        folder = testsupport::tempDir();
        c->library.mediaLibraryPath = folder;
        view = c->ui.libraryView;
        ASSERT_NE(view, nullptr);
    }
    QStringList rows() const {
        QStringList names;
        for (const auto& r : view->urlArray) names << QFileInfo(r.libraryAudioTrevalunePath).fileName();
        return names;
    }
    // The submenu's items; the menu shows under the item's own title.
    QStringList menuTitles() const {
        QMenu* menu = c->ui.importFromLibraryMenuItem->menu();
        EXPECT_EQ(c->ui.importFromLibraryMenuItem->text(), "Import from Library");
        QStringList titles;
        if (menu)
            for (QAction* a : menu->actions()) titles << a->text() + (a->isEnabled() ? "" : " (off)");
        return titles;
    }
    bool picturesDone() const { return c->library.pendingLibraryPictures.isEmpty(); }
    // Waits for the copies of the adds made so far.
    void settle() { ASSERT_TRUE(waitUntil([&] { return c->library.libraryCopiesRunning == 0; }, 20000)); }
    void useAsTrack(const QString& path) {
        c->ui.audioView->audioTracks.push_back(TrackRecord{QUrl::fromLocalFile(path), nullptr, {}});
    }

    QString folder;
    LibraryView* view = nullptr;
};

TEST_F(MediaLibraryTest, TheFolderIsListedWithItsPicturesAndSorted) {
    writeBytes(folder + "/a.mp3", "x");
    ASSERT_TRUE(medialibrary::writePicture(medialibrary::pictureForValues({0.5f, 1.0f}), folder + "/a.tiff"));
    writeBytes(folder + "/B.wav", "x");
    writeBytes(folder + "/x.TIFF", "x");
    writeBytes(folder + "/.hidden.wav", "x");
    QDir(folder).mkdir("sub.wav");
    c->addURLsToLibrary();
    EXPECT_EQ(rows(), (QStringList{"a.mp3", "B.wav", "x.TIFF"}));
    EXPECT_FALSE(view->urlArray[0].libraryAudioWave.isNull());
    EXPECT_EQ(view->urlArray[0].libraryAudioWave.size(), QSize(2000, 400));
    EXPECT_TRUE(view->urlArray[1].libraryAudioWave.isNull());
    EXPECT_EQ(view->selectedItem, 0);
    EXPECT_EQ(view->height(), 250);
    EXPECT_EQ(menuTitles(), (QStringList{"a.mp3", "B.wav", "x.TIFF"}));
    EXPECT_EQ(view->stringForToolTip(view->toolTipTagAt({10, 50})), "B.wav");
}

TEST_F(MediaLibraryTest, AnEmptyFolderGivesNoFiles) {
    c->addURLsToLibrary();
    EXPECT_TRUE(view->urlArray.empty());
    EXPECT_EQ(view->selectedItem, -1);
    EXPECT_EQ(view->height(), 250);
    EXPECT_EQ(menuTitles(), (QStringList{"No Files (off)"}));
}

TEST_F(MediaLibraryTest, AddedFilesAreListedWhenCopiedAndGetTheirPicturesLater) {
    QList<QUrl> urls;
    for (int i = 0; i < 10; ++i) urls << QUrl::fromLocalFile(tone(QString("t%1.wav").arg(9 - i), 0.5 + i * 0.1));
    urls << QUrl::fromLocalFile(tone("short.wav", 0.3));
    c->addAudioTracksToLibrary(urls);
    settle();
    EXPECT_EQ(rows().size(), 11);
    EXPECT_EQ(rows().front(), "short.wav");
    EXPECT_EQ(rows().at(1), "t0.wav");
    EXPECT_EQ(view->height(), 450);
    EXPECT_EQ(view->selectedItem, -1);
    ASSERT_TRUE(waitUntil([&] { return picturesDone(); }, 30000));
    for (const auto& r : view->urlArray) {
        EXPECT_FALSE(r.libraryAudioWave.isNull()) << r.libraryAudioTrevalunePath.toStdString();
        EXPECT_TRUE(QFileInfo(medialibrary::picturePathFor(r.libraryAudioTrevalunePath)).isFile());
    }
    // Nothing but the files and their pictures in the folder.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 22);
}

TEST_F(MediaLibraryTest, ClashesAskOncePerFile) {
    const QString song = tone("Song.wav", 0.5);
    writeBytes(folder + "/Song.wav", "old");
    writeBytes(folder + "/Song (2).wav", "old 2");
    c->addURLsToLibrary();

    // "Rename": the first free number, with its own picture.
    answer = 1;
    c->addAudioTracksToLibrary({QUrl::fromLocalFile(song)});
    settle();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, "Do you want to replace existing file?");
    EXPECT_EQ(alerts[0].informativeText, "File already exists in Library: Song.wav.");
    EXPECT_EQ(alerts[0].buttons, (QStringList{"Replace", "Rename", "Cancel"}));
    EXPECT_EQ(rows(), (QStringList{"Song.wav", "Song (2).wav", "Song (3).wav"}));
    EXPECT_EQ(contents(folder + "/Song (3).wav"), contents(song));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(folder + "/Song (3).tiff").isFile(); }, 20000));

    // "Replace": the new file in place of the old one, one row.
    alerts.clear();
    answer = 0;
    c->addAudioTracksToLibrary({QUrl::fromLocalFile(song)});
    settle();
    EXPECT_EQ(alerts.size(), 1u);
    EXPECT_EQ(contents(folder + "/Song.wav"), contents(song));
    EXPECT_EQ(rows().size(), 3);

    // Five files of which two clash: two questions; "Cancel" keeps both.
    alerts.clear();
    answer = 2;
    QList<QUrl> five;
    for (const char* name : {"one.wav", "Song.wav", "two.wav", "Song (2).wav", "three.wav"})
        five << QUrl::fromLocalFile(tone(name, 0.2));
    c->addAudioTracksToLibrary(five);
    settle();
    EXPECT_EQ(alerts.size(), 2u);
    EXPECT_EQ(contents(folder + "/Song (2).wav"), "old 2");
    EXPECT_EQ(rows(), (QStringList{"one.wav", "Song.wav", "Song (2).wav", "Song (3).wav", "three.wav", "two.wav"}));
    EXPECT_TRUE(waitUntil([&] { return picturesDone(); }, 20000));
}

TEST_F(MediaLibraryTest, FilesThatTracksPlayAndFailedCopiesLoseNothing) {
    writeBytes(folder + "/Used.wav", "in use");
    writeBytes(folder + "/Kept.wav", "kept");
    c->addURLsToLibrary();
    useAsTrack(folder + "/Used.wav");

    // "Replace" of a file a track plays, and of one whose copy fails.
    answer = 0;
    c->addAudioTracksToLibrary({QUrl::fromLocalFile(tone("Used.wav", 0.3)),
                                QUrl::fromLocalFile(testsupport::tempDir() + "/Kept.wav")});
    settle();
    EXPECT_EQ(alerts.size(), 2u);
    EXPECT_EQ(contents(folder + "/Used.wav"), "in use");
    EXPECT_EQ(contents(folder + "/Kept.wav"), "kept");
    EXPECT_EQ(rows(), (QStringList{"Kept.wav", "Used.wav"}));

    // "Remove selected file" on the used file: no question, nothing gone.
    alerts.clear();
    c->removeAudioTrackFromLibrary(1);
    EXPECT_TRUE(alerts.empty());
    EXPECT_TRUE(QFileInfo::exists(folder + "/Used.wav"));

    // Removing the other one asks first.
    answer = 1;  // "Cancel"
    c->removeAudioTrackFromLibrary(0);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, "Do you want to remove this file from Library?");
    EXPECT_EQ(alerts[0].informativeText, "Kept.wav");
    EXPECT_TRUE(QFileInfo::exists(folder + "/Kept.wav"));
    answer = 0;
    c->removeAudioTrackFromLibrary(0);
    EXPECT_FALSE(QFileInfo::exists(folder + "/Kept.wav"));
    EXPECT_EQ(rows(), (QStringList{"Used.wav"}));

    // "Clear Library" keeps what a track plays.
    writeBytes(folder + "/Other.wav", "x");
    ASSERT_TRUE(medialibrary::writePicture(medialibrary::pictureForValues({0.5f}), folder + "/Used.tiff"));
    ASSERT_TRUE(medialibrary::writePicture(medialibrary::pictureForValues({0.5f}), folder + "/Other.tiff"));
    c->addAudioTracksToLibrary({});
    settle();
    alerts.clear();
    c->clearLibrary();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, "This will remove all files from Library.");
    EXPECT_EQ(alerts[0].informativeText, "Continue?");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), (QStringList{"Used.tiff", "Used.wav"}));
    EXPECT_EQ(rows(), (QStringList{"Used.wav"}));

    // With nothing in use, the list is empty.
    c->ui.audioView->audioTracks.clear();
    c->clearLibrary();
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(view->urlArray.empty());
    EXPECT_EQ(view->height(), 250);
    EXPECT_EQ(menuTitles(), (QStringList{"No Files (off)"}));
}

TEST_F(MediaLibraryTest, WithoutAFolderTheCommandsSaySoAndChangeNothing) {
    c->library.mediaLibraryPath.clear();
    c->addURLsToLibrary();
    EXPECT_TRUE(alerts.empty());
    c->addAudioTracksToLibrary({QUrl::fromLocalFile(tone("a.wav", 0.2))});
    settle();
    c->clearLibrary();
    EXPECT_EQ(alerts.size(), 2u);
    EXPECT_TRUE(view->urlArray.empty());
}

TEST_F(MediaLibraryTest, TheSubmenuAddsItsFileAsATrackThatPlays) {
    c->addAudioTracksToLibrary({QUrl::fromLocalFile(tone("first.wav", 2)), QUrl::fromLocalFile(tone("second.wav", 3))});
    settle();
    ASSERT_TRUE(waitUntil([&] { return picturesDone(); }, 20000));
    QMenu* menu = c->ui.importFromLibraryMenuItem->menu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 2);
    menu->actions().at(1)->trigger();
    EXPECT_EQ(view->selectedItem, 1);
    ASSERT_TRUE(waitUntil([&] { return c->trackCount() == 1; }, 20000));
    EXPECT_EQ(c->ui.audioView->audioTracks.front().audioURL, QUrl::fromLocalFile(folder + "/second.wav"));
    ASSERT_TRUE(waitUntil([&] {
        PlayerItem* item = player->currentItem();
        return item && item->status() == PlayerItem::Status::ReadyToPlay && c->shell.viewControlsEnabled;
    }, 20000));
    c->playPauseToggle();
    EXPECT_TRUE(waitUntil([&] { return player->currentTime().seconds() > 0.2; }, 10000));
    c->playPauseToggle();

    // The file now plays: it stays through "Clear Library".
    answer = 0;
    c->clearLibrary();
    EXPECT_EQ(rows(), (QStringList{"second.wav"}));
}

TEST_F(MediaLibraryTest, TheTracksPictureGoesWithItsFile) {
    const QString source = tone("Track.wav", 0.5);
    auto owned = MusicFilter::filterWithName("MusicFilter");
    MusicFilter& track = *owned;
    QImage coverage(2000, 400, QImage::Format_Alpha8);
    coverage.fill(0);
    std::fill_n(coverage.scanLine(200), 2000, uchar(255));  // a bare midline
    track.filterBitmaps.append(coverage);
    // An edit drew the track a second picture, which the lane shows; the
    // library keeps the unedited file, and so the first.
    QImage edited = coverage.copy();
    std::fill_n(edited.scanLine(120), 2000, uchar(255));
    track.filterBitmaps.append(edited);
    track.indexOfUpdatedBitmap = 1;
    c->addAudioTrackToLibrary(QUrl::fromLocalFile(source), &track);
    settle();
    EXPECT_EQ(rows(), (QStringList{"Track.wav"}));
    EXPECT_EQ(view->selectedItem, 0);
    ASSERT_TRUE(waitUntil([&] { return picturesDone(); }, 20000));
    const QImage picture = view->urlArray[0].libraryAudioWave;
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(qAlpha(picture.pixel(500, 200)), 255);
    EXPECT_EQ(qAlpha(picture.pixel(500, 120)), 0);  // the track's first picture, not the file's nor the edit's

    // A track without a picture: the file's own.
    track.nameOfSourceTrack = "Named.wav";
    track.filterBitmaps.clear();
    c->addAudioTrackToLibrary(QUrl::fromLocalFile(source), &track);
    settle();
    EXPECT_EQ(rows(), (QStringList{"Named.wav", "Track.wav"}));
    EXPECT_EQ(view->selectedItem, 0);
    ASSERT_TRUE(waitUntil([&] { return picturesDone(); }, 20000));
    EXPECT_GT(qAlpha(view->urlArray[0].libraryAudioWave.pixel(1000, 120)), 0);
}

}  // namespace

namespace {

TEST_F(MediaLibraryTest, QuickLookFromTheListPreviewsTheSelectedFileOnce) {
    c->addAudioTracksToLibrary({QUrl::fromLocalFile(tone("Look.wav", 2))});
    settle();
    ASSERT_TRUE(waitUntil([&] { return picturesDone(); }, 20000));
    view->selectedItem = 0;
    view->showLibraryQuickLookPanel();
    PreviewPanel* preview = c->windowController->previewPanel();
    ASSERT_TRUE(preview);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->previewItemPath(), folder + "/Look.wav");
    EXPECT_TRUE(preview->playButton->isEnabled());
    EXPECT_FALSE(view->quickLookCalledFromLibrary);
    // Asked again from elsewhere: the selected track's file, here none.
    c->showQuickLookPanel();
    EXPECT_EQ(preview->previewItemPath(), QString());
    preview->close();
}

}  // namespace

namespace {

class LibraryTrackTest : public TrackListTest {};

// The main menu's item adds the selected track's source file, with the
// picture of that file as the track first drew it, not the edited one.
TEST_F(LibraryTrackTest, TheMainMenuAddsTheSelectedTracksSourceWithItsUneditedPicture) {
    const QString folder = testsupport::tempDir();
    c->library.mediaLibraryPath = folder;
    LibraryView* view = c->ui.libraryView;
    ASSERT_TRUE(view);
    auto track = append(writeTone(QStringLiteral("Edited.wav"), 2.0, 440));
    waitForReadyItem();
    ASSERT_TRUE(waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    c->currentSelectedAudio = 0;
    ASSERT_TRUE(c->pasteSelectionEmptyInFilterFrom(nullptr, 0.5, 0.5, true));
    ASSERT_EQ(track->filterBitmaps.size(), 2);
    ASSERT_EQ(track->indexOfUpdatedBitmap, 1u);
    ASSERT_FALSE(track->filterBitmaps[0] == track->filterBitmaps[1]);

    // File > "Add track source file to Library", right after the library's submenu.
    auto* file = qobject_cast<QMenu*>(c->ui.importFromLibraryMenuItem->parent());
    ASSERT_TRUE(file);
    const QList<QAction*> items = file->actions();
    const qsizetype at = items.indexOf(c->ui.importFromLibraryMenuItem);
    ASSERT_GE(at, 0);
    ASSERT_LT(at + 1, items.size());
    QAction* add = items[at + 1];
    EXPECT_EQ(add->text(), QStringLiteral("Add track source file to Library"));
    emit file->aboutToShow();
    EXPECT_TRUE(add->isEnabled());
    add->trigger();
    ASSERT_TRUE(waitUntil([&] {
        return c->library.libraryCopiesRunning == 0 && c->library.pendingLibraryPictures.isEmpty() &&
               !view->urlArray.empty();
    }, 20000));
    ASSERT_EQ(view->urlArray.size(), 1u);
    EXPECT_EQ(QFileInfo(view->urlArray[0].libraryAudioTrevalunePath).fileName(), QStringLiteral("Edited.wav"));
    const QImage stored = view->urlArray[0].libraryAudioWave.convertToFormat(QImage::Format_Alpha8);
    EXPECT_TRUE(stored == track->filterBitmaps[0]);
    EXPECT_FALSE(stored == track->filterBitmaps[1]);

    // Without a selected track the item is offered but off.
    c->currentSelectedAudio = 5;
    emit file->aboutToShow();
    EXPECT_FALSE(add->isEnabled());
}

}  // namespace

namespace {

// The panels of the library and of the artwork show their messages above
// the files, as messages, and keep the panel's own "Look in:".
TEST_F(MediaLibraryTest, PanelsShowTheirMessagesAboveTheFiles) {
    struct Seen {
        QString message, lookIn, toolTip;
    };
    auto seenIn = [](QFileDialog* panel) {
        auto* label = panel->findChild<QLabel*>(QStringLiteral("panelMessage"));
        return Seen{label && label->isVisibleTo(panel) ? label->text() : QString(),
                    panel->labelText(QFileDialog::LookIn), panel->toolTip()};
    };
    auto visiblePanel = [&]() -> QFileDialog* {
        for (auto* d : c->ui.window->findChildren<QFileDialog*>())
            if (d->isVisible()) return d;
        return nullptr;
    };

    // The library's panel runs modally: looked at, then cancelled, from inside.
    Seen library;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QFileDialog* panel = visiblePanel()) {
            library = seenIn(panel);
            panel->reject();
        }
    });
    poll.start(20);
    c->addFilesToLibrary();
    poll.stop();
    EXPECT_EQ(library.message, QStringLiteral("Select the audio file(s) you want to import."));
    EXPECT_EQ(library.lookIn, QFileDialog().labelText(QFileDialog::LookIn));

    c->importMetadataArtworkFrom();
    ASSERT_TRUE(waitUntil([&] { return visiblePanel() != nullptr; }));
    QFileDialog* artwork = visiblePanel();
    const Seen seen = seenIn(artwork);
    EXPECT_EQ(seen.message, QStringLiteral("Select the artwork you want to apply to audio file."));
    EXPECT_TRUE(seen.toolTip.isEmpty());
    artwork->reject();
}

}  // namespace
