#pragma once

#include "store.h"

#include <QVariantList>

#include <functional>

// The SQL of the numbers window's reads, shared by the backends so that a filter and a sort
// mean the same on each: the WHERE clause of a filter with its values, the ORDER BY of a
// sort. A backend says where its SQL differs in a Dialect.
namespace FaxQuerySql {

struct Dialect
{
    QString id;       // the key of a row: "rowid", "id"
    QString caseless; // an operator that compares letter case folded: "LIKE", "ILIKE"
    QString hostOf;   // the host of a page column %1 (pages are stored as host/path)
    QString dayOf;    // the day of a date column %1, as yyyy-MM-dd text
    // The SQL of a column, and of its value to sort by (an index's collation, say).
    std::function<QString(FaxColumn)> column;
    std::function<QString(FaxColumn)> sortKey;
    // A moment as the date column compares with it.
    std::function<QVariant(const QDateTime &)> date;
};

struct Clause
{
    QString sql; // empty, or " WHERE ..."
    QVariantList values;
};

Clause where(const FaxFilter &filter, const Dialect &dialect);
QString orderBy(const FaxSort &sort, const Dialect &dialect); // " ORDER BY ..."

// text as a LIKE pattern that matches it anywhere, with "\" as the escape character.
QString containsPattern(const QString &text);

} // namespace FaxQuerySql
