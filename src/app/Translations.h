// The interface's language: Qt's own translations and ours for the locale, with English (which
// carries only the plural forms) underneath.
#pragma once

#include <string>

#include <QLocale>
#include <QString>

// The folder of our compiled translations, installed or in the build tree.
QString TranslationsFolder(const std::string& programFolder);

// Installs the translators on the application, which owns them. True when the interface is
// now in a language other than English; dates, numbers and sizes then follow the locale too.
bool InstallTranslations(const QLocale& locale, const std::string& programFolder);
