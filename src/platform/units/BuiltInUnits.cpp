#include "platform/units/Component.h"
#include "platform/units/DynamicsUnits.h"
#include "platform/units/EffectUnits.h"
#include "platform/units/FilterUnits.h"
#include "platform/units/PitchUnits.h"

namespace units {

namespace {
template <typename T>
void add(ComponentRegistry& registry) {
    const T prototype;
    registry.registerComponent(prototype.componentDescription(), prototype.name(), 0x10000,
                               [] { return std::make_unique<T>(); });
}
}  // namespace

// The effect units built into the application, registered under the
// built-in manufacturer code.
void registerBuiltInUnits(ComponentRegistry& registry) {
    add<NBandEQUnit>(registry);
    add<GraphicEQUnit>(registry);
    add<DistortionUnit>(registry);
    add<AudioFilterUnit>(registry);
    add<DynamicsProcessorUnit>(registry);
    add<MultibandCompressorUnit>(registry);
    add<DelayUnit>(registry);
    add<PeakLimiterUnit>(registry);
    add<TimePitchEffectUnit>(registry);
    add<MatrixReverbUnit>(registry);
    add<PannerUnit>(registry);
    add<NewTimePitchUnit>(registry);
    add<LowShelfUnit>(registry);
    add<BandPassUnit>(registry);
    add<LowPassUnit>(registry);
    add<HighPassUnit>(registry);
}

}  // namespace units
