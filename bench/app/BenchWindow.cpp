// Opens the main window over the real modules and a music folder of 100,000 files
// (40 artists, 25 albums each, 100 files per album) plus one flat folder of 20,000 files,
// and times what a person waits for: the tree's first level after the window shows, an
// artist level, an album level, and the flat folder. While each node opens, a 10 ms timer
// on the interface thread measures the longest stretch in which the window could not paint.
// Usage: bench_window [collection folder]   (built there when missing and kept)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "app/LumoConnectPublisher.h"
#include "picker/MediaPageForm.h"
#include "picker/MediaTreeForm.h"

namespace fs = std::filesystem;

namespace {

constexpr int c_Artists = 40;
constexpr int c_AlbumsPerArtist = 25;
constexpr int c_FilesPerAlbum = 100;
constexpr int c_FlatFiles = 20000;

void Touch(const fs::path& path)
{
    std::ofstream(path, std::ios::binary) << "ID3";
}

void BuildCollection(const fs::path& root)
{
    const fs::path music = root / "home" / "Music";
    if (fs::exists(music / "Flat"))
        return;
    for (int artist = 0; artist < c_Artists; ++artist) {
        for (int album = 0; album < c_AlbumsPerArtist; ++album) {
            const fs::path folder = music / ("Artist " + std::to_string(artist)) / ("Album " + std::to_string(album));
            fs::create_directories(folder);
            for (int track = 0; track < c_FilesPerAlbum; ++track)
                Touch(folder / ("Track " + std::to_string(track) + ".mp3"));
        }
    }
    fs::create_directories(music / "Flat");
    for (int track = 0; track < c_FlatFiles; ++track)
        Touch(music / "Flat" / ("Song " + std::to_string(track) + ".mp3"));
    fs::create_directories(root / "config");
    std::ofstream(root / "config" / "user-dirs.dirs") << "XDG_MUSIC_DIR=\"" << music.string() << "\"\n";
}

// Runs the event loop and the window's idle passes until condition holds; the seconds it took
// and the longest gap between two ticks of a 10 ms timer.
struct Wait {
    double seconds;
    double longestStallMs;
};

Wait WaitFor(TLumoConnectPublisher& window, const std::function<void()>& start, const std::function<bool()>& done)
{
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    double longest = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, double(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.restart();
    });
    ticker.start();
    clock.start();
    sinceTick.start();
    start();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        window.RunIdle();
        if (clock.elapsed() > 120000) {
            std::fprintf(stderr, "gave up after 120 s\n");
            break;
        }
    }
    longest = std::max(longest, double(sinceTick.nsecsElapsed()) / 1e6);
    return Wait{double(clock.nsecsElapsed()) / 1e9, longest};
}

QTreeWidgetItem* Child(QTreeWidget& tree, QTreeWidgetItem* parent, const QString& text)
{
    const int count = parent ? parent->childCount() : tree.topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* node = parent ? parent->child(i) : tree.topLevelItem(i);
        if (node->text(0) == text)
            return node;
    }
    return nullptr;
}

void Report(const char* what, const Wait& wait)
{
    std::printf("%-44s %8.3f s   longest stall %7.1f ms\n", what, wait.seconds, wait.longestStallMs);
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "lumo-bench-window";
    std::printf("collection: %s\n", root.c_str());
    BuildCollection(root);
    setenv("HOME", (root / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);

    QApplication application(argc, argv);
    TLumoConnectPublisher window;
    QTreeWidget* tree = nullptr;
    QTreeWidgetItem* music = nullptr;
    Report("window shown, first tree level listed",
        WaitFor(
            window, [&] { window.show(); },
            [&] {
                if (!window.MusicPage())
                    return false;
                tree = window.MusicPage()->MediaTree->Tree;
                music = Child(*tree, nullptr, "Music");
                return music != nullptr;
            }));
    Report("Music opened: 41 folders",
        WaitFor(
            window, [&] { music->setExpanded(true); }, [&] { return Child(*tree, music, "Flat") != nullptr; }));
    QTreeWidgetItem* artist = Child(*tree, music, "Artist 7");
    Report("an artist opened: 25 album folders",
        WaitFor(
            window, [&] { artist->setExpanded(true); }, [&] { return artist->childCount() == c_AlbumsPerArtist; }));
    QTreeWidgetItem* flat = Child(*tree, music, "Flat");
    Report("flat folder opened: 20,000 files",
        WaitFor(
            window, [&] { flat->setExpanded(true); },
            // Files are not tree nodes: opening waits for the
            // listing before it returns.
            [] { return true; }));
    // What every idle pass costs the interface thread once these nodes are open, without the
    // pass's own sleep: the pages' idle calls.
    constexpr int c_Passes = 1000;
    QElapsedTimer pages;
    pages.start();
    for (int pass = 0; pass < c_Passes; ++pass) {
        window.MusicPage()->Idle();
        window.PhotosPage()->Idle();
    }
    std::printf(
        "pages' idle calls, %d tree nodes open                %7.1f us per pass\n",
        [&] {
            int nodes = 0;
            for (QTreeWidgetItemIterator it(tree); *it; ++it)
                ++nodes;
            return nodes;
        }(),
        double(pages.nsecsElapsed()) / 1e3 / c_Passes);
    window.close();
    return 0;
}
