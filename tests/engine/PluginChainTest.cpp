// Installed plug-ins in a track's chain: made by name for the track's tap,
// instruments fed through a render callback or a render notification, and
// the undo of a plug-in's preset and state.

#include "PreparedTrack.h"

#include "platform/core/Realtime.h"
#include "platform/units/Component.h"
#include "platform/units/PluginHost.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace enginetest;
using units::fourCC;

namespace {

std::atomic<int> liveInstruments{0};

// An instrument with an audio input: plays a constant 0.25 over what it pulls.
class InputInstrument : public units::Unit {
public:
    explicit InputInstrument(bool acceptsFormats)
        : units::Unit({units::componenttype::MusicDevice, fourCC("tins"), fourCC("Test"), 0, 0},
                      QStringLiteral("Test: Input Instrument"), 1, 1),
          acceptsFormats_(acceptsFormats) {
        ++liveInstruments;
    }
    ~InputInstrument() override { --liveInstruments; }

protected:
    bool supportsFormat(units::Scope scope, units::Element element, const units::StreamFormat& f) const override {
        return acceptsFormats_ && units::Unit::supportsFormat(scope, element, f);
    }
    units::Status doRender(units::RenderActionFlags& flags, const units::TimeStamp& ts, uint32_t, uint32_t frames,
                           units::BufferList& io) override {
        if (auto s = pullInput(flags, ts, 0, frames, io); !units::ok(s)) return s;
        for (uint32_t c = 0; c < io.numberBuffers; ++c)
            for (uint32_t i = 0; i < frames; ++i) io.channel(c)[i] += 0.25f;
        return units::Status::Ok;
    }

private:
    bool acceptsFormats_;
};

units::AudioUnitBundleRecord bundle(const char* type, const char* subtype, const char* maker, const QString& name,
                                    std::optional<bool> safe = true) {
    return {{units::AudioComponentRecord{type, subtype, maker, name, safe}}, {}, {}};
}

class PluginChain : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        auto& registry = units::ComponentRegistry::instance();
        catalogue = new std::shared_ptr<const units::PluginCatalogue>(units::PluginCatalogue::scan("/usr/lib/lv2"));
        units::PluginCatalogue::setCurrent(*catalogue);
        units::registerPluginComponents(registry, *catalogue);
        registry.registerComponent({units::componenttype::MusicDevice, fourCC("tins"), fourCC("Test"), 0, 0},
                                   "Test: Input Instrument", 1,
                                   [] { return std::make_unique<InputInstrument>(true); });
        registry.registerComponent({units::componenttype::MusicDevice, fourCC("tref"), fourCC("Test"), 0, 0},
                                   "Test: Refusing Instrument", 1,
                                   [] { return std::make_unique<InputInstrument>(false); });
    }
    static QString mdaName(const char* plugin) {
        for (const auto& r : (*catalogue)->bundleRecords())
            if (r.pluginURI.endsWith(QStringLiteral("/mda/") + plugin)) return r.AudioComponents.first().name;
        return {};
    }
    // A prepared track offered the mda plug-ins and the test instruments.
    std::unique_ptr<PreparedTrack> track() {
        QList<units::AudioUnitBundleRecord> bundles = (*catalogue)->bundleRecords();
        bundles.append(bundle("aumu", "tins", "Test", "Test: Input Instrument"));
        bundles.append(bundle("aumu", "tref", "Test", "Test: Refusing Instrument"));
        bundles.append(bundle("aumu", "tins", "Test", "Test: Unsafe Instrument", false));
        return std::make_unique<PreparedTrack>([bundles](MusicFilter& t, PanelController&) { t.dynamicAudioUnits = bundles; });
    }
    static int indexOf(const MusicFilter& t, const QString& name) {
        const auto& records = t.pluginsArray();
        for (int i = 0; i < records.size(); ++i)
            if (records[i].audioUnitName == name) return i;
        return -1;
    }
    // Makes the plug-in `name` for the track and waits for its unit.
    static units::Unit* create(PreparedTrack& p, const QString& name) {
        const int index = indexOf(*p.track, name);
        if (index < 0) return nullptr;
        EXPECT_FALSE(p.track->createPluginForName(name, index, false));
        testsupport::waitUntil([&] { return p.track->pluginsArray()[index].audioUnit != nullptr; });
        return p.track->pluginsArray()[index].audioUnit;
    }
    static std::shared_ptr<const units::PluginCatalogue>* catalogue;
};
std::shared_ptr<const units::PluginCatalogue>* PluginChain::catalogue = nullptr;

TEST_F(PluginChain, InstrumentsSoundThroughTheChainInBothModes) {
    struct Case {
        const char* name;
        QString plugin;
        uint32_t mode;
    } cases[] = {
        {"an instrument with an input takes a render callback", "Test: Input Instrument", ChainUnitInstrumentCallback},
        {"an instrument without one hears a render notification", mdaName("JX10"), ChainUnitInstrumentNotify},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = track();
        ASSERT_TRUE(p->prepared);
        units::Unit* unit = create(*p, c.plugin);
        ASSERT_NE(unit, nullptr);
        const auto& record = p->track->pluginsArray()[indexOf(*p->track, c.plugin)];
        EXPECT_TRUE(record.audioUnitEnabled);
        EXPECT_TRUE(record.audioUnitPointerSet);
        EXPECT_EQ(p->track->procRefInfoArray().back()->unit, unit);
        EXPECT_EQ(p->track->procRefInfoArray().back()->mode, c.mode);
        // The new plug-in's parameters are in the track's snapshots.
        bool snapshots = false;
        for (const auto& m : p->track->listenerParameters) snapshots = snapshots || m.type == record.audioUnitType;
        EXPECT_EQ(snapshots, !unit->parameterList().empty());

        unit->midiEvent(0x90, 60, 110, 0);
        double level = 0;
        uint64_t violations = 0;
        for (int slice = 0; slice < 40; ++slice) {
            if (slice == 4) violations = realtime::violationCount();  // steady state from here
            p->driver->run(slice * 512, 512, 0.0f);
            level = std::max(level, testsupport::rms(p->driver->left));
        }
        EXPECT_GT(level, 0.01);
        EXPECT_EQ(realtime::violationCount(), violations);
    }
}

TEST_F(PluginChain, WhatIsNeverMadeOrIsDisposedOf) {
    auto p = track();
    ASSERT_TRUE(p->prepared);
    // Not marked safe: not even listed, and never made.
    EXPECT_EQ(indexOf(*p->track, "Test: Unsafe Instrument"), -1);
    EXPECT_FALSE(p->track->createPluginForName("Test: Unsafe Instrument", 0, false));
    // A unit whose stream format cannot be set is disposed of.
    const int refusing = indexOf(*p->track, "Test: Refusing Instrument");
    ASSERT_GE(refusing, 0);
    p->track->createPluginForName("Test: Refusing Instrument", refusing, false);
    testsupport::spin(300);
    EXPECT_EQ(p->track->pluginsArray()[refusing].audioUnit, nullptr);
    EXPECT_EQ(liveInstruments.load(), 0);

    // The track leaves the composition while the unit is being made: the
    // completion finds no tap and the unit goes.
    const int input = indexOf(*p->track, "Test: Input Instrument");
    p->track->createPluginForName("Test: Input Instrument", input, false);
    p->track->removeTrackFromComposition();
    testsupport::spin(300);
    EXPECT_EQ(liveInstruments.load(), 0);

    // The track itself is gone.
    auto q = track();
    q->track->createPluginForName("Test: Input Instrument", indexOf(*q->track, "Test: Input Instrument"), false);
    q->driver.reset();
    q->track.reset();
    testsupport::spin(300);
    EXPECT_EQ(liveInstruments.load(), 0);
}

TEST_F(PluginChain, PresetAndStateChangesUndoAndRedo) {
    auto p = track();
    ASSERT_TRUE(p->prepared);
    const QString name = mdaName("JX10");
    units::Unit* unit = create(*p, name);
    ASSERT_NE(unit, nullptr);
    testsupport::spin(300);
    UndoManager& um = p->controller.undo;
    um.removeAllActions();
    const units::Preset original = unit->presentPreset();
    const units::Preset chosen = unit->factoryPresets().at(3);
    ASSERT_NE(original, chosen);

    // A preset picked in the plug-in's own view.
    unit->setPresentPreset(chosen);
    ASSERT_TRUE(testsupport::waitUntil([&] { return um.canUndo(); }));
    EXPECT_EQ(p->track->pluginsPresetsDictionary.value(name).toList(), (QVariantList{chosen.name, chosen.number}));
    um.undo();
    EXPECT_EQ(unit->presentPreset(), original);
    EXPECT_EQ(p->track->pluginsPresetsDictionary.value(name).toList(), (QVariantList{original.name, original.number}));
    testsupport::spin(300);  // writing the earlier preset back is not heard as a change
    EXPECT_FALSE(um.canUndo());
    ASSERT_TRUE(um.canRedo());
    um.redo();
    EXPECT_EQ(unit->presentPreset(), chosen);

    // The plug-in's whole state.
    testsupport::spin(300);
    um.removeAllActions();
    p->track->pluginsClassInfosDictionary.insert(name, QVariant::fromValue(unit->classInfo()));
    const float before = unit->parameter(0);
    const float after = before > 0.5f ? 0.1f : 0.9f;
    unit->setParameter(0, after);
    const QCborMap changed = unit->classInfo();
    unit->setParameter(0, before);
    unit->setClassInfo(changed);
    ASSERT_TRUE(testsupport::waitUntil([&] { return um.canUndo(); }));
    EXPECT_NEAR(unit->parameter(0), after, 1e-6);
    um.undo();
    EXPECT_NEAR(unit->parameter(0), before, 1e-6);
    um.redo();
    EXPECT_NEAR(unit->parameter(0), after, 1e-6);
}

}  // namespace
