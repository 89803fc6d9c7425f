// The generic panel of a unit's parameters.

#include "PreparedTrack.h"

#include "views/UnitViews.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>

#include <set>

using namespace enginetest;
using units::ParameterUnit;

namespace {

constexpr uint32_t kProbeType = 777;

std::unique_ptr<TableUnit> panelProbe() {
    QStringList programs;
    for (int i = 0; i <= 150; ++i) programs << QStringLiteral("Program %1").arg(i);
    return std::make_unique<TableUnit>(
        units::ComponentDescription{units::componenttype::Effect, units::fourCC("pane"), units::fourCC("Test"), 0, 0},
        "Panel Probe",
        std::vector<TableUnit::Row>{
            {0, info("Frequency", ParameterUnit::Hertz, 20, 20000, 1000), {}},
            {1, info("Active", ParameterUnit::Boolean, 0, 1, 1), {}},
            {2, info("Mode", ParameterUnit::Indexed, 0, 1, 0), {"Off", "On"}},
            {3, info("Program", ParameterUnit::Indexed, 0, 150, 0), programs},
            {4, info("Stage", ParameterUnit::Indexed, 1, 3, 1), {"One", "Two", "Three"}},
            {5, info("Level", ParameterUnit::Decibels, -20, 20, -3), {}},
            {6, info("Time", ParameterUnit::Seconds, 0, 10, 0.25f), {}},
        });
}

struct Panel {
    PreparedTrack p;
    units::Unit* unit = nullptr;
    std::unique_ptr<QWidget> view;
    Panel() {
        auto probe = panelProbe();
        unit = probe.get();
        hostPlugin(*p.track, std::move(probe), ChainUnitEffect, kProbeType);
        p.track->updateListenerParametersFromAudioUnits();
        view.reset(p.track->createCustomViewForAudioUnit(unit));
    }
    const CustomParameterControlRecord& row(uint32_t id) const {
        for (const auto& r : p.track->audioUnitArray)
            if (r.parameterID == id) return r;
        throw std::runtime_error("no row");
    }
    template <typename T>
    T* control(uint32_t id) const { return dynamic_cast<T*>(row(id).valueObject.data()); }
    QString text(uint32_t id) const { return row(id).valueText->text(); }
    float snapshot(uint32_t id) const {
        for (const auto& m : p.track->listenerParameters)
            if (m.type == kProbeType && m.parameterID == id) return m.value;
        return -12345;
    }
};

TEST(GenericPanel, ValueTexts) {
    struct Case {
        ParameterUnit unit;
        double value;
        const char* text;
    } cases[] = {
        {ParameterUnit::Indexed, 2, ""},
        {ParameterUnit::Boolean, 1, "Enabled"},
        {ParameterUnit::Boolean, 0, "Disabled"},
        {ParameterUnit::Percent, 50, "50.00 %"},
        {ParameterUnit::EqualPowerCrossfade, 12.345, "12.35 %"},
        {ParameterUnit::Seconds, 0.25, "0.250 s"},
        {ParameterUnit::Hertz, 1000, "1000.00 Hz"},
        {ParameterUnit::Decibels, -3, "-3.00 dB"},
        {ParameterUnit::Degrees, 90, "90.00 \u00B0"},
        {ParameterUnit::Cents, 1.5, "1.50"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(unitviews::valueText(c.unit, c.value), QString::fromUtf8(c.text)) << int(c.unit) << " " << c.value;
}

TEST(GenericPanel, RowsPerParameterWithTheirControls) {
    Panel panel;
    ASSERT_TRUE(panel.view);
    ASSERT_EQ(panel.p.track->audioUnitArray.size(), 7u);
    EXPECT_NE(panel.control<ParameterSlider>(0), nullptr);
    EXPECT_NE(panel.control<QCheckBox>(1), nullptr);
    EXPECT_EQ(panel.text(0), QStringLiteral("1000.00 Hz"));
    EXPECT_EQ(panel.text(1), QStringLiteral("Enabled"));
    EXPECT_EQ(panel.text(2), QString());
    EXPECT_EQ(panel.text(5), QStringLiteral("-3.00 dB"));
    EXPECT_EQ(panel.text(6), QStringLiteral("0.250 s"));
    struct PopUp {
        uint32_t id;
        int items;
        int selected;
    } popUps[] = {{2, 2, 0}, {3, 101, 0}, {4, 3, 0}};
    for (const auto& c : popUps) {
        auto* popUp = panel.control<QComboBox>(c.id);
        ASSERT_NE(popUp, nullptr) << c.id;
        EXPECT_EQ(popUp->count(), c.items) << c.id;
        EXPECT_EQ(popUp->currentIndex(), c.selected) << c.id;
    }
    EXPECT_EQ(panel.control<QComboBox>(4)->itemText(0), QStringLiteral("One"));

    // Every name label ends at the same x; the panel is at most 550 high.
    auto* scroll = qobject_cast<QScrollArea*>(panel.view.get());
    ASSERT_NE(scroll, nullptr);
    QWidget* content = scroll->widget();
    std::set<int> rightEdges;
    for (auto* label : content->findChildren<QLabel*>())
        if (label->alignment() & Qt::AlignRight) rightEdges.insert(label->geometry().right());
    EXPECT_EQ(rightEdges.size(), 1u);
    for (const auto& r : panel.p.track->audioUnitArray) {
        EXPECT_LE(r.valueText->geometry().right(), content->width()) << r.parameterID;
        EXPECT_LT(r.valueObject->geometry().right(), r.valueText->x()) << r.parameterID;
    }
    EXPECT_LE(scroll->height(), 550);
    EXPECT_EQ(content->findChildren<QPushButton*>().size(), 1);

    // Item n of a pop-up whose values start at 1 stands for 1 + n.
    panel.control<QComboBox>(4)->setCurrentIndex(1);
    EXPECT_EQ(panel.unit->parameter(4), 2.0f);
    panel.control<QCheckBox>(1)->setChecked(false);
    EXPECT_EQ(panel.unit->parameter(1), 0.0f);
    EXPECT_EQ(panel.text(1), QStringLiteral("Disabled"));
}

TEST(GenericPanel, AnEmptyPanelHasOnlyItsResetButton) {
    PreparedTrack p;
    auto probe = panelProbe();
    units::Unit* unit = probe.get();
    hostPlugin(*p.track, std::move(probe), ChainUnitEffect, kProbeType);
    // No snapshots of the unit.
    std::unique_ptr<QWidget> view(p.track->createCustomViewForAudioUnit(unit));
    QWidget* content = qobject_cast<QScrollArea*>(view.get())->widget();
    EXPECT_EQ(content->height(), 12 + 46);
    EXPECT_TRUE(p.track->audioUnitArray.empty());
    EXPECT_EQ(content->findChildren<QPushButton*>().size(), 1);
    EXPECT_TRUE(content->findChildren<QSlider*>().isEmpty());
    EXPECT_EQ(p.track->createCustomViewForAudioUnit(nullptr), nullptr);
}

TEST(GenericPanel, OneUndoStepPerBurstOfChanges) {
    Panel panel;
    UndoManager& um = panel.p.controller.undo;
    auto* slider = panel.control<ParameterSlider>(0);
    for (int position : {1000, 4000, 5000}) {
        slider->setValue(position);
        EXPECT_NEAR(panel.unit->parameter(0), slider->doubleValue(), 1e-3);
    }
    const float last = panel.unit->parameter(0);
    EXPECT_EQ(panel.text(0), unitviews::valueText(ParameterUnit::Hertz, last));
    ASSERT_TRUE(testsupport::waitUntil([&] { return um.canUndo(); }));
    testsupport::spin(100);
    EXPECT_EQ(um.undoCount(), 1);
    EXPECT_EQ(panel.snapshot(0), last);

    um.undo();
    EXPECT_EQ(panel.unit->parameter(0), 1000.0f);
    EXPECT_EQ(panel.snapshot(0), 1000.0f);
    EXPECT_NEAR(slider->doubleValue(), 1000.0, 2.0);
    EXPECT_EQ(panel.text(0), QStringLiteral("1000.00 Hz"));
    um.redo();
    EXPECT_EQ(panel.unit->parameter(0), last);
    EXPECT_EQ(panel.snapshot(0), last);
}

TEST(GenericPanel, FilterUnitsChangeButRecordNothing) {
    PreparedTrack p;
    p.track->updateListenerParametersFromAudioUnits();
    units::Unit* lowPass = p.unit(BuiltInUnit::LowPass);
    std::unique_ptr<QWidget> view(p.track->createCustomViewForAudioUnit(lowPass));
    ASSERT_FALSE(p.track->audioUnitArray.empty());
    auto* slider = dynamic_cast<ParameterSlider*>(p.track->audioUnitArray.front().valueObject.data());
    ASSERT_NE(slider, nullptr);
    float snapshot = 0;
    for (const auto& m : p.track->listenerParameters)
        if (m.type == 7 && m.parameterID == 0) snapshot = m.value;
    slider->setValue(100);
    EXPECT_NEAR(lowPass->parameter(0), slider->doubleValue(), 1e-2);
    testsupport::spin(200);
    EXPECT_FALSE(p.controller.undo.canUndo());
    for (const auto& m : p.track->listenerParameters) {
        if (m.type == 7 && m.parameterID == 0) {
            EXPECT_EQ(m.value, snapshot);
        }
    }
}

TEST(GenericPanel, ResetSetsEveryParameterToItsDefault) {
    Panel panel;
    panel.unit->setParameter(0, 50);
    panel.unit->setParameter(4, 3);
    panel.control<QCheckBox>(1)->setChecked(false);
    testsupport::spin(100);
    panel.p.controller.undo.removeAllActions();
    panel.p.track->resetAudioUnitInView();
    EXPECT_EQ(panel.unit->parameter(0), 1000.0f);
    EXPECT_EQ(panel.unit->parameter(1), 1.0f);
    EXPECT_EQ(panel.unit->parameter(4), 1.0f);
    EXPECT_EQ(panel.snapshot(1), 1.0f);
    EXPECT_TRUE(panel.control<QCheckBox>(1)->isChecked());
    EXPECT_EQ(panel.text(1), QStringLiteral("Enabled"));
    EXPECT_EQ(panel.control<QComboBox>(4)->currentIndex(), 0);
    EXPECT_FALSE(panel.p.controller.undo.canUndo());
}

TEST(GenericPanel, APanelOutlivingItsTrackIsHarmless) {
    auto panel = std::make_unique<Panel>();
    std::unique_ptr<QWidget> view = std::move(panel->view);
    auto* slider = dynamic_cast<ParameterSlider*>(panel->p.track->audioUnitArray.front().valueObject.data());
    panel.reset();
    slider->setValue(3000);
    testsupport::spin(50);
}

}  // namespace
