// The track menu, "Item Menu": every command that applies to one track in
// its present state (plug-ins, notes, the time selection and pasted ranges,
// the settings bound to selections, the editing mode, automation recording
// and the curves of the nine effect groups), built afresh each time it is
// about to show. Each item carries what it stands for as its data: a track
// as the address of its MusicFilter, a plug-in record as a map of its fields.
//
// It hangs in the menu bar's "Mix" menu (one item per track, rebuilt each
// time the menu holding it opens), pops up over the track-menu button and is
// the lane's "Mix" submenu. While the pointer rests on a key point or a
// selection-parameter range of its submenus, the lane shows it highlighted;
// resting on a track of the "Mix" menu selects that track.
#include "app/AudioController.h"
#include "app/MenuItems.h"

#include "automation/Pasteboard.h"
#include "engine/MusicFilter.h"
#include "midi/MIDIManager.h"
#include "platform/media/Asset.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/LineView.h"
#include "views/NotesPanel.h"

#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include <algorithm>

using menuitems::addCommand;
using menuitems::menuText;

namespace {

const QString kSamplerName = QStringLiteral("Apple: AU Sampler");

QVariant trackData(const MusicFilter* t) { return QVariant::fromValue(quintptr(t)); }

// A plug-in record as an item's data, as it stands when the menu is built.
QVariantMap pluginRecordData(const PluginRecord& r) {
    return {{QStringLiteral("audioUnit"), QVariant::fromValue(quintptr(r.audioUnit))},
            {QStringLiteral("audioUnitName"), r.audioUnitName},
            {QStringLiteral("audioUnitEnabled"), r.audioUnitEnabled},
            {QStringLiteral("audioUnitType"), r.audioUnitType},
            {QStringLiteral("audioUnitPointerSet"), r.audioUnitPointerSet}};
}

const PluginRecord* firstRecordNamed(const MusicFilter& t, const QString& name) {
    const int i = t.firstPluginIndexNamed(name);
    return i < 0 ? nullptr : &t.pluginsArray()[i];
}

// An item with a state: on or off.
QAction* withState(QAction* a, bool on) {
    a->setCheckable(true);
    a->setChecked(on);
    return a;
}

bool remembers(const std::optional<std::vector<QPointer<QObject>>>& entries, const QObject* o) {
    return entries && o && std::find(entries->begin(), entries->end(), o) != entries->end();
}

bool isFlaggedAtOrAfterZero(const KeyPoint& p) { return p.flag.has_value() && p.time >= 0; }

}  // namespace

void AudioController::resetTrackMenuHighlights() {
    trackMenu.tempKeyPointsArray.reset();
    trackMenu.tempParametersArray.reset();
    automation.tempHighlightedKeyTime.reset();
    automation.tempIndexOfSelectedParameter = kNoIndex;
}

QAction* AudioController::addTrackMenu(QMenu* parent, std::unique_ptr<QMenu> menu, const QString& title,
                                       QAction* before) {
    if (!parent || !menu) return nullptr;
    QMenu* sub = menu.release();
    sub->setParent(parent, sub->windowFlags());
    QAction* item = sub->menuAction();
    item->setText(title);
    parent->insertAction(before, item);
    return item;
}

// ---- Building the menu -------------------------------------------------------------------------

namespace {

// The plug-ins section: manufacturers, their plug-ins with their state, and
// the switch of each plug-in whose unit is made.
void addPluginItems(AudioController& c, QMenu* m, MusicFilter& t) {
    const QVariant track = trackData(&t);
    const std::weak_ptr<MusicFilter> weak = t.weak_from_this();
    auto localized = [](const QString& a, const QString& b) { return QString::localeAwareCompare(a, b) < 0; };
    auto* manufacturers = new QMenu(QStringLiteral("Plugin Manufacturers"), m);
    QStringList names = t.pluginsMenuDictionary.keys();
    std::sort(names.begin(), names.end(), localized);
    for (const QString& manufacturer : names) {
        QMenu* plugins = manufacturers->addMenu(menuText(manufacturer));
        QList<QVariantList> entries;
        for (const QVariant& e : t.pluginsMenuDictionary.value(manufacturer).toList())
            if (e.toList().size() == 2) entries << e.toList();
        std::sort(entries.begin(), entries.end(), [&](const QVariantList& a, const QVariantList& b) {
            return localized(a[1].toString(), b[1].toString());
        });
        for (const QVariantList& entry : entries) {
            const QString name = entry[0].toString();
            QAction* item = addCommand(plugins, menuText(entry[1].toString()), QVariantList{track, name}, &c,
                                       [weak, name](AudioController& c) {
                                           if (auto f = weak.lock()) c.selectPluginFromMenu(f.get(), name);
                                       });
            const PluginRecord* record = firstRecordNamed(t, name);
            if (!record) continue;
            withState(item, record->audioUnitEnabled);
            if (!record->audioUnit || !record->audioUnitPointerSet) continue;
            // The switch: the item that changes the state is the active one.
            auto* onOff = new QMenu(QStringLiteral("Enable/Disable"), plugins);
            const PluginRecord shown = *record;
            for (const bool enable : {true, false}) {
                QAction* a = onOff->addAction(enable ? QStringLiteral("Enable") : QStringLiteral("Disable"));
                const bool active = enable != shown.audioUnitEnabled;
                a->setEnabled(active);
                if (!active) continue;
                a->setData(QVariantList{track, pluginRecordData(shown)});
                QPointer<AudioController> self(&c);
                QObject::connect(a, &QAction::triggered, &c, [self, weak, shown] {
                    if (auto f = weak.lock(); f && self) self->enableDisablePluginForInfo(f.get(), shown);
                });
            }
            item->setMenu(onOff);
        }
    }
    m->addMenu(manufacturers)->setText(QStringLiteral("Plugins"));
    m->addSeparator();
}

// The notes section of a track that plays notes. Only the main thread
// touches the note lists, so reading them needs no lock.
void addNoteItems(AudioController& c, QMenu* m, MusicFilter& t, const AudioDrawingView* lane) {
    const QVariant track = trackData(&t);
    const std::weak_ptr<MusicFilter> weak = t.weak_from_this();
    const bool hasSelection = lane && !lane->selectionPaths.isEmpty();
    auto* notes = new QMenu(QStringLiteral("Notes"), m);
    addCommand(notes, QStringLiteral("Show notes view"), {}, &c, [](AudioController& c) { c.showNotesViewFrom(); });
    if (!t.midiManager->connectedDevices().empty())
        withState(addCommand(notes, QStringLiteral("Record notes"), {}, &c,
                             [](AudioController& c) { c.recordMIDIForFilter(); }),
                  t.midiManager->recordNotes.load());
    if (!t.midiArray.empty())
        withState(addCommand(notes, QStringLiteral("Select notes"), track, &c,
                             [weak](AudioController& c) {
                                 if (auto f = weak.lock()) c.selectNotesFrom(f.get());
                             }),
                  lane && lane->isSelectingNotes);
    if (!t.currentSelectedNotes.empty())
        addCommand(notes, QStringLiteral("Copy selected notes"), {}, &c,
                   [](AudioController& c) { c.copySelectedNotes(); });
    if (!t.midiArray.empty() && hasSelection)
        addCommand(notes, QStringLiteral("Copy notes within selection"), {}, &c,
                   [](AudioController& c) { c.copyNotesInSelection(); });
    if (c.pasteboardItems && std::holds_alternative<NotesPasteboardRecord>(*c.pasteboardItems)) {
        notes->addSeparator();
        addCommand(notes, QStringLiteral("Paste notes at same time"), {}, &c, [](AudioController& c) { c.pasteNotes(); });
        addCommand(notes, QStringLiteral("Paste notes at current time"), {}, &c,
                   [](AudioController& c) { c.pasteNotesAtCurrentTime(); });
        notes->addSeparator();
    }
    if (!t.currentSelectedNotes.empty()) {
        QMenu* transpose = notes->addMenu(QStringLiteral("Transpose selected notes"));
        for (const int octaves : {-4, -3, -2, -1, 1, 2, 3, 4}) {
            const QString title = std::abs(octaves) == 1 ? QStringLiteral("%1%2 Octave") : QStringLiteral("%1%2 Octaves");
            addCommand(transpose, title.arg(octaves > 0 ? QStringLiteral("+") : QString()).arg(octaves), octaves, &c,
                       [octaves](AudioController& c) { c.transposeSelectedNotes(octaves); });
        }
        addCommand(notes, QStringLiteral("Remove selected notes"), {}, &c,
                   [](AudioController& c) { c.removeSelectedNotes(); });
    }
    if (hasSelection)
        addCommand(notes, QStringLiteral("Remove notes within selection"), {}, &c,
                   [](AudioController& c) { c.removeNotesInSelection(); });
    m->addMenu(notes)->setText(menuText(QStringLiteral("Notes & Instruments")));
    m->addSeparator();
}

}  // namespace

std::unique_ptr<QMenu> AudioController::trackMenuForIndex(quint64 index) {
    const TrackRecord* record = trackRecordAt(index);
    if (!record || !record->audioFilter) return nullptr;
    MusicFilter& t = *record->audioFilter;
    const std::weak_ptr<MusicFilter> weak = record->audioFilter;
    const QVariant track = trackData(&t);
    const AudioDrawingView* lane = trackLaneOf(&t);
    auto menu = std::make_unique<QMenu>(QStringLiteral("Item Menu"));
    QMenu* m = menu.get();

    if (!t.pluginsMenuDictionary.isEmpty()) addPluginItems(*this, m, t);
    if (t.midiManager) addNoteItems(*this, m, t, lane);

    QAction* selectArea = addCommand(m, QStringLiteral("Select track area"), {}, this,
                                     [](AudioController& c) { c.menuSelectComposition(); });

    // The time selection.
    const bool selectionItems = lane && !lane->selectionPaths.isEmpty();
    if (selectionItems) {
        addCommand(m, QStringLiteral("Copy current selection"), {}, this,
                   [](AudioController& c) { c.copyCurrentSelectionFrom(); });
        addCommand(m, QStringLiteral("Cut current selection"), {}, this,
                   [](AudioController& c) { c.cutCurrentSelectionFrom(); });
        addCommand(m, QStringLiteral("Remove current selection"), {}, this,
                   [](AudioController& c) { c.menuRemoveSelectionWithUpdateAudioPlayer(); });
        QMenu* speed = m->addMenu(QStringLiteral("Speed of the selection"));
        const char* speeds[] = {"0.25x", "0.5x", "1.0x", "1.25x", "1.5x", "2.0x"};
        for (quint64 i = 0; i < 6; ++i)
            addCommand(speed, QString::fromLatin1(speeds[i]), QVariant::fromValue(i), this,
                       [i](AudioController& c) { c.pasteSelectionWithSpeed(i); });
        addCommand(m, QStringLiteral("Assign parameters to selection"), track, this, [weak](AudioController& c) {
            if (auto f = weak.lock()) c.assignParametersToCurrentSelection(f.get());
        });
        m->addSeparator();
    }

    // The marks of pasted ranges.
    const bool pasteItems = lane && !lane->selectionPastes.isEmpty();
    if (pasteItems) {
        if (!selectionItems) m->addSeparator();
        addCommand(m, QStringLiteral("Do not show selections"), track, this, [weak](AudioController& c) {
            if (auto f = weak.lock()) c.removeSelectionPastesFrom(f.get());
        });
        m->addSeparator();
    }

    // The settings bound to selections, each removable; an existing but
    // empty list still brings its (empty) submenu.
    if (auto entries = automation.selectionParameters.find(t.identifierOfFilter);
        entries != automation.selectionParameters.end()) {
        if (!selectionItems && !pasteItems) m->addSeparator();
        auto* parameters = new QMenu(QStringLiteral("Selection Parameters"), m);
        if (!trackMenu.tempParametersArray) trackMenu.tempParametersArray.emplace();
        for (quint64 i = 0; i < entries->second.size(); ++i) {
            const SelectionParametersRecord& e = entries->second[i];
            // The range as the lane draws it and the render applies it.
            const auto [from, to] = selectionWindowOf(t, e.selectionParametersStartPercent, e.selectionParametersEndPercent);
            QAction* a = addCommand(parameters, QString::asprintf("Start: %.2f s - End: %.2f s", from, to),
                                    QVariantList{track, QVariant::fromValue(i)}, this, [weak, i](AudioController& c) {
                                        if (auto f = weak.lock()) c.removeParametersFromSelectionIndex(f.get(), i);
                                    });
            trackMenu.tempParametersArray->push_back(a);
        }
        trackMenu.tempParametersArray->push_back(parameters);
        connect(parameters, &QMenu::hovered, this, [this, parameters](QAction* a) { menuWillHighlightItem(parameters, a); });
        connect(parameters, &QMenu::aboutToHide, this, [this, parameters] { menuDidClose(parameters); });
        m->addMenu(parameters)->setText(QStringLiteral("Remove parameters"));
        m->addSeparator();
    }

    QAction* trimArea = addCommand(m, menuText(QStringLiteral("Trim & Arrange selected track")), {}, this,
                                   [](AudioController& c) { c.menuTrimComposition(); });
    m->addSeparator();
    withState(selectArea, t.typeOfComposition == 0);
    withState(trimArea, t.typeOfComposition == 1);

    // The sampler, offered until its unit is made.
    if (!t.midiManager)
        if (const PluginRecord* sampler = firstRecordNamed(t, kSamplerName); sampler && !sampler->audioUnitPointerSet) {
            addCommand(m, QStringLiteral("Add Sampler for MIDI device"), track, this, [weak](AudioController& c) {
                if (auto f = weak.lock()) c.createAUSamplerFrom(f.get());
            });
            m->addSeparator();
        }

    // Automation recording.
    const auto curvesIt = automation.recordedParameters.find(t.identifierOfFilter);
    const TrackCurves* curves = curvesIt == automation.recordedParameters.end() ? nullptr : &curvesIt->second;
    const bool hasCurves = curves && !curves->empty();
    QAction* noRecord = addCommand(m, QStringLiteral("Do not record parameters"), {}, this,
                                   [](AudioController& c) { c.noRecorParameters(); });
    QAction* recordItem = addCommand(m, QStringLiteral("Record parameters"), {}, this,
                                 [](AudioController& c) { c.freeRecordParameters(); });
    if (pasteboardItems && std::holds_alternative<CurvePasteboardRecord>(*pasteboardItems))
        addCommand(m, QStringLiteral("Paste recorded curve(s)"), {}, this, [](AudioController& c) { c.pasteAudioFileFrom(); });
    withState(noRecord, t.isRecordingParameters == 0);
    withState(recordItem, t.isRecordingParameters == 1);
    if (t.isRecordingParameters == 1 && hasCurves) {
        m->addSeparator();
        withState(addCommand(m, QStringLiteral("Mouse click: add/adjust Key Point"), {}, this,
                             [](AudioController& c) { c.addAdjustKeyPoints(); }),
                  t.isDeletingKeyPoints == 0);
        withState(addCommand(m, QStringLiteral("Mouse click: remove Key Point"), {}, this,
                             [](AudioController& c) { c.removeKeyPoints(); }),
                  t.isDeletingKeyPoints == 1);
    }

    // The curve style.
    m->addSeparator();
    withState(addCommand(m, QStringLiteral("Step curve - Sustain"), {}, this, [](AudioController& c) { c.sustainCurve(); }),
              t.typeOfRecordedCurve == 0);
    withState(addCommand(m, QStringLiteral("Linear curve - Ramp"), {}, this,
                         [](AudioController& c) { c.linearRampCurve(); }),
              t.typeOfRecordedCurve == 1);

    QAction* showNone = nullptr;
    if (hasCurves) {
        m->addSeparator();
        showNone = withState(
            addCommand(m, QStringLiteral("Show No curve"), {}, this, [](AudioController& c) { c.showNoRecordCurve(); }),
            false);
    }
    m->addSeparator();

    // The nine effect groups: the commands of a curve the track has, else its Add.
    const auto& effects = curveEffects();
    std::array<QAction*, 10> showItems{};
    for (uint64_t e = 1; e < effects.size(); ++e) {
        const QString name = QString::fromUtf8(effects[e].name);
        const bool has = curves && std::any_of(effects[e].keys.begin(), effects[e].keys.end(),
                                               [&](const QString& k) { return curves->count(k) != 0; });
        auto title = [&](const char* verb) { return menuText(QStringLiteral("%1 %2 curve").arg(QLatin1String(verb), name)); };
        if (!has) {
            addCommand(m, title("Add"), {}, this, [e](AudioController& c) { c.addRecordCurve(e); });
            continue;
        }
        if (e != 1) m->addSeparator();
        showItems[e] = withState(addCommand(m, title("Show"), {}, this, [e](AudioController& c) { c.showRecordCurve(e); }),
                                 false);
        addCommand(m, title("Copy"), {}, this, [e](AudioController& c) { c.copyRecordCurve(e); });
        addCommand(m, title("Reset"), {}, this, [e](AudioController& c) { c.resetRecordCurve(e); });
        addCommand(m, title("Remove"), {}, this, [e](AudioController& c) { c.removeRecordCurve(e); });
        m->addSeparator();
    }

    // The shown curve: its state and its key points.
    const uint64_t v = t.showParameterCurve;
    if (v != 0) m->addSeparator();
    if (v == 0 && showNone) showNone->setChecked(true);
    if (v >= 1 && v < effects.size()) {
        if (showItems[v]) showItems[v]->setChecked(true);
        for (int k = 0; k < effects[v].keys.size(); ++k)
            addSubmenuForMenu(m, &t, effects[v].keys[k], effects[v].keyPointTitles[k]);
    }
    return menu;
}

void AudioController::addSubmenuForMenu(QMenu* menu, MusicFilter* track, const QString& key, const QString& title) {
    if (!menu || !track) return;
    const auto curvesIt = automation.recordedParameters.find(track->identifierOfFilter);
    if (curvesIt == automation.recordedParameters.end()) return;
    const auto curve = curvesIt->second.find(key);
    if (curve == curvesIt->second.end() || curve->second.empty()) return;
    if (std::none_of(curve->second.begin(), curve->second.end(), isFlaggedAtOrAfterZero)) return;

    // The points' items are made when the submenu first opens: a long curve
    // costs nothing until then.
    auto* list = new QMenu(QStringLiteral("Item List Menu"), menu);
    if (!trackMenu.tempKeyPointsArray) trackMenu.tempKeyPointsArray.emplace();
    trackMenu.tempKeyPointsArray->push_back(list);
    const std::weak_ptr<MusicFilter> weak = track->weak_from_this();
    connect(list, &QMenu::aboutToShow, this, [this, list, weak, key] {
        auto f = weak.lock();
        if (!list->isEmpty() || !f) return;
        const auto curvesIt = automation.recordedParameters.find(f->identifierOfFilter);
        if (curvesIt == automation.recordedParameters.end()) return;
        const auto curve = curvesIt->second.find(key);
        if (curve == curvesIt->second.end()) return;
        const auto [minValue, maxValue] = laneValueRange(key);
        if (!trackMenu.tempKeyPointsArray) trackMenu.tempKeyPointsArray.emplace();
        trackMenu.tempKeyPointsArray->reserve(trackMenu.tempKeyPointsArray->size() + curve->second.size());
        for (const KeyPoint& p : curve->second) {
            if (!isFlaggedAtOrAfterZero(p)) continue;
            const QString title = QStringLiteral("Time: %1 - Value: %2")
                                      .arg(LineView::stringForTime(p.time), QString::asprintf("%.3f", p.value));
            QAction* a = addCommand(list, title, QVariantList{p.time, p.value, minValue, maxValue}, this,
                                    [p](AudioController& c) { c.updateKeyPoints(p); });
            trackMenu.tempKeyPointsArray->push_back(a);
        }
    });
    connect(list, &QMenu::hovered, this, [this, list](QAction* a) { menuWillHighlightItem(list, a); });
    connect(list, &QMenu::aboutToHide, this, [this, list] { menuDidClose(list); });
    menu->addMenu(list)->setText(menuText(title));
}

// ---- Highlighting ----------------------------------------------------------------------------------

void AudioController::menuWillHighlightItem(QMenu* menu, QAction* item) {
    if (!menu) return;
    // Resting on a track of the "Mix" menu selects it, so that its submenu's
    // commands act on it.
    if (trackMenu.mixMenu && menu == trackMenu.mixMenu->menu()) {
        const qsizetype i = item ? menu->actions().indexOf(item) : -1;
        if (i < 0 || i >= trackCount()) return;
        if (quint64(i) != currentSelectedAudio.load()) rulerSelectTrack(quint64(i));
    }
    AudioDrawingView* lane = trackLaneOf(trackAt(currentSelectedAudio.load()));
    if (trackMenu.tempKeyPointsArray) {
        automation.tempHighlightedKeyTime.reset();
        if (remembers(trackMenu.tempKeyPointsArray, item)) {
            const QVariantList p = item->data().toList();
            if (p.size() == 4)
                automation.tempHighlightedKeyTime =
                    HighlightedKeyPointRecord{p[0].toDouble(), p[1].toDouble(), p[2].toDouble(), p[3].toDouble()};
        }
        if (lane) lane->update();
    }
    if (!trackMenu.tempParametersArray) return;
    automation.tempIndexOfSelectedParameter = kNoIndex;
    if (remembers(trackMenu.tempParametersArray, item)) {
        const QVariantList p = item->data().toList();
        if (p.size() == 2) automation.tempIndexOfSelectedParameter = p[1].toULongLong();
    }
    if (lane) lane->update();
}

void AudioController::menuDidClose(QMenu* menu) {
    AudioDrawingView* lane = trackLaneOf(trackAt(currentSelectedAudio.load()));
    if (remembers(trackMenu.tempKeyPointsArray, menu)) {
        automation.tempHighlightedKeyTime.reset();
        if (lane) lane->update();
    }
    if (remembers(trackMenu.tempParametersArray, menu)) {
        automation.tempIndexOfSelectedParameter = kNoIndex;
        if (lane) lane->update();
    }
}

// ---- The "Mix" menu and the menu over a control --------------------------------------------------

void AudioController::mixMenuDidBeginTracking(QMenu* parent) {
    if (!trackMenu.mixMenu || !parent || !parent->actions().contains(trackMenu.mixMenu.data())) return;
    resetTrackMenuHighlights();
    auto* mix = new QMenu(QStringLiteral("Mix"), parent);
    if (trackCount() == 0) {
        mix->addAction(QStringLiteral("No tracks"))->setEnabled(false);
    } else {
        connect(mix, &QMenu::hovered, this, [this, mix](QAction* a) { menuWillHighlightItem(mix, a); });
        for (int i = 0; i < trackCount(); ++i) {
            const MusicFilter* t = trackAt(quint64(i));
            QString name = t->nameOfSourceTrack;
            if (name.isEmpty() && t->playerAsset) name = QFileInfo(t->playerAsset->url().toLocalFile()).fileName();
            addTrackMenu(mix, trackMenuForIndex(quint64(i)), menuText(QStringLiteral("Track %1 - %2").arg(i + 1).arg(name)));
        }
    }
    QMenu* old = trackMenu.mixMenu->menu();
    trackMenu.mixMenu->setMenu(mix);
    if (old) old->deleteLater();
}

void AudioController::showRecorderOptionsMenu(QWidget* sender) {
    resetTrackMenuHighlights();
    std::unique_ptr<QMenu> menu = trackMenuForIndex(currentSelectedAudio.load());
    if (!menu || !sender) return;
    if (trackMenu.recorderOptionsMenu) trackMenu.recorderOptionsMenu->close();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    trackMenu.recorderOptionsMenu = menu.get();
    menu.release()->popup(sender->mapToGlobal(QPoint(0, sender->height())));
}

void installTrackMenuCommands(AudioController* c) {
    MainWindowUi& ui = c->ui;
    if (ui.trackMenuButton)
        QObject::connect(ui.trackMenuButton, &QPushButton::clicked, c,
                         [c, b = ui.trackMenuButton] { c->showRecorderOptionsMenu(b); });
    if (ui.editingModeButton)
        QObject::connect(ui.editingModeButton, &QPushButton::clicked, c, [c] { c->changeModeSelectionTrimFrom(); });
    if (ui.laneInfoButton)
        QObject::connect(ui.laneInfoButton, &QPushButton::clicked, c,
                         [c, b = ui.laneInfoButton] { c->showInfoPopoverFrom(b); });
    // The notes panel's note modes act on the selected track's lane.
    if (NotesPanel* panel = ui.notesPanel) {
        QObject::connect(panel->selectNotesButton, &QPushButton::clicked, c,
                         [c, b = panel->selectNotesButton] { c->selectNotesFrom(b); });
        QObject::connect(panel->adjustNotesButton, &QPushButton::clicked, c,
                         [c, b = panel->adjustNotesButton] { c->adjustNotesFrom(b); });
    }
    if (!ui.window) return;
    // The "Mix" menu is the last item of the Track menu, rebuilt each time
    // that menu opens.
    QMenu* track = nullptr;
    for (QAction* a : ui.window->menuBar()->actions())
        if (a->menu() && a->text() == QLatin1String("Track")) track = a->menu();
    if (!track) track = ui.window->menuBar()->addMenu(QStringLiteral("Track"));
    track->addSeparator();
    c->trackMenu.mixMenu = track->addAction(QStringLiteral("Mix"));
    c->trackMenu.mixMenu->setMenu(new QMenu(QStringLiteral("Mix"), track));
    c->trackMenu.mixMenu->setObjectName(QStringLiteral("mixMenu"));
    QObject::connect(track, &QMenu::aboutToShow, c, [c, track] { c->mixMenuDidBeginTracking(track); });
}
