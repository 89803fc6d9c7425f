// A track's lane;
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

UndoManager* AudioController::audioUnitPanelUndoManager() {
    if (!audioUnitPanelUndoManager_) audioUnitPanelUndoManager_ = std::make_unique<UndoManager>();
    return audioUnitPanelUndoManager_.get();
}

UnitViewFactory* AudioController::unitViewFactory() { return &GenericUnitViewFactory::shared(); }
