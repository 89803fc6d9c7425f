#include "platform/media/MediaWorkers.h"

#include <QThread>

#include <algorithm>

namespace mediaworkers {

QThreadPool& loadPool() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        p->setExpiryTimeout(5000);
        return p;
    }();
    return *pool;
}

QThreadPool& decodePool() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(std::clamp(QThread::idealThreadCount() / 2, 1, 4));
        p->setExpiryTimeout(5000);
        return p;
    }();
    return *pool;
}

QThreadPool& picturePool() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(2);
        p->setExpiryTimeout(5000);
        return p;
    }();
    return *pool;
}

void finishWork() {
    for (QThreadPool* pool : {&loadPool(), &decodePool(), &picturePool()}) {
        pool->clear();
        pool->waitForDone();
    }
}

}  // namespace mediaworkers
