// Bad ground under the harvest: a "varnel.mdb" that is damaged, truncated, some other kind
// of file or locked by another program; a data folder that cannot be written, is full or is
// used by another harvest; page files that cannot be written or are links; an export onto
// the store, into a pipe or a full device. Each time the user gets a message naming the file and
// the problem, the programs end or stop cleanly, and nothing already stored is lost or
// changed.

#include "enginetestkit.h"
#include "export.h"
#include "pagefiles.h"
#include "toolrun.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlError>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QString dbPath(const QString &dir)
{
    return QDir(dir).filePath(QStringLiteral("varnel.mdb"));
}

// Numbers 1-212-555-0000 on (and, with sites, a search string and a queue), written by
// the store itself (WAL, every table and index), closed cleanly.
void fillStore(const QString &dir, int rows, bool sites = true)
{
    SqliteStore db(dir);
    QString search = QStringLiteral("plumbers");
    if (sites)
        (void)db.addSearch(search);
    for (int i = 0; i < rows; ++i) {
        QString n = QStringLiteral("1-212-555-%1").arg(i, 4, 10, QLatin1Char('0'));
        QString s = search;
        addFax(db, n, QStringLiteral("w.test"), s, QStringLiteral("NY"));
        QString site = QStringLiteral("s%1.test").arg(i);
        if (sites)
            (void)db.addWebsite(site);
    }
}

// The same rows written by another program: no write-ahead log, no indexes.
void fillForeignStore(const QString &dir, int rows)
{
    const QString name = QStringLiteral("foreign");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(dbPath(dir));
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral(
            "CREATE TABLE faxes (fax TEXT, Date TEXT, website TEXT, search TEXT, location TEXT)"));
        q.exec(QStringLiteral("CREATE TABLE websites (website TEXT, Date TEXT)"));
        q.exec(QStringLiteral("CREATE TABLE searches (search TEXT)"));
        q.exec(QStringLiteral("INSERT INTO searches VALUES ('plumbers')"));
        db.transaction();
        for (int i = 0; i < rows; ++i) {
            q.exec(QStringLiteral("INSERT INTO faxes VALUES ('1-212-555-%1', '2020-01-01 "
                                  "00:00:00', 'w', 's', 'l')")
                       .arg(i, 4, 10, QLatin1Char('0')));
            q.exec(QStringLiteral("INSERT INTO websites VALUES ('s%1.test', '2020-01-01 00:00:00')")
                       .arg(i));
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(name);
}

// Every page after the second overwritten in part: the schema is readable, the rows not.
void damagePages(const QString &path)
{
    QByteArray b = fileBytes(path);
    QRandomGenerator rng(99);
    for (qsizetype p = 2 * 4096; p < b.size(); p += 4096) {
        for (qsizetype k = 0; k < 4096 && p + k < b.size(); k += 7)
            b[p + k] = char(rng.bounded(256));
    }
    writeBytes(path, b);
}

// Sets or clears the immutable attribute (root can write into read-only folders otherwise).
bool setImmutable(const QString &path, bool on)
{
    QProcess p;
    p.start(QStringLiteral("chattr"), {on ? QStringLiteral("+i") : QStringLiteral("-i"), path});
    return p.waitForFinished() && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A folder that this process cannot write into: a read-only mode for other users, the
// immutable attribute for root. False when neither can be had here.
bool makeUnwritable(const QString &path)
{
    if (::geteuid() != 0)
        return QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    return setImmutable(path, true) && !QFileInfo(path).isWritable();
}

void makeWritable(const QString &path)
{
    if (::geteuid() == 0)
        setImmutable(path, false);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

struct Unwritable
{
    QStringList paths;
    ~Unwritable()
    {
        for (const QString &p : qAsConst(paths))
            makeWritable(p);
    }
};

// A loopback web of sites with two numbers each, and their queue in the store.
struct NumberWeb
{
    TestWebServer web;
    QStringList sites;
    QStringList numbers;

    explicit NumberWeb(int count)
    {
        web.listen();
        for (int i = 0; i < count; ++i) {
            const QByteArray host = "n" + QByteArray::number(i) + ".test";
            const QString a = QStringLiteral("917-555-%1").arg(2 * i, 4, 10, QLatin1Char('0'));
            const QString b = QStringLiteral("917-555-%1").arg(2 * i + 1, 4, 10, QLatin1Char('0'));
            web.addPage(host, "/",
                        "<body><p>Fax: " + a.toLatin1() + "</p>\r\n<a href=\"b.htm\">b</a></body>");
            web.addPage(host, "/b.htm", "<body><p>Fax: " + b.toLatin1() + "</p></body>");
            sites << QString::fromLatin1(host);
            numbers << QStringLiteral("1-") + a << QStringLiteral("1-") + b;
        }
    }
    void queueInto(const QString &dir)
    {
        SqliteStore db(dir);
        QString search = QStringLiteral("plumbers");
        (void)db.addSearch(search);
        for (QString s : qAsConst(sites))
            (void)db.addWebsite(s);
    }
    QStringList harvestArgs(const QString &dir) const
    {
        // Every page of each site, the pages after its fax too.
        return {QStringLiteral("harvest"),         QStringLiteral("--data-dir"), dir,
                QStringLiteral("--resume"),        QStringLiteral("--resolve"),  web.resolveSpec(),
                QStringLiteral("--no-stop-at-fax")};
    }
};

struct Rows
{
    QString integrity;
    QStringList faxes;
    int websites = -1;
    int pending = -1;
};

Rows readRows(const QString &dir)
{
    Rows r;
    const QString name = QStringLiteral("check");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(dbPath(dir));
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next())
                r.integrity = q.value(0).toString();
            q.exec(QStringLiteral("SELECT fax FROM faxes ORDER BY rowid"));
            while (q.next())
                r.faxes << q.value(0).toString();
            if (q.exec(QStringLiteral("SELECT count(*) FROM websites")) && q.next())
                r.websites = q.value(0).toInt();
            if (q.exec(QStringLiteral("SELECT count(*) FROM pending")) && q.next())
                r.pending = q.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return r;
}

QStringList exportArgs(const QString &dir, const QString &file)
{
    return {QStringLiteral("export"), QStringLiteral("--data-dir"), dir,
            QStringLiteral("--type"), QStringLiteral("lines"),      file};
}

// A loopback web of sites that each answer after a while with one number, and their
// queue in the store: a harvest of them runs long enough to be met by a second program.
struct SlowWeb
{
    TestWebServer web;
    QStringList numbers;

    SlowWeb(int count, int delayMs)
    {
        web.listen();
        for (int i = 0; i < count; ++i) {
            TestWebServer::Response r;
            r.fault = TestWebServer::Fault::Delay;
            r.delayMs = delayMs;
            const QByteArray number = "415-555-" + QByteArray::number(2000 + i);
            r.body = "<body><p>Fax: " + number + "</p></body>";
            web.addResponse("slow" + QByteArray::number(i) + ".test", "/", r);
            numbers << QStringLiteral("1-") + QString::fromLatin1(number);
        }
    }
    void queueInto(const QString &dir)
    {
        SqliteStore db(dir);
        QString search = QStringLiteral("plumbers");
        (void)db.addSearch(search);
        for (int i = 0; i < numbers.size(); ++i) {
            QString site = QStringLiteral("slow%1.test").arg(i);
            (void)db.addWebsite(site);
        }
    }
    QStringList harvestArgs(const QString &dir) const
    {
        // Every page of each site, the pages after its fax too.
        return {QStringLiteral("harvest"),         QStringLiteral("--data-dir"), dir,
                QStringLiteral("--resume"),        QStringLiteral("--resolve"),  web.resolveSpec(),
                QStringLiteral("--no-stop-at-fax")};
    }
};

// Waits for a process started apart from ToolRun, letting the test's servers answer.
bool waitForExit(QProcess &p, int timeoutMs = 60000)
{
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < timeoutMs)
        QTest::qWait(20);
    return p.state() == QProcess::NotRunning;
}

mode_t fileType(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

} // namespace

class TestBadStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    // A "varnel.mdb" that cannot be harvested into: both programs say which file and why,
    // end with status 1, and leave the file as it was.
    void unusableDatabase_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("damaged, written by another program") << "foreign"
                                                             << "it is damaged";
        QTest::newRow("damaged rows of our own store") << "own"
                                                       << "it is damaged";
        QTest::newRow("cut off halfway") << "truncated"
                                         << "it is damaged";
        QTest::newRow("a text file") << "text"
                                     << "it is not a fax database";
        QTest::newRow("a folder") << "folder"
                                  << "it is not a file";
        QTest::newRow("a named pipe") << "fifo"
                                      << "it is not a file";
    }
    void unusableDatabase()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        TempDataDir dir;
        const QString path = dbPath(dir.path());
        if (kind == QLatin1String("foreign")) {
            fillForeignStore(dir.path(), 2000);
            damagePages(path);
        } else if (kind == QLatin1String("own")) {
            fillStore(dir.path(), 2000);
            damagePages(path);
        } else if (kind == QLatin1String("truncated")) {
            fillStore(dir.path(), 2000);
            const QByteArray b = fileBytes(path);
            writeBytes(path, b.left(b.size() / 2));
        } else if (kind == QLatin1String("text")) {
            writeBytes(path, "fax numbers\r\n1-212-555-0187\r\n");
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(path));
        } else {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        }
        const bool regular = QFileInfo(path).isFile(); // a pipe is not read: that would wait
        const QByteArray before = regular ? fileBytes(path) : QByteArray();

        ToolRun harvest;
        QVERIFY(harvest.run({QStringLiteral("harvest"), QStringLiteral("--data-dir"), dir.path(),
                             QStringLiteral("--resume"), QStringLiteral("--resolve"),
                             QStringLiteral("*=127.0.0.1:9")}));
        QCOMPARE(harvest.exitCode(), 1);
        QVERIFY2(harvest.err.contains(QFile::encodeName(path)), harvest.err.constData());
        QVERIFY2(harvest.err.contains(reason.toLatin1()), harvest.err.constData());

        ToolRun exporting;
        QVERIFY(exporting.run(exportArgs(dir.path(), dir.file(QStringLiteral("out.txt")))));
        QCOMPARE(exporting.exitCode(), 1);
        QVERIFY2(exporting.err.contains(QFile::encodeName(path)), exporting.err.constData());
        QVERIFY(!QFile::exists(dir.file(QStringLiteral("out.txt"))));

        if (regular) // nothing written to what may still be recovered
            QCOMPARE(fileBytes(path), before);
        QCOMPARE(QFileInfo(path).isDir(), kind == QLatin1String("folder"));
        QCOMPARE(QFileInfo(path).isFile(), regular);
    }

    // Another program holds the database: a harvest does not start and says so; once the
    // lock is gone, everything is there and the harvest carries on.
    void lockedDatabase_data()
    {
        QTest::addColumn<bool>("readersToo");
        QTest::newRow("writers locked out") << false;
        QTest::newRow("readers locked out too") << true;
    }
    void lockedDatabase()
    {
        QFETCH(bool, readersToo);
        TempDataDir dir;
        NumberWeb web(5);
        fillStore(dir.path(), 3, false);
        web.queueInto(dir.path());
        const QString name = QStringLiteral("holder");
        {
            QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            holder.setDatabaseName(dbPath(dir.path()));
            QVERIFY(holder.open());
            QSqlQuery q(holder);
            if (readersToo)
                QVERIFY(q.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
            QVERIFY(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
            QVERIFY2(q.exec(QStringLiteral("INSERT INTO searches VALUES ('held')")),
                     qPrintable(q.lastError().text()));

            ToolRun harvest;
            QVERIFY(harvest.run(web.harvestArgs(dir.path())));
            QCOMPARE(harvest.exitCode(), 1);
            QVERIFY2(harvest.err.contains("another program is using it"), harvest.err.constData());
            QVERIFY(harvest.err.contains(QFile::encodeName(dbPath(dir.path()))));
            QCOMPARE(web.web.requests().size(), 0);

            // Reading needs no lock of its own unless readers are locked out too.
            ToolRun exporting;
            QVERIFY(exporting.run(exportArgs(dir.path(), dir.file(QStringLiteral("out.txt")))));
            QCOMPARE(exporting.exitCode(), readersToo ? 1 : 0);
            if (readersToo)
                QVERIFY2(exporting.err.contains("another program is using it"),
                         exporting.err.constData());

            QVERIFY(q.exec(QStringLiteral("ROLLBACK")));
            q.finish();
            holder.close();
        }
        QSqlDatabase::removeDatabase(name);

        ToolRun again;
        QVERIFY(again.run(web.harvestArgs(dir.path())));
        QCOMPARE(again.exitCode(), 0);
        const Rows rows = readRows(dir.path());
        QCOMPARE(rows.integrity, QStringLiteral("ok"));
        for (const QString &n : qAsConst(web.numbers))
            QVERIFY2(rows.faxes.contains(n), qPrintable(n));
        QCOMPARE(rows.faxes.mid(0, 3),
                 (QStringList{QStringLiteral("1-212-555-0000"), QStringLiteral("1-212-555-0001"),
                              QStringLiteral("1-212-555-0002")}));
    }

    // The disk fills up (a limit on file sizes stands in for it): the harvest stops at the
    // first number it cannot store, says why, and a later run stores everything.
    void fullDisk_stopsAndLosesNothing()
    {
        TempDataDir dir;
        // Pages finished together are committed together: enough of them that the log
        // outgrows the limit however they fall.
        NumberWeb web(60);
        fillStore(dir.path(), 3, false);
        web.queueInto(dir.path());

        ToolRun full;
        // Blocks of 512 or 1024 bytes, by shell: a few pages of the write-ahead log either way.
        QVERIFY(full.run(web.harvestArgs(dir.path()), 60000,
                         QStringLiteral("ulimit -f 1000 && trap '' XFSZ &&")));
        QCOMPARE(full.exitCode(), 1);
        QVERIFY2(full.err.contains("the disk is full or cannot be written"), full.err.constData());
        QVERIFY(full.err.contains(QFile::encodeName(dbPath(dir.path()))));
        QVERIFY2(full.err.contains("The fax database cannot be written"), full.err.constData());
        Rows rows = readRows(dir.path());
        QCOMPARE(rows.integrity, QStringLiteral("ok"));
        QVERIFY(rows.faxes.size() < 3 + web.numbers.size());

        ToolRun roomy;
        QVERIFY(roomy.run(web.harvestArgs(dir.path())));
        QCOMPARE(roomy.exitCode(), 0);
        rows = readRows(dir.path());
        QCOMPARE(rows.integrity, QStringLiteral("ok"));
        QCOMPARE(rows.faxes.size(), 3 + web.numbers.size());
        for (const QString &n : qAsConst(web.numbers))
            QVERIFY2(rows.faxes.contains(n), qPrintable(n));
        QCOMPARE(rows.websites, 0);
        QCOMPARE(rows.pending, 0);
    }

    // A data folder that cannot be written: no harvest, a message naming the folder; the
    // numbers can still be exported from it.
    void unwritableDataFolder_data()
    {
        QTest::addColumn<bool>("fileInPlace");
        QTest::addColumn<bool>("previousVersion"); // the store, written by the version before
        QTest::newRow("read-only folder") << false << false;
        QTest::newRow("read-only folder, store of the previous version") << false << true;
        QTest::newRow("a file where the folder should be") << true << false;
    }
    void unwritableDataFolder()
    {
        QFETCH(bool, fileInPlace);
        QFETCH(bool, previousVersion);
        TempDataDir root;
        const QString dir = root.file(QStringLiteral("data"));
        Unwritable guard;
        if (fileInPlace) {
            QVERIFY(writeBytes(dir, "not a folder"));
        } else {
            QVERIFY(QDir().mkdir(dir));
            if (previousVersion)
                QVERIFY(QFile::copy(QStringLiteral(STORE_FIXTURES "/varnel-v1.mdb"), dbPath(dir)));
            else
                fillStore(dir, 3);
            if (!makeUnwritable(dir))
                QSKIP("no way to make a folder read-only for this user here (chattr missing)");
            guard.paths << dir;
        }
        ToolRun harvest;
        QVERIFY(harvest.run({QStringLiteral("harvest"), QStringLiteral("--data-dir"), dir,
                             QStringLiteral("--resume")}));
        QCOMPARE(harvest.exitCode(), 1);
        QVERIFY2(harvest.err.contains(fileInPlace ? "cannot be created" : "is not writable"),
                 harvest.err.constData());
        QVERIFY(harvest.err.contains(QFile::encodeName(dir)));

        const QString out = root.file(QStringLiteral("out.txt"));
        ToolRun exporting;
        QVERIFY(exporting.run(exportArgs(dir, out)));
        if (fileInPlace) {
            QCOMPARE(exporting.exitCode(), 1);
            QVERIFY2(exporting.err.contains(QFile::encodeName(dbPath(dir))),
                     exporting.err.constData());
        } else {
            QCOMPARE(exporting.exitCode(), 0);
            QCOMPARE(
                fileBytes(out),
                previousVersion
                    ? QByteArray("1-212-555-0187\r\n+44-20-7946-0958\r\n1-617-555-0100\r\n\r\n")
                    : QByteArray("1-212-555-0000\r\n1-212-555-0001\r\n1-212-555-0002\r\n\r\n"));
        }
    }

    // The store stops taking writes in the middle of a harvest (another program takes the
    // lock): the harvest stops instead of crawling on for nothing, the status bar says why,
    // and Resume after the lock is gone finds every site again.
    void storeFailsMidHarvest_stopsAndResumes()
    {
        EngineRig rig;
        for (int i = 0; i < 30; ++i) {
            TestWebServer::Response r;
            r.fault = TestWebServer::Fault::Delay;
            r.delayMs = 100;
            r.body = "<body><p>Fax: 646-555-" + QByteArray::number(1000 + i) + "</p></body>";
            rig.web.addResponse("m" + QByteArray::number(i) + ".test", "/", r);
        }
        QString search = QStringLiteral("plumbers");
        (void)rig.db()->addSearch(search);
        for (int i = 0; i < 30; ++i)
            rig.queue({QStringLiteral("m%1.test").arg(i)});
        rig.session.load();
        QSignalSpy problems(rig.db(), &Store::storeProblem);
        rig.session.resume();
        QTRY_VERIFY(rig.storedFaxes().size() >= 3);

        const QString name = QStringLiteral("locker");
        {
            QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            locker.setDatabaseName(rig.db()->location());
            QVERIFY(locker.open());
            QSqlQuery q(locker);
            QVERIFY(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
            QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 20000);
            QCOMPARE(rig.presenter.statusText(1), QStringLiteral("Stopped"));
            QCOMPARE(rig.presenter.statusText(2),
                     QStringLiteral("The fax database cannot be written"));
            QVERIFY(rig.presenter.statusText(3).contains(
                QStringLiteral("another program is using it")));
            QCOMPARE(problems.size(), 1);
            QVERIFY(q.exec(QStringLiteral("ROLLBACK")));
        }
        QSqlDatabase::removeDatabase(name);

        QVERIFY(rig.presenter.isEnabled(HarvestPresenter::Button::Resume));
        rig.session.resume();
        QTRY_VERIFY_WITH_TIMEOUT(rig.session.state() == HarvestSession::State::Stopped, 30000);
        const QStringList stored = rig.storedFaxes();
        for (int i = 0; i < 30; ++i)
            QVERIFY2(stored.contains(QStringLiteral("1-646-555-%1").arg(1000 + i)),
                     qPrintable(QString::number(i)));
    }

    // Another program changes the store in the middle of a harvest: it drops the numbers
    // table (the store cannot be read when the next number is looked up), or makes it
    // refuse new rows (a write fails). Taking an unreadable store for "already stored"
    // would discard every later number and dequeue every site. Either way the harvest stops
    // at once with status 1 and says why, and after the program has ended, Resume finds
    // every number not stored before.
    void storeFailsMidHarvest_resumeAfterRestartFindsEverything_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("undo");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("read fails")
            << "DROP TABLE faxes" << QString() << QByteArray("The fax database cannot be read");
        QTest::newRow("write fails")
            << "CREATE TRIGGER refuse BEFORE INSERT ON faxes BEGIN SELECT RAISE(ABORT, 'refused'); "
               "END"
            << "DROP TRIGGER refuse" << QByteArray("The fax database cannot be written");
    }
    void storeFailsMidHarvest_resumeAfterRestartFindsEverything()
    {
        QFETCH(QString, change);
        QFETCH(QString, undo);
        QFETCH(QByteArray, message);
        TempDataDir dir;
        // Ten slots take ten sites at a time; the change comes between two such rounds.
        SlowWeb slow(30, 1000);
        slow.queueInto(dir.path());
        QProcess first;
        first.start(QStringLiteral(VARNEL_TOOL_PATH), slow.harvestArgs(dir.path())
                                                          << QStringLiteral("--print-stored"));
        QVERIFY(first.waitForStarted());
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += first.readAllStandardOutput()).count("stored ") >= 10,
                                 20000);
        auto runSql = [&dir](const QString &sql) {
            const QString name = QStringLiteral("other");
            bool ok = false;
            {
                QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                other.setDatabaseName(dbPath(dir.path()));
                other.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
                ok = other.open() && QSqlQuery(other).exec(sql);
            }
            QSqlDatabase::removeDatabase(name);
            return ok;
        };
        QVERIFY(runSql(change));
        QVERIFY(waitForExit(first));
        out += first.readAllStandardOutput();
        const QByteArray err = first.readAllStandardError();
        QCOMPARE(first.exitCode(), 1);
        QVERIFY2(err.contains(message), err.constData());
        QStringList before;
        for (const QByteArray &line : out.split('\n')) {
            if (line.startsWith("stored "))
                before << QString::fromLatin1(line.mid(7));
        }
        QVERIFY(before.size() < slow.numbers.size());
        if (!undo.isEmpty())
            QVERIFY(runSql(undo));

        ToolRun resume;
        QVERIFY(resume.run(slow.harvestArgs(dir.path())));
        QCOMPARE(resume.exitCode(), 0);
        const Rows rows = readRows(dir.path());
        QCOMPARE(rows.integrity, QStringLiteral("ok"));
        // What was stored before the table was dropped went with it.
        const bool dropped = undo.isEmpty();
        for (const QString &n : qAsConst(slow.numbers))
            QVERIFY2(rows.faxes.contains(n) == !(dropped && before.contains(n)), qPrintable(n));
        QCOMPARE(rows.faxes.size(),
                 dropped ? slow.numbers.size() - before.size() : slow.numbers.size());
        QCOMPARE(rows.websites, 0);
        QCOMPARE(rows.pending, 0);
    }

    // Page files that cannot be written still hold an earlier page: that page must not be
    // taken for the new one (its numbers stored for the wrong site, its links resolved
    // against the wrong address).
    void unwritablePageFiles_pageIsPassedOver()
    {
        EngineRig rig;
        const QByteArray old =
            "<body><p>Fax: 305-555-0111</p>\r\n<a href=\"stale.htm\">stale</a></body>\r\n";
        Unwritable guard;
        for (int slot = 0; slot < HarvestSession::SlotCount; ++slot) {
            for (const QString &f :
                 {pageFile1(rig.dir.path(), slot), pageFile2(rig.dir.path(), slot)}) {
                QVERIFY(writeBytes(f, old));
                if (::geteuid() == 0) {
                    if (!setImmutable(f, true))
                        QSKIP("chattr is needed to make a file read-only for root");
                } else {
                    QVERIFY(QFile::setPermissions(f, QFile::ReadOwner));
                }
                guard.paths << f;
            }
        }
        rig.web.addPage("fresh.test", "/", "<body><p>Fax: 212-555-0187</p></body>");
        rig.readyToStart();
        rig.queue({QStringLiteral("fresh.test")});
        rig.session.startCrawl();
        QTRY_VERIFY(rig.session.state() == HarvestSession::State::Stopped);
        QCOMPARE(rig.web.requestCount("fresh.test", "/"), 1);
        QCOMPARE(rig.storedFaxes(), QStringList());
        QCOMPARE(rig.web.requestCount("fresh.test", "/stale.htm"), 0);
    }

    // An export onto the store would turn the database into a text file: every name of the
    // store and of the files beside it is refused, and the store stays as it was.
    void exportOntoTheStore_refused_data()
    {
        QTest::addColumn<QString>("target"); // relative to the data folder
        QTest::addColumn<QString>("make");   // "symlink", "hardlink", "folderlink" or nothing
        const auto row = [](const char *name, const char *target, const char *make) {
            QTest::newRow(name) << QString::fromLatin1(target) << QString::fromLatin1(make);
        };
        row("the store", "varnel.mdb", "");
        row("its write-ahead log", "varnel.mdb-wal", "");
        row("its shared memory", "varnel.mdb-shm", "");
        row("its rollback journal", "varnel.mdb-journal", "");
        row("a roundabout path", "sub/../varnel.mdb", "");
        row("a symbolic link to it", "link.csv", "symlink");
        row("another name of it", "hard.csv", "hardlink");
        row("through a linked folder", "alias/varnel.mdb", "folderlink");
    }
    void exportOntoTheStore_refused()
    {
        QFETCH(QString, target);
        QFETCH(QString, make);
        TempDataDir dir;
        fillStore(dir.path(), 3);
        const QString store = dbPath(dir.path());
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        const QByteArray name = QFile::encodeName(dir.file(target));
        if (make == QLatin1String("symlink"))
            QVERIFY(QFile::link(store, dir.file(target)));
        else if (make == QLatin1String("hardlink"))
            QVERIFY(::link(QFile::encodeName(store).constData(), name.constData()) == 0);
        else if (make == QLatin1String("folderlink"))
            QVERIFY(QFile::link(dir.path(), dir.file(QStringLiteral("alias"))));
        const QByteArray before = fileBytes(store);

        ToolRun exporting;
        QVERIFY(exporting.run({QStringLiteral("export"), QStringLiteral("--data-dir"), dir.path(),
                               QStringLiteral("--type"), QStringLiteral("csv"),
                               QStringLiteral("--delete"), dir.file(target)}));
        QCOMPARE(exporting.exitCode(), 1);
        QVERIFY2(exporting.err.contains("is the fax database"), exporting.err.constData());
        QVERIFY(!exporting.out.contains("Exported"));
        QCOMPARE(fileBytes(store), before);
        const Rows rows = readRows(dir.path());
        QCOMPARE(rows.integrity, QStringLiteral("ok"));
        QCOMPARE(rows.faxes.size(), 3);
    }

    // A copy of a store into itself is refused by every name the target may give it: two
    // connections under two names of one file would keep two write-ahead logs of it.
    void storeCopyIntoItself_refused_data()
    {
        QTest::addColumn<QString>("target"); // relative to the data folder; "" is the folder
        QTest::addColumn<bool>("hardLink");
        QTest::newRow("the folder") << QString() << false;
        QTest::newRow("the file") << QStringLiteral("varnel.mdb") << false;
        QTest::newRow("another name of the file") << QStringLiteral("copy.mdb") << true;
    }
    void storeCopyIntoItself_refused()
    {
        QFETCH(QString, target);
        QFETCH(bool, hardLink);
        TempDataDir dir;
        fillStore(dir.path(), 3);
        const QString store = dbPath(dir.path());
        if (hardLink)
            QVERIFY(::link(QFile::encodeName(store).constData(),
                           QFile::encodeName(dir.file(target)).constData()) == 0);
        ToolRun copy;
        QVERIFY(copy.run({QStringLiteral("store"), QStringLiteral("copy"), QStringLiteral("--from"),
                          dir.path(), QStringLiteral("--to"),
                          target.isEmpty() ? dir.path() : dir.file(target)}));
        QCOMPARE(copy.exitCode(), 2);
        QVERIFY2(copy.err.contains("the same store"), copy.err.constData());
    }

    // A named pipe and a device stay what they are: the pipe's reader gets the numbers, and
    // a device that takes no bytes (a full disk) fails the export, keeping the numbers.
    void exportIntoPipeOrDevice_data()
    {
        QTest::addColumn<bool>("pipe");
        QTest::newRow("named pipe") << true;
        QTest::newRow("full device") << false;
    }
    void exportIntoPipeOrDevice()
    {
        QFETCH(bool, pipe);
        TempDataDir dir;
        fillStore(dir.path(), 3);
        QString target = dir.file(QStringLiteral("out"));
        QProcess reader;
        if (pipe) {
            QVERIFY(::mkfifo(QFile::encodeName(target).constData(), 0600) == 0);
            reader.start(QStringLiteral("cat"), {target});
            QVERIFY(reader.waitForStarted());
        } else if (::geteuid() == 0) {
            // A private node of the full device: a fault here cannot replace /dev/full.
            if (::mknod(QFile::encodeName(target).constData(), S_IFCHR | 0600, makedev(1, 7)) != 0)
                QSKIP("no device node can be made here");
        } else {
            target = QStringLiteral("/dev/full");
        }
        const mode_t type = fileType(target);

        ToolRun exporting;
        QVERIFY(exporting.run({QStringLiteral("export"), QStringLiteral("--data-dir"), dir.path(),
                               QStringLiteral("--type"), QStringLiteral("lines"),
                               QStringLiteral("--delete"), target}));
        QCOMPARE(fileType(target), type);
        if (pipe) {
            QCOMPARE(exporting.exitCode(), 0);
            QVERIFY(waitForExit(reader));
            QCOMPARE(reader.readAllStandardOutput(),
                     QByteArray("1-212-555-0000\r\n1-212-555-0001\r\n1-212-555-0002\r\n\r\n"));
            QCOMPARE(readRows(dir.path()).faxes.size(), 0);
        } else {
            QCOMPARE(exporting.exitCode(), 1);
            QVERIFY2(exporting.err.contains("No space left on device"), exporting.err.constData());
            QVERIFY(!exporting.out.contains("Exported"));
            QCOMPARE(readRows(dir.path()).faxes.size(), 3);
        }
    }

    // The reader of a pipe goes away in the middle of an export: the export fails with a
    // message and the program (the window, say) lives on.
    void exportReaderGoesAway_reportedProgramLivesOn()
    {
        TempDataDir dir;
        fillStore(dir.path(), 1000, false); // more than the pipe holds
        int fds[2];
        QVERIFY(::pipe(fds) == 0);
        ::fcntl(fds[1], F_SETPIPE_SZ, 4096);
        std::thread reader([fd = fds[0]] {
            char first[100];
            (void)!::read(fd, first, sizeof first);
            ::close(fd);
        });
        SqliteStore db(dir.path());
        const FaxExport::Result r = FaxExport::exportFaxes(
            db, QStringLiteral("/proc/self/fd/%1").arg(fds[1]), FaxExport::Lines, false);
        reader.join();
        ::close(fds[1]);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(QStringLiteral("Broken pipe")), qPrintable(r.error));
    }

    // A second harvest in a folder that a harvest is using would empty its queue: it does
    // not start and names the one that holds the folder; the first runs on to its end.
    void secondHarvester_refused_firstRunsOn()
    {
        TempDataDir dir;
        SlowWeb slow(3, 4000);
        slow.queueInto(dir.path());
        {
            // A number from before, so that the export below has something to write.
            SqliteStore db(dir.path());
            QVERIFY(addFax(db, QStringLiteral("1-312-555-0199"), QStringLiteral("old.example"),
                           QStringLiteral("earlier"), QStringLiteral("Illinois")));
        }
        QProcess first;
        first.start(QStringLiteral(VARNEL_TOOL_PATH), slow.harvestArgs(dir.path()));
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!slow.web.requests().isEmpty(), 20000);
        const QByteArray holder = "varnel-tool (process " + QByteArray::number(first.processId());

        TestWebServer other;
        QVERIFY(other.listen());
        ToolRun second;
        QVERIFY(second.run({QStringLiteral("harvest"), QStringLiteral("--data-dir"), dir.path(),
                            QStringLiteral("--resume"), QStringLiteral("--resolve"),
                            other.resolveSpec()}));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY2(second.err.contains(holder), second.err.constData());
        QVERIFY(second.err.contains(QFile::encodeName(dir.path())));
        QCOMPARE(other.requests().size(), 0);

        // Emptying the store would drop what the harvest stores meanwhile; reading is fine.
        const QString out = dir.file(QStringLiteral("out.txt"));
        ToolRun emptying;
        QVERIFY(emptying.run(exportArgs(dir.path(), out) << QStringLiteral("--delete")));
        QCOMPARE(emptying.exitCode(), 1);
        QVERIFY2(emptying.err.contains(holder), emptying.err.constData());
        QVERIFY(!QFile::exists(out));
        ToolRun reading;
        QVERIFY(reading.run(exportArgs(dir.path(), out)));
        QCOMPARE(reading.exitCode(), 0);

        QVERIFY(waitForExit(first));
        QCOMPARE(first.exitCode(), 0);
        const Rows rows = readRows(dir.path());
        for (const QString &n : qAsConst(slow.numbers))
            QVERIFY2(rows.faxes.contains(n), qPrintable(n));
        QVERIFY(!QFile::exists(dir.file(QStringLiteral("varnel.lock"))));
    }

    // A harvest that was killed leaves its lock behind; the next one takes it over.
    void lockOfKilledHarvest_isTakenOver()
    {
        TempDataDir dir;
        SlowWeb slow(3, 1500);
        slow.queueInto(dir.path());
        QProcess killed;
        killed.start(QStringLiteral(VARNEL_TOOL_PATH), slow.harvestArgs(dir.path()));
        QVERIFY(killed.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!slow.web.requests().isEmpty(), 20000);
        killed.kill();
        QVERIFY(killed.waitForFinished());
        QVERIFY(QFile::exists(dir.file(QStringLiteral("varnel.lock"))));

        ToolRun next;
        QVERIFY(next.run(slow.harvestArgs(dir.path())));
        QCOMPARE(next.exitCode(), 0);
        const Rows rows = readRows(dir.path());
        for (const QString &n : qAsConst(slow.numbers))
            QVERIFY2(rows.faxes.contains(n), qPrintable(n));
    }

    // The working files of the data folder replaced by links to a file elsewhere (or by a
    // pipe): the harvest writes its own files and leaves the target alone.
    void workingFilesAreLinks_notWrittenThrough()
    {
        TempDataDir root;
        const QString dir = root.file(QStringLiteral("data"));
        QVERIFY(QDir().mkdir(dir));
        const QString victim = root.file(QStringLiteral("victim.txt"));
        QVERIFY(writeBytes(victim, "precious\n"));
        QStringList planted{QDir(dir).filePath(QStringLiteral("SearchOutput.txt"))};
        for (int slot = 0; slot < HarvestSession::SlotCount; ++slot)
            planted << pageFile1(dir, slot) << pageFile2(dir, slot);
        for (const QString &f : qAsConst(planted))
            QVERIFY(QFile::link(victim, f));
        QVERIFY(QFile::remove(pageFile2(dir, 1)));
        QVERIFY(::mkfifo(QFile::encodeName(pageFile2(dir, 1)).constData(), 0600) == 0);

        TestWebServer engine;
        QVERIFY(engine.listen());
        TestWebServer web;
        QVERIFY(web.listen());
        QByteArray results = "<div id=\"res\">\n";
        QStringList numbers;
        for (int i = 0; i < 25; ++i) {
            const QByteArray host = "w" + QByteArray::number(i) + ".com";
            const QByteArray number = "312-555-" + QByteArray::number(4000 + i);
            web.addPage(host, "/", "<body><p>Fax: " + number + "</p></body>");
            results += "<li><a href=\"http://www." + host + "/\">r</a></li>\n";
            numbers << QStringLiteral("1-") + QString::fromLatin1(number);
        }
        TestWebServer::Response page;
        page.body = results + "</div>\n";
        engine.setFallback(page);

        ToolRun harvest;
        QVERIFY(harvest.run(
            {QStringLiteral("harvest"), QStringLiteral("--data-dir"), dir,
             QStringLiteral("--search"), QStringLiteral("roofers"), QStringLiteral("--engine"),
             QStringLiteral("google"), QStringLiteral("--results"), QStringLiteral("100"),
             QStringLiteral("--last-search"), QStringLiteral("stop"), QStringLiteral("--resolve"),
             QStringLiteral("www.google.com=127.0.0.1:%1").arg(engine.port()),
             QStringLiteral("--resolve"), web.resolveSpec()}));
        QCOMPARE(harvest.exitCode(), 0);
        QCOMPARE(fileBytes(victim), QByteArray("precious\n"));
        QCOMPARE(fileType(pageFile1(dir, 0)), mode_t(S_IFREG));
        QCOMPARE(fileType(pageFile2(dir, 1)), mode_t(S_IFREG));
        QStringList stored = readRows(dir).faxes;
        stored.sort();
        numbers.sort();
        QCOMPARE(stored, numbers);
    }
};

QTEST_GUILESS_MAIN(TestBadStore)
#include "tst_badstore.moc"
