#include "searchengines.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <QTest>

using SearchEngines::Outcome;
using Endings = DomainNames::Endings;

namespace {

struct PageRow
{
    QString file;
    QString engine; // "-": an engine that is not offered
    QString kind;   // results, blocked, noresults
    QStringList domains;
};

// tests/corpus/serp/expected.tsv: what each saved page is and its organic results.
QList<PageRow> corpusRows()
{
    QList<PageRow> rows;
    QFile f(QStringLiteral(VARNEL_SERP_CORPUS "/expected.tsv"));
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    bool header = true;
    for (const QByteArray &raw : f.readAll().split('\n')) {
        if (raw.startsWith('#') || raw.trimmed().isEmpty())
            continue;
        if (header) {
            header = false;
            continue;
        }
        const QList<QByteArray> cols = raw.split('\t');
        PageRow r;
        r.file = QString::fromUtf8(cols.value(0));
        r.engine = QString::fromUtf8(cols.value(1));
        r.kind = QString::fromUtf8(cols.value(2));
        r.domains = QString::fromUtf8(cols.value(3)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        rows.append(r);
    }
    return rows;
}

BrowserPage savedPage(const QString &file)
{
    QFile f(QStringLiteral(VARNEL_SERP_CORPUS "/") + file);
    BrowserPage page;
    if (!f.open(QIODevice::ReadOnly))
        return page;
    const QByteArray bytes = f.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    page.html = utf8.decode(bytes);
    if (utf8.hasError())
        page.html = QString::fromLatin1(bytes);
    return page;
}

// The names the reference endings can give: the organic domains that end in .com, .net
// or .org. A .gov result yields a name only on a line that also mentions one of those, and
// a deeper .gov host loses its ending to the first-label rule, so .gov results are not
// counted under the reference endings.
QStringList referenceEndingsOf(const QStringList &domains)
{
    QStringList out;
    for (const QString &d : domains) {
        if (d.count(QLatin1Char('.')) == 1 &&
            (d.endsWith(QLatin1String(".com")) || d.endsWith(QLatin1String(".net")) ||
             d.endsWith(QLatin1String(".org"))))
            out.append(d);
    }
    return out;
}

QStringList lowered(const QStringList &names)
{
    QStringList out;
    for (const QString &n : names)
        out.append(n.toLower());
    return out;
}

struct Figures
{
    int expected = 0;
    int found = 0;
    int names = 0;
    int notResults = 0;
};

Figures figuresOf(const QStringList &expected, const QStringList &names)
{
    Figures f;
    const QStringList got = lowered(names);
    f.expected = int(expected.size());
    f.names = int(got.size());
    for (const QString &d : expected)
        f.found += got.contains(d) ? 1 : 0;
    for (const QString &n : got)
        f.notResults += expected.contains(n) ? 0 : 1;
    return f;
}

// An engine of no reader: the signs every engine shares, for pages of engines that are
// not offered.
SearchEngines::SearchEngine anyEngine()
{
    SearchEngines::SearchEngine e;
    e.origin = QStringLiteral("https://search.example");
    return e;
}

} // namespace

// Every saved page read as its engine's page: result pages give their organic domains,
// block pages are told and give nothing, pages that found nothing give nothing.
class TestSerpCorpus : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY2(!corpusRows().isEmpty(), "tests/corpus/serp/expected.tsv"); }

    void page_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("domains");
        for (const PageRow &r : corpusRows())
            QTest::newRow(qPrintable(r.file)) << r.file << r.engine << r.kind << r.domains;
    }

    void page()
    {
        QFETCH(QString, file);
        QFETCH(QString, engine);
        QFETCH(QString, kind);
        QFETCH(QStringList, domains);
        const BrowserPage page = savedPage(file);
        QVERIFY(!page.html.isEmpty());

        if (engine == QLatin1String("-")) {
            // Not offered: the shared signs must tell its block pages, and must not take its
            // result pages for blocks (they carry block texts in their scripts).
            const auto v = SearchEngines::readPage(anyEngine(), page, Endings::Every);
            QCOMPARE(v.outcome == Outcome::Blocked, kind == QLatin1String("blocked"));
            QVERIFY(v.names.isEmpty());
            return;
        }

        const SearchEngines::SearchEngine *e = SearchEngines::find(engine);
        QVERIFY(e);
        for (const Endings endings : {Endings::Reference, Endings::Every}) {
            const auto v = SearchEngines::readPage(*e, page, endings);
            if (kind == QLatin1String("blocked")) {
                QCOMPARE(v.outcome, Outcome::Blocked);
                QVERIFY(!v.reason.isEmpty());
                QVERIFY(v.names.isEmpty());
                continue;
            }
            if (kind == QLatin1String("noresults")) {
                QCOMPARE(v.outcome, Outcome::NoResults);
                QVERIFY(v.names.isEmpty());
                continue;
            }
            QCOMPARE(v.outcome, Outcome::Results);
            const QStringList wanted =
                endings == Endings::Every ? domains : referenceEndingsOf(domains);
            const QStringList got = lowered(v.names);
            for (const QString &d : wanted)
                QVERIFY2(got.contains(d), qPrintable(d + QLatin1String(" not found in ") + file));
            // The reference reading keeps every link of the page, the engine's own and its
            // scripts' among them, exactly as before; only the other readings keep to the
            // results.
            if (e->referenceReading && endings == Endings::Reference)
                continue;
            const Figures f = figuresOf(wanted, v.names);
            QVERIFY2(f.notResults <= 1,
                     qPrintable(QStringLiteral("%1 names that are not results: %2")
                                    .arg(f.notResults)
                                    .arg(v.names.join(QLatin1Char(' ')))));
        }
    }

    // The goals, per engine and over all the result pages of the offered engines: at least
    // 95% of the organic domains found, at least 80% on every page, at most 10% of the
    // names of the added engines not results.
    void goals()
    {
        QMap<QString, Figures> byEngine;
        Figures all;
        Figures added;
        for (const PageRow &r : corpusRows()) {
            if (r.kind != QLatin1String("results") || r.engine == QLatin1String("-"))
                continue;
            const SearchEngines::SearchEngine *e = SearchEngines::find(r.engine);
            QVERIFY(e);
            const auto v = SearchEngines::readPage(*e, savedPage(r.file), Endings::Every);
            const Figures f = figuresOf(r.domains, v.names);
            QVERIFY2(f.found * 5 >= f.expected * 4, qPrintable(r.file));
            Figures &sum = byEngine[r.engine];
            for (Figures *t : {&sum, &all, e->referenceReading ? nullptr : &added}) {
                if (!t)
                    continue;
                t->expected += f.expected;
                t->found += f.found;
                t->names += f.names;
                t->notResults += f.notResults;
            }
        }
        for (auto it = byEngine.cbegin(); it != byEngine.cend(); ++it)
            qInfo("%-10s found %d of %d organic domains; %d of %d names not results",
                  qPrintable(it.key()), it->found, it->expected, it->notResults, it->names);
        QVERIFY(all.found * 100 >= all.expected * 95);
        QVERIFY(added.notResults * 10 <= added.names);
    }
};

QTEST_GUILESS_MAIN(TestSerpCorpus)
#include "tst_serpcorpus.moc"
