// The lane's notes: one bar per note over the trimmed region, in the row of
// its key (the 88 keys of a piano, the lowest at the bottom), then the name
// of the note the notes view's press picked.

#include "views/AudioDrawingView.h"

#include "engine/MusicFilter.h"
#include "views/AudioView.h"
#include "views/Fonts.h"
#include "views/Palette.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr int kLowestKey = 21, kHighestKey = 108, kKeyCount = 88;
// A held note has no end yet: it is drawn this many times the zoom wide
// where it started.
constexpr double kHeldNoteZoomWidth = 2.0;
// Narrower notes have no outline.
constexpr double kOutlinedWidth = 6.0;

QColor withAlpha(QColor c, double a) {
    c.setAlphaF(float(a));
    return c;
}

}  // namespace

void AudioDrawingView::drawNotes(QPainter& painter, const MusicFilter& t) {
    // The notes as the render plays them: the list as last published.
    auto notes = t.rt_committedNotes();
    if (!notes || notes->empty()) return;
    const QRectF R = drawingBezierPath.isEmpty() ? frameRect().adjusted(0, 10, 0, -10)
                                                 : drawingBezierPath.boundingRect();
    const double W = frameWidth();
    const double speed = t.value(EffectInput::Speed);
    const double laneSeconds = speed > 0 ? t.durationInSeconds / speed : 0.0;
    if (!(laneSeconds > 0) || W <= 0 || R.height() <= 0) return;
    const double h = R.height() / kKeyCount;
    const auto* owner = audioView ? dynamic_cast<const AudioDrawingViewOwner*>(audioView->audioController) : nullptr;
    const double heldWidth = kHeldNoteZoomWidth * (owner ? owner->laneZoomValue() : 1.0);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    std::optional<QRectF> label;
    uint32_t labelNote = 0;
    for (const MidiNoteRecord& r : *notes) {
        // Note-offs and records without a time are not drawn.
        if (!r.midiCommandTime || !(r.midiNoteOn || r.midiCommandEndTime)) continue;
        const double start = r.midiCommandTime->seconds();
        const double x = start / laneSeconds * W;
        const double w = r.midiCommandEndTime ? std::abs(r.midiCommandEndTime->seconds() - start) / laneSeconds * W
                                              : heldWidth;
        const int n = std::clamp(int(r.midiNote), kLowestKey, kHighestKey);
        const double y = R.bottom() - double(n - kLowestKey + 1) / kKeyCount * R.height();
        const double a = (x + w > R.x() && x < R.right()) ? 0.9 : 0.5;
        // Held notes red, selected ones blue, the others amber.
        QColor fill;
        if (r.midiNoteOn)
            fill = withAlpha(palette::red(), 0.9);
        else if (std::find(t.currentSelectedNotes.begin(), t.currentSelectedNotes.end(), r) !=
                 t.currentSelectedNotes.end())
            fill = withAlpha(palette::blue(), a);
        else
            fill = withAlpha(palette::orange(), a);
        painter.fillRect(QRectF(x, y, w, h), fill);
        if (w > kOutlinedWidth) {
            QPen pen(withAlpha(Qt::black, a), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(QRectF(x - 1, y - 1, w + 2, h + 2));
        }
        if (isMouseDown && !t.lastSelectedNotes.empty() && t.lastSelectedNotes.front() == r) {
            label = QRectF(x, y - 20, 100, 20);  // just above the note
            labelNote = r.midiNote;
        }
    }
    if (label) {
        painter.setPen(Qt::white);
        painter.setFont(systemFont(11));
        painter.drawText(*label, Qt::AlignLeft | Qt::AlignVCenter, nameForNote(labelNote));
    }
    painter.restore();
}
