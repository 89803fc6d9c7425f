// A track's installed plug-ins: the list of the catalogue scanned at
// start-up with the two instruments, the track's pop-up and check box (in
// the accent orange), making a plug-in's unit on first use and showing its
// view in the unit panel, switching plug-ins on and off, switching saved
// ones back on, and the sampler command.
//
// Pop-up item i stands for pluginsArray entry i. With duplicate names the
// pop-up's operations use the selected item's own record; switching saved
// names back on takes the first record of each name.

#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "platform/core/MainQueue.h"
#include "platform/units/PluginHost.h"
#include "platform/units/Unit.h"
#include "views/AudioUnitPanel.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>

namespace {

QComboBox* popUpOf(const MusicFilter* f) { return f ? qobject_cast<QComboBox*>(f->pluginsPopUpButton.data()) : nullptr; }
QCheckBox* checkOf(const MusicFilter* f) { return f ? qobject_cast<QCheckBox*>(f->pluginsCheckButton.data()) : nullptr; }

// A track with an instrument unit has its MIDI set-up.
bool hasInstrument(const MusicFilter* f) {
    for (const PluginRecord& r : f->pluginsArray())
        if (r.audioUnit && r.audioUnit->isInstrument()) return true;
    return false;
}

// Desaturated and tinted in the accent orange; the open list's selected row
// is dark on the accent.
const char* const kPluginControlLook =
    "QComboBox, QCheckBox { color: rgb(255, 186, 38); }"
    "QComboBox { selection-background-color: rgb(255, 186, 38); selection-color: black; }"
    "QCheckBox::indicator { border: 1px solid rgb(255, 186, 38); width: 12px; height: 12px; border-radius: 3px; }"
    "QCheckBox::indicator:checked { background: rgb(255, 186, 38); }";

}  // namespace

units::AudioUnitBundleRecord AudioController::dictionaryForMIDISubType(const QString& subtype, const QString& name) {
    units::AudioComponentRecord component{QStringLiteral("aumu"), subtype, QStringLiteral("appl"), name, true};
    units::AudioUnitBundleRecord record;
    record.AudioComponents = {component};
    return record;
}

void AudioController::audioUnitPluginURLsForFilter(MusicFilter* filter) {
    if (!filter) return;
    // The catalogue of the scan made at start-up, never a scan per track.
    filter->dynamicAudioUnits.append(units::PluginCatalogue::current()->bundleRecords());
    filter->dynamicAudioUnits.append(dictionaryForMIDISubType(QStringLiteral("samp"), QStringLiteral("Apple: AU Sampler")));
    filter->dynamicAudioUnits.append(dictionaryForMIDISubType(QStringLiteral("dls "), QStringLiteral("Apple: DLS Synth")));
}

void AudioController::createPopUpButtonForFilter(MusicFilter* filter) {
    if (!filter) return;
    delete filter->pluginsPopUpButton.data();
    delete filter->pluginsCheckButton.data();
    auto* popUp = new QComboBox;
    popUp->setGeometry(0, 11, 160, 25);
    for (const PluginRecord& r : filter->pluginsArray()) popUp->addItem(r.audioUnitName);
    popUp->setCurrentIndex(popUp->count() > 0 ? 0 : -1);
    filter->lastSelectedPlugin = 0;
    std::weak_ptr<MusicFilter> weak = filter->weak_from_this();
    QObject::connect(popUp, &QComboBox::activated, this, [this, weak](int) {
        if (auto t = weak.lock()) showAudioUnitForPluginObject(t.get());
    });
    auto* check = new QCheckBox;
    check->setGeometry(18, 16, 61, 18);
    QObject::connect(check, &QCheckBox::clicked, this, [this, check] { pluginEnableCheckFrom(check); });
    popUp->move(check->x() + check->width() + 3, popUp->y());
    for (QWidget* w : {static_cast<QWidget*>(popUp), static_cast<QWidget*>(check)})
        w->setStyleSheet(QString::fromLatin1(kPluginControlLook));
    filter->pluginsPopUpButton = popUp;
    filter->pluginsCheckButton = check;
}

void AudioController::applyItemTitleRule(MusicFilter* filter, int index, const PluginRecord& record) {
    QComboBox* popUp = popUpOf(filter);
    if (!popUp || index < 0 || index >= popUp->count()) return;
    QFont font = popUp->font();
    font.setBold(record.audioUnitEnabled);
    popUp->setItemData(index, record.audioUnitEnabled ? QVariant(font) : QVariant(), Qt::FontRole);
    if (!record.audioUnitEnabled) popUp->setItemText(index, record.audioUnitName);
    if (popUp->currentIndex() == index)
        if (QCheckBox* check = checkOf(filter)) check->setChecked(record.audioUnitEnabled);
}

void AudioController::showAudioUnitForPluginObject(MusicFilter* filter) {
    MusicFilter* track = filter ? filter : trackAt(currentSelectedAudio.load());
    if (!track || !trackAt(currentSelectedAudio.load())) return;
    QComboBox* popUp = popUpOf(track);
    if (!popUp) return;
    const int s = popUp->currentIndex();
    if (s < 0 || s >= track->pluginsArray().size()) return;
    const PluginRecord record = track->pluginsArray()[s];
    std::weak_ptr<MusicFilter> weak = track->weak_from_this();
    if (record.audioUnitPointerSet) {
        MainQueue::async([this, weak, record, s] {
            auto t = weak.lock();
            if (!t) return;
            applyItemTitleRule(t.get(), s, record);
            completeShowAfterPluginCreationForFilter(t.get(), record);
        });
        return;
    }
    MainQueue::async([weak, record, s] {
        if (auto t = weak.lock()) t->createPluginForName(record.audioUnitName, s, true);
    });
}

// A plug-in's unit has arrived: the record takes it, switched on or off.
std::optional<PluginRecord> AudioController::takeArrivedPluginUnit(MusicFilter* filter, units::Unit* unit,
                                                                  int64_t index, bool enabled) {
    if (!filter || !unit || index < 0 || index >= filter->pluginsArray().size()) {
        AudioControllerServices::completeEnablePluginsNameForFilter(filter, unit, index);
        return std::nullopt;
    }
    const PluginRecord old = filter->pluginsArray()[int(index)];
    filter->replacePluginRecord(int(index), PluginRecord{unit, old.audioUnitName, enabled, old.audioUnitType, true});
    filter->releasePluginUnits({old.audioUnit});
    return old;
}

// The unit made for showing has arrived: the user asked for it, so it plays.
void AudioController::showAudioUnitForPlugin(units::Unit* unit, MusicFilter* filter, int64_t index) {
    const std::optional<PluginRecord> old = takeArrivedPluginUnit(filter, unit, index, true);
    if (!old) return;
    filter->setPluginSwitchedOff(old->audioUnitName, false);
    if (!filter->filterActivePluginsName.contains(old->audioUnitName))
        filter->filterActivePluginsName.append(old->audioUnitName);
    filter->updateListenerParametersFromAudioUnits();
    const PluginRecord record = filter->pluginsArray()[int(index)];
    applyItemTitleRule(filter, int(index), record);
    completeShowAfterPluginCreationForFilter(filter, record);
    if (automation.hasToShowNotesView) {
        automation.hasToShowNotesView = false;
        showNotesViewFrom();
    }
}

void AudioController::completeShowAfterPluginCreationForFilter(MusicFilter* filter, const PluginRecord& record) {
    if (!filter || !record.audioUnitPointerSet || !record.audioUnit) return;
    if (QComboBox* popUp = popUpOf(filter)) filter->lastSelectedPlugin = popUp->currentIndex();
    if (auto previous = unitPanels.currentFilterInAudioUnitPanel.lock()) previous->updateListenerParametersFromAudioUnits();
    unitPanels.currentFilterInAudioUnitPanel = filter->weak_from_this();
    QWidget* view = filter->createCocoaViewForPlugin(record.audioUnit, record.audioUnitName);
    if (!view) view = filter->createCustomViewForAudioUnit(record.audioUnit);
    showAudioUnitView(view, record.audioUnitName);
}

void AudioController::pluginEnableCheckFrom(QAbstractButton* sender) {
    MusicFilter* track = trackAt(currentSelectedAudio.load());
    if (!track || !sender) return;
    bool on = sender->isChecked();
    QComboBox* popUp = popUpOf(track);
    const int s = popUp ? popUp->currentIndex() : -1;
    if (s < 0 || s >= track->pluginsArray().size()) {
        sender->setChecked(false);
        return;
    }
    const PluginRecord rec = track->pluginsArray()[s];
    if (on && !rec.audioUnitPointerSet) {
        // The unit comes later; its arrival switches the plug-in on and
        // ticks the box.
        sender->setChecked(false);
        std::weak_ptr<MusicFilter> weak = track->weak_from_this();
        MainQueue::async([weak, rec, s] {
            if (auto t = weak.lock()) t->createPluginForName(rec.audioUnitName, s, true);
        });
        return;
    }
    if (!rec.audioUnit) {
        sender->setChecked(false);
        on = false;
    }
    PluginRecord changed = rec;
    changed.audioUnitEnabled = on;
    track->replacePluginRecord(s, changed);
    track->setPluginSwitchedOff(changed.audioUnitName, !on);
    if (!changed.audioUnitPointerSet) return;
    applyItemTitleRule(track, s, changed);
    if (on) {
        auto* panel = qobject_cast<AudioUnitPanel*>(trackList.audioUnitPanel.data());
        const bool shown = panel && panel->isVisible() && panel->contentView() &&
                           panel->windowTitle() == changed.audioUnitName;
        if (!shown) completeShowAfterPluginCreationForFilter(track, changed);
    }
}

void AudioController::enablePluginsNameForFilter(MusicFilter* filter) {
    if (!filter) return;
    filter->pluginsToEnable = uint64_t(filter->filterActivePluginsName.size());
    if (filter->pluginsToEnable == 0) return;
    auto countOff = [filter] {
        if (filter->pluginsToEnable > 0 && --filter->pluginsToEnable == 0) filter->tempAudioUnitsArray.clear();
    };
    const QStringList names = filter->filterActivePluginsName;
    for (const QString& name : names) {
        const int j = filter->firstPluginIndexNamed(name);
        if (j < 0 || filter->pluginsArray()[j].audioUnitPointerSet) {
            countOff();
            continue;
        }
        filter->createPluginForName(name, j, false);
    }
}

// One re-enabled plug-in's unit has arrived. A record whose list has
// changed meanwhile does not take it: the default rule disposes of it.
void AudioController::completeEnablePluginsNameForFilter(MusicFilter* filter, units::Unit* unit, int64_t index) {
    // It comes back as the user left it: a plug-in switched off stays off.
    const bool enabled = filter && index >= 0 && index < filter->pluginsArray().size() &&
                         !filter->filterSwitchedOffPluginsName.contains(filter->pluginsArray()[int(index)].audioUnitName);
    if (!takeArrivedPluginUnit(filter, unit, index, enabled)) return;
    if (!filter->tempAudioUnitsArray.empty()) {
        // The saved record applies whole (values, switches of the built-in
        // units, the band count) and goes into the re-made units. Which
        // plug-ins are on stays as the user set it: the record was taken
        // before the rebuild and knows nothing of a switch made since.
        const std::vector<ListenerParameterRecord> saved = filter->tempAudioUnitsArray;
        updateListenerAudioUnitsFromArray(&saved, filter, PluginSwitches::Keep);
        filter->updateListenerParametersToAudioUnits();
    } else {
        filter->updateListenerParametersFromAudioUnits();
    }
    applyItemTitleRule(filter, int(index), filter->pluginsArray()[int(index)]);
    if (filter->pluginsToEnable > 0 && --filter->pluginsToEnable == 0) filter->tempAudioUnitsArray.clear();
}

void AudioController::createAUSamplerFrom(MusicFilter* filter) {
    if (shell.audioControllerIsWorking || trackCount() == 0) return;
    MusicFilter* selected = trackAt(currentSelectedAudio.load());
    if (!selected) return;
    MusicFilter* track = filter ? filter : selected;
    QComboBox* popUp = popUpOf(track);
    if (!popUp) return;
    if (hasInstrument(track)) {
        automation.hasToShowNotesView = false;
        showNotesViewFrom();
        return;
    }
    const int i = track->firstPluginIndexNamed(QStringLiteral("Apple: AU Sampler"));
    if (i < 0) return;
    popUp->setCurrentIndex(i);
    automation.hasToShowNotesView = true;
    showAudioUnitForPluginObject(track);
}

