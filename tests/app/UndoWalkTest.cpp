// A seeded random walk over the track-list commands, then undo all the way
// back and redo all the way forward: after every step the whole track list
// is what it was when that step was first taken.
//
// Three seeds run with the suite; TREVALUNE_UNDO_WALK_SEEDS=N walks seeds 1
// to N one after another (the `soak-undo-walk` target runs 40).
#include "TrackListFixture.h"
#include "platform/units/Unit.h"

#include <QFileInfo>
#include <QtGlobal>

#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>

namespace {

// What the user can see of one track and would expect undo to give back.
struct TrackState {
    const MusicFilter* track = nullptr;  // identity: undo brings back the same track
    QString file;
    double seconds = 0;
    double originPercent = 0, durationPercent = 0, ratio = 0;
    MediaTimeRange range;
    std::vector<std::pair<QString, double>> values;
    std::vector<std::tuple<uint64_t, uint32_t, float>> unitParameters;
    std::vector<bool> unitsEnabled;
    QStringList plugins;
};

struct ListState {
    MediaTime length;
    int compositionTracks = 0;
    std::vector<TrackState> tracks;
};

bool near(double a, double b) { return std::abs(a - b) <= 1e-9 * std::max(1.0, std::abs(a)); }

// The differences between two states, empty when they match. The file and
// lengths of tracks in `fileUnknown` are not compared.
std::string differences(const ListState& want, const ListState& got,
                        const std::set<const MusicFilter*>& fileUnknown) {
    std::ostringstream out;
    if (want.length != got.length)
        out << "length " << want.length.seconds() << " != " << got.length.seconds() << "\n";
    if (got.compositionTracks != int(got.tracks.size()))
        out << "composition holds " << got.compositionTracks << " tracks for " << got.tracks.size() << " rows\n";
    if (want.tracks.size() != got.tracks.size()) {
        out << "tracks " << want.tracks.size() << " != " << got.tracks.size() << "\n";
        return out.str();
    }
    for (size_t i = 0; i < want.tracks.size(); ++i) {
        const TrackState &w = want.tracks[i], &g = got.tracks[i];
        auto say = [&](const char* what) { out << "track " << i << ": " << what << "\n"; };
        if (w.track != g.track) {
            say("another track");
            continue;
        }
        if (!fileUnknown.count(w.track)) {
            if (w.file != g.file) say(qPrintable(QStringLiteral("file %1 != %2").arg(w.file, g.file)));
            if (!near(w.seconds, g.seconds)) say("file length");
            if (!near(w.originPercent, g.originPercent) || !near(w.durationPercent, g.durationPercent))
                say("part of the file");
            if (!near(w.ratio, g.ratio)) say("ratio to the composition");
            if (w.range != g.range) say("time range");
        }
        if (w.values != g.values) say("effect values");
        if (w.unitParameters != g.unitParameters) {
            out << "track " << i << ": unit parameters (" << w.unitParameters.size() << " recorded, "
                << g.unitParameters.size() << " now)";
            for (size_t k = 0; k < std::min(w.unitParameters.size(), g.unitParameters.size()); ++k)
                if (w.unitParameters[k] != g.unitParameters[k]) {
                    const auto& [wt, wp, wv] = w.unitParameters[k];
                    const auto& [gt, gp, gv] = g.unitParameters[k];
                    out << ", first at " << k << ": " << wt << "/" << wp << "=" << wv << " now " << gt << "/" << gp
                        << "=" << gv;
                    break;
                }
            out << "\n";
        }
        if (w.unitsEnabled != g.unitsEnabled) say("units switched on");
        if (w.plugins != g.plugins) say("plug-ins");
    }
    return out.str();
}

class UndoWalkTest : public TrackListTest {
protected:
    ListState state() {
        ListState s;
        s.length = c->shell.compositionDuration;
        s.compositionTracks = c->currentComposition->trackCount();
        for (const TrackRecord& r : tracks()) {
            const MusicFilter& f = *r.audioFilter;
            TrackState t;
            t.track = &f;
            t.file = r.audioURL.fileName();
            t.seconds = f.durationInSeconds;
            t.originPercent = f.audioOriginInPercent;
            t.durationPercent = f.audioDurationInPercent;
            t.ratio = f.trackRatio;
            t.range = f.currentTimeRange();
            for (const QString& key : f.inputKeys()) t.values.emplace_back(key, f.valueForKey(key).toDouble());
            // The units as they play: which are on, and the parameters of
            // those (the track's recorded list of their parameters is a
            // snapshot taken whenever a tap is prepared, and a unit that is
            // off may keep parameters its inputs have not reached).
            for (uint64_t type = 0; type < 14; ++type) {
                const bool on = f.getAudioUnitEnabledForType(type);
                t.unitsEnabled.push_back(on);
                if (const units::Unit* unit = on ? f.getAudioUnitForType(type) : nullptr)
                    for (units::ParameterID id : unit->parameterList())
                        t.unitParameters.emplace_back(type, id, unit->parameter(id));
            }
            for (const PluginRecord& p : f.pluginsArray()) t.plugins << p.audioUnitName;
            s.tracks.push_back(std::move(t));
        }
        return s;
    }

    // Waits until every track has its media and the player holds them all.
    void settle() {
        endEvent();
        ASSERT_TRUE(testsupport::waitUntil([&] {
            for (const TrackRecord& r : tracks())
                if (!r.audioFilter->hasPlayerAsset()) return false;
            return c->imports.tracksReading == 0;
        }, 20000));
        if (!tracks().empty()) waitForReadyItem();
    }

    void walk(unsigned seed, int steps) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        std::mt19937 random(seed);
        auto below = [&](size_t n) { return size_t(std::uniform_int_distribution<size_t>(0, n - 1)(random)); };
        const QString files[] = {writeTone("one.wav", 1, 440), writeTone("two.wav", 2, 550, 48000),
                                 writeTone("three.wav", 3, 660), writeTone("five.wav", 5, 770, 22050)};
        enum Command { Import, Duplicate, Replace, Remove, Length, RemoveAll };
        // Weights: the list grows more often than it shrinks.
        const std::discrete_distribution<int> pick({6, 3, 2, 3, 2, 1});
        setLength("0", "4");

        // states[k]: the list when the undo stack held k groups.
        std::vector<std::optional<ListState>> states(size_t(c->undoManager()->undoCount()) + 1);
        states.back() = state();
        const size_t start = states.size() - 1;
        // The undo depth at which each track last got a new file: replacing
        // a file registers no undo, so shallower states keep the newer file.
        std::map<const MusicFilter*, size_t> replacedAt;
        std::vector<std::string> stepAt(states.size());  // the step that reached each depth

        for (int step = 0; step < steps; ++step) {
            auto command = Command(std::discrete_distribution<int>(pick)(random));
            const size_t n = tracks().size();
            if (n == 0 && command != Length) command = Import;
            // A short list keeps every step's player rebuild quick.
            if (n >= 8 && (command == Import || command == Duplicate)) command = Remove;
            std::ostringstream what;
            const MusicFilter* replaced = nullptr;
            switch (command) {
            case Import: {
                const QString& file = files[below(4)];
                what << "import " << QFileInfo(file).fileName().toStdString();
                auto track = append(file);
                track->setValue(EffectInput::AudioMix, float(below(100)) / 100);
                break;
            }
            case Duplicate: {
                const size_t i = below(n);
                what << "duplicate " << i;
                c->currentSelectedAudio = i;
                c->duplicateAudioFileFrom();
                break;
            }
            case Replace: {
                const size_t i = below(n);
                const QString& file = files[below(4)];
                what << "replace " << i << " with " << QFileInfo(file).fileName().toStdString();
                c->currentSelectedAudio = i;
                replaced = tracks()[i].audioFilter.get();
                QString error;
                ASSERT_TRUE(replaceFile(file, i, &error)) << error.toStdString();
                break;
            }
            case Remove: {
                const size_t i = below(n);
                what << "remove " << i;
                c->removeAudioFileAtIndex(i);
                break;
            }
            case Length: {
                const int seconds = 1 + int(below(12));
                what << "length " << seconds;
                setLength("0", QString::number(seconds));
                break;
            }
            case RemoveAll:
                what << "remove all";
                c->removeAllTracks();
                break;
            }
            settle();
            ASSERT_TRUE(alerts.empty()) << what.str() << ": " << alerts.front().informativeText.toStdString();
            const size_t depth = size_t(c->undoManager()->undoCount());
            ASSERT_GE(depth + 1, states.size()) << what.str() << " shortened the history";
            states.resize(depth + 1);
            stepAt.resize(depth + 1);
            states[depth] = state();
            stepAt[depth] = what.str();
            if (replaced) replacedAt[replaced] = depth;
        }

        auto check = [&](size_t depth, const char* direction) {
            if (!states[depth]) return;
            std::set<const MusicFilter*> unknown;
            for (const auto& [track, at] : replacedAt)
                if (depth < at) unknown.insert(track);
            const std::string d = differences(*states[depth], state(), unknown);
            EXPECT_TRUE(d.empty()) << direction << " to depth " << depth << " (reached by: " << stepAt[depth]
                                   << (depth + 1 < stepAt.size() ? ", undone: " + stepAt[depth + 1] : "") << ")\n" << d;
        };
        const size_t top = states.size() - 1;
        for (size_t depth = top; depth > start; --depth) {
            ASSERT_TRUE(c->undoManager()->canUndo()) << "at depth " << depth;
            undo();
            settle();
            ASSERT_EQ(size_t(c->undoManager()->undoCount()), depth - 1);
            check(depth - 1, "undo");
            if (HasFailure()) return;
        }
        for (size_t depth = start + 1; depth <= top; ++depth) {
            ASSERT_TRUE(c->undoManager()->canRedo()) << "at depth " << depth;
            redo();
            settle();
            check(depth, "redo");
            if (HasFailure()) return;
        }
    }
};

// Each seed is a test of its own, so the suite runs them side by side.
class UndoWalkSeedTest : public UndoWalkTest, public testing::WithParamInterface<unsigned> {};

TEST_P(UndoWalkSeedTest, UndoAndRedoRetraceEveryStep) { walk(GetParam(), 200); }

INSTANTIATE_TEST_SUITE_P(Seeds, UndoWalkSeedTest, testing::Values(1u, 2u, 3u));

// Seeds 1 to TREVALUNE_UNDO_WALK_SEEDS one after another; skipped without it.
TEST_F(UndoWalkTest, Soak) {
    const int n = qEnvironmentVariableIntValue("TREVALUNE_UNDO_WALK_SEEDS");
    if (n <= 0) GTEST_SKIP() << "set TREVALUNE_UNDO_WALK_SEEDS to walk many seeds";
    for (int seed = 1; seed <= n; ++seed) {
        walk(unsigned(seed), 200);
        if (HasFailure()) return;
        // The next walk starts from an empty list and history.
        c->removeAllTracks();
        c->undoManager()->removeAllActions();
        settle();
    }
}

}  // namespace
