#include "clock.h"

QDateTime Clock::now() const
{
    // Reading the local time looks at the time zone file each time: once a second is enough,
    // and a change of offset falls on a whole second.
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (m_cached.isValid() && second == m_cachedSecond)
        return m_cached;
    QDateTime t = QDateTime::currentDateTime();
    t.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
    m_cached = t;
    m_cachedSecond = second;
    return t;
}
