#include "crawlqueue.h"

#include "globals.h"
#include "store.h"
#include "textlist.h"

CrawlQueue::CrawlQueue(Store *store, Counters *counters, QObject *parent)
    : QObject(parent), m_store(store), m_counters(counters), m_head(new TextList(this))
{
    connect(m_head, &QAbstractItemModel::modelReset, this, [this] { m_headHandedOut = false; });
    // From the first refused write on, no site counts as done.
    connect(store, &Store::writeFailed, this, [this] { m_writeFailed = true; });
}

bool CrawlQueue::isKnown(QString &site)
{
    if (m_store->websiteExists(site).value_or(true))
        return true;
    return m_head->contains(site) || m_handedOut.contains(site);
}

bool CrawlQueue::clearBacklog()
{
    if (!m_store->deleteAllWebsites())
        return false;
    m_head->clear();
    m_counters->resetSiteCounts();
    m_handedOut.clear();
    return true;
}

bool CrawlQueue::loadHead()
{
    const QStringList sites = m_store->newestWebsites(HeadLoad).value_or(QStringList());
    if (sites.isEmpty())
        return false;
    m_head->clear();
    for (const QString &s : sites)
        m_head->addItem(s);
    // Each loaded site leaves the backlog (the first matching row of each).
    for (const QString &s : sites)
        takeFromBacklog(s);
    Q_EMIT headLoaded();
    return true;
}

bool CrawlQueue::holdsSites()
{
    return m_store->countWebsites().value_or(0) > 0 || !m_head->isEmpty();
}

QString CrawlQueue::firstInBacklog()
{
    return m_store->firstWebsite().value_or(QString());
}

void CrawlQueue::takeFromBacklog(const QString &site)
{
    // A refused write stops the harvest (Store::writeFailed); the queue goes on as far as it
    // can meanwhile.
    (void)m_store->notePending(site);
    QString copy = site;
    (void)m_store->deleteWebsite(copy);
}

void CrawlQueue::handOutHead()
{
    m_headHandedOut = true;
    markHandedOut(m_head->item(0));
}

void CrawlQueue::dropHandedOutHead()
{
    if (!m_headHandedOut)
        return;
    m_headHandedOut = false;
    m_head->removeItem(0);
}

void CrawlQueue::dropHead()
{
    (void)m_store->clearPending(m_head->item(0));
    m_head->removeItem(0);
}

void CrawlQueue::markHandedOut(const QString &site)
{
    if (!site.isEmpty())
        m_handedOut.insert(site);
    // Links give the second form.
    const int slash = int(site.indexOf(QLatin1Char('/')));
    if (slash < 0)
        m_handedOut.insert(site + QLatin1Char('/'));
    else if (slash == site.size() - 1)
        m_handedOut.insert(site.left(slash));
}

void CrawlQueue::siteDone(const QString &site)
{
    if (!m_writeFailed)
        (void)m_store->clearPending(site);
}

void CrawlQueue::returnToBacklog(const QString &site)
{
    QString copy = site;
    // Back in the backlog, the site needs its note no more.
    if (m_store->addWebsite(copy))
        (void)m_store->clearPending(site);
}

void CrawlQueue::returnHeadToBacklog()
{
    const QStringList head = m_head->items();
    // Sites whose page was not kept whole (a write or read of the store failed) are noted
    // still: they go back too, so that a later start finds them.
    (void)m_store->restorePending(head);
    for (const QString &site : head) {
        if (site.isEmpty())
            continue;
        QString copy = site;
        (void)m_store->addWebsite(copy);
    }
    m_head->clear();
    (void)m_store->clearAllPending();
}

void CrawlQueue::restorePending(bool exceptHead)
{
    (void)m_store->restorePending(exceptHead ? m_head->items() : QStringList());
}
