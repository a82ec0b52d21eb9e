// Publishing and unpublishing many items through a media class in a real host, with the
// published list subscribed as the page keeps it, and the same number of bare database adds
// for comparison. Usage: bench_publish [items] [rounds]; prints each round and the medians.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <lumo/Lumo.h>

#include "common/PublishedStore.h"
#include "host/HostInternals.h"
#include "host/MediaClassGroup.h"
#include "host/UrlImpl.h"

namespace fs = std::filesystem;
using namespace LumoApi;
using Clock = std::chrono::steady_clock;

namespace {

class CountingCallback : public RefNeutral<ContainerCallbackApi> {
public:
    void LUMO_CALL OnNotify(ContainerApi*, int32_t event, UrlApi*) override
    {
        (event == c_ChildAdded ? added : removed).fetch_add(1);
    }
    std::atomic<size_t> added{0};
    std::atomic<size_t> removed{0};
};

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool WaitUntil(const std::atomic<size_t>& counter, size_t wanted)
{
    const Clock::time_point start = Clock::now();
    while (counter.load() < wanted) {
        if (SecondsSince(start) > 60)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct Round {
    double publish = 0;
    double notified = 0;
    double unpublish = 0;
    double bareAdds = 0;
};

bool RunRound(size_t count, Round& round)
{
    std::string root = (fs::temp_directory_path() / "lumo-bench-publish-XXXXXX").string();
    if (!mkdtemp(root.data()))
        return false;
    const fs::path program = fs::path(root) / "program";
    fs::create_directories(program);
    fs::copy_file(fs::path(LUMO_PROGRAM_DIR) / "lumo-cache.so", program / "lumo-cache.so");
    fs::copy_file(fs::path(LUMO_FIXTURE_DIR) / "fixture_media_class.so", program / "fixture_media_class.so");
    setenv("HOME", root.c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);

    std::vector<std::string> urls;
    for (size_t i = 0; i < count; ++i) {
        const fs::path folder = fs::path(root) / "Music" / ("Album " + std::to_string(i / 100));
        if (i % 100 == 0)
            fs::create_directories(folder);
        const fs::path song = folder / ("song" + std::to_string(i) + ".tst");
        std::ofstream(song) << "x";
        urls.push_back("lumotest-file://" + song.string());
    }

    bool ok = true;
    {
        HostInternals host(program.string() + "/");
        MediaClassApi* api = host.MediaClasses().ById("TestClass").Interface();
        ApiRef<UrlApi> publishedRoot = MakeUrl("lumotest://published");
        ApiRef<ContainerApi> published = ApiRef<ContainerApi>::Adopt(
            static_cast<ContainerApi*>(host.MediaGroup().GetApi(ContainerApi::TypeId, publishedRoot.Get())));
        CountingCallback callback;
        ok = published && published->Subscribe(&callback, 0);

        std::vector<ApiRef<UrlApi>> items;
        for (const std::string& url : urls)
            items.push_back(MakeUrl(url));
        std::vector<ApiRef<UrlApi>> entries;
        entries.reserve(count);

        Clock::time_point start = Clock::now();
        for (size_t i = 0; ok && i < count; ++i) {
            entries.push_back(ApiRef<UrlApi>::Adopt(api->Publish(items[i].Get(), nullptr)));
            ok = bool(entries.back());
        }
        round.publish = SecondsSince(start);
        ok = ok && WaitUntil(callback.added, count);
        round.notified = SecondsSince(start);

        start = Clock::now();
        for (size_t i = 0; ok && i < count; ++i)
            ok = ApiRef<UrlApi>::Adopt(api->Unpublish(entries[i].Get())).Get() != nullptr;
        round.unpublish = SecondsSince(start);
        ok = ok && WaitUntil(callback.removed, count);
        if (published)
            published->Unsubscribe(&callback);
    }

    {
        LumoModules::PublishedStore store(root + "/bare.db");
        const Clock::time_point start = Clock::now();
        for (size_t i = 0; ok && i < count; ++i) {
            LumoModules::PublishedEntry entry;
            entry.url = urls[i];
            entry.path = urls[i].substr(std::strlen("lumotest-file://"));
            entry.title = "song";
            ok = store.Add("TestClass", entry);
        }
        round.bareAdds = SecondsSince(start);
    }

    std::error_code ignored;
    fs::remove_all(root, ignored);
    return ok;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const size_t count = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 10000;
    const size_t rounds = argc > 2 ? size_t(std::strtoul(argv[2], nullptr, 10)) : 5;
    std::vector<double> publish, notified, unpublish, bare;
    std::printf("%zu items, %zu rounds (seconds)\n", count, rounds);
    std::printf("%-8s %10s %14s %10s %12s\n", "round", "publish", "all notified", "unpublish", "bare adds");
    for (size_t i = 0; i < rounds; ++i) {
        Round round;
        if (!RunRound(count, round)) {
            std::fprintf(stderr, "round %zu failed: last error %u\n", i, LumoGetLastError());
            return 1;
        }
        std::printf("%-8zu %10.3f %14.3f %10.3f %12.3f\n", i + 1, round.publish, round.notified, round.unpublish,
            round.bareAdds);
        publish.push_back(round.publish);
        notified.push_back(round.notified);
        unpublish.push_back(round.unpublish);
        bare.push_back(round.bareAdds);
    }
    std::printf("%-8s %10.3f %14.3f %10.3f %12.3f\n", "median", Median(publish), Median(notified), Median(unpublish),
        Median(bare));
    std::printf("goal: publishing %zu items under 5 s in total: %s\n", count, Median(notified) < 5 ? "met" : "MISSED");
    return 0;
}
