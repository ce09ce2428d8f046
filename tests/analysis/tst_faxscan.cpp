// The fax scan of text lines, the US layout test and the area code labels.

#include "areacode.h"
#include "areacodetable.h"
#include "faxscan.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

namespace {
const QByteArray kIntl("Unknown/International");

// The directory's description of a code, straight from the table.
QByteArray descriptionOf(int code)
{
    for (int i = 0; i < kAreaCodeCount; ++i) {
        if (kAreaCodeTable[i].code == code)
            return kAreaCodeTable[i].description;
    }
    return kIntl;
}
// An independent, literal reading of the fax line scan, step by step as the harvest's
// description words it, slow and plain: the oracle the scan is compared with. Answers the
// number (empty: none) and, in *digitsInAll, how many digits the candidate taken had.
QByteArray replaced(QByteArray text, const QByteArray &what, const QByteArray &by)
{
    return text.replace(what, by);
}

qsizetype findFax(const QByteArray &text)
{
    return text.toLower().indexOf("fax");
}

QByteArray withoutFax(const QByteArray &text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size();) {
        if (text.mid(i, 3).toLower() == "fax") {
            i += 3;
        } else {
            out += text[i];
            ++i;
        }
    }
    return out;
}

bool usLayout(const QByteArray &t)
{
    const qsizetype first = t.indexOf('-');
    return first == 3 && t.indexOf('-', 4) == 7;
}

QByteArray literalScan(QByteArray line, bool intl, int *digitsInAll)
{
    *digitsInAll = 0;
    line = replaced(line, "%40", "@");
    line = replaced(line, "%20", " ");
    line = replaced(line, "&lt;", "<");
    line = replaced(line, "&rt;", ">");
    while (findFax(line) >= 0) {
        QByteArray text = withoutFax(line.mid(findFax(line)));
        int digits = 0, letters = 0, all = 0;
        QByteArray candidate;
        qsizetype pos = 0;
        while (pos < text.size() && digits < 13 && letters < 7) {
            const char c = text[pos++];
            if (c >= '0' && c <= '9') {
                candidate += c;
                ++all;
                if (!(c == '1' && digits == 0))
                    ++digits;
            } else if ((c == ' ' || c == '-' || c == '.') && !candidate.isEmpty()) {
                candidate.replace(' ', '-').replace('.', '-');
                if (!candidate.endsWith('-'))
                    candidate += c;
            } else if (c == '+' && !candidate.contains('+')) {
                candidate += c;
            } else if (digits < 10 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
                ++letters;
            }
        }
        if (digits >= 9 && digits <= 13) {
            *digitsInAll = all;
            candidate.replace(' ', '-').replace('.', '-');
            for (int k = 0; k < 6; ++k)
                candidate.replace("--", "-");
            if (candidate.endsWith('-'))
                candidate.chop(1);
            if (candidate.startsWith('-'))
                candidate.remove(0, 1);
            QByteArray copy = candidate;
            bool prefix = false;
            if (copy.startsWith("1-")) {
                copy.remove(0, 2);
                prefix = true;
            } else if (copy.startsWith("+1-")) {
                copy.remove(0, 3);
                prefix = true;
            }
            if (usLayout(copy) && !copy.contains('+') && copy.size() != 12)
                candidate = (prefix ? "1-" : "") + copy.left(12);
            // The US test takes a leading "1-" off the candidate, whatever it answers.
            if (candidate.startsWith("1-"))
                candidate.remove(0, 2);
            QByteArray number;
            if (usLayout(candidate) && candidate.size() == 12)
                number = candidate.startsWith("1-") ? candidate : "1-" + candidate;
            else if (intl)
                number = candidate.contains('+') ? candidate : "+" + candidate;
            return letters <= 6 ? number : QByteArray();
        }
        if (pos >= text.size())
            return QByteArray();
        line = text.mid(pos);
    }
    return QByteArray();
}

} // namespace

class TestFaxScan : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void scanLine_data();
    void scanLine();
    void scanLine_takesWhatTheLiteralReadingTakes();
    void isUsFaxFormat_data();
    void isUsFaxFormat();
    void areaCodeLookup_data();
    void areaCodeLookup();
    void areaCodeLookup_removesPrefixFromCaller();
    void markFaxWords_data();
    void markFaxWords();
    void joinLines_keepsLoneLineFeeds();
    void textLines_endAtCarriageReturn();
};

void TestFaxScan::scanLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("intl");
    QTest::addColumn<QByteArray>("number"); // empty: nothing stored
    QTest::addColumn<int>("code");          // area code of the label; 0: "Unknown/International"

    auto row = [](const char *name, const QByteArray &line, bool intl, const QByteArray &number,
                  int code) { QTest::newRow(name) << line << intl << number << code; };
    row("parenthesised area code", "Fax: (212) 555-0187", false, "1-212-555-0187", 212);
    row("points", "Fax: 212.555.0187", false, "1-212-555-0187", 212);
    row("capitals, no space", "FAX:212-555-0187", false, "1-212-555-0187", 212);
    row("long-distance prefix", "Fax 1-800-555-0199", false, "1-800-555-0199", 800);
    row("prefix and parentheses", "Fax: 1 (800) 555-0199", false, "1-800-555-0199", 800);
    row("extension dropped", "Fax: 212 555 0187 ext 12", false, "1-212-555-0187", 212);
    row("spaced dashes", "Fax: 212 - 555 - 0187", false, "1-212-555-0187", 212);
    row("%20 separators", "Fax%20212%20555%200187", false, "1-212-555-0187", 212);
    row("few letters between", "Fax/Phone 212-555-0187", false, "1-212-555-0187", 212);
    row("second number cut at 13 digits", "Fax 212-555-0187 Phone 212-555-0100", false,
        "1-212-555-0187", 212);
    row("one number per line", "Phone: 212-555-0100 Fax: 212-555-0187 Fax: 212-555-0199", false,
        "1-212-555-0187", 212);
    row("+1 and extension", "Fax: +1 212 555 0187 x12", false, "1-212-555-0187", 212);
    row("+1- keeps its form, intl", "Fax: +1-212-555-0187", true, "+1-212-555-0187", 0);
    row("+1- dropped without intl", "Fax: +1-212-555-0187", false, "", 0);
    row("UK number, intl", "Fax: +44 20 7946 0958", true, "+44-20-7946-0958", 0);
    row("UK number dropped without intl", "Fax: +44 20 7946 0958", false, "", 0);
    row("ten digits run together, intl", "Fax: 2125550187", true, "+2125550187", 0);
    row("ten digits run together dropped", "Fax: 2125550187", false, "", 0);
    row("non-breaking spaces are no separators",
        "Fax: 212\xa0"
        "555\xa0"
        "0187",
        true, "+2125550187", 0);
    row("nine digits, intl", "Fax: 212-555-018", true, "+212-555-018", 0);
    row("seven digits", "Fax: 555-0187", true, "", 0);
    row("seventh letter ends the scan", "Fax: call us at 212-555-0187", true, "", 0);
    row("no fax", "Phone 212-555-0100", true, "", 0);
    row("Fairfax starts a scan", "Fairfax, VA 703-555-0187", false, "1-703-555-0187", 703);
    row("+55 nine digits takes the US layout", "Fax: +55 123 4567", false, "1-+55-123-4567", 0);
    row("1- is removed even when the layout fails", "Fax: 1-2125550187", true, "+2125550187", 0);
    row("parenthesis is no separator", "Fax: (212)555-0187", true, "+212555-0187", 0);
    row("%40 replaced before the scan", "Fax%40 212-555-0187", false, "1-212-555-0187", 212);
    row("&lt; replaced before the scan", "Fax &lt;&lt;&lt;&lt; 212-555-0187", false,
        "1-212-555-0187", 212);
    row("digits after the tenth ignore letters", "Fax 212-555-0187 abcdefghij", false,
        "1-212-555-0187", 212);
    row("six letters still store", "fax abcdef 212-555-0187", false, "1-212-555-0187", 212);
    row("letters around the fax", "ffaxax 212-555-0187", false, "1-212-555-0187", 212);
    // Every "fax" is deleted before the scan, so the second one starts no new candidate.
    row("a later fax after seven letters", "fax abcdefg, fax 212-555-0187", false, "", 0);

    // Long runs of digits: the scan stops at its 13th counted digit, and the number is what
    // those give.
    row("a thousand nines", "Fax: " + QByteArray(1000, '9'), true, "+9999999999999", 0);
    row("a million digits", "Fax: " + QByteArray(1000000, '5'), true, "+5555555555555", 0);
    row("21 digits", "Fax: 212555018721255501872", true, "+2125550187212", 0);
    row("21 digits with separators", "Fax: 212-555-0187 212.555.0187 2", true, "1-212-555-0187",
        212);
    row("two numbers, 20 digits, still a number", "Fax: 212-555-0187 212-555-0188", false,
        "1-212-555-0187", 212);
    row("three numbers in one run", "Fax: 212 555 0187 212 555 0188 212 555 0189", false,
        "1-212-555-0187", 212);
    row("long run behind letters is an extension", "Fax 212-555-0187 ref 1234567890123456789012",
        false, "1-212-555-0187", 212);
    row("long run after a short one, separated", "Fax: 12, " + QByteArray(30, '7'), true,
        "+12-777777777777", 0);
    // A later "fax" is deleted before the scan: the digits after it join the candidate, which
    // the US layout cuts back or which keeps them.
    row("a second fax number on the line", "fax +1-614-333-5205 Fax 250.315.0232", false,
        "1-614-333-5205", 614);
    row("a second fax number on the line, intl", "fax +1-614-333-5205 Fax 250.315.0232", true,
        "1-614-333-5205", 614);
    row("digits after a later fax, intl", "Tele fax: +44 20 7946 0161 fax8367468634xxxx", true,
        "+44-20-7946-0161-8", 0);
    row("digits after a later fax", "Tele fax: +44 20 7946 0161 fax8367468634xxxx", false, "", 0);
    // Only leading "1"s, which the scan does not count, make a candidate longer than 13
    // digits: up to 20 digits in all it is taken as ever, beyond that it is no number.
    row("twenty digits with leading ones", "Fax: 1111111111 212 555 0187", true,
        "+1111111111-212-555-0187", 0);
    row("21 digits with leading ones", "Fax: 11111111111 212 555 0187", true, "", 0);
    row("a million ones before a number", "Fax: " + QByteArray(1000000, '1') + " 212-555-0187",
        true, "", 0);
    row("a million ones and dashes before a number",
        "Fax: " + QByteArray("1-").repeated(500000) + " 212-555-0187", true, "", 0);
}

void TestFaxScan::scanLine()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, intl);
    QFETCH(QByteArray, number);
    QFETCH(int, code);
    const FaxFinding f = scanFaxLine(line, intl);
    QCOMPARE(f.found, !number.isEmpty());
    if (f.found) {
        QCOMPARE(f.number, number);
        QCOMPARE(f.label, code ? descriptionOf(code) : kIntl);
    }
}

// Lines of the contact pages and lines made of the scan's own characters at random: every
// one gives what the literal reading gives, but a candidate of more than 20 digits, which
// gives no number.
void TestFaxScan::scanLine_takesWhatTheLiteralReadingTakes()
{
    QList<QByteArray> lines;
    const QDir pages(QStringLiteral(VARNEL_CONTACT_PAGES));
    for (const QString &name : pages.entryList({QStringLiteral("*.html")}, QDir::Files)) {
        QFile f(pages.filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        forEachFaxLine(faxLineText(withoutLineBreaks(f.readAll())),
                       [&](QByteArrayView l) { lines << l.toByteArray(); });
    }
    QVERIFY(lines.size() > 50);
    const char *const pieces[] = {"fax", "Fax", "FAX", " ",    "-",        ".",           "+",
                                  "1",   "1",   "2",   "5",    "0",        "9",           "(",
                                  ")",   ":",   "a",   "x",    "ext",      "%20",         "&lt;",
                                  "%40", "/",   ",",   "\xa0", "11111111", "212-555-0187"};
    QRandomGenerator rng(22);
    for (int i = 0; i < 20000; ++i) {
        QByteArray l;
        const int n = int(rng.bounded(1, 40));
        for (int k = 0; k < n; ++k)
            l += pieces[rng.bounded(int(std::size(pieces)))];
        lines << l;
    }
    int numbers = 0;
    for (const QByteArray &line : qAsConst(lines)) {
        for (bool intl : {false, true}) {
            int digits = 0;
            const QByteArray expected = literalScan(line, intl, &digits);
            const FaxFinding f = scanFaxLine(line, intl);
            const QByteArray got = f.found ? f.number : QByteArray();
            QVERIFY2(got == (digits > 20 ? QByteArray() : expected),
                     qPrintable(QStringLiteral("%1 (intl %2): %3, the literal reading %4")
                                    .arg(QString::fromLatin1(line))
                                    .arg(intl)
                                    .arg(QString::fromLatin1(got), QString::fromLatin1(expected))));
            numbers += got.isEmpty() ? 0 : 1;
        }
    }
    QVERIFY(numbers > 1000);
}

void TestFaxScan::isUsFaxFormat_data()
{
    QTest::addColumn<QByteArray>("number");
    QTest::addColumn<bool>("us");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("US layout") << QByteArray("212-555-0187") << true << QByteArray("212-555-0187");
    QTest::newRow("with 1-") << QByteArray("1-212-555-0187") << true << QByteArray("212-555-0187");
    QTest::newRow("1- removed though false")
        << QByteArray("1-2125550187") << false << QByteArray("2125550187");
    QTest::newRow("letters pass") << QByteArray("+55-123-4567") << true
                                  << QByteArray("+55-123-4567");
    QTest::newRow("too long") << QByteArray("212-555-01870") << false
                              << QByteArray("212-555-01870");
}

void TestFaxScan::isUsFaxFormat()
{
    QFETCH(QByteArray, number);
    QFETCH(bool, us);
    QFETCH(QByteArray, after);
    QCOMPARE(IsUsFaxFormat(number), us);
    QCOMPARE(number, after);
}

void TestFaxScan::areaCodeLookup_data()
{
    QTest::addColumn<QByteArray>("number");
    QTest::addColumn<QByteArray>("label");
    QTest::newRow("212") << QByteArray("212-555-0187") << descriptionOf(212);
    QTest::newRow("1-212") << QByteArray("1-212-555-0187") << descriptionOf(212);
    QTest::newRow("Grenada without trailing space")
        << QByteArray("473-555-0187") << QByteArray("--  Grenada");
    QTest::newRow("+55 not listed") << QByteArray("+55-123-4567") << kIntl;
    QTest::newRow("+ sign accepted") << QByteArray("+212-555-0187") << descriptionOf(212);
    QTest::newRow("200 not listed") << QByteArray("200-555-0187") << kIntl;
    QTest::newRow("000 not listed") << QByteArray("000-555-0187") << kIntl;
    QTest::newRow("no dash") << QByteArray("2125550187") << kIntl;
    QTest::newRow("leading space is no code") << QByteArray(" 212-555-0187") << kIntl;
    QTest::newRow("beyond 16 bits") << QByteArray("99999-555") << kIntl;
    QTest::newRow("empty code") << QByteArray("-555-0187") << kIntl;
}

void TestFaxScan::areaCodeLookup()
{
    QFETCH(QByteArray, number);
    QTEST(AreaCodeLookup(number), "label");
}

void TestFaxScan::areaCodeLookup_removesPrefixFromCaller()
{
    QByteArray n = "1-212-555-0187";
    AreaCodeLookup(n);
    QCOMPARE(n, QByteArray("212-555-0187"));
}

void TestFaxScan::markFaxWords_data()
{
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("every case, written in lower case")
        << QByteArray("Tel FAX:1 Fax") << QByteArray("Tel \r\nfax:1 \r\nfax");
    QTest::newRow("one pass") << QByteArray("ffaxax") << QByteArray("f\r\nfaxax");
    QTest::newRow("none") << QByteArray("fa x") << QByteArray("fa x");
}

void TestFaxScan::markFaxWords()
{
    QFETCH(QByteArray, in);
    QTEST(::markFaxWords(in), "out");
}

void TestFaxScan::joinLines_keepsLoneLineFeeds()
{
    QCOMPARE(joinLines("a\r\nb\rc\nd\r\n"), QByteArray("abc\nd"));
}

void TestFaxScan::textLines_endAtCarriageReturn()
{
    const QByteArray text = "a\r\nb\rc\nd\r\n\r\nFax 1\r\nfax\rx\nFAX\r\n\nfax";
    QList<QByteArray> lines;
    forEachTextLine(text, [&](QByteArrayView l) { lines << l.toByteArray(); });
    QCOMPARE(lines, (QList<QByteArray>{"a", "b", "c\nd", "", "Fax 1", "fax", "x\nFAX", "\nfax"}));
    // Only the lines with "fax", cut the same way.
    QList<QByteArray> faxLines;
    forEachFaxLine(text, [&](QByteArrayView l) { faxLines << l.toByteArray(); });
    QCOMPARE(faxLines, (QList<QByteArray>{"Fax 1", "fax", "x\nFAX", "\nfax"}));
}

QTEST_GUILESS_MAIN(TestFaxScan)
#include "tst_faxscan.moc"
