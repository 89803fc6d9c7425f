#pragma once

// The state of one project load, from its opening until its sheet ends.
// Main thread only.

#include "library/ProjectRecords.h"
#include "views/StyledControls.h"

#include <QImage>
#include <QPointer>
#include <QUrl>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class Asset;
class MusicFilter;

// What a worker reads of a project folder before the composition is
// touched: the checked document (null with `error` when it cannot be
// opened) and its pictures, decoded.
struct ProjectRead {
    std::optional<project::ProjectDocument> document;
    QString error;
    QImage icon;                  // the first record's, at most 100 by 100
    QImage artwork;               // the first record's metadata artwork
    std::vector<QImage> waveforms;  // each record's saved waveform, as the lanes draw it
};
// Any thread; blocking.
ProjectRead readProject(const QString& folder);

struct ProjectLoading {
    QUrl url;
    QString folder;
    project::ProjectDocument document;
    size_t nextRecord = 0;
    // The tracks made, with the record each came from.
    std::vector<std::pair<std::weak_ptr<MusicFilter>, size_t>> created;
    QStringList leftOut;
    // Set while a worker reads "projectData": nothing is made yet.
    bool reading = false;
    bool restoring = false, restored = false, finished = false;
    // Saved unit values waiting for a track's units (stage 3).
    struct Units {
        TrackParametersRecord parameters;
        double timeOfComposition = 0;
    };
    std::map<const MusicFilter*, Units> pendingUnits;
    std::map<QString, std::shared_ptr<Asset>> segmentAssets;
    // The pictures the read decoded: each record's waveform and the artwork.
    std::vector<QImage> waveforms;
    QImage artwork;
    // The project's icon in the loading sheet, while the sheet shows.
    QPointer<DrawImageView> projectIconImageView;
};
