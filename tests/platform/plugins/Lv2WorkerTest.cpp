#include "platform/units/Lv2Worker.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace units;

namespace {

// The worker side of a plug-in: work() doubles each byte of a request and
// responds; work_response() and end_run() record what reached the "render"
// side.
struct FakePluginSide {
    std::thread::id workThread;
    std::vector<std::string> responses;
    int endRuns = 0;
    static LV2_Worker_Status work(LV2_Handle h, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle rh,
                                  uint32_t size, const void* data) {
        auto* self = static_cast<FakePluginSide*>(h);
        self->workThread = std::this_thread::get_id();
        std::string s(static_cast<const char*>(data), size);
        s += s;
        return respond(rh, uint32_t(s.size()), s.data());
    }
    static LV2_Worker_Status response(LV2_Handle h, uint32_t size, const void* body) {
        static_cast<FakePluginSide*>(h)->responses.emplace_back(static_cast<const char*>(body), size);
        return LV2_WORKER_SUCCESS;
    }
    static LV2_Worker_Status endRun(LV2_Handle h) {
        ++static_cast<FakePluginSide*>(h)->endRuns;
        return LV2_WORKER_SUCCESS;
    }
};

}  // namespace

// Work scheduled from run() is done on the worker's own thread and answered
// back, in order, on the next delivery; a request larger than the ring is
// refused rather than written over.
TEST(Lv2Worker, SchedulesOnItsThreadAndAnswersInOrder) {
    FakePluginSide side;
    LV2_Worker_Interface iface{&FakePluginSide::work, &FakePluginSide::response, &FakePluginSide::endRun};
    Lv2Worker worker;
    worker.start(&iface, &side);
    auto* schedule = static_cast<LV2_Worker_Schedule*>(worker.feature()->data);
    for (const char* request : {"ab", "cde", "f"})
        ASSERT_EQ(schedule->schedule_work(schedule->handle, uint32_t(std::strlen(request)), request), LV2_WORKER_SUCCESS);
    ASSERT_TRUE(testsupport::waitUntil([&] {
        worker.deliverResponses();
        return side.responses.size() == 3;
    }));
    EXPECT_EQ(side.responses, (std::vector<std::string>{"abab", "cdecde", "ff"}));
    EXPECT_NE(side.workThread, std::this_thread::get_id());
    worker.endRun();
    EXPECT_EQ(side.endRuns, 1);
    std::vector<char> huge(1 << 17, 'x');
    EXPECT_EQ(schedule->schedule_work(schedule->handle, uint32_t(huge.size()), huge.data()), LV2_WORKER_ERR_NO_SPACE);
}
