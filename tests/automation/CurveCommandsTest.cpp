// Track parameter records, the curve conversions, the speed change and the
// curve commands on the real main window with real tracks.
#include "app/TrackListFixture.h"
#include "support/Sliders.h"

#include "engine/TrackTapContext.h"
#include "platform/core/MainQueue.h"
#include "platform/units/FilterUnits.h"
#include "views/FloatSlider.h"

#include <QMenu>
#include <QTest>

#include <cmath>

namespace {

class CurveCommandsTest : public ShownTrackListTest {
protected:
    std::shared_ptr<MusicFilter> toneTrack(const QString& name, double seconds = 3.0) {
        return append(writeTone(name, seconds, 440));
    }
    FloatSlider* sliderOf(const char* key) { return testsupport::effectSlider(c->ui, key); }
    // A track at `A` s whose used range starts `S` s into a source of `D` s, at `speed`.
    static void place(MusicFilter& f, double A, double S, double speed, double D) {
        f.setAnimationStart(MediaTime::fromSeconds(A, 44100));
        f.setCurrentTimeRange(MediaTimeRange(MediaTime::fromSeconds(S, 44100), MediaTime::fromSeconds(D - S, 44100)));
        f.setValue(EffectInput::Speed, float(speed));
        f.durationInSeconds = D;
    }
    TrackCurves& curvesOf(const MusicFilter& f) { return c->automation.recordedParameters[f.identifierOfFilter]; }
};

TEST(CurveConversions, FractionsOfTheSourceAndBack) {
    auto f = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
    f->setDefaults();
    struct Case {
        const char* name;
        double A, S, v, D;
        KeyPoint point;
        double fraction;
        double back;  // the fraction converted back; NAN when it does not return
    } cases[] = {
        {"speed 2, 10 s into its source", 0, 10, 2, 40, {1.0, 0.5}, 12.0 / 40, 1.0},
        {"before the source's beginning clamps", 0, 10, 2, 40, {-6.0, 0.5}, 0, -5.0},
        {"past its end clamps", 0, 10, 2, 40, {30.0, 0.5}, 1, 15.0},
        {"a source of no length", 5, 0, 1, 0, {7.0, 0.5}, 0, 5.0},
        {"a mouse mark becomes a boundary", 0, 0, 1, 10, {4.0, 0.5, KeyPoint::kPlacedWithMouse}, 0.4, 4.0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        f->setAnimationStart(MediaTime::fromSeconds(k.A, 44100));
        f->setCurrentTimeRange(MediaTimeRange(MediaTime::fromSeconds(k.S, 44100), MediaTime::fromSeconds(1, 44100)));
        f->setValue(EffectInput::Speed, float(k.v));
        f->durationInSeconds = k.D;
        const auto fractions = AudioController::modifyInPercentKeyValues({k.point}, *f);
        ASSERT_EQ(fractions.size(), 1u);
        EXPECT_DOUBLE_EQ(fractions[0].time, k.fraction);
        EXPECT_DOUBLE_EQ(fractions[0].value, 0.5);
        EXPECT_EQ(fractions[0].flag, k.point.flag ? std::optional<int32_t>(1) : std::nullopt);
        const auto back = AudioController::modifyInRelativeTimeKeyValues(fractions, *f);
        EXPECT_NEAR(back[0].time, k.back, 1e-9);
    }
}

TEST_F(CurveCommandsTest, ParameterRecordsTravelBetweenTracks) {
    auto a = toneTrack(QStringLiteral("recA.wav"));
    auto b = toneTrack(QStringLiteral("recB.wav"));
    waitForReadyItem();
    a->setValue(EffectInput::Pitch, 300);
    a->listenerParameters = {{1, 1, 3, -6.0f}, {5, 0, 7, 0.25f}};
    a->nBandEQNumberOfBandsProperty = 16;
    a->nBandEQNumberOfBandsPropertySize = 4;
    b->listenerParameters = {{5, 1, 7, 0.9f}, {12, 1, 2, 0.5f}};
    b->nBandEQNumberOfBandsProperty = 8;

    // Built from the unit switches: both graphic-equaliser and distortion
    // records carry the switch the track shows.
    a->updateGraphicBandEQEnabled(true);
    a->updateDistortionEnabled(false);
    const auto array = c->listenerAudioUnitsParametersArray(a.get(), false);
    ASSERT_EQ(array.size(), 2u);
    for (const auto& r : array) EXPECT_EQ(r.filterAudioUnitNBandProp, 16u);
    EXPECT_EQ(array[0].filterAudioUnitEnabled, 1);

    TrackParametersRecord record = c->parametersDictionaryAtIndex(0);
    ASSERT_TRUE(record.filterAudioUnits);
    EXPECT_EQ(record.valueForKey(QStringLiteral("inputPitch")), 300.0f);
    record.filterAudioUnits->at(0).filterAudioUnitNBandProp = 16;  // the reader takes the first record's count
    record.filterAudioUnits->at(1).filterAudioUnitNBandProp = 99;

    struct Case {
        const char* name;
        std::function<void()> apply;
        size_t snapshots;
        float distortion;  // value of (5, 7)
        uint32_t bands;
        float pitch;
    } cases[] = {
        {"no array changes nothing", [&] { c->updateListenerAudioUnitsFromArray(nullptr, b.get()); }, 2, 0.9f, 8, 1},
        {"an empty array keeps the band count",
         [&] {
             const std::vector<ListenerParameterRecord> none;
             c->updateListenerAudioUnitsFromArray(&none, b.get());
         },
         2, 0.9f, 8, 1},
        {"another track's values only", [&] { c->copyFilterValuesFromDictionary(tracks()[0], tracks()[1]); }, 2, 0.9f,
         8, 300},
        {"the record merges and appends", [&] { c->copyFilterValuesFromDictionary(record, tracks()[1]); }, 3, 0.25f,
         16, 300},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        k.apply();
        EXPECT_EQ(b->listenerParameters.size(), k.snapshots);
        EXPECT_FLOAT_EQ(b->listenerParameters[0].value, k.distortion);
        EXPECT_EQ(b->nBandEQNumberOfBandsProperty, k.bands);
        EXPECT_FLOAT_EQ(b->value(EffectInput::Pitch), k.pitch);
    }
    // The unnamed snapshot kept its value; the switches follow the records.
    EXPECT_FLOAT_EQ(b->listenerParameters[1].value, 0.5f);
    EXPECT_TRUE(b->get31BandEQEnabled());
    EXPECT_FALSE(b->getDistortionEnabled());
    EXPECT_EQ(b->tempAudioUnitsArray, *record.filterAudioUnits);
}

// A track with the 31-band equaliser switched on and two bands moved, and a
// plain track of the same sound: once the first track's parameters record is
// applied to the second, both render alike, and unlike the dry sound.
TEST_F(CurveCommandsTest, AnAppliedRecordRendersLikeItsTrack) {
    const double frequencies[] = {250, 1000, 4000};
    testsupport::Signal chord(size_t(3 * 44100), 0.0f);
    for (double hz : frequencies) {
        const auto tone = testsupport::sine(hz, 44100, int64_t(chord.size()), 0.2);
        for (size_t i = 0; i < chord.size(); ++i) chord[i] += tone[i];
    }
    const QString path = testsupport::tempDir() + QStringLiteral("/chord.wav");
    ASSERT_TRUE(testsupport::writeWav(path, {chord, chord}, 44100));
    auto a = append(path);
    auto b = append(path);
    waitForReadyItem();
    ASSERT_FALSE(renderedLeft().empty());  // the taps and their units are made
    units::Unit* graphic = a->getAudioUnitForType(1);
    ASSERT_TRUE(graphic);
    graphic->setParameter(units::GraphicEQUnit::kNumberOfBands, 1);  // 31 bands
    graphic->setParameter(17, -12);                                  // 1 kHz, only in the 31-band layout
    graphic->setParameter(23, 6);                                    // 4 kHz
    a->updateGraphicBandEQEnabled(true);
    a->updateListenerParametersFromAudioUnits();

    // The amplitude of each tone over one second of a track's own render.
    auto levels = [&](const MusicFilter& f) {
        const std::vector<float> left = renderedLeft(&f);
        const size_t from = size_t((f.animationStart().seconds() + 1.0) * 44100), n = 44100;
        std::vector<double> out;
        if (left.size() < from + n) return out;
        for (double hz : frequencies) out.push_back(testsupport::dB(testsupport::amplitudeAt(left.data() + from, n, hz, 44100)));
        return out;
    };
    const auto dry = levels(*b);
    const auto wet = levels(*a);
    ASSERT_EQ(dry.size(), 3u);
    ASSERT_EQ(wet.size(), 3u);
    EXPECT_NEAR(wet[0], dry[0], 1.0);
    EXPECT_LT(wet[1], dry[1] - 9) << "the 1 kHz band is cut";
    EXPECT_GT(wet[2], dry[2] + 4) << "the 4 kHz band is raised";

    c->copyFilterValuesFromDictionary(c->parametersDictionaryAtIndex(0), tracks()[1]);
    b->updateListenerParametersToAudioUnits();
    b->updateAudioMixState();
    EXPECT_TRUE(b->get31BandEQEnabled());
    const auto applied = levels(*b);
    ASSERT_EQ(applied.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(applied[i], wet[i], 0.1) << frequencies[i] << " Hz";
}

TEST_F(CurveCommandsTest, SpeedChangeScalesTheLaneKeyPointsAndNotes) {
    auto t = toneTrack(QStringLiteral("speed.wav"), 4.0);
    waitForReadyItem();
    auto* lane = AudioController::trackLaneOf(t.get());
    ASSERT_TRUE(lane);
    const double A = t->animationStart().seconds();
    const int screenStart = lane->x() + int(lane->drawingBezierPath.boundingRect().x());
    const double W = lane->width();
    curvesOf(*t)[QStringLiteral("inputPitch")] = {{A + 2.0, 100}, {A + 4.0, 200, 1}};
    MidiNoteRecord note;
    note.midiCommandTime = MediaTime::fromSeconds(4.0, 44100);
    t->midiArray = {note};

    const TrackFrameUndoRecord before = c->trackFrameUndoRecordOf(t.get());
    auto speed = [&](float v, const TrackFrameUndoRecord* r) {
        t->setValue(EffectInput::Speed, v);
        c->updateFilterSpeed(t.get(), r);
        endEvent();
    };
    speed(2, nullptr);
    EXPECT_NEAR(lane->width(), W / 2, 1);
    EXPECT_EQ(lane->x() + int(lane->drawingBezierPath.boundingRect().x()), screenStart);
    const auto& pitch = curvesOf(*t)[QStringLiteral("inputPitch")];
    EXPECT_NEAR(pitch[0].time - A, 1.0, 0.01);
    EXPECT_NEAR(pitch[1].time - A, 2.0, 0.02);
    EXPECT_NEAR(t->midiArray[0].midiCommandTime->seconds(), 2.0, 0.01);

    // The notes follow the lanes' ratio, not the speed itself: 2 then 4 and
    // back by the undo record.
    const TrackFrameUndoRecord atTwo = c->trackFrameUndoRecordOf(t.get());
    speed(4, nullptr);
    EXPECT_NEAR(t->midiArray[0].midiCommandTime->seconds(), 1.0, 0.01);
    speed(2, &atTwo);
    EXPECT_NEAR(t->midiArray[0].midiCommandTime->seconds(), 2.0, 0.02);
    speed(1, &before);
    EXPECT_EQ(lane->width(), int(W));
    EXPECT_DOUBLE_EQ(t->audioOriginInPercent, before.audioUndoPercentOrigin);
    EXPECT_DOUBLE_EQ(t->audioDurationInPercent, before.audioUndoPercentDuration);
    EXPECT_NEAR(t->midiArray[0].midiCommandTime->seconds(), 4.0, 0.02);
    EXPECT_NEAR(pitch[1].time - A, 4.0, 0.04);
}

// The user's way to a speed change: a drag of the speed slider, one undo
// step that gives the lane its frame and the curve its key points back, and
// a redo that takes them again. In a composition of ten minutes a track of
// 4 s has a lane a few pixels wide, which a fast speed rounds to nothing:
// its key points must still scale by the speeds and come back.
TEST_F(CurveCommandsTest, ASpeedSliderDragIsUndoneWithItsLaneAndKeyPoints) {
    auto t = toneTrack(QStringLiteral("sliderspeed.wav"), 4.0);
    waitForReadyItem();
    auto* lane = AudioController::trackLaneOf(t.get());
    ASSERT_TRUE(lane);
    const double A = t->animationStart().seconds();
    curvesOf(*t)[QStringLiteral("inputPitch")] = {{A + 1.0, 100}, {A + 3.0, 200, 1}};
    c->automation.tempRecorderParameters = automation::copyRecordedDictionary(c->automation.recordedParameters);
    struct Frame {
        QRect lane;
        QRectF region;
        KeyPointCurve pitch;
        float speed;
    };
    auto frame = [&] {
        return Frame{lane->geometry(), lane->drawingBezierPath.boundingRect(), curvesOf(*t)[QStringLiteral("inputPitch")],
                     t->value(EffectInput::Speed)};
    };
    // Until the deferred steps have run and the rebuilt player is ready.
    auto settle = [&] {
        ASSERT_TRUE(testsupport::waitUntil([&] {
            return MainQueue::instance().pendingCount() == 0 && !c->shell.audioControllerIsWorking;
        }));
        endEvent();
    };
    auto expectPitchTimes = [&](const Frame& f, double a, double b) {
        ASSERT_EQ(f.pitch.size(), 2u);
        EXPECT_NEAR(f.pitch[0].time - A, a, 0.01);
        EXPECT_NEAR(f.pitch[1].time - A, b, 0.01);
        EXPECT_EQ(f.pitch[0].value, 100);
        EXPECT_EQ(f.pitch[1].flag, KeyPoint::kRecordingBoundary);
    };
    const Frame before = frame();
    ASSERT_LT(before.lane.width(), 20) << "a short lane";

    struct Case {
        const char* name;
        int moves, step;
    } cases[] = {{"a little faster", 2, 2}, {"so fast the lane rounds to nothing", 10, 4}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        c->undoManager()->removeAllActions();
        testsupport::dragSlider(c->ui.sliderSpeed, k.moves, k.step);
        settle();
        const Frame faster = frame();
        ASSERT_GT(faster.speed, 1.0f);
        EXPECT_LT(faster.lane.width(), before.lane.width());
        expectPitchTimes(faster, 1.0 / faster.speed, 3.0 / faster.speed);
        EXPECT_EQ(c->undoManager()->undoCount(), 1) << "the drag is one undo step";

        c->ui.undoAction->trigger();
        settle();
        const Frame undone = frame();
        EXPECT_FLOAT_EQ(undone.speed, 1.0f);
        EXPECT_FLOAT_EQ(float(c->ui.sliderSpeed->floatValue()), 1.0f);
        EXPECT_EQ(undone.lane, before.lane);
        EXPECT_EQ(undone.region, before.region);
        expectPitchTimes(undone, 1.0, 3.0);

        c->ui.redoAction->trigger();
        settle();
        EXPECT_FLOAT_EQ(t->value(EffectInput::Speed), faster.speed);
        EXPECT_EQ(lane->geometry(), faster.lane);
        expectPitchTimes(frame(), 1.0 / faster.speed, 3.0 / faster.speed);
        c->ui.undoAction->trigger();
        settle();
    }
}

TEST_F(CurveCommandsTest, ThePlayedPartOfTheSource) {
    struct Case {
        const char* name;
        double seconds;       // the source
        double origin, duration;  // the visible fractions before
        double start, length;     // the played part after doubling the speed
    } cases[] = {
        {"the whole source", 4.0, 0, 1, 0, 4.0},
        {"at least a second", 4.0, 0, 0.1, 0, 1.0},
        {"no later than a second before the end", 4.0, 0.9, 0.1, 3.0, 1.0},
        {"a source under a second starts at its beginning", 0.5, 0, 1, 0, 0.5},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        auto t = toneTrack(QStringLiteral("part%1.wav").arg(k.name[2]), k.seconds);
        waitForReadyItem();
        auto* lane = AudioController::trackLaneOf(t.get());
        const QRectF o = lane->drawingBezierPath.boundingRect();
        lane->drawingBezierPath = AudioDrawingView::regionPath(
            QRectF(k.origin * lane->width(), o.y(), k.duration * lane->width(), o.height()));
        t->audioOriginInPercent = k.origin;
        t->audioDurationInPercent = k.duration;
        t->setValue(EffectInput::Speed, 2);
        c->updateFilterSpeed(t.get(), nullptr);
        endEvent();
        EXPECT_NEAR(t->currentTimeRange().start.seconds(), k.start, 0.02);
        EXPECT_NEAR(t->currentTimeRange().duration.seconds(), k.length, 0.02);
        c->removeAudioFileAtIndex(0);
        endEvent();
    }
}

TEST_F(CurveCommandsTest, AddResetRemoveAndCopy) {
    auto t = toneTrack(QStringLiteral("cmd.wav"));
    waitForReadyItem();
    c->undoManager()->removeAllActions();
    sliderOf("inputAudioMix")->setFloatValue(0.8f);
    c->ui.textFieldAudioMix->setFloatValue(0.8f);
    c->addRecordAudioMixCurve();
    endEvent();
    EXPECT_EQ(t->isRecordingParameters, 1u);
    EXPECT_EQ(t->showParameterCurve, 1u);
    EXPECT_EQ(t->typeOfRecordedCurve, 1u);
    const auto mix = curvesOf(*t)[QStringLiteral("inputAudioMix")];
    ASSERT_EQ(mix.size(), 2u);
    EXPECT_NEAR(mix[0].time, t->animationStart().seconds(), 0.01);
    EXPECT_NEAR(mix[1].time, t->animationEnd().seconds(), 0.01);
    for (const auto& p : mix) {
        EXPECT_FLOAT_EQ(float(p.value), 0.8f);
        EXPECT_EQ(p.flag, KeyPoint::kRecordingBoundary);
    }
    EXPECT_EQ(c->undoManager()->undoCount(), 1);
    undo();
    EXPECT_FALSE(c->automation.recordedParameters.count(t->identifierOfFilter) &&
                 curvesOf(*t).count(QStringLiteral("inputAudioMix")));

    // Reset keeps the times; a mouse mark comes back a boundary.
    curvesOf(*t)[QStringLiteral("inputLowShelfGain")] = {{1, 6, 2}, {2, 3}};
    curvesOf(*t)[QStringLiteral("inputLowShelfCutoff")] = {{1, 300}};
    c->undoManager()->removeAllActions();
    c->resetRecordBassBoostCurve();
    EXPECT_EQ(curvesOf(*t)[QStringLiteral("inputLowShelfGain")],
              (KeyPointCurve{{1, c->defaultValue("inputLowShelfGain"), 1}, {2, c->defaultValue("inputLowShelfGain"), {}}}));
    EXPECT_EQ(curvesOf(*t)[QStringLiteral("inputLowShelfCutoff")],
              (KeyPointCurve{{1, c->defaultValue("inputLowShelfCutoff"), {}}}));
    EXPECT_EQ(c->undoManager()->undoCount(), 1);
    undo();
    EXPECT_DOUBLE_EQ(curvesOf(*t)[QStringLiteral("inputLowShelfGain")][0].value, 6);

    // Remove and copy with neither curve leave the store, the undo history
    // and the clipboard alone.
    c->pasteboardItems = CurvePasteboardRecord{{{{{0.5, 1}}, QStringLiteral("inputPitch")}}, 0};
    const auto clipboard = c->pasteboardItems;
    const int steps = c->undoManager()->undoCount();
    c->removeRecordReverbAmbienceCurve();
    c->copyRecordReverbAmbienceCurve();
    EXPECT_EQ(c->undoManager()->undoCount(), steps);
    EXPECT_EQ(c->pasteboardItems, clipboard);

    // A two-key effect with one curve copies in the one-key form.
    curvesOf(*t)[QStringLiteral("inputLowPassCutoff")] = {{1, 500}};
    c->copyRecordLowPassCurve();
    const auto& copied = std::get<CurvePasteboardRecord>(*c->pasteboardItems);
    ASSERT_EQ(copied.curves.size(), 1u);
    EXPECT_EQ(copied.curves[0].key, QStringLiteral("inputLowPassCutoff"));
}

TEST_F(CurveCommandsTest, PasteLandsAtTheSamePlaceOfTheSource) {
    auto from = toneTrack(QStringLiteral("from.wav"));
    auto to = toneTrack(QStringLiteral("to.wav"));
    waitForReadyItem();
    place(*from, 10, 4, 2, 40);
    from->typeOfRecordedCurve = 1;
    c->currentSelectedAudio = 0;
    curvesOf(*from)[QStringLiteral("inputPitch")] = {{6, 100}, {8, 200}, {9, 300, 1}};
    c->copyRecordPitchCurve();
    place(*to, 30, 0, 1, 40);
    curvesOf(*to)[QStringLiteral("inputAudioMix")] = {{31, 0.5}};
    c->automation.tempRecorderParameters = automation::copyRecordedDictionary(c->automation.recordedParameters);
    c->currentSelectedAudio = 1;
    c->undoManager()->removeAllActions();
    c->pasteAudioFileFrom();
    endEvent();
    const auto pitch = curvesOf(*to)[QStringLiteral("inputPitch")];
    ASSERT_EQ(pitch.size(), 3u);
    EXPECT_DOUBLE_EQ(pitch[0].time, 30);  // before the source's start: clamped to it
    EXPECT_DOUBLE_EQ(pitch[1].time, 30);
    EXPECT_DOUBLE_EQ(pitch[2].time, 32);
    EXPECT_EQ(pitch[2].flag, KeyPoint::kRecordingBoundary);
    EXPECT_TRUE(curvesOf(*to).count(QStringLiteral("inputAudioMix")));
    EXPECT_EQ(to->typeOfRecordedCurve, 1u);
    EXPECT_EQ(to->showParameterCurve, 4u);
    undo();
    EXPECT_FALSE(curvesOf(*to).count(QStringLiteral("inputPitch")));
    redo();
    EXPECT_TRUE(curvesOf(*to).count(QStringLiteral("inputPitch")));
}

// Undoing a pasted curve gives the track back the value the curve took
// from it (heard so, too), its curve type and its shown curve; redo and
// undo keep alternating.
TEST_F(CurveCommandsTest, UndoOfAPastedCurveGivesTheTrackItsValuesBack) {
    const QString mix = QStringLiteral("inputAudioMix");
    auto from = toneTrack(QStringLiteral("levels.wav"));
    auto to = toneTrack(QStringLiteral("muted.wav"));
    waitForReadyItem();
    const double A = from->animationStart().seconds();
    curvesOf(*from)[mix] = {{A, 0.24}, {A + 3, 0.24}};
    c->automation.tempRecorderParameters = automation::copyRecordedDictionary(c->automation.recordedParameters);
    // Copied with another curve type than the target's.
    const uint64_t type = to->typeOfRecordedCurve, shown = to->showParameterCurve;
    from->typeOfRecordedCurve = type == 0 ? 1 : 0;
    c->currentSelectedAudio = 0;
    c->copyRecordAudioMixCurve();

    // The target is muted through its level, as the lane's mute does it.
    c->currentSelectedAudio = 1;
    c->applyValuesToSelectedAudio(1);
    c->muteTrackFrom(1);
    ASSERT_TRUE(testsupport::waitUntil([] { return MainQueue::instance().pendingCount() == 0; }));
    endEvent();
    ASSERT_FLOAT_EQ(to->value(EffectInput::AudioMix), 0.0f);
    c->undoManager()->removeAllActions();

    auto heard = [&] {
        float peak = 0;
        for (float x : renderedLeft(to.get())) peak = std::max(peak, std::fabs(x));
        return peak;
    };
    struct Step {
        const char* name;
        std::function<void()> act;
        float level;
        bool curve;
    } steps[] = {
        {"the paste", [&] { c->pasteAudioFileFrom(); }, 0.24f, true},
        {"its undo", [&] { undo(); }, 0.0f, false},
        {"the redo", [&] { redo(); }, 0.24f, true},
        {"the undo again", [&] { undo(); }, 0.0f, false},
    };
    for (const Step& k : steps) {
        SCOPED_TRACE(k.name);
        c->currentSelectedAudio = 1;
        k.act();
        endEvent();
        EXPECT_FLOAT_EQ(to->value(EffectInput::AudioMix), k.level);
        EXPECT_FLOAT_EQ(float(sliderOf("inputAudioMix")->floatValue()), k.level);
        EXPECT_EQ(curvesOf(*to).count(mix) != 0, k.curve);
        EXPECT_EQ(to->typeOfRecordedCurve, k.curve ? from->typeOfRecordedCurve : type);
        EXPECT_EQ(to->showParameterCurve, k.curve ? 1u : shown);
        // A quarter-scale tone at 0.24: about 0.06; muted: nothing.
        if (k.curve) EXPECT_NEAR(heard(), 0.24f * 8000 / 32767, 0.01);
        else EXPECT_LT(heard(), 1e-4f);
    }
}

TEST_F(CurveCommandsTest, StepThenLinearAtOneSecond) {
    auto t = toneTrack(QStringLiteral("style.wav"));
    waitForReadyItem();
    const double A = t->animationStart().seconds();
    curvesOf(*t)[QStringLiteral("inputReverbWetDryMix")] = {{A, 0.0}, {A + 2, 1.0}};
    seekAndWait(A + 1);
    c->sustainCurve();
    EXPECT_FLOAT_EQ(t->value(EffectInput::ReverbWetDryMix), 0.0f);
    c->linearRampCurve();
    EXPECT_FLOAT_EQ(t->value(EffectInput::ReverbWetDryMix), 0.5f);
}

TEST_F(CurveCommandsTest, TheTrackMenuOffersTheCurveEntries) {
    auto t = toneTrack(QStringLiteral("menu.wav"));
    waitForReadyItem();
    // Only recorded (flagged) points are listed under "Pitch Key Points".
    curvesOf(*t)[QStringLiteral("inputPitch")] = {{0.5, 100, 1}, {1, 200, 1}};
    t->showParameterCurve = 4;
    auto owned = c->trackMenuForIndex(0);
    ASSERT_TRUE(owned);
    QMenu& menu = *owned;
    QStringList titles;
    std::function<void(QMenu*)> walk = [&](QMenu* m) {
        for (QAction* a : m->actions()) {
            titles << QString(a->text()).replace(QLatin1String("&&"), QLatin1String("&"));
            if (a->menu()) walk(a->menu());
        }
    };
    walk(&menu);
    for (const char* title : {"Record parameters", "Step curve - Sustain", "Show No curve", "Show Pitch curve",
                              "Pitch Key Points", "Copy Pitch curve", "Add Audio Mix curve", "Add Band Pass curve",
                              "Add Reverb & Ambience curve"})
        EXPECT_TRUE(titles.contains(QString::fromUtf8(title))) << title;
    EXPECT_FALSE(titles.contains(QStringLiteral("Add Pitch curve")));
    EXPECT_FALSE(titles.contains(QStringLiteral("Paste recorded curve(s)")));
}

}  // namespace
