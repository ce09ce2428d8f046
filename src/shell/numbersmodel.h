#pragma once

#include "store.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QPointer>

// The stored numbers as a table for a view, read from the store a block of rows at a time
// as the view asks for them, so that a million numbers open as fast as a hundred: the model
// knows only how many rows the filter lets through and the blocks it has read lately.
// Sorting and filtering are the store's (the model asks again). The store is not owned.
class NumbersModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        Number,
        E164,
        Region,
        Country,
        Date,
        Page,
        Search,
        Label,
        How,
        Context,
        DoNotFax,
        // Of the business the number points to (empty for a number stored without one).
        Organization,
        Unit,
        Street,
        PostalCode,
        City,
        OwnerRegion, // state, province or county of the address
        AddressCountry,
        Phone,
        Email,
        Site,
        ColumnCount
    };
    Q_ENUM(Column)
    static constexpr int BlockSize = 256;

    explicit NumbersModel(Store *store, QObject *parent = nullptr);

    FaxFilter filter() const { return m_filter; }
    void setFilter(const FaxFilter &filter);
    FaxSort sortOrder() const { return m_sort; }
    // Reads the count again and forgets the rows read (after the store changed).
    void refresh();
    // The same after a change that moves no row (do-not-fax marks): while the count and the
    // order stay, the rows are read again in place and a view keeps its selection.
    void refreshInPlace();
    // How many stored numbers the filter lets through (the rows, unless there are more than a
    // view can show).
    qint64 totalCount() const { return m_total; }

    // The row, read from the store when it is not at hand; nothing when it cannot be read.
    std::optional<ListedFax> rowAt(int row) const;
    // The rows first .. first + count - 1, in one read where they are not at hand.
    std::optional<QList<ListedFax>> rows(int first, int count) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The text of a cell as shown, and the store's column behind a model column.
    static QString cellText(const ListedFax &fax, int column);
    // How a number was found, in words a user reads ("label after the number"); a word the
    // program does not know is shown as stored.
    static QString howText(const QString &stored);
    // The region as shown: the area code's region, or for a number outside North America
    // the name of its country.
    static QString regionText(const QString &location, const QString &country);
    // A country's name from its two-letter code; the code when it names no country.
    static QString countryName(const QString &code);
    static std::optional<FaxColumn> storeColumn(int column);

Q_SIGNALS:
    // The store could not be read (once until a read works again).
    void readFailed(const QString &reason);

private:
    const QList<ListedFax> *block(qint64 index) const;
    void readFailure() const;

    QPointer<Store> m_store;
    FaxFilter m_filter;
    FaxSort m_sort;
    qint64 m_total = 0;
    mutable QCache<qint64, QList<ListedFax>> m_blocks;
    mutable bool m_failed = false;
};
