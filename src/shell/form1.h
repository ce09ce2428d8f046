#pragma once

#include "harvestengine.h"
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

// The main window: shows the harvest engine's state and forwards every click to the engine's
// handler of the same name. It holds no harvest state of its own. The engine (with its
// settings store and seams) is not owned and must outlive the window.
//
// Life cycle: construct, Form_Load (start-up: branding, the engine's start-up, skin, help
// window), show. Closing the window runs Form_Unload once.
class Form1 : public QMainWindow
{
    Q_OBJECT
public:
    explicit Form1(HarvestEngine *engine, QWidget *parent = nullptr);
    ~Form1() override;

    HarvestEngine *engine() const { return m_engine; }

    void Form_Load();
    void Form_Unload();
    // Fits the frames, lists, buttons, status panels and pb1 to the window's size; the only
    // resize handler.
    void LayoutMain();
    // Refreshes the five statistics labels from the counters.
    void StatsD();

    void mnuFileItem_Click(int index = 0);
    void mnuHelpItem_Click(int index = 0);
    void mnuAboutItem_Click(int index = 0);

    // Status panel texts and geometry (panels 1..4); empty or 0 for any other.
    QString panelText(int panel) const;
    QLabel *panel(int panel) const;
    MainDesign design() const { return m_design; }
    bool isUnloaded() const { return m_unloaded; }

    // Shows a folder in the desktop's file manager ("View Fax Database"). Replaceable (tests).
    std::function<void(const QUrl &)> openUrl;
    // Ends the program after shutdown when no browser window holds it open.
    // QCoreApplication::quit unless replaced (tests).
    static std::function<void()> quitApplication;

    // ---- controls, by their design names ----
    QGroupBox *Frame1 = nullptr; // "Searches"
    QGroupBox *Frame2 = nullptr; // "Emails"
    QGroupBox *Frame3 = nullptr; // "Statistics"
    QGroupBox *Frame4 = nullptr; // "Options"
    QListView *List1 = nullptr;
    QListView *List2 = nullptr;
    QListView *List3 = nullptr;
    QLineEdit *Text1 = nullptr;
    QPushButton *cmdAdd = nullptr;
    QPushButton *cmbDel = nullptr;
    QPushButton *Command1 = nullptr;      // Start
    QPushButton *cmdStop = nullptr;
    QPushButton *cmdResume = nullptr;
    QPushButton *cmdNextSearch = nullptr;
    QPushButton *cmdViewDatabase = nullptr;
    QPushButton *Command2 = nullptr;      // export
    QPushButton *Command3 = nullptr;      // delete all
    QPushButton *cmdWebsite = nullptr;
    std::array<QLabel *, 5> lblStats{};
    QStatusBar *StatusBar1 = nullptr;
    QProgressBar *pb1 = nullptr;
    QAction *mnuFileItem = nullptr;
    QAction *mnuHelpItem = nullptr;
    QAction *mnuAboutItem = nullptr;
    // Element 0 of the skinned label arrays, one per frame.
    std::array<SkinLabel *, 4> SkinLabel1to4{};

    QPushButton *button(HarvestEngine::Button which) const;
    // The control of an option (its object name is the row's), or null.
    QWidget *optionControl(OptionId which) const;
    QComboBox *combo(OptionId which) const;
    QCheckBox *checkBox(OptionId which) const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void bindEngine();
    void syncButton(HarvestEngine::Button which);
    void syncOption(OptionId which);
    void syncList1Selection(int index);
    void showStoreProblem(const QString &message);
    void applySkinAndBanner();
    void updateMinimumSize();

    HarvestEngine *m_engine;
    MainDesign m_design;
    QWidget *m_surface = nullptr; // the client area below the menu bar
    std::array<QLabel *, 4> m_panels{};
    QList<QPushButton *> m_sessionButtons;
    std::vector<QWidget *> m_optionControls; // by row of the option table
    bool m_loaded = false;
    bool m_unloaded = false;
    QPointer<QMessageBox> m_storeProblemBox; // the store problem shown, while it is open
};
