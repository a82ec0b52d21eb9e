// The server's properties window: its name, the interfaces and port it serves on, whether it
// serves now, how much, the address clients use and what a firewall must let through.
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class ServerControl;

class TServerProperties : public QWidget {
    Q_OBJECT
public:
    explicit TServerProperties(ServerControl& server, QWidget* parent = nullptr);

private:
    void Load();
    void ShowState();
    void Apply();

    ServerControl& m_server;
    QLineEdit* m_name;
    QListWidget* m_interfaces;
    QSpinBox* m_port;
    QLabel* m_state;
    QLabel* m_counts;
    QLabel* m_addresses;
    QLabel* m_firewall;
    QLabel* m_problems;
    QCheckBox* m_startAtLogin;
    QPushButton* m_resume;
    QPushButton* m_pause;
};
