// What the equaliser strip reads of the controller, and its redraws while
// the composition plays; media files dropped on the track area.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "views/EQSubview.h"

namespace {

class EqualiserOwner : public QObject, public EQSubviewOwner {
public:
    EqualiserOwner(AudioController* c, QObject* parent) : QObject(parent), c_(c) {}

    std::array<FloatSlider*, 10> eqBandSliders() const override {
        if (!c_) return {};
        const auto& ui = c_->ui;
        return {ui.sliderGain32, ui.sliderGain64, ui.sliderGain125, ui.sliderGain250, ui.sliderGain500,
                ui.sliderGain1K, ui.sliderGain2K, ui.sliderGain4K,  ui.sliderGain8K,  ui.sliderGain16K};
    }
    int eqTrackCount() const override { return c_ ? c_->trackCount() : 0; }
    std::optional<QColor> eqSelectedTrackColor() const override {
        MusicFilter* track = c_ ? c_->trackAt(c_->currentSelectedAudio.load()) : nullptr;
        if (!track) return std::nullopt;
        return track->trackColor();
    }
    bool eqShowsSpectrum() const override { return c_ && c_->showEQFFT.load() && c_->shell.isPlaying; }
    const EQSpectrum* eqSpectrum() const override { return c_ ? &c_->eqSpectrum : nullptr; }

private:
    QPointer<AudioController> c_;
};

}  // namespace

void AudioController::setupEqualiserView() {
    EQSubview* view = ui.eqView;
    if (!view || view->audioController) return;
    view->audioController = new EqualiserOwner(this, view);
    connect(this, &AudioController::playerStateChanged, view, [this, view] { view->follow(shell.isPlaying); });
}

void AudioController::setupTrackAreaDrops() {
    if (!ui.audioView) return;
    connect(ui.audioView, &AudioView::fileDropped, this, &AudioController::addAudioFileToComposition,
            Qt::UniqueConnection);
}
