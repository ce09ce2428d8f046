#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>

class NumbersModel;
class QChartView;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class Store;
struct FaxFilter;
struct ListedFax;

// "Fax Database": the stored numbers in a table with every column, sorted by any column and
// filtered by a text, a region or country, a search string, a date range and how they were
// found; counts per region and per search string beside it, and charts of the numbers found
// per day and per search string. Selected numbers can be copied or deleted; a double click
// opens a number's page in the browser window. Loaded once, shown without modality. The
// store (not owned) must outlive the window.
class NumbersWindow : public QWidget
{
    Q_OBJECT
public:
    static NumbersWindow *openWindow(Store *store, const QString &dataDir);
    static NumbersWindow *instance();
    static void unload();

    NumbersModel *model() const { return m_model; }

    QLineEdit *filterEdit = nullptr;
    QComboBox *placeCombo = nullptr; // region or country
    QComboBox *searchCombo = nullptr;
    QComboBox *howCombo = nullptr;
    QDateEdit *fromDate = nullptr; // at its minimum: any day
    QDateEdit *toDate = nullptr;
    QPushButton *clearFilterButton = nullptr;
    QTabWidget *tabs = nullptr;
    QTableView *table = nullptr;
    QLabel *countLabel = nullptr;
    QTreeWidget *regionCounts = nullptr;
    QTreeWidget *searchCounts = nullptr;
    QChartView *dayChart = nullptr;
    QChartView *searchChart = nullptr;
    QPushButton *copyButton = nullptr;
    QPushButton *deleteButton = nullptr;
    QPushButton *refreshButton = nullptr;
    QPushButton *openFolderButton = nullptr;

    // The user's side, replaceable in tests.
    std::function<bool(const QString &text)> askYesNo;
    std::function<void(const QString &text)> showMessage;
    // Shows a folder in the desktop's file manager; false when nothing could.
    std::function<bool(const QUrl &folder)> openFolder;
    // Shows a page in the program's browser window.
    std::function<void(const QUrl &page)> openPage;

    // The filter the controls describe, and applying it now (typing waits for a pause).
    FaxFilter filterFromControls() const;
    void applyFilter();
    void clearFilter();
    // Reads the numbers, the counts and the filters' choices again.
    void refresh();

    // The rows selected in the table, in table order, read from the store as needed.
    QList<ListedFax> selectedNumbers() const;
    // Tab-separated lines of every column of the selected rows, also put on the clipboard.
    QString copySelected();
    // Asks (naming the count) and deletes the selected numbers; returns how many went.
    int deleteSelected();
    void openDataFolder();
    void openPageOf(int row);
    // Draws the charts again when they are shown (they are read only when looked at).
    void updateCharts();

Q_SIGNALS:
    // Numbers were deleted from the store here.
    void numbersDeleted(int count);

private:
    NumbersWindow(Store *store, const QString &dataDir);
    void buildControls();
    void fillChoices();
    void updateCounts();
    void updateCountLabel();
    void choosePanelEntry(QTreeWidget *panel, QTreeWidgetItem *item);
    void showReadProblem(const QString &reason);

    QPointer<Store> m_store;
    QString m_dataDir;
    NumbersModel *m_model = nullptr;
    QTimer *m_typingPause = nullptr;
    bool m_chartsStale = true;
    bool m_filling = false; // the choices are being filled: no filter runs
};
