#include "sqlstore.h"

#include "clock.h"
#include "logging.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringDecoder>
#include <QUuid>

#include <algorithm>

namespace {

const char *const kDateFormat = "yyyy-MM-dd HH:mm:ss";

QString dateText(const QDateTime &t)
{
    // Formatting costs more than the rest of a write, and the text changes once a second.
    // The text shows only the date and the time of day, which need no look at the time zone
    // (the number of seconds since the epoch would).
    thread_local QDate cachedDate;
    thread_local QTime cachedTime;
    thread_local QString cached;
    if (!t.isValid())
        return t.toString(QLatin1String(kDateFormat));
    const QDate date = t.date();
    const QTime time = t.time();
    if (cached.isEmpty() || date != cachedDate || time != cachedTime) {
        cached = t.toString(QLatin1String(kDateFormat));
        cachedDate = date;
        cachedTime = time;
    }
    return cached;
}

// By position: a statement whose last run was refused before it ran keeps its values, and
// appending would shift them.
void bindValues(QSqlQuery *q, const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        q->bindValue(i, values.at(i));
}

// The evidence columns and blank search strings hold "" rather than NULL (a null QString
// binds as NULL).
QString nonNull(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QDateTime dateOf(const QVariant &text)
{
    return QDateTime::fromString(text.toString(), QLatin1String(kDateFormat));
}

// The rests of search engines read the same on both backends: the times are UTC texts.
const char *const kEngineRests =
    "SELECT engine, kind, rest_until, reason FROM engine_rests ORDER BY engine";
const char *const kSetEngineRest =
    "INSERT INTO engine_rests (engine, kind, rest_until, reason) VALUES (?, ?, ?, ?) "
    "ON CONFLICT (engine) DO UPDATE SET kind = excluded.kind, rest_until = excluded.rest_until, "
    "reason = excluded.reason";
const char *const kEndEngineRest = "DELETE FROM engine_rests WHERE engine = ?";

QString utcText(const QDateTime &t)
{
    return t.toUTC().toString(Qt::ISODate);
}

} // namespace

void SqlStore::bindAll(QSqlQuery *q, const QVariantList &values)
{
    bindValues(q, values);
}

SqlStore::SqlStore(const SqlStatements &statements, QObject *parent)
    : Store(parent), m_sql(statements),
      m_connectionName(QStringLiteral("varnel-") +
                       QUuid::createUuid().toString(QUuid::WithoutBraces)),
      m_systemClock(std::make_unique<Clock>())
{
    m_clock = m_systemClock.get();
}

SqlStore::~SqlStore()
{
    closeConnection();
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::removeDatabase(m_connectionName);
}

void SqlStore::setClock(const Clock *clock)
{
    m_clock = clock ? clock : m_systemClock.get();
}

QDateTime SqlStore::now() const
{
    return m_clock->now();
}

void SqlStore::closeConnection(bool lost)
{
    if (lost) {
        // The driver goes first, so that the prepared statements are not freed on a
        // connection that is gone; the next open makes a new one.
        QSqlDatabase::removeDatabase(m_connectionName);
        m_queries.clear();
    } else {
        m_queries.clear();
        if (QSqlDatabase::contains(m_connectionName))
            QSqlDatabase::database(m_connectionName, false).close();
    }
    m_open = false;
    m_inTransaction = false;
    forgetSites();
}

void SqlStore::fail(const QString &what)
{
    m_lastError = what;
    qCDebug(lcStore) << location() << what;
    if (!m_reported) {
        qCWarning(lcStore).noquote() << "cannot use" << location() << "-" << what;
        m_reported = true;
        problemChanged(true);
        Q_EMIT storeProblem(problemMessage(what));
    }
}

void SqlStore::succeeded(bool wrote)
{
    m_lastError.clear();
    // Reading works while writing may not (a full disk): only a write shows that the store
    // works again, so that one problem is reported once.
    if (wrote && m_reported) {
        m_reported = false;
        problemChanged(false);
    }
}

bool SqlStore::run(QSqlQuery &q, const QString &sql)
{
    if (q.exec(sql))
        return true;
    fail(reasonOf(q.lastError()));
    return false;
}

bool SqlStore::finishTransaction(bool ok)
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (ok && db.commit())
        return true;
    if (ok)
        fail(reasonOf(db.lastError()));
    db.rollback();
    return false;
}

bool SqlStore::upgrade(const QList<SqlUpgradeStep> &steps, int fromVersion)
{
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    for (const SqlUpgradeStep &step : steps) {
        for (const char *sql : step.statements) {
            if (step.version > fromVersion && !run(q, QString::fromLatin1(sql)))
                return false;
        }
    }
    return true;
}

QString SqlStore::newerVersionProblem(int version, int known)
{
    if (version <= known)
        return QString();
    // A store written by a newer version may hold what this one does not know of.
    return QStringLiteral("it was written by a newer version of this program (schema version "
                          "%1; this version knows %2); update this program")
        .arg(version)
        .arg(known);
}

bool SqlStore::open()
{
    if (m_open)
        return true;
    m_open = openConnection();
    return m_open;
}

QSqlQuery *SqlStore::prepared(const char *sql)
{
    if (!open())
        return nullptr;
    auto it = m_queries.find(sql);
    if (it != m_queries.end())
        return it->second.get();
    auto q = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connectionName, false));
    if (!q->prepare(QString::fromLatin1(sql))) {
        failedOnConnection(q->lastError());
        return nullptr;
    }
    QSqlQuery *raw = q.get();
    m_queries.emplace(sql, std::move(q));
    return raw;
}

bool SqlStore::exec(QSqlQuery *q, bool write)
{
    if (!q)
        return false;
    if (write && m_batchFailed)
        return false;
    if (q->exec()) {
        succeeded(write);
        return true;
    }
    const QSqlError error = q->lastError();
    fail(reasonOf(error));
    q->finish();
    const bool lost = connectionLost(error);
    if (m_batchDepth > 0 && !m_batchFailed && (write || lost || failureEndsTransaction())) {
        // The batch's earlier writes are undone with it.
        failBatch();
        if (!write)
            Q_EMIT writeFailed(m_lastError);
    }
    if (write)
        Q_EMIT writeFailed(m_lastError);
    if (lost)
        closeConnection(true);
    return false;
}

void SqlStore::failBatch()
{
    m_batchFailed = true;
    // What the batch wrote may be undone, by the rollback or by the end of the batch.
    forgetSites();
    if (m_inTransaction && failureEndsTransaction()) {
        m_inTransaction = false;
        QSqlDatabase::database(m_connectionName, false).rollback();
    }
}

void SqlStore::beginBatch()
{
    if (m_batchDepth++ > 0 || !open())
        return;
    m_sitesChecked = false;
    m_inTransaction = QSqlDatabase::database(m_connectionName, false).transaction();
    if (!m_inTransaction)
        failedOnConnection(QSqlDatabase::database(m_connectionName, false).lastError());
}

void SqlStore::endBatch()
{
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return;
    const bool failed = m_batchFailed;
    m_batchFailed = false;
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    m_sitesChecked = false;
    QSqlError error;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (failed) {
            db.rollback();
            forgetSites();
        } else if (!db.commit()) {
            error = db.lastError();
            db.rollback();
            forgetSites();
        }
    }
    if (error.isValid()) {
        failedOnConnection(error);
        Q_EMIT writeFailed(m_lastError);
    }
}

void SqlStore::failedOnConnection(const QSqlError &error)
{
    fail(reasonOf(error));
    if (connectionLost(error))
        closeConnection(true);
}

// ---- statements ----------------------------------------------------------------------------

bool SqlStore::write(const char *sql, const QVariantList &values, int *rowsChanged)
{
    QSqlQuery *q = prepared(sql);
    if (!q) {
        Q_EMIT writeFailed(m_lastError);
        return false;
    }
    bindValues(q, values);
    const bool ok = exec(q, true);
    if (ok && rowsChanged)
        *rowsChanged = q->numRowsAffected();
    if (isOpen())
        q->finish();
    return ok;
}

std::optional<QStringList> SqlStore::column(const char *sql, const QVariantList &values)
{
    QSqlQuery *q = prepared(sql);
    if (!q)
        return std::nullopt;
    bindValues(q, values);
    if (!exec(q, false))
        return std::nullopt;
    QStringList out;
    while (q->next())
        out << q->value(0).toString();
    q->finish();
    return out;
}

std::optional<bool> SqlStore::any(const char *sql, const QString &value)
{
    QSqlQuery *q = prepared(sql);
    if (!q)
        return std::nullopt;
    q->bindValue(0, value);
    if (!exec(q, false))
        return std::nullopt;
    const bool found = q->next();
    q->finish();
    return found;
}

std::optional<qint32> SqlStore::count(const char *sql)
{
    QSqlQuery *q = prepared(sql);
    if (!q || !exec(q, false))
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

bool SqlStore::insertFax(const FaxRow &row, bool *alreadyStored)
{
    int changed = 0;
    if (!write(m_sql.insertFax,
               {row.fax, dateText(row.date), row.website, row.search, row.location,
                nonNull(row.e164), nonNull(row.country), nonNull(row.label), nonNull(row.how),
                nonNull(row.context)},
               &changed))
        return false;
    *alreadyStored = changed == 0;
    return true;
}

std::optional<bool> SqlStore::hasFax(const QString &number)
{
    return any(m_sql.hasFax, foldCase(number));
}

std::optional<bool> SqlStore::hasE164(const QString &e164)
{
    if (e164.isEmpty())
        return false;
    return any(m_sql.hasE164, e164);
}

bool SqlStore::deleteAllFaxes()
{
    return write(m_sql.deleteAllFaxes, {});
}

bool SqlStore::deleteExportedFaxes(const QStringList &numbers)
{
    beginBatch();
    bool ok = true;
    for (const QString &number : numbers) {
        if (!(ok = write(m_sql.deleteFaxByNumber, {foldCase(number), number})))
            break;
    }
    endBatch();
    return ok && m_lastError.isEmpty();
}

std::optional<qint32> SqlStore::countFaxes()
{
    return count(m_sql.countFaxes);
}

std::optional<QStringList> SqlStore::newestFaxes(int n)
{
    QSqlQuery *q = prepared(m_sql.newestFaxes);
    if (!q)
        return std::nullopt;
    q->bindValue(0, n);
    if (!exec(q, false))
        return std::nullopt;
    QStringList entries;
    while (q->next())
        entries.prepend(q->value(0).toString() + QStringLiteral(" | ") + q->value(1).toString());
    q->finish();
    return entries;
}

namespace {
// A number's row from the columns of the statements that read them, from column first on:
// fax, Date, website, search, location, e164, country, label, how, context.
FaxRow faxRowAt(const QSqlQuery &q, int first)
{
    FaxRow r;
    r.fax = q.value(first).toString();
    r.date = dateOf(q.value(first + 1));
    r.website = q.value(first + 2).toString();
    r.search = q.value(first + 3).toString();
    r.location = q.value(first + 4).toString();
    r.e164 = q.value(first + 5).toString();
    r.country = q.value(first + 6).toString();
    r.label = q.value(first + 7).toString();
    r.how = q.value(first + 8).toString();
    r.context = q.value(first + 9).toString();
    return r;
}
} // namespace

BusinessRow SqlStore::businessAt(const QSqlQuery &q, int first)
{
    BusinessRow b;
    b.id = q.value(first).toLongLong();
    QString *const parts[] = {&b.site,       &b.organization, &b.unit,   &b.street,
                              &b.postalCode, &b.city,         &b.region, &b.country,
                              &b.phone,      &b.email,        &b.sources};
    for (int i = 0; i < int(std::size(parts)); ++i)
        *parts[i] = q.value(first + 1 + i).toString();
    b.date = dateOf(q.value(first + 12));
    return b;
}

std::optional<QList<FaxRow>> SqlStore::allFaxes()
{
    QSqlQuery *q = prepared(m_sql.allFaxes);
    if (!q || !exec(q, false))
        return std::nullopt;
    QList<FaxRow> rows;
    while (q->next()) {
        rows.append(faxRowAt(*q, 0));
    }
    q->finish();
    return rows;
}

// ---- the backlog -----------------------------------------------------------------------------

namespace {

constexpr int kSitesInMemory = 250000;

// Sites that SQLite compares exactly as their folded text compares: not empty, and without
// a NUL (its NOCASE stops at one) or a UTF-16 surrogate (its conversion to UTF-8 of a lone
// one can give the bytes of a real pair). Others are always looked up in the table; rows
// of such sites never equal a site that is kept.
bool keptInMemory(const QString &site)
{
    if (site.isEmpty())
        return false;
    for (const QChar c : site) {
        if (c.unicode() == 0 || c.isSurrogate())
            return false;
    }
    return true;
}

} // namespace

void SqlStore::forgetSites()
{
    m_sites.reset();
    m_sitesChecked = false;
}

bool SqlStore::loadSites()
{
    forgetSites();
    QSqlQuery *q = prepared(m_sql.textEncoding);
    if (!q || !exec(q, false) || !q->next())
        return false;
    // NOCASE folds bytes: in UTF-16 those are not only the ASCII letters.
    const bool utf8 = q->value(0).toString() == QLatin1String("UTF-8");
    q->finish();
    if (!utf8)
        return false;
    q = prepared(m_sql.websiteBytes);
    if (!q || !exec(q, false))
        return false;
    QHash<QString, int> sites;
    while (q->next()) {
        // Bytes that are not UTF-8 (another program wrote them) equal no kept site.
        QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString site = decode(q->value(0).toByteArray());
        if (decode.hasError() || !keptInMemory(site))
            continue;
        ++sites[foldCase(site)];
        if (sites.size() > kSitesInMemory) {
            q->finish();
            m_sitesTooMany = true;
            return false;
        }
    }
    q->finish();
    m_sites = std::move(sites);
    return true;
}

bool SqlStore::sitesInMemory()
{
    if (!m_sql.dataVersion || m_sitesTooMany)
        return false;
    // Within a transaction the table cannot change under it once it has been read.
    if (m_sites && m_inTransaction && m_sitesChecked)
        return true;
    QSqlQuery *q = prepared(m_sql.dataVersion);
    if (!q || !exec(q, false) || !q->next()) {
        forgetSites();
        return false;
    }
    const qint64 version = q->value(0).toLongLong();
    q->finish();
    // Another connection committed since: read the table again.
    if (!m_sites || version != m_sitesVersion) {
        if (!loadSites())
            return false;
        m_sitesVersion = version;
    }
    m_sitesChecked = m_inTransaction;
    return true;
}

// Every row this store adds to the backlog goes through here, so that the memory follows.
bool SqlStore::writeSite(const QString &site, const QString &date)
{
    if (!write(m_sql.insertWebsite, {site, date}))
        return false;
    if (!m_sites || !keptInMemory(site))
        return true;
    ++(*m_sites)[foldCase(site)];
    if (m_sites->size() > kSitesInMemory) {
        forgetSites();
        m_sitesTooMany = true;
    }
    return true;
}

bool SqlStore::insertWebsite(const QString &site)
{
    return writeSite(site, dateText(now()));
}

bool SqlStore::removeWebsite(const QString &site)
{
    const QString folded = foldCase(site);
    if (!write(m_sql.removeWebsite, {folded}))
        return false;
    // The counts are the table's: a site counted had its first row deleted.
    if (m_sites && keptInMemory(site)) {
        const auto it = m_sites->find(folded);
        if (it != m_sites->end() && --*it == 0)
            m_sites->erase(it);
    }
    return true;
}

std::optional<bool> SqlStore::hasWebsite(const QString &site)
{
    if (keptInMemory(site) && sitesInMemory())
        return m_sites->contains(foldCase(site));
    return any(m_sql.hasWebsite, foldCase(site));
}

bool SqlStore::deleteAllWebsites()
{
    if (!write(m_sql.deleteAllWebsites, {}))
        return false;
    if (m_sites)
        m_sites->clear();
    m_sitesTooMany = false;
    // The notes of sites taken out of the backlog go with it.
    (void)clearAllPending();
    return true;
}

std::optional<qint32> SqlStore::countWebsites()
{
    return count(m_sql.countWebsites);
}

std::optional<bool> SqlStore::anyWebsite()
{
    const std::optional<QStringList> first = column(m_sql.anyWebsite);
    if (!first)
        return std::nullopt;
    return !first->isEmpty();
}

std::optional<QStringList> SqlStore::newestWebsites(int n)
{
    std::optional<QStringList> sites = column(m_sql.newestWebsites, {n});
    if (sites)
        std::reverse(sites->begin(), sites->end());
    return sites;
}

std::optional<QString> SqlStore::firstWebsite()
{
    const std::optional<QStringList> first = column(m_sql.firstWebsite);
    if (!first)
        return std::nullopt;
    return first->value(0);
}

std::optional<QList<SiteRow>> SqlStore::allWebsites()
{
    QSqlQuery *q = prepared(m_sql.allWebsites);
    if (!q || !exec(q, false))
        return std::nullopt;
    QList<SiteRow> rows;
    while (q->next())
        rows.append({q->value(0).toString(), dateOf(q->value(1))});
    q->finish();
    return rows;
}

bool SqlStore::returnSites(const QStringList &sites)
{
    if (!m_sql.releaseHandedOut)
        return Store::returnSites(sites);
    // Each site is back in the backlog and takeable again, or still taken.
    beginBatch();
    const QString now = dateText(this->now());
    bool ok = true;
    for (const QString &site : sites) {
        ok = writeSite(site, now) && write(m_sql.clearPending, {site}) &&
             write(m_sql.releaseHandedOut, {site});
        if (!ok)
            break;
    }
    endBatch();
    return ok && m_lastError.isEmpty();
}

// ---- search engines at rest -------------------------------------------------------------------

std::optional<QList<EngineRestRow>> SqlStore::engineRests()
{
    QSqlQuery *q = prepared(kEngineRests);
    if (!q || !exec(q, false))
        return std::nullopt;
    QList<EngineRestRow> rows;
    while (q->next()) {
        const QDateTime until = QDateTime::fromString(q->value(2).toString(), Qt::ISODate);
        rows.append({q->value(0).toString(), q->value(1).toString(), until.toLocalTime(),
                     q->value(3).toString()});
    }
    q->finish();
    return rows;
}

bool SqlStore::setEngineRest(const EngineRestRow &rest)
{
    return write(kSetEngineRest,
                 {rest.engine, rest.kind, utcText(rest.until), nonNull(rest.reason)});
}

bool SqlStore::endEngineRest(const QString &engine)
{
    return write(kEndEngineRest, {engine});
}

// ---- search strings --------------------------------------------------------------------------

// A blank search string is stored and compared as '': bound as NULL, no comparison would
// match it, and a blank row could never be deleted.
bool SqlStore::insertSearch(const QString &search)
{
    return write(m_sql.insertSearch, {nonNull(search)});
}

bool SqlStore::removeSearch(const QString &search)
{
    return write(m_sql.removeSearch, {nonNull(foldCase(search))});
}

std::optional<QStringList> SqlStore::searches()
{
    return column(m_sql.searches);
}

// ---- pending notes ---------------------------------------------------------------------------

bool SqlStore::notePending(const QString &site)
{
    return write(m_sql.notePending, {site});
}

bool SqlStore::clearPending(const QString &site)
{
    return write(m_sql.clearPending, {site});
}

bool SqlStore::clearAllPending()
{
    return write(m_sql.clearAllPending, {});
}

std::optional<QStringList> SqlStore::pendingSites()
{
    QSqlQuery *q = prepared(m_sql.pendingRows);
    if (!q || !exec(q, false))
        return std::nullopt;
    QStringList sites;
    while (q->next())
        sites << q->value(1).toString();
    q->finish();
    return sites;
}

std::optional<int> SqlStore::restorePending(const QStringList &stillQueued)
{
    QSqlQuery *list = prepared(m_sql.pendingRows);
    if (!list || !exec(list, false))
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
    beginBatch();
    if (!m_inTransaction) {
        endBatch();
        return std::nullopt;
    }
    const QString now = dateText(this->now());
    bool ok = true;
    for (const auto &row : qAsConst(rows)) {
        ok = writeSite(row.second, now) && write(m_sql.forgetPending, {row.first}) &&
             (!m_sql.releaseHandedOut || write(m_sql.releaseHandedOut, {row.second}));
        if (!ok)
            break;
    }
    endBatch();
    // A commit that failed has been reported by endBatch().
    if (!ok || !m_lastError.isEmpty())
        return std::nullopt;
    return int(rows.size());
}

// ---- reading the numbers in view ---------------------------------------------------------------

std::unique_ptr<QSqlQuery> SqlStore::select(const QString &sql, const QVariantList &values)
{
    if (!open())
        return nullptr;
    auto q = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connectionName, false));
    q->setForwardOnly(true);
    if (!q->prepare(sql)) {
        failedOnConnection(q->lastError());
        return nullptr;
    }
    bindValues(q.get(), values);
    if (!exec(q.get(), false))
        return nullptr;
    return q;
}

bool SqlStore::writeEach(const char *sql, const QList<QVariantList> &rows)
{
    if (rows.isEmpty())
        return true;
    beginBatch();
    bool ok = true;
    for (const QVariantList &values : rows) {
        if (!(ok = write(sql, values)))
            break;
    }
    endBatch();
    // A commit that failed has been reported by endBatch().
    return ok && m_lastError.isEmpty();
}

std::optional<qint64> SqlStore::countFaxes(const FaxFilter &filter)
{
    const FaxQuerySql::Clause w = FaxQuerySql::where(filter, dialect());
    const auto q = select(
        QStringLiteral("SELECT count(*)") + FaxQuerySql::fromFaxes(filter) + w.sql, w.values);
    if (!q)
        return std::nullopt;
    return q->next() ? q->value(0).toLongLong() : 0;
}

std::optional<QList<ListedFax>> SqlStore::faxPage(const FaxFilter &filter, const FaxSort &sort,
                                                  qint64 offset, int limit)
{
    const FaxQuerySql::Dialect &d = dialect();
    const FaxQuerySql::Clause w = FaxQuerySql::where(filter, d);
    const auto q =
        select(QStringLiteral("SELECT ") + FaxQuerySql::listedColumns(d) + QStringLiteral(", ") +
                   FaxQuerySql::businessColumns(d) + QStringLiteral(" FROM faxes f") +
                   FaxQuerySql::joinBusiness() + FaxQuerySql::joinDoNotFax(d) + w.sql +
                   FaxQuerySql::orderBy(sort, d) + QStringLiteral(" LIMIT ? OFFSET ?"),
               w.values + QVariantList{limit, offset});
    if (!q)
        return std::nullopt;
    QList<ListedFax> rows;
    while (q->next()) {
        ListedFax f;
        f.id = q->value(0).toLongLong();
        f.row = faxRowAt(*q, 1);
        f.doNotFax = q->value(11).toString();
        f.business = businessAt(*q, 12);
        rows.append(f);
    }
    return rows;
}

std::optional<QList<ValueCount>> SqlStore::countFaxesBy(FaxColumn column, const FaxFilter &filter)
{
    const FaxQuerySql::Clause w = FaxQuerySql::where(filter, dialect());
    const QString col = dialect().column(column);
    const auto q = select(QStringLiteral("SELECT %1, count(*)").arg(col) +
                              FaxQuerySql::fromFaxes(filter, column) + w.sql +
                              QStringLiteral(" GROUP BY %1 ORDER BY 2 DESC, 1").arg(col),
                          w.values);
    if (!q)
        return std::nullopt;
    QList<ValueCount> counts;
    while (q->next())
        counts.append({q->value(0).toString(), q->value(1).toLongLong()});
    return counts;
}

std::optional<QList<DayCount>> SqlStore::faxesPerDay(const FaxFilter &filter)
{
    const FaxQuerySql::Clause w = FaxQuerySql::where(filter, dialect());
    const QString day = dialect().dayOf.arg(dialect().column(FaxColumn::Date));
    const auto q =
        select(QStringLiteral("SELECT %1, count(*)").arg(day) + FaxQuerySql::fromFaxes(filter) +
                   w.sql + QStringLiteral(" GROUP BY 1 ORDER BY 1"),
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

std::optional<QList<SearchYield>> SqlStore::searchYields(const FaxFilter &filter)
{
    const FaxQuerySql::Clause w = FaxQuerySql::where(filter, dialect());
    const QString search = dialect().column(FaxColumn::Search);
    const QString host = dialect().hostOf.arg(dialect().column(FaxColumn::Website));
    const auto q =
        select(QStringLiteral("SELECT %1, count(*), count(DISTINCT %2)").arg(search, host) +
                   FaxQuerySql::fromFaxes(filter) + w.sql +
                   QStringLiteral(" GROUP BY %1 ORDER BY 2 DESC, 1").arg(search),
               w.values);
    if (!q)
        return std::nullopt;
    QList<SearchYield> yields;
    while (q->next())
        yields.append({q->value(0).toString(), q->value(1).toLongLong(), q->value(2).toLongLong()});
    return yields;
}

bool SqlStore::deleteFaxes(const QList<qint64> &ids)
{
    QList<QVariantList> rows;
    rows.reserve(ids.size());
    for (qint64 id : ids)
        rows.append(QVariantList{id});
    return writeEach(m_sql.deleteFax, rows);
}

// ---- the do-not-fax list -----------------------------------------------------------------------

bool SqlStore::insertDoNotFax(const DoNotFaxEntry &entry, bool *added)
{
    int changed = 0;
    if (!write(m_sql.insertDoNotFax, {entry.number, entry.key, dateText(entry.date), entry.reason},
               &changed))
        return false;
    *added = changed > 0;
    return true;
}

bool SqlStore::removeDoNotFax(const QStringList &keys)
{
    QList<QVariantList> rows;
    for (const QString &key : keys)
        rows.append(QVariantList{key});
    return writeEach(m_sql.removeDoNotFax, rows);
}

std::optional<QList<DoNotFaxEntry>> SqlStore::doNotFaxList()
{
    QSqlQuery *q = prepared(m_sql.doNotFaxList);
    if (!q || !exec(q, false))
        return std::nullopt;
    QList<DoNotFaxEntry> entries;
    while (q->next())
        entries.append({q->value(0).toString(), q->value(1).toString(), dateOf(q->value(2)),
                        q->value(3).toString()});
    q->finish();
    return entries;
}

// ---- exports
// -------------------------------------------------------------------------------------

namespace {

QString exportedBefore(const FaxQuerySql::Dialect &d)
{
    return QStringLiteral("EXISTS (SELECT 1 FROM exported x WHERE x.e164 = %1)")
        .arg(FaxQuerySql::numberKey(d));
}

} // namespace

std::optional<ExportCounts> SqlStore::exportCounts(bool onlyNew)
{
    const FaxQuerySql::Dialect &d = dialect();
    const auto q =
        select(QStringLiteral("SELECT count(*), count(d.e164), "
                              "count(CASE WHEN d.reason = ? THEN 1 END), "
                              "count(CASE WHEN d.e164 IS NULL AND %1 THEN 1 END) FROM faxes f")
                       .arg(onlyNew ? exportedBefore(d) : QStringLiteral("1 = 0")) +
                   FaxQuerySql::joinDoNotFax(d),
               {reasonNoticeSays});
    if (!q)
        return std::nullopt;
    ExportCounts c;
    if (q->next()) {
        const qint64 all = q->value(0).toLongLong();
        const qint64 listedAll = q->value(1).toLongLong();
        c.flagged = q->value(2).toLongLong();
        c.listed = listedAll - c.flagged;
        c.exportedBefore = q->value(3).toLongLong();
        c.toWrite = all - listedAll - c.exportedBefore;
    }
    return c;
}

std::optional<ExportPlan> SqlStore::exportPlan(bool onlyNew)
{
    const FaxQuerySql::Dialect &d = dialect();
    ExportPlan plan;
    const std::optional<ExportCounts> counts = exportCounts(onlyNew);
    if (!counts)
        return std::nullopt;
    plan.counts = *counts;
    QString sql = QStringLiteral("SELECT ") + FaxQuerySql::listedColumns(d) + QStringLiteral(", ") +
                  FaxQuerySql::numberKey(d) + QStringLiteral(", ") +
                  FaxQuerySql::businessColumns(d) + QStringLiteral(" FROM faxes f") +
                  FaxQuerySql::joinBusiness() + FaxQuerySql::joinDoNotFax(d) +
                  QStringLiteral(" WHERE d.e164 IS NULL");
    if (onlyNew)
        sql += QStringLiteral(" AND NOT ") + exportedBefore(d);
    const auto q = select(sql + QStringLiteral(" ORDER BY ") + d.id);
    if (!q)
        return std::nullopt;
    while (q->next()) {
        plan.rows.append(faxRowAt(*q, 1));
        plan.keys.append(q->value(12).toString());
        plan.businesses.append(businessAt(*q, 13));
    }
    // Numbers stored since the counts were read are in the rows (and so written).
    plan.counts.toWrite = plan.rows.size();
    return plan;
}

bool SqlStore::recordExport(const QString &file, const QStringList &keys)
{
    beginBatch();
    QSqlQuery *q = prepared(m_sql.insertExport);
    bool ok = q != nullptr;
    QVariant id;
    if (ok) {
        bindValues(q, {dateText(now()), file, qint64(keys.size())});
        ok = exec(q, true);
        if (ok)
            id = q->next() ? q->value(0) : q->lastInsertId();
        q->finish();
        ok = ok && id.isValid();
    }
    for (qsizetype i = 0; ok && i < keys.size(); ++i)
        ok = write(m_sql.insertExported, {id, keys.at(i)});
    endBatch();
    return ok && m_lastError.isEmpty();
}

std::optional<QList<ExportRecord>> SqlStore::exportLedger()
{
    QList<ExportRecord> records;
    QHash<qint64, qsizetype> byId;
    QSqlQuery *q = prepared(m_sql.exportRows);
    if (!q || !exec(q, false))
        return std::nullopt;
    while (q->next()) {
        byId.insert(q->value(0).toLongLong(), records.size());
        records.append({dateOf(q->value(1)), q->value(2).toString(), {}});
    }
    q->finish();
    q = prepared(m_sql.exportedRows);
    if (!q || !exec(q, false))
        return std::nullopt;
    while (q->next()) {
        const auto it = byId.constFind(q->value(0).toLongLong());
        if (it != byId.cend())
            records[*it].keys.append(q->value(1).toString());
    }
    q->finish();
    return records;
}
