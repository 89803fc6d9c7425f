// The bound on device calls that can stall, the gate that keeps a device's
// thread out of its owner, and the PortAudio streams that use both, on the
// test JACK server.
#include "platform/audio/AudioInput.h"
#include "platform/audio/AudioOutput.h"
#include "platform/audio/DeviceCalls.h"
#include "support/TestSupport.h"

#include <jack/jack.h>

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using testsupport::waitUntil;

// Keeps the warnings logged while it lives.
class WarningLog {
public:
    WarningLog() {
        instance_ = this;
        previous_ = qInstallMessageHandler(&WarningLog::handle);
    }
    ~WarningLog() {
        qInstallMessageHandler(previous_);
        instance_ = nullptr;
    }
    QStringList warnings() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return warnings_;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtWarningMsg || !instance_) return;
        std::lock_guard<std::mutex> lock(instance_->mutex_);
        instance_->warnings_.append(text);
    }
    static inline WarningLog* instance_ = nullptr;
    QtMessageHandler previous_ = nullptr;
    mutable std::mutex mutex_;
    QStringList warnings_;
};

TEST(DeviceCalls, AWorkThatFinishesIsReportedAndNothingRunsAfterIt) {
    WarningLog log;
    bool worked = false;
    auto tailRan = std::make_shared<std::atomic<bool>>(false);
    // A limit far beyond the work: the call returns when the work does.
    EXPECT_TRUE(devicecall::finishWithin(
        std::chrono::minutes(10), "late", [&] { worked = true; }, [tailRan] { *tailRan = true; }));
    EXPECT_TRUE(worked);
    EXPECT_FALSE(*tailRan) << "the after-late step is only for a work the caller left";
    EXPECT_TRUE(log.warnings().isEmpty());
}

TEST(DeviceCalls, AStalledWorkIsSaidAndLeftToItselfWithWhatItTouches) {
    WarningLog log;
    // The work stalls until the test lets it go; it holds `touched`, as a
    // stuck stop holds its stream.
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    auto touched = std::make_shared<std::atomic<int>>(0);
    std::weak_ptr<std::atomic<int>> watch = touched;
    auto order = std::make_shared<std::atomic<int>>(0);
    auto tail = std::make_shared<std::promise<int>>();
    std::future<int> tailSaw = tail->get_future();

    const bool inTime = devicecall::finishWithin(
        std::chrono::milliseconds(1), "The device call did not finish in time; it is left behind.",
        [released, touched, order] {
            released.wait();
            touched->store(1);
            order->store(1);
        },
        [tail, order] { tail->set_value(order->load()); });
    EXPECT_FALSE(inTime);
    ASSERT_EQ(log.warnings().size(), 1);
    EXPECT_EQ(log.warnings().front(), QStringLiteral("The device call did not finish in time; it is left behind."));

    // The caller lets go of its share: the work still has it.
    touched.reset();
    EXPECT_FALSE(watch.expired());
    release->set_value();
    ASSERT_EQ(tailSaw.wait_for(std::chrono::minutes(1)), std::future_status::ready);
    EXPECT_EQ(tailSaw.get(), 1) << "the after-late step runs once the work has returned";
    // The work's thread lets go of what it held once both have run.
    EXPECT_TRUE(waitUntil([&] { return watch.expired(); }, 60000));
}

// What a device's callback reaches: the gate and a value the callback
// writes, shared by the owner and whatever keeps it for a late callback.
struct DeviceLink {
    CallbackGate gate;
    int64_t written = 0;
};

TEST(CallbackGate, LetsCallbacksInOnlyWhileOpenAndClosesOnceTheyHaveLeft) {
    auto link = std::make_shared<DeviceLink>();
    CallbackGate& gate = link->gate;
    EXPECT_FALSE(CallbackGate::Pass(gate)) << "closed until opened";
    gate.open();
    auto inside = std::make_unique<CallbackGate::Pass>(gate);
    ASSERT_TRUE(*inside);
    EXPECT_EQ(gate.inside(), 1);

    // close() waits for the callback inside to leave.
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        EXPECT_TRUE(gate.close(link, std::chrono::minutes(10)));
        closed = true;
    });
    ASSERT_TRUE(waitUntil([&] { return !gate.isOpen(); }));
    EXPECT_FALSE(closed.load());
    inside.reset();  // the callback returns: its pass lets it out
    closer.join();
    EXPECT_TRUE(closed.load());
    EXPECT_EQ(gate.inside(), 0);
    EXPECT_FALSE(CallbackGate::Pass(gate));
    EXPECT_EQ(gate.inside(), 0) << "a pass refused at a closed gate holds nothing";
    gate.open();
    EXPECT_TRUE(CallbackGate::Pass(gate));
    EXPECT_EQ(gate.inside(), 0);
}

// A device thread that calls back without pause: once close() has returned,
// no call is inside and none comes after.
TEST(CallbackGate, NoCallbackReachesTheOwnerAfterClose) {
    auto link = std::make_shared<DeviceLink>();
    link->gate.open();
    std::atomic<bool> run{true};
    std::atomic<int64_t> calls{0};
    std::thread device([&] {
        while (run.load()) {
            if (CallbackGate::Pass pass(link->gate); pass) calls.fetch_add(1);
        }
    });
    ASSERT_TRUE(waitUntil([&] { return calls.load() > 1000; }));
    EXPECT_TRUE(link->gate.close(link));
    const int64_t atClose = calls.load();
    testsupport::spin(50);
    EXPECT_EQ(calls.load(), atClose);
    run = false;
    device.join();
}

// A callback that hangs inside past the bound (a stalled device, a plug-in
// stuck in its render): close() returns at the bound and says so, the gate
// stays shut, and what the callback reaches outlives the owner's share until
// the callback has left; then it is freed. The callback writes into the
// link after the owner has let go of it: a sanitized build sees any free
// that came first.
TEST(CallbackGate, ACallbackThatHangsPastTheBoundKeepsItsStateUntilItLeaves) {
    WarningLog log;
    auto link = std::make_shared<DeviceLink>();
    std::weak_ptr<DeviceLink> watch = link;
    DeviceLink* reached = link.get();  // as a device holds it: a plain pointer
    link->gate.open();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> entered{false};
    std::thread device([reached, released, &entered] {
        CallbackGate::Pass pass(reached->gate);
        if (!pass) return;
        entered = true;
        released.wait();
        reached->written = 42;
    });
    ASSERT_TRUE(waitUntil([&] { return entered.load(); }));

    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(link->gate.close(link, std::chrono::milliseconds(50)));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30)) << "close waits within its bound";
    ASSERT_EQ(log.warnings().size(), 1);
    EXPECT_TRUE(log.warnings().front().contains(QStringLiteral("did not return in time")));
    EXPECT_FALSE(link->gate.isOpen());

    link.reset();  // the owner lets go of its share at once
    testsupport::spin(50);
    EXPECT_FALSE(watch.expired()) << "the state went while the callback was inside";

    release.set_value();
    device.join();
    EXPECT_TRUE(waitUntil([&] { return watch.expired(); }, 60000)) << "the state is freed once the callback left";
}

// The input stream of the default device (the test server's capture ports):
// started and stopped again and again, its callback is never called after
// stop() has returned, and it can be started again.
TEST(AudioInputStream, NoCallbackAfterStopOverRoundsOfStartAndStop) {
    const auto device = audioinput::defaultDevice();
    ASSERT_TRUE(device) << "the test JACK server should offer an input";
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        QString error;
        auto stream = AudioInputStream::open(*device, 48000, &error);
        ASSERT_TRUE(stream) << error.toStdString();
        for (int start = 0; start < 2; ++start) {
            auto calls = std::make_shared<std::atomic<int64_t>>(0);
            ASSERT_TRUE(stream->start([calls](const float*, int) { calls->fetch_add(1); }, [] {}, &error))
                << error.toStdString();
            ASSERT_TRUE(waitUntil([&] { return calls->load() > 2; }, 20000));
            stream->stop();
            EXPECT_FALSE(stream->isRunning());
            const int64_t atStop = calls->load();
            testsupport::spin(100);
            EXPECT_EQ(calls->load(), atStop);
        }
    }
}

// The same for PortAudio's output on the test server, with a suspend and a
// resume between start and stop.
TEST(PortAudioOutput, NoCallbackAfterStopOrSuspendAndTheSameCallbackAfterResume) {
    QString error;
    auto output = PortAudioOutput::open(&error);
    ASSERT_TRUE(output) << error.toStdString();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        auto calls = std::make_shared<std::atomic<int64_t>>(0);
        ASSERT_TRUE(output->start([calls](float* out, int frames) {
            std::fill_n(out, frames * 2, 0.0f);
            calls->fetch_add(1);
        }, &error)) << error.toStdString();
        ASSERT_TRUE(waitUntil([&] { return calls->load() > 2; }, 20000));
        ASSERT_TRUE(output->suspend());
        EXPECT_TRUE(output->isSuspended());
        const int64_t asleep = calls->load();
        testsupport::spin(100);
        EXPECT_EQ(calls->load(), asleep);
        ASSERT_TRUE(output->resume(&error)) << error.toStdString();
        ASSERT_TRUE(waitUntil([&] { return calls->load() > asleep + 2; }, 20000));
        output->stop();
        EXPECT_FALSE(output->isRunning());
        const int64_t atStop = calls->load();
        testsupport::spin(100);
        EXPECT_EQ(calls->load(), atStop);
    }
}

// JACK's output over rounds of sleep and wake: asleep, its client is closed
// (its name is free on the server) and the callback is not called; woken, a
// client of the same name calls the same callback again; stopped, no call
// comes after stop() has returned.
TEST(JackAudioOutput, SleepsWithoutAClientAndWakesUnderItsName) {
    QString error;
    auto output = JackAudioOutput::open(&error);
    ASSERT_TRUE(output) << error.toStdString();
    QString name = output->clientName();
    auto calls = std::make_shared<std::atomic<int64_t>>(0);
    ASSERT_TRUE(output->start([calls](float* out, int frames) {
        std::fill_n(out, frames * 2, 0.0f);
        calls->fetch_add(1);
    }, &error)) << error.toStdString();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(waitUntil([&] { return calls->load() > 2; }, 20000));
        ASSERT_TRUE(output->suspend());
        const int64_t asleep = calls->load();
        // The test server is shared with the other test processes, whose
        // outputs take the first free "Trevalune" name: one of them may take
        // this one while it is free.
        auto nameIsFree = [&] {
            jack_client_t* probe = jack_client_open(name.toUtf8().constData(),
                                                    jack_options_t(JackNoStartServer | JackUseExactName), nullptr);
            if (probe) jack_client_close(probe);
            return probe != nullptr;
        };
        testsupport::spin(100);
        EXPECT_EQ(calls->load(), asleep);
        ASSERT_TRUE(output->resume(&error)) << error.toStdString();
        // Woken, it takes its name again, unless another client holds it now.
        if (output->clientName() != name)
            EXPECT_FALSE(nameIsFree()) << "woken under another name though its own was free";
        name = output->clientName();
        ASSERT_TRUE(waitUntil([&] { return calls->load() > asleep + 2; }, 20000));
        calls->store(0);
    }
    output->stop();
    const int64_t atStop = calls->load();
    testsupport::spin(100);
    EXPECT_EQ(calls->load(), atStop);
}

}  // namespace
