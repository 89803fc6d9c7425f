// Effect settings bound to time ranges of a track's lane: assigned from the
// lane's selection, removed one by one, undone, and applied once when
// playback or a seek enters a range. The render applies an entry's audio in
// the slice that enters it; the main thread does the rest on its curve
// timer, or at once after a seek or a removal.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "engine/TrackTapContext.h"
#include "platform/core/MainQueue.h"
#include "platform/core/UndoManager.h"
#include "platform/units/FilterUnits.h"
#include "platform/units/Unit.h"
#include "views/AudioDrawingView.h"
#include "views/AudioUnitPanel.h"
#include "views/AudioView.h"

#include <QComboBox>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace automation {

bool selectionParametersStartComparator(const SelectionParametersRecord& a, const SelectionParametersRecord& b) {
    return a.selectionParametersStartPercent < b.selectionParametersStartPercent;
}

QString selectionParametersReference(double start, double end) {
    return QString::asprintf("%f - %f", end, start);
}

}  // namespace automation

namespace {

using units::Scope;

bool switchable(uint64_t type) { return type <= 6 || (type >= 10 && type <= 13); }

// Writes the inputs of a setting into the track's built-in units as the
// mix update does, through the given tap context. Render-safe: it reads and
// stores atomics and sets unit parameters only.
void pushInputsToUnits(MusicFilter& f, TrackTapContext& k) {
    auto write = [&](BuiltInUnit u, std::initializer_list<std::pair<uint32_t, float>> values, bool active) {
        units::Unit* unit = k.unit(u).load();
        if (!unit) {
            k.flag(u).store(0);
            return;
        }
        for (const auto& [id, v] : values) unit->setParameter(id, Scope::Global, 0, v);
        k.flag(u).store(active ? 1 : 0);
    };
    const float low = f.value(EffectInput::LowPassCutoff), high = f.value(EffectInput::HighPassCutoff);
    const float centre = f.value(EffectInput::BandPassCenterFrequency),
                width = f.value(EffectInput::BandPassBandwidth);
    const float shelf = f.value(EffectInput::LowShelfGain), wet = f.value(EffectInput::ReverbWetDryMix);
    write(BuiltInUnit::LowPass, {{0, std::max(low, 10.0f)}, {1, f.value(EffectInput::LowPassResonance)}},
          low < 22050.0f);
    write(BuiltInUnit::HighPass, {{0, std::max(high, 10.0f)}, {1, f.value(EffectInput::HighPassResonance)}},
          high > 0.0f);
    write(BuiltInUnit::BandPass, {{0, centre}, {1, width}}, centre != 11025.0f || width != 11025.0f);
    write(BuiltInUnit::LowShelf, {{0, f.value(EffectInput::LowShelfCutoff)}, {1, shelf}}, shelf != 0.0f);
    write(BuiltInUnit::Reverb, {{0, wet}, {1, f.value(EffectInput::ReverbSmallLargeMix)}}, wet != 0.0f);
    bool eq = f.value(EffectInput::GlobalGain) != 0.0f;
    if (units::Unit* unit = k.unit(BuiltInUnit::EQ).load()) {
        unit->setParameter(0, Scope::Global, 0, f.value(EffectInput::GlobalGain));
        const auto& bands = effectinputs::bandGains();
        for (uint32_t i = 0; i < bands.size(); ++i) {
            const float g = f.value(bands[i]);
            eq = eq || g != 0.0f;
            unit->setParameter(units::NBandEQUnit::kGain + i, Scope::Global, 0, g);
        }
        k.flag(BuiltInUnit::EQ).store(eq ? 1 : 0);
    }
    k.contextTrackChannelMix.store(double(f.value(EffectInput::ChannelMix)));
}

// The audio of an entry: its inputs, its built-in unit parameters and
// switches. Shared by the render and the main thread; never allocates.
void applySelectionEntryAudio(MusicFilter& f, TrackTapContext* k, const SelectionWindows::Entry& e) {
    for (int i = 0; i < effectinputs::kCount; ++i)
        if (e.inputMask >> i & 1u) f.setValue(EffectInput(i), e.inputs[size_t(i)]);
    if (!k) return;
    for (const auto& w : e.writes)
        if (units::Unit* unit = k->unit(builtinunits::unitForTypeIndex(int(w.unitType))).load())
            unit->setParameter(w.parameterID, Scope::Global, 0, w.value);
    for (const auto& s : e.switches) k->flag(builtinunits::unitForTypeIndex(int(s.unitType))).store(s.on ? 1 : 0);
    pushInputsToUnits(f, *k);
}

}  // namespace

std::pair<double, double> AudioController::selectionWindowOf(const MusicFilter& f, double start, double end) {
    double v = f.value(EffectInput::Speed);
    if (!(v > 0)) v = 1;
    // The lane places fraction s at A - S/v + s·D/v: the window starts where
    // its range is drawn, also on a track trimmed at its start.
    const double origin = f.animationStart().seconds() - f.currentTimeRange().start.seconds() / v;
    const double D = f.durationInSeconds;
    return {origin + start * D / v, origin + end * D / v};
}

// ---- The render's part ------------------------------------------------------------------

void AudioController::updateParametersForSelectionAtTime(const MediaTime& time, MusicFilter* f,
                                                         TrackTapContext* k) {
    if (!f || !time.isNumeric()) return;
    const auto windows = f->rt_selectionWindows();
    if (!windows) return;
    if (windows->entries.empty()) {
        f->rt_referencePathTime.store(0);
        return;
    }
    double v = f->value(EffectInput::Speed);
    if (!(v > 0)) v = 1;
    const double t = time.seconds();
    const double origin = f->animationStart().seconds() - f->currentTimeRange().start.seconds() / v;
    const double scale = windows->durationInSeconds / v;
    bool held = false;
    for (const auto& e : windows->entries) {
        if (t < origin + e.startPercent * scale || t > origin + e.endPercent * scale) continue;
        if (automation.pauseUpdateSelectionParameters.load()) {
            f->rt_referencePathTime.store(0);
            return;
        }
        held = true;
        if (f->rt_referencePathTime.load() == e.reference) continue;
        f->rt_referencePathTime.store(e.reference);
        applySelectionEntryAudio(*f, k, e);
        f->rt_appliedSelectionEntry.store(e.reference);
    }
    if (!held) f->rt_referencePathTime.store(0);
}

// ---- The main thread's part -------------------------------------------------------------

void AudioController::updateParametersForSelectionAtTime(const MediaTime& time, MusicFilter* f) {
    if (!f) return;
    updateParametersForSelectionAtTime(time, f, f->getProcessorContext());
    if (const int64_t applied = f->rt_appliedSelectionEntry.exchange(0)) applySelectionEntryOnMainThread(f, applied);
    // The string the track keeps follows the number.
    const int64_t now = f->rt_referencePathTime.load();
    if (now == 0) f->referencePathTime.clear();
}

void AudioController::followSelectionParameters() {
    if (!ui.audioView) return;
    for (const TrackRecord& r : ui.audioView->audioTracks)
        if (MusicFilter* f = r.audioFilter.get()) {
            if (const int64_t applied = f->rt_appliedSelectionEntry.exchange(0))
                applySelectionEntryOnMainThread(f, applied);
            else if (f->rt_referencePathTime.load() == 0)
                f->referencePathTime.clear();
        }
}

void AudioController::applySelectionEntryOnMainThread(MusicFilter* f, int64_t reference) {
    auto entries = automation.selectionParameters.find(f->identifierOfFilter);
    if (entries == automation.selectionParameters.end()) return;
    const SelectionParametersRecord* entry = nullptr;
    for (const auto& e : entries->second) {
        auto n = automation.selectionReferenceNumbers.find(e.selectionParametersReference);
        if (n != automation.selectionReferenceNumbers.end() && n->second == reference) entry = &e;
    }
    if (!entry) return;
    f->referencePathTime = entry->selectionParametersReference;
    const quint64 index = indexOfTrack(f);
    TrackRecord* record = trackRecordAt(index);
    if (!record) return;
    // The record's values and unit parameters, switches and plug-in enables;
    // the track keeps its present speed, which only a speed change lays out.
    const float speed = f->value(EffectInput::Speed);
    copyFilterValuesFromDictionary(entry->selectionParametersInfo.parameters, *record);
    f->setValue(EffectInput::Speed, speed);
    // The sliders follow after this event, and the panels the user has open
    // stay open: entering a range is not a change of track.
    if (index == currentSelectedAudio.load() && !shell.audioControllerIsWorking) applyAsyncValuesToSelectedAudio(index);
    f->updateListenerParametersToAudioUnits();
    f->updateAudioMixState();
    if (auto* lane = trackLaneOf(f)) {
        lane->fadeInPercent = f->value(EffectInput::FadeIn);
        lane->fadeOutPercent = f->value(EffectInput::FadeOut);
    }
    QPointer<AudioController> self(this);
    std::weak_ptr<MusicFilter> weak = f->weak_from_this();
    MainQueue::async([self, weak] {
        if (auto track = weak.lock(); self && track) self->selectionParametersApplyUI(track.get());
    });
}

void AudioController::selectionParametersApplyUI(MusicFilter* f) {
    if (!f) return;
    // The plug-in pop-up shows the applied switch of its selected plug-in.
    if (auto* popUp = qobject_cast<QComboBox*>(f->pluginsPopUpButton.data())) {
        const int j = popUp->currentIndex();
        if (j >= 0 && j < popUp->count() && j < f->pluginsArray().size())
            applyItemTitleRule(f, j, f->pluginsArray()[j]);
    }
    // The unit panel on screen shows the new values: the unit it shows is
    // shown again. A closed panel stays closed.
    auto* panel = qobject_cast<AudioUnitPanel*>(trackList.audioUnitPanel.data());
    if (panel && panel->isVisible() && !unitPanels.currentFilterInAudioUnitPanel.expired() &&
        !shell.audioControllerIsWorking)
        reshowAudioUnitPanel(f, panel->windowTitle());
    if (auto* lane = trackLaneOf(f)) lane->update();
}

void AudioController::publishSelectionParametersForFilter(MusicFilter* f) {
    if (!f) return;
    auto entries = automation.selectionParameters.find(f->identifierOfFilter);
    if (entries == automation.selectionParameters.end()) {
        f->publishSelectionWindows(nullptr);
        return;
    }
    auto windows = std::make_unique<SelectionWindows>();
    windows->durationInSeconds = f->durationInSeconds;
    TrackTapContext* k = f->getProcessorContext();
    for (const SelectionParametersRecord& r : entries->second) {
        SelectionWindows::Entry e;
        e.startPercent = r.selectionParametersStartPercent;
        e.endPercent = r.selectionParametersEndPercent;
        auto [number, added] = automation.selectionReferenceNumbers.try_emplace(
            r.selectionParametersReference, int64_t(automation.selectionReferenceNumbers.size() + 1));
        e.reference = number->second;
        const TrackParametersRecord& p = r.selectionParametersInfo.parameters;
        for (size_t i = 0; i < effectControlTable.size(); ++i) {
            const auto input = effectinputs::fromKey(QString::fromLatin1(effectControlTable[i].key));
            if (!input || *input == EffectInput::Speed) continue;
            e.inputs[size_t(*input)] = p.inputs[i];
            e.inputMask |= 1u << int(*input);
        }
        if (p.filterAudioUnits) {
            std::vector<uint64_t> switched;
            for (const ListenerParameterRecord& u : *p.filterAudioUnits) {
                if (!unittype::isBuiltIn(u.filterAudioUnitType)) continue;
                e.writes.push_back({u.filterAudioUnitType, u.filterAudioUnitParameterID, u.filterAudioUnitParameterValue});
                if (switchable(u.filterAudioUnitType) &&
                    std::find(switched.begin(), switched.end(), u.filterAudioUnitType) == switched.end()) {
                    switched.push_back(u.filterAudioUnitType);
                    e.switches.push_back({u.filterAudioUnitType, u.filterAudioUnitEnabled != 0});
                }
            }
        }
        // A unit an entry can switch on gets its parts here: the render
        // cannot make them.
        if (k) {
            for (const auto& s : e.switches)
                if (s.on)
                    if (units::Unit* unit = k->unit(builtinunits::unitForTypeIndex(int(s.unitType))).load())
                        unit->prepareForRender();
            for (BuiltInUnit u : {BuiltInUnit::LowPass, BuiltInUnit::HighPass, BuiltInUnit::BandPass,
                                  BuiltInUnit::LowShelf, BuiltInUnit::Reverb, BuiltInUnit::EQ})
                if (units::Unit* unit = k->unit(u).load()) unit->prepareForRender();
        }
        windows->entries.push_back(std::move(e));
    }
    f->publishSelectionWindows(std::move(windows));
}

// ---- Assign, remove, undo ---------------------------------------------------------------

void AudioController::assignParametersToCurrentSelection(MusicFilter* track) {
    MusicFilter* T = track ? track : trackAt(currentSelectedAudio.load());
    auto* lane = trackLaneOf(T);
    if (!T || !lane || lane->selectionPaths.isEmpty()) return;
    const SelectionPathRecord& path = lane->selectionPaths.last();
    if (path.size() < 2 || lane->frameWidth() <= 0) return;
    auto& entries = automation.selectionParameters[T->identifierOfFilter];

    T->updateListenerParametersFromAudioUnits();
    SelectionParametersInfo info;
    const quint64 index = indexOfTrack(T);
    info.parameters = parametersDictionaryAtIndex(index);
    info.presetRecordedDictionary = createRecordedDictionaryForPresetAtIndex(index);
    info.presetRecordedTypeOfCurve = T->typeOfRecordedCurve;

    const double x0 = path[0].x(), x1 = path[1].x();
    double start = std::max(std::min(x0, x1), 0.0);
    const double end = std::max(x0, x1);
    const QRectF P = lane->drawingBezierPath.boundingRect();
    if (start < P.x()) start = P.x();
    if (start == P.x() && end == P.x() + P.width()) {
        // The whole track: nothing to bind, the selection goes.
        lane->selectionPaths.clear();
        lane->update();
        return;
    }
    const double s = start / lane->frameWidth(), e = end / lane->frameWidth();
    auto same = std::find_if(entries.begin(), entries.end(), [&](const SelectionParametersRecord& r) {
        return std::abs(r.selectionParametersStartPercent - s) < automation::kSameSelectionRange &&
               std::abs(r.selectionParametersEndPercent - e) < automation::kSameSelectionRange;
    });
    if (UndoManager* undo = undoManager()) {
        SelectionParametersUndoRecord before{T->shared_from_this(), entries};
        QPointer<AudioController> self(this);
        undo->registerUndo(this, [self, before] {
            if (self) self->addRemoveParametersFromCurrentSelection(before);
        });
    }
    SelectionParametersRecord record{s, e, std::move(info), automation::selectionParametersReference(s, e)};
    if (same != entries.end()) *same = std::move(record);
    else entries.push_back(std::move(record));
    std::stable_sort(entries.begin(), entries.end(), automation::selectionParametersStartComparator);
    publishSelectionParametersForFilter(T);
    lane->update();
}

void AudioController::removeParametersFromSelectionIndex(MusicFilter* T, quint64 index) {
    if (!T) return;
    auto entries = automation.selectionParameters.find(T->identifierOfFilter);
    if (entries == automation.selectionParameters.end() || index >= entries->second.size()) return;
    if (UndoManager* undo = undoManager()) {
        SelectionParametersUndoRecord before{T->shared_from_this(), entries->second};
        QPointer<AudioController> self(this);
        undo->registerUndo(this, [self, before] {
            if (self) self->addRemoveParametersFromCurrentSelection(before);
        });
    }
    entries->second.erase(entries->second.begin() + qsizetype(index));
    publishSelectionParametersForFilter(T);
    if (auto* lane = trackLaneOf(T)) lane->update();
    if (!shell.isPlaying && audioPlayer) updateParametersForSelectionAtTime(audioPlayer->currentTime(), T);
}

void AudioController::addRemoveParametersFromCurrentSelection(const SelectionParametersUndoRecord& record) {
    MusicFilter* T = record.track.get();
    if (!T) return;
    auto& entries = automation.selectionParameters[T->identifierOfFilter];
    if (UndoManager* undo = undoManager()) {
        SelectionParametersUndoRecord inverse{record.track, entries};
        QPointer<AudioController> self(this);
        undo->registerUndo(this, [self, inverse] {
            if (self) self->addRemoveParametersFromCurrentSelection(inverse);
        });
    }
    entries = record.entries;
    publishSelectionParametersForFilter(T);
    if (auto* lane = trackLaneOf(T)) lane->update();
    if (!shell.isPlaying && audioPlayer) updateParametersForSelectionAtTime(audioPlayer->currentTime(), T);
}

QList<QPair<double, double>> AudioController::laneSelectionParameterRanges(const MusicFilter& track) const {
    QList<QPair<double, double>> out;
    auto entries = automation.selectionParameters.find(track.identifierOfFilter);
    if (entries == automation.selectionParameters.end()) return out;
    for (const auto& e : entries->second)
        out.append({e.selectionParametersStartPercent, e.selectionParametersEndPercent});
    return out;
}
