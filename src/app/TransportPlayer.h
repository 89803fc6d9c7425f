#pragma once

#ifndef Q_MOC_RUN  // moc cannot read <compare>
#include "platform/core/MediaTime.h"
#endif

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>

// The player as the controller drives it: one current item with a status
// and a duration, a rate (0 paused, 1 playing, 2 and 4 fast forward, -2 and
// -4 rewind), a volume, exact seeks whose completion runs on the main
// thread, periodic time observers and the end of the item. All signals are
// delivered on the main thread.
class TransportPlayer : public QObject {
    Q_OBJECT
public:
    enum ItemStatus { StatusUnknown = 0, StatusReadyToPlay = 1, StatusFailed = 2 };
    // The value currentItemStatusChanged carries when there is no item.
    static constexpr int NoItem = -1;

    explicit TransportPlayer(QObject* parent = nullptr);
    ~TransportPlayer() override;

    virtual bool hasCurrentItem() const = 0;
    // StatusUnknown without an item.
    virtual ItemStatus currentItemStatus() const = 0;
    // The item's length; zero without an item.
    virtual MediaTime currentItemDuration() const = 0;
    virtual MediaTime currentTime() const = 0;

    virtual float rate() const = 0;
    virtual void setRate(float rate) = 0;
    void play() { setRate(1.0f); }
    void pause() { setRate(0.0f); }

    virtual float volume() const = 0;
    virtual void setVolume(float volume) = 0;

    // Seeks within the tolerances; the completion runs on the main thread
    // with true when the seek finished, false when a later seek interrupted it.
    using SeekCompletion = std::function<void(bool finished)>;
    virtual void seekToTime(const MediaTime& time, const MediaTime& toleranceBefore,
                            const MediaTime& toleranceAfter, SeekCompletion completion) = 0;

    // Calls `block` with the current time every `interval` while the rate is
    // not 0, and whenever the time jumps or the rate changes.
    using TimeObserver = std::function<void(const MediaTime&)>;
    int addPeriodicTimeObserver(const MediaTime& interval, TimeObserver block);
    void removeTimeObserver(int token);

signals:
    void rateChanged(float rate);
    // The current item's status, or NoItem when the item was removed.
    void currentItemStatusChanged(int status);
    void currentItemDidPlayToEnd();

protected:
    // For implementations: the time jumped (a seek finished, a new item).
    void notifyTimeJumped();

private:
    void notifyObservers();
    struct Observer {
        TimeObserver block;
        QTimer* timer;
    };
    std::map<int, Observer> observers_;
    int nextToken_ = 1;
};
