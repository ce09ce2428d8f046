// robots.txt from an untrusted host: parsing and matching paths taken from the input itself.
#include "robotstxt.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char *>(data), qsizetype(size));
    const RobotsTxt r = RobotsTxt::parse(text, "QuorvexFaxVarnel");
    if (r.crawlDelayMs() < 0 || r.crawlDelayMs() > RobotsTxt::MaxCrawlDelayMs)
        __builtin_trap();
    if (!r.allowed("/robots.txt"))
        __builtin_trap();
    (void)r.allowed("/");
    // Every line of the input as a path as well: paths that look like the patterns.
    qsizetype from = 0;
    for (int lines = 0; from < text.size() && lines < 64; ++lines) {
        qsizetype nl = text.sliced(from).indexOf('\n');
        nl = nl < 0 ? text.size() : from + nl;
        const QByteArrayView line = text.sliced(from, nl - from);
        const qsizetype colon = line.indexOf(':');
        (void)r.allowed(colon >= 0 ? line.sliced(colon + 1) : line);
        from = nl + 1;
    }
    // Normalising twice changes nothing.
    const QByteArray once = RobotsTxt::normalized(text.first(qMin<qsizetype>(size, 4096)));
    if (RobotsTxt::normalized(once) != once)
        __builtin_trap();
    return 0;
}
