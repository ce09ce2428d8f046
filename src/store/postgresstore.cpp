#include "postgresstore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace {

// Who this harvester is and when a lease taken now runs out, from settings of the session
// (setHarvester); a store that set none is the harvester "" with leases of three minutes.
#define VARNEL_HARVESTER "coalesce(nullif(current_setting('varnel.harvester', true), ''), '')"
#define VARNEL_LEASE_END                                                                           \
    "now() + coalesce(nullif(current_setting('varnel.lease', true), ''), '180')::integer * "       \
    "interval '1 second'"

// The statements of the operations. Comparisons fold ASCII letters only: lower() under the
// "C" collation changes nothing else, whatever the server's locale. The stored order is
// the identity column id; the indexes keep every operation's cost flat as tables grow.
const SqlStatements kStatements = {
    // A number is stored once by its text and once by its E.164 form (two unique indexes).
    "INSERT INTO faxes (fax, date, website, search, location, e164, country, label, how, "
    "context) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING",
    "SELECT 1 FROM faxes WHERE fax_key = ? LIMIT 1",
    "SELECT 1 FROM faxes WHERE e164 = ? AND e164 <> '' LIMIT 1",
    "DELETE FROM faxes",
    "DELETE FROM faxes WHERE fax_key = ? AND fax = ?",
    "SELECT coalesce(sum(n), 0) FROM row_counts WHERE tbl = 'faxes'",
    "SELECT fax, location FROM faxes ORDER BY date DESC, id DESC LIMIT ?",
    "SELECT fax, to_char(date, 'YYYY-MM-DD HH24:MI:SS'), website, search, location, e164, "
    "country, label, how, context FROM faxes ORDER BY id",
    "INSERT INTO websites (website, date) VALUES (?, ?)",
    // FOR UPDATE: two harvesters that take the same site at once take two rows, or one
    // row and nothing, never the same row twice.
    "DELETE FROM websites WHERE id = (SELECT id FROM websites "
    "WHERE lower(website COLLATE \"C\") = ? ORDER BY id LIMIT 1 FOR UPDATE)",
    "SELECT 1 FROM websites WHERE lower(website COLLATE \"C\") = ? LIMIT 1",
    // A new backlog: every harvester's leases and the handed-out sites go with the old one.
    "WITH p AS (DELETE FROM pending), h AS (DELETE FROM handed_out) DELETE FROM websites",
    "SELECT coalesce(sum(n), 0) FROM row_counts WHERE tbl = 'websites'",
    "SELECT 1 FROM websites LIMIT 1",
    "SELECT website FROM websites ORDER BY date DESC, id DESC LIMIT ?",
    "SELECT website FROM websites ORDER BY id LIMIT 1",
    "SELECT website, to_char(date, 'YYYY-MM-DD HH24:MI:SS') FROM websites ORDER BY id",
    "INSERT INTO searches (search) VALUES (?)",
    "DELETE FROM searches WHERE id = (SELECT id FROM searches "
    "WHERE lower(coalesce(search, '') COLLATE \"C\") = ? ORDER BY id LIMIT 1 FOR UPDATE)",
    "SELECT search FROM searches ORDER BY id",
    // A note is this harvester's lease of the site.
    "INSERT INTO pending (website, leased_by, leased_until) VALUES (?, " VARNEL_HARVESTER
    ", " VARNEL_LEASE_END ")",
    "DELETE FROM pending WHERE id = (SELECT id FROM pending "
    "WHERE website = ? AND leased_by = " VARNEL_HARVESTER " ORDER BY id LIMIT 1 FOR UPDATE)",
    "DELETE FROM pending WHERE leased_by = " VARNEL_HARVESTER,
    "SELECT id, website FROM pending WHERE leased_by = " VARNEL_HARVESTER " ORDER BY id",
    "DELETE FROM pending WHERE id = ?",
    "DELETE FROM faxes WHERE id = ?",
    "INSERT INTO donotfax (number, e164, date, reason) VALUES (?, ?, ?, ?) "
    "ON CONFLICT (e164) DO NOTHING",
    "DELETE FROM donotfax WHERE e164 = ?",
    "SELECT number, e164, to_char(date, 'YYYY-MM-DD HH24:MI:SS'), reason FROM donotfax "
    "ORDER BY id",
    "INSERT INTO exports (date, file, count) VALUES (?, ?, ?) RETURNING id",
    "INSERT INTO exported (export, e164) VALUES (?, ?)",
    "SELECT id, to_char(date, 'YYYY-MM-DD HH24:MI:SS'), file FROM exports ORDER BY id",
    "SELECT export, e164 FROM exported ORDER BY export",
    "DELETE FROM handed_out WHERE site_key = site_key(?)",
};

const FaxQuerySql::Dialect kDialect = [] {
    FaxQuerySql::Dialect d;
    d.id = QStringLiteral("f.id");
    d.caseless = QStringLiteral("ILIKE");
    d.hostOf = QStringLiteral("split_part(%1, '/', 1)");
    d.dayOf = QStringLiteral("to_char(%1, 'YYYY-MM-DD')");
    d.dateText = QStringLiteral("to_char(%1, 'YYYY-MM-DD HH24:MI:SS')");
    d.column = FaxQuerySql::columnSql;
    d.sortKey = d.column;
    return d;
}();

// The rows of a take and of a reclaim are picked once, as an array: "id IN (SELECT ... LIMIT
// n FOR UPDATE SKIP LOCKED)" may be planned as a nested loop that runs the subquery again for
// each row (the statistics of a nearly empty table lead there), each run locking the next
// row, so that one such take emptied the whole backlog where one site was asked for.

// Sites whose lease ran out (their harvester is gone) become this harvester's.
const char *const kReclaim =
    "UPDATE pending SET leased_by = " VARNEL_HARVESTER ", leased_until = " VARNEL_LEASE_END
    " WHERE id = ANY(ARRAY(SELECT id FROM pending WHERE leased_until < now() ORDER BY id "
    "LIMIT ? FOR UPDATE SKIP LOCKED)) RETURNING website";

// Takes sites out of the backlog. Rows another harvester is taking at this moment are
// skipped, not waited for; a site that a harvester took before for this search string (its
// key is handed out) leaves the backlog without being taken again. Every row taken says
// whether it is this harvester's now.
#define VARNEL_TAKE(ORDER)                                                                         \
    "WITH taken AS (DELETE FROM websites WHERE id = ANY(ARRAY(SELECT id FROM websites ORDER "      \
    "BY " ORDER " LIMIT ? FOR UPDATE SKIP LOCKED)) RETURNING id, website), "                       \
    "firsts AS (SELECT DISTINCT ON (site_key(website)) id, website FROM taken "                    \
    "ORDER BY site_key(website), id), "                                                            \
    "fresh AS (INSERT INTO handed_out (site_key) SELECT site_key(website) FROM firsts "            \
    "ON CONFLICT DO NOTHING RETURNING site_key), "                                                 \
    "noted AS (INSERT INTO pending (website, leased_by, leased_until) SELECT "                     \
    "f.website, " VARNEL_HARVESTER ", " VARNEL_LEASE_END " FROM firsts f JOIN fresh h "            \
    "ON h.site_key = site_key(f.website)) "                                                        \
    "SELECT f.website, h.site_key IS NOT NULL FROM firsts f LEFT JOIN fresh h "                    \
    "ON h.site_key = site_key(f.website) ORDER BY f.id"
const char *const kTakeFirst = VARNEL_TAKE("id");
const char *const kTakeNewest = VARNEL_TAKE("date DESC, id DESC");

const char *const kHandedOut = "SELECT 1 FROM handed_out WHERE site_key = site_key(?) LIMIT 1";
const char *const kRenewLeases =
    "UPDATE pending SET leased_until = " VARNEL_LEASE_END " WHERE leased_by = " VARNEL_HARVESTER;
const char *const kRenewDiscovery =
    "UPDATE team_state SET discovering_until = " VARNEL_LEASE_END " WHERE id = 1";
const char *const kReportCounts =
    "INSERT INTO harvesters (id, sites_scanned, numbers_found, last_seen) VALUES (" VARNEL_HARVESTER
    ", ?, ?, now()) ON CONFLICT (id) DO UPDATE SET sites_scanned = EXCLUDED.sites_scanned, "
    "numbers_found = EXCLUDED.numbers_found, last_seen = EXCLUDED.last_seen";
// Harvesters are at work while they renew their leases (three times a lease).
const char *const kTeamTotals =
    "SELECT coalesce(sum(sites_scanned), 0), count(*) FILTER (WHERE last_seen > now() - "
    "coalesce(nullif(current_setting('varnel.lease', true), ''), '180')::integer * interval "
    "'1 second'), (SELECT coalesce(sum(n), 0) FROM row_counts WHERE tbl = 'faxes') "
    "FROM harvesters";
const char *const kDiscoveryDone = "UPDATE team_state SET discovering_until = NULL WHERE id = 1";
// The team works on the search string (or on whatever it resumed, when none was begun):
// sites wait in the backlog, others hold leases, or a discovery runs.
const char *const kTeamStillWorking =
    "SELECT coalesce((SELECT lower(search COLLATE \"C\") = ? FROM team_state WHERE id = 1), "
    "true) AND (coalesce((SELECT discovering_until > now() FROM team_state WHERE id = 1), false) "
    "OR EXISTS (SELECT 1 FROM websites) OR EXISTS (SELECT 1 FROM pending WHERE leased_by "
    "<> " VARNEL_HARVESTER "))";

// The schema of version 1, created in one transaction. count(*) walks a whole table on
// PostgreSQL, so the row counts are kept by triggers, one row per table and session: a
// session only ever changes its own row, so harvesters never wait for each other's
// counts; the rows of ended sessions are folded into row 0.
const char *const kCreate[] = {
    "CREATE TABLE schema_version (version integer NOT NULL)",
    "CREATE TABLE faxes (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, fax text, "
    "date timestamp(0) NOT NULL, website text, search text, location text, "
    "fax_key text GENERATED ALWAYS AS (lower(coalesce(fax, '') COLLATE \"C\")) STORED)",
    "CREATE UNIQUE INDEX faxes_fax_key ON faxes (fax_key)",
    "CREATE INDEX faxes_date ON faxes (date, id)",
    "CREATE TABLE websites (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, website text, "
    "date timestamp(0) NOT NULL)",
    "CREATE INDEX websites_website ON websites (lower(website COLLATE \"C\"), id)",
    "CREATE INDEX websites_date ON websites (date, id)",
    "CREATE TABLE searches (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, search text)",
    "CREATE INDEX searches_search ON searches (lower(search COLLATE \"C\"), id)",
    "CREATE TABLE pending (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, website text)",
    "CREATE INDEX pending_website ON pending (website, id)",
    "CREATE TABLE row_counts (tbl text, session integer, n bigint NOT NULL, "
    "PRIMARY KEY (tbl, session))",
    "CREATE FUNCTION row_counts_inserted() RETURNS trigger LANGUAGE plpgsql AS $$ "
    "BEGIN INSERT INTO row_counts AS c (tbl, session, n) "
    "SELECT TG_TABLE_NAME, pg_backend_pid(), count(*) FROM new_rows HAVING count(*) > 0 "
    "ON CONFLICT (tbl, session) DO UPDATE SET n = c.n + EXCLUDED.n; RETURN NULL; END $$",
    "CREATE FUNCTION row_counts_deleted() RETURNS trigger LANGUAGE plpgsql AS $$ "
    "BEGIN INSERT INTO row_counts AS c (tbl, session, n) "
    "SELECT TG_TABLE_NAME, pg_backend_pid(), -count(*) FROM old_rows HAVING count(*) > 0 "
    "ON CONFLICT (tbl, session) DO UPDATE SET n = c.n + EXCLUDED.n; RETURN NULL; END $$",
    "CREATE FUNCTION row_counts_truncated() RETURNS trigger LANGUAGE plpgsql AS $$ "
    "BEGIN DELETE FROM row_counts WHERE tbl = TG_TABLE_NAME; RETURN NULL; END $$",
    "CREATE TRIGGER faxes_inserted AFTER INSERT ON faxes REFERENCING NEW TABLE AS new_rows "
    "FOR EACH STATEMENT EXECUTE FUNCTION row_counts_inserted()",
    "CREATE TRIGGER faxes_deleted AFTER DELETE ON faxes REFERENCING OLD TABLE AS old_rows "
    "FOR EACH STATEMENT EXECUTE FUNCTION row_counts_deleted()",
    "CREATE TRIGGER faxes_truncated AFTER TRUNCATE ON faxes "
    "FOR EACH STATEMENT EXECUTE FUNCTION row_counts_truncated()",
    "CREATE TRIGGER websites_inserted AFTER INSERT ON websites REFERENCING NEW TABLE AS new_rows "
    "FOR EACH STATEMENT EXECUTE FUNCTION row_counts_inserted()",
    "CREATE TRIGGER websites_deleted AFTER DELETE ON websites REFERENCING OLD TABLE AS old_rows "
    "FOR EACH STATEMENT EXECUTE FUNCTION row_counts_deleted()",
    "CREATE TRIGGER websites_truncated AFTER TRUNCATE ON websites "
    "FOR EACH STATEMENT EXECUTE FUNCTION row_counts_truncated()",
};

// The steps that change an existing schema, each taking a database to its version. The
// next change adds a step here and raises PostgresStore::schemaVersion.
const QList<SqlUpgradeStep> kUpgrades = {
    // The numbers' E.164 form, country and evidence; rows stored before keep them empty.
    // Two harvesters that find one fax in two forms at the same moment store it once.
    {2,
     {"ALTER TABLE faxes ADD COLUMN IF NOT EXISTS e164 text NOT NULL DEFAULT ''",
      "ALTER TABLE faxes ADD COLUMN IF NOT EXISTS country text NOT NULL DEFAULT ''",
      "ALTER TABLE faxes ADD COLUMN IF NOT EXISTS label text NOT NULL DEFAULT ''",
      "ALTER TABLE faxes ADD COLUMN IF NOT EXISTS how text NOT NULL DEFAULT ''",
      "ALTER TABLE faxes ADD COLUMN IF NOT EXISTS context text NOT NULL DEFAULT ''",
      "CREATE UNIQUE INDEX IF NOT EXISTS faxes_e164 ON faxes (e164) WHERE e164 <> ''"}},
    // The do-not-fax list (one entry per E.164 form) and the ledger of exports; indexes on
    // the columns the numbers window sorts and counts by.
    {3,
     {"CREATE TABLE IF NOT EXISTS donotfax (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, "
      "number text NOT NULL, e164 text NOT NULL, date timestamp(0) NOT NULL, reason text NOT NULL)",
      "CREATE UNIQUE INDEX IF NOT EXISTS donotfax_e164 ON donotfax (e164)",
      "CREATE TABLE IF NOT EXISTS exports (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, "
      "date timestamp(0) NOT NULL, file text NOT NULL, count bigint NOT NULL)",
      "CREATE TABLE IF NOT EXISTS exported (export bigint NOT NULL, e164 text NOT NULL)",
      "CREATE INDEX IF NOT EXISTS exported_e164 ON exported (e164)",
      "CREATE INDEX IF NOT EXISTS faxes_search ON faxes (search, id)",
      "CREATE INDEX IF NOT EXISTS faxes_location ON faxes (location, id)",
      "CREATE INDEX IF NOT EXISTS faxes_country ON faxes (country, id)",
      "CREATE INDEX IF NOT EXISTS faxes_how ON faxes (how, id)"}},
    // One queue for a team of harvesters: a pending note is a lease (who, until when), the
    // sites taken for the current search string are handed out, and the team's search
    // string is one row. Notes of before belong to nobody and are taken over at once.
    {4,
     {"ALTER TABLE pending ADD COLUMN IF NOT EXISTS leased_by text NOT NULL DEFAULT ''",
      "ALTER TABLE pending ADD COLUMN IF NOT EXISTS leased_until timestamptz NOT NULL "
      "DEFAULT now()",
      "CREATE INDEX IF NOT EXISTS pending_leased_by ON pending (leased_by, website, id)",
      "CREATE INDEX IF NOT EXISTS pending_leased_until ON pending (leased_until, id)",
      // "host" and "host/" fetch the same page.
      "CREATE OR REPLACE FUNCTION site_key(s text) RETURNS text LANGUAGE sql IMMUTABLE AS $$ "
      "SELECT CASE WHEN strpos(s, '/') = length(s) THEN left(s, -1) ELSE s END $$",
      "CREATE TABLE IF NOT EXISTS handed_out (site_key text PRIMARY KEY)",
      "CREATE TABLE IF NOT EXISTS team_state (id integer PRIMARY KEY CHECK (id = 1), "
      "search text NOT NULL, discovering_until timestamptz)",
      // Each harvester's counts, for the team's totals.
      "CREATE TABLE IF NOT EXISTS harvesters (id text PRIMARY KEY, sites_scanned bigint NOT "
      "NULL, numbers_found bigint NOT NULL, last_seen timestamptz NOT NULL)"}},
    // Search engines resting after a refusal, for the whole team; the time is a UTC text,
    // read the same way as on the file store.
    {5,
     {"CREATE TABLE IF NOT EXISTS engine_rests (engine text PRIMARY KEY, kind text NOT NULL, "
      "rest_until text NOT NULL, reason text NOT NULL)"}},
    // One row per business (site and organisation), with the search strings that found it
    // and the numbers and pages it was found with; each fax points to its business. The
    // numbers table keeps its columns: the reference export reads it alone.
    {6,
     {"CREATE TABLE IF NOT EXISTS businesses (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY "
      "KEY, site text NOT NULL, org_key text NOT NULL, organization text NOT NULL, "
      "unit text NOT NULL, street text NOT NULL, postal_code text NOT NULL, city text NOT NULL, "
      "region text NOT NULL, country text NOT NULL, phone text NOT NULL, email text NOT NULL, "
      "sources text NOT NULL, date timestamp(0) NOT NULL)",
      "CREATE UNIQUE INDEX IF NOT EXISTS businesses_key ON businesses (site, org_key)",
      "CREATE TABLE IF NOT EXISTS business_searches (id bigint GENERATED ALWAYS AS IDENTITY "
      "PRIMARY KEY, business bigint NOT NULL, search text NOT NULL, "
      "date timestamp(0) NOT NULL, UNIQUE (business, search))",
      "CREATE TABLE IF NOT EXISTS business_numbers (id bigint GENERATED ALWAYS AS IDENTITY "
      "PRIMARY KEY, business bigint NOT NULL, kind text NOT NULL, e164 text NOT NULL, "
      "page text NOT NULL, date timestamp(0) NOT NULL, UNIQUE (business, kind, e164, page))",
      "CREATE INDEX IF NOT EXISTS business_numbers_e164 ON business_numbers (e164)",
      "CREATE TABLE IF NOT EXISTS number_business (e164 text PRIMARY KEY, "
      "business bigint NOT NULL)"}},
};

// Taken while the schema is created or upgraded, so that harvesters starting at once do it
// once; and while the counts of ended sessions are folded.
const char *const kSchemaLock = "SELECT pg_advisory_xact_lock(130160903742828)";
const char *const kFoldLock = "SELECT pg_advisory_xact_lock(130160903742829)";

// libpq's keyword=value syntax: the value quoted, quotes and backslashes escaped.
QString connValue(const QString &key, QString value)
{
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return key + QStringLiteral("='") + value + QLatin1Char('\'');
}

QString firstLine(const QString &text)
{
    QString line = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    for (const char *prefix : {"ERROR:", "FATAL:"}) {
        if (line.startsWith(QLatin1String(prefix)))
            line = line.mid(int(qstrlen(prefix))).trimmed();
    }
    return line;
}

bool isConnectionState(const QString &sqlState)
{
    return sqlState.startsWith(QLatin1String("08")) || sqlState == QLatin1String("57P01") ||
           sqlState == QLatin1String("57P02") || sqlState == QLatin1String("57P03");
}

} // namespace

PostgresStore::PostgresStore(const QString &uri, QObject *parent)
    : SqlStore(kStatements, parent), m_uri(uri), m_shown(uri)
{
    // A password typed into the address is refused, and never shown in a message.
    QUrl url(uri);
    QUrlQuery query(url);
    if (url.isValid() &&
        (!url.password().isEmpty() || query.hasQueryItem(QStringLiteral("password")))) {
        url.setPassword(QString());
        query.removeAllQueryItems(QStringLiteral("password"));
        url.setQuery(query);
        m_shown = url.toString();
    }
}

PostgresStore::~PostgresStore() = default;

const FaxQuerySql::Dialect &PostgresStore::dialect() const
{
    return kDialect;
}

std::unique_ptr<Store> PostgresStore::openAnother() const
{
    return std::make_unique<PostgresStore>(m_uri);
}

bool PostgresStore::isServerAddress(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

bool PostgresStore::parseAddress(QString *why)
{
    const QUrl url(m_uri, QUrl::StrictMode);
    if (!url.isValid() || !isServerAddress(m_uri)) {
        *why = QStringLiteral("it is not a valid server address (%1); write it as "
                              "postgresql://USER@HOST:PORT/DATABASE")
                   .arg(url.errorString());
        return false;
    }
    if (!url.password().isEmpty()) {
        *why = QStringLiteral("the address holds a password; take it out and put it in the "
                              "PGPASSWORD environment variable or in ~/.pgpass");
        return false;
    }
    m_host = url.host(QUrl::FullyDecoded);
    m_port = url.port(-1);
    m_user = url.userName(QUrl::FullyDecoded);
    m_database = url.path(QUrl::FullyDecoded).mid(1);
    m_options.clear();
    bool timeoutGiven = false;
    bool nameGiven = false;
    const QUrlQuery query(url);
    for (const auto &item : query.queryItems(QUrl::FullyDecoded)) {
        const QString &key = item.first;
        if (key == QLatin1String("password")) {
            *why = QStringLiteral("the address holds a password; take it out and put it in the "
                                  "PGPASSWORD environment variable or in ~/.pgpass");
            return false;
        }
        // The driver joins its options with ";" and would split a value that holds one.
        if (item.second.contains(QLatin1Char(';')) || key.contains(QLatin1Char(';'))) {
            *why = QStringLiteral("the parameter %1 of the address holds a \";\", which cannot "
                                  "be passed on")
                       .arg(key);
            return false;
        }
        // The server, the user and the database are named once: libpq would let a parameter
        // win over the address, and messages would name one server while another is used.
        QString *part = key == QLatin1String("host")     ? &m_host
                        : key == QLatin1String("user")   ? &m_user
                        : key == QLatin1String("dbname") ? &m_database
                                                         : nullptr;
        QString port = m_port < 0 ? QString() : QString::number(m_port);
        if (key == QLatin1String("port"))
            part = &port;
        if (part && !part->isEmpty() && *part != item.second) {
            *why = QStringLiteral("the address names the %1 twice (%2 and %3); keep one of them")
                       .arg(key == QLatin1String("dbname") ? QStringLiteral("database") : key,
                            *part, item.second);
            return false;
        }
        if (part == &port)
            m_port = item.second.toInt();
        else if (part)
            *part = item.second;
        else
            m_options << connValue(key, item.second);
        timeoutGiven = timeoutGiven || key == QLatin1String("connect_timeout");
        nameGiven = nameGiven || key == QLatin1String("application_name");
    }
    // A server that does not answer at all is given up after a while instead of never.
    if (!timeoutGiven)
        m_options << connValue(QStringLiteral("connect_timeout"), QStringLiteral("10"));
    // The server lists each harvester by its program.
    if (!nameGiven)
        m_options << connValue(QStringLiteral("application_name"),
                               QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    return true;
}

// What libpq itself would use where the address leaves something out.
QString PostgresStore::effectiveHost() const
{
    if (!m_host.isEmpty())
        return m_host;
    return qEnvironmentVariable("PGHOST", QStringLiteral("localhost"));
}

QString PostgresStore::effectivePort() const
{
    if (m_port > 0)
        return QString::number(m_port);
    return qEnvironmentVariable("PGPORT", QStringLiteral("5432"));
}

QString PostgresStore::effectiveUser() const
{
    if (!m_user.isEmpty())
        return m_user;
    const QString user = qEnvironmentVariable("PGUSER");
    return user.isEmpty() ? qEnvironmentVariable("USER") : user;
}

QString PostgresStore::effectiveDatabase() const
{
    if (!m_database.isEmpty())
        return m_database;
    const QString db = qEnvironmentVariable("PGDATABASE");
    return db.isEmpty() ? effectiveUser() : db;
}

QString PostgresStore::serverName() const
{
    return effectiveHost() + QStringLiteral(" port ") + effectivePort();
}

QString PostgresStore::problemMessage(const QString &reason) const
{
    return QStringLiteral("The fax database %1 cannot be used: %2.").arg(m_shown, reason);
}

// A failed connection in words a user can act on. libpq gives no error code for these,
// only its text.
QString PostgresStore::connectFailure(const QString &libpqText) const
{
    const QString text = libpqText.simplified();
    const QString pgpass =
        QStringLiteral("%1:%2:%3:%4:PASSWORD")
            .arg(effectiveHost(), effectivePort(), effectiveDatabase(), effectiveUser());
    if (text.contains(QLatin1String("password authentication failed")))
        return QStringLiteral("the server refused the password of the user %1; put the right "
                              "password in the PGPASSWORD environment variable or in ~/.pgpass "
                              "(a line %2)")
            .arg(effectiveUser(), pgpass);
    if (text.contains(QLatin1String("no password supplied")))
        return QStringLiteral("the server wants a password for the user %1 and none was given; "
                              "put it in the PGPASSWORD environment variable or in ~/.pgpass "
                              "(a line %2)")
            .arg(effectiveUser(), pgpass);
    if (text.contains(QLatin1String("database \"")) &&
        text.contains(QLatin1String("does not exist")))
        return QStringLiteral("the server at %1 has no database %2; create it, as a user who "
                              "may: createdb -h %3 -p %4 -O %5 %2")
            .arg(serverName(), effectiveDatabase(), effectiveHost(), effectivePort(),
                 effectiveUser());
    if (text.contains(QLatin1String("role \"")) && text.contains(QLatin1String("does not exist")))
        return QStringLiteral("the server at %1 has no user %2; create it, as a user who may: "
                              "createuser -h %3 -p %4 --pwprompt %2")
            .arg(serverName(), effectiveUser(), effectiveHost(), effectivePort());
    if (text.contains(QLatin1String("pg_hba.conf")))
        return QStringLiteral("the server at %1 does not let the user %2 connect from here (%3); "
                              "its administrator allows it in pg_hba.conf")
            .arg(serverName(), effectiveUser(), firstLine(libpqText));
    // Whatever else keeps the connection from being made: the server is not reached.
    QString detail = text;
    const int failed = int(detail.indexOf(QLatin1String("failed:")));
    if (failed >= 0)
        detail = detail.mid(failed + 7).trimmed();
    return QStringLiteral("the server at %1 cannot be reached (%2); start it or correct the "
                          "address. Nothing was stored elsewhere instead")
        .arg(serverName(), detail);
}

QString PostgresStore::reasonOf(const QSqlError &error) const
{
    const QString state = error.nativeErrorCode();
    const QString text =
        firstLine(error.databaseText().isEmpty() ? error.text() : error.databaseText());
    if (error.type() == QSqlError::ConnectionError && state.isEmpty())
        return connectFailure(error.databaseText());
    if (state == QLatin1String("55P03"))
        return QStringLiteral("another program is using it (%1)").arg(text);
    if (state == QLatin1String("53100"))
        return QStringLiteral("the server's disk is full (%1)").arg(text);
    if (state == QLatin1String("42501"))
        return QStringLiteral("the user %1 may not change it (%2); the owner of the database "
                              "grants it")
            .arg(effectiveUser(), text);
    if (isConnectionState(state) || state.isEmpty())
        return QStringLiteral("the connection to the server at %1 was lost (%2)")
            .arg(serverName(), text);
    return text;
}

bool PostgresStore::connectionLost(const QSqlError &error)
{
    // Statements the server answered carry a code; a connection that broke gives none.
    const QString state = error.nativeErrorCode();
    return isConnectionState(state) || state.isEmpty();
}

bool PostgresStore::openConnection()
{
    QString why;
    if (!parseAddress(&why)) {
        fail(why);
        return false;
    }
    QSqlDatabase db = QSqlDatabase::contains(connectionName())
                          ? QSqlDatabase::database(connectionName(), false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName());
    if (!db.isValid()) {
        fail(QStringLiteral("the PostgreSQL driver of Qt is not installed (Debian package "
                            "libqt6sql6-psql)"));
        return false;
    }
    // Empty parts are left to libpq, which fills them in from PGHOST, PGPORT, PGUSER and
    // PGDATABASE; no password is ever passed, so libpq takes it from PGPASSWORD or ~/.pgpass.
    db.setHostName(m_host);
    db.setPort(m_port);
    db.setUserName(m_user);
    db.setDatabaseName(m_database);
    db.setPassword(QString());
    db.setConnectOptions(m_options.join(QLatin1Char(';')));
    if (!db.open()) {
        fail(reasonOf(db.lastError()));
        return false;
    }
    if (!prepareSchema() || !applyHarvester()) {
        db.close();
        return false;
    }
    foldCountsOfEndedSessions();
    return true;
}

// The statements name this harvester and its lease through settings of the session, which
// a new connection sets again.
bool PostgresStore::applyHarvester()
{
    QSqlQuery q(QSqlDatabase::database(connectionName(), false));
    q.prepare(QStringLiteral("SELECT set_config('varnel.harvester', ?, false), "
                             "set_config('varnel.lease', ?, false)"));
    q.bindValue(0, m_harvester.isNull() ? QStringLiteral("") : m_harvester);
    q.bindValue(1, QString::number(m_leaseSeconds));
    if (q.exec())
        return true;
    fail(reasonOf(q.lastError()));
    return false;
}

void PostgresStore::setHarvester(const QString &id, int leaseSeconds)
{
    m_harvester = id;
    m_leaseSeconds = qMax(1, leaseSeconds);
    if (isOpen())
        (void)applyHarvester();
    if (!m_renewal) {
        m_renewal = new QTimer(this);
        connect(m_renewal, &QTimer::timeout, this, [this] { (void)renewLeases(); });
    }
    // A third of a lease: one renewal may be late or fail without the lease running out.
    m_renewal->start(qMax(300, m_leaseSeconds * 1000 / 3));
    // The team sees this harvester at once, not a third of a lease later.
    QTimer::singleShot(0, this, [this] { (void)renewLeases(); });
}

bool PostgresStore::renewLeases()
{
    return write(kRenewLeases, {}) && (!m_discovering || write(kRenewDiscovery, {})) &&
           write(kReportCounts, {m_ownSites, m_ownNumbers});
}

void PostgresStore::setOwnCounts(qint64 sitesScanned, qint64 numbersFound)
{
    m_ownSites = sitesScanned;
    m_ownNumbers = numbersFound;
}

std::optional<Store::TeamTotals> PostgresStore::teamTotals()
{
    QSqlQuery *q = prepared(kTeamTotals);
    if (!q || !exec(q, false))
        return std::nullopt;
    TeamTotals t;
    if (q->next()) {
        t.sitesScanned = q->value(0).toLongLong();
        t.harvesters = q->value(1).toInt();
        t.numbersStored = q->value(2).toLongLong();
    }
    q->finish();
    return t;
}

std::optional<QStringList> PostgresStore::takeSites(int count, TakeOrder order)
{
    QStringList taken;
    auto runTake = [&](const char *sql, int wanted, int *rows) {
        QSqlQuery *q = prepared(sql);
        if (!q) {
            Q_EMIT writeFailed(lastError());
            return false;
        }
        bindAll(q, {wanted});
        if (!exec(q, true))
            return false;
        while (q->next()) {
            ++*rows;
            // A row of the reclaim is taken; one of the backlog says so.
            if (q->record().count() < 2 || q->value(1).toBool())
                taken << q->value(0).toString();
        }
        q->finish();
        return true;
    };
    int rows = 0;
    if (!runTake(kReclaim, count, &rows))
        return std::nullopt;
    // Rows dropped as handed out already make room for more, until the backlog is empty.
    while (taken.size() < count) {
        rows = 0;
        if (!runTake(order == TakeOrder::Newest ? kTakeNewest : kTakeFirst,
                     count - int(taken.size()), &rows))
            return std::nullopt;
        if (rows == 0)
            break;
    }
    return taken;
}

std::optional<bool> PostgresStore::handedOut(const QString &site)
{
    return any(kHandedOut, site);
}

std::optional<Store::SearchClaim> PostgresStore::claimSearch(const QString &search)
{
    if (!isUsable()) {
        Q_EMIT writeFailed(lastError());
        return std::nullopt;
    }
    QSqlDatabase db = QSqlDatabase::database(connectionName(), false);
    if (!db.transaction()) {
        fail(reasonOf(db.lastError()));
        if (connectionLost(db.lastError()))
            closeConnection(true);
        Q_EMIT writeFailed(lastError());
        return std::nullopt;
    }
    QSqlQuery q(db);
    // The row is locked until the commit: of harvesters that start at once, one begins the
    // search string and the others join it.
    bool ok = run(q, QStringLiteral("INSERT INTO team_state (id, search) VALUES (1, '') "
                                    "ON CONFLICT DO NOTHING")) &&
              run(q, QStringLiteral(
                         "SELECT lower(search COLLATE \"C\"), coalesce(discovering_until > "
                         "now(), false) OR EXISTS (SELECT 1 FROM websites) OR EXISTS (SELECT 1 "
                         "FROM pending) FROM team_state WHERE id = 1 FOR UPDATE")) &&
              q.next();
    const bool join = ok && q.value(0).toString() == foldCase(search) && q.value(1).toBool();
    if (ok && !join) {
        // A new search string: its sites may be crawled again, even those crawled for the
        // last one. The sites the team has queued and the leases of its harvesters stay:
        // they are the team's work, and no start of one harvester throws them away.
        q.prepare(
            QStringLiteral("UPDATE team_state SET search = ?, discovering_until = " VARNEL_LEASE_END
                           " WHERE id = 1"));
        q.bindValue(0, search);
        ok = q.exec();
        if (!ok)
            fail(reasonOf(q.lastError()));
        ok = ok && run(q, QStringLiteral("DELETE FROM handed_out"));
    }
    const QSqlError error = q.lastError();
    q.finish();
    if (!finishTransaction(ok)) {
        if (connectionLost(error.isValid() ? error : db.lastError()))
            closeConnection(true);
        Q_EMIT writeFailed(lastError());
        return std::nullopt;
    }
    m_discovering = !join;
    return join ? SearchClaim::Join : SearchClaim::Discover;
}

void PostgresStore::discoveryDone()
{
    if (!m_discovering)
        return;
    m_discovering = false;
    (void)write(kDiscoveryDone, {});
}

std::optional<bool> PostgresStore::teamStillWorking(const QString &search)
{
    const std::optional<QStringList> answer = column(kTeamStillWorking, {foldCase(search)});
    if (!answer)
        return std::nullopt;
    return answer->value(0) == QLatin1String("true");
}

bool PostgresStore::prepareSchema()
{
    QSqlQuery q(QSqlDatabase::database(connectionName(), false));
    // Notices ("already exists, skipping") are not for the user; a lock that another
    // program holds is waited for a while, not for ever.
    if (!q.exec(QStringLiteral("SET client_min_messages = warning")) ||
        !q.exec(QStringLiteral("SET lock_timeout = '3s'"))) {
        fail(reasonOf(q.lastError()));
        return false;
    }
    // The common case reads one row and writes nothing.
    if (!q.exec(QStringLiteral("SELECT to_regclass('schema_version') IS NOT NULL"))) {
        fail(reasonOf(q.lastError()));
        return false;
    }
    if (q.next() && q.value(0).toBool()) {
        if (!run(q, QStringLiteral("SELECT max(version) FROM schema_version")))
            return false;
        const int version = q.next() ? q.value(0).toInt() : 0;
        if (version == schemaVersion)
            return true;
    }
    return createOrUpgrade();
}

bool PostgresStore::createOrUpgrade()
{
    QSqlDatabase db = QSqlDatabase::database(connectionName(), false);
    QSqlQuery q(db);
    auto run = [&](const QString &sql) { return SqlStore::run(q, sql); };
    if (!db.transaction()) {
        fail(reasonOf(db.lastError()));
        return false;
    }
    // All or nothing: a half-made schema would be taken for a whole one by the next start.
    bool ok = run(QLatin1String(kSchemaLock)) &&
              run(QStringLiteral("SELECT to_regclass('schema_version') IS NOT NULL")) && q.next();
    int version = 0;
    if (ok && q.value(0).toBool()) {
        ok =
            run(QStringLiteral("SELECT coalesce(max(version), 0) FROM schema_version")) && q.next();
        version = ok ? q.value(0).toInt() : 0;
    }
    const QString newer = ok ? newerVersionProblem(version, schemaVersion) : QString();
    if (!newer.isEmpty()) {
        fail(newer);
        ok = false;
    }
    if (ok && version == 0) {
        for (const char *sql : kCreate) {
            if (!(ok = run(QString::fromLatin1(sql))))
                break;
        }
        ok = ok && run(QStringLiteral("INSERT INTO schema_version VALUES (1)"));
        version = 1;
    }
    ok = ok && upgrade(kUpgrades, version);
    if (ok && version < schemaVersion)
        ok = run(QStringLiteral("UPDATE schema_version SET version = %1").arg(schemaVersion));
    q.finish();
    return finishTransaction(ok);
}

void PostgresStore::foldCountsOfEndedSessions()
{
    // Keeps the count rows few; counting stays right without it, so a failure (a user who
    // may only read) changes nothing.
    QSqlDatabase db = QSqlDatabase::database(connectionName(), false);
    if (!db.transaction())
        return;
    QSqlQuery q(db);
    const bool ok =
        q.exec(QLatin1String(kFoldLock)) &&
        q.exec(QStringLiteral(
            "WITH gone AS (DELETE FROM row_counts WHERE session <> 0 AND session NOT IN "
            "(SELECT pid FROM pg_stat_activity WHERE pid IS NOT NULL) RETURNING tbl, n) "
            "INSERT INTO row_counts AS c (tbl, session, n) SELECT tbl, 0, sum(n) FROM gone "
            "GROUP BY tbl ON CONFLICT (tbl, session) DO UPDATE SET n = c.n + EXCLUDED.n"));
    q.finish();
    if (!ok || !db.commit())
        db.rollback();
}
