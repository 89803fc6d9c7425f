// The ruler layer redraws in full on every position change: twice a second
// from the clock while playing, and at every step of a playhead drag. This
// measures one full drawing of a wide window, with and without markers.
#include "views/EQSubview.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"

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

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
