// The server's properties window, offscreen, over a server that never goes on the network: what
// it shows, what Apply writes to the settings file, and the start-at-login switch, all in a
// home of its own (a stand-in systemctl records what it is asked instead of reaching systemd).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include "host/HostInternals.h"
#include "server/EngineConfig.h"
#include "server/MediaEngine.h"
#include "server/ServerApp.h"
#include "server/ServerPropertiesForm.h"
#include "server/ServerSettings.h"
#include "support/HostFolder.h"

namespace {

QString ReadText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QListWidgetItem* InterfaceItem(QListWidget* list, const QString& name)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->data(Qt::UserRole).toString() == name)
            return list->item(row);
    }
    return nullptr;
}

TEST(ServerPropertiesTest, ShowsTheSettingsAndWritesWhatIsApplied)
{
    // Before anything reads a setting: the settings file's place is fixed at the first read.
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString config = home.filePath("config");
    const QString bin = home.filePath("bin");
    const QString calls = home.filePath("systemctl-calls");
    ASSERT_TRUE(QDir().mkpath(config) && QDir().mkpath(bin));
    QFile systemctl(bin + "/systemctl");
    ASSERT_TRUE(systemctl.open(QIODevice::WriteOnly));
    systemctl.write(("#!/bin/sh\necho \"$*\" >> '" + calls + "'\n").toUtf8());
    systemctl.close();
    systemctl.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    qputenv("XDG_CACHE_HOME", home.filePath("cache").toUtf8());
    qputenv("PATH", (bin + ":" + qgetenv("PATH")).toUtf8());

    static int argc = 1;
    static char name[] = "server_window_tests";
    static char* argv[] = {name, nullptr};
    QApplication application(argc, argv);

    ServerSettings chosen;
    chosen.name = "Den";
    chosen.interfaces = {"lo", "gone0"};
    chosen.port = 9123;
    chosen.uuid = "0f5d2a8e-3c1b-4b7a-9d6e-2a4c6e8f0b1d";
    chosen.Save();

    // The server's engine, as the program loads it.
    EngineConfigValues values;
    values.pluginName = ServerDevices::c_PluginName;
    values.title = chosen.name;
    values.uuid = chosen.uuid;
    values.port = chosen.port;
    values.enginePath = LUMO_PROGRAM_DIR "/server-engine";
    values.engineLibrary = "librygel-media-engine-lumo.so";
    InstallEngineConfig(values);
    RegisterMediaEngine();
    GError* error = nullptr;
    rygel_media_engine_init(&error);
    ASSERT_EQ(error, nullptr) << error->message;

    HostFolder folder;
    HostInternals host(folder.Path());
    ServerApp app(host);
    TServerProperties window(app);
    window.show();

    auto* nameEdit = window.findChild<QLineEdit*>("name");
    auto* port = window.findChild<QSpinBox*>("port");
    auto* interfaces = window.findChild<QListWidget*>("interfaces");
    auto* startAtLogin = window.findChild<QCheckBox*>("startAtLogin");
    auto* buttons = window.findChild<QDialogButtonBox*>();
    ASSERT_TRUE(nameEdit && port && interfaces && startAtLogin && buttons);
    QPushButton* apply = buttons->button(QDialogButtonBox::Apply);

    EXPECT_EQ(nameEdit->text(), "Den");
    EXPECT_EQ(port->value(), 9123);
    QListWidgetItem* loopback = InterfaceItem(interfaces, "lo");
    QListWidgetItem* gone = InterfaceItem(interfaces, "gone0");
    ASSERT_TRUE(loopback && gone);
    EXPECT_EQ(loopback->checkState(), Qt::Checked);
    // A chosen interface that is not there stays chosen, and says so.
    EXPECT_EQ(gone->checkState(), Qt::Checked);
    EXPECT_TRUE(gone->text().contains("not present"));
    EXPECT_EQ(window.findChild<QLabel*>("state")->text(), "The server is paused.");
    EXPECT_EQ(window.findChild<QLabel*>("addresses")->text(), "Not on the network.");
    EXPECT_TRUE(window.findChild<QLabel*>("firewall")->text().contains("TCP port 9123"));
    EXPECT_FALSE(startAtLogin->isChecked());

    // Apply writes the server's section of the publisher's settings file.
    nameEdit->setText("  Attic  ");
    port->setValue(9200);
    loopback->setCheckState(Qt::Unchecked);
    startAtLogin->setChecked(true);
    apply->click();
    const QString ini = ReadText(config + "/Lumo/Desktop.ini");
    EXPECT_TRUE(ini.contains("[Server]")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("ServerName=Attic\n")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("Port=9200\n")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("Interfaces=gone0\n")) << ini.toStdString();
    const ServerSettings saved = ServerSettings::Load(host.ComputerName());
    EXPECT_EQ(saved.name, "Attic");
    EXPECT_EQ(saved.port, 9200);
    EXPECT_EQ(saved.interfaces, std::vector<std::string>{"gone0"});
    EXPECT_EQ(saved.uuid, chosen.uuid);
    EXPECT_TRUE(saved.startAtLogin);
    EXPECT_EQ(app.Settings().name, "Attic");
    EXPECT_TRUE(window.findChild<QLabel*>("firewall")->text().contains("TCP port 9200"));

    // The switch: an autostart entry that resumes this program, and the user unit enabled.
    const QString autostart = config + "/autostart/lumo-server.desktop";
    const QString entry = ReadText(autostart);
    EXPECT_TRUE(entry.contains("[Desktop Entry]")) << entry.toStdString();
    EXPECT_TRUE(entry.contains("Exec=\"" + QCoreApplication::applicationFilePath() + "\" /resume\n"))
        << entry.toStdString();
    EXPECT_EQ(ReadText(calls), "--user --quiet enable lumo-server.service\n");
    EXPECT_TRUE(startAtLogin->isChecked());

    // Off again: both go, and a name left empty falls back to the default one.
    startAtLogin->setChecked(false);
    nameEdit->clear();
    apply->click();
    EXPECT_FALSE(QFile::exists(autostart));
    EXPECT_EQ(
        ReadText(calls), "--user --quiet enable lumo-server.service\n--user --quiet disable lumo-server.service\n");
    EXPECT_FALSE(ServerSettings::Load(host.ComputerName()).startAtLogin);
    EXPECT_EQ(nameEdit->text().left(21), "Lumo Media Server on ");
    EXPECT_FALSE(startAtLogin->isChecked());
}

} // namespace
