#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "CacheModuleSupport.h"

using namespace CacheTest;

namespace {

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A view opened on url, or null with Open's last error in *error.
ApiRef<FileViewApi> OpenView(UrlApi* url, uint32_t* error = nullptr)
{
    ApiRef<FileViewApi> view = ModuleApiOf<FileViewApi>();
    LumoSetLastError(0);
    const bool opened = view && view->Open(url);
    if (error)
        *error = opened ? 0 : LumoGetLastError();
    return opened ? view : ApiRef<FileViewApi>();
}

class FileViewTest : public testing::Test {
protected:
    TempFolder m_folder;
};

TEST_F(FileViewTest, ShowsTheFileByteForByte)
{
    const std::string path = m_folder.File("name with spaces.bin");
    WriteFile(path, Pattern(5, 300001));
    ApiRef<FileViewApi> view = OpenView(FileUrl(path).Get());
    ASSERT_TRUE(view);
    EXPECT_EQ(view->GetSize(), 300001u);
    EXPECT_NE(view->Prefetch(0, 4096, 0), 0);
    EXPECT_EQ(BytesOf(*view), Pattern(5, 300001));
    EXPECT_EQ(view->GetBytes(), view->GetBytes()) << "read once, then kept";
}

TEST_F(FileViewTest, OpenFailsWithTheFittingCode)
{
    const std::string file = m_folder.File("present");
    WriteFile(file, {1, 2, 3});
    ASSERT_EQ(mkfifo(m_folder.File("fifo").c_str(), 0600), 0);
    auto url = [](const char* scheme, const char* host, const std::string& path) {
        return ApiRef<UrlApi>::Adopt(new FakeUrl(scheme, host, path.substr(1)));
    };
    struct Case {
        const char* what;
        ApiRef<UrlApi> url;
        uint32_t error;
    };
    const Case cases[] = {
        {"missing file", FileUrl(m_folder.File("absent")), ERROR_NOT_FOUND},
        {"file as folder", FileUrl(file + "/below"), ERROR_NOT_FOUND},
        {"folder", FileUrl(m_folder.File("")), 5},
        {"root", url("file", "", "/"), 5},
        // Refused without blocking in open() until a writer comes.
        {"pipe", FileUrl(m_folder.File("fifo")), 5},
        {"other scheme", url("http", "", file), ERROR_INVALID_PARAMETER},
        {"no scheme", url("", "", file), ERROR_INVALID_PARAMETER},
        {"remote host", url("file", "server", file), ERROR_INVALID_PARAMETER},
        {"local host", url("file", "localhost", file), 0},
        {"no URL", ApiRef<UrlApi>(), ERROR_INVALID_PARAMETER},
    };
    for (const Case& test : cases) {
        uint32_t error = 0;
        OpenView(test.url.Get(), &error);
        EXPECT_EQ(error, test.error) << test.what;
    }
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(file.c_str(), 0), 0);
        uint32_t error = 0;
        EXPECT_FALSE(OpenView(FileUrl(file).Get(), &error));
        EXPECT_EQ(error, 5u) << "unreadable";
    }
}

TEST_F(FileViewTest, ServesNothingBeforeOpenAndOpensOnlyOnce)
{
    WriteFile(m_folder.File("first"), {1, 1});
    WriteFile(m_folder.File("second"), {2, 2, 2});
    ApiRef<FileViewApi> view = ModuleApiOf<FileViewApi>();
    ASSERT_TRUE(view);
    LumoSetLastError(0);
    EXPECT_EQ(view->GetSize(), 0u);
    EXPECT_EQ(view->GetBytes(), nullptr);
    EXPECT_EQ(view->Prefetch(0, 1, 0), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_FUNCTION);

    // A failed Open leaves the view free for another.
    EXPECT_EQ(view->Open(FileUrl(m_folder.File("absent")).Get()), 0);
    ASSERT_NE(view->Open(FileUrl(m_folder.File("first")).Get()), 0);
    EXPECT_EQ(view->Open(FileUrl(m_folder.File("second")).Get()), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_ALREADY_INITIALIZED);
    EXPECT_EQ(BytesOf(*view), (std::vector<uint8_t>{1, 1}));
}

// The file shrinks between Open and the first read: the view keeps its size and reads zeros
// past the new end, where a mapped view would raise SIGBUS.
TEST_F(FileViewTest, FileTruncatedWhileViewedReadsAsZeros)
{
    const std::vector<uint8_t> content = Pattern(9, 1 << 20);
    for (const size_t keptBytes : {size_t(0), content.size() / 2 + 3}) {
        const std::string path = m_folder.File("shrinking");
        WriteFile(path, content);
        ApiRef<FileViewApi> view = OpenView(FileUrl(path).Get());
        ASSERT_TRUE(view);
        std::filesystem::resize_file(path, keptBytes);

        std::vector<uint8_t> expected(content.begin(), content.begin() + std::ptrdiff_t(keptBytes));
        expected.resize(content.size(), 0);
        EXPECT_EQ(view->GetSize(), content.size());
        EXPECT_EQ(BytesOf(*view), expected) << keptBytes;
    }
}

TEST_F(FileViewTest, HugeFilesAreMeasuredButNotRead)
{
    const std::pair<uint64_t, uint32_t> cases[] = {{(1ull << 30) + 1, (1u << 30) + 1}, {5ull << 30, 0xFFFFFFFF}};
    for (const auto& [fileBytes, size] : cases) {
        const std::string path = m_folder.File("sparse");
        WriteFile(path, {});
        std::filesystem::resize_file(path, fileBytes);
        ApiRef<FileViewApi> view = OpenView(FileUrl(path).Get());
        ASSERT_TRUE(view);
        EXPECT_EQ(view->GetSize(), size);
        LumoSetLastError(0);
        EXPECT_EQ(view->GetBytes(), nullptr);
        EXPECT_EQ(LumoGetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    }
}

// The host hands one view to several holders; they read it at once.
TEST_F(FileViewTest, SharedViewReadsOnceForAllThreads)
{
    const std::vector<uint8_t> content = Pattern(11, 4 << 20);
    WriteFile(m_folder.File("shared"), content);
    ApiRef<FileViewApi> view = OpenView(FileUrl(m_folder.File("shared")).Get());
    ASSERT_TRUE(view);
    const uint8_t* seen[4] = {};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&, thread] {
            view->Prefetch(0, uint32_t(content.size()), 0);
            EXPECT_EQ(view->GetSize(), content.size());
            seen[thread] = view->GetBytes();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    ASSERT_NE(seen[0], nullptr);
    for (const uint8_t* bytes : seen)
        EXPECT_EQ(bytes, seen[0]);
    EXPECT_EQ(std::memcmp(seen[0], content.data(), content.size()), 0);
}

} // namespace
