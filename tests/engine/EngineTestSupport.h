#pragma once

#include "engine/AudioControllerServices.h"
#include "engine/MusicFilter.h"
#include "platform/media/Asset.h"
#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"
#include "platform/media/ProcessingTap.h"
#include "platform/units/Unit.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace enginetest {

// testsupport::writeTone's stereo float WAV, throwing when it cannot be written.
QString writeTone(const QString& name, double seconds, double frequency, float amplitude,
                  int rate = 44100);
std::shared_ptr<Asset> loadAsset(const QString& path);

// A controller whose automation answers from a table and notes every call.
class TestController : public AudioControllerServices {
public:
    // What the unit events did to the controller.
    std::vector<QString> calls;
    std::map<FilterSlider, float> sliders;
    std::pair<float, float> sliderRange{10.0f, 22050.0f};
    void setPauseUpdateSelectionParameters(bool on) override {
        calls.push_back(QStringLiteral("pauseSelection %1").arg(on));
    }
    void setNeedsToUpdateValueImmediately(bool on) override {
        calls.push_back(QStringLiteral("immediately %1").arg(on));
    }
    std::pair<float, float> filterSliderRange(FilterSlider) const override { return sliderRange; }
    void setFilterSliderValue(FilterSlider s, float v) override { sliders[s] = v; }
    void sendFilterSliderAction(FilterSlider s) override {
        calls.push_back(QStringLiteral("action %1").arg(int(s)));
    }
    void verifyParameterRecordingForSlider(FilterSlider s) override {
        calls.push_back(QStringLiteral("record %1").arg(int(s)));
    }

    std::map<EffectInput, double> automation;  // the curves' values
    std::vector<EffectInput> asked;
    std::vector<EffectInput> listenersPassed;  // the inputs asked with the track's listener
    int selectionCalls = 0;
    std::vector<MediaTime> selectionTimes;

    void updateParametersForSelectionAtTime(const MediaTime& time, MusicFilter*, TrackTapContext*) override {
        ++selectionCalls;
        if (selectionTimes.size() < selectionTimes.capacity()) selectionTimes.push_back(time);
    }
    std::optional<double> updateRecordedParametersForFilter(MusicFilter*, const TrackAutomation*, const MediaTime&,
                                                            EffectInput input, units::Unit*,
                                                            units::EventListener* listener) override {
        if (asked.size() < asked.capacity()) asked.push_back(input);
        if (listener && listenersPassed.size() < listenersPassed.capacity()) listenersPassed.push_back(input);
        auto it = automation.find(input);
        if (it == automation.end()) return std::nullopt;
        return it->second;
    }
};

// The shared composition and mix with tracks made as the controller makes them.
struct Session {
    std::shared_ptr<Composition> composition = std::make_shared<Composition>();
    std::shared_ptr<AudioMix> mix = std::make_shared<AudioMix>();
    TestController controller;

    // A track on `asset`, starting at `start` seconds, with the default
    // inputs; not yet inserted.
    std::shared_ptr<MusicFilter> makeTrack(const std::shared_ptr<Asset>& asset, double start = 0);
    // Sets the track's end from its range, speed and repeat, and inserts it.
    void insert(MusicFilter& track, double compositionSeconds);
};

// Drives a track's tap directly: prepares it and runs slices with a given
// source and composition time.
struct TapDriver {
    std::shared_ptr<ProcessingTap> tap;
    int64_t maxFrames = 512;
    double rate = 44100;
    std::vector<float> left, right;  // the slice's output
    int64_t framesOut = 0;

    explicit TapDriver(std::shared_ptr<ProcessingTap> t, int64_t maxFrames = 512, double rate = 44100);
    ~TapDriver();
    // One slice of `frames` frames of `source` (a constant when the vectors
    // are empty) starting at frame `at` of the composition.
    void run(int64_t at, int64_t frames, float sourceValue);
    TrackTapContext* context() const { return static_cast<TrackTapContext*>(tap->storage()); }
    // Takes the track's latency away (its units with latency sit out with no
    // stand-in), so that a slice's output is that slice's own: for tests of
    // the cycle's rules rather than of the track's timing.
    void withoutLatency();
};

// A unit that notes when it has rendered, for checking the chain's order.
// An effect adds `add` to what it pulls; an instrument outputs `add`.
class ProbeUnit : public units::Unit {
public:
    ProbeUnit(bool instrument, float add, std::vector<char>* log, char name);
    units::Status doRender(units::RenderActionFlags& flags, const units::TimeStamp& ts, uint32_t bus,
                           uint32_t frames, units::BufferList& io) override;

private:
    bool instrument_;
    float add_;
    std::vector<char>* log_;
    char name_;
};

// Hosts `unit` in the track's chain as a plug-in, enabled, in `mode`.
void hostPlugin(MusicFilter& track, std::unique_ptr<units::Unit> unit, uint32_t mode,
                uint32_t type, int64_t maxFrames = 512, double rate = 44100);

// Renders the whole composition offline at 512-frame slices.
struct Rendered {
    std::vector<float> left, right;
};
Rendered renderOffline(const std::shared_ptr<Composition>& composition,
                       const std::shared_ptr<AudioMix>& mix, double rate = 44100,
                       int slice = 512);

// testsupport::amplitudeAt over samples [from, from + count) of `x`, in dB.
double levelAt(const std::vector<float>& x, size_t from, size_t count, double frequency,
               double rate = 44100);

}  // namespace enginetest
