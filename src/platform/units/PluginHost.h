#pragma once

// Installed plug-ins and instruments as components, and their asynchronous
// instantiation.

#include "platform/units/Component.h"
#include "platform/units/PluginCatalogue.h"

#include <functional>
#include <memory>

namespace units {

// Registers one component per plug-in of the catalogue (type 'aufx' or
// 'aumu', the codes derived from its URI, the name "Maker: Plug-in name").
// Plug-ins whose three codes collide are not registered under those codes:
// the registry would have to pick one of them; they stay reachable through
// instantiatePluginNamed(), which tells them apart by name. Components of an
// earlier catalogue that are gone are unregistered.
void registerPluginComponents(ComponentRegistry& registry, std::shared_ptr<const PluginCatalogue> catalogue);

// Scans the LV2 search path on a worker thread; on the main thread, makes
// the result the current catalogue, registers its components and calls
// `done` (which may be empty).
void scanAndRegisterPlugins(std::function<void(std::shared_ptr<const PluginCatalogue>)> done = {});

using InstantiationCompletion = std::function<void(std::unique_ptr<Unit> unit, Status status)>;

// Makes a unit of the component on a worker thread (loading a plug-in's
// library can take a while) and hands it to `completion` on the main thread,
// or null with the reason.
void instantiateComponent(const Component* component, InstantiationCompletion completion);

// The same for a component named by its codes and its name. LV2 plug-ins of
// the current catalogue are resolved by codes and name together; codes and a
// name that fit more than one plug-in are refused (ComponentNotFound), so the
// wrong plug-in is never loaded.
void instantiatePluginNamed(const ComponentDescription& description, const QString& name,
                            InstantiationCompletion completion);

// The unit for a catalogue plug-in, made on the calling thread.
std::unique_ptr<Unit> makePluginUnit(std::shared_ptr<const PluginCatalogue> catalogue,
                                     const Lv2PluginDescription& plugin, Status* status = nullptr);

}  // namespace units
