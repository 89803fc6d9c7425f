#include "platform/units/PitchUnits.h"

#include "platform/units/StretcherLog.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace units {

using RubberBand::RubberBandStretcher;

namespace {
// Silence goes through the stretcher in slices this long while it settles,
// and at the reference pitch until this much has come out: more than the
// resampler holds at any pitch, so that all it holds is silence.
constexpr size_t kSettleSlice = 256;
constexpr size_t kSettleFrames = 512;
}  // namespace

TimePitchUnit::TimePitchUnit(const ComponentDescription& description, const QString& name, bool withRate)
    : Unit(description, name), withRate_(withRate) {
    if (withRate)
        addParameter(0, {QStringLiteral("Rate"), ParameterUnit::Rate, 0.03125f, 32.0f, 1.0f});
    addParameter(1, {QStringLiteral("Pitch"), ParameterUnit::Cents, -2400.0f, 2400.0f, 0.0f});
}

TimePitchUnit::~TimePitchUnit() = default;

TimePitchEffectUnit::TimePitchEffectUnit()
    : TimePitchUnit({componenttype::Effect, fourCC("tmpt"), kBuiltInManufacturer, 0, 0},
                    QStringLiteral("Pitch"), true) {}

NewTimePitchUnit::NewTimePitchUnit()
    : TimePitchUnit({componenttype::FormatConverter, fourCC("nutp"), kBuiltInManufacturer, 0, 0},
                    QStringLiteral("Pitch Shift"), false) {}

TimePitchUnit::Stretch::~Stretch() = default;

// A stretcher for the unit's rate, channels and maximum slice, taken through
// its extremes once so that it has its buffers for any pitch and rate
// before the first slice, and its memory.
std::unique_ptr<TimePitchUnit::Stretch> TimePitchUnit::makeStretch() const {
    const uint32_t ch = channels();
    const size_t max = maximumFramesPerSlice();
    // Smooth transients and independent phases keep a steady tone's pitch
    // exact; high consistency lets the pitch move while playing.
    const auto options = RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionEngineFaster |
                         RubberBandStretcher::OptionPitchHighConsistency |
                         RubberBandStretcher::OptionTransientsSmooth |
                         RubberBandStretcher::OptionPhaseIndependent |
                         RubberBandStretcher::OptionChannelsTogether;
    auto s = std::make_unique<Stretch>();
    s->stretcher = std::make_unique<RubberBandStretcher>(size_t(sampleRate()), ch, stretcherLogger(), options);
    s->stretcher->setMaxProcessSize(max);
    s->in = std::make_unique<float[]>(size_t(ch) * max);
    s->out = std::make_unique<float[]>(size_t(ch) * max);
    s->ring = std::make_unique<float[]>(size_t(ch) * ringCapacity_);
    for (uint32_t c = 0; c < ch; ++c) {
        s->inPtr[c] = s->in.get() + size_t(c) * max;
        s->outPtr[c] = s->out.get() + size_t(c) * max;
    }
    for (double scale : {0.25, 4.0}) s->stretcher->setPitchScale(scale);
    if (withRate_)
        for (double ratio : {1.0 / 32, 32.0}) s->stretcher->setTimeRatio(ratio);
    return s;
}

Status TimePitchUnit::doInitialize() {
    const uint32_t max = maximumFramesPerSlice();
    // The stretcher holds back at most about 8,400 frames at 48 kHz or
    // less (at two octaves down; less at any other pitch), twice that at
    // 96 kHz, whatever the slice: the latency covers that with a little to
    // spare, and any slice beyond the usual 4096 frames.
    const double sr = sampleRate();
    const size_t perRate = size_t(std::max(1.0, std::ceil(sr / 48000.0)));
    const size_t latency = 8704 * perRate + (max > 4096 ? size_t(max) - 4096 : 0);
    latency_.store(latency);
    // Room for the latency and what a few slices can bring at the highest rate.
    ringCapacity_ = latency + size_t(max) * 4 + size_t(sr);
    rt_started_ = nullptr;
    if (!partsOnDemand()) {
        std::lock_guard lock(making_);
        stretch_.publish(makeStretch());
        ready_.store(true, std::memory_order_release);
    }
    return Status::Ok;
}

void TimePitchUnit::prepareForRender() {
    if (!isInitialized()) return;
    std::lock_guard lock(making_);
    if (stretch_.current()) return;
    stretch_.publish(makeStretch());
    ready_.store(true, std::memory_order_release);
}

void TimePitchUnit::doUninitialize() {
    std::lock_guard lock(making_);
    ready_.store(false);
    stretch_.publish(nullptr);
    stretch_.synchronize();
    rt_started_ = nullptr;
    flushStretcherLog();  // what the render had to say
}

void TimePitchUnit::doReset() {
    auto s = stretch_.read();
    if (s && s.get() == rt_started_) restart(*s);
}

void TimePitchUnit::applyParameters(const Stretch& s) {
    const float pitch = parameterSlot(1).load(std::memory_order_relaxed);
    const float rate = withRate_ ? parameterSlot(0).load(std::memory_order_relaxed) : 1.0f;
    if (pitch != appliedPitch_) s.stretcher->setPitchScale(std::pow(2.0, pitch / 1200.0));
    if (rate != appliedRate_) s.stretcher->setTimeRatio(1.0 / rate);
    appliedPitch_ = pitch;
    appliedRate_ = rate;
}

// Starts the stretcher over: the recommended lead of silence goes in, and
// the matching start delay will be dropped from its output. The ring starts
// with the latency's worth of silence ahead of what the stretcher gives.
void TimePitchUnit::restart(const Stretch& s) {
    const size_t delay = startDelay(s);
    startClean(s);
    discard_ = delay;
    std::fill_n(s.ring.get(), size_t(channels()) * ringCapacity_, 0.0f);
    ringRead_ = 0;
    ringFill_ = std::min<size_t>(latency_.load(), ringCapacity_);
    owed_ = 0;
    carry_ = 0;
    heardSignal_ = false;
    drain(s);
}

// Takes the stretcher back to the state it was made in, and leads it in with
// its recommended silence. Its own reset() does not quite:
// - once it shifts the pitch, what it held before goes on into its first
//   output after the reset, which then differs from one start to the next
//   and moves the start delay by up to hundreds of frames. So silence goes
//   through it first, for as long as it can hold input back (the latency),
//   whenever it has taken anything else since it was last cleared.
// - its output resampler starts again from the state it had at the pitch
//   before the last change of pitch: that state's samples, and where it
//   stood between two samples. A stretcher whose pitch moved while it ran
//   (a slider, or a first slice rendered before the unit's pitch was set)
//   would then start a fraction of a frame, or with a stray click many
//   frames, away from a new one. So the resampler goes to a reference pitch
//   and back, on silence, every time: the reference has a single phase, so
//   whatever came before, the resampler starts from that silent state.
// What it keeps through the reset is then the same after every start, and
// it starts exactly as a new one would.
void TimePitchUnit::startClean(const Stretch& s) {
    const size_t max = maximumFramesPerSlice();
    std::fill_n(s.in.get(), size_t(channels()) * max, 0.0f);
    auto retrieveAll = [&] {
        size_t got = 0;
        for (int available = s.stretcher->available(); available > 0; available = s.stretcher->available()) {
            const size_t n = s.stretcher->retrieve(s.outPtr, std::min<size_t>(size_t(available), max));
            if (n == 0) break;
            got += n;
        }
        return got;
    };
    // Silence in until at least `frames` have gone in and `out` frames have
    // come out since the call (a second's worth more at most).
    auto feedSilence = [&](size_t frames, size_t out) {
        retrieveAll();
        const size_t most = frames + size_t(sampleRate());
        for (size_t in = 0, got = 0; (in < frames || got < out) && in < most;) {
            const size_t n = in < frames ? std::min(frames - in, max) : std::min<size_t>(kSettleSlice, max);
            s.stretcher->process(s.inPtr, n, false);
            in += n;
            got += retrieveAll();
        }
    };
    if (rt_holdsSignal_) feedSilence(latency_.load(), 0);
    // Pitch scale 1 (or 1/2 when that is the pitch) resamples with one
    // phase (two, and a whole input sample per call): its state at the end
    // of a slice is always the same. The first pass at the pitch sizes the
    // resampler as the pitch does; the last makes the reference the state
    // the reset starts from.
    const double pitch = s.stretcher->getPitchScale();
    feedSilence(0, 1);
    s.stretcher->setPitchScale(pitch == 1.0 ? 0.5 : 1.0);
    feedSilence(0, kSettleFrames);
    s.stretcher->setPitchScale(pitch);
    feedSilence(0, 1);
    s.stretcher->reset();
    rt_holdsSignal_ = false;
    for (size_t pad = s.stretcher->getPreferredStartPad(); pad > 0;) {
        const size_t n = std::min(pad, max);
        s.stretcher->process(s.inPtr, n, false);
        pad -= n;
    }
}

// The stretcher's real start delay at the pitch and rate it has now. The
// delay it reports is off by up to a few hundred frames once it shifts the
// pitch, and leaves out what its resampler holds after startClean() at any
// pitch: so a click goes in after the lead of silence, and the centre of the
// click's energy, as it comes out, is where the first frame after the lead
// comes out. Measured once per pitch and rate; leaves the stretcher to be
// started over.
size_t TimePitchUnit::startDelay(const Stretch& s) {
    const size_t reported = s.stretcher->getStartDelay();
    if (appliedPitch_ == measuredPitch_ && appliedRate_ == measuredRate_) return measuredDelay_;
    const uint32_t ch = channels();
    const size_t max = maximumFramesPerSlice();
    startClean(s);
    rt_holdsSignal_ = true;  // the click
    // The stretcher settles over its first windows: the click goes in well
    // after the start, where it plays from then on.
    const size_t clickAt = 16384;
    double weighted = 0, energy = 0;
    size_t out = 0;
    const size_t span = clickAt + reported * 4 + 8192;
    for (size_t fed = 0; fed < span;) {
        const size_t n = std::min(max, span - fed);
        const bool click = fed <= clickAt && clickAt < fed + n;
        if (click)
            for (uint32_t c = 0; c < ch; ++c) s.inPtr[c][clickAt - fed] = 1.0f;
        s.stretcher->process(s.inPtr, n, false);
        if (click)
            for (uint32_t c = 0; c < ch; ++c) s.inPtr[c][clickAt - fed] = 0.0f;
        fed += n;
        for (int available = s.stretcher->available(); available > 0; available = s.stretcher->available()) {
            const size_t got = s.stretcher->retrieve(s.outPtr, std::min<size_t>(size_t(available), max));
            if (got == 0) break;
            for (size_t i = 0; i < got; ++i) {
                const double e = double(s.outPtr[0][i]) * s.outPtr[0][i];
                weighted += e * double(out + i);
                energy += e;
            }
            out += got;
        }
    }
    measuredPitch_ = appliedPitch_;
    measuredRate_ = appliedRate_;
    const double centre = energy > 0 ? weighted / energy - double(clickAt) : double(reported);
    measuredDelay_ = size_t(std::llround(std::max(0.0, centre)));
    return measuredDelay_;
}

void TimePitchUnit::drain(const Stretch& s) {
    const uint32_t ch = channels();
    const size_t max = maximumFramesPerSlice();
    for (int available = s.stretcher->available(); available > 0; available = s.stretcher->available()) {
        const size_t got = s.stretcher->retrieve(s.outPtr, std::min<size_t>(size_t(available), max));
        if (got == 0) break;
        size_t from = 0;
        if (discard_ > 0) {
            from = std::min(discard_, got);
            discard_ -= from;
        }
        for (size_t i = from; i < got; ++i) {
            if (ringFill_ == ringCapacity_) {  // never expected: drop the oldest frame
                ringRead_ = (ringRead_ + 1) % ringCapacity_;
                --ringFill_;
            }
            const size_t at = (ringRead_ + ringFill_) % ringCapacity_;
            for (uint32_t c = 0; c < ch; ++c) s.ring[size_t(c) * ringCapacity_ + at] = s.outPtr[c][i];
            ++ringFill_;
        }
    }
}

Status TimePitchUnit::doRender(RenderActionFlags& flags, const TimeStamp& ts, uint32_t, uint32_t frames,
                               BufferList& io) {
    const uint32_t ch = channels();
    const size_t max = maximumFramesPerSlice();
    if (bypass()) return pullInput(flags, ts, 0, frames, io);
    const auto stretch = stretch_.read();
    if (!stretch) {
        // Rendered before its stretcher was made (a host that does not ask
        // readyToRender()): the input goes nowhere and the unit gives out
        // silence, which keeps its latency.
        if (Status s = pullInput(flags, ts, 0, frames, io); !ok(s)) return s;
        for (uint32_t c = 0; c < io.numberBuffers; ++c) std::memset(io.channel(c), 0, frames * sizeof(float));
        return Status::Ok;
    }
    const Stretch& s = *stretch;
    if (&s != rt_started_) {
        // A stretch the render has not used yet: set it to the parameters
        // and start it over.
        appliedPitch_ = appliedRate_ = std::nanf("");
        measuredPitch_ = measuredRate_ = std::nanf("");
        rt_holdsSignal_ = false;  // as made
        applyParameters(s);
        restart(s);
        rt_started_ = &s;
    }
    const bool pitchMoved = parameterSlot(1).load(std::memory_order_relaxed) != appliedPitch_ ||
                            (withRate_ && parameterSlot(0).load(std::memory_order_relaxed) != appliedRate_);
    applyParameters(s);
    if (pitchMoved && !heardSignal_) restart(s);

    // Pull rate × frames of input (exactly `frames` at rate 1), in slices
    // the input can give.
    carry_ += double(frames) * appliedRate_;
    size_t wanted = size_t(carry_);
    carry_ -= double(wanted);
    TimeStamp at = ts;
    while (wanted > 0) {
        const uint32_t n = uint32_t(std::min(wanted, max));
        BufferList in;
        in.numberBuffers = ch;
        for (uint32_t c = 0; c < ch; ++c) in.buffers[c] = {1, n * uint32_t(sizeof(float)), s.inPtr[c]};
        if (Status status = pullInput(flags, at, 0, n, in); !ok(status)) return status;
        for (uint32_t c = 0; c < ch && !heardSignal_; ++c)
            heardSignal_ = std::any_of(s.inPtr[c], s.inPtr[c] + n, [](float v) { return v != 0.0f; });
        rt_holdsSignal_ = rt_holdsSignal_ || heardSignal_;
        s.stretcher->process(s.inPtr, n, false);
        drain(s);
        wanted -= n;
        at.sampleTime += n;
    }

    // Frames once given out as silence have come late: skip them.
    const size_t skip = std::min(owed_, ringFill_);
    ringRead_ = (ringRead_ + skip) % ringCapacity_;
    ringFill_ -= skip;
    owed_ -= skip;
    // Out: from the ring, which holds the latency ahead; silence for any
    // frame the stretcher has not given yet.
    const uint32_t real = uint32_t(std::min<size_t>(frames, ringFill_));
    const uint32_t silent = frames - real;
    for (uint32_t c = 0; c < std::min(ch, io.numberBuffers); ++c) {
        float* out = io.channel(c);
        const float* src = s.ring.get() + size_t(c) * ringCapacity_;
        for (uint32_t i = 0; i < real; ++i) out[i] = src[(ringRead_ + i) % ringCapacity_];
        std::memset(out + real, 0, silent * sizeof(float));
    }
    ringRead_ = (ringRead_ + real) % ringCapacity_;
    ringFill_ -= real;
    owed_ += silent;
    return Status::Ok;
}

}  // namespace units
