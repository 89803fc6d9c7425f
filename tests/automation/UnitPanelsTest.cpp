// The unit panel with real tracks and their real units: the panel's sizes,
// the no-device alert, a view's change undone from the Edit menu, closing,
// a removed track's panel, the filter views and resets, the switches.
#include "app/TrackListFixture.h"

#include "app/Alerts.h"
#include "engine/TrackTapContext.h"
#include "midi/MIDIManager.h"
#include "midi/MidiNotes.h"
#include "platform/units/Unit.h"
#include "views/AudioUnitPanel.h"
#include "views/FloatSlider.h"
#include "views/NotesPanel.h"
#include "views/PresetBrowser.h"
#include "views/UnitViews.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenuBar>
#include <QTest>
#include <QWindow>

#include <functional>

namespace {

class UnitPanelsTest : public TrackListTest {
protected:
    void SetUp() override {
        TrackListTest::SetUp();
        setAlertRunner([this](QWidget*, const AlertRequest& r) {
            alerts.push_back(r);
            return 0;
        });
        c->ui.window->show();
        track = append(writeTone(QStringLiteral("panel.wav"), 3.0, 440));
        // An offline render prepares the track's tap and makes its units.
        ASSERT_GT(heardFrequency(0.5, 0.5), 0);
        ASSERT_TRUE(track->getProcessorContext());
        ASSERT_EQ(c->currentSelectedAudio.load(), 0u);
    }
    void TearDown() override {
        setAlertRunner({});
        TrackListTest::TearDown();
    }

    AudioUnitPanel* panel() { return c->audioUnitPanel(); }
    // The first slider of the view in the panel and its parameter's value.
    ParameterSlider* firstSlider() {
        QWidget* view = panel()->contentView();
        return view ? view->findChild<ParameterSlider*>() : nullptr;
    }
    float parameter(uint64_t type, units::ParameterID id) {
        float v = -1;
        if (auto* u = track->getAudioUnitForType(type)) u->getParameter(id, units::Scope::Global, 0, &v);
        return v;
    }
    // Until the event listeners have delivered what the view posted.
    void deliver() {
        QTest::qWait(250);
        endEvent();
    }

    std::vector<AlertRequest> alerts;
    std::shared_ptr<MusicFilter> track;
};

TEST_F(UnitPanelsTest, ThePanelTakesTheViewsSizeAndTitle) {
    struct Case {
        QSize view, minimum;
    } cases[] = {{{800, 600}, {490, 240}}, {{300, 100}, {300, 100}}};
    for (const auto& k : cases) {
        auto* view = new QWidget;
        view->resize(k.view);
        c->showAudioUnitView(view, QStringLiteral("Delay"));
        EXPECT_EQ(panel()->minimumContentSize(), k.minimum);
        EXPECT_EQ(panel()->contentSize(), k.view);
        EXPECT_EQ(panel()->contentView(), view);
        EXPECT_EQ(panel()->windowTitle(), QStringLiteral("Delay"));
    }
    c->showAudioUnitView(nullptr, QStringLiteral("Nothing"));
    EXPECT_EQ(panel()->windowTitle(), QStringLiteral("Delay"));
}

TEST_F(UnitPanelsTest, AnInstrumentWithoutMIDIDeviceAlertsWhenThePanelOpens) {
    c->showAudioUnitView(new QWidget, QStringLiteral("Apple: AU Sampler"));
    endEvent();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, QStringLiteral("No MIDI Device connected."));
    EXPECT_EQ(alerts[0].informativeText,
              QStringLiteral("Connect a MIDI Device (Keyboard, Synthesizer...) if you want to record notes."));
    EXPECT_EQ(alerts[0].buttons, QStringList{QStringLiteral("Ok")});
    // Already open: no alert, for either instrument; an effect never alerts.
    c->showAudioUnitView(new QWidget, QStringLiteral("Apple: DLS Synth"));
    endEvent();
    EXPECT_EQ(alerts.size(), 1u);
    panel()->close();
    endEvent();
    c->showAudioUnitView(new QWidget, QStringLiteral("Delay"));
    endEvent();
    EXPECT_EQ(alerts.size(), 1u);
}

TEST_F(UnitPanelsTest, EveryShowActionShowsItsUnitUnderItsTitle) {
    struct Case {
        std::function<void(AudioController*)> show;
        uint64_t type;
        const char* title;
    } cases[] = {
        {[](AudioController* x) { x->showNBandEQViewFrom(); }, 0, "N-Band EQ"},
        {[](AudioController* x) { x->show31BandEQViewFrom(); }, 1, "Graphic EQ"},
        {[](AudioController* x) { x->showAUFilterFrom(); }, 2, "Audio Filter"},
        {[](AudioController* x) { x->showDynamicProcessorFrom(); }, 3, "Dynamics Processor"},
        {[](AudioController* x) { x->showMultibandFrom(); }, 4, "Multiband Compressor"},
        {[](AudioController* x) { x->showDistortionViewFrom(); }, 5, "Distortion"},
        {[](AudioController* x) { x->showDelayFrom(); }, 6, "Delay"},
        {[](AudioController* x) { x->showLowPassViewFrom(); }, 7, "Lowpass Filter"},
        {[](AudioController* x) { x->showHighPassViewFrom(); }, 8, "Highpass Filter"},
        {[](AudioController* x) { x->showBandPassViewFrom(); }, 9, "Bandpass Filter"},
        {[](AudioController* x) { x->showPeakLimiterFrom(); }, 10, "Peak Limiter"},
        {[](AudioController* x) { x->showPitchFilterFrom(); }, 11, "Pitch"},
        {[](AudioController* x) { x->showMatrixRFilterFrom(); }, 12, "Matrix Reverb"},
        {[](AudioController* x) { x->showNewFilter0From(); }, 13, "Panner"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.title);
        if (!track->getAudioUnitForType(k.type)) {
            // A generic view shows only a unit that exists.
            k.show(c);
            EXPECT_NE(panel()->windowTitle(), QString::fromLatin1(k.title));
            continue;
        }
        k.show(c);
        EXPECT_EQ(panel()->windowTitle(), QString::fromLatin1(k.title));
        EXPECT_TRUE(panel()->isVisible());
        ASSERT_TRUE(panel()->contentView());
        EXPECT_EQ(track->audioUnitViewForType(k.type)->data(), panel()->contentView());
        EXPECT_EQ(c->unitPanels.currentFilterInAudioUnitPanel.lock(), track);
        const uint32_t inPanel = track->unitViewsInPanel.load();
        EXPECT_EQ(inPanel, k.type == 7 ? 1u : k.type == 8 ? 2u : k.type == 9 ? 4u : 0u);
    }
    // Without a selected track nothing changes.
    c->currentSelectedAudio = kNoIndex;
    QWidget* shown = panel()->contentView();
    c->showDelayFrom();
    EXPECT_EQ(panel()->contentView(), shown);
}

TEST_F(UnitPanelsTest, EditUndoInThePanelUndoesThePanelsEditOnly) {
    c->showDistortionViewFrom();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel()));
    panel()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel()));
    ParameterSlider* slider = firstSlider();
    ASSERT_TRUE(slider);
    const units::ParameterID id = track->getAudioUnitForType(5)->parameterList().front();
    const float before = parameter(5, id);
    const int mainSteps = c->undoManager()->undoCount();
    slider->setValue(slider->value() > 5000 ? 1000 : 9000);
    deliver();
    const float after = parameter(5, id);
    ASSERT_NE(after, before);
    ASSERT_TRUE(c->audioUnitPanelUndoManager()->canUndo());
    ASSERT_TRUE(c->ui.undoAction->isEnabled());
    c->ui.undoAction->trigger();
    endEvent();
    EXPECT_FLOAT_EQ(parameter(5, id), before);
    EXPECT_EQ(c->undoManager()->undoCount(), mainSteps);
    EXPECT_TRUE(c->audioUnitPanelUndoManager()->canRedo());
}

// A press on the main window's menu bar makes the main window active: the
// Edit menu still undoes the panel's edit when the panel is where the user
// last worked, and a press in the main window's content takes it back.
TEST_F(UnitPanelsTest, EditUndoFollowsTheWindowTheUserLastWorkedIn) {
    c->showDistortionViewFrom();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel()));
    ParameterSlider* slider = firstSlider();
    ASSERT_TRUE(slider);
    QTest::mouseClick(panel()->contentView(), Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    const units::ParameterID id = track->getAudioUnitForType(5)->parameterList().front();
    const float before = parameter(5, id);
    slider->setValue(slider->value() > 5000 ? 1000 : 9000);
    deliver();
    ASSERT_NE(parameter(5, id), before);
    const int mainSteps = c->undoManager()->undoCount();
    ASSERT_GT(mainSteps, 0) << "the main window has a history of its own";

    QMenuBar* bar = c->ui.window->menuBar();
    c->ui.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(c->ui.window));
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() - 2, bar->height() / 2));
    EXPECT_EQ(c->activeUndoManager(), c->audioUnitPanelUndoManager());
    ASSERT_TRUE(c->ui.undoAction->isEnabled());
    c->ui.undoAction->trigger();
    endEvent();
    EXPECT_FLOAT_EQ(parameter(5, id), before);
    EXPECT_EQ(c->undoManager()->undoCount(), mainSteps);

    QTest::mouseClick(c->ui.controlsView, Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    EXPECT_EQ(c->activeUndoManager(), c->undoManager());
}

TEST_F(UnitPanelsTest, ClosingReadsTheValuesBackAndTheNextViewStartsAfresh) {
    c->showDelayFrom();
    units::Unit* delay = track->getAudioUnitForType(6);
    ASSERT_TRUE(delay);
    const units::ParameterID id = delay->parameterList().front();
    units::ParameterInfo info;
    delay->parameterInfo(units::Scope::Global, id, &info);
    const float changed = info.minValue + (info.maxValue - info.minValue) * 0.37f;
    delay->setParameter(id, changed);
    c->audioUnitPanelUndoManager()->registerUndo(this, [] {});
    panel()->close();
    EXPECT_FALSE(c->unitPanels.currentFilterInAudioUnitPanel.lock());
    endEvent();
    bool found = false;
    for (const MAudioParameter& p : track->listenerParameters)
        if (p.type == 6 && p.parameterID == id) {
            found = true;
            EXPECT_FLOAT_EQ(p.value, changed);
        }
    EXPECT_TRUE(found);
    EXPECT_EQ(panel()->contentView(), nullptr);
    EXPECT_FALSE(c->audioUnitPanelUndoManager()->canUndo());
    c->showPitchFilterFrom();
    EXPECT_FALSE(c->audioUnitPanelUndoManager()->canUndo());
}

// Playback entering a range bound to effect settings keeps the unit panel
// and the notes panel open; the unit panel shows the unit again with the
// range's values, and the plug-in pop-up shows the range's switch.
TEST_F(UnitPanelsTest, EnteringASelectionEntryKeepsThePanelsAndShowsItsValues) {
    // The track lists the instruments, in a pop-up.
    c->audioUnitPluginURLsForFilter(track.get());
    track->prepareTapForProcessing(track->mixInputTap().get());
    ASSERT_TRUE(testsupport::waitUntil([&] { return track->pluginsPopUpButton != nullptr; }));
    endEvent();
    units::Unit* delay = track->getAudioUnitForType(6);
    ASSERT_TRUE(delay);
    const units::ParameterID id = delay->parameterList().front();
    units::ParameterInfo info;
    delay->parameterInfo(units::Scope::Global, id, &info);
    const float bound = info.minValue + (info.maxValue - info.minValue) * 0.37f;
    const float later = info.minValue + (info.maxValue - info.minValue) * 0.8f;
    delay->setParameter(id, bound);
    track->updateListenerParametersFromAudioUnits();
    SelectionParametersRecord entry;
    entry.selectionParametersStartPercent = 0.0;
    entry.selectionParametersEndPercent = 0.5;
    entry.selectionParametersInfo.parameters = c->parametersDictionaryAtIndex(0);
    entry.selectionParametersReference = automation::selectionParametersReference(0.0, 0.5);
    c->automation.selectionParameters[track->identifierOfFilter] = {entry};
    c->publishSelectionParametersForFilter(track.get());
    delay->setParameter(id, later);

    // The pop-up's selected plug-in switched on; the range has no value of it.
    auto* popUp = qobject_cast<QComboBox*>(track->pluginsPopUpButton.data());
    auto* check = qobject_cast<QCheckBox*>(track->pluginsCheckButton.data());
    ASSERT_TRUE(popUp && check && popUp->count() > 0);
    popUp->setCurrentIndex(0);
    PluginRecord on = track->pluginsArray()[0];
    on.audioUnitEnabled = true;
    track->replacePluginRecord(0, on);
    c->applyItemTitleRule(track.get(), 0, on);
    ASSERT_TRUE(check->isChecked());

    c->showDelayFrom();
    QPointer<QWidget> before = panel()->contentView();
    c->ui.notesPanel->show();
    c->updateParametersForSelectionAtTime(MediaTime::fromSeconds(0.5, 44100), track.get());
    endEvent();

    EXPECT_TRUE(panel()->isVisible());
    EXPECT_TRUE(c->ui.notesPanel->isVisible());
    EXPECT_EQ(panel()->windowTitle(), QStringLiteral("Delay"));
    EXPECT_NE(panel()->contentView(), before.data()) << "shown again";
    EXPECT_FLOAT_EQ(parameter(6, id), bound);
    EXPECT_FALSE(track->pluginsArray()[0].audioUnitEnabled);
    EXPECT_FALSE(check->isChecked());
    EXPECT_FALSE(popUp->itemData(0, Qt::FontRole).value<QFont>().bold());
    c->ui.notesPanel->hide();
}

// The unit panel, the notes panel and the presets window float over the
// main window: transient for it, utility windows without a minimise button.
// The command that shows one brings it to the front when it is hidden, and
// changes nothing when it shows already.
TEST_F(UnitPanelsTest, ThePanelsFloatOverTheMainWindowAndComeToTheFrontWhenShown) {
    track->midiManager = std::make_shared<MIDIManager>(*track, c->midiNotes()->gate(), false);
    struct Case {
        const char* name;
        std::function<void(AudioController*)> show;
        std::function<QWidget*(AudioController*)> window;
    } cases[] = {
        {"unit panel", [](AudioController* x) { x->showDelayFrom(); },
         [](AudioController* x) -> QWidget* { return x->audioUnitPanel(); }},
        {"notes panel", [](AudioController* x) { x->showNotesViewFrom(); },
         [](AudioController* x) -> QWidget* { return x->ui.notesPanel; }},
        {"presets window", [](AudioController* x) { x->showPresetsWindowFrom(); },
         [](AudioController* x) -> QWidget* { return x->presets.presetsWindow.data(); }},
    };
    QWidget* main = c->ui.window;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        k.show(c);
        QWidget* w = k.window(c);
        ASSERT_TRUE(w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
        ASSERT_TRUE(w->windowHandle());
        EXPECT_EQ(w->windowHandle()->transientParent(), main->windowHandle());
        EXPECT_EQ(w->windowType(), Qt::Tool);
        EXPECT_FALSE(w->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));

        // Shown already: the main window keeps the keyboard and the panel
        // stays where it is.
        const QRect where = w->geometry();
        main->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(main));
        k.show(c);
        endEvent();
        EXPECT_EQ(QApplication::activeWindow(), main);
        EXPECT_EQ(w->geometry(), where);

        // Closed and shown again: at the front, active, still transient.
        w->close();
        endEvent();
        ASSERT_FALSE(w->isVisible());
        k.show(c);
        EXPECT_TRUE(w->isVisible());
        EXPECT_TRUE(QTest::qWaitForWindowActive(w));
        EXPECT_EQ(w->windowHandle()->transientParent(), main->windowHandle());
        w->close();
        endEvent();
    }
}

// The panel goes before the units it shows.
TEST_F(UnitPanelsTest, RemovingTheShownTrackClosesThePanelFirst) {
    c->showDelayFrom();
    QPointer<QWidget> view = panel()->contentView();
    ASSERT_TRUE(view);
    const auto saved = track->listenerParameters;
    c->removeAudioFileAtIndex(0);
    endEvent();
    endEvent();
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_EQ(panel()->contentView(), nullptr);
    EXPECT_FALSE(view);
    // The values read back when it closed are the track's own.
    EXPECT_EQ(track->listenerParameters.size(), saved.size());
}

TEST_F(UnitPanelsTest, AFilterViewMovesTheMainSliderAndItsResetAppliesAtOnce) {
    c->showHighPassViewFrom();
    auto* view = dynamic_cast<BuiltInUnitView*>(panel()->contentView());
    ASSERT_TRUE(view);
    auto* cutoff = dynamic_cast<ParameterSlider*>(view->controlOf(0));
    ASSERT_TRUE(cutoff);
    cutoff->setValue(ParameterSlider::kSteps / 10);
    deliver();
    FloatSlider* main = c->filterSlider(FilterSlider::HighPassCutoff);
    const float expected = std::clamp(float(cutoff->doubleValue()), float(main->minValue()), float(main->maxValue()));
    EXPECT_NEAR(main->floatValue(), expected, 1.0);
    EXPECT_NEAR(track->value(EffectInput::HighPassCutoff), expected, 1.0);

    c->filterSlider(FilterSlider::HighPassResonance)->setFloatValue(10);
    c->resetHighPassFilterFrom();
    // Applied at once, before any deferred step.
    EXPECT_FLOAT_EQ(main->floatValue(), 0);
    EXPECT_FLOAT_EQ(c->filterSlider(FilterSlider::HighPassResonance)->floatValue(), 0);
    EXPECT_FLOAT_EQ(track->value(EffectInput::HighPassCutoff), 0);
    EXPECT_FLOAT_EQ(track->value(EffectInput::HighPassResonance), 0);
}

TEST_F(UnitPanelsTest, TheSwitchesAndThePopover) {
    AudioUnitsPopover* popover = c->audioUnitsPopover();
    c->showAudioUnitsPopoverFrom();
    EXPECT_EQ(popover->size(), QSize(282, 454));
    EXPECT_FALSE(popover->distortionCheck->isChecked());
    popover->distortionCheck->click();
    EXPECT_TRUE(track->getDistortionEnabled());
    c->showAudioUnitsPopoverFrom();
    EXPECT_TRUE(popover->distortionCheck->isChecked());
    popover->hide();
    c->currentSelectedAudio = kNoIndex;
    c->delayCheckFrom(popover->distortionCheck);
    EXPECT_FALSE(track->getDelayEnabled());
}

// The distortion and delay switches of the popover, on the selected track,
// heard in its render: harmonics of a sine, and the echo of a click at the
// delay's time; switched off, the sound is dry again.
TEST_F(UnitPanelsTest, TheDistortionAndDelaySwitchesChangeTheSound) {
    AudioUnitsPopover* popover = c->audioUnitsPopover();
    const size_t n = 44100;
    const size_t from = size_t((track->animationStart().seconds() + 1.0) * 44100);
    // The strongest of harmonics 2 to 5 of the 440 Hz tone, against the tone, in dB.
    auto harmonics = [&] {
        const std::vector<float> left = renderedLeft(track.get());
        if (left.size() < from + n) return 1000.0;
        const double fundamental = testsupport::amplitudeAt(left.data() + from, n, 440, 44100);
        double strongest = 0;
        for (int h = 2; h <= 5; ++h)
            strongest = std::max(strongest, testsupport::amplitudeAt(left.data() + from, n, 440.0 * h, 44100));
        return testsupport::dB(strongest) - testsupport::dB(fundamental);
    };
    c->showAudioUnitsPopoverFrom();
    const double dry = harmonics();
    EXPECT_LT(dry, -60);
    popover->distortionCheck->click();
    ASSERT_TRUE(track->getDistortionEnabled());
    EXPECT_GT(harmonics(), -40) << "distortion adds harmonics";
    popover->distortionCheck->click();
    EXPECT_LT(harmonics(), -60);

    // A click half a second into a track of its own, selected.
    testsupport::Signal click(size_t(2 * 44100), 0.0f);
    click[size_t(0.5 * 44100)] = 0.8f;
    const QString path = testsupport::tempDir() + QStringLiteral("/click.wav");
    ASSERT_TRUE(testsupport::writeWav(path, {click, click}, 44100));
    auto clicks = append(path);
    waitForReadyItem();
    ASSERT_FALSE(renderedLeft().empty());
    c->currentSelectedAudio = 1;
    units::Unit* delay = clicks->getAudioUnitForType(6);
    ASSERT_TRUE(delay);
    delay->setParameter(1, 0.25f);  // the delay time, in seconds
    delay->setParameter(2, 0);      // one echo
    // The loudest sample in a window of 20 ms around `seconds` into the track.
    auto peakAround = [&](double seconds) {
        const std::vector<float> left = renderedLeft(clicks.get());
        const size_t at = size_t((clicks->animationStart().seconds() + seconds - 0.01) * 44100);
        return left.size() < at + 882 ? -1.0 : testsupport::peak(left.data() + at, 882);
    };
    c->showAudioUnitsPopoverFrom();
    EXPECT_LT(peakAround(0.75), 1e-4) << "dry: nothing after the click";
    popover->delayCheck->click();
    ASSERT_TRUE(clicks->getDelayEnabled());
    EXPECT_FALSE(track->getDelayEnabled()) << "only the selected track";
    EXPECT_GT(peakAround(0.5), 0.2) << "the click itself";
    EXPECT_GT(peakAround(0.75), 0.2) << "its echo 0.25 s later";
    EXPECT_LT(peakAround(0.65), 1e-3) << "nothing between";
    popover->delayCheck->click();
    EXPECT_LT(peakAround(0.75), 1e-4);
}

}  // namespace
