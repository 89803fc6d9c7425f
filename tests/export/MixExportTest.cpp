#include "ExportFixture.h"

#include "export/ExportRules.h"
#include "platform/core/Realtime.h"
#include "platform/media/FileTags.h"
#include "platform/media/MediaMetadata.h"
#include "platform/units/Component.h"
#include "platform/units/PluginCatalogue.h"
#include "platform/units/PluginHost.h"
#include "support/InstalledPlugins.h"

// Three tracks: A at speed 2 with the low-pass on (rendered alone), B from a
// 48 kHz source (rendered alone), C live. Each has one click.
class MixExportTest : public ExportTest {
protected:
    void makeThreeTracks() {
        a = append(writeClicks("a.wav", 1.0, {0.5}, 44100, 6000));
        b = append(writeClicks("b.wav", 1.0, {0.3}, 48000));
        cc = append(writeClicks("c.wav", 1.0, {0.7}, 44100, 440, 0.75));
        place(*b, 0.2);
        place(*a, 0.0, 2.0f);
        a->setValue(EffectInput::LowPassCutoff, 1000.0f);
        a->updateLowPassValue();
    }
    std::shared_ptr<MusicFilter> a, b, cc;
};

TEST_F(MixExportTest, EveryTrackLandsAtItsPlaceInEveryFormatAndRate) {
    makeThreeTracks();
    const uint64_t violations = realtime::violationCount();
    struct Case { int format; const char* ext; };
    for (Case k : {Case{0, "m4a"}, Case{1, "aif"}, Case{2, "wav"}, Case{3, "caf"}}) {
        for (int rate = 0; rate < 3; ++rate) {
            SCOPED_TRACE(std::string(k.ext) + " rate index " + std::to_string(rate));
            choose(k.format, rate);
            const QString path = testsupport::tempDir() + "/mix." + k.ext;
            c->saveAudioToURL(QUrl::fromLocalFile(path));
            ASSERT_TRUE(waitForEnd());
            EXPECT_EQ(sheetPercent(), "100%");
            pressOk();
            const DecodedFile d = decode(path);
            const double expectedRate = exportrules::sampleRateForIndex(rate);
            ASSERT_EQ(d.rate, expectedRate);
            // B ends last, at 1.2 s.
            const double expected = 1.2 * expectedRate;
            if (k.format == 0) EXPECT_NEAR(double(d.frames()), expected, 2048 + 1024);
            else EXPECT_NEAR(double(d.frames()), expected, 1.0);
            // Each click within 3 ms of its place. The stretcher moves A's
            // click by 7.5 ms at 96 kHz (its longer windows at that rate).
            EXPECT_NEAR(peakNear(d, 0.25), 0.25, rate == 2 ? 0.008 : 0.003);  // A, twice as fast
            EXPECT_NEAR(peakNear(d, 0.5), 0.5, 0.003);    // B, at its start 0.2 s
            EXPECT_NEAR(peakNear(d, 0.7), 0.7, 0.003);    // C
            // Levels: C's 440 Hz tone as it was; A's 6 kHz tone under the
            // 1 kHz low-pass.
            EXPECT_NEAR(toneAmplitude(d, 0.75, 0.95, 440), 0.1, 0.01);
            EXPECT_LT(toneAmplitude(d, 0.05, 0.2, 6000), 0.01);
            EXPECT_TRUE(tempFiles().isEmpty());
        }
    }
    EXPECT_EQ(realtime::violationCount(), violations);
}

TEST_F(MixExportTest, APlugInOnOneTrackAndALevelCurveOnAnother) {
    // E: a lone click at 0.3 s through mda Delay. L: a 440 Hz tone whose
    // level falls along a straight curve from 1 at 0 s to 0.2 at 2 s.
    auto e = append(writeClicks("echo.wav", 2.0, {0.3}));
    auto l = append(writeClicks("level.wav", 2.0, {}, 44100, 440));
    // The player's item with both tracks prepares their taps again, which
    // makes their plug-in lists anew: the plug-in is made after that.
    waitForReadyItem();
    endEvent();
    const auto catalogue = testsupport::useInstalledPlugins();
    QString delay;
    for (const auto& r : catalogue->bundleRecords())
        if (r.pluginURI.endsWith(QStringLiteral("/mda/Delay"))) delay = r.AudioComponents.first().name;
    ASSERT_FALSE(delay.isEmpty()) << "mda-lv2 is not installed";
    e->dynamicAudioUnits = catalogue->bundleRecords();
    const auto& component = [&] {
        for (const auto& r : catalogue->bundleRecords())
            if (r.AudioComponents.first().name == delay) return r.AudioComponents.first();
        return units::AudioComponentRecord{};
    }();
    e->setPluginsArray({PluginRecord{nullptr, delay, false,
                                     uint32_t(units::fourCCFromString(component.type) +
                                              units::fourCCFromString(component.subtype) +
                                              units::fourCCFromString(component.manufacturer)),
                                     false}});
    e->createPluginForName(delay, 0, false);
    ASSERT_TRUE(testsupport::waitUntil([&] { return e->pluginsArray()[0].audioUnit != nullptr; }));
    ASSERT_TRUE(e->pluginsArray()[0].audioUnitEnabled);

    l->typeOfRecordedCurve = 1;  // straight lines between points
    c->automation.recordedParameters[l->identifierOfFilter] = {{QStringLiteral("inputAudioMix"), {{0, 1}, {2, 0.2}}}};
    c->publishRecordedParametersForFilter(l.get());

    const uint64_t violations = realtime::violationCount();
    choose(2, 0);
    const QString path = testsupport::tempDir() + "/effects.wav";
    c->saveAudioToURL(QUrl::fromLocalFile(path));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(sheetPercent(), "100%");
    EXPECT_TRUE(c->exporting.lastExportSucceeded);
    pressOk();
    const DecodedFile d = decode(path);
    ASSERT_NEAR(double(d.frames()), 2 * 44100, 1);

    // The level follows the curve (each slice takes the curve's value at
    // its start, so within a slice's fall of it).
    for (double at : {0.3, 1.0, 1.7}) {
        SCOPED_TRACE(at);
        EXPECT_NEAR(toneAmplitude(d, at - 0.1, at + 0.1, 440) / 0.1, 1.0 - 0.4 * at, 0.04);
    }
    // The delay repeats the click after it: on the dry track nothing but
    // the tone sounds there, and the tone stays under 0.1.
    const double echoes = peakLevel(d, 0.31, 1.9);
    EXPECT_GT(echoes, 0.15);
    EXPECT_NEAR(peakNear(d, 0.3, 0.005), 0.3, 0.001);
    EXPECT_EQ(realtime::violationCount(), violations);
    waitForReadyItem();
}

// Two tracks with the same plug-in. Starting an export and closing its sheet
// free both tracks' units and make them again, one on the plug-in thread
// while the other is freed on the main thread, and a load makes them again
// too: an export, a save, a load and three exports in another format all
// finish, with the echoes in every file.
TEST_F(MixExportTest, TwoTracksWithOnePlugInThroughExportsASaveAndALoad) {
    testsupport::useInstalledPlugins();
    c->ui.window->show();
    if (auto* search = c->preferences.preferencesSearchPluginsCheck) search->setChecked(true);
    auto first = append(writeClicks("first.wav", 2.0, {0.3}));
    auto second = append(writeClicks("second.wav", 2.0, {0.3}));
    ASSERT_TRUE(switchOnPlugin(first.get(), QStringLiteral(" Delay")));
    ASSERT_TRUE(switchOnPlugin(second.get(), QStringLiteral(" Delay")));
    waitForReadyItem();

    auto exportTo = [&](int format, const QString& name) {
        SCOPED_TRACE(name.toStdString());
        choose(format, 0);
        const QString path = testsupport::tempDir() + QLatin1Char('/') + name;
        c->saveAudioToURL(QUrl::fromLocalFile(path));
        ASSERT_TRUE(waitForEnd());
        EXPECT_TRUE(c->exporting.lastExportSucceeded);
        pressOk();
        const DecodedFile d = decode(path);
        ASSERT_NEAR(double(d.frames()), 2 * 44100, format == 0 ? 2048 + 1024 : 1);
        EXPECT_NEAR(peakNear(d, 0.3, 0.005), 0.3, 0.001);
        EXPECT_GT(peakLevel(d, 0.31, 1.9), 0.15) << "the delays repeat the clicks";
        waitForReadyItem();
    };
    exportTo(2, QStringLiteral("before.wav"));

    const QString project = testsupport::tempDir() + QStringLiteral("/Echoes.trvproj");
    QString error;
    ASSERT_TRUE(save(project, &error)) << error.toStdString();
    c->closeCompositionFrom(false);
    load(project);
    ASSERT_EQ(tracks().size(), 2u);
    for (const auto& r : tracks()) {
        const MusicFilter* t = r.audioFilter.get();
        const int i = pluginIndex(t, QStringLiteral(" Delay"));
        ASSERT_GE(i, 0);
        ASSERT_TRUE(testsupport::waitUntil([&] { return t->pluginsArray()[i].audioUnitPointerSet; }));
    }
    endEvent();
    for (int round = 0; round < 3; ++round) exportTo(0, QStringLiteral("after-%1.m4a").arg(round));
}

// A file whose import ends while an export sets out joins the track list,
// not the export: the export ends with the tracks it began with, and the
// player then holds both.
TEST_F(MixExportTest, AnImportThatLandsAsTheExportBeginsIsLeftOutOfIt) {
    append(writeClicks("first.wav", 1.0, {0.3}));
    waitForReadyItem();
    const QString late = writeClicks("late.wav", 1.0, {0.6});
    const std::shared_ptr<Asset> asset = Asset::load(late);
    ASSERT_TRUE(asset);
    choose(2, 0);
    const QString path = testsupport::tempDir() + QStringLiteral("/mix.wav");
    c->saveAudioToURL(QUrl::fromLocalFile(path));
    // The import's opened file is taken up before the export's next step.
    QString why;
    ASSERT_TRUE(c->addAudioFileWithAsset(QUrl::fromLocalFile(late), asset, &why)) << why.toStdString();
    ASSERT_TRUE(waitForEnd());
    EXPECT_TRUE(c->exporting.lastExportSucceeded);
    pressOk();
    const DecodedFile d = decode(path);
    EXPECT_NEAR(peakNear(d, 0.3, 0.005), 0.3, 0.001);
    EXPECT_LT(peakLevel(d, 0.5, 0.7), 0.01) << "the late track is not in the export";

    ASSERT_TRUE(testsupport::waitUntil([&] { return c->imports.idle(); }));
    endEvent();
    waitForReadyItem();
    EXPECT_EQ(tracks().size(), 2u);
    EXPECT_EQ(c->currentComposition->trackCount(), 2);
}
