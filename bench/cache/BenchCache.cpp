// Store and lookup rates of lumo-cache.so for small and large blocks, in a throw-away cache
// folder. Usage: bench_cache [module path] [blocks per size]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <lumo/Lumo.h>

using namespace LumoApi;

namespace {

class NullCallback : public RefNeutral<DllCallbackApi> {
public:
    void LUMO_CALL ApiDestroyed(Api*) override { }
};

class Block : public RefCounted<DataApi> {
public:
    explicit Block(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) { }
    const uint8_t* LUMO_CALL GetBytes() override { return m_bytes.data(); }
    uint32_t LUMO_CALL GetSize() override { return uint32_t(m_bytes.size()); }

private:
    std::vector<uint8_t> m_bytes;
};

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// movedBytes: bytes each operation copies in or out; 0 prints no MB/s.
void Report(const char* what, size_t blockBytes, size_t movedBytes, size_t operations, double seconds)
{
    std::printf(
        "%-22s %6zu KiB  %7zu ops  %10.0f ops/s", what, blockBytes / 1024, operations, double(operations) / seconds);
    if (movedBytes)
        std::printf("  %8.1f MB/s", double(operations) * double(movedBytes) / seconds / 1e6);
    std::printf("\n");
}

std::string KeyOf(size_t blockBytes, size_t index)
{
    return "bench." + std::to_string(blockBytes) + "." + std::to_string(index);
}

bool Run(GetApiFunction entry, size_t blockBytes, size_t count)
{
    ApiRef<DiskCacheApi> cache = ApiRef<DiskCacheApi>::Adopt(static_cast<DiskCacheApi*>(entry(DiskCacheApi::TypeId)));
    if (!cache)
        return false;
    std::mt19937_64 random(blockBytes);
    std::vector<ApiRef<DataApi>> blocks;
    for (size_t index = 0; index < count; ++index) {
        std::vector<uint8_t> bytes(blockBytes);
        for (uint8_t& byte : bytes)
            byte = uint8_t(random());
        blocks.push_back(ApiRef<DataApi>::Adopt(new Block(std::move(bytes))));
    }

    Clock::time_point start = Clock::now();
    for (size_t index = 0; index < count; ++index) {
        if (!cache->Store(KeyOf(blockBytes, index).c_str(), blocks[index].Get(), 1)) {
            std::fprintf(stderr, "store failed: %u\n", LumoGetLastError());
            return false;
        }
    }
    Report("store", blockBytes, blockBytes, count, SecondsSince(start));

    std::vector<size_t> order(count);
    for (size_t index = 0; index < count; ++index)
        order[index] = index;
    std::shuffle(order.begin(), order.end(), random);
    start = Clock::now();
    for (const size_t index : order) {
        ApiRef<DataApi> data = ApiRef<DataApi>::Adopt(cache->Lookup(KeyOf(blockBytes, index).c_str(), 1));
        if (!data || data->GetSize() != blockBytes) {
            std::fprintf(stderr, "lookup failed: %u\n", LumoGetLastError());
            return false;
        }
    }
    Report("lookup (random order)", blockBytes, blockBytes, count, SecondsSince(start));

    constexpr size_t c_Threads = 4;
    std::vector<std::thread> threads;
    start = Clock::now();
    for (size_t thread = 0; thread < c_Threads; ++thread) {
        threads.emplace_back([&, thread] {
            for (size_t at = thread; at < count; at += c_Threads)
                ApiRef<DataApi>::Adopt(cache->Lookup(KeyOf(blockBytes, order[at]).c_str(), 1));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    Report("lookup (4 threads)", blockBytes, blockBytes, count, SecondsSince(start));

    start = Clock::now();
    for (size_t index = 0; index < count; ++index)
        ApiRef<DataApi>::Adopt(cache->Lookup(("missing." + std::to_string(index)).c_str(), 0));
    Report("lookup (missing key)", blockBytes, 0, count, SecondsSince(start));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const char* modulePath = argc > 1 ? argv[1] : LUMO_CACHE_MODULE;
    const size_t count = argc > 2 ? size_t(std::strtoul(argv[2], nullptr, 10)) : 5000;

    std::string folder = (std::filesystem::temp_directory_path() / "lumo-bench-cache-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    setenv("XDG_CACHE_HOME", folder.c_str(), 1);

    void* library = dlopen(modulePath, RTLD_NOW | RTLD_LOCAL);
    auto entry = library ? reinterpret_cast<GetApiFunction>(dlsym(library, c_GetApiSymbol)) : nullptr;
    if (!entry) {
        std::fprintf(stderr, "cannot load %s: %s\n", modulePath, dlerror());
        return 1;
    }
    static NullCallback callback;
    ApiRef<DllApi> dll = ApiRef<DllApi>::Adopt(static_cast<DllApi*>(entry(DllApi::TypeId)));
    ApiRef<ModuleApi> module = ApiRef<ModuleApi>::Adopt(static_cast<ModuleApi*>(entry(ModuleApi::TypeId)));
    if (!dll || !dll->Initialize(&callback) || !module || !module->Initialize(nullptr)) {
        std::fprintf(stderr, "module refused to start\n");
        return 1;
    }

    std::printf("disk cache in %s, %zu blocks per size\n", folder.c_str(), count);
    bool ok = true;
    for (const size_t blockBytes : {size_t(4096), size_t(65536)})
        ok = ok && Run(entry, blockBytes, count);

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return ok ? 0 : 1;
}
