#pragma once

#include <QString>

#include <memory>

class QObject;
class Store;

// A store is named by its location: a PostgreSQL server's address
// ("postgresql://user@host:5432/varnel" or "postgres://..."), a folder (its "varnel.mdb"),
// or the path of an SQLite database file. Nothing is opened or created until the store's
// first operation, and a server address never falls back to a file.
namespace StoreLocation {

bool isServer(const QString &location);
std::unique_ptr<Store> open(const QString &location, QObject *parent = nullptr);
// The location of the store file in a data folder.
QString ofDataDir(const QString &dataDir);
// The path names the database file at location, or one of the files the database keeps
// beside it while it works (-wal, -shm, -journal): by path, through a link, or as another
// name (hard link) of it. Such a file is never opened but by the store: closing a handle of
// it would drop the locks an open store holds on it, and writing it would destroy it.
bool isStoreFile(const QString &path, const QString &location);

} // namespace StoreLocation
