#include "server/ServerSettings.h"

#include <QUuid>

#include "host/HostRegistry.h"

namespace {

constexpr char c_Name[] = "ServerName";
constexpr char c_Interfaces[] = "Interfaces";
constexpr char c_Port[] = "Port";
constexpr char c_Uuid[] = "Uuid";
constexpr char c_StartAtLogin[] = "StartAtLogin";

bool IsSeparator(char c)
{
    return c == ',' || c == ' ' || c == '\t' || c == ';';
}

} // namespace

std::string ServerSettings::DefaultName(const std::string& computerName)
{
    return "Lumo Media Server on " + computerName;
}

ServerSettings ServerSettings::Load(const std::string& computerName)
{
    HostRegistry registry(c_SubKey);
    ServerSettings settings;
    settings.name = registry.ReadString("", c_Name, "");
    if (settings.name.empty())
        settings.name = DefaultName(computerName);
    settings.interfaces = SplitInterfaceList(registry.ReadString("", c_Interfaces, ""));
    const int32_t port = registry.ReadInteger("", c_Port, c_DefaultPort);
    settings.port = port > 0 && port < 65536 ? uint16_t(port) : c_DefaultPort;
    settings.uuid = registry.ReadString("", c_Uuid, "");
    if (QUuid::fromString(QString::fromStdString(settings.uuid)).isNull()) {
        settings.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
        registry.WriteString("", c_Uuid, settings.uuid);
    }
    settings.startAtLogin = registry.ReadBool("", c_StartAtLogin, false);
    return settings;
}

void ServerSettings::Save() const
{
    HostRegistry registry(c_SubKey);
    registry.WriteString("", c_Name, name);
    registry.WriteString("", c_Interfaces, JoinInterfaceList(interfaces));
    registry.WriteInteger("", c_Port, port);
    registry.WriteString("", c_Uuid, uuid);
    registry.WriteBool("", c_StartAtLogin, startAtLogin);
}

std::vector<std::string> SplitInterfaceList(const std::string& text)
{
    std::vector<std::string> names;
    std::string current;
    for (char c : text + ',') {
        if (!IsSeparator(c)) {
            current += c;
            continue;
        }
        if (!current.empty()) {
            bool seen = false;
            for (const std::string& name : names)
                seen = seen || name == current;
            if (!seen)
                names.push_back(current);
        }
        current.clear();
    }
    return names;
}

std::string JoinInterfaceList(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ",") + name;
    return text;
}
