// The track's snapshot of its panel units' and plug-ins' parameters, the
// listener registrations that keep it current, and its undo.

#include "engine/MusicFilter.h"

#include "platform/core/UndoManager.h"
#include "platform/units/EventListener.h"
#include "platform/units/FilterUnits.h"
#include "platform/units/Unit.h"

#include <QCborMap>

namespace {

using units::PropertyID;
using units::Scope;
using units::UnitEvent;
using Type = units::UnitEvent::Type;


UnitEvent gesture(Type type, units::Unit* unit, units::ParameterID id) {
    return UnitEvent::parameterEvent(type, unit, id);
}

// Routes every unit event posted so far, so that changes made while a
// registration was lifted are not heard once it is back.
void drainUnitEvents() { units::EventHub::instance().deliver(); }

}  // namespace

namespace {

struct Registrar {
    units::EventListener* listener;
    void* object;
    void add(const UnitEvent& e) const {
        if (listener) listener->addEventType(object, e);
    }
    void remove(const UnitEvent& e) const {
        if (listener) listener->removeEventType(object, e);
    }
    void gestures(units::Unit* unit, units::ParameterID id) const {
        add(gesture(Type::BeginParameterChangeGesture, unit, id));
        add(gesture(Type::EndParameterChangeGesture, unit, id));
    }
};

// A snapshot of every listed parameter of `unit`, registering its gestures.
void appendSnapshots(std::vector<MAudioParameter>& list, units::Unit* unit, uint64_t type,
                     uint8_t enabled, const Registrar& reg, bool valueChanges) {
    for (units::ParameterID id : unit->parameterList(Scope::Global)) {
        float v = 0;
        unit->getParameter(id, Scope::Global, 0, &v);
        list.push_back(MAudioParameter{type, enabled, id, v});
        reg.gestures(unit, id);
        if (valueChanges) reg.add(gesture(Type::ParameterValueChange, unit, id));
    }
}

}  // namespace

void MusicFilter::updateListenerParametersFromAudioUnits() {
    listenerParameters.clear();
    auto* context = getProcessorContext();
    if (!context) return;
    const Registrar reg{context->parameterListener.get(), this};
    for (uint64_t i = 0; i < unittype::kBuiltInCount; ++i) {
        units::Unit* unit = context->unit(builtinunits::unitForTypeIndex(int(i))).load();
        if (!unit) continue;
        appendSnapshots(listenerParameters, unit, i, getAudioUnitEnabledForType(i) ? 1 : 0, reg,
                        unittype::isFilterSliderUnit(i));
        if (!unittype::isFilterSliderUnit(i)) reg.add(UnitEvent::propertyEvent(unit, PropertyID::ParameterList));
    }
    for (const PluginRecord& r : pluginsArray_) {
        if (!r.audioUnit) continue;
        appendSnapshots(listenerParameters, r.audioUnit, r.audioUnitType, r.audioUnitEnabled ? 1 : 0,
                        reg, false);
        reg.add(UnitEvent::propertyEvent(r.audioUnit, PropertyID::ParameterList));
        if (r.audioUnit->hasProperty(PropertyID::PresentPreset)) {
            reg.add(UnitEvent::propertyEvent(r.audioUnit, PropertyID::PresentPreset));
            const units::Preset p = r.audioUnit->presentPreset();
            pluginsPresetsDictionary.insert(r.audioUnitName, PluginPresetRecord{p.name, p.number});
        }
        if (r.audioUnit->hasProperty(PropertyID::ClassInfo)) {
            reg.add(UnitEvent::propertyEvent(r.audioUnit, PropertyID::ClassInfo));
            const QCborMap info = r.audioUnit->classInfo();
            if (!info.isEmpty()) pluginsClassInfosDictionary.insert(r.audioUnitName, QVariant::fromValue(info));
        }
    }
}

void MusicFilter::updateListenerParametersFromAudioUnit(units::Unit* unit) {
    const uint64_t type = getTypeForAudioUnit(unit);
    if (type == kNoIndex || !unittype::isBuiltIn(type) || !unit) return;
    auto* context = getProcessorContext();
    if (!context) return;
    std::vector<MAudioParameter> list;
    for (const auto& p : listenerParameters)
        if (p.type != type) list.push_back(p);
    appendSnapshots(list, unit, type, getAudioUnitEnabledForType(type) ? 1 : 0,
                    Registrar{context->parameterListener.get(), this}, false);
    listenerParameters = std::move(list);
}

void MusicFilter::updateListenerParametersFromPluginAudioUnit(const units::UnitEvent& event) {
    if (!event.unit) return;
    const PluginRecord* found = nullptr;
    for (const auto& r : pluginsArray_)
        if (r.audioUnit == event.unit) {
            found = &r;
            break;
        }
    if (!found || found->audioUnitType == kNoIndex) return;
    const uint64_t type = found->audioUnitType;
    const PluginRecord* owner = nullptr;
    for (const auto& r : pluginsArray_)
        if (r.audioUnitType == type) {
            owner = &r;
            break;
        }
    auto* context = getProcessorContext();
    std::vector<MAudioParameter> list;
    for (const auto& p : listenerParameters)
        if (p.type != type) list.push_back(p);
    if (owner && owner->audioUnit)
        appendSnapshots(list, owner->audioUnit, type, owner->audioUnitEnabled ? 1 : 0,
                        Registrar{context ? context->parameterListener.get() : nullptr, this}, false);
    listenerParameters = std::move(list);
}

void MusicFilter::updateNBandEQNumberOfBands() {
    auto* context = getProcessorContext();
    units::Unit* unit = context ? context->unit(BuiltInUnit::NBandEQ).load() : nullptr;
    if (!unit) return;
    uint32_t bands = 0;
    if (units::ok(unit->numberOfBands(&bands))) {
        nBandEQNumberOfBandsProperty = bands;
        nBandEQNumberOfBandsPropertySize = sizeof(uint32_t);
    }
}

void MusicFilter::updateListenerParametersToAudioUnits() {
    auto* context = getProcessorContext();
    if (!context) return;
    const Registrar reg{context->parameterListener.get(), this};
    auto panelUnit = [&](uint64_t i) { return context->unit(builtinunits::unitForTypeIndex(int(i))).load(); };

    // Layouts first: lift the registrations that a layout change would
    // trigger, so that writing the stored state is not heard as an edit.
    for (uint64_t i = 0; i < unittype::kBuiltInCount; ++i)
        if (!unittype::isFilterSliderUnit(i))
            if (auto* u = panelUnit(i)) reg.remove(UnitEvent::propertyEvent(u, PropertyID::ParameterList));
    for (const auto& r : pluginsArray_) {
        if (!r.audioUnit) continue;
        reg.remove(UnitEvent::propertyEvent(r.audioUnit, PropertyID::ParameterList));
        if (r.audioUnit->hasProperty(PropertyID::PresentPreset))
            reg.remove(UnitEvent::propertyEvent(r.audioUnit, PropertyID::PresentPreset));
        if (r.audioUnit->hasProperty(PropertyID::ClassInfo))
            reg.remove(UnitEvent::propertyEvent(r.audioUnit, PropertyID::ClassInfo));
    }

    // The graphic equaliser's band count decides which band gains exist.
    if (auto* graphic = panelUnit(1))
        for (const auto& p : listenerParameters)
            if (p.type == unittype::GraphicEQ && p.parameterID == units::GraphicEQUnit::kNumberOfBands) {
                graphic->setParameter(p.parameterID, Scope::Global, 0, p.value);
                break;
            }
    if (nBandEQNumberOfBandsProperty != 0)
        if (auto* nband = panelUnit(0)) nband->setNumberOfBands(nBandEQNumberOfBandsProperty);

    for (const auto& r : pluginsArray_) {
        if (!r.audioUnit) continue;
        if (r.audioUnit->hasProperty(PropertyID::ClassInfo)) {
            const QVariant v = pluginsClassInfosDictionary.value(r.audioUnitName);
            if (v.canConvert<QCborMap>()) r.audioUnit->setClassInfo(v.value<QCborMap>());
        }
        if (r.audioUnit->hasProperty(PropertyID::PresentPreset)) {
            const QVariantList preset = pluginsPresetsDictionary.value(r.audioUnitName).toList();
            if (preset.size() == 2)
                r.audioUnit->setPresentPreset(units::Preset{preset[1].toInt(), preset[0].toString()});
        }
    }
    drainUnitEvents();
    for (const auto& r : pluginsArray_) {
        if (!r.audioUnit) continue;
        if (r.audioUnit->hasProperty(PropertyID::ClassInfo))
            reg.add(UnitEvent::propertyEvent(r.audioUnit, PropertyID::ClassInfo));
        if (r.audioUnit->hasProperty(PropertyID::PresentPreset))
            reg.add(UnitEvent::propertyEvent(r.audioUnit, PropertyID::PresentPreset));
    }

    // Values last.
    for (const auto& p : listenerParameters) {
        units::Unit* unit = getAudioUnitForType(p.type);
        if (!unit) continue;
        if (unittype::isBuiltIn(p.type) && !unittype::isFilterSliderUnit(p.type))
            context->setFlag(builtinunits::unitForTypeIndex(int(p.type)), p.enabled != 0);
        // Setting a parameter directly is not heard by listeners.
        unit->setParameter(p.parameterID, Scope::Global, 0, p.value);
        reg.gestures(unit, p.parameterID);
        if (unittype::isFilterSliderUnit(p.type)) reg.add(gesture(Type::ParameterValueChange, unit, p.parameterID));
    }

    drainUnitEvents();
    for (uint64_t i = 0; i < unittype::kBuiltInCount; ++i)
        if (!unittype::isFilterSliderUnit(i))
            if (auto* u = panelUnit(i)) reg.add(UnitEvent::propertyEvent(u, PropertyID::ParameterList));

    QList<PluginRecord> records = pluginsArray_;
    for (auto& r : records) {
        if (!r.audioUnit) continue;
        for (const auto& p : listenerParameters)
            if (getAudioUnitForType(p.type) == r.audioUnit) {
                r.audioUnitEnabled = p.enabled != 0;
                break;
            }
        reg.add(UnitEvent::propertyEvent(r.audioUnit, PropertyID::ParameterList));
    }
    setPluginsArray(records);
}

void MusicFilter::undoParameterValue(const MAudioParameter& parameter) {
    auto it = std::find_if(listenerParameters.begin(), listenerParameters.end(), [&](const MAudioParameter& p) {
        return p.type == parameter.type && p.parameterID == parameter.parameterID;
    });
    if (it == listenerParameters.end()) return;
    AudioControllerServices* controller = audioController();
    if (UndoManager* um = controller ? controller->audioUnitPanelUndoManager() : nullptr) {
        const MAudioParameter before = *it;
        std::weak_ptr<MusicFilter> weak = weak_from_this();
        um->registerUndo(this, [weak, before] {
            if (auto t = weak.lock()) t->undoParameterValue(before);
        });
    }
    *it = parameter;
    // Sent as the track's own listener, so that the change is not recorded
    // again, while a shown view of the unit still follows it.
    auto* context = getProcessorContext();
    units::Unit* unit = getAudioUnitForType(parameter.type);
    if (!unit) return;
    units::setParameterAndNotify(context ? context->parameterListener.get() : nullptr, this, unit,
                                 parameter.parameterID, Scope::Global, 0, parameter.value);
}

// ---------------------------------------------------------------------------
// Plug-in state

namespace {
const PluginRecord* recordForUnit(const QList<PluginRecord>& records, const units::Unit* unit) {
    if (!unit) return nullptr;
    for (const auto& r : records)
        if (r.audioUnit == unit) return &r;
    return nullptr;
}
}  // namespace

void MusicFilter::updateClassInfoForPluginEvent(const units::UnitEvent& event) {
    const PluginRecord* r = recordForUnit(pluginsArray_, event.unit);
    if (!r || !r->audioUnit->hasProperty(PropertyID::ClassInfo)) return;
    const QCborMap info = r->audioUnit->classInfo();
    if (info.isEmpty()) return;
    pluginsClassInfosDictionary.insert(r->audioUnitName, QVariant::fromValue(info));
}

void MusicFilter::updatePresetForPluginEvent(const units::UnitEvent& event) {
    const PluginRecord* r = recordForUnit(pluginsArray_, event.unit);
    if (!r || !r->audioUnit->hasProperty(PropertyID::PresentPreset)) return;
    const units::Preset p = r->audioUnit->presentPreset();
    pluginsPresetsDictionary.insert(r->audioUnitName, PluginPresetRecord{p.name, p.number});
}

void MusicFilter::undoRedoPluginClassInfo(const QVariantMap& classInfos) {
    AudioControllerServices* controller = audioController();
    if (UndoManager* um = controller ? controller->audioUnitPanelUndoManager() : nullptr) {
        std::weak_ptr<MusicFilter> weak = weak_from_this();
        const QVariantMap current = pluginsClassInfosDictionary;
        um->registerUndo(this, [weak, current] {
            if (auto t = weak.lock()) t->undoRedoPluginClassInfo(current);
        });
    }
    for (auto it = classInfos.begin(); it != classInfos.end(); ++it)
        pluginsClassInfosDictionary.insert(it.key(), it.value());
    auto* context = getProcessorContext();
    const Registrar reg{context ? context->parameterListener.get() : nullptr, this};
    for (const auto& r : pluginsArray_) {
        if (!r.audioUnit || !r.audioUnit->hasProperty(PropertyID::ClassInfo)) continue;
        const UnitEvent e = UnitEvent::propertyEvent(r.audioUnit, PropertyID::ClassInfo);
        reg.remove(e);
        const QVariant v = pluginsClassInfosDictionary.value(r.audioUnitName);
        if (v.canConvert<QCborMap>()) r.audioUnit->setClassInfo(v.value<QCborMap>());
        drainUnitEvents();
        reg.add(e);
    }
}

void MusicFilter::undoRedoPluginPreset(const QVariantMap& presets) {
    AudioControllerServices* controller = audioController();
    if (UndoManager* um = controller ? controller->audioUnitPanelUndoManager() : nullptr) {
        std::weak_ptr<MusicFilter> weak = weak_from_this();
        const QVariantMap current = pluginsPresetsDictionary;
        um->registerUndo(this, [weak, current] {
            if (auto t = weak.lock()) t->undoRedoPluginPreset(current);
        });
    }
    for (auto it = presets.begin(); it != presets.end(); ++it)
        pluginsPresetsDictionary.insert(it.key(), it.value());
    auto* context = getProcessorContext();
    const Registrar reg{context ? context->parameterListener.get() : nullptr, this};
    for (const auto& r : pluginsArray_) {
        if (!r.audioUnit || !r.audioUnit->hasProperty(PropertyID::PresentPreset)) continue;
        const UnitEvent e = UnitEvent::propertyEvent(r.audioUnit, PropertyID::PresentPreset);
        reg.remove(e);
        const QVariantList preset = pluginsPresetsDictionary.value(r.audioUnitName).toList();
        if (preset.size() == 2)
            r.audioUnit->setPresentPreset(units::Preset{preset[1].toInt(), preset[0].toString()});
        drainUnitEvents();
        reg.add(e);
    }
}
