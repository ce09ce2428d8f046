#pragma once

#include "fetchrequest.h"
#include "httpframing.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class ConnectionPool;
class HostNames;
class QTcpSocket;
class ResolveMap;
class Ticker;
class WatchdogClock;

// What a fetch slot asks of the harvest that owns it and tells it.
class FetchSlotOwner
{
public:
    virtual ~FetchSlotOwner() = default;
    virtual bool slotsActive() const = 0;  // the harvest runs; data arriving otherwise is left
    virtual qint16 idleLimit() const = 0;  // seconds without data before a slot gives up
    virtual qint16 totalLimit() const = 0; // seconds for a whole download
    virtual WatchdogClock *watchdogClock() const = 0;
    virtual void slotConnected(int slot) = 0; // the request is about to go out
    virtual void slotReceived(int slot) = 0;  // data arrived; the record is up to date
    virtual void slotFinished(int slot) = 0;  // the server closed: the page is complete
    virtual void slotAbandoned(int slot) = 0; // a watchdog gave up on the download
    // No connection could be made (the name did not resolve, the connection was refused or
    // reset, the TLS handshake failed, or the address is in the user's own network): the
    // host is dead to the harvest, and the slot is free at once.
    virtual void slotFailed(int slot) = 0;
    // Whether the slot may keep a response that has grown to bytes (below the slot's own
    // bound): the owner keeps the pages of all slots within a budget.
    virtual bool mayKeep(int slot, qint64 bytes) const = 0;
    // Where connections wait for the next page of their host (keep-alive).
    virtual ConnectionPool *connectionPool() = 0;
    // The addresses of the names of the run, looked up once each within a time limit.
    virtual HostNames *hostNames() = 0;
    // Where a host connects when the user mapped it (TLS connections look in the second map
    // first), and whether an address in the user's own network may be connected to.
    virtual const ResolveMap &resolveMap() const = 0;
    virtual const ResolveMap &tlsResolveMap() const = 0;
    virtual bool allowLocalAddresses() const = 0;
};

// One of the download lanes: its socket, its two one-second watchdogs and the record
// of the download in progress. Owned by the harvest; a slot touches only its own record
// and tells its owner when data arrives and when its page is complete or has to be given up.
class FetchSlot : public QObject
{
    Q_OBJECT
public:
    // Largest response a slot keeps; a bigger one is abandoned like a stalled download.
    static constexpr qint64 MaxResponseBytes = 16 * 1024 * 1024;

    FetchSlot(int index, FetchSlotOwner *owner, QObject *parent);
    ~FetchSlot() override;

    int index() const { return m_index; }
    bool isConnected() const { return m_socket != nullptr || m_lookingUp; }
    bool watchdogsRunning() const;

    // A new download of request: empty page, no header seen, counts and watchdogs at 0, and
    // the connection opened (or taken from the pool). A host the user mapped goes to the
    // mapped address (the request still names the original host); any other is looked up
    // through the owner's names (once per run, within a time limit; a name that fails frees
    // the slot), and the connection goes to the address that was checked: one in the user's
    // own network only when the owner allows local addresses.
    void begin(const FetchRequest &request);
    // Ends the download: watchdogs stopped, connection dropped; no event of it reaches the
    // owner afterwards.
    void stop();
    void stopWatchdogs();

    // The download in progress (or the last one).
    const FetchRequest &request() const { return m_request; }
    const QByteArray &received() const { return m_received; } // strPage, header included
    QByteArray takeReceived();
    void dropReceived() { m_received.clear(); }
    qint32 contentLength() const { return m_contentLength; } // lContentLength
    qint32 bodyBytes() const { return m_bodyBytes; }         // lBodyBytes

private:
    void onConnected();   // wscVersion_Connect
    void onDataArrived(); // wscVersion_DataArrival
    void onClosed();      // wscVersion_Close
    void onIdleTick();    // timTimeout_Timer: the idle watchdog's tick
    void onTotalTick();   // timTimeout2_Timer: the total watchdog's tick
    void tick(qint16 &ticks, qint16 limit);
    void connectTo(const QString &address, quint16 port, const QString &peerName);
    void watch(QTcpSocket *socket);
    void connectFresh();
    void completeKept(const HttpFraming::Frame &frame);
    QByteArray poolKey() const;
    void nameLookedUp(const QByteArray &name);
    void connectToKnown();
    void fail(const char *why);
    void failLater(const char *why);
    void startWatchdogs(); // both counts to 0, both timers running
    void closeSocket();

    FetchRequest m_request;
    QByteArray m_received;
    bool m_headerSeen = false; // bHeaderDone
    qint32 m_contentLength = 0;
    qint32 m_bodyBytes = 0;
    qint16 m_idleTicks = 0;  // seconds without data
    qint16 m_totalTicks = 0; // seconds of the download

    int m_index;
    FetchSlotOwner *m_owner;
    QTcpSocket *m_socket = nullptr; // a QSslSocket for https
    bool m_lookingUp = false;       // the host's name is being looked up
    bool m_namesWatched = false;    // connected to the owner's names
    bool m_requestSent = false;     // errors before the request mean the host is dead
    bool m_reused = false;          // the connection came from the pool
    HttpFraming::Scanner m_scanner;
    bool m_allowLocal = false; // of the last begin(), for a retry
    quint64 m_attempt = 0;     // counts opens and closes: late events of one are left
    Ticker *m_idle = nullptr;  // made at the first download
    Ticker *m_total = nullptr;
};
