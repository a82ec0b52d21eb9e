// What the main window's tests share besides the application and waiting: clean settings.
#pragma once

#include <QSettings>

#include <gtest/gtest.h>

#include "support/PrivateSettings.h"
#include "support/WidgetApplication.h"

// Forgets the publisher's own values and the server path, as on a first run, in a settings
// file of this process's own.
inline void ClearSettings()
{
    UsePrivateSettings();
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Lumo", "Desktop");
    settings.remove("Publisher");
    settings.remove("ServerPath");
    settings.sync();
}
