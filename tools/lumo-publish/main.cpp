// lumo-publish: the command-line companion of the publisher. It builds the host from the
// program folder exactly as the window does, so what it prints is what the window sees.
#include <cstdio>
#include <exception>
#include <string>
#include <sys/stat.h>

#include "BrowseCommands.h"
#include "CommandLine.h"
#include "PublishCommands.h"
#include "ThumbnailCommand.h"
#include "host/HostInternals.h"
#include "host/ShellLink.h"

namespace {

const char c_usage[] = "Usage: lumo-publish COMMAND [ARGUMENTS]\n"
                       "\n"
                       "Items are named by path or by URL. Listings print one item per line: content type, title\n"
                       "and URL, separated by tabs. A command given many inputs goes on past one that fails, says\n"
                       "why on standard error, and exits with 1 at the end.\n"
                       "\n"
                       "Commands:\n"
                       "  roots music|photos          the two roots of a media class: what may be published, what is\n"
                       "  ls [-R] URL-OR-PATH...      the children of a folder, playlist or root; -R descends\n"
                       "  details URL-OR-PATH...      every property of each item, one per line, a blank line between\n"
                       "  thumbnail [--size WxH] [--out DIR] [--no-cache] PATH...\n"
                       "                              one JPEG per picture (default 116x116, into the current folder)\n"
                       "  publish music|photos PATH-OR-URL...    publish files and folders; prints each new entry\n"
                       "  unpublish music|photos URL-OR-PATH...  take entries out of the published set\n"
                       "  published music|photos      the published set in publishing order\n"
                       "  type PATH-OR-URL...         the content type the host decides and the module handling it\n"
                       "  link PATH.lnk...            the fields of shortcut files and whether their targets exist\n"
                       "  modules                     the loaded modules: id, display name and file\n"
                       "  cache stats                 entries, bytes and location of the disk cache\n"
                       "\n"
                       "Options:\n"
                       "  -h, --help                  show this text\n";

// Reads shortcuts on its own: it needs no host, so a broken module folder cannot hide a link.
int ShowLinks(const Arguments& args)
{
    if (args.empty())
        throw UsageError("usage: lumo-publish link PATH.lnk...");
    Outcome outcome;
    for (const std::string& path : args) {
        const ShellLink link(path);
        if (!link.Loaded()) {
            outcome.Fail(path, "not a readable shortcut");
            continue;
        }
        const std::string target = link.TargetAsLocalPath();
        struct stat info { };
        const bool exists = !target.empty() && ::stat(target.c_str(), &info) == 0;
        std::printf("link\t%s\n", link.LinkPath().c_str());
        std::printf("description\t%s\n", OneLine(link.Description()).c_str());
        std::printf("target\t%s\n", link.TargetPath().c_str());
        std::printf("local target\t%s\n", target.c_str());
        std::printf("relative path\t%s\n", link.RelativePath().c_str());
        std::printf("working directory\t%s\n", link.WorkingDirectory().c_str());
        std::printf("arguments\t%s\n", OneLine(link.Arguments()).c_str());
        std::printf("show command\t%d\n", link.ShowCommand());
        std::printf("target exists\t%s\n", exists ? "yes" : "no");
        if (args.size() > 1)
            std::printf("\n");
    }
    return outcome.Status();
}

struct Command {
    const char* name;
    int (*run)(HostInternals& host, const Arguments& args);
};

const Command c_commands[] = {
    {"roots", ShowRoots},
    {"ls", ListItems},
    {"details", ShowDetails},
    {"thumbnail", WriteThumbnails},
    {"publish", PublishItems},
    {"unpublish", UnpublishItems},
    {"published", ListPublished},
    {"type", DecideTypes},
    {"modules", ListModules},
    {"cache", CacheStats},
};

} // namespace

int main(int argc, char** argv)
{
    const Arguments args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(c_usage, stderr);
        return 2;
    }
    if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        std::fputs(c_usage, stdout);
        return 0;
    }
    const Arguments rest(args.begin() + 1, args.end());
    try {
        if (args[0] == "link")
            return ShowLinks(rest);
        for (const Command& command : c_commands) {
            if (args[0] == command.name) {
                HostInternals host;
                return command.run(host, rest);
            }
        }
    } catch (const UsageError& error) {
        std::fprintf(stderr, "lumo-publish: %s\n", error.what());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumo-publish: %s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "lumo-publish: unknown command '%s'\n\n%s", args[0].c_str(), c_usage);
    return 2;
}
