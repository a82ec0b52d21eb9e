#include "BrowseCommands.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "common/Exceptions.h"
#include "host/HostInternals.h"
#include "host/ItemData.h"
#include "host/ListedFiles.h"
#include "host/MediaItem.h"
#include "host/Url.h"

using namespace LumoApi;

namespace {

// What a container is: the file or folder behind it, by device and inode, when it has one
// ("file" URLs and a media class's "…-file" ones), so that one reached again through a linked
// folder is known whatever its path; its URL otherwise. The listing that handed the URL out has
// just looked at the file: its record tells the same.
std::string IdentityOf(UrlApi* url)
{
    ListedFile record{};
    record.size = sizeof record;
    if (ListedFiles::Instance().Read(url, &record, c_ListedFileFreshMs)
        && ListedFileHas(record, offsetof(ListedFile, inode) + sizeof record.inode))
        return "inode " + std::to_string(record.device) + ":" + std::to_string(record.inode);
    const Url item = Url::Share(url);
    const std::string scheme = item.Scheme();
    const std::string host = item.Host();
    const bool file = scheme == "file" || (scheme.size() > 5 && scheme.compare(scheme.size() - 5, 5, "-file") == 0);
    struct stat info { };
    if (file && (host.empty() || host == "localhost") && ::stat(("/" + item.Path()).c_str(), &info) == 0)
        return "inode " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    return item.Text();
}

// Prints the children of url and, when recursive, their children after each of them. A
// playlist may list itself or another that lists it back, so a container already on the way
// down is not entered again.
void ListChildren(HostInternals& host, const ApiRef<UrlApi>& url, const MediaModule* module, bool recursive,
    std::vector<std::string>& path, Outcome& outcome)
{
    // The module its line found: the child is not identified again to be entered.
    std::optional<Container> container;
    if (module)
        container.emplace(url, *module, Look::Once);
    else
        container.emplace(url);
    for (ApiRef<UrlApi> child = container->GetFirst(); child; child = container->GetNext()) {
        const MediaModule* childModule = nullptr;
        const std::string type = PrintItemLine(host, child, &childModule);
        if (!recursive || !IsContainerType(type))
            continue;
        const std::string text = child->GetText();
        const std::string identity = IdentityOf(child.Get());
        if (std::find(path.begin(), path.end(), identity) != path.end())
            continue;
        path.push_back(identity);
        try {
            ListChildren(host, child, childModule, recursive, path, outcome);
        } catch (const std::exception& error) {
            outcome.Fail(text, error);
        }
        path.pop_back();
    }
}

} // namespace

int ListModules(HostInternals& host, const Arguments& args)
{
    if (!args.empty())
        throw UsageError("modules takes no arguments");
    ModuleGroup& modules = host.Modules();
    for (size_t index = 0; index < modules.Count(); ++index) {
        const Module& module = modules[index];
        const std::string file = module.File().empty() ? std::string("(built-in)") : module.File();
        std::printf("%s\t%s\t%s\n", module.Id().c_str(), module.DisplayName().c_str(), file.c_str());
    }
    return 0;
}

int CacheStats(HostInternals& host, const Arguments& args)
{
    if (args.size() != 1 || args[0] != "stats")
        throw UsageError("usage: lumo-publish cache stats");
    ApiRef<DiskCacheInfoApi> info = host.Cache().Info();
    if (!info) {
        std::fprintf(stderr, "lumo-publish: the disk cache module gives no statistics\n");
        return 1;
    }
    const char* location = info->GetLocation();
    std::printf("entries\t%u\nbytes\t%llu\nlimit\t%llu\nlocation\t%s\n", info->GetEntryCount(),
        static_cast<unsigned long long>(info->GetTotalBytes()), static_cast<unsigned long long>(info->GetLimitBytes()),
        location ? location : "");
    return 0;
}

int DecideTypes(HostInternals& host, const Arguments& args)
{
    if (args.empty())
        throw UsageError("usage: lumo-publish type PATH-OR-URL...");
    Outcome outcome;
    for (const std::string& arg : args) {
        try {
            const Url item = UrlFromPathOrText(arg);
            RequireReachable(item);
            const ApiRef<UrlApi> url = ApiRef<UrlApi>::Adopt(item.NewRef());
            ApiRef<DataApi> data = OpenItemData(host.FileViews(), url.Get());
            const std::string type = host.FormatGroup().DecideContentType(url.Get(), data.Get());
            std::string handler = "-";
            if (!type.empty()) {
                try {
                    handler = host.MediaGroup().ModuleForType(type).module->Id();
                } catch (const WinErrorException&) {
                }
            }
            std::printf("%s\t%s\t%s\n", type.empty() ? "-" : type.c_str(), handler.c_str(), url->GetText());
        } catch (const std::exception& error) {
            outcome.Fail(arg, error);
        }
    }
    return outcome.Status();
}

int ShowRoots(HostInternals& host, const Arguments& args)
{
    if (args.size() != 1)
        throw UsageError("usage: lumo-publish roots music|photos");
    MediaClass& mediaClass = host.MediaClasses().ById(ClassIdOf(args[0]));
    PrintItemLine(host, mediaClass.FirstRoot().Url());
    PrintItemLine(host, mediaClass.SecondRoot().Url());
    return 0;
}

int ListItems(HostInternals& host, const Arguments& args)
{
    bool recursive = false;
    Arguments inputs;
    bool options = true;
    for (const std::string& arg : args) {
        if (options && arg == "-R")
            recursive = true;
        else if (options && arg == "--")
            options = false;
        else if (options && arg.size() > 1 && arg[0] == '-')
            throw UsageError("ls: unknown option '" + arg + "'");
        else
            inputs.push_back(arg);
    }
    if (inputs.empty())
        throw UsageError("usage: lumo-publish ls [-R] URL-OR-PATH...");
    Outcome outcome;
    for (const std::string& input : inputs) {
        try {
            const Url item = UrlFromPathOrText(input);
            RequireReachable(item);
            const ApiRef<UrlApi> url = ApiRef<UrlApi>::Adopt(item.NewRef());
            // What has no children lists as itself, as ls(1) lists a file.
            if (!MediaItem(url).IsContainer()) {
                PrintItemLine(host, url);
                continue;
            }
            std::vector<std::string> path{IdentityOf(url.Get())};
            ListChildren(host, url, nullptr, recursive, path, outcome);
        } catch (const std::exception& error) {
            outcome.Fail(input, error);
        }
    }
    return outcome.Status();
}

int ShowDetails(HostInternals&, const Arguments& args)
{
    if (args.empty())
        throw UsageError("usage: lumo-publish details URL-OR-PATH...");
    Outcome outcome;
    bool first = true;
    for (const std::string& arg : args) {
        try {
            const Url url = UrlFromPathOrText(arg);
            RequireReachable(url);
            MediaItem item(ApiRef<UrlApi>::Adopt(url.NewRef()));
            Details& details = item.GetDetails();
            const size_t count = details.Count();
            if (!first)
                std::printf("\n");
            first = false;
            std::printf("Url\t%s\n", item.UrlText().c_str());
            for (size_t index = 0; index < count; ++index) {
                const std::string name = details.NameAt(index);
                std::printf("%s\t%s\n", OneLine(name).c_str(), OneLine(details.Value(name)).c_str());
            }
        } catch (const std::exception& error) {
            outcome.Fail(arg, error);
        }
    }
    return outcome.Status();
}
