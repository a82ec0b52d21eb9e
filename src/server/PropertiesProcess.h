// In the server: the process of its properties window (see PropertiesWindow.h), one at a time.
#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <memory>

// This program's variables that say where a window is shown ("DISPLAY=:0").
QStringList DisplayVariables();

class PropertiesProcess : public QObject {
    Q_OBJECT
public:
    explicit PropertiesProcess(QString serverPath, QObject* parent = nullptr);
    ~PropertiesProcess() override;

    // Opens the window where displayVariables say, or brings the open one forward. False when
    // they name no display.
    bool Show(const QStringList& displayVariables);

private:
    QString m_serverPath;
    std::unique_ptr<QProcess> m_window;
};
