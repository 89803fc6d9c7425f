#include "platform/audio/AudioInput.h"

#include "platform/audio/DeviceCalls.h"
#include "platform/audio/PortAudioUse.h"

#include <portaudio.h>
#include <pa_jack.h>

#include <algorithm>

struct AudioInputStream::Link {
    CallbackGate gate;
    AudioInputStream::Callback callback;
    AudioInputStream::Finished finished;
    std::atomic<bool> stopping{false};  // a stop asked for: `finished` is not news
    // PortAudio stays set up while the stream is open (with JACK, that keeps
    // its client active), a stream left to a late stop or close included;
    // once the stream is closed it may go.
    std::unique_ptr<PortAudioUse> use;
};

namespace audioinput {

namespace {

AudioInputDevice describe(PaDeviceIndex index) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
    const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
    AudioInputDevice device;
    device.localizedName = QString::fromUtf8(info->name);
    device.uniqueID = QString::fromUtf8(api ? api->name : "") + QLatin1Char(':') + device.localizedName;
    device.channelCount = info->maxInputChannels;
    device.sampleRate = info->defaultSampleRate;
    return device;
}

// A running JACK server wins over ALSA, as for the output.
PaHostApiIndex preferredHostApi() {
    const PaHostApiIndex jack = Pa_HostApiTypeIdToHostApiIndex(paJACK);
    if (jack >= 0) {
        const PaHostApiInfo* info = Pa_GetHostApiInfo(jack);
        if (info && info->deviceCount > 0 && info->defaultInputDevice != paNoDevice) return jack;
    }
    return Pa_GetDefaultHostApi();
}

PaDeviceIndex indexOf(const QString& uniqueID) {
    for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && info->maxInputChannels > 0 && describe(i).uniqueID == uniqueID) return i;
    }
    return paNoDevice;
}

}  // namespace

std::vector<AudioInputDevice> devices() {
    std::vector<AudioInputDevice> all;
    const PortAudioUse use;
    if (!use.ready()) return all;
    for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && info->maxInputChannels > 0) all.push_back(describe(i));
    }
    return all;
}

std::optional<AudioInputDevice> defaultDevice() {
    const PortAudioUse use;
    if (!use.ready()) return std::nullopt;
    const PaHostApiInfo* api = Pa_GetHostApiInfo(preferredHostApi());
    PaDeviceIndex index = api ? api->defaultInputDevice : paNoDevice;
    if (index == paNoDevice) index = Pa_GetDefaultInputDevice();
    if (index == paNoDevice) return std::nullopt;
    return describe(index);
}

std::optional<AudioInputDevice> deviceWithUniqueID(const QString& uniqueID) {
    const PortAudioUse use;
    if (!use.ready()) return std::nullopt;
    const PaDeviceIndex index = indexOf(uniqueID);
    if (index == paNoDevice) return std::nullopt;
    return describe(index);
}

Authorization authorizationStatus() { return Authorization::Authorized; }

QString jackClientName() {
    const char* name = nullptr;
    const PortAudioUse use;
    if (!use.ready() || PaJack_GetClientName(&name) != paNoError || !name) return {};
    return QString::fromUtf8(name);
}

}  // namespace audioinput

// ---------------------------------------------------------------------------

std::unique_ptr<AudioInputStream> AudioInputStream::open(const AudioInputDevice& device, double sampleRate,
                                                         QString* error) {
    auto use = std::make_unique<PortAudioUse>();
    if (!use->ready()) {
        if (error) *error = QStringLiteral("The audio system could not be started.");
        return nullptr;
    }
    const PaDeviceIndex index = audioinput::indexOf(device.uniqueID);
    if (index == paNoDevice) {
        if (error) *error = QStringLiteral("The audio input \"%1\" is not there.").arg(device.localizedName);
        return nullptr;
    }
    const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
    PaStreamParameters params{};
    params.device = index;
    params.channelCount = std::min(info->maxInputChannels, 2);
    params.sampleFormat = paFloat32;
    params.suggestedLatency = info->defaultLowInputLatency;
    const PaError supported = Pa_IsFormatSupported(&params, nullptr, sampleRate);
    if (supported != paFormatIsSupported) {
        if (error) *error = QString::fromUtf8(Pa_GetErrorText(supported));
        return nullptr;
    }
    std::unique_ptr<AudioInputStream> stream(new AudioInputStream());
    stream->link_ = std::make_shared<Link>();
    stream->link_->use = std::move(use);
    PaStream* pa = nullptr;
    const PaError err = Pa_OpenStream(
        &pa, &params, nullptr, sampleRate, paFramesPerBufferUnspecified, paNoFlag,
        [](const void* in, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
           PaStreamCallbackFlags, void* user) -> int {
            auto* link = static_cast<Link*>(user);
            if (in && link->gate.enter()) {
                if (link->callback) link->callback(static_cast<const float*>(in), int(frames));
                link->gate.leave();
            }
            return paContinue;
        },
        stream->link_.get());
    if (err != paNoError) {
        if (error) *error = QString::fromUtf8(Pa_GetErrorText(err));
        return nullptr;
    }
    Pa_SetStreamFinishedCallback(pa, [](void* user) {
        auto* link = static_cast<Link*>(user);
        if (link->stopping.load() || !link->gate.enter()) return;
        if (link->finished) link->finished();
        link->gate.leave();
    });
    stream->stream_ = pa;
    stream->channels_ = params.channelCount;
    stream->rate_ = sampleRate;
    return stream;
}

AudioInputStream::~AudioInputStream() {
    stop();
    if (!stream_) return;
    auto* stream = static_cast<PaStream*>(stream_);
    devicecall::finishWithin(devicecall::kLimit, "The audio input did not close in time; it is left behind.",
                             [stream, link = link_] { Pa_CloseStream(stream); });
}

bool AudioInputStream::start(Callback callback, Finished finished, QString* error) {
    if (!stream_ || started_) return false;
    link_->callback = std::move(callback);
    link_->finished = std::move(finished);
    link_->stopping = false;
    link_->gate.open();
    const PaError err = Pa_StartStream(static_cast<PaStream*>(stream_));
    if (err != paNoError) {
        link_->gate.close();
        if (error) *error = QString::fromUtf8(Pa_GetErrorText(err));
        return false;
    }
    started_ = true;
    return true;
}

void AudioInputStream::stop() {
    if (!stream_ || !started_) return;
    started_ = false;
    link_->stopping = true;
    // A stop that comes late is left the stream, and closes it once it
    // returns; the gate keeps its callbacks away from what the caller frees.
    auto* stream = static_cast<PaStream*>(stream_);
    const bool inTime = devicecall::finishWithin(
        devicecall::kLimit, "The audio input did not stop in time; it is left behind.",
        [stream, link = link_] { Pa_StopStream(stream); }, [stream, link = link_] { Pa_CloseStream(stream); });
    link_->gate.close();
    if (!inTime) stream_ = nullptr;
}

bool AudioInputStream::isRunning() const {
    return stream_ && started_ && Pa_IsStreamActive(static_cast<PaStream*>(stream_)) == 1;
}
