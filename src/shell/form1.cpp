#include "form1.h"

#include "filedialogs.h"
#include "form8.h"
#include "frmabout.h"
#include "frmexport.h"
#include "frmsplash.h"
#include "frmwebsite.h"
#include "mainwindowlistbuilder.h"
#include "numberswindow.h"
#include "productinfo.h"
#include "settingsstore.h"
#include "shellglobals.h"
#include "skin.h"
#include "store.h"
#include "storedialog.h"
#include "textlist.h"
#include "twips.h"

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
#include <QSpinBox>
#include <QStatusBar>
#include <QWebEngineView>

#include <algorithm>
#include <cmath>

std::function<void()> Form1::quitApplication = [] { QCoreApplication::quit(); };

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

// searchesFrame "Searches"
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
// numbersFrame "Emails"
constexpr double kViewDatabaseTop = 390;
constexpr double kCommand2Top = 870;
constexpr double kCommand3Top = 1350;
constexpr Place kLabelFound{180, 1890, -1, -1};
// optionsFrame "Options"
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
constexpr double kAudioLeft = 180;
constexpr double kOtherLeft = 2820;
// statisticsFrame "Statistics"
constexpr double kStatsHeadTop = 390;
constexpr double kStatsRowTop = 720;
constexpr double kStatsRowStep = 300;
constexpr double kSessionLeft = 180;
constexpr double kSessionValueLeft = 1800;
constexpr double kHistLeft = 2820;
constexpr double kHistValueLeft = 4440;
constexpr double kStatsValueWidth = 750;
constexpr double kStatsBottom = 1800; // statisticsFrame is never made lower than this

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

// The control of one option row, with the row's object name and tooltip.
QWidget *makeOptionControl(QWidget *parent, const OptionRow &row, const Place &p)
{
    QWidget *control = nullptr;
    switch (row.kind) {
    case OptionRow::Kind::Check:
        control = new QCheckBox(row.caption, parent);
        break;
    case OptionRow::Kind::Choice: {
        auto *c = new QComboBox(parent);
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setCompleter(nullptr);
        c->addItems(row.items);
        c->setMaxVisibleItems(10);
        control = c;
        break;
    }
    case OptionRow::Kind::Number: {
        auto *n = new QSpinBox(parent);
        n->setRange(row.minimum, row.maximum);
        n->setPrefix(row.caption + QStringLiteral(": "));
        control = n;
        break;
    }
    case OptionRow::Kind::Text: {
        auto *t = new QLineEdit(parent);
        t->setPlaceholderText(row.caption);
        control = t;
        break;
    }
    }
    control->setObjectName(row.objectName);
    if (!row.tooltip.isEmpty())
        control->setToolTip(row.tooltip);
    place(control, p);
    return control;
}

} // namespace

Form1::Form1(HarvestPresenter *presenter, QWidget *parent)
    : QMainWindow(parent), m_presenter(presenter)
{
    setObjectName(QStringLiteral("Form1"));
    openUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    buildControls();
    bindPresenter();
    resize(px(this, kDefaultWidth), py(this, kDefaultHeight));
    updateMinimumSize();
}

Form1::~Form1() = default;

// ---- controls ------------------------------------------------------------------------------

void Form1::buildControls()
{
    m_surface = new QWidget(this);
    m_surface->setObjectName(QStringLiteral("surface"));
    setCentralWidget(m_surface);

    websiteButton = makeButton(m_surface, "cmdWebsite", QString(), QString());
    websiteButton->setGeometry(px(this, m_design.websiteLeft), py(this, m_design.websiteTop),
                               px(this, 6000), py(this, m_design.websiteHeight));

    // Searches
    searchesFrame = makeFrame(m_surface, "Frame1", QStringLiteral("Searches"));
    makeLabel(searchesFrame, "lblSearchStrings", QStringLiteral("Search Strings"),
              kLabelSearchStrings);
    searchList = makeList(searchesFrame, "List1");
    searchList->setGeometry(px(this, m_design.list1Left), py(this, 630), px(this, 3000),
                            py(this, kList1Height));
    searchList->setSelectionMode(QAbstractItemView::SingleSelection);
    makeLabel(searchesFrame, "lblNewSearch", QStringLiteral("Enter a new Search String:"),
              kLabelNewSearch);
    newSearchEdit = new QLineEdit(searchesFrame);
    newSearchEdit->setObjectName(QStringLiteral("Text1"));
    place(newSearchEdit, kText1);
    addSearchButton = makeButton(searchesFrame, "cmdAdd", QStringLiteral("Add"), QString());
    place(addSearchButton, kCmdAdd);
    deleteSearchButton = makeButton(searchesFrame, "cmbDel", QStringLiteral("Del"), QString());
    place(deleteSearchButton, kCmbDel);
    startButton = makeButton(searchesFrame, "Command1", QStringLiteral("Start"),
                             QStringLiteral("Begin Harvesting Faxes"));
    place(startButton, kCommand1);
    stopButton = makeButton(searchesFrame, "cmdStop", QStringLiteral("Stop"),
                            QStringLiteral("Stop harvesting faxes"));
    place(stopButton, kCmdStop);
    resumeButton = makeButton(searchesFrame, "cmdResume", QStringLiteral("Resume"),
                              QStringLiteral("Resume harvesting emails"));
    place(resumeButton, kCmdResume);
    nextSearchButton = makeButton(searchesFrame, "cmdNextSearch", QStringLiteral("Next"),
                                  QStringLiteral("Skip to your next search string"));
    place(nextSearchButton, kCmdNext);
    makeLabel(searchesFrame, "lblQueued", QStringLiteral("Preview - Next 20 Sites Queued:"),
              kLabelQueued);
    siteQueueList = makeList(searchesFrame, "List2");
    siteQueueList->setSelectionMode(QAbstractItemView::NoSelection);
    siteQueueList->setGeometry(px(this, m_design.list1Left), py(this, m_design.list2Top),
                               px(this, 3000), py(this, 1500));

    // Emails: the stored numbers
    numbersFrame = makeFrame(m_surface, "Frame2", QStringLiteral("Emails"));
    viewDatabaseButton =
        makeButton(numbersFrame, "cmdViewDatabase", QStringLiteral("View Fax Database"),
                   QStringLiteral("Varnel.mdb stores all thefaxes you have found"));
    exportButton = makeButton(numbersFrame, "Command2", QStringLiteral("Export Numbers to List"),
                              QStringLiteral("Export all the faxes you have found"));
    deleteAllNumbersButton =
        makeButton(numbersFrame, "Command3", QStringLiteral("Delete All Fax Numbers"),
                   QStringLiteral("Delete all saved faxes"));
    const double tops[3] = {kViewDatabaseTop, kCommand2Top, kCommand3Top};
    QPushButton *dbButtons[3] = {viewDatabaseButton, exportButton, deleteAllNumbersButton};
    for (int i = 0; i < 3; ++i)
        dbButtons[i]->setGeometry(px(this, m_design.list1Left), py(this, tops[i]), px(this, 3000),
                                  py(this, kButtonHeight));
    makeLabel(numbersFrame, "lblFound", QStringLiteral("Preview - Last 20 Numbers Found:"),
              kLabelFound);
    numberPreviewList = makeList(numbersFrame, "List3");
    numberPreviewList->setSelectionMode(QAbstractItemView::NoSelection);
    numberPreviewList->setGeometry(px(this, m_design.list1Left), py(this, m_design.list3Top),
                                   px(this, 3000), py(this, 1500));

    // Options: one control for each row of the option table, created place by place so
    // that the tab order follows the frame.
    optionsFrame = makeFrame(m_surface, "Frame4", QStringLiteral("Options"));
    makeLabel(optionsFrame, "lblAuto", QStringLiteral("Auto Search Advance:"), kLabelAuto);
    // Kept on purpose (tst_form1 controls_showCaptionsAndTooltips): the captions and tooltips
    // of the original window, spelling included.
    makeLabel(optionsFrame, "lblAdvance",
              QStringLiteral("Advancd after this many websites are scanned:"), kLabelAdvance);
    makeLabel(optionsFrame, "lblLastSearch", QStringLiteral("After last search:"), kLabelLast);
    makeLabel(optionsFrame, "lblAudio", QStringLiteral("Audio:"), kLabelAudio);
    makeLabel(optionsFrame, "lblOther", QStringLiteral("Other:"), kLabelOther);
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
            m_optionControls[i] = makeOptionControl(optionsFrame, row, p);
        }
    }
    // More rows of check boxes than the original three make the frame taller, and the
    // statistics below it move down.
    const int rows = std::max(stacked[0], stacked[1]) + across;
    if (rows > 3) {
        m_design.frame4Height += (rows - 3) * kCheckStep;
        m_design.frame3Top += (rows - 3) * kCheckStep;
    }

    // Statistics
    statisticsFrame = makeFrame(m_surface, "Frame3", QStringLiteral("Statistics"));
    QLabel *session = makeLabel(statisticsFrame, "lblSession", QStringLiteral("This Session"),
                                Place{kSessionLeft, kStatsHeadTop, -1, -1});
    QLabel *hist = makeLabel(statisticsFrame, "lblHistorically", QStringLiteral("Historically"),
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
        makeLabel(statisticsFrame, qPrintable(QStringLiteral("lblStatsCaption%1").arg(i)),
                  QLatin1String(stats[i].caption), Place{stats[i].left, top, -1, -1});
        QLabel *value =
            makeLabel(statisticsFrame, qPrintable(QStringLiteral("lblStats%1").arg(i)),
                      QStringLiteral("0"), Place{stats[i].valueLeft, top, kStatsValueWidth, -1});
        statisticsLabels[size_t(i)] = value;
    }
    // With a shared server only: the team's totals, in the free row of the right column.
    teamLabel = makeLabel(statisticsFrame, "lblTeam", QString(),
                          Place{kHistLeft, kStatsRowTop + 2 * kStatsRowStep, -1, -1});
    teamLabel->hide();

    // Element 0 of each skinned label array: the label overlay gives the labels of these four
    // containers their skinned copies.
    QGroupBox *frames[4] = {searchesFrame, numbersFrame, optionsFrame, statisticsFrame};
    for (int i = 0; i < 4; ++i) {
        auto *s = new SkinLabel(frames[i]);
        s->setObjectName(QStringLiteral("SkinLabel%1").arg(i + 1));
        s->hide();
        skinLabels[size_t(i)] = s;
    }

    // Status bar: four panels side by side (layoutControls() sets their widths), the progress bar
    // over panel 4.
    statusStrip = new QStatusBar(this);
    statusStrip->setObjectName(QStringLiteral("StatusBar1"));
    statusStrip->setSizeGripEnabled(false);
    statusStrip->setFixedHeight(fontMetrics().height() + 12);
    setStatusBar(statusStrip);
    for (int i = 0; i < 4; ++i) {
        auto *p = new QLabel(statusStrip);
        p->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        p->setFrameShape(QFrame::NoFrame);
        p->setIndent(0);
        m_panels[size_t(i)] = p;
    }
    progressBar = new QProgressBar(statusStrip);
    progressBar->setObjectName(QStringLiteral("pb1"));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);

    // Menus
    QMenu *file = menuBar()->addMenu(QStringLiteral("File"));
    importSitesAction = file->addAction(QStringLiteral("Import Sites…"));
    importSitesAction->setObjectName(QStringLiteral("mnuImportSites"));
    importSitesAction->setToolTip(QStringLiteral(
        "Harvest the sites of a file: one site or address a line, or a CSV file with a column "
        "named website, url, domain or site"));
    storeAction = file->addAction(QStringLiteral("Database…"));
    storeAction->setObjectName(QStringLiteral("mnuDatabaseItem"));
    connect(storeAction, &QAction::triggered, this, [this] {
        auto *dialog = new StoreDialog(m_presenter->settings(), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
    file->addSeparator();
    exitAction = file->addAction(QStringLiteral("Exit"));
    exitAction->setObjectName(QStringLiteral("mnuFileItem"));
    QMenu *help = menuBar()->addMenu(QStringLiteral("Help"));
    helpAction = help->addAction(QStringLiteral("View Help File"));
    helpAction->setObjectName(QStringLiteral("mnuHelpItem"));
    QMenu *about = menuBar()->addMenu(QStringLiteral("About"));
    aboutAction = about->addAction(QStringLiteral("About this software"));
    aboutAction->setObjectName(QStringLiteral("mnuAboutItem"));
    connect(importSitesAction, &QAction::triggered, this, &Form1::importSitesClicked);
    connect(exitAction, &QAction::triggered, this, &Form1::exitClicked);
    connect(helpAction, &QAction::triggered, this, &Form1::helpClicked);
    connect(aboutAction, &QAction::triggered, this, &Form1::aboutClicked);
}

QWidget *Form1::optionControl(OptionId which) const
{
    const OptionTable &table = m_presenter->options()->table();
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].id == which)
            return m_optionControls[i];
    }
    return nullptr;
}

QPushButton *Form1::button(Button which) const
{
    switch (which) {
    case Button::Start:
        return startButton;
    case Button::Stop:
        return stopButton;
    case Button::Resume:
        return resumeButton;
    case Button::NextSearch:
        return nextSearchButton;
    case Button::ViewDatabase:
        return viewDatabaseButton;
    case Button::ExportNumbers:
        return exportButton;
    case Button::DeleteAllNumbers:
        return deleteAllNumbersButton;
    case Button::AddSearch:
        return addSearchButton;
    case Button::DeleteSearch:
        return deleteSearchButton;
    case Button::Website:
        return websiteButton;
    }
    return nullptr;
}

QComboBox *Form1::combo(OptionId which) const
{
    return qobject_cast<QComboBox *>(optionControl(which));
}

QCheckBox *Form1::checkBox(OptionId which) const
{
    return qobject_cast<QCheckBox *>(optionControl(which));
}

// ---- binding to the presenter ---------------------------------------------------------------

void Form1::bindPresenter()
{
    HarvestPresenter *p = m_presenter;
    searchList->setModel(p->searches());
    siteQueueList->setModel(p->siteQueue());
    numberPreviewList->setModel(p->numberPreview());

    // The search list's selection is the list's selected entry, both ways.
    connect(searchList->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, p] {
        const QModelIndexList rows = searchList->selectionModel()->selectedRows();
        p->searches()->setSelectedRow(rows.isEmpty() ? -1 : rows.first().row());
    });
    connect(p->searches(), &TextList::selectedRowChanged, this, &Form1::syncSearchSelection);

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
        const OptionId id = row.id;
        QWidget *control = optionControl(id);
        if (auto *c = qobject_cast<QCheckBox *>(control)) {
            connect(c, &QCheckBox::clicked, this,
                    [p, id](bool checked) { p->optionClicked(id, checked ? 1 : 0); });
        } else if (auto *c = qobject_cast<QComboBox *>(control)) {
            connect(c, &QComboBox::activated, this,
                    [p, id](int index) { p->optionClicked(id, index); });
            connect(c->lineEdit(), &QLineEdit::textEdited, this,
                    [p, id](const QString &text) { p->choiceTextEdited(id, text); });
        } else if (auto *n = qobject_cast<QSpinBox *>(control)) {
            connect(n, &QSpinBox::valueChanged, this,
                    [p, id](int value) { p->optionClicked(id, value); });
        } else if (auto *t = qobject_cast<QLineEdit *>(control)) {
            connect(t, &QLineEdit::textEdited, this,
                    [p, id](const QString &text) { p->options()->setText(id, text); });
        }
        syncOption(id);
    }
    connect(p, &HarvestPresenter::optionValueChanged, this, &Form1::syncOption);
    connect(p, &HarvestPresenter::choiceTextChanged, this,
            [this](OptionId o, const QString &) { syncOption(o); });

    // The new search string: its text is the presenter's; Enter adds it.
    connect(newSearchEdit, &QLineEdit::textChanged, p, &HarvestPresenter::setNewSearchText);
    connect(p, &HarvestPresenter::newSearchTextChanged, this, [this](const QString &text) {
        if (newSearchEdit->text() != text)
            newSearchEdit->setText(text);
    });
    connect(newSearchEdit, &QLineEdit::returnPressed, p, [p] { p->newSearchKeyPressed(13); });

    // Statistics, status panels, progress.
    connect(p, &HarvestPresenter::statisticsChanged, this, &Form1::showStatistics);
    connect(p, &HarvestPresenter::statusTextChanged, this, &Form1::setPanelText);
    for (int n = 1; n <= 4; ++n)
        setPanelText(n, p->statusText(n));
    connect(p, &HarvestPresenter::progressChanged, progressBar, &QProgressBar::setValue);
    progressBar->setValue(p->progress());

    connect(p, &HarvestPresenter::focusRequested, this, [this](HarvestPresenter::Focus f) {
        QWidget *target =
            f == HarvestPresenter::Focus::NewSearch      ? static_cast<QWidget *>(newSearchEdit)
            : f == HarvestPresenter::Focus::SearchEngine ? optionControl(OptionId::SearchEngine)
                                                         : optionControl(OptionId::ResultCount);
        target->setFocus(Qt::OtherFocusReason);
    });
    connect(p, &HarvestPresenter::numbersWindowRequested, this, [p] {
        NumbersWindow *w = NumbersWindow::openWindow(p->store(), p->dataDir());
        connect(w, &NumbersWindow::numbersDeleted, p, &HarvestPresenter::numbersDeleted,
                Qt::UniqueConnection);
    });
    connect(p, &HarvestPresenter::openDirectoryRequested, this, [this](const QString &dir) {
        if (openUrl)
            openUrl(QUrl::fromLocalFile(dir));
    });
    connect(p, &HarvestPresenter::exportRequested, this, [p] {
        frmExport::openWindow(p->store(), p->dataDir(), [p] { p->deleteAllNumbers(); });
    });
    connect(p, &HarvestPresenter::websiteRequested, this, [] { frmWebsite::openWindow(); });
    // The store reports from inside an operation: the box opens once that operation is done.
    connect(p, &HarvestPresenter::storeProblem, this, &Form1::showStoreProblem,
            Qt::QueuedConnection);
}

void Form1::syncButton(Button which)
{
    if (QPushButton *b = button(which))
        b->setEnabled(m_presenter->isEnabled(which));
}

void Form1::syncOption(OptionId which)
{
    const int value = m_presenter->options()->value(which);
    QWidget *control = optionControl(which);
    if (auto *c = qobject_cast<QCheckBox *>(control)) {
        if (c->isChecked() != (value == 1)) {
            const QSignalBlocker block(c);
            c->setChecked(value == 1);
        }
        return;
    }
    if (auto *n = qobject_cast<QSpinBox *>(control)) {
        const QSignalBlocker block(n);
        n->setValue(value);
        return;
    }
    if (auto *t = qobject_cast<QLineEdit *>(control)) {
        const QString text = m_presenter->options()->text(which);
        if (t->text() != text)
            t->setText(text);
        return;
    }
    QComboBox *c = combo(which);
    if (!c)
        return;
    const QSignalBlocker block(c);
    const QString text = m_presenter->choiceText(which);
    // While the user types, the cursor stays where it is.
    const bool typing = c->lineEdit()->hasFocus();
    const int cursor = c->lineEdit()->cursorPosition();
    if (value >= 0 && value < c->count()) {
        if (c->currentIndex() != value)
            c->setCurrentIndex(value);
    } else if (c->currentIndex() != -1) {
        c->setCurrentIndex(-1);
    }
    // Nothing picked: the combo shows its caption or what was typed.
    if (c->currentText() != text) {
        c->setEditText(text);
        c->lineEdit()->setCursorPosition(typing ? std::min(cursor, int(text.size())) : 0);
    }
}

void Form1::syncSearchSelection(int index)
{
    QItemSelectionModel *sel = searchList->selectionModel();
    const QModelIndexList rows = sel->selectedRows();
    const int shown = rows.isEmpty() ? -1 : rows.first().row();
    if (shown == index)
        return;
    if (index < 0)
        sel->clearSelection();
    else
        sel->select(searchList->model()->index(index, 0), QItemSelectionModel::ClearAndSelect);
}

void Form1::showStatistics()
{
    const HarvestPresenter::Statistics st = m_presenter->statistics();
    const qint32 values[5] = {st.sitesScanned, st.sitesFound, st.numbersFound, st.sitesScannedEver,
                              st.numbersFoundEver};
    for (int i = 0; i < 5; ++i)
        statisticsLabels[size_t(i)]->setText(QString::number(values[i]));
    if (st.team) {
        teamLabel->setText(QStringLiteral("Team of %1: %2 sites, %3 numbers")
                               .arg(st.team->harvesters)
                               .arg(st.team->sitesScanned)
                               .arg(st.team->numbersStored));
        teamLabel->adjustSize();
        teamLabel->show();
    }
}

QString Form1::panelText(int p) const
{
    return p >= 1 && p <= 4 ? m_panelTexts[size_t(p - 1)] : QString();
}

void Form1::setPanelText(int p, const QString &text)
{
    if (p < 1 || p > 4)
        return;
    m_panelTexts[size_t(p - 1)] = text;
    fitPanelText(p);
}

void Form1::fitPanelText(int p)
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

QLabel *Form1::panel(int p) const
{
    if (p < 1 || p > 4)
        return nullptr;
    return m_panels[size_t(p - 1)];
}

void Form1::showStoreProblem(const QString &message)
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

void Form1::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    if (strProductName.isEmpty())
        LoadProductInfo();
    setWindowTitle(strProductName + QStringLiteral(" by ") + strCompanyName);
    websiteButton->setText(QStringLiteral("Visit ") + strWebsite);
    // Options, counters, statistics, status panels, the number preview, the search strings
    // and the head of a saved queue (which enables Resume).
    m_presenter->load();
    applySkinAndBanner();
    if (m_presenter->settings() && Form8::showAtStartup(*m_presenter->settings()))
        Form8::openWindow(m_presenter->settings(), m_presenter->dataDir());
}

void Form1::applySkinAndBanner()
{
    if (bSkin) {
        QList<QWidget *> containers;
        for (SkinLabel *s : skinLabels)
            containers << s->parentWidget();
        applyLabelOverlay(this, containers);
        SkinForm(this);
    }
    if (bBanner) {
        // The frames move down to make room for the banner below the web site button.
        const int bannerHeight = py(this, 900);
        const double shift = Twips::fromPixelsY(this, bannerHeight) + 100;
        moveFramesForBanner({searchesFrame, numbersFrame, statisticsFrame, optionsFrame},
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

void Form1::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // Stops the harvest, closes every socket and ends a discovery run.
    m_presenter->shutDown();
    if (auto *loader = dynamic_cast<Form3Loader *>(m_presenter->listBuilder()))
        loader->unloadWindow();
    Form8::unload();
    frmExport::unload();
    NumbersWindow::unload();
    frmSplash::unload();
    if (frmWebsite::isShown()) {
        // The browser window ends the program when it closes.
        bQuitPending = true;
        return;
    }
    if (quitApplication)
        quitApplication();
}

void Form1::closeEvent(QCloseEvent *event)
{
    unload();
    event->accept();
}

void Form1::exitClicked()
{
    close();
}

void Form1::importSitesClicked()
{
    const QString path = FileDialogs::openFileName(
        this, QStringLiteral("Import Sites"), QString(),
        QStringLiteral("Lists of sites (*.txt *.csv *.tsv);;All files (*)"));
    if (!path.isEmpty())
        m_presenter->importSitesFromFile(path);
}

void Form1::helpClicked()
{
    Form8::openWindow(m_presenter->settings(), m_presenter->dataDir());
}

void Form1::aboutClicked()
{
    frmAbout::openWindow();
}

// ---- layout --------------------------------------------------------------------------------

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    layoutControls();
}

void Form1::layoutControls()
{
    // The client area below the menu bar, status bar included.
    const int widthPx = width();
    const int heightPx = m_surface->height() + statusStrip->height();
    const int statusPx = statusStrip->height();
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
    progressBar->setGeometry(px(this, l.pb1Left), (statusPx - barHeight) / 2, px(this, l.pb1Width),
                             barHeight);

    statisticsFrame->setGeometry(px(this, l.frame3Left), py(this, m_design.frame3Top),
                                 px(this, m_design.frameRightWidth), py(this, l.frame3Height));
    optionsFrame->setGeometry(px(this, l.frame4Left), py(this, m_design.frameTop),
                              px(this, m_design.frameRightWidth), py(this, m_design.frame4Height));
    numbersFrame->setGeometry(px(this, l.frame2Left), py(this, m_design.frameTop),
                              px(this, l.frame2Width), py(this, l.frame2Height));
    searchesFrame->setGeometry(px(this, m_design.frame1Left), py(this, m_design.frameTop),
                               px(this, l.frame1Width), py(this, l.frame1Height));
    const int listWidth = px(this, l.list1Width);
    searchList->resize(listWidth, searchList->height());
    siteQueueList->setGeometry(siteQueueList->x(), siteQueueList->y(), listWidth,
                               py(this, l.list2Height));
    numberPreviewList->setGeometry(numberPreviewList->x(), numberPreviewList->y(), listWidth,
                                   py(this, l.list3Height));
    for (QPushButton *b : {viewDatabaseButton, exportButton, deleteAllNumbersButton})
        b->resize(listWidth, b->height());
    websiteButton->resize(px(this, l.websiteWidth), websiteButton->height());
}

void Form1::updateMinimumSize()
{
    // The controls at fixed design places stay whole: searchesFrame holds its widest row,
    // statisticsFrame its statistics, and siteQueueList keeps a few lines.
    const double frame1Need = kCmbDel.x + kCmbDel.w + 180;
    const double minWidth = 2 * (frame1Need + 80) + m_design.frameRightWidth + 175;
    const double minFrame3 =
        std::max(kStatsBottom, m_design.list2Top + 100 + 900 - m_design.frame4Height);
    const int statusPx = statusStrip->height();
    const int minHeight =
        py(this, m_design.frame3Top + minFrame3) + statusPx + menuBar()->sizeHint().height();
    setMinimumSize(px(this, minWidth), minHeight);
}
