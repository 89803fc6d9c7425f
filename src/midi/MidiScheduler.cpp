#include "midi/MidiScheduler.h"

#include "midi/NoteLists.h"
#include "platform/units/Unit.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace {

bool isPitchBend(const units::MidiMessage& m) { return (m.status & 0xF0) == 0xE0; }

// Two slices follow each other when the second starts where the first
// ended, to well within a frame.
constexpr double kContinuity = 1e-6;

}  // namespace

MidiScheduler::MidiScheduler(MusicFilter& track) : track_(track) { publishNotes(track.midiArray); }

MidiScheduler::~MidiScheduler() = default;

std::unique_ptr<MidiScheduler::Plan> MidiScheduler::planFor(const MidiNoteList& notes, uint64_t generation) {
    auto plan = std::make_unique<Plan>();
    plan->generation = generation;
    // Note-offs by start and number; the first in list order is the note's.
    std::map<std::tuple<int64_t, int32_t, uint32_t>, const MidiNoteRecord*> offs;
    for (const MidiNoteRecord& r : notes) {
        if (!r.midiCommandTime || r.midiCommandEndTime) continue;
        if ((r.midiCommand.status & 0xF0) != 0x80 && (r.midiCommand.status & 0xF0) != 0x90) continue;
        offs.emplace(std::tuple{r.midiCommandTime->value, r.midiCommandTime->timeScale, r.midiNote}, &r);
    }
    for (const MidiNoteRecord& r : notes) {
        if (!r.midiCommandTime || !r.midiCommandEndTime || isPitchBend(r.midiCommand)) continue;
        PlannedNote n;
        n.start = r.midiCommandTime->seconds();
        n.end = std::max(n.start, r.midiCommandEndTime->seconds());
        if (!std::isfinite(n.start) || !std::isfinite(n.end)) continue;
        n.on = r.midiCommand;
        const auto& end = *r.midiCommandEndTime;
        auto off = offs.find({end.value, end.timeScale, r.midiNote});
        if (off == offs.end())  // an equal time at another scale
            for (auto it = offs.begin(); it != offs.end(); ++it)
                if (std::get<2>(it->first) == r.midiNote && *it->second->midiCommandTime == end) {
                    off = it;
                    break;
                }
        // Without its note-off record the note still stops.
        n.off = off != offs.end() ? off->second->midiCommand
                                  : units::MidiMessage{uint8_t(0x80 | (r.midiCommand.status & 0x0F)),
                                                       uint8_t(r.midiNote & 0x7F), 0};
        plan->notes.push_back(n);
    }
    std::stable_sort(plan->notes.begin(), plan->notes.end(),
                     [](const PlannedNote& a, const PlannedNote& b) { return a.start < b.start; });
    plan->latestEnd.resize(plan->notes.size());
    double latest = -std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < plan->notes.size(); ++i) plan->latestEnd[i] = latest = std::max(latest, plan->notes[i].end);
    return plan;
}

void MidiScheduler::publishNotes(const MidiNoteList& notes) { plan_.publish(planFor(notes, ++generation_)); }

// ---- render thread

void MidiScheduler::send(const units::MidiMessage& m, CallbackAudioInfo* chain, uint32_t count) {
    for (uint32_t k = 0; k < count; ++k) {
        units::Unit* unit = chain[k].unit;
        if (!unit) break;
        if (chain[k].mode == ChainUnitInstrumentNotify || chain[k].mode == ChainUnitInstrumentCallback)
            (void)unit->midiEvent(m.status, m.data1, m.data2, 0);
    }
}

void MidiScheduler::report(Report::Kind kind, uint8_t note, const MidiNoteRecord* record) {
    Report r;
    r.kind = kind;
    r.note = note;
    if (record) r.record = *record;
    (kind == Report::LiveRecord ? reports_ : lights_).push(r);
}

bool MidiScheduler::isSounding(const PlannedNote& n) const {
    for (size_t i = 0; i < rt_soundingCount_; ++i) {
        const Sounding& s = rt_sounding_[i];
        if (s.start == n.start && s.end == n.end && s.on == n.on) return true;
    }
    return false;
}

void MidiScheduler::start(const PlannedNote& n, CallbackAudioInfo* chain, uint32_t count) {
    if (isSounding(n) || rt_soundingCount_ == kMaxSounding) return;
    rt_sounding_[rt_soundingCount_++] = {n.start, n.end, n.on, n.off};
    send(n.on, chain, count);
    report(Report::Light, n.on.data1);
}

bool MidiScheduler::planHolds(const Plan& plan, const Sounding& s) {
    auto it = std::lower_bound(plan.notes.begin(), plan.notes.end(), s.start,
                               [](const PlannedNote& n, double t) { return n.start < t; });
    for (; it != plan.notes.end() && it->start == s.start; ++it)
        if (it->end == s.end && it->on == s.on) return true;
    return false;
}

void MidiScheduler::scheduleMIDIForRenderSlice(TrackTapContext* context, CallbackAudioInfo* chain,
                                               uint32_t chainCount) {
    if (!context) return;
    const double T = context->sliceTimeRange.start.seconds();
    const double duration = context->sliceTimeRange.duration.seconds();
    if (!std::isfinite(T)) return;
    // The slice start in track time, at the track's time scale.
    const double t = notelists::trackTime(track_, notelists::trackSecondsForCompositionSeconds(track_, T)).seconds();
    if (!std::isfinite(t)) return;

    auto plan = plan_.read();
    const bool planChanged = plan && plan->generation != rt_generation_;
    // The render started again: after a pause, a seek or a new item, what
    // sounded before ends, and the notes under the playhead start afresh.
    const bool restarted = context->startsStream;
    // Reverse play and seeks render slices that do not follow the last one.
    const bool continuous = !restarted && rt_hasPrevious_ && std::fabs(T - rt_previousEnd_) < kContinuity &&
                            t >= rt_previousTrackTime_;

    // Stop what sounds and should not: the render started again, the
    // playhead left it, or it is no longer among the notes.
    for (size_t i = 0; i < rt_soundingCount_;) {
        const Sounding& s = rt_sounding_[i];
        const bool keep = !restarted && t >= s.start && t < s.end && (!planChanged || planHolds(*plan, s));
        if (keep) {
            ++i;
            continue;
        }
        send(s.off, chain, chainCount);
        report(Report::Unlight, s.on.data1);
        rt_sounding_[i] = rt_sounding_[--rt_soundingCount_];
    }

    if (plan && !plan->notes.empty()) {
        const auto& notes = plan->notes;
        auto startAfter = [&](double x) {  // the first note starting after x
            return size_t(std::upper_bound(notes.begin(), notes.end(), x,
                                           [](double v, const PlannedNote& n) { return v < n.start; }) -
                          notes.begin());
        };
        const size_t upToNow = startAfter(t);  // notes[0, upToNow) have started by t
        if (!continuous || planChanged) {
            // A jump (or new notes): every note the playhead is inside sounds.
            for (size_t i = upToNow; i-- > 0 && plan->latestEnd[i] > t;)
                if (notes[i].end > t) start(notes[i], chain, chainCount);
        }
        if (continuous) {
            // The notes that began since the last slice: the ones still going
            // sound on; the ones already over get their note-on and note-off.
            for (size_t i = startAfter(rt_previousTrackTime_); i < upToNow; ++i) {
                const PlannedNote& n = notes[i];
                if (n.end > t) {
                    start(n, chain, chainCount);
                } else {
                    send(n.on, chain, chainCount);
                    send(n.off, chain, chainCount);
                }
            }
        }
    }
    if (plan) rt_generation_ = plan->generation;

    // Live commands: heard now, and stamped with the time the user heard
    // when the key went down or up. A command that does not say is placed
    // where this slice is heard, the track's latency behind its source.
    double sliceHeard = T;
    if (const double rate = context->sampleRate.load(); rate > 0) sliceHeard -= double(context->latencyFrames.load()) / rate;
    track_.rt_drainLiveMidiCommands([&](const LiveMidiCommand& live) {
        if (isPitchBend(live.midiCommand)) {
            send(live.midiCommand, chain, chainCount);
            return;
        }
        MidiNoteRecord r = live;
        const uint8_t note = uint8_t(r.midiNote & 0x7F);
        const double heard = std::isfinite(live.heardSeconds) ? live.heardSeconds : sliceHeard;
        double at = notelists::trackTime(track_, notelists::trackSecondsForCompositionSeconds(track_, heard)).seconds();
        if (!std::isfinite(at)) at = t;
        Held& held = rt_held_[note];
        if (r.midiNoteOn) {
            held = {at, held.count + 1, live.arrivedSeconds};
            r.midiFired = true;
            report(Report::Light, note);
        } else {
            // A note-off never lies before its note-on, and a note lasts as
            // long as its key was held: a key that started the player went
            // down before the place it is kept at was heard.
            if (held.count > 0) {
                at = std::max(at, held.time);
                const double heldFor = live.arrivedSeconds - held.arrivedSeconds;
                if (std::isfinite(heldFor) && heldFor > 0) at = std::max(at, held.time + heldFor);
                --held.count;
            }
            report(Report::Unlight, note);
        }
        r.midiCommandTime = notelists::trackTime(track_, at);
        send(r.midiCommand, chain, chainCount);
        if (r.midiCommandIsRecorded || !r.midiNoteOn) report(Report::LiveRecord, note, &r);
    });

    rt_hasPrevious_ = std::isfinite(duration);
    rt_previousEnd_ = T + (std::isfinite(duration) ? duration : 0);
    rt_previousTrackTime_ = t;
}
