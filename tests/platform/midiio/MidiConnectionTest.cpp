// A JACK client on the test server plays into a connection manager.

#include "platform/core/BoundedQueue.h"
#include "platform/midiio/MidiConnections.h"

#include "support/TestSupport.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using midiio::MidiCommand;
using midiio::MidiConnectionManager;
using midiio::MidiDevice;
using midiio::MidiNoteCommand;
using midiio::MidiPitchBendChangeCommand;
using testsupport::spin;
using testsupport::waitUntil;

struct Message {
    uint8_t length = 0;
    uint8_t bytes[3] = {};
};

// A JACK client with one MIDI output that writes queued messages at its next
// cycles, in order.
class TestPlayer {
public:
    explicit TestPlayer(const char* name) {
        client_ = jack_client_open(name, JackNoStartServer, nullptr);
        if (!client_) return;
        port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, &TestPlayer::process, this);
        if (!port_ || jack_activate(client_) != 0) close();
    }
    ~TestPlayer() { close(); }

    bool isOpen() const { return client_ != nullptr; }
    QString portName() const { return QString::fromUtf8(jack_port_name(port_)); }
    void send(std::initializer_list<uint8_t> bytes) {
        Message m;
        m.length = uint8_t(bytes.size());
        std::copy(bytes.begin(), bytes.end(), m.bytes);
        queue_.push(m);
    }
    void close() {
        if (client_) jack_client_close(client_);
        client_ = nullptr;
    }

private:
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<TestPlayer*>(arg);
        void* buffer = jack_port_get_buffer(self->port_, frames);
        jack_midi_clear_buffer(buffer);
        Message m;
        jack_nframes_t at = 0;
        // A few per cycle, so that one batch may hold several commands.
        while (at < frames && at < 4 && self->queue_.pop(&m))
            jack_midi_event_write(buffer, at++, m.bytes, m.length);
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    realtime::BoundedQueue<Message> queue_{64};
};

// What a connection manager handed its handler, and on which threads.
struct Received {
    std::mutex mutex;
    std::vector<MidiCommand> commands;
    std::vector<uint64_t> stamps;
    std::vector<std::thread::id> threads;
    std::vector<QString> sources;

    MidiConnectionManager::EventHandler handler() {
        return [this](const MidiDevice& source, const std::vector<MidiCommand>& batch) {
            // Other test programs may play on the same server meanwhile.
            if (!source.name.startsWith(QLatin1String("midi-test-player")) &&
                !source.name.startsWith(QLatin1String("Midi Through")))
                return;
            std::lock_guard lock(mutex);
            for (MidiCommand c : batch) {
                stamps.push_back(midiio::midiTimestamp(c));
                std::visit([](auto& v) { v.midiTimestamp = 0; }, c);
                commands.push_back(c);
            }
            threads.push_back(std::this_thread::get_id());
            sources.push_back(source.name);
        };
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return commands.size();
    }
};

bool lists(const MidiConnectionManager& manager, const QString& name) {
    const auto devices = manager.connectedDevices();
    return std::any_of(devices.begin(), devices.end(), [&](const MidiDevice& d) { return d.name == name; });
}

TEST(MidiConnectionManager, ReceivesAJackPlayersCommandsInOrderAndSeesItCloseAndOpen) {
    Received received;
    MidiConnectionManager manager("Trevalune test", received.handler());

    // The loop-back port is no device; it opens first, so it is there by the
    // time the player is seen.
    TestPlayer through("Midi Through");
    TestPlayer player("midi-test-player");
    ASSERT_TRUE(player.isOpen() && through.isOpen()) << "no JACK test server";
    const QString port = player.portName();
    ASSERT_TRUE(waitUntil([&] { return lists(manager, port); }, 10000)) << "the player never appeared";
    EXPECT_FALSE(lists(manager, through.portName()));

    // An input there already is connected before the manager is made.
    {
        MidiConnectionManager later("Trevalune test 2", nullptr);
        EXPECT_TRUE(lists(later, port));
    }

    player.send({0x92, 60, 100});
    player.send({0xE2, 0x01, 0x40});
    player.send({0x92, 62, 90});
    player.send({0x92, 62, 0});
    player.send({0x82, 60, 30});
    player.send({0x99, 36, 127});
    player.send({0xB0, 7, 100});  // a controller change: not a note, dropped
    player.send({0x89, 36, 0});
    const std::vector<MidiCommand> expected = {
        MidiNoteCommand::noteCommandWithNote(60, 100, 2, true, 0),
        MidiPitchBendChangeCommand{0x2001, 2, 0},
        MidiNoteCommand::noteCommandWithNote(62, 90, 2, true, 0),
        MidiNoteCommand::noteCommandWithNote(62, 0, 2, false, 0),
        MidiNoteCommand::noteCommandWithNote(60, 30, 2, false, 0),
        MidiNoteCommand::noteCommandWithNote(36, 127, 9, true, 0),
        MidiNoteCommand::noteCommandWithNote(36, 0, 9, false, 0),
    };
    ASSERT_TRUE(waitUntil([&] { return received.count() >= expected.size(); }, 10000))
        << "received " << received.count() << " commands";
    spin(200);
    {
        std::lock_guard lock(received.mutex);
        EXPECT_EQ(received.commands, expected);
        EXPECT_TRUE(std::is_sorted(received.stamps.begin(), received.stamps.end()));
        EXPECT_GT(received.stamps.front(), 0u);
        // Every batch came on the manager's one thread, and from the player.
        ASSERT_FALSE(received.threads.empty());
        EXPECT_NE(received.threads.front(), std::this_thread::get_id());
        EXPECT_EQ(std::count(received.threads.begin(), received.threads.end(), received.threads.front()),
                  long(received.threads.size()));
        EXPECT_EQ(std::count(received.sources.begin(), received.sources.end(), port),
                  long(received.sources.size()));
    }
    EXPECT_EQ(manager.droppedMessages(), 0u);

    player.close();
    EXPECT_TRUE(waitUntil([&] { return !lists(manager, port); }, 10000)) << "the player never went";

    // A player that comes back is connected again.
    TestPlayer again("midi-test-player");
    ASSERT_TRUE(again.isOpen());
    ASSERT_TRUE(waitUntil([&] { return lists(manager, again.portName()); }, 10000));
    again.send({0x90, 48, 64});
    ASSERT_TRUE(waitUntil([&] { return received.count() > expected.size(); }, 10000));
}

}  // namespace
