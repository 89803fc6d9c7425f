#pragma once

// MIDI input devices: the shared device manager, which knows the MIDI inputs
// of the machine, and connection managers, which connect to every input and
// hand the received commands to their event handler.
//
// The inputs come from the ALSA sequencer where there is one (a desktop), or
// else from the JACK server (machines without a sound card). A device is one
// input port, named as the system names it ("client:port").
//
// Threads. Each connection manager runs a thread of its own. The inputs'
// callbacks (the sequencer's thread, JACK's process thread) only copy the
// bytes into a bounded lock-free queue and wake it; that thread reads them
// into commands, calls the event handler with each batch of one device's
// commands in the order they came, and looks for inputs that came or went
// about once a second. Input beyond the queue's room is dropped and counted.
// connectedDevices() may be read from any thread. The handler runs on the
// manager's thread only, never after the destructor has returned.

#include "platform/midiio/MidiCommands.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace midiio {

struct MidiDevice {
    QString name;
    friend bool operator==(const MidiDevice&, const MidiDevice&) = default;
};

enum class MidiSystem { AlsaSequencer, Jack };

class MidiDeviceManager {
public:
    static MidiDeviceManager& sharedDeviceManager();

    // The ALSA sequencer when it opens, JACK otherwise.
    MidiSystem system() const { return system_; }
    // The names of the input ports there are now (any thread).
    std::vector<QString> availableSources();

private:
    MidiDeviceManager();
    ~MidiDeviceManager();
    struct Lister;

    MidiSystem system_;
    std::mutex mutex_;  // guards lister_ between connection managers' threads
    std::unique_ptr<Lister> lister_;
};

class MidiConnectionManager {
public:
    using EventHandler =
        std::function<void(const MidiDevice& source, const std::vector<MidiCommand>& commands)>;

    // Connects to every input there is now (before it returns) and to those
    // that come later. `name` names our client in the MIDI system.
    MidiConnectionManager(const QString& name, EventHandler eventHandler);
    ~MidiConnectionManager();
    MidiConnectionManager(const MidiConnectionManager&) = delete;
    MidiConnectionManager& operator=(const MidiConnectionManager&) = delete;

    // The devices connected now; empty when there is none.
    std::vector<MidiDevice> connectedDevices() const;
    // Messages dropped because the queue was full.
    uint64_t droppedMessages() const;

private:
    struct Inner;
    std::unique_ptr<Inner> inner_;
};

}  // namespace midiio
