// What the lanes' mouse gestures ask of the controller.

#include "app/AudioController.h"

void AudioController::laneSetRulerAlpha(double alpha) {
    if (!ui.lineView) return;
    ui.lineView->lineAlpha.store(alpha);
    ui.lineView->update();
}
