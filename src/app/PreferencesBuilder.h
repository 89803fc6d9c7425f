#pragma once

class ColorWell;
class NumberTextField;
class QCheckBox;
class QComboBox;
class QPushButton;
class QWidget;

// The preferences window.
struct PreferencesUi {
    QWidget* preferencesPanel = nullptr;
    NumberTextField* textFieldPreferencesDurationMinutes = nullptr;
    NumberTextField* textFieldPreferencesDurationSeconds = nullptr;
    ColorWell* preferecesTrackColor = nullptr;
    QPushButton* resetTrackColorButton = nullptr;
    QComboBox* preferencesOutputFormat = nullptr;
    QComboBox* preferencesSampleRate = nullptr;
    QComboBox* preferencesBitrate = nullptr;
    QCheckBox* preferencesSearchPluginsCheck = nullptr;
    QCheckBox* showEQFFTCheck = nullptr;
};

PreferencesUi buildPreferencesWindow(QWidget* parent);
