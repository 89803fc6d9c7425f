// Services of other parts of the application in the form they take until
// those parts are built: saving before quitting,
// opening files from the desktop.
#include "app/AppDelegate.h"
#include "app/AudioController.h"

#include "views/AudioView.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"
#include "views/NumberTextField.h"

#include <cstring>

void AudioController::saveDidEnd(bool saved) {
    if (!saved) {
        // A save that failed or was cancelled does not quit, and the next
        // quit asks again.
        shell.applicationHasToTerminateAfterSaving = false;
        return;
    }
    if (shell.applicationHasToTerminateAfterSaving && appDelegate) appDelegate->terminate();
}

FloatSlider* AudioController::filterSlider(FilterSlider slider) const {
    switch (slider) {
    case FilterSlider::LowPassCutoff: return ui.sliderLowPassCutoff;
    case FilterSlider::LowPassResonance: return ui.sliderLowPassResonance;
    case FilterSlider::HighPassCutoff: return ui.sliderHighPassCutoff;
    case FilterSlider::HighPassResonance: return ui.sliderHighPassResonance;
    case FilterSlider::BandPassCenter: return ui.sliderBandpassCenter;
    case FilterSlider::BandPassBandwidth: return ui.sliderBandpassBandwidth;
    }
    return nullptr;
}

std::pair<float, float> AudioController::filterSliderRange(FilterSlider slider) const {
    if (auto* s = filterSlider(slider)) return {float(s->minValue()), float(s->maxValue())};
    return AudioControllerServices::filterSliderRange(slider);
}

void AudioController::setFilterSliderValue(FilterSlider slider, float value) {
    if (auto* s = filterSlider(slider)) s->setFloatValue(value);
}

void AudioController::sendFilterSliderAction(FilterSlider slider) {
    if (auto* s = filterSlider(slider)) emit s->action(s);
}
