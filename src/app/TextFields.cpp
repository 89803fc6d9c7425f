// Numeric text fields: their formatters, their look, the slider each effect
// field follows, and the enabled state they share.
#include "app/AudioController.h"

#include "views/EmptyTrackPopover.h"
#include "views/FloatSlider.h"
#include "views/NumberTextField.h"

#include <QGraphicsDropShadowEffect>

TextFieldNumberFormatter* AudioController::formatterForTextField() const {
    return new TextFieldNumberFormatter(TextFieldNumberFormatter::Kind::Decimal);
}

TextFieldNumberFormatter* AudioController::formatterForIntegerTextField() const {
    return new TextFieldNumberFormatter(TextFieldNumberFormatter::Kind::Integer);
}

void AudioController::textFieldSetup(NumberTextField* field, FloatSlider* control) {
    if (!field) return;
    // Whole minutes; seconds take fractions, except in the preferences.
    const bool integer = field == ui.textFieldDurationMinutes ||
                         field == preferences.textFieldPreferencesDurationMinutes ||
                         field == preferences.textFieldPreferencesDurationSeconds ||
                         field->property("integerField").toBool();  // the time popover's minutes
    auto* formatter = integer ? formatterForIntegerTextField() : formatterForTextField();
    formatter->setAllowsNegativeNumbers(field == ui.textFieldChannelMix ||
                                        field == ui.textFieldPitch ||
                                        field == ui.textFieldLowShelfGain);
    field->setFormatter(formatter);
    field->setReadOnly(false);

    // The preferences' length fields are reached with the mouse only.
    const bool preferencesField = field == preferences.textFieldPreferencesDurationMinutes ||
                                  field == preferences.textFieldPreferencesDurationSeconds;
    // So is the silent-track length, which stays usable while nothing plays.
    const bool silentTrackField =
        silentTracks.showEmptyTrackPopover && field == silentTracks.showEmptyTrackPopover->durationField;
    field->setFocusPolicy(preferencesField || silentTrackField ? Qt::ClickFocus : Qt::StrongFocus);

    field->setAlignment(Qt::AlignCenter);
    field->setStyleSheet(QStringLiteral(
        "QLineEdit { background-color: rgba(46, 43, 46, 230); color: white;"
        " border: 1px solid rgb(20, 20, 20); padding: 1px 2px; }"
        "QLineEdit:disabled { color: rgb(130, 130, 130); }"));
    auto* shadow = new QGraphicsDropShadowEffect(field);
    shadow->setOffset(0, 4);
    shadow->setBlurRadius(6);
    shadow->setColor(Qt::black);
    field->setGraphicsEffect(shadow);

    const bool durationField = field == ui.textFieldDurationMinutes ||
                               field == ui.textFieldDurationSeconds || preferencesField || silentTrackField;
    if (!durationField) bindEnabledObject(field);

    if (control) {
        connect(field, &NumberTextField::action, this, &AudioController::updateTextFieldValueFrom,
                Qt::UniqueConnection);
        // The field shows the slider's value whenever it changes.
        connect(control, &FloatSlider::floatValueChanged, field,
                [field](double value) { field->setFloatValue(value); });
        field->setFloatValue(control->floatValue());
    }
}
