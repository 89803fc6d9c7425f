#include "UnitRig.h"

#include "platform/core/Realtime.h"
#include "platform/units/Dsp.h"
#include "platform/units/PitchUnits.h"
#include "platform/units/StretcherLog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <string>

using namespace units;
using testsupport::binDb;
using testsupport::levelDb;
using testsupport::peakDb;
using testsupport::peakFrequency;
using testsupport::sine;
using testsupport::spectrum;

namespace {

using Settings = std::vector<std::pair<ParameterID, float>>;

void apply(Unit& u, const Settings& s) {
    for (auto [id, v] : s) ASSERT_EQ(u.setParameter(id, v), Status::Ok) << id;
}

// The built-in effects (the built-in instruments have tests of their own).
std::vector<const Component*> builtIns() {
    std::vector<const Component*> out;
    for (const Component* c = ComponentRegistry::instance().findNext({0, 0, kBuiltInManufacturer});
         c; c = ComponentRegistry::instance().findNext({0, 0, kBuiltInManufacturer}, c))
        if (c->description().componentType != componenttype::MusicDevice) out.push_back(c);
    return out;
}

}  // namespace

// ---------------------------------------------------------------- dynamics

struct DynamicsCase {
    const char* subtype;
    Settings settings;
    double inputDb;
    double expectedDb;
    double toleranceDb;
};

class Dynamics : public ::testing::TestWithParam<DynamicsCase> {};

TEST_P(Dynamics, SteadyToneLevel) {
    const DynamicsCase& c = GetParam();
    UnitRig rig(componenttype::Effect, fourCCFromString(c.subtype));
    apply(rig.unit(), c.settings);
    const Signal in = sine(1000, rig.sampleRate(), int64_t(rig.sampleRate()), std::pow(10.0, c.inputDb / 20));
    const Signal out = rig.runMono(in);
    EXPECT_NEAR(peakDb(out, out.size() * 3 / 4), c.expectedDb, c.toleranceDb);
}

INSTANTIATE_TEST_SUITE_P(
    Units, Dynamics,
    ::testing::Values(
        // Above the threshold the level rises by 1/ratio of the input's rise.
        DynamicsCase{"dcmp", {{0, -20}, {1, 4}}, -6, -20 + 14.0 / 4, 0.7},
        DynamicsCase{"dcmp", {{0, -20}, {1, 2}}, -4, -20 + 16.0 / 2, 0.7},
        DynamicsCase{"dcmp", {{0, -30}, {1, 10}, {4, 6}}, -10, -30 + 20.0 / 10 + 6, 0.7},
        DynamicsCase{"dcmp", {{0, -20}, {1, 4}}, -30, -30, 0.3},
        DynamicsCase{"dcmp", {{6, 2}, {7, -40}}, -50, -60, 0.7},
        // Multiband: the second band spanning 20 Hz to 20 kHz takes the tone
        // whole; a tone in the first band does not hear the second's settings.
        DynamicsCase{"mcmp", {{2, 20}, {3, 20000}, {4, 20000}, {6, -20}, {10, 4}}, -6, -20 + 14.0 / 4, 0.7},
        DynamicsCase{"mcmp", {{2, 20}, {3, 20000}, {4, 20000}, {6, -30}, {10, 2}}, -10, -30 + 20.0 / 2, 0.7},
        DynamicsCase{"mcmp", {{2, 4000}, {3, 8000}, {4, 16000}, {9, 1}, {6, -40}, {10, 10}}, -6, -6, 0.5},
        DynamicsCase{"mcmp", {}, -30, -30, 0.5}));

TEST(PeakLimiter, NeverExceedsItsCeiling) {
    struct Case { float ceiling; float attack; uint32_t slice; double rate; };
    for (Case c : {Case{0, 0.012f, 512, 48000}, Case{-6, 0.001f, 1, 44100}, Case{-0.5f, 0.03f, 4096, 96000},
                   Case{-12, 0.005f, 77, 22050}}) {
        UnitRig rig(componenttype::Effect, fourCC("lmtr"), c.rate);
        apply(rig.unit(), {{3, c.ceiling}, {0, c.attack}});
        // A loud tone under bursts of louder noise.
        Signal in = sine(220, c.rate, int64_t(c.rate), 3.0);
        const Signal bursts = noise(in.size(), 8.0f, 7);
        for (size_t i = 0; i < in.size(); ++i)
            if ((i / 2000) % 5 == 0) in[i] += bursts[i];
        const Signal out = rig.runMono(in, c.slice);
        const double ceiling = std::pow(10.0, c.ceiling / 20);
        double peak = 0;
        for (float v : out) peak = std::max(peak, double(std::fabs(v)));
        EXPECT_LE(peak, ceiling * (1 + 1e-6)) << "ceiling " << c.ceiling;
        EXPECT_GT(peak, ceiling * 0.9) << "ceiling " << c.ceiling;  // limited, not silenced
        // The latency is the longest look-ahead whatever the attack, and a
        // quiet click comes out exactly that late.
        EXPECT_NEAR(rig.unit().latency(), std::ceil(0.03 * c.rate) / c.rate, 1e-9);
        rig.unit().reset();
        Signal click(size_t(0.1 * c.rate), 0.0f);
        click[100] = 0.25f;
        const Signal heard = rig.runMono(click, c.slice);
        const size_t late = size_t(std::lround(rig.unit().latency() * c.rate));
        EXPECT_FLOAT_EQ(heard[100 + late], 0.25f) << c.attack;
    }
}

// ---------------------------------------------------------------- delay and reverb

TEST(Delay, EchoAtItsDelayTimeAndResetClearsTheTail) {
    UnitRig rig(componenttype::Effect, fourCC("dely"));
    apply(rig.unit(), {{0, 50}, {1, 0.01f}, {2, 0}});
    const Signal out = rig.runMono(impulse(2000), 64);
    EXPECT_FLOAT_EQ(out[0], 0.5f);
    EXPECT_FLOAT_EQ(out[480], 0.5f);
    for (size_t i = 1; i < out.size(); ++i)
        if (i != 480) EXPECT_EQ(out[i], 0.0f) << i;

    apply(rig.unit(), {{0, 100}, {1, 0.25f}, {2, 90}});
    rig.unit().reset();
    const Signal tail = rig.runMono(impulse(4800), 512, 48000);
    EXPECT_GT(peakDb(tail, 24000, 48000), -10.0);  // the repeats go on
    rig.unit().reset();
    EXPECT_LT(peakDb(rig.runMono(Signal(48000, 0.0f))), -200.0);  // and are gone after a reset
}

TEST(MatrixReverb, TailDecaysAndTheMixHolds) {
    UnitRig rig(componenttype::Effect, fourCC("mrev"));
    apply(rig.unit(), {{0, 100}, {1, 50}, {2, 0.02f}, {3, 0.6f}, {4, 2.5f}});
    const double sr = rig.sampleRate();
    const Signal out = rig.runMono(impulse(size_t(8 * sr)));
    EXPECT_LT(peakDb(out, 0, size_t(0.02 * sr)), -200.0);  // nothing dry, nothing before the pre-delay
    double last = levelDb(out, size_t(0.02 * sr), size_t(0.25 * sr));
    EXPECT_GT(last, -70.0);
    for (double t = 0.5; t < 4.0; t += 0.5) {
        const double level = levelDb(out, size_t(t * sr), size_t((t + 0.25) * sr));
        EXPECT_LT(level, last) << t;
        last = level;
    }
    EXPECT_LT(levelDb(out, size_t(7 * sr)), levelDb(out, 0, size_t(0.5 * sr)) - 100.0);

    const Signal in = noise(size_t(0.5 * sr), 0.5f);
    for (float mix : {0.0f, 50.0f}) {
        rig.unit().reset();
        apply(rig.unit(), {{0, mix}});
        const Signal o = rig.runMono(in);
        for (size_t i = 0; i < size_t(0.02 * sr); ++i) ASSERT_FLOAT_EQ(o[i], in[i] * (1 - mix / 100)) << i;
        if (mix == 0) EXPECT_EQ(o, in);
    }
}

// ---------------------------------------------------------------- distortion, panner

TEST(Distortion, AddsHarmonics) {
    struct Case { float shape; double second; double third; };  // minimum dB re. the fundamental (NaN: below -80)
    for (Case c : {Case{0, NAN, -40}, Case{1, NAN, -30}, Case{2, -40, -40}}) {
        UnitRig rig(componenttype::Effect, fourCC("dist"));
        apply(rig.unit(), {{0, 12}, {1, c.shape}, {2, 20000}});
        const Signal out = rig.runMono(sine(1000, rig.sampleRate(), int64_t(rig.sampleRate())));
        const auto spec = spectrum(out, 8192, 32768);
        const double f = binDb(spec, 1000, rig.sampleRate());
        const double h2 = binDb(spec, 2000, rig.sampleRate()) - f, h3 = binDb(spec, 3000, rig.sampleRate()) - f;
        EXPECT_GT(h3, c.third) << "shape " << c.shape;
        if (std::isnan(c.second)) EXPECT_LT(h2, -80) << "shape " << c.shape;
        else EXPECT_GT(h2, c.second) << "shape " << c.shape;
    }
}

TEST(Panner, MovesEnergyBetweenChannels) {
    struct Case { float mode; float azimuth; double minRightOverLeftDb; double maxRightOverLeftDb; };
    for (Case c : {Case{0, -90, -400, -60}, Case{0, 0, -0.01, 0.01}, Case{0, 90, 60, 400},
                   Case{0, 45, 12, 13.5}, Case{1, -90, -400, -6}, Case{1, 0, -0.01, 0.01},
                   Case{1, 90, 6, 400}, Case{1, 180, -0.01, 0.01}}) {
        UnitRig rig(componenttype::Panner, fourCC("hrtf"));
        apply(rig.unit(), {{3, c.mode}, {0, c.azimuth}});
        const auto out = rig.run({noise(24000, 0.5f)});
        const double rl = levelDb(out[1], 4800) - levelDb(out[0], 4800);
        EXPECT_GE(rl, c.minRightOverLeftDb) << "mode " << c.mode << " azimuth " << c.azimuth;
        EXPECT_LE(rl, c.maxRightOverLeftDb) << "mode " << c.mode << " azimuth " << c.azimuth;
    }
    // A mono source into a stereo output; distance lowers the level.
    auto p = ComponentRegistry::instance().instantiate(componenttype::Panner, fourCC("hrtf"));
    ASSERT_EQ(p->setStreamFormat(Scope::Input, 0, StreamFormat::canonical(48000, 1)), Status::Ok);
    ASSERT_EQ(p->setStreamFormat(Scope::Output, 0, StreamFormat::canonical(48000, 2)), Status::Ok);
    ASSERT_EQ(p->initialize(), Status::Ok);
    p->setParameter(2, 10.0f);
    float one = 1.0f;
    auto feed = [](void* ref, RenderActionFlags*, const TimeStamp&, uint32_t, uint32_t frames, BufferList* io) {
        for (uint32_t i = 0; i < frames; ++i) io->channel(0)[i] = *static_cast<float*>(ref);
        return Status::Ok;
    };
    p->setRenderCallback(0, {feed, &one});
    BufferList io;
    io.empty(2, 256);
    RenderActionFlags flags = 0;
    ASSERT_EQ(p->render(&flags, {}, 0, 256, &io), Status::Ok);
    EXPECT_NEAR(io.channel(0)[255], 0.1f, 1e-3);
    EXPECT_NEAR(io.channel(1)[255], 0.1f, 1e-3);
}

// ---------------------------------------------------------------- pitch

TEST(Pitch, ShiftsTheToneAndKeepsTheLength) {
    struct Case { const char* subtype; FourCC type; Settings settings; double expectedHz; };
    for (const Case& c : {Case{"nutp", componenttype::FormatConverter, {{1, 1200}}, 880},
                          Case{"nutp", componenttype::FormatConverter, {{1, -1200}}, 220},
                          Case{"tmpt", componenttype::Effect, {{1, 700}}, 440 * std::pow(2.0, 7.0 / 12)}}) {
        UnitRig rig(c.type, fourCCFromString(c.subtype));
        apply(rig.unit(), c.settings);
        const double sr = rig.sampleRate();
        const Signal in = sine(440, sr, int64_t(2 * sr));
        // Render past the end by the unit's latency, then trim that from the head.
        Signal out = rig.runMono(in, 512, in.size() + size_t(sr));
        const size_t latency = size_t(std::lround(rig.unit().latency() * sr));
        EXPECT_LT(latency, size_t(0.5 * sr));
        out.erase(out.begin(), out.begin() + long(latency));
        out.resize(in.size());
        EXPECT_EQ(rig.consumed(), in.size() + size_t(sr));  // one frame in per frame out
        EXPECT_NEAR(peakFrequency(spectrum(out, size_t(0.5 * sr), 32768), sr), c.expectedHz, 2.0) << c.subtype;
        // The whole tone is there: its last tenth is as loud as its middle.
        const double middle = levelDb(out, out.size() / 2, out.size() * 3 / 4);
        EXPECT_NEAR(levelDb(out, out.size() * 9 / 10, out.size() - 1024), middle, 1.0) << c.subtype;
        EXPECT_NEAR(middle, levelDb(in), 4.0) << c.subtype;
    }
}

TEST(Pitch, EveryStartOverRendersTheSame) {
    // A tone with a click, shifted; the unit reset after it has played
    // something else renders it again sample for sample as a new unit does,
    // at every rate and pitch.
    struct Case { double rate; float cents; };
    for (Case c : {Case{44100, 100}, Case{48000, 100}, Case{48000, -700}, Case{96000, 1200}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.cents << " cents");
        const auto frames = int64_t(c.rate);
        Signal in = sine(330, c.rate, frames, 0.2);
        in[size_t(frames / 2)] = 0.8f;
        UnitRig fresh(componenttype::FormatConverter, fourCC("nutp"), c.rate);
        apply(fresh.unit(), {{1, c.cents}});
        const Signal expected = fresh.runMono(in);
        UnitRig used(componenttype::FormatConverter, fourCC("nutp"), c.rate);
        apply(used.unit(), {{1, c.cents}});
        used.runMono(noise(size_t(frames), 0.3f));
        for (int round = 0; round < 2; ++round) {
            used.unit().reset();
            const Signal again = used.runMono(in);
            ASSERT_EQ(again.size(), expected.size());
            double worst = 0;
            for (size_t i = 0; i < again.size(); ++i) worst = std::max(worst, double(std::fabs(again[i] - expected[i])));
            EXPECT_EQ(worst, 0.0) << "round " << round;
        }
    }
}

TEST(Pitch, AStartOverForgetsAPitchThatMovedWhilePlaying) {
    // A pitch moved while the unit played (a slider; or a first slice
    // rendered before the track's pitch reached the unit), then a start
    // over: the same tone renders sample for sample as on a new unit set
    // to the new pitch, whatever the unit played before and for how long.
    struct Case { double rate; float from, to; };
    for (Case c : {Case{48000, 0, 100}, Case{48000, 100, 0}, Case{44100, -700, 300}, Case{96000, 0, 1200}}) {
        const auto frames = int64_t(c.rate / 2);
        Signal in = sine(330, c.rate, frames, 0.2);
        in[size_t(frames / 2)] = 0.8f;
        UnitRig fresh(componenttype::FormatConverter, fourCC("nutp"), c.rate, 2, 1024);
        apply(fresh.unit(), {{1, c.to}});
        const Signal expected = fresh.runMono(in, 1024);
        for (size_t before : {1024u, 3 * 1024u + 300u, 7 * 1024u}) {
            SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.from << " to " << c.to << " cents after "
                                            << before << " frames");
            UnitRig used(componenttype::FormatConverter, fourCC("nutp"), c.rate, 2, 1024);
            apply(used.unit(), {{1, c.from}});
            used.runMono(noise(before, 0.3f, uint32_t(before)), 1024);
            apply(used.unit(), {{1, c.to}});
            used.runMono(noise(4096, 0.3f, 7), 1024);
            used.unit().reset();
            const Signal again = used.runMono(in, 1024);
            ASSERT_EQ(again.size(), expected.size());
            double worst = 0;
            for (size_t i = 0; i < again.size(); ++i) worst = std::max(worst, double(std::fabs(again[i] - expected[i])));
            EXPECT_EQ(worst, 0.0);
        }
    }
}

TEST(Pitch, AClickComesOutAfterTheLatency) {
    // Unshifted, exactly after the latency; shifted, within the few frames
    // by which the stretcher moves a click for where it falls among its
    // windows.
    struct Case { float cents; double tolerance; };
    for (Case c : {Case{0, 0.0}, Case{100, 8.0}, Case{-700, 8.0}}) {
        UnitRig rig(componenttype::FormatConverter, fourCC("nutp"), 48000, 2, 1024);
        apply(rig.unit(), {{1, c.cents}});
        const Signal out = rig.runMono(impulse(48000, 20000), 1024);
        double weighted = 0, energy = 0;
        for (size_t i = 0; i < out.size(); ++i) {
            weighted += double(out[i]) * out[i] * double(i);
            energy += double(out[i]) * out[i];
        }
        ASSERT_GT(energy, 0.0) << c.cents;
        const auto latency = double(static_cast<TimePitchUnit&>(rig.unit()).latencyFrames());
        EXPECT_NEAR(weighted / energy, 20000 + latency, c.tolerance + 1e-6) << c.cents;
    }
}

TEST(Pitch, RatePullsInputFaster) {
    UnitRig rig(componenttype::Effect, fourCC("tmpt"));
    apply(rig.unit(), {{0, 2}});
    const Signal out = rig.runMono(sine(440, rig.sampleRate(), int64_t(2 * rig.sampleRate())), 480, 48000);
    EXPECT_EQ(rig.consumed(), 96000u);
    EXPECT_NEAR(peakFrequency(spectrum(out, 24000, 16384), rig.sampleRate()), 440, 3.0);
}

// Rubber Band's own messages, kept while it lives.
class StretcherMessages {
public:
    StretcherMessages() {
        instance_ = this;
        previous_ = qInstallMessageHandler(&StretcherMessages::handle);
    }
    ~StretcherMessages() {
        qInstallMessageHandler(previous_);
        instance_ = nullptr;
    }
    QStringList taken() const {
        std::lock_guard lock(mutex_);
        return taken_;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& text) {
        if (!instance_ || QLatin1String(context.category) != QLatin1String("trevalune.rubberband")) return;
        std::lock_guard lock(instance_->mutex_);
        instance_->taken_.append(text);
    }
    static inline StretcherMessages* instance_ = nullptr;
    QtMessageHandler previous_ = nullptr;
    mutable std::mutex mutex_;
    QStringList taken_;
};

TEST(Pitch, EveryPitchWhilePlayingNeedsNoAllocation) {
    // A track's pitch moved through its whole range while it plays, at each
    // device rate, and the Pitch effect's with its rate slowed or quickened
    // up to three times: the stretcher was made with every window and buffer
    // these need, so the render neither allocates nor has anything to say.
    StretcherMessages messages;
    struct Case { const char* subtype; FourCC type; double rate; };
    for (const Case& c : {Case{"nutp", componenttype::FormatConverter, 44100},
                          Case{"nutp", componenttype::FormatConverter, 48000},
                          Case{"nutp", componenttype::FormatConverter, 96000},
                          Case{"tmpt", componenttype::Effect, 48000}}) {
        SCOPED_TRACE(testing::Message() << c.subtype << " at " << c.rate << " Hz");
        const bool withRate = std::string(c.subtype) == "tmpt";
        UnitRig rig(c.type, fourCCFromString(c.subtype), c.rate);
        const Signal in = noise(size_t(c.rate), 0.3f);
    const uint64_t before = realtime::violationCount();
        for (float cents : {0.0f, -2400.0f, -1250.0f, -100.0f, 700.0f, 2400.0f, 0.0f})
            for (float rate : withRate ? std::vector<float>{1.0f, 3.0f, 1.0f / 32, 0.3f, 1.0f}
                                       : std::vector<float>{1.0f}) {
                Settings settings;
                settings.emplace_back(1, cents);
                if (withRate) settings.emplace_back(0, rate);
                ::apply(rig.unit(), settings);
                rig.run({in}, 512, 2048);
            }
        EXPECT_EQ(realtime::violationCount(), before);
        EXPECT_EQ(rig.renderErrors, 0u);
    }
    flushStretcherLog();
    EXPECT_EQ(messages.taken(), QStringList());
}

TEST(Pitch, TheStretchersMessagesGoToTheLogAndWaitOutARender) {
    StretcherMessages messages;
    RubberBand::RubberBandStretcher stretcher(48000, 1, stretcherLogger(),
                                              RubberBand::RubberBandStretcher::OptionProcessRealTime);
    {
        realtime::Scope render;
        stretcher.setPitchScale(0.0);  // refused, and said so
    }
    EXPECT_TRUE(messages.taken().isEmpty());
    flushStretcherLog();
    ASSERT_EQ(messages.taken().size(), 1);
    EXPECT_TRUE(messages.taken()[0].contains(QLatin1String("Pitch scale must be greater than zero")))
        << messages.taken()[0].toStdString();
    stretcher.setTimeRatio(0.0);  // outside a render it is written at once
    EXPECT_EQ(messages.taken().size(), 2);
}

// ---------------------------------------------------------------- every built-in unit

TEST(BuiltInUnits, TheEighteenAreRegistered) {
    struct Entry { FourCC type; const char* subtype; const char* name; };
    const Entry expected[] = {
        {componenttype::Effect, "nbeq", "N-Band EQ"}, {componenttype::Effect, "greq", "Graphic EQ"},
        {componenttype::Effect, "dist", "Distortion"}, {componenttype::Effect, "filt", "Audio Filter"},
        {componenttype::Effect, "dcmp", "Dynamics Processor"},
        {componenttype::Effect, "mcmp", "Multiband Compressor"}, {componenttype::Effect, "dely", "Delay"},
        {componenttype::Effect, "lmtr", "Peak Limiter"}, {componenttype::Effect, "tmpt", "Pitch"},
        {componenttype::Effect, "mrev", "Matrix Reverb"}, {componenttype::Panner, "hrtf", "Panner"},
        {componenttype::FormatConverter, "nutp", "Pitch Shift"},
        {componenttype::Effect, "lshf", "Low Shelf Filter"}, {componenttype::Effect, "bpas", "Bandpass Filter"},
        {componenttype::Effect, "lpas", "Lowpass Filter"}, {componenttype::Effect, "hpas", "Highpass Filter"}};
    for (const Entry& e : expected) {
        const Component* c = ComponentRegistry::instance().findNext(
            {e.type, fourCCFromString(e.subtype), kBuiltInManufacturer});
        ASSERT_NE(c, nullptr) << e.subtype;
        EXPECT_EQ(c->name(), e.name);
        auto u = c->instantiate();
        ASSERT_TRUE(u);
        // Every parameter has information within its range and a default inside it.
        for (ParameterID id : u->parameterList()) {
            ParameterInfo info;
            ASSERT_EQ(u->parameterInfo(Scope::Global, id, &info), Status::Ok);
            EXPECT_FALSE(info.name.isEmpty());
            EXPECT_LE(info.minValue, info.defaultValue) << e.subtype << " " << id;
            EXPECT_LE(info.defaultValue, info.maxValue) << e.subtype << " " << id;
            EXPECT_FLOAT_EQ(u->parameter(id), info.defaultValue);
            if (info.unit == ParameterUnit::Indexed)
                EXPECT_EQ(u->parameterValueStrings(Scope::Global, id).size(), int(info.maxValue - info.minValue) + 1);
        }
    }
    EXPECT_EQ(builtIns().size(), 16u);  // "mrev" and "nbeq" serve twice each: eighteen units
}

namespace {
// Every parameter set to a value of its own inside its range.
void scramble(Unit& u, uint32_t seed) {
    if (u.componentDescription().componentSubType == fourCC("nbeq")) u.setNumberOfBands(12);
    for (ParameterID id : u.parameterList()) {
        ParameterInfo info;
        u.parameterInfo(Scope::Global, id, &info);
        seed = seed * 1664525u + 1013904223u;
        float t = float(seed >> 8) / float(1 << 24);
        if (info.unit == ParameterUnit::Hertz) t = 0.05f + 0.4f * t;  // keep tones audible
        float v = info.minValue + t * (info.maxValue - info.minValue);
        if (info.unit == ParameterUnit::Indexed || info.unit == ParameterUnit::Boolean) v = std::round(v);
        if (id == 0 && u.componentDescription().componentSubType == fourCC("tmpt")) v = 1.5f;
        u.setParameter(id, v);
    }
}
}  // namespace

class EveryUnit : public ::testing::TestWithParam<int> {
protected:
    const Component* component() const { return builtIns().at(size_t(GetParam())); }
};

TEST_P(EveryUnit, ClassInformationRestoresTheSoundExactly) {
    const ComponentDescription d = component()->description();
    UnitRig a(d.componentType, d.componentSubType), b(d.componentType, d.componentSubType);
    scramble(a.unit(), 17);
    a.unit().setPresentPreset({-1, "Mine"});
    ASSERT_EQ(b.unit().setClassInfo(a.unit().classInfo()), Status::Ok);
    EXPECT_EQ(b.unit().parameterList(), a.unit().parameterList());
    EXPECT_EQ(b.unit().presentPreset().name, "Mine");
    const Signal in = noise(24000, 0.3f);
    EXPECT_EQ(a.run({in}), b.run({in})) << component()->name().toStdString();
}

TEST_P(EveryUnit, ResetClearsStateAndRenderingStaysRealtimeSafe) {
    const ComponentDescription d = component()->description();
    for (uint32_t slice : {1u, 333u, 4096u}) {
        UnitRig rig(d.componentType, d.componentSubType, 44100, 2, 4096);
        scramble(rig.unit(), 5);
        const uint64_t before = realtime::violationCount();
        const auto out = rig.run({noise(20000, 0.5f, 3)}, slice);
        EXPECT_EQ(realtime::violationCount(), before) << "slice " << slice;
        EXPECT_EQ(rig.renderErrors, 0u);
        for (const Signal& ch : out)
            for (float v : ch) ASSERT_TRUE(std::isfinite(v));
        rig.unit().reset();
        const auto quiet = rig.run({Signal(8192, 0.0f)}, slice);
        for (const Signal& ch : quiet) EXPECT_LT(peakDb(ch), -200.0) << "slice " << slice;
    }
}

// Where the processor has wide vectors, the units' kernels for them sound
// as their portable loops do, to rounding: over stereo and an odd channel
// count, slices short and long, and every parameter somewhere in its range.
TEST_P(EveryUnit, WideKernelsSoundAsThePortableLoops) {
    if (!dsp::kHasWideVectors) GTEST_SKIP() << "no wide vectors on this processor";
    const ComponentDescription d = component()->description();
    struct Restore {
        ~Restore() { dsp::wideKernels.store(dsp::kHasWideVectors); }
    } restore;
    for (uint32_t channels : {2u, 3u}) {
        for (uint32_t seed : {5u, 11u}) {
            SCOPED_TRACE(std::to_string(channels) + " channels, settings " + std::to_string(seed));
            std::vector<Signal> out[2];
            for (bool wide : {true, false}) {
                dsp::wideKernels.store(wide);
                UnitRig rig(d.componentType, d.componentSubType, 44100, channels, 4096);
                scramble(rig.unit(), seed);
                std::vector<Signal> in;
                for (uint32_t c = 0; c < channels; ++c) in.push_back(noise(30000, 0.5f, 3 + c));
                // Slices of every length from 1 up, then long ones.
                std::vector<Signal>& o = out[wide ? 0 : 1];
                o.assign(channels, {});
                for (uint32_t slice : {1u, 7u, 333u, 4096u}) {
                    const auto part = rig.run(in, slice, 7000);
                    for (uint32_t c = 0; c < channels; ++c) o[c].insert(o[c].end(), part[c].begin(), part[c].end());
                }
            }
            for (uint32_t c = 0; c < out[0].size(); ++c) {
                double worst = 0, peak = 0;
                for (size_t i = 0; i < out[0][c].size(); ++i) {
                    worst = std::max(worst, double(std::fabs(out[0][c][i] - out[1][c][i])));
                    peak = std::max(peak, double(std::fabs(out[1][c][i])));
                }
                EXPECT_LE(worst, 1e-5 * std::max(1.0, peak)) << "channel " << c;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Units, EveryUnit, ::testing::Range(0, 16), [](const auto& info) {
    return fourCCToString(builtIns().at(size_t(info.param))->description().componentSubType).toStdString();
});

// A chain pulled from its end: low-pass, then delay, then reverb.
TEST(BuiltInUnits, PullChainOfThree) {
    auto make = [](const char (&subtype)[5]) {
        auto u = ComponentRegistry::instance().instantiate(componenttype::Effect, fourCC(subtype));
        u->setStreamFormat(Scope::Input, 0, StreamFormat::canonical(48000, 2));
        u->setStreamFormat(Scope::Output, 0, StreamFormat::canonical(48000, 2));
        return u;
    };
    auto lowPass = make("lpas"), delay = make("dely"), reverb = make("mrev");
    struct Tone {
        double phase = 0;
        static Status render(void* ref, RenderActionFlags*, const TimeStamp&, uint32_t, uint32_t frames,
                             BufferList* io) {
            auto* t = static_cast<Tone*>(ref);
            for (uint32_t i = 0; i < frames; ++i, t->phase += 2 * M_PI * 200 / 48000)
                for (uint32_t c = 0; c < io->numberBuffers; ++c) io->channel(c)[i] = float(0.5 * std::sin(t->phase));
            return Status::Ok;
        }
    } tone;
    lowPass->setRenderCallback(0, {&Tone::render, &tone});
    ASSERT_EQ(delay->setInputConnection(0, lowPass.get()), Status::Ok);
    ASSERT_EQ(reverb->setInputConnection(0, delay.get()), Status::Ok);
    for (Unit* u : {lowPass.get(), delay.get(), reverb.get()}) ASSERT_EQ(u->initialize(), Status::Ok);
    delay->setParameter(1, 0.005f);  // 240 frames
    delay->setParameter(0, 100);
    reverb->setParameter(0, 0);
    BufferList io;
    io.empty(2, 512);
    RenderActionFlags flags = 0;
    const uint64_t before = realtime::violationCount();
    {
        realtime::Scope rt;
        ASSERT_EQ(reverb->render(&flags, {}, 0, 512, &io), Status::Ok);
    }
    EXPECT_EQ(realtime::violationCount(), before);
    for (int i = 0; i < 240; ++i) ASSERT_EQ(io.channel(0)[i], 0.0f) << i;
    EXPECT_GT(std::fabs(io.channel(0)[400]), 0.01f);
}


