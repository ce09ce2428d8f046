#include "contactpages.h"

#include "bytetext.h"
#include "cp1252.h"
#include "entities.h"

#include <QString>
#include <QStringDecoder>

namespace {

// How a phrase must stand in a link's text.
enum Fit : unsigned char
{
    Within, // anywhere, between word boundaries ("Contact our office", "Kontakt & Anfahrt")
    Whole,  // the whole text: "About" names a page, "Read more about roofing" does not
};

struct Phrase
{
    const char *text; // UTF-8, lower case
    Fit fit;
};

// Lower case; scripts without spaces between words (Chinese, Japanese, Thai) match anywhere.
const Phrase kTextPhrases[] = {
    // English
    {"contact", Within},
    {"contacts", Within},
    {"contact us", Within},
    {"imprint", Within},
    {"legal notice", Within},
    {"about us", Within},
    {"about", Whole},
    {"who we are", Within},
    {"find us", Within},
    {"reach us", Within},
    {"get in touch", Within},
    {"locations", Within},
    {"location", Whole},
    {"our location", Within},
    {"offices", Within},
    {"our office", Within},
    {"headquarters", Whole},
    {"directions", Whole},
    // German
    {"kontakt", Within},
    {"kontaktieren sie uns", Within},
    {"impressum", Within},
    {"\xc3\xbc"
     "ber uns",
     Within}, // über uns
    {"ueber uns", Within},
    {"standorte", Within},
    {"niederlassungen", Within},
    {"anfahrt", Within},
    {"so finden sie uns", Within},
    // French
    {"contactez-nous", Within},
    {"contactez nous", Within},
    {"nous contacter", Within},
    {"nous joindre", Within},
    {"coordonn\xc3\xa9"
     "es",
     Within}, // coordonnées
    {"mentions l\xc3\xa9gales", Within},
    {"mentions legales", Within},
    {"\xc3\xa0 propos", Within}, // à propos
    {"a propos", Within},
    {"qui sommes-nous", Within},
    {"qui sommes nous", Within},
    {"nos agences", Within},
    {"nos bureaux", Within},
    {"plan d'acc\xc3\xa8s", Within},
    // Spanish
    {"contacto", Within},
    {"contactos", Within},
    {"cont\xc3\xa1"
     "ctenos",
     Within}, // contáctenos
    {"contactenos", Within},
    {"cont\xc3\xa1"
     "ctanos",
     Within},
    {"sobre nosotros", Within},
    {"qui\xc3\xa9nes somos", Within},
    {"quienes somos", Within},
    {"oficinas", Within},
    {"sucursales", Within},
    {"ubicaciones", Within},
    {"aviso legal", Within},
    {"d\xc3\xb3nde estamos", Within},
    {"donde estamos", Within},
    // Italian
    {"contatti", Within},
    {"contattaci", Within},
    {"contattateci", Within},
    {"chi siamo", Within},
    {"dove siamo", Within},
    {"le nostre sedi", Within},
    {"sedi", Whole},
    {"uffici", Within},
    {"note legali", Within},
    // Portuguese
    {"contato", Within},
    {"contatos", Within},
    {"fale conosco", Within},
    {"contacte-nos", Within},
    {"quem somos", Within},
    {"sobre n\xc3\xb3s", Within},
    {"escrit\xc3\xb3rios", Within},
    {"onde estamos", Within},
    // Dutch, the Nordic languages, Finnish, Polish
    {"over ons", Within},
    {"vestigingen", Within},
    {"kantoren", Within},
    {"colofon", Within},
    {"contactgegevens", Within},
    {"kontakta oss", Within},
    {"kontakt oss", Within},
    {"om oss", Within},
    {"om os", Within},
    {"yhteystiedot", Within},
    {"ota yhteytt\xc3\xa4", Within},
    {"o nas", Within},
    // Turkish
    {"ileti\xc5\x9fim", Within},                // iletişim
    {"hakk\xc4\xb1m\xc4\xb1z\x64\x61", Within}, // hakkımızda
    // Russian
    {"\xd0\xba\xd0\xbe\xd0\xbd\xd1\x82\xd0\xb0\xd0\xba\xd1\x82\xd1\x8b", Within}, // контакты
    {"\xd0\xba\xd0\xbe\xd0\xbd\xd1\x82\xd0\xb0\xd0\xba\xd1\x82", Within},         // контакт
    {"\xd0\xbe \xd0\xba\xd0\xbe\xd0\xbc\xd0\xbf\xd0\xb0\xd0\xbd\xd0\xb8\xd0\xb8",
     Within},                                      // о компании
    {"\xd0\xbe \xd0\xbd\xd0\xb0\xd1\x81", Within}, // о нас
    // Greek
    {"\xce\xb5\xcf\x80\xce\xb9\xce\xba\xce\xbf\xce\xb9\xce\xbd\xcf\x89\xce\xbd\xce\xaf\xce\xb1",
     Within}, // επικοινωνία
    // Hebrew, Arabic
    {"\xd7\xa6\xd7\x95\xd7\xa8 \xd7\xa7\xd7\xa9\xd7\xa8", Within},         // צור קשר
    {"\xd7\x90\xd7\x95\xd7\x93\xd7\x95\xd7\xaa", Within},                  // אודות
    {"\xd8\xa7\xd8\xaa\xd8\xb5\xd9\x84 \xd8\xa8\xd9\x86\xd8\xa7", Within}, // اتصل بنا
    {"\xd8\xaa\xd9\x88\xd8\xa7\xd8\xb5\xd9\x84 \xd9\x85\xd8\xb9\xd9\x86\xd8\xa7",
     Within},                                              // تواصل معنا
    {"\xd9\x85\xd9\x86 \xd9\x86\xd8\xad\xd9\x86", Within}, // من نحن
    // Chinese, Japanese, Korean, Thai
    {"\xe8\x81\x94\xe7\xb3\xbb\xe6\x88\x91\xe4\xbb\xac", Within}, // 联系我们
    {"\xe8\x81\xaf\xe7\xb5\xa1\xe6\x88\x91\xe5\x80\x91", Within}, // 聯絡我們
    {"\xe8\x81\xaf\xe7\xb9\xab\xe6\x88\x91\xe5\x80\x91", Within}, // 聯繫我們
    {"\xe5\x85\xb3\xe4\xba\x8e\xe6\x88\x91\xe4\xbb\xac", Within}, // 关于我们
    {"\xe9\x97\x9c\xe6\x96\xbc\xe6\x88\x91\xe5\x80\x91", Within}, // 關於我們
    {"\xe3\x81\x8a\xe5\x95\x8f\xe3\x81\x84\xe5\x90\x88\xe3\x82\x8f\xe3\x81\x9b",
     Within},                                                      // お問い合わせ
    {"\xe3\x81\x8a\xe5\x95\x8f\xe5\x90\x88\xe3\x81\x9b", Within},  // お問合せ
    {"\xe4\xbc\x9a\xe7\xa4\xbe\xe6\xa6\x82\xe8\xa6\x81", Within},  // 会社概要
    {"\xe4\xbc\x9a\xe7\xa4\xbe\xe6\xa1\x88\xe5\x86\x85", Within},  // 会社案内
    {"\xec\x97\xb0\xeb\x9d\xbd\xec\xb2\x98", Within},              // 연락처
    {"\xed\x9a\x8c\xec\x82\xac\xec\x86\x8c\xea\xb0\x9c", Within},  // 회사소개
    {"\xec\x98\xa4\xec\x8b\x9c\xeb\x8a\x94 \xea\xb8\xb8", Within}, // 오시는 길
    {"\xe0\xb8\x95\xe0\xb8\xb4\xe0\xb8\x94\xe0\xb8\x95\xe0\xb9\x88\xe0\xb8\xad\xe0\xb9\x80"
     "\xe0\xb8\xa3\xe0\xb8\xb2",
     Within}, // ติดต่อเรา
};

// Pieces of paths, lower-case ASCII. Each starts a word of the path (after "/", "-", "_",
// ".", "?", "=", "&" or a digit); `whole` ones also end one, the others may run on
// ("contact" in "contactus", "contacto", "contact-us").
struct Slug
{
    const char *text;
    bool whole;
};

const Slug kSlugs[] = {
    {"contact", false},
    {"kontakt", false},
    {"impressum", false},
    {"imprint", false},
    {"about", false},
    {"contatt", false},
    {"contato", false},
    {"fale-conosco", true},
    {"faleconosco", true},
    {"chi-siamo", true},
    {"chisiamo", true},
    {"dove-siamo", true},
    {"ueber-uns", true},
    {"uber-uns", true},
    {"ueberuns", true},
    {"qui-sommes-nous", true},
    {"a-propos", true},
    {"apropos", true},
    {"nous-joindre", true},
    {"locations", true},
    {"offices", true},
    {"standorte", true},
    {"sedi", true},
    {"quienes-somos", true},
    {"sobre-nosotros", true},
    {"quem-somos", true},
    {"over-ons", true},
    {"om-oss", true},
    {"iletisim", true},
    {"hakkimizda", true},
    {"find-us", true},
    {"get-in-touch", true},
    {"anfahrt", true},
    {"legal-notice", true},
    {"mentions-legales", true},
    {"aviso-legal", true},
    {"note-legali", true},
    {"colofon", true},
    {"yhteystiedot", true},
    {"o-nas", true},
};

// Link texts longer than this are sentences, not the names of pages.
constexpr int kMaxNameLength = 48;
// How far the text of a link is read, and how far back its tag's "<".
constexpr qsizetype kAnchorReach = 512;
constexpr qsizetype kTagReach = 1024;

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c.isMark();
}

// Scripts written without spaces between words need no word boundary.
bool needsBoundary(const QString &phrase)
{
    const char16_t first = phrase.at(0).unicode();
    return first < 0x0E00 || (first >= 0x1100 && first < 0x2E80);
}

// The visible text of an anchor: tags left out, entities decoded, UTF-8 or Windows-1252.
QString visibleText(QByteArrayView html)
{
    QByteArray bytes;
    bytes.reserve(html.size());
    for (qsizetype i = 0; i < html.size(); ++i) {
        const char c = html[i];
        if (c == '<') {
            const qsizetype close = html.indexOf('>', i);
            if (close < 0)
                break;
            bytes.append(' ');
            i = close;
            continue;
        }
        bytes.append(c);
    }
    auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        text = Cp1252::toUnicode(bytes);
    if (text.contains(QLatin1Char('&'))) {
        QString out;
        out.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const qsizetype semi =
                text.at(i) == QLatin1Char('&') ? text.indexOf(QLatin1Char(';'), i) : -1;
            if (semi > i + 1 && semi - i <= 10) {
                const QByteArray name = text.mid(i + 1, semi - i - 1).toLatin1();
                char b = 0;
                if (name == "nbsp" || name == "#160") {
                    out += QLatin1Char(' ');
                    i = semi;
                    continue;
                }
                if (decodeEntityInto(&b, name) == 1) {
                    out += QChar(char32_t(Cp1252::codePointOfByte(uchar(b))));
                    i = semi;
                    continue;
                }
            }
            out += text.at(i);
        }
        text = out;
    }
    return text.toLower().simplified();
}

bool containsPhrase(const QString &text, const QString &phrase)
{
    const bool bounded = needsBoundary(phrase);
    for (qsizetype at = text.indexOf(phrase); at >= 0; at = text.indexOf(phrase, at + 1)) {
        if (!bounded)
            return true;
        const qsizetype end = at + phrase.size();
        if ((at == 0 || !isWordChar(text.at(at - 1))) &&
            (end == text.size() || !isWordChar(text.at(end))))
            return true;
    }
    return false;
}

struct TextTable
{
    QList<QString> within;
    QList<QString> whole;
    TextTable()
    {
        for (const Phrase &p : kTextPhrases)
            (p.fit == Whole ? whole : within).append(QString::fromUtf8(p.text));
    }
};

bool isPathBoundary(char c)
{
    return !(c >= 'a' && c <= 'z');
}

} // namespace

bool linkTextNamesContactPage(QByteArrayView anchorHtml)
{
    if (anchorHtml.isEmpty())
        return false;
    QString text = visibleText(anchorHtml);
    // Menus dress their entries: "» Contact", "Contact ›", "Kontakt |".
    while (!text.isEmpty() && !isWordChar(text.front()))
        text.remove(0, 1);
    while (!text.isEmpty() && !isWordChar(text.back()))
        text.chop(1);
    if (text.isEmpty() || text.size() > kMaxNameLength)
        return false;
    static const TextTable table;
    for (const QString &p : table.whole) {
        if (text == p)
            return true;
    }
    for (const QString &p : table.within) {
        if (containsPhrase(text, p))
            return true;
    }
    return false;
}

bool addressNamesContactPage(QStringView site)
{
    const qsizetype slash = site.indexOf(QLatin1Char('/'));
    if (slash < 0 || slash + 1 >= site.size())
        return false;
    QByteArray path = site.mid(slash + 1).toLatin1();
    for (char &c : path)
        c = ByteText::lowerAscii(c);
    for (const Slug &slug : kSlugs) {
        const QByteArrayView s(slug.text);
        for (qsizetype at = path.indexOf(s); at >= 0; at = path.indexOf(s, at + 1)) {
            const qsizetype end = at + s.size();
            if ((at == 0 || isPathBoundary(path.at(at - 1))) &&
                (!slug.whole || end == path.size() || isPathBoundary(path.at(end))))
                return true;
        }
    }
    return false;
}

QByteArrayView anchorHtmlAt(QByteArrayView page, qsizetype hrefAt)
{
    // The tag around the "href=": "<a" and a space.
    const qsizetype from = qMax<qsizetype>(0, hrefAt - kTagReach);
    qsizetype lt = hrefAt - 1;
    while (lt >= from && page[lt] != '<' && page[lt] != '>')
        --lt;
    if (lt < from || page[lt] != '<' || lt + 2 >= page.size() ||
        ByteText::lowerAscii(page[lt + 1]) != 'a' || uchar(page[lt + 2]) > ' ')
        return {};
    const qsizetype gt = page.indexOf('>', hrefAt);
    if (gt < 0 || gt - hrefAt > kTagReach)
        return {};
    const qsizetype start = gt + 1;
    const QByteArrayView rest = page.sliced(start, qMin(kAnchorReach, page.size() - start));
    ByteText::CaselessFinder close(rest, "</a");
    const qsizetype end = close.next(0);
    return rest.first(end < 0 ? rest.size() : end);
}
