// The fax path of a whole page as GetFaxes runs it: the page file's lines joined, "fax"
// marked, converted to text, and every line scanned.
#include "faxscan.h"
#include "htmltotext.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView page(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray text = HtmlToText(markFaxWords(joinLines(page)));
    forEachTextLine(text, [](QByteArrayView line) { (void)scanFaxLine(line, true); });
    return 0;
}
