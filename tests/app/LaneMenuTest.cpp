// The lane's context menu and the commands behind it, on three real tracks
// of 300, 1000 and 3000 Hz tones: what the menu holds, and what solo, mute,
// unmute, the resets and apply-to-all do to the rendered mix.
#include "TrackListFixture.h"

#include "app/EffectControls.h"
#include "automation/RecordedParameters.h"
#include "engine/TrackTapContext.h"
#include "platform/core/MainQueue.h"
#include "support/InstalledPlugins.h"
#include "views/EQSubview.h"
#include "views/FloatSlider.h"
#include "views/NumberTextField.h"
#include "views/TimePopover.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMenu>

#include <functional>

namespace {

class LaneMenuTest : public ShownTrackListTest {
protected:
    static constexpr double kTones[3] = {300, 1000, 3000};

    void SetUp() override {
        ShownTrackListTest::SetUp();
        // Tracks list the installed plug-ins, where the suite scanned them.
        if (auto* search = c->preferences.preferencesSearchPluginsCheck) search->setChecked(true);
        const char* names[3] = {"low.wav", "middle.wav", "high.wav"};
        for (int i = 0; i < 3; ++i) append(writeTone(QString::fromLatin1(names[i]), 2.0, kTones[i]));
        waitForReadyItem();
        c->undoManager()->removeAllActions();
    }

    MusicFilter& track(size_t i) { return *tracks()[i].audioFilter; }
    const QString& id(size_t i) { return track(i).identifierOfFilter; }

    // The titles of a menu's items, "-" for a separator.
    static QStringList titles(const QMenu& menu) {
        QStringList out;
        for (QAction* a : menu.actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    }
    static QAction* item(const QMenu& menu, const QString& title) {
        for (QAction* a : menu.actions())
            if (a->text() == title) return a;
        return nullptr;
    }
    std::unique_ptr<QMenu> menuOf(quint64 index, double x = -100) { return c->laneMenuForIndex(index, x); }

    // Chooses an item of the lane's menu as the user does.
    void choose(quint64 index, const QString& title) {
        auto menu = menuOf(index);
        QAction* a = item(*menu, title);
        ASSERT_TRUE(a && a->isEnabled()) << title.toStdString();
        a->trigger();
        settle();
    }

    void settle() {
        ASSERT_TRUE(testsupport::waitUntil([] { return MainQueue::instance().pendingCount() == 0; }));
        endEvent();
    }

    // The amplitude of each track's tone in the offline render of the mix,
    // over the middle second.
    std::array<double, 3> heard() {
        const std::vector<float> left = renderedLeft();
        std::array<double, 3> out{};
        const size_t from = 44100 / 2, n = 44100;
        if (left.size() < from + n) return {-1, -1, -1};
        for (int i = 0; i < 3; ++i) out[i] = testsupport::amplitudeAt(left.data() + from, n, kTones[i], 44100);
        return out;
    }
    static bool audible(double amplitude) { return amplitude > 0.05; }
    static bool silent(double amplitude) { return amplitude < 0.002; }

    FloatSlider* sliderOf(const char* key) {
        const auto controls = c->ui.effectControls();
        for (size_t i = 0; i < controls.size(); ++i)
            if (QString::fromLatin1(effectControlTable[i].key) == QLatin1String(key)) return controls[i].first;
        return nullptr;
    }
    // The selected track's value changed through its control.
    void setControl(const char* key, double value) {
        FloatSlider* s = sliderOf(key);
        ASSERT_NE(s, nullptr) << key;
        s->setFloatValue(value);
        emit s->action(s);
        settle();
    }
    void select(quint64 index) {
        c->rulerSelectTrack(index);
        endEvent();
    }
};

// The same, with the installed plug-ins (mda-lv2) on the tracks' lists.
class LaneMenuPluginTest : public LaneMenuTest {
protected:
    static void SetUpTestSuite() { testsupport::useInstalledPlugins(); }

    bool pluginLive(size_t index, int i) {
        const QList<PluginRecord> plugins = track(index).pluginsArray();
        return i < plugins.size() && plugins[i].audioUnitPointerSet && plugins[i].audioUnit &&
               plugins[i].audioUnitEnabled;
    }
    bool pluginEnabled(size_t index, int i) { return track(index).pluginsArray().value(i).audioUnitEnabled; }
    // Ticks on the track's plug-in whose name ends in `suffix` with its
    // check box, as the user does; its index, or -1 when it is not listed.
    int enablePlugin(size_t index, const QString& suffix) {
        (void)heard();  // prepares the taps, which list the plug-ins
        MusicFilter& t = track(index);
        if (!testsupport::waitUntil([&] { return t.pluginsPopUpButton && t.pluginsCheckButton; })) return -1;
        t.prepareTapForProcessing(t.mixInputTap().get());
        endEvent();
        int i = -1;
        for (int k = 0; k < t.pluginsArray().size(); ++k)
            if (t.pluginsArray()[k].audioUnitName.endsWith(suffix)) i = k;
        if (i < 0) return -1;
        qobject_cast<QComboBox*>(t.pluginsPopUpButton.data())->setCurrentIndex(i);
        qobject_cast<QCheckBox*>(t.pluginsCheckButton.data())->click();
        if (!testsupport::waitUntil([&] { return pluginLive(index, i); })) return -1;
        endEvent();
        return i;
    }
    // The tones once the player has its item and the track its plug-ins
    // made again with their settings (and the plug-in `live`, when given,
    // has its unit back).
    std::array<double, 3> heardSettled(size_t index, int live = -1) {
        waitForReadyItem();
        (void)heard();  // prepares a new tap
        EXPECT_TRUE(testsupport::waitUntil(
            [&] { return track(index).pluginsToEnable == 0 && (live < 0 || pluginLive(index, live)); }));
        endEvent();
        return heard();
    }
};

// ---- What the menu holds --------------------------------------------------------------------

TEST_F(LaneMenuTest, TheMenuListsTheTrackCommandsInOrder) {
    auto menu = menuOf(0);
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->title(), QStringLiteral("Item Menu"));
    const QStringList expected{
        "Track color...", "Add track source file to Library", "-", "Mix", "Edit time...",
        "Go to track start time", "Go to track end time", "Quick look...", "-", "Mute track", "Solo track", "-",
        "Duplicate track", "Duplicate track with current settings", "Invert trim", "Apply filters to all tracks",
        "-", "Reset filter parameters", "Reset EQ parameters", "Remove", "-", "Export current track...",
        "Export reversed track...", "-", "Add marker at current time...", "Add marker at track start time...",
        "Add marker at track end time...", "-", "Place current track after track",
        "Place current track before track", "Place current track at track start",
        "End current track at track end"};
    EXPECT_EQ(titles(*menu), expected);

    // Every item of the menu itself is enabled.
    for (QAction* a : menu->actions()) {
        if (a->isSeparator() || a->menu()) continue;
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
    }
    EXPECT_EQ(item(*menu, "Add marker at track end time...")->data().toULongLong(), 0u);
    // The "Mix" submenu is the track's own menu of effect commands.
    ASSERT_TRUE(item(*menu, "Mix")->menu());
    EXPECT_FALSE(item(*menu, "Mix")->menu()->actions().isEmpty());

    // Placement: every track listed from 1, the lane's own disabled, the
    // others carrying their index and the time each group places against.
    const struct {
        const char* group;
        bool atEnd;
    } groups[] = {{"Place current track after track", true},
                  {"Place current track before track", false},
                  {"Place current track at track start", false},
                  {"End current track at track end", true}};
    auto second = menuOf(1);
    for (const auto& g : groups) {
        SCOPED_TRACE(g.group);
        QMenu* sub = item(*second, g.group)->menu();
        ASSERT_TRUE(sub);
        EXPECT_EQ(titles(*sub), (QStringList{"Track 1 - low.wav", "Track 2 - middle.wav", "Track 3 - high.wav"}));
        EXPECT_FALSE(sub->actions()[1]->isEnabled());
        EXPECT_TRUE(sub->actions()[2]->isEnabled());
        const QVariantMap record = sub->actions()[2]->data().toMap();
        EXPECT_EQ(record.value("representedIndex").toULongLong(), 2u);
        const MediaTime t = g.atEnd ? track(2).animationEnd() : track(2).animationStart();
        EXPECT_DOUBLE_EQ(record.value("representedTime").toDouble(), t.seconds());
    }
}

TEST_F(LaneMenuTest, TheMenuFollowsSelectionsMarkersAndTrackCount) {
    const double D = c->shell.compositionDuration.seconds();
    const double W = c->ui.audioView->width();
    const double m1 = D / 4, m2 = D / 2;
    const QStringList selectionItems{"Copy current selection", "Cut current selection", "Remove current selection",
                                     "Speed of the selection", "Assign parameters to selection"};
    const QStringList markerGroups{"Go to marker", "Trim track start time to marker",
                                   "Trim track end time to marker", "Set start time to marker",
                                   "Set end time to marker"};
    const QStringList hitItems{"Rename marker...", "Remove marker"};
    const QStringList placement{"Place current track after track", "End current track at track end"};
    struct Case {
        const char* name;
        std::function<void()> setup;
        double x;
        QStringList present, absent;
    };
    const Case cases[] = {
        {"nothing selected, no markers", [] {}, 0, {}, selectionItems + markerGroups + hitItems},
        {"a time selection", [&] { lane(0)->selectionPaths = {{QPointF(10, 0), QPointF(60, 0)}}; }, 0,
         selectionItems, {}},
        {"markers, none near the click",
         [&] { c->editing.markersArray = {{m1, QStringLiteral("Intro")}, {m2, QString()}}; }, W / 2 + 40,
         markerGroups, hitItems},
        {"a marker within 10 points",
         [&] { c->editing.markersArray = {{m1, QStringLiteral("Intro")}, {m2, QString()}}; },
         m2 / D * W + 9.5, markerGroups + hitItems, {}},
        {"a marker at the composition's end is never hit",
         [&] { c->editing.markersArray = {{D, QStringLiteral("End")}}; }, W, markerGroups, hitItems},
        {"one track", [&] {
             c->undoManager()->disableUndoRegistration();
             c->removeAudioFileAtIndex(2);
             c->removeAudioFileAtIndex(1);
             c->undoManager()->enableUndoRegistration();
             endEvent();
         },
         0, {}, placement},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        c->editing.markersArray.clear();
        lane(0)->selectionPaths.clear();
        k.setup();
        auto menu = menuOf(0, k.x);
        const QStringList t = titles(*menu);
        for (const QString& s : k.present) EXPECT_TRUE(t.contains(s)) << s.toStdString();
        for (const QString& s : k.absent) EXPECT_FALSE(t.contains(s)) << s.toStdString();
    }

    // The selection items stand between "Quick look..." and the mute entry,
    // with the speeds as a submenu carrying their positions.
    lane(0)->selectionPaths = {{QPointF(10, 0), QPointF(60, 0)}};
    auto menu = menuOf(0);
    QStringList t = titles(*menu);
    const int at = int(t.indexOf("Quick look..."));
    EXPECT_EQ(t.mid(at, 9), QStringList{"Quick look..."} << "-" << selectionItems << "-" << "Mute track");
    QMenu* speeds = item(*menu, "Speed of the selection")->menu();
    ASSERT_TRUE(speeds);
    EXPECT_EQ(titles(*speeds), (QStringList{"0.25x", "0.5x", "1.0x", "1.25x", "1.5x", "2.0x"}));
    EXPECT_EQ(speeds->actions()[4]->data().toULongLong(), 4u);
    for (const char* title : {"Copy current selection", "Cut current selection", "Remove current selection"})
        EXPECT_TRUE(item(*menu, title)->isEnabled()) << title;
    EXPECT_TRUE(speeds->actions()[4]->isEnabled());

    // Marker items: the name and the time text, or the time text alone;
    // the hit marker's index on its two items.
    c->editing.markersArray = {{m1, QStringLiteral("Intro")}, {m2, QString()}};
    menu = menuOf(0, m2 / D * W - 3);
    t = titles(*menu);
    EXPECT_EQ(t.mid(t.indexOf("Rename marker..."), 3), (QStringList{"Rename marker...", "Remove marker", "Go to marker"}));
    EXPECT_EQ(item(*menu, "Remove marker")->data().toULongLong(), 1u);
    EXPECT_TRUE(item(*menu, "Remove marker")->isEnabled());
    // Trimming and placing at a marker carry the marker's time.
    for (const char* group : {"Trim track start time to marker", "Trim track end time to marker",
                              "Set start time to marker", "Set end time to marker"}) {
        const QList<QAction*> actions = item(*menu, group)->menu()->actions();
        ASSERT_EQ(actions.size(), 2) << group;
        EXPECT_TRUE(actions[1]->isEnabled()) << group;
        EXPECT_DOUBLE_EQ(actions[1]->data().toDouble(), m2) << group;
    }
    item(*menu, "Remove marker")->trigger();
    endEvent();
    ASSERT_EQ(c->editing.markersArray.size(), 1u);
    EXPECT_EQ(c->editing.markersArray[0].markerName, QStringLiteral("Intro"));
    QMenu* go = item(*menu, "Go to marker")->menu();
    EXPECT_EQ(titles(*go), (QStringList{"Intro - " + LineView::stringForTime(m1), LineView::stringForTime(m2)}));
    EXPECT_DOUBLE_EQ(go->actions()[0]->data().toDouble(), m1);
}

TEST_F(LaneMenuTest, ARightClickSelectsTheLanesTrackFirst) {
    select(0);
    auto menu = menuOf(2);
    EXPECT_EQ(c->currentSelectedAudio.load(), 2u);
    // The effect controls show the newly selected track's values.
    track(2).setValueForKey("inputPitch", 1200.0);
    menuOf(0);
    menuOf(2);
    EXPECT_FLOAT_EQ(sliderOf("inputPitch")->floatValue(), 1200.0f);

    // The equaliser view draws the new track's curve in its colour.
    testsupport::PaintCounter eq;
    c->ui.eqView->installEventFilter(&eq);
    QCoreApplication::processEvents();
    eq.paints = 0;
    menuOf(0);
    QCoreApplication::processEvents();
    EXPECT_GT(eq.paints, 0);
    c->ui.eqView->removeEventFilter(&eq);
}

// Which of mute and unmute the menu offers, and what opening it does to the
// track's saved store, from the solo flag (S), a saved store (P), a level
// curve (C), a point of it above 0 (Pos) and the level (V).
TEST_F(LaneMenuTest, TheMuteEntryFollowsTheTrackState) {
    enum Snapshot { Unchanged, Taken, Cleared };
    struct Case {
        bool S, P, C, Pos, V;
        const char* entry;  // null: no entry
        Snapshot after;
    };
    const Case cases[] = {
        {true, true, true, true, true, "Unmute track", Unchanged},  // an existing snapshot is kept
        {true, false, true, true, true, "Unmute track", Taken},
        {true, false, false, false, true, "Unmute track", Unchanged},
        {false, true, true, true, true, "Mute track", Cleared},
        {false, true, true, false, true, "Unmute track", Unchanged},
        {false, false, false, false, true, "Mute track", Unchanged},
        {false, false, false, false, false, "Unmute track", Unchanged},
        {false, false, true, true, true, "Mute track", Unchanged},
        {false, false, true, false, true, nullptr, Unchanged},
    };
    RecordedParameters saved;
    saved[id(0)][QStringLiteral("inputAudioMix")] = {{0.0, 0.7, std::nullopt}};
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "S " << k.S << " P " << k.P << " C " << k.C << " Pos " << k.Pos
                                        << " V " << k.V);
        for (size_t i = 0; i < 3; ++i) track(i).getProcessorContext()->soloMuted.store(k.S && i == 0 ? 1 : 0);
        track(0).senderRecorderParameters.reset();
        if (k.P) track(0).senderRecorderParameters = saved;
        c->automation.recordedParameters.clear();
        if (k.C) c->automation.recordedParameters[id(0)][QStringLiteral("inputAudioMix")] = {{0.0, 0.0, std::nullopt}, {1.0, k.Pos ? 0.4 : -0.1, 1}};
        track(0).setValueForKey("inputAudioMix", k.V ? 1.0 : 0.0);
        const RecordedParameters store = c->automation.recordedParameters;

        auto menu = menuOf(0);
        const QStringList t = titles(*menu);
        EXPECT_EQ(t.contains("Mute track"), k.entry && QString(k.entry) == "Mute track");
        EXPECT_EQ(t.contains("Unmute track"), k.entry && QString(k.entry) == "Unmute track");
        const auto& snapshot = track(0).senderRecorderParameters;
        switch (k.after) {
        case Unchanged:
            EXPECT_EQ(snapshot.has_value(), k.P);
            if (k.P && snapshot) EXPECT_EQ(*snapshot, saved);
            break;
        case Taken:
            ASSERT_TRUE(snapshot);
            EXPECT_EQ(*snapshot, store);
            break;
        case Cleared:
            EXPECT_FALSE(snapshot);
            break;
        }
    }
}

// ---- Solo, mute and unmute, heard --------------------------------------------------------------

TEST_F(LaneMenuTest, SoloAndUnmuteMoveTheSilenceBetweenTracks) {
    auto h = heard();
    for (double a : h) EXPECT_TRUE(audible(a)) << a;

    choose(1, "Solo track");
    h = heard();
    EXPECT_TRUE(silent(h[0]) && audible(h[1]) && silent(h[2])) << h[0] << " " << h[1] << " " << h[2];

    choose(2, "Solo track");
    h = heard();
    EXPECT_TRUE(silent(h[0]) && silent(h[1]) && audible(h[2])) << h[0] << " " << h[1] << " " << h[2];

    // Unmute on a silenced track brings it back and leaves the others' flags.
    choose(0, "Unmute track");
    h = heard();
    EXPECT_TRUE(audible(h[0]) && silent(h[1]) && audible(h[2])) << h[0] << " " << h[1] << " " << h[2];
}

TEST_F(LaneMenuTest, MutingFlattensTheLevelCurveWithUndoAndUnmuteBringsItBack) {
    const KeyPointCurve curve{{0.0, 0.8, std::nullopt}, {5.0, 0.5, KeyPoint::kPlacedWithMouse}};
    c->automation.recordedParameters[id(0)][QStringLiteral("inputAudioMix")] = curve;
    c->automation.tempRecorderParameters = automation::copyRecordedDictionary(c->automation.recordedParameters);
    c->publishAllRecordedParameters();
    const double before = heard()[0];
    EXPECT_TRUE(audible(before));

    choose(0, "Mute track");
    const KeyPointCurve flat{{0.0, 0.0, std::nullopt}, {5.0, 0.0, KeyPoint::kRecordingBoundary}};
    EXPECT_EQ(c->automation.recordedParameters[id(0)][QStringLiteral("inputAudioMix")], flat);
    EXPECT_EQ(c->automation.tempRecorderParameters[id(0)][QStringLiteral("inputAudioMix")], flat);
    auto h = heard();
    EXPECT_TRUE(silent(h[0]) && audible(h[1]) && audible(h[2])) << h[0];

    undo();
    EXPECT_EQ(c->automation.recordedParameters[id(0)][QStringLiteral("inputAudioMix")], curve);
    EXPECT_NEAR(heard()[0], before, before * 0.05);
    redo();
    EXPECT_EQ(c->automation.recordedParameters[id(0)][QStringLiteral("inputAudioMix")], flat);
    undo();

    // Muted through its curve, then silenced by another track's solo: the
    // menu keeps the snapshot of the mute, so unmuting brings the curve back.
    track(0).senderRecorderParameters.reset();
    choose(0, "Mute track");
    choose(1, "Solo track");
    auto menu = menuOf(0);
    ASSERT_TRUE(track(0).senderRecorderParameters);
    EXPECT_EQ((*track(0).senderRecorderParameters)[id(0)][QStringLiteral("inputAudioMix")], curve);
    menu.reset();
    choose(0, "Unmute track");
    EXPECT_EQ(c->automation.recordedParameters[id(0)][QStringLiteral("inputAudioMix")], curve);
    EXPECT_FALSE(track(0).senderRecorderParameters);
    h = heard();
    EXPECT_NEAR(h[0], before, before * 0.05);
}

TEST_F(LaneMenuTest, MuteWithoutACurveTurnsTheLevelDown) {
    select(2);
    choose(2, "Mute track");
    EXPECT_FLOAT_EQ(track(2).value(EffectInput::AudioMix), 0.0f);
    EXPECT_FLOAT_EQ(track(1).value(EffectInput::AudioMix), 1.0f);
    EXPECT_TRUE(silent(heard()[2]));
    choose(2, "Unmute track");
    EXPECT_FLOAT_EQ(track(2).value(EffectInput::AudioMix), 1.0f);
    EXPECT_TRUE(audible(heard()[2]));
}

// ---- Resets and apply-to-all, rendered ----------------------------------------------------------

TEST_F(LaneMenuPluginTest, ResetFilterParametersRendersTheDrySourceWithUndoAndRedo) {
    select(2);
    const double dry = heard()[2];
    ASSERT_TRUE(audible(dry));
    // The ring modulator takes the tone away from its own frequency.
    const int ring = enablePlugin(2, QStringLiteral("RingMod"));
    ASSERT_GE(ring, 0) << "mda-lv2 is not installed";
    EXPECT_LT(heard()[2], dry * 0.5);
    setControl("inputLowPassCutoff", 500);
    const double filtered = heard()[2];
    EXPECT_LT(filtered, 0.02);
    const int laneWidth = lane(2)->width();
    setControl("inputSpeed", 2.0);
    // The speed change makes the plug-in again; the reset comes once it is back.
    (void)heardSettled(2, ring);
    const int fastWidth = lane(2)->width();
    EXPECT_NEAR(fastWidth, laneWidth / 2.0, 2);

    // Neither filtered nor modulated: the source as it is.
    choose(2, "Reset filter parameters");
    EXPECT_FLOAT_EQ(track(2).value(EffectInput::LowPassCutoff), 22050.0f);
    EXPECT_FLOAT_EQ(track(2).value(EffectInput::Speed), 1.0f);
    EXPECT_NEAR(lane(2)->width(), laneWidth, 2);
    EXPECT_FALSE(pluginEnabled(2, ring));
    EXPECT_NEAR(heardSettled(2)[2], dry, dry * 0.05);

    undo();
    EXPECT_FLOAT_EQ(track(2).value(EffectInput::LowPassCutoff), 500.0f);
    EXPECT_FLOAT_EQ(track(2).value(EffectInput::Speed), 2.0f);
    EXPECT_NEAR(lane(2)->width(), fastWidth, 2);
    EXPECT_LT(heardSettled(2, ring)[2], 0.02);
    EXPECT_TRUE(pluginLive(2, ring));

    redo();
    EXPECT_FLOAT_EQ(track(2).value(EffectInput::Speed), 1.0f);
    EXPECT_FALSE(pluginEnabled(2, ring));
    EXPECT_NEAR(heardSettled(2)[2], dry, dry * 0.05);
}

TEST_F(LaneMenuTest, ResetEQParametersChangesOnlyTheEqualiser) {
    select(0);
    setControl("inputGain1K", 12);
    setControl("inputGlobalGain", -6);
    setControl("inputLowPassCutoff", 5000);
    choose(0, "Reset EQ parameters");
    EXPECT_FLOAT_EQ(track(0).value(EffectInput::Gain1K), 0.0f);
    EXPECT_FLOAT_EQ(track(0).value(EffectInput::GlobalGain), 0.0f);
    EXPECT_FLOAT_EQ(track(0).value(EffectInput::LowPassCutoff), 5000.0f);
    EXPECT_FLOAT_EQ(sliderOf("inputGain1K")->floatValue(), 0.0f);
    undo();
    EXPECT_FLOAT_EQ(track(0).value(EffectInput::Gain1K), 12.0f);
    EXPECT_FLOAT_EQ(track(0).value(EffectInput::GlobalGain), -6.0f);
}

TEST_F(LaneMenuTest, ApplyToAllCopiesTheSettingsAndItsUndoFindsEachTrack) {
    // Track 2 filtered; track 3 with a setting and a note of its own.
    select(2);
    setControl("inputPitch", 700);
    select(1);
    setControl("inputLowPassCutoff", 500);
    MidiNoteRecord note;
    note.midiNote = 64;
    track(2).midiArray = {note};
    track(2).publishNotes();
    c->undoManager()->removeAllActions();

    choose(1, "Apply filters to all tracks");
    for (size_t i : {0, 2}) {
        EXPECT_FLOAT_EQ(track(i).value(EffectInput::LowPassCutoff), 500.0f) << i;
        EXPECT_FLOAT_EQ(track(i).value(EffectInput::Pitch), 1.0f) << i;
    }
    EXPECT_TRUE(track(2).midiArray.empty());
    auto h = heard();
    EXPECT_TRUE(audible(h[0])) << h[0];
    EXPECT_LT(h[2], 0.02);

    // The first track goes (outside the history); the undo still restores
    // the third, now second, from its own entry.
    const std::shared_ptr<MusicFilter> third = tracks()[2].audioFilter;
    c->undoManager()->disableUndoRegistration();
    c->removeAudioFileAtIndex(0);
    c->undoManager()->enableUndoRegistration();
    endEvent();
    ASSERT_EQ(tracks()[1].audioFilter, third);
    undo();
    EXPECT_FLOAT_EQ(third->value(EffectInput::Pitch), 700.0f);
    EXPECT_FLOAT_EQ(third->value(EffectInput::LowPassCutoff), 22050.0f);
    ASSERT_EQ(third->midiArray.size(), 1u);
    EXPECT_EQ(third->midiArray[0].midiNote, 64u);
    EXPECT_FLOAT_EQ(tracks()[0].audioFilter->value(EffectInput::LowPassCutoff), 500.0f);  // the source
    redo();
    EXPECT_FLOAT_EQ(third->value(EffectInput::LowPassCutoff), 500.0f);
    EXPECT_TRUE(third->midiArray.empty());
}

// ---- Time popover ------------------------------------------------------------------------------

TEST_F(LaneMenuTest, TheTimePopoverShowsTheTrimAndThePlaceInMinutesAndSeconds) {
    track(2).setCurrentTimeRange({MediaTime::fromSeconds(125.5, 44100), MediaTime::fromSeconds(70.25, 44100)});
    select(2);
    choose(2, "Edit time...");
    TimePopover* popover = c->laneCommands.timePopover;
    ASSERT_TRUE(popover && popover->isVisible());
    const QList<NumberTextField*> f = popover->fields();
    EXPECT_EQ(f[0]->floatValue(), 2.0);   // trim start: 125.5 s
    EXPECT_EQ(f[1]->floatValue(), 5.5);
    EXPECT_EQ(f[2]->floatValue(), 3.0);   // trim end: 195.75 s
    EXPECT_EQ(f[3]->floatValue(), 15.75);
    EXPECT_EQ(f[0]->text(), QStringLiteral("2"));
    // A second request while it is open leaves the fields alone.
    f[1]->setText(QStringLiteral("9"));
    c->editAudioTimeFrom(2);
    EXPECT_EQ(f[1]->text(), QStringLiteral("9"));
    popover->close();
}

// ---- Duplicates --------------------------------------------------------------------------------

TEST_F(LaneMenuTest, ADuplicateWithCurrentSettingsRendersLikeItsSource) {
    select(1);
    setControl("inputLowPassCutoff", 2000);
    setControl("inputGain1K", -6);
    c->automation.recordedParameters[id(1)][QStringLiteral("inputAudioMix")] = {{0.0, 0.9, 1}, {1.0, 0.6, 1}};
    c->automation.tempRecorderParameters = automation::copyRecordedDictionary(c->automation.recordedParameters);
    c->publishAllRecordedParameters();
    choose(1, "Duplicate track with current settings");
    waitForReadyItem();
    ASSERT_EQ(tracks().size(), 4u);
    MusicFilter& copy = track(3);
    for (EffectInput input : effectinputs::all())
        if (input != EffectInput::AudioMix)  // follows its curve
        EXPECT_FLOAT_EQ(copy.value(input), track(1).value(input)) << effectinputs::key(input).toStdString();
    EXPECT_EQ(copy.animationStart(), track(1).animationStart());
    EXPECT_EQ(lane(3)->x(), lane(1)->x());
    EXPECT_EQ(lane(3)->width(), lane(1)->width());
    EXPECT_GT(lane(3)->y(), lane(2)->y());
    EXPECT_EQ(c->automation.recordedParameters[copy.identifierOfFilter],
              c->automation.recordedParameters[id(1)]);

    // Rendered alone, the copy is sample for sample its source alone.
    auto alone = [&](size_t keep) {
        for (size_t i = 0; i < 4; ++i) track(i).getProcessorContext()->soloMuted.store(i == keep ? 0 : 1);
        return renderedLeft();
    };
    const std::vector<float> source = alone(1), duplicate = alone(3);
    ASSERT_FALSE(source.empty());
    EXPECT_EQ(source, duplicate);
}

// A track made from another takes its curves, and its own render follows
// them from the first slice on: a pitch step up an octave after a second
// moves the 1000 Hz tone to 2000 Hz there. The duplicate keeps its own
// deleting mode; a selection made a track takes the source's.
TEST_F(LaneMenuTest, ATrackMadeFromAnotherPlaysItsCurves) {
    MusicFilter& source = track(1);
    source.isRecordingParameters = 1;
    source.showParameterCurve = 1;
    source.typeOfRecordedCurve = 0;  // steps
    source.isDeletingKeyPoints = 1;
    c->automation.recordedParameters[id(1)][QStringLiteral("inputPitch")] = {{0.0, 0.0, 1}, {1.0, 1200.0, 1}};
    c->automation.tempRecorderParameters = automation::copyRecordedDictionary(c->automation.recordedParameters);
    c->publishAllRecordedParameters();

    struct Case {
        const char* name;
        std::function<void()> make;
        uint64_t deletingMode;
    } cases[] = {
        {"duplicate with current settings", [&] { choose(1, "Duplicate track with current settings"); }, 0},
        {"selection as a new track",
         [&] {
             select(1);
             lane(1)->selectionPaths = {SelectionPathRecord{QPointF(0, 5), QPointF(lane(1)->frameWidth(), 5)}};
             ASSERT_TRUE(c->pasteSelectionAsNewTrackFrom());
         },
         1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const size_t made = tracks().size();
        k.make();
        waitForReadyItem();
        ASSERT_EQ(tracks().size(), made + 1);
        MusicFilter& copy = track(made);
        EXPECT_EQ(copy.isDeletingKeyPoints, k.deletingMode);
        EXPECT_EQ(copy.showParameterCurve, 1u);
        EXPECT_EQ(c->automation.recordedParameters[copy.identifierOfFilter], c->automation.recordedParameters[id(1)]);
        const std::vector<float> left = renderedLeft(&copy);
        ASSERT_GE(left.size(), size_t(1.9 * 44100));
        EXPECT_NEAR(testsupport::peakFrequency(left.data() + size_t(0.3 * 44100), 22050, 44100), 1000, 20);
        EXPECT_NEAR(testsupport::peakFrequency(left.data() + size_t(1.3 * 44100), 22050, 44100), 2000, 40);
    }
}

TEST_F(LaneMenuTest, AFailedDuplicateEnablesTheControlsAgain) {
    track(0).durationInSeconds = std::nan("");  // the source's length is not known
    choose(0, "Duplicate track with current settings");
    EXPECT_EQ(tracks().size(), 3u);
    EXPECT_TRUE(c->shell.viewControlsEnabled);
}

}  // namespace
