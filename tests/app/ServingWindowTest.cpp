// The whole way, as a person goes it: an album published in the window, Server > Start / Resume,
// and a player on the network browsing the album and playing its song. The real window, the
// real LumoServer and a real control point, inside a network namespace whose only interface is
// the loopback (netns.sh); anywhere else the test refuses to run.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "WindowDriving.h"
#include "app/LumoConnectPublisher.h"
#include "picker/PublishedListForm.h"
#include "support/ModuleFolder.h"
#include "support/WaitUntil.h"
#include "support/WidgetApplication.h"

namespace {

namespace fs = std::filesystem;

const std::string c_Client = LUMO_SOURCE_DIR "/tests/server/window_client.py";

// Runs the control point's script; its exit code, and what it said in output.
int RunClient(const QStringList& arguments, std::string& output)
{
    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start("/usr/bin/python3", QStringList{"-W", "ignore", QString::fromStdString(c_Client)} + arguments);
    if (!client.waitForFinished(60000)) {
        client.kill();
        client.waitForFinished();
        output = "the control point did not finish within 60 s";
        return -1;
    }
    output = client.readAll().toStdString();
    return client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
}

// The servers started from this test's home: processes of the program whose environment names
// that home. Stopped at the end, as the window starts the server on its own.
std::vector<pid_t> ServersOf(const std::string& home)
{
    const fs::path program = fs::canonical(fs::path(LUMO_PROGRAM_DIR) / "LumoServer");
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code error;
        if (fs::read_symlink(entry.path() / "exe", error) != program)
            continue;
        std::ifstream environment(entry.path() / "environ", std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(environment)), std::istreambuf_iterator<char>());
        if (text.find(std::string(1, '\0') + "HOME=" + home + '\0') != std::string::npos
            || text.rfind("HOME=" + home + '\0', 0) == 0)
            found.push_back(pid_t(std::stoi(name)));
    }
    return found;
}

void StopServers(const std::string& home)
{
    for (pid_t server : ServersOf(home))
        kill(server, SIGTERM);
    if (!WaitUntil([&] { return ServersOf(home).empty(); }, 10000)) {
        for (pid_t server : ServersOf(home))
            kill(server, SIGKILL);
    }
}

TEST(ServingWindowTest, AnAlbumPublishedInTheWindowPlaysOnAPlayer)
{
    if (!std::getenv("LUMO_IN_NETNS"))
        GTEST_SKIP() << "runs only in a network namespace of its own (tests/server/netns.sh)";

    // A user of their own: home, settings, published sets, cache and the runtime folder of the
    // server's single-instance lock.
    QTemporaryDir root;
    const std::string path = root.path().toStdString();
    for (const char* folder : {"home/Music/Album", "config/Lumo", "data", "cache", "runtime"})
        fs::create_directories(path + "/" + folder);
    fs::permissions(path + "/runtime", fs::perms::owner_all);
    const std::string home = path + "/home";
    ScopedEnvironment homeVariable{"HOME", home};
    ScopedEnvironment config{"XDG_CONFIG_HOME", path + "/config"};
    ScopedEnvironment data{"XDG_DATA_HOME", path + "/data"};
    ScopedEnvironment cache{"XDG_CACHE_HOME", path + "/cache"};
    ScopedEnvironment runtime{"XDG_RUNTIME_DIR", path + "/runtime"};
    ScopedEnvironment mounts{"LUMOTEST_MOUNTINFO", path + "/mountinfo"};
    std::ofstream(path + "/mountinfo");
    std::ofstream(path + "/config/user-dirs.dirs") << "XDG_MUSIC_DIR=\"" << home << "/Music\"\n";
    const std::string song = home + "/Music/Album/01 Song.mp3";
    std::string output;
    ASSERT_EQ(RunClient({"song", QString::fromStdString(song)}, output), 0) << output;
    {
        // The server serves the loopback, and is the one just built.
        QSettings settings(QString::fromStdString(path + "/config/Lumo/Desktop.ini"), QSettings::IniFormat);
        settings.setValue("ServerPath", LUMO_PROGRAM_DIR "/LumoServer");
        settings.setValue("Server/Interfaces", "lo");
    }

    WidgetApplication();
    ModuleFolder program;
    for (const char* module : {"lumo-cache", "lumo-folders", "lumo-music", "lumo-photos"})
        program.AddProgramModule(module);
    TLumoConnectPublisher window(program.Path());
    window.show();
    ASSERT_TRUE(PublishMusicFolder(window, "Album"));
    ASSERT_TRUE(SettleWindow(window, [&] { return window.MusicPage()->PublishedList->List->count() == 1; }));

    // Server > Start / Resume, and a player finds the album and plays its song.
    QAction* start = MenuItem(window, "&Server", "&Start / Resume");
    ASSERT_TRUE(start && start->isEnabled());
    start->trigger();
    const int played = RunClient({"play", "Album", QString::fromStdString(song)}, output);
    StopServers(home);
    EXPECT_EQ(played, 0) << output;
    EXPECT_NE(output.find("played \"01 Song\""), std::string::npos) << output;
    EXPECT_TRUE(ServersOf(home).empty());
}

} // namespace
