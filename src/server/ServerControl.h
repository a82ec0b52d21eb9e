// The server as its properties window sees it: the server itself in the tests, the running
// server over its local socket in the window's own process.
#pragma once

#include <QObject>

#include "server/ServerSettings.h"
#include "server/ServerState.h"

class ServerControl : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual ServerState State() const = 0;
    // False while no server answers (the window's process outlived it).
    virtual bool Answers() const { return true; }
    virtual ServerSettings Settings() const = 0;
    // Starts serving, or comes back from a pause.
    virtual void Resume() = 0;
    // Goes off the network without quitting.
    virtual void Pause() = 0;
    // Saves the settings; a running server serves again with them. Raises 1013 when the
    // settings file cannot be written.
    virtual void ApplySettings(const ServerSettings& settings) = 0;

Q_SIGNALS:
    void StateChanged();
};
