// A lane's context menu, "Item Menu": built afresh on every right-click from
// the track, the controller and the markers, then popped up. Each item
// carries its argument as the action's data; an item whose command the
// application does not have yet stands disabled.
#include "app/AudioController.h"
#include "app/MenuItems.h"

#include "automation/RecordedParameters.h"
#include "engine/MusicFilter.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetTrack.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/EQSubview.h"
#include "views/LineView.h"

#include <QFileInfo>
#include <QMenu>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {

const QString kAudioMixKey = QStringLiteral("inputAudioMix");

using menuitems::addCommand;
using menuitems::menuText;

// An item whose command is not part of the application yet: shown disabled.
QAction* addPending(QMenu* menu, const QString& title, const QVariant& data = {}) {
    QAction* a = menu->addAction(title);
    a->setData(data);
    a->setEnabled(false);
    return a;
}

bool hasVideo(const MusicFilter& track) {
    return track.playerAsset && !track.playerAsset->tracksWithMediaType(MediaType::Video).empty();
}

}  // namespace

std::unique_ptr<QMenu> AudioController::laneMenuForIndex(quint64 index, double x) {
    TrackRecord* record = trackRecordAt(index);
    if (!record || !record->audioFilter) return nullptr;
    const std::shared_ptr<MusicFilter> owner = record->audioFilter;
    MusicFilter& track = *owner;
    AudioDrawingView* lane = trackLaneOf(&track);

    // The menu speaks of the lane's track: select it first.
    if (currentSelectedAudio.load() != index) {
        currentSelectedAudio = index;
        applyValuesToSelectedAudio(index);
        if (ui.audioView) ui.audioView->update();
        if (ui.eqView) ui.eqView->update();
    }

    // Which of mute and unmute the menu offers.
    const bool S = trackIsSoloSilenced(track);
    const bool P = track.senderRecorderParameters.has_value();
    const KeyPointCurve* levelCurve = nullptr;
    if (auto t = automation.recordedParameters.find(track.identifierOfFilter); t != automation.recordedParameters.end())
        if (auto k = t->second.find(kAudioMixKey); k != t->second.end()) levelCurve = &k->second;
    const bool C = levelCurve != nullptr;
    const bool Pos = C && std::any_of(levelCurve->begin(), levelCurve->end(),
                                      [](const KeyPoint& p) { return p.value > 0.0; });
    const bool V = track.value(EffectInput::AudioMix) != 0.0f;
    enum class MuteEntry { Mute, Unmute, None } muteEntry;
    if (S) {
        // A solo-silenced track keeps a copy of the store to come back to;
        // one it already has (the one taken at its mute) is never replaced,
        // or unmuting could no longer bring its curve back.
        if (C && !P) track.senderRecorderParameters = automation::copyRecordedDictionary(automation.recordedParameters);
        muteEntry = MuteEntry::Unmute;
    } else if (P) {
        if (Pos) track.senderRecorderParameters.reset();
        muteEntry = Pos ? MuteEntry::Mute : MuteEntry::Unmute;
    } else if (!C) {
        muteEntry = V ? MuteEntry::Mute : MuteEntry::Unmute;
    } else {
        muteEntry = Pos ? MuteEntry::Mute : MuteEntry::None;
    }

    // The key-point editing state goes before the "Mix" submenu is made.
    resetTrackMenuHighlights();

    const QVariant laneIndex = QVariant::fromValue(index);
    const bool video = hasVideo(track);
    const int count = trackCount();
    auto menu = std::make_unique<QMenu>();
    menu->setTitle(QStringLiteral("Item Menu"));
    QMenu* m = menu.get();

    if (video) {
        addCommand(m, QStringLiteral("Show video track"), laneIndex, this,
                   [index](AudioController& c) { c.showCompositionWindow(index); });
        m->addSeparator();
    }
    addCommand(m, QStringLiteral("Track color..."), {}, this,
               [index](AudioController& c) { c.changeTrackColorFrom(index); });
    {
        const QUrl url = track.playerAsset ? QUrl::fromLocalFile(track.playerAsset->path()) : record->audioURL;
        const std::weak_ptr<MusicFilter> weak = owner;
        addCommand(m, QStringLiteral("Add track source file to Library"),
                   QVariantList{url, QVariant::fromValue(quintptr(&track))}, this,
                   [url, weak](AudioController& c) {
                       if (auto t = weak.lock()) c.addAudioTrackToLibrary(url, t.get());
                   });
    }
    m->addSeparator();
    addTrackMenu(m, trackMenuForIndex(index), QStringLiteral("Mix"));
    addCommand(m, QStringLiteral("Edit time..."), {}, this, [index](AudioController& c) { c.editAudioTimeFrom(index); });
    addCommand(m, QStringLiteral("Go to track start time"), {}, this,
               [](AudioController& c) { c.goToTrackStartTimeFrom(); });
    addCommand(m, QStringLiteral("Go to track end time"), {}, this,
               [](AudioController& c) { c.goToTrackEndTimeFrom(); });
    addCommand(m, QStringLiteral("Quick look..."), {}, this, [](AudioController& c) { c.showQuickLookPanel(); });
    m->addSeparator();

    if (lane && !lane->selectionPaths.isEmpty()) {
        addCommand(m, QStringLiteral("Copy current selection"), {}, this,
                   [](AudioController& c) { c.copyCurrentSelectionFrom(); });
        addCommand(m, QStringLiteral("Cut current selection"), {}, this,
                   [](AudioController& c) { c.cutCurrentSelectionFrom(); });
        addCommand(m, QStringLiteral("Remove current selection"), {}, this,
                   [](AudioController& c) { c.menuRemoveSelection(nullptr, true); });
        QMenu* speed = m->addMenu(QStringLiteral("Speed of the selection"));
        const char* speeds[] = {"0.25x", "0.5x", "1.0x", "1.25x", "1.5x", "2.0x"};
        for (quint64 i = 0; i < 6; ++i)
            addCommand(speed, QString::fromLatin1(speeds[i]), QVariant::fromValue(i), this,
                       [i](AudioController& c) { c.pasteSelectionWithSpeed(i); });
        const std::weak_ptr<MusicFilter> weak = owner;
        addCommand(m, QStringLiteral("Assign parameters to selection"), QVariant::fromValue(quintptr(&track)), this,
                   [weak](AudioController& c) {
                       if (auto t = weak.lock()) c.assignParametersToCurrentSelection(t.get());
                   });
        m->addSeparator();
    }

    if (muteEntry == MuteEntry::Mute)
        addCommand(m, QStringLiteral("Mute track"), {}, this, [index](AudioController& c) { c.muteTrackFrom(index); });
    else if (muteEntry == MuteEntry::Unmute)
        addCommand(m, QStringLiteral("Unmute track"), {}, this,
                   [index](AudioController& c) { c.unmuteTrackFrom(index); });
    addCommand(m, QStringLiteral("Solo track"), {}, this, [index](AudioController& c) { c.soloTrackFrom(index); });
    m->addSeparator();

    addCommand(m, QStringLiteral("Duplicate track"), {}, this,
               [index](AudioController& c) { c.duplicateLaneTrackFrom(index); });
    addCommand(m, QStringLiteral("Duplicate track with current settings"), {}, this,
               [index](AudioController& c) { c.duplicateWithCurrentSettingsAudioFileFrom(index); });
    addCommand(m, QStringLiteral("Invert trim"), {}, this, [](AudioController& c) { c.invertSelection(); });
    addCommand(m, QStringLiteral("Apply filters to all tracks"), {}, this,
               [index](AudioController& c) { c.applyFiltersToAllAudioFilesFrom(index); });
    m->addSeparator();

    addCommand(m, QStringLiteral("Reset filter parameters"), {}, this,
               [index](AudioController& c) { c.resetFilterParametersForAudioFileFrom(index); });
    addCommand(m, QStringLiteral("Reset EQ parameters"), {}, this,
               [index](AudioController& c) { c.resetEQParametersForAudioFileFrom(index); });
    addCommand(m, QStringLiteral("Remove"), {}, this, [index](AudioController& c) { c.removeLaneTrackFrom(index); });
    m->addSeparator();

    addCommand(m, QStringLiteral("Export current track..."), {}, this,
               [](AudioController& c) { c.saveAudioTrackFrom(); });
    if (video) {
        addCommand(m, QStringLiteral("Export audio and video track..."), {}, this,
                   [](AudioController& c) { c.saveAudioAndVideoTrackFrom(); });
        if (count >= 2)
            addCommand(m, QStringLiteral("Mix audio tracks and video track..."), {}, this,
                       [](AudioController& c) { c.saveMixAudioAndVideoTrackFrom(); });
    }
    addCommand(m, QStringLiteral("Export reversed track..."), {}, this,
               [](AudioController& c) { c.saveReversedAudioTrackFrom(); });
    m->addSeparator();

    addCommand(m, QStringLiteral("Add marker at current time..."), {}, this,
               [](AudioController& c) { c.addPlayerTimeMarkerFrom(); });
    addCommand(m, QStringLiteral("Add marker at track start time..."), laneIndex, this,
               [index](AudioController& c) { c.addStartTimeMarkerFrom(index); });
    addCommand(m, QStringLiteral("Add marker at track end time..."), laneIndex, this,
               [index](AudioController& c) { c.addEndTimeMarkerFrom(index); });

    // Markers: one item per marker in each of the five submenus, and the
    // marker within 10 points of the click, if any, to rename or remove.
    const auto& markers = editing.markersArray;
    if (!markers.empty()) {
        m->addSeparator();
        const double D = shell.compositionDuration.seconds();
        const double W = ui.audioView ? ui.audioView->frameWidth() : 0.0;
        for (size_t i = 0; i < markers.size(); ++i) {
            const double t = markers[i].markerTime;
            if (!(D > 0) || t >= D) continue;
            if (std::abs(x - t / D * W) < 10.0) {
                addCommand(m, QStringLiteral("Rename marker..."), QVariant::fromValue(quint64(i)), this,
                           [i](AudioController& c) { c.renameMarker(quint64(i)); });
                addCommand(m, QStringLiteral("Remove marker"), QVariant::fromValue(quint64(i)), this,
                           [i](AudioController& c) { c.removeMarker(quint64(i)); });
                break;
            }
        }
        struct MarkerGroup {
            const char* title;
            void (AudioController::*command)(double);
        };
        const MarkerGroup groups[] = {{"Go to marker", &AudioController::goToMarkerTime},
                                      {"Trim track start time to marker", &AudioController::updateTrimStartToMarkerTime},
                                      {"Trim track end time to marker", &AudioController::updateTrimEndToMarkerTime},
                                      {"Set start time to marker", &AudioController::updateCompositionStartToMarkerTime},
                                      {"Set end time to marker", &AudioController::updateCompositionEndToMarkerTime}};
        for (const MarkerGroup& group : groups) {
            QMenu* sub = m->addMenu(QString::fromLatin1(group.title));
            for (const MarkerRecord& marker : markers) {
                const QString time = LineView::stringForTime(marker.markerTime);
                const QString title = marker.markerName.compare(QString(), Qt::CaseInsensitive) != 0
                                          ? QStringLiteral("%1 - %2").arg(marker.markerName, time)
                                          : time;
                const double t = marker.markerTime;
                const auto command = group.command;
                addCommand(sub, menuText(title), t, this, [t, command](AudioController& c) { (c.*command)(t); });
            }
        }
    }

    // Placement beside each other track; the lane's own track is listed disabled.
    if (count >= 2) {
        m->addSeparator();
        struct Group {
            const char* title;
            bool atEnd;  // the other track's end, else its start
            void (AudioController::*command)(double);
        };
        const Group groups[] = {
            {"Place current track after track", true, &AudioController::updateCompositionStartToTrackEndTime},
            {"Place current track before track", false, &AudioController::updateCompositionEndToTrackStartTime},
            {"Place current track at track start", false, &AudioController::updateCompositionStartToTrackStartTime},
            {"End current track at track end", true, &AudioController::updateCompositionEndToTrackEndTime}};
        for (const Group& group : groups) {
            QMenu* sub = m->addMenu(QString::fromLatin1(group.title));
            for (int i = 0; i < count; ++i) {
                TrackRecord* other = trackRecordAt(quint64(i));
                if (!other || !other->audioFilter) continue;
                const MusicFilter& o = *other->audioFilter;
                const QString name = !o.nameOfSourceTrack.isEmpty() ? o.nameOfSourceTrack
                                                                    : QFileInfo(other->audioURL.path()).fileName();
                const QString title = menuText(QStringLiteral("Track %1 - %2").arg(i + 1).arg(name));
                if (quint64(i) == index) {
                    addPending(sub, title);
                    continue;
                }
                const double t = (group.atEnd ? o.animationEnd() : o.animationStart()).seconds();
                QVariantMap placement{{QStringLiteral("representedIndex"), QVariant::fromValue(quint64(i))},
                                      {QStringLiteral("representedTime"), t}};
                const auto command = group.command;
                addCommand(sub, title, placement, this, [t, command](AudioController& c) { (c.*command)(t); });
            }
        }
    }
    return menu;
}

void AudioController::popUpLaneMenu(quint64 index, const QPoint& globalPos) {
    const double x = ui.audioView ? ui.audioView->mapFromGlobal(globalPos).x() : 0.0;
    std::unique_ptr<QMenu> menu = laneMenuForIndex(index, x);
    if (!menu) return;
    menu->exec(globalPos);
}
