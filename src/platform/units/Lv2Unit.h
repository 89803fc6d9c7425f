#pragma once

// An LV2 plug-in as a unit: its audio ports are the unit's bus (one input
// element for effects and for instruments with audio inputs, none for pure
// instruments, one output element), its control input ports are the unit's
// parameters (identifier = port index), its MIDI input is the unit's MIDI,
// its LV2 state is the unit's own data in the class information, and its
// LV2 presets are the unit's factory presets.

#include "platform/units/Lv2Plugin.h"
#include "platform/units/Unit.h"

#include <memory>
#include <vector>

namespace units {

class Lv2Unit : public Unit {
public:
    // Makes the unit around an instance made for the plug-in (at any rate:
    // initialize() makes a new one when the stream's rate or the maximum
    // frames per slice need it, carrying the state over).
    Lv2Unit(const ComponentDescription& description, std::unique_ptr<Lv2PluginInstance> instance);
    ~Lv2Unit() override;

    Lv2PluginInstance& instance() const { return *instance_; }
    const QString& pluginURI() const { return instance_->description().uri; }

    Status midiEvent(uint32_t status, uint32_t data1, uint32_t data2, uint32_t offsetSampleFrame) override;
    // Slices the plug-in could not run (reported an error): those pass their
    // input through unchanged, or silence for an instrument.
    uint64_t bypassedSlices() const { return instance_->bypassedSlices(); }

protected:
    Status doInitialize() override;
    void doReset() override;
    Status doRender(RenderActionFlags& flags, const TimeStamp& timeStamp, uint32_t bus, uint32_t frames,
                    BufferList& io) override;
    void parameterChanged(ParameterID id, float value) override;
    void saveState(QCborMap& state) const override;
    Status restoreState(const QCborMap& state) override;
    QList<Preset> doFactoryPresets() const override;
    Status applyFactoryPreset(int32_t number) override;

private:
    void copyParametersFromInstance();
    std::unique_ptr<Lv2PluginInstance> instance_;
};

}  // namespace units
