#pragma once

// Events of units, heard on the main thread.
//
// An EventListener registers interest in events of units: a parameter's
// value changing, the begin and end of a gesture on a parameter (a control
// being held), and a property changing (parameter list, class information,
// present preset, band count, ...). Each registration names the object that
// the handler receives with the event. Events are posted from any thread,
// render threads included, without allocating or blocking; they reach the
// handler on the main thread, at most once per notification interval. Within
// the value-change granularity, successive value changes of one parameter
// are delivered once, with the newest value. Gestures and property changes
// are never merged and keep their order.
//
// A parameter set or an event posted with a sending listener (and object)
// is not delivered to that listener's registrations (for that object): the
// control that made the change is not called back.

#include "platform/units/UnitTypes.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

class QSocketNotifier;

namespace units {

class Unit;

struct UnitEvent {
    enum class Type : uint32_t {
        ParameterValueChange = 0,
        BeginParameterChangeGesture = 1,
        EndParameterChangeGesture = 2,
        PropertyChange = 3,
    };
    Type type = Type::ParameterValueChange;
    Unit* unit = nullptr;
    ParameterID parameter = 0;  // parameter events
    PropertyID property = PropertyID::ClassInfo;  // property events
    Scope scope = Scope::Global;
    Element element = 0;

    static UnitEvent parameterEvent(Type type, Unit* unit, ParameterID id,
                                    Scope scope = Scope::Global, Element element = 0) {
        UnitEvent e;
        e.type = type;
        e.unit = unit;
        e.parameter = id;
        e.scope = scope;
        e.element = element;
        return e;
    }
    static UnitEvent propertyEvent(Unit* unit, PropertyID id, Scope scope = Scope::Global,
                                   Element element = 0) {
        UnitEvent e;
        e.type = Type::PropertyChange;
        e.unit = unit;
        e.property = id;
        e.scope = scope;
        e.element = element;
        return e;
    }
    bool isParameterEvent() const { return type != Type::PropertyChange; }
    bool operator==(const UnitEvent& o) const {
        return type == o.type && unit == o.unit && scope == o.scope && element == o.element &&
               (isParameterEvent() ? parameter == o.parameter : property == o.property);
    }
};

class EventListener {
public:
    // The handler gets the registration's object, the event, the host time
    // of the event (nanoseconds of a monotonic clock) and, for parameter
    // events, the parameter's value.
    using Handler = std::function<void(void* object, const UnitEvent& event, uint64_t hostTime,
                                       float value)>;

    // Main thread. Intervals in seconds.
    explicit EventListener(Handler handler, double notificationInterval = 0.1,
                           double valueChangeGranularity = 0.1);
    ~EventListener();
    EventListener(const EventListener&) = delete;
    EventListener& operator=(const EventListener&) = delete;

    // Registering the same (object, event) twice keeps one registration.
    Status addEventType(void* object, const UnitEvent& event);
    Status removeEventType(void* object, const UnitEvent& event);
    bool isRegistered(void* object, const UnitEvent& event) const;

    double notificationInterval() const { return interval_; }
    double valueChangeGranularity() const { return granularity_; }

private:
    friend class EventHub;
    struct Pending {
        void* object;
        UnitEvent event;
        uint64_t hostTime;
        float value;
        int64_t queuedMs;
    };
    Handler handler_;
    double interval_;
    double granularity_;
    std::vector<std::pair<void*, UnitEvent>> registrations_;
    std::deque<Pending> pending_;
    int64_t lastDeliveryMs_ = -1000000;
};

// Sets a parameter and posts its value change (any thread, real-time safe).
Status setParameterAndNotify(EventListener* sendingListener, void* sendingObject, Unit* unit,
                             ParameterID id, Scope scope, Element element, float value,
                             uint32_t bufferOffsetFrames = 0);
// Posts a value change of a parameter with its current value.
Status notifyParameterChange(EventListener* sendingListener, void* sendingObject, Unit* unit,
                             ParameterID id, Scope scope = Scope::Global, Element element = 0);
// Posts any event: gestures (value = the parameter's value), property changes.
Status notifyEvent(EventListener* sendingListener, void* sendingObject, const UnitEvent& event);

// The shared routing of events to listeners. Posting is lock-free into a
// bounded queue (an event is dropped when it is full); a main-thread timer
// routes and delivers. The timer runs only while there is something to
// deliver: the first post after a quiet spell wakes the main thread through
// an event descriptor (one non-blocking write, safe on a render thread), and
// the timer stops once the queue and every listener's batch are empty.
class EventHub : public QObject {
    Q_OBJECT
public:
    static EventHub& instance();

    void post(const UnitEvent& event, float value, EventListener* sendingListener,
              void* sendingObject);
    // Main thread: delivers whatever is due now (the timer calls it too).
    void deliver();
    // Main thread: forgets every queued event and registration of a unit
    // that is going away.
    void unitGone(Unit* unit);

    void addListener(EventListener* listener);
    void removeListener(EventListener* listener);

    static uint64_t hostTimeNow();

private:
    EventHub();
    void route();
    int64_t nowMs() const { return clock_.elapsed(); }

    struct Record {
        UnitEvent event;
        float value;
        EventListener* sender;
        void* senderObject;
        uint64_t hostTime;
    };
    struct Cell {
        std::atomic<size_t> sequence;
        Record record;
    };
    static constexpr size_t kCapacity = 4096;
    Cell* cells_;
    std::atomic<size_t> enqueue_{0};
    std::atomic<size_t> dequeue_{0};
    std::atomic<int> listenerCount_{0};
    // Set by the first post after the timer stopped; cleared by the main
    // thread when it stops the timer.
    std::atomic<bool> awake_{false};
    int wakeDescriptor_ = -1;
    void wakeUp();       // any thread
    void startDelivering();  // main thread
    void watchWakeUps();     // main thread
    QSocketNotifier* wakeNotifier_ = nullptr;
    std::recursive_mutex mutex_;  // main-thread bookkeeping only
    std::vector<EventListener*> listeners_;
    QTimer timer_{this};
    QElapsedTimer clock_;
    bool delivering_ = false;
};

}  // namespace units
