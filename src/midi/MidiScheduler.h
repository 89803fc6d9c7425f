#pragma once

// The MIDI player of one track on the render thread: once per slice it
// starts and stops the track's committed notes against the slice start and
// plays the live commands waiting in the track's inbox, sending every event
// to every instrument of the chain.
//
// Threads.
// - Main thread: publishNotes() hands it the committed notes, as a plan it
//   builds from the track's list (each note with its start, end and the
//   bytes of its note-on and note-off); takeReports() drains what the render
//   sent back. The plan is a snapshot: the render never reads the list.
// - Render thread: scheduleMIDIForRenderSlice(), one render at a time. Its
//   state (the sounding notes by identity, the held live keys, the last
//   slice) lives in fixed-size tables made with the scheduler; it never
//   allocates, locks or waits. Stamped live records and key lights go back
//   through bounded lock-free queues; what does not fit is dropped and
//   counted.
//
// A note's identity is its start, end, number and channel: republishing an
// unchanged note neither restarts nor cuts it, a changed or removed note
// that sounds is stopped. The first slice after the render starts again (a
// pause, a seek, a new item: the context's startsStream) stops every note
// that sounds before it starts those under the playhead; a paused render
// runs no slice, so its instruments, which make no sound meanwhile, hear
// those note-offs before they make any again.

#include "engine/MidiNote.h"
#include "engine/MusicFilter.h"
#include "platform/core/BoundedQueue.h"
#include "platform/core/Snapshot.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

// What the render sends back to the main thread.
struct MidiSchedulerReport {
    enum Kind : uint8_t { LiveRecord, Light, Unlight };
    Kind kind = LiveRecord;
    uint8_t note = 0;
    // LiveRecord: a live note command as played and stamped.
    MidiNoteRecord record;
};

class MidiScheduler final : public MIDIRenderScheduler {
public:
    using Report = MidiSchedulerReport;

    // One committed note as the render plays it; times in track seconds.
    struct PlannedNote {
        double start = 0, end = 0;  // end >= start
        units::MidiMessage on, off;
    };
    struct Plan {
        std::vector<PlannedNote> notes;  // by start time
        std::vector<double> latestEnd;   // latestEnd[i]: the latest end among notes[0...i]
        uint64_t generation = 0;
    };

    static constexpr size_t kReportCapacity = 4096;
    static constexpr size_t kMaxSounding = 512;

    explicit MidiScheduler(MusicFilter& track);
    ~MidiScheduler() override;

    // ---- main thread
    // Builds the plan from the track's committed notes and hands it over.
    void publishNotes(const MidiNoteList& notes);
    // The plan of a list (finished notes with a start, each with its first
    // note-off; a note without one stops with a note-off of velocity 0).
    static std::unique_ptr<Plan> planFor(const MidiNoteList& notes, uint64_t generation);
    // The live records first, then the key lights.
    template <typename F>
    size_t takeReports(F&& take) {
        return reports_.drain(take) + lights_.drain(take);
    }
    uint64_t droppedReports() const { return reports_.dropped(); }

    // ---- render thread
    void scheduleMIDIForRenderSlice(TrackTapContext* context, CallbackAudioInfo* chain,
                                    uint32_t chainCount) override;

private:
    struct Sounding {
        double start, end;
        units::MidiMessage on, off;
    };
    // A live key held down: when it was heard to go down (track time) and
    // when it came in (seconds of its steady clock, NaN when unknown).
    struct Held {
        double time = 0;
        uint32_t count = 0;
        double arrivedSeconds = 0;
    };
    void send(const units::MidiMessage& m, CallbackAudioInfo* chain, uint32_t count);
    void report(Report::Kind kind, uint8_t note, const MidiNoteRecord* record = nullptr);
    bool isSounding(const PlannedNote& n) const;
    void start(const PlannedNote& n, CallbackAudioInfo* chain, uint32_t count);
    static bool planHolds(const Plan& plan, const Sounding& s);

    MusicFilter& track_;
    realtime::Snapshot<Plan> plan_;
    uint64_t generation_ = 0;  // main thread
    // Live records and key lights apart, so that lights nobody takes (an
    // export with the main thread busy) never crowd out a recorded note.
    realtime::BoundedQueue<Report> reports_{kReportCapacity};
    realtime::BoundedQueue<Report> lights_{kReportCapacity};

    // Render thread's own.
    std::array<Sounding, kMaxSounding> rt_sounding_{};
    size_t rt_soundingCount_ = 0;
    std::array<Held, 128> rt_held_{};
    bool rt_hasPrevious_ = false;
    double rt_previousEnd_ = 0;  // composition seconds where the last slice ended
    double rt_previousTrackTime_ = 0;
    uint64_t rt_generation_ = 0;
};
