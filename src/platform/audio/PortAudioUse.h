#pragma once

// PortAudio is set up while something uses it: an open stream (an input, or
// the output when it plays through PortAudio) or a device query. With a JACK
// server, PortAudio keeps a JACK client of its own active for as long as it is
// set up, which the server wakes every period; so it is torn down again once
// nothing uses it, a moment after the last use ends (the moment spares a
// device list followed by an open stream a second set-up, which probes every
// host API and is slow).
//
// Threads: uses begin and end on any thread. PortAudio may be called only
// while the caller holds a use. The deferred tear-down runs on the main
// thread; without an application object it happens at once.
class PortAudioUse {
public:
    PortAudioUse();
    ~PortAudioUse();
    PortAudioUse(const PortAudioUse&) = delete;
    PortAudioUse& operator=(const PortAudioUse&) = delete;

    // Whether PortAudio is set up (false: it could not be started).
    bool ready() const { return ready_; }

    // Whether PortAudio is set up now, used or lingering.
    static bool isSetUp();
    // How long PortAudio stays set up after its last use ends, in ms.
    static constexpr int LingerMs = 3000;

private:
    bool ready_ = false;
};
