#include "platform/core/Realtime.h"

namespace realtime {
namespace {
thread_local int depth = 0;
std::atomic<uint64_t> violations{0};
}  // namespace

bool inRealtimeScope() { return depth > 0; }
Scope::Scope() { ++depth; }
Scope::~Scope() { --depth; }
void reportViolation() { violations.fetch_add(1, std::memory_order_relaxed); }
uint64_t violationCount() { return violations.load(std::memory_order_relaxed); }

}  // namespace realtime
