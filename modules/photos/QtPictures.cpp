#include "QtPictures.h"

#include <dlfcn.h>
#include <mutex>
#include <string>

#include <lumo/Errors.h>
#include <lumo/Log.h>

#include "PhotoError.h"
#include "PhotoServices.h"

using namespace LumoApi;

namespace LumoPhotos {

namespace {

constexpr char c_HelperFolder[] = "photos-qt";
constexpr char c_HelperFile[] = "lumo-photos-qt.so";

// The helper's calls, loaded on first use and kept: the toolkit cannot be unloaded safely.
// Null when the helper is missing or unusable, said once in the log.
const QtReaderCalls* Calls()
{
    static std::once_flag once;
    static const QtReaderCalls* calls = nullptr;
    std::call_once(once, [] {
        Dl_info self{};
        if (!dladdr(reinterpret_cast<const void*>(&Calls), &self) || !self.dli_fname) {
            LogLine(c_LogError, "Cannot tell where the photos module lies: pictures other than JPEG stay unread");
            return;
        }
        std::string path = self.dli_fname;
        path.erase(path.rfind('/') + 1);
        path += std::string(c_HelperFolder) + "/" + c_HelperFile;
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        const auto entry = library
            ? reinterpret_cast<const QtReaderCalls* (*)()>(dlsym(library, "LumoPhotos_QtReaderCalls"))
            : nullptr;
        if (!entry) {
            const char* why = dlerror();
            LogLine(c_LogError, "Cannot load %s (%s): pictures other than JPEG stay unread", path.c_str(),
                why ? why : "no entry");
            return;
        }
        calls = entry();
    });
    return calls;
}

} // namespace

QtFacts ReadQtFacts(const PhotoFile& file, PhotoType type)
{
    const QtReaderCalls* calls = Calls();
    return calls ? calls->readFacts(file.Descriptor(), FormatOf(type).qtFormat) : QtFacts();
}

Picture DecodeWithQt(const PhotoFile& file, PhotoType type, Size atLeast)
{
    const QtReaderCalls* calls = Calls();
    if (!calls)
        throw PhotoError(ERROR_UNSUPPORTED_TYPE, "the picture readers library is missing");
    Picture picture;
    std::string detail;
    if (const uint32_t code = calls->decode(file.Descriptor(), FormatOf(type).qtFormat, atLeast, &picture, &detail))
        throw PhotoError(code, std::move(detail));
    return picture;
}

} // namespace LumoPhotos
