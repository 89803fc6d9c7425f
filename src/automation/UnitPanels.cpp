// The unit panel: one view of a track's built-in units (or plug-ins) at a
// time in a floating tool window with its own undo history; the show and
// switch actions of the built-in units, the popover that holds the
// switches, and the resets of the three filter views.
//
// The panel never outlives the units it shows: when the track's units are
// about to be freed (its tap unprepared, the track removed), the panel
// closes and its view goes at once.

#include "app/Alerts.h"
#include "app/AudioController.h"
#include "midi/MIDIManager.h"

#include "engine/MusicFilter.h"
#include "engine/TrackList.h"
#include "platform/core/MainQueue.h"
#include "platform/core/UndoManager.h"
#include "views/AudioUnitPanel.h"
#include "views/ToolWindow.h"
#include "views/AudioView.h"
#include "views/FloatSlider.h"
#include "views/NotesPanel.h"
#include "views/StyledControls.h"
#include "views/UnitViews.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QCheckBox>
#include <QComboBox>
#include <QTimer>

namespace {

struct UnitRow {
    const char* title;
    bool ownView;
};

// By unit type: the panel title and whether the unit has a view of its own
// (the others use the generic panel of their parameters).
constexpr UnitRow kUnitRows[unittype::kBuiltInCount] = {
    {"N-Band EQ", true},      {"Graphic EQ", true},      {"Audio Filter", true},
    {"Dynamics Processor", true}, {"Multiband Compressor", true}, {"Distortion", true},
    {"Delay", true},          {"Lowpass Filter", true},  {"Highpass Filter", true},
    {"Bandpass Filter", true}, {"Peak Limiter", true},   {"Pitch", true},
    {"Matrix Reverb", false}, {"Panner", false},
};

constexpr int kMinimumContentWidth = 490, kMinimumContentHeight = 240;

// The connected MIDI devices of a track's MIDI manager; none without one.
int connectedMIDIDeviceCount(const MusicFilter* filter) {
    if (!filter || !filter->midiManager) return 0;
    return int(filter->midiManager->connectedDevices().size());
}

// The panel's track keeps the values its units hold now; a track whose
// units are gone (no tap, or a tap let go) keeps the values it has.
void readBackUnitValues(MusicFilter* track) {
    if (!track || !track->getProcessorContext()) return;
    bool hasUnits = false;
    for (uint64_t type = 0; type < unittype::kBuiltInCount && !hasUnits; ++type)
        hasUnits = track->getAudioUnitForType(type) != nullptr;
    for (const PluginRecord& r : track->pluginsArray()) hasUnits = hasUnits || r.audioUnit;
    if (hasUnits) track->updateListenerParametersFromAudioUnits();
}

bool isInstrumentName(const QString& name) {
    return name == QLatin1String("Apple: AU Sampler") || name == QLatin1String("Apple: DLS Synth");
}

}  // namespace

namespace {

// Follows where the user works: a press or a key in the panel gives it the
// Edit menu's history, one anywhere else but the main window's menu bar and
// its menus takes it back. Installed on the application while the panel exists.
class PanelUserWatch : public QObject {
public:
    PanelUserWatch(AudioController* c, QWidget* panel) : QObject(panel), c_(c), panel_(panel) {}

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        const QEvent::Type t = e->type();
        if (t != QEvent::MouseButtonPress && t != QEvent::KeyPress) return false;
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w) return false;
        const bool inPanel = w->window() == panel_;
        if (!inPanel && (qobject_cast<QMenu*>(w->window()) || inMenuBar(w))) return false;
        if (c_->unitPanels.panelHasTheUser == inPanel) return false;
        c_->unitPanels.panelHasTheUser = inPanel;
        UndoManager* um = c_->activeUndoManager();
        c_->ui.undoAction->setEnabled(um->canUndo());
        c_->ui.redoAction->setEnabled(um->canRedo());
        return false;
    }

private:
    static bool inMenuBar(QWidget* w) {
        for (; w; w = w->parentWidget())
            if (qobject_cast<QMenuBar*>(w)) return true;
        return false;
    }

    AudioController* c_;
    QWidget* panel_;
};

}  // namespace

AudioUnitPanel* AudioController::audioUnitPanel() {
    if (auto* panel = qobject_cast<AudioUnitPanel*>(trackList.audioUnitPanel.data())) return panel;
    auto* panel = new AudioUnitPanel(ui.window);
    panel->windowWillClose = [this, panel] { windowWillClose(panel); };
    trackList.audioUnitPanel = panel;
    qApp->installEventFilter(new PanelUserWatch(this, panel));
    // The factory outlives any one controller: a controller that is gone is
    // never called.
    GenericUnitViewFactory::shared().resetFilterView = [self = QPointer<AudioController>(this)](uint64_t type) {
        if (!self) return;
        switch (type) {
        case unittype::LowPass: self->resetLowPassFilterFrom(); break;
        case unittype::HighPass: self->resetHighPassFilterFrom(); break;
        case unittype::BandPass: self->resetBandPassFilterFrom(); break;
        default: break;
        }
    };
    return panel;
}

UndoManager* AudioController::activeUndoManager() {
    auto* panel = qobject_cast<AudioUnitPanel*>(trackList.audioUnitPanel.data());
    if (panel && panel->isVisible()) {
        QWidget* active = QApplication::activeWindow();
        if (active == panel || (active == ui.window && unitPanels.panelHasTheUser)) return audioUnitPanelUndoManager();
    }
    return undoManager();
}

void AudioController::showAudioUnitView(QWidget* view, const QString& name) {
    if (!view) return;
    AudioUnitPanel* panel = audioUnitPanel();
    audioUnitPanelUndoManager()->removeAllActions();
    const QSize size = view->size();
    panel->setMinimumContentSize(
        QSize(std::min(size.width(), kMinimumContentWidth), std::min(size.height(), kMinimumContentHeight)));
    panel->setContentSize(size);
    panel->setContentView(view);
    panel->setWindowTitle(name);
    auto current = unitPanels.currentFilterInAudioUnitPanel.lock();
    unitPanels.contentFilter = current.get();
    const bool wasVisible = panel->isVisible();
    if (!wasVisible) {
        // An instrument without a MIDI device to play it says so first,
        // before any panel opens over the main window.
        if (isInstrumentName(name) && connectedMIDIDeviceCount(current.get()) == 0)
            runModalAlert(ui.window, {QStringLiteral("No MIDI Device connected."),
                                      QStringLiteral("Connect a MIDI Device (Keyboard, Synthesizer...) if you "
                                                     "want to record notes."),
                                      {QStringLiteral("Ok")}});
        // Shown the first time over the main window's track area, later
        // where the user left it; beside the notes panel, never on it.
        if (!unitPanels.placed && ui.window) {
            const QRect area = ui.window->geometry();
            panel->move(area.x() + (area.width() - panel->width()) / 2, area.y() + area.height() / 4);
            unitPanels.placed = true;
        }
        if (ui.notesPanel) placeBeside(panel, ui.notesPanel);
        panel->show();
        panel->raise();
        panel->activateWindow();
    }
    updateUnitViewsInPanel();
}

void AudioController::updateUnitViewsInPanel() {
    auto* panel = qobject_cast<AudioUnitPanel*>(trackList.audioUnitPanel.data());
    QWidget* shown = panel && panel->isVisible() ? panel->contentView() : nullptr;
    if (!ui.audioView) return;
    for (const TrackRecord& r : ui.audioView->audioTracks) {
        MusicFilter* t = r.audioFilter.get();
        if (!t) continue;
        uint32_t flags = 0;
        if (shown && t == unitPanels.contentFilter) {
            if (t->audioUnitLowPassView == shown) flags |= MusicFilter::LowPassInPanel;
            if (t->audioUnitHighPassView == shown) flags |= MusicFilter::HighPassInPanel;
            if (t->audioUnitBandPassView == shown) flags |= MusicFilter::BandPassInPanel;
        }
        t->unitViewsInPanel.store(flags, std::memory_order_release);
    }
}

void AudioController::showBuiltInUnitViewFrom(uint64_t type) {
    if (type >= unittype::kBuiltInCount) return;
    const uint64_t index = currentSelectedAudio.load();
    TrackRecord* record = trackRecordAt(index);
    if (!record || !record->audioFilter) return;
    std::shared_ptr<MusicFilter> track = record->audioFilter;
    const UnitRow& row = kUnitRows[type];
    TrackTapContext* context = track->getProcessorContext();
    units::Unit* unit = track->getAudioUnitForType(type);
    // The generic views show only a unit that exists.
    if (!row.ownView && !unit) return;
    if (auto previous = unitPanels.currentFilterInAudioUnitPanel.lock()) readBackUnitValues(previous.get());
    if (!context) return;
    unitPanels.currentFilterInAudioUnitPanel = track;
    QWidget* view = row.ownView ? track->createCocoaView(unit) : track->createCustomViewForAudioUnit(unit);
    QPointer<QWidget>* property = track->audioUnitViewForType(type);
    *property = view;
    showAudioUnitView(property->data(), QString::fromLatin1(row.title));
}

void AudioController::reshowAudioUnitPanel(MusicFilter* track, const QString& title) {
    for (uint64_t type = 0; type < unittype::kBuiltInCount; ++type)
        if (title == QLatin1String(kUnitRows[type].title)) {
            showBuiltInUnitViewFrom(type);
            return;
        }
    // Any other title names a plug-in of the track: its pop-up shows it again.
    if (track && track->firstPluginIndexNamed(title) >= 0) showAudioUnitForPluginObject(track);
}

void AudioController::showNBandEQViewFrom() { showBuiltInUnitViewFrom(unittype::NBandEQ); }
void AudioController::show31BandEQViewFrom() { showBuiltInUnitViewFrom(unittype::GraphicEQ); }
void AudioController::showAUFilterFrom() { showBuiltInUnitViewFrom(unittype::AUFilter); }
void AudioController::showDynamicProcessorFrom() { showBuiltInUnitViewFrom(unittype::DynamicProcessor); }
void AudioController::showMultibandFrom() { showBuiltInUnitViewFrom(unittype::MultibandCompressor); }
void AudioController::showDistortionViewFrom() { showBuiltInUnitViewFrom(unittype::Distortion); }
void AudioController::showDelayFrom() { showBuiltInUnitViewFrom(unittype::Delay); }
void AudioController::showLowPassViewFrom() { showBuiltInUnitViewFrom(unittype::LowPass); }
void AudioController::showHighPassViewFrom() { showBuiltInUnitViewFrom(unittype::HighPass); }
void AudioController::showBandPassViewFrom() { showBuiltInUnitViewFrom(unittype::BandPass); }
void AudioController::showPeakLimiterFrom() { showBuiltInUnitViewFrom(unittype::PeakLimiter); }
void AudioController::showPitchFilterFrom() { showBuiltInUnitViewFrom(unittype::PitchFilter); }
void AudioController::showMatrixRFilterFrom() { showBuiltInUnitViewFrom(unittype::MatrixReverb); }
void AudioController::showNewFilter0From() { showBuiltInUnitViewFrom(unittype::NewFilter0); }

// ---- switches ----

void AudioController::switchBuiltInUnit(uint64_t type, bool on) {
    MusicFilter* track = trackAt(currentSelectedAudio.load());
    if (!track) return;
    switch (type) {
    case unittype::NBandEQ: track->updateNBandEQEnabled(on); break;
    case unittype::GraphicEQ: track->updateGraphicBandEQEnabled(on); break;
    case unittype::AUFilter: track->updateAUFilterEnabled(on); break;
    case unittype::DynamicProcessor: track->updateDynamicProcessorEnabled(on); break;
    case unittype::MultibandCompressor: track->updateMultibandCompressorEnabled(on); break;
    case unittype::Distortion: track->updateDistortionEnabled(on); break;
    case unittype::Delay: track->updateDelayEnabled(on); break;
    case unittype::PeakLimiter: track->updatePeakLimiterEnabled(on); break;
    case unittype::PitchFilter: track->updatePitchFilterEnabled(on); break;
    case unittype::MatrixReverb: track->updateMatrixRFilterEnabled(on); break;
    case unittype::NewFilter0: track->updateNewFilter0Enabled(on); break;
    default: break;
    }
}

namespace {
bool isOn(const QAbstractButton* sender) { return sender && sender->isChecked(); }
}  // namespace

void AudioController::nBandEQCheckFrom(QAbstractButton* s) { switchBuiltInUnit(unittype::NBandEQ, isOn(s)); }
void AudioController::graphicEQCheckFrom(QAbstractButton* s) { switchBuiltInUnit(unittype::GraphicEQ, isOn(s)); }
void AudioController::auFilterCheckFrom(QAbstractButton* s) { switchBuiltInUnit(unittype::AUFilter, isOn(s)); }
void AudioController::dynamicProcessorCheckFrom(QAbstractButton* s) {
    switchBuiltInUnit(unittype::DynamicProcessor, isOn(s));
}
void AudioController::multibandCompressorCheckFrom(QAbstractButton* s) {
    switchBuiltInUnit(unittype::MultibandCompressor, isOn(s));
}
void AudioController::distortionCheckFrom(QAbstractButton* s) { switchBuiltInUnit(unittype::Distortion, isOn(s)); }
void AudioController::delayCheckFrom(QAbstractButton* s) { switchBuiltInUnit(unittype::Delay, isOn(s)); }
void AudioController::peakLimiterCheckFrom(QAbstractButton* s) { switchBuiltInUnit(unittype::PeakLimiter, isOn(s)); }
void AudioController::pitchFilterCheckFrom(QAbstractButton* s) { switchBuiltInUnit(unittype::PitchFilter, isOn(s)); }
void AudioController::matrixRFilterCheckFrom(QAbstractButton* s) {
    switchBuiltInUnit(unittype::MatrixReverb, isOn(s));
}
void AudioController::newFilter0CheckFrom(QAbstractButton* s) { switchBuiltInUnit(unittype::NewFilter0, isOn(s)); }

// ---- the popover ----

AudioUnitsPopover* AudioController::audioUnitsPopover() {
    if (!unitPanels.popover) {
        unitPanels.popover = new AudioUnitsPopover(ui.window);
        unitPanels.popover->switchClicked = [this](int type, bool on) { switchBuiltInUnit(uint64_t(type), on); };
    }
    return unitPanels.popover;
}

void AudioController::showAudioUnitsPopoverFrom() {
    MusicFilter* track = trackAt(currentSelectedAudio.load());
    if (!track) return;
    AudioUnitsPopover* popover = audioUnitsPopover();
    for (int type : AudioUnitsPopover::kSwitchTypes)
        if (QCheckBox* check = popover->switchForType(type)) {
            bool on = false;
            switch (type) {
            case 0: on = track->getNBandEQEnabled(); break;
            case 1: on = track->get31BandEQEnabled(); break;
            case 2: on = track->getAUFilterEnabled(); break;
            case 3: on = track->getDynamicProcessorEnabled(); break;
            case 4: on = track->getMultibandCompressorEnabled(); break;
            case 5: on = track->getDistortionEnabled(); break;
            case 6: on = track->getDelayEnabled(); break;
            case 10: on = track->getPeakLimiterEnabled(); break;
            case 11: on = track->getPitchFilterEnabled(); break;
            case 12: on = track->getMatrixRFilterEnabled(); break;
            case 13: on = track->getNewFilter0Enabled(); break;
            }
            check->setChecked(on);
        }
    // The selected track's plug-in row: its last shown item, the check box
    // following that item's record.
    auto* popUp = qobject_cast<QComboBox*>(track->pluginsPopUpButton.data());
    auto* check = qobject_cast<QCheckBox*>(track->pluginsCheckButton.data());
    if (popUp) {
        if (track->lastSelectedPlugin >= 0 && track->lastSelectedPlugin < popUp->count())
            popUp->setCurrentIndex(int(track->lastSelectedPlugin));
        const int i = check && popUp->currentIndex() >= 0 ? track->firstPluginIndexNamed(popUp->currentText()) : -1;
        if (i >= 0) check->setChecked(track->pluginsArray()[i].audioUnitEnabled);
    }
    // Every track's controls leave the popover; the selected track's come back.
    const bool hasPluginRow = placePluginControls(*track, popover->audioUnitsView, QPoint(18, 16), 11);
    popover->showRelativeTo(unitPanels.audioUnitsButton ? unitPanels.audioUnitsButton.data() : ui.window,
                            hasPluginRow ? QSize(282, 490) : QSize(282, 454));
}

bool AudioController::placePluginControls(MusicFilter& track, QWidget* holder, QPoint checkOrigin, int popUpY,
                                          QWidget* alsoFrom) {
    if (ui.audioView)
        for (const TrackRecord& r : ui.audioView->audioTracks)
            if (r.audioFilter)
                for (QWidget* w : {r.audioFilter->pluginsCheckButton.data(), r.audioFilter->pluginsPopUpButton.data()})
                    if (w && w->parentWidget() && (w->parentWidget() == holder || w->parentWidget() == alsoFrom)) {
                        w->hide();
                        w->setParent(nullptr);
                    }
    QWidget* check = track.pluginsCheckButton.data();
    QWidget* popUp = track.pluginsPopUpButton.data();
    if (!check || !popUp) return false;
    check->setParent(holder);
    check->move(checkOrigin);
    popUp->setParent(holder);
    popUp->move(check->x() + check->width() + 3, popUpY);
    check->show();
    popUp->show();
    return true;
}

// ---- filter resets ----

namespace {
// The sliders take their defaults and their actions apply them at once.
void resetFilter(AudioController& c, FilterSlider first, float firstValue, EffectAction firstAction,
                 FilterSlider second, float secondValue, EffectAction secondAction) {
    if (!c.trackAt(c.currentSelectedAudio.load())) return;
    FloatSlider* a = c.filterSlider(first);
    FloatSlider* b = c.filterSlider(second);
    if (a) a->setFloatValue(firstValue);
    if (b) b->setFloatValue(secondValue);
    c.automation.needsToUpdateValueImmediately = true;
    if (a) (c.*firstAction)(EffectSender(a));
    if (b) (c.*secondAction)(EffectSender(b));
    c.automation.needsToUpdateValueImmediately = false;
}
}  // namespace

void AudioController::resetLowPassFilterFrom() {
    resetFilter(*this, FilterSlider::LowPassResonance, defaultValue("inputLowPassResonance"),
                &AudioController::updateLowPassResonanceFrom, FilterSlider::LowPassCutoff,
                defaultValue("inputLowPassCutoff"), &AudioController::updateLowPassCutoffFrom);
}

void AudioController::resetHighPassFilterFrom() {
    resetFilter(*this, FilterSlider::HighPassResonance, defaultValue("inputHighPassResonance"),
                &AudioController::updateHighPassResonanceFrom, FilterSlider::HighPassCutoff,
                defaultValue("inputHighPassCutoff"), &AudioController::updateHighPassCutoffFrom);
}

void AudioController::resetBandPassFilterFrom() {
    resetFilter(*this, FilterSlider::BandPassCenter, defaultValue("inputBandPassCenterFrequency"),
                &AudioController::updateBandPassCenterFrom, FilterSlider::BandPassBandwidth,
                defaultValue("inputBandPassBandwidth"), &AudioController::updateBandPassBandwidthFrom);
}

// ---- closing ----

void AudioController::windowWillClose(QWidget* window) {
    if (!window || window != trackList.audioUnitPanel.data()) return;
    unitPanels.panelHasTheUser = false;
    if (auto track = unitPanels.currentFilterInAudioUnitPanel.lock()) readBackUnitValues(track.get());
    unitPanels.currentFilterInAudioUnitPanel.reset();
    // The view goes once the close has been handled.
    QTimer::singleShot(0, this, [this] { removePanelContentView(); });
}

void AudioController::removePanelContentView() {
    audioUnitPanelUndoManager()->removeAllActions();
    if (auto* panel = qobject_cast<AudioUnitPanel*>(trackList.audioUnitPanel.data())) panel->setContentView(nullptr);
    unitPanels.contentFilter = nullptr;
    updateUnitViewsInPanel();
}

void AudioController::trackUnitsWillBeFreed(MusicFilter* filter) {
    if (!filter || filter != unitPanels.contentFilter) return;
    auto* panel = qobject_cast<AudioUnitPanel*>(trackList.audioUnitPanel.data());
    if (panel && panel->isVisible()) panel->close();
    removePanelContentView();
}

// The "Audio Units" button beside the equaliser toggle opens the popover of
// the selected track's switches; the "Units" menu shows each unit's view.
void installUnitPanelCommands(AudioController* c) {
    if (!c->ui.window || !c->ui.animateEQViewButton) return;
    if (QWidget* bar = c->ui.animateEQViewButton->parentWidget()) {
        auto* button = new ColoredButton(QStringLiteral("Audio Units"), bar);
        if (auto* layout = qobject_cast<QBoxLayout*>(bar->layout())) {
            const int at = layout->indexOf(c->ui.animateEQViewButton);
            layout->insertWidget(at + 1, button);
        }
        QObject::connect(button, &QAbstractButton::clicked, c, &AudioController::showAudioUnitsPopoverFrom);
        c->unitPanels.audioUnitsButton = button;
    }
    struct Item {
        const char* title;
        void (AudioController::*show)();
    } const items[] = {
        {"N-Band EQ", &AudioController::showNBandEQViewFrom},
        {"Graphic EQ", &AudioController::show31BandEQViewFrom},
        {"Audio Filter", &AudioController::showAUFilterFrom},
        {"Dynamics Processor", &AudioController::showDynamicProcessorFrom},
        {"Multiband Compressor", &AudioController::showMultibandFrom},
        {"Distortion", &AudioController::showDistortionViewFrom},
        {"Delay", &AudioController::showDelayFrom},
        {"Lowpass Filter", &AudioController::showLowPassViewFrom},
        {"Highpass Filter", &AudioController::showHighPassViewFrom},
        {"Bandpass Filter", &AudioController::showBandPassViewFrom},
        {"Peak Limiter", &AudioController::showPeakLimiterFrom},
        {"Pitch", &AudioController::showPitchFilterFrom},
        {"Matrix Reverb", &AudioController::showMatrixRFilterFrom},
        {"Panner", &AudioController::showNewFilter0From},
    };
    QMenu* menu = c->ui.window->menuBar()->addMenu(QStringLiteral("Units"));
    for (const Item& item : items) {
        auto show = item.show;
        QObject::connect(menu->addAction(QString::fromLatin1(item.title)), &QAction::triggered, c,
                         [c, show] { (c->*show)(); });
    }
    menu->addSeparator();
    QObject::connect(menu->addAction(QStringLiteral("Audio Units…")), &QAction::triggered, c,
                     &AudioController::showAudioUnitsPopoverFrom);
    QObject::connect(menu->addAction(QStringLiteral("AU Sampler")), &QAction::triggered, c,
                     [c] { c->createAUSamplerFrom(); });
}
