// Numeric text fields: their formatters, their look, the slider each effect
// field follows, and the enabled state they share.
#include "app/AudioController.h"

#include "views/DropShadow.h"
#include "views/EmptyTrackPopover.h"
#include "views/FloatSlider.h"
#include "views/MarkerNamePopover.h"
#include "views/NumberTextField.h"
#include "views/TimePopover.h"


namespace {

// The dark look of the main window's text fields: bordered, white on dark
// grey, centred, with a shadow; `translucent` fields let a tenth through.
void applyFieldLook(QLineEdit* field, bool translucent) {
    field->setAlignment(Qt::AlignCenter);
    field->setStyleSheet(translucent ? QStringLiteral("QLineEdit { background-color: rgba(46, 43, 46, 230); color: white;"
                                                      " border: 1px solid rgb(20, 20, 20); padding: 1px 2px; }"
                                                      "QLineEdit:disabled { color: rgb(130, 130, 130); }")
                                     : QStringLiteral("QLineEdit { background-color: rgb(46, 43, 46); color: white;"
                                                      " border: 1px solid rgb(20, 20, 20); padding: 1px 2px; }"
                                                      "QLineEdit:disabled { color: rgb(130, 130, 130); }"));
    field->setGraphicsEffect(new DropShadow(QPointF(0, 4), 6, Qt::black, field));
}

}  // namespace

TextFieldNumberFormatter* AudioController::formatterForTextField() const {
    return new TextFieldNumberFormatter(TextFieldNumberFormatter::Kind::Decimal);
}

TextFieldNumberFormatter* AudioController::formatterForIntegerTextField() const {
    return new TextFieldNumberFormatter(TextFieldNumberFormatter::Kind::Integer);
}

void AudioController::textFieldSetup(NumberTextField* field, FloatSlider* control) {
    if (!field) return;
    // Whole minutes; seconds take fractions, except in the preferences.
    const TimePopover* time = laneCommands.timePopover;
    const bool integer = field == ui.textFieldDurationMinutes ||
                         (time && (field == time->textFieldTrimStartMinutes || field == time->textFieldTrimEndMinutes ||
                                   field == time->textFieldCompositionStartMinutes ||
                                   field == time->textFieldCompositionEndMinutes)) ||
                         field == preferences.textFieldPreferencesDurationMinutes ||
                         field == preferences.textFieldPreferencesDurationSeconds;
    auto* formatter = integer ? formatterForIntegerTextField() : formatterForTextField();
    // A value may start with a minus sign where its slider goes below zero.
    bool negative = false;
    const auto controls = ui.effectControls();
    for (size_t i = 0; i < controls.size(); ++i)
        if (controls[i].second == field) negative = effectControlTable[i].allowsNegativeNumbers;
    formatter->setAllowsNegativeNumbers(negative);
    field->setFormatter(formatter);
    field->setReadOnly(false);

    // The preferences' length fields are reached with the mouse only.
    const bool preferencesField = field == preferences.textFieldPreferencesDurationMinutes ||
                                  field == preferences.textFieldPreferencesDurationSeconds;
    // So is the silent-track length, which stays usable while nothing plays.
    const bool silentTrackField =
        silentTracks.showEmptyTrackPopover && field == silentTracks.showEmptyTrackPopover->durationField;
    field->setFocusPolicy(preferencesField || silentTrackField ? Qt::ClickFocus : Qt::StrongFocus);

    applyFieldLook(field, true);

    // Once a typed value is sent, Undo and Redo from the field are the Edit
    // menu's, in the popovers as well, whose windows have no menu of their
    // own. The preferences' values are no commands of the composition.
    if (!preferencesField)
        for (QAction* history : {ui.undoAction, ui.redoAction})
            if (history && !field->actions().contains(history)) field->addAction(history);

    const bool durationField = field == ui.textFieldDurationMinutes ||
                               field == ui.textFieldDurationSeconds || preferencesField || silentTrackField;
    if (!durationField) bindEnabledObject(field);

    if (control) {
        connect(field, &NumberTextField::action, this, &AudioController::updateTextFieldValueFrom,
                Qt::UniqueConnection);
        // The field shows the slider's value whenever it changes, but for
        // a value the user is typing there (a curve that plays moves the
        // slider all the while).
        connect(control, &FloatSlider::floatValueChanged, field,
                [field](double value) { field->showFollowedValue(value); });
        field->setFloatValue(control->floatValue());
    }
}

void AudioController::markerNameTextFieldSetup() {
    QLineEdit* field = markerNamePopover()->markerTextField;
    field->setReadOnly(false);
    field->setFocusPolicy(Qt::StrongFocus);
    applyFieldLook(field, false);
}
