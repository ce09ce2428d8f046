#pragma once

#include "store.h"

#include <memory>
#include <unordered_map>

class QSqlQuery;
class QSqlError;

// The store as the file "varnel.mdb" (SQLite) in the data directory.
//
// Every operation is one statement in its own transaction, so a kill at any moment leaves
// each row wholly stored or absent. The connection stays open between operations. The
// file and missing tables are created on first use; a file that is not a database, a
// database that fails SQLite's quick check, or one written by a newer version of the
// program (a higher schema version) is never written: the operations then fail and
// storeProblem() names the file and the reason. A store in a folder that cannot be
// written is opened for reading only.
class SqliteStore : public Store
{
    Q_OBJECT
public:
    static const char *const fileName; // "varnel.mdb"
    // The schema version this program writes (PRAGMA user_version).
    static constexpr int schemaVersion = 2;

    explicit SqliteStore(const QString &dataDir, QObject *parent = nullptr);
    ~SqliteStore() override;

    QString databasePath() const;
    QString dataDir() const { return m_dataDir; }

    QString location() const override { return databasePath(); }
    bool isUsable() override;
    QString lastError() const override { return m_lastError; }
    void setClock(const Clock *clock) override;
    QDateTime now() const override;
    std::unique_ptr<Store> openAnother() const override;
    void beginBatch() override;
    void endBatch() override;

    bool deleteAllFaxes() override;
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
    bool deleteAllWebsites() override;
    std::optional<qint32> countWebsites() override;
    std::optional<QStringList> newestWebsites(int count) override;
    std::optional<QString> firstWebsite() override;
    std::optional<QStringList> searches() override;
    bool notePending(const QString &site) override;
    bool clearPending(const QString &site) override;
    bool clearAllPending() override;
    std::optional<int> restorePending(const QStringList &stillQueued = {}) override;

protected:
    bool insertFax(const FaxRow &row) override;
    std::optional<bool> hasFax(const QString &number) override;
    bool insertWebsite(const QString &site) override;
    bool removeWebsite(const QString &site) override;
    std::optional<bool> hasWebsite(const QString &site) override;
    bool insertSearch(const QString &search) override;
    bool removeSearch(const QString &search) override;

private:
    bool open();
    bool openReadOnly(QString *why);
    bool createSchema();
    bool upgrade(int fromVersion);
    QSqlQuery *prepared(const char *sql);
    bool exec(QSqlQuery *q);
    bool write(const char *sql, const QVariantList &values);
    std::optional<QStringList> column(const char *sql, const QVariantList &values = {});
    std::optional<bool> any(const char *sql, const QString &value);
    std::optional<qint32> count(const char *sql);
    // A statement built for the occasion (a filter's), run with its values; null when it fails.
    std::unique_ptr<QSqlQuery> select(const QString &sql, const QVariantList &values);
    void fail(const QString &what);
    void setBusyTimeout(int ms);
    void succeeded(bool wrote);

    QString m_dataDir;
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
};
