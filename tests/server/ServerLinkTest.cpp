#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QUuid>

#include "host/HostRegistry.h"
#include "server/ServerInstance.h"
#include "server/ServerLink.h"
#include "support/PrivateSettings.h"
#include "support/WaitUntil.h"

namespace {

// The status line is what "/status" prints and how the window's process follows the server:
// every state must come back from it as it was sent.
TEST(ServerStateTest, AStatusLineGivesBackTheStateItTells)
{
    ServerState state;
    state.serving = ServerState::Serving::Running;
    state.endpoints = {{"eth0", "192.168.1.20", 58050}, {"wlan0", "fe80::1%wlan0", 58050}};
    state.problems = {"eth1: the port is \"taken\" = no luck", "a\\b  c"};
    state.countsKnown = true;
    state.songs = 12000;
    state.photos = 7;
    const std::string line = state.StatusLine();
    EXPECT_EQ(line.substr(0, 48), "running eth0=192.168.1.20:58050 wlan0=fe80::1%wl");
    EXPECT_EQ(ServerState::FromStatusLine(line), state) << line;

    ServerState starting;
    starting.serving = ServerState::Serving::Starting;
    EXPECT_EQ(starting.StatusLine(), "starting");
    EXPECT_EQ(ServerState::FromStatusLine("starting"), starting);
    // A line break in a problem would end the line early.
    starting.problems = {"one\ntwo"};
    EXPECT_EQ(ServerState::FromStatusLine(starting.StatusLine())->problems, std::vector<std::string>{"one two"});

    for (const char* bad : {"", "ok", "unknown", "running eth0", "running eth0=1.2.3.4", "running eth0=1.2.3.4:99999",
             "running songs=x photos=1", "paused problem=\"open", "running =1.2.3.4:1"})
        EXPECT_FALSE(ServerState::FromStatusLine(bad).has_value()) << bad;
    // Counts only when both are told.
    EXPECT_FALSE(ServerState::FromStatusLine("paused songs=3")->countsKnown);
}

// The window's side of the socket, against a server of the test's own answering as the real
// one does: the state follows the answers, commands arrive, settings are written before the
// server is told to read them, and a server that goes is noticed.
TEST(ServerLinkTest, FollowsTheServerAndSendsItsCommands)
{
    static int argc = 1;
    static char name[] = "server_link_tests";
    static char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    UsePrivateSettings();
    HostRegistry(ServerSettings::c_SubKey).DeleteValue("", "ServerName");

    const QString instanceName = "LumoServerLinkTest-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    auto instance = std::make_unique<ServerInstance>(instanceName);
    ASSERT_TRUE(instance->TryAcquire());
    struct Served {
        std::string status = "paused";
        std::vector<std::string> commands;
        std::string nameWhenReloaded;
    } served;
    instance->SetHandler(
        [](void* context, const std::string& command) {
            auto& served = *static_cast<Served*>(context);
            served.commands.push_back(command);
            if (command == "reload")
                served.nameWhenReloaded = ServerSettings::Load("den").name;
            return command == "status" ? served.status : std::string("ok");
        },
        &served);

    ServerLink link("den", ServerInstance::SocketName(instanceName), "/nonexistent/LumoServer");
    int changes = 0;
    QObject::connect(&link, &ServerControl::StateChanged, [&changes] { ++changes; });
    ASSERT_TRUE(WaitUntil([&] { return link.Answers(); }));
    EXPECT_EQ(link.State().serving, ServerState::Serving::Paused);

    served.status = "running lo=127.0.0.1:58050 songs=3 photos=1";
    ASSERT_TRUE(WaitUntil([&] { return link.State().serving == ServerState::Serving::Running; }));
    EXPECT_EQ(link.State().endpoints, (std::vector<ServerEndpoint>{{"lo", "127.0.0.1", 58050}}));
    EXPECT_EQ(link.State().songs, 3);
    // Polling an unchanged server tells nothing new.
    const int seen = changes;
    WaitUntil([] { return false; }, 1200);
    EXPECT_EQ(changes, seen);

    link.Pause();
    ASSERT_TRUE(WaitUntil(
        [&] { return std::find(served.commands.begin(), served.commands.end(), "pause") != served.commands.end(); }));
    ServerSettings settings = link.Settings();
    settings.name = "Attic";
    link.ApplySettings(settings);
    ASSERT_TRUE(WaitUntil([&] { return !served.nameWhenReloaded.empty(); }));
    EXPECT_EQ(served.nameWhenReloaded, "Attic");

    instance.reset();
    ASSERT_TRUE(WaitUntil([&] { return !link.Answers(); }));
    EXPECT_EQ(link.State().serving, ServerState::Serving::Paused);
}

} // namespace
