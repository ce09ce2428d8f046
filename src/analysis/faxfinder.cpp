#include "faxfinder.h"

#include "areacode.h"
#include "bytetext.h"
#include "cp1252.h"
#include "faxlabels.h"
#include "faxscan.h"
#include "htmltotext.h"
#include "ownerreader.h"
#include "pagetext.h"
#include "phonereading.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using ByteText::CaselessFinder;
using ByteText::equalsCaseless;

namespace {

constexpr int kContextChars = 200;
constexpr qsizetype kMaxReadings = 5000;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// True when a sentence ends within `gap`: a full stop, "!", "?" or ";" after a word and
// before a space (not an abbreviation's: the next word is in lower case), or an ideographic
// full stop.
bool endsSentence(QByteArrayView gap)
{
    for (qsizetype i = 0; i + 1 < gap.size(); ++i) {
        const char c = gap[i];
        if ((c == '.' || c == '!' || c == '?' || c == ';') && gap[i + 1] == ' ' && i > 0 &&
            isAsciiLetter(gap[i - 1]) &&
            !(i + 2 < gap.size() && gap[i + 2] >= 'a' && gap[i + 2] <= 'z'))
            return true;
    }
    return gap.contains("\xe3\x80\x82");
}

// ---------------------------------------------------------------- the reference scan

struct ReferenceFind
{
    QByteArray number;
    QByteArray location;
    QByteArray line;
};

// The fax lines of the page's text (faxLineText) as GetFaxes scans them. A number is listed
// once, as the store keeps it.
QList<ReferenceFind> referenceScan(QByteArrayView text, bool allowInternational)
{
    QList<ReferenceFind> finds;
    QSet<QByteArray> seen;
    forEachFaxLine(text, [&](QByteArrayView line) {
        const FaxFinding f = scanFaxLine(line, allowInternational);
        if (f.found && !seen.contains(f.number)) {
            seen.insert(f.number);
            finds.append({f.number, f.label, line.toByteArray()});
        }
    });
    return finds;
}

// ---------------------------------------------------------------- the page's country

// The country calling codes of the numbering plans, in order: the first group of a number
// written without "+" is looked up here before the plans themselves are loaded.
const short kCallingCodes[] = {
    1,   7,   20,  27,  30,  31,  32,  33,  34,  36,  39,  40,  41,  43,  44,  45,  46,  47,
    48,  49,  51,  52,  53,  54,  55,  56,  57,  58,  60,  61,  62,  63,  64,  65,  66,  81,
    82,  84,  86,  90,  91,  92,  93,  94,  95,  98,  211, 212, 213, 216, 218, 220, 221, 222,
    223, 224, 225, 226, 227, 228, 229, 230, 231, 232, 233, 234, 235, 236, 237, 238, 239, 240,
    241, 242, 243, 244, 245, 246, 247, 248, 249, 250, 251, 252, 253, 254, 255, 256, 257, 258,
    260, 261, 262, 263, 264, 265, 266, 267, 268, 269, 290, 291, 297, 298, 299, 350, 351, 352,
    353, 354, 355, 356, 357, 358, 359, 370, 371, 372, 373, 374, 375, 376, 377, 378, 380, 381,
    382, 383, 385, 386, 387, 389, 420, 421, 423, 500, 501, 502, 503, 504, 505, 506, 507, 508,
    509, 590, 591, 592, 593, 594, 595, 596, 597, 598, 599, 670, 672, 673, 674, 675, 676, 677,
    678, 679, 680, 681, 682, 683, 685, 686, 687, 688, 689, 690, 691, 692, 800, 808, 850, 852,
    853, 855, 856, 870, 878, 880, 881, 882, 883, 886, 888, 960, 961, 962, 963, 964, 965, 966,
    967, 968, 970, 971, 972, 973, 974, 975, 976, 977, 979, 992, 993, 994, 995, 996, 998,
};

bool isCallingCode(int code)
{
    return std::binary_search(std::begin(kCallingCodes), std::end(kCallingCodes), code);
}

// Country-code top-level domains that sites all over the world use.
const char *const kVanityTopLevels[] = {
    "io", "co", "tv", "me", "ai", "fm", "ws", "cc", "ly", "gg", "to", "nu", "tk", "ag", "sh", "so",
    "eu", "su", "ac", "am", "la", "ms", "gs", "vc", "cx", "bz", "im", "st", "tc", "vg", "sx", "gl"};

// Languages spoken in one country above all others.
const char *const kLanguageRegions[][2] = {
    {"de", "DE"}, {"ja", "JP"}, {"el", "GR"}, {"it", "IT"}, {"fr", "FR"}, {"nl", "NL"},
    {"pl", "PL"}, {"cs", "CZ"}, {"sk", "SK"}, {"hu", "HU"}, {"ro", "RO"}, {"bg", "BG"},
    {"ru", "RU"}, {"uk", "UA"}, {"tr", "TR"}, {"sv", "SE"}, {"da", "DK"}, {"nb", "NO"},
    {"nn", "NO"}, {"no", "NO"}, {"fi", "FI"}, {"ko", "KR"}, {"zh", "CN"}, {"he", "IL"},
    {"iw", "IL"}, {"th", "TH"}, {"vi", "VN"}, {"id", "ID"}, {"ms", "MY"}, {"hr", "HR"},
    {"sl", "SI"}, {"sr", "RS"}, {"lt", "LT"}, {"lv", "LV"}, {"et", "EE"}, {"is", "IS"},
    {"ka", "GE"}, {"hy", "AM"}, {"fa", "IR"}, {"hi", "IN"},
};

QByteArray regionOfTopLevel(QByteArrayView tld)
{
    if (tld.size() != 2 || isOneOf(tld, kVanityTopLevels, int(std::size(kVanityTopLevels))))
        return QByteArray();
    QByteArray r = tld.toByteArray().toUpper();
    if (r == "UK")
        r = "GB";
    return countryNameOf(QString::fromLatin1(r)).isEmpty() ? QByteArray() : r;
}

QByteArray regionOfHost(QByteArrayView host)
{
    while (host.endsWith('.'))
        host.chop(1);
    const qsizetype dot = host.lastIndexOf('.');
    return dot < 0 ? QByteArray() : regionOfTopLevel(host.sliced(dot + 1));
}

QByteArray hostOfAddress(const QString &address)
{
    QByteArray a = address.toUtf8().trimmed();
    const qsizetype scheme = a.indexOf("://");
    if (scheme >= 0)
        a.remove(0, scheme + 3);
    qsizetype end = 0;
    while (end < a.size() && a[end] != '/' && a[end] != ':' && a[end] != '?')
        ++end;
    return a.left(end).toLower();
}

// The dominant script of the text, as the country it points to.
QByteArray regionOfScript(const QByteArray &text)
{
    int kana = 0, hangul = 0, han = 0, greek = 0, thai = 0, hebrew = 0;
    const uchar *s = reinterpret_cast<const uchar *>(text.constData());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = s[i];
        if (c < 0xC0)
            continue;
        uint cp;
        if (c < 0xE0 && i + 1 < n)
            cp = (uint(c & 0x1F) << 6) | (s[i + 1] & 0x3F);
        else if (c < 0xF0 && i + 2 < n)
            cp = (uint(c & 0x0F) << 12) | (uint(s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
        else
            continue;
        kana += cp >= 0x3040 && cp <= 0x30FF;
        hangul += cp >= 0xAC00 && cp <= 0xD7AF;
        han += cp >= 0x4E00 && cp <= 0x9FFF;
        greek += cp >= 0x0370 && cp <= 0x03FF;
        thai += cp >= 0x0E00 && cp <= 0x0E7F;
        hebrew += cp >= 0x0590 && cp <= 0x05FF;
    }
    if (kana >= 3)
        return "JP";
    if (hangul >= 3)
        return "KR";
    if (han >= 3)
        return "CN";
    if (greek >= 10)
        return "GR";
    if (thai >= 3)
        return "TH";
    if (hebrew >= 3)
        return "IL";
    return QByteArray();
}

// The line that holds text position `pos` (-1 before the first).
qsizetype lineIndexOf(const PageText &pt, qsizetype pos)
{
    auto it = std::upper_bound(pt.lines.cbegin(), pt.lines.cend(), pos,
                               [](qsizetype p, const TextLine &l) { return p < l.begin; });
    return qsizetype(it - pt.lines.cbegin()) - 1;
}

// ---------------------------------------------------------------- labels in the text

struct Label
{
    qsizetype begin = 0;
    qsizetype end = 0;
    LabelKind kind = LabelKind::Fax;
    const char *how = FoundHow::LabelBefore; // how a number found by it was found
    QByteArray text;
    bool combined = false; // "Tel/Fax": a telephone and fax label in one
    bool oneLetter = false;
    bool mark = false;
};

// The page read once for the finder, with what is derived from it on demand.
class FinderPage
{
public:
    FinderPage(QByteArrayView html, const FinderInput &in) : m_html(html), m_in(in) {}

    const PageText &text()
    {
        if (!m_text)
            m_text = readPageText(m_html);
        return *m_text;
    }

    // The region a number without country code belongs to, "" when unknown.
    const QByteArray &region()
    {
        if (!m_regionKnown) {
            m_region = findRegion();
            m_regionKnown = true;
        }
        return m_region;
    }

    std::function<QByteArray()> regionSource()
    {
        return [this] { return region(); };
    }

    // readPhoneNumber for this page; a page gives its numbers often more than once. Reading
    // a number costs tens of microseconds, so a page gets a bounded number of readings: more
    // fax numbers than that on one page is a hostile page, not a directory.
    PhoneReading read(const QByteArray &written)
    {
        auto it = m_readings.constFind(written);
        if (it != m_readings.cend())
            return *it;
        if (m_readings.size() >= kMaxReadings)
            return PhoneReading();
        PhoneReading r = readPhoneNumber(written, regionSource());
        if (!r.valid && m_in.findBeyondFaxLine)
            r = withGluedCountryCode(written);
        return *m_readings.insert(written, r);
    }

    // Every country the page points to: its address and language, the hosts it links, the
    // numbers it writes with "+", the countries its addresses name.
    const QSet<QByteArray> &regionSignals()
    {
        if (!m_signals) {
            m_signals.emplace();
            const PageText &pt = text();
            auto add = [this](const QByteArray &r) {
                if (!r.isEmpty())
                    m_signals->insert(r);
            };
            add(regionOfHost(hostOfAddress(m_in.address)));
            add(regionOfHost(pt.canonicalHost));
            add(regionOfLanguage(pt.lang));
            for (auto tl = pt.linkTopLevels.cbegin(); tl != pt.linkTopLevels.cend(); ++tl)
                add(regionOfTopLevel(tl.key()));
            for (auto pr = plusNumberRegions().cbegin(); pr != plusNumberRegions().cend(); ++pr)
                add(pr.key());
            for (const QByteArray &c : addressCountries())
                add(c);
            add(region());
        }
        return *m_signals;
    }

private:
    // "(33-1) 45 55 01 00", "61-2-9555-0100", "852-2555-0100": a country code written as
    // the first group without "+", taken as one when the number it gives belongs to a
    // country the page points to.
    PhoneReading withGluedCountryCode(const QByteArray &written)
    {
        const qsizetype from = written.startsWith('(') ? 1 : 0;
        qsizetype end = from;
        while (end < written.size() && isDigit(written[end]))
            ++end;
        const qsizetype length = end - from;
        if (length < 1 || length > 3 || written[from] == '0' || end >= written.size() ||
            !(written[end] == '-' || written[end] == ' ' || written[end] == '.' ||
              written[end] == ')') ||
            !isCallingCode(written.mid(from, length).toInt()))
            return PhoneReading();
        QByteArray international("+");
        for (char c : written) {
            if (isDigit(c))
                international.append(c);
        }
        if (international.size() < 9 || international.size() > 16)
            return PhoneReading();
        const PhoneReading r = readPhoneNumber(international, nullptr);
        if (!r.valid || !regionSignals().contains(r.region.toLatin1()))
            return PhoneReading();
        return r;
    }

    static QByteArray regionOfLanguage(const QByteArray &langAttribute)
    {
        const QByteArray lang = langAttribute.trimmed();
        const qsizetype dash = std::max(lang.indexOf('-'), lang.indexOf('_'));
        if (dash == 2 && lang.size() == 5) {
            const QByteArray r = regionOfTopLevel(lang.mid(3));
            if (!r.isEmpty())
                return r;
        }
        const QByteArray language = lang.left(2);
        for (const auto &lr : kLanguageRegions) {
            if (language == lr[0] && (lang.size() == 2 || dash == 2))
                return lr[1];
        }
        return QByteArray();
    }

    // The countries the page's addresses name, the most named first: a country's name on a
    // line of its own or after a comma, a postal code and place in one country's form. Read
    // only when a number needs a country the surer signals do not give; a page's first
    // addresses count.
    const QList<QByteArray> &addressCountries()
    {
        if (m_addressCountries)
            return *m_addressCountries;
        m_addressCountries.emplace();
        const PageText &pt = text();
        QHash<QByteArray, int> count;
        int read = 0;
        for (qsizetype j = 0; j < pt.lines.size() && read < 64; ++j) {
            const TextLine &l = pt.lines[j];
            if (l.end - l.begin > 160)
                continue;
            const QByteArrayView bytes = QByteArrayView(pt.text).sliced(l.begin, l.end - l.begin);
            QString country;
            if (bytes.size() <= 40 && mayNameCountry(bytes))
                country = countryOfName(QString::fromUtf8(bytes));
            if (country.isEmpty() && mayHoldAddress(bytes)) {
                ++read;
                QStringList lines;
                if (j > 0 && pt.lines[j - 1].end - pt.lines[j - 1].begin <= 160)
                    lines << QString::fromUtf8(pt.text.mid(
                        pt.lines[j - 1].begin, pt.lines[j - 1].end - pt.lines[j - 1].begin));
                lines << QString::fromUtf8(bytes);
                country = readAddress(lines, QString()).country;
            }
            if (!country.isEmpty())
                ++count[country.toLatin1()];
        }
        QList<std::pair<int, QByteArray>> byCount; // (-count, country): the most named first
        int total = 0;
        for (auto it = count.cbegin(); it != count.cend(); ++it) {
            byCount.append({-it.value(), it.key()});
            total += it.value();
        }
        std::sort(byCount.begin(), byCount.end());
        for (const auto &[n, c] : byCount)
            m_addressCountries->append(c);
        m_addressMajority = !byCount.isEmpty() && -byCount.first().first * 2 > total;
        return *m_addressCountries;
    }

    QByteArray findRegion()
    {
        QByteArray r = regionOfHost(hostOfAddress(m_in.address));
        if (!r.isEmpty())
            return r;
        const PageText &pt = text();
        r = regionOfHost(pt.canonicalHost);
        if (!r.isEmpty())
            return r;
        const QByteArray lang = pt.lang.trimmed();
        const qsizetype dash = std::max(lang.indexOf('-'), lang.indexOf('_'));
        // A region subtag: en-AU, de-AT, pt-BR.
        if (dash == 2 && lang.size() == 5) {
            r = regionOfTopLevel(lang.mid(3));
            if (!r.isEmpty())
                return r;
        }
        // The country most links and mail addresses of the page point to.
        QMap<QByteArray, int> topLevels = pt.linkTopLevels;
        countHostsInText(pt.text, &topLevels);
        int total = 0;
        int best = 0;
        QByteArray bestTld;
        for (auto it = topLevels.cbegin(); it != topLevels.cend(); ++it) {
            if (regionOfTopLevel(it.key()).isEmpty())
                continue;
            total += it.value();
            if (it.value() > best) {
                best = it.value();
                bestTld = it.key();
            }
        }
        if ((best >= 2 && best * 2 >= total) || (best == 1 && total == 1))
            return regionOfTopLevel(bestTld);
        const QByteArray language = lang.left(2);
        for (const auto &lr : kLanguageRegions) {
            if (language == lr[0] && (lang.size() == 2 || dash == 2))
                return lr[1];
        }
        r = regionOfPlusNumbers();
        if (!r.isEmpty())
            return r;
        // The country most of the page's addresses name.
        if (!addressCountries().isEmpty() && m_addressMajority)
            return addressCountries().first();
        return regionOfScript(pt.text);
    }

    // Host names the text mentions: mail addresses and "www." names.
    static void countHostsInText(const QByteArray &text, QMap<QByteArray, int> *topLevels)
    {
        auto hostAt = [&](qsizetype from) {
            qsizetype end = from;
            while (end < text.size() && (isAsciiLetter(text[end]) || isDigit(text[end]) ||
                                         text[end] == '.' || text[end] == '-'))
                ++end;
            const QByteArrayView host = QByteArrayView(text).sliced(from, end - from);
            const qsizetype dot = host.lastIndexOf('.');
            if (dot > 0 && host.size() - dot == 3)
                ++(*topLevels)[host.sliced(dot + 1).toByteArray().toLower()];
        };
        for (qsizetype at = text.indexOf('@'); at >= 0; at = text.indexOf('@', at + 1))
            hostAt(at + 1);
        CaselessFinder www(text, "www.");
        for (qsizetype at = www.next(0); at >= 0; at = www.next(at + 1))
            hostAt(at);
    }

    // The countries of the numbers the page writes with "+" (outside North America), and
    // how many of each.
    const QHash<QByteArray, int> &plusNumberRegions()
    {
        if (m_plusRegions)
            return *m_plusRegions;
        m_plusRegions.emplace();
        const PageText &pt = text();
        int total = 0;
        qsizetype from = 0;
        for (int tries = 0; total < 20 && tries < 100; ++tries) {
            const qsizetype plus = pt.text.indexOf('+', from);
            if (plus < 0)
                break;
            from = plus + 1;
            const QList<NumberRun> runs =
                numberRuns(pt.text, plus, qMin(pt.text.size(), plus + 40));
            if (runs.isEmpty() || runs.first().begin != plus)
                continue;
            const PhoneReading r = readPhoneNumber(runs.first().written, nullptr);
            if (r.valid && !r.northAmerican && r.region.size() == 2) {
                ++(*m_plusRegions)[r.region.toLatin1()];
                ++total;
            }
        }
        return *m_plusRegions;
    }

    // The country of the numbers the page writes with "+", when they agree.
    QByteArray regionOfPlusNumbers()
    {
        int total = 0;
        for (int n : plusNumberRegions())
            total += n;
        for (auto it = plusNumberRegions().cbegin(); it != plusNumberRegions().cend(); ++it) {
            if (it.value() * 2 > total)
                return it.key();
        }
        return QByteArray();
    }

    QByteArrayView m_html;
    const FinderInput &m_in;
    std::optional<PageText> m_text;
    QHash<QByteArray, PhoneReading> m_readings;
    QByteArray m_region;
    bool m_regionKnown = false;
    std::optional<QSet<QByteArray>> m_signals;
    std::optional<QHash<QByteArray, int>> m_plusRegions;
    std::optional<QList<QByteArray>> m_addressCountries;
    bool m_addressMajority = false;
};

// Every label of the text, in order: label words (joined where "Tel/Fax" makes one label
// of two) and the marks of the markup.
// The lines whose labels may name a number: a number's line and the six above it, header
// cells, and what lies within 300 bytes of them (where the "T" beside an "F" stands).
QList<bool> linesToRead(const PageText &pt, const QList<NumberRun> &runs)
{
    const qsizetype count = pt.lines.size();
    QList<bool> read(count, false);
    for (const NumberRun &r : runs) {
        const qsizetype li = lineIndexOf(pt, r.begin);
        for (qsizetype j = qMax<qsizetype>(0, li - 6); j <= li; ++j)
            read[j] = true;
    }
    for (qsizetype j = 0; j < count; ++j) {
        const TextLine &l = pt.lines[j];
        read[j] = read[j] || l.kind == LineKind::HeaderCell || (l.table >= 0 && l.row == 0);
    }
    QList<bool> near = read;
    qsizetype lastEnd = -1;
    for (qsizetype j = 0; j < count; ++j) {
        if (read[j])
            lastEnd = pt.lines[j].end;
        else if (lastEnd >= 0 && pt.lines[j].begin - lastEnd <= 300)
            near[j] = true;
    }
    qsizetype nextBegin = -1;
    for (qsizetype j = count - 1; j >= 0; --j) {
        if (read[j])
            nextBegin = pt.lines[j].begin;
        else if (nextBegin >= 0 && nextBegin - pt.lines[j].end <= 300)
            near[j] = true;
    }
    return near;
}

QList<Label> labelsOf(const PageText &pt, const QList<NumberRun> &runs)
{
    QList<Label> words;
    const QByteArray &t = pt.text;
    const QList<bool> read = linesToRead(pt, runs);
    for (qsizetype li = 0; li < pt.lines.size(); ++li) {
        if (!read[li])
            continue;
        const qsizetype n = pt.lines[li].end;
        for (qsizetype p = pt.lines[li].begin; p < n;) {
            const uchar c = uchar(t[p]);
            const bool ascii = isAsciiLetter(char(c));
            const bool wordStart = ascii ? (p == 0 || !isAsciiLetter(t[p - 1])) : c >= 0xC0;
            if (!wordStart) {
                ++p;
                continue;
            }
            const LabelMatch m = mayStartLabel(t, p) ? matchLabelAt(t, p) : LabelMatch();
            if (!m.word) {
                // On to the next word: no label starts inside one.
                ++p;
                while (ascii && p < n && isAsciiLetter(t[p]))
                    ++p;
                continue;
            }
            Label l;
            l.begin = p;
            l.end = p + m.length;
            l.kind = m.word->kind;
            l.text = t.mid(p, m.length);
            l.oneLetter = m.word->flags & OneLetter;
            words.append(l);
            p += m.length;
        }
    }

    // "Tel/Fax", "Phone and fax", "Fax/Tel": one fax label over both words.
    QList<Label> joined;
    for (qsizetype k = 0; k < words.size(); ++k) {
        Label l = words[k];
        if (k + 1 < words.size() && !l.oneLetter && !words[k + 1].oneLetter &&
            ((l.kind == LabelKind::Phone && words[k + 1].kind == LabelKind::Fax) ||
             (l.kind == LabelKind::Fax && words[k + 1].kind == LabelKind::Phone))) {
            const QByteArray between = t.mid(l.end, words[k + 1].begin - l.end).trimmed();
            QByteArray joiner = between;
            if (joiner.startsWith('.'))
                joiner = joiner.mid(1).trimmed();
            if (between.size() <= 6 && !between.contains('\n') &&
                isOneOf(joiner, kLabelJoiners, kLabelJoinerCount)) {
                l.kind = LabelKind::Fax;
                l.end = words[k + 1].end;
                l.text = t.mid(l.begin, l.end - l.begin);
                l.combined = true;
                ++k;
            }
        }
        joined.append(l);
    }

    // A lone "F" is a fax label only beside a telephone label ("T: ... F: ..."), at most
    // 300 bytes away: the nearest telephone label on either side decides.
    QList<qsizetype> phoneBefore(joined.size(), -1); // end of the last telephone label before
    QList<qsizetype> phoneAfter(joined.size(), -1);  // begin of the first one after
    qsizetype last = -1;
    for (qsizetype k = 0; k < joined.size(); ++k) {
        phoneBefore[k] = last;
        if (joined[k].kind == LabelKind::Phone)
            last = joined[k].end;
    }
    last = -1;
    for (qsizetype k = joined.size() - 1; k >= 0; --k) {
        phoneAfter[k] = last;
        if (joined[k].kind == LabelKind::Phone)
            last = joined[k].begin;
    }
    QList<Label> labels;
    for (qsizetype k = 0; k < joined.size(); ++k) {
        const Label &l = joined[k];
        if (l.oneLetter && l.kind == LabelKind::Fax) {
            const bool sibling = (phoneBefore[k] >= 0 && l.begin - phoneBefore[k] <= 300) ||
                                 (phoneAfter[k] >= 0 && phoneAfter[k] - l.end <= 300);
            if (!sibling)
                continue;
        }
        labels.append(l);
    }

    for (const LabelMark &m : pt.marks) {
        Label l;
        l.begin = l.end = m.at;
        l.kind = m.kind;
        l.text = m.text;
        l.mark = true;
        l.how = m.source == LabelMark::Microdata ? FoundHow::Microdata
                : m.source == LabelMark::Rdfa    ? FoundHow::Rdfa
                                                 : FoundHow::Icon;
        labels.append(l);
    }
    std::stable_sort(labels.begin(), labels.end(),
                     [](const Label &a, const Label &b) { return a.end < b.end; });
    return labels;
}

// ---------------------------------------------------------------- labels and numbers

struct Words
{
    int words = 0;
    int filler = 0;
    int letters = 0;
    QByteArray last; // the last word
};

Words wordsOf(QByteArrayView gap)
{
    Words w;
    qsizetype i = 0;
    while (i < gap.size()) {
        const uchar c = uchar(gap[i]);
        if (!(isAsciiLetter(char(c)) || c >= 0x80)) {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < gap.size() && (isAsciiLetter(gap[j]) || uchar(gap[j]) >= 0x80))
            ++j;
        const QByteArrayView word = gap.sliced(i, j - i);
        ++w.words;
        w.letters += int(j - i);
        w.filler += isOneOf(word, kFillerWords, kFillerWordCount);
        w.last = word.toByteArray();
        i = j;
    }
    return w;
}

// True when the text between a label and a number still lets the label name the number:
// signs and filler words ("Fax number:"), a short qualifier ("Fax (Sales):"), or in running
// text a lead-in ("fax the signed form to: ...").
bool labelReaches(const Label &label, QByteArrayView gap)
{
    if (gap.contains('\n') || gap.size() > 160)
        return false;
    const Words w = wordsOf(gap);
    if (w.words == w.filler && w.words <= 4)
        return true;
    if (label.mark)
        return w.words <= 2 && gap.size() <= 24;
    if (w.words - w.filler <= 2 && w.letters <= 18 && gap.size() <= 40)
        return true;
    if (label.kind != LabelKind::Fax || label.oneLetter || endsSentence(gap))
        return false;
    // The last word before the number, past a "(US)" or a colon.
    QByteArray tail = gap.toByteArray().trimmed();
    while (tail.endsWith(')')) {
        const qsizetype open = tail.lastIndexOf('(');
        if (open < 0 || tail.size() - open > 12)
            break;
        tail = tail.left(open).trimmed();
    }
    if (tail.endsWith(':'))
        return true;
    return isOneOf(wordsOf(tail).last, kLeadInWords, kLeadInWordCount);
}

// The stretch between a number and a label just after it: only signs ("(fax)", "– fax").
bool onlySigns(QByteArrayView gap)
{
    if (gap.size() > 16)
        return false;
    for (char c : gap) {
        if (!(c == ' ' || c == '(' || c == ')' || c == '-' || c == ',' || c == '.' || c == '/' ||
              c == ':' || c == '[' || c == ']' || c == '|' || c == '*'))
            return false;
    }
    return true;
}

bool isListSeparator(QByteArrayView gap)
{
    const QByteArray g = gap.toByteArray().trimmed();
    if (g.isEmpty() || g == "/" || g == "," || g == ";" || g == "|" || g == "&")
        return true;
    return isOneOf(g, kLabelJoiners, kLabelJoinerCount) && g != "-" && g != "+";
}

// What a number run is, by its labels.
struct Association
{
    LabelKind kind = LabelKind::Other;
    bool found = false;
    const char *how = nullptr;
    QByteArray label;
    qsizetype labelBegin = -1;
    bool combined = false; // "Tel/Fax"
};

class Associator
{
public:
    Associator(const PageText &pt, const QList<Label> &labels, const QList<NumberRun> &runs)
        : m_pt(pt), m_t(pt.text), m_labels(labels), m_runs(runs)
    {
        m_assoc.resize(runs.size());
        // The header cell of each table column: its first th, else its cell in the first row.
        for (qsizetype j = 0; j < pt.lines.size(); ++j) {
            const TextLine &l = pt.lines[j];
            if (l.table < 0 || !l.cellStart || !(l.kind == LineKind::HeaderCell || l.row == 0))
                continue;
            const qint64 key = qint64(l.table) << 32 | quint32(l.column);
            const auto it = m_headers.constFind(key);
            if (it == m_headers.cend() ||
                (pt.lines[*it].kind != LineKind::HeaderCell && l.kind == LineKind::HeaderCell))
                m_headers.insert(key, j);
        }
    }

    const Association &at(qsizetype k)
    {
        Association &a = m_assoc[k];
        a = associate(k);
        return a;
    }

private:
    qsizetype lineOf(qsizetype pos) const { return lineIndexOf(m_pt, pos); }

    // Labels that end within [from, to], in order.
    std::pair<qsizetype, qsizetype> labelsIn(qsizetype from, qsizetype to) const
    {
        auto lo = std::lower_bound(m_labels.cbegin(), m_labels.cend(), from,
                                   [](const Label &l, qsizetype p) { return l.end < p; });
        auto hi = std::upper_bound(lo, m_labels.cend(), to,
                                   [](qsizetype p, const Label &l) { return p < l.end; });
        return {lo - m_labels.cbegin(), hi - m_labels.cbegin()};
    }

    static Association named(const Label &l, const char *how)
    {
        Association a;
        a.found = true;
        a.kind = l.kind;
        a.how = how ? how : l.how;
        a.label = l.text;
        a.labelBegin = l.begin;
        a.combined = l.combined;
        return a;
    }

    // The last label of a line when nothing but signs and filler words follows it.
    const Label *labelEnding(const TextLine &line) const
    {
        const auto [lo, hi] = labelsIn(line.begin, line.end);
        if (lo == hi)
            return nullptr;
        const Label &l = m_labels[hi - 1];
        if (l.begin < line.begin)
            return nullptr;
        const QByteArrayView tail = QByteArrayView(m_t).sliced(l.end, line.end - l.end);
        const Words w = wordsOf(tail);
        if (w.words != w.filler || w.words > 3)
            return nullptr;
        // Signs a label ends with; a digit or a template's "}}" means something stands there.
        for (char c : tail) {
            if (!(isAsciiLetter(c) || uchar(c) >= 0x80 || c == ' ' || c == ':' || c == '.' ||
                  c == '-' || c == '#' || c == '(' || c == ')' || c == '/' || c == '*' ||
                  c == '|' || c == ','))
                return nullptr;
        }
        return &l;
    }

    // A line that holds a fax label and no other kind: a heading or column header.
    const Label *pureFaxLabel(const TextLine &line) const
    {
        const auto [lo, hi] = labelsIn(line.begin, line.end);
        const Label *fax = nullptr;
        for (qsizetype k = lo; k < hi; ++k) {
            const Label &l = m_labels[k];
            if (l.begin < line.begin)
                continue;
            if (l.kind != LabelKind::Fax || l.combined)
                return nullptr;
            fax = fax ? fax : &l;
        }
        return fax;
    }

    Association labelAfter(qsizetype k, const TextLine &line) const
    {
        const NumberRun &run = m_runs[k];
        const QByteArrayView t(m_t);
        const auto [lo, hi] = labelsIn(run.end, line.end);
        if (lo == hi || m_labels[lo].begin < run.end)
            return Association();
        const Label &after = m_labels[lo];
        const QByteArrayView gap = t.sliced(run.end, after.begin - run.end);
        const NumberRun *next = k + 1 < m_runs.size() ? &m_runs[k + 1] : nullptr;
        const bool labelsNext = next && next->begin >= after.end && next->begin < line.end &&
                                labelReaches(after, t.sliced(after.end, next->begin - after.end));
        if (after.mark || !onlySigns(gap) || labelsNext)
            return Association();
        return named(after, FoundHow::LabelAfter);
    }

    Association associate(qsizetype k)
    {
        const NumberRun &run = m_runs[k];
        const qsizetype li = lineOf(run.begin);
        if (li < 0)
            return Association();
        const TextLine &line = m_pt.lines[li];
        const QByteArrayView t(m_t);

        // 1. The nearest label before the number on its line, unless the number before
        // took it as its own label after.
        const auto [lo, hi] = labelsIn(line.begin, run.begin);
        const Label *before =
            hi > lo && m_labels[hi - 1].begin >= line.begin ? &m_labels[hi - 1] : nullptr;
        if (before && k > 0 && m_assoc[k - 1].how == FoundHow::LabelAfter &&
            m_assoc[k - 1].labelBegin == before->begin)
            before = nullptr;
        const NumberRun *previous =
            k > 0 && m_runs[k - 1].end <= run.begin && m_runs[k - 1].begin >= line.begin
                ? &m_runs[k - 1]
                : nullptr;
        if (previous && (!before || previous->begin >= before->end)) {
            // A list after one label: "Fax: 212 ..., 213 ..." or "Tel/fax: ... / ...", each
            // number perhaps with a part's name of its own ("Fax: Sales 212 ..., Service 213
            // ...").
            const Association &p = m_assoc[k - 1];
            const QByteArrayView gap = t.sliced(previous->end, run.begin - previous->end);
            if (p.found && p.how != FoundHow::LabelAfter &&
                (isListSeparator(gap) ||
                 (p.kind == LabelKind::Fax && subLabelAfterSeparator(gap, previous->end))))
                return p;
            return labelAfter(k, line);
        }
        if (before && labelReaches(*before, t.sliced(before->end, run.begin - before->end)))
            return named(*before, nullptr);

        // 2. A label just after it, that does not begin the next number's label.
        const Association after = labelAfter(k, line);
        if (after.found || before)
            return after;

        // 3. The line above, when the number begins its line: the label ends that line.
        const QByteArrayView lead = t.sliced(line.begin, run.begin - line.begin);
        if (wordsOf(lead).words == 0 && li > 0) {
            const TextLine &above = m_pt.lines[li - 1];
            const bool sameRow =
                line.table >= 0 && above.table == line.table && above.row == line.row;
            const bool otherRow =
                line.table >= 0 && above.table == line.table && above.row != line.row;
            if (const Label *l = otherRow ? nullptr : labelEnding(above)) {
                const char *how = FoundHow::PreviousLine;
                if (sameRow && line.cellStart)
                    how = FoundHow::PreviousCell;
                else if (above.kind == LineKind::Term && line.kind == LineKind::Definition)
                    how = FoundHow::Term;
                else if (above.kind == LineKind::Heading)
                    how = FoundHow::Heading;
                else if (above.kind == LineKind::FormLabel)
                    how = FoundHow::FormLabel;
                if (!l->mark || how == FoundHow::PreviousLine)
                    return named(*l, l->mark ? nullptr : how);
            }
        }
        // 3b. A list under one label, a number a line, each perhaps with a part's name
        // ("Fax:" / "Sales: 212 ..." / "Service: 213 ..."): the label ends the line above the
        // list, or the number above is one of the same list.
        const bool subLabelled = subLabel(lead, line.begin);
        if (li > 0 && (subLabelled || wordsOf(lead).words == 0) && aloneOnItsLine(run, line)) {
            const TextLine &above = m_pt.lines[li - 1];
            const bool otherRow =
                line.table >= 0 && above.table == line.table && above.row != line.row;
            const Label *l = subLabelled && !otherRow ? labelEnding(above) : nullptr;
            if (l && !l->mark)
                return named(*l, above.kind == LineKind::Heading ? FoundHow::Heading
                                                                 : FoundHow::PreviousLine);
            const NumberRun *up = k > 0 ? &m_runs[k - 1] : nullptr;
            if (up && !otherRow && lineOf(up->begin) == li - 1) {
                const Association &p = m_assoc[k - 1];
                const QByteArrayView upLead = t.sliced(above.begin, up->begin - above.begin);
                if (p.found && p.kind == LabelKind::Fax &&
                    (p.how == FoundHow::PreviousLine || p.how == FoundHow::Heading) &&
                    (wordsOf(upLead).words == 0 || subLabel(upLead, above.begin)) &&
                    aloneOnItsLine(*up, above))
                    return p;
            }
        }
        // 4. A definition's term a few lines up.
        if (line.kind == LineKind::Definition) {
            for (qsizetype j = li - 1; j >= 0 && j >= li - 3; --j) {
                if (m_pt.lines[j].kind != LineKind::Term)
                    continue;
                if (const Label *l = labelEnding(m_pt.lines[j]))
                    return named(*l, FoundHow::Term);
                break;
            }
        }
        // 5. The column's header cell: a th above, or the table's first row.
        if (line.table >= 0 && (line.kind == LineKind::Cell || line.kind == LineKind::HeaderCell)) {
            const qsizetype h = headerOf(line);
            if (h >= 0 && h < li && m_pt.lines[h].row < line.row) {
                if (const Label *l = pureFaxLabel(m_pt.lines[h]))
                    return named(*l, FoundHow::TableHeader);
            }
        }
        // 6. The heading above, with no other label or heading in between.
        for (qsizetype j = li - 1; j >= 0 && li - j <= 6 && line.begin - m_pt.lines[j].end <= 600;
             --j) {
            const TextLine &h = m_pt.lines[j];
            if (h.kind == LineKind::Heading) {
                // The labels between are other numbers' own ("Toll-free: 1-800 ..."); a
                // label of none ends the heading's reach.
                const auto [blo, bhi] = labelsIn(h.end + 1, run.begin);
                bool free = false;
                for (qsizetype b = blo; b < bhi && !free; ++b)
                    free = !labelsItsLine(m_labels[b], k);
                if (free)
                    break;
                if (const Label *l = pureFaxLabel(h))
                    return named(*l, FoundHow::Heading);
                break;
            }
        }
        return Association();
    }

    // The words before a number on its line when they name a part rather than a kind of
    // line ("Sales:", "Service", "Parts Dept."): one to three words, no label, no digit.
    bool subLabel(QByteArrayView lead, qsizetype at) const
    {
        const auto [lo, hi] = labelsIn(at, at + lead.size());
        return lo == hi && partName(lead);
    }

    static bool partName(QByteArrayView words)
    {
        if (words.size() > 32)
            return false;
        const Words w = wordsOf(words);
        if (w.words < 1 || w.words > 3)
            return false;
        for (char c : words) {
            if (isDigit(c))
                return false;
        }
        return true;
    }

    // ", Service " between two numbers of a list: a separator, then a part's name with a
    // capital or a colon ("or call us at" is running text).
    bool subLabelAfterSeparator(QByteArrayView gap, qsizetype at) const
    {
        const QByteArray g = gap.toByteArray().trimmed();
        if (g.isEmpty() || !(g[0] == ',' || g[0] == ';' || g[0] == '/' || g[0] == '|'))
            return false;
        const QByteArray name = g.mid(1).trimmed();
        const auto [lo, hi] = labelsIn(at, at + gap.size());
        if (lo != hi || !partName(name))
            return false;
        bool named = name.endsWith(':');
        for (const QByteArray &word : name.split(' '))
            named = named || (!word.isEmpty() && word[0] >= 'A' && word[0] <= 'Z');
        return named;
    }

    // Whether the number is all its line holds after it: signs, an extension at most.
    bool aloneOnItsLine(const NumberRun &run, const TextLine &line) const
    {
        const QByteArrayView tail = QByteArrayView(m_t).sliced(run.end, line.end - run.end);
        const Words w = wordsOf(tail);
        return w.words == 0 || (tail.size() <= 10 && w.words == 1 &&
                                (w.last == "ext" || w.last == "x" || w.last == "Ext"));
    }

    // Whether a label names a number on its own line, after it (other than number k).
    bool labelsItsLine(const Label &l, qsizetype k) const
    {
        const qsizetype li = lineOf(l.begin);
        if (li < 0)
            return false;
        const qsizetype lineEnd = m_pt.lines[li].end;
        auto r = std::lower_bound(m_runs.cbegin(), m_runs.cend(), l.end,
                                  [](const NumberRun &n, qsizetype p) { return n.begin < p; });
        return r != m_runs.cend() && r->begin < lineEnd && r - m_runs.cbegin() != k;
    }

    qsizetype headerOf(const TextLine &line) const
    {
        return m_headers.value(qint64(line.table) << 32 | quint32(line.column), -1);
    }

    const PageText &m_pt;
    const QByteArray &m_t;
    const QList<Label> &m_labels;
    const QList<NumberRun> &m_runs;
    QList<Association> m_assoc;
    QHash<qint64, qsizetype> m_headers;
};

// ---------------------------------------------------------------- notices

// True when text[from, to) says the page takes no unsolicited faxes.
// The notice phrases by the first two bytes of their first part (ASCII letters in lower
// case), so that a window is read once, not once for each phrase.
struct NoticeIndex
{
    std::vector<quint16> start; // by the two bytes: where the phrases of that key begin
    std::vector<int> phrases;   // phrase numbers, grouped by key

    static quint16 keyAt(const char *p)
    {
        return quint16(uchar(ByteText::lowerAscii(p[0])) << 8 | uchar(ByteText::lowerAscii(p[1])));
    }

    NoticeIndex() : start(65537, 0)
    {
        std::vector<int> count(65536, 0);
        for (int i = 0; i < kNoFaxNoticeCount; ++i)
            ++count[keyAt(kNoFaxNotices[i].first)];
        for (int k = 0; k < 65536; ++k)
            start[size_t(k) + 1] = quint16(start[size_t(k)] + count[size_t(k)]);
        phrases.resize(size_t(kNoFaxNoticeCount));
        std::vector<int> filled(65536, 0);
        for (int i = 0; i < kNoFaxNoticeCount; ++i) {
            const quint16 k = keyAt(kNoFaxNotices[i].first);
            phrases[size_t(start[k] + filled[k]++)] = i;
        }
    }
};

bool saysNoFaxes(const QByteArray &text, qsizetype from, qsizetype to)
{
    static const NoticeIndex index;
    from = qBound<qsizetype>(0, from, text.size());
    to = qBound<qsizetype>(from, to, text.size());
    const QByteArrayView window = QByteArrayView(text).sliced(from, to - from);
    const char *w = window.data();
    for (qsizetype hit = 0; hit + 1 < window.size(); ++hit) {
        const quint16 key = NoticeIndex::keyAt(w + hit);
        for (int j = index.start[key]; j < index.start[size_t(key) + 1]; ++j) {
            const NoticePhrase &p = kNoFaxNotices[index.phrases[size_t(j)]];
            const QByteArrayView first(p.first);
            const QByteArrayView second(p.second);
            if (hit + first.size() > window.size() ||
                !ByteText::matchesCaselessAt(w + hit, first.data(), first.size()))
                continue;
            if (second.isEmpty())
                return true;
            const qsizetype after = hit + first.size();
            const qsizetype span = qMin<qsizetype>(window.size() - after, p.maxGap + second.size());
            const qsizetype at =
                span > 0 ? ByteText::indexOfCaseless(window.sliced(after, span), second) : -1;
            if (at >= 0 && !endsSentence(window.sliced(after, at)))
                return true;
        }
    }
    return false;
}

// Whether the page's footer says so: the text of <footer> and of elements named footer,
// or the page's last 1000 bytes when it marks none.
bool footerSaysNoFaxes(const PageText &pt)
{
    bool marked = false;
    for (const TextLine &l : pt.lines) {
        if (!l.footer)
            continue;
        marked = true;
        if (saysNoFaxes(pt.text, l.begin, l.end))
            return true;
    }
    return !marked && saysNoFaxes(pt.text, pt.text.size() - 1000, pt.text.size());
}

// ---------------------------------------------------------------- evidence

// The text around [begin, end): whole characters, spaces for line ends, at most 200.
QString contextOf(const QByteArray &text, qsizetype begin, qsizetype end)
{
    const qsizetype span = end - begin;
    qsizetype from = qMax<qsizetype>(0, begin - (kContextChars - span) / 2);
    qsizetype to = qMin<qsizetype>(text.size(), end + (kContextChars - span) / 2);
    while (from > 0 && (uchar(text[from]) & 0xC0) == 0x80)
        ++from;
    while (to < text.size() && (uchar(text[to]) & 0xC0) == 0x80)
        --to;
    QString s = QString::fromUtf8(text.mid(from, to - from)).simplified();
    if (s.size() > kContextChars)
        s.truncate(kContextChars);
    return s;
}

struct Placed
{
    FoundNumber find;
    qsizetype at = -1;      // in the finder's text; -1 when unknown
    qsizetype textAt = -1;  // where the text shows it with a label (markup may give it first)
    bool bothLabel = false; // its label names a telephone too ("Tel/Fax")
};

bool keepReading(const PhoneReading &r, const FinderInput &in)
{
    return r.valid && (r.northAmerican || in.allowInternational);
}

void fillReading(FoundNumber &f, const PhoneReading &r)
{
    f.e164 = r.e164;
    f.countryCode = r.region;
    f.countryName = r.countryName;
}

// A finder find in the form the store keeps.
FoundNumber findOf(const PhoneReading &r)
{
    FoundNumber f;
    fillReading(f, r);
    f.number = r.textForm;
    if (r.northAmerican) {
        QByteArray n = r.textForm.toLatin1();
        f.location = QString::fromLatin1(AreaCodeLookup(n));
    } else {
        f.location = QString::fromLatin1(kUnknownInternational);
    }
    return f;
}

// Reads a run as one number, or as several when the whole is no number but its first
// groups are ("Fax: 011 24651010 24651186").
QList<std::pair<NumberRun, PhoneReading>> readRun(const NumberRun &run, FinderPage &page,
                                                  int depth = 0)
{
    const PhoneReading whole = page.read(run.written);
    if (whole.valid || run.groupEnds.size() < 2 || depth > 4)
        return {{run, whole}};
    for (int k = int(run.groupEnds.size()) - 2; k >= 0; --k) {
        const NumberRun first = firstGroups(run, k);
        if (first.digits < 6)
            break;
        const PhoneReading r = page.read(first.written);
        if (!r.valid)
            continue;
        QList<std::pair<NumberRun, PhoneReading>> out{{first, r}};
        const NumberRun rest = lastGroups(run, k);
        if (rest.digits >= 6)
            out += readRun(rest, page, depth + 1);
        return out;
    }
    return {{run, whole}};
}

// The reading of a reference find: the run after "fax" on its line that holds its digits,
// read as the finder reads numbers; else the found text itself.
PhoneReading referenceReading(const ReferenceFind &ref, FinderPage &page)
{
    QByteArray line;
    appendNumberText(line, ref.line);
    QByteArray digits;
    for (char c : ref.number) {
        if (isDigit(c))
            digits.append(c);
    }
    const qsizetype fax = ByteText::indexOfCaseless(line, "fax");
    const QByteArray core = ref.number.startsWith("1-") ? digits.mid(1) : digits;
    for (const NumberRun &run : numberRuns(line, qMax<qsizetype>(fax, 0), line.size())) {
        QByteArray d;
        for (char c : run.written) {
            if (isDigit(c))
                d.append(c);
        }
        if (d.startsWith(core) || core.startsWith(d) || d.endsWith(core)) {
            const PhoneReading r = page.read(run.written);
            if (r.valid)
                return r;
            break;
        }
    }
    // The reference puts "+" before any international candidate: only a "+" on the line is one.
    QByteArray written = ref.number;
    if (written.startsWith('+') && !line.contains('+'))
        written.remove(0, 1);
    if (written.startsWith("1-+"))
        written.remove(0, 2);
    return page.read(written);
}

// A candidate the finder does not keep, for the caller that asked why.
void noteDropped(FinderPage &page, const FinderInput &in, const QByteArray &written,
                 const PhoneReading &reading, const char *how, const QString &context)
{
    if (!in.dropped)
        return;
    DroppedNumber d;
    d.written = QString::fromUtf8(written);
    d.how = QLatin1String(how);
    d.context = context;
    if (reading.valid)
        d.reason = QStringLiteral("outside North America (") + reading.region +
                   QStringLiteral("), and international numbers are not allowed");
    else
        d.reason = whyNoReading(written, page.region());
    in.dropped->append(d);
}

// Whom each find reaches: read from the page around it and from the page as a whole. A find
// that isStored names keeps no owner; a page of such finds alone is not read for owners.
void readOwners(FinderPage &page, QList<Placed> &placed, QList<PhoneMention> phones,
                const std::function<bool(const QString &)> &isStored)
{
    QList<bool> wanted;
    wanted.reserve(placed.size());
    for (const Placed &p : placed)
        wanted.append(!isStored || !isStored(p.find.e164));
    if (!wanted.contains(true))
        return;
    const PageText &pt = page.text();
    QList<qsizetype> faxes;
    for (const Placed &p : placed) {
        if (p.textAt >= 0)
            faxes << p.textAt;
        else if (p.at >= 0)
            faxes << p.at;
    }
    // A tel: link is a voice line, unless it links a fax found on the page.
    for (const LinkedValue &t : pt.telLinks) {
        QByteArray written;
        appendNumberText(written, t.value);
        const PhoneReading r = page.read(written.trimmed());
        bool fax = !r.valid;
        for (const Placed &p : placed)
            fax = fax || p.find.e164 == r.e164;
        if (!fax)
            phones.append({t.at, t.at, t.value, true});
    }
    OwnerReader reader(
        pt,
        [&page](const QByteArray &written) {
            QByteArray w;
            appendNumberText(w, written);
            return page.read(w.trimmed());
        },
        std::move(phones), faxes);
    QHash<qsizetype, QString> firstBoth; // line -> the first number a "Tel/Fax" label names
    for (qsizetype i = 0; i < placed.size(); ++i) {
        Placed &p = placed[i];
        const qsizetype at = p.textAt >= 0 ? p.textAt : p.at;
        PhoneReading fax;
        fax.valid = true;
        fax.e164 = p.find.e164;
        fax.region = p.find.countryCode;
        fax.countryName = p.find.countryName;
        fax.northAmerican = p.find.e164.startsWith(QLatin1String("+1"));
        if (wanted.at(i))
            p.find.owner = reader.ownerOf(at, fax);
        // A "Tel/Fax" line: its first number is the voice line of every number it lists.
        if (p.bothLabel && at >= 0) {
            const qsizetype line = lineIndexOf(pt, at);
            if (!firstBoth.contains(line))
                firstBoth.insert(line, fax.e164);
            if (!wanted.at(i))
                continue;
            p.find.owner.phone = firstBoth.value(line);
            p.find.owner.phoneFrom = QLatin1String(OwnerSource::Label);
        }
    }
}

// The finder's own finds, in text order; `phones` gets the numbers the page shows as voice
// lines or without a label.
QList<Placed> finderFinds(FinderPage &page, const FinderInput &in, QList<PhoneMention> *phones)
{
    const PageText &pt = page.text();
    QList<NumberRun> runs;
    for (const TextLine &line : pt.lines)
        runs += numberRuns(pt.text, line.begin, line.end);
    const QList<Label> labels = labelsOf(pt, runs);

    // One find per number, the first on the page; its evidence is built once it is kept.
    QList<Placed> out;
    QHash<QString, qsizetype> index;
    auto keep = [&](const PhoneReading &reading, qsizetype at) -> FoundNumber * {
        if (!keepReading(reading, in))
            return nullptr;
        const auto it = index.constFind(reading.e164);
        if (it != index.cend() && out[*it].at <= at)
            return nullptr;
        if (it == index.cend()) {
            index.insert(reading.e164, out.size());
            out.append(Placed());
        }
        Placed &p = out[index.value(reading.e164)];
        p.find = findOf(reading);
        p.at = at;
        return &p.find;
    };

    QHash<QString, qsizetype> textAt;
    QSet<QString> bothLabel;
    Associator assoc(pt, labels, runs);
    for (qsizetype k = 0; k < runs.size(); ++k) {
        const Association &a = assoc.at(k);
        if (!a.found || a.kind == LabelKind::Phone) {
            phones->append({runs[k].begin, runs[k].end, runs[k].written, a.found});
            continue;
        }
        if (a.kind != LabelKind::Fax)
            continue;
        for (const auto &[part, reading] : readRun(runs[k], page)) {
            FoundNumber *f = keep(reading, part.begin);
            if (!f) {
                if (!keepReading(reading, in))
                    noteDropped(page, in, part.written, reading, a.how,
                                contextOf(pt.text, part.begin, part.end));
                continue;
            }
            f->label = QString::fromUtf8(a.label);
            f->how = QLatin1String(a.how);
            textAt.insert(reading.e164, part.begin);
            if (a.combined)
                bothLabel.insert(reading.e164);
            const qsizetype li = lineIndexOf(pt, part.begin);
            if (li >= 0)
                f->line = QString::fromUtf8(
                    pt.text.mid(pt.lines[li].begin, pt.lines[li].end - pt.lines[li].begin));
            f->context = contextOf(pt.text, part.begin, part.end);
        }
    }
    static const char *const how[] = {FoundHow::JsonLd, FoundHow::Microdata, FoundHow::Rdfa,
                                      FoundHow::Meta,   FoundHow::FaxLink,   FoundHow::TelLink};
    for (const MarkedNumber &m : pt.numbers) {
        QByteArray value;
        appendNumberText(value, m.value);
        const QList<NumberRun> valueRuns = numberRuns(value, 0, value.size());
        if (valueRuns.isEmpty())
            continue;
        for (const auto &[part, reading] : readRun(valueRuns.first(), page)) {
            FoundNumber *f = keep(reading, m.at);
            if (!f) {
                if (!keepReading(reading, in))
                    noteDropped(page, in, part.written, reading, how[m.source],
                                QString::fromUtf8(value.trimmed()).left(kContextChars));
                continue;
            }
            f->label = QString::fromUtf8(m.label);
            f->how = QLatin1String(how[m.source]);
            f->line = QString::fromUtf8(value.trimmed());
            f->context = m.at < pt.text.size() ? contextOf(pt.text, m.at, m.at)
                                               : f->line.left(kContextChars);
        }
    }
    for (Placed &p : out) {
        p.textAt = textAt.value(p.find.e164, -1);
        p.bothLabel = bothLabel.contains(p.find.e164);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Placed &a, const Placed &b) { return a.at < b.at; });
    return out;
}

} // namespace

namespace {

// The bytes a spelling of a fax label other than "fax" begins with, and the spellings.
struct Prefilter
{
    bool interesting[256] = {};
    QList<QByteArray> byFirst[256];

    Prefilter()
    {
        for (int i = 0; i < kLabelWordCount; ++i) {
            const LabelWord &w = kLabelWords[i];
            const QByteArrayView text(w.text);
            // "fax" is looked for first; the télécopie family by its "cop".
            if (w.kind != LabelKind::Fax || (w.flags & OneLetter) || text.contains("fax") ||
                text.contains("cop"))
                continue;
            add(w.text);
        }
        // Full-width letters, which the reader turns into ASCII.
        add("\xef\xbc\xa6\xef\xbc\xa1\xef\xbc\xb8");
        add("\xef\xbd\x86\xef\xbd\x81\xef\xbd\x98");
        for (uchar c : {'f', 'F', 'c', 'C'})
            interesting[c] = true;
    }

    void add(const char *w)
    {
        const uchar first = uchar(w[0]);
        byFirst[first].append(w);
        interesting[first] = true;
        if (first >= 'a' && first <= 'z') {
            byFirst[first - 32].append(w);
            interesting[first - 32] = true;
        }
    }
};

// "F" standing alone before digits, past tags and signs: "F: 212", "<span>F</span> +27".
bool oneLetterFaxAt(const uchar *s, qsizetype n, qsizetype i)
{
    if (i == 0 || i + 1 >= n)
        return false;
    const uchar before = s[i - 1];
    const uchar after = s[i + 1];
    if (!(before == '>' || before == ' ' || before == '\n' || before == '\t') ||
        !(after == ':' || after == '.' || after == '<' || after == ' '))
        return false;
    qsizetype k = i + 1;
    const qsizetype stop = qMin(n, i + 48);
    while (k < stop) {
        if (s[k] == '<') {
            while (k < stop && s[k] != '>')
                ++k;
            ++k;
        } else if (s[k] == ' ' || s[k] == '\t' || s[k] == '\n' || s[k] == '.' || s[k] == ':' ||
                   s[k] == ';' || s[k] == '&' || isAsciiLetter(char(s[k]))) {
            ++k;
        } else {
            break;
        }
    }
    return k < stop && (isDigit(char(s[k])) || s[k] == '+' || s[k] == '(');
}

// "cop" of télécopie, telecopia, t&eacute;l&eacute;copie: "tel" or "tél" just before.
bool telecopyAt(QByteArrayView page, qsizetype i)
{
    if (!ByteText::matchesCaselessAt(page.data() + i, "cop", qMin<qsizetype>(3, page.size() - i)) ||
        i + 3 > page.size())
        return false;
    const qsizetype from = qMax<qsizetype>(0, i - 20);
    const QByteArrayView before = page.sliced(from, i - from);
    return ByteText::containsCaseless(before, "tel") ||
           ByteText::containsCaseless(before, "t\xc3\xa9l") ||
           ByteText::containsCaseless(before, "t\xe9l") ||
           ByteText::containsCaseless(before, "t&eacute;l");
}

} // namespace

bool mayHoldFaxNumber(QByteArrayView page)
{
    static const Prefilter filter;
    const uchar *s = reinterpret_cast<const uchar *>(page.data());
    const qsizetype n = page.size();
    // The bytes worth a look: "f" and "c" in either case, and the lead bytes of UTF-8.
    auto check = [&](qsizetype i) {
        const uchar c = s[i];
        if (!filter.interesting[c])
            return false;
        const uchar lower = c | 0x20;
        if (lower == 'f') {
            const uchar next = i + 1 < n ? (s[i + 1] | 0x20) : ' ';
            if (next == 'a' && i + 2 < n && (s[i + 2] | 0x20) == 'x')
                return true;
            if (next >= 'b' && next <= 'z')
                return false; // most words with an "f"
            if (next != 'a')
                return oneLetterFaxAt(s, n, i);
        } else if (lower == 'c') {
            return i + 2 < n && (s[i + 1] | 0x20) == 'o' && (s[i + 2] | 0x20) == 'p' &&
                   telecopyAt(page, i);
        }
        for (const QByteArray &w : filter.byFirst[c]) {
            if (i + w.size() <= n &&
                ByteText::matchesCaselessAt(page.data() + i, w.constData(), w.size()))
                return true;
        }
        return false;
    };
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i f = _mm_set1_epi8('f');
    const __m128i c = _mm_set1_epi8('c');
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i continuation = _mm_set1_epi8(char(0xBF)); // as signed: what lead bytes exceed
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i));
        const __m128i folded = _mm_or_si128(v, caseBit);
        const __m128i letters = _mm_or_si128(_mm_cmpeq_epi8(folded, f), _mm_cmpeq_epi8(folded, c));
        const __m128i leads = _mm_and_si128(v, _mm_cmpgt_epi8(v, continuation));
        unsigned mask = unsigned(_mm_movemask_epi8(letters)) | unsigned(_mm_movemask_epi8(leads));
        while (mask) {
            if (check(i + qsizetype(__builtin_ctz(mask))))
                return true;
            mask &= mask - 1;
        }
    }
#endif
    for (; i < n; ++i) {
        if (check(i))
            return true;
    }
    return false;
}

QList<FoundNumber> findFaxNumbers(QByteArrayView page, const FinderInput &in)
{
    return findFaxNumbers(page, faxLineText(withoutLineBreaks(page)), in);
}

QList<FoundNumber> findFaxNumbers(QByteArrayView page, QByteArrayView faxLineText,
                                  const FinderInput &in)
{
    const QList<ReferenceFind> refs = referenceScan(faxLineText, in.allowInternational);
    FinderPage fp(page, in);
    if (in.dropped)
        in.dropped->clear();
    QList<FoundNumber> out;
    if (!in.findBeyondFaxLine) {
        for (const ReferenceFind &ref : refs) {
            FoundNumber f;
            f.number = Cp1252::toUnicode(ref.number);
            f.location = Cp1252::toUnicode(ref.location);
            f.line = Cp1252::toUnicode(ref.line);
            f.how = QLatin1String(FoundHow::Reference);
            f.label = QStringLiteral("fax");
            f.context = f.line.left(kContextChars);
            const PhoneReading r = referenceReading(ref, fp);
            if (r.valid)
                fillReading(f, r);
            out.append(f);
        }
        return out;
    }

    QSet<QString> seen;
    QList<Placed> placed;
    for (const ReferenceFind &ref : refs) {
        const PhoneReading r = referenceReading(ref, fp);
        if (!keepReading(r, in)) {
            noteDropped(fp, in, ref.number, r, FoundHow::Reference,
                        Cp1252::toUnicode(ref.line).left(kContextChars));
            continue;
        }
        if (seen.contains(r.e164))
            continue;
        seen.insert(r.e164);
        Placed p;
        p.find = findOf(r);
        p.find.line = Cp1252::toUnicode(ref.line);
        p.find.how = QLatin1String(FoundHow::Reference);
        p.find.label = QStringLiteral("fax");
        p.find.context = p.find.line.left(kContextChars);
        placed.append(p);
    }
    if (!refs.isEmpty() || mayHoldFaxNumber(page)) {
        QHash<QString, qsizetype> where;
        QList<PhoneMention> phones;
        for (Placed &p : finderFinds(fp, in, &phones)) {
            if (!where.contains(p.find.e164))
                where.insert(p.find.e164, p.at);
            if (seen.contains(p.find.e164))
                continue;
            seen.insert(p.find.e164);
            placed.append(p);
        }
        // A reference find is placed where the finder read the same number.
        for (Placed &p : placed) {
            if (p.at < 0 && where.contains(p.find.e164)) {
                p.at = where.value(p.find.e164);
                p.find.context = contextOf(fp.text().text, p.at, p.at + 1);
            }
        }
        if (!placed.isEmpty())
            readOwners(fp, placed, std::move(phones), in.isStored);
        // The notice: near the number (any number the page gives only in its markup
        // counts as near) or in the footer.
        if (!placed.isEmpty()) {
            const PageText &pt = fp.text();
            const bool footer = footerSaysNoFaxes(pt);
            std::optional<bool> anywhere;
            for (Placed &p : placed) {
                if (footer) {
                    p.find.noUnsolicitedFaxes = true;
                } else if (p.at >= 0) {
                    p.find.noUnsolicitedFaxes = saysNoFaxes(pt.text, p.at - 400, p.at + 400);
                } else {
                    if (!anywhere)
                        anywhere = saysNoFaxes(pt.text, 0, pt.text.size());
                    p.find.noUnsolicitedFaxes = *anywhere;
                }
            }
        }
    }
    for (const Placed &p : placed)
        out.append(p.find);
    if (in.dropped) {
        // A candidate dropped in one reading and kept in another was not dropped; each
        // is listed once.
        QList<DroppedNumber> kept;
        QSet<QString> listed;
        for (const DroppedNumber &d : qAsConst(*in.dropped)) {
            QString digits;
            for (QChar c : d.written) {
                if (c.isDigit())
                    digits += c;
            }
            bool found = digits.size() < 6;
            for (const FoundNumber &f : qAsConst(out))
                found = found || f.e164.endsWith(digits.right(7));
            if (!found && !listed.contains(digits)) {
                listed.insert(digits);
                kept.append(d);
            }
        }
        *in.dropped = kept;
    }
    return out;
}
