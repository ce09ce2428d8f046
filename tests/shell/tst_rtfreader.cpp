// The help document reader: our own document, the subset it uses, and input it must survive.

#include "rtfreader.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>
#include <QtTest>

namespace {
// The format of the first fragment holding needle.
QTextCharFormat formatOf(const QTextDocument &doc, const QString &needle, bool *found)
{
    *found = false;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.text().contains(needle)) {
                *found = true;
                return f.charFormat();
            }
        }
    }
    return QTextCharFormat();
}

QTextBlock blockWith(const QTextDocument &doc, const QString &needle)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (b.text().contains(needle))
            return b;
    }
    return QTextBlock();
}
} // namespace

class TestRtfReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void ownHelpDocument_readsHeadingsBulletsAndText();
    void subset_data();
    void subset();
    void formatting_boldItalicUnderlineSize();
    void bullets_becomeOneList();
    void hyperlink_resultTextCarriesTheAddress();
    void degrades_data();
    void degrades();
    void damagedInput_neverFailsOrHangs();
};

void TestRtfReader::ownHelpDocument_readsHeadingsBulletsAndText()
{
    QFile f(QStringLiteral(VARNEL_SOURCE_DIR "/resources/Help.rtf"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QTextDocument doc;
    QVERIFY(readRtf(f.readAll(), &doc));
    const QString text = doc.toPlainText();

    // What the document must tell a user, and nothing of its markup.
    for (const char *must : {"How a harvest works", "Follow redirects (HTTPS)", "CSV (all columns)",
                             "varnel.mdb", "SQLite", "--data-dir", "Sites Scanned:", "Historically",
                             "Show at Startup", "301, 302, 303, 307 or 308", "5 hops"}) {
        QVERIFY2(text.contains(QLatin1String(must)), must);
    }
    QVERIFY(!text.contains(QLatin1Char('\\')));
    QVERIFY(!text.contains(QLatin1Char('{')));
    QVERIFY(!text.contains(QLatin1String("Monospace")));               // the font table is not text
    QVERIFY(!text.contains(QLatin1String("Quorvex Fax Varnel Help"))); // nor is the info group
    QVERIFY(text.contains(QStringLiteral("\u201Cfax\u201D")));         // \ldblquote ... \rdblquote

    bool found = false;
    const QTextCharFormat heading = formatOf(doc, QStringLiteral("Exporting the numbers"), &found);
    QVERIFY(found);
    QCOMPARE(heading.fontWeight(), int(QFont::Bold));
    QCOMPARE(heading.fontPointSize(), 14.0);

    const QTextBlock bullet = blockWith(doc, QStringLiteral("Tab Delimited (^t)"));
    QVERIFY(bullet.isValid());
    QVERIFY(bullet.textList());
    QCOMPARE(bullet.textList()->format().style(), QTextListFormat::ListDisc);
    QVERIFY(!bullet.text().startsWith(QChar(0x2022))); // the fallback bullet text is not doubled
    QVERIFY(!blockWith(doc, QStringLiteral("Every option is saved")).textList());
}

void TestRtfReader::subset_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("paragraphs");

    QTest::newRow("paragraphs") << QByteArray("{\\rtf1 one\\par two\\par}")
                                << QStringLiteral("one\ntwo") << 2;
    QTest::newRow("line break stays in its paragraph")
        << QByteArray("{\\rtf1 a\\line b\\tab c}") << QStringLiteral("a\nb\tc") << 1;
    QTest::newRow("escaped braces and backslash")
        << QByteArray("{\\rtf1 \\{x\\} \\\\y}") << QStringLiteral("{x} \\y") << 1;
    QTest::newRow("hex escape in Windows-1252")
        << QByteArray("{\\rtf1 caf\\'e9 \\'80 \\'93q\\'94}")
        << QStringLiteral("caf\u00E9 \u20AC \u201Cq\u201D") << 1;
    QTest::newRow("unicode with fallback skipped")
        << QByteArray("{\\rtf1 \\u8364?5 \\uc2\\u-3913??x}") << QStringLiteral("\u20AC5 \uF0B7x")
        << 1;
    QTest::newRow("unicode fallback as hex escape")
        << QByteArray("{\\rtf1 \\u233\\'e9!}") << QStringLiteral("\u00E9!") << 1;
    QTest::newRow("named symbols") << QByteArray("{\\rtf1 \\bullet\\emdash\\lquote a\\rquote}")
                                   << QStringLiteral("\u2022\u2014\u2018a\u2019") << 1;
    QTest::newRow("control word ends at the space")
        << QByteArray("{\\rtf1\\b bold\\b0  plain}") << QStringLiteral("bold plain") << 1;
    QTest::newRow("source line breaks are not text")
        << QByteArray("{\\rtf1 a\r\nb\nc}") << QStringLiteral("abc") << 1;
}

void TestRtfReader::subset()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QFETCH(int, paragraphs);
    QTextDocument doc;
    QVERIFY(readRtf(rtf, &doc));
    QCOMPARE(doc.toPlainText(), text);
    QCOMPARE(doc.blockCount(), paragraphs);
}

void TestRtfReader::formatting_boldItalicUnderlineSize()
{
    QTextDocument doc;
    readRtf("{\\rtf1\\fs20 small {\\b\\i\\ul\\fs40 big} after\\plain  reset}", &doc);
    bool found = false;
    QTextCharFormat f = formatOf(doc, QStringLiteral("big"), &found);
    QVERIFY(found);
    QCOMPARE(f.fontWeight(), int(QFont::Bold));
    QVERIFY(f.fontItalic());
    QVERIFY(f.fontUnderline());
    QCOMPARE(f.fontPointSize(), 20.0);
    // The group's formatting ends with the group.
    f = formatOf(doc, QStringLiteral("after"), &found);
    QVERIFY(found);
    QCOMPARE(f.fontWeight(), int(QFont::Normal));
    QVERIFY(!f.fontItalic());
    QCOMPARE(f.fontPointSize(), 10.0);
    f = formatOf(doc, QStringLiteral("reset"), &found);
    QCOMPARE(f.fontPointSize(), 12.0);
}

void TestRtfReader::bullets_becomeOneList()
{
    QTextDocument doc;
    readRtf("{\\rtf1\\pard first\\par"
            "{\\pntext\\'95\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'95}}\\fi-360\\li720 one\\par"
            "{\\pntext\\'95\\tab}two\\par"
            "\\pard\\qc last\\par}",
            &doc);
    QCOMPARE(doc.toPlainText(), QStringLiteral("first\none\ntwo\nlast"));
    const QTextBlock one = blockWith(doc, QStringLiteral("one"));
    const QTextBlock two = blockWith(doc, QStringLiteral("two"));
    QVERIFY(one.textList());
    QCOMPARE(one.textList(), two.textList());
    QCOMPARE(one.textList()->count(), 2);
    QVERIFY(!blockWith(doc, QStringLiteral("first")).textList());
    const QTextBlock last = blockWith(doc, QStringLiteral("last"));
    QVERIFY(!last.textList());
    QCOMPARE(last.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
}

void TestRtfReader::hyperlink_resultTextCarriesTheAddress()
{
    QTextDocument doc;
    readRtf("{\\rtf1 see {\\field{\\*\\fldinst{HYPERLINK "
            "\"http://www.example.org/a\"}}{\\fldrslt{the site}}} now}",
            &doc);
    QCOMPARE(doc.toPlainText(), QStringLiteral("see the site now"));
    bool found = false;
    const QTextCharFormat f = formatOf(doc, QStringLiteral("the site"), &found);
    QVERIFY(found);
    QVERIFY(f.isAnchor());
    QCOMPARE(f.anchorHref(), QStringLiteral("http://www.example.org/a"));
    QVERIFY(!formatOf(doc, QStringLiteral("now"), &found).isAnchor());
}

void TestRtfReader::degrades_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("isRtf");
    QTest::addColumn<QString>("text");

    QTest::newRow("unknown control words keep their text")
        << QByteArray("{\\rtf1\\frobnicate42 hello \\zork-7 world\\par}") << true
        << QStringLiteral("hello world");
    QTest::newRow("unknown ignorable destination skipped")
        << QByteArray("{\\rtf1 a{\\*\\newthing secret {nested} stuff}b}") << true
        << QStringLiteral("ab");
    QTest::newRow("picture, colour table, stylesheet skipped")
        << QByteArray("{\\rtf1{\\colortbl;\\red0\\green0\\blue0;}{\\stylesheet{\\s1 Heading;}}"
                      "x{\\pict\\pngblip 89504e47}y}")
        << true << QStringLiteral("xy");
    QTest::newRow("table degrades to text")
        << QByteArray("{\\rtf1\\trowd\\cellx1000 a\\cell b\\cell\\row}") << true
        << QStringLiteral("a\tb\t");
    QTest::newRow("binary data skipped by count")
        << QByteArray("{\\rtf1 a\\bin3 {}\\b}") << true << QStringLiteral("ab");
    QTest::newRow("text after the last brace ignored")
        << QByteArray("{\\rtf1 in} out") << true << QStringLiteral("in");
    QTest::newRow("plain text shown as it is")
        << QByteArray("Just text\nwith {braces} \\ and lines") << false
        << QStringLiteral("Just text\nwith {braces} \\ and lines");
    QTest::newRow("plain UTF-8") << QByteArray("na\xC3\xAFve") << false
                                 << QStringLiteral("na\u00EFve");
    QTest::newRow("plain Windows-1252")
        << QByteArray("na\xEFve \x80") << false << QStringLiteral("na\u00EFve \u20AC");
}

void TestRtfReader::degrades()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, isRtf);
    QFETCH(QString, text);
    QTextDocument doc;
    QCOMPARE(readRtf(input, &doc), isRtf);
    QCOMPARE(doc.toPlainText(), text);
}

void TestRtfReader::damagedInput_neverFailsOrHangs()
{
    QList<QByteArray> inputs = {
        QByteArray(),
        QByteArray("{\\rtf"),
        QByteArray("{\\rtf1 \\"),
        QByteArray("{\\rtf1 \\'"),
        QByteArray("{\\rtf1 \\'4"),
        QByteArray("{\\rtf1 \\'zz text"),
        QByteArray("{\\rtf1 }}}}}} more"),
        QByteArray("{\\rtf1 \\u"),
        QByteArray("{\\rtf1 \\u99999999999999999999 x}"),
        QByteArray("{\\rtf1 \\uc2147483647\\u65 abc}"),
        QByteArray("{\\rtf1 \\bin2147483647 x}"),
        QByteArray("{\\rtf1 \\bin-5 x}"),
        QByteArray("{\\rtf1 \\fs999999999 big \\fs-4 neg \\li-99999999\\fi99999999 x\\par}"),
        QByteArray("{\\rtf1 {\\*\\pn\\pnlvlblt \\par x}}"),
        QByteArray("{\\rtf1 {\\fldinst HYPERLINK \"unterminated}} x}"),
        QByteArray("{\\rtf1 ") + QByteArray(100000, '{') + "deep" + QByteArray(100000, '}'),
        QByteArray("{\\rtf1 \\") + QByteArray(5000, 'a') + " after}",
        QByteArray("{\\rtf1 ") + QByteArray(20000, '\\') + "}",
        QByteArray("{\\rtf1 a\0b}", 11),
    };
    // Random mutations of a small document: whatever the bytes, the reader returns.
    const QByteArray seed(
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Sans;}}\\pard\\b Title\\b0\\par"
        "{\\pntext\\'95\\tab}{\\*\\pn\\pnlvlblt}\\fi-360\\li720 item \\u8364?\\par}");
    QRandomGenerator rng(20260101);
    for (int i = 0; i < 300; ++i) {
        QByteArray m = seed;
        for (int k = 0; k < 6; ++k)
            m[int(rng.bounded(int(m.size())))] = char(rng.bounded(256));
        inputs.append(m);
    }
    for (const QByteArray &in : std::as_const(inputs)) {
        QTextDocument doc;
        readRtf(in, &doc);
        QVERIFY(doc.characterCount() >= 1);
    }
    QTextDocument doc;
    readRtf(inputs.at(15), &doc);
    QCOMPARE(doc.toPlainText(), QStringLiteral("deep"));
}

QTEST_MAIN(TestRtfReader)
#include "tst_rtfreader.moc"
