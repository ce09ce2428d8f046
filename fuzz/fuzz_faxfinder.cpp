// The fax finder over a whole page, beside the reference scan: it never fails, every number
// it keeps has a valid E.164 form, and its evidence stays within bounds.
#include "faxfinder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView page(reinterpret_cast<const char *>(data), qsizetype(size));
    FinderInput in;
    in.address = QStringLiteral("www.example.de/kontakt");
    for (bool intl : {false, true}) {
        in.allowInternational = intl;
        for (const FoundNumber &f : findFaxNumbers(page, in)) {
            if (!f.e164.startsWith(QLatin1Char('+')) || f.e164.size() > 16 ||
                f.context.size() > 200)
                __builtin_trap();
            if (!intl && !f.number.startsWith(QLatin1String("1-")))
                __builtin_trap(); // outside North America only when allowed
        }
    }
    (void)mayHoldFaxNumber(page);
    return 0;
}
