// Song details through the host's "DetailsApi" (every property the music module lists) against
// bare TagLib reading the same fields, over the same generated songs in the same run.
// Usage: taskset -c 0 bench_music [songs] [rounds]
//
// The songs are MP3s (ID3v2), FLACs (Vorbis comments) and WAVs (ID3v2 and INFO) in the
// proportion 3:1:1, silent and a few kilobytes long, so the files sit in the page cache and
// the numbers compare the work per song, not the disk. Each round starts a new host, so the
// content type of every song is decided again, as when a folder is first shown.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <lumo/Lumo.h>

#include "host/HostInternals.h"
#include "host/UrlBuilder.h"

using namespace LumoApi;

namespace {

using Clock = std::chrono::steady_clock;

void PutLe(std::string& out, uint64_t value, int bytes)
{
    for (int at = 0; at < bytes; ++at)
        out += char((value >> (8 * at)) & 0xFF);
}

std::string Mp3Bytes(int frames)
{
    std::string frame("\xFF\xFB\x90\x00", 4);
    frame.append(417 - 4, '\0');
    std::string out;
    for (int at = 0; at < frames; ++at)
        out += frame;
    return out;
}

std::string FlacBytes(uint64_t samples)
{
    std::string out = "fLaC";
    out += char(0x80);
    out += std::string("\x00\x00\x22\x10\x00\x10\x00", 7);
    out.append(6, '\0');
    const uint64_t packed = (uint64_t(44100) << 44) | (uint64_t(1) << 41) | (uint64_t(15) << 36) | samples;
    for (int at = 7; at >= 0; --at)
        out += char((packed >> (8 * at)) & 0xFF);
    out.append(16, '\0');
    out.append(8192, '\0'); // stands for audio frames, so the stream has a length
    return out;
}

std::string WavBytes(uint32_t frames)
{
    const uint32_t dataBytes = frames * 4;
    std::string out = "RIFF";
    PutLe(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    PutLe(out, 16, 4);
    PutLe(out, 1, 2);
    PutLe(out, 2, 2);
    PutLe(out, 44100, 4);
    PutLe(out, 44100 * 4, 4);
    PutLe(out, 4, 2);
    PutLe(out, 16, 2);
    out += "data";
    PutLe(out, dataBytes, 4);
    out.append(dataBytes, '\0');
    return out;
}

void SetTags(TagLib::Tag& tag, size_t index)
{
    const std::string n = std::to_string(index);
    tag.setTitle(TagLib::String("Song number " + n + " — naïve café", TagLib::String::UTF8));
    tag.setArtist(TagLib::String("Artist " + std::to_string(index % 97), TagLib::String::UTF8));
    tag.setAlbum(TagLib::String("Album " + std::to_string(index % 211), TagLib::String::UTF8));
    tag.setGenre("Rock");
    tag.setYear(unsigned(1960 + index % 60));
}

std::vector<std::string> MakeSongs(const std::string& folder, size_t count)
{
    std::vector<std::string> paths;
    for (size_t index = 0; index < count; ++index) {
        const int kind = int(index % 5);
        const std::string stem = folder + "/" + std::to_string(index / 100) + "/song " + std::to_string(index);
        std::filesystem::create_directories(std::filesystem::path(stem).parent_path());
        std::string path;
        if (kind < 3) {
            path = stem + ".mp3";
            std::ofstream(path, std::ios::binary) << Mp3Bytes(24);
            TagLib::MPEG::File file(path.c_str(), false);
            SetTags(*file.ID3v2Tag(true), index);
            file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers);
        } else if (kind == 3) {
            path = stem + ".flac";
            std::ofstream(path, std::ios::binary) << FlacBytes(441000);
            TagLib::FLAC::File file(path.c_str(), false);
            SetTags(*file.xiphComment(true), index);
            file.save();
        } else {
            path = stem + ".wav";
            std::ofstream(path, std::ios::binary) << WavBytes(4410);
            TagLib::RIFF::WAV::File file(path.c_str(), false);
            SetTags(*file.tag(), index);
            file.save();
        }
        paths.push_back(path);
    }
    return paths;
}

// Bare TagLib: every field the details show, through the library's own front door, with its
// default reading style or the fast one the module uses.
size_t ReadBare(const std::vector<std::string>& paths, TagLib::AudioProperties::ReadStyle style)
{
    size_t bytes = 0;
    for (const std::string& path : paths) {
        TagLib::FileRef file(path.c_str(), true, style);
        if (file.isNull())
            continue;
        if (const TagLib::Tag* tag = file.tag()) {
            bytes += tag->title().to8Bit(true).size() + tag->artist().to8Bit(true).size();
            bytes += tag->album().to8Bit(true).size() + tag->genre().to8Bit(true).size() + tag->year();
        }
        if (const TagLib::AudioProperties* properties = file.audioProperties())
            bytes += size_t(properties->lengthInMilliseconds() + properties->bitrate() + properties->sampleRate());
    }
    return bytes;
}

// Through the host: the details object of each song, every listed name and its value.
size_t ReadThroughHost(HostInternals& host, const std::vector<ApiRef<UrlApi>>& urls, size_t* failures)
{
    size_t bytes = 0;
    for (const ApiRef<UrlApi>& url : urls) {
        ApiRef<DetailsApi> details = ApiRef<DetailsApi>::Adopt(
            static_cast<DetailsApi*>(host.MediaGroup().GetApi(DetailsApi::TypeId, url.Get())));
        if (!details) {
            ++*failures;
            continue;
        }
        size_t names = 0;
        for (const char* name = details->GetFirstName(); name; name = details->GetNextName()) {
            const char* value = details->GetValue(name);
            bytes += value ? std::strlen(value) : 0;
            ++names;
        }
        if (names < 12)
            ++*failures;
    }
    return bytes;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    const size_t count = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 2000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;

    std::string root = (std::filesystem::temp_directory_path() / "lumo-bench-music-XXXXXX").string();
    if (!mkdtemp(root.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    // Never the user's own settings, cache or published set.
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        setenv(name, (root + "/home").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string program = root + "/program";
    std::filesystem::create_directories(program);
    std::filesystem::copy_file(LUMO_CACHE_MODULE, program + "/lumo-cache.so");
    std::filesystem::copy_file(LUMO_MUSIC_MODULE, program + "/lumo-music.so");

    std::printf("making %zu songs...\n", count);
    const std::vector<std::string> paths = MakeSongs(root + "/songs", count);
    std::vector<ApiRef<UrlApi>> urls;
    for (const std::string& path : paths) {
        ApiRef<UrlBuilder> builder = ApiRef<UrlBuilder>::Adopt(new UrlBuilder());
        builder->SetScheme("file");
        builder->SetPath(path.c_str());
        urls.push_back(ApiRef<UrlApi>::Adopt(builder->GetUrl()));
    }

    // A first pass of each fills the page cache and TagLib's and the host's one-time tables.
    ReadBare(paths, TagLib::AudioProperties::Average);
    size_t failures = 0;
    {
        HostInternals host(program);
        ReadThroughHost(host, urls, &failures);
    }
    if (failures) {
        std::fprintf(stderr, "%zu songs gave no details or too few\n", failures);
        return 1;
    }

    std::vector<double> bareRates;
    std::vector<double> fastRates;
    std::vector<double> hostRates;
    for (int round = 0; round < rounds; ++round) {
        Clock::time_point start = Clock::now();
        ReadBare(paths, TagLib::AudioProperties::Average);
        bareRates.push_back(double(count) / std::chrono::duration<double>(Clock::now() - start).count());
        start = Clock::now();
        ReadBare(paths, TagLib::AudioProperties::Fast);
        fastRates.push_back(double(count) / std::chrono::duration<double>(Clock::now() - start).count());

        HostInternals host(program);
        start = Clock::now();
        ReadThroughHost(host, urls, &failures);
        hostRates.push_back(double(count) / std::chrono::duration<double>(Clock::now() - start).count());
    }

    const double bare = Median(bareRates);
    const double fast = Median(fastRates);
    const double through = Median(hostRates);
    std::printf("%zu songs, median of %d rounds\n", count, rounds);
    std::printf("  bare TagLib (FileRef, all fields)        %9.0f songs/s  %7.3f ms/song\n", bare, 1000 / bare);
    std::printf("  bare TagLib (FileRef, fast style)        %9.0f songs/s  %7.3f ms/song\n", fast, 1000 / fast);
    std::printf("  host DetailsApi (every listed value)     %9.0f songs/s  %7.3f ms/song\n", through, 1000 / through);
    std::printf("  host / bare                              %9.1f %%   (goal: at least 80 %%)\n", 100 * through / bare);
    std::printf("  host / bare fast                         %9.1f %%\n", 100 * through / fast);

    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return failures ? 1 : 0;
}
