// Lists a 100,000-file music tree recursively through a real host, deciding every entry's
// content type as the picker does, and times it against find(1) stating every file once.
// Usage: bench_folders [runs [tree]]   (run it pinned: taskset -c 0 build/bin/bench_folders)
// A tree folder given is built there when missing and kept, for profiling runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "common/MruCache.h"
#include "host/HostInternals.h"
#include "host/ItemData.h"
#include "host/MediaItem.h"
#include "host/UrlBuilder.h"
#include "platform/System.h"

using namespace LumoApi;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int c_Artists = 40;
constexpr int c_AlbumsPerArtist = 25;
constexpr int c_FilesPerAlbum = 100;

const char* const c_artistWords[] = {"The Velvet Owls",
    "Ana L\xC3\xBA"
    "cia Trio",
    "\xE6\x9D\xB1\xE4\xBA\xAC Strings", "Zo\xC3\xAB & the Foxes", "DJ N\xC3\xB8rd", "Orchestre de la Lune",
    "Kid Polaroid",
    "M\xC3\xB6tor Bl\xC3\xBC"
    "e"};
const char* const c_titleWords[] = {"Intro", "Midnight", "Letters (Live)", "Blue Hour", "Caf\xC3\xA9 Song",
    "Don't Look Back", "Paper Boats", "Rain, Again", "Outro [Remastered 2011]", "Sehnsucht"};
const char* const c_extensions[] = {".mp3", ".mp3", ".mp3", ".flac", ".m4a", ".ogg"};

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// User and system time of this process (RUSAGE_SELF) or of its waited-for children, in
// seconds: on a busy machine it moves less than the wall clock.
double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Timing {
    double wallSeconds;
    double cpuSeconds;
};

template <class Work>
Timing Measure(int who, Work&& work)
{
    const double cpu = CpuSeconds(who);
    const Clock::time_point start = Clock::now();
    work();
    return Timing{SecondsSince(start), CpuSeconds(who) - cpu};
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Artist/Album (Year)/NN - Title.ext, with covers and a playlist in every album.
void BuildTree(const std::filesystem::path& root)
{
    for (int artist = 0; artist < c_Artists; ++artist) {
        const std::string artistName
            = std::string(c_artistWords[artist % std::size(c_artistWords)]) + " " + std::to_string(artist);
        for (int album = 0; album < c_AlbumsPerArtist; ++album) {
            const std::filesystem::path folder = root / artistName
                / ("Album " + std::to_string(album) + " (" + std::to_string(1970 + (artist + album) % 50) + ")");
            std::filesystem::create_directories(folder);
            std::ofstream(folder / "cover.jpg");
            std::ofstream(folder / "back.jpg");
            std::ofstream(folder / "album.m3u");
            for (int track = 1; track <= c_FilesPerAlbum - 3; ++track) {
                char number[8];
                std::snprintf(number, sizeof number, "%02d", track);
                std::ofstream(folder
                    / (std::string(number) + " - " + c_titleWords[track % std::size(c_titleWords)]
                        + c_extensions[track % std::size(c_extensions)]));
            }
        }
    }
}

// The command a user scripts with: every module loaded, every entry's type and title printed.
void TimeTool(const std::filesystem::path& root)
{
    const std::string command = "'" + (std::filesystem::path(Platform::ProgramFolder()) / "lumo-publish").string()
        + "' ls -R '" + root.string() + "' > /dev/null";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "bench_folders: lumo-publish ls -R failed\n");
}

void TimeFind(const std::filesystem::path& root)
{
    const std::string command = "find '" + root.string() + "' -printf '%s %T@ %p\\n' > /dev/null";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "bench_folders: find failed\n");
}

ApiRef<UrlApi> FileUrl(const std::string& path)
{
    ApiRef<UrlBuilder> builder = ApiRef<UrlBuilder>::Adopt(new UrlBuilder());
    builder->SetScheme("file");
    builder->SetPath(path.c_str());
    return ApiRef<UrlApi>::Adopt(builder->GetUrl());
}

struct Listing {
    size_t entries = 0;
    size_t folders = 0;
};

// Depth first, every child's content type decided from its URL and lazily opened data, as the
// host's media group does for every item it meets.
Listing ListTree(HostInternals& host, const std::string& root)
{
    Listing listing;
    std::vector<ApiRef<UrlApi>> pending{FileUrl(root)};
    while (!pending.empty()) {
        ApiRef<UrlApi> url = std::move(pending.back());
        pending.pop_back();
        Container container(url);
        ++listing.folders;
        for (ApiRef<UrlApi> child = container.GetFirst(); child; child = container.GetNext()) {
            ++listing.entries;
            ApiRef<DataApi> data = OpenItemData(host.FileViews(), child.Get());
            if (host.FormatGroup().DecideContentType(child.Get(), data.Get()) == "x-container/folder")
                pending.push_back(std::move(child));
        }
    }
    return listing;
}

// The same walk without deciding content types: the listing's own share. Folders are known
// from a first walk.
size_t ListOnly(const std::vector<std::string>& folders)
{
    size_t entries = 0;
    for (const std::string& folder : folders) {
        Container container(FileUrl(folder));
        for (ApiRef<UrlApi> child = container.GetFirst(); child; child = container.GetNext())
            ++entries;
    }
    return entries;
}

// What the host's content-type cache costs on its own for the same URL texts: a lookup that
// misses and a store, as DecideContentType does for every item it meets the first time.
void CacheOnly(const std::vector<std::string>& texts)
{
    MruCache<std::string> decided(2000);
    std::string value;
    for (const std::string& text : texts) {
        if (!decided.Lookup(text, value))
            decided.Store(text, "audio/mpeg");
    }
}

std::vector<std::string> FoldersOf(const std::filesystem::path& root)
{
    std::vector<std::string> folders{root.string()};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_directory())
            folders.push_back(entry.path().string());
    }
    return folders;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::filesystem::path scratch = std::filesystem::temp_directory_path()
        / ("lumo-bench-folders-" + std::to_string(static_cast<long>(getpid())));
    const std::filesystem::path tree = argc > 2 ? std::filesystem::path(argv[2]) : scratch / "Music";
    const std::filesystem::path program = scratch / "program";
    // The host's data and cache folders go to the scratch folder, never the user's.
    setenv("XDG_DATA_HOME", (scratch / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (scratch / "cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);

    int status = 0;
    try {
        std::filesystem::create_directories(program);
        // The host with the folders module and the disk cache only: what is measured is theirs.
        for (const char* module : {"lumo-cache.so", "lumo-folders.so"})
            std::filesystem::copy_file(std::filesystem::path(Platform::ProgramFolder()) / module, program / module);
        if (!std::filesystem::exists(tree)) {
            std::printf("building %d folders x %d files in %s ...\n", c_Artists * c_AlbumsPerArtist, c_FilesPerAlbum,
                tree.c_str());
            BuildTree(tree);
        }

        HostInternals host(program.string());
        TimeFind(tree); // warms the caches for both
        ListTree(host, tree.string());

        const std::vector<std::string> folders = FoldersOf(tree);
        std::vector<Timing> findTimes;
        std::vector<Timing> hostTimes;
        std::vector<Timing> listTimes;
        std::vector<Timing> cacheTimes;
        std::vector<Timing> toolTimes;
        std::vector<std::string> texts;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(tree))
            texts.push_back(FileUrl(entry.path().string())->GetText());
        Listing listing;
        for (int run = 0; run < runs; ++run) {
            findTimes.push_back(Measure(RUSAGE_CHILDREN, [&] { TimeFind(tree); }));
            hostTimes.push_back(Measure(RUSAGE_SELF, [&] { listing = ListTree(host, tree.string()); }));
            listTimes.push_back(Measure(RUSAGE_SELF, [&] { ListOnly(folders); }));
            cacheTimes.push_back(Measure(RUSAGE_SELF, [&] { CacheOnly(texts); }));
            toolTimes.push_back(Measure(RUSAGE_CHILDREN, [&] { TimeTool(tree); }));
        }
        const auto wall = [](const std::vector<Timing>& timings) {
            std::vector<double> values;
            for (const Timing& timing : timings)
                values.push_back(timing.wallSeconds);
            return Median(values);
        };
        const auto cpu = [](const std::vector<Timing>& timings) {
            std::vector<double> values;
            for (const Timing& timing : timings)
                values.push_back(timing.cpuSeconds);
            return Median(values);
        };
        const double perEntry = 1e6 / double(listing.entries);
        std::printf("entries listed through the host: %zu in %zu folders; medians of %d runs\n", listing.entries,
            listing.folders, runs);
        std::printf("%-32s %9s %9s %12s\n", "", "wall s", "cpu s", "cpu us/entry");
        const auto row = [&](const char* what, const std::vector<Timing>& timings) {
            std::printf("%-32s %9.3f %9.3f %12.2f\n", what, wall(timings), cpu(timings), cpu(timings) * perEntry);
        };
        row("find -printf '%s %T@ %p\\n'", findTimes);
        row("host: list + content type", hostTimes);
        row("host: the listing alone", listTimes);
        row("host: content-type cache alone", cacheTimes);
        row("lumo-publish ls -R (all modules)", toolTimes);
        std::printf("ratio host / find: %.2f wall, %.2f cpu  (goal: 1.5 or less)\n", wall(hostTimes) / wall(findTimes),
            cpu(hostTimes) / cpu(findTimes));
        std::printf("ratio ls -R / find: %.2f wall, %.2f cpu\n", wall(toolTimes) / wall(findTimes),
            cpu(toolTimes) / cpu(findTimes));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_folders: %s\n", error.what());
        status = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return status;
}
