#pragma once

#include "sqlstore.h"

// The store as the file "varnel.mdb" (SQLite) in the data directory, or as a file of
// another name.
//
// Every operation is one statement in its own transaction, so a kill at any moment leaves
// each row wholly stored or absent. The connection stays open between operations. The
// file and missing tables are created on first use; a file that is not a database, a
// database that fails SQLite's quick check, or one written by a newer version of the
// program (a higher schema version) is never written: the operations then fail and
// storeProblem() names the file and the reason. A store in a folder that cannot be
// written is opened for reading only.
class SqliteStore : public SqlStore
{
    Q_OBJECT
public:
    static const char *const fileName; // "varnel.mdb"
    // The schema version this program writes (PRAGMA user_version).
    // 2: the numbers' E.164 form, country and evidence.
    static constexpr int schemaVersion = 5;

    explicit SqliteStore(const QString &dataDir, QObject *parent = nullptr);
    // The database file at path, whatever its name.
    static SqliteStore *atFile(const QString &path, QObject *parent = nullptr);
    ~SqliteStore() override;

    QString databasePath() const;
    QString dataDir() const { return m_dataDir; }

    QString location() const override { return databasePath(); }
    std::unique_ptr<Store> openAnother() const override;

protected:
    bool openConnection() override;
    const FaxQuerySql::Dialect &dialect() const override;
    QString reasonOf(const QSqlError &error) const override;
    QString problemMessage(const QString &reason) const override;
    void problemChanged(bool reported) override;

private:
    SqliteStore(const QString &dataDir, const QString &name, QObject *parent);
    bool openReadOnly(QString *why);
    bool createSchema();
    bool upgradeSchema(int fromVersion);
    void setBusyTimeout(int ms);

    QString m_dataDir;
    QString m_fileName;
};
