#include <gtest/gtest.h>

#include <glib.h>

#include "server/HttpRange.h"

namespace {

// Ranges the engine reads wrong are turned into ones it reads right or answered here; the rest
// stay the engine's.
TEST(HttpRangeTest, RangesAreJudgedAgainstTheResourceSize)
{
    struct Case {
        const char* header;
        int64_t size;
        RangeVerdict::Kind kind;
        const char* rewritten;
    };
    const Case cases[] = {
        {"bytes=-0", 1000, RangeVerdict::Unsatisfiable, ""},
        {"bytes=-0", -1, RangeVerdict::Unsatisfiable, ""},
        {" bytes= -00 ", 1000, RangeVerdict::Unsatisfiable, ""},
        {"bytes=1000-", 1000, RangeVerdict::Unsatisfiable, ""},
        {"bytes=1000-2000", 1000, RangeVerdict::Unsatisfiable, ""},
        {"bytes=0-", 0, RangeVerdict::Unsatisfiable, ""},
        {"bytes=-10", 1000, RangeVerdict::Rewrite, "bytes=990-"},
        {"bytes=-1000", 1000, RangeVerdict::Rewrite, "bytes=0-"},
        {"bytes=-5000", 1000, RangeVerdict::Rewrite, "bytes=0-"},
        {"bytes=-10", -1, RangeVerdict::Drop, ""},
        {"bytes=999-", 1000, RangeVerdict::Keep, ""},
        {"bytes=0-99", 1000, RangeVerdict::Keep, ""},
        {"bytes=5000-", -1, RangeVerdict::Keep, ""},
        // Several ranges, other units, broken syntax and numbers too big to read: the
        // engine's to refuse.
        {"bytes=0-1,5-6", 1000, RangeVerdict::Keep, ""},
        {"pages=1-2", 1000, RangeVerdict::Keep, ""},
        {"bytes=abc", 1000, RangeVerdict::Keep, ""},
        {"bytes=-", 1000, RangeVerdict::Keep, ""},
        {"bytes=--5", 1000, RangeVerdict::Keep, ""},
        {"bytes=-99999999999999999999999", 1000, RangeVerdict::Keep, ""},
        {"bytes=99999999999999999999999-", 1000, RangeVerdict::Keep, ""},
        {"", 1000, RangeVerdict::Keep, ""},
    };
    for (const Case& c : cases) {
        const RangeVerdict verdict = JudgeRange(c.header, c.size);
        EXPECT_EQ(verdict.kind, c.kind) << c.header << " of " << c.size;
        EXPECT_EQ(verdict.header, c.rewritten) << c.header << " of " << c.size;
    }
}

TEST(HttpRangeTest, MediaPathsNameTheirObjectAndResource)
{
    const std::string id = "music/0/Folder Name/song.mp3";
    gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(id.data()), id.size());
    gchar* escaped = g_uri_escape_string(encoded, nullptr, false);
    const std::string item = std::string("/LumoServer/i/") + escaped;
    g_free(escaped);
    g_free(encoded);

    std::string objectId, resource;
    ASSERT_TRUE(ParseResourcePath(item + "/res/primary.mp3", objectId, resource));
    EXPECT_EQ(objectId, id);
    EXPECT_EQ(resource, "primary");
    ASSERT_TRUE(ParseResourcePath(item + "/res/lpcm", objectId, resource));
    EXPECT_EQ(resource, "lpcm");
    ASSERT_TRUE(ParseResourcePath(item + "/th/0.jpg", objectId, resource));
    EXPECT_EQ(resource, "th");

    for (const std::string path : {item, item + "/res", item + "/res/primary.mp3/more", item + "/sub/0.srt",
             std::string("/LumoServer/x/") + "bXVzaWM=/res/primary.mp3", std::string("/LumoServer/i//res/primary.mp3"),
             std::string("/LumoServer/i/%%%/res/primary.mp3"), std::string("")}) {
        EXPECT_FALSE(ParseResourcePath(path, objectId, resource)) << path;
    }
}

} // namespace
