#include "Sources.h"

#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using testsupport::peakFrequency;
using testsupport::rms;
using testsupport::sine;
using testsupport::writeWav;

std::shared_ptr<Composition> twoTracks(const std::vector<float>& a, const std::vector<float>& b, int rate) {
    auto ta = gen::track({a}, rate, 1);
    auto tb = gen::track({b}, rate, 2);
    auto comp = std::make_shared<Composition>();
    comp->addMutableTrack(MediaType::Audio)->insertTimeRange(ta->timeRange(), ta, MediaTime::zero());
    comp->addMutableTrack(MediaType::Audio)->insertTimeRange(tb->timeRange(), tb, MediaTime(1, 2));
    return comp;
}

std::shared_ptr<AssetReaderAudioMixOutput> mixOutput(const Composition& comp, double rate,
                                                     std::shared_ptr<AudioMix> mix = nullptr) {
    std::vector<int32_t> ids;
    for (auto* t : comp.tracksWithMediaType(MediaType::Audio)) ids.push_back(t->trackID());
    auto out = std::make_shared<AssetReaderAudioMixOutput>(ids, AssetReaderAudioMixOutput::Settings{rate, 2});
    out->setAudioMix(std::move(mix));
    return out;
}

TEST(AssetReader, RendersTheMixAtTheChosenRate) {
    const int rate = 48000;
    auto comp = twoTracks(sine(1000, rate, rate), sine(300, rate, rate), rate);  // ends at 1.5 s
    auto mix = std::make_shared<AudioMix>();
    auto p = std::make_shared<AudioMixInputParameters>();
    p->setTrackID(2);
    p->setVolume(0.0f, MediaTime::zero());
    mix->setInputParameters({p});
    auto reader = AssetReader::create(comp);
    auto output = mixOutput(*comp, 44100, mix);
    ASSERT_TRUE(reader->canAddOutput(output));
    reader->addOutput(output);
    EXPECT_EQ(reader->status(), AssetReader::Status::Unknown);
    ASSERT_TRUE(reader->startReading());
    EXPECT_EQ(reader->status(), AssetReader::Status::Reading);
    std::vector<float> left;
    MediaTime expected = MediaTime::zero();
    while (auto buffer = output->copyNextSampleBuffer()) {
        EXPECT_EQ(buffer->presentationTime, expected);
        expected = expected + buffer->duration();
        left.insert(left.end(), buffer->left.begin(), buffer->left.end());
    }
    EXPECT_EQ(reader->status(), AssetReader::Status::Completed);
    ASSERT_EQ(left.size(), 66150u);  // 1.5 s at 44.1 kHz
    // Track 2 is muted by the mix: what is left is track 1's tone, then silence.
    EXPECT_NEAR(peakFrequency(left.data() + 2000, 32768, 44100), 1000, 2.0);
    EXPECT_LT(rms(left.data() + 44200, 20000), 1e-4);
    EXPECT_EQ(output->copyNextSampleBuffer(), nullptr);
}

TEST(AssetReader, ReadsOneTrackOfSeveral) {
    const int rate = 8000;
    auto a = gen::ramp(rate, 0.0f);
    auto b = gen::ramp(rate, 1.0f);
    auto comp = twoTracks(a, b, rate);
    auto reader = AssetReader::create(comp);
    auto output = std::make_shared<AssetReaderAudioMixOutput>(std::vector<int32_t>{2},
                                                              AssetReaderAudioMixOutput::Settings{double(rate), 2});
    reader->addOutput(output);
    ASSERT_TRUE(reader->startReading());
    std::vector<float> l(12000), r(12000);
    int64_t total = 0;
    while (int64_t n = output->readNext(l.data() + total, r.data() + total, 1000)) total += n;
    ASSERT_EQ(total, 12000);  // the whole composition, 1.5 s
    for (int i = 0; i < 4000; ++i) ASSERT_EQ(l[i], 0.0f);
    for (int i = 0; i < rate; ++i) ASSERT_EQ(l[4000 + i], b[i]);
}

TEST(AssetReader, CancelStopsReading) {
    const int rate = 8000;
    auto comp = twoTracks(sine(440, rate, 10 * rate), sine(300, rate, rate), rate);
    auto reader = AssetReader::create(comp);
    auto output = mixOutput(*comp, rate);
    reader->addOutput(output);
    ASSERT_TRUE(reader->startReading());
    ASSERT_NE(output->copyNextSampleBuffer(), nullptr);
    reader->cancelReading();
    EXPECT_EQ(reader->status(), AssetReader::Status::Cancelled);
    EXPECT_EQ(output->copyNextSampleBuffer(), nullptr);
}

TEST(AssetReader, RefusesWhatItCannotRead) {
    auto comp = twoTracks(gen::ramp(100), gen::ramp(100), 1000);
    EXPECT_EQ(AssetReader::create(nullptr), nullptr);
    auto reader = AssetReader::create(comp);
    using S = AssetReaderAudioMixOutput::Settings;
    EXPECT_FALSE(reader->canAddOutput(std::make_shared<AssetReaderAudioMixOutput>(std::vector<int32_t>{9}, S{})));
    EXPECT_FALSE(reader->canAddOutput(std::make_shared<AssetReaderAudioMixOutput>(std::vector<int32_t>{1}, S{44100, 1})));
    EXPECT_FALSE(reader->canAddOutput(std::make_shared<AssetReaderAudioMixOutput>(std::vector<int32_t>{1}, S{0, 2})));
    EXPECT_FALSE(reader->startReading()) << "no output";
    EXPECT_EQ(reader->status(), AssetReader::Status::Failed);
    EXPECT_FALSE(reader->errorString().isEmpty());

    auto bad = testsupport::oneTrackComposition(testsupport::undecodableTrack(QStringLiteral("cannot decode")));
    auto failing = AssetReader::create(bad);
    auto output = mixOutput(*bad, 44100);
    failing->addOutput(output);
    EXPECT_FALSE(failing->startReading());
    EXPECT_EQ(failing->status(), AssetReader::Status::Failed);
    EXPECT_EQ(failing->errorString(), "cannot decode");
    EXPECT_EQ(output->copyNextSampleBuffer(), nullptr);
}

TEST(AssetReader, ReadsARealFileBackExactly) {
    const int rate = 48000;
    auto left = sine(440, rate, rate);
    auto right = gen::ramp(rate);
    const QString path = testsupport::tempDir() + "/tone.wav";
    ASSERT_TRUE(writeWav(path, {left, right}, rate));

    QString error;
    auto asset = Asset::load(path, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    auto track = asset->tracksWithMediaType(MediaType::Audio).at(0);
    auto comp = std::make_shared<Composition>();
    comp->addMutableTrack(MediaType::Audio)->insertTimeRange(track->timeRange(), track, MediaTime(1, 4));
    auto reader = AssetReader::create(comp);
    auto output = mixOutput(*comp, rate);
    reader->addOutput(output);
    ASSERT_TRUE(reader->startReading()) << reader->errorString().toStdString();
    std::vector<float> l, r;
    while (auto b = output->copyNextSampleBuffer()) {
        l.insert(l.end(), b->left.begin(), b->left.end());
        r.insert(r.end(), b->right.begin(), b->right.end());
    }
    ASSERT_EQ(l.size(), size_t(rate + rate / 4));
    for (int i = 0; i < rate; ++i) {
        ASSERT_EQ(l[rate / 4 + i], left[i]) << i;
        ASSERT_EQ(r[rate / 4 + i], right[i]) << i;
    }
}

}  // namespace
