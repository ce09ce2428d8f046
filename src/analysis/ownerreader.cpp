#include "ownerreader.h"

#include "bytetext.h"
#include "faxlabels.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// ---------------------------------------------------------------- word tables

// Words that make a line an organisation's name: legal forms and kinds of institution.
// Lower case; compared with each word of a line stripped of signs at its ends.
const char *const kOrganizationWords[] = {
    "inc",         "inc.",         "llc",         "l.l.c.",      "ltd",          "ltd.",
    "limited",     "corp",         "corp.",       "corporation", "co.",          "company",
    "gmbh",        "ag",           "e.v.",        "ev",          "kg",           "ohg",
    "gbr",         "mbh",          "s.a.",        "sa",          "s.l.",         "sl",
    "srl",         "s.r.l.",       "spa",         "s.p.a.",      "b.v.",         "bv",
    "n.v.",        "nv",           "pty",         "plc",         "llp",          "lp",
    "ltda",        "ltda.",        "k.k.",        "ab",          "oy",           "as",
    "a/s",         "sas",          "sarl",        "group",       "holdings",     "partners",
    "associates",  "trading",      "enterprises", "industries",  "technologies", "solutions",
    "consulting",  "laboratories", "labs",        "systems",     "department",   "ministry",
    "university",  "college",      "school",      "institute",   "institut",     "instituto",
    "hospital",    "clinic",       "association", "foundation",  "stiftung",     "society",
    "council",     "commission",   "bureau",      "agency",      "authority",    "program",
    "programme",   "church",       "kirche",      "erzbistum",   "bistum",       "verlag",
    "editora",     "periódico",    "magazine",    "hotel",       "resort",       "inn",
    "bank",        "embassy",      "botschaft",   "vertretung",  "board",        "committee",
    "komitee",     "union",        "fraktion",    "verband",     "verein",       "kammer",
    "amt",         "gemeinde",     "chamber",     "federation",  "trust",        "fund",
    "press",       "publishing",   "news",        "services",    "service",      "studio",
    "studios",     "firm",         "law",         "attorneys",   "lawyers",      "accountants",
    "universidad", "università",   "universität", "fakultät",
};

// Legal forms: the surest sign of a business's own name.
const char *const kLegalForms[] = {
    "inc",  "llc",    "l.l.c.", "ltd",    "limited",  "corp",     "corporation", "co.",
    "gmbh", "ag",     "e.v.",   "kg",     "mbh",      "s.a.",     "s.l.",        "sl",
    "srl",  "s.r.l.", "spa",    "s.p.a.", "b.v.",     "n.v.",     "pty",         "plc",
    "llp",  "ltda",   "k.k.",   "sarl",   "株式会社", "有限会社", "有限公司",
};

// Name endings in scripts without spaces (Chinese, Japanese, Korean).
const char *const kOrganizationMarks[] = {
    "株式会社", "有限会社", "合同会社", "有限公司", "公司", "集团", "協会", "协会", "機構",
    "机构",     "法人",     "大学",     "研究所",   "銀行", "银行", "总部", "本部", "주식회사",
};

// Words of lines that name no one: headings of contact blocks. Lower case.
const char *const kGenericWords[] = {
    "contact",
    "contacts",
    "contact us",
    "us",
    "our",
    "address",
    "addresses",
    "location",
    "locations",
    "office",
    "get",
    "in",
    "touch",
    "with",
    "details",
    "detail",
    "information",
    "info",
    "kontakt",
    "contacto",
    "contatos",
    "contato",
    "contáctenos",
    "contactenos",
    "contattaci",
    "contatti",
    "impressum",
    "home",
    "about",
    "directions",
    "map",
    "hours",
    "email",
    "e-mail",
    "phone",
    "telephone",
    "fax",
    "mailing",
    "postal",
    "the",
    "and",
    "&",
    "und",
    "y",
    "et",
    "e",
    "for",
    "to",
    "of",
    "call",
    "visit",
    "write",
    "reach",
    "find",
    "where",
    "we",
    "are",
    "here",
    "your",
    "enquiries",
    "inquiries",
    "general",
    "more",
    "service",
    "und",
    "nous",
    "contacter",
    "coordonnées",
    "anfahrt",
    "adresse",
    "dirección",
    "direccion",
    "endereço",
    "localização",
    "localizacao",
    "ansprechpartner",
    "links",
    "follow",
    "social",
    "media",
    "newsletter",
    "share",
    "print",
    "appointment",
    "request",
    "form",
    "document",
    "untitled",
    "index",
    "privacy",
    "policy",
    "terms",
    "imprint",
    "sitemap",
    "disclaimer",
    "welcome",
    "reserved",
    "rights",
    "all",
    "copyright",
    "number",
    "numbers",
    "teilen",
    "drucken",
    "herunterladen",
    "senden",
    "お問い合わせ先",
    "本件に関するお問い合わせ先",
    "联系我们",
    "お問い合わせ",
    "会社概要",
    "連絡先",
    "所在地",
    "地址",
    "联系方式",
    "επικοινωνια",
    "επικοινωνία",
    "контакты",
    "связаться",
    "page",
};

// Words of a job title (the line below a person's name). Lower case.
const char *const kJobWords[] = {
    "director",  "manager",     "specialist", "representative",  "officer",
    "president", "secretary",   "chair",      "chairman",        "ceo",
    "cfo",       "coordinator", "assistant",  "engineer",        "leiter",
    "leiterin",  "referent",    "referentin", "geschäftsführer", "inhaber",
    "inhaberin", "agent",       "consultant", "advisor",         "adviser",
    "head",      "clerk",       "supervisor", "administrator",   "vp",
    "vice",      "dean",        "professor",  "technician",      "attorney",
    "partner",
};

// Words of an office or department's name. Lower case.
const char *const kUnitWords[] = {
    "office",
    "headquarters",
    "hq",
    "branch",
    "department",
    "dept",
    "dept.",
    "division",
    "unit",
    "team",
    "desk",
    "sales",
    "administration",
    "support",
    "customer",
    "care",
    "enquiries",
    "inquiries",
    "zentrale",
    "abteilung",
    "büro",
    "referat",
    "geschäftsstelle",
    "filiale",
    "niederlassung",
    "sekretariat",
    "redaktion",
    "vertrieb",
    "kundenservice",
    "oficina",
    "sucursal",
    "departamento",
    "bureau",
    "agence",
    "service",
    "services",
    "accounting",
    "billing",
    "orders",
    "order",
    "reservations",
    "registration",
    "admissions",
    "licensing",
    "enforcement",
    "notifications",
    "information",
    "updates",
    "location",
    "campus",
    "plant",
    "warehouse",
    "studio",
    "τμήμα",
    "支社",
    "支店",
    "本社",
    "営業所",
};

// Words of a place's direction ("Western Canada", "Central Region").
const char *const kCompassWords[] = {"western", "eastern", "northern", "southern", "central",
                                     "north",   "south",   "east",     "west"};

// Mail services whose domains name no business. Lower case.
const char *const kFreeMailDomains[] = {
    "gmail.com",     "googlemail.com", "yahoo.com", "yahoo.in",     "yahoo.co.uk", "yahoo.co.jp",
    "yahoo.de",      "yahoo.fr",       "yahoo.es",  "yahoo.com.br", "hotmail.com", "outlook.com",
    "live.com",      "msn.com",        "aol.com",   "icloud.com",   "me.com",      "mail.com",
    "gmx.de",        "gmx.net",        "web.de",    "t-online.de",  "freenet.de",  "rediffmail.com",
    "qq.com",        "163.com",        "126.com",   "sina.com",     "naver.com",   "mail.ru",
    "yandex.ru",     "protonmail.com", "proton.me", "comcast.net",  "verizon.net", "att.net",
    "sbcglobal.net", "bigpond.com",    "orange.fr", "free.fr",      "libero.it",   "example.com",
    "example.org",   "domain.com",     "email.com",
};

// Types that hold no one's contact data.
const char *const kNotOwnerTypes[] = {
    "website",
    "webpage",
    "breadcrumblist",
    "listitem",
    "imageobject",
    "searchaction",
    "article",
    "newsarticle",
    "blogposting",
    "itemlist",
    "siteNavigationElement",
    "wpheader",
    "wpfooter",
    "wpsidebar",
    "videoobject",
    "readaction",
    "entrypoint",
    "collectionpage",
    "aboutpage",
    "contactpage",
    "faqpage",
    "question",
    "answer",
    "offer",
    "product",
    "aggregaterating",
    "rating",
    "review",
    "event",
    "propertyvalue",
    "geocoordinates",
    "openinghoursspecification",
    "thing",
    "creativework",
    "mediaobject",
    "howto",
};

// The tables as sets of strings, built once: a line's words are looked up, not compared
// with every row.
const QSet<QString> *setOf(const char *const *table)
{
    static const QHash<const void *, QSet<QString>> sets = [] {
        QHash<const void *, QSet<QString>> h;
        auto add = [&h](const auto &t) {
            QSet<QString> words;
            for (const char *w : t)
                words.insert(QString::fromUtf8(w));
            h.insert(&t[0], words);
        };
        add(kOrganizationWords);
        add(kLegalForms);
        add(kGenericWords);
        add(kJobWords);
        add(kUnitWords);
        add(kCompassWords);
        add(kFreeMailDomains);
        add(kNotOwnerTypes);
        return h;
    }();
    const auto it = sets.constFind(table);
    return it == sets.cend() ? nullptr : &*it;
}

bool inTable(const QString &word, const char *const *table, size_t count)
{
    if (const QSet<QString> *set = setOf(table))
        return set->contains(word);
    for (size_t i = 0; i < count; ++i) {
        if (word == QString::fromUtf8(table[i]))
            return true;
    }
    return false;
}

template <size_t N> bool inTable(const QString &word, const char *const (&table)[N])
{
    return inTable(word, table, N);
}

// The rows of a table as byte strings, for looking a line up before it is read as text.
using ByteWords = std::unordered_set<std::string_view>;

const ByteWords &organizationWordsAscii()
{
    static const ByteWords words(std::begin(kOrganizationWords), std::end(kOrganizationWords));
    return words;
}

// Whether a line's UTF-8 bytes may hold a word of `words` as wordsOf and hasWordOf read
// words: ASCII words are looked up in lower case, with and without a trailing dot; a word
// with any other byte may be one. Allocates nothing: most lines hold no such word.
bool mayHoldWordOf(QByteArrayView line, const ByteWords &words)
{
    auto separator = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' ||
               c == ',' || c == ';' || c == '|' || c == '/';
    };
    auto alnum = [](char c) { return std::isalnum(uchar(c)) != 0; };
    const qsizetype n = line.size();
    char lower[32];
    for (qsizetype i = 0; i < n;) {
        while (i < n && separator(line[i]))
            ++i;
        qsizetype j = i;
        bool wide = false;
        while (j < n && !separator(line[j])) {
            wide = wide || uchar(line[j]) >= 0x80;
            ++j;
        }
        if (wide)
            return true;
        qsizetype a = i, b = j;
        while (a < b && !alnum(line[a]) && line[a] != '&')
            ++a;
        while (b > a && !alnum(line[b - 1]) && line[b - 1] != '.' && line[b - 1] != '&')
            --b;
        if (b > a && b - a <= qsizetype(sizeof lower)) {
            for (qsizetype k = a; k < b; ++k)
                lower[k - a] = char(std::tolower(uchar(line[k])));
            const std::string_view w(lower, size_t(b - a));
            if (words.count(w) || (w.back() == '.' && words.count(w.substr(0, w.size() - 1))))
                return true;
        }
        i = j;
    }
    return false;
}

// Calls f with each word of a line, as written, without the signs around it (a word ends
// at a space, ",", ";", "|" or "/"), until f returns false.
template <typename F> void forEachWord(QStringView line, F &&f)
{
    const qsizetype n = line.size();
    auto separator = [](QChar c) {
        return c.isSpace() || c == QLatin1Char(',') || c == QLatin1Char(';') ||
               c == QLatin1Char('|') || c == QLatin1Char('/');
    };
    qsizetype i = 0;
    while (i < n) {
        while (i < n && separator(line[i]))
            ++i;
        qsizetype j = i;
        while (j < n && !separator(line[j]))
            ++j;
        qsizetype a = i, b = j;
        while (a < b && !line[a].isLetterOrNumber() && line[a] != QLatin1Char('&'))
            ++a;
        while (b > a && !line[b - 1].isLetterOrNumber() && line[b - 1] != QLatin1Char('.') &&
               line[b - 1] != QLatin1Char('&'))
            --b;
        if (b > a && !f(line.sliced(a, b - a)))
            return;
        i = j;
    }
}

// The words of a line, lower case, without the signs around them.
QStringList wordsOf(const QString &line)
{
    // Split by hand: this runs for every line a block or the page offers as a name.
    QStringList out;
    forEachWord(line, [&out](QStringView w) {
        out << w.toString().toLower();
        return true;
    });
    return out;
}

bool hasWordOf(const QString &line, const char *const *table, size_t count)
{
    for (const QString &w : wordsOf(line)) {
        if (inTable(w, table, count))
            return true;
        // "Co.," "Inc," with the dot kept or dropped.
        if (w.endsWith(QLatin1Char('.')) && inTable(w.chopped(1), table, count))
            return true;
    }
    return false;
}

template <size_t N> bool hasWordOf(const QString &line, const char *const (&table)[N])
{
    return hasWordOf(line, table, N);
}

// Whether a line holds one of `marks`; the marks are all outside Latin-1, so a line without
// such a character is passed over at once.
bool containsMark(const QString &line, const QStringList &marks)
{
    bool wide = false;
    for (QChar c : line)
        wide = wide || c.unicode() >= 0x3000;
    if (!wide)
        return false;
    for (const QString &m : marks) {
        if (line.contains(m))
            return true;
    }
    return false;
}

bool organizationMarked(const QString &line)
{
    static const QStringList marks = [] {
        QStringList l;
        for (const char *m : kOrganizationMarks)
            l << QString::fromUtf8(m);
        return l;
    }();
    return hasWordOf(line, kOrganizationWords) || containsMark(line, marks);
}

bool legalForm(const QString &line)
{
    static const QStringList marks = {QStringLiteral("株式会社"), QStringLiteral("有限会社"),
                                      QStringLiteral("有限公司"), QStringLiteral("公司")};
    return hasWordOf(line, kLegalForms) || containsMark(line, marks);
}

bool isGeneric(const QString &line)
{
    // Word by word: most lines stop at their first.
    bool generic = true;
    forEachWord(line, [&generic](QStringView w) {
        generic = inTable(w.toString().toLower(), kGenericWords);
        return generic;
    });
    return generic;
}

// Letters and digits only, lower case: for comparing names as a reader would.
QString folded(const QString &s)
{
    QString out;
    out.reserve(s.size());
    bool ascii = true;
    for (QChar c : s)
        ascii = ascii && c.unicode() < 0x80;
    // Only text beyond ASCII has forms to decompose.
    const QString d = ascii ? s : s.normalized(QString::NormalizationForm_KD);
    for (QChar c : d) {
        if (c.isLetterOrNumber())
            out += c.toLower();
    }
    return out;
}

QString digitsOf(const QString &s)
{
    QString out;
    for (QChar c : s) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            out += c;
    }
    return out;
}

// Two numbers are one when their last eight digits agree (the rest is how they are written:
// country code, trunk prefix).
bool sameNumber(const QString &written, const QString &e164)
{
    const QString a = digitsOf(written);
    const QString b = digitsOf(e164);
    if (a.size() < 7 || b.size() < 7)
        return false;
    const int n = int(qMin<qsizetype>(8, qMin(a.size(), b.size())));
    return a.right(n) == b.right(n);
}

// A name as the page writes it, without a trailing slogan ("100% Noticias | Nicaragua -
// Con primicias ...") and the signs around it.
QString cleanName(QString name)
{
    name = name.simplified();
    static const QRegularExpression sep(QStringLiteral("\\s+(?:\\||–|—|-|::|·)\\s+|｜"));
    // Split only where a separator may be: most names have none.
    bool separator = false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        separator = separator || u == u'|' || u == u'-' || u == u':' || u == 0x2013 ||
                    u == 0x2014 || u == 0xB7 || u == 0xFF5C;
    }
    const QStringList parts = separator ? name.split(sep, Qt::SkipEmptyParts) : QStringList();
    if (parts.size() > 1 && !isGeneric(parts.first()))
        name = parts.first().trimmed();
    while (!name.isEmpty() && (name.endsWith(QLatin1Char(':')) || name.endsWith(QLatin1Char(',')) ||
                               name.endsWith(QLatin1Char('|'))))
        name.chop(1);
    if (name.startsWith(QStringLiteral("«")) && name.endsWith(QStringLiteral("»")))
        name = name.mid(1, name.size() - 2);
    return name.trimmed();
}

bool hasLetter(const QString &s)
{
    for (QChar c : s) {
        if (c.isLetter())
            return true;
    }
    return false;
}

// ---------------------------------------------------------------- entities of markup

struct Entity
{
    const char *from = OwnerSource::JsonLd;
    QString type;
    QString name;
    QString unit;
    QString parentName; // the organisation of a contact point, department or person
    AddressParts address;
    QStringList phones;
    QStringList faxes;
    QString email;
    qsizetype begin = -1; // the text it covers (markup in the body); -1 for JSON-LD
    qsizetype end = -1;
    int parent = -1;
    bool person = false;
    bool aside = false; // an article's publisher or author: not the page's owner
};

bool isOwnerType(const QString &type)
{
    return !type.isEmpty() && !inTable(type.toLower(), kNotOwnerTypes) &&
           type.compare(QLatin1String("PostalAddress"), Qt::CaseInsensitive) != 0 &&
           type != QLatin1String("adr");
}

QString jsonText(const QJsonValue &v)
{
    if (v.isString())
        return v.toString().simplified();
    if (v.isDouble())
        return QString::number(v.toDouble(), 'f', 0);
    if (v.isObject())
        return jsonText(v.toObject().value(QLatin1String("name")));
    if (v.isArray() && !v.toArray().isEmpty())
        return jsonText(v.toArray().first());
    return QString();
}

QStringList jsonTexts(const QJsonValue &v)
{
    QStringList out;
    if (v.isArray()) {
        for (const QJsonValue &e : v.toArray())
            out += jsonTexts(e);
    } else if (!jsonText(v).isEmpty()) {
        out << jsonText(v);
    }
    return out;
}

QString typeOf(const QJsonObject &o)
{
    const QJsonValue t = o.value(QLatin1String("@type"));
    QString type = t.isArray() ? jsonText(t.toArray().first()) : t.toString();
    const qsizetype cut =
        std::max(type.lastIndexOf(QLatin1Char('/')), type.lastIndexOf(QLatin1Char(':')));
    return cut >= 0 ? type.mid(cut + 1) : type;
}

AddressParts jsonAddress(const QJsonValue &v)
{
    AddressParts a;
    if (v.isArray() && !v.toArray().isEmpty())
        return jsonAddress(v.toArray().first());
    if (v.isString())
        return readAddress(v.toString().split(QLatin1Char(',')), QString());
    if (!v.isObject())
        return a;
    const QJsonObject o = v.toObject();
    a.street = jsonText(o.value(QLatin1String("streetAddress")));
    a.postalCode = jsonText(o.value(QLatin1String("postalCode")));
    a.city = jsonText(o.value(QLatin1String("addressLocality")));
    a.region = jsonText(o.value(QLatin1String("addressRegion")));
    QString country = jsonText(o.value(QLatin1String("addressCountry")));
    // "Rasen Antholz,Italien": the place, then its country.
    if (a.city.contains(QLatin1Char(','))) {
        const QString after = a.city.section(QLatin1Char(','), 1).trimmed();
        a.city = a.city.section(QLatin1Char(','), 0, 0).trimmed();
        if (country.isEmpty())
            country = after;
    }
    a.country = country.size() == 2 ? country.toUpper() : countryOfName(country);
    return a;
}

void collectJson(const QJsonValue &v, QList<Entity> *out, int parent, bool aside, int depth)
{
    if (depth > 12 || out->size() > 500)
        return;
    if (v.isArray()) {
        for (const QJsonValue &e : v.toArray())
            collectJson(e, out, parent, aside, depth + 1);
        return;
    }
    if (!v.isObject())
        return;
    const QJsonObject o = v.toObject();
    const QString type = typeOf(o);
    int self = parent;
    if (isOwnerType(type)) {
        Entity e;
        e.type = type;
        e.name = jsonText(o.value(QLatin1String("name")));
        if (e.name.isEmpty())
            e.name = jsonText(o.value(QLatin1String("legalName")));
        e.person = type.compare(QLatin1String("Person"), Qt::CaseInsensitive) == 0;
        e.phones = jsonTexts(o.value(QLatin1String("telephone")));
        e.faxes = jsonTexts(o.value(QLatin1String("faxNumber")));
        e.email = jsonText(o.value(QLatin1String("email")));
        if (e.email.startsWith(QLatin1String("mailto:")))
            e.email.remove(0, 7);
        e.address = jsonAddress(o.value(QLatin1String("address")));
        e.unit = jsonText(o.value(QLatin1String("contactType")));
        e.parent = parent;
        e.aside = aside;
        if (parent >= 0)
            e.parentName = (*out)[parent].name;
        for (const char *key : {"worksFor", "affiliation", "memberOf", "parentOrganization"}) {
            if (e.parentName.isEmpty())
                e.parentName = jsonText(o.value(QLatin1String(key)));
        }
        self = int(out->size());
        out->append(e);
    }
    for (auto it = o.constBegin(); it != o.constEnd(); ++it) {
        if (it.key() == QLatin1String("address"))
            continue;
        const bool byline =
            it.key() == QLatin1String("publisher") || it.key() == QLatin1String("author") ||
            it.key() == QLatin1String("creator") || it.key() == QLatin1String("copyrightHolder") ||
            it.key() == QLatin1String("provider");
        if (it.value().isObject() || it.value().isArray())
            collectJson(it.value(), out, self, aside || byline, depth + 1);
    }
}

// ---------------------------------------------------------------- the page's name

// The name in the footer's copyright line: "© 2021 Hanns-Seidel-Stiftung", "Copyright ©
// 2016, D Magazine Partners, Inc. All Rights Reserved."
QString copyrightHolder(const QString &line)
{
    static const QRegularExpression mark(QStringLiteral("(?:©|\\(c\\)|copyright)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = mark.match(line);
    if (!m.hasMatch())
        return QString();
    QString rest = line.mid(m.capturedEnd());
    static const QRegularExpression lead(
        QStringLiteral("^(?:\\s|©|copyright|\\(c\\)|\\d{4}(?:\\s*[-–]\\s*\\d{4})?|[,.:|]|by)+"),
        QRegularExpression::CaseInsensitiveOption);
    rest.remove(lead);
    static const QRegularExpression stop(
        QStringLiteral("\\s*(?:\\||all rights|alle rechte|todos los derechos|tous droits|"
                       "tutti i diritti|reg\\. no|is a registered|\\d{4}\\b|\\. (?=[A-Z])|\\.$|"
                       ",\\s*\\S+\\.(?:com|org|net|de|do|it)\\b).*$"),
        QRegularExpression::CaseInsensitiveOption);
    rest.remove(stop);
    rest = rest.trimmed();
    while (rest.endsWith(QLatin1Char(',')) || rest.endsWith(QLatin1Char('|')))
        rest.chop(1);
    rest = rest.trimmed();
    if (rest.size() < 2 || rest.size() > 80 || !hasLetter(rest) || isGeneric(rest) ||
        rest.startsWith(QLatin1Char('&')) || rest.contains(QLatin1String("copy")) ||
        wordsOf(rest).size() > 8)
        return QString();
    return rest;
}

// The part of a title that names the site: of "Article - Site" or "Contact Site | Slogan",
// the part that reads as a name.
QString nameInTitle(const QString &title)
{
    if (title.isEmpty() || title.contains(QLatin1String("${")) ||
        title.contains(QLatin1String("<?")) || title.contains(QLatin1String("{{")))
        return QString();
    static const QRegularExpression sep(QStringLiteral("\\s+(?:\\||–|—|-|::|·|:|»)\\s+|｜|：|\\|"));
    // Split only where a separator may be: a title of one part is its own name.
    bool separator = false;
    for (QChar c : title) {
        const char16_t u = c.unicode();
        separator = separator || u == u'|' || u == u'-' || u == u':' || u == 0x2013 ||
                    u == 0x2014 || u == 0xB7 || u == 0xBB || u == 0xFF5C || u == 0xFF1A;
    }
    const QStringList parts = separator ? title.split(sep, Qt::SkipEmptyParts) : QStringList{title};
    QString best;
    int bestScore = -100;
    for (int k = 0; k < parts.size(); ++k) {
        QString p = parts[k].trimmed();
        // "Contact Source One Auto Group": the heading word before the name.
        static const QRegularExpression contactWord(
            QStringLiteral("^(?:contact(?:\\s+us)?|about(?:\\s+us)?|welcome to|kontakt|contacto|"
                           "impressum)\\s+"),
            QRegularExpression::CaseInsensitiveOption);
        p.remove(contactWord);
        if (p.isEmpty() || isGeneric(p))
            continue;
        const QStringList words = p.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        int capitalised = 0;
        for (const QString &w : words)
            capitalised += w.front().isUpper() || !w.front().isLetter();
        int score = capitalised * 2 - int(words.size());
        if (words.size() > 7)
            score -= 10;
        if (organizationMarked(p))
            score += 4;
        if (parts.size() > 1 && k == parts.size() - 1)
            score += 1; // sites put their name last
        if (score > bestScore) {
            bestScore = score;
            best = p;
        }
    }
    if (best.size() > 80 || wordsOf(best).size() > 8)
        return QString();
    return best;
}

QString nameInLogo(QString alt)
{
    static const QRegularExpression logoWord(
        QStringLiteral("\\b(?:logo(?:type)?|der|des|of|the|von|de)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression leadingLogo(
        QStringLiteral("^\\s*logo\\s+(?:der|des|of|von|de|du)?\\s*"),
        QRegularExpression::CaseInsensitiveOption);
    alt.remove(leadingLogo);
    static const QRegularExpression trailingLogo(QStringLiteral("\\s+logo\\s*$"),
                                                 QRegularExpression::CaseInsensitiveOption);
    alt.remove(trailingLogo);
    alt = alt.simplified();
    if (alt.size() < 2 || alt.size() > 80 || isGeneric(alt) ||
        alt.compare(QLatin1String("logo"), Qt::CaseInsensitive) == 0)
        return QString();
    (void)logoWord;
    return alt;
}

bool looksLikeDomain(const QString &s)
{
    if (!s.contains(QLatin1Char('.')))
        return false;
    static const QRegularExpression domain(
        QStringLiteral("^(?:www\\.)?[a-z0-9-]+(?:\\.[a-z0-9-]+)*\\.[a-z]{2,}$"),
        QRegularExpression::CaseInsensitiveOption);
    return domain.match(s.trimmed()).hasMatch();
}

QString domainOfMail(const QString &mail)
{
    const qsizetype at = mail.indexOf(QLatin1Char('@'));
    if (at < 0)
        return QString();
    QString d = mail.mid(at + 1).trimmed().toLower();
    while (d.endsWith(QLatin1Char('.')))
        d.chop(1);
    if (!looksLikeDomain(d) || inTable(d, kFreeMailDomains))
        return QString();
    return d;
}

QString localOfMail(const QString &mail)
{
    return mail.section(QLatin1Char('@'), 0, 0).toLower();
}

// Whether a line names the person a mail address belongs to: "Chris Brewer" for
// chris@..., "Daniel Braun" for daniel.braun@..., "Ron van Frankfoort" for rvf@...
bool namesMailOwner(const QString &line, const QString &mail)
{
    const QString local = localOfMail(mail);
    if (local.isEmpty())
        return false;
    const QStringList words = wordsOf(line);
    if (words.isEmpty() || words.size() > 4)
        return false;
    QString initials, joined;
    for (const QString &w : words) {
        initials += w.front();
        joined += w;
    }
    const QString plain = folded(local);
    if (plain == folded(joined) || plain == initials)
        return true;
    for (const QString &w : words) {
        if (w.size() >= 3 &&
            (plain == folded(w) || plain == initials.front() + folded(words.last())))
            return true;
    }
    QStringList pieces;
    for (const QString &dotted : local.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        for (const QString &part : dotted.split(QLatin1Char('_'), Qt::SkipEmptyParts))
            pieces += part.split(QLatin1Char('-'), Qt::SkipEmptyParts);
    }
    return pieces.size() >= 2 && words.contains(pieces.first()) && words.contains(pieces.last());
}

// ---------------------------------------------------------------- text helpers

QString textOf(const PageText &pt, qsizetype begin, qsizetype end)
{
    begin = qBound<qsizetype>(0, begin, pt.text.size());
    end = qBound<qsizetype>(begin, end, pt.text.size());
    return QString::fromUtf8(pt.text.mid(begin, end - begin)).simplified();
}

qsizetype lineIndexAt(const PageText &pt, qsizetype pos)
{
    auto it = std::upper_bound(pt.lines.cbegin(), pt.lines.cend(), pos,
                               [](qsizetype p, const TextLine &l) { return p < l.begin; });
    return qsizetype(it - pt.lines.cbegin()) - 1;
}

const QRegularExpression &mailPattern()
{
    static const QRegularExpression re(
        QStringLiteral("[A-Za-z0-9._%+-]+@[A-Za-z0-9-]+(?:\\.[A-Za-z0-9-]+)*\\.[A-Za-z]{2,}"));
    return re;
}

// A line that is a field label with nothing after it ("Office:", "Fax:", "E-mail:").
// Whether the bytes hold "©", "(c)" or "copyright" in any case: one look at each byte.
bool mayNameCopyright(QByteArrayView u)
{
    const qsizetype n = u.size();
    for (qsizetype i = 0; i < n; ++i) {
#ifdef __SSE2__
        // Sixteen bytes at a time past those that begin none of them.
        while (i + 16 <= n) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(u.data() + i));
            const __m128i c =
                _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8('c'));
            const __m128i lead = _mm_cmpeq_epi8(v, _mm_set1_epi8(char(0xC2)));
            const unsigned mask = unsigned(_mm_movemask_epi8(_mm_or_si128(c, lead)));
            if (mask) {
                i += __builtin_ctz(mask);
                break;
            }
            i += 16;
        }
        if (i >= n)
            break;
#endif
        const char c = u[i];
        if (c == '\xc2' && i + 1 < n && u[i + 1] == '\xa9')
            return true;
        if ((c | 0x20) != 'c')
            continue;
        if (i > 0 && u[i - 1] == '(' && i + 1 < n && u[i + 1] == ')')
            return true;
        if (ByteText::startsWithCaseless(u.sliced(i), "copyright"))
            return true;
    }
    return false;
}

// How many UTF-16 units the UTF-8 text takes: what QString::size() says of it.
qsizetype utf16Length(QByteArrayView utf8)
{
    qsizetype n = 0;
    for (char c : utf8) {
        const uchar b = uchar(c);
        n += (b & 0xC0) != 0x80;
        n += b >= 0xF0;
    }
    return n;
}

bool isLabelLine(const QString &line)
{
    if (line.size() > 24 || !line.endsWith(QLatin1Char(':')))
        return false;
    const QByteArray u = line.toUtf8();
    return matchLabelAt(u, 0).word != nullptr;
}

} // namespace

bool ContactOwner::operator==(const ContactOwner &o) const
{
    return organization == o.organization && unit == o.unit && street == o.street &&
           postalCode == o.postalCode && city == o.city && region == o.region &&
           country == o.country && phone == o.phone && email == o.email &&
           organizationFrom == o.organizationFrom && unitFrom == o.unitFrom &&
           addressFrom == o.addressFrom && cityFrom == o.cityFrom && regionFrom == o.regionFrom &&
           countryFrom == o.countryFrom && phoneFrom == o.phoneFrom && emailFrom == o.emailFrom;
}

// ---------------------------------------------------------------- the reader

struct OwnerReader::Impl
{
    const PageText &pt;
    ReadNumber read;
    QList<PhoneMention> phones; // by position
    QList<qsizetype> faxes;     // by position

    std::optional<QList<Entity>> entities;
    std::optional<std::pair<QString, const char *>> siteName;
    std::optional<QString> pageMailDomain;

    Impl(const PageText &p, ReadNumber r, QList<PhoneMention> ph, QList<qsizetype> fx)
        : pt(p), read(std::move(r)), phones(std::move(ph)), faxes(std::move(fx))
    {
        std::sort(phones.begin(), phones.end(),
                  [](const PhoneMention &a, const PhoneMention &b) { return a.begin < b.begin; });
        std::sort(faxes.begin(), faxes.end());
    }

    // What is known of a line, read once however many numbers look at it.
    struct LineFacts
    {
        QString text;
        bool textKnown = false;
        signed char contact = -1; // isContactLine; -1 until asked
        signed char generic = -1; // isGeneric of its text
        signed char ends = -1;    // endsBlock of its text
        signed char address = -1; // mayHoldAddress of its text
    };
    mutable std::unordered_map<qsizetype, LineFacts> lineFacts;

    LineFacts &factsOf(qsizetype j) const
    {
        auto it = lineFacts.find(j);
        if (it == lineFacts.end())
            it = lineFacts.emplace(j, LineFacts()).first;
        return it->second;
    }

    // The line's text, read as text only when asked: most lines are looked at as bytes.
    const QString &line(qsizetype j) const
    {
        LineFacts &f = factsOf(j);
        if (!f.textKnown) {
            const TextLine &l = pt.lines[j];
            f.text = textOf(pt, l.begin, l.end);
            f.textKnown = true;
        }
        return f.text;
    }

    // The line as the page's text holds it: UTF-8 with single spaces.
    QByteArrayView bytesOf(qsizetype j) const
    {
        const TextLine &l = pt.lines[j];
        return QByteArrayView(pt.text).sliced(l.begin, l.end - l.begin);
    }

    bool lineIsGeneric(qsizetype j) const
    {
        LineFacts &f = factsOf(j);
        if (f.generic < 0)
            f.generic = isGeneric(line(j));
        return f.generic;
    }

    bool lineEndsBlock(qsizetype j) const
    {
        LineFacts &f = factsOf(j);
        if (f.ends < 0)
            f.ends = endsBlock(line(j));
        return f.ends;
    }

    // The address in lines `js` (readAddress), passed over at once when no line may hold one.
    AddressParts addressIn(const QList<qsizetype> &js, const QString &country) const
    {
        bool may = false;
        for (qsizetype j : js) {
            LineFacts &f = factsOf(j);
            if (f.address < 0)
                f.address = mayHoldAddress(bytesOf(j));
            may = may || f.address;
        }
        if (!may)
            return AddressParts();
        QStringList lines;
        for (qsizetype j : js)
            lines << line(j);
        return readAddress(lines, country);
    }

    bool isContactLine(qsizetype j) const
    {
        LineFacts &f = factsOf(j);
        if (f.contact < 0)
            f.contact = readContactLine(j);
        return f.contact;
    }

    bool lineHoldsNumber(qsizetype j) const
    {
        const TextLine &l = pt.lines[j];
        auto p = std::lower_bound(phones.cbegin(), phones.cend(), l.begin,
                                  [](const PhoneMention &m, qsizetype at) { return m.begin < at; });
        if (p != phones.cend() && p->begin < l.end)
            return true;
        auto f = std::lower_bound(faxes.cbegin(), faxes.cend(), l.begin);
        return f != faxes.cend() && *f < l.end;
    }

    bool lineHoldsFax(qsizetype j) const
    {
        const TextLine &l = pt.lines[j];
        auto f = std::lower_bound(faxes.cbegin(), faxes.cend(), l.begin);
        return f != faxes.cend() && *f < l.end;
    }

    // A line of the block's contact part: a fax, a labelled voice number or a number
    // standing alone, a label ("Office:", "Toll Free: 1855.FCD.GEMS"), a mail address.
    // A postal code is no contact: "Macon, Georgia 31202-1057" is the block's address.
    bool readContactLine(qsizetype j) const
    {
        if (lineHoldsFax(j))
            return true;
        const TextLine &tl = pt.lines[j];
        auto p = std::lower_bound(phones.cbegin(), phones.cend(), tl.begin,
                                  [](const PhoneMention &m, qsizetype at) { return m.begin < at; });
        for (; p != phones.cend() && p->begin < tl.end; ++p) {
            if (p->labelled || (tl.end - tl.begin) - (p->end - p->begin) <= 8)
                return true;
            // "Automated Attendant: (478)-751-6500": a field of its own.
            const QByteArray before = pt.text.mid(tl.begin, p->begin - tl.begin).trimmed();
            if (before.endsWith(':') && before.size() <= 40)
                return true;
        }
        // The line's bytes are its text: the label and mail checks need no copy of it.
        const QByteArrayView u = bytesOf(j);
        if ((u.endsWith(':') && utf16Length(u) <= 24 && matchLabelAt(u, 0).word) ||
            (u.contains('@') && utf16Length(u) < 80 && mailPattern().match(line(j)).hasMatch()))
            return true;
        // A label word and a colon at the start.
        const LabelMatch m = matchLabelAt(u, 0);
        if (m.word && m.word->kind != LabelKind::Fax) {
            const qsizetype colon = u.indexOf(':');
            return colon >= 0 && colon <= m.length + 12;
        }
        return false;
    }

    // A short heading of a part of a block ending in a colon: "Outside Australia:",
    // "Midway Office:".
    static bool isSubheading(const QString &l)
    {
        return l.endsWith(QLatin1Char(':')) && l.size() <= 40 && wordsOf(l).size() <= 4 &&
               !isLabelLine(l);
    }

    // Where the walk up a block stops: a line that begins no block of its own.
    // Whether the walk up a block stops at a line of this text. Pages of a site repeat their
    // running text: each text is read once per thread.
    static bool endsBlock(const QString &l)
    {
        thread_local QHash<QString, bool> known;
        const auto it = known.constFind(l);
        if (it != known.cend())
            return *it;
        if (known.size() >= 4096)
            known.clear();
        const bool ends = readEndsBlock(l);
        known.insert(l, ends);
        return ends;
    }

    static bool readEndsBlock(const QString &l)
    {
        static const QRegularExpression sentence(QStringLiteral("[.!?:]\\s+\\p{Ll}|[.!?:]$"),
                                                 QRegularExpression::UseUnicodePropertiesOption);
        if (isGeneric(l))
            return true;
        int count = 0;
        forEachWord(l, [&count](QStringView) { return ++count <= 6; });
        if (count <= 6 || !sentence.match(l).hasMatch())
            return false;
        // Running text: most words begin in lower case.
        int lower = 0, words = 0;
        for (qsizetype i = 0; i < l.size(); ++i) {
            if ((i == 0 || l[i - 1] == QLatin1Char(' ')) && l[i] != QLatin1Char(' ') &&
                l[i].isLetter()) {
                ++words;
                lower += l[i].isLower();
            }
        }
        return lower * 2 >= words;
    }

    // ------------------------------------------------------------ entities

    const QList<Entity> &allEntities()
    {
        if (entities)
            return *entities;
        entities.emplace();
        for (const QByteArray &json : pt.jsonLd) {
            QJsonParseError error;
            const QJsonDocument doc = QJsonDocument::fromJson(json.trimmed(), &error);
            if (error.error != QJsonParseError::NoError)
                continue;
            collectJson(doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object()),
                        &*entities, -1, false, 0);
        }
        markupEntities(&*entities);
        return *entities;
    }

    QString propText(const DataProp &p) const
    {
        if (p.hasContent)
            return QString::fromUtf8(p.value).simplified();
        return textOf(pt, p.begin, p.end);
    }

    void markupEntities(QList<Entity> *out) const
    {
        const int first = int(out->size());
        for (const DataScope &s : pt.scopes) {
            Entity e;
            e.from = s.kind == DataScope::Microdata ? OwnerSource::Microdata
                     : s.kind == DataScope::Rdfa    ? OwnerSource::Rdfa
                                                    : OwnerSource::HCard;
            e.type = QString::fromUtf8(s.type);
            e.begin = s.begin;
            e.end = s.end;
            e.parent = s.parent >= 0 ? first + s.parent : -1;
            e.person = e.type.compare(QLatin1String("Person"), Qt::CaseInsensitive) == 0;
            out->append(e);
        }
        QString fn; // of the card being read: a person's name unless the card names no org
        for (const DataProp &p : pt.props) {
            if (p.scope < 0)
                continue;
            Entity &e = (*out)[first + p.scope];
            const QString name = QString::fromUtf8(p.name);
            const QString value = propText(p);
            if (value.isEmpty() || value.size() > 300)
                continue;
            AddressParts &a = e.address;
            if (name == QLatin1String("name") || name == QLatin1String("legalName") ||
                name == QLatin1String("org") || name == QLatin1String("organization-name")) {
                if (e.name.isEmpty() || name == QLatin1String("org") ||
                    name == QLatin1String("organization-name"))
                    e.name = value;
            } else if (name == QLatin1String("fn")) {
                if (e.name.isEmpty())
                    e.name = value;
            } else if (name == QLatin1String("organization-unit") ||
                       name == QLatin1String("department") ||
                       name == QLatin1String("contactType")) {
                e.unit = value;
            } else if (name == QLatin1String("telephone") || name == QLatin1String("tel")) {
                // An hCard's tel says its type in its text: "fax (216) 696-6329".
                if (value.contains(QLatin1String("fax"), Qt::CaseInsensitive))
                    e.faxes << value;
                else
                    e.phones << value;
            } else if (name == QLatin1String("faxNumber") || name == QLatin1String("fax")) {
                e.faxes << value;
            } else if (name == QLatin1String("email")) {
                e.email = value;
            } else if (name == QLatin1String("streetAddress") ||
                       name == QLatin1String("street-address")) {
                a.street = value;
            } else if (name == QLatin1String("postalCode") ||
                       name == QLatin1String("postal-code")) {
                a.postalCode = value;
            } else if (name == QLatin1String("addressLocality") ||
                       name == QLatin1String("locality")) {
                a.city = value;
            } else if (name == QLatin1String("addressRegion") || name == QLatin1String("region")) {
                a.region = value;
            } else if (name == QLatin1String("addressCountry") ||
                       name == QLatin1String("country-name")) {
                a.country = value.size() == 2 ? value.toUpper() : countryOfName(value);
            }
        }
        // An address scope gives its parts to the item it is the address of; a card whose
        // org differs from its fn is a person's.
        for (int k = int(out->size()) - 1; k >= first; --k) {
            Entity &e = (*out)[k];
            const bool isAddress =
                e.type.compare(QLatin1String("PostalAddress"), Qt::CaseInsensitive) == 0 ||
                e.type == QLatin1String("adr") || pt.scopes[k - first].viaProp == "address";
            if (e.parent >= 0) {
                Entity &up = (*out)[e.parent];
                if (isAddress) {
                    AddressParts &to = up.address;
                    if (to.city.isEmpty())
                        to = e.address;
                }
                up.phones += e.phones;
                up.faxes += e.faxes;
                if (up.email.isEmpty())
                    up.email = e.email;
                if (!isAddress && !e.name.isEmpty())
                    e.parentName = up.name;
            }
        }
        (void)fn;
    }

    // The entities by the last seven digits of the faxes they list, and the markup ones in
    // the order they begin: built once, so that each number finds its own at once.
    std::optional<QHash<QString, QList<int>>> faxIndex;
    QList<int> markupOrder; // entities with a place in the text, by where they begin

    void indexEntities()
    {
        const QList<Entity> &ents = allEntities();
        faxIndex.emplace();
        for (int k = 0; k < ents.size(); ++k) {
            for (const QString &f : ents[k].faxes) {
                const QString digits = digitsOf(f);
                if (digits.size() >= 7)
                    (*faxIndex)[digits.right(7)].append(k);
            }
            if (ents[k].begin >= 0)
                markupOrder.append(k);
        }
        std::stable_sort(markupOrder.begin(), markupOrder.end(),
                         [&ents](int a, int b) { return ents[a].begin < ents[b].begin; });
    }

    // The first entity that lists the fax.
    const Entity *entityListing(const QString &e164)
    {
        if (!faxIndex)
            indexEntities();
        const QString digits = digitsOf(e164);
        if (digits.size() < 7)
            return nullptr;
        const QList<Entity> &ents = *entities;
        for (int k : faxIndex->value(digits.right(7))) {
            for (const QString &f : ents[k].faxes) {
                if (sameNumber(f, e164))
                    return &ents[k];
            }
        }
        return nullptr;
    }

    // The innermost owner item of the markup around text offset `at`: the one that begins
    // last before it among those that hold it (items nest as their elements do).
    const Entity *entityAround(qsizetype at)
    {
        if (!faxIndex)
            indexEntities();
        const QList<Entity> &ents = *entities;
        auto it = std::upper_bound(markupOrder.cbegin(), markupOrder.cend(), at,
                                   [&ents](qsizetype p, int k) { return p < ents[k].begin; });
        if (it == markupOrder.cbegin())
            return nullptr;
        // From the last that begins before it, out through the items around that one.
        int k = *(it - 1);
        for (int depth = 0; k >= 0 && depth < 64; ++depth) {
            const Entity &e = ents[k];
            if (e.begin <= at && at < e.end && isOwnerType(e.type))
                return &e;
            k = e.parent;
        }
        return nullptr;
    }

    // ------------------------------------------------------------ site-wide names

    std::pair<QString, const char *> siteOwner()
    {
        if (siteName)
            return *siteName;
        siteName.emplace();
        auto set = [&](const QString &name, const char *from) {
            const QString n = clean(name);
            if (siteName->first.isEmpty() && !n.isEmpty() && hasLetter(n) && !isGeneric(n) &&
                !n.contains(QLatin1String("${")) && !n.contains(QLatin1String("<?")))
                *siteName = {n, from};
        };
        // Each source is read only when those before it gave no name.
        auto found = [&] { return !siteName->first.isEmpty(); };
        for (const Entity &e : allEntities()) {
            if (!e.aside && !e.person && !e.name.isEmpty() && e.begin < 0 && e.parent < 0 &&
                isOwnerType(e.type))
                set(e.name, e.from);
        }
        for (const Entity &e : allEntities()) {
            if (!found() && !e.person && !e.name.isEmpty() && e.begin >= 0 && isOwnerType(e.type) &&
                e.type != QLatin1String("vcard"))
                set(e.name, e.from);
        }
        const QString site = QString::fromUtf8(pt.siteName);
        const bool domain = looksLikeDomain(site);
        if (!found() && !domain)
            set(site, OwnerSource::SiteName);
        if (!found())
            set(copyright(), OwnerSource::Copyright);
        if (!found())
            set(nameInLogo(QString::fromUtf8(pt.logoAlt)), OwnerSource::Logo);
        if (!found())
            set(nameInTitle(QString::fromUtf8(pt.title)), OwnerSource::Title);
        if (!found() && domain)
            set(site.startsWith(QLatin1String("www.")) ? site.mid(4) : site, OwnerSource::SiteName);
        return *siteName;
    }

    QString copyright() const
    {
        // The footer's lines, else the page's last forty.
        QList<qsizetype> lines;
        for (qsizetype j = 0; j < pt.lines.size(); ++j) {
            if (pt.lines[j].footer)
                lines << j;
        }
        for (qsizetype j = qMax<qsizetype>(0, pt.lines.size() - 40); j < pt.lines.size(); ++j)
            lines << j;
        for (qsizetype j : lines) {
            if (!mayNameCopyright(bytesOf(j)))
                continue;
            const QString holder = copyrightHolder(line(j));
            if (!holder.isEmpty())
                return holder;
        }
        return QString();
    }

    QString mostCommonMailDomain()
    {
        if (pageMailDomain)
            return *pageMailDomain;
        QHash<QString, int> count;
        for (const LinkedValue &m : pt.mailLinks) {
            const QString d = domainOfMail(QString::fromUtf8(m.value));
            if (!d.isEmpty())
                ++count[d];
        }
        // Written addresses: the host after each "@" (a scan for "@", not a pattern over
        // the whole text).
        int seen = 0;
        for (qsizetype at = pt.text.indexOf('@'); at > 0 && seen < 200;
             at = pt.text.indexOf('@', at + 1), ++seen) {
            qsizetype end = at + 1;
            while (end < pt.text.size() && (std::isalnum(uchar(pt.text[end])) ||
                                            pt.text[end] == '.' || pt.text[end] == '-'))
                ++end;
            const QString d = domainOfMail(QStringLiteral("x@") +
                                           QString::fromLatin1(pt.text.mid(at + 1, end - at - 1)));
            if (!d.isEmpty())
                ++count[d];
        }
        QString best;
        int bestCount = 0;
        for (auto c = count.cbegin(); c != count.cend(); ++c) {
            if (c.value() > bestCount || (c.value() == bestCount && c.key() < best)) {
                best = c.key();
                bestCount = c.value();
            }
        }
        pageMailDomain = best;
        return best;
    }

    // ------------------------------------------------------------ one number

    struct Block
    {
        qsizetype faxLine = -1;
        qsizetype top = -1;    // first line of the block (its heading when it has one)
        qsizetype bottom = -1; // last line
        qsizetype heading = -1;
        qsizetype subheading = -1;  // the last "Part:" line above the fax
        QList<qsizetype> nameLines; // lines above the contact lines, top to bottom
        QSet<qsizetype> continued;  // name lines that go on the line above them
    };

    Block blockOf(qsizetype at) const
    {
        Block b;
        const qsizetype li = lineIndexAt(pt, at);
        if (li < 0)
            return b;
        b.faxLine = b.top = b.bottom = li;
        bool header = false;
        const TextLine &faxLine = pt.lines[li];
        for (qsizetype j = li - 1; j >= 0 && j >= li - 14; --j) {
            const TextLine &l = pt.lines[j];
            if (l.end - l.begin > 240)
                break;
            // A table's header row labels columns; it names no one.
            if (faxLine.table >= 0 && l.table == faxLine.table &&
                (l.kind == LineKind::HeaderCell || (l.row == 0 && faxLine.row > 0)))
                break;
            const QString &text = line(j);
            if (l.kind == LineKind::Heading) {
                if (!lineIsGeneric(j))
                    b.heading = b.top = j;
                break;
            }
            if (lineEndsBlock(j))
                break;
            if (isSubheading(text)) {
                if (b.subheading < 0 && !header)
                    b.subheading = j;
                b.top = j;
                continue;
            }
            const bool contact = isContactLine(j);
            if (contact && header)
                break;
            if (!contact) {
                header = true;
                // "Evangelische Kirche / in Hessen und Nassau": a line that goes on the one above.
                if (!b.nameLines.isEmpty()) {
                    const QString below = line(b.nameLines.first());
                    if (!below.isEmpty() && below.front().isLower() &&
                        below.front().script() == QChar::Script_Latin)
                        b.continued.insert(b.nameLines.first());
                }
                b.nameLines.prepend(j);
            }
            b.top = j;
        }
        for (qsizetype j = li + 1; j < pt.lines.size() && j <= li + 5; ++j) {
            const TextLine &l = pt.lines[j];
            if (l.kind == LineKind::Heading || lineHoldsFax(j) || !isContactLine(j))
                break;
            b.bottom = j;
        }
        // A block of a section without a heading of its own: the section's heading.
        if (b.heading < 0) {
            for (qsizetype j = b.top - 1;
                 j >= 0 && j >= b.top - 12 && pt.lines[b.top].begin - pt.lines[j].end < 1200; --j) {
                if (pt.lines[j].kind != LineKind::Heading)
                    continue;
                if (!lineIsGeneric(j))
                    b.heading = j;
                break;
            }
        }
        return b;
    }

    // The block's mail address nearest to the fax: mailto: links, then written ones.
    QString mailOf(const Block &b, qsizetype at) const
    {
        const qsizetype from = pt.lines[b.top].begin;
        const qsizetype to = pt.lines[b.bottom].end;
        QString best;
        qsizetype bestDistance = -1;
        auto consider = [&](const QString &mail, qsizetype pos) {
            if (mail.isEmpty() || !mail.contains(QLatin1Char('@')))
                return;
            const qsizetype d = qAbs(pos - at);
            if (bestDistance < 0 || d < bestDistance) {
                best = mail;
                bestDistance = d;
            }
        };
        auto m = std::lower_bound(pt.mailLinks.cbegin(), pt.mailLinks.cend(), from,
                                  [](const LinkedValue &v, qsizetype p) { return v.at < p; });
        for (; m != pt.mailLinks.cend() && m->at <= to; ++m)
            consider(QString::fromUtf8(m->value).trimmed(), m->at);
        const QByteArrayView bytes = QByteArrayView(pt.text).sliced(from, to - from);
        if (!bytes.contains('@'))
            return best;
        const QString text = QString::fromUtf8(bytes);
        auto it = mailPattern().globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            consider(m.captured(), from + text.left(m.capturedStart()).toUtf8().size());
        }
        return best;
    }

    // The voice number of the block: labelled on the fax's line, above it, below it; else
    // one without a label just above.
    QString phoneOf(const Block &b, qsizetype at, const char **from)
    {
        if (b.faxLine < 0)
            return QString();
        const qsizetype lineBegin = pt.lines[b.faxLine].begin;
        const qsizetype lineEnd = pt.lines[b.faxLine].end;
        const qsizetype from_ = pt.lines[b.top].begin;
        const qsizetype to = pt.lines[b.bottom].end;
        // The voice numbers of the block in this order: on the fax's line before it, the
        // first of the block above it (after its last "Part:" line, as pages list the main
        // line first), on the line after it, below it; a number alone on a line above; a
        // toll-free line only when there is no other.
        const qsizetype partBegin = b.subheading >= 0 ? pt.lines[b.subheading].end : from_;
        struct Candidate
        {
            int rank;
            qsizetype distance;
            const PhoneMention *mention;
        };
        std::vector<Candidate> candidates;
        auto first =
            std::lower_bound(phones.cbegin(), phones.cend(), from_,
                             [](const PhoneMention &m, qsizetype pos) { return m.begin < pos; });
        for (auto it = first; it != phones.cend() && it->begin <= to; ++it) {
            const PhoneMention &p = *it;
            if (p.begin <= at && at < p.end)
                continue;
            int rank;
            qsizetype distance = qAbs(p.begin - at);
            if (p.begin >= lineBegin && p.begin < at)
                rank = 0, distance = p.begin - lineBegin;
            else if (p.begin < at && p.begin >= partBegin)
                rank = 1, distance = p.begin - partBegin;
            else if (p.begin >= at && p.begin < lineEnd)
                rank = 2;
            else
                rank = p.begin < at ? 3 : 4;
            if (!p.labelled) {
                const qsizetype li = lineIndexAt(pt, p.begin);
                const bool alone = li >= 0 && li < b.faxLine &&
                                   (pt.lines[li].end - pt.lines[li].begin) - (p.end - p.begin) <= 8;
                if (!alone)
                    continue;
                rank = 10;
                distance = qAbs(p.begin - at);
            }
            candidates.push_back({rank, distance, &p});
        }
        // Read in that order, and only until one answers: a reading costs more than all
        // of the above.
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const Candidate &a, const Candidate &b) {
                             return a.rank != b.rank ? a.rank < b.rank : a.distance < b.distance;
                         });
        QString tollFree;
        for (const Candidate &c : candidates) {
            const QString e164 = readVoice(c.mention->written);
            if (e164.isEmpty())
                continue;
            if (!isTollFree(e164)) {
                *from = OwnerSource::Block;
                return e164;
            }
            if (tollFree.isEmpty())
                tollFree = e164;
        }
        if (!tollFree.isEmpty())
            *from = OwnerSource::Block;
        return tollFree;
    }

    // The number a voice run writes: the whole, else its first groups ("0175-2302027
    // 0175-2212811" lists two).
    QString readVoice(const QByteArray &written) const
    {
        PhoneReading r = read(written);
        for (qsizetype k = written.size() - 1; !r.valid && k > 5; --k) {
            const char c = written[k];
            if (c == ' ' || c == '/' || c == ',')
                r = read(written.left(k));
        }
        if (!r.valid)
            return QString();
        voiceRegions.insert(r.e164, r.region);
        return r.e164;
    }

    mutable QHash<QString, QString> voiceRegions; // the country of each voice line read

    // Whether a line reads as a name: short, not a sentence, no number or address. A page
    // offers the same lines as names for each of its numbers: each is read once.
    mutable QHash<QString, bool> nameLikeMemo;

    // cleanName, once for each text of the page: the candidates of its numbers repeat.
    mutable QHash<QString, QString> cleaned;

    QString clean(const QString &name) const
    {
        const auto it = cleaned.constFind(name);
        if (it != cleaned.cend())
            return *it;
        const QString c = cleanName(name);
        cleaned.insert(name, c);
        return c;
    }

    // Whether a word of the line is a street's ("Road", "Suite"), once for each line.
    mutable QHash<QString, bool> streetWordMemo;

    bool hasStreetWord(const QString &l) const
    {
        const auto known = streetWordMemo.constFind(l);
        if (known != streetWordMemo.cend())
            return *known;
        bool streetWord = false;
        for (const QString &w : l.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            streetWord = streetWord || isStreetWord(w);
        streetWordMemo.insert(l, streetWord);
        return streetWord;
    }

    bool nameLike(const QString &l) const
    {
        const auto known = nameLikeMemo.constFind(l);
        if (known != nameLikeMemo.cend())
            return *known;
        const bool like = readNameLike(l);
        nameLikeMemo.insert(l, like);
        return like;
    }

    bool readNameLike(const QString &l) const
    {
        if (l.size() < 2 || l.size() > 90 || !hasLetter(l) || isGeneric(l) || isLabelLine(l) ||
            l.contains(QChar(0xA9)) || l.contains(QLatin1String("copyright"), Qt::CaseInsensitive))
            return false;
        // In Latin script a name's words are mostly capitalised ("Sunlec International Pty
        // Ltd", "Bharati Vidyapeeth's Institute of ..."); running text is not.
        int latin = 0, capital = 0;
        bool sentenceSign = false;
        for (qsizetype i = 0, n = l.size(); i < n;) {
            while (i < n && l[i] == QLatin1Char(' '))
                ++i;
            qsizetype j = i;
            while (j < n && l[j] != QLatin1Char(' ')) {
                sentenceSign = sentenceSign || l[j] == QLatin1Char('.') ||
                               l[j] == QLatin1Char('!') || l[j] == QLatin1Char('?');
                ++j;
            }
            if (j - i >= 4 && l[i].isLetter() && l[i].script() == QChar::Script_Latin) {
                ++latin;
                capital += l[i].isUpper();
            }
            i = j;
        }
        if (latin >= 3 && capital * 2 < latin)
            return false;
        if (l.contains(QLatin1Char('@')) || l.contains(QLatin1String("http")) ||
            l.contains(QLatin1String("www.")) || l.startsWith(QLatin1Char('(')))
            return false;
        int words = 0;
        forEachWord(l, [&words](QStringView) { return ++words <= 9; });
        if (words > 9)
            return false;
        // A sentence: ends with a full stop after several words, or has one inside.
        static const QRegularExpression sentence(QStringLiteral("[.!?]\\s+\\p{Ll}|[!?]$"),
                                                 QRegularExpression::UseUnicodePropertiesOption);
        if (sentenceSign &&
            (sentence.match(l).hasMatch() ||
             (l.endsWith(QLatin1Char('.')) && words >= 3 && !organizationMarked(l) &&
              l.split(QLatin1Char(' ')).last().front().isLower())))
            return false;
        int digits = 0;
        for (QChar c : l)
            digits += c.isDigit();
        return digits * 3 < l.size();
    }

    bool isPlace(const QString &l, const QString &city, const QString &geoCity) const
    {
        const QString f = folded(l);
        if (f.isEmpty())
            return false;
        if (!countryOfName(l).isEmpty())
            return true;
        if (!city.isEmpty() && (f == folded(city) || f.startsWith(folded(city))))
            return true;
        if (!geoCity.isEmpty() && f == folded(geoCity))
            return true;
        const QStringList w = wordsOf(l);
        if (w.size() >= 2 && w.size() <= 3 && inTable(w.first(), kCompassWords))
            return true;
        return false;
    }

    ContactOwner ownerOf(qsizetype at, const PhoneReading &fax)
    {
        ContactOwner o;
        const QList<Entity> &ents = allEntities();

        // Structured data first: the item that lists this fax, else the one around it.
        const Entity *holder = entityListing(fax.e164);
        if (!holder && at >= 0)
            holder = entityAround(at);
        if (holder) {
            // A contact point or department: its organisation is the item above it.
            const Entity *org = holder;
            while (org &&
                   (org->name.isEmpty() || org->person ||
                    org->type.compare(QLatin1String("ContactPoint"), Qt::CaseInsensitive) == 0) &&
                   org->parent >= 0)
                org = &ents[org->parent];
            QString name = org->person ? org->parentName : org->name;
            if (org->type == QLatin1String("vcard") && holder->person)
                name = holder->parentName;
            if (!clean(name).isEmpty()) {
                o.organization = clean(name);
                o.organizationFrom = QLatin1String(holder->from);
            }
            if (!holder->unit.isEmpty()) {
                o.unit = holder->unit;
                o.unitFrom = QLatin1String(holder->from);
            } else if (org != holder && !holder->name.isEmpty() && !holder->person &&
                       holder->name != org->name) {
                o.unit = holder->name;
                o.unitFrom = QLatin1String(holder->from);
            }
            const AddressParts &a =
                !holder->address.city.isEmpty() ? holder->address : org->address;
            if (!a.city.isEmpty() || !a.street.isEmpty()) {
                o.street = a.street;
                o.postalCode = a.postalCode;
                o.city = a.city;
                o.region = a.region;
                o.addressFrom = o.cityFrom = QLatin1String(holder->from);
                if (!a.region.isEmpty())
                    o.regionFrom = o.addressFrom;
                if (!a.country.isEmpty()) {
                    o.country = a.country;
                    o.countryFrom = o.addressFrom;
                }
            }
            for (const QString &p : holder->phones + org->phones) {
                const PhoneReading r = read(p.toUtf8());
                if (r.valid) {
                    o.phone = r.e164;
                    o.phoneFrom = QLatin1String(holder->from);
                    break;
                }
            }
            const QString mail = !holder->email.isEmpty() ? holder->email : org->email;
            if (!mail.isEmpty()) {
                o.email = mail;
                o.emailFrom = QLatin1String(holder->from);
            }
        }

        // The block of lines around the number.
        const Block b = at >= 0 ? blockOf(at) : Block();
        if (o.phone.isEmpty() && b.faxLine >= 0) {
            const char *from = nullptr;
            o.phone = phoneOf(b, at, &from);
            if (from)
                o.phoneFrom = QLatin1String(from);
        }
        // The place of the fax, else of the voice line beside it (a fax-to-mail number
        // belongs to no place).
        QString geoCity, geoRegion;
        splitPlace(placeOfNumber(fax.e164, languageFor(fax.region), fax.region), fax, &geoCity,
                   &geoRegion);
        if (geoCity.isEmpty() && !o.phone.isEmpty() && o.phone.left(3) == fax.e164.left(3)) {
            PhoneReading voice = fax;
            voice.e164 = o.phone;
            QString city, region;
            voice.region = voiceRegions.value(o.phone);
            splitPlace(placeOfNumber(o.phone, languageFor(fax.region), voice.region), voice, &city,
                       &region);
            geoCity = city;
            if (geoRegion.isEmpty())
                geoRegion = region;
        }

        QStringList nameTexts;
        for (qsizetype j : b.nameLines) {
            if (b.continued.contains(j) && !nameTexts.isEmpty())
                nameTexts.last() += QLatin1Char(' ') + line(j);
            else
                nameTexts << line(j);
        }
        QString faxLineHead; // the fax's line up to the number
        if (b.faxLine >= 0)
            faxLineHead = textOf(pt, pt.lines[b.faxLine].begin, at);
        // Its parts: a footer line holds name, address and numbers ("Landwirt Agrarmedien
        // GmbH, Hofgasse 5, A-8011 Graz, Tel: ..., Fax: ...").
        static const QRegularExpression partSep(QStringLiteral("\\.\\s+|\\s+\\|\\s+"));
        const QStringList headParts = faxLineHead.split(partSep, Qt::SkipEmptyParts);
        const QString mail = b.faxLine >= 0 ? mailOf(b, at) : QString();

        // The address: an <address> around the number, else the block's lines (above the
        // number, then below it), else the nearest one above the block: the organisation's
        // main address on the page.
        if (o.city.isEmpty() && b.faxLine >= 0) {
            AddressParts a;
            const char *from = OwnerSource::Block;
            if (const qsizetype k = addressAround(at); k >= 0) {
                const auto &range = pt.addresses[k];
                QStringList lines;
                for (qsizetype j = lineIndexAt(pt, range.first);
                     j >= 0 && j < pt.lines.size() && pt.lines[j].begin < range.second &&
                     lines.size() < 12;
                     ++j)
                    lines << line(j);
                a = readAddress(lines, fax.region);
                from = OwnerSource::Address;
            }
            if (a.city.isEmpty())
                a = readAddress(nameTexts + headParts, fax.region);
            if (a.city.isEmpty() && !geoCity.isEmpty()) {
                // A line or part of one that is the place the number belongs to.
                for (const QString &l : nameTexts + headParts) {
                    static const QRegularExpression partSep(
                        QStringLiteral("\\s*[,;/–]\\s*|\\s+-\\s+"));
                    for (const QString &part : l.split(partSep, Qt::SkipEmptyParts)) {
                        if (a.city.isEmpty() && folded(part) == folded(geoCity))
                            a.city = part.trimmed();
                    }
                }
            }
            if (a.city.isEmpty()) {
                QList<qsizetype> below;
                for (qsizetype j = b.faxLine + 1; j < pt.lines.size() && j <= b.bottom + 3; ++j) {
                    if (lineHoldsFax(j) || pt.lines[j].kind == LineKind::Heading)
                        break;
                    if (!isContactLine(j))
                        below << j;
                }
                a = addressIn(below, fax.region);
            }
            if (a.city.isEmpty()) {
                // The last 18 lines above the block that are no contact lines, within 40; a
                // line longer than a block's is running text, no address.
                QList<qsizetype> above;
                for (qsizetype j = b.top - 1; j >= 0 && j >= b.top - 40 && above.size() < 18; --j) {
                    if (!isContactLine(j) && pt.lines[j].end - pt.lines[j].begin <= 240)
                        above.prepend(j);
                }
                // The nearest address: read from the lines closest to the block first.
                for (qsizetype from_ = above.size() - 6;
                     a.city.isEmpty() && from_ > -6 && from_ >= above.size() - 18; from_ -= 6)
                    a = addressIn(above.mid(qMax<qsizetype>(0, from_), 8), fax.region);
            }
            if (!a.city.isEmpty()) {
                o.street = a.street;
                o.postalCode = a.postalCode;
                o.city = a.city;
                o.addressFrom = o.cityFrom = QLatin1String(from);
                if (!a.region.isEmpty()) {
                    o.region = a.region;
                    o.regionFrom = o.addressFrom;
                }
                // A form another country writes too ("Canberra City") does not overrule the
                // country of the number; a country the lines name does.
                if (!a.country.isEmpty() &&
                    (a.countryNamed || fax.region.isEmpty() || a.country == fax.region)) {
                    o.country = a.country;
                    o.countryFrom = o.addressFrom;
                }
            }
        }
        if (o.region.isEmpty() && !geoRegion.isEmpty()) {
            o.region = geoRegion;
            o.regionFrom = QLatin1String(OwnerSource::Geocoder);
        }
        if (o.country.isEmpty() && !fax.region.isEmpty()) {
            o.country = fax.region;
            o.countryFrom = QLatin1String(OwnerSource::Number);
        }

        // The organisation and the unit from the block's lines: a name with a legal form
        // or an institution's word nearest to the number; else the block's first line
        // when it reads as a name and not as a person, a place or a unit.
        QString blockOrg, blockUnit, unmarked;
        bool headingIsUnit = false;
        if (b.faxLine >= 0) {
            QStringList candidates = nameTexts;
            for (QString part : headParts) {
                // The parts of a footer line before its labels.
                for (const QString &piece : part.split(QLatin1Char(','), Qt::SkipEmptyParts))
                    candidates << piece.trimmed();
            }
            const QString headingText = b.heading >= 0 ? line(b.heading) : QString();
            if (!headingText.isEmpty())
                candidates.prepend(headingText);
            static const QRegularExpression honorific(
                QStringLiteral("^(?:Mr|Mrs|Ms|Dr|Prof|Shri|Smt|Herr|Frau)\\.?\\s"));
            auto isPerson = [&](int k, const QString &l) {
                return (!mail.isEmpty() && namesMailOwner(l, mail)) || l.contains(honorific) ||
                       (k + 1 < candidates.size() && hasWordOf(candidates[k + 1], kJobWords) &&
                        !organizationMarked(candidates[k + 1])) ||
                       hasWordOf(l, kJobWords);
            };
            auto streetish = [&](const QString &l) {
                return looksLikeStreetLine(l, o) || (hasStreetWord(l) && !organizationMarked(l));
            };
            auto titleFirst = [&](const QString &l) {
                const QStringList w = wordsOf(l);
                return !w.isEmpty() && inTable(w.first(), kJobWords);
            };
            auto startsWithLabel = [&](const QString &l) {
                const QByteArray u = l.toUtf8();
                return matchLabelAt(u, 0).word != nullptr;
            };
            for (int strong = 1; strong >= 0 && blockOrg.isEmpty(); --strong) {
                for (int k = int(candidates.size()) - 1; k >= 0; --k) {
                    QString l = clean(candidates[k]);
                    if (!nameLike(l) || streetish(l) || titleFirst(l) || startsWithLabel(l) ||
                        !(strong ? legalForm(l) : organizationMarked(l)))
                        continue;
                    // "ハウスコム株式会社 サービス・イノベーション室 森川": the word with the mark.
                    if (l.contains(QLatin1Char(' ')) && !l.front().isLetter() == false &&
                        l.front().script() != QChar::Script_Latin) {
                        for (const QString &w : l.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                            if (organizationMarked(w)) {
                                l = w;
                                break;
                            }
                        }
                    }
                    blockOrg = l;
                    break;
                }
            }
            for (int k = 0; k < candidates.size(); ++k) {
                const QString raw = candidates[k].trimmed();
                const QString l = clean(raw);
                if (!nameLike(l) || streetish(l) || startsWithLabel(l))
                    continue;
                const bool hasDigit = !digitsOf(l).isEmpty();
                if (raw.endsWith(QLatin1Char(':')) || (!hasDigit && isPlace(l, o.city, geoCity)) ||
                    (hasWordOf(l, kUnitWords) && !organizationMarked(l))) {
                    if (blockUnit.isEmpty() && !hasDigit) {
                        blockUnit = l;
                        headingIsUnit = headingIsUnit || raw == headingText;
                    }
                    continue;
                }
                if (organizationMarked(l) || isPerson(k, l))
                    continue;
                if (unmarked.isEmpty() && k == (headingText.isEmpty() ? 0 : 1))
                    unmarked = l;
            }
            // A subsection's heading under a section's names the unit: "Region 1 Asbestos"
            // under "Public Health Region 1".
            if (!headingIsUnit && b.heading >= 0 &&
                !headingOrganization(b, true, o.city, geoCity).isEmpty()) {
                const QString h = clean(headingText);
                if (nameLike(h) && !organizationMarked(h)) {
                    headingIsUnit = true;
                    if (blockUnit.isEmpty())
                        blockUnit = h;
                }
            }
            if (unmarked.isEmpty() && !headingText.isEmpty() && !headingIsUnit) {
                const QString h = clean(headingText);
                if (nameLike(h) && !isPerson(0, h) && !organizationMarked(h))
                    unmarked = h;
            }
            // "Customer Care Fax:": the words before the label name the unit.
            if (blockUnit.isEmpty() && faxLineHead.contains(QLatin1Char(':'))) {
                const QString head = faxLineHead.section(QLatin1Char(':'), 0, 0).trimmed();
                const QByteArray u = head.toUtf8();
                qsizetype labelAt = -1;
                for (qsizetype k = 0; k < u.size(); ++k) {
                    if ((k == 0 || u[k - 1] == ' ') && matchLabelAt(u, k).word) {
                        labelAt = k;
                        break;
                    }
                }
                const QString before =
                    QString::fromUtf8(u.left(labelAt < 0 ? u.size() : labelAt)).trimmed();
                const QStringList words = before.split(QLatin1Char(' '), Qt::SkipEmptyParts);
                bool capitalised = !words.isEmpty();
                for (const QString &w : words)
                    capitalised = capitalised && w.front().isUpper();
                if (capitalised && words.size() <= 4 &&
                    (labelAt >= 0 || hasWordOf(before, kUnitWords)) && nameLike(before) &&
                    digitsOf(before).isEmpty())
                    blockUnit = before;
            }
        }

        if (o.organization.isEmpty()) {
            const QString mailDomain = domainOfMail(mail);
            auto open = [&] { return o.organization.isEmpty(); };
            auto take = [&](const QString &name, const char *from) {
                if (open() && !name.isEmpty()) {
                    o.organization = name;
                    o.organizationFrom = QLatin1String(from);
                }
            };
            // Each source is read only when those before it gave no name.
            // An <address> around the number: its first name-like line.
            if (const qsizetype k = addressAround(at); k >= 0) {
                const QString first = clean(line(lineIndexAt(pt, pt.addresses[k].first)));
                if (nameLike(first) && !looksLikeStreetLine(first, o) && !looksLikeStreet(first) &&
                    !hasWordOf(first, kUnitWords) && !isPlace(first, o.city, geoCity))
                    take(first, OwnerSource::Address);
            }
            take(blockOrg, OwnerSource::Block);
            // A heading further up that names an organisation.
            if (open() && b.faxLine >= 0)
                take(headingOrganization(b, false, o.city, geoCity), OwnerSource::Heading);
            if (open()) {
                const auto &site = siteOwner();
                const bool siteFromMarkup =
                    site.second == OwnerSource::JsonLd || site.second == OwnerSource::Microdata ||
                    site.second == OwnerSource::Rdfa || site.second == OwnerSource::SiteName;
                if (siteFromMarkup && !looksLikeDomain(site.first))
                    take(site.first, site.second);
            }
            // Any name in the heading right above the block's, when that one names a unit
            // ("Public Health Region 1" above "Region 1 Asbestos").
            if (open() && b.faxLine >= 0 && headingIsUnit)
                take(headingOrganization(b, true, o.city, geoCity), OwnerSource::Heading);
            // A name on its own line at the top of the block, unless the block's mail
            // names another business.
            if (open() && !unmarked.isEmpty() &&
                (mailDomain.isEmpty() ||
                 folded(unmarked).contains(folded(mailDomain.section(QLatin1Char('.'), 0, 0)))))
                take(unmarked, OwnerSource::Block);
            // The block's mail domain, as the page writes its name ("TopCoder", "PSTCL").
            if (open())
                take(spelledOnPage(mailDomain), OwnerSource::MailDomain);
            if (open())
                take(siteOwner().first, siteOwner().second);
            take(unmarked, OwnerSource::Block);
            if (open())
                take(pageOrganization(at), OwnerSource::Page);
            take(mailDomain, OwnerSource::MailDomain);
            if (open())
                take(webAddressIn(b), OwnerSource::WebAddress);
            if (open()) {
                const QString pageDomain = mostCommonMailDomain();
                take(spelledOnPage(pageDomain), OwnerSource::MailDomain);
                take(pageDomain, OwnerSource::MailDomain);
            }
        }
        if (o.unit.isEmpty() && !blockUnit.isEmpty() &&
            folded(blockUnit) != folded(o.organization)) {
            o.unit = blockUnit;
            o.unitFrom = QLatin1String(OwnerSource::Block);
        }
        if (o.email.isEmpty() && !mail.isEmpty()) {
            o.email = mail;
            o.emailFrom = QLatin1String(OwnerSource::Block);
        }
        return o;
    }

    // The <address> element that holds text offset `at` (-1: none). They do not nest, so
    // it is one of the last few that begin before it.
    qsizetype addressAround(qsizetype at) const
    {
        if (at < 0)
            return -1;
        const auto &ranges = pt.addresses;
        auto it = std::upper_bound(ranges.cbegin(), ranges.cend(), at,
                                   [](qsizetype p, const auto &r) { return p < r.first; });
        const qsizetype last = qsizetype(it - ranges.cbegin()) - 1;
        qsizetype found = -1;
        for (qsizetype k = last; k >= 0 && last - k < 8; --k) {
            if (ranges[k].first <= at && at < ranges[k].second)
                found = k;
        }
        return found;
    }

    // The first line of the page that names a business by its legal form, else by an
    // institution's word (the page's own name where nothing else gives it).
    // A line that heads another number's block is that number's owner, not the page's.
    QString pageOrganization(qsizetype faxAt)
    {
        if (!pageOrgs)
            readPageOrganizations();
        // The first name whose next lines hold no other number's fax: one with none there,
        // or one whose only fax line is this number's.
        const PageOrganizations &p = *pageOrgs;
        qsizetype best = p.firstFree;
        const qsizetype li = lineIndexAt(pt, faxAt);
        if (li >= 0) {
            const TextLine &l = pt.lines[li];
            auto f = std::lower_bound(faxes.cbegin(), faxes.cend(), l.begin);
            if (f != faxes.cend() && *f < l.end && *f <= faxAt && faxAt < l.end)
                best = qMin(best, p.firstWithOnly.value(*f, p.names.size()));
        }
        return best < p.names.size() ? p.names[best] : QString();
    }

    struct PageOrganizations
    {
        QStringList names;                         // legal forms first, then institutions' words
        qsizetype firstFree;                       // the first with no fax in its next lines
        QHash<qsizetype, qsizetype> firstWithOnly; // first fax of its one fax line -> first name
    };
    std::optional<PageOrganizations> pageOrgs;

    void readPageOrganizations()
    {
        QList<std::pair<qsizetype, QString>> strong, weak;
        for (qsizetype j = 0; j < pt.lines.size() && j < 600; ++j) {
            const TextLine &l = pt.lines[j];
            if (l.end - l.begin > 90 || l.end - l.begin < 4 ||
                !mayHoldWordOf(QByteArrayView(pt.text).sliced(l.begin, l.end - l.begin),
                               organizationWordsAscii()))
                continue;
            const QString t = clean(line(j));
            if (!organizationMarked(t) || !nameLike(t) || looksLikeStreet(t) ||
                wordsOf(t).size() < 2 || hasWordOf(t, kJobWords))
                continue;
            (legalForm(t) ? strong : weak).append({j, t});
        }
        PageOrganizations p;
        p.firstFree = strong.size() + weak.size();
        qsizetype k = 0;
        for (const auto &[j, name] : strong + weak) {
            p.names << name;
            // The first fax of each line below it (as many as hold one).
            qsizetype faxLines = 0, only = -1;
            for (qsizetype m = j + 1; m < pt.lines.size() && m <= j + 8; ++m) {
                const TextLine &l = pt.lines[m];
                auto f = std::lower_bound(faxes.cbegin(), faxes.cend(), l.begin);
                if (f != faxes.cend() && *f < l.end) {
                    ++faxLines;
                    only = *f;
                }
            }
            if (faxLines == 0)
                p.firstFree = qMin(p.firstFree, k);
            else if (faxLines == 1 && !p.firstWithOnly.contains(only))
                p.firstWithOnly.insert(only, k);
            ++k;
        }
        pageOrgs = std::move(p);
    }

    // A web address written in the block ("Website: www.buenamano.ph"), as a domain.
    QString webAddressIn(const Block &b) const
    {
        if (b.faxLine < 0)
            return QString();
        static const QRegularExpression web(
            QStringLiteral("\\bwww\\.([a-z0-9-]+(?:\\.[a-z0-9-]+)*\\.[a-z]{2,})\\b"),
            QRegularExpression::CaseInsensitiveOption);
        for (qsizetype j = b.top; j <= b.bottom; ++j) {
            const QRegularExpressionMatch m = web.match(line(j));
            if (m.hasMatch())
                return m.captured(1).toLower();
        }
        return QString();
    }

    // The name a mail domain stands for, as the page writes it outside addresses: for
    // "pstcl.org" the page's "PSTCL". Empty when the page writes it only in addresses.
    mutable QHash<QString, QString> spelled; // by domain

    QString spelledOnPage(const QString &domain) const
    {
        const auto known = spelled.constFind(domain);
        if (known != spelled.cend())
            return *known;
        // Each is a pass over the page: a page that names more domains than a business has
        // gets no spelling for the rest.
        if (spelled.size() >= 8)
            return QString();
        const QString name = findSpelledOnPage(domain);
        spelled.insert(domain, name);
        return name;
    }

    QString findSpelledOnPage(const QString &domain) const
    {
        const QString label = domain.section(QLatin1Char('.'), 0, 0);
        if (label.size() < 3)
            return QString();
        const QByteArray needle = label.toUtf8();
        // The label stands as a word of its own: a whole run of the bytes that make names
        // of hosts and mail (so "pstcl" in "pstcl.org" or "info@pstcl" is no spelling). One
        // pass over the runs, however often their first letter recurs.
        const char *t = pt.text.constData();
        const qsizetype n = pt.text.size();
        auto wordByte = [t](qsizetype i) {
            const char c = t[i];
            return std::isalnum(uchar(c)) || c == '@' || c == '.' || c == '-' || c == '_';
        };
        for (qsizetype i = 0; i < n;) {
            if (!wordByte(i)) {
                ++i;
                continue;
            }
            qsizetype j = i + 1;
            while (j < n && wordByte(j))
                ++j;
            if (j - i == needle.size() &&
                ByteText::equalsCaseless(QByteArrayView(t + i, j - i), needle))
                return QString::fromUtf8(t + i, j - i);
            i = j;
        }
        return QString();
    }

    static bool looksLikeStreetLine(const QString &l, const ContactOwner &o)
    {
        if (!o.street.isEmpty() && folded(l) == folded(o.street))
            return true;
        // A house number first ("420 Tapscott Road") or a post box.
        static const QRegularExpression street(
            QStringLiteral("^(?:\\d+[\\p{L}]?\\s|#\\d|p\\.?\\s?o\\.?\\s+box|postfach|gpo box)"),
            QRegularExpression::CaseInsensitiveOption |
                QRegularExpression::UseUnicodePropertiesOption);
        return street.match(l).hasMatch();
    }

    // The nearest heading above the block that names an organisation, a level up at a time.
    // What a heading line says as a name, read once for all the numbers below it.
    struct HeadingFacts
    {
        QString name; // cleanName of the line
        bool nameLike = false;
        bool marked = false;  // organizationMarked
        bool unit = false;    // a unit's word
        bool generic = false; // isGeneric
    };
    mutable std::unordered_map<qsizetype, HeadingFacts> headings;

    const HeadingFacts &headingFacts(qsizetype j) const
    {
        auto it = headings.find(j);
        if (it != headings.end())
            return it->second;
        HeadingFacts h;
        h.name = clean(line(j));
        h.nameLike = nameLike(h.name);
        h.marked = organizationMarked(h.name);
        h.unit = hasWordOf(h.name, kUnitWords);
        h.generic = isGeneric(h.name);
        return headings.emplace(j, std::move(h)).first->second;
    }

    QString headingOrganization(const Block &b, bool anyName, const QString &city,
                                const QString &geoCity) const
    {
        int level = b.heading >= 0 ? pt.lines[b.heading].level : 7;
        for (qsizetype j = (b.heading >= 0 ? b.heading : b.top) - 1;
             j >= 0 && pt.lines[b.top].begin - pt.lines[j].end < 4000; --j) {
            const TextLine &l = pt.lines[j];
            if (l.kind != LineKind::Heading || l.level >= level || l.level == 0)
                continue;
            level = l.level;
            if (anyName && pt.lines[b.top].begin - l.end > 1500)
                return QString();
            const HeadingFacts &h = headingFacts(j);
            const bool named = h.nameLike && (h.marked || (anyName && !h.generic));
            // A place or a unit names no organisation; whether a heading is a place matters
            // only when it would be taken or it ends the look for any name.
            if ((!anyName && h.unit && !h.marked) ||
                ((named || anyName) && isPlace(h.name, city, geoCity)))
                continue;
            if (named)
                return h.name;
            anyName = false; // only the heading right above the unit's
        }
        return QString();
    }

    QString languageFor(const QString &region) const
    {
        const QByteArray lang = pt.lang.left(2);
        if (lang.size() == 2)
            return QString::fromLatin1(lang);
        // The language of each country, looked up once per thread.
        thread_local QHash<QString, QString> languages;
        const auto it = languages.constFind(region);
        if (it != languages.cend())
            return *it;
        const QLocale::Territory t = QLocale::codeToTerritory(region);
        const QString language =
            t == QLocale::AnyTerritory
                ? QStringLiteral("en")
                : QLocale(QLocale::AnyLanguage, t).name().section(QLatin1Char('_'), 0, 0);
        languages.insert(region, language);
        return language;
    }

    // "New York, NY", "Patiala, Punjab", "São Paulo - SP": the place and its region; a
    // North American state alone ("Texas") is a region; a country's name is neither.
    static void splitPlace(const QString &place, const PhoneReading &fax, QString *city,
                           QString *region)
    {
        // The geocoder names the same places again and again: each is split once per thread.
        thread_local QHash<QString, std::pair<QString, QString>> known;
        const QString key = place + QChar(0) + fax.countryName + QChar(fax.northAmerican ? 1 : 0);
        const auto it = known.constFind(key);
        if (it == known.cend()) {
            if (known.size() >= 4096)
                known.clear();
            std::pair<QString, QString> parts;
            readPlace(place, fax, &parts.first, &parts.second);
            known.insert(key, parts);
            *city = parts.first;
            *region = parts.second;
        } else {
            *city = it->first;
            *region = it->second;
        }
    }

    static void readPlace(const QString &place, const PhoneReading &fax, QString *city,
                          QString *region)
    {
        if (place.isEmpty() || folded(place) == folded(fax.countryName) ||
            !countryOfName(place).isEmpty())
            return;
        // Its parts, at commas and at dashes between spaces.
        QString commas = place;
        commas.replace(QLatin1String(" - "), QLatin1String(","));
        QStringList parts;
        for (const QString &p : commas.split(QLatin1Char(','))) {
            if (!p.trimmed().isEmpty())
                parts << p;
        }
        if (parts.size() >= 2) {
            *city = parts.first().trimmed();
            *region = parts.last().trimmed();
        } else if (fax.northAmerican) {
            *region = place.trimmed();
        } else {
            *city = place.trimmed();
            *region = place.trimmed();
        }
    }
};

OwnerReader::OwnerReader(const PageText &pt, ReadNumber read, QList<PhoneMention> phones,
                         QList<qsizetype> faxes)
    : d(std::make_unique<Impl>(pt, std::move(read), std::move(phones), std::move(faxes)))
{
}

OwnerReader::~OwnerReader() = default;

ContactOwner OwnerReader::ownerOf(qsizetype at, const PhoneReading &fax)
{
    return d->ownerOf(at, fax);
}
