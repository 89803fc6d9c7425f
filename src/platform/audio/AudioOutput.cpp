#include "platform/audio/AudioOutput.h"

#include <portaudio.h>
#include <pa_jack.h>

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <QLoggingCategory>

#include <chrono>
#include <cstdarg>
#include <cstdio>
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
    running_ = false;
    if (thread_.joinable()) thread_.join();
}

void NullAudioOutput::run() {
    using clock = std::chrono::steady_clock;
    std::vector<float> buffer(static_cast<size_t>(block_) * 2);
    const auto start = clock::now();
    int64_t frames = 0;
    while (running_.load()) {
        if (callback_) callback_(buffer.data(), block_);
        frames += block_;
        delivered_.store(frames);
        // Deadlines from the start, so that no error adds up.
        const auto due = start + std::chrono::duration_cast<clock::duration>(
                                     std::chrono::duration<double>(frames / rate_));
        std::this_thread::sleep_until(due);
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

bool jackHostFound() {
    const PaHostApiIndex jack = Pa_HostApiTypeIdToHostApiIndex(paJACK);
    const PaHostApiInfo* info = jack >= 0 ? Pa_GetHostApiInfo(jack) : nullptr;
    return info && info->deviceCount > 0;
}

// True when a JACK server answers a client of ours (none is started).
bool jackServerRunning() {
    jack_status_t status{};
    jack_client_t* client = jack_client_open("Trevalune-probe", JackNoStartServer, &status);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

// PortAudio is set up once per process and kept; its start-up probes every
// host API, which is slow and noisy.
bool portAudioReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        // Probing ALSA's devices prints a line for every one that this machine
        // lacks, and JACK says when no server runs: neither is news for the
        // user, so both go to the log.
        snd_lib_error_set_handler(alsaMessage);
        jack_set_error_function(jackMessage);
        jack_set_info_function(jackInfo);
        PaJack_SetClientName("Trevalune");
        ready = Pa_Initialize() == paNoError;
        // A JACK server that is running but answered PortAudio's probe too
        // late (a loaded machine) would leave only ALSA: probe again, a few
        // times, while the server can be reached.
        for (int attempt = 0; ready && attempt < 3 && !jackHostFound() && jackServerRunning(); ++attempt) {
            Pa_Terminate();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            ready = Pa_Initialize() == paNoError;
        }
    });
    return ready;
}

}  // namespace

// Shared with the inputs (AudioInput.cpp).
bool portAudioInitialised() { return portAudioReady(); }

std::unique_ptr<PortAudioOutput> PortAudioOutput::open(QString* error) {
    if (!portAudioReady()) {
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
    out->device_ = device;
    out->rate_ = info->defaultSampleRate;
    out->latency_ = info->defaultLowOutputLatency;
    out->name_ = QString::fromUtf8(info->name);
    return out;
}

PortAudioOutput::~PortAudioOutput() { stop(); }

int PortAudioOutput::streamCallback(const void*, void* output, unsigned long frames, const void*,
                                    unsigned long, void* user) {
    auto* self = static_cast<PortAudioOutput*>(user);
    self->callback_(static_cast<float*>(output), static_cast<int>(frames));
    return paContinue;
}

bool PortAudioOutput::start(Callback callback, QString* error) {
    stop();
    callback_ = std::move(callback);
    PaStreamParameters params{};
    params.device = device_;
    params.channelCount = 2;
    params.sampleFormat = paFloat32;
    params.suggestedLatency = latency_;
    PaStream* stream = nullptr;
    PaError err = Pa_OpenStream(
        &stream, nullptr, &params, rate_, paFramesPerBufferUnspecified, paNoFlag,
        [](const void* in, void* out, unsigned long n, const PaStreamCallbackTimeInfo* t,
           PaStreamCallbackFlags f, void* user) {
            return streamCallback(in, out, n, t, f, user);
        },
        this);
    if (err == paNoError) err = Pa_StartStream(stream);
    if (err != paNoError) {
        if (stream) Pa_CloseStream(stream);
        if (error) *error = QString::fromUtf8(Pa_GetErrorText(err));
        return false;
    }
    stream_ = stream;
    return true;
}

void PortAudioOutput::stop() {
    if (!stream_) return;
    auto* stream = static_cast<PaStream*>(stream_);
    Pa_StopStream(stream);
    Pa_CloseStream(stream);
    stream_ = nullptr;
}

std::unique_ptr<AudioOutput> AudioOutput::createDefault(double fallbackRate) {
    if (auto device = PortAudioOutput::open()) return device;
    return std::make_unique<NullAudioOutput>(fallbackRate);
}
