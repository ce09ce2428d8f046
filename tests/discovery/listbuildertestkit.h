#pragma once

// A recorder of list builder runs, and a browser whose completions the test sends by hand.

#include "browser.h"
#include "listbuilder.h"
#include "searchlistbuilder.h"
#include "testenv.h"

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

// What a list builder run reports: the names of each page, the outcome and the unloads. The
// request is the harvest's for the search strings' entry 0, with a data directory of its own.
class RunRecorder
{
public:
    explicit RunRecorder(ListBuilder *builder) { watch(builder); }

    void watch(ListBuilder *builder)
    {
        QObject::connect(builder, &ListBuilder::namesFound, builder,
                         [this](const QStringList &n) { names += n; });
        QObject::connect(builder, &ListBuilder::finished, builder,
                         [this](const DiscoveryOutcome &o) {
                             outcomes << o;
                             namesAtFinish << names.size();
                         });
        QObject::connect(builder, &ListBuilder::unloaded, builder, [this] { ++unloads; });
    }

    DiscoveryRequest request(const QString &search)
    {
        DiscoveryRequest r;
        r.search = search;
        r.addFax = addFax;
        r.engine = engine;
        r.resultCountIndex = target;
        r.dataDir = dir.path();
        return r;
    }

    TempDataDir dir;
    bool addFax = false;
    QString engine = QStringLiteral("Google Search");
    int target = 0;

    QStringList names; // every name reported, in order
    QList<DiscoveryOutcome> outcomes;
    QList<int> namesAtFinish; // how many names had been reported when each run ended
    int unloads = 0;
};
