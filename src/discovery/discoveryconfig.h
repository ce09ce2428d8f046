#pragma once

#include <QHash>
#include <QString>

// Where the list builder finds the search engines and what it treats as the engines' own
// links. The defaults are the two real engines; tests point the hosts at a loopback fake
// engine ("127.0.0.1:PORT" is a valid host here) and shorten the page time limit.
struct DiscoveryConfig
{
    // Host (optionally with ":port") of each engine's result pages.
    QString googleHost = QStringLiteral("www.google.com");
    QString yahooHost = QStringLiteral("search.yahoo.com");
    // A result line that mentions any of these (letter case ignored) gives no name: the
    // engines' own domains and the first label of the Yahoo engine's image servers.
    QString googleDomain = QStringLiteral("google.com");
    QString yahooDomain = QStringLiteral("yahoo.com");
    QString yahooImageLabel = QStringLiteral("yimg");
    // A result page that has not completed after this long counts as a page that added
    // no new name.
    int pageTimeoutMs = 60000;
    // Scheme, host and port (and a folder, if any) that take the place of an engine's own,
    // by its tool name ("brave"): a mirror, or a test's loopback engine. Without an entry,
    // the two engines above are asked at their hosts when read by their table entries.
    QHash<QString, QString> engineOrigins;
};
