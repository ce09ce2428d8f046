#pragma once

#include <QAbstractListModel>
#include <QStringList>

// A list box of the main window as engine state: List1 (search strings), List2 (head of
// the crawl queue) and List3 (fax preview). Entries are plain texts; listIndex is the
// selected entry (-1 for none), which the window keeps in step with its widget.
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

    int listIndex() const { return m_listIndex; }
    void setListIndex(int index);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void listIndexChanged(int index);

private:
    QStringList m_items;
    int m_listIndex = -1;
};
