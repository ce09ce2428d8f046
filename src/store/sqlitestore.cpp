#include "sqlitestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <sqlite3.h>
#include <vector>

const char *const SqliteStore::fileName = "varnel.mdb";

namespace {

// How long an operation waits for a lock another connection holds.
constexpr int kBusyTimeoutMs = 3000;

// The tables and indexes, created when missing. Their statements keep the shape of the
// version that introduced them; later changes to them are upgrade steps.
struct SchemaObject
{
    const char *name;
    const char *sql;
};
const SchemaObject kObjects[] = {
    {"faxes", "CREATE TABLE IF NOT EXISTS faxes (fax TEXT, Date TEXT, website TEXT, search TEXT, "
              "location TEXT)"},
    {"websites", "CREATE TABLE IF NOT EXISTS websites (website TEXT, Date TEXT)"},
    {"searches", "CREATE TABLE IF NOT EXISTS searches (search TEXT)"},
    // version 1: the sites taken out of the backlog until their page has been analysed
    {"pending", "CREATE TABLE IF NOT EXISTS pending (website TEXT)"},
    {"faxes_fax", "CREATE INDEX IF NOT EXISTS faxes_fax ON faxes (fax COLLATE NOCASE)"},
    {"faxes_date", "CREATE INDEX IF NOT EXISTS faxes_date ON faxes (Date)"},
    {"websites_website",
     "CREATE INDEX IF NOT EXISTS websites_website ON websites (website COLLATE NOCASE)"},
    {"websites_date", "CREATE INDEX IF NOT EXISTS websites_date ON websites (Date)"},
    {"searches_search",
     "CREATE INDEX IF NOT EXISTS searches_search ON searches (search COLLATE NOCASE)"},
};

// The steps that change existing tables, each taking a store to its version in one
// transaction. The next change of the schema adds a step here and raises
// SqliteStore::schemaVersion. A step may run again on a store that has it (a table another
// program dropped is created in its first shape and brought up to date): a column is added
// only where it is missing, and statements say IF NOT EXISTS.
const QList<SqlUpgradeStep> kUpgrades = {
    // The numbers' E.164 form, country and evidence; rows stored before keep them empty.
    // Two forms of one fax are one number: at most one row per E.164 form.
    {2,
     {"ALTER TABLE faxes ADD COLUMN e164 TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE faxes ADD COLUMN country TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE faxes ADD COLUMN label TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE faxes ADD COLUMN how TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE faxes ADD COLUMN context TEXT NOT NULL DEFAULT ''",
      "CREATE UNIQUE INDEX IF NOT EXISTS faxes_e164 ON faxes (e164) WHERE e164 <> ''"}},
    // The do-not-fax list (one entry per E.164 form) and the ledger of exports; indexes on
    // the columns the numbers window sorts and counts by, which at a million numbers turn a
    // scan of seconds into one of milliseconds.
    {3,
     {"CREATE TABLE IF NOT EXISTS donotfax (number TEXT NOT NULL, e164 TEXT NOT NULL, "
      "Date TEXT NOT NULL, reason TEXT NOT NULL)",
      "CREATE UNIQUE INDEX IF NOT EXISTS donotfax_e164 ON donotfax (e164)",
      "CREATE TABLE IF NOT EXISTS exports (Date TEXT NOT NULL, file TEXT NOT NULL, "
      "count INTEGER NOT NULL)",
      "CREATE TABLE IF NOT EXISTS exported (export INTEGER NOT NULL, e164 TEXT NOT NULL)",
      "CREATE INDEX IF NOT EXISTS exported_e164 ON exported (e164)",
      "CREATE INDEX IF NOT EXISTS faxes_search ON faxes (search)",
      "CREATE INDEX IF NOT EXISTS faxes_location ON faxes (location)",
      "CREATE INDEX IF NOT EXISTS faxes_country ON faxes (country)",
      "CREATE INDEX IF NOT EXISTS faxes_how ON faxes (how)"}},
    // Search engines resting after a refusal, until a time in UTC.
    {4,
     {"CREATE TABLE IF NOT EXISTS engine_rests (engine TEXT PRIMARY KEY, kind TEXT NOT NULL, "
      "rest_until TEXT NOT NULL, reason TEXT NOT NULL)"}},
    // One row per business (site and organisation), with the search strings that found it
    // and the numbers and pages it was found with; each fax points to its business. The
    // numbers table keeps its columns: the reference export reads it alone.
    {5,
     {"CREATE TABLE IF NOT EXISTS businesses (id INTEGER PRIMARY KEY, site TEXT NOT NULL, "
      "org_key TEXT NOT NULL, organization TEXT NOT NULL, unit TEXT NOT NULL, "
      "street TEXT NOT NULL, postal_code TEXT NOT NULL, city TEXT NOT NULL, region TEXT NOT NULL, "
      "country TEXT NOT NULL, phone TEXT NOT NULL, email TEXT NOT NULL, sources TEXT NOT NULL, "
      "Date TEXT NOT NULL)",
      "CREATE UNIQUE INDEX IF NOT EXISTS businesses_key ON businesses (site, org_key)",
      "CREATE TABLE IF NOT EXISTS business_searches (id INTEGER PRIMARY KEY, "
      "business INTEGER NOT NULL, search TEXT NOT NULL, Date TEXT NOT NULL, "
      "UNIQUE (business, search))",
      "CREATE TABLE IF NOT EXISTS business_numbers (id INTEGER PRIMARY KEY, "
      "business INTEGER NOT NULL, kind TEXT NOT NULL, e164 TEXT NOT NULL, page TEXT NOT NULL, "
      "Date TEXT NOT NULL, UNIQUE (business, kind, e164, page))",
      "CREATE INDEX IF NOT EXISTS business_numbers_e164 ON business_numbers (e164)",
      "CREATE TABLE IF NOT EXISTS number_business (e164 TEXT PRIMARY KEY, "
      "business INTEGER NOT NULL)"}},
};

// ... and with no business.
const char *const kEarlierBusinesses[] = {
    "CREATE TEMP VIEW businesses AS SELECT 0 AS id, '' AS site, '' AS org_key, "
    "'' AS organization, '' AS unit, '' AS street, '' AS postal_code, '' AS city, '' AS region, "
    "'' AS country, '' AS phone, '' AS email, '' AS sources, '' AS Date WHERE 0",
    "CREATE TEMP VIEW business_searches AS SELECT 0 AS id, 0 AS business, '' AS search, "
    "'' AS Date WHERE 0",
    "CREATE TEMP VIEW business_numbers AS SELECT 0 AS id, 0 AS business, '' AS kind, "
    "'' AS e164, '' AS page, '' AS Date WHERE 0",
    "CREATE TEMP VIEW number_business AS SELECT '' AS e164, 0 AS business WHERE 0",
};

// A store of an earlier version opened for reading only (it cannot be upgraded) shows the
// numbers with the later columns empty, so that the statements below read it too.
const char *const kEarlierFaxes =
    "CREATE TEMP VIEW faxes AS SELECT rowid AS rowid, fax, Date, website, search, location, "
    "'' AS e164, '' AS country, '' AS label, '' AS how, '' AS context FROM main.faxes";
// ... and with an empty do-not-fax list and ledger.
const char *const kEarlierLists[] = {
    "CREATE TEMP VIEW donotfax AS SELECT '' AS number, '' AS e164, '' AS Date, '' AS reason "
    "WHERE 0",
    "CREATE TEMP VIEW exported AS SELECT 0 AS export, '' AS e164 WHERE 0",
    "CREATE TEMP VIEW exports AS SELECT 0 AS rowid, '' AS Date, '' AS file, 0 AS count WHERE 0",
};
// ... and with no engine at rest.
const char *const kEarlierRests =
    "CREATE TEMP VIEW engine_rests AS SELECT '' AS engine, '' AS kind, '' AS rest_until, "
    "'' AS reason WHERE 0";

// The first bytes of a database file, read through SQLite's own file layer (the same
// library as Qt's driver uses): it keeps a descriptor open for as long as this process
// holds locks on the file, where closing a descriptor of our own would drop every lock the
// process holds on it, and another program would take the write-ahead log from under an
// open connection (the numbers window opens a second store on the file). Nothing when the
// file cannot be opened.
std::optional<QByteArray> headerOf(const QString &path, QString *why)
{
    sqlite3_vfs *vfs = sqlite3_vfs_find(nullptr);
    if (!vfs) {
        *why = QStringLiteral("SQLite has no file layer");
        return std::nullopt;
    }
    const QByteArray native = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    const std::unique_ptr<const char, void (*)(const char *)> name(
        sqlite3_create_filename(native.constData(), "", "", 0, nullptr),
        [](const char *n) { sqlite3_free_filename(n); });
    std::vector<std::max_align_t> storage(size_t(vfs->szOsFile) / sizeof(std::max_align_t) + 1);
    auto *file = reinterpret_cast<sqlite3_file *>(storage.data());
    int flags = 0;
    const int opened =
        vfs->xOpen(vfs, name.get(), file, SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_READONLY, &flags);
    QByteArray head(16, '\0');
    int read = opened;
    if (opened == SQLITE_OK)
        read = file->pMethods->xRead(file, head.data(), int(head.size()), 0);
    if (file->pMethods)
        file->pMethods->xClose(file);
    if (opened != SQLITE_OK || (read != SQLITE_OK && read != SQLITE_IOERR_SHORT_READ)) {
        *why =
            QStringLiteral("it cannot be read (%1)")
                .arg(QString::fromLocal8Bit(sqlite3_errstr(opened != SQLITE_OK ? opened : read)));
        return std::nullopt;
    }
    return head; // a short file reads as zeros after its end
}

bool looksLikeSqlite(const QString &path, QString *why)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        // A folder, a pipe or a device: never opened (reading a pipe would wait forever).
        *why = QStringLiteral("it is not a file");
        return false;
    }
    if (!info.exists() || info.size() == 0)
        return true; // a new or empty file becomes a new database; nothing is lost
    const std::optional<QByteArray> head = headerOf(path, why);
    if (!head)
        return false;
    if (*head != QByteArray("SQLite format 3\0", 16)) {
        *why = QStringLiteral("it is not a fax database");
        return false;
    }
    return true;
}

// What went wrong, in words a user can act on, with SQLite's own text after it.
QString sqliteReason(const QSqlError &error, const QString &dataDir)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    int code = error.nativeErrorCode().toInt();
    if (code == 0) {
        // A failed commit comes without SQLite's code, only with its text, which SQLite
        // words the same way every time.
        static const struct
        {
            const char *text;
            int code;
        } kTexts[] = {{"database is locked", 5},
                      {"database table is locked", 6},
                      {"attempt to write a readonly database", 8},
                      {"disk I/O error", 10},
                      {"database disk image is malformed", 11},
                      {"database or disk is full", 13}};
        for (const auto &t : kTexts) {
            if (text.startsWith(QLatin1String(t.text)))
                code = t.code;
        }
    }
    switch (code & 0xff) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return QStringLiteral("another program is using it (%1)").arg(text);
    case 8: // SQLITE_READONLY
        if (!QFileInfo(dataDir).isWritable())
            return QStringLiteral("its folder %1 cannot be written (%2)")
                .arg(QDir::toNativeSeparators(dataDir), text);
        return QStringLiteral("it cannot be written (%1)").arg(text);
    case 10: // SQLITE_IOERR
    case 13: // SQLITE_FULL
        return QStringLiteral("the disk is full or cannot be written (%1)").arg(text);
    case 11: // SQLITE_CORRUPT
        return QStringLiteral("it is damaged (%1)").arg(text);
    case 14: // SQLITE_CANTOPEN
        if (!QFileInfo(dataDir).isWritable())
            return QStringLiteral("its folder %1 cannot be written (%2)")
                .arg(QDir::toNativeSeparators(dataDir), text);
        return QStringLiteral("it cannot be opened (%1)").arg(text);
    case 26: // SQLITE_NOTADB
        return QStringLiteral("it is not a fax database (%1)").arg(text);
    default:
        return text;
    }
}

// The statements of the operations. Comparisons fold case by NOCASE (ASCII letters only);
// the stored order is the rowid.
const SqlStatements kStatements = {
    "INSERT INTO faxes (fax, Date, website, search, location, e164, country, label, how, "
    "context) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
    "SELECT 1 FROM faxes WHERE fax = ? COLLATE NOCASE LIMIT 1",
    // The second term lets SQLite use the partial index.
    "SELECT 1 FROM faxes WHERE e164 = ? AND e164 <> '' LIMIT 1",
    "DELETE FROM faxes",
    "DELETE FROM faxes WHERE fax = ? COLLATE NOCASE AND fax = ?",
    "SELECT count(*) FROM faxes",
    "SELECT fax, location FROM faxes ORDER BY Date DESC, rowid DESC LIMIT ?",
    "SELECT fax, Date, website, search, location, e164, country, label, how, context FROM faxes "
    "ORDER BY rowid",
    "INSERT INTO websites (website, Date) VALUES (?, ?)",
    "DELETE FROM websites WHERE rowid = (SELECT rowid FROM websites "
    "WHERE website = ? COLLATE NOCASE ORDER BY rowid LIMIT 1)",
    "SELECT 1 FROM websites WHERE website = ? COLLATE NOCASE LIMIT 1",
    "DELETE FROM websites",
    "SELECT count(*) FROM websites",
    "SELECT 1 FROM websites LIMIT 1",
    "SELECT website FROM websites ORDER BY Date DESC, rowid DESC LIMIT ?",
    "SELECT website FROM websites ORDER BY rowid LIMIT 1",
    "SELECT website, Date FROM websites ORDER BY rowid",
    "INSERT INTO searches (search) VALUES (?)",
    // coalesce: earlier versions stored a blank search string as NULL.
    "DELETE FROM searches WHERE rowid = (SELECT rowid FROM searches "
    "WHERE coalesce(search, '') = ? COLLATE NOCASE ORDER BY rowid LIMIT 1)",
    "SELECT search FROM searches ORDER BY rowid",
    "INSERT INTO pending (website) VALUES (?)",
    "DELETE FROM pending WHERE rowid = (SELECT rowid FROM pending "
    "WHERE website = ? ORDER BY rowid LIMIT 1)",
    "DELETE FROM pending",
    "SELECT rowid, website FROM pending ORDER BY rowid",
    "DELETE FROM pending WHERE rowid = ?",
    "DELETE FROM faxes WHERE rowid = ?",
    "INSERT OR IGNORE INTO donotfax (number, e164, Date, reason) VALUES (?, ?, ?, ?)",
    "DELETE FROM donotfax WHERE e164 = ?",
    "SELECT number, e164, Date, reason FROM donotfax ORDER BY rowid",
    "INSERT INTO exports (Date, file, count) VALUES (?, ?, ?)",
    "INSERT INTO exported (export, e164) VALUES (?, ?)",
    "SELECT rowid, Date, file FROM exports ORDER BY rowid",
    "SELECT export, e164 FROM exported ORDER BY export, rowid",
    nullptr,
    "PRAGMA data_version",
    "PRAGMA encoding",
    "SELECT CAST(website AS BLOB) FROM websites WHERE typeof(website) = 'text'",
};

const FaxQuerySql::Dialect kDialect = [] {
    FaxQuerySql::Dialect d;
    d.id = QStringLiteral("f.rowid");
    d.caseless = QStringLiteral("LIKE"); // folds ASCII letters, as the store's comparisons do
    d.hostOf = QStringLiteral("substr(%1, 1, instr(%1 || '/', '/') - 1)");
    d.dayOf = QStringLiteral("substr(%1, 1, 10)");
    d.dateText = QStringLiteral("%1");
    d.column = FaxQuerySql::columnSql;
    // The number's index folds letter case; sorting by it lets the index serve.
    d.sortKey = [](FaxColumn c) {
        return c == FaxColumn::Fax ? QStringLiteral("f.fax COLLATE NOCASE")
                                   : FaxQuerySql::columnSql(c);
    };
    return d;
}();

} // namespace

SqliteStore::SqliteStore(const QString &dataDir, QObject *parent)
    : SqliteStore(dataDir, QString::fromLatin1(fileName), parent)
{
}

SqliteStore::SqliteStore(const QString &dataDir, const QString &name, QObject *parent)
    : SqlStore(kStatements, parent), m_dataDir(dataDir), m_fileName(name)
{
}

SqliteStore *SqliteStore::atFile(const QString &path, QObject *parent)
{
    const QFileInfo info(path);
    return new SqliteStore(info.absolutePath(), info.fileName(), parent);
}

SqliteStore::~SqliteStore() = default;

const FaxQuerySql::Dialect &SqliteStore::dialect() const
{
    return kDialect;
}

std::unique_ptr<Store> SqliteStore::openAnother() const
{
    return std::unique_ptr<Store>(atFile(databasePath()));
}

QString SqliteStore::databasePath() const
{
    return QDir(m_dataDir).filePath(m_fileName);
}

void SqliteStore::setBusyTimeout(int ms)
{
    if (!isOpen())
        return;
    QSqlQuery q(QSqlDatabase::database(connectionName(), false));
    q.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(ms));
}

QString SqliteStore::problemMessage(const QString &reason) const
{
    return QStringLiteral("The fax database %1 cannot be used: %2.")
        .arg(QDir::toNativeSeparators(databasePath()), reason);
}

void SqliteStore::problemChanged(bool reported)
{
    // While a problem stands, the next operations fail at once instead of each waiting for
    // a lock that another program holds.
    setBusyTimeout(reported ? 0 : kBusyTimeoutMs);
}

QString SqliteStore::reasonOf(const QSqlError &error) const
{
    return sqliteReason(error, m_dataDir);
}

bool SqliteStore::openConnection()
{
    const QString path = databasePath();
    QString why;
    if (!QFileInfo(m_dataDir).isDir()) {
        fail(QStringLiteral("its folder %1 does not exist")
                 .arg(QDir::toNativeSeparators(m_dataDir)));
        return false;
    }
    if (!looksLikeSqlite(path, &why)) {
        fail(why);
        return false;
    }
    QSqlDatabase db = QSqlDatabase::contains(connectionName())
                          ? QSqlDatabase::database(connectionName(), false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName());
    if (!QFileInfo(m_dataDir).isWritable()) {
        if (openReadOnly(&why))
            return true;
        fail(!why.isEmpty() ? why
                            : QStringLiteral("its folder %1 cannot be written")
                                  .arg(QDir::toNativeSeparators(m_dataDir)));
        return false;
    }
    db.setDatabaseName(path);
    db.setConnectOptions(
        QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(reported() ? 0 : kBusyTimeoutMs));
    if (!db.open()) {
        fail(reasonOf(db.lastError()));
        return false;
    }
    if (!createSchema()) {
        db.close();
        return false;
    }
    return true;
}

bool SqliteStore::openReadOnly(QString *why)
{
    // A store in a folder that cannot be written (a read-only disk, a backup) can still be
    // read, for the export. SQLite needs to write beside a database to read it, unless it is
    // told that nothing changes it; that holds only while no write-ahead log holds rows.
    const QString path = databasePath();
    const QFileInfo wal(path + QStringLiteral("-wal"));
    if (!QFileInfo(path).isFile() || (wal.exists() && wal.size() > 0))
        return false;
    QSqlDatabase db = QSqlDatabase::database(connectionName(), false);
    db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) +
                       QStringLiteral("?immutable=1"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    QSqlQuery check(db);
    bool ok = db.open() && check.exec(QStringLiteral("SELECT 1 FROM faxes LIMIT 1"));
    if (ok && check.exec(QStringLiteral("PRAGMA user_version")) && check.next()) {
        const int version = check.value(0).toInt();
        *why = newerVersionProblem(version, SqliteStore::schemaVersion);
        ok = why->isEmpty() && (version >= 2 || check.exec(QLatin1String(kEarlierFaxes)));
        for (const char *view : kEarlierLists) {
            if (ok && version < 3)
                ok = check.exec(QLatin1String(view));
        }
        if (ok && version < 4)
            ok = check.exec(QLatin1String(kEarlierRests));
        for (const char *view : kEarlierBusinesses) {
            if (ok && version < 5)
                ok = check.exec(QLatin1String(view));
        }
    }
    check = QSqlQuery();
    if (!ok) {
        db.close();
        return false;
    }
    // Writes fail, each naming the folder.
    return true;
}

bool SqliteStore::createSchema()
{
    QSqlDatabase db = QSqlDatabase::database(connectionName(), false);
    QSqlQuery q(db);
    auto run = [&](const QString &sql) { return SqlStore::run(q, sql); };
    // First only read what is there, so that a damaged file is not written to.
    if (!run(QStringLiteral("SELECT name FROM sqlite_master")))
        return false;
    QSet<QString> present;
    while (q.next())
        present.insert(q.value(0).toString());
    if (!run(QStringLiteral("PRAGMA journal_mode")) || !q.next())
        return false;
    const bool wal = q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    // A store written by a newer version may hold what this one does not know of.
    if (!run(QStringLiteral("PRAGMA user_version")) || !q.next())
        return false;
    const int version = q.value(0).toInt();
    const QString newer = newerVersionProblem(version, schemaVersion);
    if (!newer.isEmpty()) {
        fail(newer);
        return false;
    }
    const bool upgrading =
        version < schemaVersion && !present.isEmpty() &&
        std::any_of(kUpgrades.begin(), kUpgrades.end(),
                    [version](const SqlUpgradeStep &s) { return s.version > version; });
    QList<const SchemaObject *> missing;
    for (const SchemaObject &o : kObjects) {
        if (!present.contains(QLatin1String(o.name)))
            missing << &o;
    }
    if ((!wal || !missing.isEmpty() || upgrading) && !present.isEmpty()) {
        // An existing database is changed only when it is sound.
        if (!run(QStringLiteral("PRAGMA quick_check(1)")) || !q.next())
            return false;
        const QString verdict = q.value(0).toString();
        if (verdict != QLatin1String("ok")) {
            QString detail = verdict;
            detail.remove(QLatin1String("*** in database main ***"));
            fail(QStringLiteral("it is damaged (%1)").arg(detail.simplified()));
            return false;
        }
    }
    // WAL keeps every committed row through a crash of the process and lets a second
    // reader look at the file while a harvest writes.
    if (!wal && !run(QStringLiteral("PRAGMA journal_mode=WAL")))
        return false;
    if (!run(QStringLiteral("PRAGMA synchronous=NORMAL")))
        return false;
    for (const SchemaObject *o : qAsConst(missing)) {
        if (!run(QString::fromLatin1(o->sql)))
            return false;
    }
    // Tables created just now have their first shape: every step runs again for them.
    if (!upgradeSchema(missing.isEmpty() ? version : 0))
        return false;
    if ((!missing.isEmpty() || upgrading) &&
        !run(QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion)))
        return false;
    return true;
}

bool SqliteStore::upgradeSchema(int fromVersion)
{
    QSqlDatabase db = QSqlDatabase::database(connectionName(), false);
    QSqlQuery q(db);
    auto hasColumn = [&q](const QString &table, const QString &column) {
        if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)))
            return false;
        bool found = false;
        while (q.next())
            found = found || q.value(1).toString() == column;
        return found;
    };
    for (const SqlUpgradeStep &step : kUpgrades) {
        if (step.version <= fromVersion)
            continue;
        // A step half done would leave a store that neither version opens.
        if (!db.transaction()) {
            fail(reasonOf(db.lastError()));
            return false;
        }
        bool ok = true;
        for (const char *sql : step.statements) {
            const QStringList words = QString::fromLatin1(sql).split(QLatin1Char(' '));
            const bool addsColumn = words.size() > 5 && words.at(0) == QLatin1String("ALTER") &&
                                    words.at(3) == QLatin1String("ADD");
            if (addsColumn && hasColumn(words.at(2), words.at(5)))
                continue;
            if (!(ok = run(q, QString::fromLatin1(sql))))
                break;
        }
        ok = ok && run(q, QStringLiteral("PRAGMA user_version=%1").arg(step.version));
        q.finish();
        if (!finishTransaction(ok))
            return false;
    }
    return true;
}
