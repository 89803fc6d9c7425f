// The 27 default effect values, the controls filled from them or from a
// track, and the track panels that close when the controls change track.
#include "app/AudioController.h"
#include "midi/MidiNotes.h"

#include "engine/MusicFilter.h"
#include "platform/core/MainQueue.h"
#include "views/FloatSlider.h"

#include <QPointer>
#include <QWidget>

#include <cstring>

namespace {
// The equaliser rows: global gain and the ten bands.
constexpr size_t kFirstEQRow = 16;
}  // namespace

void AudioController::setupDefaultValues() {
    for (size_t i = 0; i < effectControlTable.size(); ++i)
        automation.defaultValues[i] = float(effectControlTable[i].defaultValue);
}

float AudioController::defaultValue(const char* key) const {
    for (size_t i = 0; i < effectControlTable.size(); ++i)
        if (std::strcmp(effectControlTable[i].key, key) == 0) return automation.defaultValues[i];
    return 0.0f;
}

void AudioController::closeTrackPanels() {
    if (QWidget* panel = trackList.audioUnitPanel) {
        // A hidden panel that still holds a unit's view closes too, so the
        // view goes with it.
        const bool hasContent = !panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty();
        if (panel->isVisible() || hasContent) panel->close();
    }
    if (QWidget* notes = trackList.notesPanel; notes && notes->isVisible()) notes->close();
}

void AudioController::applyDefaultValuesToControls() {
    const auto controls = ui.effectControls();
    for (size_t i = 0; i < controls.size(); ++i)
        if (controls[i].first) controls[i].first->setFloatValue(automation.defaultValues[i]);
    closeTrackPanels();
}

void AudioController::applyDefaultEQValuesToControls() {
    const auto controls = ui.effectControls();
    for (size_t i = kFirstEQRow; i < controls.size(); ++i)
        if (controls[i].first) controls[i].first->setFloatValue(automation.defaultValues[i]);
}

namespace {
// The sliders show the track's values; false when there is no such track.
bool showTrackValues(AudioController& c, quint64 index) {
    const MusicFilter* track = c.trackAt(index);
    if (!track) return false;
    const auto controls = c.ui.effectControls();
    for (size_t i = 0; i < controls.size(); ++i) {
        const QVariant v = track->valueForKey(QString::fromLatin1(effectControlTable[i].key));
        if (controls[i].first && v.isValid()) controls[i].first->setFloatValue(v.toFloat());
    }
    return true;
}
}  // namespace

void AudioController::applyValuesToSelectedAudio(quint64 index) {
    if (showTrackValues(*this, index)) closeTrackPanels();
    // Another track may take live input now, or none.
    if (midiNotesState) midiNotesState->refreshLiveInput();
}

void AudioController::applyAsyncValuesToSelectedAudio(quint64 index) {
    QPointer<AudioController> self(this);
    MainQueue::async([self, index] {
        if (self) showTrackValues(*self, index);
    });
}

void AudioController::copyDefaultValuesToDictionary(const TrackRecord& record) {
    if (!record.audioFilter) return;
    for (size_t i = 0; i < effectControlTable.size(); ++i)
        record.audioFilter->setValueForKey(QString::fromLatin1(effectControlTable[i].key),
                                           automation.defaultValues[i]);
}

void AudioController::copyDefaultEQValuesToDictionary(const TrackRecord& record) {
    if (!record.audioFilter) return;
    for (size_t i = kFirstEQRow; i < effectControlTable.size(); ++i)
        record.audioFilter->setValueForKey(QString::fromLatin1(effectControlTable[i].key),
                                           automation.defaultValues[i]);
}
