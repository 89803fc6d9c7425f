#include "platform/units/Unit.h"

#include "platform/units/Dsp.h"
#include "platform/units/EventListener.h"

#include <QCborArray>

#include <algorithm>
#include <cmath>

namespace units {

FourCC fourCCFromString(const QString& text) {
    if (text.size() != 4) return 0;
    FourCC code = 0;
    for (QChar c : text) {
        if (c.unicode() > 0xFF) return 0;
        code = (code << 8) | c.unicode();
    }
    return code;
}

QString fourCCToString(FourCC code) {
    QString s;
    for (int shift = 24; shift >= 0; shift -= 8) s += QChar(char16_t((code >> shift) & 0xFF));
    return s;
}

const char* statusText(Status s) {
    switch (s) {
    case Status::Ok: return "no error";
    case Status::InvalidProperty: return "invalid property";
    case Status::InvalidParameter: return "invalid parameter";
    case Status::InvalidElement: return "invalid element";
    case Status::NoConnection: return "no input connected";
    case Status::FailedInitialization: return "initialisation failed";
    case Status::TooManyFramesToProcess: return "too many frames to process";
    case Status::InvalidFile: return "invalid file";
    case Status::FormatNotSupported: return "format not supported";
    case Status::Uninitialized: return "unit not initialised";
    case Status::InvalidScope: return "invalid scope";
    case Status::PropertyNotWritable: return "property not writable";
    case Status::CannotDoInCurrentContext: return "cannot do in current context";
    case Status::InvalidPropertyValue: return "invalid property value";
    case Status::PropertyNotInUse: return "property not in use";
    case Status::Initialized: return "unit already initialised";
    case Status::InvalidOfflineRender: return "invalid offline render";
    case Status::Unauthorized: return "unauthorised";
    case Status::ComponentNotFound: return "component not found";
    case Status::InstantiationFailed: return "instantiation failed";
    case Status::Unimplemented: return "not implemented";
    case Status::ParamError: return "bad argument";
    }
    return "unknown error";
}

bool ComponentDescription::matches(const ComponentDescription& p) const {
    return (!p.componentType || p.componentType == componentType) &&
           (!p.componentSubType || p.componentSubType == componentSubType) &&
           (!p.componentManufacturer || p.componentManufacturer == componentManufacturer) &&
           ((componentFlags & p.componentFlagsMask) == (p.componentFlags & p.componentFlagsMask));
}

struct Unit::Parameter {
    ParameterID id = 0;
    ParameterInfo info;
    QStringList valueStrings;
    std::atomic<float> value{0.0f};
    std::atomic<bool> listed{true};
};

Unit::Unit(const ComponentDescription& description, const QString& name, uint32_t inputElements,
           uint32_t outputElements)
    : description_(description), name_(name), outputElements_(outputElements) {
    inputFormats_.assign(inputElements, StreamFormat{});
    inputs_.resize(inputElements);
}

Unit::~Unit() { EventHub::instance().unitGone(this); }

// ---------------------------------------------------------------- life cycle

Status Unit::initialize() {
    if (initialized_) return Status::Ok;
    if (Status s = checkFormats(); !ok(s)) return s;
    outputMemory_.assign(size_t(outputFormat_.channelCount) * maxFrames_, 0.0f);
    if (Status s = doInitialize(); !ok(s)) {
        outputMemory_ = {};
        return s;
    }
    resetPending_.store(false);
    initialized_ = true;
    return Status::Ok;
}

Status Unit::uninitialize() {
    if (!initialized_) return Status::Ok;
    doUninitialize();
    outputMemory_ = {};
    initialized_ = false;
    return Status::Ok;
}

Status Unit::reset(Scope scope, Element) {
    if (scope != Scope::Global && scope != Scope::Input && scope != Scope::Output)
        return Status::InvalidScope;
    if (initialized_) resetPending_.store(true, std::memory_order_release);
    return Status::Ok;
}

void Unit::applyPendingReset() {
    if (resetPending_.exchange(false, std::memory_order_acq_rel)) doReset();
}

Status Unit::checkFormats() const {
    for (const StreamFormat& in : inputFormats_)
        if (in.channelCount != outputFormat_.channelCount || in.sampleRate != outputFormat_.sampleRate)
            return Status::FormatNotSupported;
    return Status::Ok;
}

// ---------------------------------------------------------------- rendering

Status Unit::render(RenderActionFlags* actionFlags, const TimeStamp& timeStamp, uint32_t outputBus,
                    uint32_t frames, BufferList* ioData) {
    if (!initialized_) return Status::Uninitialized;
    if (!ioData) return Status::ParamError;
    if (outputBus >= outputElements_) return Status::InvalidElement;
    if (frames > maxFrames_) return Status::TooManyFramesToProcess;
    if (ioData->numberBuffers > BufferList::kCapacity) return Status::ParamError;
    applyPendingReset();

    // Buffers handed in without memory render into the unit's own.
    for (uint32_t i = 0; i < ioData->numberBuffers; ++i) {
        AudioBuffer& b = ioData->buffers[i];
        if (!b.data) {
            const uint32_t ch = std::min(i, outputFormat_.channelCount ? outputFormat_.channelCount - 1 : 0);
            b.data = outputMemory_.data() + size_t(ch) * maxFrames_;
            b.numberChannels = 1;
        }
        b.dataByteSize = frames * sizeof(float) * b.numberChannels;
    }

    RenderActionFlags flags = actionFlags ? *actionFlags : 0;
    for (Notify& n : notifies_) {
        if (RenderCallback proc = n.proc.load(std::memory_order_acquire)) {
            RenderActionFlags pre = flags | PreRender;
            proc(n.refCon.load(std::memory_order_relaxed), &pre, timeStamp, outputBus, frames, ioData);
        }
    }
    Status status = frames == 0 ? Status::Ok : doRender(flags, timeStamp, outputBus, frames, *ioData);
    lastSampleTime_.store(timeStamp.sampleTime, std::memory_order_relaxed);
    for (Notify& n : notifies_) {
        if (RenderCallback proc = n.proc.load(std::memory_order_acquire)) {
            RenderActionFlags post = flags | PostRender | (ok(status) ? 0u : uint32_t(PostRenderError));
            proc(n.refCon.load(std::memory_order_relaxed), &post, timeStamp, outputBus, frames, ioData);
        }
    }
    if (actionFlags) *actionFlags = flags;
    return status;
}

Status Unit::pullInput(RenderActionFlags& flags, const TimeStamp& timeStamp, uint32_t bus,
                       uint32_t frames, BufferList& into) {
    if (bus >= inputs_.size()) return Status::InvalidElement;
    const Input& in = inputs_[bus];
    into.setFrames(frames);
    if (in.source) {
        RenderActionFlags f = 0;
        return in.source->render(&f, timeStamp, in.sourceBus, frames, &into);
    }
    if (in.callback.inputProc) {
        RenderActionFlags f = flags & ~(uint32_t(PreRender) | uint32_t(PostRender));
        return in.callback.inputProc(in.callback.inputProcRefCon, &f, timeStamp, bus, frames, &into);
    }
    return Status::NoConnection;
}

Status EffectUnit::doRender(RenderActionFlags& flags, const TimeStamp& timeStamp, uint32_t,
                            uint32_t frames, BufferList& io) {
    if (Status s = pullInput(flags, timeStamp, 0, frames, io); !ok(s)) return s;
    if (bypass()) return Status::Ok;
    float* channels[BufferList::kCapacity];
    const uint32_t n = std::min(io.numberBuffers, outputChannelCount());
    for (uint32_t i = 0; i < n; ++i) {
        channels[i] = io.channel(i);
        if (!channels[i]) return Status::ParamError;
    }
    dsp::DenormalGuard guard;
    process(channels, n, frames);
    return Status::Ok;
}

// ---------------------------------------------------------------- properties

bool Unit::hasProperty(PropertyID id, Scope scope, Element element) const {
    switch (id) {
    case PropertyID::StreamFormat:
        if (scope == Scope::Input) return element < inputFormats_.size();
        if (scope == Scope::Output) return element < outputElements_;
        return false;
    case PropertyID::SetRenderCallback:
    case PropertyID::MakeConnection:
        return scope == Scope::Input && element < inputs_.size();
    case PropertyID::NumberOfBands:
        return scope == Scope::Global && supportsBands();
    case PropertyID::BypassEffect:
        return scope == Scope::Global && !inputs_.empty();
    case PropertyID::FactoryPresets:
        return scope == Scope::Global && !doFactoryPresets().isEmpty();
    default:
        return scope == Scope::Global;
    }
}

uint32_t Unit::elementCount(Scope scope) const {
    switch (scope) {
    case Scope::Global: return 1;
    case Scope::Input: return uint32_t(inputFormats_.size());
    case Scope::Output: return outputElements_;
    }
    return 0;
}

bool Unit::supportsFormat(Scope, Element, const StreamFormat& format) const {
    return format.isCanonical() && format.channelCount <= BufferList::kCapacity &&
           std::isfinite(format.sampleRate) && format.sampleRate >= 1000.0 &&
           format.sampleRate <= 768000.0;
}

Status Unit::setStreamFormat(Scope scope, Element element, const StreamFormat& format) {
    if (scope == Scope::Global) return Status::InvalidScope;
    if (scope == Scope::Input && element >= inputFormats_.size()) return Status::InvalidElement;
    if (scope == Scope::Output && element >= outputElements_) return Status::InvalidElement;
    if (initialized_) {
        const StreamFormat current = streamFormat(scope, element);
        if (current == format) return Status::Ok;
        return Status::Initialized;
    }
    if (!supportsFormat(scope, element, format)) return Status::FormatNotSupported;
    if (scope == Scope::Input) inputFormats_[element] = format;
    else outputFormat_ = format;
    return Status::Ok;
}

StreamFormat Unit::streamFormat(Scope scope, Element element) const {
    if (scope == Scope::Input && element < inputFormats_.size()) return inputFormats_[element];
    return outputFormat_;
}

Status Unit::setMaximumFramesPerSlice(uint32_t frames) {
    if (frames == 0 || frames > 1u << 16) return Status::InvalidPropertyValue;
    if (initialized_) return frames == maxFrames_ ? Status::Ok : Status::Initialized;
    maxFrames_ = frames;
    return Status::Ok;
}

Status Unit::setRenderCallback(Element inputBus, const RenderCallbackStruct& callback) {
    if (inputBus >= inputs_.size()) return Status::InvalidElement;
    inputs_[inputBus].source = nullptr;
    inputs_[inputBus].callback = callback;
    return Status::Ok;
}

Status Unit::setInputConnection(Element inputBus, Unit* source, uint32_t sourceOutputBus) {
    if (inputBus >= inputs_.size()) return Status::InvalidElement;
    if (source == this) return Status::InvalidPropertyValue;
    inputs_[inputBus].callback = {};
    inputs_[inputBus].source = source;
    inputs_[inputBus].sourceBus = sourceOutputBus;
    return Status::Ok;
}

bool Unit::hasInput(Element inputBus) const {
    return inputBus < inputs_.size() &&
           (inputs_[inputBus].source || inputs_[inputBus].callback.inputProc);
}

Status Unit::addRenderNotify(RenderCallback proc, void* refCon) {
    if (!proc) return Status::ParamError;
    for (Notify& n : notifies_) {
        if (!n.proc.load()) {
            n.refCon.store(refCon);
            n.proc.store(proc, std::memory_order_release);
            return Status::Ok;
        }
    }
    return Status::CannotDoInCurrentContext;
}

Status Unit::removeRenderNotify(RenderCallback proc, void* refCon) {
    for (Notify& n : notifies_) {
        if (n.proc.load() == proc && n.refCon.load() == refCon) {
            n.proc.store(nullptr, std::memory_order_release);
            return Status::Ok;
        }
    }
    return Status::InvalidPropertyValue;
}

// ---------------------------------------------------------------- parameters

void Unit::addParameter(ParameterID id, const ParameterInfo& info, const QStringList& valueStrings) {
    auto p = std::make_unique<Parameter>();
    p->id = id;
    p->info = info;
    p->valueStrings = valueStrings;
    if (!valueStrings.isEmpty()) p->info.flags |= ParameterInfo::HasValueStrings;
    p->value.store(std::clamp(info.defaultValue, info.minValue, info.maxValue));
    auto at = std::lower_bound(byId_.begin(), byId_.end(), id,
                               [](const Parameter* a, ParameterID b) { return a->id < b; });
    if (at != byId_.end() && (*at)->id == id) return;  // declared twice: keep the first
    byId_.insert(at, p.get());
    parameters_.push_back(std::move(p));
}

Unit::Parameter* Unit::find(ParameterID id) const {
    auto at = std::lower_bound(byId_.begin(), byId_.end(), id,
                               [](const Parameter* a, ParameterID b) { return a->id < b; });
    return at != byId_.end() && (*at)->id == id ? *at : nullptr;
}

const std::atomic<float>& Unit::parameterSlot(ParameterID id) const {
    static const std::atomic<float> none{0.0f};
    Parameter* p = find(id);
    return p ? p->value : none;
}

void Unit::setParametersListed(ParameterID first, ParameterID last, bool listed) {
    bool changed = false;
    for (auto& p : parameters_)
        if (p->id >= first && p->id <= last && p->listed.exchange(listed) != listed) changed = true;
    if (changed) notifyPropertyChanged(PropertyID::ParameterList);
}

std::vector<ParameterID> Unit::parameterList(Scope scope) const {
    std::vector<ParameterID> ids;
    if (scope != Scope::Global) return ids;
    for (const auto& p : parameters_)
        if (p->listed.load()) ids.push_back(p->id);
    return ids;
}

Status Unit::parameterInfo(Scope scope, ParameterID id, ParameterInfo* info) const {
    if (scope != Scope::Global) return Status::InvalidScope;
    Parameter* p = find(id);
    if (!p || !p->listed.load()) return Status::InvalidParameter;
    if (info) *info = p->info;
    return Status::Ok;
}

QStringList Unit::parameterValueStrings(Scope scope, ParameterID id) const {
    if (scope != Scope::Global) return {};
    Parameter* p = find(id);
    return p && p->listed.load() ? p->valueStrings : QStringList();
}

Status Unit::getParameter(ParameterID id, Scope scope, Element element, float* value) const {
    if (scope != Scope::Global) return Status::InvalidScope;
    if (element != 0) return Status::InvalidElement;
    Parameter* p = find(id);
    if (!p || !p->listed.load(std::memory_order_relaxed)) return Status::InvalidParameter;
    if (value) *value = p->value.load(std::memory_order_relaxed);
    return Status::Ok;
}

Status Unit::setParameter(ParameterID id, Scope scope, Element element, float value, uint32_t) {
    if (scope != Scope::Global) return Status::InvalidScope;
    if (element != 0) return Status::InvalidElement;
    Parameter* p = find(id);
    if (!p || !p->listed.load(std::memory_order_relaxed)) return Status::InvalidParameter;
    if (std::isnan(value)) return Status::InvalidPropertyValue;
    const float v = std::clamp(value, p->info.minValue, p->info.maxValue);
    p->value.store(v, std::memory_order_relaxed);
    parameterChanged(id, v);
    return Status::Ok;
}

float Unit::parameter(ParameterID id) const {
    float v = 0.0f;
    return ok(getParameter(id, Scope::Global, 0, &v)) ? v : 0.0f;
}

void Unit::resetParametersToDefaults() {
    for (auto& p : parameters_) {
        const float v = std::clamp(p->info.defaultValue, p->info.minValue, p->info.maxValue);
        p->value.store(v, std::memory_order_relaxed);
        parameterChanged(p->id, v);
    }
}

// ---------------------------------------------------------------- state

// Class information: {"type", "subtype", "manufacturer": unsigned codes;
// "version": 0; "name": the present preset's name; "bands": band count (units
// with bands); "parameters": array of [identifier, value] pairs for every
// declared parameter, listed or not; "data": the unit's own state, if any}.
QCborMap Unit::classInfo() const {
    QCborMap state;
    state.insert(QStringLiteral("type"), qint64(description_.componentType));
    state.insert(QStringLiteral("subtype"), qint64(description_.componentSubType));
    state.insert(QStringLiteral("manufacturer"), qint64(description_.componentManufacturer));
    state.insert(QStringLiteral("version"), 0);
    state.insert(QStringLiteral("name"), presentPreset_.name);
    if (supportsBands()) state.insert(QStringLiteral("bands"), qint64(doNumberOfBands()));
    QCborArray values;
    for (const auto& p : parameters_)
        values.append(QCborArray{qint64(p->id), double(p->value.load(std::memory_order_relaxed))});
    state.insert(QStringLiteral("parameters"), values);
    saveState(state);
    return state;
}

Status Unit::setClassInfo(const QCborMap& state) {
    auto code = [&](const char* key) { return state.value(QLatin1String(key)); };
    if (!code("type").isInteger() || !code("subtype").isInteger() || !code("manufacturer").isInteger())
        return Status::InvalidPropertyValue;
    if (FourCC(code("type").toInteger()) != description_.componentType ||
        FourCC(code("subtype").toInteger()) != description_.componentSubType ||
        FourCC(code("manufacturer").toInteger()) != description_.componentManufacturer)
        return Status::InvalidPropertyValue;
    const QCborValue params = state.value(QStringLiteral("parameters"));
    if (!params.isUndefined() && !params.isArray()) return Status::InvalidPropertyValue;
    for (const QCborValue& entry : params.toArray()) {
        const QCborArray pair = entry.toArray();
        if (!entry.isArray() || pair.size() != 2 || !pair[0].isInteger() ||
            !(pair[1].isDouble() || pair[1].isInteger()))
            return Status::InvalidPropertyValue;
    }
    const QCborValue bands = state.value(QStringLiteral("bands"));
    if (supportsBands() && bands.isInteger())
        if (Status s = doSetNumberOfBands(uint32_t(bands.toInteger())); !ok(s)) return s;
    if (Status s = restoreState(state); !ok(s)) return s;
    for (const QCborValue& entry : params.toArray()) {
        const QCborArray pair = entry.toArray();
        if (Parameter* p = find(ParameterID(pair[0].toInteger()))) {
            const float v = std::clamp(float(pair[1].toDouble()), p->info.minValue, p->info.maxValue);
            p->value.store(v, std::memory_order_relaxed);
            parameterChanged(p->id, v);
        }
    }
    if (state.value(QStringLiteral("name")).isString())
        presentPreset_ = {-1, state.value(QStringLiteral("name")).toString()};
    notifyPropertyChanged(PropertyID::ClassInfo);
    return Status::Ok;
}

Status Unit::setPresentPreset(const Preset& preset) {
    if (preset.number >= 0) {
        const QList<Preset> factory = doFactoryPresets();
        auto it = std::find_if(factory.begin(), factory.end(),
                               [&](const Preset& p) { return p.number == preset.number; });
        if (it == factory.end()) return Status::InvalidPropertyValue;
        if (Status s = applyFactoryPreset(preset.number); !ok(s)) return s;
        presentPreset_ = *it;
    } else {
        presentPreset_ = preset;
    }
    notifyPropertyChanged(PropertyID::PresentPreset);
    return Status::Ok;
}

Status Unit::setBypass(bool on) {
    if (inputs_.empty()) return Status::InvalidProperty;
    if (bypass_.exchange(on) != on) {
        if (!on) reset();
        notifyPropertyChanged(PropertyID::BypassEffect);
    }
    return Status::Ok;
}

Status Unit::numberOfBands(uint32_t* bands) const {
    if (!supportsBands()) return Status::InvalidProperty;
    if (bands) *bands = doNumberOfBands();
    return Status::Ok;
}

Status Unit::setNumberOfBands(uint32_t bands) {
    if (!supportsBands()) return Status::InvalidProperty;
    if (bands == doNumberOfBands()) return Status::Ok;
    Status s = doSetNumberOfBands(bands);
    if (ok(s)) notifyPropertyChanged(PropertyID::NumberOfBands);
    return s;
}

Status Unit::midiEvent(uint32_t, uint32_t, uint32_t, uint32_t) { return Status::Unimplemented; }

void Unit::notifyPropertyChanged(PropertyID id, Scope scope, Element element) {
    EventHub::instance().post(UnitEvent::propertyEvent(this, id, scope, element), 0.0f, nullptr,
                              nullptr);
}

}  // namespace units
