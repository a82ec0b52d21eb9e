// What the main window's tests share besides the application and waiting: clean settings.
#pragma once

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/WidgetApplication.h"

// Forgets the publisher's own values and the server path, as on a first run. The settings
// file is this process's own: test processes run side by side and would read each other's.
inline void ClearSettings()
{
    static QTemporaryDir folder;
    static const bool isolated = (QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path()), true);
    (void)isolated;
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Lumo", "Desktop");
    settings.remove("Publisher");
    settings.remove("ServerPath");
    settings.sync();
}
