#include "views/NotesView.h"

#include "engine/EffectInputs.h"
#include "engine/MidiNote.h"
#include "engine/MusicFilter.h"
#include "views/AudioDrawingView.h"
#include "views/LineView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

QColor orange(double a) { return QColor::fromRgbF(1.0f, 0.73f, 0.15f, float(a)); }
QColor blue(double a) { return QColor::fromRgbF(0.0f, 0.32f, 0.48f, float(a)); }
QColor red(double a) { return QColor::fromRgbF(0.942f, 0.153f, 0.218f, float(a)); }
QColor green(double a) { return QColor::fromRgbF(0.0f, 1.0f, 0.0f, float(a)); }
QColor black(double a) { return QColor::fromRgbF(0.0f, 0.0f, 0.0f, float(a)); }
QPen roundPen(const QColor& c, double width) { return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

// Draws `text` centred in a rounded badge; the badge's rectangle is in
// drawing coordinates (y up) and the painter is flipped to match.
void drawBadge(QPainter& painter, const QRectF& box, const QString& text, const QFont& font,
               const QColor& fill, const QColor& textColour, double alpha) {
    QPainterPath path;
    path.addRoundedRect(box, 8.0, 8.0);
    painter.fillPath(path, fill);
    painter.save();
    // Text is drawn unflipped.
    const QRectF flipped(box.x(), -box.bottom(), box.width(), box.height());
    painter.scale(1, -1);
    painter.setFont(font);
    painter.setPen(textColour);
    painter.drawText(flipped, Qt::AlignCenter, text);
    painter.restore();
    painter.setPen(roundPen(black(alpha), 1.0));
    painter.drawPath(path);
}

}  // namespace

NotesView::NotesView(QWidget* parent) : QWidget(parent) {
    font12_ = font();
    font12_.setPointSizeF(12);
    font11_ = font();
    font11_.setPointSizeF(11);
}

double NotesView::trackLength() const {
    const auto t = viewFilter.lock();
    if (!t) return 0;
    const double speed = t->value(EffectInput::Speed);
    return speed > 0 ? t->durationInSeconds / speed : 0;
}

std::optional<QRectF> NotesView::noteRect(const MidiNoteRecord& note) const {
    if (!note.midiCommandTime) return std::nullopt;
    const bool held = note.midiNoteOn;
    const bool committed = note.midiCommandEndTime && !note.midiNoteOn;
    if (!held && !committed) return std::nullopt;
    const double W = width(), H = height(), L = trackLength();
    if (L <= 0) return std::nullopt;
    const double start = note.midiCommandTime->seconds();
    const double row = std::clamp<double>(note.midiNote, 21, 108) - 21;
    double w = 0;
    if (committed)
        w = std::abs(note.midiCommandEndTime->seconds() - start) / L * W;
    else
        w = 2 * (owner ? owner->notesHorizontalZoom() : 1.0);
    return QRectF(start / L * W, row / 88 * H, w, H / 88);
}

double NotesView::trackOffsetSeconds(const MusicFilter& track) const {
    // A track not placed yet counts from 0.
    auto seconds = [](const MediaTime& m) { const double v = m.seconds(); return std::isfinite(v) ? v : 0.0; };
    const MediaTimeRange range = track.currentTimeRange();
    const double s = seconds(track.animationStart());
    const double r = range.isValid() ? seconds(range.start) : 0.0;
    const double v = track.value(EffectInput::Speed);
    return s - (v > 0 ? r / v : 0);
}

double NotesView::compositionSecondsAtFraction(const MusicFilter& track, double fraction) const {
    return fraction * trackLength() + trackOffsetSeconds(track);
}

std::optional<size_t> NotesView::noteAt(const QPointF& point) const {
    const auto t = viewFilter.lock();
    if (!t) return std::nullopt;
    // Rectangles are in drawing coordinates, y up.
    const QPointF p(point.x(), height() - point.y());
    for (size_t i = 0; i < t->midiArray.size(); ++i)
        if (const auto rect = noteRect(t->midiArray[i]); rect && rect->adjusted(-2, -2, 2, 2).contains(p)) return i;
    return std::nullopt;
}

void NotesView::setLabelsAlpha(double alpha) {
    if (owner) owner->notesSetRulerAlpha(alpha);
    lineAlpha = alpha;
    update();
}

void NotesView::autoscrollTo(const QPoint& point) {
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(w)) {
            scroll->ensureVisible(point.x(), point.y(), 0, 0);
            return;
        }
}

void NotesView::mousePressEvent(QMouseEvent* event) {
    const auto t = viewFilter.lock();
    if (event->button() != Qt::LeftButton || !t || !owner || !owner->notesItemIsReady()) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    moveLine = false;
    hasMovedNote = false;
    tempCopiedMidiArray.reset();
    const QPointF point = event->position();
    auto* lane = qobject_cast<AudioDrawingView*>(t->audioDrawingView.data());
    const bool hasManager = owner->notesTrackHasMidiManager(*t);

    if (lane && lane->isAdjustingNotes && hasManager) {
        gesture_ = Gesture::Adjust;
        tempAdjustedNotes.clear();
        setLabelsAlpha(0.3);
        lane->update();
        tempCopiedMidiArray = t->midiArray;
        const auto hit = noteAt(point);
        if (!hit) return;
        const MidiNoteRecord& note = t->midiArray[*hit];
        const QRectF rect = *noteRect(note);
        // The note-off is paired with the note now, before anything moves.
        NoteAdjustRecord record{*hit, note, NoteAdjustRecord::Start, ::noteOffIndex(t->midiArray, note)};
        // A held note has no end to drag.
        if (note.midiCommandEndTime && std::abs(point.x() - rect.left()) > std::abs(point.x() - rect.right()))
            record.noteType = NoteAdjustRecord::End;
        tempAdjustedNotes.push_back(record);
        isMouseDown = true;
        update();
        return;
    }
    if (lane && lane->isSelectingNotes && hasManager) {
        gesture_ = Gesture::Select;
        t->lastSelectedNotes.clear();
        isMouseDown = true;
        setLabelsAlpha(0.3);
        selectAt(*t, point, true);
        return;
    }
    // The playhead is grabbed where it is; the press point does not move it.
    gesture_ = Gesture::Playhead;
    const double L = trackLength();
    double f = L > 0 ? (owner->notesPlayerSeconds() - trackOffsetSeconds(*t)) / L : 0.0;
    f = std::isfinite(f) ? std::clamp(f, 0.0, 1.0) : 0.0;
    moveLine = true;
    owner->notesPlayheadDown(compositionSecondsAtFraction(*t, f));
    tempLinePercent = f;
    update();
}

void NotesView::selectAt(MusicFilter& track, const QPointF& point, bool press) {
    if (const auto hit = noteAt(point)) {
        const MidiNoteRecord note = track.midiArray[*hit];
        auto& selected = track.currentSelectedNotes;
        const auto it = std::find(selected.begin(), selected.end(), note);
        if (it != selected.end()) {
            // Only a press takes a note out; a drag only adds.
            if (press) selected.erase(it);
        } else {
            selected.push_back(note);
            if (press || track.lastSelectedNotes.empty())
                track.lastSelectedNotes.push_back(note);
            else
                track.lastSelectedNotes.front() = note;
        }
    }
    if (owner) owner->notesSelectionChanged(track);
    update();
}

void NotesView::adjustTo(MusicFilter& track, double seconds) {
    auto& list = track.midiArray;
    const int32_t scale = track.timeScale > 0 ? track.timeScale : 600;
    // Keeps the selections pointing at a record whose value changes.
    auto replace = [&track](const MidiNoteRecord& from, const MidiNoteRecord& to) {
        for (auto* l : {&track.currentSelectedNotes, &track.lastSelectedNotes})
            std::replace(l->begin(), l->end(), from, to);
    };
    bool changed = false;
    for (NoteAdjustRecord& a : tempAdjustedNotes) {
        // The note where it was, or wherever the list has moved it since.
        if (a.index >= list.size() || list[a.index] != a.note) {
            const auto it = std::find(list.begin(), list.end(), a.note);
            if (it == list.end()) continue;
            a.index = size_t(it - list.begin());
        }
        MidiNoteRecord& note = list[a.index];
        if (!note.midiCommandTime || !note.midiCommandEndTime) continue;
        const double start = note.midiCommandTime->seconds(), end = note.midiCommandEndTime->seconds();
        const MidiNoteRecord before = note;
        if (a.noteType == NoteAdjustRecord::Start) {
            // Only the note-on moves; its note-off stays at the note's end.
            if (!(seconds < end - kMinimumNoteSeconds)) continue;
            note.midiCommandTime = MediaTime::fromSeconds(seconds, scale);
        } else {
            if (!a.noteOffIndex || *a.noteOffIndex >= list.size() || !(seconds > start + kMinimumNoteSeconds))
                continue;
            MidiNoteRecord& off = list[*a.noteOffIndex];
            // The list may have changed under the drag: the record must still end this note.
            if (!isNoteOffOf(off, note)) continue;
            const MediaTime t = MediaTime::fromSeconds(seconds, scale);
            note.midiCommandEndTime = t;
            off.midiCommandTime = t;
        }
        replace(before, note);
        a.note = note;
        changed = true;
    }
    if (changed && owner) owner->notesChanged(track);
}

void NotesView::mouseMoveEvent(QMouseEvent* event) {
    const auto t = viewFilter.lock();
    if (!t || !(event->buttons() & Qt::LeftButton)) return;
    event->accept();
    const QPointF point = event->position();
    const double W = width();
    switch (gesture_) {
    case Gesture::Adjust:
        if (!isMouseDown || tempAdjustedNotes.empty()) return;
        hasMovedNote = true;
        // Times stay within the track.
        adjustTo(*t, W > 0 ? std::clamp(point.x(), 0.0, W) / W * trackLength() : 0.0);
        update();
        break;
    case Gesture::Select:
        if (!isMouseDown) return;
        selectAt(*t, point, false);
        break;
    case Gesture::Playhead: {
        const double f = W > 0 ? std::clamp(point.x(), 0.0, W) / W : 0.0;
        if (owner) owner->notesPlayheadDragged(compositionSecondsAtFraction(*t, f));
        tempLinePercent = f;
        update();
        break;
    }
    case Gesture::None: return;
    }
    autoscrollTo(event->position().toPoint());
}

void NotesView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const auto t = viewFilter.lock();
    const Gesture gesture = std::exchange(gesture_, Gesture::None);
    if (gesture == Gesture::None) return;
    event->accept();
    setLabelsAlpha(1.0);
    if (gesture == Gesture::Adjust) {
        isMouseDown = false;
        tempAdjustedNotes.clear();
        if (t && hasMovedNote && tempCopiedMidiArray && owner) owner->notesRegisterUndo(*t, *tempCopiedMidiArray);
        tempCopiedMidiArray.reset();
        hasMovedNote = false;
        if (t) {
            if (auto* lane = qobject_cast<AudioDrawingView*>(t->audioDrawingView.data())) lane->update();
        }
    } else if (gesture == Gesture::Select) {
        isMouseDown = false;
        if (t) {
            t->lastSelectedNotes.clear();
            if (owner) owner->notesSelectionChanged(*t);
        }
    } else if (moveLine) {
        const double W = width();
        const double f = W > 0 ? std::clamp(event->position().x(), 0.0, W) / W : 0.0;
        moveLine = false;
        if (t && owner) owner->notesPlayheadUp(compositionSecondsAtFraction(*t, f));
    }
    update();
}

void NotesView::paintEvent(QPaintEvent* event) {
    const auto t = viewFilter.lock();
    if (!t) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double W = width(), H = height(), L = trackLength();
    painter.translate(0, H);
    painter.scale(1, -1);

    // The track's end, with its length above and below.
    QPen dashed = roundPen(orange(1.0), 2.0);
    dashed.setDashPattern({4.0 / 2.0, 8.0 / 2.0});  // Qt dashes count in pen widths
    painter.setPen(dashed);
    painter.drawLine(QPointF(W, H), QPointF(W, 0));
    const QString end = LineView::stringForTime(L);
    const QFontMetricsF metrics12(font12_);
    const QSizeF endSize = metrics12.size(Qt::TextSingleLine, end);
    const double ew = endSize.width(), eh = endSize.height();
    for (double y : {H - eh - 9.5, 6.0})
        drawBadge(painter, QRectF(W - ew - 19.5, y, ew + 15, eh + 5), end, font12_, orange(lineAlpha),
                  black(lineAlpha), lineAlpha);

    if (owner && owner->notesTrackHasMidiManager(*t) && L > 0) {
        // The trimmed region, scaled from the lane to this view.
        double outlineLeft = 0, outlineRight = W;
        if (auto* lane = qobject_cast<AudioDrawingView*>(t->audioDrawingView.data());
            lane && lane->frameWidth() > 0 && !lane->drawingBezierPath.isEmpty()) {
            const double ratio = W / lane->frameWidth();
            const QRectF outline = lane->drawingBezierPath.boundingRect();
            outlineLeft = outline.left() * ratio;
            outlineRight = outline.right() * ratio;
        }
        auto alphaOf = [&](const QRectF& r) { return r.right() > outlineLeft && r.left() < outlineRight ? 0.9 : 0.5; };
        auto isSelected = [&](const MidiNoteRecord& n) {
            return std::find(t->currentSelectedNotes.begin(), t->currentSelectedNotes.end(), n) !=
                   t->currentSelectedNotes.end();
        };
        std::vector<std::pair<QRectF, const MidiNoteRecord*>> selectedRects;
        std::optional<QRectF> labelRect;
        // Only the notes in the part being painted, outlines included: a
        // long track has thousands, most of them out of view.
        const QRect dirty = event->rect();
        const QRectF paintedRect(dirty.x() - 2, H - dirty.bottom() - 3, dirty.width() + 4, dirty.height() + 4);
        for (const MidiNoteRecord& n : t->midiArray) {
            const auto rect = noteRect(n);
            if (!rect || !rect->intersects(paintedRect)) continue;
            const double a = alphaOf(*rect);
            const bool selected = isSelected(n);
            painter.fillRect(*rect, n.midiNoteOn ? red(a) : selected ? blue(a) : orange(a));
            if (selected) selectedRects.emplace_back(*rect, &n);
            if (rect->width() > 6.0) {
                painter.setPen(roundPen(black(a), 2.0));
                painter.drawRect(rect->adjusted(-1, -1, 1, 1));
            }
            if (isMouseDown && !t->lastSelectedNotes.empty() && t->lastSelectedNotes.front() == n)
                labelRect = QRectF(rect->x(), rect->y() + H / 88, 100, 20);
        }
        if (labelRect) {
            painter.save();
            painter.scale(1, -1);
            painter.setFont(font11_);
            painter.setPen(Qt::white);
            painter.drawText(QRectF(labelRect->x(), -labelRect->bottom(), labelRect->width(), labelRect->height()),
                             Qt::AlignLeft | Qt::AlignBottom,
                             AudioDrawingView::nameForNote(t->lastSelectedNotes.front().midiNote));
            painter.restore();
        }
        if (showVelocityInfo) {
            for (const auto& [r, n] : selectedRects) {
                const double velocity = n->midiCommand.data2;
                painter.setPen(roundPen(green(alphaOf(r)), 1.0));
                painter.drawLine(QPointF(r.x(), r.y() + r.height() / 2),
                                 QPointF(r.x() + r.width() * velocity / 127, r.y() + r.height() / 2));
            }
        }
    }

    // The playhead.
    double T = 0, f = 0;
    if (moveLine) {
        f = tempLinePercent;
        T = f * L;
    } else {
        const double p = owner ? owner->notesPlayerSeconds() : 0.0;
        T = p - trackOffsetSeconds(*t);
        f = L > 0 ? T / L : 0;
    }
    f = std::isfinite(f) ? std::clamp(f, 0.0, 1.0) : 0.0;
    const double x = f * W;  // the view is not scrolled within itself
    painter.setPen(roundPen(blue(1.0), 2.0 / pixelScaling()));
    painter.drawLine(QPointF(x, 0), QPointF(x, H));
    QPainterPath dot;
    dot.addEllipse(QRectF(x - 5, H - 5, 10, 10));
    painter.fillPath(dot, orange(1.0));
    const QString time = LineView::stringForTime(T);
    const QSizeF size = metrics12.size(Qt::TextSingleLine, time);
    const QRectF badge(x - size.width() / 2 - 7.5, H / 2 - size.height() / 2 - 2.5, size.width() + 15,
                       size.height() + 5);
    if (badge.left() >= 0 && badge.right() <= W)
        drawBadge(painter, badge, time, font12_, blue(lineAlpha), QColor::fromRgbF(1, 1, 1, float(lineAlpha)),
                  lineAlpha);
}
