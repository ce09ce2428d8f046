#pragma once

#include "harvestpresenter.h"
#include "mainwindowlayout.h"

#include <QMainWindow>
#include <QPointer>
#include <QUrl>
#include <array>
#include <functional>

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

// The main window: shows what the harvest presenter says and forwards every click to it. It
// holds no harvest state of its own. The presenter (with its session, settings store and
// seams) is not owned and must outlive the window. The controls keep the object names of
// the original window (docs/names.md maps them to the names here).
//
// Life cycle: construct, load() (start-up: branding, the harvest's start-up, skin, help
// window), show. Closing the window runs unload() once.
class Form1 : public QMainWindow
{
    Q_OBJECT
public:
    explicit Form1(HarvestPresenter *presenter, QWidget *parent = nullptr);
    ~Form1() override;

    HarvestPresenter *presenter() const { return m_presenter; }

    void load();   // Form_Load
    void unload(); // Form_Unload
    // LayoutMain: fits the frames, lists, buttons, status panels and the progress bar to the
    // window's size; the only resize handler.
    void layoutControls();
    // StatsD: refreshes the five statistics labels.
    void showStatistics();

    void exitClicked();        // mnuFileItem_Click
    void importSitesClicked(); // File > Import Sites…: asks for the file
    void helpClicked();        // mnuHelpItem_Click
    void aboutClicked();       // mnuAboutItem_Click

    // Status panel texts, whole, and the panels (1..4); empty or null for any other. A
    // panel too narrow for its text shows it shortened, with the whole text as its tooltip.
    QString panelText(int panel) const;
    QLabel *panel(int panel) const;
    MainDesign design() const { return m_design; }
    bool isUnloaded() const { return m_unloaded; }

    // Shows a folder in the desktop's file manager ("View Fax Database"). Replaceable (tests).
    std::function<void(const QUrl &)> openUrl;
    // Ends the program after shutdown when no browser window holds it open.
    // QCoreApplication::quit unless replaced (tests).
    static std::function<void()> quitApplication;

    // ---- controls ----
    QGroupBox *searchesFrame = nullptr;   // "Searches"
    QGroupBox *numbersFrame = nullptr;    // "Emails"
    QGroupBox *statisticsFrame = nullptr; // "Statistics"
    QGroupBox *optionsFrame = nullptr;    // "Options"
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
    std::array<QLabel *, 5> statisticsLabels{};
    QStatusBar *statusStrip = nullptr;
    QProgressBar *progressBar = nullptr;
    QAction *importSitesAction = nullptr;
    QAction *exitAction = nullptr;
    QAction *storeAction = nullptr; // File > Database...
    QLabel *teamLabel = nullptr;    // the team's totals (shared server only)
    QAction *helpAction = nullptr;
    QAction *aboutAction = nullptr;
    // Element 0 of the skinned label arrays, one per frame.
    std::array<SkinLabel *, 4> skinLabels{};

    QPushButton *button(HarvestPresenter::Button which) const;
    // The control of an option (its object name is the row's), or null.
    QWidget *optionControl(OptionId which) const;
    QComboBox *combo(OptionId which) const;
    QCheckBox *checkBox(OptionId which) const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void bindPresenter();
    void setPanelText(int panel, const QString &text);
    void fitPanelText(int panel);
    void syncButton(HarvestPresenter::Button which);
    void syncOption(OptionId which);
    void syncSearchSelection(int index);
    void showStoreProblem(const QString &message);
    void applySkinAndBanner();
    void updateMinimumSize();

    HarvestPresenter *m_presenter;
    MainDesign m_design;
    QWidget *m_surface = nullptr; // the client area below the menu bar
    std::array<QLabel *, 4> m_panels{};
    std::array<QString, 4> m_panelTexts; // whole, as the presenter gave them
    QList<QPushButton *> m_sessionButtons;
    std::vector<QWidget *> m_optionControls; // by row of the option table
    bool m_loaded = false;
    bool m_unloaded = false;
    QPointer<QMessageBox> m_storeProblemBox; // the store problem shown, while it is open
};
