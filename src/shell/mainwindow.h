#pragma once

#include "harvestpresenter.h"
#include "mainwindowlayout.h"

#include <QMainWindow>
#include <QPointer>
#include <QUrl>
#include <array>
#include <functional>

class CrawlOptionsDialog;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QStatusBar;
class SkinLabel;
class WindowOwner;

// The main window: shows what the harvest presenter says and forwards every click to it. It
// holds no harvest state of its own, and opens the other windows through the window owner.
// The presenter (with its session, settings store and seams) and the window owner are not
// owned and must outlive the window. The controls keep the object names of the original
// window (docs/names.md maps them to the names here).
//
// Life cycle: construct, load() (start-up: branding, the harvest's start-up, skin, help
// window), show. Closing the window runs unload() once.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    MainWindow(HarvestPresenter *presenter, WindowOwner *windows, QWidget *parent = nullptr);
    ~MainWindow() override;

    HarvestPresenter *presenter() const { return m_presenter; }
    WindowOwner *windows() const { return m_windows; }

    void load();   // Form_Load
    void unload(); // Form_Unload
    // LayoutMain: fits the frames, lists, buttons, status panels and the progress bar to the
    // window's size; the only resize handler.
    void layoutControls();
    // StatsD: refreshes the five statistics labels.
    void showStatistics();

    void exitClicked();         // mnuFileItem_Click
    void importSitesClicked();  // File > Import Sites…: asks for the file
    void placesClicked();       // File > Places…: a search string once for every place
    void helpClicked();         // mnuHelpItem_Click
    void aboutClicked();        // mnuAboutItem_Click
    void crawlOptionsClicked(); // the Crawl Options dialog

    // Status panel texts (1..4), whole; empty for any other. A panel too narrow for its text
    // shows it shortened, with the whole text as its tooltip.
    QString panelText(int panel) const;
    MainDesign design() const { return m_design; }
    bool isUnloaded() const { return m_unloaded; }

    // Shows a folder in the desktop's file manager ("View Fax Database"). Replaceable (tests).
    std::function<void(const QUrl &)> openUrl;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void bindPresenter();
    QPushButton *button(HarvestPresenter::Button which) const;
    // The control of an option (its object name is the row's), or null.
    QWidget *optionControl(OptionId which) const;
    QComboBox *combo(OptionId which) const;
    QLabel *panel(int panel) const;
    void setPanelText(int panel, const QString &text);
    void fitPanelText(int panel);
    void syncButton(HarvestPresenter::Button which);
    void syncOption(OptionId which);
    void syncSearchSelection(int index);
    void showStoreProblem(const QString &message);
    void applySkinAndBanner();
    void updateMinimumSize();
    void fitOptionControls();

    HarvestPresenter *m_presenter;
    WindowOwner *m_windows;
    MainDesign m_design;
    QWidget *m_surface = nullptr; // the client area below the menu bar
    std::array<QLabel *, 4> m_panels{};
    std::array<QString, 4> m_panelTexts;     // whole, as the presenter gave them
    std::vector<QWidget *> m_optionControls; // by row of the option table
    bool m_loaded = false;
    bool m_unloaded = false;
    QPointer<QMessageBox> m_storeProblemBox; // the store problem shown, while it is open
    QPointer<CrawlOptionsDialog> m_crawlOptions;

    // ---- controls ----
    QGroupBox *m_searchesFrame = nullptr;     // Frame1 "Searches"
    QGroupBox *m_numbersFrame = nullptr;      // Frame2 "Emails"
    QGroupBox *m_statisticsFrame = nullptr;   // Frame3 "Statistics"
    QGroupBox *m_optionsFrame = nullptr;      // Frame4 "Options"
    QListView *m_searchList = nullptr;        // List1
    QListView *m_siteQueueList = nullptr;     // List2
    QListView *m_numberPreviewList = nullptr; // List3
    QLineEdit *m_newSearchEdit = nullptr;     // Text1
    QPushButton *m_addSearchButton = nullptr;
    QPushButton *m_deleteSearchButton = nullptr;
    QPushButton *m_startButton = nullptr;
    QPushButton *m_stopButton = nullptr;
    QPushButton *m_resumeButton = nullptr;
    QPushButton *m_nextSearchButton = nullptr;
    QPushButton *m_viewDatabaseButton = nullptr;
    QPushButton *m_exportButton = nullptr;
    QPushButton *m_deleteAllNumbersButton = nullptr;
    QPushButton *m_websiteButton = nullptr;
    QPushButton *m_crawlOptionsButton = nullptr;  // cmdCrawlOptions (new)
    std::array<QLabel *, 5> m_statisticsLabels{}; // lblStats0 .. lblStats4
    QStatusBar *m_statusStrip = nullptr;          // StatusBar1
    QProgressBar *m_progressBar = nullptr;        // pb1
    QAction *m_importSitesAction = nullptr;
    QAction *m_placesAction = nullptr;
    QAction *m_exitAction = nullptr;  // mnuFileItem
    QAction *m_storeAction = nullptr; // File > Database...
    QAction *m_helpAction = nullptr;  // mnuHelpItem
    QAction *m_aboutAction = nullptr; // mnuAboutItem
    QLabel *m_teamLabel = nullptr;    // the team's totals (shared server only)
    // Element 0 of the skinned label arrays, one per frame.
    std::array<SkinLabel *, 4> m_skinLabels{};
};
