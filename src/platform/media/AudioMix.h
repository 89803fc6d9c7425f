#pragma once

#include "platform/core/MediaTime.h"
#include "platform/media/ProcessingTap.h"

#include <memory>
#include <vector>

// How a stretched segment keeps its pitch. Every algorithm renders through the
// same stretcher here; the value is kept for whoever reads it back.
enum class TimePitchAlgorithm { Spectral, TimeDomain, Varispeed, LowQualityZeroLatency };

// The mix settings of one composition track: its volume over time, the
// time-pitch algorithm and an optional processing tap.
class AudioMixInputParameters {
public:
    struct VolumeStep {
        MediaTime time;
        float volume;
    };

    int32_t trackID() const { return trackID_; }
    void setTrackID(int32_t id) { trackID_ = id; }

    TimePitchAlgorithm audioTimePitchAlgorithm() const { return algorithm_; }
    void setAudioTimePitchAlgorithm(TimePitchAlgorithm a) { algorithm_ = a; }

    const std::shared_ptr<ProcessingTap>& audioTapProcessor() const { return tap_; }
    void setAudioTapProcessor(std::shared_ptr<ProcessingTap> tap) { tap_ = std::move(tap); }

    // From `time` on the track plays at `volume` (until the next step). Before
    // the first step the volume is 1.
    void setVolume(float volume, const MediaTime& time);
    float volumeAt(const MediaTime& time) const;
    const std::vector<VolumeStep>& volumeSteps() const { return steps_; }

    // A copy with the same tap object.
    std::shared_ptr<AudioMixInputParameters> copy() const {
        return std::make_shared<AudioMixInputParameters>(*this);
    }

private:
    int32_t trackID_ = 0;
    TimePitchAlgorithm algorithm_ = TimePitchAlgorithm::Spectral;
    std::shared_ptr<ProcessingTap> tap_;
    std::vector<VolumeStep> steps_;  // sorted by time
};

// One input-parameters entry per composition track.
class AudioMix {
public:
    using InputParametersList = std::vector<std::shared_ptr<AudioMixInputParameters>>;

    const InputParametersList& inputParameters() const { return inputs_; }
    void setInputParameters(InputParametersList list) { inputs_ = std::move(list); }

    // The last entry for the track, or null.
    std::shared_ptr<AudioMixInputParameters> inputParametersForTrackID(int32_t trackID) const;

    // A mix of copies of the entries, in order; the copies share their taps.
    std::shared_ptr<AudioMix> copy() const;

private:
    InputParametersList inputs_;
};
