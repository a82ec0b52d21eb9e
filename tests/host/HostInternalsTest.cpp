#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include <lumo/Errors.h>
#include <lumo/Url.h>

#include "common/Exceptions.h"
#include "host/HostInternals.h"
#include "support/HostFolder.h"

using namespace LumoApi;

namespace {

// A module whose references the test can count.
class CountedModule : public RefCounted<ModuleApi> {
public:
    explicit CountedModule(int& alive) : m_alive(alive) { ++m_alive; }
    ~CountedModule() override { --m_alive; }
    int32_t LUMO_CALL Initialize(HostProgramApi*) override { return 1; }
    const char* LUMO_CALL GetDisplayName() override { return "Counted"; }
    const char* LUMO_CALL GetId() override { return "Counted"; }

private:
    int& m_alive;
};

class HostInternalsTest : public ::testing::Test {
protected:
    HostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
};

} // namespace

TEST_F(HostInternalsTest, RecordsItsFoldersAndComputerName)
{
    EXPECT_EQ(m_host.ProgramFolder(), m_folder.Path());
    EXPECT_EQ(m_host.ProgramFolder().back(), '/');
    EXPECT_TRUE(m_host.DataFolder().ends_with("/Lumo Desktop"));
    EXPECT_TRUE(std::filesystem::is_directory(m_host.DataFolder()));
    EXPECT_LE(std::string(m_host.GetComputerName()).size(), 15u);
    EXPECT_EQ(m_host.GetComputerName(), m_host.ComputerName().c_str());
    EXPECT_EQ(HostInternals::Instance(), &m_host);
}

TEST_F(HostInternalsTest, CatalogueAnswersByExactIdentifier)
{
    Api* self = m_host.GetApi("HostProgramApi", nullptr);
    EXPECT_EQ(self, static_cast<Api*>(&m_host));

    ApiRef<Api> first = ApiRef<Api>::Adopt(m_host.GetApi("UrlApi", nullptr));
    ApiRef<Api> second = ApiRef<Api>::Adopt(m_host.GetApi("UrlApi", nullptr));
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.Get(), second.Get());

    ApiRef<Api> builder = ApiRef<Api>::Adopt(m_host.GetApi("UrlBuilderApi", nullptr));
    EXPECT_TRUE(builder);

    // The groups are single objects; the per-module services are new each time.
    EXPECT_EQ(m_host.GetApi("MediaApi", nullptr), m_host.GetApi("MediaApi", nullptr));
    EXPECT_EQ(m_host.GetApi("FormatApi", nullptr), m_host.GetApi("FormatApi", nullptr));
    EXPECT_EQ(m_host.GetApi("ComHelpApi", nullptr), m_host.GetApi("ComHelpApi", nullptr));
    int alive = 0;
    ApiRef<ModuleApi> module = ApiRef<ModuleApi>::Adopt(new CountedModule(alive));
    for (const char* perModule : {"RegistryApi", "CacheApi", "LogApi"}) {
        ApiRef<Api> one = ApiRef<Api>::Adopt(m_host.GetApi(perModule, module.NewRef()));
        ApiRef<Api> two = ApiRef<Api>::Adopt(m_host.GetApi(perModule, module.NewRef()));
        ASSERT_TRUE(one && two) << perModule;
        EXPECT_NE(one.Get(), two.Get()) << perModule;
        LumoSetLastError(0);
        EXPECT_EQ(m_host.GetApi(perModule, nullptr), nullptr) << perModule;
        EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER) << perModule;
    }
    ApiRef<Api> view = ApiRef<Api>::Adopt(m_host.GetApi("FileViewApi", nullptr));
    EXPECT_TRUE(view);

    for (const char* unknown : {"urlapi", "HOSTPROGRAMAPI", "NoSuchApi", ""}) {
        LumoSetLastError(0);
        EXPECT_EQ(m_host.GetApi(unknown, nullptr), nullptr) << unknown;
        EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER) << unknown;
    }
    LumoSetLastError(0);
    EXPECT_EQ(m_host.GetApi(nullptr, nullptr), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(HostInternalsTest, UrlFromTheCatalogueIsEmptyAndUsable)
{
    ApiRef<UrlApi> url = ApiRef<UrlApi>::Adopt(static_cast<UrlApi*>(m_host.GetApi("UrlApi", nullptr)));
    ASSERT_TRUE(url);
    EXPECT_EQ(url->GetText(), nullptr);
    ASSERT_NE(url->SetText("file:///music/a%20b.mp3"), 0);
    EXPECT_STREQ(url->GetPath(), "music/a b.mp3");
}

TEST_F(HostInternalsTest, GetApiReleasesTheReferenceToTheAskingModule)
{
    int alive = 0;
    auto* module = new CountedModule(alive);
    // The caller hands over a reference of its own for each call.
    module->AddRef();
    ApiRef<Api> url = ApiRef<Api>::Adopt(m_host.GetApi("UrlApi", module));
    EXPECT_TRUE(url);
    EXPECT_EQ(alive, 1);
    // An unknown identifier releases it too.
    EXPECT_EQ(m_host.GetApi("Nothing", module), nullptr);
    EXPECT_EQ(alive, 0);
}

TEST(HostInternals, ModulesLoadInOrderAndServicesAreBuilt)
{
    HostFolder folder;
    HostInternals host(folder.Path());
    ASSERT_EQ(host.Modules().Count(), 3u);
    EXPECT_EQ(host.Modules()[host.Modules().Count() - 1].Id(), "LumoShellLink");
    EXPECT_NO_THROW(host.Modules().ModuleById("LumoCache"));
    EXPECT_EQ(host.MediaClasses().Count(), 1u);
    EXPECT_EQ(host.MediaClasses().ById("FixtureMedia").Id(), "FixtureMedia");
}

TEST(HostInternals, NoDiskCacheModuleMeansNoHost)
{
    ModuleFolder folder({"fixture_media"});
    try {
        HostInternals host(folder.Path());
        FAIL() << "a host without the disk cache module must not be built";
    } catch (const WinErrorException& error) {
        EXPECT_EQ(error.ErrorCode(), ERROR_NOT_FOUND);
    }
    EXPECT_EQ(HostInternals::Instance(), nullptr);
}

TEST(HostInternals, DataFolderFollowsXdgDataHome)
{
    ModuleFolder data;
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string previous = saved ? saved : "";
    setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
    {
        HostFolder program;
        HostInternals host(program.Path());
        EXPECT_EQ(host.DataFolder(), data.Path() + "Lumo Desktop");
        EXPECT_TRUE(std::filesystem::is_directory(host.DataFolder()));
    }
    if (saved)
        setenv("XDG_DATA_HOME", previous.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

TEST(HostInternals, InstanceIsClearedWithTheHost)
{
    HostFolder folder;
    {
        HostInternals host(folder.Path());
        EXPECT_EQ(HostInternals::Instance(), &host);
    }
    EXPECT_EQ(HostInternals::Instance(), nullptr);
}
