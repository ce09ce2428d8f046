#include "hostgate.h"

#include "robotstxt.h"

#include <QElapsedTimer>

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
