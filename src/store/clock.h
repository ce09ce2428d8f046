#pragma once

#include <QDateTime>

// The clock behind the Date columns ("now": local date and time in whole seconds).
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const;

private:
    mutable QDateTime m_cached;
    mutable qint64 m_cachedSecond = 0;
};

// A clock that a test sets; it does not move on its own.
class ManualClock : public Clock
{
public:
    explicit ManualClock(const QDateTime &start = QDateTime(QDate(2026, 1, 1), QTime(12, 0)))
        : m_now(start)
    {
    }
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &t) { m_now = t; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};
