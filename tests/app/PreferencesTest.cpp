#include "ControllerFixture.h"

#include "support/TestSupport.h"
#include "views/ColorWell.h"
#include "views/NumberTextField.h"
#include "views/StyledControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QSettings>

namespace {

using PreferencesTest = ControllerTest;

QString settingsFile() { return testsupport::tempDir() + QStringLiteral("/Trevalune.conf"); }

TEST_F(PreferencesTest, FirstLaunchDefaults) {
    QSettings settings(settingsFile(), QSettings::IniFormat);
    d->setupDefaultValues(settings);
    const auto& p = c->preferences;
    EXPECT_EQ(p.preferecesTrackColor->color(), QColor::fromRgbF(1.0f, 0.73f, 0.15f));
    EXPECT_EQ(p.preferencesOutputFormat->currentIndex(), 0);
    EXPECT_EQ(p.preferencesSampleRate->currentIndex(), 0);
    EXPECT_EQ(p.preferencesBitrate->currentIndex(), 2);
    EXPECT_TRUE(p.preferencesSearchPluginsCheck->isChecked());
    EXPECT_TRUE(p.showEQFFTCheck->isChecked());
    EXPECT_TRUE(c->showEQFFT.load());
    EXPECT_TRUE(c->pauseUpdateRecordedParameters().isEmpty());
    EXPECT_TRUE(c->ui.libraryBackgroundView->isHidden());
    EXPECT_EQ(p.textFieldPreferencesDurationMinutes->text(), "10");
    EXPECT_EQ(c->shell.compositionDuration, MediaTime::zero());
}

// Written at exit, read at the next launch into a new interface.
TEST_F(PreferencesTest, RoundTripThroughSettings) {
    const QString file = settingsFile();
    auto& p = c->preferences;
    p.textFieldPreferencesDurationMinutes->setText("3");
    p.textFieldPreferencesDurationSeconds->setText("20");
    p.preferecesTrackColor->setColor(QColor::fromRgbF(0.25f, 0.5f, 0.75f));
    p.preferencesOutputFormat->setCurrentIndex(2);
    p.preferencesSampleRate->setCurrentIndex(1);
    p.preferencesBitrate->setCurrentIndex(3);
    p.preferencesSearchPluginsCheck->setChecked(false);
    p.showEQFFTCheck->setChecked(false);
    c->animateLibraryViewFrom(c->ui.animateLibraryButton);  // shown
    {
        QSettings settings(file, QSettings::IniFormat);
        d->applicationWillTerminate(settings);
    }

    auto next = loadMainInterface(nullptr);
    QSettings settings(file, QSettings::IniFormat);
    next->appDelegate->setupDefaultValues(settings);
    auto* n = next->audioController.get();
    // The length waits in the fields for the first track.
    EXPECT_EQ(n->shell.compositionDuration, MediaTime::zero());
    EXPECT_EQ(n->ui.textFieldDurationMinutes->text(), "3");
    EXPECT_EQ(n->ui.textFieldDurationSeconds->text(), "20");
    EXPECT_EQ(n->preferences.textFieldPreferencesDurationMinutes->text(), "3");
    EXPECT_EQ(n->preferences.textFieldPreferencesDurationSeconds->text(), "20");
    QColor color = n->preferences.preferecesTrackColor->color();
    EXPECT_NEAR(color.redF(), 0.25, 1e-3);
    EXPECT_NEAR(color.greenF(), 0.5, 1e-3);
    EXPECT_NEAR(color.blueF(), 0.75, 1e-3);
    EXPECT_EQ(n->preferences.preferencesOutputFormat->currentIndex(), 2);
    EXPECT_EQ(n->preferences.preferencesSampleRate->currentIndex(), 1);
    EXPECT_EQ(n->preferences.preferencesBitrate->currentIndex(), 3);
    EXPECT_FALSE(n->preferences.preferencesSearchPluginsCheck->isChecked());
    EXPECT_FALSE(n->preferences.showEQFFTCheck->isChecked());
    EXPECT_FALSE(n->showEQFFT.load());
    EXPECT_TRUE(n->library.libraryViewIsVisibleOnExit);
    EXPECT_FALSE(n->ui.libraryBackgroundView->isHidden());
    EXPECT_EQ(n->ui.animateLibraryButton->buttonState(), 1u);
}

// A length of a second or less is not written: the stored one stays.
TEST_F(PreferencesTest, ShortLengthIsNotWritten) {
    const QString file = settingsFile();
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue("durationMinutes", 4);
        settings.setValue("durationSeconds", 0);
        c->preferences.textFieldPreferencesDurationMinutes->setText("0");
        c->preferences.textFieldPreferencesDurationSeconds->setText("1");
        d->applicationWillTerminate(settings);
    }
    QSettings settings(file, QSettings::IniFormat);
    EXPECT_EQ(settings.value("durationMinutes").toInt(), 4);
    EXPECT_EQ(settings.value("durationSeconds").toInt(), 0);
}

// Values of the wrong kind, or out of range, fall back to the defaults.
TEST_F(PreferencesTest, MalformedValuesFallBackToDefaults) {
    const QString file = settingsFile();
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue("durationMinutes", "ten");
        settings.setValue("durationSeconds", 5);
        settings.setValue("trackColor", QVariantList{1.0, "green", 0.0});
        settings.setValue("outputDefaults", QVariantList{-1, -1, -1});
        settings.setValue("libraryViewIsVisible", "maybe");
        settings.setValue("searchAudioUnitsPlugins", "perhaps");
        settings.setValue("showEQWaveform", 17);
    }
    QSettings settings(file, QSettings::IniFormat);
    d->setupDefaultValues(settings);
    const auto& p = c->preferences;
    EXPECT_EQ(c->shell.compositionDuration, MediaTime::zero());
    EXPECT_EQ(p.textFieldPreferencesDurationMinutes->text(), "10");
    EXPECT_EQ(p.preferecesTrackColor->color(), QColor::fromRgbF(1.0f, 0.73f, 0.15f));
    EXPECT_EQ(p.preferencesOutputFormat->currentIndex(), 0);
    EXPECT_EQ(p.preferencesSampleRate->currentIndex(), 0);
    EXPECT_EQ(p.preferencesBitrate->currentIndex(), 2);
    EXPECT_TRUE(c->ui.libraryBackgroundView->isHidden());
    EXPECT_TRUE(p.preferencesSearchPluginsCheck->isChecked());
    EXPECT_TRUE(p.showEQFFTCheck->isChecked());

    // An index past the pop-up's items is as good as none.
    QSettings other(settingsFile(), QSettings::IniFormat);
    other.setValue("outputDefaults", QVariantList{9, 1, 7});
    d->setupDefaultValues(other);
    EXPECT_EQ(p.preferencesOutputFormat->currentIndex(), 0);
    EXPECT_EQ(p.preferencesSampleRate->currentIndex(), 1);
    EXPECT_EQ(p.preferencesBitrate->currentIndex(), 2);
}

// The pop-ups offer the export's values: each stored selection names the
// same format, rate and bit rate at the next launch and is written back as
// it was read.
TEST_F(PreferencesTest, OutputDefaultsNameTheExportsValues) {
    struct Case {
        QVariantList stored;
        const char* format;
        double sampleRate;
        int bitRate;
    };
    const Case cases[] = {
        {{}, "m4a", 44100, 192000},  // first launch
        {{0, 0, 1}, "m4a", 44100, 160000},
        {{2, 1, 3}, "wav", 48000, 320000},
        {{3, 2, 0}, "caf", 96000, 128000},
    };
    for (const auto& k : cases) {
        const QString file = testsupport::tempDir() + QStringLiteral("/output-defaults.conf");
        QFile::remove(file);
        {
            QSettings settings(file, QSettings::IniFormat);
            if (!k.stored.isEmpty()) settings.setValue("outputDefaults", k.stored);
            d->setupDefaultValues(settings);
        }
        const auto& p = c->preferences;
        EXPECT_EQ(p.preferencesOutputFormat->currentText(), k.format) << k.stored.size();
        EXPECT_EQ(p.preferencesSampleRate->currentData().toDouble(), k.sampleRate) << k.format;
        EXPECT_EQ(p.preferencesBitrate->currentData().toInt(), k.bitRate) << k.format;
        if (k.stored.isEmpty()) continue;
        QSettings settings(file, QSettings::IniFormat);
        d->applicationWillTerminate(settings);
        QVariantList written = settings.value("outputDefaults").toList();
        ASSERT_EQ(written.size(), 3);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(written[i].toInt(), k.stored[i].toInt()) << k.format << i;
    }
}

TEST_F(PreferencesTest, ResetTrackColour) {
    c->preferences.preferecesTrackColor->setColor(Qt::red);
    d->resetPreferencesTrackColor();
    EXPECT_EQ(c->preferences.preferecesTrackColor->color(), QColor::fromRgbF(1.0f, 0.73f, 0.15f));
}

}  // namespace
