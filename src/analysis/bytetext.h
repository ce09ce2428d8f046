#pragma once

// Small helpers over 8-bit page text. "Caseless" folds ASCII letters only, so a byte of
// the upper half never matches a letter. "Every X" operations are one left-to-right pass:
// what a replacement forms is not looked at again.

#include <QByteArray>
#include <QByteArrayView>

#include <cstring>

namespace ByteText {

inline char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

// needle is given in lower case.
inline bool matchesCaselessAt(const char *p, const char *needle, qsizetype len)
{
    for (qsizetype k = 0; k < len; ++k) {
        if (lowerAscii(p[k]) != needle[k])
            return false;
    }
    return true;
}

// First position >= from of needle (given in lower case) in text, ASCII letters folded;
// -1 when absent. The first character is found with memchr, in both cases for a letter.
inline qsizetype indexOfCaseless(QByteArrayView text, QByteArrayView needle, qsizetype from = 0)
{
    const qsizetype m = needle.size();
    const qsizetype n = text.size();
    if (m == 0)
        return from <= n ? from : -1;
    if (from < 0)
        from = 0;
    const char *s = text.data();
    const char *nd = needle.data();
    const char first = nd[0];
    const bool letter = first >= 'a' && first <= 'z';
    const char upper = letter ? char(first - 32) : first;
    const qsizetype last = n - m; // the last start that fits
    qsizetype i = from;
    // Next occurrence of each spelling of the first character; n when there is none.
    auto next = [&](char c, qsizetype at) -> qsizetype {
        if (at > last)
            return n;
        const void *p = std::memchr(s + at, c, size_t(last - at + 1));
        return p ? static_cast<const char *>(p) - s : n;
    };
    qsizetype lo = next(first, i);
    qsizetype up = letter ? next(upper, i) : n;
    for (;;) {
        const qsizetype at = lo < up ? lo : up;
        if (at > last)
            return -1;
        if (matchesCaselessAt(s + at + 1, nd + 1, m - 1))
            return at;
        if (at == lo)
            lo = next(first, at + 1);
        else
            up = next(upper, at + 1);
    }
}

inline bool containsCaseless(QByteArrayView text, QByteArrayView needle)
{
    return indexOfCaseless(text, needle) >= 0;
}

inline bool startsWithCaseless(QByteArrayView text, QByteArrayView needle)
{
    return text.size() >= needle.size() && matchesCaselessAt(text.data(), needle.data(), needle.size());
}

inline bool equalsCaseless(QByteArrayView text, QByteArrayView needle)
{
    return text.size() == needle.size() && matchesCaselessAt(text.data(), needle.data(), needle.size());
}

// Every occurrence of needle (lower case given; caseless when `caseless`) replaced by
// `with`, in one pass.
inline QByteArray replaceAll(QByteArrayView text, QByteArrayView needle, QByteArrayView with,
                             bool caseless)
{
    QByteArray out;
    const qsizetype m = needle.size();
    const qsizetype n = text.size();
    const char *s = text.data();
    qsizetype i = 0;
    qsizetype copied = 0;
    bool any = false;
    while (i + m <= n) {
        const bool hit = caseless ? matchesCaselessAt(s + i, needle.data(), m)
                                  : std::memcmp(s + i, needle.data(), size_t(m)) == 0;
        if (hit) {
            if (!any) {
                out.reserve(n);
                any = true;
            }
            out.append(s + copied, i - copied);
            out.append(with.data(), with.size());
            i += m;
            copied = i;
        } else {
            ++i;
        }
    }
    if (!any)
        return text.toByteArray();
    out.append(s + copied, n - copied);
    return out;
}

inline QByteArray removeAll(QByteArrayView text, QByteArrayView needle, bool caseless)
{
    return replaceAll(text, needle, QByteArrayView(), caseless);
}

} // namespace ByteText
