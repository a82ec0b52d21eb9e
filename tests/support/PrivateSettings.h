// Test processes run side by side and would read each other's settings: each process gets a
// settings file of its own, in a folder removed when it exits.
#pragma once

#include <QSettings>
#include <QTemporaryDir>

inline void UsePrivateSettings()
{
    static QTemporaryDir folder;
    static const bool isolated = (QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path()), true);
    (void)isolated;
}
