// Markers: named points in composition time that the user adds, names,
// removes and jumps to.

#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "views/FloatSlider.h"
#include "views/MarkerNamePopover.h"

#include <QLineEdit>

#include <algorithm>

MarkerNamePopover* AudioController::markerNamePopover() {
    if (!editing.markerNamePopover) {
        auto* popover = new MarkerNamePopover(ui.window);
        popover->nameEntered = [this] { updateMarkerNameFrom(); };
        editing.markerNamePopover = popover;
    }
    return editing.markerNamePopover;
}

namespace {
void showNamePopover(AudioController& c, const QString& name) {
    MarkerNamePopover* popover = c.markerNamePopover();
    popover->markerTextField->setText(name);
    popover->showBelow(c.ui.audioSlider);
    if (c.ui.lineView) c.ui.lineView->update();
}
}  // namespace

void AudioController::addMarkerForTime(double seconds) {
    auto& markers = editing.markersArray;
    // After the markers at the same time: the new one is found at the index it gets.
    const auto at = std::upper_bound(markers.begin(), markers.end(), seconds,
                                     [](double t, const MarkerRecord& m) { return t < m.markerTime; });
    const auto added = markers.insert(at, MarkerRecord{seconds, QString()});
    editing.currentSelectedMarker = quint64(added - markers.begin());
    showNamePopover(*this, QString());
}

void AudioController::addPlayerTimeMarkerFrom() {
    if (itemIsReady()) addMarkerForTime(currentTime());
}

void AudioController::addStartTimeMarkerFrom(quint64 trackIndex) {
    if (const MusicFilter* t = trackAt(trackIndex)) addMarkerForTime(t->animationStart().seconds());
}

void AudioController::addEndTimeMarkerFrom(quint64 trackIndex) {
    if (const MusicFilter* t = trackAt(trackIndex)) addMarkerForTime(t->animationEnd().seconds());
}

void AudioController::removeMarker(quint64 index) {
    auto& markers = editing.markersArray;
    if (index >= markers.size()) return;
    markers.erase(markers.begin() + std::ptrdiff_t(index));
    if (ui.lineView) ui.lineView->update();
}

void AudioController::renameMarker(quint64 index) {
    if (index >= editing.markersArray.size()) return;
    editing.currentSelectedMarker = index;
    showNamePopover(*this, editing.markersArray[index].markerName);
}

void AudioController::updateMarkerNameFrom() {
    const quint64 index = editing.currentSelectedMarker;
    if (index >= editing.markersArray.size() || !editing.markerNamePopover) return;
    editing.markersArray[index].markerName = editing.markerNamePopover->markerTextField->text();
    if (editing.markerNamePopover->isVisible()) editing.markerNamePopover->hide();
    if (ui.lineView) ui.lineView->update();
}

void AudioController::goToMarkerTime(double seconds) {
    if (itemIsReady() && seconds <= shell.compositionDuration.seconds()) updateCurrentTime(seconds);
}

void AudioController::goToTrackStartTimeFrom() {
    if (!itemIsReady()) return;
    if (const MusicFilter* t = trackAt(currentSelectedAudio.load())) updateCurrentTime(t->animationStart().seconds());
}

void AudioController::goToTrackEndTimeFrom() {
    if (!itemIsReady()) return;
    if (const MusicFilter* t = trackAt(currentSelectedAudio.load())) updateCurrentTime(t->animationEnd().seconds());
}
