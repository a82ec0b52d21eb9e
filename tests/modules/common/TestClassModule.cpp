// A media class module for tests: class "TestClass" with the scheme "lumotest" over whatever
// folders the test makes, whose media are ".tst" files ("audio/x-lumotest"). Tests steer and
// watch it through the exported TestClass_* functions; its settings come from the environment:
// LUMOTEST_MOUNTINFO (the mount table read for volumes), LUMOTEST_POLL_MS (watcher poll).
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include <lumo/DllSupport.h>
#include <lumo/Lumo.h>

#include "common/MediaClassSupport.h"

using namespace LumoApi;
using LumoModules::MediaClassSupport;

namespace {

constexpr char c_SongType[] = "audio/x-lumotest";

LumoModules::MediaClassConfig ConfigFromEnvironment()
{
    LumoModules::MediaClassConfig config;
    config.classId = "TestClass";
    config.scheme = "lumotest";
    config.specialFolder = "music";
    config.filter = c_SongType;
    config.rootsTitle = "Test things";
    config.publishedTitle = "Published test things";
    if (const char* mounts = std::getenv("LUMOTEST_MOUNTINFO"))
        config.mountInfoPath = mounts;
    if (const char* poll = std::getenv("LUMOTEST_POLL_MS"))
        config.pollIntervalMs = std::atoi(poll);
    return config;
}

MediaClassSupport& Support()
{
    static MediaClassSupport support(ConfigFromEnvironment());
    return support;
}

// Guards everything below.
std::mutex g_lock;
std::condition_variable g_gateChanged;
std::vector<std::string> g_identified;
std::string g_gateLeaf;
bool g_gateReached = false;
bool g_gateOpen = false;

std::string TextOf(UrlApi* url)
{
    const char* text = url ? url->GetText() : nullptr;
    return text ? text : "";
}

bool EndsWith(const std::string& text, const char* tail)
{
    const size_t size = std::strlen(tail);
    return text.size() >= size && text.compare(text.size() - size, size, tail) == 0;
}

// Holds an Identify of the gate's file until the test opens the gate (10 s at most).
void PassGate(const std::string& text)
{
    std::unique_lock<std::mutex> lock(g_lock);
    g_identified.push_back(text);
    if (g_gateLeaf.empty() || !EndsWith(text, ("/" + g_gateLeaf).c_str()))
        return;
    g_gateReached = true;
    g_gateChanged.notify_all();
    g_gateChanged.wait_for(lock, std::chrono::seconds(10), [] { return g_gateOpen; });
}

class SongDetails : public DllRefCounted<DetailsApi> {
public:
    explicit SongDetails(std::vector<std::pair<std::string, std::string>> values) : m_values(std::move(values)) { }
    const char* LUMO_CALL GetFirstName() override
    {
        m_next = 0;
        return GetNextName();
    }
    const char* LUMO_CALL GetNextName() override
    {
        if (m_next >= m_values.size()) {
            LumoSetLastError(ERROR_NO_MORE_ITEMS);
            return nullptr;
        }
        return m_values[m_next++].first.c_str();
    }
    const char* LUMO_CALL GetValue(const char* name) override
    {
        for (const auto& [key, value] : m_values) {
            if (name && key == name)
                return value.c_str();
        }
        LumoSetLastError(ERROR_NOT_FOUND);
        return nullptr;
    }

private:
    std::vector<std::pair<std::string, std::string>> m_values;
    size_t m_next = 0;
};

class TestFormat : public DllRefCounted<FormatApi> {
public:
    int32_t LUMO_CALL GetFormatCount() override { return MediaClassSupport::c_FormatCount + 1; }
    int32_t LUMO_CALL GetFormat(int32_t index, FormatInfo* info) override
    {
        if (index < MediaClassSupport::c_FormatCount)
            return Support().GetFormat(index, info);
        if (index != MediaClassSupport::c_FormatCount || !info) {
            LumoSetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        *info = {c_SongType, ".tst", "Test song"};
        return 1;
    }
    int32_t LUMO_CALL Identify(UrlApi* url, DataApi*) override
    {
        const std::string text = TextOf(url);
        PassGate(text);
        const int32_t own = Support().Identify(url);
        if (own >= 0)
            return own;
        return EndsWith(text, ".tst") ? MediaClassSupport::c_FormatCount : -1;
    }
};

class TestMedia : public DllRefCounted<MediaApi> {
public:
    TestMedia() : m_types(std::string(c_SongType) + "," + Support().GetContentTypes()) { }
    const char* LUMO_CALL GetContentTypes() override { return m_types.c_str(); }
    const char* LUMO_CALL GetSecondaryTypes() override { return nullptr; }
    Api* LUMO_CALL GetApi(const char* type_id, UrlApi* url) override
    {
        if (Support().IsClassItem(url))
            return Support().GetApi(type_id, url);
        if (!type_id || std::strcmp(type_id, DetailsApi::TypeId) != 0) {
            LumoSetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        // A prefixed song is the song.
        ApiRef<UrlApi> plain = Support().StripClassPrefix(url);
        const std::string text = TextOf(plain.Get());
        const std::string path = text.substr(std::strlen("file://"));
        const std::string name = path.substr(path.rfind('/') + 1);
        struct stat info { };
        const bool there = stat(path.c_str(), &info) == 0;
        return new SongDetails({{"FileName", name}, {"SourceLocation", path},
            {"ContentType", there ? c_SongType : "x-application/lumo-broken"}});
    }

private:
    const std::string m_types;
};

class TestModule : public DllRefCounted<ModuleApi> {
public:
    ~TestModule() override { Support().Detach(); }
    int32_t LUMO_CALL Initialize(HostProgramApi* host) override { return Support().Initialize(host, this); }
    const char* LUMO_CALL GetDisplayName() override { return "Test class"; }
    const char* LUMO_CALL GetId() override { return "TestClass"; }
};

DefaultDllApi g_dllApi;

} // namespace

extern "C" LUMO_EXPORT Api* LUMO_CALL Lumo_GetApi(const char* type_id)
{
    if (!type_id) {
        LumoSetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (std::strcmp(type_id, DllApi::TypeId) == 0)
        return &g_dllApi;
    if (std::strcmp(type_id, ModuleApi::TypeId) == 0)
        return new TestModule();
    if (std::strcmp(type_id, FormatApi::TypeId) == 0)
        return new TestFormat();
    if (std::strcmp(type_id, MediaApi::TypeId) == 0)
        return new TestMedia();
    if (std::strcmp(type_id, MediaClassApi::TypeId) == 0)
        return Support().CreateMediaClassApi();
    LumoSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

// How many Identify calls named a URL containing part since the last reset.
extern "C" LUMO_EXPORT int TestClass_IdentifyCount(const char* part)
{
    std::lock_guard<std::mutex> lock(g_lock);
    int count = 0;
    for (const std::string& text : g_identified)
        count += text.find(part) != std::string::npos ? 1 : 0;
    return count;
}

extern "C" LUMO_EXPORT void TestClass_Reset()
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_identified.clear();
}

// Identify of a URL ending in "/leaf" waits there until TestClass_OpenGate.
extern "C" LUMO_EXPORT void TestClass_SetGate(const char* leaf)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_gateLeaf = leaf ? leaf : "";
    g_gateReached = false;
    g_gateOpen = false;
}

// Waits (5 s at most) until an Identify reached the gate.
extern "C" LUMO_EXPORT int TestClass_WaitForGate()
{
    std::unique_lock<std::mutex> lock(g_lock);
    return g_gateChanged.wait_for(lock, std::chrono::seconds(5), [] { return g_gateReached; }) ? 1 : 0;
}

extern "C" LUMO_EXPORT void TestClass_OpenGate()
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_gateOpen = true;
    g_gateChanged.notify_all();
}
