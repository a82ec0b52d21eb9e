// The main window on a 1280x800 screen at the scale the test is run with (1, 1.5 or 2): its first
// size and its minimum size fit the screen's available area, and nothing in it is cut off.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <QScreen>
#include <QSplitter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "WindowTestSupport.h"
#include "app/LumoConnectPublisher.h"
#include "app/SplashScreen.h"
#include "picker/MediaPageForm.h"
#include "platform/MessageBox.h"
#include "support/ModuleFolder.h"

namespace {

int AnswerOk(const char*, const char*, uint32_t)
{
    return Platform::IDOK;
}

} // namespace

TEST(ScreenFitTest, TheWindowAndItsMinimumFitTheAvailableArea)
{
    // A user of its own, with no volumes mounted, so that nothing real is listed.
    QTemporaryDir root;
    const std::filesystem::path home = root.path().toStdString();
    std::ofstream(home / "mountinfo");
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    setenv("LUMOTEST_MOUNTINFO", (home / "mountinfo").c_str(), 1);
    WidgetApplication();
    ClearSettings();
    const auto previousBox = Platform::SetMessageBoxHandler(&AnswerOk);
    ModuleFolder folder;
    for (const char* module : {"lumo-cache", "lumo-folders", "lumo-music", "lumo-photos"})
        folder.AddProgramModule(module);

    {
        TLumoConnectPublisher window(folder.Path());
        window.show();
        ASSERT_TRUE(WaitUntil([&] { return window.PhotosPage() && !TSplashScreen::Current(); }));
        const QRect area = window.screen()->availableGeometry();
        const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1");
        SCOPED_TRACE("scale " + scale.toStdString() + ", available " + std::to_string(area.width()) + "x"
            + std::to_string(area.height()));
        ASSERT_EQ(window.screen()->geometry().size() * window.screen()->devicePixelRatio(), QSize(1280, 800))
            << "the test's screen";

        EXPECT_TRUE(area.contains(window.geometry()))
            << "first placed at " << window.geometry().x() << "," << window.geometry().y() << " " << window.width()
            << "x" << window.height();
        EXPECT_LE(window.minimumWidth(), area.width());
        EXPECT_LE(window.minimumHeight(), area.height());
        const QSize needed = window.minimumSizeHint();
        EXPECT_LE(needed.width(), window.width()) << "the menus, bars and pages are not cut off";
        EXPECT_LE(needed.height(), window.height()) << "the menus, bars and pages are not cut off";
        // However short the page, the published list keeps a fair share of it.
        const QList<int> halves = window.MusicPage()->HeightSplitter->sizes();
        ASSERT_EQ(halves.size(), 2);
        EXPECT_GE(halves[1] * 2, std::min(halves[0], 200)) << "top " << halves[0] << ", bottom " << halves[1];
    }
    Platform::SetMessageBoxHandler(previousBox);
}
