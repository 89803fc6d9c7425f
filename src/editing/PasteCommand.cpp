// The one paste command: the clipboard's item goes to the paste of its kind.
// The item stays on the clipboard, so the same item can be pasted again.
#include "app/AudioController.h"

#include <type_traits>

void AudioController::pasteAudioFileFrom() {
    if (shell.audioControllerIsWorking || !pasteboardItems) return;
    // A playing player pauses first, also when the item turns out to paste nothing.
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    // A copy: a paste may put another item on the clipboard.
    const PasteboardItem item = *pasteboardItems;
    std::visit(
        [this](const auto& copied) {
            using Item = std::decay_t<decltype(copied)>;
            // A copied time selection goes in at the timeline cursor.
            if constexpr (std::is_same_v<Item, SelectionClipboardRecord>) pasteSelectionInFilterFrom();
            if constexpr (std::is_same_v<Item, CurvePasteboardRecord>) pasteRecordedCurveInFilterFrom();
            if constexpr (std::is_same_v<Item, NotesPasteboardRecord>) pasteNotesAtCurrentTime();
            if constexpr (std::is_same_v<Item, TrackPasteboardRecord>) pasteFromDictionary(copied);
            if constexpr (std::is_same_v<Item, PresetPasteboardRecord>) loadFilterFromPresetData(copied.data);
        },
        item);
}
