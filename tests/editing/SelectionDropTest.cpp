// A dragged selection or pasted range dropped on a track: the drop is kept
// until the seek it starts completes, then copies the range there, inserted
// or, with Alt, in place of what is there.
#include "RangeEditsFixture.h"

namespace {

class SelectionDropTest : public RangeEditsTest {
protected:
    // Two staircases in a 20 s composition: the source and the target.
    void SetUp() override {
        RangeEditsTest::SetUp();
        source = staircaseComposition();
        target = append(writeStaircase(QStringLiteral("target.wav")));
        settle();
        c->rulerSelectTrack(0);
    }
    // Drops as the track area does: the record kept, then a seek whose
    // completion hands it over.
    void drop(quint64 targetIndex, double seconds, bool option, std::optional<quint64> mark = std::nullopt) {
        DragDropSelectionRecord r;
        r.targetIndex = targetIndex;
        r.dropFraction = seconds / c->compositionDuration().seconds();
        r.source = source;
        r.isPaste = mark.has_value();
        r.indexOfSelectionPaste = mark.value_or(kNoIndex);
        r.option = option;
        c->editing.dragDropSelectionInfo = r;
        c->updateCurrentTime(seconds);
        settle();
    }
    // How strongly step `step` sounds over 100 ms from `from` in the mix.
    double level(const std::vector<float>& left, double from, int step) {
        return testsupport::amplitudeAt(left.data() + size_t(from * 44100), 4410, stepFrequency(step), 44100);
    }
    std::shared_ptr<MusicFilter> source, target;
};

TEST_F(SelectionDropTest, ADropInsertsACopyIntoTheTrackUnderIt) {
    select(0, 3, 5);
    drop(1, 10, false);
    EXPECT_EQ(c->currentSelectedAudio.load(), 1u);
    EXPECT_NEAR(target->durationInSeconds, 22, 1e-6);
    EXPECT_NEAR(source->durationInSeconds, 20, 1e-9);
    EXPECT_EQ(source->tempFilterTracks.size(), 1u);
    ASSERT_TRUE(clipboardSelection());
    EXPECT_NEAR(clipboardSelection()->start, 3, 1e-9);
    const std::vector<float> left = renderedLeft();
    // The target's copied steps beside the source's own.
    EXPECT_GT(level(left, 10.4, 3), 0.1);
    EXPECT_GT(level(left, 11.4, 4), 0.1);
    EXPECT_GT(level(left, 12.4, 10), 0.1);  // the target's step 10, 2 s late
    EXPECT_GT(level(left, 12.4, 12), 0.1);  // the source's own

    // A pasted-range mark is dragged by its own range.
    lane(0)->selectionPastes = {SelectionPasteRecord{QPointF(laneX(0, 6), 0), QPointF(laneX(0, 7), 0)}};
    drop(1, 0, false, 0);
    EXPECT_NEAR(target->durationInSeconds, 23, 1e-6);
    EXPECT_GT(level(renderedLeft(), 0.4, 6), 0.1);
}

// With Alt: at the region's end the copy goes to the new end; over the whole
// region nothing changes but the clipboard.
TEST_F(SelectionDropTest, AnAltDropReplacesTheAudioUnderIt) {
    select(0, 3, 5);
    drop(1, 18, true);
    EXPECT_NEAR(target->durationInSeconds, 20, 1e-6);
    EXPECT_NEAR(target->animationEnd().seconds(), 20, 1e-3);
    std::vector<float> left = renderedLeft();
    EXPECT_GT(level(left, 18.4, 3), 0.1);
    EXPECT_GT(level(left, 19.4, 4), 0.1);
    EXPECT_GT(level(left, 17.4, 17), 0.1);

    const auto versions = target->tempFilterTracks.size();
    select(0, 0, 20);
    drop(1, 0, true);
    EXPECT_EQ(target->tempFilterTracks.size(), versions);
    ASSERT_TRUE(clipboardSelection());
    EXPECT_NEAR(clipboardSelection()->length, 20, 1e-9);
}

// A drop whose target or source has gone changes nothing.
TEST_F(SelectionDropTest, ADropOntoNothingChangesNothing) {
    select(0, 3, 5);
    c->pasteboardItems.reset();
    drop(5, 10, false);
    EXPECT_EQ(c->currentSelectedAudio.load(), 0u);
    EXPECT_FALSE(c->pasteboardItems);
    EXPECT_NEAR(target->durationInSeconds, 20, 1e-9);

    c->removeAudioFileAtIndex(0);
    settle();
    ASSERT_EQ(tracks().size(), 1u);
    drop(0, 10, false);
    EXPECT_FALSE(c->pasteboardItems);
    EXPECT_NEAR(target->durationInSeconds, 20, 1e-9);
}

}  // namespace
