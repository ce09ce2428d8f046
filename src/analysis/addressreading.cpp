// Address lines as pages write them: per-country patterns of the line that holds the
// postal code and the place, and the forms of street lines. Tables, so that a country is a
// few more rows.

#include "ownerreader.h"

#include "faxlabels.h"

#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// The line with the postal code and the place, by country. Named groups: city, region,
// postal. A separator between the parts may be a line break (the block's lines are joined
// with "\n"); a place never spans one.
// What every match of a pattern holds, found by hand first: the patterns run only on the
// few stretches of text around such a spot, never over the whole text.
enum class Anchor : unsigned char
{
    Zip,        // five digits after a space, comma or line break: the code ends the match
    FourDigits, // four digits after a space, comma or line break: the code ends the match
    Canadian,   // "A1A": the code ends the match
    British,    // the inward code "1AA": the code ends the match
    CepFirst,   // "CEP", where the match begins; the place may be on the next line
    CepCode,    // "99999-999": the code ends the match
    PinCode,    // "999999" or "999 999": the code ends the match
    CityWord,   // " City": the place ends there, a code may follow on the next lines
    CodeFirst,  // four or five digits, then spaces and a capital: the match begins there
    CodeLast,   // four or five digits at a line's end: the match is that line
    Kanji,      // the characters of Japanese places: the whole text
    Hanzi,      // the character of Chinese cities: the whole text
};

struct PostalPattern
{
    const char *country; // ISO code, or "" for a form shared by many countries
    Anchor anchor;
    const char *pattern;
};

#define US_STATES                                                                                  \
    "A[LKZR]|C[AOT]|D[EC]|F[LM]|G[AU]|HI|I[ADLN]|K[SY]|LA|M[ADEHINOPST]|N[CDEHJMVY]|O[HKR]|P[AR]|" \
    "RI|S[CD]|T[NX]|UT|V[AIT]|W[AIVY]|Ga|Tx|Fla|Calif|Mass|Penn|Alabama|Alaska|Arizona|Arkansas|"  \
    "California|Colorado|Connecticut|Delaware|Florida|Georgia|Hawaii|Idaho|Illinois|Indiana|Iowa|" \
    "Kansas|Kentucky|Louisiana|Maine|Maryland|Massachusetts|Michigan|Minnesota|Mississippi|"       \
    "Missouri|Montana|Nebraska|Nevada|New Hampshire|New Jersey|New Mexico|New York|North "         \
    "Carolina|North Dakota|Ohio|Oklahoma|Oregon|Pennsylvania|Rhode Island|South Carolina|South "   \
    "Dakota|Tennessee|Texas|Utah|Vermont|Virginia|Washington|West Virginia|Wisconsin|Wyoming"
#define CA_PROVINCES                                                                               \
    "ON|QC|BC|AB|MB|SK|NS|NB|NL|PE|YT|NT|NU|Ontario|Qu[eé]bec|British Columbia|Alberta|Manitoba|" \
    "Saskatchewan|Nova Scotia|New Brunswick|Newfoundland(?: and Labrador)?|Prince Edward Island"
#define AU_STATES                                                                                  \
    "NSW|VIC|QLD|WA|SA|TAS|ACT|NT|New South Wales|Victoria|Queensland|Western Australia|South "    \
    "Australia|Tasmania|Australian Capital Territory|Northern Territory"
// The names an alternation of the patterns above lists, spelt out: "A[LKZR]" is AL, AK, AZ
// and AR; "Newfoundland(?: and Labrador)?" is both names.
QStringList namesOf(const char *alternation)
{
    QStringList out;
    for (const QString &alt : QString::fromUtf8(alternation).split(QLatin1Char('|'))) {
        QStringList forms{alt};
        for (;;) {
            const QString f = forms.first();
            const qsizetype open = f.indexOf(QLatin1Char('['));
            const qsizetype group = f.indexOf(QLatin1String("(?:"));
            if (open < 0 && group < 0)
                break;
            QStringList next;
            for (const QString &g : forms) {
                if (open >= 0) {
                    const qsizetype close = g.indexOf(QLatin1Char(']'), open);
                    for (QChar c : g.mid(open + 1, close - open - 1))
                        next << g.left(open) + c + g.mid(close + 1);
                } else {
                    const qsizetype close = g.indexOf(QLatin1String(")?"), group);
                    next << g.left(group) + g.mid(group + 3, close - group - 3) + g.mid(close + 2)
                         << g.left(group) + g.mid(close + 2);
                }
            }
            forms = next;
        }
        out += forms;
    }
    return out;
}

// A place's name: words of letters, with inner dots, apostrophes, hyphens and spaces.
#define PLACE "[\\p{L}][\\p{L}\\p{M} .'’-]{0,38}?[\\p{L}.]"

const PostalPattern kPostalPatterns[] = {
    {"US", Anchor::Zip,
     "(?<city>" PLACE ")[ \\t]*,?[ \\t]*(?<region>" US_STATES
     ")\\.?[ ,\\n]+(?<postal>\\d{5}(?:-\\d{4})?)\\b"},
    {"CA", Anchor::Canadian,
     "(?<city>" PLACE ")[ \\t]*,?[ \\t]*(?<region>" CA_PROVINCES
     ")\\.?[ ,\\n]+(?:Canada[ ,\\n]+)?(?<postal>[A-Z]\\d[A-Z] ?\\d[A-Z]\\d)\\b"},
    {"AU", Anchor::FourDigits,
     "(?<city>" PLACE ")[ \\t]*,?[ \\t]*(?<region>" AU_STATES ")[ ,\\n]+(?<postal>\\d{4})\\b"},
    {"GB", Anchor::British,
     "(?<city>[\\p{L}][\\p{L} .'-]{0,30}?[\\p{L}])\\s*,?[ "
     "\\n]*(?:(?<region>[\\p{L}]+shire|[\\p{L}]+ Yorkshire|Greater "
     "London|Kent|Essex|Surrey|Sussex|Devon|Cornwall|Norfolk|Suffolk|Dorset|Cumbria|"
     "Merseyside|Tyne and Wear|West Midlands)\\s*,?[ \\n]*)?(?<postal>[A-Z]{1,2}\\d[A-Z\\d]? "
     "?\\d[A-Z]{2})\\b"},
    {"BR", Anchor::CepFirst,
     "[Cc][Ee][Pp]:?\\s*(?<postal>\\d{5}-?\\d{3})\\s*[-–,.]?\\s*(?<city>[\\p{L}][\\p{L} "
     "]{1,30}[\\p{L}])"},
    {"BR", Anchor::CepCode,
     "(?<city>[\\p{L}][\\p{L} ]{1,30}[\\p{L}])\\s*[-–.,]?[ "
     "\\n]*(?:[Cc][Ee][Pp]:?\\s*)?(?<postal>\\d{5}-\\d{3})\\b"},
    {"IN", Anchor::PinCode,
     "(?<city>[\\p{L}][\\p{L} ]{1,25}[\\p{L}])\\s*[-–]\\s*(?<postal>\\d{3} ?\\d{3})\\b"},
    {"PH", Anchor::CityWord,
     "(?<city>[\\p{L}][\\p{L} ]{1,25} City)[ ,\\n]+(?:Philippines[ ,\\n]*)?(?<postal>\\d{4})?"},
    {"JP", Anchor::Kanji,
     "(?:〒\\s*(?<postal>\\d{3}-\\d{4})\\s*)?(?<region>東京都|北海道|京都府|大阪府|[^"
     "\\s\\d、,]{2,3}県)(?<city>[^\\s\\d、,]{1,5}?[市区町村])"},
    {"CN", Anchor::Hanzi, "(?<city>北京市|上海市|天津市|重庆市)"},
    {"CN", Anchor::Hanzi, "(?<region>[^\\s\\d、,]{2,3}省)(?<city>[^\\s\\d、,省]{2,4}?市)"},
    // Europe and elsewhere: the code before the place ("60313 Frankfurt", "A-8011 Graz").
    {"", Anchor::CodeFirst,
     "(?:\\b(?:[A-Z]{1,2})-)?\\b(?<postal>\\d{4,5})[ \\t]+(?<city>\\p{Lu}[\\p{L}\\p{M}.'’-]*(?:[ "
     "\\t]+(?:/[ \\t]+)?(?:am|an|im|in|de|di|del|la|le|sur|upon|on|\\p{Lu}[\\p{L}\\p{M}.'’-]*))*)"},
    // The place before the code ("Managua 12066", "Tokai 7966"), a line of its own.
    {"", Anchor::CodeLast,
     "(?:^|\\n)(?<city>\\p{Lu}[\\p{L}\\p{M}.'’-]+(?: \\p{Lu}[\\p{L}\\p{M}.'’-]+)?)[ "
     ",]+(?<postal>\\d{4,5})[ \\t]*(?=\\n|$)"},
};

struct Compiled
{
    QString country;
    Anchor anchor;
    QRegularExpression re; // compiled on its first match: most pages need few of them
};

const std::vector<Compiled> &patterns()
{
    static const std::vector<Compiled> all = [] {
        std::vector<Compiled> v;
        for (const PostalPattern &p : kPostalPatterns)
            v.push_back({QString::fromLatin1(p.country), p.anchor,
                         QRegularExpression(QString::fromUtf8(p.pattern),
                                            QRegularExpression::UseUnicodePropertiesOption)});
        return v;
    }();
    return all;
}

// The places of one text where a pattern may match, found by hand in one pass: the runs of
// digits (what \\d matches), "CEP", " City", the characters of Chinese and Japanese places.
class Anchors
{
public:
    // `alone`: the text is one line of a longer text; what lies beyond its ends is a line
    // break, and what a pattern would look for there may be on the lines around it.
    explicit Anchors(const QString &text, bool alone = false) : m_text(text), m_alone(alone)
    {
        const qsizetype n = text.size();
        const QChar *t = text.constData();
        for (qsizetype i = 0; i < n;) {
            const char16_t c = t[i].unicode();
            if (t[i].isDigit()) {
                qsizetype j = i + 1;
                while (j < n && t[j].isDigit())
                    ++j;
                m_runs.push_back({i, j});
                i = j;
                continue;
            }
            if ((c == u'c' || c == u'C') && i + 2 < n && (t[i + 1].unicode() | 0x20) == u'e' &&
                (t[i + 2].unicode() | 0x20) == u'p')
                m_cep.push_back(i);
            else if (c == u' ' && i + 5 <= n && t[i + 1] == u'C' && t[i + 2] == u'i' &&
                     t[i + 3] == u't' && t[i + 4] == u'y')
                m_city.push_back(i);
            else if (c == 0x90FD || c == 0x9053 || c == 0x5E9C || c == 0x770C)
                m_kanji = true;
            else if (c == 0x5E02)
                m_hanzi = true;
            ++i;
        }
    }

    // Whether the text before a code at `b` ends with a name of `regions`, past what the
    // patterns allow between them: a dot, spaces, commas and line breaks (one at least), and
    // before a Canadian code the country's name. Years and telephone numbers have none.
    bool regionBefore(qsizetype b, const QStringList &regions, bool canada) const
    {
        const QString &t = m_text;
        auto separatorsBefore = [&](qsizetype k) {
            const qsizetype from = k;
            while (k > 0 && (t[k - 1] == u' ' || t[k - 1] == u',' || t[k - 1] == u'\n'))
                --k;
            return k < from ? k : -1;
        };
        auto endsWithRegion = [&](qsizetype end) {
            if (m_alone && end == 0)
                return true; // the region may end the line above
            if (end > 0 && t[end - 1] == u'.')
                --end;
            const QStringView before = QStringView(t).first(end);
            for (const QString &r : regions) {
                if (before.endsWith(r))
                    return true;
            }
            return false;
        };
        const qsizetype k = separatorsBefore(b);
        if (k < 0)
            return m_alone && b == 0; // the line break before it separates
        if (endsWithRegion(k))
            return true;
        if (canada && QStringView(t).first(k).endsWith(u"Canada")) {
            const qsizetype c = separatorsBefore(k - 6);
            return c >= 0 && endsWithRegion(c);
        }
        return false;
    }

    // Stretches [begin, end) of the text that hold every match of the pattern, in order and
    // apart. Each ends at a line's end, so that "$" and "\\b" read there as in the whole text.
    std::vector<std::pair<qsizetype, qsizetype>> windows(Anchor anchor) const
    {
        std::vector<std::pair<qsizetype, qsizetype>> out;
        const QString &t = m_text;
        const qsizetype n = t.size();
        const QChar beyond = m_alone ? QChar(u'\n') : QChar();
        auto at = [&](qsizetype i) { return i >= 0 && i < n ? t[i] : beyond; };
        auto upper = [&](qsizetype i) { return at(i) >= u'A' && at(i) <= u'Z'; };
        auto separator = [&](qsizetype i) {
            return at(i) == u' ' || at(i) == u',' || at(i) == u'\n';
        };
        // A match that ends with the code at [begin, end): it begins at most `back` before it.
        auto endsAt = [&](qsizetype begin, qsizetype end, qsizetype back, int linesAfter = 0) {
            add(&out, begin - back, lineEnd(end, linesAfter));
        };
        static const QStringList usStates = namesOf(US_STATES);
        static const QStringList caProvinces = namesOf(CA_PROVINCES);
        static const QStringList auStates = namesOf(AU_STATES);
        switch (anchor) {
        case Anchor::Zip:
        case Anchor::FourDigits: {
            const qsizetype digits = anchor == Anchor::Zip ? 5 : 4;
            for (const auto &[b, e] : m_runs) {
                if (e - b == digits && separator(b - 1) &&
                    regionBefore(b, anchor == Anchor::Zip ? usStates : auStates, false))
                    endsAt(b, e, 160);
            }
            break;
        }
        case Anchor::CepCode:
            for (const auto &[b, e] : m_runs) {
                if (e - b == 5 && at(e) == u'-' && at(e + 1).isDigit())
                    endsAt(b, e, 120);
            }
            break;
        case Anchor::PinCode:
            for (size_t k = 0; k < m_runs.size(); ++k) {
                const auto &[b, e] = m_runs[k];
                const bool split = e - b == 3 && k + 1 < m_runs.size() &&
                                   m_runs[k + 1].first == e + 1 && at(e) == u' ' &&
                                   m_runs[k + 1].second - m_runs[k + 1].first == 3;
                // A dash before the code, past spaces: "New Delhi – 110063".
                qsizetype d = b - 1;
                while (d >= 0 && at(d).isSpace())
                    --d;
                const bool dash = at(d) == u'-' || at(d) == QChar(0x2013) || (m_alone && d < 0);
                if ((e - b == 6 || split) && dash)
                    endsAt(b, e, 80);
            }
            break;
        case Anchor::CodeFirst:
            for (const auto &[b, e] : m_runs) {
                qsizetype k = e;
                while (at(k) == u' ' || at(k) == u'\t')
                    ++k;
                if (e - b >= 4 && e - b <= 5 && k > e && at(k).isUpper())
                    add(&out, b - 3, lineEnd(e));
            }
            break;
        case Anchor::CodeLast:
            for (const auto &[b, e] : m_runs) {
                qsizetype k = e;
                while (at(k) == u' ' || at(k) == u'\t')
                    ++k;
                if (e - b >= 4 && e - b <= 5 && (k == n || at(k) == u'\n'))
                    add(&out, t.lastIndexOf(u'\n', b), k);
            }
            break;
        case Anchor::Canadian:
            // "A1A": one digit between capitals.
            for (const auto &[b, e] : m_runs) {
                if (e - b == 1 && upper(b - 1) && upper(e) &&
                    regionBefore(b - 1, caProvinces, true))
                    endsAt(b - 1, e + 1, 200);
            }
            break;
        case Anchor::British:
            for (const auto &[b, e] : m_runs) {
                if (!upper(e) || !upper(e + 1) || at(e + 2).isLetterOrNumber())
                    continue;
                // The outward code before the inward one ("S9 1XA", "SW1A 1AA"): a capital
                // and a digit within the four characters before it.
                const qsizetype inward = e - 1;
                const qsizetype k = at(inward - 1) == u' ' ? inward - 1 : inward;
                bool outward = false;
                for (qsizetype p = qMax<qsizetype>(0, k - 4); p + 1 < k; ++p)
                    outward = outward || (upper(p) && at(p + 1).isDigit());
                if (outward)
                    endsAt(inward, e + 2, 200);
            }
            break;
        case Anchor::CepFirst:
            for (qsizetype i : m_cep)
                add(&out, i, lineEnd(i, 2));
            break;
        case Anchor::CityWord:
            for (qsizetype i : m_city) {
                if (separator(i + 5))
                    endsAt(i, i + 5, 30, 2);
            }
            break;
        case Anchor::Kanji:
            if (m_kanji)
                add(&out, 0, n);
            break;
        case Anchor::Hanzi:
            if (m_hanzi)
                add(&out, 0, n);
            break;
        }
        return out;
    }

private:
    // The end of the line that holds `pos`, or of the `more`th line after it.
    qsizetype lineEnd(qsizetype pos, int more = 0) const
    {
        qsizetype end = m_text.indexOf(u'\n', pos);
        while (end >= 0 && more-- > 0)
            end = m_text.indexOf(u'\n', end + 1);
        return end < 0 ? m_text.size() : end;
    }

    // Adds [begin, end), joined to the stretches before it that it reaches back into, so
    // that they stay in order and apart.
    static void add(std::vector<std::pair<qsizetype, qsizetype>> *out, qsizetype begin,
                    qsizetype end)
    {
        begin = qMax<qsizetype>(0, begin);
        while (!out->empty() && out->back().second >= begin) {
            begin = qMin(begin, out->back().first);
            end = qMax(end, out->back().second);
            out->pop_back();
        }
        out->push_back({begin, end});
    }

    const QString &m_text;
    bool m_alone = false;
    std::vector<std::pair<qsizetype, qsizetype>> m_runs;
    std::vector<qsizetype> m_cep;
    std::vector<qsizetype> m_city;
    bool m_kanji = false;
    bool m_hanzi = false;
};

// Words that make a line a street line (street types, buildings, post boxes), lower case.
const char *const kStreetWords[] = {
    "street",    "st",       "st.",     "avenue",   "ave",    "ave.",    "av.",       "road",
    "rd",        "rd.",      "drive",   "dr.",      "lane",   "ln",      "blvd",      "blvd.",
    "boulevard", "way",      "place",   "pl.",      "pike",   "parkway", "pkwy",      "court",
    "ct.",       "highway",  "hwy",     "suite",    "ste.",   "floor",   "building",  "bldg.",
    "box",       "square",   "terrace", "plaza",    "circle", "trail",   "route",     "strasse",
    "straße",    "str.",     "weg",     "platz",    "allee",  "gasse",   "ring",      "damm",
    "ufer",      "postfach", "rue",     "chemin",   "calle",  "avenida", "carretera", "rua",
    "via",       "viale",    "piazza",  "corso",    "plot",   "sector",  "marg",      "nagar",
    "level",     "rm",       "room",    "apartado", "caixa",  "p.o.",    "po",        "gpo",
    "mall",      "centre",   "center",  "park",     "house",  "tower",
};

} // namespace

bool isStreetWord(const QString &w)
{
    static const QSet<QString> words = [] {
        QSet<QString> set;
        for (const char *s : kStreetWords)
            set.insert(QString::fromUtf8(s));
        return set;
    }();
    // German compounds: Hofgasse, Venloer Straße, Obertalerstrasse, Hochstr.
    static const QStringList tails = {QStringLiteral("straße"), QStringLiteral("strasse"),
                                      QStringLiteral("str."),   QStringLiteral("gasse"),
                                      QStringLiteral("weg"),    QStringLiteral("platz"),
                                      QStringLiteral("allee")};
    const QString lower = w.toLower();
    if (words.contains(lower))
        return true;
    for (const QString &tail : tails) {
        if (lower.size() > tail.size() + 2 && lower.endsWith(tail))
            return true;
    }
    return false;
}

bool looksLikeStreet(const QString &line)
{
    if (line.isEmpty() || line.size() > 90)
        return false;
    bool digit = false, letter = false, streetWord = false;
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n;) {
        if (line[i].isSpace() || line[i] == u',') {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < n && !line[j].isSpace() && line[j] != u',') {
            digit = digit || line[j].isDigit();
            letter = letter || line[j].isLetter();
            ++j;
        }
        streetWord = streetWord || isStreetWord(line.mid(i, j - i));
        i = j;
    }
    return streetWord || (digit && letter);
}

namespace {

// Country names and the other ways pages write them, to ISO codes.
struct CountryAlias
{
    const char *name;
    const char *code;
};
const CountryAlias kCountryAliases[] = {
    {"usa", "US"},
    {"u.s.a.", "US"},
    {"u.s.", "US"},
    {"united states", "US"},
    {"united states of america", "US"},
    {"uk", "GB"},
    {"u.k.", "GB"},
    {"england", "GB"},
    {"scotland", "GB"},
    {"wales", "GB"},
    {"great britain", "GB"},
    {"united kingdom", "GB"},
    {"deutschland", "DE"},
    {"germany", "DE"},
    {"österreich", "AT"},
    {"austria", "AT"},
    {"schweiz", "CH"},
    {"suisse", "CH"},
    {"svizzera", "CH"},
    {"switzerland", "CH"},
    {"italia", "IT"},
    {"italien", "IT"},
    {"italy", "IT"},
    {"españa", "ES"},
    {"spain", "ES"},
    {"brasil", "BR"},
    {"brazil", "BR"},
    {"méxico", "MX"},
    {"mexico", "MX"},
    {"república dominicana", "DO"},
    {"india", "IN"},
    {"china", "CN"},
    {"中国", "CN"},
    {"日本", "JP"},
    {"japan", "JP"},
    {"россия", "RU"},
    {"south africa", "ZA"},
    {"philippines", "PH"},
    {"canada", "CA"},
    {"australia", "AU"},
    {"kuwait", "KW"},
    {"israel", "IL"},
    {"hong kong", "HK"},
    {"nicaragua", "NI"},
    {"el salvador", "SV"},
    {"france", "FR"},
    {"nederland", "NL"},
    {"netherlands", "NL"},
    {"belgië", "BE"},
    {"belgique", "BE"},
    {"belgium", "BE"},
    {"greece", "GR"},
    {"ελλάδα", "GR"},
    {"singapore", "SG"},
    {"singapur", "SG"},
    {"ireland", "IE"},
    {"new zealand", "NZ"},
    {"polska", "PL"},
    {"poland", "PL"},
    {"portugal", "PT"},
};

} // namespace

QString countryOfName(const QString &name)
{
    static const QHash<QString, QString> codes = [] {
        QHash<QString, QString> h;
        for (const CountryAlias &a : kCountryAliases)
            h.insert(QString::fromUtf8(a.name), QString::fromLatin1(a.code));
        return h;
    }();
    const QStringView trimmed = QStringView(name).trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 40)
        return QString();
    return codes.value(trimmed.toString().toLower());
}

bool mayNameCountry(QByteArrayView text)
{
    static const QSet<QByteArray> ascii = [] {
        QSet<QByteArray> names;
        for (const CountryAlias &a : kCountryAliases) {
            const QByteArray n(a.name);
            bool plain = true;
            for (char c : n)
                plain = plain && uchar(c) < 0x80;
            if (plain)
                names.insert(n);
        }
        return names;
    }();
    const QByteArrayView t = text.trimmed();
    if (t.isEmpty() || t.size() > 40)
        return false;
    char lower[40];
    for (qsizetype k = 0; k < t.size(); ++k) {
        const uchar c = uchar(t[k]);
        if (c >= 0x80)
            return true; // a name beyond ASCII: read as text
        lower[k] = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    return ascii.contains(QByteArray::fromRawData(lower, t.size()));
}

namespace {

bool isPlaceEnding(const QString &w)
{
    const QString l = w.toLower();
    for (const char *e : {"park", "centre", "center", "square", "place", "circle", "house"}) {
        if (l == QLatin1String(e))
            return true;
    }
    return false;
}

// The place a pattern read, made whole: up to the next label ("Rasen Antholz T. +39 ..."),
// and without the street words before it ("Suite 2100 Dallas"). Empty when nothing of
// it reads as a place.
QString placeOf(QString city)
{
    city = city.simplified();
    static const QRegularExpression labelCut(QStringLiteral(
        "\\s+(?:T|F|P|Tel|Tél|Fax|Phone|Telefon|Telephone|E-?mail|Mail|Email|Tel\\.|Fon)\\b.*$"));
    city.remove(labelCut);
    while (city.endsWith(QLatin1Char('.')) || city.endsWith(QLatin1Char(',')) ||
           city.endsWith(QLatin1Char('-')))
        city.chop(1);
    const QStringList words = city.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    qsizetype from = words.size();
    while (from > 0) {
        const QString &w = words[from - 1];
        bool digit = false;
        for (QChar c : w)
            digit = digit || c.isDigit();
        // Places end in words streets use too ("Bedford Park"); a street type last is a
        // street ("S. Bowen Road").
        const bool placeEnding = from == words.size() && isPlaceEnding(w);
        if (digit || (isStreetWord(w) && !placeEnding) || w.endsWith(QLatin1Char('.')) ||
            w.endsWith(QLatin1Char(',')))
            break;
        --from;
    }
    city = words.mid(from).join(QLatin1Char(' '));
    const QByteArray u = city.toUtf8();
    if (city.isEmpty() || !city.front().isLetter() || matchLabelAt(u, 0).word)
        return QString();
    return city;
}

// "Santo Domingo, República Dominicana", "Chaiwan, Hong Kong": a place before a country.
// The country a part of a line after a comma names, past a number after it ("Hong Kong
// 999077"); "" when none.
QString countryOfPart(const QString &part)
{
    QString next = part.trimmed();
    bool digit = false;
    for (QChar c : next)
        digit = digit || c.isDigit();
    if (digit) {
        static const QRegularExpression trailingNumber(QStringLiteral("[\\s.]*\\d[\\d\\s-]*$"));
        next.remove(trailingNumber);
    }
    return countryOfName(next);
}

bool placeBeforeCountry(const QStringList &lines, AddressParts *out)
{
    for (const QString &line : lines) {
        if (!line.contains(QLatin1Char(',')))
            continue;
        const QStringList parts = line.split(QLatin1Char(','));
        for (qsizetype k = 0; k + 1 < parts.size(); ++k) {
            const QString code = countryOfPart(parts[k + 1]);
            const QString place = parts[k].trimmed();
            if (code.isEmpty() || place.size() > 30 || looksLikeStreet(place))
                continue;
            const QString city = placeOf(place);
            if (city.isEmpty() || city.split(QLatin1Char(' ')).size() > 3)
                continue;
            out->city = city;
            out->country = code;
            out->countryNamed = true;
            return true;
        }
    }
    return false;
}

} // namespace

// A line may hold a part of an address when one of the patterns finds a place to start in
// it read alone (what would lie on the lines around it counts as there), or it names a
// country after a comma.
bool mayHoldAddress(const QString &line)
{
    const Anchors anchors(line, true);
    for (Anchor a : {Anchor::Zip, Anchor::FourDigits, Anchor::Canadian, Anchor::British,
                     Anchor::CepFirst, Anchor::CepCode, Anchor::PinCode, Anchor::CityWord,
                     Anchor::CodeFirst, Anchor::CodeLast, Anchor::Kanji, Anchor::Hanzi}) {
        if (!anchors.windows(a).empty())
            return true;
    }
    const qsizetype n = line.size();
    for (qsizetype from = line.indexOf(u','); from >= 0;) {
        const qsizetype to = line.indexOf(u',', from + 1);
        const QStringView part =
            QStringView(line).sliced(from + 1, (to < 0 ? n : to) - from - 1).trimmed();
        if (part.size() <= 48 && !countryOfPart(part.toString()).isEmpty())
            return true;
        from = to;
    }
    return false;
}

namespace {

// A first look at the bytes: digits, commas, " City", the characters of Chinese and
// Japanese places. Most lines have none of the first three that matter.
bool mayHoldAddressQuick(QByteArrayView line)
{
    const uchar *s = reinterpret_cast<const uchar *>(line.data());
    const qsizetype n = line.size();
    bool comma = false;
    int run = 0; // digits in a row
    bool capitalBefore = false;
    char32_t previous = 0;
    for (qsizetype i = 0; i < n;) {
#ifdef __SSE2__
        // Sixteen bytes at a time past what says nothing: letters, spaces, most signs.
        if (run == 0 && i > 0 && i + 16 <= n) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i));
            const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)),
                                                _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1)));
            const __m128i said =
                _mm_or_si128(_mm_or_si128(digit, _mm_cmpeq_epi8(v, _mm_set1_epi8(','))),
                             _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('C')),
                                          _mm_cmplt_epi8(v, _mm_setzero_si128()))); // bytes >= 0x80
            const unsigned mask = unsigned(_mm_movemask_epi8(said));
            if (mask == 0) {
                previous = s[i + 15];
                i += 16;
                continue;
            }
            const int skip = __builtin_ctz(mask);
            if (skip > 0) {
                previous = s[i + skip - 1];
                i += skip;
            }
        }
#endif
        char32_t cp = s[i];
        int length = 1;
        if (cp >= 0xC0) {
            length = cp >= 0xF0 ? 4 : cp >= 0xE0 ? 3 : 2;
            cp &= cp >= 0xF0 ? 0x07 : cp >= 0xE0 ? 0x0F : 0x1F;
            for (int k = 1; k < length; ++k)
                cp = (cp << 6) | (i + k < n ? s[i + k] & 0x3F : 0);
        }
        const bool digit = cp < 0x80 ? cp >= '0' && cp <= '9' : QChar::isDigit(cp);
        if (digit) {
            if (run == 0)
                capitalBefore = previous >= 'A' && previous <= 'Z';
            if (++run >= 3)
                return true;
        } else {
            if (run > 0 && (capitalBefore || (cp >= 'A' && cp <= 'Z')))
                return true;
            run = 0;
            if (cp == ',')
                comma = true;
            else if (cp == 'C' && previous == ' ' && line.sliced(i + 1).startsWith("ity"))
                return true;
            else if (cp == 0x5E02 || cp == 0x90FD || cp == 0x9053 || cp == 0x5E9C || cp == 0x770C)
                return true;
        }
        previous = cp;
        i += length;
    }
    if (run > 0 && capitalBefore)
        return true;
    if (!comma)
        return false;
    for (qsizetype from = line.indexOf(','); from >= 0;) {
        const qsizetype to = line.indexOf(',', from + 1);
        const QByteArrayView part = line.sliced(from + 1, (to < 0 ? n : to) - from - 1).trimmed();
        if (part.size() <= 3 * 48) {
            const QString text = QString::fromUtf8(part);
            if (text.size() <= 48 && !countryOfPart(text).isEmpty())
                return true;
        }
        from = to;
    }
    return false;
}

} // namespace

bool mayHoldAddress(QByteArrayView line)
{
    if (!mayHoldAddressQuick(line))
        return false;
    // The lines that pass the first look are read as text once per thread: pages of a site
    // repeat them.
    thread_local QHash<QByteArray, bool> known;
    const auto it = known.constFind(line.toByteArray());
    if (it != known.cend())
        return *it;
    if (known.size() >= 4096)
        known.clear();
    const bool may = mayHoldAddress(QString::fromUtf8(line));
    known.insert(line.toByteArray(), may);
    return may;
}

namespace {

// "©" or "copyright" in any case.
bool mentionsCopyright(const QString &line)
{
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = line[i].unicode();
        if (c == 0xA9)
            return true;
        if ((c | 0x20) == u'c' && i + 9 <= n &&
            QStringView(line).sliced(i, 9).compare(u"copyright", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

namespace {

// `whole`: every pattern over the whole text, without the first looks and the stretches
// around anchors (the slow reading the fast one must agree with).
AddressParts readAddressIn(const QStringList &given, const QString &country, bool whole)
{
    AddressParts out;
    if (!whole && std::none_of(given.cbegin(), given.cend(),
                               [](const QString &l) { return mayHoldAddress(l); }))
        return out;
    // A copyright notice is no address ("© 2022 EDITORA ..." is no postal code and place);
    // the sentences of a footer line after it may be ("... Santo Domingo, República ...").
    QStringList lines;
    static const QRegularExpression sentenceEnd(QStringLiteral("\\.\\s+"));
    for (const QString &l : given) {
        if (!mentionsCopyright(l)) {
            lines << l;
            continue;
        }
        for (const QString &part : l.split(sentenceEnd, Qt::SkipEmptyParts)) {
            if (!mentionsCopyright(part))
                lines << part;
        }
    }
    const QString text = lines.join(QLatin1Char('\n'));
    if (text.isEmpty())
        return out;
    const Anchors anchors(text);
    QRegularExpressionMatch best;
    QString bestCity;
    const Compiled *bestPattern = nullptr;
    for (int pass = 0; pass < 2 && !bestPattern; ++pass) {
        for (const Compiled &c : patterns()) {
            // The number's own country first, then the shared forms, then every other.
            const bool own = !country.isEmpty() && c.country == country;
            const bool shared = c.country.isEmpty();
            if ((pass == 0) != (own || (shared && country != QLatin1String("US") &&
                                        country != QLatin1String("CA"))))
                continue;
            // The number's own country's patterns in the order of the table (the surer form
            // first); the others by where they match.
            if (pass == 0 && bestPattern)
                break;
            bool done = false;
            const std::vector<std::pair<qsizetype, qsizetype>> windows =
                whole ? std::vector<std::pair<qsizetype, qsizetype>>{{0, text.size()}}
                      : anchors.windows(c.anchor);
            for (const auto &[begin, end] : windows) {
                if (done || (bestPattern && begin >= best.capturedStart()))
                    break;
                // The text up to the stretch's end, matched from its beginning: what lies
                // before it still counts for "\b" and "^".
                auto it = c.re.globalMatch(QStringView(text).first(end), begin);
                while (it.hasNext()) {
                    const QRegularExpressionMatch m = it.next();
                    if (bestPattern && m.capturedStart() >= best.capturedStart()) {
                        done = true;
                        break;
                    }
                    const QString city = placeOf(m.captured(QStringLiteral("city")));
                    if (city.isEmpty())
                        continue;
                    best = m;
                    bestCity = city;
                    bestPattern = &c;
                    done = true;
                    break;
                }
            }
        }
    }
    if (!bestPattern) {
        placeBeforeCountry(lines, &out);
        return out;
    }
    out.city = bestCity;
    out.region = best.captured(QStringLiteral("region")).trimmed();
    out.postalCode = best.captured(QStringLiteral("postal")).trimmed();
    out.country = bestPattern->country;

    // The street: before the place on its line, else the nearest street line above.
    const qsizetype lineStart = text.lastIndexOf(QLatin1Char('\n'), best.capturedStart()) + 1;
    QString before = text.mid(lineStart, best.capturedStart() - lineStart);
    while (!before.isEmpty() &&
           (before.endsWith(QLatin1Char(' ')) || before.endsWith(QLatin1Char(',')) ||
            before.endsWith(QLatin1Char('-')) || before.endsWith(QChar(0x2013))))
        before.chop(1);
    if (looksLikeStreet(before)) {
        out.street = before.trimmed();
    } else {
        const QStringList above = text.left(lineStart).split(QLatin1Char('\n'));
        for (qsizetype k = above.size() - 1; k >= 0 && k >= above.size() - 3; --k) {
            const QString l = above[k].trimmed();
            if (l.isEmpty())
                continue;
            if (looksLikeStreet(l)) {
                out.street = l;
                break;
            }
        }
    }
    while (out.street.endsWith(QLatin1Char(',')))
        out.street.chop(1);
    if (out.street.size() > 120)
        out.street = out.street.right(120).trimmed();

    // A country named after the place: on its line or the next.
    const qsizetype after = best.capturedEnd();
    qsizetype from = after;
    for (int k = 0; k < 3 && from <= text.size(); ++k) {
        qsizetype to = from;
        while (to < text.size() && text[to] != u'\n' && text[to] != u',')
            ++to;
        const QString code = countryOfName(text.mid(from, to - from));
        from = to + 1;
        if (!code.isEmpty()) {
            out.country = code;
            out.countryNamed = true;
            break;
        }
    }
    return out;
}

} // namespace

AddressParts readAddress(const QStringList &lines, const QString &country)
{
    return readAddressIn(lines, country, false);
}

AddressParts readAddressSlowly(const QStringList &lines, const QString &country)
{
    return readAddressIn(lines, country, true);
}
