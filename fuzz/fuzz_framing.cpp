// Framing of a response on a kept-alive connection: the whole input scanned at once must
// give what it gives when it arrives in pieces (the first input byte picks the cut).
#include "httpframing.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const bool head = data[0] & 1;
    const QByteArrayView response(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const HttpFraming::Frame whole = HttpFraming::frame(response, head);
    if (whole.complete && (whole.end < whole.start || whole.end > response.size()))
        __builtin_trap();
    if (whole.reusable && (!whole.complete || whole.end != response.size()))
        __builtin_trap();
    if (whole.complete && whole.untilClose)
        __builtin_trap();

    // Arrival in steps of (data[0] >> 1) + 1 octets.
    const qsizetype step = (data[0] >> 1) + 1;
    HttpFraming::Scanner s(head);
    for (qsizetype n = 0; n < response.size(); n += step)
        (void)s.scan(response.first(n));
    const HttpFraming::Frame pieces = s.scan(response);
    if (pieces.complete != whole.complete || pieces.untilClose != whole.untilClose ||
        pieces.reusable != whole.reusable || pieces.end != whole.end ||
        pieces.start != whole.start || pieces.status != whole.status)
        __builtin_trap();
    return 0;
}
