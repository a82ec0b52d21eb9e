#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Exceptions.h"
#include "host/UrlEscape.h"

namespace {

TEST(UrlEscapeTest, EscapesOutsideTheSafeSet)
{
    const struct {
        std::string text;
        std::string_view safe;
        std::string escaped;
    } cases[] = {
        {" ", c_ComponentSafe, "%20"},
        {"\xE9", c_PathSafe, "%E9"},
        {"/:", c_ComponentSafe, "%2F%3A"},
        {"/:", c_PathSafe, "/:"},
        {"%&=?#+\\", c_PathSafe, "%25%26%3D%3F%23%2B%5C"},
        {std::string("a\0b", 3), c_ComponentSafe, "a%00b"},
        {"AZaz09$-_.!*'(),", c_ComponentSafe, "AZaz09$-_.!*'(),"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Escape(c.text, c.safe), c.escaped) << c.text;
}

TEST(UrlEscapeTest, EveryByteRoundTripsAndHighBytesAreAlwaysEscaped)
{
    for (int value = 0; value < 256; ++value) {
        const std::string byte(1, static_cast<char>(value));
        for (const std::string_view safe : {c_ComponentSafe, c_PathSafe}) {
            const std::string escaped = Escape(byte, safe);
            const bool keep = value < 128 && safe.find(byte[0]) != std::string_view::npos;
            EXPECT_EQ(escaped.size(), keep ? 1u : 3u) << "byte " << value;
            EXPECT_EQ(Unescape(escaped), byte) << "byte " << value;
        }
    }
}

TEST(UrlEscapeTest, Unescape)
{
    const std::pair<std::string, std::string> cases[]
        = {{"a%20b", "a b"}, {"%e9%E9", "\xE9\xE9"}, {"%G1", "\x01"}, {"%1G", "\x10"}, {"a+b", "a+b"}, {"", ""},
            {"/Music/Ana%20L%C3%BAcia/01 - x.mp3",
                "/Music/Ana L\xC3\xBA"
                "cia/01 - x.mp3"},
            {"tail%41", "tailA"}};
    for (const auto& [text, plain] : cases)
        EXPECT_EQ(Unescape(text), plain) << text;

    for (const char* text : {"%", "%4", "ab%4", "%41%"})
        EXPECT_THROW(Unescape(text), RangeError) << text;
    // The escape must end with the view, not with the buffer behind it.
    const std::string longer = "a%41";
    EXPECT_THROW(Unescape(std::string_view(longer).substr(0, 3)), RangeError);
}

TEST(UrlEscapeTest, SplitAndJoin)
{
    const struct {
        std::string text, scheme, host, path, query;
        bool roundTrips; // joining the parts gives back the text
    } cases[] = {
        {"file:///home/me/a.mp3", "file", "", "home/me/a.mp3", "", true},
        {"http://host", "http", "host", "", "", true},
        {"http://host/", "http", "host", "", "", false},
        {"s://h/p?q?r", "s", "h", "p", "q?r", true},
        {"s://h/a://b", "s", "h", "a://b", "", true},
        {"x?a://b/c", "", "", "x", "a://b/c", false},
        {"/a/b", "", "", "a/b", "", true},
        {"a/b", "", "", "a/b", "", false},
        {"//a", "", "", "/a", "", true},
        {"", "", "", "", "", true},
    };
    for (const auto& c : cases) {
        std::string_view scheme = "x", host = "x", path = "x", query = "x";
        SplitUrl(c.text, &scheme, &host, &path, &query);
        EXPECT_EQ(std::vector<std::string_view>({scheme, host, path, query}),
            std::vector<std::string_view>({c.scheme, c.host, c.path, c.query}))
            << c.text;
        EXPECT_EQ(JoinUrl(scheme, host, path, query) == c.text, c.roundTrips) << c.text;
    }
}

TEST(UrlEscapeTest, ParseQueryKeepsTheFirstValueAndSkipsEmptyPieces)
{
    const ParamList params = ParseQuery("b=2&&a=1&a=3");
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[0], ParamList::Param("b", "2"));
    EXPECT_EQ(params[1], ParamList::Param("a", "1"));
    EXPECT_EQ(BuildQuery(params), "a=1&b=2");

    // No "=", no value or no name: nothing to add.
    EXPECT_TRUE(ParseQuery("&&flag&a=&=x").empty());

    const ParamList odd = ParseQuery("a=b=c&n%3Dm=v%26w");
    EXPECT_EQ(*odd.Find("a"), "b=c");
    EXPECT_EQ(*odd.Find("n=m"), "v&w");
    EXPECT_EQ(BuildQuery(odd), "a=b%3Dc&n%3Dm=v%26w");

    EXPECT_THROW(ParseQuery("a=1&b=%4"), RangeError);
}

TEST(UrlEscapeTest, BuildQuerySortsIgnoringCase)
{
    ParamList params;
    params.Add("alpha", "1");
    params.Add("Beta", "2");
    params.Add("a b", "\xC3\xA9");
    EXPECT_EQ(BuildQuery(params), "a%20b=%C3%A9&alpha=1&Beta=2");
}

} // namespace
