#include "Sources.h"

#include "platform/media/AudioMix.h"
#include "platform/media/Renderer.h"

#include <gtest/gtest.h>

namespace {

using testsupport::peakFrequency;
using testsupport::rms;
using testsupport::sine;

// What a tap saw, kept in its storage.
struct Seen {
    int inits = 0, prepares = 0, unprepares = 0, processes = 0;
    int64_t maxFrames = 0;
    units::StreamFormat format;
    std::vector<float> left;           // source audio fetched in process
    std::vector<MediaTimeRange> ranges;
    std::vector<uint32_t> flags;
    int status = 0;
    float gain = 1.0f;
};
int finalized = 0;

ProcessingTapCallbacks recordingCallbacks(Seen* seen) {
    ProcessingTapCallbacks cb;
    cb.clientInfo = seen;
    cb.init = [](ProcessingTap*, void* client, void** storage) {
        *storage = client;
        static_cast<Seen*>(client)->inits++;
    };
    cb.finalize = [](ProcessingTap*) { finalized++; };
    cb.prepare = [](ProcessingTap* tap, int64_t maxFrames, const units::StreamFormat& format) {
        auto* s = static_cast<Seen*>(tap->storage());
        s->prepares++;
        s->maxFrames = maxFrames;
        s->format = format;
    };
    cb.unprepare = [](ProcessingTap* tap) { static_cast<Seen*>(tap->storage())->unprepares++; };
    cb.process = [](ProcessingTap* tap, int64_t n, uint32_t, units::BufferList* list, int64_t* nOut,
                    uint32_t* flagsOut) {
        auto* s = static_cast<Seen*>(tap->storage());
        s->processes++;
        MediaTimeRange range;
        s->status = ProcessingTap::getSourceAudio(tap, n, list, flagsOut, &range, nOut);
        s->ranges.push_back(range);
        s->flags.push_back(*flagsOut);
        auto* l = static_cast<float*>(list->buffers[0].data);
        auto* r = static_cast<float*>(list->buffers[1].data);
        s->left.insert(s->left.end(), l, l + *nOut);
        for (int64_t i = 0; i < *nOut; ++i) {
            l[i] *= s->gain;
            r[i] *= s->gain;
        }
    };
    return cb;
}

TEST(ProcessingTap, GetSourceAudioGivesTheTrackAndTheSliceRange) {
    const int rate = 8000;
    auto source = gen::ramp(2 * rate, 0.001f);
    auto asset = gen::track({source}, rate);
    auto comp = std::make_shared<Composition>();
    auto* track = comp->addMutableTrack(MediaType::Audio);
    track->insertTimeRange(asset->timeRange(), asset, MediaTime(10, 1));  // placed at 10 s

    Seen seen;
    seen.gain = 0.5f;
    auto tap = ProcessingTap::create(recordingCallbacks(&seen), ProcessingTapCreationFlagPreEffects);
    ASSERT_TRUE(tap);
    EXPECT_EQ(seen.inits, 1);
    auto params = std::make_shared<AudioMixInputParameters>();
    params->setTrackID(track->trackID());
    params->setAudioTapProcessor(tap);
    auto mix = std::make_shared<AudioMix>();
    mix->setInputParameters({params});

    Renderer renderer(comp, mix, rate, Renderer::Mode::Offline, 1000);
    ASSERT_TRUE(renderer.prepare());
    EXPECT_EQ(seen.prepares, 1);
    EXPECT_EQ(seen.maxFrames, 1000);
    EXPECT_TRUE(seen.format.isCanonical());
    EXPECT_FALSE(seen.format.interleaved);
    EXPECT_EQ(seen.format.sampleRate, rate);
    EXPECT_EQ(seen.format.channelCount, 2u);

    renderer.setPosition(10 * rate - 2000);
    std::vector<float> l(1000), r(1000);
    for (int i = 0; i < 20; ++i) renderer.render(l.data(), r.data(), 1000);
    ASSERT_EQ(seen.processes, 20);
    EXPECT_EQ(seen.status, ProcessingTap::NoError);
    // Slice ranges in composition time, back to back.
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(seen.ranges[i], MediaTimeRange(MediaTime(10 * rate - 2000 + i * 1000, rate),
                                                 MediaTime(1000, rate)));
    EXPECT_TRUE(seen.flags[0] & ProcessingTapFlagStartOfStream);
    EXPECT_FALSE(seen.flags[1] & ProcessingTapFlagStartOfStream);
    EXPECT_TRUE(seen.flags[17] & ProcessingTapFlagEndOfStream);  // the slice that ends at 12 s
    // Silence before 10 s, then the source from its first frame.
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(seen.left[i], 0.0f);
    for (int i = 0; i < 2 * rate; ++i) ASSERT_EQ(seen.left[2000 + i], source[i]) << i;
    // What the tap wrote is what the mix plays.
    EXPECT_FLOAT_EQ(l[999], 0.0f);
    renderer.setPosition(10 * rate + 5);
    renderer.render(l.data(), r.data(), 1);
    EXPECT_FLOAT_EQ(l[0], source[5] * 0.5f);

    // Outside process there is no slice to give.
    std::vector<float> buf(16);
    units::BufferList list;
    list.numberBuffers = 1;
    list.buffers[0] = {1, 64, buf.data()};
    EXPECT_EQ(ProcessingTap::getSourceAudio(tap.get(), 16, &list, nullptr, nullptr, nullptr),
              ProcessingTap::ErrorNotInProcess);
}

TEST(ProcessingTap, KeepsTheFormatItWasPreparedWith) {
    // The player prepared the tap at 48 kHz in slices of 256; an export then
    // renders the same track at 44.1 kHz in blocks of 4096.
    const int rate = 44100;
    auto asset = gen::track({sine(1000, rate, rate)}, rate);
    auto comp = std::make_shared<Composition>();
    auto* track = comp->addMutableTrack(MediaType::Audio);
    track->insertTimeRange(asset->timeRange(), asset, MediaTime::zero());
    Seen seen;
    auto tap = ProcessingTap::create(recordingCallbacks(&seen), ProcessingTapCreationFlagPreEffects);
    auto params = std::make_shared<AudioMixInputParameters>();
    params->setTrackID(track->trackID());
    params->setAudioTapProcessor(tap);
    auto mix = std::make_shared<AudioMix>();
    mix->setInputParameters({params});

    Renderer player(comp, mix, 48000, Renderer::Mode::RealTime, 256);
    ASSERT_TRUE(player.prepare());
    Renderer reader(comp->copy(), mix->copy(), rate, Renderer::Mode::Offline, 4096);
    ASSERT_TRUE(reader.prepare());
    EXPECT_EQ(seen.prepares, 1);
    EXPECT_EQ(seen.format.sampleRate, 48000);

    std::vector<float> l(rate), r(rate);
    for (int p = 0; p < rate; p += 4096) {
        const int n = std::min(4096, rate - p);
        reader.render(l.data() + p, r.data() + p, n);
    }
    ASSERT_FALSE(seen.ranges.empty());
    MediaTime expected = MediaTime::zero();
    // The slices from the reader's start on (the player's start ran a lead-in too).
    std::vector<MediaTimeRange> ranges;
    for (const auto& range : seen.ranges)
        if (range.start >= MediaTime::zero()) ranges.push_back(range);
    for (const auto& range : ranges) {
        EXPECT_LE(range.duration, MediaTime(256, 48000));
        EXPECT_EQ(range.start.timeScale, 48000);
        EXPECT_EQ(range.start, expected);
        expected = range.end();
    }
    // The tap heard the tone at its own rate; the mix comes out at the reader's.
    EXPECT_NEAR(peakFrequency(seen.left.data() + 2048, 32768, 48000), 1000, 2.0);
    EXPECT_NEAR(peakFrequency(l.data() + 2048, 32768, rate), 1000, 2.0);
    EXPECT_NEAR(rms(l.data() + 1000, 40000), 0.5 / std::sqrt(2.0), 0.02);
}

TEST(ProcessingTap, LifecycleFollowsItsRenderersAndOwners) {
    Seen seen;
    finalized = 0;
    auto tap = ProcessingTap::create(recordingCallbacks(&seen), ProcessingTapCreationFlagPreEffects);
    auto asset = gen::track({gen::ramp(1000)}, 1000);
    auto comp = std::make_shared<Composition>();
    auto* track = comp->addMutableTrack(MediaType::Audio);
    track->insertTimeRange(asset->timeRange(), asset, MediaTime::zero());
    auto params = std::make_shared<AudioMixInputParameters>();
    params->setTrackID(track->trackID());
    params->setAudioTapProcessor(tap);
    auto mix = std::make_shared<AudioMix>();
    mix->setInputParameters({params});

    // Copies of a mix share the tap.
    auto mixCopy = mix->copy();
    ASSERT_EQ(mixCopy->inputParameters().size(), 1u);
    EXPECT_NE(mixCopy->inputParameters()[0], params);
    EXPECT_EQ(mixCopy->inputParameters()[0]->audioTapProcessor(), tap);
    EXPECT_EQ(mixCopy->inputParametersForTrackID(track->trackID())->audioTapProcessor(), tap);

    // A player item built on a new copy replaces the old one: the tap stays
    // prepared while either renders.
    auto first = std::make_unique<Renderer>(comp, mix, 1000, Renderer::Mode::Offline);
    ASSERT_TRUE(first->prepare());
    auto second = std::make_unique<Renderer>(comp->copy(), mixCopy, 1000, Renderer::Mode::Offline);
    ASSERT_TRUE(second->prepare());
    first.reset();
    EXPECT_EQ(seen.prepares, 1);
    EXPECT_EQ(seen.unprepares, 0);
    second.reset();
    EXPECT_EQ(seen.unprepares, 1);

    EXPECT_EQ(finalized, 0);
    tap.reset();
    params->setAudioTapProcessor(nullptr);
    EXPECT_EQ(finalized, 0) << "the copy still holds it";
    mixCopy.reset();
    EXPECT_EQ(finalized, 1);
    EXPECT_EQ(seen.inits, 1);
}

}  // namespace
