#include "CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "common/Exceptions.h"
#include "host/HostInternals.h"
#include "host/ItemData.h"
#include "host/MediaItem.h"
#include "host/Url.h"
#include "platform/System.h"

using namespace LumoApi;

void Outcome::Fail(const std::string& input, const std::exception& error)
{
    Fail(input, error.what());
}

void Outcome::Fail(const std::string& input, const std::string& text)
{
    ++m_failures;
    std::fprintf(
        stderr, "lumo-publish: %s: %s\n", input.empty() ? "''" : OneLine(input).c_str(), OneLine(text).c_str());
}

std::string ClassIdOf(const std::string& name)
{
    if (name == "music")
        return "LumoMusic";
    if (name == "photos")
        return "LumoPhotos";
    throw UsageError("'" + name + "' is not a media class: say music or photos");
}

namespace {

// Control characters (a tab or line break in a title) would break the line's columns.
void BlankControls(std::string& text, size_t from)
{
    for (size_t at = from; at < text.size(); ++at) {
        if (static_cast<unsigned char>(text[at]) < 0x20 || text[at] == 0x7F)
            text[at] = ' ';
    }
}

} // namespace

std::string OneLine(std::string text)
{
    BlankControls(text, 0);
    return text;
}

void RequireReachable(const Url& url)
{
    const std::string path = LocalPathOf(url);
    struct stat info { };
    if (!path.empty() && ::stat(path.c_str(), &info) != 0)
        ThrowWinError(Platform::CodeFromErrno(errno));
}

bool IsContainerType(const std::string& type)
{
    return type.rfind("x-container/", 0) == 0;
}

std::string PrintItemLine(HostInternals& host, const ApiRef<UrlApi>& url, const MediaModule** module)
{
    std::string type;
    std::string title;
    if (module)
        *module = nullptr;
    try {
        // Each line's item is looked at once: the host's caches are for the window's items.
        MediaItem item(url, Look::Once);
        type = item.Property("ContentType");
        title = item.Property("Title");
        if (module)
            *module = &item.Module();
    } catch (const WinErrorException&) {
        ApiRef<DataApi> data = OpenItemData(host.FileViews(), url.Get());
        type = host.FormatGroup().DecideContentType(url.Get(), data.Get());
        const std::string path = Url::Share(url.Get()).Path();
        title = path.substr(path.find_last_of('/') + 1);
    }
    const char* text = url->GetText();
    // One write per line: ls -R prints a line for every file of a tree.
    std::string line;
    line.reserve(type.size() + title.size() + (text ? std::strlen(text) : 0) + 4);
    const auto appendOneLine = [&line](std::string_view part) {
        const size_t from = line.size();
        line += part;
        BlankControls(line, from);
    };
    appendOneLine(type.empty() ? std::string_view("-") : std::string_view(type));
    line += '\t';
    appendOneLine(title);
    line += '\t';
    line += text ? text : "";
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    return type;
}
