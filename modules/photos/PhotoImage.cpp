#include "PhotoImage.h"

#include <atomic>
#include <strings.h>

#include <lumo/Errors.h>
#include <lumo/Log.h>

#include "PhotoData.h"
#include "PhotoError.h"
#include "PhotoFacts.h"
#include "PhotoFile.h"
#include "PhotoServices.h"
#include "Thumbnailer.h"

using namespace LumoApi;

namespace LumoPhotos {

namespace {

// Everything that decides the picture: the file's version, the set size and the options that
// change pixels. The path goes last so that no path can pose as another key's fields.
std::string CacheKey(const std::string& path, const FileStamp& stamp, Size box, uint32_t option)
{
    std::string key = "picture ";
    key += std::to_string(box.width) + "x" + std::to_string(box.height);
    key += " o" + std::to_string(option & (c_OptionIgnoreOrientation | c_OptionNoEmbeddedThumbnail));
    key += " " + std::to_string(stamp.sizeBytes) + " " + std::to_string(stamp.modifiedNs) + " ";
    key += path;
    return key;
}

uint32_t CacheTag(const FileStamp& stamp)
{
    return uint32_t(uint64_t(stamp.ModifiedSec()));
}

// A cache that fails once fails for every picture; the log hears of it once.
std::atomic<bool> g_storeFailureLogged{false};

// Every log line is committed to disk, and a folder of damaged photos would write one per
// photo: the first few tell the story.
constexpr uint32_t c_LoggedFailures = 20;
std::atomic<uint32_t> g_failuresLogged{0};

void LogFailure(const std::string& path, const PhotoError& error)
{
    if (error.Detail().empty())
        return;
    const uint32_t count = g_failuresLogged.fetch_add(1);
    if (count < c_LoggedFailures)
        LogLine(c_LogWarning, "No picture of %s: %s", ReadableText(path).c_str(), error.Detail().c_str());
    else if (count == c_LoggedFailures)
        LogLine(c_LogWarning, "Further photos without a picture are not logged");
}

} // namespace

int32_t LUMO_CALL PhotoImage::SetSize(int32_t width, int32_t height)
{
    return Guard(0, [&] {
        if (width < 0 || height < 0)
            throw PhotoError(ERROR_INVALID_PARAMETER);
        m_box = {uint32_t(width), uint32_t(height)};
        return 1;
    });
}

int32_t LUMO_CALL PhotoImage::SetOption(uint32_t option)
{
    return Guard(0, [&] {
        if (option & ~c_KnownOptions)
            throw PhotoError(ERROR_INVALID_PARAMETER);
        m_option = option;
        return 1;
    });
}

Size PhotoImage::Shown()
{
    if (!m_stored) {
        PhotoFile file(m_path);
        const PhotoFacts facts = ReadPhotoFacts(file, m_type, false);
        if (facts.stored.Pixels() == 0)
            throw PhotoError(ERROR_INVALID_DATA);
        m_stored = {facts.stored, facts.orientation};
    }
    const bool swap = SwapsSides(m_stored->second) && !(m_option & c_OptionIgnoreOrientation);
    return swap ? m_stored->first.Swapped() : m_stored->first;
}

int32_t LUMO_CALL PhotoImage::GetWidth()
{
    return Guard(0, [&] { return int32_t(Shown().width); });
}

int32_t LUMO_CALL PhotoImage::GetHeight()
{
    return Guard(0, [&] { return int32_t(Shown().height); });
}

DataApi* LUMO_CALL PhotoImage::GetData(const char* content_type)
{
    return Guard<DataApi*>(nullptr, [&]() -> DataApi* {
        if (!content_type || strcasecmp(content_type, "image/jpeg") != 0)
            throw PhotoError(ERROR_UNSUPPORTED_TYPE);
        const ApiRef<CacheApi> cache = (m_option & c_OptionBypassCache) ? ApiRef<CacheApi>() : HostCache();
        if (cache) {
            // A hit needs no more than the file's stamp: nothing is opened or decoded.
            const FileStamp stamp = StampOf(m_path);
            if (DataApi* cached = cache->Lookup(CacheKey(m_path, stamp, m_box, m_option).c_str(), CacheTag(stamp)))
                return cached;
        }

        PhotoFile file(m_path);
        ThumbnailRequest request;
        request.box = m_box;
        request.ignoreOrientation = (m_option & c_OptionIgnoreOrientation) != 0;
        request.noEmbeddedThumbnail = (m_option & c_OptionNoEmbeddedThumbnail) != 0;
        std::vector<uint8_t> jpeg;
        try {
            jpeg = MakeThumbnail(file, m_type, request);
        } catch (const PhotoError& error) {
            LogFailure(m_path, error);
            throw;
        }
        ApiRef<DataApi> data = ApiRef<DataApi>::Adopt(new PhotoData(std::move(jpeg)));
        if (cache) {
            // Keyed by the stamp of the file as read, in case it changed since the lookup.
            const FileStamp& stamp = file.Stamp();
            if (!cache->Store(CacheKey(m_path, stamp, m_box, m_option).c_str(), data.Get(), CacheTag(stamp))
                && !g_storeFailureLogged.exchange(true))
                LogLine(c_LogWarning, "Pictures are not being cached (error %u)", unsigned(LumoGetLastError()));
        }
        return data.Detach();
    });
}

} // namespace LumoPhotos
