#pragma once

#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"

#include <QString>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

// Pulls a composition through its audio mix, slice by slice, as two channels
// of float at one sample rate. Each audio track renders its segments (copied,
// resampled, or stretched with the pitch kept; empty ones are silence), then
// goes through its tap, then takes its volume; the tracks are summed. A tap
// that delays its track (ProcessingTap::latency) is fed that far ahead, and
// what it gives out for that long after each start or jump is dropped, so
// that every track is heard where it lies on the timeline; its volume
// follows the time it is heard at. When the latency a tap wants changes
// while it renders, its track fades out, is re-aligned as at a jump, and
// fades in again: every track stays where it lies on the timeline, and a
// track's own live input is delayed by its own latency only.
//
// prepare() and setPosition() may allocate and belong to a worker or to the
// start of a render; render() is real-time safe.
//
// An offline render reads cached sources from their files, a stretch ahead
// (DecodedSourceStream), rather than through their mappings: it goes once
// through long stretches, and the page faults of a mapping would cost more
// than the reads. A real-time render reads the mappings, with no system
// call on its thread.
//
// An offline render may spread its tracks over a few threads of its own
// (setWorkerCount): render() hands each of them tracks to render through
// their taps, renders tracks itself meanwhile, waits for the last one and
// then sums them in track order, so that the result is the same sample for
// sample as on one thread. Each track, its tap and its buffers belong to one
// thread at a time; the workers sleep between render() calls.
class Renderer {
public:
    enum class Mode {
        RealTime,  // playback: the faster stretch engine
        Offline,   // readers and exports: the finer stretch engine
    };
    static constexpr int DefaultMaxFrames = 4096;

    Renderer(std::shared_ptr<const Composition> composition, std::shared_ptr<const AudioMix> mix,
             double sampleRate, Mode mode, int maxFrames = DefaultMaxFrames);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Decodes every audio source of the composition that is not decoded yet.
    // Blocking: call it on a worker thread. False with `error` when a source
    // cannot be decoded or `cancelled` says so.
    static bool loadSources(const Composition& composition, QString* error = nullptr,
                            const std::function<bool()>& cancelled = {});

    // Takes hold of the decoded sources (they must be decoded already), builds
    // the per-track plans and attaches the taps. False with `error` when a
    // source is not decoded.
    bool prepare(QString* error = nullptr);
    bool isPrepared() const { return prepared_; }

    double sampleRate() const { return rate_; }
    int maxFrames() const { return maxFrames_; }
    // The composition's duration in frames.
    int64_t length() const { return length_; }
    int64_t position() const { return position_; }
    // Moves the next slice to `frame` (clamped at 0). Not real-time safe when
    // a track needs resampling.
    void setPosition(int64_t frame);

    // Renders `frames` (at most maxFrames()) from the position into `left`
    // and `right`, and advances the position.
    void render(float* left, float* right, int frames);
    // Re-aligns every track whose tap took another latency in the last
    // render (it faded out there and fades in here). render() does it first
    // when the caller has not; a caller that renders under the real-time
    // rules calls it before, as it would setPosition(): it is not real-time
    // safe when such a track needs resampling.
    void realignTracks();

    // Up to `count` threads that render tracks beside the one calling
    // render(); no more than the tracks need are started. Call it before
    // prepare(); 0, the default, keeps every track on the render's thread.
    void setWorkerCount(int count) { workerCount_ = std::max(0, count); }
    int workerCount() const;

private:
    struct Track;
    class Workers;
    // The track's next `frames` (at most maxFrames()) through its tap and
    // volume; the block lies in buffers of the track.
    void renderTrack(Track& t, int frames);
    void produceBlock(Track& t, int frames);
    // Frames of a source's channel for the track's left (0) or right (1) lane.
    void readSource(Track& t, int lane, const DecodedSource& source, int channel, int64_t start,
                    int64_t frames, float* out);
    void produceVirtual(Track& t, float* l, float* r, int64_t n);
    void pullStretched(Track& t, size_t segIndex, float* l, float* r, int64_t n);
    void startStretch(Track& t, size_t segIndex);
    void produceTrack(Track& t, float* l, float* r, int n);
    void produceTrackResampled(Track& t, float* l, float* r, int n);
    void processStage(Track& t, int n);
    void pullPost(Track& t, float* l, float* r, int n);
    void positionTrack(Track& t, int64_t frame);

    std::shared_ptr<const Composition> composition_;
    std::shared_ptr<const AudioMix> mix_;
    double rate_;
    Mode mode_;
    int maxFrames_;
    bool prepared_ = false;
    int64_t length_ = 0;
    int64_t position_ = 0;
    struct MemoryBlock;
    std::unique_ptr<MemoryBlock> streamBlock_;  // the tracks' source streams read into it
    std::vector<std::unique_ptr<Track>> tracks_;
    std::vector<std::shared_ptr<DecodedSource>> sources_;  // kept alive while rendering
    int workerCount_ = 0;
    std::unique_ptr<Workers> workers_;  // goes first: its threads touch the tracks
};
