// Reading a file of sites (lists and CSV exports).
#include "siteimport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const SiteImport::Result r = SiteImport::parse(bytes);
    for (const QString &site : r.sites) {
        if (!SiteImport::isSite(site))
            __builtin_trap();
    }
    for (const SiteImport::Rejected &x : r.rejected) {
        if (x.line < 1)
            __builtin_trap();
    }
    return 0;
}
