#include "crawllimits.h"

QByteArray CrawlLimits::foldCase(const QByteArray &host)
{
    // ASCII only: the queue's table folds no other letters either.
    QByteArray out = host;
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return out;
}

QByteArray CrawlLimits::hostKey(const QString &site)
{
    QStringView s(site);
    const qsizetype scheme = s.indexOf(QLatin1String("://"));
    if (scheme >= 0 && scheme <= 5)
        s = s.mid(scheme + 3);
    const qsizetype slash = s.indexOf(QLatin1Char('/'));
    if (slash >= 0)
        s = s.left(slash);
    return foldCase(s.toUtf8());
}

bool CrawlLimits::admitPage(const QString &site)
{
    if (m_pagesPerHost == NoPageLimit)
        return true;
    int &n = m_pageCounts[hostKey(site)];
    if (n >= m_pagesPerHost)
        return false;
    ++n;
    return true;
}

void CrawlLimits::abandon(const QByteArray &host)
{
    const QByteArray key = foldCase(host);
    if (key.isEmpty() || m_abandoned.contains(key))
        return;
    if (m_abandonedOrder.size() >= MaxAbandonedHosts)
        m_abandoned.remove(m_abandonedOrder.takeFirst());
    m_abandoned.insert(key);
    m_abandonedOrder.append(key);
}

bool CrawlLimits::isAbandoned(const QByteArray &host) const
{
    return !m_abandoned.isEmpty() && m_abandoned.contains(foldCase(host));
}

QByteArray CrawlLimits::abandonedText() const
{
    return m_abandonedOrder.join(' ');
}
