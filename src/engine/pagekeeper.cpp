#include "pagekeeper.h"

#include "crawllimits.h"
#include "crawlqueue.h"
#include "donotfax.h"
#include "globals.h"
#include "pageanalysis.h"
#include "pagefiles.h"
#include "textlist.h"

#include <QTimer>

#include <limits>

namespace {
// Pages finished in one pass of the event loop are committed together, at most this many.
// The transaction never waits across passes for the network: another program that wants to
// write gets its turn whenever the harvest waits.
constexpr int kCommitEveryPages = 100;
} // namespace

PageKeeper::PageKeeper(Store *store, CrawlQueue *queue, Counters *counters, CrawlLimits *limits,
                       const QString &dataDir, QObject *parent)
    : QObject(parent), m_store(store), m_queue(queue), m_counters(counters), m_limits(limits),
      m_dataDir(dataDir), m_preview(new TextList(this))
{
    connect(m_store, &Store::writeFailed, this, [this] {
        ++m_writesRefused;
        if (m_open)
            m_batchFailed = true;
    });
}

PageKeeper::~PageKeeper()
{
    commit();
}

bool PageKeeper::keep(const Page &page, const PageFindings &found)
{
    const bool holdsSite = !page.site.isEmpty();
    const int unfinishedSlot = holdsSite ? -1 : page.slot;
    bool kept = true;
    Q_EMIT stepChanged(Step::GettingLinks);
    if (!queueLinks(found.links)) {
        // A link taken for known would never be queued: the page is read again after Resume.
        Q_EMIT storeUnreadable(unfinishedSlot);
        kept = false;
    } else {
        Q_EMIT stepChanged(Step::None);
        Q_EMIT stepChanged(Step::GettingFaxes);
        // The second page file ends up holding the page's text.
        writePageFile(pageFile2(m_dataDir, page.slot), found.text);
        for (const FoundNumber &n : found.numbers) {
            if (!storeNumber(page.website, n, unfinishedSlot)) {
                kept = false;
                break;
            }
        }
        if (kept)
            Q_EMIT stepChanged(Step::None);
    }
    if (!holdsSite)
        return kept; // the slot's site stays noted until the slot moves on (or Resume)
    if (!kept) {
        // Stopped: the page is read again after Resume.
        m_queue->returnToBacklog(page.site);
        return false;
    }
    m_queue->siteDone(page.site);
    return true;
}

bool PageKeeper::queueLinks(const QStringList &links)
{
    // One transaction for the page's links.
    m_store->beginBatch();
    bool read = true;
    for (QString site : links) {
        if (!CrawlLimits::lengthAcceptable(site))
            continue;
        const std::optional<bool> known = m_queue->isKnown(site);
        if (!known) {
            read = false;
            break;
        }
        if (*known)
            continue;
        if (!m_limits->admitPage(site))
            continue;
        m_counters->add(Counters::SiteFound);
        if (m_store->addWebsite(site))
            Q_EMIT siteQueued(site);
    }
    m_store->endBatch();
    return read;
}

bool PageKeeper::storeNumber(const QString &website, const FoundNumber &found, int slot)
{
    FaxRow row;
    row.fax = found.number;
    row.website = website;
    row.search = m_search ? m_search() : QString();
    row.location = found.location;
    row.e164 = found.e164;
    row.country = found.countryCode;
    row.label = found.label;
    row.how = found.how;
    row.context = found.context;
    const std::optional<bool> known = m_store->numberExists(row);
    if (!known) {
        // Taking the number for known would lose it, and every later one with it.
        Q_EMIT storeUnreadable(slot);
        return false;
    }
    if (found.noUnsolicitedFaxes) {
        // Recorded like any number, but never exported. A failed write is reported by the
        // store and does not stop the harvest.
        (void)m_store->addDoNotFax(row.fax, DoNotFax::storedKey(row.fax, row.e164),
                                   Store::reasonNoticeSays);
        Q_EMIT numberRefusesFaxes(row);
    }
    if (*known)
        return true;
    if (m_numbersStored < std::numeric_limits<qint32>::max())
        ++m_numbersStored;
    // Kept on purpose (tst_pagestore numbers_foundTextCounts): one more than the 20 that
    // start-up loads.
    if (m_preview->count() > PreviewLoad)
        m_preview->removeItem(0);
    m_preview->addItem(row.fax + QStringLiteral(" | ") + found.location);
    const bool stored = m_store->addFax(row);
    m_counters->add(Counters::NumberFound);
    Q_EMIT numberAdded(m_numbersStored);
    if (stored && m_open)
        m_numbers.append(row);
    else if (stored)
        Q_EMIT numberStored(row);
    return true;
}

void PageKeeper::loadPreview()
{
    // The newest numbers; an empty or unreadable store leaves the list as it is.
    const QStringList newest = m_store->newestFaxes(PreviewLoad).value_or(QStringList());
    if (newest.isEmpty())
        return;
    m_preview->clear();
    for (const QString &e : newest)
        m_preview->addItem(e);
}

void PageKeeper::clearPreview()
{
    m_preview->clear();
}

void PageKeeper::inBatch(const std::function<void()> &work)
{
    if (m_depth > 0) {
        work();
        return;
    }
    if (!m_open) {
        m_open = true;
        m_batchFailed = false;
        m_pagesInBatch = 0;
        m_store->beginBatch();
        if (!m_commitTimer) {
            m_commitTimer = new QTimer(this);
            m_commitTimer->setSingleShot(true);
            m_commitTimer->setInterval(0);
            connect(m_commitTimer, &QTimer::timeout, this, &PageKeeper::commit);
        }
        m_commitTimer->start();
    }
    ++m_depth;
    work();
    --m_depth;
    // A store that others share commits each page at once: its rows stay locked meanwhile.
    if (++m_pagesInBatch >= kCommitEveryPages || m_store->isShared() || !m_running)
        commit();
}

// The pages finished lately are committed together: a commit costs more than all the rest
// of a page's writes. Their numbers are told as stored only now, so that a kill never loses
// a number already reported; a killed batch's sites are still in the queue.
void PageKeeper::commit()
{
    if (!m_open || m_depth > 0)
        return;
    m_open = false;
    if (m_commitTimer)
        m_commitTimer->stop();
    // What the batch holds is taken before its commit: the message about a failed commit
    // may run a nested event loop, in which later pages begin a batch of their own.
    QList<FaxRow> rows;
    rows.swap(m_numbers);
    const bool failed = m_batchFailed;
    const quint64 refused = m_writesRefused;
    m_store->endBatch();
    // The commit itself can fail (the server went away just then): nothing of the batch is
    // stored, and none of its numbers may be told as stored.
    if (failed || m_writesRefused != refused)
        return;
    for (const FaxRow &row : qAsConst(rows))
        Q_EMIT numberStored(row);
}
