// libFuzzer entry points over the document readers and the project loader.
// One source, three programs: FUZZ_PROJECT_READER, FUZZ_PRESET_READER or
// FUZZ_PROJECT_LOADER says which. A finding aborts with what broke.
#include "library/DocumentChecks.h"
#include "library/DocumentSamples.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>

#if defined(FUZZ_PROJECT_LOADER)
#include "app/Alerts.h"
#include "app/AudioController.h"
#include "app/MainInterface.h"
#include "library/ProjectLoading.h"
#include "platform/audio/AudioOutput.h"
#include "platform/media/Player.h"
#include "views/AudioView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sndfile.h>

#include <cmath>
#include <memory>
#include <vector>
#endif

namespace {

[[noreturn]] void finding(const QString& what) {
    std::fprintf(stderr, "finding: %s\n", qUtf8Printable(what));
    std::abort();
}

// The seed documents, written once into TREVALUNE_FUZZ_CORPUS when set.
void writeSeeds() {
    const QString folder = qEnvironmentVariable("TREVALUNE_FUZZ_CORPUS");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(QDir(folder).filePath(QString::fromLatin1(name)));
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    };
    write("project", project::encodeProject(documentsamples::fullDocument()));
    write("preset", project::encodePresetFile(documentsamples::fullPreset()));
}

#if defined(FUZZ_PROJECT_LOADER)

// A load that has not ended after this long hangs.
constexpr qint64 kHangMilliseconds = 5000;

struct Loader {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<MainInterface> interface;
    AudioController* c = nullptr;
    QString folder;
};
Loader* loader = nullptr;

bool writeTone(const QString& path, double seconds, double frequency) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f) return false;
    std::vector<float> frames(size_t(seconds * 44100) * 2);
    for (size_t i = 0; i < frames.size() / 2; ++i)
        frames[2 * i] = frames[2 * i + 1] = float(0.25 * std::sin(2 * M_PI * frequency * double(i) / 44100));
    sf_writef_float(f, frames.data(), sf_count_t(frames.size() / 2));
    sf_close(f);
    return true;
}

void settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

#endif

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    writeSeeds();
#if defined(FUZZ_PROJECT_LOADER)
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    loader = new Loader;
    loader->app = std::make_unique<QApplication>(*argc, *argv);
    loader->dir = std::make_unique<QTemporaryDir>();
    loader->folder = QDir(loader->dir->path()).filePath(QStringLiteral("Fuzz.trvproj"));
    QDir().mkpath(loader->folder);
    if (!writeTone(QDir(loader->folder).filePath(QStringLiteral("1 - one.wav")), 2, 440) ||
        !writeTone(QDir(loader->folder).filePath(QStringLiteral("2 - two.wav")), 3, 660))
        finding(QStringLiteral("the sources could not be written"));
    loader->interface = loadMainInterface(std::make_unique<Player>(AudioOutput::createDefault()));
    loader->c = loader->interface->audioController.get();
    setAlertRunner([](QWidget*, const AlertRequest&) { return 0; });
#else
    (void)argc;
    (void)argv;
#endif
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
#if defined(FUZZ_PROJECT_READER)
    if (const QString what = documentchecks::checkProjectReader(bytes); !what.isEmpty()) finding(what);
#elif defined(FUZZ_PRESET_READER)
    if (const QString what = documentchecks::checkPresetReader(bytes); !what.isEmpty()) finding(what);
#elif defined(FUZZ_PROJECT_LOADER)
    AudioController& c = *loader->c;
    QFile f(QDir(loader->folder).filePath(QString::fromLatin1(project::kProjectDataName)));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        finding(QStringLiteral("the document could not be written"));
    f.close();
    QString why;
    const auto document = project::decodeProject(bytes, &why);
    const size_t tracksBefore = c.ui.audioView->audioTracks.size();
    const QUrl urlBefore = c.library.projectURL;
    c.loadTrackToCompositionForProject(QUrl::fromLocalFile(loader->folder));
    // The document is read on a worker: its answer comes through the event loop.
    {
        QElapsedTimer reading;
        reading.start();
        while (c.projectLoading && c.projectLoading->reading) {
            if (reading.elapsed() > kHangMilliseconds) finding(QStringLiteral("a read that did not end"));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }
    settle();
    if (!document || document->empty()) {
        if (c.ui.audioView->audioTracks.size() != tracksBefore || c.library.projectURL != urlBefore)
            finding(QStringLiteral("a refused document changed the composition"));
        return 0;
    }
    QElapsedTimer clock;
    clock.start();
    while (!(c.projectLoading && c.projectLoading->finished && c.tapCounter() == 0 && !c.loadTapFromProject())) {
        if (clock.elapsed() > kHangMilliseconds) finding(QStringLiteral("a load that did not end"));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    settle();
#endif
    return 0;
}
