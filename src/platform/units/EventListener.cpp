#include "platform/units/EventListener.h"

#include "platform/units/Unit.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <sys/eventfd.h>
#include <unistd.h>

namespace units {

// ---------------------------------------------------------------- listener

EventListener::EventListener(Handler handler, double notificationInterval,
                             double valueChangeGranularity)
    : handler_(std::move(handler)),
      interval_(std::max(0.0, notificationInterval)),
      granularity_(std::max(0.0, valueChangeGranularity)) {
    EventHub::instance().addListener(this);
}

EventListener::~EventListener() { EventHub::instance().removeListener(this); }

Status EventListener::addEventType(void* object, const UnitEvent& event) {
    if (!event.unit) return Status::ParamError;
    if (!isRegistered(object, event)) registrations_.emplace_back(object, event);
    return Status::Ok;
}

Status EventListener::removeEventType(void* object, const UnitEvent& event) {
    auto it = std::find_if(registrations_.begin(), registrations_.end(), [&](const auto& r) {
        return r.first == object && r.second == event;
    });
    if (it == registrations_.end()) return Status::InvalidPropertyValue;
    registrations_.erase(it);
    return Status::Ok;
}

bool EventListener::isRegistered(void* object, const UnitEvent& event) const {
    return std::any_of(registrations_.begin(), registrations_.end(), [&](const auto& r) {
        return r.first == object && r.second == event;
    });
}

// ---------------------------------------------------------------- posting

Status setParameterAndNotify(EventListener* sendingListener, void* sendingObject, Unit* unit,
                             ParameterID id, Scope scope, Element element, float value,
                             uint32_t bufferOffsetFrames) {
    if (!unit) return Status::ParamError;
    Status s = unit->setParameter(id, scope, element, value, bufferOffsetFrames);
    if (!ok(s)) return s;
    return notifyParameterChange(sendingListener, sendingObject, unit, id, scope, element);
}

Status notifyParameterChange(EventListener* sendingListener, void* sendingObject, Unit* unit,
                             ParameterID id, Scope scope, Element element) {
    return notifyEvent(sendingListener, sendingObject,
                       UnitEvent::parameterEvent(UnitEvent::Type::ParameterValueChange, unit, id,
                                                 scope, element));
}

Status notifyEvent(EventListener* sendingListener, void* sendingObject, const UnitEvent& event) {
    if (!event.unit) return Status::ParamError;
    float value = 0.0f;
    if (event.isParameterEvent()) {
        Status s = event.unit->getParameter(event.parameter, event.scope, event.element, &value);
        if (!ok(s)) return s;
    }
    EventHub::instance().post(event, value, sendingListener, sendingObject);
    return Status::Ok;
}

// ---------------------------------------------------------------- hub

EventHub& EventHub::instance() {
    static EventHub* hub = new EventHub;  // lives as long as the program
    return *hub;
}

EventHub::EventHub() : cells_(new Cell[kCapacity]) {
    for (size_t i = 0; i < kCapacity; ++i) cells_[i].sequence.store(i, std::memory_order_relaxed);
    clock_.start();
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &EventHub::deliver);
    wakeDescriptor_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (QCoreApplication* app = QCoreApplication::instance()) moveToThread(app->thread());
}

void EventHub::watchWakeUps() {
    // Made with the first listener, on the main thread once its event loop
    // exists (the hub itself may be made earlier). A wake written before
    // then is still waiting in the descriptor.
    if (wakeNotifier_ || wakeDescriptor_ < 0 || !QCoreApplication::instance()) return;
    wakeNotifier_ = new QSocketNotifier(wakeDescriptor_, QSocketNotifier::Read, this);
    connect(wakeNotifier_, &QSocketNotifier::activated, this, [this] {
        uint64_t count;
        [[maybe_unused]] auto n = ::read(wakeDescriptor_, &count, sizeof count);
        startDelivering();
    });
}

void EventHub::wakeUp() {
    // Pairs with the fence in deliver(): either the main thread sees the
    // event just queued, or this sees the timer stopped and wakes it.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (awake_.exchange(true)) return;
    if (wakeDescriptor_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeDescriptor_, &one, sizeof one);
}

void EventHub::startDelivering() {
    // With no listener there is no one to deliver to: the hub stays asleep,
    // so that the first post once a listener has come wakes it again.
    if (listeners_.empty()) {
        awake_.store(false);
        return;
    }
    awake_.store(true);
    if (!timer_.isActive()) timer_.start();
}

uint64_t EventHub::hostTimeNow() {
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

// A bounded multi-producer queue (sequence numbers per cell): no allocation,
// no lock, safe from any number of render threads.
void EventHub::post(const UnitEvent& event, float value, EventListener* sendingListener,
                    void* sendingObject) {
    if (listenerCount_.load(std::memory_order_acquire) == 0) return;
    size_t pos = enqueue_.load(std::memory_order_relaxed);
    for (;;) {
        Cell& cell = cells_[pos % kCapacity];
        const size_t seq = cell.sequence.load(std::memory_order_acquire);
        const intptr_t diff = intptr_t(seq) - intptr_t(pos);
        if (diff == 0) {
            if (enqueue_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                cell.record = {event, value, sendingListener, sendingObject, hostTimeNow()};
                cell.sequence.store(pos + 1, std::memory_order_release);
                wakeUp();
                return;
            }
        } else if (diff < 0) {
            return;  // full: the event is dropped
        } else {
            pos = enqueue_.load(std::memory_order_relaxed);
        }
    }
}

void EventHub::route() {
    for (;;) {
        size_t pos = dequeue_.load(std::memory_order_relaxed);
        Cell& cell = cells_[pos % kCapacity];
        const size_t seq = cell.sequence.load(std::memory_order_acquire);
        if (intptr_t(seq) - intptr_t(pos + 1) < 0) return;  // empty
        const Record r = cell.record;
        dequeue_.store(pos + 1, std::memory_order_relaxed);
        cell.sequence.store(pos + kCapacity, std::memory_order_release);

        const int64_t now = nowMs();
        for (EventListener* l : listeners_) {
            for (const auto& [object, event] : l->registrations_) {
                if (!(event == r.event)) continue;
                if (r.sender == l && (!r.senderObject || r.senderObject == object)) continue;
                if (r.event.type == UnitEvent::Type::ParameterValueChange) {
                    // Merge with a value change of the same parameter still waiting.
                    auto same = std::find_if(l->pending_.begin(), l->pending_.end(),
                                             [&](const EventListener::Pending& p) {
                                                 return p.object == object && p.event == r.event &&
                                                        now - p.queuedMs <
                                                            int64_t(l->granularity_ * 1000.0);
                                             });
                    if (same != l->pending_.end()) {
                        same->value = r.value;
                        same->hostTime = r.hostTime;
                        continue;
                    }
                }
                l->pending_.push_back({object, r.event, r.hostTime, r.value, now});
            }
        }
    }
}

void EventHub::deliver() {
    std::unique_lock lock(mutex_);
    if (delivering_) return;
    delivering_ = true;
    route();
    const int64_t now = nowMs();
    // Copy the list: a handler may create or destroy listeners.
    const std::vector<EventListener*> listeners = listeners_;
    for (EventListener* l : listeners) {
        if (std::find(listeners_.begin(), listeners_.end(), l) == listeners_.end()) continue;
        if (l->pending_.empty()) continue;
        if (now - l->lastDeliveryMs_ < int64_t(l->interval_ * 1000.0)) continue;
        l->lastDeliveryMs_ = now;
        std::deque<EventListener::Pending> batch;
        batch.swap(l->pending_);
        for (const auto& p : batch) {
            if (std::find(listeners_.begin(), listeners_.end(), l) == listeners_.end()) break;
            // A unit that went away during this batch is skipped.
            if (!l->isRegistered(p.object, p.event)) continue;
            l->handler_(p.object, p.event, p.hostTime, p.value);
        }
    }
    delivering_ = false;
    // Nothing left to deliver: the timer sleeps until the next post.
    const bool waiting = std::any_of(listeners_.begin(), listeners_.end(),
                                     [](const EventListener* l) { return !l->pending_.empty(); });
    if (waiting) return;
    awake_.store(false);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    const size_t pos = dequeue_.load(std::memory_order_relaxed);
    const bool queued = intptr_t(cells_[pos % kCapacity].sequence.load(std::memory_order_acquire)) -
                            intptr_t(pos + 1) >= 0;
    if (queued)
        awake_.store(true);
    else
        timer_.stop();
}

void EventHub::unitGone(Unit* unit) {
    std::unique_lock lock(mutex_);
    if (listeners_.empty()) return;
    route();
    for (EventListener* l : listeners_) {
        std::erase_if(l->pending_, [&](const auto& p) { return p.event.unit == unit; });
        std::erase_if(l->registrations_, [&](const auto& r) { return r.second.unit == unit; });
    }
}

void EventHub::addListener(EventListener* listener) {
    std::unique_lock lock(mutex_);
    // What was posted while no one listened is for no one.
    if (listeners_.empty()) route();
    listeners_.push_back(listener);
    listenerCount_.store(int(listeners_.size()), std::memory_order_release);
    watchWakeUps();
    // Events posted before the first listener came were dropped; the timer
    // starts with the first post.
}

void EventHub::removeListener(EventListener* listener) {
    std::unique_lock lock(mutex_);
    route();  // hand queued events to the others before forgetting this one
    std::erase(listeners_, listener);
    listenerCount_.store(int(listeners_.size()), std::memory_order_release);
    if (listeners_.empty()) {
        // Asleep, not merely stopped: a post that found the hub awake would
        // not wake it, and no event would be delivered to the listeners
        // that come next.
        timer_.stop();
        awake_.store(false);
    }
}

}  // namespace units
