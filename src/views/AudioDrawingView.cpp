#include "views/AudioDrawingView.h"

#include "engine/AudioControllerServices.h"
#include "engine/MusicFilter.h"
#include "platform/core/NotificationCenter.h"
#include "views/AudioView.h"
#include "views/Fonts.h"
#include "views/Palette.h"
#include "views/PathInterpolation.h"

#include <QPainter>
#include <QPaintEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

const QColor kAmber = QColor::fromRgbF(1.0f, 0.73f, 0.15f);
const QColor kBlue = QColor::fromRgbF(0.0f, 0.32f, 0.48f);
const QColor kGreen = QColor::fromRgbF(0.812f, 0.99f, 0.294f);
const QColor kTranslucentBlue = QColor::fromRgbF(0.0f, 0.32f, 0.48f, 0.8f);
const QColor kFilterRed = QColor::fromRgbF(0.941f, 0.118f, 0.22f);
const QColor kRed = palette::red();
const QColor kGold = QColor::fromRgbF(1.0f, 0.772f, 0.19f);

// One input a lane's curve shows, with the labels of its range.
struct CurveKey {
    const char* key;
    const char* maximumLabel;
    const char* minimumLabel;
};
// The curves a track can show (its showParameterCurve, from 1): one or two
// inputs each, drawn in this order, and the curve's title.
struct CurveEntry {
    std::array<CurveKey, 2> keys;
    int keyCount;
    const char* title;
    bool isFilter;  // drawn in the filter colour in the selected lane
};
const std::array<CurveEntry, 9> kCurves = {{
    {{{{"inputAudioMix", "VOLUME MAX: %ld %%", "VOLUME MIN: %ld %%"}}}, 1, "AUDIO MIX", false},
    {{{{"inputChannelMix", "CHANNEL (R): %ld", "CHANNEL (L): %ld"}}}, 1, "CHANNEL MIX", false},
    {{{{"inputGlobalGain", "EQ GAIN MAX: +%ld dB", "EQ GAIN MIN: %ld dB"}}}, 1, "EQ GAIN", false},
    {{{{"inputPitch", "PITCH MAX: %ld", "PITCH MIN: %ld"}}}, 1, "PITCH", false},
    {{{{"inputReverbWetDryMix", "REVERB MAX: %ld", "REVERB MIN: %ld"},
       {"inputReverbSmallLargeMix", "AMBIENCE MAX: %ld", "AMBIENCE MIN: %ld"}}},
     2, "REVERB & AMBIENCE", false},
    {{{{"inputLowShelfGain", "BASS BOOST MAX: %ld dB", "BASS BOOST MIN: %ld dB"},
       {"inputLowShelfCutoff", "BASS (CUTOFF) MAX: %ld Hz", "BASS (CUTOFF) MIN: %ld Hz"}}},
     2, "BASS BOOST", false},
    {{{{"inputLowPassCutoff", "LP (CUTOFF) MAX: %ld Hz", "LP (CUTOFF) MIN: %ld Hz"},
       {"inputLowPassResonance", "LP (RESONANCE) MAX: %ld dB", "LP (RESONANCE) MIN: %ld dB"}}},
     2, "LOW PASS", true},
    {{{{"inputHighPassCutoff", "HP (CUTOFF) MAX: %ld Hz", "HP (CUTOFF) MIN: %ld Hz"},
       {"inputHighPassResonance", "HP (RESONANCE) MAX: %ld dB", "HP (RESONANCE) MIN: %ld dB"}}},
     2, "HIGH PASS", true},
    {{{{"inputBandPassCenterFrequency", "BP (CENTER) MAX: %ld Hz", "BP (CENTER) MIN: %ld Hz"},
       {"inputBandPassBandwidth", "BP (BANDWIDTH) MAX: %ld", "BP (BANDWIDTH) MIN: %ld"}}},
     2, "BAND PASS", true},
}};

// A range label's number: the limit truncated toward zero; the level's is
// shown in percent of that whole number.
QString rangeLabel(const char* format, const char* key, double limit) {
    long n = long(std::trunc(limit));
    if (std::strcmp(key, "inputAudioMix") == 0) n *= 100;
    return QString::asprintf(format, n);
}

QPen curvePen(const QColor& c) {
    QPen pen(c, 2.0 / AudioDrawingView::pixelScaling());
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

QColor withAlpha(QColor c, double a) {
    c.setAlphaF(float(a));
    return c;
}

}  // namespace

AudioDrawingView::AudioDrawingView(QWidget* parent) : QWidget(parent) {
    oldBounds = QRectF(rect());
    // Every lane rescales its region when the track area's width changes.
    NotificationCenter::defaultCenter().addObserver(
        this, QStringLiteral("updateDrawingPath"), nullptr,
        [this](const Notification&) { updateDrawingPath(); });
}

// A lane going away leaves the window's undo history alone: the history
// holds the removed tracks (and so their lanes) itself, and emptying it
// whenever one of them is dropped would take every other edit's undo with it.
AudioDrawingView::~AudioDrawingView() { NotificationCenter::defaultCenter().removeObserver(this); }

QPainterPath AudioDrawingView::regionPath(const QRectF& r) {
    QPainterPath path;
    path.addRoundedRect(r, 8, 8);
    return path;
}

MusicFilter* AudioDrawingView::track() const {
    return audioView ? audioView->audioTracks.filterAt(viewIndex) : nullptr;
}

MusicFilter* AudioDrawingView::frameOwner() const {
    if (!audioView) return nullptr;
    MusicFilter* t = audioView->audioTracks.filterAt(viewIndex);
    if (t && t->audioDrawingView == this) return t;
    for (const TrackRecord& r : audioView->audioTracks)
        if (r.audioFilter && r.audioFilter->audioDrawingView == this) return r.audioFilter.get();
    return nullptr;
}

double AudioDrawingView::frameX() const {
    const MusicFilter* t = frameOwner();
    return t ? t->laneFrame.x : double(x());
}

double AudioDrawingView::frameWidth() const {
    const MusicFilter* t = frameOwner();
    return t ? t->laneFrame.width : double(width());
}

void AudioDrawingView::setFrame(double x, double width) {
    if (MusicFilter* t = frameOwner()) t->laneFrame = {x, width};
    setGeometry(int(std::lround(x)), y(), std::max(1, int(std::lround(width))), height());
}

void AudioDrawingView::verifyDrawingBezierPath() {
    if (drawingBezierPath.isEmpty() || !audioView) return;
    const QRectF r = drawingBezierPath.boundingRect();
    double x = r.x(), w = r.width();
    const double Lx = frameX(), Lw = frameWidth(), Aw = audioView->frameWidth();
    const double Ax = audioView->x();
    bool changed = false;
    if (x + Lx < Ax) {
        x = Ax - Lx;
        changed = true;
    }
    if (x + Lx + w > Aw) {
        w = std::abs(Aw - (x + Lx));
        changed = true;
    }
    const double x1 = std::max(x, 0.0);
    if (x1 + w > Lw)
        w = std::abs(Lw - x1);
    else if (x >= 0 && !changed)
        return;
    drawingBezierPath = regionPath({x1, r.y(), w, r.height()});
}

void AudioDrawingView::updateDrawingPath() {
    if (drawingBezierPath.isEmpty() || oldBounds.width() <= 0) return;
    const double Lx = frameX(), Lw = frameWidth();
    const double k = Lw / oldBounds.width();
    const QRectF r = drawingBezierPath.boundingRect();
    double x = k * r.x(), w = k * r.width();
    if (audioView) {
        const double Aw = audioView->frameWidth(), Ax = audioView->x();
        if (x + Lx < Ax) x = Ax - Lx;
        if (x + Lx + w > Aw) w = std::abs(Aw - (x + Lx));
    }
    const double x1 = std::max(x, 0.0);
    if (x1 + w > Lw) w = std::abs(Lw - x1);
    drawingBezierPath = regionPath({x1, r.y(), w, r.height()});
    oldBounds = frameRect();
}

QString AudioDrawingView::nameForNote(quint64 note) {
    static const char* const names[] = {"A",     "A#/Bb", "B", "C",     "C#/Db", "D",
                                        "D#/Eb", "E",     "F", "F#/Gb", "G",     "G#/Ab"};
    if (note < 21) return QString();
    return QString::fromLatin1(names[(note - 21) % 12]);
}

void AudioDrawingView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    MusicFilter* t = track();
    if (!t) return;
    if (const auto* owner = audioView ? dynamic_cast<const AudioDrawingViewOwner*>(audioView->audioController) : nullptr;
        owner && owner->laneSkipsDrawingWhileLoading())
        return;
    const bool selected =
        audioView && audioView->audioController &&
        audioView->audioController->currentSelectedAudio.load() == viewIndex;

    // Everything is drawn in the lane's own coordinates, from its exact
    // frame: the widget sits at the nearest whole point.
    drawWaveform(painter, event->rect(), *t);
    painter.translate(frameOffset(), 0);
    drawNotes(painter, *t);
    drawSelections(painter, *t, selected);
    drawCurves(painter, *t, selected);
    painter.save();
    drawOutlineAndFades(painter, selected);
    painter.restore();

    // The waveform still being computed: its progress over the region.
    if (loadingProgress >= 0) {
        const QRectF R = drawingBezierPath.isEmpty() ? frameRect().adjusted(0, 10, 0, -10)
                                                     : drawingBezierPath.boundingRect();
        const double barWidth = std::min(240.0, R.width() - 24);
        const QRectF bar(R.x() + 12, R.center().y() + 4, std::max(barWidth, 0.0), 6);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 50));
        painter.drawRoundedRect(bar, 3, 3);
        painter.setBrush(withAlpha(t->trackColor(), 1.0));
        painter.drawRoundedRect(QRectF(bar.x(), bar.y(), bar.width() * std::clamp(loadingProgress, 0.0, 1.0),
                                       bar.height()),
                                3, 3);
        painter.setPen(Qt::white);
        painter.setFont(systemFont(11));
        painter.drawText(QRectF(bar.x(), bar.y() - 22, 300, 20), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Reading audio… %1%").arg(int(loadingProgress * 100)));
    }
}

void AudioDrawingView::drawWaveform(QPainter& painter, const QRect& dirty, const MusicFilter& t) {
    // The picture and its tint are made over the dirty part of the widget
    // only, in a layer of their own, so that the tint leaves the lane's
    // background alone; the picture lies at the lane's exact origin.
    if (dirty.isEmpty()) return;
    QImage layer(dirty.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter p(&layer);
        p.translate(QPointF(-dirty.topLeft()) + QPointF(frameOffset(), 0));
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        const double W = frameWidth();
        if (t.indexOfUpdatedBitmap < uint64_t(t.filterBitmaps.size())) {
            const QImage& bitmap = t.filterBitmaps[qsizetype(t.indexOfUpdatedBitmap)];
            const double pw = bitmap.width(), ph = AudioView::WaveformHeight;
            const double o = std::max(t.audioOriginInPercent, 0.0);
            const double d = std::min(t.audioDurationInPercent, 1.0);
            // The lane is drawn upside up: the picture's top is the lane's top.
            const QRectF target(0, 10, W, height() - 20);
            if (o > 0 || d < 1) {
                p.setOpacity(0.3);
                p.drawImage(target, bitmap, QRectF(0, 0, pw, ph));
                p.setOpacity(1.0);
                p.drawImage(QRectF(o * W, 10, d * W, height() - 20), bitmap,
                            QRectF(o * pw, 0, d * pw, ph));
            } else {
                p.drawImage(target, bitmap, QRectF(0, 0, pw, ph));
            }
        }
        p.setOpacity(1.0);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.resetTransform();
        p.fillRect(layer.rect(), withAlpha(t.trackColor(), 1.0));
    }
    // A picture whose track is reading a new file stays faint under the
    // progress.
    painter.save();
    if (loadingProgress >= 0) painter.setOpacity(0.25);
    painter.drawImage(dirty.topLeft(), layer);
    painter.restore();
}

void AudioDrawingView::drawSelections(QPainter& painter, const MusicFilter& t, bool selected) {
    if (drawingBezierPath.isEmpty()) return;
    const QRectF R = drawingBezierPath.boundingRect();
    const double W = frameWidth();
    // Lane x to seconds of the source at the track's speed.
    const double speed = t.value(EffectInput::Speed);
    auto secondsAt = [&](double x) {
        return W > 0 && speed != 0 ? x / W * t.durationInSeconds / speed : 0.0;
    };
    // Dots on the region's bottom and top edges.
    auto dots = [&](double x, const QColor& c) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(c);
        painter.drawEllipse(QRectF(x - 4, R.y() - 4, 8, 8));
        painter.drawEllipse(QRectF(x - 4, R.y() + R.height() - 4, 8, 8));
    };
    painter.setRenderHint(QPainter::Antialiasing, true);

    // The ranges bound to effect settings, clipped to the region.
    const auto* owner = audioView ? dynamic_cast<const AudioDrawingViewOwner*>(audioView->audioController) : nullptr;
    if (const auto ranges = owner ? owner->laneSelectionParameterRanges(t) : QList<QPair<double, double>>();
        !ranges.isEmpty()) {
        painter.save();
        painter.setClipPath(drawingBezierPath);
        const quint64 highlighted = owner->laneHighlightedSelectionParameter();
        for (qsizetype i = 0; i < ranges.size(); ++i) {
            const double lo = ranges[i].first * W, hi = ranges[i].second * W;
            const QColor c = selected && quint64(i) != highlighted ? kRed : kAmber;
            const QRectF r(lo, R.y(), hi - lo, R.height());
            if (!r.isEmpty()) {
                painter.setPen(QPen(c, 1.0));
                painter.setBrush(withAlpha(c, 0.2));
                painter.drawRect(r);
            }
            if (lo > R.x()) dots(lo, c);
            if (hi < R.x() + R.width() - 1) dots(hi, c);
        }
        painter.restore();
    }

    // Pasted ranges.
    if (!selectionPastes.isEmpty()) {
        painter.save();
        painter.setClipPath(drawingBezierPath);
        for (const auto& paste : selectionPastes) {
            if (paste.size() < 2) continue;
            const double lo = std::min(paste[0].x(), paste[1].x());
            const double hi = std::max(paste[0].x(), paste[1].x());
            if (hi - lo < 1.0) continue;
            const QColor c = selected ? kGreen : kAmber;
            painter.setPen(QPen(c, 1.0));
            painter.setBrush(withAlpha(c, 0.2));
            painter.drawRect(QRectF(lo, R.y(), hi - lo, R.height()));
            if (lo > R.x()) dots(lo, c);
            if (hi < R.x() + R.width() - 1) dots(hi, c);
        }
        painter.restore();
    }

    // Time selections, then their time labels outside the clip.
    const QFont font = systemFont(11);
    for (const auto& selection : selectionPaths) {
        if (selection.isEmpty()) continue;
        painter.save();
        painter.setClipPath(drawingBezierPath);
        const double x0 = selection[0].x();
        const double x1 = selection.size() >= 2 ? selection[1].x() : x0;
        const double lo = std::min(x0, x1), hi = std::max(x0, x1);
        const QColor c = selected ? kBlue : kAmber;
        const double lineWidth = 2.0 / pixelScaling();
        auto edgeDots = [&](double x) {
            if (std::abs(x - R.x()) > 4.0 && std::abs(x - (R.x() + R.width())) > 4.0)
                dots(x, t.trackColor());
        };
        if (selection.size() >= 2 && hi - lo > 0) {
            painter.setPen(QPen(c, lineWidth));
            painter.setBrush(withAlpha(c, 0.5));
            painter.drawRect(QRectF(lo, R.y(), hi - lo, R.height()));
            edgeDots(lo);
            edgeDots(hi);
        } else {
            painter.setPen(QPen(c, lineWidth));
            painter.drawLine(QPointF(lo, R.y()), QPointF(lo, R.y() + R.height()));
            edgeDots(lo);
        }
        painter.restore();

        painter.setPen(Qt::white);
        painter.setFont(font);
        const QPointF anchor = selection.size() >= 2 ? selection[1] : selection[0];
        // Lane y grows upwards; the widget's grows downwards.
        const double ty = std::clamp(height() - anchor.y(), R.y() + 11, R.y() + R.height() - 8);
        if (showSelectionInfo) {
            const double x = W - anchor.x() >= 70.0 ? anchor.x() + 15 : anchor.x() - 60;
            painter.drawText(QRectF(x, ty - 8, 100, 20),
                             QString::asprintf("%.3f s", secondsAt(anchor.x())));
        } else if (selection.size() == 2 && hi - lo >= 120.0) {
            painter.drawText(QRectF(lo + 6, R.y() + 10, 100, 20),
                             QString::asprintf("%.2f s", secondsAt(lo)));
            painter.drawText(QRectF(hi - 48, R.y() + 10, 100, 20),
                             QString::asprintf("%.2f s", secondsAt(hi)));
        }
    }
}

// The curve of the effect the track shows, its highlighted points and, while
// it records, the range of the control being moved. Lane coordinates have y
// up; the widget's go down.
void AudioDrawingView::drawCurves(QPainter& painter, const MusicFilter& t, bool selected) {
    if (t.showParameterCurve < 1 || t.showParameterCurve > kCurves.size() || drawingBezierPath.isEmpty()) return;
    const auto* owner = audioView ? dynamic_cast<const AudioDrawingViewOwner*>(audioView->audioController) : nullptr;
    if (!owner) return;
    const CurveEntry& entry = kCurves[t.showParameterCurve - 1];

    const double H = height(), W = frameWidth();
    const QRectF region = drawingBezierPath.boundingRect();
    const double Rw = region.width(), Rh = region.height();
    const double Ry = H - (region.y() + region.height());
    // A track of no length (or no speed) has no time to place a point at.
    const double speed = t.value(EffectInput::Speed);
    const double span = speed > 0 ? t.durationInSeconds / speed : 0.0;
    if (!(span > 0) || !std::isfinite(span) || !(W > 0)) return;
    const double shift = t.animationStart().seconds() - t.currentTimeRange().start.seconds() / speed;
    auto xAt = [&](double time) { return std::max(0.0, time - shift) / span * W; };
    // A value's height in the lane, from the range's minimum at Ry * 1.5 to
    // its maximum at Ry * 0.5 + Rh.
    auto yAt = [&](double value, double lo, double hi) { return Ry + Ry / 2 + (value - lo) / (hi - lo) * (Rh - Ry); };
    auto at = [&](double x, double y) { return QPointF(x, H - y); };
    auto textRect = [&](double x, double y, double w, double h) { return QRectF(x, H - y - h, w, h); };
    auto dot = [&](double x, double y, double radius, const QColor& c) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(c);
        painter.drawEllipse(at(x, y), radius, radius);
    };
    const QFont font = systemFont(11);
    auto label = [&](const QRectF& r, const QColor& c, const QString& text) {
        painter.setPen(c);
        painter.setFont(font);
        painter.drawText(r, Qt::AlignLeft | Qt::AlignTop, text);
    };
    // A large dot with its value label beside it.
    auto highlighted = [&](const HighlightedKeyPointRecord& p, const QColor& c, bool withLabel) {
        if (p.maxValue == p.minValue) return;
        const double x = xAt(p.time), y = yAt(p.value, p.minValue, p.maxValue);
        dot(x, y, 5, c);
        if (withLabel) label(textRect(x + 10, y - 13, 100, 20), Qt::white, QString::asprintf("%.3f", p.value));
    };

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const std::optional<AudioDrawingViewOwner::MovingPoint> moving = owner->laneMovingPoint();
    const TrackCurves* curves = owner->laneRecordedCurves(t);
    std::array<std::pair<double, double>, 2> ranges{};
    for (int k = 0; k < entry.keyCount; ++k) ranges[size_t(k)] = owner->laneValueRange(QString::fromLatin1(entry.keys[size_t(k)].key));

    if (curves) {
        for (int k = 0; k < entry.keyCount; ++k) {
            const auto found = curves->find(QString::fromLatin1(entry.keys[size_t(k)].key));
            const auto [lo, hi] = ranges[size_t(k)];
            // A control without a range places no value.
            if (found == curves->end() || lo == hi) continue;
            const KeyPointCurve& points = found->second;
            const QColor c = selected ? (entry.isFilter ? kFilterRed : kBlue) : kAmber;
            QPainterPath path;
            // Thousands of points share a few hundred pixel columns.
            pathinterpolation::ColumnPolyline line(path);
            const size_t n = points.size();
            auto xy = [&](size_t i) { return std::pair{xAt(points[i].time), yAt(points[i].value, lo, hi)}; };
            auto lineTo = [&](double x, double y) { line.lineTo(at(x, y)); };
            auto smallDot = [&](double x, double y) { dot(x, y, 2, c); };
            if (n > 0 && t.typeOfRecordedCurve == uint64_t(CurveStyle::Step)) {
                // Each value holds until the next point's time, then jumps.
                const auto [x0, y0] = xy(0);
                line.moveTo(at(0, y0));
                if (n == 1) {
                    lineTo(W, y0);
                    smallDot(0, y0);
                    smallDot(W, y0);
                } else {
                    if (x0 > 0) lineTo(x0, y0);
                    smallDot(0, y0);
                    for (size_t i = 0; i + 1 < n; ++i) {
                        const auto [xi, yi] = xy(i);
                        const auto [xn, yn] = xy(i + 1);
                        (void)xi;
                        lineTo(xn, yi);
                        lineTo(xn, yn);
                        if (points[i + 1].flag) smallDot(xn, yn);
                    }
                    const auto [xl, yl] = xy(n - 1);
                    (void)xl;
                    lineTo(W, yl);
                    smallDot(W, yl);
                }
            } else if (n > 0 && t.typeOfRecordedCurve == uint64_t(CurveStyle::Linear)) {
                // Straight from each point to the next.
                const auto [x0, y0] = xy(0);
                if (x0 == 0) {
                    line.moveTo(at(x0, y0));
                    smallDot(x0, y0);
                } else {
                    line.moveTo(at(0, y0));
                    lineTo(x0, y0);
                    smallDot(0, y0);
                    smallDot(x0, y0);
                }
                for (size_t i = 0; i + 1 < n; ++i) {
                    const auto [xn, yn] = xy(i + 1);
                    lineTo(xn, yn);
                    if (points[i + 1].flag) smallDot(xn, yn);
                }
                const auto [xl, yl] = xy(n - 1);
                (void)xl;
                lineTo(W, yl);
                smallDot(W, yl);
            }
            line.finish();
            painter.setPen(curvePen(c));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(path);
            // The title; a point being moved puts its range labels there.
            if (!moving && Rw > 150.0) label(textRect(10, Ry + Rh - 25, 400, 20), kGold, QString::fromLatin1(entry.title));
        }
    }

    // The point a control moves shows in the lane of the track it records,
    // the selected one; a band of the equaliser only over the EQ gain curve.
    if (moving && selected && (!moving->fromBandSlider || std::strcmp(entry.keys[0].key, "inputGlobalGain") == 0))
        highlighted(moving->point, kTranslucentBlue, true);
    if (const auto menuPoint = owner->laneHighlightedKeyPoint()) highlighted(*menuPoint, kAmber, true);
    for (qsizetype i = 0; i < currentModifiedHighlightedKeyTimes.size(); ++i)
        highlighted(currentModifiedHighlightedKeyTimes[i], isDeletingRecordedParameter ? kRed : kAmber,
                    i + 1 == currentModifiedHighlightedKeyTimes.size());

    // The range of the control recording this track's curve.
    if (curves && t.isRecordingParameters == 1 && Rw > 204.0) {
        const QString movingKey = owner->laneMovingSliderKey();
        for (int k = 0; k < entry.keyCount; ++k) {
            const CurveKey& key = entry.keys[size_t(k)];
            const auto [lo, hi] = ranges[size_t(k)];
            if (lo == hi || movingKey != QLatin1String(key.key) || !curves->count(movingKey)) continue;
            label(textRect(10, Ry + Rh - 25, 400, 20), kGold, rangeLabel(key.maximumLabel, key.key, hi));
            label(textRect(10, Ry - 1, 400, 20), kGold, rangeLabel(key.minimumLabel, key.key, lo));
        }
    }
    painter.restore();
}

// The region's outline, which then clips the fade lines to the region.
void AudioDrawingView::drawOutlineAndFades(QPainter& painter, bool selected) {
    const QRectF region = drawingBezierPath.boundingRect();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    if (!drawingBezierPath.isEmpty() && region.width() > 3.0) {
        painter.setPen(curvePen(tempStrokeForDragDrop ? kGreen : selected ? kBlue : kAmber));
        painter.drawPath(drawingBezierPath);
        painter.setClipPath(drawingBezierPath, Qt::IntersectClip);
    }
    // The fades run from the region's bottom corners towards its top, in
    // lane coordinates (y up).
    const double H = height();
    const double Rx = region.x(), Rw = region.width(), Rh = region.height();
    const double Ry = drawingBezierPath.isEmpty() ? 0.0 : H - (region.y() + region.height());
    painter.setTransform(QTransform(1, 0, 0, -1, 0, H), true);
    painter.setPen(curvePen(selected ? kBlue : kAmber));
    if (fadeInPercent > 0) {
        fadeInBezierPath = QPainterPath();
        fadeInBezierPath.moveTo(Rx, Ry);
        fadeInBezierPath.lineTo(Rx + Rw * fadeInPercent / 100, Ry + Rh);
        painter.drawPath(fadeInBezierPath);
    }
    if (fadeOutPercent > 0) {
        fadeOutBezierPath = QPainterPath();
        fadeOutBezierPath.moveTo(Rx + Rw, Ry);
        fadeOutBezierPath.lineTo(Rx + Rw - Rw * fadeOutPercent / 100, Ry + Rh);
        painter.drawPath(fadeOutBezierPath);
    }
}
