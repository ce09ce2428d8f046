#pragma once

#include "contactfirst.h"
#include "crawllimits.h"
#include "crawlpolicy.h"
#include "fetchslot.h"
#include "hostgate.h"
#include "resolvemap.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ConnectionPool;
class Counters;
class CrawlQueue;
class HostNames;
class SystemWatchdogClock;
class QTimer;
class WatchdogClock;

// What the scheduler asks of the harvest it works for, and what it hands it.
class CrawlOwner
{
public:
    virtual ~CrawlOwner() = default;
    // The sites handed out since the start passed the policy's bound: the next search.
    virtual void advanceDue() = 0;
    // A site came into the head after the last queue ran dry.
    virtual void workArrived() = 0;
    // Nothing is queued, nothing is in flight and nothing was left pending: what that means
    // is the harvest's to say.
    virtual void queueRanDry() = 0;
    // The backlog could not be read; slot: the one whose page was at hand, or -1.
    virtual void storeUnreadable(int slot) = 0;
    // The whole of a page (its body, the header cut off and the framing undone) to keep.
    virtual void pageArrived(int slot, const QByteArray &body) = 0;
    // Runs work with the page writes of this pass of the event loop.
    virtual void inPageBatch(const std::function<void()> &work) = 0;
    // Pages downloaded and waiting for their analysis, and the bytes they hold.
    virtual bool pagesWaiting() const = 0;
    virtual qint64 bytesWaiting() const = 0;
    // Whether a teammate still works on the queue (false without a team); nothing when
    // the store could not be read.
    virtual std::optional<bool> teamStillWorking() = 0;
};

// Hands the fetch slots their sites: the next site of the head (refilled from the backlog),
// the "www." rule, the sites on abandoned hosts skipped, the advance counter, and in the
// modern mode the politeness gate (per-host queues, robots.txt, names looked up first),
// redirects and kept connections. It owns the slots and what a download needs (connection
// pool, names of the run, resolve maps, the limits of the search); the queue, the counters
// and the owner belong to the harvest and outlive it.
class CrawlScheduler : public QObject, private FetchSlotOwner
{
    Q_OBJECT
public:
    static constexpr int SlotCount = CrawlPolicy::ReferenceSlots;
    static constexpr int MaxSlotCount = 100;
    // Redirects followed per site in the modern mode.
    static constexpr int MaxRedirectHops = 5;

    CrawlScheduler(CrawlOwner *owner, CrawlQueue *queue, Counters *counters,
                   QObject *parent = nullptr);
    ~CrawlScheduler() override;

    void setPolicy(const CrawlPolicy &policy);
    const CrawlPolicy &policy() const { return m_policy; }
    void setResolveMap(const ResolveMap &map) { m_resolve = map; }
    void setTlsResolveMap(const ResolveMap &map) { m_tlsResolve = map; }
    void setWatchdogClock(WatchdogClock *clock) { m_watchdogClock = clock; }
    void setLookupTimeout(int ms);
    void setTeamPoll(int ms);
    qint16 idleLimit() const override { return m_idleLimit; }
    qint16 totalLimit() const override { return m_totalLimit; }
    void setIdleLimit(qint16 ticks) { m_idleLimit = ticks; }
    void setTotalLimit(qint16 ticks) { m_totalLimit = ticks; }

    // Slots hand out sites only while running; data arriving otherwise is left.
    void setRunning(bool running) { m_running = running; }
    bool isRunning() const { return m_running; }
    int slotCount() const { return m_policy.slots; }

    // The crawl of a queue begins: the slots take their first sites (the head's entry 0
    // first).
    void begin();
    // FetchNextSite: gives the slot its next site, or nothing.
    void fetchNext(int slot);
    // Idle slots look for work again.
    void wakeIdleSlots();
    // After a page: idle slots look again where more slots or politeness can leave them
    // idle while work waits.
    void wakeIdleSlotsAfterPage();
    // The queue ran dry while downloads ran: decided once the last of them is done.
    void slotLeftIdle();
    // The queue is empty here while the team still works on it: look again in a while.
    void waitForTeam();
    // Idle slots look again in the next pass of the event loop.
    void lookAgainSoon() { m_gate.lookAgainSoon(); }
    // A new search string: page counts, robots.txt rules, waiting sites and the sites' contact
    // pages forgotten.
    void newSearch();
    // Every download dropped and every socket closed; names are looked up again.
    void stopAll();
    // Sites of downloads cut off (and unfinishedSlot's, whose page was not kept whole, and
    // those of the slots cutOff names) and the sites waiting for their host go back to the
    // backlog, except head. No site waits for its contact pages any more.
    void returnInterrupted(int unfinishedSlot, const QString &head,
                           const std::function<bool(int slot)> &cutOff);

    // The slot's page, handed to analysis: the site leaves the slot with it.
    QString takeSite(int slot);
    // The slot waits, its page in line for analysis, until wakeIdleSlots().
    void rest(int slot);
    const FetchRequest &request(int slot) const { return m_slots[size_t(slot)]->request(); }
    bool anySlotConnected() const;
    bool isFinishing() const { return m_finishing; }
    qint32 sitesSinceAdvance() const { return m_sitesSinceAdvance; }
    void resetAdvanceCount() { m_sitesSinceAdvance = 0; }
    QByteArray currentPageUrl() const { return m_currentPageUrl; }
    void setCurrentPageUrl(const QByteArray &url) { m_currentPageUrl = url; }

    // Contact pages first (CrawlPolicy::contactFirst): which sites have shown a fax and
    // whose contact pages are still to be read.
    ContactFirst &contactFirst() { return m_contactFirst; }
    // A contact page of a link goes ahead of its host's other sites (it is noted pending).
    void holdFirst(const QString &site);

    CrawlLimits &limits() { return m_limits; }
    const CrawlLimits &limits() const { return m_limits; }

    struct SlotInfo
    {
        bool connected = false;
        bool watchdogs = false;
        QByteArray host;
        QByteArray path;
        bool https = false;
        qint32 contentLength = 0;
        qint32 bodyBytes = 0;
        int hops = 0;
    };
    SlotInfo slotInfo(int slot) const;

Q_SIGNALS:
    // A download begins (address with its scheme), its request went out, data arrived.
    void downloadStarted(const QByteArray &url);
    void downloadConnected(int slot);
    void downloadReceived(int slot, const QByteArray &address, qint32 bodyBytes,
                          qint32 contentLength);
    // A slot's page was completed by its server and goes to be kept (after redirects).
    void pageFinished(int slot, const QByteArray &address);
    // A slot gave up on a site (watchdog or size bound); the host is now avoided.
    void downloadAbandoned(int slot, const QByteArray &host);
    void abandonedHostsChanged(const QByteArray &hosts);

private:
    enum class ConnectResult
    {
        Started,
        Skipped,
        NotRunning
    };
    // What the scheduler notes about a slot's site; the slot itself never reads it.
    struct Errand
    {
        QString site;             // the queue entry the slot works for
        int hops = 0;             // redirects followed for the site
        QByteArray gateHost;      // the host the gate counts the download against
        bool robotsFetch = false; // reading the host's robots.txt before the page
        QByteArray robotsHost;    // whose robots.txt it is (redirects change host)
        QByteArray pagePath;      // the page to fetch after robots.txt
        bool restingAfterPage = false;
    };

    // FetchSlotOwner
    bool slotsActive() const override { return m_running; }
    WatchdogClock *watchdogClock() const override;
    void slotConnected(int slot) override;
    void slotReceived(int slot) override;
    void slotFinished(int slot) override;
    void slotAbandoned(int slot) override;
    void slotFailed(int slot) override;
    bool mayKeep(int slot, qint64 bytes) const override;
    ConnectionPool *connectionPool() override { return m_pool; }
    HostNames *hostNames() override { return m_names; }
    const ResolveMap &resolveMap() const override { return m_resolve; }
    const ResolveMap &tlsResolveMap() const override { return m_tlsResolve; }
    bool allowLocalAddresses() const override { return m_policy.allowLocal; }

    bool refill();
    QString nextBacklogSite();
    // Nothing queued, nothing in flight: sites the head still holds or that were taken and
    // never analysed go first; only then is the queue dry for the owner.
    void queueDry();
    bool hostReady(const QByteArray &host) const;
    void releaseGate(int slot);
    ConnectResult connectSlot(int slot, const QString &site);
    void beginDownload(int slot, FetchRequest request);
    void finishPage(int slot);
    bool followRedirect(int slot, const QByteArray &page);
    void robotsAnswered(int slot, const QByteArray &page);
    void robotsUnreadable(int slot);
    void preferKnownHttps(FetchRequest &request) const;

    CrawlOwner *m_owner;
    CrawlQueue *m_queue;
    Counters *m_counters;
    CrawlPolicy m_policy;
    std::vector<FetchSlot *> m_slots; // MaxSlotCount; the first slotCount() are used
    std::vector<Errand> m_errands;    // one a slot
    CrawlLimits m_limits;
    HostGate m_gate;
    ContactFirst m_contactFirst;
    ConnectionPool *m_pool;
    HostNames *m_names;
    ResolveMap m_resolve;
    ResolveMap m_tlsResolve;
    WatchdogClock *m_watchdogClock = nullptr;
    std::unique_ptr<SystemWatchdogClock> m_systemClock;
    QTimer *m_teamWait;
    qint16 m_idleLimit = 10;
    qint16 m_totalLimit = 30;
    bool m_running = false;
    bool m_finishing = false; // the queue is empty; decide when the running downloads end
    bool m_waking = false;    // idle slots look for work again; no site is counted
    qint32 m_sitesSinceAdvance = 0;
    QByteArray m_currentPageUrl; // strCurUrl
};
