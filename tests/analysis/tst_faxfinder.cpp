// The fax finder: each way a page shows a fax number, the traps around them, numbers read
// with their country, the "no unsolicited faxes" notices, and the finder off.

#include "faxfinder.h"
#include "phonereading.h"

#include <QTest>

namespace {

// "E164 how" for each number found, in order.
QStringList found(const QByteArray &html, const QString &address = QString(), bool intl = true)
{
    FinderInput in;
    in.address = address;
    in.allowInternational = intl;
    QStringList out;
    for (const FoundNumber &f : findFaxNumbers(html, in))
        out << f.e164 + QLatin1Char(' ') + f.how;
    return out;
}

} // namespace

class TestFaxFinder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void shownAs_data();
    void shownAs();
    void writtenAsPagesWriteThem_data();
    void writtenAsPagesWriteThem();
    void labelForms_data();
    void labelForms();
    void reading_data();
    void reading();
    void runs_data();
    void runs();
    void notices_data();
    void notices();
    void evidence_keptWithEveryFind();
    void finderOff_isTheReferenceScan();
    void internationalOnlyWhenAllowed();
};

void TestFaxFinder::shownAs_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("expected"); // "E164 how", in order

    auto row = [](const char *name, const QByteArray &html, const QStringList &expected,
                  const char *address = "") {
        QTest::newRow(name) << html << QString::fromLatin1(address) << expected;
    };
    // What the reference scan finds stays found, read with its country.
    row("fax line", "<body><p>Fax: (212) 555-0187</p></body>", {"+12125550187 reference"});
    row("national number, country from lang",
        "<html lang=\"de\"><body><p>Fax: 0221 1642 3990</p></body></html>",
        {"+4922116423990 reference"});
    row("exit code 011", "<body><p>Fax: 011 44 20 7946 0958</p></body>",
        {"+442079460958 reference"});
    row("trunk (0) after the country code", "<body><p>Fax: +44 (0)20 7946 0958</p></body>",
        {"+442079460958 reference"});
    row("split by tags and entities",
        "<body><p>Fax: <span>212</span>&#8209;<span>555</span>&ndash;0187</p></body>",
        {"+12125550187 reference"});
    row("same fax in two forms", "<body><p>Fax: (703) 349-0343</p><p>Fax: 703.349.0343</p></body>",
        {"+17033490343 reference"});

    // Label beside the number, elsewhere than on the fax line.
    row("previous cell",
        "<body><table><tr><td>Fax:</td><td>212-555-0187</td><td>Open Monday to Friday from nine in "
        "the morning "
        "to five in the afternoon</td></tr></table></body>",
        {"+12125550187 previous-cell"});
    row("column header",
        "<html lang=\"de\"><body><table><tr><th>B&uuml;ro</th><th>Fax</th></tr><tr><td>Berlin</td>"
        "<td>030 1234567</td></tr><tr><td>K&ouml;ln</td><td>0221 1642 "
        "3990</td></tr></table></body></html>",
        {"+49301234567 table-header", "+4922116423990 table-header"});
    row("term of a definition list",
        "<body><dl><dt>Fax</dt><dd><p>212-555-0187</p></dd></dl></body>", {"+12125550187 term"});
    row("heading above", "<body><h3>Fax</h3><p>212-555-0187</p></body>", {"+12125550187 heading"});
    row("form label", "<body><label>Fax</label><p>212-555-0187</p></body>",
        {"+12125550187 form-label"});
    row("label after", "<body><p>Call us: 212-555-0100. Orders: 212-555-0187 (fax)</p></body>",
        {"+12125550187 label-after"});
    row("line wrapped after the label at <br/>",
        "<body><p>Orders are welcome on weekdays from nine in the morning till five pm. Fax: <br/> "
        "212-555-0187</p></body>",
        {"+12125550187 previous-line"});
    row("one-letter labels, several numbers on a line",
        "<body><p>T: +44 20 7946 0958 F: +44 20 7946 0959</p></body>",
        {"+442079460959 label-before"});
    row("combined label, two numbers", "<body><p>Tel/Fax: 212-555-0187 / 212-555-0188</p></body>",
        {"+12125550187 reference", "+12125550188 label-before"});
    row("lead-in in running text",
        "<body><p>For submission by fax, you may fax the signed form (without a cover sheet) to: "
        "(US) +1 (860) "
        "631-1027.</p></body>",
        {"+18606311027 label-before"});
    row("full-width digits",
        "<html lang=\"ja\"><body><p>\xef\xbc\xa6\xef\xbc\xa1\xef\xbc\xb8\xef\xbc\x9a"
        "\xef\xbc\x90\xef\xbc\x93\xef\xbc\x8d\xef\xbc\x93\xef\xbc\x96\xef\xbc\x91\xef\xbc\x99\xef"
        "\xbc\x8d"
        "\xef\xbc\x98\xef\xbc\x95\xef\xbc\x99\xef\xbc\x95</p></body></html>",
        {"+81336198595 label-before"});
    row("fragment without <body>", "<div>Fax: 030 1234567</div>", {"+49301234567 label-before"},
        "www.example.de/kontakt");
    row("script holding <",
        "<body><script>var fax = \"212-555-0187\"; if (a < b) {}</script><p>Fax: "
        "212-555-0199</p></body>",
        {"+12125550199 label-before"});

    // Markup that says fax.
    row("JSON-LD in @graph",
        "<head><script type=\"application/ld+json\">{\"@graph\":[{\"@type\":\"Organization\","
        "\"contactPoint\":{\"faxNumber\":\"+49 30 "
        "1234567\"}}]}</script></head><body><p>Kontakt</p></body>",
        {"+49301234567 json-ld"});
    row("microdata",
        "<html lang=\"de\"><body><span itemprop=\"faxNumber\">030 1234567</span></body></html>",
        {"+49301234567 microdata"});
    row("RDFa",
        "<body><div vocab=\"http://schema.org/\"><span property=\"faxNumber\">+1 212 555 "
        "0187</span></div></body>",
        {"+12125550187 rdfa"});
    row("hCard type fax",
        "<body><div class=\"tel\"><p class=\"type\">Fax</p><p class=\"value\">212 555 "
        "0187</p></div></body>",
        {"+12125550187 previous-line"});
    row("fax: link", "<body><a href=\"fax:+12125550187\">Send us a fax</a></body>",
        {"+12125550187 fax-link"});
    row("tel: link marked fax",
        "<body><a class=\"contact-fax\" href=\"tel:+1-212-555-0187\">Send</a></body>",
        {"+12125550187 tel-link"});
    row("og:fax_number",
        "<head><meta property=\"og:fax_number\" content=\"+1-212-555-0187\"></head><body>x</body>",
        {"+12125550187 meta"});
    row("icon class",
        "<html lang=\"de\"><body><p><i class=\"fa fa-fax\"></i> +49 221 / 50 800 "
        "100</p></body></html>",
        {"+4922150800100 icon"});
    row("image text",
        "<body><ul><li><img src=\"/fax.png\" alt=\"Fax\" /> 01329 287 755</li></ul></body>",
        {"+441329287755 icon"}, "example.co.uk");

    // Traps.
    row("Fairfax", "<body><p>Fairfax County, Virginia.<br>Phone 703-555-0100</p></body>", {});
    row("Filofax, halifax",
        "<body><p>Filofax "
        "organisers</p><p>212-555-0100</p><p>halifax</p><p>212-555-0101</p></body>",
        {});
    row("toll-free label between fax label and number",
        "<body><p>Fax (toll-free): 1-800-555-0199</p></body>", {});
    row("phone label nearer than fax label",
        "<body><p>Phone: 212-555-0100 Fax: 212-555-0187</p></body>", {"+12125550187 reference"});
    row("form's empty fax field",
        "<body><form><label for=\"fax\">Fax</label><input id=\"fax\" "
        "name=\"fax\"><label>Phone</label>"
        "<input name=\"phone\"></form><p>Call 212-555-0100</p></body>",
        {});
    row("numbers in scripts",
        "<body><script>if (!/fax/.test(v)) alert('Fax number like (123) "
        "456-7890');</script></body>",
        {});
    row("template placeholder", "<div>Fax : {{FaxNumber}}</div><div>212-555-0100</div>", {});
    row("one-letter F without a telephone label", "<body><p>Section F. 212-555-0187</p></body>",
        {});
    row("digit run longer than a number", "<body><p>Fax: 99999999999999999999999999</p></body>",
        {});
}

void TestFaxFinder::shownAs()
{
    QFETCH(QByteArray, html);
    QFETCH(QString, address);
    QFETCH(QStringList, expected);
    QCOMPARE(found(html, address), expected);
}

// Numbers written the way real pages write them, and the labels pages give them: each form
// once, and the forms that look alike but are no fax (or no number of that country).
void TestFaxFinder::writtenAsPagesWriteThem_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("expected"); // "E164 how", in order

    auto row = [](const char *name, const QByteArray &body, const QStringList &expected,
                  const char *lang = "en", const char *address = "") {
        QTest::newRow(name) << (QByteArray("<html lang=\"") + lang + "\"><body>" + body +
                                "</body></html>")
                            << QString::fromLatin1(address) << expected;
    };
    // A country code without "+", where the page points to that country.
    row("country code in parentheses, the page's language",
        "<p>T&eacute;l&eacute;copie : (33-1) 45 55 01 00</p>", {"+33145550100 label-before"}, "fr");
    row("country code before a dash, the address names the country",
        "<p>Head office, Wan Chai, Hong Kong</p><p>Facsimile: 852-2555-0100</p>",
        {"+85225550100 label-before"});
    row("country code glued to the area code, the page's other numbers",
        "<p>Tel +61 2 9555 0199</p><p>Facsimile: 61-2-9555-0100</p>",
        {"+61295550100 label-before"});
    row("country code without +, nothing on the page points there",
        "<p>Facsimile: 61-2-9555-0100</p>", {});
    row("country code without +, the page is of another country", "<p>Facsimile: 852-2555-0100</p>",
        {}, "en-US");
    // The trunk prefix in parentheses, no space after it.
    row("trunk prefix in parentheses, the country's domain", "<p>Facsimile: (020)7946 0958</p>",
        {"+442079460958 label-before"}, "en", "www.example.co.uk/contact");
    row("trunk prefix in parentheses, the postal code's country",
        "<p>12 Fleet Street<br>London EC4Y 1AA</p><p>Facsimile (020)7946 0958</p>",
        {"+442079460958 label-before"});
    // An image that says fax, as the label beside its number.
    row("image alt", "<p><img src=\"f.png\" alt=\"Fax\"> 212-555-0187</p>", {"+12125550187 icon"});
    row("image title", "<p><img src=\"f.png\" title=\"Fax\"> 212-555-0187</p>",
        {"+12125550187 icon"});
    row("icon beside its number in the item that holds both",
        "<ul><li><div class=\"icon icon-fax\"></div><div>212-555-0187</div></li></ul>",
        {"+12125550187 icon"});
    row("icon in the cell before",
        "<table><tr><td><img src=\"f.gif\" alt=\"Fax\"></td>"
        "<td>212-555-0187</td></tr></table>",
        {"+12125550187 icon"});
    row("icon alone in its paragraph", "<p><i class=\"fa fa-fax\"></i></p><p>212-555-0187</p>", {});
    row("icon away from the number",
        "<p><img src=\"f.png\" alt=\"Fax\"></p><p>We answer every call within a day.</p>"
        "<p>212-555-0187</p>",
        {});
    // Several numbers under one fax label, each with a part's name.
    row("a number a line under a fax line",
        "<p>Fax:<br>Sales: 212-555-0187<br>Service: 212-555-0188<br>Parts 212-555-0189</p>",
        {"+12125550187 previous-line", "+12125550188 previous-line", "+12125550189 previous-line"});
    row("a list after the label",
        "<p>Telefax: Sales 212-555-0187, Service 212-555-0188; Parts: 212-555-0189</p>",
        {"+12125550187 reference", "+12125550188 label-before", "+12125550189 label-before"});
    row("a number a line under a fax heading",
        "<h3>Fax</h3><p>Sales: 212-555-0187</p><p>Service: 212-555-0188</p>",
        {"+12125550187 heading", "+12125550188 heading"});
    row("the list under a fax line ends at another kind of line",
        "<p>Fax:<br>Sales: 212-555-0187<br>Toll-free: 1-800-555-0100<br>212-555-0188</p>",
        {"+12125550187 previous-line"});
    row("a list under a telephone line",
        "<p>Phone:<br>Sales: 212-555-0187<br>Service: 212-555-0188</p>", {});
    row("running text after the list", "<p>Telefax: 212-555-0187, or call us at 212-555-0100</p>",
        {"+12125550187 reference"});
    // The type word after the number in an hCard's tel.
    row("hCard tel, type after the number",
        "<div class=\"vcard\"><span class=\"fn org\">Acme</span><div class=\"tel\">"
        "212.555.0100 | Voice</div><div class=\"tel\">212.555.0199 | Fax</div></div>",
        {"+12125550199 label-after"});
    // A block that names several kinds of line: each number takes the label nearest to it.
    row("a heading's fax label past another number's own label",
        "<h3>Fax</h3><p>Toll-free: 1-800-555-0100</p><p>212-555-0187</p>",
        {"+12125550187 heading"});
    row("a block of several kinds of line",
        "<h3>Phone and fax</h3><p>Toll-free: 1-800-555-0100</p><p>Facsimile: 212-555-0187</p>"
        "<p>International orders: +1 212 555 0150</p>",
        {"+12125550187 label-before"});
    row("several kinds of line on one",
        "<p>Toll-free 1-800-555-0100, facsimile 212-555-0187, international orders +1 212 555 "
        "0150</p>",
        {"+12125550187 label-before"});
    // A number in the title takes no label from the page.
    QTest::newRow("number in the title, fax words in the body")
        << QByteArray("<html><head><title>Acme 212-555-0187</title></head><body><p>Fax "
                      "machines repaired</p><p>Phone 212-555-0100</p></body></html>")
        << QString() << QStringList();
}

void TestFaxFinder::writtenAsPagesWriteThem()
{
    QFETCH(QByteArray, html);
    QFETCH(QString, address);
    QFETCH(QStringList, expected);
    QCOMPARE(found(html, address), expected);
}

void TestFaxFinder::labelForms_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QString>("e164");

    auto row = [](const char *label, const char *lang, const char *number, const char *e164) {
        QTest::newRow(label) << (QByteArray("<html lang=\"") + lang + "\"><body><p>" + label + " " +
                                 number + "</p></body></html>")
                             << QString::fromLatin1(e164);
    };
    row("Telefax", "de", "069 2978922", "+49692978922");
    row("Facsimile:", "en", "+1 212 555 0187", "+12125550187");
    row("T&eacute;l&eacute;copie :", "fr", "01 42 68 53 00", "+33142685300");
    row("T\xc3\xa9l\xc3\xa9"
        "copieur :",
        "fr", "01 42 68 53 00", "+33142685300");
    row("Fax-Nr.", "de", "030 1234567", "+49301234567");
    row("Faxnummer:", "de", "030 1234567", "+49301234567");
    row("Freefax:", "en-au", "1800 999 217", "+611800999217");
    row("\xe4\xbc\xa0\xe7\x9c\x9f\xef\xbc\x9a", "zh-cn", "010-64811949", "+861064811949");
    row("\xe4\xbc\xa0\xe7\x9c\x9f\xe5\x8f\xb7\xe7\xa0\x81\xef\xbc\x9a", "zh-cn",
        "+86 010-8282-6835", "+861082826835");
    row("\xd0\xa4\xd0\xb0\xd0\xba\xd1\x81:", "ru", "+7 495 123-45-67", "+74951234567");
    row("\xe3\x83\x95\xe3\x82\xa1\xe3\x83\x83\xe3\x82\xaf\xe3\x82\xb9", "ja", "03-5978-7518",
        "+81359787518");
    row("\xed\x8c\xa9\xec\x8a\xa4", "ko", "02-312-3456", "+8223123456");
    row("f.", "en", "214.985.9003</p><p>p. 214.985.9000", "+12149859003");
}

void TestFaxFinder::labelForms()
{
    QFETCH(QByteArray, html);
    QFETCH(QString, e164);
    const QStringList f = found(html);
    QCOMPARE(f.size(), 1);
    QCOMPARE(f.first().section(QLatin1Char(' '), 0, 0), e164);
}

void TestFaxFinder::reading_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QByteArray>("region"); // the page's
    QTest::addColumn<QString>("e164");      // empty: no valid number
    QTest::addColumn<QString>("textForm");

    QTest::newRow("+ and trunk (0)")
        << QByteArray("+44 (0)20 7946 0958") << QByteArray() << "+442079460958"
        << "+44-20-7946-0958";
    QTest::newRow("exit code 00") << QByteArray("0043(0) 316/83 56 12") << QByteArray()
                                  << "+43316835612"
                                  << "+43-316-835612";
    QTest::newRow("exit code 011")
        << QByteArray("011 49 30 1234567") << QByteArray() << "+49301234567"
        << "+49-30-1234567";
    QTest::newRow("011 begins a British number")
        << QByteArray("0114 243 7646") << QByteArray("GB") << "+441142437646"
        << "+44-114-243-7646";
    QTest::newRow("North American layout wins")
        << QByteArray("(212) 555-0187") << QByteArray("DE") << "+12125550187"
        << "1-212-555-0187";
    QTest::newRow("Caribbean area code")
        << QByteArray("809-544-4003") << QByteArray() << "+18095444003"
        << "1-809-544-4003";
    QTest::newRow("page's country")
        << QByteArray("0221 1642 3990") << QByteArray("DE") << "+4922116423990"
        << "+49-221-16423990";
    QTest::newRow("no country known")
        << QByteArray("0221 1642 3990") << QByteArray() << QString() << QString();
    // Readings are remembered by text, and by text and country where the country counts.
    QTest::newRow("page's country, read again")
        << QByteArray("0221 1642 3990") << QByteArray("DE") << "+4922116423990"
        << "+49-221-16423990";
    QTest::newRow("old Brazilian trunk")
        << QByteArray("(021) 2233-7755") << QByteArray("BR") << "+552122337755"
        << "+55-21-2233-7755";
    QTest::newRow("invalid area code")
        << QByteArray("200-555-0187") << QByteArray() << QString() << QString();
    QTest::newRow("placeholder digits")
        << QByteArray("+7 000 000-00-01") << QByteArray() << QString() << QString();
    QTest::newRow("16 digits, over what E.164 allows")
        << QByteArray("+49 2122 3377552516") << QByteArray() << QString() << QString();
    QTest::newRow("21 digits") << QByteArray("+49 30 1234567 1234567890") << QByteArray()
                               << QString() << QString();
}

void TestFaxFinder::reading()
{
    QFETCH(QByteArray, written);
    QFETCH(QByteArray, region);
    QFETCH(QString, e164);
    QFETCH(QString, textForm);
    const PhoneReading r = readPhoneNumber(written, [&] { return region; });
    QCOMPARE(r.e164, e164);
    QCOMPARE(r.valid, !e164.isEmpty());
    QCOMPARE(r.textForm, textForm);
}

void TestFaxFinder::runs_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("written");

    QTest::newRow("separators, extension")
        << QByteArray("Tel: (512) 834-6770, ext. 2172") << QByteArrayList{"(512) 834-6770"};
    QTest::newRow("letters end a run")
        << QByteArray("Toll Free: 1855.FCD.GEMS or 212.869.3232") << QByteArrayList{"212.869.3232"};
    QTest::newRow("spaced slash, spaced dash")
        << QByteArray("Fax 0 61 51 / 405 -220") << QByteArrayList{"0 61 51/405-220"};
    QTest::newRow("old Brazilian carrier code")
        << QByteArray("Tel/fax: (0xx21) 2233-7755 / 2516-8595")
        << QByteArrayList{"(021) 2233-7755/2516-8595"};
    QTest::newRow("parentheses around the number")
        << QByteArray("faxed to (860.657.4276), scanned") << QByteArrayList{"(860.657.4276)"};
    QTest::newRow("+ then a space")
        << QByteArray("Fax:+ 91-11-25255056 Mobile") << QByteArrayList{"+91-11-25255056"};
    QTest::newRow("note in parentheses after")
        << QByteArray("FAX : 0986-36-7878(\xe5\xae\xae)") << QByteArrayList{"0986-36-7878"};
    QTest::newRow("too short") << QByteArray("Suite 1409, 10036") << QByteArrayList{};
    QTest::newRow("too long, whole")
        << QByteArray("Fax: " + QByteArray(1000, '9') + ", 212-555-0187")
        << QByteArrayList{"212-555-0187"};
    QTest::newRow("too long, in groups")
        << QByteArray("1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1 2 3") << QByteArrayList{};
}

void TestFaxFinder::runs()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, written);
    QByteArrayList got;
    for (const NumberRun &r : numberRuns(text, 0, text.size()))
        got << r.written;
    QCOMPARE(got, written);
}

void TestFaxFinder::notices_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<bool>("flagged");

    const QByteArray filler =
        QByteArray("<p>") + QByteArray("Our team is glad to help you. ").repeated(30) + "</p>";
    QTest::newRow("en, beside the number")
        << QByteArray("<body><p>Fax: 212-555-0187 (no unsolicited faxes, please)</p></body>")
        << true;
    QTest::newRow("en, junk faxes")
        << QByteArray("<body><p>Fax: 212-555-0187. We do not accept junk faxes.</p></body>")
        << true;
    QTest::newRow("de") << QByteArray("<html lang=\"de\"><body><p>Fax: 030 1234567 &ndash; bitte "
                                      "keine Werbefaxe</p></body></html>")
                        << true;
    QTest::newRow("fr") << QByteArray("<html lang=\"fr\"><body><p>Fax : 01 42 68 53 00 (pas de fax "
                                      "publicitaires)</p></body></html>")
                        << true;
    QTest::newRow("fr, without the word fax")
        << QByteArray("<html lang=\"fr\"><body><p>T\xc3\xa9l\xc3\xa9"
                      "copie : 01 42 68 53 00 "
                      "(aucune t\xc3\xa9l\xc3\xa9"
                      "copie publicitaire)</p></body></html>")
        << true;
    QTest::newRow("es") << QByteArray("<html lang=\"es\"><body><p>Fax: +34 91 123 45 67. No se "
                                      "aceptan faxes no solicitados.</p></body></html>")
                        << true;
    QTest::newRow("it") << QByteArray("<html lang=\"it\"><body><p>Fax: 06 1234 5678 (no fax "
                                      "pubblicitari)</p></body></html>")
                        << true;
    QTest::newRow("in the footer")
        << QByteArray("<body><p>Fax: 212-555-0187</p>" + filler +
                      "<footer>We accept no unsolicited advertising faxes.</footer></body>")
        << true;
    QTest::newRow("far away, not in the footer")
        << QByteArray("<body><p>Fax: 212-555-0187</p>" + filler + "<p>No unsolicited faxes.</p>" +
                      filler + "<footer>&copy; Acme</footer></body>")
        << false;
    QTest::newRow("unsolicited, but not faxes")
        << QByteArray("<body><p>Fax: 212-555-0187. No unsolicited e-mails, please.</p></body>")
        << false;
    QTest::newRow("another sentence")
        << QByteArray("<body><p>No unsolicited e-mails. Fax: 212-555-0187</p></body>") << false;
}

void TestFaxFinder::notices()
{
    QFETCH(QByteArray, html);
    QFETCH(bool, flagged);
    FinderInput in;
    in.allowInternational = true;
    const QList<FoundNumber> f = findFaxNumbers(html, in);
    QCOMPARE(f.size(), 1);
    QCOMPARE(f.first().noUnsolicitedFaxes, flagged);
}

void TestFaxFinder::evidence_keptWithEveryFind()
{
    const QByteArray filler = QByteArray("word ").repeated(100);
    FinderInput in;
    in.allowInternational = true;
    // A row too long for one text line: the fax line scan does not see the label.
    const QList<FoundNumber> f = findFaxNumbers("<html lang=\"de\"><body><p>" + filler +
                                                    "</p><table><tr><td>Telefax</td>"
                                                    "<td>0221 1642 3990</td><td>" +
                                                    filler + "</td></tr></table></body></html>",
                                                in);
    QCOMPARE(f.size(), 1);
    QCOMPARE(f[0].number, QStringLiteral("+49-221-16423990"));
    QCOMPARE(f[0].location, QStringLiteral("Unknown/International"));
    QCOMPARE(f[0].e164, QStringLiteral("+4922116423990"));
    QCOMPARE(f[0].countryCode, QStringLiteral("DE"));
    QCOMPARE(f[0].countryName, QStringLiteral("Germany"));
    QCOMPARE(f[0].label, QStringLiteral("Telefax"));
    QCOMPARE(f[0].how, QStringLiteral("previous-cell"));
    QCOMPARE(f[0].line, QStringLiteral("0221 1642 3990"));
    QVERIFY(f[0].context.contains(QStringLiteral("Telefax 0221 1642 3990")));
    QVERIFY(f[0].context.size() <= 200);

    // Structured data whose value runs past the page's text (an unclosed string in a
    // script of a page without a body): the evidence stays within its bound.
    const QList<FoundNumber> s =
        findFaxNumbers("<head><script type=\"application/ld+json\">{\"faxNumber\":\"" +
                           QByteArray(300, 'a') + "011 44 20 7946 0958</body>",
                       in);
    QCOMPARE(s.size(), 1);
    QCOMPARE(s[0].e164, QStringLiteral("+442079460958"));
    QVERIFY2(s[0].context.size() <= 200, qPrintable(QString::number(s[0].context.size())));
}

void TestFaxFinder::finderOff_isTheReferenceScan()
{
    // The reference's text forms, labels and lines; its one number per line and its cut
    // numbers included. Nothing else is found.
    const QByteArray page = "<html lang=\"de\"><body><p>Fax: 0221 1642 3990</p><p>Fax: "
                            "212.555.0187 Fax: 212.555.0199</p>"
                            "<table><tr><td>Fax:</td><td>212-555-0100</td></tr></"
                            "table><dl><dt>Fax</dt><dd><p>030 1234567</p></dd></dl></body></html>";
    FinderInput in;
    in.allowInternational = true;
    in.findBeyondFaxLine = false;
    const QList<FoundNumber> f = findFaxNumbers(page, in);
    QCOMPARE(f.size(), 3);
    QCOMPARE(f[0].number, QStringLiteral("+0221-1642-3990"));
    QCOMPARE(f[0].location, QStringLiteral("Unknown/International"));
    QCOMPARE(f[0].line, QStringLiteral("fax: 0221 1642 3990"));
    QCOMPARE(f[0].e164, QStringLiteral("+4922116423990")); // its E.164 form all the same
    QCOMPARE(f[1].number, QStringLiteral("1-212-555-0187"));
    QCOMPARE(f[2].number, QStringLiteral("1-212-555-0100"));
    QVERIFY(f[2].line.startsWith(QStringLiteral("fax:   212-555-0100")));
}

void TestFaxFinder::internationalOnlyWhenAllowed()
{
    const QByteArray page = "<html lang=\"de\"><body><p>Fax: +1 212 555 0187</p><p>Fax: 0221 1642 "
                            "3990</p></body></html>";
    // The reference drops "+1-212-555-0187" without the option; the finder reads it as the
    // North American number it is.
    QCOMPARE(found(page, QString(), false), QStringList{"+12125550187 label-before"});
    QCOMPARE(found(page, QString(), true),
             (QStringList{"+12125550187 reference", "+4922116423990 reference"}));
}

QTEST_GUILESS_MAIN(TestFaxFinder)
#include "tst_faxfinder.moc"
