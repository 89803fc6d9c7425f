#pragma once

// The moving parts of an export that need no controller: the writer loop on
// a thread of its own, the counter that joins the pre-renders of a mix, and
// the hold that keeps the tracks' taps prepared while their audio moves from
// the player to the export's readers.

#include "platform/core/MediaTime.h"
#include "platform/media/AssetReader.h"
#include "platform/media/AudioFileWriter.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class ProcessingTap;

// Pumps a reader's output into a writer on a worker thread: start reading,
// then one buffer after another, testing the stop flag (when there is one)
// before each, then finish the file. Progress and the end are handed to the
// main thread. Made, started and joined on the main thread; the worker owns
// the reader and writer while it runs. Each pull of the reader runs in the
// render scope (no allocation, no lock the main thread holds).
class AudioWriteJob {
public:
    struct Result {
        bool ok = false;       // the file is complete and in place
        bool stopped = false;  // the stop flag ended it early (the file holds what was written)
        QString error;
        int64_t frames = 0;
    };
    AudioWriteJob(std::shared_ptr<AssetReader> reader, std::shared_ptr<AssetReaderAudioMixOutput> output,
                  std::unique_ptr<AudioFileWriter> writer, MediaTime endTime);
    ~AudioWriteJob();  // joins
    AudioWriteJob(const AudioWriteJob&) = delete;
    AudioWriteJob& operator=(const AudioWriteJob&) = delete;

    void setStopFlag(const std::atomic<bool>* flag) { stop_ = flag; }
    // A stop cancels the file instead of finishing it: nothing is left under
    // the destination's name.
    void setDiscardWhenStopped(bool discard) { discardWhenStopped_ = discard; }
    // Writes the render backwards: the whole render goes first into the
    // float file `scratchPath` (created, and removed at the end), then the
    // file is read back from its end, each channel reversed on its own, into
    // the writer. The stop flag is tested only while writing. The progress
    // then runs over twice `endTime`: the seconds read, then `endTime` plus
    // the seconds written.
    void setReversedThrough(const QString& scratchPath) { scratchPath_ = scratchPath; }
    // `progress` gets the seconds read so far (sent when the whole percent
    // of `endTime` changes, and once at the end); `completion` the result.
    // Both on the main thread, the completion last.
    void start(std::function<void(double seconds)> progress, std::function<void(const Result&)> completion);
    void join();
    bool isRunning() const { return thread_.joinable(); }
    const MediaTime& endTime() const { return end_; }
    AssetReader* reader() const { return reader_.get(); }

private:
    void run();
    // The two halves of a reversed job: the forward render into the scratch
    // file, then its `frames` written backwards (`endSeconds` is the length
    // the progress counts in).
    void runReversed();
    void writeReversedAudioBufferWithDuration(int fd, int64_t frames, double endSeconds, Result& result);
    void finish(const Result& result);

    std::shared_ptr<AssetReader> reader_;
    std::shared_ptr<AssetReaderAudioMixOutput> output_;
    std::unique_ptr<AudioFileWriter> writer_;
    MediaTime end_;
    const std::atomic<bool>* stop_ = nullptr;
    bool discardWhenStopped_ = false;
    QString scratchPath_;
    std::function<void(double)> progress_;
    std::function<void(const Result&)> completion_;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    std::thread thread_;
};

// A counter on the main thread: each pre-render enters and leaves; when the
// count comes back to zero the notify runs, on the main thread after the
// current event.
class ExportGroup {
public:
    void enter() { ++count_; }
    void leave();
    void notify(std::function<void()> fn) { notify_ = std::move(fn); }
    int count() const { return count_; }

private:
    int count_ = 0;
    std::function<void()> notify_;
};

// Keeps taps prepared: a tap is unprepared (its units freed) when its last
// renderer lets go, so an export attaches to every tap before the player
// lets go of it and the readers attach after. Main thread.
class TapHold {
public:
    TapHold() = default;
    ~TapHold() { release(); }
    TapHold(const TapHold&) = delete;
    TapHold& operator=(const TapHold&) = delete;
    // A tap not yet prepared is prepared at `sampleRate` for `maxFrames`.
    void hold(const std::shared_ptr<ProcessingTap>& tap, double sampleRate, int64_t maxFrames);
    // Once the export is their only renderer: every held tap prepared again
    // at `sampleRate`, its units cleared, so that the export renders at its
    // own rate and the same composition always to the same samples.
    void reformat(double sampleRate, int64_t maxFrames);
    void release();
    bool holds(const ProcessingTap* tap) const;

private:
    std::vector<std::shared_ptr<ProcessingTap>> taps_;
};
