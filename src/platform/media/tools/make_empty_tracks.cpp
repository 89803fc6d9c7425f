// Writes the two silent resource tracks with the project's own m4a writer.
// Usage: make_empty_tracks OUTPUT_FOLDER
#include "platform/media/MediaResources.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_empty_tracks OUTPUT_FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    for (double rate : {44100.0, 48000.0}) {
        const QString path = folder + QLatin1Char('/') + mediaresources::emptyTrackFileName(rate);
        QString error;
        if (!mediaresources::writeEmptyTrack(path, rate, 60.0, &error)) {
            std::fprintf(stderr, "make_empty_tracks: %s\n", qPrintable(error));
            return 1;
        }
    }
    return 0;
}
