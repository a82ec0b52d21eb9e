#include "support/ListedDetails.h"

#include <algorithm>
#include <cstring>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "support/BoundaryGuard.h"

using namespace LumoApi;

namespace LumoModules {

ListedDetails::ListedDetails(const PropertyName* names, size_t count)
    // The tables hold far fewer names than the 64 bits of m_hasValue (their files check it).
    : m_names(names), m_count(std::min<size_t>(count, 64)), m_values(m_count)
{
}

size_t ListedDetails::IndexOf(const char* name) const
{
    for (size_t index = 0; index < m_count; ++index) {
        if (std::strcmp(m_names[index].name, name) == 0)
            return index;
    }
    return m_count;
}

void ListedDetails::RunStage(int stage)
{
    const uint32_t bit = 1u << stage;
    if (m_stagesRun & bit)
        return;
    m_stagesRun |= bit;
    LoadStage(stage);
}

void ListedDetails::RunAllStages()
{
    for (size_t index = 0; index < m_count; ++index)
        RunStage(m_names[index].stage);
}

void ListedDetails::SetValue(const char* name, std::string value)
{
    // A stage names its values with the table's own literals: found without comparing text.
    size_t index = 0;
    while (index < m_count && m_names[index].name != name)
        ++index;
    if (index == m_count)
        index = IndexOf(name);
    if (index == m_count || HasValue(index) || value.empty())
        return;
    m_values[index] = std::move(value);
    m_hasValue |= uint64_t(1) << index;
}

const char* ListedDetails::NextListedName()
{
    while (m_nextName < m_count) {
        const size_t index = m_nextName++;
        if (HasValue(index))
            return m_names[index].name;
    }
    LumoSetLastError(ERROR_NO_MORE_ITEMS);
    return nullptr;
}

const char* LUMO_CALL ListedDetails::GetFirstName()
{
    return Guard<const char*>(nullptr, [&] {
        std::lock_guard<std::mutex> lock(m_lock);
        m_nextName = 0;
        RunAllStages();
        return NextListedName();
    });
}

const char* LUMO_CALL ListedDetails::GetNextName()
{
    return Guard<const char*>(nullptr, [&] {
        std::lock_guard<std::mutex> lock(m_lock);
        RunAllStages();
        return NextListedName();
    });
}

const char* LUMO_CALL ListedDetails::GetValue(const char* name)
{
    return Guard<const char*>(nullptr, [&]() -> const char* {
        if (!name)
            throw ModuleError(ERROR_INVALID_PARAMETER);
        std::lock_guard<std::mutex> lock(m_lock);
        const size_t index = IndexOf(name);
        if (index < m_count)
            RunStage(m_names[index].stage);
        if (index == m_count || !HasValue(index)) {
            LumoSetLastError(ERROR_NOT_FOUND);
            return nullptr;
        }
        return m_values[index].c_str();
    });
}

} // namespace LumoModules
