// Name extraction from a search engine's result page.
#include "domainextractor.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString page = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    DomainExtractor::SeenNames seen;
    const QStringList names =
        DomainExtractor::extractDomainNames(page, seen, {QStringLiteral("example")});
    for (const QString &n : names) {
        if (n.contains(QLatin1Char('<')) || n.contains(QLatin1Char('>')) || n.isEmpty())
            __builtin_trap();
    }
    (void)DomainExtractor::isBlockedAnswer(200, page);
    return 0;
}
