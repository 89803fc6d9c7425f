#pragma once

// The main window with generated tones in it, for the benchmarks that time
// the views and gestures of a real composition. Apart from BenchTools.h
// because it needs the application (link `app`), which the engine, unit and
// media benchmarks do not.

#include "BenchTools.h"

#include "app/AudioController.h"
#include "app/MainInterface.h"
#include "platform/media/Player.h"
#include "views/NumberTextField.h"

#include <QDir>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QUrl>
#include <sndfile.h>

#include <cmath>
#include <memory>
#include <vector>

namespace benchtools {

// A stereo 16-bit WAV in `folder` of `seconds` of a sine at 220 + 20 ×
// `index` Hz, at a quarter of full scale.
inline QString writeTone(const QString& folder, int index, int seconds, int rate = 44100) {
    const QString path = QDir(folder).filePath(QStringLiteral("tone%1.wav").arg(index));
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    const int frames = seconds * rate;
    std::vector<float> data(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i)
        data[2 * size_t(i)] = data[2 * size_t(i) + 1] =
            0.25f * float(std::sin(2 * M_PI * (220 + 20 * index) * i / rate));
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
    return path;
}

// The main window shown at 1400 by 900 with a composition of `minutes` and
// `seconds` (as typed in the length fields) and `tracks` tones of
// `toneSeconds` each, imported one after the other; `ready` once the player
// has its item ready and the controller is idle. The first track is selected.
struct MainWindowWithTones {
    QTemporaryDir media;
    std::unique_ptr<MainInterface> interface;
    AudioController* c = nullptr;
    bool ready = false;

    MainWindowWithTones(int tracks, int toneSeconds, const QString& minutes, const QString& seconds) {
        interface = loadMainInterface(std::make_unique<Player>());
        c = interface->audioController.get();
        c->ui.window->resize(1400, 900);
        c->ui.window->show();
        c->ui.textFieldDurationMinutes->setText(minutes);
        c->ui.textFieldDurationSeconds->setText(seconds);
        c->updateCompositionDuration();
        for (int i = 0; i < tracks; ++i) {
            c->addAudioFileToComposition(QUrl::fromLocalFile(writeTone(media.path(), i, toneSeconds)));
            waitUntil([&] { return c->trackCount() == i + 1 && c->imports.tracksReading == 0; });
        }
        ready = waitUntil([&] {
            auto* item = c->audioPlayer->currentItem();
            return c->trackCount() == tracks && item && item->status() == PlayerItem::Status::ReadyToPlay &&
                   !c->shell.audioControllerIsWorking;
        });
        c->currentSelectedAudio = 0;
    }
};

}  // namespace benchtools
