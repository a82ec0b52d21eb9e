#include "SongImage.h"

#include <cstring>
#include <vector>

#include <lumo/Data.h>

#include "Guard.h"

using namespace LumoApi;

namespace LumoMusic {

namespace {

constexpr uint32_t c_NotSupported = 50;

class CoverData : public DllRefCounted<DataApi> {
public:
    explicit CoverData(const std::string& bytes) : m_bytes(bytes.begin(), bytes.end()) { }
    const uint8_t* LUMO_CALL GetBytes() override { return m_bytes.empty() ? nullptr : m_bytes.data(); }
    uint32_t LUMO_CALL GetSize() override { return uint32_t(m_bytes.size()); }

private:
    const std::vector<uint8_t> m_bytes;
};

} // namespace

int32_t LUMO_CALL SongImage::SetSize(int32_t width, int32_t height)
{
    return Guard<int32_t>(0, [&] {
        if (width < 0 || height < 0)
            throw MusicError(ERROR_INVALID_PARAMETER);
        return 1;
    });
}

int32_t LUMO_CALL SongImage::SetOption(uint32_t option)
{
    return Guard<int32_t>(0, [&] {
        if (option != 0)
            throw MusicError(ERROR_INVALID_PARAMETER);
        return 1;
    });
}

int32_t LUMO_CALL SongImage::GetWidth()
{
    LumoSetLastError(c_NotSupported);
    return 0;
}

int32_t LUMO_CALL SongImage::GetHeight()
{
    LumoSetLastError(c_NotSupported);
    return 0;
}

DataApi* LUMO_CALL SongImage::GetData(const char* content_type)
{
    return Guard<DataApi*>(nullptr, [&]() -> DataApi* {
        if (!content_type)
            throw MusicError(ERROR_INVALID_PARAMETER);
        if (m_cover.mime != content_type)
            throw MusicError(ERROR_UNSUPPORTED_TYPE);
        return new CoverData(m_cover.bytes);
    });
}

} // namespace LumoMusic
