// Recording through the test JACK server: a JACK client of the test plays a
// 440 Hz tone into the application's input ports while the record button's
// path, or the simple recorder's, counts down, records and saves.
#include "app/ControllerFixture.h"
#include "platform/core/AppPaths.h"
#include "platform/audio/AudioInput.h"
#include "platform/audio/PortAudioUse.h"
#include "platform/media/AudioFileReader.h"
#include "platform/media/AudioFileWriter.h"
#include "platform/media/AudioRecorder.h"
#include "platform/media/CaptureSession.h"
#include "support/Signals.h"
#include "views/FloatSlider.h"
#include "views/MusicView.h"
#include "views/PopoverPlacement.h"
#include "views/RecordingViews.h"

extern "C" {
#include <libavformat/avformat.h>
}
#include <jack/jack.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <atomic>
#include <cmath>

namespace {

// A JACK client that plays a sine into every input port of the application.
class ToneClient {
public:
    // `rmsDb`: the tone's level as its RMS in dB of full scale.
    ToneClient(double frequency, double rmsDb) : frequency_(frequency) {
        amplitude_ = std::sqrt(2.0) * std::pow(10.0, rmsDb / 20.0);
        client_ = jack_client_open("trevalune-tone", JackNoStartServer, nullptr);
        if (!client_) return;
        port_ = jack_port_register(client_, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        rate_ = jack_get_sample_rate(client_);
        jack_set_process_callback(client_, &ToneClient::process, this);
        jack_activate(client_);
    }
    ~ToneClient() {
        if (client_) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }
    bool ok() const { return client_ && port_; }

    // Connects the tone to the application's input ports; how many it reached.
    int connectToApplication() {
        int connected = 0;
        const char** ports = jack_get_ports(client_, "^Trevalune", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
        for (int i = 0; ports && ports[i]; ++i) {
            // Only this process's ports: other test programs record at the same time.
            const QString client = QString::fromUtf8(ports[i]).section(QLatin1Char(':'), 0, 0);
            if (client != audioinput::jackClientName()) continue;
            const int result = jack_connect(client_, jack_port_name(port_), ports[i]);
            if (result == 0 || result == EEXIST) ++connected;
        }
        if (ports) jack_free(ports);
        return connected;
    }

private:
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<ToneClient*>(arg);
        auto* out = static_cast<float*>(jack_port_get_buffer(self->port_, frames));
        for (jack_nframes_t i = 0; i < frames; ++i) {
            out[i] = float(self->amplitude_ * std::sin(self->phase_));
            self->phase_ += 2 * M_PI * self->frequency_ / self->rate_;
            if (self->phase_ > 2 * M_PI) self->phase_ -= 2 * M_PI;
        }
        return 0;
    }
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    double frequency_;
    double amplitude_ = 0;
    double rate_ = 48000;
    double phase_ = 0;
};

// The codec of the file's first audio stream, its rate and channels.
struct StreamInfo {
    AVCodecID codec = AV_CODEC_ID_NONE;
    int rate = 0;
    int channels = 0;
};
StreamInfo probe(const QString& path) {
    StreamInfo info;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.toUtf8().constData(), nullptr, nullptr) < 0) return info;
    avformat_find_stream_info(format, nullptr);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* p = format->streams[i]->codecpar;
        if (p->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        info = {p->codec_id, p->sample_rate, p->ch_layout.nb_channels};
        break;
    }
    avformat_close_input(&format);
    return info;
}

// Whether the JACK server still has a client of that name (a client of the
// test takes the exact name only when it is free).
bool jackClientExists(const QString& name) {
    jack_status_t status{};
    jack_client_t* probe = jack_client_open(name.toUtf8().constData(),
                                            jack_options_t(JackNoStartServer | JackUseExactName), &status);
    if (!probe) return true;
    jack_client_close(probe);
    return false;
}

QStringList recordedFiles() {
    return QDir(apppaths::recordedFilesFolder()).entryList(QDir::Files | QDir::NoDotAndDotDot);
}

class RecordingTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        QDir(apppaths::recordedFilesFolder()).removeRecursively();
        folder = testsupport::tempDir();
    }
    void TearDown() override {
        c->resetCaptureSession();
        c->resetAVAudioRecorderSession();
        testsupport::waitUntil([&] { return !c->recording.captureSession && !c->recording.audioRecorder; });
        ControllerTest::TearDown();
    }
    // Waits for the save sheet and answers it with `destination` (or cancels
    // with an empty one).
    void answerSaveSheet(const QString& destination, bool addToLibrary) {
        ASSERT_TRUE(testsupport::waitUntil([&] { return bool(c->recording.savePanel); }, 10000));
        EXPECT_FALSE(c->ui.recordingAddToTrevaluneLibraryCheck->isChecked()) << "off at every opening";
        c->ui.recordingAddToTrevaluneLibraryCheck->setChecked(addToLibrary);
        if (destination.isEmpty()) {
            c->recording.savePanel->reject();
        } else {
            c->recording.savePanel->setDirectory(QFileInfo(destination).absolutePath());
            // What the user types into the name field.
            auto* name = c->recording.savePanel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_TRUE(name);
            name->setText(QFileInfo(destination).fileName());
            // The replace question is the panel's own; the test answers yes.
            c->recording.savePanel->setOption(QFileDialog::DontConfirmOverwrite);
            QMetaObject::invokeMethod(c->recording.savePanel.data(), "accept");
        }
    }

    bool hasTrack(const QString& path) {
        for (const TrackRecord& r : c->ui.audioView->audioTracks)
            if (r.audioURL == QUrl::fromLocalFile(path)) return true;
        return false;
    }

    QString folder;
};

TEST_F(RecordingTest, RecordsTheToneThroughTheCapturePathAndSavesItAsATrackAndInTheLibrary) {
    ToneClient tone(440.0, -20.0);
    ASSERT_TRUE(tone.ok());

    // The device popover lists the inputs and selects the default one.
    c->startCaptureSessionFrom();
    ASSERT_TRUE(testsupport::waitUntil([&] { return c->ui.recordingInfoPopover->isVisible(); }));
    const auto preferred = audioinput::defaultDevice();
    ASSERT_TRUE(preferred);
    ASSERT_GT(c->ui.recordingDevicesPopUp->count(), 0);
    EXPECT_EQ(c->ui.recordingDevicesPopUp->currentText(), preferred->localizedName);
    EXPECT_EQ(c->recording.recordingDevices.value(c->ui.recordingDevicesPopUp->currentIndex()), preferred->uniqueID);

    // The count-down: 3, 2, 1, 0, and the file output starts at the third tick.
    c->ui.recordingStartButton->click();
    EXPECT_FALSE(c->ui.recordingInfoPopover->isVisible());
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->ui.recordLabel->isHidden(); }, 10000));
    EXPECT_EQ(c->ui.recordLabel->text(), QStringLiteral("Start: 3"));
    EXPECT_FALSE(!c->ui.recordView->isHidden());
    ASSERT_TRUE(testsupport::waitUntil([&] { return tone.connectToApplication() > 0; }));
    const QString inputClient = audioinput::jackClientName();
    ASSERT_FALSE(inputClient.isEmpty());
    QStringList seen{c->ui.recordLabel->text()};
    bool recordingBeforeZero = false;
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            if (seen.last() != c->ui.recordLabel->text()) seen.append(c->ui.recordLabel->text());
            if (c->ui.recordView->sessionIsRunning && !seen.contains(QStringLiteral("Start: 0")))
                recordingBeforeZero = true;
            return c->ui.recordView->sessionIsRunning;
        },
        10000));
    EXPECT_EQ(seen, (QStringList{"Start: 3", "Start: 2", "Start: 1", "Start: 0"}));
    EXPECT_FALSE(recordingBeforeZero);
    EXPECT_TRUE(!c->ui.timerLabel->isHidden());
    EXPECT_EQ(c->ui.timerLabel->text(), QStringLiteral("00:00:00"));
    EXPECT_TRUE(!c->ui.waveButton->isHidden());
    EXPECT_TRUE(c->ui.recordingWavePopover->isVisible());

    // The tone at -20 dB reaches the meter as 0.1, on both bars, and the waveform.
    ASSERT_TRUE(testsupport::waitUntil([&] { return c->ui.timerLabel->text() == "00:00:02"; }, 6000));
    EXPECT_NEAR(c->ui.recordingMeteringView->leftChannelValue, 0.1, 0.01);
    EXPECT_NEAR(c->ui.recordingMeteringView->rightChannelValue, 0.1, 0.01);
    EXPECT_GT(c->ui.recordingWaveView->waveTimes.size(), 10u);

    // Stop, then the sheet: the file becomes a track and goes to the library.
    const double recorded = c->recording.captureSession->outputs().front()->recordedDuration();
    QTest::mouseClick(c->ui.recordView, Qt::LeftButton);
    // The live waveform goes with the recording, before the sheet asks.
    ASSERT_TRUE(testsupport::waitUntil([&] { return bool(c->recording.savePanel); }, 10000));
    EXPECT_FALSE(c->ui.recordingWavePopover->isVisible());
    const QString destination = folder + "/Take.m4a";
    answerSaveSheet(destination, true);
    ASSERT_TRUE(testsupport::waitUntil([&] { return QFile::exists(destination); }, 10000));
    ASSERT_TRUE(testsupport::waitUntil([&] { return hasTrack(destination); }, 10000));
    EXPECT_TRUE(recordedFiles().isEmpty());
    // The library copies the file off the main thread.
    EXPECT_TRUE(testsupport::waitUntil([&] { return QFile::exists(apppaths::mediaLibraryFolder() + "/Take.m4a"); }));
    EXPECT_TRUE(testsupport::waitUntil([&] { return c->library.libraryCopiesRunning == 0 && c->library.pendingLibraryPictures.isEmpty(); }, 20000));
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->recording.captureSession; }));
    EXPECT_FALSE(c->ui.recordView->sessionIsRunning);
    EXPECT_TRUE(c->ui.waveButton->isHidden());
    // Nothing records: the meter is down, and the input's JACK client goes,
    // so that the server no longer wakes the application every period.
    EXPECT_EQ(c->ui.recordingMeteringView->leftChannelValue, 0.0);
    EXPECT_EQ(c->ui.recordingMeteringView->rightChannelValue, 0.0);
    EXPECT_TRUE(testsupport::waitUntil([&] { return !PortAudioUse::isSetUp(); }, 10000));
    EXPECT_FALSE(jackClientExists(inputClient)) << inputClient.toStdString();

    const StreamInfo info = probe(destination);
    EXPECT_EQ(info.codec, AV_CODEC_ID_AAC);
    EXPECT_EQ(info.rate, 48000);
    EXPECT_EQ(info.channels, 2);
    auto reader = AudioFileReader::open(destination);
    ASSERT_TRUE(reader);
    EXPECT_NEAR(reader->durationSeconds(), recorded, 0.3);
    testsupport::Signal left(size_t(reader->length())), right(size_t(reader->length()));
    float* planes[2] = {left.data(), right.data()};
    reader->read(planes, reader->length());
    const size_t middle = left.size() / 2;
    EXPECT_NEAR(testsupport::peakFrequency(left.data() + middle, 16384, 48000), 440.0, 2.0);
    EXPECT_NEAR(testsupport::levelDb(right, middle, middle + 48000), -20.0, 1.0);
}

TEST_F(RecordingTest, TheWaveformWindowMovesOnlyPastSixtySeconds) {
    c->showAudioLevels(-20.0, -40.0, 59.9);
    EXPECT_NEAR(c->ui.recordingMeteringView->leftChannelValue, 0.1, 1e-9);
    EXPECT_NEAR(c->ui.recordingMeteringView->rightChannelValue, 0.01, 1e-9);
    c->showAudioLevels(-20.0, -20.0, 60.0);
    EXPECT_EQ(c->ui.recordingWaveView->timeCounter, 0u);
    EXPECT_EQ(c->ui.recordingWaveView->waveTimes.size(), 2u);
    c->showAudioLevels(0.0, -20.0, 60.1);
    EXPECT_EQ(c->ui.recordingWaveView->timeCounter, 1u);
    ASSERT_EQ(c->ui.recordingWaveView->waveTimes.size(), 1u);
    EXPECT_NEAR(c->ui.recordingWaveView->waveTimes[0], 0.1, 1e-9);
    EXPECT_EQ(c->ui.recordingWaveView->wavePoints[0], QPointF(1.0, 1.0));  // the larger channel
    EXPECT_EQ(c->ui.leftRecordingLabel->text(), QStringLiteral("00:01:00"));
    EXPECT_EQ(c->ui.centerRecordingLabel->text(), QStringLiteral("00:01:30"));
    EXPECT_EQ(c->ui.rightRecordingLabel->text(), QStringLiteral("00:02:00"));
}

TEST_F(RecordingTest, FileNamesSkipFoldersAndTheFolderKeepsThem) {
    const QString recorded = c->getAppSupportRecordingPath();
    EXPECT_EQ(AudioController::recordingFileURL(recorded).fileName(), QStringLiteral("myRecord.m4a"));
    QDir(recorded).mkdir("myRecord.m4a");
    QDir(recorded).mkdir("myRecord_2.m4a");
    QFile stray(recorded + "/old.m4a");
    ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
    stray.close();
    EXPECT_EQ(AudioController::recordingFileURL(recorded).fileName(), QStringLiteral("myRecord_3.m4a"));
    c->clearRecordingPath();
    EXPECT_TRUE(recordedFiles().isEmpty());
    EXPECT_TRUE(QFileInfo(recorded + "/myRecord_2.m4a").isDir());
}

// A recording in the working folder, as the writers leave one.
QUrl fakeRecording(AudioController* c) {
    const QUrl url = AudioController::recordingFileURL(c->getAppSupportRecordingPath());
    testsupport::writeWav(url.toLocalFile(), {testsupport::sine(440, 48000, 4800)}, 48000);
    return url;
}

TEST_F(RecordingTest, TheSheetCancelledEmptiesTheFolderAndATracksFileIsNeverOverwritten) {
    c->copyRecordedAudioWithSavePanel(fakeRecording(c));
    answerSaveSheet({}, false);
    EXPECT_TRUE(recordedFiles().isEmpty());

    // The destination is the file a track plays: nothing is written or added.
    const QString played = folder + "/played.m4a";
    QFile file(played);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("the track's own bytes");
    file.close();
    c->ui.audioView->audioTracks.push_back(TrackRecord{QUrl::fromLocalFile(played), nullptr, {}});
    const auto before = c->ui.audioView->audioTracks.size();
    c->copyRecordedAudioWithSavePanel(fakeRecording(c));
    answerSaveSheet(played, false);
    testsupport::spin(100);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("the track's own bytes"));
    EXPECT_EQ(c->ui.audioView->audioTracks.size(), before);
    EXPECT_TRUE(recordedFiles().isEmpty());
}

TEST_F(RecordingTest, AFailedCopyKeepsTheRecordingAndSaysSo) {
    const QUrl recording = fakeRecording(c);
    // A destination inside a file cannot be written.
    QFile blocker(folder + "/not-a-folder");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    c->saveRecordedAudio(recording, QUrl::fromLocalFile(folder + "/not-a-folder/take.m4a"));
    EXPECT_TRUE(QFile::exists(recording.toLocalFile()));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, QStringLiteral("The recording could not be saved."));

    // Over an existing file, the old one is replaced only by a complete copy.
    const QString existing = folder + "/existing.m4a";
    QFile old(existing);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    const qint64 size = QFileInfo(recording.toLocalFile()).size();
    c->saveRecordedAudio(recording, QUrl::fromLocalFile(existing));
    EXPECT_EQ(QFileInfo(existing).size(), size);
    EXPECT_TRUE(recordedFiles().isEmpty());
    EXPECT_FALSE(QFile::exists(temporaryPathFor(existing)));
}

// A popover opens under its anchor when the screen has room there, over it
// when only that side has room, and always inside the screen.
TEST(PopoverPlacement, OpensOnTheSideWhereItFits) {
    const QRect screen(0, 0, 1600, 1000);
    const struct {
        const char* name;
        QRect anchor;
        QSize size;
        QPoint expected;
    } cases[] = {
        {"room below", {400, 100, 800, 20}, {240, 120}, {680, 120}},
        {"room above only", {400, 950, 800, 20}, {240, 120}, {680, 830}},
        {"exactly enough below", {400, 860, 800, 20}, {240, 120}, {680, 880}},
        {"neither side: kept on the screen", {400, 300, 800, 20}, {240, 900}, {680, 100}},
        {"at the right edge", {1500, 100, 100, 20}, {240, 120}, {1360, 120}},
        {"at the left edge", {0, 100, 40, 20}, {240, 120}, {0, 120}},
        {"wider than the screen", {400, 100, 800, 20}, {2000, 120}, {0, 120}},
    };
    for (const auto& k : cases) EXPECT_EQ(popoverOrigin(k.anchor, k.size, screen), k.expected) << k.name;
    // A screen that does not start at the origin.
    EXPECT_EQ(popoverOrigin({1700, 1150, 100, 20}, {240, 120}, {1600, 200, 800, 1000}), QPoint(1630, 1030));
}

// With the window over the whole screen, the device popover opens over the
// position slider, where its Record button can be reached.
TEST_F(RecordingTest, TheDevicePopoverStaysOnTheScreenWithTheWindowFilled) {
    QWidget* window = c->ui.window;
    const QRect room = window->screen()->availableGeometry();
    window->setGeometry(room);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    testsupport::spin(300);  // the layout settles at its new size
    c->startCaptureSessionFrom();
    ASSERT_TRUE(testsupport::waitUntil([&] { return c->ui.recordingInfoPopover->isVisible(); }));
    const QRect popover = c->ui.recordingInfoPopover->frameGeometry();
    EXPECT_TRUE(room.contains(popover)) << popover.y() << "+" << popover.height() << " in " << room.height();
    const QRect button(c->ui.recordingStartButton->mapToGlobal(QPoint(0, 0)), c->ui.recordingStartButton->size());
    EXPECT_TRUE(room.contains(button));
    const QPoint slider = c->ui.audioSlider->mapToGlobal(QPoint(0, 0));
    // No room below: it opens over the slider, leaving the slider's knob free.
    if (slider.y() + c->ui.audioSlider->height() + popover.height() > room.bottom() + 1) {
        EXPECT_LT(popover.bottom(), slider.y() + c->ui.audioSlider->height() / 2) << "over the slider";
    }
    c->ui.recordingInfoPopover->hide();
}

TEST_F(RecordingTest, AResetDuringTheCountDownStartsNothing) {
    c->startCaptureSessionFrom();
    ASSERT_TRUE(testsupport::waitUntil([&] { return c->ui.recordingInfoPopover->isVisible(); }));
    c->processCaptureSessionFrom();
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->ui.recordLabel->isHidden(); }, 10000));
    c->resetCaptureSession();
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->recording.captureSession; }));
    EXPECT_FALSE(c->recording.recordTimer);
    // Past the count-down's end: nothing started, nothing written.
    testsupport::spin(3500);
    EXPECT_TRUE(recordedFiles().isEmpty());
    EXPECT_FALSE(c->ui.recordView->sessionIsRunning);
    EXPECT_TRUE(c->ui.recordView->recordViewAcceptsMouseDown);
    EXPECT_EQ(c->ui.recordLabel->text(), QStringLiteral("Record Audio"));
    EXPECT_FALSE(!c->ui.recordLabel->isHidden());

    // The recorder path likewise.
    c->startAVAudioRecorderSessionFrom();
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->ui.recordLabel->isHidden(); }, 10000));
    c->resetAVAudioRecorderSession();
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->recording.audioRecorder; }));
    testsupport::spin(3500);
    EXPECT_TRUE(recordedFiles().isEmpty());
    EXPECT_FALSE(!c->ui.timerLabel->isHidden());
}

TEST_F(RecordingTest, TheRecorderPathRecordsTheDefaultInputAndSaves) {
    ToneClient tone(440.0, -20.0);
    ASSERT_TRUE(tone.ok());
    c->ui.startRecorderAction->trigger();
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->ui.recordLabel->isHidden(); }, 10000));
    EXPECT_EQ(c->ui.recordLabel->text(), QStringLiteral("Start: 3"));
    ASSERT_TRUE(testsupport::waitUntil([&] { return tone.connectToApplication() > 0; }));
    ASSERT_TRUE(testsupport::waitUntil([&] { return c->ui.timerLabel->text() == "00:00:01"; }, 10000));
    EXPECT_EQ(c->ui.recordLabel->text(), QStringLiteral("Start: 0"));
    EXPECT_FALSE(!c->ui.waveButton->isHidden());
    // The record button does not end this path; the menu item does.
    QTest::mouseClick(c->ui.recordView, Qt::LeftButton);
    testsupport::spin(200);
    EXPECT_TRUE(c->recording.audioRecorder && c->recording.audioRecorder->isRecording());
    c->ui.endRecorderAction->trigger();
    const QString destination = folder + "/Recorder.m4a";
    answerSaveSheet(destination, false);
    ASSERT_TRUE(testsupport::waitUntil([&] { return hasTrack(destination); }, 10000));
    EXPECT_TRUE(recordedFiles().isEmpty());
    auto reader = AudioFileReader::open(destination);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->sampleRate(), 48000);
    EXPECT_GT(reader->durationSeconds(), 0.9);
    // The recorder is gone with its recording, and the input with it.
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->recording.audioRecorder; }, 10000));
    EXPECT_TRUE(testsupport::waitUntil([&] { return !PortAudioUse::isSetUp(); }, 10000));
}

}  // namespace
