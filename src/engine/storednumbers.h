#pragma once

#include <QReadWriteLock>
#include <QSet>
#include <QString>

// The numbers (E.164) the harvest has stored or found stored, for the page analysis on its
// own thread: the finder reads no owner for them, since their rows keep the one read where
// each was first found. Written by the harvest's thread, read by the analysis thread.
class StoredNumbers
{
public:
    void insert(const QString &e164)
    {
        if (e164.isEmpty())
            return;
        QWriteLocker lock(&m_lock);
        m_numbers.insert(e164);
    }
    bool contains(const QString &e164) const
    {
        QReadLocker lock(&m_lock);
        return m_numbers.contains(e164);
    }
    // Numbers were deleted: their owners are read again when they are found again.
    void clear()
    {
        QWriteLocker lock(&m_lock);
        m_numbers.clear();
    }

private:
    mutable QReadWriteLock m_lock;
    QSet<QString> m_numbers;
};
