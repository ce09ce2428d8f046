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

} // namespace StoreLocation
