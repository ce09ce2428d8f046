#pragma once

#include <QByteArray>
#include <QHash>

#include <functional>

// Politeness towards one host at a time: at most perHost() downloads to a host at once, and
// for a host with a crawl delay, one download at a time with starts at least the delay
// apart. Hosts are compared with ASCII letter case ignored. Time comes from an injectable
// monotonic clock in milliseconds, so tests need not wait.
//
// The gate only counts; the caller asks before it connects, reports every end (finished,
// given up, failed), and holds back the sites the gate refuses.
class HostGate
{
public:
    using Clock = std::function<qint64()>;
    static constexpr int MinPerHost = 1;
    static constexpr int MaxPerHost = 4;
    static constexpr int DefaultPerHost = 2;

    // Without a clock the gate uses a monotonic one of its own.
    explicit HostGate(int perHost = DefaultPerHost, Clock clock = {});

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

private:
    struct Host
    {
        int running = 0;
        int delayMs = 0;
        qint64 lastStart = 0;
        bool started = false; // lastStart holds a start
    };
    void forgetIfIdle(const QByteArray &key);

    int m_perHost;
    Clock m_clock;
    QHash<QByteArray, Host> m_hosts; // keyed by the lower-case host
    int m_total = 0;
};
