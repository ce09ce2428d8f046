#include "fetchslot.h"

#include "httpresponse.h"
#include "logging.h"
#include "resolvemap.h"
#include "watchdogclock.h"

#include <QSslSocket>
#include <QTcpSocket>

#include <limits>

namespace {
// A 16-bit tick count that stops at its maximum instead of wrapping.
void bump(qint16 &ticks)
{
    if (ticks < std::numeric_limits<qint16>::max())
        ++ticks;
}
// The header has to end within the first 32767 characters to be seen while receiving.
constexpr qsizetype kHeaderSearchLimit = 32767 + 3;
} // namespace

FetchSlot::FetchSlot(int index, FetchSlotOwner *owner, QObject *parent)
    : QObject(parent), m_index(index), m_owner(owner)
{
}

bool FetchSlot::watchdogsRunning() const
{
    return (m_idle && m_idle->isActive()) || (m_total && m_total->isActive());
}

FetchSlot::~FetchSlot()
{
    stopWatchdogs();
    closeSocket();
}

void FetchSlot::reset()
{
    received.clear();
    headerSeen = false;
    contentLength = 0;
    bodyBytes = 0;
}

void FetchSlot::startWatchdogs()
{
    if (!m_idle) {
        m_idle = m_owner->watchdogClock()->createTicker(this);
        m_total = m_owner->watchdogClock()->createTicker(this);
        connect(m_idle, &Ticker::ticked, this, &FetchSlot::onIdleTick);
        connect(m_total, &Ticker::ticked, this, &FetchSlot::onTotalTick);
    }
    idleTicks = 0;
    m_idle->start();
    totalTicks = 0;
    m_total->start();
}

void FetchSlot::stopWatchdogs()
{
    if (!m_idle)
        return;
    m_idle->stop();
    m_total->stop();
}

void FetchSlot::open(const ResolveMap &map, const ResolveMap &tlsMap)
{
    closeSocket();
    const QString name = QString::fromLatin1(connectName);
    const ResolveMap::Target *mapped = https ? tlsMap.lookup(name) : nullptr;
    if (!mapped)
        mapped = map.lookup(name);
    const QString address = mapped ? mapped->address : name;
    const quint16 port = mapped ? mapped->port : connectPort;
    if (https) {
        auto *ssl = new QSslSocket(this);
        m_socket = ssl;
        // Only public pages are read and nothing is sent, so a certificate that fails
        // verification does not stop the read.
        ssl->setPeerVerifyMode(QSslSocket::VerifyNone);
        connect(ssl, &QSslSocket::sslErrors, ssl, [ssl] { ssl->ignoreSslErrors(); });
        connect(ssl, &QSslSocket::encrypted, this, &FetchSlot::onConnected);
    } else {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QAbstractSocket::connected, this, &FetchSlot::onConnected);
    }
    connect(m_socket, &QIODevice::readyRead, this, &FetchSlot::onDataArrived);
    connect(m_socket, &QAbstractSocket::disconnected, this, &FetchSlot::onClosed);
    // Errors (unknown host, refused, reset before a connection) are only logged: the
    // idle watchdog recovers the slot.
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket)
            qCDebug(lcFetch) << "slot" << m_index << host << m_socket->errorString();
    });
    if (https)
        static_cast<QSslSocket *>(m_socket)->connectToHostEncrypted(address, port, name);
    else
        m_socket->connectToHost(address, port);
}

void FetchSlot::closeSocket()
{
    if (!m_socket)
        return;
    QTcpSocket *s = m_socket;
    m_socket = nullptr;
    s->disconnect(this);
    s->abort();
    s->deleteLater();
}

void FetchSlot::onConnected()
{
    if (!m_socket)
        return;
    m_owner->slotConnected(m_index);
    m_socket->write(HttpResponse::requestBytes(host, path));
}

void FetchSlot::onDataArrived()
{
    if (!m_socket || !m_owner->slotsActive())
        return;
    idleTicks = 0;
    const QByteArray chunk = m_socket->readAll();
    received += chunk;
    bodyBytes += qint32(chunk.size());
    m_owner->slotReceived(m_index);
    if (received.size() > MaxResponseBytes) {
        qCDebug(lcFetch) << "slot" << m_index << "gives up on" << host << "after" << received.size()
                         << "bytes";
        m_owner->slotAbandoned(m_index);
        return;
    }
    if (headerSeen)
        return;
    const qsizetype end = HttpResponse::headerEnd(received, kHeaderSearchLimit);
    if (end < 0)
        return;
    const qint32 p = qint32(end) + 1; // 1-based, as the byte count below expects
    headerSeen = true;
    bodyBytes = bodyBytes - p - 3;
    // Kept on purpose (tst_fetchslots pageFilesAndProgress "lower-case length is not read",
    // "trickled"): "Content-Length" is read only as written, and the progress bar moves from
    // the data event after the one that completed the header.
    contentLength = HttpResponse::contentLength(received.left(p - 1));
}

void FetchSlot::onClosed()
{
    if (!m_socket)
        return;
    // Data that arrived together with the close is read first.
    if (m_socket->bytesAvailable() > 0)
        onDataArrived();
    if (!m_socket)
        return; // given up while reading the last data
    stopWatchdogs();
    QTcpSocket *s = m_socket;
    m_socket = nullptr;
    s->disconnect(this);
    s->deleteLater();
    if (!m_owner->slotsActive())
        return;
    m_owner->slotFinished(m_index);
}

void FetchSlot::tick(qint16 &ticks, qint16 limit)
{
    bump(ticks);
    if (ticks >= limit) {
        qCDebug(lcFetch) << "slot" << m_index << "gives up on" << host << "after" << ticks
                         << "seconds";
        m_owner->slotAbandoned(m_index);
    }
}

void FetchSlot::onIdleTick()
{
    tick(idleTicks, m_owner->idleLimit());
}

void FetchSlot::onTotalTick()
{
    tick(totalTicks, m_owner->totalLimit());
}
