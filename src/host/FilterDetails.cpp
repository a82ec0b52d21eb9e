#include "host/FilterDetails.h"

#include <algorithm>
#include <utility>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"

using namespace LumoApi;

FilterDetails::FilterDetails(MediaApi& media) : m_media(media)
{
}

void FilterDetails::RequireBase() const
{
    if (!m_baseSet)
        ThrowWinError(ERROR_INVALID_FUNCTION);
}

FilterDetails::Override& FilterDetails::OverrideOf(const char* name)
{
    if (!name || !*name)
        ThrowWinError(ERROR_INVALID_PARAMETER);
    return m_overrides[name];
}

void FilterDetails::Restart()
{
    std::vector<std::pair<std::string, const std::string*>> listed;
    for (const auto& [name, entry] : m_overrides) {
        if (!entry.unlisted && entry.value && !entry.value->empty())
            listed.emplace_back(name + '=' + *entry.value, &name);
    }
    // Ties ("a=b" "=c" against "a" "=b=c") keep the map's name order.
    std::stable_sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    m_listed.clear();
    for (const auto& [text, name] : listed)
        m_listed.push_back(*name);
    m_nextListed = 0;
    m_started = true;
    m_inBasePass = false;
}

const char* FilterDetails::NextName()
{
    if (!m_inBasePass && m_nextListed < m_listed.size())
        return m_listed[m_nextListed++].c_str();
    if (!m_base) {
        LumoSetLastError(ERROR_NO_MORE_ITEMS);
        return nullptr;
    }
    const char* name = m_inBasePass ? m_base->GetNextName() : m_base->GetFirstName();
    m_inBasePass = true;
    while (name && m_overrides.contains(name))
        name = m_base->GetNextName();
    // Null: the base's end (259) or its failure, with its last error.
    return name;
}

const char* LUMO_CALL FilterDetails::GetFirstName()
{
    return ApiBoundary(nullptr, [&] {
        RequireBase();
        Restart();
        return NextName();
    });
}

const char* LUMO_CALL FilterDetails::GetNextName()
{
    return ApiBoundary(nullptr, [&] {
        RequireBase();
        if (!m_started)
            Restart();
        return NextName();
    });
}

const char* LUMO_CALL FilterDetails::GetValue(const char* name)
{
    return ApiBoundary(nullptr, [&]() -> const char* {
        RequireBase();
        if (!name)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        auto found = m_overrides.find(name);
        if (found != m_overrides.end() && found->second.value) {
            if (found->second.value->empty())
                ThrowWinError(ERROR_NOT_FOUND);
            return found->second.value->c_str();
        }
        if (!m_base)
            ThrowWinError(ERROR_NOT_FOUND);
        return m_base->GetValue(name);
    });
}

int32_t LUMO_CALL FilterDetails::SetBase(UrlApi* url)
{
    return ApiBoundary(0, [&]() -> int32_t {
        if (m_baseSet)
            ThrowWinError(ERROR_ALREADY_INITIALIZED);
        if (url) {
            // A failed request leaves the base unset, so the caller may try again.
            ApiRef<Api> base = ApiRef<Api>::Adopt(m_media.GetApi(DetailsApi::TypeId, url));
            if (!base)
                ThrowLastError();
            m_base = ApiRef<DetailsApi>::Adopt(static_cast<DetailsApi*>(base.Detach()));
        }
        m_baseSet = true;
        return 1;
    });
}

int32_t LUMO_CALL FilterDetails::UnlistName(const char* name)
{
    return ApiBoundary(0, [&]() -> int32_t {
        RequireBase();
        OverrideOf(name).unlisted = true;
        return 1;
    });
}

int32_t LUMO_CALL FilterDetails::SetValue(const char* name, const char* value)
{
    return ApiBoundary(0, [&]() -> int32_t {
        RequireBase();
        if (!value)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        Override& entry = OverrideOf(name);
        entry.value = value;
        entry.unlisted = false;
        return 1;
    });
}
