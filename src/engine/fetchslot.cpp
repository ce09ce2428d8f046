#include "fetchslot.h"

#include "connectionpool.h"
#include "hostnames.h"
#include "httpresponse.h"
#include "logging.h"
#include "networkscope.h"
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

void FetchSlot::begin(const FetchRequest &request)
{
    m_request = request;
    m_received.clear();
    m_headerSeen = false;
    m_contentLength = 0;
    m_bodyBytes = 0;
    startWatchdogs();
    closeSocket();
    m_allowLocal = m_owner->allowLocalAddresses();
    m_scanner = HttpFraming::Scanner();
    if (m_request.keepAlive) {
        if (QTcpSocket *kept = m_owner->connectionPool()->take(poolKey())) {
            kept->setParent(this);
            m_socket = kept;
            watch(kept);
            m_reused = true;
            onConnected();
            return;
        }
    }
    connectFresh();
}

void FetchSlot::stop()
{
    stopWatchdogs();
    closeSocket();
}

QByteArray FetchSlot::takeReceived()
{
    QByteArray page = std::move(m_received);
    m_received.clear();
    return page;
}

void FetchSlot::startWatchdogs()
{
    if (!m_idle) {
        m_idle = m_owner->watchdogClock()->createTicker(this);
        m_total = m_owner->watchdogClock()->createTicker(this);
        connect(m_idle, &Ticker::ticked, this, &FetchSlot::onIdleTick);
        connect(m_total, &Ticker::ticked, this, &FetchSlot::onTotalTick);
    }
    m_idleTicks = 0;
    m_idle->start();
    m_totalTicks = 0;
    m_total->start();
}

void FetchSlot::stopWatchdogs()
{
    if (!m_idle)
        return;
    m_idle->stop();
    m_total->stop();
}

QByteArray FetchSlot::poolKey() const
{
    return ConnectionPool::key(m_request.https, m_request.connectName, m_request.connectPort);
}

void FetchSlot::connectFresh()
{
    m_reused = false;
    const QString name = QString::fromLatin1(m_request.connectName);
    const ResolveMap::Target *mapped =
        m_request.https ? m_owner->tlsResolveMap().lookup(name) : nullptr;
    if (!mapped)
        mapped = m_owner->resolveMap().lookup(name);
    if (mapped) {
        // The user's own mapping is an explicit choice of address.
        connectTo(mapped->address, mapped->port, name);
        return;
    }
    HostNames *names = m_owner->hostNames();
    if (!m_namesWatched) {
        m_namesWatched = true;
        connect(names, &HostNames::lookedUp, this, &FetchSlot::nameLookedUp);
    }
    switch (names->state(m_request.connectName)) {
    case HostNames::State::Known:
        connectToKnown();
        return;
    case HostNames::State::Failed:
        // Told from the event loop, as a lookup's answer is: the owner may hand this slot
        // its next site at once.
        failLater("lookup failed");
        return;
    case HostNames::State::Unknown:
    case HostNames::State::Looking:
        m_lookingUp = true;
        names->lookUp(m_request.connectName);
        return;
    }
}

void FetchSlot::nameLookedUp(const QByteArray &name)
{
    if (!m_lookingUp || name != HostNames::keyOf(m_request.connectName))
        return;
    m_lookingUp = false;
    if (!m_owner->slotsActive())
        return;
    if (m_owner->hostNames()->state(m_request.connectName) != HostNames::State::Known) {
        fail("lookup failed");
        return;
    }
    connectToKnown();
}

void FetchSlot::connectToKnown()
{
    for (const QHostAddress &a : m_owner->hostNames()->addresses(m_request.connectName)) {
        if (NetworkScope::mayConnect(a, m_allowLocal, false)) {
            // The address checked is the one connected to; the name stays the TLS peer name.
            connectTo(a.toString(), m_request.connectPort,
                      QString::fromLatin1(m_request.connectName));
            return;
        }
    }
    failLater("local network address");
}

void FetchSlot::failLater(const char *why)
{
    const quint64 attempt = m_attempt;
    m_lookingUp = true;
    QMetaObject::invokeMethod(
        this,
        [this, attempt, why] {
            if (attempt != m_attempt)
                return;
            m_lookingUp = false;
            fail(why);
        },
        Qt::QueuedConnection);
}

void FetchSlot::connectTo(const QString &address, quint16 port, const QString &peerName)
{
    m_requestSent = false;
    const bool https = m_request.https;
    if (https) {
        auto *ssl = new QSslSocket(this);
        m_socket = ssl;
        // Nothing is sent but a GET, so a certificate that fails verification does not stop
        // the read.
        ssl->setPeerVerifyMode(QSslSocket::VerifyNone);
        connect(ssl, &QSslSocket::sslErrors, ssl, [ssl] { ssl->ignoreSslErrors(); });
        connect(ssl, &QSslSocket::encrypted, this, &FetchSlot::onConnected);
    } else {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QAbstractSocket::connected, this, &FetchSlot::onConnected);
    }
    watch(m_socket);
    if (https)
        static_cast<QSslSocket *>(m_socket)->connectToHostEncrypted(address, port, peerName);
    else
        m_socket->connectToHost(address, port);
}

void FetchSlot::watch(QTcpSocket *socket)
{
    connect(socket, &QIODevice::readyRead, this, &FetchSlot::onDataArrived);
    connect(socket, &QAbstractSocket::disconnected, this, &FetchSlot::onClosed);
    // An error before the request went out (refused, reset, TLS failure) frees the slot at
    // once; only silence waits for the watchdog. It is handled from the event loop, not
    // inside the socket's own signal.
    connect(socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (!m_socket)
            return;
        qCDebug(lcFetch) << "slot" << m_index << m_request.host << m_socket->errorString();
        if (m_requestSent)
            return;
        const quint64 attempt = m_attempt;
        QMetaObject::invokeMethod(
            this,
            [this, attempt] {
                if (attempt == m_attempt && m_socket && !m_requestSent)
                    fail("no connection");
            },
            Qt::QueuedConnection);
    });
}

void FetchSlot::fail(const char *why)
{
    qCDebug(lcFetch) << "slot" << m_index << m_request.host << why;
    if (m_owner->slotsActive())
        m_owner->slotFailed(m_index);
}

void FetchSlot::closeSocket()
{
    ++m_attempt;
    m_lookingUp = false;
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
    m_requestSent = true;
    m_owner->slotConnected(m_index);
    m_socket->write(HttpResponse::requestBytes(m_request.host, m_request.path, m_request.userAgent,
                                               m_request.keepAlive));
}

void FetchSlot::onDataArrived()
{
    if (!m_socket || !m_owner->slotsActive())
        return;
    m_idleTicks = 0;
    const QByteArray chunk = m_socket->readAll();
    m_received += chunk;
    m_bodyBytes += qint32(chunk.size());
    m_owner->slotReceived(m_index);
    if (m_received.size() > MaxResponseBytes || !m_owner->mayKeep(m_index, m_received.size())) {
        qCDebug(lcFetch) << "slot" << m_index << "gives up on" << m_request.host << "after"
                         << m_received.size() << "bytes";
        m_owner->slotAbandoned(m_index);
        return;
    }
    if (!m_headerSeen) {
        const qsizetype end = HttpResponse::headerEnd(m_received, kHeaderSearchLimit);
        if (end >= 0) {
            const qint32 p = qint32(end) + 1; // 1-based, as the byte count below expects
            m_headerSeen = true;
            m_bodyBytes = m_bodyBytes - p - 3;
            // Kept on purpose (tst_fetchslots pageFilesAndProgress "lower-case length is not
            // read", "trickled"): "Content-Length" is read only as written, and the progress
            // bar moves from the data event after the one that completed the header.
            m_contentLength = HttpResponse::contentLength(m_received.left(p - 1));
        }
    }
    if (m_request.keepAlive) {
        const HttpFraming::Frame &frame = m_scanner.scan(m_received);
        if (frame.complete)
            completeKept(frame);
    }
}

// A response complete by its framing ends the download without waiting for a close, and
// its connection waits in the pool when the server keeps it open.
void FetchSlot::completeKept(const HttpFraming::Frame &frame)
{
    stopWatchdogs();
    QTcpSocket *s = m_socket;
    m_socket = nullptr;
    s->disconnect(this);
    const bool reuse = ConnectionPool::mayReuse(frame, m_received.size(), s);
    if (frame.start > 0 || m_received.size() > frame.end)
        m_received = m_received.mid(frame.start, frame.end - frame.start);
    if (reuse && m_owner->slotsActive())
        m_owner->connectionPool()->give(poolKey(), s);
    else {
        s->abort();
        s->deleteLater();
    }
    if (m_owner->slotsActive())
        m_owner->slotFinished(m_index);
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
    if (m_reused && m_received.isEmpty()) {
        // A kept connection the server had closed meanwhile: once more on a new one.
        qCDebug(lcFetch) << "slot" << m_index << m_request.host
                         << "kept connection closed; reconnecting";
        QTcpSocket *s = m_socket;
        m_socket = nullptr;
        s->disconnect(this);
        s->deleteLater();
        ++m_attempt;
        connectFresh();
        return;
    }
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
        qCDebug(lcFetch) << "slot" << m_index << "gives up on" << m_request.host << "after" << ticks
                         << "seconds";
        m_owner->slotAbandoned(m_index);
    }
}

void FetchSlot::onIdleTick()
{
    tick(m_idleTicks, m_owner->idleLimit());
}

void FetchSlot::onTotalTick()
{
    tick(m_totalTicks, m_owner->totalLimit());
}
