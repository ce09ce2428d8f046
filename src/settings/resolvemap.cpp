#include "resolvemap.h"

bool ResolveMap::add(const QString &mapping, QString *error)
{
    const int eq = int(mapping.indexOf(QLatin1Char('=')));
    const int colon = int(mapping.lastIndexOf(QLatin1Char(':')));
    bool ok = false;
    const uint port = colon > eq ? mapping.mid(colon + 1).toUInt(&ok) : 0;
    if (eq <= 0 || colon <= eq + 1 || !ok || port == 0 || port > 65535) {
        if (error)
            *error = QStringLiteral("'%1' is not of the form HOST=ADDRESS:PORT").arg(mapping);
        return false;
    }
    QString address = mapping.mid(eq + 1, colon - eq - 1);
    if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']')))
        address = address.mid(1, address.size() - 2);
    add(mapping.left(eq), address, quint16(port));
    return true;
}

void ResolveMap::add(const QString &pattern, const QString &address, quint16 port)
{
    m_entries.append(Entry{pattern.toLower(), Target{address, port}});
}

const ResolveMap::Target *ResolveMap::lookup(const QString &host) const
{
    const QString h = host.toLower();
    const Target *wildcard = nullptr;
    for (const Entry &e : m_entries) {
        if (e.pattern == h)
            return &e.target;
        if (!wildcard && e.pattern == QLatin1String("*"))
            wildcard = &e.target;
    }
    return wildcard;
}

QStringList ResolveMap::mappings() const
{
    QStringList out;
    for (const Entry &e : m_entries) {
        const QString address = e.target.address.contains(QLatin1Char(':'))
                                    ? QLatin1Char('[') + e.target.address + QLatin1Char(']')
                                    : e.target.address;
        out << QStringLiteral("%1=%2:%3").arg(e.pattern, address).arg(e.target.port);
    }
    return out;
}
