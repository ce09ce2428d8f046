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
    strPage.clear();
    bHeaderDone = false;
    lContentLength = 0;
    lBodyBytes = 0;
}

void FetchSlot::startWatchdogs()
{
    if (!m_idle) {
        m_idle = m_owner->watchdogClock()->createTicker(this);
        m_total = m_owner->watchdogClock()->createTicker(this);
        connect(m_idle, &Ticker::ticked, this, &FetchSlot::timTimeout_Timer);
        connect(m_total, &Ticker::ticked, this, &FetchSlot::timTimeout2_Timer);
    }
    intIdleTicks = 0;
    m_idle->start();
    intTotalTicks = 0;
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
        connect(ssl, &QSslSocket::encrypted, this, &FetchSlot::wscVersion_Connect);
    } else {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QAbstractSocket::connected, this, &FetchSlot::wscVersion_Connect);
    }
    connect(m_socket, &QIODevice::readyRead, this, &FetchSlot::wscVersion_DataArrival);
    connect(m_socket, &QAbstractSocket::disconnected, this, &FetchSlot::wscVersion_Close);
    // Errors (unknown host, refused, reset before a connection) are only logged: the
    // idle watchdog recovers the slot.
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket)
            qCDebug(lcFetch) << "slot" << m_index << strHost << m_socket->errorString();
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

void FetchSlot::wscVersion_Connect()
{
    if (!m_socket)
        return;
    m_owner->slotConnected(m_index);
    m_socket->write(HttpResponse::requestBytes(strHost, strPath));
}

void FetchSlot::wscVersion_DataArrival()
{
    if (!m_socket || !m_owner->slotsActive())
        return;
    intIdleTicks = 0;
    const QByteArray chunk = m_socket->readAll();
    strPage += chunk;
    lBodyBytes += qint32(chunk.size());
    m_owner->slotReceived(m_index);
    if (strPage.size() > MaxResponseBytes) {
        qCDebug(lcFetch) << "slot" << m_index << "gives up on" << strHost << "after"
                         << strPage.size() << "bytes";
        m_owner->slotAbandoned(m_index);
        return;
    }
    if (bHeaderDone)
        return;
    const qsizetype end = HttpResponse::headerEnd(strPage, kHeaderSearchLimit);
    if (end < 0)
        return;
    const qint32 p = qint32(end) + 1; // 1-based, as the byte count below expects
    bHeaderDone = true;
    lBodyBytes = lBodyBytes - p - 3;
    lContentLength = HttpResponse::contentLength(strPage.left(p - 1));
}

void FetchSlot::wscVersion_Close()
{
    if (!m_socket)
        return;
    // Data that arrived together with the close is read first.
    if (m_socket->bytesAvailable() > 0)
        wscVersion_DataArrival();
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
        qCDebug(lcFetch) << "slot" << m_index << "gives up on" << strHost << "after" << ticks
                         << "seconds";
        m_owner->slotAbandoned(m_index);
    }
}

void FetchSlot::timTimeout_Timer()
{
    tick(intIdleTicks, m_owner->idleLimit());
}

void FetchSlot::timTimeout2_Timer()
{
    tick(intTotalTicks, m_owner->totalLimit());
}
