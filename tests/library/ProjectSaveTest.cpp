// Saves that cannot finish: a disk that fills keeps the previous project, the
// edited mark and no copy of this save, and says why; a save killed at any
// moment leaves a project that opens and nothing that the next save does not
// clear; a source whose name is too long to copy as it is gets a name that
// fits.
#include "../app/TrackListFixture.h"

#include "library/ProjectLoading.h"
#include "library/ProjectRecords.h"
#include "platform/core/PartialFiles.h"

#include "views/ExportViews.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTest>

#include <set>

namespace {

QStringList visible(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList everything(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString repeated(const QString& piece, int times) {
    QString out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

}  // namespace

class ProjectSaveTest : public TrackListTest {
protected:
    const QString base = testsupport::tempDir();
    QString folder(const QString& name) const { return QDir(base).filePath(name); }
    static QString dataOf(const QString& project) { return QDir(project).filePath(QStringLiteral("projectData")); }

    // The project in the folder reads, and every file it names is there whole.
    void expectOpens(const QString& project, const std::set<QString>& sources) {
        QString error;
        const auto document = project::decodeProject(contents(dataOf(project)), &error);
        ASSERT_TRUE(document) << error.toStdString();
        for (const auto& track : *document)
            for (const auto& segment : track.filterTrackSegments) {
                const QString copy = QDir(project).filePath(QFileInfo(segment.filterOriginalPath).fileName());
                bool whole = false;
                for (const QString& source : sources)
                    whole = whole || (QFileInfo(copy).size() == QFileInfo(source).size() && contents(copy) == contents(source));
                EXPECT_TRUE(whole) << copy.toStdString();
            }
    }
};

TEST_F(ProjectSaveTest, AFullDiskKeepsThePreviousProjectTheEditedMarkAndNoCopyOfItsOwn) {
    append(writeTone(QStringLiteral("one.wav"), 2, 440));
    waitForReadyItem();
    const QString path = folder(QStringLiteral("Full.trvproj"));
    ASSERT_TRUE(save(path));
    const QByteArray previous = contents(dataOf(path));
    const QStringList files = everything(path);
    const QString picture = QDir(path).filePath(QStringLiteral(".folder.png"));
    const QByteArray previousPicture = contents(picture);
    const qint64 icon = previousPicture.size();

    const QString two = writeTone(QStringLiteral("two.wav"), 0.2, 660);
    append(two);
    waitForReadyItem();
    ASSERT_TRUE(c->isDocumentEdited());
    const qint64 copy = QFileInfo(two).size();
    const qint64 roomForCopies = std::max(copy, icon) + 4096;
    ASSERT_GT(previous.size(), roomForCopies) << "the data must be the largest file of the save";

    const struct {
        const char* name;
        qint64 limit;
        bool throughTheMenu;  // the user's Save, with its alert
    } cases[] = {
        {"the copy of the new source", copy / 2, false},
        {"the project's data", roomForCopies, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        alerts.clear();
        QString error;
        bool saved = true;
        {
            testsupport::FileSizeLimit limit(k.limit);
            if (k.throughTheMenu) {
                // Written on a worker: the limit holds until the save has ended.
                c->saveProjectFrom();
                ASSERT_TRUE(testsupport::waitUntil([&] { return !c->projectSaveIsRunning(); }, 20000));
                saved = false;
            } else {
                saved = save(path, &error);
            }
        }
        if (k.throughTheMenu) {
            ASSERT_EQ(alerts.size(), 1u);
            EXPECT_EQ(alerts[0].messageText, QStringLiteral("The project could not be saved."));
            error = alerts[0].informativeText;
        }
        EXPECT_FALSE(saved);
        EXPECT_TRUE(error.contains(QStringLiteral("The disk is full."))) << error.toStdString();
        EXPECT_TRUE(c->isDocumentEdited());
        EXPECT_EQ(contents(dataOf(path)), previous);
        EXPECT_EQ(everything(path), files);
        EXPECT_EQ(contents(picture), previousPicture) << "the folder's picture is the previous project's";
    }

    // With room again, the same save goes through.
    alerts.clear();
    c->saveProjectFrom();
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->projectSaveIsRunning(); }, 20000));
    EXPECT_TRUE(alerts.empty());
    EXPECT_FALSE(c->isDocumentEdited());
    EXPECT_EQ(visible(path).size(), 3u) << visible(path).join(u',').toStdString();
    expectOpens(path, {tracks()[0].audioURL.toLocalFile(), two});
    EXPECT_NE(contents(picture), previousPicture) << "a save that writes shows the window as it is now";
}

// A save killed at moments spread over its copy of a large new source, each
// time into a copy of the same project: what is left always opens, no name of
// a copy holds less than the whole copy, and the next save leaves the folder
// as a save that ran through would. (A forked child cannot paint the icon:
// Qt's painting waits for pool threads that only the parent has. It runs the
// save's copy, where the large writes are; the temporary files of the other
// writes are left in the folder as a kill would leave them.)
TEST_F(ProjectSaveTest, AKilledSaveLeavesTheProjectWholeAndTheNextSaveClearsWhatItLeft) {
    const QString small = writeTone(QStringLiteral("small.wav"), 1, 440);
    append(small);
    waitForReadyItem();
    const QString original = folder(QStringLiteral("Original.trvproj"));
    ASSERT_TRUE(save(original));
    // A large new source, so that its copy takes a while.
    const QString large = writeTone(QStringLiteral("large.wav"), 60, 330);
    append(large);
    waitForReadyItem();
    player->pause();
    endEvent();

    // What a killed save of an earlier version left: a copy cut short under
    // its own name, a hidden partial copy, a partial "projectData".
    auto plantOldLeftovers = [&](const QString& path) {
        QFile cut(QDir(path).filePath(project::sourceCopyName(large)));
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
        cut.write(contents(large).left(5000));
        cut.close();
        for (const char* name : {".large.wav.part-999999999-0", "projectData.Xy12Ab", ".folder.png.q7ZzK0"}) {
            QFile f(QDir(path).filePath(QString::fromLatin1(name)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("cut short");
        }
    };
    const int delaysUs[] = {0, 2000, 10000, 20000, 24000, 27000, 30000, 33000, 36000, 40000, 60000};
    for (int delay : delaysUs) {
        SCOPED_TRACE(delay);
        const QString path = folder(QStringLiteral("Killed %1.trvproj").arg(delay));
        ASSERT_TRUE(QDir().mkpath(path));
        for (const QString& name : everything(original))
            ASSERT_TRUE(QFile::copy(QDir(original).filePath(name), QDir(path).filePath(name)));
        const bool planted = delay == delaysUs[0];
        if (planted) plantOldLeftovers(path);

        // The child saves and is killed wherever it is; the delay counts
        // from the start of its save.
        ASSERT_TRUE(testsupport::killedMidway(delay, [&](const std::function<void()>& started) {
            started();
            c->stringForSourceURL(QUrl::fromLocalFile(large), path);
        }));

        expectOpens(path, {small, large});
        for (const QString& name : visible(path)) {
            if (planted || name == QStringLiteral("projectData") || name.startsWith(QStringLiteral("projectData.")))
                continue;
            // A source copy under its own name is whole.
            const QString copy = QDir(path).filePath(name);
            EXPECT_TRUE(contents(copy) == contents(small) || contents(copy) == contents(large)) << name.toStdString();
        }

        if (delay == delaysUs[std::size(delaysUs) / 2]) {
            // It opens in the application too, and the save after it is clean.
            c->closeCompositionFrom(false);
            load(path);
            EXPECT_TRUE(alerts.empty());
            EXPECT_FALSE(tracks().empty());
        }
        ASSERT_TRUE(save(path));
        QStringList expected = visible(path);
        expected << QStringLiteral(".directory") << QStringLiteral(".folder.png");
        expected.sort();
        EXPECT_EQ(everything(path), expected);
        EXPECT_EQ(visible(path).size(), size_t(tracks().size()) + 1) << visible(path).join(u',').toStdString();
        expectOpens(path, {small, large});
        if (tracks().size() == 1) {  // the composition as it was loaded: the large track again
            append(large);
            waitForReadyItem();
            player->pause();
            endEvent();
        }
    }
}

TEST_F(ProjectSaveTest, ASourceWithATooLongNameIsCopiedUnderANameThatFits) {
    const QString cjk = repeated(QStringLiteral("音"), 83);  // 249 bytes: with its number, past the limit
    const struct {
        const char* name;
        QString path;
        QString extension;
    } cases[] = {
        {"long, with an extension", QStringLiteral("/Music/") + cjk + QStringLiteral(".wav"), QStringLiteral(".wav")},
        // The same sum and the same start: they differ only in what is cut.
        {"two letters swapped at the end", QStringLiteral("/Music/") + cjk.chopped(2) + QStringLiteral("楽音.wav"),
         QStringLiteral(".wav")},
        {"the other way round", QStringLiteral("/Music/") + cjk.chopped(2) + QStringLiteral("音楽.wav"),
         QStringLiteral(".wav")},
        {"long, without one", QStringLiteral("/Music/") + cjk + QStringLiteral("音音"), QString()},
    };
    std::set<QString> seen;
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const QString name = project::sourceCopyName(k.path);
        EXPECT_LE(QFile::encodeName(name).size(), partialfiles::kNameLimit);
        if (k.extension.isEmpty()) EXPECT_TRUE(name.contains(QLatin1Char('~'))) << name.toStdString();
        else EXPECT_TRUE(name.endsWith(k.extension)) << name.toStdString();
        EXPECT_TRUE(name.contains(QStringLiteral(" - 音音"))) << name.toStdString();
        EXPECT_TRUE(seen.insert(name).second) << "names stay apart: " << name.toStdString();
        EXPECT_NE(project::sourceCopyName(k.path, 1), name);
    }

    // Saved, and opened again from the copy.
    const QString source = QDir(testsupport::tempDir()).filePath(cjk + QStringLiteral(".wav"));
    ASSERT_TRUE(QFile::copy(writeTone(QStringLiteral("tone.wav"), 1.5, 440), source));
    append(source);
    waitForReadyItem();
    const QString path = folder(QStringLiteral("Long.trvproj"));
    QString error;
    ASSERT_TRUE(save(path, &error)) << error.toStdString();
    EXPECT_EQ(visible(path).size(), 2u);
    expectOpens(path, {source});
    ASSERT_TRUE(save(path, &error)) << "and saved again into the same copy: " << error.toStdString();
    EXPECT_EQ(visible(path).size(), 2u);
    c->closeCompositionFrom(false);
    load(path);
    ASSERT_EQ(tracks().size(), 1u);
    EXPECT_TRUE(alerts.empty());
    EXPECT_NEAR(tracks()[0].audioFilter->durationInSeconds, 1.5, 1e-3);
}

// A save from the menu writes on a worker: the window stays up behind the
// progress sheet, which holds its commands until the save ends, with the wait
// cursor; the project written is the composition as it was when the save
// began, and the saved state comes with the save's end.
TEST_F(ProjectSaveTest, ASaveFromTheMenuRunsOnAWorkerWhileTheWindowsCommandsWait) {
    const QString small = writeTone(QStringLiteral("small.wav"), 1, 440);
    append(small);
    waitForReadyItem();
    const QString path = folder(QStringLiteral("Worker.trvproj"));
    ASSERT_TRUE(save(path));
    const QString large = writeTone(QStringLiteral("large.wav"), 30, 330);
    append(large);
    waitForReadyItem();
    c->ui.window->show();
    c->ui.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(c->ui.window));
    // The undo key reaches the window when nothing holds it.
    QTest::keyClick(c->ui.window, Qt::Key_Z, Qt::ControlModifier);
    endEvent();
    ASSERT_EQ(tracks().size(), 1u) << "the undo key does not reach the window";
    c->undoManager()->redo();
    endEvent();
    waitForReadyItem();
    ASSERT_EQ(tracks().size(), 2u);
    ASSERT_TRUE(c->isDocumentEdited());

    alerts.clear();
    c->saveProjectFrom();
    // The save's end comes through the event loop: it runs until then.
    ASSERT_TRUE(c->projectSaveIsRunning());
    ExportSheet* sheet = c->progressSheet();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(QApplication::activeModalWidget(), sheet);
    EXPECT_EQ(sheet->sheetInfoTextField->text(), QStringLiteral("Saving Project..."));
    EXPECT_EQ(sheet->sheetPercentTextField->text(), QStringLiteral("Worker"));
    ASSERT_TRUE(QApplication::overrideCursor());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_TRUE(c->isDocumentEdited()) << "saved before the files are written";
    // The window's undo key, another save, a load and an export wait.
    QTest::keyClick(c->ui.window, Qt::Key_Z, Qt::ControlModifier);
    endEvent();
    EXPECT_EQ(tracks().size(), 2u);
    EXPECT_TRUE(c->exportCommandsAreBlocked());
    c->loadTrackToCompositionForProject(QUrl::fromLocalFile(path));
    EXPECT_FALSE(c->projectLoading);

    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->projectSaveIsRunning(); }, 30000));
    EXPECT_TRUE(alerts.empty());
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_FALSE(QApplication::overrideCursor());
    EXPECT_FALSE(c->isDocumentEdited());
    EXPECT_FALSE(c->undoManager()->canUndo());
    EXPECT_EQ(tracks().size(), 2u);
    EXPECT_EQ(visible(path).size(), 3u) << visible(path).join(u',').toStdString();
    expectOpens(path, {small, large});
}

// A quit while a save runs waits for it and says so in the sheet: a save that
// writes the project then quits; one that fails (a full disk) says why and
// the application stays, with the composition still edited.
TEST_F(ProjectSaveTest, AQuitDuringASaveWaitsForItAndQuitsOnlyWhenItWrote) {
    append(writeTone(QStringLiteral("one.wav"), 2, 440));
    waitForReadyItem();
    const QString path = folder(QStringLiteral("Quit.trvproj"));
    ASSERT_TRUE(save(path));
    const QByteArray previous = contents(dataOf(path));
    const QString large = writeTone(QStringLiteral("large.wav"), 20, 330);
    const struct {
        const char* name;
        qint64 limit;  // 0: no limit
        bool quits;
    } cases[] = {
        {"the save fails", 4096, false},
        {"the save writes", 0, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        if (tracks().size() < 2) append(large);
        waitForReadyItem();
        ASSERT_TRUE(c->isDocumentEdited());
        alerts.clear();
        quits = 0;
        std::optional<testsupport::FileSizeLimit> limit;
        if (k.limit) limit.emplace(k.limit);
        c->saveProjectFrom();
        ASSERT_TRUE(c->projectSaveIsRunning());
        d->terminate();
        EXPECT_EQ(quits, 0) << "quit before the save ended";
        EXPECT_TRUE(c->projectSaveIsRunning());
        EXPECT_EQ(c->progressSheet()->sheetPercentTextField->text(),
                  QStringLiteral("Trevalune quits when the project is saved."));
        ASSERT_TRUE(testsupport::waitUntil([&] { return !c->projectSaveIsRunning(); }, 30000));
        limit.reset();
        endEvent();
        EXPECT_EQ(quits, k.quits ? 1 : 0);
        EXPECT_EQ(c->isDocumentEdited(), !k.quits);
        if (k.quits) {
            EXPECT_TRUE(alerts.empty());
            expectOpens(path, {tracks()[0].audioURL.toLocalFile(), large});
        } else {
            ASSERT_EQ(alerts.size(), 1u);
            EXPECT_EQ(alerts[0].messageText, QStringLiteral("The project could not be saved."));
            EXPECT_EQ(contents(dataOf(path)), previous);
            EXPECT_FALSE(c->shell.applicationHasToTerminateAfterSaving) << "the next quit asks again";
        }
    }
}
