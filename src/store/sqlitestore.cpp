#include "sqlitestore.h"

#include "clock.h"
#include "faxquerysql.h"
#include "logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>

#include <algorithm>

const char *const SqliteStore::fileName = "varnel.mdb";

namespace {

const char *const kDateFormat = "yyyy-MM-dd HH:mm:ss";
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
    {"faxes", "CREATE TABLE IF NOT EXISTS faxes (fax TEXT, Date TEXT, website TEXT, search TEXT, location TEXT)"},
    {"websites", "CREATE TABLE IF NOT EXISTS websites (website TEXT, Date TEXT)"},
    {"searches", "CREATE TABLE IF NOT EXISTS searches (search TEXT)"},
    // version 1: the sites taken out of the backlog until their page has been analysed
    {"pending", "CREATE TABLE IF NOT EXISTS pending (website TEXT)"},
    {"faxes_fax", "CREATE INDEX IF NOT EXISTS faxes_fax ON faxes (fax COLLATE NOCASE)"},
    {"faxes_date", "CREATE INDEX IF NOT EXISTS faxes_date ON faxes (Date)"},
    {"websites_website", "CREATE INDEX IF NOT EXISTS websites_website ON websites (website COLLATE NOCASE)"},
    {"websites_date", "CREATE INDEX IF NOT EXISTS websites_date ON websites (Date)"},
    {"searches_search", "CREATE INDEX IF NOT EXISTS searches_search ON searches (search COLLATE NOCASE)"},
};

// The steps that change existing tables, each taking a store to its version. The next
// change of the schema adds a step here and raises SqliteStore::schemaVersion, e.g.
//   {2, {"ALTER TABLE faxes ADD COLUMN e164 TEXT"}},
struct UpgradeStep
{
    int version;
    QList<const char *> statements;
};
const QList<UpgradeStep> kUpgrades = {
    // version 2: a number's E.164 form, its country and the evidence of how it was found
    {2,
     {"ALTER TABLE faxes ADD COLUMN e164 TEXT", "ALTER TABLE faxes ADD COLUMN country TEXT",
      "ALTER TABLE faxes ADD COLUMN label TEXT", "ALTER TABLE faxes ADD COLUMN how TEXT",
      "ALTER TABLE faxes ADD COLUMN context TEXT",
      // The numbers window sorts and counts by these columns; at a million numbers an index
      // turns a scan of seconds into one of milliseconds.
      "CREATE INDEX IF NOT EXISTS faxes_search ON faxes (search)",
      "CREATE INDEX IF NOT EXISTS faxes_location ON faxes (location)",
      "CREATE INDEX IF NOT EXISTS faxes_country ON faxes (country)",
      "CREATE INDEX IF NOT EXISTS faxes_how ON faxes (how)",
      "CREATE INDEX IF NOT EXISTS faxes_e164 ON faxes (e164)"}},
};

// Why a store of that schema version is not opened; empty when it can be.
QString newerVersionProblem(int version)
{
    if (version <= SqliteStore::schemaVersion)
        return QString();
    return QStringLiteral("it was written by a newer version of this program (schema version "
                          "%1; this version knows %2)")
        .arg(version)
        .arg(SqliteStore::schemaVersion);
}

bool looksLikeSqlite(const QString &path, QString *why)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        // A folder, a pipe or a device: never opened (reading a pipe would wait forever).
        *why = QStringLiteral("it is not a file");
        return false;
    }
    QFile f(path);
    if (!f.exists() || f.size() == 0)
        return true; // a new or empty file becomes a new database; nothing is lost
    if (!f.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("it cannot be read (%1)").arg(f.errorString());
        return false;
    }
    const QByteArray head = f.read(16);
    if (head != QByteArray("SQLite format 3\0", 16)) {
        *why = QStringLiteral("it is not a fax database");
        return false;
    }
    return true;
}

// What went wrong, in words a user can act on, with SQLite's own text after it.
QString reasonOf(const QSqlError &error, const QString &dataDir)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    switch (error.nativeErrorCode().toInt() & 0xff) {
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

bool isWriteStatement(const QSqlQuery *q)
{
    return !q->lastQuery().startsWith(QLatin1String("SELECT"));
}

} // namespace

SqliteStore::SqliteStore(const QString &dataDir, QObject *parent)
    : Store(parent),
      m_dataDir(dataDir),
      m_connectionName(QStringLiteral("varnel-") + QUuid::createUuid().toString(QUuid::WithoutBraces)),
      m_systemClock(std::make_unique<Clock>())
{
    m_clock = m_systemClock.get();
}

SqliteStore::~SqliteStore()
{
    m_queries.clear();
    if (QSqlDatabase::contains(m_connectionName)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

void SqliteStore::setClock(const Clock *clock)
{
    m_clock = clock ? clock : m_systemClock.get();
}

QDateTime SqliteStore::now() const
{
    return m_clock->now();
}

QString SqliteStore::databasePath() const
{
    return QDir(m_dataDir).filePath(QString::fromLatin1(fileName));
}

void SqliteStore::setBusyTimeout(int ms)
{
    if (!m_open)
        return;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(ms));
}

void SqliteStore::fail(const QString &what)
{
    m_lastError = what;
    qCDebug(lcStore) << databasePath() << what;
    if (!m_reported) {
        qCWarning(lcStore).noquote() << "cannot use" << databasePath() << "-" << what;
        m_reported = true;
        // While the problem stands, the next operations fail at once instead of each
        // waiting for a lock that another program holds.
        setBusyTimeout(0);
        Q_EMIT storeProblem(QStringLiteral("The fax database %1 cannot be used: %2.")
                                .arg(QDir::toNativeSeparators(databasePath()), what));
    }
}

void SqliteStore::succeeded(bool wrote)
{
    m_lastError.clear();
    // Reading works while writing may not (a full disk): only a write shows that the store
    // works again, so that one problem is reported once.
    if (wrote && m_reported) {
        m_reported = false;
        setBusyTimeout(kBusyTimeoutMs);
    }
}

bool SqliteStore::isUsable()
{
    return open();
}

bool SqliteStore::open()
{
    if (m_open)
        return true;
    const QString path = databasePath();
    QString why;
    if (!QFileInfo(m_dataDir).isDir()) {
        fail(QStringLiteral("its folder %1 does not exist").arg(QDir::toNativeSeparators(m_dataDir)));
        return false;
    }
    if (!looksLikeSqlite(path, &why)) {
        fail(why);
        return false;
    }
    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                          ? QSqlDatabase::database(m_connectionName, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (!QFileInfo(m_dataDir).isWritable()) {
        if (openReadOnly(&why))
            return true;
        fail(!why.isEmpty() ? why
                            : QStringLiteral("its folder %1 cannot be written")
                                  .arg(QDir::toNativeSeparators(m_dataDir)));
        return false;
    }
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_reported ? 0 : kBusyTimeoutMs));
    if (!db.open()) {
        fail(reasonOf(db.lastError(), m_dataDir));
        return false;
    }
    if (!createSchema()) {
        m_queries.clear();
        db.close();
        return false;
    }
    m_open = true;
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
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) +
                       QStringLiteral("?immutable=1"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    QSqlQuery check(db);
    bool ok = db.open() && check.exec(QStringLiteral("SELECT 1 FROM faxes LIMIT 1"));
    if (ok && check.exec(QStringLiteral("PRAGMA user_version")) && check.next()) {
        *why = newerVersionProblem(check.value(0).toInt());
        ok = why->isEmpty();
    }
    check = QSqlQuery();
    if (!ok) {
        db.close();
        return false;
    }
    // Writes fail, each naming the folder.
    m_open = true;
    return true;
}

bool SqliteStore::createSchema()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery q(db);
    auto run = [&](const QString &sql) {
        if (q.exec(sql))
            return true;
        fail(reasonOf(q.lastError(), m_dataDir));
        return false;
    };
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
    const QString newer = newerVersionProblem(version);
    if (!newer.isEmpty()) {
        fail(newer);
        return false;
    }
    const bool upgrading = version < schemaVersion && !present.isEmpty() &&
                           std::any_of(kUpgrades.begin(), kUpgrades.end(),
                                       [version](const UpgradeStep &s) { return s.version > version; });
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
    if (!upgrade(present.isEmpty() ? 0 : version))
        return false;
    if ((!missing.isEmpty() || upgrading) &&
        !run(QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion)))
        return false;
    return true;
}

bool SqliteStore::upgrade(int fromVersion)
{
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    for (const UpgradeStep &step : kUpgrades) {
        if (step.version <= fromVersion)
            continue;
        for (const char *sql : step.statements) {
            if (!q.exec(QString::fromLatin1(sql))) {
                fail(reasonOf(q.lastError(), m_dataDir));
                return false;
            }
        }
    }
    return true;
}

QSqlQuery *SqliteStore::prepared(const char *sql)
{
    if (!open())
        return nullptr;
    auto it = m_queries.find(sql);
    if (it != m_queries.end())
        return it->second.get();
    auto q = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connectionName, false));
    if (!q->prepare(QString::fromLatin1(sql))) {
        fail(reasonOf(q->lastError(), m_dataDir));
        return nullptr;
    }
    QSqlQuery *raw = q.get();
    m_queries.emplace(sql, std::move(q));
    return raw;
}

bool SqliteStore::exec(QSqlQuery *q)
{
    if (!q)
        return false;
    const bool write = isWriteStatement(q);
    if (write && m_batchFailed)
        return false;
    if (!q->exec()) {
        fail(reasonOf(q->lastError(), m_dataDir));
        q->finish();
        if (write && m_batchDepth > 0)
            m_batchFailed = true;
        if (write)
            Q_EMIT writeFailed(m_lastError);
        return false;
    }
    succeeded(write);
    return true;
}

void SqliteStore::beginBatch()
{
    if (m_batchDepth++ > 0 || !open())
        return;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    m_inTransaction = db.transaction();
}

void SqliteStore::endBatch()
{
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return;
    const bool failed = m_batchFailed;
    m_batchFailed = false;
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (failed) {
        db.rollback();
    } else if (!db.commit()) {
        fail(reasonOf(db.lastError(), m_dataDir));
        db.rollback();
        Q_EMIT writeFailed(m_lastError);
    }
}

// ---- statements ----------------------------------------------------------------------------

bool SqliteStore::write(const char *sql, const QVariantList &values)
{
    QSqlQuery *q = prepared(sql);
    if (!q)
        return false;
    for (const QVariant &v : values)
        q->addBindValue(v);
    const bool ok = exec(q);
    q->finish();
    return ok;
}

std::optional<QStringList> SqliteStore::column(const char *sql, const QVariantList &values)
{
    QSqlQuery *q = prepared(sql);
    if (!q)
        return std::nullopt;
    for (const QVariant &v : values)
        q->addBindValue(v);
    if (!exec(q))
        return std::nullopt;
    QStringList out;
    while (q->next())
        out << q->value(0).toString();
    q->finish();
    return out;
}

std::optional<bool> SqliteStore::any(const char *sql, const QString &value)
{
    QSqlQuery *q = prepared(sql);
    if (!q)
        return std::nullopt;
    q->addBindValue(value);
    if (!exec(q))
        return std::nullopt;
    const bool found = q->next();
    q->finish();
    return found;
}

std::optional<qint32> SqliteStore::count(const char *sql)
{
    QSqlQuery *q = prepared(sql);
    if (!q || !exec(q))
        return std::nullopt;
    qint32 n = 0;
    if (q->next()) {
        const qlonglong v = q->value(0).toLongLong();
        n = v > 2147483647 ? 2147483647 : qint32(v);
    }
    q->finish();
    return n;
}

// ---- numbers ---------------------------------------------------------------------------------

bool SqliteStore::insertFax(const FaxRow &row)
{
    return write("INSERT INTO faxes (fax, Date, website, search, location, e164, country, label, "
                 "how, context) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                 {row.fax, row.date.toString(QLatin1String(kDateFormat)), row.website, row.search,
                  row.location, row.e164, row.country, row.label, row.how, row.context});
}

std::optional<bool> SqliteStore::hasFax(const QString &number)
{
    return any("SELECT 1 FROM faxes WHERE fax = ? COLLATE NOCASE LIMIT 1", number);
}

bool SqliteStore::deleteAllFaxes()
{
    return write("DELETE FROM faxes", {});
}

std::optional<qint32> SqliteStore::countFaxes()
{
    return count("SELECT count(*) FROM faxes");
}

std::optional<QStringList> SqliteStore::newestFaxes(int n)
{
    QSqlQuery *q = prepared("SELECT fax, location FROM faxes ORDER BY Date DESC, rowid DESC LIMIT ?");
    if (!q)
        return std::nullopt;
    q->addBindValue(n);
    if (!exec(q))
        return std::nullopt;
    QStringList entries;
    while (q->next())
        entries.prepend(q->value(0).toString() + QStringLiteral(" | ") + q->value(1).toString());
    q->finish();
    return entries;
}

std::optional<QList<FaxRow>> SqliteStore::allFaxes()
{
    QSqlQuery *q = prepared("SELECT fax, Date, website, search, location FROM faxes ORDER BY rowid");
    if (!q || !exec(q))
        return std::nullopt;
    QList<FaxRow> rows;
    while (q->next()) {
        FaxRow r;
        r.fax = q->value(0).toString();
        r.date = QDateTime::fromString(q->value(1).toString(), QLatin1String(kDateFormat));
        r.website = q->value(2).toString();
        r.search = q->value(3).toString();
        r.location = q->value(4).toString();
        rows.append(r);
    }
    q->finish();
    return rows;
}

// ---- reading the numbers in view ------------------------------------------------------------

namespace {

const char *columnName(FaxColumn c)
{
    switch (c) {
    case FaxColumn::Fax:
        return "fax";
    case FaxColumn::E164:
        return "e164";
    case FaxColumn::Location:
        return "location";
    case FaxColumn::Country:
        return "country";
    case FaxColumn::Date:
        return "Date";
    case FaxColumn::Website:
        return "website";
    case FaxColumn::Search:
        return "search";
    case FaxColumn::Label:
        return "label";
    case FaxColumn::How:
        return "how";
    case FaxColumn::Context:
        return "context";
    }
    return "fax";
}

const FaxQuerySql::Dialect &dialect()
{
    static const FaxQuerySql::Dialect d = [] {
        FaxQuerySql::Dialect d;
        d.id = QStringLiteral("rowid");
        d.caseless = QStringLiteral("LIKE"); // folds ASCII letters, as the store's comparisons do
        d.hostOf = QStringLiteral("substr(%1, 1, instr(%1 || '/', '/') - 1)");
        d.dayOf = QStringLiteral("substr(%1, 1, 10)");
        d.column = [](FaxColumn c) { return QString::fromLatin1(columnName(c)); };
        // The number's index folds letter case; sorting by it lets the index serve.
        d.sortKey = [](FaxColumn c) {
            return c == FaxColumn::Fax ? QStringLiteral("fax COLLATE NOCASE")
                                       : QString::fromLatin1(columnName(c));
        };
        d.date = [](const QDateTime &t) {
            return QVariant(t.toString(QLatin1String(kDateFormat)));
        };
        return d;
    }();
    return d;
}

const char *const kListedColumns =
    "rowid, fax, Date, website, search, location, e164, country, label, how, context";

} // namespace

std::unique_ptr<Store> SqliteStore::openAnother() const
{
    return std::make_unique<SqliteStore>(m_dataDir);
}

std::unique_ptr<QSqlQuery> SqliteStore::select(const QString &sql, const QVariantList &values)
{
    if (!open())
        return nullptr;
    auto q = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connectionName, false));
    q->setForwardOnly(true);
    if (!q->prepare(sql)) {
        fail(reasonOf(q->lastError(), m_dataDir));
        return nullptr;
    }
    for (const QVariant &v : values)
        q->addBindValue(v);
    if (!exec(q.get()))
        return nullptr;
    return q;
}

std::optional<qint64> SqliteStore::countFaxes(const FaxFilter &filter)
{
    const FaxQuerySql::Clause w = FaxQuerySql::where(filter, dialect());
    const auto q = select(QStringLiteral("SELECT count(*) FROM faxes") + w.sql, w.values);
    if (!q)
        return std::nullopt;
    return q->next() ? q->value(0).toLongLong() : 0;
}

std::optional<QList<ListedFax>> SqliteStore::faxPage(const FaxFilter &filter, const FaxSort &sort,
                                                     qint64 offset, int limit)
{
    const FaxQuerySql::Clause w = FaxQuerySql::where(filter, dialect());
    const auto q =
        select(QStringLiteral("SELECT %1 FROM faxes").arg(QLatin1String(kListedColumns)) + w.sql +
                   FaxQuerySql::orderBy(sort, dialect()) + QStringLiteral(" LIMIT ? OFFSET ?"),
               w.values + QVariantList{limit, offset});
    if (!q)
        return std::nullopt;
    QList<ListedFax> rows;
    while (q->next()) {
        ListedFax f;
        f.id = q->value(0).toLongLong();
        FaxRow &r = f.row;
        r.fax = q->value(1).toString();
        r.date = QDateTime::fromString(q->value(2).toString(), QLatin1String(kDateFormat));
        r.website = q->value(3).toString();
        r.search = q->value(4).toString();
        r.location = q->value(5).toString();
        r.e164 = q->value(6).toString();
        r.country = q->value(7).toString();
        r.label = q->value(8).toString();
        r.how = q->value(9).toString();
        r.context = q->value(10).toString();
        rows.append(f);
    }
    return rows;
}

std::optional<QList<ValueCount>> SqliteStore::countFaxesBy(FaxColumn column,
                                                           const FaxFilter &filter)
{
    const FaxQuerySql::Clause w = FaxQuerySql::where(filter, dialect());
    const QString col = dialect().column(column);
    const auto q = select(QStringLiteral("SELECT %1, count(*) FROM faxes").arg(col) + w.sql +
                              QStringLiteral(" GROUP BY %1 ORDER BY 2 DESC, 1").arg(col),
                          w.values);
    if (!q)
        return std::nullopt;
    QList<ValueCount> counts;
    while (q->next())
        counts.append({q->value(0).toString(), q->value(1).toLongLong()});
    return counts;
}

std::optional<QList<DayCount>> SqliteStore::faxesPerDay(const FaxFilter &filter)
{
    const FaxQuerySql::Clause w = FaxQuerySql::where(filter, dialect());
    const QString day = dialect().dayOf.arg(dialect().column(FaxColumn::Date));
    const auto q = select(QStringLiteral("SELECT %1, count(*) FROM faxes").arg(day) + w.sql +
                              QStringLiteral(" GROUP BY 1 ORDER BY 1"),
                          w.values);
    if (!q)
        return std::nullopt;
    QList<DayCount> days;
    while (q->next()) {
        const QDate d = QDate::fromString(q->value(0).toString(), Qt::ISODate);
        if (d.isValid())
            days.append({d, q->value(1).toLongLong()});
    }
    return days;
}

std::optional<QList<SearchYield>> SqliteStore::searchYields(const FaxFilter &filter)
{
    const FaxQuerySql::Clause w = FaxQuerySql::where(filter, dialect());
    const auto q = select(QStringLiteral("SELECT search, count(*), count(DISTINCT %1) FROM faxes")
                                  .arg(dialect().hostOf.arg(QLatin1String("website"))) +
                              w.sql + QStringLiteral(" GROUP BY search ORDER BY 2 DESC, 1"),
                          w.values);
    if (!q)
        return std::nullopt;
    QList<SearchYield> yields;
    while (q->next())
        yields.append({q->value(0).toString(), q->value(1).toLongLong(), q->value(2).toLongLong()});
    return yields;
}

bool SqliteStore::deleteFaxes(const QList<qint64> &ids)
{
    if (ids.isEmpty())
        return true;
    beginBatch();
    bool ok = true;
    for (qint64 id : ids) {
        if (!(ok = write("DELETE FROM faxes WHERE rowid = ?", {id})))
            break;
    }
    endBatch();
    return ok && m_lastError.isEmpty();
}

// ---- the backlog -----------------------------------------------------------------------------

bool SqliteStore::insertWebsite(const QString &site)
{
    return write("INSERT INTO websites (website, Date) VALUES (?, ?)",
                 {site, now().toString(QLatin1String(kDateFormat))});
}

bool SqliteStore::removeWebsite(const QString &site)
{
    return write("DELETE FROM websites WHERE rowid = (SELECT rowid FROM websites "
                 "WHERE website = ? COLLATE NOCASE ORDER BY rowid LIMIT 1)",
                 {site});
}

std::optional<bool> SqliteStore::hasWebsite(const QString &site)
{
    return any("SELECT 1 FROM websites WHERE website = ? COLLATE NOCASE LIMIT 1", site);
}

bool SqliteStore::deleteAllWebsites()
{
    if (!write("DELETE FROM websites", {}))
        return false;
    // The notes of sites taken out of the backlog go with it.
    (void)clearAllPending();
    return true;
}

std::optional<qint32> SqliteStore::countWebsites()
{
    return count("SELECT count(*) FROM websites");
}

std::optional<QStringList> SqliteStore::newestWebsites(int n)
{
    std::optional<QStringList> sites =
        column("SELECT website FROM websites ORDER BY Date DESC, rowid DESC LIMIT ?", {n});
    if (sites)
        std::reverse(sites->begin(), sites->end());
    return sites;
}

std::optional<QString> SqliteStore::firstWebsite()
{
    const std::optional<QStringList> first =
        column("SELECT website FROM websites ORDER BY rowid LIMIT 1");
    if (!first)
        return std::nullopt;
    return first->value(0);
}

// ---- search strings --------------------------------------------------------------------------

namespace {
// A blank text is stored and compared as '': a null one would be bound as NULL, which no
// comparison matches, so that a blank row could never be deleted.
QString notNull(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}
} // namespace

bool SqliteStore::insertSearch(const QString &search)
{
    return write("INSERT INTO searches (search) VALUES (?)", {notNull(search)});
}

bool SqliteStore::removeSearch(const QString &search)
{
    // coalesce: earlier versions stored a blank search string as NULL.
    return write("DELETE FROM searches WHERE rowid = (SELECT rowid FROM searches "
                 "WHERE coalesce(search, '') = ? COLLATE NOCASE ORDER BY rowid LIMIT 1)",
                 {notNull(search)});
}

std::optional<QStringList> SqliteStore::searches()
{
    return column("SELECT search FROM searches ORDER BY rowid");
}

// ---- pending notes ---------------------------------------------------------------------------

bool SqliteStore::notePending(const QString &site)
{
    return write("INSERT INTO pending (website) VALUES (?)", {site});
}

bool SqliteStore::clearPending(const QString &site)
{
    return write("DELETE FROM pending WHERE rowid = (SELECT rowid FROM pending "
                 "WHERE website = ? ORDER BY rowid LIMIT 1)",
                 {site});
}

bool SqliteStore::clearAllPending()
{
    return write("DELETE FROM pending", {});
}

std::optional<int> SqliteStore::restorePending(const QStringList &stillQueued)
{
    QSqlQuery *list = prepared("SELECT rowid, website FROM pending ORDER BY rowid");
    if (!list || !exec(list))
        return std::nullopt;
    // The sites still held in List2 stay noted (one note for each entry).
    QHash<QString, int> keep;
    for (const QString &site : stillQueued)
        ++keep[site];
    QList<QPair<qint64, QString>> rows;
    while (list->next()) {
        const QString site = list->value(1).toString();
        int &k = keep[site];
        if (k > 0)
            --k;
        else
            rows.append({list->value(0).toLongLong(), site});
    }
    list->finish();
    if (rows.isEmpty())
        return 0;
    // One transaction: each site is back in the backlog exactly once, or still pending.
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.transaction()) {
        fail(reasonOf(db.lastError(), m_dataDir));
        return std::nullopt;
    }
    QSqlQuery *move = prepared("INSERT INTO websites (website, Date) VALUES (?, ?)");
    QSqlQuery *forget = prepared("DELETE FROM pending WHERE rowid = ?");
    bool ok = move && forget;
    const QString now = this->now().toString(QLatin1String(kDateFormat));
    for (const auto &row : qAsConst(rows)) {
        if (!ok)
            break;
        move->addBindValue(row.second);
        move->addBindValue(now);
        ok = exec(move);
        move->finish();
        if (ok) {
            forget->addBindValue(row.first);
            ok = exec(forget);
            forget->finish();
        }
    }
    if (!ok || !db.commit()) {
        if (ok)
            fail(reasonOf(db.lastError(), m_dataDir));
        db.rollback();
        return std::nullopt;
    }
    return int(rows.size());
}
