#include "EngineTestSupport.h"

#include "platform/media/Renderer.h"
#include "support/Signals.h"

#include <cmath>
#include <stdexcept>

namespace enginetest {

QString writeTone(const QString& name, double seconds, double frequency, float amplitude, int rate) {
    const QString path = testsupport::writeTone(name, seconds, frequency, {.rate = rate, .amplitude = amplitude});
    if (path.isEmpty()) throw std::runtime_error("cannot write test file");
    return path;
}

std::shared_ptr<Asset> loadAsset(const QString& path) {
    QString error;
    auto asset = Asset::load(path, &error);
    if (!asset) throw std::runtime_error(error.toStdString());
    return asset;
}

std::shared_ptr<MusicFilter> Session::makeTrack(const std::shared_ptr<Asset>& asset, double start) {
    auto track = MusicFilter::filterWithName("MusicFilter");
    track->setDefaults();
    track->trackID = -1;
    track->volumeMix = -1.0;
    track->audioScaleFactor = 1;
    track->playerAsset = asset;
    track->audioTrack = asset->tracksWithMediaType(MediaType::Audio).front();
    track->timeScale = track->audioTrack->info().naturalTimeScale;
    track->audioTrackSampleRate = track->audioTrack->info().sampleRate;
    track->setCurrentTimeRange(track->audioTrack->timeRange());
    track->setAnimationStart(MediaTime::fromSeconds(start, track->timeScale));
    track->currentComposition = composition;
    track->currentAudioMix = mix;
    track->setAudioController(&controller);
    return track;
}

void Session::insert(MusicFilter& track, double compositionSeconds) {
    const double speed = track.value(EffectInput::Speed), repeat = track.value(EffectInput::Repeat);
    const double length = track.currentTimeRange().duration.seconds() / speed * repeat;
    track.setAnimationEnd(track.animationStart() + MediaTime::fromSeconds(length, track.timeScale));
    track.compositionStartTime = 0;
    track.volumeMix = -1.0;
    track.addTrackToCompositionAndMixAudio(MediaTime::fromSeconds(compositionSeconds, 44100));
}

TapDriver::TapDriver(std::shared_ptr<ProcessingTap> t, int64_t maxFrames, double rate)
    : tap(std::move(t)), maxFrames(maxFrames), rate(rate), left(size_t(maxFrames)), right(size_t(maxFrames)) {
    tap->attach(maxFrames, units::StreamFormat::canonical(rate, 2));
}

TapDriver::~TapDriver() { tap->detach(); }

void TapDriver::withoutLatency() {
    TrackTapContext* c = context();
    for (auto& standIn : c->standIns) standIn.frames = 0;
    c->latencyFrames.store(0);
    tap->setLatency(0);
}

void TapDriver::run(int64_t at, int64_t frames, float sourceValue) {
    static thread_local std::vector<float> srcL, srcR;
    srcL.assign(size_t(maxFrames), sourceValue);
    srcR.assign(size_t(maxFrames), sourceValue);
    std::fill(left.begin(), left.end(), 0.5f);  // whatever the renderer had there
    std::fill(right.begin(), right.end(), 0.5f);
    const float* src[2] = {srcL.data(), srcR.data()};
    ProcessingTap::SliceSource source;
    source.tap = tap.get();
    source.channels = src;
    source.channelCount = 2;
    source.frames = frames;
    const int32_t scale = int32_t(rate);
    source.range = MediaTimeRange(MediaTime(at, scale), MediaTime(frames, scale));
    units::BufferList list;
    list.numberBuffers = 2;
    list.buffers[0] = {1, uint32_t(frames * sizeof(float)), left.data()};
    list.buffers[1] = {1, uint32_t(frames * sizeof(float)), right.data()};
    framesOut = -1;
    uint32_t flagsOut = 0;
    tap->process(source, frames, 0, &list, &framesOut, &flagsOut);
}

ProbeUnit::ProbeUnit(bool instrument, float add, std::vector<char>* log, char name)
    : units::Unit({instrument ? units::componenttype::MusicDevice : units::componenttype::Effect,
                   units::fourCC("prob"), units::fourCC("Test"), 0, 0},
                  QStringLiteral("Probe"), instrument ? 0 : 1, 1),
      instrument_(instrument), add_(add), log_(log), name_(name) {}

units::Status ProbeUnit::doRender(units::RenderActionFlags& flags, const units::TimeStamp& ts,
                                  uint32_t, uint32_t frames, units::BufferList& io) {
    if (!instrument_)
        if (auto s = pullInput(flags, ts, 0, frames, io); !units::ok(s)) return s;
    for (uint32_t c = 0; c < io.numberBuffers; ++c)
        for (uint32_t i = 0; i < frames; ++i)
            io.channel(c)[i] = instrument_ ? add_ : io.channel(c)[i] + add_;
    if (log_ && log_->size() < log_->capacity()) log_->push_back(name_);
    return units::Status::Ok;
}

void hostPlugin(MusicFilter& track, std::unique_ptr<units::Unit> unit, uint32_t mode, uint32_t type,
                int64_t maxFrames, double rate) {
    auto* context = track.getProcessorContext();
    auto* rc = track.addChainUnitRenderContext(std::make_unique<ChainUnitRenderContext>());
    const auto componentType = unit->componentDescription().componentType;
    units::Unit* u = tracktap::configureChainUnit(context ? context->tap : nullptr, std::move(unit),
                                                  maxFrames, units::StreamFormat::canonical(rate, 2),
                                                  rc, componentType);
    if (!u) throw std::runtime_error("unit not configured");
    if (rc->mode != mode) {
        if (rc->mode == ChainUnitInstrumentNotify)
            u->removeRenderNotify(&tracktap::chainUnitRenderCallback, rc);
        rc->mode = mode;
        if (mode == ChainUnitInstrumentNotify) u->addRenderNotify(&tracktap::chainUnitRenderCallback, rc);
    }
    auto records = track.pluginsArray();
    records.append(PluginRecord{u, QStringLiteral("Probe %1").arg(type), true, type, true});
    track.setPluginsArray(records);
}

Rendered renderOffline(const std::shared_ptr<Composition>& composition,
                       const std::shared_ptr<AudioMix>& mix, double rate, int slice) {
    QString error;
    if (!Renderer::loadSources(*composition, &error)) throw std::runtime_error(error.toStdString());
    Renderer r(composition, mix, rate, Renderer::Mode::Offline);
    if (!r.prepare(&error)) throw std::runtime_error(error.toStdString());
    Rendered out;
    out.left.resize(size_t(r.length()));
    out.right.resize(size_t(r.length()));
    for (int64_t pos = 0; pos < r.length(); pos += slice) {
        const int n = int(std::min<int64_t>(slice, r.length() - pos));
        std::fill_n(out.left.data() + pos, n, 0.0f);
        std::fill_n(out.right.data() + pos, n, 0.0f);
        r.render(out.left.data() + pos, out.right.data() + pos, n);
    }
    return out;
}

double levelAt(const std::vector<float>& x, size_t from, size_t count, double frequency, double rate) {
    if (from >= x.size()) return testsupport::dB(0);
    const size_t n = std::min(count, x.size() - from);
    return testsupport::dB(testsupport::amplitudeAt(x.data() + from, n, frequency, rate));
}

}  // namespace enginetest
