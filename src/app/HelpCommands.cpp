#include "app/HelpCommands.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "platform/MessageBox.h"

namespace {

// Where the manual lies relative to the program folder, installed and in the build tree.
constexpr char c_ManualFromProgram[] = LUMO_MANUAL_FROM_PROGRAM;
constexpr char c_ManualFromBuildProgram[] = LUMO_MANUAL_FROM_BUILD_PROGRAM;
constexpr char c_ManualIndex[] = "index.html";
constexpr char c_AppId[] = LUMO_APP_ID;
// The questions put to xdg-mime and dpkg-query answer at once; a hung one must not hang us.
constexpr int c_ProbeTimeoutMs = 5000;

QString ManualIndexBelow(const std::string& programFolder, const char* relative)
{
    return QDir::cleanPath(QString::fromStdString(programFolder) + relative + "/" + c_ManualIndex);
}

std::optional<QString> RunProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(c_ProbeTimeoutMs))
        return std::nullopt;
    if (!process.waitForFinished(c_ProbeTimeoutMs)) {
        process.kill();
        process.waitForFinished(c_ProbeTimeoutMs);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

} // namespace

HelpCommands::Desktop HelpCommands::SystemDesktop()
{
    return {
        [](const QUrl& url) { return QDesktopServices::openUrl(url); },
        [](const QString& name) { return QStandardPaths::findExecutable(name); },
        RunProgram,
        [](const QString& program, const QStringList& arguments) {
            return QProcess::startDetached(program, arguments);
        },
    };
}

HelpCommands::HelpCommands(std::string programFolder, Desktop desktop)
    : m_programFolder(std::move(programFolder)), m_desktop(std::move(desktop))
{
}

QString HelpCommands::ManualPath() const
{
    for (const char* relative : {c_ManualFromProgram, c_ManualFromBuildProgram}) {
        const QString path = ManualIndexBelow(m_programFolder, relative);
        if (QFileInfo(path).isFile())
            return path;
    }
    return ManualIndexBelow(m_programFolder, c_ManualFromProgram);
}

bool HelpCommands::ShowManual()
{
    const QString path = ManualPath();
    if (!QFileInfo(path).isFile()) {
        Tell(tr("The user manual is not installed. It belongs in this place:\n\n%1").arg(path),
            Platform::MB_ICONWARNING);
        return false;
    }
    if (HtmlViewerMissing() || !m_desktop.openUrl(QUrl::fromLocalFile(path))) {
        Tell(tr("No program was found to show the user manual. Open this file in a web browser:\n\n%1").arg(path),
            Platform::MB_ICONINFORMATION);
        return false;
    }
    return true;
}

std::optional<QString> HelpCommands::DefaultProgramFor(const QString& mimeType) const
{
    const QString xdgMime = m_desktop.findProgram("xdg-mime");
    if (xdgMime.isEmpty())
        return std::nullopt;
    const std::optional<QString> program = m_desktop.run(xdgMime, {"query", "default", mimeType});
    if (!program)
        return std::nullopt;
    return program->trimmed();
}

bool HelpCommands::HtmlViewerMissing() const
{
    // xdg-open would start and then fail on its own, after openUrl has answered true; the
    // desktop's table of default programs tells beforehand. Where it cannot tell, openUrl decides.
    const std::optional<QString> viewer = DefaultProgramFor("text/html");
    return viewer && viewer->isEmpty();
}

bool HelpCommands::PackageManaged() const
{
    QString folder = QString::fromStdString(m_programFolder);
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    if (QFileInfo(folder + "/" + c_PackageMarker).isFile())
        return true;
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (!real.isEmpty())
        folder = real;
    // /usr/local is the administrator's own, never the package manager's.
    if (!folder.startsWith("/usr/") || folder.startsWith("/usr/local/"))
        return false;
    const QString dpkgQuery = m_desktop.findProgram("dpkg-query");
    if (dpkgQuery.isEmpty())
        return false;
    const std::optional<QString> owner = m_desktop.run(dpkgQuery, {"--search", folder});
    return owner && !owner->trimmed().isEmpty();
}

std::function<bool()> HelpCommands::SoftwareCentre() const
{
    const QString id = c_AppId;
    // The desktop's own choice for appstream: links first, then the centres we know by name.
    const std::optional<QString> handler = DefaultProgramFor("x-scheme-handler/appstream");
    if (handler && !handler->isEmpty())
        return [this, id] { return m_desktop.openUrl(QUrl("appstream://" + id)); };
    if (const QString program = m_desktop.findProgram("gnome-software"); !program.isEmpty())
        return [this, program, id] { return m_desktop.start(program, {"--details=" + id}); };
    if (const QString program = m_desktop.findProgram("plasma-discover"); !program.isEmpty())
        return [this, program, id] { return m_desktop.start(program, {"--application", "appstream://" + id}); };
    return {};
}

void HelpCommands::CheckForUpdates(const QUrl& updatePage)
{
    if (!PackageManaged()) {
        OpenWebPage(updatePage);
        return;
    }
    const QString managed = tr("Lumo Publisher was installed from the system's packages, so its updates come through "
                               "the system's package manager, together with those of the rest of the system.");
    const QString asUsual = tr("Update the system as usual, for example with \"sudo apt update && sudo apt upgrade\" "
                               "in a terminal.");
    const std::function<bool()> openCentre = SoftwareCentre();
    if (!openCentre) {
        Tell(managed + "\n\n" + asUsual, Platform::MB_ICONINFORMATION);
        return;
    }
    Tell(managed + "\n\n" + tr("The software centre opens next and shows any update there is."),
        Platform::MB_ICONINFORMATION);
    if (!openCentre())
        Tell(tr("The software centre could not be started.") + "\n\n" + asUsual, Platform::MB_ICONWARNING);
}

bool HelpCommands::OpenWebPage(const QUrl& page)
{
    if (m_desktop.openUrl(page))
        return true;
    Tell(tr("No web browser could be started to show this page:\n\n%1").arg(page.toString()), Platform::MB_ICONWARNING);
    return false;
}

void HelpCommands::Tell(const QString& text, uint32_t icon)
{
    const QByteArray caption = QCoreApplication::applicationName().toUtf8();
    Platform::ShowMessageBox(text.toUtf8().constData(), caption.constData(), Platform::MB_OK | icon);
}
