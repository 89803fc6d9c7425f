#include "platform/media/AudioMix.h"

#include <algorithm>

void AudioMixInputParameters::setVolume(float volume, const MediaTime& time) {
    if (!time.isNumeric()) return;
    auto it = std::find_if(steps_.begin(), steps_.end(),
                           [&](const VolumeStep& s) { return !(s.time < time); });
    if (it != steps_.end() && it->time == time) {
        it->volume = volume;
        return;
    }
    steps_.insert(it, VolumeStep{time, volume});
}

float AudioMixInputParameters::volumeAt(const MediaTime& time) const {
    float v = 1.0f;
    for (const auto& s : steps_) {
        if (time < s.time) break;
        v = s.volume;
    }
    return v;
}

std::shared_ptr<AudioMixInputParameters> AudioMix::inputParametersForTrackID(int32_t trackID) const {
    for (auto it = inputs_.rbegin(); it != inputs_.rend(); ++it)
        if (*it && (*it)->trackID() == trackID) return *it;
    return nullptr;
}

std::shared_ptr<AudioMix> AudioMix::copy() const {
    auto mix = std::make_shared<AudioMix>();
    for (const auto& p : inputs_) mix->inputs_.push_back(p ? p->copy() : nullptr);
    return mix;
}
