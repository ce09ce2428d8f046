#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

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
};

// One of the ten download lanes: its socket, its two one-second watchdogs and the record
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
    bool isConnected() const { return m_socket != nullptr; }
    bool watchdogsRunning() const;

    // A new download: empty page, no header seen, counts at 0.
    void reset();
    void startWatchdogs(); // both counts to 0, both timers running
    void stopWatchdogs();
    // Closes whatever the socket was doing and connects to the slot's host (TLS when
    // https), through the resolve maps when they have an entry for the host (TLS
    // connections look in tlsMap first).
    void open(const ResolveMap &map, const ResolveMap &tlsMap);
    // Drops the connection; no event of it reaches the owner afterwards.
    void closeSocket();

    // The record of the download.
    QByteArray host;          // strHost: the Host header (no scheme, no "/")
    QByteArray path;          // strPath: begins with "/"
    QByteArray received;      // strPage: everything received, header included
    bool headerSeen = false;  // bHeaderDone
    qint32 contentLength = 0; // lContentLength
    qint32 bodyBytes = 0;     // lBodyBytes
    qint16 idleTicks = 0;     // seconds without data
    qint16 totalTicks = 0;    // seconds of the download
    bool https = false;
    QByteArray connectName; // host name to resolve (host without a port)
    quint16 connectPort = 80;
    int hops = 0;             // redirects followed for the current site
    QString site;             // the queue entry this download is for
    QByteArray pageUrl;       // strCurUrl of this download: its links resolve against it
    QByteArray pageDirectory; // strCurDir of this download

private:
    void onConnected();   // wscVersion_Connect
    void onDataArrived(); // wscVersion_DataArrival
    void onClosed();      // wscVersion_Close
    void onIdleTick();    // timTimeout_Timer: the idle watchdog's tick
    void onTotalTick();   // timTimeout2_Timer: the total watchdog's tick
    void tick(qint16 &ticks, qint16 limit);

    int m_index;
    FetchSlotOwner *m_owner;
    QTcpSocket *m_socket = nullptr; // a QSslSocket for https
    Ticker *m_idle = nullptr;       // made at the first download
    Ticker *m_total = nullptr;
};
