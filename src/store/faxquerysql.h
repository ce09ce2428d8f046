#pragma once

#include "store.h"

#include <QVariantList>

#include <functional>

// The SQL of the numbers window's reads, the do-not-fax list's matching and the export's
// choice of numbers, shared by the backends so that a filter, a sort and a match mean the
// same on each. The numbers table is read as "faxes f", the do-not-fax list as "donotfax d".
// A backend says where its SQL differs in a Dialect.
namespace FaxQuerySql {

struct Dialect
{
    QString id;       // the key of a number's row: "f.rowid", "f.id"
    QString caseless; // an operator that compares letter case folded: "LIKE", "ILIKE"
    QString hostOf;   // the host of a page column %1 (pages are stored as host/path)
    QString dayOf;    // the day of a date column %1, as yyyy-MM-dd text
    QString dateText; // a date column %1 as yyyy-MM-dd HH:mm:ss text
    // The SQL of a column of "faxes f", and of its value to sort by (an index's collation).
    std::function<QString(FaxColumn)> column;
    std::function<QString(FaxColumn)> sortKey;
};

struct Clause
{
    QString sql; // empty, or " WHERE ..."
    QVariantList values;
};

// The SQL of a column of "faxes f" (and of the list's reason, "donotfax d"); unquoted names,
// which both backends match whatever their letter case.
QString columnSql(FaxColumn column);

Clause where(const FaxFilter &filter, const Dialect &dialect);
QString orderBy(const FaxSort &sort, const Dialect &dialect); // " ORDER BY ..."

// The form a stored number is matched by on the do-not-fax list (DoNotFax::storedKey): its
// E.164 form, or "+" and the digits of its text.
QString numberKey(const Dialect &dialect);
// The columns of a ListedFax, in its order, the list's reason last; read from "faxes f" with
// "donotfax d" joined on the number's key.
QString listedColumns(const Dialect &dialect);
QString joinDoNotFax(const Dialect &dialect); // " LEFT JOIN donotfax d ON ..."
// The business of a number, "businesses b", joined to "faxes f" by the number's E.164 form;
// its columns are NULL for a number without one. The business's columns join a filter's
// (the filter box looks in its organisation and city).
QString joinBusiness();
// " FROM faxes f", with its business joined where the filter or the column needs it.
QString fromFaxes(const FaxFilter &filter, std::optional<FaxColumn> column = std::nullopt);
// The columns of a ListedFax's business, in its order: key (0 for none), site, organisation,
// unit, street, postal code, city, region, country, phone, email, sources, date as text.
QString businessColumns(const Dialect &dialect);
constexpr int BusinessColumnCount = 13;

// text as a LIKE pattern that matches it anywhere, with "\" as the escape character.
QString containsPattern(const QString &text);

} // namespace FaxQuerySql
