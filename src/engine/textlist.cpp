#include "textlist.h"

TextList::TextList(QObject *parent) : QAbstractListModel(parent) {}

QString TextList::item(int index) const
{
    if (index < 0 || index >= m_items.size())
        return QString();
    return m_items.at(index);
}

bool TextList::contains(const QString &text) const
{
    return m_items.contains(text, Qt::CaseSensitive);
}

void TextList::addItem(const QString &text)
{
    const int row = int(m_items.size());
    beginInsertRows(QModelIndex(), row, row);
    m_items.append(text);
    endInsertRows();
}

bool TextList::removeItem(int index)
{
    if (index < 0 || index >= m_items.size())
        return false;
    beginRemoveRows(QModelIndex(), index, index);
    m_items.removeAt(index);
    endRemoveRows();
    if (m_selectedRow >= m_items.size() || m_selectedRow == index)
        setSelectedRow(-1);
    else if (m_selectedRow > index)
        setSelectedRow(m_selectedRow - 1);
    return true;
}

void TextList::clear()
{
    if (!m_items.isEmpty()) {
        beginResetModel();
        m_items.clear();
        endResetModel();
    }
    setSelectedRow(-1);
}

void TextList::setItems(const QStringList &items)
{
    beginResetModel();
    m_items = items;
    endResetModel();
    setSelectedRow(-1);
}

void TextList::setSelectedRow(int index)
{
    if (index < -1 || index >= m_items.size())
        index = -1;
    if (index == m_selectedRow)
        return;
    m_selectedRow = index;
    Q_EMIT selectedRowChanged(index);
}

int TextList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant TextList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_items.at(index.row());
    return QVariant();
}
