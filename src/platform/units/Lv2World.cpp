#include "platform/units/Lv2World.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>
#include <lv2/midi/midi.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/resize-port/resize-port.h>
#include <lv2/units/units.h>

#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

namespace units {

std::shared_ptr<Lv2World> Lv2World::load(const QString& searchPath) {
    std::shared_ptr<Lv2World> w(new Lv2World);
    w->searchPath_ = searchPath;
    w->world_ = lilv_world_new();
    LilvWorld* world = w->world_;
    {
        Lv2Node path(lilv_new_string(world, searchPath.toUtf8().constData()));
        lilv_world_set_option(world, LILV_OPTION_LV2_PATH, path.node);
    }
    lilv_world_load_all(world);

    Nodes& n = w->nodes_;
    n.audioPort = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
    n.controlPort = lilv_new_uri(world, LILV_URI_CONTROL_PORT);
    n.cvPort = lilv_new_uri(world, LILV_URI_CV_PORT);
    n.atomPort = lilv_new_uri(world, LV2_ATOM__AtomPort);
    n.inputPort = lilv_new_uri(world, LILV_URI_INPUT_PORT);
    n.outputPort = lilv_new_uri(world, LILV_URI_OUTPUT_PORT);
    n.midiEvent = lilv_new_uri(world, LV2_MIDI__MidiEvent);
    n.instrumentPlugin = lilv_new_uri(world, LV2_CORE__InstrumentPlugin);
    n.connectionOptional = lilv_new_uri(world, LV2_CORE__connectionOptional);
    n.toggled = lilv_new_uri(world, LV2_CORE__toggled);
    n.integer = lilv_new_uri(world, LV2_CORE__integer);
    n.enumeration = lilv_new_uri(world, LV2_CORE__enumeration);
    n.logarithmic = lilv_new_uri(world, LV2_PORT_PROPS__logarithmic);
    n.unitsUnit = lilv_new_uri(world, LV2_UNITS__unit);
    n.presetClass = lilv_new_uri(world, LV2_PRESETS__Preset);
    n.rdfsLabel = lilv_new_uri(world, LILV_NS_RDFS "label");
    n.doapName = lilv_new_uri(world, LILV_NS_DOAP "name");
    n.minimumSize = lilv_new_uri(world, LV2_RESIZE_PORT__minimumSize);
    n.notOnGUI = lilv_new_uri(world, LV2_PORT_PROPS__notOnGUI);
    n.designationLatency = lilv_new_uri(world, LV2_CORE__latency);
    n.lv2Designation = lilv_new_uri(world, LV2_CORE__designation);
    n.freewheeling = lilv_new_uri(world, LV2_CORE__freeWheeling);
    n.lv2Enabled = lilv_new_uri(world, LV2_CORE_PREFIX "enabled");
    n.sampleRatePort = lilv_new_uri(world, LV2_CORE__sampleRate);
    return w;
}

Lv2World::~Lv2World() {
    for (LilvNode* node : {nodes_.audioPort, nodes_.controlPort, nodes_.cvPort, nodes_.atomPort,
                           nodes_.inputPort, nodes_.outputPort, nodes_.midiEvent,
                           nodes_.instrumentPlugin, nodes_.connectionOptional, nodes_.toggled,
                           nodes_.integer, nodes_.enumeration, nodes_.logarithmic, nodes_.unitsUnit,
                           nodes_.presetClass, nodes_.rdfsLabel, nodes_.doapName, nodes_.minimumSize,
                           nodes_.notOnGUI, nodes_.designationLatency, nodes_.lv2Designation,
                           nodes_.freewheeling, nodes_.lv2Enabled, nodes_.sampleRatePort})
        lilv_node_free(node);
    lilv_world_free(world_);
}

namespace lv2urid {
namespace {
struct UridTable {
    std::mutex mutex;
    std::deque<std::string> uris;  // index = urid - 1; a deque keeps c_str() stable
    std::unordered_map<std::string, LV2_URID> ids;
};
UridTable& table() {
    static UridTable t;
    return t;
}
LV2_URID mapCallback(LV2_URID_Map_Handle, const char* uri) { return map(uri); }
const char* unmapCallback(LV2_URID_Unmap_Handle, LV2_URID urid) { return unmap(urid); }
}  // namespace

LV2_URID map(const char* uri) {
    if (!uri) return 0;
    UridTable& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.ids.find(uri);
    if (it != t.ids.end()) return it->second;
    t.uris.emplace_back(uri);
    LV2_URID id = static_cast<LV2_URID>(t.uris.size());
    t.ids.emplace(t.uris.back(), id);
    return id;
}

const char* unmap(LV2_URID urid) {
    UridTable& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (urid == 0 || urid > t.uris.size()) return nullptr;
    return t.uris[urid - 1].c_str();
}

LV2_URID_Map* mapFeature() {
    static LV2_URID_Map m{nullptr, mapCallback};
    return &m;
}

LV2_URID_Unmap* unmapFeature() {
    static LV2_URID_Unmap u{nullptr, unmapCallback};
    return &u;
}
}  // namespace lv2urid


namespace lv2host {
bool supportsFeature(const char* uri) {
    static const char* const supported[] = {
        LV2_URID__map,           LV2_URID__unmap,      LV2_OPTIONS__options,
        LV2_WORKER__schedule,    LV2_STATE__makePath,  LV2_BUF_SIZE__boundedBlockLength,
        LV2_LOG__log,            LV2_CORE__hardRTCapable, LV2_CORE__inPlaceBroken,
        LV2_CORE__isLive,
    };
    for (const char* s : supported)
        if (std::strcmp(s, uri) == 0) return true;
    return false;
}
}  // namespace lv2host

}  // namespace units
