// A fetch slot's handling of a response: the header cut, Content-Length, the status line,
// Location for the redirect option, and chunked decoding.
#include "httpresponse.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace HttpResponse;
    const QByteArray page(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype end = headerEnd(page);
    const QByteArray header = end < 0 ? QByteArray() : page.left(end);
    const qint32 length = contentLength(header);
    (void)progressPercent(page.size(), length, 0);
    QByteArray body = cutHeader(page);
    const int code = statusCode(page);
    if (isRedirectStatus(code)) {
        Target t;
        const QByteArray location = headerValue(page, "Location");
        if (resolveLocation(false, "example.com", "/a/b.htm", location, &t)) {
            if (!t.path.startsWith('/'))
                __builtin_trap();
            if (t.hostName.contains(':') && !t.host.startsWith('['))
                __builtin_trap(); // an IPv6 literal keeps its brackets in the Host header
        }
    }
    if (isChunked(page)) {
        bool complete = false;
        const QByteArray decoded = dechunk(body, &complete);
        if (decoded.size() > body.size())
            __builtin_trap(); // decoding never grows the body
    }
    (void)withoutLineBreaks(body);
    return 0;
}
