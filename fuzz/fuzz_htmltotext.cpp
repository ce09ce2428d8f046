// The page converter on any bytes: it must return, never crash, never read out of bounds.
#include "htmltotext.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray html =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray text = HtmlToText(html);
    (void)RemoveSpaces(text);
    return 0;
}
