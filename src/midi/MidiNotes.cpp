#include "midi/MidiNotes.h"

#include "app/AudioController.h"
#include "midi/MIDIManager.h"
#include "midi/NoteLists.h"
#include "platform/media/Player.h"
#include "views/NotesPanel.h"
#include "views/PianoView.h"

#include <QEvent>
#include <QMetaObject>

namespace {
constexpr int kDrainIntervalMs = 20;
constexpr int kLiveCheckIntervalMs = 1000;
// The keys the piano view shows: note 21 is key 0.
constexpr int kFirstKeyNote = 21;
}  // namespace

MidiNotes::MidiNotes(AudioController* controller)
    : QObject(controller), controller_(controller), gate_(std::make_shared<MidiInputGate>()) {
    gate_->selectedTrack = &controller->currentSelectedAudio;
    // The input thread only posts; the main thread starts playback itself.
    QPointer<MidiNotes> self(this);
    gate_->requestPlayback = [self] {
        QMetaObject::invokeMethod(self.data(), [self] {
            if (!self) return;
            AudioController* c = self->controller_;
            if (!c->shell.isPlaying && !(c->audioPlayer && c->audioPlayer->rate() != 0)) c->playPauseToggle();
            self->refreshGate();
        }, Qt::QueuedConnection);
    };
    gate_->wakeMainThread = [self] {
        QMetaObject::invokeMethod(self.data(), [self] { if (self) self->wake(); }, Qt::QueuedConnection);
    };
    timer_.setInterval(kDrainIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &MidiNotes::tick);
    liveCheck_.setInterval(kLiveCheckIntervalMs);
    connect(&liveCheck_, &QTimer::timeout, this, &MidiNotes::refreshLiveInput);
    if (Player* player = controller->audioPlayer.get()) gate_->clock = player->clock();
    connect(controller, &AudioController::playerStateChanged, this, &MidiNotes::refreshGate);
    if (Player* player = controller->audioPlayer.get()) {
        connect(player, &Player::currentItemChanged, this, &MidiNotes::followPlayerItem);
        connect(player, &Player::rateChanged, this, &MidiNotes::refreshGate);
    }
    followPlayerItem();
}

MidiNotes::~MidiNotes() {
    // Managers outlive this object in their tracks: they must not post here.
    gate_->requestPlayback = nullptr;
    gate_->wakeMainThread = nullptr;
    gate_->itemReady = false;
}

void MidiNotes::followPlayerItem() {
    disconnect(itemConnection_);
    followedItem_ = controller_->audioPlayer ? controller_->audioPlayer->currentItem() : nullptr;
    if (followedItem_)
        itemConnection_ = connect(followedItem_.data(), &PlayerItem::statusChanged, this, &MidiNotes::refreshGate);
    refreshGate();
}

void MidiNotes::refreshGate() {
    Player* player = controller_->audioPlayer.get();
    const bool ready = player && player->currentItem() &&
                       player->currentItem()->status() == PlayerItem::Status::ReadyToPlay;
    gate_->itemReady.store(ready);
    const bool playing = player && player->rate() != 0;
    gate_->isPlaying.store(playing);
    if (playing) wake();
    else darkenKeys();
    refreshLiveInput();
}

void MidiNotes::refreshLiveInput() {
    Player* player = controller_->audioPlayer.get();
    if (!player) return;
    // The panel tells when it opens and closes.
    if (QWidget* panel = controller_->ui.notesPanel; panel && panel != watchedPanel_) {
        if (watchedPanel_) watchedPanel_->removeEventFilter(this);
        panel->installEventFilter(this);
        watchedPanel_ = panel;
    }
    bool live = false;
    if (MusicFilter* track = controller_->trackAt(controller_->currentSelectedAudio.load());
        track && track->midiManager) {
        live = (watchedPanel_ && watchedPanel_->isVisible()) || !track->midiManager->connectedDevices().empty();
    }
    player->setLiveInput(live);
    if (live && !liveCheck_.isActive()) liveCheck_.start();
    else if (!live) liveCheck_.stop();
}

bool MidiNotes::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedPanel_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        QMetaObject::invokeMethod(this, &MidiNotes::refreshLiveInput, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
}

void MidiNotes::darkenKeys() {
    if (highlightsNotes.isEmpty()) return;
    highlightsNotes.clear();
    if (PianoView* keys = controller_->ui.notesPanel ? controller_->ui.notesPanel->pianoView : nullptr) {
        keys->highlightsNotes.clear();
        keys->update();
    }
}

void MidiNotes::wake() {
    if (!timer_.isActive()) timer_.start();
}

MidiNoteList* MidiNotes::recordingSnapshotOf(const MusicFilter* track) {
    for (auto& [owner, notes] : tempMIDINotes)
        if (owner.lock().get() == track) return &notes;
    return nullptr;
}

void MidiNotes::tick() {
    drainReports();
    const bool playing = gate_->isPlaying.load();
    bool recording = false;
    for (auto it = tempMIDINotes.begin(); it != tempMIDINotes.end();)
        if (it->first.expired()) it = tempMIDINotes.erase(it);
        else ++it, recording = true;
    if (!playing && !recording) {
        // One last drain for what the last slices sent, then sleep.
        drainReports();
        timer_.stop();
    }
}

void MidiNotes::drainReports() {
    AudioController* c = controller_;
    const uint64_t selected = c->currentSelectedAudio.load();
    // Keys light only while the player plays: a stopped render sends no
    // note-off, and the lights still on their way from the slices before a
    // pause are stale. What sounds is followed all the while it plays, and
    // shown while the panel is up and the controller does not work: a note
    // that began while it worked (a seek that waits for the output) lights
    // once it is done.
    const bool playing = gate_->isPlaying.load();
    const bool showKeys = playing && c->trackList.notesPanel && c->trackList.notesPanel->isVisible() &&
                          !c->shell.audioControllerIsWorking;
    for (int i = 0; i < c->trackCount(); ++i) {
        MusicFilter* track = c->trackAt(quint64(i));
        if (!track || !track->midiManager) continue;
        bool changed = false;
        const bool lightsHere = playing && uint64_t(i) == selected && track->viewIndex() == selected;
        track->midiManager->scheduler().takeReports([&](const MidiScheduler::Report& r) {
            switch (r.kind) {
            case MidiScheduler::Report::LiveRecord:
                changed = notelists::commitLiveRecord(track->midiArray, r.record) || changed;
                break;
            case MidiScheduler::Report::Light:
                if (lightsHere) highlightsNotes.insert(int(r.note) - kFirstKeyNote);
                break;
            case MidiScheduler::Report::Unlight:
                if (lightsHere) highlightsNotes.remove(int(r.note) - kFirstKeyNote);
                break;
            }
        });
        if (!changed) continue;
        notelists::sortByStartTime(track->midiArray);
        track->publishNotes();
        if (auto* lane = AudioController::trackLaneOf(track)) lane->update();
    }
    // The panel's keyboard shows the keys that sound.
    if (PianoView* keys = c->ui.notesPanel ? c->ui.notesPanel->pianoView : nullptr) {
        const QSet<int> shown = showKeys ? highlightsNotes : QSet<int>();
        if (keys->highlightsNotes != shown) {
            keys->highlightsNotes = shown;
            keys->update();
        }
    }
}
