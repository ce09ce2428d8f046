#include "cp1252.h"

namespace {

// The 0x80..0x9F row of Windows-1252. The five bytes it leaves undefined keep their own
// value (the C1 control of that code), so every byte has exactly one character.
const char16_t kHighRow[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

} // namespace

namespace Cp1252 {

QString toUnicode(const QByteArray &bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    const uchar *s = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = s[i];
        d[i] = (c >= 0x80 && c <= 0x9F) ? QChar(kHighRow[c - 0x80]) : QChar(c);
    }
    return out;
}

uint codePointOfByte(uchar c)
{
    return (c >= 0x80 && c <= 0x9F) ? kHighRow[c - 0x80] : c;
}

int byteOfCodePoint(uint codePoint)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return int(codePoint);
    for (int k = 0; k < 32; ++k) {
        if (kHighRow[k] == codePoint)
            return 0x80 + k;
    }
    return -1;
}

QByteArray fromUnicode(const QString &text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    char *d = out.data();
    const QChar *s = text.constData();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const int b = byteOfCodePoint(s[i].unicode());
        d[i] = char(b < 0 ? '?' : b);
    }
    return out;
}

} // namespace Cp1252
