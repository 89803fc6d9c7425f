#include "app/AppDelegate.h"

#include "app/Alerts.h"
#include "app/AudioController.h"
#include "engine/MusicFilter.h"
#include "engine/ExportItems.h"
#include "platform/core/AppPaths.h"
#include "platform/core/MainQueue.h"
#include "platform/units/PluginHost.h"
#include "views/AudioView.h"
#include "views/ColorWell.h"
#include "views/NumberTextField.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QWidget>

#include <cmath>

namespace {

const QString kDurationMinutes = QStringLiteral("durationMinutes");
const QString kDurationSeconds = QStringLiteral("durationSeconds");
const QString kTrackColor = QStringLiteral("trackColor");
const QString kOutputDefaults = QStringLiteral("outputDefaults");
const QString kLibraryViewIsVisible = QStringLiteral("libraryViewIsVisible");
const QString kSearchAudioUnitsPlugins = QStringLiteral("searchAudioUnitsPlugins");
const QString kShowEQWaveform = QStringLiteral("showEQWaveform");

// Settings files keep every value as text; a value reads as a number only
// when all of it is one.
std::optional<double> number(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return std::nullopt;
    if (v.typeId() == QMetaType::Bool) return std::nullopt;
    bool ok = false;
    double d = v.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d)) return std::nullopt;
    return d;
}

std::optional<bool> boolean(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return std::nullopt;
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    QString s = v.toString().trimmed().toLower();
    if (s == QLatin1String("true") || s == QLatin1String("1")) return true;
    if (s == QLatin1String("false") || s == QLatin1String("0")) return false;
    return std::nullopt;
}

// A list of exactly `count` numbers, or nothing.
std::optional<std::vector<double>> numbers(const QVariant& v, int count) {
    QVariantList list;
    if (v.typeId() == QMetaType::QVariantList)
        list = v.toList();
    else if (v.typeId() == QMetaType::QStringList)
        for (const auto& s : v.toStringList()) list.append(s);
    else
        return std::nullopt;
    if (list.size() != count) return std::nullopt;
    std::vector<double> out;
    for (const auto& item : list) {
        auto d = number(item);
        if (!d) return std::nullopt;
        out.push_back(*d);
    }
    return out;
}

}  // namespace

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {
    // The event loop ends at once: the windows are not asked to close again
    // (the question has been answered) and go with the interface.
    quitApplication = [] { QCoreApplication::exit(0); };
}

void AppDelegate::awakeFromNib() { setupAppSupportDir(); }

void AppDelegate::setupAppSupportDir() {
    // Folders that cannot be made are skipped; the library path stays unset.
    QString library = apppaths::mediaLibraryFolder();
    if (audioController && QFileInfo(library).isDir()) audioController->library.mediaLibraryPath = library;
    if (audioController) audioController->automation.audioUnitsFolder = units::PluginCatalogue::searchPath();
}

void AppDelegate::applicationWillFinishLaunching() {
    setupDefaultValues();
    if (audioController) audioController->addURLsToLibrary();
}

// The installed plug-ins are looked for once, on a worker thread; tracks
// take them from the catalogue it leaves.
// Tracks opened while the scan ran (files handed over at launch) take the
// plug-ins once it ends; their lists are rebuilt at their next preparation.
void AppDelegate::applicationDidFinishLaunching() {
    QPointer<AudioController> controller(audioController);
    units::scanAndRegisterPlugins([controller](std::shared_ptr<const units::PluginCatalogue>) {
        if (!controller || !controller->ui.audioView) return;
        for (const TrackRecord& r : controller->ui.audioView->audioTracks) {
            MusicFilter* track = r.audioFilter.get();
            if (!track || !track->wantsSearchPlugins) continue;
            track->dynamicAudioUnits.clear();
            controller->audioUnitPluginURLsForFilter(track);
        }
    });
    // The preset files, listed once at launch; the scan above goes on meanwhile.
    if (audioController) audioController->loadPresets();
}

void AppDelegate::setupDefaultValues() {
    QSettings settings;
    setupDefaultValues(settings);
}

void AppDelegate::setupDefaultValues(QSettings& settings) {
    auto* c = audioController;
    if (!c) return;
    auto& prefs = c->preferences;

    auto minutes = number(settings.value(kDurationMinutes));
    auto seconds = number(settings.value(kDurationSeconds));
    if (minutes && seconds && *minutes >= 0 && *seconds >= 0) {
        c->updateCompositionDurationFromPreferences(*minutes, *seconds);
        if (prefs.textFieldPreferencesDurationMinutes)
            prefs.textFieldPreferencesDurationMinutes->setFloatValue(*minutes);
        if (prefs.textFieldPreferencesDurationSeconds)
            prefs.textFieldPreferencesDurationSeconds->setFloatValue(*seconds);
    }

    QColor color = defaultTrackColor();
    if (auto rgb = numbers(settings.value(kTrackColor), 3)) {
        auto in = [](double v) { return v >= 0 && v <= 1; };
        if (in((*rgb)[0]) && in((*rgb)[1]) && in((*rgb)[2]))
            color = QColor::fromRgbF(float((*rgb)[0]), float((*rgb)[1]), float((*rgb)[2]));
    }
    if (prefs.preferecesTrackColor) prefs.preferecesTrackColor->setColor(color);

    const int fallback[3] = {exportitems::defaultFormatIndex, exportitems::defaultSampleRateIndex,
                             exportitems::defaultBitRateIndex};
    int output[3] = {fallback[0], fallback[1], fallback[2]};
    if (auto stored = numbers(settings.value(kOutputDefaults), 3)) {
        for (int i = 0; i < 3; ++i) output[i] = (*stored)[i] < 0 ? fallback[i] : int((*stored)[i]);
    }
    QComboBox* popups[3] = {prefs.preferencesOutputFormat, prefs.preferencesSampleRate,
                            prefs.preferencesBitrate};
    for (int i = 0; i < 3; ++i) {
        if (!popups[i]) continue;
        // An index past the items is as good as none.
        popups[i]->setCurrentIndex(output[i] < popups[i]->count() ? output[i] : fallback[i]);
    }

    c->library.libraryViewIsVisibleOnExit =
        number(settings.value(kLibraryViewIsVisible)).value_or(0) != 0;
    if (c->library.libraryViewIsVisibleOnExit) c->updateLibraryViewOnStartup();

    bool searchPlugins = boolean(settings.value(kSearchAudioUnitsPlugins)).value_or(true);
    if (prefs.preferencesSearchPluginsCheck) prefs.preferencesSearchPluginsCheck->setChecked(searchPlugins);

    bool showEQ = boolean(settings.value(kShowEQWaveform)).value_or(true);
    if (prefs.showEQFFTCheck) prefs.showEQFFTCheck->setChecked(showEQ);
    c->showEQFFT = showEQ;
}

void AppDelegate::applicationWillTerminate() {
    QSettings settings;
    applicationWillTerminate(settings);
    settings.sync();
}

void AppDelegate::applicationWillTerminate(QSettings& settings) {
    auto* c = audioController;
    if (!c) return;
    auto& prefs = c->preferences;
    if (prefs.textFieldPreferencesDurationMinutes && prefs.textFieldPreferencesDurationSeconds) {
        double minutes = prefs.textFieldPreferencesDurationMinutes->floatValue();
        double seconds = prefs.textFieldPreferencesDurationSeconds->floatValue();
        // A length of a second or less is not kept.
        if (minutes + seconds > 1) {
            settings.setValue(kDurationMinutes, minutes);
            settings.setValue(kDurationSeconds, seconds);
        }
    }
    if (prefs.preferecesTrackColor) {
        QColor color = prefs.preferecesTrackColor->color().toRgb();
        settings.setValue(kTrackColor, QVariantList{color.redF(), color.greenF(), color.blueF()});
    }
    if (prefs.preferencesOutputFormat && prefs.preferencesSampleRate && prefs.preferencesBitrate)
        settings.setValue(kOutputDefaults,
                          QVariantList{prefs.preferencesOutputFormat->currentIndex(),
                                       prefs.preferencesSampleRate->currentIndex(),
                                       prefs.preferencesBitrate->currentIndex()});
    settings.setValue(kLibraryViewIsVisible,
                      c->ui.libraryBackgroundView && !c->ui.libraryBackgroundView->isHidden() ? 1 : 0);
    if (prefs.preferencesSearchPluginsCheck)
        settings.setValue(kSearchAudioUnitsPlugins, prefs.preferencesSearchPluginsCheck->isChecked());
    if (prefs.showEQFFTCheck) settings.setValue(kShowEQWaveform, prefs.showEQFFTCheck->isChecked());
}

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate() {
    // A project being written is waited for: its end quits.
    if (audioController && audioController->projectSaveIsRunning()) {
        audioController->quitAfterProjectSave();
        return TerminateReply::TerminateCancel;
    }
    // A save that was asked for quits when it ends.
    if (audioController && audioController->shell.applicationHasToTerminateAfterSaving)
        return TerminateReply::TerminateNow;
    if (!audioController ||
        audioController->askToSaveComposition() == AudioController::SaveAnswer::DontSave)
        return TerminateReply::TerminateNow;
    return TerminateReply::TerminateCancel;
}

void AppDelegate::terminate() {
    if (terminating_) return;
    if (applicationShouldTerminate() != TerminateReply::TerminateNow) return;
    terminating_ = true;
    applicationWillTerminate();
    if (quitApplication) quitApplication();
}

void AppDelegate::openPreferencesWindowFrom() {
    if (!preferencesPanel) return;
    if (preferencesPanel->isActiveWindow()) return;
    if (!preferencesPanel->isVisible() && window) {
        QRect frame = window->frameGeometry();
        preferencesPanel->adjustSize();
        preferencesPanel->move(frame.center() - preferencesPanel->rect().center());
    }
    preferencesPanel->show();
    preferencesPanel->raise();
    preferencesPanel->activateWindow();
}

void AppDelegate::resetPreferencesTrackColor() {
    if (!audioController || !audioController->preferences.preferecesTrackColor) return;
    audioController->preferences.preferecesTrackColor->setColor(defaultTrackColor());
    audioController->updateTrackColorFromPreferencesForAllFilters(defaultTrackColor());
}

void AppDelegate::openFile(const QString& path) {
    QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    QPointer<AppDelegate> self(this);
    MainQueue::async([self, url] {
        if (self) self->openFileFromURL(url);
    });
}

bool AppDelegate::isProjectURL(const QUrl& url) {
    return QFileInfo(url.path()).suffix().compare(QLatin1String("trvproj"), Qt::CaseInsensitive) ==
           0;
}

void AppDelegate::openFileFromURL(const QUrl& url) {
    if (!audioController) return;
    if (isProjectURL(url))
        audioController->loadTrackToCompositionForProject(url);
    else
        audioController->addAudioFileToComposition(url);
}

void AppDelegate::menuWillOpen(QMenu* menu) {
    if (!menu) return;
    menu->clear();
    const auto& markers = audioController ? audioController->editing.markersArray
                                          : std::vector<MarkerRecord>{};
    if (!audioController || audioController->trackCount() == 0 || markers.empty()) {
        auto* item = menu->addAction(QStringLiteral("No markers"));
        item->setEnabled(false);
        return;
    }
    for (const auto& marker : markers) {
        QString title = marker.markerName.isEmpty()
                            ? LineView::stringForTime(marker.markerTime)
                            : QStringLiteral("%1 - %2").arg(marker.markerName,
                                                            LineView::stringForTime(marker.markerTime));
        double time = marker.markerTime;
        QPointer<AudioController> c(audioController);
        menu->addAction(title, [c, time] {
            if (c) c->goToMarkerTime(time);
        });
    }
}
