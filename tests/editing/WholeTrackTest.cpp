// Whole-track copy, cut, paste, split and invert trim on the staircase: a
// 20 s source whose pitch steps up every second, in a 30 s composition at a
// zoom of 40 points a second, rendered offline and heard step by step.
#include "RangeEditsFixture.h"

#include "automation/Pasteboard.h"
#include "views/AudioView.h"
#include "views/FloatSlider.h"

#include <QTest>

namespace {

class WholeTrackTest : public RangeEditsTest {
protected:
    static constexpr double kComposition = 30;

    std::shared_ptr<MusicFilter> staircase() {
        auto t = staircaseComposition(kComposition);
        c->ui.zoomSlider->setFloatValue(20);
        c->updateZoomValueFrom(c->ui.zoomSlider);
        endEvent();
        return t;
    }

    // Trims track `i` as an edge drag would: its lane begins at `laneStart`
    // seconds of composition time and its region plays its source from
    // `from` to `to` seconds.
    void place(size_t i, double laneStart, double from, double to) {
        auto t = tracks()[i].audioFilter;
        AudioDrawingView* l = lane(i);
        const double Wa = c->ui.audioView->frameWidth(), D = t->durationInSeconds;
        l->setFrameX(laneStart / kComposition * Wa);
        const double Wl = l->frameWidth();
        const QRectF old = l->drawingBezierPath.boundingRect();
        l->drawingBezierPath =
            AudioDrawingView::regionPath(QRectF(from / D * Wl, old.y(), (to - from) / D * Wl, old.height()));
        t->audioOriginInPercent = from / D;
        t->audioDurationInPercent = (to - from) / D;
        t->setAnimationStart(MediaTime::fromSeconds(std::max(laneStart + from, 0.0), 44100));
        t->setAnimationEnd(MediaTime::fromSeconds(std::min(laneStart + to, kComposition), 44100));
        t->setCurrentTimeRange({MediaTime::fromSeconds(from, 44100), MediaTime::fromSeconds(to - from, 44100)});
        c->updatePlayerWithNewTrackSettings(t.get());
        settle();
    }

    // Stretches of the render: the steps heard one a second from `firstStep`
    // on, or silence for a negative one.
    struct Span {
        double from, to;
        int firstStep;
    };
    static void expectSpans(const std::vector<float>& left, const std::vector<Span>& spans) {
        for (const Span& s : spans) {
            if (s.firstStep >= 0) {
                expectSteps(left, s.from, kStepSeconds, range(s.firstStep, s.firstStep + int(s.to - s.from) - 1));
                continue;
            }
            SCOPED_TRACE("silence from " + std::to_string(s.from) + " s");
            for (int heard : stepsHeard(left, s.from + 0.1, s.to - 0.1)) EXPECT_LT(heard, 0);
        }
    }

    const TrackPasteboardRecord* clipboardTrack() {
        return c->pasteboardItems ? std::get_if<TrackPasteboardRecord>(&*c->pasteboardItems) : nullptr;
    }
};

// ---- Cut and invert trim ---------------------------------------------------------------------

struct OutsideCase {
    const char* name;
    bool cut;  // else invert trim
    double laneStart, from, to;
    size_t tracksAfter;
    double playhead;
    std::vector<std::tuple<double, double, int>> spans;
};

void PrintTo(const OutsideCase& k, std::ostream* os) { *os << k.name; }

class OutsidePartsTest : public WholeTrackTest, public ::testing::WithParamInterface<OutsideCase> {};

// Each command leaves the track playing the parts of its source outside
// the region; the clipboard holds the track as it was before.
TEST_P(OutsidePartsTest, KeepWhatLiesOutsideTheRegion) {
    const OutsideCase& k = GetParam();
    auto t = staircase();
    place(0, k.laneStart, k.from, k.to);
    const std::vector<float> before = renderedLeft();
    const int undoSteps = c->undoManager()->undoCount();
    if (k.cut)
        c->cutAudioFileFrom();
    else
        c->invertSelection();
    settle();

    ASSERT_EQ(tracks().size(), k.tracksAfter);
    std::vector<Span> spans;
    for (const auto& [from, to, step] : k.spans) spans.push_back({from, to, step});
    const std::vector<float> left = renderedLeft();
    expectSpans(left, spans);
    if (k.tracksAfter == 1 && k.from == 0 && k.to == 20) expectSameRender(left, before);
    EXPECT_NEAR(c->currentTime(), k.playhead, 0.05);
    for (size_t i = 0; i < tracks().size(); ++i) EXPECT_GE(tracks()[i].audioFilter->currentTimeRange().start.seconds(), 0);

    const TrackPasteboardRecord* copied = clipboardTrack();
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->audioPasteboardDictionary.audioFilter, t);
    EXPECT_DOUBLE_EQ(copied->audioPasteboardInfo.audioPasteboardOriginPercent, k.from / 20);
    EXPECT_FALSE(copied->audioPasteboardListenerCanUpdate);

    // Only a track added for the part after has an undo step: its removal,
    // which leaves the shortened track as it is.
    EXPECT_EQ(c->undoManager()->undoCount(), undoSteps + int(k.tracksAfter - 1));
    if (k.tracksAfter == 2) {
        const MediaTime end = t->animationEnd();
        undo();
        settle();
        EXPECT_EQ(tracks().size(), 1u);
        EXPECT_EQ(t->animationEnd(), end);
    }
}

INSTANTIATE_TEST_SUITE_P(
    WholeTrack, OutsidePartsTest,
    ::testing::Values(
        OutsideCase{"CutOfAnUntrimmedTrack", true, 0, 0, 20, 1, 0, {{0, 20, 0}, {20, 30, -1}}},
        // At the composition's start: only the part after remains, in place.
        OutsideCase{"CutKeepsThePartAfter", true, -5, 5, 10, 1, 15, {{0, 5, -1}, {5, 15, 10}, {15, 30, -1}}},
        // From the middle: the part after moves left to meet the part before.
        OutsideCase{"CutFromTheMiddle", true, 5, 5, 10, 2, 0, {{0, 5, -1}, {5, 10, 0}, {10, 20, 10}, {20, 30, -1}}},
        // The hidden part of a lane left of 0 stays hidden.
        OutsideCase{"CutOfALaneLeftOfZero", true, -5, 10, 20, 1, 0, {{0, 5, 5}, {5, 30, -1}}},
        OutsideCase{"InvertBothParts", false, 5, 5, 10, 2, 0,
                    {{0, 5, -1}, {5, 10, 0}, {10, 15, -1}, {15, 25, 10}, {25, 30, -1}}},
        OutsideCase{"InvertThePartBefore", false, 5, 5, 20, 1, 5, {{0, 5, -1}, {5, 10, 0}, {10, 30, -1}}},
        OutsideCase{"InvertThePartAfter", false, -5, 5, 10, 1, 15, {{0, 5, -1}, {5, 15, 10}, {15, 30, -1}}},
        OutsideCase{"InvertOfAnUntrimmedTrack", false, 0, 0, 20, 1, 0, {{0, 20, 0}, {20, 30, -1}}}),
    [](const ::testing::TestParamInfo<OutsideCase>& info) { return std::string(info.param.name); });

// A source shorter than a second: the parts kept play from its start, never
// from before it.
TEST_F(WholeTrackTest, ACutOfAShortSourceStartsItsPartsAtZero) {
    setLength(QStringLiteral("0"), QStringLiteral("30"));
    auto t = append(writeTone(QStringLiteral("short.wav"), 0.5, 440));
    settle();
    c->ui.zoomSlider->setFloatValue(20);
    c->updateZoomValueFrom(c->ui.zoomSlider);
    endEvent();
    ASSERT_NEAR(t->durationInSeconds, 0.5, 1e-3);
    place(0, 2, 0.1, 0.3);
    c->cutAudioFileFrom();
    settle();
    ASSERT_EQ(tracks().size(), 2u);
    for (const TrackRecord& r : tracks()) {
        EXPECT_EQ(r.audioFilter->currentTimeRange().start, MediaTime::zero());
        EXPECT_NEAR(r.audioFilter->currentTimeRange().duration.seconds(), 0.5, 1e-3);
    }
    // The two parts meet where the region was, 2.1 s to 2.3 s of the composition.
    EXPECT_NEAR(tracks()[0].audioFilter->animationEnd().seconds(), 2.1, 1e-3);
    EXPECT_NEAR(tracks()[1].audioFilter->animationStart().seconds(), 2.1, 0.03);
    const std::vector<float> left = renderedLeft();
    auto level = [&](double from) {
        return testsupport::amplitudeAt(left.data() + size_t(from * 44100), 2205, 440, 44100);
    };
    EXPECT_GT(level(2.1), 0.1);
    EXPECT_LT(level(1.0), 0.01);
    EXPECT_LT(level(2.5), 0.01);
}

// ---- Copy and paste ----------------------------------------------------------------------------

// In selection mode a lane's selection is copied; otherwise the track.
TEST_F(WholeTrackTest, CopyTakesTheSelectionInSelectionModeElseTheTrack) {
    auto t = staircase();
    select(0, 5, 8);
    c->copyAudioFileFrom();
    EXPECT_TRUE(clipboardSelection());
    t->typeOfComposition = 1;
    c->copyAudioFileFrom();
    ASSERT_TRUE(clipboardTrack());
    EXPECT_EQ(clipboardTrack()->audioPasteboardDictionary.audioFilter, t);
    EXPECT_EQ(clipboardTrack()->audioPasteboardInfo.audioPasteboardDrawingViewFrame, QRectF(lane(0)->geometry()));
    EXPECT_EQ(clipboardTrack()->audioPasteboardInfo.audioPasteboardAudioViewFrame.width(), c->shell.zoomValue);
    t->typeOfComposition = 0;
    lane(0)->selectionPaths.clear();
    c->pasteboardItems.reset();
    c->copyAudioFileFrom();
    EXPECT_TRUE(clipboardTrack());
    // Busy: the clipboard keeps its item.
    select(0, 5, 8);
    c->shell.audioControllerIsWorking = true;
    c->copyAudioFileFrom();
    c->shell.audioControllerIsWorking = false;
    EXPECT_TRUE(clipboardTrack());
}

// A copy of a track, or of a stretch of it, describes the file the track
// had then: once that file is replaced, each way of pasting it is refused
// with a message and changes nothing; a copy made afterwards pastes.
TEST_F(WholeTrackTest, ACopyOfAReplacedFileIsRefused) {
    auto t = staircase();
    const QString other = writeTone(QStringLiteral("other.wav"), 6, 1000);
    struct Case {
        const char* name;
        bool wholeTrack;
        std::function<void()> paste;
    } cases[] = {
        {"the track, by the paste command", true, [&] { c->pasteAudioFileFrom(); }},
        {"a stretch, by the paste command", false, [&] { c->pasteAudioFileFrom(); }},
        {"a stretch, at a time", false, [&] { c->pasteSelectionInFilterFrom(2.0); }},
        {"a stretch, over a selection", false,
         [&] {
             select(0, 1, 2);
             c->pasteAndReplaceSelectionInFilterFrom();
         }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        if (k.wholeTrack) {
            lane(0)->selectionPaths.clear();
            c->copyAudioFileFrom();
            ASSERT_TRUE(clipboardTrack());
        } else {
            select(0, 1, 3);
            c->copyCurrentSelectionFrom();
            ASSERT_TRUE(clipboardSelection());
        }
        QString error;
        ASSERT_TRUE(c->replaceAudioFileInComposition(QUrl::fromLocalFile(other), 0, &error)) << error.toStdString();
        ASSERT_TRUE(testsupport::waitUntil([&] { return c->imports.tracksReading == 0; }));
        settle();
        const size_t count = tracks().size();
        const double length = t->durationInSeconds;
        const int steps = c->undoManager()->undoCount();
        alerts.clear();
        k.paste();
        settle();
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_EQ(alerts[0].messageText, QStringLiteral("The copied audio cannot be pasted."));
        EXPECT_EQ(tracks().size(), count);
        EXPECT_DOUBLE_EQ(t->durationInSeconds, length);
        EXPECT_EQ(c->undoManager()->undoCount(), steps);
    }

    // Copied again, a stretch of the new file pastes.
    select(0, 1, 2);
    c->copyCurrentSelectionFrom();
    alerts.clear();
    ASSERT_TRUE(c->pasteSelectionInFilterFrom(3.0));
    settle();
    EXPECT_TRUE(alerts.empty());
    EXPECT_NEAR(t->durationInSeconds, 7, 1e-6);
}

// A pasted track is where the copy was, at today's zoom; it plays the
// region with the speed of the copy and the other values of today.
TEST_F(WholeTrackTest, APastedTrackPlaysTheCopiedRegionWhereItWas) {
    auto t = staircase();
    place(0, 5, 5, 10);
    c->copyAudioFileFrom();
    c->ui.zoomSlider->setFloatValue(10);
    c->updateZoomValueFrom(c->ui.zoomSlider);
    t->setValue(EffectInput::Speed, 2.0f);
    t->setValue(EffectInput::Pitch, 300.0f);
    const int undoSteps = c->undoManager()->undoCount();
    c->pasteAudioFileFrom();
    settle();
    ASSERT_EQ(tracks().size(), 2u);
    auto pasted = tracks()[1].audioFilter;
    EXPECT_EQ(c->currentSelectedAudio.load(), 1u);
    EXPECT_NEAR(lane(1)->x(), lane(0)->x(), 1);
    EXPECT_NEAR(lane(1)->width(), lane(0)->width(), 1);
    EXPECT_EQ(pasted->value(EffectInput::Speed), 1.0f);
    EXPECT_EQ(pasted->value(EffectInput::Pitch), 300.0f);
    EXPECT_NEAR(pasted->animationStart().seconds(), 10, 0.05);
    EXPECT_NEAR(pasted->animationEnd().seconds(), 15, 0.05);
    EXPECT_EQ(c->undoManager()->undoCount(), undoSteps + 1);
    // The pasted track alone: the region's steps, at the region's time.
    t->setValue(EffectInput::Speed, 1.0f);
    c->removeAudioFileAtIndex(0);
    settle();
    expectSpans(renderedLeft(), {{0, 10, -1}, {10, 15, 5}, {15, 30, -1}});
    // The clipboard still holds the removed track: it pastes again.
    c->pasteAudioFileFrom();
    settle();
    EXPECT_EQ(tracks().size(), 2u);
}

// A region that a shorter composition leaves wholly past the track area
// adds no track.
TEST_F(WholeTrackTest, APasteWhoseRegionFallsPastTheEndAddsNothing) {
    staircase();
    place(0, 5, 17, 20);  // 22 s to 25 s
    c->copyAudioFileFrom();
    c->removeAudioFileAtIndex(0);
    endEvent();
    setLength(QStringLiteral("0"), QStringLiteral("20"));
    ASSERT_FALSE(c->shell.audioControllerIsWorking);
    const int undoSteps = c->undoManager()->undoCount();
    c->pasteAudioFileFrom();
    endEvent();
    EXPECT_EQ(tracks().size(), 0u);
    EXPECT_EQ(c->undoManager()->undoCount(), undoSteps);
}

// The paste command hands each kind of item to its own paste, pausing a
// playing player first; while busy it does nothing, not even pause.
TEST_F(WholeTrackTest, ThePasteCommandDispatchesOnTheKind) {
    auto t = staircase();
    select(0, 5, 8);
    c->copyCurrentSelectionFrom();
    const PasteboardItem selection = *c->pasteboardItems;
    lane(0)->selectionPaths.clear();
    c->copyAudioFileFrom();
    const PasteboardItem track = *c->pasteboardItems;
    CurvePasteboardRecord curve;
    curve.curves.push_back({KeyPointCurve{{0.2, 0.5f}, {0.8, 1.0f}}, QStringLiteral("inputAudioMix")});

    struct Case {
        const char* name;
        PasteboardItem item;
        size_t versions, tracks, alerts;
        bool curves;
    };
    const size_t v = t->tempFilterTracks.size();
    const Case cases[] = {
        {"a selection is inserted", selection, v + 1, 1, 0, false},
        {"a curve set is pasted", curve, v + 1, 1, 0, true},
        {"an empty curve set pastes nothing", CurvePasteboardRecord{}, v + 1, 1, 0, true},
        // The staircase plays no notes: the notes paste says so.
        {"notes go to their paste", NotesPasteboardRecord{}, v + 1, 1, 1, true},
        {"a track is added", track, v + 1, 2, 1, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        c->currentSelectedAudio = 0;
        c->pasteboardItems = k.item;
        c->playPauseToggle();
        ASSERT_TRUE(testsupport::waitUntil([&] { return player->rate() != 0; }));
        c->pasteAudioFileFrom();
        EXPECT_EQ(player->rate(), 0);
        settle();
        EXPECT_EQ(t->tempFilterTracks.size(), k.versions);
        EXPECT_EQ(tracks().size(), k.tracks);
        EXPECT_EQ(alerts.size(), k.alerts);
        EXPECT_EQ(c->automation.recordedParameters.count(t->identifierOfFilter) != 0, k.curves);
        EXPECT_TRUE(c->pasteboardItems && *c->pasteboardItems == k.item);
    }
    c->pasteboardItems = track;
    c->playPauseToggle();
    ASSERT_TRUE(testsupport::waitUntil([&] { return player->rate() != 0; }));
    c->shell.audioControllerIsWorking = true;
    c->pasteAudioFileFrom();
    c->shell.audioControllerIsWorking = false;
    EXPECT_NE(player->rate(), 0);
    EXPECT_EQ(tracks().size(), 2u);
    player->pause();
}

// ---- Split -----------------------------------------------------------------------------------

// With a selection, a split makes a track of it and nothing follows.
// Without, the track is copied and pasted and the copy's trim turned over
// once its player item is ready: the region stays with the track, and the
// copy and a third track play what lay outside it, in place.
TEST_F(WholeTrackTest, ASplitTurnsTheCopysTrimOverOnce) {
    auto t = staircase();
    place(0, 5, 5, 10);
    select(0, 6, 8);
    c->splitAudioFileFrom();
    settle();
    QTest::qWait(400);
    EXPECT_EQ(tracks().size(), 2u);
    EXPECT_FALSE(c->editing.needsUpdateSplitSelection);
    undo();
    settle();
    ASSERT_EQ(tracks().size(), 1u);

    c->currentSelectedAudio = 0;
    lane(0)->selectionPaths.clear();
    c->splitAudioFileFrom();
    settle();
    ASSERT_TRUE(testsupport::waitUntil([&] { return tracks().size() == 3; }));
    settle();
    QTest::qWait(400);
    EXPECT_EQ(tracks().size(), 3u);
    expectSpans(renderedLeft(), {{0, 5, -1}, {5, 10, 0}, {10, 15, 5}, {15, 25, 10}, {25, 30, -1}});
    EXPECT_NEAR(t->animationStart().seconds(), 10, 0.05);
    EXPECT_NEAR(t->animationEnd().seconds(), 15, 0.05);
}

// The deferred invert acts only on the copy, and only while it is selected.
TEST_F(WholeTrackTest, ASplitInvertsNothingButItsCopy) {
    auto t = staircase();
    place(0, 5, 5, 10);
    c->splitAudioFileFrom();
    ASSERT_EQ(tracks().size(), 2u);
    c->currentSelectedAudio = 0;  // the user picks the source before the copy is ready
    settle();
    QTest::qWait(400);
    EXPECT_EQ(tracks().size(), 2u);
    EXPECT_NEAR(t->animationStart().seconds(), 10, 0.05);
    EXPECT_NEAR(tracks()[1].audioFilter->animationStart().seconds(), 10, 0.05);

    // A paste that adds no track arms no invert: the selected track's next
    // ready item leaves it alone. (A lane with no width gives the copy no
    // place to go.)
    lane(0)->setFrame(lane(0)->frameX(), 0);
    c->splitAudioFileFrom();
    EXPECT_EQ(tracks().size(), 2u);
    EXPECT_FALSE(c->editing.needsUpdateSplitSelection);
    c->updateCurrentTime(3);
    settle();
    QTest::qWait(400);
    EXPECT_EQ(tracks().size(), 2u);
    EXPECT_NEAR(t->animationStart().seconds(), 10, 0.05);
    EXPECT_NEAR(t->animationEnd().seconds(), 15, 0.05);
}

}  // namespace
