// The track's units from its settings: preparing the tap, pushing changed
// inputs, the parameter snapshots, their undo, and the offline snapshot.

#include "PreparedTrack.h"

#include "platform/units/EventListener.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>

using namespace enginetest;
using units::Scope;

namespace {

std::vector<MAudioParameter> ofType(const std::vector<MAudioParameter>& list, uint64_t type) {
    std::vector<MAudioParameter> out;
    for (const auto& p : list)
        if (p.type == type) out.push_back(p);
    return out;
}

// ---------------------------------------------------------------------------
// Preparing the tap

TEST(PrepareTap, SetsEveryUnitAndActiveByteFromTheInputs) {
    struct Case {
        const char* name;
        std::function<void(MusicFilter&)> inputs;
        std::function<void(const PreparedTrack&)> check;
    } cases[] = {
        {"a 5 Hz low-pass is sent as 10 Hz and is active",
         [](MusicFilter& t) { t.setValue(EffectInput::LowPassCutoff, 5); },
         [](const PreparedTrack& p) {
             EXPECT_EQ(p.parameter(BuiltInUnit::LowPass, 0), 10.0f);
             EXPECT_TRUE(p.active(BuiltInUnit::LowPass));
         }},
        {"a low-pass above 22050 Hz is not active (one rule with the pushes)",
         [](MusicFilter& t) { t.setValue(EffectInput::LowPassCutoff, 30000); },
         [](const PreparedTrack& p) { EXPECT_FALSE(p.active(BuiltInUnit::LowPass)); }},
        {"zero equaliser: ten bands set, not active",
         [](MusicFilter&) {},
         [](const PreparedTrack& p) {
             const float frequencies[10] = {32, 64, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
             for (uint32_t b = 0; b < 10; ++b) {
                 EXPECT_EQ(p.parameter(BuiltInUnit::EQ, 2000 + b), 0.0f) << b;
                 EXPECT_EQ(p.parameter(BuiltInUnit::EQ, 3000 + b), frequencies[b]) << b;
                 EXPECT_EQ(p.parameter(BuiltInUnit::EQ, 1000 + b), 0.0f) << b;
             }
             EXPECT_FALSE(p.active(BuiltInUnit::EQ));
             EXPECT_FALSE(p.active(BuiltInUnit::Pitch));
             EXPECT_FALSE(p.active(BuiltInUnit::BandPass));
             EXPECT_FALSE(p.active(BuiltInUnit::HighPass));
         }},
        {"every input reaches its unit",
         [](MusicFilter& t) {
             t.setValue(EffectInput::Gain2K, 4);
             t.setValue(EffectInput::Pitch, 0.5f);
             t.setValue(EffectInput::ReverbWetDryMix, 30);
             t.setValue(EffectInput::ReverbSmallLargeMix, 70);
             t.setValue(EffectInput::HighPassCutoff, 200);
             t.setValue(EffectInput::BandPassBandwidth, 1200);
             t.setValue(EffectInput::LowShelfGain, -6);
             t.setValue(EffectInput::ChannelMix, -0.5f);
             t.setValue(EffectInput::Repeat, 2);
         },
         [](const PreparedTrack& p) {
             EXPECT_EQ(p.parameter(BuiltInUnit::EQ, 4006), 4.0f);
             EXPECT_EQ(p.parameter(BuiltInUnit::Pitch, 1), 0.5f);
             EXPECT_EQ(p.parameter(BuiltInUnit::Reverb, 0), 30.0f);
             EXPECT_EQ(p.parameter(BuiltInUnit::Reverb, 1), 70.0f);
             EXPECT_EQ(p.parameter(BuiltInUnit::HighPass, 0), 200.0f);
             EXPECT_EQ(p.parameter(BuiltInUnit::BandPass, 1), 1200.0f);
             EXPECT_EQ(p.parameter(BuiltInUnit::LowShelf, 1), -6.0f);
             for (auto u : {BuiltInUnit::EQ, BuiltInUnit::Pitch, BuiltInUnit::Reverb, BuiltInUnit::HighPass,
                            BuiltInUnit::BandPass, BuiltInUnit::LowShelf})
                 EXPECT_TRUE(p.active(u)) << int(u);
             EXPECT_EQ(p.k()->contextTrackChannelMix.load(), -0.5);
             EXPECT_EQ(p.k()->contextRepeatCount.load(), 2.0);
             EXPECT_NEAR(p.k()->contextTrackPassDuration.load(), 4.0, 1e-9);
             EXPECT_NEAR(p.k()->contextTrackDurationRatio.load(), 2.0, 1e-6);
             EXPECT_EQ(p.k()->contextTrackTimeScale.load(), 44100u);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PreparedTrack p([&](MusicFilter& t, PanelController&) { c.inputs(t); });
        ASSERT_TRUE(p.prepared);
        c.check(p);
    }
}

TEST(PrepareTap, BuildsThePluginCatalogue) {
    auto component = [](const char* type, const char* subtype, const char* name, std::optional<bool> safe) {
        return units::AudioComponentRecord{type, subtype, "Mk01", name, safe};
    };
    QList<units::AudioUnitBundleRecord> bundles;
    bundles.append({{component("aufx", "AbCd", "Maker: Plug One", true)}, {}, {}});
    bundles.append({{component("aufx", "EfGh", "Plug Two", true)}, {}, {}});
    bundles.append({{component("aufx", "IjKl", "A: B: C", true)}, {}, {}});
    bundles.append({{component("adec", "MnOp", "Decoder", true)}, {}, {}});
    bundles.append({{component("aufx", "QrSt", "Unsafe", false)}, {}, {}});
    bundles.append({{component("aufx", "UvWx", "Unmarked", std::nullopt)}, {}, {}});
    bundles.append({{component("aumu", "YzAb", "", true), component("aufx", "CdEf", "Second", true)}, {}, {}});

    PreparedTrack p([&](MusicFilter& t, PanelController&) { t.dynamicAudioUnits = bundles; });
    ASSERT_TRUE(p.prepared);
    QStringList names;
    for (const auto& r : p.track->pluginsArray()) {
        names << r.audioUnitName;
        EXPECT_FALSE(r.audioUnitEnabled);
        EXPECT_FALSE(r.audioUnitPointerSet);
        EXPECT_EQ(r.audioUnit, nullptr);
    }
    // Only the first component of a bundle counts; the list is sorted by name.
    QStringList expected{"A: B: C", "Maker: Plug One", "Plugin 6\n", "Plug Two"};
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()), QSet<QString>(expected.begin(), expected.end()));
    for (int i = 1; i < names.size(); ++i) EXPECT_LE(QString::localeAwareCompare(names[i - 1], names[i]), 0);
    const int one = int(names.indexOf("Maker: Plug One"));
    EXPECT_EQ(p.track->pluginsArray()[one].audioUnitType,
              uint32_t(units::fourCC("aufx") + units::fourCC("AbCd") + units::fourCC("Mk01")));

    const QVariantMap menu = p.track->pluginsMenuDictionary;
    EXPECT_EQ(menu.value("Maker").toList(), (QVariantList{QVariantList{"Maker: Plug One", "Plug One"}}));
    EXPECT_EQ(menu.value("Mk01").toList(),
              (QVariantList{QVariantList{"Plug Two", "Plug Two"}, QVariantList{"A: B: C", "A: B: C"},
                            QVariantList{"Plugin 6\n", "Plugin 6\n"}}));
    EXPECT_EQ(p.controller.count("createPopUpButton"), 1);
    EXPECT_EQ(p.controller.count("enablePluginsName"), 1);
}

TEST(PrepareTap, ReportsReadyWhileAProjectLoads) {
    PreparedTrack p([](MusicFilter&, PanelController& c) {
        c.beginLoadingTapsFromProject(1);
    });
    ASSERT_TRUE(testsupport::waitUntil([&] { return !p.controller.loadTapFromProject(); }));
    // The first report only arms the track.
    EXPECT_TRUE(p.track->canUpdateAudioUnits);
    EXPECT_EQ(p.controller.updateAudioUnitsCalls, 0);
    EXPECT_EQ(p.controller.tapCounter(), 0u);
}

// ---------------------------------------------------------------------------
// Pushing changed inputs

TEST(UpdateAudioMixState, EachPushSetsItsUnitAndActiveByte) {
    PreparedTrack p;
    ASSERT_TRUE(p.prepared);
    MusicFilter& t = *p.track;
    struct Step {
        const char* name;
        std::function<void()> change;
        std::function<void()> check;
    } steps[] = {
        {"small/large mix alone pushes both reverb values; dry reverb stays out",
         [&] { t.setValue(EffectInput::ReverbSmallLargeMix, 30); },
         [&] {
             EXPECT_EQ(p.parameter(BuiltInUnit::Reverb, 1), 30.0f);
             EXPECT_EQ(p.parameter(BuiltInUnit::Reverb, 0), 0.0f);
             EXPECT_FALSE(p.active(BuiltInUnit::Reverb));
         }},
        {"wet reverb", [&] { t.setValue(EffectInput::ReverbWetDryMix, 40); },
         [&] { EXPECT_TRUE(p.active(BuiltInUnit::Reverb)); }},
        {"pitch 0 is in the chain", [&] { t.setValue(EffectInput::Pitch, 0); },
         [&] {
             EXPECT_EQ(p.parameter(BuiltInUnit::Pitch, 1), 0.0f);
             EXPECT_TRUE(p.active(BuiltInUnit::Pitch));
         }},
        {"pitch 1 is not", [&] { t.setValue(EffectInput::Pitch, 1); },
         [&] { EXPECT_FALSE(p.active(BuiltInUnit::Pitch)); }},
        {"a 5 Hz low-pass is applied as 10 Hz", [&] { t.setValue(EffectInput::LowPassCutoff, 5); },
         [&] {
             EXPECT_EQ(p.parameter(BuiltInUnit::LowPass, 0), 10.0f);
             EXPECT_TRUE(p.active(BuiltInUnit::LowPass));
         }},
        {"a 22050 Hz low-pass leaves", [&] { t.setValue(EffectInput::LowPassCutoff, 22050); },
         [&] { EXPECT_FALSE(p.active(BuiltInUnit::LowPass)); }},
        {"a 0 Hz high-pass leaves but the unit gets 10 Hz",
         [&] {
             t.setValue(EffectInput::HighPassCutoff, 300);
             t.updateAudioMixState();
             EXPECT_TRUE(p.active(BuiltInUnit::HighPass));
             t.setValue(EffectInput::HighPassCutoff, 0);
         },
         [&] {
             EXPECT_EQ(p.parameter(BuiltInUnit::HighPass, 0), 10.0f);
             EXPECT_FALSE(p.active(BuiltInUnit::HighPass));
         }},
        {"one band puts the equaliser in", [&] { t.setValue(EffectInput::Gain1K, 3); },
         [&] {
             EXPECT_EQ(p.parameter(BuiltInUnit::EQ, 4005), 3.0f);
             EXPECT_TRUE(p.active(BuiltInUnit::EQ));
         }},
        {"global gain keeps it in after the band is back at 0",
         [&] {
             t.setValue(EffectInput::GlobalGain, -2);
             t.updateAudioMixState();
             t.setValue(EffectInput::Gain1K, 0);
         },
         [&] { EXPECT_TRUE(p.active(BuiltInUnit::EQ)); }},
        {"all equaliser inputs at 0 take it out", [&] { t.setValue(EffectInput::GlobalGain, 0); },
         [&] { EXPECT_FALSE(p.active(BuiltInUnit::EQ)); }},
        {"band-pass and low shelf",
         [&] {
             t.setValue(EffectInput::BandPassCenterFrequency, 800);
             t.setValue(EffectInput::LowShelfGain, 5);
         },
         [&] {
             EXPECT_EQ(p.parameter(BuiltInUnit::BandPass, 0), 800.0f);
             EXPECT_TRUE(p.active(BuiltInUnit::BandPass));
             EXPECT_EQ(p.parameter(BuiltInUnit::LowShelf, 1), 5.0f);
             EXPECT_TRUE(p.active(BuiltInUnit::LowShelf));
         }},
        {"balance reaches the context", [&] { t.setValue(EffectInput::ChannelMix, 0.25f); },
         [&] { EXPECT_EQ(p.k()->contextTrackChannelMix.load(), 0.25); }},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        s.change();
        t.updateAudioMixState();
        s.check();
    }

    // Speed alone pushes nothing: every unit value and byte stays.
    std::vector<float> values;
    std::vector<uint8_t> bytes;
    for (int i = 0; i < kBuiltInUnitCount; ++i) {
        bytes.push_back(p.k()->unitFlags[i].load());
        if (auto* u = p.k()->units[i].load())
            for (auto id : u->parameterList()) values.push_back(u->parameter(id));
    }
    t.setValue(EffectInput::Speed, 2);
    t.updateAudioMixState();
    EXPECT_EQ(t.speedMix, 2.0);
    std::vector<float> valuesAfter;
    for (int i = 0; i < kBuiltInUnitCount; ++i) {
        EXPECT_EQ(p.k()->unitFlags[i].load(), bytes[size_t(i)]) << i;
        if (auto* u = p.k()->units[i].load())
            for (auto id : u->parameterList()) valuesAfter.push_back(u->parameter(id));
    }
    EXPECT_EQ(values, valuesAfter);
    EXPECT_EQ(p.controller.resetMixCalls, 0);
}

TEST(UpdateAudioMixState, WithoutATapAPushMakesOne) {
    PreparedTrack p;
    ASSERT_TRUE(p.prepared);
    auto entry = p.s.mix->inputParameters().back();
    struct Case {
        const char* name;
        EffectInput input;
        float value;
        int resetMixCalls;  // unit pushes replace the playing item's mix, the others do not
    } cases[] = {
        {"pitch", EffectInput::Pitch, 0.5f, 1},
        {"low-pass", EffectInput::LowPassCutoff, 400, 1},
        {"balance", EffectInput::ChannelMix, 0.5f, 0},
        {"repeat", EffectInput::Repeat, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        entry->setAudioTapProcessor(nullptr);
        const int before = p.controller.resetMixCalls;
        p.track->setValue(c.input, c.value);
        p.track->updateAudioMixState();
        EXPECT_NE(entry->audioTapProcessor(), nullptr);
        EXPECT_EQ(p.controller.resetMixCalls - before, c.resetMixCalls);
    }
}

TEST(UpdateAudioMixState, DoesNothingForATrackOutsideTheComposition) {
    PreparedTrack p;
    p.track->removeTrackFromComposition();
    p.track->setValue(EffectInput::Pitch, 0.25f);
    p.track->updateAudioMixState();
    EXPECT_EQ(p.track->pitchMix, 1.0);
}

// ---------------------------------------------------------------------------
// Listener parameters

TEST(ListenerParameters, ThirtyOneBandGraphicEqualiserRoundTripsInOrder) {
    PreparedTrack a;
    ASSERT_TRUE(a.prepared);
    units::Unit* graphic = a.unit(BuiltInUnit::GraphicEQ);
    ASSERT_TRUE(graphic);
    graphic->setParameter(10000, 1.0f);
    for (uint32_t b = 0; b < 31; ++b) graphic->setParameter(b, -10.0f + 0.5f * float(b));
    a.unit(BuiltInUnit::NBandEQ)->setNumberOfBands(12);
    a.track->updateGraphicBandEQEnabled(true);
    a.track->updateNBandEQNumberOfBands();
    EXPECT_EQ(a.track->nBandEQNumberOfBandsProperty, 12u);
    EXPECT_EQ(a.track->nBandEQNumberOfBandsPropertySize, 4u);
    a.track->updateListenerParametersFromAudioUnits();

    // Units by index, each in the order of its parameter list.
    const auto& list = a.track->listenerParameters;
    for (size_t i = 1; i < list.size(); ++i) EXPECT_LE(list[i - 1].type, list[i].type);
    const auto graphicSnapshots = ofType(list, 1);
    const std::vector<units::ParameterID> order = graphic->parameterList();
    ASSERT_EQ(order.size(), 32u);
    ASSERT_EQ(graphicSnapshots.size(), 32u);
    for (size_t i = 0; i < order.size(); ++i) {
        const MAudioParameter& m = graphicSnapshots[i];
        EXPECT_EQ(m.parameterID, order[i]);
        EXPECT_EQ(m.value, m.parameterID == 10000 ? 1.0f : -10.0f + 0.5f * float(m.parameterID));
        EXPECT_EQ(m.enabled, 1);
    }

    // A new track with a fresh ten-band equaliser takes the list.
    PreparedTrack b([&](MusicFilter& t, PanelController&) {
        t.listenerParameters = list;
        t.nBandEQNumberOfBandsProperty = 12;
        t.nBandEQNumberOfBandsPropertySize = 4;
        t.listenerParametersUpdated = true;
    });
    ASSERT_TRUE(b.prepared);
    EXPECT_FALSE(b.track->listenerParametersUpdated);
    units::Unit* restored = b.unit(BuiltInUnit::GraphicEQ);
    EXPECT_EQ(restored->parameterList().size(), 32u);
    for (uint32_t band = 0; band < 31; ++band)
        EXPECT_EQ(restored->parameter(band), -10.0f + 0.5f * float(band)) << band;
    uint32_t bands = 0;
    b.unit(BuiltInUnit::NBandEQ)->numberOfBands(&bands);
    EXPECT_EQ(bands, 12u);
    EXPECT_TRUE(b.active(BuiltInUnit::GraphicEQ));
    EXPECT_FALSE(b.active(BuiltInUnit::NBandEQ));
    // Writing the stored values is not heard as an edit.
    testsupport::spin(300);
    EXPECT_FALSE(b.controller.undo.canUndo());
}

TEST(ListenerParameters, WithoutATapTheListIsEmpty) {
    ensureBuiltInUnits();
    Session s;
    auto t = s.makeTrack(loadAsset(testsupport::writeTone("notap.wav", 1, 440)));
    t->listenerParameters.push_back({1, 1, 3, 2.0f});
    t->updateListenerParametersFromAudioUnits();
    EXPECT_TRUE(t->listenerParameters.empty());
}

TEST(ListenerParameters, PluginsSnapshotsFollowTheirParameterList) {
    PreparedTrack p;
    ASSERT_TRUE(p.prepared);
    const units::ComponentDescription d{units::componenttype::Effect, units::fourCC("tabl"), units::fourCC("Test"), 0, 0};
    auto owned = std::make_unique<TableUnit>(
        d, "Table", std::vector<TableUnit::Row>{{0, info("A", units::ParameterUnit::Generic, 0, 1, 0.25f), {}},
                                                 {1, info("B", units::ParameterUnit::Generic, 0, 1, 0.5f), {}},
                                                 {2, info("C", units::ParameterUnit::Generic, 0, 1, 0.75f), {}}});
    TableUnit* plugin = owned.get();
    hostPlugin(*p.track, std::move(owned), ChainUnitEffect, 700);
    // A record without a unit adds nothing.
    auto records = p.track->pluginsArray();
    records.prepend(PluginRecord{nullptr, "Not made", true, 800, false});
    p.track->setPluginsArray(records);
    p.track->updateListenerParametersFromAudioUnits();
    EXPECT_TRUE(ofType(p.track->listenerParameters, 800).empty());
    ASSERT_EQ(ofType(p.track->listenerParameters, 700).size(), 3u);
    EXPECT_EQ(p.track->listenerParameters.back().type, 700u);

    // Move the plug-in's snapshots away from the end, then change its layout.
    std::stable_partition(p.track->listenerParameters.begin(), p.track->listenerParameters.end(),
                          [](const MAudioParameter& m) { return m.type == 700; });
    plugin->list(1, 1, false);
    ASSERT_TRUE(testsupport::waitUntil([&] { return ofType(p.track->listenerParameters, 700).size() == 2; }));
    const auto& list = p.track->listenerParameters;
    EXPECT_EQ(list[list.size() - 2].parameterID, 0u);
    EXPECT_EQ(list.back().parameterID, 2u);
    EXPECT_EQ(list.back().enabled, 1);
    EXPECT_EQ(list.back().value, 0.75f);
}

// ---------------------------------------------------------------------------
// Undo of a unit parameter

TEST(UnitParameterUndo, RestoresTheValueAndItsEnableByte) {
    PreparedTrack p;
    ASSERT_TRUE(p.prepared);
    p.track->updateListenerParametersFromAudioUnits();
    units::Unit* graphic = p.unit(BuiltInUnit::GraphicEQ);
    UndoManager& um = p.controller.undo;
    auto snapshot = [&] {
        for (const auto& m : p.track->listenerParameters)
            if (m.type == 1 && m.parameterID == 3) return m;
        return MAudioParameter{};
    };
    ASSERT_EQ(snapshot().enabled, 0);

    p.track->undoParameterValue({1, 1, 3, 6.0f});
    EXPECT_EQ(graphic->parameter(3), 6.0f);
    EXPECT_EQ(snapshot().value, 6.0f);
    EXPECT_EQ(snapshot().enabled, 1);
    ASSERT_TRUE(um.canUndo());
    um.undo();
    EXPECT_EQ(graphic->parameter(3), 0.0f);
    EXPECT_EQ(snapshot().enabled, 0);
    um.redo();
    EXPECT_EQ(graphic->parameter(3), 6.0f);
    EXPECT_EQ(snapshot().enabled, 1);

    // An entry the list does not have: nothing happens.
    um.removeAllActions();
    p.track->undoParameterValue({1, 1, 9999, 1.0f});
    EXPECT_FALSE(um.canUndo());

    // Of two entries with the same unit and parameter only the first is restored.
    p.track->listenerParameters.push_back({1, 0, 3, -3.0f});
    p.track->undoParameterValue({1, 0, 3, 2.0f});
    EXPECT_EQ(p.track->listenerParameters.back().value, -3.0f);
    EXPECT_EQ(snapshot().value, 2.0f);
}

TEST(UnitParameterUndo, AGestureInTheUnitsViewBecomesOneUndoStep) {
    PreparedTrack p;
    ASSERT_TRUE(p.prepared);
    p.track->updateListenerParametersFromAudioUnits();
    units::Unit* graphic = p.unit(BuiltInUnit::GraphicEQ);
    UndoManager& um = p.controller.undo;
    using Type = units::UnitEvent::Type;
    units::notifyEvent(nullptr, nullptr, units::UnitEvent::parameterEvent(Type::BeginParameterChangeGesture, graphic, 3));
    graphic->setParameter(3, 4.0f);
    units::notifyEvent(nullptr, nullptr, units::UnitEvent::parameterEvent(Type::EndParameterChangeGesture, graphic, 3));
    ASSERT_TRUE(testsupport::waitUntil([&] { return um.canUndo(); }));
    testsupport::spin(250);  // the undo's own change is not heard back
    EXPECT_EQ(um.undoCount(), 1);
    um.undo();
    EXPECT_EQ(graphic->parameter(3), 0.0f);
    testsupport::spin(250);
    EXPECT_EQ(um.undoCount(), 0);
    EXPECT_EQ(um.redoCount(), 1);
    um.redo();
    EXPECT_EQ(graphic->parameter(3), 4.0f);
}

// ---------------------------------------------------------------------------
// Snapshot around an offline render

TEST(FilterParametersSnapshot, RoundTripsTheTapStateExactly) {
    PreparedTrack p;
    ASSERT_TRUE(p.prepared);
    TrackTapContext* k = p.k();
    k->contextSampleCount.store(321);
    k->contextTrackDurationRatio.store(1.5);
    k->contextTrackStartTime.store(0.25);
    k->contextTrackEndTime.store(3.75);
    k->contextFadeInDuration.store(0.5);
    k->contextFadeOutDuration.store(0.75);
    k->contextTrackChannelMix.store(-0.3);
    for (int i = 0; i < kBuiltInUnitCount; ++i) k->unitFlags[i].store(uint8_t(i % 3 == 0));
    p.track->setCurrentTime(MediaTime(12345, 44100));
    p.track->audioScaleFactor = 1.25;
    k->audioScaleFactor.store(9);

    p.track->copyFilterParameters();
    ASSERT_TRUE(p.track->filterParameters);
    EXPECT_EQ(k->contextSampleCount.load(), 0.0);
    // The offline render runs the tap meanwhile.
    k->contextSampleCount.store(77);
    k->contextTrackStartTime.store(0);
    k->contextTrackChannelMix.store(0);
    for (auto& f : k->unitFlags) f.store(1);
    p.track->setCurrentTime(MediaTime::zero());
    p.track->audioScaleFactor = 3;

    p.track->restoreFilterParameters();
    EXPECT_FALSE(p.track->filterParameters);
    EXPECT_EQ(k->contextSampleCount.load(), 321.0);
    EXPECT_EQ(k->contextTrackDurationRatio.load(), 1.5);
    EXPECT_EQ(k->contextTrackStartTime.load(), 0.25);
    EXPECT_EQ(k->contextTrackEndTime.load(), 3.75);
    EXPECT_EQ(k->contextFadeInDuration.load(), 0.5);
    EXPECT_EQ(k->contextFadeOutDuration.load(), 0.75);
    EXPECT_EQ(k->contextTrackChannelMix.load(), -0.3);
    for (int i = 0; i < kBuiltInUnitCount; ++i) EXPECT_EQ(k->unitFlags[i].load(), uint8_t(i % 3 == 0)) << i;
    EXPECT_EQ(p.track->currentTime(), MediaTime(12345, 44100));
    EXPECT_EQ(p.track->audioScaleFactor, 1.25);
    EXPECT_EQ(k->audioScaleFactor.load(), 1.25);

    // Without a pending snapshot nothing changes.
    k->contextSampleCount.store(5);
    p.track->restoreFilterParameters();
    EXPECT_EQ(k->contextSampleCount.load(), 5.0);
}

TEST(FilterParametersSnapshot, OutsideTheCompositionOnlyTimeScaleAndTheFile) {
    Session s;
    auto t = s.makeTrack(loadAsset(testsupport::writeTone("snapshot.wav", 1, 440)));
    t->setCurrentTime(MediaTime(7, 1));
    t->audioScaleFactor = 2;
    const QString folder = testsupport::tempDir();
    struct Case {
        const char* name;
        QString path;
        bool isFolder;
        bool remains;
    } cases[] = {
        {"a rendered file is removed", QDir(folder).filePath("rendered.caf"), false, false},
        {"a folder is not", QDir(folder).filePath("folder"), true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.isFolder) QDir().mkpath(c.path);
        else {
            QFile f(c.path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("x");
        }
        t->copyFilterParameters();
        EXPECT_EQ(t->filterParameters->temporaryTrackID, -1);
        t->filterParameters->temporaryAssetURL = c.path;
        t->setCurrentTime(MediaTime(1, 1));
        t->audioScaleFactor = 5;
        t->restoreFilterParameters();
        EXPECT_EQ(t->currentTime(), MediaTime(7, 1));
        EXPECT_EQ(t->audioScaleFactor, 2.0);
        EXPECT_EQ(QFileInfo::exists(c.path), c.remains);
    }
}

}  // namespace
