// A DataApi over bytes a test controls; counts how many are alive.
#pragma once

#include <string>
#include <vector>

#include <lumo/Api.h>
#include <lumo/Data.h>

class ByteData : public LumoApi::RefCounted<LumoApi::DataApi> {
public:
    explicit ByteData(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) { ++s_alive; }
    ~ByteData() override { --s_alive; }

    static LumoApi::ApiRef<ByteData> Make(const std::string& text)
    {
        return LumoApi::ApiRef<ByteData>::Adopt(new ByteData({text.begin(), text.end()}));
    }

    const uint8_t* LUMO_CALL GetBytes() override { return m_bytes.empty() ? nullptr : m_bytes.data(); }
    uint32_t LUMO_CALL GetSize() override { return uint32_t(m_bytes.size()); }

    std::vector<uint8_t> m_bytes;
    static inline int s_alive = 0;
};
