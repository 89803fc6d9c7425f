// The ruler layer redraws in full on every position change: twice a second
// from the clock while playing, and at every step of a playhead drag. This
// measures one full drawing of a wide window, with and without markers.
#include "views/EQSubview.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"
#include "views/NotesView.h"

#include "engine/MusicFilter.h"

#include "BenchTools.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdlib>

namespace {

struct Owner : LineViewOwner {
    double D = 600;
    std::vector<MarkerRecord> markers;
    double rulerCompositionSeconds() const override { return D; }
    bool rulerPlayerItemIsReady() const override { return true; }
    bool rulerIsPlaying() const override { return false; }
    double rulerPositionSliderSeconds() const override { return 120; }
    double rulerPlayerCurrentSeconds() const override { return 240; }
    QRect rulerVisibleRect() const override { return {0, 0, 1400, 700}; }
    int rulerTrackCount() const override { return 4; }
    const std::vector<MarkerRecord>& rulerMarkers() const override { return markers; }
};

void RulerDrawing(benchmark::State& state) {
    Owner owner;
    for (int i = 0; i < state.range(0); ++i)
        owner.markers.push_back({i * 600.0 / (state.range(0) + 1) + 1, QStringLiteral("Marker %1").arg(i)});
    LineView view;
    view.audioController = &owner;
    view.resize(1400, 700);
    view.linePercent = 0.2;
    view.globalLinePercent = 0.4;
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["draws_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(RulerDrawing)->Arg(0)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);

// The equaliser strip redraws in full for every new spectrum while playing:
// one full drawing with a live spectrum of N bins (a tone and a noise floor).
struct EqualiserOwner : EQSubviewOwner {
    std::array<FloatSlider*, 10> sliders{};
    EQSpectrum spectrum;
    std::array<FloatSlider*, 10> eqBandSliders() const override { return sliders; }
    int eqTrackCount() const override { return 2; }
    std::optional<QColor> eqSelectedTrackColor() const override { return QColor(255, 186, 38); }
    bool eqShowsSpectrum() const override { return true; }
    const EQSpectrum* eqSpectrum() const override { return &spectrum; }
};

std::vector<float> toneSpectrum(size_t n) {
    std::vector<float> m(n);
    for (size_t i = 0; i < n; ++i) m[i] = 0.01f + (i == n / 22 ? 40.0f : 0.0f) + 0.005f * float(i % 7);
    return m;
}

void EqualiserDrawing(benchmark::State& state) {
    const auto n = uint64_t(state.range(0));
    EqualiserOwner owner;
    std::vector<std::unique_ptr<FloatSlider>> sliders;
    for (int k = 0; k < 10; ++k) {
        sliders.push_back(std::make_unique<FloatSlider>());
        sliders.back()->setRange(-96, 24);
        sliders.back()->setFloatValue(std::sin(k) * 12);
        owner.sliders[size_t(k)] = sliders.back().get();
    }
    const std::vector<float> magnitudes = toneSpectrum(n);
    owner.spectrum.publish(1.0, 44100, magnitudes.data(), n, qRgb(255, 186, 38));
    EQSubview view;
    view.audioController = &owner;
    view.resize(1400, 110);
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["redraws_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(EqualiserDrawing)->Arg(1024)->Arg(8192)->Unit(benchmark::kMicrosecond);

// The render thread's share: the spectrum of one 512-frame stereo slice
// computed and published for the strip, as a fraction of the slice's time.
void SpectrumPerSlice(benchmark::State& state) {
    const int64_t frames = 512;
    TrackSpectrum spectrum(frames);
    EQSpectrum published;
    std::vector<float> left(frames), right(frames);
    for (int64_t i = 0; i < frames; ++i) left[size_t(i)] = right[size_t(i)] = float(std::sin(i * 0.142));
    const float* channels[2] = {left.data(), right.data()};
    double t = 0;
    for (auto _ : state) {
        spectrum.compute(channels, 2, frames);
        published.publish(t += 0.1, 44100, spectrum.magnitudes(), spectrum.fftCount(), qRgb(255, 186, 38));
    }
    state.counters["slice_fraction"] = benchmark::Counter(
        double(state.iterations()) * (double(frames) / 44100.0),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(SpectrumPerSlice)->Unit(benchmark::kMicrosecond);

// The piano roll of the notes panel redraws the part in view on every
// clock tick while playing and at every step of a mouse edit: one drawing
// of an 800 × 400 window onto a 10-minute track of 10,000 notes, at
// horizontal zoom 1 and 8 (the whole list is walked either way).
struct NotesOwner : NotesViewOwner {
    double zoom = 1;
    bool notesTrackHasMidiManager(const MusicFilter&) const override { return true; }
    double notesPlayerSeconds() const override { return 300; }
    double notesHorizontalZoom() const override { return zoom; }
};

void NotesViewDrawing(benchmark::State& state) {
    NotesOwner owner;
    owner.zoom = double(state.range(0));
    auto track = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
    track->setDefaults();
    track->durationInSeconds = 600;
    track->timeScale = 44100;
    for (int i = 0; i < 10000; ++i) {
        const double start = i * 0.06, end = start + 0.05 + (i % 5) * 0.04;
        const auto n = uint8_t(36 + (i * 7) % 60);
        MidiNoteRecord on, off;
        on.midiCommand = {0x90, n, uint8_t(40 + i % 80)};
        on.midiNote = n;
        on.midiCommandTime = MediaTime::fromSeconds(start, 44100);
        on.midiCommandEndTime = MediaTime::fromSeconds(end, 44100);
        off.midiCommand = {0x80, n, 0};
        off.midiNote = n;
        off.midiCommandTime = on.midiCommandEndTime;
        track->midiArray.push_back(on);
        track->midiArray.push_back(off);
        if (i % 10 == 0) track->currentSelectedNotes.push_back(on);
    }
    NotesView view;
    view.owner = &owner;
    view.viewFilter = track;
    view.resize(int(600 * 13 * owner.zoom), 400);
    // The window over the playhead, as the scroll view shows it.
    const QRect visible(int(view.width() / 2 - 400), 0, 800, 400);
    QImage image(visible.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        view.render(&image, QPoint(), QRegion(visible), QWidget::DrawChildren);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["draws_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(NotesViewDrawing)->Arg(1)->Arg(8)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
