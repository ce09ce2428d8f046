#include "crawlscheduler.h"

#include "connectionpool.h"
#include "cp1252.h"
#include "crawlqueue.h"
#include "globals.h"
#include "hostnames.h"
#include "httpresponse.h"
#include "logging.h"
#include "networkscope.h"
#include "pageanalysis.h"
#include "textlist.h"
#include "useragent.h"
#include "watchdogclock.h"

#include <QTimer>

#include <limits>

namespace {

// Sites waiting for their host (politeness) take at most this much memory; and a slot looks
// past at most this many of them in one go before it lets the event loop run.
constexpr qint64 kMaxHeldBytes = 8 * 1024 * 1024;
constexpr int kHoldsPerPass = 64;

// A "www." name needs a dot after its first label: www.example.com, not www.example.
// Kept on purpose (tst_scheduler wwwRule "capitals: replaced"): "www." anywhere in the site,
// in any letter case, brings the rule in, and the dot is looked for after the first one.
bool siteAcceptable(const QString &site)
{
    if (!site.contains(QLatin1String("www."), Qt::CaseInsensitive))
        return true;
    const int dot = int(site.indexOf(QLatin1Char('.')));
    return site.mid(dot + 1).contains(QLatin1Char('.'));
}

} // namespace

CrawlScheduler::CrawlScheduler(CrawlOwner *owner, CrawlQueue *queue, Counters *counters,
                               QObject *parent)
    : QObject(parent), m_owner(owner), m_queue(queue), m_counters(counters),
      m_errands(MaxSlotCount), m_systemClock(std::make_unique<SystemWatchdogClock>())
{
    for (int i = 0; i < MaxSlotCount; ++i)
        m_slots.push_back(new FetchSlot(i, this, this));
    m_pool = new ConnectionPool(2 * SlotCount, this);
    m_names = new HostNames(this);
    // Sites held while their host's name was looked up may go now (or be skipped).
    connect(m_names, &HostNames::lookedUp, this, [this] {
        if (m_running && m_policy.modern())
            wakeIdleSlots();
    });
    m_gate.setDueCallback([this] { wakeIdleSlots(); });
    m_teamWait = new QTimer(this);
    m_teamWait->setSingleShot(true);
    m_teamWait->setInterval(1000);
    connect(m_teamWait, &QTimer::timeout, this, &CrawlScheduler::wakeIdleSlots);
    setPolicy(m_policy);
}

CrawlScheduler::~CrawlScheduler()
{
    stopAll();
}

void CrawlScheduler::setPolicy(const CrawlPolicy &policy)
{
    const bool moreSlots = policy.slots != m_policy.slots;
    m_policy = policy;
    m_limits.setPagesPerHost(policy.pagesPerSite);
    m_gate.setPerHost(policy.downloadsPerSite);
    m_pool->setMaxIdle(2 * slotCount());
    // Every slot can start from a loaded head.
    m_queue->setHeadLoad(qMax(CrawlQueue::HeadLoad, slotCount()));
    if (moreSlots)
        wakeIdleSlotsAfterPage();
}

void CrawlScheduler::setLookupTimeout(int ms)
{
    m_names->setTimeoutMs(ms);
}

void CrawlScheduler::setTeamPoll(int ms)
{
    m_teamWait->setInterval(ms);
}

WatchdogClock *CrawlScheduler::watchdogClock() const
{
    return m_watchdogClock ? m_watchdogClock : m_systemClock.get();
}

CrawlScheduler::SlotInfo CrawlScheduler::slotInfo(int slot) const
{
    SlotInfo info;
    if (slot < 0 || slot >= MaxSlotCount)
        return info;
    const FetchSlot *s = m_slots[size_t(slot)];
    info.connected = s->isConnected();
    info.watchdogs = s->watchdogsRunning();
    info.host = s->request().host;
    info.path = s->request().path;
    info.https = s->request().https;
    info.contentLength = s->contentLength();
    info.bodyBytes = s->bodyBytes();
    info.hops = m_errands[size_t(slot)].hops;
    return info;
}

bool CrawlScheduler::anySlotConnected() const
{
    for (const FetchSlot *s : m_slots) {
        if (s->isConnected())
            return true;
    }
    return false;
}

// ---- dispatch ------------------------------------------------------------------------------

void CrawlScheduler::begin()
{
    m_finishing = false;
    m_sitesSinceAdvance = 0;
    TextList *head = m_queue->head();
    if (head->isEmpty())
        m_queue->loadHead();
    const int calls = qMin(head->count(), slotCount() - 1) + 1;
    for (int slot = 0; slot < calls; ++slot)
        fetchNext(slot);
}

void CrawlScheduler::newSearch()
{
    m_limits.clearPageCounts();
    m_gate.newSearch();
    m_contactFirst.clear();
}

void CrawlScheduler::holdFirst(const QString &site)
{
    m_gate.holdFirst(connectTargetOf(Cp1252::fromUnicode(site)).strHost, site);
}

bool CrawlScheduler::refill()
{
    const QString site = nextBacklogSite();
    if (!m_running)
        return false;
    if (!site.isEmpty()) {
        m_queue->head()->addItem(site);
        m_finishing = false;
        m_owner->workArrived(); // work again after the last queue ran dry
    }
    return true;
}

void CrawlScheduler::fetchNext(int slot)
{
    if (slot < 0 || slot >= MaxSlotCount)
        return;
    TextList *head = m_queue->head();
    // Sites on abandoned hosts are skipped here, in a loop rather than by nested calls.
    Errand &e = m_errands[size_t(slot)];
    if (e.robotsFetch)
        robotsUnreadable(slot);
    if (slot >= slotCount()) {
        // Fewer parallel downloads were chosen: this slot rests once its site is done.
        if (!e.site.isEmpty()) {
            m_queue->siteDone(e.site);
            m_contactFirst.siteDone(e.site);
        }
        e.site.clear();
        releaseGate(slot);
        return;
    }
    for (;;) {
        // The slot's last site (analysed, given up or skipped) is no longer pending.
        if (!e.site.isEmpty()) {
            m_queue->siteDone(e.site);
            m_contactFirst.siteDone(e.site);
            e.site.clear();
        }
        releaseGate(slot);
        if (!m_running)
            return;
        if (m_sitesSinceAdvance < std::numeric_limits<qint32>::max() && !m_waking)
            ++m_sitesSinceAdvance;
        m_waking = false;
        if (m_sitesSinceAdvance > m_policy.advanceAfter && m_policy.autoAdvance) {
            m_sitesSinceAdvance = 0;
            m_owner->advanceDue();
            return;
        }
        // The site handed out last leaves the head; after a start nothing has been handed
        // out yet, so entry 0 is still to be fetched.
        m_queue->dropHandedOutHead();
        // A site held back for its host goes first once the host may take it.
        if (m_policy.modern()) {
            if (const std::optional<QString> held =
                    m_gate.takeReady([this](const QByteArray &host) { return hostReady(host); })) {
                e.site = *held;
                if (connectSlot(slot, *held) == ConnectResult::Skipped)
                    continue;
                return;
            }
        }
        int held = 0;
        for (;;) {
            if (head->isEmpty()) {
                if (!refill())
                    return;
                if (head->isEmpty()) {
                    if (m_running)
                        m_gate.scheduleDue();
                    slotLeftIdle();
                    return;
                }
                continue;
            }
            if (!siteAcceptable(head->item(0))) {
                m_queue->dropHead();
                if (!refill())
                    return;
                continue;
            }
            if (!m_policy.modern())
                break;
            const QByteArray host = connectTargetOf(Cp1252::fromUnicode(head->item(0))).strHost;
            if (hostReady(host))
                break;
            // Its host may not take it now: the site waits in its host's queue (noted pending
            // still) while the sites behind it are looked at. Within bounds: so many hosts
            // waiting at once, and so much memory; beyond them the slot rests until a host
            // frees or a delay ends. A long run of one host's sites is looked past a few at
            // a time, the rest in the next pass of the event loop.
            if ((!m_gate.isHolding(host) && m_gate.heldHosts() >= 4 * slotCount()) ||
                m_gate.heldBytes() >= kMaxHeldBytes) {
                if (m_running)
                    m_gate.scheduleDue();
                return;
            }
            if (++held > kHoldsPerPass) {
                lookAgainSoon();
                return;
            }
            const QString site = head->item(0);
            m_queue->markHandedOut(site);
            head->removeItem(0);
            m_gate.hold(host, site);
            if (!refill())
                return;
        }
        const QString site = head->item(0);
        m_queue->handOutHead();
        if (!refill())
            return;
        e.site = site;
        if (connectSlot(slot, site) == ConnectResult::Skipped)
            continue;
        return;
    }
}

// With more slots than the original ten, or politeness holding sites back, a slot that
// found nothing to do starts again when pages have queued new sites; the original ten rest
// until the harvest stops.
void CrawlScheduler::wakeIdleSlotsAfterPage()
{
    if (slotCount() <= SlotCount && !m_policy.modern())
        return;
    wakeIdleSlots();
}

void CrawlScheduler::wakeIdleSlots()
{
    // One idle slot after the other, until one finds nothing (it waits again, or the queue
    // ran dry).
    for (int i = 0; i < slotCount(); ++i) {
        FetchSlot *s = m_slots[size_t(i)];
        Errand &e = m_errands[size_t(i)];
        if (!m_running)
            return;
        if (s->isConnected() || !e.site.isEmpty())
            continue;
        // A slot that rested while its page waited for analysis moves on as after a page.
        m_waking = !e.restingAfterPage;
        e.restingAfterPage = false;
        fetchNext(i);
        m_waking = false;
        if (!s->isConnected() && e.site.isEmpty())
            return;
    }
}

bool CrawlScheduler::hostReady(const QByteArray &host) const
{
    if (host.isEmpty() || m_limits.isAbandoned(host))
        return true; // skipped at once
    if (m_policy.obeysRobots() && m_gate.robotsPending(host))
        return false;
    if (m_policy.modern()) {
        // A host mapped by the user needs no lookup; a name that failed is tried, and its
        // slot frees at once.
        const QString name = QString::fromLatin1(host);
        if (!m_resolve.lookup(name) && !m_tlsResolve.lookup(name)) {
            const HostNames::State named = m_names->state(host);
            if (named == HostNames::State::Unknown)
                m_names->lookUp(host);
            if (named == HostNames::State::Unknown || named == HostNames::State::Looking)
                return false;
        }
    }
    // A site's other pages wait while its contact pages are read (the gate hands out those
    // first).
    if (m_policy.contactFirst() && m_contactFirst.holdsBack(host) && !m_gate.frontHeldFirst(host))
        return false;
    return m_gate.waitFor(host) == 0;
}

void CrawlScheduler::releaseGate(int slot)
{
    Errand &e = m_errands[size_t(slot)];
    e.robotsFetch = false;
    if (e.gateHost.isEmpty())
        return;
    m_gate.finished(e.gateHost);
    e.gateHost.clear();
}

QString CrawlScheduler::takeSite(int slot)
{
    QString site;
    site.swap(m_errands[size_t(slot)].site);
    return site;
}

void CrawlScheduler::rest(int slot)
{
    releaseGate(slot);
    m_errands[size_t(slot)].restingAfterPage = true;
}

void CrawlScheduler::slotLeftIdle()
{
    // The queue ran dry while downloads were running: it is decided when the last of them
    // has been analysed (its links may have refilled the queue meanwhile).
    if (m_running && m_finishing && !anySlotConnected() && !m_owner->pagesWaiting() &&
        m_gate.heldSites() == 0)
        queueDry();
}

// NextQueuedSite: the next backlog site for a refill (it stays in the table), or the empty
// text. When the backlog and the head are empty and no download runs, the search's queue
// is dry; while downloads run, that is decided when the last of them has been analysed.
QString CrawlScheduler::nextBacklogSite()
{
    const std::optional<QString> first = m_queue->takeFirst();
    if (!first) {
        // Taking the backlog for empty would end the search string's queue.
        m_owner->storeUnreadable(-1);
        return QString();
    }
    if (!first->isEmpty())
        return *first;
    // The sites already in the head are crawled first, and the pages still downloading may
    // queue more: the search's queue is dry only when neither holds anything.
    if (!m_queue->head()->isEmpty() || m_gate.heldSites() > 0)
        return QString();
    if (anySlotConnected() || m_owner->pagesWaiting()) {
        m_finishing = true;
        return QString();
    }
    const std::optional<bool> teamWorks = m_owner->teamStillWorking();
    if (!teamWorks) {
        m_owner->storeUnreadable(-1);
        return QString();
    }
    if (*teamWorks) {
        waitForTeam();
        return QString();
    }
    queueDry();
    return QString();
}

void CrawlScheduler::queueDry()
{
    m_finishing = false;
    // The last download's end decides without taking again: sites the head still holds are
    // handed out first.
    if (!m_queue->head()->isEmpty()) {
        lookAgainSoon();
        return;
    }
    // Nothing is in flight now, so a site still noted as taken by this harvester was never
    // analysed: a restore at the start failed (a server busy or out of reach for a moment),
    // and on a shared store no teammate would ever take it. It is crawled before the queue
    // counts as dry.
    const std::optional<int> back = m_queue->restorePending(true);
    if (!back) {
        m_owner->storeUnreadable(-1);
        return;
    }
    if (*back > 0) {
        qCWarning(lcEngine) << *back << "sites taken but never analysed went back to the queue";
        lookAgainSoon();
        return;
    }
    m_owner->queueRanDry();
}

void CrawlScheduler::waitForTeam()
{
    m_finishing = false;
    if (!m_teamWait->isActive())
        m_teamWait->start();
}

void CrawlScheduler::stopAll()
{
    for (int i = 0; i < MaxSlotCount; ++i) {
        m_errands[size_t(i)].restingAfterPage = false;
        m_slots[size_t(i)]->stop();
        releaseGate(i);
    }
    // A robots.txt cut off is read again by the next download of its host.
    m_gate.forgetPendingRobots();
    m_gate.stopTimer();
    m_pool->clear();
    // Names are looked up once per run.
    m_names->forget();
}

void CrawlScheduler::returnInterrupted(int unfinishedSlot, const QString &head,
                                       const std::function<bool(int slot)> &cutOff)
{
    for (int i = 0; i < MaxSlotCount; ++i) {
        Errand &e = m_errands[size_t(i)];
        const QString site = e.site;
        e.site.clear(); // the slot holds no site any more
        const bool interrupted =
            m_slots[size_t(i)]->isConnected() || i == unfinishedSlot || cutOff(i);
        if (!interrupted || site.isEmpty() || site == head)
            continue;
        m_queue->returnToBacklog(site);
    }
    for (const QString &site : m_gate.takeAllHeld())
        m_queue->returnToBacklog(site);
    m_contactFirst.forgetUnread();
}

// ---- downloads -----------------------------------------------------------------------------

// ConnectSlot
CrawlScheduler::ConnectResult CrawlScheduler::connectSlot(int slot, const QString &site)
{
    if (!m_running)
        return ConnectResult::NotRunning;
    const QByteArray strUrl = Cp1252::fromUnicode(site);
    FetchRequest r = FetchRequest::forSite(strUrl, m_policy.modern(), m_policy.userAgent);
    m_currentPageUrl = r.pageUrl;
    Errand &e = m_errands[size_t(slot)];
    e.hops = 0;
    preferKnownHttps(r);
    if (r.host.isEmpty() || strUrl.size() > CrawlLimits::MaxSiteLength ||
        m_limits.isAbandoned(r.host) ||
        (m_policy.contactFirst() && m_contactFirst.passOver(site))) {
        m_slots[size_t(slot)]->stop();
        return ConnectResult::Skipped;
    }
    if (m_policy.modern() && m_gate.tryStart(r.host))
        e.gateHost = r.host;
    switch (m_gate.admit(r.host, r.path, m_policy.obeysRobots())) {
    case HostGate::Answer::Go:
        break;
    case HostGate::Answer::Skip:
        m_slots[size_t(slot)]->stop();
        return ConnectResult::Skipped;
    case HostGate::Answer::ReadRobotsFirst:
        // The host's first page: its robots.txt is read first, on this slot.
        e.robotsFetch = true;
        e.robotsHost = CrawlLimits::foldCase(r.host);
        e.pagePath = r.path;
        r.path = "/robots.txt";
        break;
    }
    beginDownload(slot, std::move(r));
    return ConnectResult::Started;
}

void CrawlScheduler::beginDownload(int slot, FetchRequest request)
{
    Q_EMIT downloadStarted((request.https ? QByteArray("https://") : QByteArray("http://")) +
                           request.address());
    m_slots[size_t(slot)]->begin(request);
}

void CrawlScheduler::slotConnected(int slot)
{
    Q_EMIT downloadConnected(slot);
}

void CrawlScheduler::slotReceived(int slot)
{
    const FetchSlot *s = m_slots[size_t(slot)];
    Q_EMIT downloadReceived(slot, s->request().address(), s->bodyBytes(), s->contentLength());
}

void CrawlScheduler::slotAbandoned(int slot)
{
    FetchSlot *s = m_slots[size_t(slot)];
    s->stop();
    s->dropReceived();
    const QByteArray host = s->request().host;
    m_limits.abandon(host);
    Q_EMIT abandonedHostsChanged(m_limits.abandonedText());
    Q_EMIT downloadAbandoned(slot, host);
    fetchNext(slot);
}

void CrawlScheduler::slotFailed(int slot)
{
    // Remembered as a watchdog remembers a silent host, without waiting for it.
    slotAbandoned(slot);
}

// Ten slots may each hold the largest response; more would hold more memory than a desktop
// program should. Beyond ten, responses larger than kSmallResponse share a budget, and the
// one that would exceed it is given up like an oversized one.
bool CrawlScheduler::mayKeep(int slot, qint64 bytes) const
{
    constexpr qint64 kSmallResponse = 512 * 1024;
    constexpr qint64 kLargeResponseBudget = 64 * 1024 * 1024;
    if (slotCount() <= SlotCount || bytes <= kSmallResponse)
        return true;
    // Pages waiting for their analysis are held as long as those still arriving.
    qint64 total = m_owner->bytesWaiting();
    for (const FetchSlot *s : m_slots) {
        if (s->index() != slot && s->received().size() > kSmallResponse)
            total += s->received().size();
    }
    return total + bytes <= kLargeResponseBudget;
}

void CrawlScheduler::slotFinished(int slot)
{
    m_owner->inPageBatch([this, slot] { finishPage(slot); });
}

void CrawlScheduler::finishPage(int slot)
{
    FetchSlot *s = m_slots[size_t(slot)];
    QByteArray page = s->takeReceived();
    if (followRedirect(slot, page))
        return;
    if (m_errands[size_t(slot)].robotsFetch) {
        robotsAnswered(slot, page);
        return;
    }
    // Kept on purpose (tst_fetchslots pageFilesAndProgress "error page"): a page its server
    // completed counts as scanned, whatever its status.
    m_counters->add(Counters::SiteScanned);
    QByteArray body = HttpResponse::cutHeader(page);
    if (m_policy.modern() && HttpResponse::isChunked(page))
        body = HttpResponse::dechunk(body);
    page = QByteArray(); // a large page is not held twice while it is analysed
    const QByteArray address = s->request().address();
    if (m_errands[size_t(slot)].hops > 0)
        m_queue->markHandedOut(Cp1252::toUnicode(address)); // the page a redirect led to
    m_currentPageUrl = s->request().pageUrl;
    Q_EMIT pageFinished(slot, address);
    m_owner->pageArrived(slot, body);
}

bool CrawlScheduler::followRedirect(int slot, const QByteArray &page)
{
    const FetchRequest &from = m_slots[size_t(slot)]->request();
    Errand &e = m_errands[size_t(slot)];
    if (!m_policy.modern() || e.hops >= MaxRedirectHops ||
        !HttpResponse::isRedirectStatus(HttpResponse::statusCode(page)))
        return false;
    const QByteArray location = HttpResponse::headerValue(page, "Location");
    HttpResponse::Target t;
    if (location.isEmpty() ||
        !HttpResponse::resolveLocation(from.https, from.host, from.path, location, &t))
        return false;
    // A redirect may not lead to other services (mail, databases, admin ports), unless the
    // user allows the local network or mapped the host.
    const QString name = QString::fromLatin1(t.hostName);
    const bool mapped = (t.https && m_tlsResolve.lookup(name)) || m_resolve.lookup(name);
    if (!NetworkScope::mayRedirectToPort(t.port, m_policy.allowLocal, mapped)) {
        if (!e.robotsFetch)
            return false;
        // A robots.txt that cannot be read through its redirects: the host is unreachable.
        fetchNext(slot);
        return true;
    }
    // A host that sends a plain page to the same page over TLS has moved to TLS as a whole:
    // its next pages are asked for over TLS at once. (One that sends some paths elsewhere
    // over TLS has not.)
    if (!from.https && t.https && t.port == 443 && from.connectPort == 80 && t.path == from.path &&
        CrawlLimits::foldCase(t.hostName) == CrawlLimits::foldCase(from.connectName))
        m_limits.noteSecure(from.connectName);
    ++e.hops;
    FetchRequest to = FetchRequest::redirected(from, t);
    m_currentPageUrl = to.pageUrl;
    if (m_limits.isAbandoned(t.host)) {
        fetchNext(slot);
        return true;
    }
    beginDownload(slot, std::move(to));
    return true;
}

void CrawlScheduler::robotsAnswered(int slot, const QByteArray &page)
{
    Errand &e = m_errands[size_t(slot)];
    e.robotsFetch = false;
    QByteArray body = HttpResponse::cutHeader(page);
    if (HttpResponse::isChunked(page))
        body = HttpResponse::dechunk(body);
    const RobotsTxt rules = RobotsTxt::fromAnswer(HttpResponse::statusCode(page), e.hops, body,
                                                  UserAgent::defaultProductToken());
    m_gate.robotsRead(e.robotsHost, rules);
    if (!e.gateHost.isEmpty())
        m_gate.setCrawlDelay(e.gateHost, rules.crawlDelayMs());
    if (!rules.allowed(e.pagePath)) {
        fetchNext(slot); // the site is done without its page
        return;
    }
    // Now the page itself, from its own address.
    const FetchRequest &before = m_slots[size_t(slot)]->request();
    FetchRequest r = FetchRequest::forSite(Cp1252::fromUnicode(e.site), true, before.userAgent);
    r.keepAlive = before.keepAlive;
    e.hops = 0;
    preferKnownHttps(r);
    beginDownload(slot, std::move(r));
}

// A robots.txt given up on (silent, dead, on a local address, or a redirect that cannot be
// followed) makes its host unreachable for the search: nothing of it is fetched, and its
// waiting sites are skipped rather than held for ever.
void CrawlScheduler::robotsUnreadable(int slot)
{
    Errand &e = m_errands[size_t(slot)];
    e.robotsFetch = false;
    if (!m_running)
        return; // a stop forgets the entry: it is read again
    m_gate.robotsUnreadable(e.robotsHost, e.hops);
}

void CrawlScheduler::preferKnownHttps(FetchRequest &request) const
{
    if (!m_policy.modern() || request.https || !m_limits.isSecure(request.connectName))
        return;
    request.preferTls();
}
