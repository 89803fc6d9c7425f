// Odd but valid media files imported as the user imports them: each becomes
// a track that renders offline at its own length with its channels where
// they belong, or is refused with a reason and leaves nothing in the
// decoded-audio cache.
#include "TrackListFixture.h"

#include "platform/media/DecodedCache.h"

#include <QDir>
#include <QProcess>

namespace {

// Every generated file carries 300 Hz in its first channel and 500 Hz in its
// second (mono files: 300 Hz only).
const QString Stereo = QStringLiteral("aevalsrc=exprs=0.5*sin(2*PI*300*t)|0.5*sin(2*PI*500*t)");

bool ffmpeg(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

struct OddFile {
    const char* name;
    QStringList args;  // ffmpeg's arguments before the output file
    int channels;      // 0: refused
    double rate;       // 0: any
    double seconds;    // the decoded length
    double tolerance;  // on the length, in seconds (0: exact)
};

class OddInputsTest : public TrackListTest {
protected:
    static void SetUpTestSuite() { dir_ = new QString(testsupport::tempDir()); }
    static void TearDownTestSuite() { delete dir_; }

    static QString pathOf(const QString& name) { return QDir(*dir_).filePath(name); }

    // Two MP3 files at different sample rates, one after the other in one
    // file: the decoder meets a new rate half-way through.
    static bool writeRateChangeMp3(const QString& path) {
        const QString a = pathOf(QStringLiteral("part-44100.mp3")), b = pathOf(QStringLiteral("part-32000.mp3"));
        for (const auto& [part, rate] : {std::pair{a, 44100}, std::pair{b, 32000}})
            if (!ffmpeg({"-f", "lavfi", "-i", Stereo + QStringLiteral(":s=%1:d=0.5").arg(rate), "-c:a",
                         "libmp3lame", "-write_xing", "0", "-id3v2_version", "0", part}))
                return false;
        QFile out(path), first(a), second(b);
        if (!out.open(QIODevice::WriteOnly) || !first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly))
            return false;
        return out.write(first.readAll()) > 0 && out.write(second.readAll()) > 0;
    }

    struct Rendered {
        std::vector<float> left, right;
    };
    // The composition's mix rendered offline at 44.1 kHz, from start to end.
    Rendered render() {
        Rendered r;
        // A tap is run by one render at a time: the player lets go of its
        // item (and the taps in it) before the reader pulls them.
        player->replaceCurrentItem(nullptr);
        auto reader = AssetReader::create(c->currentComposition->copy());
        if (!reader) return r;
        std::vector<int32_t> ids;
        for (const auto* t : c->currentComposition->tracks()) ids.push_back(t->trackID());
        auto out = std::make_shared<AssetReaderAudioMixOutput>(ids, AssetReaderAudioMixOutput::Settings{44100, 2});
        out->setAudioMix(c->currentAudioMix->copy());
        reader->addOutput(out);
        if (!reader->startReading()) return r;
        while (auto b = out->copyNextSampleBuffer()) {
            r.left.insert(r.left.end(), b->left.begin(), b->left.end());
            r.right.insert(r.right.end(), b->right.begin(), b->right.end());
        }
        return r;
    }

    // Upward zero crossings per second over [from, to) seconds at 44.1 kHz.
    static double frequency(const std::vector<float>& v, double from, double to) {
        const size_t a = size_t(from * 44100), b = std::min(v.size(), size_t(to * 44100));
        if (b <= a + 1) return -1;
        int crossings = 0;
        for (size_t i = a + 1; i < b; ++i)
            if (v[i - 1] < 0 && v[i] >= 0) ++crossings;
        return crossings / (double(b - a) / 44100);
    }

    static QStringList cacheFiles() {
        return QDir(DecodedCache::folder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    static QString* dir_;
};

QString* OddInputsTest::dir_ = nullptr;

TEST_F(OddInputsTest, EachImportsAndRendersOrIsRefusedCleanly) {
    const auto tone = [](int rate, double seconds = 0.5) {
        return QStringList{"-f", "lavfi", "-i", Stereo + QStringLiteral(":s=%1:d=%2").arg(rate).arg(seconds)};
    };
    const OddFile cases[] = {
        {"mono.wav", {"-f", "lavfi", "-i", "aevalsrc=exprs=0.5*sin(2*PI*300*t):s=44100:d=0.5"}, 1, 44100, 0.5, 0},
        {"six channels.wav",
         {"-f", "lavfi", "-i",
          "aevalsrc=exprs=0.5*sin(2*PI*300*t)|0.5*sin(2*PI*500*t)|0.1*sin(2*PI*700*t)|0.1*sin(2*PI*900*t)|"
          "0.1*sin(2*PI*1100*t)|0.1*sin(2*PI*1300*t):c=5.1:s=48000:d=0.5"},
         6, 48000, 0.5, 0},
        {"8k.wav", tone(8000), 2, 8000, 0.5, 0},
        {"96k.wav", tone(96000), 2, 96000, 0.5, 0},
        {"192k.wav", tone(192000), 2, 192000, 0.5, 0},
        {"8-bit.wav", tone(44100) + QStringList{"-c:a", "pcm_u8"}, 2, 44100, 0.5, 0},
        {"24-bit.wav", tone(44100) + QStringList{"-c:a", "pcm_s24le"}, 2, 44100, 0.5, 0},
        {"float.wav", tone(44100) + QStringList{"-c:a", "pcm_f32le"}, 2, 44100, 0.5, 0},
        {"24-bit.aiff", tone(48000) + QStringList{"-c:a", "pcm_s24be"}, 2, 48000, 0.5, 0},
        {"one frame.wav", tone(44100) + QStringList{"-af", "atrim=end_sample=1"}, 2, 44100, 1.0 / 44100, 0},
        // The first audio stream is the track.
        {"two streams.mkv",
         tone(44100) + QStringList{"-f", "lavfi", "-i", "aevalsrc=exprs=0.5*sin(2*PI*700*t):s=22050:d=0.3",
                                   "-map", "0", "-map", "1", "-c:a", "pcm_s16le"},
         2, 44100, 0.5, 0},
        {"no audio.mp4",
         {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=1", "-an", "-pix_fmt", "yuv420p"}, 0, 0, 0, 0},
        // Each half carries its encoder's delay and padding (about 0.05 s);
        // its length is an estimate, its rate either of the two.
        {"rate change.mp3", {}, 2, 0, 1.0, 0.1},
        {"трек с пробелами 音楽.wav", tone(44100), 2, 44100, 0.5, 0},
    };
    for (const OddFile& odd : cases) {
        const QString name = QString::fromUtf8(odd.name);
        SCOPED_TRACE(odd.name);
        const QString path = pathOf(name);
        ASSERT_TRUE(odd.args.isEmpty() ? writeRateChangeMp3(path) : ffmpeg(odd.args + QStringList{path}));
        setFields(QStringLiteral("0"), QStringLiteral("0"));
        const QStringList cacheBefore = cacheFiles();
        alerts.clear();

        if (odd.channels == 0) {
            const int undos = c->undoManager()->undoCount();
            c->addAudioFileToComposition(QUrl::fromLocalFile(path));
            ASSERT_TRUE(testsupport::waitUntil([&] { return !alerts.empty(); }, 10000));
            EXPECT_EQ(alerts.front().messageText, QStringLiteral("The file “%1” could not be added.").arg(name));
            EXPECT_EQ(alerts.front().informativeText, QStringLiteral("The file has no audio track."));
            EXPECT_TRUE(tracks().empty());
            EXPECT_EQ(c->undoManager()->undoCount(), undos);
            EXPECT_EQ(cacheFiles(), cacheBefore);
            continue;
        }

        auto track = append(path);
        ASSERT_TRUE(track && track->audioTrack);
        EXPECT_TRUE(alerts.empty()) << alerts.front().informativeText.toStdString();
        waitForReadyItem();
        EXPECT_EQ(track->audioTrack->channelCount(), odd.channels);
        if (odd.rate > 0) EXPECT_EQ(track->audioTrack->sampleRate(), odd.rate);
        EXPECT_EQ(text(track->audioLabel), name);
        EXPECT_NEAR(track->durationInSeconds, odd.seconds, odd.tolerance + 1e-9);
        const auto decoded = track->audioTrack->decodedSource();
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->channelCount(), odd.channels);
        EXPECT_EQ(decoded->sampleRate(), track->audioTrack->sampleRate());
        EXPECT_NEAR(decoded->durationSeconds(), track->durationInSeconds, odd.tolerance + 1e-9);

        const Rendered mix = render();
        EXPECT_NEAR(double(mix.left.size()), track->durationInSeconds * 44100, 1.0);
        EXPECT_EQ(mix.left.size(), mix.right.size());
        if (odd.seconds >= 0.5) {
            // The first channel on the left, the second on the right (a mono
            // file on both), at the pitch it was written at all the way.
            const double end = double(mix.left.size()) / 44100;
            const double right = odd.channels == 1 ? 300 : 500;
            for (const auto& [from, to] : {std::pair{0.05, 0.45}, std::pair{end - 0.4, end - 0.05}}) {
                SCOPED_TRACE(from);
                EXPECT_NEAR(frequency(mix.left, from, to), 300, 8);
                EXPECT_NEAR(frequency(mix.right, from, to), right, 8);
            }
        }
        undo();
        ASSERT_TRUE(tracks().empty());
    }
}

}  // namespace
