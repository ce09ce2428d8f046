#pragma once

// A harvest session and its presenter in a temporary data directory, with scripted messages,
// recorded sounds, a watchdog clock to tick by hand, a loopback web server that every host
// resolves to, and a stand-in list builder that reports names and an outcome
// asynchronously, as the real one does.

#include "globals.h"
#include "harvestpresenter.h"
#include "harvestsession.h"
#include "listbuilder.h"
#include "manualwatchdogclock.h"
#include "recordingsoundplayer.h"
#include "resolvemap.h"
#include "scriptedmessages.h"
#include "settingsstore.h"
#include "sqlitestore.h"
#include "storetestkit.h"
#include "testenv.h"
#include "testwebserver.h"
#include "textlist.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QTimer>

#include <optional>

// Reports the names set for a search string, then the outcome: finished with more than
// tooFew names, otherwise not enough results. Asynchronous, as the real builder is.
class StandInListBuilder : public ListBuilder
{
public:
    // The names a run finds for each search string.
    QHash<QString, QStringList> namesFor;
    int tooFew = 20;
    // False: a run stays loaded until finishRun() (a stalled or slow run).
    bool autoFinish = true;
    // The outcome of the next runs, when the names alone should not decide it.
    std::optional<DiscoveryOutcome::Kind> kind;
    int loads = 0;
    int shows = 0;
    int unloads = 0;
    int runsFinished = 0;
    DiscoveryRequest request; // of the last load

    bool isLoaded() const override { return m_loaded; }
    void load(const DiscoveryRequest &r) override
    {
        if (m_loaded)
            return;
        m_loaded = true;
        ++loads;
        request = r;
        const quint64 run = ++m_run;
        if (autoFinish)
            QTimer::singleShot(0, this, [this, run] {
                if (run == m_run && m_loaded)
                    finishRun();
            });
    }
    void show() override { ++shows; }
    void unload() override
    {
        if (!m_loaded)
            return;
        m_loaded = false;
        ++m_run;
        ++unloads;
        Q_EMIT unloaded();
    }

    void finishRun()
    {
        ++runsFinished;
        const QStringList names = namesFor.value(request.search);
        if (!names.isEmpty())
            Q_EMIT namesFound(names);
        DiscoveryOutcome outcome;
        outcome.names = qint32(names.size());
        outcome.kind = names.size() > tooFew ? DiscoveryOutcome::Kind::Finished
                                             : DiscoveryOutcome::Kind::NotEnoughResults;
        if (kind)
            outcome.kind = *kind;
        const quint64 run = m_run;
        Q_EMIT finished(outcome);
        if (run == m_run && m_loaded)
            unload();
    }

private:
    bool m_loaded = false;
    quint64 m_run = 0;
};

// Everything one harvest test needs. Construct, then set options and the store's contents,
// then call session.load() (or drive the handlers directly).
struct EngineRig
{
    TempDataDir dir;
    SettingsStore settings{SettingsStore::iniPathForDataDir(dir.path())};
    ScriptedMessages messages;
    RecordingSoundPlayer sound;
    ManualWatchdogClock clock; // the session's once a test calls useManualClock()
    TestWebServer web;
    HarvestSession session{std::make_unique<SqliteStore>(dir.path()), dir.path(), &settings};
    HarvestPresenter presenter{&session};
    StandInListBuilder builder;

    EngineRig()
    {
        TestEnv::enterTestMode();
        // The three sounds exist in the data directory, so that every PlayWav is recorded.
        QDir().mkpath(dir.file(QStringLiteral("sounds")));
        for (const char *name : {"nextsearch.wav", "foundfax.wav", "finished.wav"}) {
            QFile f(dir.file(QStringLiteral("sounds/") + QLatin1String(name)));
            if (f.open(QIODevice::WriteOnly))
                f.write("RIFF");
        }
        web.listen();
        ResolveMap map;
        map.add(web.resolveSpec());
        session.setResolveMap(map);
        presenter.setMessages(&messages);
        session.setSoundPlayer(&sound);
        session.setListBuilder(&builder);
        // The test web has no robots.txt; the suites that read it turn this on.
        session.options()->set(OptionId::RespectRobots, 0);
        // Every page of a site is read, in the order of its links; tst_contactfirst turns the
        // contact pages first and the stop at a site's fax on.
        session.options()->set(OptionId::StopSiteAtFax, 0);
    }

    Store *db() { return session.store(); }
    void useManualClock() { session.setWatchdogClock(&clock); }

    // The enabled ones among Start, Stop, Resume and Next, then "Database" for View, Export
    // and Delete All, which always move together.
    QString enabledButtons() const
    {
        using B = HarvestPresenter::Button;
        const bool database = presenter.isEnabled(B::ViewDatabase);
        if (presenter.isEnabled(B::ExportNumbers) != database ||
            presenter.isEnabled(B::DeleteAllNumbers) != database)
            return QStringLiteral("View, Export and Delete All differ");
        QStringList on;
        const std::pair<B, const char *> named[] = {
            {B::Start, "Start"}, {B::Stop, "Stop"}, {B::Resume, "Resume"}, {B::NextSearch, "Next"}};
        for (const auto &[b, name] : named) {
            if (presenter.isEnabled(b))
                on << QLatin1String(name);
        }
        if (database)
            on << QStringLiteral("Database");
        return on.join(QLatin1Char(' '));
    }

    void addSearches(const QStringList &searches)
    {
        for (QString s : searches) {
            session.searches()->addItem(s);
            (void)db()->addSearch(s);
        }
    }
    void queue(const QStringList &sites)
    {
        for (QString s : sites)
            (void)db()->addWebsite(s);
    }
    // The websites table in stored order (a reading connection of its own).
    QStringList storedWebsites()
    {
        return column(QStringLiteral("SELECT website FROM websites ORDER BY rowid"));
    }
    QStringList storedFaxes()
    {
        return column(QStringLiteral("SELECT fax FROM faxes ORDER BY rowid"));
    }
    QStringList storedSearches()
    {
        return column(QStringLiteral("SELECT search FROM searches ORDER BY rowid"));
    }
    QList<QStringList> faxRows()
    {
        QList<QStringList> rows;
        QSqlDatabase db = open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT fax, website, search, location FROM faxes ORDER BY rowid"));
        while (q.next())
            rows.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                         q.value(3).toString()});
        return rows;
    }

    // Ready to harvest one search string with every option set for a start.
    void readyToStart(const QStringList &searches = {QStringLiteral("plumbers")})
    {
        session.load();
        addSearches(searches);
        presenter.optionClicked(OptionId::SearchEngine, 0);
        presenter.optionClicked(OptionId::ResultCount, 0);
    }

    ~EngineRig()
    {
        if (QSqlDatabase::contains(readerName()))
            QSqlDatabase::removeDatabase(readerName());
    }

private:
    QString readerName() const { return QStringLiteral("rig-") + dir.path(); }
    QSqlDatabase open()
    {
        const QString name = readerName();
        QSqlDatabase db = QSqlDatabase::contains(name)
                              ? QSqlDatabase::database(name)
                              : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(session.store()->location());
        db.open();
        return db;
    }
    QStringList column(const QString &sql)
    {
        QStringList out;
        QSqlDatabase db = open();
        QSqlQuery q(db);
        q.exec(sql);
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
};
