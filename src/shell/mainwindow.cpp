#include "mainwindow.h"

#include "crawloptionsdialog.h"
#include "exportdialog.h"
#include "filedialogs.h"
#include "helpwindow.h"
#include "numberswindow.h"
#include "optioncontrol.h"
#include "placesdialog.h"
#include "productinfo.h"
#include "settingsstore.h"
#include "skin.h"
#include "store.h"
#include "storedialog.h"
#include "textlist.h"
#include "twips.h"
#include "windowowner.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QWebEngineView>

#include <algorithm>
#include <cmath>

namespace {

using Button = HarvestPresenter::Button;

// Design positions of the controls that layoutControls() does not size, in twips (15 per pixel at
// 96 dpi). x, y are inside the control's frame; -1 for a width or height means "as the
// control's text needs".
struct Place
{
    double x, y, w, h;
};

constexpr double kRowHeight = 390;    // text boxes, combos, Add, Del
constexpr double kButtonHeight = 420; // the other buttons

// m_searchesFrame "Searches"
constexpr Place kLabelSearchStrings{180, 360, -1, -1};
constexpr double kList1Height = 1650;
constexpr Place kLabelNewSearch{180, 2400, -1, -1};
constexpr Place kText1{180, 2670, 2550, kRowHeight};
constexpr Place kCmdAdd{2790, 2670, 750, kRowHeight};
constexpr Place kCmbDel{3600, 2670, 750, kRowHeight};
constexpr Place kCommand1{180, 3180, 930, kButtonHeight};
constexpr Place kCmdStop{1170, 3180, 930, kButtonHeight};
constexpr Place kCmdResume{2160, 3180, 1200, kButtonHeight};
constexpr Place kCmdNext{3420, 3180, 930, kButtonHeight};
constexpr Place kLabelQueued{180, 3690, -1, -1};
// m_numbersFrame "Emails"
constexpr double kViewDatabaseTop = 390;
constexpr double kCommand2Top = 870;
constexpr double kCommand3Top = 1350;
constexpr Place kLabelFound{180, 1890, -1, -1};
// m_optionsFrame "Options"
constexpr Place kCombo1{180, 390, 2550, kRowHeight};
constexpr Place kCombo2{2820, 390, 2550, kRowHeight};
constexpr Place kLabelAuto{180, 990, -1, -1};
constexpr Place kChkAuto{2820, 960, -1, -1};
constexpr Place kLabelAdvance{180, 1380, -1, -1};
constexpr Place kCmbAdvance{180, 1650, 2550, kRowHeight};
constexpr Place kLabelLast{180, 2250, -1, -1};
constexpr Place kCmbLastSearch{2820, 2190, 2550, kRowHeight};
constexpr Place kLabelAudio{180, 2760, -1, -1};
constexpr Place kLabelOther{2820, 2760, -1, -1};
constexpr double kCheckTop = 3060;
constexpr double kCheckStep = 330;
constexpr double kFrameInnerMargin = 120; // between a control and the right edge of its frame
constexpr double kCrawlButtonGap = 90;    // above the Crawl Options button
constexpr double kAudioLeft = 180;
constexpr double kOtherLeft = 2820;
// m_statisticsFrame "Statistics"
constexpr double kStatsHeadTop = 390;
constexpr double kStatsRowTop = 720;
constexpr double kStatsRowStep = 300;
constexpr double kSessionLeft = 180;
constexpr double kSessionValueLeft = 1800;
constexpr double kHistLeft = 2820;
constexpr double kHistValueLeft = 4440;
constexpr double kStatsValueWidth = 750;
constexpr double kStatsBottom = 1800; // m_statisticsFrame is never made lower than this

// The default size of the window (the client area, menu bar included), in twips.
constexpr double kDefaultWidth = 15600;
constexpr double kDefaultHeight = 10800;

int px(const QWidget *w, double twips)
{
    return Twips::toPixelsX(w, twips);
}

int py(const QWidget *w, double twips)
{
    return Twips::toPixelsY(w, twips);
}

void place(QWidget *w, const Place &p)
{
    const QSize hint = w->sizeHint();
    w->setGeometry(px(w, p.x), py(w, p.y), p.w < 0 ? hint.width() : px(w, p.w),
                   p.h < 0 ? hint.height() : py(w, p.h));
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const Place &p)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    place(l, p);
    return l;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text, const QString &tip)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    if (!tip.isEmpty())
        b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}

QGroupBox *makeFrame(QWidget *parent, const char *name, const QString &title)
{
    auto *f = new QGroupBox(title, parent);
    f->setObjectName(QLatin1String(name));
    return f;
}

QListView *makeList(QWidget *parent, const char *name)
{
    auto *v = new QListView(parent);
    v->setObjectName(QLatin1String(name));
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setUniformItemSizes(true);
    return v;
}

// The control of one option row, at its design place.
QWidget *makeOptionControl(QWidget *parent, const OptionRow &row, const Place &p)
{
    QWidget *control = OptionControl::make(parent, row);
    place(control, p);
    return control;
}

} // namespace

MainWindow::MainWindow(HarvestPresenter *presenter, WindowOwner *windows, QWidget *parent)
    : QMainWindow(parent), m_presenter(presenter), m_windows(windows)
{
    setObjectName(QStringLiteral("Form1"));
    openUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    buildControls();
    bindPresenter();
    resize(px(this, kDefaultWidth), py(this, kDefaultHeight));
    updateMinimumSize();
}

MainWindow::~MainWindow() = default;

// ---- controls ------------------------------------------------------------------------------

void MainWindow::buildControls()
{
    m_surface = new QWidget(this);
    m_surface->setObjectName(QStringLiteral("surface"));
    setCentralWidget(m_surface);

    m_websiteButton = makeButton(m_surface, "cmdWebsite", QString(), QString());
    m_websiteButton->setGeometry(px(this, m_design.websiteLeft), py(this, m_design.websiteTop),
                                 px(this, 6000), py(this, m_design.websiteHeight));

    // Searches
    m_searchesFrame = makeFrame(m_surface, "Frame1", QStringLiteral("Searches"));
    makeLabel(m_searchesFrame, "lblSearchStrings", QStringLiteral("Search Strings"),
              kLabelSearchStrings);
    m_searchList = makeList(m_searchesFrame, "List1");
    m_searchList->setGeometry(px(this, m_design.list1Left), py(this, 630), px(this, 3000),
                              py(this, kList1Height));
    m_searchList->setSelectionMode(QAbstractItemView::SingleSelection);
    makeLabel(m_searchesFrame, "lblNewSearch", QStringLiteral("Enter a new Search String:"),
              kLabelNewSearch);
    m_newSearchEdit = new QLineEdit(m_searchesFrame);
    m_newSearchEdit->setObjectName(QStringLiteral("Text1"));
    place(m_newSearchEdit, kText1);
    m_addSearchButton = makeButton(m_searchesFrame, "cmdAdd", QStringLiteral("Add"), QString());
    place(m_addSearchButton, kCmdAdd);
    m_deleteSearchButton = makeButton(m_searchesFrame, "cmbDel", QStringLiteral("Del"), QString());
    place(m_deleteSearchButton, kCmbDel);
    m_startButton = makeButton(m_searchesFrame, "Command1", QStringLiteral("Start"),
                               QStringLiteral("Begin Harvesting Faxes"));
    place(m_startButton, kCommand1);
    m_stopButton = makeButton(m_searchesFrame, "cmdStop", QStringLiteral("Stop"),
                              QStringLiteral("Stop harvesting faxes"));
    place(m_stopButton, kCmdStop);
    m_resumeButton = makeButton(m_searchesFrame, "cmdResume", QStringLiteral("Resume"),
                                QStringLiteral("Resume harvesting emails"));
    place(m_resumeButton, kCmdResume);
    m_nextSearchButton = makeButton(m_searchesFrame, "cmdNextSearch", QStringLiteral("Next"),
                                    QStringLiteral("Skip to your next search string"));
    place(m_nextSearchButton, kCmdNext);
    makeLabel(m_searchesFrame, "lblQueued", QStringLiteral("Preview - Next 20 Sites Queued:"),
              kLabelQueued);
    m_siteQueueList = makeList(m_searchesFrame, "List2");
    m_siteQueueList->setSelectionMode(QAbstractItemView::NoSelection);
    m_siteQueueList->setGeometry(px(this, m_design.list1Left), py(this, m_design.list2Top),
                                 px(this, 3000), py(this, 1500));

    // Emails: the stored numbers
    m_numbersFrame = makeFrame(m_surface, "Frame2", QStringLiteral("Emails"));
    m_viewDatabaseButton =
        makeButton(m_numbersFrame, "cmdViewDatabase", QStringLiteral("View Fax Database"),
                   QStringLiteral("Varnel.mdb stores all thefaxes you have found"));
    m_exportButton =
        makeButton(m_numbersFrame, "Command2", QStringLiteral("Export Numbers to List"),
                   QStringLiteral("Export all the faxes you have found"));
    m_deleteAllNumbersButton =
        makeButton(m_numbersFrame, "Command3", QStringLiteral("Delete All Fax Numbers"),
                   QStringLiteral("Delete all saved faxes"));
    const double tops[3] = {kViewDatabaseTop, kCommand2Top, kCommand3Top};
    QPushButton *dbButtons[3] = {m_viewDatabaseButton, m_exportButton, m_deleteAllNumbersButton};
    for (int i = 0; i < 3; ++i)
        dbButtons[i]->setGeometry(px(this, m_design.list1Left), py(this, tops[i]), px(this, 3000),
                                  py(this, kButtonHeight));
    makeLabel(m_numbersFrame, "lblFound", QStringLiteral("Preview - Last 20 Numbers Found:"),
              kLabelFound);
    m_numberPreviewList = makeList(m_numbersFrame, "List3");
    m_numberPreviewList->setSelectionMode(QAbstractItemView::NoSelection);
    m_numberPreviewList->setGeometry(px(this, m_design.list1Left), py(this, m_design.list3Top),
                                     px(this, 3000), py(this, 1500));

    // Options: one control for each row of the option table, created place by place so
    // that the tab order follows the frame.
    m_optionsFrame = makeFrame(m_surface, "Frame4", QStringLiteral("Options"));
    makeLabel(m_optionsFrame, "lblAuto", QStringLiteral("Auto Search Advance:"), kLabelAuto);
    // Kept on purpose (tst_mainwindow controls_showCaptionsAndTooltips): the captions and tooltips
    // of the original window, spelling included.
    makeLabel(m_optionsFrame, "lblAdvance",
              QStringLiteral("Advancd after this many websites are scanned:"), kLabelAdvance);
    makeLabel(m_optionsFrame, "lblLastSearch", QStringLiteral("After last search:"), kLabelLast);
    makeLabel(m_optionsFrame, "lblAudio", QStringLiteral("Audio:"), kLabelAudio);
    makeLabel(m_optionsFrame, "lblOther", QStringLiteral("Other:"), kLabelOther);
    const OptionTable &table = m_presenter->options()->table();
    m_optionControls.assign(table.size(), nullptr);
    int stacked[2] = {0, 0}; // rows so far in the audio and the other column
    int across = 0;          // rows so far across the frame, below both columns
    for (int place = 0; place <= int(OptionRow::Place::Across); ++place) {
        for (size_t i = 0; i < table.size(); ++i) {
            const OptionRow &row = table[i];
            if (int(row.place) != place)
                continue;
            Place p{};
            switch (row.place) {
            case OptionRow::Place::SearchEngine:
                p = kCombo1;
                break;
            case OptionRow::Place::ResultCount:
                p = kCombo2;
                break;
            case OptionRow::Place::AutoAdvance:
                p = kChkAuto;
                break;
            case OptionRow::Place::AdvanceAfter:
                p = kCmbAdvance;
                break;
            case OptionRow::Place::AfterLastSearch:
                p = kCmbLastSearch;
                break;
            case OptionRow::Place::CrawlOptions:
            case OptionRow::Place::SettingsOnly:
                break;
            case OptionRow::Place::Audio:
            case OptionRow::Place::Other: {
                const bool audio = row.place == OptionRow::Place::Audio;
                int &n = stacked[audio ? 0 : 1];
                p = Place{audio ? kAudioLeft : kOtherLeft, kCheckTop + n * kCheckStep, -1, -1};
                ++n;
                break;
            }
            case OptionRow::Place::Across:
                p = Place{kAudioLeft,
                          kCheckTop + (std::max(stacked[0], stacked[1]) + across) * kCheckStep, -1,
                          -1};
                ++across;
                break;
            }
            QWidget *control = makeOptionControl(m_optionsFrame, row, p);
            m_optionControls[i] = control;
        }
    }
    // The options of how pages are downloaded have a dialog of their own, where each shows
    // its caption and value whole.
    const int rows = std::max(stacked[0], stacked[1]) + across;
    m_crawlOptionsButton =
        makeButton(m_optionsFrame, "cmdCrawlOptions", QStringLiteral("&Crawl Options…"),
                   QStringLiteral("Parallel downloads, pages per site, downloads per site, "
                                  "User-Agent, robots.txt and local network addresses"));
    const double buttonTop = kCheckTop + rows * kCheckStep + kCrawlButtonGap;
    m_crawlOptionsButton->setGeometry(px(this, kAudioLeft), py(this, buttonTop),
                                      m_crawlOptionsButton->sizeHint().width(),
                                      py(this, kRowHeight));
    connect(m_crawlOptionsButton, &QPushButton::clicked, this, &MainWindow::crawlOptionsClicked);
    // More rows than the original three make the frame taller, and the statistics below it
    // move down.
    const double grown = (rows - 3) * kCheckStep + kCrawlButtonGap + kRowHeight;
    m_design.frame4Height += grown;
    m_design.frame3Top += grown;

    // Statistics
    m_statisticsFrame = makeFrame(m_surface, "Frame3", QStringLiteral("Statistics"));
    QLabel *session = makeLabel(m_statisticsFrame, "lblSession", QStringLiteral("This Session"),
                                Place{kSessionLeft, kStatsHeadTop, -1, -1});
    QLabel *hist = makeLabel(m_statisticsFrame, "lblHistorically", QStringLiteral("Historically"),
                             Place{kHistLeft, kStatsHeadTop, -1, -1});
    for (QLabel *head : {session, hist}) {
        QFont f = head->font();
        f.setBold(true);
        head->setFont(f);
        head->adjustSize();
    }
    const struct
    {
        const char *caption;
        double left, valueLeft;
        int row;
    } stats[5] = {
        {"Sites Scanned:", kSessionLeft, kSessionValueLeft, 0},
        {"Sites Found:", kSessionLeft, kSessionValueLeft, 1},
        {"Numbers Found:", kSessionLeft, kSessionValueLeft, 2},
        {"Sites Scanned:", kHistLeft, kHistValueLeft, 0},
        {"Numbers Found:", kHistLeft, kHistValueLeft, 1},
    };
    for (int i = 0; i < 5; ++i) {
        const double top = kStatsRowTop + stats[i].row * kStatsRowStep;
        makeLabel(m_statisticsFrame, qPrintable(QStringLiteral("lblStatsCaption%1").arg(i)),
                  QLatin1String(stats[i].caption), Place{stats[i].left, top, -1, -1});
        QLabel *value =
            makeLabel(m_statisticsFrame, qPrintable(QStringLiteral("lblStats%1").arg(i)),
                      QStringLiteral("0"), Place{stats[i].valueLeft, top, kStatsValueWidth, -1});
        m_statisticsLabels[size_t(i)] = value;
    }
    // With a shared server only: the team's totals, in the free row of the right column.
    m_teamLabel = makeLabel(m_statisticsFrame, "lblTeam", QString(),
                            Place{kHistLeft, kStatsRowTop + 2 * kStatsRowStep, -1, -1});
    m_teamLabel->hide();

    // Element 0 of each skinned label array: the label overlay gives the labels of these four
    // containers their skinned copies.
    QGroupBox *frames[4] = {m_searchesFrame, m_numbersFrame, m_optionsFrame, m_statisticsFrame};
    for (int i = 0; i < 4; ++i) {
        auto *s = new SkinLabel(frames[i]);
        s->setObjectName(QStringLiteral("SkinLabel%1").arg(i + 1));
        s->hide();
        m_skinLabels[size_t(i)] = s;
    }

    // Status bar: four panels side by side (layoutControls() sets their widths), the progress bar
    // over panel 4.
    m_statusStrip = new QStatusBar(this);
    m_statusStrip->setObjectName(QStringLiteral("StatusBar1"));
    m_statusStrip->setSizeGripEnabled(false);
    m_statusStrip->setFixedHeight(fontMetrics().height() + 12);
    setStatusBar(m_statusStrip);
    for (int i = 0; i < 4; ++i) {
        auto *p = new QLabel(m_statusStrip);
        p->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        p->setFrameShape(QFrame::NoFrame);
        p->setIndent(0);
        m_panels[size_t(i)] = p;
    }
    m_progressBar = new QProgressBar(m_statusStrip);
    m_progressBar->setObjectName(QStringLiteral("pb1"));
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);

    // Menus. The original captions stay as they were; the items added since follow the
    // desktop's conventions (a mnemonic each), and the keys a user expects reach the menus
    // and the common items: Alt+F, Alt+H and Alt+A open the menus, F1 the help, Ctrl+Q ends.
    QMenu *file = menuBar()->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    m_importSitesAction = file->addAction(QStringLiteral("&Import Sites…"));
    m_importSitesAction->setObjectName(QStringLiteral("mnuImportSites"));
    m_importSitesAction->setToolTip(QStringLiteral(
        "Harvest the sites of a file: one site or address a line, or a CSV file with a column "
        "named website, url, domain or site"));
    m_placesAction = file->addAction(QStringLiteral("&Places…"));
    m_placesAction->setObjectName(QStringLiteral("mnuPlaces"));
    m_placesAction->setToolTip(QStringLiteral(
        "Search once for every place of a list (towns, districts, postal codes): \"plumber\" "
        "with 40 towns becomes 40 searches"));
    m_storeAction = file->addAction(QStringLiteral("&Database…"));
    m_storeAction->setObjectName(QStringLiteral("mnuDatabaseItem"));
    connect(m_storeAction, &QAction::triggered, this, [this] {
        auto *dialog = new StoreDialog(m_presenter->settings(), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
    file->addSeparator();
    m_exitAction = file->addAction(QStringLiteral("Exit"));
    m_exitAction->setObjectName(QStringLiteral("mnuFileItem"));
    m_exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu *help = menuBar()->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    m_helpAction = help->addAction(QStringLiteral("View Help File"));
    m_helpAction->setObjectName(QStringLiteral("mnuHelpItem"));
    m_helpAction->setShortcut(QKeySequence(Qt::Key_F1));
    QMenu *about = menuBar()->addMenu(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("mnuAbout"));
    m_aboutAction = about->addAction(QStringLiteral("About this software"));
    m_aboutAction->setObjectName(QStringLiteral("mnuAboutItem"));
    for (const auto &[menu, key] : {std::pair<QMenu *, Qt::Key>{file, Qt::Key_F},
                                    std::pair<QMenu *, Qt::Key>{help, Qt::Key_H},
                                    std::pair<QMenu *, Qt::Key>{about, Qt::Key_A}}) {
        auto *open = new QShortcut(QKeySequence(Qt::ALT | key), this);
        connect(open, &QShortcut::activated, this, [this, menu = menu] {
            const QRect at = menuBar()->actionGeometry(menu->menuAction());
            menu->popup(menuBar()->mapToGlobal(at.bottomLeft()));
        });
    }
    connect(m_importSitesAction, &QAction::triggered, this, &MainWindow::importSitesClicked);
    connect(m_placesAction, &QAction::triggered, this, &MainWindow::placesClicked);
    connect(m_exitAction, &QAction::triggered, this, &MainWindow::exitClicked);
    connect(m_helpAction, &QAction::triggered, this, &MainWindow::helpClicked);
    connect(m_aboutAction, &QAction::triggered, this, &MainWindow::aboutClicked);
}

QWidget *MainWindow::optionControl(OptionId which) const
{
    const OptionTable &table = m_presenter->options()->table();
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].id == which)
            return m_optionControls[i];
    }
    return nullptr;
}

QPushButton *MainWindow::button(Button which) const
{
    switch (which) {
    case Button::Start:
        return m_startButton;
    case Button::Stop:
        return m_stopButton;
    case Button::Resume:
        return m_resumeButton;
    case Button::NextSearch:
        return m_nextSearchButton;
    case Button::ViewDatabase:
        return m_viewDatabaseButton;
    case Button::ExportNumbers:
        return m_exportButton;
    case Button::DeleteAllNumbers:
        return m_deleteAllNumbersButton;
    case Button::AddSearch:
        return m_addSearchButton;
    case Button::DeleteSearch:
        return m_deleteSearchButton;
    case Button::Website:
        return m_websiteButton;
    }
    return nullptr;
}

QComboBox *MainWindow::combo(OptionId which) const
{
    return qobject_cast<QComboBox *>(optionControl(which));
}

// ---- binding to the presenter ---------------------------------------------------------------

void MainWindow::bindPresenter()
{
    HarvestPresenter *p = m_presenter;
    m_searchList->setModel(p->searches());
    m_siteQueueList->setModel(p->siteQueue());
    m_numberPreviewList->setModel(p->numberPreview());

    // The search list's selection is the list's selected entry, both ways.
    connect(m_searchList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, p] {
                const QModelIndexList rows = m_searchList->selectionModel()->selectedRows();
                p->searches()->setSelectedRow(rows.isEmpty() ? -1 : rows.first().row());
            });
    connect(p->searches(), &TextList::selectedRowChanged, this, &MainWindow::syncSearchSelection);
    // What each finished search yielded, for the user to see where the yield dries up.
    connect(p, &HarvestPresenter::yieldReported, this, [this, p] {
        m_searchList->setToolTip(QStringLiteral("What each search yielded:\n") +
                                 p->yieldLog()
                                     .mid(std::max<qsizetype>(0, p->yieldLog().size() - 15))
                                     .join(QLatin1Char('\n')));
    });

    // Buttons: clicks go to the handlers, the enabled states come back.
    const struct
    {
        Button which;
        void (HarvestPresenter::*handler)();
    } clicks[] = {
        {Button::Start, &HarvestPresenter::startClicked},
        {Button::Stop, &HarvestPresenter::stopClicked},
        {Button::Resume, &HarvestPresenter::resumeClicked},
        {Button::NextSearch, &HarvestPresenter::nextSearchClicked},
        {Button::ViewDatabase, &HarvestPresenter::viewDatabaseClicked},
        {Button::ExportNumbers, &HarvestPresenter::exportClicked},
        {Button::DeleteAllNumbers, &HarvestPresenter::deleteAllNumbersClicked},
        {Button::AddSearch, &HarvestPresenter::addSearchClicked},
        {Button::DeleteSearch, &HarvestPresenter::deleteSearchClicked},
        {Button::Website, &HarvestPresenter::websiteClicked},
    };
    for (const auto &c : clicks) {
        connect(button(c.which), &QPushButton::clicked, p, c.handler);
        syncButton(c.which);
    }
    connect(p, &HarvestPresenter::buttonEnabledChanged, this,
            [this](Button which, bool) { syncButton(which); });

    // Options: a pick, a click or an edit goes to the presenter, which writes it through.
    for (const OptionRow &row : p->options()->table()) {
        if (QWidget *control = optionControl(row.id))
            OptionControl::bind(control, p, row.id);
    }
    syncOption(OptionId::FixedChoices);
    connect(p, &HarvestPresenter::optionValueChanged, this, &MainWindow::syncOption);
    connect(p, &HarvestPresenter::choiceTextChanged, this,
            [this](OptionId o, const QString &) { syncOption(o); });

    // The new search string: its text is the presenter's; Enter adds it.
    connect(m_newSearchEdit, &QLineEdit::textChanged, p, &HarvestPresenter::setNewSearchText);
    connect(p, &HarvestPresenter::newSearchTextChanged, this, [this](const QString &text) {
        if (m_newSearchEdit->text() != text)
            m_newSearchEdit->setText(text);
    });
    connect(m_newSearchEdit, &QLineEdit::returnPressed, p, [p] { p->newSearchKeyPressed(13); });

    // Statistics, status panels, progress.
    connect(p, &HarvestPresenter::statisticsChanged, this, &MainWindow::showStatistics);
    connect(p, &HarvestPresenter::statusTextChanged, this, &MainWindow::setPanelText);
    for (int n = 1; n <= 4; ++n)
        setPanelText(n, p->statusText(n));
    connect(p, &HarvestPresenter::progressChanged, m_progressBar, &QProgressBar::setValue);
    m_progressBar->setValue(p->progress());

    connect(p, &HarvestPresenter::focusRequested, this, [this](HarvestPresenter::Focus f) {
        QWidget *target =
            f == HarvestPresenter::Focus::NewSearch      ? static_cast<QWidget *>(m_newSearchEdit)
            : f == HarvestPresenter::Focus::SearchEngine ? optionControl(OptionId::SearchEngine)
                                                         : optionControl(OptionId::ResultCount);
        target->setFocus(Qt::OtherFocusReason);
    });
    connect(p, &HarvestPresenter::numbersWindowRequested, this, [this, p] {
        NumbersWindow *w = m_windows->openNumbers(p->store(), p->settings());
        connect(w, &NumbersWindow::numbersDeleted, p, &HarvestPresenter::numbersDeleted,
                Qt::UniqueConnection);
    });
    connect(p, &HarvestPresenter::openDirectoryRequested, this, [this](const QString &dir) {
        if (openUrl)
            openUrl(QUrl::fromLocalFile(dir));
    });
    connect(p, &HarvestPresenter::exportRequested, this, [this, p] {
        // An export beside a harvest deletes nothing.
        m_windows->openExport(
            p->store(), [p] { p->deleteAllNumbers(); },
            [p] { return p->isEnabled(Button::DeleteAllNumbers); });
    });
    connect(p, &HarvestPresenter::websiteRequested, this, [this] { m_windows->openBrowser(); });
    // The store reports from inside an operation: the box opens once that operation is done.
    connect(p, &HarvestPresenter::storeProblem, this, &MainWindow::showStoreProblem,
            Qt::QueuedConnection);
}

void MainWindow::syncButton(Button which)
{
    if (QPushButton *b = button(which))
        b->setEnabled(m_presenter->isClickable(which));
    // An export beside a harvest deletes nothing.
    if (which == Button::DeleteAllNumbers) {
        if (ExportDialog *e = m_windows->exportDialog())
            e->updateDeletion();
    }
}

void MainWindow::syncOption(OptionId which)
{
    if (which == OptionId::FixedChoices) {
        // The lists take typed text only as the original window's did, with the option off.
        const bool typed = !m_presenter->options()->isOn(OptionId::FixedChoices);
        for (const OptionRow &row : m_presenter->options()->table()) {
            if (QComboBox *c = combo(row.id))
                OptionControl::setTyped(c, m_presenter, row.id, typed);
        }
    }
    if (QWidget *control = optionControl(which))
        OptionControl::sync(control, m_presenter, which);
}

void MainWindow::crawlOptionsClicked()
{
    if (!m_crawlOptions) {
        m_crawlOptions = new CrawlOptionsDialog(m_presenter, this);
        m_crawlOptions->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_crawlOptions->show();
    m_crawlOptions->raise();
    m_crawlOptions->activateWindow();
}

void MainWindow::syncSearchSelection(int index)
{
    QItemSelectionModel *sel = m_searchList->selectionModel();
    const QModelIndexList rows = sel->selectedRows();
    const int shown = rows.isEmpty() ? -1 : rows.first().row();
    if (shown == index)
        return;
    if (index < 0)
        sel->clearSelection();
    else
        sel->select(m_searchList->model()->index(index, 0), QItemSelectionModel::ClearAndSelect);
}

void MainWindow::showStatistics()
{
    const HarvestPresenter::Statistics st = m_presenter->statistics();
    const qint32 values[5] = {st.sitesScanned, st.sitesFound, st.numbersFound, st.sitesScannedEver,
                              st.numbersFoundEver};
    for (int i = 0; i < 5; ++i)
        m_statisticsLabels[size_t(i)]->setText(QString::number(values[i]));
    if (st.team) {
        m_teamLabel->setText(QStringLiteral("Team of %1: %2 sites, %3 numbers")
                                 .arg(st.team->harvesters)
                                 .arg(st.team->sitesScanned)
                                 .arg(st.team->numbersStored));
        m_teamLabel->adjustSize();
        m_teamLabel->show();
    }
}

QString MainWindow::panelText(int p) const
{
    return p >= 1 && p <= 4 ? m_panelTexts[size_t(p - 1)] : QString();
}

void MainWindow::setPanelText(int p, const QString &text)
{
    if (p < 1 || p > 4)
        return;
    m_panelTexts[size_t(p - 1)] = text;
    fitPanelText(p);
}

void MainWindow::fitPanelText(int p)
{
    // A text longer than its panel is shortened in the middle (an address keeps its host and
    // its byte count); the tooltip always shows it whole.
    QLabel *l = panel(p);
    const QString &full = m_panelTexts[size_t(p - 1)];
    const QString shown =
        l->fontMetrics().elidedText(full, Qt::ElideMiddle, std::max(0, l->contentsRect().width()));
    l->setText(shown);
    l->setToolTip(full);
}

QLabel *MainWindow::panel(int p) const
{
    if (p < 1 || p > 4)
        return nullptr;
    return m_panels[size_t(p - 1)];
}

void MainWindow::showStoreProblem(const QString &message)
{
    // One box at a time: the store reports a problem once until it works again.
    // (A guarded pointer, not a handler of the box's end: the box may end with the window.)
    if (m_storeProblemBox)
        return;
    auto *box =
        new QMessageBox(QMessageBox::Warning, strProductName, message, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("storeProblem"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_storeProblemBox = box;
    box->open();
}

// ---- start-up and shutdown -----------------------------------------------------------------

void MainWindow::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    if (strProductName.isEmpty())
        LoadProductInfo();
    setWindowTitle(strProductName + QStringLiteral(" by ") + strCompanyName);
    m_websiteButton->setText(QStringLiteral("Visit ") + strWebsite);
    // Options, counters, statistics, status panels, the number preview, the search strings
    // and the head of a saved queue (which enables Resume).
    m_presenter->load();
    applySkinAndBanner();
    if (m_presenter->settings() && HelpWindow::showAtStartup(*m_presenter->settings()))
        m_windows->openHelp(m_presenter->settings());
}

void MainWindow::applySkinAndBanner()
{
    if (bSkin) {
        QList<QWidget *> containers;
        for (SkinLabel *s : m_skinLabels)
            containers << s->parentWidget();
        applyLabelOverlay(this, containers);
        SkinForm(this);
    }
    if (bBanner) {
        // The frames move down to make room for the banner below the web site button.
        const int bannerHeight = py(this, 900);
        const double shift = Twips::fromPixelsY(this, bannerHeight) + 100;
        moveFramesForBanner({m_searchesFrame, m_numbersFrame, m_statisticsFrame, m_optionsFrame},
                            bannerHeight);
        m_design.frameTop += shift;
        m_design.frame3Top += shift;
        auto *wbBanner = new QWebEngineView(m_surface);
        wbBanner->setObjectName(QStringLiteral("wbBanner"));
        wbBanner->setGeometry(px(this, m_design.websiteLeft),
                              py(this, m_design.websiteTop + m_design.websiteHeight + 60),
                              std::max(0, width() - px(this, m_design.websiteLeft + 200)),
                              bannerHeight);
        auto *wbPicture = new QLabel(m_surface);
        wbPicture->setObjectName(QStringLiteral("wbPicture"));
        SetupBanner(this, wbBanner, wbPicture);
        updateMinimumSize();
        layoutControls();
    }
}

void MainWindow::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // Stops the harvest, closes every socket and ends a discovery run.
    m_presenter->shutDown();
    // The other windows close, and the program ends (or waits for the browser window).
    m_windows->mainWindowClosed();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    unload();
    event->accept();
}

void MainWindow::exitClicked()
{
    close();
}

void MainWindow::importSitesClicked()
{
    const QString path = FileDialogs::openFileName(
        this, QStringLiteral("Import Sites"), QString(),
        QStringLiteral("Lists of sites (*.txt *.csv *.tsv);;All files (*)"));
    if (!path.isEmpty())
        m_presenter->importSitesFromFile(path);
}

void MainWindow::placesClicked()
{
    auto *dialog = new PlacesDialog(m_presenter, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void MainWindow::helpClicked()
{
    m_windows->openHelp(m_presenter->settings());
}

void MainWindow::aboutClicked()
{
    m_windows->openAbout();
}

// ---- layout --------------------------------------------------------------------------------

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    layoutControls();
}

void MainWindow::layoutControls()
{
    // The client area below the menu bar, status bar included.
    const int widthPx = width();
    const int heightPx = m_surface->height() + m_statusStrip->height();
    const int statusPx = m_statusStrip->height();
    const MainLayout l =
        ::LayoutMain(Twips::fromPixelsX(this, widthPx), Twips::fromPixelsY(this, heightPx),
                     Twips::fromPixelsY(this, statusPx), m_design);

    // Panels: edges rounded, so the pixel widths add up to the window's width as well.
    int edge = 0;
    for (int i = 0; i < 4; ++i) {
        const int right = i == 3 ? widthPx : px(this, l.panelLeft[i] + l.panelWidth[i]);
        m_panels[size_t(i)]->setGeometry(edge, 0, std::max(0, right - edge), statusPx);
        fitPanelText(i + 1);
        edge = right;
    }
    // Over panel 4, inset on each side; centred in the bar's height.
    const int barHeight = std::max(0, statusPx - 8);
    m_progressBar->setGeometry(px(this, l.pb1Left), (statusPx - barHeight) / 2,
                               px(this, l.pb1Width), barHeight);

    m_statisticsFrame->setGeometry(px(this, l.frame3Left), py(this, m_design.frame3Top),
                                   px(this, m_design.frameRightWidth), py(this, l.frame3Height));
    m_optionsFrame->setGeometry(px(this, l.frame4Left), py(this, m_design.frameTop),
                                px(this, m_design.frameRightWidth),
                                py(this, m_design.frame4Height));
    m_numbersFrame->setGeometry(px(this, l.frame2Left), py(this, m_design.frameTop),
                                px(this, l.frame2Width), py(this, l.frame2Height));
    m_searchesFrame->setGeometry(px(this, m_design.frame1Left), py(this, m_design.frameTop),
                                 px(this, l.frame1Width), py(this, l.frame1Height));
    const int listWidth = px(this, l.list1Width);
    m_searchList->resize(listWidth, m_searchList->height());
    m_siteQueueList->setGeometry(m_siteQueueList->x(), m_siteQueueList->y(), listWidth,
                                 py(this, l.list2Height));
    m_numberPreviewList->setGeometry(m_numberPreviewList->x(), m_numberPreviewList->y(), listWidth,
                                     py(this, l.list3Height));
    for (QPushButton *b : {m_viewDatabaseButton, m_exportButton, m_deleteAllNumbersButton})
        b->resize(listWidth, b->height());
    m_websiteButton->resize(px(this, l.websiteWidth), m_websiteButton->height());
    fitOptionControls();
}

void MainWindow::fitOptionControls()
{
    // A value longer than its design width ("Continue Until Stopped") is shown whole: the
    // control widens, and moves left only as far as the frame's edge needs. (Measured once the
    // window's style and skin are in place.)
    const int right = px(this, m_design.frameRightWidth - kFrameInnerMargin);
    if (m_crawlOptionsButton->width() < m_crawlOptionsButton->sizeHint().width())
        m_crawlOptionsButton->resize(m_crawlOptionsButton->sizeHint().width(),
                                     m_crawlOptionsButton->height());
    for (QWidget *control : m_optionControls) {
        if (!control)
            continue;
        const int need = control->sizeHint().width();
        if (control->width() < need)
            control->setGeometry(std::min(control->x(), right - need), control->y(), need,
                                 control->height());
    }
}

void MainWindow::updateMinimumSize()
{
    // The controls at fixed design places stay whole: m_searchesFrame holds its widest row,
    // m_statisticsFrame its statistics, and m_siteQueueList keeps a few lines.
    const double frame1Need = kCmbDel.x + kCmbDel.w + 180;
    const double minWidth = 2 * (frame1Need + 80) + m_design.frameRightWidth + 175;
    const double minFrame3 =
        std::max(kStatsBottom, m_design.list2Top + 100 + 900 - m_design.frame4Height);
    const int statusPx = m_statusStrip->height();
    const int minHeight =
        py(this, m_design.frame3Top + minFrame3) + statusPx + menuBar()->sizeHint().height();
    setMinimumSize(px(this, minWidth), minHeight);
}
