#include "server/ContentLoader.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <exception>
#include <mutex>
#include <sys/stat.h>
#include <unordered_map>

#include <lumo/Data.h>
#include <lumo/Image.h>

#include "host/HostInternals.h"
#include "host/Image.h"
#include "host/MediaItem.h"
#include "host/Url.h"
#include "server/DlnaProfiles.h"
#include "server/WaveFile.h"

using namespace LumoApi;

namespace {

constexpr char c_MusicClass[] = "LumoMusic";
constexpr char c_PhotosClass[] = "LumoPhotos";
constexpr char c_BrokenType[] = "x-application/lumo-broken";

ApiRef<UrlApi> UrlOf(const std::string& text)
{
    return ApiRef<UrlApi>::Adopt(Url::FromText(text).NewRef());
}

std::string Major(const std::string& type)
{
    return type.substr(0, type.find('/'));
}

// The kind the server shows a child as, or false when it is not shown.
bool KindOf(const std::string& type, MediaClassKind kind, NodeKind& result)
{
    if (type.empty() || type == c_BrokenType)
        return false;
    const std::string major = Major(type);
    if (major == "x-container") {
        result = type.find("playlist") != std::string::npos ? NodeKind::Playlist : NodeKind::Folder;
        // Photos have no playlists the server could show.
        return kind == MediaClassKind::Music || result == NodeKind::Folder;
    }
    if (kind == MediaClassKind::Music && major == "audio") {
        result = NodeKind::Song;
        return true;
    }
    if (kind == MediaClassKind::Photos && major == "image") {
        result = NodeKind::Photo;
        return true;
    }
    return false;
}

std::string FileKeyOf(const std::string& path)
{
    struct stat info { };
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return std::string();
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

int LeadingNumber(const std::string& text)
{
    return int(std::strtol(text.c_str(), nullptr, 10));
}

int64_t LeadingNumber64(const std::string& text)
{
    return std::strtoll(text.c_str(), nullptr, 10);
}

// "44.1 kHz" or "800 Hz" as the music module writes them.
int SampleRateOf(const std::string& text)
{
    const double value = std::strtod(text.c_str(), nullptr);
    if (value <= 0)
        return 0;
    return text.find("kHz") != std::string::npos ? int(value * 1000 + 0.5) : int(value + 0.5);
}

std::shared_ptr<const std::string> EncodeJpeg(const QImage& image, int side)
{
    if (image.isNull())
        return nullptr;
    const QImage scaled = image.width() > side || image.height() > side
        ? image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        : image;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!scaled.convertToFormat(QImage::Format_RGB888).save(&buffer, "JPEG", 88))
        return nullptr;
    return std::make_shared<const std::string>(bytes.constData(), size_t(bytes.size()));
}

// A picture from bytes that come from anywhere: Qt's readers check what they read, and a
// size limit keeps a forged header from asking for gigabytes.
QImage DecodePicture(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(256);
    return reader.read();
}

} // namespace

std::string LocalPathOfItem(const std::string& url)
{
    try {
        const Url parsed = Url::FromText(url);
        const std::string scheme = parsed.Scheme();
        if (scheme != "file" && scheme != "lumomusic-file" && scheme != "lumophotos-file")
            return std::string();
        const std::string path = "/" + parsed.Path();
        return path.find('\0') == std::string::npos ? path : std::string();
    } catch (const std::exception&) {
        return std::string();
    }
}

namespace {

bool ReadEntryOf(const ApiRef<UrlApi>& child, MediaClassKind kind, ChildEntry& entry, bool* missing)
{
    if (missing)
        *missing = false;
    try {
        MediaItem item(child);
        const std::string type = item.Property("ContentType");
        if (!KindOf(type, kind, entry.kind)) {
            if (missing && type == c_BrokenType)
                *missing = true;
            return false;
        }
        entry.url = child->GetText();
        // A module may still know a file that went a moment ago (its details are cached); a
        // listing shows only what is there.
        const std::string path = LocalPathOfItem(entry.url);
        struct stat info { };
        if (!IsContainerKind(entry.kind) && !path.empty() && ::stat(path.c_str(), &info) != 0) {
            if (missing)
                *missing = true;
            return false;
        }
        entry.title = item.Property("Title");
        if (entry.title.empty())
            entry.title = entry.url;
        if (entry.kind == NodeKind::Folder)
            entry.fileKey = FileKeyOf(path);
        return true;
    } catch (const std::exception&) {
        // An item no module can read is not shown.
        return false;
    }
}

} // namespace

bool ReadChildEntry(const std::string& url, MediaClassKind kind, ChildEntry& entry)
{
    try {
        if (!ReadEntryOf(UrlOf(url), kind, entry, nullptr))
            return false;
        // A folder that went: a listing would not hold it any more.
        return entry.kind != NodeKind::Folder || LocalPathOfItem(url).empty() || !entry.fileKey.empty();
    } catch (const std::exception&) {
        return false;
    }
}

Listing ListContainer(HostInternals&, const std::string& url, MediaClassKind kind, const std::atomic<bool>* cancel)
{
    Listing listing;
    try {
        Container container(UrlOf(url));
        for (ApiRef<UrlApi> child = container.GetFirst(); child; child = container.GetNext()) {
            if (cancel && cancel->load()) {
                listing.error = "cancelled";
                return listing;
            }
            ChildEntry entry;
            bool missing = false;
            if (ReadEntryOf(child, kind, entry, &missing))
                listing.entries.push_back(std::move(entry));
            else if (missing)
                ++listing.missing;
        }
        listing.ok = true;
    } catch (const std::exception& error) {
        listing.error = error.what();
    }
    return listing;
}

Listing ListPublished(HostInternals& host, MediaClassKind kind)
{
    std::string root;
    try {
        MediaClass& mediaClass = host.MediaClasses().ById(kind == MediaClassKind::Music ? c_MusicClass : c_PhotosClass);
        root = Url(mediaClass.SecondRoot().Url()).Text();
    } catch (const std::exception& error) {
        Listing listing;
        listing.error = error.what();
        return listing;
    }
    return ListContainer(host, root, kind, nullptr);
}

std::shared_ptr<ItemFacts> ReadFacts(HostInternals&, const std::string& url, NodeKind kind, FileIdentity* identity)
{
    try {
        auto facts = std::make_shared<ItemFacts>();
        facts->path = LocalPathOfItem(url);
        // Taken before the details: a write while they are read then shows as a change later.
        FileIdentity file;
        if (!IdentityOf(facts->path, file))
            return nullptr;
        facts->sizeBytes = file.sizeBytes;
        facts->modifiedSec = file.ModifiedSec();
        MediaItem item(UrlOf(url));
        const std::string type = item.Property("ContentType");
        if (type == c_BrokenType)
            return nullptr;
        facts->mime = ServedMime(type);
        if (kind == NodeKind::Song) {
            facts->artist = item.Property("ArtistName");
            facts->album = item.Property("AlbumTitle");
            facts->genre = item.Property("MusicGenre");
            facts->year = LeadingNumber(item.Property("AlbumYear"));
            facts->trackNumber = LeadingNumber(item.Property("TrackNumber"));
            facts->durationMs = LeadingNumber(item.Property("Duration"));
            facts->bitRateKbps = LeadingNumber(item.Property("SourceBitRate"));
            facts->sampleRateHz = SampleRateOf(item.Property("SourceSampleRate"));
            facts->channels = LeadingNumber(item.Property("AudioChannels"));
            // The music module tells from the tags it just read; asking for the picture itself
            // would open and parse the file a second time.
            const std::string stored = item.Property("EmbeddedCover");
            if (stored == "1" || stored == "0") {
                facts->embeddedCover = stored == "1";
            } else {
                try {
                    facts->embeddedCover = bool(item.GetApi<ImageApi>());
                } catch (const std::exception&) {
                    facts->embeddedCover = false;
                }
            }
            if (!facts->embeddedCover)
                facts->coverPath = FindCoverFile(facts->path);
            if (facts->mime == "audio/x-wav") {
                if (const std::optional<WaveLayout> wave = ReadWaveLayout(facts->path); wave && wave->IsLpcm()) {
                    facts->lpcmMime = wave->LpcmMime();
                    facts->lpcmBytes = wave->dataBytes;
                    if (facts->channels == 0)
                        facts->channels = wave->channels;
                    if (facts->sampleRateHz == 0)
                        facts->sampleRateHz = int(wave->sampleRate);
                }
            }
        } else {
            facts->width = LeadingNumber(item.Property("SourceWidth"));
            facts->height = LeadingNumber(item.Property("SourceHeight"));
            facts->captureSec = LeadingNumber64(item.Property("CaptureDate"));
        }
        if (identity)
            *identity = file;
        return facts;
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::shared_ptr<const std::string> MakePhotoPicture(const std::string& url, int width, int height)
{
    try {
        Image image(UrlOf(url));
        ImageApi* api = image.Api();
        if (!api->SetSize(width, height))
            return nullptr;
        ApiRef<DataApi> data = ApiRef<DataApi>::Adopt(api->GetData("image/jpeg"));
        if (!data || data->GetSize() == 0)
            return nullptr;
        return std::make_shared<const std::string>(reinterpret_cast<const char*>(data->GetBytes()), data->GetSize());
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::shared_ptr<const std::string> MakeAlbumArt(const std::string& url, const ItemFacts& facts, int side)
{
    try {
        if (facts.embeddedCover) {
            MediaItem item(UrlOf(url));
            ApiRef<ImageApi> image = item.GetApi<ImageApi>();
            for (const char* type : {"image/jpeg", "image/png"}) {
                ApiRef<DataApi> data = ApiRef<DataApi>::Adopt(image->GetData(type));
                if (data && data->GetSize() > 0) {
                    const QByteArray bytes(reinterpret_cast<const char*>(data->GetBytes()), int(data->GetSize()));
                    if (auto jpeg = EncodeJpeg(DecodePicture(bytes), side))
                        return jpeg;
                }
            }
        }
        const std::string cover = facts.coverPath.empty() ? FindCoverFile(facts.path) : facts.coverPath;
        if (cover.empty())
            return nullptr;
        QImageReader reader(QString::fromStdString(cover));
        reader.setAllocationLimit(256);
        return EncodeJpeg(reader.read(), side);
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::string FindCoverFile(const std::string& songPath)
{
    const size_t slash = songPath.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    const std::string folder = songPath.substr(0, slash);
    struct stat info { };
    if (::stat(folder.c_str(), &info) != 0)
        return std::string();
    // Songs of one album share a folder: the answer is kept per folder while its stamp holds.
    struct Memo {
        int64_t modifiedNs;
        std::string cover;
    };
    static std::mutex lock; // guards memo
    static std::unordered_map<std::string, Memo> memo;
    const int64_t stamp = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    {
        std::lock_guard<std::mutex> guard(lock);
        const auto found = memo.find(folder);
        if (found != memo.end() && found->second.modifiedNs == stamp)
            return found->second.cover;
    }
    std::string cover;
    int rank = 99;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            std::transform(
                name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
            static const char* const c_Names[]
                = {"cover.jpg", "folder.jpg", "cover.jpeg", "folder.jpeg", "cover.png", "folder.png"};
            for (int index = 0; index < int(std::size(c_Names)); ++index) {
                if (name == c_Names[index] && index < rank) {
                    rank = index;
                    cover = folder + "/" + entry->d_name;
                }
            }
        }
        ::closedir(dir);
    }
    std::lock_guard<std::mutex> guard(lock);
    if (memo.size() > 4096)
        memo.clear();
    memo[folder] = Memo{stamp, cover};
    return cover;
}
