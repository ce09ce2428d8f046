#pragma once

#include <QString>

class SettingsStore;

// Where the window keeps the numbers and the queue: this computer (the file in the data
// folder, the default) or a shared server. The settings hold the server's host, port,
// database and user, never a password: libpq takes that from PGPASSWORD or ~/.pgpass.
struct StoreChoice
{
    bool server = false;
    QString host;
    int port = 5432;
    QString database = QStringLiteral("varnel");
    QString user;

    static StoreChoice read(const SettingsStore &settings);
    void write(SettingsStore &settings) const;
    // The store's location for StoreLocation: empty for this computer, else a
    // postgresql:// address.
    QString location() const;
    // Why the choice cannot be used, or empty.
    QString problem() const;
};
