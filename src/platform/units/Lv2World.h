#pragma once

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include <QString>

#include <memory>
#include <mutex>

namespace units {

// One loaded view of the LV2 plug-ins under a search path. lilv is not
// thread-safe, so every call that reads the world's data, and every call that
// loads or unloads a plug-in's library (instantiating, freeing an instance),
// happens under mutex(); plug-in instances keep the world alive while they
// exist (their libraries belong to it). A fresh scan makes a fresh world.
class Lv2World {
public:
    // Loads every bundle under `searchPath` (colon-separated folders). A
    // bundle whose data cannot be parsed is skipped by lilv.
    static std::shared_ptr<Lv2World> load(const QString& searchPath);
    ~Lv2World();
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    LilvWorld* world() const { return world_; }
    std::mutex& mutex() const { return mutex_; }
    const QString& searchPath() const { return searchPath_; }

    // Frequently used nodes, owned by the world.
    struct Nodes {
        LilvNode* audioPort = nullptr;
        LilvNode* controlPort = nullptr;
        LilvNode* cvPort = nullptr;
        LilvNode* atomPort = nullptr;
        LilvNode* inputPort = nullptr;
        LilvNode* outputPort = nullptr;
        LilvNode* midiEvent = nullptr;
        LilvNode* instrumentPlugin = nullptr;
        LilvNode* connectionOptional = nullptr;
        LilvNode* toggled = nullptr;
        LilvNode* integer = nullptr;
        LilvNode* enumeration = nullptr;
        LilvNode* logarithmic = nullptr;
        LilvNode* unitsUnit = nullptr;
        LilvNode* presetClass = nullptr;
        LilvNode* rdfsLabel = nullptr;
        LilvNode* doapName = nullptr;
        LilvNode* minimumSize = nullptr;
        LilvNode* notOnGUI = nullptr;
        LilvNode* designationLatency = nullptr;
        LilvNode* lv2Designation = nullptr;
        LilvNode* freewheeling = nullptr;
        LilvNode* lv2Enabled = nullptr;
        LilvNode* sampleRatePort = nullptr;
    };
    const Nodes& nodes() const { return nodes_; }

private:
    Lv2World() = default;
    LilvWorld* world_ = nullptr;
    mutable std::mutex mutex_;
    QString searchPath_;
    Nodes nodes_;
};

// The process-wide URI <-> URID map handed to every plug-in. Mapping takes a
// mutex: plug-ins map their URIs when they are instantiated, not in run().
namespace lv2urid {
LV2_URID map(const char* uri);
const char* unmap(LV2_URID urid);
LV2_URID_Map* mapFeature();
LV2_URID_Unmap* unmapFeature();
}  // namespace lv2urid

// A lilv node that frees itself.
struct Lv2Node {
    LilvNode* node = nullptr;
    Lv2Node() = default;
    explicit Lv2Node(LilvNode* n) : node(n) {}
    ~Lv2Node() { lilv_node_free(node); }
    Lv2Node(const Lv2Node&) = delete;
    Lv2Node& operator=(const Lv2Node&) = delete;
    Lv2Node(Lv2Node&& o) noexcept : node(o.node) { o.node = nullptr; }
    explicit operator bool() const { return node != nullptr; }
    QString string() const { return node ? QString::fromUtf8(lilv_node_as_string(node)) : QString(); }
};

// The host features every instance gets (urid map and unmap, options, worker,
// state:makePath, bounded block length, log) and the properties the host
// meets on its own (real-time capable, in-place broken: buffers are never
// shared).
namespace lv2host {
bool supportsFeature(const char* uri);
}

}  // namespace units
