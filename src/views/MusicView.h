#pragma once

#include "engine/MediaAssetHolder.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class Asset;
class AudioControllerServices;

// The thumbnail of a track in the column left of the lanes: a picture of the
// track's media (a frame of its video, the file's artwork, or a picture of
// its file type) in a rounded frame. It loads the track's media asset off the
// main thread and posts "setupNewPlayerAsset" (object: the thumbnail) when
// the asset is ready; a click selects its track.
class MusicView : public QWidget, public MediaAssetHolder {
    Q_OBJECT
public:
    explicit MusicView(QWidget* parent = nullptr);

    AudioControllerServices* audioController = nullptr;
    quint64 viewIndex = 0;
    bool acceptsDraggedMedia = true;
    quint64 colorType = 0;  // border: 0 blue, else red
    QUrl mediaURL;
    QByteArray mediaBookmarkData;
    qint64 mediaType = 0;
    std::shared_ptr<Asset> mediaAsset;
    QImage image;

    // Called when a load ends without an asset the track can take up.
    std::function<void(MusicView* view, const QString& why)> assetLoadDidFail;
    // Called after a click selected this thumbnail's track.
    std::function<void(quint64 index)> didSelectTrack;

    std::shared_ptr<Asset> heldMediaAsset() const override { return mediaAsset; }

    // Takes `url` as the new file of the selected track (the controller
    // answers replaceAudioRequested), on a later pass of the main loop.
    void replaceAudioWithURL(const QUrl& url);
    // The context menu's import: asks the controller for a file to replace
    // this track's file with.
    void importAudioFileFromMenu();

signals:
    void importFileRequested(MusicView* view);
    void replaceAudioRequested(const QUrl& url);

public:

    // Starts loading the file's asset when it is an audio or video file;
    // answers true unless no load could be started.
    bool importAudioURL(const QUrl& url);
    bool setupPlayerAssetWithURL(const QUrl& url);
    // Takes an asset opened already, on a later pass of the main loop.
    void setupPlayerAssetWithLoadedAsset(std::shared_ptr<Asset> asset);
    // Playable, unprotected, with an audio track.
    static bool setUpPlaybackOfAsset(const Asset& asset, const QStringList& keys);
    static const QStringList& assetKeys();
    // The file's pictures, never empty: a video frame, else its artwork,
    // else a picture of its file type. Blocks while a video frame decodes.
    static QList<QImage> artworksForAsset(const Asset& asset);
    static QImage iconForFile(const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void selectTrack();
    quint64 dragOperation = 0;  // for the drag in progress: 0 none, 1 copy
    void finishLoading(std::shared_ptr<Asset> asset, const QString& error);
    quint64 loadGeneration_ = 0;
    // The framed picture as last drawn, and what it was drawn from.
    QImage framed_;
    qint64 framedImageKey_ = -1;
    quint64 framedColorType_ = 0;
};

// A two-channel level meter: a bar per channel over 50 dB, green at the
// bottom of the view to yellow at 70 % and red at the top. It serves each
// track (following `track`'s levels while something plays), the main
// window and the recording, whose owners set the values and ask for a redraw.
class AudioMeteringView : public QWidget {
    Q_OBJECT
public:
    explicit AudioMeteringView(QWidget* parent = nullptr);
    ~AudioMeteringView() override;
    std::weak_ptr<class MusicFilter> track;
    // Linear amplitudes, 1.0 full scale. Setting one does not redraw.
    double leftChannelValue = 0.0;
    double rightChannelValue = 0.0;
    // The height of a bar for `value`, as a fraction of the view's: 0 at
    // -50 dB and below, 1 at full scale and above.
    static double barFraction(double value);

    // The meters read their tracks' levels ten times a second while
    // something plays; when it pauses, stops or ends they fall to zero and
    // sleep, so an idle application does not wake for them.
    static void setRunning(bool running);
    static bool isRunning();

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void follow(bool running);
    quint64 lastGeneration_ = 0;
    int timer_ = 0;
};
