#pragma once

// Plain types shared by the whole unit layer: four-character codes, status
// codes, scopes, the stream format, non-interleaved float buffer lists, time
// stamps, render flags and callbacks, parameter information and presets.
// Nothing here allocates; every type can be used on a render thread.

#include <QString>

#include <cstdint>
#include <cstring>

namespace units {

// ---------------------------------------------------------------------------
// Four-character codes ("aufx", "nbeq", ...), packed big-endian into 32 bits
// so that the sum of three codes and the numeric order are those of the
// characters.
using FourCC = uint32_t;

constexpr FourCC fourCC(const char (&code)[5]) {
    return (FourCC(uint8_t(code[0])) << 24) | (FourCC(uint8_t(code[1])) << 16) |
           (FourCC(uint8_t(code[2])) << 8) | FourCC(uint8_t(code[3]));
}
// The code of a four-character string; 0 when the text is not four Latin-1 characters.
FourCC fourCCFromString(const QString& text);
QString fourCCToString(FourCC code);

namespace componenttype {
constexpr FourCC Effect = fourCC("aufx");           // audio in, audio out
constexpr FourCC FormatConverter = fourCC("aufc");  // may change rate or format (pitch units)
constexpr FourCC Panner = fourCC("aupn");
constexpr FourCC MusicDevice = fourCC("aumu");      // instrument: MIDI in, audio out
constexpr FourCC MusicEffect = fourCC("aumf");      // effect that also takes MIDI
constexpr FourCC Generator = fourCC("augn");
}  // namespace componenttype

// Manufacturer code of the units built into the application.
constexpr FourCC kBuiltInManufacturer = fourCC("appl");

// ---------------------------------------------------------------------------
enum class Status : int32_t {
    Ok = 0,
    InvalidProperty = -10879,
    InvalidParameter = -10878,
    InvalidElement = -10877,
    NoConnection = -10876,
    FailedInitialization = -10875,
    TooManyFramesToProcess = -10874,
    InvalidFile = -10871,
    FormatNotSupported = -10868,
    Uninitialized = -10867,
    InvalidScope = -10866,
    PropertyNotWritable = -10865,
    CannotDoInCurrentContext = -10863,
    InvalidPropertyValue = -10851,
    PropertyNotInUse = -10850,
    Initialized = -10849,
    InvalidOfflineRender = -10848,
    Unauthorized = -10847,
    ComponentNotFound = -10846,
    InstantiationFailed = -10845,
    Unimplemented = -4,
    ParamError = -50,
};
inline bool ok(Status s) { return s == Status::Ok; }
const char* statusText(Status s);

enum class Scope : uint32_t { Global = 0, Input = 1, Output = 2 };
using Element = uint32_t;
using ParameterID = uint32_t;

// Properties a listener can hear about and a caller can ask a unit for.
enum class PropertyID : uint32_t {
    ClassInfo = 0,
    MakeConnection = 1,
    SampleRate = 2,
    ParameterList = 3,
    ParameterInfo = 4,
    StreamFormat = 8,
    ElementCount = 11,
    Latency = 12,
    MaximumFramesPerSlice = 14,
    ParameterValueStrings = 16,
    TailTime = 20,
    BypassEffect = 21,
    SetRenderCallback = 23,
    FactoryPresets = 24,
    PresentPreset = 36,
    NumberOfBands = 2200,
};

// ---------------------------------------------------------------------------
// Stream format. The units process 32-bit float, non-interleaved linear PCM;
// the other forms exist so that callers can describe what they are given and
// be refused cleanly.
struct StreamFormat {
    enum class SampleType : uint32_t { Float32 = 0, Int16 = 1, Int32 = 2 };

    double sampleRate = 44100.0;
    uint32_t channelCount = 2;
    SampleType sampleType = SampleType::Float32;
    bool interleaved = false;

    static StreamFormat canonical(double rate, uint32_t channels) {
        StreamFormat f;
        f.sampleRate = rate;
        f.channelCount = channels;
        return f;
    }
    bool isLinearPCMFloat() const { return sampleType == SampleType::Float32; }
    bool isCanonical() const {
        return isLinearPCMFloat() && !interleaved && channelCount > 0 && sampleRate > 0;
    }
    bool operator==(const StreamFormat&) const = default;
};

// ---------------------------------------------------------------------------
// Buffer lists. One buffer per channel for non-interleaved audio (buffer 0 is
// the left channel, buffer 1 the right); a buffer with a null data pointer
// asks the unit that renders into it to supply its own memory.
struct AudioBuffer {
    uint32_t numberChannels = 1;
    uint32_t dataByteSize = 0;
    void* data = nullptr;

    float* samples() const { return static_cast<float*>(data); }
    uint32_t sampleCount() const { return dataByteSize / sizeof(float); }
};

struct BufferList {
    static constexpr uint32_t kCapacity = 32;  // the most channels a unit handles

    uint32_t numberBuffers = 0;
    AudioBuffer buffers[kCapacity];

    float* channel(uint32_t i) const { return buffers[i].samples(); }
    // A list of `channels` buffers over caller-owned memory of `frames` floats each.
    void point(uint32_t channels, uint32_t frames, float* const* data) {
        numberBuffers = channels < kCapacity ? channels : kCapacity;
        for (uint32_t i = 0; i < numberBuffers; ++i)
            buffers[i] = {1, uint32_t(frames * sizeof(float)), data ? data[i] : nullptr};
    }
    // Buffers without data, to be filled by a unit's own memory.
    void empty(uint32_t channels, uint32_t frames) { point(channels, frames, nullptr); }
    void setFrames(uint32_t frames) {
        for (uint32_t i = 0; i < numberBuffers; ++i)
            buffers[i].dataByteSize = frames * sizeof(float) * buffers[i].numberChannels;
    }
    void zero() const {
        for (uint32_t i = 0; i < numberBuffers; ++i)
            if (buffers[i].data && buffers[i].dataByteSize >= 4)
                std::memset(buffers[i].data, 0, buffers[i].dataByteSize & ~3u);
    }
};

// ---------------------------------------------------------------------------
struct TimeStamp {
    enum Flags : uint32_t { SampleTimeValid = 1, HostTimeValid = 2 };
    double sampleTime = 0.0;
    uint64_t hostTime = 0;
    uint32_t flags = SampleTimeValid;
};

// Render action flags. A render notification is called once with PreRender
// before the unit renders and once with PostRender after it.
enum RenderAction : uint32_t {
    PreRender = 1u << 2,
    PostRender = 1u << 3,
    OutputIsSilence = 1u << 4,
    PostRenderError = 1u << 8,
};
using RenderActionFlags = uint32_t;

// The input callback of a unit and the signature of render notifications. It
// fills `ioData` with `frames` frames for `bus` and returns Ok, or an error
// that the rendering unit passes on. Called on the render thread.
using RenderCallback = Status (*)(void* refCon, RenderActionFlags* actionFlags,
                                  const TimeStamp& timeStamp, uint32_t bus, uint32_t frames,
                                  BufferList* ioData);
struct RenderCallbackStruct {
    RenderCallback inputProc = nullptr;
    void* inputProcRefCon = nullptr;
};

// ---------------------------------------------------------------------------
// Units of measure of a parameter (the generic panel formats values by them).
enum class ParameterUnit : uint32_t {
    Generic = 0,
    Indexed = 1,
    Boolean = 2,
    Percent = 3,
    Seconds = 4,
    SampleFrames = 5,
    Phase = 6,
    Rate = 7,
    Hertz = 8,
    Cents = 9,
    RelativeSemiTones = 10,
    MIDINoteNumber = 11,
    MIDIController = 12,
    Decibels = 13,
    LinearGain = 14,
    Degrees = 15,
    EqualPowerCrossfade = 16,
    Pan = 18,
    Meters = 19,
    Octaves = 21,
    Milliseconds = 24,
    Ratio = 25,
};

struct ParameterInfo {
    enum Flags : uint32_t { Readable = 1, Writable = 2, HasValueStrings = 4, Logarithmic = 8 };
    QString name;
    ParameterUnit unit = ParameterUnit::Generic;
    float minValue = 0.0f;
    float maxValue = 1.0f;
    float defaultValue = 0.0f;
    uint32_t flags = Readable | Writable;
};

struct Preset {
    int32_t number = -1;  // factory presets count from 0; a user preset is negative
    QString name;
    bool operator==(const Preset&) const = default;
};

}  // namespace units
