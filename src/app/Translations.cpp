#include "app/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

#include "picker/Utilities.h"

namespace {

constexpr char c_FromProgram[] = LUMO_TRANSLATIONS_FROM_PROGRAM;
constexpr char c_FromBuildProgram[] = LUMO_TRANSLATIONS_FROM_BUILD_PROGRAM;

bool Install(const QLocale& locale, const QString& name, const QString& folder)
{
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(locale, name, "_", folder))
        return false;
    QCoreApplication::installTranslator(translator.release());
    return true;
}

} // namespace

QString TranslationsFolder(const std::string& programFolder)
{
    const QDir program(QString::fromStdString(programFolder));
    for (const char* relative : {c_FromProgram, c_FromBuildProgram}) {
        const QString folder = QDir::cleanPath(program.filePath(relative));
        if (QFileInfo::exists(folder + "/lumo_en.qm"))
            return folder;
    }
    return QDir::cleanPath(program.filePath(c_FromProgram));
}

bool InstallTranslations(const QLocale& locale, const std::string& programFolder)
{
    if (!QCoreApplication::instance())
        return false;
    const QString folder = TranslationsFolder(programFolder);
    // English first: a language without a translation of ours still gets "1 item", not "1 item(s)".
    Install(QLocale(QLocale::English), "lumo", folder);
    if (locale.language() == QLocale::English || locale.language() == QLocale::C)
        return false;
    if (!Install(locale, "lumo", folder))
        return false;
    // Qt's own dialogs and buttons, where the system has them.
    Install(locale, "qtbase", QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    SetLocaleFormats(true);
    return true;
}
