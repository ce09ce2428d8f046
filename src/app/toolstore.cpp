#include "toolstore.h"

#include "datadir.h"
#include "datadirlock.h"
#include "openstore.h"
#include "store.h"
#include "tool.h"

#include <QFileInfo>

#include <cstdio>

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
    const QString ca = fa.canonicalFilePath(), cb = fb.canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return ca == cb;
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}
