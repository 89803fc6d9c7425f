// Recording from an audio input: the capture path (the record button, a
// device popover, a level meter and a live waveform) and the simple
// recorder on the default input, both counting down from "Start: 3" and
// ending in the save sheet that adds the recording as a track.

#include "app/Alerts.h"
#include "app/AudioController.h"
#include "platform/audio/AudioInput.h"
#include "platform/core/AppPaths.h"
#include "platform/core/MainQueue.h"
#include "platform/core/PartialFiles.h"
#include "platform/core/TimeText.h"
#include "platform/media/AudioRecorder.h"
#include "platform/media/CaptureSession.h"
#include "views/AudioView.h"
#include "views/FloatSlider.h"
#include "views/MusicView.h"
#include "views/PopoverPlacement.h"
#include "views/RecordingViews.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <thread>

namespace {

const QString RecordedName = QStringLiteral("myRecord");
const QString RecordedExtension = QStringLiteral("m4a");

// AAC in m4a, 48 kHz, 192 kbit/s, two channels: both paths record this.
AudioFileWriter::Settings recordingSettings() {
    AudioFileWriter::Settings settings;
    settings.format = AudioFileWriter::Format::M4A;
    settings.sampleRate = 48000.0;
    settings.channelCount = 2;
    settings.bitRate = 192000;
    return settings;
}

// Places `label` with its bottom-left corner at (x, y) of its parent,
// measured from the parent's bottom left.
void placeAtOrigin(QLabel* label, int x, int y) {
    if (!label || !label->parentWidget()) return;
    label->move(x, label->parentWidget()->height() - y - label->height());
}

// Shows `popover` beside `anchor`, on the side where it fits.
void showPopover(QWidget* popover, QWidget* anchor) { showPopoverBeside(popover, anchor); }

void runOnBackgroundThread(std::function<void()> work) { std::thread(std::move(work)).detach(); }

void stopTimer(QPointer<QTimer>& timer) {
    if (timer) {
        timer->stop();
        timer->deleteLater();
    }
    timer = nullptr;
}

// The first steps of both recording paths: the working folder emptied and
// the player paused; then, in a later turn of the main loop, `next` when
// `mayRecord` allows the input.
void prepareToRecord(AudioController& c, bool (AudioController::*mayRecord)(), void (AudioController::*next)()) {
    c.clearRecordingPath();
    if (c.audioPlayer && c.audioPlayer->rate() != 0) c.audioPlayer->pause();
    QPointer<AudioController> self(&c);
    MainQueue::async([self, mayRecord, next] {
        if (self && ((*self).*mayRecord)()) ((*self).*next)();
    });
}

// The alert of a recording that stopped on an error, after the event that
// reports it.
void alertRecordingStopped(AudioController& c, const QString& error) {
    QPointer<AudioController> self(&c);
    MainQueue::async([self, error] {
        if (self)
            runModalAlert(self->ui.window, {QStringLiteral("The recording stopped."), error, {QStringLiteral("OK")}});
    });
}

// The live waveform empty, for the next session.
void clearWaveView(RecordingWaveView* wave) {
    if (!wave) return;
    wave->wavePoints.clear();
    wave->waveTimes.clear();
    wave->timeCounter = 0;
    wave->update();
}

// One second of the count-down before a recording: the label shows the
// seconds left; true on the tick that ends it.
bool countDownEnds(AudioController& c) {
    if (c.ui.recordLabel) {
        c.ui.recordLabel->setText(QStringLiteral("Start: %1").arg(3 - qint64(c.recording.recordCalls)));
        c.ui.recordLabel->repaint();
    }
    c.recording.recordCalls += 1;
    return c.recording.recordCalls == 4;
}

// What both recording paths show once the recording runs: the record
// button as the stop square, no record label, and the elapsed time at 0,
// its label at `timerY`, ticking every second (also while a menu is open).
void showRecordingRuns(AudioController& c, int timerY) {
    if (c.ui.recordView) {
        c.ui.recordView->show();
        c.ui.recordView->sessionIsRunning = true;
        c.ui.recordView->recordViewAcceptsMouseDown = true;
        c.ui.recordView->update();
    }
    if (c.ui.recordLabel) c.ui.recordLabel->hide();
    if (c.ui.timerLabel) {
        placeAtOrigin(c.ui.timerLabel, 50, timerY);
        c.ui.timerLabel->setText(timeText(0));
        c.ui.timerLabel->show();
    }
    c.recording.recordCalls = 0;
    stopTimer(c.recording.timeTimer);
    c.recording.timeTimer = new QTimer(&c);
    QObject::connect(c.recording.timeTimer, &QTimer::timeout, &c, [&c] { c.updateTimerLabel(); });
    c.recording.timeTimer->start(1000);
}

// What both recording paths put back when a session ends: the labels, the
// timers and the record view ready for the next press.
void resetRecordingControls(AudioController& c) {
    if (c.ui.recordLabel) {
        c.ui.recordLabel->setText(QStringLiteral("Record Audio"));
        c.ui.recordLabel->hide();
    }
    if (c.ui.timerLabel) {
        c.ui.timerLabel->setText(QStringLiteral("Timer"));
        c.ui.timerLabel->hide();
    }
    stopTimer(c.recording.timeTimer);
    stopTimer(c.recording.recordChannelsTimer);
    // Nothing is recorded any more: the meter falls to zero.
    if (c.ui.recordingMeteringView) {
        c.ui.recordingMeteringView->leftChannelValue = c.ui.recordingMeteringView->rightChannelValue = 0.0;
        c.ui.recordingMeteringView->update();
    }
    // A count-down still running stops too: its last tick would start the
    // next session's output to this session's file.
    stopTimer(c.recording.recordTimer);
    if (c.ui.recordView) {
        c.ui.recordView->recordViewAcceptsMouseDown = true;
        c.ui.recordView->sessionIsRunning = false;
        c.ui.recordView->show();
        c.ui.recordView->update();
    }
}

}  // namespace

// ---- Working folder ------------------------------------------------------------------

QString AudioController::getAppSupportRecordingPath() const {
    const QString path = apppaths::recordedFilesFolder();
    QDir().mkpath(path);
    return path;
}

void AudioController::clearRecordingPath() {
    // Files only: folders stay, and hidden items are not ours to remove.
    const QFileInfoList items =
        QDir(getAppSupportRecordingPath()).entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& item : items) QFile::remove(item.absoluteFilePath());
}

QUrl AudioController::recordingFileURL(const QString& folder) {
    QString name = RecordedName + QLatin1Char('.') + RecordedExtension;
    for (qint64 counter = 2; QFileInfo::exists(folder + QLatin1Char('/') + name); ++counter)
        name = QStringLiteral("%1_%2.%3").arg(RecordedName).arg(counter).arg(RecordedExtension);
    return QUrl::fromLocalFile(folder + QLatin1Char('/') + name);
}

bool AudioController::testCaptureSession() {
    return audioinput::authorizationStatus() == audioinput::Authorization::Authorized;
}

bool AudioController::testAVAudioRecorderSession() { return testCaptureSession(); }

// ---- Capture path: start ---------------------------------------------------------------

void AudioController::installRecordingActions() {
    if (ui.recordView) {
        ui.recordView->recordViewAcceptsMouseDown = true;
        ui.recordView->sessionIsRunning = false;
        ui.recordView->startCaptureSessionFrom = [this](RecordView*) { startCaptureSessionFrom(); };
        ui.recordView->endCaptureSessionFrom = [this](RecordView*) { endCaptureSessionFrom(); };
    }
    if (ui.recordingStartButton)
        connect(ui.recordingStartButton, &QPushButton::clicked, this, [this] { processCaptureSessionFrom(); });
    if (ui.waveButton) {
        ui.waveButton->setEnabled(false);
        ui.waveButton->hide();
        connect(ui.waveButton, &QPushButton::clicked, this, [this] { showWavePopoverFrom(); });
    }
    clearWaveView(ui.recordingWaveView);
    if (ui.startRecorderAction)
        connect(ui.startRecorderAction, &QAction::triggered, this, [this] { startAVAudioRecorderSessionFrom(); });
    if (ui.endRecorderAction)
        connect(ui.endRecorderAction, &QAction::triggered, this, [this] { endAVAudioRecorderSessionFrom(); });
}

void AudioController::startCaptureSessionFrom() {
    if (recording.captureSession) return;
    prepareToRecord(*this, &AudioController::testCaptureSession, &AudioController::showRecordingInfoPopover);
}

void AudioController::showRecordingInfoPopover() {
    const auto devices = audioinput::devices();
    if (devices.empty() || !ui.recordingDevicesPopUp) return;
    ui.recordingDevicesPopUp->clear();
    recording.recordingDevices.clear();
    for (const AudioInputDevice& device : devices) {
        ui.recordingDevicesPopUp->addItem(device.localizedName);
        recording.recordingDevices.append(device.uniqueID);
    }
    if (const auto preferred = audioinput::defaultDevice()) {
        const int index = recording.recordingDevices.indexOf(preferred->uniqueID);
        if (index >= 0) ui.recordingDevicesPopUp->setCurrentIndex(index);
    }
    showPopover(ui.recordingInfoPopover, ui.audioSlider);
}

void AudioController::processCaptureSessionFrom() {
    if (ui.recordingInfoPopover && ui.recordingInfoPopover->isVisible()) ui.recordingInfoPopover->hide();
    const int index = ui.recordingDevicesPopUp ? ui.recordingDevicesPopUp->currentIndex() : -1;
    if (index < 0 || index >= recording.recordingDevices.size()) return;
    AudioInputDevice wanted;
    wanted.uniqueID = recording.recordingDevices[index];
    wanted.localizedName = ui.recordingDevicesPopUp->itemText(index);
    processCaptureSessionWithDevice(audioinput::deviceWithUniqueID(wanted.uniqueID).value_or(wanted));
}

void AudioController::processCaptureSessionWithDevice(const AudioInputDevice& device) {
    // The session stops its stream and goes on the main thread, whichever
    // thread lets go of it last.
    std::shared_ptr<CaptureSession> session(new CaptureSession(), [](CaptureSession* s) {
        s->stopRunning();
        s->deleteLater();
    });
    recording.captureSession = session;
    if (ui.recordView) ui.recordView->recordViewAcceptsMouseDown = false;
    CaptureSession* raw = session.get();
    connect(raw, &CaptureSession::didStartRunning, this, [this, raw] {
        if (recording.captureSession.get() == raw) captureSessionStartedNotification();
    });
    connect(raw, &CaptureSession::runtimeError, this, [this, raw](const QString& error) {
        if (recording.captureSession.get() == raw) captureSessionErrorNotification(error);
    });
    auto input = CaptureDeviceInput::make(device);
    auto output = std::make_unique<CaptureAudioFileOutput>(recordingSettings());
    if (!input || !session->canAddInput(input.get()) || !session->canAddOutput(output.get())) {
        resetCaptureSession();
        return;
    }
    CaptureAudioFileOutput* file = output.get();
    connect(file, &CaptureAudioFileOutput::didStartRecording, this, [this, raw](const QUrl& url) {
        if (recording.captureSession.get() == raw) captureOutputDidStartRecording(url);
    });
    connect(file, &CaptureAudioFileOutput::didFinishRecording, this,
            [this, raw](const QUrl& url, const QString& error) {
                if (recording.captureSession.get() == raw) captureOutputDidFinishRecording(url, error);
            });
    session->addInput(std::move(input));
    session->addOutput(std::move(output));
    startCaptureSession();
}

void AudioController::startCaptureSession() {
    std::shared_ptr<CaptureSession> session = recording.captureSession;
    if (!session) return;
    runOnBackgroundThread([session] { session->startRunning(); });
}

void AudioController::captureSessionStartedNotification() {
    const QUrl url = recordingFileURL(getAppSupportRecordingPath());
    if (ui.midiButton) {
        ui.midiButton->setEnabled(false);
        ui.midiButton->hide();
    }
    startRecordCountDown(url, 16, &AudioController::updateRecordLabel);
}

void AudioController::updateRecordLabel() {
    if (!countDownEnds(*this)) return;
    const QUrl url = recording.recordTimer ? recording.recordTimer->property("url").toUrl() : QUrl();
    if (recording.captureSession && !recording.captureSession->outputs().empty())
        recording.captureSession->outputs().front()->startRecording(url);
    stopTimer(recording.recordTimer);
}

// ---- Capture path: recording -------------------------------------------------------------

void AudioController::captureOutputDidStartRecording(const QUrl&) {
    showRecordingRuns(*this, 29);
    if (ui.recordingWaveView) ui.recordingWaveView->timeCounter = 0;
    // The level tick.
    stopTimer(recording.recordChannelsTimer);
    recording.recordChannelsTimer = new QTimer(this);
    connect(recording.recordChannelsTimer, &QTimer::timeout, this, [this] { updateAudioLevelsWithConnection(); });
    recording.recordChannelsTimer->start(100);
    // The waveform and its window's times.
    if (ui.waveButton) {
        ui.waveButton->setEnabled(true);
        ui.waveButton->show();
    }
    if (ui.leftRecordingLabel) ui.leftRecordingLabel->setText(QStringLiteral("00:00:00"));
    if (ui.centerRecordingLabel) ui.centerRecordingLabel->setText(timeText(30));
    if (ui.rightRecordingLabel) ui.rightRecordingLabel->setText(timeText(60));
    showPopover(ui.recordingWavePopover, ui.audioSlider);
}

void AudioController::updateTimerLabel() {
    recording.recordCalls += 1;
    if (!ui.timerLabel) return;
    ui.timerLabel->setText(timeText(double(recording.recordCalls)));
    ui.timerLabel->update();
}

void AudioController::updateAudioLevelsWithConnection() {
    CaptureAudioFileOutput* output = recording.captureSession && !recording.captureSession->outputs().empty()
                                         ? recording.captureSession->outputs().front().get()
                                         : nullptr;
    // One channel feeds both bars; no channel reads as full scale.
    double left = 0.0, right = 0.0;
    const std::vector<double> levels = output ? output->averagePowerLevels() : std::vector<double>{};
    if (levels.size() == 1) {
        left = right = levels[0];
    } else if (levels.size() >= 2) {
        left = levels[0];
        right = levels[1];
    }
    showAudioLevels(left, right, output ? output->recordedDuration() : 0.0);
}

void AudioController::showAudioLevels(double leftDb, double rightDb, double seconds) {
    const double left = std::pow(10.0, leftDb * 0.05);
    const double right = std::pow(10.0, rightDb * 0.05);
    if (ui.recordingMeteringView) {
        ui.recordingMeteringView->leftChannelValue = left;
        ui.recordingMeteringView->rightChannelValue = right;
        ui.recordingMeteringView->update();
    }
    RecordingWaveView* wave = ui.recordingWaveView;
    if (!wave) return;
    quint64 k = wave->timeCounter;
    // The window moves on once the time is past its end, not at it.
    if (seconds - 60.0 * double(k) > 60.0) {
        wave->waveTimes.clear();
        wave->wavePoints.clear();
        k += 1;
        wave->timeCounter = k;
        if (ui.leftRecordingLabel) ui.leftRecordingLabel->setText(timeText(60.0 * double(k)));
        if (ui.centerRecordingLabel) ui.centerRecordingLabel->setText(timeText(60.0 * double(k) + 30));
        if (ui.rightRecordingLabel) ui.rightRecordingLabel->setText(timeText(60.0 * double(k) + 60));
    }
    const double m = std::max(left, right);
    wave->waveTimes.push_back(std::max(seconds - 60.0 * double(k), 0.0));
    wave->wavePoints.emplace_back(m, m);
    wave->update();
}

void AudioController::showWavePopoverFrom() {
    if (!recording.captureSession || !ui.recordingWavePopover) return;
    if (ui.recordingWavePopover->isVisible())
        ui.recordingWavePopover->hide();
    else
        showPopover(ui.recordingWavePopover, ui.audioSlider);
}

// ---- Capture path: end ----------------------------------------------------------------------

void AudioController::endCaptureSessionFrom() {
    if (!recording.captureSession) return;
    if (ui.recordView) ui.recordView->recordViewAcceptsMouseDown = false;
    if (!recording.captureSession->isRunning()) {
        resetCaptureSession();
        return;
    }
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    if (!recording.captureSession->outputs().empty()) recording.captureSession->outputs().front()->stopRecording();
}

void AudioController::captureOutputDidFinishRecording(const QUrl& url, const QString& error) {
    // The live waveform has nothing more to show.
    if (ui.recordingWavePopover) ui.recordingWavePopover->hide();
    if (error.isEmpty()) {
        copyRecordedAudioWithSavePanel(url);
    } else {
        // The file could not be written or finished: the user hears of it.
        alertRecordingStopped(*this, error);
    }
    finishRecordAndClear();
}

void AudioController::finishRecordAndClear() {
    std::shared_ptr<CaptureSession> session = recording.captureSession;
    QPointer<AudioController> self(this);
    runOnBackgroundThread([session, self] {
        if (session) session->stopRunning();
        MainQueue::async([self] {
            if (self) self->resetCaptureSession();
        });
    });
}

void AudioController::captureSessionErrorNotification(const QString& error) {
    const bool wasRecording = recording.captureSession && !recording.captureSession->outputs().empty() &&
                              recording.captureSession->outputs().front()->isRecording();
    resetCaptureSession();
    if (wasRecording) alertRecordingStopped(*this, error);
}

void AudioController::resetCaptureSession() {
    QPointer<AudioController> self(this);
    MainQueue::async([self] {
        if (!self) return;
        AudioController& c = *self;
        if (c.recording.captureSession) {
            c.recording.captureSession->disconnect(&c);
            for (const auto& output : c.recording.captureSession->outputs()) output->disconnect(&c);
        }
        c.recording.captureSession.reset();
        resetRecordingControls(c);
        if (c.ui.waveButton) {
            c.ui.waveButton->setEnabled(false);
            c.ui.waveButton->hide();
        }
        // Its button is gone: so is the waveform, however the session ended.
        if (c.ui.recordingWavePopover) c.ui.recordingWavePopover->hide();
        if (c.ui.midiButton) {
            c.ui.midiButton->setEnabled(true);
            c.ui.midiButton->show();
        }
        clearWaveView(c.ui.recordingWaveView);
    });
}

// ---- Recorder path ------------------------------------------------------------------------------

void AudioController::startAVAudioRecorderSessionFrom() {
    if (recording.audioRecorder) return;
    prepareToRecord(*this, &AudioController::testAVAudioRecorderSession,
                    &AudioController::processAVAudioRecorderSession);
}

void AudioController::processAVAudioRecorderSession() {
    const QUrl url = recordingFileURL(getAppSupportRecordingPath());
    recording.audioRecorder = AudioRecorder::create(url, recordingSettings());
    if (ui.recordView) ui.recordView->recordViewAcceptsMouseDown = false;
    if (!recording.audioRecorder) {
        resetAVAudioRecorderSession();
        return;
    }
    AudioRecorder* recorder = recording.audioRecorder.get();
    connect(recorder, &AudioRecorder::didFinishRecording, this,
            [this](bool successfully) { audioRecorderDidFinishRecording(successfully); });
    connect(recorder, &AudioRecorder::encodeErrorDidOccur, this,
            [this](const QString& error) { audioRecorderEncodeErrorDidOccur(error); });
    if (!recorder->prepareToRecord()) {
        clearRecordingPath();
        resetAVAudioRecorderSession();
        return;
    }
    startRecordCountDown(url, 17, &AudioController::updateAVAudioRecorderRecordLabel);
}

void AudioController::startRecordCountDown(const QUrl& url, int labelY, void (AudioController::*tick)()) {
    if (ui.recordView) ui.recordView->hide();
    if (ui.recordLabel) {
        placeAtOrigin(ui.recordLabel, 0, labelY);
        ui.recordLabel->setText(QStringLiteral("Start: 3"));
        ui.recordLabel->show();
        ui.recordLabel->repaint();
    }
    recording.recordCalls = 1;
    stopTimer(recording.recordTimer);
    recording.recordTimer = new QTimer(this);
    recording.recordTimer->setProperty("url", url);
    connect(recording.recordTimer, &QTimer::timeout, this, [this, tick] { (this->*tick)(); });
    recording.recordTimer->start(1000);
}

void AudioController::updateAVAudioRecorderRecordLabel() {
    if (!countDownEnds(*this)) return;
    stopTimer(recording.recordTimer);
    if (!recording.audioRecorder || !recording.audioRecorder->record()) {
        resetAVAudioRecorderSession();
        return;
    }
    showRecordingRuns(*this, 16);
}

void AudioController::endAVAudioRecorderSessionFrom() {
    if (!recording.audioRecorder) return;
    if (ui.recordView) ui.recordView->recordViewAcceptsMouseDown = false;
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    recording.audioRecorder->stop();
}

void AudioController::audioRecorderDidFinishRecording(bool successfully) {
    if (successfully && recording.audioRecorder)
        copyRecordedAudioWithSavePanel(recording.audioRecorder->url());
    else
        clearRecordingPath();
    resetAVAudioRecorderSession();
}

void AudioController::audioRecorderEncodeErrorDidOccur(const QString& error) {
    if (recording.audioRecorder && recording.audioRecorder->isRecording()) recording.audioRecorder->stop();
    clearRecordingPath();
    resetAVAudioRecorderSession();
    alertRecordingStopped(*this, error);
}

void AudioController::resetAVAudioRecorderSession() {
    QPointer<AudioController> self(this);
    MainQueue::async([self] {
        if (!self) return;
        AudioController& c = *self;
        c.recording.audioRecorder.reset();
        resetRecordingControls(c);
    });
}

// ---- Saving the recording ----------------------------------------------------------------------------

void AudioController::copyRecordedAudioWithSavePanel(const QUrl& url) {
    if (ui.recordingAddToTrevaluneLibraryCheck) ui.recordingAddToTrevaluneLibraryCheck->setChecked(false);
    QWidget* window = ui.audioView ? ui.audioView->window() : ui.window;
    auto* panel = new QFileDialog(window);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setNameFilter(QStringLiteral("Audio (*.m4a)"));
    panel->setDefaultSuffix(RecordedExtension);
    panel->selectFile(QStringLiteral("RecordedAudio"));
    panel->setWindowModality(Qt::WindowModal);
    // The accessory goes into the panel's layout and back out when it closes.
    if (ui.recordingAccessoryView) {
        if (auto* grid = qobject_cast<QGridLayout*>(panel->layout()))
            grid->addWidget(ui.recordingAccessoryView, grid->rowCount(), 0, 1, -1);
        ui.recordingAccessoryView->show();
    }
    recording.savePanel = panel;
    connect(panel, &QDialog::finished, this, [this, panel, url](int result) {
        const QList<QUrl> chosen = panel->selectedUrls();
        if (ui.recordingAccessoryView && ui.recordingAccessoryView->parent() != nullptr) {
            ui.recordingAccessoryView->hide();
            ui.recordingAccessoryView->setParent(ui.window);
        }
        panel->deleteLater();
        if (result != QDialog::Accepted || chosen.isEmpty()) {
            clearRecordingPath();
            return;
        }
        QUrl destination = chosen.first();
        if (QFileInfo(destination.toLocalFile()).suffix().compare(RecordedExtension, Qt::CaseInsensitive) != 0)
            destination = QUrl::fromLocalFile(destination.toLocalFile() + QLatin1Char('.') + RecordedExtension);
        saveRecordedAudio(url, destination);
    });
    panel->open();
}

void AudioController::saveRecordedAudio(const QUrl& recorded, const QUrl& destination) {
    const QString target = destination.toLocalFile();
    const QFileInfo existing(target);
    if (existing.exists() && !existing.isDir()) {
        // A file that a track plays is never overwritten.
        if (ui.audioView) {
            for (const TrackRecord& record : ui.audioView->audioTracks) {
                if (record.audioURL == destination) {
                    clearRecordingPath();
                    return;
                }
            }
        }
    }
    // The copy is made beside the destination and takes its name only when
    // complete, so a failure leaves both the old file and the recording.
    const bool copied = partialfiles::writeWhole(
        target, [&](const QString& temporary) { return QFile::copy(recorded.toLocalFile(), temporary); },
        partialfiles::Durability::Synced);
    if (!copied) {
        runModalAlert(ui.window,
                      {QStringLiteral("The recording could not be saved."),
                       QStringLiteral("It is kept in \"%1\" until the next recording starts.")
                           .arg(QDir::toNativeSeparators(recorded.toLocalFile())),
                       {QStringLiteral("OK")}});
        return;
    }
    clearRecordingPath();
    const bool toLibrary =
        ui.recordingAddToTrevaluneLibraryCheck && ui.recordingAddToTrevaluneLibraryCheck->isChecked();
    QPointer<AudioController> self(this);
    QTimer::singleShot(0, this, [self, destination, toLibrary] {
        if (!self) return;
        self->addAudioFileToComposition(destination);
        if (toLibrary) self->addAudioTracksToLibrary({destination});
    });
}
