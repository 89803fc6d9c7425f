// Files being written: their temporary names are hidden, marked with the
// process, fit the name limit and end in the right extension; the leftovers
// of writers that have gone are removed, and nothing else is.
#include "platform/core/PartialFiles.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>
#include <set>

#include <sys/wait.h>
#include <unistd.h>

namespace {

int bytes(const QString& s) { return int(QFile::encodeName(s).size()); }

QString repeated(const QString& piece, int times) {
    QString out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write("x");
}

// A process number that no process has: a child that has ended and been waited for.
qint64 goneProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

}  // namespace

TEST(PartialFiles, TemporaryNamesAreHiddenMarkedFitAndEndInTheirExtension) {
    const QString cjk = repeated(QStringLiteral("音"), 83);  // 249 bytes
    const QString emoji = repeated(QStringLiteral("👩🏽‍🎤"), 20);  // whole characters of 15 bytes
    const struct {
        const char* name;
        QString file, extension, endsWith;
    } cases[] = {
        {"plain", QStringLiteral("mix.wav"), {}, QStringLiteral(".wav")},
        {"the format's own extension", QStringLiteral("mix.mp4"), QStringLiteral("m4a"), QStringLiteral(".m4a")},
        {"no extension", QStringLiteral("projectData"), {}, {}},
        {"long name", cjk + QStringLiteral(".m4a"), {}, QStringLiteral(".m4a")},
        {"long name, the format's extension", cjk + QStringLiteral(".aif"), QStringLiteral("m4a"), QStringLiteral(".m4a")},
        {"long name of composed characters", emoji + QStringLiteral(".caf"), {}, QStringLiteral(".caf")},
    };
    const QString folder = testsupport::tempDir();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString a = partialfiles::temporaryPathFor(folder + QLatin1Char('/') + c.file, c.extension);
        const QString b = partialfiles::temporaryPathFor(folder + QLatin1Char('/') + c.file, c.extension);
        EXPECT_NE(a, b);
        EXPECT_EQ(QFileInfo(a).absolutePath(), QFileInfo(folder).absoluteFilePath());
        const QString name = QFileInfo(a).fileName();
        EXPECT_TRUE(name.startsWith(QLatin1Char('.'))) << name.toStdString();
        if (c.endsWith.isEmpty()) EXPECT_TRUE(name.startsWith(QStringLiteral(".projectData.part-"))) << name.toStdString();
        else EXPECT_TRUE(name.endsWith(c.endsWith)) << name.toStdString();
        EXPECT_LE(bytes(name), partialfiles::kNameLimit);
        EXPECT_TRUE(name.isValidUtf16()) << "no character is cut in half";
        qint64 pid = 0;
        EXPECT_TRUE(partialfiles::isTemporaryName(name, &pid));
        EXPECT_EQ(pid, ::getpid());
        // The file can be made under it.
        touch(a);
        EXPECT_TRUE(QFile::remove(a));
    }
    // A composed character is kept whole or left out.
    const QString name = QFileInfo(partialfiles::temporaryPathFor(folder + QLatin1Char('/') + emoji + QStringLiteral(".caf")))
                             .fileName();
    const QString head = name.mid(1, name.indexOf(QStringLiteral(".part-")) - 1);
    EXPECT_EQ(head.size() % QStringLiteral("👩🏽‍🎤").size(), 0) << head.toStdString();

    for (const char* other : {"1408 - take.wav", ".keep", "mix.part-12-3.wav", ".mix.part-x-3.wav", "projectData"})
        EXPECT_FALSE(partialfiles::isTemporaryName(QString::fromUtf8(other))) << other;
}

TEST(PartialFiles, LeftoversOfGoneWritersAreRemovedAndNothingElse) {
    const QString folder = testsupport::tempDir() + QStringLiteral("/leftovers");
    ASSERT_TRUE(QDir().mkpath(folder));
    const qint64 gone = goneProcess(), self = ::getpid(), running = 1;  // the first process always runs
    const QString goneTemp = QStringLiteral(".mix.part-%1-0.m4a").arg(gone);
    const struct {
        QString name;
        bool removed;
        int daysOld = 0;
    } files[] = {
        {goneTemp, true},
        {QStringLiteral(".mix.wav.part-%1-7").arg(gone), true},  // the older form, no extension after the number
        {QStringLiteral(".1408 - take.part-%1-2.wav").arg(gone), true},
        {QStringLiteral(".mix.part-%1-1.m4a").arg(self), false},  // this process may still be writing it
        {QStringLiteral(".mix.part-%1-1.m4a").arg(running), false},
        {QStringLiteral(".old.part-%1-1.m4a").arg(running), true, 2},  // unchanged for two days: its number was reused
        {QStringLiteral(".keep"), false},
        {QStringLiteral("1408 - take.wav"), false},
        {QStringLiteral("mix.part-%1-0.m4a").arg(gone), false},  // visible: not one of ours
    };
    for (const auto& f : files) {
        touch(QDir(folder).filePath(f.name));
        if (f.daysOld) {
            QFile file(QDir(folder).filePath(f.name));
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            file.setFileTime(QDateTime::currentDateTime().addDays(-f.daysOld), QFileDevice::FileModificationTime);
        }
    }
    int expected = 0;
    for (const auto& f : files) expected += f.removed ? 1 : 0;
    EXPECT_EQ(partialfiles::removeLeftovers(folder), expected);
    for (const auto& f : files)
        EXPECT_EQ(QFileInfo::exists(QDir(folder).filePath(f.name)), !f.removed) << f.name.toStdString();
    EXPECT_EQ(partialfiles::removeLeftovers(folder), 0);
}

// A file written whole: the destination holds the old file or the whole new
// one, never a part, and no temporary file stays, whatever fails; a failed
// rename says why.
TEST(PartialFiles, AFileAppearsWholeOrNotAtAll) {
    const QString folder = testsupport::tempDir() + QStringLiteral("/whole");
    ASSERT_TRUE(QDir().mkpath(folder));
    auto read = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
    };
    auto writeText = [](const QByteArray& text) {
        return [text](const QString& temporary) {
            QFile f(temporary);
            return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
        };
    };
    const QString busyFolder = QDir(folder).filePath(QStringLiteral("busy"));  // a folder that is not empty
    ASSERT_TRUE(QDir().mkpath(busyFolder + QStringLiteral("/inside")));
    const struct {
        const char* name;
        QString path;
        std::function<bool(const QString&)> write;
        partialfiles::Durability durability;
        bool written;
        QByteArray after;
        bool reasonGiven;
    } cases[] = {
        {"synced, over an old file", QDir(folder).filePath(QStringLiteral("a.wav")), writeText("new"),
         partialfiles::Durability::Synced, true, "new", false},
        {"unsynced, over an old file", QDir(folder).filePath(QStringLiteral("b.pcm")), writeText("new"),
         partialfiles::Durability::Unsynced, true, "new", false},
        {"the writer fails half-way", QDir(folder).filePath(QStringLiteral("c.wav")),
         [](const QString& temporary) {
             QFile f(temporary);
             return f.open(QIODevice::WriteOnly) && f.write("ne") == 2 && false;
         },
         partialfiles::Durability::Synced, false, "old", false},
        {"the name is taken by a folder", busyFolder, writeText("new"), partialfiles::Durability::Synced, false,
         "(none)", true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        if (!QFileInfo(k.path).isDir()) {
            QFile old(k.path);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        int reason = 0;
        EXPECT_EQ(partialfiles::writeWhole(k.path, k.write, k.durability, &reason), k.written);
        EXPECT_EQ(read(k.path), k.after);
        EXPECT_EQ(reason != 0, k.reasonGiven) << reason;
        for (const QString& f : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            EXPECT_FALSE(partialfiles::isTemporaryName(f)) << f.toStdString();
    }
}

TEST(PartialFiles, LongNamesAreCutBetweenCharactersKeepingTheExtension) {
    const QString cjk = repeated(QStringLiteral("音"), 90);  // 270 bytes
    const struct {
        const char* name;
        QString in;
        QString mark;
        QString expected;  // empty: only the limit and the extension are checked
    } cases[] = {
        {"fits", QStringLiteral("take.wav"), QStringLiteral("~1"), QStringLiteral("take.wav")},
        {"exactly the limit", repeated(QStringLiteral("a"), 251) + QStringLiteral(".wav"), {},
         repeated(QStringLiteral("a"), 251) + QStringLiteral(".wav")},
        {"one byte over", repeated(QStringLiteral("a"), 252) + QStringLiteral(".wav"), QStringLiteral("~x"),
         repeated(QStringLiteral("a"), 249) + QStringLiteral("~x.wav")},
        {"three-byte characters", cjk + QStringLiteral(".flac"), QStringLiteral("~ab"),
         repeated(QStringLiteral("音"), 82) + QStringLiteral("~ab.flac")},
        {"no extension", cjk, {}, repeated(QStringLiteral("音"), 85)},
        {"an 'extension' too long to be one", QStringLiteral("a.") + cjk, {}, QStringLiteral("a.") + repeated(QStringLiteral("音"), 84)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = partialfiles::fittedName(c.in, partialfiles::kNameLimit, c.mark);
        EXPECT_LE(bytes(out), partialfiles::kNameLimit);
        EXPECT_EQ(out, c.expected);
    }
}
