#pragma once

#include <QString>

#include <optional>

class MusicFilter;
class QWidget;
struct CustomParameterControlRecord;
namespace units {
class Unit;
}

// Builds the views of a track's units: the generic panel of a unit's
// parameters and a plug-in's own view. The engine builds no widget: the
// track asks for its views through this interface, which the widget library
// implements and the controller hands out (AudioControllerMainServices::
// unitViewFactory). Main thread only.
class UnitViewFactory {
public:
    virtual ~UnitViewFactory() = default;

    // A plug-in's own view, or null when it has none that can be shown.
    virtual QWidget* createCocoaViewForPlugin(MusicFilter& track, units::Unit* unit,
                                              const QString& name) = 0;
    // A built-in unit's own view, or null.
    virtual QWidget* createCocoaView(MusicFilter& track, units::Unit* unit) = 0;
    // The generic panel of `unit`'s parameters, one row per listener
    // parameter of the unit; the rows go into track.audioUnitArray. The
    // rows' controls report changes through track.updateValueForCustomViewObject.
    virtual QWidget* createCustomViewForAudioUnit(MusicFilter& track, units::Unit* unit) = 0;
    // The parameter value a row's control shows (its value text follows);
    // none when the control is not one the panel makes.
    virtual std::optional<float> takeRowValue(const CustomParameterControlRecord& row,
                                              units::Unit* unit) = 0;
    // Shows `value` in a row without reporting it as a change.
    virtual void showRowValue(const CustomParameterControlRecord& row, units::Unit* unit,
                              float value) = 0;
};
