// Per-user settings: one INI file ($XDG_CONFIG_HOME/Lumo/Desktop.ini) whose groups stand for
// the keys under "Software\Lumo\Desktop". Values are text; integers are decimal text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QSettings;

class HostRegistry {
public:
    static constexpr const char c_RootKey[] = "Software\\Lumo\\Desktop";

    // Opens the product's key, or the sub-key ("Publisher", "Modules\LumoMusic\Config").
    explicit HostRegistry(const std::string& subKey = std::string());
    ~HostRegistry();
    HostRegistry(const HostRegistry&) = delete;
    HostRegistry& operator=(const HostRegistry&) = delete;

    // "Software\Lumo\Desktop" or "Software\Lumo\Desktop\<sub-key>".
    const std::string& KeyPath() const noexcept { return m_keyPath; }

    // A section selects a sub-key of the opened key; "" is the key itself. A value that is
    // absent answers the default; a value that is not a number answers the default too.
    std::string ReadString(const std::string& section, const std::string& name, const std::string& defaultValue) const;
    int32_t ReadInteger(const std::string& section, const std::string& name, int32_t defaultValue) const;
    bool ReadBool(const std::string& section, const std::string& name, bool defaultValue) const;
    bool ValueExists(const std::string& section, const std::string& name) const;

    // Written through to the file at once; raises 1013 when the file cannot be written.
    void WriteString(const std::string& section, const std::string& name, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& name, int32_t value);
    void WriteBool(const std::string& section, const std::string& name, bool value);
    void DeleteValue(const std::string& section, const std::string& name);

    // The INI file behind every registry object.
    static std::string FilePath();

private:
    std::string Key(const std::string& section, const std::string& name) const;
    void Commit();

    std::string m_keyPath;
    std::string m_group;
    std::unique_ptr<QSettings> m_settings;
};
