#include "faxscan.h"

#include "areacode.h"
#include "bytetext.h"
#include "htmltotext.h"

using namespace ByteText;

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The first "-" is the 4th character and the next one from the 5th on is the 8th.
bool hasUsDashes(const QByteArray &t)
{
    return t.indexOf('-') == 3 && t.indexOf('-', 4) == 7;
}

bool isSeparator(char c)
{
    return c == ' ' || c == '-' || c == '.';
}

// No telephone number has more digits than this. The scan stops at its 13th counted digit,
// so only a run of leading long-distance "1"s, which it keeps but does not count, can make a
// candidate longer (a line of a million "1"s before a number would make a number of a
// million digits); such a candidate is no number. Every other candidate stays as it is.
constexpr int kMaxDigits = 20;

// The candidate of one scan: digits, separators and one "+", as the characters after
// "fax" give them.
struct Scan
{
    QByteArray candidate;
    int digits = 0; // counted: all but the leading "1"s
    int letters = 0;
    qsizetype consumed = 0;
    // More than kMaxDigits digits in all: the candidate is no number and is no longer
    // written, while the scan goes on counting as ever.
    bool tooLong = false;
};

Scan scanCandidate(QByteArrayView text)
{
    Scan sc;
    const qsizetype n = text.size();
    qsizetype i = 0;
    bool hasPlus = false;
    qsizetype openSeparator = -1;
    int allDigits = 0;
    while (i < n && sc.digits < 13 && sc.letters < 7) {
        const char c = text[i++];
        if (isDigit(c)) {
            if (++allDigits > kMaxDigits)
                sc.tooLong = true;
            if (!sc.tooLong)
                sc.candidate.append(c);
            // A leading long-distance "1" is kept but not counted.
            if (!(c == '1' && sc.digits == 0))
                ++sc.digits;
        } else if (isSeparator(c) && !sc.candidate.isEmpty()) {
            if (sc.tooLong)
                continue;
            // Earlier separators become "-". Every earlier one was turned when the next
            // came, so only the most recent can still be a space or ".".
            if (openSeparator >= 0) {
                sc.candidate[openSeparator] = '-';
                openSeparator = -1;
            }
            if (sc.candidate.back() != '-') {
                if (c != '-')
                    openSeparator = sc.candidate.size();
                sc.candidate.append(c);
            }
        } else if (c == '+' && !hasPlus) {
            if (!sc.tooLong)
                sc.candidate.append(c);
            hasPlus = true;
        } else if (sc.digits < 10 && isAsciiLetter(c)) {
            ++sc.letters;
        }
    }
    sc.consumed = i;
    return sc;
}

QByteArray normalizedCandidate(QByteArray c)
{
    for (char &ch : c) {
        if (ch == ' ' || ch == '.')
            ch = '-';
    }
    for (int k = 0; k < 6; ++k) {
        if (c.contains("--"))
            c = replaceAll(c, "--", "-", false);
    }
    if (c.endsWith('-'))
        c.chop(1);
    if (c.startsWith('-'))
        c.remove(0, 1);
    return c;
}

// Drops extensions and further digits of a number with the US layout.
QByteArray withoutExtension(const QByteArray &candidate)
{
    QByteArray copy = candidate;
    bool prefix = false;
    if (copy.startsWith("1-")) {
        copy.remove(0, 2);
        prefix = true;
    } else if (copy.startsWith("+1-")) {
        copy.remove(0, 3);
        prefix = true;
    }
    if (hasUsDashes(copy) && !copy.contains('+') && copy.size() != 12) {
        copy.truncate(12);
        return prefix ? "1-" + copy : copy;
    }
    return candidate;
}

QByteArray withReplacements(QByteArrayView line)
{
    QByteArray t = line.toByteArray();
    if (t.contains('%')) {
        t = replaceAll(t, "%40", "@", false);
        t = replaceAll(t, "%20", " ", false);
    }
    if (t.contains('&')) {
        t = replaceAll(t, "&lt;", "<", false);
        t = replaceAll(t, "&rt;", ">", false);
    }
    return t;
}

} // namespace

bool IsUsFaxFormat(QByteArray &number)
{
    if (number.startsWith("1-"))
        number.remove(0, 2);
    return hasUsDashes(number) && number.size() == 12;
}

FaxFinding scanFaxLine(QByteArrayView rawLine, bool allowInternational)
{
    FaxFinding result;
    // The replacements form no "fax" and break none, so a line without one ends here.
    if (indexOfCaseless(rawLine, "fax") < 0)
        return result;
    QByteArray line = withReplacements(rawLine);
    for (;;) {
        const qsizetype at = indexOfCaseless(line, "fax");
        if (at < 0)
            return result;
        const QByteArray text = removeAll(QByteArrayView(line).sliced(at), "fax", true);
        const Scan sc = scanCandidate(text);
        if (sc.digits >= 9 && sc.digits <= 13) {
            if (sc.tooLong)
                return result;
            QByteArray candidate = withoutExtension(normalizedCandidate(sc.candidate));
            QByteArray number;
            QByteArray label;
            if (IsUsFaxFormat(candidate)) {
                label = AreaCodeLookup(candidate);
                number = candidate.startsWith("1-") ? candidate : "1-" + candidate;
            } else if (allowInternational) {
                label = kUnknownInternational;
                number = candidate.contains('+') ? candidate : '+' + candidate;
            } else {
                return result;
            }
            // A scan that stopped on the seventh letter never stores.
            if (sc.letters <= 6) {
                result.found = true;
                result.number = number;
                result.label = label;
            }
            return result;
        }
        if (sc.consumed >= text.size())
            return result;
        line = text.mid(sc.consumed);
    }
}

QByteArray withoutLineBreaks(QByteArrayView body)
{
    if (body.isEmpty())
        return QByteArray();
    QByteArray out(body.size(), Qt::Uninitialized);
    char *d = out.data();
    const char *s = body.data();
    const char *const end = s + body.size();
    // Copy the stretches between line breaks; the next CR and LF are each looked up once.
    const char *cr = static_cast<const char *>(std::memchr(s, '\r', size_t(end - s)));
    const char *lf = static_cast<const char *>(std::memchr(s, '\n', size_t(end - s)));
    while (s < end) {
        if (cr && cr < s)
            cr = static_cast<const char *>(std::memchr(s, '\r', size_t(end - s)));
        if (lf && lf < s)
            lf = static_cast<const char *>(std::memchr(s, '\n', size_t(end - s)));
        const char *brk = !cr ? lf : !lf ? cr : (cr < lf ? cr : lf);
        const char *stop = brk ? brk : end;
        std::memcpy(d, s, size_t(stop - s));
        d += stop - s;
        s = stop + (brk ? 1 : 0);
    }
    out.truncate(d - out.constData());
    return out;
}

QByteArray joinLines(QByteArrayView bytes)
{
    if (!bytes.contains('\r'))
        return bytes.toByteArray();
    QByteArray out;
    out.reserve(bytes.size());
    const char *s = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const void *cr = std::memchr(s + i, '\r', size_t(n - i));
        const qsizetype end = cr ? static_cast<const char *>(cr) - s : n;
        out.append(s + i, end - i);
        i = end + 1;
        if (cr && i < n && s[i] == '\n')
            ++i;
    }
    return out;
}

QByteArray markFaxWords(QByteArrayView text)
{
    CaselessFinder fax(text, "fax");
    qsizetype at = fax.next(0);
    if (at < 0)
        return text.toByteArray();
    QByteArray out;
    out.reserve(text.size() + text.size() / 16 + 16);
    qsizetype copied = 0;
    while (at >= 0) {
        out.append(text.data() + copied, at - copied);
        out.append("\r\nfax", 5);
        copied = at + 3;
        at = fax.next(copied);
    }
    out.append(text.data() + copied, text.size() - copied);
    return out;
}

QByteArray faxLineText(QByteArrayView flatBody)
{
    if (ByteText::containsCaseless(flatBody, "fax"))
        return HtmlToText(markFaxWords(flatBody));
    return HtmlToText(flatBody);
}
