#include "views/PianoView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

const QColor kSounding = QColor::fromRgbF(1.0f, 0.73f, 0.15f, 0.8f);
const QColor kSelected = QColor::fromRgbF(0.0f, 0.32f, 0.48f, 0.8f);
const QColor kBlack = QColor::fromRgbF(0.0f, 0.0f, 0.0f, 0.8f);
const QColor kBand = QColor::fromRgbF(1.0f, 0.73f, 0.15f, 0.8f);

int pitchClass(int key) { return ((key - 3) % 12 + 12) % 12; }

}  // namespace

PianoView::PianoView(QWidget* parent) : QWidget(parent) {}

bool PianoView::isBlackKey(int key) { return (0x54A >> pitchClass(key)) & 1; }

MusicFilter* PianoView::track() const { return musicFilter.lock().get(); }

quint64 PianoView::keyAt(const QPointF& point) const {
    const double H = height();
    if (H <= 0) return NoKey;
    const double rows = (H - point.y()) / H * KeyCount;  // from the bottom
    if (rows < 0) return NoKey;
    int k = std::min(int(std::floor(rows)), KeyCount - 1);
    if (point.x() >= width() / 2.0 && isBlackKey(k)) k += rows - std::floor(rows) < 0.5 ? -1 : 1;
    if (k < FirstPlayableKey || k > LastPlayableKey) return NoKey;
    return quint64(k);
}

void PianoView::send(MusicFilter& t, quint64 key, bool on) {
    if (owner) owner->pianoSendNote(t, int(key) + 21, on);
}

void PianoView::releaseHeldKeys(MusicFilter& t) {
    for (quint64 key : notesToOff) send(t, key, false);
    notesToOff.clear();
    currentNote = NoKey;
}

void PianoView::letGo() {
    if (MusicFilter* t = track()) releaseHeldKeys(*t);
    notesToOff.clear();
    currentNote = NoKey;
    isMouseDown = false;
    musicFilter.reset();
    update();
}

void PianoView::mousePressEvent(QMouseEvent* event) {
    event->accept();
    isMouseDown = false;
    currentNote = NoKey;
    MusicFilter* t = track();
    if (event->button() != Qt::LeftButton || !t || !owner || !owner->pianoCanPlay(*t)) return;
    owner->pianoStartPlayingIfPaused();
    const quint64 key = keyAt(event->position());
    if (key == NoKey) return;
    currentNote = key;
    send(*t, key, true);
    notesToOff.append(key);
    isMouseDown = true;
    update();
}

void PianoView::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    MusicFilter* t = track();
    if (!isMouseDown || !t) return;
    const QPointF p = event->position();
    if (p.x() < 0 || p.x() > width()) {
        // Off the keyboard sideways: every held key stops; coming back plays again.
        releaseHeldKeys(*t);
        update();
        return;
    }
    const quint64 key = keyAt(p);
    if (key == NoKey || key == currentNote) return;
    if (notesToOff.removeOne(currentNote)) send(*t, currentNote, false);
    send(*t, key, true);
    currentNote = key;
    notesToOff.append(key);
    update();
}

void PianoView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (!isMouseDown) return;
    isMouseDown = false;
    if (MusicFilter* t = track()) releaseHeldKeys(*t);
    notesToOff.clear();
    currentNote = NoKey;
    update();
}

void PianoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double W = width(), H = height();
    const double h = H / KeyCount;
    const double r = std::round(h / 4);
    // Drawing coordinates have y up, as the piano roll's.
    painter.translate(0, H);
    painter.scale(1, -1);
    QPen linePen(Qt::black, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    auto line = [&](double x0, double x1, double y) {
        painter.setPen(linePen);
        painter.drawLine(QPointF(x0, y), QPointF(x1, y));
    };

    painter.fillRect(QRectF(0, 0, W, H), Qt::white);
    painter.fillRect(QRectF(0, 0, W, h), kBand);
    painter.fillRect(QRectF(0, 87 * h, W, H - 87 * h), kBand);
    line(-5, W + 5, h);
    line(-5, W + 5, 87 * h);

    // The span of a white key, from the line below it to the line above.
    auto whiteKeyRect = [&](int k) {
        const double y0 = k * h;
        double lo = y0, hi = y0 + h;
        switch (pitchClass(k)) {
        case 0:  // C
            lo = k == FirstPlayableKey ? 3 * h - r : y0;
            hi = k == FirstPlayableKey ? 4.5 * h : y0 + 1.5 * h;
            break;
        case 5: lo = y0; hi = y0 + 1.5 * h; break;                   // F
        case 2: case 9: lo = y0 - 0.5 * h; hi = y0 + 1.5 * h - r; break;  // D, A
        case 7: lo = y0 - 0.5 * h; hi = y0 + 1.5 * h; break;          // G
        case 4: case 11: lo = y0 - 0.5 * h - r; hi = y0 + h; break;   // E, B
        default: break;
        }
        return QRectF(-5, lo, W + 5, hi - lo);
    };

    QList<int> selectedKeys;
    if (MusicFilter* t = track(); t && owner)
        for (int note : owner->pianoSelectedNotes(*t))
            if (note >= 24) selectedKeys.append(note - 21);
    for (int k : selectedKeys)
        if (k <= LastPlayableKey && !isBlackKey(k)) painter.fillRect(whiteKeyRect(k), kSelected);
    for (int k = FirstPlayableKey; k <= LastPlayableKey; ++k)
        if (highlightsNotes.contains(k) && !isBlackKey(k)) painter.fillRect(whiteKeyRect(k), kSounding);

    for (int k = FirstPlayableKey; k <= LastPlayableKey; ++k) {
        const double y0 = k * h;
        const int p = pitchClass(k);
        if (isBlackKey(k)) {
            const double o = (p == 3 || p == 10) ? r : 0.0;
            line(-5, W + 5, y0 + 0.5 * h - o);
            QPainterPath key;
            key.addRoundedRect(QRectF(-5, y0 - o, W / 2 + 5, h), 4.0, 4.0);
            painter.fillPath(key, kBlack);
            for (int s : selectedKeys)
                if (s == k) painter.fillPath(key, kSelected);
            if (highlightsNotes.contains(k)) painter.fillPath(key, kSounding);
        } else if (p == 4 || p == 11) {
            line(0, W, y0 + h);
        }
        if (k == FirstPlayableKey) line(0, W, 3 * h - r);
    }
}
