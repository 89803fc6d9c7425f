#include "app/Application.h"
#include "app/CommandLine.h"
#include "platform/core/MessageLog.h"

#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // Large blocks (pictures, the stretchers' buffers) go back to the system
    // when freed. Left to itself, the allocator raises this bound after the
    // first large block is freed and serves the next ones from a heap that
    // never shrinks.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
    // Options are read before any window exists, so --help and a mistyped
    // option need no display.
    QStringList words;
    for (int i = 1; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = CommandLine::parse(words);
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "trevalune: %s\nTry 'trevalune --help' for more information.\n",
                     qPrintable(line.error));
        return 2;
    }
    if (line.help) {
        std::fputs(qPrintable(CommandLine::usage()), stdout);
        return 0;
    }
    // The log takes every message from here on, Qt's start-up ones included.
    messagelog::install(messagelog::defaultPath(), line.verbose);
    Application app(argc, argv);
    app.start(line.files);
    return app.exec();
}
