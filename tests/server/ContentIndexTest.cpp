#include <gtest/gtest.h>

#include "server/ContentIndex.h"

namespace {

ChildEntry Entry(const std::string& url, NodeKind kind = NodeKind::Song, const std::string& title = "")
{
    ChildEntry entry;
    entry.url = url;
    entry.kind = kind;
    entry.title = title.empty() ? url.substr(url.rfind('/') + 1) : title;
    return entry;
}

std::vector<std::string> Titles(const Node& node)
{
    std::vector<std::string> titles;
    for (const auto& child : node.children)
        titles.push_back(child->title);
    return titles;
}

TEST(ContentIndexTest, IdsComeFromWhatTheItemIsNotFromWhenItWasSeen)
{
    ContentIndex first;
    ContentIndex second;
    first.ApplyListing(first.Music(), {Entry("lumomusic-file:///a.mp3"), Entry("lumomusic-file:///b.mp3")});
    // Another run, another publishing order, one more entry: the same items keep their ids.
    second.ApplyListing(second.Music(),
        {Entry("lumomusic-file:///new.mp3"), Entry("lumomusic-file:///b.mp3"), Entry("lumomusic-file:///a.mp3")});
    EXPECT_EQ(first.Music().children[0]->Id(), second.Music().children[2]->Id());
    EXPECT_EQ(first.Music().children[1]->Id(), second.Music().children[1]->Id());
    EXPECT_EQ(first.Music().children[0]->Id(), "music/" + ContentIndex::Segment("lumomusic-file:///a.mp3"));
    EXPECT_NE(first.Music().children[0]->Id(), first.Music().children[1]->Id());
}

TEST(ContentIndexTest, ChildrenThatStayKeepTheirListingsAndFacts)
{
    ContentIndex index;
    index.ApplyListing(
        index.Music(), {Entry("lumomusic-file:///Album", NodeKind::Folder), Entry("lumomusic-file:///x.mp3")});
    Node* album = index.Music().children[0].get();
    index.ApplyListing(*album, {Entry("lumomusic-file:///Album/1.mp3")});
    album->children[0]->facts = std::make_shared<ItemFacts>();
    const std::string songId = album->children[0]->Id();

    std::vector<std::string> removed;
    const bool changed
        = index.ApplyListing(index.Music(), {Entry("lumomusic-file:///Album", NodeKind::Folder)}, &removed);
    EXPECT_TRUE(changed);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(index.Find(removed[0]), nullptr);
    ASSERT_EQ(index.Find(songId), album->children[0].get());
    EXPECT_TRUE(album->listed);
    EXPECT_NE(album->children[0]->facts, nullptr);
}

TEST(ContentIndexTest, RemovingAFolderForgetsEverythingBelowIt)
{
    ContentIndex index;
    index.ApplyListing(index.Music(), {Entry("lumomusic-file:///A", NodeKind::Folder)});
    Node* folder = index.Music().children[0].get();
    index.ApplyListing(*folder, {Entry("lumomusic-file:///A/B", NodeKind::Folder)});
    Node* inner = folder->children[0].get();
    index.ApplyListing(*inner, {Entry("lumomusic-file:///A/B/c.mp3")});
    const std::string deepest = inner->children[0]->Id();
    std::vector<std::string> removed;
    index.ApplyListing(index.Music(), {}, &removed);
    EXPECT_EQ(removed.size(), 3u);
    EXPECT_EQ(index.Find(deepest), nullptr);
}

// The generation tells whether orders worked out from a container's children still hold.
TEST(ContentIndexTest, ChangesAreToldOnlyWhenThereAreSome)
{
    ContentIndex index;
    uint64_t generation = index.Generation();
    const auto movedOn = [&] {
        const bool moved = index.Generation() != generation;
        generation = index.Generation();
        return moved;
    };
    const std::vector<ChildEntry> entries = {Entry("u:/1"), Entry("u:/2")};
    EXPECT_TRUE(index.ApplyListing(index.Photos(), entries));
    EXPECT_TRUE(movedOn());
    EXPECT_FALSE(index.ApplyListing(index.Photos(), entries));
    EXPECT_FALSE(movedOn());
    EXPECT_TRUE(index.ApplyListing(index.Photos(), {Entry("u:/2"), Entry("u:/1")}));
    EXPECT_TRUE(movedOn());
    EXPECT_TRUE(index.ApplyListing(index.Photos(), {Entry("u:/2"), Entry("u:/1", NodeKind::Song, "renamed")}));
    EXPECT_TRUE(movedOn());
    EXPECT_EQ(Titles(index.Photos()), (std::vector<std::string>{"2", "renamed"}));

    index.Retitle(*index.Photos().children[0], "two");
    EXPECT_TRUE(movedOn());
    EXPECT_EQ(Titles(index.Photos()), (std::vector<std::string>{"two", "renamed"}));
    ASSERT_NE(index.InsertChild(index.Photos(), Entry("u:/3"), 2), nullptr);
    EXPECT_TRUE(movedOn());
    EXPECT_TRUE(index.RemoveChild(index.Photos(), "u:/3"));
    EXPECT_TRUE(movedOn());
    index.Forget(index.Photos());
    EXPECT_TRUE(movedOn());
}

TEST(ContentIndexTest, ASongListedTwiceGetsTwoIds)
{
    ContentIndex index;
    index.ApplyListing(index.Music(), {Entry("pl:/list", NodeKind::Playlist)});
    Node* playlist = index.Music().children[0].get();
    index.ApplyListing(*playlist, {Entry("f:/a"), Entry("f:/b"), Entry("f:/a")});
    ASSERT_EQ(playlist->children.size(), 3u);
    EXPECT_NE(playlist->children[0]->Id(), playlist->children[2]->Id());
    EXPECT_EQ(index.Find(playlist->children[2]->Id()), playlist->children[2].get());
}

TEST(ContentIndexTest, ContainersThatRepeatAnAncestorAreLeftOut)
{
    ContentIndex index;
    ChildEntry folder = Entry("lumomusic-file:///A", NodeKind::Folder);
    folder.fileKey = "1:10";
    index.ApplyListing(index.Music(), {folder, Entry("pl:/self", NodeKind::Playlist)});
    Node* a = index.Music().children[0].get();
    ChildEntry link = Entry("lumomusic-file:///A/link-to-A", NodeKind::Folder);
    link.fileKey = "1:10";
    index.ApplyListing(*a, {link, Entry("lumomusic-file:///A/song.mp3")});
    EXPECT_EQ(Titles(*a), std::vector<std::string>{"song.mp3"});
    Node* self = index.Music().children[1].get();
    index.ApplyListing(*self, {Entry("pl:/self", NodeKind::Playlist), Entry("f:/x")});
    EXPECT_EQ(Titles(*self), std::vector<std::string>{"x"});
}

TEST(ContentIndexTest, AncestorIdsWalkDownFromTheClass)
{
    EXPECT_EQ(ContentIndex::AncestorIds("music/a/b"), (std::vector<std::string>{"music", "music/a"}));
    EXPECT_EQ(ContentIndex::AncestorIds("photos/a"), std::vector<std::string>{"photos"});
    EXPECT_TRUE(ContentIndex::AncestorIds("music").empty());
    EXPECT_TRUE(ContentIndex::AncestorIds("videos/a").empty());
    EXPECT_TRUE(ContentIndex::AncestorIds("").empty());
    EXPECT_TRUE(ContentIndex::AncestorIds("musicx/a").empty());
}

} // namespace

// A file added to or removed from a folder of thousands is put in place on its own: the ids,
// listings and facts of the others stay, and the id is the one a whole listing would give.
TEST(ContentIndexTest, SingleChildrenComeAndGoInPlace)
{
    ContentIndex index;
    index.ApplyListing(index.Music(), {Entry("lumomusic-file:///F", NodeKind::Folder)});
    Node* folder = index.Music().children[0].get();
    index.ApplyListing(*folder,
        {Entry("lumomusic-file:///F/a.mp3"), Entry("lumomusic-file:///F/Sub", NodeKind::Folder),
            Entry("lumomusic-file:///F/c.mp3")});
    Node* sub = folder->children[1].get();
    index.ApplyListing(*sub, {Entry("lumomusic-file:///F/Sub/deep.mp3")});
    folder->children[0]->facts = std::make_shared<ItemFacts>();
    const std::string deepId = sub->children[0]->Id();

    Node* added = index.InsertChild(*folder, Entry("lumomusic-file:///F/b.mp3"), 1);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(Titles(*folder), (std::vector<std::string>{"a.mp3", "b.mp3", "Sub", "c.mp3"}));
    EXPECT_EQ(index.Find(added->Id()), added);
    EXPECT_EQ(added->parent, folder);
    ContentIndex listed;
    listed.ApplyListing(listed.Music(), {Entry("lumomusic-file:///F", NodeKind::Folder)});
    listed.ApplyListing(*listed.Music().children[0], {Entry("lumomusic-file:///F/b.mp3")});
    EXPECT_EQ(added->Id(), listed.Music().children[0]->children[0]->Id());
    EXPECT_NE(folder->children[0]->facts, nullptr);

    // Told twice, or past the end: no second node, and the end is the end.
    EXPECT_EQ(index.InsertChild(*folder, Entry("lumomusic-file:///F/b.mp3"), 0), nullptr);
    ASSERT_NE(index.InsertChild(*folder, Entry("lumomusic-file:///F/z.mp3"), 99), nullptr);
    EXPECT_EQ(folder->children.back()->title, "z.mp3");
    // A folder that is its own ancestor (a link back up) stays out.
    ChildEntry loop = Entry("lumomusic-file:///F/loop", NodeKind::Folder);
    loop.url = "lumomusic-file:///F";
    EXPECT_EQ(index.InsertChild(*folder, loop, 0), nullptr);

    std::vector<std::string> removed;
    EXPECT_TRUE(index.RemoveChild(*folder, "lumomusic-file:///F/Sub", &removed));
    EXPECT_EQ(removed.size(), 2u);
    EXPECT_EQ(index.Find(deepId), nullptr);
    EXPECT_EQ(Titles(*folder), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3", "z.mp3"}));
    EXPECT_FALSE(index.RemoveChild(*folder, "lumomusic-file:///F/Sub"));
    EXPECT_NE(index.Find(folder->children[0]->Id()), nullptr);
}

// Nodes keep neither their ids nor their whole URLs; both are made again from the path up to
// the class. What clients see must be what the texts were: the same ids, found only when
// written exactly so, and URLs whole again.
TEST(ContentIndexTest, IdsAndUrlsMadeFromTheTreeAreTheTextsTheyStandFor)
{
    ContentIndex index;
    const std::string folderUrl = "lumomusic-file:///M%C3%BCsik/Album";
    index.ApplyListing(index.Music(),
        {Entry(folderUrl, NodeKind::Folder), Entry("pl:/list", NodeKind::Playlist), Entry("lumomusic-file:///x.mp3")});
    Node* folder = index.Music().children[0].get();
    Node* playlist = index.Music().children[1].get();
    index.ApplyListing(*folder, {Entry(folderUrl + "/01 Intro.mp3"), Entry("lumomusic-file:///elsewhere/b.mp3")});
    index.ApplyListing(*playlist, {Entry("f:/a"), Entry("f:/b"), Entry("f:/a"), Entry("f:/a")});

    const std::string folderId = "music/" + ContentIndex::Segment(folderUrl);
    EXPECT_EQ(folder->Id(), folderId);
    EXPECT_EQ(folder->children[0]->Id(), folderId + "/" + ContentIndex::Segment(folderUrl + "/01 Intro.mp3"));
    EXPECT_EQ(folder->children[0]->Url(), folderUrl + "/01 Intro.mp3");
    EXPECT_EQ(folder->children[1]->Url(), "lumomusic-file:///elsewhere/b.mp3");
    EXPECT_TRUE(folder->children[0]->HasUrl(folderUrl + "/01 Intro.mp3"));
    for (const std::string& other : {folderUrl + "/01 Intro.mp", folderUrl + "01 Intro.mp3",
             folderUrl + "/x/01 Intro.mp3", "x" + folderUrl + "/01 Intro.mp3", std::string("01 Intro.mp3")})
        EXPECT_FALSE(folder->children[0]->HasUrl(other)) << other;
    const std::string playlistId = "music/" + ContentIndex::Segment("pl:/list");
    EXPECT_EQ(playlist->children[2]->Id(), playlistId + "/" + ContentIndex::Segment("f:/a") + ".2");
    EXPECT_EQ(playlist->children[3]->Id(), playlistId + "/" + ContentIndex::Segment("f:/a") + ".3");
    for (const Node* node : {folder, folder->children[0].get(), playlist->children[3].get(), &index.Photos()})
        EXPECT_EQ(index.Find(node->Id()), node) << node->Id();
    EXPECT_EQ(index.Find("0"), &index.Root());

    std::string upper = folder->children[0]->Id();
    for (char& c : upper)
        c = c >= 'a' && c <= 'f' ? char(c - 'a' + 'A') : c;
    const std::string song = ContentIndex::Segment("f:/a");
    for (const std::string& wrong :
        {upper, folderId + "/", "music//" + song, playlistId + "/" + song + ".1", playlistId + "/" + song + ".02",
            playlistId + "/" + song + ".", playlistId + "/" + song + "x", "photos/" + ContentIndex::Segment(folderUrl),
            "0/" + ContentIndex::Segment(folderUrl), folderId.substr(0, 20)})
        EXPECT_EQ(index.Find(wrong), nullptr) << wrong;

    // A removed node's id is told as it was, and no longer found.
    std::vector<std::string> removed;
    const std::string introId = folder->children[0]->Id();
    ASSERT_TRUE(index.RemoveChild(*folder, folderUrl + "/01 Intro.mp3", &removed));
    EXPECT_EQ(removed, std::vector<std::string>{introId});
    EXPECT_EQ(index.Find(introId), nullptr);
}
