// The Help menu's commands: the user manual installed with the program, which must open
// without a network, and the check for updates, which on an install from the system's packages
// points to the package manager instead of the vendor's web page.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QUrl>

class HelpCommands {
    Q_DECLARE_TR_FUNCTIONS(HelpCommands)
public:
    // What the commands ask of the desktop. Tests replace it, so that nothing starts a browser.
    struct Desktop {
        // False when no program could be started for the URL.
        std::function<bool(const QUrl& url)> openUrl;
        // The full path of a program on PATH, or empty.
        std::function<QString(const QString& name)> findProgram;
        // Runs a program to its end and answers its standard output; nothing when it could not
        // run, failed or took too long.
        std::function<std::optional<QString>(const QString& program, const QStringList& arguments)> run;
        // Starts a program that outlives the command; false when it could not start.
        std::function<bool(const QString& program, const QStringList& arguments)> start;
    };
    static Desktop SystemDesktop();

    // Written beside the program by the .deb only.
    static constexpr const char c_PackageMarker[] = "packaged-by-dpkg";

    // programFolder with a trailing "/", as the host records it.
    explicit HelpCommands(std::string programFolder, Desktop desktop = SystemDesktop());

    void SetDesktop(Desktop desktop) { m_desktop = std::move(desktop); }

    // The manual's first page: where the installed program has it, else where the build tree
    // keeps it; the installed place when there is none, so that a message can name it.
    QString ManualPath() const;
    // Opens the manual in the desktop's viewer for HTML. When the manual is missing or no
    // viewer opens, a message box says so and gives the path. True when a viewer was started.
    bool ShowManual();

    // True when the system's packages brought the program: the .deb's marker lies beside it,
    // or its folder lies under /usr (not /usr/local) and dpkg knows it.
    bool PackageManaged() const;
    // On a package-managed install, says that updates come through the package manager and
    // opens the software centre where there is one; elsewhere opens updatePage.
    void CheckForUpdates(const QUrl& updatePage);

private:
    // The desktop's default program for a MIME type, empty when there is none; nothing when
    // the desktop cannot tell.
    std::optional<QString> DefaultProgramFor(const QString& mimeType) const;
    bool HtmlViewerMissing() const;
    // Opens the software centre on this program; empty where there is no centre.
    std::function<bool()> SoftwareCentre() const;
    // Opens page in the browser; says so when none starts.
    bool OpenWebPage(const QUrl& page);
    static void Tell(const QString& text, uint32_t icon);

    std::string m_programFolder;
    Desktop m_desktop;
};
