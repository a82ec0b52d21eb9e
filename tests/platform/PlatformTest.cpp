#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include <lumo/Errors.h>
#include <lumo/Module.h>
#include <lumo/Platform.h>

#include "platform/Library.h"
#include "platform/MessageBox.h"
#include "platform/System.h"

using namespace LumoApi;

namespace {

uint32_t LastErrorOnNewThread(uint32_t (*body)())
{
    uint32_t seen = 0xFFFFFFFFu;
    std::thread([&] { seen = body(); }).join();
    return seen;
}

// Two adjacent pages, the second unreadable.
class GuardedPage {
public:
    GuardedPage()
    {
        m_size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* memory = mmap(nullptr, 2 * m_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            ADD_FAILURE() << "mmap failed";
            return;
        }
        m_memory = static_cast<char*>(memory);
        std::memset(m_memory, 'x', m_size);
        if (mprotect(m_memory + m_size, m_size, PROT_NONE) != 0)
            ADD_FAILURE() << "mprotect failed";
    }
    ~GuardedPage()
    {
        if (m_memory)
            munmap(m_memory, 2 * m_size);
    }
    GuardedPage(const GuardedPage&) = delete;
    GuardedPage& operator=(const GuardedPage&) = delete;

    // The last n readable bytes, right before the unreadable page.
    char* Tail(size_t n) const { return m_memory + m_size - n; }
    char* Unreadable() const { return m_memory + m_size; }
    size_t PageSize() const { return m_size; }

private:
    char* m_memory = nullptr;
    size_t m_size = 0;
};

} // namespace

TEST(LastError, IsPerThread)
{
    LumoSetLastError(ERROR_NOT_FOUND);
    EXPECT_EQ(LastErrorOnNewThread([] { return LumoGetLastError(); }), ERROR_SUCCESS);
    EXPECT_EQ(LastErrorOnNewThread([] {
        LumoSetLastError(ERROR_INVALID_PARAMETER);
        return LumoGetLastError();
    }),
        ERROR_INVALID_PARAMETER);
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND);
}

// A subject left from an earlier failure would name the wrong file in the next one's message.
TEST(LastError, ASubjectBelongsToTheCodeItWasSetWith)
{
    LumoSetLastError(ERROR_INVALID_DATA);
    LumoSetLastErrorSubject("/data/Published.db");
    EXPECT_STREQ(LumoGetLastErrorSubject(), "/data/Published.db");
    EXPECT_EQ(LastErrorOnNewThread([] { return uint32_t(*LumoGetLastErrorSubject()); }), 0u);
    LumoSetLastError(ERROR_NOT_FOUND);
    EXPECT_STREQ(LumoGetLastErrorSubject(), "");
}

TEST(LastError, ModuleAndHostShareTheSlotOfTheirThread)
{
    const std::string path = std::string(LUMO_FIXTURE_DIR) + "/fixture_last_error.so";
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto getApi = reinterpret_cast<GetApiFunction>(dlsym(library, c_GetApiSymbol));
    ASSERT_NE(getApi, nullptr);
    ApiRef<ModuleApi> module = ApiRef<ModuleApi>::Adopt(static_cast<ModuleApi*>(getApi(ModuleApi::TypeId)));
    ASSERT_TRUE(module);
    EXPECT_STREQ(module->GetId(), "FixtureLastError");

    LumoSetLastError(ERROR_SUCCESS);
    EXPECT_EQ(module->Initialize(nullptr), 1);
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND);

    // The module's code on another thread touches that thread's slot only.
    LumoSetLastError(ERROR_CANTREAD);
    uint32_t other = 0;
    std::thread([&] {
        module->Initialize(nullptr);
        other = LumoGetLastError();
    }).join();
    EXPECT_EQ(other, ERROR_NOT_FOUND);
    EXPECT_EQ(LumoGetLastError(), ERROR_CANTREAD);

    module.Reset();
    dlclose(library);
}

TEST(MessageBox, DefaultButton)
{
    using namespace Platform;
    struct Case {
        uint32_t style;
        int answer;
    };
    const Case cases[] = {
        {MB_OK, IDOK},
        {MB_OK | MB_DEFBUTTON2, IDOK},
        {MB_OKCANCEL, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_OKCANCEL | MB_DEFBUTTON3, IDOK},
        {MB_YESNOCANCEL, IDYES},
        {MB_YESNOCANCEL | MB_DEFBUTTON2, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_YESNO | MB_DEFBUTTON2, IDNO},
        {MB_YESNO | MB_DEFBUTTON3, IDYES},
        {MB_RETRYCANCEL, IDRETRY},
        {MB_RETRYCANCEL | MB_DEFBUTTON2, IDCANCEL},
        // Icon and modality bits do not change the buttons: the assertion dialog's style.
        {0x42113, IDNO},
        {MB_YESNO | MB_ICONQUESTION | MB_TOPMOST, IDYES},
    };
    for (const Case& test : cases)
        EXPECT_EQ(DefaultButton(test.style), test.answer) << std::hex << test.style;
}

TEST(MessageBox, HandlerAnswersAndCanBeRemoved)
{
    using namespace Platform;
    static std::string seen;
    const MessageBoxHandler previous = SetMessageBoxHandler([](const char* text, const char* caption, uint32_t style) {
        seen = std::string(caption) + "|" + text + "|" + std::to_string(style);
        return IDRETRY;
    });
    EXPECT_TRUE(HasMessageBoxHandler());
    EXPECT_EQ(ShowMessageBox("Body", "Title", MB_YESNO), IDRETRY);
    EXPECT_EQ(seen, "Title|Body|4");
    EXPECT_EQ(ShowMessageBox(nullptr, nullptr, MB_OK), IDRETRY);
    EXPECT_EQ(seen, "||0");

    SetMessageBoxHandler(previous);
    EXPECT_FALSE(HasMessageBoxHandler());
    // Nobody to ask: the default button answers.
    EXPECT_EQ(ShowMessageBox("Body", "Title", MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
}

TEST(MemoryProbe, IsBadStringPtr)
{
    using Platform::IsBadStringPtr;
    EXPECT_TRUE(IsBadStringPtr(nullptr, 100));
    EXPECT_FALSE(IsBadStringPtr("ModuleApi", 100));
    EXPECT_FALSE(IsBadStringPtr("", 1));

    GuardedPage page;
    EXPECT_TRUE(IsBadStringPtr(page.Unreadable(), 1));
    // The string ends on the page's last byte.
    char* tail = page.Tail(4);
    tail[3] = '\0';
    EXPECT_FALSE(IsBadStringPtr(tail, 100));
    // No NUL before the unreadable page: bad once the limit reaches past it, fine while it does not.
    tail[3] = 'x';
    EXPECT_TRUE(IsBadStringPtr(tail, 5));
    EXPECT_FALSE(IsBadStringPtr(tail, 4));
    // A long string that crosses from one page into the next is read in pieces.
    EXPECT_TRUE(IsBadStringPtr(page.Tail(page.PageSize()), page.PageSize() + 1));
}

TEST(MemoryProbe, IsBadReadPtr)
{
    using Platform::IsBadReadPtr;
    const int value = 1;
    EXPECT_TRUE(IsBadReadPtr(nullptr, 4));
    EXPECT_FALSE(IsBadReadPtr(&value, sizeof value));
    GuardedPage page;
    EXPECT_FALSE(IsBadReadPtr(page.Tail(8), 8));
    EXPECT_TRUE(IsBadReadPtr(page.Tail(8), 9));
    EXPECT_TRUE(IsBadReadPtr(page.Unreadable(), 1));
}

TEST(FindFiles, MatchesTheLastComponentOnly)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lumo-find-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path folder = pattern;
    for (const char* name : {"a.so", "b.so", "c.txt", "ab.so.1", ".hidden.so"})
        std::ofstream(folder / name) << "x";
    std::filesystem::create_directory(folder / "dir.so");

    auto find = [&](const std::string& mask) {
        std::vector<std::string> names = Platform::FindFiles((folder / mask).string());
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(find("*.so"), (std::vector<std::string>{"a.so", "b.so", "dir.so"}));
    EXPECT_EQ(find("?.so"), (std::vector<std::string>{"a.so", "b.so"}));
    EXPECT_EQ(find("*"), (std::vector<std::string>{"a.so", "ab.so.1", "b.so", "c.txt", "dir.so"}));
    EXPECT_TRUE(find("*.dll").empty());
    EXPECT_TRUE(find("missing/*.so").empty());

    std::filesystem::remove_all(folder);
}

TEST(CodeFromErrno, CommonValues)
{
    using Platform::CodeFromErrno;
    EXPECT_EQ(CodeFromErrno(0), 0u);
    EXPECT_EQ(CodeFromErrno(ENOENT), 2u);
    EXPECT_EQ(CodeFromErrno(EACCES), 5u);
    EXPECT_EQ(CodeFromErrno(EPERM), 5u);
    EXPECT_EQ(CodeFromErrno(ENOMEM), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(CodeFromErrno(EINVAL), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CodeFromErrno(EXDEV), ERROR_INTERNAL_ERROR);
}
