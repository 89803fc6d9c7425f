#include "engine/AudioControllerServices.h"

void AudioControllerServices::setPauseUpdateRecordedParameters(const QStringList& keys) {
    uint32_t bits = 0;
    for (const auto& k : keys)
        if (auto input = effectinputs::fromKey(k)) bits |= 1u << static_cast<int>(*input);
    pausedInputs_.store(bits, std::memory_order_release);
}

QStringList AudioControllerServices::pauseUpdateRecordedParameters() const {
    QStringList keys;
    for (auto input : effectinputs::all())
        if (isPausedRecordedParameter(input)) keys << effectinputs::key(input);
    return keys;
}
