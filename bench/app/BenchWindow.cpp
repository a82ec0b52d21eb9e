// Opens the main window over the real modules and a music folder of 100,000 files
// (40 artists, 25 albums each, 100 files per album) plus one flat folder of 20,000 files,
// and times what a person waits for: the tree's first level after the window shows, an
// artist level, an album level, and the flat folder. While each node opens, a 10 ms timer
// on the interface thread measures the longest stretch in which the window could not paint.
// Then the large sets: the flat folder's 20,000 songs in the song list and listed again, and
// the published list while 10,000 and then 20,000 of them are published (from the moment the
// store has them until the rows show) and when that set is listed again.
// Usage: bench_window [collection folder]   (built there when missing and kept)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <lumo/Lumo.h>

#include "app/LumoConnectPublisher.h"
#include "host/HostInternals.h"
#include "host/MediaClassGroup.h"
#include "host/MediaItem.h"
#include "host/UrlImpl.h"
#include "picker/EnumerateContainer.h"
#include "picker/MediaPageForm.h"
#include "picker/MediaTreeForm.h"
#include "picker/MusicItemsForm.h"
#include "picker/MyMediaItem.h"
#include "picker/PublishedListForm.h"
#include "picker/UpdateQueue.h"

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

// Counts what a container tells its subscribers, on whatever thread it tells them.
class CountingCallback : public LumoApi::RefNeutral<LumoApi::ContainerCallbackApi> {
public:
    void LUMO_CALL OnNotify(LumoApi::ContainerApi*, int32_t event, LumoApi::UrlApi*) override
    {
        if (event == LumoApi::c_ChildAdded)
            added.fetch_add(1);
    }
    std::atomic<size_t> added{0};
};

// The children of a container as a listing delivers them.
ChildList ListOf(const LumoApi::ApiRef<LumoApi::UrlApi>& container)
{
    EnumerateContainer listing(container);
    while (!listing.IsFinished())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::unique_ptr<ChildList> children = listing.TakeChildren();
    return children ? *children : ChildList();
}

// Milliseconds view takes to apply a listing of container.
double Relist(QObject* view, const LumoApi::ApiRef<LumoApi::UrlApi>& container, const ChildList& listing)
{
    QueuedEvent event(std::make_unique<UpdateInfo>(Enumerated, container, std::make_unique<ChildList>(listing)));
    QElapsedTimer clock;
    clock.start();
    QCoreApplication::sendEvent(view, &event);
    return double(clock.nsecsElapsed()) / 1e6;
}

// Publishes items[from, to) as the page's loop does, one after another on the interface thread.
double PublishRange(MediaClass& media, const ChildList& items, size_t from, size_t to)
{
    QElapsedTimer clock;
    clock.start();
    for (size_t index = from; index < to; ++index)
        media.Publish(MakeUrl(items[index]).Get());
    return double(clock.nsecsElapsed()) / 1e9;
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
    MediaClass& musicClass = window.Host().MediaClasses().ById("LumoMusic");
    // A run that stopped early leaves its published set behind.
    for (const std::string& entry : ListOf(musicClass.SecondRoot().Url()))
        musicClass.Unpublish(MakeUrl(entry).Get());
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

    // The song list with the flat folder, and the same folder listed again.
    TMediaPage& page = *window.MusicPage();
    auto* songs = qobject_cast<TMusicItems*>(page.ItemsView);
    const LumoApi::ApiRef<LumoApi::UrlApi> flatUrl = page.MediaTree->ItemOfNode(flat)->Url();
    const ChildList flatSongs = ListOf(flatUrl);
    Report("song list: the flat folder's 20,000 files shown",
        WaitFor(
            window, [&] { tree->setCurrentItem(flat); }, [&] { return songs->List->count() == c_FlatFiles; }));
    ChildList fewer(flatSongs.begin() + 1, flatSongs.end());
    std::printf("song list: 20,000 files listed again, unchanged   %9.1f ms\n", Relist(songs, flatUrl, flatSongs));
    std::printf("song list: listed again without its first file  %9.1f ms\n", Relist(songs, flatUrl, fewer));
    std::printf("song list: listed again with it back             %9.1f ms\n", Relist(songs, flatUrl, flatSongs));

    // Publishing a large selection: the store has them, then the list. A set grows over time in
    // no particular order; a fixed shuffle stands for that.
    TPublishedList& published = *page.PublishedList;
    ChildList toPublish = flatSongs;
    std::shuffle(toPublish.begin(), toPublish.end(), std::mt19937(13));
    // A subscriber of our own hears what the list hears, when the watcher tells it.
    CountingCallback heard;
    musicClass.SecondRoot().Interface()->Subscribe(&heard, 0);
    auto publishBatch = [&](const char* what, size_t from, size_t to) {
        heard.added = 0;
        const double store = PublishRange(musicClass, toPublish, from, to);
        QElapsedTimer since;
        since.start();
        double allHeardMs = -1;
        const Wait wait = WaitFor(
            window, [] {},
            [&] {
                if (allHeardMs < 0 && heard.added.load() >= to - from)
                    allHeardMs = double(since.nsecsElapsed()) / 1e6;
                return size_t(published.List->count()) == to;
            });
        std::printf("published list: %s into the store %8.3f s\n", what, store);
        std::printf("  the watcher had told of them all after           %8.1f ms\n", allHeardMs);
        Report("  the list showed them all after", wait);
        std::printf("%-44s %8d\n", "  rows shown by then", published.List->count());
    };
    publishBatch("10,000 entries      ", 0, 10000);
    publishBatch("10,000 more (20,000)", 10000, toPublish.size());
    musicClass.SecondRoot().Interface()->Unsubscribe(&heard);

    // Where a row's time goes: a list of its own makes 1,000 rows from records.
    {
        const ChildList some = ListOf(musicClass.SecondRoot().Url());
        TPublishedList spare(nullptr, page, musicClass, window.Queue(), nullptr, nullptr);
        QElapsedTimer clock;
        clock.start();
        constexpr size_t c_Rows = 1000;
        for (size_t index = 0; index < c_Rows; ++index) {
            QueuedEvent added(std::make_unique<UpdateInfo>(ChildAdded, MakeUrl(some[index])));
            QCoreApplication::sendEvent(&spare, &added);
        }
        std::printf("published list: a row made from its record        %8.1f us\n",
            double(clock.nsecsElapsed()) / 1e3 / c_Rows);
    }
    // And the road there: idle passes handing records to a view that does nothing with them.
    {
        QObject sink;
        constexpr size_t c_Records = 10000;
        for (size_t index = 0; index < c_Records; ++index)
            window.Queue().AddItem(&sink, std::make_unique<UpdateInfo>(ChildAdded, MakeUrl(toPublish[index])));
        QElapsedTimer clock;
        clock.start();
        int passes = 0;
        while (window.Queue().Count()) {
            window.RunIdle();
            QCoreApplication::sendPostedEvents(&sink);
            ++passes;
        }
        std::printf("delivery: 10,000 records in %d idle passes       %8.1f us a record\n", passes,
            double(clock.nsecsElapsed()) / 1e3 / c_Records);
    }
    const LumoApi::ApiRef<LumoApi::UrlApi> publishedUrl = musicClass.SecondRoot().Url();
    const ChildList entries = ListOf(publishedUrl);
    // The first listing adds whatever rows had not come yet; the second finds all 20,000.
    std::printf(
        "published list: listed, the missing rows added   %9.1f ms\n", Relist(&published, publishedUrl, entries));
    std::printf(
        "published list: 20,000 rows listed again         %9.1f ms\n", Relist(&published, publishedUrl, entries));
    ChildList reversed(entries.rbegin(), entries.rend());
    std::printf(
        "published list: the same in reverse order        %9.1f ms\n", Relist(&published, publishedUrl, reversed));

    window.close();
    for (const std::string& entry : ListOf(publishedUrl))
        musicClass.Unpublish(MakeUrl(entry).Get());
    return 0;
}
