// The one paste command: the clipboard's item goes to the paste of its kind.
// The item stays on the clipboard, so the same item can be pasted again.
#include "app/Alerts.h"
#include "app/AudioController.h"

#include <type_traits>

void AudioController::pasteAudioFileFrom() {
    if (shell.audioControllerIsWorking || !pasteboardItems) return;
    // A playing player pauses first, also when the item turns out to paste nothing.
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    // A copied selection is checked by the selection's paste itself.
    if (std::holds_alternative<TrackPasteboardRecord>(*pasteboardItems) && refusePasteOfReplacedSource()) return;
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

void AudioController::markClipboardSourceReplaced(const MusicFilter* track) {
    if (!pasteboardItems || !track) return;
    if (auto* selection = std::get_if<SelectionClipboardRecord>(&*pasteboardItems))
        if (selection->audioFilter.get() == track) selection->sourceReplaced = true;
    if (auto* copied = std::get_if<TrackPasteboardRecord>(&*pasteboardItems))
        if (copied->audioPasteboardDictionary.audioFilter.get() == track) copied->sourceReplaced = true;
}

bool AudioController::refusePasteOfReplacedSource() {
    if (!pasteboardItems) return false;
    bool replaced = false;
    if (const auto* selection = std::get_if<SelectionClipboardRecord>(&*pasteboardItems))
        replaced = selection->sourceReplaced;
    if (const auto* copied = std::get_if<TrackPasteboardRecord>(&*pasteboardItems)) replaced = copied->sourceReplaced;
    if (!replaced) return false;
    runModalAlert(ui.window,
                  AlertRequest{QStringLiteral("The copied audio cannot be pasted."),
                               QStringLiteral("The file of the track it was copied from has been replaced since. "
                                              "Copy it again to paste what the track holds now."),
                               {QStringLiteral("OK")}});
    return true;
}
