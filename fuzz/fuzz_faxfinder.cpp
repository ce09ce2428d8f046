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
    // The address patterns over the input's lines, as a block gives them: read around the
    // anchors the fast way, as each pattern over the whole text reads them. Lines of a block
    // (short, no long runs of separators) keep every match within the stretch looked at.
    const QString text = QString::fromUtf8(page.first(qMin<qsizetype>(page.size(), 2048)));
    const QStringList lines = text.split(QLatin1Char('\n'));
    bool tame = true;
    for (const QString &l : lines)
        tame = tame && l.size() <= 60;
    for (qsizetype i = 0, run = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        run = c.isSpace() || c == QLatin1Char(',') ? run + 1 : 0;
        tame = tame && run < 4;
    }
    for (const QString &country : {QStringLiteral("US"), QStringLiteral("GB"), QString()}) {
        const AddressParts fast = readAddress(lines, country);
        if (!tame)
            continue;
        const AddressParts slow = readAddressSlowly(lines, country);
        if (fast.city != slow.city || fast.postalCode != slow.postalCode ||
            fast.street != slow.street || fast.region != slow.region ||
            fast.country != slow.country)
            __builtin_trap(); // the stretches around the anchors missed a match
    }
    return 0;
}
