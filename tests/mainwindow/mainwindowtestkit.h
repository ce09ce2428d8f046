#pragma once

// A main window on a temporary data folder and settings file, with the scripted messages
// seam, a recording sound player, a list builder that only counts its loads and a window
// owner that counts the program's ends instead of ending it. The controls are found by
// their object names.

#include "harvestpresenter.h"
#include "harvestsession.h"
#include "listbuilder.h"
#include "mainwindow.h"
#include "recordingsoundplayer.h"
#include "scriptedmessages.h"
#include "settingsstore.h"
#include "sqlitestore.h"
#include "storetestkit.h"
#include "testenv.h"
#include "textlist.h"
#include "windowcontrols.h"
#include "windowowner.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
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

// The main window's controls, by the object names of the original window.
struct MainWindowControls
{
    MainWindowControls() = default;
    explicit MainWindowControls(const QWidget *w)
        : window(w), searchesFrame(control<QGroupBox>(w, QStringLiteral("Frame1"))),
          numbersFrame(control<QGroupBox>(w, QStringLiteral("Frame2"))),
          statisticsFrame(control<QGroupBox>(w, QStringLiteral("Frame3"))),
          optionsFrame(control<QGroupBox>(w, QStringLiteral("Frame4"))),
          searchList(control<QListView>(w, QStringLiteral("List1"))),
          siteQueueList(control<QListView>(w, QStringLiteral("List2"))),
          numberPreviewList(control<QListView>(w, QStringLiteral("List3"))),
          newSearchEdit(control<QLineEdit>(w, QStringLiteral("Text1"))),
          addSearchButton(control<QPushButton>(w, QStringLiteral("cmdAdd"))),
          deleteSearchButton(control<QPushButton>(w, QStringLiteral("cmbDel"))),
          startButton(control<QPushButton>(w, QStringLiteral("Command1"))),
          stopButton(control<QPushButton>(w, QStringLiteral("cmdStop"))),
          resumeButton(control<QPushButton>(w, QStringLiteral("cmdResume"))),
          nextSearchButton(control<QPushButton>(w, QStringLiteral("cmdNextSearch"))),
          viewDatabaseButton(control<QPushButton>(w, QStringLiteral("cmdViewDatabase"))),
          exportButton(control<QPushButton>(w, QStringLiteral("Command2"))),
          deleteAllNumbersButton(control<QPushButton>(w, QStringLiteral("Command3"))),
          websiteButton(control<QPushButton>(w, QStringLiteral("cmdWebsite"))),
          progressBar(control<QProgressBar>(w, QStringLiteral("pb1"))),
          importSitesAction(control<QAction>(w, QStringLiteral("mnuImportSites"))),
          exitAction(control<QAction>(w, QStringLiteral("mnuFileItem"))),
          helpAction(control<QAction>(w, QStringLiteral("mnuHelpItem"))),
          aboutAction(control<QAction>(w, QStringLiteral("mnuAboutItem")))
    {
        for (int i = 0; i < 5; ++i)
            statisticsLabels[size_t(i)] = control<QLabel>(w, QStringLiteral("lblStats%1").arg(i));
    }

    // The control of an option: its object name is the option row's.
    QCheckBox *checkBox(OptionId id) const
    {
        return control<QCheckBox>(window, optionRow(id).objectName);
    }
    QComboBox *combo(OptionId id) const
    {
        return control<QComboBox>(window, optionRow(id).objectName);
    }
    // Status panels 1..4.
    QLabel *panel(int n) const { return control<QLabel>(window, QStringLiteral("Panel%1").arg(n)); }

    const QWidget *window = nullptr;
    QGroupBox *searchesFrame = nullptr;
    QGroupBox *numbersFrame = nullptr;
    QGroupBox *statisticsFrame = nullptr;
    QGroupBox *optionsFrame = nullptr;
    QListView *searchList = nullptr;
    QListView *siteQueueList = nullptr;
    QListView *numberPreviewList = nullptr;
    QLineEdit *newSearchEdit = nullptr;
    QPushButton *addSearchButton = nullptr;
    QPushButton *deleteSearchButton = nullptr;
    QPushButton *startButton = nullptr;
    QPushButton *stopButton = nullptr;
    QPushButton *resumeButton = nullptr;
    QPushButton *nextSearchButton = nullptr;
    QPushButton *viewDatabaseButton = nullptr;
    QPushButton *exportButton = nullptr;
    QPushButton *deleteAllNumbersButton = nullptr;
    QPushButton *websiteButton = nullptr;
    QProgressBar *progressBar = nullptr;
    QAction *importSitesAction = nullptr;
    QAction *exitAction = nullptr;
    QAction *helpAction = nullptr;
    QAction *aboutAction = nullptr;
    std::array<QLabel *, 5> statisticsLabels{};
};

class MainWindowHarness
{
public:
    // settings: keys written before the window opens; "showHelp" is "0" unless given.
    explicit MainWindowHarness(const QMap<QString, QString> &settingsValues = {},
                               const QString &dataDir = QString())
        : m_ownDir(dataDir.isEmpty()), dir(m_ownDir ? m_tmp.path() : dataDir)
    {
        settings = std::make_unique<SettingsStore>(SettingsStore::iniPathForDataDir(dir));
        if (!settingsValues.contains(QStringLiteral("showHelp")))
            settings->write(QStringLiteral("showHelp"), QStringLiteral("0"));
        for (auto it = settingsValues.cbegin(); it != settingsValues.cend(); ++it)
            settings->write(it.key(), it.value());
        session = std::make_unique<HarvestSession>(std::make_unique<SqliteStore>(dir), dir,
                                                   settings.get());
        presenter = std::make_unique<HarvestPresenter>(session.get());
        presenter->setMessages(&messages);
        session->setSoundPlayer(&sound);
        session->setListBuilder(&builder);
        windows = std::make_unique<WindowOwner>(dir);
        windows->quitApplication = [this] { ++quits; };
    }
    ~MainWindowHarness()
    {
        form.reset();
        windows.reset();
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
        form = std::make_unique<MainWindow>(presenter.get(), windows.get());
        form->openUrl = [this](const QUrl &url) { openedUrls << url; };
        c = MainWindowControls(form.get());
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
    std::unique_ptr<WindowOwner> windows;
    std::unique_ptr<MainWindow> form;
    MainWindowControls c; // the controls of form, once open
    QList<QUrl> openedUrls;
    int quits = 0; // the program's ends the window owner was asked for
};
