#include "platform/audio/AudioOutput.h"

#include "platform/audio/PortAudioUse.h"
#include "platform/core/MainQueue.h"

#include <portaudio.h>
#include <pa_jack.h>

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <QCoreApplication>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// ---------------------------------------------------------------------------

NullAudioOutput::NullAudioOutput(double sampleRate, int blockFrames)
    : rate_(sampleRate > 0 ? sampleRate : 48000), block_(blockFrames > 0 ? blockFrames : 512) {}

NullAudioOutput::~NullAudioOutput() { stop(); }

bool NullAudioOutput::start(Callback callback, QString*) {
    stop();
    callback_ = std::move(callback);
    delivered_ = 0;
    running_ = true;
    thread_ = std::thread([this] { run(); });
    return true;
}

void NullAudioOutput::stop() {
    suspended_ = false;
    halt();
}

bool NullAudioOutput::suspend() {
    if (suspended_) return true;
    if (!running_.load()) return false;
    halt();
    suspended_ = true;
    return true;
}

void NullAudioOutput::halt() {
    {
        // The clock thread waits out its period on the condition: told to
        // stop, it ends at once instead of after the rest of its block.
        std::lock_guard<std::mutex> lock(haltMutex_);
        running_ = false;
    }
    halted_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool NullAudioOutput::resume(QString*) {
    if (!suspended_) return running_.load();
    suspended_ = false;
    running_ = true;
    thread_ = std::thread([this] { run(); });
    return true;
}

void NullAudioOutput::run() {
    using clock = std::chrono::steady_clock;
    std::vector<float> buffer(static_cast<size_t>(block_) * 2);
    const auto start = clock::now();
    const int64_t before = delivered_.load();  // frames given before a sleep
    int64_t frames = 0;
    while (running_.load()) {
        if (callback_) callback_(buffer.data(), block_);
        frames += block_;
        delivered_.store(before + frames);
        // Deadlines from the start, so that no error adds up.
        const auto due = start + std::chrono::duration_cast<clock::duration>(
                                     std::chrono::duration<double>(frames / rate_));
        std::unique_lock<std::mutex> lock(haltMutex_);
        halted_.wait_until(lock, due, [this] { return !running_.load(); });
    }
}

// ---------------------------------------------------------------------------

namespace {

Q_LOGGING_CATEGORY(lcAlsa, "trevalune.alsa")
Q_LOGGING_CATEGORY(lcJack, "trevalune.jack")

void alsaMessage(const char* file, int line, const char* function, int err, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (err)
        qCDebug(lcAlsa, "%s:%d (%s) %s: %s", file, line, function, text, snd_strerror(err));
    else
        qCDebug(lcAlsa, "%s:%d (%s) %s", file, line, function, text);
}

void jackMessage(const char* text) { qCDebug(lcJack, "%s", text); }
void jackInfo(const char* text) { qCDebug(lcJack, "%s", text); }

// JACK says when no server runs, and chats about every client it opens:
// neither is news for the user, so both go to the log.
void quietJack() {
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(jackMessage);
        jack_set_info_function(jackInfo);
    });
}

bool jackHostFound() {
    const PaHostApiIndex jack = Pa_HostApiTypeIdToHostApiIndex(paJACK);
    const PaHostApiInfo* info = jack >= 0 ? Pa_GetHostApiInfo(jack) : nullptr;
    return info && info->deviceCount > 0;
}

// True when a JACK server answers a client of ours (none is started).
bool jackServerRunning() {
    quietJack();
    jack_status_t status{};
    jack_client_t* client = jack_client_open("Trevalune-probe", JackNoStartServer, &status);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

// The uses of PortAudio and whether it is set up; see PortAudioUse.
std::mutex portAudioMutex;
int portAudioUses = 0;
bool portAudioSetUp = false;

// Sets PortAudio up; under portAudioMutex. Its start-up probes every host API.
bool setUpPortAudio() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Probing ALSA's devices prints a line for every one that this machine
        // lacks: the log takes them, as it takes JACK's.
        snd_lib_error_set_handler(alsaMessage);
        quietJack();
        PaJack_SetClientName("Trevalune");
    });
    bool ready = Pa_Initialize() == paNoError;
    // A JACK server that is running but answered PortAudio's probe too
    // late (a loaded machine) would leave only ALSA: probe again, a few
    // times, while the server can be reached.
    for (int attempt = 0; ready && attempt < 3 && !jackHostFound() && jackServerRunning(); ++attempt) {
        Pa_Terminate();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ready = Pa_Initialize() == paNoError;
    }
    return ready;
}

// Tears PortAudio down when nothing has used it since the last use ended.
void tearDownUnusedPortAudio() {
    std::lock_guard g(portAudioMutex);
    if (portAudioUses > 0 || !portAudioSetUp) return;
    Pa_Terminate();
    portAudioSetUp = false;
}

}  // namespace

PortAudioUse::PortAudioUse() {
    std::lock_guard g(portAudioMutex);
    if (!portAudioSetUp) portAudioSetUp = setUpPortAudio();
    ready_ = portAudioSetUp;
    if (ready_) ++portAudioUses;
}

PortAudioUse::~PortAudioUse() {
    if (!ready_) return;
    {
        std::lock_guard g(portAudioMutex);
        if (--portAudioUses > 0) return;
    }
    if (QCoreApplication::instance())
        MainQueue::asyncAfter(LingerMs, [] { tearDownUnusedPortAudio(); });
    else
        tearDownUnusedPortAudio();
}

bool PortAudioUse::isSetUp() {
    std::lock_guard g(portAudioMutex);
    return portAudioSetUp;
}

std::unique_ptr<PortAudioOutput> PortAudioOutput::open(QString* error) {
    auto use = std::make_shared<PortAudioUse>();
    if (!use->ready()) {
        if (error) *error = QStringLiteral("The audio system could not be started.");
        return nullptr;
    }
    // A running JACK server wins over ALSA.
    PaDeviceIndex device = paNoDevice;
    const PaHostApiIndex jack = Pa_HostApiTypeIdToHostApiIndex(paJACK);
    if (jack >= 0) {
        const PaHostApiInfo* info = Pa_GetHostApiInfo(jack);
        if (info && info->deviceCount > 0) device = info->defaultOutputDevice;
    }
    if (device == paNoDevice) device = Pa_GetDefaultOutputDevice();
    const PaDeviceInfo* info = device != paNoDevice ? Pa_GetDeviceInfo(device) : nullptr;
    if (!info || info->maxOutputChannels < 2) {
        if (error) *error = QStringLiteral("There is no audio output device.");
        return nullptr;
    }
    std::unique_ptr<PortAudioOutput> out(new PortAudioOutput());
    out->use_ = std::move(use);
    out->device_ = device;
    out->rate_ = info->defaultSampleRate;
    out->latency_ = info->defaultLowOutputLatency;
    out->name_ = QString::fromUtf8(info->name);
    return out;
}

PortAudioOutput::~PortAudioOutput() { stop(); }

int PortAudioOutput::streamCallback(const void*, void* output, unsigned long frames, const void*,
                                    unsigned long, void* user) {
    auto* link = static_cast<Link*>(user);
    auto* out = static_cast<float*>(output);
    if (CallbackGate::Pass pass(link->gate); pass)
        link->callback(out, static_cast<int>(frames));
    else
        std::fill_n(out, frames * 2, 0.0f);
    return paContinue;
}

bool PortAudioOutput::start(Callback callback, QString* error) {
    stop();
    link_ = std::make_shared<Link>();
    link_->callback = std::move(callback);
    PaStreamParameters params{};
    params.device = device_;
    params.channelCount = 2;
    params.sampleFormat = paFloat32;
    params.suggestedLatency = latency_;
    PaStream* stream = nullptr;
    const PaError err = Pa_OpenStream(
        &stream, nullptr, &params, rate_, paFramesPerBufferUnspecified, paNoFlag,
        [](const void* in, void* out, unsigned long n, const PaStreamCallbackTimeInfo* t,
           PaStreamCallbackFlags f, void* user) {
            return streamCallback(in, out, n, t, f, user);
        },
        link_.get());
    if (err != paNoError) {
        if (error) *error = QString::fromUtf8(Pa_GetErrorText(err));
        return false;
    }
    stream_ = PortAudioStream(stream, link_->gate, link_, use_, "audio output");
    if (stream_.start(error)) return true;
    stream_.close();
    return false;
}

void PortAudioOutput::stop() {
    suspended_ = false;
    stream_.close();
}

bool PortAudioOutput::suspend() {
    if (suspended_) return true;
    if (!stream_.isStarted()) return false;
    // Once the stream has stopped, PortAudio calls the callback no more, and
    // the closed gate keeps out any that comes; a stream whose stop came late
    // is gone, and resume() opens another.
    stream_.stop();
    suspended_ = true;
    return true;
}

bool PortAudioOutput::resume(QString* error) {
    if (!suspended_) return stream_.isStarted();
    if (!stream_.isOpen()) {
        // The stream went with a stop that came late: a new one, with the
        // same callback.
        Callback again = link_->callback;
        return start(std::move(again), error);
    }
    if (!stream_.start(error)) return false;
    suspended_ = false;
    return true;
}

// ---------------------------------------------------------------------------

struct JackAudioOutput::Link {
    // Opened once the ports' connections are in the server's graph: until
    // then the callback is not called, so what it gives is never played to
    // no one. Through it alone the client's thread reaches the output.
    CallbackGate gate;
    // What the client's thread calls and fills, set while the gate is shut.
    Callback callback;
    std::vector<float> block = std::vector<float>(size_t(kBlockFrames) * 2);
    void* ports[2] = {nullptr, nullptr};  // jack_port_t
    std::atomic<bool> serverGone{false};
    std::atomic<bool> closed{false};  // the client's close has returned
};

bool JackAudioOutput::closeJackClient(void* client, std::shared_ptr<Link> link) {
    // libjack's close has been seen to stall on a lock of its own on a
    // loaded machine; sleeping and quitting must not stall with it.
    return devicecall::finishWithin(devicecall::kLimit, "The JACK client did not close in time; it is left behind.",
                                    [client = static_cast<jack_client_t*>(client), link] {
                                        jack_client_close(client);
                                        link->closed.store(true);
                                    });
}

std::unique_ptr<JackAudioOutput> JackAudioOutput::open(QString* error) {
    std::unique_ptr<JackAudioOutput> out(new JackAudioOutput());
    if (!out->openClient(error)) return nullptr;
    out->rate_ = jack_get_sample_rate(static_cast<jack_client_t*>(out->client_));
    // Left and right go to the first two playback ports; with one, both go to it.
    const char** playback = jack_get_ports(static_cast<jack_client_t*>(out->client_), nullptr,
                                           JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
    int count = 0;
    while (playback && playback[count]) ++count;
    for (int i = 0; i < 2 && count > 0; ++i) out->connections_[i].emplace_back(playback[std::min(i, count - 1)]);
    if (playback) jack_free(playback);
    return out;
}

bool JackAudioOutput::openClient(QString* error) {
    if (client_) return true;
    // After a sleep whose close came late: that client may still hold the
    // name, and libjack the lock it stalled on.
    if (closing_) {
        if (!closing_->closed.load()) {
            if (error) *error = QStringLiteral("The JACK client did not close.");
            return false;
        }
        closing_.reset();
    }
    quietJack();
    jack_status_t status{};
    // Woken, the client takes the name it had, which the user's patchbay may
    // know it by; the server gives another when that name is taken now.
    jack_client_t* client = nullptr;
    if (!name_.isEmpty())
        client = jack_client_open(name_.toUtf8().constData(), jack_options_t(JackNoStartServer | JackUseExactName),
                                  &status);
    if (!client) client = jack_client_open("Trevalune", JackNoStartServer, &status);
    if (!client) {
        if (error) *error = QStringLiteral("No JACK server is running.");
        return false;
    }
    auto link = std::make_shared<Link>();
    if (rate_ > 0 && jack_get_sample_rate(client) != jack_nframes_t(rate_)) {
        // What plays was made at the old rate: it would be heard at the wrong pitch.
        closeJackClient(client, link);
        if (error) *error = QStringLiteral("The JACK server now runs at another sample rate.");
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        link->ports[i] = jack_port_register(client, i == 0 ? "out_1" : "out_2", JACK_DEFAULT_AUDIO_TYPE,
                                            JackPortIsOutput, 0);
        if (!link->ports[i]) {
            closeJackClient(client, link);
            if (error) *error = QStringLiteral("The JACK server refused the output ports.");
            return false;
        }
    }
    jack_set_process_callback(client, &JackAudioOutput::process, link.get());
    jack_on_shutdown(client, &JackAudioOutput::serverGone, link.get());
    client_ = client;
    link_ = std::move(link);
    name_ = QString::fromUtf8(jack_get_client_name(client));
    return true;
}

void JackAudioOutput::closeClient() {
    if (!client_) return;
    // The client is deactivated: its threads reach only its link, which the
    // close keeps; a close that comes late is waited for by the next open.
    if (!closeJackClient(client_, link_)) closing_ = link_;
    client_ = nullptr;
    link_.reset();
}

JackAudioOutput::~JackAudioOutput() {
    stop();
    closeClient();
}

QString JackAudioOutput::clientName() const { return name_; }

int JackAudioOutput::process(uint32_t frames, void* arg) {
    auto* link = static_cast<Link*>(arg);
    auto* left = static_cast<float*>(jack_port_get_buffer(static_cast<jack_port_t*>(link->ports[0]), frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(static_cast<jack_port_t*>(link->ports[1]), frames));
    CallbackGate::Pass pass(link->gate);
    if (!pass || !link->callback) {
        std::fill_n(left, frames, 0.0f);
        std::fill_n(right, frames, 0.0f);
        return 0;
    }
    float* block = link->block.data();
    for (uint32_t done = 0; done < frames;) {
        const int n = static_cast<int>(std::min<uint32_t>(frames - done, kBlockFrames));
        link->callback(block, n);
        for (int i = 0; i < n; ++i) {
            left[done + i] = block[2 * i];
            right[done + i] = block[2 * i + 1];
        }
        done += static_cast<uint32_t>(n);
    }
    return 0;
}

void JackAudioOutput::serverGone(void* arg) { static_cast<Link*>(arg)->serverGone.store(true); }

bool JackAudioOutput::activate(QString* error) {
    auto* client = static_cast<jack_client_t*>(client_);
    if (!client || link_->serverGone.load() || jack_activate(client) != 0) {
        if (error) *error = QStringLiteral("The JACK server has stopped.");
        return false;
    }
    active_ = true;
    bool made[2] = {false, false};
    for (int i = 0; i < 2; ++i) {
        const char* ours = jack_port_name(static_cast<jack_port_t*>(link_->ports[i]));
        for (const std::string& other : connections_[i]) {
            const int result = jack_connect(client, ours, other.c_str());
            made[i] = made[i] || result == 0 || result == EEXIST;
        }
    }
    // The callback gives audio once the server's graph holds the connections,
    // so that the first block is heard. Asked off the client's thread, the
    // server answers after any change under way has taken effect.
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(500);
    for (int i = 0; i < 2; ++i) {
        while (made[i] && !link_->serverGone.load() && clock::now() < deadline &&
               jack_port_connected(static_cast<jack_port_t*>(link_->ports[i])) <= 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    link_->callback = callback_;
    link_->gate.open();
    return true;
}

void JackAudioOutput::deactivate() {
    if (!link_) return;
    // A period under way may still be in the callback: the gate waits for it
    // to leave. One that stays past the bound holds the client's thread, which
    // deactivating would wait for: the client is closed in bounded time
    // instead, and its link stays with the callback.
    const bool left = link_->gate.close(link_);
    if (active_ && left) jack_deactivate(static_cast<jack_client_t*>(client_));
    active_ = false;
    if (!left) closeClient();
}

bool JackAudioOutput::start(Callback callback, QString* error) {
    stop();
    callback_ = std::move(callback);
    return openClient(error) && activate(error);
}

void JackAudioOutput::stop() {
    deactivate();
    suspended_ = false;
}

bool JackAudioOutput::suspend() {
    if (suspended_) return true;
    if (!active_) return false;
    // Remember where the ports lead, connections the user made included:
    // deactivating the client breaks them all.
    for (int i = 0; i < 2 && !link_->serverGone.load(); ++i) {
        connections_[i].clear();
        if (const char** names = jack_port_get_connections(static_cast<jack_port_t*>(link_->ports[i]))) {
            for (int k = 0; names[k]; ++k) connections_[i].emplace_back(names[k]);
            jack_free(names);
        }
    }
    deactivate();
    // A client, even an inactive one, keeps the server's shared memory
    // mapped and locked in this process (a hundred megabytes and more): a
    // sleeping output lets go of it.
    closeClient();
    suspended_ = true;
    return true;
}

bool JackAudioOutput::resume(QString* error) {
    if (!suspended_) return active_;
    if (!openClient(error) || !activate(error)) return false;
    suspended_ = false;
    return true;
}

std::unique_ptr<AudioOutput> AudioOutput::createDefault(double fallbackRate) {
    if (auto jack = JackAudioOutput::open()) return jack;
    if (auto device = PortAudioOutput::open()) return device;
    return std::make_unique<NullAudioOutput>(fallbackRate);
}
