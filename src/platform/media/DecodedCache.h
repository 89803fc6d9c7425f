#pragma once

#include "platform/media/DecodedSource.h"

#include <QString>

#include <cstdint>

#include <functional>
#include <memory>

// The cache of decoded audio tracks. The first use of a file's audio stream
// decodes it once, streaming, into a file in the data folder's cache (planar:
// each channel's samples contiguous; 16-bit integers when the decoder gives
// 16-bit or narrower samples, float otherwise), with its waveform peaks
// computed in the same pass and stored beside it. Later uses map the file
// into memory. The cache is keyed by the file's path, size and modification
// time and the stream's index, so a changed file is decoded anew; files are
// written under a temporary name and renamed when complete, so a cache file
// that is there is always whole.
//
// The cache is bounded. Each entry records its source's path; an entry is in
// use while a DecodedSource maps it (it holds a shared lock on the file, which
// other processes see too), and its last use is its file's access time, set
// whenever it is opened. tidy() removes entries whose source is gone or has
// changed, entries that cannot be read, temporary files of processes that
// ended, and then the least recently used entries until the cache fits its
// size limit; an entry in use is never removed. It runs once per process on
// the first load, and after each new entry is written.
//
// Every member may be called from any thread.
class DecodedCache {
public:
    struct Request {
        QString path;
        int streamIndex = -1;
        // The number of frames the stream decodes to when the container knows
        // it exactly (decoding stops there: encoder padding is cut), else the
        // best estimate, used to size the file and report progress.
        int64_t expectedFrames = 0;
        bool expectedIsExact = false;
    };
    using Progress = std::function<void(double fraction)>;

    // The decoded samples: from the cache when they are there, else decoded
    // now (blocking; call it from a worker thread). Null on failure, with
    // `error` set.
    static std::shared_ptr<DecodedSource> load(const Request& request, const Progress& progress,
                                               QString* error);
    // The cached samples, or null when the cache has none for the request.
    static std::shared_ptr<DecodedSource> openCached(const Request& request);
    // What a complete entry for the request records of its source (found
    // by a full probe and decode of the file as it is now), without mapping
    // it; false when the cache has no such entry.
    struct Record {
        int channelCount = 0;
        double sampleRate = 0;
        int64_t frameCount = 0;
    };
    static bool cachedRecord(const Request& request, Record* record);
    // The cache file's path for a request (whether or not it exists).
    static QString cacheFilePath(const Request& request);
    static QString peaksFilePath(const Request& request);

    // The folder the cache lives in; the data folder's cache unless set.
    static QString folder();
    static void setFolder(const QString& folder);

    // The most the cache may hold, in bytes: the limit set, else the smaller
    // of DefaultSizeLimit and a tenth of the free space of the cache's disk
    // (what the cache holds counted as free).
    static constexpr int64_t DefaultSizeLimit = int64_t(4) << 30;
    static int64_t sizeLimit();
    static void setSizeLimit(int64_t bytes);  // 0: the default again

    // What tidy() did.
    struct TidyResult {
        int removedEntries = 0;
        int64_t removedBytes = 0;
        int64_t keptBytes = 0;
    };
    // Tidies the cache now (blocking: call it from a worker thread).
    static TidyResult tidy();
    // tidy() on a worker thread, unless this process has tidied the cache
    // already; the application calls it at start-up.
    static void tidyInBackground();
    // The bytes the cache's entries take on disk.
    static int64_t sizeOnDisk();
};
