#include "ControllerFixture.h"

#include "platform/core/TimeText.h"
#include "platform/core/UndoManager.h"
#include "support/TestSupport.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"
#include "views/NumberTextField.h"
#include "views/SmallViews.h"
#include "views/StyledControls.h"

#include <QLabel>
#include <QScrollBar>

namespace {

using StartupTest = ControllerTest;

TEST_F(StartupTest, StartValuesAfterConstructionAndWakeUp) {
    const auto& s = c->shell;
    EXPECT_DOUBLE_EQ(s.playerVolume, 0.8);
    EXPECT_FLOAT_EQ(player->volume(), 0.8f);
    EXPECT_DOUBLE_EQ(s.playerSampleRate, 44100.0);
    EXPECT_DOUBLE_EQ(s.projectSampleRate, 44100.0);
    EXPECT_FALSE(s.audioControllerIsWorking);
    EXPECT_FALSE(s.isPlaying);
    EXPECT_FALSE(s.viewControlsEnabled);
    EXPECT_EQ(c->currentSelectedAudio.load(), quint64(0x7fffffffffffffff));
    EXPECT_FALSE(c->automation.originalValue.has_value());
    EXPECT_EQ(s.compositionDuration, MediaTime::zero());
    EXPECT_DOUBLE_EQ(s.seekTime, -1.0);
    EXPECT_DOUBLE_EQ(s.timelineDuration, 600.0);
    EXPECT_DOUBLE_EQ(s.scaleFactor, 2.0);
    EXPECT_DOUBLE_EQ(s.zoomValue, 1.0);
    EXPECT_DOUBLE_EQ(s.mouseEventStartingZoom, 1.0);
    EXPECT_TRUE(s.continueTimeObserver);
    EXPECT_NE(s.timeObserverToken, 0);
    EXPECT_TRUE(c->notifyAudioMetering.load());
    EXPECT_TRUE(c->showEQFFT.load());
    EXPECT_TRUE(c->pauseUpdateRecordedParameters().isEmpty());
    EXPECT_FALSE(c->automation.hasToShowNotesView);
    EXPECT_FALSE(c->automation.needsToUpdateValueImmediately);
    EXPECT_EQ(c->automation.tempIndexOfSelectedParameter, kNoIndex);
    EXPECT_TRUE(c->editing.markersArray.empty());
    EXPECT_EQ(c->editing.currentSelectedMarker, kNoIndex);
    EXPECT_FALSE(c->editing.needsUpdateSplitSelection);
    EXPECT_FALSE(c->editing.playAfterDragDropSelection);
    EXPECT_EQ(c->library.projectChangeCount, 0u);
    EXPECT_TRUE(c->library.projectURL.isEmpty());
    EXPECT_FALSE(c->loadTapFromProject());

    // Geometry: the track area and the ruler layer are as wide as the timeline.
    EXPECT_EQ(c->ui.audioView->width(), 1200);
    EXPECT_EQ(c->ui.audioView->height(), 0);
    EXPECT_EQ(c->ui.lineView->width(), 1200);
    EXPECT_EQ(c->ui.lineView->parentWidget(), c->ui.lineViewContainer);
    EXPECT_EQ(c->ui.lineViewContainer->geometry(), c->ui.audioScrollView->viewport()->geometry());
    EXPECT_DOUBLE_EQ(c->ui.lineView->linePercent, 0.0);
    EXPECT_DOUBLE_EQ(c->ui.lineView->globalLinePercent, 0.0);

    // Transport buttons: play symbols on the play/pause buttons.
    for (auto* b : {c->ui.playPauseButton, c->miniPlayer.playerPlayPauseButton}) {
        EXPECT_TRUE(b->isPause);
        EXPECT_FALSE(b->isPlay);
    }
    EXPECT_TRUE(c->ui.fastForwardButton->isFastForward);
    EXPECT_TRUE(c->miniPlayer.playerFastForwardButton->isFastForward);
    EXPECT_TRUE(c->ui.rewindButton->isRewind);
    EXPECT_TRUE(c->miniPlayer.playerRewindButton->isRewind);

    // Panels: the library hidden, the equaliser strip's button on.
    EXPECT_TRUE(c->ui.libraryBackgroundView->isHidden());
    EXPECT_EQ(c->ui.animateLibraryButton->buttonState(), 0u);
    EXPECT_EQ(c->ui.animateEQViewButton->buttonState(), 1u);
    EXPECT_EQ(c->ui.audioView->undoManager(), c->undoManager());
}

TEST_F(StartupTest, ControlsStartWithDefaultsAndDisabled) {
    const auto controls = c->ui.effectControls();
    for (size_t i = 0; i < controls.size(); ++i) {
        auto [slider, field] = controls[i];
        SCOPED_TRACE(effectControlTable[i].key);
        EXPECT_DOUBLE_EQ(slider->floatValue(), effectControlTable[i].defaultValue);
        EXPECT_FLOAT_EQ(c->automation.defaultValues[i], float(effectControlTable[i].defaultValue));
        EXPECT_EQ(field->text(), field->formatter()->stringFromNumber(effectControlTable[i].defaultValue));
        EXPECT_FALSE(slider->isEnabled());
        EXPECT_FALSE(field->isEnabled());
    }
    EXPECT_FLOAT_EQ(c->defaultValue("inputLowPassCutoff"), 22050.0f);
    // The filter units' views write back within the sliders' ranges.
    auto [lo, hi] = c->filterSliderRange(FilterSlider::BandPassCenter);
    EXPECT_FLOAT_EQ(lo, float(c->ui.sliderBandpassCenter->minValue()));
    EXPECT_FLOAT_EQ(hi, float(c->ui.sliderBandpassCenter->maxValue()));
    c->setFilterSliderValue(FilterSlider::LowPassResonance, 12.5f);
    EXPECT_EQ(c->ui.textFieldLowPassResonance->text(), "12.5");
    for (QWidget* control : std::initializer_list<QWidget*>{
             c->ui.sliderPlayerVolume, c->miniPlayer.miniPlayerVolume, c->ui.zoomSlider,
             c->ui.audioSlider, c->miniPlayer.playerAudioSlider})
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    // The length fields are never bound: they stay usable.
    EXPECT_EQ(c->ui.textFieldDurationMinutes->text(), "10");
    EXPECT_EQ(c->ui.textFieldDurationSeconds->text(), "0");
    EXPECT_EQ(c->preferences.textFieldPreferencesDurationMinutes->text(), "10");
    EXPECT_EQ(c->preferences.textFieldPreferencesDurationSeconds->text(), "0");
    EXPECT_TRUE(c->ui.textFieldDurationMinutes->isEnabled());
    EXPECT_TRUE(c->preferences.textFieldPreferencesDurationSeconds->isEnabled());

    c->setViewControlsEnabled(true);
    EXPECT_TRUE(c->ui.sliderGain16K->isEnabled());
    EXPECT_TRUE(c->ui.textFieldGain16K->isEnabled());
    EXPECT_TRUE(c->miniPlayer.playerAudioSlider->isEnabled());
}

// The fields' formatters: whole numbers where minutes are typed; a lone
// minus sign only where the slider goes below zero (balance, pitch, bass
// boost and the equaliser), though a negative number reads as one anywhere.
TEST_F(StartupTest, NumericFieldFormatters) {
    struct Case {
        NumberTextField* field;
        bool integer;
        bool negative;
    };
    const Case cases[] = {
        {c->ui.textFieldChannelMix, false, true},
        {c->ui.textFieldPitch, false, true},
        {c->ui.textFieldLowShelfGain, false, true},
        {c->ui.textFieldSpeed, false, false},
        {c->ui.textFieldGlobalGain, false, true},
        {c->ui.textFieldGain32, false, true},
        {c->ui.textFieldGain16K, false, true},
        {c->ui.textFieldDurationMinutes, true, false},
        {c->ui.textFieldDurationSeconds, false, false},
        {c->preferences.textFieldPreferencesDurationMinutes, true, false},
        {c->preferences.textFieldPreferencesDurationSeconds, true, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.field->objectName().toStdString());
        auto* f = k.field->formatter();
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->kind() == TextFieldNumberFormatter::Kind::Integer, k.integer);
        EXPECT_EQ(f->allowsNegativeNumbers(), k.negative);
        QString minus = QStringLiteral("-");
        int pos = 1;
        EXPECT_EQ(f->validate(minus, pos) != QValidator::Invalid, k.negative);
        QString negative = QStringLiteral("-5");
        pos = 2;
        EXPECT_EQ(f->validate(negative, pos), QValidator::Acceptable);
    }
    // The preferences' fields are left out of the Tab order.
    EXPECT_EQ(c->preferences.textFieldPreferencesDurationMinutes->focusPolicy(), Qt::ClickFocus);
    EXPECT_EQ(c->ui.textFieldSpeed->focusPolicy(), Qt::StrongFocus);
}

// With no track selected a typed value has nothing to change: the field
// shows its slider again. (Typed values on a track: tests/automation.)
TEST_F(StartupTest, TypedValuesWithoutATrackChangeNothing) {
    c->setViewControlsEnabled(true);
    int actions = 0;
    QObject::connect(c->ui.sliderSpeed, &FloatSlider::action, [&] { ++actions; });
    c->ui.textFieldSpeed->setText("2.5");
    emit c->ui.textFieldSpeed->action(c->ui.textFieldSpeed);
    EXPECT_DOUBLE_EQ(c->ui.sliderSpeed->floatValue(), 1.0);
    EXPECT_EQ(c->ui.textFieldSpeed->text(), "1");
    EXPECT_EQ(actions, 0);

    c->ui.textFieldGain64->setText("5");
    emit c->ui.textFieldGain64->action(c->ui.textFieldGain64);
    EXPECT_DOUBLE_EQ(c->ui.sliderGain64->floatValue(), 0.0);

    // The field follows its slider.
    c->ui.sliderReverb->setFloatValue(12.345);
    EXPECT_EQ(c->ui.textFieldReverb->text(), "12.35");
}

// The periodic time observer moves sliders, labels and the playback line
// only while continueTimeObserver is set.
TEST_F(StartupTest, TimeObserverGate) {
    c->shell.compositionDuration = MediaTime(600, 1);
    c->setupAudioSliderWithTotalTime(c->shell.compositionDuration);
    c->shell.continueTimeObserver = false;
    c->playheadTimeObserverBlock(MediaTime(150, 1));
    EXPECT_DOUBLE_EQ(c->ui.audioSlider->floatValue(), 0.0);
    EXPECT_DOUBLE_EQ(c->ui.lineView->globalLinePercent, 0.0);
    EXPECT_EQ(c->ui.labelStart->text(), "00:00:00");

    c->shell.continueTimeObserver = true;
    c->playheadTimeObserverBlock(MediaTime(150, 1));
    EXPECT_DOUBLE_EQ(c->ui.audioSlider->floatValue(), 150.0);
    EXPECT_DOUBLE_EQ(c->miniPlayer.playerAudioSlider->floatValue(), 150.0);
    EXPECT_DOUBLE_EQ(c->ui.lineView->globalLinePercent, 0.25);
    EXPECT_DOUBLE_EQ(c->ui.lineView->linePercent, 0.0);  // the playhead stays
    EXPECT_EQ(c->ui.labelStart->text(), "00:02:30");
    EXPECT_EQ(c->ui.labelEnd->text(), "-00:07:30");
    EXPECT_EQ(c->miniPlayer.playerLabelEnd->text(), "-00:07:30");

    // A composition of length 0 keeps the playback line at its start.
    c->shell.compositionDuration = MediaTime::zero();
    c->playheadTimeObserverBlock(MediaTime(3, 1));
    EXPECT_DOUBLE_EQ(c->ui.lineView->globalLinePercent, 0.0);
}

TEST_F(StartupTest, TimeLabelsAndTitles) {
    // Length 0: the transport labels and the titles stay as they are.
    c->ui.labelStart->setText("x");
    c->updateLabelsTimeWithCurrentTime(MediaTime(5, 1));
    EXPECT_EQ(c->ui.labelStart->text(), "x");
    c->miniPlayer.playerTextField->setText("before");
    c->setupAudioSliderWithTotalTime(MediaTime(90, 1));
    EXPECT_DOUBLE_EQ(c->ui.audioSlider->maxValue(), 90.0);
    EXPECT_EQ(c->miniPlayer.playerTextField->text(), "before");

    struct Case {
        double length;
        double now;
        const char* start;
        const char* end;
    };
    const Case cases[] = {
        {3725.5, 0, "00:00:00", "-01:02:05"},
        {3725.5, 3725.5, "01:02:05", "-00:00:00"},
        {100000, 90000, "25:00:00", "-02:46:40"},  // no wrap at 24 hours
        {60, 61, "00:01:01", "-00:00:00"},         // past the end: not negative
    };
    for (const auto& k : cases) {
        c->shell.compositionDuration = MediaTime::fromSeconds(k.length, 44100);
        c->updateLabelsTimeWithCurrentTime(MediaTime::fromSeconds(k.now, 44100));
        EXPECT_EQ(c->ui.labelStart->text(), k.start);
        EXPECT_EQ(c->ui.labelEnd->text(), k.end);
        EXPECT_EQ(c->miniPlayer.playerLabelStart->text(), k.start);
    }

    c->shell.compositionDuration = MediaTime(600, 1);
    c->setupAudioSliderWithTotalTime(c->shell.compositionDuration);
    EXPECT_EQ(c->miniPlayer.playerTextField->text(), "Untitled Composition - 00:10:00");
    c->library.projectURL = QUrl::fromLocalFile("/music/Song.trvproj");
    c->setupAudioSliderWithTotalTime(c->shell.compositionDuration);
    EXPECT_EQ(c->miniPlayer.playerTextField->text(), "Song - 00:10:00");
    EXPECT_EQ(c->miniPlayer.playerWindow->windowTitle(), "Song - 00:10:00");
    EXPECT_DOUBLE_EQ(c->miniPlayer.playerAudioSlider->maxValue(), 600.0);

    // Without a ready item the ruler set-up shows the start and the whole length.
    c->setupLabelsWithUpdate(true);
    EXPECT_EQ(c->ui.labelStart->text(), "00:00:00");
    EXPECT_EQ(c->ui.labelEnd->text(), "-00:10:00");
    EXPECT_EQ(c->ui.leftTimeLabel->text(), "00:00:00");
}

// The ruler's labels read the times under the visible part of the track
// area, and follow its scrolling.
TEST_F(StartupTest, RulerLabelsFollowTheVisiblePart) {
    interface->mainWindow->resize(1280, 800);
    interface->mainWindow->show();
    ASSERT_TRUE(testsupport::waitUntil([&] { return c->ui.audioScrollView->viewport()->width() > 100; }));
    c->shell.compositionDuration = MediaTime(600, 1);  // 1200 points: 2 points a second
    c->setupLabelsWithUpdate(true);
    const int vw = c->ui.audioScrollView->viewport()->width();
    EXPECT_EQ(c->ui.leftTimeLabel->text(), "00:00:00");
    EXPECT_EQ(c->ui.rightTimeLabel->text(), timeText(vw / 2.0));
    c->ui.audioScrollView->horizontalScrollBar()->setValue(200);
    EXPECT_EQ(c->ui.leftTimeLabel->text(), "00:01:40");
    EXPECT_EQ(c->ui.lineViewContainer->geometry(), c->ui.audioScrollView->viewport()->geometry());
}

// The library panel: hidden at start-up, shown when it was shown at the last exit.
TEST_F(StartupTest, LibraryPanelLayouts) {
    c->updateLibraryViewOnStartup();
    EXPECT_TRUE(c->ui.libraryBackgroundView->isHidden());
    c->library.libraryViewIsVisibleOnExit = true;
    c->ui.filtersScrollView->verticalScrollBar()->setValue(40);
    c->updateLibraryViewOnStartup();
    EXPECT_FALSE(c->ui.libraryBackgroundView->isHidden());
    EXPECT_EQ(c->ui.animateLibraryButton->buttonState(), 1u);
    EXPECT_EQ(c->ui.filtersScrollView->verticalScrollBar()->value(), 0);
    c->animateLibraryViewFrom(c->ui.animateLibraryButton);
    EXPECT_TRUE(c->ui.libraryBackgroundView->isHidden());
    EXPECT_EQ(c->ui.animateLibraryButton->buttonState(), 0u);
}

}  // namespace
