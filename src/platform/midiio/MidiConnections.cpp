#include "platform/midiio/MidiConnections.h"

#include "platform/core/BoundedQueue.h"
#include "platform/core/WakeSignal.h"
#include "platform/midiio/MidiByteParser.h"

#include <rtmidi/RtMidi.h>

#include <QDebug>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include <unistd.h>

namespace midiio {

namespace {

constexpr auto kRescanInterval = std::chrono::milliseconds(1000);
constexpr size_t kInboxCapacity = 2048;

RtMidi::Api apiFor(MidiSystem system) {
    return system == MidiSystem::AlsaSequencer ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
}

// RtMidi reports through this rather than throwing or printing.
void quietError(RtMidiError::Type type, const std::string& text, void*) {
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        qWarning().noquote() << "MIDI:" << QString::fromStdString(text);
}

std::unique_ptr<RtMidiIn> makeInput(MidiSystem system, const std::string& clientName) {
    try {
        auto in = std::make_unique<RtMidiIn>(apiFor(system), clientName, 100);
        in->setErrorCallback(&quietError, nullptr);
        return in;
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

std::vector<QString> portNames(RtMidiIn& in) {
    std::vector<QString> names;
    const unsigned count = in.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        const std::string name = in.getPortName(i);
        names.push_back(QString::fromStdString(name));
    }
    return names;
}

// The kernel's loop-back ports ("Midi Through", also as JACK's bridge shows
// them) are in every ALSA system and are no device: a list holding only them
// would hide that no keyboard is connected.
bool isDevice(const QString& name) {
    return !name.isEmpty() && !name.contains(QLatin1String("Midi Through"));
}

bool alsaSequencerOpens() {
    if (::access("/dev/snd/seq", R_OK | W_OK) != 0) return false;
    try {
        RtMidiIn probe(RtMidi::LINUX_ALSA, "Trevalune probe");
        return probe.getCurrentApi() == RtMidi::LINUX_ALSA;
    } catch (const RtMidiError&) {
        return false;
    }
}

}  // namespace

// ---- the shared device manager

struct MidiDeviceManager::Lister {
    std::unique_ptr<RtMidiIn> in;
};

MidiDeviceManager& MidiDeviceManager::sharedDeviceManager() {
    static MidiDeviceManager manager;
    return manager;
}

MidiDeviceManager::MidiDeviceManager()
    : system_(alsaSequencerOpens() ? MidiSystem::AlsaSequencer : MidiSystem::Jack),
      lister_(std::make_unique<Lister>()) {}

MidiDeviceManager::~MidiDeviceManager() = default;

std::vector<QString> MidiDeviceManager::availableSources() {
    std::lock_guard lock(mutex_);
    // A lister that could not reach its system (JACK not running yet) tries
    // again next time.
    if (!lister_->in) lister_->in = makeInput(system_, "Trevalune devices");
    if (!lister_->in) return {};
    std::vector<QString> names = portNames(*lister_->in);
    names.erase(std::remove_if(names.begin(), names.end(), [](const QString& n) { return !isDevice(n); }),
                names.end());
    return names;
}

// ---- connection manager

namespace {

// Bytes of one message, or a piece of a long one, as the input callback
// received them.
struct Packet {
    uint32_t connection = 0;
    uint8_t length = 0;
    uint8_t bytes[11] = {};
    uint64_t timestamp = 0;
};

}  // namespace

struct MidiConnectionManager::Inner {
    struct Connection {
        Inner* owner = nullptr;
        uint32_t id = 0;
        MidiDevice device;
        std::unique_ptr<RtMidiIn> in;
        MidiByteParser parser;
    };

    std::string clientName;
    EventHandler handler;
    MidiSystem system = MidiSystem::Jack;
    realtime::BoundedQueue<Packet> inbox{kInboxCapacity};
    WakeSignal wake;
    std::atomic<bool> stopping{false};
    std::thread thread;

    // The manager thread's own (the constructor's before it starts).
    std::map<uint32_t, std::unique_ptr<Connection>> connections;
    uint32_t nextId = 1;
    std::vector<MidiCommand> batch;

    mutable std::mutex devicesMutex;
    std::vector<MidiDevice> devices;

    // On the input's thread: copy, queue, wake. Nothing here allocates or
    // waits.
    static void received(double, std::vector<unsigned char>* message, void* user) {
        auto* c = static_cast<Connection*>(user);
        if (!message || message->empty()) return;
        const uint64_t now = hostTimeNow();
        const size_t size = message->size();
        for (size_t at = 0; at < size;) {
            Packet p;
            p.connection = c->id;
            p.timestamp = now;
            p.length = uint8_t(std::min(size - at, sizeof p.bytes));
            std::memcpy(p.bytes, message->data() + at, p.length);
            at += p.length;
            c->owner->inbox.push(p);
        }
        c->owner->wake.wake();
    }

    void dispatch(Connection* source) {
        if (source && !batch.empty() && handler) handler(source->device, batch);
        batch.clear();
    }

    // Reads every queued packet, one handler call per run of one device's
    // packets.
    void drain() {
        Connection* current = nullptr;
        inbox.drain([&](const Packet& p) {
            auto found = connections.find(p.connection);
            Connection* c = found == connections.end() ? nullptr : found->second.get();
            if (c != current) {
                dispatch(current);
                current = c;
            }
            if (c) c->parser.parse(p.bytes, p.length, p.timestamp, batch);
        });
        dispatch(current);
    }

    bool open(Connection& c) {
        c.in = makeInput(system, clientName);
        if (!c.in) return false;
        // The port's number may have changed since the list was read: find
        // it again by name in this input's own list.
        const std::vector<QString> names = portNames(*c.in);
        const auto at = std::find(names.begin(), names.end(), c.device.name);
        if (at == names.end()) return false;
        c.in->ignoreTypes(true, true, true);
        c.in->setCallback(&Inner::received, &c);
        try {
            c.in->openPort(unsigned(at - names.begin()), "MIDI In");
        } catch (const RtMidiError&) {
            return false;
        }
        return c.in->isPortOpen();
    }

    // Connects to new inputs and lets go of those that went.
    void rescan() {
        const std::vector<QString> sources = MidiDeviceManager::sharedDeviceManager().availableSources();
        bool changed = false;
        for (auto it = connections.begin(); it != connections.end();) {
            if (std::find(sources.begin(), sources.end(), it->second->device.name) != sources.end()) {
                ++it;
                continue;
            }
            // Stop its callbacks, then read what it sent before letting go.
            it->second->in.reset();
            drain();
            it = connections.erase(it);
            changed = true;
        }
        for (const QString& name : sources) {
            const bool known = std::any_of(connections.begin(), connections.end(),
                                           [&](const auto& e) { return e.second->device.name == name; });
            if (known) continue;
            auto c = std::make_unique<Connection>();
            c->owner = this;
            c->id = nextId++;
            c->device.name = name;
            if (!open(*c)) continue;
            connections.emplace(c->id, std::move(c));
            changed = true;
        }
        if (!changed) return;
        std::vector<MidiDevice> now;
        for (const auto& [id, c] : connections) now.push_back(c->device);
        std::lock_guard lock(devicesMutex);
        devices = std::move(now);
    }

    void run() {
        auto nextScan = std::chrono::steady_clock::now() + kRescanInterval;
        while (!stopping.load(std::memory_order_acquire)) {
            const uint32_t seen = wake.value();
            drain();
            const auto now = std::chrono::steady_clock::now();
            if (now >= nextScan) {
                rescan();
                nextScan = now + kRescanInterval;
                continue;
            }
            wake.waitFor(seen, nextScan - now);
        }
    }
};

MidiConnectionManager::MidiConnectionManager(const QString& name, EventHandler eventHandler)
    : inner_(std::make_unique<Inner>()) {
    inner_->clientName = name.toStdString();
    inner_->handler = std::move(eventHandler);
    inner_->system = MidiDeviceManager::sharedDeviceManager().system();
    inner_->batch.reserve(256);
    inner_->rescan();
    inner_->thread = std::thread([inner = inner_.get()] { inner->run(); });
}

MidiConnectionManager::~MidiConnectionManager() {
    inner_->stopping.store(true, std::memory_order_release);
    inner_->wake.wake();
    inner_->thread.join();
    // Close every input before the queue and the connections go.
    for (auto& [id, c] : inner_->connections) c->in.reset();
}

std::vector<MidiDevice> MidiConnectionManager::connectedDevices() const {
    std::lock_guard lock(inner_->devicesMutex);
    return inner_->devices;
}

uint64_t MidiConnectionManager::droppedMessages() const {
    return inner_->inbox.dropped();
}

}  // namespace midiio
