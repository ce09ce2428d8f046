#pragma once

#include <QByteArray>

// The pieces of HTTP a fetch slot needs, as pure byte-to-byte functions: no I/O, no state,
// total on every input (so that they can be fuzzed). Texts are 8-bit, one character a byte.
namespace HttpResponse {

// The request a slot sends: exactly the four lines GET, Host, Connection: close and
// Accept: */*, each ended by CR LF, then an empty line. The path is sent as it is. With a
// user agent, a User-Agent line follows Host (the caller keeps it to one printable line).
// keepAlive leaves out "Connection: close", so that the server may keep the connection.
QByteArray requestBytes(const QByteArray &host, const QByteArray &path,
                        const QByteArray &userAgent = QByteArray(), bool keepAlive = false);

// 0-based offset of the first CR LF CR LF, or -1.
qsizetype headerEnd(const QByteArray &page, qsizetype searchLimit = -1);

// The body of a finished response: the header block (everything through the blank line;
// the first three characters when there is no blank line) is removed from the page
// wherever it occurs, ASCII letter case ignored. A page of up to three characters without
// a blank line therefore gives an empty body.
QByteArray cutHeader(const QByteArray &page);

// Content-Length from the header text before the blank line: the first line containing
// "Content-Length" (letter case counts); the text after its first space as a decimal
// number. 0 when there is no such line or its value is not a number.
qint32 contentLength(const QByteArray &headerText);

// The status code of the status line "HTTP/x.y NNN ...", or -1.
int statusCode(const QByteArray &page);
bool isRedirectStatus(int code); // 301, 302, 303, 307, 308

// The value of the first header line named name (ASCII case ignored), spaces and tabs
// trimmed; null when there is none. Looks only before the blank line.
QByteArray headerValue(const QByteArray &page, const QByteArray &name);

// Transfer-Encoding names "chunked".
bool isChunked(const QByteArray &page);

// Decodes a chunked body. Sizes are hex, optional extensions after ";" are ignored, bare
// LF line ends are accepted, trailers are dropped. A malformed or cut-off body gives what
// could be decoded up to the fault, and *complete false.
QByteArray dechunk(const QByteArray &body, bool *complete = nullptr);

// The body with every CR LF pair, then every CR, then every LF removed.
QByteArray withoutLineBreaks(const QByteArray &body);

// Progress of a download in percent: |bodyBytes / contentLength * 100| rounded half to
// even; previous when contentLength < 1 or the value would exceed 100.
int progressPercent(qint64 bodyBytes, qint64 contentLength, int previous);

// ASCII-caseless substring test.
bool containsCaseless(const QByteArray &haystack, const QByteArray &needle);

// A redirect target, resolved against the URL that answered.
struct Target
{
    bool https = false;
    QByteArray host;     // the Host header: name ("[v6]" for IPv6), ":port" if not the default
    QByteArray hostName; // what is resolved or looked up in the resolve map (no brackets)
    quint16 port = 80;
    QByteArray path; // begins with "/", query included, fragment dropped
};
// Resolves location against scheme://host path. False when the result is not an http or
// https URL with a host.
bool resolveLocation(bool https, const QByteArray &host, const QByteArray &path,
                     const QByteArray &location, Target *out);

} // namespace HttpResponse
