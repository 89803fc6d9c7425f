#include "platform/core/NotificationCenter.h"

#include <algorithm>

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::ObserverId NotificationCenter::addObserver(const void* observer,
                                                               const QString& name,
                                                               const void* object,
                                                               Handler handler) {
    auto e = std::make_shared<Entry>();
    e->id = nextId_++;
    e->observer = observer;
    e->name = name;
    e->object = object;
    e->handler = std::move(handler);
    entries_.push_back(e);
    return e->id;
}

void NotificationCenter::erase(const std::function<bool(const Entry&)>& match) {
    auto it = std::remove_if(entries_.begin(), entries_.end(), [&](const auto& e) {
        if (!match(*e)) return false;
        e->removed = true;  // a delivery under way skips it
        return true;
    });
    entries_.erase(it, entries_.end());
}

void NotificationCenter::removeObserver(ObserverId id) {
    erase([id](const Entry& e) { return e.id == id; });
}

void NotificationCenter::removeObserver(const void* observer) {
    erase([observer](const Entry& e) { return e.observer == observer; });
}

void NotificationCenter::removeObserver(const void* observer, const QString& name,
                                        const void* object) {
    erase([&](const Entry& e) {
        return e.observer == observer && (name.isEmpty() || e.name == name) &&
               (object == nullptr || e.object == object);
    });
}

void NotificationCenter::post(const QString& name, const void* object,
                              const QVariantMap& userInfo) {
    const Notification n{name, object, userInfo};
    const auto snapshot = entries_;
    for (const auto& e : snapshot) {
        if (e->removed) continue;
        if (!e->name.isEmpty() && e->name != name) continue;
        if (e->object != nullptr && e->object != object) continue;
        e->handler(n);
    }
}

int NotificationCenter::observerCount() const { return static_cast<int>(entries_.size()); }
