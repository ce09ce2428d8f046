// The fax scan of one text line, with and without international numbers.
#include "faxscan.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView line(reinterpret_cast<const char *>(data), qsizetype(size));
    for (bool intl : {false, true}) {
        FaxFinding f = scanFaxLine(line, intl);
        if (f.found && f.number.isEmpty())
            __builtin_trap();
        if (f.found && !intl && !f.number.startsWith("1-"))
            __builtin_trap(); // without "Allow International" only the US form is stored
    }
    QByteArray copy = QByteArray(line.data(), line.size());
    (void)IsUsFaxFormat(copy);
    return 0;
}
