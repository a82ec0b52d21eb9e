#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "server/FactsStore.h"

namespace {

class FactsStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/facts-store-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        m_song = m_root + "/Sträßchen ü.mp3";
        Write(m_song, "0123456789");
        Age(m_song, 1000);
    }
    void TearDown() override { std::system(("rm -rf '" + m_root + "'").c_str()); }

    static void Write(const std::string& path, const std::string& bytes) { std::ofstream(path) << bytes; }

    // Files written this moment are not kept: their times are moved back.
    static void Age(const std::string& path, time_t seconds)
    {
        const timespec times[2] = {{time(nullptr) - seconds, 0}, {time(nullptr) - seconds, 123456789}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

    std::string Url(const std::string& path) const { return "file://" + path; }

    // Reads through store, counting the reads of files; each read gives facts numbered by it.
    std::shared_ptr<ItemFacts> Read(FactsStore& store, const std::string& path)
    {
        const std::vector<FactsWant> wants{{Url(path), NodeKind::Song}};
        auto result = ReadFactsThrough(&store, wants, [&](const std::string&, NodeKind, FileIdentity& identity) {
            ++m_reads;
            auto facts = std::make_shared<ItemFacts>(m_facts);
            facts->trackNumber = m_reads;
            EXPECT_TRUE(IdentityOf(path, identity));
            facts->sizeBytes = identity.sizeBytes;
            facts->path = path;
            return facts;
        });
        store.Flush();
        return result.at(0);
    }

    std::string m_root;
    std::string m_song;
    ItemFacts m_facts;
    int m_reads = 0;
};

// What a store gives back is exactly what was read, texts byte for byte and numbers at their
// limits, empty and zero included; and it gives it back in the next run.
TEST_F(FactsStoreTest, FactsComeBackExactlyAsTheyWereRead)
{
    m_facts.mime = "audio/mpeg";
    m_facts.artist = std::string("Mötley \xe2\x80\x9c\0Crüe\xe2\x80\x9d", 16);
    m_facts.album = "日本語のアルバム";
    m_facts.genre = "";
    m_facts.year = 0;
    m_facts.durationMs = 2147483647;
    m_facts.bitRateKbps = 320;
    m_facts.sampleRateHz = 44100;
    m_facts.channels = 0;
    m_facts.embeddedCover = true;
    m_facts.lpcmMime = "audio/L16;rate=44100;channels=2";
    m_facts.lpcmBytes = 9007199254740993;
    m_facts.width = -1;
    m_facts.height = 0;
    m_facts.captureSec = -86400;
    std::shared_ptr<ItemFacts> first;
    {
        FactsStore store(m_root + "/cache", [](const std::string& text) { ADD_FAILURE() << text; });
        first = Read(store, m_song);
    }
    FactsStore store(m_root + "/cache", [](const std::string& text) { ADD_FAILURE() << text; });
    const std::shared_ptr<ItemFacts> again = Read(store, m_song);
    ASSERT_EQ(m_reads, 1) << "the second run read the file again";
    for (const auto* facts : {first.get(), again.get()}) {
        EXPECT_EQ(facts->path, m_song);
        EXPECT_EQ(facts->sizeBytes, 10);
        EXPECT_EQ(facts->artist, m_facts.artist);
        EXPECT_EQ(facts->album, m_facts.album);
        EXPECT_EQ(facts->genre, "");
        EXPECT_EQ(facts->mime, m_facts.mime);
        EXPECT_EQ(facts->trackNumber, 1);
        EXPECT_EQ(facts->durationMs, m_facts.durationMs);
        EXPECT_EQ(facts->bitRateKbps, 320);
        EXPECT_EQ(facts->sampleRateHz, 44100);
        EXPECT_EQ(facts->channels, 0);
        EXPECT_TRUE(facts->embeddedCover);
        EXPECT_EQ(facts->coverPath, "");
        EXPECT_EQ(facts->lpcmMime, m_facts.lpcmMime);
        EXPECT_EQ(facts->lpcmBytes, m_facts.lpcmBytes);
        EXPECT_EQ(facts->width, -1);
        EXPECT_EQ(facts->height, 0);
        EXPECT_EQ(facts->captureSec, -86400);
    }
    struct stat info { };
    ASSERT_EQ(stat(m_song.c_str(), &info), 0);
    EXPECT_EQ(again->modifiedSec, int64_t(info.st_mtime));

    // A cover beside a song is the folder's, not the song's: one put there later is found.
    m_facts.embeddedCover = false;
    Age(m_song, 2000);
    Read(store, m_song);
    Write(m_root + "/Cover.JPG", "x");
    EXPECT_EQ(Read(store, m_song)->coverPath, m_root + "/Cover.JPG");
    EXPECT_EQ(m_reads, 2);
}

// A file written, replaced or touched since its facts were kept is read again; one written
// a moment ago is not kept, as it may change again within the same tick of its clock.
TEST_F(FactsStoreTest, AChangedFileIsReadAgain)
{
    FactsStore store(m_root + "/cache", [](const std::string& text) { ADD_FAILURE() << text; });
    Read(store, m_song);
    Read(store, m_song);
    ASSERT_EQ(m_reads, 1);

    Age(m_song, 500);
    EXPECT_EQ(Read(store, m_song)->trackNumber, 2) << "same size, another time";
    Write(m_song, "01234567890");
    Age(m_song, 500);
    EXPECT_EQ(Read(store, m_song)->trackNumber, 3) << "another size, the same time";
    const std::string other = m_root + "/other.mp3";
    Write(other, "01234567890");
    Age(other, 500);
    ASSERT_EQ(rename(other.c_str(), m_song.c_str()), 0);
    EXPECT_EQ(Read(store, m_song)->trackNumber, 4) << "replaced by a file of the same size and time";
    EXPECT_EQ(Read(store, m_song)->trackNumber, 4);

    Write(m_song, "0123456789");
    Read(store, m_song);
    EXPECT_EQ(Read(store, m_song)->trackNumber, 6) << "a file written a moment ago was kept";
}

// A file that is not a database, or one of another schema, is set aside or made again; the
// store works on. A store that cannot be made reads every file.
TEST_F(FactsStoreTest, ADamagedStoreIsReplacedAndAMissingOneReadsTheFiles)
{
    const std::string folder = m_root + "/cache";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string file = folder + "/" + FactsStore::c_FileName;
    Write(file, std::string(8192, 'g'));
    int warnings = 0;
    {
        FactsStore store(folder, [&](const std::string&) { ++warnings; });
        EXPECT_EQ(store.Location(), file);
        Read(store, m_song);
        EXPECT_EQ(Read(store, m_song)->trackNumber, 1);
    }
    EXPECT_EQ(warnings, 1);
    std::ifstream aside(file + ".bad");
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(aside), {}) == std::string(8192, 'g'))
        << "the damaged file was not set aside";

    // Damaged after a good start: found by a lookup, the answer reads the file.
    {
        std::fstream damage(file, std::ios::in | std::ios::out | std::ios::binary);
        damage.seekp(4096);
        damage << std::string(4096, '\xff');
    }
    {
        FactsStore store(folder, [&](const std::string&) { ++warnings; });
        EXPECT_EQ(Read(store, m_song)->path, m_song);
    }
    EXPECT_EQ(warnings, 2);

    // Written by another version: made again, not read, and not kept as damaged.
    ASSERT_EQ(std::remove((file + ".bad").c_str()), 0);
    {
        FactsStore store(folder, [&](const std::string&) { ++warnings; });
        Read(store, m_song);
        const int before = m_reads;
        Read(store, m_song);
        ASSERT_EQ(m_reads, before);
    }
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    {
        FactsStore store(folder, [&](const std::string&) { ++warnings; });
        const int before = m_reads;
        Read(store, m_song);
        EXPECT_EQ(m_reads, before + 1) << "a row of another version was used";
        EXPECT_EQ(Read(store, m_song)->trackNumber, before + 1);
    }
    EXPECT_EQ(warnings, 2);
    EXPECT_NE(access((file + ".bad").c_str(), F_OK), 0);

    // Nowhere to keep anything.
    Write(m_root + "/plain", "x");
    FactsStore nowhere(m_root + "/plain/cache", [&](const std::string&) { ++warnings; });
    EXPECT_EQ(nowhere.Location(), "");
    const int before = m_reads;
    Read(nowhere, m_song);
    EXPECT_EQ(Read(nowhere, m_song)->trackNumber, before + 2);
}

// Rows not seen for 60 days go at start-up; a row used is marked seen, so a store in use
// keeps what it serves.
TEST_F(FactsStoreTest, RowsNotSeenForLongAreDropped)
{
    const std::string folder = m_root + "/cache";
    const std::string other = m_root + "/other.mp3";
    Write(other, "x");
    Age(other, 1000);
    {
        FactsStore store(folder, [](const std::string& text) { ADD_FAILURE() << text; });
        Read(store, m_song);
        Read(store, other);
    }
    const int64_t today = int64_t(time(nullptr)) / 86400;
    auto run = [&](const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((folder + "/" + FactsStore::c_FileName).c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    };
    run("UPDATE facts SET seen_day = " + std::to_string(today - 61) + " WHERE url LIKE '%other.mp3'");
    run("UPDATE facts SET seen_day = " + std::to_string(today - 59) + " WHERE url NOT LIKE '%other.mp3'");
    {
        FactsStore store(folder, [](const std::string& text) { ADD_FAILURE() << text; });
        store.Flush();
        Read(store, m_song);
        ASSERT_EQ(m_reads, 2);
        Read(store, other);
        EXPECT_EQ(m_reads, 3) << "a row not seen for 61 days was kept";
    }
    run("UPDATE facts SET seen_day = seen_day - 2");
    FactsStore store(folder, [](const std::string& text) { ADD_FAILURE() << text; });
    // Dropping runs behind the first lookups.
    store.Flush();
    Read(store, m_song);
    EXPECT_EQ(m_reads, 3) << "a row used two days ago was dropped";
}

} // namespace
