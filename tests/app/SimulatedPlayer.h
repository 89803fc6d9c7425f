#pragma once

#include "app/TransportPlayer.h"

#include <QElapsedTimer>
#include <QTimer>

// A player whose item is only a length and a status: its time runs with the
// wall clock at its rate, and seeks finish on the next turn of the event
// loop (a newer seek interrupts an older one). It stands in for the audio
// player in the tests of the controller's transport logic.
class SimulatedPlayer : public TransportPlayer {
public:
    // Replaces the item (or removes it with hasItem false); the status starts unknown.
    void setItem(bool hasItem, double lengthSeconds) {
        hasItem_ = hasItem;
        length_ = MediaTime::fromSeconds(lengthSeconds, 44100);
        status_ = StatusUnknown;
        setTimeNoSignal(MediaTime::zero());
        emit currentItemStatusChanged(hasItem ? int(StatusUnknown) : NoItem);
    }
    void setStatus(ItemStatus status) {
        status_ = status;
        emit currentItemStatusChanged(status);
    }
    void setTimeNoSignal(const MediaTime& t) {
        base_ = t;
        clock_.restart();
    }

    bool hasCurrentItem() const override { return hasItem_; }
    ItemStatus currentItemStatus() const override { return hasItem_ ? status_ : StatusUnknown; }
    MediaTime currentItemDuration() const override { return hasItem_ ? length_ : MediaTime::zero(); }
    MediaTime currentTime() const override {
        if (rate_ == 0.0f || !clock_.isValid()) return base_;
        MediaTime t = base_ + MediaTime::fromSeconds(clock_.elapsed() / 1000.0 * rate_, 44100);
        return maxTime(MediaTime::zero(), minTime(t, length_));
    }
    float rate() const override { return rate_; }
    void setRate(float rate) override {
        if (rate == rate_) return;
        setTimeNoSignal(currentTime());
        rate_ = rate;
        emit rateChanged(rate);
    }
    float volume() const override { return volume_; }
    void setVolume(float volume) override { volume_ = volume; }

    void seekToTime(const MediaTime& time, const MediaTime&, const MediaTime&,
                    SeekCompletion completion) override {
        ++seeks;
        lastSeekTarget = time;
        int generation = ++seekGeneration_;
        QTimer::singleShot(0, this, [this, time, generation, completion] {
            bool finished = generation == seekGeneration_;
            if (finished) setTimeNoSignal(time);
            if (completion) completion(finished);
            if (finished) notifyTimeJumped();
        });
    }

    int seeks = 0;
    MediaTime lastSeekTarget;

private:
    bool hasItem_ = false;
    ItemStatus status_ = StatusUnknown;
    MediaTime length_ = MediaTime::zero();
    MediaTime base_ = MediaTime::zero();
    QElapsedTimer clock_;
    float rate_ = 0.0f;
    float volume_ = 1.0f;
    int seekGeneration_ = 0;
};
