// The interface in the language of the desktop: run once with LANG=de_DE.UTF-8, where the menus,
// counts, dates and sizes are German, and once in English, where everything stays as it was.
#include <cstdlib>
#include <filesystem>

#include <QLocale>
#include <QMenuBar>
#include <QTabWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "WindowTestSupport.h"
#include "app/LumoConnectPublisher.h"
#include "app/Translations.h"
#include "picker/Utilities.h"
#include "support/ModuleFolder.h"

namespace {

QStringList MenuTitles(TLumoConnectPublisher& window)
{
    QStringList titles;
    for (QAction* menu : window.menuBar()->actions())
        titles << menu->text();
    return titles;
}

QStringList TabTitles(TLumoConnectPublisher& window)
{
    auto* tabs = window.findChild<QTabWidget*>();
    return tabs ? QStringList{tabs->tabText(0), tabs->tabText(1)} : QStringList();
}

class TranslationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::filesystem::path home = m_root.path().toStdString();
        setenv("HOME", home.c_str(), 1);
        WidgetApplication();
        ClearSettings();
        m_folder.AddProgramModule("lumo-cache");
    }

    QTemporaryDir m_root;
    ModuleFolder m_folder;
};

// 2004-03-05 14:07:09 UTC.
constexpr char c_Seconds[] = "1078495629";

} // namespace

TEST_F(TranslationTest, AGermanDesktopGetsGermanMenusCountsDatesAndSizes)
{
    if (QLocale().language() != QLocale::German)
        GTEST_SKIP() << "runs with LANG=de_DE.UTF-8";
    ASSERT_TRUE(InstallTranslations(QLocale(), LUMO_PROGRAM_DIR "/"));
    TLumoConnectPublisher window(m_folder.Path());
    EXPECT_EQ(MenuTitles(window), (QStringList{"&Datei", "&Bearbeiten", "&Server", "&Hilfe"}));
    EXPECT_EQ(TabTitles(window), (QStringList{"&Musik", "&Fotos"}));
    EXPECT_EQ(TLumoConnectPublisher::tr("%n item(s) selected", nullptr, 1), "1 Element ausgewählt");
    EXPECT_EQ(TLumoConnectPublisher::tr("%n item(s) selected", nullptr, 3), "3 Elemente ausgewählt");
    EXPECT_NE(QString::fromStdString(FormatDate(c_Seconds)).indexOf("März 2004"), -1) << FormatDate(c_Seconds);
    EXPECT_EQ(FormatSize(123456.0), "123.456 Bytes");
    EXPECT_EQ(FormatSize(1.5 * 1024 * 1024), "1,50 MB");
    EXPECT_EQ(QCoreApplication::translate("TMediaPage", "%n item(s) could not be published", nullptr, 2),
        "2 Elemente konnten nicht veröffentlicht werden");
    EXPECT_EQ(QCoreApplication::translate("TContainerProps", "%n Files", nullptr, 1), "1 Datei");
}

TEST_F(TranslationTest, InEnglishEverythingStaysAsItWas)
{
    if (QLocale().language() != QLocale::English && QLocale().language() != QLocale::C)
        GTEST_SKIP() << "runs with LANG=C.UTF-8";
    EXPECT_FALSE(InstallTranslations(QLocale(), LUMO_PROGRAM_DIR "/"));
    TLumoConnectPublisher window(m_folder.Path());
    EXPECT_EQ(MenuTitles(window), (QStringList{"&File", "&Edit", "&Server", "&Help"}));
    EXPECT_EQ(TabTitles(window), (QStringList{"&Music", "&Photos"}));
    EXPECT_EQ(TLumoConnectPublisher::tr("%n item(s) selected", nullptr, 1), "1 item selected");
    EXPECT_EQ(TLumoConnectPublisher::tr("%n item(s) selected", nullptr, 3), "3 items selected");
    EXPECT_NE(FormatDate(c_Seconds).find("March 5, 2004"), std::string::npos) << FormatDate(c_Seconds);
    EXPECT_EQ(FormatSize(123456.0), "123,456 Bytes");
    EXPECT_EQ(FormatSize(1.5 * 1024 * 1024), "1.50 MB");
    EXPECT_EQ(QCoreApplication::translate("TMediaPage", "%n item(s) could not be published", nullptr, 1),
        "1 item could not be published");
    EXPECT_EQ(QCoreApplication::translate("TContainerProps", "%n Files", nullptr, 1), "1 Files") << "as it always said";
}
