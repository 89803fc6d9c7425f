#pragma once

#include <lv2/core/lv2.h>
#include <lv2/worker/worker.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <semaphore>
#include <thread>
#include <vector>

namespace units {

// A byte ring for one reader and one writer, used to pass worker requests
// and responses between the render thread and the worker thread without
// locks. Each message is its size followed by its bytes.
class Lv2MessageRing {
public:
    explicit Lv2MessageRing(uint32_t capacity);
    bool write(uint32_t size, const void* data);
    // Reads the next message into `buffer` (resized only if it is too small,
    // which the worker thread may do); false when empty.
    bool read(std::vector<uint8_t>& buffer, uint32_t* size);
    uint32_t capacity() const { return capacity_; }

private:
    uint32_t space() const;
    void copyIn(uint32_t at, const void* data, uint32_t size);
    void copyOut(uint32_t at, void* data, uint32_t size) const;
    std::unique_ptr<uint8_t[]> bytes_;
    uint32_t capacity_;
    std::atomic<uint32_t> readPos_{0}, writePos_{0};
};

// The worker:schedule feature: work a plug-in schedules from run() is done on
// a thread of its own, and the responses are handed back to the plug-in on
// the render thread before the next run ends.
class Lv2Worker {
public:
    Lv2Worker();
    ~Lv2Worker();
    // Starts the thread once the instance exists (the plug-in may schedule
    // before, the work then waits).
    void start(const LV2_Worker_Interface* iface, LV2_Handle handle);
    LV2_Feature* feature() { return &feature_; }
    // Render thread: deliver the finished work and call end_run.
    void deliverResponses();
    void endRun();

private:
    static LV2_Worker_Status schedule(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data);
    static LV2_Worker_Status respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data);
    void run();

    const LV2_Worker_Interface* iface_ = nullptr;
    LV2_Handle handle_ = nullptr;
    Lv2MessageRing requests_{1 << 16};
    Lv2MessageRing responses_{1 << 16};
    std::atomic_flag scheduling_ = ATOMIC_FLAG_INIT;  // guards the writer side of requests_
    std::counting_semaphore<1 << 20> pending_{0};
    std::atomic<bool> quit_{false};
    std::thread thread_;
    std::vector<uint8_t> workBuffer_;
    std::vector<uint8_t> responseBuffer_;
    LV2_Worker_Schedule schedule_{this, &Lv2Worker::schedule};
    LV2_Feature feature_{LV2_WORKER__schedule, &schedule_};
};

}  // namespace units
