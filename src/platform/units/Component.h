#pragma once

// The registry of unit components. Every kind of unit the application can
// make (a built-in effect, an LV2 plug-in, a SoundFont instrument) is one
// Component, found by its four-character type, subtype and manufacturer and
// instantiated into a fresh Unit. The built-in effects are registered the
// first time the registry is used; the plug-in hosts add theirs.

#include "platform/units/Unit.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace units {

class Component {
public:
    using Factory = std::function<std::unique_ptr<Unit>()>;

    Component(const ComponentDescription& description, const QString& name, uint32_t version,
              Factory factory)
        : description_(description), name_(name), version_(version), factory_(std::move(factory)) {}

    const ComponentDescription& description() const { return description_; }
    // "Manufacturer: Unit name" for plug-ins; the unit's name for built-ins.
    const QString& name() const { return name_; }
    uint32_t version() const { return version_; }

    // A new, uninitialised unit; null when the unit cannot be made.
    std::unique_ptr<Unit> instantiate() const { return factory_ ? factory_() : nullptr; }

private:
    ComponentDescription description_;
    QString name_;
    uint32_t version_;
    Factory factory_;
};

class ComponentRegistry {
public:
    static ComponentRegistry& instance();

    // Registers a component and returns it; the registry keeps it for the
    // program's life. A component with the same three codes is replaced.
    const Component* registerComponent(const ComponentDescription& description, const QString& name,
                                       uint32_t version, Component::Factory factory);
    void unregisterComponent(const ComponentDescription& description);

    // The first component after `previous` (or from the start) whose
    // description matches `pattern` (zero fields match anything).
    const Component* findNext(const ComponentDescription& pattern,
                              const Component* previous = nullptr) const;
    int count(const ComponentDescription& pattern) const;
    std::vector<const Component*> all() const;

    // Convenience: find and instantiate; null when not found or not made.
    std::unique_ptr<Unit> instantiate(FourCC type, FourCC subtype,
                                      FourCC manufacturer = kBuiltInManufacturer) const;

private:
    ComponentRegistry();
    mutable std::recursive_mutex mutex_;
    std::vector<std::unique_ptr<Component>> components_;
    std::vector<std::unique_ptr<Component>> retired_;  // replaced ones stay valid
};

// Defined with the built-in units.
void registerBuiltInUnits(ComponentRegistry& registry);

}  // namespace units
