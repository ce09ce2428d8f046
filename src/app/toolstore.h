#pragma once

// The store of a varnel-tool command, named by --store LOCATION or by the data folder.

#include <QString>

#include <memory>

class DataDirLock;
class Store;

namespace ToolStore {

// The location a command works on: --store when given, else the store file of the data
// folder (the default one when none is given).
QString location(const QString &storeOption, const QString &dataDir);
// The database file of a location that is not a server (a folder's "varnel.mdb").
QString filePath(const QString &location);
// Opens the store; its problems are printed on standard error as they arise.
std::unique_ptr<Store> open(const QString &location);
// The lock of the data folder of a file location; none for a server.
std::unique_ptr<DataDirLock> lockFolder(const QString &location);
bool sameStore(const QString &a, const QString &b);

} // namespace ToolStore
