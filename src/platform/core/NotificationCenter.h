#pragma once

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <vector>

// Named notifications between the parts of the application, delivered
// synchronously on the main thread to every observer whose name and object
// filter match. An empty name or a null object in an observer matches any.
struct Notification {
    QString name;
    const void* object = nullptr;
    QVariantMap userInfo;
};

class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;
    using ObserverId = quint64;

    static NotificationCenter& defaultCenter();

    ObserverId addObserver(const void* observer, const QString& name, const void* object,
                           Handler handler);
    void removeObserver(ObserverId id);
    // Every registration of `observer`, or only those for `name` (and `object`).
    void removeObserver(const void* observer);
    void removeObserver(const void* observer, const QString& name, const void* object = nullptr);

    // Calls the matching observers in the order they were added. Observers
    // added while delivering do not receive this notification; observers
    // removed while delivering are not called any more.
    void post(const QString& name, const void* object = nullptr, const QVariantMap& userInfo = {});

    int observerCount() const;

private:
    struct Entry {
        ObserverId id;
        const void* observer;
        QString name;
        const void* object;
        Handler handler;
        bool removed = false;
    };
    void erase(const std::function<bool(const Entry&)>& match);

    std::vector<std::shared_ptr<Entry>> entries_;
    ObserverId nextId_ = 1;
};
