// Effect settings bound to time ranges: assigning from a lane's selection,
// the windows on the timeline, applying once on entering, and the sound of
// an entry that sets the low-pass filter, offline and through the player.
#include "app/TrackListFixture.h"
#include "support/Sliders.h"

#include "engine/TrackTapContext.h"
#include "platform/core/Realtime.h"
#include "views/AudioDrawingView.h"

#include <QTest>

namespace {

class SelectionParametersTest : public ShownTrackListTest {
protected:
    std::shared_ptr<MusicFilter> toneTrack(const QString& name, double seconds, double frequency = 440) {
        return append(writeTone(name, seconds, frequency));
    }
    std::vector<SelectionParametersRecord>& entriesOf(const MusicFilter& f) {
        return c->automation.selectionParameters[f.identifierOfFilter];
    }
    // An entry from `s` to `e` with the track's present setting.
    void bind(MusicFilter& f, double s, double e) {
        SelectionParametersRecord r;
        r.selectionParametersStartPercent = s;
        r.selectionParametersEndPercent = e;
        r.selectionParametersInfo.parameters = c->parametersDictionaryAtIndex(c->indexOfTrack(&f));
        r.selectionParametersReference = automation::selectionParametersReference(s, e);
        entriesOf(f).push_back(r);
        c->publishSelectionParametersForFilter(&f);
    }
    // The render's call at `seconds`; the entry it applied, 0 for none.
    int64_t renderAt(MusicFilter& f, double seconds) {
        c->updateParametersForSelectionAtTime(MediaTime::fromSeconds(seconds, 44100), &f, nullptr);
        return f.rt_appliedSelectionEntry.exchange(0);
    }
    // RMS of the mix rendered offline over [from, from + seconds].
    double renderedLevel(double from, double seconds) {
        auto reader = AssetReader::create(c->currentComposition->copy());
        std::vector<int32_t> ids;
        for (const auto* t : c->currentComposition->tracks()) ids.push_back(t->trackID());
        auto out = std::make_shared<AssetReaderAudioMixOutput>(ids, AssetReaderAudioMixOutput::Settings{44100, 2});
        out->setAudioMix(c->currentAudioMix->copy());
        reader->addOutput(out);
        if (!reader->startReading()) return -1;
        std::vector<float> left;
        while (auto b = out->copyNextSampleBuffer()) left.insert(left.end(), b->left.begin(), b->left.end());
        const size_t a = size_t(from * 44100), n = size_t(seconds * 44100);
        if (left.size() < a + n) return -1;
        return testsupport::rms(left.data() + a, n);
    }
};

TEST_F(SelectionParametersTest, AssignFromTheLanesSelection) {
    auto t = toneTrack(QStringLiteral("assign.wav"), 3.0);
    auto* lane = AudioController::trackLaneOf(t.get());
    lane->setFrame(lane->frameX(), 1000);
    lane->drawingBezierPath = AudioDrawingView::regionPath(QRectF(100, 10, 800, 180));
    c->undoManager()->removeAllActions();
    auto select = [&](double a, double b) {
        lane->selectionPaths = {{QPointF(a, 0), QPointF(b, 0)}};
        c->assignParametersToCurrentSelection();
        endEvent();
    };
    select(600, 250);
    ASSERT_EQ(entriesOf(*t).size(), 1u);
    EXPECT_DOUBLE_EQ(entriesOf(*t)[0].selectionParametersStartPercent, 0.25);
    EXPECT_DOUBLE_EQ(entriesOf(*t)[0].selectionParametersEndPercent, 0.6);
    EXPECT_EQ(entriesOf(*t)[0].selectionParametersReference, QStringLiteral("0.600000 - 0.250000"));

    struct Case {
        const char* name;
        double a, b;
        size_t entries;
    } cases[] = {
        {"0.0005 away replaces", 250.5, 600.5, 1},
        {"0.002 away adds", 252, 602, 2},
        {"left of the region to its right edge is the whole track", 50, 900, 2},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        select(k.a, k.b);
        EXPECT_EQ(entriesOf(*t).size(), k.entries);
    }
    EXPECT_TRUE(lane->selectionPaths.isEmpty());
    EXPECT_EQ(c->undoManager()->undoCount(), 3);
    undo();
    undo();
    EXPECT_DOUBLE_EQ(entriesOf(*t)[0].selectionParametersStartPercent, 0.25);
    redo();
    EXPECT_DOUBLE_EQ(entriesOf(*t)[0].selectionParametersStartPercent, 250.5 / 1000);

    // Removing one while stopped applies what holds the player's time.
    c->removeParametersFromSelectionIndex(t.get(), 0);
    endEvent();
    EXPECT_TRUE(entriesOf(*t).empty());
    undo();
    EXPECT_EQ(entriesOf(*t).size(), 1u);
}

TEST_F(SelectionParametersTest, WindowsAndApplyingOnce) {
    auto t = toneTrack(QStringLiteral("window.wav"), 3.0);
    t->setAnimationStart(MediaTime::fromSeconds(5, 44100));
    t->durationInSeconds = 20;
    t->setValue(EffectInput::Speed, 2);
    t->setCurrentTimeRange(MediaTimeRange(MediaTime::zero(), MediaTime::fromSeconds(20, 44100)));
    t->setValue(EffectInput::Pitch, 700);
    t->setValue(EffectInput::Speed, 1);  // the entry's own speed
    bind(*t, 0.25, 0.5);
    t->setValue(EffectInput::Speed, 2);
    t->setValue(EffectInput::Pitch, 1);

    struct Case {
        const char* name;
        double at;
        bool applied;
    } cases[] = {
        {"the window's start", 7.5, true},   {"inside, applied already", 9, false},
        {"the window's end", 10.0, false},   {"past it", 10.01, false},
        {"entering again", 10.0, true},      {"before it", 7.49, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(renderAt(*t, k.at) != 0, k.applied);
    }
    EXPECT_FLOAT_EQ(t->value(EffectInput::Pitch), 700);
    EXPECT_FLOAT_EQ(t->value(EffectInput::Speed), 2) << "the track keeps its speed";

    // A control moved inside the window: nothing applies during the move,
    // and the entry applies again once it is over.
    EXPECT_TRUE(renderAt(*t, 8));
    c->setPauseUpdateSelectionParameters(true);
    EXPECT_FALSE(renderAt(*t, 8.1));
    c->setPauseUpdateSelectionParameters(false);
    EXPECT_TRUE(renderAt(*t, 8.2));

    // A track trimmed by 4 s at its start: the window starts where the
    // range is drawn, 2 s earlier at speed 2.
    t->setCurrentTimeRange(MediaTimeRange(MediaTime::fromSeconds(4, 44100), MediaTime::fromSeconds(16, 44100)));
    const auto [from, to] = AudioController::selectionWindowOf(*t, 0.25, 0.5);
    EXPECT_DOUBLE_EQ(from, 5.5);
    EXPECT_DOUBLE_EQ(to, 8.0);

    // The main thread's half keeps the speed too.
    t->setValue(EffectInput::Pitch, 1);
    c->updateParametersForSelectionAtTime(MediaTime::fromSeconds(20, 44100), t.get());
    c->updateParametersForSelectionAtTime(MediaTime::fromSeconds(6, 44100), t.get());
    EXPECT_FLOAT_EQ(t->value(EffectInput::Pitch), 700);
    EXPECT_FLOAT_EQ(t->value(EffectInput::Speed), 2);
}

// Through the player: the entry applies when playback enters its window,
// once only while it stays there, again when playback enters anew, and again
// once the user's drag of a control inside the window is over. The render
// runs ahead of the heard time, so an application is seen by its end on the
// main thread: the track names the entry it holds.
TEST_F(SelectionParametersTest, PlaybackAppliesAnEntryOnEnteringAndAfterADrag) {
    auto t = toneTrack(QStringLiteral("playing.wav"), 9.0);
    waitForReadyItem();
    ASSERT_EQ(c->currentSelectedAudio.load(), 0u);
    const double A = t->animationStart().seconds(), D = t->durationInSeconds;
    t->setValue(EffectInput::Pitch, 700);
    bind(*t, 2.0 / D, 7.0 / D);
    const QString entry = entriesOf(*t)[0].selectionParametersReference;
    t->setValue(EffectInput::Pitch, 1);
    auto pitch = [&] { return t->value(EffectInput::Pitch); };
    auto applied = [&] { return testsupport::waitUntil([&] { return t->referencePathTime == entry && pitch() == 700; }); };

    seekAndWait(A + 1.0);
    EXPECT_FLOAT_EQ(pitch(), 1);
    c->playPauseToggle();
    ASSERT_TRUE(applied()) << "entering the window";

    // Inside the window it does not apply again.
    t->setValue(EffectInput::Pitch, 1);
    testsupport::spin(300);
    EXPECT_FLOAT_EQ(pitch(), 1);

    // Back before the window and in again.
    seekAndWait(A + 1.5);
    ASSERT_TRUE(c->shell.isPlaying);
    EXPECT_TRUE(t->referencePathTime.isEmpty());
    EXPECT_FLOAT_EQ(pitch(), 1);
    ASSERT_TRUE(applied()) << "entering again";

    // A drag of the pitch slider: the entry lets go while the handle is
    // held and applies once the drag is over.
    FloatSlider* slider = testsupport::effectSlider(c->ui, "inputPitch");
    ASSERT_TRUE(slider);
    ASSERT_LT(c->currentTime(), A + 5.5) << "time left in the window for the drag";
    float dragged = 0;
    QString heldDuringDrag;
    testsupport::dragSlider(slider, 20, -3, [&] {
        testsupport::spin(200);
        dragged = pitch();
        heldDuringDrag = t->referencePathTime;
    });
    EXPECT_NE(dragged, 700) << "the drag sets the pitch";
    EXPECT_TRUE(heldDuringDrag.isEmpty()) << "nothing applies during the drag";
    ASSERT_TRUE(applied()) << "applied after the drag";
    EXPECT_LT(c->currentTime(), A + 7.0);
    c->playPauseToggle();
    ASSERT_TRUE(testsupport::waitUntil([&] { return !c->shell.isPlaying; }));
}

TEST_F(SelectionParametersTest, TheLaneDrawsTheRangeClippedToItsRegion) {
    auto t = toneTrack(QStringLiteral("draw.wav"), 3.0);
    auto* lane = AudioController::trackLaneOf(t.get());
    lane->setFrame(lane->frameX(), 400);
    lane->drawingBezierPath = AudioDrawingView::regionPath(QRectF(100, 10, 200, 180));
    c->currentSelectedAudio = 0;  // the selected lane draws its ranges red
    const QImage plain = lane->grab().toImage();
    bind(*t, 0.0, 0.5);  // from x 0 (outside the region) to x 200
    const QImage image = lane->grab().toImage();
    // The range tints the lane red: less green where it is drawn.
    auto tinted = [&](int x) {
        const QColor was = plain.pixelColor(x, 100), now = image.pixelColor(x, 100);
        return was.green() - now.green() > 10;
    };
    EXPECT_FALSE(tinted(50)) << "outside the region";
    EXPECT_TRUE(tinted(150));
    EXPECT_FALSE(tinted(250)) << "past the range";
}

TEST_F(SelectionParametersTest, ALowPassEntryCutsTheToneFromItsStart) {
    auto t = toneTrack(QStringLiteral("lowpass.wav"), 6.0, 5000);
    waitForReadyItem();
    ASSERT_GT(renderedLevel(0.5, 0.5), 0);  // the taps are made
    ASSERT_TRUE(t->getProcessorContext());
    const double D = t->durationInSeconds;
    t->setValue(EffectInput::LowPassCutoff, 500);
    bind(*t, 2.0 / D, 4.0 / D);
    t->setValue(EffectInput::LowPassCutoff, 22050);
    t->updateAudioMixState();

    const uint64_t before = realtime::violationCount();
    const double open = renderedLevel(1.0, 0.9), cut = renderedLevel(2.1, 1.5);
    EXPECT_EQ(realtime::violationCount(), before);
    EXPECT_GT(open, 0.05);
    EXPECT_LT(cut, open * 0.1) << "the 5 kHz tone is cut from 2 s on";
    EXPECT_FLOAT_EQ(t->value(EffectInput::LowPassCutoff), 500);

    // Through the player: entering the window while playing applies the
    // entry in the render, and the main thread's timer finishes it.
    t->setValue(EffectInput::LowPassCutoff, 22050);
    t->updateAudioMixState();
    t->rt_referencePathTime = 0;
    t->referencePathTime.clear();
    seekAndWait(1.5);
    const uint64_t playing = realtime::violationCount();
    player->play();
    ASSERT_TRUE(testsupport::waitUntil([&] { return t->referencePathTime == entriesOf(*t)[0].selectionParametersReference; }));
    player->pause();
    EXPECT_EQ(realtime::violationCount(), playing);
    EXPECT_FLOAT_EQ(t->value(EffectInput::LowPassCutoff), 500);
    EXPECT_EQ(t->getProcessorContext()->flag(BuiltInUnit::LowPass).load(), 1);
}

}  // namespace
