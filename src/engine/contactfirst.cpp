#include "contactfirst.h"

#include "crawllimits.h"

QByteArray ContactFirst::siteOf(const QString &site)
{
    QByteArray host = CrawlLimits::hostKey(site);
    if (host.startsWith("www."))
        host.remove(0, 4);
    return host;
}

bool ContactFirst::wanted(const QString &site, bool namesContact) const
{
    const auto it = m_sites.constFind(siteOf(site));
    if (it == m_sites.cend() || !it->fax)
        return true;
    return namesContact && it->contactPages < MaxContactPagesPerSite;
}

bool ContactFirst::putFirst(const QString &site, bool namesContact)
{
    if (!namesContact)
        return false;
    Site &s = m_sites[siteOf(site)];
    if (s.contactPages >= MaxContactPagesPerSite)
        return false;
    ++s.contactPages;
    ++s.unread;
    m_first.insert(site);
    return true;
}

void ContactFirst::faxFound(const QString &pageAddress)
{
    m_sites[siteOf(pageAddress)].fax = true;
}

bool ContactFirst::hasFax(const QString &site) const
{
    return m_sites.value(siteOf(site)).fax;
}

bool ContactFirst::passOver(const QString &site)
{
    if (m_first.remove(site)) {
        m_reading.insert(site);
        return false;
    }
    return hasFax(site);
}

bool ContactFirst::holdsBack(const QByteArray &host) const
{
    return m_sites.value(siteOf(QString::fromLatin1(host))).unread > 0;
}

void ContactFirst::siteDone(const QString &site)
{
    // A page put first and skipped before its fetch (its host given up) is done too.
    if (!m_reading.remove(site) && !m_first.remove(site))
        return;
    const auto it = m_sites.find(siteOf(site));
    if (it != m_sites.end() && it->unread > 0)
        --it->unread;
}

void ContactFirst::forgetUnread()
{
    for (Site &s : m_sites)
        s.unread = 0;
    m_reading.clear();
}

void ContactFirst::clear()
{
    m_sites.clear();
    m_first.clear();
    m_reading.clear();
}
