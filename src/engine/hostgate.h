#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "robotstxt.h"

#include <functional>
#include <memory>
#include <optional>

class QTimer;

// Politeness towards one host at a time: at most perHost() downloads to a host at once, and
// for a host with a crawl delay, one download at a time with starts at least the delay
// apart. Hosts are compared with ASCII letter case ignored. Time comes from an injectable
// monotonic clock in milliseconds, so tests need not wait.
//
// The caller asks before it connects and reports every end (finished, given up, failed).
// A site whose host may not take it now waits in its host's queue here (one queue per host,
// first in first out), so that the next free download goes to another host that is ready:
// a waiting host holds back its own sites, never the crawl.
//
// With robots.txt obeyed, the gate also keeps each host's rules for the search: a host's
// first download reads its robots.txt first, the host's other sites wait while it is read,
// and a page its rules forbid is skipped. Sites that wait for a crawl delay are due at a
// time: a single-shot timer (made when first needed) calls the due callback then.
class HostGate
{
public:
    using Clock = std::function<qint64()>;
    static constexpr int MinPerHost = 1;
    static constexpr int MaxPerHost = 4;
    static constexpr int DefaultPerHost = 2;

    // Without a clock the gate uses a monotonic one of its own.
    explicit HostGate(int perHost = DefaultPerHost, Clock clock = {});
    ~HostGate();
    HostGate(const HostGate &) = delete;
    HostGate &operator=(const HostGate &) = delete;

    int perHost() const { return m_perHost; }
    void setPerHost(int n); // clamped to 1..4

    // A delay between downloads to host (capped as robots.txt's Crawl-delay is); 0 removes it.
    void setCrawlDelay(const QByteArray &host, int ms);
    int crawlDelay(const QByteArray &host) const;

    // Milliseconds until a download to host may start: 0 now, -1 only after a running one
    // ends.
    qint64 waitFor(const QByteArray &host) const;
    // Starts a download to host when waitFor() is 0; false (and nothing counted) otherwise.
    bool tryStart(const QByteArray &host);
    // A download to host ended, whatever the outcome. An end without a start is ignored.
    void finished(const QByteArray &host);

    int running(const QByteArray &host) const;
    int runningTotal() const { return m_total; }
    // Hosts with something to remember (downloads running or a crawl delay).
    int hostCount() const { return int(m_hosts.size()); }

    // ---- sites waiting for their host -------------------------------------------------
    // Why a host may not take a site now is the caller's to say (this gate, its robots.txt
    // or its name still being read): ready(host) answers it.
    using Ready = std::function<bool(const QByteArray &host)>;
    // The site waits in its host's queue.
    void hold(const QByteArray &host, const QString &site);
    // The site waits ahead of its host's other sites (behind those held first before it),
    // and goes before the sites of every host that has none held first.
    void holdFirst(const QByteArray &host, const QString &site);
    // Of the hosts that are ready, the one whose first site was held first, or else has
    // waited longest, gives it up; nothing when no waiting host is ready.
    std::optional<QString> takeReady(const Ready &ready);
    // Every waiting site, in the order they came, and the queues emptied.
    QStringList takeAllHeld();
    bool isHolding(const QByteArray &host) const;
    // The next site of host's queue was held first.
    bool frontHeldFirst(const QByteArray &host) const;
    int heldHosts() const { return int(m_held.size()); }
    int heldSites() const { return m_heldSites; }
    // Memory the waiting sites take, roughly, in bytes.
    qint64 heldBytes() const { return m_heldBytes; }
    // Milliseconds until the first waiting host's crawl delay ends; -1 when no waiting host
    // waits for time (they wait for an end, or for the caller's reasons).
    qint64 nextDue() const;

    // ---- robots.txt ------------------------------------------------------------------
    // What a download of path on host may do, asked when it is about to connect.
    enum class Answer
    {
        Go,              // download the page
        Skip,            // its host's rules forbid the page: the site is done without it
        ReadRobotsFirst, // the host's first download: its robots.txt is read first
    };
    // With robots off every page goes. ReadRobotsFirst notes the host's rules as being read.
    Answer admit(const QByteArray &host, const QByteArray &path, bool robots);
    // The host's robots.txt is being read: its sites wait (Hold).
    bool robotsPending(const QByteArray &host) const;
    // The rules of host, read (an unreadable file gives the rules that keep the host out).
    void robotsRead(const QByteArray &host, const RobotsTxt &rules);
    // A read given up on: the host counts as unreachable for the search, unless the read
    // ended otherwise meanwhile.
    void robotsUnreadable(const QByteArray &host, int redirectsFollowed);
    bool allowedByRobots(const QByteArray &host, const QByteArray &path) const;
    // Reads cut off by a stop are read again by the next download of their host.
    void forgetPendingRobots();
    // A new search: every host's rules and every waiting site forgotten.
    void newSearch();

    // ---- the due timer -----------------------------------------------------------------
    // Called when the soonest waiting host's delay ends, or at once by lookAgainSoon().
    void setDueCallback(std::function<void()> due);
    // Arms the timer for nextDue() when sites wait for time (never later than it is set).
    void scheduleDue();
    // The due callback in the next pass of the event loop.
    void lookAgainSoon();
    void stopTimer();

private:
    struct Host
    {
        int running = 0;
        int delayMs = 0;
        qint64 lastStart = 0;
        bool started = false; // lastStart holds a start
    };
    void forgetIfIdle(const QByteArray &key);

    struct Waiting
    {
        QString site;
        quint64 order = 0;  // when it came, among every site held
        bool first = false; // held first: ahead of the sites held plainly
    };
    struct Queue
    {
        QByteArray host; // as first given
        QList<Waiting> sites;
        qsizetype next = 0; // the first site still waiting
    };
    static qint64 costOf(const QString &site);

    int m_perHost;
    Clock m_clock;
    QHash<QByteArray, Host> m_hosts; // keyed by the lower-case host
    int m_total = 0;
    QHash<QByteArray, Queue> m_held; // keyed by the lower-case host; never an empty queue
    int m_heldSites = 0;
    qint64 m_heldBytes = 0;
    quint64 m_holdOrder = 0;

    // By ASCII-folded host; no entry: not read yet.
    struct RobotsEntry
    {
        bool pending = true; // being read
        RobotsTxt rules;
    };
    QHash<QByteArray, RobotsEntry> m_robots;
    std::function<void()> m_due;
    std::unique_ptr<QTimer> m_timer;
    QTimer *timer();
};
