#include "ThumbnailCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

#include <lumo/Data.h>
#include <lumo/Errors.h>
#include <lumo/Image.h>

#include "common/Exceptions.h"
#include "host/Image.h"
#include "host/Url.h"

using namespace LumoApi;
namespace fs = std::filesystem;

namespace {

// The photos module's bit for "neither look the picture up in the host's cache nor store it".
constexpr uint32_t c_OptionBypassCache = 4;

struct Request {
    int32_t width = 116;
    int32_t height = 116;
    fs::path out = ".";
    bool noCache = false;
    Arguments inputs;
};

bool ParseSize(const std::string& text, int32_t& width, int32_t& height)
{
    int parsedWidth = 0;
    int parsedHeight = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &parsedWidth, &parsedHeight, &end) != 2)
        return false;
    if (parsedWidth <= 0 || parsedHeight <= 0 || parsedWidth > 16384 || parsedHeight > 16384)
        return false;
    width = parsedWidth;
    height = parsedHeight;
    return true;
}

Request ParseRequest(const Arguments& args)
{
    Request request;
    bool options = true;
    for (size_t index = 0; index < args.size(); ++index) {
        const std::string& arg = args[index];
        auto value = [&](const char* option) -> std::string {
            const std::string prefix = std::string(option) + "=";
            if (arg.rfind(prefix, 0) == 0)
                return arg.substr(prefix.size());
            if (index + 1 >= args.size())
                throw UsageError(std::string("thumbnail: ") + option + " needs a value");
            return args[++index];
        };
        if (!options || arg.empty() || arg[0] != '-' || arg == "-") {
            request.inputs.push_back(arg);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "--no-cache") {
            request.noCache = true;
        } else if (arg == "--size" || arg.rfind("--size=", 0) == 0) {
            const std::string size = value("--size");
            if (!ParseSize(size, request.width, request.height))
                throw UsageError("thumbnail: '" + size + "' is not a size such as 116x116");
        } else if (arg == "--out" || arg.rfind("--out=", 0) == 0) {
            request.out = value("--out");
        } else {
            throw UsageError("thumbnail: unknown option '" + arg + "'");
        }
    }
    if (request.inputs.empty())
        throw UsageError("usage: lumo-publish thumbnail [--size WxH] [--out DIR] [--no-cache] PATH...");
    return request;
}

// "IMG_0001.jpg" at 116x116 gives "IMG_0001-116x116.jpg"; a name already written in this run
// gets a number, so two inputs never share an output.
fs::path OutputPath(const Request& request, const Url& url, std::set<fs::path>& written)
{
    fs::path stem = fs::path(url.Path()).stem();
    if (stem.empty())
        stem = "thumbnail";
    const std::string base = stem.string() + "-" + std::to_string(request.width) + "x" + std::to_string(request.height);
    fs::path path = request.out / (base + ".jpg");
    for (int number = 2; written.count(path) != 0; ++number)
        path = request.out / (base + "-" + std::to_string(number) + ".jpg");
    written.insert(path);
    return path;
}

// Written beside the target and renamed over it, so a failure never leaves half a picture
// and a picture of the same name is replaced, never written into.
void WriteFile(const fs::path& path, DataApi& data)
{
    fs::path partial = path;
    partial += ".part";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data.GetBytes()), static_cast<std::streamsize>(data.GetSize()));
        file.close();
        if (!file) {
            const int code = errno;
            std::error_code ignored;
            fs::remove(partial, ignored);
            throw std::runtime_error(partial.string() + ": " + std::strerror(code));
        }
    }
    std::error_code failure;
    fs::rename(partial, path, failure);
    if (failure) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw std::runtime_error(path.string() + ": " + failure.message());
    }
}

} // namespace

int WriteThumbnails(HostInternals&, const Arguments& args)
{
    const Request request = ParseRequest(args);
    std::error_code made;
    fs::create_directories(request.out, made);
    if (made)
        throw std::runtime_error(request.out.string() + ": " + made.message());

    Outcome outcome;
    std::set<fs::path> written;
    for (const std::string& input : request.inputs) {
        try {
            const Url url = UrlFromPathOrText(input);
            RequireReachable(url);
            const fs::path target = OutputPath(request, url, written);
            Image image(ApiRef<UrlApi>::Adopt(url.NewRef()));
            ImageApi& api = *image.Api();
            if (!api.SetSize(request.width, request.height))
                ThrowLastError();
            if (request.noCache && !api.SetOption(c_OptionBypassCache))
                ThrowLastError();
            ApiRef<DataApi> jpeg = ApiRef<DataApi>::Adopt(api.GetData("image/jpeg"));
            if (!jpeg)
                ThrowLastError();
            WriteFile(target, *jpeg);
            std::printf("%s\n", target.c_str());
        } catch (const std::exception& error) {
            outcome.Fail(input, error);
        }
    }
    return outcome.Status();
}
