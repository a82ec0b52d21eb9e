#include <gtest/gtest.h>

#include "host/HostRegistry.h"
#include "server/DlnaProfiles.h"
#include "server/MediaEngine.h"
#include "server/ServerObjects.h"
#include "server/ServerSettings.h"
#include "server/WaveFile.h"
#include "support/PrivateSettings.h"

namespace {

TEST(DlnaProfilesTest, AudioProfilesFollowTheFormatsLimits)
{
    struct Case {
        const char* mime;
        int rateHz, channels, kbps;
        const char* profile;
    };
    const Case cases[] = {
        {"audio/mpeg", 44100, 2, 320, "MP3"},
        {"audio/mpeg", 0, 0, 0, "MP3"},
        {"audio/mpeg", 22050, 2, 64, "MP3X"},
        {"audio/mpeg", 44100, 6, 320, ""},
        {"audio/mp4", 44100, 2, 256, "AAC_ISO_320"},
        {"audio/mp4", 48000, 2, 0, "AAC_ISO"},
        {"audio/mp4", 44100, 2, 900, ""}, // Apple Lossless in the same container
        {"audio/L16;rate=44100;channels=2", 44100, 2, 1411, "LPCM"},
        {"audio/flac", 44100, 2, 900, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AudioProfile(c.mime, c.rateHz, c.channels, c.kbps), c.profile) << c.mime << " " << c.rateHz;
}

TEST(DlnaProfilesTest, ImageProfilesFollowThePictureSize)
{
    EXPECT_EQ(ImageProfile("image/jpeg", 160, 120), "JPEG_TN");
    EXPECT_EQ(ImageProfile("image/jpeg", 640, 480), "JPEG_SM");
    EXPECT_EQ(ImageProfile("image/jpeg", 480, 640), "JPEG_MED");
    EXPECT_EQ(ImageProfile("image/jpeg", 1024, 768), "JPEG_MED");
    EXPECT_EQ(ImageProfile("image/jpeg", 4000, 3000), "JPEG_LRG");
    EXPECT_EQ(ImageProfile("image/jpeg", 6000, 4000), "");
    EXPECT_EQ(ImageProfile("image/png", 1920, 1080), "PNG_LRG");
    EXPECT_EQ(ImageProfile("image/gif", 100, 100), "");
}

TEST(DlnaProfilesTest, AliasesBecomeTheNamesPlayersKnow)
{
    EXPECT_EQ(ServedMime("audio/x-flac"), "audio/flac");
    EXPECT_EQ(ServedMime("Audio/MP3"), "audio/mpeg");
    EXPECT_EQ(ServedMime("audio/x-m4a"), "audio/mp4");
    EXPECT_EQ(ServedMime("image/png"), "image/png");
}

TEST(DlnaProfilesTest, SourceProtocolInfoNamesEveryServedFormat)
{
    const std::string source = SourceProtocolInfo();
    for (const char* expected : {"http-get:*:audio/mpeg:DLNA.ORG_PN=MP3", "http-get:*:audio/mp4:DLNA.ORG_PN=AAC_ISO",
             "http-get:*:image/jpeg:DLNA.ORG_PN=JPEG_TN", "http-get:*:image/png:DLNA.ORG_PN=PNG_LRG",
             "http-get:*:audio/L16;rate=44100;channels=2:DLNA.ORG_PN=LPCM", "http-get:*:audio/flac:*"})
        EXPECT_NE(source.find(expected), std::string::npos) << expected;
}

std::string Le(uint32_t value, int bytes)
{
    std::string out;
    for (int at = 0; at < bytes; ++at)
        out += char((value >> (8 * at)) & 0xFF);
    return out;
}

std::string Wave(
    uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataBytes, const std::string& extra = "")
{
    std::string fmt = Le(format, 2) + Le(channels, 2) + Le(rate, 4) + Le(rate * channels * bits / 8, 4)
        + Le(channels * bits / 8, 2) + Le(bits, 2);
    std::string body = "WAVE" + extra + "fmt " + Le(uint32_t(fmt.size()), 4) + fmt + "data" + Le(dataBytes, 4)
        + std::string(dataBytes, '\x01');
    return "RIFF" + Le(uint32_t(body.size()), 4) + body;
}

std::optional<WaveLayout> Parse(const std::string& bytes)
{
    return ParseWaveLayout(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), int64_t(bytes.size()));
}

TEST(WaveFileTest, SixteenBitPcmIsOfferedAsLpcm)
{
    const auto layout = Parse(Wave(1, 2, 44100, 16, 400, "LIST" + Le(3, 4) + "abc" + std::string(1, '\0')));
    ASSERT_TRUE(layout);
    EXPECT_TRUE(layout->IsLpcm());
    EXPECT_EQ(layout->dataBytes, 400);
    EXPECT_EQ(layout->dataOffset, 12 + 12 + 8 + 16 + 8);
    EXPECT_EQ(layout->LpcmMime(), "audio/L16;rate=44100;channels=2");
}

TEST(WaveFileTest, OtherWavesAndDamagedHeadersAreNot)
{
    EXPECT_FALSE(Parse(Wave(1, 2, 44100, 24, 600))->IsLpcm());
    EXPECT_FALSE(Parse(Wave(3, 2, 44100, 32, 800))->IsLpcm());
    EXPECT_FALSE(Parse(Wave(1, 2, 22050, 16, 400))->IsLpcm());
    std::string cut = Wave(1, 2, 44100, 16, 400);
    EXPECT_FALSE(Parse(cut.substr(0, 30)));
    EXPECT_FALSE(Parse("RIFF\x10\0\0\0WAVEdata"));
    std::string huge = Wave(1, 2, 44100, 16, 400);
    huge.replace(16, 4, Le(0xFFFFFFF0u, 4)); // a fmt chunk claiming 4 GB
    EXPECT_FALSE(Parse(huge));
    // A data size beyond the file, as recorders leave it, is the file's own.
    std::string open = Wave(1, 1, 48000, 16, 100);
    open.replace(40, 4, Le(0xFFFFFFFFu, 4));
    ASSERT_TRUE(Parse(open));
    EXPECT_EQ(Parse(open)->dataBytes, 100);
}

TEST(ServerTextTest, FileUrisKeepEveryByteOfThePath)
{
    const std::string path = "/music/Ça va/50% \"live\"/\xff\xfe.mp3";
    EXPECT_EQ(PathOfFileUri(FileUri(path)), path);
    EXPECT_EQ(PathOfFileUri("lumo-file://relative/x"), "");
    EXPECT_EQ(PathOfFileUri("lumo-file:///a%00b"), "");
    EXPECT_EQ(PathOfFileUri("file:///etc/passwd"), "");
}

TEST(ServerTextTest, PictureUrisAndDates)
{
    std::string kind, id;
    ASSERT_TRUE(ParsePictureUri(PictureUri("tn", "photos/a/b"), kind, id));
    EXPECT_EQ(kind, "tn");
    EXPECT_EQ(id, "photos/a/b");
    EXPECT_FALSE(ParsePictureUri("lumo-picture:big/photos/a", kind, id));
    EXPECT_FALSE(ParsePictureUri("lumo-picture:tn/", kind, id));
    EXPECT_EQ(DateText(0), "");
    EXPECT_EQ(DateText(1000000000), "2001-09-09");
}

TEST(ServerTextTest, InterfaceListsAreNamesOnce)
{
    EXPECT_EQ(SplitInterfaceList(" eth0, wlan0;eth0  "), (std::vector<std::string>{"eth0", "wlan0"}));
    EXPECT_TRUE(SplitInterfaceList(" , ").empty());
    EXPECT_EQ(JoinInterfaceList({"a", "b"}), "a,b");
}

} // namespace

namespace {

class ServerSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UsePrivateSettings();
        HostRegistry registry(ServerSettings::c_SubKey);
        for (const char* name : {"ServerName", "Interfaces", "Port", "Uuid", "StartAtLogin"})
            registry.DeleteValue("", name);
    }
};

TEST_F(ServerSettingsTest, DefaultsNameTheComputerAndTheUuidIsMadeOnce)
{
    const ServerSettings first = ServerSettings::Load("den");
    EXPECT_EQ(first.name, "Lumo Media Server on den");
    EXPECT_TRUE(first.interfaces.empty());
    EXPECT_EQ(first.port, ServerSettings::c_DefaultPort);
    EXPECT_FALSE(first.startAtLogin);
    EXPECT_EQ(first.uuid.size(), 36u);
    EXPECT_EQ(ServerSettings::Load("den").uuid, first.uuid);
}

TEST_F(ServerSettingsTest, SavedSettingsComeBackAndNonsenseFallsBack)
{
    ServerSettings settings = ServerSettings::Load("den");
    settings.name = "Living room";
    settings.interfaces = {"eth0", "wlan0"};
    settings.port = 9001;
    settings.Save();
    const ServerSettings loaded = ServerSettings::Load("den");
    EXPECT_EQ(loaded.name, "Living room");
    EXPECT_EQ(loaded.interfaces, (std::vector<std::string>{"eth0", "wlan0"}));
    EXPECT_EQ(loaded.port, 9001);
    HostRegistry(ServerSettings::c_SubKey).WriteString("", "Port", "70000");
    HostRegistry(ServerSettings::c_SubKey).WriteString("", "Uuid", "not a uuid");
    const ServerSettings repaired = ServerSettings::Load("den");
    EXPECT_EQ(repaired.port, ServerSettings::c_DefaultPort);
    EXPECT_EQ(repaired.uuid.size(), 36u);
    EXPECT_NE(repaired.uuid, loaded.uuid);
}

} // namespace
