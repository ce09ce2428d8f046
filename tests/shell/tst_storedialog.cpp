// File > Database...: the choice between this computer and a shared server, written to
// the settings without a password, and the server address the next start uses.

#include "settingsstore.h"
#include "storechoice.h"
#include "storedialog.h"
#include "testenv.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

class TestStoreDialog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void serverChosen_writtenWithoutPassword()
    {
        TempDataDir dir;
        const QString ini = SettingsStore::iniPathForDataDir(dir.path());
        SettingsStore settings(ini);
        QCOMPARE(StoreChoice::read(settings).location(), QString()); // this computer

        StoreDialog dialog(&settings);
        auto *host = dialog.findChild<QLineEdit *>(QStringLiteral("txtHost"));
        QVERIFY(host && !host->isEnabled());
        dialog.findChild<QRadioButton *>(QStringLiteral("optSharedServer"))->setChecked(true);
        QVERIFY(host->isEnabled());
        dialog.accept(); // no host: refused, nothing written
        QVERIFY(dialog.result() != QDialog::Accepted);
        QVERIFY(!dialog.findChild<QLabel *>(QStringLiteral("lblProblem"))->text().isEmpty());
        QCOMPARE(StoreChoice::read(settings).server, false);

        host->setText(QStringLiteral(" db.example "));
        dialog.findChild<QSpinBox *>(QStringLiteral("txtPort"))->setValue(5433);
        dialog.findChild<QLineEdit *>(QStringLiteral("txtDatabase"))
            ->setText(QStringLiteral("team"));
        dialog.findChild<QLineEdit *>(QStringLiteral("txtUser"))
            ->setText(QStringLiteral("bob smith"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(StoreChoice::read(SettingsStore(ini)).location(),
                 QStringLiteral("postgresql://bob%20smith@db.example:5433/team"));
        QFile file(ini);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().toLower().contains("password"));

        StoreDialog again(&settings);
        again.findChild<QRadioButton *>(QStringLiteral("optThisComputer"))->setChecked(true);
        again.accept();
        QCOMPARE(StoreChoice::read(SettingsStore(ini)).location(), QString());
    }
};

QTEST_MAIN(TestStoreDialog)
#include "tst_storedialog.moc"
