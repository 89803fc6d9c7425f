// The track menu on real tracks: whole menus compared as text for the
// states that decide what it lists, the "Mix" menu of the menu bar with its
// hovering, the highlights of key points and selection ranges, and the
// small commands behind the menu and the controls beside the track area.
#include "app/TrackListFixture.h"
#include "support/MenuTree.h"
#include "support/Sliders.h"

#include "automation/Pasteboard.h"
#include "editing/TrackMenuRecords.h"
#include "midi/MIDIManager.h"
#include "midi/MidiNotes.h"
#include "views/EQSubview.h"
#include "views/FloatSlider.h"
#include "views/NotesPanel.h"

#include <QCheckBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include <functional>

namespace {

using testsupport::menuTree;
using testsupport::menuTreePart;

class TrackMenuTest : public TrackListTest {
protected:
    void addTracks() {
        track = append(writeTone(QStringLiteral("first.wav"), 3.0, 440));
        second = append(writeTone(QStringLiteral("second.wav"), 3.0, 880));
        waitForReadyItem();
        c->undoManager()->removeAllActions();
    }

    // A track with nothing that the menu lists beyond its fixed items.
    void makeBare(MusicFilter& t) {
        AudioDrawingView* l = AudioController::trackLaneOf(&t);
        l->selectionPaths.clear();
        l->selectionPastes.clear();
        l->isSelectingNotes = false;
        c->automation.selectionParameters.erase(t.identifierOfFilter);
        c->automation.recordedParameters.erase(t.identifierOfFilter);
        c->pasteboardItems.reset();
        t.typeOfComposition = t.isRecordingParameters = t.isDeletingKeyPoints = 0;
        t.showParameterCurve = t.typeOfRecordedCurve = 0;
        t.midiManager.reset();
        t.midiArray.clear();
        t.currentSelectedNotes.clear();
        t.pluginsMenuDictionary.clear();
        t.setPluginsArray({});
    }

    QStringList treeOf(quint64 index) {
        auto menu = c->trackMenuForIndex(index);
        EXPECT_TRUE(menu);
        if (!menu) return {};
        EXPECT_EQ(menu->title(), QStringLiteral("Item Menu"));
        return menuTree(menu.get(), trackAt(index));
    }
    MusicFilter* trackAt(quint64 index) { return c->trackAt(index); }
    TrackCurves& curvesOf(const MusicFilter& f) { return c->automation.recordedParameters[f.identifierOfFilter]; }

    // The Track menu opening, and the "Mix" menu it rebuilds.
    QMenu* openTrackMenu() {
        QMenu* trackMenu = nullptr;
        for (QAction* a : c->ui.window->menuBar()->actions())
            if (a->text() == QLatin1String("Track")) trackMenu = a->menu();
        EXPECT_TRUE(trackMenu);
        if (!trackMenu) return nullptr;
        emit trackMenu->aboutToShow();
        return c->trackMenu.mixMenu ? c->trackMenu.mixMenu->menu() : nullptr;
    }
    static QAction* item(QMenu* menu, const QString& title) {
        for (QAction* a : menu->actions())
            if (QString(a->text()).replace(QLatin1String("&&"), QLatin1String("&")) == title) return a;
        return nullptr;
    }

    std::shared_ptr<MusicFilter> track, second;
};

const QStringList kAddItems{"Add Audio Mix curve", "Add Channel Mix curve", "Add EQ Gain curve",
                            "Add Pitch curve",     "Add Reverb & Ambience curve", "Add Bass Boost curve",
                            "Add Low Pass curve",  "Add High Pass curve", "Add Band Pass curve"};

TEST_F(TrackMenuTest, WholeMenusForTheStatesThatDecideThem) {
    addTracks();
    MusicFilter& t = *track;
    AudioDrawingView& lane = *this->lane(0);
    const QRectF region = lane.drawingBezierPath.boundingRect();
    auto [reverbMin, reverbMax] = c->laneValueRange(QStringLiteral("inputReverbWetDryMix"));
    const KeyPoint flagged{0.5, 1.0, KeyPoint::kRecordingBoundary};
    using Setup = std::function<void(TrackMenuTest&, MusicFilter&, AudioDrawingView&)>;
    struct Case {
        const char* name;
        Setup setup;
        QString from, to;  // the part compared; empty: the whole menu
        QStringList expected;
    } cases[] = {
        {"a bare track", [](auto&, auto&, auto&) {}, {}, {},
         QStringList{"Select track area [x]", "Trim & Arrange selected track [ ]", "-", "Do not record parameters [x]",
                     "Record parameters [ ]", "-", "Step curve - Sustain [x]", "Linear curve - Ramp [ ]", "-"} +
             kAddItems},
        {"the sampler offered until its unit is made",
         [](auto&, MusicFilter& t, auto&) { t.setPluginsArray({PluginRecord{nullptr, "Apple: AU Sampler"}}); },
         "Trim & Arrange selected track [ ]", "Do not record parameters [x]",
         {"Trim & Arrange selected track [ ]", "-", "Add Sampler for MIDI device = track", "-"}},
        {"no sampler item once it is made",
         [](auto&, MusicFilter& t, auto&) {
             t.setPluginsArray({PluginRecord{nullptr, "Apple: AU Sampler", false, 0, true}});
         },
         "Trim & Arrange selected track [ ]", "Do not record parameters [x]",
         {"Trim & Arrange selected track [ ]", "-"}},
        {"a time selection", [&](auto&, auto&, AudioDrawingView& l) {
             l.selectionPaths = {{QPointF(region.left() + 5, 0), QPointF(region.left() + 40, 0)}};
         },
         "Select track area [x]", "Trim & Arrange selected track [ ]",
         {"Select track area [x]", "Copy current selection", "Cut current selection", "Remove current selection",
          "Speed of the selection", "  0.25x = 0", "  0.5x = 1", "  1.0x = 2", "  1.25x = 3", "  1.5x = 4",
          "  2.0x = 5", "Assign parameters to selection = track", "-"}},
        {"pasted ranges alone open with a separator", [&](auto&, auto&, AudioDrawingView& l) {
             l.selectionPastes = {{QPointF(10, 0), QPointF(40, 0)}};
         },
         "Select track area [x]", "Trim & Arrange selected track [ ]",
         {"Select track area [x]", "-", "Do not show selections = track", "-"}},
        {"a selection and pasted ranges", [&](auto&, auto&, AudioDrawingView& l) {
             l.selectionPaths = {{QPointF(region.left() + 5, 0), QPointF(region.left() + 40, 0)}};
             l.selectionPastes = {{QPointF(10, 0), QPointF(40, 0)}};
         },
         "Assign parameters to selection = track", "Trim & Arrange selected track [ ]",
         {"Assign parameters to selection = track", "-", "Do not show selections = track", "-"}},
        {"an empty selection-parameter list still brings its submenu",
         [&](TrackMenuTest&, MusicFilter& t, auto&) { c->automation.selectionParameters[t.identifierOfFilter]; },
         "Select track area [x]", "Trim & Arrange selected track [ ]",
         {"Select track area [x]", "-", "Remove parameters", "-"}},
        {"a selection-parameter entry titled by its times",
         [&](TrackMenuTest&, MusicFilter& t, auto&) {
             SelectionParametersRecord e;
             e.selectionParametersStartPercent = 0.25;
             e.selectionParametersEndPercent = 0.5;
             c->automation.selectionParameters[t.identifierOfFilter] = {e};
         },
         "Remove parameters", "Trim & Arrange selected track [ ]",
         {"Remove parameters", "  Start: 0.75 s - End: 1.50 s = [track, 0]", "-"}},
        {"trim and arrange mode", [](auto&, MusicFilter& t, auto&) { t.typeOfComposition = 1; },
         "Select track area [ ]", "-", {"Select track area [ ]", "Trim & Arrange selected track [x]"}},
        {"a mode of neither kind", [](auto&, MusicFilter& t, auto&) { t.typeOfComposition = 2; },
         "Select track area [ ]", "-", {"Select track area [ ]", "Trim & Arrange selected track [ ]"}},
        {"recording with curves offers the mouse modes",
         [&](TrackMenuTest&, MusicFilter& t, auto&) {
             t.isRecordingParameters = 1;
             t.isDeletingKeyPoints = 1;
             curvesOf(t)[QStringLiteral("inputAudioMix")] = {flagged};
         },
         "Do not record parameters [ ]", "Show No curve [x]",
         {"Do not record parameters [ ]", "Record parameters [x]", "-", "Mouse click: add/adjust Key Point [ ]",
          "Mouse click: remove Key Point [x]", "-", "Step curve - Sustain [x]", "Linear curve - Ramp [ ]", "-"}},
        {"two neighbouring groups with curves are parted by two separators",
         [&](TrackMenuTest&, MusicFilter& t, auto&) {
             curvesOf(t)[QStringLiteral("inputAudioMix")] = {flagged};
             curvesOf(t)[QStringLiteral("inputChannelMix")] = {flagged};
         },
         "Linear curve - Ramp [ ]", "Add Pitch curve",
         {"Linear curve - Ramp [ ]", "-", "Show No curve [x]", "-", "Show Audio Mix curve [ ]", "Copy Audio Mix curve",
          "Reset Audio Mix curve", "Remove Audio Mix curve", "-", "-", "Show Channel Mix curve [ ]",
          "Copy Channel Mix curve", "Reset Channel Mix curve", "Remove Channel Mix curve", "-", "Add EQ Gain curve"}},
        {"a two-key group listed once, with only its flagged points at or after 0",
         [&](TrackMenuTest&, MusicFilter& t, auto&) {
             t.showParameterCurve = 5;
             curvesOf(t)[QStringLiteral("inputReverbWetDryMix")] = {{-1, 10, 1}, {1, 25}, {2, 75, 1}};
             curvesOf(t)[QStringLiteral("inputReverbSmallLargeMix")] = {{1, 50}, {2, 60}};
         },
         "Add Pitch curve", {},
         {"Add Pitch curve", "-", "Show Reverb & Ambience curve [x]", "Copy Reverb & Ambience curve",
          "Reset Reverb & Ambience curve", "Remove Reverb & Ambience curve", "-", "Add Bass Boost curve",
          "Add Low Pass curve", "Add High Pass curve", "Add Band Pass curve", "-", "Reverb Key Points",
          QStringLiteral("  Time: 00:00:02:00 - Value: 75.000 = [2, 75, %1, %2]").arg(reverbMin).arg(reverbMax)}},
        {"the shown group without a curve adds only a separator",
         [&](TrackMenuTest&, MusicFilter& t, auto&) {
             t.showParameterCurve = 4;
             curvesOf(t)[QStringLiteral("inputAudioMix")] = {flagged};
         },
         "Show No curve [ ]", "-", {"Show No curve [ ]"}},
        {"the shown group without a curve adds only a separator (its end)",
         [&](TrackMenuTest&, MusicFilter& t, auto&) {
             t.showParameterCurve = 4;
             curvesOf(t)[QStringLiteral("inputAudioMix")] = {flagged};
         },
         "Add Band Pass curve", {}, {"Add Band Pass curve", "-"}},
        {"a curve set on the clipboard",
         [&](TrackMenuTest&, auto&, auto&) {
             c->pasteboardItems = CurvePasteboardRecord{{{{{0.1, 1}}, QStringLiteral("inputPitch")}}, 0};
         },
         "Record parameters [ ]", "-", {"Record parameters [ ]", "Paste recorded curve(s)"}},
        {"a selection on the clipboard", [&](TrackMenuTest&, auto&, auto&) { c->pasteboardItems = SelectionClipboardRecord{}; },
         "Record parameters [ ]", "-", {"Record parameters [ ]"}},
        {"notes on the clipboard of a track without notes",
         [&](TrackMenuTest&, auto&, auto&) { c->pasteboardItems = NotesPasteboardRecord{}; },
         "Select track area [x]", "Trim & Arrange selected track [ ]", {"Select track area [x]"}},
        {"a track that plays notes, with nothing to act on",
         [&](TrackMenuTest&, MusicFilter& t, auto&) {
             t.midiManager = std::make_shared<MIDIManager>(t, c->midiNotes()->gate(), false);
         },
         "Notes & Instruments", "Select track area [x]", {"Notes & Instruments", "  Show notes view", "-"}},
        {"a track that plays notes, with notes, a selection and notes on the clipboard",
         [&](TrackMenuTest&, MusicFilter& t, AudioDrawingView& l) {
             t.midiManager = std::make_shared<MIDIManager>(t, c->midiNotes()->gate(), false);
             t.midiArray = {MidiNoteRecord{}};
             t.currentSelectedNotes = {MidiNoteRecord{}};
             l.selectionPaths = {{QPointF(region.left() + 5, 0), QPointF(region.left() + 40, 0)}};
             c->pasteboardItems = NotesPasteboardRecord{};
         },
         "Notes & Instruments", "Select track area [x]",
         {"Notes & Instruments", "  Show notes view", "  Select notes [ ] = track", "  Copy selected notes",
          "  Copy notes within selection", "  -", "  Paste notes at same time", "  Paste notes at current time", "  -",
          "  Transpose selected notes", "    -4 Octaves = -4", "    -3 Octaves = -3", "    -2 Octaves = -2",
          "    -1 Octave = -1", "    +1 Octave = 1", "    +2 Octaves = 2", "    +3 Octaves = 3", "    +4 Octaves = 4",
          "  Remove selected notes", "  Remove notes within selection", "-"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        makeBare(t);
        k.setup(*this, t, lane);
        const QStringList tree = treeOf(0);
        const QStringList part = k.from.isEmpty() ? tree : menuTreePart(tree, k.from, k.to);
        EXPECT_EQ(part, k.expected) << tree.join(QLatin1Char('\n')).toStdString();
    }
    makeBare(t);
    EXPECT_FALSE(c->trackMenuForIndex(2)) << "an index outside the list";
    EXPECT_FALSE(c->trackMenuForIndex(kNoIndex));
}

TEST_F(TrackMenuTest, TheMixMenuListsTheTracksAndTheHoveredOneIsSelected) {
    QMenu* mix = openTrackMenu();
    ASSERT_TRUE(mix);
    EXPECT_EQ(menuTree(mix), QStringList{"No tracks (disabled)"});

    addTracks();
    c->rulerSelectTrack(0);
    track->setValue(EffectInput::Pitch, 300);
    mix = openTrackMenu();
    ASSERT_TRUE(mix);
    const QStringList titles{mix->actions()[0]->text(), mix->actions()[1]->text()};
    EXPECT_EQ(titles, (QStringList{"Track 1 - first.wav", "Track 2 - second.wav"}));
    for (QAction* a : mix->actions()) EXPECT_TRUE(a->menu() && item(a->menu(), "Select track area"));

    // Resting on the second track selects it; its values fill the controls.
    second->setValue(EffectInput::Pitch, -500);
    mix->actions()[1]->hover();
    EXPECT_EQ(c->currentSelectedAudio.load(), 1u);
    EXPECT_FLOAT_EQ(testsupport::effectSlider(c->ui, "inputPitch")->floatValue(), -500.0f);
    mix->actions()[0]->hover();
    EXPECT_EQ(c->currentSelectedAudio.load(), 0u);
    EXPECT_FLOAT_EQ(testsupport::effectSlider(c->ui, "inputPitch")->floatValue(), 300.0f);

    // A command of the submenu acts on the track the pointer rested on.
    mix->actions()[1]->hover();
    item(mix->actions()[1]->menu(), "Trim & Arrange selected track")->trigger();
    EXPECT_EQ(second->typeOfComposition, 1u);
    EXPECT_EQ(track->typeOfComposition, 0u);
}

TEST_F(TrackMenuTest, TheHoveredKeyPointAndRangeShowUntilTheirSubmenuCloses) {
    addTracks();
    track->showParameterCurve = 1;
    curvesOf(*track)[QStringLiteral("inputAudioMix")] = {{0.5, 0.25, 1}, {1.5, 0.75, 1}};
    SelectionParametersRecord e;
    e.selectionParametersStartPercent = 0.1;
    e.selectionParametersEndPercent = 0.2;
    c->automation.selectionParameters[track->identifierOfFilter] = {e, e};
    c->automation.selectionParameters[track->identifierOfFilter][1].selectionParametersStartPercent = 0.3;
    c->automation.selectionParameters[track->identifierOfFilter][1].selectionParametersEndPercent = 0.4;

    QMenu* mix = openTrackMenu();
    ASSERT_TRUE(mix);
    QMenu* menu = mix->actions()[0]->menu();
    QMenu* points = item(menu, "Volume Key Points")->menu();
    QMenu* ranges = item(menu, "Remove parameters")->menu();
    ASSERT_TRUE(points && ranges);
    emit points->aboutToShow();
    ASSERT_EQ(points->actions().size(), 2);

    points->actions()[1]->hover();
    ASSERT_TRUE(c->automation.tempHighlightedKeyTime);
    EXPECT_DOUBLE_EQ(c->automation.tempHighlightedKeyTime->time, 1.5);
    EXPECT_DOUBLE_EQ(c->automation.tempHighlightedKeyTime->value, 0.75);
    EXPECT_TRUE(c->laneHighlightedKeyPoint());
    ranges->actions()[1]->hover();
    EXPECT_EQ(c->laneHighlightedSelectionParameter(), 1u);
    EXPECT_FALSE(c->automation.tempHighlightedKeyTime) << "resting elsewhere clears the point";

    points->actions()[1]->hover();
    emit ranges->aboutToHide();
    EXPECT_EQ(c->laneHighlightedSelectionParameter(), kNoIndex);
    EXPECT_TRUE(c->automation.tempHighlightedKeyTime) << "another submenu's closing keeps the point";
    emit points->aboutToHide();
    EXPECT_FALSE(c->automation.tempHighlightedKeyTime);

    // The next showing starts with nothing remembered.
    openTrackMenu();
    points->actions()[0]->hover();
    EXPECT_FALSE(c->automation.tempHighlightedKeyTime) << "an item of a menu no longer shown";
}

// ---- The commands ---------------------------------------------------------------------------------

TEST_F(TrackMenuTest, TheEditingModeCommands) {
    c->changeModeSelectionTrimFrom();  // no tracks: nothing
    addTracks();
    c->rulerSelectTrack(1);
    AudioController* const controller = c;
    const std::function<void()> toggle = [controller] { controller->changeModeSelectionTrimFrom(); };
    const std::function<void()> trim = [controller] { controller->menuTrimComposition(); };
    const std::function<void()> select = [controller] { controller->menuSelectComposition(); };
    struct Case {
        uint64_t before;
        const std::function<void()>& command;
        uint64_t after;
    };
    const Case cases[] = {{0, toggle, 1}, {1, toggle, 0}, {7, toggle, 7}, {0, trim, 1}, {1, select, 0}};
    for (const Case& k : cases) {
        second->typeOfComposition = k.before;
        k.command();
        EXPECT_EQ(second->typeOfComposition, k.after) << k.before;
        EXPECT_EQ(track->typeOfComposition, 0u);
    }
    second->typeOfComposition = 0;
    c->ui.editingModeButton->click();
    EXPECT_EQ(second->typeOfComposition, 1u);
}

TEST_F(TrackMenuTest, HidingPastedRangesIsUndoneAndRedone) {
    addTracks();
    const QList<SelectionPasteRecord> marks{{QPointF(10, 0), QPointF(40, 0)}, {QPointF(70, 0), QPointF(90, 0)}};
    lane(1)->selectionPastes = marks;
    c->rulerSelectTrack(0);
    // The menu's item names its own track, whichever is selected.
    auto menu = c->trackMenuForIndex(1);
    item(menu.get(), "Do not show selections")->trigger();
    endEvent();
    EXPECT_TRUE(lane(1)->selectionPastes.isEmpty());
    EXPECT_TRUE(c->undoManager()->undoActionName().isEmpty());
    undo();
    EXPECT_EQ(lane(1)->selectionPastes, marks);
    redo();
    EXPECT_TRUE(lane(1)->selectionPastes.isEmpty());
    undo();
    EXPECT_EQ(lane(1)->selectionPastes, marks);

    // A record whose track has left the list does nothing.
    c->removeAudioFileAtIndex(1);
    endEvent();
    c->undoManager()->removeAllActions();
    c->addRemoveSenderPastes(PastedRangesUndoRecord{second, marks});
    EXPECT_FALSE(c->undoManager()->canUndo());
    EXPECT_TRUE(lane(0)->selectionPastes.isEmpty());
}

TEST_F(TrackMenuTest, NoteModesFromTheMenuAndFromAButton) {
    addTracks();
    c->rulerSelectTrack(0);
    c->selectNotesFrom(second.get());
    EXPECT_TRUE(lane(1)->isSelectingNotes) << "the menu's track, not the selected one";
    EXPECT_FALSE(lane(0)->isSelectingNotes);
    QPushButton button;
    for (bool expected : {true, false}) {
        c->adjustNotesFrom(&button);
        EXPECT_EQ(lane(0)->isAdjustingNotes, expected);
        EXPECT_EQ(button.isChecked(), expected);
    }
    c->selectNotesFrom(&button);
    EXPECT_TRUE(lane(0)->isSelectingNotes);
    EXPECT_TRUE(button.isChecked());

    // The notes panel's buttons are such buttons: a click shows the lane's new mode.
    QPushButton* adjust = c->ui.notesPanel->adjustNotesButton;
    adjust->click();
    EXPECT_TRUE(lane(0)->isAdjustingNotes);
    EXPECT_TRUE(adjust->isChecked());
    adjust->click();
    EXPECT_FALSE(lane(0)->isAdjustingNotes);
    EXPECT_FALSE(adjust->isChecked());
}

TEST_F(TrackMenuTest, TheControlsBesideTheTrackArea) {
    // The spectrum follows its check box, and the strip is redrawn.
    QCheckBox* box = c->preferences.showEQFFTCheck;
    ASSERT_TRUE(box);
    for (int i = 0; i < 3; ++i) {
        box->click();
        EXPECT_EQ(c->showEQFFT.load(), box->isChecked());
    }

    // Without a selected track the menu button shows nothing.
    c->ui.trackMenuButton->click();
    EXPECT_FALSE(c->trackMenu.recorderOptionsMenu);
    addTracks();
    c->rulerSelectTrack(1);
    c->ui.trackMenuButton->click();
    ASSERT_TRUE(c->trackMenu.recorderOptionsMenu);
    EXPECT_TRUE(c->trackMenu.recorderOptionsMenu->isVisible());
    EXPECT_EQ(c->trackMenu.recorderOptionsMenu->title(), QStringLiteral("Item Menu"));
    item(c->trackMenu.recorderOptionsMenu, "Trim & Arrange selected track")->trigger();
    EXPECT_EQ(second->typeOfComposition, 1u);
    c->trackMenu.recorderOptionsMenu->close();
    endEvent();

    // The gestures' popover opens once and stays while shown.
    c->ui.laneInfoButton->click();
    ASSERT_TRUE(c->trackMenu.showInfoPopover);
    QWidget* popover = c->trackMenu.showInfoPopover;
    EXPECT_TRUE(popover->isVisible());
    c->showInfoPopoverFrom(c->ui.laneInfoButton);
    EXPECT_EQ(c->trackMenu.showInfoPopover.data(), popover);
    EXPECT_TRUE(popover->isVisible());
    popover->close();
}

}  // namespace
