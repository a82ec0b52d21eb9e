#include "ClassContainers.h"

#include <algorithm>
#include <sys/stat.h>

#include "ClassUrls.h"
#include "FilteredFolder.h"
#include "ModuleGuard.h"
#include "RootFolders.h"

using namespace LumoApi;

namespace LumoModules {

namespace {

constexpr const char c_BrokenType[] = "x-application/lumo-broken";

std::string TextOf(UrlApi* url)
{
    const char* text = url ? url->GetText() : nullptr;
    return text ? text : "";
}

UrlApi* NextOf(MediaClassState& state, const std::vector<std::string>& children, size_t& next)
{
    if (next >= children.size()) {
        LumoSetLastError(ERROR_NO_MORE_ITEMS);
        return nullptr;
    }
    return state.Link().NewUrl(children[next++]).Detach();
}

ApiRef<FilterDetailsApi> NewDetails(MediaClassState& state, UrlApi* base)
{
    ApiRef<FilterDetailsApi> details = state.Link().Get<FilterDetailsApi>();
    if (!details->SetBase(base))
        ThrowLastError();
    return details;
}

void Set(FilterDetailsApi& details, const char* name, const std::string& value)
{
    if (!details.SetValue(name, value.c_str()))
        ThrowLastError();
}

} // namespace

std::vector<std::string> RootsContainer::ChildTexts(MediaClassState& state)
{
    RootFoldersSource source;
    source.specialFolder = state.Config().specialFolder;
    source.mountInfoPath = state.Config().mountInfoPath;
    std::vector<std::string> texts;
    for (const std::string& path : ListRootFolders(source))
        texts.push_back(state.Prefix() + state.Link().FileUrlText(path));
    return texts;
}

UrlApi* LUMO_CALL RootsContainer::GetFirst()
{
    return Guard<UrlApi*>(nullptr, [&] {
        m_children = ChildTexts(*m_state);
        m_next = 0;
        return NextOf(*m_state, m_children, m_next);
    });
}

UrlApi* LUMO_CALL RootsContainer::GetNext()
{
    return Guard<UrlApi*>(nullptr, [&] { return NextOf(*m_state, m_children, m_next); });
}

UrlApi* LUMO_CALL RootsContainer::FindChild(UrlApi* child)
{
    return Guard<UrlApi*>(nullptr, [&]() -> UrlApi* {
        const std::vector<std::string> children = ChildTexts(*m_state);
        if (std::find(children.begin(), children.end(), TextOf(child)) == children.end())
            throw ClassError(ERROR_NOT_FOUND);
        return ApiRef<UrlApi>::Share(child).Detach();
    });
}

int32_t LUMO_CALL RootsContainer::Refresh(UrlApi*)
{
    LumoSetLastError(ERROR_INVALID_FUNCTION);
    return 0;
}

int32_t LUMO_CALL RootsContainer::Subscribe(ContainerCallbackApi*, uint8_t)
{
    LumoSetLastError(ERROR_INVALID_FUNCTION);
    return 0;
}

PublishedContainer::~PublishedContainer()
{
    for (ContainerCallbackApi* callback : m_subscribers)
        m_state->Watcher().Unsubscribe(this, callback);
}

UrlApi* LUMO_CALL PublishedContainer::GetFirst()
{
    return Guard<UrlApi*>(nullptr, [&] {
        m_children.clear();
        for (PublishedEntry& entry : m_state->Store().List(m_state->Config().classId))
            m_children.push_back(std::move(entry.url));
        m_next = 0;
        return NextOf(*m_state, m_children, m_next);
    });
}

UrlApi* LUMO_CALL PublishedContainer::GetNext()
{
    return Guard<UrlApi*>(nullptr, [&] { return NextOf(*m_state, m_children, m_next); });
}

UrlApi* LUMO_CALL PublishedContainer::FindChild(UrlApi* child)
{
    return Guard<UrlApi*>(nullptr, [&]() -> UrlApi* {
        const std::string text = m_state->EntryUrlOf(TextOf(child));
        if (!m_state->Store().Find(m_state->Config().classId, text))
            throw ClassError(ERROR_NOT_FOUND);
        return m_state->Link().NewUrl(text).Detach();
    });
}

int32_t LUMO_CALL PublishedContainer::Refresh(UrlApi*)
{
    m_state->Watcher().Wake();
    return 1;
}

int32_t LUMO_CALL PublishedContainer::Subscribe(ContainerCallbackApi* callback, uint8_t)
{
    return Guard(0, [&] {
        if (!callback)
            throw ClassError(ERROR_INVALID_PARAMETER);
        std::lock_guard<std::mutex> lock(m_lock);
        if (std::find(m_subscribers.begin(), m_subscribers.end(), callback) != m_subscribers.end())
            return 1;
        m_state->Watcher().Subscribe(this, callback);
        m_subscribers.push_back(callback);
        return 1;
    });
}

void LUMO_CALL PublishedContainer::Unsubscribe(ContainerCallbackApi* callback)
{
    Guard(0, [&] {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            auto found = std::find(m_subscribers.begin(), m_subscribers.end(), callback);
            if (found == m_subscribers.end())
                return 0;
            m_subscribers.erase(found);
        }
        m_state->Watcher().Unsubscribe(this, callback);
        return 0;
    });
}

Api* CreateClassDetails(const std::shared_ptr<MediaClassState>& state, const std::string& urlText, int32_t format)
{
    const MediaClassConfig& config = state->Config();
    if (format == MediaClassSupport::c_RootsFormat || format == MediaClassSupport::c_PublishedFormat) {
        ApiRef<FilterDetailsApi> details = NewDetails(*state, nullptr);
        const std::string& title
            = format == MediaClassSupport::c_RootsFormat ? config.rootsTitle : config.publishedTitle;
        Set(*details, "Title", title);
        Set(*details, "FileName", title);
        // Marks a folder-like item: its title keeps any dots.
        Set(*details, "SourceFormat", "x-container/folder");
        Set(*details, "ContentType", state->ContentType(format));
        return details.Detach();
    }
    if (format != MediaClassSupport::c_FolderFormat)
        throw ClassError(ERROR_UNSUPPORTED_TYPE);
    const std::string plainText = StripClassPrefix(urlText, config.scheme);
    const std::string path = LocalPathOfFileUrl(plainText).value_or(std::string());
    struct stat info { };
    if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        // A published folder that went away: shown as broken, named as it was.
        ApiRef<FilterDetailsApi> details = NewDetails(*state, nullptr);
        Set(*details, "Title", LeafName(path));
        Set(*details, "FileName", LeafName(path));
        Set(*details, "SourceLocation", path);
        Set(*details, "SourceFormat", c_BrokenType);
        Set(*details, "ContentType", c_BrokenType);
        return details.Detach();
    }
    ApiRef<UrlApi> plain = state->Link().NewUrl(plainText);
    ApiRef<FilterDetailsApi> details = NewDetails(*state, plain.Get());
    Set(*details, "ContentType", state->ContentType(format));
    return details.Detach();
}

Api* CreateClassContainer(const std::shared_ptr<MediaClassState>& state, const std::string& urlText, int32_t format)
{
    switch (format) {
    case MediaClassSupport::c_RootsFormat:
        return new RootsContainer(state);
    case MediaClassSupport::c_PublishedFormat:
        return new PublishedContainer(state);
    case MediaClassSupport::c_FolderFormat:
        return new FilteredFolder(state, urlText);
    default:
        throw ClassError(ERROR_UNSUPPORTED_TYPE);
    }
}

} // namespace LumoModules
