// The ruler layer redraws in full on every position change: twice a second
// from the clock while playing, and at every step of a playhead drag. This
// measures one full drawing of a wide window, with and without markers.
#include "views/LineView.h"

#include "BenchTools.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

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

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
