#include "app/PreferencesBuilder.h"

#include "engine/ExportItems.h"
#include "views/ColorWell.h"
#include "views/NumberTextField.h"
#include "views/StyledControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

PreferencesUi buildPreferencesWindow(QWidget* parent) {
    PreferencesUi ui;
    auto* panel = new DrawBackgroundView(parent);
    panel->setWindowFlags(Qt::Window);
    panel->setAttribute(Qt::WA_QuitOnClose, false);
    panel->setWindowTitle(QStringLiteral("Preferences"));
    ui.preferencesPanel = panel;

    auto* form = new QFormLayout(panel);
    form->setContentsMargins(20, 16, 20, 16);
    form->setVerticalSpacing(10);

    auto* duration = new QHBoxLayout();
    ui.textFieldPreferencesDurationMinutes = new NumberTextField(panel);
    ui.textFieldPreferencesDurationMinutes->setObjectName(
        QStringLiteral("textFieldPreferencesDurationMinutes"));
    ui.textFieldPreferencesDurationSeconds = new NumberTextField(panel);
    ui.textFieldPreferencesDurationSeconds->setObjectName(
        QStringLiteral("textFieldPreferencesDurationSeconds"));
    for (auto* field : {ui.textFieldPreferencesDurationMinutes, ui.textFieldPreferencesDurationSeconds})
        field->setFixedWidth(56);
    duration->setSpacing(6);
    duration->addWidget(ui.textFieldPreferencesDurationMinutes);
    duration->addWidget(new QLabel(QStringLiteral("min"), panel));
    duration->addSpacing(8);  // "min" belongs to the field before it
    duration->addWidget(ui.textFieldPreferencesDurationSeconds);
    duration->addWidget(new QLabel(QStringLiteral("s"), panel));
    duration->addStretch(1);
    form->addRow(QStringLiteral("Composition length:"), duration);

    auto* color = new QHBoxLayout();
    ui.preferecesTrackColor = new ColorWell(panel);
    ui.resetTrackColorButton = new QPushButton(QStringLiteral("Reset"), panel);
    color->addWidget(ui.preferecesTrackColor);
    color->addWidget(ui.resetTrackColorButton);
    color->addStretch(1);
    form->addRow(QStringLiteral("Track colour:"), color);

    ui.preferencesOutputFormat = new QComboBox(panel);
    for (const auto& item : exportitems::formats)
        ui.preferencesOutputFormat->addItem(QString::fromLatin1(item.extension));
    form->addRow(QStringLiteral("Export format:"), ui.preferencesOutputFormat);
    ui.preferencesSampleRate = new QComboBox(panel);
    for (const auto& item : exportitems::sampleRates)
        ui.preferencesSampleRate->addItem(QString::fromUtf8(item.title), item.sampleRate);
    form->addRow(QStringLiteral("Sample rate:"), ui.preferencesSampleRate);
    ui.preferencesBitrate = new QComboBox(panel);
    for (const auto& item : exportitems::bitRates)
        ui.preferencesBitrate->addItem(QString::fromUtf8(item.title), item.bitRate);
    form->addRow(QStringLiteral("Bit rate:"), ui.preferencesBitrate);

    ui.preferencesSearchPluginsCheck = new QCheckBox(QStringLiteral("Search for plug-ins"), panel);
    form->addRow(QString(), ui.preferencesSearchPluginsCheck);
    ui.showEQFFTCheck = new QCheckBox(QStringLiteral("Show the spectrum in the equaliser"), panel);
    form->addRow(QString(), ui.showEQFFTCheck);
    panel->adjustSize();
    return ui;
}
