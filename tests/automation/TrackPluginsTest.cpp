// A track's plug-ins with the real mda-lv2 plug-ins and FluidSynth
// instruments: the list, ticking and unticking a plug-in with its sound,
// re-enabling saved names, the sampler command.
#include "app/TrackListFixture.h"
#include "support/MenuTree.h"

#include "platform/units/PluginHost.h"
#include "support/InstalledPlugins.h"
#include "platform/units/Unit.h"
#include "views/AudioUnitPanel.h"
#include "views/NotesPanel.h"
#include "midi/MidiNotes.h"

#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QWindow>

#include <cmath>

namespace {

class TrackPluginsTest : public TrackListTest {
protected:
    static void SetUpTestSuite() { testsupport::useInstalledPlugins(); }
    void SetUp() override {
        TrackListTest::SetUp();
        c->ui.window->show();
        if (auto* search = c->preferences.preferencesSearchPluginsCheck) search->setChecked(true);
        track = append(writeTone(QStringLiteral("plugins.wav"), 3.0, 440));
        // The player holds the taps prepared before the renders share them.
        waitForReadyItem();
        // Records the list leaves out: not sandbox-safe, and a decoder.
        auto odd = [](const char* type, const char* name, std::optional<bool> safe) {
            units::AudioUnitBundleRecord r;
            r.AudioComponents = {{QString::fromLatin1(type), QStringLiteral("zzzz"), QStringLiteral("Zzzz"),
                                  QString::fromLatin1(name), safe}};
            return r;
        };
        track->dynamicAudioUnits.append(odd("aufx", "Odd: Unsafe", std::nullopt));
        track->dynamicAudioUnits.append(odd("adec", "Odd: Decoder", true));
        // Listed, but no component answers to it.
        track->dynamicAudioUnits.append(odd("aufx", "Odd: Broken", true));
        dry = render();
        ASSERT_FALSE(dry.empty());
        // The prepared tap lists the plug-ins on the main thread; listed
        // again with the odd records.
        ASSERT_TRUE(testsupport::waitUntil([&] { return popUp() != nullptr; }));
        track->prepareTapForProcessing(track->mixInputTap().get());
        endEvent();
    }

    QComboBox* popUp() { return qobject_cast<QComboBox*>(track->pluginsPopUpButton.data()); }
    QCheckBox* check() { return qobject_cast<QCheckBox*>(track->pluginsCheckButton.data()); }
    int indexOf(const QString& name) {
        for (int i = 0; i < track->pluginsArray().size(); ++i)
            if (track->pluginsArray()[i].audioUnitName == name) return i;
        return -1;
    }
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
    // How far a render is from the dry one, relative to the dry level.
    double changeFromDry() {
        const std::vector<float> wet = render();
        const size_t n = std::min(wet.size(), dry.size());
        double diff = 0, level = 0;
        for (size_t i = 44100; i < n; ++i) {
            diff += double(wet[i] - dry[i]) * (wet[i] - dry[i]);
            level += double(dry[i]) * dry[i];
        }
        return level > 0 ? std::sqrt(diff / level) : -1;
    }

    std::shared_ptr<MusicFilter> track;
    std::vector<float> dry;
};

TEST_F(TrackPluginsTest, TheListIsSortedWithTheInstrumentsAndWithoutOddRecords) {
    QStringList names;
    for (const PluginRecord& r : track->pluginsArray()) names << r.audioUnitName;
    EXPECT_TRUE(names.contains(QStringLiteral("Apple: AU Sampler")));
    EXPECT_TRUE(names.contains(QStringLiteral("Apple: DLS Synth")));
    EXPECT_TRUE(names.contains(QStringLiteral("Odd: Broken")));
    EXPECT_FALSE(names.contains(QStringLiteral("Odd: Unsafe")));
    EXPECT_FALSE(names.contains(QStringLiteral("Odd: Decoder")));
    EXPECT_GT(names.size(), 20);
    QStringList sorted = names;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const QString& a, const QString& b) { return QString::localeAwareCompare(a, b) < 0; });
    EXPECT_EQ(names, sorted);
    ASSERT_EQ(popUp()->count(), names.size());
    for (int i = 0; i < names.size(); ++i) EXPECT_EQ(popUp()->itemText(i), names[i]);
    // The popover takes the track's plug-in row.
    c->showAudioUnitsPopoverFrom();
    EXPECT_EQ(c->audioUnitsPopover()->size(), QSize(282, 490));
    EXPECT_EQ(popUp()->parentWidget(), c->audioUnitsPopover()->audioUnitsView);
}

TEST_F(TrackPluginsTest, TickingMakesThePluginAndUntickingKeepsIt) {
    QString name;
    for (const PluginRecord& r : track->pluginsArray())
        if (r.audioUnitName.endsWith(QStringLiteral("RingMod"))) name = r.audioUnitName;
    ASSERT_FALSE(name.isEmpty());
    const int i = indexOf(name);
    popUp()->setCurrentIndex(i);
    check()->click();
    EXPECT_FALSE(check()->isChecked()) << "off until the unit exists";
    ASSERT_TRUE(testsupport::waitUntil([&] { return track->pluginsArray()[i].audioUnitPointerSet; }));
    endEvent();
    EXPECT_TRUE(check()->isChecked());
    EXPECT_TRUE(track->pluginsArray()[i].audioUnitEnabled);
    EXPECT_TRUE(popUp()->itemData(i, Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(c->audioUnitPanel()->windowTitle(), name);
    EXPECT_TRUE(c->audioUnitPanel()->isVisible());
    EXPECT_TRUE(track->filterActivePluginsName.contains(name));
    EXPECT_GT(changeFromDry(), 0.3);

    QWidget* view = c->audioUnitPanel()->contentView();
    units::Unit* unit = track->pluginsArray()[i].audioUnit;
    check()->click();
    endEvent();
    EXPECT_FALSE(track->pluginsArray()[i].audioUnitEnabled);
    EXPECT_EQ(track->pluginsArray()[i].audioUnit, unit);
    EXPECT_EQ(c->audioUnitPanel()->contentView(), view);
    EXPECT_FALSE(popUp()->itemData(i, Qt::FontRole).value<QFont>().bold());
    EXPECT_LT(changeFromDry(), 1e-3);
}

TEST_F(TrackPluginsTest, ReEnablingSavedNamesCountsWhatArrives) {
    QString real;
    for (const PluginRecord& r : track->pluginsArray())
        if (r.audioUnitName.endsWith(QStringLiteral("Delay"))) real = r.audioUnitName;
    ASSERT_FALSE(real.isEmpty());
    track->filterActivePluginsName = {QStringLiteral("Nobody: Missing"), QStringLiteral("Odd: Broken"), real};
    track->tempAudioUnitsArray = {ListenerParameterRecord{}};
    c->enablePluginsNameForFilter(track.get());
    EXPECT_EQ(track->pluginsToEnable, 2u) << "the missing name counts off at once";
    const int i = indexOf(real);
    ASSERT_TRUE(testsupport::waitUntil([&] { return track->pluginsArray()[i].audioUnitPointerSet; }));
    QTest::qWait(200);
    endEvent();
    EXPECT_EQ(track->pluginsToEnable, 1u);
    EXPECT_FALSE(track->tempAudioUnitsArray.empty()) << "the pending values are kept";
    EXPECT_TRUE(track->pluginsArray()[i].audioUnitEnabled);
    EXPECT_FALSE(track->pluginsArray()[indexOf(QStringLiteral("Odd: Broken"))].audioUnitPointerSet);
}

// The MIDI button without a MIDI device: the alert comes before any panel
// opens; then the sampler's panel and the notes panel open side by side,
// both floating over the main window.
TEST_F(TrackPluginsTest, TheMIDIButtonAlertsFirstAndOpensThePanelsSideBySide) {
    // No device, whatever the other tests play into the shared server.
    c->midiNotes()->connectsToInputs = false;
    AudioUnitPanel* panel = c->audioUnitPanel();
    std::vector<bool> shownAtTheAlert;
    setAlertRunner([&](QWidget*, const AlertRequest& r) {
        alerts.push_back(r);
        shownAtTheAlert.push_back(panel->isVisible() || c->ui.notesPanel->isVisible());
        return 0;
    });
    ASSERT_TRUE(c->ui.midiButton->isEnabled());
    c->ui.midiButton->click();
    ASSERT_TRUE(testsupport::waitUntil([&] { return c->ui.notesPanel->isVisible(); }, 10000));
    endEvent();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, QStringLiteral("No MIDI Device connected."));
    EXPECT_FALSE(shownAtTheAlert[0]);
    ASSERT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->windowTitle(), QStringLiteral("Apple: AU Sampler"));
    EXPECT_FALSE(panel->frameGeometry().intersects(c->ui.notesPanel->frameGeometry()))
        << "unit panel at " << panel->frameGeometry().x() << "," << panel->frameGeometry().y()
        << ", notes panel at " << c->ui.notesPanel->frameGeometry().x() << ","
        << c->ui.notesPanel->frameGeometry().y();
    for (QWidget* w : {static_cast<QWidget*>(panel), static_cast<QWidget*>(c->ui.notesPanel)}) {
        ASSERT_TRUE(w->windowHandle()) << w->windowTitle().toStdString();
        EXPECT_EQ(w->windowHandle()->transientParent(), c->ui.window->windowHandle()) << w->windowTitle().toStdString();
        EXPECT_EQ(w->windowType(), Qt::Tool) << w->windowTitle().toStdString();
        EXPECT_FALSE(w->windowFlags().testFlag(Qt::WindowMinimizeButtonHint)) << w->windowTitle().toStdString();
    }
}

// A saved plug-in made again takes the whole saved record: the built-in
// units' switches and the band count of its first record. Which plug-ins are
// on is not the record's to say: it stays as the user set it, whatever the
// record's enabled byte.
TEST_F(TrackPluginsTest, AReEnabledPluginTakesTheWholeSavedRecord) {
    QString on, off;
    for (const PluginRecord& r : track->pluginsArray()) {
        if (r.audioUnitName.endsWith(QStringLiteral("Delay"))) on = r.audioUnitName;
        if (r.audioUnitName.endsWith(QStringLiteral("RingMod"))) off = r.audioUnitName;
    }
    ASSERT_FALSE(on.isEmpty());
    ASSERT_FALSE(off.isEmpty());
    const int i = indexOf(on), j = indexOf(off);
    ASSERT_FALSE(track->getDistortionEnabled());
    track->filterActivePluginsName = {on, off};
    track->filterSwitchedOffPluginsName = {off};
    track->tempAudioUnitsArray = {
        ListenerParameterRecord{5, 1, 0, 0.0f, 6, 4},  // the distortion switched on
        // Only the first record's band count counts; the enabled bytes say
        // the opposite of what the user set.
        ListenerParameterRecord{track->pluginsArray()[i].audioUnitType, 0, 0, 0.0f, 9, 4},
        ListenerParameterRecord{track->pluginsArray()[j].audioUnitType, 1, 0, 0.0f, 9, 4},
    };
    c->enablePluginsNameForFilter(track.get());
    ASSERT_TRUE(testsupport::waitUntil([&] {
        return track->pluginsArray()[i].audioUnitPointerSet && track->pluginsArray()[j].audioUnitPointerSet;
    }));
    endEvent();
    EXPECT_TRUE(track->getDistortionEnabled());
    EXPECT_EQ(track->nBandEQNumberOfBandsProperty, 6u);
    EXPECT_EQ(track->nBandEQNumberOfBandsPropertySize, 4u);
    EXPECT_TRUE(track->pluginsArray()[i].audioUnitEnabled);
    EXPECT_FALSE(track->pluginsArray()[j].audioUnitEnabled);
    EXPECT_TRUE(track->pluginEnabledAsSet(i));
    EXPECT_FALSE(track->pluginEnabledAsSet(j));
}

TEST_F(TrackPluginsTest, TheSamplerCommandMakesTheSampler) {
    c->createAUSamplerFrom();
    const int i = indexOf(QStringLiteral("Apple: AU Sampler"));
    ASSERT_GE(i, 0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return track->pluginsArray()[i].audioUnitPointerSet; }));
    endEvent();
    EXPECT_TRUE(track->pluginsArray()[i].audioUnitEnabled);
    EXPECT_TRUE(track->pluginsArray()[i].audioUnit->isInstrument());
    EXPECT_EQ(popUp()->currentIndex(), i);
    EXPECT_EQ(c->audioUnitPanel()->windowTitle(), QStringLiteral("Apple: AU Sampler"));
    EXPECT_FALSE(c->automation.hasToShowNotesView);

    // The sampler adds nothing to the track's sound until a note-on reaches
    // it; then it sounds.
    // The level of what the render adds to the dry sound over its first
    // half second.
    auto added = [&] {
        const std::vector<float> wet = render();
        std::vector<float> difference(std::min<size_t>({wet.size(), dry.size(), 22050}));
        for (size_t k = 0; k < difference.size(); ++k) difference[k] = wet[k] - dry[k];
        return difference.empty() ? -1.0 : testsupport::rms(difference);
    };
    units::Unit* sampler = track->pluginsArray()[i].audioUnit;
    EXPECT_LT(added(), 1e-5) << "silent before the note";
    ASSERT_EQ(sampler->midiEvent(0x90, 60, 110, 0), units::Status::Ok);
    EXPECT_GT(added(), 0.01) << "the note sounds";
}

// A track's pop-up and check box go with the track, whether they are loose
// or placed in the popover at the time.
TEST_F(TrackPluginsTest, ThePluginControlsGoWithTheirTrack) {
    for (bool inPopover : {false, true}) {
        SCOPED_TRACE(inPopover);
        auto other = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
        c->createPopUpButtonForFilter(other.get());
        QPointer<QWidget> popUp = other->pluginsPopUpButton, box = other->pluginsCheckButton;
        ASSERT_TRUE(popUp && box);
        if (inPopover)
            for (QWidget* w : {popUp.data(), box.data()}) w->setParent(c->audioUnitsPopover()->audioUnitsView);
        other.reset();
        EXPECT_TRUE(popUp.isNull());
        EXPECT_TRUE(box.isNull());
    }
}

// The pop-up's open list in the Audio Units popover shows its selected
// row's name readably.
TEST_F(TrackPluginsTest, ThePopUpsSelectedRowCanBeRead) {
    c->showAudioUnitsPopoverFrom();
    auto* popUp = qobject_cast<QComboBox*>(track->pluginsPopUpButton.data());
    ASSERT_TRUE(popUp);
    ASSERT_GT(popUp->count(), 1);
    popUp->setCurrentIndex(1);
    popUp->showPopup();
    QAbstractItemView* view = popUp->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    const QRect row = view->visualRect(view->model()->index(1, 0));
    ASSERT_FALSE(row.isEmpty());
    view->viewport()->repaint();
    const QImage image = view->viewport()->grab(row).toImage();
    popUp->hidePopup();
    // The row's background is the most frequent colour of its left half,
    // where the name is; the name is the colour farthest from it in
    // lightness.
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width() / 2; ++x) ++counts[image.pixel(x, y)];
    QRgb background = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(background)) background = it.key();
    int contrast = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        contrast = std::max(contrast, std::abs(qGray(it.key()) - qGray(background)));
    EXPECT_GT(contrast, 100) << "background " << std::hex << background;
}

// The track menu lists the plug-ins by manufacturer: one without a record
// has no state, one not made yet has its state and no switch, a made one
// has both; its "Disable" and "Enable" switch the sound, the pop-up's bold
// title and the check box.
class TrackPluginsMenuTest : public TrackPluginsTest {};

TEST_F(TrackPluginsMenuTest, TheMenuListsThePluginsAndSwitchesThem) {
    QString name;
    for (const PluginRecord& r : track->pluginsArray())
        if (r.audioUnitName.endsWith(QStringLiteral("RingMod"))) name = r.audioUnitName;
    ASSERT_FALSE(name.isEmpty());
    const int i = indexOf(name);
    QString group, title;
    for (auto it = track->pluginsMenuDictionary.begin(); it != track->pluginsMenuDictionary.end(); ++it)
        for (const QVariant& e : it->toList())
            if (e.toList().value(0).toString() == name) group = it.key(), title = e.toList().value(1).toString();
    ASSERT_FALSE(title.isEmpty());
    track->pluginsMenuDictionary.insert(QStringLiteral("Nobody"), QVariantList{QVariantList{"Nobody: Ghost", "Ghost"}});

    // The item of `entry` in the menu's "Plugins" and the lines of its tree.
    auto pluginLines = [&](const QString& manufacturer, const QString& entry) {
        auto menu = c->trackMenuForIndex(0);
        const QStringList tree = testsupport::menuTree(menu.get(), track.get());
        QStringList out = testsupport::menuTreePart(tree, QStringLiteral("  ") + manufacturer);
        const qsizetype at = out.indexOf(QRegularExpression(QStringLiteral("    %1( .*)?").arg(QRegularExpression::escape(entry))));
        QStringList lines;
        for (qsizetype k = at; at >= 0 && k < out.size() && (k == at || out[k].startsWith(QLatin1String("      "))); ++k)
            lines << out[k].trimmed();
        return lines;
    };
    const QString data = QStringLiteral("[track, %1]").arg(name);
    EXPECT_EQ(pluginLines("Nobody", "Ghost"), QStringList{"Ghost = [track, Nobody: Ghost]"});
    EXPECT_EQ(pluginLines(group, title), QStringList{title + " [ ] = " + data});

    // Choosing a plug-in whose name no pop-up item has selects nothing.
    const int before = popUp()->currentIndex();
    c->selectPluginFromMenu(track.get(), QStringLiteral("Nobody: Ghost"));
    EXPECT_EQ(popUp()->currentIndex(), before);

    // Choosing it from the menu makes its unit and shows it, switched on.
    c->selectPluginFromMenu(track.get(), name);
    EXPECT_EQ(popUp()->currentIndex(), i);
    ASSERT_TRUE(testsupport::waitUntil([&] { return track->pluginsArray()[i].audioUnitPointerSet; }));
    endEvent();
    EXPECT_EQ(c->audioUnitPanel()->windowTitle(), name);
    const QString record = QStringLiteral("{audioUnitEnabled: %1, audioUnitName: %2, audioUnitPointerSet: true, "
                                          "audioUnitType: %3}");
    const QString type = QString::number(track->pluginsArray()[i].audioUnitType);
    EXPECT_EQ(pluginLines(group, title),
              (QStringList{title + " [x] = " + data, "Enable (disabled)",
                           "Disable = [track, " + record.arg("true", name, type) + "]"}));

    // Its switch, taken from the menu each time as the user does.
    auto choose = [&](const char* command) {
        auto menu = c->trackMenuForIndex(0);
        QAction* found = nullptr;
        for (QAction* a : menu->findChildren<QAction*>())
            if (a->text() == QLatin1String(command) && a->isEnabled() && a->data().toList().size() == 2 &&
                a->data().toList()[1].toMap().value("audioUnitName").toString() == name)
                found = a;
        ASSERT_TRUE(found) << command;
        found->trigger();
        endEvent();
    };
    choose("Disable");
    EXPECT_FALSE(track->pluginsArray()[i].audioUnitEnabled);
    EXPECT_FALSE(popUp()->itemData(i, Qt::FontRole).value<QFont>().bold());
    EXPECT_FALSE(check()->isChecked());
    EXPECT_LT(changeFromDry(), 1e-3);
    EXPECT_EQ(pluginLines(group, title),
              (QStringList{title + " [ ] = " + data, "Enable = [track, " + record.arg("false", name, type) + "]",
                           "Disable (disabled)"}));
    choose("Enable");
    EXPECT_TRUE(track->pluginsArray()[i].audioUnitEnabled);
    EXPECT_TRUE(popUp()->itemData(i, Qt::FontRole).value<QFont>().bold());
    EXPECT_TRUE(check()->isChecked());
    EXPECT_GT(changeFromDry(), 0.3);
}

}  // namespace
