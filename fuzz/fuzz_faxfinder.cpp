// The fax finder over a whole page, beside the reference scan: it never fails, every number
// it keeps has a valid E.164 form, and its evidence stays within bounds; the owner read
// beside it (structured data, address lines) is well formed.
#include "faxfinder.h"
#include "ownerreader.h"

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
            const ContactOwner &o = f.owner;
            if ((!o.phone.isEmpty() && !o.phone.startsWith(QLatin1Char('+'))) ||
                (!o.country.isEmpty() && o.country.size() != 2) ||
                (!o.organization.isEmpty() && o.organizationFrom.isEmpty()) ||
                (!o.city.isEmpty() && o.cityFrom.isEmpty()))
                __builtin_trap(); // every part says where it was read
        }
    }
    (void)mayHoldFaxNumber(page);
    // The address patterns over the input's lines, as a block gives them.
    const QString text = QString::fromUtf8(page.first(qMin<qsizetype>(page.size(), 4096)));
    (void)readAddress(text.split(QLatin1Char('\n')), QStringLiteral("US"));
    (void)readAddress(text.split(QLatin1Char('\n')), QString());
    return 0;
}
