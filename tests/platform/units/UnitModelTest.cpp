#include "platform/core/Realtime.h"
#include "platform/units/Component.h"
#include "platform/units/EventListener.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <cmath>
#include <vector>

using namespace units;

namespace {

// A small real effect for the model's tests: multiplies by a gain in dB and
// remembers a running sum (so that reset has something to clear).
class GainUnit : public EffectUnit {
public:
    GainUnit() : EffectUnit({componenttype::Effect, fourCC("tgan"), fourCC("test")}, "Test Gain") {
        addParameter(0, {"Gain", ParameterUnit::Decibels, -40.0f, 40.0f, 0.0f});
        addParameter(1, {"Mode", ParameterUnit::Indexed, 0.0f, 2.0f, 1.0f}, {"A", "B", "C"});
    }
    double memory = 0.0;

protected:
    void doReset() override { memory = 0.0; }
    void process(float* const* ch, uint32_t n, uint32_t frames) override {
        const float g = std::pow(10.0f, parameterSlot(0).load() / 20.0f);
        for (uint32_t c = 0; c < n; ++c)
            for (uint32_t i = 0; i < frames; ++i) {
                ch[c][i] *= g;
                memory += ch[c][i];
            }
    }
};

struct Source {
    float level = 0.5f;
    int calls = 0;
    static Status render(void* ref, RenderActionFlags*, const TimeStamp&, uint32_t, uint32_t frames,
                         BufferList* io) {
        auto* self = static_cast<Source*>(ref);
        ++self->calls;
        for (uint32_t c = 0; c < io->numberBuffers; ++c)
            for (uint32_t i = 0; i < frames; ++i) io->channel(c)[i] = self->level;
        return Status::Ok;
    }
};

std::unique_ptr<GainUnit> makeGain(Source* source, uint32_t channels = 2) {
    auto u = std::make_unique<GainUnit>();
    const StreamFormat f = StreamFormat::canonical(48000, channels);
    EXPECT_EQ(u->setStreamFormat(Scope::Input, 0, f), Status::Ok);
    EXPECT_EQ(u->setStreamFormat(Scope::Output, 0, f), Status::Ok);
    EXPECT_EQ(u->setMaximumFramesPerSlice(512), Status::Ok);
    if (source) u->setRenderCallback(0, {&Source::render, source});
    return u;
}

struct Buffers {
    std::vector<std::vector<float>> data;
    BufferList list;
    Buffers(uint32_t channels, uint32_t frames) : data(channels, std::vector<float>(frames, 0.0f)) {
        std::vector<float*> p;
        for (auto& d : data) p.push_back(d.data());
        list.point(channels, frames, p.data());
    }
};

}  // namespace

TEST(UnitModel, FourCharacterCodes) {
    EXPECT_EQ(fourCC("aufx"), 0x61756678u);
    EXPECT_EQ(fourCCFromString("nbeq"), fourCC("nbeq"));
    EXPECT_EQ(fourCCToString(fourCC("hrtf")), "hrtf");
    EXPECT_EQ(fourCCFromString("toolong"), 0u);
}

TEST(UnitModel, RegistryFindsByCodesWithWildcards) {
    auto& reg = ComponentRegistry::instance();
    const ComponentDescription d{componenttype::Effect, fourCC("tgan"), fourCC("test")};
    reg.registerComponent(d, "Test: Gain", 1, [] { return std::make_unique<GainUnit>(); });
    const Component* c = reg.findNext({0, fourCC("tgan"), 0});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->name(), "Test: Gain");
    EXPECT_EQ(reg.findNext({0, fourCC("tgan"), 0}, c), nullptr);
    auto u = reg.instantiate(componenttype::Effect, fourCC("tgan"), fourCC("test"));
    ASSERT_TRUE(u);
    EXPECT_EQ(u->componentDescription().componentSubType, fourCC("tgan"));
    EXPECT_EQ(reg.instantiate(componenttype::Effect, fourCC("none")), nullptr);
    reg.unregisterComponent(d);
    EXPECT_EQ(reg.findNext(d), nullptr);
}

TEST(UnitModel, LifeCycleAndRenderErrors) {
    Source src;
    auto u = makeGain(nullptr);
    Buffers b(2, 256);
    TimeStamp ts;
    RenderActionFlags flags = 0;
    EXPECT_EQ(u->render(&flags, ts, 0, 256, &b.list), Status::Uninitialized);
    ASSERT_EQ(u->initialize(), Status::Ok);
    EXPECT_EQ(u->render(&flags, ts, 0, 256, &b.list), Status::NoConnection);
    u->setRenderCallback(0, {&Source::render, &src});
    EXPECT_EQ(u->render(&flags, ts, 0, 513, &b.list), Status::TooManyFramesToProcess);
    EXPECT_EQ(u->render(&flags, ts, 0, 256, &b.list), Status::Ok);
    EXPECT_FLOAT_EQ(b.data[1][255], 0.5f);
    // Formats are fixed while initialised; other kinds of sample are refused.
    EXPECT_EQ(u->setStreamFormat(Scope::Output, 0, StreamFormat::canonical(44100, 2)), Status::Initialized);
    u->uninitialize();
    StreamFormat interleaved = StreamFormat::canonical(44100, 2);
    interleaved.interleaved = true;
    EXPECT_EQ(u->setStreamFormat(Scope::Output, 0, interleaved), Status::FormatNotSupported);
    EXPECT_EQ(u->setStreamFormat(Scope::Output, 0, StreamFormat::canonical(44100, 1)), Status::Ok);
    EXPECT_EQ(u->initialize(), Status::FormatNotSupported);  // input is still stereo at 48 kHz
}

TEST(UnitModel, ParametersRoundTripAndClamp) {
    auto u = makeGain(nullptr);
    struct Case { ParameterID id; float set; float expected; Status status; };
    const Case cases[] = {
        {0, 6.0f, 6.0f, Status::Ok},     {0, 100.0f, 40.0f, Status::Ok},
        {0, -100.0f, -40.0f, Status::Ok}, {1, 2.0f, 2.0f, Status::Ok},
        {7, 1.0f, 0.0f, Status::InvalidParameter},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(u->setParameter(c.id, Scope::Global, 0, c.set), c.status) << c.id << " " << c.set;
        float v = 0;
        if (ok(c.status)) {
            ASSERT_EQ(u->getParameter(c.id, Scope::Global, 0, &v), Status::Ok);
            EXPECT_FLOAT_EQ(v, c.expected);
        }
    }
    EXPECT_EQ(u->setParameter(0, Scope::Input, 0, 1.0f), Status::InvalidScope);
    EXPECT_EQ(u->setParameter(0, Scope::Global, 3, 1.0f), Status::InvalidElement);
    ParameterInfo info;
    ASSERT_EQ(u->parameterInfo(Scope::Global, 1, &info), Status::Ok);
    EXPECT_EQ(info.unit, ParameterUnit::Indexed);
    EXPECT_TRUE(info.flags & ParameterInfo::HasValueStrings);
    EXPECT_EQ(u->parameterValueStrings(Scope::Global, 1), QStringList({"A", "B", "C"}));
    EXPECT_EQ(u->parameterList(), (std::vector<ParameterID>{0, 1}));
}

TEST(UnitModel, ClassInfoRestoresStateAndRefusesOtherUnits) {
    auto a = makeGain(nullptr);
    a->setParameter(0, -12.5f);
    a->setParameter(1, 2.0f);
    a->setPresentPreset({-1, "Quiet"});
    const QCborMap state = a->classInfo();
    auto b = makeGain(nullptr);
    ASSERT_EQ(b->setClassInfo(state), Status::Ok);
    EXPECT_FLOAT_EQ(b->parameter(0), -12.5f);
    EXPECT_FLOAT_EQ(b->parameter(1), 2.0f);
    EXPECT_EQ(b->presentPreset().name, "Quiet");
    QCborMap other = state;
    other.insert(QStringLiteral("subtype"), qint64(fourCC("xxxx")));
    EXPECT_EQ(b->setClassInfo(other), Status::InvalidPropertyValue);
    QCborMap broken = state;
    broken.insert(QStringLiteral("parameters"), QStringLiteral("nonsense"));
    EXPECT_EQ(b->setClassInfo(broken), Status::InvalidPropertyValue);
}

namespace {
struct NotifyLog {
    std::vector<RenderActionFlags> flags;
    static Status cb(void* ref, RenderActionFlags* f, const TimeStamp&, uint32_t, uint32_t, BufferList*) {
        static_cast<NotifyLog*>(ref)->flags.push_back(*f);
        return Status::Ok;
    }
};
}  // namespace

TEST(UnitModel, PullChainOfThreeWithNotificationsResetAndBypass) {
    Source src;
    auto first = makeGain(&src);
    auto second = makeGain(nullptr);
    auto third = makeGain(nullptr);
    second->setInputConnection(0, first.get());
    third->setInputConnection(0, second.get());
    first->setParameter(0, 6.0f);
    second->setParameter(0, 6.0f);
    third->setParameter(0, -12.0f);
    for (auto* u : {first.get(), second.get(), third.get()}) ASSERT_EQ(u->initialize(), Status::Ok);
    NotifyLog log;
    log.flags.reserve(8);
    third->addRenderNotify(&NotifyLog::cb, &log);

    // Buffers without data render into the last unit's own memory.
    BufferList io;
    io.empty(2, 128);
    TimeStamp ts;
    ts.sampleTime = 1024;
    RenderActionFlags flags = 0;
    const uint64_t before = realtime::violationCount();
    {
        realtime::Scope rt;
        ASSERT_EQ(third->render(&flags, ts, 0, 128, &io), Status::Ok);
    }
    EXPECT_EQ(realtime::violationCount(), before);
    ASSERT_NE(io.channel(0), nullptr);
    EXPECT_NEAR(io.channel(0)[17], 0.5f * std::pow(10.0f, 0.0f / 20.0f), 1e-3);
    EXPECT_EQ(src.calls, 1);
    EXPECT_EQ(log.flags, (std::vector<RenderActionFlags>{PreRender, PostRender}));
    EXPECT_EQ(third->lastRenderSampleTime(), 1024);

    EXPECT_NE(first->memory, 0.0);
    first->reset();
    Buffers b(2, 1);
    src.level = 0.0f;
    third->render(&flags, ts, 0, 1, &b.list);
    EXPECT_EQ(first->memory, 0.0);

    src.level = 0.25f;
    second->setBypass(true);
    third->render(&flags, ts, 0, 1, &b.list);
    EXPECT_NEAR(b.data[0][0], 0.25f * std::pow(10.0f, -6.0f / 20.0f), 1e-4);
    EXPECT_EQ(third->removeRenderNotify(&NotifyLog::cb, &log), Status::Ok);
}

TEST(UnitModel, ListenerDeliversOnMainThreadCoalescedAndSkipsSender) {
    auto u = makeGain(nullptr);
    struct Heard { void* object; UnitEvent event; float value; bool mainThread; };
    std::vector<Heard> heard;
    auto handler = [&](void* object, const UnitEvent& e, uint64_t, float v) {
        heard.push_back({object, e, v, QThread::currentThread() == QCoreApplication::instance()->thread()});
    };
    EventListener listener(handler, 0.1, 0.1);
    EventListener other(handler, 0.1, 0.1);
    int a = 0, b = 0;
    using T = UnitEvent::Type;
    for (T t : {T::ParameterValueChange, T::BeginParameterChangeGesture, T::EndParameterChangeGesture})
        listener.addEventType(&a, UnitEvent::parameterEvent(t, u.get(), 0));
    listener.addEventType(&a, UnitEvent::propertyEvent(u.get(), PropertyID::PresentPreset));
    other.addEventType(&b, UnitEvent::parameterEvent(T::ParameterValueChange, u.get(), 0));

    // A gesture and a burst of changes from a render thread.
    notifyEvent(nullptr, nullptr, UnitEvent::parameterEvent(T::BeginParameterChangeGesture, u.get(), 0));
    QThread* t = QThread::create([&] {
        realtime::Scope rt;
        for (int i = 1; i <= 10; ++i) setParameterAndNotify(nullptr, nullptr, u.get(), 0, Scope::Global, 0, float(i));
    });
    const uint64_t before = realtime::violationCount();
    t->start();
    t->wait();
    delete t;
    EXPECT_EQ(realtime::violationCount(), before);
    notifyEvent(nullptr, nullptr, UnitEvent::parameterEvent(T::EndParameterChangeGesture, u.get(), 0));
    ASSERT_TRUE(testsupport::waitUntil([&] { return heard.size() >= 4; }, 3000));
    testsupport::spin(250);
    // listener: begin, one merged value change, end; other: one value change.
    ASSERT_EQ(heard.size(), 4u);
    int valueChanges = 0;
    for (const Heard& h : heard) {
        EXPECT_TRUE(h.mainThread);
        if (h.event.type == T::ParameterValueChange) {
            ++valueChanges;
            EXPECT_FLOAT_EQ(h.value, 10.0f);
        }
    }
    EXPECT_EQ(valueChanges, 2);
    EXPECT_EQ(heard.front().event.type, T::BeginParameterChangeGesture);

    // A set that names the listener and object reaches only the others.
    heard.clear();
    setParameterAndNotify(&listener, &a, u.get(), 0, Scope::Global, 0, 3.0f);
    ASSERT_TRUE(testsupport::waitUntil([&] { return !heard.empty(); }, 3000));
    testsupport::spin(250);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].object, &b);

    // A property change, and nothing more for a unit that has gone.
    heard.clear();
    u->setPresentPreset({-1, "Mine"});
    ASSERT_TRUE(testsupport::waitUntil([&] { return !heard.empty(); }, 3000));
    EXPECT_EQ(heard[0].event.property, PropertyID::PresentPreset);
    heard.clear();
    setParameterAndNotify(nullptr, nullptr, u.get(), 0, Scope::Global, 0, 1.0f);
    u.reset();
    testsupport::spin(300);
    EXPECT_TRUE(heard.empty());
}

// The last listener goes while events wait for delivery: the listeners that
// come next (the next window, the next test in the same process) still hear
// every event posted after them, and nothing posted to no one.
TEST(UnitModel, ListenersThatComeAfterTheLastOneWentStillHearEvents) {
    auto u = makeGain(nullptr);
    using T = UnitEvent::Type;
    const UnitEvent change = UnitEvent::parameterEvent(T::ParameterValueChange, u.get(), 0);
    int object = 0;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::vector<float> heard;
        {
            EventListener listener([&](void*, const UnitEvent&, uint64_t, float v) { heard.push_back(v); }, 0.0, 0.0);
            listener.addEventType(&object, change);
            setParameterAndNotify(nullptr, nullptr, u.get(), 0, Scope::Global, 0, float(round) + 0.5f);
            ASSERT_TRUE(testsupport::waitUntil([&] { return !heard.empty(); }, 3000));
            // Posted, not yet delivered, when the listener goes.
            setParameterAndNotify(nullptr, nullptr, u.get(), 0, Scope::Global, 0, -1.0f);
        }
        // Posted to no one.
        setParameterAndNotify(nullptr, nullptr, u.get(), 0, Scope::Global, 0, -2.0f);
        testsupport::spin(50);
        heard.clear();
        EventListener next([&](void*, const UnitEvent&, uint64_t, float v) { heard.push_back(v); }, 0.0, 0.0);
        next.addEventType(&object, change);
        setParameterAndNotify(nullptr, nullptr, u.get(), 0, Scope::Global, 0, float(round) + 0.25f);
        ASSERT_TRUE(testsupport::waitUntil([&] { return !heard.empty(); }, 3000));
        testsupport::spin(50);
        EXPECT_EQ(heard, std::vector<float>{float(round) + 0.25f});
    }
}
