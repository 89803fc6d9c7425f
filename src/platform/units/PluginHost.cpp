#include "platform/units/PluginHost.h"

#include "platform/core/MainQueue.h"
#include "platform/units/Lv2Unit.h"

#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

namespace units {

namespace {

using Codes = std::tuple<FourCC, FourCC, FourCC>;

// The codes this module registered, so that a later catalogue can take away
// what is no longer installed.
std::set<Codes>& registeredCodes() {
    static std::set<Codes> codes;
    return codes;
}

void deliver(InstantiationCompletion completion, std::unique_ptr<Unit> unit, Status status) {
    auto holder = std::make_shared<std::unique_ptr<Unit>>(std::move(unit));
    MainQueue::async([holder, status, completion = std::move(completion)]() {
        if (completion) completion(std::move(*holder), status);
    });
}

}  // namespace

std::unique_ptr<Unit> makePluginUnit(std::shared_ptr<const PluginCatalogue> catalogue,
                                     const Lv2PluginDescription& plugin, Status* status) {
    QString error;
    std::unique_ptr<Lv2PluginInstance> instance = Lv2PluginInstance::create(catalogue, plugin, 44100.0, 4096, &error);
    if (!instance) {
        if (status) *status = Status::InstantiationFailed;
        return nullptr;
    }
    if (status) *status = Status::Ok;
    return std::make_unique<Lv2Unit>(ComponentDescription{plugin.type, plugin.subtype, plugin.manufacturer},
                                     std::move(instance));
}

// Main thread only.
void registerPluginComponents(ComponentRegistry& registry, std::shared_ptr<const PluginCatalogue> catalogue) {
    std::map<Codes, int> uses;
    for (const Lv2PluginDescription& d : catalogue->plugins()) ++uses[Codes{d.type, d.subtype, d.manufacturer}];
    std::set<Codes> now;
    for (const Lv2PluginDescription& d : catalogue->plugins()) {
        const Codes codes{d.type, d.subtype, d.manufacturer};
        if (uses[codes] > 1) continue;
        now.insert(codes);
        registry.registerComponent({d.type, d.subtype, d.manufacturer}, d.fullName, d.version,
                                   [catalogue, d]() { return makePluginUnit(catalogue, d); });
    }
    for (const Codes& old : registeredCodes())
        if (!now.count(old))
            registry.unregisterComponent({std::get<0>(old), std::get<1>(old), std::get<2>(old)});
    registeredCodes() = std::move(now);
}

void scanAndRegisterPlugins(std::function<void(std::shared_ptr<const PluginCatalogue>)> done) {
    PluginCatalogue::scanAsync(PluginCatalogue::searchPath(),
                               [done = std::move(done)](std::shared_ptr<const PluginCatalogue> catalogue) {
                                   registerPluginComponents(ComponentRegistry::instance(), catalogue);
                                   if (done) done(catalogue);
                               });
}

void instantiateComponent(const Component* component, InstantiationCompletion completion) {
    if (!component) {
        deliver(std::move(completion), nullptr, Status::ComponentNotFound);
        return;
    }
    runOnPluginThread([component, completion = std::move(completion)]() mutable {
        std::unique_ptr<Unit> unit = component->instantiate();
        const Status status = unit ? Status::Ok : Status::InstantiationFailed;
        deliver(std::move(completion), std::move(unit), status);
    });
}

void instantiatePluginNamed(const ComponentDescription& description, const QString& name,
                            InstantiationCompletion completion) {
    std::shared_ptr<const PluginCatalogue> catalogue = PluginCatalogue::current();
    PluginCatalogue::Lookup lookup = PluginCatalogue::Lookup::NotFound;
    const Lv2PluginDescription* plugin = catalogue->find(description.componentType, description.componentSubType,
                                                         description.componentManufacturer, name, &lookup);
    if (lookup == PluginCatalogue::Lookup::Ambiguous) {
        deliver(std::move(completion), nullptr, Status::ComponentNotFound);
        return;
    }
    if (plugin) {
        runOnPluginThread([catalogue, d = *plugin, completion = std::move(completion)]() mutable {
            Status status = Status::Ok;
            std::unique_ptr<Unit> unit = makePluginUnit(catalogue, d, &status);
            deliver(std::move(completion), std::move(unit), status);
        });
        return;
    }
    // Built-in units and the instruments: the registered component of that
    // name with those codes.
    ComponentRegistry& registry = ComponentRegistry::instance();
    ComponentDescription pattern = description;
    pattern.componentFlags = pattern.componentFlagsMask = 0;
    const Component* found = nullptr;
    for (const Component* c = registry.findNext(pattern); c; c = registry.findNext(pattern, c)) {
        if (!name.isEmpty() && c->name() != name) continue;
        if (found) {
            deliver(std::move(completion), nullptr, Status::ComponentNotFound);
            return;
        }
        found = c;
    }
    instantiateComponent(found, std::move(completion));
}

}  // namespace units
