#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThread>

#include <utility>

// One thread for work that would hold up the caller's thread: jobs run there one after the
// other, in the order given, and each answer comes back on the caller's thread, unless its
// ticket was taken back meanwhile. The thread starts with the first job.
//
// Ownership: the jobs object belongs to its parent; objects adopted live on the thread and
// are deleted there when the jobs object goes, which waits for the job in progress (answers
// still on their way are dropped).
class BackgroundJobs : public QObject
{
    Q_OBJECT
public:
    explicit BackgroundJobs(const QString &threadName,
                            QThread::Priority priority = QThread::InheritPriority,
                            QObject *parent = nullptr);
    ~BackgroundJobs() override;

    // object (no parent) moves to the thread and is deleted there at the end: what the jobs
    // use there, such as a connection of their own.
    void adopt(QObject *object);

    // Runs work() on the thread, then done(ticket, result) on this object's thread.
    template <typename Work, typename Done> quint64 submit(Work work, Done done)
    {
        const quint64 ticket = ++m_tickets;
        m_waiting.insert(ticket);
        QMetaObject::invokeMethod(
            worker(),
            [this, ticket, work = std::move(work), done = std::move(done)]() mutable {
                auto result = work();
                // Back on the caller's thread; this object outlives the call (its destructor
                // waits for the thread), and an answer still queued when it goes is dropped.
                QMetaObject::invokeMethod(
                    this,
                    [this, ticket, done = std::move(done), result = std::move(result)]() mutable {
                        if (m_waiting.remove(ticket))
                            done(ticket, result);
                    },
                    Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
        return ticket;
    }

    // The ticket's answer will not be delivered. False when it was delivered or taken back.
    bool takeBack(quint64 ticket) { return m_waiting.remove(ticket); }
    void takeBackAll() { m_waiting.clear(); }
    bool isWaiting(quint64 ticket) const { return m_waiting.contains(ticket); }

private:
    QObject *worker();

    QString m_name;
    QThread::Priority m_priority;
    QThread m_thread;
    QObject *m_worker = nullptr; // lives in m_thread
    quint64 m_tickets = 0;
    QSet<quint64> m_waiting;
};
