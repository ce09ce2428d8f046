#pragma once

#include "httpframing.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>

class QTcpSocket;
class QTimer;

// Connections kept open after a complete response, for the next page of the same host by
// any fetch slot. An idle connection is closed after IdleMs, when anything arrives on it or
// the server closes it, and the oldest when more than maxIdle wait. A connection is handed
// out again only while it is quiet: a server that sent anything unasked is out of step with
// its requests, and what it sent would be taken for the next page.
class ConnectionPool : public QObject
{
    Q_OBJECT
public:
    static constexpr int IdleMs = 5000;

    explicit ConnectionPool(int maxIdle, QObject *parent = nullptr);
    ~ConnectionPool() override;

    void setMaxIdle(int n) { m_maxIdle = n; }
    // The key of a connection: TLS or not, the host name (ASCII lower case) and the port.
    static QByteArray key(bool https, const QByteArray &host, quint16 port);

    // An idle connection for key, now the caller's (no signal of it is connected), or null.
    QTcpSocket *take(const QByteArray &key);
    // The socket is connected and holds nothing unread: neither in its own buffers nor in
    // the system's, where bytes wait until the event loop next reads them (bytesAvailable()
    // does not see those) and where a close from the server waits too.
    static bool isQuiet(QTcpSocket *socket);
    // Whether a connection whose response ended as frame says, after received bytes were
    // read from it, may carry the next request: the response said so and nothing came
    // after it.
    static bool mayReuse(const HttpFraming::Frame &frame, qsizetype received, QTcpSocket *socket);
    // Keeps a connected socket that may carry another request; the pool owns it now.
    void give(const QByteArray &key, QTcpSocket *socket);
    void clear();
    int idleCount() const { return int(m_idle.size()); }

private:
    struct Idle
    {
        QByteArray key;
        QTcpSocket *socket = nullptr;
        qint64 since = 0;
    };
    void drop(QTcpSocket *socket);
    void sweep();
    static void close(QTcpSocket *socket);

    int m_maxIdle;
    QList<Idle> m_idle; // oldest first
    QTimer *m_sweep;
    QElapsedTimer m_clock;
};
