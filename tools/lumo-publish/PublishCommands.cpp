#include "PublishCommands.h"

#include <cstdio>

#include "host/HostInternals.h"
#include "host/MediaItem.h"
#include "host/Url.h"

using namespace LumoApi;

namespace {

enum class Change { Publish, Unpublish };

// Each input is one change of its own, committed before the next starts: a failure leaves
// what went before it published.
int ChangeSet(HostInternals& host, const Arguments& args, Change change)
{
    const char* name = change == Change::Publish ? "publish" : "unpublish";
    if (args.size() < 2)
        throw UsageError(std::string("usage: lumo-publish ") + name + " music|photos "
            + (change == Change::Publish ? "PATH-OR-URL..." : "URL-OR-PATH..."));
    MediaClass& mediaClass = host.MediaClasses().ById(ClassIdOf(args[0]));
    Outcome outcome;
    for (size_t index = 1; index < args.size(); ++index) {
        try {
            const Url item = UrlFromPathOrText(args[index]);
            const ApiRef<UrlApi> answer
                = change == Change::Publish ? mediaClass.Publish(item.Api()) : mediaClass.Unpublish(item.Api());
            const char* text = answer ? answer->GetText() : nullptr;
            std::printf("%s\n", text ? text : "");
        } catch (const std::exception& error) {
            outcome.Fail(args[index], error);
        }
    }
    return outcome.Status();
}

} // namespace

int PublishItems(HostInternals& host, const Arguments& args)
{
    return ChangeSet(host, args, Change::Publish);
}

int UnpublishItems(HostInternals& host, const Arguments& args)
{
    return ChangeSet(host, args, Change::Unpublish);
}

int ListPublished(HostInternals& host, const Arguments& args)
{
    if (args.size() != 1)
        throw UsageError("usage: lumo-publish published music|photos");
    Container& published = host.MediaClasses().ById(ClassIdOf(args[0])).SecondRoot();
    for (ApiRef<UrlApi> entry = published.GetFirst(); entry; entry = published.GetNext())
        PrintItemLine(host, entry);
    return 0;
}
