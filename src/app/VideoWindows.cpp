// The mini-player and composition windows: their title, the player item
// that holds one track's picture beside the whole mix, the player layer that
// shows that picture in the composition window, the lane's "Show video
// track" entry, and bringing the editor window back to the front.
#include "app/AudioController.h"

#include "app/MiniPlayerBuilder.h"
#include "app/PlayerItems.h"
#include "engine/MusicFilter.h"
#include "platform/media/Asset.h"
#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"
#include "platform/media/Player.h"
#include "platform/media/VideoFrames.h"
#include "views/AudioDrawingView.h"
#include "views/ExportViews.h"
#include "views/LineView.h"
#include "views/SmallViews.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The first video track of a track's source, if it has one.
std::shared_ptr<AssetTrack> videoTrackOf(const MusicFilter& track) {
    if (!track.playerAsset) return nullptr;
    const auto video = track.playerAsset->tracksWithMediaType(MediaType::Video);
    return video.empty() ? nullptr : video.front();
}

// How often the player layer looks at the player's time.
constexpr int kLayerIntervalMs = 15;

}  // namespace

QString AudioController::compositionWindowTitle() const {
    // The length as a time of day that many seconds after midnight.
    const double d = shell.compositionDuration.seconds();
    const int64_t s = std::isfinite(d) && d > 0 ? int64_t(std::floor(d)) : 0;
    const QString length = QString::asprintf("%02d:%02d:%02d", int((s / 3600) % 24), int((s / 60) % 60), int(s % 60));
    const QString title =
        exporting.metadataPopover ? exporting.metadataPopover->metadataTitleTextField->text() : QString();
    if (!title.isEmpty()) return QStringLiteral("%1 - %2").arg(title, length);
    if (!library.projectURL.isEmpty())
        return QStringLiteral("%1 - %2").arg(QFileInfo(library.projectURL.toLocalFile()).completeBaseName(), length);
    return QStringLiteral("Untitled Composition - %1").arg(length);
}

void AudioController::showPlayerWindow() {
    QWidget* window = miniPlayer.playerWindow;
    if (!window) return;
    if (!window->isVisible()) {
        const QString title = compositionWindowTitle();
        if (miniPlayer.playerTextField) miniPlayer.playerTextField->setText(title);
        window->setWindowTitle(title);
        window->show();
    }
    window->raise();
    window->activateWindow();
}

QWidget* AudioController::compositionWindow() {
    if (!trackList.compositionWindow) {
        auto* window = new QWidget(ui.window, Qt::Window);
        window->setObjectName(QStringLiteral("compositionWindow"));
        window->resize(640, 360);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        videoWindows.playerView = new PlayerView(window);
        videoWindows.playerView->setObjectName(QStringLiteral("playerView"));
        layout->addWidget(videoWindows.playerView);
        trackList.compositionWindow = window;
    }
    return trackList.compositionWindow;
}

void AudioController::showCompositionWindow(quint64 index) {
    MusicFilter* track = trackAt(index);
    if (!track) return;
    QWidget* window = compositionWindow();
    if (trackList.currentVideoInCompositionWindow.lock().get() == track) {
        if (!window->isVisible()) {
            window->show();
            window->raise();
        }
        return;
    }
    trackList.currentVideoInCompositionWindow = track->weak_from_this();
    window->setWindowTitle(compositionWindowTitle());
    updatePlayerWithVideoTrack(index);

    // A new player layer on the player, shown in the view.
    videoWindows.playerLayerHasPlayer = true;
    videoWindows.playerLayerFrames.reset();
    videoWindows.playerView->setLayerInstalled(true);
    if (!videoWindows.playerLayerTimer) {
        auto* timer = new QTimer(this);
        timer->setInterval(kLayerIntervalMs);
        QPointer<AudioController> self(this);
        connect(timer, &QTimer::timeout, this, [self] {
            // Nothing is decoded while the window is closed.
            if (!self || !self->videoWindows.playerLayerHasPlayer || !self->audioPlayer ||
                !self->videoWindows.playerView || !self->videoWindows.playerView->isVisible())
                return;
            PlayerItem* item = self->audioPlayer->currentItem();
            std::shared_ptr<const Composition> composition = item ? item->asset() : nullptr;
            auto& frames = self->videoWindows.playerLayerFrames;
            // Pictures are made at the view's size, not the movie's.
            const PlayerView* playerView = self->videoWindows.playerView;
            const QSize viewSize = playerView->size() * playerView->devicePixelRatioF();
            // The layer follows the player's item: a new item, a new picture.
            if (!frames || frames->composition() != composition.get()) {
                frames = VideoFrames::create(composition, viewSize);
                QPointer<PlayerView> view = self->videoWindows.playerView;
                frames->frameReady = [view](const QImage& image, const MediaTime&) {
                    if (view) view->setFrame(image);
                };
                if (!frames->hasVideo()) self->videoWindows.playerView->setFrame({});
            }
            frames->setMaximumSize(viewSize);
            if (frames->hasVideo()) frames->requestFrame(self->audioPlayer->currentTime());
        });
        videoWindows.playerLayerTimer = timer;
    }
    videoWindows.playerLayerTimer->start();
    window->show();
    window->raise();
}

void AudioController::updatePlayerWithVideoTrack(quint64 index) {
    MusicFilter* track = trackAt(index);
    if (!track || !audioPlayer || !currentComposition || !currentAudioMix) return;
    if (deferPlayerRebuildDuringExport()) return;
    removePlayerItemObserver();
    shell.continueTimeObserver = false;

    auto C = currentComposition->copy();
    CompositionTrack* T = C->addMutableTrack(MediaType::Video);
    const int32_t ts = track->timeScale > 0 ? track->timeScale : 600;
    T->setNaturalTimeScale(ts);
    const MediaTimeRange R = track->currentTimeRange();
    const MediaTime A = track->animationStart();
    double v = track->value(EffectInput::Speed);
    if (!(v > 0)) v = 1.0;
    const std::shared_ptr<AssetTrack> video = videoTrackOf(*track);
    const MediaTimeRange V = video ? video->timeRange() : MediaTimeRange{};
    // (Failed insertions leave the picture empty there.)
    if (video && R.start < V.start + V.duration) {
        if (R.start + R.duration <= V.duration) {
            T->insertTimeRange(R, video, A);
            if (v != 1.0) T->scaleTimeRange({A, R.duration}, MediaTime::fromSeconds(R.duration.seconds() / v, ts));
        } else {
            // The track plays past the end of the picture.
            T->insertTimeRange({R.start, V.duration - R.start}, video, A);
            if (v != 1.0) {
                const MediaTime D = T->duration();
                T->scaleTimeRange({A, D - A}, MediaTime::fromSeconds((D - A).seconds() / v, ts));
            }
            T->insertEmptyTimeRange(
                {T->duration(), MediaTime::fromSeconds((R.start + R.duration - V.duration).seconds() / v, ts)});
        }
    } else {
        T->insertEmptyTimeRange({MediaTime::zero(), A + MediaTime::fromSeconds(R.duration.seconds() / v, ts)});
    }

    playeritems::playWithCurrentMix(*this, C);
}

void AudioController::resetPlayerLayer() {
    videoWindows.playerLayerHasPlayer = false;
    videoWindows.playerLayerFrames.reset();
    if (videoWindows.playerLayerTimer) videoWindows.playerLayerTimer->stop();
    if (videoWindows.playerView) videoWindows.playerView->setLayerInstalled(false);
}

void AudioController::showEditorWindowFrom() {
    QWidget* window = ui.audioView ? ui.audioView->window() : ui.window;
    if (!window || window->isVisible()) return;
    window->show();
    window->raise();
    window->activateWindow();
}

void AudioController::installLaneContextMenu(AudioDrawingView* lane) {
    if (!lane) return;
    lane->setContextMenuPolicy(Qt::CustomContextMenu);
    QPointer<AudioDrawingView> weakLane(lane);
    connect(lane, &QWidget::customContextMenuRequested, this, [this, weakLane](const QPoint& at) {
        if (!weakLane) return;
        const quint64 index = indexOfTrack(weakLane->track());
        if (index != kNoIndex) popUpLaneMenu(index, weakLane->mapToGlobal(at));
    });
    // The ruler layer lies over the lanes: its menu requests go to the lane
    // whose region is under the pointer.
    if (QWidget* layer = ui.lineView; layer && !layer->property("laneMenus").toBool()) {
        layer->setProperty("laneMenus", true);
        layer->setContextMenuPolicy(Qt::CustomContextMenu);
        QPointer<QWidget> weakLayer(layer);
        connect(layer, &QWidget::customContextMenuRequested, this, [this, weakLayer](const QPoint& at) {
            if (!weakLayer) return;
            const QPoint global = weakLayer->mapToGlobal(at);
            for (int i = 0; i < trackCount(); ++i) {
                AudioDrawingView* l = trackLaneOf(trackAt(quint64(i)));
                if (l && !l->drawingBezierPath.isEmpty() && l->drawingBezierPath.contains(l->framePoint(l->mapFromGlobal(QPointF(global))))) {
                    popUpLaneMenu(quint64(i), global);
                    return;
                }
            }
        });
    }
}
