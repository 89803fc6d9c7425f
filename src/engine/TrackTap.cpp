#include "engine/TrackTapContext.h"

#include "engine/MusicFilter.h"
#include "engine/SelectionWindows.h"
#include "engine/SliceGain.h"
#include "platform/core/MainQueue.h"
#include "platform/core/UndoManager.h"
#include "platform/core/Realtime.h"
#include "platform/media/ProcessingTap.h"
#include "platform/units/Component.h"
#include "platform/units/EventListener.h"
#include "platform/units/Unit.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <thread>

using units::fourCC;

// ---------------------------------------------------------------------------
// Built-in units

namespace builtinunits {

Codes codes(BuiltInUnit unit) {
    static constexpr Codes table[kBuiltInUnitCount] = {
        {fourCC("aufx"), fourCC("nbeq")}, {fourCC("aufx"), fourCC("greq")},
        {fourCC("aufx"), fourCC("dist")}, {fourCC("aufx"), fourCC("filt")},
        {fourCC("aufx"), fourCC("dcmp")}, {fourCC("aufx"), fourCC("mcmp")},
        {fourCC("aufx"), fourCC("dely")}, {fourCC("aufx"), fourCC("lmtr")},
        {fourCC("aufx"), fourCC("tmpt")}, {fourCC("aufx"), fourCC("mrev")},
        {fourCC("aupn"), fourCC("hrtf")}, {fourCC("aufc"), fourCC("nutp")},
        {fourCC("aufx"), fourCC("mrev")}, {fourCC("aufx"), fourCC("lshf")},
        {fourCC("aufx"), fourCC("bpas")}, {fourCC("aufx"), fourCC("lpas")},
        {fourCC("aufx"), fourCC("hpas")}, {fourCC("aufx"), fourCC("nbeq")},
    };
    return table[static_cast<int>(unit)];
}

namespace {
constexpr BuiltInUnit kByTypeIndex[unittype::kBuiltInCount] = {
    BuiltInUnit::NBandEQ,          BuiltInUnit::GraphicEQ,  BuiltInUnit::AUFilter,
    BuiltInUnit::DynamicProcessor, BuiltInUnit::MultibandCompressor,
    BuiltInUnit::Distortion,       BuiltInUnit::Delay,      BuiltInUnit::LowPass,
    BuiltInUnit::HighPass,         BuiltInUnit::BandPass,   BuiltInUnit::PeakLimiter,
    BuiltInUnit::PitchFilter,      BuiltInUnit::MatrixReverb, BuiltInUnit::NewFilter0,
};
}  // namespace

int typeIndex(BuiltInUnit unit) {
    for (int i = 0; i < int(unittype::kBuiltInCount); ++i)
        if (kByTypeIndex[i] == unit) return i;
    return -1;
}

BuiltInUnit unitForTypeIndex(int index) { return kByTypeIndex[index]; }

}  // namespace builtinunits

// ---------------------------------------------------------------------------
// The context

TrackTapContext::TrackTapContext() = default;

TrackTapContext::~TrackTapContext() = default;

void TrackTapContext::setFlag(BuiltInUnit u, bool on) {
    if (on)
        if (units::Unit* made = unit(u).load()) made->prepareForRender();
    flag(u).store(on ? 1 : 0);
}

namespace tracktap {
namespace {

// The order of the built-in units in the chain.
constexpr BuiltInUnit kChainOrder[kBuiltInUnitCount] = {
    BuiltInUnit::EQ,          BuiltInUnit::AUFilter,     BuiltInUnit::GraphicEQ,
    BuiltInUnit::NBandEQ,     BuiltInUnit::LowShelf,     BuiltInUnit::Distortion,
    BuiltInUnit::BandPass,    BuiltInUnit::HighPass,     BuiltInUnit::LowPass,
    BuiltInUnit::Pitch,       BuiltInUnit::Reverb,       BuiltInUnit::PitchFilter,
    BuiltInUnit::MatrixReverb, BuiltInUnit::Delay,       BuiltInUnit::NewFilter0,
    BuiltInUnit::MultibandCompressor, BuiltInUnit::DynamicProcessor, BuiltInUnit::PeakLimiter,
};

// The inputs whose automation the render applies to a unit before the
// chain is built, and the active byte each result decides.
struct AutomatedInput {
    EffectInput input;
    BuiltInUnit unit;
    bool decidesActive;
    bool passesListener = false;  // the filter units, whose views the unit panel shows
};
constexpr AutomatedInput kAutomatedInputs[22] = {
    {EffectInput::Pitch, BuiltInUnit::Pitch, true},
    {EffectInput::ReverbWetDryMix, BuiltInUnit::Reverb, true},
    {EffectInput::ReverbSmallLargeMix, BuiltInUnit::Reverb, false},
    {EffectInput::LowShelfGain, BuiltInUnit::LowShelf, true},
    {EffectInput::LowShelfCutoff, BuiltInUnit::LowShelf, false},
    {EffectInput::BandPassBandwidth, BuiltInUnit::BandPass, true, true},
    {EffectInput::BandPassCenterFrequency, BuiltInUnit::BandPass, true, true},
    {EffectInput::LowPassCutoff, BuiltInUnit::LowPass, true, true},
    {EffectInput::LowPassResonance, BuiltInUnit::LowPass, false, true},
    {EffectInput::HighPassCutoff, BuiltInUnit::HighPass, true, true},
    {EffectInput::HighPassResonance, BuiltInUnit::HighPass, false, true},
    {EffectInput::GlobalGain, BuiltInUnit::EQ, true},
    {EffectInput::Gain32, BuiltInUnit::EQ, true},
    {EffectInput::Gain64, BuiltInUnit::EQ, true},
    {EffectInput::Gain125, BuiltInUnit::EQ, true},
    {EffectInput::Gain250, BuiltInUnit::EQ, true},
    {EffectInput::Gain500, BuiltInUnit::EQ, true},
    {EffectInput::Gain1K, BuiltInUnit::EQ, true},
    {EffectInput::Gain2K, BuiltInUnit::EQ, true},
    {EffectInput::Gain4K, BuiltInUnit::EQ, true},
    {EffectInput::Gain8K, BuiltInUnit::EQ, true},
    {EffectInput::Gain16K, BuiltInUnit::EQ, true},
};

// The units with latency (bits by BuiltInUnit) that the track has in use:
// switched on, or that a curve or a selection entry of the track can switch
// on. Reads atomics and published snapshots only.
uint32_t latentUnitsInUse(const TrackTapContext* c, const MusicFilter* track, const TrackAutomation* curves) {
    uint32_t latent = 0;
    for (int i = 0; i < kBuiltInUnitCount; ++i)
        if (c->standIns[i].frames) latent |= 1u << i;
    if (!latent) return 0;
    uint32_t inUse = 0;
    for (int i = 0; i < kBuiltInUnitCount; ++i)
        if (c->unitFlags[i].load() != 0) inUse |= 1u << i;
    auto drivesLatentUnit = [&](const AutomatedInput& a, uint64_t inputs) {
        return a.decidesActive && ((latent >> static_cast<int>(a.unit)) & 1u) &&
               ((inputs >> static_cast<int>(a.input)) & 1u);
    };
    if (curves)
        for (const auto& a : kAutomatedInputs)
            if (drivesLatentUnit(a, curves->automatedInputs)) inUse |= 1u << static_cast<int>(a.unit);
    if (track)
        if (const auto windows = track->rt_selectionWindows())
            for (const auto& e : windows->entries) {
                for (const auto& sw : e.switches)
                    if (sw.on && sw.unitType < unittype::kBuiltInCount)
                        inUse |= 1u << static_cast<int>(builtinunits::unitForTypeIndex(int(sw.unitType)));
                for (const auto& a : kAutomatedInputs)
                    if (drivesLatentUnit(a, e.inputMask)) inUse |= 1u << static_cast<int>(a.unit);
            }
    return inUse & latent;
}

// Frames of latency of the units of `mask` (bits by BuiltInUnit).
int64_t latencyOf(const TrackTapContext* c, uint32_t mask) {
    int64_t frames = 0;
    for (int i = 0; i < kBuiltInUnitCount; ++i)
        if ((mask >> i) & 1u) frames += c->standIns[i].frames;
    return frames;
}

constexpr int kMaxPluginSlots = 64;
constexpr int kMaxChain = kMaxPluginSlots + kBuiltInUnitCount;

TrackTapContext* contextOf(ProcessingTap* tap) {
    return tap ? static_cast<TrackTapContext*>(tap->storage()) : nullptr;
}

// ---- buffer lists

size_t sampleCount(const units::AudioBuffer& b) { return b.dataByteSize / sizeof(float); }

void zeroBufferList(units::BufferList* list) {
    for (uint32_t i = 0; i < list->numberBuffers; ++i) {
        auto& b = list->buffers[i];
        if (b.data && b.dataByteSize >= 4) std::fill_n(static_cast<float*>(b.data), sampleCount(b), 0.0f);
    }
}

// Silences the first `frames` frames of every buffer.
void zeroLeadingFrames(units::BufferList* list, int64_t frames) {
    for (uint32_t i = 0; i < list->numberBuffers; ++i) {
        auto& b = list->buffers[i];
        if (!b.data) continue;
        const size_t n = std::min<size_t>(sampleCount(b), size_t(frames) * std::max<uint32_t>(b.numberChannels, 1));
        std::fill_n(static_cast<float*>(b.data), n, 0.0f);
    }
}

void applyGainToBufferList(units::BufferList* list, double gain) {
    for (uint32_t i = 0; i < list->numberBuffers; ++i) {
        auto& b = list->buffers[i];
        if (b.data) slicegain::applyGain(static_cast<float*>(b.data), sampleCount(b), gain);
    }
}

void applyChannelBalance(units::BufferList* list, double balance) {
    auto g = slicegain::balanceGains(balance);
    if (list->numberBuffers > 0 && list->buffers[0].data)
        slicegain::applyGain(static_cast<float*>(list->buffers[0].data), sampleCount(list->buffers[0]), g.left);
    if (list->numberBuffers > 1 && list->buffers[1].data)
        slicegain::applyGain(static_cast<float*>(list->buffers[1].data), sampleCount(list->buffers[1]), g.right);
}

// out = a + b, a += b: over the buffers all lists have, each sum within [-1, 1].
void mixBufferLists(const units::BufferList& out, const units::BufferList& a, const units::BufferList& b) {
    const uint32_t n = std::min({out.numberBuffers, a.numberBuffers, b.numberBuffers});
    for (uint32_t i = 0; i < n; ++i) {
        if (!out.buffers[i].data || !a.buffers[i].data || !b.buffers[i].data) continue;
        size_t count = std::min<size_t>({out.buffers[i].dataByteSize, a.buffers[i].dataByteSize,
                                         b.buffers[i].dataByteSize}) / sizeof(float);
        slicegain::mixClamped(out.channel(i), static_cast<const float*>(a.buffers[i].data),
                              b.channel(i), count);
    }
}

void accumulateBufferList(units::BufferList& a, const units::BufferList& b) {
    const uint32_t n = std::min(a.numberBuffers, b.numberBuffers);
    for (uint32_t i = 0; i < n; ++i) {
        if (!a.buffers[i].data || !b.buffers[i].data) continue;
        size_t count = std::min(a.buffers[i].dataByteSize, b.buffers[i].dataByteSize) / sizeof(float);
        slicegain::accumulateClamped(static_cast<float*>(a.buffers[i].data), b.channel(i), count);
    }
}

// The prepared buffers into which the instrument of chain slot `slot` renders.
bool instrumentScratch(TrackTapContext* c, uint32_t slot, uint32_t frames, units::BufferList& out) {
    if (slot >= uint32_t(TrackTapContext::kInstrumentSlots) || c->scratchChannels == 0 ||
        frames > uint64_t(c->maxFrames))
        return false;
    out.numberBuffers = c->scratchChannels;
    float* base = c->instrumentScratch.data() + size_t(slot) * c->scratchChannels * size_t(c->maxFrames);
    for (uint32_t ch = 0; ch < c->scratchChannels; ++ch)
        out.buffers[ch] = {1, uint32_t(frames * sizeof(float)), base + size_t(ch) * size_t(c->maxFrames)};
    return true;
}

// Fetches this slice's source audio into `list` and notes its range.
int fetchSource(TrackTapContext* c, int64_t frames, units::BufferList* list, uint32_t* flagsOut,
                int64_t* framesOut) {
    MediaTimeRange range;
    uint32_t flags = 0;
    int status = ProcessingTap::getSourceAudio(c->tap, frames, list, flagsOut ? flagsOut : &flags,
                                               &range, framesOut);
    if (status == ProcessingTap::NoError) {
        c->sliceTimeRange = range;
        if (list == c->sourceBuffers) c->sourceFetched = true;
    }
    return status;
}

void scheduleMIDI(TrackTapContext* c, MusicFilter* track) {
    if (auto* scheduler = track->midiScheduler())
        scheduler->scheduleMIDIForRenderSlice(c, c->chainEntries, c->chainEntryCount);
}

// ---- latency stand-ins

// Runs one stand-in over `frames` frames of `list`: each frame out is the
// one that went in `s.frames` frames earlier. With `feedOnly` its unit
// plays: the stand-in only keeps the unit's input, so that it can take over
// the moment the unit sits out.
void runStandIn(TrackTapContext::LatencyStandIn& s, uint32_t channels, const units::BufferList& list,
                uint32_t frames, bool feedOnly) {
    const uint32_t length = s.frames;
    if (length == 0 || frames == 0) return;
    uint32_t channel = 0;
    for (uint32_t b = 0; b < list.numberBuffers; ++b) {
        const units::AudioBuffer& buf = list.buffers[b];
        const uint32_t nch = std::max<uint32_t>(1, buf.numberChannels);
        if (buf.data) {
            float* x = static_cast<float*>(buf.data);
            const size_t n = std::min<size_t>(sampleCount(buf) / nch, frames);
            for (uint32_t k = 0; k < nch && channel + k < channels; ++k) {
                float* ring = s.ring.data() + size_t(channel + k) * length;
                size_t at = s.at;
                for (size_t i = 0; i < n;) {
                    const size_t run = std::min<size_t>(n - i, length - at);
                    if (nch == 1 && feedOnly) {
                        std::copy_n(x + i, run, ring + at);
                    } else if (nch == 1) {
                        // Out with what the line holds, in with the input,
                        // by whole copies through a short buffer.
                        float held[256];
                        for (size_t j = 0; j < run; j += 256) {
                            const size_t k = std::min<size_t>(256, run - j);
                            std::memcpy(held, ring + at + j, k * sizeof(float));
                            std::memcpy(ring + at + j, x + i + j, k * sizeof(float));
                            std::memcpy(x + i + j, held, k * sizeof(float));
                        }
                    } else {
                        for (size_t j = 0; j < run; ++j) {
                            float& v = x[(i + j) * nch + k];
                            if (feedOnly) ring[at + j] = v;
                            else std::swap(v, ring[at + j]);
                        }
                    }
                    i += run;
                    at = at + run == length ? 0 : at + run;
                }
            }
        }
        channel += nch;
    }
    s.at = uint32_t((uint64_t(s.at) + frames) % length);
}

// Runs the stand-ins of `mask` (bits by BuiltInUnit) in chain order.
void runStandIns(TrackTapContext* c, uint32_t mask, const units::BufferList& list, uint32_t frames) {
    if (!mask) return;
    for (auto u : kChainOrder)
        if ((mask >> static_cast<int>(u)) & 1u)
            runStandIn(c->standIns[static_cast<int>(u)], c->standInChannels, list, frames, false);
}

// The input of chain slot `slot` is in `list`: the stand-ins of the units
// that sit out before it run on it, and the slot's own stand-in keeps it.
void prepareSlotInput(TrackTapContext* c, uint32_t slot, const units::Unit* unit,
                      const units::BufferList& list, uint32_t frames) {
    if (c->standInsBefore) runStandIns(c, c->standInsBefore[slot], list, frames);
    for (int i = 0; i < kBuiltInUnitCount; ++i)
        if (c->standIns[i].frames && c->units[i].load() == unit) {
            runStandIn(c->standIns[i], c->standInChannels, list, frames, true);
            break;
        }
}

// Levels of the slice for the meter and, for the selected track, its spectrum.
void meterSlice(TrackTapContext* c, MusicFilter* track, AudioControllerServices* controller,
                const units::BufferList* list, int64_t frames, const MediaTime& heard) {
    auto level = [&](uint32_t i) -> double {
        const auto& b = list->buffers[i];
        size_t n = c->nonInterleaved.load() ? size_t(frames) : size_t(frames) * b.numberChannels;
        n = std::min(n, sampleCount(b));
        return slicegain::rmsLevel(static_cast<const float*>(b.data), n);
    };
    double left = 0, right = 0;
    if (list->numberBuffers == 1) left = right = level(0);
    else if (list->numberBuffers >= 2) {
        left = level(0);
        right = level(1);
    }
    track->setChannelLevels(left, right);

    if (!controller->showEQFFT.load() || !c->spectrum || !c->spectrum->isValid()) return;
    if (track->viewIndex() != controller->currentSelectedAudio.load()) return;
    if (!heard.isNumeric()) return;
    const double t = heard.seconds();
    if (std::fabs(t - controller->eqSpectrum.fftViewTime()) <= 0.05) return;
    const float* channels[units::BufferList::kCapacity];
    for (uint32_t i = 0; i < list->numberBuffers; ++i)
        channels[i] = static_cast<const float*>(list->buffers[i].data);
    c->spectrum->compute(channels, int(list->numberBuffers), frames);
    controller->eqSpectrum.publish(t, c->sampleRate.load(), c->spectrum->magnitudes(),
                                   c->spectrum->fftCount(), track->trackColorRgba());
}

}  // namespace

// ---------------------------------------------------------------------------
// init and finalize

void tapInit(ProcessingTap* tap, void* clientInfo, void** storageOut) {
    auto* c = new TrackTapContext;
    c->tap = tap;
    c->trackFilter.store(static_cast<MusicFilter*>(clientInfo));
    c->parameterListener = std::make_unique<units::EventListener>(
        [c](void* object, const units::UnitEvent& event, uint64_t hostTime, float value) {
            tapParameterGestureHandler(c, object, event, hostTime, value);
        },
        0.1, 0.1);
    *storageOut = c;
}

namespace {
// Units taken out of the context leave on the main thread, where their users
// are, once no render that could have loaded them is still in its slice; the
// track's controller hears of it first, so that no view of them outlives
// them. The context itself goes later on the main queue, so it is still
// there when this runs.
void disposeUnits(TrackTapContext* c, std::vector<units::Unit*> list, std::weak_ptr<MusicFilter> owner = {}) {
    if (list.empty()) return;
    MainQueue::async([c, list, owner] {
        if (auto t = owner.lock())
            if (auto* controller = t->audioController()) controller->trackUnitsWillBeFreed(t.get());
        realtime::releaseAfterReaders(c->renders, [&] {
            for (auto* u : list) {
                u->uninitialize();
                delete u;
            }
        });
    });
}
}  // namespace

void tapFinalize(ProcessingTap* tap) {
    auto* c = contextOf(tap);
    if (!c) return;
    std::weak_ptr<MusicFilter> owner;
    if (MusicFilter* track = c->trackFilter.exchange(nullptr)) owner = track->weak_from_this();
    std::vector<units::Unit*> left;
    for (auto u : kBuiltInUnitRecordOrder)
        if (auto* unit = c->unit(u).exchange(nullptr)) left.push_back(unit);
    disposeUnits(c, std::move(left), std::move(owner));
    // The listener is a main-thread object, and events it has queued still
    // reach this context (which has no track any more): both go together
    // on the main thread.
    MainQueue::async([c] { delete c; });
}

// ---------------------------------------------------------------------------
// prepare and unprepare

namespace {
// Every built-in unit that has a latency gets a stand-in of that length,
// empty; none counts until a renderer takes the latency up. No render may
// be in.
void sizeLatency(ProcessingTap* tap, TrackTapContext* c, double sampleRate, uint32_t channels) {
    for (int i = 0; i < kBuiltInUnitCount; ++i) {
        units::Unit* unit = c->units[i].load();
        const double seconds = unit ? unit->latency() : 0.0;
        const auto frames = uint32_t(std::max<long>(0, std::lround(seconds * sampleRate)));
        auto& standIn = c->standIns[i];
        standIn.frames = frames;
        standIn.ring.assign(size_t(frames) * channels, 0.0f);
        standIn.at = 0;
        standIn.played = false;
    }
    c->standInChannels = channels;
    c->countedLatentUnits.store(0);
    c->latencyFrames.store(0);
    tap->setLatency(0);
    tap->setWantedLatency(0);
}

// The instruments' scratch buffers and the spectrum for slices of up to
// `maxFrames` of `channels`; true when either was made anew.
bool sizeSliceBuffers(TrackTapContext* c, int64_t maxFrames, uint32_t channels) {
    bool made = false;
    const size_t scratchSize = size_t(TrackTapContext::kInstrumentSlots) * channels * size_t(maxFrames);
    if (c->instrumentScratch.size() != scratchSize) {
        c->instrumentScratch.assign(scratchSize, 0.0f);
        made = true;
    }
    c->scratchChannels = channels;
    if (!c->spectrum || c->spectrum->length() != maxFrames) {
        auto spectrum = std::make_unique<TrackSpectrum>(maxFrames);
        // A slice length for which no DFT can be made leaves the spectrum out.
        c->spectrum = spectrum->isValid() ? std::move(spectrum) : nullptr;
        made = true;
    }
    return made;
}

uint32_t channelsOf(const units::StreamFormat& format) {
    return std::min<uint32_t>(std::max<uint32_t>(format.channelCount, 1), units::BufferList::kCapacity);
}
}  // namespace

void tapTakeUpLatency(ProcessingTap* tap) {
    auto* c = contextOf(tap);
    if (!c) return;
    // Counted in, so that the main thread can tell when no render holds the track.
    realtime::ReaderEpochs::Presence presence(c->renders);
    uint32_t inUse = 0;
    if (const MusicFilter* track = c->trackFilter.load()) {
        const auto curves = track->rt_automation();
        inUse = latentUnitsInUse(c, track, curves.get());
    }
    const int64_t latency = latencyOf(c, inUse);
    c->countedLatentUnits.store(inUse);
    c->latencyFrames.store(latency);
    tap->setLatency(latency);
    tap->setWantedLatency(latency);
}

void tapPrepare(ProcessingTap* tap, int64_t maxFrames, const units::StreamFormat& format) {
    auto* c = contextOf(tap);
    if (!c) return;
    // Counted in, so that the main thread can tell when no render holds the track.
    realtime::ReaderEpochs::Presence presence(c->renders);
    // A tap whose track has left prepares nothing: its track may be freeing
    // what a prepare would make.
    MusicFilter* track = c->trackFilter.load();
    if (!track) return;
    c->prepared.store(1);
    c->sampleRate.store(format.sampleRate);
    c->formatSupported.store(format.isLinearPCMFloat() ? 1 : 0);
    if (!format.interleaved) c->nonInterleaved.store(1);
    c->streamFormat = format;
    c->maxFrames = maxFrames;

    // A tap prepared again after an unprepare gets its units back; one that
    // still has them makes nothing new.
    bool madeAnything = false;
    for (int i = 0; i < kBuiltInUnitCount; ++i) {
        auto u = static_cast<BuiltInUnit>(i);
        if (c->unit(u).load()) continue;
        auto codes = builtinunits::codes(u);
        units::Unit* unit = createBuiltInChainUnit(tap, maxFrames, format, codes.type, codes.subtype,
                                                   &c->builtInRenderContexts[i]);
        // A unit already switched on, or one a curve may switch on while
        // rendering, gets its parts before it is seen.
        if (unit && (c->flag(u).load() || track->automatesUnit(u))) unit->prepareForRender();
        c->unit(u).store(unit);
        madeAnything = true;
    }

    const uint32_t channels = channelsOf(format);
    if (sizeSliceBuffers(c, maxFrames, channels)) madeAnything = true;
    sizeLatency(tap, c, format.sampleRate, channels);

    if (!madeAnything) return;
    // The track finishes the set-up on the main thread, if it still has this tap.
    std::weak_ptr<MusicFilter> weakTrack = track->weak_from_this();
    MainQueue::async([c, tap, weakTrack] {
        auto t = weakTrack.lock();
        if (t && t->getProcessorContext() == c) t->prepareTapForProcessing(tap);
    });
}

void tapUnprepare(ProcessingTap* tap) {
    auto* c = contextOf(tap);
    if (!c) return;
    // Counted in, so that the main thread can tell when no render holds the track.
    realtime::ReaderEpochs::Presence presence(c->renders);
    std::vector<units::Unit*> left;
    for (auto u : kBuiltInUnitRecordOrder)
        if (auto* unit = c->unit(u).exchange(nullptr)) left.push_back(unit);
    std::weak_ptr<MusicFilter> owner;
    if (MusicFilter* track = c->trackFilter.load()) owner = track->weak_from_this();
    disposeUnits(c, std::move(left), std::move(owner));
}

void tapReformat(ProcessingTap* tap, int64_t maxFrames, const units::StreamFormat& format) {
    auto* c = contextOf(tap);
    if (!c) return;
    MusicFilter* track = c->trackFilter.load();
    if (!track) return;
    const bool newRate = c->sampleRate.load() != format.sampleRate || c->maxFrames != maxFrames;
    c->sampleRate.store(format.sampleRate);
    c->formatSupported.store(format.isLinearPCMFloat() ? 1 : 0);
    c->streamFormat = format;
    c->maxFrames = maxFrames;
    const uint32_t channels = channelsOf(format);
    const auto unitFormat = units::StreamFormat::canonical(format.sampleRate, std::max<uint32_t>(format.channelCount, 1));
    // A unit keeps its parameters, callbacks and state through this; an
    // installed plug-in is made again at the new rate with its state.
    auto refit = [&](units::Unit* unit) {
        if (newRate) {
            unit->uninitialize();
            for (auto scope : {units::Scope::Input, units::Scope::Output})
                if (unit->hasProperty(units::PropertyID::StreamFormat, scope, 0))
                    unit->setStreamFormat(scope, 0, unitFormat);
            unit->setMaximumFramesPerSlice(uint32_t(maxFrames));
            unit->initialize();
        }
        unit->reset();
    };
    for (int i = 0; i < kBuiltInUnitCount; ++i) {
        const auto u = static_cast<BuiltInUnit>(i);
        units::Unit* unit = c->unit(u).load();
        if (!unit) continue;
        refit(unit);
        if (c->flag(u).load() || track->automatesUnit(u)) unit->prepareForRender();
    }
    for (const PluginRecord& r : track->pluginsArray())
        if (r.audioUnit) refit(r.audioUnit);
    sizeSliceBuffers(c, maxFrames, channels);
    // Every instrument starts from silence in the new format.
    std::fill(c->instrumentScratch.begin(), c->instrumentScratch.end(), 0.0f);
    sizeLatency(tap, c, format.sampleRate, channels);
}

units::Unit* createBuiltInChainUnit(ProcessingTap* tap, int64_t maxFrames,
                                    const units::StreamFormat& format, units::FourCC type,
                                    units::FourCC subtype, ChainUnitRenderContext* renderContext) {
    auto& registry = units::ComponentRegistry::instance();
    units::ComponentDescription pattern{type, subtype, units::kBuiltInManufacturer, 0, 0};
    const units::Component* component = registry.findNext(pattern);
    if (!component) return nullptr;
    auto unit = component->instantiate();
    if (!unit) return nullptr;
    // The tap leaves a unit out of the chain until it is ready, and makes
    // its parts when the unit is switched on (TrackTapContext::setFlag).
    unit->setPartsOnDemand(true);
    return configureChainUnit(tap, std::move(unit), maxFrames, format, renderContext, type);
}

units::Unit* configureChainUnit(ProcessingTap* tap, std::unique_ptr<units::Unit> unit,
                                int64_t maxFrames, const units::StreamFormat& format,
                                ChainUnitRenderContext* renderContext, units::FourCC componentType) {
    *renderContext = ChainUnitRenderContext{tap, contextOf(tap), unit.get(), uint32_t(ChainUnitEffect)};
    auto fail = [&]() -> units::Unit* {
        *renderContext = ChainUnitRenderContext{};
        return nullptr;
    };
    const uint32_t channels = std::max<uint32_t>(format.channelCount, 1);
    const auto streamFormat =
        units::StreamFormat::canonical(format.sampleRate > 0 ? format.sampleRate : 44100.0, channels);
    if (unit->hasProperty(units::PropertyID::StreamFormat, units::Scope::Input, 0) &&
        !units::ok(unit->setStreamFormat(units::Scope::Input, 0, streamFormat)))
        return fail();
    if (unit->hasProperty(units::PropertyID::StreamFormat, units::Scope::Output, 0) &&
        !units::ok(unit->setStreamFormat(units::Scope::Output, 0, streamFormat)))
        return fail();
    if (!units::ok(unit->setMaximumFramesPerSlice(uint32_t(maxFrames)))) return fail();

    const units::RenderCallbackStruct callback{&chainUnitRenderCallback, renderContext};
    if (componentType != units::componenttype::MusicDevice) {
        unit->setRenderCallback(0, callback);
        renderContext->mode = ChainUnitEffect;
    } else if (unit->hasProperty(units::PropertyID::SetRenderCallback, units::Scope::Input, 0) &&
               units::ok(unit->setRenderCallback(0, callback))) {
        renderContext->mode = ChainUnitInstrumentCallback;
    } else {
        // An instrument without an input hears the chain through a render
        // notification instead.
        renderContext->mode = ChainUnitInstrumentNotify;
        if (!units::ok(unit->addRenderNotify(&chainUnitRenderCallback, renderContext))) return fail();
    }
    if (!units::ok(unit->initialize())) {
        if (renderContext->mode == ChainUnitInstrumentNotify)
            unit->removeRenderNotify(&chainUnitRenderCallback, renderContext);
        return fail();
    }
    for (units::ParameterID id : unit->parameterList(units::Scope::Global)) {
        units::ParameterInfo info;
        if (units::ok(unit->parameterInfo(units::Scope::Global, id, &info)))
            unit->setParameter(id, units::Scope::Global, 0, info.defaultValue);
    }
    return unit.release();
}

// ---------------------------------------------------------------------------
// The render cycle

void tapProcess(ProcessingTap* tap, int64_t numberFrames, uint32_t flags,
                units::BufferList* bufferList, int64_t* numberFramesOut, uint32_t* flagsOut) {
    realtime::Scope realtimeScope;
    auto* c = contextOf(tap);
    if (!c) return;
    // Counted in, so that the main thread can tell when no render holds the track.
    realtime::ReaderEpochs::Presence presence(c->renders);
    MusicFilter* track = c->trackFilter.load();
    if (!track) return;

    if (!c->formatSupported.load()) {
        ProcessingTap::getSourceAudio(tap, numberFrames, bufferList, flagsOut, nullptr, numberFramesOut);
        return;
    }

    AudioControllerServices* controller = track->audioController();
    const MediaTime previousStart = c->sliceTimeRange.start;
    // A selection entry entered in this slice switches its units before the
    // slice's copy of the switches is taken, so it is heard at once.
    if (controller) controller->updateParametersForSelectionAtTime(previousStart, track, c);

    // This render's copy of the active and enable bytes.
    std::array<bool, kBuiltInUnitCount> active;
    for (int i = 0; i < kBuiltInUnitCount; ++i) active[i] = c->unitFlags[i].load() != 0;

    // The track's curves as published when this slice began, for all of it.
    // Their points for this slice lie where the last slice's look-ups ended:
    // asking for them all now overlaps the memory reads the look-ups would
    // otherwise wait for one after another.
    const auto curves = track->rt_automation();
    if (curves && controller)
        for (uint32_t bits = curves->automatedInputs; bits; bits &= bits - 1) {
            const int input = std::countr_zero(bits);
            const auto& points = curves->curves[size_t(input)];
            const uint32_t at = track->rt_curveCursors[size_t(input)].load(std::memory_order_relaxed);
            if (at < points.size()) __builtin_prefetch(points.data() + at);
            if (at > 0 && at - 1 < points.size()) __builtin_prefetch(points.data() + at - 1);
        }
    // What the units in use would delay the track by: a renderer re-aligns
    // the track when that differs from what it counts now.
    const uint32_t counted = c->countedLatentUnits.load(std::memory_order_relaxed);
    tap->setWantedLatency(latencyOf(c, latentUnitsInUse(c, track, curves.get())));
    if (controller) {
        for (const auto& a : kAutomatedInputs) {
            if (controller->isPausedRecordedParameter(a.input)) continue;
            auto result = controller->updateRecordedParametersForFilter(
                track, curves.get(), previousStart, a.input, c->unit(a.unit).load(),
                a.passesListener ? c->parameterListener.get() : nullptr);
            if (!result || !a.decidesActive) continue;
            // A unit with latency that a curve drives keeps playing at the
            // curve's neutral value: were it to sit out there, the curve
            // leaving neutral would bring it in clean and silent for its
            // latency, a gap in the middle of a smooth move.
            const int u = static_cast<int>(a.unit);
            active[u] = *result != 0.0 || ((counted >> u) & 1u) != 0;
        }
    }

    // The chain: enabled plug-ins with instruments first, then the active
    // built-in units in their fixed order.
    std::array<CallbackAudioInfo, kMaxChain> chain{};
    const auto plugins = track->pluginChain();
    const uint32_t pluginCount =
        plugins ? uint32_t(std::min<size_t>(plugins->entries.size(), kMaxPluginSlots)) : 0;
    uint32_t filled = 0;
    for (int pass = 0; pass < 2; ++pass)  // instruments, then effects, each in order
        for (uint32_t i = 0; i < pluginCount; ++i) {
            const auto& e = plugins->entries[i];
            const bool instrument = e.mode != ChainUnitEffect;
            if (instrument != (pass == 0)) continue;
            chain[filled] = {tap, e.unit, filled ? chain[filled - 1].unit : nullptr, e.mode};
            ++filled;
        }
    // A counted unit with latency that sits out leaves its stand-in in its
    // place, run on the input of the next unit that plays (or after the
    // last). One that comes back after sitting out, or any after a start or
    // a jump, starts clean: it then gives out silence for its latency, not
    // sound from another time. A unit with latency that is not counted yet
    // sits out with no stand-in until the renderer re-aligns the track.
    std::array<uint32_t, kMaxChain> standInsBefore{};
    uint32_t pendingStandIns = 0, allStandIns = 0;
    const bool startOfStream = (flags & ProcessingTapFlagStartOfStream) != 0;
    for (auto u : kChainOrder) {
        const int i = static_cast<int>(u);
        units::Unit* unit = c->unit(u).load();
        auto& standIn = c->standIns[i];
        const bool counts = standIn.frames && ((counted >> i) & 1u);
        // A unit whose parts are not made yet sits out like one switched off.
        const bool plays = active[i] && unit && unit->readyToRender() && (!standIn.frames || counts);
        if (counts) {
            allStandIns |= 1u << i;
            if (plays && (!standIn.played || startOfStream)) unit->reset();
        }
        standIn.played = plays;
        if (!plays) {
            if (counts) pendingStandIns |= 1u << i;
            continue;
        }
        standInsBefore[filled] = pendingStandIns;
        pendingStandIns = 0;
        chain[filled] = {tap, unit, filled ? chain[filled - 1].unit : nullptr, ChainUnitEffect};
        ++filled;
    }
    c->chainEntries = chain.data();
    c->chainEntryCount = pluginCount + kBuiltInUnitCount;
    c->sourceBuffers = bufferList;
    c->sourceFetched = false;
    c->startsStream = startOfStream;
    c->standInsBefore = standInsBefore.data();
    c->standInsAfter = pendingStandIns;

    bool rendered = false;
    if (filled > 0 && numberFrames <= c->maxFrames) {
        units::BufferList tapList = *bufferList;
        // An instrument at the head of the chain plays over the source:
        // fetch it first, whatever drives the instrument.
        units::Status status = units::Status::Ok;
        if (chain[0].mode != ChainUnitEffect) {
            if (fetchSource(c, numberFrames, bufferList, nullptr, nullptr) != ProcessingTap::NoError)
                status = units::Status::NoConnection;
            else if (c->sliceTimeRange.start.isValid())
                scheduleMIDI(c, track);
        }
        const CallbackAudioInfo& last = chain[filled - 1];
        units::RenderActionFlags actionFlags = 0;
        units::TimeStamp ts;
        ts.sampleTime = c->contextSampleCount.load();
        ts.flags = units::TimeStamp::SampleTimeValid;
        if (units::ok(status)) {
            if (last.mode != ChainUnitEffect) {
                units::BufferList scratch;
                if (instrumentScratch(c, filled - 1, uint32_t(numberFrames), scratch)) {
                    status = last.unit->render(&actionFlags, ts, 0, uint32_t(numberFrames), &scratch);
                    if (units::ok(status)) accumulateBufferList(*bufferList, scratch);
                } else {
                    status = units::Status::TooManyFramesToProcess;
                }
            } else {
                status = last.unit->render(&actionFlags, ts, 0, uint32_t(numberFrames), &tapList);
            }
        }
        rendered = units::ok(status);
    }
    c->sourceBuffers = nullptr;
    c->standInsBefore = nullptr;

    if (rendered) {
        runStandIns(c, c->standInsAfter, *bufferList, uint32_t(numberFrames));
        c->contextSampleCount.store(c->contextSampleCount.load() + 1.0);
        if (numberFramesOut) *numberFramesOut = numberFrames;
    } else {
        uint32_t f = 0;
        int64_t framesOut = 0;
        if (fetchSource(c, numberFrames, bufferList, &f, &framesOut) != ProcessingTap::NoError) {
            zeroBufferList(bufferList);
            return;
        }
        // No chain played: every stand-in keeps the track's timing.
        runStandIns(c, allStandIns, *bufferList, uint32_t(numberFrames));
        if (flagsOut) *flagsOut = f;
        if (numberFramesOut) *numberFramesOut = framesOut;
    }

    if (!c->sliceTimeRange.start.isNumeric()) {
        zeroBufferList(bufferList);
        return;
    }
    // What comes out now was fed in the track's latency ago: the level, the
    // fades and the balance are those of the time it is heard at.
    MediaTime heard = c->sliceTimeRange.start;
    if (const int64_t latency = c->latencyFrames.load(); latency > 0)
        heard = heard - MediaTime(latency, int32_t(std::lround(c->sampleRate.load())));
    const double t = heard.seconds();
    // The frames of a slice heard before the track starts are silent, and
    // the rest of it is heard: a track that starts inside a slice keeps its
    // first frames, wherever it was placed.
    const double trackStart = c->contextTrackStartTime.load();
    const double rate = c->sampleRate.load();
    int64_t framesBefore = 0;
    if (t < trackStart) framesBefore = rate > 0 ? int64_t(std::ceil((trackStart - t) * rate - 1e-6)) : numberFrames;
    if (framesBefore >= numberFrames || t > c->contextTrackEndTime.load() ||
        c->sliceTimeRange.duration == MediaTime::zero()) {
        zeroBufferList(bufferList);
    } else {
        if (framesBefore > 0) zeroLeadingFrames(bufferList, framesBefore);
        const MediaTime now = heard;
        std::optional<double> automatedLevel, automatedBalance;
        bool levelPaused = true, balancePaused = true;
        if (controller) {
            levelPaused = controller->isPausedRecordedParameter(EffectInput::AudioMix);
            if (!levelPaused)
                automatedLevel = controller->updateRecordedParametersForFilter(track, curves.get(), now,
                    EffectInput::AudioMix, nullptr, nullptr);
            balancePaused = controller->isPausedRecordedParameter(EffectInput::ChannelMix);
            if (!balancePaused)
                automatedBalance = controller->updateRecordedParametersForFilter(track, curves.get(), now,
                    EffectInput::ChannelMix, nullptr, nullptr);
        }
        slicegain::LevelState s{c->contextTrackStartTime.load(), c->contextTrackEndTime.load(),
                                c->contextFadeInDuration.load(), c->contextFadeOutDuration.load(),
                                c->contextVolume.load()};
        if (auto gain = slicegain::levelGain(std::max(t, trackStart), s, automatedLevel))
            applyGainToBufferList(bufferList, *gain);
        if (automatedBalance) applyChannelBalance(bufferList, *automatedBalance);
        else if (double b = c->contextTrackChannelMix.load(); b != 0) applyChannelBalance(bufferList, b);
    }

    if (c->soloMuted.load()) zeroBufferList(bufferList);

    if (controller && controller->notifyAudioMetering.load())
        meterSlice(c, track, controller, bufferList, numberFrames, heard);
}

units::Status chainUnitRenderCallback(void* refCon, units::RenderActionFlags* actionFlags,
                                      const units::TimeStamp& timeStamp, uint32_t bus,
                                      uint32_t frames, units::BufferList* ioData) {
    (void)bus;
    auto* rc = static_cast<ChainUnitRenderContext*>(refCon);
    TrackTapContext* c = rc ? rc->context : nullptr;
    if (!c || c->chainEntryCount == 0 || !c->chainEntries || !c->sourceBuffers) return units::Status::Ok;
    uint32_t slot = 0;
    const uint32_t count = c->chainEntryCount;
    while (slot < count && c->chainEntries[slot].unit != rc->unit) ++slot;
    if (slot == count || !rc->unit) return units::Status::Ok;
    if (rc->mode == ChainUnitInstrumentNotify && !(actionFlags && (*actionFlags & units::PreRender)))
        return units::Status::Ok;
    MusicFilter* track = c->trackFilter.load();
    if (!track) return units::Status::Ok;
    const CallbackAudioInfo& info = c->chainEntries[slot];

    if (!info.previousUnit) {
        // The head of the chain takes the track's source audio.
        const bool instrument = rc->mode != ChainUnitEffect;
        if (instrument && c->sourceFetched) return units::Status::Ok;
        units::BufferList* into = c->sourceBuffers;
        if (!instrument && ioData && ioData->numberBuffers > 0 && ioData->buffers[0].data) into = ioData;
        int status = fetchSource(c, frames, into, nullptr, nullptr);
        if (status == ProcessingTap::NoError && instrument && c->sliceTimeRange.start.isValid())
            scheduleMIDI(c, track);
        if (status == ProcessingTap::NoError && !instrument) prepareSlotInput(c, slot, rc->unit, *into, frames);
        return status == ProcessingTap::NoError ? units::Status::Ok : units::Status::NoConnection;
    }

    const CallbackAudioInfo& previous = c->chainEntries[slot - 1];
    units::RenderActionFlags renderFlags = 0;
    if (previous.mode != ChainUnitEffect) {
        // An instrument renders into buffers of its own; its sound is then
        // laid over the source.
        units::BufferList scratch;
        if (!instrumentScratch(c, slot - 1, frames, scratch)) return units::Status::TooManyFramesToProcess;
        auto status = previous.unit->render(&renderFlags, timeStamp, 0, frames, &scratch);
        if (!units::ok(status)) return status;
        if (rc->mode == ChainUnitEffect) {
            units::BufferList& input = ioData ? *ioData : *c->sourceBuffers;
            mixBufferLists(input, *c->sourceBuffers, scratch);
            prepareSlotInput(c, slot, rc->unit, input, frames);
        } else {
            accumulateBufferList(*c->sourceBuffers, scratch);
        }
        return status;
    }
    if (!ioData) return units::Status::Ok;
    const units::Status status = previous.unit->render(&renderFlags, timeStamp, 0, frames, ioData);
    if (units::ok(status)) prepareSlotInput(c, slot, rc->unit, *ioData, frames);
    return status;
}

// ---------------------------------------------------------------------------
// The listener block

void tapParameterGestureHandler(TrackTapContext* c, void* object, const units::UnitEvent& event,
                                uint64_t hostTime, float value) {
    (void)hostTime;
    auto* track = static_cast<MusicFilter*>(object);
    if (!c || !track || c->trackFilter.load() != track) return;
    AudioControllerServices* controller = track->audioController();
    if (!controller) return;
    using Type = units::UnitEvent::Type;

    struct FilterParameter {
        BuiltInUnit unit;
        units::ParameterID parameter;
        FilterSlider slider;
    };
    static constexpr FilterParameter kFilterParameters[] = {
        {BuiltInUnit::LowPass, 0, FilterSlider::LowPassCutoff},
        {BuiltInUnit::LowPass, 1, FilterSlider::LowPassResonance},
        {BuiltInUnit::HighPass, 0, FilterSlider::HighPassCutoff},
        {BuiltInUnit::HighPass, 1, FilterSlider::HighPassResonance},
        {BuiltInUnit::BandPass, 0, FilterSlider::BandPassCenter},
        {BuiltInUnit::BandPass, 1, FilterSlider::BandPassBandwidth},
    };
    auto filterParameter = [&](const units::UnitEvent& e) -> const FilterParameter* {
        for (const auto& f : kFilterParameters)
            if (e.unit && c->unit(f.unit).load() == e.unit && f.parameter == e.parameter) return &f;
        return nullptr;
    };
    auto isFilterUnit = [&](const units::Unit* u) {
        return u && (u == c->lowPassUnit().load() || u == c->highPassUnit().load() ||
                     u == c->bandPassUnit().load());
    };

    switch (event.type) {
    case Type::BeginParameterChangeGesture:
        controller->setPauseUpdateSelectionParameters(true);
        break;
    case Type::PropertyChange: {
        UndoManager* um = controller->audioUnitPanelUndoManager();
        std::weak_ptr<MusicFilter> weak = track->weak_from_this();
        if (event.property == units::PropertyID::ClassInfo) {
            if (um) {
                const QVariantMap before = track->pluginsClassInfosDictionary;
                um->registerUndo(track, [weak, before] {
                    if (auto t = weak.lock()) t->undoRedoPluginClassInfo(before);
                });
            }
            track->updateClassInfoForPluginEvent(event);
        } else if (event.property == units::PropertyID::PresentPreset) {
            if (um) {
                const QVariantMap before = track->pluginsPresetsDictionary;
                um->registerUndo(track, [weak, before] {
                    if (auto t = weak.lock()) t->undoRedoPluginPreset(before);
                });
            }
            track->updatePresetForPluginEvent(event);
        } else {
            track->updateListenerParametersFromPluginAudioUnit(event);
            track->updateListenerParametersFromAudioUnit(event.unit);
        }
        break;
    }
    case Type::EndParameterChangeGesture: {
        controller->setPauseUpdateSelectionParameters(false);
        controller->setNeedsToUpdateValueImmediately(true);
        if (const auto* f = filterParameter(event)) controller->sendFilterSliderAction(f->slider);
        controller->setNeedsToUpdateValueImmediately(false);
        for (auto& p : track->listenerParameters) {
            units::Unit* unit = track->getAudioUnitForType(p.type);
            if (isFilterUnit(unit)) continue;
            if (unit != event.unit || p.parameterID != event.parameter) continue;
            if (UndoManager* um = controller->audioUnitPanelUndoManager()) {
                std::weak_ptr<MusicFilter> weak = track->weak_from_this();
                const MAudioParameter before = p;
                um->registerUndo(track, [weak, before] {
                    if (auto t = weak.lock()) t->undoParameterValue(before);
                });
            }
            float v = 0;
            if (units::ok(unit->getParameter(p.parameterID, units::Scope::Global, 0, &v))) p.value = v;
            break;
        }
        break;
    }
    case Type::ParameterValueChange: {
        const auto* f = filterParameter(event);
        if (!f) break;
        auto [lo, hi] = controller->filterSliderRange(f->slider);
        const float v = std::clamp(value, lo, hi);
        controller->setFilterSliderValue(f->slider, v);
        switch (f->slider) {
        case FilterSlider::LowPassCutoff: c->setFlag(BuiltInUnit::LowPass, v < 22050.0f); break;
        case FilterSlider::HighPassCutoff: c->setFlag(BuiltInUnit::HighPass, v > 0.0f); break;
        case FilterSlider::BandPassCenter:
            if (v != 11025.0f) c->setFlag(BuiltInUnit::BandPass, true);
            else if (track->value(EffectInput::BandPassBandwidth) == 11025.0f) c->setFlag(BuiltInUnit::BandPass, false);
            break;
        case FilterSlider::BandPassBandwidth:
            if (v != 11025.0f) c->setFlag(BuiltInUnit::BandPass, true);
            else if (track->value(EffectInput::BandPassCenterFrequency) == 11025.0f) c->setFlag(BuiltInUnit::BandPass, false);
            break;
        default: break;
        }
        controller->verifyParameterRecordingForSlider(f->slider);
        break;
    }
    }
}

}  // namespace tracktap
