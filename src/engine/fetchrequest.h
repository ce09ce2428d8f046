#pragma once

#include <QByteArray>

namespace HttpResponse {
struct Target;
}

// What one download asks for and where it connects: the request's Host header and path, the
// connection (TLS, the name to resolve and the port) and the page address its links resolve
// against. Built only here, for a queued site and for the target of a redirect, so the
// connect, robots.txt and redirect paths cannot drift apart.
struct FetchRequest
{
    QByteArray host;          // strHost: the Host header (no scheme, no "/")
    QByteArray path;          // strPath: begins with "/"
    bool https = false;       // TLS, port 443 unless the target says otherwise
    QByteArray connectName;   // the host name to resolve (a ":port" stays part of it)
    quint16 connectPort = 80; // 443 for TLS
    QByteArray pageUrl;       // strCurUrl: the page's links resolve against it
    QByteArray pageDirectory; // strCurDir
    QByteArray userAgent;     // sent when not empty
    // The response ends where its framing says, and the connection is kept for the next page
    // of the host when the server allows it.
    bool keepAlive = false;

    // The request for a queue entry (strURL, Windows-1252). The reference request asks over
    // plain HTTP on port 80 and carries no User-Agent; the modern one honours "https://",
    // names the program and keeps the connection.
    static FetchRequest forSite(const QByteArray &site, bool modern, const QByteArray &userAgent);
    // The same download sent on to where a redirect points; user agent and keep-alive stay.
    static FetchRequest redirected(const FetchRequest &from, const HttpResponse::Target &to);

    // The same connection over TLS on port 443 (a host known to have moved to TLS).
    void preferTls();
    QByteArray address() const { return host + path; }
};
