#include "storechoice.h"

#include "settingsstore.h"

#include <QUrl>

namespace {
const QString kServer = QStringLiteral("storeServer");
const QString kHost = QStringLiteral("storeHost");
const QString kPort = QStringLiteral("storePort");
const QString kDatabase = QStringLiteral("storeDatabase");
const QString kUser = QStringLiteral("storeUser");
} // namespace

StoreChoice StoreChoice::read(const SettingsStore &settings)
{
    StoreChoice c;
    c.server = settings.readInt(kServer, 0, 0, 1) == 1;
    c.host = settings.read(kHost, QString());
    c.port = settings.readInt(kPort, 5432, 1, 65535);
    c.database = settings.read(kDatabase, QStringLiteral("varnel"));
    c.user = settings.read(kUser, QString());
    return c;
}

void StoreChoice::write(SettingsStore &settings) const
{
    settings.write(kServer, server ? QStringLiteral("1") : QStringLiteral("0"));
    settings.write(kHost, host);
    settings.write(kPort, QString::number(port));
    settings.write(kDatabase, database);
    settings.write(kUser, user);
}

QString StoreChoice::location() const
{
    if (!server)
        return QString();
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setUserName(user.trimmed());
    url.setHost(host.trimmed());
    url.setPort(port);
    url.setPath(QLatin1Char('/') + database.trimmed());
    return url.toString(QUrl::FullyEncoded);
}

QString StoreChoice::problem() const
{
    if (!server)
        return QString();
    if (host.trimmed().isEmpty())
        return QStringLiteral("Name the server (its host name or address).");
    if (database.trimmed().isEmpty())
        return QStringLiteral("Name the database on the server.");
    if (!QUrl(location(), QUrl::StrictMode).isValid())
        return QStringLiteral("The host, database or user holds characters a server address "
                              "cannot take.");
    return QString();
}
