#include "MediaClassState.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

#include "ClassUrls.h"
#include "ModuleGuard.h"
#include "RootFolders.h"

using namespace LumoApi;

namespace LumoModules {

namespace {

constexpr const char c_FolderType[] = "x-container/folder";

// A block handed to the disk cache, which copies it.
class ByteData : public RefCounted<DataApi> {
public:
    explicit ByteData(const std::string& bytes) : m_bytes(bytes) { }
    const uint8_t* LUMO_CALL GetBytes() override { return reinterpret_cast<const uint8_t*>(m_bytes.data()); }
    uint32_t LUMO_CALL GetSize() override { return uint32_t(m_bytes.size()); }

private:
    const std::string& m_bytes;
};

// An item's bytes for a content-type decision, opened only when a module looks at them: most
// decisions settle on the name, and opening every file of a large tree would cost a read each.
// Used by one decision on one thread.
class LazyItemData : public RefCounted<DataApi> {
public:
    LazyItemData(HostLink& link, UrlApi* url) : m_link(link), m_url(url) { }

    const uint8_t* LUMO_CALL GetBytes() override
    {
        DataApi* data = Data();
        return data ? data->GetBytes() : nullptr;
    }
    uint32_t LUMO_CALL GetSize() override
    {
        DataApi* data = Data();
        return data ? data->GetSize() : 0;
    }

private:
    DataApi* Data()
    {
        if (!m_opened) {
            m_opened = true;
            Guard(0, [&] {
                ApiRef<FileViewApi> view = m_link.Get<FileViewApi>();
                if (view->Open(m_url))
                    m_view = std::move(view);
                return 0;
            });
        }
        return m_view.Get();
    }

    HostLink& m_link;
    UrlApi* m_url;
    ApiRef<FileViewApi> m_view;
    bool m_opened = false;
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

void CancelGroup::Cancel()
{
    m_cancelled.store(true);
    std::lock_guard<std::mutex> lock(m_lock);
    for (ContainerApi* container : m_active)
        container->Cancel();
}

CancelGroup::Entry::Entry(CancelGroup& group, ContainerApi* container) : m_group(group), m_container(container)
{
    std::lock_guard<std::mutex> lock(group.m_lock);
    group.m_active.push_back(container);
    // A Cancel that came before the entry still stops this container.
    if (group.m_cancelled.load())
        container->Cancel();
}

CancelGroup::Entry::~Entry()
{
    std::lock_guard<std::mutex> lock(m_group.m_lock);
    auto found = std::find(m_group.m_active.begin(), m_group.m_active.end(), m_container);
    if (found != m_group.m_active.end())
        m_group.m_active.erase(found);
}

std::string DefaultDatabasePath()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/')
        base = xdg;
    else if (std::string home = HomeFolder(); !home.empty())
        base = home + "/.local/share";
    else
        base = std::filesystem::temp_directory_path().string();
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/Lumo Desktop/Published.db";
}

std::optional<std::string> MediaClassState::CacheBacking::Load(const std::string& key, uint32_t tag)
{
    return Guard(std::optional<std::string>(), [&]() -> std::optional<std::string> {
        ApiRef<CacheApi> cache = m_link.Get<CacheApi>();
        ApiRef<DataApi> data = ApiRef<DataApi>::Adopt(cache->Lookup(key.c_str(), tag));
        if (!data)
            return std::nullopt;
        const uint8_t* bytes = data->GetBytes();
        return std::string(reinterpret_cast<const char*>(bytes), bytes ? data->GetSize() : 0);
    });
}

void MediaClassState::CacheBacking::Save(const std::string& key, const std::string& bytes, uint32_t tag)
{
    Guard(0, [&] {
        ApiRef<CacheApi> cache = m_link.Get<CacheApi>();
        ByteData data(bytes);
        data.AddRef(); // on the stack: the cache only borrows it
        cache->Store(key.c_str(), &data, tag);
        return 0;
    });
}

MediaClassState::MediaClassState(MediaClassConfig config)
    : m_config(std::move(config)),
      m_prefix(m_config.scheme + "-"),
      m_rootsUrl(m_config.scheme + "://roots"),
      m_publishedUrl(m_config.scheme + "://published"),
      m_filter(ParseTypeList(m_config.filter)),
      m_link(std::make_shared<HostLink>()),
      m_backing(*m_link),
      m_memo(m_config.filter, &m_backing),
      m_store(m_config.databasePath.empty() ? DefaultDatabasePath() : m_config.databasePath),
      m_watcher(m_store.Path(), m_config.classId, m_config.pollIntervalMs,
          [link = m_link](const std::string& text) { return link->NewUrl(text); })
{
    m_contentTypes[MediaClassSupport::c_RootsFormat] = "x-container/" + m_config.scheme + "-roots";
    m_contentTypes[MediaClassSupport::c_PublishedFormat] = "x-container/" + m_config.scheme + "-published";
    m_contentTypes[MediaClassSupport::c_FolderFormat] = "x-container/" + m_config.scheme + "-folder";
    m_descriptions[MediaClassSupport::c_RootsFormat] = m_config.rootsTitle;
    m_descriptions[MediaClassSupport::c_PublishedFormat] = m_config.publishedTitle;
    m_descriptions[MediaClassSupport::c_FolderFormat] = m_config.rootsTitle + " folder";
    for (const std::string& type : m_contentTypes)
        m_contentTypesText += (m_contentTypesText.empty() ? "" : ",") + type;
}

MediaClassState::~MediaClassState() = default;

int32_t MediaClassState::Identify(UrlApi* url, std::string_view urlText)
{
    if (urlText == m_rootsUrl)
        return MediaClassSupport::c_RootsFormat;
    if (urlText == m_publishedUrl)
        return MediaClassSupport::c_PublishedFormat;
    if (!HasClassPrefix(urlText, m_config.scheme))
        return -1;
    const std::optional<std::string> path = LocalPathOfFileUrl(StripClassPrefix(urlText, m_config.scheme));
    if (!path)
        return -1;
    if (const std::optional<ListedFile> listed = m_link->Listed().Read(url))
        return listed->fileType == c_ListedFolder ? MediaClassSupport::c_FolderFormat : -1;
    struct stat info { };
    if (stat(path->c_str(), &info) == 0)
        return S_ISDIR(info.st_mode) ? MediaClassSupport::c_FolderFormat : -1;
    // A published folder that went away is still the class's: it shows as broken.
    try {
        const std::optional<PublishedEntry> entry = m_store.Find(m_config.classId, std::string(urlText));
        if (entry && entry->folder)
            return MediaClassSupport::c_FolderFormat;
    } catch (const ClassError&) {
        // No set to ask: the item is not placed by its publishing.
    }
    return -1;
}

std::string MediaClassState::DecideContentType(UrlApi* url)
{
    LazyItemData data(*m_link, url);
    data.AddRef(); // on the stack: the modules only borrow it
    // The lookup names the type without the index, which would make the host read the whole
    // type database.
    if (const ApiRef<FormatLookupApi> lookup = m_link->Find<FormatLookupApi>()) {
        // A failure places the item nowhere, as a failed Identify does.
        const char* type = lookup->DecideContentType(url, &data);
        return type ? type : std::string();
    }
    ApiRef<FormatApi> formats = m_link->Get<FormatApi>();
    const int32_t index = formats->Identify(url, &data);
    if (index < 0)
        return std::string();
    FormatInfo info{};
    if (!formats->GetFormat(index, &info) || !info.contentType)
        return std::string();
    return info.contentType;
}

ChildKind MediaClassState::KindOf(UrlApi* url)
{
    const std::string type = Lower(DecideContentType(url));
    if (type == c_FolderType)
        return ChildKind::Folder;
    if (!type.empty() && TypeListMatches(m_filter, type))
        return ChildKind::Media;
    return ChildKind::Other;
}

std::string MediaClassState::EntryUrlOf(const std::string& urlText) const
{
    if (HasClassPrefix(urlText, m_config.scheme) || !LocalPathOfFileUrl(urlText))
        return urlText;
    return m_prefix + urlText;
}

namespace {

// Why an item that cannot be looked at is refused: what the system said, not always "not there".
uint32_t RefusalOf(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return LumoApi::ERROR_ACCESS_DENIED;
    case ELOOP:
        return LumoApi::ERROR_CANT_RESOLVE_FILENAME;
    case ENAMETOOLONG:
        return LumoApi::ERROR_INVALID_NAME;
    case ENOTDIR:
        return LumoApi::ERROR_PATH_NOT_FOUND;
    default:
        return LumoApi::ERROR_FILE_NOT_FOUND;
    }
}

} // namespace

ClassItem MediaClassState::Classify(UrlApi* url)
{
    ClassItem item;
    const char* rawText = url ? url->GetText() : nullptr;
    if (!rawText)
        throw ClassError(ERROR_INVALID_PARAMETER);
    const std::string text = rawText;
    const std::string plainText = StripClassPrefix(text, m_config.scheme);
    const std::optional<std::string> path = LocalPathOfFileUrl(plainText);
    // Only local files and folders can be served; the roots themselves are not items.
    if (!path)
        return item;
    item.entryUrl = m_prefix + plainText;
    item.path = *path;
    struct stat info { };
    if (stat(path->c_str(), &info) != 0) {
        item.refusal = RefusalOf(errno);
        return item;
    }
    if (S_ISDIR(info.st_mode)) {
        item.kind = ClassItem::Kind::Folder;
        return item;
    }
    // A pipe, socket or device under a media name is no media (refused as not of the class): a
    // server opening it would wait for ever, or read without end.
    if (!S_ISREG(info.st_mode))
        return item;
    // Judged by the plain URL: the media module decides it whatever it makes of prefixes.
    ApiRef<UrlApi> plain = plainText == text ? ApiRef<UrlApi>::Share(url) : m_link->NewUrl(plainText);
    if (KindOf(plain.Get()) == ChildKind::Media)
        item.kind = ClassItem::Kind::Media;
    return item;
}

} // namespace LumoModules
