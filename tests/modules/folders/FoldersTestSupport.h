// A real host with the folders module, and a sandbox of folders and files built per test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include <lumo/Errors.h>
#include <lumo/Lumo.h>

#include "host/HostInternals.h"
#include "host/MediaItem.h"
#include "host/UrlBuilder.h"
#include "support/ModuleFolder.h"
#include "support/ScopedEnvironment.h"

// A program folder with the disk cache and the folders module copied from build/bin.
class FoldersHostFolder : public ModuleFolder {
public:
    FoldersHostFolder()
    {
        AddProgramModule("lumo-cache");
        AddProgramModule("lumo-folders");
    }
};

// A temporary folder tree, removed afterwards even where a test took permissions away.
class SandBox {
public:
    SandBox()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumo-folders-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            ADD_FAILURE() << "mkdtemp failed";
        m_root = pattern;
    }
    ~SandBox()
    {
        std::error_code ignored;
        for (auto it = std::filesystem::recursive_directory_iterator(
                 m_root, std::filesystem::directory_options::skip_permission_denied, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            if (!it->is_symlink(ignored))
                chmod(it->path().c_str(), 0755);
        }
        chmod(m_root.c_str(), 0755);
        // Once more: folders whose permissions came back can now be entered.
        for (auto it = std::filesystem::recursive_directory_iterator(m_root, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            if (!it->is_symlink(ignored))
                chmod(it->path().c_str(), 0755);
        }
        std::filesystem::remove_all(m_root, ignored);
    }
    SandBox(const SandBox&) = delete;
    SandBox& operator=(const SandBox&) = delete;

    // Paths are byte strings: names need not be UTF-8.
    std::string Path(const std::string& relative = std::string()) const
    {
        return relative.empty() ? m_root.string() : m_root.string() + "/" + relative;
    }
    std::string Folder(const std::string& relative) const
    {
        std::filesystem::create_directories(Path(relative));
        return Path(relative);
    }
    std::string File(const std::string& relative, const std::string& bytes = "x") const
    {
        std::filesystem::create_directories(std::filesystem::path(Path(relative)).parent_path());
        std::ofstream(Path(relative), std::ios::binary) << bytes;
        return Path(relative);
    }
    std::string Link(const std::string& relative, const std::string& target) const
    {
        std::filesystem::create_directories(std::filesystem::path(Path(relative)).parent_path());
        std::filesystem::create_symlink(target, Path(relative));
        return Path(relative);
    }

private:
    std::filesystem::path m_root;
};

// A "file" URL for an absolute path, made by the host's own builder as any module would.
inline LumoApi::ApiRef<LumoApi::UrlApi> FileUrl(const std::string& path)
{
    LumoApi::ApiRef<UrlBuilder> builder = LumoApi::ApiRef<UrlBuilder>::Adopt(new UrlBuilder());
    builder->SetScheme("file");
    builder->SetPath(path.c_str());
    return LumoApi::ApiRef<LumoApi::UrlApi>::Adopt(builder->GetUrl());
}

// "/" and the unescaped path of a URL.
inline std::string PathOf(LumoApi::UrlApi* url)
{
    const char* path = url ? url->GetPath() : nullptr;
    return std::string("/") + (path ? path : "");
}

// Tests through a real host, built on the folders module.
class FoldersHostTest : public ::testing::Test {
protected:
    FoldersHostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
    SandBox m_sandbox;

    std::string ContentTypeOf(const std::string& path)
    {
        return m_host.FormatGroup().DecideContentType(FileUrl(path).Get(), nullptr);
    }

    // The module's own media handler, for items the host would not hand to it.
    LumoApi::ApiRef<LumoApi::MediaApi> FoldersMedia()
    {
        return m_host.Modules().ModuleById("LumoFolders").GetApi<LumoApi::MediaApi>();
    }
    LumoApi::ApiRef<LumoApi::ContainerApi> ContainerOf(const std::string& path)
    {
        return LumoApi::ApiRef<LumoApi::ContainerApi>::Adopt(static_cast<LumoApi::ContainerApi*>(
            FoldersMedia()->GetApi(LumoApi::ContainerApi::TypeId, FileUrl(path).Get())));
    }
    LumoApi::ApiRef<LumoApi::DetailsApi> DetailsOf(const std::string& path)
    {
        return LumoApi::ApiRef<LumoApi::DetailsApi>::Adopt(static_cast<LumoApi::DetailsApi*>(
            FoldersMedia()->GetApi(LumoApi::DetailsApi::TypeId, FileUrl(path).Get())));
    }

    // The paths a container lists, in order; the enumeration must end with 259.
    static std::vector<std::string> Children(LumoApi::ContainerApi& container)
    {
        std::vector<std::string> paths;
        for (LumoApi::ApiRef<LumoApi::UrlApi> child = LumoApi::ApiRef<LumoApi::UrlApi>::Adopt(container.GetFirst());
             child; child = LumoApi::ApiRef<LumoApi::UrlApi>::Adopt(container.GetNext()))
            paths.push_back(PathOf(child.Get()));
        EXPECT_EQ(LumoGetLastError(), LumoApi::ERROR_NO_MORE_ITEMS);
        return paths;
    }
};
