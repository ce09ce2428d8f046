#include "crawlqueue.h"

#include "globals.h"
#include "store.h"
#include "textlist.h"

CrawlQueue::CrawlQueue(Backlog *backlog, PendingSites *pending, TeamQueue *team, Counters *counters,
                       QObject *parent)
    : QObject(parent), m_backlog(backlog), m_pending(pending), m_team(team), m_counters(counters),
      m_head(new TextList(this))
{
    connect(m_head, &QAbstractItemModel::modelReset, this, [this] { m_headHandedOut = false; });
    // From the first refused write on, no site counts as done.
    backlog->onWriteFailed(this, [this](const QString &) { m_writeFailed = true; });
}

std::optional<bool> CrawlQueue::isKnown(QString &site)
{
    const std::optional<bool> queued = m_backlog->websiteExists(site);
    if (!queued || *queued)
        return queued;
    if (m_head->contains(site) || m_handedOut.contains(site))
        return true;
    // Another harvester of the team took it.
    if (m_team)
        return m_team->handedOut(site);
    return false;
}

bool CrawlQueue::clearBacklog()
{
    if (!m_backlog->deleteAllWebsites())
        return false;
    clearLocal();
    return true;
}

void CrawlQueue::clearLocal()
{
    m_head->clear();
    m_counters->resetSiteCounts();
    m_handedOut.clear();
}

bool CrawlQueue::loadHead()
{
    // Each loaded site leaves the backlog (the first matching row of each).
    const QStringList sites =
        m_pending->takeSites(m_headLoad, PendingSites::TakeOrder::Newest).value_or(QStringList());
    if (sites.isEmpty())
        return false;
    m_head->clear();
    for (const QString &s : sites)
        m_head->addItem(s);
    Q_EMIT headLoaded();
    return true;
}

bool CrawlQueue::holdsSites()
{
    return !m_head->isEmpty() || m_backlog->anyWebsite().value_or(false);
}

std::optional<QString> CrawlQueue::takeFirst()
{
    const std::optional<QStringList> taken =
        m_pending->takeSites(1, PendingSites::TakeOrder::First);
    if (!taken)
        return std::nullopt;
    return taken->value(0);
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
    (void)m_pending->clearPending(m_head->item(0));
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
        (void)m_pending->clearPending(site);
}

void CrawlQueue::returnToBacklog(const QString &site)
{
    (void)m_pending->returnSites({site});
}

void CrawlQueue::returnHeadToBacklog()
{
    QStringList head = m_head->items();
    head.removeAll(QString());
    // Sites whose page was not kept whole (a write or read of the store failed) are noted
    // still: they go back too, so that a later start finds them.
    bool kept = m_pending->restorePending(head).has_value();
    kept = m_pending->returnSites(head) && kept;
    m_head->clear();
    // Notes whose sites did not make it back (a full disk) stay, so that the next start
    // returns them.
    if (kept)
        (void)m_pending->clearAllPending();
}

std::optional<int> CrawlQueue::restorePending(bool exceptHead)
{
    return m_pending->restorePending(exceptHead ? m_head->items() : QStringList());
}

CrawlQueue::ImportCount CrawlQueue::import(const QStringList &sites)
{
    ImportCount count;
    for (QString site : sites) {
        const std::optional<bool> known = isKnown(site);
        if (!known)
            break; // the store cannot be read: the rest would all be taken for known
        if (*known) {
            ++count.known;
            continue;
        }
        if (!m_backlog->addWebsite(site))
            break;
        m_counters->add(Counters::SiteFound);
        ++count.queued;
    }
    return count;
}
