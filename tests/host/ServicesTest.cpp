// Settings, the cache and the file views as modules reach them through the host's catalogue.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <lumo/Errors.h>
#include <lumo/Listing.h>
#include <lumo/Platform.h>
#include <lumo/Registry.h>

#include "host/HostInternals.h"
#include "host/HostRegistry.h"
#include "host/UrlImpl.h"
#include "support/HostFolder.h"
#include "support/PrivateSettings.h"

using namespace LumoApi;

namespace {

class NamedModule : public RefCounted<ModuleApi> {
public:
    explicit NamedModule(std::string id) : m_id(std::move(id)) { }
    int32_t LUMO_CALL Initialize(HostProgramApi*) override { return 1; }
    const char* LUMO_CALL GetDisplayName() override { return m_id.c_str(); }
    const char* LUMO_CALL GetId() override { return m_id.c_str(); }

private:
    std::string m_id;
};

// A block of bytes the test owns.
class Bytes : public RefCounted<DataApi> {
public:
    explicit Bytes(std::string bytes) : m_bytes(std::move(bytes)) { }
    const uint8_t* LUMO_CALL GetBytes() override { return reinterpret_cast<const uint8_t*>(m_bytes.data()); }
    uint32_t LUMO_CALL GetSize() override { return static_cast<uint32_t>(m_bytes.size()); }

private:
    std::string m_bytes;
};

std::string TextOf(DataApi* data)
{
    return data ? std::string(reinterpret_cast<const char*>(data->GetBytes()), data->GetSize()) : std::string();
}

class ServicesTest : public ::testing::Test {
protected:
    void SetUp() override { UsePrivateSettings(); }

    template <class T>
    ApiRef<T> Service(ModuleApi* module)
    {
        if (module)
            module->AddRef();
        return ApiRef<T>::Adopt(static_cast<T*>(m_host.GetApi(T::TypeId, module)));
    }

    HostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
    ApiRef<ModuleApi> m_alpha = ApiRef<ModuleApi>::Adopt(new NamedModule("ServicesAlpha"));
    ApiRef<ModuleApi> m_beta = ApiRef<ModuleApi>::Adopt(new NamedModule("ServicesBeta"));
};

} // namespace

TEST_F(ServicesTest, ModuleSettingsRoundTrip)
{
    ApiRef<RegistryApi> registry = Service<RegistryApi>(m_alpha.Get());
    ASSERT_TRUE(registry);
    EXPECT_STREQ(registry->GetKeyPath(), "Software\\Lumo\\Desktop\\Modules\\ServicesAlpha\\Config");

    LumoSetLastError(1359);
    EXPECT_STREQ(registry->ReadString("Missing", "fallback"), "fallback");
    EXPECT_EQ(LumoGetLastError(), ERROR_SUCCESS);
    LumoSetLastError(1359);
    EXPECT_EQ(registry->ReadInteger("Missing", -7), -7);
    EXPECT_EQ(LumoGetLastError(), ERROR_SUCCESS);

    EXPECT_EQ(registry->WriteInteger("Count", 4096), 1);
    EXPECT_STREQ(registry->ReadString("Count", ""), "4096");
    EXPECT_EQ(registry->WriteString("Name", "a b/c\\d"), 1);
    EXPECT_STREQ(registry->ReadString("Name", ""), "a b/c\\d");
    EXPECT_EQ(registry->WriteString("NotANumber", "12x"), 1);
    EXPECT_EQ(registry->ReadInteger("NotANumber", 5), 5);

    // Another object, and another module, see their own keys.
    ApiRef<RegistryApi> again = Service<RegistryApi>(m_alpha.Get());
    EXPECT_EQ(again->ReadInteger("Count", 0), 4096);
    ApiRef<RegistryApi> other = Service<RegistryApi>(m_beta.Get());
    EXPECT_EQ(other->ReadInteger("Count", 0), 0);

    // The values live in the one settings file, as decimal text.
    std::ifstream file(HostRegistry::FilePath());
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Count=4096"), std::string::npos);
}

TEST_F(ServicesTest, HostSettingsSectionsAreSubKeys)
{
    HostRegistry publisher("Publisher");
    EXPECT_EQ(publisher.KeyPath(), "Software\\Lumo\\Desktop\\Publisher");
    publisher.WriteInteger("", "Width", 800);
    publisher.WriteInteger("Layout", "Splitter", 200);
    HostRegistry root;
    EXPECT_EQ(root.ReadInteger("Publisher", "Width", 0), 800);
    EXPECT_EQ(root.ReadInteger("Publisher\\Layout", "Splitter", 0), 200);
    EXPECT_EQ(publisher.ReadInteger("", "Splitter", -1), -1);
}

TEST_F(ServicesTest, ModulesDoNotShareCacheKeys)
{
    ApiRef<CacheApi> alpha = Service<CacheApi>(m_alpha.Get());
    ApiRef<CacheApi> beta = Service<CacheApi>(m_beta.Get());
    ASSERT_TRUE(alpha && beta);
    ApiRef<DataApi> one = ApiRef<DataApi>::Adopt(new Bytes("alpha's"));
    ApiRef<DataApi> two = ApiRef<DataApi>::Adopt(new Bytes("beta's"));
    ASSERT_EQ(alpha->Store("key", one.Get(), 0), 1);
    ASSERT_EQ(beta->Store("key", two.Get(), 0), 1);

    ApiRef<DataApi> readAlpha = ApiRef<DataApi>::Adopt(alpha->Lookup("key", 0));
    ApiRef<DataApi> readBeta = ApiRef<DataApi>::Adopt(beta->Lookup("key", 0));
    EXPECT_EQ(TextOf(readAlpha.Get()), "alpha's");
    EXPECT_EQ(TextOf(readBeta.Get()), "beta's");
    // The host's own cache sees the keys as the disk cache stores them.
    ApiRef<DataApi> raw = ApiRef<DataApi>::Adopt(m_host.Cache().Lookup("ServicesAlpha.key", 0));
    EXPECT_EQ(TextOf(raw.Get()), "alpha's");

    alpha->Remove("key");
    EXPECT_EQ(alpha->Lookup("key", 0), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND);
    ApiRef<DataApi> stillBeta = ApiRef<DataApi>::Adopt(beta->Lookup("key", 0));
    EXPECT_EQ(TextOf(stillBeta.Get()), "beta's");
}

TEST_F(ServicesTest, FileViewsOfOneUrlShareTheModulesView)
{
    const std::string path = m_folder.File("data.bin");
    std::ofstream(path) << "view bytes";
    ApiRef<UrlApi> url = MakeUrl("file://" + path);

    ApiRef<FileViewApi> first = Service<FileViewApi>(nullptr);
    ApiRef<FileViewApi> second = Service<FileViewApi>(nullptr);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->GetBytes(), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_FUNCTION);
    ASSERT_EQ(first->Open(url.Get()), 1);
    ASSERT_EQ(second->Open(url.Get()), 1);
    EXPECT_EQ(TextOf(first.Get()), "view bytes");
    // One module view behind both: the very same bytes.
    EXPECT_EQ(first->GetBytes(), second->GetBytes());
    EXPECT_EQ(first->Open(url.Get()), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_ALREADY_INITIALIZED);

    ApiRef<FileViewApi> missing = Service<FileViewApi>(nullptr);
    ApiRef<UrlApi> gone = MakeUrl("file://" + m_folder.File("gone.bin"));
    EXPECT_EQ(missing->Open(gone.Get()), 0);
}

namespace {

// A URL the host did not make, as a module might keep its own.
class ForeignUrl : public RefCounted<UrlApi> {
public:
    int32_t LUMO_CALL SetText(const char*) override { return 1; }
    const char* LUMO_CALL GetScheme() override { return "file"; }
    const char* LUMO_CALL GetHost() override { return nullptr; }
    const char* LUMO_CALL GetPath() override { return "a.mp3"; }
    int32_t LUMO_CALL GetParamCount() override { return 0; }
    const char* LUMO_CALL GetParamName(int32_t) override { return nullptr; }
    const char* LUMO_CALL GetParamValue(int32_t) override { return nullptr; }
    const char* LUMO_CALL GetParam(const char*) override { return nullptr; }
    const char* LUMO_CALL GetText() override { return "file:///a.mp3"; }
    const char* LUMO_CALL GetLocalPart() override { return "/a.mp3"; }
};

class ListingRecordTest : public ServicesTest {
protected:
    ListingRecordTest() : m_listed(Service<ListedFileApi>(m_alpha.Get())) { }

    static ListedFile Record(uint64_t sizeBytes)
    {
        ListedFile record{};
        record.size = sizeof record;
        record.flags = c_ListedReadable;
        record.fileType = c_ListedRegular;
        record.sizeBytes = sizeBytes;
        record.modifiedNs = 1700000000123456789;
        record.inode = 42;
        return record;
    }

    ApiRef<ListedFileApi> m_listed;
};

} // namespace

TEST_F(ListingRecordTest, ARecordIsAttachedOnceAndReadBackWhole)
{
    ASSERT_TRUE(m_listed);
    ApiRef<UrlApi> url = MakeUrl("file:///music/a.mp3");
    ListedFile read{};
    read.size = sizeof read;
    EXPECT_EQ(m_listed->Read(url.Get(), &read, 0), 0) << "nothing attached yet";
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND);

    const ListedFile record = Record(1234);
    ASSERT_NE(m_listed->Attach(url.Get(), &record), 0);
    ASSERT_NE(m_listed->Read(url.Get(), &read, c_ListedFileFreshMs), 0);
    EXPECT_EQ(std::memcmp(&read, &record, sizeof record), 0);

    const ListedFile other = Record(99);
    EXPECT_EQ(m_listed->Attach(url.Get(), &other), 0) << "a URL handed out never changes";
    EXPECT_EQ(LumoGetLastError(), ERROR_ALREADY_INITIALIZED);
    ASSERT_NE(m_listed->Read(url.Get(), &read, 0), 0);
    EXPECT_EQ(read.sizeBytes, 1234u);
}

TEST_F(ListingRecordTest, RecordsOfOtherVersionsMeetAtTheSmallerSize)
{
    // A reader of an older version knows only the fields up to sizeBytes.
    ApiRef<UrlApi> url = MakeUrl("file:///music/b.mp3");
    const ListedFile record = Record(777);
    ASSERT_NE(m_listed->Attach(url.Get(), &record), 0);
    struct OlderRecord {
        ListedFile head;
        uint64_t guard;
    } older{};
    older.head.size = offsetof(ListedFile, modifiedNs);
    older.head.modifiedNs = -1;
    older.guard = 0x5A5A5A5A5A5A5A5Aull;
    ASSERT_NE(m_listed->Read(url.Get(), &older.head, 0), 0);
    EXPECT_EQ(older.head.size, offsetof(ListedFile, modifiedNs));
    EXPECT_EQ(older.head.sizeBytes, 777u);
    EXPECT_EQ(older.head.modifiedNs, -1) << "nothing is written past the size the reader gave";
    EXPECT_FALSE(ListedFileHas(older.head, offsetof(ListedFile, inode) + sizeof(uint64_t)));

    // A filler of an older version sent less: the reader's later fields are zero, and it sees
    // from size that they were never filled.
    ApiRef<UrlApi> shortUrl = MakeUrl("file:///music/c.mp3");
    ListedFile shortRecord = Record(5);
    shortRecord.size = offsetof(ListedFile, modifiedNs);
    ASSERT_NE(m_listed->Attach(shortUrl.Get(), &shortRecord), 0);
    ListedFile read{};
    read.size = sizeof read;
    read.inode = 77;
    ASSERT_NE(m_listed->Read(shortUrl.Get(), &read, 0), 0);
    EXPECT_EQ(read.size, offsetof(ListedFile, modifiedNs));
    EXPECT_EQ(read.sizeBytes, 5u);
    EXPECT_EQ(read.inode, 0u);
}

TEST_F(ListingRecordTest, BadArgumentsForeignUrlsAndOldRecordsAreRefused)
{
    const ListedFile record = Record(1);
    ApiRef<UrlApi> foreign = ApiRef<UrlApi>::Adopt(new ForeignUrl());
    EXPECT_EQ(m_listed->Attach(foreign.Get(), &record), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(m_listed->Attach(nullptr, &record), 0);
    ApiRef<UrlApi> url = MakeUrl("file:///music/d.mp3");
    EXPECT_EQ(m_listed->Attach(url.Get(), nullptr), 0);
    ListedFile tiny = record;
    tiny.size = 4;
    EXPECT_EQ(m_listed->Attach(url.Get(), &tiny), 0) << "a record must at least tell the type";
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);

    ListedFile read{};
    read.size = sizeof read;
    EXPECT_EQ(m_listed->Read(foreign.Get(), &read, 0), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND);
    read.size = 0;
    EXPECT_EQ(m_listed->Read(url.Get(), &read, 0), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);

    ASSERT_NE(m_listed->Attach(url.Get(), &record), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    read.size = sizeof read;
    EXPECT_EQ(m_listed->Read(url.Get(), &read, 10), 0) << "older than the reader accepts";
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND);
    EXPECT_NE(m_listed->Read(url.Get(), &read, 10000), 0);
}
