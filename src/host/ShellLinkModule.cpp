#include "ShellLinkModule.h"

#include <cstring>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"
#include "host/ContentType.h"
#include "host/FilterDetails.h"
#include "host/HostInternals.h"
#include "host/ShellLink.h"
#include "host/Url.h"
#include "host/UrlBuilder.h"

#include <sys/stat.h>

using namespace LumoApi;

ShellLinkModule& ShellLinkModule::Instance()
{
    static ShellLinkModule instance;
    return instance;
}

Api* ShellLinkModule::GetRecord(const char* type_id)
{
    if (type_id && std::strcmp(type_id, ModuleGroupApi::TypeId) == 0)
        return &m_group;
    if (type_id && std::strcmp(type_id, ModuleApi::TypeId) == 0)
        return &m_module;
    if (type_id && std::strcmp(type_id, FormatApi::TypeId) == 0)
        return &m_format;
    if (type_id && std::strcmp(type_id, MediaApi::TypeId) == 0)
        return &m_media;
    LumoSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

int32_t LUMO_CALL ShellLinkModule::GroupRecord::GetCount()
{
    return 1;
}

Api* LUMO_CALL ShellLinkModule::GroupRecord::GetApi(const char* type_id, int32_t)
{
    return ApiBoundary(nullptr, [&] { return Instance().GetRecord(type_id); });
}

int32_t LUMO_CALL ShellLinkModule::ModuleApiRecord::Initialize(HostProgramApi*)
{
    return 1;
}

const char* LUMO_CALL ShellLinkModule::ModuleApiRecord::GetDisplayName()
{
    return c_DisplayName;
}

const char* LUMO_CALL ShellLinkModule::ModuleApiRecord::GetId()
{
    return c_Id;
}

int32_t LUMO_CALL ShellLinkModule::FormatRecord::GetFormatCount()
{
    return 1;
}

int32_t LUMO_CALL ShellLinkModule::FormatRecord::GetFormat(int32_t, FormatInfo* info)
{
    return ApiBoundary(0, [&] {
        if (!info)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        info->contentType = c_ShellLinkType;
        info->extensions = ".lnk";
        info->description = nullptr;
        return 1;
    });
}

int32_t LUMO_CALL ShellLinkModule::FormatRecord::Identify(UrlApi*, DataApi*)
{
    // Shortcuts are known by their extension alone.
    return -1;
}

const char* LUMO_CALL ShellLinkModule::MediaRecord::GetContentTypes()
{
    return c_ShellLinkType;
}

const char* LUMO_CALL ShellLinkModule::MediaRecord::GetSecondaryTypes()
{
    return nullptr;
}

Api* LUMO_CALL ShellLinkModule::MediaRecord::GetApi(const char* type_id, UrlApi* url)
{
    return ApiBoundary(nullptr, [&] { return Instance().ShortcutApi(type_id, url).Detach(); });
}

namespace {

constexpr int c_MaxShortcutChain = 8;
constexpr uint32_t c_ErrorCantResolveFilename = 1921;

// The shortcut's own name: its file name without folder and extension.
std::string ShortcutName(const std::string& path)
{
    std::string name = path.substr(path.rfind('/') + 1);
    if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

// The "file" URL of a target path as it stands: never made absolute against the working folder.
Url TargetUrl(const std::string& path)
{
    ApiRef<UrlBuilderApi> builder = ApiRef<UrlBuilderApi>::Adopt(new UrlBuilder());
    if (!builder->SetScheme("file") || !builder->SetPath(path.c_str()))
        ThrowLastError();
    return Url::Adopt(builder->GetUrl());
}

void Require(int32_t result)
{
    if (!result)
        ThrowLastError();
}

HostInternals& Host()
{
    HostInternals* host = HostInternals::Instance();
    if (!host)
        ThrowWinError(ERROR_INVALID_FUNCTION);
    return *host;
}

ApiRef<Api> ShortcutDetails(const std::string& linkPath, const Url& target, bool broken)
{
    ApiRef<FilterDetailsApi> details = ApiRef<FilterDetailsApi>::Adopt(new FilterDetails(Host().MediaGroup()));
    Require(details->SetBase(broken ? nullptr : target.Api()));
    Require(details->SetValue("ShellLink", linkPath.c_str()));
    Require(details->UnlistName("ShellLink"));
    Require(details->SetValue("ShellLinkTarget", target.Text().c_str()));
    Require(details->UnlistName("ShellLinkTarget"));
    const std::string name = ShortcutName(linkPath);
    Require(details->SetValue("Title", name.c_str()));
    Require(details->SetValue("FileName", name.c_str()));
    Require(details->UnlistName("FileName"));
    if (broken) {
        Require(details->SetValue("ContentType", c_BrokenType));
        Require(details->SetValue("SourceFormat", c_BrokenType));
    }
    return ApiRef<Api>(details);
}

} // namespace

ApiRef<Api> ShellLinkModule::ShortcutApi(const char* typeId, UrlApi* url)
{
    if (!typeId || !url)
        ThrowWinError(ERROR_INVALID_PARAMETER);
    const Url link = Url::Share(url);
    if (link.Scheme() != "file")
        ThrowWinError(ERROR_UNSUPPORTED_TYPE);
    const std::string linkPath = LocalPathOf(link);
    const ShellLink shortcut(linkPath);
    const std::string targetPath = shortcut.TargetAsLocalPath();
    // A drive ("C:/...") or share ("//server/...") target has no counterpart on this system:
    // it keeps its own spelling in the URL and counts as missing, whatever the working folder
    // holds.
    const bool local = targetPath.size() > 1 && targetPath[0] == '/' && targetPath[1] != '/';
    const Url target = TargetUrl(targetPath);

    const bool isDetails = std::strcmp(typeId, DetailsApi::TypeId) == 0;

    // A shortcut to a shortcut is followed, but a chain that comes back on itself must end:
    // details follow the target as much as any other API does. Past the limit a shortcut's
    // details are those of a broken one, so the item still shows under its name.
    thread_local int t_depth = 0;
    if (t_depth >= c_MaxShortcutChain) {
        if (isDetails)
            return ShortcutDetails(linkPath, target, true);
        ThrowWinError(c_ErrorCantResolveFilename);
    }
    struct Depth {
        Depth() { ++t_depth; }
        ~Depth() { --t_depth; }
    } depth;

    struct stat info { };
    const bool exists = local && ::stat(targetPath.c_str(), &info) == 0;
    if (isDetails)
        return ShortcutDetails(linkPath, target, !exists);
    ApiRef<Api> api = ApiRef<Api>::Adopt(Host().MediaGroup().GetApi(typeId, target.Api()));
    if (!api)
        ThrowLastError();
    return api;
}
