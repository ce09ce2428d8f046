#pragma once

// A main window stand-in for list builder runs (a real modDatabase and counters in a
// temporary data directory), and a browser whose completions the test sends by hand.

#include "browser.h"
#include "globals.h"
#include "listbuilder.h"
#include "moddatabase.h"
#include "searchlistbuilder.h"
#include "settingsstore.h"
#include "testenv.h"
#include "textlist.h"

#include <QSqlQuery>
#include <QStringList>

class ScriptedBrowser : public Browser
{
    Q_OBJECT
public:
    using Browser::Browser;
    void navigate(const QString &url) override { navigations << url; }
    void stop() override { ++stops; }
    // Completes a document at the address (the last navigation by default).
    void complete(const QString &html, const QString &url = QString(), int status = 200)
    {
        BrowserPage page;
        page.url = url.isNull() ? navigations.value(navigations.size() - 1) : url;
        page.html = html;
        page.httpStatus = status;
        Q_EMIT documentComplete(page);
    }
    QStringList navigations;
    int stops = 0;
};

class TestListBuilderHost : public ListBuilderHost
{
public:
    TestListBuilderHost()
        : settings(SettingsStore::iniPathForDataDir(dir.path())), stats(&settings),
          db(dir.path(), &stats)
    {
        db.setLists(&List1, &List2, nullptr);
    }

    // The search strings, as Start leaves them: in List1 and stored; entry 0 is current.
    void setSearches(const QStringList &searches)
    {
        for (QString s : searches) {
            List1.addItem(s);
            db.AddSearch(s);
        }
        search = List1.item(0);
    }

    QString txtSearch() const override { return search; }
    bool chkAddFax() const override { return addFax; }
    QString combo1Text() const override { return engine; }
    int combo2Index() const override { return target; }
    QString dataDir() const override { return dir.path(); }
    modDatabase *database() override { return &db; }
    Counters *counters() override { return &stats; }
    TextList *list1() override { return &List1; }
    void setStatusPanel(int panel, const QString &text) override { panels[panel] = text; }
    void cmdDoSearch_Click() override
    {
        ++doSearchCalls;
        handedBack << storedWebsites();
    }
    // As the engine's: the next entry 0 goes to txtSearch, the window is loaded afresh.
    void StartNextSearch() override
    {
        ++startNextCalls;
        db.DeleteAllWebsites();
        search = List1.item(0);
        if (builder) {
            builder->unload();
            builder->load();
            builder->show();
        }
    }
    void listBuilderUnloaded() override { ++unloadNotices; }

    QStringList storedWebsites() { return readColumn("SELECT website FROM websites ORDER BY rowid"); }
    QStringList storedSearches() { return readColumn("SELECT search FROM searches ORDER BY rowid"); }

    // Reads the store's file through a connection of the test's own.
    QStringList readColumn(const char *sql)
    {
        QStringList out;
        {
            QSqlDatabase conn = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                          QStringLiteral("tst_reader"));
            conn.setDatabaseName(db.databasePath());
            if (conn.open()) {
                QSqlQuery r(conn);
                r.exec(QLatin1String(sql));
                while (r.next())
                    out << r.value(0).toString();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("tst_reader"));
        return out;
    }

    TempDataDir dir;
    SettingsStore settings;
    Counters stats;
    TextList List1;
    TextList List2;
    modDatabase db;
    SearchListBuilder *builder = nullptr;

    QString search;
    bool addFax = false;
    QString engine = QStringLiteral("Google Search");
    int target = 0;
    QString panels[5];
    int doSearchCalls = 0;
    int startNextCalls = 0;
    int unloadNotices = 0;
    QList<QStringList> handedBack; // the stored websites at each hand-back
};
