// The tap state of a track saved before an offline render of it drives the
// tap, and written back afterwards so that playback carries on from it.

#include "engine/MusicFilter.h"

#include "platform/media/AudioMix.h"
#include "platform/media/ProcessingTap.h"

#include <QFile>
#include <QFileInfo>

namespace {

// The eighteen flags in the order they are saved.
constexpr BuiltInUnit kSlider[7] = {BuiltInUnit::Pitch,    BuiltInUnit::Reverb,   BuiltInUnit::LowShelf,
                                    BuiltInUnit::BandPass, BuiltInUnit::LowPass,  BuiltInUnit::HighPass,
                                    BuiltInUnit::EQ};
constexpr BuiltInUnit kPanel[11] = {
    BuiltInUnit::NBandEQ,      BuiltInUnit::GraphicEQ, BuiltInUnit::Distortion, BuiltInUnit::AUFilter,
    BuiltInUnit::DynamicProcessor, BuiltInUnit::MultibandCompressor, BuiltInUnit::Delay,
    BuiltInUnit::PeakLimiter,  BuiltInUnit::PitchFilter, BuiltInUnit::MatrixReverb, BuiltInUnit::NewFilter0};

std::array<bool*, 18> flagFields(MusicFilterParameters& p) {
    return {&p.contextPitchEnabled,          &p.contextReverbEnabled,
            &p.contextLowShelfEnabled,       &p.contextBandPassEnabled,
            &p.contextLowPassEnabled,        &p.contextHighPassEnabled,
            &p.contextEQEnabled,             &p.contextNBandEQEnabled,
            &p.contextGraphicBandEQEnabled,  &p.contextDistortionEnabled,
            &p.contextAUFilterEnabled,       &p.contextDynamicProcessorEnabled,
            &p.contextMultibandCompressorEnabled, &p.contextDelayEnabled,
            &p.contextPeakLimiterEnabled,    &p.contextPitchFilterEnabled,
            &p.contextMatriRFilterEnabled,   &p.contextNewFilter0Enabled};
}

BuiltInUnit flagUnit(int i) { return i < 7 ? kSlider[i] : kPanel[i - 7]; }

}  // namespace

void MusicFilter::copyFilterParameters() {
    filterParameters = std::make_unique<MusicFilterParameters>();
    MusicFilterParameters& p = *filterParameters;
    p.currentTime = currentTime();
    p.contextSampleCount = 0.0;
    p.audioScaleFactor = audioScaleFactor;
    p.temporaryAssetURL.clear();
    p.temporaryTrackID = -1;
    const std::shared_ptr<ProcessingTap> tap = mixInputTap();
    if (TrackTapContext* c = contextOfTap(tap.get())) {
        p.contextSampleCount = c->contextSampleCount.load();
        p.contextTrackDurationRatio = c->contextTrackDurationRatio.load();
        p.contextTrackStartTime = c->contextTrackStartTime.load();
        p.contextTrackEndTime = c->contextTrackEndTime.load();
        p.contextFadeInDuration = c->contextFadeInDuration.load();
        p.contextFadeOutDuration = c->contextFadeOutDuration.load();
        p.contextTrackChannelMix = c->contextTrackChannelMix.load();
        auto fields = flagFields(p);
        for (int i = 0; i < 18; ++i) *fields[i] = c->flag(flagUnit(i)).load() != 0;
        c->contextSampleCount.store(0.0);
        resetAudioUnitsForTapProcessor(tap.get());
    }
}

void MusicFilter::restoreFilterParameters() {
    if (!filterParameters) return;
    MusicFilterParameters& p = *filterParameters;
    setCurrentTime(p.currentTime);
    audioScaleFactor = p.audioScaleFactor;
    const std::shared_ptr<ProcessingTap> tap = mixInputTap();
    if (TrackTapContext* c = contextOfTap(tap.get())) {
        c->contextSampleCount.store(p.contextSampleCount);
        c->audioScaleFactor.store(p.audioScaleFactor);
        c->contextTrackDurationRatio.store(p.contextTrackDurationRatio);
        c->contextTrackStartTime.store(p.contextTrackStartTime);
        c->contextTrackEndTime.store(p.contextTrackEndTime);
        c->contextFadeInDuration.store(p.contextFadeInDuration);
        c->contextFadeOutDuration.store(p.contextFadeOutDuration);
        c->contextTrackChannelMix.store(p.contextTrackChannelMix);
        auto fields = flagFields(p);
        for (int i = 0; i < 18; ++i) c->setFlag(flagUnit(i), *fields[i] != 0);
        resetAudioUnitsForTapProcessor(tap.get());
    }
    if (!p.temporaryAssetURL.isEmpty()) {
        const QFileInfo info(p.temporaryAssetURL);
        if (info.exists() && info.isFile()) QFile::remove(p.temporaryAssetURL);
    }
    filterParameters.reset();
}
