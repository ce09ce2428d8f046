#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <deque>

class QTimer;

// The addresses of the host names of a run, looked up once each by the system's resolver:
// answers and failures are kept until forget(), lookups of one name at the same time are
// one lookup, and a name whose answer takes longer than the time limit counts as not
// found (the answer, should it come later, is left). At most MaxLookups run at once; more
// wait their turn here, and their time starts when they are sent. A lookup the limit gave
// up on still counts until the system answers it, so that names that never resolve cannot
// fill the system's own queue and hold the names behind them.
//
// Names are compared with ASCII letter case ignored. An IP address is known at once.
class HostNames : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultTimeoutMs = 5000;
    static constexpr int MaxLookups = 12;
    // Names remembered; the oldest answers are forgotten beyond this.
    static constexpr int MaxNames = 10000;

    enum class State
    {
        Unknown,
        Looking, // asked of the system, or waiting for a turn
        Known,
        Failed
    };

    explicit HostNames(QObject *parent = nullptr);

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }

    // The form names are compared in: ASCII letters in lower case.
    static QByteArray keyOf(const QByteArray &name);

    State state(const QByteArray &name) const;
    // Starts a lookup of name unless it is known, failed or being looked up.
    void lookUp(const QByteArray &name);
    // The addresses of a known name (empty otherwise).
    QList<QHostAddress> addresses(const QByteArray &name) const;
    // Why a failed name failed.
    QString failure(const QByteArray &name) const;
    // Forgets every answer and failure (a new run); lookups under way are answered to nobody.
    void forget();
    // Lookups sent to the system and not answered by it yet (timed out ones included).
    int outstanding() const { return m_outstanding; }

Q_SIGNALS:
    // name (ASCII lower case) is known or failed now.
    void lookedUp(const QByteArray &name);

private:
    struct Entry
    {
        State state = State::Unknown;
        QList<QHostAddress> addresses;
        QString failure;
        qint64 sentAt = -1; // when it went to the system; -1 while waiting for a turn
        quint64 generation = 0;
    };
    void sendWaiting();
    void send(const QByteArray &key);
    void answered(const QByteArray &key, quint64 generation, const QList<QHostAddress> &addresses,
                  const QString &error);
    void settle(const QByteArray &key, Entry &e, State state);
    void checkTimeouts();
    void trim();

    QHash<QByteArray, Entry> m_names;
    std::deque<QByteArray> m_waiting; // names waiting for a turn, oldest first
    std::deque<QByteArray> m_settled; // answers and failures, oldest first (for trim)
    int m_timeoutMs = DefaultTimeoutMs;
    int m_outstanding = 0;
    bool m_sending = false; // inside QHostInfo::lookupHost()
    quint64 m_generation = 0;
    QElapsedTimer m_clock;
    QTimer *m_timer;
};
