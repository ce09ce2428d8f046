#include "storedialog.h"

#include "settingsstore.h"
#include "storechoice.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

StoreDialog::StoreDialog(SettingsStore *settings, QWidget *parent)
    : QDialog(parent), m_settings(settings)
{
    setWindowTitle(QStringLiteral("Database"));
    const StoreChoice choice = StoreChoice::read(*settings);
    m_local = new QRadioButton(QStringLiteral("This computer"), this);
    m_local->setObjectName(QStringLiteral("optThisComputer"));
    m_server = new QRadioButton(QStringLiteral("Shared server"), this);
    m_server->setObjectName(QStringLiteral("optSharedServer"));
    (choice.server ? m_server : m_local)->setChecked(true);

    m_host = new QLineEdit(choice.host, this);
    m_host->setObjectName(QStringLiteral("txtHost"));
    m_port = new QSpinBox(this);
    m_port->setObjectName(QStringLiteral("txtPort"));
    m_port->setRange(1, 65535);
    m_port->setValue(choice.port);
    m_database = new QLineEdit(choice.database, this);
    m_database->setObjectName(QStringLiteral("txtDatabase"));
    m_user = new QLineEdit(choice.user, this);
    m_user->setObjectName(QStringLiteral("txtUser"));
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Host:"), m_host);
    form->addRow(QStringLiteral("Port:"), m_port);
    form->addRow(QStringLiteral("Database:"), m_database);
    form->addRow(QStringLiteral("User:"), m_user);

    auto *note = new QLabel(
        QStringLiteral("A team of harvesters shares one queue and one list of numbers on the "
                       "server. The password is taken from ~/.pgpass or the PGPASSWORD "
                       "environment variable and is never saved here. The choice is used from "
                       "the next start of the program."),
        this);
    note->setWordWrap(true);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("lblProblem"));
    m_problem->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &StoreDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &StoreDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_local);
    layout->addWidget(m_server);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    connect(m_server, &QRadioButton::toggled, this, &StoreDialog::updateEnabled);
    updateEnabled();
}

void StoreDialog::updateEnabled()
{
    for (QWidget *w : {static_cast<QWidget *>(m_host), static_cast<QWidget *>(m_port),
                       static_cast<QWidget *>(m_database), static_cast<QWidget *>(m_user)})
        w->setEnabled(m_server->isChecked());
}

void StoreDialog::accept()
{
    StoreChoice choice;
    choice.server = m_server->isChecked();
    choice.host = m_host->text().trimmed();
    choice.port = m_port->value();
    choice.database = m_database->text().trimmed();
    choice.user = m_user->text().trimmed();
    const QString problem = choice.problem();
    if (!problem.isEmpty()) {
        m_problem->setText(problem);
        return;
    }
    choice.write(*m_settings);
    QDialog::accept();
}
