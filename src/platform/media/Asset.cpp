#include "platform/media/Asset.h"

#include "platform/core/MainQueue.h"
#include "platform/media/DecodedCache.h"
#include "platform/media/FFmpeg.h"
#include "platform/media/MediaMetadata.h"
#include "platform/media/MediaWorkers.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/intreadwrite.h>
}

#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace {

bool isPcm(AVCodecID id) { return ffmpeg::isPcmCodec(id); }

// Demuxers that take text or still pictures for a "video": such files are
// not media files here.
bool isRefusedFormat(const char* name) {
    static const char* const refused[] = {"tty", "image2", "image2pipe", "ass", "srt", "webvtt",
                                          "subviewer", "subviewer1", "lrc", "jacosub", "microdvd",
                                          "mpl2", "pjs", "realtext", "sami", "stl", "vplayer",
                                          "data", "bin", "txt", "ffmetadata", "apng", "gif"};
    const QByteArray n(name);
    if (n.endsWith("_pipe")) return true;
    for (const char* r : refused)
        if (n == r) return true;
    return false;
}

QString keySpaceFor(const QByteArray& format) {
    if (format == "mp3") return QStringLiteral("id3");
    if (format.startsWith("mov")) return QStringLiteral("itunes");
    if (format == "ogg" || format == "flac") return QStringLiteral("vorbis");
    if (format == "wav" || format == "avi") return QStringLiteral("riff");
    if (format == "aiff") return QStringLiteral("id3");
    return QStringLiteral("common");
}

QString commonKeyFor(const QByteArray& key) {
    const QByteArray k = key.toLower();
    if (k == "title") return QStringLiteral("title");
    if (k == "artist" || k == "album_artist" || k == "author") return QStringLiteral("artist");
    if (k == "album") return QStringLiteral("albumName");
    if (k == "comment" || k == "description") return QStringLiteral("comment");
    if (k == "date" || k == "creation_time" || k == "year") return QStringLiteral("creationDate");
    if (k == "genre") return QStringLiteral("type");
    if (k == "composer") return QStringLiteral("creator");
    if (k == "copyright") return QStringLiteral("copyrights");
    if (k == "encoder" || k == "encoded_by") return QStringLiteral("software");
    if (k == "publisher") return QStringLiteral("publisher");
    if (k == "language") return QStringLiteral("language");
    return {};
}

QString imageType(AVCodecID id) {
    switch (id) {
    case AV_CODEC_ID_MJPEG: return QStringLiteral("image/jpeg");
    case AV_CODEC_ID_PNG: return QStringLiteral("image/png");
    case AV_CODEC_ID_BMP: return QStringLiteral("image/bmp");
    case AV_CODEC_ID_GIF: return QStringLiteral("image/gif");
    case AV_CODEC_ID_TIFF: return QStringLiteral("image/tiff");
    case AV_CODEC_ID_WEBP: return QStringLiteral("image/webp");
    default: return QStringLiteral("image");
    }
}

void addDictionary(std::vector<MetadataItem>& items, const AVDictionary* dict, const QString& keySpace) {
    const AVDictionaryEntry* e = nullptr;
    while ((e = av_dict_get(dict, "", e, AV_DICT_IGNORE_SUFFIX))) {
        MetadataItem item;
        item.keySpace = keySpace;
        item.key = QString::fromUtf8(e->key);
        item.commonKey = commonKeyFor(QByteArray(e->key));
        item.value = QString::fromUtf8(e->value);
        // The same key from the container and from its first stream counts once.
        bool seen = false;
        for (const auto& other : items)
            if (other.key == item.key && other.value == item.value) seen = true;
        if (!seen) items.push_back(std::move(item));
    }
}

struct AudioLength {
    int64_t frames = 0;
    bool exact = false;
};

// The number of frames the stream decodes to. Containers that declare it
// exactly (PCM, FLAC, MP4 edit lists, Ogg granule positions) are read; for
// the rest the packets are scanned, less the encoder delay and padding the
// demuxer marks for skipping (MP3's gapless information).
AudioLength audioLength(AVFormatContext* in, AVStream* st) {
    const AVCodecParameters* par = st->codecpar;
    const QByteArray format(in->iformat->name);
    const AVRational rate{1, par->sample_rate};
    AudioLength len;
    // CAF counts its frames; its duration is only a guess from the size.
    if (format == "caf" && isPcm(par->codec_id) && st->nb_frames > 0) return {st->nb_frames, true};
    const bool guessed = in->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
    if (st->duration > 0 && st->duration != AV_NOPTS_VALUE && !guessed) {
        const int64_t frames = av_rescale_q(st->duration, st->time_base, rate);
        if (isPcm(par->codec_id) || par->codec_id == AV_CODEC_ID_FLAC || format.startsWith("mov")) {
            return {frames, true};
        }
        if (format == "ogg") {
            if (par->codec_id == AV_CODEC_ID_OPUS)
                return {std::max<int64_t>(0, frames - par->initial_padding), true};
            return {frames, true};
        }
    }
    // Scan the packets. PCM packets are counted by their size: containers
    // that time them in milliseconds (Matroska) round every packet's length.
    int64_t align = par->block_align;
    if (align <= 0) align = int64_t(par->ch_layout.nb_channels) * av_get_bits_per_sample(par->codec_id) / 8;
    const bool bySize = isPcm(par->codec_id) && align > 0;
    int64_t sum = 0, skipped = 0, pcmFrames = 0;
    auto packet = ffmpeg::makePacket();
    for (unsigned i = 0; i < in->nb_streams; ++i)
        if (in->streams[i] != st) in->streams[i]->discard = AVDISCARD_ALL;
    while (av_read_frame(in, packet.get()) >= 0) {
        if (packet->stream_index == st->index) {
            sum += packet->duration;
            if (bySize) pcmFrames += packet->size / align;
            size_t size = 0;
            const uint8_t* skip = av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
            if (skip && size >= 10) skipped += int64_t(AV_RL32(skip)) + int64_t(AV_RL32(skip + 4));
        }
        av_packet_unref(packet.get());
    }
    if (bySize) return {pcmFrames, true};
    len.frames = std::max<int64_t>(0, av_rescale_q(sum, st->time_base, rate) - skipped);
    len.exact = false;
    return len;
}

// A RIFF WAVE file whose data chunk reaches past the end of the file.
bool wavDataChunkCut(const QString& path, int64_t fileSize) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE") return false;
    int64_t pos = 12;
    while (pos + 8 <= fileSize) {
        f.seek(pos);
        const QByteArray chunk = f.read(8);
        if (chunk.size() < 8) return false;
        const uint32_t size = AV_RL32(chunk.constData() + 4);
        if (chunk.startsWith("data"))
            return size != 0xffffffffu && size != 0 && pos + 8 + int64_t(size) > fileSize;
        pos += 8 + int64_t(size) + (size & 1);
    }
    return false;
}

// A container that declares more than the file holds is cut off.
bool isTruncated(AVFormatContext* in, AVStream* st, int64_t frames, int64_t fileSize) {
    const AVCodecParameters* par = st->codecpar;
    if (QByteArray(in->iformat->name) == "wav" && wavDataChunkCut(QString::fromUtf8(in->url), fileSize))
        return true;
    if (isPcm(par->codec_id)) {
        int64_t align = par->block_align;
        if (align <= 0) align = int64_t(par->ch_layout.nb_channels) * av_get_bits_per_sample(par->codec_id) / 8;
        return align > 0 && frames * align > fileSize;
    }
    if (QByteArray(in->iformat->name).startsWith("mov")) {
        const int n = avformat_index_get_entries_count(st);
        if (n > 0) {
            const AVIndexEntry* last = avformat_index_get_entry(st, n - 1);
            return last && last->pos + last->size > fileSize;
        }
    }
    return false;
}

// Whether a header that would be complete but for FFmpeg's look for a
// hidden compressed stream (a 16-bit PCM WAV) is confirmed by the decoded
// cache: every stream has an entry, made after a full probe and decode of
// the file as it is now, with the header's rate, channels and length. A
// hidden stream decodes to another length, so its entry never matches.
bool decodedRecordsMatch(const AVFormatContext* in, const QString& path) {
    if (!ffmpeg::headerIsComplete(in, true)) return false;
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVStream* st = in->streams[i];
        const AVCodecParameters* par = st->codecpar;
        if (st->duration <= 0 || st->duration == AV_NOPTS_VALUE) return false;
        DecodedCache::Request request;
        request.path = path;
        request.streamIndex = int(i);
        DecodedCache::Record record;
        if (!DecodedCache::cachedRecord(request, &record) || record.channelCount != par->ch_layout.nb_channels ||
            record.sampleRate != double(par->sample_rate) ||
            record.frameCount != av_rescale_q(st->duration, st->time_base, AVRational{1, par->sample_rate}))
            return false;
    }
    return true;
}

// What FFmpeg does not read: the artwork TagLib writes into WAV, AIFF and
// QuickTime files and the tag chunk of CAF files.
void addTaggedMetadata(std::vector<MetadataItem>& items, const QString& path, const QString& format,
                       const QString& keySpace) {
    if (format != QStringLiteral("wav") && format != QStringLiteral("aiff") && format != QStringLiteral("caf") &&
        !format.startsWith(QStringLiteral("mov")))
        return;
    auto has = [&](const QString& common) {
        for (const auto& m : items)
            if (m.commonKey == common) return true;
        return false;
    };
    const MediaMetadata tags = mediatags::read(path, format);
    auto add = [&](const QString& common, const QVariant& value, const QString& type = {}) {
        MetadataItem item;
        item.keySpace = keySpace;
        item.key = common;
        item.commonKey = common;
        item.value = value;
        item.dataType = type;
        items.push_back(std::move(item));
    };
    if (!tags.title.isEmpty() && !has(QStringLiteral("title"))) add(QStringLiteral("title"), tags.title);
    if (!tags.artist.isEmpty() && !has(QStringLiteral("artist"))) add(QStringLiteral("artist"), tags.artist);
    if (!tags.comment.isEmpty() && !has(QStringLiteral("comment"))) add(QStringLiteral("comment"), tags.comment);
    if (!tags.artwork.isEmpty() && !has(QStringLiteral("artwork")))
        add(QStringLiteral("artwork"), tags.artwork, tags.artworkMimeType());
}

int32_t timeScaleOf(const AVStream* st) {
    if (st->time_base.num == 1 && st->time_base.den > 0) return st->time_base.den;
    return MediaTime::DefaultTimeScale;
}

}  // namespace

namespace {

// The sample rates audio files hold.
constexpr int kLowestSampleRate = 1000, kHighestSampleRate = 768000;

}  // namespace

std::shared_ptr<Asset> Asset::load(const QString& path, QString* error) {
    auto fail = [&](const QString& text) -> std::shared_ptr<Asset> {
        if (error) *error = text;
        return nullptr;
    };
    const QFileInfo fi(path);
    if (!fi.exists()) return fail(QStringLiteral("The file \"%1\" does not exist.").arg(path));
    if (fi.isDir()) return fail(QStringLiteral("\"%1\" is a folder, not a media file.").arg(path));
    if (!fi.isReadable()) return fail(QStringLiteral("The file \"%1\" cannot be read.").arg(path));
    if (fi.size() == 0) return fail(QStringLiteral("The file \"%1\" is empty.").arg(path));

    auto input = ffmpeg::openInput(path, error, ffmpeg::Probe::Never);
    if (!input) return nullptr;
    if (!ffmpeg::headerIsComplete(input.get()) && !decodedRecordsMatch(input.get(), fi.absoluteFilePath()) &&
        !ffmpeg::findStreamInfo(input.get(), path, error))
        return nullptr;
    const QByteArray format(input->iformat->name);
    if (isRefusedFormat(input->iformat->name))
        return fail(QStringLiteral("\"%1\" is not an audio or video file.").arg(path));

    std::shared_ptr<Asset> asset(new Asset);
    asset->path_ = fi.absoluteFilePath();
    asset->formatName_ = QString::fromUtf8(format);
    const QString keySpace = keySpaceFor(format);
    addDictionary(asset->metadata_, input->metadata, keySpace);

    struct Pending {
        AVStream* st;
        AssetTrack::Info info;
    };
    std::vector<Pending> pending;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        AVStream* st = input->streams[i];
        const AVCodecParameters* par = st->codecpar;
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) {
            if (st->attached_pic.size > 0) {
                MetadataItem art;
                art.keySpace = keySpace;
                art.key = QStringLiteral("cover");
                art.commonKey = QStringLiteral("artwork");
                art.value = QByteArray(reinterpret_cast<const char*>(st->attached_pic.data),
                                       st->attached_pic.size);
                art.dataType = imageType(par->codec_id);
                asset->metadata_.push_back(std::move(art));
            }
            continue;
        }
        if (av_stream_get_side_data(st, AV_PKT_DATA_ENCRYPTION_INIT_INFO, nullptr))
            asset->protected_ = true;
        AssetTrack::Info info;
        info.trackID = int32_t(i) + 1;
        info.sourcePath = asset->path_;
        info.streamIndex = int(i);
        info.codecName = QString::fromUtf8(avcodec_get_name(par->codec_id));
        info.bitRate = par->bit_rate;
        if (const AVDictionaryEntry* lang = av_dict_get(st->metadata, "language", nullptr, 0))
            info.languageCode = QString::fromUtf8(lang->value);
        const bool decodable = avcodec_find_decoder(par->codec_id) != nullptr;
        if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            if (!decodable || par->sample_rate <= 0 || par->ch_layout.nb_channels <= 0) continue;
            // A rate no audio file holds is a damaged header: taken as it
            // stands it would make a track of a few samples that no
            // resampler can serve.
            if (par->sample_rate < kLowestSampleRate || par->sample_rate > kHighestSampleRate)
                return fail(QStringLiteral("\"%1\" declares a sample rate of %2 Hz; audio files hold 1 kHz to 768 kHz.")
                                .arg(path)
                                .arg(par->sample_rate));
            info.mediaType = MediaType::Audio;
            info.sampleRate = par->sample_rate;
            info.channelCount = par->ch_layout.nb_channels;
            info.naturalTimeScale = par->sample_rate;
            info.bitsPerSample = isPcm(par->codec_id) ? av_get_bits_per_sample(par->codec_id) : 0;
            if (info.bitsPerSample == 0 && par->codec_id == AV_CODEC_ID_FLAC)
                info.bitsPerSample = par->bits_per_raw_sample;
            addDictionary(asset->metadata_, st->metadata, keySpace);
        } else if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            if (!decodable || par->width <= 0 || par->height <= 0) continue;
            info.mediaType = MediaType::Video;
            info.width = par->width;
            info.height = par->height;
            info.naturalTimeScale = timeScaleOf(st);
            if (st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0)
                info.nominalFrameRate = av_q2d(st->avg_frame_rate);
            if (const uint8_t* m = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr)) {
                const double ccw = av_display_rotation_get(reinterpret_cast<const int32_t*>(m));
                if (!std::isnan(ccw)) info.rotation = ((int(std::lround(-ccw / 90.0)) % 4 + 4) % 4) * 90;
            }
            int64_t d = st->duration;
            if (d <= 0 || d == AV_NOPTS_VALUE) {
                if (input->duration > 0)
                    d = av_rescale_q(input->duration, AV_TIME_BASE_Q, st->time_base);
                else
                    d = 0;
            }
            const int64_t ticks = av_rescale_q(d, st->time_base, AVRational{1, info.naturalTimeScale});
            info.timeRange = MediaTimeRange(MediaTime::zero(), MediaTime(ticks, info.naturalTimeScale));
        } else {
            continue;
        }
        pending.push_back({st, info});
    }
    if (pending.empty())
        return fail(QStringLiteral("\"%1\" holds no audio or video that can be played.").arg(path));
    addTaggedMetadata(asset->metadata_, asset->path_, asset->formatName_, keySpace);

    // Audio lengths come last: a packet scan reads the whole file once.
    for (auto& p : pending) {
        if (p.info.mediaType != MediaType::Audio) continue;
        const AudioLength len = audioLength(input.get(), p.st);
        if (isTruncated(input.get(), p.st, len.frames, fi.size()))
            return fail(QStringLiteral("\"%1\" is truncated: it holds less than its header declares.").arg(path));
        p.info.frameCount = len.frames;
        p.info.timeRange = MediaTimeRange(MediaTime::zero(), MediaTime(len.frames, p.info.naturalTimeScale));
        DecodedCache::Request request;
        request.path = asset->path_;
        request.streamIndex = p.info.streamIndex;
        request.expectedFrames = len.frames;
        request.expectedIsExact = len.exact;
        p.info.sourcePath = asset->path_;
        auto decoder = [request](const AssetTrack::Progress& progress, QString* err) {
            return DecodedCache::load(request, progress, err);
        };
        asset->tracks_.push_back(std::make_shared<AssetTrack>(p.info, decoder));
    }
    for (auto& p : pending)
        if (p.info.mediaType == MediaType::Video)
            asset->tracks_.push_back(std::make_shared<AssetTrack>(p.info, nullptr));
    std::stable_sort(asset->tracks_.begin(), asset->tracks_.end(),
                     [](const auto& a, const auto& b) { return a->trackID() < b->trackID(); });

    bool anyContent = false;
    for (const auto& t : asset->tracks_) {
        if (t->timeRange().duration > MediaTime::zero()) anyContent = true;
        if (t->timeRange().end() > asset->duration_) asset->duration_ = t->timeRange().end();
    }
    if (!anyContent)
        return fail(QStringLiteral("\"%1\" holds no audio or video that can be played.").arg(path));
    asset->playable_ = true;
    return asset;
}

void Asset::loadAsync(const QString& path, Completion completion) {
    mediaworkers::start(mediaworkers::Work::Load, [path, completion = std::move(completion)] {
        QString error;
        auto asset = load(path, &error);
        MainQueue::async([asset, error, completion] {
            if (completion) completion(asset, error);
        });
    });
}

std::vector<std::shared_ptr<AssetTrack>> Asset::tracksWithMediaType(MediaType type) const {
    std::vector<std::shared_ptr<AssetTrack>> out;
    for (const auto& t : tracks_)
        if (t->mediaType() == type) out.push_back(t);
    return out;
}

std::shared_ptr<AssetTrack> Asset::trackWithTrackID(int32_t trackID) const {
    for (const auto& t : tracks_)
        if (t->trackID() == trackID) return t;
    return nullptr;
}

std::shared_ptr<Asset> Asset::withDecodedLength(const std::shared_ptr<AssetTrack>& track,
                                                const std::shared_ptr<DecodedSource>& source) const {
    auto self = std::const_pointer_cast<Asset>(shared_from_this());
    if (!track || !source || track->mediaType() != MediaType::Audio ||
        source->frameCount() == track->info().frameCount)
        return self;
    std::shared_ptr<Asset> copy(new Asset(*this));
    copy->duration_ = MediaTime::zero();
    for (auto& t : copy->tracks_) {
        if (t == track) t = track->withDecodedLength(source);
        if (t->timeRange().end() > copy->duration_) copy->duration_ = t->timeRange().end();
    }
    return copy;
}

std::vector<MetadataItem> Asset::commonMetadata() const {
    std::vector<MetadataItem> out;
    for (const auto& m : metadata_)
        if (!m.commonKey.isEmpty()) out.push_back(m);
    return out;
}

std::vector<MetadataItem> Asset::metadataWithCommonKey(const QString& commonKey) const {
    std::vector<MetadataItem> out;
    for (const auto& m : metadata_)
        if (m.commonKey == commonKey) out.push_back(m);
    return out;
}

AssetKeyStatus Asset::statusOfValue(const QString& key) const {
    static const QStringList known = {QStringLiteral("playable"), QStringLiteral("hasProtectedContent"),
                                      QStringLiteral("tracks"), QStringLiteral("duration"),
                                      QStringLiteral("commonMetadata"), QStringLiteral("metadata")};
    return known.contains(key) ? AssetKeyStatus::Loaded : AssetKeyStatus::Unknown;
}

const QStringList& Asset::audiovisualExtensions() {
    static const QStringList ext = {
        QStringLiteral("wav"),  QStringLiteral("wave"), QStringLiteral("aif"),  QStringLiteral("aiff"),
        QStringLiteral("aifc"), QStringLiteral("caf"),  QStringLiteral("flac"), QStringLiteral("mp3"),
        QStringLiteral("m4a"),  QStringLiteral("m4b"),  QStringLiteral("m4r"),  QStringLiteral("aac"),
        QStringLiteral("adts"), QStringLiteral("ogg"),  QStringLiteral("oga"),  QStringLiteral("opus"),
        QStringLiteral("mka"),  QStringLiteral("wma"),  QStringLiteral("w64"),  QStringLiteral("au"),
        QStringLiteral("snd"),  QStringLiteral("ac3"),  QStringLiteral("amr"),  QStringLiteral("mov"),
        QStringLiteral("qt"),   QStringLiteral("mp4"),  QStringLiteral("m4v"),  QStringLiteral("mkv"),
        QStringLiteral("webm"), QStringLiteral("avi"),  QStringLiteral("3gp"),  QStringLiteral("3g2"),
        QStringLiteral("mpg"),  QStringLiteral("mpeg"), QStringLiteral("ts"),   QStringLiteral("mts"),
    };
    return ext;
}

bool Asset::isAudiovisualFile(const QString& path) {
    return audiovisualExtensions().contains(QFileInfo(path).suffix().toLower());
}
