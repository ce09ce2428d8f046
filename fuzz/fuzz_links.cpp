// Link extraction and normalisation: the first input line is the site the page came from
// (as the scheduler hands it to a slot), the rest is the page.
#include "links.h"
#include "pageanalysis.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray all =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype nl = all.indexOf('\n');
    const QByteArray site = nl < 0 ? all : all.left(nl);
    const QByteArrayView page = nl < 0 ? QByteArrayView() : QByteArrayView(all).sliced(nl + 1);
    const ConnectTarget t = connectTargetOf(site);
    if (!t.strPath.startsWith('/') || t.strHost.contains('/'))
        __builtin_trap();
    forEachLineAnyBreak(page, [&](QByteArrayView line) {
        for (QByteArray link : linkTextsOfLine(line)) {
            if (isSkippedLink(link))
                continue;
            NormalizeUrl(link, t.strCurUrl, t.strCurDir);
        }
    });
    (void)ParentPath(site);
    return 0;
}
