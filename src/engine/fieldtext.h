#pragma once

#include <QByteArrayView>

// Helpers for header fields and robots.txt records: 8-bit text, ASCII letter case folded.
namespace FieldText {

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// v without leading and trailing spaces and tabs.
inline QByteArrayView trimmed(QByteArrayView v)
{
    qsizetype b = 0, e = v.size();
    while (b < e && isBlank(v[b]))
        ++b;
    while (e > b && isBlank(v[e - 1]))
        --e;
    return v.sliced(b, e - b);
}

// The value of a hex digit, -1 for another character.
inline int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

inline bool equalsCaseless(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace FieldText
