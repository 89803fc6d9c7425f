// The lane's own gestures: selecting its track, selecting notes, handing a
// selection or a pasted range to the track area, and selecting a time range.

#include "views/AudioDrawingView.h"

#include "engine/MusicFilter.h"
#include "views/AudioView.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>

namespace {

// The lane's time scales. A lane x stands for x / W × D / s seconds of the
// track (D its source's length, s its speed); composition seconds add the
// track's start on the timeline less the used part's start in the source.
struct LaneClock {
    double W = 0;      // the lane's width
    double span = 0;   // the seconds the width stands for, D / s; 0 when unknown
    double shift = 0;  // composition seconds at lane x 0

    double trackSeconds(double x) const { return W > 0 && span > 0 ? x / W * span : 0.0; }
    double compositionSeconds(double x) const { return trackSeconds(x) + shift; }
    double xOfTrackSeconds(double t) const { return span > 0 ? t / span * W : 0.0; }
    double xOfCompositionSeconds(double c) const { return xOfTrackSeconds(c - shift); }
};

LaneClock clockOf(const AudioDrawingView& lane, const MusicFilter& t) {
    const double s = t.value(EffectInput::Speed);
    LaneClock clock;
    clock.W = lane.frameWidth();
    if (s > 0 && t.durationInSeconds > 0) clock.span = t.durationInSeconds / s;
    if (s > 0) clock.shift = t.animationStart().seconds() - t.currentTimeRange().start.seconds() / s;
    return clock;
}

// The trimmed region in lane coordinates (y up); empty without a region.
QRectF regionOf(const AudioDrawingView& lane) {
    if (lane.drawingBezierPath.isEmpty()) return {};
    const QRectF r = lane.drawingBezierPath.boundingRect();
    return {r.x(), lane.height() - r.bottom(), r.width(), r.height()};
}

// A rectangle holds its left and bottom edges, not its right and top ones.
bool holds(const QRectF& r, const QPointF& p) {
    return p.x() >= r.left() && p.x() < r.right() && p.y() >= r.top() && p.y() < r.bottom();
}

// Where a selection edge at lane x lands. Each target within half a second
// takes the edge, and a later one overrides an earlier: the playhead, the
// play position, the track's selection-parameter ranges (start then end of
// each), the lane's pasted ranges (likewise), then the markers. The
// playhead, play position and markers are compared with the pointer's own
// time; the ranges with the time after the playhead and the play position.
double snapX(double x, const LaneClock& clock, const MusicFilter& t, const AudioDrawingViewOwner* owner,
             const QList<SelectionPasteRecord>& pastes) {
    if (!(clock.span > 0) || !(clock.W > 0)) return x;
    const double c0 = clock.compositionSeconds(x);
    const auto near = [](double a, double b) { return std::abs(a - b) < 0.5; };
    AudioDrawingViewOwner::SnapTargets targets;
    if (owner) targets = owner->laneSnapTargets();
    if (owner) {
        if (near(c0, targets.playhead)) x = clock.xOfCompositionSeconds(targets.playhead);
        if (near(c0, targets.playPosition)) x = clock.xOfCompositionSeconds(targets.playPosition);
    }
    const double t1 = clock.trackSeconds(x);
    if (owner) {
        for (const auto& [a, b] : owner->laneSelectionParameterRanges(t)) {
            if (near(t1, a * clock.span)) x = a * clock.W;
            if (near(t1, b * clock.span)) x = b * clock.W;
        }
    }
    for (const auto& paste : pastes) {
        if (paste.size() < 2) continue;
        if (near(t1, clock.trackSeconds(paste[0].x()))) x = paste[0].x();
        if (near(t1, clock.trackSeconds(paste[1].x()))) x = paste[1].x();
    }
    for (const double m : targets.markerTimes)
        if (near(c0, m)) x = clock.xOfCompositionSeconds(m);
    return x;
}

// Keeps both ends of a range inside the trimmed region, anchor first.
void clampToRegion(SelectionPathRecord& record, const QRectF& region) {
    if (record.size() < 2 || region.isEmpty()) return;
    for (int i = 0; i < 2; ++i) {
        QPointF& q = record[i];
        if (q.x() < region.left()) q.setX(region.left());
        if (q.x() > region.right()) q.setX(region.right());
    }
}

// The first note of `notes` under `p`: a note-on with a time, drawn as the
// lane draws it and grown by 2 points on every side; a held note is twice
// the zoom wide. Null for none.
const MidiNoteRecord* noteAt(const MidiNoteList& notes, const QPointF& p, const LaneClock& clock,
                             const QRectF& region, double zoom) {
    if (!(clock.span > 0) || region.isEmpty()) return nullptr;
    for (const MidiNoteRecord& n : notes) {
        if (!n.midiCommandTime || !(n.midiNoteOn || n.midiCommandEndTime)) continue;
        const double start = n.midiCommandTime->seconds();
        const double x = clock.xOfTrackSeconds(start);
        const double w = n.midiCommandEndTime
                             ? std::abs(clock.xOfTrackSeconds(n.midiCommandEndTime->seconds() - start))
                             : 2.0 * zoom;
        const double h = region.height() / 88.0;
        const double row = std::clamp<double>(n.midiNote, 21, 108) - 21;
        const QRectF r = QRectF(x, region.y() + row / 88.0 * region.height(), w, h).adjusted(-2, -2, 2, 2);
        if (holds(r, p)) return &n;
    }
    return nullptr;
}

}  // namespace

void AudioDrawingView::selectLaneTrack() {
    if (auto* o = owner()) o->laneSelectTrack(viewIndex);
}

// A click toggles the note under the pointer; the notes stay the main
// thread's, so the scan takes no lock.
void AudioDrawingView::noteSelectionPress(const QPointF& p) {
    MusicFilter* t = track();
    if (!t) return;
    t->lastSelectedNotes.clear();
    isMouseDown = true;
    beginGesture(GestureRouting::Lane);
    update();
    const AudioDrawingViewOwner* o = owner();
    const MidiNoteRecord* hit =
        noteAt(t->midiArray, p, clockOf(*this, *t), regionOf(*this), o ? o->laneZoomValue() : 1.0);
    if (!hit) return;
    const MidiNoteRecord note = *hit;
    auto& selected = t->currentSelectedNotes;
    if (std::find(selected.begin(), selected.end(), note) != selected.end()) {
        std::erase(selected, note);
    } else {
        selected.push_back(note);
        t->lastSelectedNotes.push_back(note);
    }
}

// A drag only adds the notes it passes; the last one added is the picked one.
void AudioDrawingView::noteSelectionDrag(const QPointF& p) {
    update();
    MusicFilter* t = track();
    if (!t) return;
    const AudioDrawingViewOwner* o = owner();
    const MidiNoteRecord* hit =
        noteAt(t->midiArray, p, clockOf(*this, *t), regionOf(*this), o ? o->laneZoomValue() : 1.0);
    if (!hit) return;
    auto& selected = t->currentSelectedNotes;
    if (std::find(selected.begin(), selected.end(), *hit) != selected.end()) return;
    selected.push_back(*hit);
    if (t->lastSelectedNotes.empty())
        t->lastSelectedNotes.push_back(*hit);
    else
        t->lastSelectedNotes.front() = *hit;
}

void AudioDrawingView::noteSelectionRelease() {
    isMouseDown = false;
    if (MusicFilter* t = track()) t->lastSelectedNotes.clear();
    update();
}

void AudioDrawingView::handOffToTrackArea(QMouseEvent* event) {
    if (!audioView) return;
    audioView->mouseDownFromSubview = true;
    audioView->mouseDownIsPressingCTRL = true;
    beginGesture(GestureRouting::TrackArea);
    audioView->laneMouseDown(*this, event);
}

// The first pasted range at least a point wide whose column of the region
// holds the pointer.
bool AudioDrawingView::pickSelectionPaste(const QPointF& p) {
    const QRectF region = regionOf(*this);
    for (qsizetype i = 0; i < selectionPastes.size(); ++i) {
        const SelectionPasteRecord& paste = selectionPastes[i];
        if (paste.size() < 2) continue;
        const double p0 = paste[0].x(), p1 = paste[1].x();
        if (std::abs(p1 - p0) < 1.0) continue;
        if (!holds(QRectF(std::min(p0, p1), region.y(), std::abs(p1 - p0), region.height()), p)) continue;
        mouseInsideSelectionPaste = true;
        if (audioView) {
            audioView->indexOfSelectionPaste = quint64(i);
            audioView->drawForSelectionPaste = true;
        }
        return true;
    }
    return false;
}

// A press drops the previous selection and anchors a new one at the
// (snapped) pointer.
void AudioDrawingView::rangeSelectionPress(const QPointF& p) {
    MusicFilter* t = track();
    if (!t) return;
    showSelectionInfo = true;
    selectionPaths.clear();
    const double x = snapX(p.x(), clockOf(*this, *t), *t, owner(), selectionPastes);
    selectionPaths.append(SelectionPathRecord{QPointF(x, p.y())});
    isMouseDown = true;
    isMovingSelectionPath = true;
    update();
    beginGesture(GestureRouting::Lane);
}

void AudioDrawingView::rangeSelectionDrag(QMouseEvent* event, const QPointF& p) {
    MusicFilter* t = track();
    if (t && !selectionPaths.isEmpty()) {
        const double x = snapX(p.x(), clockOf(*this, *t), *t, owner(), selectionPastes);
        SelectionPathRecord& record = selectionPaths.last();
        if (record.size() == 1) {
            if (x != record[0].x()) record.append(QPointF(x, p.y()));
        } else {
            record[1] = QPointF(x, p.y());
        }
        clampToRegion(record, regionOf(*this));
    }
    isMouseDragged = true;
    if (audioView) audioView->autoscroll(event);
    update();
}

// The release fixes the moving end. A press without a drag, or a range
// shorter than a tenth of a second of the track, leaves no selection.
void AudioDrawingView::rangeSelectionRelease(const QPointF& p) {
    isMouseDown = false;
    isMouseDragged = false;
    isMovingSelectionPath = false;
    showSelectionInfo = false;
    MusicFilter* t = track();
    if (!selectionPaths.isEmpty()) {
        SelectionPathRecord& record = selectionPaths.last();
        if (record.size() < 2 || !t) {
            selectionPaths.clear();
        } else {
            const LaneClock clock = clockOf(*this, *t);
            record[1] = QPointF(snapX(p.x(), clock, *t, owner(), selectionPastes), p.y());
            clampToRegion(record, regionOf(*this));
            if (std::abs(clock.trackSeconds(record[1].x()) - clock.trackSeconds(record[0].x())) < double(0.1f))
                selectionPaths.clear();
        }
    }
    update();
}
