#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class HarvestEngine;
class QTcpSocket;
class ResolveMap;

// One of the ten download lanes: its socket, its two one-second watchdogs and the record
// of the download in progress. Owned by HarvestEngine; a slot touches only its own record
// and tells the engine when its page is complete or has to be given up.
class FetchSlot : public QObject
{
    Q_OBJECT
public:
    FetchSlot(int index, HarvestEngine *engine);
    ~FetchSlot() override;

    int index() const { return m_index; }
    bool isConnected() const { return m_socket != nullptr; }
    bool watchdogsRunning() const { return m_idle.isActive() || m_total.isActive(); }

    // A new download: empty page, no header seen, counts at 0.
    void reset();
    void startWatchdogs(); // both counts to 0, both timers running
    void stopWatchdogs();
    // Closes whatever the socket was doing and connects to the slot's host (TLS when
    // https), through the resolve maps when they have an entry for the host (TLS
    // connections look in tlsMap first).
    void open(const ResolveMap &map, const ResolveMap &tlsMap);
    // Drops the connection; no event of it reaches the engine afterwards.
    void closeSocket();

    // The record of the download.
    QByteArray strHost; // the Host header (no scheme, no "/")
    QByteArray strPath; // begins with "/"
    QByteArray strPage; // everything received, header included
    bool bHeaderDone = false;
    qint32 lContentLength = 0;
    qint32 lBodyBytes = 0;
    qint16 intIdleTicks = 0;
    qint16 intTotalTicks = 0;
    bool https = false;
    QByteArray connectName; // host name to resolve (strHost without a port)
    quint16 connectPort = 80;
    int hops = 0;      // redirects followed for the current site
    QString site;      // the queue entry this download is for
    QByteArray curUrl; // strCurUrl and strCurDir of this download's connect
    QByteArray curDir;

private:
    void wscVersion_Connect();
    void wscVersion_DataArrival();
    void wscVersion_Close();
    void timTimeout_Timer();
    void timTimeout2_Timer();
    void tick(qint16 &ticks, qint16 limit);

    int m_index;
    HarvestEngine *m_engine;
    QTcpSocket *m_socket = nullptr; // a QSslSocket for https
    QTimer m_idle;
    QTimer m_total;
};
