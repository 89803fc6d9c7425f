#include "views/AudioView.h"

#include "engine/MusicFilter.h"
#include "views/AudioDrawingView.h"
#include "views/ImageBlur.h"
#include "views/Palette.h"

#include "platform/media/Asset.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <QPaintEvent>

#include <algorithm>
#include <utility>
#include <cstring>

AudioView::AudioView(QWidget* parent) : QWidget(parent) { setAcceptDrops(true); }

void AudioView::setFrameWidth(double width, int height) {
    frameWidth_ = std::max(width, 0.0);
    resize(int(frameWidth_), height);
}

void AudioView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), palette::backgroundGrey());
    // Row separators, one per track. Filled rather than stroked: Qt strokes
    // a translucent hairline pixel by pixel, handing the pieces to its shared
    // pool, which costs milliseconds a line on every repaint.
    for (size_t i = 1; i <= audioTracks.size(); ++i)
        painter.fillRect(QRect(0, int(i) * RowHeight, width(), 1), QColor(0, 0, 0, 160));
}

void AudioView::setViewAcceptsMouseEvents(bool accepts) {
    viewAcceptsMouseEvents = accepts;
    for (const auto& record : audioTracks)
        if (record.audioFilter)
            if (auto* lane = qobject_cast<AudioDrawingView*>(record.audioFilter->audioDrawingView))
                lane->viewAcceptsMouseEvents = accepts;
}

QImage AudioView::createNewBmpImageRep(int pixelWidth, int pixelHeight, double dpiScaling,
                                       bool doSetSize) {
    QImage image(std::max(pixelWidth, 1), std::max(pixelHeight, 1),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // Points are pixels divided by the device pixel ratio.
    if (doSetSize && dpiScaling > 0) image.setDevicePixelRatio(1.0 / dpiScaling);
    return image;
}

void AudioView::paintWaveform(QImage& picture, const QVector<float>& values) {
    if (picture.isNull()) return;
    // Several pictures are painted at once on the workers: each step lets
    // go of what it no longer needs before the next makes its own.
    QImage bitmap = picture.format() == QImage::Format_ARGB32_Premultiplied
                        ? std::exchange(picture, QImage())
                        : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    picture = QImage();
    {
        const double W = WaveformWidth, H = WaveformHeight, mid = H / 2;
        QVector<QLineF> lines;
        lines.reserve(values.size() + 1);
        lines.append(QLineF(0, mid, W, mid));
        const qsizetype n = values.size();
        for (qsizetype k = 0; k < n; ++k) {
            const double x = double(k) / double(n) * W;
            double v = values[k];
            if (!(v > 0)) v = 0;  // NaN and negatives: the midline
            v = std::min(v, 1.0);
            lines.append(QLineF(x, mid + mid * v, x, mid - mid * v));
        }
        QImage strokes = createNewBmpImageRep(bitmap.width(), bitmap.height(), 1.0, false);
        {
            QPainter p(&strokes);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
            p.scale(bitmap.width() / W, bitmap.height() / H);
            QPen pen(Qt::white, double(0.1f));
            pen.setCapStyle(Qt::RoundCap);
            pen.setJoinStyle(Qt::RoundJoin);
            p.setPen(pen);
            p.drawLines(lines);
        }
        lines = {};
        // The white glow under the strokes, then the strokes.
        QImage glow = strokes;
        boxBlur(glow, 3);
        QPainter p(&bitmap);
        p.drawImage(0, 0, glow);
        p.drawImage(0, 0, strokes);
    }
    // Brighten: the picture added to itself at half strength.
    {
        const QImage copy = bitmap.copy();
        QPainter p(&bitmap);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.setCompositionMode(QPainter::CompositionMode_Plus);
        p.setOpacity(0.5);
        p.drawImage(QRectF(0, 0, bitmap.width(), bitmap.height()), copy);
    }
    // The lane tints the picture with its track's colour, which takes only
    // its coverage: that is all a track keeps, a quarter of the colour
    // picture's memory. Taken by hand: QImage's own conversion of a picture
    // this size hands its pieces to Qt's shared pool, where the window's own
    // painting would wait behind them.
    QImage coverage(bitmap.width(), bitmap.height(), QImage::Format_Alpha8);
    coverage.setDevicePixelRatio(bitmap.devicePixelRatio());
    for (int y = 0; y < bitmap.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(bitmap.constScanLine(y));
        uchar* out = coverage.scanLine(y);
        for (int x = 0; x < bitmap.width(); ++x) out[x] = uchar(qAlpha(in[x]));
    }
    picture = std::move(coverage);
}

void AudioView::createPathImageForIndex(quint64 index) {
    MusicFilter* filter = audioTracks.filterAt(index);
    if (!filter) return;
    MusicFilter& track = *filter;
    if (track.indexOfUpdatedBitmap >= uint64_t(track.filterBitmaps.size())) {
        track.filterBitmaps.append(createNewBmpImageRep(WaveformWidth, WaveformHeight, 1.0, true));
        track.indexOfUpdatedBitmap = uint64_t(track.filterBitmaps.size() - 1);
    }
    paintWaveform(track.filterBitmaps[qsizetype(track.indexOfUpdatedBitmap)],
                  audioTracks[index].audioFloatData);
    if (auto* lane = track.audioDrawingView.data()) lane->update();
}

// ---- File drops ------------------------------------------------------------------------

bool AudioView::acceptsDroppedFile(const QUrl& url) {
    if (!url.isLocalFile()) return false;
    const QFileInfo info(url.toLocalFile());
    return info.isFile() && Asset::audiovisualExtensions().contains(info.suffix().toLower());
}

void AudioView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData() && event->mimeData()->hasUrls()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void AudioView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData() && event->mimeData()->hasUrls()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void AudioView::dropEvent(QDropEvent* event) {
    QUrl url;
    if (const QMimeData* data = event->mimeData(); data && data->hasUrls())
        for (const QUrl& u : data->urls())
            if (u.isLocalFile()) {
                url = u;  // the first file only
                break;
            }
    if (!acceptsDroppedFile(url)) {
        event->ignore();
        return;
    }
    // The import runs once the drop has returned.
    QTimer::singleShot(0, this, [this, url] { emit fileDropped(url); });
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
