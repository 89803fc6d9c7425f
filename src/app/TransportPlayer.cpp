#include "app/TransportPlayer.h"

#include <cmath>

TransportPlayer::TransportPlayer(QObject* parent) : QObject(parent) {
    connect(this, &TransportPlayer::rateChanged, this, [this](float rate) {
        for (auto& [token, observer] : observers_) {
            if (rate != 0.0f)
                observer.timer->start();
            else
                observer.timer->stop();
        }
        notifyObservers();
    });
}

TransportPlayer::~TransportPlayer() = default;

int TransportPlayer::addPeriodicTimeObserver(const MediaTime& interval, TimeObserver block) {
    int token = nextToken_++;
    auto* timer = new QTimer(this);
    double seconds = interval.seconds();
    timer->setInterval(std::isfinite(seconds) && seconds > 0 ? int(std::lround(seconds * 1000)) : 500);
    connect(timer, &QTimer::timeout, this, [this, token] {
        auto it = observers_.find(token);
        if (it != observers_.end()) it->second.block(currentTime());
    });
    observers_[token] = Observer{std::move(block), timer};
    if (rate() != 0.0f) timer->start();
    return token;
}

void TransportPlayer::removeTimeObserver(int token) {
    auto it = observers_.find(token);
    if (it == observers_.end()) return;
    it->second.timer->deleteLater();
    observers_.erase(it);
}

void TransportPlayer::notifyTimeJumped() { notifyObservers(); }

void TransportPlayer::notifyObservers() {
    // Copy the blocks: an observer may remove itself while called.
    std::vector<TimeObserver> blocks;
    for (auto& [token, observer] : observers_) blocks.push_back(observer.block);
    MediaTime now = currentTime();
    for (auto& block : blocks) block(now);
}
