#pragma once

#include "engine/EngineConstants.h"
#include "engine/TrackSpectrum.h"
#include "platform/core/MediaTime.h"
#include "platform/core/Snapshot.h"
#include "platform/units/UnitTypes.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

class MusicFilter;
class ProcessingTap;
namespace units {
class Unit;
class EventListener;
struct UnitEvent;
}  // namespace units

// The eighteen built-in units of a track's tap, in the order they are made.
enum class BuiltInUnit : int {
    NBandEQ,
    GraphicEQ,
    Distortion,
    AUFilter,
    DynamicProcessor,
    MultibandCompressor,
    Delay,
    PeakLimiter,
    PitchFilter,
    MatrixReverb,
    NewFilter0,
    Pitch,
    Reverb,
    LowShelf,
    BandPass,
    LowPass,
    HighPass,
    EQ,
};
constexpr int kBuiltInUnitCount = 18;
// Every unit field of a tap context in record order: the slider-driven units,
// then the panel units.
inline constexpr BuiltInUnit kBuiltInUnitRecordOrder[kBuiltInUnitCount] = {
    BuiltInUnit::Pitch,       BuiltInUnit::Reverb,      BuiltInUnit::LowShelf,
    BuiltInUnit::BandPass,    BuiltInUnit::LowPass,     BuiltInUnit::HighPass,
    BuiltInUnit::EQ,          BuiltInUnit::NBandEQ,     BuiltInUnit::GraphicEQ,
    BuiltInUnit::Distortion,  BuiltInUnit::AUFilter,    BuiltInUnit::DynamicProcessor,
    BuiltInUnit::MultibandCompressor, BuiltInUnit::Delay, BuiltInUnit::PeakLimiter,
    BuiltInUnit::PitchFilter, BuiltInUnit::MatrixReverb, BuiltInUnit::NewFilter0,
};

namespace builtinunits {
struct Codes {
    units::FourCC type;
    units::FourCC subtype;
};
Codes codes(BuiltInUnit unit);
// The units panel's unit type index (0 to 13) of a built-in unit, or -1 for
// the four units that only the effect sliders drive.
int typeIndex(BuiltInUnit unit);
// The built-in unit of a unit type index 0 to 13.
BuiltInUnit unitForTypeIndex(int index);
}  // namespace builtinunits

// How a chain unit is fed: an effect pulls its input; an instrument is
// driven through a render notification or through its render callback.
enum ChainUnitMode : uint32_t {
    ChainUnitEffect = 0,
    ChainUnitInstrumentNotify = 1,
    ChainUnitInstrumentCallback = 2,
};

struct TrackTapContext;

// The context a chain unit's render callback receives.
struct ChainUnitRenderContext {
    ProcessingTap* tap = nullptr;
    TrackTapContext* context = nullptr;
    units::Unit* unit = nullptr;
    uint32_t mode = ChainUnitEffect;
};

// One slot of the chain of a render in progress.
struct CallbackAudioInfo {
    ProcessingTap* tap = nullptr;
    units::Unit* unit = nullptr;
    units::Unit* previousUnit = nullptr;  // what this unit pulls from; null for the first
    uint32_t mode = ChainUnitEffect;
};

// The record of a track's processing tap, shared by the tap's callbacks
// (render threads), the track and the controller (main thread) and the
// tap's parameter listener (main thread).
//
// Everything the main thread writes and a render reads is atomic; a render
// takes its own copy of the active and enable bytes at its start, so a
// change takes effect with the next slice. The chain and buffer fields are
// the render's own.
struct TrackTapContext {
    TrackTapContext();
    ~TrackTapContext();
    TrackTapContext(const TrackTapContext&) = delete;
    TrackTapContext& operator=(const TrackTapContext&) = delete;

    std::atomic<uint8_t> formatSupported{0};
    std::atomic<uint8_t> nonInterleaved{0};
    std::atomic<double> sampleRate{std::numeric_limits<double>::quiet_NaN()};

    // The built-in units (null when absent) and, per unit, its active byte
    // (slider-driven units) or enable byte (panel units).
    std::array<std::atomic<units::Unit*>, kBuiltInUnitCount> units{};
    std::array<std::atomic<uint8_t>, kBuiltInUnitCount> unitFlags{};

    std::atomic<units::Unit*>& unit(BuiltInUnit u) { return units[static_cast<int>(u)]; }
    std::atomic<uint8_t>& flag(BuiltInUnit u) { return unitFlags[static_cast<int>(u)]; }
    // Main thread: switches a unit on or off, first making the parts of one
    // switched on (a unit that is not ready sits out of the chain).
    void setFlag(BuiltInUnit u, bool on);
    std::atomic<units::Unit*>& pitchUnit() { return unit(BuiltInUnit::Pitch); }
    std::atomic<units::Unit*>& reverbUnit() { return unit(BuiltInUnit::Reverb); }
    std::atomic<units::Unit*>& lowShelfUnit() { return unit(BuiltInUnit::LowShelf); }
    std::atomic<units::Unit*>& bandPassUnit() { return unit(BuiltInUnit::BandPass); }
    std::atomic<units::Unit*>& lowPassUnit() { return unit(BuiltInUnit::LowPass); }
    std::atomic<units::Unit*>& highPassUnit() { return unit(BuiltInUnit::HighPass); }
    std::atomic<units::Unit*>& eqUnit() { return unit(BuiltInUnit::EQ); }
    std::atomic<uint8_t>& contextPitchEnabled() { return flag(BuiltInUnit::Pitch); }
    std::atomic<uint8_t>& contextReverbEnabled() { return flag(BuiltInUnit::Reverb); }
    std::atomic<uint8_t>& contextLowShelfEnabled() { return flag(BuiltInUnit::LowShelf); }
    std::atomic<uint8_t>& contextBandPassEnabled() { return flag(BuiltInUnit::BandPass); }
    std::atomic<uint8_t>& contextLowPassEnabled() { return flag(BuiltInUnit::LowPass); }
    std::atomic<uint8_t>& contextHighPassEnabled() { return flag(BuiltInUnit::HighPass); }
    std::atomic<uint8_t>& contextEQEnabled() { return flag(BuiltInUnit::EQ); }

    std::atomic<double> contextSampleCount{0};
    std::atomic<double> contextTrackDurationRatio{0};
    std::atomic<double> contextTrackPassDuration{0};
    std::atomic<double> contextTrackChannelMix{0};
    std::atomic<uint32_t> contextTrackTimeScale{1};
    std::atomic<double> contextTrackStartTime{0};
    std::atomic<double> contextTrackEndTime{0};
    std::atomic<double> contextFadeInDuration{0};
    std::atomic<double> contextFadeOutDuration{0};
    std::atomic<double> contextVolume{1.0};
    std::atomic<double> audioScaleFactor{1.0};
    std::atomic<double> contextRepeatCount{0};

    // Composition time range of the most recent slice (render threads only).
    MediaTimeRange sliceTimeRange{MediaTime::zero(), MediaTime::zero()};

    std::unique_ptr<units::EventListener> parameterListener;

    std::atomic<uint8_t> prepared{0};
    std::atomic<uint8_t> soloMuted{0};
    units::StreamFormat streamFormat;
    int64_t maxFrames = 0;

    // ---- the render in progress (render thread only)
    CallbackAudioInfo* chainEntries = nullptr;
    uint32_t chainEntryCount = 0;
    units::BufferList* sourceBuffers = nullptr;
    bool sourceFetched = false;  // this slice's source audio is in sourceBuffers
    // The slice is the first after a start, a stop or a jump of its render.
    bool startsStream = false;

    // The owning track, not retained; null once the track has let go.
    std::atomic<MusicFilter*> trackFilter{nullptr};
    ProcessingTap* tap = nullptr;

    // ---- made when the tap is prepared, freed when the track leaves
    // The render contexts of the built-in units.
    std::array<ChainUnitRenderContext, kBuiltInUnitCount> builtInRenderContexts{};
    // Buffers into which the instruments of the chain render, one set per
    // instrument slot (instruments stand first in the chain).
    static constexpr int kInstrumentSlots = 8;
    std::vector<float> instrumentScratch;
    uint32_t scratchChannels = 0;
    // The spectrum of the selected track's slices; null when no DFT could be made.
    std::unique_ptr<TrackSpectrum> spectrum;

    // ---- latency: the track's audio comes out of the tap this many frames
    // late: the sum of the latencies of the built-in units it counts. It
    // counts the units with latency that are in use: switched on, or that a
    // curve or a selection entry of the track can switch on; a unit that is
    // off and that nothing drives adds no delay, and does not play until it
    // is counted. Every slice publishes what the units in use would add
    // (ProcessingTap::wantedLatency); a renderer takes it up at a start, a
    // jump or when it changes (tapTakeUpLatency), and re-aligns the track.
    // A counted unit that sits out of a slice's chain leaves a delay line of
    // its latency in its place (its stand-in), which its input feeds while
    // it plays, so that the track's timing never moves while it renders.
    // The renderer feeds the tap as far ahead (ProcessingTap::latency), so
    // the slice's source range lies that much ahead of what the tap gives
    // out: the units, their automation and the notes follow the source
    // time; the level, fades, balance and meters follow the output time.
    // The stand-ins are made by prepare, for every unit that has a latency;
    // rendered by the render thread only.
    struct LatencyStandIn {
        uint32_t frames = 0;      // 0: the unit has no latency
        std::vector<float> ring;  // frames × channels
        uint32_t at = 0;          // the next frame to give out and to fill
        bool played = false;      // the unit played the last slice
    };
    std::array<LatencyStandIn, kBuiltInUnitCount> standIns{};
    uint32_t standInChannels = 0;
    std::atomic<int64_t> latencyFrames{0};
    // The units (bits by BuiltInUnit) whose latency counts; set when a
    // renderer takes the latency up.
    std::atomic<uint32_t> countedLatentUnits{0};
    // For the render in progress: per chain slot, the stand-ins (bits by
    // BuiltInUnit) to run on that slot's input, and those to run after the
    // last slot.
    const uint32_t* standInsBefore = nullptr;
    uint32_t standInsAfter = 0;

    // ---- letting go: a render counts itself in and out, so that the main
    // thread can wait until no render holds what it is about to free.
    // Several renders (the player's, an export's) may be in at once.
    realtime::ReaderEpochs renders;
    // Main thread: returns once every render that had started has ended.
    void waitForRenderToLetGo() { renders.waitForReaders(); }
};

// The tap's callbacks.
namespace tracktap {
void tapInit(ProcessingTap* tap, void* clientInfo, void** storageOut);
void tapFinalize(ProcessingTap* tap);
void tapPrepare(ProcessingTap* tap, int64_t maxFrames, const units::StreamFormat& format);
void tapUnprepare(ProcessingTap* tap);
// Main thread, no render in progress, the tap held by one renderer: every
// unit of the track (built-in and plug-in) taken to `format`'s rate, the
// latency and stand-ins sized for it, and every unit and stand-in cleared.
void tapReformat(ProcessingTap* tap, int64_t maxFrames, const units::StreamFormat& format);
// The renderer about to feed the tap from a new position: the track counts
// the units with latency that it has in use now.
void tapTakeUpLatency(ProcessingTap* tap);
void tapProcess(ProcessingTap* tap, int64_t numberFrames, uint32_t flags,
                units::BufferList* bufferList, int64_t* numberFramesOut, uint32_t* flagsOut);
units::Status chainUnitRenderCallback(void* refCon, units::RenderActionFlags* actionFlags,
                                      const units::TimeStamp& timeStamp, uint32_t bus,
                                      uint32_t frames, units::BufferList* ioData);

// Finds, instantiates and configures one built-in unit; null on failure.
units::Unit* createBuiltInChainUnit(ProcessingTap* tap, int64_t maxFrames,
                                    const units::StreamFormat& format, units::FourCC type,
                                    units::FourCC subtype, ChainUnitRenderContext* renderContext);
// Sets a chain unit's formats and maximum frames, makes chainUnitRenderCallback
// its input and initialises it. Disposes of the unit and returns null when
// that fails.
units::Unit* configureChainUnit(ProcessingTap* tap, std::unique_ptr<units::Unit> unit,
                                int64_t maxFrames, const units::StreamFormat& format,
                                ChainUnitRenderContext* renderContext, units::FourCC componentType);

// The listener block: unit events of the track, on the main thread.
void tapParameterGestureHandler(TrackTapContext* context, void* object,
                                const units::UnitEvent& event, uint64_t hostTime,
                                float value);
}  // namespace tracktap
