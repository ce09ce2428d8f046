// The numbers window on a store of known rows: sorting, each filter, the counts, the charts,
// copy, delete, opening a page and the data folder; the model reads the store lazily.

#include "clock.h"
#include "datefilteredit.h"
#include "donotfax.h"
#include "numbersmodel.h"
#include "numberswindow.h"
#include "productinfo.h"
#include "settingsstore.h"
#include "sqlitestore.h"
#include "testenv.h"
#include "windowcontrols.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QCalendarWidget>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

namespace {

struct Known
{
    const char *fax, *e164, *location, *country, *date, *website, *search, *label, *how, *context;
};

// Stored in this order; the dates are deliberately not in stored order.
const Known kKnown[] = {
    {"1-312-555-0101", "+13125550101", "IL Chicago", "US", "2026-01-02 12:00:00",
     "www.alpha.com/contact.htm", "dentists chicago", "Fax:", "fax line", "Fax: 312 555 0101"},
    {"1-312-555-0102", "+13125550102", "IL Chicago", "US", "2026-01-01 13:00:00",
     "www.alpha.com/about.htm", "dentists chicago", "Fax", "fax line", "Fax 312.555.0102"},
    {"1-212-555-0187", "+12125550187", "NY New York City", "US", "2026-01-02 09:30:00",
     "www.beta.net/", "plumbers new york", "Facsimile", "table cell", "Facsimile | 212 555 0187"},
    {"+44-20-7946-0958", "+442079460958", "Unknown/International", "GB", "2026-01-03 08:00:00",
     "www.gamma.co.uk/kontakt", "plumbers new york", "Fax", "structured data", "faxNumber"},
    {"+49-30-1234567", "+49301234567", "Unknown/International", "DE", "2026-01-05 23:59:59",
     "www.delta.de/impressum", "florists 50% off", "Telefax", "other language",
     "Telefax: +49 30 1234567"},
};

void fill(SqliteStore &store, ManualClock &clock)
{
    for (const Known &k : kKnown) {
        clock.set(
            QDateTime::fromString(QLatin1String(k.date), QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        FaxRow r;
        r.fax = QLatin1String(k.fax);
        r.e164 = QLatin1String(k.e164);
        r.location = QLatin1String(k.location);
        r.country = QLatin1String(k.country);
        r.website = QLatin1String(k.website);
        r.search = QLatin1String(k.search);
        r.label = QLatin1String(k.label);
        r.how = QLatin1String(k.how);
        r.context = QLatin1String(k.context);
        QVERIFY(store.addFax(r));
    }
}

// The numbers of the model's rows, in order.
QStringList numbersOf(const NumbersModel &m)
{
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r)
        out << m.data(m.index(r, NumbersModel::Number)).toString();
    return out;
}

QStringList panelOf(const QTreeWidget *t)
{
    QStringList out;
    for (int i = 0; i < t->topLevelItemCount(); ++i)
        out << t->topLevelItem(i)->text(0) + QLatin1Char('=') + t->topLevelItem(i)->text(1);
    return out;
}

// A store that counts the pages it is asked for.
class CountingStore : public SqliteStore
{
public:
    using SqliteStore::SqliteStore;
    std::optional<QList<ListedFax>> faxPage(const FaxFilter &f, const FaxSort &s, qint64 offset,
                                            int limit) override
    {
        ++pages;
        return SqliteStore::faxPage(f, s, offset, limit);
    }
    int pages = 0;
};

// The numbers window's controls, by their object names.
struct NumbersControls
{
    NumbersControls() = default;
    explicit NumbersControls(const QWidget *w)
        : filterEdit(control<QLineEdit>(w, QStringLiteral("filterEdit"))),
          placeCombo(control<QComboBox>(w, QStringLiteral("placeCombo"))),
          searchCombo(control<QComboBox>(w, QStringLiteral("searchCombo"))),
          howCombo(control<QComboBox>(w, QStringLiteral("howCombo"))),
          fromDate(control<DateFilterEdit>(w, QStringLiteral("fromDate"))),
          toDate(control<DateFilterEdit>(w, QStringLiteral("toDate"))),
          tabs(control<QTabWidget>(w, QStringLiteral("tabs"))),
          table(control<QTableView>(w, QStringLiteral("numbersTable"))),
          countLabel(control<QLabel>(w, QStringLiteral("countLabel"))),
          regionCounts(control<QTreeWidget>(w, QStringLiteral("regionCounts"))),
          searchCounts(control<QTreeWidget>(w, QStringLiteral("searchCounts"))),
          dayChart(control<QChartView>(w, QStringLiteral("dayChart"))),
          searchChart(control<QChartView>(w, QStringLiteral("searchChart"))),
          openFolderButton(control<QPushButton>(w, QStringLiteral("openFolderButton")))
    {
    }
    QLineEdit *filterEdit = nullptr;
    QComboBox *placeCombo = nullptr;
    QComboBox *searchCombo = nullptr;
    QComboBox *howCombo = nullptr;
    DateFilterEdit *fromDate = nullptr;
    DateFilterEdit *toDate = nullptr;
    QTabWidget *tabs = nullptr;
    QTableView *table = nullptr;
    QLabel *countLabel = nullptr;
    QTreeWidget *regionCounts = nullptr;
    QTreeWidget *searchCounts = nullptr;
    QChartView *dayChart = nullptr;
    QChartView *searchChart = nullptr;
    QPushButton *openFolderButton = nullptr;
};

const QString a = QStringLiteral("1-312-555-0101");
const QString b = QStringLiteral("1-312-555-0102");
const QString c = QStringLiteral("1-212-555-0187");
const QString d = QStringLiteral("+44-20-7946-0958");
const QString e = QStringLiteral("+49-30-1234567");

} // namespace

class TestNumbers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        TestEnv::enterTestMode();
        LoadProductInfo();
    }
    void init()
    {
        m_dir = std::make_unique<TempDataDir>();
        m_store = std::make_unique<CountingStore>(m_dir->path());
        m_store->setClock(&m_clock);
        fill(*m_store, m_clock);
    }
    void cleanup()
    {
        delete m_window.data();
        m_store.reset();
        m_dir.reset();
    }

    void model_passesTheModelTester()
    {
        NumbersModel m(m_store.get());
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(m.rowCount(), 5);
        QCOMPARE(m.columnCount(), int(NumbersModel::ColumnCount));
        m.sort(NumbersModel::Date, Qt::DescendingOrder);
        FaxFilter f;
        f.search = QStringLiteral("plumbers new york");
        m.setFilter(f);
        QCOMPARE(m.rowCount(), 2);
        // Every column of a row, as stored.
        m.setFilter(FaxFilter());
        m.sort(-1);
        const QStringList row0 = [&] {
            QStringList cells;
            for (int col = 0; col < m.columnCount(); ++col)
                cells << m.data(m.index(0, col)).toString();
            return cells;
        }();
        QCOMPARE(row0,
                 (QStringList{a, "+13125550101", "IL Chicago", "US", "2026-01-02 12:00:00",
                              "www.alpha.com/contact.htm", "dentists chicago", "Fax:", "fax line",
                              "Fax: 312 555 0101", QString()} +
                  // no business
                  QStringList(NumbersModel::ColumnCount - NumbersModel::Organization, QString())));
    }

    void sort_data()
    {
        QTest::addColumn<int>("column"); // -1: no column, stored order
        QTest::addColumn<int>("order");
        QTest::addColumn<QStringList>("numbers");
        QTest::newRow("stored order")
            << -1 << int(Qt::AscendingOrder) << QStringList{a, b, c, d, e};
        QTest::newRow("number") << int(NumbersModel::Number) << int(Qt::AscendingOrder)
                                << QStringList{d, e, c, a, b};
        QTest::newRow("date") << int(NumbersModel::Date) << int(Qt::AscendingOrder)
                              << QStringList{b, c, a, d, e};
        QTest::newRow("date, newest first")
            << int(NumbersModel::Date) << int(Qt::DescendingOrder) << QStringList{e, d, a, c, b};
        // Equal values keep their stored order (reversed when descending).
        QTest::newRow("region") << int(NumbersModel::Region) << int(Qt::AscendingOrder)
                                << QStringList{a, b, c, d, e};
        QTest::newRow("region, descending")
            << int(NumbersModel::Region) << int(Qt::DescendingOrder) << QStringList{e, d, c, b, a};
        QTest::newRow("country") << int(NumbersModel::Country) << int(Qt::AscendingOrder)
                                 << QStringList{e, d, a, b, c};
        QTest::newRow("page") << int(NumbersModel::Page) << int(Qt::AscendingOrder)
                              << QStringList{b, a, c, e, d};
        QTest::newRow("search string")
            << int(NumbersModel::Search) << int(Qt::AscendingOrder) << QStringList{a, b, e, c, d};
        QTest::newRow("how found")
            << int(NumbersModel::How) << int(Qt::AscendingOrder) << QStringList{a, b, e, d, c};
        QTest::newRow("E.164") << int(NumbersModel::E164) << int(Qt::AscendingOrder)
                               << QStringList{c, a, b, d, e};
    }

    void sort()
    {
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QStringList, numbers);
        NumbersModel m(m_store.get());
        m.sort(column, Qt::SortOrder(order));
        QCOMPARE(numbersOf(m), numbers);
    }

    void filter_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("numbers");
        QTest::newRow("nothing") << "text" << QString() << QStringList{a, b, c, d, e};
        QTest::newRow("text in the page, case folded") << "text"
                                                       << "ALPHA.com" << QStringList{a, b};
        QTest::newRow("text in the number") << "text"
                                            << "555-0187" << QStringList{c};
        QTest::newRow("text in the context") << "text"
                                             << "faxnumber" << QStringList{d};
        QTest::newRow("text in the search string") << "text"
                                                   << "new york" << QStringList{c, d};
        QTest::newRow("text: % is a character") << "text"
                                                << "50%" << QStringList{e};
        QTest::newRow("text: _ is a character") << "text"
                                                << "_" << QStringList{};
        QTest::newRow("text: spaces around it") << "text"
                                                << "  beta " << QStringList{c};
        QTest::newRow("region") << "location"
                                << "IL Chicago" << QStringList{a, b};
        QTest::newRow("country") << "country"
                                 << "GB" << QStringList{d};
        QTest::newRow("search string") << "search"
                                       << "plumbers new york" << QStringList{c, d};
        QTest::newRow("how found") << "how"
                                   << "fax line" << QStringList{a, b};
        QTest::newRow("from a day") << "from"
                                    << "2026-01-03" << QStringList{d, e};
        QTest::newRow("to a day, all of it") << "to"
                                             << "2026-01-02" << QStringList{a, b, c};
        QTest::newRow("one day") << "day"
                                 << "2026-01-05" << QStringList{e};
        QTest::newRow("a day without numbers") << "day"
                                               << "2026-01-04" << QStringList{};
    }

    void filter()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QStringList, numbers);
        FaxFilter f;
        const QDate day = QDate::fromString(value, Qt::ISODate);
        if (field == QLatin1String("text"))
            f.text = value;
        else if (field == QLatin1String("location"))
            f.location = value;
        else if (field == QLatin1String("country"))
            f.country = value;
        else if (field == QLatin1String("search"))
            f.search = value;
        else if (field == QLatin1String("how"))
            f.how = value;
        if (field == QLatin1String("from") || field == QLatin1String("day"))
            f.from = day;
        if (field == QLatin1String("to") || field == QLatin1String("day"))
            f.to = day;
        NumbersModel m(m_store.get());
        m.setFilter(f);
        QCOMPARE(numbersOf(m), numbers);
        QCOMPARE(m_store->countFaxes(f).value_or(-1), qint64(numbers.size()));
    }

    void storeReads_countsPerValueDayAndSearch()
    {
        FaxFilter all;
        const auto regions = m_store->countFaxesBy(FaxColumn::Location, all);
        QVERIFY(regions);
        QCOMPARE(regions->size(), 3);
        QCOMPARE(regions->at(0).value, QStringLiteral("IL Chicago")); // ties by value
        QCOMPARE(regions->at(0).count, 2);
        QCOMPARE(regions->at(1).value, QStringLiteral("Unknown/International"));
        QCOMPARE(regions->at(2).count, 1);

        const auto days = m_store->faxesPerDay(all);
        QVERIFY(days);
        QCOMPARE(days->size(), 4);
        QCOMPARE(days->at(0).day, QDate(2026, 1, 1));
        QCOMPARE(days->at(1).count, 2); // 2 January
        QCOMPARE(days->at(3).day, QDate(2026, 1, 5));

        // Sites are hosts: the two Chicago numbers come from two pages of one site.
        const auto yields = m_store->searchYields(all);
        QVERIFY(yields);
        QCOMPARE(yields->size(), 3);
        QCOMPARE(yields->at(0).search, QStringLiteral("dentists chicago"));
        QCOMPARE(yields->at(0).numbers, 2);
        QCOMPARE(yields->at(0).sites, 1);
        QCOMPARE(yields->at(1).search, QStringLiteral("plumbers new york"));
        QCOMPARE(yields->at(1).sites, 2);
    }

    void deleteFaxes_deletesOnlyThoseKeys()
    {
        const auto rows = m_store->faxPage(FaxFilter(), FaxSort(), 0, 10);
        QVERIFY(rows && rows->size() == 5);
        QVERIFY(m_store->deleteFaxes({rows->at(1).id, rows->at(3).id, 999999}));
        NumbersModel m(m_store.get());
        QCOMPARE(numbersOf(m), (QStringList{a, c, e}));
        QVERIFY(m_store->deleteFaxes({}));
    }

    void model_readsOnlyTheBlocksShown()
    {
        TempDataDir dir;
        CountingStore big(dir.path());
        big.beginBatch();
        for (int i = 0; i < 2000; ++i) {
            FaxRow r;
            r.fax = QStringLiteral("1-312-555-%1").arg(i, 4, 10, QLatin1Char('0'));
            QVERIFY(big.addFax(r));
        }
        big.endBatch();
        NumbersModel m(&big);
        QCOMPARE(m.rowCount(), 2000);
        QCOMPARE(big.pages, 0); // counting is no reading
        QCOMPARE(m.data(m.index(1999, 0)).toString(), QStringLiteral("1-312-555-1999"));
        QCOMPARE(m.data(m.index(1998, 0)).toString(), QStringLiteral("1-312-555-1998"));
        QCOMPARE(big.pages, 1);
        // A run of rows beyond those at hand is one read, however long.
        const auto run = m.rows(10, 1500);
        QVERIFY(run && run->size() == 1500);
        QCOMPARE(run->last().row.fax, QStringLiteral("1-312-555-1509"));
        QCOMPARE(big.pages, 2);
    }

    void window_filtersFromItsControls()
    {
        NumbersWindow *w = openWindow();
        QCOMPARE(w->windowTitle(), QStringLiteral("Fax Database"));
        QCOMPARE(ui.countLabel->text(), QStringLiteral("5 numbers shown"));
        // The choices name each value with its count; regions come before countries.
        QCOMPARE(ui.searchCombo->itemText(1), QStringLiteral("dentists chicago (2)"));
        QCOMPARE(ui.placeCombo->itemText(1), QStringLiteral("IL Chicago (2)"));
        QVERIFY(ui.placeCombo->findText(QStringLiteral("United Kingdom (GB) (1)")) > 0);

        ui.searchCombo->setCurrentIndex(
            ui.searchCombo->findData(QStringLiteral("plumbers new york"), Qt::UserRole + 1));
        QCOMPARE(numbersOf(*w->model()), (QStringList{c, d}));
        QCOMPARE(ui.countLabel->text(), QStringLiteral("2 of 5 numbers shown"));
        // The panels count what is shown.
        QTRY_VERIFY(!w->countsPending());
        // A number outside North America counts for its country.
        QCOMPARE(panelOf(ui.regionCounts), (QStringList{"NY New York City=1", "United Kingdom=1"}));
        QCOMPARE(panelOf(ui.searchCounts), QStringList{"plumbers new york=2"});

        ui.placeCombo->setCurrentIndex(
            ui.placeCombo->findText(QStringLiteral("United Kingdom (GB) (1)")));
        QCOMPARE(numbersOf(*w->model()), QStringList{d});
        w->clearFilter();
        QCOMPARE(w->model()->rowCount(), 5);

        // Typing filters after a pause; Enter at once.
        ui.filterEdit->setText(QStringLiteral("delta"));
        QCOMPARE(w->model()->rowCount(), 5);
        QTRY_COMPARE(numbersOf(*w->model()), QStringList{e});
        ui.filterEdit->clear();
        ui.fromDate->setDate(QDate(2026, 1, 2));
        ui.toDate->setDate(QDate(2026, 1, 3));
        QCOMPARE(numbersOf(*w->model()), (QStringList{a, c, d}));
        ui.howCombo->setCurrentIndex(
            ui.howCombo->findData(QStringLiteral("table cell"), Qt::UserRole + 1));
        QCOMPARE(numbersOf(*w->model()), QStringList{c});

        // A double click on a panel's entry filters by it.
        w->clearFilter();
        QTRY_VERIFY(!w->countsPending());
        QTreeWidgetItem *ny =
            ui.regionCounts->findItems(QStringLiteral("NY New York City"), Qt::MatchExactly)
                .value(0);
        QVERIFY(ny);
        Q_EMIT ui.regionCounts->itemDoubleClicked(ny, 0);
        QCOMPARE(numbersOf(*w->model()), QStringList{c});
    }

    void window_chartsOfDaysAndSearches()
    {
        NumbersWindow *w = openWindow();
        QVERIFY(ui.dayChart->chart()->series().isEmpty()); // read only when looked at
        ui.tabs->setCurrentIndex(1);
        QTRY_VERIFY(!w->countsPending());
        // A bar a day from the first to the last, the day without numbers included.
        auto *days = qobject_cast<QBarSeries *>(ui.dayChart->chart()->series().value(0));
        QVERIFY(days);
        const QBarSet *perDay = days->barSets().value(0);
        QCOMPARE(perDay->count(), 5);
        QCOMPARE(perDay->at(1), 2.0);
        QCOMPARE(perDay->at(3), 0.0);
        auto *bars =
            qobject_cast<QHorizontalBarSeries *>(ui.searchChart->chart()->series().value(0));
        QVERIFY(bars);
        QCOMPARE(bars->barSets().size(), 2);
        // The most productive search string is the top bar (the last category).
        QBarSet *numbers = bars->barSets().at(0);
        QBarSet *sites = bars->barSets().at(1);
        QCOMPARE(numbers->count(), 3);
        QCOMPARE(numbers->at(2), 2.0);
        QCOMPARE(sites->at(2), 1.0);
        // A filter redraws the charts that are shown.
        ui.searchCombo->setCurrentIndex(
            ui.searchCombo->findData(QStringLiteral("plumbers new york"), Qt::UserRole + 1));
        QTRY_VERIFY(!w->countsPending());
        bars = qobject_cast<QHorizontalBarSeries *>(ui.searchChart->chart()->series().value(0));
        QCOMPARE(bars->barSets().at(0)->count(), 1);
    }

    void window_copiesSelectedRows()
    {
        NumbersWindow *w = openWindow();
        ui.table->selectRow(0);
        ui.table->selectionModel()->select(w->model()->index(2, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString text = w->copySelected();
        const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).startsWith(a + QStringLiteral("\t+13125550101\tIL Chicago\tUS\t")));
        QVERIFY(lines.at(1).startsWith(c + QLatin1Char('\t')));
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
    }

    void window_deletesSelectedAfterAskingWithTheCount_data()
    {
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("two, yes") << QList<int>{1, 3} << true
                                  << "Delete the 2 selected numbers from the fax database?"
                                  << QStringList{a, c, e};
        QTest::newRow("two, no") << QList<int>{1, 3} << false
                                 << "Delete the 2 selected numbers from the fax database?"
                                 << QStringList{a, b, c, d, e};
        QTest::newRow("one names it")
            << QList<int>{4} << true << "Delete the number +49-30-1234567 from the fax database?"
            << QStringList{a, b, c, d};
        QTest::newRow("none selected: not asked")
            << QList<int>{} << true << QString() << QStringList{a, b, c, d, e};
    }

    void window_deletesSelectedAfterAskingWithTheCount()
    {
        QFETCH(QList<int>, rows);
        QFETCH(bool, yes);
        QFETCH(QString, question);
        QFETCH(QStringList, left);
        NumbersWindow *w = openWindow();
        QStringList asked;
        w->askYesNo = [&](const QString &q) {
            asked << q;
            return yes;
        };
        QSignalSpy deleted(w, &NumbersWindow::numbersDeleted);
        for (int r : rows)
            ui.table->selectionModel()->select(
                w->model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        w->deleteSelected();
        QCOMPARE(asked, question.isEmpty() ? QStringList() : QStringList{question});
        QCOMPARE(numbersOf(*w->model()), left);
        QCOMPARE(m_store->countFaxes().value_or(-1), int(left.size()));
        QCOMPARE(deleted.size(), yes && !rows.isEmpty() ? 1 : 0);
        if (!deleted.isEmpty())
            QCOMPARE(deleted.first().at(0).toInt(), rows.size());
        // Numbers kept stay selected.
        QCOMPARE(ui.countLabel->text(),
                 QStringLiteral("%1 numbers shown").arg(left.size()) +
                     (yes || rows.isEmpty() ? QString()
                                            : QStringLiteral(", %1 selected").arg(rows.size())));
    }

    // Enter answers the question No: the numbers stay.
    void window_deleteQuestionDefaultsToNo()
    {
        NumbersWindow *w = openWindow();
        ui.table->selectRow(1);
        bool defaultNo = false;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            defaultNo = box->defaultButton() == box->button(QMessageBox::No);
            QTest::keyClick(box, Qt::Key_Return);
        });
        QCOMPARE(w->deleteSelected(), 0);
        QVERIFY(defaultNo);
        QCOMPARE(m_store->countFaxes().value_or(-1), 5);
    }

    // Marked numbers stay in the table, greyed with the reason; any form of a number matches
    // the one list entry; taking them off ungreys them.
    void window_marksAndUnmarksDoNotFax()
    {
        NumbersWindow *w = openWindow();
        const auto select = [this, w](QList<int> rows) {
            ui.table->clearSelection();
            for (int r : rows)
                ui.table->selectionModel()->select(w->model()->index(r, 0),
                                                   QItemSelectionModel::Select |
                                                       QItemSelectionModel::Rows);
        };
        const auto reasons = [w] {
            QStringList out;
            for (int r = 0; r < w->model()->rowCount(); ++r)
                out << w->model()->data(w->model()->index(r, NumbersModel::DoNotFax)).toString();
            return out;
        };
        const QString marked = Store::reasonMarked;
        // An opt-out of one number written in another form.
        QVERIFY(m_store->addDoNotFax(QStringLiteral("(312) 555-0102"),
                                     DoNotFax::matchKey(QStringLiteral("(312) 555-0102")),
                                     Store::reasonOptOut));
        w->refresh();
        QCOMPARE(reasons(), (QStringList{"", Store::reasonOptOut, "", "", ""}));
        select({0, 1, 3});
        QCOMPARE(w->markSelectedDoNotFax(), 2); // the opt-out keeps its reason
        QCOMPARE(numbersOf(*w->model()), (QStringList{a, b, c, d, e}));
        QCOMPARE(reasons(), (QStringList{marked, Store::reasonOptOut, "", marked, ""}));
        QVERIFY(w->model()->data(w->model()->index(0, 0), Qt::ForegroundRole).isValid());
        QVERIFY(!w->model()->data(w->model()->index(2, 0), Qt::ForegroundRole).isValid());
        QCOMPARE(w->model()->data(w->model()->index(3, 0), Qt::ToolTipRole).toString(),
                 QStringLiteral("On the do-not-fax list: marked in the window"));
        QCOMPARE(m_store->exportCounts(false)->toWrite, 2);

        select({1, 2, 3});
        QCOMPARE(w->unmarkSelectedDoNotFax(), 2); // the unlisted row changes nothing
        QCOMPARE(reasons(), (QStringList{marked, "", "", "", ""}));
        QCOMPARE(m_store->doNotFaxList()->size(), 1);
    }

    void window_doubleClickOpensThePage()
    {
        NumbersWindow *w = openWindow();
        QList<QUrl> opened;
        connect(w, &NumbersWindow::pageRequested, this, [&](const QUrl &u) { opened << u; });
        w->model()->sort(NumbersModel::Page, Qt::AscendingOrder);
        Q_EMIT ui.table->doubleClicked(w->model()->index(0, NumbersModel::Context));
        QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("http://www.alpha.com/about.htm"))});
    }

    void window_opensTheDataFolderOrSaysWhereItIs_data()
    {
        QTest::addColumn<bool>("opens");
        QTest::newRow("a file manager") << true;
        QTest::newRow("none") << false;
    }

    void window_opensTheDataFolderOrSaysWhereItIs()
    {
        QFETCH(bool, opens);
        NumbersWindow *w = openWindow();
        QList<QUrl> folders;
        QStringList messages;
        w->openFolder = [&](const QUrl &u) {
            folders << u;
            return opens;
        };
        w->showMessage = [&](const QString &m) { messages << m; };
        ui.openFolderButton->click();
        QCOMPARE(folders, QList<QUrl>{QUrl::fromLocalFile(m_dir->path())});
        QCOMPARE(messages.size(), opens ? 0 : 1);
        if (!opens)
            QVERIFY(messages.first().contains(QDir::toNativeSeparators(m_dir->path())));
    }

    // A day typed as 2026-01-03 filters at once; text that is no day changes nothing and
    // says so; an empty field is any day. The calendar opens on the newest number's day.
    void window_dateFiltersTakeTypedDays()
    {
        NumbersWindow *w = openWindow();
        auto *from = control<QLineEdit>(ui.fromDate, QStringLiteral("dateText"));
        QCOMPARE(from->placeholderText(), QStringLiteral("Any"));
        QTest::keyClicks(from, QStringLiteral("2026-01-03"));
        QTest::keyClick(from, Qt::Key_Return);
        QCOMPARE(ui.fromDate->date(), QDate(2026, 1, 3));
        QCOMPARE(numbersOf(*w->model()), (QStringList{d, e}));
        from->clear();
        QTest::keyClicks(from, QStringLiteral("2026-13-45"));
        QTest::keyClick(from, Qt::Key_Return);
        QVERIFY(ui.fromDate->hasInvalidText());
        QCOMPARE(ui.fromDate->date(), QDate()); // cleared above: any day
        QCOMPARE(numbersOf(*w->model()), (QStringList{a, b, c, d, e}));
        QTest::keyClicks(control<QLineEdit>(ui.toDate, QStringLiteral("dateText")),
                         QStringLiteral("20260102"));
        QTest::keyClick(control<QLineEdit>(ui.toDate, QStringLiteral("dateText")), Qt::Key_Return);
        QCOMPARE(numbersOf(*w->model()), (QStringList{a, b, c}));

        QTRY_COMPARE(ui.fromDate->calendarStart(), QDate(2026, 1, 5));
        auto *button = control<QToolButton>(ui.fromDate, QStringLiteral("calendarButton"));
        Q_EMIT button->menu()->aboutToShow();
        auto *calendar = control<QCalendarWidget>(ui.fromDate, QStringLiteral("calendar"));
        QCOMPARE(calendar->yearShown(), 2026);
        QCOMPARE(calendar->monthShown(), 1);
        Q_EMIT calendar->clicked(QDate(2026, 1, 5));
        QCOMPARE(numbersOf(*w->model()), QStringList{}); // from the 5th to the 2nd
        w->clearFilter();
        QVERIFY(control<QLineEdit>(ui.toDate, QStringLiteral("dateText"))->text().isEmpty());
        QCOMPARE(w->model()->rowCount(), 5);
    }

    void dateFilter_readsDays_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QDate>("day");
        QTest::newRow("ISO") << "2026-12-11" << true << QDate(2026, 12, 11);
        QTest::newRow("short month and day") << "2026-1-5" << true << QDate(2026, 1, 5);
        QTest::newRow("digits alone") << "20261211" << true << QDate(2026, 12, 11);
        QTest::newRow("empty: any day") << "" << true << QDate();
        QTest::newRow("Any") << " any " << true << QDate();
        QTest::newRow("no such day") << "2026-02-30" << false << QDate();
        QTest::newRow("what the old field made of it") << "Any20261211" << false << QDate();
    }

    void dateFilter_readsDays()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QDate, day);
        bool read = false;
        QCOMPARE(DateFilterEdit::parse(text, &read), day);
        QCOMPARE(read, ok);
    }

    // How a number was found, in words a user reads; the filter still goes by the stored word.
    void window_howFoundInWords()
    {
        m_clock.set(QDateTime(QDate(2026, 2, 1), QTime(9, 0)));
        FaxRow r;
        r.fax = QStringLiteral("1-415-555-0142");
        r.how = QStringLiteral("label-after");
        QVERIFY(m_store->addFax(r));
        NumbersWindow *w = openWindow();
        QCOMPARE(NumbersModel::howText(QStringLiteral("reference")),
                 QStringLiteral("on the fax line"));
        QCOMPARE(NumbersModel::howText(QStringLiteral("json-ld")),
                 QStringLiteral("structured data (JSON-LD)"));
        const int at = ui.howCombo->findData(QStringLiteral("label-after"), Qt::UserRole + 1);
        QVERIFY(at > 0);
        QCOMPARE(ui.howCombo->itemText(at), QStringLiteral("label after the number (1)"));
        ui.howCombo->setCurrentIndex(at);
        QCOMPARE(numbersOf(*w->model()), QStringList{r.fax});
        QCOMPARE(w->model()->data(w->model()->index(0, NumbersModel::How)).toString(),
                 QStringLiteral("label after the number"));
    }

    // Outside North America a number's region is its country, and the panel counts by country;
    // a double click on a country filters by it.
    void window_countriesOutsideNorthAmerica()
    {
        NumbersWindow *w = openWindow();
        QCOMPARE(w->model()->data(w->model()->index(3, NumbersModel::Region)).toString(),
                 QStringLiteral("United Kingdom"));
        QCOMPARE(w->model()->data(w->model()->index(0, NumbersModel::Region)).toString(),
                 QStringLiteral("IL Chicago"));
        QTRY_VERIFY(!w->countsPending());
        QCOMPARE(panelOf(ui.regionCounts), (QStringList{"IL Chicago=2", "Germany=1",
                                                        "NY New York City=1", "United Kingdom=1"}));
        QTreeWidgetItem *germany =
            ui.regionCounts->findItems(QStringLiteral("Germany"), Qt::MatchExactly).value(0);
        QVERIFY(germany);
        Q_EMIT ui.regionCounts->itemDoubleClicked(germany, 0);
        QCOMPARE(numbersOf(*w->model()), QStringList{e});
    }

    // The selected rows stay selected when they go on the do-not-fax list, and the status line
    // says how many there are.
    void window_selectionKeptAndCounted()
    {
        NumbersWindow *w = openWindow();
        for (int r : {0, 3})
            ui.table->selectionModel()->select(
                w->model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(ui.countLabel->text(), QStringLiteral("5 numbers shown, 2 selected"));
        QCOMPARE(w->markSelectedDoNotFax(), 2);
        QCOMPARE(w->selectedNumbers().size(), 2);
        QCOMPARE(w->selectedNumbers().at(1).row.fax, d);
        QCOMPARE(ui.countLabel->text(), QStringLiteral("5 numbers shown, 2 selected"));
        QCOMPARE(w->unmarkSelectedDoNotFax(), 2);
        QCOMPARE(w->selectedNumbers().size(), 2);
    }

    // The owner's columns read from the business; the filter box finds numbers by their
    // organisation and city; the "Businesses" tab lists one row per business with its
    // numbers, search strings and count of pages, filtered by the same text.
    void window_businessesTabAndOwnerColumns()
    {
        const QString ce164 = QStringLiteral("+12125550187");
        const QString de164 = QStringLiteral("+442079460958");
        for (const auto &[fax, page, search, org, city] :
             {std::tuple{ce164, "acme.example/contact", "plumbers new york", "Acme Pipes",
                         "New York"},
              std::tuple{ce164, "acme.example/about", "dentists chicago", "Acme Pipes", ""},
              std::tuple{de164, "brit.example/", "plumbers new york", "Brit Supplies",
                         "Gloucester"}}) {
            BusinessFax f;
            f.fax = fax;
            f.page = QLatin1String(page);
            f.search = QLatin1String(search);
            f.business.site = f.page.section(QLatin1Char('/'), 0, 0);
            f.business.organization = QLatin1String(org);
            f.business.city = QLatin1String(city);
            QVERIFY(m_store->addBusinessFax(f));
        }
        NumbersWindow *w = openWindow();
        NumbersModel *m = w->model();
        QCOMPARE(m->headerData(NumbersModel::Organization, Qt::Horizontal).toString(),
                 QStringLiteral("Organization"));
        QVERIFY(w->isColumnShown(NumbersModel::Organization) &&
                w->isColumnShown(NumbersModel::City));
        ui.filterEdit->setText(QStringLiteral("gloucester"));
        w->applyFilter();
        QCOMPARE(numbersOf(*m), QStringList{d});
        QCOMPARE(m->data(m->index(0, NumbersModel::Organization)).toString(),
                 QStringLiteral("Brit Supplies"));
        ui.filterEdit->setText(QStringLiteral("acme pipes"));
        w->applyFilter();
        QCOMPARE(numbersOf(*m), QStringList{c});

        auto *list = control<QTreeWidget>(w, QStringLiteral("businessList"));
        QCOMPARE(ui.tabs->tabText(ui.tabs->indexOf(list)), QStringLiteral("Businesses"));
        w->showBusinesses();
        QCOMPARE(list->topLevelItemCount(), 1);
        const QTreeWidgetItem *acme = list->topLevelItem(0);
        QCOMPARE(acme->text(0), QStringLiteral("Acme Pipes"));
        QCOMPARE(acme->text(2), QStringLiteral("New York"));
        QCOMPARE(acme->text(3), ce164);
        QCOMPARE(acme->text(5), QStringLiteral("plumbers new york, dentists chicago"));
        QCOMPARE(acme->text(6), QStringLiteral("2"));
        w->clearFilter();
        QCOMPARE(list->topLevelItemCount(), 2);
    }

    // At first what a user reads is in view; the columns chosen, their order and the
    // window's size are there again the next time.
    void window_remembersSizeAndColumns()
    {
        SettingsStore settings(SettingsStore::iniPathForDataDir(m_dir->path()));
        NumbersWindow *w = open(&settings);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        ui = NumbersControls(w);
        QHeaderView *header = ui.table->horizontalHeader();
        for (int c :
             {int(NumbersModel::E164), int(NumbersModel::Country), int(NumbersModel::Label)})
            QVERIFY(!w->isColumnShown(c));
        for (int c :
             {int(NumbersModel::Number), int(NumbersModel::How), int(NumbersModel::DoNotFax)}) {
            QVERIFY(w->isColumnShown(c));
            QVERIFY2(header->sectionViewportPosition(c) + header->sectionSize(c) <=
                         ui.table->viewport()->width(),
                     qPrintable(QString::number(c)));
        }
        // Wide enough for an international number.
        QVERIFY(header->sectionSize(NumbersModel::Number) >=
                ui.table->fontMetrics().horizontalAdvance(QStringLiteral("+44-20-7946-0958")));

        w->showColumn(NumbersModel::Page, false);
        w->showColumn(NumbersModel::E164, true);
        header->moveSection(header->visualIndex(NumbersModel::E164), 1);
        w->resize(1000, 560);
        delete w; // closed with the program

        w = open(&settings);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        header = control<QTableView>(w, QStringLiteral("numbersTable"))->horizontalHeader();
        QCOMPARE(w->size(), QSize(1000, 560));
        QVERIFY(!w->isColumnShown(NumbersModel::Page));
        QVERIFY(w->isColumnShown(NumbersModel::E164));
        QCOMPARE(header->visualIndex(NumbersModel::E164), 1);
        // The last column shown stays.
        for (int c = 0; c < NumbersModel::ColumnCount; ++c)
            w->showColumn(c, false);
        int shown = 0;
        for (int c = 0; c < NumbersModel::ColumnCount; ++c)
            shown += w->isColumnShown(c) ? 1 : 0;
        QCOMPARE(shown, 1);
        delete w; // before its settings
    }

private:
    // The window, shown (without the rest of the program: a page asked for opens nothing).
    NumbersWindow *open(SettingsStore *settings = nullptr)
    {
        m_window = new NumbersWindow(m_store.get(), m_dir->path(), settings);
        m_window->show();
        return m_window;
    }

    // The window with its choices and counts, which it reads once its first rows are shown.
    NumbersWindow *openWindow()
    {
        NumbersWindow *w = open();
        ui = NumbersControls(w);
        if (!QTest::qWaitFor([this] { return ui.searchCombo->count() > 1; }))
            qWarning("the choices were not read");
        return w;
    }

    ManualClock m_clock;
    std::unique_ptr<TempDataDir> m_dir;
    std::unique_ptr<CountingStore> m_store;
    QPointer<NumbersWindow> m_window;
    NumbersControls ui; // the open window's
};

QTEST_MAIN(TestNumbers)
#include "tst_numbers.moc"
