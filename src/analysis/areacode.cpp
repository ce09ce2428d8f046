#include "areacode.h"

#include "areacodetable.h"

#include <array>

const char *const kUnknownInternational = "Unknown/International";

namespace {

// Codes of the directory lie below 1000; an index by code, built once.
const char *descriptionOf(long code)
{
    static const std::array<const char *, 1000> byCode = [] {
        std::array<const char *, 1000> a{};
        for (int i = 0; i < kAreaCodeCount; ++i) {
            const int c = kAreaCodeTable[i].code;
            if (c >= 0 && c < 1000 && !a[size_t(c)])
                a[size_t(c)] = kAreaCodeTable[i].description;
        }
        return a;
    }();
    return (code >= 0 && code < 1000) ? byCode[size_t(code)] : nullptr;
}

} // namespace

QByteArray AreaCodeLookup(QByteArray &number)
{
    if (number.startsWith("1-"))
        number.remove(0, 2);
    const qsizetype dash = number.indexOf('-');
    const char *d = nullptr;
    if (dash > 0) {
        qsizetype i = 0;
        if (number.at(0) == '+')
            i = 1;
        long code = 0;
        bool ok = i < dash;
        for (; i < dash && ok; ++i) {
            const char c = number.at(i);
            ok = c >= '0' && c <= '9';
            code = code * 10 + (c - '0');
            if (code > 32767)
                ok = false;
        }
        if (ok)
            d = descriptionOf(code);
    }
    return QByteArray(d ? d : kUnknownInternational);
}
