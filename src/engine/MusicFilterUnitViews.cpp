// A track's unit views: the views themselves come from the controller's
// unit view factory; the track keeps their rows, writes a row's change into
// its unit at once, and makes a burst of changes of one control one undo
// step on the unit panel's undo manager and one update of its parameter
// snapshots.

#include "engine/MusicFilter.h"
#include "engine/UnitViewFactory.h"
#include "platform/core/MainQueue.h"
#include "platform/core/UndoManager.h"
#include "platform/units/Unit.h"

#include <algorithm>

namespace {

using units::Scope;

QString commitKey(const CustomParameterControlRecord& r) {
    return QStringLiteral("%1/%2").arg(r.audioUnitType).arg(r.parameterID);
}

}  // namespace

UnitViewFactory* MusicFilter::unitViewFactory() const {
    AudioControllerServices* controller = audioController();
    return controller ? controller->unitViewFactory() : nullptr;
}

QWidget* MusicFilter::createCocoaViewForPlugin(units::Unit* unit, const QString& name) {
    UnitViewFactory* views = unitViewFactory();
    return views ? views->createCocoaViewForPlugin(*this, unit, name) : nullptr;
}

QWidget* MusicFilter::createCocoaView(units::Unit* unit) {
    UnitViewFactory* views = unitViewFactory();
    return views ? views->createCocoaView(*this, unit) : nullptr;
}

QWidget* MusicFilter::createCustomViewForAudioUnit(units::Unit* unit) {
    UnitViewFactory* views = unitViewFactory();
    if (!views) {
        audioUnitArray.clear();
        return nullptr;
    }
    return views->createCustomViewForAudioUnit(*this, unit);
}

void MusicFilter::updateValueForCustomViewObject(QWidget* control) {
    auto it = std::find_if(audioUnitArray.begin(), audioUnitArray.end(),
                           [&](const CustomParameterControlRecord& r) { return r.valueObject == control; });
    if (it == audioUnitArray.end()) return;
    const CustomParameterControlRecord record = *it;
    units::Unit* unit = getAudioUnitForType(record.audioUnitType);
    UnitViewFactory* views = unitViewFactory();
    const std::optional<float> v = views ? views->takeRowValue(record, unit) : std::nullopt;
    if (!v) return;
    if (unit) unit->setParameter(record.parameterID, Scope::Global, 0, *v);
    AudioControllerServices* controller = audioController();
    if (controller) controller->setPauseUpdateSelectionParameters(true);
    std::weak_ptr<MusicFilter> weak = weak_from_this();
    MainQueue::instance().performCoalesced(this, QStringLiteral("updateValueForSender:"), commitKey(record),
                                           [weak, record] {
                                               if (auto t = weak.lock()) t->updateValueForSender(record);
                                           });
}

void MusicFilter::updateValueForSender(const CustomParameterControlRecord& record) {
    if (auto* controller = audioController()) controller->setPauseUpdateSelectionParameters(false);
    if (!getProcessorContext()) return;
    // The filter units' values belong to the effect inputs.
    if (unittype::isFilterSliderUnit(record.audioUnitType)) return;
    auto it = std::find_if(listenerParameters.begin(), listenerParameters.end(), [&](const MAudioParameter& p) {
        return p.type == record.audioUnitType && p.parameterID == record.parameterID;
    });
    if (it == listenerParameters.end()) return;
    AudioControllerServices* controller = audioController();
    if (UndoManager* um = controller ? controller->audioUnitPanelUndoManager() : nullptr) {
        std::weak_ptr<MusicFilter> weak = weak_from_this();
        const MAudioParameter before = *it;
        um->registerUndo(this, [weak, record, before] {
            if (auto t = weak.lock()) t->undoParameterValueForCustomAudioUnitView(record, before);
        });
    }
    if (units::Unit* unit = getAudioUnitForType(record.audioUnitType)) {
        float v = 0;
        if (units::ok(unit->getParameter(record.parameterID, Scope::Global, 0, &v))) it->value = v;
    }
}

void MusicFilter::undoParameterValueForCustomAudioUnitView(const CustomParameterControlRecord& record,
                                                           const MAudioParameter& saved) {
    auto it = std::find_if(listenerParameters.begin(), listenerParameters.end(), [&](const MAudioParameter& p) {
        return p.type == saved.type && p.parameterID == saved.parameterID;
    });
    if (it == listenerParameters.end()) return;
    AudioControllerServices* controller = audioController();
    if (UndoManager* um = controller ? controller->audioUnitPanelUndoManager() : nullptr) {
        std::weak_ptr<MusicFilter> weak = weak_from_this();
        const MAudioParameter current = *it;
        um->registerUndo(this, [weak, record, current] {
            if (auto t = weak.lock()) t->undoParameterValueForCustomAudioUnitView(record, current);
        });
    }
    *it = saved;
    units::Unit* unit = getAudioUnitForType(saved.type);
    if (unit) unit->setParameter(saved.parameterID, Scope::Global, 0, saved.value);
    if (UnitViewFactory* views = unitViewFactory()) views->showRowValue(record, unit, saved.value);
}

void MusicFilter::resetAudioUnitInView() {
    if (audioUnitArray.empty()) return;
    const uint64_t type = audioUnitArray.front().audioUnitType;
    units::Unit* unit = getAudioUnitForType(type);
    if (!unit) return;
    for (units::ParameterID id : unit->parameterList(Scope::Global)) {
        units::ParameterInfo info;
        if (!units::ok(unit->parameterInfo(Scope::Global, id, &info))) continue;
        unit->setParameter(id, Scope::Global, 0, info.defaultValue);
        for (auto& p : listenerParameters)
            if (p.type == type && p.parameterID == id) {
                p.value = info.defaultValue;
                break;
            }
        if (UnitViewFactory* views = unitViewFactory())
            for (const auto& r : audioUnitArray)
                if (r.audioUnitType == type && r.parameterID == id)
                    views->showRowValue(r, unit, info.defaultValue);
    }
}
