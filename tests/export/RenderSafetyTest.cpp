// A seeded random mix of everything that frees what a render reads, while
// the player plays on the JACK test server: plug-ins made, switched on and
// off and dropped, speed changes, tracks duplicated, removed and imported,
// undo and redo, and mix exports (offline renders of the same taps). Under
// the sanitizers a render that reached a freed unit, chain or context is a
// finding; in any build every round must end with the application whole.
//
// A modest number of rounds runs with the suite;
// TREVALUNE_RENDER_STRESS_ROUNDS=N runs N (and TREVALUNE_RENDER_STRESS_SEED
// picks the seed).
#include "ExportFixture.h"

#include "platform/core/Realtime.h"
#include "support/InstalledPlugins.h"
#include "support/Sliders.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>

#include <random>
#include <sstream>

namespace {

int environmentNumber(const char* name, int fallback) {
    bool ok = false;
    const int n = qEnvironmentVariableIntValue(name, &ok);
    return ok && n > 0 ? n : fallback;
}

class RenderSafetyTest : public ExportTest {
protected:
    static void SetUpTestSuite() { testsupport::useInstalledPlugins(); }
    void SetUp() override {
        ExportTest::SetUp();
        if (auto* search = c->preferences.preferencesSearchPluginsCheck) search->setChecked(true);
    }

    static QComboBox* popUpOf(MusicFilter& t) { return qobject_cast<QComboBox*>(t.pluginsPopUpButton.data()); }
    static QCheckBox* checkOf(MusicFilter& t) { return qobject_cast<QCheckBox*>(t.pluginsCheckButton.data()); }
    static int indexOf(const MusicFilter& t, const QString& name) {
        for (int i = 0; i < t.pluginsArray().size(); ++i)
            if (t.pluginsArray()[i].audioUnitName == name) return i;
        return -1;
    }
    // The track selected as a click on its lane selects it.
    MusicFilter* select(size_t i) {
        c->currentSelectedAudio = i;
        c->applyValuesToSelectedAudio(i);
        return tracks()[i].audioFilter.get();
    }
    // The plug-in at `index` of the selected track, chosen in its pop-up and
    // ticked or unticked as the user does.
    static void clickPlugin(MusicFilter& t, int index) {
        QComboBox* popUp = popUpOf(t);
        QCheckBox* check = checkOf(t);
        if (!popUp || !check || index < 0 || index >= popUp->count()) return;
        popUp->setCurrentIndex(index);
        check->click();
    }
};

TEST_F(RenderSafetyTest, SeededRoundsOfRebuildsAndReleasesWhilePlaying) {
    const int rounds = environmentNumber("TREVALUNE_RENDER_STRESS_ROUNDS", 60);
    const unsigned seed = unsigned(environmentNumber("TREVALUNE_RENDER_STRESS_SEED", 7));
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    auto below = [&](size_t n) { return size_t(std::uniform_int_distribution<size_t>(0, n - 1)(random)); };

    const QString files[] = {writeClicks("one.wav", 2.0, {0.5}, 44100, 440),
                             writeClicks("two.wav", 3.0, {1.0}, 48000, 550)};
    append(files[0]);
    append(files[1]);
    waitForReadyItem();
    QStringList effects;
    for (const PluginRecord& r : tracks()[0].audioFilter->pluginsArray())
        for (const char* suffix : {"RingMod", "Delay", "Overdrive", "Leslie", "Detune"})
            if (r.audioUnitName.endsWith(QLatin1String(suffix))) effects << r.audioUnitName;
    ASSERT_GE(effects.size(), 2) << "mda-lv2 is not installed";

    enum Command { AddPlugin, SwitchPlugin, DropPlugins, Speed, Duplicate, RemoveTrack, Import, Undo, Redo, Export };
    const std::discrete_distribution<int> pick({5, 5, 2, 2, 2, 2, 2, 3, 2, 1});
    const uint64_t violations = realtime::violationCount();
    int exports = 0;
    for (int round = 0; round < rounds; ++round) {
        if (player->rate() == 0 && player->currentItem()) player->play();
        const size_t n = tracks().size();
        auto command = Command(std::discrete_distribution<int>(pick)(random));
        if (n >= 6 && (command == Duplicate || command == Import)) command = RemoveTrack;
        // Undo can take every track away, the first two imports included:
        // then the user brings one back.
        if (n == 0) command = c->undoManager()->canRedo() ? Redo : Import;
        std::ostringstream what;
        const size_t i = n > 0 ? below(n) : 0;
        switch (command) {
        case AddPlugin: {
            MusicFilter* t = select(i);
            const QString name = effects[qsizetype(below(size_t(effects.size())))];
            what << "add " << name.toStdString() << " to " << i;
            const int at = indexOf(*t, name);
            if (at >= 0 && !t->pluginsArray()[at].audioUnitPointerSet) clickPlugin(*t, at);
            break;
        }
        case SwitchPlugin: {
            MusicFilter* t = select(i);
            std::vector<int> made;
            for (int k = 0; k < t->pluginsArray().size(); ++k)
                if (t->pluginsArray()[k].audioUnitPointerSet) made.push_back(k);
            what << "switch a plug-in of " << i << " (" << made.size() << " made)";
            if (!made.empty()) clickPlugin(*t, made[below(made.size())]);
            break;
        }
        case DropPlugins: {
            // What applying a preset does: the units go, the list is made
            // again and the names left are made again.
            MusicFilter* t = tracks()[i].audioFilter.get();
            QStringList names = t->filterActivePluginsName;
            if (!names.isEmpty()) names.removeAt(qsizetype(below(size_t(names.size()))));
            what << "drop plug-ins of " << i << ", keep " << names.size();
            t->replacePluginCatalogue(t->dynamicAudioUnits, names);
            c->enablePluginsNameForFilter(t);
            break;
        }
        case Speed:
            what << "speed of " << i;
            select(i);
            testsupport::dragSlider(c->ui.sliderSpeed, 1 + int(below(3)), below(2) ? 3 : -3);
            break;
        case Duplicate:
            what << "duplicate " << i;
            select(i);
            c->duplicateAudioFileFrom();
            break;
        case RemoveTrack:
            what << "remove " << i;
            if (n > 1) c->removeAudioFileAtIndex(i);
            break;
        case Import: {
            // Not waited for: the import ends during the rounds that follow.
            const QString& file = files[below(2)];
            what << "import " << QFileInfo(file).fileName().toStdString();
            c->addAudioFileToComposition(QUrl::fromLocalFile(file));
            break;
        }
        case Undo:
            what << "undo";
            if (c->undoManager()->canUndo()) c->undoManager()->undo();
            break;
        case Redo:
            what << "redo";
            if (c->undoManager()->canRedo()) c->undoManager()->redo();
            break;
        case Export: {
            what << "export";
            choose(2, below(3) == 0 ? 1 : 0);
            const QString path = testsupport::tempDir() + QStringLiteral("/stress-%1.wav").arg(++exports);
            c->saveAudioToURL(QUrl::fromLocalFile(path));
            ASSERT_TRUE(waitForEnd()) << "round " << round << ": the export did not end";
            pressOk();
            break;
        }
        }
        SCOPED_TRACE(testing::Message() << "round " << round << ": " << what.str());
        endEvent();
        // Let the render run over the change for a moment now and then.
        if (below(3) == 0) QTest::qWait(int(below(40)));
    }
    // Every import has landed and the player plays what the list holds.
    ASSERT_TRUE(testsupport::waitUntil([&] { return c->imports.idle(); }, 30000));
    endEvent();
    if (!tracks().empty()) waitForReadyItem();
    EXPECT_EQ(c->currentComposition->trackCount(), int(tracks().size()));
    EXPECT_EQ(realtime::violationCount(), violations);
}

// A plug-in the user switched off stays off through every rebuild of the
// player (another import, a speed change and its undo), and one switched on
// stays on; a reset taken while it is being made again reads it as the user
// left it, so that the reset's undo brings it back on.
TEST_F(RenderSafetyTest, ASwitchedOffPlugInStaysOffAcrossRebuilds) {
    auto track = append(writeClicks("ring.wav", 2.0, {}, 44100, 440));
    waitForReadyItem();
    QString ringMod;
    for (const PluginRecord& r : track->pluginsArray())
        if (r.audioUnitName.endsWith(QLatin1String("RingMod"))) ringMod = r.audioUnitName;
    ASSERT_FALSE(ringMod.isEmpty()) << "mda-lv2 is not installed";
    const int at = indexOf(*track, ringMod);
    select(0);
    clickPlugin(*track, at);
    ASSERT_TRUE(testsupport::waitUntil([&] { return track->pluginsArray()[at].audioUnitEnabled; }));
    endEvent();
    clickPlugin(*track, at);  // off again
    endEvent();
    ASSERT_FALSE(track->pluginsArray()[at].audioUnitEnabled);
    ASSERT_TRUE(track->filterActivePluginsName.contains(ringMod)) << "the name stays: the unit is kept";

    // The plug-in of a record is made again after each rebuild; wait for it.
    auto remade = [&] {
        return testsupport::waitUntil([&] {
            const int k = indexOf(*track, ringMod);
            return k >= 0 && track->pluginsArray()[k].audioUnitPointerSet && track->pluginsToEnable == 0;
        });
    };
    struct Step {
        const char* name;
        std::function<void()> run;
    } steps[] = {
        {"another import", [&] { append(writeClicks("other.wav", 1.0, {0.2})); }},
        {"a speed change", [&] {
             select(0);
             testsupport::dragSlider(c->ui.sliderSpeed, 2, 3);
         }},
        {"its undo", [&] { undo(); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        // A reset taken while the plug-in is being made again reads it as
        // the user left it.
        step.run();
        endEvent();
        const int k = indexOf(*track, ringMod);
        ASSERT_GE(k, 0);
        EXPECT_FALSE(track->pluginEnabledAsSet(k));
        ASSERT_TRUE(remade());
        endEvent();
        EXPECT_FALSE(track->pluginsArray()[indexOf(*track, ringMod)].audioUnitEnabled);
        EXPECT_TRUE(track->filterSwitchedOffPluginsName.contains(ringMod));
    }
    // Switched on again, it comes back on after a rebuild.
    clickPlugin(*track, indexOf(*track, ringMod));
    endEvent();
    ASSERT_TRUE(track->pluginsArray()[indexOf(*track, ringMod)].audioUnitEnabled);
    append(writeClicks("third.wav", 1.0, {0.4}));
    ASSERT_TRUE(remade());
    endEvent();
    EXPECT_TRUE(track->pluginsArray()[indexOf(*track, ringMod)].audioUnitEnabled);
    EXPECT_FALSE(track->filterSwitchedOffPluginsName.contains(ringMod));

    select(0);
    testsupport::dragSlider(c->ui.sliderSpeed, 2, 3);
    endEvent();
    c->resetFilterParametersForAudioFileFrom(0);
    endEvent();
    ASSERT_TRUE(remade());
    endEvent();
    EXPECT_FALSE(track->pluginsArray()[indexOf(*track, ringMod)].audioUnitEnabled) << "the reset switches it off";
    undo();
    ASSERT_TRUE(remade());
    endEvent();
    EXPECT_TRUE(track->pluginsArray()[indexOf(*track, ringMod)].audioUnitEnabled) << "its undo switches it on";
}

}  // namespace
