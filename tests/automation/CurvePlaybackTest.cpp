// The curves while audio renders: the verdicts read back from a track's
// real units, and the sound of an offline render that follows a curve.
#include "app/TrackListFixture.h"

#include "engine/TrackTapContext.h"
#include "platform/core/Realtime.h"
#include "platform/units/Unit.h"
#include "views/FloatSlider.h"

#include "support/TestSupport.h"

#include <QDir>

#include <thread>

namespace {

class CurvePlaybackTest : public TrackListTest {
protected:
    // Two tracks with their units made (an offline render prepares the taps).
    void SetUp() override {
        TrackListTest::SetUp();
        other = append(writeTone(QStringLiteral("other.wav"), 3.0, 440));
        track = append(writeTone(QStringLiteral("curves.wav"), 3.0, 440));
        ASSERT_GT(heardFrequency(0.5, 0.5), 0);
        ASSERT_TRUE(track->getProcessorContext());
        ASSERT_EQ(c->currentSelectedAudio.load(), 1u);
    }

    void setCurves(MusicFilter& t, TrackCurves curves) {
        c->automation.recordedParameters[t.identifierOfFilter] = std::move(curves);
        c->publishRecordedParametersForFilter(&t);
    }
    std::optional<double> ask(MusicFilter& t, EffectInput input, double seconds, BuiltInUnit unit) {
        return c->updateRecordedParametersForFilter(&t, t.rt_automation().get(), MediaTime::fromSeconds(seconds, 44100),
                                                    input, t.getProcessorContext()->unit(unit).load(), nullptr);
    }
    float parameter(MusicFilter& t, BuiltInUnit unit, units::ParameterID id) {
        float v = -1;
        t.getProcessorContext()->unit(unit).load()->getParameter(id, units::Scope::Global, 0, &v);
        return v;
    }

    void silence(MusicFilter& t) {
        t.setValue(EffectInput::AudioMix, 0);
        t.updateAudioMixState();
    }

    std::shared_ptr<MusicFilter> other, track;
};

constexpr double kRate = 44100;
size_t at(double seconds) { return size_t(seconds * kRate); }

TEST_F(CurvePlaybackTest, VerdictsFromTheRealUnits) {
    struct Case {
        const char* name;
        const char* key;
        KeyPointCurve curve;
        double seconds;
        BuiltInUnit unit;
        std::optional<double> verdict;
        float input;           // the track's input afterwards
        float unitValue;       // parameter 0 of the unit afterwards (-1: not checked)
    } cases[] = {
        {"low-pass to 5", "inputLowPassCutoff", {{0, 5}}, 1, BuiltInUnit::LowPass, 1.0, 5, 10},
        {"high-pass to 0", "inputHighPassCutoff", {{0, 0}}, 1, BuiltInUnit::HighPass, 0.0, 0, 10},
        {"band-pass centre away, bandwidth neutral", "inputBandPassCenterFrequency", {{0, 2000}}, 1,
         BuiltInUnit::BandPass, 1.0, 2000, 2000},
        {"points all negative", "inputLowPassCutoff", {{-2, 300}, {-1, 400}}, 1, BuiltInUnit::LowPass,
         std::nullopt, 22050, -1},
        {"of equal times the later", "inputLowPassCutoff", {{0, 300}, {0.5, 400}, {0.5, 700}}, 1,
         BuiltInUnit::LowPass, 1.0, 700, 700},
        {"before the first point", "inputLowPassCutoff", {{2, 300}}, 1, BuiltInUnit::LowPass, std::nullopt,
         22050, -1},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        c->copyDefaultValuesToDictionary(tracks()[1]);
        track->setValue(EffectInput::HighPassCutoff, 100);
        const auto input = *effectinputs::fromKey(QString::fromLatin1(k.key));
        setCurves(*track, {{QString::fromLatin1(k.key), k.curve}});
        EXPECT_EQ(ask(*track, input, k.seconds, k.unit), k.verdict);
        EXPECT_FLOAT_EQ(track->value(input), k.input);
        if (k.unitValue >= 0) EXPECT_FLOAT_EQ(parameter(*track, k.unit, 0), k.unitValue);
    }
}

TEST_F(CurvePlaybackTest, EachTrackIsEvaluatedInItsOwnStyle) {
    const TrackCurves pitch{{QStringLiteral("inputPitch"), {{0, 0}, {10, 1200}}}};
    other->typeOfRecordedCurve = 1;  // linear, and not selected
    track->typeOfRecordedCurve = 0;  // steps, and selected
    setCurves(*other, pitch);
    setCurves(*track, pitch);
    ask(*other, EffectInput::Pitch, 5, BuiltInUnit::Pitch);
    ask(*track, EffectInput::Pitch, 5, BuiltInUnit::Pitch);
    EXPECT_FLOAT_EQ(other->value(EffectInput::Pitch), 600);
    EXPECT_FLOAT_EQ(track->value(EffectInput::Pitch), 0);
}

TEST_F(CurvePlaybackTest, ACurveIsHeardAndItsEndKeepsTheUnit) {
    // Only the curve's track sounds.
    other->setValue(EffectInput::AudioMix, 0);
    other->updateAudioMixState();
    // A pitch curve up an octave moves the tone to 880 Hz.
    setCurves(*track, {{QStringLiteral("inputPitch"), {{0, 1200}}}});
    EXPECT_NEAR(heardFrequency(0.5, 1.0), 880, 20);
    EXPECT_FLOAT_EQ(track->value(EffectInput::Pitch), 1200);
    // Without the curve, the pitch stays where the curve left it.
    setCurves(*track, {});
    EXPECT_FALSE(track->rt_automation());
    EXPECT_NEAR(heardFrequency(0.5, 1.0), 880, 20);
}

TEST_F(CurvePlaybackTest, ALevelRampFadesTheTrackAlongIt) {
    silence(*other);
    const std::vector<float> steady = renderedLeft();
    ASSERT_GE(steady.size(), at(3.0));
    track->typeOfRecordedCurve = 1;
    setCurves(*track, {{QStringLiteral("inputAudioMix"), {{0, 1}, {3, 0}}}});
    const std::vector<float> ramped = renderedLeft();
    ASSERT_GE(ramped.size(), at(3.0));
    // Every 100 ms the level stands where the ramp is at its middle, within
    // a slice's step of it.
    double previous = 1e9;
    for (double from = 0.1; from < 2.85; from += 0.1) {
        SCOPED_TRACE(from);
        const double full = testsupport::rms(steady.data() + at(from), at(0.1));
        const double heard = testsupport::rms(ramped.data() + at(from), at(0.1));
        EXPECT_NEAR(heard / full, 1.0 - (from + 0.05) / 3.0, 0.02);
        EXPECT_LT(heard, previous);
        previous = heard;
    }
}

TEST_F(CurvePlaybackTest, ALowPassStepCutsTheHighsFromItsTimeOn) {
    silence(*other);
    silence(*track);
    // A low tone and a high one together.
    const QString path = QDir(testsupport::tempDir()).filePath(QStringLiteral("two-tones.wav"));
    testsupport::Signal mixed = testsupport::sine(300, kRate, at(4.0), 0.2);
    const testsupport::Signal high = testsupport::sine(5000, kRate, at(4.0), 0.2);
    for (size_t i = 0; i < mixed.size(); ++i) mixed[i] += high[i];
    ASSERT_TRUE(testsupport::writeWav(path, {mixed, mixed}, int(kRate)));
    auto tones = append(path);
    waitForReadyItem();  // the player's new item is prepared before the offline render shares its taps
    setCurves(*tones, {{QStringLiteral("inputLowPassCutoff"), {{0, 22050}, {2, 500}}}});

    const std::vector<float> left = renderedLeft();
    ASSERT_GE(left.size(), at(3.5));
    auto amplitude = [&](double from, double to, double frequency) {
        return testsupport::amplitudeAt(left.data() + at(from), at(to - from), frequency, kRate);
    };
    struct Window {
        double from, to;
        bool cut;
    } windows[] = {{0.2, 1.0, false}, {1.2, 1.95, false}, {2.1, 2.9, true}, {2.9, 3.5, true}};
    for (const auto& w : windows) {
        SCOPED_TRACE(w.from);
        EXPECT_GT(amplitude(w.from, w.to, 300), 0.15) << "the low tone always passes";
        if (w.cut)
            EXPECT_LT(amplitude(w.from, w.to, 5000), 0.02);
        else
            EXPECT_GT(amplitude(w.from, w.to, 5000), 0.15);
    }
}

TEST_F(CurvePlaybackTest, TheSelectedTracksSlidersFollowItsCurvesOnly) {
    setCurves(*track, {{QStringLiteral("inputPitch"), {{0, 700}}}});
    setCurves(*other, {{QStringLiteral("inputPitch"), {{0, 300}}}});
    c->applyValuesToSelectedAudio(1);
    ask(*other, EffectInput::Pitch, 1, BuiltInUnit::Pitch);
    ask(*track, EffectInput::Pitch, 1, BuiltInUnit::Pitch);
    c->followCurvesOnControls();
    EXPECT_FLOAT_EQ(float(c->ui.sliderPitch->floatValue()), 700);
    EXPECT_EQ(track->rt_inputsSetFromCurves.load(), 0u);
    EXPECT_EQ(other->rt_inputsSetFromCurves.load(), 0u);
}

TEST_F(CurvePlaybackTest, EvaluationAllocatesNothingWhileTheMainThreadRepublishes) {
    TrackCurves curves;
    for (const char* key : {"inputPitch", "inputLowPassCutoff", "inputGain1K", "inputAudioMix"})
        curves[QString::fromLatin1(key)] = {{0, 1}, {1, 2}, {2, 3}};
    setCurves(*track, curves);
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> violations{0};
    std::thread render([&] {
        const auto inputs = {EffectInput::Pitch, EffectInput::LowPassCutoff, EffectInput::Gain1K,
                             EffectInput::AudioMix};
        double t = 0;
        while (!stop.load()) {
            realtime::Scope scope;
            const uint64_t before = realtime::violationCount();
            const auto published = track->rt_automation();
            for (EffectInput input : inputs)
                c->updateRecordedParametersForFilter(track.get(), published.get(), MediaTime::fromSeconds(t, 44100),
                                                     input, nullptr, nullptr);
            violations += realtime::violationCount() - before;
            t = t > 2.5 ? 0 : t + 0.01;
        }
    });
    for (int i = 0; i < 1000; ++i) setCurves(*track, curves);
    stop = true;
    render.join();
    EXPECT_EQ(violations.load(), 0u);
}

}  // namespace
