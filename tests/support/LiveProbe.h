#pragma once

// A client of the test JACK server that plays keys into the application and
// listens to what the application gives out, both on the server's frame
// clock: a message sent at the start of a cycle is stamped with that cycle's
// first frame, and every sample listened to with the frame it plays at. So
// the time from a key to its sound is counted in frames of one clock, never
// read off a wall clock.
//
// The left input listens for the onset of a note after each note-on sent;
// the right input for clicks (a rise after at least 0.1 s of quiet), which a
// track of clicks at known times turns into composition time.
//
// Threads: every member on one thread; process() on the client's thread.

#include <jack/jack.h>
#include <jack/midiport.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <string>

namespace testsupport {

class LiveProbe {
public:
    explicit LiveProbe(const char* name = "live-probe") {
        client_ = jack_client_open(name, JackNoStartServer, nullptr);
        if (!client_) return;
        keys_ = jack_port_register(client_, "keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        left_ = jack_port_register(client_, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        right_ = jack_port_register(client_, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &LiveProbe::process, this);
        if (!keys_ || !left_ || !right_ || jack_activate(client_) != 0) {
            close();
            return;
        }
        rate_ = double(jack_get_sample_rate(client_));
    }
    ~LiveProbe() { close(); }
    LiveProbe(const LiveProbe&) = delete;
    LiveProbe& operator=(const LiveProbe&) = delete;

    bool isOpen() const { return client_ != nullptr; }
    // Listens to `outputClient`'s "out_1" (left) and "out_2" (right); the
    // client must be awake (a sleeping output has no ports).
    bool listenTo(const std::string& outputClient) {
        if (!client_) return false;
        const std::string out1 = outputClient + ":out_1", out2 = outputClient + ":out_2";
        return jack_connect(client_, out1.c_str(), jack_port_name(left_)) == 0 &&
               jack_connect(client_, out2.c_str(), jack_port_name(right_)) == 0;
    }
    double rate() const { return rate_; }
    // The name the MIDI inputs know the keys by.
    std::string keysName() const { return client_ ? jack_port_name(keys_) : std::string(); }

    // Sends one message at the start of the next cycle; a note-on starts
    // listening for its onset.
    void send(uint8_t status, uint8_t d1, uint8_t d2) {
        message_.store(uint32_t(status) | uint32_t(d1) << 8 | uint32_t(d2) << 16, std::memory_order_relaxed);
        wanted_.fetch_add(1, std::memory_order_release);
    }
    // The last message has gone out.
    bool sent() const { return done_.load(std::memory_order_acquire) == wanted_.load(std::memory_order_acquire); }
    // The frame the last message went out at.
    int64_t sentFrame() const { return sentFrame_.load(std::memory_order_acquire); }
    // The first frame after the last note-on at which the left input rose
    // above `kOnset`; -1 while none has.
    int64_t onsetFrame() const { return onset_.load(std::memory_order_acquire); }
    // The frame the left input was last heard above `kQuiet`.
    int64_t lastSoundFrame() const { return lastSound_.load(std::memory_order_acquire); }
    // The frame the server is at now.
    int64_t frameNow() const { return client_ ? int64_t(jack_frame_time(client_)) : 0; }

    // Frames the server's clock ran past without calling this client: cycles
    // a loaded machine skipped, in which nothing was heard.
    int64_t skippedFrames() const { return skipped_.load(std::memory_order_acquire); }

    // The clicks heard on the right input, in order.
    int clickCount() const { return clickCount_.load(std::memory_order_acquire); }
    int64_t click(int i) const { return clicks_[size_t(i)]; }

    static constexpr float kOnset = 0.01f;
    static constexpr float kQuiet = 0.001f;

private:
    void close() {
        if (client_) jack_client_close(client_);
        client_ = nullptr;
    }

    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<LiveProbe*>(arg);
        const int64_t start = int64_t(jack_last_frame_time(self->client_));
        if (self->nextStart_ >= 0 && start > self->nextStart_)
            self->skipped_.fetch_add(start - self->nextStart_, std::memory_order_release);
        self->nextStart_ = start + int64_t(frames);
        void* midi = jack_port_get_buffer(self->keys_, frames);
        jack_midi_clear_buffer(midi);
        const uint32_t wanted = self->wanted_.load(std::memory_order_acquire);
        if (wanted != self->done_.load(std::memory_order_relaxed)) {
            const uint32_t m = self->message_.load(std::memory_order_relaxed);
            const jack_midi_data_t bytes[3] = {jack_midi_data_t(m), jack_midi_data_t(m >> 8), jack_midi_data_t(m >> 16)};
            jack_midi_event_write(midi, 0, bytes, 3);
            if ((bytes[0] & 0xF0) == 0x90 && bytes[2] > 0) {
                self->onset_.store(-1, std::memory_order_relaxed);
                self->listening_ = true;
            }
            self->sentFrame_.store(start, std::memory_order_release);
            self->done_.store(wanted, std::memory_order_release);
        }
        const auto* left = static_cast<const float*>(jack_port_get_buffer(self->left_, frames));
        const auto* right = static_cast<const float*>(jack_port_get_buffer(self->right_, frames));
        for (jack_nframes_t i = 0; i < frames; ++i) {
            const float l = std::fabs(left[i]);
            if (l > kQuiet) self->lastSound_.store(start + i, std::memory_order_relaxed);
            if (self->listening_ && l > kOnset) {
                self->onset_.store(start + i, std::memory_order_release);
                self->listening_ = false;
            }
            if (std::fabs(right[i]) > kOnset) {
                const int n = self->clickCount_.load(std::memory_order_relaxed);
                if (self->quietFrames_ > int64_t(0.1 * self->rate_) && n < int(self->clicks_.size())) {
                    self->clicks_[size_t(n)] = start + i;
                    self->clickCount_.store(n + 1, std::memory_order_release);
                }
                self->quietFrames_ = 0;
            } else {
                ++self->quietFrames_;
            }
        }
        return 0;
    }

    jack_client_t* client_ = nullptr;
    int64_t nextStart_ = -1;
    std::atomic<int64_t> skipped_{0};
    jack_port_t* keys_ = nullptr;
    jack_port_t* left_ = nullptr;
    jack_port_t* right_ = nullptr;
    double rate_ = 48000;
    std::atomic<uint32_t> message_{0};
    std::atomic<uint32_t> wanted_{0};
    std::atomic<uint32_t> done_{0};
    std::atomic<int64_t> sentFrame_{0};
    std::atomic<int64_t> onset_{-1};
    std::atomic<int64_t> lastSound_{0};
    bool listening_ = false;  // the client's thread's
    int64_t quietFrames_ = 0;  // the client's thread's
    std::array<int64_t, 256> clicks_{};
    std::atomic<int> clickCount_{0};
};

}  // namespace testsupport
