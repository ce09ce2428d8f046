#include "openstore.h"

#include "postgresstore.h"
#include "sqlitestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

// The path with every link resolved; for a file that does not exist, its folder's.
QString resolvedPath(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? QDir::cleanPath(info.absoluteFilePath())
                            : QDir(folder).filePath(info.fileName());
}

} // namespace

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

bool StoreLocation::isStoreFile(const QString &path, const QString &location)
{
    if (location.isEmpty() || isServer(location))
        return false;
    const QString dbPath = QFileInfo(location).isDir() ? ofDataDir(location) : location;
    const QString resolved = resolvedPath(path);
    struct stat pathStat;
    const bool pathExists = ::stat(QFile::encodeName(path).constData(), &pathStat) == 0;
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
        const QString storeFile = dbPath + QLatin1String(suffix);
        if (resolvedPath(storeFile) == resolved)
            return true;
        struct stat st;
        if (pathExists && ::stat(QFile::encodeName(storeFile).constData(), &st) == 0 &&
            st.st_dev == pathStat.st_dev && st.st_ino == pathStat.st_ino)
            return true;
    }
    return false;
}
