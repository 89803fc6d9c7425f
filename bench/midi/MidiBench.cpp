// A track's MIDI notes rendered offline, and the scheduler's own cost.
//
// SamplerNotesOffline: 10,000 committed notes over 10 minutes played by the
// scheduler into the sampler and rendered slice by slice as fast as it
// goes, in a child process, against the fluidsynth command-line player
// rendering the same notes from a MIDI file with the same SoundFont
// (`fluidsynth -ni -F out.wav SOUNDFONT FILE.mid`), run alternately.
// "x_realtime" is seconds of audio per second of wall time (medians);
// "ratio" is our wall time over fluidsynth's.
//
// SchedulerSlice: one 512-frame slice of the scheduler alone (its note
// look-ups and the events it sends, to an instrument that drops them) with
// 1,000 and 10,000 committed notes during continuous play; "slice_share_pct" is
// its time in per cent of the slice's duration at 44.1 kHz.

#include "BenchTools.h"

#include "engine/MusicFilter.h"
#include "engine/TrackTapContext.h"
#include "midi/MIDIManager.h"
#include "midi/NoteLists.h"
#include "platform/units/SoundFontUnit.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstring>

using namespace units;

namespace {

constexpr double kRate = 44100.0;
constexpr uint32_t kSlice = 512;
constexpr double kMinutes = 10;
constexpr int kOfflineNotes = 10000;

// `count` notes spread evenly over ten minutes, each 80% of its step long,
// over four octaves; times in whole milliseconds so that a MIDI file at one
// tick per millisecond holds them exactly.
struct Note {
    int startMs, endMs, key;
};
std::vector<Note> notes(int count) {
    std::vector<Note> out;
    const int stepMs = int(kMinutes * 60000 / count);
    for (int i = 0; i < count; ++i) out.push_back({i * stepMs, i * stepMs + stepMs * 4 / 5, 36 + (i * 7) % 48});
    return out;
}

MidiNoteList records(const std::vector<Note>& ns) {
    MidiNoteList list;
    for (const Note& n : ns) {
        MidiNoteRecord on;
        on.midiCommand = {0x90, uint8_t(n.key), 90};
        on.midiNote = uint32_t(n.key);
        on.midiCommandTime = MediaTime(n.startMs, 1000);
        on.midiCommandEndTime = MediaTime(n.endMs, 1000);
        on.midiCommandIsRecorded = true;
        MidiNoteRecord off = on;
        off.midiCommand = {0x80, uint8_t(n.key), 0};
        off.midiCommandTime = on.midiCommandEndTime;
        off.midiCommandEndTime.reset();
        list.push_back(on);
        list.push_back(off);
    }
    notelists::sortByStartTime(list);
    return list;
}

// A format-0 MIDI file of the notes: 1,000 ticks per quarter at one
// second per quarter, so a tick is a millisecond.
QByteArray midiFile(const std::vector<Note>& ns) {
    struct Event {
        int ms;
        uint8_t status, key, velocity;
    };
    std::vector<Event> events;
    for (const Note& n : ns) {
        events.push_back({n.startMs, 0x90, uint8_t(n.key), 90});
        events.push_back({n.endMs, 0x80, uint8_t(n.key), 0});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.ms < b.ms; });
    QByteArray track;
    auto varLen = [&](uint32_t v) {
        uint8_t bytes[5];
        int n = 0;
        bytes[n++] = v & 0x7F;
        while (v >>= 7) bytes[n++] = uint8_t(0x80 | (v & 0x7F));
        while (n--) track.append(char(bytes[n]));
    };
    varLen(0);
    track.append("\xFF\x51\x03\x0F\x42\x40", 6);  // tempo: 1,000,000 us per quarter
    int last = 0;
    for (const Event& e : events) {
        varLen(uint32_t(e.ms - last));
        last = e.ms;
        track.append(char(e.status)).append(char(e.key)).append(char(e.velocity));
    }
    varLen(0);
    track.append("\xFF\x2F\x00", 3);
    QByteArray file("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x03\xE8", 14);
    file.append("MTrk", 4);
    const uint32_t size = uint32_t(track.size());
    for (int shift = 24; shift >= 0; shift -= 8) file.append(char((size >> shift) & 0xFF));
    return file + track;
}

// An instrument that takes events and drops them, for the scheduler alone.
class SilentInstrument : public Unit {
public:
    SilentInstrument() : Unit({componenttype::MusicDevice, fourCC("slnt"), fourCC("Test"), 0, 0}, "Silent", 1, 1) {}
    Status midiEvent(uint32_t, uint32_t, uint32_t, uint32_t) override {
        ++events;
        return Status::Ok;
    }
    uint64_t events = 0;

protected:
    Status doRender(RenderActionFlags&, const TimeStamp&, uint32_t, uint32_t, BufferList&) override { return Status::Ok; }
};

struct ScheduledTrack {
    std::shared_ptr<MusicFilter> track = MusicFilter::filterWithName("MusicFilter");
    std::shared_ptr<MidiInputGate> gate = std::make_shared<MidiInputGate>();
    TrackTapContext context;
    explicit ScheduledTrack(const MidiNoteList& list) {
        track->setDefaults();
        track->timeScale = int32_t(kRate);
        track->setAnimationStart(MediaTime::zero());
        track->setCurrentTimeRange({MediaTime::zero(), MediaTime::fromSeconds(kMinutes * 60, int32_t(kRate))});
        track->midiManager = std::make_shared<MIDIManager>(*track, gate, false);
        track->midiArray = list;
        track->publishNotes();
    }
    void slice(int64_t frame, CallbackAudioInfo* chain, uint32_t count) {
        context.sliceTimeRange = {MediaTime(frame, int32_t(kRate)), MediaTime(kSlice, int32_t(kRate))};
        track->midiScheduler()->scheduleMIDIForRenderSlice(&context, chain, count);
    }
};

// The child: the whole ten minutes through the scheduler and the sampler.
int renderChild() {
    SoundFontUnit unit(soundfontunit::kSamplerSubType, "Apple: AU Sampler");
    if (!unit.isValid()) return 2;
    unit.setStreamFormat(Scope::Output, 0, StreamFormat::canonical(kRate, 2));
    unit.setMaximumFramesPerSlice(kSlice);
    if (!ok(unit.initialize())) return 3;
    ScheduledTrack scheduled(records(notes(kOfflineNotes)));
    CallbackAudioInfo chain{nullptr, &unit, nullptr, ChainUnitInstrumentCallback};
    std::vector<float> left(kSlice), right(kSlice);
    float* data[2] = {left.data(), right.data()};
    BufferList list;
    TimeStamp ts;
    double energy = 0;
    const int64_t frames = int64_t(kMinutes * 60 * kRate);
    for (int64_t frame = 0; frame < frames; frame += kSlice) {
        scheduled.slice(frame, &chain, 1);
        list.point(2, kSlice, data);
        unit.render(nullptr, ts, 0, kSlice, &list);
        ts.sampleTime += kSlice;
        energy += double(left[0]) * left[0];
    }
    return energy > 0 ? 0 : 4;  // silence would mean the notes never played
}

void SamplerNotesOffline(benchmark::State& state) {
    const QString soundFont = SoundFontSynth::defaultSoundFontPath();
    QTemporaryDir dir;
    const QString mid = dir.filePath(QStringLiteral("notes.mid"));
    QFile f(mid);
    if (soundFont.isEmpty() || !f.open(QIODevice::WriteOnly)) {
        state.SkipWithError("no SoundFont or no temporary folder");
        return;
    }
    f.write(midiFile(notes(kOfflineNotes)));
    f.close();
    const QString wav = dir.filePath(QStringLiteral("out.wav"));
    benchtools::Series ours, theirs;
    for (auto _ : state) {
        const bool ran = benchtools::alternate(
            3, [] { return benchtools::self({QStringLiteral("--render-child")}); },
            [&] {
                return benchtools::run(QStringLiteral("fluidsynth"),
                                       {"-ni", "-q", "-r", "44100", "-F", wav, soundFont, mid}, false);
            },
            &ours, &theirs);
        if (!ran) {
            state.SkipWithError("a run failed (is fluidsynth installed?)");
            return;
        }
    }
    const double audio = kMinutes * 60;
    state.counters["x_realtime"] = audio / ours.medianWall();
    state.counters["cpu_s"] = ours.medianCpu();
    state.counters["fluidsynth_x_realtime"] = audio / theirs.medianWall();
    state.counters["fluidsynth_cpu_s"] = theirs.medianCpu();
    state.counters["ratio"] = ours.medianWall() / theirs.medianWall();
}

void SchedulerSlice(benchmark::State& state) {
    ScheduledTrack scheduled(records(notes(int(state.range(0)))));
    SilentInstrument instrument;
    CallbackAudioInfo chain{nullptr, &instrument, nullptr, ChainUnitInstrumentCallback};
    const int64_t frames = int64_t(kMinutes * 60 * kRate);
    int64_t frame = 0;
    for (auto _ : state) {
        scheduled.slice(frame, &chain, 1);
        frame += kSlice;
        if (frame >= frames) frame = 0;
    }
    // Inverted rate: elapsed time over (iterations x a hundredth of a slice).
    state.counters["slice_share_pct"] = benchmark::Counter(
        kSlice / kRate / 100, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["events"] = double(instrument.events);
}

}  // namespace

BENCHMARK(SamplerNotesOffline)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(SchedulerSlice)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--render-child") == 0) return renderChild();
    return benchtools::runBenchmarks<QCoreApplication>(argc, argv);
}
