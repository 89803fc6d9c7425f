// Installed plug-ins in the track's chain: making a plug-in's unit for the
// track's tap.

#include "engine/MusicFilter.h"

#include "platform/media/AudioMix.h"
#include "platform/media/ProcessingTap.h"
#include "platform/units/PluginHost.h"
#include "platform/units/Unit.h"

bool MusicFilter::createPluginForName(const QString& name, int64_t index, bool showPluginView) {
    if (dynamicAudioUnits.isEmpty()) return false;
    const units::AudioComponentRecord* component = nullptr;
    for (const auto& bundle : dynamicAudioUnits) {
        if (bundle.AudioComponents.isEmpty()) continue;
        const auto& c = bundle.AudioComponents.first();
        if (c.sandboxSafe.value_or(false) && c.name == name) {
            component = &c;
            break;
        }
    }
    if (!component) return false;
    units::ComponentDescription description{units::fourCCFromString(component->type),
                                            units::fourCCFromString(component->subtype),
                                            units::fourCCFromString(component->manufacturer), 0, 0};

    // The track's tap: the last mix input of the track decides.
    const std::shared_ptr<ProcessingTap> tap = mixInputTap();
    auto* context = contextOfTap(tap.get());
    if (!context) return false;
    const int64_t maxFrames = context->maxFrames > 0 ? context->maxFrames : 4096;
    const units::StreamFormat format = context->streamFormat;
    const units::FourCC componentType = description.componentType;

    std::weak_ptr<MusicFilter> weakTrack = weak_from_this();
    std::weak_ptr<ProcessingTap> weakTap = tap;
    units::instantiatePluginNamed(
        description, name,
        [weakTrack, weakTap, maxFrames, format, componentType, index, showPluginView](
            std::unique_ptr<units::Unit> unit, units::Status status) {
            if (!unit || !units::ok(status)) return;
            // The track and its tap may have gone while the plug-in loaded:
            // find both again; if either is gone the unit goes too.
            auto track = weakTrack.lock();
            auto tap = weakTap.lock();
            if (!track || !tap) return;
            TrackTapContext* context = track->getProcessorContext();
            if (!context || context->tap != tap.get()) return;

            auto renderContext = std::make_unique<ChainUnitRenderContext>();
            units::Unit* configured = tracktap::configureChainUnit(
                tap.get(), std::move(unit), maxFrames, format, renderContext.get(), componentType);
            if (!configured) return;
            track->addChainUnitRenderContext(std::move(renderContext));
            if (componentType == units::componenttype::MusicDevice && track->setupMIDIManager)
                track->setupMIDIManager(track.get());
            AudioControllerServices* controller = track->audioController();
            if (!controller) {
                AudioControllerServices fallback;
                fallback.completeEnablePluginsNameForFilter(track.get(), configured, index);
            } else if (showPluginView) {
                controller->showAudioUnitForPlugin(configured, track.get(), index);
            } else {
                controller->completeEnablePluginsNameForFilter(track.get(), configured, index);
            }
        });
    return false;
}

bool MusicFilter::replacePluginCatalogue(const QList<units::AudioUnitBundleRecord>& bundles,
                                         const QStringList& activeNames) {
    releasePluginUnitsAndContexts();
    dynamicAudioUnits = bundles;
    filterActivePluginsName = activeNames;
    setPluginsArray(pluginRecordsFromCatalogue());
    return !pluginsArray_.isEmpty();
}
