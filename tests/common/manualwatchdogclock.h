#pragma once

// A watchdog clock that a test ticks by hand: tick() is one second for every watchdog that
// is running. A watchdog started during a tick (a slot that moved on to its next site) is
// not ticked until the next one, as with real timers.

#include "watchdogclock.h"

#include <QList>
#include <QPointer>

class ManualTicker : public Ticker
{
public:
    ManualTicker(const quint64 *round, QObject *parent) : Ticker(parent), m_round(round) {}
    void start() override
    {
        m_active = true;
        m_startedIn = *m_round;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }
    // Ticks when it ran before this round began.
    void tick()
    {
        if (m_active && m_startedIn < *m_round)
            Q_EMIT ticked();
    }

private:
    const quint64 *m_round;
    quint64 m_startedIn = 0;
    bool m_active = false;
};

class ManualWatchdogClock : public WatchdogClock
{
public:
    Ticker *createTicker(QObject *parent) override
    {
        auto *t = new ManualTicker(&m_round, parent);
        m_tickers.append(t);
        return t;
    }
    void tick(int seconds = 1)
    {
        for (int i = 0; i < seconds; ++i) {
            ++m_round;
            const QList<QPointer<ManualTicker>> tickers = m_tickers;
            for (const QPointer<ManualTicker> &t : tickers) {
                if (t)
                    t->tick();
            }
        }
    }

private:
    quint64 m_round = 1;
    QList<QPointer<ManualTicker>> m_tickers;
};
