// The one application object of a test program that shows windows. Made on first use and never
// destroyed: Qt allows one per process, and widgets may outlive any test that made them.
#pragma once

#include <QApplication>

#include "support/WaitUntil.h"

inline QApplication& WidgetApplication()
{
    static int argc = 1;
    static char name[] = "lumo_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}
