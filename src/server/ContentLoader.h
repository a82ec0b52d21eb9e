// What workers read from the host and its modules for the server: listings of containers,
// the facts of items, and the pictures clients ask for. Nothing here touches Rygel or the
// index; everything runs on worker threads, each call with its own URL objects.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "server/ContentIndex.h"
#include "server/FactsStore.h"

class HostInternals;

enum class MediaClassKind { Music, Photos };

struct Listing {
    bool ok = false;
    std::string error;
    std::vector<ChildEntry> entries;
    // Entries left out because their file is gone; they may come back.
    int missing = 0;
};

// The children of the container at url that the server shows for kind: songs, playlists
// and folders for music; photos and folders for photos. Missing (broken) items and anything
// of another class are left out. cancel (may be null) stops it between children.
Listing ListContainer(
    HostInternals& host, const std::string& url, MediaClassKind kind, const std::atomic<bool>* cancel);

// One child as a listing of a container of kind shows it; false when it is not shown (not of
// the class, gone, unreadable). For what a module reports about one child.
bool ReadChildEntry(const std::string& url, MediaClassKind kind, ChildEntry& entry);

// The published set of a class, in publishing order.
Listing ListPublished(HostInternals& host, MediaClassKind kind);

// The local file of a class URL ("lumomusic-file:///…", "file:///…"); empty when the URL
// names no local file.
std::string LocalPathOfItem(const std::string& url);

// The facts of a song or photo; null when the item cannot be read (gone since its listing).
// identity (may be null) receives the file as it was before its details were read.
std::shared_ptr<ItemFacts> ReadFacts(
    HostInternals& host, const std::string& url, NodeKind kind, FileIdentity* identity = nullptr);

// A JPEG of the photo at most width x height, from the photos module's thumbnailer (and its
// disk cache); null when it cannot be made.
std::shared_ptr<const std::string> MakePhotoPicture(const std::string& url, int width, int height);

// The song's cover as a JPEG of at most side x side: the picture embedded in the song when
// its module offers one, else the cover file beside it; null when there is none.
std::shared_ptr<const std::string> MakeAlbumArt(const std::string& url, const ItemFacts& facts, int side);

// The cover file beside a song ("cover.jpg", "folder.jpg" in any case, or PNG); empty when
// there is none.
std::string FindCoverFile(const std::string& songPath);
