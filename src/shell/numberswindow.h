#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <array>
#include <functional>

class NumbersCounter;
class NumbersModel;
struct NumbersCounts;
class QChartView;
class QComboBox;
class DateFilterEdit;
class QMenu;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class SettingsStore;
class Store;
struct FaxFilter;
struct ListedFax;

// "Fax Database": the stored numbers in a table of the columns the user chose (and ordered),
// sorted by any column and filtered by a text, a region or country, a search string, a date
// range and how they were found; counts per region (per country outside North America) and
// per search string beside it, and charts of the numbers found per day and per search string.
// The window remembers its size and columns. Selected numbers can be copied, deleted, or put
// on the do-not-fax list and taken off it (listed numbers are greyed, and stay selected); a
// double click asks for a number's page to be shown in the browser window. Opened once,
// without modality, through the window owner.
class NumbersWindow : public QWidget
{
    Q_OBJECT
public:
    // store (not owned) must outlive the window; settings (not owned, may be null) keep the
    // window's size and columns.
    NumbersWindow(Store *store, const QString &dataDir, SettingsStore *settings = nullptr);
    ~NumbersWindow() override; // remembers the size and the columns

    NumbersModel *model() const { return m_model; }

    // The user's side, replaceable in tests.
    std::function<bool(const QString &text)> askYesNo;
    std::function<void(const QString &text)> showMessage;
    // Shows a folder in the desktop's file manager; false when nothing could.
    std::function<bool(const QUrl &folder)> openFolder;

    // The filter the controls describe, and applying it now (typing waits for a pause).
    FaxFilter filterFromControls() const;
    void applyFilter();
    void clearFilter();
    // Reads the numbers, the counts and the filters' choices again.
    void refresh();
    // The table, or the charts of the numbers found.
    void showCharts(bool charts);
    // The tab of the businesses (one row each, filtered by the filter box's text).
    void showBusinesses();

    // The rows selected in the table, in table order, read from the store as needed.
    QList<ListedFax> selectedNumbers() const;
    // Tab-separated lines of every column of the selected rows, also put on the clipboard.
    QString copySelected();
    // Asks (naming the count) and deletes the selected numbers; returns how many went.
    int deleteSelected();
    // Puts the selected numbers on the do-not-fax list ("marked in the window"), or takes
    // them off it; returns how many rows changed.
    int markSelectedDoNotFax();
    int unmarkSelectedDoNotFax();
    void openDataFolder();
    // Asks for the page of a row to be shown (pageRequested).
    void openPageOf(int row);
    // Counts asked for and not answered yet (they are read beside the table).
    bool countsPending() const;
    // Shows or hides a column (NumbersModel::Column); the last one shown stays.
    void showColumn(int column, bool shown);
    bool isColumnShown(int column) const;
    // How many rows are selected.
    qint64 selectedCount() const;

Q_SIGNALS:
    // Numbers were deleted from the store here.
    void numbersDeleted(int count);
    // A number's page is to be shown in the program's browser window.
    void pageRequested(const QUrl &page);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    bool chartsShown() const;
    bool businessesShown() const;
    // The businesses are read again now when their tab is shown, else once it is.
    void businessesChanged();
    void fillBusinesses();
    void askCounts(int parts);
    void showCounts(quint64 request, const NumbersCounts &counts);
    void fillChoices(const NumbersCounts &counts);
    void drawCharts(const NumbersCounts &counts);
    void updateCountLabel();
    void choosePanelEntry(QTreeWidget *panel, QTreeWidgetItem *item);
    void showReadProblem(const QString &reason);
    int afterListChange(int changed); // -1: the store refused
    void restoreLayout();
    void saveLayout();
    void updateColumnsMenu();

    QPointer<Store> m_store;
    QString m_dataDir;
    SettingsStore *m_settings;
    NumbersModel *m_model = nullptr;
    QTimer *m_typingPause = nullptr;
    NumbersCounter *m_counter = nullptr;
    // The last request of each part of the counts, and the last answered.
    std::array<quint64, 3> m_asked{};
    std::array<quint64, 3> m_answered{};
    qint64 m_storedCount = -1; // every number, as the choices last counted them
    bool m_chartsStale = true;
    bool m_businessesStale = true;
    bool m_shownOnce = false;
    bool m_filling = false; // the choices are being filled: no filter runs

    QLineEdit *m_filterEdit = nullptr;
    QComboBox *m_placeCombo = nullptr; // region or country
    QComboBox *m_searchCombo = nullptr;
    QComboBox *m_howCombo = nullptr;
    DateFilterEdit *m_fromDate = nullptr; // empty: any day
    DateFilterEdit *m_toDate = nullptr;
    QPushButton *m_clearFilterButton = nullptr;
    QTabWidget *m_tabs = nullptr;
    QTableView *m_table = nullptr;
    QLabel *m_countLabel = nullptr;
    QTreeWidget *m_regionCounts = nullptr;
    QTreeWidget *m_searchCounts = nullptr;
    QChartView *m_dayChart = nullptr;
    QChartView *m_searchChart = nullptr;
    QTreeWidget *m_businessList = nullptr;
    QPushButton *m_copyButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPushButton *m_doNotFaxButton = nullptr;
    QPushButton *m_faxAgainButton = nullptr;
    QPushButton *m_refreshButton = nullptr;
    QPushButton *m_openFolderButton = nullptr;
    QPushButton *m_columnsButton = nullptr;
    QMenu *m_columnsMenu = nullptr; // also the table header's context menu
};
