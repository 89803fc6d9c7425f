#pragma once

// What the render benchmarks share: a 10 s stereo source of a tone and
// noise (a float WAV in a temporary folder), tracks of it in one composition
// and mix, each with its tap, and the equaliser, the low-pass and the
// reverb made active in every tap.

#include "engine/MusicFilter.h"
#include "engine/TrackTapContext.h"
#include "platform/media/Asset.h"
#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"
#include "platform/units/Unit.h"

#include <sndfile.h>

#include <QDir>
#include <QTemporaryDir>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace trackchain {

constexpr double kSeconds = 10.0;
constexpr int kRate = 44100;
constexpr int kSlice = 512;

inline QString sourceFile() {
    static QTemporaryDir dir;
    static QString path = [] {
        QString p = QDir(dir.path()).filePath("bench-source.wav");
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(p.toUtf8().constData(), SFM_WRITE, &info);
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> noise(-0.1f, 0.1f);
        const int64_t frames = int64_t(kSeconds * kRate);
        std::vector<float> data(size_t(frames) * 2);
        for (int64_t i = 0; i < frames; ++i) {
            float v = 0.4f * float(std::sin(2 * M_PI * 440 * i / kRate)) + noise(rng);
            data[2 * i] = v;
            data[2 * i + 1] = 0.8f * v;
        }
        sf_writef_float(f, data.data(), frames);
        sf_close(f);
        return p;
    }();
    return path;
}

struct Mix {
    std::shared_ptr<Composition> composition = std::make_shared<Composition>();
    std::shared_ptr<AudioMix> mix = std::make_shared<AudioMix>();
    std::vector<std::shared_ptr<MusicFilter>> tracks;
};

inline Mix makeMix(int trackCount) {
    Mix m;
    auto asset = Asset::load(sourceFile());
    for (int i = 0; i < trackCount; ++i) {
        auto t = MusicFilter::filterWithName("MusicFilter");
        t->setDefaults();
        t->trackID = -1;
        t->volumeMix = -1;
        t->playerAsset = asset;
        t->audioTrack = asset->tracksWithMediaType(MediaType::Audio).front();
        t->timeScale = t->audioTrack->info().naturalTimeScale;
        t->setCurrentTimeRange(t->audioTrack->timeRange());
        t->setAnimationStart(MediaTime::zero());
        t->setAnimationEnd(t->audioTrack->timeRange().duration);
        t->currentComposition = m.composition;
        t->currentAudioMix = m.mix;
        t->addTrackToCompositionAndMixAudio(MediaTime::fromSeconds(kSeconds, kRate));
        m.tracks.push_back(t);
    }
    return m;
}

// The equaliser (one band raised), the low-pass at 5 kHz and the reverb at
// 30 per cent, active in every track's tap.
inline int activateEffects(Mix& m) {
    int active = 0;
    for (auto& t : m.tracks) {
        auto* k = t->getProcessorContext();
        if (!k) continue;
        if (auto* eq = k->eqUnit().load()) {
            eq->setParameter(1005, 0.0f);  // band 6 (1 kHz) in use, raised 6 dB
            eq->setParameter(4005, 6.0f);
            k->contextEQEnabled().store(1);
            ++active;
        }
        if (auto* lp = k->lowPassUnit().load()) {
            lp->setParameter(0, 5000.0f);
            k->contextLowPassEnabled().store(1);
            ++active;
        }
        if (auto* rv = k->reverbUnit().load()) {
            rv->setParameter(0, 30.0f);
            k->contextReverbEnabled().store(1);
            ++active;
        }
    }
    return active;
}

}  // namespace trackchain
