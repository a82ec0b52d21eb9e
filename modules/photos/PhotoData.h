// A block of bytes the module hands out.
#pragma once

#include <cstdint>
#include <vector>

#include <lumo/Data.h>
#include <lumo/DllSupport.h>

namespace LumoPhotos {

// Any thread; the bytes never change.
class PhotoData : public LumoApi::DllRefCounted<LumoApi::DataApi> {
public:
    explicit PhotoData(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) { }
    const uint8_t* LUMO_CALL GetBytes() override { return m_bytes.empty() ? nullptr : m_bytes.data(); }
    uint32_t LUMO_CALL GetSize() override { return uint32_t(m_bytes.size()); }

private:
    const std::vector<uint8_t> m_bytes;
};

} // namespace LumoPhotos
