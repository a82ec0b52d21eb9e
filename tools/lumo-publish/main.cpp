// lumo-publish: the command-line companion of the publisher. It builds the host from the
// program folder exactly as the window does, so what it prints is what the window sees.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "common/Exceptions.h"
#include "host/HostInternals.h"
#include "host/ItemData.h"
#include "host/ShellLink.h"

#include "host/Url.h"
#include <sys/stat.h>

namespace {

const char c_usage[] = "Usage: lumo-publish COMMAND [ARGUMENTS]\n"
                       "\n"
                       "Commands:\n"
                       "  modules               the loaded modules: id, display name and file, one per line\n"
                       "  cache stats           entries, bytes and location of the disk cache\n"
                       "  type PATH-OR-URL...   the content type the host decides and the module handling it\n"
                       "  link PATH.lnk...      the fields of shortcut files and whether their targets exist\n"
                       "\n"
                       "Options:\n"
                       "  -h, --help            show this text\n";

using Arguments = std::vector<std::string>;

int ListModules(HostInternals& host, const Arguments&)
{
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
    if (args.size() != 1 || args[0] != "stats") {
        std::fprintf(stderr, "lumo-publish: usage: lumo-publish cache stats\n");
        return 2;
    }
    LumoApi::ApiRef<LumoApi::DiskCacheInfoApi> info = host.Cache().Info();
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
    if (args.empty()) {
        std::fprintf(stderr, "lumo-publish: usage: lumo-publish type PATH-OR-URL...\n");
        return 2;
    }
    int status = 0;
    for (const std::string& arg : args) {
        try {
            const Url url = UrlFromPathOrText(arg);
            LumoApi::ApiRef<LumoApi::DataApi> data = OpenItemData(host.FileViews(), url.Api());
            const std::string type = host.FormatGroup().DecideContentType(url.Api(), data.Get());
            std::string handler = "-";
            if (!type.empty()) {
                try {
                    handler = host.MediaGroup().ModuleForType(type).module->Id();
                } catch (const WinErrorException&) {
                }
            }
            std::printf("%s\t%s\t%s\n", type.empty() ? "-" : type.c_str(), handler.c_str(), url.Text().c_str());
        } catch (const std::exception& error) {
            std::fprintf(stderr, "lumo-publish: %s: %s\n", arg.c_str(), error.what());
            status = 1;
        }
    }
    return status;
}

// Reads shortcuts on its own: it needs no host, so a broken module folder cannot hide a link.
int ShowLinks(const Arguments& args)
{
    if (args.empty()) {
        std::fprintf(stderr, "lumo-publish: usage: lumo-publish link PATH.lnk...\n");
        return 2;
    }
    int status = 0;
    for (const std::string& path : args) {
        const ShellLink link(path);
        if (!link.Loaded()) {
            std::fprintf(stderr, "lumo-publish: %s: not a readable shortcut\n", path.c_str());
            status = 1;
            continue;
        }
        const std::string target = link.TargetAsLocalPath();
        struct stat info { };
        const bool exists = !target.empty() && ::stat(target.c_str(), &info) == 0;
        std::printf("link\t%s\n", link.LinkPath().c_str());
        std::printf("description\t%s\n", link.Description().c_str());
        std::printf("target\t%s\n", link.TargetPath().c_str());
        std::printf("local target\t%s\n", target.c_str());
        std::printf("relative path\t%s\n", link.RelativePath().c_str());
        std::printf("working directory\t%s\n", link.WorkingDirectory().c_str());
        std::printf("arguments\t%s\n", link.Arguments().c_str());
        std::printf("show command\t%d\n", link.ShowCommand());
        std::printf("target exists\t%s\n", exists ? "yes" : "no");
        if (args.size() > 1)
            std::printf("\n");
    }
    return status;
}

struct Command {
    const char* name;
    int (*run)(HostInternals& host, const Arguments& args);
};

const Command c_commands[] = {
    {"modules", ListModules},
    {"cache", CacheStats},
    {"type", DecideTypes},
};

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(c_usage, stderr);
        return 2;
    }
    if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        std::fputs(c_usage, stdout);
        return 0;
    }
    if (args[0] == "link")
        return ShowLinks(Arguments(args.begin() + 1, args.end()));
    for (const Command& command : c_commands) {
        if (args[0] != command.name)
            continue;
        try {
            HostInternals host;
            return command.run(host, Arguments(args.begin() + 1, args.end()));
        } catch (const std::exception& error) {
            std::fprintf(stderr, "lumo-publish: %s\n", error.what());
            return 1;
        }
    }
    std::fprintf(stderr, "lumo-publish: unknown command '%s'\n\n%s", args[0].c_str(), c_usage);
    return 2;
}
