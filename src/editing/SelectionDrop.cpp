// Dropping a dragged time selection or pasted range onto a track.

#include "app/AudioController.h"

void AudioController::insertTrackFromDragAndDropWithInfo(const DragDropSelectionRecord&) {}
