#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include <lumo/Module.h>

#include "common/Exceptions.h"
#include "lumoapi/ApiManager.h"
#include "support/ModuleFolder.h"

using namespace LumoApi;

namespace {

// Keeps a library mapped for the test's own look at it, so counters exported by a fixture can
// be read even after the manager has dropped its load.
class Peek {
public:
    explicit Peek(const std::string& path) : m_handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
    {
        EXPECT_NE(m_handle, nullptr) << dlerror();
    }
    ~Peek()
    {
        if (m_handle)
            dlclose(m_handle);
    }
    Peek(const Peek&) = delete;
    Peek& operator=(const Peek&) = delete;

    int Call(const char* name) const
    {
        auto function = reinterpret_cast<int (*)()>(m_handle ? dlsym(m_handle, name) : nullptr);
        if (!function) {
            ADD_FAILURE() << name << " not exported";
            return -1;
        }
        return function();
    }

private:
    void* m_handle;
};

// A host API: never came from a library.
class HostModule : public RefNeutral<ModuleApi> {
public:
    int32_t LUMO_CALL Initialize(HostProgramApi*) override { return 1; }
    const char* LUMO_CALL GetDisplayName() override { return "Host"; }
    const char* LUMO_CALL GetId() override { return "Host"; }
};

// Without a message-box handler, failed checks answer what $LUMO_ASSERT says.
class ScopedAssertAnswer {
public:
    explicit ScopedAssertAnswer(const char* answer)
    {
        if (const char* previous = std::getenv("LUMO_ASSERT"))
            m_previous = previous;
        Set(answer);
    }
    ~ScopedAssertAnswer()
    {
        if (m_previous)
            setenv("LUMO_ASSERT", m_previous->c_str(), 1);
        else
            unsetenv("LUMO_ASSERT");
    }
    void Set(const char* answer) { setenv("LUMO_ASSERT", answer, 1); }

private:
    std::optional<std::string> m_previous;
};

std::string IdOf(const ApiRef<Api>& api)
{
    return static_cast<ModuleApi*>(api.Get())->GetId();
}

const ApiManager::Module* OnlyModule(const ApiManager& manager)
{
    EXPECT_EQ(manager.Modules().size(), 1u);
    return manager.Modules().empty() ? nullptr : manager.Modules().front().get();
}

} // namespace

TEST(ApiManager, BrokenLibrariesAreSkippedAndUnloadedAgain)
{
    ModuleFolder folder({"fixture_no_entry", "fixture_no_dllapi", "fixture_init_fails"});
    std::ofstream(folder.File("not_a_library.so")) << "plain text";
    ApiManager manager;
    for (const char* name :
        {"fixture_no_entry.so", "fixture_no_dllapi.so", "fixture_init_fails.so", "not_a_library.so", "missing.so"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(manager.GetApi(ModuleApi::TypeId, folder.File(name).c_str()));
        EXPECT_TRUE(manager.Modules().empty());
        EXPECT_FALSE(ModuleFolder::IsLoaded(folder.File(name)));
    }
    EXPECT_TRUE(manager.GetApis(ModuleApi::TypeId, (folder.Path() + "*.so").c_str()).empty());
    EXPECT_TRUE(manager.Modules().empty());
}

TEST(ApiManager, RefusedInitializationReleasesTheDllApiAndAsksForNothingElse)
{
    ModuleFolder folder({"fixture_init_fails"});
    const std::string path = folder.File("fixture_init_fails.so");
    Peek peek(path);
    ApiManager manager;
    EXPECT_FALSE(manager.GetApi(ModuleApi::TypeId, path.c_str()));
    EXPECT_EQ(peek.Call("Fixture_InitializeCalls"), 1);
    EXPECT_EQ(peek.Call("Fixture_LiveDllApis"), 0);
    EXPECT_EQ(peek.Call("Fixture_ModuleRequests"), 0);
    // Nothing is remembered: a second attempt tries the library again from scratch.
    EXPECT_FALSE(manager.GetApi(ModuleApi::TypeId, path.c_str()));
    EXPECT_EQ(peek.Call("Fixture_InitializeCalls"), 2);
    EXPECT_EQ(peek.Call("Fixture_LiveDllApis"), 0);
}

TEST(ApiManager, TwoPathsToOneLibraryGiveOneModule)
{
    ModuleFolder folder({"fixture_new_object"});
    const std::string path = folder.File("fixture_new_object.so");
    const std::string link = folder.File("link.so");
    std::filesystem::create_symlink(path, link);
    ApiManager manager;
    ApiRef<Api> first = manager.GetApi(ModuleApi::TypeId, path.c_str());
    ApiRef<Api> second = manager.GetApi(ModuleApi::TypeId, link.c_str());
    ASSERT_TRUE(first && second);
    const ApiManager::Module* module = OnlyModule(manager);
    ASSERT_TRUE(module);
    EXPECT_EQ(module->Refs(), 2);
    // The probe loads were released: only the module's own load keeps the library mapped.
    first.Reset();
    second.Reset();
    manager.UnloadUnusedModules();
    EXPECT_FALSE(ModuleFolder::IsLoaded(path));
}

TEST(ApiManager, TheSameObjectTwiceCountsOnce)
{
    ModuleFolder folder({"fixture_same_object"});
    const std::string path = folder.File("fixture_same_object.so");
    Peek peek(path);
    ApiManager manager;
    ApiRef<Api> first = manager.GetApi(ModuleApi::TypeId, path.c_str());
    ApiRef<Api> second = manager.GetApi(ModuleApi::TypeId, path.c_str());
    ASSERT_TRUE(first);
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_EQ(IdOf(first), "FixtureSame");
    const ApiManager::Module* module = OnlyModule(manager);
    ASSERT_TRUE(module);
    EXPECT_EQ(module->Refs(), 1);
    // The manager keeps no reference of its own to what it hands out.
    EXPECT_EQ(peek.Call("Fixture_References"), 2);
    first.Reset();
    EXPECT_EQ(module->Refs(), 1);
    second.Reset();
    EXPECT_EQ(peek.Call("Fixture_References"), 0);
    EXPECT_EQ(module->Refs(), 0);
}

TEST(ApiManager, EveryNewObjectCountsAndMustBeReportedBeforeUnloading)
{
    ModuleFolder folder({"fixture_new_object"});
    const std::string path = folder.File("fixture_new_object.so");
    ApiManager manager;
    ApiRef<Api> first = manager.GetApi(ModuleApi::TypeId, path.c_str());
    ApiRef<Api> second = manager.GetApi(ModuleApi::TypeId, path.c_str());
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(IdOf(second), "FixtureNew");
    const ApiManager::Module* module = OnlyModule(manager);
    ASSERT_TRUE(module);
    EXPECT_EQ(module->Refs(), 2);

    first.Reset();
    EXPECT_EQ(module->Refs(), 1);
    manager.UnloadUnusedModules();
    ASSERT_EQ(manager.Modules().size(), 1u);
    EXPECT_TRUE(ModuleFolder::IsLoaded(path));
    // The survivor still works: its code was not unmapped.
    EXPECT_EQ(IdOf(second), "FixtureNew");

    second.Reset();
    EXPECT_EQ(module->Refs(), 0);
    manager.UnloadUnusedModules();
    EXPECT_TRUE(manager.Modules().empty());
    EXPECT_FALSE(ModuleFolder::IsLoaded(path));
}

TEST(ApiManager, UnloadUnusedModulesKeepsExactlyTheReferencedModule)
{
    ModuleFolder folder({"fixture_same_object", "fixture_new_object", "fixture_group_of_three"});
    ApiManager manager;
    ApiRef<Api> same = manager.GetApi(ModuleApi::TypeId, folder.File("fixture_same_object.so").c_str());
    ApiRef<Api> kept = manager.GetApi(ModuleApi::TypeId, folder.File("fixture_new_object.so").c_str());
    // A library that initialises but does not offer the type still becomes a module.
    EXPECT_FALSE(manager.GetApi(ModuleApi::TypeId, folder.File("fixture_group_of_three.so").c_str()));
    ASSERT_TRUE(same && kept);
    ASSERT_EQ(manager.Modules().size(), 3u);
    EXPECT_EQ(manager.Modules()[2]->Refs(), 0);
    same.Reset();

    manager.UnloadUnusedModules();
    ASSERT_EQ(manager.Modules().size(), 1u);
    EXPECT_STREQ(manager.GetApiPath(kept), folder.File("fixture_new_object.so").c_str());
    EXPECT_TRUE(ModuleFolder::IsLoaded(folder.File("fixture_new_object.so")));
    EXPECT_FALSE(ModuleFolder::IsLoaded(folder.File("fixture_same_object.so")));
    EXPECT_FALSE(ModuleFolder::IsLoaded(folder.File("fixture_group_of_three.so")));
}

TEST(ApiManager, DestructorUnloadsModulesWithoutLiveObjects)
{
    ModuleFolder folder({"fixture_group_of_three"});
    const std::string path = folder.File("fixture_group_of_three.so");
    {
        ApiManager manager;
        ApiRef<Api> group = manager.GetApi(ModuleGroupApi::TypeId, path.c_str());
        ASSERT_TRUE(group);
        // A module of the group outlives the group reference it came from.
        ApiRef<Api> member = ApiRef<Api>::Adopt(static_cast<ModuleGroupApi*>(group.Get())->GetApi("ModuleApi", 0));
        ASSERT_TRUE(member);
        group.Reset();
        manager.UnloadUnusedModules();
        EXPECT_TRUE(ModuleFolder::IsLoaded(path));
        EXPECT_EQ(IdOf(member), "GroupA");
    }
    EXPECT_FALSE(ModuleFolder::IsLoaded(path));
}

TEST(ApiManager, GetApiPathNamesTheLibraryOfAModuleApiOnly)
{
    ModuleFolder folder({"fixture_new_object"});
    const std::string path = folder.File("fixture_new_object.so");
    ApiManager manager;
    ApiRef<Api> api = manager.GetApi(ModuleApi::TypeId, path.c_str());
    ASSERT_TRUE(api);
    EXPECT_STREQ(manager.GetApiPath(api), path.c_str());

    HostModule host;
    EXPECT_STREQ(manager.GetApiPath(ApiRef<Api>::Share(&host)), "");
    EXPECT_STREQ(manager.GetApiPath(ApiRef<Api>()), "");

    // Once reported destroyed, the address no longer names the library. Nothing is called on
    // the dead object: the reference is taken back before the ApiRef could release it.
    ApiRef<Api> stale = ApiRef<Api>::Adopt(api.Get());
    api.Reset();
    EXPECT_STREQ(manager.GetApiPath(stale), "");
    stale.Detach();
}

TEST(ApiManager, ApiDestroyedCountsEachKnownPointerOnce)
{
    ModuleFolder folder({"fixture_new_object"});
    ApiManager manager;
    ApiRef<Api> first = manager.GetApi(ModuleApi::TypeId, folder.File("fixture_new_object.so").c_str());
    ApiRef<Api> second = manager.GetApi(ModuleApi::TypeId, folder.File("fixture_new_object.so").c_str());
    const ApiManager::Module* module = OnlyModule(manager);
    ASSERT_TRUE(module && first && second);
    ASSERT_EQ(module->Refs(), 2);

    HostModule unknown;
    manager.ApiDestroyed(&unknown);
    EXPECT_EQ(module->Refs(), 2);
    EXPECT_STREQ(manager.GetApiPath(first), folder.File("fixture_new_object.so").c_str());

    // A report the library repeats must not count twice, and its real destruction later
    // reports it a third time.
    manager.ApiDestroyed(first.Get());
    manager.ApiDestroyed(first.Get());
    EXPECT_EQ(module->Refs(), 1);
    EXPECT_STREQ(manager.GetApiPath(first), "");
    first.Reset();
    EXPECT_EQ(module->Refs(), 1);
    second.Reset();
    EXPECT_EQ(module->Refs(), 0);
    manager.ApiDestroyed(&unknown);
    EXPECT_EQ(module->Refs(), 0);
}

TEST(ApiManager, ApiDestroyedNeverFailsTowardsTheLibrary)
{
    ApiManager manager;
    EXPECT_NO_THROW(manager.ApiDestroyed(nullptr));
    EXPECT_TRUE(manager.Modules().empty());
}

TEST(ApiManager, UnreadableArgumentsAreAssertionFailures)
{
    ScopedAssertAnswer answer("recover");
    ModuleFolder folder({"fixture_new_object"});
    const std::string path = folder.File("fixture_new_object.so");
    ApiManager manager;
    EXPECT_THROW(manager.GetApi(nullptr, path.c_str()), LumoAssertException);
    EXPECT_THROW(manager.GetApi(ModuleApi::TypeId, nullptr), LumoAssertException);
    EXPECT_THROW(manager.GetApis(ModuleApi::TypeId, nullptr), LumoAssertException);
    EXPECT_TRUE(manager.Modules().empty());

    // Ignored, the checks must still not let a null through.
    answer.Set("ignore");
    EXPECT_FALSE(manager.GetApi(nullptr, path.c_str()));
    EXPECT_FALSE(manager.GetApi(ModuleApi::TypeId, nullptr));
    EXPECT_TRUE(manager.GetApis(nullptr, (folder.Path() + "*.so").c_str()).empty());
    EXPECT_TRUE(manager.Modules().empty());
}

TEST(ApiManager, GetApisTriesEveryMatchingEntry)
{
    ModuleFolder folder({"fixture_new_object", "fixture_same_object", "fixture_no_entry", "fixture_group_of_three"});
    folder.Add("fixture_new_object", "fixture_new_object.txt");
    std::filesystem::create_directory(folder.File("folder.so"));
    ApiManager manager;

    std::vector<ApiRef<Api>> apis = manager.GetApis(ModuleApi::TypeId, (folder.Path() + "*.so").c_str());
    std::set<std::string> found;
    for (const ApiRef<Api>& api : apis)
        found.insert(IdOf(api) + " " + manager.GetApiPath(api));
    EXPECT_EQ(found,
        (std::set<std::string>{"FixtureNew " + folder.File("fixture_new_object.so"),
            "FixtureSame " + folder.File("fixture_same_object.so")}));
    // The group library initialised although it offers no "ModuleApi".
    EXPECT_EQ(manager.Modules().size(), 3u);

    EXPECT_TRUE(manager.GetApis(ModuleApi::TypeId, (folder.Path() + "*.nothing").c_str()).empty());
    EXPECT_TRUE(manager.GetApis(ModuleApi::TypeId, (folder.Path() + "missing/*.so").c_str()).empty());
    // The folder matches the pattern and is tried like a file.
    EXPECT_TRUE(manager.GetApis(ModuleApi::TypeId, (folder.Path() + "folder.*").c_str()).empty());
    EXPECT_EQ(manager.Modules().size(), 3u);
}

TEST(ApiManager, GetApisWithARelativePatternLoadsFromTheCurrentFolder)
{
    ModuleFolder folder({"fixture_new_object"});
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    ApiManager manager;
    std::vector<ApiRef<Api>> apis = manager.GetApis(ModuleApi::TypeId, "*.so");
    std::filesystem::current_path(previous);
    ASSERT_EQ(apis.size(), 1u);
    EXPECT_EQ(IdOf(apis[0]), "FixtureNew");
    // The path is a full one, not relative to a folder that may change.
    const std::filesystem::path loaded = manager.GetApiPath(apis[0]);
    EXPECT_TRUE(loaded.is_absolute()) << loaded;
    EXPECT_TRUE(std::filesystem::equivalent(loaded, folder.File("fixture_new_object.so")));
}
