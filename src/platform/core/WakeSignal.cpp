#include "platform/core/WakeSignal.h"

#include <climits>
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "a futex is a plain 32-bit word");

namespace {
long futex(const std::atomic<uint32_t>* word, int op, uint32_t value, const timespec* timeout) {
    return ::syscall(SYS_futex, reinterpret_cast<const uint32_t*>(word), op, value, timeout, nullptr, 0);
}
}  // namespace

void WakeSignal::wake() {
    count_.fetch_add(1, std::memory_order_acq_rel);
    futex(&count_, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr);
}

void WakeSignal::waitFor(uint32_t seen, std::chrono::nanoseconds timeout) const {
    if (count_.load(std::memory_order_acquire) != seen) return;
    if (timeout.count() < 0) {
        futex(&count_, FUTEX_WAIT_PRIVATE, seen, nullptr);
        return;
    }
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(timeout);
    const timespec ts{static_cast<time_t>(secs.count()), static_cast<long>((timeout - secs).count())};
    // The kernel compares the word with `seen` before sleeping: a wake() that
    // has already changed it returns at once.
    futex(&count_, FUTEX_WAIT_PRIVATE, seen, &ts);
}
