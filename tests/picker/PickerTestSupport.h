// A real host over the in-memory media fixture, an application object for events, and a view
// stand-in that counts the records it receives.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <gtest/gtest.h>

#include "host/HostInternals.h"
#include "host/UrlImpl.h"
#include "picker/UpdateQueue.h"
#include "support/HostFolder.h"
#include "support/WaitUntil.h"

inline QCoreApplication& Application()
{
    static int argc = 1;
    static char name[] = "picker_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* application = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    return application ? *application : *QCoreApplication::instance();
}

// Keeps every record a view would apply.
class RecordingView : public QObject {
public:
    std::vector<std::unique_ptr<UpdateInfo>> records;
    std::function<void()> received;

    bool event(QEvent* event) override
    {
        if (event->type() != QueuedEvent::c_Type)
            return QObject::event(event);
        records.push_back(static_cast<QueuedEvent*>(event)->TakeInfo());
        if (received)
            received();
        return true;
    }
};

inline LumoApi::ApiRef<LumoApi::UrlApi> MemUrl(const char* text)
{
    return MakeUrl(text);
}
