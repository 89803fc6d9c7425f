// Files dropped on the track area: the first media file becomes a track once
// the drop has returned; anything else is refused.
#include "TrackListFixture.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QProcess>

namespace {

class TrackAreaDropsTest : public ShownTrackListTest {
protected:
    // Drops `urls` on the track area; true when the area took the drop.
    bool drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(c->ui.audioView, &enter);
        EXPECT_TRUE(enter.isAccepted()) << "any drag of URLs shows the copy operation";
        EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
        QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(c->ui.audioView, &event);
        return event.isAccepted();
    }
    void waitForTracks(size_t n) {
        ASSERT_TRUE(testsupport::waitUntil([&] {
            return tracks().size() == n && c->imports.tracksReading == 0 &&
                   (n == 0 || tracks().back().audioFilter->hasPlayerAsset());
        }));
    }
    static QString writeMovie(const QString& name) {
        const QString path = testsupport::tempDir() + QLatin1Char('/') + name;
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-y", "-loglevel", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2",
                      "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=2", "-c:v", "mpeg4",
                      "-c:a", "aac", "-shortest", path});
        if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) return {};
        return path;
    }
};

TEST_F(TrackAreaDropsTest, TheFirstMediaFileBecomesATrackAfterTheDrop) {
    const QString a = writeTone(QStringLiteral("first.wav"), 1.0, 300);
    const QString b = writeTone(QStringLiteral("second.wav"), 1.0, 600);
    const QString d = writeTone(QStringLiteral("third.wav"), 1.0, 900);
    ASSERT_TRUE(drop({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b), QUrl::fromLocalFile(d)}));
    EXPECT_TRUE(tracks().empty()) << "the import waits until the drop has returned";
    waitForTracks(1);
    endEvent();
    EXPECT_EQ(tracks().size(), 1u);
    EXPECT_EQ(tracks()[0].audioURL, QUrl::fromLocalFile(a));

    const QString movie = writeMovie(QStringLiteral("clip.mp4"));
    ASSERT_FALSE(movie.isEmpty());
    ASSERT_TRUE(drop({QUrl::fromLocalFile(movie)}));
    waitForTracks(2);
    EXPECT_EQ(tracks()[1].audioURL, QUrl::fromLocalFile(movie));
}

TEST_F(TrackAreaDropsTest, OtherDropsAreRefused) {
    const QString text = testsupport::tempDir() + QStringLiteral("/notes.txt");
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not audio");
    file.close();
    const QString folder = testsupport::tempDir() + QStringLiteral("/sounds.wav");  // a folder, whatever its name
    ASSERT_TRUE(QDir().mkpath(folder));
    const struct {
        const char* name;
        QUrl url;
    } cases[] = {{"a text file", QUrl::fromLocalFile(text)},
                 {"a folder", QUrl::fromLocalFile(folder)},
                 {"a web link", QUrl(QStringLiteral("https://example.org/song.wav"))}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_FALSE(drop({k.url}));
    }
    endEvent();
    EXPECT_TRUE(tracks().empty());
}

}  // namespace
