#include "pagekeeper.h"

#include "analysisqueue.h"
#include "businessrecord.h"
#include "contactfirst.h"
#include "cp1252.h"
#include "crawllimits.h"
#include "crawlqueue.h"
#include "crawlscheduler.h"
#include "donotfax.h"
#include "faxscan.h"
#include "globals.h"
#include "pageanalysis.h"
#include "pagefiles.h"
#include "storednumbers.h"
#include "textlist.h"

#include <QTimer>

#include <limits>

namespace {
// Pages finished in one pass of the event loop are committed together, at most this many.
// The transaction never waits across passes for the network: another program that wants to
// write gets its turn whenever the harvest waits.
constexpr int kCommitEveryPages = 100;
} // namespace

PageKeeper::PageKeeper(Store *store, CrawlQueue *queue, Counters *counters,
                       CrawlScheduler *scheduler, const QString &dataDir, QObject *parent)
    : QObject(parent), m_store(store), m_queue(queue), m_counters(counters), m_scheduler(scheduler),
      m_analysis(new AnalysisQueue(this)), m_storedNumbers(std::make_shared<StoredNumbers>()),
      m_dataDir(dataDir), m_preview(new TextList(this))
{
    connect(m_analysis, &AnalysisQueue::done, this,
            [this](const AnalysisQueue::Page &page, const PageFindings &found) {
                analysisDone(page.slot, page.website, page.site, found);
            });
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

// SavePage
void PageKeeper::pageArrived(int slot, const QByteArray &body)
{
    if (!m_running)
        return;
    Q_EMIT stepChanged(Step::SavingPage);
    bool saved = writePageFile(pageFile1(m_dataDir, slot), body);
    // With the finder on, the second file gets only the page's text, once it is known: the
    // finder reads the page itself.
    const bool beside = m_analysisOptions.findBeyondFaxLine;
    QByteArray flat;
    if (!beside) {
        flat = withoutLineBreaks(body);
        saved = writePageFile(pageFile2(m_dataDir, slot), flat) && saved;
    }
    if (!saved) {
        // The files would hold an earlier page, and a later look at them would mistake it
        // for this one: the page is passed over instead.
        Q_EMIT stepChanged(Step::None);
        m_scheduler->fetchNext(slot);
        return;
    }
    if (beside)
        analyseBeside(slot, body);
    else
        analyseSavedPage(slot, body, flat);
}

// GetLinks and GetFaxes: the page's new links go into the backlog, its new numbers into the
// store, and the slot moves on. Relative links resolve against the page itself, not against
// whichever slot connected last.
void PageKeeper::analyseSavedPage(int slot, const QByteArray &body, const QByteArray &flatBody)
{
    const FetchRequest &r = m_scheduler->request(slot);
    const PageFindings found =
        analysePage(body, {r.pageUrl, r.pageDirectory}, m_analysisOptions, flatBody);
    // The harvest has stopped, and the page's site stays pending for Resume.
    if (!keep({slot, Cp1252::toUnicode(r.address()), QString()}, found))
        return;
    m_scheduler->fetchNext(slot);
    m_scheduler->wakeIdleSlotsAfterPage();
}

// The finder costs as much as the rest of a page: it runs on a thread of its own, and the
// slot goes on to its next site meanwhile. The page's site stays pending until its findings
// are kept; pages come back in the order they were handed over. A slot rests instead while
// the pages waiting for analysis are as many as the slots, or hold more than a budget.
void PageKeeper::analyseBeside(int slot, const QByteArray &body)
{
    constexpr qint64 kWaitingBudget = 16 * 1024 * 1024;
    const FetchRequest &r = m_scheduler->request(slot);
    const QString website = Cp1252::toUnicode(r.address());
    AnalysisOptions options = m_analysisOptions;
    // Numbers whose owner was read on another page of this site are not read again.
    options.isStored = [stored = m_storedNumbers, site = ContactFirst::siteOf(website)](
                           const QString &e164) { return stored->readOn(e164, site); };
    // The analysis holds the site now.
    m_analysis->submit(
        {m_scheduler->takeSite(slot), website, slot, body, {r.pageUrl, r.pageDirectory}}, options);
    if (m_analysis->size() >= m_scheduler->slotCount() ||
        m_analysis->bytesWaiting() > kWaitingBudget) {
        m_scheduler->rest(slot);
        return;
    }
    m_scheduler->fetchNext(slot);
}

void PageKeeper::analysisDone(int slot, const QString &website, const QString &site,
                              const PageFindings &found)
{
    inBatch([&] {
        if (!keep({slot, website, site}, found))
            return;
        // Its links may give resting slots work; the last page of a dry queue ends it.
        m_scheduler->wakeIdleSlots();
        m_scheduler->slotLeftIdle();
    });
}

bool PageKeeper::pagesWaiting() const
{
    return !m_analysis->isEmpty();
}

qint64 PageKeeper::bytesWaiting() const
{
    return m_analysis->bytesWaiting();
}

// A page downloaded is a page analysed, as when the analysis ran on the crawl's thread: a
// stop keeps the pages whose findings are still on their way, reading them here and now.
void PageKeeper::finishAnalysesNow(const std::function<bool()> &goOn)
{
    m_analysis->drainNow(
        m_analysisOptions, goOn,
        [this](const AnalysisQueue::Page &page, const PageFindings &found) {
            inBatch([&] { (void)keep({page.slot, page.website, page.site}, found); });
        });
}

QStringList PageKeeper::dropWaiting()
{
    QStringList sites;
    for (const AnalysisQueue::Page &page : m_analysis->takeAll())
        sites << page.site;
    return sites;
}

bool PageKeeper::keep(const Page &page, const PageFindings &found)
{
    const bool holdsSite = !page.site.isEmpty();
    const int unfinishedSlot = holdsSite ? -1 : page.slot;
    bool kept = true;
    Q_EMIT stepChanged(Step::GettingLinks);
    const bool contactFirst =
        m_scheduler->policy().contactFirst() && found.contactLinks.size() == found.links.size();
    if (contactFirst && !found.numbers.isEmpty())
        m_scheduler->contactFirst().faxFound(page.website);
    if (!queueLinks(found.links, contactFirst ? &found.contactLinks : nullptr)) {
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
    m_scheduler->contactFirst().siteDone(page.site);
    return true;
}

bool PageKeeper::queueLinks(const QStringList &links, const QList<bool> *contactLinks)
{
    ContactFirst &contactFirst = m_scheduler->contactFirst();
    // One transaction for the page's links.
    m_store->beginBatch();
    bool read = true;
    for (qsizetype i = 0; i < links.size(); ++i) {
        QString site = links.at(i);
        if (!CrawlLimits::lengthAcceptable(site))
            continue;
        const std::optional<bool> known = m_queue->isKnown(site);
        if (!known) {
            read = false;
            break;
        }
        if (*known)
            continue;
        const bool contact = contactLinks && contactLinks->at(i);
        if (contactLinks && !contactFirst.wanted(site, contact))
            continue;
        if (!m_scheduler->limits().admitPage(site))
            continue;
        m_counters->add(Counters::SiteFound);
        if (contactLinks && contactFirst.putFirst(site, contact)) {
            // Taken at once, as a refill takes a site: noted pending instead of joining the
            // backlog, it waits ahead of its host's other pages.
            if (m_store->notePending(site)) {
                m_queue->markHandedOut(site);
                m_scheduler->holdFirst(site);
                Q_EMIT siteQueued(site);
            }
            continue;
        }
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
    // A number whose owner the finder left unread (read on another page of this site) gets
    // the owner read there.
    const QByteArray site = ContactFirst::siteOf(website);
    ContactOwner owner = found.owner;
    if (owner == ContactOwner())
        owner = m_storedNumbers->ownerOn(row.e164, site);
    m_storedNumbers->remember(row.e164, site, owner);
    if (found.noUnsolicitedFaxes) {
        // Recorded like any number, but never exported. A failed write is reported by the
        // store and does not stop the harvest.
        (void)m_store->addDoNotFax(row.fax, DoNotFax::storedKey(row.fax, row.e164),
                                   Store::reasonNoticeSays);
        Q_EMIT numberRefusesFaxes(row);
    }
    Q_EMIT numberRead(row.fax, !*known);
    // The finder's numbers belong to a business, also when stored already (another page,
    // another search string). A failed write is reported by the store.
    if (!row.e164.isEmpty() && m_analysisOptions.findBeyondFaxLine)
        (void)m_store->addBusinessFax(BusinessRecord::of(row.e164, website, row.search, owner));
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

void PageKeeper::forgetOwners()
{
    m_storedNumbers->clear();
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
