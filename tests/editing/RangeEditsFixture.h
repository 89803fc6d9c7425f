#pragma once

// Range edits on real tracks: a generated 20 s "staircase" whose pitch steps
// up every second (step i plays 200 + 100 × i Hz), imported as the user does,
// and the composition's mix rendered offline and read back by FFT in 100 ms
// windows.
#include "app/TrackListFixture.h"

#include "editing/TimeSelection.h"
#include "support/Signals.h"

#include <cmath>

class RangeEditsTest : public TrackListTest {
protected:
    static constexpr double kStepSeconds = 1.0;
    static double stepFrequency(int step) { return 200.0 + 100.0 * step; }

    static QString writeStaircase(const QString& name, int steps = 20, int rate = 44100) {
        testsupport::Signal s;
        double phase = 0;
        for (int i = 0; i < steps; ++i) {
            const double f = stepFrequency(i);
            for (int n = 0; n < rate; ++n) {
                s.push_back(float(0.25 * std::sin(phase)));
                phase += 2 * M_PI * f / rate;
            }
        }
        const QString path = testsupport::tempDir() + QLatin1Char('/') + name;
        EXPECT_TRUE(testsupport::writeWav(path, {s, s}, rate, testsupport::SampleFormat::Pcm16));
        return path;
    }

    // A composition of `seconds` holding the staircase.
    std::shared_ptr<MusicFilter> staircaseComposition(double seconds = 20) {
        setLength(QStringLiteral("0"), QString::number(seconds));
        auto t = append(writeStaircase(QStringLiteral("staircase.wav")));
        settle();
        return t;
    }

    // No edit pending: the player has its new item, sought and ready.
    void settle() {
        endEvent();
        ASSERT_TRUE(testsupport::waitUntil(
            [&] {
                auto* item = player->currentItem();
                return item && item->status() == PlayerItem::Status::ReadyToPlay &&
                       !c->shell.audioControllerIsWorking && c->shell.seekTime < 0;
            },
            15000));
        endEvent();
    }

    // The left channel of the composition rendered offline without the
    // tracks' taps (the player's render may run them at the same time, and
    // these edits change the audio, not the effects), so that two renders of
    // the same edits agree sample for sample.
    std::vector<float> renderedLeft() {
        std::vector<float> left;
        auto reader = AssetReader::create(c->currentComposition->copy());
        if (!reader) return left;
        std::vector<int32_t> ids;
        for (const auto* t : c->currentComposition->tracks()) ids.push_back(t->trackID());
        auto out = std::make_shared<AssetReaderAudioMixOutput>(ids, AssetReaderAudioMixOutput::Settings{44100, 2});
        reader->addOutput(out);
        if (!reader->startReading()) return left;
        while (auto b = out->copyNextSampleBuffer()) left.insert(left.end(), b->left.begin(), b->left.end());
        return left;
    }

    // The lane x of `seconds` of the track's audio.
    double laneX(size_t i, double seconds) {
        return seconds / tracks()[i].audioFilter->durationInSeconds * lane(i)->frameWidth();
    }
    void select(size_t i, double from, double to) {
        lane(i)->selectionPaths = {SelectionPathRecord{QPointF(laneX(i, from), 5), QPointF(laneX(i, to), 5)}};
    }

    // The step heard in each 100 ms window of [from, to) of the render; -1
    // for silence, -2 for a window past its end.
    static std::vector<int> stepsHeard(const std::vector<float>& left, double from, double to) {
        std::vector<int> steps;
        const size_t n = 4410;
        for (double t = from; t + 0.1 <= to + 1e-9; t += 0.1) {
            const size_t a = size_t(std::lround(t * 44100));
            if (a + n > left.size()) {
                steps.push_back(-2);
                continue;
            }
            if (testsupport::rms(left.data() + a, n) < 0.01) {
                steps.push_back(-1);
                continue;
            }
            const double f = testsupport::peakFrequency(left.data() + a, n, 44100);
            steps.push_back(int(std::lround((f - 200.0) / 100.0)));
        }
        return steps;
    }

    // Expects `steps` in turn, each lasting `each` seconds, from `from`; the
    // windows within 0.1 s of a change are not judged.
    static void expectSteps(const std::vector<float>& left, double from, double each, const std::vector<int>& steps) {
        for (size_t j = 0; j < steps.size(); ++j) {
            const double a = from + j * each + 0.1, b = from + (j + 1) * each - 0.1;
            SCOPED_TRACE("stretch from " + std::to_string(from + j * each) + " s");
            for (int heard : stepsHeard(left, a, b)) EXPECT_EQ(heard, steps[j]);
        }
    }

    static std::vector<int> range(int first, int last) {
        std::vector<int> v;
        for (int i = first; i <= last; ++i) v.push_back(i);
        return v;
    }

    // Two renders sample for sample.
    static void expectSameRender(const std::vector<float>& a, const std::vector<float>& b) {
        ASSERT_EQ(a.size(), b.size());
        size_t differing = 0, first = a.size(), last = 0;
        float most = 0;
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i] != b[i]) {
                if (!differing) first = i;
                last = i;
                most = std::max(most, std::abs(a[i] - b[i]));
                ++differing;
            }
        EXPECT_EQ(differing, 0u) << "from " << first / 44100.0 << " s to " << last / 44100.0 << " s, by up to " << most;
    }

    const SelectionClipboardRecord* clipboardSelection() {
        return c->pasteboardItems ? std::get_if<SelectionClipboardRecord>(&*c->pasteboardItems) : nullptr;
    }
};
