#pragma once

#include <atomic>
#include <cstdint>

// Marks the code that runs on a render thread. Inside a RealtimeScope the
// rules of the render threads hold: no allocation, no blocking lock, no wait
// for the main thread. Test builds count allocations made inside a scope.
namespace realtime {

bool inRealtimeScope();

class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

// Counts violations reported by checkers (allocation hooks in tests).
void reportViolation();
uint64_t violationCount();

}  // namespace realtime
