#include "engine/MusicFilter.h"

#include "platform/media/Asset.h"
#include "platform/media/AssetTrack.h"
#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"
#include "platform/media/ProcessingTap.h"
#include "platform/units/Unit.h"

#include <algorithm>

namespace {

// A time scale to make media times at: the given one, or the default when
// the track has none yet.
int32_t usableScale(int32_t scale) { return scale > 0 ? scale : MediaTime::DefaultTimeScale; }

// The most copies of a track's piece that fill its span: the repeat control
// asks for at most 100; far more only comes from a damaged place or length.
constexpr int kMostPieceCopies = 10000;

}  // namespace

uint64_t MusicFilter::fftCount() const {
    auto* context = getProcessorContext();
    return context && context->spectrum ? context->spectrum->fftCount() : 0;
}

// ---------------------------------------------------------------------------
// The tap on the track's audio-mix input

void MusicFilter::applyAudioEffectAndResetAudioUnits(bool resetUnits) {
    const std::shared_ptr<AudioMixInputParameters> params = mixInput();
    if (!params) return;

    auto composition = currentComposition.lock();
    if (!composition || !composition->trackWithTrackID(trackID)) {
        // The track has left the composition: let go of its tap.
        if (auto* context = contextOfTap(params->audioTapProcessor().get())) detachTap(context);
        for (const auto& c : procRefInfoArray_)
            if (c->mode == ChainUnitInstrumentNotify && c->unit)
                c->unit->removeRenderNotify(&tracktap::chainUnitRenderCallback, c.get());
        procRefInfoArray_.clear();
        publishPluginChain();
        params->setAudioTapProcessor(nullptr);
        return;
    }

    if (const auto& tap = params->audioTapProcessor()) {
        if (auto* context = contextOfTap(tap.get())) {
            context->contextTrackStartTime.store(maxTime(animationStart(), MediaTime::zero()).seconds());
            context->contextTrackEndTime.store(animationEnd().seconds());
        }
        if (resetUnits) resetAudioUnitsForTapProcessor(tap.get());
        return;
    }

    ProcessingTapCallbacks callbacks;
    callbacks.version = 0;
    callbacks.clientInfo = this;
    callbacks.init = &tracktap::tapInit;
    callbacks.prepare = &tracktap::tapPrepare;
    callbacks.process = &tracktap::tapProcess;
    callbacks.unprepare = &tracktap::tapUnprepare;
    callbacks.finalize = &tracktap::tapFinalize;
    callbacks.reformat = &tracktap::tapReformat;
    callbacks.takeUpLatency = &tracktap::tapTakeUpLatency;
    auto tap = ProcessingTap::create(callbacks, ProcessingTapCreationFlagPreEffects);
    if (!tap) return;
    params->setAudioTapProcessor(tap);
    tap_ = tap;
    // The track's place is known now; a render before the set-up on the
    // main queue already silences what lies outside it.
    if (auto* context = contextOfTap(tap.get())) {
        context->contextTrackStartTime.store(maxTime(animationStart(), MediaTime::zero()).seconds());
        context->contextTrackEndTime.store(animationEnd().seconds());
    }
}

void MusicFilter::resetAudioUnitsForTapProcessor(ProcessingTap* tap) {
    if (auto* context = contextOfTap(tap)) {
        for (auto u : kBuiltInUnitRecordOrder)
            if (auto* unit = context->unit(u).load()) unit->reset(units::Scope::Global, 0);
    }
    for (const auto& r : pluginsArray_)
        if (r.audioUnit) r.audioUnit->reset(units::Scope::Global, 0);
}

// ---------------------------------------------------------------------------
// The track in the composition and the audio mix

void MusicFilter::addTrackToCompositionAndMixAudio(const MediaTime& compositionDuration) {
    if (!hasPlayerAsset() || !audioTrack) return;
    removeTrackFromComposition();
    auto composition = currentComposition.lock();
    auto mix = currentAudioMix.lock();
    if (!composition || !mix) return;

    const int32_t scale = usableScale(timeScale);
    const MediaTime CS = MediaTime::fromSeconds(compositionStartTime, scale);
    const MediaTime A = animationStart(), Z = animationEnd();
    if (Z < CS) return;

    // The source: the current version, else the asset's audio track.
    Composition q;
    CompositionTrack* qTrack = q.addMutableTrack(MediaType::Audio);
    qTrack->setNaturalTimeScale(scale);
    if (indexOfUpdatedTrack < tempFilterTracks.size()) {
        const CompositionTrack* s = tempFilterTracks[indexOfUpdatedTrack];
        qTrack->insertTimeRange({MediaTime::zero(), s->duration()}, *s, MediaTime::zero());
    } else {
        qTrack->insertTimeRange({MediaTime::zero(), audioTrack->timeRange().duration}, audioTrack,
                                MediaTime::zero());
    }
    const MediaTime qDuration = qTrack->duration();

    const MediaTime O = maxTime(A - CS, MediaTime::zero());
    const MediaTime E = Z - CS;

    // The time range is made to fit the source.
    const MediaTimeRange R = currentTimeRange();
    const MediaTime R0 = maxTime(R.start, MediaTime::zero());
    setCurrentTimeRange({R0, minTime(R.duration, qDuration - R0)});
    const MediaTimeRange range = currentTimeRange();

    // The piece: the range, scaled by the speed.
    const float s = value(EffectInput::Speed);
    Composition p;
    p.insertTimeRange(range, q, MediaTime::zero());
    auto pTracks = p.tracks();
    if (pTracks.empty()) return;
    CompositionTrack* pTrack = pTracks.front();
    if (pTrack->naturalTimeScale() <= 0) pTrack->setNaturalTimeScale(scale);
    const int32_t pScale = pTrack->naturalTimeScale();
    if (s != 1.0f) {
        const MediaTime pDuration = pTrack->duration();
        pTrack->scaleTimeRange({MediaTime::zero(), pDuration},
                               MediaTime::fromSeconds(pDuration.seconds() / s, pScale));
    }

    const MediaTime L = minTime(compositionDuration, E) - O;
    const MediaTime N0 = minTime(L, MediaTime::fromSeconds(range.duration.seconds() / s, pScale));

    CompositionTrack* C = composition->addMutableTrack(MediaType::Audio);
    C->setNaturalTimeScale(scale);
    // Back-to-back copies of the piece fill the span; the last is cut short.
    // A span or piece that is no number fills nothing, and no span takes
    // more than a bounded number of copies.
    if (L.isNumeric() && N0.isNumeric() && O.isNumeric()) {
        MediaTime pos = MediaTime::zero();
        MediaTime n = N0;
        for (int copies = 0; copies < kMostPieceCopies && pos < L && n > MediaTime::zero(); ++copies) {
            C->insertTimeRange({MediaTime::zero(), n}, *pTrack, O + pos);
            pos = pos + n;
            n = minTime(N0, L - pos);
        }
    }
    trackID = C->trackID();

    auto params = std::make_shared<AudioMixInputParameters>();
    params->setVolume(1.0f, MediaTime::zero());
    params->setAudioTimePitchAlgorithm(TimePitchAlgorithm::Spectral);
    params->setTrackID(trackID);
    AudioMix::InputParametersList list = mix->inputParameters();
    list.push_back(params);
    mix->setInputParameters(std::move(list));

    applyAudioEffectAndResetAudioUnits(true);
    updateAudioMixState();

    if (indexOfUpdatedTrack == kNoIndex) {
        indexOfUpdatedTrack = 0;
        tempComposition = std::make_shared<Composition>();
        CompositionTrack* v0 = tempComposition->addMutableTrack(MediaType::Audio);
        v0->setNaturalTimeScale(scale);
        v0->insertTimeRange({MediaTime::zero(), qDuration}, *qTrack, MediaTime::zero());
        tempFilterTracks.push_back(v0);
    }
}

void MusicFilter::removeTrackFromComposition() {
    if (trackID == -1) return;
    auto composition = currentComposition.lock();
    auto mix = currentAudioMix.lock();
    if (composition && composition->trackCount() > 0) {
        for (CompositionTrack* t : composition->tracks()) {
            if (t->trackID() != trackID) continue;
            composition->removeTrack(t);
            if (!mix) continue;
            AudioMix::InputParametersList kept;
            for (const auto& p : mix->inputParameters()) {
                if (p->trackID() != trackID) {
                    kept.push_back(p);
                    continue;
                }
                if (const auto& tap = p->audioTapProcessor()) {
                    auto* context = contextOfTap(tap.get());
                    // No render reaches the track from here on, and none
                    // holds what is freed below.
                    if (context) detachTap(context);
                    releasePluginUnitsAndContexts();
                    if (context) context->spectrum.reset();
                    if (auto* controller = audioController()) controller->eqSpectrum.clear();
                }
                p->setAudioTapProcessor(nullptr);
            }
            mix->setInputParameters(std::move(kept));
        }
    }
    trackID = -1;
}

void MusicFilter::mixAudioToVolume(double volume) {
    if (!hasPlayerAsset()) return;
    auto composition = currentComposition.lock();
    auto mix = currentAudioMix.lock();
    if (!composition || !mix) return;
    const CompositionTrack* C = composition->trackWithTrackID(trackID);
    if (!C) return;
    const float FI = value(EffectInput::FadeIn), FO = value(EffectInput::FadeOut);
    const int32_t scale = usableScale(C->naturalTimeScale());
    if (TrackTapContext* K = getProcessorContext()) {
        double fadeIn = 0, fadeOut = 0;
        if (FI != 0 || FO != 0) {
            const double passes = currentTimeRange().duration.seconds() /
                                  value(EffectInput::Speed) * value(EffectInput::Repeat);
            const MediaTime L =
                MediaTime::fromSeconds(std::min(C->duration().seconds(), passes), scale);
            MediaTime F = MediaTime::zero();
            if (FI != 0) {
                F = MediaTime::fromSeconds(FI / 100.0 * L.seconds(), scale);
                fadeIn = F.seconds();
            }
            if (FO != 0) {
                const MediaTime G = MediaTime::fromSeconds(FO / 100.0 * L.seconds(), scale);
                fadeOut = minTime(G, L - F).seconds();
            }
        }
        // A zero input clears its fade, so no stale length is left behind.
        K->contextFadeInDuration.store(fadeIn);
        K->contextFadeOutDuration.store(fadeOut);
        K->contextVolume.store(volume);
    }
}
