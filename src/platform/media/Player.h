#pragma once

#include "platform/audio/AudioOutput.h"
#include "platform/core/SeqLock.h"
#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

class Renderer;

// What the output plays, for any thread: the composition frame heard at a
// host time, and the output's own frame count then, from the last few blocks
// the output took. Written by the output's callback (or the main thread
// while the output sleeps); read without a lock by the MIDI input and the
// main thread, to stamp a key with the time the user heard when it went
// down and to time how long it was held in frames of the output, not by a
// wall clock whose readings wander with the threads' scheduling.
class PlaybackClock {
public:
    // The composition frame, at frameRate(), heard at `hostNs` (nanoseconds
    // of the steady clock); where the player stands while nothing plays.
    int64_t frameAt(uint64_t hostNs) const;
    // The same in seconds of composition time.
    double secondsAt(uint64_t hostNs) const { return double(frameAt(hostNs)) / frameRate(); }
    // Seconds of frames the output had taken at `hostNs`: a steady clock of
    // the output's own, playing or not.
    double outputSecondsAt(uint64_t hostNs) const;
    double frameRate() const { return rate_.load(std::memory_order_relaxed); }
    void setFrameRate(double rate) { rate_.store(rate > 0 ? rate : 48000, std::memory_order_relaxed); }

    // A block that begins with composition frame `first` sounds from
    // `hostNs` on, each frame `step` composition frames on from the one
    // before (0: the output plays nothing, the player stands at `first`);
    // the output had taken `outputFrame` frames before it.
    void mark(int64_t first, double step, uint64_t hostNs, int64_t outputFrame);
    static uint64_t hostNow();

private:
    struct Mark {
        int64_t first = 0;
        double step = 0;
        uint64_t ns = 0;
        int64_t outputFrame = 0;
    };
    static constexpr size_t kMarks = 8;
    struct Marks {
        std::array<Mark, kMarks> marks{};
        uint32_t count = 0;
    };
    // The mark of the block that sounded at `hostNs`, or the nearest.
    Mark markAt(uint64_t hostNs) const;
    SeqLockValue<Marks> marks_;
    Marks written_;  // the writer's own copy
    std::atomic<double> rate_{48000};
};

// What a player plays: a composition (usually a copy) and its audio mix. The
// item becomes ready once every audio source of the composition is decoded
// (on a worker thread); it fails when one cannot be.
class PlayerItem : public QObject, public std::enable_shared_from_this<PlayerItem> {
    Q_OBJECT
public:
    enum class Status { Unknown = 0, ReadyToPlay = 1, Failed = 2 };

    // Posted on the main thread with the item as object when playback reaches
    // the item's end.
    static inline const QString DidPlayToEndTimeNotification =
        QStringLiteral("PlayerItemDidPlayToEndTimeNotification");

    // Starts decoding the composition's sources.
    static std::shared_ptr<PlayerItem> create(std::shared_ptr<const Composition> asset);
    ~PlayerItem() override;

    Status status() const { return status_; }
    QString errorString() const { return error_; }
    std::shared_ptr<const Composition> asset() const { return asset_; }
    MediaTime duration() const { return duration_; }

    std::shared_ptr<const AudioMix> audioMix() const { return mix_; }
    void setAudioMix(std::shared_ptr<const AudioMix> mix) { mix_ = std::move(mix); }

signals:
    void statusChanged(PlayerItem::Status status);
    void didPlayToEndTime();

private:
    explicit PlayerItem(std::shared_ptr<const Composition> asset);
    void finishLoading(bool ok, const QString& error);

    std::shared_ptr<const Composition> asset_;
    std::shared_ptr<const AudioMix> mix_;
    MediaTime duration_;
    Status status_ = Status::Unknown;
    QString error_;
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
};

// Plays one item through an audio output. A render thread renders a short
// way ahead into a lock-free ring; the output's callback only copies from it.
// Everything here is called on the main thread, and every completion and
// observer runs there.
//
// A paused player (or one without an item) lets its output sleep after a
// short while, so that an idle application wakes no thread; playing wakes it
// again. While the output sleeps, the main thread takes up the jumps (seeks,
// a new item) that the output's callback would otherwise take up. Putting
// the output to sleep and waking it (closing and opening a JACK client, tens
// of milliseconds) run on a thread of their own, one at a time, and end on
// the main thread: between the two, neither side takes up jumps, and the
// first callback after a wake takes up what came meanwhile.
class Player : public QObject {
    Q_OBJECT
public:
    // `output` null: the default device, or a null output when there is none.
    explicit Player(std::unique_ptr<AudioOutput> output = nullptr, QObject* parent = nullptr);
    ~Player() override;

    PlayerItem* currentItem() const { return item_.get(); }
    std::shared_ptr<PlayerItem> currentItemShared() const { return item_; }
    // Null leaves the player without an item.
    void replaceCurrentItem(std::shared_ptr<PlayerItem> item);

    // 1 plays, 0 pauses, 2 and 4 fast-forward, negative rates play backwards.
    float rate() const { return rate_; }
    void setRate(float rate);
    void play() { setRate(1.0f); }
    void pause() { setRate(0.0f); }

    float volume() const { return volume_.load(); }
    void setVolume(float volume);

    MediaTime currentTime() const;
    // Moves to `time` (clamped to the item). The tolerances are accepted for
    // the caller's sake; every seek is exact. The completion runs on the main
    // thread: true once the new position plays, false when a later seek (or
    // a change of item) interrupted this one.
    void seekToTime(const MediaTime& time, const MediaTime& toleranceBefore,
                    const MediaTime& toleranceAfter,
                    std::function<void(bool finished)> completion = {});

    using TimeObserverToken = int;
    // Calls `block` with the current time every `interval` while playing,
    // and when the time jumps (seeks) or the rate changes.
    TimeObserverToken addPeriodicTimeObserver(const MediaTime& interval,
                                              std::function<void(MediaTime)> block);
    void removeTimeObserver(TimeObserverToken token);

    // True while the render thread runs nothing through the item's taps:
    // there is none, or it is paused and has taken up the last position
    // asked of it (taking up a jump feeds every tap its latency, paused or
    // not). An offline render sharing those taps has them to itself then.
    bool isRenderingIdle() const;
    // True from the moment a ready item's renderer is asked for until the
    // main thread has taken it up (the taps' set-up steps it queued have run
    // by then).
    bool isPreparingRenderer() const { return preparing_; }

    // Live input (a key of a MIDI device or of the on-screen keyboard may
    // come at any moment): the player renders only a short way ahead of the
    // output, so that a live note is heard soon after it comes in, and the
    // output stays awake while paused, so that the first note is not lost
    // to waking it. Off, the player renders further ahead for safety and an
    // idle output sleeps.
    void setLiveInput(bool on);
    bool liveInput() const { return liveInput_; }

    // The output's clock, for any thread; it lives as long as its last holder.
    std::shared_ptr<const PlaybackClock> clock() const { return clock_; }

    double outputSampleRate() const { return output_->sampleRate(); }
    const AudioOutput& output() const { return *output_; }

signals:
    void rateChanged(float rate);
    void currentItemChanged();

private:
    struct Shared;
    void itemStatusChanged(PlayerItem* item);
    // Starts the render of a ready item: its renderer (and every track's
    // units, through the taps) is made on a worker, and rendererPrepared
    // takes it up on the main thread and starts the render thread.
    void startRendering();
    void rendererPrepared(std::unique_ptr<Renderer> renderer, uint64_t generation, bool prepared);
    void stopRendering();
    void requestPosition(int64_t frame, bool fromSeek);
    void poll();
    void updateTimers();
    void updateOutputSleep();
    void sleepOutput();
    void wakeOutput();
    // Runs the output's suspend (`toSleep`) or resume on outputCall_; its
    // result comes back to outputCallEnded on the main thread.
    void startOutputCall(bool toSleep);
    void outputCallEnded(bool toSleep, bool ok, const QString& error);
    void notifyObservers();
    void renderLoop();
    void outputCallback(float* out, int frames);

    std::unique_ptr<AudioOutput> output_;
    std::shared_ptr<PlayerItem> item_;
    std::unique_ptr<Renderer> renderer_;
    float rate_ = 0.0f;
    std::atomic<float> volume_{1.0f};
    std::unique_ptr<Shared> shared_;
    std::thread renderThread_;
    // The worker making the next renderer. A prepare that an item change or
    // a stop has made stale (its generation is not prepareGeneration_) is
    // waited for and freed by the stop, so that no renderer of a gone item
    // holds a tap afterwards; the current item's starts instead.
    std::thread prepareThread_;
    std::shared_ptr<std::unique_ptr<Renderer>> preparingRenderer_;
    uint64_t prepareGeneration_ = 0;
    bool preparing_ = false;

    uint64_t pendingSeekGen_ = 0;
    int64_t pendingSeekFrame_ = 0;
    int64_t requestedFrame_ = 0;  // the last position asked of the render thread
    std::function<void(bool)> pendingSeekCompletion_;
    bool endPosted_ = false;
    QTimer pollTimer_;
    // How long an idle player waits before its output sleeps: a pause and a
    // play soon after need no wake-up.
    static constexpr int kOutputSleepDelayMs = 1000;
    QTimer sleepTimer_;
    // Where the output is between awake and asleep. Only while it is asleep
    // is the main thread the ring's reader.
    enum class OutputState { Awake, Sleeping, Asleep, Waking };
    OutputState outputState_ = OutputState::Awake;
    bool outputAsleep() const { return outputState_ == OutputState::Asleep; }
    std::thread outputCall_;  // the suspend or resume under way
    bool liveInput_ = false;
    std::shared_ptr<PlaybackClock> clock_ = std::make_shared<PlaybackClock>();

    struct Observer {
        int intervalMs;
        std::function<void(MediaTime)> block;
        std::unique_ptr<QTimer> timer;
    };
    std::map<TimeObserverToken, Observer> observers_;
    TimeObserverToken nextToken_ = 1;
};
