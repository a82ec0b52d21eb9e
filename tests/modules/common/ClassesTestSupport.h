// A sandbox of folders and a real host with the disk cache, the folders module and the test
// class module ("TestClass", scheme "lumotest", media ".tst").
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <lumo/Lumo.h>

#include "host/HostInternals.h"
#include "host/MediaClassGroup.h"
#include "host/UrlImpl.h"
#include "support/ModuleFolder.h"

namespace fs = std::filesystem;

// A temporary folder removed afterwards; HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and
// XDG_CACHE_HOME point into it, and user-dirs.dirs names its "Music" the music folder.
class Sandbox {
public:
    Sandbox()
    {
        std::string pattern = (fs::temp_directory_path() / "lumo-classes-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            ADD_FAILURE() << "mkdtemp failed";
        m_root = pattern;
        fs::create_directories(m_root / "home");
        fs::create_directories(m_root / "config");
        fs::create_directories(Music());
        setenv("HOME", (m_root / "home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_root / "data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (m_root / "cache").c_str(), 1);
        Write("config/user-dirs.dirs", "XDG_MUSIC_DIR=\"" + Music().string() + "\"\n");
        // No volumes unless a test writes some.
        Write("mountinfo", "");
        setenv("LUMOTEST_MOUNTINFO", (m_root / "mountinfo").c_str(), 1);
        setenv("LUMOTEST_POLL_MS", "100", 1);
    }
    ~Sandbox()
    {
        std::error_code ignored;
        // Folders made unreadable by a test must be readable to be removed.
        for (auto it = fs::recursive_directory_iterator(m_root, fs::directory_options::skip_permission_denied, ignored);
             it != fs::recursive_directory_iterator(); it.increment(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(m_root, ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    fs::path Root() const { return m_root; }
    fs::path Music() const { return m_root / "Music"; }
    fs::path Path(const std::string& relative) const { return m_root / relative; }

    // Writes a file (making its folders) under the sandbox; answers its path.
    fs::path Write(const std::string& relative, const std::string& text = "x") const
    {
        const fs::path path = m_root / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    fs::path Folder(const std::string& relative) const
    {
        fs::create_directories(m_root / relative);
        return m_root / relative;
    }

private:
    fs::path m_root;
};

inline std::string FileUrl(const fs::path& path)
{
    return "file://" + path.string();
}

inline std::string ClassUrl(const fs::path& path)
{
    return "lumotest-file://" + path.string();
}

// A program folder with the cache, folders and test class modules, and a host on it.
class ClassHost {
public:
    ClassHost()
    {
        m_folder.AddProgramModule("lumo-cache");
        m_folder.AddProgramModule("lumo-folders");
        m_modulePath = m_folder.Add("fixture_media_class");
        m_host = std::make_unique<HostInternals>(m_folder.Path());
    }

    HostInternals& Host() { return *m_host; }
    std::string ProgramFolder() const { return m_folder.Path(); }
    MediaClass& Class() { return m_host->MediaClasses().ById("TestClass"); }
    LumoApi::MediaClassApi& Api() { return *Class().Interface(); }
    LumoApi::MediaApi& Media() { return m_host->MediaGroup(); }

    // A function the loaded test module exports.
    template <class Function>
    Function ModuleFunction(const char* name) const
    {
        void* handle = dlopen(m_modulePath.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!handle)
            return nullptr;
        void* symbol = dlsym(handle, name);
        dlclose(handle);
        return reinterpret_cast<Function>(symbol);
    }

    LumoApi::ApiRef<LumoApi::ContainerApi> Container(const std::string& url)
    {
        LumoApi::ApiRef<LumoApi::UrlApi> item = MakeUrl(url);
        return LumoApi::ApiRef<LumoApi::ContainerApi>::Adopt(
            static_cast<LumoApi::ContainerApi*>(Media().GetApi(LumoApi::ContainerApi::TypeId, item.Get())));
    }
    LumoApi::ApiRef<LumoApi::DetailsApi> Details(const std::string& url)
    {
        LumoApi::ApiRef<LumoApi::UrlApi> item = MakeUrl(url);
        return LumoApi::ApiRef<LumoApi::DetailsApi>::Adopt(
            static_cast<LumoApi::DetailsApi*>(Media().GetApi(LumoApi::DetailsApi::TypeId, item.Get())));
    }
    std::string Value(const std::string& url, const char* name)
    {
        LumoApi::ApiRef<LumoApi::DetailsApi> details = Details(url);
        const char* value = details ? details->GetValue(name) : nullptr;
        return value ? value : "";
    }

private:
    ModuleFolder m_folder;
    std::string m_modulePath;
    std::unique_ptr<HostInternals> m_host;
};

// The children's URL texts; the enumeration must end with 259.
inline std::vector<std::string> Children(LumoApi::ContainerApi& container)
{
    std::vector<std::string> texts;
    for (LumoApi::ApiRef<LumoApi::UrlApi> child = LumoApi::ApiRef<LumoApi::UrlApi>::Adopt(container.GetFirst()); child;
         child = LumoApi::ApiRef<LumoApi::UrlApi>::Adopt(container.GetNext()))
        texts.push_back(child->GetText());
    EXPECT_EQ(LumoGetLastError(), LumoApi::ERROR_NO_MORE_ITEMS);
    return texts;
}

// Records notifications; any thread.
class EventRecorder : public LumoApi::RefNeutral<LumoApi::ContainerCallbackApi> {
public:
    struct Event {
        int32_t event;
        std::string url;
        bool operator==(const Event&) const = default;
    };

    void LUMO_CALL OnNotify(LumoApi::ContainerApi*, int32_t event, LumoApi::UrlApi* child) override
    {
        const char* text = child ? child->GetText() : nullptr;
        std::lock_guard<std::mutex> lock(m_lock);
        m_events.push_back({event, text ? text : ""});
        m_changed.notify_all();
    }

    // True once an event equal to wanted has come (within timeout).
    bool WaitFor(const Event& wanted, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(
            lock, timeout, [&] { return std::find(m_events.begin(), m_events.end(), wanted) != m_events.end(); });
    }
    std::vector<Event> Events()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_events;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
};
