#include "engine/MusicFilter.h"
#include "platform/core/Realtime.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

MidiNoteRecord noteOn(uint8_t note, bool recorded = true) {
    MidiNoteRecord r;
    r.midiCommand = {0x90, note, 100};
    r.midiCommandIsRecorded = recorded;
    r.midiNote = note;
    r.midiNoteOn = true;
    return r;
}

}  // namespace

// A new track has four empty note lists and an empty committed snapshot; a
// null time is not a zero time.
TEST(NoteLists, ANewTrackStartsEmpty) {
    auto track = MusicFilter::filterWithName("MusicFilter");
    EXPECT_TRUE(track->midiArray.empty());
    EXPECT_TRUE(track->tempMidiArray.empty());
    EXPECT_TRUE(track->currentSelectedNotes.empty());
    EXPECT_TRUE(track->lastSelectedNotes.empty());
    auto notes = track->rt_committedNotes();
    ASSERT_TRUE(notes);
    EXPECT_TRUE(notes->empty());

    MidiNoteRecord stamped = noteOn(60);
    stamped.midiCommandTime = MediaTime::zero();
    EXPECT_NE(stamped, noteOn(60));
    EXPECT_FALSE(noteOn(60).midiCommandTime.has_value());
}

// Live commands pushed from another thread (a MIDI input) reach the render
// in the order they were sent, without allocation or lock on the render
// side; what does not fit in the inbox is dropped and counted.
TEST(NoteLists, LiveCommandsReachTheRenderThroughTheInbox) {
    auto track = MusicFilter::filterWithName("MusicFilter");
    constexpr int kSent = 2000;
    uint64_t refused = 0;  // a full inbox: the input tries again
    std::thread input([&] {
        for (int i = 0; i < kSent; ++i)
            while (!track->pushLiveMidiCommand(noteOn(uint8_t(i % 128)))) {
                ++refused;
                std::this_thread::yield();
            }
    });
    const uint64_t before = realtime::violationCount();
    std::vector<uint32_t> heard;
    heard.reserve(kSent);
    while (heard.size() < size_t(kSent)) {
        realtime::Scope slice;
        track->rt_drainLiveMidiCommands([&](const MidiNoteRecord& r) { heard.push_back(r.midiNote); });
    }
    input.join();
    EXPECT_EQ(realtime::violationCount(), before);
    for (int i = 0; i < kSent; ++i) ASSERT_EQ(heard[i], uint32_t(i % 128)) << i;
    EXPECT_EQ(track->droppedLiveMidiCommands(), refused);

    // Nobody drains: the inbox keeps what fits and counts the rest.
    const size_t extra = 10;
    size_t accepted = 0;
    for (size_t i = 0; i < MusicFilter::kMidiInboxCapacity + extra; ++i)
        accepted += track->pushLiveMidiCommand(noteOn(1)) ? 1 : 0;
    EXPECT_EQ(accepted, MusicFilter::kMidiInboxCapacity);
    EXPECT_EQ(track->droppedLiveMidiCommands(), refused + extra);
    EXPECT_EQ(track->rt_drainLiveMidiCommands([](const MidiNoteRecord&) {}),
              MusicFilter::kMidiInboxCapacity);
}

// The render sees the committed notes as last published: a change of the
// list reaches it with publishNotes(), and a reader opened before keeps
// what it had.
TEST(NoteLists, TheRenderSeesCommittedNotesOncePublished) {
    auto track = MusicFilter::filterWithName("MusicFilter");
    MidiNoteRecord on = noteOn(64), off = noteOn(64);
    on.midiCommandTime = MediaTime(0, 600);
    on.midiCommandEndTime = MediaTime(300, 600);
    on.midiNoteOn = false;
    off.midiCommand = {0x80, 64, 0};
    off.midiCommandTime = MediaTime(300, 600);
    off.midiNoteOn = false;
    track->midiArray = {on, off};
    {
        auto notes = track->rt_committedNotes();
        EXPECT_TRUE(notes->empty());
    }
    auto before = track->rt_committedNotes();
    track->publishNotes();
    EXPECT_TRUE(before->empty());
    const uint64_t violations = realtime::violationCount();
    {
        realtime::Scope slice;
        auto notes = track->rt_committedNotes();
        ASSERT_EQ(notes->size(), 2u);
        EXPECT_EQ((*notes)[0], on);
        EXPECT_EQ((*notes)[1].midiCommandTime, on.midiCommandEndTime);
    }
    EXPECT_EQ(realtime::violationCount(), violations);
    // The main thread's list is its own again.
    track->midiArray.clear();
    EXPECT_EQ(track->rt_committedNotes()->size(), 2u);
}
