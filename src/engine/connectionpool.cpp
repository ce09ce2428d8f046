#include "connectionpool.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/socket.h>
#endif

ConnectionPool::ConnectionPool(int maxIdle, QObject *parent)
    : QObject(parent), m_maxIdle(maxIdle), m_sweep(new QTimer(this))
{
    m_clock.start();
    m_sweep->setInterval(1000);
    connect(m_sweep, &QTimer::timeout, this, &ConnectionPool::sweep);
}

ConnectionPool::~ConnectionPool()
{
    clear();
}

QByteArray ConnectionPool::key(bool https, const QByteArray &host, quint16 port)
{
    QByteArray k = (https ? "s:" : "p:") + host + ':' + QByteArray::number(port);
    for (char &c : k) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return k;
}

QTcpSocket *ConnectionPool::take(const QByteArray &key)
{
    // The newest first: it is the least likely to have been closed by its server.
    for (qsizetype i = m_idle.size() - 1; i >= 0; --i) {
        if (m_idle.at(i).key != key)
            continue;
        QTcpSocket *s = m_idle.takeAt(i).socket;
        s->disconnect(this);
        if (!isQuiet(s)) {
            close(s);
            continue;
        }
        return s;
    }
    return nullptr;
}

bool ConnectionPool::isQuiet(QTcpSocket *socket)
{
    if (socket->state() != QAbstractSocket::ConnectedState || socket->bytesAvailable() > 0)
        return false;
    if (const auto *ssl = qobject_cast<const QSslSocket *>(socket);
        ssl && ssl->encryptedBytesAvailable() > 0)
        return false;
#ifdef Q_OS_UNIX
    // A look at the system's buffer that takes nothing out of it. (Over TLS this sees records
    // that carry no data too; such a connection is given up, which costs a new one.)
    const qintptr fd = socket->socketDescriptor();
    if (fd < 0)
        return false;
    char c;
    const ssize_t n = ::recv(int(fd), &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n >= 0)
        return false; // bytes unasked, or the server's close (0)
    return errno == EAGAIN || errno == EWOULDBLOCK;
#else
    // Reads what the system holds into the socket's buffer.
    if (socket->waitForReadyRead(0))
        return false;
    return socket->state() == QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0;
#endif
}

bool ConnectionPool::mayReuse(const HttpFraming::Frame &frame, qsizetype received,
                              QTcpSocket *socket)
{
    return frame.complete && frame.reusable && received == frame.end && isQuiet(socket);
}

void ConnectionPool::give(const QByteArray &key, QTcpSocket *socket)
{
    if (m_maxIdle <= 0 || socket->state() != QAbstractSocket::ConnectedState) {
        close(socket);
        return;
    }
    socket->setParent(this);
    // An idle connection has nothing to say: data or a close ends it.
    connect(socket, &QIODevice::readyRead, this, [this, socket] { drop(socket); });
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] { drop(socket); });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket] { drop(socket); });
    m_idle.append({key, socket, m_clock.elapsed()});
    while (m_idle.size() > m_maxIdle)
        drop(m_idle.first().socket);
    if (!m_sweep->isActive())
        m_sweep->start();
}

void ConnectionPool::clear()
{
    const QList<Idle> idle = m_idle;
    m_idle.clear();
    for (const Idle &i : idle)
        close(i.socket);
    m_sweep->stop();
}

void ConnectionPool::drop(QTcpSocket *socket)
{
    for (qsizetype i = 0; i < m_idle.size(); ++i) {
        if (m_idle.at(i).socket == socket) {
            m_idle.removeAt(i);
            close(socket);
            return;
        }
    }
}

void ConnectionPool::sweep()
{
    const qint64 now = m_clock.elapsed();
    while (!m_idle.isEmpty() && now - m_idle.first().since >= IdleMs)
        drop(m_idle.first().socket);
    if (m_idle.isEmpty())
        m_sweep->stop();
}

void ConnectionPool::close(QTcpSocket *socket)
{
    socket->disconnect();
    socket->abort();
    socket->deleteLater();
}
