#include "app/ServerLocator.h"

#include <exception>
#include <filesystem>

#include "host/HostRegistry.h"
#include "platform/Tick.h"

namespace {

bool FileExists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

ServerLocator::ServerLocator(std::string programFolder, TickFunction tick)
    : m_programFolder(std::move(programFolder)), m_tick(tick ? std::move(tick) : TickFunction(Platform::GetTickCount))
{
}

std::string ServerLocator::Locate() const
{
    const std::string configured = HostRegistry().ReadString("", "ServerPath", "");
    if (!configured.empty() && FileExists(configured))
        return configured;
    // A server moved along with the program keeps its name but not its folder.
    std::string name = std::filesystem::path(configured).filename().string();
    if (name.empty())
        name = c_DefaultName;
    const std::string candidate = m_programFolder + name;
    return FileExists(candidate) ? candidate : std::string();
}

bool ServerLocator::PropertiesEnabled()
{
    const uint32_t now = m_tick();
    if (static_cast<uint32_t>(now - m_checkTime) <= c_RecheckMs)
        return m_enabled;
    try {
        m_enabled = !Locate().empty();
        m_checkTime = now;
    } catch (const std::exception&) {
        m_enabled = false;
    }
    return m_enabled;
}
