// Adding files as tracks through the controller, end to end: the composition
// length, the track's values, its views and labels, the undo, the player
// refresh and playing through the test JACK server; and the files that
// cannot become a track.
#include "ControllerFixture.h"

#include "app/ImportPanel.h"
#include "engine/MusicFilter.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/UndoManager.h"
#include "platform/media/Asset.h"
#include "platform/media/DecodedCache.h"
#include "support/Signals.h"
#include "views/AudioDrawingView.h"
#include "views/MusicView.h"
#include "views/NumberTextField.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <functional>

namespace {

using testsupport::waitUntil;

// A mono 16-bit WAV of `seconds` of a sine at `frequency`.
QString writeTone(const QString& name, double seconds, int rate, double frequency = 440,
                  double amplitude = 0.5) {
    return testsupport::writeTone(name, seconds, frequency,
                                  {rate, 1, amplitude, testsupport::SampleFormat::Pcm16});
}

bool runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

// The first `bytes` bytes of `path`, as a new file `name` beside it.
QString firstBytes(const QString& path, qint64 bytes, const QString& name) {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) return {};
    const QString cut = QFileInfo(path).dir().filePath(name);
    QFile out(cut);
    if (!out.open(QIODevice::WriteOnly) || out.write(in.read(bytes)) < 0) return {};
    return cut;
}

// A FLAC file's bytes before its first audio frame: the marker and the
// metadata blocks.
qint64 flacHeaderSize(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray b = f.readAll();
    if (!b.startsWith("fLaC")) return -1;
    qint64 at = 4;
    for (bool last = false; !last && at + 4 <= b.size();) {
        last = uchar(b[at]) & 0x80;
        at += 4 + ((qint64(uchar(b[at + 1])) << 16) | (qint64(uchar(b[at + 2])) << 8) | uchar(b[at + 3]));
    }
    return at;
}

// `seconds` of a 440 Hz tone encoded by ffmpeg with `codec` into `name`.
QString encodeTone(const QString& name, double seconds, const QStringList& codec) {
    const QString path = QDir(testsupport::tempDir()).filePath(name);
    const QStringList args = QStringList{"-v", "error", "-y", "-f", "lavfi", "-i",
                                         QStringLiteral("sine=frequency=440:sample_rate=44100:duration=%1").arg(seconds)} +
                             codec + QStringList{path};
    return runTool(QStringLiteral("ffmpeg"), args) ? path : QString();
}

class AddTrackTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        answer = 0;
    }

    void setFields(int minutes, int seconds) {
        c->ui.textFieldDurationMinutes->setFloatValue(minutes);
        c->ui.textFieldDurationSeconds->setFloatValue(seconds);
    }

    // Adds the file and waits until the track is in the composition and the
    // player's item is ready.
    MusicFilter* addAndWait(const QString& path) {
        const int before = c->trackCount();
        c->addAudioFileToComposition(QUrl::fromLocalFile(path));
        EXPECT_TRUE(waitUntil([&] { return c->trackCount() == before + 1; }, 20000)) << path.toStdString();
        if (c->trackCount() != before + 1) return nullptr;
        MusicFilter* t = c->ui.audioView->audioTracks.back().audioFilter.get();
        // The item that holds this track (the refresh that builds it may still
        // be queued when the track gets its identifier), ready, and the
        // controls unlocked for it.
        EXPECT_TRUE(waitUntil([&] {
            PlayerItem* item = player->currentItem();
            return t->trackID != -1 && item && item->status() == PlayerItem::Status::ReadyToPlay &&
                   item->audioMix() &&
                   item->audioMix()->inputParameters().size() == static_cast<size_t>(before + 1) &&
                   c->shell.viewControlsEnabled;
        }, 20000));
        return t;
    }

    QString labelText(QPointer<QWidget> w) { return qobject_cast<QLabel*>(w.data())->text(); }
};

// Fields at 10:00 and a 900 s file: the composition is 600 s, the track is
// cut to it, and its labels show both lengths.
TEST_F(AddTrackTest, FirstTrackTakesTheLengthOfTheFields) {
    setFields(10, 0);
    const QString path = writeTone(QStringLiteral("long.wav"), 900, 8000);
    MusicFilter* t = addAndWait(path);
    ASSERT_TRUE(t);
    EXPECT_DOUBLE_EQ(c->shell.compositionDuration.seconds(), 600.0);
    EXPECT_DOUBLE_EQ(t->trackRatio, 1.5);
    EXPECT_DOUBLE_EQ(t->durationInSeconds, 900.0);
    EXPECT_DOUBLE_EQ(t->audioDurationInPercent, 600.0 / 900.0);
    EXPECT_DOUBLE_EQ(t->currentTimeRange().duration.seconds(), 600.0);
    EXPECT_EQ(labelText(t->audioTimeLabel), "00:10:00 / 00:15:00");
    EXPECT_EQ(labelText(t->audioSampleRateLabel), "8.0 kHz");
    EXPECT_EQ(labelText(t->audioLabel), "long.wav");
    EXPECT_DOUBLE_EQ(player->currentItem()->duration().seconds(), 600.0);

    const TrackRecord& r = c->ui.audioView->audioTracks.back();
    EXPECT_EQ(r.audioURL, QUrl::fromLocalFile(path));
    EXPECT_EQ(r.audioFloatData.size(), 8000);  // one value per step of 900 frames
    ASSERT_EQ(t->filterBitmaps.size(), 1);
    EXPECT_EQ(t->filterBitmaps[0].size(), QSize(2000, 400));
    EXPECT_EQ(c->currentSelectedAudio.load(), 0u);

    // Geometry: lane as wide as the whole file, its region the composition.
    auto* lane = qobject_cast<AudioDrawingView*>(t->audioDrawingView);
    ASSERT_TRUE(lane);
    EXPECT_EQ(c->ui.audioView->size(), QSize(1200, 200));
    EXPECT_EQ(lane->geometry(), QRect(0, 0, 1800, 200));
    EXPECT_EQ(lane->drawingBezierPath.boundingRect(), QRectF(0, 10, 1200, 180));
    EXPECT_LT(lane->loadingProgress, 0.0);
    EXPECT_EQ(c->ui.musicLeftView->height(), 200);
    EXPECT_TRUE(c->ui.audioView->viewAcceptsMouseEvents);
    EXPECT_TRUE(lane->viewAcceptsMouseEvents);
}

// Fields at 0:0 (or less than a second): the composition takes the file's
// length and the fields show it; a second, shorter file keeps the length.
TEST_F(AddTrackTest, FieldsAtZeroTakeTheFilesLengthAndLaterTracksKeepIt) {
    setFields(0, 0);
    MusicFilter* first = addAndWait(writeTone(QStringLiteral("a.wav"), 75, 22050));
    ASSERT_TRUE(first);
    EXPECT_DOUBLE_EQ(c->shell.compositionDuration.seconds(), 75.0);
    EXPECT_EQ(c->ui.textFieldDurationMinutes->floatValue(), 1);
    EXPECT_EQ(c->ui.textFieldDurationSeconds->floatValue(), 15);
    EXPECT_EQ(labelText(first->audioSampleRateLabel), "22 kHz");
    EXPECT_DOUBLE_EQ(first->trackRatio, 1.0);

    MusicFilter* second = addAndWait(writeTone(QStringLiteral("b.wav"), 30, 44100));
    ASSERT_TRUE(second);
    EXPECT_DOUBLE_EQ(c->shell.compositionDuration.seconds(), 75.0);
    EXPECT_DOUBLE_EQ(second->trackRatio, 30.0 / 75.0);
    EXPECT_EQ(labelText(second->audioTimeLabel), "00:00:30 / 00:00:30");
    EXPECT_EQ(labelText(second->audioSampleRateLabel), "44.1 kHz");
    EXPECT_EQ(c->currentSelectedAudio.load(), 1u);
    EXPECT_EQ(c->ui.audioView->height(), 400);
    EXPECT_EQ(second->audioDrawingView->geometry().top(), 200);
    EXPECT_EQ(second->imageView->geometry().top(), 230);
    // Both tracks are in the composition and in the player's copy of the mix.
    EXPECT_EQ(c->currentComposition->trackCount(), 2);
    EXPECT_EQ(player->currentItem()->audioMix()->inputParameters().size(), 2u);
    // Undo removes the second track only, and the first keeps the length.
    c->undoManager()->undo();
    EXPECT_EQ(c->trackCount(), 1);
    EXPECT_DOUBLE_EQ(c->shell.compositionDuration.seconds(), 75.0);
    EXPECT_EQ(c->currentComposition->trackCount(), 1);
}

TEST_F(AddTrackTest, UndoOfTheImportRestoresTheEmptyStateAndRedoBringsItBack) {
    setFields(0, 0);
    const int undosBefore = c->undoManager()->undoCount();
    MusicFilter* t = addAndWait(writeTone(QStringLiteral("u.wav"), 5, 48000));
    ASSERT_TRUE(t);
    EXPECT_EQ(c->undoManager()->undoCount(), undosBefore + 1);  // one group: length and track
    c->undoManager()->undo();
    EXPECT_EQ(c->trackCount(), 0);
    EXPECT_EQ(c->shell.compositionDuration, MediaTime::zero());
    EXPECT_EQ(c->currentComposition->trackCount(), 0);
    EXPECT_EQ(player->currentItem(), nullptr);
    EXPECT_EQ(c->currentSelectedAudio.load(), kNoIndex);
    EXPECT_EQ(c->ui.audioView->height(), 0);
    EXPECT_FALSE(t->audioDrawingView->isVisible());

    c->undoManager()->redo();
    EXPECT_EQ(c->trackCount(), 1);
    EXPECT_DOUBLE_EQ(c->shell.compositionDuration.seconds(), 5.0);
    ASSERT_TRUE(waitUntil([&] { return player->currentItem() && c->shell.viewControlsEnabled; }));
    EXPECT_EQ(c->currentComposition->trackCount(), 1);
}

// Every file that cannot become a track leaves the tracks, the composition
// and the undo stack as they were, and says why.
TEST_F(AddTrackTest, FilesThatCannotBecomeTracksChangeNothing) {
    const QString dir = testsupport::tempDir();
    const QString text = QDir(dir).filePath(QStringLiteral("notes.wav"));
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not audio at all\n");
    }
    const QString empty = writeTone(QStringLiteral("empty.wav"), 0, 44100);
    // A FLAC header that declares ten seconds, and a few bytes of its first
    // frame: nothing decodes.
    const QString flac = encodeTone(QStringLiteral("whole.flac"), 10, {"-c:a", "flac"});
    const QString headerOnly = firstBytes(flac, flacHeaderSize(flac) + 16, QStringLiteral("header only.flac"));
    ASSERT_FALSE(headerOnly.isEmpty());
    const QString silentVideo = QDir(dir).filePath(QStringLiteral("noaudio.mp4"));
    ASSERT_TRUE(runTool(QStringLiteral("ffmpeg"),
                        {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=2",
                         "-an", "-pix_fmt", "yuv420p", silentVideo}));
    const struct {
        const char* name;
        QString path;
    } cases[] = {
        {"missing", QDir(dir).filePath(QStringLiteral("missing.wav"))},
        {"not audio", text},
        {"no frames", empty},
        {"no audio track", silentVideo},
        {"header without audio", headerOnly},
    };
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.name);
        alerts.clear();
        const int undos = c->undoManager()->undoCount();
        const MediaTime duration = c->shell.compositionDuration;
        c->addAudioFileToComposition(QUrl::fromLocalFile(bad.path));
        ASSERT_TRUE(waitUntil([&] { return !alerts.empty(); }, 10000));
        EXPECT_FALSE(alerts.front().informativeText.isEmpty());
        EXPECT_EQ(c->trackCount(), 0);
        EXPECT_EQ(c->shell.compositionDuration, duration);
        EXPECT_EQ(c->undoManager()->undoCount(), undos);
        EXPECT_EQ(c->currentComposition->trackCount(), 0);
    }
}

// A file whose samples cannot be read after its track was made (here: the
// decoded cache cannot be written): the track goes again with everything it
// changed, and says why; while it was there its length was a number.
TEST_F(AddTrackTest, AFileThatFailsToLoadLaterIsTakenBackOut) {
    setFields(0, 0);
    const QString path = writeTone(QStringLiteral("later.wav"), 20, 44100);
    const QString cacheFolder = DecodedCache::folder();
    DecodedCache::setFolder(QStringLiteral("/dev/null/cache"));
    const int undos = c->undoManager()->undoCount();
    c->addAudioFileToComposition(QUrl::fromLocalFile(path));
    ASSERT_TRUE(waitUntil([&] { return c->trackCount() == 1; }, 10000));
    MusicFilter* t = c->ui.audioView->audioTracks.back().audioFilter.get();
    EXPECT_EQ(labelText(t->audioTimeLabel), "00:00:20 / 00:00:20");
    EXPECT_TRUE(std::isfinite(t->trackRatio));
    ASSERT_TRUE(waitUntil([&] { return !alerts.empty(); }, 10000));
    DecodedCache::setFolder(cacheFolder);
    EXPECT_FALSE(alerts.front().informativeText.isEmpty());
    EXPECT_EQ(c->trackCount(), 0);
    EXPECT_EQ(c->undoManager()->undoCount(), undos);
    EXPECT_EQ(c->shell.compositionDuration, MediaTime::zero());
    EXPECT_EQ(c->currentComposition->trackCount(), 0);
    EXPECT_EQ(c->ui.audioView->height(), 0);
}

// A file cut short (its header declares ten seconds) is added with what
// decodes: the track, its label and lane, the asset it plays, the player's
// item and the composition that took its length from it are all that long.
TEST_F(AddTrackTest, AFileCutShortIsAddedAtTheLengthThatDecodes) {
    const struct {
        const char* name;
        QStringList codec;
        double keep;  // the part of the file kept
    } cases[] = {
        // MP3 and ADTS: the length is a count of packets, which the last,
        // broken one can spoil.
        {"cut.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}, 0.03},
        {"cut.aac", {"-c:a", "aac", "-f", "adts"}, 0.1},
        // FLAC: the header's exact length.
        {"cut.flac", {"-c:a", "flac"}, 0.4},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        setFields(0, 0);
        alerts.clear();
        const QString whole = encodeTone(QStringLiteral("whole-") + k.name, 10, k.codec);
        ASSERT_FALSE(whole.isEmpty());
        const QString cut = firstBytes(whole, qint64(QFileInfo(whole).size() * k.keep), k.name);
        MusicFilter* t = addAndWait(cut);
        ASSERT_TRUE(t);
        EXPECT_TRUE(alerts.empty());
        const auto decoded = t->audioTrack->decodedSource();
        ASSERT_TRUE(decoded);
        const double D = decoded->durationSeconds();
        EXPECT_GT(D, 0.0);
        EXPECT_LT(D, 10.0 * k.keep + 0.5);

        EXPECT_DOUBLE_EQ(t->durationInSeconds, D);
        EXPECT_EQ(t->audioTrack->timeRange().duration, MediaTime(decoded->frameCount(), 44100));
        EXPECT_EQ(t->playerAsset->duration(), MediaTime(decoded->frameCount(), 44100));
        EXPECT_DOUBLE_EQ(t->currentTimeRange().duration.seconds(), D);
        EXPECT_NEAR(c->shell.compositionDuration.seconds(), D, 1e-4);
        EXPECT_NEAR(t->trackRatio, 1.0, 1e-4);
        EXPECT_NEAR(player->currentItem()->duration().seconds(), D, 1e-4);
        EXPECT_EQ(labelText(t->audioTimeLabel), AudioController::trackTimeText(D, D));
        auto* lane = qobject_cast<AudioDrawingView*>(t->audioDrawingView);
        ASSERT_TRUE(lane);
        EXPECT_NEAR(lane->frameWidth(), c->ui.audioView->frameWidth(), 1.0);
        EXPECT_NEAR(c->ui.audioView->frameWidth(), D * c->shell.scaleFactor * c->shell.zoomValue, 1.0);
        EXPECT_EQ(c->ui.textFieldDurationMinutes->floatValue(), 0);
        EXPECT_EQ(c->ui.textFieldDurationSeconds->floatValue(), std::floor(D));

        // Undo takes the track and the length away in one step.
        c->undoManager()->undo();
        EXPECT_EQ(c->trackCount(), 0);
        EXPECT_EQ(c->shell.compositionDuration, MediaTime::zero());
    }
}

// A later file cut short keeps the composition's length and is as long as
// what decodes inside it.
TEST_F(AddTrackTest, ALaterFileCutShortKeepsTheCompositionsLength) {
    setFields(0, 0);
    ASSERT_TRUE(addAndWait(writeTone(QStringLiteral("first.wav"), 8, 44100)));
    const QString whole = encodeTone(QStringLiteral("whole.flac"), 10, {"-c:a", "flac"});
    MusicFilter* t = addAndWait(firstBytes(whole, QFileInfo(whole).size() / 2, QStringLiteral("half.flac")));
    ASSERT_TRUE(t);
    const double D = t->audioTrack->decodedSource()->durationSeconds();
    ASSERT_LT(D, 8.0);
    EXPECT_DOUBLE_EQ(c->shell.compositionDuration.seconds(), 8.0);
    EXPECT_DOUBLE_EQ(t->durationInSeconds, D);
    EXPECT_DOUBLE_EQ(t->trackRatio, D / 8.0);
    EXPECT_DOUBLE_EQ(t->currentTimeRange().duration.seconds(), D);
    EXPECT_NEAR(t->animationEnd().seconds(), D, 1e-4);
    EXPECT_NEAR(t->audioDrawingView->width(), D / 8.0 * c->ui.audioView->width(), 1.0);
    EXPECT_EQ(labelText(t->audioTimeLabel), AudioController::trackTimeText(D, D));
}

// Ten files of different formats dropped at once: ten tracks, each in a row
// of its own, the composition holding them all and nothing refused, however
// their decodings overlap. Every run decodes afresh into a new cache.
class ManyImportsTest : public AddTrackTest, public ::testing::WithParamInterface<int> {};

TEST_P(ManyImportsTest, TenFilesAtOnceGiveTenTracks) {
    static const QString folder = [] {
        const QString dir = testsupport::tempDir();
        const QString source = writeTone(QStringLiteral("many.wav"), 3, 44100);
        const struct {
            const char* name;
            QStringList options;
        } kinds[] = {
            {"a.wav", {}},
            {"b.wav", {"-c:a", "pcm_f32le"}},
            {"c.aiff", {}},
            {"d.caf", {}},
            {"e.flac", {}},
            {"f.mp3", {"-c:a", "libmp3lame"}},
            {"g.m4a", {"-c:a", "aac"}},
            {"h.ogg", {"-c:a", "libvorbis"}},
            {"i.opus", {"-c:a", "libopus"}},
            {"j.mp4", {"-c:a", "aac"}},
        };
        for (const auto& k : kinds)
            if (!runTool(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y", "-i", source} + k.options +
                                                       QStringList{QDir(dir).filePath(QLatin1String(k.name))}))
                return QString();
        return dir;
    }();
    ASSERT_FALSE(folder.isEmpty());
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(names.size(), 10);

    const QString sharedCache = DecodedCache::folder();
    DecodedCache::setFolder(testsupport::tempDir());
    struct Restore {
        QString folder;
        ~Restore() { DecodedCache::setFolder(folder); }
    } restore{sharedCache};

    setFields(0, 0);
    for (const QString& name : names) c->addAudioFileToComposition(QUrl::fromLocalFile(QDir(folder).filePath(name)));
    ASSERT_TRUE(waitUntil([&] {
        return !alerts.empty() ||
               (c->trackCount() == 10 && c->imports.tracksReading == 0 && c->imports.pendingURLs.empty() &&
                c->currentComposition->trackCount() == 10);
    }, 60000));
    for (const auto& a : alerts) ADD_FAILURE() << a.messageText.toStdString() << ": " << a.informativeText.toStdString();
    ASSERT_EQ(c->trackCount(), 10);

    // Each file once, in a row of its own, its lane and thumbnail one below the other.
    QStringList added;
    int laneY = -1, thumbnailY = -1;
    for (quint64 i = 0; i < 10; ++i) {
        const TrackRecord& r = c->ui.audioView->audioTracks[i];
        added << r.audioURL.fileName();
        ASSERT_TRUE(r.audioFilter);
        EXPECT_FALSE(r.audioFloatData.isEmpty()) << i;
        auto* lane = qobject_cast<AudioDrawingView*>(r.audioFilter->audioDrawingView);
        ASSERT_TRUE(lane && r.audioFilter->imageView);
        EXPECT_LT(lane->loadingProgress, 0.0) << i;
        EXPECT_GT(lane->y(), laneY) << i;
        EXPECT_GT(r.audioFilter->imageView->y(), thumbnailY) << i;
        laneY = lane->y();
        thumbnailY = r.audioFilter->imageView->y();
    }
    added.sort();
    EXPECT_EQ(added, names);
}

INSTANTIATE_TEST_SUITE_P(Runs, ManyImportsTest, ::testing::Range(0, 4));

// A track's meter shows its level while it plays, and falls to zero when
// nothing sounds any more: after a pause, a pause from a fast speed, and the
// end of the composition.
TEST_F(AddTrackTest, MetersFallToZeroWhenNothingPlays) {
    setFields(0, 0);
    MusicFilter* t = addAndWait(writeTone(QStringLiteral("meter.wav"), 3, 44100));
    ASSERT_TRUE(t);
    auto* meter = qobject_cast<AudioMeteringView*>(t->meteringView.data());
    ASSERT_TRUE(meter);
    c->updatePlayerItemObserver();
    auto lit = [&] { return meter->leftChannelValue > 0.1 && meter->rightChannelValue > 0.1; };
    auto dark = [&] { return meter->leftChannelValue == 0.0 && meter->rightChannelValue == 0.0; };
    const struct {
        const char* name;
        double from;  // where play starts
        std::function<void()> stop;
    } cases[] = {
        {"pause", 0.0, [&] { c->playPauseToggle(); }},
        {"pause from fast forward", 0.0, [&] { c->fastForward(); c->playPauseToggle(); }},
        {"end", 2.5, [] {}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        seekAndWait(k.from);
        c->playPauseToggle();
        ASSERT_TRUE(c->shell.isPlaying);
        ASSERT_TRUE(waitUntil(lit, 5000));
        k.stop();
        ASSERT_TRUE(waitUntil([&] { return !c->shell.isPlaying; }, 5000));
        EXPECT_TRUE(dark()) << meter->leftChannelValue << " " << meter->rightChannelValue;
        // Nothing redraws them lit again while the player rests.
        testsupport::spin(300);
        EXPECT_TRUE(dark());
    }
}

// The thumbnail's notification reaches its own track only.
TEST_F(AddTrackTest, ThumbnailNotificationReachesOnlyItsTrack) {
    setFields(0, 0);
    MusicFilter* a = addAndWait(writeTone(QStringLiteral("n1.wav"), 4, 44100));
    MusicFilter* b = addAndWait(writeTone(QStringLiteral("n2.wav"), 4, 44100));
    ASSERT_TRUE(a && b);
    const int32_t idA = a->trackID, idB = b->trackID;
    NotificationCenter::defaultCenter().post(QStringLiteral("setupNewPlayerAsset"), a->imageView.data());
    EXPECT_NE(a->trackID, idA);  // taken up again and re-inserted
    EXPECT_EQ(b->trackID, idB);
    EXPECT_EQ(c->currentComposition->trackCount(), 2);
}

// While a project loads, each track that enters the composition is counted
// off instead of rebuilding the player's item.
TEST_F(AddTrackTest, TracksOfALoadingProjectAreCountedOff) {
    setFields(0, 0);
    c->library.doNotUpdatePlayerSettings = true;
    c->library.trackCounter = 2;
    for (const char* name : {"l1.wav", "l2.wav"}) {
        c->addAudioFileToComposition(QUrl::fromLocalFile(writeTone(QString::fromLatin1(name), 2, 44100)));
        ASSERT_TRUE(waitUntil([&] {
            const auto& tracks = c->ui.audioView->audioTracks;
            return !tracks.empty() && tracks.back().audioURL.fileName() == QLatin1String(name) &&
                   tracks.back().audioFilter->trackID != -1;
        }, 10000));
        EXPECT_EQ(player->currentItem(), nullptr);
    }
    EXPECT_EQ(c->library.trackCounter, 0u);
    EXPECT_FALSE(c->library.doNotUpdatePlayerSettings);
    EXPECT_EQ(c->currentComposition->trackCount(), 2);
    c->updatePlayerWithNewCompositionSettings();
    ASSERT_TRUE(waitUntil([&] { return c->shell.viewControlsEnabled; }));
    EXPECT_EQ(player->currentItem()->audioMix()->inputParameters().size(), 2u);
}

// A file dropped on a thumbnail replaces the selected track's file; one that
// cannot be read leaves the track and says why.
TEST_F(AddTrackTest, DropOnAThumbnailReplacesTheSelectedTracksFile) {
    setFields(0, 0);
    MusicFilter* t = addAndWait(writeTone(QStringLiteral("old.wav"), 4, 44100));
    ASSERT_TRUE(t);
    auto* thumbnail = qobject_cast<MusicView*>(t->imageView);
    const QString replacement = writeTone(QStringLiteral("new.wav"), 3, 48000);
    thumbnail->replaceAudioWithURL(QUrl::fromLocalFile(replacement));
    ASSERT_TRUE(waitUntil([&] {
        return c->ui.audioView->audioTracks.front().audioURL == QUrl::fromLocalFile(replacement);
    }, 10000));
    thumbnail->replaceAudioWithURL(QUrl::fromLocalFile(QStringLiteral("/nonexistent/x.wav")));
    ASSERT_TRUE(waitUntil([&] { return !alerts.empty(); }, 10000));
    EXPECT_EQ(c->ui.audioView->audioTracks.front().audioURL, QUrl::fromLocalFile(replacement));
    EXPECT_EQ(c->trackCount(), 1);
}

TEST_F(AddTrackTest, RemovingTheLastTrackLeavesThePlayerWithoutItem) {
    setFields(0, 0);
    ASSERT_TRUE(addAndWait(writeTone(QStringLiteral("r.wav"), 3, 44100)));
    ASSERT_NE(player->currentItem(), nullptr);
    c->removeTrackFromComposition(0);
    EXPECT_EQ(player->currentItem(), nullptr);
    EXPECT_EQ(c->currentComposition->trackCount(), 0);
    EXPECT_FALSE(c->shell.continueTimeObserver);
}

// Two tracks play together through their taps: both meters move.
TEST_F(AddTrackTest, TwoTracksPlayTogetherThroughTheAudioServer) {
    setFields(0, 0);
    MusicFilter* a = addAndWait(writeTone(QStringLiteral("p1.wav"), 6, 48000, 440, 0.5));
    MusicFilter* b = addAndWait(writeTone(QStringLiteral("p2.wav"), 6, 48000, 660, 0.25));
    ASSERT_TRUE(a && b);
    c->playPauseToggle();
    ASSERT_EQ(player->rate(), 1.0f);
    ASSERT_TRUE(waitUntil([&] { return a->leftChannelValue() > 0.1 && b->leftChannelValue() > 0.05; }));
    // RMS of a sine is its amplitude over the square root of two.
    EXPECT_NEAR(a->leftChannelValue(), 0.5 / std::sqrt(2.0), 0.05);
    EXPECT_NEAR(b->leftChannelValue(), 0.25 / std::sqrt(2.0), 0.05);
    ASSERT_TRUE(waitUntil([&] { return player->currentTime().seconds() > 0.5; }));
    c->playPauseToggle();
}

// A video's thumbnail shows a frame of it; an audio file without artwork
// shows a picture of its type.
TEST_F(AddTrackTest, VideoThumbnailShowsAFrame) {
    setFields(0, 0);
    const QString video = QDir(testsupport::tempDir()).filePath(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(runTool(QStringLiteral("ffmpeg"),
                        {"-v", "error", "-y", "-f", "lavfi", "-i", "color=c=red:size=320x240:rate=10:duration=3",
                         "-f", "lavfi", "-i", "sine=frequency=440:duration=3", "-shortest",
                         "-pix_fmt", "yuv420p", "-c:a", "aac", video}));
    MusicFilter* t = addAndWait(video);
    ASSERT_TRUE(t);
    auto* thumbnail = qobject_cast<MusicView*>(t->imageView);
    ASSERT_TRUE(thumbnail);
    ASSERT_TRUE(waitUntil([&] { return !thumbnail->image.isNull(); }));
    EXPECT_EQ(thumbnail->image.size(), QSize(320, 240));
    const QColor centre = thumbnail->image.pixelColor(160, 120);
    EXPECT_GT(centre.red(), 200);
    EXPECT_LT(centre.green(), 60);

    MusicFilter* audio = addAndWait(writeTone(QStringLiteral("plain.wav"), 2, 44100));
    ASSERT_TRUE(audio);
    auto* audioThumbnail = qobject_cast<MusicView*>(audio->imageView);
    ASSERT_TRUE(waitUntil([&] { return !audioThumbnail->image.isNull(); }));
}

// The import panel: the file is added after the panel has closed; a
// cancelled panel adds nothing but still pauses.
TEST_F(AddTrackTest, ImportPanelAddsTheChosenFileAfterItCloses) {
    setFields(0, 0);
    const QString path = writeTone(QStringLiteral("chosen.wav"), 3, 44100);
    int panels = 0;
    OpenPanelRequest seen;
    setOpenPanelRunner([&](QWidget*, const OpenPanelRequest& request) {
        ++panels;
        seen = request;
        EXPECT_EQ(c->trackCount(), 0);
        return QUrl::fromLocalFile(path);
    });
    c->importAudioFileFrom();
    EXPECT_EQ(panels, 1);
    EXPECT_EQ(seen.title, "Select Audio File");
    EXPECT_EQ(seen.prompt, "Import");
    EXPECT_EQ(seen.message, "Select the audio/video file you want to import.");
    EXPECT_EQ(c->trackCount(), 0);  // not from inside the panel
    ASSERT_TRUE(waitUntil([&] { return c->trackCount() == 1; }, 10000));

    ASSERT_TRUE(waitUntil([&] { return c->shell.viewControlsEnabled; }, 10000));
    c->playPauseToggle();
    ASSERT_EQ(player->rate(), 1.0f);
    setOpenPanelRunner([&](QWidget*, const OpenPanelRequest&) { return QUrl(); });
    c->importAudioFileFrom();
    EXPECT_EQ(player->rate(), 0.0f);
    testsupport::spin(100);
    EXPECT_EQ(c->trackCount(), 1);
    setOpenPanelRunner({});
}

// The real panel shows its title, prompt and message; cancelling it gives
// no file.
TEST_F(AddTrackTest, OpenPanelShowsItsMessage) {
    const OpenPanelRequest request{QStringLiteral("Select Audio File"),
                                   QStringLiteral("Select the audio/video file you want to import."),
                                   QStringLiteral("Import"), QStringLiteral("Audio files (*.wav)")};
    QString title, message;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        QWidget* panel = QApplication::activeModalWidget();
        ASSERT_TRUE(panel);
        title = panel->windowTitle();
        for (auto* label : panel->findChildren<QLabel*>())
            if (label->isVisible() && label->text() == request.message) message = label->text();
        for (auto* button : panel->findChildren<QPushButton*>())
            if (button->isVisible()) buttons << button->text();
        qobject_cast<QDialog*>(panel)->reject();
    });
    EXPECT_TRUE(runOpenPanel(c->ui.window, request).isEmpty());
    EXPECT_EQ(title, request.title);
    EXPECT_EQ(message, request.message);
    EXPECT_TRUE(buttons.contains(request.prompt)) << buttons.join(", ").toStdString();
}

}  // namespace
