// The selected track's inputs and sliders set from its curves at a time,
// when the play position jumps or the curves change.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "platform/core/MainQueue.h"
#include "views/EQSubview.h"
#include "views/FloatSlider.h"

#include <QPointer>

void AudioController::verifyRecordedInputValuesForSeekToTime(double seconds, const RecordedParameters& store) {
    MusicFilter* selected = trackAt(currentSelectedAudio.load());
    if (!selected) return;
    auto entry = store.find(selected->identifierOfFilter);
    if (entry == store.end()) return;
    const CurveStyle style =
        selected->typeOfRecordedCurve == 1 ? CurveStyle::Linear : CurveStyle::Step;
    const auto& bands = effectinputs::bandGains();
    const auto controls = ui.effectControls();
    for (const auto& [key, curve] : entry->second) {
        const auto found = automation::curveValueAt(curve, seconds, style);
        if (!found) continue;
        const float v = float(*found);
        const auto input = effectinputs::fromKey(key);
        if (!input || *input == EffectInput::Speed || *input == EffectInput::FadeIn ||
            *input == EffectInput::FadeOut || *input == EffectInput::Repeat)
            continue;
        const bool band = std::find(bands.begin(), bands.end(), *input) != bands.end();
        if (band) {
            for (uint32_t i = 0; i < bands.size(); ++i)
                updateGainKey(effectinputs::key(bands[i]), key, i, selected, selected, v);
            continue;
        }
        selected->setValue(*input, v);
        if (shell.audioControllerIsWorking) continue;
        for (size_t row = 0; row < controls.size(); ++row)
            if (key == QLatin1String(effectControlTable[row].key)) {
                QPointer<FloatSlider> slider(controls[row].first);
                MainQueue::async([slider, v] {
                    if (slider) slider->setFloatValue(v);
                });
            }
    }
    selected->updateAudioMixState();
}

void AudioController::updateGainKey(const QString& bandKey, const QString& originKey, uint32_t index,
                                    MusicFilter* track, MusicFilter* currentFilter, float value) {
    if (bandKey != originKey || index > 9 || !track) return;
    const auto input = effectinputs::fromKey(bandKey);
    if (!input) return;
    track->setValue(*input, value);
    // Only the selected track's band shows, and not while the controller is busy.
    if (track != currentFilter || shell.audioControllerIsWorking) return;
    const auto controls = ui.effectControls();
    for (size_t row = 0; row < controls.size(); ++row)
        if (bandKey == QLatin1String(effectControlTable[row].key)) {
            QPointer<FloatSlider> slider(controls[row].first);
            QPointer<EQSubview> strip(ui.eqView);
            MainQueue::async([slider, strip, value] {
                if (slider) slider->setFloatValue(value);
                if (strip) strip->update();
            });
        }
}
