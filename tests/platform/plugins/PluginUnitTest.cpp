#include "platform/core/Realtime.h"
#include "platform/units/Lv2Unit.h"
#include "platform/units/PluginHost.h"
#include "platform/units/SoundFontUnit.h"
#include "support/Signals.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

using namespace units;
using testsupport::rms;

namespace {

const QString kMda = QStringLiteral("http://drobilla.net/plugins/mda/");

std::shared_ptr<const PluginCatalogue> catalogue() {
    static std::shared_ptr<const PluginCatalogue> c = [] {
        auto scanned = PluginCatalogue::scan("/usr/lib/lv2");
        PluginCatalogue::setCurrent(scanned);
        registerPluginComponents(ComponentRegistry::instance(), scanned);
        return scanned;
    }();
    return c;
}

const Lv2PluginDescription& mda(const char* name) {
    const Lv2PluginDescription* d = catalogue()->findURI(kMda + name);
    if (!d) throw std::runtime_error("mda plug-in missing");
    return *d;
}

// Makes a unit by codes and name, as a track does: asynchronously, with the
// unit arriving on the main thread.
std::unique_ptr<Unit> instantiate(const ComponentDescription& codes, const QString& name) {
    catalogue();
    bool done = false, onMain = false;
    std::unique_ptr<Unit> result;
    Status status = Status::Ok;
    instantiatePluginNamed(codes, name, [&](std::unique_ptr<Unit> unit, Status s) {
        done = true;
        onMain = QThread::currentThread() == qApp->thread();
        result = std::move(unit);
        status = s;
    });
    EXPECT_TRUE(testsupport::waitUntil([&] { return done; }, 20000));
    EXPECT_TRUE(onMain);
    EXPECT_EQ(status, Status::Ok) << statusText(status);
    return result;
}

std::unique_ptr<Unit> instantiate(const Lv2PluginDescription& d) {
    return instantiate({d.type, d.subtype, d.manufacturer}, d.fullName);
}

// The audio before a unit: an impulse, a constant or silence, per slice.
struct Source {
    std::vector<float> signal;  // played once from the start, then silence
    size_t position = 0;
    static Status render(void* ref, RenderActionFlags*, const TimeStamp&, uint32_t, uint32_t frames, BufferList* io) {
        auto* self = static_cast<Source*>(ref);
        for (uint32_t i = 0; i < frames; ++i) {
            const float v = self->position + i < self->signal.size() ? self->signal[self->position + i] : 0.f;
            for (uint32_t c = 0; c < io->numberBuffers; ++c) io->channel(c)[i] = v;
        }
        self->position += frames;
        return Status::Ok;
    }
};

constexpr uint32_t kSlice = 512;

void prepare(Unit& unit, double rate, Source* source = nullptr) {
    const StreamFormat f = StreamFormat::canonical(rate, 2);
    if (unit.elementCount(Scope::Input) > 0) {
        ASSERT_EQ(unit.setStreamFormat(Scope::Input, 0, f), Status::Ok);
        if (source) ASSERT_EQ(unit.setRenderCallback(0, {&Source::render, source}), Status::Ok);
    }
    ASSERT_EQ(unit.setStreamFormat(Scope::Output, 0, f), Status::Ok);
    ASSERT_EQ(unit.setMaximumFramesPerSlice(kSlice), Status::Ok);
    ASSERT_EQ(unit.initialize(), Status::Ok);
}

// Renders `frames` frames (in slices) and returns the left channel.
std::vector<float> render(Unit& unit, size_t frames, double* sampleTime) {
    std::vector<float> out;
    out.reserve(frames);
    std::vector<float> l(kSlice), r(kSlice);
    float* data[2] = {l.data(), r.data()};
    BufferList list;
    const uint64_t violations = realtime::violationCount();
    while (out.size() < frames) {
        const uint32_t n = uint32_t(std::min<size_t>(kSlice, frames - out.size()));
        list.point(2, n, data);
        TimeStamp ts;
        ts.sampleTime = *sampleTime;
        {
            realtime::Scope scope;
            EXPECT_EQ(unit.render(nullptr, ts, 0, n, &list), Status::Ok);
        }
        out.insert(out.end(), l.begin(), l.begin() + n);
        *sampleTime += n;
    }
    EXPECT_EQ(realtime::violationCount(), violations) << "the render path allocated";
    return out;
}

size_t peakIndex(const std::vector<float>& x, size_t from) {
    size_t best = from;
    for (size_t i = from; i < x.size(); ++i)
        if (std::fabs(x[i]) > std::fabs(x[best])) best = i;
    return best;
}

}  // namespace

// The delay's left echo lies at 32766 * time² samples: a change of the time
// parameter moves it there, at either sample rate (the second makes the unit
// re-create its plug-in at initialisation, keeping the values set before).
TEST(Lv2Unit, DelayEchoesAtItsDelayTime) {
    struct Case {
        float time;
        double rate;
        size_t echoAt;
    } cases[] = {{0.5f, 44100, 8191}, {0.25f, 48000, 2047}, {0.7f, 44100, 16055}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        std::unique_ptr<Unit> unit = instantiate(mda("Delay"));
        ASSERT_TRUE(unit);
        ParameterInfo info;
        ASSERT_EQ(unit->parameterInfo(Scope::Global, 0, &info), Status::Ok);
        EXPECT_EQ(info.name, QStringLiteral("L Delay"));
        EXPECT_EQ(info.defaultValue, 0.5f);
        unit->setParameter(0, c.time);
        unit->setParameter(2, 0.f);  // no feedback: one echo
        unit->setParameter(4, 1.f);  // wet only
        Source source;
        source.signal = {1.f};
        prepare(*unit, c.rate, &source);
        EXPECT_EQ(static_cast<Lv2Unit&>(*unit).instance().sampleRate(), c.rate);
        double t = 0;
        std::vector<float> out = render(*unit, 20000, &t);
        const size_t echo = peakIndex(out, 1);
        EXPECT_EQ(echo, c.echoAt);
        EXPECT_GT(std::fabs(out[echo]), 0.5f);
        EXPECT_LT(rms(out, 0, echo), 1e-3);
    }
}

TEST(Lv2Unit, ControlPortsBecomeParameters) {
    std::unique_ptr<Unit> combo = instantiate(mda("Combo"));
    std::unique_ptr<Unit> jx10 = instantiate(mda("JX10"));
    ASSERT_TRUE(combo && jx10);
    struct Case {
        Unit* unit;
        ParameterID id;
        const char* name;
        ParameterUnit kind;
        float min, max, def;
        int valueStrings;
    } cases[] = {
        {combo.get(), 0, "Model", ParameterUnit::Indexed, 0, 6, 6, 7},  // enumeration: 7 scale points, default 1.0
        {combo.get(), 4, "Stereo", ParameterUnit::Boolean, 0, 1, 0, 0},
        {combo.get(), 1, "Drive", ParameterUnit::Generic, 0, 1, 0.5f, 0},
        {jx10.get(), 1, "OSC Tune", ParameterUnit::RelativeSemiTones, 0, 1, 0.37f, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ParameterInfo info;
        ASSERT_EQ(c.unit->parameterInfo(Scope::Global, c.id, &info), Status::Ok);
        EXPECT_EQ(info.name, QLatin1String(c.name));
        EXPECT_EQ(info.unit, c.kind);
        EXPECT_FLOAT_EQ(info.minValue, c.min);
        EXPECT_FLOAT_EQ(info.maxValue, c.max);
        EXPECT_FLOAT_EQ(info.defaultValue, c.def);
        EXPECT_EQ(c.unit->parameterValueStrings(Scope::Global, c.id).size(), c.valueStrings);
    }
    EXPECT_EQ(combo->parameterValueStrings(Scope::Global, 0).first(), QStringLiteral("D.I. (flat frequency response)"));
    // Audio ports are not parameters; the list is in port order.
    EXPECT_EQ(combo->parameterList(), (std::vector<ParameterID>{0, 1, 2, 3, 4, 5, 6}));
    // An indexed value selects the scale point's own port value.
    combo->setParameter(0, 3.f);
    EXPECT_FLOAT_EQ(static_cast<Lv2Unit&>(*combo).instance().parameter(0), 3.f);
    EXPECT_TRUE(static_cast<Lv2Unit&>(*combo).instance().classInfo().value("state").toString().contains("0.5"));
    // The instrument has no input element, the effect one.
    EXPECT_EQ(jx10->elementCount(Scope::Input), 0u);
    EXPECT_EQ(combo->elementCount(Scope::Input), 1u);
    EXPECT_TRUE(jx10->isInstrument());
}

// Every instrument sounds on a note-on and falls silent after its note-off.
TEST(Instruments, SoundOnNoteOnAndFallSilentAfterNoteOff) {
    struct Case {
        const char* name;
        ComponentDescription codes;
    } cases[] = {
        {"MDA Piano", {mda("Piano").type, mda("Piano").subtype, mda("Piano").manufacturer}},
        {"MDA ePiano", {mda("EPiano").type, mda("EPiano").subtype, mda("EPiano").manufacturer}},
        {"Apple: AU Sampler", {componenttype::MusicDevice, fourCC("samp"), kBuiltInManufacturer}},
        {"Apple: DLS Synth", {componenttype::MusicDevice, fourCC("dls "), kBuiltInManufacturer}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString name = QString::fromLatin1(c.name);
        if (!name.startsWith("Apple")) name = catalogue()->find(c.codes.componentType, c.codes.componentSubType,
                                                                c.codes.componentManufacturer, {})->fullName;
        std::unique_ptr<Unit> unit = instantiate(c.codes, name);
        ASSERT_TRUE(unit);
        EXPECT_EQ(unit->name(), name);
        EXPECT_TRUE(unit->isInstrument());
        prepare(*unit, 44100);
        double t = 0;
        EXPECT_LT(rms(render(*unit, 4410, &t), 0, 4410), 1e-6) << "silent before any note";
        ASSERT_EQ(unit->midiEvent(0x90, 60, 100, 0), Status::Ok);
        std::vector<float> held = render(*unit, 22050, &t);
        EXPECT_GT(rms(held, 0, 4410), 0.005);
        // The note starts at the slice's first frame.
        EXPECT_GT(rms(held, 0, 256), 1e-4);
        ASSERT_EQ(unit->midiEvent(0x80, 60, 0, 0), Status::Ok);
        std::vector<float> after = render(*unit, 3 * 44100, &t);
        EXPECT_LT(rms(after, after.size() - 4410, after.size()), 1e-4);
    }
}

// The SoundFont instruments take pitch bend and controllers, and their gain.
TEST(Instruments, SoundFontPitchBendControllersAndGain) {
    auto play = [](std::function<void(Unit&)> before, float gainDb) {
        auto unit = std::make_unique<SoundFontUnit>(fourCC("samp"), "Apple: AU Sampler");
        EXPECT_TRUE(unit->isValid()) << qPrintable(unit->error());
        unit->setParameter(soundfontunit::kGain, gainDb);
        unit->setParameter(soundfontunit::kReverb, 0.f);
        prepare(*unit, 44100);
        unit->midiEvent(0xC0, 73, 0, 0);  // flute: close to a pure tone
        if (before) before(*unit);
        unit->midiEvent(0x90, 69, 100, 0);
        double t = 0;
        return render(*unit, 44100, &t);
    };
    // The fundamental in Hz, from the strongest autocorrelation lag between
    // 340 and 630 Hz.
    auto pitch = [](const std::vector<float>& x) {
        size_t bestLag = 0;
        double best = -1;
        for (size_t lag = 70; lag <= 130; ++lag) {
            double sum = 0;
            for (size_t i = 11025; i < 11025 + 8192; ++i) sum += double(x[i]) * x[i + lag];
            if (sum > best) best = sum, bestLag = lag;
        }
        return 44100.0 / double(bestLag);
    };
    const std::vector<float> plain = play(nullptr, 0.f);
    EXPECT_NEAR(pitch(plain), 440.0, 5.0);
    // Full bend up: two semitones.
    const std::vector<float> bent = play([](Unit& u) { u.midiEvent(0xE0, 0x7F, 0x7F, 0); }, 0.f);
    EXPECT_NEAR(pitch(bent), 440.0 * std::pow(2.0, 2.0 / 12), 6.0);
    // Channel volume 0 silences the channel.
    const std::vector<float> quiet = play([](Unit& u) { u.midiEvent(0xB0, 7, 0, 0); }, 0.f);
    EXPECT_LT(rms(quiet, 0, quiet.size()), rms(plain, 0, plain.size()) * 0.01);
    // -20 dB of gain.
    const std::vector<float> softer = play(nullptr, -20.f);
    EXPECT_NEAR(rms(softer, 0, softer.size()) / rms(plain, 0, plain.size()), 0.1, 0.01);
}

// The class information holds the plug-in's LV2 state and restores it
// exactly; state of another plug-in is refused with nothing changed.
TEST(Lv2Unit, StateRoundTripsExactly) {
    std::unique_ptr<Unit> source = instantiate(mda("Delay"));
    std::unique_ptr<Unit> target = instantiate(mda("Delay"));
    std::unique_ptr<Unit> other = instantiate(mda("Combo"));
    ASSERT_TRUE(source && target && other);
    source->setParameter(0, 0.123456f);
    source->setParameter(2, 0.9f);
    source->setParameter(5, 0.01f);
    const QCborMap state = source->classInfo();
    ASSERT_TRUE(state.value("data").toMap().value("state").toString().contains("l_delay"));
    ASSERT_EQ(target->setClassInfo(state), Status::Ok);
    for (ParameterID id : source->parameterList()) EXPECT_EQ(target->parameter(id), source->parameter(id)) << id;
    EXPECT_EQ(static_cast<Lv2Unit&>(*target).instance().parameter(0), 0.123456f);
    EXPECT_EQ(target->classInfo().value("data"), state.value("data"));

    const QCborMap before = other->classInfo();
    QCborMap foreign = other->classInfo();
    foreign.insert(QStringLiteral("data"), state.value("data"));  // Delay's state under Combo's codes
    EXPECT_NE(other->setClassInfo(foreign), Status::Ok);
    EXPECT_EQ(other->classInfo(), before);
    EXPECT_NE(other->setClassInfo(state), Status::Ok);  // Delay's codes
}

TEST(Lv2Unit, FactoryPresetsAndThePresentPreset) {
    std::unique_ptr<Unit> unit = instantiate(mda("JX10"));
    ASSERT_TRUE(unit);
    const QList<Preset> presets = unit->factoryPresets();
    ASSERT_GE(presets.size(), 50);
    for (int i = 0; i < presets.size(); ++i) EXPECT_EQ(presets[i].number, i);
    auto solid = std::find_if(presets.begin(), presets.end(), [](const Preset& p) { return p.name == "Solid Backing"; });
    ASSERT_NE(solid, presets.end());
    ASSERT_EQ(unit->setPresentPreset(*solid), Status::Ok);
    EXPECT_EQ(unit->presentPreset(), *solid);
    EXPECT_FLOAT_EQ(unit->parameter(1), 0.26f);  // osc_tune
    EXPECT_FLOAT_EQ(unit->parameter(2), 0.14f);  // osc_fine
    // The preset survives the class information.
    std::unique_ptr<Unit> copy = instantiate(mda("JX10"));
    ASSERT_EQ(copy->setClassInfo(unit->classInfo()), Status::Ok);
    EXPECT_FLOAT_EQ(copy->parameter(1), 0.26f);
    EXPECT_EQ(copy->presentPreset().name, QStringLiteral("Solid Backing"));
    // A number that is no factory preset is refused; a user preset only names the state.
    EXPECT_NE(unit->setPresentPreset({int32_t(presets.size()), "Nope"}), Status::Ok);
    EXPECT_EQ(unit->presentPreset(), *solid);
    ASSERT_EQ(unit->setPresentPreset({-1, "Mine"}), Status::Ok);
    EXPECT_EQ(unit->presentPreset(), (Preset{-1, "Mine"}));
    EXPECT_FLOAT_EQ(unit->parameter(1), 0.26f);
}

// A slice whose output the plug-in spoils (non-finite samples) is passed
// through instead; after a reset the plug-in runs again.
TEST(Lv2Unit, ASliceThePluginSpoilsIsBypassed) {
    std::unique_ptr<Unit> unit = instantiate(mda("Delay"));
    ASSERT_TRUE(unit);
    Source source;
    source.signal.assign(kSlice, 0.25f);
    source.signal[10] = std::numeric_limits<float>::infinity();
    prepare(*unit, 44100, &source);
    auto& lv2 = static_cast<Lv2Unit&>(*unit);
    double t = 0;
    std::vector<float> out = render(*unit, kSlice, &t);
    EXPECT_EQ(lv2.bypassedSlices(), 1u);
    EXPECT_EQ(out[0], 0.25f);  // the input, untouched
    EXPECT_TRUE(std::isinf(out[10]));
    unit->reset();
    source.signal.assign(kSlice * 3, 0.25f);
    source.position = 0;
    std::vector<float> clean = render(*unit, kSlice, &t);
    EXPECT_EQ(lv2.bypassedSlices(), 1u);
    for (float v : clean) ASSERT_TRUE(std::isfinite(v));
}

// Freeing the last instance of a plug-in unloads its library. A second
// thread that makes an instance of the same plug-in at that moment (a track's
// unit made again while another track's is freed) must get one that runs:
// each round frees the only instance here while another thread makes the
// next, at a varying distance, and the new one renders a slice; the last one
// must still put the delay's echo where it belongs.
TEST(Lv2Instance, FreeingTheLastInstanceWhileAnotherIsMadeLeavesOneThatRuns) {
    const Lv2PluginDescription& delay = mda("Delay");
    std::unique_ptr<Lv2PluginInstance> current = Lv2PluginInstance::create(catalogue(), delay, 44100, kSlice);
    ASSERT_TRUE(current);
    std::vector<float> in(kSlice, 0.f), l(kSlice), r(kSlice);
    const float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {l.data(), r.data()};
    std::mt19937 random(47);
    std::uniform_int_distribution<int> lead(0, 600);  // microseconds the maker starts ahead
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        std::atomic<bool> go{false};
        std::unique_ptr<Lv2PluginInstance> next;
        QString error;
        std::thread maker([&] {
            while (!go.load()) {}
            next = Lv2PluginInstance::create(catalogue(), delay, 44100, kSlice, &error);
        });
        const auto freeAt = std::chrono::steady_clock::now() + std::chrono::microseconds(lead(random));
        go.store(true);
        while (std::chrono::steady_clock::now() < freeAt) {}
        current.reset();
        maker.join();
        ASSERT_TRUE(next) << error.toStdString();
        in[0] = 1.f;
        ASSERT_TRUE(next->render(kSlice, inputs, 2, outputs, 2));
        for (float v : l) ASSERT_TRUE(std::isfinite(v));
        current = std::move(next);
    }

    current->setParameter(0, 0.5f);  // the left echo at 8191 samples
    current->setParameter(2, 0.f);   // no feedback: one echo
    current->setParameter(4, 1.f);   // wet only
    current->reset();
    std::vector<float> out;
    in[0] = 1.f;
    while (out.size() < 12000) {
        ASSERT_TRUE(current->render(kSlice, inputs, 2, outputs, 2));
        out.insert(out.end(), l.begin(), l.end());
        in[0] = 0.f;
    }
    const size_t echo = peakIndex(out, 1);
    EXPECT_EQ(echo, 8191u);
    EXPECT_GT(std::fabs(out[echo]), 0.5f);
    EXPECT_LT(rms(out, 0, echo), 1e-3);
}

// The always-present instruments are registered components.
TEST(Instruments, RegisteredAsComponents) {
    ComponentRegistry& registry = ComponentRegistry::instance();
    for (auto [subtype, name] : {std::pair{"samp", "Apple: AU Sampler"}, std::pair{"dls ", "Apple: DLS Synth"}}) {
        const Component* c = registry.findNext({componenttype::MusicDevice, fourCCFromString(subtype), kBuiltInManufacturer});
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(c->name(), QLatin1String(name));
    }
    const Lv2PluginDescription& delay = mda("Delay");
    const Component* c = registry.findNext({delay.type, delay.subtype, delay.manufacturer});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->name(), delay.fullName);
}

// An instrument refuses an input callback, so the chain feeds it MIDI from a
// render notification before it renders; a note sent there sounds in that
// very slice, from its first frame.
TEST(Instruments, MidiFromThePreRenderNotificationSoundsInThatSlice) {
    struct Sender {
        Unit* unit = nullptr;
        int slices = 0;
        static Status notify(void* ref, RenderActionFlags* flags, const TimeStamp&, uint32_t, uint32_t, BufferList*) {
            auto* self = static_cast<Sender*>(ref);
            if ((*flags & PreRender) && self->slices++ == 2) self->unit->midiEvent(0x90, 64, 110, 0);
            return Status::Ok;
        }
    };
    const Lv2PluginDescription& piano = mda("Piano");
    struct Case {
        ComponentDescription codes;
        QString name;
    } cases[] = {
        {{piano.type, piano.subtype, piano.manufacturer}, piano.fullName},
        {{componenttype::MusicDevice, fourCC("dls "), kBuiltInManufacturer}, "Apple: DLS Synth"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(c.name));
        std::unique_ptr<Unit> unit = instantiate(c.codes, c.name);
        ASSERT_TRUE(unit);
        EXPECT_NE(unit->setRenderCallback(0, {&Source::render, nullptr}), Status::Ok);
        Sender sender{unit.get()};
        ASSERT_EQ(unit->addRenderNotify(&Sender::notify, &sender), Status::Ok);
        prepare(*unit, 44100);
        double t = 0;
        std::vector<float> out = render(*unit, 4 * kSlice, &t);
        EXPECT_LT(rms(out, 0, 2 * kSlice), 1e-6);
        EXPECT_GT(rms(out, 2 * kSlice, 2 * kSlice + 128), 1e-4);
    }
}
