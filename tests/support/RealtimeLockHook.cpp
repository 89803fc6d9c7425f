// A blocking lock taken inside a realtime::Scope is a fault, like an
// allocation: count it, so that render tests can check that a render path
// never waits on a lock. A test program that wants the check adds this file.
#include "platform/core/Realtime.h"

#include <dlfcn.h>
#include <pthread.h>

namespace {
using LockFn = int (*)(pthread_mutex_t*);
LockFn realLock() {
    static LockFn fn = reinterpret_cast<LockFn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    return fn;
}
[[maybe_unused]] const LockFn resolvedAtStart = realLock();
}  // namespace

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    if (realtime::inRealtimeScope()) realtime::reportViolation();
    return realLock()(mutex);
}
