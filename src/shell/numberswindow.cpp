#include "numberswindow.h"

#include "datefilteredit.h"
#include "donotfax.h"
#include "numberscounts.h"
#include "numbersmodel.h"
#include "productinfo.h"
#include "settingsstore.h"
#include "store.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QDesktopServices>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace {

// The settings keys of the window's size and place, and of its columns (shown, order, widths).
constexpr char kGeometryKey[] = "numbersWindowGeometry";
constexpr char kColumnsKey[] = "numbersColumns";
// Typing in the filter box waits for a pause this long before the store is asked.
constexpr int kTypingPauseMs = 350;
// The search strings the chart compares, the most productive first.
constexpr int kChartedSearches = 12;
// Up to this many days the numbers per day are bars, one a day; beyond, a line.
constexpr qint64 kDaysAsBars = 45;

// Choices of the region-or-country filter: what the item filters by.
constexpr int kKindRole = Qt::UserRole;
constexpr int kValueRole = Qt::UserRole + 1;
enum PlaceKind
{
    AnyPlace,
    ByLocation,
    ByCountry
};

QTreeWidget *makeCountPanel(QWidget *parent, const char *name, const QString &what)
{
    auto *t = new QTreeWidget(parent);
    t->setObjectName(QLatin1String(name));
    t->setRootIsDecorated(false);
    t->setUniformRowHeights(true);
    t->setColumnCount(2);
    t->setHeaderLabels({what, QStringLiteral("Numbers")});
    t->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    t->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    t->header()->setStretchLastSection(false);
    t->setToolTip(QStringLiteral("Double-click an entry to show only its numbers"));
    return t;
}

void fillCountPanel(QTreeWidget *panel, const QList<ValueCount> &counts)
{
    panel->clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(counts.size());
    for (const ValueCount &c : counts) {
        auto *item = new QTreeWidgetItem({c.value, QLocale().toString(c.count)});
        item->setData(0, Qt::UserRole, c.value);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    panel->addTopLevelItems(items);
}

// Puts the choices into a combo and keeps what was chosen where it is still offered.
void fillChoiceCombo(QComboBox *combo, const QString &anyText, const QList<ValueCount> &counts)
{
    const QString chosen = combo->currentData(kValueRole).toString();
    combo->clear();
    combo->addItem(anyText);
    for (const ValueCount &c : counts) {
        combo->addItem(QStringLiteral("%1 (%2)").arg(c.value, QLocale().toString(c.count)));
        combo->setItemData(combo->count() - 1, c.value, kValueRole);
    }
    const int at = combo->findData(chosen, kValueRole);
    combo->setCurrentIndex(chosen.isEmpty() || at < 0 ? 0 : at);
}

// The places panel: regions and, outside North America, countries; each remembers what it
// filters by.
void fillPlacePanel(QTreeWidget *panel, const QList<PlaceCount> &places)
{
    panel->clear();
    // The most numbers first; places of as many numbers by name.
    QList<QPair<QString, PlaceCount>> named;
    for (const PlaceCount &p : places)
        named.append({p.country ? NumbersModel::countryName(p.value) : p.value.trimmed(), p});
    std::stable_sort(named.begin(), named.end(), [](const auto &x, const auto &y) {
        if (x.second.count != y.second.count)
            return x.second.count > y.second.count;
        return QString::localeAwareCompare(x.first, y.first) < 0;
    });
    QList<QTreeWidgetItem *> items;
    items.reserve(named.size());
    for (const auto &[shown, p] : named) {
        auto *item = new QTreeWidgetItem({shown, QLocale().toString(p.count)});
        item->setData(0, Qt::UserRole, p.value);
        item->setData(0, Qt::UserRole + 1, p.country);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    panel->addTopLevelItems(items);
}

QString countryCaption(const QString &code)
{
    const QLocale::Territory t = QLocale::codeToTerritory(code);
    return t == QLocale::AnyTerritory
               ? code
               : QStringLiteral("%1 (%2)").arg(QLocale::territoryToString(t), code);
}

} // namespace

NumbersWindow::NumbersWindow(Store *store, const QString &dataDir, SettingsStore *settings)
    : m_store(store), m_dataDir(dataDir), m_settings(settings)
{
    setObjectName(QStringLiteral("frmNumbers"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Fax Database"));
    m_model = new NumbersModel(store, this);
    m_counter = new NumbersCounter(store, this);
    connect(m_counter, &NumbersCounter::counted, this, &NumbersWindow::showCounts);
    buildControls();

    // Deleting is the question's dangerous answer: Enter keeps the numbers.
    askYesNo = [this](const QString &text) {
        return QMessageBox::question(this, strProductName, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
    showMessage = [this](const QString &text) {
        QMessageBox::information(this, strProductName, text);
    };
    openFolder = [](const QUrl &folder) { return QDesktopServices::openUrl(folder); };

    connect(m_model, &NumbersModel::readFailed, this, &NumbersWindow::showReadProblem);
    updateCountLabel();
    restoreLayout();
}

NumbersWindow::~NumbersWindow()
{
    saveLayout();
}

void NumbersWindow::closeEvent(QCloseEvent *event)
{
    saveLayout();
    QWidget::closeEvent(event);
}

void NumbersWindow::restoreLayout()
{
    const QByteArray geometry =
        m_settings ? QByteArray::fromBase64(
                         m_settings->read(QLatin1String(kGeometryKey), QString()).toLatin1())
                   : QByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(1100, 680);
    const QByteArray columns =
        m_settings ? QByteArray::fromBase64(
                         m_settings->read(QLatin1String(kColumnsKey), QString()).toLatin1())
                   : QByteArray();
    if (!columns.isEmpty())
        m_table->horizontalHeader()->restoreState(columns);
}

void NumbersWindow::saveLayout()
{
    if (!m_settings)
        return;
    m_settings->write(QLatin1String(kGeometryKey), QString::fromLatin1(saveGeometry().toBase64()));
    m_settings->write(QLatin1String(kColumnsKey),
                      QString::fromLatin1(m_table->horizontalHeader()->saveState().toBase64()));
}

void NumbersWindow::showColumn(int column, bool shown)
{
    if (!shown) {
        // One column stays: a table without columns would show nothing to choose from.
        int visible = 0;
        for (int c = 0; c < NumbersModel::ColumnCount; ++c)
            visible += m_table->isColumnHidden(c) ? 0 : 1;
        if (visible <= 1)
            return;
    }
    m_table->setColumnHidden(column, !shown);
    if (shown && m_table->columnWidth(column) == 0)
        m_table->resizeColumnToContents(column);
}

void NumbersWindow::updateColumnsMenu()
{
    const QList<QAction *> actions = m_columnsMenu->actions();
    for (int c = 0; c < actions.size(); ++c) {
        const QSignalBlocker block(actions.at(c));
        actions.at(c)->setChecked(!m_table->isColumnHidden(c));
    }
}

bool NumbersWindow::isColumnShown(int column) const
{
    return !m_table->isColumnHidden(column);
}

void NumbersWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    // The first rows are shown at once; the choices and counts, which read every row, follow.
    askCounts(NumbersCounts::Panels | NumbersCounts::Choices);
}

void NumbersWindow::buildControls()
{
    // Filters
    m_filterEdit = new QLineEdit(this);
    m_filterEdit->setObjectName(QStringLiteral("filterEdit"));
    m_filterEdit->setPlaceholderText(QStringLiteral("Filter: number, page, search string or text"));
    m_filterEdit->setClearButtonEnabled(true);
    m_placeCombo = new QComboBox(this);
    m_placeCombo->setObjectName(QStringLiteral("placeCombo"));
    m_searchCombo = new QComboBox(this);
    m_searchCombo->setObjectName(QStringLiteral("searchCombo"));
    m_howCombo = new QComboBox(this);
    m_howCombo->setObjectName(QStringLiteral("howCombo"));
    for (QComboBox *c : {m_placeCombo, m_searchCombo, m_howCombo}) {
        c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        c->setMinimumContentsLength(16);
    }
    auto makeDate = [this](const char *name) {
        auto *d = new DateFilterEdit(this);
        d->setObjectName(QLatin1String(name));
        return d;
    };
    m_fromDate = makeDate("fromDate");
    m_toDate = makeDate("toDate");
    m_clearFilterButton = new QPushButton(QStringLiteral("Show All"), this);
    m_clearFilterButton->setObjectName(QStringLiteral("clearFilterButton"));

    auto *filters = new QGridLayout;
    filters->addWidget(m_filterEdit, 0, 0, 1, 4);
    auto *fromCaption = new QLabel(QStringLiteral("&From:"), this);
    fromCaption->setBuddy(m_fromDate);
    auto *toCaption = new QLabel(QStringLiteral("&To:"), this);
    toCaption->setBuddy(m_toDate);
    filters->addWidget(fromCaption, 0, 4);
    filters->addWidget(m_fromDate, 0, 5);
    filters->addWidget(toCaption, 0, 6);
    filters->addWidget(m_toDate, 0, 7);
    filters->addWidget(m_placeCombo, 1, 0);
    filters->addWidget(m_searchCombo, 1, 1);
    filters->addWidget(m_howCombo, 1, 2);
    filters->addWidget(m_clearFilterButton, 1, 7);
    filters->setColumnStretch(0, 1);
    filters->setColumnStretch(1, 1);
    filters->setColumnStretch(2, 1);

    // The table
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("numbersTable"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // No column sorted at first: the numbers in the order they were found.
    m_table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->horizontalHeader()->setSortIndicatorClearable(true);
    m_table->setSortingEnabled(true);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->setWordWrap(false);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    // Wide enough for the longest numbers and dates the harvest stores.
    const QFontMetrics fm = m_table->fontMetrics();
    const auto textWidth = [&fm](const char *sample) {
        return fm.horizontalAdvance(QLatin1String(sample)) + 2 * fm.averageCharWidth() + 8;
    };
    const int widths[NumbersModel::ColumnCount] = {textWidth("+999-99-9999-999999"),
                                                   textWidth("+99999999999999"),
                                                   textWidth("NY New York City"),
                                                   textWidth("Country"),
                                                   textWidth("2026-12-31 23:59:59"),
                                                   220,
                                                   130,
                                                   80,
                                                   textWidth("label in the cell before"),
                                                   260,
                                                   textWidth("Do Not Fax"),
                                                   200,
                                                   130,
                                                   180,
                                                   textWidth("Postal Code"),
                                                   120,
                                                   textWidth("State or Province"),
                                                   textWidth("Address Country"),
                                                   textWidth("+99999999999999"),
                                                   180,
                                                   150};
    for (int c = 0; c < NumbersModel::ColumnCount; ++c)
        m_table->setColumnWidth(c, widths[c]);
    // The columns are the user's to choose and order; the window remembers them.
    QHeaderView *header = m_table->horizontalHeader();
    header->setSectionsMovable(true);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    m_columnsMenu = new QMenu(QStringLiteral("Columns"), this);
    m_columnsMenu->setObjectName(QStringLiteral("columnsMenu"));
    for (int c = 0; c < NumbersModel::ColumnCount; ++c) {
        QAction *a = m_columnsMenu->addAction(m_model->headerData(c, Qt::Horizontal).toString());
        a->setCheckable(true);
        connect(a, &QAction::toggled, this, [this, c](bool shown) { showColumn(c, shown); });
    }
    connect(m_columnsMenu, &QMenu::aboutToShow, this, &NumbersWindow::updateColumnsMenu);
    connect(header, &QHeaderView::customContextMenuRequested, this,
            [this, header](const QPoint &at) { m_columnsMenu->popup(header->mapToGlobal(at)); });
    // Shown at first, in this order: what a user reads, how each number was found and whether
    // it may be faxed in view; the page and the text around it after; E.164, country and
    // label a click away.
    // Of the business, who and where a number reaches next; its address and the rest a
    // click away.
    for (int c : {int(NumbersModel::E164), int(NumbersModel::Country), int(NumbersModel::Label),
                  int(NumbersModel::Unit), int(NumbersModel::Street), int(NumbersModel::PostalCode),
                  int(NumbersModel::OwnerRegion), int(NumbersModel::AddressCountry),
                  int(NumbersModel::Email), int(NumbersModel::Site)})
        m_table->setColumnHidden(c, true);
    const int order[] = {NumbersModel::Number,       NumbersModel::Region, NumbersModel::Date,
                         NumbersModel::Search,       NumbersModel::How,    NumbersModel::DoNotFax,
                         NumbersModel::Organization, NumbersModel::City,   NumbersModel::Phone,
                         NumbersModel::Page,         NumbersModel::Context};
    for (int visual = 0; visual < int(std::size(order)); ++visual)
        header->moveSection(header->visualIndex(order[visual]), visual);

    m_regionCounts = makeCountPanel(this, "regionCounts", QStringLiteral("Region or Country"));
    m_searchCounts = makeCountPanel(this, "searchCounts", QStringLiteral("Search String"));
    auto *panels = new QSplitter(Qt::Vertical, this);
    panels->addWidget(m_regionCounts);
    panels->addWidget(m_searchCounts);

    auto *split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(m_table);
    split->addWidget(panels);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);

    // Charts
    m_dayChart = new QChartView(this);
    m_dayChart->setObjectName(QStringLiteral("dayChart"));
    m_searchChart = new QChartView(this);
    m_searchChart->setObjectName(QStringLiteral("searchChart"));
    for (QChartView *v : {m_dayChart, m_searchChart})
        v->setRenderHint(QPainter::Antialiasing);
    auto *charts = new QWidget(this);
    auto *chartLayout = new QVBoxLayout(charts);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    chartLayout->addWidget(m_dayChart);
    chartLayout->addWidget(m_searchChart);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    m_tabs->addTab(split, QStringLiteral("Numbers"));
    m_tabs->addTab(charts, QStringLiteral("Charts"));

    // Businesses: one row per site and organisation, read when the tab is shown.
    m_businessList = new QTreeWidget(this);
    m_businessList->setObjectName(QStringLiteral("businessList"));
    m_businessList->setRootIsDecorated(false);
    m_businessList->setAlternatingRowColors(true);
    m_businessList->setSortingEnabled(true);
    m_businessList->setHeaderLabels({QStringLiteral("Organization"), QStringLiteral("Site"),
                                     QStringLiteral("City"), QStringLiteral("Fax Numbers"),
                                     QStringLiteral("Main Phone"), QStringLiteral("Search Strings"),
                                     QStringLiteral("Pages")});
    m_businessList->setColumnWidth(0, 220);
    m_businessList->setColumnWidth(1, 150);
    m_businessList->setColumnWidth(3, 220);
    m_businessList->sortByColumn(-1, Qt::AscendingOrder);
    m_tabs->addTab(m_businessList, QStringLiteral("Businesses"));

    // Actions
    m_copyButton = new QPushButton(QStringLiteral("Copy"), this);
    m_copyButton->setObjectName(QStringLiteral("copyButton"));
    m_deleteButton = new QPushButton(QStringLiteral("Delete..."), this);
    m_deleteButton->setObjectName(QStringLiteral("deleteButton"));
    m_doNotFaxButton = new QPushButton(QStringLiteral("Do Not Fax"), this);
    m_doNotFaxButton->setObjectName(QStringLiteral("doNotFaxButton"));
    m_doNotFaxButton->setToolTip(
        QStringLiteral("Put the selected numbers on the do-not-fax list: they stay stored but "
                       "are never exported"));
    m_faxAgainButton = new QPushButton(QStringLiteral("Fax Again"), this);
    m_faxAgainButton->setObjectName(QStringLiteral("faxAgainButton"));
    m_faxAgainButton->setToolTip(
        QStringLiteral("Take the selected numbers off the do-not-fax list"));
    m_refreshButton = new QPushButton(QStringLiteral("Refresh"), this);
    m_refreshButton->setObjectName(QStringLiteral("refreshButton"));
    m_openFolderButton = new QPushButton(QStringLiteral("Open Data Folder"), this);
    m_openFolderButton->setObjectName(QStringLiteral("openFolderButton"));
    m_openFolderButton->setToolTip(QDir::toNativeSeparators(m_dataDir));
    m_columnsButton = new QPushButton(QStringLiteral("Columns"), this);
    m_columnsButton->setObjectName(QStringLiteral("columnsButton"));
    m_columnsButton->setToolTip(
        QStringLiteral("Choose the columns shown; drag a column's title to move it"));
    m_columnsButton->setMenu(m_columnsMenu);
    m_countLabel = new QLabel(this);
    m_countLabel->setObjectName(QStringLiteral("countLabel"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_countLabel, 1);
    for (QPushButton *b : {m_copyButton, m_deleteButton, m_doNotFaxButton, m_faxAgainButton,
                           m_columnsButton, m_refreshButton, m_openFolderButton}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_tabs, 1);
    layout->addLayout(buttons);

    auto addAction = [this](const QString &text, const QKeySequence &keys, auto handler) {
        auto *a = new QAction(text, m_table);
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WidgetShortcut);
        connect(a, &QAction::triggered, this, handler);
        m_table->addAction(a);
    };
    addAction(QStringLiteral("Copy"), QKeySequence::Copy, [this] { copySelected(); });
    addAction(QStringLiteral("Delete..."), QKeySequence::Delete, [this] { deleteSelected(); });
    addAction(QStringLiteral("Do Not Fax"), QKeySequence(), [this] { markSelectedDoNotFax(); });
    addAction(QStringLiteral("Fax Again"), QKeySequence(), [this] { unmarkSelectedDoNotFax(); });
    addAction(QStringLiteral("Open Page"), QKeySequence(), [this] {
        const QModelIndex at = m_table->currentIndex();
        if (at.isValid())
            openPageOf(at.row());
    });

    m_typingPause = new QTimer(this);
    m_typingPause->setSingleShot(true);
    m_typingPause->setInterval(kTypingPauseMs);
    connect(m_typingPause, &QTimer::timeout, this, &NumbersWindow::applyFilter);
    connect(m_filterEdit, &QLineEdit::textChanged, m_typingPause, qOverload<>(&QTimer::start));
    connect(m_filterEdit, &QLineEdit::returnPressed, this, &NumbersWindow::applyFilter);
    for (QComboBox *c : {m_placeCombo, m_searchCombo, m_howCombo})
        connect(c, &QComboBox::currentIndexChanged, this, [this] {
            if (!m_filling)
                applyFilter();
        });
    for (DateFilterEdit *d : {m_fromDate, m_toDate})
        connect(d, &DateFilterEdit::dateChanged, this, &NumbersWindow::applyFilter);
    connect(m_clearFilterButton, &QPushButton::clicked, this, &NumbersWindow::clearFilter);
    connect(m_copyButton, &QPushButton::clicked, this, [this] { copySelected(); });
    connect(m_deleteButton, &QPushButton::clicked, this, [this] { deleteSelected(); });
    connect(m_doNotFaxButton, &QPushButton::clicked, this, [this] { markSelectedDoNotFax(); });
    connect(m_faxAgainButton, &QPushButton::clicked, this, [this] { unmarkSelectedDoNotFax(); });
    connect(m_refreshButton, &QPushButton::clicked, this, &NumbersWindow::refresh);
    connect(m_openFolderButton, &QPushButton::clicked, this, &NumbersWindow::openDataFolder);
    connect(m_table, &QTableView::doubleClicked, this,
            [this](const QModelIndex &at) { openPageOf(at.row()); });
    connect(m_regionCounts, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { choosePanelEntry(m_regionCounts, item); });
    connect(m_searchCounts, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { choosePanelEntry(m_searchCounts, item); });
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] {
        if (m_chartsStale && chartsShown())
            askCounts(NumbersCounts::Charts);
        if (m_businessesStale && businessesShown())
            fillBusinesses();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, &NumbersWindow::updateCountLabel);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &NumbersWindow::updateCountLabel);
}

// ---- filters -------------------------------------------------------------------------------

FaxFilter NumbersWindow::filterFromControls() const
{
    FaxFilter f;
    f.text = m_filterEdit->text().trimmed();
    switch (m_placeCombo->currentData(kKindRole).toInt()) {
    case ByLocation:
        f.location = m_placeCombo->currentData(kValueRole).toString();
        break;
    case ByCountry:
        f.country = m_placeCombo->currentData(kValueRole).toString();
        break;
    default:
        break;
    }
    f.search = m_searchCombo->currentData(kValueRole).toString();
    f.how = m_howCombo->currentData(kValueRole).toString();
    f.from = m_fromDate->date();
    f.to = m_toDate->date();
    return f;
}

void NumbersWindow::applyFilter()
{
    m_typingPause->stop();
    const FaxFilter f = filterFromControls();
    if (f == m_model->filter())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_model->setFilter(f);
    QApplication::restoreOverrideCursor();
    m_chartsStale = true;
    askCounts(NumbersCounts::Panels | (chartsShown() ? NumbersCounts::Charts : 0));
    businessesChanged();
}

void NumbersWindow::clearFilter()
{
    m_filling = true;
    m_filterEdit->clear();
    for (QComboBox *c : {m_placeCombo, m_searchCombo, m_howCombo})
        c->setCurrentIndex(0);
    {
        const QSignalBlocker a(m_fromDate), b(m_toDate);
        m_fromDate->setDate(QDate());
        m_toDate->setDate(QDate());
    }
    m_filling = false;
    applyFilter();
}

void NumbersWindow::fillChoices(const NumbersCounts &counts)
{
    m_filling = true;
    {
        // Regions first, then countries; each remembers what it filters by.
        const QString chosen = m_placeCombo->currentData(kValueRole).toString();
        const int chosenKind = m_placeCombo->currentData(kKindRole).toInt();
        m_placeCombo->clear();
        m_placeCombo->addItem(QStringLiteral("Any region or country"));
        m_placeCombo->setItemData(0, AnyPlace, kKindRole);
        auto add = [this](PlaceKind kind, const QList<ValueCount> &values) {
            for (const ValueCount &c : values) {
                if (c.value.isEmpty())
                    continue;
                const QString caption =
                    kind == ByCountry ? countryCaption(c.value) : c.value.trimmed();
                m_placeCombo->addItem(
                    QStringLiteral("%1 (%2)").arg(caption, QLocale().toString(c.count)));
                m_placeCombo->setItemData(m_placeCombo->count() - 1, kind, kKindRole);
                m_placeCombo->setItemData(m_placeCombo->count() - 1, c.value, kValueRole);
            }
        };
        add(ByLocation, counts.locationChoices);
        add(ByCountry, counts.countryChoices);
        int at = 0;
        for (int i = 1; i < m_placeCombo->count(); ++i) {
            if (m_placeCombo->itemData(i, kKindRole).toInt() == chosenKind &&
                m_placeCombo->itemData(i, kValueRole).toString() == chosen)
                at = i;
        }
        m_placeCombo->setCurrentIndex(at);
    }
    fillChoiceCombo(m_searchCombo, QStringLiteral("Any search string"), counts.searchChoices);
    QList<ValueCount> hows = counts.howChoices;
    hows.erase(std::remove_if(hows.begin(), hows.end(),
                              [](const ValueCount &c) { return c.value.isEmpty(); }),
               hows.end());
    fillChoiceCombo(m_howCombo, QStringLiteral("Found in any way"), hows);
    // The words a user reads; the item still filters by the word stored.
    for (int i = 1; i < m_howCombo->count(); ++i) {
        const QString stored = m_howCombo->itemData(i, kValueRole).toString();
        m_howCombo->setItemText(
            i, m_howCombo->itemText(i).replace(0, stored.size(), NumbersModel::howText(stored)));
    }
    // The calendars open on the newest number's day.
    for (DateFilterEdit *d : {m_fromDate, m_toDate})
        d->setCalendarStart(counts.newest);
    m_filling = false;
}

void NumbersWindow::choosePanelEntry(QTreeWidget *panel, QTreeWidgetItem *item)
{
    const QString value = item->data(0, Qt::UserRole).toString();
    if (panel == m_searchCounts) {
        const int at = m_searchCombo->findData(value, kValueRole);
        if (at >= 0)
            m_searchCombo->setCurrentIndex(at);
        return;
    }
    const int kind = item->data(0, Qt::UserRole + 1).toBool() ? ByCountry : ByLocation;
    for (int i = 1; i < m_placeCombo->count(); ++i) {
        if (m_placeCombo->itemData(i, kKindRole).toInt() == kind &&
            m_placeCombo->itemData(i, kValueRole).toString() == value) {
            m_placeCombo->setCurrentIndex(i);
            return;
        }
    }
}

// ---- counts and charts -----------------------------------------------------------------------

void NumbersWindow::refresh()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_model->setFilter(filterFromControls());
    m_model->refresh();
    QApplication::restoreOverrideCursor();
    m_chartsStale = true;
    askCounts(NumbersCounts::Panels | NumbersCounts::Choices |
              (chartsShown() ? NumbersCounts::Charts : 0));
    businessesChanged();
}

void NumbersWindow::showBusinesses()
{
    m_tabs->setCurrentWidget(m_businessList);
}

bool NumbersWindow::businessesShown() const
{
    return m_tabs->currentWidget() == m_businessList;
}

void NumbersWindow::businessesChanged()
{
    m_businessesStale = true;
    if (businessesShown())
        fillBusinesses();
}

void NumbersWindow::fillBusinesses()
{
    m_businessesStale = false;
    if (!m_store)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The filter box's text: the businesses whose organisation, site or city hold it.
    const std::optional<QList<BusinessRow>> rows = m_store->businesses(m_filterEdit->text());
    QApplication::restoreOverrideCursor();
    m_businessList->clear();
    if (!rows) {
        showReadProblem(m_store->lastError());
        return;
    }
    const QString separator = QStringLiteral(", ");
    QList<QTreeWidgetItem *> items;
    items.reserve(rows->size());
    for (const BusinessRow &b : *rows) {
        auto *item =
            new QTreeWidgetItem({b.organization, b.site, b.city, b.faxes.join(separator), b.phone,
                                 b.searches.join(separator), QString::number(b.pages)});
        item->setData(6, Qt::DisplayRole, b.pages); // sorted as a number
        QStringList address = {b.street, b.postalCode + QLatin1Char(' ') + b.city, b.region,
                               b.country};
        address.removeAll(QString());
        for (QString &a : address)
            a = a.trimmed();
        address.removeAll(QString());
        const QString tip =
            (b.unit.isEmpty() ? QString() : b.unit + QLatin1Char('\n')) + address.join(separator) +
            (b.phones.size() > 1 ? QStringLiteral("\nPhones: ") + b.phones.join(separator)
                                 : QString()) +
            (b.email.isEmpty() ? QString() : QLatin1Char('\n') + b.email);
        for (int c = 0; c < 7; ++c)
            item->setToolTip(c, tip.trimmed());
        items << item;
    }
    m_businessList->addTopLevelItems(items);
}

void NumbersWindow::showCharts(bool charts)
{
    m_tabs->setCurrentIndex(charts ? 1 : 0);
}

bool NumbersWindow::chartsShown() const
{
    return m_tabs->currentIndex() == 1;
}

void NumbersWindow::askCounts(int parts)
{
    const quint64 id = m_counter->request(m_model->filter(), parts);
    for (int bit = 0; bit < 3; ++bit) {
        if (parts & (1 << bit))
            m_asked[size_t(bit)] = id;
    }
    if (parts & NumbersCounts::Charts)
        m_chartsStale = false;
}

bool NumbersWindow::countsPending() const
{
    return m_asked != m_answered;
}

void NumbersWindow::showCounts(quint64 request, const NumbersCounts &counts)
{
    // Only the answer to the last question of each part counts; earlier ones are stale.
    auto current = [&](int part) {
        const size_t bit = part == NumbersCounts::Panels    ? 0
                           : part == NumbersCounts::Choices ? 1
                                                            : 2;
        if (!(counts.parts & part) || m_asked[bit] != request)
            return false;
        m_answered[bit] = request;
        return true;
    };
    if (!counts.error.isEmpty())
        showReadProblem(counts.error);
    if (current(NumbersCounts::Panels)) {
        fillPlacePanel(m_regionCounts, counts.places);
        fillCountPanel(m_searchCounts, counts.searches);
    }
    if (current(NumbersCounts::Choices)) {
        fillChoices(counts);
        m_storedCount = counts.stored;
        updateCountLabel();
    }
    if (current(NumbersCounts::Charts))
        drawCharts(counts);
}

void NumbersWindow::updateCountLabel()
{
    const qint64 shown = m_model->totalCount();
    const QLocale l;
    QString text;
    if (m_model->filter() != FaxFilter() && m_storedCount >= 0)
        text = QStringLiteral("%1 of %2 numbers shown")
                   .arg(l.toString(shown), l.toString(m_storedCount));
    else
        text = shown == 1 ? QStringLiteral("1 number shown")
                          : QStringLiteral("%1 numbers shown").arg(l.toString(shown));
    const qint64 selected = selectedCount();
    if (selected > 0)
        text += QStringLiteral(", %1 selected").arg(l.toString(selected));
    m_countLabel->setText(text);
}

qint64 NumbersWindow::selectedCount() const
{
    qint64 n = 0;
    const QItemSelection selection = m_table->selectionModel()->selection();
    for (const QItemSelectionRange &r : selection)
        n += r.height();
    return n;
}

void NumbersWindow::drawCharts(const NumbersCounts &counts)
{
    // Numbers found per day: a bar for every day of a short span (days without numbers
    // included, so that gaps show), a line over a long one.
    auto *days = new QChart;
    days->setTitle(QStringLiteral("Numbers found per day"));
    days->legend()->hide();
    const QList<DayCount> &perDay = counts.days;
    auto *countAxis = new QValueAxis;
    countAxis->setLabelFormat(QStringLiteral("%d"));
    qint64 most = 1;
    for (const DayCount &d : perDay)
        most = std::max(most, d.count);
    countAxis->setRange(0, double(most));
    countAxis->applyNiceNumbers();
    const qint64 span = perDay.isEmpty() ? 0 : perDay.first().day.daysTo(perDay.last().day) + 1;
    if (span <= kDaysAsBars) {
        auto *set = new QBarSet(QStringLiteral("Numbers"));
        QStringList labels;
        int next = 0;
        for (qint64 i = 0; i < span; ++i) {
            const QDate day = perDay.first().day.addDays(i);
            const bool found = next < perDay.size() && perDay.at(next).day == day;
            *set << (found ? double(perDay.at(next++).count) : 0.0);
            labels << day.toString(span > 7 ? QStringLiteral("MM-dd")
                                            : QStringLiteral("yyyy-MM-dd"));
        }
        auto *bars = new QBarSeries;
        bars->append(set);
        days->addSeries(bars);
        auto *dayAxis = new QBarCategoryAxis;
        dayAxis->append(labels);
        days->addAxis(dayAxis, Qt::AlignBottom);
        days->addAxis(countAxis, Qt::AlignLeft);
        bars->attachAxis(dayAxis);
        bars->attachAxis(countAxis);
    } else {
        auto *line = new QLineSeries;
        for (const DayCount &d : perDay)
            line->append(double(d.day.startOfDay().toMSecsSinceEpoch()), double(d.count));
        days->addSeries(line);
        auto *dayAxis = new QDateTimeAxis;
        dayAxis->setFormat(QStringLiteral("yyyy-MM-dd"));
        dayAxis->setTickCount(8);
        days->addAxis(dayAxis, Qt::AlignBottom);
        days->addAxis(countAxis, Qt::AlignLeft);
        line->attachAxis(dayAxis);
        line->attachAxis(countAxis);
    }
    QChart *oldDays = m_dayChart->chart();
    m_dayChart->setChart(days);
    delete oldDays;

    // Numbers and sites per search string.
    auto *searches = new QChart;
    searches->setTitle(QStringLiteral("Numbers and sites per search string"));
    auto *numbersSet = new QBarSet(QStringLiteral("Numbers"));
    auto *sitesSet = new QBarSet(QStringLiteral("Sites"));
    QStringList names;
    most = 0;
    QList<SearchYield> yields = counts.yields;
    if (yields.size() > kChartedSearches)
        yields.resize(kChartedSearches);
    // The bars run top to bottom in the order of the list: the most productive on top.
    std::reverse(yields.begin(), yields.end());
    for (const SearchYield &y : yields) {
        names << (y.search.size() > 32 ? y.search.left(31) + QChar(0x2026) : y.search);
        *numbersSet << double(y.numbers);
        *sitesSet << double(y.sites);
        most = std::max({most, y.numbers, y.sites});
    }
    auto *bars = new QHorizontalBarSeries;
    bars->append(numbersSet);
    bars->append(sitesSet);
    searches->addSeries(bars);
    auto *nameAxis = new QBarCategoryAxis;
    nameAxis->append(names);
    auto *amountAxis = new QValueAxis;
    amountAxis->setRange(0, double(std::max<qint64>(most, 1)));
    amountAxis->applyNiceNumbers();
    amountAxis->setLabelFormat(QStringLiteral("%d"));
    searches->addAxis(nameAxis, Qt::AlignLeft);
    searches->addAxis(amountAxis, Qt::AlignBottom);
    bars->attachAxis(nameAxis);
    bars->attachAxis(amountAxis);
    searches->legend()->setAlignment(Qt::AlignBottom);
    QChart *oldSearches = m_searchChart->chart();
    m_searchChart->setChart(searches);
    delete oldSearches;
}

// ---- actions on the selected numbers ----------------------------------------------------------

QList<ListedFax> NumbersWindow::selectedNumbers() const
{
    // Whole runs of rows, read in one go each: a selection of all rows costs one read.
    QList<QPair<int, int>> runs;
    const QItemSelection selection = m_table->selectionModel()->selection();
    for (const QItemSelectionRange &r : selection)
        runs.append({r.top(), r.bottom()});
    std::sort(runs.begin(), runs.end());
    QList<QPair<int, int>> merged;
    for (const auto &r : runs) {
        if (!merged.isEmpty() && r.first <= merged.last().second + 1)
            merged.last().second = std::max(merged.last().second, r.second);
        else
            merged.append(r);
    }
    QList<ListedFax> rows;
    for (const auto &r : merged)
        rows += m_model->rows(r.first, r.second - r.first + 1).value_or(QList<ListedFax>());
    return rows;
}

QString NumbersWindow::copySelected()
{
    QString text;
    for (const ListedFax &f : selectedNumbers()) {
        QStringList cells;
        for (int c = 0; c < NumbersModel::ColumnCount; ++c)
            cells << NumbersModel::cellText(f, c).replace(QLatin1Char('\t'), QLatin1Char(' '));
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
    return text;
}

int NumbersWindow::deleteSelected()
{
    const QList<ListedFax> rows = selectedNumbers();
    if (rows.isEmpty() || !m_store)
        return 0;
    const QString question =
        rows.size() == 1 ? QStringLiteral("Delete the number %1 from the fax database?")
                               .arg(rows.first().row.fax)
                         : QStringLiteral("Delete the %1 selected numbers from the fax database?")
                               .arg(QLocale().toString(rows.size()));
    if (!askYesNo(question))
        return 0;
    QList<qint64> ids;
    ids.reserve(rows.size());
    for (const ListedFax &f : rows)
        ids << f.id;
    if (!m_store->deleteFaxes(ids)) {
        showMessage(
            QStringLiteral("The numbers could not be deleted: %1").arg(m_store->lastError()));
        return 0;
    }
    refresh();
    Q_EMIT numbersDeleted(int(ids.size()));
    return int(ids.size());
}

int NumbersWindow::markSelectedDoNotFax()
{
    if (!m_store)
        return 0;
    int changed = 0;
    m_store->beginBatch();
    for (const ListedFax &f : selectedNumbers()) {
        bool added = false;
        if (!m_store->addDoNotFax(f.row.fax, DoNotFax::storedKey(f.row.fax, f.row.e164),
                                  Store::reasonMarked, &added)) {
            changed = -1;
            break;
        }
        changed += added ? 1 : 0;
    }
    m_store->endBatch();
    return afterListChange(changed);
}

int NumbersWindow::unmarkSelectedDoNotFax()
{
    if (!m_store)
        return 0;
    QStringList keys;
    for (const ListedFax &f : selectedNumbers()) {
        if (!f.doNotFax.isEmpty())
            keys << DoNotFax::storedKey(f.row.fax, f.row.e164);
    }
    if (!m_store->removeDoNotFax(keys))
        return afterListChange(-1);
    return afterListChange(int(keys.size()));
}

int NumbersWindow::afterListChange(int changed)
{
    if (changed < 0) {
        showMessage(QStringLiteral("The do-not-fax list could not be changed: %1")
                        .arg(m_store->lastError()));
        changed = 0;
    }
    // The greyed rows and the reasons follow; the rows stay where they are, selected.
    m_model->refreshInPlace();
    m_chartsStale = true;
    askCounts(NumbersCounts::Panels | NumbersCounts::Choices |
              (chartsShown() ? NumbersCounts::Charts : 0));
    return changed;
}

void NumbersWindow::openDataFolder()
{
    const QString shown = QDir::toNativeSeparators(m_dataDir);
    // Without a file manager nothing would happen: say where the folder is instead.
    if (!openFolder || !openFolder(QUrl::fromLocalFile(m_dataDir)))
        showMessage(QStringLiteral("No file manager could be started. The fax database is in the "
                                   "folder %1")
                        .arg(shown));
}

void NumbersWindow::openPageOf(int row)
{
    const std::optional<ListedFax> f = m_model->rowAt(row);
    if (!f || f->row.website.isEmpty())
        return;
    // Pages are stored without their scheme; a site that moved to https redirects there.
    Q_EMIT pageRequested(QUrl::fromUserInput(QStringLiteral("http://") + f->row.website));
}

void NumbersWindow::showReadProblem(const QString &reason)
{
    m_countLabel->setText(QStringLiteral("The numbers could not be read: %1").arg(reason));
}
