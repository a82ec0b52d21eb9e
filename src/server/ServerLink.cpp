#include "server/ServerLink.h"

#include <memory>

#include <QLocalSocket>
#include <QProcess>

namespace {

constexpr int c_PollMs = 500;
constexpr int c_AnswerMs = 5000;
constexpr qint64 c_MaxLineBytes = 4096;

} // namespace

ServerLink::ServerLink(std::string computerName, QString socketName, QString serverPath, QObject* parent)
    : ServerControl(parent),
      m_computerName(std::move(computerName)),
      m_socketName(std::move(socketName)),
      m_serverPath(std::move(serverPath))
{
    m_pollTimer.setInterval(c_PollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &ServerLink::Poll);
    m_pollTimer.start();
    Poll();
}

ServerSettings ServerLink::Settings() const
{
    return ServerSettings::Load(m_computerName);
}

void ServerLink::Resume()
{
    if (m_answers) {
        Ask("resume", [this](const std::optional<std::string>&) { Poll(); });
        return;
    }
    // The server went (or never came): start one; it announces itself within a second or two.
    QProcess::startDetached(m_serverPath, {"/resume"});
}

void ServerLink::Pause()
{
    Ask("pause", [this](const std::optional<std::string>&) { Poll(); });
}

void ServerLink::ApplySettings(const ServerSettings& settings)
{
    settings.Save();
    Ask("reload", [this](const std::optional<std::string>&) { Poll(); });
}

void ServerLink::Poll()
{
    if (m_polling)
        return;
    m_polling = true;
    Ask("status", [this](const std::optional<std::string>& answer) {
        m_polling = false;
        const std::optional<ServerState> state = answer ? ServerState::FromStatusLine(*answer) : std::nullopt;
        const bool answers = state.has_value();
        if (answers == m_answers && (!state || *state == m_state))
            return;
        m_answers = answers;
        m_state = state.value_or(ServerState());
        Q_EMIT StateChanged();
    });
}

void ServerLink::Ask(const std::string& command, Answer then)
{
    auto* socket = new QLocalSocket(this);
    // Exactly one answer per question, whichever of the ends comes first.
    auto pending = std::make_shared<Answer>(std::move(then));
    auto finish = [socket, pending](const std::optional<std::string>& answer) {
        if (!*pending)
            return;
        const Answer then = std::move(*pending);
        *pending = nullptr;
        socket->abort();
        socket->deleteLater();
        then(answer);
    };
    connect(socket, &QLocalSocket::connected, socket, [socket, command] { socket->write((command + "\n").c_str()); });
    connect(socket, &QLocalSocket::readyRead, socket, [socket, finish] {
        if (socket->canReadLine())
            finish(socket->readLine(c_MaxLineBytes).trimmed().toStdString());
        else if (socket->bytesAvailable() >= c_MaxLineBytes)
            finish(std::nullopt);
    });
    connect(socket, &QLocalSocket::errorOccurred, socket, [finish] { finish(std::nullopt); });
    QTimer::singleShot(c_AnswerMs, socket, [finish] { finish(std::nullopt); });
    socket->connectToServer(m_socketName);
}
