// The Help menu: the manual installed with the program, and the update check that defers to the
// package manager. The desktop is a script here, so no browser or software centre starts.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "WindowTestSupport.h"
#include "app/HelpCommands.h"
#include "app/LumoConnectPublisher.h"
#include "platform/MessageBox.h"
#include "support/HostFolder.h"

namespace {

constexpr char c_UpdatePage[] = "https://www.lumo-desktop.example/desktop/upgrade.asp?ver=11";

struct Box {
    std::string text;
    uint32_t style;
};

struct RecordedBoxes {
    static inline std::vector<Box> boxes;
    static int Show(const char* text, const char*, uint32_t style)
    {
        boxes.push_back({text, style});
        return Platform::IDOK;
    }
};

// The desktop as a script: programs on PATH, the answers of programs run to their end, and
// a record of every URL opened and program started.
struct ScriptedDesktop {
    std::map<QString, QString> onPath;
    std::map<QString, std::optional<QString>> answers; // by "program arg arg ..."
    bool openSucceeds = true;
    bool startSucceeds = true;
    std::vector<QString> opened;
    std::vector<QStringList> started;
    std::vector<QString> ran;

    HelpCommands::Desktop Functions()
    {
        return {
            [this](const QUrl& url) {
                opened.push_back(url.toString());
                return openSucceeds;
            },
            [this](const QString& name) { return onPath.count(name) ? onPath[name] : QString(); },
            [this](const QString& program, const QStringList& arguments) -> std::optional<QString> {
                const QString line = (QStringList(program) + arguments).join(' ');
                ran.push_back(line);
                const auto answer = answers.find(line);
                return answer == answers.end() ? std::nullopt : answer->second;
            },
            [this](const QString& program, const QStringList& arguments) {
                started.push_back(QStringList(program) + arguments);
                return startSucceeds;
            },
        };
    }

    void DefaultFor(const QString& mimeType, std::optional<QString> program)
    {
        onPath["xdg-mime"] = "/usr/bin/xdg-mime";
        answers["/usr/bin/xdg-mime query default " + mimeType] = std::move(program);
    }
};

// A program folder laid out as cmake --install lays it out, with or without the manual.
class InstalledTree {
public:
    explicit InstalledTree(bool withManual)
    {
        QDir(m_root.path()).mkpath(QString(LUMO_INSTALL_LIBDIR) + "/lumo-publisher");
        if (withManual) {
            QDir(m_root.path()).mkpath(QString(LUMO_INSTALL_DOC_DIR) + "/manual");
            QFile index(ManualIndex());
            EXPECT_TRUE(index.open(QIODevice::WriteOnly));
            index.write("<!DOCTYPE html><title>manual</title>\n");
        }
    }
    std::string ProgramFolder() const
    {
        return (m_root.path() + "/" + LUMO_INSTALL_LIBDIR + "/lumo-publisher/").toStdString();
    }
    QString ManualIndex() const { return m_root.path() + "/" + LUMO_INSTALL_DOC_DIR + "/manual/index.html"; }
    void Mark() const
    {
        QFile marker(QString::fromStdString(ProgramFolder()) + HelpCommands::c_PackageMarker);
        EXPECT_TRUE(marker.open(QIODevice::WriteOnly));
    }

private:
    QTemporaryDir m_root;
};

class HelpCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RecordedBoxes::boxes.clear();
        m_previousBox = Platform::SetMessageBoxHandler(&RecordedBoxes::Show);
    }
    void TearDown() override { Platform::SetMessageBoxHandler(m_previousBox); }

    Platform::MessageBoxHandler m_previousBox = nullptr;
};

} // namespace

TEST_F(HelpCommandsTest, FindsTheManualInstalledBesideTheProgramAndInTheBuildTree)
{
    const InstalledTree installed(true);
    EXPECT_EQ(HelpCommands(installed.ProgramFolder()).ManualPath(), QDir::cleanPath(installed.ManualIndex()));

    const QString built = HelpCommands(std::string(LUMO_PROGRAM_DIR) + "/").ManualPath();
    EXPECT_TRUE(QFileInfo(built).isFile()) << built.toStdString();
    EXPECT_TRUE(built.endsWith("/manual/index.html")) << built.toStdString();

    // Nowhere: the installed place, so that the message can name it.
    const InstalledTree bare(false);
    EXPECT_EQ(HelpCommands(bare.ProgramFolder()).ManualPath(), QDir::cleanPath(bare.ManualIndex()));
}

TEST_F(HelpCommandsTest, TheManualOpensInAViewerOrAMessageGivesItsPath)
{
    struct Case {
        const char* name;
        bool xdgMime;
        std::optional<QString> htmlViewer; // xdg-mime's answer
        bool openSucceeds;
        bool opens;
    };
    const Case cases[] = {
        {"nothing to ask, openUrl starts a viewer", false, std::nullopt, true, true},
        {"a default viewer for HTML", true, QString("firefox-esr.desktop\n"), true, true},
        {"no program for HTML: openUrl would answer true and fail later", true, QString("\n"), true, false},
        {"openUrl finds no browser", false, std::nullopt, false, false},
        {"xdg-mime fails: openUrl decides", true, std::nullopt, true, true},
    };
    const InstalledTree installed(true);
    const QString path = QDir::cleanPath(installed.ManualIndex());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedBoxes::boxes.clear();
        ScriptedDesktop desktop;
        desktop.openSucceeds = c.openSucceeds;
        if (c.xdgMime)
            desktop.DefaultFor("text/html", c.htmlViewer);
        HelpCommands help(installed.ProgramFolder(), desktop.Functions());

        EXPECT_EQ(help.ShowManual(), c.opens);
        if (c.opens) {
            EXPECT_EQ(desktop.opened, std::vector<QString>{QUrl::fromLocalFile(path).toString()});
            EXPECT_TRUE(RecordedBoxes::boxes.empty());
        } else {
            ASSERT_EQ(RecordedBoxes::boxes.size(), 1u);
            EXPECT_NE(RecordedBoxes::boxes[0].text.find(path.toStdString()), std::string::npos)
                << RecordedBoxes::boxes[0].text;
            EXPECT_EQ(RecordedBoxes::boxes[0].style & Platform::MB_TYPEMASK, Platform::MB_OK);
        }
    }

    SCOPED_TRACE("the manual is missing: nothing opens, the message says where it belongs");
    RecordedBoxes::boxes.clear();
    const InstalledTree bare(false);
    ScriptedDesktop desktop;
    HelpCommands help(bare.ProgramFolder(), desktop.Functions());
    EXPECT_FALSE(help.ShowManual());
    EXPECT_TRUE(desktop.opened.empty());
    ASSERT_EQ(RecordedBoxes::boxes.size(), 1u);
    EXPECT_NE(RecordedBoxes::boxes[0].text.find(QDir::cleanPath(bare.ManualIndex()).toStdString()), std::string::npos);
}

TEST_F(HelpCommandsTest, PackageManagedMeansTheDebsMarkerOrDpkgUnderUsr)
{
    const InstalledTree unmarked(false);
    const InstalledTree marked(false);
    marked.Mark();
    struct Case {
        const char* name;
        std::string folder;
        bool dpkgQuery;
        std::optional<QString> owner; // dpkg-query's answer
        bool managed;
    };
    const std::string usr = "/usr/lib/lumo-publisher-not-installed/";
    const std::string usrLocal = "/usr/local/lib/lumo-publisher-not-installed/";
    const Case cases[] = {
        {"the marker", marked.ProgramFolder(), false, std::nullopt, true},
        {"outside /usr dpkg is not asked", unmarked.ProgramFolder(), true, QString("lumo-publisher: x\n"), false},
        {"under /usr, known to dpkg", usr, true, QString("lumo-publisher: /usr/lib/lumo-publisher\n"), true},
        {"under /usr, unknown to dpkg", usr, true, std::nullopt, false},
        {"under /usr without dpkg", usr, false, std::nullopt, false},
        {"/usr/local is never the package manager's", usrLocal, true, QString("lumo-publisher: x\n"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDesktop desktop;
        if (c.dpkgQuery) {
            desktop.onPath["dpkg-query"] = "/usr/bin/dpkg-query";
            QString folder = QString::fromStdString(c.folder);
            folder.chop(1);
            desktop.answers["/usr/bin/dpkg-query --search " + folder] = c.owner;
        }
        EXPECT_EQ(HelpCommands(c.folder, desktop.Functions()).PackageManaged(), c.managed);
        if (!QString::fromStdString(c.folder).startsWith("/usr/lib/")) {
            EXPECT_TRUE(desktop.ran.empty()) << desktop.ran.front().toStdString();
        }
    }
}

TEST_F(HelpCommandsTest, UpdatesOfAPackagedProgramComeThroughThePackageManager)
{
    const InstalledTree packaged(false);
    packaged.Mark();
    const QString id = LUMO_APP_ID;
    struct Case {
        const char* name;
        std::function<void(ScriptedDesktop&)> arrange;
        std::vector<QString> opened;
        std::vector<QStringList> started;
        const char* saying;
    };
    const Case cases[] = {
        {"the desktop's handler of appstream: links",
            [](ScriptedDesktop& d) {
                d.DefaultFor("x-scheme-handler/appstream", QString("org.gnome.Software.desktop"));
            },
            {"appstream://" + id}, {}, "software centre"},
        {"GNOME Software on PATH",
            [](ScriptedDesktop& d) {
                d.DefaultFor("x-scheme-handler/appstream", QString(""));
                d.onPath["gnome-software"] = "/usr/bin/gnome-software";
            },
            {}, {{"/usr/bin/gnome-software", "--details=" + id}}, "software centre"},
        {"Discover on PATH", [](ScriptedDesktop& d) { d.onPath["plasma-discover"] = "/usr/bin/plasma-discover"; }, {},
            {{"/usr/bin/plasma-discover", "--application", "appstream://" + id}}, "software centre"},
        {"no software centre", [](ScriptedDesktop&) {}, {}, {}, "sudo apt update"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedBoxes::boxes.clear();
        ScriptedDesktop desktop;
        c.arrange(desktop);
        HelpCommands(packaged.ProgramFolder(), desktop.Functions()).CheckForUpdates(QUrl(c_UpdatePage));
        EXPECT_EQ(desktop.opened, c.opened) << "never the vendor's page";
        EXPECT_EQ(desktop.started, c.started);
        ASSERT_EQ(RecordedBoxes::boxes.size(), 1u);
        EXPECT_NE(RecordedBoxes::boxes[0].text.find("package manager"), std::string::npos);
        EXPECT_NE(RecordedBoxes::boxes[0].text.find(c.saying), std::string::npos) << RecordedBoxes::boxes[0].text;
    }

    SCOPED_TRACE("a software centre that does not start is reported");
    RecordedBoxes::boxes.clear();
    ScriptedDesktop desktop;
    desktop.onPath["gnome-software"] = "/usr/bin/gnome-software";
    desktop.startSucceeds = false;
    HelpCommands(packaged.ProgramFolder(), desktop.Functions()).CheckForUpdates(QUrl(c_UpdatePage));
    ASSERT_EQ(RecordedBoxes::boxes.size(), 2u);
    EXPECT_NE(RecordedBoxes::boxes[1].text.find("could not be started"), std::string::npos);
}

TEST_F(HelpCommandsTest, ElsewhereTheUpdatePageOpensAndABrowserThatDoesNotIsReported)
{
    const InstalledTree unpackaged(false);
    ScriptedDesktop desktop;
    HelpCommands(unpackaged.ProgramFolder(), desktop.Functions()).CheckForUpdates(QUrl(c_UpdatePage));
    EXPECT_EQ(desktop.opened, std::vector<QString>{c_UpdatePage});
    EXPECT_TRUE(RecordedBoxes::boxes.empty());

    desktop.openSucceeds = false;
    HelpCommands(unpackaged.ProgramFolder(), desktop.Functions()).CheckForUpdates(QUrl(c_UpdatePage));
    ASSERT_EQ(RecordedBoxes::boxes.size(), 1u);
    EXPECT_NE(RecordedBoxes::boxes[0].text.find(c_UpdatePage), std::string::npos);
}

// The window's Help menu runs these commands, and its message boxes go through the hook.
TEST_F(HelpCommandsTest, TheHelpMenuOpensTheManualOnF1AndChecksForUpdates)
{
    WidgetApplication();
    ClearSettings();
    HostFolder folder;
    auto window = std::make_unique<TLumoConnectPublisher>(folder.Path());
    QMenu* help = nullptr;
    for (QAction* top : window->menuBar()->actions()) {
        if (top->text() == "&Help")
            help = top->menu();
    }
    ASSERT_TRUE(help);
    QAction* manual = help->actions().value(0);
    QAction* updates = help->actions().value(2);
    ASSERT_TRUE(manual && updates);
    EXPECT_EQ(manual->shortcut(), QKeySequence(Qt::Key_F1));

    ScriptedDesktop desktop;
    desktop.openSucceeds = false;
    window->Help().SetDesktop(desktop.Functions());
    manual->trigger();
    ASSERT_EQ(RecordedBoxes::boxes.size(), 1u);
    EXPECT_NE(RecordedBoxes::boxes[0].text.find(window->Help().ManualPath().toStdString()), std::string::npos);

    // The .deb's marker beside the program: the package manager, not the web page.
    QFile(QString::fromStdString(folder.File(HelpCommands::c_PackageMarker))).open(QIODevice::WriteOnly);
    RecordedBoxes::boxes.clear();
    updates->trigger();
    EXPECT_TRUE(desktop.opened.empty());
    ASSERT_EQ(RecordedBoxes::boxes.size(), 1u);
    EXPECT_NE(RecordedBoxes::boxes[0].text.find("package manager"), std::string::npos);

    window.reset();
    ClearSettings();
}
