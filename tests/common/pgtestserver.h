#pragma once

// The PostgreSQL server of a test run: a throwaway cluster that the CTest fixture starts
// (scripts/pg-cluster.sh) and names in VARNEL_TEST_PG_DIR. Its role "varnel" with the
// password "varnel" owns the database "varnel". Each test works in a schema of its own, so
// that suites running at once do not meet.

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <QVariant>

namespace TestPg {

// The cluster's port, or 0 when no cluster runs (why says so).
inline int port(QString *why = nullptr)
{
    const QString dir = qEnvironmentVariable("VARNEL_TEST_PG_DIR");
    QFile f(QDir(dir).filePath(QStringLiteral("port")));
    if (dir.isEmpty() || !f.open(QIODevice::ReadOnly)) {
        if (why)
            *why = dir.isEmpty()
                       ? QStringLiteral("no PostgreSQL cluster for this run (run the suite "
                                        "through ctest)")
                       : QStringLiteral("PostgreSQL is not installed here (Debian package "
                                        "postgresql), so the server is not tested");
        return 0;
    }
    return f.readAll().trimmed().toInt();
}

// The address of the test database, with libpq parameters appended.
inline QString uri(const QString &params = QString(),
                   const QString &database = QStringLiteral("varnel"))
{
    QString u = QStringLiteral("postgresql://varnel@127.0.0.1:%1/%2").arg(port()).arg(database);
    if (!params.isEmpty())
        u += QLatin1Char('?') + params;
    return u;
}

// The password of the test role, for the stores and the programs a test starts.
inline void usePassword()
{
    qputenv("PGPASSWORD", "varnel");
}

// A schema that lives as long as the object, and a connection of the test's own in it.
class Schema
{
public:
    Schema()
        : m_name(QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128).left(16)),
          m_connection(QStringLiteral("peek-") + m_name)
    {
        usePassword();
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(port());
        db.setUserName(QStringLiteral("varnel"));
        db.setDatabaseName(QStringLiteral("varnel"));
        if (db.open()) {
            exec(QStringLiteral("SET client_min_messages = warning"));
            exec(QStringLiteral("CREATE SCHEMA %1").arg(m_name));
            exec(QStringLiteral("SET search_path = %1").arg(m_name));
        }
    }
    ~Schema()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            QSqlQuery q(db);
            q.exec(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(m_name));
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
    Schema(const Schema &) = delete;
    Schema &operator=(const Schema &) = delete;

    QString name() const { return m_name; }
    // The address of a store in this schema.
    QString uri() const { return TestPg::uri(QStringLiteral("options=-csearch_path%3D") + m_name); }

    bool exec(const QString &sql)
    {
        QSqlQuery q(QSqlDatabase::database(m_connection, false));
        if (q.exec(sql))
            return true;
        m_error = q.lastError().text();
        return false;
    }
    QString lastError() const { return m_error; }
    // The first column of a query.
    QStringList column(const QString &sql)
    {
        QStringList out;
        QSqlQuery q(QSqlDatabase::database(m_connection, false));
        if (!q.exec(sql))
            m_error = q.lastError().text();
        while (q.next())
            out << q.value(0).toString();
        return out;
    }

private:
    QString m_name;
    QString m_connection;
    QString m_error;
};

} // namespace TestPg
