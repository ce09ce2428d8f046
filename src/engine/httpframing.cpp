#include "httpframing.h"

#include "fieldtext.h"

namespace HttpFraming {

namespace {

using FieldText::equalsCaseless;
using FieldText::trimmed;

// Longest chunk-size line or trailer section believed; beyond it the framing is broken.
constexpr qsizetype kMaxChunkLine = 4096;
constexpr qsizetype kMaxTrailer = 64 * 1024;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Calls f on every comma-separated element of a field value, trimmed, empty ones skipped.
template <typename F> void forEachElement(QByteArrayView value, F f)
{
    qsizetype from = 0;
    while (from <= value.size()) {
        qsizetype comma = value.sliced(from).indexOf(',');
        comma = comma < 0 ? value.size() : from + comma;
        const QByteArrayView element = trimmed(value.sliced(from, comma - from));
        if (!element.isEmpty())
            f(element);
        from = comma + 1;
    }
}

// "HTTP/x.y NNN ...": version and status, false when the line is not one.
bool parseStatusLine(QByteArrayView line, int *major, int *minor, int *status)
{
    if (!line.startsWith("HTTP/") || line.size() < 12)
        return false;
    if (!isDigit(line[5]) || line[6] != '.' || !isDigit(line[7]) || line[8] != ' ')
        return false;
    if (!isDigit(line[9]) || !isDigit(line[10]) || !isDigit(line[11]))
        return false;
    if (line.size() > 12 && line[12] != ' ')
        return false;
    *major = line[5] - '0';
    *minor = line[7] - '0';
    *status = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    return true;
}

// A chunk-size line without its line end: hex digits, then optional extensions after ";".
qint64 chunkSize(QByteArrayView line)
{
    const qsizetype semi = line.indexOf(';');
    if (semi >= 0)
        line = line.first(semi);
    line = trimmed(line);
    if (line.isEmpty() || line.size() > 15)
        return -1;
    qint64 size = 0;
    for (const char c : line) {
        const int d = FieldText::hexValue(c);
        if (d < 0)
            return -1;
        size = size * 16 + d;
    }
    return size;
}

} // namespace

bool Scanner::parseHeader(QByteArrayView header)
{
    // Status line, then fields; bare LF line ends are read like CR LF.
    qsizetype pos = 0;
    auto nextLine = [&](QByteArrayView *line) {
        if (pos > header.size())
            return false;
        qsizetype lf = header.sliced(pos).indexOf('\n');
        lf = lf < 0 ? header.size() : pos + lf;
        QByteArrayView l = header.sliced(pos, lf - pos);
        if (l.endsWith('\r'))
            l.chop(1);
        *line = l;
        pos = lf + 1;
        return true;
    };
    QByteArrayView line;
    nextLine(&line);
    int major = 0, minor = 0, status = -1;
    if (!parseStatusLine(line, &major, &minor, &status))
        return false;
    m_frame.status = status;

    bool close = false, keepAlive = false, chunkedLast = false, sawCoding = false;
    bool lengthSeen = false, lengthBad = false;
    qint64 length = -1;
    while (nextLine(&line)) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArrayView name = line.first(colon);
        const QByteArrayView value = trimmed(line.sliced(colon + 1));
        if (equalsCaseless(name, "Connection")) {
            forEachElement(value, [&](QByteArrayView token) {
                if (equalsCaseless(token, "close"))
                    close = true;
                else if (equalsCaseless(token, "keep-alive"))
                    keepAlive = true;
            });
        } else if (equalsCaseless(name, "Transfer-Encoding")) {
            forEachElement(value, [&](QByteArrayView coding) {
                sawCoding = true;
                chunkedLast = equalsCaseless(coding, "chunked");
            });
        } else if (equalsCaseless(name, "Content-Length")) {
            lengthSeen = true;
            // "5, 5" and repeated fields are one length; anything else is not.
            forEachElement(value, [&](QByteArrayView digits) {
                if (digits.size() > 18) {
                    lengthBad = true;
                    return;
                }
                qint64 n = 0;
                for (const char c : digits) {
                    if (!isDigit(c)) {
                        lengthBad = true;
                        return;
                    }
                    n = n * 10 + (c - '0');
                }
                if (length >= 0 && n != length)
                    lengthBad = true;
                length = n;
            });
            if (value.isEmpty())
                lengthBad = true;
        }
    }

    if (major != 1)
        m_keepAlive = false;
    else if (minor >= 1)
        m_keepAlive = !close;
    else
        m_keepAlive = keepAlive && !close;

    if (m_head || status == 204 || status == 304) {
        m_body = Body::None;
    } else if (sawCoding) {
        m_body = chunkedLast ? Body::Chunked : Body::UntilClose;
        // A length beside a transfer coding is a sign of a confused server.
        if (lengthSeen || !chunkedLast)
            m_keepAlive = false;
    } else if (lengthSeen && !lengthBad && length >= 0) {
        m_body = Body::Length;
        m_length = length;
    } else {
        m_body = Body::UntilClose;
        m_keepAlive = false;
    }
    return true;
}

void Scanner::scanChunks(QByteArrayView received)
{
    auto broken = [this] {
        m_body = Body::UntilClose;
        m_keepAlive = false;
    };
    const qsizetype n = received.size();
    for (;;) {
        switch (m_chunk) {
        case ChunkState::Size: {
            const qsizetype lf = received.sliced(m_chunkPos).indexOf('\n');
            if (lf < 0) {
                if (n - m_chunkPos > kMaxChunkLine)
                    broken();
                return;
            }
            QByteArrayView line = received.sliced(m_chunkPos, lf);
            if (line.endsWith('\r'))
                line.chop(1);
            const qint64 size = chunkSize(line);
            if (size < 0) {
                broken();
                return;
            }
            m_chunkPos += lf + 1;
            if (size == 0) {
                m_chunk = ChunkState::Trailer;
                m_chunkLeft = 0; // counts the trailer's octets from here on
            } else {
                m_chunk = ChunkState::Data;
                m_chunkLeft = size;
            }
            break;
        }
        case ChunkState::Data: {
            const qint64 take = qMin<qint64>(m_chunkLeft, n - m_chunkPos);
            m_chunkPos += take;
            m_chunkLeft -= take;
            if (m_chunkLeft > 0)
                return;
            m_chunk = ChunkState::DataEnd;
            break;
        }
        case ChunkState::DataEnd: {
            if (m_chunkPos >= n)
                return;
            if (received[m_chunkPos] == '\n') {
                m_chunkPos += 1;
            } else if (received[m_chunkPos] == '\r') {
                if (m_chunkPos + 1 >= n)
                    return;
                if (received[m_chunkPos + 1] != '\n') {
                    broken();
                    return;
                }
                m_chunkPos += 2;
            } else {
                broken();
                return;
            }
            m_chunk = ChunkState::Size;
            break;
        }
        case ChunkState::Trailer: {
            const qsizetype lf = received.sliced(m_chunkPos).indexOf('\n');
            if (lf < 0) {
                if (m_chunkLeft + (n - m_chunkPos) > kMaxTrailer)
                    broken();
                return;
            }
            QByteArrayView line = received.sliced(m_chunkPos, lf);
            if (line.endsWith('\r'))
                line.chop(1);
            m_chunkPos += lf + 1;
            m_chunkLeft += lf + 1;
            if (line.isEmpty()) {
                m_frame.complete = true;
                m_frame.end = m_chunkPos;
                return;
            }
            if (m_chunkLeft > kMaxTrailer) {
                broken();
                return;
            }
            break;
        }
        }
    }
}

const Frame &Scanner::scan(QByteArrayView received)
{
    while (!m_frame.headerComplete) {
        const qsizetype from = qMax(m_searchFrom, m_frame.start);
        const qsizetype blank = received.sliced(from).indexOf("\r\n\r\n");
        if (blank < 0) {
            m_searchFrom = qMax(m_frame.start, received.size() - 3);
            return m_frame;
        }
        const qsizetype headerEnd = from + blank;
        const qsizetype bodyStart = headerEnd + 4;
        if (!parseHeader(received.sliced(m_frame.start, headerEnd - m_frame.start))) {
            // No status line: whatever comes is read to the close.
            m_frame.headerComplete = true;
            m_frame.untilClose = true;
            m_body = Body::UntilClose;
            m_keepAlive = false;
            return m_frame;
        }
        if (m_frame.status >= 100 && m_frame.status <= 199 && m_frame.status != 101) {
            // An interim answer; the final response follows it.
            m_frame.start = bodyStart;
            m_searchFrom = bodyStart;
            m_frame.status = -1;
            continue;
        }
        m_frame.headerComplete = true;
        if (m_frame.status == 101) {
            m_body = Body::UntilClose; // a switch of protocol is nothing we asked for
            m_keepAlive = false;
        }
        m_chunkPos = bodyStart;
        if (m_body == Body::None) {
            m_frame.complete = true;
            m_frame.end = bodyStart;
        } else if (m_body == Body::Length) {
            m_lengthEnd = bodyStart + m_length;
        }
    }

    if (!m_frame.complete) {
        if (m_body == Body::Length && received.size() >= m_lengthEnd) {
            m_frame.complete = true;
            m_frame.end = m_lengthEnd;
        } else if (m_body == Body::Chunked) {
            scanChunks(received);
        }
    }
    m_frame.untilClose = m_body == Body::UntilClose;
    if (m_frame.untilClose) {
        m_frame.complete = false;
        m_frame.end = 0;
    }
    // Octets beyond the response were never asked for: the connection is not clean.
    m_frame.reusable = m_frame.complete && m_keepAlive && received.size() == m_frame.end;
    return m_frame;
}

Frame frame(QByteArrayView received, bool headRequest)
{
    Scanner s(headRequest);
    return s.scan(received);
}

} // namespace HttpFraming
