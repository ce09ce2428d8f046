#include "linkselector.h"
#include "searchengines.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QTest>

using SearchEngines::Catalog;
using SearchEngines::Problem;

namespace {

// A small definition that reads, with a place for one change.
QByteArray definition(const QByteArray &request = "\"origin\": \"https://s.example\",\n"
                                                  "        \"first\": \"/s?q={terms}\"",
                      const QByteArray &reader = "\"results\": [\"li.r\"]",
                      const QByteArray &more = QByteArray())
{
    return "{\n"
           "    \"title\": \"Example\",\n"
           "    \"request\": {\n"
           "        " +
           request +
           "\n"
           "    },\n"
           "    \"reader\": {\n"
           "        " +
           reader + "\n    }" + (more.isEmpty() ? QByteArray() : ",\n    " + more) + "\n}\n";
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

HtmlScan::Path pathOf(const QString &html)
{
    // The elements around the one link of html.
    HtmlScan::Path found;
    static QString keep; // the views point into the text
    keep = html;
    HtmlScan::forEachLink(keep, [&found](const HtmlScan::Path &p, const HtmlScan::Element &,
                                         const QString &) { found = p; });
    return found;
}

} // namespace

// The engine definition files: what a definition that cannot be read is told by, which
// files override which, and the selectors that say where results stand.
class TestEngineDefinitions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    // The shipped definitions read whole, in the order of the engine list.
    void shipped_readWhole()
    {
        const Catalog &c = SearchEngines::shipped();
        for (const Problem &p : c.problems())
            qWarning("%s", qPrintable(p.text()));
        QVERIFY(c.problems().isEmpty());
        QStringList names;
        for (const SearchEngines::SearchEngine &e : c.engines())
            names << e.toolName;
        QCOMPARE(names, (QStringList{"google", "yahoo", "brave", "mojeek", "bing", "duckduckgo",
                                     "startpage", "ecosia"}));
        const SearchEngines::SearchEngine *bing = c.find(QStringLiteral("Bing"));
        QVERIFY(bing);
        QCOMPARE(bing->restFor(EngineRests::Kind::Captcha), 24 * 3600);
        QCOMPARE(bing->restFor(EngineRests::Kind::TooManyRequests), 3600);
        QCOMPARE(bing->restFor(EngineRests::Kind::Forbidden), 6 * 3600);
        QCOMPARE(bing->restFor(EngineRests::Kind::NoAnswer), 600);
    }

    void problems_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("what"); // a part of it
        QTest::newRow("no JSON") << QByteArray("{\n  \"title\": \"x\",\n  \"request\" {\n}") << 3
                                 << "no valid JSON";
        QTest::newRow("no object") << QByteArray("[1, 2]") << 1 << "one object";
        QTest::newRow("no title") << QByteArray("{\n  \"request\": {}\n}") << 1
                                  << "\"title\" is missing";
        QTest::newRow("unknown key")
            << definition("\"origin\": \"https://s.example\",\n        \"frist\": \"/s?q={terms}\"")
            << 5 << "request.frist: unknown key";
        QTest::newRow("origin with a path")
            << definition("\"origin\": \"https://s.example/search\",\n"
                          "        \"first\": \"/s?q={terms}\"")
            << 4 << "request.origin: must be a scheme and a host";
        QTest::newRow("unknown placeholder")
            << definition("\"origin\": \"https://s.example\",\n        \"first\": \"/s?q={term}\"")
            << 5 << "{term} is no placeholder";
        QTest::newRow("no terms")
            << definition("\"origin\": \"https://s.example\",\n        \"first\": \"/s?q=x\"") << 5
            << "must hold {terms}";
        QTest::newRow("body without POST")
            << definition("\"origin\": \"https://s.example\",\n        \"first\": \"/s\",\n"
                          "        \"firstBody\": \"q={terms}\"")
            << 6 << "needs \"method\": \"POST\"";
        QTest::newRow("header")
            << definition("\"origin\": \"https://s.example\",\n        \"first\": \"/s?q={terms}\","
                          "\n        \"headers\": [\"Accept: */*\", \"no colon\"]")
            << 6 << "request.headers[1]: a header is written";
        QTest::newRow("page size")
            << definition("\"origin\": \"https://s.example\",\n        \"first\": \"/s?q={terms}\","
                          "\n        \"pageSize\": 0")
            << 6 << "whole number from 1";
        QTest::newRow("page size beyond any integer")
            << definition("\"origin\": \"https://s.example\",\n        \"first\": \"/s?q={terms}\","
                          "\n        \"pageSize\": 1e300")
            << 6 << "whole number from 1";
        QTest::newRow("selector")
            << definition(QByteArray("\"origin\": \"https://s.example\",\n        \"first\": "
                                     "\"/s?q={terms}\""),
                          "\"results\": [\"li.r\",\n            \"div..g\"]")
            << 9 << "reader.results[1]: \"div..g\" is no selector";
        QTest::newRow("no results")
            << definition(QByteArray("\"origin\": \"https://s.example\",\n        \"first\": "
                                     "\"/s?q={terms}\""),
                          "\"own\": [\"s.example\"]")
            << 7 << "\"results\" must name";
        QTest::newRow("wrapper")
            << definition(QByteArray("\"origin\": \"https://s.example\",\n        \"first\": "
                                     "\"/s?q={terms}\""),
                          "\"results\": [\"li.r\"],\n        \"unwrap\": [{\"path\": \"/url\"}]")
            << 9 << "says where the address is";
        QTest::newRow("block kind")
            << definition(QByteArray("\"origin\": \"https://s.example\",\n        \"first\": "
                                     "\"/s?q={terms}\""),
                          "\"results\": [\"li.r\"]",
                          "\"blocked\": [\n        {\"text\": \"x\", \"reason\": \"y\", \"kind\": "
                          "\"captha\"}\n    ]")
            << 11 << "blocked[0].kind: must be \"captcha\"";
        QTest::newRow("rest time")
            << definition(QByteArray("\"origin\": \"https://s.example\",\n        \"first\": "
                                     "\"/s?q={terms}\""),
                          "\"results\": [\"li.r\"]", "\"rest\": {\"captcha\": \"one day\"}")
            << 10 << "rest.captcha: \"one day\" is no rest time";
    }

    // A definition that cannot be read is told by its line and what is wrong.
    void problems()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, line);
        QFETCH(QString, what);
        Problem p;
        QVERIFY(!SearchEngines::readDefinition(json, QStringLiteral("example"),
                                               QStringLiteral("/d/engines/example.json"), &p));
        QCOMPARE(p.line, line);
        QVERIFY2(p.what.contains(what), qPrintable(p.what));
        QVERIFY2(p.text().startsWith(QStringLiteral("/d/engines/example.json, line %1").arg(line)),
                 qPrintable(p.text()));
        QVERIFY(p.text().endsWith(QLatin1String("; the engine example is left out")));
    }

    void readsWhatItSays()
    {
        Problem p;
        const auto e = SearchEngines::readDefinition(
            definition("\"origin\": \"HTTPS://S.Example/\",\n        \"method\": \"POST\",\n"
                       "        \"first\": \"/s\",\n        \"firstBody\": \"q={terms}&p={page}\","
                       "\n        \"pageSize\": 20,\n        \"cookies\": [\"c=1\"],\n"
                       "        \"token\": {\"page\": \"/\", \"field\": \"sc\"}",
                       "\"results\": [\"li.r\"]",
                       "\"rest\": {\"captcha\": \"2d\", "
                       "\"noAnswer\": \"0\"}, \"order\": 3"),
            QStringLiteral("example"), QStringLiteral("example.json"), &p);
        QVERIFY2(e, qPrintable(p.text()));
        QCOMPARE(e->displayName, QStringLiteral("Example"));
        QCOMPARE(e->order, 3);
        QCOMPARE(e->origin, QStringLiteral("https://s.example"));
        const BrowserRequest r = e->request(QStringLiteral("a b"), 40);
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.url, QStringLiteral("https://s.example/s"));
        QCOMPARE(r.body, QByteArray("q=a+b&p=2"));
        QCOMPARE(r.cookies.value(0).first, QByteArray("c"));
        QCOMPARE(r.tokenPageUrl, QStringLiteral("https://s.example/"));
        QCOMPARE(e->restFor(EngineRests::Kind::Captcha), 2 * 86400);
        QCOMPARE(e->restFor(EngineRests::Kind::NoAnswer), 0);
        QCOMPARE(e->restFor(EngineRests::Kind::Forbidden), 6 * 3600);
    }

    // The data folder's files override the shipped ones of the same name and add others; a
    // file that cannot be read leaves its engine out and the others working.
    void dataFolder_overridesAndAdds()
    {
        TempDataDir data;
        const QString engines = SearchEngines::dataFolderOf(data.path());
        QFile bing(SearchEngines::shippedFolder() + QStringLiteral("/bing.json"));
        QVERIFY(bing.open(QIODevice::ReadOnly));
        QByteArray mine = bing.readAll();
        mine.replace("\"https://www.bing.com\"", "\"https://bing.mirror.example\"");
        writeFile(engines + QStringLiteral("/bing.json"), mine);
        writeFile(
            engines + QStringLiteral("/added.json"),
            definition("\"origin\": \"https://s.example\",\n        \"first\": \"/s?q={terms}\"",
                       "\"results\": [\"li.r\"]", "\"order\": 0"));
        writeFile(engines + QStringLiteral("/ecosia.json"), "{\n  \"title\": \"Ecosia\",\n}\n");
        writeFile(engines + QStringLiteral("/notes.txt"), "not a definition");

        const Catalog c = Catalog::load(data.path());
        QCOMPARE(c.problems().size(), 1);
        QCOMPARE(c.problems().first().file, engines + QStringLiteral("/ecosia.json"));
        QCOMPARE(c.problems().first().line, 3);
        QCOMPARE(c.problems().first().engine, QStringLiteral("ecosia"));
        QStringList names;
        for (const SearchEngines::SearchEngine &e : c.engines())
            names << e.toolName;
        QCOMPARE(names, (QStringList{"added", "google", "yahoo", "brave", "mojeek", "bing",
                                     "duckduckgo", "startpage"}));
        QCOMPARE(c.find(QStringLiteral("bing"))->origin,
                 QStringLiteral("https://bing.mirror.example"));
        QCOMPARE(c.find(QStringLiteral("bing"))->file, engines + QStringLiteral("/bing.json"));
        QCOMPARE(c.find(QStringLiteral("google"))->file,
                 SearchEngines::shippedFolder() + QStringLiteral("/google.json"));
    }

    // Two engines of one title could not be told apart in the engine list.
    void sameTitle_leftOut()
    {
        TempDataDir data;
        writeFile(SearchEngines::dataFolderOf(data.path()) + QStringLiteral("/twin.json"),
                  definition().replace("\"Example\"", "\"Bing\""));
        const Catalog c = Catalog::load(data.path());
        QVERIFY(!c.find(QStringLiteral("twin")));
        QCOMPARE(c.find(QStringLiteral("Bing"))->toolName, QStringLiteral("bing"));
        QCOMPARE(c.problems().size(), 1);
        QVERIFY(c.problems().first().what.contains(QLatin1String("that of the engine bing")));
    }

    void selectors_data()
    {
        QTest::addColumn<QString>("selector");
        QTest::addColumn<QString>("html"); // one link
        QTest::addColumn<bool>("encloses");
        const QString nested =
            QStringLiteral("<ol class=\"results main\"><li class=\"r\" id=\"x1\" data-type=\"web\">"
                           "<div class=\"w-gl__result-title\"><a href=\"h\">t</a></div></li></ol>");
        QTest::newRow("tag and class") << "li.r" << nested << true;
        QTest::newRow("class alone") << ".main" << nested << true;
        QTest::newRow("tag, any letter case") << "LI.r" << nested << true;
        QTest::newRow("class keeps its case") << "li.R" << nested << false;
        QTest::newRow("a class token, not a part") << ".resu" << nested << false;
        QTest::newRow("descendant order") << "ol.results li.r" << nested << true;
        QTest::newRow("descendant, wrong order") << "li.r ol.results" << nested << false;
        QTest::newRow("two classes") << "ol.results.main" << nested << true;
        QTest::newRow("id") << "#x1" << nested << true;
        QTest::newRow("attribute") << "li[data-type=web]" << nested << true;
        QTest::newRow("attribute, quoted") << "li[data-type=\"web\"]" << nested << true;
        QTest::newRow("attribute, other value") << "li[data-type=news]" << nested << false;
        QTest::newRow("attribute present") << "[data-type]" << nested << true;
        QTest::newRow("class contains") << "[class*=w-gl__result]" << nested << true;
        QTest::newRow("any tag") << "* .r" << nested << true;
        QTest::newRow("the link itself does not count") << "a" << nested << false;
    }
    void selectors()
    {
        QFETCH(QString, selector);
        QFETCH(QString, html);
        QFETCH(bool, encloses);
        QString error;
        const std::optional<LinkSelector> s = LinkSelector::parse(selector, &error);
        QVERIFY2(s, qPrintable(error));
        QCOMPARE(s->encloses(pathOf(html)), encloses);
    }

    void badSelectors_data()
    {
        QTest::addColumn<QString>("selector");
        QTest::addColumn<QString>("what");
        QTest::newRow("empty") << "  "
                               << "it is empty";
        QTest::newRow("empty class") << "div..g"
                                     << "a name must follow";
        QTest::newRow("open bracket") << "div[data-x"
                                      << "not closed";
        QTest::newRow("open quote") << "div[a=\"x]"
                                    << "not closed";
        QTest::newRow("star without =") << "div[a*x]"
                                        << "\"*\" must be followed";
        QTest::newRow("child combinator") << "ol > li"
                                          << "unexpected \">\"";
    }
    void badSelectors()
    {
        QFETCH(QString, selector);
        QFETCH(QString, what);
        QString error;
        QVERIFY(!LinkSelector::parse(selector, &error));
        QVERIFY2(error.contains(what), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestEngineDefinitions)
#include "tst_enginedefinitions.moc"
