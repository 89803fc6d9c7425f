// A split takes the source's plug-ins with their settings: an mda-lv2
// plug-in switched on in the source, one of its parameters moved, comes on
// in the new track with that value.
#include "RangeEditsFixture.h"

#include "platform/units/Component.h"
#include "platform/units/PluginCatalogue.h"
#include "platform/units/PluginHost.h"
#include "support/InstalledPlugins.h"
#include "platform/units/Unit.h"
#include "views/AudioUnitPanel.h"

#include <QCheckBox>
#include <QComboBox>

namespace {

class SplitPluginsTest : public RangeEditsTest {
protected:
    static void SetUpTestSuite() { testsupport::useInstalledPlugins(); }
};

TEST_F(SplitPluginsTest, TheNewTrackHasTheSourcesPluginSettings) {
    c->ui.window->show();
    if (auto* search = c->preferences.preferencesSearchPluginsCheck) search->setChecked(true);
    auto t = staircaseComposition();
    ASSERT_TRUE(testsupport::waitUntil([&] { return t->pluginsPopUpButton != nullptr; }));
    t->prepareTapForProcessing(t->mixInputTap().get());
    endEvent();
    auto* popUp = qobject_cast<QComboBox*>(t->pluginsPopUpButton.data());
    auto* check = qobject_cast<QCheckBox*>(t->pluginsCheckButton.data());
    ASSERT_TRUE(popUp && check);
    int i = -1;
    for (int k = 0; k < t->pluginsArray().size(); ++k)
        if (t->pluginsArray()[k].audioUnitName.endsWith(QStringLiteral("RingMod"))) i = k;
    ASSERT_GE(i, 0);
    const QString name = t->pluginsArray()[i].audioUnitName;
    popUp->setCurrentIndex(i);
    check->click();
    ASSERT_TRUE(testsupport::waitUntil([&] { return t->pluginsArray()[i].audioUnitPointerSet; }));
    endEvent();
    units::Unit* unit = t->pluginsArray()[i].audioUnit;
    ASSERT_TRUE(unit);
    const auto ids = unit->parameterList();
    ASSERT_FALSE(ids.empty());
    units::ParameterInfo info;
    ASSERT_EQ(unit->parameterInfo(units::Scope::Global, ids[0], &info), units::Status::Ok);
    const float moved = info.minValue + 0.3f * (info.maxValue - info.minValue);
    unit->setParameter(ids[0], moved);
    c->audioUnitPanel()->hide();
    settle();

    select(0, 5, 8);
    c->splitCurrentSelectionFrom();
    settle();
    ASSERT_EQ(tracks().size(), 2u);
    auto made = tracks()[1].audioFilter;
    EXPECT_TRUE(made->filterActivePluginsName.contains(name));
    // The new track's plug-in is made when its tap is, and takes the value.
    int j = -1;
    ASSERT_TRUE(testsupport::waitUntil([&] {
        for (int k = 0; k < made->pluginsArray().size(); ++k)
            if (made->pluginsArray()[k].audioUnitName == name && made->pluginsArray()[k].audioUnitPointerSet) j = k;
        return j >= 0;
    }, 15000));
    units::Unit* madeUnit = made->pluginsArray()[j].audioUnit;
    ASSERT_TRUE(madeUnit);
    EXPECT_NE(madeUnit, unit);
    EXPECT_NEAR(madeUnit->parameter(ids[0]), moved, 1e-4);
    EXPECT_TRUE(made->pluginsArray()[j].audioUnitEnabled);
}

}  // namespace
