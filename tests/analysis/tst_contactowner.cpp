// Whom a fax reaches, read from its page: each source of the organisation, the address and
// the main telephone, in the order a careful reader trusts them, and the finder off.

#include "faxfinder.h"
#include "ownerreader.h"

#include <QTest>

namespace {

ContactOwner ownerOf(const QByteArray &html, const QString &address = QString())
{
    FinderInput in;
    in.address = address;
    in.allowInternational = true;
    const QList<FoundNumber> found = findFaxNumbers(html, in);
    return found.isEmpty() ? ContactOwner() : found.first().owner;
}

} // namespace

class TestContactOwner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sources_data();
    void sources();
    void severalOffices_eachTheirOwn();
    void addressLines_data();
    void addressLines();
    void placeOfNumber_inThePagesLanguage();
    void finderOff_leavesTheOwnerEmpty();
    void storedNumbers_keepNoOwner();
    void droppedCandidates_sayWhy();
};

void TestContactOwner::sources_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QString>("organization");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("city");
    QTest::addColumn<QString>("phone");

    QTest::newRow("JSON-LD item that lists the fax")
        << QByteArray("<head><title>Welcome</title><script type=\"application/ld+json\">"
                      "{\"@type\":\"Dentist\",\"name\":\"Bright Smile Dental\",\"telephone\":"
                      "\"+1 212 555 0100\",\"faxNumber\":\"+1 212 555 0187\",\"address\":"
                      "{\"@type\":\"PostalAddress\",\"streetAddress\":\"5 Main St\","
                      "\"addressLocality\":\"New York\",\"addressRegion\":\"NY\"}}</script></head>"
                      "<body><p>Other text</p></body>")
        << "Bright Smile Dental"
        << "json-ld"
        << "New York"
        << "+12125550100";
    QTest::newRow("JSON-LD contact point: the organisation above it")
        << QByteArray("<head><script type=\"application/ld+json\">{\"@type\":\"Organization\","
                      "\"name\":\"Acme Tools GmbH\",\"contactPoint\":{\"@type\":\"ContactPoint\","
                      "\"contactType\":\"Sales\",\"faxNumber\":\"+49 30 1234567\"}}</script>"
                      "</head><body><p>Hallo</p></body>")
        << "Acme Tools GmbH"
        << "json-ld"
        << ""
        << "";
    QTest::newRow("microdata item around the number")
        << QByteArray("<body><div itemscope itemtype=\"https://schema.org/LocalBusiness\">"
                      "<h2 itemprop=\"name\">Rikar Plumbing</h2><div itemprop=\"address\" "
                      "itemscope itemtype=\"https://schema.org/PostalAddress\"><span "
                      "itemprop=\"addressLocality\">Portland</span></div>"
                      "<p>Phone: <span itemprop=\"telephone\">(503) 288-1929</span></p>"
                      "<p>Fax: (503) 288-8734</p></div></body>")
        << "Rikar Plumbing"
        << "microdata"
        << "Portland"
        << "+15032881929";
    QTest::newRow("hCard: org and locality")
        << QByteArray("<body><div class=\"vcard\"><span class=\"fn org\">Daily Legal News</span>"
                      "<div class=\"adr\"><span class=\"locality\">Cleveland</span></div>"
                      "<div class=\"tel\">(216) 696-3322</div><div class=\"tel\"><span "
                      "class=\"type\">fax</span> (216) 696-6329</div></div></body>")
        << "Daily Legal News"
        << "hcard"
        << "Cleveland"
        << "+12166963322";
    QTest::newRow("<address> element")
        << QByteArray("<body><address>Hedden Chong<br>104 Henning Drive<br>Burnaby, BC V5C 6P8"
                      "<br>Phone: (604) 320-5850<br>Fax: (604) 291-1601</address></body>")
        << "Hedden Chong"
        << "address"
        << "Burnaby"
        << "+16043205850";
    QTest::newRow("block: a legal form above the address")
        << QByteArray("<body><h2>Contact us</h2><p>Sunlec International Pty Ltd<br>31 Port Pirie "
                      "Street<br>Bibra Lake, Western Australia, 6163<br>Telephone: +61 8 9434 "
                      "1933<br>Fax: +61 8 9418 4800</p></body>")
        << "Sunlec International Pty Ltd"
        << "block"
        << "Bibra Lake"
        << "+61894341933";
    QTest::newRow("block: a person's name is no organisation; the site's name is")
        << QByteArray("<head><meta property=\"og:site_name\" content=\"Brewer Consulting\"></head>"
                      "<body><p>Chris Brewer<br>Office: 021 702 4484<br>Fax: 086 638 7688<br>"
                      "Email: chris@brewers.co.za</p></body>")
        << "Brewer Consulting"
        << "site-name"
        << ""
        << "+27217024484";
    QTest::newRow("footer line: name, address and numbers")
        << QByteArray(
               "<html lang=\"de\"><body><p>Landwirt Agrarmedien GmbH, Hofgasse 5, A-8011 "
               "Graz, Tel: 0043(0) 316/82 16 36, Fax: 0043(0) 316/83 56 12</p></body></html>")
        << "Landwirt Agrarmedien GmbH"
        << "block"
        << "Graz"
        << "+43316821636";
    QTest::newRow("the footer's copyright holder")
        << QByteArray("<body><p>Phone: 214.939.3636 Fax: 214.748.4579</p><footer><p>Copyright "
                      "&copy; 2016, D Magazine Partners, Inc. All Rights Reserved.</p></footer>"
                      "</body>")
        << "D Magazine Partners, Inc"
        << "copyright"
        << ""
        << "+12149393636";
    QTest::newRow("the title's name part, not its heading word")
        << QByteArray("<head><title>Contact Source One Auto Group | Used cars for sale</title>"
                      "</head><body><p>Main Phone: (215) 513-4100<br>Alt Phone: (484) 991-8154"
                      "<br>Fax Number: (484) 991-8379</p></body>")
        << "Source One Auto Group"
        << "title"
        << ""
        << "+12155134100";
    QTest::newRow("only a mail address names the business")
        << QByteArray("<body><p>Call Us</p><p>801-987-8351</p><p>Fax: 951-413-6537<br>"
                      "sales@boostpromotions.com</p></body>")
        << "boostpromotions.com"
        << "mail-domain"
        << ""
        << "+18019878351";
    QTest::newRow("free mail names no business")
        << QByteArray("<body><p>Fax: 310.378.4720<br>contactluckydawg@yahoo.com</p></body>") << ""
        << ""
        << ""
        << "";
    QTest::newRow("the city the geocoder confirms, without a postal code")
        << QByteArray("<body><p>Iptica<br>9 Kruger St<br>Johannesburg<br>T +27 (0)11 483 1439<br>"
                      "F +27 (0)86 627 0055</p></body>")
        << "Iptica"
        << "block"
        << "Johannesburg"
        << "+27114831439";
}

void TestContactOwner::sources()
{
    QFETCH(QByteArray, html);
    QFETCH(QString, organization);
    const ContactOwner o = ownerOf(html);
    QCOMPARE(o.organization, organization);
    QTEST(o.organizationFrom, "from");
    QTEST(o.city, "city");
    QTEST(o.phone, "phone");
}

void TestContactOwner::severalOffices_eachTheirOwn()
{
    const QByteArray html =
        "<body><h2>Contact</h2><h3>Public Health Region 1</h3><h4>Region 1 Asbestos</h4>"
        "<p>300 Victory Drive<br>Canyon, TX 79015<br>Phone: (806) 477-1132<br>Fax: (806) "
        "655-7159</p><h4>Region 1 Community Hygiene</h4><p>6302 Ioia Ave<br>Lubbock, TX "
        "79424<br>Phone: (806) 783-6491<br>Fax: (806) 783-6630</p></body>";
    FinderInput in;
    const QList<FoundNumber> found = findFaxNumbers(html, in);
    QCOMPARE(found.size(), 2);
    QCOMPARE(found[0].owner.organization, QStringLiteral("Public Health Region 1"));
    QCOMPARE(found[0].owner.unit, QStringLiteral("Region 1 Asbestos"));
    QCOMPARE(found[0].owner.city, QStringLiteral("Canyon"));
    QCOMPARE(found[0].owner.postalCode, QStringLiteral("79015"));
    QCOMPARE(found[0].owner.region, QStringLiteral("TX"));
    QCOMPARE(found[0].owner.street, QStringLiteral("300 Victory Drive"));
    QCOMPARE(found[0].owner.country, QStringLiteral("US"));
    QCOMPARE(found[0].owner.phone, QStringLiteral("+18064771132"));
    QCOMPARE(found[1].owner.unit, QStringLiteral("Region 1 Community Hygiene"));
    QCOMPARE(found[1].owner.city, QStringLiteral("Lubbock"));
    QCOMPARE(found[1].owner.phone, QStringLiteral("+18067836491"));
}

void TestContactOwner::addressLines_data()
{
    QTest::addColumn<QString>("lines"); // "\n" between lines
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("city");
    QTest::addColumn<QString>("postal");
    QTest::addColumn<QString>("street");

    QTest::newRow("US, suite before the place")
        << "750 North St.Paul St. Suite 2100 Dallas, Texas 75201"
        << "US"
        << "Dallas"
        << "75201"
        << "750 North St.Paul St. Suite 2100";
    QTest::newRow("US, a place named like a street")
        << "6640 S. Cicero Ave.\nBedford Park, IL 60638"
        << "US"
        << "Bedford Park"
        << "60638"
        << "6640 S. Cicero Ave.";
    QTest::newRow("Canada") << "420 Tapscott Road\nScarborough, ON M1B 1Y4"
                            << "CA"
                            << "Scarborough"
                            << "M1B 1Y4"
                            << "420 Tapscott Road";
    QTest::newRow("Germany") << "Venloer Straße 160,\n50823 Köln"
                             << "DE"
                             << "Köln"
                             << "50823"
                             << "Venloer Straße 160";
    QTest::newRow("Austria, country letter") << "Hofgasse 5, A-8011 Graz"
                                             << "AT"
                                             << "Graz"
                                             << "8011"
                                             << "Hofgasse 5";
    QTest::newRow("United Kingdom") << "Units 11-14,\nPark House Lane,\nSheffield,\nS9 1XA"
                                    << "GB"
                                    << "Sheffield"
                                    << "S9 1XA"
                                    << "Park House Lane";
    QTest::newRow("Brazil, CEP before the place") << "Cep 02408-130 – São Paulo"
                                                  << "BR"
                                                  << "São Paulo"
                                                  << "02408-130"
                                                  << "";
    QTest::newRow("India") << "A-4, Paschim Vihar, Rohtak Road, New Delhi – 110063 (INDIA)"
                           << "IN"
                           << "New Delhi"
                           << "110063"
                           << "A-4, Paschim Vihar, Rohtak Road";
    QTest::newRow("Japan") << "〒108-0075　東京都港区港南2-16-1"
                           << "JP"
                           << "港区"
                           << "108-0075"
                           << "";
    // The code's line alone names no region: the pattern reads it from the lines above.
    QTest::newRow("Australia, the state on the line above the code")
        << "12 Kent Street\nSydney NSW\n2000"
        << "AU"
        << "Sydney"
        << "2000"
        << "12 Kent Street";
    QTest::newRow("Canada, the country's name between province and code")
        << "100 King Street West\nToronto, ON\nCanada\nM5X 1A9"
        << "CA"
        << "Toronto"
        << "M5X 1A9"
        << "100 King Street West";
    QTest::newRow("a place before its country") << "Calle Doctor Defilló #4\nSanto Domingo, "
                                                   "República Dominicana"
                                                << "DO"
                                                << "Santo Domingo"
                                                << ""
                                                << "";
    QTest::newRow("a room number is no postal code") << "Room 2406\nCheung Tat Centre"
                                                     << "HK"
                                                     << ""
                                                     << ""
                                                     << "";
    QTest::newRow("a year in a copyright is no postal code") << "©2022 EDITORA DEL CARIBE C POR A"
                                                             << "DO"
                                                             << ""
                                                             << ""
                                                             << "";
}

void TestContactOwner::addressLines()
{
    QFETCH(QString, lines);
    QFETCH(QString, country);
    const AddressParts a = readAddress(lines.split(QLatin1Char('\n')), country);
    QTEST(a.city, "city");
    QTEST(a.postalCode, "postal");
    QTEST(a.street, "street");
    // Around the anchors the patterns read what they read over the whole text.
    const AddressParts slow = readAddressSlowly(lines.split(QLatin1Char('\n')), country);
    QCOMPARE(a.country, slow.country);
    QCOMPARE(a.region, slow.region);
    QCOMPARE(a.city, slow.city);
}

void TestContactOwner::placeOfNumber_inThePagesLanguage()
{
    QCOMPARE(placeOfNumber(QStringLiteral("+12125557680"), QStringLiteral("en")),
             QStringLiteral("New York, NY"));
    QCOMPARE(placeOfNumber(QStringLiteral("+4922116421411"), QStringLiteral("de")),
             QStringLiteral("Köln"));
    // Numbers of no place: North American toll-free and premium-rate lines, a Belgian
    // toll-free one whose first digits are a town's area code elsewhere in the plan.
    QCOMPARE(placeOfNumber(QStringLiteral("+18005550199"), QStringLiteral("en")), QString());
    QCOMPARE(placeOfNumber(QStringLiteral("+19005550199"), QStringLiteral("en")), QString());
    QCOMPARE(placeOfNumber(QStringLiteral("+3280012345"), QStringLiteral("en")), QString());
    // The geocoder as a check: the region of a North American number without an address.
    const ContactOwner o = ownerOf("<body><p>Fax: (212) 555-0187</p></body>");
    QCOMPARE(o.region, QStringLiteral("NY"));
    QCOMPARE(o.regionFrom, QStringLiteral("geocoder"));
    QCOMPARE(o.country, QStringLiteral("US"));
    QCOMPARE(o.countryFrom, QStringLiteral("number"));
}

void TestContactOwner::finderOff_leavesTheOwnerEmpty()
{
    FinderInput in;
    in.findBeyondFaxLine = false;
    const QList<FoundNumber> found = findFaxNumbers(
        "<body><p>Acme Corp Inc<br>Phone: 212-555-0100 Fax: 212-555-0187</p></body>", in);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().owner, ContactOwner());
}

// The harvest says which numbers it has stored: those get no owner (their rows keep the
// first page's), the others on the same page are read as before.
void TestContactOwner::storedNumbers_keepNoOwner()
{
    const QByteArray html =
        "<body><h2>Contact</h2><h3>Public Health Region 1</h3><h4>Region 1 Asbestos</h4>"
        "<p>300 Victory Drive<br>Canyon, TX 79015<br>Phone: (806) 477-1132<br>Fax: (806) "
        "655-7159</p><h4>Region 1 Community Hygiene</h4><p>6302 Ioia Ave<br>Lubbock, TX "
        "79424<br>Phone: (806) 783-6491<br>Fax: (806) 783-6630</p></body>";
    FinderInput in;
    QStringList asked;
    in.isStored = [&asked](const QString &e164) {
        asked << e164;
        return e164 == QLatin1String("+18066557159");
    };
    const QList<FoundNumber> found = findFaxNumbers(html, in);
    QCOMPARE(found.size(), 2);
    QCOMPARE(asked, QStringList({"+18066557159", "+18067836630"}));
    QCOMPARE(found[0].e164, QStringLiteral("+18066557159"));
    QCOMPARE(found[0].owner, ContactOwner());
    QCOMPARE(found[1].owner.unit, QStringLiteral("Region 1 Community Hygiene"));
    QCOMPARE(found[1].owner.city, QStringLiteral("Lubbock"));
    QCOMPARE(found[1].owner.phone, QStringLiteral("+18067836491"));
    // Every number stored: the numbers are the same, without owners.
    in.isStored = [](const QString &) { return true; };
    const QList<FoundNumber> again = findFaxNumbers(html, in);
    QCOMPARE(again.size(), 2);
    QCOMPARE(again[1].e164, found[1].e164);
    QCOMPARE(again[1].owner, ContactOwner());
}

void TestContactOwner::droppedCandidates_sayWhy()
{
    QList<DroppedNumber> dropped;
    FinderInput in;
    in.dropped = &dropped;
    // 555-0100 has an area code no plan assigns (111); the second is outside North America.
    const QList<FoundNumber> found =
        findFaxNumbers("<body><p>Fax: (111) 555-0100</p><p>Telefax: +44 20 7946 0958</p>"
                       "<p>Fax: 212-555-0187</p></body>",
                       in);
    QCOMPARE(found.size(), 1);
    QCOMPARE(dropped.size(), 2);
    QVERIFY2(dropped[0].reason.contains(QLatin1String("invalid")), qPrintable(dropped[0].reason));
    QVERIFY2(dropped[1].reason.contains(QLatin1String("not allowed")),
             qPrintable(dropped[1].reason));
}

QTEST_GUILESS_MAIN(TestContactOwner)
#include "tst_contactowner.moc"
