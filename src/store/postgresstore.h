#pragma once

#include "sqlstore.h"

class QTimer;

// The store as a database on a PostgreSQL server, shared by a team of harvesters, named by
// a libpq connection URI: "postgresql://user@host:5432/varnel" (or "postgres://"), with
// libpq's parameters after a "?" (sslmode=require, connect_timeout=5, ...).
//
// The password is never part of the address: libpq reads it from PGPASSWORD or ~/.pgpass,
// as every PostgreSQL client does. An address with a password is refused.
//
// The tables are created on first use and upgraded by explicit steps; the schema version
// is the row of schema_version. A database written by a newer version of the program is
// never written. Numbers are unique by their key (fax_key, the number with ASCII letters in
// lower case): two harvesters that store the same number at once store one row. The
// connection stays open between operations; when it is lost, the next operation opens it
// again.
class PostgresStore : public SqlStore
{
    Q_OBJECT
public:
    // The schema version this program writes.
    // 4: the team's queue (leases, handed-out sites, the team's search string).
    static constexpr int schemaVersion = 6;
    // How long a harvester's lease of a site lasts unless renewed.
    static constexpr int defaultLeaseSeconds = 180;

    explicit PostgresStore(const QString &uri, QObject *parent = nullptr);
    ~PostgresStore() override;

    // The location names a server (it starts with "postgresql://" or "postgres://").
    static bool isServerAddress(const QString &location);

    QString location() const override { return m_shown; }
    std::unique_ptr<Store> openAnother() const override;
    // Where the server is, as messages name it: "host port 5432".
    QString serverName() const;

    bool isShared() const override { return true; }
    // Starts renewing this harvester's leases (every third of a lease).
    void setHarvester(const QString &id, int leaseSeconds) override;
    std::optional<QStringList> takeSites(int count, TakeOrder order) override;
    std::optional<bool> handedOut(const QString &site) override;
    std::optional<SearchClaim> claimSearch(const QString &search) override;
    void discoveryDone() override;
    std::optional<bool> teamStillWorking(const QString &search) override;
    void setOwnCounts(qint64 sitesScanned, qint64 numbersFound) override;
    std::optional<TeamTotals> teamTotals() override;
    // Renews the leases now (the timer does it while the store lives).
    bool renewLeases();

protected:
    bool openConnection() override;
    const FaxQuerySql::Dialect &dialect() const override;
    QString reasonOf(const QSqlError &error) const override;
    QString problemMessage(const QString &reason) const override;
    bool connectionLost(const QSqlError &error) override;
    bool failureEndsTransaction() const override { return true; }

private:
    bool parseAddress(QString *why);
    bool applyHarvester();
    bool prepareSchema();
    bool createOrUpgrade();
    void foldCountsOfEndedSessions();
    QString effectiveHost() const;
    QString effectivePort() const;
    QString effectiveUser() const;
    QString effectiveDatabase() const;
    QString connectFailure(const QString &libpqText) const;

    QString m_uri;
    QString m_shown; // the address without a password
    QString m_host;
    int m_port = -1;
    QString m_user;
    QString m_database;
    QStringList m_options; // key='value' for libpq
    QString m_harvester;
    int m_leaseSeconds = defaultLeaseSeconds;
    bool m_discovering = false; // this harvester runs the team's discovery
    qint64 m_ownSites = 0;
    qint64 m_ownNumbers = 0;
    QTimer *m_renewal = nullptr;
};
