#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class SettingsStore;

// File > Database...: this computer (the file in the data folder) or a shared server (host,
// port, database, user). The choice is written to the settings on OK and used from the
// next start of the program; a password is never asked for or written.
class StoreDialog : public QDialog
{
    Q_OBJECT
public:
    explicit StoreDialog(SettingsStore *settings, QWidget *parent = nullptr);

    void accept() override;

private:
    void updateEnabled();

    SettingsStore *m_settings;
    QRadioButton *m_local;
    QRadioButton *m_server;
    QLineEdit *m_host;
    QSpinBox *m_port;
    QLineEdit *m_database;
    QLineEdit *m_user;
    QLabel *m_problem;
};
