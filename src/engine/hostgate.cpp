#include "hostgate.h"

#include "crawllimits.h"
#include "robotstxt.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <memory>

HostGate::HostGate(int perHost, Clock clock)
    : m_perHost(qBound(MinPerHost, perHost, MaxPerHost)), m_clock(std::move(clock))
{
    if (!m_clock) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        m_clock = [timer] { return timer->elapsed(); };
    }
}

HostGate::~HostGate() = default;

void HostGate::setPerHost(int n)
{
    m_perHost = qBound(MinPerHost, n, MaxPerHost);
}

void HostGate::setCrawlDelay(const QByteArray &host, int ms)
{
    const QByteArray key = host.toLower();
    ms = qBound(0, ms, RobotsTxt::MaxCrawlDelayMs);
    if (ms == 0 && !m_hosts.contains(key))
        return;
    m_hosts[key].delayMs = ms;
    forgetIfIdle(key);
}

int HostGate::crawlDelay(const QByteArray &host) const
{
    const auto it = m_hosts.constFind(host.toLower());
    return it == m_hosts.cend() ? 0 : it->delayMs;
}

qint64 HostGate::waitFor(const QByteArray &host) const
{
    const auto it = m_hosts.constFind(host.toLower());
    if (it == m_hosts.cend())
        return 0;
    const int limit = it->delayMs > 0 ? 1 : m_perHost;
    if (it->running >= limit)
        return -1;
    if (it->delayMs > 0 && it->started) {
        const qint64 due = it->lastStart + it->delayMs;
        const qint64 now = m_clock();
        if (now < due)
            return due - now;
    }
    return 0;
}

bool HostGate::tryStart(const QByteArray &host)
{
    if (waitFor(host) != 0)
        return false;
    Host &h = m_hosts[host.toLower()];
    ++h.running;
    h.lastStart = m_clock();
    h.started = true;
    ++m_total;
    return true;
}

void HostGate::finished(const QByteArray &host)
{
    const QByteArray key = host.toLower();
    const auto it = m_hosts.find(key);
    if (it == m_hosts.end() || it->running == 0)
        return;
    --it->running;
    --m_total;
    forgetIfIdle(key);
}

int HostGate::running(const QByteArray &host) const
{
    const auto it = m_hosts.constFind(host.toLower());
    return it == m_hosts.cend() ? 0 : it->running;
}

void HostGate::forgetIfIdle(const QByteArray &key)
{
    // Without a delay, nothing about an idle host needs remembering; a long crawl touches
    // hundreds of thousands of hosts.
    const auto it = m_hosts.find(key);
    if (it != m_hosts.end() && it->running == 0 && it->delayMs == 0)
        m_hosts.erase(it);
}

qint64 HostGate::costOf(const QString &site)
{
    return qint64(sizeof(Waiting)) + 2 * site.size() + 32;
}

void HostGate::hold(const QByteArray &host, const QString &site)
{
    Queue &q = m_held[host.toLower()];
    if (q.sites.isEmpty())
        q.host = host;
    q.sites.append({site, ++m_holdOrder});
    ++m_heldSites;
    m_heldBytes += costOf(site);
}

void HostGate::holdFirst(const QByteArray &host, const QString &site)
{
    Queue &q = m_held[host.toLower()];
    if (q.sites.isEmpty())
        q.host = host;
    qsizetype at = q.next;
    while (at < q.sites.size() && q.sites.at(at).first)
        ++at;
    q.sites.insert(at, {site, ++m_holdOrder, true});
    ++m_heldSites;
    m_heldBytes += costOf(site);
}

std::optional<QString> HostGate::takeReady(const Ready &ready)
{
    // Sites held first go before the others; among each, the one that came first.
    auto goesBefore = [](const Waiting &a, const Waiting &b) {
        return a.first != b.first ? a.first : a.order < b.order;
    };
    auto best = m_held.end();
    for (auto it = m_held.begin(); it != m_held.end(); ++it) {
        if (best != m_held.end() && !goesBefore(it->sites.at(it->next), best->sites.at(best->next)))
            continue;
        if (ready(it->host))
            best = it;
    }
    if (best == m_held.end())
        return std::nullopt;
    const QString site = best->sites.at(best->next).site;
    --m_heldSites;
    m_heldBytes -= costOf(site);
    // Taken from the front without moving the rest; the list is compacted now and then.
    if (++best->next == best->sites.size()) {
        m_held.erase(best);
    } else if (best->next >= 64 && best->next * 2 >= best->sites.size()) {
        best->sites.remove(0, best->next);
        best->next = 0;
    }
    return site;
}

QStringList HostGate::takeAllHeld()
{
    QList<Waiting> all;
    all.reserve(m_heldSites);
    for (const Queue &q : qAsConst(m_held))
        all.append(q.sites.mid(q.next));
    std::sort(all.begin(), all.end(),
              [](const Waiting &a, const Waiting &b) { return a.order < b.order; });
    QStringList sites;
    sites.reserve(all.size());
    for (const Waiting &w : qAsConst(all))
        sites << w.site;
    m_held.clear();
    m_heldSites = 0;
    m_heldBytes = 0;
    return sites;
}

bool HostGate::isHolding(const QByteArray &host) const
{
    return m_held.contains(host.toLower());
}

bool HostGate::frontHeldFirst(const QByteArray &host) const
{
    const auto it = m_held.constFind(host.toLower());
    return it != m_held.cend() && it->sites.at(it->next).first;
}

qint64 HostGate::nextDue() const
{
    qint64 soonest = -1;
    for (const Queue &q : m_held) {
        const qint64 wait = waitFor(q.host);
        if (wait > 0 && (soonest < 0 || wait < soonest))
            soonest = wait;
    }
    return soonest;
}

// ---- robots.txt ----------------------------------------------------------------------------

HostGate::Answer HostGate::admit(const QByteArray &host, const QByteArray &path, bool robots)
{
    if (!robots)
        return Answer::Go;
    const QByteArray key = CrawlLimits::foldCase(host);
    const auto it = m_robots.constFind(key);
    if (it == m_robots.cend()) {
        m_robots.insert(key, RobotsEntry());
        return Answer::ReadRobotsFirst;
    }
    return it->rules.allowed(path) ? Answer::Go : Answer::Skip;
}

bool HostGate::robotsPending(const QByteArray &host) const
{
    const auto it = m_robots.constFind(CrawlLimits::foldCase(host));
    return it != m_robots.cend() && it->pending;
}

void HostGate::robotsRead(const QByteArray &host, const RobotsTxt &rules)
{
    RobotsEntry &entry = m_robots[CrawlLimits::foldCase(host)];
    entry.pending = false;
    entry.rules = rules;
}

void HostGate::robotsUnreadable(const QByteArray &host, int redirectsFollowed)
{
    const auto it = m_robots.find(CrawlLimits::foldCase(host));
    if (it == m_robots.end() || !it->pending)
        return;
    it->pending = false;
    it->rules = RobotsTxt::fromAnswer(-1, redirectsFollowed, {}, {});
}

bool HostGate::allowedByRobots(const QByteArray &host, const QByteArray &path) const
{
    const auto it = m_robots.constFind(CrawlLimits::foldCase(host));
    return it == m_robots.cend() || it->rules.allowed(path);
}

void HostGate::forgetPendingRobots()
{
    for (auto it = m_robots.begin(); it != m_robots.end();) {
        if (it->pending)
            it = m_robots.erase(it);
        else
            ++it;
    }
}

void HostGate::newSearch()
{
    m_robots.clear();
    (void)takeAllHeld();
}

// ---- the due timer -------------------------------------------------------------------------

void HostGate::setDueCallback(std::function<void()> due)
{
    m_due = std::move(due);
}

QTimer *HostGate::timer()
{
    if (!m_timer) {
        m_timer = std::make_unique<QTimer>();
        m_timer->setSingleShot(true);
        QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(), [this] {
            if (m_due)
                m_due();
        });
    }
    return m_timer.get();
}

void HostGate::scheduleDue()
{
    if (heldSites() == 0)
        return;
    const qint64 soonest = nextDue();
    if (soonest < 0)
        return;
    QTimer *t = timer();
    if (!t->isActive() || t->remainingTime() > soonest)
        t->start(int(soonest));
}

void HostGate::lookAgainSoon()
{
    timer()->start(0);
}

void HostGate::stopTimer()
{
    if (m_timer)
        m_timer->stop();
}
