#include <csignal>
#include <fstream>
#include <map>
#include <sqlite3.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "CacheModuleSupport.h"

using namespace CacheTest;

namespace {

using Bytes = std::vector<uint8_t>;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Overwrites bytes at offset at, creating the file when missing.
void WriteAt(const std::string& path, const Bytes& bytes, std::streamoff at = 0)
{
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    if (!out)
        out.open(path, std::ios::binary | std::ios::out);
    out.seekp(at);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool Store(DiskCacheApi& cache, const std::string& key, const Bytes& bytes, uint32_t tag = 0)
{
    ApiRef<DataApi> data = ApiRef<DataApi>::Adopt(new MemoryData(bytes));
    return cache.Store(key.c_str(), data.Get(), tag) != 0;
}

// The block under key, or nullopt; *error gets the last error either way.
std::optional<Bytes> Lookup(DiskCacheApi& cache, const std::string& key, uint32_t tag = 0, uint32_t* error = nullptr)
{
    LumoSetLastError(0);
    ApiRef<DataApi> data = ApiRef<DataApi>::Adopt(cache.Lookup(key.c_str(), tag));
    if (error)
        *error = LumoGetLastError();
    return data ? std::optional<Bytes>(BytesOf(*data)) : std::nullopt;
}

// Absent (with 1168) or a whole block of the key's own index; anything else fails the test.
void ExpectWholeOrAbsent(DiskCacheApi& cache, const std::string& key, uint32_t index, size_t maxBytes)
{
    uint32_t error = 0;
    const std::optional<Bytes> bytes = Lookup(cache, key, 0, &error);
    if (!bytes) {
        EXPECT_EQ(error, ERROR_NOT_FOUND) << key;
        return;
    }
    const std::optional<Origin> origin = OriginOf(*bytes, maxBytes);
    EXPECT_TRUE(origin && (*origin)[0] == index) << "damaged block came back under " << key;
}

class DiskCacheTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (const char* home = std::getenv("XDG_CACHE_HOME"))
            m_oldHome = home;
        setenv("XDG_CACHE_HOME", m_home.File("").c_str(), 1);
    }
    void TearDown() override
    {
        if (m_oldHome)
            setenv("XDG_CACHE_HOME", m_oldHome->c_str(), 1);
        else
            unsetenv("XDG_CACHE_HOME");
    }

    // A module initialised against m_host (kept, as the host keeps its modules), then the
    // cache, which opens its database when no other reference to it is alive.
    ApiRef<DiskCacheApi> OpenCache()
    {
        ApiRef<ModuleApi> module = ModuleApiOf<ModuleApi>();
        if (!module || !module->Initialize(&m_host))
            return ApiRef<DiskCacheApi>();
        m_modules.push_back(module);
        return ModuleApiOf<DiskCacheApi>();
    }

    std::string DatabasePath() const { return m_home.File("Lumo Desktop/DiskCache.db"); }

    TempFolder m_home;
    FakeHost m_host;
    std::vector<ApiRef<ModuleApi>> m_modules;
    std::optional<std::string> m_oldHome;
};

TEST_F(DiskCacheTest, EntryPointAnswersTheModuleAndItsApisOnly)
{
    ApiRef<ModuleApi> module = ModuleApiOf<ModuleApi>();
    ASSERT_TRUE(module);
    EXPECT_STREQ(module->GetId(), "LumoCache");
    EXPECT_STREQ(module->GetDisplayName(), "Disk Cache");
    EXPECT_TRUE(ModuleApiOf<DiskCacheApi>());
    EXPECT_TRUE(ModuleApiOf<FileViewApi>());
    for (const char* other :
        {"ModuleGroupApi", "FormatApi", "MediaApi", "CacheApi", "", static_cast<const char*>(nullptr)}) {
        LumoSetLastError(0);
        EXPECT_EQ(ModuleEntry()(other), nullptr) << (other ? other : "null");
        EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);
    }
}

TEST_F(DiskCacheTest, BlocksComeBackByteForByte)
{
    ApiRef<DiskCacheApi> cache = OpenCache();
    ASSERT_TRUE(cache);
    const size_t sizes[] = {0, 1, 8, 9, 65537, (1 << 20) + 3};
    for (const size_t size : sizes) {
        ASSERT_TRUE(Store(*cache, "Block/" + std::to_string(size), Pattern(size, size)));
        ASSERT_TRUE(Store(*cache, "block/" + std::to_string(size), Pattern(size + 1, 5)));
    }
    for (const size_t size : sizes)
        EXPECT_EQ(Lookup(*cache, "Block/" + std::to_string(size)), Pattern(size, size)) << size;
}

TEST_F(DiskCacheTest, MissingKeysAndOtherTagsAreNotFound)
{
    struct Case {
        uint32_t stored;
        uint32_t asked;
        bool found;
    };
    const Case cases[] = {{7, 7, true}, {7, 0, true}, {7, 8, false}, {0, 0, true}, {0, 5, false},
        {0xFFFFFFFF, 0xFFFFFFFF, true}, {0xFFFFFFFF, 0x7FFFFFFF, false}};
    ApiRef<DiskCacheApi> cache = OpenCache();
    ASSERT_TRUE(cache);
    for (const Case& test : cases) {
        ASSERT_TRUE(Store(*cache, "tagged", {9, 0, 9}, test.stored));
        uint32_t error = 0;
        EXPECT_EQ(Lookup(*cache, "tagged", test.asked, &error).has_value(), test.found)
            << test.stored << "/" << test.asked;
        if (!test.found) {
            EXPECT_EQ(error, ERROR_NOT_FOUND);
        }
    }
    uint32_t error = 0;
    EXPECT_FALSE(Lookup(*cache, "absent", 0, &error));
    EXPECT_EQ(error, ERROR_NOT_FOUND);
}

TEST_F(DiskCacheTest, StoreReplacesAndRemoveForgets)
{
    ApiRef<DiskCacheApi> cache = OpenCache();
    ASSERT_TRUE(cache);
    ASSERT_TRUE(Store(*cache, "a", Pattern(1, 50000), 1));
    ASSERT_TRUE(Store(*cache, "b", Pattern(2, 10)));
    ASSERT_TRUE(Store(*cache, "a", Pattern(3, 20), 2));
    EXPECT_EQ(Lookup(*cache, "a"), Pattern(3, 20));
    EXPECT_FALSE(Lookup(*cache, "a", 1));

    cache->Remove("a");
    cache->Remove("never stored");
    cache->Remove(nullptr);
    EXPECT_FALSE(Lookup(*cache, "a"));
    EXPECT_EQ(Lookup(*cache, "b"), Pattern(2, 10));
    ASSERT_TRUE(Store(*cache, "a", Pattern(4, 30)));
    EXPECT_EQ(Lookup(*cache, "a"), Pattern(4, 30));

    LumoSetLastError(0);
    EXPECT_EQ(cache->Store("a", nullptr, 0), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Lookup(*cache, "a"), Pattern(4, 30));
}

TEST_F(DiskCacheTest, StatisticsFollowTheStoredBlocks)
{
    ApiRef<DiskCacheApi> cache = OpenCache();
    ASSERT_TRUE(cache);
    ApiRef<DiskCacheInfoApi> info = ModuleApiOf<DiskCacheInfoApi>();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->GetEntryCount(), 0u);
    ASSERT_TRUE(Store(*cache, "a", Pattern(1, 1000)));
    ASSERT_TRUE(Store(*cache, "b", Pattern(2, 24)));
    ASSERT_TRUE(Store(*cache, "a", Pattern(3, 100)));
    EXPECT_EQ(info->GetEntryCount(), 2u);
    EXPECT_EQ(info->GetTotalBytes(), 124u);
    EXPECT_EQ(info->GetLimitBytes(), 512ull << 20);
    EXPECT_EQ(std::string(info->GetLocation()), DatabasePath());
    cache->Remove("b");
    EXPECT_EQ(info->GetEntryCount(), 1u);
    EXPECT_EQ(info->GetTotalBytes(), 100u);
}

TEST_F(DiskCacheTest, BlocksSurviveClosingAndReopening)
{
    ApiRef<DiskCacheApi> cache = OpenCache();
    ASSERT_TRUE(cache);
    ASSERT_TRUE(Store(*cache, "kept", Pattern(7, 70000), 3));
    ASSERT_TRUE(Store(*cache, "removed", Pattern(8, 10)));
    cache->Remove("removed");
    cache.Reset();
    EXPECT_TRUE(std::filesystem::is_regular_file(DatabasePath()));

    cache = OpenCache();
    ASSERT_TRUE(cache);
    EXPECT_EQ(Lookup(*cache, "kept", 3), Pattern(7, 70000));
    EXPECT_FALSE(Lookup(*cache, "removed"));
}

// Under a bound of 1 MiB, five blocks of 200 KiB fit and a sixth does not.
class DiskCacheBoundTest : public DiskCacheTest {
protected:
    void SetUp() override
    {
        DiskCacheTest::SetUp();
        m_host.maxSizeMB = 1;
    }
    static void StoreLetters(DiskCacheApi& cache, const std::string& letters, uint64_t version = 0)
    {
        for (const char letter : letters)
            ASSERT_TRUE(Store(cache, std::string(1, letter), Pattern(letter * 100 + version, 200 * 1024))) << letter;
    }
    static std::string PresentLetters(DiskCacheApi& cache, const std::string& letters)
    {
        std::string present;
        for (const char letter : letters)
            present += Lookup(cache, std::string(1, letter)) ? std::string(1, letter) : "";
        return present;
    }
};

TEST_F(DiskCacheBoundTest, LeastRecentlyUsedBlocksLeaveFirst)
{
    ApiRef<DiskCacheApi> cache = OpenCache();
    ASSERT_TRUE(cache);
    StoreLetters(*cache, "ABCDE");
    ASSERT_TRUE(Lookup(*cache, "A"));
    // The use of A must outlive the process's connection.
    cache.Reset();
    cache = OpenCache();
    ASSERT_TRUE(cache);
    StoreLetters(*cache, "F");
    // Down to 90% at once: B and C leave together.
    EXPECT_EQ(PresentLetters(*cache, "ABCDEF"), "ADEF");
    StoreLetters(*cache, "G");
    EXPECT_EQ(PresentLetters(*cache, "ADEFG"), "ADEFG");
}

TEST_F(DiskCacheBoundTest, ReplacedBlocksCountOnceAndOversizedOnesAreRefused)
{
    ApiRef<DiskCacheApi> cache = OpenCache();
    ASSERT_TRUE(cache);
    StoreLetters(*cache, "ABCDE");
    for (uint64_t version = 1; version <= 10; ++version)
        StoreLetters(*cache, "C", version);
    cache->Remove("D");
    StoreLetters(*cache, "D");
    LumoSetLastError(0);
    EXPECT_FALSE(Store(*cache, "huge", Pattern(1, (1 << 20) + 1)));
    EXPECT_EQ(LumoGetLastError(), 112u);
    EXPECT_EQ(PresentLetters(*cache, "ABCDE"), "ABCDE");
}

TEST_F(DiskCacheTest, ThreadsStoreAndLookUpAtOnce)
{
    constexpr uint32_t c_Threads = 4, c_Rounds = 150, c_Slots = 12;
    constexpr size_t c_MaxBytes = 20000;
    auto keyOf = [](uint32_t thread, uint32_t slot) { return std::to_string(thread) + "/" + std::to_string(slot); };
    ApiRef<DiskCacheApi> cache = OpenCache();
    ASSERT_TRUE(cache);
    std::vector<std::thread> threads;
    for (uint32_t thread = 0; thread < c_Threads; ++thread) {
        threads.emplace_back([&, thread] {
            for (uint32_t round = 0; round < c_Rounds; ++round) {
                const uint32_t slot = round % c_Slots;
                EXPECT_TRUE(Store(*cache, keyOf(thread, slot), SelfBlock({thread, slot, round}, c_MaxBytes)));
                const uint32_t other = uint32_t(Mix(thread * 1000 + round) % c_Threads);
                ExpectWholeOrAbsent(*cache, keyOf(other, slot), other, c_MaxBytes);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (uint32_t thread = 0; thread < c_Threads; ++thread) {
        for (uint32_t slot = 0; slot < c_Slots; ++slot) {
            const uint32_t lastRound = (c_Rounds - 1 - slot) / c_Slots * c_Slots + slot;
            EXPECT_EQ(Lookup(*cache, keyOf(thread, slot)), SelfBlock({thread, slot, lastRound}, c_MaxBytes));
        }
    }
}

TEST_F(DiskCacheTest, TwoProcessesStoreAtOnce)
{
    constexpr uint32_t c_Blocks = 150;
    constexpr size_t c_MaxBytes = 40000;
    ASSERT_TRUE(ModuleEntry());
    // Each process opens its own connection after the fork.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    const uint32_t side = child == 0 ? 1 : 0;
    int failures = 0;
    {
        ApiRef<DiskCacheApi> cache = child == 0 ? ModuleApiOf<DiskCacheApi>() : OpenCache();
        for (uint32_t index = 0; index < c_Blocks; ++index)
            failures += cache
                    && Store(*cache, std::to_string(side) + "/" + std::to_string(index),
                        SelfBlock({side, index, 0}, c_MaxBytes))
                ? 0
                : 1;
    }
    if (child == 0)
        _exit(failures ? 1 : 0);

    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process failed to store";
    EXPECT_EQ(failures, 0);
    ApiRef<DiskCacheApi> cache = OpenCache();
    ASSERT_TRUE(cache);
    for (uint32_t both = 0; both < 2; ++both) {
        for (uint32_t index = 0; index < c_Blocks; ++index)
            EXPECT_EQ(Lookup(*cache, std::to_string(both) + "/" + std::to_string(index)),
                SelfBlock({both, index, 0}, c_MaxBytes));
    }
}

// Writers killed in the middle of a stream of stores: every key reads back absent or whole,
// and every store a writer saw succeed is there, or a later writer's block replaced it.
TEST_F(DiskCacheTest, KilledWriterLeavesOnlyWholeBlocks)
{
    constexpr uint32_t c_Keys = 40, c_Writers = 4;
    constexpr size_t c_MaxBytes = 250000;
    auto keyOf = [](uint32_t index) { return "killed/" + std::to_string(index); };
    ASSERT_TRUE(ModuleEntry());

    std::map<uint32_t, uint32_t> confirmedWriter;
    for (uint32_t writer = 1; writer <= c_Writers; ++writer) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ApiRef<DiskCacheApi> cache = ModuleApiOf<DiskCacheApi>();
            for (uint32_t count = 0; cache; ++count) {
                const uint32_t index = (writer * 7 + count) % c_Keys;
                if (!Store(*cache, keyOf(index), SelfBlock({index, writer, 0}, c_MaxBytes))
                    || write(fds[1], &index, sizeof index) != sizeof index)
                    break;
            }
            _exit(3);
        }
        close(fds[1]);
        // Pipe writes of four bytes are atomic, so reads never split an index.
        uint32_t index = 0, confirmed = 0;
        while (confirmed < 5 + writer * 9 && read(fds[0], &index, sizeof index) == sizeof index) {
            confirmedWriter[index] = writer;
            ++confirmed;
        }
        kill(child, SIGKILL);
        while (read(fds[0], &index, sizeof index) == sizeof index)
            confirmedWriter[index] = writer;
        close(fds[0]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "writer " << writer << " stopped early";
    }

    ApiRef<DiskCacheApi> cache = OpenCache();
    ASSERT_TRUE(cache);
    for (uint32_t index = 0; index < c_Keys; ++index) {
        ExpectWholeOrAbsent(*cache, keyOf(index), index, c_MaxBytes);
        const std::optional<Bytes> bytes = Lookup(*cache, keyOf(index));
        const auto confirmed = confirmedWriter.find(index);
        if (confirmed != confirmedWriter.end()) {
            ASSERT_TRUE(bytes) << "confirmed store lost: " << keyOf(index);
            const std::optional<Origin> origin = OriginOf(*bytes, c_MaxBytes);
            EXPECT_TRUE(origin && (*origin)[1] >= confirmed->second) << "older block under " << keyOf(index);
        }
    }
    ASSERT_TRUE(Store(*cache, "after", {4, 2}));
    EXPECT_EQ(Lookup(*cache, "after"), (Bytes{4, 2}));
}

// SQLite checks the structure of its pages, not the bytes of a blob.
TEST_F(DiskCacheTest, BlockDamagedOnDiskIsDroppedNotReturned)
{
    constexpr uint32_t c_Keys = 20;
    constexpr size_t c_MaxBytes = 12000;
    auto keyOf = [](uint32_t index) { return "block/" + std::to_string(index); };
    m_host.offersLog = true;
    ApiRef<DiskCacheApi> cache = OpenCache();
    ASSERT_TRUE(cache);
    uint32_t victim = c_Keys;
    for (uint32_t index = 0; index < c_Keys; ++index) {
        ASSERT_TRUE(Store(*cache, keyOf(index), SelfBlock({index, 0, 0}, c_MaxBytes)));
        if (victim == c_Keys && SelfBlock({index, 0, 0}, c_MaxBytes).size() > 6000)
            victim = index;
    }
    ASSERT_LT(victim, c_Keys);
    cache.Reset();

    const Bytes block = SelfBlock({victim, 0, 0}, c_MaxBytes);
    const std::string file = ReadFile(DatabasePath());
    const size_t at = file.find(std::string(block.begin() + 5000, block.begin() + 5064));
    ASSERT_NE(at, std::string::npos);
    WriteAt(DatabasePath(), {uint8_t(file[at + 32] ^ 0x01)}, std::streamoff(at + 32));

    cache = OpenCache();
    ASSERT_TRUE(cache);
    for (uint32_t index = 0; index < c_Keys; ++index) {
        if (index == victim)
            EXPECT_FALSE(Lookup(*cache, keyOf(index)));
        else
            EXPECT_EQ(Lookup(*cache, keyOf(index)), SelfBlock({index, 0, 0}, c_MaxBytes)) << keyOf(index);
    }
    EXPECT_TRUE(m_host.log.Contains(keyOf(victim)));
}

// A database damaged between two runs is moved aside; the cache starts afresh and says so.
enum class Damage { Garbage, GarbageInTheMiddle, TruncatedToHalf };

class DamagedDatabaseTest : public DiskCacheTest, public testing::WithParamInterface<Damage> { };

TEST_P(DamagedDatabaseTest, KeysReadBackWholeOrAbsent)
{
    constexpr uint32_t c_Keys = 200;
    constexpr size_t c_MaxBytes = 12000;
    auto keyOf = [](uint32_t index) { return "damaged/" + std::to_string(index); };
    m_host.offersLog = true;
    ApiRef<DiskCacheApi> cache = OpenCache();
    ASSERT_TRUE(cache);
    for (uint32_t index = 0; index < c_Keys; ++index)
        ASSERT_TRUE(Store(*cache, keyOf(index), SelfBlock({index, 0, 0}, c_MaxBytes)));
    cache.Reset();

    const std::string path = DatabasePath();
    const uintmax_t sizeBytes = std::filesystem::file_size(path);
    if (GetParam() == Damage::Garbage)
        WriteAt(path, Pattern(1, sizeBytes));
    else if (GetParam() == Damage::GarbageInTheMiddle)
        WriteAt(path, Pattern(2, 65536), std::streamoff(sizeBytes / 2));
    else
        std::filesystem::resize_file(path, sizeBytes / 2);

    cache = OpenCache();
    ASSERT_TRUE(cache);
    for (uint32_t index = 0; index < c_Keys; ++index)
        ExpectWholeOrAbsent(*cache, keyOf(index), index, c_MaxBytes);
    ASSERT_TRUE(Store(*cache, "after", Pattern(3, 30000)));
    EXPECT_EQ(Lookup(*cache, "after"), Pattern(3, 30000));
    EXPECT_TRUE(std::filesystem::exists(path + ".bad"));
    EXPECT_TRUE(m_host.log.Contains("DiskCache.db.bad"));

    cache.Reset();
    cache = OpenCache();
    ASSERT_TRUE(cache);
    EXPECT_EQ(Lookup(*cache, "after"), Pattern(3, 30000));
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedDatabaseTest,
    testing::Values(Damage::Garbage, Damage::GarbageInTheMiddle, Damage::TruncatedToHalf));

// The root page of each table and index of the database, and its page size.
std::pair<std::map<std::string, int64_t>, int64_t> PagesOf(const std::string& path)
{
    std::map<std::string, int64_t> roots;
    int64_t pageBytes = 0;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT name, rootpage FROM sqlite_master WHERE rootpage > 0", -1, &stmt, nullptr);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW)
            roots[reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))] = sqlite3_column_int64(stmt, 1);
        sqlite3_finalize(stmt);
        sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &stmt, nullptr);
        if (stmt && sqlite3_step(stmt) == SQLITE_ROW)
            pageBytes = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return {roots, pageBytes};
}

// One damaged page of the index read at start-up stopped every command and the window with
// "The data is invalid", and nothing was moved aside; any table or index may be hit.
TEST_F(DiskCacheTest, ADamagedPageOfAnyTableOrIndexIsMovedAside)
{
    constexpr uint32_t c_Keys = 300;
    constexpr size_t c_MaxBytes = 600;
    auto keyOf = [](uint32_t index) { return "page/" + std::to_string(index); };
    m_host.offersLog = true;
    const std::string path = DatabasePath();
    std::vector<std::string> names;
    for (size_t round = 0;; ++round) {
        for (const char* suffix : {"", ".bad", "-wal", "-shm"})
            std::filesystem::remove(path + suffix);
        ApiRef<DiskCacheApi> cache = OpenCache();
        ASSERT_TRUE(cache);
        for (uint32_t index = 0; index < c_Keys; ++index)
            ASSERT_TRUE(Store(*cache, keyOf(index), SelfBlock({index, 0, 0}, c_MaxBytes)));
        cache.Reset();
        m_modules.clear();

        const auto [roots, pageBytes] = PagesOf(path);
        if (round == 0) {
            for (const auto& [name, root] : roots)
                names.push_back(name);
            ASSERT_GE(names.size(), 5u);
        }
        if (round == names.size())
            break;
        const std::string& victim = names[round];
        ASSERT_EQ(roots.count(victim), 1u) << victim;
        WriteAt(path, Pattern(round + 7, size_t(pageBytes)), std::streamoff((roots.at(victim) - 1) * pageBytes));

        cache = OpenCache();
        ASSERT_TRUE(cache) << "damaged " << victim;
        for (uint32_t index = 0; index < c_Keys; ++index)
            ExpectWholeOrAbsent(*cache, keyOf(index), index, c_MaxBytes);
        ASSERT_TRUE(Store(*cache, "after", Pattern(3, 3000))) << "damaged " << victim;
        EXPECT_EQ(Lookup(*cache, "after"), Pattern(3, 3000)) << "damaged " << victim;
        EXPECT_TRUE(std::filesystem::exists(path + ".bad")) << "damaged " << victim;
        cache.Reset();
        m_modules.clear();
    }
}

TEST_F(DiskCacheTest, UnusableFolderFallsBackToMemory)
{
    m_host.offersLog = true;
    WriteAt(m_home.File("plain file"), {1});
    setenv("XDG_CACHE_HOME", m_home.File("plain file/below").c_str(), 1);
    ApiRef<DiskCacheApi> cache = OpenCache();
    ASSERT_TRUE(cache);
    ASSERT_TRUE(Store(*cache, "key", Pattern(1, 5000)));
    EXPECT_EQ(Lookup(*cache, "key"), Pattern(1, 5000));
    EXPECT_TRUE(m_host.log.Contains("disk cache folder"));
}

// The host unloads a library only when every object it handed out has reported its end.
TEST_F(DiskCacheTest, EveryObjectReportsItsDestruction)
{
    const size_t mark = DllCallback().Mark();
    std::vector<Api*> handedOut;
    {
        ApiRef<DiskCacheApi> cache = OpenCache();
        ApiRef<FileViewApi> view = ModuleApiOf<FileViewApi>();
        ASSERT_TRUE(cache && view && Store(*cache, "key", {1}));
        ApiRef<DataApi> block = ApiRef<DataApi>::Adopt(cache->Lookup("key", 0));
        handedOut = {m_modules.back().Get(), cache.Get(), view.Get(), block.Get()};
        m_modules.clear();
    }
    for (Api* api : handedOut)
        EXPECT_TRUE(DllCallback().DestroyedSince(mark, api));
}

} // namespace
