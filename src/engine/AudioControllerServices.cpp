#include "engine/AudioControllerServices.h"

void AudioControllerRenderServices::setPauseUpdateRecordedParameters(const QStringList& keys) {
    uint32_t bits = 0;
    for (const auto& k : keys)
        if (auto input = effectinputs::fromKey(k)) bits |= 1u << static_cast<int>(*input);
    pausedInputs_.store(bits, std::memory_order_release);
}

QStringList AudioControllerRenderServices::pauseUpdateRecordedParameters() const {
    QStringList keys;
    for (auto input : effectinputs::all())
        if (isPausedRecordedParameter(input)) keys << effectinputs::key(input);
    return keys;
}

#include "engine/MusicFilter.h"
#include "platform/units/Unit.h"

void AudioControllerMainServices::completeEnablePluginsNameForFilter(MusicFilter* filter,
                                                                 units::Unit* unit, int64_t index) {
    if (!filter || !unit) return;
    if (index < 0 || index >= filter->pluginsArray().size()) {
        // The plug-in list changed meanwhile: nothing holds the unit.
        filter->releasePluginUnits({unit});
        return;
    }
    const PluginRecord old = filter->pluginsArray()[int(index)];
    filter->replacePluginRecord(int(index), PluginRecord{unit, old.audioUnitName,
                                                         !filter->filterSwitchedOffPluginsName.contains(old.audioUnitName),
                                                         old.audioUnitType, true});
    // Out of the chain now: the unit it replaced can go.
    filter->releasePluginUnits({old.audioUnit});
    filter->updateListenerParametersFromAudioUnits();
}
