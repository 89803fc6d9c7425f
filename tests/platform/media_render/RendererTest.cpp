#include "Sources.h"

#include "platform/core/Realtime.h"
#include "platform/media/AudioMix.h"
#include "platform/media/FFmpeg.h"
#include "platform/media/ProcessingTap.h"
#include "platform/media/Renderer.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

extern "C" {
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

MediaTime frames(int64_t n, int32_t rate) { return MediaTime(n, rate); }

struct Rendered {
    std::vector<float> left, right;
};

Rendered renderAll(Renderer& r, int64_t total, int slice = 1000) {
    Rendered out;
    out.left.resize(static_cast<size_t>(total));
    out.right.resize(static_cast<size_t>(total));
    for (int64_t p = 0; p < total; p += slice) {
        const int n = static_cast<int>(std::min<int64_t>(slice, total - p));
        r.render(out.left.data() + p, out.right.data() + p, n);
    }
    return out;
}

using testsupport::oneTrackComposition;
using testsupport::peakFrequency;
using testsupport::rms;
using testsupport::sine;

TEST(Renderer, PassesAudioBitExactAtRatioOne) {
    auto l = sine(440, 44100, 30000);
    auto r = gen::ramp(30000);
    auto comp = oneTrackComposition(gen::track({l, r}, 44100));
    Renderer renderer(comp, nullptr, 44100, Renderer::Mode::Offline, 512);
    ASSERT_TRUE(renderer.prepare());
    EXPECT_EQ(renderer.length(), 30000);
    auto out = renderAll(renderer, 30000, 333);
    EXPECT_EQ(out.left, l);
    EXPECT_EQ(out.right, r);
}

TEST(Renderer, PlaysAMonoSourceOnBothChannelsAndSilenceInGaps) {
    auto mono = gen::ramp(1000, 0.1f);
    auto src = gen::track({mono}, 8000);
    auto comp = std::make_shared<Composition>();
    comp->addMutableTrack(MediaType::Audio)->insertTimeRange(src->timeRange(), src, frames(500, 8000));
    Renderer renderer(comp, nullptr, 8000, Renderer::Mode::Offline);
    ASSERT_TRUE(renderer.prepare());
    auto out = renderAll(renderer, 1500);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(out.left[i], 0.0f) << i;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(out.left[500 + i], mono[i]) << i;
        ASSERT_EQ(out.right[500 + i], mono[i]) << i;
    }
}

TEST(Renderer, SumsTracksWithTheirVolumes) {
    auto a = sine(300, 8000, 4000);
    auto b = sine(1000, 8000, 4000, 0.3f);
    auto ta = gen::track({a}, 8000, 1);
    auto tb = gen::track({b}, 8000, 2);
    auto comp = std::make_shared<Composition>();
    comp->addMutableTrack(MediaType::Audio)->insertTimeRange(ta->timeRange(), ta, MediaTime::zero());
    comp->addMutableTrack(MediaType::Audio)->insertTimeRange(tb->timeRange(), tb, MediaTime::zero());
    auto mix = std::make_shared<AudioMix>();
    auto pa = std::make_shared<AudioMixInputParameters>();
    pa->setTrackID(1);
    pa->setVolume(0.5f, MediaTime::zero());
    auto pb = std::make_shared<AudioMixInputParameters>();
    pb->setTrackID(2);
    pb->setVolume(0.25f, MediaTime::zero());
    pb->setVolume(1.0f, frames(2500, 8000));  // a step inside a slice
    mix->setInputParameters({pa, pb});
    Renderer renderer(comp, mix, 8000, Renderer::Mode::Offline);
    ASSERT_TRUE(renderer.prepare());
    auto out = renderAll(renderer, 4000);
    for (int i = 0; i < 4000; ++i) {
        const float vb = i < 2500 ? 0.25f : 1.0f;
        ASSERT_FLOAT_EQ(out.left[i], a[i] * 0.5f + b[i] * vb) << i;
    }
}

// A track's sample that is no number adds silence to the mix, wherever it
// lies in a slice; the others add as they are, in track order.
TEST(Renderer, SumDropsSamplesThatAreNoNumber) {
    auto a = sine(300, 8000, 3000);
    auto b = gen::ramp(3000, 0.2f);
    const float inf = std::numeric_limits<float>::infinity();
    for (int i : {0, 5, 998, 1000, 1001, 2002}) a[size_t(i)] = std::numeric_limits<float>::quiet_NaN();
    a[7] = inf;
    a[1999] = -inf;
    auto comp = std::make_shared<Composition>();
    for (const auto& t : {gen::track({a}, 8000, 1), gen::track({b}, 8000, 2)})
        comp->addMutableTrack(MediaType::Audio)->insertTimeRange(t->timeRange(), t, MediaTime::zero());
    Renderer renderer(comp, nullptr, 8000, Renderer::Mode::Offline);
    ASSERT_TRUE(renderer.prepare());
    auto out = renderAll(renderer, 3000, 1001);
    for (size_t i = 0; i < 3000; ++i) {
        const float expected = std::isfinite(a[i]) ? 0.0f + a[i] + b[i] : 0.0f + b[i];
        ASSERT_EQ(out.left[i], expected) << i;
        ASSERT_EQ(out.right[i], expected) << i;
    }
}

void resamplesToTheOutputRateAtTheRightPitch() {
    const int64_t n = 48000;  // 1 s
    auto src = gen::track({sine(1000, 48000, n)}, 48000);
    Renderer renderer(oneTrackComposition(src), nullptr, 44100, Renderer::Mode::Offline);
    ASSERT_TRUE(renderer.prepare());
    EXPECT_EQ(renderer.length(), 44100);
    auto out = renderAll(renderer, 44100, 512);
    EXPECT_NEAR(peakFrequency(out.left.data() + 1000, 32768, 44100), 1000, 2.0);
    // Level kept, no dropout anywhere in the middle.
    for (int64_t p = 441; p + 441 < 44100 - 441; p += 441)
        ASSERT_NEAR(rms(out.left.data() + p, 441), 0.5 / std::sqrt(2.0), 0.02) << p;
    // The timing holds: a later start keeps the phase of the source.
    Renderer late(oneTrackComposition(src), nullptr, 44100, Renderer::Mode::Offline);
    ASSERT_TRUE(late.prepare());
    late.setPosition(22050);
    std::vector<float> l(512), r(512);
    late.render(l.data(), r.data(), 512);
    for (int i = 0; i < 512; ++i) ASSERT_NEAR(l[i], out.left[22050 + i], 0.01) << i;
}

// With the SoX resampler, and with libswresample's own engine where FFmpeg
// has no libsoxr.
TEST(Renderer, ResamplesToTheOutputRateAtTheRightPitch) {
    for (const bool soxr : {true, false}) {
        SCOPED_TRACE(soxr ? "soxr" : "without soxr");
        ffmpeg::refuseSoxrEngine(!soxr);
        SwrContext* swr = nullptr;
        const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        ASSERT_TRUE(ffmpeg::makeResampler(&swr, stereo, AV_SAMPLE_FMT_FLTP, 44100, stereo, AV_SAMPLE_FMT_FLTP, 48000));
        int64_t engine = -1;
        av_opt_get_int(swr, "resampler", 0, &engine);
        swr_free(&swr);
        EXPECT_EQ(engine, soxr ? SWR_ENGINE_SOXR : SWR_ENGINE_SWR);
        resamplesToTheOutputRateAtTheRightPitch();
        ffmpeg::refuseSoxrEngine(false);
    }
}

TEST(Renderer, ScaledSegmentKeepsPitchAndExactLength) {
    for (auto mode : {Renderer::Mode::Offline, Renderer::Mode::RealTime}) {
        SCOPED_TRACE(mode == Renderer::Mode::Offline ? "offline" : "real time");
        const int rate = 16000;
        auto src = gen::track({sine(440, rate, rate)}, rate);
        auto comp = oneTrackComposition(src);
        comp->tracks()[0]->scaleTimeRange(src->timeRange(), frames(2 * rate, rate));
        Renderer renderer(comp, nullptr, rate, mode);
        ASSERT_TRUE(renderer.prepare());
        ASSERT_EQ(renderer.length(), 2 * rate);
        auto out = renderAll(renderer, 2 * rate + 4000, 700);
        EXPECT_NEAR(peakFrequency(out.left.data() + 4000, 16384, rate), 440, 3.0);
        // Sound from the start to the end of the segment, silence after it.
        EXPECT_GT(rms(out.left.data(), 800), 0.1);
        EXPECT_GT(rms(out.left.data() + 2 * rate - 1600, 800), 0.1);
        EXPECT_LT(rms(out.left.data() + 2 * rate, 4000), 1e-6);
    }
}

TEST(Renderer, ExtremeRatiosFinish) {
    // A second at the far ends of the speeds, from a source at another rate:
    // the stretcher is sized for them as the renderer is prepared, so that
    // playing allocates nothing after the first slice.
    const int rate = 8000;
    auto src = gen::track({sine(300, 11025, 11025)}, 11025);
    for (auto mode : {Renderer::Mode::Offline, Renderer::Mode::RealTime}) {
        for (double target : {1.0 / 32, 1.0 / 20, 20.0, 32.0}) {
            SCOPED_TRACE(target);
            auto comp = oneTrackComposition(src);
            comp->tracks()[0]->scaleTimeRange(src->timeRange(), MediaTime::fromSeconds(target, rate));
            Renderer renderer(comp, nullptr, rate, mode, 256);
            ASSERT_TRUE(renderer.prepare());
            ASSERT_EQ(renderer.length(), std::llround(target * rate));
            Rendered out;
            out.left.resize(size_t(renderer.length()));
            out.right.resize(out.left.size());
            renderer.render(out.left.data(), out.right.data(), 1);
            const auto before = realtime::violationCount();
            for (int64_t p = 1; p < renderer.length(); p += 256) {
                const int n = int(std::min<int64_t>(256, renderer.length() - p));
                if (mode == Renderer::Mode::Offline) {
                    renderer.render(out.left.data() + p, out.right.data() + p, n);
                    continue;
                }
                realtime::Scope scope;
                renderer.render(out.left.data() + p, out.right.data() + p, n);
            }
            if (mode == Renderer::Mode::RealTime) EXPECT_EQ(realtime::violationCount(), before);
            EXPECT_GT(rms(out.left.data(), out.left.size()), 0.05);
        }
    }
}

TEST(Renderer, FailsWhenASourceIsNotDecoded) {
    AssetTrack::Info info;
    info.trackID = 1;
    info.naturalTimeScale = 1000;
    info.sampleRate = 1000;
    info.channelCount = 1;
    info.timeRange = MediaTimeRange(MediaTime::zero(), MediaTime(1000, 1000));
    auto broken = testsupport::undecodableTrack(QStringLiteral("unreadable"), info);
    auto comp = oneTrackComposition(broken);
    Renderer renderer(comp, nullptr, 1000, Renderer::Mode::Offline);
    QString error;
    EXPECT_FALSE(renderer.prepare(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(Renderer::loadSources(*comp, &error));
    EXPECT_EQ(error, "unreadable");
}

TEST(Renderer, RenderingAllocatesNothingInSteadyState) {
    // A plain track, a resampled one and a stretched one, in real-time mode.
    auto a = gen::track({sine(300, 44100, 441000)}, 44100, 1);
    auto b = gen::track({sine(500, 48000, 480000)}, 48000, 2);
    auto c = gen::track({sine(700, 44100, 441000)}, 44100, 3);
    auto comp = std::make_shared<Composition>();
    comp->addMutableTrack(MediaType::Audio)->insertTimeRange(a->timeRange(), a, MediaTime::zero());
    comp->addMutableTrack(MediaType::Audio)->insertTimeRange(b->timeRange(), b, MediaTime::zero());
    // Plain, stretched, plain: both boundaries fall inside the checked part.
    auto* tc = comp->addMutableTrack(MediaType::Audio);
    tc->insertTimeRange(MediaTimeRange(MediaTime::zero(), MediaTime(4, 1)), c, MediaTime::zero());
    tc->scaleTimeRange(MediaTimeRange(MediaTime(1, 1), MediaTime(1, 1)), MediaTime(2, 1));
    Renderer renderer(comp, nullptr, 44100, Renderer::Mode::RealTime, 512);
    ASSERT_TRUE(renderer.prepare());
    std::vector<float> l(512), r(512);
    renderer.render(l.data(), r.data(), 512);
    const auto before = realtime::violationCount();
    {
        realtime::Scope scope;
        // Through the end of the stretched segment and into the next one.
        for (int i = 0; i < 4 * 44100 / 512; ++i) renderer.render(l.data(), r.data(), 512);
    }
    EXPECT_EQ(realtime::violationCount(), before);
    // A jump is made outside the render; the render after it allocates nothing.
    renderer.setPosition(3 * 44100 / 2);
    {
        realtime::Scope scope;
        for (int i = 0; i < 200; ++i) renderer.render(l.data(), r.data(), 512);
    }
    EXPECT_EQ(realtime::violationCount(), before);
}

// A tap with memory: a one-pole low-pass whose state runs on from slice to
// slice, so a track rendered out of order or twice shows.
struct Smoother {
    float state[2] = {0, 0};
    float coefficient = 0.1f;
};

std::shared_ptr<ProcessingTap> smoothingTap(Smoother* smoother) {
    ProcessingTapCallbacks cb;
    cb.clientInfo = smoother;
    cb.init = [](ProcessingTap*, void* client, void** storage) { *storage = client; };
    cb.process = [](ProcessingTap* tap, int64_t n, uint32_t, units::BufferList* list, int64_t* nOut,
                    uint32_t* flagsOut) {
        auto* s = static_cast<Smoother*>(tap->storage());
        ProcessingTap::getSourceAudio(tap, n, list, flagsOut, nullptr, nOut);
        for (int c = 0; c < 2; ++c) {
            auto* x = static_cast<float*>(list->buffers[c].data);
            for (int64_t i = 0; i < *nOut; ++i) x[i] = s->state[c] += s->coefficient * (x[i] - s->state[c]);
        }
    };
    return ProcessingTap::create(cb, ProcessingTapCreationFlagPreEffects);
}

TEST(Renderer, WorkersGiveTheSameMixSampleForSample) {
    // Six tracks of every kind the render has: plain with a tap, a tap held
    // at a smaller slice (several stage slices per block), a tap at another
    // rate (resampled after it), a 48 kHz source, a stretched segment, and
    // volume steps; rendered on one thread and on four.
    const int64_t n = 3 * 44100;
    std::vector<std::shared_ptr<AssetTrack>> sources;
    for (int i = 0; i < 6; ++i) {
        const double rate = i == 3 ? 48000 : 44100;
        sources.push_back(gen::track({sine(200.0 + 150 * i, rate, int64_t(3 * rate)), gen::ramp(int64_t(3 * rate))},
                                     rate, i + 1));
    }
    auto render = [&](int workers, int slice) {
        std::vector<Smoother> smoothers(6);
        auto comp = std::make_shared<Composition>();
        auto mix = std::make_shared<AudioMix>();
        AudioMix::InputParametersList inputs;
        std::vector<std::shared_ptr<ProcessingTap>> taps;
        for (int i = 0; i < 6; ++i) {
            auto* t = comp->addMutableTrack(MediaType::Audio);
            t->insertTimeRange(sources[size_t(i)]->timeRange(), sources[size_t(i)], MediaTime::zero());
            if (i == 4) t->scaleTimeRange(MediaTimeRange(MediaTime(1, 1), MediaTime(1, 1)), MediaTime(3, 2));
            auto p = std::make_shared<AudioMixInputParameters>();
            p->setTrackID(t->trackID());
            p->setVolume(0.5f + 0.1f * i, MediaTime::zero());
            if (i == 5) p->setVolume(0.2f, frames(50000, 44100));
            if (i <= 2) {
                smoothers[size_t(i)].coefficient = 0.05f * (i + 1);
                auto tap = smoothingTap(&smoothers[size_t(i)]);
                // Held first at another slice or rate, as a player would.
                if (i == 1) tap->attach(300, units::StreamFormat::canonical(44100, 2));
                if (i == 2) tap->attach(1024, units::StreamFormat::canonical(48000, 2));
                p->setAudioTapProcessor(tap);
                taps.push_back(tap);
            }
            inputs.push_back(p);
        }
        mix->setInputParameters(std::move(inputs));
        Rendered out;
        {
            Renderer renderer(comp, mix, 44100, Renderer::Mode::Offline, 4096);
            renderer.setWorkerCount(workers);
            EXPECT_TRUE(renderer.prepare());
            EXPECT_EQ(renderer.workerCount(), workers);
            out = renderAll(renderer, n, 4096);  // a warm-up block outside the checked scope
            renderer.setPosition(0);
            for (auto& s : smoothers) s.state[0] = s.state[1] = 0;
            const auto before = realtime::violationCount();
            {
                realtime::Scope scope;
                for (int64_t at = 0; at < n; at += slice) {
                    const int k = int(std::min<int64_t>(slice, n - at));
                    renderer.render(out.left.data() + at, out.right.data() + at, k);
                }
            }
            EXPECT_EQ(realtime::violationCount(), before) << workers << " workers";
        }
        for (int i : {1, 2}) taps[size_t(i)]->detach();
        return out;
    };
    for (int slice : {4096, 1000}) {
        const Rendered one = render(0, slice);
        const Rendered four = render(3, slice);
        ASSERT_EQ(one.left.size(), size_t(n));
        EXPECT_GT(rms(one.left.data(), one.left.size()), 0.1);
        EXPECT_TRUE(one.left == four.left) << "slice " << slice;
        EXPECT_TRUE(one.right == four.right) << "slice " << slice;
    }
}

}  // namespace
