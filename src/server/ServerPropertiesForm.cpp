#include "server/ServerPropertiesForm.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "server/ServerApp.h"
#include "server/ServerControl.h"

TServerProperties::TServerProperties(ServerControl& server, QWidget* parent) : QWidget(parent), m_server(server)
{
    setWindowTitle("Lumo Media Server Properties");
    auto* layout = new QVBoxLayout(this);

    auto* serving = new QGroupBox("Serving");
    auto* servingLayout = new QVBoxLayout(serving);
    m_state = new QLabel;
    m_state->setObjectName("state");
    m_counts = new QLabel;
    m_counts->setObjectName("counts");
    m_addresses = new QLabel;
    m_addresses->setObjectName("addresses");
    m_addresses->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_problems = new QLabel;
    m_problems->setObjectName("problems");
    m_problems->setWordWrap(true);
    auto* buttons = new QHBoxLayout;
    m_resume = new QPushButton("&Start / Resume");
    m_pause = new QPushButton("&Pause");
    buttons->addWidget(m_resume);
    buttons->addWidget(m_pause);
    buttons->addStretch();
    servingLayout->addWidget(m_state);
    servingLayout->addWidget(m_counts);
    servingLayout->addWidget(m_addresses);
    servingLayout->addWidget(m_problems);
    servingLayout->addLayout(buttons);
    layout->addWidget(serving);

    auto* settings = new QGroupBox("Settings");
    auto* form = new QFormLayout(settings);
    m_name = new QLineEdit;
    m_name->setObjectName("name");
    form->addRow("Server &name:", m_name);
    m_interfaces = new QListWidget;
    m_interfaces->setObjectName("interfaces");
    m_interfaces->setToolTip("Tick the networks to serve on; with none ticked, every network that is up is served.");
    m_interfaces->setMaximumHeight(100);
    form->addRow("Net&works:", m_interfaces);
    m_port = new QSpinBox;
    m_port->setObjectName("port");
    m_port->setRange(1024, 65535);
    form->addRow("Po&rt:", m_port);
    m_startAtLogin = new QCheckBox("Start &when I log in");
    m_startAtLogin->setObjectName("startAtLogin");
    form->addRow(QString(), m_startAtLogin);
    layout->addWidget(settings);

    m_firewall = new QLabel;
    m_firewall->setObjectName("firewall");
    m_firewall->setWordWrap(true);
    layout->addWidget(m_firewall);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Apply | QDialogButtonBox::Close);
    // Without a desktop theme the standard buttons come without mnemonics.
    box->button(QDialogButtonBox::Apply)->setText("&Apply");
    layout->addWidget(box);
    connect(box->button(QDialogButtonBox::Ok), &QPushButton::clicked, this, [this] {
        Apply();
        close();
    });
    connect(box->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, &TServerProperties::Apply);
    connect(box->button(QDialogButtonBox::Close), &QPushButton::clicked, this, &QWidget::close);
    connect(m_resume, &QPushButton::clicked, this, [this] { m_server.Resume(); });
    connect(m_pause, &QPushButton::clicked, this, [this] { m_server.Pause(); });
    connect(&m_server, &ServerControl::StateChanged, this, &TServerProperties::ShowState);
    // The address appears once the published sets are read; counts follow the collection.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &TServerProperties::ShowState);
    timer->start(1000);
    Load();
    ShowState();
    resize(460, sizeHint().height());
}

void TServerProperties::Load()
{
    const ServerSettings settings = m_server.Settings();
    m_name->setText(QString::fromStdString(settings.name));
    m_port->setValue(settings.port);
    m_interfaces->clear();
    std::vector<std::string> known;
    for (const QNetworkInterface& candidate : QNetworkInterface::allInterfaces()) {
        QString label = candidate.name();
        for (const QNetworkAddressEntry& entry : candidate.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                label += "  " + entry.ip().toString();
        }
        auto* item = new QListWidgetItem(label, m_interfaces);
        item->setData(Qt::UserRole, candidate.name());
        const bool chosen
            = std::find(settings.interfaces.begin(), settings.interfaces.end(), candidate.name().toStdString())
            != settings.interfaces.end();
        item->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
        known.push_back(candidate.name().toStdString());
    }
    // A chosen interface that is not there now stays chosen.
    for (const std::string& name : settings.interfaces) {
        if (std::find(known.begin(), known.end(), name) != known.end())
            continue;
        auto* item = new QListWidgetItem(QString::fromStdString(name) + "  (not present)", m_interfaces);
        item->setData(Qt::UserRole, QString::fromStdString(name));
        item->setCheckState(Qt::Checked);
    }
    m_startAtLogin->setChecked(StartAtLoginEnabled());
}

namespace {

QString Counted(int count, const char* noun)
{
    return QString("%1 %2%3").arg(count).arg(noun).arg(count == 1 ? "" : "s");
}

} // namespace

void TServerProperties::ShowState()
{
    const ServerState state = m_server.State();
    const bool answers = m_server.Answers();
    const bool wanted = state.serving != ServerState::Serving::Paused;
    m_state->setText(!answers                                ? "The server is not running."
            : state.serving == ServerState::Serving::Running ? "The server is running."
            : wanted                                         ? "The server is starting."
                                                             : "The server is paused.");
    m_resume->setEnabled(!answers || !wanted);
    m_pause->setEnabled(answers && wanted);
    m_counts->setText(!answers ? QString()
            : state.countsKnown
            ? QString("Serving %1 and %2.").arg(Counted(state.songs, "song"), Counted(state.photos, "photo"))
            : QString("Counting the songs and photos served..."));
    QStringList addresses;
    QStringList ports;
    for (const ServerEndpoint& endpoint : state.endpoints) {
        addresses << QString("http://%1:%2/ (%3)")
                         .arg(QString::fromStdString(endpoint.address))
                         .arg(endpoint.port)
                         .arg(QString::fromStdString(endpoint.interfaceName));
        if (!ports.contains(QString::number(endpoint.port)))
            ports << QString::number(endpoint.port);
    }
    m_addresses->setText(addresses.isEmpty() ? QString("Not on the network.") : "Clients use " + addresses.join(", "));
    QStringList problems;
    for (const std::string& problem : state.problems)
        problems << QString::fromStdString(problem);
    m_problems->setText(problems.join("\n"));
    m_problems->setVisible(!problems.isEmpty());
    if (ports.isEmpty())
        ports << QString::number(m_server.Settings().port);
    m_firewall->setText(QString("A firewall must let through UDP port 1900 (discovery, multicast to 239.255.255.250) "
                                "and TCP port %1 (browsing and playing) on the networks served.")
                            .arg(ports.join(", ")));
}

void TServerProperties::Apply()
{
    ServerSettings settings = m_server.Settings();
    settings.name = m_name->text().trimmed().toStdString();
    if (settings.name.empty())
        settings.name = ServerSettings::DefaultName(QSysInfo::machineHostName().left(15).toStdString());
    settings.port = uint16_t(m_port->value());
    settings.interfaces.clear();
    for (int row = 0; row < m_interfaces->count(); ++row) {
        const QListWidgetItem* item = m_interfaces->item(row);
        if (item->checkState() == Qt::Checked)
            settings.interfaces.push_back(item->data(Qt::UserRole).toString().toStdString());
    }
    settings.startAtLogin = m_startAtLogin->isChecked();
    if (settings.startAtLogin != StartAtLoginEnabled()) {
        const std::string problem
            = SetStartAtLogin(settings.startAtLogin, QCoreApplication::applicationFilePath().toStdString());
        if (!problem.empty())
            QMessageBox::warning(this, windowTitle(), QString::fromStdString(problem));
    }
    try {
        m_server.ApplySettings(settings);
    } catch (const std::exception& error) {
        QMessageBox::warning(this, windowTitle(), QString("The settings cannot be saved: %1").arg(error.what()));
    }
    Load();
    ShowState();
}
