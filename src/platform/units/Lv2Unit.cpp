#include "platform/units/Lv2Unit.h"

#include <QCborArray>

#include <cmath>

namespace units {

namespace {
uint32_t inputElementsFor(const Lv2PluginInstance& instance) {
    return instance.isInstrument() && instance.audioInputCount() == 0 ? 0 : 1;
}
}  // namespace

Lv2Unit::Lv2Unit(const ComponentDescription& description, std::unique_ptr<Lv2PluginInstance> instance)
    : Unit(description, instance->description().fullName, inputElementsFor(*instance), 1),
      instance_(std::move(instance)) {
    for (const Lv2ParameterInfo& p : instance_->parameters()) {
        ParameterInfo info;
        info.name = p.name;
        info.unit = p.unit;
        info.minValue = p.minValue;
        info.maxValue = p.maxValue;
        info.defaultValue = p.defaultValue;
        if (p.logarithmic) info.flags |= ParameterInfo::Logarithmic;
        addParameter(p.identifier, info, p.valueStrings);
    }
}

Lv2Unit::~Lv2Unit() = default;

Status Lv2Unit::doInitialize() {
    if (instance_->sampleRate() == sampleRate() && instance_->maxFrames() >= maximumFramesPerSlice())
        return Status::Ok;
    QString error;
    std::unique_ptr<Lv2PluginInstance> fresh = Lv2PluginInstance::create(
        instance_->catalogue(), instance_->description(), sampleRate(), maximumFramesPerSlice(), &error);
    if (!fresh) return Status::FailedInitialization;
    QCborMap state = instance_->classInfo();
    fresh->setClassInfo(state);
    instance_ = std::move(fresh);
    // The unit's parameter values are the ones in force.
    for (ParameterID id : parameterList()) instance_->setParameter(id, parameterSlot(id).load());
    return Status::Ok;
}

void Lv2Unit::doReset() { instance_->requestReset(); }

Status Lv2Unit::doRender(RenderActionFlags& flags, const TimeStamp& timeStamp, uint32_t, uint32_t frames,
                         BufferList& io) {
    const bool hasInputElement = elementCount(Scope::Input) > 0;
    if (hasInputElement) {
        if (Status s = pullInput(flags, timeStamp, 0, frames, io); !ok(s)) return s;
        if (bypass()) return Status::Ok;
    }
    float* channels[BufferList::kCapacity];
    const uint32_t n = std::min(io.numberBuffers, outputChannelCount());
    for (uint32_t i = 0; i < n; ++i) {
        channels[i] = io.channel(i);
        if (!channels[i]) return Status::ParamError;
    }
    // The instance copies its inputs before it runs, so rendering in place is
    // safe; a slice it cannot run leaves the input (or silence) in place.
    instance_->render(frames, hasInputElement ? channels : nullptr, hasInputElement ? int(n) : 0, channels, int(n));
    return Status::Ok;
}

void Lv2Unit::parameterChanged(ParameterID id, float value) { instance_->setParameter(id, value); }

Status Lv2Unit::midiEvent(uint32_t status, uint32_t data1, uint32_t data2, uint32_t) {
    if (!instance_->acceptsMIDI()) return Status::Unimplemented;
    return instance_->midiEvent(uint8_t(status), uint8_t(data1), uint8_t(data2)) ? Status::Ok
                                                                                 : Status::CannotDoInCurrentContext;
}

void Lv2Unit::saveState(QCborMap& state) const { state.insert(QStringLiteral("data"), instance_->classInfo()); }

Status Lv2Unit::restoreState(const QCborMap& state) {
    const QCborValue data = state.value(QStringLiteral("data"));
    if (data.isUndefined()) return Status::Ok;
    if (!data.isMap()) return Status::InvalidPropertyValue;
    if (!instance_->setClassInfo(data.toMap())) return Status::InvalidPropertyValue;
    copyParametersFromInstance();
    return Status::Ok;
}

QList<Preset> Lv2Unit::doFactoryPresets() const {
    QList<Preset> presets;
    for (const Lv2Preset& p : instance_->factoryPresets()) presets.append(Preset{p.number, p.name});
    return presets;
}

Status Lv2Unit::applyFactoryPreset(int32_t number) {
    if (!instance_->setPresentPreset(number, QString())) return Status::InvalidPropertyValue;
    copyParametersFromInstance();
    return Status::Ok;
}

void Lv2Unit::copyParametersFromInstance() {
    for (const Lv2ParameterInfo& p : instance_->parameters()) {
        const float v = instance_->parameter(p.identifier);
        if (!std::isnan(v)) setParameter(p.identifier, v);
    }
}

}  // namespace units
