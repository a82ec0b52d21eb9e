#include <cstdint>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "WindowTestSupport.h"
#include "app/ServerLocator.h"
#include "host/HostRegistry.h"
#include "support/ModuleFolder.h"

namespace {

class ServerLocatorTest : public ::testing::Test {
protected:
    void SetUp() override { ClearSettings(); }
    void TearDown() override { ClearSettings(); }

    static std::string Touch(const std::string& path)
    {
        std::ofstream(path) << "#!/bin/sh\n";
        return path;
    }
    void Configure(const std::string& path) { HostRegistry().WriteString("", "ServerPath", path); }

    ModuleFolder m_program;
    ModuleFolder m_elsewhere;
};

} // namespace

TEST_F(ServerLocatorTest, TriesTheConfiguredPathThenItsNameBesideTheProgram)
{
    const ServerLocator locator(m_program.Path());
    EXPECT_EQ(locator.Locate(), "");

    const std::string besideProgram = Touch(m_program.File("LumoServer"));
    EXPECT_EQ(locator.Locate(), besideProgram);

    const std::string configured = Touch(m_elsewhere.File("Server"));
    Configure(configured);
    EXPECT_EQ(locator.Locate(), configured);

    // A configured file that is gone: its name beside the program, never the default name.
    Configure(m_elsewhere.File("Moved"));
    EXPECT_EQ(locator.Locate(), "");
    const std::string moved = Touch(m_program.File("Moved"));
    EXPECT_EQ(locator.Locate(), moved);

    // A folder is not a server.
    Configure(m_elsewhere.Path());
    std::filesystem::remove(besideProgram);
    EXPECT_EQ(locator.Locate(), "");
}

TEST_F(ServerLocatorTest, PropertiesStateIsSearchedAgainOnlyAfterTenSeconds)
{
    uint32_t now = 20000;
    ServerLocator locator(m_program.Path(), [&] { return now; });
    EXPECT_FALSE(locator.PropertiesEnabled());

    const std::string server = Touch(m_program.File("LumoServer"));
    now += ServerLocator::c_RecheckMs;
    EXPECT_FALSE(locator.PropertiesEnabled());
    now += 1;
    EXPECT_TRUE(locator.PropertiesEnabled());

    // Across the tick's wrap-around the difference still counts from the last search.
    now = 0xFFFFF000u;
    EXPECT_TRUE(locator.PropertiesEnabled());
    std::filesystem::remove(server);
    now = 0x00001000u;
    EXPECT_TRUE(locator.PropertiesEnabled());
    now += ServerLocator::c_RecheckMs;
    EXPECT_FALSE(locator.PropertiesEnabled());
}
