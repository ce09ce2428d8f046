#include "domainnames.h"

#include "domainextractor.h"

#include <QHostAddress>

#include <libpsl.h>

namespace DomainNames {

namespace {

// The list comes from Debian's publicsuffix package (/usr/share/publicsuffix/, read by
// libpsl); libpsl also carries a built-in copy made from that package when it was built,
// and psl_latest() takes the newer of the two. When the file is missing the built-in copy
// is used; when neither can be had, the reference rule stands in (and a warning says so
// once), so that the mode still yields names instead of none.
const psl_ctx_t *publicSuffixes()
{
    static const psl_ctx_t *const ctx = [] {
        const psl_ctx_t *c = psl_latest(nullptr);
        if (!c)
            c = psl_builtin();
        if (!c)
            qWarning("The Public Suffix List could not be loaded: every domain ending is "
                     "read by the reference rule instead");
        return c;
    }();
    return ctx;
}

QString referenceName(const QString &host)
{
    return DomainExtractor::nameOfHost(host);
}

bool isAddress(const QString &host)
{
    QString h = host;
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    return !QHostAddress(h).isNull();
}

} // namespace

QString registrableDomain(const QString &host)
{
    QString h = host.trimmed().toLower();
    while (h.endsWith(QLatin1Char('.')))
        h.chop(1);
    if (h.isEmpty() || isAddress(h) || h.contains(QLatin1Char(' ')))
        return QString();
    const psl_ctx_t *psl = publicSuffixes();
    if (!psl)
        return referenceName(h);
    const QByteArray utf8 = h.toUtf8();
    // A top-level domain that is not in the list ("local", "invalid", typing errors) is no
    // site on the web, although the list's default rule would make one of it.
    const QByteArray tld = utf8.mid(utf8.lastIndexOf('.') + 1);
    if (!psl_is_public_suffix2(psl, tld.constData(), PSL_TYPE_ANY | PSL_TYPE_NO_STAR_RULE))
        return QString();
    const char *domain = psl_registrable_domain(psl, utf8.constData());
    return domain ? QString::fromUtf8(domain) : QString();
}

QString nameForHost(const QString &host, Endings endings)
{
    if (endings == Endings::Every)
        return registrableDomain(host);
    if (host.isEmpty() || isAddress(host))
        return QString();
    return referenceName(host);
}

bool publicSuffixListLoaded()
{
    return publicSuffixes() != nullptr;
}

} // namespace DomainNames
