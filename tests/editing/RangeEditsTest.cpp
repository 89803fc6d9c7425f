// Copy, paste, removal, cut, silence and speed changes of a time range inside
// a track, heard in the rendered mix, and their undo and redo restoring the
// render sample for sample.
#include "RangeEditsFixture.h"

#include "engine/TrackTapContext.h"
#include "platform/media/AssetTrack.h"

namespace {

using timeselection::EndsAtRegionEnd;
using timeselection::InsideRegion;
using timeselection::StartsAtRegionStart;

TEST_F(RangeEditsTest, ACopiedStretchPastesElsewhereAndUndoRestoresTheRender) {
    auto t = staircaseComposition();
    const std::vector<float> before = renderedLeft();
    ASSERT_NEAR(before.size() / 44100.0, 20.0, 0.01);

    select(0, 5, 3);  // dragged right to left
    c->copyCurrentSelectionFrom();
    const SelectionClipboardRecord* copied = clipboardSelection();
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->audioFilter, t);
    EXPECT_NEAR(copied->start, 3.0, 1e-9);
    EXPECT_NEAR(copied->length, 2.0, 1e-9);
    EXPECT_EQ(copied->selectionType, InsideRegion);
    const SelectionClipboardRecord record = *copied;
    // A copy without a selection keeps the item.
    lane(0)->selectionPaths.clear();
    c->copyCurrentSelectionFrom();
    ASSERT_TRUE(clipboardSelection());
    EXPECT_EQ(*clipboardSelection(), record);

    const double widthBefore = lane(0)->width();
    // Marks of earlier pastes: one before the insertion stays, one from it on moves with the audio.
    const QList<SelectionPasteRecord> marks = {{QPointF(laneX(0, 5), 0), QPointF(laneX(0, 11), 0)},
                                               {QPointF(laneX(0, 10), 0), QPointF(laneX(0, 12), 0)}};
    lane(0)->selectionPastes = marks;
    const int undoSteps = c->undoManager()->undoCount();
    ASSERT_TRUE(c->pasteSelectionInFilterFrom(10.0));
    EXPECT_TRUE(c->shell.audioControllerIsWorking);
    settle();
    const std::vector<float> pasted = renderedLeft();
    // Cut at the composition's end, the rest 2 s later.
    EXPECT_NEAR(pasted.size() / 44100.0, 20.0, 0.01);
    expectSteps(pasted, 0, 1, range(0, 9));
    expectSteps(pasted, 10, 1, {3, 4});
    expectSteps(pasted, 12, 1, range(10, 17));
    EXPECT_NEAR(t->durationInSeconds, 22.0, 1e-6);
    EXPECT_NEAR(t->animationEnd().seconds(), 20.0, 1e-3);
    EXPECT_NEAR(t->currentTimeRange().duration.seconds(), 20.0, 1e-3);
    EXPECT_NEAR(lane(0)->width(), widthBefore * 22 / 20, 1.0);
    EXPECT_LE(t->audioDurationInPercent, 1.0);
    const double w = 2 * c->shell.scaleFactor * c->shell.zoomValue;
    ASSERT_EQ(lane(0)->selectionPastes.size(), 3);
    EXPECT_EQ(lane(0)->selectionPastes[0], marks[0]);
    EXPECT_NEAR(lane(0)->selectionPastes[1][0].x(), marks[1][0].x() + w, 1e-6);
    EXPECT_NEAR(lane(0)->selectionPastes[1][1].x(), marks[1][1].x() + w, 1e-6);
    EXPECT_NEAR(lane(0)->selectionPastes[2][0].x(), widthBefore / 2, 1.0);
    EXPECT_NEAR(lane(0)->selectionPastes[2][1].x() - lane(0)->selectionPastes[2][0].x(), w, 1e-6);
    EXPECT_EQ(c->undoManager()->undoCount(), undoSteps + 1);
    // The tap follows the track's new timing.
    if (TrackTapContext* context = c->getContextForFilter(t.get())) {
        EXPECT_NEAR(context->contextTrackEndTime.load(), 20.0, 1e-3);
        EXPECT_NEAR(context->contextTrackPassDuration.load(), 20.0, 1e-3);
    }
    // The item stays on the clipboard.
    EXPECT_TRUE(clipboardSelection());

    undo();
    settle();
    expectSameRender(renderedLeft(), before);
    EXPECT_EQ(lane(0)->selectionPastes, marks);
    EXPECT_NEAR(t->durationInSeconds, 20.0, 1e-9);
    EXPECT_EQ(lane(0)->width(), int(widthBefore));
    redo();
    settle();
    expectSameRender(renderedLeft(), pasted);
    EXPECT_EQ(lane(0)->selectionPastes.size(), 3);
    undo();
    settle();
    expectSameRender(renderedLeft(), before);
}

// Lengths at the threshold, and insertion times outside the track clamped to
// its ends; each paste is undone before the next.
TEST_F(RangeEditsTest, PastesBelowTheMinimumAreRefusedAndTimesClampToTheTrack) {
    auto t = staircaseComposition(30);
    struct Case {
        const char* name;
        double length;
        double at;
        bool pasted;
        double heardFrom;  // where the copied step 5 is heard; < 0 not judged
    };
    const Case cases[] = {
        {"0.1 s as a double", 0.1, 10, false, -1},
        {"0.11 s", 0.11, 10, true, -1},
        {"before the track", 1.0, -5, true, 0},
        {"after the track", 1.0, 25, true, 20},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        c->pasteboardItems = SelectionClipboardRecord{t, t->indexOfUpdatedTrack, t->indexOfUpdatedBitmap, k.length,
                                                      5.0, InsideRegion, 1.0, double(lane(0)->width()),
                                                      t->durationInSeconds, c->shell.zoomValue};
        const int undoSteps = c->undoManager()->undoCount();
        const auto pictures = t->filterBitmaps.size();
        if (!k.pasted) player->play();
        EXPECT_EQ(c->pasteSelectionInFilterFrom(k.at), k.pasted);
        if (!k.pasted) {
            // Refused before anything: no busy flag, the player not paused.
            EXPECT_FALSE(c->shell.audioControllerIsWorking);
            EXPECT_NE(player->rate(), 0.0f);
            player->pause();
            EXPECT_EQ(c->undoManager()->undoCount(), undoSteps);
            EXPECT_EQ(t->filterBitmaps.size(), pictures);
            endEvent();
            continue;
        }
        settle();
        EXPECT_NEAR(t->durationInSeconds, 20 + k.length, 1e-6);
        if (k.heardFrom >= 0) expectSteps(renderedLeft(), k.heardFrom, 1, {5});
        undo();
        settle();
    }
}

// Audio of another rate cannot go into the track: it becomes a new track,
// and the destination is left alone.
TEST_F(RangeEditsTest, AStretchOfAnotherRateBecomesATrackOfItsOwn) {
    auto t = staircaseComposition();
    auto other = append(writeStaircase(QStringLiteral("staircase48.wav"), 20, 48000));
    settle();
    ASSERT_NE(other->audioTrack->formatDescription(), t->audioTrack->formatDescription());
    c->rulerSelectTrack(1);
    select(1, 2, 4);
    c->copyCurrentSelectionFrom();
    c->rulerSelectTrack(0);
    const auto versions = t->tempFilterTracks.size();
    c->pasteSelectionInFilterFrom(10.0);
    settle();
    ASSERT_EQ(tracks().size(), 3u);
    EXPECT_EQ(t->tempFilterTracks.size(), versions);
    EXPECT_NEAR(t->durationInSeconds, 20, 1e-9);
    auto made = tracks().back().audioFilter;
    EXPECT_NEAR(made->currentTimeRange().start.seconds(), 2, 1e-3);
    EXPECT_NEAR(made->currentTimeRange().duration.seconds(), 2, 1e-3);
    EXPECT_EQ(made->animationStart(), MediaTime::zero());
}

// Removals: what is refused changes nothing (a whole-region selection is
// only cleared); what is removed is gone from the render, and undone.
TEST_F(RangeEditsTest, RemovalsTakeTheStretchOutOrRefuse) {
    auto t = staircaseComposition();
    const std::vector<float> before = renderedLeft();
    struct Case {
        const char* name;
        double from, to;
        bool removed;
        std::vector<int> stepsFrom3;  // heard from 3 s on when removed
    };
    const Case cases[] = {
        {"the whole region", 0, 20, false, {}},
        {"0.05 s", 3, 3.05, false, {}},
        {"from the start to within 0.1 s of the end", 0, 19.95, false, {}},
        {"to the end from within the first 0.1 s", 0.05, 20, false, {}},
        {"inside from within the first 0.1 s", 0.05, 3, true, {6, 7}},
        {"inside", 3, 5, true, {5, 6}},
        {"to the end", 15, 20, true, {3, 4}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        select(0, k.from, k.to);
        const int undoSteps = c->undoManager()->undoCount();
        const auto versions = t->tempFilterTracks.size();
        EXPECT_EQ(c->menuRemoveSelection(nullptr, true), k.removed);
        EXPECT_TRUE(lane(0)->selectionPaths.isEmpty());
        if (!k.removed) {
            EXPECT_EQ(c->undoManager()->undoCount(), undoSteps);
            EXPECT_EQ(t->tempFilterTracks.size(), versions);
            EXPECT_FALSE(c->shell.audioControllerIsWorking);
            continue;
        }
        settle();
        const double removed = k.to - k.from;
        EXPECT_NEAR(t->durationInSeconds, 20 - removed, 1e-6);
        EXPECT_NEAR(t->animationEnd().seconds(), 20 - removed, 1e-3);
        const std::vector<float> after = renderedLeft();
        // The mix ends with the shortened track.
        EXPECT_NEAR(after.size() / 44100.0, 20 - removed, 0.01);
        expectSteps(after, 3, 1, k.stepsFrom3);
        undo();
        settle();
        expectSameRender(renderedLeft(), before);
    }
}

// A cut copies the stretch, then removes it; busy, it does neither.
TEST_F(RangeEditsTest, ACutCopiesAndRemoves) {
    auto t = staircaseComposition();
    select(0, 3, 5);
    c->shell.audioControllerIsWorking = true;
    c->cutCurrentSelectionFrom();
    EXPECT_FALSE(c->pasteboardItems);
    EXPECT_NEAR(t->durationInSeconds, 20, 1e-9);
    c->shell.audioControllerIsWorking = false;

    c->cutCurrentSelectionFrom();
    ASSERT_TRUE(clipboardSelection());
    EXPECT_NEAR(clipboardSelection()->length, 2, 1e-9);
    settle();
    expectSteps(renderedLeft(), 2, 1, {2, 5, 6});
    // What was cut goes back in where it was.
    ASSERT_TRUE(c->pasteSelectionInFilterFrom(3.0));
    settle();
    expectSteps(renderedLeft(), 0, 1, range(0, 19));
}

// At speed 2 the lane shows source time: removing 2 s of it takes 1 s of
// the timeline.
TEST_F(RangeEditsTest, RemovalAtSpeedTwoTakesSourceSeconds) {
    auto t = staircaseComposition();
    t->setValue(EffectInput::Speed, 2.0f);
    c->updateFilterSpeed(t.get(), nullptr);
    settle();
    ASSERT_NEAR(t->animationEnd().seconds(), 10, 1e-3);
    const double laneWidth = lane(0)->width();
    select(0, 4, 6);
    ASSERT_TRUE(c->menuRemoveSelection(nullptr, true));
    settle();
    EXPECT_NEAR(t->durationInSeconds, 18, 1e-6);
    EXPECT_NEAR(t->animationEnd().seconds(), 9, 1e-3);
    EXPECT_NEAR(t->currentTimeRange().duration.seconds(), 18, 1e-3);
    EXPECT_NEAR(lane(0)->width(), laneWidth - 2 * c->shell.scaleFactor * c->shell.zoomValue / 2, 1.0);
    const std::vector<float> left = renderedLeft();
    expectSteps(left, 1, 0.5, {2, 3, 6, 7});
}

// Pasted-range marks after a removal: a removal inside the region drops the
// marks it touches and moves later ones left; one from the region's start
// drops none.
TEST_F(RangeEditsTest, RemovalsMoveOrDropThePastedRangeMarks) {
    auto t = staircaseComposition();
    const double W = lane(0)->width();
    auto x = [&](double s) { return laneX(0, s); };
    const double dx = 2 * c->shell.scaleFactor * c->shell.zoomValue;
    const QList<SelectionPasteRecord> marks = {{QPointF(x(1), 0), QPointF(x(2), 0)},
                                               {QPointF(x(4), 0), QPointF(x(5.5), 0)},
                                               {QPointF(x(6.9), 0), QPointF(x(8), 0)},
                                               {QPointF(x(10), 0), QPointF(x(11), 0)}};
    ASSERT_GT(W, 0);

    lane(0)->selectionPastes = marks;
    select(0, 5, 7);  // inside: overlaps the marks at 4 to 5.5 and 6.9 to 8
    ASSERT_TRUE(c->menuRemoveSelection(nullptr, true));
    settle();
    ASSERT_EQ(lane(0)->selectionPastes.size(), 2);
    EXPECT_NEAR(lane(0)->selectionPastes[0][0].x(), x(1), 1e-6);
    EXPECT_NEAR(lane(0)->selectionPastes[1][0].x(), marks[3][0].x() - dx, 1e-6);
    undo();
    settle();
    EXPECT_EQ(lane(0)->selectionPastes, marks);

    select(0, 0, 2);  // from the region's start: the mark inside moves with the rest
    ASSERT_TRUE(c->menuRemoveSelection(nullptr, true));
    settle();
    ASSERT_EQ(lane(0)->selectionPastes.size(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(lane(0)->selectionPastes[i][0].x(), marks[i][0].x() - dx, 1e-6);
}

// Silence inserted at a selection, and a selection at the region's end
// replaced by silence so that the track ends where it did.
TEST_F(RangeEditsTest, SilenceGoesInAtTheSelection) {
    auto t = staircaseComposition();
    const std::vector<float> before = renderedLeft();
    select(0, 7, 8);
    c->pasteAndAddEmpySelectionInFilterFrom();
    settle();
    EXPECT_NEAR(t->durationInSeconds, 21, 1e-6);
    std::vector<float> left = renderedLeft();
    expectSteps(left, 5, 1, {5, 6, -1, 7, 8});
    ASSERT_EQ(lane(0)->selectionPastes.size(), 1);
    EXPECT_TRUE(lane(0)->selectionPaths.isEmpty());
    undo();
    settle();
    expectSameRender(renderedLeft(), before);

    select(0, 18, 20);
    c->pasteAndReplaceEmptySelectionInFilterFrom();
    settle();
    EXPECT_NEAR(t->durationInSeconds, 20, 1e-6);
    EXPECT_NEAR(t->animationEnd().seconds(), 20, 1e-3);
    left = renderedLeft();
    expectSteps(left, 16, 1, {16, 17, -1, -1});
    undo();
    settle();
    expectSameRender(renderedLeft(), before);

    // Without a copied selection nothing is removed to be replaced.
    c->pasteboardItems.reset();
    select(0, 3, 5);
    const int undoSteps = c->undoManager()->undoCount();
    c->pasteAndReplaceSelectionInFilterFrom();
    endEvent();
    EXPECT_EQ(c->undoManager()->undoCount(), undoSteps);
    EXPECT_NEAR(t->durationInSeconds, 20, 1e-9);
    // With one, the selection's place takes the copy.
    select(0, 10, 11);
    c->copyCurrentSelectionFrom();
    select(0, 3, 5);
    c->pasteAndReplaceSelectionInFilterFrom();
    settle();
    EXPECT_NEAR(t->durationInSeconds, 19, 1e-6);
    expectSteps(renderedLeft(), 2, 1, {2, 10, 5});
}

// "Speed of the selection": the stretch plays at the chosen speed at its own
// pitch, in one undo step; a removal that refuses stops the change.
TEST_F(RangeEditsTest, ASpeedChangeReplacesTheStretchInOneStep) {
    auto t = staircaseComposition();
    const std::vector<float> before = renderedLeft();
    EXPECT_EQ(AudioController::speedOfSelectionItem(5), 2.0);
    EXPECT_EQ(AudioController::speedOfSelectionItem(6), 1.0);

    select(0, 4, 8);
    const int undoSteps = c->undoManager()->undoCount();
    c->pasteSelectionWithSpeed(5);  // "2.0x"
    settle();
    EXPECT_NEAR(t->durationInSeconds, 18, 1e-6);
    EXPECT_EQ(c->undoManager()->undoCount(), undoSteps + 1);
    std::vector<float> left = renderedLeft();
    expectSteps(left, 4, 0.5, {4, 5, 6, 7});
    expectSteps(left, 6, 1, {8, 9});
    ASSERT_EQ(lane(0)->selectionPastes.size(), 1);
    undo();
    settle();
    expectSameRender(renderedLeft(), before);
    redo();
    settle();
    EXPECT_NEAR(t->durationInSeconds, 18, 1e-6);
    undo();
    settle();

    select(0, 4, 5);
    c->pasteSelectionWithSpeed(0);  // "0.25x": 4 s, the track cut at the composition's end
    settle();
    EXPECT_NEAR(t->durationInSeconds, 23, 1e-6);
    EXPECT_NEAR(t->animationEnd().seconds(), 20, 1e-3);
    left = renderedLeft();
    expectSteps(left, 3, 1, {3, 4, 4, 4, 4, 5});
    undo();
    settle();
    expectSameRender(renderedLeft(), before);

    // To the end from within the first 0.1 s: the removal refuses, so
    // nothing is pasted either.
    select(0, 0.05, 20);
    c->pasteSelectionWithSpeed(5);
    endEvent();
    EXPECT_FALSE(c->shell.audioControllerIsWorking);
    EXPECT_NEAR(t->durationInSeconds, 20, 1e-9);
    EXPECT_EQ(c->undoManager()->undoCount(), undoSteps);
}

// The versions an edit starts from stay: a stretch copied before an undo
// and another edit still pastes the audio it was copied from; and an audio
// edit the track refuses leaves no trace.
TEST_F(RangeEditsTest, CopiedStretchesAndUndoRecordsKeepNamingTheirVersions) {
    auto t = staircaseComposition();
    select(0, 3, 5);
    c->copyCurrentSelectionFrom();
    select(0, 0, 10);
    ASSERT_TRUE(c->menuRemoveSelection(nullptr, true));  // steps 3 and 4 gone from the current version
    settle();
    undo();
    settle();
    select(0, 15, 16);
    ASSERT_TRUE(c->menuRemoveSelection(nullptr, true));
    settle();
    ASSERT_TRUE(c->pasteSelectionInFilterFrom(0.0));
    settle();
    std::vector<float> left = renderedLeft();
    expectSteps(left, 0, 1, {3, 4, 0, 1});
    // Back through both edits to the start, and forward again.
    const std::vector<float> edited = left;
    undo();
    undo();
    settle();
    expectSteps(renderedLeft(), 14, 1, range(14, 19));
    redo();
    redo();
    settle();
    expectSameRender(renderedLeft(), edited);

    // A record naming a version the source does not have: the track refuses.
    SelectionClipboardRecord bad = *clipboardSelection();
    bad.indexOfUpdatedTrack = 99;
    c->pasteboardItems = bad;
    const int undoSteps = c->undoManager()->undoCount();
    const auto pictures = t->filterBitmaps.size();
    const auto marks = lane(0)->selectionPastes;
    EXPECT_FALSE(c->pasteSelectionInFilterFrom(5.0));
    EXPECT_FALSE(c->shell.audioControllerIsWorking);
    EXPECT_EQ(c->undoManager()->undoCount(), undoSteps);
    EXPECT_EQ(t->filterBitmaps.size(), pictures);
    EXPECT_EQ(lane(0)->selectionPastes, marks);
}

// A split makes a track of the selection at the composition's start; the
// source keeps its audio and its selection.
TEST_F(RangeEditsTest, ASplitMakesATrackOfTheSelection) {
    auto t = staircaseComposition();
    select(0, 5, 8);
    c->splitCurrentSelectionFrom();
    settle();
    ASSERT_EQ(tracks().size(), 2u);
    auto made = tracks()[1].audioFilter;
    EXPECT_EQ(made->animationStart(), MediaTime::zero());
    EXPECT_NEAR(made->animationEnd().seconds(), 3, 0.02);
    EXPECT_EQ(made->tempFilterTracks.size(), t->tempFilterTracks.size());
    EXPECT_EQ(made->indexOfUpdatedTrack, t->indexOfUpdatedTrack);
    EXPECT_EQ(made->filterBitmaps.size(), t->filterBitmaps.size());
    EXPECT_NEAR(t->durationInSeconds, 20, 1e-9);
    EXPECT_EQ(lane(0)->selectionPaths.size(), 1);
    const std::vector<float> left = renderedLeft();
    // The source's own step and the new track's, mixed.
    auto level = [&](double from, int step) {
        return testsupport::amplitudeAt(left.data() + size_t(from * 44100), 4410, stepFrequency(step), 44100);
    };
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE(s);
        EXPECT_GT(level(s + 0.4, 5 + s), 0.1);
        EXPECT_GT(level(s + 0.4, s), 0.1);
    }
    EXPECT_LT(level(3.4, 5), 0.02);
    // Undo takes the new track away.
    undo();
    settle();
    EXPECT_EQ(tracks().size(), 1u);
    // A selection the track lost refuses rather than use the clipboard.
    lane(0)->selectionPaths.clear();
    c->splitCurrentSelectionFrom();
    endEvent();
    EXPECT_EQ(tracks().size(), 1u);
}

}  // namespace
