#pragma once

#include "platform/units/MidiEventQueue.h"
#include "platform/units/PluginCatalogue.h"

#include <QCborMap>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace units {

class Lv2Worker;

// One control input port seen as a parameter. The identifier is the port's
// index, which a plug-in keeps for as long as its URI stays the same. An
// enumeration is presented as an indexed parameter: its value is the index
// of a scale point (ordered by value), its value strings the points' labels.
struct Lv2ParameterInfo {
    uint32_t identifier = 0;
    QString name;
    QString symbol;
    float minValue = 0.f;
    float maxValue = 1.f;
    float defaultValue = 0.f;
    ParameterUnit unit = ParameterUnit::Generic;
    bool toggled = false;
    bool integer = false;
    bool logarithmic = false;
    bool enumeration = false;
    std::vector<float> enumerationValues;  // port value of each index
    QStringList valueStrings;
};

struct Lv2Preset {
    int32_t number = -1;  // the index among the factory presets; negative for a user preset
    QString name;
    QString uri;
};

// A running instance of an LV2 plug-in with the host features it needs.
//
// Threads: create() and the destructor may run on any thread (both take the
// world's lock: making and freeing an instance load and unload the plug-in's
// library, whose instances lilv counts in the world); render() runs on the
// render thread and neither allocates, waits nor takes a lock another thread
// may hold for long (it skips the slice when the main thread is restoring
// state); parameters and MIDI may be set from any thread; the rest is for the
// main thread. Locks are taken in one order: the world's, then runMutex_.
class Lv2PluginInstance {
public:
    static std::unique_ptr<Lv2PluginInstance> create(std::shared_ptr<const PluginCatalogue> catalogue,
                                                     const Lv2PluginDescription& plugin,
                                                     double sampleRate, uint32_t maxFrames,
                                                     QString* error = nullptr);
    // create() on a worker thread; `done` runs on the main thread with the
    // instance, or with null and the reason.
    static void createAsync(std::shared_ptr<const PluginCatalogue> catalogue, Lv2PluginDescription plugin,
                            double sampleRate, uint32_t maxFrames,
                            std::function<void(std::unique_ptr<Lv2PluginInstance>, QString)> done);
    ~Lv2PluginInstance();
    Lv2PluginInstance(const Lv2PluginInstance&) = delete;
    Lv2PluginInstance& operator=(const Lv2PluginInstance&) = delete;

    const Lv2PluginDescription& description() const { return description_; }
    const std::shared_ptr<const PluginCatalogue>& catalogue() const { return catalogue_; }
    bool isInstrument() const { return description_.instrument; }
    bool acceptsMIDI() const { return midiInPort_ >= 0; }
    int audioInputCount() const { return int(audioIns_.size()); }
    int audioOutputCount() const { return int(audioOuts_.size()); }
    double sampleRate() const { return sampleRate_; }
    uint32_t maxFrames() const { return maxFrames_; }

    const std::vector<Lv2ParameterInfo>& parameters() const { return parameters_; }
    const Lv2ParameterInfo* parameterInfo(uint32_t identifier) const;
    // In the parameter's own terms (an index for an enumeration); NaN for an
    // unknown identifier. setParameter() clamps to the range.
    float parameter(uint32_t identifier) const;
    bool setParameter(uint32_t identifier, float value);
    void resetParametersToDefaults();

    // Queues one MIDI message; the next render hands it to the plug-in at
    // frame 0. False when the plug-in takes no MIDI or the queue is full.
    bool midiEvent(uint8_t status, uint8_t data1, uint8_t data2);

    // Renders one slice. Inputs are mapped to the plug-in's audio inputs (a
    // mono source feeds every input), its outputs to `outputs` (a mono
    // plug-in feeds every output). Returns false, with `outputs` holding the
    // input (or silence for an instrument), when the slice could not be run:
    // too many frames, the instance busy restoring state, or a plug-in whose
    // output went non-finite.
    bool render(uint32_t frames, const float* const* inputs, int numInputs, float* const* outputs,
                int numOutputs);
    // Clears the plug-in's running state (tails, held notes): at once with
    // reset() (main thread, waits for the slice being rendered), or at the
    // start of the next slice with requestReset() (any thread, render thread
    // included).
    void reset();
    void requestReset() { resetPending_.store(true, std::memory_order_release); }

    // The plug-in's complete state (its LV2 state with every control port)
    // as a record: {"pluginURI", "state"}. setClassInfo() restores it exactly
    // and refuses state of another plug-in.
    QCborMap classInfo() const;
    bool setClassInfo(const QCborMap& info, QString* error = nullptr);

    // The plug-in's own presets ordered by name; their numbers are their
    // positions.
    const std::vector<Lv2Preset>& factoryPresets() const { return presets_; }
    Lv2Preset presentPreset() const;
    // A factory preset number loads that preset; a negative number only names
    // the present state. False for a number that is not a factory preset.
    bool setPresentPreset(int32_t number, const QString& name);

    // Counts for tests and diagnostics.
    uint64_t bypassedSlices() const { return bypassed_.load(std::memory_order_relaxed); }

private:
    Lv2PluginInstance() = default;
    bool build(QString* error);
    float toPortValue(const Lv2ParameterInfo& info, float value) const;
    float fromPortValue(const Lv2ParameterInfo& info, float portValue) const;
    void bypass(uint32_t frames, const float* const* inputs, int numInputs, float* const* outputs,
                int numOutputs);
    static const void* portValueForState(const char* symbol, void* self, uint32_t* size, uint32_t* type);
    static void setPortValueFromState(const char* symbol, void* self, const void* value, uint32_t size,
                                      uint32_t type);
    QString stateFolder() const;

    std::shared_ptr<const PluginCatalogue> catalogue_;
    std::shared_ptr<Lv2World> world_;
    Lv2PluginDescription description_;
    const LilvPlugin* plugin_ = nullptr;
    LilvInstance* instance_ = nullptr;
    double sampleRate_ = 44100;
    uint32_t maxFrames_ = 4096;

    struct Port {
        uint32_t index;
        enum Kind { AudioIn, AudioOut, ControlIn, ControlOut, CvIn, CvOut, AtomIn, AtomOut, Other } kind;
        QString symbol;
    };
    std::vector<Port> ports_;
    std::vector<uint32_t> audioIns_, audioOuts_;
    std::vector<float> controls_;                        // the port buffers, render thread only
    std::unique_ptr<std::atomic<float>[]> controlTargets_;  // control inputs as set by the host
    std::vector<Lv2ParameterInfo> parameters_;
    std::vector<std::vector<float>> audioBuffers_;       // one per audio port
    std::vector<float> silence_, scratch_;
    struct AtomBuffer {
        std::unique_ptr<uint64_t[]> words;
        uint32_t capacity = 0;
    };
    std::vector<AtomBuffer> atomBuffers_;  // indexed like ports_
    int midiInPort_ = -1;
    uint32_t atomSequenceURID_ = 0, atomChunkURID_ = 0, midiEventURID_ = 0;

    MidiEventQueue<512> midi_;
    std::unique_ptr<Lv2Worker> worker_;
    mutable std::mutex runMutex_;  // render try-locks; the main thread holds it to restore state

    // Host features, kept alive with the instance.
    struct Features;
    std::unique_ptr<Features> features_;

    std::vector<Lv2Preset> presets_;
    int32_t presentNumber_ = -1;
    QString presentName_;
    std::atomic<uint64_t> bypassed_{0};
    std::atomic<bool> resetPending_{false};
    mutable QString stateFolder_;
};

}  // namespace units
