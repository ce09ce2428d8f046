#include "faxquerysql.h"

#include <algorithm>
#include <iterator>

namespace FaxQuerySql {

namespace {

// The columns the filter box looks in.
constexpr FaxColumn kTextColumns[] = {
    FaxColumn::Fax,     FaxColumn::E164,         FaxColumn::Location, FaxColumn::Country,
    FaxColumn::Website, FaxColumn::Search,       FaxColumn::Label,    FaxColumn::How,
    FaxColumn::Context, FaxColumn::Organization, FaxColumn::City,
};

// The business's columns of a ListedFax, in its order.
constexpr FaxColumn kBusinessColumns[] = {
    FaxColumn::Site,       FaxColumn::Organization, FaxColumn::Unit,   FaxColumn::Street,
    FaxColumn::PostalCode, FaxColumn::City,         FaxColumn::Region, FaxColumn::AddressCountry,
    FaxColumn::Phone,      FaxColumn::Email,
};

} // namespace

QString containsPattern(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    escaped += QLatin1Char('%');
    for (const QChar c : text) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    escaped += QLatin1Char('%');
    return escaped;
}

QString columnSql(FaxColumn column)
{
    switch (column) {
    case FaxColumn::Fax:
        break;
    case FaxColumn::E164:
        return QStringLiteral("f.e164");
    case FaxColumn::Location:
        return QStringLiteral("f.location");
    case FaxColumn::Country:
        return QStringLiteral("f.country");
    case FaxColumn::Date:
        return QStringLiteral("f.date");
    case FaxColumn::Website:
        return QStringLiteral("f.website");
    case FaxColumn::Search:
        return QStringLiteral("f.search");
    case FaxColumn::Label:
        return QStringLiteral("f.label");
    case FaxColumn::How:
        return QStringLiteral("f.how");
    case FaxColumn::Context:
        return QStringLiteral("f.context");
    case FaxColumn::DoNotFax:
        return QStringLiteral("coalesce(d.reason, '')");
    case FaxColumn::Organization:
        return QStringLiteral("coalesce(b.organization, '')");
    case FaxColumn::Unit:
        return QStringLiteral("coalesce(b.unit, '')");
    case FaxColumn::Street:
        return QStringLiteral("coalesce(b.street, '')");
    case FaxColumn::PostalCode:
        return QStringLiteral("coalesce(b.postal_code, '')");
    case FaxColumn::City:
        return QStringLiteral("coalesce(b.city, '')");
    case FaxColumn::Region:
        return QStringLiteral("coalesce(b.region, '')");
    case FaxColumn::AddressCountry:
        return QStringLiteral("coalesce(b.country, '')");
    case FaxColumn::Phone:
        return QStringLiteral("coalesce(b.phone, '')");
    case FaxColumn::Email:
        return QStringLiteral("coalesce(b.email, '')");
    case FaxColumn::Site:
        return QStringLiteral("coalesce(b.site, '')");
    }
    return QStringLiteral("f.fax");
}

Clause where(const FaxFilter &filter, const Dialect &d)
{
    QStringList terms;
    Clause c;
    const QString text = filter.text.trimmed();
    if (!text.isEmpty()) {
        QStringList any;
        for (FaxColumn col : kTextColumns) {
            any << QStringLiteral("%1 %2 ? ESCAPE '\\'").arg(d.column(col), d.caseless);
            c.values << containsPattern(text);
        }
        terms << QLatin1Char('(') + any.join(QLatin1String(" OR ")) + QLatin1Char(')');
    }
    const struct
    {
        FaxColumn column;
        const QString &value;
    } exact[] = {
        {FaxColumn::Location, filter.location},
        {FaxColumn::Country, filter.country},
        {FaxColumn::Search, filter.search},
        {FaxColumn::How, filter.how},
    };
    for (const auto &e : exact) {
        if (e.value.isEmpty())
            continue;
        terms << d.column(e.column) + QStringLiteral(" = ?");
        c.values << e.value;
    }
    // Dates are bound as text: SQLite compares the stored text, a server reads it as a time.
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    if (filter.from.isValid()) {
        terms << d.column(FaxColumn::Date) + QStringLiteral(" >= ?");
        c.values << filter.from.startOfDay().toString(format);
    }
    if (filter.to.isValid()) {
        terms << d.column(FaxColumn::Date) + QStringLiteral(" < ?");
        c.values << filter.to.addDays(1).startOfDay().toString(format);
    }
    if (!terms.isEmpty())
        c.sql = QStringLiteral(" WHERE ") + terms.join(QLatin1String(" AND "));
    return c;
}

QString orderBy(const FaxSort &sort, const Dialect &d)
{
    const QString direction =
        sort.order == Qt::AscendingOrder ? QStringLiteral(" ASC") : QStringLiteral(" DESC");
    QString sql = QStringLiteral(" ORDER BY ");
    if (sort.column)
        sql += d.sortKey(*sort.column) + direction + QStringLiteral(", ");
    return sql + d.id + direction;
}

QString numberKey(const Dialect &d)
{
    const QString e164 = d.column(FaxColumn::E164);
    return QStringLiteral("CASE WHEN %1 <> '' THEN %1 ELSE '+' || "
                          "replace(replace(replace(%2, '-', ''), '+', ''), ' ', '') END")
        .arg(e164, d.column(FaxColumn::Fax));
}

QString listedColumns(const Dialect &d)
{
    QStringList columns{d.id};
    for (FaxColumn c : {FaxColumn::Fax, FaxColumn::Date, FaxColumn::Website, FaxColumn::Search,
                        FaxColumn::Location, FaxColumn::E164, FaxColumn::Country, FaxColumn::Label,
                        FaxColumn::How, FaxColumn::Context})
        columns << (c == FaxColumn::Date ? d.dateText.arg(d.column(c)) : d.column(c));
    columns << d.column(FaxColumn::DoNotFax);
    return columns.join(QStringLiteral(", "));
}

QString businessColumns(const Dialect &d)
{
    QStringList columns{QStringLiteral("coalesce(b.id, 0)")};
    for (FaxColumn c : kBusinessColumns)
        columns << d.column(c);
    columns << QStringLiteral("coalesce(b.sources, '')")
            << d.dateText.arg(QStringLiteral("b.date"));
    return columns.join(QStringLiteral(", "));
}

QString joinBusiness()
{
    // A number stored without the finder has no E.164 form and no business.
    return QStringLiteral(" LEFT JOIN number_business nb ON nb.e164 = f.e164 AND f.e164 <> ''"
                          " LEFT JOIN businesses b ON b.id = nb.business");
}

QString fromFaxes(const FaxFilter &filter, std::optional<FaxColumn> column)
{
    // The join costs two look-ups a number, which a count of every number does not need.
    const bool business =
        !filter.text.trimmed().isEmpty() ||
        (column && std::find(std::begin(kBusinessColumns), std::end(kBusinessColumns), *column) !=
                       std::end(kBusinessColumns));
    return QStringLiteral(" FROM faxes f") + (business ? joinBusiness() : QString());
}

QString joinDoNotFax(const Dialect &d)
{
    return QStringLiteral(" LEFT JOIN donotfax d ON d.e164 = ") + numberKey(d);
}

} // namespace FaxQuerySql
