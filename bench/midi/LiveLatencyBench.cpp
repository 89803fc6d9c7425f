// How soon a live key is heard: a JACK client sends note-ons into the
// application's MIDI input and listens to its output, and the time from each
// send to the onset of its note is counted in frames of the server's clock.
// The application plays a silent track whose chain the sampler heads.
//
// LiveNoteLatency/0: 20 notes while playing, no unit with latency in use.
// LiveNoteLatency/1: 5 notes each sent while paused (each starts the player).
// LiveNoteLatency/2: 20 notes while playing with the track's pitch unit on.
// "median_ms" and "worst_ms" are the median and the worst of the notes.
//
// Needs a running JACK server (the tests' dummy server will do: start it
// with scripts/jack-test-server and point JACK_DEFAULT_SERVER at it).

#include "BenchTools.h"

#include "app/AudioController.h"
#include "app/MainInterface.h"
#include "engine/MusicFilter.h"
#include "midi/MIDIManager.h"
#include "midi/MidiNotes.h"
#include "platform/media/Player.h"
#include "views/NumberTextField.h"
#include "support/InstalledPlugins.h"
#include "support/LiveProbe.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>
#include <QUrl>
#include <sndfile.h>

#include <algorithm>
#include <memory>

namespace {

QString silentFile(const QString& folder) {
    const QString path = QDir(folder).filePath(QStringLiteral("silence.wav"));
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    std::vector<float> data(size_t(48000) * 2 * 60, 0.0f);
    sf_writef_float(f, data.data(), 48000 * 60);
    sf_close(f);
    return path;
}

// The application with a minute of silence whose chain the sampler heads,
// listening to the probe's keys only.
struct LiveRig {
    QTemporaryDir media;
    std::unique_ptr<MainInterface> interface;
    AudioController* c = nullptr;
    MusicFilter* track = nullptr;
    std::unique_ptr<testsupport::LiveProbe> probe;
    QString error;

    LiveRig() {
        // The instruments are listed with the installed plug-ins, as at start-up.
        testsupport::useInstalledPlugins();
        interface = loadMainInterface(std::make_unique<Player>());
        c = interface->audioController.get();
        const QString output = c->audioPlayer->output().name();
        if (!output.startsWith(QStringLiteral("JACK: "))) {
            error = QStringLiteral("no JACK server");
            return;
        }
        probe = std::make_unique<testsupport::LiveProbe>("live-latency-bench");
        if (!probe->isOpen()) {
            error = QStringLiteral("the probe could not open");
            return;
        }
        c->midiNotes()->gate()->acceptsDevice = [name = QString::fromStdString(probe->keysName())](
                                                    const QString& d) { return d == name; };
        // Tracks made from now on list the installed plug-ins and the instruments.
        if (auto* search = c->preferences.preferencesSearchPluginsCheck) search->setChecked(true);
        c->ui.textFieldDurationMinutes->setText(QStringLiteral("1"));
        c->ui.textFieldDurationSeconds->setText(QStringLiteral("0"));
        c->updateCompositionDuration();
        c->addAudioFileToComposition(QUrl::fromLocalFile(silentFile(media.path())));
        const bool ready = benchtools::waitUntil([&] {
            auto* item = c->audioPlayer->currentItem();
            return c->trackCount() == 1 && c->imports.tracksReading == 0 && item &&
                   item->status() == PlayerItem::Status::ReadyToPlay && !c->shell.audioControllerIsWorking;
        }, 30000);
        if (!ready) {
            error = QStringLiteral("the track did not load");
            return;
        }
        c->currentSelectedAudio = 0;
        track = c->trackAt(0);
        // The track lists the instruments once its tap is prepared.
        benchtools::waitUntil([&] { return track->getProcessorContext() != nullptr; }, 20000);
        track->prepareTapForProcessing(track->mixInputTap().get());
        if (!benchtools::waitUntil([&] { return track->pluginsPopUpButton != nullptr; }, 20000)) {
            error = QStringLiteral("the track has no plug-in list");
            return;
        }
        c->createAUSamplerFrom(track);
        const bool connected = benchtools::waitUntil([&] {
            if (!track->midiManager) return false;
            for (const auto& d : track->midiManager->connectedDevices())
                if (d.name == QString::fromStdString(probe->keysName())) return true;
            return false;
        }, 20000);
        if (!connected) error = QStringLiteral("the keys did not connect");
        // The connected keys keep the output awake: its ports are there to listen to.
        benchtools::waitUntil([&] { return !c->audioPlayer->output().isSuspended(); }, 5000);
        if (error.isEmpty() && !probe->listenTo(output.mid(6).toStdString()))
            error = QStringLiteral("the probe could not listen to the output");
        benchtools::waitUntil([] { return false; }, 500);
    }

    // Frames from one note-on to its onset; -1 when none was heard.
    int64_t note(int key) {
        probe->send(0x90, uint8_t(key), 110);
        benchtools::waitUntil([&] { return probe->sent() && probe->onsetFrame() >= 0; }, 3000);
        const int64_t onset = probe->onsetFrame();
        const int64_t latency = onset >= 0 ? onset - probe->sentFrame() : -1;
        probe->send(0x80, uint8_t(key), 0);
        // Until its sound has died away.
        benchtools::waitUntil([&] {
            return probe->sent() && probe->frameNow() - probe->lastSoundFrame() > int64_t(0.2 * probe->rate());
        }, 5000);
        return latency;
    }
};

LiveRig& rig() {
    static LiveRig r;
    return r;
}

void LiveNoteLatency(benchmark::State& state) {
    LiveRig& r = rig();
    if (!r.error.isEmpty()) {
        state.SkipWithError(r.error.toUtf8().constData());
        return;
    }
    const int mode = int(state.range(0));
    const int notes = mode == 1 ? 5 : 20;
    std::vector<double> ms;
    for (auto _ : state) {
        if (mode == 2) {
            r.track->setValue(EffectInput::Pitch, 1200);
            r.track->updateAudioMixState();
        }
        for (int i = 0; i < notes; ++i) {
            if (mode == 1) {
                if (r.c->audioPlayer->rate() != 0) r.c->playPauseToggle();
                benchtools::waitUntil([] { return false; }, 300);
            } else if (r.c->audioPlayer->rate() == 0) {
                r.c->playPauseToggle();
                benchtools::waitUntil([] { return false; }, 300);
            }
            const int64_t frames = r.note(60 + i % 12);
            if (frames >= 0) ms.push_back(1000.0 * double(frames) / r.probe->rate());
        }
        if (r.c->audioPlayer->rate() != 0) r.c->playPauseToggle();
        if (mode == 2) {
            r.track->setValue(EffectInput::Pitch, 0);
            r.track->updateAudioMixState();
        }
    }
    if (ms.size() < size_t(notes)) {
        state.SkipWithError("a note was not heard");
        return;
    }
    state.counters["median_ms"] = benchtools::median(ms);
    state.counters["worst_ms"] = *std::max_element(ms.begin(), ms.end());
}

}  // namespace

BENCHMARK(LiveNoteLatency)->Arg(0)->Arg(1)->Arg(2)->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv) { return benchtools::runBenchmarks<QApplication>(argc, argv); }
