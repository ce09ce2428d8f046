#include "openstore.h"

#include "postgresstore.h"
#include "sqlitestore.h"

#include <QDir>
#include <QFileInfo>

bool StoreLocation::isServer(const QString &location)
{
    return PostgresStore::isServerAddress(location);
}

std::unique_ptr<Store> StoreLocation::open(const QString &location, QObject *parent)
{
    if (isServer(location))
        return std::make_unique<PostgresStore>(location, parent);
    if (QFileInfo(location).isDir())
        return std::make_unique<SqliteStore>(location, parent);
    return std::unique_ptr<Store>(SqliteStore::atFile(location, parent));
}

QString StoreLocation::ofDataDir(const QString &dataDir)
{
    return QDir(dataDir).filePath(QString::fromLatin1(SqliteStore::fileName));
}
