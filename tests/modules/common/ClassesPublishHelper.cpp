// A second process for the published-set tests: builds a host on a program folder and
// publishes or unpublishes URLs through a media class, printing each answer as soon as it has
// it. Usage: classes_publish_helper FOLDER CLASS (publish|unpublish|publish-then-die) URL...
// "publish-then-die" kills itself with SIGKILL the moment the last Publish returns.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>

#include <lumo/Lumo.h>

#include "host/HostInternals.h"
#include "host/MediaClassGroup.h"
#include "host/UrlImpl.h"

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FOLDER CLASS (publish|unpublish|publish-then-die) URL...\n", argv[0]);
        return 2;
    }
    const bool publish = std::strcmp(argv[3], "unpublish") != 0;
    const bool die = std::strcmp(argv[3], "publish-then-die") == 0;
    try {
        HostInternals host(argv[1]);
        MediaClass& mediaClass = host.MediaClasses().ById(argv[2]);
        for (int at = 4; at < argc; ++at) {
            LumoApi::ApiRef<LumoApi::UrlApi> url = MakeUrl(argv[at]);
            LumoApi::ApiRef<LumoApi::UrlApi> entry
                = publish ? mediaClass.Publish(url.Get()) : mediaClass.Unpublish(url.Get());
            std::printf("%s\n", entry->GetText());
            std::fflush(stdout);
            if (die && at + 1 == argc)
                std::raise(SIGKILL);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
