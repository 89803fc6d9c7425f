#include "app/WindowController.h"

#include "app/Alerts.h"
#include "app/AudioController.h"
#include "platform/core/MainQueue.h"
#include "platform/core/NotificationCenter.h"
#include "views/AudioView.h"
#include "views/LibraryView.h"

void WindowController::windowDidResize() {
    NotificationCenter::defaultCenter().post(QStringLiteral("updateDrawingPath"), audioView);
    if (audioController) audioController->setupLabelsWithUpdate(true);
}

void WindowController::windowDidEndLiveResize() {
    if (audioController) audioController->setupLabelsWithUpdate(true);
}

bool WindowController::windowShouldClose() {
    auto* c = audioController;
    if (!c) return true;
    // With the mini player open the application goes on; it asks when quitting.
    if (c->miniPlayer.playerWindow && c->miniPlayer.playerWindow->isVisible()) return true;
    return c->askToSaveComposition() == AudioController::SaveAnswer::DontSave;
}

// ---------------------------------------------------------------------------
// The preview panel

#include "engine/MusicFilter.h"
#include "platform/media/Asset.h"
#include "platform/media/Player.h"
#include "views/MusicView.h"
#include "views/PreviewPanel.h"

#include <QPushButton>

WindowController::WindowController(QObject* parent) : QObject(parent) {}

WindowController::~WindowController() { stopPreview(); }

PreviewPanel* WindowController::previewPanel() const { return previewPanel_.data(); }

QUrl WindowController::previewItem() const {
    if (!audioController) return {};
    // Opened from the library: its selected row's file, once.
    if (LibraryView* library = audioController->ui.libraryView; library && library->quickLookCalledFromLibrary) {
        library->quickLookCalledFromLibrary = false;
        const LibraryItemRecord* row = library->selectedRecord();
        return row ? QUrl::fromLocalFile(row->libraryAudioTrevalunePath) : QUrl();
    }
    const TrackRecord* record = audioController->trackRecordAt(audioController->currentSelectedAudio.load());
    return record ? record->audioURL : QUrl();
}

void WindowController::showQuickLookPanel() {
    if (!audioController) return;
    QWidget* window = audioController->ui.window;
    if (!previewPanel_) {
        previewPanel_ = new PreviewPanel(window);
        previewPanel_->play = [this](const QString& path) { playPreview(path); };
        previewPanel_->stop = [this] { stopPreview(); };
    }
    LibraryView* library = audioController->ui.libraryView;
    const bool fromLibrary = library && library->quickLookCalledFromLibrary;
    const LibraryItemRecord* row = fromLibrary ? library->selectedRecord() : nullptr;
    const QUrl url = previewItem();
    const TrackRecord* record =
        fromLibrary ? nullptr : audioController->trackRecordAt(audioController->currentSelectedAudio.load());
    double seconds = 0;
    QImage picture;
    if (row) {
        picture = row->libraryAudioWave;
        if (auto asset = Asset::load(row->libraryAudioTrevalunePath)) seconds = asset->duration().seconds();
    }
    if (record && record->audioFilter) {
        seconds = record->audioFilter->durationInSeconds;
        if (auto* thumbnail = qobject_cast<MusicView*>(record->audioFilter->imageView.data())) picture = thumbnail->image;
    }
    previewPanel_->setPreviewItem(url.toLocalFile(), seconds, picture);
    previewPanel_->playButton->setEnabled(!url.isEmpty());
    previewPanel_->adjustSize();
    if (window) previewPanel_->move(window->geometry().center() - previewPanel_->rect().center());
    previewPanel_->show();
    previewPanel_->raise();
    previewPanel_->activateWindow();
}

void WindowController::playPreview(const QString& path) {
    stopPreview();
    QString error;
    auto asset = Asset::load(path, &error);
    const auto audio = asset ? asset->tracksWithMediaType(MediaType::Audio) : std::vector<std::shared_ptr<AssetTrack>>{};
    if (audio.empty()) return;
    auto composition = std::make_shared<Composition>();
    composition->addMutableTrack(MediaType::Audio)->insertTimeRange(audio.front()->timeRange(), audio.front(), MediaTime::zero());
    previewPlayer_ = std::make_unique<Player>();
    auto item = PlayerItem::create(composition);
    Player* player = previewPlayer_.get();
    QObject::connect(item.get(), &PlayerItem::statusChanged, player, [player](PlayerItem::Status status) {
        if (status == PlayerItem::Status::ReadyToPlay) player->play();
    });
    QObject::connect(item.get(), &PlayerItem::didPlayToEndTime, this, [this] { stopPreview(); });
    previewPlayer_->replaceCurrentItem(item);
    if (item->status() == PlayerItem::Status::ReadyToPlay) previewPlayer_->play();
    if (previewPanel_) previewPanel_->setPlaying(true);
}

void WindowController::stopPreview() {
    if (previewPlayer_) {
        previewPlayer_->pause();
        auto player = std::move(previewPlayer_);
        player->replaceCurrentItem(nullptr);
        // Deleted after the signal that may have called this.
        player.release()->deleteLater();
    }
    if (previewPanel_) previewPanel_->setPlaying(false);
}
