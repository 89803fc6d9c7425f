#pragma once

#include "engine/UnitViewFactory.h"
#include "platform/units/UnitTypes.h"

#include <QSlider>
#include <QString>

#include <functional>
#include <memory>

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
    // The "Reset" button of a filter unit's own view (types 7, 8 and 9)
    // asks for this with the unit type; the controller resets the filter's
    // sliders.
    std::function<void(uint64_t type)> resetFilterView;

    QWidget* createCocoaViewForPlugin(MusicFilter& track, units::Unit* unit,
                                      const QString& name) override;
    QWidget* createCocoaView(MusicFilter& track, units::Unit* unit) override;
    QWidget* createCustomViewForAudioUnit(MusicFilter& track, units::Unit* unit) override;
    std::optional<float> takeRowValue(const CustomParameterControlRecord& row,
                                      units::Unit* unit) override;
    void showRowValue(const CustomParameterControlRecord& row, units::Unit* unit,
                      float value) override;
};

namespace units {
class EventListener;
}

// The own view of a built-in unit (types 0 to 11): one row per parameter
// of the unit. Its controls change the unit through the event listeners,
// with a gesture around each change, so that the track hears them as it
// hears any control of the unit (undo, the filter sliders, recording), and
// the view follows changes made elsewhere. The view finds the unit through
// the track each time, so it never touches a unit the track has let go.
// Main thread only.
class BuiltInUnitView : public QWidget {
    Q_OBJECT
public:
    BuiltInUnitView(MusicFilter& track, uint64_t type, units::Unit* unit);
    ~BuiltInUnitView() override;
    uint64_t unitType() const { return type_; }
    // The control of a parameter, for the tests and the hand checks.
    QWidget* controlOf(uint32_t parameterID) const;

private:
    struct Row {
        uint32_t parameterID;
        units::ParameterUnit measure;
        QWidget* control;
        class QLabel* text;
    };
    units::Unit* unit() const;
    void beginGesture(uint32_t id);
    void endGesture(uint32_t id);
    void change(uint32_t id, float value, bool held);
    void show(const Row& row, float value);

    std::weak_ptr<MusicFilter> track_;
    uint64_t type_;
    std::vector<Row> rows_;
    std::unique_ptr<units::EventListener> listener_;
};
