#pragma once

// A main window on a temporary data folder and settings file, with the scripted messages
// seam, a recording sound player and a list builder that only counts its loads.

#include "form1.h"
#include "harvestpresenter.h"
#include "harvestsession.h"
#include "listbuilder.h"
#include "recordingsoundplayer.h"
#include "scriptedmessages.h"
#include "settingsstore.h"
#include "sqlitestore.h"
#include "storetestkit.h"
#include "testenv.h"
#include "textlist.h"

#include <QAbstractItemView>
#include <QMap>
#include <QTest>
#include <memory>

class CountingListBuilder : public ListBuilder
{
public:
    bool isLoaded() const override { return loaded; }
    void load(const DiscoveryRequest &) override
    {
        if (!loaded) {
            loaded = true;
            ++loads;
        }
    }
    void show() override { ++shows; }
    void unload() override
    {
        if (loaded) {
            loaded = false;
            ++unloads;
        }
    }

    bool loaded = false;
    int loads = 0;
    int shows = 0;
    int unloads = 0;
};

class Form1Harness
{
public:
    // settings: keys written before the window opens; "showHelp" is "0" unless given.
    explicit Form1Harness(const QMap<QString, QString> &settingsValues = {},
                          const QString &dataDir = QString())
        : m_ownDir(dataDir.isEmpty()), dir(m_ownDir ? m_tmp.path() : dataDir)
    {
        settings = std::make_unique<SettingsStore>(SettingsStore::iniPathForDataDir(dir));
        if (!settingsValues.contains(QStringLiteral("showHelp")))
            settings->write(QStringLiteral("showHelp"), QStringLiteral("0"));
        for (auto it = settingsValues.cbegin(); it != settingsValues.cend(); ++it)
            settings->write(it.key(), it.value());
        session = std::make_unique<HarvestSession>(dir, settings.get());
        presenter = std::make_unique<HarvestPresenter>(session.get());
        presenter->setMessages(&messages);
        session->setSoundPlayer(&sound);
        session->setListBuilder(&builder);
    }
    ~Form1Harness()
    {
        form.reset();
        presenter.reset();
        session.reset();
    }

    // Rows put into the store before the window loads them.
    void addSearches(const QStringList &searches)
    {
        for (QString s : searches)
            (void)session->store()->addSearch(s);
    }
    void addBacklog(int count, const QString &prefix = QStringLiteral("site"))
    {
        for (int i = 0; i < count; ++i) {
            QString site = QStringLiteral("%1%2.example").arg(prefix).arg(i);
            (void)session->store()->addWebsite(site);
        }
    }

    // Builds, loads and shows the window.
    bool open()
    {
        form = std::make_unique<Form1>(presenter.get());
        form->openUrl = [this](const QUrl &url) { openedUrls << url; };
        form->load();
        form->show();
        form->activateWindow();
        return QTest::qWaitForWindowExposed(form.get());
    }

    static QStringList rows(const QAbstractItemView *view)
    {
        QStringList out;
        const QAbstractItemModel *m = view->model();
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->index(r, 0).data().toString();
        return out;
    }

    // Clicks row r of a list as the user does.
    static void clickRow(QAbstractItemView *view, int r)
    {
        const QRect rect = view->visualRect(view->model()->index(r, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    }

private:
    TempDataDir m_tmp;
    bool m_ownDir;

public:
    QString dir;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<HarvestSession> session;
    std::unique_ptr<HarvestPresenter> presenter;
    ScriptedMessages messages;
    RecordingSoundPlayer sound;
    CountingListBuilder builder;
    std::unique_ptr<Form1> form;
    QList<QUrl> openedUrls;
};
