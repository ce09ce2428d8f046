// The window with bad ground under it: a damaged or locked database at start-up (one box
// naming the file and the problem, the window usable, the file untouched), settings that
// are no numbers, and an export into a folder that cannot be written.

#include "datadirlock.h"
#include "exportdialog.h"
#include "mainwindowtestkit.h"
#include "optioncontrol.h"
#include "testwebserver.h"
#include "toolrun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <unistd.h>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void fillStore(const QString &dir, int rows)
{
    SqliteStore db(dir);
    QString search = QStringLiteral("plumbers");
    (void)db.addSearch(search);
    for (int i = 0; i < rows; ++i) {
        QString n = QStringLiteral("1-212-555-%1").arg(i, 4, 10, QLatin1Char('0'));
        QString s = search;
        addFax(db, n, QStringLiteral("w.test"), s, QStringLiteral("NY"));
        QString site = QStringLiteral("s%1.test").arg(i);
        (void)db.addWebsite(site);
    }
}

bool chattr(const QString &flag, const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("chattr"), {flag, path});
    return p.waitForFinished() && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A folder this process cannot write into (read-only for a user, immutable for root).
bool makeUnwritable(const QString &path)
{
    if (::geteuid() != 0)
        return QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    return chattr(QStringLiteral("+i"), path) && !QFileInfo(path).isWritable();
}

struct WritableAgain
{
    QString path;
    ~WritableAgain()
    {
        if (path.isEmpty())
            return;
        if (::geteuid() == 0)
            chattr(QStringLiteral("-i"), path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

} // namespace

class TestBadWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void storeProblemAtStartup_data()
    {
        QTest::addColumn<bool>("locked");
        QTest::addColumn<QString>("reason");
        QTest::newRow("damaged") << false << "it is damaged";
        QTest::newRow("locked by another program") << true << "another program is using it";
    }
    void storeProblemAtStartup()
    {
        QFETCH(bool, locked);
        QFETCH(QString, reason);
        TempDataDir dir;
        fillStore(dir.path(), 2000);
        const QString path = dir.file(QStringLiteral("varnel.mdb"));
        const QString holderName = QStringLiteral("holder");
        if (locked) {
            QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), holderName);
            holder.setDatabaseName(path);
            QVERIFY(holder.open());
            QSqlQuery q(holder);
            QVERIFY(q.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
            QVERIFY(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
            QVERIFY(q.exec(QStringLiteral("INSERT INTO searches VALUES ('held')")));
        } else {
            QByteArray b = fileBytes(path);
            QRandomGenerator rng(5);
            for (qsizetype p = 2 * 4096; p < b.size(); p += 4096) {
                for (qsizetype k = 0; k < 4096 && p + k < b.size(); k += 7)
                    b[p + k] = char(rng.bounded(256));
            }
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(b);
        }
        const QByteArray before = locked ? QByteArray() : fileBytes(path);
        {
            MainWindowHarness h({}, dir.path());
            QElapsedTimer t;
            t.start();
            QVERIFY(h.open());
            QTRY_VERIFY(h.form->findChild<QMessageBox *>(QStringLiteral("storeProblem")));
            // One lock wait at most, not one for every operation of the start-up.
            QVERIFY2(t.elapsed() < 8000, qPrintable(QString::number(t.elapsed())));
            const auto boxes = h.form->findChildren<QMessageBox *>(QStringLiteral("storeProblem"));
            QCOMPARE(boxes.size(), 1);
            QVERIFY(boxes.first()->text().contains(QDir::toNativeSeparators(path)));
            QVERIFY2(boxes.first()->text().contains(reason), qPrintable(boxes.first()->text()));
            QVERIFY(h.form->isVisible());
            boxes.first()->close();
        }
        if (locked)
            QSqlDatabase::removeDatabase(holderName);
        else
            QCOMPARE(fileBytes(path), before);
    }

    // Options stored as no numbers or out of range: the window shows the defaults.
    void damagedSettings_windowShowsDefaults()
    {
        QMap<QString, QString> values;
        for (const char *key :
             {"Combo1", "Combo2", "chkAuto", "chkAddFax", "chkNonUS", "chkAudioEmail",
              "chkAudioNext", "chkAudioFinished", "chkFollow", "cmbAdvance", "cmbLastSearch",
              "lHistEmailFound", "lHistWebScanned"})
            values.insert(QLatin1String(key), QStringLiteral("12x\x01"));
        values.insert(QStringLiteral("Combo2"), QStringLiteral("77"));
        values.insert(QStringLiteral("cmbAdvance"), QStringLiteral("-3"));
        MainWindowHarness h(values);
        QVERIFY(h.open());
        QCOMPARE(OptionControl::shownText(h.c.combo(OptionId::SearchEngine)),
                 QStringLiteral("Which Search Type?"));
        QCOMPARE(OptionControl::shownText(h.c.combo(OptionId::ResultCount)),
                 QStringLiteral("How Many Results?"));
        QCOMPARE(h.c.combo(OptionId::AdvanceAfter)->currentText(), QStringLiteral("10,000"));
        QCOMPARE(h.c.combo(OptionId::AfterLastSearch)->currentText(),
                 QStringLiteral("Stop Immediately"));
        QVERIFY(!h.c.checkBox(OptionId::AutoAdvance)->isChecked());
        for (QCheckBox *c :
             {h.c.checkBox(OptionId::AddFaxToSearches), h.c.checkBox(OptionId::AllowInternational),
              h.c.checkBox(OptionId::SoundOnFaxFound), h.c.checkBox(OptionId::SoundOnNextSearch),
              h.c.checkBox(OptionId::SoundOnFinished), h.c.checkBox(OptionId::FollowRedirects)})
            QVERIFY2(c->isChecked(), qPrintable(c->objectName()));
    }

    // One harvesting program per data folder: a harvest does not start in the folder of an
    // open window, and a window does not open on a folder that another program holds; each
    // names the holder.
    void folderInUse_windowAndHarvestExcludeEachOther()
    {
        TempDataDir dir;
        QProcess window;
        window.start(QStringLiteral(VARNEL_APP_PATH), {QStringLiteral("--data-dir"), dir.path()});
        QVERIFY(window.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.file(QStringLiteral("varnel.lock"))), 30000);
        ToolRun harvest;
        QVERIFY(harvest.run({QStringLiteral("harvest"), QStringLiteral("--data-dir"), dir.path(),
                             QStringLiteral("--search"), QStringLiteral("roofers")}));
        QCOMPARE(harvest.exitCode(), 1);
        QVERIFY2(harvest.err.contains("in use by varnel (process " +
                                      QByteArray::number(window.processId())),
                 harvest.err.constData());
        window.kill();
        QVERIFY(window.waitForFinished());

        // The killed window's lock is taken over; now this program holds the folder.
        DataDirLock held(dir.path());
        QVERIFY2(held.tryLock(), qPrintable(held.errorString()));
        QProcess second;
        second.start(QStringLiteral(VARNEL_APP_PATH), {QStringLiteral("--data-dir"), dir.path()});
        QVERIFY(second.waitForStarted());
        QByteArray err;
        const QByteArray holder = "in use by tst_badwindow (process " +
                                  QByteArray::number(QCoreApplication::applicationPid());
        QTRY_VERIFY_WITH_TIMEOUT((err += second.readAllStandardError()).contains(holder), 30000);
        QVERIFY(second.state() == QProcess::Running); // its message box waits for the user
        second.kill();
        QVERIFY(second.waitForFinished());
    }

    // An export into a folder that cannot be written: the message names the file, nothing
    // is written, and the numbers are not deleted although that was asked for.
    void exportIntoReadOnlyFolder_data()
    {
        QTest::addColumn<bool>("window");
        QTest::newRow("export window") << true;
        QTest::newRow("varnel-tool export") << false;
    }
    void exportIntoReadOnlyFolder()
    {
        QFETCH(bool, window);
        TempDataDir dir;
        fillStore(dir.path(), 3);
        const QString folder = dir.file(QStringLiteral("readonly"));
        QVERIFY(QDir().mkdir(folder));
        WritableAgain guard;
        if (!makeUnwritable(folder))
            QSKIP("no way to make a folder read-only for this user here (chattr missing)");
        guard.path = folder;
        const QString target = QDir(folder).filePath(QStringLiteral("export.txt"));
        QStringList errors;
        if (window) {
            SqliteStore db(dir.path());
            WindowOwner windows(dir.path());
            ExportDialog *w = windows.openExport(&db);
            QPointer<ExportDialog> open(w);
            w->askSaveFileName = [&](const QString &) { return target; };
            w->askYesNo = [](const QString &) { return true; };
            w->showError = [&](const QString &text) { errors << text; };
            control<QCheckBox>(w, QStringLiteral("Check1"))
                ->setChecked(true); // delete after the export
            w->exportClicked();
            QCOMPARE(db.countFaxes().value_or(-1), 3);
            QVERIFY(open && open->isVisible());
        } else {
            ToolRun run;
            QVERIFY(run.run({QStringLiteral("export"), QStringLiteral("--data-dir"), dir.path(),
                             QStringLiteral("--delete"), target}));
            QCOMPARE(run.exitCode(), 1);
            errors << QString::fromLocal8Bit(run.err);
            SqliteStore db(dir.path());
            QCOMPARE(db.countFaxes().value_or(-1), 3);
        }
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(QDir::toNativeSeparators(target)),
                 qPrintable(errors.first()));
        QVERIFY(!QFile::exists(target));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }
};

QTEST_MAIN(TestBadWindow)
#include "tst_badwindow.moc"
