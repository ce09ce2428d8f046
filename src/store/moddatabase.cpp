#include "moddatabase.h"

#include "clock.h"
#include "globals.h"
#include "logging.h"
#include "textlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>

const char *const modDatabase::fileName = "varnel.mdb";

namespace {

const char *const kDateFormat = "yyyy-MM-dd HH:mm:ss";
// How long an operation waits for a lock another connection holds.
constexpr int kBusyTimeoutMs = 3000;

// Removes every occurrence of needle (ASCII letters folded), in one left-to-right pass.
void removeAllAsciiCaseless(QString &text, QLatin1String needle)
{
    const int n = int(needle.size());
    if (n == 0 || text.size() < n)
        return;
    QString out;
    out.reserve(text.size());
    int i = 0;
    const int last = int(text.size()) - n;
    while (i < text.size()) {
        bool match = false;
        if (i <= last) {
            match = true;
            for (int k = 0; k < n; ++k) {
                ushort c = text.at(i + k).unicode();
                ushort d = uchar(needle.at(k).toLatin1());
                if (c >= 'A' && c <= 'Z')
                    c = ushort(c + 32);
                if (d >= 'A' && d <= 'Z')
                    d = ushort(d + 32);
                if (c != d) {
                    match = false;
                    break;
                }
            }
        }
        if (match) {
            i += n;
        } else {
            out.append(text.at(i));
            ++i;
        }
    }
    text = out;
}

// VB's Trim: spaces only, other whitespace stays.
QString trimSpaces(const QString &s)
{
    int b = 0, e = int(s.size());
    while (b < e && s.at(b) == QLatin1Char(' '))
        ++b;
    while (e > b && s.at(e - 1) == QLatin1Char(' '))
        --e;
    return s.mid(b, e - b);
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

modDatabase::modDatabase(const QString &dataDir, Counters *counters, QObject *parent)
    : QObject(parent),
      m_dataDir(dataDir),
      m_connectionName(QStringLiteral("varnel-") + QUuid::createUuid().toString(QUuid::WithoutBraces)),
      m_counters(counters),
      m_systemClock(std::make_unique<Clock>())
{
    m_clock = m_systemClock.get();
}

modDatabase::~modDatabase()
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

void modDatabase::setLists(TextList *list1, TextList *list2, TextList *list3)
{
    m_list1 = list1;
    m_list2 = list2;
    m_list3 = list3;
}

void modDatabase::setClock(const Clock *clock)
{
    m_clock = clock ? clock : m_systemClock.get();
}

QString modDatabase::databasePath() const
{
    return QDir(m_dataDir).filePath(QString::fromLatin1(fileName));
}

QString modDatabase::normalizeSite(QString site)
{
    // "https://" first, so that a secure address is not left as "httpshost".
    static const char *const prefixes[] = {"https://", "http://", "ttp://", "tp://", "p://", "://"};
    for (const char *p : prefixes)
        removeAllAsciiCaseless(site, QLatin1String(p));
    return trimSpaces(site);
}

QString modDatabase::normalizeNumber(QString number)
{
    if (number.endsWith(QLatin1Char('.')))
        number.chop(1);
    return trimSpaces(number);
}

QString modDatabase::normalizeSearch(QString search)
{
    return trimSpaces(search);
}

QDateTime modDatabase::now() const
{
    return m_clock->now();
}

QString modDatabase::nowText() const
{
    return m_clock->now().toString(QLatin1String(kDateFormat));
}

void modDatabase::setBusyTimeout(int ms)
{
    if (!m_open)
        return;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(ms));
}

void modDatabase::fail(const QString &what)
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

void modDatabase::succeeded(bool wrote)
{
    m_lastError.clear();
    // Reading works while writing may not (a full disk): only a write shows that the store
    // works again, so that one problem is reported once.
    if (wrote && m_reported) {
        m_reported = false;
        setBusyTimeout(kBusyTimeoutMs);
    }
}

bool modDatabase::isUsable()
{
    return open();
}

bool modDatabase::open()
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
        if (openReadOnly())
            return true;
        fail(QStringLiteral("its folder %1 cannot be written").arg(QDir::toNativeSeparators(m_dataDir)));
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

bool modDatabase::openReadOnly()
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
    const bool ok = db.open() && check.exec(QStringLiteral("SELECT 1 FROM faxes LIMIT 1"));
    check = QSqlQuery();
    if (!ok) {
        db.close();
        return false;
    }
    // Writes fail, each naming the folder.
    m_open = true;
    return true;
}

bool modDatabase::createSchema()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery q(db);
    struct Object
    {
        const char *name;
        const char *sql;
    };
    static const Object objects[] = {
        {"faxes", "CREATE TABLE IF NOT EXISTS faxes (fax TEXT, Date TEXT, website TEXT, search TEXT, location TEXT)"},
        {"websites", "CREATE TABLE IF NOT EXISTS websites (website TEXT, Date TEXT)"},
        {"searches", "CREATE TABLE IF NOT EXISTS searches (search TEXT)"},
        {"pending", "CREATE TABLE IF NOT EXISTS pending (website TEXT)"},
        {"faxes_fax", "CREATE INDEX IF NOT EXISTS faxes_fax ON faxes (fax COLLATE NOCASE)"},
        {"faxes_date", "CREATE INDEX IF NOT EXISTS faxes_date ON faxes (Date)"},
        {"websites_website", "CREATE INDEX IF NOT EXISTS websites_website ON websites (website COLLATE NOCASE)"},
        {"websites_date", "CREATE INDEX IF NOT EXISTS websites_date ON websites (Date)"},
        {"searches_search", "CREATE INDEX IF NOT EXISTS searches_search ON searches (search COLLATE NOCASE)"},
    };
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
    QList<const Object *> missing;
    for (const Object &o : objects) {
        if (!present.contains(QLatin1String(o.name)))
            missing << &o;
    }
    if ((!wal || !missing.isEmpty()) && !present.isEmpty()) {
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
    for (const Object *o : qAsConst(missing)) {
        if (!run(QString::fromLatin1(o->sql)))
            return false;
    }
    if (!missing.isEmpty() && !run(QStringLiteral("PRAGMA user_version=1")))
        return false;
    return true;
}

QSqlQuery *modDatabase::prepared(const char *sql)
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

bool modDatabase::exec(QSqlQuery *q)
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

void modDatabase::beginBatch()
{
    if (m_batchDepth++ > 0 || !open())
        return;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    m_inTransaction = db.transaction();
}

void modDatabase::endBatch()
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

bool modDatabase::AddFax(QString &number, const QString &website, QString &search, const QString &location)
{
    number = normalizeNumber(number);
    if (search.isEmpty())
        search = QStringLiteral("Unknown");
    QSqlQuery *q = prepared("INSERT INTO faxes (fax, Date, website, search, location) VALUES (?, ?, ?, ?, ?)");
    if (q) {
        q->addBindValue(number);
        q->addBindValue(nowText());
        q->addBindValue(website);
        q->addBindValue(search);
        q->addBindValue(location);
        exec(q);
        q->finish();
    }
    return true;
}

bool modDatabase::AddWebsite(QString &site)
{
    site = normalizeSite(site);
    QSqlQuery *q = prepared("INSERT INTO websites (website, Date) VALUES (?, ?)");
    if (q) {
        q->addBindValue(site);
        q->addBindValue(nowText());
        exec(q);
        q->finish();
    }
    return true;
}

bool modDatabase::AddSearch(QString &search)
{
    search = normalizeSearch(search);
    QSqlQuery *q = prepared("INSERT INTO searches (search) VALUES (?)");
    if (q) {
        q->addBindValue(search);
        exec(q);
        q->finish();
    }
    return true;
}

bool modDatabase::DeleteAllFaxes()
{
    QSqlQuery *q = prepared("DELETE FROM faxes");
    if (q) {
        exec(q);
        q->finish();
    }
    if (m_list3)
        m_list3->clear();
    if (m_counters)
        m_counters->resetEmailFound();
    return true;
}

bool modDatabase::DeleteWebsite(QString &site)
{
    site = normalizeSite(site);
    QSqlQuery *q = prepared("DELETE FROM websites WHERE rowid = (SELECT rowid FROM websites "
                            "WHERE website = ? COLLATE NOCASE ORDER BY rowid LIMIT 1)");
    if (q) {
        q->addBindValue(site);
        exec(q);
        q->finish();
    }
    return true;
}

bool modDatabase::DeleteAllWebsites()
{
    QSqlQuery *q = prepared("DELETE FROM websites");
    if (!q)
        return false;
    const bool ok = exec(q);
    q->finish();
    if (!ok)
        return false;
    if (m_list2)
        m_list2->clear();
    if (m_counters)
        m_counters->resetWebCounters();
    m_handedOut.clear();
    clearAllPending();
    return true;
}

bool modDatabase::DeleteSearch(QString &search)
{
    search = normalizeSearch(search);
    QSqlQuery *q = prepared("DELETE FROM searches WHERE rowid = (SELECT rowid FROM searches "
                            "WHERE search = ? COLLATE NOCASE ORDER BY rowid LIMIT 1)");
    if (q) {
        q->addBindValue(search);
        exec(q);
        q->finish();
    }
    return true;
}

static qint32 countOf(QSqlQuery *q, bool ok)
{
    if (!ok || !q->next())
        return 0;
    const qlonglong n = q->value(0).toLongLong();
    return n > 2147483647 ? 2147483647 : qint32(n);
}

qint32 modDatabase::CountFaxes()
{
    QSqlQuery *q = prepared("SELECT count(*) FROM faxes");
    if (!q)
        return 0;
    const qint32 n = countOf(q, exec(q));
    q->finish();
    return n;
}

qint32 modDatabase::CountWebsites()
{
    QSqlQuery *q = prepared("SELECT count(*) FROM websites");
    if (!q)
        return 0;
    const qint32 n = countOf(q, exec(q));
    q->finish();
    return n;
}

bool modDatabase::FaxExists(QString &number)
{
    number = normalizeNumber(number);
    QSqlQuery *q = prepared("SELECT 1 FROM faxes WHERE fax = ? COLLATE NOCASE LIMIT 1");
    if (!q)
        return true;
    q->addBindValue(number);
    if (!exec(q))
        return true;
    const bool found = q->next();
    q->finish();
    return found;
}

bool modDatabase::WebsiteExists(QString &site)
{
    site = normalizeSite(site);
    QSqlQuery *q = prepared("SELECT 1 FROM websites WHERE website = ? COLLATE NOCASE LIMIT 1");
    if (!q)
        return true;
    q->addBindValue(site);
    if (!exec(q))
        return true;
    const bool found = q->next();
    q->finish();
    if (found)
        return true;
    if (m_list2 && m_list2->contains(site))
        return true;
    return m_handedOut.contains(site);
}

bool modDatabase::LoadFaxPreview()
{
    if (CountFaxes() <= 0)
        return true;
    QSqlQuery *q = prepared("SELECT fax, location FROM faxes ORDER BY Date DESC, rowid DESC LIMIT 20");
    if (!q || !exec(q))
        return true;
    QStringList entries;
    while (q->next())
        entries.prepend(q->value(0).toString() + QStringLiteral(" | ") + q->value(1).toString());
    q->finish();
    if (m_list3) {
        m_list3->clear();
        for (const QString &e : qAsConst(entries))
            m_list3->addItem(e);
    }
    return true;
}

bool modDatabase::LoadWebsiteQueue()
{
    if (CountWebsites() <= 0)
        return false;
    QSqlQuery *q = prepared("SELECT website FROM websites ORDER BY Date DESC, rowid DESC LIMIT 20");
    if (!q || !exec(q))
        return false;
    QStringList sites;
    while (q->next())
        sites.prepend(q->value(0).toString());
    q->finish();
    if (m_list2) {
        m_list2->clear();
        for (const QString &s : qAsConst(sites))
            m_list2->addItem(s);
    }
    // Each loaded site leaves the backlog (the first matching row of each), noted as
    // pending first, so that a kill in between keeps it.
    for (const QString &s : qAsConst(sites)) {
        notePending(s);
        QString copy = s;
        DeleteWebsite(copy);
    }
    Q_EMIT queueLoaded();
    return true;
}

bool modDatabase::LoadSearches()
{
    QSqlQuery *q = prepared("SELECT search FROM searches ORDER BY rowid");
    if (!q || !exec(q))
        return true;
    QStringList searches;
    while (q->next())
        searches << q->value(0).toString();
    q->finish();
    if (m_list1) {
        for (const QString &s : qAsConst(searches))
            m_list1->addItem(s);
    }
    return true;
}

QString modDatabase::firstWebsite(bool *ok)
{
    if (ok)
        *ok = false;
    QSqlQuery *q = prepared("SELECT website FROM websites ORDER BY rowid LIMIT 1");
    if (!q || !exec(q))
        return QString();
    if (ok)
        *ok = true;
    QString site;
    if (q->next())
        site = q->value(0).toString();
    q->finish();
    return site;
}

void modDatabase::notePending(const QString &site)
{
    QSqlQuery *q = prepared("INSERT INTO pending (website) VALUES (?)");
    if (q) {
        q->addBindValue(site);
        exec(q);
        q->finish();
    }
}

void modDatabase::clearPending(const QString &site)
{
    QSqlQuery *q = prepared("DELETE FROM pending WHERE rowid = (SELECT rowid FROM pending "
                            "WHERE website = ? ORDER BY rowid LIMIT 1)");
    if (q) {
        q->addBindValue(site);
        exec(q);
        q->finish();
    }
}

void modDatabase::clearAllPending()
{
    QSqlQuery *q = prepared("DELETE FROM pending");
    if (q) {
        exec(q);
        q->finish();
    }
}

int modDatabase::restorePending(const QStringList &stillQueued)
{
    QSqlQuery *list = prepared("SELECT rowid, website FROM pending ORDER BY rowid");
    if (!list || !exec(list))
        return 0;
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
        return 0;
    }
    QSqlQuery *move = prepared("INSERT INTO websites (website, Date) VALUES (?, ?)");
    QSqlQuery *forget = prepared("DELETE FROM pending WHERE rowid = ?");
    bool ok = move && forget;
    const QString now = nowText();
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
        return 0;
    }
    return int(rows.size());
}

void modDatabase::markHandedOut(const QString &site)
{
    if (!site.isEmpty())
        m_handedOut.insert(site);
}

QList<FaxRow> modDatabase::allFaxRows(bool *ok)
{
    QList<FaxRow> rows;
    if (ok)
        *ok = false;
    QSqlQuery *q = prepared("SELECT fax, Date, website, search, location FROM faxes ORDER BY rowid");
    if (!q || !exec(q))
        return rows;
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
    if (ok)
        *ok = true;
    return rows;
}
