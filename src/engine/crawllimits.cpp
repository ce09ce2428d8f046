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

void CrawlLimits::HostSet::insert(const QByteArray &key)
{
    if (key.isEmpty() || names.contains(key))
        return;
    if (order.size() >= MaxAbandonedHosts)
        names.remove(order.takeFirst());
    names.insert(key);
    order.append(key);
}
