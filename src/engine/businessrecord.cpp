#include "businessrecord.h"

#include "contactowner.h"
#include "domainnames.h"

#include <QUrl>

namespace BusinessRecord {

QString siteOf(const QString &page)
{
    QString address = page.trimmed();
    if (!address.contains(QLatin1String("://")))
        address.prepend(QLatin1String("http://"));
    const QString host = QUrl(address).host(QUrl::EncodeUnicode).toLower();
    const QString domain = DomainNames::registrableDomain(host);
    return domain.isEmpty() ? host : domain;
}

QString sourcesOf(const ContactOwner &o)
{
    QStringList out;
    for (const auto &[key, from] : o.sources()) {
        if (!from->isEmpty())
            out << QLatin1String(key) + QLatin1Char('=') + *from;
    }
    return out.join(QLatin1Char(' '));
}

BusinessFax of(const QString &e164, const QString &page, const QString &search,
               const ContactOwner &owner)
{
    BusinessFax f;
    f.fax = e164;
    f.page = page;
    f.search = search;
    BusinessRow &b = f.business;
    b.site = siteOf(page);
    b.organization = owner.organization;
    b.unit = owner.unit;
    b.street = owner.street;
    b.postalCode = owner.postalCode;
    b.city = owner.city;
    b.region = owner.region;
    b.country = owner.country;
    b.phone = owner.phone;
    b.email = owner.email;
    b.sources = sourcesOf(owner);
    return f;
}

} // namespace BusinessRecord
