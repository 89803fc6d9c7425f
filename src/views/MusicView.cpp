#include "views/MusicView.h"

#include "engine/AudioControllerServices.h"
#include "engine/MusicFilter.h"
#include "platform/core/MainQueue.h"
#include "platform/core/NotificationCenter.h"
#include "platform/media/Asset.h"
#include "platform/media/ImageGenerator.h"

#include <QFileInfo>
#include <QIcon>
#include <QMenu>
#include <QMimeData>
#include <QMimeDatabase>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

MusicView::MusicView(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAcceptDrops(true);
}

const QStringList& MusicView::assetKeys() {
    static const QStringList keys{QStringLiteral("playable"), QStringLiteral("hasProtectedContent"),
                                  QStringLiteral("tracks"), QStringLiteral("duration"),
                                  QStringLiteral("commonMetadata")};
    return keys;
}

bool MusicView::importAudioURL(const QUrl& url) {
    // Files that are no audio or video file load nothing.
    if (!Asset::isAudiovisualFile(url.toLocalFile())) return true;
    return setupPlayerAssetWithURL(url);
}

bool MusicView::setupPlayerAssetWithURL(const QUrl& url) {
    const QString path = url.toLocalFile();
    if (path.isEmpty()) return false;
    const quint64 generation = ++loadGeneration_;
    QPointer<MusicView> self(this);
    Asset::loadAsync(path, [self, generation](std::shared_ptr<Asset> asset, const QString& error) {
        // A newer load has replaced this one.
        if (self && generation == self->loadGeneration_) self->finishLoading(std::move(asset), error);
    });
    return true;
}

void MusicView::setupPlayerAssetWithLoadedAsset(std::shared_ptr<Asset> asset) {
    const quint64 generation = ++loadGeneration_;
    QPointer<MusicView> self(this);
    MainQueue::async([self, generation, asset] {
        if (self && generation == self->loadGeneration_) self->finishLoading(asset, QString());
    });
}

bool MusicView::setUpPlaybackOfAsset(const Asset& asset, const QStringList& keys) {
    for (const QString& key : keys)
        if (asset.statusOfValue(key) == AssetKeyStatus::Failed) return false;
    return asset.isPlayable() && !asset.hasProtectedContent() &&
           !asset.tracksWithMediaType(MediaType::Audio).empty() &&
           asset.statusOfValue(QStringLiteral("tracks")) == AssetKeyStatus::Loaded;
}

void MusicView::finishLoading(std::shared_ptr<Asset> asset, const QString& error) {
    if (!asset || !setUpPlaybackOfAsset(*asset, assetKeys())) {
        // The thumbnail keeps its previous asset and picture.
        QString why = error;
        if (why.isEmpty())
            why = asset ? QStringLiteral("The file has no audio that can be played.")
                        : QStringLiteral("The file could not be opened.");
        if (assetLoadDidFail) assetLoadDidFail(this, why);
        return;
    }
    mediaURL = asset->url();
    mediaBookmarkData.clear();
    mediaAsset = asset;
    mediaType = 0;
    NotificationCenter::defaultCenter().post(QStringLiteral("setupNewPlayerAsset"), this);

    // The picture: a video frame is decoded off the main thread.
    if (asset->tracksWithMediaType(MediaType::Video).empty()) {
        image = artworksForAsset(*asset).front();
        update();
        return;
    }
    auto generator = std::make_shared<ImageGenerator>(*asset);
    generator->setAppliesPreferredTrackTransform(true);
    generator->setMaximumSize(QSize(1400, 1400));
    const MediaTime at = minTime(asset->duration(), MediaTime(10, 1));
    QPointer<MusicView> self(this);
    const quint64 generation = loadGeneration_;
    generator->generateAsync(at, [self, generator, asset, generation](const QImage& frame,
                                                                      const MediaTime&,
                                                                      const QString&) {
        if (!self || generation != self->loadGeneration_) return;
        self->image = !frame.isNull() ? frame : artworksForAsset(*asset).front();
        self->update();
    });
}

QList<QImage> MusicView::artworksForAsset(const Asset& asset) {
    if (!asset.tracksWithMediaType(MediaType::Video).empty()) {
        ImageGenerator generator(asset);
        generator.setAppliesPreferredTrackTransform(true);
        generator.setMaximumSize(QSize(1400, 1400));
        QImage frame = generator.imageAt(minTime(asset.duration(), MediaTime(10, 1)));
        if (!frame.isNull()) return {frame};
    }
    QList<QImage> artworks;
    for (const MetadataItem& item : asset.metadataWithCommonKey(QStringLiteral("artwork"))) {
        QImage picture;
        if (item.value.typeId() == QMetaType::QByteArray)
            picture = QImage::fromData(item.value.toByteArray());
        if (!picture.isNull()) artworks.append(picture);
    }
    if (!artworks.isEmpty()) return artworks;
    return {iconForFile(asset.path())};
}

QImage MusicView::iconForFile(const QString& path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    QString mime;
    if (ext == QLatin1String("mp3"))
        mime = QStringLiteral("audio/mpeg");
    else if (ext == QLatin1String("caf"))
        mime = QStringLiteral("audio/x-caf");
    else if (ext == QLatin1String("aif") || ext == QLatin1String("aiff"))
        mime = QStringLiteral("audio/x-aiff");
    else if (ext == QLatin1String("wav") || ext == QLatin1String("wave"))
        mime = QStringLiteral("audio/x-wav");
    else {
        // Other sound files (FLAC, Ogg, …) show their own type; anything
        // else the m4a page.
        const QMimeType own = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
        mime = own.name().startsWith(QLatin1String("audio/")) ? own.name() : QStringLiteral("audio/mp4");
    }
    const QMimeType type = QMimeDatabase().mimeTypeForName(mime);
    for (const QString& name : {type.iconName(), type.genericIconName(), QStringLiteral("audio-x-generic")}) {
        const QIcon icon = QIcon::fromTheme(name);
        if (!icon.isNull()) return icon.pixmap(256, 256).toImage();
    }
    // No icon theme: a drawn page with the type's name.
    QImage picture(256, 256, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(200, 200, 200), 4));
    p.setBrush(QColor(60, 60, 64));
    p.drawRoundedRect(QRectF(56, 24, 144, 208), 12, 12);
    p.setPen(QColor(255, 186, 38));
    QFont font = p.font();
    font.setPixelSize(34);
    font.setBold(true);
    p.setFont(font);
    const QString label = mime == QLatin1String("audio/mpeg")    ? QStringLiteral("MP3")
                          : mime == QLatin1String("audio/x-caf")  ? QStringLiteral("CAF")
                          : mime == QLatin1String("audio/x-aiff") ? QStringLiteral("AIFF")
                          : mime == QLatin1String("audio/x-wav")  ? QStringLiteral("WAVE")
                          : mime == QLatin1String("audio/mp4")    ? QStringLiteral("M4A")
                                                                   : ext.toUpper().left(4);
    p.drawText(QRectF(56, 150, 144, 50), Qt::AlignCenter, label);
    // A note.
    p.setPen(QPen(QColor(255, 186, 38), 6));
    p.drawLine(QPointF(140, 60), QPointF(140, 118));
    p.setBrush(QColor(255, 186, 38));
    p.drawEllipse(QPointF(128, 120), 14, 10);
    return picture;
}

void MusicView::paintEvent(QPaintEvent*) {
    // The framed picture is drawn again only when the picture, the frame's
    // colour or the size changed; a repaint of the column lays it down whole.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    const qint64 imageKey = image.isNull() ? 0 : image.cacheKey();
    if (framed_.size() != pixels || framed_.devicePixelRatio() != ratio || framedImageKey_ != imageKey ||
        framedColorType_ != colorType) {
        framed_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        framed_.setDevicePixelRatio(ratio);
        framed_.fill(Qt::transparent);
        framedImageKey_ = imageKey;
        framedColorType_ = colorType;
        QPainter p(&framed_);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        QPainterPath frame;
        frame.addRoundedRect(QRectF(rect()), 8, 8);
        p.setClipPath(frame);
        p.fillRect(rect(), QColor(0, 0, 0, 90));
        if (!image.isNull()) {
            // Centred, scaled up or down to fit, keeping its shape.
            const QSizeF fitted = QSizeF(image.size()).scaled(QSizeF(width(), height()), Qt::KeepAspectRatio);
            QRectF target(QPointF(0, 0), fitted);
            target.moveCenter(QRectF(rect()).center());
            p.drawImage(target, image);
        }
        const QColor border = colorType == 0 ? QColor::fromRgbF(0.02f, 0.55f, 0.81f, 1.0f)
                                             : QColor::fromRgbF(0.94f, 0.12f, 0.22f, 1.0f);
        p.setPen(QPen(border, 3.0));
        p.setBrush(Qt::NoBrush);
        p.drawPath(frame);
    }
    QPainter(this).drawImage(0, 0, framed_);
}

void MusicView::selectTrack() {
    if (!audioController || audioController->currentSelectedAudio.load() == viewIndex) return;
    audioController->currentSelectedAudio.store(viewIndex);
    if (didSelectTrack) didSelectTrack(viewIndex);
}

void MusicView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        selectTrack();
        return;
    }
    if (event->button() != Qt::RightButton || !acceptsDraggedMedia) return;
    QMenu menu(QStringLiteral("Item Menu"), this);
    QPointer<MusicView> self(this);
    menu.addAction(QStringLiteral("Import audio file..."), this, [self] {
        if (self) self->importAudioFileFromMenu();
    });
    // The track of this thumbnail is the one the import replaces.
    selectTrack();
    menu.exec(event->globalPosition().toPoint());
}

void MusicView::importAudioFileFromMenu() { emit importFileRequested(this); }

void MusicView::replaceAudioWithURL(const QUrl& url) {
    QPointer<MusicView> self(this);
    MainQueue::instance().perform(this, QStringLiteral("replaceAudioWithURL"), url, [self, url] {
        if (self) emit self->replaceAudioRequested(url);
    });
}

void MusicView::dragEnterEvent(QDragEnterEvent* event) {
    dragOperation = acceptsDraggedMedia && event->mimeData()->hasUrls() ? 1 : 0;
    if (dragOperation) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void MusicView::dragMoveEvent(QDragMoveEvent* event) {
    if (dragOperation) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void MusicView::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        return;
    }
    // File URLs only; the first one replaces the file of this thumbnail's
    // track, which the drop selects (a drop never replaces another track).
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile()) continue;
        selectTrack();
        replaceAudioWithURL(url);
        event->setDropAction(Qt::CopyAction);
        event->accept();
        return;
    }
    event->ignore();
}

// ---------------------------------------------------------------------------

namespace {
bool metersRunning = false;
QSet<AudioMeteringView*>& meters() {
    static QSet<AudioMeteringView*> all;
    return all;
}
}  // namespace

AudioMeteringView::AudioMeteringView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    meters().insert(this);
    follow(metersRunning);
}

AudioMeteringView::~AudioMeteringView() { meters().remove(this); }

void AudioMeteringView::setRunning(bool running) {
    metersRunning = running;
    for (AudioMeteringView* meter : meters()) meter->follow(running);
}

bool AudioMeteringView::isRunning() { return metersRunning; }

void AudioMeteringView::follow(bool running) {
    if (running && !timer_) {
        timer_ = startTimer(100);
    } else if (!running && timer_) {
        killTimer(timer_);
        timer_ = 0;
        // Nothing sounds any more: the bars go down now rather than keep the
        // levels of the last slices played.
        if (auto t = track.lock()) lastGeneration_ = t->meteringGeneration();
        leftChannelValue = rightChannelValue = 0.0;
        update();
    }
}

void AudioMeteringView::timerEvent(QTimerEvent*) {
    auto t = track.lock();
    if (!t || t->meteringGeneration() == lastGeneration_) return;
    lastGeneration_ = t->meteringGeneration();
    leftChannelValue = t->leftChannelValue();
    rightChannelValue = t->rightChannelValue();
    update();
}

double AudioMeteringView::barFraction(double value) {
    constexpr double Floor = -50.0;  // dB
    const double level = value > 0 ? std::max(20.0 * std::log10(value), Floor) : Floor;
    // A level above full scale fills the bar, never shortens it.
    return std::clamp(1.0 - std::abs(std::min(level, 0.0)) / -Floor, 0.0, 1.0);
}

void AudioMeteringView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const double W = width(), H = height();
    p.fillRect(rect(), QColor::fromRgbF(0.18f, 0.17f, 0.18f, 1.0f));
    // Bottom-up: a bar of height h covers the lowest h points of the view,
    // and the gradient runs from green at the bottom to red at the top.
    QLinearGradient gradient(0, H, 0, 0);
    gradient.setColorAt(0.0, QColor(Qt::green));
    gradient.setColorAt(0.7, QColor(Qt::yellow));
    gradient.setColorAt(1.0, QColor(Qt::red));
    const double values[2] = {leftChannelValue, rightChannelValue};
    const double xs[2] = {0.0, W / 2 + 1};
    for (int c = 0; c < 2; ++c) {
        const double h = barFraction(values[c]) * H;
        if (h <= 0) continue;
        p.fillRect(QRectF(xs[c], H - h, W / 2 - 1, h), gradient);
    }
    QPen frame(QColor::fromRgbF(0.11f, 0.11f, 0.11f, 1.0f), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(frame);
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect());
}
