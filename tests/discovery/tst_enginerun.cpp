#include "enginerests.h"
#include "fakesearchengine.h"
#include "httpbrowser.h"
#include "listbuildertestkit.h"
#include "options.h"
#include "searchengines.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

namespace {

using Reply = FakeSearchEngine::Reply;
using Request = FakeSearchEngine::Request;

QStringList links(const QString &prefix, int n)
{
    return FakeSearchEngine::numberedLinks(prefix, 0, n);
}

QStringList names(const QString &prefix, int n)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << QStringLiteral("%1%2.com").arg(prefix).arg(i);
    return out;
}

Reply page(const QString &html)
{
    Reply r;
    r.headers = "Content-Type: text/html; charset=utf-8\r\n";
    r.body = html.toUtf8();
    return r;
}

Reply status(const QByteArray &line)
{
    Reply r;
    r.status = line;
    r.body = "<html><body>No.</body></html>";
    return r;
}

// A refusal of an engine, by a short name the tests' tables use.
Reply refusalReply(const QString &kind, const QString &engine)
{
    if (kind == QLatin1String("captcha redirect")) {
        Reply r;
        r.status = "302 Found";
        r.headers = "Location: /" + engine.toLatin1() + "/sp/captcha?r=1\r\n";
        return r;
    }
    if (kind == QLatin1String("challenge page"))
        return page(QStringLiteral("<html><body><form id=\"challenge-form\" action=\"/x\">"
                                   "<a href=\"https://www.cloudflare.com/\">why</a></form>"
                                   "</body></html>"));
    if (kind == QLatin1String("silent")) {
        Reply r;
        r.silent = true;
        return r;
    }
    return status(kind.toLatin1());
}

// Rests kept in memory, measured by a clock the test sets.
class MemoryRests : public EngineRests::Book
{
public:
    QDateTime clock{QDate(2026, 3, 5), QTime(9, 0)};
    QHash<QString, EngineRests::Rest> kept;

    QDateTime now() const override { return clock; }
    std::optional<QHash<QString, EngineRests::Rest>> current() override
    {
        QHash<QString, EngineRests::Rest> out;
        for (const EngineRests::Rest &r : qAsConst(kept)) {
            if (r.until > clock)
                out.insert(r.engine, r);
        }
        return out;
    }
    bool rest(const EngineRests::Rest &r) override
    {
        kept.insert(r.engine, r);
        return true;
    }
    bool wake(const QString &engine) override
    {
        kept.remove(engine);
        return true;
    }
    void restNow(const QString &engine, EngineRests::Kind kind, int seconds)
    {
        kept.insert(engine, {engine, kind, clock.addSecs(seconds), QStringLiteral("refused")});
    }
};

} // namespace

// Every engine of the table at one loopback fake engine: the six added ones under a folder
// named after them ("/bing/search?..."), the two of the reference at their own paths. An
// engine without an answer set refuses with 403.
class EngineWeb
{
public:
    // How an engine answers the page-th request for results (0, 1, …) it gets.
    using Answer = std::function<Reply(const Request &, int page)>;

    EngineWeb()
    {
        fake.setHandler([this](const Request &r) { return answer(r); });
    }
    bool listen() { return fake.listen(); }

    DiscoveryConfig config() const
    {
        DiscoveryConfig c;
        for (const SearchEngines::SearchEngine &e : SearchEngines::all()) {
            c.engineOrigins.insert(e.toolName, e.referenceReading
                                                   ? fake.base()
                                                   : fake.base() + QLatin1Char('/') + e.toolName);
        }
        c.pageTimeoutMs = 1500;
        return c;
    }

    // Pages of results, one per request, then pages with no result.
    void serve(const QString &engine, const QList<QStringList> &pages)
    {
        answers[engine] = [engine, pages](const Request &, int n) {
            return page(FakeSearchEngine::enginePage(engine, pages.value(n)));
        };
    }

    static QString engineOf(const Request &r)
    {
        if (r.path == QLatin1String("/search"))
            return QStringLiteral("google");
        if (r.path == QLatin1String("/search/dir"))
            return QStringLiteral("yahoo");
        return r.path.section(QLatin1Char('/'), 1, 1);
    }
    // The requests for results of one engine (token pages left out).
    QList<Request> requestsOf(const QString &engine) const
    {
        QList<Request> out;
        for (const Request &r : fake.requests()) {
            if (engineOf(r) == engine && r.path != QLatin1Char('/') + engine + QLatin1Char('/'))
                out << r;
        }
        return out;
    }
    QStringList enginesAsked() const
    {
        QStringList out;
        for (const Request &r : fake.requests()) {
            if (out.isEmpty() || out.last() != engineOf(r))
                out << engineOf(r);
        }
        return out;
    }

    FakeSearchEngine fake;
    QHash<QString, Answer> answers;

private:
    Reply answer(const Request &r)
    {
        const QString engine = engineOf(r);
        if (r.path == QLatin1String("/startpage/") && !answers.contains(QStringLiteral("all")))
            return page(QStringLiteral("<form action=\"/sp/search\" method=\"post\">"
                                       "<input type=\"hidden\" name=\"sc\" value=\"tok123\">"
                                       "</form>"));
        const Answer a = answers.value(engine, answers.value(QStringLiteral("all")));
        if (!a)
            return status("403 Forbidden");
        return a(r, m_served[engine]++);
    }
    QHash<QString, int> m_served;
};

// List builder runs over the engine table against the fake engine: the requests and
// paging of each engine, the refusals told apart, the move to the next engine at the same
// result offset, and the names under either rule of domain endings.
class TestEngineRun : public QObject
{
    Q_OBJECT

    struct Run
    {
        Run(const DiscoveryConfig &config) : builder(&browser, config), recorder(&builder)
        {
            QObject::connect(&builder, &SearchListBuilder::statusTextChanged,
                             [this](const QString &t) { statuses << t; });
        }
        void start(const QString &engine, bool tryNext, bool everyEnding = false)
        {
            DiscoveryRequest r = recorder.request(QStringLiteral("tiles"));
            r.addFax = true;
            r.engine = engine;
            r.tryNextEngine = tryNext;
            r.everyEnding = everyEnding;
            builder.load(r);
        }
        bool waitForEnd()
        {
            return QTest::qWaitFor([this] { return !builder.isLoaded(); }, 20000);
        }
        HttpBrowser browser;
        SearchListBuilder builder;
        RunRecorder recorder;
        QStringList statuses;
    };

private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    // The engine list of the options is the engine table, in its order.
    void engineChoice_isTheTable()
    {
        const OptionRow &row = optionRow(OptionId::SearchEngine);
        QStringList display, tool;
        for (const SearchEngines::SearchEngine &e : SearchEngines::all()) {
            display << e.displayName;
            tool << e.toolName;
        }
        QCOMPARE(row.items, display);
        QCOMPARE(row.toolValues, tool);
    }

    // Each added engine is asked as it wants, page after page, until a page holds no result.
    void enginesAskAndPage_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("termsField");
        QTest::addColumn<QString>("pageField");
        QTest::addColumn<QStringList>("pageValues"); // requests 1..3; "-": absent
        QTest::newRow("brave") << "brave" << QByteArray("GET") << "q"
                               << "offset" << QStringList{"-", "1", "2"};
        QTest::newRow("mojeek") << "mojeek" << QByteArray("GET") << "q"
                                << "s" << QStringList{"-", "11", "21"};
        QTest::newRow("bing") << "bing" << QByteArray("GET") << "q"
                              << "first" << QStringList{"-", "11", "21"};
        QTest::newRow("duckduckgo") << "duckduckgo" << QByteArray("POST") << "q"
                                    << "s" << QStringList{"-", "10", "20"};
        QTest::newRow("startpage") << "startpage" << QByteArray("POST") << "query"
                                   << "page" << QStringList{"-", "2", "3"};
        QTest::newRow("ecosia") << "ecosia" << QByteArray("GET") << "q"
                                << "p" << QStringList{"-", "1", "2"};
    }
    void enginesAskAndPage()
    {
        QFETCH(QString, engine);
        QFETCH(QByteArray, method);
        QFETCH(QString, termsField);
        QFETCH(QString, pageField);
        QFETCH(QStringList, pageValues);
        EngineWeb web;
        QVERIFY(web.listen());
        web.serve(engine, {links(QStringLiteral("a"), 12), links(QStringLiteral("b"), 12)});
        const SearchEngines::SearchEngine *e = SearchEngines::find(engine);
        Run run(web.config());
        run.start(e->displayName, true);
        QVERIFY(run.waitForEnd());

        QCOMPARE(run.recorder.outcomes.size(), 1);
        QCOMPARE(run.recorder.outcomes[0].kind, DiscoveryOutcome::Kind::Finished);
        QCOMPARE(run.recorder.outcomes[0].engine, e->displayName);
        QVERIFY(!run.recorder.outcomes[0].movedOn);
        QCOMPARE(run.recorder.names,
                 names(QStringLiteral("a"), 12) + names(QStringLiteral("b"), 12));
        QCOMPARE(run.builder.statusText(),
                 QStringLiteral("Finished! Extracted 24 results from %1.").arg(e->displayName));
        QCOMPARE(web.enginesAsked(), QStringList{engine});

        const QList<Request> asked = web.requestsOf(engine);
        QCOMPARE(asked.size(), pageValues.size());
        for (int i = 0; i < asked.size(); ++i) {
            const Request &r = asked[i];
            QCOMPARE(r.method, method);
            const QUrlQuery &fields = method == "POST" ? r.form : r.query;
            QCOMPARE(fields.queryItemValue(termsField), QStringLiteral("tiles+fax"));
            const QString value = fields.hasQueryItem(pageField) ? fields.queryItemValue(pageField)
                                                                 : QStringLiteral("-");
            QCOMPARE(value, pageValues[i]);
            QVERIFY(r.headers.value("user-agent").startsWith("Mozilla/5.0"));
            if (engine == QLatin1String("startpage"))
                QCOMPARE(r.form.queryItemValue(QStringLiteral("sc")), QStringLiteral("tok123"));
        }
        if (engine == QLatin1String("startpage")) // the token is fetched once for the run
            QCOMPARE(web.fake.requests().size(), asked.size() + 1);
    }

    // Mojeek answers the first page and refuses the second: the run moves to Bing at the
    // same result (first=11), or ends blocked when it may not.
    void refusal_data()
    {
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<bool>("tryNext");
        QTest::addColumn<QString>("said"); // the builder's status at the refusal
        const QString trying = QStringLiteral(" Trying Bing from result 11.");
        QTest::newRow("403")
            << "403 Forbidden" << true
            << "Mojeek blocked the search: the engine refused the search (HTTP 403 "
               "Forbidden)." +
                   trying;
        QTest::newRow("429") << "429 Too Many Requests" << true
                             << "Mojeek blocked the search: the engine has had too many searches "
                                "from this network and asks to slow down (HTTP 429)." +
                                    trying;
        QTest::newRow("202") << "202 Accepted" << true
                             << "Mojeek blocked the search: the engine answered 202 Accepted "
                                "without results, the answer it gives to searches it takes for a "
                                "robot's." +
                                    trying;
        QTest::newRow("captcha redirect")
            << "captcha redirect" << true
            << "Mojeek blocked the search: the engine sent the search to its captcha page "
               "(127.0.0.1/mojeek/sp/captcha)." +
                   trying;
        QTest::newRow("challenge page")
            << "challenge page" << true
            << "Mojeek blocked the search: the engine shows a challenge in place of the results." +
                   trying;
        QTest::newRow("no answer")
            << "silent" << true << "Mojeek did not answer: no answer within 1.5 seconds." + trying;
        QTest::newRow("403, stays") << "403 Forbidden" << false << QString();
        QTest::newRow("no answer, stays") << "silent" << false << QString();
    }
    void refusal()
    {
        QFETCH(QString, refusal);
        QFETCH(bool, tryNext);
        QFETCH(QString, said);
        EngineWeb web;
        QVERIFY(web.listen());
        web.answers[QStringLiteral("mojeek")] = [refusal](const Request &r, int n) {
            if (r.path.contains(QLatin1String("captcha")))
                return page(QStringLiteral("<p>Type the letters you see.</p>"));
            return n == 0 ? page(FakeSearchEngine::enginePage(QStringLiteral("mojeek"),
                                                              links(QStringLiteral("m"), 12)))
                          : refusalReply(refusal, QStringLiteral("mojeek"));
        };
        web.serve(QStringLiteral("bing"), {links(QStringLiteral("b"), 12)});
        Run run(web.config());
        run.start(QStringLiteral("Mojeek"), tryNext);
        QVERIFY(run.waitForEnd());
        QCOMPARE(run.recorder.outcomes.size(), 1);
        const DiscoveryOutcome outcome = run.recorder.outcomes[0];
        const bool silent = refusal == QLatin1String("silent");

        if (!tryNext) {
            // The refused page adds nothing, and no other engine is asked.
            QCOMPARE(run.recorder.names, names(QStringLiteral("m"), 12));
            QCOMPARE(outcome.kind,
                     silent ? DiscoveryOutcome::Kind::NoAnswer : DiscoveryOutcome::Kind::Blocked);
            QCOMPARE(web.enginesAsked(), QStringList{"mojeek"});
            QCOMPARE(outcome.problemText(),
                     silent ? QStringLiteral("the search engine did not answer (Mojeek: no answer "
                                             "within 1.5 seconds)")
                            : QStringLiteral("the search engine blocked the search (Mojeek: the "
                                             "engine refused the search (HTTP 403 Forbidden))"));
            QCOMPARE(run.builder.statusText(),
                     silent ? QStringLiteral("Finished! Extracted 12 results from Mojeek. Mojeek "
                                             "did not answer: no answer within 1.5 seconds.")
                            : QStringLiteral("Finished! Extracted 12 results from Mojeek. Mojeek "
                                             "blocked the search: the engine refused the search "
                                             "(HTTP 403 Forbidden)."));
            return;
        }
        QVERIFY2(run.statuses.contains(said), qPrintable(run.statuses.join(QLatin1Char('\n'))));
        QCOMPARE(run.recorder.names,
                 names(QStringLiteral("m"), 12) + names(QStringLiteral("b"), 12));
        QCOMPARE(outcome.kind, DiscoveryOutcome::Kind::Finished);
        QCOMPARE(outcome.engine, QStringLiteral("Bing"));
        QVERIFY(outcome.movedOn);
        QCOMPARE(web.enginesAsked(), (QStringList{"mojeek", "bing"}));
        const QList<Request> bing = web.requestsOf(QStringLiteral("bing"));
        QCOMPARE(bing.size(), 2); // results, then a page without
        QCOMPARE(bing[0].query.queryItemValue(QStringLiteral("first")), QStringLiteral("11"));
        QCOMPARE(bing[1].query.queryItemValue(QStringLiteral("first")), QStringLiteral("21"));
        QCOMPARE(run.builder.statusText(),
                 QStringLiteral("Finished! Extracted 24 results from Bing."));
    }

    // With a book of rests, an engine that refuses rests for the time its definition gives
    // that kind of refusal, and the status says until when.
    void refusal_restsTheEngine_data()
    {
        using Kind = EngineRests::Kind;
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("seconds");
        QTest::newRow("403") << "403 Forbidden" << int(Kind::Forbidden) << 6 * 3600;
        QTest::newRow("429") << "429 Too Many Requests" << int(Kind::TooManyRequests) << 3600;
        QTest::newRow("503") << "503 Service Unavailable" << int(Kind::TooManyRequests) << 3600;
        QTest::newRow("challenge page") << "challenge page" << int(Kind::Captcha) << 24 * 3600;
        QTest::newRow("captcha redirect") << "captcha redirect" << int(Kind::Captcha) << 24 * 3600;
        QTest::newRow("no answer") << "silent" << int(Kind::NoAnswer) << 600;
    }
    void refusal_restsTheEngine()
    {
        QFETCH(QString, refusal);
        QFETCH(int, kind);
        QFETCH(int, seconds);
        EngineWeb web;
        QVERIFY(web.listen());
        web.answers[QStringLiteral("mojeek")] = [refusal](const Request &r, int) {
            if (r.path.contains(QLatin1String("captcha")))
                return page(QStringLiteral("<p>Type the letters you see.</p>"));
            return refusalReply(refusal, QStringLiteral("mojeek"));
        };
        web.serve(QStringLiteral("bing"), {links(QStringLiteral("b"), 25)});
        auto rests = std::make_shared<MemoryRests>();
        DiscoveryConfig config = web.config();
        config.rests = rests;
        Run run(config);
        run.start(QStringLiteral("Mojeek"), true);
        QVERIFY(run.waitForEnd());
        QCOMPARE(run.recorder.outcomes.value(0).kind, DiscoveryOutcome::Kind::Finished);
        QCOMPARE(rests->kept.size(), 1);
        const EngineRests::Rest rest = rests->kept.value(QStringLiteral("mojeek"));
        QCOMPARE(int(rest.kind), kind);
        QCOMPARE(rest.until, rests->clock.addSecs(seconds));
        QVERIFY(!rest.reason.isEmpty());
        const QString until = EngineRests::untilText(rest.until, rests->clock);
        QVERIFY2(std::any_of(run.statuses.cbegin(), run.statuses.cend(),
                             [&](const QString &s) {
                                 return s.startsWith(QLatin1String("Mojeek ")) &&
                                        s.endsWith(QStringLiteral(", resting until %1. Trying "
                                                                  "Bing from result 1.")
                                                       .arg(until));
                             }),
                 qPrintable(run.statuses.join(QLatin1Char('\n'))));
    }

    // A resting engine is not asked until its rest is over: the fall-back passes over it,
    // and a run that may ask no other engine ends at once saying until when it rests.
    void restingEngine_passedOverUntilItsTime()
    {
        EngineWeb web;
        QVERIFY(web.listen());
        web.answers[QStringLiteral("mojeek")] = [](const Request &, int) {
            return page(FakeSearchEngine::enginePage(QStringLiteral("mojeek"),
                                                     links(QStringLiteral("m"), 25)));
        };
        web.serve(QStringLiteral("duckduckgo"), {links(QStringLiteral("d"), 25)});
        auto rests = std::make_shared<MemoryRests>();
        rests->restNow(QStringLiteral("mojeek"), EngineRests::Kind::Captcha, 3600);
        rests->restNow(QStringLiteral("bing"), EngineRests::Kind::TooManyRequests, 600);
        DiscoveryConfig config = web.config();
        config.rests = rests;
        Run run(config);

        run.start(QStringLiteral("Mojeek"), true);
        QVERIFY(run.waitForEnd());
        QCOMPARE(web.enginesAsked(), QStringList{"duckduckgo"});
        QVERIFY2(run.statuses.contains(QStringLiteral(
                     "Mojeek: refused (CAPTCHA), resting until 10:00. Trying DuckDuckGo from "
                     "result 1.")),
                 qPrintable(run.statuses.join(QLatin1Char('\n'))));
        QCOMPARE(run.recorder.outcomes.value(0).kind, DiscoveryOutcome::Kind::Finished);

        run.start(QStringLiteral("Mojeek"), false);
        QVERIFY(run.waitForEnd());
        QCOMPARE(web.enginesAsked(), QStringList{"duckduckgo"});
        const DiscoveryOutcome resting = run.recorder.outcomes.value(1);
        QCOMPARE(resting.kind, DiscoveryOutcome::Kind::Blocked);
        QCOMPARE(resting.problemText(),
                 QStringLiteral("the search engine blocked the search (Mojeek: refused "
                                "(CAPTCHA), resting until 10:00)"));
        QCOMPARE(run.builder.statusText(),
                 QStringLiteral("Finished! Extracted 0 results from Mojeek. Mojeek: refused "
                                "(CAPTCHA), resting until 10:00."));

        rests->clock = rests->clock.addSecs(3601);
        run.start(QStringLiteral("Mojeek"), false);
        QVERIFY(run.waitForEnd());
        QCOMPARE(web.enginesAsked(), (QStringList{"duckduckgo", "mojeek"}));
        QCOMPARE(run.recorder.outcomes.value(2).kind, DiscoveryOutcome::Kind::Finished);
    }

    // A run of the reference (Google read by the reference rules, no next engine) asks as
    // the reference asks: a rest neither keeps it from asking nor follows its refusal.
    void referenceRun_neitherRestsNorPassesOver()
    {
        EngineWeb web;
        QVERIFY(web.listen());
        web.answers[QStringLiteral("google")] = [](const Request &, int) {
            return status("429 Too Many Requests");
        };
        auto rests = std::make_shared<MemoryRests>();
        DiscoveryConfig config = web.config();
        config.rests = rests;
        Run run(config);
        run.start(QStringLiteral("Google Search"), false);
        QVERIFY(run.waitForEnd());
        QVERIFY(rests->kept.isEmpty());
        rests->restNow(QStringLiteral("google"), EngineRests::Kind::Captcha, 3600);
        run.start(QStringLiteral("Google Search"), false);
        QVERIFY(run.waitForEnd());
        QCOMPARE(web.requestsOf(QStringLiteral("google")).size(), 2);
        QCOMPARE(run.builder.statusText(),
                 QStringLiteral("Finished! Extracted 0 results. The search engine blocked the "
                                "search."));
    }

    // An engine that cannot be reached gives no page; the next one is asked from the start.
    void unreachableEngine_data()
    {
        QTest::addColumn<bool>("tryNext");
        QTest::newRow("moves on") << true;
        QTest::newRow("stays") << false;
    }
    void unreachableEngine()
    {
        QFETCH(bool, tryNext);
        EngineWeb web;
        QVERIFY(web.listen());
        web.serve(QStringLiteral("bing"), {links(QStringLiteral("b"), 25)});
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        DiscoveryConfig config = web.config();
        config.engineOrigins[QStringLiteral("mojeek")] =
            QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
        closed.close();
        Run run(config);
        run.start(QStringLiteral("Mojeek"), tryNext);
        QVERIFY(run.waitForEnd());
        const DiscoveryOutcome outcome = run.recorder.outcomes.value(0);
        if (!tryNext) {
            QCOMPARE(outcome.kind, DiscoveryOutcome::Kind::NoAnswer);
            QCOMPARE(outcome.names, 0);
            QVERIFY2(outcome.problemText().startsWith(
                         QStringLiteral("the search engine did not answer (Mojeek: ")),
                     qPrintable(outcome.problemText()));
            QVERIFY(web.fake.requests().isEmpty());
            return;
        }
        QCOMPARE(outcome.kind, DiscoveryOutcome::Kind::Finished);
        QCOMPARE(outcome.engine, QStringLiteral("Bing"));
        QVERIFY(!web.requestsOf(QStringLiteral("bing"))
                     .first()
                     .query.hasQueryItem(QStringLiteral("first")));
        QCOMPARE(run.recorder.names, names(QStringLiteral("b"), 25));
    }

    // When every engine refuses, each is asked once, in table order from the one picked and
    // round to the start, and the run ends blocked.
    void everyEngineRefuses()
    {
        EngineWeb web;
        QVERIFY(web.listen());
        web.answers[QStringLiteral("all")] = [](const Request &, int) {
            return status("429 Too Many Requests");
        };
        Run run(web.config());
        run.start(QStringLiteral("Mojeek"), true);
        QVERIFY(run.waitForEnd());
        QCOMPARE(web.enginesAsked(), (QStringList{"mojeek", "bing", "duckduckgo", "startpage",
                                                  "ecosia", "google", "yahoo", "brave"}));
        QCOMPARE(web.fake.requests().size(), 8); // Startpage's token page refused: its answer
        const DiscoveryOutcome outcome = run.recorder.outcomes.value(0);
        QCOMPARE(outcome.kind, DiscoveryOutcome::Kind::Blocked);
        QVERIFY(outcome.movedOn);
        QCOMPARE(outcome.engine, QStringLiteral("Brave Search"));
        QCOMPARE(outcome.problemText(),
                 QStringLiteral("the search engine blocked the search (Brave Search: the engine "
                                "has had too many searches from this network and asks to slow "
                                "down (HTTP 429)); no other engine was left to try"));
        QVERIFY(run.recorder.names.isEmpty());
    }

    // Google sends a program without a browser a page that needs JavaScript. Read by the
    // reference rules it yields nothing; with the next engine allowed, Yahoo takes over.
    void referenceEngine_scriptPage_data()
    {
        QTest::addColumn<bool>("tryNext");
        QTest::newRow("moves on") << true;
        QTest::newRow("reference") << false;
    }
    void referenceEngine_scriptPage()
    {
        QFETCH(bool, tryNext);
        EngineWeb web;
        QVERIFY(web.listen());
        web.answers[QStringLiteral("google")] = [](const Request &, int) {
            return page(QStringLiteral(
                "<html><body><noscript><a href=\"/httpservice/retry/enablejs?sei=1\">Click "
                "here</a> if you are not redirected.</noscript></body></html>"));
        };
        web.answers[QStringLiteral("yahoo")] = [](const Request &, int n) {
            return page(n == 0 ? FakeSearchEngine::resultPage(links(QStringLiteral("y"), 25))
                               : QStringLiteral("<p>We did not find results for tiles</p>"));
        };
        Run run(web.config());
        run.start(QStringLiteral("Google Search"), tryNext);
        QVERIFY(run.waitForEnd());
        const DiscoveryOutcome outcome = run.recorder.outcomes.value(0);
        if (!tryNext) {
            QCOMPARE(outcome.kind, DiscoveryOutcome::Kind::NotEnoughResults);
            QCOMPARE(web.enginesAsked(), QStringList{"google"});
            QCOMPARE(run.builder.statusText(), QStringLiteral("Finished! Extracted 0 results."));
            return;
        }
        QCOMPARE(outcome.kind, DiscoveryOutcome::Kind::Finished);
        QCOMPARE(run.recorder.names, names(QStringLiteral("y"), 25));
        QCOMPARE(web.enginesAsked(), (QStringList{"google", "yahoo"}));
        const QList<Request> yahoo = web.requestsOf(QStringLiteral("yahoo"));
        QCOMPARE(yahoo.size(), 2);
        QVERIFY2(yahoo[0].target.endsWith(QLatin1String("&p=tiles+fax&b=1")),
                 qPrintable(yahoo[0].target));
        QVERIFY(yahoo[1].target.endsWith(QLatin1String("&b=21")));
        QVERIFY(run.statuses.contains(
            QStringLiteral("Google Search blocked the search: the engine answers only browsers "
                           "that run JavaScript. Trying Yahoo Search from result 1.")));
    }

    // The names of a page under either rule of domain endings, for an added engine and for
    // one of the reference (which then reads its results by its table entry too).
    void domainEndings_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<bool>("everyEnding");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("mojeek, every ending")
            << "mojeek" << true << QStringList{"example.co.uk", "ca.gov", "plumber.de", "shop.com"};
        QTest::newRow("mojeek, reference endings") << "mojeek" << false << QStringList{"shop.com"};
        QTest::newRow("google, every ending")
            << "google" << true << QStringList{"example.co.uk", "ca.gov", "plumber.de", "shop.com"};
    }
    void domainEndings()
    {
        QFETCH(QString, engine);
        QFETCH(bool, everyEnding);
        QFETCH(QStringList, expected);
        EngineWeb web;
        QVERIFY(web.listen());
        web.serve(engine, {{"https://shop.example.co.uk/roofing",
                            "http://leginfo.legislature.ca.gov/", "https://www.plumber.de/kontakt",
                            "http://www.shop.com/", "https://www.example.co.uk/"}});
        Run run(web.config());
        run.start(SearchEngines::find(engine)->displayName, false, everyEnding);
        QVERIFY(run.waitForEnd());
        QCOMPARE(run.recorder.names, expected);
    }
};

QTEST_GUILESS_MAIN(TestEngineRun)
#include "tst_enginerun.moc"
