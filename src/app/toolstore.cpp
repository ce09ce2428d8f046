#include "toolstore.h"

#include "datadir.h"
#include "datadirlock.h"
#include "openstore.h"
#include "store.h"
#include "tool.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <sys/stat.h>

QString ToolStore::location(const QString &storeOption, const QString &dataDir)
{
    if (!storeOption.isEmpty())
        return storeOption;
    return StoreLocation::ofDataDir(dataDir.isEmpty() ? DataDir::defaultPath() : dataDir);
}

QString ToolStore::filePath(const QString &location)
{
    if (QFileInfo(location).isDir())
        return StoreLocation::ofDataDir(location);
    return location;
}

std::unique_ptr<Store> ToolStore::open(const QString &location)
{
    std::unique_ptr<Store> store = StoreLocation::open(location);
    QObject::connect(store.get(), &Store::storeProblem, [](const QString &message) {
        std::fprintf(stderr, "varnel-tool: %s\n", Tool::printable(message).constData());
    });
    return store;
}

std::unique_ptr<DataDirLock> ToolStore::lockFolder(const QString &location)
{
    if (StoreLocation::isServer(location))
        return nullptr;
    return std::make_unique<DataDirLock>(QFileInfo(filePath(location)).absolutePath());
}

bool ToolStore::sameStore(const QString &a, const QString &b)
{
    if (StoreLocation::isServer(a) || StoreLocation::isServer(b))
        return a == b;
    const QFileInfo fa(filePath(a)), fb(filePath(b));
    // Two names of one file (a hard link) are one store: two connections under two names
    // would keep two write-ahead logs of it.
    struct stat sa, sb;
    if (::stat(QFile::encodeName(fa.filePath()).constData(), &sa) == 0 &&
        ::stat(QFile::encodeName(fb.filePath()).constData(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    const QString ca = fa.canonicalFilePath(), cb = fb.canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return ca == cb;
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}
