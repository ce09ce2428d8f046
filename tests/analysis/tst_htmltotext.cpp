// HtmlToText, DecodeEntities and RemoveSpaces: pages to the text lines the fax scan reads.

#include "entities.h"
#include "htmltotext.h"
#include "testenv.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <iterator>

namespace {
const QByteArray CRLF("\r\n");
const QByteArray PARA("\r\n\r\n");
} // namespace

class TestHtmlToText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }
    void convert_data();
    void convert();
    void rowLayout_data();
    void rowLayout();
    void wrap_data();
    void wrap();
    void unclosedTables_sameTextAsFullLookAheads();
    void anyBytes_sameTextAsByteByByte();
    void longLineWithoutWhitespace_convertsWhole();
    void numericReferencesAboveLatin1_neverStopTheConversion();
    void decodeEntities_data();
    void decodeEntities();
    void removeSpaces_data();
    void removeSpaces();
};

void TestHtmlToText::convert_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("no body: only the title and the row's line break")
        << QByteArray("<title>T</title><p>x</p><table><tr><td>a</td></tr></table>")
        << QByteArray("T" + PARA + CRLF);
    QTest::newRow("title kept as written, BR breaks the line")
        << QByteArray("<title>Acme  Fax</title><body>Phone<br>Fax: 212-555-0187</body>")
        << QByteArray("Acme  Fax" + PARA + "Phone" + CRLF + "Fax: 212-555-0187");
    QTest::newRow("other tags join text")
        << QByteArray("<body>a<div>b</div>c</body>") << QByteArray("abc");
    QTest::newRow("whitespace around tags")
        << QByteArray("<body>a <b>b</b> c</body>") << QByteArray("a b c");
    QTest::newRow("second P adds nothing")
        << QByteArray("<body>x<p>y<p><p>z</body>") << QByteArray("x" + PARA + "y" + PARA + "z");
    QTest::newRow("one character after the last tag is not converted")
        << QByteArray("<body>x<p>z") << QByteArray("x" + PARA);
    QTest::newRow("'>' as the last character still ends the tag")
        << QByteArray("<body>x<br>") << QByteArray("x" + CRLF);
    QTest::newRow("unterminated tag ends the conversion")
        << QByteArray("<body>x<br") << QByteArray("x");
    QTest::newRow("BR before any text, <br/> and <br /> write nothing")
        << QByteArray("<body><br>x<br/>y<br />z</body>") << QByteArray("xyz");
    QTest::newRow("entities") << QByteArray("<body>a&amp;b&quot;c&nbsp;d&copy e&&amp;f</body>")
                              << QByteArray("a&bc\xa0"
                                            "d&copy e&&f");
    QTest::newRow("nbsp is not whitespace")
        << QByteArray("<body>a&nbsp; b</body>") << QByteArray("a\xa0 b");
    QTest::newRow("script: P silent, BR and '-' still written")
        << QByteArray("<body>x<script>if(a)<p>y</p>-z<br>w</script>k</body>")
        << QByteArray("x-" + CRLF + "k");
    QTest::newRow("comment with digits and dashes writes nothing")
        << QByteArray("<body>a<!-- 212-555-0187 -->b</body>") << QByteArray("ab");
    QTest::newRow("'<' inside a comment starts no tag")
        << QByteArray("<body>a<!-- <br> x -->b</body>") << QByteArray("ab");
    QTest::newRow("comment before the body is dropped with the rest")
        << QByteArray("<!-- x --><body>a</body>") << QByteArray("a");
    QTest::newRow("'-' before any text is dropped")
        << QByteArray("<body>-a-</body>") << QByteArray("a-");
    QTest::newRow("control characters are whitespace, code 31 is dropped")
        << QByteArray("<body>a\tb\r\nc\x1f"
                      "d</body>")
        << QByteArray("a b cd");
    QTest::newRow("whitespace after a tag ending in a line break is swallowed")
        << QByteArray("<body>a<b> \nx</body>") << QByteArray("ax");
    QTest::newRow("whitespace after a tag ending in a space is kept")
        << QByteArray("<body>a<b>\n x</body>") << QByteArray("a x");
    QTest::newRow("ordered and bullet lists")
        << QByteArray("<body><ol><li>a<li>b</ol><ul><li>c</ul>z</body>")
        << QByteArray(PARA + CRLF + "1. a" + CRLF + "2. b" + PARA + PARA + CRLF + "\x95 c" + PARA +
                      "z");
    QTest::newRow("option") << QByteArray(
                                   "<body><select><option>One<option value=2>Two</select></body>")
                            << QByteArray("\r\n\tOne\r\n\tTwo");
    QTest::newRow("title copied up to the last position, which is not copied")
        << QByteArray("<title>abc") << QByteArray("ab" + PARA);
    QTest::newRow("title inside a script: copied without the paragraph break")
        << QByteArray("<body><script><title>t</title></script>x</body>") << QByteArray("tx");
    QTest::newRow("decoded 'lt' is text, not a tag")
        << QByteArray("<body>a&lt;br&gt;b</body>") << QByteArray("a<br>b");
    QTest::newRow("fax glued to a word is separated by the inserted line break")
        << QByteArray("<body>Tel 1 \r\nfax212-555-0187</body>")
        << QByteArray("Tel 1 fax212-555-0187");
}

void TestHtmlToText::convert()
{
    QFETCH(QByteArray, html);
    QFETCH(QByteArray, text);
    QCOMPARE(HtmlToText(html), text);
}

void TestHtmlToText::rowLayout_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QByteArray>("text");

    const QByteArray x70(70, 'x');
    QTest::newRow("short row on one line")
        << QByteArray("<body><table><tr><td>Fax</td><td>212-555-0187</td></tr></table></body>")
        << QByteArray(CRLF + "Fax   212-555-0187");
    QTest::newRow("long row: every cell on its own line")
        << QByteArray("<body><table><tr><td>Fax</td><td>" + x70 + "</td></tr></table></body>")
        << QByteArray(CRLF + CRLF + "Fax" + CRLF + x70);
    QTest::newRow("BR inside a cell makes the row long")
        << QByteArray("<body><table><tr><td>Fax<br>x</td><td>212</td></tr></table></body>")
        << QByteArray(CRLF + CRLF + "Fax" + CRLF + "x" + CRLF + "212");
    // The second TR is followed by whitespace: the remembered "/TR" of the first row's
    // look-ahead is tested at once and the long row counts as short.
    QTest::newRow("later TR before whitespace reuses the remembered /TR")
        << QByteArray("<body><table><tr><td>a</td></tr>\n<tr>\n<td>" + x70 +
                      "</td><td>y</td></tr></table></body>")
        << QByteArray(CRLF + "a" + CRLF + x70 + "   y");
    QTest::newRow("cell never closed ends the conversion at its row")
        << QByteArray("<body>a<table><tr><td>b<tr><td>c</table>d</body>") << QByteArray("a" + CRLF);
    // Rows without closing tags: each look-ahead runs to the row's "/TD".
    QTest::newRow("rows without closing TR")
        << QByteArray("<body><table><tr><td>a</td><td>b</td><tr><td>c</td></table></body>")
        << QByteArray(CRLF + "a   b" + CRLF + "c");
}

void TestHtmlToText::rowLayout()
{
    QFETCH(QByteArray, html);
    QFETCH(QByteArray, text);
    QCOMPARE(HtmlToText(html), text);
}

void TestHtmlToText::wrap_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QByteArray>("text");
    QByteArray words;
    for (int k = 0; k < 20; ++k)
        words += "aaaa ";
    // The 15th space brings the column to 75: the break follows it.
    QTest::newRow("break after the space reaching column 75")
        << QByteArray("<body>" + words + "</body>")
        << QByteArray(words.left(75) + CRLF + words.mid(75));
    QTest::newRow("a long word is never split")
        << QByteArray("<body>" + QByteArray(100, 'x') + " y</body>")
        << QByteArray(QByteArray(100, 'x') + " " + CRLF + "y");
}

void TestHtmlToText::wrap()
{
    QFETCH(QByteArray, html);
    QFETCH(QByteArray, text);
    QCOMPARE(HtmlToText(html), text);
}

void TestHtmlToText::unclosedTables_sameTextAsFullLookAheads()
{
    // Row look-aheads that overlap share what they learnt; the text must not change.
    static const char *const pieces[] = {"<tr>",
                                         "<TR class=x>",
                                         "</tr>",
                                         "<td>",
                                         "<td >",
                                         "<th>",
                                         "</td>",
                                         "< / td >",
                                         "<table>",
                                         "</table>",
                                         "<table border=1>",
                                         "<p>",
                                         "<br>",
                                         "<b>",
                                         "</b>",
                                         " ",
                                         "\n",
                                         "x",
                                         "Fax 212-555-0187",
                                         "0123456789012345678901234567890123456789",
                                         "<script>",
                                         "</script>",
                                         "-",
                                         "&amp;"};
    QRandomGenerator rng(7);
    for (int doc = 0; doc < 600; ++doc) {
        QByteArray html = "<body>";
        const int parts = 50 + int(rng.bounded(1500));
        // Some documents lean on rows and cells, so that walks get long.
        const int bias = int(rng.bounded(3));
        for (int k = 0; k < parts; ++k) {
            int pick = int(rng.bounded(int(std::size(pieces))));
            if (bias && rng.bounded(2))
                pick = int(rng.bounded(bias == 1 ? 4 : 8));
            html += pieces[pick];
        }
        html += "</body>";
        QCOMPARE(HtmlToText(html), HtmlToTextReference(html));
    }
}

void TestHtmlToText::anyBytes_sameTextAsByteByByte()
{
    // Every byte value, in runs of every length, inside and outside scripts and comments.
    QRandomGenerator rng(11);
    for (int doc = 0; doc < 400; ++doc) {
        QByteArray html = "<body>";
        const int len = 1 + int(rng.bounded(3000));
        for (int k = 0; k < len; ++k) {
            const quint32 r = rng.bounded(100);
            if (r < 60)
                html += char('a' + rng.bounded(26));
            else if (r < 75)
                html += ' ';
            else if (r < 77)
                html += doc % 3 ? "<br>" : "<script>";
            else if (r < 78)
                html += doc % 2 ? "<!-- " : " -->";
            else
                html += char(rng.bounded(256));
        }
        QCOMPARE(HtmlToText(html), HtmlToTextReference(html));
    }
}

void TestHtmlToText::longLineWithoutWhitespace_convertsWhole()
{
    // Beyond the range of a 16-bit column counter.
    const QByteArray word(40000, 'x');
    QCOMPARE(HtmlToText("<body>" + word + " Fax: 212-555-0187</body>"),
             QByteArray(word + " " + CRLF + "Fax: 212-555-0187"));
}

void TestHtmlToText::numericReferencesAboveLatin1_neverStopTheConversion()
{
    // Typographic quotes and dashes give their Windows-1252 bytes; others vanish. The
    // text after them is still converted line by line.
    const QByteArray html =
        "<body>Smith&#8217;s &#8211; &#x41;&#99999;ok<br>Fax: 212-555-0187</body>";
    QCOMPARE(HtmlToText(html), QByteArray("Smith\x92s \x96 ok" + CRLF + "Fax: 212-555-0187"));
}

void TestHtmlToText::decodeEntities_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("amp") << QByteArray("amp") << QByteArray("&");
    QTest::newRow("AMP") << QByteArray("AMP") << QByteArray("&");
    QTest::newRow("Amp") << QByteArray("Amp") << QByteArray("&");
    QTest::newRow("quot gives nothing") << QByteArray("quot") << QByteArray();
    QTest::newRow("lt") << QByteArray("lt") << QByteArray("<");
    QTest::newRow("gt") << QByteArray("gt") << QByteArray(">");
    QTest::newRow("#169") << QByteArray("#169") << QByteArray("\xa9");
    QTest::newRow("169 without #") << QByteArray("169") << QByteArray("\xa9");
    QTest::newRow("65") << QByteArray("65") << QByteArray("A");
    QTest::newRow("#0") << QByteArray("#0") << QByteArray(1, '\0');
    QTest::newRow("#150 in range") << QByteArray("#150") << QByteArray("\x96");
    QTest::newRow("#8217 right quote") << QByteArray("#8217") << QByteArray("\x92");
    QTest::newRow("#8211 en dash") << QByteArray("#8211") << QByteArray("\x96");
    QTest::newRow("#8364 euro") << QByteArray("#8364") << QByteArray("\x80");
    QTest::newRow("#376 Y diaeresis") << QByteArray("#376") << QByteArray("\x9f");
    QTest::newRow("#8230 ellipsis") << QByteArray("#8230") << QByteArray("\x85");
    QTest::newRow("#9731 not in the code page") << QByteArray("#9731") << QByteArray();
    QTest::newRow("#-1") << QByteArray("#-1") << QByteArray();
    QTest::newRow("#+65 sign makes a name") << QByteArray("#+65") << QByteArray();
    QTest::newRow("6.5 point makes a name") << QByteArray("6.5") << QByteArray();
    QTest::newRow("huge number") << QByteArray("#99999999999999999999") << QByteArray();
    QTest::newRow("#x41 hexadecimal") << QByteArray("#x41") << QByteArray();
    QTest::newRow("Eth") << QByteArray("Eth") << QByteArray("\xd0");
    QTest::newRow("eth") << QByteArray("eth") << QByteArray("\xf0");
    QTest::newRow("Thorn") << QByteArray("Thorn") << QByteArray("\xde");
    QTest::newRow("eacute") << QByteArray("eacute") << QByteArray("\xe9");
    QTest::newRow("EACUTE") << QByteArray("EACUTE") << QByteArray("\xc9");
    QTest::newRow("eAcute") << QByteArray("eAcute") << QByteArray("\xc9");
    QTest::newRow("YUML single code") << QByteArray("YUML") << QByteArray("\xff");
    QTest::newRow("NBSP single code") << QByteArray("NBSP") << QByteArray("\xa0");
    QTest::newRow("supl") << QByteArray("supl") << QByteArray("\xb9");
    QTest::newRow("sup1 is not a name") << QByteArray("sup1") << QByteArray();
    QTest::newRow("#amp") << QByteArray("#amp") << QByteArray("&");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("hellip") << QByteArray("hellip") << QByteArray();
    QTest::newRow("euro") << QByteArray("euro") << QByteArray();
}

void TestHtmlToText::decodeEntities()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, text);
    QCOMPARE(DecodeEntities(name), text);
}

void TestHtmlToText::removeSpaces_data()
{
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("spaces only") << QByteArray("  ") << QByteArray();
    QTest::newRow("other whitespace stays") << QByteArray(" / T D\t") << QByteArray("/TD\t");
}

void TestHtmlToText::removeSpaces()
{
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, out);
    QCOMPARE(RemoveSpaces(in), out);
}

QTEST_GUILESS_MAIN(TestHtmlToText)
#include "tst_htmltotext.moc"
