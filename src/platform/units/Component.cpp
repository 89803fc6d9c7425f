#include "platform/units/Component.h"

#include "platform/units/SoundFontUnit.h"

#include <algorithm>

namespace units {

ComponentRegistry& ComponentRegistry::instance() {
    static ComponentRegistry* registry = new ComponentRegistry;
    return *registry;
}

ComponentRegistry::ComponentRegistry() {
    registerBuiltInUnits(*this);
    registerSoundFontInstruments(*this);
}

const Component* ComponentRegistry::registerComponent(const ComponentDescription& description,
                                                      const QString& name, uint32_t version,
                                                      Component::Factory factory) {
    std::lock_guard lock(mutex_);
    auto component = std::make_unique<Component>(description, name, version, std::move(factory));
    const Component* result = component.get();
    for (auto& c : components_) {
        const ComponentDescription& d = c->description();
        if (d.componentType == description.componentType &&
            d.componentSubType == description.componentSubType &&
            d.componentManufacturer == description.componentManufacturer) {
            retired_.push_back(std::move(c));
            c = std::move(component);
            return result;
        }
    }
    components_.push_back(std::move(component));
    return result;
}

void ComponentRegistry::unregisterComponent(const ComponentDescription& description) {
    std::lock_guard lock(mutex_);
    for (auto it = components_.begin(); it != components_.end(); ++it) {
        const ComponentDescription& d = (*it)->description();
        if (d.componentType == description.componentType &&
            d.componentSubType == description.componentSubType &&
            d.componentManufacturer == description.componentManufacturer) {
            retired_.push_back(std::move(*it));
            components_.erase(it);
            return;
        }
    }
}

const Component* ComponentRegistry::findNext(const ComponentDescription& pattern,
                                             const Component* previous) const {
    std::lock_guard lock(mutex_);
    auto it = components_.begin();
    if (previous) {
        it = std::find_if(components_.begin(), components_.end(),
                          [&](const auto& c) { return c.get() == previous; });
        if (it == components_.end()) return nullptr;
        ++it;
    }
    for (; it != components_.end(); ++it)
        if ((*it)->description().matches(pattern)) return it->get();
    return nullptr;
}

int ComponentRegistry::count(const ComponentDescription& pattern) const {
    std::lock_guard lock(mutex_);
    return int(std::count_if(components_.begin(), components_.end(),
                             [&](const auto& c) { return c->description().matches(pattern); }));
}

std::vector<const Component*> ComponentRegistry::all() const {
    std::lock_guard lock(mutex_);
    std::vector<const Component*> out;
    for (const auto& c : components_) out.push_back(c.get());
    return out;
}

std::unique_ptr<Unit> ComponentRegistry::instantiate(FourCC type, FourCC subtype,
                                                     FourCC manufacturer) const {
    const Component* c = findNext({type, subtype, manufacturer, 0, 0});
    return c ? c->instantiate() : nullptr;
}

}  // namespace units
