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

// Finds needle (given in lower case) in text with ASCII letters folded, for a series of
// searches with growing start positions: the first character is found with memchr in each
// letter case, and what a search learnt about the next occurrence of each is kept, so a
// whole series costs one pass over the text.
class CaselessFinder
{
public:
    CaselessFinder(QByteArrayView text, QByteArrayView needle)
        : m_s(text.data()), m_n(text.size()), m_nd(needle.data()), m_m(needle.size())
    {
        m_first = m_m ? m_nd[0] : 0;
        m_letter = m_first >= 'a' && m_first <= 'z';
        m_upper = m_letter ? char(m_first - 32) : m_first;
        m_last = m_n - m_m;
    }

    // The first position >= from; -1 when there is none.
    qsizetype next(qsizetype from)
    {
        if (m_m == 0)
            return from <= m_n ? from : -1;
        if (from < 0)
            from = 0;
        for (;;) {
            if (m_lo < from)
                m_lo = find(m_first, from);
            if (m_letter && m_up < from)
                m_up = find(m_upper, from);
            const qsizetype at = (m_letter && m_up < m_lo) ? m_up : m_lo;
            if (at > m_last)
                return -1;
            if (matchesCaselessAt(m_s + at + 1, m_nd + 1, m_m - 1))
                return at;
            from = at + 1;
        }
    }

private:
    qsizetype find(char c, qsizetype at) const
    {
        if (at > m_last)
            return m_n + 1;
        const void *p = std::memchr(m_s + at, c, size_t(m_last - at + 1));
        return p ? static_cast<const char *>(p) - m_s : m_n + 1;
    }

    const char *m_s;
    qsizetype m_n;
    const char *m_nd;
    qsizetype m_m;
    char m_first = 0;
    char m_upper = 0;
    bool m_letter = false;
    qsizetype m_last;
    qsizetype m_lo = -1; // next occurrence of each spelling of the first character
    qsizetype m_up = -1;
};

// First position >= from of needle (given in lower case) in text, ASCII letters folded;
// -1 when absent.
inline qsizetype indexOfCaseless(QByteArrayView text, QByteArrayView needle, qsizetype from = 0)
{
    return CaselessFinder(text, needle).next(from);
}

inline bool containsCaseless(QByteArrayView text, QByteArrayView needle)
{
    return indexOfCaseless(text, needle) >= 0;
}

inline bool startsWithCaseless(QByteArrayView text, QByteArrayView needle)
{
    return text.size() >= needle.size() &&
           matchesCaselessAt(text.data(), needle.data(), needle.size());
}

inline bool equalsCaseless(QByteArrayView text, QByteArrayView needle)
{
    return text.size() == needle.size() &&
           matchesCaselessAt(text.data(), needle.data(), needle.size());
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
