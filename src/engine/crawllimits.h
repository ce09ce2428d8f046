#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

// What keeps a hostile web from holding the harvest: a bound on the length of queued sites,
// a bound on the pages queued from one host in a search, and the hosts given up on, kept as
// a bounded set of exact names. Hosts are compared with ASCII letter case ignored, the way
// the queue's table compares its sites; a name is never matched inside a longer one, so a
// link to "good.comwww.victim.org" blinds the harvest to neither site.
class CrawlLimits
{
public:
    // Longer links and site texts are not queued (common crawlers stop near here too).
    static constexpr int MaxSiteLength = 2000;
    // Hosts remembered as given up on; the oldest is forgotten beyond this.
    static constexpr int MaxAbandonedHosts = 10000;
    static constexpr int NoPageLimit = 0;

    // The host part of a queued site: no scheme, up to the first "/", ASCII lower case.
    static QByteArray hostKey(const QString &site);
    static QByteArray foldCase(const QByteArray &host);

    static bool lengthAcceptable(const QString &site) { return site.size() <= MaxSiteLength; }

    // Pages queued from one host in a search; NoPageLimit for none.
    void setPagesPerHost(int limit) { m_pagesPerHost = limit; }
    int pagesPerHost() const { return m_pagesPerHost; }
    // Counts site against its host; false (nothing counted) when the host has had its share.
    bool admitPage(const QString &site);
    // A new search: every host starts again at no pages.
    void clearPageCounts() { m_pageCounts.clear(); }

    void abandon(const QByteArray &host) { m_abandoned.insert(foldCase(host)); }
    bool isAbandoned(const QByteArray &host) const { return m_abandoned.contains(host); }
    // The hosts given up on, oldest first, separated by spaces.
    QByteArray abandonedText() const { return m_abandoned.order.join(' '); }
    int abandonedCount() const { return int(m_abandoned.order.size()); }

    // Hosts that answered a plain request with a redirect to themselves over TLS: their
    // later pages are asked for over TLS at once, saving a round trip each.
    void noteSecure(const QByteArray &host) { m_secure.insert(foldCase(host)); }
    bool isSecure(const QByteArray &host) const { return m_secure.contains(host); }

private:
    // Folded names, the oldest forgotten beyond MaxAbandonedHosts.
    struct HostSet
    {
        QSet<QByteArray> names;
        QList<QByteArray> order;
        void insert(const QByteArray &key);
        bool contains(const QByteArray &host) const
        {
            return !names.isEmpty() && names.contains(foldCase(host));
        }
    };
    int m_pagesPerHost = NoPageLimit;
    QHash<QByteArray, int> m_pageCounts;
    HostSet m_abandoned;
    HostSet m_secure;
};
