#include "HostRegistry.h"

#include <charconv>

#include <QSettings>

#include <lumo/Errors.h>

#include "common/Exceptions.h"

using namespace LumoApi;

namespace {

// A registry key path becomes a settings group: backslashes become "/".
std::string GroupOf(const std::string& keyPath)
{
    std::string group;
    for (char c : keyPath)
        group += c == '\\' ? '/' : c;
    while (!group.empty() && group.back() == '/')
        group.pop_back();
    while (!group.empty() && group.front() == '/')
        group.erase(0, 1);
    return group;
}

std::unique_ptr<QSettings> OpenSettings()
{
    return std::make_unique<QSettings>(
        QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Lumo"), QStringLiteral("Desktop"));
}

} // namespace

HostRegistry::HostRegistry(const std::string& subKey)
    : m_keyPath(subKey.empty() ? std::string(c_RootKey) : std::string(c_RootKey) + "\\" + subKey),
      m_group(GroupOf(subKey)),
      m_settings(OpenSettings())
{
}

HostRegistry::~HostRegistry() = default;

std::string HostRegistry::FilePath()
{
    return OpenSettings()->fileName().toStdString();
}

std::string HostRegistry::Key(const std::string& section, const std::string& name) const
{
    std::string key = m_group;
    const std::string sectionGroup = GroupOf(section);
    if (!sectionGroup.empty())
        key += (key.empty() ? "" : "/") + sectionGroup;
    // A name cannot hold the group separator; it would address another key.
    std::string value = name;
    for (char& c : value) {
        if (c == '/' || c == '\\')
            c = '_';
    }
    return key.empty() ? value : key + "/" + value;
}

std::string HostRegistry::ReadString(
    const std::string& section, const std::string& name, const std::string& defaultValue) const
{
    const QVariant value = m_settings->value(QString::fromStdString(Key(section, name)));
    if (!value.isValid())
        return defaultValue;
    return value.toString().toStdString();
}

int32_t HostRegistry::ReadInteger(const std::string& section, const std::string& name, int32_t defaultValue) const
{
    const std::string text = ReadString(section, name, std::string());
    int32_t number = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    auto [last, error] = std::from_chars(begin, end, number);
    if (error != std::errc() || last != end || begin == end)
        return defaultValue;
    return number;
}

bool HostRegistry::ReadBool(const std::string& section, const std::string& name, bool defaultValue) const
{
    return ReadInteger(section, name, defaultValue ? 1 : 0) != 0;
}

bool HostRegistry::ValueExists(const std::string& section, const std::string& name) const
{
    return m_settings->contains(QString::fromStdString(Key(section, name)));
}

void HostRegistry::Commit()
{
    m_settings->sync();
    if (m_settings->status() == QSettings::AccessError)
        ThrowWinError(ERROR_CANTWRITE);
}

void HostRegistry::WriteString(const std::string& section, const std::string& name, const std::string& value)
{
    m_settings->setValue(QString::fromStdString(Key(section, name)), QString::fromStdString(value));
    Commit();
}

void HostRegistry::WriteInteger(const std::string& section, const std::string& name, int32_t value)
{
    WriteString(section, name, std::to_string(value));
}

void HostRegistry::WriteBool(const std::string& section, const std::string& name, bool value)
{
    WriteInteger(section, name, value ? 1 : 0);
}

void HostRegistry::DeleteValue(const std::string& section, const std::string& name)
{
    m_settings->remove(QString::fromStdString(Key(section, name)));
    Commit();
}
