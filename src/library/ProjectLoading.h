#pragma once

// The state of one project load, from its opening until its sheet ends.
// Main thread only.

#include "library/ProjectRecords.h"
#include "views/StyledControls.h"

#include <QPointer>
#include <QUrl>

#include <map>
#include <memory>
#include <vector>

class Asset;
class MusicFilter;

struct ProjectLoading {
    QUrl url;
    QString folder;
    project::ProjectDocument document;
    size_t nextRecord = 0;
    // The tracks made, with the record each came from.
    std::vector<std::pair<std::weak_ptr<MusicFilter>, size_t>> created;
    QStringList leftOut;
    bool restoring = false, restored = false, finished = false;
    // Saved unit values waiting for a track's units (stage 3).
    struct Units {
        TrackParametersRecord parameters;
        double timeOfComposition = 0;
    };
    std::map<const MusicFilter*, Units> pendingUnits;
    std::map<QString, std::shared_ptr<Asset>> segmentAssets;
    // The project's icon in the loading sheet, while the sheet shows.
    QPointer<DrawImageView> projectIconImageView;
};
