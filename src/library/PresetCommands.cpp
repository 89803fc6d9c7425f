// The preset commands: saving the selected track's settings as a preset
// file, applying a preset from the browser or the clipboard as one undo
// step (its undo and redo go through the same path), copying, deleting,
// and the presets window with its browser.
#include "app/Alerts.h"
#include "app/AudioController.h"
#include "app/TrackCopies.h"
#include "library/PresetUndoRecord.h"
#include "library/ProjectRecords.h"
#include "library/StoredImages.h"

#include "automation/RecordedParameters.h"
#include "engine/MusicFilter.h"
#include "midi/NoteLists.h"
#include "platform/core/MainQueue.h"
#include "platform/core/UndoManager.h"
#include "views/AudioDrawingView.h"
#include "views/PresetBrowser.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

namespace {

bool busy(const AudioController& c) {
    return c.shell.audioControllerIsWorking || c.exporting.exportIsRunning || c.projectSaveIsRunning();
}

void pausePlayer(AudioController& c) {
    if (c.audioPlayer && c.audioPlayer->rate() != 0) c.audioPlayer->pause();
}

std::optional<project::PresetRecord> readPresetFile(const QUrl& url, QString* error) {
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return std::nullopt;
    }
    return project::decodePresetFile(file.readAll(), error);
}

QWidget* alertParent(const AudioController& c) {
    if (c.presets.presetsWindow && c.presets.presetsWindow->isVisible()) return c.presets.presetsWindow;
    return c.ui.window;
}

void tell(const AudioController& c, const QString& message, const QString& why) {
    runModalAlert(alertParent(c), AlertRequest{message, why, {QStringLiteral("OK")}});
}

project::PresetRecord::Plugins pluginsOf(const MusicFilter& f) {
    return {f.dynamicAudioUnits, f.filterActivePluginsName, f.pluginsPresetsDictionary, f.pluginsClassInfosDictionary};
}

void registerPresetUndo(AudioController& c, PresetUndoRecord record) {
    UndoManager* manager = c.undoManager();
    if (!manager) return;
    QPointer<AudioController> self(&c);
    manager->registerUndo(&c, [self, record = std::move(record)] {
        if (self) self->loadPreset(record);
    });
}

// One undo step, which also holds the track's lane and the committed curves
// as they stand; then the staged curves are committed, published and read
// at the playhead.
void registerPresetUndoThenCommitCurves(AudioController& c, MusicFilter* f, PresetUndoRecord record) {
    record.audioUndoInfoDictionary = c.trackFrameUndoRecordOf(f);
    record.audioUndoRecordedDictionary = automation::copyRecordedDictionary(c.automation.recordedParameters);
    registerPresetUndo(c, std::move(record));
    c.automation.recordedParameters = automation::copyRecordedDictionary(c.automation.tempRecorderParameters);
    c.automation.tempRecorderParameters = automation::copyRecordedDictionary(c.automation.recordedParameters);
    c.publishAllRecordedParameters();
    c.verifyRecordedInputValuesForSeekToTime(c.currentTime(), c.automation.recordedParameters);
}

// What the browser asks of the controller.
class BrowserOwner : public PresetsViewOwner {
public:
    explicit BrowserOwner(AudioController* c) : c_(c) {}
    QList<QUrl> presetFileURLs() const override { return c_ ? c_->library.presetsArray : QList<QUrl>(); }
    QImage presetThumbnail(const QUrl& url) const override {
        QString error;
        const auto preset = readPresetFile(url, &error);
        return preset ? project::imageFromData(preset->base.presetThumbnailImage) : QImage();
    }
    bool canApplyPresetFromBrowser() const override { return c_ && !busy(*c_) && c_->trackCount() > 0; }
    void applySelectedPreset() override {
        if (c_) c_->loadPreset();
    }

private:
    QPointer<AudioController> c_;
};

}  // namespace

// ---- Saving, copying and deleting -------------------------------------------------------

void AudioController::savePresetFrom(QLineEdit* sender) {
    if (busy(*this)) return;
    QLineEdit* field = sender ? sender : presets.presetsTextField.data();
    const QString name = field ? field->text() : QString();
    QString error;
    if (savePreset(name, &error).isEmpty()) {
        // The typed name stays, to be mended or tried again.
        tell(*this, QStringLiteral("The preset could not be saved."), error);
        return;
    }
    loadPresets();
    if (field) field->clear();
}

void AudioController::copyPresetFilterToPasteboardFrom() {
    if (trackCount() == 0) return;
    const QByteArray data = presetDataForSelectedTrack();
    if (!data.isEmpty()) pasteboardItems = PresetPasteboardRecord{data};
}

bool AudioController::removePreset(const QString& name, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (const QString problem = project::presetNameProblem(name); !problem.isEmpty()) return fail(problem);
    const QString path = QDir(getAppSupportPath()).filePath(name);
    if (!QFileInfo(path).isFile()) return fail(QStringLiteral("There is no preset named “%1”.").arg(name));
    QFile file(path);
    if (!file.remove()) return fail(QStringLiteral("“%1” could not be deleted: %2").arg(name, file.errorString()));
    return true;
}

void AudioController::removePresetFrom(QLineEdit* sender) {
    if (busy(*this)) return;
    QLineEdit* field = sender ? sender : presets.presetsTextField.data();
    const QString typed = field ? field->text() : QString();
    auto confirmed = [&](const QString& name) {
        const AlertRequest question{QStringLiteral("Are you sure you want to delete this preset?"),
                                    QStringLiteral("Preset name: \"%1\"").arg(name),
                                    {QStringLiteral("Ok"), QStringLiteral("Cancel")}};
        return runModalAlert(alertParent(*this), question) == 0;
    };
    auto remove = [&](const QString& name, QLineEdit* cleared) {
        QString error;
        if (!removePreset(name, &error)) {
            tell(*this, QStringLiteral("The preset could not be deleted."), error);
            return;
        }
        loadPresets();
        if (cleared) cleared->clear();
    };
    // A typed name that names a preset file; one that could name a file
    // outside the folder never does.
    const bool typedIsPreset = !typed.isEmpty() && project::presetNameProblem(typed).isEmpty() &&
                               QFileInfo(QDir(getAppSupportPath()).filePath(typed)).isFile();
    if (typedIsPreset) {
        if (confirmed(typed)) remove(typed, field);
        return;
    }
    // Otherwise the browser's selection.
    PresetsViewController* browser = presets.presetsViewController;
    const uint64_t selected = browser ? browser->firstSelectedIndex() : PresetsViewController::kNotFound;
    const PresetImage* item = browser ? browser->imageBrowserItemAtIndex(qsizetype(selected)) : nullptr;
    if (!item) return;
    const QString name = item->imageTitle();
    if (confirmed(name)) remove(name, presets.presetsTextField.data());
}

// ---- Applying ---------------------------------------------------------------------------

void AudioController::loadPreset() {
    PresetsViewController* browser = presets.presetsViewController;
    if (busy(*this) || !browser || browser->currentSelectedPreset == PresetsViewController::kNotFound ||
        trackCount() == 0)
        return;
    pausePlayer(*this);
    const PresetImage* item = browser->imageBrowserItemAtIndex(qsizetype(browser->currentSelectedPreset));
    if (!item) return;
    QString error;
    const auto preset = readPresetFile(item->presetURL, &error);
    if (!preset) {
        tell(*this, QStringLiteral("The preset “%1” could not be applied.").arg(item->imageTitle()), error);
        return;
    }
    if (currentSelectedAudio.load() >= quint64(trackCount())) return;
    applyPresetRecord(*preset);
}

void AudioController::loadFilterFromPresetData(const QByteArray& data) {
    if (busy(*this) || trackCount() == 0) return;
    pausePlayer(*this);
    QString error;
    const auto preset = project::decodePresetFile(data, &error);
    if (!preset) {
        tell(*this, QStringLiteral("The copied preset could not be applied."), error);
        return;
    }
    if (currentSelectedAudio.load() >= quint64(trackCount())) return;
    applyPresetRecord(*preset);
}

namespace {

// The last step of an application, its undo and its redo. At the same speed
// the plug-ins are listed again from `plugins` when given; at another speed
// the lane is laid out again and the units take the track's parameter list
// when its tap is next prepared. The curves and notes already stand as they
// belong at the new speed, so the speed change keeps them as they are.
void finishPresetChange(AudioController& c, MusicFilter* f, double speedBefore, const TrackFrameUndoRecord* frame,
                        const project::PresetRecord::Plugins* plugins,
                        const std::function<void()>& curvesAfterLayout) {
    if (f->value(EffectInput::Speed) == float(speedBefore)) {
        if (plugins)
            c.updatePluginsForFilter(f, &plugins->presetDynamicAudioUnits, plugins->presetFilterActivePluginsName);
        f->updateAudioMixState();
        return;
    }
    f->listenerParametersUpdated = true;
    c.updateFilterSpeed(f, frame, speedBefore, AudioController::SpeedTimes::Kept);
    c.automation.tempRecorderParameters = automation::copyRecordedDictionary(c.automation.recordedParameters);
    if (curvesAfterLayout) {
        curvesAfterLayout();
        c.automation.recordedParameters = automation::copyRecordedDictionary(c.automation.tempRecorderParameters);
    }
    c.publishAllRecordedParameters();
    c.verifyRecordedInputValuesForSeekToTime(c.currentTime(), c.automation.recordedParameters);
    if (auto* lane = AudioController::trackLaneOf(f)) lane->update();
}

}  // namespace

void AudioController::applyPresetRecord(const project::PresetRecord& preset) {
    const quint64 i = currentSelectedAudio.load();
    const TrackRecord* T = trackRecordAt(i);
    MusicFilter* F = T ? T->audioFilter.get() : nullptr;
    if (!F) return;

    // The state the undo puts back, taken before anything changes.
    PresetUndoRecord undo;
    undo.audioUndoDictionary = parametersDictionaryAtIndex(i);
    undo.audioFilter = F->weak_from_this();
    undo.audioIndex = i;
    undo.typeOfRecordedCurve = F->typeOfRecordedCurve;
    const double speedBefore = F->value(EffectInput::Speed);

    // Effect values and unit parameters.
    copyFilterValuesFromDictionary(preset.base.parameters, *T);
    applyValuesToSelectedAudio(i);
    F->updateListenerParametersToAudioUnits();
    trackcopies::fadesIntoLane(*F);

    // Curves, read at the track's place and the preset's speed.
    if (preset.base.presetRecordedDictionary) {
        automation.tempRecorderParameters.erase(F->identifierOfFilter);
        loadRecordedDictionaryForFilterAtIndex(i, *preset.base.presetRecordedDictionary);
        F->showParameterCurve = 0;
    }
    if (preset.base.presetRecordedTypeOfCurve) F->typeOfRecordedCurve = *preset.base.presetRecordedTypeOfCurve;

    // Plug-in state and notes.
    undo.audioUndoPluginsArray = pluginsOf(*F);
    if (preset.plugins) {
        trackcopies::insertAll(F->pluginsPresetsDictionary, preset.plugins->presetPluginsPresetsDictionary);
        trackcopies::insertAll(F->pluginsClassInfosDictionary, preset.plugins->presetPluginsClassInfoDictionary);
    }
    undo.audioUndoMidiArray = notelists::createACopyOfMidiArray(*F);
    // A preset without notes leaves the track's as they are.
    if (preset.presetMidiArray) {
        const int32_t scale = F->timeScale > 0 ? F->timeScale : int32_t(shell.playerSampleRate);
        MidiNoteList notes;
        for (const auto& n : *preset.presetMidiArray) notes.push_back(notelists::importedNote(n, scale));
        notelists::updateMIDIArrayFromArray(*F, notes);
    }

    // One undo step, then the curves committed.
    registerPresetUndoThenCommitCurves(*this, F, std::move(undo));

    std::function<void()> curvesAfterLayout;
    if (preset.base.presetRecordedDictionary)
        curvesAfterLayout = [this, i, curves = *preset.base.presetRecordedDictionary] {
            loadRecordedDictionaryForFilterAtIndex(i, curves);
        };
    finishPresetChange(*this, F, speedBefore, nullptr, preset.plugins ? &*preset.plugins : nullptr,
                       curvesAfterLayout);
}

void AudioController::loadPreset(const PresetUndoRecord& U) {
    pausePlayer(*this);
    const std::shared_ptr<MusicFilter> track = U.audioFilter.lock();
    MusicFilter* F = track.get();
    const quint64 i = indexOfTrack(F);
    const TrackRecord* T = trackRecordAt(i);
    if (!F || !T) return;
    const bool selected = i == currentSelectedAudio.load();

    PresetUndoRecord inverse;
    inverse.audioUndoDictionary = parametersDictionaryAtIndex(i);
    inverse.audioFilter = track;
    inverse.audioIndex = i;
    inverse.typeOfRecordedCurve = F->typeOfRecordedCurve;
    const double speedBefore = F->value(EffectInput::Speed);

    copyFilterValuesFromDictionary(U.audioUndoDictionary, *T);
    if (selected) applyValuesToSelectedAudio(i);
    F->updateListenerParametersToAudioUnits();
    trackcopies::fadesIntoLane(*F);

    automation.tempRecorderParameters = automation::copyRecordedDictionary(U.audioUndoRecordedDictionary);
    inverse.audioUndoPluginsArray = pluginsOf(*F);
    trackcopies::insertAll(F->pluginsPresetsDictionary, U.audioUndoPluginsArray.presetPluginsPresetsDictionary);
    trackcopies::insertAll(F->pluginsClassInfosDictionary, U.audioUndoPluginsArray.presetPluginsClassInfoDictionary);
    inverse.audioUndoMidiArray = notelists::createACopyOfMidiArray(*F);
    notelists::updateMIDIArrayFromArray(*F, U.audioUndoMidiArray);
    // The curves play with the style they were made in.
    F->typeOfRecordedCurve = U.typeOfRecordedCurve;

    registerPresetUndoThenCommitCurves(*this, F, std::move(inverse));
    F->showParameterCurve = 0;
    if (selected) applyValuesToSelectedAudio(i);
    if (ui.audioView)
        for (const TrackRecord& r : ui.audioView->audioTracks)
            if (auto* lane = trackLaneOf(r.audioFilter.get())) lane->update();

    finishPresetChange(*this, F, speedBefore, &U.audioUndoInfoDictionary, &U.audioUndoPluginsArray, nullptr);
}

void AudioController::updatePluginsForFilter(MusicFilter* F, const QList<units::AudioUnitBundleRecord>* bundles,
                                             const QStringList& activeNames) {
    if (!F) return;
    delete F->pluginsPopUpButton.data();
    delete F->pluginsCheckButton.data();
    if (!F->replacePluginCatalogue(bundles ? *bundles : QList<units::AudioUnitBundleRecord>(),
                                   bundles ? activeNames : QStringList()))
        return;
    std::weak_ptr<MusicFilter> weak = F->weak_from_this();
    QPointer<AudioController> self(this);
    MainQueue::async([self, weak] {
        auto t = weak.lock();
        if (!self || !t) return;
        self->createPopUpButtonForFilter(t.get());
        self->enablePluginsNameForFilter(t.get());
    });
}

// ---- The window ------------------------------------------------------------------------

void AudioController::setupPresetsWindow() {
    if (presets.presetsWindow) return;
    auto* window = new PresetsWindow(ui.window);
    presets.presetsWindow = window;
    presets.presetsTextField = window->presetsTextField;
    presets.browserOwner = std::make_shared<BrowserOwner>(this);
    presets.presetsViewController = new PresetsViewController(window->presetsBrowserView, presets.browserOwner.get(), window);
    QObject::connect(window->saveButton, &QPushButton::clicked, this, [this] { savePresetFrom(); });
    QObject::connect(window->presetsTextField, &QLineEdit::returnPressed, this,
                     [this, field = window->presetsTextField] { savePresetFrom(field); });
    QObject::connect(window->deleteButton, &QPushButton::clicked, this, [this] { removePresetFrom(); });
    QObject::connect(window->copyButton, &QPushButton::clicked, this, [this] { copyPresetFilterToPasteboardFrom(); });
    presets.presetsViewController->updatePresetImages();
}

void AudioController::showPresetsWindowFrom() {
    setupPresetsWindow();
    PresetsWindow* window = presets.presetsWindow;
    if (!window || window->isVisible()) return;
    window->show();
    window->raise();
    window->activateWindow();
}

void installPresetCommands(AudioController* c) {
    c->setupPresetsWindow();
    if (!c->ui.window) return;
    QMenu* windows = nullptr;
    for (QAction* a : c->ui.window->menuBar()->actions())
        if (a->menu() && a->text() == QStringLiteral("Window")) windows = a->menu();
    if (!windows) return;
    QAction* show = windows->addAction(QStringLiteral("Presets"));
    show->setObjectName(QStringLiteral("presetsAction"));
    QObject::connect(show, &QAction::triggered, c, &AudioController::showPresetsWindowFrom);
}
