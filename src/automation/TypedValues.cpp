// A value typed into an effect field: read, kept within its slider's range
// and handed to the same path as a slider drag.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "views/FloatSlider.h"
#include "views/NumberTextField.h"

void AudioController::updateTextFieldValueFrom(NumberTextField* field) {
    if (!field) return;
    const auto controls = ui.effectControls();
    int row = -1;
    for (size_t i = 0; i < controls.size(); ++i)
        if (controls[i].second == field) row = int(i);
    if (row < 0) return;
    FloatSlider* slider = controls[size_t(row)].first;
    if (!slider) return;

    TextFieldNumberFormatter reader(TextFieldNumberFormatter::Kind::Decimal);
    reader.setAllowsNegativeNumbers(true);
    const float current = float(slider->floatValue());
    double parsed = 0;
    if (!reader.numberFromString(field->text(), &parsed)) {
        // Unreadable text: the field takes the new formatter and shows the slider again.
        auto* formatter = formatterForTextField();
        formatter->setAllowsNegativeNumbers(true);
        field->setFormatter(formatter);
        field->setFloatValue(current);
        return;
    }
    const float typed = float(parsed);
    const MusicFilter* track = trackAt(currentSelectedAudio.load());
    const bool recording = track && track->isRecordingParameters != 0;
    double shown = 0;
    reader.numberFromString(reader.stringFromNumber(current), &shown);
    if (typed == float(shown) && !recording) {
        field->setText(reader.stringFromNumber(typed));
        return;
    }
    // With no track selected there is nothing to change.
    if (!track) {
        field->setFloatValue(current);
        return;
    }
    float value = typed;
    if (double(typed) >= slider->minValue() && double(typed) <= slider->maxValue()) {
        if (typed == current && !recording) return;
    } else {
        value = float(double(typed) > slider->maxValue() ? slider->maxValue() : slider->minValue());
        field->setText(reader.stringFromNumber(value));
        if (typed == current) return;
    }
    slider->setFloatValue(value);
    automation.notNeedShowInfoFromTextField = true;
    updateAudioValue(EffectSender(slider), effectActions()[size_t(row)],
                     QString::fromLatin1(effectControlTable[size_t(row)].key));
}
