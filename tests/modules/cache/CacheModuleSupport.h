// Loads lumo-cache.so the way the host does and stands in for the host around it.
#pragma once

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <lumo/Lumo.h>

namespace CacheTest {

using namespace LumoApi;

// The objects the module reported destroyed, in order: addresses are reused, so a test looks
// only at reports made after a mark it took.
class RecordingDllCallback : public RefNeutral<DllCallbackApi> {
public:
    void LUMO_CALL ApiDestroyed(Api* old_api) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_destroyed.push_back(old_api);
    }
    size_t Mark()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_destroyed.size();
    }
    bool DestroyedSince(size_t mark, Api* api)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return std::find(m_destroyed.begin() + std::ptrdiff_t(mark), m_destroyed.end(), api) != m_destroyed.end();
    }

private:
    std::mutex m_lock;
    std::vector<Api*> m_destroyed;
};

inline RecordingDllCallback& DllCallback()
{
    static RecordingDllCallback callback;
    return callback;
}

// The module's entry point; the library is loaded and its DllApi initialised once per process.
inline GetApiFunction ModuleEntry()
{
    static const GetApiFunction entry = []() -> GetApiFunction {
        void* handle = dlopen(LUMO_CACHE_MODULE, RTLD_NOW | RTLD_LOCAL);
        auto function = handle ? reinterpret_cast<GetApiFunction>(dlsym(handle, c_GetApiSymbol)) : nullptr;
        ApiRef<DllApi> dll = ApiRef<DllApi>::Adopt(function ? static_cast<DllApi*>(function(DllApi::TypeId)) : nullptr);
        if (!dll || !dll->Initialize(&DllCallback())) {
            ADD_FAILURE() << "cannot load " << LUMO_CACHE_MODULE << ": " << dlerror();
            return nullptr;
        }
        return function;
    }();
    return entry;
}

template <class T>
ApiRef<T> ModuleApiOf()
{
    GetApiFunction entry = ModuleEntry();
    return ApiRef<T>::Adopt(entry ? static_cast<T*>(entry(T::TypeId)) : nullptr);
}

class MemoryData : public RefCounted<DataApi> {
public:
    explicit MemoryData(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) { }
    const uint8_t* LUMO_CALL GetBytes() override { return m_bytes.data(); }
    uint32_t LUMO_CALL GetSize() override { return uint32_t(m_bytes.size()); }

private:
    std::vector<uint8_t> m_bytes;
};

inline std::vector<uint8_t> BytesOf(DataApi& data)
{
    const uint8_t* bytes = data.GetBytes();
    return bytes ? std::vector<uint8_t>(bytes, bytes + data.GetSize()) : std::vector<uint8_t>();
}

struct LogLines {
    std::mutex lock;
    std::vector<std::string> lines;

    bool Contains(const std::string& text)
    {
        std::lock_guard<std::mutex> guard(lock);
        return std::any_of(
            lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != line.npos; });
    }
};

class FakeLog : public RefCounted<LogApi> {
public:
    explicit FakeLog(LogLines& log) : m_log(log) { }
    void Write(int32_t, const char* category, const char* format, ...) override
    {
        char text[2048];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        std::lock_guard<std::mutex> guard(m_log.lock);
        m_log.lines.push_back(std::string(category) + ": " + text);
    }

private:
    LogLines& m_log;
};

class FakeRegistry : public RefCounted<RegistryApi> {
public:
    explicit FakeRegistry(int32_t maxSizeMB) : m_maxSizeMB(maxSizeMB) { }
    const char* LUMO_CALL GetKeyPath() override { return "Software\\Lumo\\Desktop\\Modules\\LumoCache\\Config"; }
    const char* LUMO_CALL ReadString(const char*, const char* default_text) override { return default_text; }
    int32_t LUMO_CALL WriteString(const char*, const char*) override { return 1; }
    int32_t LUMO_CALL ReadInteger(const char* name, int32_t default_value) override
    {
        return std::strcmp(name, "MaxSizeMB") == 0 ? m_maxSizeMB : default_value;
    }
    int32_t LUMO_CALL WriteInteger(const char*, int32_t) override { return 1; }

private:
    int32_t m_maxSizeMB;
};

// Offers a registry only when given a size bound, a log only when asked to; null with 87
// for everything else, as a host still being built does.
class FakeHost : public RefNeutral<HostProgramApi> {
public:
    std::optional<int32_t> maxSizeMB;
    bool offersLog = false;
    LogLines log;

    void* LUMO_CALL GetWindow() override { return nullptr; }
    const char* LUMO_CALL GetComputerName() override { return "test"; }
    Api* LUMO_CALL GetApi(const char* type_id, ModuleApi* module) override
    {
        ApiRef<ModuleApi> asking = ApiRef<ModuleApi>::Adopt(module);
        EXPECT_TRUE(asking) << type_id;
        if (std::strcmp(type_id, RegistryApi::TypeId) == 0 && maxSizeMB)
            return new FakeRegistry(*maxSizeMB);
        if (std::strcmp(type_id, LogApi::TypeId) == 0 && offersLog)
            return new FakeLog(log);
        LumoSetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
};

// A URL as the host's UrlApi answers it: unescaped parts, null with 1168 for an empty one.
class FakeUrl : public RefCounted<UrlApi> {
public:
    FakeUrl(std::string scheme, std::string host, std::string path)
        : m_parts{std::move(scheme), std::move(host), std::move(path)}
    {
    }
    int32_t LUMO_CALL SetText(const char*) override { return 0; }
    const char* LUMO_CALL GetScheme() override { return Part(0); }
    const char* LUMO_CALL GetHost() override { return Part(1); }
    const char* LUMO_CALL GetPath() override { return Part(2); }
    int32_t LUMO_CALL GetParamCount() override { return 0; }
    const char* LUMO_CALL GetParamName(int32_t) override { return nullptr; }
    const char* LUMO_CALL GetParamValue(int32_t) override { return nullptr; }
    const char* LUMO_CALL GetParam(const char*) override { return nullptr; }
    const char* LUMO_CALL GetText() override { return nullptr; }
    const char* LUMO_CALL GetLocalPart() override { return nullptr; }

private:
    const char* Part(int index)
    {
        if (m_parts[index].empty())
            LumoSetLastError(ERROR_NOT_FOUND);
        return m_parts[index].empty() ? nullptr : m_parts[index].c_str();
    }

    std::array<std::string, 3> m_parts;
};

// A "file" URL for an absolute path.
inline ApiRef<UrlApi> FileUrl(const std::string& path)
{
    return ApiRef<UrlApi>::Adopt(new FakeUrl("file", "", path.substr(1)));
}

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumo-cache-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            ADD_FAILURE() << "mkdtemp failed";
        m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

inline uint64_t Mix(uint64_t value)
{
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

// Bytes derived from seed; about one in sixteen is zero.
inline std::vector<uint8_t> Pattern(uint64_t seed, size_t sizeBytes)
{
    std::vector<uint8_t> bytes(sizeBytes);
    for (size_t at = 0; at < sizeBytes; ++at) {
        if (at % 8 == 0)
            seed = Mix(seed);
        const uint8_t byte = uint8_t(seed >> (8 * (at % 8)));
        bytes[at] = (byte & 0x0F) == 0 ? 0 : byte;
    }
    return bytes;
}

// A block that names its origin in its first 12 bytes; the rest, and its length (up to
// maxBytes), derive from the origin. A reader tells a whole block from a torn or mixed-up one.
using Origin = std::array<uint32_t, 3>;

inline std::vector<uint8_t> SelfBlock(const Origin& origin, size_t maxBytes)
{
    const uint64_t seed = Mix((uint64_t(origin[0]) << 40) ^ (uint64_t(origin[1]) << 20) ^ origin[2]);
    std::vector<uint8_t> bytes = Pattern(seed, 12 + seed % (maxBytes - 11));
    std::memcpy(bytes.data(), origin.data(), 12);
    return bytes;
}

inline std::optional<Origin> OriginOf(const std::vector<uint8_t>& bytes, size_t maxBytes)
{
    Origin origin{};
    if (bytes.size() >= 12)
        std::memcpy(origin.data(), bytes.data(), 12);
    return bytes.size() >= 12 && SelfBlock(origin, maxBytes) == bytes ? std::optional<Origin>(origin) : std::nullopt;
}

} // namespace CacheTest
