#include "SongReader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/tiostream.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include "Mp4Atoms.h"
#include "MusicText.h"

namespace LumoMusic {

namespace {

// The largest block handed to TagLib in one read. A damaged header can claim a tag of
// gigabytes; TagLib would allocate it before finding out.
constexpr unsigned long c_MaxReadBytes = 64ul << 20;

// TagLib looks for frames and tags by reading a file 1024 bytes at a time and looking at each
// byte, at some 10 MB/s: a damaged or zero-filled file of hundreds of megabytes would take
// minutes. Reads that small together get a budget; past it the file reads as ended. Tags and
// headers come in few small reads, or in one large one, so real files never come near it.
constexpr unsigned long c_ScanReadBytes = 1024;
constexpr long long c_ScanBudgetBytes = 1ll << 20;
// TagLib reads headers a few bytes at a time; each would be a system call of its own.
constexpr size_t c_WindowBytes = 16384;

// A read-only TagLib stream over a file descriptor the caller owns, reading with pread: no
// second open, no stdio buffer, and nothing can ever be written.
class FdStream : public TagLib::IOStream {
public:
    FdStream(int fd, const std::string& path, long long lengthBytes) : m_fd(fd), m_path(path), m_length(lengthBytes) { }

    TagLib::FileName name() const override { return m_path.c_str(); }

    TagLib::ByteVector readBlock(unsigned long length) override
    {
        if (m_position >= m_length || length == 0 || length > c_MaxReadBytes)
            return TagLib::ByteVector();
        const bool scanning = length <= c_ScanReadBytes;
        if (scanning && m_scannedBytes >= c_ScanBudgetBytes)
            return TagLib::ByteVector();
        const long long available = m_length - m_position;
        const unsigned long wanted = (long long)length > available ? (unsigned long)available : length;
        TagLib::ByteVector block(static_cast<unsigned int>(wanted), 0);
        const size_t done = wanted <= c_WindowBytes / 2 ? ReadThroughWindows(block.data(), wanted)
                                                        : ReadAt(block.data(), wanted, m_position);
        block.resize(static_cast<unsigned int>(done));
        m_position += (long long)done;
        if (scanning)
            m_scannedBytes += (long long)done;
        return block;
    }

    void writeBlock(const TagLib::ByteVector&) override { }
    void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override { }
    void removeBlock(unsigned long, unsigned long) override { }
    bool readOnly() const override { return true; }
    bool isOpen() const override { return true; }

    void seek(long offset, Position from) override
    {
        long long target = offset;
        if (from == Current)
            target += m_position;
        else if (from == End)
            target += m_length;
        m_position = target < 0 ? 0 : target;
    }

    long tell() const override { return long(m_position); }
    long length() override { return long(m_length); }
    void truncate(long) override { }

private:
    // A piece of the file read at once, at a multiple of c_WindowBytes.
    struct Window {
        long long start = -1;
        size_t bytes = 0;
        std::unique_ptr<char[]> data;
    };

    size_t ReadAt(char* target, size_t wanted, long long offset) const
    {
        size_t done = 0;
        while (done < wanted) {
            const ssize_t count = pread(m_fd, target + done, wanted - done, off_t(offset + (long long)done));
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                break; // the file shrank, or cannot be read further: what was read counts
            done += size_t(count);
        }
        return done;
    }

    // Small reads come from the two windows last used (the head and the end of a file, where
    // tags and headers are), each filled by one read.
    size_t ReadThroughWindows(char* target, size_t wanted)
    {
        size_t done = 0;
        while (done < wanted) {
            const long long offset = m_position + (long long)done;
            const long long start = offset - offset % (long long)c_WindowBytes;
            Window* window = m_windows[0].start == start ? &m_windows[0]
                : m_windows[1].start == start            ? &m_windows[1]
                                                         : nullptr;
            if (!window) {
                window = &m_windows[m_nextWindow];
                m_nextWindow ^= 1;
                if (!window->data)
                    window->data = std::make_unique<char[]>(c_WindowBytes);
                window->start = start;
                window->bytes = ReadAt(window->data.get(), c_WindowBytes, start);
            }
            const size_t inside = size_t(offset - start);
            if (inside >= window->bytes)
                break;
            const size_t count = std::min(wanted - done, window->bytes - inside);
            std::memcpy(target + done, window->data.get() + inside, count);
            done += count;
        }
        return done;
    }

    int m_fd;
    const std::string& m_path;
    long long m_length;
    long long m_position = 0;
    long long m_scannedBytes = 0;
    Window m_windows[2];
    int m_nextWindow = 0;
};

class FileCloser {
public:
    explicit FileCloser(int fd) : m_fd(fd) { }
    ~FileCloser() { close(m_fd); }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    int m_fd;
};

// Formats whose first bytes settle what they are; a bare MPEG frame or an ID3 tag does not
// outweigh the name.
bool IsConclusive(AudioFormat format)
{
    return format != AudioFormat::Mpeg;
}

std::unique_ptr<TagLib::File> OpenReader(AudioFormat format, TagLib::IOStream* stream)
{
    constexpr auto c_Style = TagLib::AudioProperties::Fast;
    TagLib::ID3v2::FrameFactory* frames = TagLib::ID3v2::FrameFactory::instance();
    switch (format) {
    case AudioFormat::Mpeg:
        return std::make_unique<TagLib::MPEG::File>(stream, frames, true, c_Style);
    case AudioFormat::Aac:
        // TagLib reads no ADTS stream properties, and looking for MPEG frames in one would walk
        // the whole file: tags only.
        return std::make_unique<TagLib::MPEG::File>(stream, frames, false, c_Style);
    case AudioFormat::Flac:
        return std::make_unique<TagLib::FLAC::File>(stream, frames, true, c_Style);
    case AudioFormat::Vorbis:
        return std::make_unique<TagLib::Ogg::Vorbis::File>(stream, true, c_Style);
    case AudioFormat::Opus:
        return std::make_unique<TagLib::Ogg::Opus::File>(stream, true, c_Style);
    case AudioFormat::OggFlac:
        return std::make_unique<TagLib::Ogg::FLAC::File>(stream, true, c_Style);
    case AudioFormat::Speex:
        return std::make_unique<TagLib::Ogg::Speex::File>(stream, true, c_Style);
    case AudioFormat::Mp4:
        return std::make_unique<TagLib::MP4::File>(stream, true, c_Style);
    case AudioFormat::Wav:
        return std::make_unique<TagLib::RIFF::WAV::File>(stream, true, c_Style);
    case AudioFormat::Aiff:
        return std::make_unique<TagLib::RIFF::AIFF::File>(stream, true, c_Style);
    case AudioFormat::Wma:
        return std::make_unique<TagLib::ASF::File>(stream, true, c_Style);
    case AudioFormat::WavPack:
        return std::make_unique<TagLib::WavPack::File>(stream, true, c_Style);
    case AudioFormat::Ape:
        return std::make_unique<TagLib::APE::File>(stream, true, c_Style);
    case AudioFormat::Musepack:
        return std::make_unique<TagLib::MPC::File>(stream, true, c_Style);
    case AudioFormat::Playlist:
    case AudioFormat::Stream:
    case AudioFormat::Count:
        break;
    }
    return nullptr;
}

std::string TagText(const TagLib::String& text)
{
    return text.isEmpty() ? std::string() : CleanTagText(text.to8Bit(true));
}

void ReadTagsAndProperties(TagLib::File& file, SongInfo& info)
{
    if (!file.isValid())
        return;
    if (const TagLib::Tag* tag = file.tag()) {
        info.title = TagText(tag->title());
        info.artist = TagText(tag->artist());
        info.album = TagText(tag->album());
        info.genre = TagText(tag->genre());
        info.year = tag->year();
        info.trackNumber = tag->track();
    }
    if (const TagLib::AudioProperties* properties = file.audioProperties()) {
        info.durationMs = properties->lengthInMilliseconds();
        info.bitRateKbps = properties->bitrate();
        info.sampleRateHz = properties->sampleRate();
        info.channels = properties->channels();
    }
}

// A cover larger than this is no cover but damage, or a whole file hidden in a tag.
constexpr unsigned c_MaxCoverBytes = 16u << 20;

std::string LowerMime(const TagLib::String& mime)
{
    std::string text = mime.to8Bit(true);
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    // Old taggers wrote "jpg" or "PNG" alone.
    if (text == "jpg" || text == "jpeg" || text == "image/jpg")
        return "image/jpeg";
    if (text == "png")
        return "image/png";
    return text;
}

// Taggers that name no type leave the picture's bytes to tell.
std::string SniffedMime(const TagLib::ByteVector& data, const std::string& named)
{
    if (data.size() >= 3 && static_cast<unsigned char>(data[0]) == 0xFF && static_cast<unsigned char>(data[1]) == 0xD8)
        return "image/jpeg";
    if (data.size() >= 8 && data.startsWith(TagLib::ByteVector("\x89PNG", 4)))
        return "image/png";
    return named;
}

// Keeps the best picture offered so far: a front cover beats any other, the first of each
// kind wins.
class CoverChoice {
public:
    // Only whether there is a picture, without copying one.
    static CoverChoice PresenceOnly()
    {
        CoverChoice choice;
        choice.m_presenceOnly = true;
        return choice;
    }

    void Offer(const TagLib::ByteVector& data, const std::string& mime, bool front)
    {
        if (data.isEmpty() || data.size() > c_MaxCoverBytes || (m_found && (m_front || !front)))
            return;
        m_found = true;
        m_front = front;
        if (m_presenceOnly)
            return;
        m_cover.bytes.assign(data.data(), data.size());
        m_cover.mime = SniffedMime(data, mime);
    }
    bool Found() const { return m_found; }
    bool Take(SongCover& cover)
    {
        if (m_found)
            cover = std::move(m_cover);
        return m_found;
    }

private:
    SongCover m_cover;
    bool m_found = false;
    bool m_front = false;
    bool m_presenceOnly = false;
};

void OfferId3(const TagLib::ID3v2::Tag* tag, CoverChoice& choice)
{
    if (!tag)
        return;
    for (const TagLib::ID3v2::Frame* frame : tag->frameList("APIC")) {
        const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (picture)
            choice.Offer(picture->picture(), LowerMime(picture->mimeType()),
                picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    }
}

void OfferFlacPictures(const TagLib::List<TagLib::FLAC::Picture*>& pictures, CoverChoice& choice)
{
    for (const TagLib::FLAC::Picture* picture : pictures)
        choice.Offer(
            picture->data(), LowerMime(picture->mimeType()), picture->type() == TagLib::FLAC::Picture::FrontCover);
}

void OfferXiph(TagLib::Ogg::XiphComment* comment, CoverChoice& choice)
{
    if (comment)
        OfferFlacPictures(comment->pictureList(), choice);
}

void ReadCoverOf(TagLib::File& file, CoverChoice& choice)
{
    if (!file.isValid())
        return;
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file)) {
        OfferId3(mpeg->ID3v2Tag(false), choice);
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(&file)) {
        OfferFlacPictures(flac->pictureList(), choice);
        OfferId3(flac->ID3v2Tag(false), choice);
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(&file)) {
        const TagLib::MP4::Tag* tag = mp4->tag();
        if (tag && tag->contains("covr")) {
            for (const TagLib::MP4::CoverArt& art : tag->item("covr").toCoverArtList()) {
                const char* mime = art.format() == TagLib::MP4::CoverArt::PNG ? "image/png" : "image/jpeg";
                choice.Offer(art.data(), mime, true);
            }
        }
    } else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(&file)) {
        OfferXiph(vorbis->tag(), choice);
    } else if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(&file)) {
        OfferXiph(opus->tag(), choice);
    } else if (auto* oggFlac = dynamic_cast<TagLib::Ogg::FLAC::File*>(&file)) {
        OfferXiph(oggFlac->tag(), choice);
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(&file)) {
        OfferId3(wav->ID3v2Tag(), choice);
    } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(&file)) {
        OfferId3(aiff->tag(), choice);
    } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(&file)) {
        const TagLib::ASF::Tag* tag = asf->tag();
        if (tag && tag->contains("WM/Picture")) {
            for (const TagLib::ASF::Attribute& attribute : tag->attribute("WM/Picture")) {
                const TagLib::ASF::Picture picture = attribute.toPicture();
                if (picture.isValid())
                    choice.Offer(picture.picture(), LowerMime(picture.mimeType()),
                        picture.type() == TagLib::ASF::Picture::FrontCover);
            }
        }
    }
}

enum class Opened { No, TooDeep, Read };

// Opens a regular file, takes its format from its bytes where they are conclusive, and hands
// TagLib's reader of it to read. Anything TagLib raises (out of memory on a damaged length
// field, or worse) ends the reading quietly with what was read so far.
template <class Read>
Opened ReadWith(const std::string& path, AudioFormat named, Read&& read)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return Opened::No;
    FileCloser closer(fd);
    struct stat facts { };
    if (fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode))
        return Opened::No;
    AudioFormat format = named;
    if (const std::optional<AudioFormat> sniffed = SniffFile(fd); sniffed && IsConclusive(*sniffed))
        format = *sniffed;
    // A stack overflow cannot be caught: such a file is not given to TagLib at all.
    if (format == AudioFormat::Mp4 && !Mp4TreeIsBounded(fd, (long long)facts.st_size))
        return Opened::TooDeep;
    try {
        FdStream stream(fd, path, (long long)facts.st_size);
        if (std::unique_ptr<TagLib::File> file = OpenReader(format, &stream))
            read(*file);
    } catch (...) {
    }
    return Opened::Read;
}

} // namespace

bool ReadSong(const std::string& path, AudioFormat named, SongInfo& info)
{
    // A file too deep to read keeps its file facts only.
    return ReadWith(path, named, [&](TagLib::File& file) {
        ReadTagsAndProperties(file, info);
        // The tags are parsed already: looking for a picture in them costs nothing more.
        CoverChoice choice = CoverChoice::PresenceOnly();
        ReadCoverOf(file, choice);
        info.hasCover = choice.Found();
    }) != Opened::No;
}

bool ReadCover(const std::string& path, AudioFormat named, SongCover& cover)
{
    CoverChoice choice;
    if (ReadWith(path, named, [&](TagLib::File& file) { ReadCoverOf(file, choice); }) != Opened::Read)
        return false;
    return choice.Take(cover);
}

} // namespace LumoMusic
