#pragma once

#include "platform/media/DecodedSource.h"

#include <QString>

#include <functional>
#include <memory>

// The cache of decoded audio tracks. The first use of a file's audio stream
// decodes it once, streaming, into a float file in the data folder's cache
// (planar: each channel's samples contiguous), with its waveform peaks
// computed in the same pass and stored beside it. Later uses map the file
// into memory. The cache is keyed by the file's path, size and modification
// time and the stream's index, so a changed file is decoded anew; files are
// written under a temporary name and renamed when complete, so a cache file
// that is there is always whole.
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
    // The cache file's path for a request (whether or not it exists).
    static QString cacheFilePath(const Request& request);
    static QString peaksFilePath(const Request& request);

    // The folder the cache lives in; the data folder's cache unless set.
    static QString folder();
    static void setFolder(const QString& folder);
};
