#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Where an HTTP/1.x response ends on a connection that may stay open, and whether the
// connection may carry the next request. Pure; total on every input (fuzzed).
//
// The length of a response follows the usual order: no body after a HEAD request or for
// 1xx, 204 and 304; chunked when "chunked" is the last transfer coding (complete after the
// last chunk and its trailer section); otherwise Content-Length; otherwise the body runs
// until the server closes. Interim 1xx answers (100 Continue and the like) before the final
// response are skipped. Framing that cannot be trusted (a bad chunk, Content-Length values
// that disagree, a coding other than chunked last) is read to the close as well, and such a
// connection is never reused.
//
// The connection may be reused after a complete response framed by length or chunks when
// it is HTTP/1.1 (or a later 1.x) without "Connection: close", or HTTP/1.0 with
// "Connection: keep-alive".
namespace HttpFraming {

struct Frame
{
    bool headerComplete = false; // the final response's header has arrived whole
    bool complete = false;       // the final response has arrived whole
    bool untilClose = false;     // the body ends only when the server closes
    bool reusable = false;       // complete, and the connection may carry another request
    int status = -1;             // of the final response, once its header is complete
    qsizetype start = 0;         // offset of the final response (after interim 1xx answers)
    qsizetype end = 0;           // offset just past it, when complete
};

// Scans a response as it arrives. Feed it the whole buffer received so far each time (the
// buffer only grows); it resumes where it stopped, so a long body costs linear time.
class Scanner
{
public:
    explicit Scanner(bool headRequest = false) : m_head(headRequest) {}
    const Frame &scan(QByteArrayView received);
    const Frame &frame() const { return m_frame; }

private:
    enum class Body
    {
        None,
        Length,
        Chunked,
        UntilClose
    };
    enum class ChunkState
    {
        Size,
        Data,
        DataEnd,
        Trailer
    };
    bool parseHeader(QByteArrayView header);
    void scanChunks(QByteArrayView received);

    bool m_head;
    Frame m_frame;
    qsizetype m_searchFrom = 0; // where to resume looking for the header's blank line
    Body m_body = Body::None;
    qint64 m_length = 0;
    qint64 m_lengthEnd = 0;
    bool m_keepAlive = false;
    ChunkState m_chunk = ChunkState::Size;
    qsizetype m_chunkPos = 0; // next unread octet of the chunked body
    qint64 m_chunkLeft = 0;   // octets of the current chunk still to come
};

// The frame of a response received so far, scanned from the start.
Frame frame(QByteArrayView received, bool headRequest = false);

} // namespace HttpFraming
