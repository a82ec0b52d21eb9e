#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <lumo/Errors.h>

#include "common/Exceptions.h"
#include "host/ModuleGroup.h"
#include "support/ModuleFolder.h"

namespace {

// The modules see a host that offers nothing; the group needs no more.
class NoServices : public LumoApi::RefNeutral<LumoApi::HostProgramApi> {
public:
    void* LUMO_CALL GetWindow() override { return nullptr; }
    const char* LUMO_CALL GetComputerName() override { return "test"; }
    LumoApi::Api* LUMO_CALL GetApi(const char*, LumoApi::ModuleApi* module) override
    {
        if (module)
            module->Release();
        LumoSetLastError(LumoApi::ERROR_INVALID_PARAMETER);
        return nullptr;
    }
};

// A module group loaded from a folder.
class LoadedGroup {
public:
    explicit LoadedGroup(const ModuleFolder& folder) : m_group(folder.Path(), &m_host) { m_group.Initialize(); }
    ModuleGroup& Modules() { return m_group; }

private:
    NoServices m_host;
    ModuleGroup m_group;
};

std::vector<std::string> Ids(LoadedGroup& host)
{
    std::vector<std::string> ids;
    for (size_t index = 0; index < host.Modules().Count(); ++index)
        ids.push_back(host.Modules()[index].Id());
    return ids;
}

} // namespace

TEST(ModuleGroup, EmptyFolderStillHasTheBuiltInModule)
{
    ModuleFolder folder;
    LoadedGroup host(folder);
    ASSERT_EQ(host.Modules().Count(), 1u);
    const Module& module = host.Modules()[0];
    EXPECT_EQ(module.Id(), "LumoShellLink");
    EXPECT_EQ(module.DisplayName(), "Shell Link Support");
    EXPECT_TRUE(module.File().empty());
}

TEST(ModuleGroup, FailingModuleOfAGroupIsLeftOutAndTheOthersKeepTheirIndexes)
{
    ModuleFolder folder({"fixture_group_of_three"});
    LoadedGroup host(folder);
    ASSERT_EQ(Ids(host), (std::vector<std::string>{"GroupA", "GroupC", "LumoShellLink"}));
    EXPECT_EQ(host.Modules()[0].Index(), 0);
    EXPECT_EQ(host.Modules()[1].Index(), 2);
    EXPECT_EQ(host.Modules()[1].DisplayName(), "Group Module C");
    EXPECT_EQ(host.Modules()[0].File(), folder.File("fixture_group_of_three.so"));
}

TEST(ModuleGroup, GroupModulesComeBeforeSingleModulesAndBothKindsOfOneLibraryLoad)
{
    ModuleFolder folder({"fixture_new_object", "fixture_group_and_module"});
    LoadedGroup host(folder);
    const std::vector<std::string> ids = Ids(host);
    ASSERT_EQ(ids.size(), 4u);
    EXPECT_EQ(ids[0], "BothGroupMember");
    // The two single-module libraries come in directory order, which nothing sorts.
    EXPECT_TRUE(
        (ids[1] == "BothSingle" && ids[2] == "FixtureNew") || (ids[1] == "FixtureNew" && ids[2] == "BothSingle"));
    EXPECT_EQ(ids[3], "LumoShellLink");
}

TEST(ModuleGroup, BrokenLibrariesAreSkippedSilently)
{
    ModuleFolder folder({"fixture_no_entry", "fixture_no_dllapi", "fixture_init_fails", "fixture_new_object"});
    LoadedGroup host(folder);
    EXPECT_EQ(Ids(host), (std::vector<std::string>{"FixtureNew", "LumoShellLink"}));
    EXPECT_FALSE(ModuleFolder::IsLoaded(folder.File("fixture_no_entry.so")));
    EXPECT_FALSE(ModuleFolder::IsLoaded(folder.File("fixture_init_fails.so")));
}

TEST(ModuleGroup, LookupById)
{
    ModuleFolder folder({"fixture_group_of_three"});
    LoadedGroup host(folder);
    EXPECT_EQ(host.Modules().ModuleById("GroupC").Index(), 2);
    // Asked twice, the memo answers the same record.
    EXPECT_EQ(&host.Modules().ModuleById("GroupC"), &host.Modules().ModuleById("GroupC"));
    EXPECT_EQ(host.Modules().ModuleById("GroupA").Index(), 0);
    try {
        host.Modules().ModuleById("groupa");
        FAIL() << "a lookup in another letter case must fail";
    } catch (const WinErrorException& error) {
        EXPECT_EQ(error.ErrorCode(), LumoApi::ERROR_NOT_FOUND);
    }
    EXPECT_THROW(host.Modules().ModuleById("GroupB"), WinErrorException);
}

TEST(ModuleGroup, InitializeTwiceIsAnAssertionAndLoadsNothingMore)
{
    ModuleFolder folder({"fixture_new_object"});
    LoadedGroup host(folder);
    const size_t count = host.Modules().Count();
    EXPECT_THROW(host.Modules().Initialize(), LumoAssertException);
    EXPECT_EQ(host.Modules().Count(), count);
}

TEST(ModuleGroup, ModuleApisComeThroughTheModulesGroup)
{
    ModuleFolder folder({"fixture_group_of_three"});
    LoadedGroup host(folder);
    const Module& module = host.Modules().ModuleById("GroupA");
    EXPECT_FALSE(module.GetApi("FormatApi"));
    EXPECT_EQ(LumoGetLastError(), LumoApi::ERROR_INVALID_PARAMETER);
    try {
        module.GetRequiredApi("MediaApi");
        FAIL() << "a missing required API must raise";
    } catch (const WinErrorException& error) {
        EXPECT_EQ(error.ErrorCode(), LumoApi::ERROR_INVALID_PARAMETER);
    }
    EXPECT_TRUE(module.GetApi("ModuleApi"));
}

TEST(ModuleGroup, ShutDownUnloadsEveryLibrary)
{
    ModuleFolder folder({"fixture_new_object", "fixture_group_of_three", "fixture_group_and_module"});
    {
        LoadedGroup host(folder);
        EXPECT_TRUE(ModuleFolder::IsLoaded(folder.File("fixture_new_object.so")));
        EXPECT_TRUE(ModuleFolder::IsLoaded(folder.File("fixture_group_of_three.so")));
    }
    EXPECT_FALSE(ModuleFolder::IsLoaded(folder.File("fixture_new_object.so")));
    EXPECT_FALSE(ModuleFolder::IsLoaded(folder.File("fixture_group_of_three.so")));
    EXPECT_FALSE(ModuleFolder::IsLoaded(folder.File("fixture_group_and_module.so")));
}
