// A temporary program folder holding copies of chosen fixture plug-ins; removed afterwards.
#pragma once

#include <dlfcn.h>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

class ModuleFolder {
public:
    explicit ModuleFolder(std::initializer_list<const char*> fixtures = {})
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumo-modules-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            ADD_FAILURE() << "mkdtemp failed";
        m_path = pattern;
        for (const char* fixture : fixtures)
            Add(fixture);
    }
    ~ModuleFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ModuleFolder(const ModuleFolder&) = delete;
    ModuleFolder& operator=(const ModuleFolder&) = delete;

    // Copies build/fixtures/<name>.so into the folder, as <as> when given; answers its path.
    std::string Add(const char* name, const std::string& as = std::string())
    {
        const std::filesystem::path source = std::filesystem::path(LUMO_FIXTURE_DIR) / (std::string(name) + ".so");
        const std::filesystem::path target = m_path / (as.empty() ? std::string(name) + ".so" : as);
        std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
        return target.string();
    }

    // Copies the real module build/bin/<name>.so into the folder; answers its path.
    std::string AddProgramModule(const char* name)
    {
        const std::filesystem::path source = std::filesystem::path(LUMO_PROGRAM_DIR) / (std::string(name) + ".so");
        const std::filesystem::path target = m_path / (std::string(name) + ".so");
        std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
        // The helper libraries a module loads from a folder beside itself go along.
        if (std::string_view(name) == "lumo-photos")
            std::filesystem::copy(std::filesystem::path(LUMO_PROGRAM_DIR) / "photos-qt", m_path / "photos-qt",
                std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
        return target.string();
    }

    // With a trailing "/".
    std::string Path() const { return m_path.string() + "/"; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

    // True while the library at path is mapped into the process.
    static bool IsLoaded(const std::string& path)
    {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!handle)
            return false;
        dlclose(handle);
        return true;
    }

private:
    std::filesystem::path m_path;
};
