#include "platform/units/Lv2Plugin.h"

#include "platform/core/AppPaths.h"
#include "platform/core/MainQueue.h"
#include "platform/units/Lv2Worker.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/units/units.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>

namespace units {

namespace {

const char kStateSubject[] = "urn:trevalune:plugin-state";

ParameterUnit unitFromURI(const QString& uri) {
    static const struct {
        const char* uri;
        ParameterUnit unit;
    } table[] = {
        {LV2_UNITS__hz, ParameterUnit::Hertz},
        {LV2_UNITS__khz, ParameterUnit::Generic},
        {LV2_UNITS__db, ParameterUnit::Decibels},
        {LV2_UNITS__s, ParameterUnit::Seconds},
        {LV2_UNITS__ms, ParameterUnit::Milliseconds},
        {LV2_UNITS__pc, ParameterUnit::Percent},
        {LV2_UNITS__degree, ParameterUnit::Degrees},
        {LV2_UNITS__cent, ParameterUnit::Cents},
        {LV2_UNITS__semitone12TET, ParameterUnit::RelativeSemiTones},
        {LV2_UNITS__oct, ParameterUnit::Octaves},
        {LV2_UNITS__bpm, ParameterUnit::Generic},
        {LV2_UNITS__beat, ParameterUnit::Generic},
        {LV2_UNITS__midiNote, ParameterUnit::MIDINoteNumber},
        {LV2_UNITS__frame, ParameterUnit::SampleFrames},
        {LV2_UNITS__coef, ParameterUnit::LinearGain},
    };
    for (const auto& e : table)
        if (uri == QLatin1String(e.uri)) return e.unit;
    return ParameterUnit::Generic;
}

int logPrintf(LV2_Log_Handle, LV2_URID type, const char* fmt, ...) {
    (void)type;
    va_list args;
    va_start(args, fmt);
    int n = std::vfprintf(stderr, fmt, args);
    va_end(args);
    return n;
}

int logVprintf(LV2_Log_Handle, LV2_URID type, const char* fmt, va_list args) {
    (void)type;
    return std::vfprintf(stderr, fmt, args);
}

bool allFinite(const float* samples, uint32_t frames) {
    float acc = 0.f;
    for (uint32_t i = 0; i < frames; ++i) acc += samples[i] * 0.f;  // NaN or inf turns this NaN
    return acc == 0.f;
}

}  // namespace

struct Lv2PluginInstance::Features {
    LV2_Feature map{LV2_URID__map, nullptr};
    LV2_Feature unmap{LV2_URID__unmap, nullptr};
    int32_t minBlock = 1, maxBlock = 4096, nominalBlock = 512;
    float sampleRate = 44100.f;
    LV2_Options_Option options[5];
    LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
    LV2_Feature boundedBlock{LV2_BUF_SIZE__boundedBlockLength, nullptr};
    LV2_State_Make_Path makePath{nullptr, nullptr};
    LV2_Feature makePathFeature{LV2_STATE__makePath, &makePath};
    LV2_Log_Log log{nullptr, logPrintf, logVprintf};
    LV2_Feature logFeature{LV2_LOG__log, &log};
    const LV2_Feature* list[9] = {};
};

const Lv2ParameterInfo* Lv2PluginInstance::parameterInfo(uint32_t identifier) const {
    for (const Lv2ParameterInfo& p : parameters_)
        if (p.identifier == identifier) return &p;
    return nullptr;
}

std::unique_ptr<Lv2PluginInstance> Lv2PluginInstance::create(std::shared_ptr<const PluginCatalogue> catalogue,
                                                             const Lv2PluginDescription& plugin,
                                                             double sampleRate, uint32_t maxFrames,
                                                             QString* error) {
    std::unique_ptr<Lv2PluginInstance> self(new Lv2PluginInstance);
    self->catalogue_ = std::move(catalogue);
    self->world_ = self->catalogue_ ? self->catalogue_->world() : nullptr;
    self->description_ = plugin;
    self->sampleRate_ = sampleRate;
    self->maxFrames_ = std::max<uint32_t>(1, maxFrames);
    QString why;
    if (!self->world_) why = QStringLiteral("No plug-in catalogue");
    else if (!self->build(&why)) {}
    if (!why.isEmpty()) {
        if (error) *error = why;
        return nullptr;
    }
    return self;
}

void Lv2PluginInstance::createAsync(std::shared_ptr<const PluginCatalogue> catalogue, Lv2PluginDescription plugin,
                                    double sampleRate, uint32_t maxFrames,
                                    std::function<void(std::unique_ptr<Lv2PluginInstance>, QString)> done) {
    runOnPluginThread([=, catalogue = std::move(catalogue), plugin = std::move(plugin), done = std::move(done)]() {
        auto error = std::make_shared<QString>();
        auto holder = std::make_shared<std::unique_ptr<Lv2PluginInstance>>(
            create(catalogue, plugin, sampleRate, maxFrames, error.get()));
        MainQueue::async([holder, error, done]() { done(std::move(*holder), *error); });
    });
}

bool Lv2PluginInstance::build(QString* error) {
    std::lock_guard<std::mutex> lock(world_->mutex());
    LilvWorld* world = world_->world();
    const Lv2World::Nodes& n = world_->nodes();
    {
        Lv2Node uri(lilv_new_uri(world, description_.uri.toUtf8().constData()));
        plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri.node);
    }
    if (!plugin_) {
        *error = QStringLiteral("The plug-in \"%1\" is not installed.").arg(description_.fullName);
        return false;
    }
    atomSequenceURID_ = lv2urid::map(LV2_ATOM__Sequence);
    atomChunkURID_ = lv2urid::map(LV2_ATOM__Chunk);
    midiEventURID_ = lv2urid::map(LV2_MIDI__MidiEvent);
    Lv2Node bufferType(lilv_new_uri(world, LV2_ATOM__bufferType));
    Lv2Node sequenceType(lilv_new_uri(world, LV2_ATOM__Sequence));

    const uint32_t count = lilv_plugin_get_num_ports(plugin_);
    std::vector<float> mins(count), maxs(count), defs(count);
    lilv_plugin_get_port_ranges_float(plugin_, mins.data(), maxs.data(), defs.data());
    controls_.assign(count, 0.f);
    controlTargets_.reset(new std::atomic<float>[count]);
    for (uint32_t i = 0; i < count; ++i) controlTargets_[i].store(0.f);
    audioBuffers_.assign(count, {});
    atomBuffers_.resize(count);
    ports_.clear();

    for (uint32_t i = 0; i < count; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, i);
        bool input = lilv_port_is_a(plugin_, port, n.inputPort);
        Port p{i, Port::Other, QString::fromUtf8(lilv_node_as_string(lilv_port_get_symbol(plugin_, port)))};
        if (lilv_port_is_a(plugin_, port, n.audioPort)) {
            p.kind = input ? Port::AudioIn : Port::AudioOut;
            audioBuffers_[i].assign(maxFrames_, 0.f);
            (input ? audioIns_ : audioOuts_).push_back(i);
        } else if (lilv_port_is_a(plugin_, port, n.cvPort)) {
            p.kind = input ? Port::CvIn : Port::CvOut;
            audioBuffers_[i].assign(maxFrames_, 0.f);
        } else if (lilv_port_is_a(plugin_, port, n.controlPort)) {
            p.kind = input ? Port::ControlIn : Port::ControlOut;
            if (input) {
                float lo = std::isnan(mins[i]) ? 0.f : mins[i];
                float hi = std::isnan(maxs[i]) ? std::max(lo, 1.f) : maxs[i];
                float def = std::isnan(defs[i]) ? lo : defs[i];
                if (lilv_port_has_property(plugin_, port, n.sampleRatePort)) {
                    // The range is given as fractions of the sample rate.
                    lo *= float(sampleRate_);
                    hi *= float(sampleRate_);
                    def *= float(sampleRate_);
                }
                def = std::clamp(def, std::min(lo, hi), std::max(lo, hi));
                Lv2Node designation(lilv_port_get(plugin_, port, n.lv2Designation));
                if (designation && lilv_node_equals(designation.node, n.freewheeling)) def = 0.f;
                else if (designation && lilv_node_equals(designation.node, n.lv2Enabled)) def = 1.f;
                controls_[i] = def;
                controlTargets_[i].store(def);
                if (!designation) {
                    Lv2ParameterInfo info;
                    info.identifier = i;
                    info.symbol = p.symbol;
                    Lv2Node name(lilv_port_get_name(plugin_, port));
                    info.name = name ? name.string() : p.symbol;
                    info.minValue = lo;
                    info.maxValue = hi;
                    info.defaultValue = def;
                    info.toggled = lilv_port_has_property(plugin_, port, n.toggled);
                    info.integer = lilv_port_has_property(plugin_, port, n.integer);
                    info.logarithmic = lilv_port_has_property(plugin_, port, n.logarithmic);
                    Lv2Node unit(lilv_port_get(plugin_, port, n.unitsUnit));
                    if (unit && lilv_node_is_uri(unit.node)) info.unit = unitFromURI(unit.string());
                    if (info.toggled) {
                        info.unit = ParameterUnit::Boolean;
                        info.minValue = 0.f;
                        info.maxValue = 1.f;
                        info.defaultValue = def > 0.f ? 1.f : 0.f;
                    }
                    if (lilv_port_has_property(plugin_, port, n.enumeration)) {
                        LilvScalePoints* points = lilv_port_get_scale_points(plugin_, port);
                        std::vector<std::pair<float, QString>> list;
                        LILV_FOREACH (scale_points, it, points) {
                            const LilvScalePoint* sp = lilv_scale_points_get(points, it);
                            list.emplace_back(lilv_node_as_float(lilv_scale_point_get_value(sp)),
                                              QString::fromUtf8(lilv_node_as_string(lilv_scale_point_get_label(sp))));
                        }
                        lilv_scale_points_free(points);
                        if (!list.empty()) {
                            std::stable_sort(list.begin(), list.end(),
                                             [](const auto& a, const auto& b) { return a.first < b.first; });
                            info.enumeration = true;
                            info.unit = ParameterUnit::Indexed;
                            for (const auto& [value, label] : list) {
                                info.enumerationValues.push_back(value);
                                info.valueStrings.append(label);
                            }
                            info.minValue = 0.f;
                            info.maxValue = float(list.size() - 1);
                            info.defaultValue = fromPortValue(info, def);
                        }
                    }
                    parameters_.push_back(std::move(info));
                }
            }
        } else if (lilv_port_is_a(plugin_, port, n.atomPort)) {
            p.kind = input ? Port::AtomIn : Port::AtomOut;
            uint32_t capacity = 8192;
            Lv2Node minimum(lilv_port_get(plugin_, port, n.minimumSize));
            if (minimum && lilv_node_is_int(minimum.node))
                capacity = std::max<uint32_t>(capacity, uint32_t(lilv_node_as_int(minimum.node)));
            capacity = (capacity + 7) & ~7u;
            atomBuffers_[i].words.reset(new uint64_t[capacity / 8]());
            atomBuffers_[i].capacity = capacity;
            if (input && midiInPort_ < 0 && lilv_port_supports_event(plugin_, port, n.midiEvent))
                midiInPort_ = int(i);
        }
        ports_.push_back(p);
    }
    silence_.assign(maxFrames_, 0.f);
    scratch_.assign(maxFrames_, 0.f);

    features_ = std::make_unique<Features>();
    Features& f = *features_;
    f.map.data = lv2urid::mapFeature();
    f.unmap.data = lv2urid::unmapFeature();
    f.maxBlock = int32_t(maxFrames_);
    f.nominalBlock = int32_t(std::min<uint32_t>(maxFrames_, 512));
    f.sampleRate = float(sampleRate_);
    const LV2_URID intType = lv2urid::map(LV2_ATOM__Int), floatType = lv2urid::map(LV2_ATOM__Float);
    f.options[0] = {LV2_OPTIONS_INSTANCE, 0, lv2urid::map(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), intType, &f.minBlock};
    f.options[1] = {LV2_OPTIONS_INSTANCE, 0, lv2urid::map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), intType, &f.maxBlock};
    f.options[2] = {LV2_OPTIONS_INSTANCE, 0, lv2urid::map(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), intType, &f.nominalBlock};
    f.options[3] = {LV2_OPTIONS_INSTANCE, 0, lv2urid::map(LV2_PARAMETERS__sampleRate), sizeof(float), floatType, &f.sampleRate};
    f.options[4] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
    f.makePath.handle = this;
    f.makePath.path = [](LV2_State_Make_Path_Handle handle, const char* path) -> char* {
        auto* self = static_cast<Lv2PluginInstance*>(handle);
        QString full = self->stateFolder() + '/' + QString::fromUtf8(path);
        QDir().mkpath(QFileInfo(full).absolutePath());
        return strdup(full.toUtf8().constData());
    };
    f.log.handle = this;
    worker_ = std::make_unique<Lv2Worker>();
    int k = 0;
    f.list[k++] = &f.map;
    f.list[k++] = &f.unmap;
    f.list[k++] = &f.optionsFeature;
    f.list[k++] = &f.boundedBlock;
    f.list[k++] = worker_->feature();
    f.list[k++] = &f.makePathFeature;
    f.list[k++] = &f.logFeature;
    f.list[k] = nullptr;

    instance_ = lilv_plugin_instantiate(plugin_, sampleRate_, f.list);
    if (!instance_) {
        *error = QStringLiteral("The plug-in \"%1\" could not be loaded.").arg(description_.fullName);
        return false;
    }
    for (const Port& p : ports_) {
        void* buffer = nullptr;
        switch (p.kind) {
        case Port::AudioIn: case Port::AudioOut: case Port::CvIn: case Port::CvOut:
            buffer = audioBuffers_[p.index].data();
            break;
        case Port::ControlIn: case Port::ControlOut:
            buffer = &controls_[p.index];
            break;
        case Port::AtomIn: case Port::AtomOut: {
            auto* atom = reinterpret_cast<LV2_Atom_Sequence*>(atomBuffers_[p.index].words.get());
            atom->atom.size = sizeof(LV2_Atom_Sequence_Body);
            atom->atom.type = atomSequenceURID_;
            buffer = atom;
            break;
        }
        case Port::Other:
            break;
        }
        lilv_instance_connect_port(instance_, p.index, buffer);
    }
    worker_->start(static_cast<const LV2_Worker_Interface*>(lilv_instance_get_extension_data(instance_, LV2_WORKER__interface)),
                   lilv_instance_get_handle(instance_));

    LilvNodes* related = lilv_plugin_get_related(plugin_, n.presetClass);
    LILV_FOREACH (nodes, it, related) {
        const LilvNode* preset = lilv_nodes_get(related, it);
        lilv_world_load_resource(world, preset);
        Lv2Preset entry;
        entry.uri = QString::fromUtf8(lilv_node_as_uri(preset));
        LilvNodes* labels = lilv_world_find_nodes(world, preset, n.rdfsLabel, nullptr);
        entry.name = labels && lilv_nodes_size(labels) ? QString::fromUtf8(lilv_node_as_string(lilv_nodes_get_first(labels)))
                                                       : entry.uri.section(QRegularExpression("[/#]"), -1);
        lilv_nodes_free(labels);
        presets_.push_back(entry);
    }
    lilv_nodes_free(related);
    std::stable_sort(presets_.begin(), presets_.end(), [](const Lv2Preset& a, const Lv2Preset& b) {
        int c = QString::localeAwareCompare(a.name, b.name);
        return c != 0 ? c < 0 : a.uri < b.uri;
    });
    for (size_t i = 0; i < presets_.size(); ++i) presets_[i].number = int32_t(i);

    lilv_instance_activate(instance_);
    return true;
}

Lv2PluginInstance::~Lv2PluginInstance() {
    if (!instance_) return;
    {
        std::lock_guard<std::mutex> lock(runMutex_);
        lilv_instance_deactivate(instance_);
        // The worker thread may still call into the instance: it ends before
        // the instance does, and is joined without the world's lock held.
        worker_.reset();
    }
    // Freeing the last instance of a plug-in unloads its library, and lilv
    // counts a library's instances in the world unguarded: freeing under the
    // world's lock keeps another thread from instantiating from a library
    // that is being unloaded.
    std::lock_guard<std::mutex> worldLock(world_->mutex());
    std::lock_guard<std::mutex> runLock(runMutex_);
    lilv_instance_free(instance_);
    instance_ = nullptr;
}

float Lv2PluginInstance::toPortValue(const Lv2ParameterInfo& info, float value) const {
    value = std::clamp(value, std::min(info.minValue, info.maxValue), std::max(info.minValue, info.maxValue));
    if (info.enumeration) {
        size_t index = size_t(std::lround(value));
        return info.enumerationValues[std::min(index, info.enumerationValues.size() - 1)];
    }
    if (info.toggled) return value > 0.f ? 1.f : 0.f;
    if (info.integer) return std::round(value);
    return value;
}

float Lv2PluginInstance::fromPortValue(const Lv2ParameterInfo& info, float portValue) const {
    if (!info.enumeration) return portValue;
    size_t best = 0;
    for (size_t i = 1; i < info.enumerationValues.size(); ++i)
        if (std::fabs(info.enumerationValues[i] - portValue) < std::fabs(info.enumerationValues[best] - portValue))
            best = i;
    return float(best);
}

float Lv2PluginInstance::parameter(uint32_t identifier) const {
    const Lv2ParameterInfo* info = parameterInfo(identifier);
    if (!info) return std::nanf("");
    return fromPortValue(*info, controlTargets_[identifier].load(std::memory_order_relaxed));
}

bool Lv2PluginInstance::setParameter(uint32_t identifier, float value) {
    const Lv2ParameterInfo* info = parameterInfo(identifier);
    if (!info || std::isnan(value)) return false;
    controlTargets_[identifier].store(toPortValue(*info, value), std::memory_order_relaxed);
    return true;
}

void Lv2PluginInstance::resetParametersToDefaults() {
    for (const Lv2ParameterInfo& p : parameters_) setParameter(p.identifier, p.defaultValue);
}

bool Lv2PluginInstance::midiEvent(uint8_t status, uint8_t data1, uint8_t data2) {
    if (midiInPort_ < 0 || midiMessageLength(status) == 0) return false;
    return midi_.push({status, uint8_t(data1 & 0x7F), uint8_t(data2 & 0x7F)});
}

void Lv2PluginInstance::bypass(uint32_t frames, const float* const* inputs, int numInputs, float* const* outputs,
                               int numOutputs) {
    for (int j = 0; j < numOutputs; ++j) {
        const float* src = (!isInstrument() && numInputs > 0) ? inputs[std::min(j, numInputs - 1)] : nullptr;
        if (src == outputs[j]) continue;
        if (src) std::memmove(outputs[j], src, frames * sizeof(float));
        else std::memset(outputs[j], 0, frames * sizeof(float));
    }
}

bool Lv2PluginInstance::render(uint32_t frames, const float* const* inputs, int numInputs, float* const* outputs,
                               int numOutputs) {
    if (frames == 0) return true;
    if (frames > maxFrames_ || !runMutex_.try_lock()) {
        bypass(frames, inputs, numInputs, outputs, numOutputs);
        bypassed_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    std::lock_guard<std::mutex> lock(runMutex_, std::adopt_lock);
    if (resetPending_.exchange(false, std::memory_order_acquire)) {
        lilv_instance_deactivate(instance_);
        lilv_instance_activate(instance_);
    }

    for (const Port& p : ports_) {
        switch (p.kind) {
        case Port::ControlIn:
            controls_[p.index] = controlTargets_[p.index].load(std::memory_order_relaxed);
            break;
        case Port::AudioIn: {
            // Inputs are copied: a plug-in may write its outputs before it has
            // read all of its inputs.
            size_t k = size_t(std::find(audioIns_.begin(), audioIns_.end(), p.index) - audioIns_.begin());
            float* dst = audioBuffers_[p.index].data();
            if (numInputs <= 0) {
                std::memset(dst, 0, frames * sizeof(float));
            } else if (audioIns_.size() == 1 && numInputs > 1) {
                // A mono plug-in in a wider chain hears the mix of its channels.
                const float scale = 1.f / float(numInputs);
                for (uint32_t i = 0; i < frames; ++i) {
                    float sum = 0.f;
                    for (int c = 0; c < numInputs; ++c) sum += inputs[c][i];
                    dst[i] = sum * scale;
                }
            } else {
                std::memcpy(dst, inputs[std::min<int>(int(k), numInputs - 1)], frames * sizeof(float));
            }
            break;
        }
        case Port::AtomIn: {
            AtomBuffer& b = atomBuffers_[p.index];
            auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(b.words.get());
            seq->atom.type = atomSequenceURID_;
            seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
            seq->body.unit = 0;
            seq->body.pad = 0;
            if (int(p.index) == midiInPort_) {
                MidiMessage m;
                while (midi_.pop(&m)) {
                    struct {
                        LV2_Atom_Event event;
                        uint8_t bytes[4];
                    } ev{};
                    ev.event.time.frames = 0;
                    ev.event.body.type = midiEventURID_;
                    ev.event.body.size = uint32_t(midiMessageLength(m.status));
                    ev.bytes[0] = m.status;
                    ev.bytes[1] = m.data1;
                    ev.bytes[2] = m.data2;
                    if (!lv2_atom_sequence_append_event(seq, b.capacity - sizeof(LV2_Atom), &ev.event)) break;
                }
            }
            break;
        }
        case Port::AtomOut: {
            AtomBuffer& b = atomBuffers_[p.index];
            auto* atom = reinterpret_cast<LV2_Atom*>(b.words.get());
            atom->type = atomChunkURID_;
            atom->size = b.capacity - sizeof(LV2_Atom);
            break;
        }
        default:
            break;
        }
    }

    lilv_instance_run(instance_, frames);
    worker_->deliverResponses();
    worker_->endRun();

    bool finite = true;
    for (uint32_t out : audioOuts_) finite = finite && allFinite(audioBuffers_[out].data(), frames);
    if (!finite || audioOuts_.empty()) {
        bypass(frames, inputs, numInputs, outputs, numOutputs);
        bypassed_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    for (int j = 0; j < numOutputs; ++j) {
        uint32_t port = audioOuts_[std::min<size_t>(size_t(j), audioOuts_.size() - 1)];
        std::memcpy(outputs[j], audioBuffers_[port].data(), frames * sizeof(float));
    }
    return true;
}

void Lv2PluginInstance::reset() {
    std::lock_guard<std::mutex> lock(runMutex_);
    midi_.clear();
    resetPending_.store(false);
    lilv_instance_deactivate(instance_);
    lilv_instance_activate(instance_);
}

QString Lv2PluginInstance::stateFolder() const {
    if (stateFolder_.isEmpty())
        stateFolder_ = apppaths::dataFolder() + QStringLiteral("/PluginState/") +
                       QUuid::createUuid().toString(QUuid::WithoutBraces);
    QDir().mkpath(stateFolder_);
    return stateFolder_;
}

const void* Lv2PluginInstance::portValueForState(const char* symbol, void* user, uint32_t* size, uint32_t* type) {
    auto* self = static_cast<Lv2PluginInstance*>(user);
    for (const Port& p : self->ports_) {
        if (p.kind == Port::ControlIn && p.symbol == QLatin1String(symbol)) {
            // lilv copies the value before the next call.
            self->controls_[p.index] = self->controlTargets_[p.index].load();
            *size = sizeof(float);
            *type = lv2urid::map(LV2_ATOM__Float);
            return &self->controls_[p.index];
        }
    }
    *size = 0;
    *type = 0;
    return nullptr;
}

void Lv2PluginInstance::setPortValueFromState(const char* symbol, void* user, const void* value, uint32_t size,
                                              uint32_t type) {
    auto* self = static_cast<Lv2PluginInstance*>(user);
    float v;
    if (type == lv2urid::map(LV2_ATOM__Float) && size == sizeof(float)) v = *static_cast<const float*>(value);
    else if (type == lv2urid::map(LV2_ATOM__Double) && size == sizeof(double)) v = float(*static_cast<const double*>(value));
    else if (type == lv2urid::map(LV2_ATOM__Int) && size == sizeof(int32_t)) v = float(*static_cast<const int32_t*>(value));
    else if (type == lv2urid::map(LV2_ATOM__Long) && size == sizeof(int64_t)) v = float(*static_cast<const int64_t*>(value));
    else if (type == lv2urid::map(LV2_ATOM__Bool) && size == sizeof(int32_t)) v = *static_cast<const int32_t*>(value) ? 1.f : 0.f;
    else return;
    for (const Port& p : self->ports_)
        if (p.kind == Port::ControlIn && p.symbol == QLatin1String(symbol)) {
            self->controlTargets_[p.index].store(v);
            self->controls_[p.index] = v;
        }
}

QCborMap Lv2PluginInstance::classInfo() const {
    auto* self = const_cast<Lv2PluginInstance*>(this);
    std::lock_guard<std::mutex> worldLock(world_->mutex());
    std::lock_guard<std::mutex> runLock(runMutex_);
    QByteArray folder = stateFolder().toUtf8();
    LilvState* state = lilv_state_new_from_instance(plugin_, instance_, lv2urid::mapFeature(), folder.constData(),
                                                    nullptr, nullptr, folder.constData(), &portValueForState, self,
                                                    LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features_->list);
    // Plug-ins that keep nothing in files leave the folder empty: remove it.
    QDir().rmdir(QString::fromUtf8(folder));
    stateFolder_.clear();
    QCborMap info;
    info.insert(QStringLiteral("pluginURI"), description_.uri);
    if (state) {
        char* text = lilv_state_to_string(world_->world(), lv2urid::mapFeature(), lv2urid::unmapFeature(), state,
                                          kStateSubject, nullptr);
        if (text) info.insert(QStringLiteral("state"), QString::fromUtf8(text));
        lilv_free(text);
        lilv_state_free(state);
    }
    return info;
}

bool Lv2PluginInstance::setClassInfo(const QCborMap& info, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    QCborValue uri = info.value(QStringLiteral("pluginURI"));
    QCborValue text = info.value(QStringLiteral("state"));
    if (!uri.isString() || !text.isString()) return fail(QStringLiteral("The plug-in state is incomplete."));
    if (uri.toString() != description_.uri)
        return fail(QStringLiteral("The plug-in state belongs to another plug-in (%1).").arg(uri.toString()));
    std::lock_guard<std::mutex> worldLock(world_->mutex());
    LilvState* state = lilv_state_new_from_string(world_->world(), lv2urid::mapFeature(),
                                                  text.toString().toUtf8().constData());
    if (!state) return fail(QStringLiteral("The plug-in state cannot be read."));
    const LilvNode* stateURI = lilv_state_get_plugin_uri(state);
    if (!stateURI || QString::fromUtf8(lilv_node_as_uri(stateURI)) != description_.uri) {
        lilv_state_free(state);
        return fail(QStringLiteral("The plug-in state belongs to another plug-in."));
    }
    {
        std::lock_guard<std::mutex> runLock(runMutex_);
        lilv_state_restore(state, instance_, &setPortValueFromState, this, 0, features_->list);
    }
    lilv_state_free(state);
    return true;
}

Lv2Preset Lv2PluginInstance::presentPreset() const {
    Lv2Preset p;
    p.number = presentNumber_;
    p.name = presentName_;
    if (presentNumber_ >= 0 && size_t(presentNumber_) < presets_.size()) p.uri = presets_[size_t(presentNumber_)].uri;
    return p;
}

bool Lv2PluginInstance::setPresentPreset(int32_t number, const QString& name) {
    if (number < 0) {
        presentNumber_ = number;
        presentName_ = name;
        return true;
    }
    if (size_t(number) >= presets_.size()) return false;
    const Lv2Preset& preset = presets_[size_t(number)];
    std::lock_guard<std::mutex> worldLock(world_->mutex());
    Lv2Node node(lilv_new_uri(world_->world(), preset.uri.toUtf8().constData()));
    LilvState* state = lilv_state_new_from_world(world_->world(), lv2urid::mapFeature(), node.node);
    if (!state) return false;
    {
        std::lock_guard<std::mutex> runLock(runMutex_);
        lilv_state_restore(state, instance_, &setPortValueFromState, this, 0, features_->list);
    }
    lilv_state_free(state);
    presentNumber_ = number;
    presentName_ = preset.name;
    return true;
}

}  // namespace units
