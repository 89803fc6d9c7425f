#pragma once

// One project save, from the picture of the composition the main thread
// takes to the files a worker writes. The main thread fills `document` with
// every value it can read at once and leaves out what is slow to make: the
// copies of the sources (their paths), the TIFF pictures and the folder's
// icon, kept here as the URLs and images they are made from. The worker
// (ProjectSave.cpp, writeProjectSave) copies, encodes and writes; only it
// touches the job until it ends, and the main thread reads `saved` and
// `error` after waiting for it.

#include "library/ProjectRecords.h"

#include <QImage>
#include <QString>
#include <QUrl>

#include <future>
#include <vector>

struct ProjectSaveJob {
    QString folder;
    QString date;
    project::ProjectDocument document;

    // What the worker makes for document[i].
    struct Segment {
        QUrl original;          // the track's file
        QString segmentSource;  // the segment's own file; empty for inserted silence
        bool recorded = false;  // false: copied and kept, but left out of the record
        project::TrackSegmentRecord record;
    };
    struct Track {
        std::vector<Segment> segments;
        QImage wave, thumbnail;
    };
    std::vector<Track> tracks;
    QImage windowShot;  // the window's content: the first record's picture and the folder's
    QImage artwork;     // the first record's metadata artwork, when it has one

    // A Save As writes into a new folder: it stands for the project from the
    // start, and a failure gives the folder before it back.
    QUrl projectBefore;

    // Results, for the main thread once the worker has ended.
    bool saved = false;
    QString error;

    // Ready once the worker has ended (or, the application quitting, dropped
    // the save before it began: `saved` stays false).
    std::future<void> worker;
};

// Writes the job's project: the folder, the copies, "projectData" and the
// icon, then removes the files it no longer uses. Any thread; blocking.
void writeProjectSave(ProjectSaveJob& job);
