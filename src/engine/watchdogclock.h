#pragma once

#include <QObject>
#include <QTimer>

// A one-second tick that a fetch slot's watchdog counts, started and stopped with the
// download it guards.
class Ticker : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void start() = 0; // from now on, a tick every second
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

Q_SIGNALS:
    void ticked();
};

// Where the watchdogs' tickers come from: the system's timers, or a clock a test ticks by
// hand. Not owned by the harvest; it must outlive the tickers it made.
class WatchdogClock
{
public:
    virtual ~WatchdogClock() = default;
    // A stopped ticker, owned by parent.
    virtual Ticker *createTicker(QObject *parent) = 0;
};

// Ticks on a QTimer of one second.
class TimerTicker : public Ticker
{
    Q_OBJECT
public:
    explicit TimerTicker(QObject *parent = nullptr) : Ticker(parent)
    {
        m_timer.setInterval(1000);
        connect(&m_timer, &QTimer::timeout, this, &Ticker::ticked);
    }
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

class SystemWatchdogClock : public WatchdogClock
{
public:
    Ticker *createTicker(QObject *parent) override { return new TimerTicker(parent); }
};
