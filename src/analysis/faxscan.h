#pragma once

// The fax scan of page text, byte to byte, without I/O: a number is taken from a text line
// when it follows the word "fax" (any letter case) with at most six letters between them.

#include <QByteArray>
#include <QByteArrayView>

#include "bytetext.h"

#include <cstring>
#include <string.h>

// True when, after a leading "1-" has been removed from the caller's variable (also when
// the answer is false), the first "-" is the 4th character, the next "-" from the 5th on
// is the 8th, and the length is 12. No other character is looked at.
bool IsUsFaxFormat(QByteArray &number);

// What one text line yields.
struct FaxFinding
{
    bool found = false; // a number to store (when the store does not know it yet)
    QByteArray number;  // 1-NNN-NNN-NNNN, or the international form with its "+"
    QByteArray label;   // the area code's description, or "Unknown/International"
};

// Scans one converted text line (without its line break) as the harvest does: the
// replacements of "%40", "%20", "&lt;" and "&rt;", then candidates after the first "fax"
// until one with 9 to 13 digits has been examined. At most one number per line;
// international numbers only when allowInternational. A candidate of more than 20 digits,
// which only leading "1"s (kept, not counted) can make, is no number.
FaxFinding scanFaxLine(QByteArrayView line, bool allowInternational);

// The body of a download without any CR or LF, as the second page file of a finished
// download holds it (before its closing CR LF).
QByteArray withoutLineBreaks(QByteArrayView body);

// The page file's lines joined without their line breaks (a line ends at CR or CR LF).
QByteArray joinLines(QByteArrayView fileBytes);

// CR LF put in front of every "fax" (any letter case), which is written in lower case.
QByteArray markFaxWords(QByteArrayView text);

// The text the fax line scan reads and the second page file keeps: the page without its
// line breaks, every "fax" marked, converted to text lines.
QByteArray faxLineText(QByteArrayView flatBody);

// Calls f(line) for every line of converted text that contains "fax" (any letter case),
// in order; lines as forEachTextLine cuts them. Faster than looking at every line.
template <typename F> void forEachFaxLine(QByteArrayView text, F &&f);

// Calls f(line) for every line of converted text: a line ends at CR, with or without a
// following LF; a lone LF belongs to the line.
template <typename F> void forEachTextLine(QByteArrayView text, F &&f)
{
    const char *s = text.data();
    const qsizetype n = text.size();
    qsizetype start = 0;
    while (start < n) {
        const void *cr = std::memchr(s + start, '\r', size_t(n - start));
        const qsizetype end = cr ? static_cast<const char *>(cr) - s : n;
        f(QByteArrayView(s + start, end - start));
        start = end + 1;
        if (cr && start < n && s[start] == '\n')
            ++start;
    }
}

template <typename F> void forEachFaxLine(QByteArrayView text, F &&f)
{
    const char *s = text.data();
    const qsizetype n = text.size();
    qsizetype pos = 0; // the start of a line not yet looked at
    ByteText::CaselessFinder fax(text, "fax");
    for (;;) {
        const qsizetype hit = fax.next(pos);
        if (hit < 0)
            return;
        qsizetype start = pos;
        if (hit > pos) {
            const void *cr = memrchr(s + pos, '\r', size_t(hit - pos));
            if (cr) {
                start = static_cast<const char *>(cr) - s + 1;
                if (s[start] == '\n')
                    ++start;
            }
        }
        const void *cr = std::memchr(s + hit, '\r', size_t(n - hit));
        const qsizetype end = cr ? static_cast<const char *>(cr) - s : n;
        f(QByteArrayView(s + start, end - start));
        if (!cr)
            return;
        pos = end + 1;
        if (pos < n && s[pos] == '\n')
            ++pos;
    }
}
