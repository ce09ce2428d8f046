// Page analysis: the links and numbers a page body yields, without a store or a harvest;
// and the whole path over the real pages of the corpus.

#include "areacodetable.h"
#include "faxscan.h"
#include "pageanalysis.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTest>

namespace {

const QString kCorpus = QStringLiteral(VARNEL_CORPUS_DIR);

const PageAddress kPage{"h/a/b.htm", "h/a/"};

QStringList numbersOf(const PageFindings &f)
{
    QStringList out;
    for (const FoundNumber &n : f.numbers)
        out << n.number;
    return out;
}

QString label(int code)
{
    for (int i = 0; i < kAreaCodeCount; ++i) {
        if (kAreaCodeTable[i].code == code)
            return QString::fromLatin1(kAreaCodeTable[i].description);
    }
    return QStringLiteral("Unknown/International");
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The digits of a number; a US number loses its long-distance 1.
QByteArray digitsOf(const QByteArray &number)
{
    QByteArray d;
    for (char c : number) {
        if (c >= '0' && c <= '9')
            d += c;
    }
    if (number.startsWith("1-") && d.size() == 11)
        d.remove(0, 1);
    return d;
}

} // namespace

class TestPageAnalysis : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void links_everyLinkOfEveryLine();
    void numbers_withLabelAndLine();
    void numbers_withoutInternational_dropsThem();
    void numbers_laterFaxOnTheLine_referenceTakesTheFirst();
    void numbers_typographicReferences_everyLineScanned();
    void text_isWhatThePageFileKeeps();
    void numbers_finderOn_eachOnceWithEvidence();

    void realPages_convertAndScanWithoutFailing();
    void contactPages_findLabelledNumbers();
};

void TestPageAnalysis::links_everyLinkOfEveryLine()
{
    // LF, CR and CR LF line ends; two links on one line; a repeat (the harvest decides what
    // is new); skipped links.
    const PageFindings f = analysePage(
        "<a href=\"a.htm\">A</a>\n<a href='b.htm'>B</a> <a href=\"http://h2.com/x\">X</a>\r"
        "<a href=\"a.htm\">again</a><a href=\"#top\">t</a><a href=\"mailto:x@y.com\">m</a>\r\n"
        "<a href=\"/root.htm\">R</a><a href=\"../up.htm\">U</a>",
        kPage);
    QCOMPARE(f.links, (QStringList{QStringLiteral("h/a/a.htm"), QStringLiteral("h/a/b.htm"),
                                   QStringLiteral("h2.com/x"), QStringLiteral("h/a/a.htm"),
                                   QStringLiteral("h/root.htm"), QStringLiteral("h/up.htm")}));
    QVERIFY(f.numbers.isEmpty());
}

void TestPageAnalysis::numbers_withLabelAndLine()
{
    const PageFindings f = analysePage(
        "<html><title>Acme</title><body>\n<p>Fax: 212-555-0187<br>FAX 212-555-0187<br>"
        "Fax: +44 20 7946 0958</p>\n<table><tr><td>Fax</td><td>(617) 555-0100</td></tr></table>"
        "</body></html>",
        kPage);
    // Every line with a number, the repeat included.
    QCOMPARE(numbersOf(f),
             (QStringList{QStringLiteral("1-212-555-0187"), QStringLiteral("1-212-555-0187"),
                          QStringLiteral("+44-20-7946-0958"), QStringLiteral("1-617-555-0100")}));
    QCOMPARE(f.numbers.at(0).location, label(212));
    QCOMPARE(f.numbers.at(0).line, QStringLiteral("fax: 212-555-0187"));
    QCOMPARE(f.numbers.at(2).location, QStringLiteral("Unknown/International"));
    QCOMPARE(f.numbers.at(3).location, label(617));
    QVERIFY(f.numbers.at(3).line.contains(QLatin1String("(617) 555-0100")));
}

void TestPageAnalysis::numbers_withoutInternational_dropsThem()
{
    AnalysisOptions options;
    options.allowInternational = false;
    const PageFindings f =
        analysePage("<body>Fax: +44 20 7946 0958<br>Fax: 2125550187<br>Fax: 212-555-0187</body>",
                    kPage, options);
    QCOMPARE(numbersOf(f), QStringList{QStringLiteral("1-212-555-0187")});
}

// A later "fax" on the line of a number: the reference scan reads on through the deleted
// word, and takes the number before it (or, for a number without the US layout, a digit
// after it).
void TestPageAnalysis::numbers_laterFaxOnTheLine_referenceTakesTheFirst()
{
    PageFindings f = analysePage("<body>fax +1-614-333-5205 Fax 250.315.0232</body>", kPage);
    QCOMPARE(numbersOf(f), QStringList{QStringLiteral("1-614-333-5205")});
    f = analysePage("<body>Telefax: +44 20 7946 0161fax8367468634xxxx</body>", kPage);
    QCOMPARE(numbersOf(f), QStringList{QStringLiteral("+44-20-7946-0161-8")});
}

void TestPageAnalysis::numbers_typographicReferences_everyLineScanned()
{
    // References above 255 are everywhere today; they must not turn the page into one
    // unconverted line with at most one number.
    const PageFindings f =
        analysePage("<body><p>Smith &#8211; Jones&#8217;s office</p><p>Fax: 212-555-0187</p>"
                    "<p>Fax: 617-555-0100 &#9742;</p></body>",
                    kPage);
    QCOMPARE(numbersOf(f),
             (QStringList{QStringLiteral("1-212-555-0187"), QStringLiteral("1-617-555-0100")}));
}

void TestPageAnalysis::text_isWhatThePageFileKeeps()
{
    // The body loses its line breaks first; the text has no tags, and "fax" in lower case
    // begins its line.
    const QByteArray body = "<body>\r\n<p>Call us</p><p>FAX 212-\n555-0187</p></body>";
    const PageFindings f = analysePage(body, kPage);
    QCOMPARE(withoutLineBreaks(body),
             QByteArray("<body><p>Call us</p><p>FAX 212-555-0187</p></body>"));
    QVERIFY(f.text.contains("fax 212-555-0187"));
    QVERIFY(!f.text.contains('<'));
    QCOMPARE(analysePage(body, kPage, {}, withoutLineBreaks(body)).text, f.text);
}

void TestPageAnalysis::numbers_finderOn_eachOnceWithEvidence()
{
    const QByteArray body =
        "<html lang=\"en\"><body>\r\n<p>Fax: 212-555-0187<br>FAX 212-555-0187<br>"
        "Fax: +1-212-555-0187</p>\r\n<dl><dt>Telefax</dt><dd>+49 30 "
        "1234567</dd></dl></body></html>";
    AnalysisOptions options;
    options.findBeyondFaxLine = true;
    const PageFindings on = analysePage(body, kPage, options);
    // The page file keeps the same text either way.
    QCOMPARE(on.text, analysePage(body, kPage).text);
    QCOMPARE(numbersOf(on),
             (QStringList{QStringLiteral("1-212-555-0187"), QStringLiteral("+49-30-1234567")}));
    QCOMPARE(on.numbers.at(0).location, label(212));
    QCOMPARE(on.numbers.at(0).e164, QStringLiteral("+12125550187"));
    QCOMPARE(on.numbers.at(0).how, QStringLiteral("reference"));
    QCOMPARE(on.numbers.at(1).e164, QStringLiteral("+49301234567"));
    QCOMPARE(on.numbers.at(1).countryCode, QStringLiteral("DE"));
    QCOMPARE(on.numbers.at(1).label, QStringLiteral("Telefax"));
    QCOMPARE(on.numbers.at(1).how, QStringLiteral("term"));
    QVERIFY(on.numbers.at(1).context.contains(QLatin1String("+49 30 1234567")));
}

void TestPageAnalysis::realPages_convertAndScanWithoutFailing()
{
    const QDir dir(kCorpus + QStringLiteral("/real-pages"));
    const QStringList files = dir.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    if (files.isEmpty())
        QSKIP("the corpus of real pages is not there");
    int withBody = 0;
    int withLines = 0;
    for (const QString &name : files) {
        const QByteArray body = readAll(dir.filePath(name));
        const ConnectTarget where = connectTargetOf("example.com/" + QFile::encodeName(name));
        // As the second page file keeps it.
        const QByteArray text = analysePage(body, where.address()).text + "\r\n";
        if (body.size() > 4096 && (body.contains("<body") || body.contains("<BODY"))) {
            ++withBody;
            if (text.count("\r\n") > 10)
                ++withLines;
        }
    }
    // Pages with a body yield lines of text, not one unconverted line.
    QVERIFY(withBody > 80);
    QCOMPARE(withLines, withBody);
}

void TestPageAnalysis::contactPages_findLabelledNumbers()
{
    const QString dirPath = kCorpus + QStringLiteral("/contact-pages");
    const QByteArray truth = readAll(dirPath + QStringLiteral("/truth.tsv"));
    if (truth.isEmpty())
        QSKIP("the labelled contact pages are not there");
    int northAmerican = 0;
    int found = 0;
    QStringList strangers;
    for (const QByteArray &line : truth.split('\n')) {
        const QList<QByteArray> cols = line.split('\t');
        if (cols.size() < 4)
            continue;
        const QList<QByteArray> numbers = cols.at(2).split(';');
        const QList<QByteArray> countries = cols.at(3).split(';');
        QSet<QByteArray> labelled;
        QSet<QByteArray> labelledNorthAmerican;
        for (int k = 0; k < numbers.size(); ++k) {
            const QByteArray d = digitsOf(numbers.at(k).trimmed());
            if (d.isEmpty())
                continue;
            labelled << d;
            const QByteArray country =
                k < countries.size() ? countries.at(k).trimmed() : QByteArray();
            if (country == "US" || country == "CA")
                labelledNorthAmerican << (d.size() == 11 && d.startsWith('1') ? d.mid(1) : d);
        }
        northAmerican += int(labelledNorthAmerican.size());

        // Each number once, as the store keeps it.
        const PageFindings f = analysePage(
            readAll(dirPath + QLatin1Char('/') + QString::fromLatin1(cols.at(0))), kPage);
        QStringList taken;
        for (const FoundNumber &n : f.numbers) {
            if (!taken.contains(n.number))
                taken << n.number;
        }
        for (const QString &n : qAsConst(taken)) {
            const QByteArray d = digitsOf(n.toLatin1());
            if (labelledNorthAmerican.contains(d))
                ++found;
            // Every number taken is one the page labels as a fax number.
            if (!labelled.contains(d) && !labelled.contains("1" + d))
                strangers << QString::fromLatin1(cols.at(0)) + QLatin1Char(' ') + n;
        }
    }
    qInfo("North American fax numbers found: %d of %d labelled", found, northAmerican);
    // The rules are lexical: a number must follow its "fax" on the same text line of the
    // page's body. These pages have ten such numbers.
    QVERIFY(northAmerican >= 50);
    QVERIFY2(found >= 10, qPrintable(QString::number(found)));
    QVERIFY2(strangers.isEmpty(), qPrintable(strangers.join(QStringLiteral(", "))));
}

QTEST_GUILESS_MAIN(TestPageAnalysis)
#include "tst_pageanalysis.moc"
