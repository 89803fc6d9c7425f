// The selected track's values shown in the effect controls; a track's lane;
// the plug-in panel's undo manager and the unit views.
#include "app/AudioController.h"

#include "platform/core/UndoManager.h"

#include "engine/MusicFilter.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/FloatSlider.h"
#include "views/UnitViews.h"

AudioDrawingView* AudioController::trackLaneOf(const MusicFilter* filter) {
    return filter ? qobject_cast<AudioDrawingView*>(filter->audioDrawingView.data()) : nullptr;
}

void AudioController::applyValuesToSelectedAudio(quint64 index) {
    const TrackRecord* record = trackRecordAt(index);
    if (!record) return;
    const auto& filter = record->audioFilter;
    if (!filter) return;
    const auto controls = ui.effectControls();
    for (size_t i = 0; i < controls.size(); ++i) {
        const QVariant v = filter->valueForKey(QString::fromLatin1(effectControlTable[i].key));
        if (controls[i].first && v.isValid()) controls[i].first->setFloatValue(v.toDouble());
    }
}

UndoManager* AudioController::audioUnitPanelUndoManager() {
    if (!audioUnitPanelUndoManager_) audioUnitPanelUndoManager_ = std::make_unique<UndoManager>();
    return audioUnitPanelUndoManager_.get();
}

UnitViewFactory* AudioController::unitViewFactory() { return &GenericUnitViewFactory::shared(); }
