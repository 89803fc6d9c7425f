#include "platform/media/AudioFileReader.h"

#include "platform/media/Asset.h"

#include <algorithm>
#include <cstring>

std::unique_ptr<AudioFileReader> AudioFileReader::open(const QString& path, QString* error,
                                                       const Progress& progress) {
    auto asset = Asset::load(path, error);
    if (!asset) return nullptr;
    auto audio = asset->tracksWithMediaType(MediaType::Audio);
    if (audio.empty()) {
        if (error) *error = QStringLiteral("\"%1\" has no audio.").arg(path);
        return nullptr;
    }
    auto source = audio.front()->loadDecodedSource(progress, error);
    if (!source) return nullptr;
    return std::make_unique<AudioFileReader>(std::move(source), asset->path());
}

AudioFileReader::AudioFileReader(std::shared_ptr<DecodedSource> source, QString path)
    : source_(std::move(source)), path_(std::move(path)) {}

void AudioFileReader::seek(int64_t frame) { position_ = std::clamp<int64_t>(frame, 0, length()); }

int64_t AudioFileReader::read(float* const* out, int64_t frames) {
    const int64_t n = std::clamp<int64_t>(length() - position_, 0, std::max<int64_t>(frames, 0));
    if (n > 0) {
        for (int c = 0; c < channelCount(); ++c) source_->readChannel(c, position_, n, out[c]);
        position_ += n;
    }
    return n;
}

bool AudioFileReader::read(AudioPCMBuffer& buffer, int64_t frames, QString* error) {
    if (buffer.channelCount() != channelCount()) {
        if (error)
            *error = QStringLiteral("The buffer has %1 channels and the file %2.")
                         .arg(buffer.channelCount())
                         .arg(channelCount());
        return false;
    }
    if (frames < 0 || frames > buffer.frameCapacity()) frames = buffer.frameCapacity();
    const int64_t n = read(buffer.channels(), frames);
    buffer.setFrameLength(n);
    if (n == 0 && frames > 0) {
        if (error) *error = QStringLiteral("There is nothing left to read.");
        return false;
    }
    return true;
}
