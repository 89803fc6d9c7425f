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
    // PortAudio stays set up while the stream is open (with JACK, that keeps
    // its client active), a stream left to a late stop or close included.
    auto use = std::make_shared<PortAudioUse>();
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
    PaStream* pa = nullptr;
    const PaError err = Pa_OpenStream(
        &pa, &params, nullptr, sampleRate, paFramesPerBufferUnspecified, paNoFlag,
        [](const void* in, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
           PaStreamCallbackFlags, void* user) -> int {
            auto* link = static_cast<Link*>(user);
            if (CallbackGate::Pass pass(link->gate); pass && in && link->callback)
                link->callback(static_cast<const float*>(in), int(frames));
            return paContinue;
        },
        stream->link_.get());
    if (err != paNoError) {
        if (error) *error = QString::fromUtf8(Pa_GetErrorText(err));
        return nullptr;
    }
    Pa_SetStreamFinishedCallback(pa, [](void* user) {
        auto* link = static_cast<Link*>(user);
        if (link->stopping.load()) return;
        if (CallbackGate::Pass pass(link->gate); pass && link->finished) link->finished();
    });
    stream->stream_ = PortAudioStream(pa, stream->link_->gate, stream->link_, std::move(use), "audio input");
    stream->channels_ = params.channelCount;
    stream->rate_ = sampleRate;
    return stream;
}

AudioInputStream::~AudioInputStream() {
    if (link_) link_->stopping = true;
    stream_.close();
}

bool AudioInputStream::start(Callback callback, Finished finished, QString* error) {
    if (!stream_.isOpen() || stream_.isStarted()) return false;
    link_->callback = std::move(callback);
    link_->finished = std::move(finished);
    link_->stopping = false;
    return stream_.start(error);
}

void AudioInputStream::stop() {
    if (!stream_.isStarted()) return;
    link_->stopping = true;
    // A stream whose stop came late is gone: this object has none from then on.
    stream_.stop();
}

bool AudioInputStream::isRunning() const {
    return stream_.isStarted() && Pa_IsStreamActive(static_cast<PaStream*>(stream_.stream())) == 1;
}
