#include "server/PropertiesProcess.h"

#include <QProcessEnvironment>
#include <algorithm>
#include <iterator>

namespace {

constexpr const char* c_DisplayNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM"};

} // namespace

QStringList DisplayVariables()
{
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QStringList variables;
    for (const char* name : c_DisplayNames) {
        const QString value = environment.value(name);
        // One line, words split at blanks: a value with a blank cannot travel, nor be a display.
        if (!value.isEmpty() && !value.contains(' ') && !value.contains('\n'))
            variables << QString("%1=%2").arg(name, value);
    }
    return variables;
}

PropertiesProcess::PropertiesProcess(QString serverPath, QObject* parent)
    : QObject(parent), m_serverPath(std::move(serverPath))
{
}

PropertiesProcess::~PropertiesProcess()
{
    if (m_window && m_window->state() != QProcess::NotRunning) {
        m_window->terminate();
        if (!m_window->waitForFinished(2000))
            m_window->kill();
        m_window->waitForFinished(1000);
    }
}

bool PropertiesProcess::Show(const QStringList& displayVariables)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : c_DisplayNames)
        environment.remove(name);
    bool display = false;
    for (const QString& variable : displayVariables) {
        const qsizetype equals = variable.indexOf('=');
        const QString name = variable.left(equals);
        // What says where to show a window, and nothing else the request may carry.
        if (equals <= 0
            || std::find(std::begin(c_DisplayNames), std::end(c_DisplayNames), name) == std::end(c_DisplayNames))
            continue;
        environment.insert(name, variable.mid(equals + 1));
        display = display || name != "XAUTHORITY";
    }
    if (!display)
        return false;
    if (m_window && m_window->state() != QProcess::NotRunning) {
        m_window->write("raise\n");
        return true;
    }
    m_window = std::make_unique<QProcess>();
    m_window->setProcessEnvironment(environment);
    m_window->setProcessChannelMode(QProcess::ForwardedChannels);
    m_window->setInputChannelMode(QProcess::ManagedInputChannel);
    m_window->start(m_serverPath, {"/window"});
    return true;
}
