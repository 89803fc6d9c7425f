#include "platform/units/Lv2Worker.h"

#include <cstring>

namespace units {

Lv2MessageRing::Lv2MessageRing(uint32_t capacity) : bytes_(new uint8_t[capacity]), capacity_(capacity) {}

uint32_t Lv2MessageRing::space() const {
    uint32_t r = readPos_.load(std::memory_order_acquire);
    uint32_t w = writePos_.load(std::memory_order_relaxed);
    return capacity_ - (w - r);
}

void Lv2MessageRing::copyIn(uint32_t at, const void* data, uint32_t size) {
    uint32_t start = at % capacity_;
    uint32_t first = std::min(size, capacity_ - start);
    std::memcpy(bytes_.get() + start, data, first);
    std::memcpy(bytes_.get(), static_cast<const uint8_t*>(data) + first, size - first);
}

void Lv2MessageRing::copyOut(uint32_t at, void* data, uint32_t size) const {
    uint32_t start = at % capacity_;
    uint32_t first = std::min(size, capacity_ - start);
    std::memcpy(data, bytes_.get() + start, first);
    std::memcpy(static_cast<uint8_t*>(data) + first, bytes_.get(), size - first);
}

bool Lv2MessageRing::write(uint32_t size, const void* data) {
    if (uint64_t(size) + sizeof(uint32_t) > space()) return false;
    uint32_t w = writePos_.load(std::memory_order_relaxed);
    copyIn(w, &size, sizeof size);
    copyIn(w + sizeof size, data, size);
    writePos_.store(w + sizeof size + size, std::memory_order_release);
    return true;
}

bool Lv2MessageRing::read(std::vector<uint8_t>& buffer, uint32_t* size) {
    uint32_t r = readPos_.load(std::memory_order_relaxed);
    uint32_t w = writePos_.load(std::memory_order_acquire);
    if (w == r) return false;
    copyOut(r, size, sizeof *size);
    if (buffer.size() < *size) buffer.resize(*size);
    copyOut(r + sizeof *size, buffer.data(), *size);
    readPos_.store(r + sizeof *size + *size, std::memory_order_release);
    return true;
}

Lv2Worker::Lv2Worker() {
    workBuffer_.resize(4096);
    responseBuffer_.resize(responses_.capacity());  // never grows on the render thread
}

Lv2Worker::~Lv2Worker() {
    quit_.store(true);
    pending_.release();
    if (thread_.joinable()) thread_.join();
}

void Lv2Worker::start(const LV2_Worker_Interface* iface, LV2_Handle handle) {
    iface_ = iface;
    handle_ = handle;
    if (iface_ && iface_->work) thread_ = std::thread([this] { run(); });
}

LV2_Worker_Status Lv2Worker::schedule(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data) {
    auto* self = static_cast<Lv2Worker*>(handle);
    // Normally only run() schedules; a second scheduler at the same moment
    // (state restore on the main thread) is told there is no room.
    if (self->scheduling_.test_and_set(std::memory_order_acquire)) return LV2_WORKER_ERR_NO_SPACE;
    bool ok = self->requests_.write(size, data);
    self->scheduling_.clear(std::memory_order_release);
    if (!ok) return LV2_WORKER_ERR_NO_SPACE;
    self->pending_.release();
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status Lv2Worker::respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
    auto* self = static_cast<Lv2Worker*>(handle);
    return self->responses_.write(size, data) ? LV2_WORKER_SUCCESS : LV2_WORKER_ERR_NO_SPACE;
}

void Lv2Worker::run() {
    for (;;) {
        pending_.acquire();
        if (quit_.load()) return;
        uint32_t size = 0;
        if (requests_.read(workBuffer_, &size)) iface_->work(handle_, &Lv2Worker::respond, this, size, workBuffer_.data());
    }
}

void Lv2Worker::deliverResponses() {
    if (!iface_ || !iface_->work_response) return;
    uint32_t size = 0;
    while (responses_.read(responseBuffer_, &size)) iface_->work_response(handle_, size, responseBuffer_.data());
}

void Lv2Worker::endRun() {
    if (iface_ && iface_->end_run) iface_->end_run(handle_);
}

}  // namespace units
