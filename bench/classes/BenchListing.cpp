// Listing a class folder over a large tree through a real host with the folders module: the
// first time (every folder searched), again in the same process (answers remembered in memory)
// and in a new host (answers from the disk cache). Half the tree holds media, half holds none,
// as a home folder with a music collection and a photo collection does for the music page.
// Usage: bench_class_listing [files] [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <lumo/Lumo.h>

#include "host/HostInternals.h"
#include "host/UrlImpl.h"

namespace fs = std::filesystem;
using namespace LumoApi;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Files per folder and folders per level of the made tree.
constexpr size_t c_FilesPerFolder = 20;
constexpr size_t c_FoldersPerLevel = 10;

void MakeTree(const fs::path& top, const char* extension, size_t files)
{
    for (size_t folder = 0; folder * c_FilesPerFolder < files; ++folder) {
        const fs::path path = top / ("g" + std::to_string(folder / (c_FoldersPerLevel * c_FoldersPerLevel)))
            / ("f" + std::to_string(folder / c_FoldersPerLevel % c_FoldersPerLevel))
            / ("e" + std::to_string(folder % c_FoldersPerLevel));
        fs::create_directories(path);
        for (size_t file = 0; file < c_FilesPerFolder; ++file)
            std::ofstream(path / ("file" + std::to_string(file) + extension)) << "x";
    }
}

// Seconds to list the class folder of root; -1 on failure.
double ListOnce(HostInternals& host, const std::string& url, size_t& children)
{
    ApiRef<UrlApi> item = MakeUrl(url);
    const Clock::time_point start = Clock::now();
    ApiRef<ContainerApi> container = ApiRef<ContainerApi>::Adopt(
        static_cast<ContainerApi*>(host.MediaGroup().GetApi(ContainerApi::TypeId, item.Get())));
    if (!container)
        return -1;
    children = 0;
    for (ApiRef<UrlApi> child = ApiRef<UrlApi>::Adopt(container->GetFirst()); child;
         child = ApiRef<UrlApi>::Adopt(container->GetNext()))
        ++children;
    return LumoGetLastError() == ERROR_NO_MORE_ITEMS ? SecondsSince(start) : -1;
}

std::unique_ptr<HostInternals> NewHost(const fs::path& root, int generation)
{
    const fs::path program = root / ("program" + std::to_string(generation));
    fs::create_directories(program);
    for (const char* name : {"lumo-cache.so", "lumo-folders.so"})
        fs::copy_file(fs::path(LUMO_PROGRAM_DIR) / name, program / name);
    fs::copy_file(fs::path(LUMO_FIXTURE_DIR) / "fixture_media_class.so", program / "fixture_media_class.so");
    return std::make_unique<HostInternals>(program.string() + "/");
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const size_t files = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 20000;
    const size_t rounds = argc > 2 ? size_t(std::strtoul(argv[2], nullptr, 10)) : 3;
    std::vector<double> cold, warm, disk;
    std::printf("%zu files (half media), %zu rounds (seconds)\n", files, rounds);
    std::printf("%-8s %10s %12s %12s\n", "round", "first", "same host", "new host");
    for (size_t round = 0; round < rounds; ++round) {
        std::string root = (fs::temp_directory_path() / "lumo-bench-listing-XXXXXX").string();
        if (!mkdtemp(root.data()))
            return 1;
        setenv("HOME", root.c_str(), 1);
        setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        MakeTree(fs::path(root) / "tree" / "Music", ".tst", files / 2);
        MakeTree(fs::path(root) / "tree" / "Other", ".txt", files / 2);
        const std::string url = "lumotest-file://" + root + "/tree";

        size_t children = 0;
        double first = 0, again = 0, fresh = 0;
        {
            std::unique_ptr<HostInternals> host = NewHost(root, 1);
            first = ListOnce(*host, url, children);
            again = ListOnce(*host, url, children);
        }
        {
            std::unique_ptr<HostInternals> host = NewHost(root, 2);
            fresh = ListOnce(*host, url, children);
        }
        std::error_code ignored;
        fs::remove_all(root, ignored);
        if (first < 0 || again < 0 || fresh < 0 || children != 1) {
            std::fprintf(stderr, "listing failed (%zu children, last error %u)\n", children, LumoGetLastError());
            return 1;
        }
        std::printf("%-8zu %10.3f %12.4f %12.4f\n", round + 1, first, again, fresh);
        cold.push_back(first);
        warm.push_back(again);
        disk.push_back(fresh);
    }
    std::printf("%-8s %10.3f %12.4f %12.4f\n", "median", Median(cold), Median(warm), Median(disk));
    return 0;
}
