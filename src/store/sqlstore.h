#pragma once

#include <QHash>

#include "faxquerysql.h"
#include "store.h"

#include <memory>
#include <unordered_map>

class QSqlError;
class QSqlQuery;

// The operations of the store over a Qt SQL connection, written once for every backend.
// A backend gives the statements in its SQL (SqlStatements), opens the connection and
// creates or upgrades its schema (openConnection), and puts its errors into words a user
// can act on (reasonOf).
//
// The texts a statement compares come folded (ASCII letters to lower case) where the
// backend's comparison folds them, so that both backends match the same rows. Values are
// always bound, never spliced into a statement.
struct SqlStatements
{
    // faxes: (fax, Date, website, search, location, e164, country, label, how, context); an
    // insert that finds the number stored already (a backend with unique numbers) changes
    // no row. The last five are "" where unknown, never NULL.
    const char *insertFax;
    const char *hasFax;  // (folded number)
    const char *hasE164; // (E.164 form, never "")
    const char *deleteAllFaxes;
    const char *deleteFaxByNumber; // (folded number, number); the second compared exactly
    const char *countFaxes;
    const char *newestFaxes; // fax, location; newest first (limit)
    const char *allFaxes;    // the columns of insertFax, Date as text; stored order
    // websites: (website, Date)
    const char *insertWebsite;
    const char *removeWebsite; // the first match in stored order (folded site)
    const char *hasWebsite;    // (folded site)
    const char *deleteAllWebsites;
    const char *countWebsites;
    const char *anyWebsite;
    const char *newestWebsites; // website; newest first (limit)
    const char *firstWebsite;
    const char *allWebsites; // website, Date as text; stored order
    // searches: (search)
    const char *insertSearch;
    const char *removeSearch; // the first match in stored order (folded search)
    const char *searches;
    // pending: (website); compared exactly
    const char *notePending;
    const char *clearPending;
    const char *clearAllPending;
    const char *pendingRows;   // row id, website; stored order
    const char *forgetPending; // (row id)
    // faxes by row id (the numbers window)
    const char *deleteFax; // (row id)
    // donotfax: (number, e164, Date, reason); a key listed already changes no row
    const char *insertDoNotFax;
    const char *removeDoNotFax; // (e164)
    const char *doNotFaxList;   // number, e164, Date as text, reason; in the order listed
    // the export ledger: exports (Date, file, count), answering the new row's id when the
    // backend can (else the driver's last insert id); exported (export id, e164)
    const char *insertExport;
    const char *insertExported;
    const char *exportRows;   // row id, Date as text, file; in the order exported
    const char *exportedRows; // export id, e164; by export
    // A site that goes back into the backlog is handed out no more (site); null for a
    // store of one harvester, which keeps no such list.
    const char *releaseHandedOut;
    // Where the backlog's look-ups may be answered from memory (a store of one file):
    // the number that changes when another connection commits, the text encoding, and the
    // sites as stored, in bytes. Null elsewhere.
    const char *dataVersion = nullptr;
    const char *textEncoding = nullptr;
    const char *websiteBytes = nullptr;
};

// A change of an existing schema: the statements that take it to its version.
struct SqlUpgradeStep
{
    int version;
    QList<const char *> statements;
};

class SqlStore : public Store
{
    Q_OBJECT
public:
    ~SqlStore() override;

    bool isUsable() override { return open(); }
    QString lastError() const override { return m_lastError; }
    void setClock(const Clock *clock) override;
    QDateTime now() const override;
    void beginBatch() override;
    void endBatch() override;

    bool deleteAllFaxes() override;
    bool deleteExportedFaxes(const QStringList &numbers) override;
    std::optional<qint32> countFaxes() override;
    std::optional<QStringList> newestFaxes(int count) override;
    std::optional<QList<FaxRow>> allFaxes() override;
    std::optional<qint64> countFaxes(const FaxFilter &filter) override;
    std::optional<QList<ListedFax>> faxPage(const FaxFilter &filter, const FaxSort &sort,
                                            qint64 offset, int limit) override;
    std::optional<QList<ValueCount>> countFaxesBy(FaxColumn column,
                                                  const FaxFilter &filter) override;
    std::optional<QList<DayCount>> faxesPerDay(const FaxFilter &filter) override;
    std::optional<QList<SearchYield>> searchYields(const FaxFilter &filter) override;
    bool deleteFaxes(const QList<qint64> &ids) override;
    bool removeDoNotFax(const QStringList &keys) override;
    std::optional<QList<DoNotFaxEntry>> doNotFaxList() override;
    std::optional<ExportCounts> exportCounts(bool onlyNew) override;
    std::optional<ExportPlan> exportPlan(bool onlyNew) override;
    bool recordExport(const QString &file, const QStringList &keys) override;
    std::optional<QList<ExportRecord>> exportLedger() override;
    bool deleteAllWebsites() override;
    std::optional<qint32> countWebsites() override;
    std::optional<bool> anyWebsite() override;
    std::optional<QStringList> newestWebsites(int count) override;
    std::optional<QString> firstWebsite() override;
    std::optional<QList<SiteRow>> allWebsites() override;
    std::optional<QStringList> searches() override;
    bool notePending(const QString &site) override;
    bool clearPending(const QString &site) override;
    bool clearAllPending() override;
    std::optional<QStringList> pendingSites() override;
    std::optional<int> restorePending(const QStringList &stillQueued = {}) override;
    bool returnSites(const QStringList &sites) override;
    std::optional<QList<EngineRestRow>> engineRests() override;
    bool addBusinessFax(const BusinessFax &found) override;
    std::optional<QList<BusinessRow>> businesses(const QString &text = QString()) override;
    std::optional<QList<BusinessFax>> allBusinessFaxes() override;
    bool setEngineRest(const EngineRestRow &rest) override;
    bool endEngineRest(const QString &engine) override;

protected:
    SqlStore(const SqlStatements &statements, QObject *parent);

    bool insertFax(const FaxRow &row, bool *alreadyStored) override;
    std::optional<bool> hasFax(const QString &number) override;
    std::optional<bool> hasE164(const QString &e164) override;
    bool insertWebsite(const QString &site) override;
    bool removeWebsite(const QString &site) override;
    std::optional<bool> hasWebsite(const QString &site) override;
    bool insertSearch(const QString &search) override;
    bool removeSearch(const QString &search) override;
    bool insertDoNotFax(const DoNotFaxEntry &entry, bool *added) override;

    // How the backend's SQL reads the numbers table for the reads built for the occasion.
    virtual const FaxQuerySql::Dialect &dialect() const = 0;

    // The backend's side. openConnection() opens the connection named connectionName()
    // (created with the backend's driver) and brings the schema up to date; on failure it
    // reports with fail() and leaves the connection closed.
    virtual bool openConnection() = 0;
    virtual QString reasonOf(const QSqlError &error) const = 0;
    // The message of storeProblem() for a reason.
    virtual QString problemMessage(const QString &reason) const = 0;
    // A problem is reported (true) or over (false).
    virtual void problemChanged(bool) {}
    // After a failed statement: true when the connection is gone (it is closed, and the
    // next operation opens it again).
    virtual bool connectionLost(const QSqlError &) { return false; }
    // A failed statement ends the open transaction at once (the server refuses every
    // later statement of it), rather than only the writes that follow.
    virtual bool failureEndsTransaction() const { return false; }

    // Runs sql with q; a failure is reported (fail) and answers false.
    bool run(QSqlQuery &q, const QString &sql);
    // Ends the connection's open transaction: commits it when ok, else (or when the commit
    // fails, which is reported) rolls it back. True when it was committed.
    bool finishTransaction(bool ok);
    // Runs the steps above fromVersion in order; false at the first failure.
    bool upgrade(const QList<SqlUpgradeStep> &steps, int fromVersion);
    // Why a store of that schema version is not opened by a program that knows the version
    // known; empty when it can be.
    static QString newerVersionProblem(int version, int known);

    QString connectionName() const { return m_connectionName; }
    bool isOpen() const { return m_open; }
    // Forgets the prepared statements and closes the connection (one that is lost, at once).
    void closeConnection(bool lost = false);
    void fail(const QString &what);
    bool reported() const { return m_reported; }

    // One statement, prepared once per connection, with its values bound; failures are
    // reported as for every operation.
    QSqlQuery *prepared(const char *sql);
    bool exec(QSqlQuery *q, bool write);
    bool write(const char *sql, const QVariantList &values, int *rowsChanged = nullptr);
    std::optional<QStringList> column(const char *sql, const QVariantList &values = {});
    std::optional<bool> any(const char *sql, const QString &value);
    static void bindAll(QSqlQuery *q, const QVariantList &values);
    bool inTransaction() const { return m_inTransaction; }
    // The business columns of a read (FaxQuerySql::businessColumns) from column first.
    static BusinessRow businessAt(const QSqlQuery &q, int first);

private:
    bool open();
    // The business of the site and organisation: its key, 0 when there is none.
    std::optional<qint64> businessOf(const BusinessRow &business);
    // Fills the parts the business lacks from this owner.
    bool fillOwner(qint64 id, const BusinessRow &business);
    std::optional<QList<BusinessRow>> readBusinesses(const QString &where,
                                                     const QVariantList &values);
    std::optional<qint32> count(const char *sql);
    // A statement built for the occasion (a filter's), run with its values; null when the
    // store cannot be read.
    std::unique_ptr<QSqlQuery> select(const QString &sql, const QVariantList &values = {});
    // Runs the writes in one batch; false when any was refused.
    bool writeEach(const char *sql, const QList<QVariantList> &rows);
    void failBatch();
    // The backlog in memory: whether it can answer for the table now, and the changes of
    // this store's own writes.
    bool sitesInMemory();
    bool loadSites();
    bool writeSite(const QString &site, const QString &date);
    void forgetSites();
    // Reports a failure of the connection itself (a transaction, a statement's preparation).
    void failedOnConnection(const QSqlError &error);
    void succeeded(bool wrote);

    const SqlStatements &m_sql;
    QString m_connectionName;
    const Clock *m_clock = nullptr;
    std::unique_ptr<Clock> m_systemClock;
    bool m_open = false;
    int m_batchDepth = 0;
    bool m_inTransaction = false;
    bool m_batchFailed = false; // a write of the open batch was refused
    bool m_reported = false;
    QString m_lastError;
    std::unordered_map<const char *, std::unique_ptr<QSqlQuery>> m_queries;
    // The backlog's rows by site folded as the table folds it (ASCII letters only), how
    // many rows hold each; only sites whose comparison SQLite makes exactly as this does.
    std::optional<QHash<QString, int>> m_sites;
    qint64 m_sitesVersion = -1;  // the table's data version they were read at
    bool m_sitesChecked = false; // checked within the open transaction
    bool m_sitesTooMany = false; // not kept until the backlog is emptied
};
