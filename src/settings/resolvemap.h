#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Host-to-address overrides in the form of curl's --resolve: "PATTERN=ADDRESS:PORT", where
// PATTERN is a host name (letter case ignored) or "*" for every host. Used by tests and by
// `varnel-tool harvest --resolve` to send the harvest's connections to loopback servers
// while the requests still carry the original host names.
class ResolveMap
{
public:
    struct Target
    {
        QString address;
        quint16 port = 0;
    };

    // Parses one "PATTERN=ADDRESS:PORT"; false (and nothing added) when malformed.
    bool add(const QString &mapping, QString *error = nullptr);
    void add(const QString &pattern, const QString &address, quint16 port);
    bool isEmpty() const { return m_entries.isEmpty(); }
    // The first entry whose pattern matches host exactly, else a "*" entry; null if none.
    const Target *lookup(const QString &host) const;
    // Every entry as "PATTERN=ADDRESS:PORT" (an IPv6 address in brackets), in the order
    // added: for handing the map to another program.
    QStringList mappings() const;

private:
    struct Entry
    {
        QString pattern;
        Target target;
    };
    QList<Entry> m_entries;
};
