#pragma once

// The state of the one export that runs at a time: what the controller's
// export members share between the preparation, the pre-renders, the
// transcoding and the end. Main thread; the writer threads only own their
// jobs' reader and writer.

#include "export/ExportJobs.h"
#include "platform/media/MovieWriter.h"

#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <vector>

class MusicFilter;
class ProcessingTap;

// The picture a video export copies into its movie.
struct MovieVideoSettings : MovieWriter::VideoSettings {};

class ExportSession {
public:
    // One track rendered alone into "TempFiles".
    struct PreRender {
        std::weak_ptr<MusicFilter> track;
        std::unique_ptr<AudioWriteJob> job;
        QString path;
        double lastPercent = 0.0;
        bool ok = false;
    };

    ExportGroup audioGroup;
    // The tracks a mix export renders: the list as it was when the export
    // began. A file whose import ends meanwhile joins the list, not this
    // export, and each of these tracks enters and leaves the group once.
    std::vector<std::weak_ptr<MusicFilter>> mixTracks;
    // Every live tap stays prepared while its audio moves from the player
    // to the export's readers and back.
    TapHold taps;
    std::vector<std::unique_ptr<PreRender>> preRenders;
    // How many tracks this export renders alone; each adds its share of 100 %.
    int preRenderCount = 0;
    // The mix's or the track's transcoding.
    std::unique_ptr<AudioWriteJob> writer;
    QUrl destination;
    QStringList tags;
    // A pre-render failed: the mix is not assembled.
    bool failed = false;
    // Why the export failed, as the reader or the writer said it ("The disk
    // is full."); shown after the sheet's "An error occurred.".
    QString failureReason;
    QString failureText() const {
        const QString text = QStringLiteral("An error occurred.");
        return failureReason.isEmpty() ? text : text + QLatin1Char('\n') + failureReason;
    }
    // The player gave its item up for the export; it gets a new one, at
    // this time, when the export ends.
    bool playerStopped = false;
    double playerTime = 0.0;

    // A single-track export.
    std::weak_ptr<MusicFilter> track;
    // The tap of a track that renders alone while another track's solo
    // silences it: silent again when the export ends.
    std::shared_ptr<ProcessingTap> soloSilencedTap;
    QString trackURL;        // what the writer writes
    QString destinationURL;  // the user's file, when a speed change follows
    bool needsToCopyTempAudioFile = false;

    // A video export: the picture its movie carries, and the timer that
    // shows its progress twice a second.
    std::shared_ptr<const MovieVideoSettings> video;
    std::unique_ptr<QTimer> exportSessionTimer;
};
