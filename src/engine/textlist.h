#pragma once

#include <QAbstractListModel>
#include <QStringList>

// A list of texts the harvest keeps and a window shows: the search strings (List1), the head
// of the crawl queue (List2) and the number preview (List3). The selected row (ListIndex,
// -1 for none) is kept here, so that the window and the harvest agree on it.
class TextList : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit TextList(QObject *parent = nullptr);

    int count() const { return int(m_items.size()); }
    bool isEmpty() const { return m_items.isEmpty(); }
    // The entry at index, or an empty text when index is out of range.
    QString item(int index) const;
    const QStringList &items() const { return m_items; }
    bool contains(const QString &text) const; // exact, letter case counts

    void addItem(const QString &text);
    // False (and nothing changes) when the index is out of range.
    bool removeItem(int index);
    void clear();
    void setItems(const QStringList &items);

    int selectedRow() const { return m_selectedRow; }
    void setSelectedRow(int index); // out of range: none

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void selectedRowChanged(int index);

private:
    QStringList m_items;
    int m_selectedRow = -1;
};
