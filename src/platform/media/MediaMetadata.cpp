#include "platform/media/MediaMetadata.h"

#include <QFile>
#include <QSaveFile>

#include <aifffile.h>
#include <attachedpictureframe.h>
#include <commentsframe.h>
#include <id3v2tag.h>
#include <infotag.h>
#include <mp4coverart.h>
#include <mp4file.h>
#include <mp4tag.h>
#include <mpegfile.h>
#include <tbytevectorstream.h>
#include <textidentificationframe.h>
#include <wavfile.h>

#include <QtEndian>

#include <algorithm>
#include <vector>

QString MediaMetadata::artworkMimeType() const {
    if (artwork.startsWith("\xff\xd8")) return QStringLiteral("image/jpeg");
    if (artwork.startsWith("\x89PNG")) return QStringLiteral("image/png");
    if (artwork.startsWith("BM")) return QStringLiteral("image/bmp");
    return artwork.isEmpty() ? QString() : QStringLiteral("image/jpeg");
}

namespace mediatags {
namespace {

TagLib::String tstr(const QString& s) {
    return TagLib::String(s.toUtf8().toStdString(), TagLib::String::UTF8);
}
QString qstr(const TagLib::String& s) { return QString::fromUtf8(s.toCString(true)); }
TagLib::ByteVector bytes(const QByteArray& a) {
    return TagLib::ByteVector(a.constData(), static_cast<unsigned>(a.size()));
}
QByteArray qbytes(const TagLib::ByteVector& v) { return QByteArray(v.data(), int(v.size())); }

void setText(TagLib::ID3v2::Tag* tag, const char* id, const QString& value) {
    tag->removeFrames(id);
    if (value.isEmpty()) return;
    auto* f = new TagLib::ID3v2::TextIdentificationFrame(id, TagLib::String::UTF8);
    f->setText(tstr(value));
    tag->addFrame(f);
}

void fillId3(TagLib::ID3v2::Tag* tag, const MediaMetadata& m) {
    setText(tag, "TIT2", m.title);
    setText(tag, "TPE1", m.artist);
    tag->removeFrames("COMM");
    if (!m.comment.isEmpty()) {
        auto* c = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF8);
        c->setLanguage("eng");
        c->setText(tstr(m.comment));
        tag->addFrame(c);
    }
    tag->removeFrames("APIC");
    if (!m.artwork.isEmpty()) {
        auto* p = new TagLib::ID3v2::AttachedPictureFrame;
        p->setTextEncoding(TagLib::String::UTF8);
        p->setMimeType(tstr(m.artworkMimeType()));
        p->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        p->setPicture(bytes(m.artwork));
        tag->addFrame(p);
    }
}

void readId3(const TagLib::ID3v2::Tag* tag, MediaMetadata* m) {
    if (!tag) return;
    if (m->title.isEmpty()) m->title = qstr(tag->title());
    if (m->artist.isEmpty()) m->artist = qstr(tag->artist());
    if (m->comment.isEmpty()) m->comment = qstr(tag->comment());
    if (m->artwork.isEmpty()) {
        const auto& frames = tag->frameListMap()["APIC"];
        for (auto* f : frames)
            if (auto* p = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(f)) {
                m->artwork = qbytes(p->picture());
                break;
            }
    }
}

bool failed(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

// Reads an ID3v2 tag held in memory.
void readId3Bytes(const QByteArray& data, MediaMetadata* m) {
    TagLib::ByteVector v = bytes(data);
    TagLib::ByteVectorStream stream(v);
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (file.hasID3v2Tag()) readId3(file.ID3v2Tag(), m);
}

struct CafChunk {
    QByteArray type;
    qint64 offset;  // of the chunk's data
    qint64 size;
};

std::vector<CafChunk> cafChunks(QFile& f) {
    std::vector<CafChunk> chunks;
    if (f.read(8).left(4) != "caff") return chunks;
    qint64 pos = 8;
    const qint64 end = f.size();
    while (pos + 12 <= end) {
        f.seek(pos);
        const QByteArray head = f.read(12);
        if (head.size() < 12) break;
        const qint64 size = qFromBigEndian<qint64>(head.constData() + 4);
        if (size < 0) {  // a data chunk that runs to the end
            chunks.push_back({head.left(4), pos + 12, end - pos - 12});
            break;
        }
        chunks.push_back({head.left(4), pos + 12, size});
        pos += 12 + size;
    }
    return chunks;
}

}  // namespace

bool writeWav(const QString& path, const MediaMetadata& m, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    TagLib::RIFF::WAV::File file(name.constData(), false);
    if (!file.isValid()) return failed(error, QStringLiteral("\"%1\" could not be opened for tagging.").arg(path));
    fillId3(file.ID3v2Tag(), m);
    auto* info = file.InfoTag();
    info->setTitle(tstr(m.title));
    info->setArtist(tstr(m.artist));
    info->setComment(tstr(m.comment));
    if (!file.save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripOthers, TagLib::ID3v2::v4))
        return failed(error, QStringLiteral("The tags of \"%1\" could not be written.").arg(path));
    return true;
}

bool writeAiff(const QString& path, const MediaMetadata& m, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    TagLib::RIFF::AIFF::File file(name.constData(), false);
    if (!file.isValid()) return failed(error, QStringLiteral("\"%1\" could not be opened for tagging.").arg(path));
    fillId3(file.tag(), m);
    if (!file.save(TagLib::ID3v2::v4))
        return failed(error, QStringLiteral("The tags of \"%1\" could not be written.").arg(path));
    return true;
}

bool writeMp4Artwork(const QString& path, const QByteArray& artwork, QString* error) {
    if (artwork.isEmpty()) return true;
    const QByteArray name = QFile::encodeName(path);
    TagLib::MP4::File file(name.constData(), false);
    if (!file.isValid() || !file.tag())
        return failed(error, QStringLiteral("\"%1\" could not be opened for tagging.").arg(path));
    MediaMetadata probe;
    probe.artwork = artwork;
    const auto format = probe.artworkMimeType() == QStringLiteral("image/png") ? TagLib::MP4::CoverArt::PNG
                        : probe.artworkMimeType() == QStringLiteral("image/bmp") ? TagLib::MP4::CoverArt::BMP
                                                                                 : TagLib::MP4::CoverArt::JPEG;
    TagLib::MP4::CoverArtList list;
    list.append(TagLib::MP4::CoverArt(format, bytes(artwork)));
    file.tag()->setItem("covr", TagLib::MP4::Item(list));
    if (!file.save()) return failed(error, QStringLiteral("The artwork of \"%1\" could not be written.").arg(path));
    return true;
}

bool writeCafTag(const QString& path, const MediaMetadata& m, QString* error) {
    if (m.isEmpty()) return true;
    // Render the tag through an in-memory file that holds nothing else.
    TagLib::ByteVector empty;
    TagLib::ByteVectorStream stream(empty);
    TagLib::MPEG::File holder(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    auto* tag = holder.ID3v2Tag(true);
    fillId3(tag, m);
    const TagLib::ByteVector rendered = tag->render(TagLib::ID3v2::v4);

    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return failed(error, QStringLiteral("\"%1\" could not be opened for tagging.").arg(path));
    const std::vector<CafChunk> chunks = cafChunks(in);
    const auto data = std::find_if(chunks.begin(), chunks.end(), [](const CafChunk& c) { return c.type == "data"; });
    if (data == chunks.end()) return failed(error, QStringLiteral("\"%1\" holds no audio data.").arg(path));

    // The file again, every chunk but the audio data first, then the tag,
    // then the data: readers that take the length from what follows the
    // start of the data find the audio's own.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return failed(error, QStringLiteral("\"%1\" could not be opened for tagging.").arg(path));
    auto copy = [&](qint64 from, qint64 size) {
        in.seek(from);
        constexpr qint64 Block = 1 << 20;
        for (qint64 done = 0; done < size;) {
            const QByteArray block = in.read(std::min(Block, size - done));
            if (block.isEmpty() || out.write(block) != block.size()) return false;
            done += block.size();
        }
        return true;
    };
    auto copyChunk = [&](const CafChunk& c) { return copy(c.offset - 12, c.size + 12); };
    bool ok = copy(0, 8);
    for (const CafChunk& c : chunks)
        if (ok && c.type != "data" && c.type != "ID3 ") ok = copyChunk(c);
    QByteArray head("ID3 ");
    char size[8];
    qToBigEndian<qint64>(qint64(rendered.size()), size);
    head.append(size, 8);
    ok = ok && out.write(head) == head.size() &&
         out.write(rendered.data(), qint64(rendered.size())) == qint64(rendered.size());
    ok = ok && copyChunk(*data);
    if (!ok || !out.commit()) {
        out.cancelWriting();
        return failed(error, QStringLiteral("The tags of \"%1\" could not be written.").arg(path));
    }
    return true;
}

MediaMetadata read(const QString& path, const QString& format) {
    MediaMetadata m;
    const QByteArray name = QFile::encodeName(path);
    if (format == QStringLiteral("wav")) {
        TagLib::RIFF::WAV::File file(name.constData(), false);
        if (file.isValid()) {
            if (file.hasID3v2Tag()) readId3(file.ID3v2Tag(), &m);
            if (file.hasInfoTag()) {
                if (m.title.isEmpty()) m.title = qstr(file.InfoTag()->title());
                if (m.artist.isEmpty()) m.artist = qstr(file.InfoTag()->artist());
                if (m.comment.isEmpty()) m.comment = qstr(file.InfoTag()->comment());
            }
        }
    } else if (format == QStringLiteral("aiff")) {
        TagLib::RIFF::AIFF::File file(name.constData(), false);
        if (file.isValid() && file.hasID3v2Tag()) readId3(file.tag(), &m);
    } else if (format.startsWith(QStringLiteral("mov"))) {
        TagLib::MP4::File file(name.constData(), false);
        if (file.isValid() && file.tag()) {
            auto* tag = file.tag();
            m.title = qstr(tag->title());
            m.artist = qstr(tag->artist());
            m.comment = qstr(tag->comment());
            if (tag->contains("covr")) {
                const auto list = tag->item("covr").toCoverArtList();
                if (!list.isEmpty()) m.artwork = qbytes(list.front().data());
            }
        }
    } else if (format == QStringLiteral("mp3")) {
        TagLib::MPEG::File file(name.constData(), false);
        if (file.isValid() && file.hasID3v2Tag()) readId3(file.ID3v2Tag(), &m);
    } else if (format == QStringLiteral("caf")) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            for (const auto& c : cafChunks(f))
                if (c.type == "ID3 " && c.size > 0 && c.size < (64 << 20)) {
                    f.seek(c.offset);
                    readId3Bytes(f.read(c.size), &m);
                }
    }
    return m;
}

}  // namespace mediatags
