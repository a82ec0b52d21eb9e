#include <gtest/gtest.h>

#include <vector>

#include "server/ServerObjects.h"

namespace {

// Every answer builds objects for its page and drops them; whatever of them outlives the
// answer stays for good, and a client walking a large collection fills the memory with it.
TEST(ServerObjectsTest, AnItemTakesItsResourcesWithItWhenDropped)
{
    ContentIndex index;
    ChildEntry song;
    song.url = "lumomusic-file:///music/song.wav";
    song.title = "Song";
    song.kind = NodeKind::Song;
    ChildEntry photo;
    photo.url = "lumophotos-file:///photos/photo.jpg";
    photo.title = "Photo";
    photo.kind = NodeKind::Photo;
    index.ApplyListing(index.Music(), {song});
    index.ApplyListing(index.Photos(), {photo});

    auto songFacts = std::make_shared<ItemFacts>();
    songFacts->path = "/music/song.wav";
    songFacts->mime = "audio/x-wav";
    songFacts->sizeBytes = 1000;
    songFacts->sampleRateHz = 44100;
    songFacts->channels = 2;
    songFacts->lpcmMime = "audio/L16;rate=44100;channels=2";
    songFacts->lpcmBytes = 956;
    songFacts->embeddedCover = true;
    index.Music().children[0]->facts = songFacts;
    auto photoFacts = std::make_shared<ItemFacts>();
    photoFacts->path = "/photos/photo.jpg";
    photoFacts->mime = "image/jpeg";
    photoFacts->width = 4000;
    photoFacts->height = 3000;
    index.Photos().children[0]->facts = photoFacts;

    for (Node* node : {index.Music().children[0].get(), index.Photos().children[0].get()}) {
        RygelMediaContainer* parent = NewContainerObject(*node->parent, 1, nullptr);
        RygelMediaObject* object = NewItemObject(*node, parent, nullptr);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(std::string(rygel_media_object_get_id(object)), node->Id());

        std::vector<gpointer> resources;
        GeeList* list = rygel_media_object_get_resource_list(object);
        const int count = gee_collection_get_size(GEE_COLLECTION(list));
        for (int at = 0; at < count; ++at) {
            gpointer resource = gee_list_get(list, at);
            resources.push_back(resource);
            g_object_unref(resource);
        }
        g_object_unref(list);
        EXPECT_EQ(resources.size(), node->kind == NodeKind::Song ? 2u : 3u);
        for (gpointer& resource : resources)
            g_object_add_weak_pointer(G_OBJECT(resource), &resource);
        GObject* weakParent = G_OBJECT(parent);
        g_object_add_weak_pointer(weakParent, reinterpret_cast<gpointer*>(&weakParent));

        g_object_unref(object);
        g_object_unref(parent);
        for (gpointer resource : resources)
            EXPECT_EQ(resource, nullptr) << node->Id();
        EXPECT_EQ(weakParent, nullptr);
    }
}

} // namespace
