#pragma once

// The unit model: one processing unit (an effect, a panner, an instrument or
// a plug-in) rendered in the pull model.
//
// Life cycle (main thread): a unit comes from its Component (Component.h);
// the host sets its stream formats, its maximum frames per slice and its
// input (a render callback or a connection to another unit), then
// initialize() allocates everything the unit needs; uninitialize() frees it;
// deleting the unit disposes of it. reset() clears the unit's memory (delay
// lines, filter state, reverb tails) and may be called from any thread: the
// render thread carries it out at the start of its next slice.
//
// Rendering (render thread, real-time safe after initialize()): render() asks
// the unit for `frames` frames into a non-interleaved float buffer list. An
// effect first pulls its input through its render callback (which usually
// renders the previous unit of a chain), then processes it in place. Render
// notifications are called before (PreRender) and after (PostRender) the unit
// renders. A buffer whose data pointer is null is pointed at the unit's own
// output memory.
//
// Parameters are addressed by identifier, scope and element; every value
// set is clamped to the parameter's range and can be set from any thread.
// Setting a parameter directly does not notify event listeners; set it with
// setParameterAndNotify() (EventListener.h) for that.
//
// The class information is the unit's whole state as a CBOR map; setting it
// restores the unit exactly (same parameters, band count, preset name and
// the unit's own data).

#include "platform/units/UnitTypes.h"

#include <QCborMap>
#include <QList>
#include <QStringList>

#include <atomic>
#include <memory>
#include <vector>

namespace units {

struct ComponentDescription {
    FourCC componentType = 0;
    FourCC componentSubType = 0;
    FourCC componentManufacturer = 0;
    uint32_t componentFlags = 0;
    uint32_t componentFlagsMask = 0;

    // The unsigned 32-bit sum of the three codes (wrapping), which the
    // application uses to identify a plug-in.
    uint32_t codeSum() const {
        return uint32_t(componentType) + uint32_t(componentSubType) +
               uint32_t(componentManufacturer);
    }
    // Zero fields of `pattern` match anything.
    bool matches(const ComponentDescription& pattern) const;
};

class Unit {
public:
    virtual ~Unit();
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

    const ComponentDescription& componentDescription() const { return description_; }
    const QString& name() const { return name_; }
    bool isInstrument() const { return description_.componentType == componenttype::MusicDevice; }

    // ---- life cycle (main thread)
    Status initialize();
    Status uninitialize();
    bool isInitialized() const { return initialized_; }
    // Clears the unit's memory at the start of the next render (or at once
    // when the unit is not rendering). Parameters keep their values.
    Status reset(Scope scope = Scope::Global, Element element = 0);

    // ---- rendering (render thread)
    Status render(RenderActionFlags* actionFlags, const TimeStamp& timeStamp, uint32_t outputBus,
                  uint32_t frames, BufferList* ioData);
    // The previous render's result of the input pull and the sample time of
    // the last render, for hosts and tests.
    double lastRenderSampleTime() const { return lastSampleTime_.load(std::memory_order_relaxed); }

    // ---- properties (main thread unless said otherwise)
    virtual bool hasProperty(PropertyID id, Scope scope = Scope::Global, Element element = 0) const;
    uint32_t elementCount(Scope scope) const;

    // Stream format of an input or output element. Settable only while
    // uninitialised; only float non-interleaved PCM is accepted.
    Status setStreamFormat(Scope scope, Element element, const StreamFormat& format);
    StreamFormat streamFormat(Scope scope, Element element = 0) const;
    double sampleRate() const { return outputFormat_.sampleRate; }

    Status setMaximumFramesPerSlice(uint32_t frames);
    uint32_t maximumFramesPerSlice() const { return maxFrames_; }

    // The input of an element: a callback, or the output of another unit
    // (which takes the place of the callback). Set while not rendering.
    Status setRenderCallback(Element inputBus, const RenderCallbackStruct& callback);
    Status setInputConnection(Element inputBus, Unit* source, uint32_t sourceOutputBus = 0);
    bool hasInput(Element inputBus = 0) const;

    Status addRenderNotify(RenderCallback proc, void* refCon);
    Status removeRenderNotify(RenderCallback proc, void* refCon);

    // ---- parameters
    // Listed parameters in the unit's order (units that change their layout,
    // like the equalisers, list only the parameters in use).
    std::vector<ParameterID> parameterList(Scope scope = Scope::Global) const;
    Status parameterInfo(Scope scope, ParameterID id, ParameterInfo* info) const;
    // Names of the values of an indexed parameter, from its minimum up; empty otherwise.
    QStringList parameterValueStrings(Scope scope, ParameterID id) const;
    // Any thread.
    Status getParameter(ParameterID id, Scope scope, Element element, float* value) const;
    Status setParameter(ParameterID id, Scope scope, Element element, float value,
                        uint32_t bufferOffsetFrames = 0);
    // Global scope, element 0; 0 for an unknown parameter.
    float parameter(ParameterID id) const;
    Status setParameter(ParameterID id, float value) { return setParameter(id, Scope::Global, 0, value); }
    // Sets every parameter to its default value.
    void resetParametersToDefaults();

    // ---- state
    QCborMap classInfo() const;
    Status setClassInfo(const QCborMap& state);
    Preset presentPreset() const { return presentPreset_; }
    Status setPresentPreset(const Preset& preset);
    QList<Preset> factoryPresets() const { return doFactoryPresets(); }

    bool bypass() const { return bypass_.load(std::memory_order_relaxed); }
    Status setBypass(bool on);

    // Units with bands (the N-band equaliser) answer these; others refuse.
    Status numberOfBands(uint32_t* bands) const;
    Status setNumberOfBands(uint32_t bands);

    // Seconds of delay the unit adds, and seconds of sound after its input stops.
    virtual double latency() const { return 0.0; }
    virtual double tailTime() const { return 0.0; }

    // ---- parts made on demand
    // A host that can leave a unit out of its chain until it plays asks it,
    // before initialize(), to leave its largest parts for later (the pitch
    // units' stretcher, several megabytes that a track at its natural pitch
    // never uses). initialize() then makes only what the unit needs to
    // report its latency; prepareForRender() makes the rest, off the render
    // thread (main thread or a worker, one at a time); readyToRender() is
    // false until it has (any thread, never waits), and such a host leaves
    // the unit out of its chain meanwhile. Other hosts need not care: by
    // default initialize() makes everything and a unit is always ready.
    void setPartsOnDemand(bool on) { partsOnDemand_ = on; }  // while uninitialised
    bool partsOnDemand() const { return partsOnDemand_; }
    virtual void prepareForRender() {}
    virtual bool readyToRender() const { return true; }

    // ---- MIDI (instruments; render thread or main thread)
    // A channel message: status byte with channel, two data bytes, and the
    // frame of the next render slice at which it takes effect.
    virtual Status midiEvent(uint32_t status, uint32_t data1, uint32_t data2,
                             uint32_t offsetSampleFrame);

protected:
    Unit(const ComponentDescription& description, const QString& name, uint32_t inputElements = 1,
         uint32_t outputElements = 1);

    // Hooks for the concrete units.
    virtual Status doInitialize() { return Status::Ok; }  // allocate here
    virtual void doUninitialize() {}
    virtual void doReset() {}  // render thread or main thread, never both at once
    virtual Status doRender(RenderActionFlags& flags, const TimeStamp& timeStamp, uint32_t bus,
                            uint32_t frames, BufferList& io) = 0;
    virtual bool supportsFormat(Scope scope, Element element, const StreamFormat& format) const;
    // Checked by initialize(): by default every input has the output's
    // channel count and sample rate.
    virtual Status checkFormats() const;
    // Called after a parameter's value changed (any thread; keep it cheap).
    virtual void parameterChanged(ParameterID, float) {}
    // Extra state of the unit in its class information, and its restoration
    // (called after the band count, before the parameter values).
    virtual void saveState(QCborMap&) const {}
    virtual Status restoreState(const QCborMap&) { return Status::Ok; }
    virtual QList<Preset> doFactoryPresets() const { return {}; }
    virtual Status applyFactoryPreset(int32_t) { return Status::InvalidPropertyValue; }
    virtual bool supportsBands() const { return false; }
    virtual uint32_t doNumberOfBands() const { return 0; }
    virtual Status doSetNumberOfBands(uint32_t) { return Status::InvalidProperty; }

    // Declares a parameter (construction time only). Listed by default.
    void addParameter(ParameterID id, const ParameterInfo& info,
                      const QStringList& valueStrings = {});
    // Shows or hides a parameter in the list; a hidden parameter cannot be
    // read or set. Posts a parameter-list change when anything changed.
    void setParametersListed(ParameterID first, ParameterID last, bool listed);
    void notifyPropertyChanged(PropertyID id, Scope scope = Scope::Global, Element element = 0);

    // Pulls `frames` frames of input element `bus` into `into` (render thread).
    Status pullInput(RenderActionFlags& flags, const TimeStamp& timeStamp, uint32_t bus,
                     uint32_t frames, BufferList& into);
    // Fast parameter read for the render thread (no lookup): the slot of a
    // declared parameter, stable for the unit's life.
    const std::atomic<float>& parameterSlot(ParameterID id) const;

    uint32_t inputChannelCount(Element e = 0) const { return e < inputFormats_.size() ? inputFormats_[e].channelCount : 0; }
    uint32_t outputChannelCount() const { return outputFormat_.channelCount; }

private:
    struct Parameter;
    Parameter* find(ParameterID id) const;
    void applyPendingReset();

    ComponentDescription description_;
    QString name_;
    bool initialized_ = false;
    bool partsOnDemand_ = false;
    uint32_t maxFrames_ = 4096;
    std::vector<StreamFormat> inputFormats_;
    StreamFormat outputFormat_;
    uint32_t outputElements_ = 1;

    struct Input {
        RenderCallbackStruct callback;
        Unit* source = nullptr;
        uint32_t sourceBus = 0;
    };
    std::vector<Input> inputs_;
    static constexpr int kMaxNotifies = 8;
    struct Notify {
        std::atomic<RenderCallback> proc{nullptr};
        std::atomic<void*> refCon{nullptr};
    };
    Notify notifies_[kMaxNotifies];

    std::vector<std::unique_ptr<Parameter>> parameters_;  // declaration order
    std::vector<Parameter*> byId_;                        // sorted by identifier

    std::vector<float> outputMemory_;  // for buffers handed in without data
    std::atomic<bool> resetPending_{false};
    std::atomic<bool> bypass_{false};
    std::atomic<double> lastSampleTime_{0.0};
    Preset presentPreset_{-1, QStringLiteral("Untitled")};
};

// Base of the effects: pulls input element 0 into the output buffers and
// processes them in place, unless bypassed. Input and output have the same
// channel count.
class EffectUnit : public Unit {
protected:
    using Unit::Unit;
    Status doRender(RenderActionFlags& flags, const TimeStamp& timeStamp, uint32_t bus,
                    uint32_t frames, BufferList& io) override;
    // Processes `channelCount` channels of `frames` frames in place.
    virtual void process(float* const* channels, uint32_t channelCount, uint32_t frames) = 0;
};

}  // namespace units
