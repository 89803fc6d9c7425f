// Effect controls on the real main window: defaults and a track's values in
// the sliders, a drag as one burst and one undo step, undo replays, typed
// values, recording into curves and the curves at a seek.
#include "app/TrackListFixture.h"
#include "support/Sliders.h"
#include "support/TestSupport.h"

#include "engine/TrackTapContext.h"
#include "platform/core/MainQueue.h"
#include "platform/core/Realtime.h"
#include "platform/units/Unit.h"
#include "views/EQSubview.h"
#include "views/NotesPanel.h"
#include "views/FloatSlider.h"
#include "views/StyledControls.h"
#include "views/TimePopover.h"

#include <QTest>

#include <algorithm>
#include <functional>
#include <cmath>

namespace {

class EffectControlsTest : public ShownTrackListTest {
protected:
    FloatSlider* sliderOf(const char* key) { return testsupport::effectSlider(c->ui, key); }

    // A press on the handle, `moves` steps of `step` pixels and a release,
    // the events delivered as a user's would be.
    void drag(FloatSlider* s, int moves, int step) {
        testsupport::dragSlider(s, moves, step, [] {
            EXPECT_TRUE(MainQueue::instance().isTracking()) << "the press holds the deferred steps";
        });
        settle();
    }

    // Until no deferred step is waiting.
    void settle() {
        ASSERT_TRUE(testsupport::waitUntil([] { return MainQueue::instance().pendingCount() == 0; }));
        endEvent();
    }

    // A new track of a tone, once the player's item with it is ready: the
    // controls take no change while the controller is still at work on it.
    std::shared_ptr<MusicFilter> toneTrack(const QString& name, double frequency = 440, double seconds = 3.0) {
        auto track = append(writeTone(name, seconds, frequency));
        waitForReadyItem();
        EXPECT_TRUE(testsupport::waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
        endEvent();
        return track;
    }

    // The amplitude of the selected track's `frequency` in its offline
    // render, over its first second.
    double toneLevel(double frequency) {
        const std::vector<float> left = renderedLeft();
        if (left.size() < 44100) return 0;
        return testsupport::amplitudeAt(left.data() + 4410, 22050, frequency, 44100);
    }

    // Playing through the test JACK server from where the player stands.
    void play() {
        waitForReadyItem();
        const double from = c->currentTime();
        c->playPauseToggle();
        ASSERT_TRUE(testsupport::waitUntil([&] { return c->shell.isPlaying && c->currentTime() > from; }));
    }
    void stop() {
        if (c->shell.isPlaying) c->playPauseToggle();
        ASSERT_TRUE(testsupport::waitUntil([&] { return !c->shell.isPlaying; }));
        endEvent();
    }
};

// A panel that counts the times it is closed, shown or not.
class CountingPanel : public QWidget {
public:
    explicit CountingPanel(QWidget* parent) : QWidget(parent, Qt::Tool) {}
    int closes = 0;

protected:
    void closeEvent(QCloseEvent* e) override {
        ++closes;
        QWidget::closeEvent(e);
    }
};

TEST_F(EffectControlsTest, ControlsShowDefaultsOrATrackAndCloseThePanels) {
    auto track = toneTrack(QStringLiteral("controls.wav"));
    track->setValue(EffectInput::Pitch, 700);
    track->setValue(EffectInput::Gain1K, -6);
    auto* panel = new CountingPanel(c->ui.window);
    c->trackList.audioUnitPanel = panel;
    auto* notes = new CountingPanel(c->ui.window);
    c->trackList.notesPanel = notes;

    struct Case {
        const char* name;
        std::function<void()> call;
        bool panelContent;  // the hidden unit panel holds a view
        float pitch, gain1K;
        int panelCloses;
        bool notesClosed;
    } cases[] = {
        {"an index past the count", [&] { c->applyValuesToSelectedAudio(1); }, true, 1, 0, 0, false},
        {"the no-selection index", [&] { c->applyValuesToSelectedAudio(kNoIndex); }, true, 1, 0, 0, false},
        {"the track's values", [&] { c->applyValuesToSelectedAudio(0); }, true, 700, -6, 1, true},
        {"a hidden panel without content stays", [&] { c->applyDefaultValuesToControls(); }, false, 1, 0, 0, true},
        {"the defaults", [&] { c->applyDefaultValuesToControls(); }, true, 1, 0, 1, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        c->applyDefaultValuesToControls();
        notes->show();
        panel->hide();
        delete panel->findChild<QWidget*>();
        if (k.panelContent) new QWidget(panel);
        panel->closes = 0;
        k.call();
        EXPECT_FLOAT_EQ(sliderOf("inputPitch")->floatValue(), k.pitch);
        EXPECT_FLOAT_EQ(sliderOf("inputGain1K")->floatValue(), k.gain1K);
        EXPECT_EQ(panel->closes, k.panelCloses);
        EXPECT_EQ(!notes->isVisible(), k.notesClosed);
    }

    // The equaliser forms touch the eleven equaliser rows only.
    c->applyValuesToSelectedAudio(0);
    notes->show();
    c->applyDefaultEQValuesToControls();
    EXPECT_FLOAT_EQ(sliderOf("inputPitch")->floatValue(), 700);
    EXPECT_FLOAT_EQ(sliderOf("inputGain1K")->floatValue(), 0);
    EXPECT_TRUE(notes->isVisible());
    c->copyDefaultEQValuesToDictionary(tracks()[0]);
    EXPECT_FLOAT_EQ(track->value(EffectInput::Gain1K), 0);
    EXPECT_FLOAT_EQ(track->value(EffectInput::Pitch), 700);
    c->copyDefaultValuesToDictionary(tracks()[0]);
    EXPECT_FLOAT_EQ(track->value(EffectInput::Pitch), 1);

    // The asynchronous form does nothing once its track is gone.
    track->setValue(EffectInput::Pitch, 300);
    c->applyAsyncValuesToSelectedAudio(0);
    c->removeAudioFileAtIndex(0);
    endEvent();
    EXPECT_FLOAT_EQ(sliderOf("inputPitch")->floatValue(), 1);
}

TEST_F(EffectControlsTest, ADragIsOneBurstAndOneUndoStep) {
    auto track = toneTrack(QStringLiteral("drag.wav"));
    FloatSlider* pitch = sliderOf("inputPitch");
    ASSERT_TRUE(pitch);
    c->undoManager()->removeAllActions();
    const float before = track->value(EffectInput::Pitch);

    drag(pitch, 20, 3);
    const float after = track->value(EffectInput::Pitch);
    EXPECT_NE(after, before);
    EXPECT_FLOAT_EQ(float(pitch->floatValue()), after);
    EXPECT_TRUE(c->automation.filterMovingSliderKey.isEmpty());
    EXPECT_FALSE(c->automation.originalValue.has_value());
    EXPECT_EQ(c->undoManager()->undoCount(), 1);

    undo();
    EXPECT_FLOAT_EQ(track->value(EffectInput::Pitch), before);
    EXPECT_FLOAT_EQ(float(pitch->floatValue()), before);
    redo();
    EXPECT_FLOAT_EQ(track->value(EffectInput::Pitch), after);
    EXPECT_FLOAT_EQ(float(pitch->floatValue()), after);
}

TEST_F(EffectControlsTest, ASliderMoveIsHeard) {
    auto track = toneTrack(QStringLiteral("heard.wav"), 440);
    ASSERT_NEAR(heardFrequency(0.5, 1.0), 440, 10);
    FloatSlider* pitch = sliderOf("inputPitch");
    pitch->setFloatValue(1200);
    emit pitch->action(pitch);
    settle();
    EXPECT_FLOAT_EQ(track->value(EffectInput::Pitch), 1200);
    EXPECT_NEAR(heardFrequency(0.5, 1.0), 880, 20);
}

TEST_F(EffectControlsTest, BusyResetsTheSliderAndAReplayActsOnItsTrack) {
    auto first = toneTrack(QStringLiteral("first.wav"));
    auto second = toneTrack(QStringLiteral("second.wav"));
    FloatSlider* level = sliderOf("inputAudioMix");
    c->undoManager()->removeAllActions();

    // Busy: the slider goes back to the track's value and nothing else happens.
    c->shell.audioControllerIsWorking = true;
    level->setFloatValue(0.2);
    emit level->action(level);
    settle();
    c->shell.audioControllerIsWorking = false;
    EXPECT_FLOAT_EQ(float(level->floatValue()), 1);
    EXPECT_FLOAT_EQ(second->value(EffectInput::AudioMix), 1);
    EXPECT_EQ(c->undoManager()->undoCount(), 0);

    // A change to the selected (second) track, then the first is selected:
    // undo restores the second and leaves the slider alone.
    ASSERT_EQ(c->currentSelectedAudio.load(), 1u);
    level->setFloatValue(0.3);
    emit level->action(level);
    settle();
    EXPECT_FLOAT_EQ(second->value(EffectInput::AudioMix), 0.3f);
    c->currentSelectedAudio = 0;
    c->applyValuesToSelectedAudio(0);
    undo();
    EXPECT_FLOAT_EQ(second->value(EffectInput::AudioMix), 1);
    EXPECT_FLOAT_EQ(first->value(EffectInput::AudioMix), 1);
    EXPECT_FLOAT_EQ(float(level->floatValue()), 1);
    // Selected again, its redo moves the slider too.
    c->currentSelectedAudio = 1;
    redo();
    EXPECT_FLOAT_EQ(second->value(EffectInput::AudioMix), 0.3f);
    EXPECT_FLOAT_EQ(float(level->floatValue()), 0.3f);

    // Mute is one undoable change back through the level's action; unmute sets 1.
    c->updateAudioMixToMuteVolumeFrom(nullptr);
    settle();
    EXPECT_FLOAT_EQ(second->value(EffectInput::AudioMix), 0);
    undo();
    EXPECT_FLOAT_EQ(second->value(EffectInput::AudioMix), 0.3f);
    c->updateAudioMixToUnmuteVolumeFrom(nullptr);
    settle();
    EXPECT_FLOAT_EQ(second->value(EffectInput::AudioMix), 1);
}

TEST_F(EffectControlsTest, RecordingMakesCurvesOneUndoStepPerBurst) {
    auto track = toneTrack(QStringLiteral("record.wav"));
    FloatSlider* low = sliderOf("inputLowPassCutoff");
    FloatSlider* fade = sliderOf("inputFadeIn");
    c->undoManager()->removeAllActions();
    track->isRecordingParameters = 1;
    const QString id = track->identifierOfFilter;

    low->setFloatValue(5000);
    emit low->action(low);
    low->setFloatValue(4000);
    emit low->action(low);
    settle();
    const auto& committed = c->automation.recordedParameters;
    ASSERT_TRUE(committed.count(id));
    const KeyPointCurve curve = committed.at(id).at(QStringLiteral("inputLowPassCutoff"));
    // The player stands at 0, the track's start: one replaced point there
    // and the seeded end.
    ASSERT_EQ(curve.size(), 2u);
    EXPECT_FLOAT_EQ(float(curve[0].value), 4000);
    EXPECT_EQ(curve[0].flag, KeyPoint::kRecordingBoundary);
    EXPECT_EQ(track->showParameterCurve, 7u);
    EXPECT_EQ(c->undoManager()->undoCount(), 1);

    // The fades never record.
    fade->setFloatValue(20);
    emit fade->action(fade);
    settle();
    EXPECT_FALSE(c->automation.recordedParameters.at(id).count(QStringLiteral("inputFadeIn")));

    // Undoing the recording's step restores the curves from before it.
    c->undoManager()->undo();  // the fade
    undo();
    EXPECT_FALSE(c->automation.recordedParameters.count(id));
    EXPECT_TRUE(c->automation.tempRecorderParameters.empty());
    redo();
    EXPECT_TRUE(c->automation.recordedParameters.count(id));
}

TEST_F(EffectControlsTest, ACommittedCurveTakesItsValueBack) {
    auto track = toneTrack(QStringLiteral("curve.wav"));
    FloatSlider* pitch = sliderOf("inputPitch");
    const QString id = track->identifierOfFilter;
    c->undoManager()->removeAllActions();

    // A curve with a point at the player's time: the change snaps back, no undo.
    c->automation.recordedParameters[id][QStringLiteral("inputPitch")] = {{0, 300}};
    pitch->setFloatValue(900);
    emit pitch->action(pitch);
    settle();
    EXPECT_FLOAT_EQ(track->value(EffectInput::Pitch), 300);
    EXPECT_FLOAT_EQ(float(pitch->floatValue()), 300);
    EXPECT_EQ(c->undoManager()->undoCount(), 0);

    // A curve that starts later keeps the value, and the change can be undone.
    c->automation.recordedParameters[id][QStringLiteral("inputPitch")] = {{2, 300}};
    pitch->setFloatValue(900);
    emit pitch->action(pitch);
    settle();
    EXPECT_FLOAT_EQ(track->value(EffectInput::Pitch), 900);
    EXPECT_EQ(c->undoManager()->undoCount(), 1);
    undo();
    EXPECT_FLOAT_EQ(track->value(EffectInput::Pitch), 300);
}

TEST_F(EffectControlsTest, SeekEvaluationSetsTheSelectedTrack) {
    auto track = toneTrack(QStringLiteral("seek.wav"));
    const QString id = track->identifierOfFilter;
    RecordedParameters store;
    store[id][QStringLiteral("inputPitch")] = {{0, 0}, {10, 1200}};
    store[id][QStringLiteral("inputGain1K")] = {{0, -12}};
    store[id][QStringLiteral("inputLowPassCutoff")] = {{8, 500}};
    struct Case {
        const char* name;
        uint64_t style;
        double seconds;
        bool busy;
        float pitch, sliderPitch, lowPass;
    } cases[] = {
        {"linear half way", 1, 5, false, 600, 600, 22050},
        {"step half way", 0, 5, false, 0, 0, 22050},
        {"after the last point", 1, 20, false, 1200, 1200, 500},
        {"busy moves no slider", 1, 5, true, 600, 1, 22050},
    };
    c->ui.eqView->show();
    testsupport::PaintCounter strip;
    c->ui.eqView->installEventFilter(&strip);
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        c->copyDefaultValuesToDictionary(tracks()[0]);
        c->applyValuesToSelectedAudio(0);
        endEvent();
        strip.paints = 0;
        track->typeOfRecordedCurve = k.style;
        c->shell.audioControllerIsWorking = k.busy;
        c->verifyRecordedInputValuesForSeekToTime(k.seconds, store);
        endEvent();
        c->shell.audioControllerIsWorking = false;
        EXPECT_FLOAT_EQ(track->value(EffectInput::Pitch), k.pitch);
        EXPECT_FLOAT_EQ(float(sliderOf("inputPitch")->floatValue()), k.sliderPitch);
        EXPECT_FLOAT_EQ(track->value(EffectInput::LowPassCutoff), k.lowPass);
        // The band curve touches its own band only, and the equaliser strip
        // shows it with its slider.
        EXPECT_FLOAT_EQ(track->value(EffectInput::Gain1K), -12);
        EXPECT_FLOAT_EQ(track->value(EffectInput::Gain2K), 0);
        EXPECT_FLOAT_EQ(float(sliderOf("inputGain1K")->floatValue()), k.busy ? 0 : -12);
        if (!k.busy) EXPECT_GT(strip.paints, 0);
    }
    c->ui.eqView->removeEventFilter(&strip);

    // A curve of a track that is not selected sets that track's band only.
    auto other = toneTrack(QStringLiteral("other.wav"));
    c->applyValuesToSelectedAudio(0);
    endEvent();
    for (uint32_t i = 0; i < 10; ++i)
        c->updateGainKey(effectinputs::key(effectinputs::bandGains()[i]), QStringLiteral("inputGain2K"), i,
                         other.get(), track.get(), 6);
    endEvent();
    EXPECT_FLOAT_EQ(other->value(EffectInput::Gain2K), 6);
    EXPECT_FLOAT_EQ(float(sliderOf("inputGain2K")->floatValue()), 0);
}

TEST_F(EffectControlsTest, TypedValues) {
    auto track = toneTrack(QStringLiteral("typed.wav"));
    const auto controls = c->ui.effectControls();
    auto fieldOf = [&](const char* key) {
        for (size_t i = 0; i < controls.size(); ++i)
            if (QString::fromLatin1(effectControlTable[i].key) == QLatin1String(key)) return controls[i].second;
        return static_cast<NumberTextField*>(nullptr);
    };
    struct Case {
        const char* name;
        const char* key;
        float sliderBefore;
        const char* text;
        bool recording;
        float after;  // the slider and the track's input
        bool handedOn;
    } cases[] = {
        {"above the maximum", "inputPitch", 1, "3000", false, 2400, true},
        {"below the minimum", "inputPitch", 1, "-5000", false, -2400, true},
        {"within the range", "inputAudioMix", 1, "0.5", false, 0.5f, true},
        {"the current value again", "inputPitch", 1, "1", false, 1, false},
        {"the exact value behind a rounded display", "inputAudioMix", 0.333f, "0.333", false, 0.333f, false},
        {"the current value while recording", "inputAudioMix", 1, "1", true, 1, true},
        {"an empty field", "inputPitch", 1, "", false, 1, false},
        {"an equaliser band", "inputGain500", 0, "12", false, 12, true},
        {"a negative equaliser gain", "inputGlobalGain", 0, "-12", false, -12, true},
        {"below the equaliser's minimum", "inputGain16K", 0, "-200", false, -96, true},
        {"an equaliser band while recording", "inputGain1K", 0, "-6", true, -6, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        FloatSlider* slider = sliderOf(k.key);
        NumberTextField* field = fieldOf(k.key);
        ASSERT_TRUE(slider && field);
        track->setValueForKey(QString::fromLatin1(k.key), k.sliderBefore);
        slider->setFloatValue(k.sliderBefore);
        track->isRecordingParameters = k.recording ? 1 : 0;
        c->undoManager()->removeAllActions();
        c->automation.recordedParameters.clear();
        c->automation.tempRecorderParameters.clear();
        field->setText(QString::fromLatin1(k.text));
        c->updateTextFieldValueFrom(field);
        settle();
        EXPECT_FLOAT_EQ(float(slider->floatValue()), k.after);
        EXPECT_FLOAT_EQ(track->valueForKey(QString::fromLatin1(k.key)).toFloat(), k.after);
        EXPECT_EQ(c->undoManager()->undoCount(), k.handedOn ? 1 : 0);
        if (k.handedOn) {
            double shown = 0;
            ASSERT_TRUE(field->formatter()->numberFromString(field->text(), &shown)) << field->text().toStdString();
            EXPECT_FLOAT_EQ(float(shown), k.after);
        }
        // While recording, the value is a key point of the committed curve.
        if (k.recording) {
            const auto& committed = c->automation.recordedParameters;
            ASSERT_TRUE(committed.count(track->identifierOfFilter));
            const auto& curves = committed.at(track->identifierOfFilter);
            ASSERT_TRUE(curves.count(QString::fromLatin1(k.key)));
            const KeyPointCurve& curve = curves.at(QString::fromLatin1(k.key));
            EXPECT_TRUE(std::any_of(curve.begin(), curve.end(), [&](const KeyPoint& p) { return float(p.value) == k.after; }));
        }
    }
    track->isRecordingParameters = 0;
}

// Once Return has sent a typed value, Ctrl+Z and Ctrl+Shift+Z in the field
// undo and redo it as Edit > Undo and Redo do, in the main window and in a
// popover; before it is sent, Ctrl+Z undoes the field's own text only.
TEST_F(EffectControlsTest, CtrlZInAFieldUndoesTheValueItSent) {
    auto track = toneTrack(QStringLiteral("undone.wav"), 440, 6.0);
    waitForReadyItem();
    const struct {
        const char* name;
        std::function<NumberTextField*()> open;
        std::function<double()> model;
        const char* typed;
        double sent;
    } cases[] = {
        {"an effect field of the main window", [&] { return c->ui.textFieldPitch; },
         [&] { return double(track->value(EffectInput::Pitch)); }, "300", 300},
        {"a trim field of the time popover",
         [&] {
             c->editAudioTimeFrom(0);
             return c->laneCommands.timePopover ? c->laneCommands.timePopover->textFieldTrimStartSeconds : nullptr;
         },
         [&] { return track->currentTimeRange().start.seconds(); }, "2", 2},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        NumberTextField* field = k.open();
        ASSERT_TRUE(field && field->isVisible());
        field->window()->activateWindow();
        field->setFocus();
        c->undoManager()->removeAllActions();
        const double before = k.model();
        const QString shown = field->text();

        // Typed, not sent: the field's own text comes back, nothing else.
        field->selectAll();
        QTest::keyClicks(field, QString::fromLatin1(k.typed));
        QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(field->text(), shown);
        EXPECT_DOUBLE_EQ(k.model(), before);

        field->selectAll();
        QTest::keyClicks(field, QString::fromLatin1(k.typed));
        QTest::keyClick(field, Qt::Key_Return);
        settle();
        ASSERT_DOUBLE_EQ(k.model(), k.sent);
        ASSERT_EQ(c->undoManager()->undoCount(), 1);
        ASSERT_TRUE(field->hasFocus());

        QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
        settle();
        EXPECT_DOUBLE_EQ(k.model(), before);
        EXPECT_EQ(field->text(), shown);
        EXPECT_EQ(c->undoManager()->undoCount(), 0);

        QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        settle();
        EXPECT_DOUBLE_EQ(k.model(), k.sent);
        EXPECT_EQ(field->text(), QString::fromLatin1(k.typed));
        EXPECT_EQ(c->undoManager()->undoCount(), 1);
    }
}

// The equaliser's fields as the user types into them: a minus sign goes in,
// Return moves the slider and the sound, and a slider at the bottom of its
// range reads so in its field.
TEST_F(EffectControlsTest, TypingIntoAnEqualiserField) {
    auto track = toneTrack(QStringLiteral("band.wav"), 500);
    NumberTextField* field = c->ui.textFieldGain500;
    FloatSlider* slider = sliderOf("inputGain500");
    const double before = toneLevel(500);
    ASSERT_GT(before, 0.01);

    struct Case {
        const char* typed;
        float value;
        double gainDb;  // heard at 500 Hz against the flat band
    } cases[] = {{"12", 12, 12}, {"-12", -12, -12}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.typed);
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QString::fromLatin1(k.typed));
        EXPECT_EQ(field->text(), QString::fromLatin1(k.typed));
        QTest::keyClick(field, Qt::Key_Return);
        settle();
        EXPECT_FLOAT_EQ(float(slider->floatValue()), k.value);
        EXPECT_FLOAT_EQ(track->value(EffectInput::Gain500), k.value);
        EXPECT_NEAR(20 * std::log10(toneLevel(500) / before), k.gainDb, 1.5);
    }
    undo();
    EXPECT_FLOAT_EQ(float(slider->floatValue()), 12);

    FloatSlider* gain = sliderOf("inputGlobalGain");
    gain->setFloatValue(-96);
    EXPECT_EQ(c->ui.textFieldGlobalGain->text(), QStringLiteral("-96"));
}

}  // namespace

namespace {

TEST_F(EffectControlsTest, ABandSlidersValueShowsOnTheEqualiserUntilItsBurstEnds) {
    toneTrack(QStringLiteral("bands.wav"));
    EQSubview* eq = c->ui.eqView;
    ASSERT_TRUE(eq);
    struct Case {
        const char* key;
        bool left;
    } cases[] = {{"inputGain1K", false}, {"inputGain16K", true}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.key);
        FloatSlider* band = sliderOf(k.key);
        band->setFloatValue(-6);
        emit band->action(band);
        EXPECT_TRUE(eq->needsShowInfoValue);
        EXPECT_EQ(eq->infoSlider.data(), band);
        EXPECT_EQ(eq->leftDrawing, k.left);
        settle();
        EXPECT_FALSE(eq->needsShowInfoValue);
        EXPECT_FALSE(eq->infoSlider);
        EXPECT_FALSE(eq->leftDrawing);
    }
    // Another slider shows nothing there.
    FloatSlider* pitch = sliderOf("inputPitch");
    pitch->setFloatValue(300);
    emit pitch->action(pitch);
    EXPECT_FALSE(eq->needsShowInfoValue);
    settle();
}

TEST_F(EffectControlsTest, TheNotesPanelStartsHiddenShowsAndCloses) {
    QWidget* notes = c->trackList.notesPanel;
    ASSERT_TRUE(notes);
    EXPECT_EQ(notes, static_cast<QWidget*>(c->ui.notesPanel));
    EXPECT_FALSE(notes->isVisible());
    notes->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(notes));
    c->closeTrackPanels();
    EXPECT_FALSE(notes->isVisible());
    EXPECT_TRUE(c->trackList.notesPanel) << "closed, not gone";
}

// Playing through the test JACK server: the render follows the curves and
// the controls follow the render.
TEST_F(EffectControlsTest, WhilePlayingTheSelectedTracksSlidersFollowItsCurves) {
    auto other = toneTrack(QStringLiteral("other.wav"), 440, 4.0);
    auto track = toneTrack(QStringLiteral("followed.wav"), 440, 4.0);
    FloatSlider* low = sliderOf("inputLowPassCutoff");
    c->automation.recordedParameters[other->identifierOfFilter][QStringLiteral("inputLowPassCutoff")] = {{0, 300}};
    c->automation.recordedParameters[track->identifierOfFilter][QStringLiteral("inputLowPassCutoff")] = {
        {0, 5000}, {0.6, 700}};
    c->publishAllRecordedParameters();
    ASSERT_EQ(c->currentSelectedAudio.load(), 1u);
    EXPECT_FALSE(c->followsCurves()) << "nothing plays yet";

    play();
    EXPECT_TRUE(c->followsCurves());
    std::vector<float> shown;
    EXPECT_TRUE(testsupport::waitUntil([&] {
        shown.push_back(float(low->floatValue()));
        return shown.back() == 700.0f;
    }, 4000));
    EXPECT_TRUE(std::find(shown.begin(), shown.end(), 300.0f) == shown.end()) << "the other track's curve";
    EXPECT_FLOAT_EQ(other->value(EffectInput::LowPassCutoff), 300) << "yet it plays its own";
    stop();
    EXPECT_FALSE(c->followsCurves());
}

TEST_F(EffectControlsTest, ACurveRecordedWhilePlayingDrivesTheNextPlay) {
    auto track = toneTrack(QStringLiteral("recorded.wav"), 440, 6.0);
    FloatSlider* low = sliderOf("inputLowPassCutoff");
    track->isRecordingParameters = 1;
    const QString id = track->identifierOfFilter;

    seekAndWait(0.5);
    play();
    drag(low, 20, -4);
    stop();
    ASSERT_TRUE(c->automation.recordedParameters.count(id));
    const KeyPointCurve curve = c->automation.recordedParameters.at(id).at(QStringLiteral("inputLowPassCutoff"));
    ASSERT_GE(curve.size(), 3u) << "the seeded ends and the drag";
    const float first = float(curve.front().value);
    ASSERT_LT(first, 22050.0f);

    // Back at the start (where the seek sets the curve's value), the track
    // is put back at the open filter: only the render can take it to the
    // curve's value again, and the controls after it.
    track->isRecordingParameters = 0;
    seekAndWait(0);
    track->setValue(EffectInput::LowPassCutoff, 22050);
    track->updateAudioMixState();
    low->setFloatValue(22050);
    play();
    EXPECT_TRUE(testsupport::waitUntil([&] { return float(low->floatValue()) == first; }, 3000));
    EXPECT_FLOAT_EQ(track->value(EffectInput::LowPassCutoff), first);
    float unitCutoff = -1;
    track->getProcessorContext()->unit(BuiltInUnit::LowPass).load()->getParameter(0, units::Scope::Global, 0,
                                                                                   &unitCutoff);
    EXPECT_FLOAT_EQ(unitCutoff, std::max(first, 10.0f));
    stop();
}

// A second recording pass, whichever way it starts: while the first pass's
// curve plays and moves the slider, the text the user types stays in the
// field, and Return or Tab records it.
TEST_F(EffectControlsTest, AValueTypedInASecondRecordingPassIsRecorded) {
    auto track = toneTrack(QStringLiteral("passes.wav"), 440, 8.0);
    const QString key = QStringLiteral("inputLowPassCutoff");
    FloatSlider* low = sliderOf("inputLowPassCutoff");
    NumberTextField* field = c->ui.textFieldLowPassCutoff;
    const QString id = track->identifierOfFilter;
    // What the first pass left: a curve that moves all along the track.
    const KeyPointCurve firstPass = {{0, 1000, 1}, {8, 9000, 1}};

    struct Case {
        const char* name;
        std::function<void()> startPass;
        Qt::Key send;
    } cases[] = {
        {"still recording", [] {}, Qt::Key_Return},
        {"recording switched on again", [&] { c->freeRecordParameters(); }, Qt::Key_Return},
        {"another effect's curve added", [&] { c->addRecordAudioMixCurve(); }, Qt::Key_Tab},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        c->automation.recordedParameters.clear();
        c->automation.recordedParameters[id][key] = firstPass;
        c->automation.tempRecorderParameters = automation::copyRecordedDictionary(c->automation.recordedParameters);
        track->typeOfRecordedCurve = 1;
        track->isRecordingParameters = 1;
        if (std::string(k.name) != "still recording") c->noRecorParameters();
        c->publishAllRecordedParameters();
        seekAndWait(0.5);
        k.startPass();
        ASSERT_EQ(track->isRecordingParameters, 1u);
        play();

        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("500"));
        // The curve moves the slider on; the typed text stays.
        std::vector<float> moves{float(low->floatValue())};
        ASSERT_TRUE(testsupport::waitUntil([&] {
            if (float(low->floatValue()) != moves.back()) moves.push_back(float(low->floatValue()));
            return moves.size() >= 3;
        }, 4000));
        EXPECT_EQ(field->text(), QStringLiteral("500"));
        QTest::keyClick(field, k.send);
        settle();
        stop();

        ASSERT_TRUE(c->automation.recordedParameters.count(id));
        const KeyPointCurve curve = c->automation.recordedParameters.at(id).at(key);
        EXPECT_TRUE(std::any_of(curve.begin(), curve.end(), [](const KeyPoint& p) { return p.value == 500; }))
            << "the typed value is a key point";
        EXPECT_EQ(field->text(), field->formatter()->stringFromNumber(low->floatValue()))
            << "the field follows its slider again";
    }
    track->isRecordingParameters = 0;
}

TEST_F(EffectControlsTest, RepublishingAPlayingTracksCurvesKeepsTheRenderClean) {
    auto track = toneTrack(QStringLiteral("republished.wav"), 440, 6.0);
    TrackCurves curves;
    for (const char* key : {"inputPitch", "inputLowPassCutoff", "inputGain1K", "inputAudioMix", "inputChannelMix"})
        curves[QString::fromLatin1(key)] = {{0, 0.5}, {1, 0.25}, {2, 0.75}};
    play();
    const uint64_t before = realtime::violationCount();
    for (int i = 0; i < 1000; ++i) {
        c->automation.recordedParameters[track->identifierOfFilter] = curves;
        c->publishRecordedParametersForFilter(track.get());
        if (i % 50 == 0) QCoreApplication::processEvents();
    }
    // The render goes on from the last snapshot.
    EXPECT_TRUE(testsupport::waitUntil([&] {
        const float level = track->value(EffectInput::AudioMix);
        return level >= 0.25f && level <= 0.75f;
    }, 3000)) << "the render follows the curves";
    EXPECT_EQ(realtime::violationCount(), before);
    EXPECT_TRUE(c->shell.isPlaying);
    stop();
}

}  // namespace
