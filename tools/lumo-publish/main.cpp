// lumo-publish: the command-line companion of the publisher. It builds the host from the
// program folder exactly as the window does, so what it prints is what the window sees.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "common/Exceptions.h"
#include "host/HostInternals.h"

namespace {

const char c_usage[] = "Usage: lumo-publish COMMAND [ARGUMENTS]\n"
                       "\n"
                       "Commands:\n"
                       "  modules     list the loaded modules: id, display name and file, one per line\n"
                       "\n"
                       "Options:\n"
                       "  -h, --help  show this text\n";

int ListModules(HostInternals& host)
{
    ModuleGroup& modules = host.Modules();
    for (size_t index = 0; index < modules.Count(); ++index) {
        const Module& module = modules[index];
        const std::string file = module.File().empty() ? std::string("(built-in)") : module.File();
        std::printf("%s\t%s\t%s\n", module.Id().c_str(), module.DisplayName().c_str(), file.c_str());
    }
    return 0;
}

struct Command {
    const char* name;
    int (*run)(HostInternals& host);
};

const Command c_commands[] = {
    {"modules", ListModules},
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
    for (const Command& command : c_commands) {
        if (args[0] != command.name)
            continue;
        try {
            HostInternals host;
            return command.run(host);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "lumo-publish: %s\n", error.what());
            return 1;
        }
    }
    std::fprintf(stderr, "lumo-publish: unknown command '%s'\n\n%s", args[0].c_str(), c_usage);
    return 2;
}
