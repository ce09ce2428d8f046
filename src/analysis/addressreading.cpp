// Address lines as pages write them: per-country patterns of the line that holds the
// postal code and the place, and the forms of street lines. Tables, so that a country is a
// few more rows.

#include "ownerreader.h"

#include "faxlabels.h"

#include <QLocale>
#include <QRegularExpression>

#include <vector>

namespace {

// The line with the postal code and the place, by country. Named groups: city, region,
// postal. A separator between the parts may be a line break (the block's lines are joined
// with "\n"); a place never spans one.
struct PostalPattern
{
    const char *country; // ISO code, or "" for a form shared by many countries
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
// A place's name: words of letters, with inner dots, apostrophes, hyphens and spaces.
#define PLACE "[\\p{L}][\\p{L}\\p{M} .'’-]{0,38}?[\\p{L}.]"

const PostalPattern kPostalPatterns[] = {
    {"US", "(?<city>" PLACE ")[ \\t]*,?[ \\t]*(?<region>" US_STATES
           ")\\.?[ ,\\n]+(?<postal>\\d{5}(?:-\\d{4})?)\\b"},
    {"CA", "(?<city>" PLACE ")[ \\t]*,?[ \\t]*(?<region>" CA_PROVINCES
           ")\\.?[ ,\\n]+(?:Canada[ ,\\n]+)?(?<postal>[A-Z]\\d[A-Z] ?\\d[A-Z]\\d)\\b"},
    {"AU",
     "(?<city>" PLACE ")[ \\t]*,?[ \\t]*(?<region>" AU_STATES ")[ ,\\n]+(?<postal>\\d{4})\\b"},
    {"GB", "(?<city>[\\p{L}][\\p{L} .'-]{0,30}?[\\p{L}])\\s*,?[ "
           "\\n]*(?:(?<region>[\\p{L}]+shire|[\\p{L}]+ Yorkshire|Greater "
           "London|Kent|Essex|Surrey|Sussex|Devon|Cornwall|Norfolk|Suffolk|Dorset|Cumbria|"
           "Merseyside|Tyne and Wear|West Midlands)\\s*,?[ \\n]*)?(?<postal>[A-Z]{1,2}\\d[A-Z\\d]? "
           "?\\d[A-Z]{2})\\b"},
    {"BR", "[Cc][Ee][Pp]:?\\s*(?<postal>\\d{5}-?\\d{3})\\s*[-–,.]?\\s*(?<city>[\\p{L}][\\p{L} "
           "]{1,30}[\\p{L}])"},
    {"BR", "(?<city>[\\p{L}][\\p{L} ]{1,30}[\\p{L}])\\s*[-–.,]?[ "
           "\\n]*(?:[Cc][Ee][Pp]:?\\s*)?(?<postal>\\d{5}-\\d{3})\\b"},
    {"IN", "(?<city>[\\p{L}][\\p{L} ]{1,25}[\\p{L}])\\s*[-–]\\s*(?<postal>\\d{3} ?\\d{3})\\b"},
    {"PH",
     "(?<city>[\\p{L}][\\p{L} ]{1,25} City)[ ,\\n]+(?:Philippines[ ,\\n]*)?(?<postal>\\d{4})?"},
    {"JP", "(?:〒\\s*(?<postal>\\d{3}-\\d{4})\\s*)?(?<region>東京都|北海道|京都府|大阪府|[^"
           "\\s\\d、,]{2,3}県)(?<city>[^\\s\\d、,]{1,5}?[市区町村])"},
    {"CN", "(?<city>北京市|上海市|天津市|重庆市)"},
    {"CN", "(?<region>[^\\s\\d、,]{2,3}省)(?<city>[^\\s\\d、,省]{2,4}?市)"},
    // Europe and elsewhere: the code before the place ("60313 Frankfurt", "A-8011 Graz").
    {"",
     "(?:\\b(?:[A-Z]{1,2})-)?\\b(?<postal>\\d{4,5})[ \\t]+(?<city>\\p{Lu}[\\p{L}\\p{M}.'’-]*(?:[ "
     "\\t]+(?:/[ \\t]+)?(?:am|an|im|in|de|di|del|la|le|sur|upon|on|\\p{Lu}[\\p{L}\\p{M}.'’-]*))*)"},
    // The place before the code ("Managua 12066", "Tokai 7966"), a line of its own.
    {"", "(?:^|\\n)(?<city>\\p{Lu}[\\p{L}\\p{M}.'’-]+(?: \\p{Lu}[\\p{L}\\p{M}.'’-]+)?)[ "
         ",]+(?<postal>\\d{4,5})[ \\t]*(?=\\n|$)"},
};

struct Compiled
{
    QString country;
    QRegularExpression re;
};

const std::vector<Compiled> &patterns()
{
    static const std::vector<Compiled> all = [] {
        std::vector<Compiled> v;
        for (const PostalPattern &p : kPostalPatterns)
            v.push_back({QString::fromLatin1(p.country),
                         QRegularExpression(QString::fromUtf8(p.pattern),
                                            QRegularExpression::UseUnicodePropertiesOption)});
        return v;
    }();
    return all;
}

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
    const QString lower = w.toLower();
    for (const char *s : kStreetWords) {
        if (lower == QLatin1String(s))
            return true;
    }
    // German compounds: Hofgasse, Venloer Straße, Obertalerstrasse, Hochstr.
    for (const char *tail : {"straße", "strasse", "str.", "gasse", "weg", "platz", "allee"}) {
        if (lower.size() > int(qstrlen(tail)) + 2 && lower.endsWith(QString::fromUtf8(tail)))
            return true;
    }
    return false;
}

bool looksLikeStreet(const QString &line)
{
    if (line.isEmpty() || line.size() > 90)
        return false;
    bool digit = false, letter = false, streetWord = false;
    for (const QString &w :
         line.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts)) {
        streetWord = streetWord || isStreetWord(w);
        for (QChar c : w) {
            digit = digit || c.isDigit();
            letter = letter || c.isLetter();
        }
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
    const QString n = name.trimmed().toLower();
    if (n.isEmpty() || n.size() > 40)
        return QString();
    for (const CountryAlias &a : kCountryAliases) {
        if (n == QString::fromUtf8(a.name))
            return QString::fromLatin1(a.code);
    }
    return QString();
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
bool placeBeforeCountry(const QStringList &lines, AddressParts *out)
{
    for (const QString &line : lines) {
        const QStringList parts = line.split(QLatin1Char(','));
        for (qsizetype k = 0; k + 1 < parts.size(); ++k) {
            QString next = parts[k + 1].trimmed();
            next.remove(QRegularExpression(QStringLiteral("[\\s.]*\\d[\\d\\s-]*$")));
            const QString code = countryOfName(next);
            const QString place = parts[k].trimmed();
            if (code.isEmpty() || place.size() > 30 || looksLikeStreet(place))
                continue;
            const QString city = placeOf(place);
            if (city.isEmpty() || city.split(QLatin1Char(' ')).size() > 3)
                continue;
            out->city = city;
            out->country = code;
            return true;
        }
    }
    return false;
}

} // namespace

AddressParts readAddress(const QStringList &given, const QString &country)
{
    AddressParts out;
    // A copyright notice is no address ("© 2022 EDITORA ..." is no postal code and place);
    // the sentences of a footer line after it may be ("... Santo Domingo, República ...").
    QStringList lines;
    static const QRegularExpression sentenceEnd(QStringLiteral("\\.\\s+"));
    for (const QString &l : given) {
        if (!l.contains(QChar(0xA9)) &&
            !l.contains(QLatin1String("copyright"), Qt::CaseInsensitive)) {
            lines << l;
            continue;
        }
        for (const QString &part : l.split(sentenceEnd, Qt::SkipEmptyParts)) {
            if (!part.contains(QChar(0xA9)) &&
                !part.contains(QLatin1String("copyright"), Qt::CaseInsensitive))
                lines << part;
        }
    }
    const QString text = lines.join(QLatin1Char('\n'));
    if (text.isEmpty())
        return out;
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
            auto it = c.re.globalMatch(text);
            while (it.hasNext()) {
                const QRegularExpressionMatch m = it.next();
                if (bestPattern && m.capturedStart() >= best.capturedStart())
                    break;
                const QString city = placeOf(m.captured(QStringLiteral("city")));
                if (city.isEmpty())
                    continue;
                best = m;
                bestCity = city;
                bestPattern = &c;
                break;
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
    const QStringList rest = text.mid(after).split(QRegularExpression(QStringLiteral("[\\n,]")));
    for (qsizetype k = 0; k < rest.size() && k < 3; ++k) {
        const QString code = countryOfName(rest[k]);
        if (!code.isEmpty()) {
            out.country = code;
            break;
        }
    }
    return out;
}
