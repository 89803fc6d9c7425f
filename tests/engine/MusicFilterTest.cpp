#include "EngineTestSupport.h"

#include "platform/core/NotificationCenter.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <QWidget>

using namespace enginetest;

namespace {

TEST(MusicFilter, StartingValuesAndIdentity) {
    auto a = MusicFilter::filterWithName("MusicFilter");
    auto b = MusicFilter::filterWithName("MusicFilter");
    EXPECT_NE(a->identifierOfFilter, b->identifierOfFilter);
    EXPECT_EQ(a->trackID, 0);
    EXPECT_EQ(a->indexOfUpdatedTrack, kNoIndex);
    EXPECT_EQ(a->indexOfUpdatedBitmap, kNoIndex);
    EXPECT_TRUE(a->tempFilterTracks.empty());
    EXPECT_TRUE(a->filterBitmaps.isEmpty());
    EXPECT_TRUE(a->pluginsArray().isEmpty());
    EXPECT_EQ(a->fftCount(), 0u);
    EXPECT_EQ(a->trackColor(), QColor::fromRgbF(1.0f, 0.73f, 0.15f, 1.0f));
    EXPECT_TRUE(a->outputImage().isNull());

    // An identifier is never handed out again, even after its track is gone.
    const QString old = a->identifierOfFilter;
    a.reset();
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(MusicFilter::filterWithName("MusicFilter")->identifierOfFilter, old);
}

TEST(MusicFilter, DefaultsByKey) {
    auto f = MusicFilter::filterWithName("MusicFilter");
    f->setDefaults();
    EXPECT_EQ(f->valueForKey("inputAudioMix").toFloat(), 1.0f);
    EXPECT_EQ(f->valueForKey("inputPitch").toFloat(), 1.0f);
    EXPECT_EQ(f->valueForKey("inputRepeat").toFloat(), 1.0f);
    EXPECT_EQ(f->customAttributes().value("inputAudioMix").toMap().value("CIAttributeDefault").toFloat(), 0.5f);
    EXPECT_TRUE(f->setValueForKey("inputSpeed", 2));
    EXPECT_EQ(f->value(EffectInput::Speed), 2.0f);
    EXPECT_FALSE(f->setValueForKey("inputNothing", 2));
    EXPECT_FALSE(f->setValueForKey("inputSpeed", QStringLiteral("fast")));
    EXPECT_FALSE(f->valueForKey("inputNothing").isValid());
    // setDefaults touches neither the last applied values nor anything else.
    f->volumeMix = -1;
    f->setDefaults();
    EXPECT_EQ(f->volumeMix, -1);
    EXPECT_EQ(f->value(EffectInput::Speed), 1.0f);
}

TEST(MusicFilter, ObservesOnlyItsOwnThumbnail) {
    QWidget mine, other;
    Session s;
    auto asset = loadAsset(testsupport::writeTone("obs.wav", 1, 440));
    auto f = s.makeTrack(asset);
    f->imageView = &mine;
    f->setupObserver();
    s.insert(*f, 10);
    ASSERT_NE(f->trackID, -1);
    NotificationCenter::defaultCenter().post("clearAllVideoAssets", &other);
    EXPECT_NE(f->trackID, -1);
    NotificationCenter::defaultCenter().post("clearAllVideoAssets", &mine);
    EXPECT_EQ(f->trackID, -1);
    EXPECT_FALSE(f->hasPlayerAsset());
    EXPECT_EQ(s.composition->trackCount(), 0);
    EXPECT_TRUE(s.mix->inputParameters().empty());
    f.reset();  // its observers go with it
    NotificationCenter::defaultCenter().post("clearAllVideoAssets", &mine);
}

TEST(MusicFilter, TeardownOfATrackNeverInsertedChangesNothing) {
    Session s;
    auto asset = loadAsset(testsupport::writeTone("keep.wav", 1, 440));
    auto inserted = s.makeTrack(asset);
    s.insert(*inserted, 10);
    {
        auto f = s.makeTrack(asset);
        EXPECT_EQ(f->trackID, -1);
    }
    EXPECT_EQ(s.composition->trackCount(), 1);
    EXPECT_EQ(s.mix->inputParameters().size(), 1u);
}

TEST(MusicFilter, UnitLookupsWithoutATap) {
    auto f = MusicFilter::filterWithName("MusicFilter");
    f->trackID = -1;
    f->listenerParameters = {{0, 0, 1, 0.5f}, {5, 0, 2, 0.1f}};
    EXPECT_EQ(f->getProcessorContext(), nullptr);
    for (uint64_t type : {0, 7, 13, 99}) {
        EXPECT_FALSE(f->getAudioUnitEnabledForType(type));
        EXPECT_EQ(f->getAudioUnitForType(type), nullptr);
    }
    EXPECT_EQ(f->getTypeForAudioUnit(nullptr), kNoIndex);
    f->updateNBandEQEnabled(true);
    EXPECT_FALSE(f->getNBandEQEnabled());
    EXPECT_EQ(f->listenerParameters[0].enabled, 1);  // the snapshot follows the setter
    EXPECT_EQ(f->listenerParameters[1].enabled, 0);
}

TEST(MusicFilter, EnablingPluginsNeedsAUnit) {
    auto f = MusicFilter::filterWithName("MusicFilter");
    auto* unitA = reinterpret_cast<units::Unit*>(0x1000);  // never dereferenced
    f->setPluginsArray({{nullptr, "No unit", false, 100, false},
                        {unitA, "Has unit", false, 200, true}});
    f->listenerParameters = {{200, 0, 0, 0}, {100, 1, 0, 0}};
    f->updateAudioUnitsEnabled(true);
    EXPECT_FALSE(f->pluginsArray()[0].audioUnitEnabled);
    EXPECT_TRUE(f->pluginsArray()[1].audioUnitEnabled);
    EXPECT_EQ(f->listenerParameters[0].enabled, 1);
    EXPECT_EQ(f->listenerParameters[1].enabled, 0);
    f->updateAudioUnitPluginEnabled(false, 200);
    EXPECT_FALSE(f->pluginsArray()[1].audioUnitEnabled);
    EXPECT_EQ(f->pluginsArray()[1].audioUnit, unitA);
    f->setPluginsArray({});  // the fake unit must not be disposed of
}

}  // namespace
