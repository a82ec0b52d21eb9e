// The texts the module hands out: readable UTF-8 from any bytes, and the rate texts people read.
#include <gtest/gtest.h>

#include "MusicPaths.h"
#include "MusicText.h"

using namespace LumoMusic;

TEST(MusicTextTest, RatesReadAsPeopleWriteThem)
{
    const struct {
        int rateHz;
        const char* text;
    } rates[] = {
        {44100, "44.1 kHz"},
        {48000, "48 kHz"},
        {22050, "22.05 kHz"},
        {11025, "11.025 kHz"},
        {8000, "8 kHz"},
        {192000, "192 kHz"},
        {500, "500 Hz"},
        {0, ""},
        {-1, ""},
    };
    for (const auto& rate : rates)
        EXPECT_EQ(SampleRateText(rate.rateHz), rate.text) << rate.rateHz;
    EXPECT_EQ(BitRateText(320), "320 kbps");
    EXPECT_EQ(BitRateText(0), "");
}

TEST(MusicTextTest, AnyBytesBecomeReadableUtf8)
{
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"plain", "plain"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        {"caf\xE9", "caf\xC3\xA9"},                           // Latin-1
        {"\x93quoted\x94", "\xE2\x80\x9Cquoted\xE2\x80\x9D"}, // Windows-1252 quotes
        {"\xC3", "\xC3\x83"},                                 // a sequence cut short
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},     // an encoded surrogate is not UTF-8
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                     // nor an overlong "/"
        {"tab\there", "tab\xEF\xBF\xBDhere"},
        {"\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5"}, // beyond the BMP
        // Runs of plain ASCII end at a control, DEL or any byte above it.
        {"a\x7F"
         "b",
            "a\xEF\xBF\xBD"
            "b"},
        {"~\x80~ \xC3\xA9\x1F", "~\xE2\x82\xAC~ \xC3\xA9\xEF\xBF\xBD"},
    };
    for (const auto& item : cases) {
        const std::string text = ReadableText(item.bytes);
        EXPECT_EQ(text, item.text);
        EXPECT_TRUE(IsValidUtf8(text));
    }
}

TEST(MusicTextTest, TagValuesAreTrimmedAndBounded)
{
    EXPECT_EQ(CleanTagText("  Title\0with NUL  "), "Title");
    EXPECT_EQ(CleanTagText(std::string("  Title\0with NUL  ", 18)), "Title with NUL");
    EXPECT_EQ(CleanTagText("\t\r\n "), "");
    EXPECT_EQ(CleanTagText("line one\nline two"), "line one line two");

    // Cut on a character boundary: "é" is two bytes, so 7 bytes hold three of them.
    EXPECT_EQ(CleanTagText("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 7), "\xC3\xA9\xC3\xA9\xC3\xA9");
    const std::string huge(1 << 20, 'x');
    EXPECT_EQ(CleanTagText(huge).size(), c_MaxValueBytes);
}

TEST(MusicTextTest, FileUrlsKeepEveryByte)
{
    EXPECT_EQ(FileUrlText("/Music/A b/caf\xE9#1.mp3"), "file:///Music/A%20b/caf%E9%231.mp3");
    EXPECT_EQ(FileUrlText("/x\\y", "lumomusic-"), "lumomusic-file:///x%5Cy");
    EXPECT_EQ(PercentDecode("a%20b%zz%4"), "a b%zz%4");
}

TEST(MusicTextTest, PathsAreNormalizedWhateverTheirShape)
{
    const struct {
        const char* path;
        const char* normal;
    } cases[] = {
        {"/", "/"},
        {"", "/"},
        {"/Music/a b.mp3", "/Music/a b.mp3"},
        {"/Music//a.mp3", "/Music/a.mp3"},
        {"/Music/./a.mp3", "/Music/a.mp3"},
        {"/Music/x/../a.mp3", "/Music/a.mp3"},
        {"/Music/", "/Music"},
        {"Music/a.mp3", "/Music/a.mp3"},
        {"Music/./a.mp3", "/Music/a.mp3"},
        {"Music/", "/Music"},
        {"/Music/.", "/Music"},
        {"/..", "/"},
        {"/Music/..a/.b", "/Music/..a/.b"},
    };
    for (const auto& item : cases)
        EXPECT_EQ(NormalizePath(item.path), item.normal) << item.path;
}
