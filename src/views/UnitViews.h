#pragma once

#include "engine/UnitViewFactory.h"
#include "platform/units/UnitTypes.h"

#include <QSlider>
#include <QString>

// The slider of a generic unit panel row: a horizontal slider over a
// parameter's floating-point range.
class ParameterSlider : public QSlider {
public:
    static constexpr int kSteps = 10000;

    ParameterSlider(double minValue, double maxValue, QWidget* parent = nullptr);
    double minValue() const { return min_; }
    double maxValue() const { return max_; }
    double doubleValue() const;
    // Sets the position without reporting a change.
    void setDoubleValue(double v);

private:
    double min_, max_;
};

namespace unitviews {
// The value text of a generic panel row for a parameter measured in `unit`.
QString valueText(units::ParameterUnit unit, double value);
}  // namespace unitviews

// The generic views of every unit: a panel of rows (name, control, value
// text) with a "Reset" button. A change is written into the unit at once by
// the track; a burst of changes of one control becomes one undo step.
class GenericUnitViewFactory : public UnitViewFactory {
public:
    // The one factory the application uses.
    static GenericUnitViewFactory& shared();

    QWidget* createCocoaViewForPlugin(MusicFilter& track, units::Unit* unit,
                                      const QString& name) override;
    QWidget* createCocoaView(MusicFilter& track, units::Unit* unit) override;
    QWidget* createCustomViewForAudioUnit(MusicFilter& track, units::Unit* unit) override;
    std::optional<float> takeRowValue(const CustomParameterControlRecord& row,
                                      units::Unit* unit) override;
    void showRowValue(const CustomParameterControlRecord& row, units::Unit* unit,
                      float value) override;
};
