// The MIDI scheduler of a track, slice by slice: which bytes each unit of
// the chain receives for the committed notes and the live commands, under
// the check that fails on allocation or blocking in the render path.

#include "engine/MusicFilter.h"
#include "engine/TrackTapContext.h"
#include "midi/MIDIManager.h"
#include "midi/NoteLists.h"
#include "platform/core/Realtime.h"
#include "platform/units/Unit.h"
#include "views/AudioDrawingView.h"
#include "views/NotesView.h"

#include <gtest/gtest.h>

#include <QTest>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr int32_t kScale = 44100;

// A unit that keeps every MIDI event it receives, with the slice it came
// in; it never allocates while doing so.
class RecordingUnit : public units::Unit {
public:
    struct Event {
        int slice;
        uint8_t status, data1, data2;
        bool operator==(const Event&) const = default;
    };
    explicit RecordingUnit(units::FourCC type = units::componenttype::MusicDevice)
        : units::Unit({type, units::fourCC("rcrd"), units::fourCC("Test"), 0, 0}, QStringLiteral("Recording"), 1,
                      1) {}
    units::Status midiEvent(uint32_t status, uint32_t data1, uint32_t data2, uint32_t offset) override {
        EXPECT_EQ(offset, 0u);
        if ((status & 0xF0) == 0xE0) bends.fetch_add(1);
        const size_t i = count_.fetch_add(1);
        if (i < events_.size()) events_[i] = {slice, uint8_t(status), uint8_t(data1), uint8_t(data2)};
        return units::Status::Ok;
    }
    std::vector<Event> events() const {
        return {events_.begin(), events_.begin() + std::min(count_.load(), events_.size())};
    }
    size_t count() const { return count_.load(); }
    void clear() { count_ = 0; }
    int slice = 0;
    std::atomic<size_t> bends{0};

protected:
    units::Status doRender(units::RenderActionFlags&, const units::TimeStamp&, uint32_t, uint32_t,
                           units::BufferList&) override {
        return units::Status::Ok;
    }

private:
    std::array<Event, 1 << 16> events_{};
    std::atomic<size_t> count_{0};
};

// A track with a MIDI manager (no device input) and a chain of units.
class Scheduling : public ::testing::Test {
protected:
    void SetUp() override {
        track = MusicFilter::filterWithName("MusicFilter");
        track->setDefaults();
        track->timeScale = kScale;
        gate->itemReady = true;
        gate->selectedTrack = &selected;
        track->midiManager = std::make_shared<MIDIManager>(*track, gate, false);
        setChain({{&first, ChainUnitInstrumentCallback}});
    }
    void setChain(std::vector<std::pair<units::Unit*, uint32_t>> units) {
        chain.clear();
        for (auto [u, mode] : units) chain.push_back({nullptr, u, nullptr, mode});
    }
    void commit(const MidiNoteList& notes) {
        track->midiArray = notes;
        track->publishNotes();
    }
    // One render slice at composition time T; `startsStream` after a pause,
    // a seek or a new item.
    void slice(double T, double duration = 0.1, bool startsStream = false) {
        context.sliceTimeRange = {MediaTime::fromSeconds(T, kScale), MediaTime::fromSeconds(duration, kScale)};
        context.startsStream = startsStream;
        const uint64_t before = realtime::violationCount();
        {
            realtime::Scope render;
            track->midiScheduler()->scheduleMIDIForRenderSlice(&context, chain.data(), uint32_t(chain.size()));
        }
        EXPECT_EQ(realtime::violationCount(), before) << "the slice at " << T << " allocated or blocked";
        ++first.slice, ++second.slice;
    }
    // Main thread: what the render sent back, committed as the timer does.
    void drain() {
        bool changed = false;
        track->midiManager->scheduler().takeReports([&](const MidiSchedulerReport& r) {
            if (r.kind == MidiSchedulerReport::LiveRecord)
                changed = notelists::commitLiveRecord(track->midiArray, r.record) || changed;
        });
        if (changed) {
            notelists::sortByStartTime(track->midiArray);
            track->publishNotes();
        }
    }
    // The render on a thread of its own until `stop`: slices of 512 frames
    // one after another, from 0 back to 0 past 5 s, each under the check.
    std::thread renderUntil(const std::atomic<bool>& stop) {
        return std::thread([this, &stop] {
            double T = 0;
            while (!stop.load()) {
                context.sliceTimeRange = {MediaTime::fromSeconds(T, kScale),
                                          MediaTime::fromSeconds(512.0 / kScale, kScale)};
                realtime::Scope scope;
                track->midiScheduler()->scheduleMIDIForRenderSlice(&context, chain.data(), uint32_t(chain.size()));
                T += 512.0 / kScale;
                if (T > 5) T = 0;  // a loop back
            }
        });
    }
    MidiNoteRecord live(uint8_t status, uint8_t d1, uint8_t d2, bool recorded = true) {
        MidiNoteRecord r;
        r.midiCommand = {status, d1, d2};
        const bool bend = (status & 0xF0) == 0xE0;
        r.midiNote = bend ? 0 : d1;
        r.midiNoteOn = bend || (status & 0xF0) == 0x90;
        r.midiCommandIsRecorded = recorded && !bend;
        return r;
    }

    std::shared_ptr<MusicFilter> track;
    std::shared_ptr<MidiInputGate> gate = std::make_shared<MidiInputGate>();
    std::atomic<uint64_t> selected{0};
    TrackTapContext context;
    std::vector<CallbackAudioInfo> chain;
    RecordingUnit first, second;
};

MediaTime at(double s) { return MediaTime::fromSeconds(s, kScale); }

// A finished note: its note-on and its note-off records.
MidiNoteList note(uint8_t n, double start, double end) {
    MidiNoteRecord on, off;
    on.midiCommand = {0x90, n, 100};
    on.midiNote = n;
    on.midiCommandTime = at(start);
    on.midiCommandEndTime = at(end);
    on.midiCommandIsRecorded = true;
    off.midiCommand = {0x80, n, 64};
    off.midiNote = n;
    off.midiCommandTime = at(end);
    off.midiCommandIsRecorded = true;
    return {on, off};
}

using Event = RecordingUnit::Event;
Event on(int slice, uint8_t n) { return {slice, 0x90, n, 100}; }
Event off(int slice, uint8_t n) { return {slice, 0x80, n, 64}; }

}  // namespace

// Committed notes against a run of slices (0.1 s each unless they jump):
// a note starts at the first slice at or after its start and stops at the
// first at or after its end; a seek back stops it, a jump into it starts
// it; notes shorter than a slice still play during continuous play, but
// not when a seek jumps over them; reverse play is a run of seeks. A slice
// that starts the stream again (after a pause, a seek or a new item)
// first stops whatever sounds.
TEST_F(Scheduling, CommittedNotesAgainstSlices) {
    struct Case {
        const char* name;
        MidiNoteList notes;
        std::vector<double> slices;
        std::vector<Event> expected;
        double animationStart = 0, sourceStart = 0, speed = 1;
        std::vector<size_t> streamStarts = {};  // indices into slices
    };
    const Case cases[] = {
        {"plays from its start to its end", note(60, 0.25, 0.55), {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7},
         {on(3, 60), off(6, 60)}},
        {"a start on a slice start", note(60, 0.3, 0.5), {0.2, 0.3, 0.4, 0.5}, {on(1, 60), off(3, 60)}},
        {"a seek back stops it", note(60, 0.25, 0.55), {0.3, 0.4, 0.0, 0.1}, {on(0, 60), off(2, 60)}},
        {"a jump into it starts it", note(60, 0.25, 0.55), {0.0, 0.4, 0.5, 0.6}, {on(1, 60), off(3, 60)}},
        {"a short note between two slices", note(62, 0.12, 0.18), {0.0, 0.1, 0.2, 0.3}, {on(2, 62), off(2, 62)}},
        {"a note of length zero", note(62, 0.12, 0.12), {0.1, 0.2}, {on(1, 62), off(1, 62)}},
        {"a seek over a short note", note(62, 0.12, 0.18), {0.0, 0.3, 0.4}, {}},
        {"reverse play", note(60, 0.25, 0.55), {0.5, 0.4, 0.3, 0.2, 0.1}, {on(0, 60), off(3, 60)}},
        {"reverse play over a short note", note(62, 0.12, 0.18), {0.3, 0.2, 0.1, 0.0}, {}},
        // The track at 10 s, its source used from 4 s, at speed 2: track
        // time 0 is at 8 s of the composition.
        {"track time", note(60, 0.25, 0.55), {8.2, 8.3, 8.4, 8.5, 8.6}, {on(1, 60), off(4, 60)}, 10, 4, 2},
        {"paused inside it and played again from there", note(60, 0.25, 0.95), {0.3, 0.4, 0.35, 0.45},
         {on(0, 60), off(2, 60), on(2, 60)}, 0, 0, 1, {2}},
        {"a seek within it", note(60, 0.25, 0.95), {0.3, 0.7}, {on(0, 60), off(1, 60), on(1, 60)},
         0, 0, 1, {1}},
        {"stopped and started again before it", note(60, 0.25, 0.95), {0.3, 0.0, 0.1}, {on(0, 60), off(1, 60)},
         0, 0, 1, {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        track->setAnimationStart(at(c.animationStart));
        track->setCurrentTimeRange({at(c.sourceStart), at(100)});
        track->setValue(EffectInput::Speed, float(c.speed));
        commit(c.notes);
        for (size_t i = 0; i < c.slices.size(); ++i)
            slice(c.slices[i], 0.1, std::find(c.streamStarts.begin(), c.streamStarts.end(), i) != c.streamStarts.end());
        EXPECT_EQ(first.events(), c.expected);
        first.clear();
        first.slice = second.slice = 0;
    }
}

// Every instrument of the chain gets every event, effects get none, and
// the first empty slot ends the chain.
TEST_F(Scheduling, EveryInstrumentOfTheChainReceivesEveryEvent) {
    RecordingUnit effect(units::componenttype::Effect), after;
    setChain({{&first, ChainUnitInstrumentCallback},
              {&effect, ChainUnitEffect},
              {&second, ChainUnitInstrumentNotify},
              {nullptr, ChainUnitInstrumentCallback},
              {&after, ChainUnitInstrumentCallback}});
    commit(note(60, 0.0, 0.15));
    track->pushLiveMidiCommand(live(0xE3, 0x12, 0x40));
    slice(0.0);
    slice(0.1);
    slice(0.2);
    const std::vector<Event> expected = {on(0, 60), {0, 0xE3, 0x12, 0x40}, off(2, 60)};
    EXPECT_EQ(first.events(), expected);
    EXPECT_EQ(second.events(), expected);
    EXPECT_EQ(effect.count(), 0u);
    EXPECT_EQ(after.count(), 0u);
}

// Live commands are played at the next slice and stamped with its track
// time; a note-off stamped before its note-on (a seek back between them)
// moves to it; a pitch bend is played once and never kept; what was
// recorded is committed and then plays again from the list.
TEST_F(Scheduling, LiveCommandsArePlayedStampedAndKept) {
    slice(1.0);
    track->pushLiveMidiCommand(live(0x90, 64, 90));
    track->pushLiveMidiCommand(live(0xE0, 0, 64));
    slice(1.1);
    drain();
    ASSERT_EQ(track->midiArray.size(), 1u);
    EXPECT_TRUE(track->midiArray[0].midiNoteOn);  // held
    EXPECT_EQ(track->midiArray[0].midiCommandTime, at(1.1));

    slice(0.5);  // a seek back while the key is held
    track->pushLiveMidiCommand(live(0x80, 64, 0));
    slice(0.6);
    drain();
    ASSERT_EQ(track->midiArray.size(), 2u);
    EXPECT_FALSE(track->midiArray[0].midiNoteOn);
    EXPECT_EQ(track->midiArray[0].midiCommandEndTime, at(1.1));
    EXPECT_EQ(track->midiArray[1].midiCommandTime, at(1.1));
    EXPECT_EQ(first.events(), (std::vector<Event>{{1, 0x90, 64, 90}, {1, 0xE0, 0, 64}, {3, 0x80, 64, 0}}));

    // A note-on and note-off in one slice make a note of length zero that
    // plays again on the next pass.
    first.clear();
    track->pushLiveMidiCommand(live(0x90, 67, 80));
    track->pushLiveMidiCommand(live(0x80, 67, 0));
    slice(2.0);
    drain();
    ASSERT_EQ(track->midiArray.size(), 4u);
    EXPECT_EQ(track->midiArray[2].midiCommandTime, at(2.0));
    EXPECT_EQ(track->midiArray[2].midiCommandEndTime, at(2.0));
    first.clear();
    first.slice = 0;
    for (double T : {0.9, 1.0, 1.1, 1.2, 1.9, 2.0, 2.1}) slice(T);
    EXPECT_EQ(first.events(), (std::vector<Event>{{2, 0x90, 64, 90}, {2, 0x80, 64, 0},
                                                  {5, 0x90, 67, 80}, {5, 0x80, 67, 0}}));
}

// A republish while a note sounds neither restarts nor cuts it; a sounding
// note that is taken away stops at the next slice.
TEST_F(Scheduling, RepublishingKeepsSoundingNotes) {
    MidiNoteList notes = note(60, 0.0, 1.0);
    commit(notes);
    slice(0.0);
    slice(0.1);
    MidiNoteList more = notes;
    for (const MidiNoteRecord& r : note(72, 5.0, 6.0)) more.push_back(r);
    commit(more);
    slice(0.2);
    slice(0.3);
    EXPECT_EQ(first.events(), (std::vector<Event>{on(0, 60)}));
    commit(note(72, 5.0, 6.0));
    slice(0.4);
    EXPECT_EQ(first.events(), (std::vector<Event>{on(0, 60), off(4, 60)}));
}

// The render plays slices on its own thread while the main thread edits and
// republishes the notes and an input thread plays live notes: the render
// never allocates or blocks, and no live command is lost.
TEST_F(Scheduling, RenderAloneWhileTheListChanges) {
    constexpr int kLive = 2000;
    std::atomic<bool> stop{false};
    const uint64_t before = realtime::violationCount();
    std::thread render = renderUntil(stop);
    std::thread input([&] {
        for (int i = 0; i < kLive; ++i) {
            while (!track->pushLiveMidiCommand(live(0xE0, uint8_t(i % 128), 0))) std::this_thread::yield();
        }
    });
    MidiNoteList list;
    for (int i = 0; i < 200; ++i) {
        for (const MidiNoteRecord& r : note(uint8_t(40 + i % 40), (i % 50) * 0.1, (i % 50) * 0.1 + 0.05)) list.push_back(r);
        notelists::sortByStartTime(list);
        commit(list);
        drain();
    }
    input.join();
    // Every bend is played, once.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (first.bends.load() < size_t(kLive) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    stop = true;
    render.join();
    EXPECT_EQ(realtime::violationCount(), before);
    EXPECT_EQ(first.bends.load(), size_t(kLive));
}

namespace {

// The piano roll's owner as far as the render is concerned: every change
// is handed to the render at once.
class PublishingOwner : public NotesViewOwner {
public:
    bool notesTrackHasMidiManager(const MusicFilter&) const override { return true; }
    double notesPlayerSeconds() const override { return 0; }
    double notesHorizontalZoom() const override { return 1; }
    void notesChanged(MusicFilter& track) override { track.publishNotes(); }
};

}  // namespace

// Notes dragged with the mouse in the piano roll while the render plays
// them: the render never allocates or blocks, and it ends with the notes
// as the roll left them.
TEST_F(Scheduling, NotesDraggedInTheRollWhileTheRenderPlays) {
    track->durationInSeconds = 5;
    MidiNoteList list;
    for (int i = 0; i < 20; ++i)
        for (const MidiNoteRecord& r : note(uint8_t(40 + i), i * 0.2, i * 0.2 + 0.1)) list.push_back(r);
    commit(list);
    AudioDrawingView lane;
    lane.isAdjustingNotes = true;
    track->audioDrawingView = &lane;
    PublishingOwner owner;
    NotesView roll;
    roll.resize(500, 880);  // 100 points a second, rows 10 points high
    roll.owner = &owner;
    roll.viewFilter = track;

    std::atomic<bool> stop{false};
    const uint64_t before = realtime::violationCount();
    std::thread render = renderUntil(stop);
    for (int pass = 0; pass < 10; ++pass)
        for (int i = 0; i < 20; ++i) {
            // The end of note i, dragged right and back.
            const double y = 880 - (40 + i - 21 + 0.5) * 10, end = (i * 0.2 + 0.1) * 100;
            QTest::mousePress(&roll, Qt::LeftButton, {}, QPoint(int(end) - 1, int(y)));
            for (int step = 1; step <= 8; ++step) QTest::mouseMove(&roll, QPoint(int(end) + step * (pass % 2 ? -1 : 2), int(y)));
            QTest::mouseRelease(&roll, Qt::LeftButton, {}, QPoint(int(end), int(y)));
        }
    stop = true;
    render.join();
    EXPECT_EQ(realtime::violationCount(), before);
    EXPECT_NE(track->midiArray, list) << "the drags changed the notes";
    EXPECT_EQ(*track->rt_committedNotes(), track->midiArray);
}
