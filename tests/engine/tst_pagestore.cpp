// What a harvest keeps of a page it has analysed: the new links go into the backlog, the new
// numbers into the store with every column, the preview and the counters follow, and the
// second page file ends up holding the page's text.

#include "enginetestkit.h"
#include "pagefiles.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Harvests the one page and waits until the harvest has ended.
bool harvestPage(EngineRig &rig, const QByteArray &body)
{
    rig.web.addPage("h", "/a/b.htm", body);
    rig.readyToStart();
    rig.queue({QStringLiteral("h/a/b.htm")});
    rig.session.startCrawl();
    return QTest::qWaitFor([&rig] { return !rig.session.isHarvesting(); }, 5000);
}

} // namespace

class TestPageStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void links_newOnesQueuedOnce()
    {
        EngineRig rig;
        QSignalSpy queued(&rig.session, &HarvestSession::siteQueued);
        QStringList step;
        QObject::connect(&rig.presenter, &HarvestPresenter::statusTextChanged,
                         [&step](int panel, const QString &text) {
                             if (panel == 2)
                                 step << text;
                         });
        QVERIFY(harvestPage(
            rig,
            "<a href=\"a.htm\">A</a>\n<a href='b.htm'>B</a> <a href=\"http://h2.com/x\">X</a>\r"
            "<a href=\"a.htm\">again</a><a href=\"#top\">t</a><a href=\"mailto:x@y.com\">m</a>\r\n"
            "<a href=\"/root.htm\">R</a><a href=\"../up.htm\">U</a>"));
        // The page itself was handed out and a repeat is known by then: four new sites.
        QStringList sites;
        for (const QList<QVariant> &args : queued)
            sites << args.at(0).toString();
        QCOMPARE(sites, (QStringList{QStringLiteral("h/a/a.htm"), QStringLiteral("h2.com/x"),
                                     QStringLiteral("h/root.htm"), QStringLiteral("h/up.htm")}));
        QCOMPARE(rig.session.counters()->sitesFound(), 4);
        QCOMPARE(step.mid(0, 5),
                 (QStringList{QStringLiteral("Saving to HTML"), QStringLiteral("Getting Links"),
                              QString(), QStringLiteral("Getting Faxes"), QString()}));
    }

    // In the modern mode a link of another scheme is no page to ask a server for; the
    // reference reads it as a path of the page's site.
    void links_otherSchemes_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::addColumn<QStringList>("queued");
        const QStringList web = {QStringLiteral("ok.example/"), QStringLiteral("proto.example/x"),
                                 QStringLiteral("h/wiki/File:Map.htm")};
        QTest::newRow("modern") << true << web;
        QTest::newRow("reference") << false
                                   << QStringList{QStringLiteral("h/a/tel:+12025550187"),
                                                  QStringLiteral("h/a/fax:+12025550188"),
                                                  QStringLiteral("h/a/ sms:+12025550189"),
                                                  QStringLiteral("h/a/file:/etc/passwd"),
                                                  QStringLiteral("h/a/data:text/plain,hello"),
                                                  QStringLiteral("ftp:/ftp.example.com/pub/x.htm"),
                                                  QStringLiteral("h/a/Skype:someone?call")} +
                                          web;
    }
    void links_otherSchemes()
    {
        QFETCH(bool, follow);
        QFETCH(QStringList, queued);
        EngineRig rig;
        rig.presenter.optionClicked(OptionId::FollowRedirects, follow ? 1 : 0);
        QSignalSpy spy(&rig.session, &HarvestSession::siteQueued);
        QVERIFY(harvestPage(rig, "<a href=\"tel:+12025550187\">t</a>\n"
                                 "<a href=\"fax:+12025550188\">f</a>\n"
                                 "<a href=\" sms:+12025550189\">s</a>\n"
                                 "<a href=\"file:///etc/passwd\">p</a>\n"
                                 "<a href=\"data:text/plain,hello\">d</a>\n"
                                 "<a href=\"ftp://ftp.example.com/pub/x.htm\">x</a>\n"
                                 "<a href=\"Skype:someone?call\">k</a>\n"
                                 "<a href=\"HTTP://ok.example/\">o</a>\n"
                                 "<a href=\"//proto.example/x\">r</a>\n"
                                 "<a href=\"/wiki/File:Map.htm\">m</a>\n"));
        QStringList sites;
        for (const QList<QVariant> &args : spy)
            sites << args.at(0).toString();
        QCOMPARE(sites, queued);
    }

    void numbers_newOnesStoredWithEveryColumn()
    {
        EngineRig rig;
        QString known = QStringLiteral("1-617-555-0100"), search = QStringLiteral("s");
        addFax(*rig.db(), known, QStringLiteral("x"), search, QStringLiteral("MA"));
        QSignalSpy stored(&rig.session, &HarvestSession::numberStored);
        QVERIFY(harvestPage(
            rig, "<html><title>Acme</title><body>\n<p>Fax: 212-555-0187<br>FAX 212-555-0187<br>"
                 "Fax: +44 20 7946 0958</p>\n<table><tr><td>Fax</td><td>(617) 555-0100</td></tr>"
                 "</table></body></html>"));
        const QList<QStringList> rows = rig.faxRows();
        QCOMPARE(rows.size(), 3);
        const QString ny = rows.at(1).at(3);
        QCOMPARE(rows.at(1),
                 (QStringList{QStringLiteral("1-212-555-0187"), QStringLiteral("h/a/b.htm"),
                              QStringLiteral("plumbers"), ny}));
        QVERIFY(ny.startsWith(QLatin1String("NY")));
        QCOMPARE(rows.at(2), (QStringList{QStringLiteral("+44-20-7946-0958"),
                                          QStringLiteral("h/a/b.htm"), QStringLiteral("plumbers"),
                                          QStringLiteral("Unknown/International")}));
        QCOMPARE(stored.size(), 2);
        const FaxRow row = stored.at(0).at(0).value<FaxRow>();
        QCOMPARE(row.fax, QStringLiteral("1-212-555-0187"));
        QCOMPARE(row.website, QStringLiteral("h/a/b.htm"));
        QCOMPARE(row.search, QStringLiteral("plumbers"));
        QCOMPARE(row.location, ny);
        QVERIFY(row.date.isValid());

        // The preview loaded at start-up shows the stored number first.
        QCOMPARE(rig.session.numberPreview()->items(),
                 (QStringList{QStringLiteral("1-617-555-0100 | MA"),
                              QStringLiteral("1-212-555-0187 | ") + ny,
                              QStringLiteral("+44-20-7946-0958 | Unknown/International")}));
        QCOMPARE(rig.session.numbersStored(), 2);
        QCOMPARE(rig.session.counters()->numbersFound(), 2);
        QCOMPARE(rig.sound.names().count(QStringLiteral("foundfax.wav")), 2);
        // The second page file holds the page's text.
        const QByteArray text = readFile(pageFile2(rig.dir.path(), 0));
        QVERIFY(text.endsWith("\r\n"));
        QVERIFY(text.contains("fax 212-555-0187\r\n"));
        QVERIFY(!text.contains('<'));

        // Deleting them all: the session's count follows, and the statistics show it at once.
        QSignalSpy shown(&rig.presenter, &HarvestPresenter::statisticsChanged);
        rig.presenter.deleteAllNumbers();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(rig.presenter.statistics().numbersFound, 0);
        QCOMPARE(rig.session.numbersStored(), 0);
        QVERIFY(rig.session.numberPreview()->isEmpty());
    }

    // The finder's numbers are kept with their business: one fax on two pages of a site is
    // one number and one business with both pages, its owner as the pages name it.
    void numbers_keptWithTheirBusiness()
    {
        EngineRig rig;
        rig.session.setOption(OptionId::FindBeyondFaxLine, 1);
        const QByteArray page = "<html><head><script type=\"application/ld+json\">{\"@type\":"
                                "\"Organization\",\"name\":\"Acme Plumbing\",\"faxNumber\":"
                                "\"+1 212 555 0187\",\"telephone\":\"+1 212 555 0100\"}"
                                "</script></head><body><p>Fax: 212-555-0187</p></body></html>";
        rig.web.addPage("acme.example", "/contact.htm", page);
        rig.web.addPage("acme.example", "/about.htm", page);
        rig.readyToStart();
        rig.queue(
            {QStringLiteral("acme.example/contact.htm"), QStringLiteral("acme.example/about.htm")});
        rig.session.startCrawl();
        QTRY_VERIFY(!rig.session.isHarvesting());
        QCOMPARE(rig.storedFaxes(), QStringList{QStringLiteral("1-212-555-0187")});
        const std::optional<QList<BusinessRow>> businesses = rig.db()->businesses();
        QVERIFY(businesses && businesses->size() == 1);
        const BusinessRow &b = businesses->at(0);
        QCOMPARE(b.site, QStringLiteral("acme.example"));
        QCOMPARE(b.organization, QStringLiteral("Acme Plumbing"));
        QCOMPARE(b.phone, QStringLiteral("+12125550100"));
        QCOMPARE(b.faxes, QStringList{QStringLiteral("+12125550187")});
        QCOMPARE(b.searches, QStringList{QStringLiteral("plumbers")});
        QCOMPARE(b.pages, 2);
        QVERIFY2(b.sources.contains(QLatin1String("organization=json-ld")), qPrintable(b.sources));
    }

    // The same fax on a page of another site, read after the first was stored: its owner
    // there is read again, and names that site's business.
    void numbers_sameFaxOnAnotherSite_ownerReadThere()
    {
        EngineRig rig;
        rig.session.setOption(OptionId::FindBeyondFaxLine, 1);
        auto page = [](const QByteArray &name) {
            return "<html><head><script type=\"application/ld+json\">{\"@type\":"
                   "\"Organization\",\"name\":\"" +
                   name +
                   "\",\"faxNumber\":\"+1 212 555 0187\"}</script></head><body><p>Fax: "
                   "212-555-0187</p></body></html>";
        };
        rig.web.addPage("acme.example", "/contact.htm", page("Acme Plumbing"));
        TestWebServer::Response later;
        later.fault = TestWebServer::Fault::Delay;
        later.delayMs = 400;
        later.body = page("Beta Supply");
        rig.web.addResponse("beta.example", "/contact.htm", later);
        rig.readyToStart();
        rig.queue({QStringLiteral("acme.example/contact.htm"),
                   QStringLiteral("beta.example/contact.htm")});
        rig.session.startCrawl();
        QTRY_VERIFY(!rig.session.isHarvesting());
        const std::optional<QList<BusinessRow>> businesses = rig.db()->businesses();
        QVERIFY(businesses);
        QStringList names;
        for (const BusinessRow &b : *businesses)
            names << b.organization;
        names.sort();
        QCOMPARE(names, QStringList({"Acme Plumbing", "Beta Supply"}));
    }

    // A page that says it takes no unsolicited faxes: each of its numbers, new or stored
    // before, is reported and goes on the do-not-fax list.
    void numbers_refusingFaxes_reportedAndListed()
    {
        EngineRig rig;
        QString known = QStringLiteral("1-617-555-0100"), search = QStringLiteral("s");
        addFax(*rig.db(), known, QStringLiteral("x"), search, QStringLiteral("MA"));
        QSignalSpy refused(&rig.session, &HarvestSession::numberRefusesFaxes);
        QSignalSpy stored(&rig.session, &HarvestSession::numberStored);
        QVERIFY(harvestPage(rig,
                            "<body><p>Fax: 212-555-0187</p><p>Fax: 617-555-0100</p>"
                            "<footer>We accept no unsolicited advertising faxes.</footer></body>"));
        QCOMPARE(stored.size(), 1);
        QCOMPARE(refused.size(), 2);
        const FaxRow first = refused.at(0).at(0).value<FaxRow>();
        QCOMPARE(first.fax, QStringLiteral("1-212-555-0187"));
        QCOMPARE(first.e164, QStringLiteral("+12125550187"));
        QCOMPARE(first.website, QStringLiteral("h/a/b.htm"));
        QCOMPARE(refused.at(1).at(0).value<FaxRow>().e164, QStringLiteral("+16175550100"));
        // Both are listed with that reason, and so left out of every export.
        const std::optional<QList<DoNotFaxEntry>> listed = rig.db()->doNotFaxList();
        QVERIFY(listed);
        QCOMPARE(listed->size(), 2);
        QCOMPARE(listed->at(0).key, QStringLiteral("+12125550187"));
        QCOMPARE(listed->at(1).key, QStringLiteral("+16175550100"));
        QCOMPARE(listed->at(0).reason, Store::reasonNoticeSays);
        const std::optional<ExportCounts> counts = rig.db()->exportCounts(false);
        QCOMPARE(counts->toWrite, 0);
        QCOMPARE(counts->flagged, 2);
    }

    // The backlog cannot be read while a page's links are checked: a link taken for known
    // would never be queued. The harvest stops and says so, and Resume reads the page again.
    void links_backlogUnreadable_stopsAndResumeQueuesThem()
    {
        EngineRig rig;
        TestWebServer::Response page;
        page.fault = TestWebServer::Fault::Delay;
        page.delayMs = 200;
        page.body = "<body><a href=\"b.htm\">b</a></body>";
        rig.web.addResponse("h", "/a.htm", page);
        rig.web.addPage("h", "/b.htm", "<p>Fax: 212-555-0187</p>");
        auto sql = [&rig](const QString &statement) {
            const QString name = QStringLiteral("other");
            bool ok = false;
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                db.setDatabaseName(rig.db()->location());
                db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
                ok = db.open() && QSqlQuery(db).exec(statement);
            }
            QSqlDatabase::removeDatabase(name);
            return ok;
        };
        // The table goes away while the page is on its way.
        bool renamed = false;
        connect(&rig.web, &TestWebServer::requestReceived, this,
                [&](const TestWebServer::Request &r) {
                    if (r.path == "/a.htm" && !renamed)
                        renamed = sql(QStringLiteral("ALTER TABLE websites RENAME TO gone"));
                });
        QSignalSpy failed(&rig.session, &HarvestSession::storeFailed);
        rig.readyToStart();
        rig.queue({QStringLiteral("h/a.htm")});
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 5000);
        QVERIFY(renamed);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(rig.presenter.statusText(2), QStringLiteral("The fax database cannot be read"));

        QVERIFY(sql(QStringLiteral("ALTER TABLE gone RENAME TO websites")));
        rig.session.resume();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 5000);
        QCOMPARE(rig.storedFaxes(), QStringList{QStringLiteral("1-212-555-0187")});
    }

    // A page file is rewritten whole: what it held before is gone, and it ends in CR LF.
    void pageFile_replacesTheOldContent()
    {
        TempDataDir dir;
        const QString path = dir.file(QStringLiteral("html2.txt"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("previous content that is longer than the text");
        old.close();
        QVERIFY(writePageFile(path, "a\r\nb"));
        QCOMPARE(readFile(path), QByteArray("a\r\nb\r\n"));
        QVERIFY(!writePageFile(dir.file(QStringLiteral("missing/dir/out.txt")), "a"));
    }

    void numbers_foundTextCounts()
    {
        EngineRig rig;
        QStringList found;
        QObject::connect(&rig.presenter, &HarvestPresenter::statusTextChanged,
                         [&found](int panel, const QString &text) {
                             if (panel == 3 && text.startsWith(QLatin1String("Found")))
                                 found << text;
                         });
        rig.presenter.optionClicked(OptionId::SoundOnFaxFound, 0);
        QByteArray body = "<body>";
        for (int k = 0; k < 25; ++k)
            body += "Fax: 212-555-" + QByteArray::number(1000 + k) + "<br>";
        QVERIFY(harvestPage(rig, body + "</body>"));
        QCOMPARE(rig.storedFaxes().size(), 25);
        // The preview keeps the newest numbers: 21 of them.
        QCOMPARE(rig.session.numberPreview()->count(), 21);
        QCOMPARE(rig.session.numberPreview()->item(0).left(14), QStringLiteral("1-212-555-1004"));
        QCOMPARE(rig.session.numberPreview()->item(20).left(14), QStringLiteral("1-212-555-1024"));
        QCOMPARE(found.last(), QStringLiteral("Found 25 faxes"));
        QVERIFY(rig.sound.names().count(QStringLiteral("foundfax.wav")) == 0);
    }
};

QTEST_GUILESS_MAIN(TestPageStore)
#include "tst_pagestore.moc"
