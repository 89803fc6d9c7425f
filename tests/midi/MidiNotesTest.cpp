// MIDI notes through the whole application: a JACK client on the test
// server plays into a track whose chain the sampler heads; the notes sound,
// are recorded, drawn, played again, undone, copied and pasted.

#include "app/TrackListFixture.h"

#include "app/MainInterface.h"

#include "midi/MIDIManager.h"
#include "midi/MidiNotes.h"
#include "midi/NoteLists.h"
#include "platform/core/BoundedQueue.h"
#include "platform/units/PluginHost.h"
#include "platform/units/SoundFontUnit.h"
#include "support/InstalledPlugins.h"
#include "views/FloatSlider.h"
#include "views/NotesPanel.h"
#include "views/NotesView.h"
#include "views/PianoView.h"
#include "views/StyledControls.h"
#include "support/Signals.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

namespace {

// A JACK client with one MIDI output that plays queued messages at its next cycles.
class KeyboardPort {
public:
    KeyboardPort() {
        client_ = jack_client_open("midi-notes-keyboard", JackNoStartServer, nullptr);
        if (!client_) return;
        port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, &KeyboardPort::process, this);
        if (!port_ || jack_activate(client_) != 0) close();
    }
    ~KeyboardPort() { close(); }
    bool isOpen() const { return client_ != nullptr; }
    QString portName() const { return QString::fromUtf8(jack_port_name(port_)); }
    void send(uint8_t status, uint8_t d1, uint8_t d2) { queue_.push({status, d1, d2}); }
    void close() {
        if (client_) jack_client_close(client_);
        client_ = nullptr;
    }

private:
    struct Message {
        uint8_t bytes[3];
    };
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<KeyboardPort*>(arg);
        void* buffer = jack_port_get_buffer(self->port_, frames);
        jack_midi_clear_buffer(buffer);
        Message m;
        for (jack_nframes_t at = 0; at < frames && at < 4 && self->queue_.pop(&m); ++at)
            jack_midi_event_write(buffer, at, m.bytes, 3);
        return 0;
    }
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    realtime::BoundedQueue<Message> queue_{64};
};

void pause(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

class MidiNotesTest : public TrackListTest {
protected:
    static void SetUpTestSuite() { testsupport::useInstalledPlugins(); }
    void SetUp() override {
        TrackListTest::SetUp();
        c->ui.window->show();
        // Tracks list the installed plug-ins and the instruments.
        if (auto* search = c->preferences.preferencesSearchPluginsCheck) search->setChecked(true);
        // A silent track: what sounds is the sampler.
        track = append(silence(QStringLiteral("silence.wav")));
        waitForReadyItem();
    }
    QString silence(const QString& name) {
        return testsupport::writeTone(name, 4.0, 0.0, {.amplitude = 0.0});
    }
    MIDIManager& manager() { return *track->midiManager; }
    // The voices the track's sampler plays now.
    static int voices(const MusicFilter& t) {
        int n = 0;
        for (const auto& e : t.pluginChain()->entries)
            if (const auto* sampler = dynamic_cast<const units::SoundFontUnit*>(e.unit)) n += sampler->activeVoiceCount();
        return n;
    }
    // Only this test's keyboard plays into the application: other tests
    // may play on the same server at the same time.
    void listenTo(const KeyboardPort& keyboard) {
        c->midiNotes()->gate()->acceptsDevice = [name = keyboard.portName()](const QString& d) { return d == name; };
    }
    // The left channel of an offline render of the composition.
    std::vector<float> render() {
        auto reader = AssetReader::create(c->currentComposition->copy());
        if (!reader) return {};
        std::vector<int32_t> ids;
        for (const auto* t : c->currentComposition->tracks()) ids.push_back(t->trackID());
        auto out = std::make_shared<AssetReaderAudioMixOutput>(ids, AssetReaderAudioMixOutput::Settings{44100, 2});
        out->setAudioMix(c->currentAudioMix->copy());
        reader->addOutput(out);
        if (!reader->startReading()) return {};
        std::vector<float> left;
        while (auto b = out->copyNextSampleBuffer()) left.insert(left.end(), b->left.begin(), b->left.end());
        return left;
    }
    static double rms(const std::vector<float>& x, double from, double to) {
        const size_t a = size_t(std::max(0.0, from) * 44100), b = std::min(x.size(), size_t(to * 44100));
        double sum = 0;
        for (size_t i = a; i < b; ++i) sum += double(x[i]) * x[i];
        return b > a ? std::sqrt(sum / double(b - a)) : 0;
    }
    static MidiNoteList phrase() { return notesOf({{60, 0.5, 1.0}, {67, 2.0, 2.5}}); }
    // Notes by number, start and end in seconds.
    static MidiNoteList notesOf(std::initializer_list<std::tuple<int, double, double>> list) {
        MidiNoteList notes;
        for (auto [n, s, e] : list) {
            MidiNoteRecord on, off;
            on.midiCommand = {0x90, uint8_t(n), 110};
            on.midiNote = uint32_t(n);
            on.midiCommandTime = MediaTime::fromSeconds(s, 44100);
            on.midiCommandEndTime = MediaTime::fromSeconds(e, 44100);
            on.midiCommandIsRecorded = true;
            off = on;
            off.midiCommand = {0x80, uint8_t(n), 0};
            off.midiCommandTime = on.midiCommandEndTime;
            off.midiCommandEndTime.reset();
            notes.push_back(on);
            notes.push_back(off);
        }
        notelists::sortByStartTime(notes);
        return notes;
    }

    std::shared_ptr<MusicFilter> track;
};

}  // namespace

// A key pressed on a connected device starts the paused player and sounds
// through the track's sampler; its release and a stray release bring the
// count of held keys back to 0, never below. A second instrument keeps the
// manager and its notes.
TEST_F(MidiNotesTest, AKeyFromADeviceStartsPlaybackAndSounds) {
    KeyboardPort keyboard;
    ASSERT_TRUE(keyboard.isOpen());
    listenTo(keyboard);
    addSampler(track.get());
    ASSERT_TRUE(testsupport::waitUntil([&] {
        for (const auto& d : manager().connectedDevices())
            if (d.name == keyboard.portName()) return true;
        return false;
    }, 8000));
    ASSERT_EQ(player->rate(), 0.0f);

    keyboard.send(0x90, 60, 120);
    ASSERT_TRUE(testsupport::waitUntil([&] { return manager().isProcessingNoteOn.load() == 1; }));
    ASSERT_TRUE(testsupport::waitUntil([&] { return player->rate() == 1.0f; }));
    EXPECT_TRUE(testsupport::waitUntil([&] { return track->leftChannelValue() > 0.01; }));
    keyboard.send(0x80, 60, 0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return manager().isProcessingNoteOn.load() == 0; }));
    keyboard.send(0x80, 61, 0);
    pause(200);
    EXPECT_EQ(manager().isProcessingNoteOn.load(), 0);
    c->playPauseToggle();
    // Not recording: nothing was kept.
    endEvent();
    EXPECT_TRUE(track->midiArray.empty());

    track->midiArray = phrase();
    track->publishNotes();
    MIDIManager* first = track->midiManager.get();
    track->setupMIDIManager(track.get());
    EXPECT_EQ(track->midiManager.get(), first);
    EXPECT_EQ(track->midiArray, phrase());
    // The unit panel's device check sees the keyboard.
    EXPECT_FALSE(first->connectedDevices().empty());
}

// Input reaches a track only once the player's item is ready and only the
// selected track; a pitch bend goes to the inbox with note 0, as a note-on,
// never recorded.
TEST_F(MidiNotesTest, InputGoesToTheSelectedReadyTrackOnly) {
    c->midiNotes()->connectsToInputs = false;
    addSampler(track.get());
    manager().recordNotes = true;
    struct Case {
        const char* name;
        midiio::MidiCommand command;
        bool ready;
        bool selected;
        bool queued;
    };
    const auto bend = midiio::MidiPitchBendChangeCommand{9000, 2, 0};
    const auto key = midiio::MidiNoteCommand::noteCommandWithNote(64, 90, 1, true, 7);
    const Case cases[] = {
        {"pitch bend", bend, true, true, true},
        {"note on", key, true, true, true},
        {"item not ready", key, false, true, false},
        {"another track selected", key, true, false, false},
    };
    c->playPauseToggle();  // the render must not take the inbox
    c->playPauseToggle();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        auto gate = c->midiNotes()->gate();
        gate->itemReady = k.ready;
        gate->isPlaying = true;  // no playback request
        c->currentSelectedAudio = k.selected ? track->viewIndex() : track->viewIndex() + 1;
        const int64_t held = manager().isProcessingNoteOn.load();
        manager().handleMIDINoteCommand(k.command);
        std::vector<MidiNoteRecord> inbox;
        track->rt_drainLiveMidiCommands([&](const MidiNoteRecord& r) { inbox.push_back(r); });
        ASSERT_EQ(inbox.size(), k.queued ? 1u : 0u);
        if (!k.queued) {
            EXPECT_EQ(manager().isProcessingNoteOn.load(), held);
            continue;
        }
        const bool isBend = std::holds_alternative<midiio::MidiPitchBendChangeCommand>(k.command);
        EXPECT_EQ(inbox[0].midiNote, isBend ? 0u : 64u);
        EXPECT_TRUE(inbox[0].midiNoteOn);
        EXPECT_EQ(inbox[0].midiCommandIsRecorded, !isBend);
        EXPECT_FALSE(inbox[0].midiCommandTime);
        EXPECT_EQ(inbox[0].midiCommand.status, isBend ? 0xE2 : 0x91);
    }
    c->midiNotes()->refreshGate();
}

// A phrase played from the port while recording is kept at its times, is
// one undo step, plays again on the offline render and shows in the lane.
TEST_F(MidiNotesTest, ARecordedPhrasePlaysAgainAndIsOneUndo) {
    KeyboardPort keyboard;
    ASSERT_TRUE(keyboard.isOpen());
    listenTo(keyboard);
    addSampler(track.get());
    ASSERT_TRUE(testsupport::waitUntil([&] {
        for (const auto& d : manager().connectedDevices())
            if (d.name == keyboard.portName()) return true;
        return false;
    }, 8000));
    const int undos = c->undoManager()->undoCount();
    c->recordMIDIForFilter();
    ASSERT_TRUE(manager().recordNotes.load());
    c->playPauseToggle();
    ASSERT_EQ(player->rate(), 1.0f);
    // The first key comes well inside the lane, whose first pixels are its edge.
    pause(700);
    keyboard.send(0x90, 60, 120);
    pause(400);
    keyboard.send(0x80, 60, 0);
    pause(300);
    keyboard.send(0x90, 72, 120);
    pause(400);
    keyboard.send(0x80, 72, 0);
    pause(300);
    // Not while a key is held.
    manager().isProcessingNoteOn = 1;
    c->recordMIDIForFilter();
    EXPECT_TRUE(manager().recordNotes.load());
    manager().isProcessingNoteOn = 0;
    c->recordMIDIForFilter();
    EXPECT_FALSE(manager().recordNotes.load());
    c->playPauseToggle();
    endEvent();

    const MidiNoteList recorded = track->midiArray;
    ASSERT_EQ(recorded.size(), 4u);
    std::vector<std::pair<double, double>> notes;
    for (const MidiNoteRecord& r : recorded) {
        ASSERT_TRUE(r.midiCommandTime);
        if (!r.midiCommandEndTime) continue;
        EXPECT_FALSE(r.midiNoteOn);
        notes.emplace_back(r.midiCommandTime->seconds(), r.midiCommandEndTime->seconds());
    }
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_NEAR(notes[0].second - notes[0].first, 0.4, 0.15);
    EXPECT_NEAR(notes[1].first - notes[0].second, 0.3, 0.15);
    EXPECT_EQ(*track->rt_committedNotes(), recorded);

    // Played again offline: sound inside the notes, silence before them.
    const std::vector<float> out = render();
    const double before = rms(out, notes[0].first - 0.25, notes[0].first - 0.02);
    const double first = rms(out, notes[0].first + 0.02, notes[0].second);
    const double second = rms(out, notes[1].first + 0.02, notes[1].second);
    EXPECT_GT(first, 0.01);
    EXPECT_GT(second, 0.01);
    EXPECT_GT(first, 10 * before);

    // The lane draws each note in its key's row, amber.
    auto* lane = AudioController::trackLaneOf(track.get());
    ASSERT_TRUE(lane);
    lane->repaint();
    const QImage image = lane->grab().toImage();
    const QRectF R = lane->drawingBezierPath.isEmpty() ? QRectF(lane->rect()).adjusted(0, 10, 0, -10)
                                                       : lane->drawingBezierPath.boundingRect();
    const double laneSeconds = track->durationInSeconds / track->value(EffectInput::Speed);
    for (auto [n, note] : {std::pair{60, notes[0]}, std::pair{72, notes[1]}}) {
        SCOPED_TRACE(n);
        const double mid = (note.first + note.second) / 2 / laneSeconds * lane->width();
        const double y = R.bottom() - (n - 21 + 0.5) / 88 * R.height();
        const QColor at = image.pixelColor(QPoint(int(mid), int(y)) * image.devicePixelRatio());
        auto amber = [](const QColor& p) { return p.red() > p.blue() + 60 && p.green() > p.blue() + 30; };
        EXPECT_TRUE(amber(at)) << at.name().toStdString();
        const QColor above = image.pixelColor(QPoint(int(mid), int(y - R.height() / 88 * 4)) * image.devicePixelRatio());
        EXPECT_FALSE(amber(above)) << above.name().toStdString();
    }

    // One undo takes the pass away; redo brings it back.
    EXPECT_EQ(c->undoManager()->undoCount(), undos + 1);
    undo();
    EXPECT_TRUE(track->midiArray.empty());
    EXPECT_TRUE(track->rt_committedNotes()->empty());
    redo();
    EXPECT_EQ(track->midiArray, recorded);

    // A pass without a note is one undo step too, that changes nothing.
    c->recordMIDIForFilter();
    c->recordMIDIForFilter();
    endEvent();
    EXPECT_EQ(c->undoManager()->undoCount(), undos + 2);
    undo();
    EXPECT_EQ(track->midiArray, recorded);
}

// Copy keeps the clipboard when nothing is selected; the paste at the
// playhead moves the first note there; a track without an instrument says
// so; an undo goes back to the track it was made on.
TEST_F(MidiNotesTest, CopyPasteAndUndoOfNotes) {
    c->midiNotes()->connectsToInputs = false;
    auto other = append(silence(QStringLiteral("other.wav")));
    addSampler(track.get());
    track->midiArray = phrase();
    track->publishNotes();
    c->currentSelectedAudio = 0;

    c->pasteboardItems = CurvePasteboardRecord{};
    c->copySelectedNotes();
    EXPECT_TRUE(std::holds_alternative<CurvePasteboardRecord>(*c->pasteboardItems));
    track->currentSelectedNotes = {phrase()[2]};  // the second note
    c->copySelectedNotes();
    ASSERT_TRUE(std::holds_alternative<NotesPasteboardRecord>(*c->pasteboardItems));
    EXPECT_EQ(std::get<NotesPasteboardRecord>(*c->pasteboardItems).notes.size(), 2u);

    // At the playhead (1 s into the composition, the track starting at 0).
    bool seeked = false;
    c->rulerSeek(1.0, [&](bool) { seeked = true; });
    ASSERT_TRUE(testsupport::waitUntil([&] { return seeked; }));
    c->pasteAudioFileFrom();
    ASSERT_EQ(track->midiArray.size(), 6u);
    const MidiNoteRecord& pasted = track->midiArray[2];
    EXPECT_NEAR(pasted.midiCommandTime->seconds(), 1.0, 1e-3);
    EXPECT_NEAR(pasted.midiCommandEndTime->seconds(), 1.5, 1e-3);

    // The other track has no instrument.
    c->currentSelectedAudio = 1;
    alerts.clear();
    c->pasteNotes();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, QStringLiteral("No MIDI Audio Unit set in this track."));
    EXPECT_EQ(alerts[0].informativeText,
              QStringLiteral("Add a MIDI Audio Unit if you want to paste notes in the selected track."));
    EXPECT_TRUE(other->midiArray.empty());

    // The paste's undo, run with the other track selected, restores the first.
    endEvent();
    undo();
    EXPECT_EQ(track->midiArray, phrase());
    EXPECT_TRUE(other->midiArray.empty());
    redo();
    EXPECT_EQ(track->midiArray.size(), 6u);
}

namespace {

// Counts the paints a widget gets.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

}  // namespace

// The main window's MIDI button gives a track without an instrument the
// sampler and opens its notes; the panel's play/pause button follows the
// player, its keyboard follows the roll's vertical scroll, a seek redraws
// the roll, and removing the shown track closes the panel, whose views then
// hold no track.
TEST_F(MidiNotesTest, TheNotesPanelFromTheMidiButtonFollowsThePlayerAndTheTrack) {
    c->midiNotes()->connectsToInputs = false;
    prepare(track.get());
    c->currentSelectedAudio = 0;
    NotesPanel* panel = c->ui.notesPanel;
    ASSERT_TRUE(c->ui.midiButton && panel);
    ASSERT_TRUE(c->ui.midiButton->isVisibleTo(c->ui.window) && c->ui.midiButton->isEnabled());
    ASSERT_FALSE(track->midiManager);
    c->ui.midiButton->click();
    ASSERT_TRUE(testsupport::waitUntil([&] { return panel->isVisible(); }));
    EXPECT_TRUE(track->midiManager);
    EXPECT_EQ(panel->notesView->viewFilter.lock(), track);
    EXPECT_EQ(panel->pianoView->musicFilter.lock(), track);

    // A key of the panel's keyboard starts the player, whose state the
    // panel's button shows, and lights while it sounds.
    PlayPauseButton* button = panel->notesPlayPauseButton;
    EXPECT_TRUE(button->isPause);
    PianoView* keys = panel->pianoView;
    const QPoint c4(keys->width() * 3 / 4, int(keys->height() - 39.5 * keys->height() / 88));
    QTest::mousePress(keys, Qt::LeftButton, {}, c4);
    ASSERT_TRUE(testsupport::waitUntil([&] { return button->isPlay && !button->isPause; }));
    EXPECT_TRUE(testsupport::waitUntil([&] { return keys->highlightsNotes.contains(39); }));
    QTest::mouseRelease(keys, Qt::LeftButton, {}, c4);
    EXPECT_TRUE(testsupport::waitUntil([&] { return !keys->highlightsNotes.contains(39); }));
    c->playPauseToggle();
    ASSERT_TRUE(testsupport::waitUntil([&] { return button->isPause && !button->isPlay; }));

    // The keyboard moves with the rows.
    panel->notesVerticalZoom->setFloatValue(3.0);
    c->updateNotesViewVerticalSize();
    endEvent();
    QScrollBar* vertical = panel->notesScrollView->verticalScrollBar();
    ASSERT_GE(vertical->maximum(), 100);
    vertical->setValue(100);
    EXPECT_EQ(panel->pianoView->y(), -100);
    EXPECT_EQ(panel->pianoView->height(), panel->notesView->height());

    // A seek while paused redraws the roll and the keyboard.
    PaintCounter rollPaints(panel->notesView), keyPaints(keys);
    endEvent();
    const int rollBefore = rollPaints.paints, keysBefore = keyPaints.paints;
    c->updateCurrentTime(2.0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return rollPaints.paints > rollBefore && keyPaints.paints > keysBefore; }));

    // Removing the shown track closes the panel; its undo leaves it closed.
    c->removeAudioFileAtIndex(0);
    endEvent();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(panel->notesView->viewFilter.lock());
    EXPECT_FALSE(panel->pianoView->musicFilter.lock());
    undo();
    EXPECT_FALSE(panel->isVisible());
}

// The panel holds the shown track's plug-in controls in its controls strip,
// pops its transpose and velocity menus up where the click was, and the
// playhead's timer redraws its keyboard with its roll.
TEST_F(MidiNotesTest, ThePanelsPluginControlsMenusAndTimer) {
    c->midiNotes()->connectsToInputs = false;
    addSampler(track.get());
    notelists::updateMIDIArrayFromArray(*track, phrase());
    NotesPanel* panel = c->ui.notesPanel;
    c->showNotesViewFrom();
    ASSERT_TRUE(panel->isVisible());
    QWidget* check = track->pluginsCheckButton.data();
    QWidget* popUp = track->pluginsPopUpButton.data();
    ASSERT_TRUE(check && popUp);
    EXPECT_EQ(check->parentWidget(), panel->controlsNoteView);
    EXPECT_EQ(popUp->parentWidget(), panel->controlsNoteView);
    EXPECT_EQ(check->pos(), QPoint(160, 90));
    EXPECT_EQ(popUp->pos(), QPoint(check->x() + check->width() + 3, 85));
    EXPECT_EQ(popUp->x(), 224);
    // Nothing else of the strip lies under them.
    for (QWidget* w : panel->controlsNoteView->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w != check && w != popUp && w->isVisible()) {
            SCOPED_TRACE(w->metaObject()->className());
            EXPECT_FALSE(w->geometry().intersects(check->geometry()));
            EXPECT_FALSE(w->geometry().intersects(popUp->geometry()));
        }
    endEvent();

    // The menus open at the click. The panel is brought fully onto the
    // screen first: a menu is kept on the screen, so a click left of its
    // edge would show the menu at the edge instead.
    track->currentSelectedNotes = {track->midiArray.front()};
    panel->move(panel->screen()->availableGeometry().topLeft() + QPoint(20, 20));
    endEvent();
    for (QPushButton* button : {panel->transposeButton, panel->velocityButton}) {
        SCOPED_TRACE(button->text().toStdString());
        const QPoint click = button->mapToGlobal(QPoint(20, 10));
        QCursor::setPos(click);
        QPoint shownAt(-1, -1);
        QTimer::singleShot(0, [&] {
            if (QWidget* menu = QApplication::activePopupWidget()) {
                shownAt = menu->pos();
                menu->close();
            }
        });
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(20, 10));
        EXPECT_EQ(shownAt, click);
    }

    // The playhead's timer redraws the keyboard with the roll.
    PaintCounter rollPaints(panel->notesView), keyPaints(panel->pianoView);
    endEvent();
    const int rollBefore = rollPaints.paints, keysBefore = keyPaints.paints;
    c->shell.continueTimeObserver = true;
    c->playheadTimeObserverBlock(MediaTime::fromSeconds(1.0, 44100));
    ASSERT_TRUE(testsupport::waitUntil([&] { return rollPaints.paints > rollBefore; }));
    EXPECT_GT(keyPaints.paints, keysBefore);
    panel->close();
}

// Notes adjusted with the mouse on the panel's roll: one undo step gives
// every note back, and the render plays the moved note-off.
TEST_F(MidiNotesTest, ANoteDraggedInTheRollIsOneUndoStep) {
    c->midiNotes()->connectsToInputs = false;
    addSampler(track.get());
    notelists::updateMIDIArrayFromArray(*track, phrase());
    const MidiNoteList original = track->midiArray;
    NotesPanel* panel = c->ui.notesPanel;
    c->showNotesViewFrom();
    ASSERT_TRUE(panel->isVisible());
    panel->notesHorizontalZoom->setFloatValue(10.0);
    c->updateNotesViewHorizontalSize();
    panel->adjustNotesButton->click();
    ASSERT_TRUE(AudioController::trackLaneOf(track.get())->isAdjustingNotes);
    endEvent();

    NotesView* roll = panel->notesView;
    const double secondsWide = roll->width() / roll->trackLength();
    const double y = roll->height() - (60 - 21 + 0.5) * roll->height() / 88.0;
    const int undos = c->undoManager()->undoCount();
    // Near the end of the note from 0.5 s to 1.0 s, dragged to 1.5 s.
    QTest::mousePress(roll, Qt::LeftButton, {}, QPoint(int(0.97 * secondsWide), int(y)));
    QTest::mouseMove(roll, QPoint(int(1.2 * secondsWide), int(y)));
    QTest::mouseMove(roll, QPoint(int(1.5 * secondsWide), int(y)));
    QTest::mouseRelease(roll, Qt::LeftButton, {}, QPoint(int(1.5 * secondsWide), int(y)));
    endEvent();
    ASSERT_EQ(track->midiArray.size(), original.size());
    EXPECT_NEAR(track->midiArray[0].midiCommandEndTime->seconds(), 1.5, 0.05);
    EXPECT_EQ(*track->rt_committedNotes(), track->midiArray) << "the render has the moved note";
    EXPECT_EQ(c->undoManager()->undoCount(), undos + 1);
    undo();
    EXPECT_EQ(track->midiArray, original);
    panel->close();
}

// A committed note lights its key on the panel's keyboard while it sounds;
// the key goes dark once the player stops, paused inside the note or rewound
// to the start across it, and lights again when the note sounds again.
TEST_F(MidiNotesTest, KeysGoDarkWhenThePlayerStops) {
    c->midiNotes()->connectsToInputs = false;
    addSampler(track.get());
    notelists::updateMIDIArrayFromArray(*track, notesOf({{60, 0.1, 3.5}}));
    NotesPanel* panel = c->ui.notesPanel;
    c->showNotesViewFrom();
    ASSERT_TRUE(panel->isVisible());
    PianoView* keys = panel->pianoView;
    const int key = 60 - 21;
    auto lit = [&] { return keys->highlightsNotes.contains(key); };

    c->updateCurrentTime(0.5);
    c->playPauseToggle();
    ASSERT_TRUE(testsupport::waitUntil(lit));
    c->playPauseToggle();
    ASSERT_EQ(player->rate(), 0.0f);
    EXPECT_TRUE(testsupport::waitUntil([&] { return !lit(); })) << "paused inside the note";

    // Played on while the controller works (as a seek does until the output
    // takes it up): the keys stay dark, and the note that sounds lights once
    // the work is done.
    c->shell.audioControllerIsWorking = true;
    c->playPauseToggle();
    testsupport::spin(300);
    EXPECT_FALSE(lit()) << "lit while the controller worked";
    c->shell.audioControllerIsWorking = false;
    ASSERT_TRUE(testsupport::waitUntil(lit)) << "played on inside the note";
    player->setRate(-4.0f);
    ASSERT_TRUE(testsupport::waitUntil([&] { return player->rate() == 0.0f; }));
    EXPECT_TRUE(testsupport::waitUntil([&] { return !lit(); })) << "rewound to the start";
    panel->close();
}

// A key released after its track stopped taking new input still ends its
// note: the track was deselected while the key was down, the player's item
// was made again meanwhile, or the device sent the release twice. The note
// stops sounding in the track's sampler, no key stays counted on either
// track, and "Record notes" then starts a pass that keeps what is played.
TEST_F(MidiNotesTest, AReleasedKeyEndsItsNoteWhateverHappenedWhileItWasHeld) {
    c->midiNotes()->connectsToInputs = false;
    // Long enough that the player never reaches the end here.
    auto other = append(testsupport::writeTone(QStringLiteral("other.wav"), 60.0, 0.0, {.amplitude = 0.0}));
    addSampler(other.get());
    addSampler(track.get());
    waitForReadyItem();
    auto gate = c->midiNotes()->gate();
    // Every track's connection hears every device: both managers get each command.
    auto play = [&](uint8_t note, bool on) {
        const auto command = midiio::MidiNoteCommand::noteCommandWithNote(note, 110, 0, on, 0);
        manager().handleMIDINoteCommand(command);
        other->midiManager->handleMIDINoteCommand(command);
    };
    auto playFromTheStart = [&] {
        if (player->rate() != 0.0f) c->playPauseToggle();
        ASSERT_TRUE(testsupport::waitUntil([&] { return player->rate() == 0.0f && gate->itemReady.load(); }));
        c->updateCurrentTime(0.0);
        c->playPauseToggle();
        ASSERT_TRUE(testsupport::waitUntil([&] { return gate->isPlaying.load(); }));
    };
    struct Case {
        const char* name;
        std::function<void()> whileHeld;
        int releases;
        // Another key goes down after the first and is let go last.
        bool secondKey;
    };
    const Case cases[] = {
        {"deselected while held", [&] { c->currentSelectedAudio = other->viewIndex(); }, 1, false},
        {"the player's item made again while held",
         [&] {
             c->updatePlayerWithNewCompositionSettings();
             ASSERT_FALSE(gate->itemReady.load()) << "the release must come while the item is not ready";
         },
         1, false},
        {"released twice while another key is held", [] {}, 2, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        c->currentSelectedAudio = track->viewIndex();
        playFromTheStart();
        play(60, true);
        if (k.secondKey) play(62, true);
        ASSERT_TRUE(testsupport::waitUntil([&] { return track->leftChannelValue() > 0.01; })) << "the key sounds";
        EXPECT_EQ(manager().isProcessingNoteOn.load(), k.secondKey ? 2 : 1);
        k.whileHeld();
        for (int i = 0; i < k.releases; ++i) play(60, false);
        EXPECT_FALSE(manager().holdsKey(60));
        if (k.secondKey) {
            // The second release of the first key is not the other key's.
            EXPECT_EQ(manager().isProcessingNoteOn.load(), 1);
            alerts.clear();
            c->recordMIDIForFilter();
            EXPECT_FALSE(manager().recordNotes.load()) << "a pass started while a key is down";
            EXPECT_EQ(alerts.size(), 1u);
            play(62, false);
        }
        EXPECT_EQ(manager().isProcessingNoteOn.load(), 0);
        EXPECT_EQ(other->midiManager->isProcessingNoteOn.load(), 0);
        // The render takes the release once it runs again.
        ASSERT_TRUE(testsupport::waitUntil([&] { return gate->itemReady.load(); }));
        if (player->rate() == 0.0f) c->playPauseToggle();
        EXPECT_TRUE(testsupport::waitUntil([&] { return voices(*track) == 0 && track->leftChannelValue() < 1e-3; }))
            << "the note still sounds: " << voices(*track) << " voices, level " << track->leftChannelValue();

        // Recording works afterwards.
        c->currentSelectedAudio = track->viewIndex();
        playFromTheStart();
        alerts.clear();
        c->recordMIDIForFilter();
        EXPECT_TRUE(alerts.empty());
        if (!manager().recordNotes.load()) {
            ADD_FAILURE() << "\"Record notes\" refused";
            continue;
        }
        play(64, true);
        QTest::qWait(150);
        play(64, false);
        EXPECT_TRUE(testsupport::waitUntil([&] { return track->midiArray.size() == 2; }));
        c->recordMIDIForFilter();
        EXPECT_FALSE(manager().recordNotes.load());
        EXPECT_TRUE(alerts.empty());
        ASSERT_EQ(track->midiArray.size(), 2u);
        EXPECT_EQ(track->midiArray[0].midiNote, 64u);
        EXPECT_TRUE(track->midiArray[0].midiCommandEndTime) << "the note is finished";
        EXPECT_TRUE(other->midiArray.empty());
        notelists::updateMIDIArrayFromArray(*track, {});
    }
    c->playPauseToggle();
}

// A refused "Record notes" says why and leaves the record flag, and the
// panel's Record button, as they were: a key is held (when a pass would
// start and when it would stop), or the selected track has no instrument.
// Once the key is up the same click is taken.
TEST_F(MidiNotesTest, ARefusedRecordToggleSaysWhy) {
    c->midiNotes()->connectsToInputs = false;
    auto other = append(silence(QStringLiteral("other.wav")));
    addSampler(track.get());
    waitForReadyItem();
    c->showNotesViewFrom();
    QPushButton* button = c->ui.notesPanel->recordNotesButton;
    ASSERT_TRUE(button->isVisible());
    auto gate = c->midiNotes()->gate();
    gate->isPlaying = true;  // no playback request
    const auto down = midiio::MidiNoteCommand::noteCommandWithNote(62, 100, 3, true, 0);
    const auto up = midiio::MidiNoteCommand::noteCommandWithNote(62, 0, 3, false, 0);
    struct Case {
        const char* name;
        bool recording;
        bool instrument;
        const char* message;
        const char* why;
    };
    const Case cases[] = {
        {"a key held, to start", false, true, "A key is held down on a MIDI Device.",
         "Release every key to start recording notes."},
        {"a key held, to stop", true, true, "A key is held down on a MIDI Device.",
         "Release every key to stop recording notes."},
        {"no instrument", false, false, "No MIDI Audio Unit set in this track.",
         "Add a MIDI Audio Unit if you want to record notes in the selected track."},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        c->currentSelectedAudio = track->viewIndex();
        manager().recordNotes = k.recording;
        button->setChecked(k.recording);
        if (k.instrument) {
            manager().handleMIDINoteCommand(down);
            ASSERT_EQ(manager().isProcessingNoteOn.load(), 1);
        } else {
            c->currentSelectedAudio = other->viewIndex();
        }
        alerts.clear();
        button->click();
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_EQ(alerts[0].messageText, QString::fromUtf8(k.message));
        EXPECT_EQ(alerts[0].informativeText, QString::fromUtf8(k.why));
        EXPECT_EQ(manager().recordNotes.load(), k.recording);
        EXPECT_EQ(button->isChecked(), k.recording);
        if (!k.instrument) continue;

        manager().handleMIDINoteCommand(up);
        alerts.clear();
        button->click();
        EXPECT_TRUE(alerts.empty());
        EXPECT_EQ(manager().recordNotes.load(), !k.recording);
        EXPECT_EQ(button->isChecked(), !k.recording);
        if (manager().recordNotes.load()) c->recordMIDIForFilter();
    }
    c->ui.notesPanel->close();
}

namespace {

// The application's look for one test; the test program's comes back after.
class DarkLook {
public:
    DarkLook() : style_(QApplication::style()->name()), palette_(QApplication::palette()) { applyDarkLook(); }
    ~DarkLook() {
        QApplication::setStyle(style_);
        QApplication::setPalette(palette_);
    }

private:
    QString style_;
    QPalette palette_;
};

// The share of pixels whose colour differs clearly between two pictures of one size.
double differingShare(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return 0;
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            if (std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) + std::abs(p.blue() - q.blue()) > 90)
                ++differing;
        }
    return double(differing) / (a.width() * a.height());
}

}  // namespace

// Under the application's dark look the notes panel's Record, Select and
// Adjust toggles are drawn plainly otherwise when they are on, their state
// follows the record flag and the lane's note modes whether the panel or the
// track menu changes them, and an unchecked button keeps the look every
// other button has.
TEST_F(MidiNotesTest, ThePanelTogglesShowWhenTheyAreOn) {
    DarkLook look;
    c->midiNotes()->connectsToInputs = false;
    addSampler(track.get());
    c->showNotesViewFrom();
    NotesPanel* panel = c->ui.notesPanel;
    ASSERT_TRUE(panel->isVisible());
    const AudioDrawingView* lane = AudioController::trackLaneOf(track.get());
    ASSERT_TRUE(lane);
    struct Toggle {
        const char* name;
        QPushButton* button;
        std::function<bool()> flag;
        // The same command from the track menu.
        std::function<void()> fromMenu;
    };
    const Toggle toggles[] = {
        {"Record", panel->recordNotesButton, [&] { return manager().recordNotes.load(); },
         [&] { c->recordMIDIForFilter(); }},
        {"Select", panel->selectNotesButton, [&] { return lane->isSelectingNotes; },
         [&] { c->selectNotesFrom(track.get()); }},
        {"Adjust", panel->adjustNotesButton, [&] { return lane->isAdjustingNotes; },
         [&] { c->adjustNotesFrom(track.get()); }},
    };
    for (const Toggle& t : toggles) {
        SCOPED_TRACE(t.name);
        ASSERT_FALSE(t.flag());
        ASSERT_FALSE(t.button->isChecked());
        // Both pictures without the focus frame a click brings.
        const QImage off = t.button->grab().toImage();
        t.button->click();
        t.button->clearFocus();
        ASSERT_TRUE(t.flag());
        EXPECT_TRUE(t.button->isChecked());
        const QImage on = t.button->grab().toImage();
        EXPECT_GT(differingShare(off, on), 0.4) << "a checked button looks like an unchecked one";
        t.button->click();
        t.button->clearFocus();
        EXPECT_FALSE(t.flag());
        EXPECT_EQ(t.button->grab().toImage(), off);

        // Changed from the track menu, the open panel's button follows.
        for (bool expected : {true, false}) {
            t.fromMenu();
            EXPECT_EQ(t.flag(), expected);
            EXPECT_EQ(t.button->isChecked(), expected);
        }
    }

    // Unchecked, a push button is drawn as the base style draws it.
    QPushButton plain(QStringLiteral("Transpose"));
    plain.resize(90, 26);
    const QImage ours = plain.grab().toImage();
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    plain.setStyle(fusion.get());
    EXPECT_EQ(plain.grab().toImage(), ours);
    plain.setStyle(nullptr);
    panel->close();
}
